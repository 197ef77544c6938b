#include "model/line_buffer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/main_settings.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/connection_windows.h"
#include "model/window_record.h"

PrintOptions print_options;
PrintHooks print_hooks;
LineCutHooks line_cut_hooks;
Signal<void(const LinePrinted&)> line_printed;
Signal<void(const LinesAdded&)> lines_added;
Signal<int(const WindowRecord*)> lines_held;
int line_serial = 0;

namespace {

constexpr int kTrimCeilingFactor = 2;

bool g_print_running = false;
bool g_separator_running = false;

int area_width(WindowRecord* rec)
{
    return line_cut_hooks.area_width ? line_cut_hooks.area_width(rec) : 0;
}

// The newest display line's text equals the separator (case ignored).
bool newest_is_separator(WindowRecord* rec, std::string_view separator)
{
    return rec->lines && text_equal_nocase(rec->lines->prev->text, separator);
}

// Redirection of the windows that show no lines of their own.
bool prints_into_status(const WindowRecord* rec)
{
    switch (rec->type) {
    case kWinTransfer:
    case kWinChanList:
    case kWinUrls:
    case kWinNotify:
    case kWinLinks:
        return true;
    case kWinCustom:
        return rec->picture || rec->subtype == 1;
    default:
        return false;
    }
}

bool is_fserve_chat(const WindowRecord* rec)
{
    return rec->type == kWinQuery && rec->subtype == kQueryFserve;
}


// The rest of print_line once the window and its text are known.
void print_into(WindowRecord* rec, std::string_view text, std::uint32_t colour)
{
    // A separator never follows a separator.
    const std::string separator = display_separator_text();
    if (text_equal_nocase(text, separator) && newest_is_separator(rec, separator))
        return;

    if (opt(OPT_CATCH_URLS) || (opt(OPT_CATCH_EMAIL) && print_options.message))
        line_printed.fire(LinePrinted{kPrintCaught, rec, text, colour, rec->track_urls ? 5 : 1});

    bool highlighted = false;
    if (opt(OPT_HIGHLIGHT_ENABLED) && print_options.highlight_test && print_hooks.highlight_match) {
        PrintOptions saved = print_options;
        HighlightMatch match;
        int hit = print_hooks.highlight_match(rec, std::string(text), saved.highlight_test,
                                              saved.sender_nick, &match);
        print_options = saved;
        // The reaction may have closed the window.
        if (!win_is_record(rec))
            return;
        if (hit) {
            if (match.colour > 0)
                colour = static_cast<std::uint32_t>(match.colour - 1);
            LinePrinted event{kPrintHighlighted, rec, text, colour};
            event.match = &match;
            line_printed.fire(event);
            if (!win_is_record(rec))
                return;
            print_options.beep = 0;
            highlighted = true;
        }
    }

    const bool at_end = rec->scroll_pos == rec->scroll_end;

    line_serial_advance();
    print_options.indent = std::clamp(print_options.indent, 0, 1024);

    // The timestamp prefix.
    std::string whole;
    if (print_options.timestamp &&
        (rec->timestamp == 1 || (rec->timestamp == 2 && opt(OPT_TIMESTAMP_EVENTS)))) {
        time_stamp_text(whole, 1);
        if (!whole.empty())
            whole.push_back(' ');
    }
    const int prefix = static_cast<int>(whole.size());
    whole.append(text);

    const int width = area_width(rec);
    std::vector<WrapPart> parts;
    if (line_cut_hooks.cut)
        line_cut_hooks.cut(rec, whole, prefix, width, parts);
    else
        parts.push_back(WrapPart{whole, print_options.indent});

    LinesAdded added{rec};
    bool first = true;
    for (const WrapPart& part : parts) {
        print_options.indent = part.indent;
        line_append(rec, part.text, width, colour, first ? prefix : 0);
        LinePrinted event{kPrintStored, rec, text, colour};
        event.first_part = first;
        line_printed.fire(event);
        first = false;
        if (!win_is_record(rec))
            return;
        if (print_options.message == 1 && rec->type == kWinQuery && rec->print_countdown == 0) {
            rec->print_countdown = 1000;
            added.countdown = true;
        }
        if (print_options.wrap_mode < 0)
            line_serial_advance();
    }

    added.follow = at_end && !line_buffer_held(rec);
    if (!added.follow)
        print_options.beep = 2;
    // Activity: raised only for windows the user is not looking at.
    if (print_options.raise_activity)
        added.activity = highlighted ? kActivityHighlight
                                     : (print_options.message ? kActivityMessage : kActivityText);
    if (!is_fserve_chat(rec))
        added.beep = print_options.beep;
    lines_added.fire(added);
    if (!win_is_record(rec))
        return;

    if (print_options.flash && !is_fserve_chat(rec) && display_flash_setting(rec))
        line_printed.fire(LinePrinted{kPrintFlash, rec, text, colour});
}

}  // namespace

