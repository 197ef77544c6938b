// Text encodings: UTF-8 scanning, UTF-8 <-> UTF-16, code pages through
// iconv, Shift-JIS <-> ISO-2022-JP, and the re-encoding of outgoing lines.
#include "core/encodings.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <map>
#include <mutex>
#include <vector>

#include "core/text_buffer.h"
#include "core/text_limits.h"

namespace {

// ---------------------------------------------------------------------------
// Hook defaults.

int default_window_codepage(WindowRecord*) { return -1; }

// The Windows character-set table: charset number -> code page.
int default_charset_codepage(int charset)
{
    switch (charset) {
    case 1: return 0;      // default: the system page
    case 77: return 2;     // Mac
    case 255: return 1;    // OEM
    case 2: return 42;     // symbol
    case 222: return 874;  // Thai
    case 128: return 932;  // Shift-JIS
    case 134: return 936;  // GB2312
    case 129: return 949;  // Hangul
    case 136: return 950;  // Big5
    case 238: return 1250; // East Europe
    case 204: return 1251; // Russian
    case 0: return 1252;   // ANSI
    case 161: return 1253; // Greek
    case 162: return 1254; // Turkish
    case 177: return 1255; // Hebrew
    case 178: return 1256; // Arabic
    case 186: return 1257; // Baltic
    case 163: return 1258; // Vietnamese
    case 130: return 1361; // Johab
    default: return 0;
    }
}

bool default_window_font(WindowRecord*, int*, int*) { return false; }
bool default_any_window_sjis() { return false; }
WindowRecord* default_find_window(Connection*, const std::string&) { return nullptr; }
void default_target_font(Connection*, const std::string&, int* charset, int* encoding)
{
    if (charset) *charset = 1;
    if (encoding) *encoding = 0;
}
WindowRecord* default_status_window(Connection*) { return nullptr; }
std::string default_conn_charset(Connection*) { return std::string(); }

// ---------------------------------------------------------------------------
// UTF-8 byte forms.

inline bool is_cont(unsigned char b) { return (b & 0xC0) == 0x80; }

// Number of continuation bytes a lead byte announces; -1 for a byte that
// cannot start a character (a continuation byte, 0xFE, 0xFF).
inline int lead_extra(unsigned char b)
{
    if (b < 0x80) return 0;
    if (b < 0xC0) return -1;
    if (b < 0xE0) return 1;
    if (b < 0xF0) return 2;
    if (b < 0xF8) return 3;
    if (b < 0xFC) return 4;
    if (b < 0xFE) return 5;
    return -1;
}

// Length of the broken unit that starts at pos (utf8_sequence_at gave 0): a
// lead byte together with the continuation bytes that did follow it, or a
// single stray byte.
std::size_t broken_len(std::string_view text, std::size_t pos)
{
    const int extra = lead_extra(static_cast<unsigned char>(text[pos]));
    std::size_t len = 1;
    if (extra > 0) {
        while (pos + len < text.size() && len <= static_cast<std::size_t>(extra) &&
               is_cont(static_cast<unsigned char>(text[pos + len])))
            ++len;
    }
    return len;
}

// Code point of a well-formed sequence of len bytes (structure already
// checked).
std::uint32_t decode_seq(const unsigned char* p, int len)
{
    static const unsigned char lead_mask[7] = {0, 0x7F, 0x1F, 0x0F, 0x07, 0x03, 0x01};
    std::uint32_t cp = p[0] & lead_mask[len];
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (p[k] & 0x3F);
    return cp;
}

// ---------------------------------------------------------------------------
// The combining set: a two-level bitmap, one byte per 256-code-point page
// (0 none, 255 the whole page, else the number of a 32-byte bitmap).

struct CodeRange {
    std::uint16_t first, last;
};

constexpr CodeRange kCombiningRanges[] = {
    {0x0300, 0x034F}, {0x0360, 0x036F}, {0x0483, 0x0486}, {0x0488, 0x0489}, {0x0591, 0x05A1},
    {0x05A3, 0x05B9}, {0x05BB, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2}, {0x05C4, 0x05C4},
    {0x064B, 0x0655}, {0x0670, 0x0670}, {0x06D6, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED},
    {0x0711, 0x0711}, {0x0730, 0x074A}, {0x07A6, 0x07B0}, {0x0901, 0x0903}, {0x093C, 0x093C},
    {0x093E, 0x094D}, {0x0951, 0x0954}, {0x0962, 0x0963}, {0x0981, 0x0983}, {0x09BC, 0x09BC},
    {0x09BE, 0x09C4}, {0x09C7, 0x09C8}, {0x09CB, 0x09CD}, {0x09D7, 0x09D7}, {0x09E2, 0x09E3},
    {0x0A02, 0x0A02}, {0x0A3C, 0x0A3C}, {0x0A3E, 0x0A42}, {0x0A47, 0x0A48}, {0x0A4B, 0x0A4D},
    {0x0A70, 0x0A71}, {0x0A81, 0x0A83}, {0x0ABC, 0x0ABC}, {0x0ABE, 0x0AC5}, {0x0AC7, 0x0AC9},
    {0x0ACB, 0x0ACD}, {0x0B01, 0x0B03}, {0x0B3C, 0x0B3C}, {0x0B3E, 0x0B43}, {0x0B47, 0x0B48},
    {0x0B4B, 0x0B4D}, {0x0B56, 0x0B57}, {0x0B82, 0x0B82}, {0x0BBE, 0x0BC2}, {0x0BC6, 0x0BC8},
    {0x0BCA, 0x0BCD}, {0x0BD7, 0x0BD7}, {0x0C01, 0x0C03}, {0x0C3E, 0x0C44}, {0x0C46, 0x0C48},
    {0x0C4A, 0x0C4D}, {0x0C55, 0x0C56}, {0x0C82, 0x0C83}, {0x0CBE, 0x0CC4}, {0x0CC6, 0x0CC8},
    {0x0CCA, 0x0CCD}, {0x0CD5, 0x0CD6}, {0x0D02, 0x0D03}, {0x0D3E, 0x0D43}, {0x0D46, 0x0D48},
    {0x0D4A, 0x0D4D}, {0x0D57, 0x0D57}, {0x0D82, 0x0D83}, {0x0DCA, 0x0DCA}, {0x0DCF, 0x0DD4},
    {0x0DD6, 0x0DD6}, {0x0DD8, 0x0DDF}, {0x0DF2, 0x0DF3}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A},
    {0x0E47, 0x0E4E}, {0x0EB1, 0x0EB1}, {0x0EB4, 0x0EB9}, {0x0EBB, 0x0EBC}, {0x0EC8, 0x0ECD},
    {0x0F18, 0x0F19}, {0x0F35, 0x0F35}, {0x0F37, 0x0F37}, {0x0F39, 0x0F39}, {0x0F3E, 0x0F3F},
    {0x0F71, 0x0F84}, {0x0F86, 0x0F87}, {0x0F90, 0x0F97}, {0x0F99, 0x0FBC}, {0x0FC6, 0x0FC6},
    {0x102C, 0x1032}, {0x1036, 0x1039}, {0x1056, 0x1059}, {0x1161, 0x1175}, {0x11A8, 0x11C2},
    {0x1712, 0x1714}, {0x1732, 0x1734}, {0x1752, 0x1753}, {0x1772, 0x1773}, {0x17B4, 0x17D3},
    {0x180B, 0x180D}, {0x18A9, 0x18A9}, {0x20D0, 0x20EA}, {0x302A, 0x302F}, {0x3099, 0x309A},
    {0xFB1E, 0xFB1E}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE23},
};

constexpr int kMaxBitmaps = 32;

struct CombiningSet {
    std::array<std::uint8_t, 256> page{};
    std::array<std::array<std::uint8_t, 32>, kMaxBitmaps + 1> bits{};
};

constexpr CombiningSet build_combining_set()
{
    CombiningSet set{};
    int used = 0;
    for (const CodeRange& r : kCombiningRanges) {
        for (unsigned cp = r.first; cp <= r.last; ++cp) {
            const unsigned pg = cp >> 8;
            if (set.page[pg] == 0) set.page[pg] = static_cast<std::uint8_t>(++used);
            set.bits[set.page[pg]][(cp & 0xFF) >> 3] |= static_cast<std::uint8_t>(1u << (cp & 7));
        }
    }
    // A page whose bitmap is full is marked 255.
    for (unsigned pg = 0; pg < 256; ++pg) {
        if (set.page[pg] == 0) continue;
        bool full = true;
        for (std::uint8_t b : set.bits[set.page[pg]])
            if (b != 0xFF) full = false;
        if (full) set.page[pg] = 255;
    }
    return set;
}

constexpr CombiningSet kCombiningSet = build_combining_set();
static_assert(kCombiningSet.page[0x03] != 0, "combining set not built");

// Combining character at pos: its byte length, else 0.
int combining_at(std::string_view text, std::size_t pos)
{
    const int len = utf8_sequence_at(text, pos);
    if (len < 2) return 0;
    const std::uint32_t cp = decode_seq(reinterpret_cast<const unsigned char*>(text.data()) + pos, len);
    return (cp <= 0xFFFF && utf16_in_char_set(cp)) ? len : 0;
}

// ---------------------------------------------------------------------------
// Canonical compositions of a base and one combining character (every pair
// in the Basic Multilingual Plane that composes to one precomposed
// character), sorted by base then combining character.

struct Composition {
    std::uint16_t base, mark, composed;
};

