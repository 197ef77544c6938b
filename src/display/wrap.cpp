#include "display/wrap.h"

#include <QApplication>
#include <QGuiApplication>

#include <algorithm>
#include <memory>

#include "display/child_controls.h"
#include "display/child_layout.h"
#include "display/window_queries.h"
#include "model/window_record.h"
#include "core/color_code.h"
#include "core/encodings.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/draw.h"
#include "display/fonts.h"
#include "model/line_buffer.h"

TextMeasurer* wrap_measurer_override = nullptr;

// ---- Measurers ----

FontMeasurer::FontMeasurer(const QFont& font, int codepage) : font_(font), codepage_(codepage)
{
    base_weight_ = font.weight() >= QFont::DemiBold ? 700 : 400;
    for (auto& table : ascii_)
        table.fill(-1);
}

const QFontMetrics& FontMeasurer::metrics(int weight, int underline)
{
    const int toggled = weight != base_weight_ ? 1 : 0;
    auto& m = metrics_[toggled][underline ? 1 : 0];
    if (!m) {
        m.emplace(draw_font_variant(font_, toggled, underline));
    }
    return *m;
}

int FontMeasurer::run_width(std::string_view run, int utf8, int weight, int underline)
{
    if (run.empty())
        return 0;
    const int variant = (weight != base_weight_ ? 2 : 0) + (underline ? 1 : 0);
    const QFontMetrics& fm = metrics(weight, underline);
    // Printable ASCII is summed from the advances of its characters (text is
    // laid out without kerning or shaping, so this is its drawn width).
    auto& table = ascii_[variant];
    qreal width = 0;
    for (char ch : run) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c > 0x7E)
            return fm.horizontalAdvance(display_decode(run, utf8, codepage_));
        qreal& advance = table[c - 0x20];
        if (advance < 0) {
            if (!metrics_f_[variant])
                metrics_f_[variant].emplace(draw_font_variant(font_, weight != base_weight_, underline));
            advance = metrics_f_[variant]->horizontalAdvance(QLatin1Char(static_cast<char>(c)));
        }
        width += advance;
    }
    return qRound(width);
}

int FontMeasurer::line_height()
{
    return metrics(base_weight_, 0).height() + 1;
}

namespace {

// Without a display: every byte is eight pixels wide.
class ByteMeasurer : public TextMeasurer {
public:
    int run_width(std::string_view run, int, int, int) override
    {
        return static_cast<int>(run.size()) * 8;
    }
    int line_height() override { return 14; }
    int base_weight() override { return 400; }
};

}  // namespace

TextMeasurer& wrap_measurer_for(WindowRecord* rec)
{
    if (wrap_measurer_override)
        return *wrap_measurer_override;
    static ByteMeasurer bytes;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return bytes;
    QFont font = QApplication::font();
    int codepage = 0;
    if (rec) {
        font_ensure_window(rec);
        if (rec->font)
            font = *rec->font;
        codepage = draw_window_codepage(rec);
    }
    // The measurers of the last few fonts, newest first: windows of
    // different fonts that print in turn keep their measured advances.
    struct Entry {
        QFont font;
        int codepage;
        std::unique_ptr<FontMeasurer> measurer;
    };
    static std::vector<Entry> cache;
    for (std::size_t i = 0; i < cache.size(); ++i) {
        if (cache[i].codepage == codepage && cache[i].font == font) {
            if (i > 0)
                std::rotate(cache.begin(), cache.begin() + static_cast<long>(i),
                            cache.begin() + static_cast<long>(i) + 1);
            return *cache.front().measurer;
        }
    }
    if (cache.size() >= 8)
        cache.pop_back();
    cache.insert(cache.begin(), Entry{font, codepage, std::make_unique<FontMeasurer>(font, codepage)});
    return *cache.front().measurer;
}

// ---- Measuring ----

int wrap_run_weight(int base_weight, int bold)
{
    if (!bold)
        return base_weight;
    return base_weight == 400 ? 700 : 400;
}

