// The DCC request reader on arbitrary CTCP texts, and the acknowledgement
// reader on the same bytes cut into reads at every length: whatever it
// reads must stay within its bounds, and an offer it keeps must hold only
// what a transfer can use.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "dcc/dcc_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const std::string& t : {text, "DCC SEND " + text, "DCC RESUME " + text, "DCC ACCEPT " + text}) {
        DccOffer o = dcc_parse_offer(t);
        if (o.kind == kDccOfferSend && o.fault == kDccOfferOk) {
            if (o.file.empty() || o.file.find('/') != std::string::npos || o.file.find('\\') != std::string::npos ||
                o.file[0] == '.' || o.offered_name.size() > kDccNameMax)
                std::abort();
            for (char c : o.file)
                if (static_cast<unsigned char>(c) < 32)
                    std::abort();
            if (o.port < 0 || o.port > 65535 || o.port == 19 || (o.port == 0 && o.token == 0) || o.size < -1)
                std::abort();
        }
    }
    for (int width : {4, 8}) {
        DccAckReader r;
        r.width = width;
        std::int64_t last = -1;
        std::size_t words = 0;
        const std::size_t step = size ? (data[0] % 7) + 1 : 1;
        for (std::size_t i = 0; i < size; i += step)
            words += static_cast<std::size_t>(r.feed(text.data() + i, std::min(step, size - i), last));
        if (words != size / static_cast<std::size_t>(width) || r.have >= width)
            std::abort();
    }
    return 0;
}