constexpr Composition kCompositions[] = {
    {0x003C, 0x0338, 0x226E}, {0x003D, 0x0338, 0x2260}, {0x003E, 0x0338, 0x226F}, {0x0041, 0x0300, 0x00C0},
    {0x0041, 0x0301, 0x00C1}, {0x0041, 0x0302, 0x00C2}, {0x0041, 0x0303, 0x00C3}, {0x0041, 0x0304, 0x0100},
    {0x0041, 0x0306, 0x0102}, {0x0041, 0x0307, 0x0226}, {0x0041, 0x0308, 0x00C4}, {0x0041, 0x0309, 0x1EA2},
    {0x0041, 0x030A, 0x00C5}, {0x0041, 0x030C, 0x01CD}, {0x0041, 0x030F, 0x0200}, {0x0041, 0x0311, 0x0202},
    {0x0041, 0x0323, 0x1EA0}, {0x0041, 0x0325, 0x1E00}, {0x0041, 0x0328, 0x0104}, {0x0042, 0x0307, 0x1E02},
    {0x0042, 0x0323, 0x1E04}, {0x0042, 0x0331, 0x1E06}, {0x0043, 0x0301, 0x0106}, {0x0043, 0x0302, 0x0108},
    {0x0043, 0x0307, 0x010A}, {0x0043, 0x030C, 0x010C}, {0x0043, 0x0327, 0x00C7}, {0x0044, 0x0307, 0x1E0A},
    {0x0044, 0x030C, 0x010E}, {0x0044, 0x0323, 0x1E0C}, {0x0044, 0x0327, 0x1E10}, {0x0044, 0x032D, 0x1E12},
    {0x0044, 0x0331, 0x1E0E}, {0x0045, 0x0300, 0x00C8}, {0x0045, 0x0301, 0x00C9}, {0x0045, 0x0302, 0x00CA},
    {0x0045, 0x0303, 0x1EBC}, {0x0045, 0x0304, 0x0112}, {0x0045, 0x0306, 0x0114}, {0x0045, 0x0307, 0x0116},
    {0x0045, 0x0308, 0x00CB}, {0x0045, 0x0309, 0x1EBA}, {0x0045, 0x030C, 0x011A}, {0x0045, 0x030F, 0x0204},
    {0x0045, 0x0311, 0x0206}, {0x0045, 0x0323, 0x1EB8}, {0x0045, 0x0327, 0x0228}, {0x0045, 0x0328, 0x0118},
    {0x0045, 0x032D, 0x1E18}, {0x0045, 0x0330, 0x1E1A}, {0x0046, 0x0307, 0x1E1E}, {0x0047, 0x0301, 0x01F4},
    {0x0047, 0x0302, 0x011C}, {0x0047, 0x0304, 0x1E20}, {0x0047, 0x0306, 0x011E}, {0x0047, 0x0307, 0x0120},
    {0x0047, 0x030C, 0x01E6}, {0x0047, 0x0327, 0x0122}, {0x0048, 0x0302, 0x0124}, {0x0048, 0x0307, 0x1E22},
    {0x0048, 0x0308, 0x1E26}, {0x0048, 0x030C, 0x021E}, {0x0048, 0x0323, 0x1E24}, {0x0048, 0x0327, 0x1E28},
    {0x0048, 0x032E, 0x1E2A}, {0x0049, 0x0300, 0x00CC}, {0x0049, 0x0301, 0x00CD}, {0x0049, 0x0302, 0x00CE},
    {0x0049, 0x0303, 0x0128}, {0x0049, 0x0304, 0x012A}, {0x0049, 0x0306, 0x012C}, {0x0049, 0x0307, 0x0130},
    {0x0049, 0x0308, 0x00CF}, {0x0049, 0x0309, 0x1EC8}, {0x0049, 0x030C, 0x01CF}, {0x0049, 0x030F, 0x0208},
    {0x0049, 0x0311, 0x020A}, {0x0049, 0x0323, 0x1ECA}, {0x0049, 0x0328, 0x012E}, {0x0049, 0x0330, 0x1E2C},
    {0x004A, 0x0302, 0x0134}, {0x004B, 0x0301, 0x1E30}, {0x004B, 0x030C, 0x01E8}, {0x004B, 0x0323, 0x1E32},
    {0x004B, 0x0327, 0x0136}, {0x004B, 0x0331, 0x1E34}, {0x004C, 0x0301, 0x0139}, {0x004C, 0x030C, 0x013D},
    {0x004C, 0x0323, 0x1E36}, {0x004C, 0x0327, 0x013B}, {0x004C, 0x032D, 0x1E3C}, {0x004C, 0x0331, 0x1E3A},
    {0x004D, 0x0301, 0x1E3E}, {0x004D, 0x0307, 0x1E40}, {0x004D, 0x0323, 0x1E42}, {0x004E, 0x0300, 0x01F8},
    {0x004E, 0x0301, 0x0143}, {0x004E, 0x0303, 0x00D1}, {0x004E, 0x0307, 0x1E44}, {0x004E, 0x030C, 0x0147},
    {0x004E, 0x0323, 0x1E46}, {0x004E, 0x0327, 0x0145}, {0x004E, 0x032D, 0x1E4A}, {0x004E, 0x0331, 0x1E48},
    {0x004F, 0x0300, 0x00D2}, {0x004F, 0x0301, 0x00D3}, {0x004F, 0x0302, 0x00D4}, {0x004F, 0x0303, 0x00D5},
    {0x004F, 0x0304, 0x014C}, {0x004F, 0x0306, 0x014E}, {0x004F, 0x0307, 0x022E}, {0x004F, 0x0308, 0x00D6},
    {0x004F, 0x0309, 0x1ECE}, {0x004F, 0x030B, 0x0150}, {0x004F, 0x030C, 0x01D1}, {0x004F, 0x030F, 0x020C},
    {0x004F, 0x0311, 0x020E}, {0x004F, 0x031B, 0x01A0}, {0x004F, 0x0323, 0x1ECC}, {0x004F, 0x0328, 0x01EA},
    {0x0050, 0x0301, 0x1E54}, {0x0050, 0x0307, 0x1E56}, {0x0052, 0x0301, 0x0154}, {0x0052, 0x0307, 0x1E58},
    {0x0052, 0x030C, 0x0158}, {0x0052, 0x030F, 0x0210}, {0x0052, 0x0311, 0x0212}, {0x0052, 0x0323, 0x1E5A},
    {0x0052, 0x0327, 0x0156}, {0x0052, 0x0331, 0x1E5E}, {0x0053, 0x0301, 0x015A}, {0x0053, 0x0302, 0x015C},
    {0x0053, 0x0307, 0x1E60}, {0x0053, 0x030C, 0x0160}, {0x0053, 0x0323, 0x1E62}, {0x0053, 0x0326, 0x0218},
    {0x0053, 0x0327, 0x015E}, {0x0054, 0x0307, 0x1E6A}, {0x0054, 0x030C, 0x0164}, {0x0054, 0x0323, 0x1E6C},
    {0x0054, 0x0326, 0x021A}, {0x0054, 0x0327, 0x0162}, {0x0054, 0x032D, 0x1E70}, {0x0054, 0x0331, 0x1E6E},
    {0x0055, 0x0300, 0x00D9}, {0x0055, 0x0301, 0x00DA}, {0x0055, 0x0302, 0x00DB}, {0x0055, 0x0303, 0x0168},
    {0x0055, 0x0304, 0x016A}, {0x0055, 0x0306, 0x016C}, {0x0055, 0x0308, 0x00DC}, {0x0055, 0x0309, 0x1EE6},
    {0x0055, 0x030A, 0x016E}, {0x0055, 0x030B, 0x0170}, {0x0055, 0x030C, 0x01D3}, {0x0055, 0x030F, 0x0214},
    {0x0055, 0x0311, 0x0216}, {0x0055, 0x031B, 0x01AF}, {0x0055, 0x0323, 0x1EE4}, {0x0055, 0x0324, 0x1E72},
    {0x0055, 0x0328, 0x0172}, {0x0055, 0x032D, 0x1E76}, {0x0055, 0x0330, 0x1E74}, {0x0056, 0x0303, 0x1E7C},
    {0x0056, 0x0323, 0x1E7E}, {0x0057, 0x0300, 0x1E80}, {0x0057, 0x0301, 0x1E82}, {0x0057, 0x0302, 0x0174},
    {0x0057, 0x0307, 0x1E86}, {0x0057, 0x0308, 0x1E84}, {0x0057, 0x0323, 0x1E88}, {0x0058, 0x0307, 0x1E8A},
    {0x0058, 0x0308, 0x1E8C}, {0x0059, 0x0300, 0x1EF2}, {0x0059, 0x0301, 0x00DD}, {0x0059, 0x0302, 0x0176},
    {0x0059, 0x0303, 0x1EF8}, {0x0059, 0x0304, 0x0232}, {0x0059, 0x0307, 0x1E8E}, {0x0059, 0x0308, 0x0178},
    {0x0059, 0x0309, 0x1EF6}, {0x0059, 0x0323, 0x1EF4}, {0x005A, 0x0301, 0x0179}, {0x005A, 0x0302, 0x1E90},
    {0x005A, 0x0307, 0x017B}, {0x005A, 0x030C, 0x017D}, {0x005A, 0x0323, 0x1E92}, {0x005A, 0x0331, 0x1E94},
    {0x0061, 0x0300, 0x00E0}, {0x0061, 0x0301, 0x00E1}, {0x0061, 0x0302, 0x00E2}, {0x0061, 0x0303, 0x00E3},
    {0x0061, 0x0304, 0x0101}, {0x0061, 0x0306, 0x0103}, {0x0061, 0x0307, 0x0227}, {0x0061, 0x0308, 0x00E4},
    {0x0061, 0x0309, 0x1EA3}, {0x0061, 0x030A, 0x00E5}, {0x0061, 0x030C, 0x01CE}, {0x0061, 0x030F, 0x0201},
    {0x0061, 0x0311, 0x0203}, {0x0061, 0x0323, 0x1EA1}, {0x0061, 0x0325, 0x1E01}, {0x0061, 0x0328, 0x0105},
    {0x0062, 0x0307, 0x1E03}, {0x0062, 0x0323, 0x1E05}, {0x0062, 0x0331, 0x1E07}, {0x0063, 0x0301, 0x0107},
    {0x0063, 0x0302, 0x0109}, {0x0063, 0x0307, 0x010B}, {0x0063, 0x030C, 0x010D}, {0x0063, 0x0327, 0x00E7},
    {0x0064, 0x0307, 0x1E0B}, {0x0064, 0x030C, 0x010F}, {0x0064, 0x0323, 0x1E0D}, {0x0064, 0x0327, 0x1E11},
    {0x0064, 0x032D, 0x1E13}, {0x0064, 0x0331, 0x1E0F}, {0x0065, 0x0300, 0x00E8}, {0x0065, 0x0301, 0x00E9},
    {0x0065, 0x0302, 0x00EA}, {0x0065, 0x0303, 0x1EBD}, {0x0065, 0x0304, 0x0113}, {0x0065, 0x0306, 0x0115},
    {0x0065, 0x0307, 0x0117}, {0x0065, 0x0308, 0x00EB}, {0x0065, 0x0309, 0x1EBB}, {0x0065, 0x030C, 0x011B},
    {0x0065, 0x030F, 0x0205}, {0x0065, 0x0311, 0x0207}, {0x0065, 0x0323, 0x1EB9}, {0x0065, 0x0327, 0x0229},
    {0x0065, 0x0328, 0x0119}, {0x0065, 0x032D, 0x1E19}, {0x0065, 0x0330, 0x1E1B}, {0x0066, 0x0307, 0x1E1F},
    {0x0067, 0x0301, 0x01F5}, {0x0067, 0x0302, 0x011D}, {0x0067, 0x0304, 0x1E21}, {0x0067, 0x0306, 0x011F},
    {0x0067, 0x0307, 0x0121}, {0x0067, 0x030C, 0x01E7}, {0x0067, 0x0327, 0x0123}, {0x0068, 0x0302, 0x0125},
    {0x0068, 0x0307, 0x1E23}, {0x0068, 0x0308, 0x1E27}, {0x0068, 0x030C, 0x021F}, {0x0068, 0x0323, 0x1E25},
    {0x0068, 0x0327, 0x1E29}, {0x0068, 0x032E, 0x1E2B}, {0x0068, 0x0331, 0x1E96}, {0x0069, 0x0300, 0x00EC},
    {0x0069, 0x0301, 0x00ED}, {0x0069, 0x0302, 0x00EE}, {0x0069, 0x0303, 0x0129}, {0x0069, 0x0304, 0x012B},
    {0x0069, 0x0306, 0x012D}, {0x0069, 0x0308, 0x00EF}, {0x0069, 0x0309, 0x1EC9}, {0x0069, 0x030C, 0x01D0},
    {0x0069, 0x030F, 0x0209}, {0x0069, 0x0311, 0x020B}, {0x0069, 0x0323, 0x1ECB}, {0x0069, 0x0328, 0x012F},
    {0x0069, 0x0330, 0x1E2D}, {0x006A, 0x0302, 0x0135}, {0x006A, 0x030C, 0x01F0}, {0x006B, 0x0301, 0x1E31},
    {0x006B, 0x030C, 0x01E9}, {0x006B, 0x0323, 0x1E33}, {0x006B, 0x0327, 0x0137}, {0x006B, 0x0331, 0x1E35},
    {0x006C, 0x0301, 0x013A}, {0x006C, 0x030C, 0x013E}, {0x006C, 0x0323, 0x1E37}, {0x006C, 0x0327, 0x013C},
    {0x006C, 0x032D, 0x1E3D}, {0x006C, 0x0331, 0x1E3B}, {0x006D, 0x0301, 0x1E3F}, {0x006D, 0x0307, 0x1E41},
    {0x006D, 0x0323, 0x1E43}, {0x006E, 0x0300, 0x01F9}, {0x006E, 0x0301, 0x0144}, {0x006E, 0x0303, 0x00F1},
    {0x006E, 0x0307, 0x1E45}, {0x006E, 0x030C, 0x0148}, {0x006E, 0x0323, 0x1E47}, {0x006E, 0x0327, 0x0146},
    {0x006E, 0x032D, 0x1E4B}, {0x006E, 0x0331, 0x1E49}, {0x006F, 0x0300, 0x00F2}, {0x006F, 0x0301, 0x00F3},
    {0x006F, 0x0302, 0x00F4}, {0x006F, 0x0303, 0x00F5}, {0x006F, 0x0304, 0x014D}, {0x006F, 0x0306, 0x014F},
    {0x006F, 0x0307, 0x022F}, {0x006F, 0x0308, 0x00F6}, {0x006F, 0x0309, 0x1ECF}, {0x006F, 0x030B, 0x0151},
    {0x006F, 0x030C, 0x01D2}, {0x006F, 0x030F, 0x020D}, {0x006F, 0x0311, 0x020F}, {0x006F, 0x031B, 0x01A1},
    {0x006F, 0x0323, 0x1ECD}, {0x006F, 0x0328, 0x01EB}, {0x0070, 0x0301, 0x1E55}, {0x0070, 0x0307, 0x1E57},
    {0x0072, 0x0301, 0x0155}, {0x0072, 0x0307, 0x1E59}, {0x0072, 0x030C, 0x0159}, {0x0072, 0x030F, 0x0211},
    {0x0072, 0x0311, 0x0213}, {0x0072, 0x0323, 0x1E5B}, {0x0072, 0x0327, 0x0157}, {0x0072, 0x0331, 0x1E5F},
    {0x0073, 0x0301, 0x015B}, {0x0073, 0x0302, 0x015D}, {0x0073, 0x0307, 0x1E61}, {0x0073, 0x030C, 0x0161},
    {0x0073, 0x0323, 0x1E63}, {0x0073, 0x0326, 0x0219}, {0x0073, 0x0327, 0x015F}, {0x0074, 0x0307, 0x1E6B},
    {0x0074, 0x0308, 0x1E97}, {0x0074, 0x030C, 0x0165}, {0x0074, 0x0323, 0x1E6D}, {0x0074, 0x0326, 0x021B},
    {0x0074, 0x0327, 0x0163}, {0x0074, 0x032D, 0x1E71}, {0x0074, 0x0331, 0x1E6F}, {0x0075, 0x0300, 0x00F9},
    {0x0075, 0x0301, 0x00FA}, {0x0075, 0x0302, 0x00FB}, {0x0075, 0x0303, 0x0169}, {0x0075, 0x0304, 0x016B},
    {0x0075, 0x0306, 0x016D}, {0x0075, 0x0308, 0x00FC}, {0x0075, 0x0309, 0x1EE7}, {0x0075, 0x030A, 0x016F},
    {0x0075, 0x030B, 0x0171}, {0x0075, 0x030C, 0x01D4}, {0x0075, 0x030F, 0x0215}, {0x0075, 0x0311, 0x0217},
    {0x0075, 0x031B, 0x01B0}, {0x0075, 0x0323, 0x1EE5}, {0x0075, 0x0324, 0x1E73}, {0x0075, 0x0328, 0x0173},
    {0x0075, 0x032D, 0x1E77}, {0x0075, 0x0330, 0x1E75}, {0x0076, 0x0303, 0x1E7D}, {0x0076, 0x0323, 0x1E7F},
    {0x0077, 0x0300, 0x1E81}, {0x0077, 0x0301, 0x1E83}, {0x0077, 0x0302, 0x0175}, {0x0077, 0x0307, 0x1E87},
    {0x0077, 0x0308, 0x1E85}, {0x0077, 0x030A, 0x1E98}, {0x0077, 0x0323, 0x1E89}, {0x0078, 0x0307, 0x1E8B},
    {0x0078, 0x0308, 0x1E8D}, {0x0079, 0x0300, 0x1EF3}, {0x0079, 0x0301, 0x00FD}, {0x0079, 0x0302, 0x0177},
    {0x0079, 0x0303, 0x1EF9}, {0x0079, 0x0304, 0x0233}, {0x0079, 0x0307, 0x1E8F}, {0x0079, 0x0308, 0x00FF},
    {0x0079, 0x0309, 0x1EF7}, {0x0079, 0x030A, 0x1E99}, {0x0079, 0x0323, 0x1EF5}, {0x007A, 0x0301, 0x017A},
    {0x007A, 0x0302, 0x1E91}, {0x007A, 0x0307, 0x017C}, {0x007A, 0x030C, 0x017E}, {0x007A, 0x0323, 0x1E93},
    {0x007A, 0x0331, 0x1E95}, {0x00A8, 0x0300, 0x1FED}, {0x00A8, 0x0301, 0x0385}, {0x00A8, 0x0342, 0x1FC1},
    {0x00C2, 0x0300, 0x1EA6}, {0x00C2, 0x0301, 0x1EA4}, {0x00C2, 0x0303, 0x1EAA}, {0x00C2, 0x0309, 0x1EA8},
    {0x00C4, 0x0304, 0x01DE}, {0x00C5, 0x0301, 0x01FA}, {0x00C6, 0x0301, 0x01FC}, {0x00C6, 0x0304, 0x01E2},
    {0x00C7, 0x0301, 0x1E08}, {0x00CA, 0x0300, 0x1EC0}, {0x00CA, 0x0301, 0x1EBE}, {0x00CA, 0x0303, 0x1EC4},
    {0x00CA, 0x0309, 0x1EC2}, {0x00CF, 0x0301, 0x1E2E}, {0x00D4, 0x0300, 0x1ED2}, {0x00D4, 0x0301, 0x1ED0},
    {0x00D4, 0x0303, 0x1ED6}, {0x00D4, 0x0309, 0x1ED4}, {0x00D5, 0x0301, 0x1E4C}, {0x00D5, 0x0304, 0x022C},
    {0x00D5, 0x0308, 0x1E4E}, {0x00D6, 0x0304, 0x022A}, {0x00D8, 0x0301, 0x01FE}, {0x00DC, 0x0300, 0x01DB},
    {0x00DC, 0x0301, 0x01D7}, {0x00DC, 0x0304, 0x01D5}, {0x00DC, 0x030C, 0x01D9}, {0x00E2, 0x0300, 0x1EA7},
    {0x00E2, 0x0301, 0x1EA5}, {0x00E2, 0x0303, 0x1EAB}, {0x00E2, 0x0309, 0x1EA9}, {0x00E4, 0x0304, 0x01DF},
    {0x00E5, 0x0301, 0x01FB}, {0x00E6, 0x0301, 0x01FD}, {0x00E6, 0x0304, 0x01E3}, {0x00E7, 0x0301, 0x1E09},
    {0x00EA, 0x0300, 0x1EC1}, {0x00EA, 0x0301, 0x1EBF}, {0x00EA, 0x0303, 0x1EC5}, {0x00EA, 0x0309, 0x1EC3},
    {0x00EF, 0x0301, 0x1E2F}, {0x00F4, 0x0300, 0x1ED3}, {0x00F4, 0x0301, 0x1ED1}, {0x00F4, 0x0303, 0x1ED7},
    {0x00F4, 0x0309, 0x1ED5}, {0x00F5, 0x0301, 0x1E4D}, {0x00F5, 0x0304, 0x022D}, {0x00F5, 0x0308, 0x1E4F},
    {0x00F6, 0x0304, 0x022B}, {0x00F8, 0x0301, 0x01FF}, {0x00FC, 0x0300, 0x01DC}, {0x00FC, 0x0301, 0x01D8},
    {0x00FC, 0x0304, 0x01D6}, {0x00FC, 0x030C, 0x01DA}, {0x0102, 0x0300, 0x1EB0}, {0x0102, 0x0301, 0x1EAE},
    {0x0102, 0x0303, 0x1EB4}, {0x0102, 0x0309, 0x1EB2}, {0x0103, 0x0300, 0x1EB1}, {0x0103, 0x0301, 0x1EAF},
    {0x0103, 0x0303, 0x1EB5}, {0x0103, 0x0309, 0x1EB3}, {0x0112, 0x0300, 0x1E14}, {0x0112, 0x0301, 0x1E16},
    {0x0113, 0x0300, 0x1E15}, {0x0113, 0x0301, 0x1E17}, {0x014C, 0x0300, 0x1E50}, {0x014C, 0x0301, 0x1E52},
    {0x014D, 0x0300, 0x1E51}, {0x014D, 0x0301, 0x1E53}, {0x015A, 0x0307, 0x1E64}, {0x015B, 0x0307, 0x1E65},
    {0x0160, 0x0307, 0x1E66}, {0x0161, 0x0307, 0x1E67}, {0x0168, 0x0301, 0x1E78}, {0x0169, 0x0301, 0x1E79},
    {0x016A, 0x0308, 0x1E7A}, {0x016B, 0x0308, 0x1E7B}, {0x017F, 0x0307, 0x1E9B}, {0x01A0, 0x0300, 0x1EDC},
    {0x01A0, 0x0301, 0x1EDA}, {0x01A0, 0x0303, 0x1EE0}, {0x01A0, 0x0309, 0x1EDE}, {0x01A0, 0x0323, 0x1EE2},
    {0x01A1, 0x0300, 0x1EDD}, {0x01A1, 0x0301, 0x1EDB}, {0x01A1, 0x0303, 0x1EE1}, {0x01A1, 0x0309, 0x1EDF},
    {0x01A1, 0x0323, 0x1EE3}, {0x01AF, 0x0300, 0x1EEA}, {0x01AF, 0x0301, 0x1EE8}, {0x01AF, 0x0303, 0x1EEE},
    {0x01AF, 0x0309, 0x1EEC}, {0x01AF, 0x0323, 0x1EF0}, {0x01B0, 0x0300, 0x1EEB}, {0x01B0, 0x0301, 0x1EE9},
    {0x01B0, 0x0303, 0x1EEF}, {0x01B0, 0x0309, 0x1EED}, {0x01B0, 0x0323, 0x1EF1}, {0x01B7, 0x030C, 0x01EE},
    {0x01EA, 0x0304, 0x01EC}, {0x01EB, 0x0304, 0x01ED}, {0x0226, 0x0304, 0x01E0}, {0x0227, 0x0304, 0x01E1},
    {0x0228, 0x0306, 0x1E1C}, {0x0229, 0x0306, 0x1E1D}, {0x022E, 0x0304, 0x0230}, {0x022F, 0x0304, 0x0231},
    {0x0292, 0x030C, 0x01EF}, {0x0391, 0x0300, 0x1FBA}, {0x0391, 0x0301, 0x0386}, {0x0391, 0x0304, 0x1FB9},
    {0x0391, 0x0306, 0x1FB8}, {0x0391, 0x0313, 0x1F08}, {0x0391, 0x0314, 0x1F09}, {0x0391, 0x0345, 0x1FBC},
    {0x0395, 0x0300, 0x1FC8}, {0x0395, 0x0301, 0x0388}, {0x0395, 0x0313, 0x1F18}, {0x0395, 0x0314, 0x1F19},
    {0x0397, 0x0300, 0x1FCA}, {0x0397, 0x0301, 0x0389}, {0x0397, 0x0313, 0x1F28}, {0x0397, 0x0314, 0x1F29},
    {0x0397, 0x0345, 0x1FCC}, {0x0399, 0x0300, 0x1FDA}, {0x0399, 0x0301, 0x038A}, {0x0399, 0x0304, 0x1FD9},
    {0x0399, 0x0306, 0x1FD8}, {0x0399, 0x0308, 0x03AA}, {0x0399, 0x0313, 0x1F38}, {0x0399, 0x0314, 0x1F39},
    {0x039F, 0x0300, 0x1FF8}, {0x039F, 0x0301, 0x038C}, {0x039F, 0x0313, 0x1F48}, {0x039F, 0x0314, 0x1F49},
    {0x03A1, 0x0314, 0x1FEC}, {0x03A5, 0x0300, 0x1FEA}, {0x03A5, 0x0301, 0x038E}, {0x03A5, 0x0304, 0x1FE9},
    {0x03A5, 0x0306, 0x1FE8}, {0x03A5, 0x0308, 0x03AB}, {0x03A5, 0x0314, 0x1F59}, {0x03A9, 0x0300, 0x1FFA},
    {0x03A9, 0x0301, 0x038F}, {0x03A9, 0x0313, 0x1F68}, {0x03A9, 0x0314, 0x1F69}, {0x03A9, 0x0345, 0x1FFC},
    {0x03AC, 0x0345, 0x1FB4}, {0x03AE, 0x0345, 0x1FC4}, {0x03B1, 0x0300, 0x1F70}, {0x03B1, 0x0301, 0x03AC},
    {0x03B1, 0x0304, 0x1FB1}, {0x03B1, 0x0306, 0x1FB0}, {0x03B1, 0x0313, 0x1F00}, {0x03B1, 0x0314, 0x1F01},
    {0x03B1, 0x0342, 0x1FB6}, {0x03B1, 0x0345, 0x1FB3}, {0x03B5, 0x0300, 0x1F72}, {0x03B5, 0x0301, 0x03AD},
    {0x03B5, 0x0313, 0x1F10}, {0x03B5, 0x0314, 0x1F11}, {0x03B7, 0x0300, 0x1F74}, {0x03B7, 0x0301, 0x03AE},
    {0x03B7, 0x0313, 0x1F20}, {0x03B7, 0x0314, 0x1F21}, {0x03B7, 0x0342, 0x1FC6}, {0x03B7, 0x0345, 0x1FC3},
    {0x03B9, 0x0300, 0x1F76}, {0x03B9, 0x0301, 0x03AF}, {0x03B9, 0x0304, 0x1FD1}, {0x03B9, 0x0306, 0x1FD0},
    {0x03B9, 0x0308, 0x03CA}, {0x03B9, 0x0313, 0x1F30}, {0x03B9, 0x0314, 0x1F31}, {0x03B9, 0x0342, 0x1FD6},
    {0x03BF, 0x0300, 0x1F78}, {0x03BF, 0x0301, 0x03CC}, {0x03BF, 0x0313, 0x1F40}, {0x03BF, 0x0314, 0x1F41},
    {0x03C1, 0x0313, 0x1FE4}, {0x03C1, 0x0314, 0x1FE5}, {0x03C5, 0x0300, 0x1F7A}, {0x03C5, 0x0301, 0x03CD},
    {0x03C5, 0x0304, 0x1FE1}, {0x03C5, 0x0306, 0x1FE0}, {0x03C5, 0x0308, 0x03CB}, {0x03C5, 0x0313, 0x1F50},
    {0x03C5, 0x0314, 0x1F51}, {0x03C5, 0x0342, 0x1FE6}, {0x03C9, 0x0300, 0x1F7C}, {0x03C9, 0x0301, 0x03CE},
    {0x03C9, 0x0313, 0x1F60}, {0x03C9, 0x0314, 0x1F61}, {0x03C9, 0x0342, 0x1FF6}, {0x03C9, 0x0345, 0x1FF3},
    {0x03CA, 0x0300, 0x1FD2}, {0x03CA, 0x0301, 0x0390}, {0x03CA, 0x0342, 0x1FD7}, {0x03CB, 0x0300, 0x1FE2},
    {0x03CB, 0x0301, 0x03B0}, {0x03CB, 0x0342, 0x1FE7}, {0x03CE, 0x0345, 0x1FF4}, {0x03D2, 0x0301, 0x03D3},
    {0x03D2, 0x0308, 0x03D4}, {0x0406, 0x0308, 0x0407}, {0x0410, 0x0306, 0x04D0}, {0x0410, 0x0308, 0x04D2},
    {0x0413, 0x0301, 0x0403}, {0x0415, 0x0300, 0x0400}, {0x0415, 0x0306, 0x04D6}, {0x0415, 0x0308, 0x0401},
    {0x0416, 0x0306, 0x04C1}, {0x0416, 0x0308, 0x04DC}, {0x0417, 0x0308, 0x04DE}, {0x0418, 0x0300, 0x040D},
    {0x0418, 0x0304, 0x04E2}, {0x0418, 0x0306, 0x0419}, {0x0418, 0x0308, 0x04E4}, {0x041A, 0x0301, 0x040C},
    {0x041E, 0x0308, 0x04E6}, {0x0423, 0x0304, 0x04EE}, {0x0423, 0x0306, 0x040E}, {0x0423, 0x0308, 0x04F0},
    {0x0423, 0x030B, 0x04F2}, {0x0427, 0x0308, 0x04F4}, {0x042B, 0x0308, 0x04F8}, {0x042D, 0x0308, 0x04EC},
    {0x0430, 0x0306, 0x04D1}, {0x0430, 0x0308, 0x04D3}, {0x0433, 0x0301, 0x0453}, {0x0435, 0x0300, 0x0450},
    {0x0435, 0x0306, 0x04D7}, {0x0435, 0x0308, 0x0451}, {0x0436, 0x0306, 0x04C2}, {0x0436, 0x0308, 0x04DD},
    {0x0437, 0x0308, 0x04DF}, {0x0438, 0x0300, 0x045D}, {0x0438, 0x0304, 0x04E3}, {0x0438, 0x0306, 0x0439},
    {0x0438, 0x0308, 0x04E5}, {0x043A, 0x0301, 0x045C}, {0x043E, 0x0308, 0x04E7}, {0x0443, 0x0304, 0x04EF},
    {0x0443, 0x0306, 0x045E}, {0x0443, 0x0308, 0x04F1}, {0x0443, 0x030B, 0x04F3}, {0x0447, 0x0308, 0x04F5},
    {0x044B, 0x0308, 0x04F9}, {0x044D, 0x0308, 0x04ED}, {0x0456, 0x0308, 0x0457}, {0x0474, 0x030F, 0x0476},
    {0x0475, 0x030F, 0x0477}, {0x04D8, 0x0308, 0x04DA}, {0x04D9, 0x0308, 0x04DB}, {0x04E8, 0x0308, 0x04EA},
    {0x04E9, 0x0308, 0x04EB}, {0x0627, 0x0653, 0x0622}, {0x0627, 0x0654, 0x0623}, {0x0627, 0x0655, 0x0625},
    {0x0648, 0x0654, 0x0624}, {0x064A, 0x0654, 0x0626}, {0x06C1, 0x0654, 0x06C2}, {0x06D2, 0x0654, 0x06D3},
    {0x06D5, 0x0654, 0x06C0}, {0x0928, 0x093C, 0x0929}, {0x0930, 0x093C, 0x0931}, {0x0933, 0x093C, 0x0934},
    {0x09C7, 0x09BE, 0x09CB}, {0x09C7, 0x09D7, 0x09CC}, {0x0B47, 0x0B3E, 0x0B4B}, {0x0B47, 0x0B56, 0x0B48},
    {0x0B47, 0x0B57, 0x0B4C}, {0x0B92, 0x0BD7, 0x0B94}, {0x0BC6, 0x0BBE, 0x0BCA}, {0x0BC6, 0x0BD7, 0x0BCC},
    {0x0BC7, 0x0BBE, 0x0BCB}, {0x0C46, 0x0C56, 0x0C48}, {0x0CBF, 0x0CD5, 0x0CC0}, {0x0CC6, 0x0CC2, 0x0CCA},
    {0x0CC6, 0x0CD5, 0x0CC7}, {0x0CC6, 0x0CD6, 0x0CC8}, {0x0CCA, 0x0CD5, 0x0CCB}, {0x0D46, 0x0D3E, 0x0D4A},
    {0x0D46, 0x0D57, 0x0D4C}, {0x0D47, 0x0D3E, 0x0D4B}, {0x0DD9, 0x0DCA, 0x0DDA}, {0x0DD9, 0x0DCF, 0x0DDC},
    {0x0DD9, 0x0DDF, 0x0DDE}, {0x0DDC, 0x0DCA, 0x0DDD}, {0x1025, 0x102E, 0x1026}, {0x1B05, 0x1B35, 0x1B06},
    {0x1B07, 0x1B35, 0x1B08}, {0x1B09, 0x1B35, 0x1B0A}, {0x1B0B, 0x1B35, 0x1B0C}, {0x1B0D, 0x1B35, 0x1B0E},
    {0x1B11, 0x1B35, 0x1B12}, {0x1B3A, 0x1B35, 0x1B3B}, {0x1B3C, 0x1B35, 0x1B3D}, {0x1B3E, 0x1B35, 0x1B40},
    {0x1B3F, 0x1B35, 0x1B41}, {0x1B42, 0x1B35, 0x1B43}, {0x1E36, 0x0304, 0x1E38}, {0x1E37, 0x0304, 0x1E39},
    {0x1E5A, 0x0304, 0x1E5C}, {0x1E5B, 0x0304, 0x1E5D}, {0x1E62, 0x0307, 0x1E68}, {0x1E63, 0x0307, 0x1E69},
    {0x1EA0, 0x0302, 0x1EAC}, {0x1EA0, 0x0306, 0x1EB6}, {0x1EA1, 0x0302, 0x1EAD}, {0x1EA1, 0x0306, 0x1EB7},
    {0x1EB8, 0x0302, 0x1EC6}, {0x1EB9, 0x0302, 0x1EC7}, {0x1ECC, 0x0302, 0x1ED8}, {0x1ECD, 0x0302, 0x1ED9},
    {0x1F00, 0x0300, 0x1F02}, {0x1F00, 0x0301, 0x1F04}, {0x1F00, 0x0342, 0x1F06}, {0x1F00, 0x0345, 0x1F80},
    {0x1F01, 0x0300, 0x1F03}, {0x1F01, 0x0301, 0x1F05}, {0x1F01, 0x0342, 0x1F07}, {0x1F01, 0x0345, 0x1F81},
    {0x1F02, 0x0345, 0x1F82}, {0x1F03, 0x0345, 0x1F83}, {0x1F04, 0x0345, 0x1F84}, {0x1F05, 0x0345, 0x1F85},
    {0x1F06, 0x0345, 0x1F86}, {0x1F07, 0x0345, 0x1F87}, {0x1F08, 0x0300, 0x1F0A}, {0x1F08, 0x0301, 0x1F0C},
    {0x1F08, 0x0342, 0x1F0E}, {0x1F08, 0x0345, 0x1F88}, {0x1F09, 0x0300, 0x1F0B}, {0x1F09, 0x0301, 0x1F0D},
    {0x1F09, 0x0342, 0x1F0F}, {0x1F09, 0x0345, 0x1F89}, {0x1F0A, 0x0345, 0x1F8A}, {0x1F0B, 0x0345, 0x1F8B},
    {0x1F0C, 0x0345, 0x1F8C}, {0x1F0D, 0x0345, 0x1F8D}, {0x1F0E, 0x0345, 0x1F8E}, {0x1F0F, 0x0345, 0x1F8F},
    {0x1F10, 0x0300, 0x1F12}, {0x1F10, 0x0301, 0x1F14}, {0x1F11, 0x0300, 0x1F13}, {0x1F11, 0x0301, 0x1F15},
    {0x1F18, 0x0300, 0x1F1A}, {0x1F18, 0x0301, 0x1F1C}, {0x1F19, 0x0300, 0x1F1B}, {0x1F19, 0x0301, 0x1F1D},
    {0x1F20, 0x0300, 0x1F22}, {0x1F20, 0x0301, 0x1F24}, {0x1F20, 0x0342, 0x1F26}, {0x1F20, 0x0345, 0x1F90},
    {0x1F21, 0x0300, 0x1F23}, {0x1F21, 0x0301, 0x1F25}, {0x1F21, 0x0342, 0x1F27}, {0x1F21, 0x0345, 0x1F91},
    {0x1F22, 0x0345, 0x1F92}, {0x1F23, 0x0345, 0x1F93}, {0x1F24, 0x0345, 0x1F94}, {0x1F25, 0x0345, 0x1F95},
    {0x1F26, 0x0345, 0x1F96}, {0x1F27, 0x0345, 0x1F97}, {0x1F28, 0x0300, 0x1F2A}, {0x1F28, 0x0301, 0x1F2C},
    {0x1F28, 0x0342, 0x1F2E}, {0x1F28, 0x0345, 0x1F98}, {0x1F29, 0x0300, 0x1F2B}, {0x1F29, 0x0301, 0x1F2D},
    {0x1F29, 0x0342, 0x1F2F}, {0x1F29, 0x0345, 0x1F99}, {0x1F2A, 0x0345, 0x1F9A}, {0x1F2B, 0x0345, 0x1F9B},
    {0x1F2C, 0x0345, 0x1F9C}, {0x1F2D, 0x0345, 0x1F9D}, {0x1F2E, 0x0345, 0x1F9E}, {0x1F2F, 0x0345, 0x1F9F},
    {0x1F30, 0x0300, 0x1F32}, {0x1F30, 0x0301, 0x1F34}, {0x1F30, 0x0342, 0x1F36}, {0x1F31, 0x0300, 0x1F33},
    {0x1F31, 0x0301, 0x1F35}, {0x1F31, 0x0342, 0x1F37}, {0x1F38, 0x0300, 0x1F3A}, {0x1F38, 0x0301, 0x1F3C},
    {0x1F38, 0x0342, 0x1F3E}, {0x1F39, 0x0300, 0x1F3B}, {0x1F39, 0x0301, 0x1F3D}, {0x1F39, 0x0342, 0x1F3F},
    {0x1F40, 0x0300, 0x1F42}, {0x1F40, 0x0301, 0x1F44}, {0x1F41, 0x0300, 0x1F43}, {0x1F41, 0x0301, 0x1F45},
    {0x1F48, 0x0300, 0x1F4A}, {0x1F48, 0x0301, 0x1F4C}, {0x1F49, 0x0300, 0x1F4B}, {0x1F49, 0x0301, 0x1F4D},
    {0x1F50, 0x0300, 0x1F52}, {0x1F50, 0x0301, 0x1F54}, {0x1F50, 0x0342, 0x1F56}, {0x1F51, 0x0300, 0x1F53},
    {0x1F51, 0x0301, 0x1F55}, {0x1F51, 0x0342, 0x1F57}, {0x1F59, 0x0300, 0x1F5B}, {0x1F59, 0x0301, 0x1F5D},
    {0x1F59, 0x0342, 0x1F5F}, {0x1F60, 0x0300, 0x1F62}, {0x1F60, 0x0301, 0x1F64}, {0x1F60, 0x0342, 0x1F66},
    {0x1F60, 0x0345, 0x1FA0}, {0x1F61, 0x0300, 0x1F63}, {0x1F61, 0x0301, 0x1F65}, {0x1F61, 0x0342, 0x1F67},
    {0x1F61, 0x0345, 0x1FA1}, {0x1F62, 0x0345, 0x1FA2}, {0x1F63, 0x0345, 0x1FA3}, {0x1F64, 0x0345, 0x1FA4},
    {0x1F65, 0x0345, 0x1FA5}, {0x1F66, 0x0345, 0x1FA6}, {0x1F67, 0x0345, 0x1FA7}, {0x1F68, 0x0300, 0x1F6A},
    {0x1F68, 0x0301, 0x1F6C}, {0x1F68, 0x0342, 0x1F6E}, {0x1F68, 0x0345, 0x1FA8}, {0x1F69, 0x0300, 0x1F6B},
    {0x1F69, 0x0301, 0x1F6D}, {0x1F69, 0x0342, 0x1F6F}, {0x1F69, 0x0345, 0x1FA9}, {0x1F6A, 0x0345, 0x1FAA},
    {0x1F6B, 0x0345, 0x1FAB}, {0x1F6C, 0x0345, 0x1FAC}, {0x1F6D, 0x0345, 0x1FAD}, {0x1F6E, 0x0345, 0x1FAE},
    {0x1F6F, 0x0345, 0x1FAF}, {0x1F70, 0x0345, 0x1FB2}, {0x1F74, 0x0345, 0x1FC2}, {0x1F7C, 0x0345, 0x1FF2},
    {0x1FB6, 0x0345, 0x1FB7}, {0x1FBF, 0x0300, 0x1FCD}, {0x1FBF, 0x0301, 0x1FCE}, {0x1FBF, 0x0342, 0x1FCF},
    {0x1FC6, 0x0345, 0x1FC7}, {0x1FF6, 0x0345, 0x1FF7}, {0x1FFE, 0x0300, 0x1FDD}, {0x1FFE, 0x0301, 0x1FDE},
    {0x1FFE, 0x0342, 0x1FDF}, {0x2190, 0x0338, 0x219A}, {0x2192, 0x0338, 0x219B}, {0x2194, 0x0338, 0x21AE},
    {0x21D0, 0x0338, 0x21CD}, {0x21D2, 0x0338, 0x21CF}, {0x21D4, 0x0338, 0x21CE}, {0x2203, 0x0338, 0x2204},
    {0x2208, 0x0338, 0x2209}, {0x220B, 0x0338, 0x220C}, {0x2223, 0x0338, 0x2224}, {0x2225, 0x0338, 0x2226},
    {0x223C, 0x0338, 0x2241}, {0x2243, 0x0338, 0x2244}, {0x2245, 0x0338, 0x2247}, {0x2248, 0x0338, 0x2249},
    {0x224D, 0x0338, 0x226D}, {0x2261, 0x0338, 0x2262}, {0x2264, 0x0338, 0x2270}, {0x2265, 0x0338, 0x2271},
    {0x2272, 0x0338, 0x2274}, {0x2273, 0x0338, 0x2275}, {0x2276, 0x0338, 0x2278}, {0x2277, 0x0338, 0x2279},
    {0x227A, 0x0338, 0x2280}, {0x227B, 0x0338, 0x2281}, {0x227C, 0x0338, 0x22E0}, {0x227D, 0x0338, 0x22E1},
    {0x2282, 0x0338, 0x2284}, {0x2283, 0x0338, 0x2285}, {0x2286, 0x0338, 0x2288}, {0x2287, 0x0338, 0x2289},
    {0x2291, 0x0338, 0x22E2}, {0x2292, 0x0338, 0x22E3}, {0x22A2, 0x0338, 0x22AC}, {0x22A8, 0x0338, 0x22AD},
    {0x22A9, 0x0338, 0x22AE}, {0x22AB, 0x0338, 0x22AF}, {0x22B2, 0x0338, 0x22EA}, {0x22B3, 0x0338, 0x22EB},
    {0x22B4, 0x0338, 0x22EC}, {0x22B5, 0x0338, 0x22ED}, {0x3046, 0x3099, 0x3094}, {0x304B, 0x3099, 0x304C},
    {0x304D, 0x3099, 0x304E}, {0x304F, 0x3099, 0x3050}, {0x3051, 0x3099, 0x3052}, {0x3053, 0x3099, 0x3054},
    {0x3055, 0x3099, 0x3056}, {0x3057, 0x3099, 0x3058}, {0x3059, 0x3099, 0x305A}, {0x305B, 0x3099, 0x305C},
    {0x305D, 0x3099, 0x305E}, {0x305F, 0x3099, 0x3060}, {0x3061, 0x3099, 0x3062}, {0x3064, 0x3099, 0x3065},
    {0x3066, 0x3099, 0x3067}, {0x3068, 0x3099, 0x3069}, {0x306F, 0x3099, 0x3070}, {0x306F, 0x309A, 0x3071},
    {0x3072, 0x3099, 0x3073}, {0x3072, 0x309A, 0x3074}, {0x3075, 0x3099, 0x3076}, {0x3075, 0x309A, 0x3077},
    {0x3078, 0x3099, 0x3079}, {0x3078, 0x309A, 0x307A}, {0x307B, 0x3099, 0x307C}, {0x307B, 0x309A, 0x307D},
    {0x309D, 0x3099, 0x309E}, {0x30A6, 0x3099, 0x30F4}, {0x30AB, 0x3099, 0x30AC}, {0x30AD, 0x3099, 0x30AE},
    {0x30AF, 0x3099, 0x30B0}, {0x30B1, 0x3099, 0x30B2}, {0x30B3, 0x3099, 0x30B4}, {0x30B5, 0x3099, 0x30B6},
    {0x30B7, 0x3099, 0x30B8}, {0x30B9, 0x3099, 0x30BA}, {0x30BB, 0x3099, 0x30BC}, {0x30BD, 0x3099, 0x30BE},
    {0x30BF, 0x3099, 0x30C0}, {0x30C1, 0x3099, 0x30C2}, {0x30C4, 0x3099, 0x30C5}, {0x30C6, 0x3099, 0x30C7},
    {0x30C8, 0x3099, 0x30C9}, {0x30CF, 0x3099, 0x30D0}, {0x30CF, 0x309A, 0x30D1}, {0x30D2, 0x3099, 0x30D3},
    {0x30D2, 0x309A, 0x30D4}, {0x30D5, 0x3099, 0x30D6}, {0x30D5, 0x309A, 0x30D7}, {0x30D8, 0x3099, 0x30D9},
    {0x30D8, 0x309A, 0x30DA}, {0x30DB, 0x3099, 0x30DC}, {0x30DB, 0x309A, 0x30DD}, {0x30EF, 0x3099, 0x30F7},
    {0x30F0, 0x3099, 0x30F8}, {0x30F1, 0x3099, 0x30F9}, {0x30F2, 0x3099, 0x30FA}, {0x30FD, 0x3099, 0x30FE},
};