namespace {

bool is_lead_byte(unsigned char c)
{
    return c >= 0x80 && text_mbcs_lead_byte(c);
}

// The byte counts at which a measured prefix of the run may end: after any
// byte of 8-bit text; in UTF-8 text after whole characters that are not
// followed by a combining mark; in multibyte text never after a lead byte.
void run_bounds(std::string_view run, int utf8, int multibyte, std::vector<int>& out)
{
    out.clear();
    out.push_back(0);
    std::size_t i = 0;
    while (i < run.size()) {
        unsigned char c = static_cast<unsigned char>(run[i]);
        std::size_t len = 1;
        if (utf8 && c >= 0x80) {
            int l = utf8_sequence_at(run, i);
            len = l > 0 ? static_cast<std::size_t>(l) : 1;
        } else if (multibyte && is_lead_byte(c) && i + 1 < run.size()) {
            len = 2;
        }
        i = std::min(run.size(), i + len);
        if (utf8 && i < run.size() && static_cast<unsigned char>(run[i]) >= 0x80 &&
            utf8_char_in_set(run.substr(i)))
            continue;
        out.push_back(static_cast<int>(i));
    }
}

// Measures a run that starts at x: -1 when it fits within `avail` (its width
// in *width), else the number of its bytes that fit, found by halving.
int measure_run(std::string_view run, int utf8, int multibyte, TextMeasurer& m, int weight,
                int underline, int avail, int* width)
{
    const bool bounded = utf8 || multibyte;
    std::vector<int> bounds;
    if (bounded)
        run_bounds(run, utf8, multibyte, bounds);
    const int count = bounded ? static_cast<int>(bounds.size()) - 1 : static_cast<int>(run.size());
    auto len_at = [&](int k) { return bounded ? bounds[static_cast<std::size_t>(k)] : k; };
    auto width_at = [&](int k) {
        return m.run_width(run.substr(0, static_cast<std::size_t>(len_at(k))), utf8, weight,
                           underline);
    };
    int lo = 0, hi = count;
    if (count <= 256) {
        int w = width_at(count);
        if (w <= avail) {
            *width = w;
            return -1;
        }
    } else {
        // Long runs: grow the probe until it overflows, so that a narrow
        // area does not measure the whole run.
        int probe = 64;
        for (;;) {
            if (probe >= count) {
                int w = width_at(count);
                if (w <= avail) {
                    *width = w;
                    return -1;
                }
                break;
            }
            if (width_at(probe) <= avail) {
                lo = probe;
                probe *= 2;
            } else {
                hi = probe;
                break;
            }
        }
    }
    for (int round = 0; hi - lo > 1 && round < 64; ++round) {
        int mid = lo + (hi - lo) / 2;
        if (width_at(mid) <= avail)
            lo = mid;
        else
            hi = mid;
    }
    return len_at(lo);
}

void state_apply(WrapState& st, std::string_view text, std::size_t pos, std::size_t* used)
{
    FormatState fs;
    fs.bold = st.bold;
    fs.underline = st.underline;
    fs.reverse = st.reverse;
    *used = static_cast<std::size_t>(format_apply_code(fs, text, pos, 1, 0));
    st.bold = fs.bold;
    st.underline = fs.underline;
    st.reverse = fs.reverse;
}

}  // namespace

