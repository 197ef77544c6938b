#include "display/draw.h"
#include "display/backgrounds.h"
#include "display/find_text.h"
#include "display/line_marker.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <map>
#include <optional>
#include <vector>

#include "display/child_controls.h"
#include "display/child_layout.h"
#include "display/window_queries.h"
#include "core/color_code.h"
#include "core/encodings.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "model/colors.h"
#include "display/font_fallback.h"
#include "display/fonts.h"
#include "display/text_marking.h"
#include "model/line_buffer.h"
#include "display/wrap.h"

DrawHooks draw_hooks;

// ---- The control codes ----

FormatState format_state_for(int default_fg, int default_bg)
{
    FormatState st;
    st.fg = default_fg;
    st.bg = default_bg;
    return st;
}

int format_apply_code(FormatState& st, std::string_view text, std::size_t pos, int default_fg,
                      int default_bg)
{
    if (pos >= text.size())
        return 0;
    switch (static_cast<unsigned char>(text[pos])) {
    case kCodeBold:
        st.bold ^= 1;
        return 1;
    case kCodeUnderline:
        st.underline ^= 1;
        return 1;
    case kCodeReverse:
        st.reverse ^= 1;
        return 1;
    case kCodePlain:
        st.bold = 0;
        st.underline = 0;
        st.reverse = 0;
        st.fg = default_fg;
        st.bg = default_bg;
        return 1;
    case kCodeColour: {
        int fg = st.fg;
        int bg = st.bg;
        int used = color_code_parse(text.substr(pos), &fg, &bg, default_fg, default_bg);
        st.fg = fg;
        st.bg = bg;
        return 1 + used;
    }
    default:
        return 1;
    }
}

void format_scan(FormatState& st, std::string_view text, std::size_t from, std::size_t to,
                 int default_fg, int default_bg)
{
    to = std::min(to, text.size());
    std::size_t i = from;
    while (i < to) {
        if (is_format_code(static_cast<unsigned char>(text[i])))
            i += static_cast<std::size_t>(format_apply_code(st, text, i, default_fg, default_bg));
        else
            ++i;
    }
}

// ---- Colours ----

QColor draw_palette_colour(int index)
{
    if (index < 0 || index >= kPaletteSize)
        index = 0;
    return QColor::fromRgb(color_rgb_to_argb(color_palette_current.rgb[index]));
}

// ---- Decoding ----