char16_t compose_pair(char16_t base, char16_t mark)
{
    const Composition key{static_cast<std::uint16_t>(base), static_cast<std::uint16_t>(mark), 0};
    const auto* end = std::end(kCompositions);
    const auto* it = std::lower_bound(std::begin(kCompositions), end, key,
                                      [](const Composition& a, const Composition& b) {
                                          return a.base != b.base ? a.base < b.base : a.mark < b.mark;
                                      });
    if (it != end && it->base == base && it->mark == mark) return it->composed;
    return 0;
}

// Composes each base character with the combining characters that follow
// it wherever a precomposed character exists.
void compose_text(std::u16string& s)
{
    if (s.size() < 2) return;
    std::size_t out = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (out > 0 && c >= 0x0300) {
            const char16_t composed = compose_pair(s[out - 1], c);
            if (composed) {
                s[out - 1] = composed;
                continue;
            }
        }
        s[out++] = c;
    }
    s.resize(out);
}

// ---------------------------------------------------------------------------
// iconv, one pair of descriptors per code set, opened once.

struct IconvPair {
    iconv_t to_wide = reinterpret_cast<iconv_t>(-1);
    iconv_t from_wide = reinterpret_cast<iconv_t>(-1);
};

bool iconv_ok(iconv_t cd) { return cd != reinterpret_cast<iconv_t>(-1); }

