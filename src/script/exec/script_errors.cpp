#include "script/exec/script_errors.h"

#include <chrono>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"

ScriptErrorState script_error_state;

namespace {

std::int64_t now_ms()
{
    using namespace std::chrono;
    static const auto start = steady_clock::now();
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

// A word or extra text of a message: at most 1,024 characters, a longer one
// cut and followed by "...".
std::string cut_part(std::string_view t)
{
    if (t.size() <= kMediumText)
        return std::string(t);
    std::string s(t.substr(0, kMediumText));
    s += "...";
    return s;
}

} // namespace

namespace {

// The place of a line in one file's lines: 1 when found, with its number.
// The failing line itself wins; else the last of the list's first line and
// the definition line met on the way.
int place_in(const StringNode* lines, const StringNode* line, const StringNode* first,
             const StringNode* definition, int* number)
{
    int n = 0;
    int fallback = 0;
    for (const StringNode* l = lines; l; l = l->next) {
        ++n;
        if (l == line) {
            *number = n;
            return 1;
        }
        if (l == first || l == definition)
            fallback = n;
    }
    if (!fallback)
        return 0;
    *number = fallback;
    return 1;
}

std::string file_name_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int script_line_place(const StringNode* line, const StringNode* first,
                      const StringNode* definition, int* number, std::string* file_name)
{
    if (!number || !file_name || (!line && !first && !definition))
        return 0;
    for (AliasFile* f = alias_files_head; f; f = f->next) {
        if (place_in(f->lines, line, first, definition, number)) {
            *file_name = file_name_of(f->path);
            return 1;
        }
    }
    for (ScriptFile* f = remote_list; f; f = f->next) {
        if (place_in(f->lines, line, first, definition, number)) {
            *file_name = file_name_of(f->path);
            return 1;
        }
    }
    return 0;
}

std::string script_format(std::string_view pattern, std::string_view a, std::string_view b,
                          std::string_view c)
{
    std::string out;
    std::string_view args[3] = {a, b, c};
    int next = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char ch = pattern[i];
        if (ch == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
            if (next < 3)
                out += args[next++];
            ++i;
            continue;
        }
        if (ch == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        out.push_back(ch);
    }
    if (out.size() > kLongText)
        out.resize(kLongText);
    return out;
}

std::string script_text(int id, std::string_view a, std::string_view b, std::string_view c)
{
    std::string pattern;
    text_load_string(id, &pattern);
    return script_format(pattern, a, b, c);
}

void script_error_clear()
{
    script_error_state.text.clear();
    script_error_state.placed = 0;
    script_error_state.depth = 0;
}

int script_error_set(const std::string& text)
{
    script_error_clear();
    script_error_state.text = text.substr(0, kLongText);
    return 0;
}

int script_error(QWidget* window, std::string_view word_in, std::string_view extra_in, int type)
{
    std::string word = cut_part(word_in);
    std::string extra = cut_part(extra_in);
    const bool has_word = !word_in.empty();
    const bool has_extra = !extra_in.empty();
    std::string msg;
    auto with_extra = [&](int id) {
        msg = script_text(id, word);
        if (has_extra)
            msg += " '" + extra + "'";
    };
    switch (type) {
    case 0: if (has_word) msg = script_text(2201, word); break;
    case 1: if (has_word) with_extra(2202); break;
    case 2:
        if (has_word)
            msg = script_text(2203, word);
        else if (has_extra)
            msg = script_text(2204, extra);
        break;
    case 3: if (has_word) msg = script_text(2206, word); break;
    case 4: if (has_word) with_extra(2207); break;
    case 5:
        if (has_extra && !script_error_state.box_open) {
            script_error_state.box_open = 1;
            message_dialog_hook(script_program_title, script_text(2209, extra));
            script_error_state.box_open = 0;
        }
        return 0;
    case 6: msg = std::string(word_in.substr(0, kLongText)); break;
    case 7: if (has_word) msg = script_text(2210, word); break;
    case 10:
        if (has_word)
            msg = script_text(2212, word);
        else if (has_extra)
            msg = script_text(2220) + extra;
        break;
    case 11: if (has_word) msg = script_text(2222, word); break;
    case 12: msg = has_word ? script_text(2225, word) : script_text(2226); break;
    case 13: msg = has_word ? script_text(2227, word) : script_text(2228); break;
    case 14: if (has_word) with_extra(2233); break;
    case 15: if (has_word) msg = script_text(2237, word); break;
    default: return 0;
    }
    if (msg.empty())
        return 0;
    script_error_set(msg);
    if (window) {
        script_echo_line(window, script_error_state.text, kColourInfo);
        script_error_clear();
    }
    return 0;
}

int ident_error_name(std::string_view name, int code)
{
    int id;
    switch (code) {
    case 3: id = 2214; break;
    case 4: id = 2215; break;
    case 5: id = 2216; break;
    case 6: id = 2217; break;
    case 7: id = 2218; break;
    case 8: id = 2219; break;
    case 9: id = 2220; break;
    case 10: id = 2223; break;
    case 11: id = 2229; break;
    case 12: id = 2230; break;
    case 13: id = 2232; break;
    case 14: id = 2235; break;
    case 15: id = 2236; break;
    case 16: id = 2238; break;
    default: id = 2221; break;
    }
    std::size_t paren = name.find('(');
    if (paren != std::string_view::npos)
        name = name.substr(0, paren);
    script_error_clear();
    std::string msg = script_text(id);
    msg += name;
    script_error_set(msg);
    return 0;
}

int script_error_not_available(char kind, std::string_view name)
{
    std::size_t paren = name.find('(');
    if (paren != std::string_view::npos)
        name = name.substr(0, paren);
    script_error_clear();
    std::string msg = "* ";
    msg.push_back(kind);
    msg += cut_part(name);
    msg += ": not available yet";
    return script_error_set(msg);
}

int ident_error(const EvalToken* token, std::string* /*work*/, int code)
{
    return ident_error_name(token ? std::string_view(token->text) : std::string_view(), code);
}

void script_error_locate(QWidget* window, const ScriptLineLocator& where, int show, int depth,
                         Connection* conn)
{
    if (!script_error_pending())
        return;
    if (!script_error_state.placed) {
        int number = 0;
        std::string file;
        if (script_line_place(where.line, where.first, where.definition, &number, &file)) {
            std::string suffix = script_text(2213, std::to_string(number), file, "");
            if (script_error_state.text.size() + suffix.size() <= kLongText)
                script_error_state.text += suffix;
        }
        script_error_state.placed = 1;
        script_error_state.depth = depth;
        script_error_state.time = now_ms();
    }
    if (show)
        script_error_show(window, conn);
}

void script_error_show(QWidget* window, Connection* conn)
{
    if (!script_error_pending())
        return;
    QWidget* target = nullptr;
    WindowRecord* rec = window ? win_record_of(window) : nullptr;
    if (rec) {
        if (rec->type == kWinStatus || rec->type == kWinChannel ||
            (rec->type == kWinQuery && rec->subtype != kQueryDccChat && rec->subtype != kQueryFserve))
            target = window;
        else
            target = conn_status_window_of(window);
    } else if (window) {
        target = conn_status_window_of(window);
        if (!target)
            target = window;
    } else if (conn_is_live(conn)) {
        WindowRecord* status = win_find_by_type(kWinStatus, conn);
        target = status ? status->hwnd.get() : nullptr;
    }
    if (!target && !window && !conn_is_live(conn)) {
        // Nowhere to print at all.
        script_echo_line(nullptr, script_error_state.text, kColourInfo);
        script_error_clear();
        return;
    }
    std::string brk;
    text_load_string(2802, &brk);
    const bool is_break = text_starts_with_nocase(script_error_state.text, std::string_view(brk).substr(0, 8));
    int colour = is_break ? kColourInfo2 : kColourInfo;
    script_echo_line(target ? target : window, script_error_state.text, colour);
    script_error_clear();
}
