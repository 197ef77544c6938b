// The MP3 header and tag reader on arbitrary bytes: every read stays within
// the file (the sanitizers see any read past the buffer), and what it keeps
// is bounded by what the file holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "media/mp3_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Mp3State s;
    const int found = mp3_read_bytes(bytes, s);
    if (found != (s.valid ? 1 : 0))
        std::abort();
    std::size_t kept = 0;
    for (const auto& f : s.frames_list)
        kept += f.first.size();
    if (kept > size)
        std::abort();
    static const char* const kProps[] = {".title", ".artist", ".album", ".year", ".comment", ".genre", ".track",
                                         ".length", ".version", ".bitrate", ".vbr", ".sample", ".mode",
                                         ".copyright", ".private", ".crc", ".id3", ".tags", ".tag"};
    std::string out;
    for (const char* p : kProps) {
        for (const char* arg : {"", "0", "1", "2", "TIT2"}) {
            mp3_state_property(s, p, out, arg);
            if (out.size() > 4150)
                std::abort();
        }
    }
    return 0;
}