int line_measure_wrap(std::string_view text, int utf8, int multibyte, TextMeasurer& measurer,
                      int right_edge, const WindowRecord* rec, WrapState& state, int flags)
{
    const bool want_size = flags & (kMeasureWidth | kMeasureHeight);
    const bool codes = !(flags & kMeasureNoCodes);
    const bool custom = rec && rec->type == kWinCustom;
    const int base = measurer.base_weight();
    const int limit = right_edge - 2;
    int x = 2;
    int widest = 0;
    int lines = 1;
    int tab_index = 0;
    std::size_t run = 0;
    std::size_t i = 0;
    const std::size_t n = text.size();

    // Measures [run, end): the fit when it overflows, else -1.
    auto flush = [&](std::size_t end) -> long {
        if (end <= run)
            return -1;
        std::string_view segment = text.substr(run, end - run);
        const int weight = wrap_run_weight(base, state.bold);
        if (want_size) {
            x += measurer.run_width(segment, utf8, weight, state.underline);
            return -1;
        }
        int w = 0;
        int fit = measure_run(segment, utf8, multibyte, measurer, weight, state.underline, limit - x,
                              &w);
        if (fit >= 0)
            return static_cast<long>(run) + fit;
        x += w;
        return -1;
    };

    while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (codes && is_format_code(c)) {
            if (long fit = flush(i); fit >= 0) {
                state.weight = wrap_run_weight(base, state.bold);
                return static_cast<int>(fit);
            }
            std::size_t used = 1;
            state_apply(state, text, i, &used);
            i += used;
            run = i;
        } else if (codes && custom && c == kCodeTab) {
            if (long fit = flush(i); fit >= 0) {
                state.weight = wrap_run_weight(base, state.bold);
                return static_cast<int>(fit);
            }
            x = draw_tab_stop_x(rec, 2, x, &tab_index);
            if (!want_size && x > limit) {
                state.weight = wrap_run_weight(base, state.bold);
                return static_cast<int>(i);
            }
            run = ++i;
        } else if ((flags & kMeasureCrLf) && c == '\r' && i + 1 < n && text[i + 1] == '\n') {
            if (long fit = flush(i); fit >= 0) {
                state.weight = wrap_run_weight(base, state.bold);
                return static_cast<int>(fit);
            }
            widest = std::max(widest, x - 2);
            x = 2;
            tab_index = 0;
            ++lines;
            i += 2;
            run = i;
        } else {
            ++i;
        }
    }
    long fit = flush(n);
    state.weight = wrap_run_weight(base, state.bold);
    if (fit >= 0)
        return static_cast<int>(fit);
    if (!want_size)
        return static_cast<int>(n);
    widest = std::max(widest, x - 2);
    const int height = lines * measurer.line_height();
    if ((flags & (kMeasureWidth | kMeasureHeight)) == (kMeasureWidth | kMeasureHeight))
        return (widest & 0xFFFF) | ((height & 0xFFFF) << 16);
    return (flags & kMeasureWidth) ? widest : height;
}

// ---- Choosing a cut ----

namespace {

// Marks the trail bytes of double-byte characters, scanning from the start.
bool is_trail_byte_at(std::string_view text, std::size_t pos)
{
    std::size_t i = 0;
    while (i < text.size() && i <= pos) {
        if (is_lead_byte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            if (pos == i + 1)
                return true;
            i += 2;
        } else {
            ++i;
        }
    }
    return false;
}

bool is_double_byte_part(std::string_view text, std::size_t pos)
{
    return is_lead_byte(static_cast<unsigned char>(text[pos])) || is_trail_byte_at(text, pos);
}

}  // namespace

int wrap_choose_cut(std::string_view text, int fit, int utf8, int multibyte, int* bold)
{
    const int n = static_cast<int>(text.size());
    if (n == 0)
        return 0;
    if (fit >= n)
        return n;
    if (fit < 1)
        fit = 1;
    const int last = fit - 1;
    const int low = last - last / 4;
    int v = -1;
    int bold_copy = bold ? *bold : 0;
    for (int i = last; i >= low && i >= 0; --i) {
        unsigned char c = static_cast<unsigned char>(text[static_cast<std::size_t>(i)]);
        if (utf8 && (c & 0xC0) == 0x80)
            continue;
        if (multibyte && c >= 0x80 && is_double_byte_part(text, static_cast<std::size_t>(i)))
            continue;
        if (c == kCodeBold) {
            bold_copy ^= 1;
            continue;
        }
        if (c == ' ' || c == '\t') {
            v = i;
            break;
        }
    }
    if (v > low) {
        if (bold)
            *bold = bold_copy;
    } else {
        v = last;
    }

    // Never inside a colour code.
    for (int p = v; p >= 0 && p >= v - 5; --p) {
        if (static_cast<unsigned char>(text[static_cast<std::size_t>(p)]) != kCodeColour)
            continue;
        int used = color_code_parse(text.substr(static_cast<std::size_t>(p)), nullptr, nullptr, 0, 0);
        if (p + used >= v)
            v = std::max(0, p - 1);
        break;
    }

    if (utf8 && v < n && static_cast<unsigned char>(text[static_cast<std::size_t>(v)]) >= 0x80) {
        // Never inside a character, nor between a letter and its marks.
        int start = v;
        while (start > 0 && v - start < 5 &&
               (static_cast<unsigned char>(text[static_cast<std::size_t>(start)]) & 0xC0) == 0x80)
            --start;
        int len = utf8_sequence_at(text, static_cast<std::size_t>(start));
        if (len > 0 && start + len > v)
            v = start + len - 1;
        while (v + 1 < n) {
            std::string_view next = text.substr(static_cast<std::size_t>(v + 1));
            if (!utf8_char_in_set(next))
                break;
            int l = utf8_sequence_at(text, static_cast<std::size_t>(v + 1));
            if (l <= 0)
                break;
            v += l;
        }
        return std::max(1, v + 1);
    }
    if (multibyte && v + 1 < n && is_trail_byte_at(text, static_cast<std::size_t>(v)))
        return std::max(1, v + 1);
    unsigned char c = static_cast<unsigned char>(text[static_cast<std::size_t>(v)]);
    int cut = (c == ' ' || c == '\t') ? v + 1 : v;
    return std::max(1, cut);
}