namespace {

// Windows-1252 in 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decode_cp1252(std::string_view bytes)
{
    QString out;
    out.resize(static_cast<qsizetype>(bytes.size()));
    QChar* d = out.data();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        d[i] = (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return out;
}

bool name_is_utf8(const std::string& name)
{
    std::string n;
    for (char c : name)
        if (c != '-' && c != '_')
            n += text_lower_char(c);
    return n == "utf8";
}

// One converter per code page, to UTF-8; (iconv_t)-1 remembers a failure.
// The converters are closed when the program ends.
struct Decoders : std::map<int, iconv_t> {
    ~Decoders()
    {
        for (auto& [codepage, cd] : *this)
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
    }
};
Decoders g_decoders;

iconv_t decoder_for(int codepage)
{
    auto it = g_decoders.find(codepage);
    if (it != g_decoders.end())
        return it->second;
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    std::string name = codepage_iconv_name(codepage);
    if (!name.empty())
        cd = iconv_open("UTF-8", name.c_str());
    g_decoders[codepage] = cd;
    return cd;
}

bool decode_iconv(int codepage, std::string_view bytes, QString& out)
{
    iconv_t cd = decoder_for(codepage);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string buf(bytes.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    char* o = buf.data();
    std::size_t o_left = buf.size();
    if (iconv(cd, &in, &in_left, &o, &o_left) == static_cast<std::size_t>(-1))
        return false;
    out = QString::fromUtf8(buf.data(), static_cast<qsizetype>(buf.size() - o_left));
    return true;
}

bool all_ascii(std::string_view bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

}  // namespace

int draw_window_codepage(WindowRecord* rec)
{
    if (!rec)
        return 0;
    return font_window_codepage(rec);
}

int draw_line_is_utf8(const WindowRecord* rec, std::string_view text)
{
    if (rec && rec->debug_raw)
        return 0;
    if (!lang_setting_utf && !(rec && rec->font_encoding))
        return 0;
    return utf8_detect(text) == 2 ? 1 : 0;
}

QString display_decode(std::string_view bytes, int utf8, int codepage)
{
    if (bytes.empty())
        return QString();
    if (all_ascii(bytes))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (utf8)
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (codepage == 1252)
        return decode_cp1252(bytes);
    if (codepage == 65001 || name_is_utf8(codepage_iconv_name(codepage))) {
        // The locale's code set is UTF-8 here: bytes that are not UTF-8 are
        // legacy text.
        if (utf8_detect(bytes) != 0)
            return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
        return decode_cp1252(bytes);
    }
    QString out;
    if (decode_iconv(codepage, bytes, out))
        return out;
    return decode_cp1252(bytes);
}

// ---- Measuring ----

int text_extent(const QFontMetrics& metrics, std::string_view text, int length, int encoding,
                int which, int codepage)
{
    if (length >= 0 && static_cast<std::size_t>(length) < text.size())
        text = text.substr(0, static_cast<std::size_t>(length));
    if (which == 2)
        return metrics.height();
    return metrics.horizontalAdvance(display_decode(text, encoding == 1 ? 1 : 0, codepage));
}

int text_extent(const QFontMetrics& metrics, std::u16string_view text, int which)
{
    if (which == 2)
        return metrics.height();
    return metrics.horizontalAdvance(
        QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size())));
}

int draw_tab_stop_x(const WindowRecord* rec, int line_start_x, int current_x, int* index)
{
    int unit = (rec && rec->tab_unit > 0) ? rec->tab_unit : 5;
    int i = index ? *index : 0;
    int x;
    if (rec && i >= 0 && i < 50 && rec->tab_stops[static_cast<std::size_t>(i)] > 0)
        x = line_start_x + rec->tab_stops[static_cast<std::size_t>(i)] * unit;
    else
        x = current_x + 8 * unit;
    if (index)
        ++*index;
    return x;
}

int draw_spacing(const WindowRecord* rec)
{
    if (!rec)
        return 0;
    int w = rec->spacing;
    if (w == 2) {
        int g = opt(OPT_LINE_SPACING);
        return g == 1 ? 1 : (g == 2 ? 3 : 0);
    }
    return (w == 1 || w == 3) ? w : 0;
}

// ---- Runs ----

void format_split_runs(std::string_view text, std::size_t from, FormatState& st, int def_fg,
                       int def_bg, int flags, std::vector<FormatRun>& out)
{
    out.clear();
    const bool codes = !(flags & kRunsNoCodes);
    const bool tabs = codes && (flags & kRunsCustomTabs);
    int pending_tabs = 0;
    int pending_break = 0;
    std::size_t run = from;
    std::size_t i = from;
    auto flush = [&](std::size_t end) {
        if (end > run) {
            FormatRun r;
            r.start = run;
            r.length = end - run;
            r.state = st;
            r.tabs = pending_tabs;
            r.new_line = pending_break;
            out.push_back(r);
            pending_tabs = 0;
            pending_break = 0;
        }
        run = end;
    };
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (codes && is_format_code(c)) {
            flush(i);
            if (c == kCodePlain && (flags & kRunsDarkenToggle) && i + 1 < text.size() &&
                static_cast<unsigned char>(text[i + 1]) == kCodePlain) {
                format_apply_code(st, text, i, def_fg, def_bg);
                st.darken ^= 1;
                i += 2;
            } else {
                i += static_cast<std::size_t>(format_apply_code(st, text, i, def_fg, def_bg));
            }
            run = i;
        } else if (tabs && c == kCodeTab) {
            flush(i);
            ++pending_tabs;
            run = ++i;
        } else if ((flags & kRunsCrLf) && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            flush(i);
            pending_tabs = 0;
            pending_break = 1;
            i += 2;
            run = i;
        } else {
            ++i;
        }
    }
    flush(text.size());
    if (pending_tabs || pending_break) {
        FormatRun r;
        r.start = text.size();
        r.state = st;
        r.tabs = pending_tabs;
        r.new_line = pending_break;
        out.push_back(r);
    }
}

