#include "extensions/picture_args.h"

#include <QWidget>

#include <algorithm>
#include <cstdlib>

#include "core/text_limits.h"
#include "display/window_queries.h"
#include "extensions/picture_windows.h"
#include "model/colors.h"
#include "model/window_record.h"
#include "script/exec/script_errors.h"

const std::string& DrawCall::arg(std::size_t k) const
{
    static const std::string empty;
    return i + k < call.tokens.size() ? call.tokens[i + k] : empty;
}

bool DrawCall::number(long long& out)
{
    if (!picture_number(arg(0), out))
        return false;
    ++i;
    return true;
}

bool DrawCall::number_at(std::size_t k) const
{
    long long v = 0;
    return picture_number(arg(k), v);
}

bool picture_number(const std::string& text, long long& out)
{
    std::size_t k = 0;
    bool negative = false;
    if (k < text.size() && (text[k] == '-' || text[k] == '+'))
        negative = text[k++] == '-';
    if (k >= text.size())
        return false;
    long long v = 0;
    for (; k < text.size(); ++k) {
        const char c = text[k];
        if (c < '0' || c > '9')
            return false;
        if (v <= kPictureCoordLimit)
            v = v * 10 + (c - '0');
    }
    v = std::min(v, kPictureCoordLimit);
    out = negative ? -v : v;
    return true;
}

int draw_open(DrawCall& d, bool window)
{
    const auto& t = d.call.tokens;
    long long ignored = 0;
    while (d.i < t.size() && t[d.i].size() > 1 && t[d.i][0] == '-' && !picture_number(t[d.i], ignored)) {
        d.switches += t[d.i].substr(1);
        ++d.i;
    }
    if (!window)
        return 1;
    if (d.i >= t.size())
        return draw_error_params(d);
    WindowRecord* rec = win_find_by_name(t[d.i], nullptr);
    picture_sync_layout(rec);
    PictureState* st = picture_of(rec);
    if (!st || !rec->text_area.get())
        return draw_error_window(d);
    d.rec = rec;
    d.st = st;
    ++d.i;
    return 1;
}

QColor draw_rgb(long long value)
{
    const ColorRgb rgb = static_cast<ColorRgb>(value) & 0xFFFFFFu;
    return QColor::fromRgb(color_rgb_to_argb(rgb));
}

QColor draw_colour(const std::string& text, bool rgb)
{
    const long long v = std::atoll(text.c_str());
    if (rgb)
        return draw_rgb(v);
    const std::uint32_t value = v < 0 || v > 0xFFFFFFFFLL ? 0u : static_cast<std::uint32_t>(v);
    return QColor::fromRgb(color_rgb_to_argb(color_rgb(value)));
}

int draw_take_file(DrawCall& d, std::string& out)
{
    const auto& t = d.call.tokens;
    if (d.i >= t.size())
        return 0;
    std::size_t k = d.i;
    std::string name = t[k];
    if (!name.empty() && name[0] == '"' && (name.size() == 1 || name.back() != '"')) {
        while (k + 1 < t.size() && (name.size() == 1 || name.back() != '"') && name.size() <= kMediumText + 2)
            name += " " + t[++k];
    }
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    if (name.empty() || name.size() > kMediumText)
        return 0;
    d.i = k + 1;
    out = name;
    return 1;
}

int draw_error_params(const DrawCall& d)
{
    return script_error(nullptr, d.word, {}, 0);
}

int draw_error_window(const DrawCall& d)
{
    return script_error(nullptr, d.word, {}, 7);
}

int draw_error_path(const DrawCall& d)
{
    return script_error(nullptr, d.word, {}, 3);
}

int draw_error_load(const DrawCall& d, const std::string& file)
{
    return script_error(nullptr, script_text(2101, "/" + d.word, file), {}, 6);
}

int draw_finish(DrawCall& d, const QRect& area)
{
    if (!win_is_record(d.rec))
        return 1;
    if (!d.has('n'))
        picture_show(d.rec, area.isEmpty() ? QRect(QPoint(0, 0), d.st->buffer.size()) : area);
    if (d.has('h'))
        win_note_activity(d.rec->hwnd.get());
    return 1;
}

int draw_show_only(DrawCall& d)
{
    if (d.has('n'))
        return draw_error_params(d);
    picture_show(d.rec, QRect());
    return 1;
}

bool draw_smooth_stretch(bool by_ratio, long long target_w, long long target_h, long long source_w,
                         long long source_h)
{
    if (!by_ratio)
        return false;
    const double source = static_cast<double>(source_w) * static_cast<double>(source_h);
    if (source <= 0)
        return false;
    const double target = std::abs(static_cast<double>(target_w) * static_cast<double>(target_h));
    return target / source > 0.00019;
}