// ---- Cutting a printed line ----

namespace {

void wrap_state_scan(WrapState& st, std::string_view text, std::size_t to)
{
    FormatState fs;
    fs.bold = st.bold;
    fs.underline = st.underline;
    fs.reverse = st.reverse;
    format_scan(fs, text, 0, to, 1, 0);
    st.bold = fs.bold;
    st.underline = fs.underline;
    st.reverse = fs.reverse;
}

}  // namespace

void wrap_cut_line(const WrapInput& in, std::vector<WrapPart>& parts, int* indent_out)
{
    parts.clear();
    std::string_view text = in.text;
    int indent = std::clamp(in.indent, 0, 1024);
    if (text.empty()) {
        parts.push_back({std::string(), indent});
        if (indent_out)
            *indent_out = indent;
        return;
    }
    const bool measured = in.wrap_mode <= 0;
    // An area with no room at all (a window not laid out yet) is not cut:
    // the next re-wrap cuts the line once it has a width.
    const bool no_room = measured && (!in.measurer || in.width - 4 <= 0);
    const std::size_t prefix = std::min(static_cast<std::size_t>(std::max(0, in.prefix)), text.size());
    WrapState st;
    std::size_t pos = 0;
    bool first = true;
    std::string part;
    while (first || pos < text.size()) {
        if (first) {
            part.assign(text);
        } else {
            part.assign(static_cast<std::size_t>(indent), ' ');
            part.append(text.substr(pos));
        }
        std::size_t cut;
        if (no_room) {
            cut = part.size();
        } else {
            WrapState probe = st;
            int fit = measured ? line_measure_wrap(part, in.utf8, in.multibyte, *in.measurer,
                                                   in.width, in.rec, probe, 0)
                               : in.wrap_mode;
            cut = static_cast<std::size_t>(wrap_choose_cut(part, fit, in.utf8, in.multibyte, nullptr));
            if (first) {
                cut = std::max(cut, prefix);
            } else if (indent > 0 && cut <= static_cast<std::size_t>(indent)) {
                // Not one character fits after the indent: shrink it. Every
                // indent above the fit would end the same way, so those steps
                // are taken at once.
                indent = std::min(indent - 1, std::max(0, fit));
                continue;
            }
        }
        parts.push_back({part.substr(0, cut), first ? std::clamp(in.indent, 0, 1024) : indent});
        wrap_state_scan(st, part, cut);
        if (in.wrap_mode < 0)
            st = WrapState();
        if (first)
            pos = cut;
        else
            pos += cut - static_cast<std::size_t>(indent);
        first = false;
    }
    if (indent_out)
        *indent_out = indent;
}

// ---- Re-wrapping ----

int line_is_stale(const StringNode* line, int width, int char_width)
{
    return line && (line->wrapWidth != width || line->charWidth != char_width) ? 1 : 0;
}

