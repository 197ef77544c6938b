// A server link fed arbitrary bytes: the receive loop's framing cuts them
// into lines (CR dropped, LF ends a line, a line cut at 601 characters) and
// every line goes through the dispatcher and its handlers, windows included.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "irc/link/receive.h"
#include "irc/numerics/isupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::setup();
    Connection* conn = fuzz::connection();
    irc_state_new_link(conn);
    conn->live_identity[2] = "me";
    conn->connected = 1;
    if (irc_frame_bytes(conn, reinterpret_cast<const char*>(data), size) && conn_is_live(conn))
        irc_frame_bytes(conn, "\n", 1);
    if (conn_is_live(conn))
        conn->connected = 0;
    fuzz::close_extra_windows();
    return 0;
}