// The open descriptors, closed when the program ends.
struct IconvCache {
    std::map<std::string, IconvPair> pairs;
    ~IconvCache()
    {
        for (auto& entry : pairs) {
            if (iconv_ok(entry.second.to_wide)) iconv_close(entry.second.to_wide);
            if (iconv_ok(entry.second.from_wide)) iconv_close(entry.second.from_wide);
        }
    }
};

std::mutex g_iconv_mutex;
IconvCache g_iconv_cache;

const char* wide_name()
{
    return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}

// Caller holds g_iconv_mutex.
IconvPair& iconv_for(const std::string& name)
{
    auto it = g_iconv_cache.pairs.find(name);
    if (it != g_iconv_cache.pairs.end()) return it->second;
    IconvPair pair;
    pair.to_wide = iconv_open(wide_name(), name.c_str());
    pair.from_wide = iconv_open(name.c_str(), wide_name());
    return g_iconv_cache.pairs.emplace(name, pair).first->second;
}

// Code page bytes to UTF-16; false for an unknown code page or bytes that
// the code page does not define.
bool codepage_to_utf16(int codepage, std::string_view in, std::u16string& out)
{
    const std::string name = codepage_iconv_name(codepage);
    if (name.empty()) return false;
    std::lock_guard<std::mutex> lock(g_iconv_mutex);
    iconv_t cd = iconv_for(name).to_wide;
    if (!iconv_ok(cd)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    std::vector<char> buf((in.size() + 4) * 4);
    char* inp = const_cast<char*>(in.data());
    std::size_t inleft = in.size();
    std::size_t used = 0;
    while (inleft > 0) {
        char* outp = buf.data() + used;
        std::size_t outleft = buf.size() - used;
        const std::size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
        used = static_cast<std::size_t>(outp - buf.data());
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) {
            buf.resize(buf.size() * 2);
            continue;
        }
        return false; // EILSEQ: undefined bytes; EINVAL: a cut character
    }
    char* outp = buf.data() + used;
    std::size_t outleft = buf.size() - used;
    if (iconv(cd, nullptr, nullptr, &outp, &outleft) == static_cast<std::size_t>(-1)) return false;
    used = static_cast<std::size_t>(outp - buf.data());
    out.resize(used / 2);
    if (used) std::memcpy(out.data(), buf.data(), out.size() * 2);
    return true;
}