// ---- Painting ----

QFont draw_font_variant(const QFont& base, int bold, int underline)
{
    QFont v = base;
    // Text is laid out character by character, without kerning pairs or
    // shaping where the script does not need it: measuring then agrees
    // with drawing run by run, and both stay cheap.
    v.setKerning(false);
    v.setStyleStrategy(QFont::StyleStrategy(v.styleStrategy() | QFont::PreferNoShaping));
    fontlink_apply(v);
    if (bold)
        v.setWeight(base.weight() >= QFont::DemiBold ? QFont::Normal : QFont::Bold);
    v.setUnderline(underline != 0);
    return v;
}

namespace {

// The four variants of a font that formatting selects, made on first use.
class FontSet {
public:
    explicit FontSet(const QFont& base) : base_(base) {}
    const QFont& font(int bold, int underline)
    {
        auto& f = fonts_[bold ? 1 : 0][underline ? 1 : 0];
        if (!f)
            f = draw_font_variant(base_, bold, underline);
        return *f;
    }
    const QFontMetrics& metrics(int bold, int underline)
    {
        auto& m = metrics_[bold ? 1 : 0][underline ? 1 : 0];
        if (!m)
            m.emplace(font(bold, underline));
        return *m;
    }
    int ascent() { return metrics(0, 0).ascent(); }

private:
    QFont base_;
    std::optional<QFont> fonts_[2][2];
    std::optional<QFontMetrics> metrics_[2][2];
};

QColor darker(const QColor& c)
{
    return QColor(std::max(0, c.red() - 20), std::max(0, c.green() - 20),
                  std::max(0, c.blue() - 20));
}

// Draws the runs of one visual line after another, keeping x.
class RunPainter {
public:
    RunPainter(QPainter& painter, FontSet& fonts) : painter_(painter), fonts_(fonts) {}

    int utf8 = 0;
    int codepage = 0;
    int top = 0;
    int height = 0;
    int ascent = 0;
    int right = 0;           // nothing is drawn from here on
    int fill_default = 0;    // the default background is filled too (opaque mode)
    int default_bg = 0;
    int x = 0;
    int selected = 0;
    QColor selected_fg, selected_bg;

