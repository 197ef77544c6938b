#include "media/mp3_tags.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"

namespace {

constexpr std::uint64_t kScanLimit = 204800;
constexpr std::size_t kLongText = 4150;

extern const char* const kGenres[148];
struct IdPair {
    const char* v22;
    const char* v23;
};
extern const IdPair kIdMap[63];

// Every read of the reader goes through here: never past the end of the
// source, whatever offset or length the file itself asks for.
class Source {
public:
    explicit Source(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    explicit Source(const std::string& bytes) : bytes_(&bytes), size_(bytes.size()) {}
    std::uint64_t size() const { return size_; }
    // Up to n bytes at offset; the count read (0 past the end).
    std::size_t read(std::uint64_t offset, std::size_t n, unsigned char* out) const
    {
        if (offset >= size_)
            return 0;
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
        if (bytes_) {
            std::memcpy(out, bytes_->data() + offset, n);
            return n;
        }
        std::size_t done = 0;
        while (done < n) {
            const ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
            if (r <= 0)
                break;
            done += static_cast<std::size_t>(r);
        }
        return done;
    }

private:
    int fd_ = -1;
    const std::string* bytes_ = nullptr;
    std::uint64_t size_ = 0;
};

std::uint32_t be32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

std::uint32_t syncsafe(const unsigned char* p, int n)
{
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 7) | (p[i] & 0x7f);
    return v;
}

int field(std::uint32_t h, int shift, int bits)
{
    return static_cast<int>((h >> shift) & ((1u << bits) - 1));
}
int version_bits(std::uint32_t h) { return field(h, 19, 2); }
int layer_bits(std::uint32_t h) { return field(h, 17, 2); }

bool valid_header(std::uint32_t h)
{
    return (h & 0xffe00000u) == 0xffe00000u && version_bits(h) != 1 && layer_bits(h) != 0 &&
           field(h, 12, 4) != 0 && field(h, 12, 4) != 15 && field(h, 10, 2) != 3 && field(h, 0, 2) != 2;
}

void collapse_blanks(std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    s.swap(out);
}

void append_utf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

// UTF-16 text (encoding 1 with its byte-order characters, 2 big-endian) to
// UTF-8: byte-order characters go, a NUL character inside the text becomes
// a blank, unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(const unsigned char* p, std::size_t n, bool little)
{
    std::string out;
    std::uint32_t high = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        std::uint32_t u = little ? (p[i] | (p[i + 1] << 8)) : ((p[i] << 8) | p[i + 1]);
        if (u == 0xfeff)
            continue;
        if (u == 0xfffe) { // the other byte order from here on
            little = !little;
            continue;
        }
        if (u == 0) {
            if (i + 3 < n)
                out += ' ';
            continue;
        }
        if (u >= 0xd800 && u < 0xdc00) {
            if (high)
                append_utf8(out, 0xfffd);
            high = u;
            continue;
        }
        if (u >= 0xdc00 && u < 0xe000) {
            if (high)
                append_utf8(out, 0x10000 + ((high - 0xd800) << 10) + (u - 0xdc00));
            else
                append_utf8(out, 0xfffd);
            high = 0;
            continue;
        }
        if (high)
            append_utf8(out, 0xfffd);
        high = 0;
        append_utf8(out, u);
    }
    if (high)
        append_utf8(out, 0xfffd);
    return out;
}

std::string decode_frame_text(const std::string& id, const unsigned char* data, std::size_t n)
{
    if (n == 0)
        return std::string();
    const int encoding = data[0];
    ++data;
    --n;
    std::string text;
    if (encoding == 1 || encoding == 2) {
        // Comment and lyrics frames keep their three language bytes ahead of
        // the text; they are not part of the UTF-16 text.
        std::size_t lead = (id == "COMM" || id == "USLT") ? std::min<std::size_t>(3, n) : 0;
        text.assign(reinterpret_cast<const char*>(data), lead);
        text += ' ';
        bool little = false;
        if (n >= lead + 2 && data[lead] == 0xff && data[lead + 1] == 0xfe)
            little = true;
        text += utf16_to_utf8(data + lead, n - lead, encoding == 1 ? little : false);
        std::replace(text.begin(), text.end(), '\0', ' ');
        collapse_blanks(text);
        if (!text.empty() && text[0] == ' ')
            text.erase(0, 1);
    } else {
        text.assign(reinterpret_cast<const char*>(data), n);
        std::replace(text.begin(), text.end(), '\0', ' ');
    }
    if (text.compare(0, 3, "XXX") == 0) {
        text.erase(0, 3);
        collapse_blanks(text);
        if (!text.empty() && text[0] == ' ')
            text.erase(0, 1);
    }
    return text;
}