// UTF-16 to code page bytes; a character the code page lacks becomes '?'.
bool utf16_to_codepage(int codepage, std::u16string_view in, std::string& out)
{
    const std::string name = codepage_iconv_name(codepage);
    if (name.empty()) return false;
    std::lock_guard<std::mutex> lock(g_iconv_mutex);
    iconv_t cd = iconv_for(name).from_wide;
    if (!iconv_ok(cd)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    std::vector<char> buf(in.size() * 4 + 16);
    char* inp = reinterpret_cast<char*>(const_cast<char16_t*>(in.data()));
    std::size_t inleft = in.size() * 2;
    std::size_t used = 0;
    while (inleft > 0) {
        char* outp = buf.data() + used;
        std::size_t outleft = buf.size() - used;
        const std::size_t r = iconv(cd, &inp, &inleft, &outp, &outleft);
        used = static_cast<std::size_t>(outp - buf.data());
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) {
            buf.resize(buf.size() * 2);
            continue;
        }
        // A character the code page lacks (or a broken surrogate): '?'.
        if (used >= buf.size()) buf.resize(buf.size() * 2);
        buf[used++] = '?';
        std::size_t skip = 2;
        if (inleft >= 4) {
            char16_t u;
            std::memcpy(&u, inp, 2);
            char16_t v;
            std::memcpy(&v, inp + 2, 2);
            if (u >= 0xD800 && u <= 0xDBFF && v >= 0xDC00 && v <= 0xDFFF) skip = 4;
        }
        skip = std::min(skip, inleft);
        inp += skip;
        inleft -= skip;
    }
    char* outp = buf.data() + used;
    std::size_t outleft = buf.size() - used;
    iconv(cd, nullptr, nullptr, &outp, &outleft);
    used = static_cast<std::size_t>(outp - buf.data());
    out.assign(buf.data(), used);
    return true;
}