void print_options_clear()
{
    print_options = PrintOptions();
}

int line_serial_advance()
{
    ++line_serial;
    if (line_serial > 9000 || line_serial < 1)
        line_serial = 1;
    return line_serial;
}

std::string display_separator_text()
{
    const std::string& s = main_settings.line_separator;
    return s.size() > kShortText ? s.substr(0, kShortText) : s;
}

void print_line(QWidget* hwnd, std::string_view text, std::uint32_t colour)
{
    if (g_print_running)
        return;
    g_print_running = true;
    if (text.size() > kLongText)
        text = text.substr(0, kLongText);
    if (!text.empty()) {
        WindowRecord* rec = win_record_of(hwnd);
        if (rec && conn_is_live(rec->conn) && prints_into_status(rec))
            rec = win_record_of(conn_status_window(rec->conn));
        if (rec && conn_is_live(rec->conn) && rec->text_area.get())
            print_into(rec, text, colour);
    }
    print_options_clear();
    g_print_running = false;
}

void print_line(QWidget* hwnd, std::string& text, std::uint32_t colour)
{
    if (text.size() > kLongText)
        text.resize(kLongText);
    print_line(hwnd, std::string_view(text), colour);
}

void print_separator(QWidget* hwnd, std::uint32_t colour)
{
    if (g_separator_running)
        return;
    g_separator_running = true;
    const std::string separator = display_separator_text();
    WindowRecord* rec = win_record_of(hwnd);
    if (!separator.empty() && rec && rec->text_area.get() && rec->lines &&
        !newest_is_separator(rec, separator)) {
        const bool at_end = rec->scroll_pos == rec->scroll_end;
        line_serial_advance();
        line_append(rec, separator, area_width(rec), colour, 0);
        LinePrinted event{kPrintStored, rec, separator, colour};
        event.first_part = true;
        event.separator = true;
        line_printed.fire(event);
        if (win_is_record(rec)) {
            LinesAdded added{rec};
            added.follow = at_end && !line_buffer_held(rec);
            lines_added.fire(added);
        }
    }
    print_options.no_log = 0;
    g_separator_running = false;
}

int echo_line(QWidget* hwnd, std::string_view text, std::uint32_t colour)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    if (rec->type != kWinStatus) {
        print_line(hwnd, text, colour);
        return 1;
    }
    // The caller's no_log holds for the line and its frame, not only for
    // the first separator.
    const int no_log = print_options.no_log;
    print_separator(hwnd, kColorInfoText);
    print_options.no_log = no_log;
    print_line(hwnd, text, colour);
    print_options.no_log = no_log;
    print_separator(hwnd, kColorInfoText);
    return 1;
}

// ---- The buffer ----

int line_append(WindowRecord* rec, std::string_view text, int wrap_width, std::uint32_t colour,
                int prefix)
{
    if (!rec)
        return 0;
    if (text.size() > kLongText)
        text = text.substr(0, kLongText);
    StringNode* head = strlist_append(rec->lines, text, static_cast<int>(colour));
    if (!head)
        return 0;
    StringNode* node = head->prev;
    node->serial = line_serial;
    node->wrapMode = print_options.wrap_mode < 0 ? 0 : print_options.wrap_mode;
    node->indent = std::clamp(print_options.indent, 0, 1024);
    node->wrapWidth = wrap_width;
    node->charWidth = rec->char_width;
    line_set_prefix(node, prefix);
    rec->line_count = rec->lines ? rec->line_count + 1 : 1;
    rec->lines = head;
    line_trim(rec);
    return 1;
}

ScrollbackLine* line_node_new(WindowRecord* rec, std::string_view text, std::uint32_t colour, int wrap,
                              int indent, int wrap_width)
{
    if (text.size() > kLongText)
        text = text.substr(0, kLongText);
    StringNode* node = strlist_append(nullptr, text, static_cast<int>(colour));
    if (!node)
        return nullptr;
    node->serial = line_serial_advance();
    node->indent = std::clamp(indent, 0, 1024);
    if (wrap) {
        node->wrapMode = 0;
        node->wrapWidth = 0;
        node->charWidth = 0;
    } else {
        node->wrapMode = static_cast<int>(kLongText);
        node->wrapWidth = wrap_width;
        node->charWidth = rec->char_width;
    }
    return node;
}