std::string map_v22_id(const std::string& id)
{
    for (const IdPair& p : kIdMap)
        if (id == p.v22)
            return p.v23;
    return id;
}

// The frames of a tag from `pos` up to `end` (both within the source).
void read_frames(const Source& src, Mp3State& s, int major, std::uint64_t pos, std::uint64_t end)
{
    if (major < 2 || major > 4)
        return;
    const std::size_t head = major == 2 ? 6 : 10;
    end = std::min(end, src.size());
    std::vector<unsigned char> buf;
    while (pos < end) {
        unsigned char h[10] = {};
        if (src.read(pos, head, h) < head)
            return;
        const std::size_t idlen = major == 2 ? 3 : 4;
        bool zero = true;
        for (std::size_t k = 0; k < idlen; ++k)
            zero = zero && h[k] == 0;
        if (zero)
            return; // padding
        std::uint64_t size;
        if (major == 2)
            size = (std::uint64_t(h[3]) << 16) | (h[4] << 8) | h[5];
        else if (major == 3)
            size = be32(h + 4);
        else
            size = syncsafe(h + 4, 4);
        pos += head;
        if (pos + size > end)
            return;
        if (size == 0)
            continue;
        buf.assign(static_cast<std::size_t>(size), 0);
        if (src.read(pos, buf.size(), buf.data()) < buf.size())
            return;
        pos += size;
        std::string id(reinterpret_cast<const char*>(h), idlen);
        const std::size_t cut = id.find_first_of(std::string(" \0", 2));
        if (cut != std::string::npos)
            id.resize(cut);
        if (id.size() == 3)
            id = map_v22_id(id);
        if (id.empty())
            continue;
        if (id == "3DI")
            return;
        std::string text = decode_frame_text(id, buf.data(), buf.size());
        if (text.size() > kLongText)
            text.resize(kLongText);
        s.frames_list.emplace_back(std::move(id), std::move(text));
    }
}

// An ID3v2 header (footer true: its "3DI" footer) of ten bytes at `at`.
// Returns false on a read error.
bool read_id3v2(const Source& src, Mp3State& s, std::uint64_t at, bool footer)
{
    unsigned char h[10];
    if (src.read(at, 10, h) < 10)
        return false;
    if (std::memcmp(h, footer ? "3DI" : "ID3", 3) != 0)
        return true;
    const int major = h[3];
    char version[32];
    std::snprintf(version, sizeof version, "v2.%d.%d", major, h[4]);
    s.id3_version = version;
    int mask = 0;
    if (major == 2)
        mask = 0xc0;
    else if (major == 3)
        mask = 0xe0;
    else if (major == 4)
        mask = 0xf0;
    s.id3_flags = h[5] & mask;
    s.id3_size = syncsafe(h + 6, 4);
    std::uint64_t pos = at + 10;
    if (footer) {
        if (s.id3_size + 10 > pos) { // the tag would begin before the file
            s.id3_version.clear();
            return true;
        }
        pos -= s.id3_size + 10;
    }
    s.id3_end = pos + s.id3_size;
    if (major >= 3 && (s.id3_flags & 0x40)) {
        unsigned char e[4];
        if (src.read(pos, 4, e) < 4)
            return false;
        const std::uint32_t esize = syncsafe(e, 4);
        if (esize > 0)
            pos += std::max<std::uint32_t>(esize, 4);
    }
    read_frames(src, s, major, pos, s.id3_end);
    return true;
}