// The code page that a window or charset stands for; -1 when neither gives
// one.
int resolve_codepage(WindowRecord* window, int charset)
{
    if (window) {
        auto hook = encodings_window_codepage ? encodings_window_codepage : default_window_codepage;
        return hook(window);
    }
    if (charset < 0) return -1;
    auto hook = encodings_charset_codepage ? encodings_charset_codepage : default_charset_codepage;
    return hook(charset);
}

// Appends whole characters of the piece while the output stays within the
// cap; a byte that starts no well-formed character counts as one character.
void append_capped(std::string& out, std::string_view piece)
{
    if (out.size() >= kLongText) return;
    if (out.size() + piece.size() <= kLongText) {
        out.append(piece);
        return;
    }
    std::size_t i = 0;
    while (i < piece.size()) {
        int len = utf8_sequence_at(piece, i);
        if (len < 1) len = 1;
        if (out.size() + static_cast<std::size_t>(len) > kLongText) break;
        out.append(piece.substr(i, static_cast<std::size_t>(len)));
        i += static_cast<std::size_t>(len);
    }
}

// ---------------------------------------------------------------------------
// Shift-JIS and JIS X 0208.

constexpr char kEsc = '\x1b';

inline bool sjis_lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

inline bool jis_byte(unsigned char b) { return b >= 0x21 && b <= 0x7E; }

// Shift-JIS pair -> JIS X 0208 pair; false when the result is no JIS code.
bool sjis_pair_to_jis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2)
{
    if (!sjis_lead(s1) || s2 < 0x40 || s2 > 0xFC) return false;
    const int adjust = s2 < 0x9F ? 1 : 0;
    const int row_offset = s1 < 0xA0 ? 0x70 : 0xB0;
    const int cell_offset = adjust ? (s2 > 0x7F ? 0x20 : 0x1F) : 0x7E;
    const int a = ((s1 - row_offset) << 1) - adjust;
    const int b = s2 - cell_offset;
    if (a < 0x21 || a > 0x7E || b < 0x21 || b > 0x7E) return false;
    j1 = static_cast<unsigned char>(a);
    j2 = static_cast<unsigned char>(b);
    return true;
}

