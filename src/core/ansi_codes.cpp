#include "core/ansi_codes.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t kMaxOut = 4150;
constexpr std::size_t kMaxParams = 64;

// Palette numbers of the eight terminal colours.
constexpr int kFgNormal[8] = {1, 4, 3, 8, 2, 13, 10, 15};
constexpr int kFgBright[8] = {14, 13, 9, 8, 12, 13, 11, 0};
constexpr int kBackground[8] = {1, 4, 3, 8, 2, 13, 10, 15};

// Normal and bright numbers that bold and faint swap.
constexpr int kPairs[6][2] = {{1, 14}, {4, 13}, {3, 9}, {2, 12}, {10, 11}, {15, 0}};

int pair_swap(int n, bool to_bright)
{
    for (const auto& p : kPairs)
        if (n == p[to_bright ? 0 : 1])
            return p[to_bright ? 1 : 0];
    return n;
}

class Writer {
public:
    std::string out;
    bool fits(std::size_t n) const { return out.size() + n <= kMaxOut; }
    void put(char c)
    {
        if (fits(1))
            out += c;
    }
    // Writes 0x03 and two digits; the digits' position, or -1 when dropped.
    long colour(int n)
    {
        if (!fits(3))
            return -1;
        out += '\x03';
        const long at = static_cast<long>(out.size());
        digits(n);
        return at;
    }
    void digits(int n)
    {
        out += static_cast<char>('0' + n / 10);
        out += static_cast<char>('0' + n % 10);
    }
    void set_digits(long at, int n)
    {
        out[at] = static_cast<char>('0' + n / 10);
        out[at + 1] = static_cast<char>('0' + n % 10);
    }
    int get_digits(long at) const { return (out[at] - '0') * 10 + (out[at + 1] - '0'); }
};

void convert_sgr(const std::string& params, Writer& w, bool& bright)
{
    if (params.empty()) {
        w.put('\x0F');
        bright = false;
        return;
    }
    long fg_at = -1;   // digits of the foreground written in this sequence
    long bg_at = -1;   // digits of the background written in this sequence
    std::size_t i = 0;
    while (i < params.size()) {
        while (i < params.size() && params[i] == ';')
            ++i;
        if (i >= params.size())
            break;
        std::size_t j = i;
        int value = 0;
        while (j < params.size() && params[j] != ';') {
            if (params[j] >= '0' && params[j] <= '9' && value < 1000)
                value = value * 10 + (params[j] - '0');
            ++j;
        }
        i = j;
        if (value == 0) {
            w.put('\x0F');
            bright = false;
            fg_at = bg_at = -1;
        } else if (value == 1) {
            bright = true;
            if (fg_at >= 0)
                w.set_digits(fg_at, pair_swap(w.get_digits(fg_at), true));
            else
                fg_at = w.colour(0);
        } else if (value == 2) {
            bright = false;
            if (fg_at >= 0)
                w.set_digits(fg_at, pair_swap(w.get_digits(fg_at), false));
            else
                fg_at = w.colour(15);
        } else if (value == 4) {
            w.put('\x1F');
        } else if (value == 7) {
            w.put('\x16');
        } else if (value >= 30 && value <= 37) {
            const int n = bright ? kFgBright[value - 30] : kFgNormal[value - 30];
            if (fg_at >= 0)
                w.set_digits(fg_at, n);
            else
                fg_at = w.colour(n);
        } else if (value >= 40 && value <= 47) {
            const int n = kBackground[value - 40];
            if (bg_at >= 0) {
                w.set_digits(bg_at, n);
            } else {
                const long at = w.colour(99);
                if (at >= 0 && w.fits(3)) {
                    w.out += ',';
                    bg_at = static_cast<long>(w.out.size());
                    w.digits(n);
                    fg_at = at;
                } else if (at >= 0) {
                    w.out.resize(static_cast<std::size_t>(at - 1));
                }
            }
        }
    }
}

}  // namespace

void ansi_to_codes(std::string& text)
{
    if (text.find('\x1B') == std::string::npos)
        return;
    Writer w;
    w.out.reserve(std::min(text.size(), kMaxOut));
    bool bright = false;   // lasts from one sequence to the next within the text
    int state = 1;
    std::string params;
    for (char c : text) {
        switch (state) {
        case 1:
            if (c == '\x1B')
                state = 2;
            else
                w.put(c);
            break;
        case 2:
            if (c == '[') {
                state = 3;
                params.clear();
            } else {
                w.put(c);
                state = 1;
            }
            break;
        default:
            if (c != '\0' && std::strchr("HFABCDnsuJKhp", c)) {
                state = 1;
            } else if (c == 'm') {
                convert_sgr(params, w, bright);
                state = 1;
            } else if (params.size() < kMaxParams) {
                params += c;
            }
            break;
        }
    }
    text.swap(w.out);
}

std::string codes_to_ansi(const std::string& text)
{
    // The terminal colour (0..7) and brightness of each palette entry.
    static constexpr int kAnsi[16] = {7, 0, 4, 2, 1, 1, 5, 3, 3, 2, 6, 6, 4, 5, 0, 7};
    static constexpr bool kBright[16] = {true,  false, false, false, false, false, false, false,
                                         true,  true,  false, true,  true,  true,  true,  false};
    std::string out;
    out.reserve(text.size() + 16);
    bool bold = false, underline = false, reverse = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\x02':
            bold = !bold;
            out += bold ? "\x1B[1m" : "\x1B[22m";
            break;
        case '\x1F':
            underline = !underline;
            out += underline ? "\x1B[4m" : "\x1B[24m";
            break;
        case '\x16':
            reverse = !reverse;
            out += reverse ? "\x1B[7m" : "\x1B[27m";
            break;
        case '\x0F':
            bold = underline = reverse = false;
            out += "\x1B[0m";
            break;
        case '\x03': {
            auto number = [&](std::size_t& p) {
                int n = -1;
                for (int k = 0; k < 2 && p + 1 < text.size() && text[p + 1] >= '0' &&
                                text[p + 1] <= '9';
                     ++k) {
                    n = (n < 0 ? 0 : n * 10) + (text[p + 1] - '0');
                    ++p;
                }
                return n;
            };
            const int fg = number(i);
            int bg = -1;
            if (fg >= 0 && i + 2 < text.size() && text[i + 1] == ',' && text[i + 2] >= '0' &&
                text[i + 2] <= '9') {
                ++i;
                bg = number(i);
            }
            if (fg < 0) {
                out += "\x1B[39;49m";
                break;
            }
            std::string seq = "\x1B[";
            if (fg <= 15) {
                seq += kBright[fg] ? "1;" : "2;";
                seq += std::to_string(30 + kAnsi[fg]);
            } else {
                seq += "39";
            }
            if (bg >= 0 && bg <= 15)
                seq += ";" + std::to_string(40 + kAnsi[bg]);
            out += seq + "m";
            break;
        }
        default:
            out += c;
            break;
        }
    }
    return out;
}