    // kind 0 the run's own colours, 1 marked text.
    void draw(std::string_view text, const FormatState& st, int marked, int marked_fg,
              int marked_bg)
    {
        if (text.empty() || x >= right)
            return;
        QString s = display_decode(text, utf8, codepage);
        const QFontMetrics& fm = fonts_.metrics(st.bold, st.underline);
        const int w = fm.horizontalAdvance(s);
        QColor fg, bg;
        bool fill = true;
        if (selected) {
            fg = selected_fg;
            bg = selected_bg;
        } else if (marked) {
            fg = draw_palette_colour(marked_fg);
            bg = draw_palette_colour(marked_bg);
        } else {
            const int f = st.reverse ? st.bg : st.fg;
            const int b = st.reverse ? st.fg : st.bg;
            fg = draw_palette_colour(f);
            bg = draw_palette_colour(b);
            if (st.darken)
                bg = darker(bg);
            fill = fill_default || b != default_bg || st.darken;
        }
        if (fill)
            painter_.fillRect(QRect(x, top, w, height), bg);
        painter_.setFont(fonts_.font(st.bold, st.underline));
        painter_.setPen(fg);
        painter_.drawText(x, top + ascent, s);
        x += w;
    }

private:
    QPainter& painter_;
    FontSet& fonts_;
};

class PaintGuard {
public:
    explicit PaintGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~PaintGuard() { flag_ = false; }

private:
    bool& flag_;
};

bool g_painting = false;

QFont window_font(WindowRecord* rec)
{
    font_ensure_window(rec);
    if (rec->font)
        return *rec->font;
    return QApplication::font();
}

// 1 when the display line continues the printed line of the one before it.
bool continues_previous(WindowRecord* rec, const StringNode* line)
{
    return line != rec->lines && line->prev && line->prev->serial == line->serial;
}

// The format a display line starts in: a continuation part starts where the
// earlier parts of its printed line left off.
FormatState start_state(WindowRecord* rec, const StringNode* line, int def_fg, int def_bg)
{
    FormatState st = format_state_for(def_fg, def_bg);
    if (!continues_previous(rec, line))
        return st;
    const StringNode* first = line;
    int guard = 0;
    while (continues_previous(rec, first) && guard++ < 8192)
        first = first->prev;
    for (const StringNode* p = first; p && p != line; p = p->next)
        format_scan(st, p->text, 0, p->text.size(), def_fg, def_bg);
    return st;
}

int window_line_height(WindowRecord* rec, FontSet& fonts)
{
    int lh = rec->line_height > 0 ? rec->line_height : fonts.metrics(0, 0).height() + 1;
    return std::max(1, lh);
}

// The height a display line takes: one or two line heights, plus a third
// of a line above a printed line with that spacing.
int band_height(WindowRecord* rec, const StringNode* line, int lh, int spacing)
{
    int h = spacing == 1 ? 2 * lh : lh;
    if (spacing == 3 && line != rec->lines && !continues_previous(rec, line))
        h += lh / 3;
    return h;
}

// Paints one display line's text from x0 at the row's top; st carries the
// format across the parts of one printed line.
void paint_display_line(QPainter& painter, FontSet& fonts, WindowRecord* rec,
                        const StringNode* line, FormatState& st, int x0, int top, int height,
                        int right, int def_fg, int def_bg, int codepage,
                        std::vector<FormatRun>& runs)
{
    std::string_view t = line->text;
    RunPainter rp(painter, fonts);
    rp.utf8 = draw_line_is_utf8(rec, t);
    rp.codepage = codepage;
    rp.top = top;
    rp.height = height;
    rp.ascent = fonts.ascent();
    rp.right = right;
    rp.default_bg = def_bg;
    rp.x = x0;

    std::size_t mark_from = 0, mark_to = 0;
    {
        int from = 0, to = 0;
        const int marked = textsel_marked_span(rec, line, &from, &to) ||
                           find_text_found_span(rec, line, &from, &to);
        if (marked && to > from && from >= 0) {
            mark_from = static_cast<std::size_t>(from);
            mark_to = static_cast<std::size_t>(to);
        }
    }
    const int marked_fg = color_resolve(kColorBackground);
    const int marked_bg = color_resolve(kColorNormalText);

    // The continuation indent is measured and skipped, not drawn.
    std::size_t from = 0;
    if (line->indent > 0) {
        while (from < t.size() && from < static_cast<std::size_t>(line->indent) && t[from] == ' ')
            ++from;
        if (from > 0)
            rp.x += fonts.metrics(st.bold, st.underline)
                        .horizontalAdvance(QString(static_cast<qsizetype>(from), QLatin1Char(' ')));
    }
    const int flags = rec->type == kWinCustom ? kRunsCustomTabs : 0;
    format_split_runs(t, from, st, def_fg, def_bg, flags, runs);
    int tab_index = 0;
    for (const FormatRun& run : runs) {
        for (int k = 0; k < run.tabs; ++k)
            rp.x = draw_tab_stop_x(rec, x0, rp.x, &tab_index);
        std::size_t pos = run.start;
        const std::size_t end = run.start + run.length;
        while (pos < end) {
            // A marked range splits the run.
            std::size_t stop = end;
            int marked = 0;
            if (mark_to > mark_from) {
                if (pos < mark_from)
                    stop = std::min(stop, mark_from);
                else if (pos < mark_to) {
                    stop = std::min(stop, mark_to);
                    marked = 1;
                }
            }
            rp.draw(t.substr(pos, stop - pos), run.state, marked, marked_fg, marked_bg);
            pos = stop;
        }
    }
}

}  // namespace