// JIS X 0208 pair (both bytes 0x21..0x7E) -> Shift-JIS pair.
void jis_pair_to_sjis(unsigned char j1, unsigned char j2, unsigned char& s1, unsigned char& s2)
{
    const int row_offset = j1 < 0x5F ? 0x70 : 0xB0;
    const int cell_offset = (j1 & 1) ? (j2 > 0x5F ? 0x20 : 0x1F) : 0x7E;
    s1 = static_cast<unsigned char>(((j1 + 1) >> 1) + row_offset);
    s2 = static_cast<unsigned char>(j2 + cell_offset);
}

std::size_t count_lf(std::string_view s) { return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n')); }

} // namespace

// ---------------------------------------------------------------------------
// Hooks.

int (*encodings_window_codepage)(WindowRecord*) = nullptr;
int (*encodings_charset_codepage)(int) = nullptr;
bool (*encodings_window_font)(WindowRecord*, int*, int*) = nullptr;
bool (*encodings_any_window_sjis)() = nullptr;
WindowRecord* (*encodings_find_window)(Connection*, const std::string&) = nullptr;
void (*encodings_target_font)(Connection*, const std::string&, int*, int*) = nullptr;
WindowRecord* (*encodings_status_window)(Connection*) = nullptr;
std::string (*encodings_conn_charset)(Connection*) = nullptr;

// ---------------------------------------------------------------------------
// UTF-8 classification.

int utf8_sequence_at(std::string_view text, std::size_t pos)
{
    if (pos >= text.size()) return 0;
    const int extra = lead_extra(static_cast<unsigned char>(text[pos]));
    if (extra < 0) return 0;
    if (static_cast<std::size_t>(extra) >= text.size() - pos) return 0;
    for (int k = 1; k <= extra; ++k)
        if (!is_cont(static_cast<unsigned char>(text[pos + static_cast<std::size_t>(k)]))) return 0;
    return extra + 1;
}

int utf8_byte_class(std::string_view text, long position)
{
    if (position < 0 || static_cast<std::size_t>(position) >= text.size()) return 0;
    const std::size_t target = static_cast<std::size_t>(position);
    std::size_t i = 0;
    for (;;) {
        const int len = utf8_sequence_at(text, i);
        if (len == 0) {
            const std::size_t bl = broken_len(text, i);
            if (target < i + bl) return -3;
            i += bl;
            continue;
        }
        if (target < i + static_cast<std::size_t>(len)) {
            const std::size_t off = target - i;
            if (off == 0) return len - 1;
            return off + 1 == static_cast<std::size_t>(len) ? -2 : -1;
        }
        i += static_cast<std::size_t>(len);
    }
}

int utf8_detect(std::string_view text)
{
    bool multi = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const int len = utf8_sequence_at(text, i);
        if (len == 0) return 0;
        if (len > 1) multi = true;
        i += static_cast<std::size_t>(len);
    }
    return multi ? 2 : 1;
}

int utf8_detect(const char* text)
{
    if (!text) return 0;
    return utf8_detect(std::string_view(text));
}

int utf8_is_legal(const unsigned char* bytes, int length)
{
    if (!bytes || length < 1 || length > 4) return 0;
    const unsigned char lead = bytes[0];
    if (lead_extra(lead) + 1 != length) return 0;
    switch (length) {
    case 4:
        if (!is_cont(bytes[3])) return 0;
        [[fallthrough]];
    case 3:
        if (!is_cont(bytes[2])) return 0;
        [[fallthrough]];
    case 2: {
        const unsigned char a = bytes[1];
        if (!is_cont(a)) return 0;
        switch (lead) {
        case 0xE0: if (a < 0xA0) return 0; break;
        case 0xED: if (a > 0x9F) return 0; break;
        case 0xF0: if (a < 0x90) return 0; break;
        case 0xF4: if (a > 0x8F) return 0; break;
        default: break;
        }
        [[fallthrough]];
    }
    case 1:
        if (lead >= 0x80 && lead < 0xC2) return 0;
        break;
    }
    return lead > 0xF4 ? 0 : 1;
}

int utf16_in_char_set(unsigned int code_point)
{
    if (code_point <= 767 || code_point > 0xFFFF) return 0;
    const std::uint8_t pg = kCombiningSet.page[code_point >> 8];
    if (pg == 0) return 0;
    if (pg == 255) return 1;
    return (kCombiningSet.bits[pg][(code_point & 0xFF) >> 3] >> (code_point & 7)) & 1;
}

int utf8_char_in_set(std::string_view text)
{
    const std::string_view head = text.substr(0, std::min<std::size_t>(text.size(), 10));
    const int len = utf8_sequence_at(head, 0);
    if (len < 2) return 0;
    const std::uint32_t cp = decode_seq(reinterpret_cast<const unsigned char*>(head.data()), len);
    return utf16_in_char_set(cp) ? 1 : 0;
}

int utf8_adjust_span(std::string_view text, int& start, int& length)
{
    const long n = static_cast<long>(text.size());
    long s = start < 0 ? 0 : start;
    long len = length;
    if (s > n) s = n;
    if (len > n - s) len = n - s;

    // Back to the lead byte.
    while (s > 0 && s < n && is_cont(static_cast<unsigned char>(text[static_cast<std::size_t>(s)]))) {
        --s;
        ++len;
    }
    // A stray continuation byte or a combining character at the start goes.
    while (len > 0) {
        const std::size_t p = static_cast<std::size_t>(s);
        if (is_cont(static_cast<unsigned char>(text[p]))) {
            ++s;
            --len;
            continue;
        }
        const int c = combining_at(text, p);
        if (c > 0) {
            s += c;
            len -= c;
            continue;
        }
        break;
    }
    if (len <= 0) {
        start = static_cast<int>(s);
        length = 0;
        return 0;
    }
    // Walk the span's characters, widening it to whole characters and to
    // the combining characters that follow a base character.
    long end = s + len;
    long pos = s;
    while (pos < end) {
        const std::size_t p = static_cast<std::size_t>(pos);
        int cl = utf8_sequence_at(text, p);
        const bool combining = cl >= 2 && combining_at(text, p) > 0;
        if (cl < 1) cl = 1;
        pos += cl;
        if (pos > end) end = pos;
        if (!combining) {
            while (pos < n) {
                const int c = combining_at(text, static_cast<std::size_t>(pos));
                if (c == 0) break;
                pos += c;
                if (pos > end) end = pos;
            }
        }
    }
    start = static_cast<int>(s);
    length = static_cast<int>(end - s);
    return length > 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// UTF-8 <-> UTF-16.

int utf8_to_utf16(const unsigned char*& src, const unsigned char* src_end, char16_t*& dst,
                  char16_t* dst_end, bool lenient)
{
    static const std::uint32_t kMin[6] = {0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
    while (src < src_end) {
        const unsigned char lead = *src;
        int extra = lead_extra(lead);
        if (extra < 0) return kConvSourceIllegal;
        if (extra >= src_end - src) return kConvSourceExhausted;
        for (int k = 1; k <= extra; ++k)
            if (!is_cont(src[k])) return kConvSourceIllegal;
        const std::uint32_t cp = decode_seq(src, extra + 1);
        if (cp < kMin[extra]) return kConvSourceIllegal; // overlong
        std::uint32_t out = cp;
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            if (!lenient) return kConvSourceIllegal;
            out = 0xFFFD;
        }
        if (out > 0xFFFF) {
            if (dst_end - dst < 2) return kConvTargetExhausted;
            out -= 0x10000;
            *dst++ = static_cast<char16_t>(0xD800 + (out >> 10));
            *dst++ = static_cast<char16_t>(0xDC00 + (out & 0x3FF));
        } else {
            if (dst >= dst_end) return kConvTargetExhausted;
            *dst++ = static_cast<char16_t>(out);
        }
        src += extra + 1;
    }
    return kConvOk;
}

int utf16_to_utf8(const char16_t*& src, const char16_t* src_end, unsigned char*& dst,
                  unsigned char* dst_end, bool lenient)
{
    while (src < src_end) {
        const char16_t* start = src;
        std::uint32_t ch = *src++;
        if (ch >= 0xD800 && ch <= 0xDBFF) {
            if (src >= src_end) {
                src = start;
                return kConvSourceExhausted;
            }
            const std::uint32_t ch2 = *src;
            if (ch2 >= 0xDC00 && ch2 <= 0xDFFF) {
                ch = ((ch - 0xD800) << 10) + (ch2 - 0xDC00) + 0x10000;
                ++src;
            } else if (!lenient) {
                src = start;
                return kConvSourceIllegal;
            }
        } else if (!lenient && ch >= 0xDC00 && ch <= 0xDFFF) {
            src = start;
            return kConvSourceIllegal;
        }
        int bytes = ch < 0x80 ? 1 : ch < 0x800 ? 2 : ch < 0x10000 ? 3 : 4;
        if (dst_end - dst < bytes) {
            src = start;
            return kConvTargetExhausted;
        }
        static const unsigned char kFirst[5] = {0, 0x00, 0xC0, 0xE0, 0xF0};
        for (int k = bytes - 1; k > 0; --k) {
            dst[k] = static_cast<unsigned char>((ch & 0x3F) | 0x80);
            ch >>= 6;
        }
        dst[0] = static_cast<unsigned char>(ch | kFirst[bytes]);
        dst += bytes;
    }
    return kConvOk;
}

std::optional<std::u16string> utf8_to_utf16_alloc(std::string_view text, long length)
{
    if (length >= 0 && static_cast<std::size_t>(length) < text.size())
        text = text.substr(0, static_cast<std::size_t>(length));
    if (text.empty()) return std::nullopt;
    std::u16string out(text.size(), u'\0');
    const unsigned char* src = reinterpret_cast<const unsigned char*>(text.data());
    char16_t* dst = out.data();
    if (utf8_to_utf16(src, src + text.size(), dst, out.data() + out.size(), true) != kConvOk)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

std::optional<std::string> utf16_to_utf8_alloc(std::u16string_view text, long length)
{
    if (length >= 0 && static_cast<std::size_t>(length) < text.size())
        text = text.substr(0, static_cast<std::size_t>(length));
    if (text.empty()) return std::nullopt;
    std::string out(text.size() * 3, '\0');
    const char16_t* src = text.data();
    unsigned char* base = reinterpret_cast<unsigned char*>(out.data());
    unsigned char* dst = base;
    if (utf16_to_utf8(src, src + text.size(), dst, base + out.size(), true) != kConvOk)
        return std::nullopt;
    out.resize(static_cast<std::size_t>(dst - base));
    return out;
}

// ---------------------------------------------------------------------------
// Code pages.

std::string codepage_iconv_name(int codepage)
{
    switch (codepage) {
    case 0:
    case 1: {
        // The locale's code set. A process still in the "C" locale reports
        // plain ASCII; text there is taken as UTF-8, as the display does.
        const char* cs = nl_langinfo(CODESET);
        if (!cs || !*cs || std::strcmp(cs, "ANSI_X3.4-1968") == 0 || std::strcmp(cs, "ASCII") == 0)
            return "UTF-8";
        return cs;
    }
    case 2: return "MACINTOSH";
    case 42: return std::string();
    case 874: case 932: case 936: case 949: case 950:
    case 1250: case 1251: case 1252: case 1253: case 1254:
    case 1255: case 1256: case 1257: case 1258: case 1361:
        return "CP" + std::to_string(codepage);
    case 65001: return "UTF-8";
    default: return std::string();
    }
}

int charset_to_utf8(WindowRecord* window, int charset, std::string& text)
{
    if (text.empty()) return 0;
    if (text.size() > kLongText) return -1;
    const int cp = resolve_codepage(window, charset);
    if (cp < 0) return -1;
    std::u16string wide;
    if (!codepage_to_utf16(cp, text, wide)) return -1;
    compose_text(wide);
    if (wide.empty()) return -1;
    auto utf8 = utf16_to_utf8_alloc(wide);
    if (!utf8 || utf8->size() > kLongText) return -1;
    text = std::move(*utf8);
    return 0;
}

int utf8_to_charset(WindowRecord* window, int charset, std::string& text)
{
    if (text.empty()) return 0;
    if (text.size() > kLongText) return -1;
    const int cp = resolve_codepage(window, charset);
    if (cp < 0) return -1;
    auto wide = utf8_to_utf16_alloc(text);
    if (!wide) return -1;
    compose_text(*wide);
    std::string out;
    if (!utf16_to_codepage(cp, *wide, out)) return -1;
    if (out.size() > kLongText) return -1;
    text = std::move(out);
    return 0;
}

int charset_to_utf8_mixed(WindowRecord* window, int charset, std::string& text)
{
    std::string out;
    out.reserve(std::min(text.size() * 2, kLongText));
    const std::string_view src(text);
    std::size_t run_start = std::string_view::npos;

    auto flush = [&](std::size_t run_end) {
        if (run_start == std::string_view::npos) return;
        std::string piece(src.substr(run_start, run_end - run_start));
        std::string converted = piece;
        if (charset_to_utf8(window, charset, converted) == 0 && utf8_detect(converted) != 0)
            append_capped(out, converted);
        else
            append_capped(out, piece);
        run_start = std::string_view::npos;
    };

    std::size_t i = 0;
    while (i < src.size() && out.size() < kLongText) {
        const int len = utf8_sequence_at(src, i);
        if (len >= 2) {
            flush(i);
            append_capped(out, src.substr(i, static_cast<std::size_t>(len)));
            i += static_cast<std::size_t>(len);
            continue;
        }
        if (run_start == std::string_view::npos) run_start = i;
        i += len == 1 ? 1 : broken_len(src, i);
    }
    flush(i);
    text = std::move(out);
    return 0;
}

// ---------------------------------------------------------------------------
// Shift-JIS and ISO-2022-JP.

int sjis_detect(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80 || (b >= 0xA0 && b <= 0xDF)) continue;
        if (b == 0x80 || b >= 0xF0) return 0;
        if (i + 1 >= n) return 0;
        const unsigned char c = static_cast<unsigned char>(bytes[i + 1]);
        if (c < 0x40 || c > 0xFC) return 0;
        ++i;
        if (b >= 0xE0) continue;
        if ((b == 0x8E || b == 0x8F) && c > 0xA0) continue;
        return 1;
    }
    return -1;
}

