#include "display/font_fallback.h"

#include <QFont>
#include <QFontMetrics>

#include <string>

#include "core/ini.h"

namespace {

int g_option = -1;   // -1: not read yet

char32_t code_point_at(std::u16string_view text, std::size_t i, std::size_t* units)
{
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
        *units = 2;
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    }
    *units = 1;
    return c;
}

}  // namespace

int fontlink_option()
{
    if (g_option < 0) {
        std::string value;
        ini_read("language", "linking", "1", value, 306, main_ini_path);
        g_option = value.empty() || std::atoi(value.c_str()) != 0 ? 1 : 0;
    }
    return g_option;
}

void fontlink_set_option(int on)
{
    g_option = on ? 1 : 0;
}

void fontlink_apply(QFont& font)
{
    int strategy = font.styleStrategy();
    if (fontlink_option())
        strategy &= ~QFont::NoFontMerging;
    else
        strategy |= QFont::NoFontMerging;
    font.setStyleStrategy(QFont::StyleStrategy(strategy));
}

int fontlink_next_run(const QFont& base, std::u16string_view text)
{
    if (!fontlink_option() || text.empty())
        return 0;
    const QFontMetrics fm(base);
    int kind = -1;   // 1 the base font draws the run, 0 a fallback font does
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t units = 1;
        const char32_t c = code_point_at(text, i, &units);
        if (c != U' ') {
            const int here = fm.inFontUcs4(c) ? 1 : 0;
            if (kind < 0)
                kind = here;
            else if (here != kind)
                break;
        }
        i += units;
    }
    return static_cast<int>(i);
}