std::string v1_field(const unsigned char* p, std::size_t n)
{
    std::string f(reinterpret_cast<const char*>(p), n);
    const std::size_t nul = f.find('\0');
    if (nul != std::string::npos)
        f.resize(nul);
    while (!f.empty() && (f.back() == ' ' || f.back() == '\0'))
        f.pop_back();
    return f;
}

bool read_id3v1(const Source& src, Mp3State& s)
{
    s.track = -1;
    s.genre = -1;
    unsigned char t[128];
    if (src.size() < 128 || src.read(src.size() - 128, 128, t) < 128 || std::memcmp(t, "TAG", 3) != 0)
        return false;
    s.title = v1_field(t + 3, 30);
    s.artist = v1_field(t + 33, 30);
    s.album = v1_field(t + 63, 30);
    s.year = v1_field(t + 93, 4);
    if (t[125] == 0 && t[126] != 0) {
        s.comment = v1_field(t + 97, 28);
        s.track = t[126];
    } else {
        s.comment = v1_field(t + 97, 30);
    }
    s.genre = t[127];
    return true;
}

int read_source(const Source& src, Mp3State& s)
{
    if (src.size() == 0)
        return 0;
    s.size = src.size();
    // The scanned part of the file at once; reads past it go to the source.
    const std::size_t window = static_cast<std::size_t>(std::min<std::uint64_t>(src.size(), kScanLimit + 64));
    std::vector<unsigned char> head(window);
    if (src.read(0, window, head.data()) < window)
        return 0;
    bool tag_at_start = false;
    for (std::uint64_t i = 0; i <= kScanLimit; ++i) {
        if (i + 10 > window)
            break;
        const unsigned char* b = head.data() + i;
        if (!tag_at_start && b[4] <= 4 && b[5] != 255 && std::memcmp(b, "ID3", 3) == 0) {
            if (!read_id3v2(src, s, i, false))
                break;
            tag_at_start = !s.id3_version.empty();
        }
        const std::uint32_t h = be32(b);
        if (!valid_header(h))
            continue;
        if (tag_at_start && i + 1 < s.id3_end)
            continue;
        s.header = h;
        const bool mpeg1 = version_bits(h) == 3;
        const bool mono = field(h, 6, 2) == 3;
        const std::uint64_t at = i + (mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21));
        unsigned char x[12];
        if (src.read(at, 12, x) == 12 && std::memcmp(x, "Xing", 4) == 0) {
            s.xing = true;
            s.frames = (x[7] & 1) ? static_cast<long>(be32(x + 8)) : -1;
        }
        const bool v1 = read_id3v1(src, s);
        if (!tag_at_start) {
            const std::uint64_t end = v1 ? src.size() - 128 : src.size();
            if (end >= 10)
                read_id3v2(src, s, end - 10, true);
        }
        s.valid = true;
        return 1;
    }
    return 0;
}

Mp3State g_state;

std::string number(long v)
{
    return std::to_string(v);
}

