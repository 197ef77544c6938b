#include "identifiers/measure_identifiers.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QString>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "identifiers/tokens.h"

namespace {

bool any_empty(const IdentCall& call)
{
    for (int i = 0; i < ident_arg_count(call); ++i)
        if (ident_arg(call, i).empty())
            return true;
    return false;
}

QFont font_of(const std::string& face, int size, bool bold)
{
    QFont f(QString::fromUtf8(face.c_str()));
    if (size < 0)
        f.setPointSize(-size);
    else if (size > 0)
        f.setPixelSize(size);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

int plain_width(const QFont& font, std::string_view text)
{
    return QFontMetrics(font).horizontalAdvance(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
}

// The width with bold codes switching the weight and the other codes
// taking no room.
int formatted_width(const std::string& face, int size, bool bold, std::string_view text)
{
    int width = 0;
    bool now_bold = bold;
    std::string run;
    auto flush = [&] {
        if (!run.empty())
            width += plain_width(font_of(face, size, now_bold), run);
        run.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == 0x02) {
            flush();
            now_bold = !now_bold;
        } else if (c == 0x0f) {
            flush();
            now_bold = bold;
        } else if (c == 0x03) {
            // The colour numbers go with the code.
            std::size_t j = i + 1, digits = 0;
            while (j < text.size() && digits < 2 && text[j] >= '0' && text[j] <= '9')
                ++j, ++digits;
            if (digits && j + 1 < text.size() && text[j] == ',' && text[j + 1] >= '0' && text[j + 1] <= '9') {
                j += 2;
                if (j < text.size() && text[j] >= '0' && text[j] <= '9')
                    ++j;
            }
            i = j - 1;
        } else if (c == 0x1f || c == 0x16) {
            continue;
        } else {
            run.push_back(c);
        }
    }
    flush();
    return width;
}

bool have_fonts()
{
    return QGuiApplication::instance() != nullptr;
}

int id_width(IdentCall& call)
{
    std::string out;
    if (any_empty(call) || !have_fonts())
        return ident_result(call, out);
    const int size = std::atoi(ident_arg(call, 2).c_str());
    const bool bold = ident_arg_count(call) >= 4 && std::atoi(ident_arg(call, 3).c_str()) != 0;
    const bool codes = ident_arg_count(call) == 5 && std::atoi(ident_arg(call, 4).c_str()) != 0;
    const std::string& text = ident_arg(call, 0);
    out = std::to_string(codes ? formatted_width(ident_arg(call, 1), size, bold, text)
                               : plain_width(font_of(ident_arg(call, 1), size, bold), text));
    return ident_result(call, out);
}

int id_height(IdentCall& call)
{
    std::string out;
    if (any_empty(call) || !have_fonts())
        return ident_result(call, out);
    const QFont f = font_of(ident_arg(call, 1), std::atoi(ident_arg(call, 2).c_str()), false);
    out = std::to_string(QFontMetrics(f).height());
    return ident_result(call, out);
}

int id_wrap(IdentCall& call)
{
    std::string out;
    if (any_empty(call) || !have_fonts())
        return ident_result(call, out);
    const int n_args = ident_arg_count(call);
    const std::string& face = ident_arg(call, 1);
    const int size = std::atoi(ident_arg(call, 2).c_str());
    const int width = std::atoi(ident_arg(call, 3).c_str());
    const bool word = n_args == 6 ? std::atoi(ident_arg(call, 4).c_str()) != 0 : true;
    long n = std::strtol(ident_arg(call, n_args - 1).c_str(), nullptr, 10);
    if (n > 9998)
        n = 9998;
    std::vector<std::string> lines;
    wrap_text_lines(ident_arg(call, 0), width, word,
                    [&](std::string_view piece) { return formatted_width(face, size, false, piece); }, lines);
    if (n <= 0)
        out = std::to_string(lines.size());
    else if (static_cast<std::size_t>(n) <= lines.size())
        out = lines[static_cast<std::size_t>(n - 1)];
    return ident_result(call, out);
}

} // namespace

void wrap_text_lines(std::string_view text, int width, bool word, const std::function<int(std::string_view)>& measure,
                     std::vector<std::string>& lines)
{
    lines.clear();
    std::size_t pos = 0;
    bool first = true;
    while (pos < text.size() && lines.size() < kLongText) {
        if (!first && word)
            while (pos < text.size() && text[pos] == ' ')
                ++pos;
        first = false;
        if (pos >= text.size())
            break;
        std::string_view rest = text.substr(pos);
        // A CR LF ends a line whatever its width.
        const std::size_t crlf = rest.find("\r\n");
        std::string_view span = crlf == std::string_view::npos ? rest : rest.substr(0, crlf);
        const auto fits = [&](std::size_t len) { return measure(span.substr(0, len)) < width - 1; };
        std::size_t len;
        if (fits(span.size())) {
            len = span.size();
        } else {
            // The longest prefix that fits: the step doubles while it fits,
            // then halves and turns back at the first that does not.
            // The longest prefix that fits (at least one character): the
            // step doubles while the prefix fits, then the gap is halved.
            std::size_t good = 1, bad = span.size() + 1, step = 1;
            while (good + step < bad) {
                if (!fits(good + step)) {
                    bad = good + step;
                    break;
                }
                good += step;
                step *= 2;
            }
            while (bad - good > 1) {
                const std::size_t mid = good + (bad - good) / 2;
                if (fits(mid))
                    good = mid;
                else
                    bad = mid;
            }
            len = good;
            if (word) {
                // Cut back to the last blank in the line's second half.
                const std::size_t blank = span.substr(0, len + 1).find_last_of(' ');
                if (blank != std::string_view::npos && blank >= len / 2 && blank > 0)
                    len = blank;
            }
        }
        if (len == 0)
            len = 1;
        lines.emplace_back(span.substr(0, len));
        pos += len;
        if (crlf != std::string_view::npos && len == span.size())
            pos += 2;
    }
}

void measure_identifiers_register()
{
    ident_register_family("id_width", id_width);
    ident_register_family("id_height", id_height);
    ident_register_family("id_wrap", id_wrap);
}
