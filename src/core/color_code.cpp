#include "core/color_code.h"

#include <cstring>

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

int clamp_default(int colour)
{
    return (colour >= 0 && colour <= 15) ? colour : 0;
}

// Reads one or two digits at `pos`; returns the count read (0 when none).
int read_colour_digits(std::string_view text, std::size_t pos, int* value)
{
    if (pos >= text.size() || !is_digit(text[pos]))
        return 0;
    int v = text[pos] - '0';
    int count = 1;
    if (pos + 1 < text.size() && is_digit(text[pos + 1])) {
        v = v * 10 + (text[pos + 1] - '0');
        count = 2;
    }
    *value = v;
    return count;
}

} // namespace

int color_code_parse(std::string_view text, int* text_colour, int* background,
                     int default_text, int default_background)
{
    const int def_text = clamp_default(default_text);
    const int def_back = clamp_default(default_background);

    // text[0] is the 0x03 itself; the digits start after it.
    const std::size_t start = text.empty() ? 0 : 1;
    int value = 0;
    int used = read_colour_digits(text, start, &value);
    if (used == 0) {
        if (text_colour)
            *text_colour = def_text;
        if (background)
            *background = def_back;
        return 0;
    }
    if (text_colour)
        *text_colour = (value <= 15) ? value : def_text;

    std::size_t pos = start + static_cast<std::size_t>(used);
    if (pos < text.size() && text[pos] == ',') {
        int back = 0;
        int back_used = read_colour_digits(text, pos + 1, &back);
        if (back_used > 0) {
            if (background)
                *background = (back <= 15) ? back : def_back;
            used += 1 + back_used;
        }
    }
    return used;
}

int color_code_parse(const char* text, int* text_colour, int* background,
                     int default_text, int default_background)
{
    // Only the first six bytes can matter; never read past the terminator.
    std::string_view view;
    if (text)
        view = std::string_view(text, strnlen(text, 6));
    return color_code_parse(view, text_colour, background, default_text,
                            default_background);
}