bool equal_nocase(const std::string& a, const char* b)
{
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

int mp3_bitrate(const Mp3State& s)
{
    static const int kTable[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    if (!s.valid)
        return 0;
    const int layer = 4 - layer_bits(s.header); // 1..3; 4 for the reserved 0
    const bool mpeg1 = version_bits(s.header) == 3;
    if (layer > 3)
        return 0;
    if (s.xing && s.frames > 0) {
        // Bytes a frame takes per bit a second of its sample rate: Layer I
        // 48 (384 samples), MPEG 1 Layers II and III 144 (1,152 samples),
        // MPEG 2 and 2.5 Layer III 72 (576 samples), Layer II 144.
        const int factor = layer == 1 ? 48 : (!mpeg1 && layer == 3) ? 72 : 144;
        const double per_frame = static_cast<double>(s.size) / static_cast<double>(s.frames);
        return static_cast<int>(per_frame * mp3_sample_rate(s) / (1000.0 * factor));
    }
    const int index = field(s.header, 12, 4);
    if (index >= 15)
        return 0;
    return kTable[mpeg1 ? 0 : 1][layer - 1][index];
}

int mp3_sample_rate(const Mp3State& s)
{
    static const int kRates[3] = {44100, 48000, 32000};
    if (!s.valid)
        return 0;
    const int v = version_bits(s.header);
    const int idx = field(s.header, 10, 2);
    if (v == 1 || idx == 3)
        return 0;
    const int div = v == 3 ? 1 : v == 2 ? 2 : 4;
    return kRates[idx] / div;
}

long mp3_length_ms(const Mp3State& s)
{
    long rate = mp3_bitrate(s);
    if (rate <= 0)
        rate = 1;
    return static_cast<long>(s.size * 8 / static_cast<std::uint64_t>(rate));
}

std::string mp3_genre_name(int genre)
{
    if (genre < 0 || genre >= 148)
        return std::string();
    return kGenres[genre];
}

int mp3_read_bytes(const std::string& bytes, Mp3State& out)
{
    out = Mp3State{};
    return read_source(Source(bytes), out);
}

int mp3_read_file(const std::string& path)
{
    if (path.empty() || file_is_device(path))
        return 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st {};
    std::int64_t mtime = 0;
    std::uint64_t size = 0;
    if (::fstat(fd, &st) == 0) {
        mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    }
    // Paths name files case for case here: two names that differ in case are
    // two files.
    if (g_state.valid && g_state.path == path && g_state.mtime == mtime) {
        ::close(fd);
        return 1;
    }
    g_state = Mp3State{};
    const int r = read_source(Source(fd, size), g_state);
    ::close(fd);
    if (r) {
        g_state.path = path;
        g_state.mtime = mtime;
    }
    return r;
}

const Mp3State& mp3_last()
{
    return g_state;
}

void mp3_reset()
{
    g_state = Mp3State{};
}

void mp3_state_property(const Mp3State& s, const std::string& property, std::string& result,
                        const std::string& argument)
{
    result.clear();
    if (!s.valid)
        return;
    const std::string& p = property;
    const char* truth_true = "$true";
    const char* truth_false = "$false";
    if (equal_nocase(p, ".title"))
        result = s.title;
    else if (equal_nocase(p, ".artist"))
        result = s.artist;
    else if (equal_nocase(p, ".album"))
        result = s.album;
    else if (equal_nocase(p, ".year"))
        result = s.year;
    else if (equal_nocase(p, ".comment"))
        result = s.comment;
    else if (equal_nocase(p, ".genre"))
        result = mp3_genre_name(s.genre);
    else if (equal_nocase(p, ".track"))
        result = number(s.track);
    else if (equal_nocase(p, ".length"))
        result = number(mp3_length_ms(s));
    else if (equal_nocase(p, ".version")) {
        const int v = version_bits(s.header);
        char buf[40];
        std::snprintf(buf, sizeof buf, "MPEG %0.1f Layer %d", v == 3 ? 1.0 : v == 2 ? 2.0 : 2.5,
                      4 - layer_bits(s.header));
        result = buf;
    } else if (equal_nocase(p, ".bitrate"))
        result = number(mp3_bitrate(s));
    else if (equal_nocase(p, ".vbr") || equal_nocase(p, ".variable"))
        result = s.xing ? truth_true : truth_false;
    else if (equal_nocase(p, ".sample"))
        result = number(mp3_sample_rate(s));
    else if (equal_nocase(p, ".mode")) {
        static const char* const kModes[4] = {"Stereo", "Joint Stereo", "Dual Channel", "Single Channel"};
        result = kModes[field(s.header, 6, 2)];
    } else if (equal_nocase(p, ".copyright"))
        result = field(s.header, 3, 1) ? truth_true : truth_false;
    else if (equal_nocase(p, ".private"))
        result = field(s.header, 8, 1) ? truth_true : truth_false;
    else if (equal_nocase(p, ".crc"))
        result = field(s.header, 16, 1) ? truth_false : truth_true;
    else if (equal_nocase(p, ".id3"))
        result = s.id3_version;
    else if (equal_nocase(p, ".tags")) {
        for (const auto& f : s.frames_list) {
            const std::size_t add = f.first.size() + (result.empty() ? 0 : 1);
            if (result.size() + add > kLongText)
                break;
            if (!result.empty())
                result += ' ';
            result += f.first;
        }
    } else if (equal_nocase(p, ".tag")) {
        const bool digits = !argument.empty() &&
                            std::all_of(argument.begin(), argument.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (argument.empty() || (digits && std::strtoul(argument.c_str(), nullptr, 10) == 0)) {
            result = number(static_cast<long>(s.frames_list.size()));
        } else if (digits) {
            const unsigned long n = argument.size() > 9 ? 0 : std::strtoul(argument.c_str(), nullptr, 10);
            if (n >= 1 && n <= s.frames_list.size())
                result = s.frames_list[n - 1].first + " " + s.frames_list[n - 1].second;
        } else {
            for (const auto& f : s.frames_list)
                if (equal_nocase(f.first, argument.c_str())) {
                    result = f.second;
                    break;
                }
        }
    }
    if (result.size() > kLongText)
        result.resize(kLongText);
}

void mp3_property(const std::string& path, const std::string& property, std::string& result,
                  const std::string& argument)
{
    result.clear();
    if (!mp3_read_file(path))
        return;
    mp3_state_property(g_state, property, result, argument);
}

namespace {

const char* const kGenres[148] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",
    "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno", "Industrial",
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno", "Ambient", "Trip-Hop", "Vocal",
    "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip",
    "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk",
    "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40", "Christian Rap",
    "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes",
    "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll",
    "Hard Rock", "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival",
    "Celtic", "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour", "Speech",
    "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove",
    "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul",
    "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella", "Euro-House", "Dance Hall", "Goa",
    "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie", "BritPop", "Afro-Punk", "Polsk Punk",
    "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover", "Contemporary Christian",
    "Christian Rock", "Merengue", "Salsa", "Thrash Metal", "Anime", "JPop", "Synthpop",
};

// ID3v2.2 frame ids and their ID3v2.3 equivalents; an empty one drops the frame.
const IdPair kIdMap[63] = {
    {"BUF", "RBUF"}, {"CNT", "PCNT"}, {"COM", "COMM"}, {"CRA", "AENC"}, {"CRM", ""},     {"ETC", "ETCO"},
    {"EQU", "EQUA"}, {"GEO", "GEOB"}, {"IPL", "IPLS"}, {"LNK", "LINK"}, {"MCI", "MCDI"}, {"MLL", "MLLT"},
    {"PIC", "APIC"}, {"POP", "POPM"}, {"REV", "RVRB"}, {"RVA", "RVAD"}, {"SLT", "SYLT"}, {"STC", "SYTC"},
    {"TAL", "TALB"}, {"TBP", "TBPM"}, {"TCM", "TCOM"}, {"TCO", "TCON"}, {"TCR", "TCOP"}, {"TDA", "TDAT"},
    {"TDY", "TDLY"}, {"TEN", "TENC"}, {"TFT", "TFLT"}, {"TIM", "TIME"}, {"TKE", "TKEY"}, {"TLA", "TLAN"},
    {"TLE", "TLEN"}, {"TMT", "TMED"}, {"TOA", "TOPE"}, {"TOF", "TOFN"}, {"TOL", "TOLY"}, {"TOR", "TORY"},
    {"TOT", "TOAL"}, {"TP1", "TPE1"}, {"TP2", "TPE2"}, {"TP3", "TPE3"}, {"TP4", "TPE4"}, {"TPA", "TPOS"},
    {"TPB", "TPUB"}, {"TRC", "TSRC"}, {"TRD", "TRDA"}, {"TRK", "TRCK"}, {"TSI", "TSIZ"}, {"TSS", "TSSE"},
    {"TT1", "TIT1"}, {"TT2", "TIT2"}, {"TT3", "TIT3"}, {"TXT", "TEXT"}, {"TXX", "TXXX"}, {"TYE", "TYER"},
    {"UFI", "UFID"}, {"ULT", "USLT"}, {"WAF", "WOAF"}, {"WAR", "WOAR"}, {"WAS", "WOAS"}, {"WCM", "WCOM"},
    {"WCP", "WCOP"}, {"WPB", "WPUB"}, {"WXX", "WXXX"},
};

}  // namespace