void sjis_to_jis(std::string& text)
{
    if (sjis_detect(text) == 0) return;
    const std::string_view src(text);
    const std::size_t n = src.size();
    std::string out;
    out.reserve(std::min(n + n / 2 + 8, kLongText));
    bool in_run = false;

    auto pair_at = [&](std::size_t i, unsigned char& j1, unsigned char& j2) {
        return i + 1 < n &&
               sjis_pair_to_jis(static_cast<unsigned char>(src[i]), static_cast<unsigned char>(src[i + 1]),
                                j1, j2);
    };

    std::size_t i = 0;
    while (i < n) {
        unsigned char j1 = 0, j2 = 0;
        if (pair_at(i, j1, j2)) {
            // Room for this character and the escape that ends the run.
            const std::size_t need = (in_run ? 2u : 5u) + 3u;
            if (out.size() + need > kLongText) break;
            if (!in_run) {
                out += kEsc;
                out += "$B";
                in_run = true;
            }
            out += static_cast<char>(j1);
            out += static_cast<char>(j2);
            i += 2;
            unsigned char k1, k2;
            if (!pair_at(i, k1, k2)) {
                out += kEsc;
                out += "(B";
                in_run = false;
            }
            continue;
        }
        const char c = src[i];
        if (c == '\r') {
            if (i + 1 < n && src[i + 1] == '\n') {
                ++i;
                continue; // the LF that follows is copied next
            }
            if (out.size() + 1 > kLongText) break;
            out += '\n';
            ++i;
            continue;
        }
        if (out.size() + 1 > kLongText) break;
        out += c;
        ++i;
    }
    if (in_run) { // stopped inside a run: the room for its end was kept
        out += kEsc;
        out += "(B";
    }
    const bool ended_lf = !text.empty() && text.back() == '\n';
    const bool ends_lf = !out.empty() && out.back() == '\n';
    if (count_lf(out) == count_lf(text) && ended_lf == ends_lf) text = std::move(out);
}

void jis_to_sjis(std::string& text)
{
    const std::string_view src(text);
    const std::size_t n = src.size();
    std::string out;
    out.reserve(std::min(n + 16, kLongText));
    bool dbl = false;
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(src[i]);
        if (b == 0x1B && i + 2 < n) {
            const char c1 = src[i + 1];
            const char c2 = src[i + 2];
            if (c1 == '(' && (c2 == 'B' || c2 == 'J' || c2 == 'I')) {
                dbl = false;
                i += 3;
                continue;
            }
            if (c1 == '$' && (c2 == '@' || c2 == 'B' || c2 == 'D')) {
                dbl = true;
                i += 3;
                continue;
            }
        }
        if (dbl && jis_byte(b) && i + 1 < n && jis_byte(static_cast<unsigned char>(src[i + 1]))) {
            if (out.size() + 2 > kLongText) break;
            unsigned char s1, s2;
            jis_pair_to_sjis(b, static_cast<unsigned char>(src[i + 1]), s1, s2);
            out += static_cast<char>(s1);
            out += static_cast<char>(s2);
            i += 2;
            continue;
        }
        if (b == '\n' && (i == 0 || src[i - 1] != '\r')) {
            if (out.size() + 2 > kLongText) break;
            out += "\r\n";
            ++i;
            continue;
        }
        if (out.size() + 1 > kLongText) break;
        out += static_cast<char>(b);
        ++i;
    }
    text = std::move(out);
}

// ---------------------------------------------------------------------------
// Outgoing lines.

int charset_encode_outgoing(WindowRecord* window, Connection* conn, std::string& line, int flags)
{
    if (line.empty()) return -1;

    auto window_font = [](WindowRecord* w, int& charset, int& encoding) {
        auto hook = encodings_window_font ? encodings_window_font : default_window_font;
        charset = 1;
        encoding = 0;
        return w != nullptr && hook(w, &charset, &encoding);
    };

    if (flags & kEncodeJisAnyWindow) {
        if (!(flags & kEncodeJis)) return 0;
        bool sjis = false;
        if (!window) {
            auto hook = encodings_any_window_sjis ? encodings_any_window_sjis : default_any_window_sjis;
            sjis = hook();
        } else {
            int charset, encoding;
            sjis = window_font(window, charset, encoding) && charset == 128;
        }
        if (!sjis) return -1;
        sjis_to_jis(line);
        return 0;
    }

    // An IRC command line: find the target and the message part.
    std::string target;
    std::size_t message_at = std::string::npos; // index just past the ':'
    if (flags & kEncodeIrcMessage) {
        std::size_t p = line.find_first_not_of(' ');
        if (p == std::string::npos) return -1;
        const std::string_view rest = std::string_view(line).substr(p);
        static const struct {
            const char* word;
            bool has_target;
        } kCommands[] = {{"PRIVMSG ", true}, {"NOTICE ", true}, {"PART ", true}, {"TOPIC ", true},
                         {"KICK ", true},    {"AWAY ", false},  {"PING ", false}};
        const auto* found = static_cast<decltype(&kCommands[0])>(nullptr);
        for (const auto& c : kCommands)
            if (text_starts_with_nocase(rest, c.word)) {
                found = &c;
                break;
            }
        if (!found) return -1;
        p += std::strlen(found->word);
        if (found->has_target) {
            while (p < line.size() && line[p] == ' ') ++p;
            std::size_t e = p;
            while (e < line.size() && line[e] != ' ') ++e;
            if (e == p) return -1;
            std::string word = line.substr(p, e - p);
            const std::size_t comma = word.find(',');
            if (comma != std::string::npos) word.resize(comma);
            buf_copy(target, kShortTextSize, std::string_view(word));
            if (e >= line.size()) return -1; // no text after the target
            p = e;
        }
        const std::size_t colon = line.find(':', p);
        if (colon == std::string::npos) return -1;
        message_at = colon + 1;
    }

    // The window whose settings decide.
    WindowRecord* deciding = window;
    int charset = 1, encoding = 0;
    bool known = false;
    if (deciding) {
        known = window_font(deciding, charset, encoding);
    } else if (!target.empty()) {
        auto find = encodings_find_window ? encodings_find_window : default_find_window;
        deciding = find(conn, target);
        if (deciding) {
            known = window_font(deciding, charset, encoding);
        } else {
            auto temp = encodings_target_font ? encodings_target_font : default_target_font;
            temp(conn, target, &charset, &encoding);
            known = true;
        }
    } else {
        auto status = encodings_status_window ? encodings_status_window : default_status_window;
        deciding = status(conn);
        known = deciding && window_font(deciding, charset, encoding);
    }
    if (!known) return -1;
    const bool want_utf8 = (flags & kEncodeUtf8) && encoding == 2;
    const bool want_jis = !want_utf8 && (flags & kEncodeJis) && charset == 128;
    if (!want_utf8 && !want_jis) return -1;

    auto convert = [&](std::string& s) {
        if (want_utf8)
            charset_to_utf8_mixed(deciding, deciding ? -1 : charset, s);
        else
            sjis_to_jis(s);
    };

    bool whole = !(flags & kEncodeIrcMessage);
    if (!whole) {
        auto cs = encodings_conn_charset ? encodings_conn_charset : default_conn_charset;
        const std::string server_charset = cs(conn);
        whole = text_find_nocase(server_charset, want_utf8 ? "utf-8" : "jis") != std::string_view::npos;
    }
    if (whole) {
        convert(line);
        return 0;
    }
    std::string message = line.substr(message_at);
    convert(message);
    if (message_at + message.size() >= kLongText) return -1;
    line.resize(message_at);
    line += message;
    return 0;
}