void draw_lines_in_view(WindowRecord* rec, const QRect& area, std::vector<ShownLine>& out)
{
    out.clear();
    if (!win_is_record(rec) || !rec->lines || area.height() <= 0)
        return;
    QFont base = window_font(rec);
    FontSet fonts(base);
    const int lh = window_line_height(rec, fonts);
    const int spacing = draw_spacing(rec);
    StringNode* bottom = line_from_end(rec, rec->scroll_end - rec->scroll_pos);
    if (!bottom)
        return;
    std::vector<StringNode*> up;
    int y = area.bottom() + 1;
    for (StringNode* line = bottom;;) {
        up.push_back(line);
        y -= band_height(rec, line, lh, spacing);
        if (y <= area.top() || line == rec->lines)
            break;
        line = line->prev;
    }
    const int row_h = spacing == 1 ? 2 * lh : lh;
    for (auto it = up.rbegin(); it != up.rend(); ++it) {
        const int h = band_height(rec, *it, lh, spacing);
        out.push_back({*it, y + (h - row_h)});
        y += h;
    }
}

int draw_recut_in_view(WindowRecord* rec, const QRect& area)
{
    if (!win_is_record(rec) || !rec->lines)
        return 0;
    if (line_buffer_held(rec))
        return 0;
    int width = wrap_area_width(rec);
    if (width <= 0)
        width = area.width();
    int any = 0;
    std::vector<ShownLine> shown;
    for (int pass = 0; pass < 16; ++pass) {
        const bool at_end = rec->scroll_pos == rec->scroll_end;
        draw_lines_in_view(rec, area, shown);
        if (shown.empty())
            break;
        bool changed = false;
        StringNode* line = shown.front().line;
        // Parts of lines that grew may push later lines out of view; the next
        // pass looks again.
        for (std::size_t n = 0; line && n <= shown.size(); ++n) {
            if (line_is_stale(line, width, rec->char_width)) {
                StringNode* last = line_rewrap(rec, line, width);
                changed = true;
                line = last ? last->next : nullptr;
            } else {
                line = line->next;
            }
        }
        if (!changed)
            break;
        any = 1;
        win_recalc_scroll(rec, at_end ? 1 : 0);
    }
    return any;
}

void draw_line_char_boxes(WindowRecord* rec, const StringNode* line, int x0,
                          std::vector<CharBox>& out)
{
    out.clear();
    if (!win_is_record(rec) || !line || line_is_marker(line))
        return;
    QFont base = window_font(rec);
    FontSet fonts(base);
    const int def_fg = color_resolve(line_colour(line));
    const int def_bg = color_resolve(kColorBackground);
    FormatState st = start_state(rec, line, def_fg, def_bg);
    std::string_view t = line->text;
    const int utf8 = draw_line_is_utf8(rec, t);
    const int codepage = draw_window_codepage(rec);
    int x = x0;
    std::size_t from = 0;
    if (line->indent > 0) {
        while (from < t.size() && from < static_cast<std::size_t>(line->indent) && t[from] == ' ')
            ++from;
        if (from > 0)
            x += fonts.metrics(st.bold, st.underline)
                     .horizontalAdvance(QString(static_cast<qsizetype>(from), QLatin1Char(' ')));
    }
    std::vector<FormatRun> runs;
    const int flags = rec->type == kWinCustom ? kRunsCustomTabs : 0;
    format_split_runs(t, from, st, def_fg, def_bg, flags, runs);
    int tab_index = 0;
    for (const FormatRun& run : runs) {
        for (int k = 0; k < run.tabs; ++k)
            x = draw_tab_stop_x(rec, x0, x, &tab_index);
        const QFontMetrics& fm = fonts.metrics(run.state.bold, run.state.underline);
        std::size_t pos = run.start;
        const std::size_t end = run.start + run.length;
        while (pos < end) {
            std::size_t n = 1;
            if (utf8) {
                const unsigned char c = static_cast<unsigned char>(t[pos]);
                n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
                // Combining marks stay with the character they follow.
                while (pos + n < end) {
                    const unsigned char d = static_cast<unsigned char>(t[pos + n]);
                    if (d != 0xCC && d != 0xCD)
                        break;
                    n += 2;
                }
                n = std::min(n, end - pos);
            }
            const int w = fm.horizontalAdvance(display_decode(t.substr(pos, n), utf8, codepage));
            out.push_back({static_cast<int>(pos), static_cast<int>(pos + n), x, x + w});
            x += w;
            pos += n;
        }
    }
}