ScrollbackLine* line_new(WindowRecord* rec, const char* text, int sorted, std::uint32_t colour,
                         int wrap, int indent, int trim)
{
    if (!rec || !text)
        return nullptr;
    std::string_view view(text, strnlen(text, kLongText));
    StringNode* node = line_node_new(rec, view, colour, wrap, indent, wrap ? 0 : area_width(rec));
    if (!node)
        return nullptr;
    StringNode* before = nullptr;
    if (sorted) {
        for (StringNode* p = rec->lines; p; p = p->next) {
            if (text_compare_nocase(p->text, view) > 0) {
                before = p;
                break;
            }
        }
    }
    const bool was_empty = rec->lines == nullptr;
    rec->lines = strlist_splice(rec->lines, before, node);
    rec->line_count = was_empty ? 1 : rec->line_count + 1;
    if (trim)
        line_trim(rec);
    return rec->lines;
}

void line_trim(WindowRecord* rec)
{
    if (!rec || line_buffer_held(rec))
        return;
    int max = opt(OPT_BUFFER_LINES);
    if (max < 500) {
        max = 500;
        opt_set(OPT_BUFFER_LINES, 500);
    }
    // While the view is scrolled back the buffer may grow, but not without
    // bound: past twice the maximum it is trimmed all the same, and the view
    // keeps showing the lines it showed.
    const bool scrolled_back = rec->scroll_pos != rec->scroll_end;
    if (scrolled_back && rec->line_count <= kTrimCeilingFactor * max)
        return;
    const int count_before = rec->line_count;
    while (rec->line_count > max && rec->lines) {
        StringNode* first = rec->lines;
        StringNode* victim = first;
        bool marker_to_top = false;
        if (rec->marker_line == first) {
            if (line_is_marker(first))
                victim = first->next;  // the marker line stays at the top
            else
                marker_to_top = true;
        }
        if (!victim)
            break;
        const int serial = victim->serial;
        while (victim && victim->serial == serial) {
            StringNode* next = victim->next;
            if (rec->marker_line == victim)
                marker_to_top = true;
            rec->lines = strlist_remove(rec->lines, victim);
            --rec->line_count;
            victim = next;
        }
        if (marker_to_top)
            rec->marker_line = rec->lines;
    }
    if (!rec->lines)
        rec->line_count = 0;
    if (scrolled_back) {
        const int removed = count_before - rec->line_count;
        rec->scroll_pos = std::max(0, rec->scroll_pos - removed);
        rec->scroll_end = std::max(0, rec->scroll_end - removed);
    }
}

ScrollbackLine* line_from_end(WindowRecord* rec, int steps)
{
    if (!rec || !rec->lines)
        return nullptr;
    if (steps < 0)
        steps = 0;
    StringNode* last = rec->lines->prev;
    if (steps == 0)
        return last;
    // From the head when that is nearer.
    const int count = rec->line_count;
    if (count > 0 && steps < count && steps > count / 2) {
        StringNode* p = rec->lines;
        for (int i = count - 1 - steps; p && i > 0; --i)
            p = p->next;
        if (p)
            return p;
    }
    StringNode* p = last;
    for (int i = 0; i < steps && p != rec->lines; ++i)
        p = p->prev;
    return p;
}

// ---- Settings and holds ----

int line_buffer_held(const WindowRecord* rec)
{
    return rec && lines_held.any(rec) ? 1 : 0;
}

namespace {

// The effective value of a tri-state window setting: the window's own, or
// for 2 the default of its kind.
int effective(int own, const WindowRecord* rec, OptionId channel, OptionId query, OptionId chat)
{
    if (rec->type != kWinChannel && rec->type != kWinQuery)
        return 0;
    if (own != 2)
        return own ? 1 : 0;
    if (rec->type == kWinChannel)
        return opt(channel) ? 1 : 0;
    if (rec->subtype == kQueryDccChat)
        return opt(chat) ? 1 : 0;
    if (rec->subtype == kQueryFserve)
        return 0;
    return opt(query) ? 1 : 0;
}

}  // namespace

int display_beep_setting(WindowRecord* rec)
{
    if (!rec)
        return 0;
    return effective(rec->beep, rec, OPT_BEEP_CHANNEL_MESSAGES, OPT_BEEP_PRIVATE_MESSAGES,
                     OPT_BEEP_CHAT_MESSAGES);
}

int display_flash_setting(WindowRecord* rec)
{
    if (!rec)
        return 0;
    return effective(rec->flash, rec, OPT_FLASH_CHANNEL_MESSAGES, OPT_FLASH_PRIVATE_MESSAGES,
                     OPT_FLASH_CHAT_MESSAGES);
}