int wrap_area_width(WindowRecord* rec)
{
    if (!rec || !rec->text_area.get() || !rec->hwnd.get())
        return 0;
    WinRect r;
    win_text_rect(rec->hwnd.get(), r, 0);
    return std::max(0, r.right - r.left);
}

namespace {

StringNode* make_part(const WrapPart& part, const StringNode* model, int width, int char_width)
{
    StringNode* node = strlist_append(nullptr, std::string_view(part.text), model->number);
    if (!node)
        return nullptr;
    node->serial = model->serial;
    node->wrapMode = model->wrapMode;
    node->indent = part.indent;
    node->wrapWidth = width;
    node->charWidth = char_width;
    return node;
}

// The re-wrap of a line known to be in the window's buffer.
StringNode* rewrap_in_buffer(WindowRecord* rec, StringNode* line, int width)
{
    StringNode* first = line;
    while (first != rec->lines && first->prev && first->prev->serial == first->serial)
        first = first->prev;

    std::string joined;
    StringNode* last_joined = line_join_wrapped(first, &joined);
    const int char_width = rec->char_width;

    WrapInput in;
    in.text = joined;
    in.prefix = line_prefix(first);
    in.wrap_mode = first->wrapMode < 0 ? 0 : first->wrapMode;
    in.indent = std::min(first->indent, 1024);
    in.utf8 = draw_line_is_utf8(rec, joined);
    in.multibyte = !rec->debug_raw && lang_setting_multibyte;
    in.width = width;
    in.rec = rec;
    in.measurer = &wrap_measurer_for(rec);
    std::vector<WrapPart> parts;
    if (line_is_marker(first))
        parts.push_back({std::string(), first->indent});
    else
        wrap_cut_line(in, parts, nullptr);

    // Drop the old continuation parts.
    bool marker_moves = rec->marker_line == first;
    StringNode* after = last_joined->next;
    for (StringNode* p = first->next; p && p != after;) {
        StringNode* next = p->next;
        if (rec->marker_line == p)
            marker_moves = true;
        rec->lines = strlist_remove(rec->lines, p);
        --rec->line_count;
        p = next;
    }

    first->text = parts.empty() ? std::string() : parts[0].text;
    first->wrapWidth = width;
    first->charWidth = char_width;

    StringNode* added = nullptr;
    int count = 0;
    for (std::size_t k = 1; k < parts.size(); ++k) {
        StringNode* node = make_part(parts[k], first, width, char_width);
        if (!node)
            break;
        if (!added) {
            added = node;
        } else {
            StringNode* last = added->prev;
            last->next = node;
            node->prev = last;
            added->prev = node;
        }
        ++count;
    }
    StringNode* last_new = first;
    if (added) {
        last_new = added->prev;
        rec->lines = strlist_splice(rec->lines, first->next, added);
        rec->line_count += count;
    }
    // Parts a join would have taken past 4,150 characters stay as they are,
    // counted as cut for this width.
    for (StringNode* p = last_new->next; p && p->serial == first->serial; p = p->next) {
        p->wrapWidth = width;
        p->charWidth = char_width;
    }
    if (marker_moves)
        rec->marker_line = first;
    return last_new;
}

bool in_buffer(WindowRecord* rec, const StringNode* line)
{
    if (!rec || !rec->lines || !line)
        return false;
    const StringNode* last = rec->lines->prev;
    // Walk from the nearer end the line could be reached from.
    for (const StringNode* p = line; p; p = p->next)
        if (p == last)
            return true;
    return false;
}

}  // namespace

StringNode* line_rewrap(WindowRecord* rec, StringNode* line, int width)
{
    if (!win_is_record(rec) || !in_buffer(rec, line))
        return nullptr;
    return rewrap_in_buffer(rec, line, width);
}

int win_rewrap_lines(WindowRecord* rec, int width)
{
    if (!win_is_record(rec))
        return 0;
    int any = 0;
    for (StringNode* line = rec->lines; line;) {
        if (line_is_stale(line, width, rec->char_width)) {
            StringNode* last = rewrap_in_buffer(rec, line, width);
            any = 1;
            line = last ? last->next : nullptr;
        } else {
            line = line->next;
        }
    }
    return any;
}