void draw_buffer(WindowRecord* rec, QPainter* painter, const WinRect& area)
{
    if (!win_is_record(rec))
        return;
    if (!painter) {
        QWidget* hwnd = rec->hwnd.get();
        if (hwnd && (win_is_minimised(hwnd) || !win_is_visible(hwnd)))
            return;
        if (TextArea* text = rec->text_area.get())
            text->update();
        return;
    }
    if (g_painting)
        return;
    PaintGuard guard(g_painting);

    QRect r(area.left, area.top, area.right - area.left, area.bottom - area.top);
    if (r.width() <= 0 || r.height() <= 0)
        return;
    switch (rec->type) {
    case kWinTransfer:
        if (draw_hooks.transfer_paint)
            draw_hooks.transfer_paint(rec, *painter, r);
        return;
    case kWinChanList:
    case kWinLinks:
        return;
    case kWinCustom:
        if (rec->subtype == 1)
            return;
        if (rec->picture) {
            if (draw_hooks.picture_paint)
                draw_hooks.picture_paint(rec, *painter, r);
            return;
        }
        break;
    default:
        break;
    }

    painter->save();
    painter->setClipRect(r);
    const int def_bg = color_resolve(kColorBackground);
    const bool picture = bg_paint(rec, *painter, r) != 0;
    if (!picture)
        painter->fillRect(r, draw_palette_colour(def_bg));

    if (rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery ||
        rec->type == kWinCustom)
        draw_recut_in_view(rec, r);

    std::vector<ShownLine> shown;
    draw_lines_in_view(rec, r, shown);
    if (!shown.empty()) {
        QFont base = window_font(rec);
        FontSet fonts(base);
        const int lh = window_line_height(rec, fonts);
        const int row_h = draw_spacing(rec) == 1 ? 2 * lh : lh;
        const int codepage = draw_window_codepage(rec);
        const int x0 = r.left() + 2;
        std::vector<FormatRun> runs;
        FormatState st;
        const StringNode* previous = nullptr;
        for (const ShownLine& s : shown) {
            StringNode* line = s.line;
            const int def_fg = color_resolve(line_colour(line));
            if (line_is_marker(line)) {
                marker_draw(rec, *painter, QRect(r.left(), s.top, r.width(), row_h), 0);
                previous = line;
                continue;
            }
            // A part that follows its predecessor on screen carries on in its
            // format; the first part in view finds it from the earlier parts.
            if (!(previous && previous->next == line && continues_previous(rec, line)))
                st = start_state(rec, line, def_fg, def_bg);
            paint_display_line(*painter, fonts, rec, line, st, x0, s.top, lh, r.right() + 1,
                               def_fg, def_bg, codepage, runs);
            previous = line;
        }
    }
    painter->restore();
}

QSize draw_line(QPainter& painter, const std::string& face, int size, int weight, int charset,
                int x, int y, const QRect& clip, std::string_view text, std::uint32_t text_colour,
                std::uint32_t background_colour, int background_mode, int selected, int flags,
                int utf8, WindowRecord* rec)
{
    QFont base = font_make_qfont(face, size, weight, charset);
    FontSet fonts(base);
    const int lh = fonts.metrics(0, 0).height();
    const int def_fg = color_resolve(text_colour);
    const int def_bg = color_resolve(background_colour);
    painter.save();
    if (!clip.isNull())
        painter.setClipRect(clip);
    RunPainter rp(painter, fonts);
    rp.utf8 = utf8 && utf8_detect(text) == 2 ? 1 : 0;
    rp.codepage = charset_codepage(charset, 0);
    rp.top = y;
    rp.height = lh;
    rp.ascent = fonts.ascent();
    rp.right = clip.isNull() ? (1 << 30) : clip.right() + 1;
    rp.fill_default = background_mode == 2;
    rp.default_bg = def_bg;
    rp.x = x;
    if (selected) {
        QPalette pal = QApplication::palette();
        rp.selected = 1;
        rp.selected_fg = pal.color(QPalette::HighlightedText);
        rp.selected_bg = pal.color(QPalette::Highlight);
    }
    int run_flags = 0;
    if (flags & kDrawNoCodes)
        run_flags |= kRunsNoCodes;
    if (flags & kDrawCrLfBreaks)
        run_flags |= kRunsCrLf;
    if (flags & kDrawDarkenToggle)
        run_flags |= kRunsDarkenToggle;
    if (rec && win_is_record(rec) && rec->type == kWinCustom)
        run_flags |= kRunsCustomTabs;
    FormatState st = format_state_for(def_fg, def_bg);
    std::vector<FormatRun> runs;
    format_split_runs(text, 0, st, def_fg, def_bg, run_flags, runs);
    int widest = 0;
    int lines = 1;
    int tab_index = 0;
    for (const FormatRun& run : runs) {
        if (run.new_line) {
            widest = std::max(widest, rp.x - x);
            rp.x = x;
            rp.top += lh;
            tab_index = 0;
            ++lines;
        }
        for (int k = 0; k < run.tabs; ++k)
            rp.x = draw_tab_stop_x(rec, x, rp.x, &tab_index);
        rp.draw(text.substr(run.start, run.length), run.state, 0, 0, 0);
    }
    widest = std::max(widest, rp.x - x);
    painter.restore();
    return QSize(widest, lines * lh);
}

int text_measure_in_font(std::string_view text, const std::string& face, int size, int weight,
                         int charset, int flags, int utf8_allowed, WindowRecord* rec,
                         int* weight_out)
{
    if (text.empty() || face.empty() || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return 0;
    QFont font = font_make_qfont(face, size, weight, charset);
    FontMeasurer measurer(font, charset_codepage(charset, 0));
    const int utf8 = utf8_allowed && utf8_detect(text) == 2 ? 1 : 0;
    const int which = flags & (kMeasureWidth | kMeasureHeight);
    const bool breaks = text.find_first_of("\r\n") != std::string_view::npos;
    if ((flags & 0x10) && !(flags & kMeasureFullWidth) && !utf8 && !text_has_codes(text, 0) &&
        !(breaks && (flags & kMeasureCrLf))) {
        const QFontMetrics& fm = measurer.metrics(measurer.base_weight(), 0);
        int w = text_extent(fm, text, -1, 0, 1, charset_codepage(charset, 0));
        int h = fm.height();
        if (weight_out && (flags & kMeasureWeight))
            *weight_out = measurer.base_weight();
        if (which == (kMeasureWidth | kMeasureHeight))
            return (w & 0xFFFF) | ((h & 0xFFFF) << 16);
        return which == kMeasureHeight ? h : w;
    }
    WrapState st;
    int mflags = flags & (kMeasureNoCodes | kMeasureFullWidth | kMeasureCrLf | kMeasureWeight);
    mflags |= which ? which : kMeasureWidth;
    int result = line_measure_wrap(text, utf8, lang_setting_multibyte, measurer, 9999,
                                   win_is_record(rec) ? rec : nullptr, st, mflags);
    if (weight_out && (flags & kMeasureWeight))
        *weight_out = st.weight;
    return result;
}
