#include "commands/filter_command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/window_record.h"
#include "display/window_queries.h"
#include "commands/command_conn.h"
#include "core/files.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "display/window_buffer.h"
#include "display/window_lines.h"
#include "extensions/dialog_controls.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/regex.h"

namespace {

constexpr char kNone = 0;

struct Line {
    std::string text;
    long long number = 0;     // source line number
    std::uint32_t colour = 0;
    std::size_t column = 0;   // offset of the sort column
    bool has_column = false;
};

struct Side {
    char kind = kNone;   // 'f' file, 'w' window, 's' status, 'd' message window, 'i'/'o' dialog
    std::string path;
    WindowRecord* window = nullptr;
    bool list = false;   // the window's list box rather than its text
    ScriptDialog* dialog = nullptr;   // a dialog's list, combo or edit control
    DialogControl* control = nullptr;
};

// Whether a window side reads or fills its list box: a custom list window
// always; a custom window with a side list, or a channel's nick list (as a
// source), when -l or -L asks for it.
bool uses_list(const WindowRecord* rec, bool asked, bool is_source)
{
    if (rec->type == kWinCustom)
        return rec->subtype == 1 || (asked && rec->subtype == 2);
    return asked && is_source && rec->type == kWinChannel;
}

struct FilterState {
    bool x = false, n = false, g = false, b = false, c = false, z = false, p = false;
    bool range = false, sort_column = false, reverse = false, numeric = false;
    bool source_list = false;   // -l: the source window's list box or nick list
    bool target_list = false;   // -L: the target window's list box
    long long first = 0, last = 0;
    int column = 1;
    char separator = ' ';
    std::string sort_alias, call_alias, match;
    CommandCall* call = nullptr;
    Connection* conn = nullptr;
};

bool matches(const FilterState& st, const std::string& line)
{
    if (st.match.empty())
        return !st.x;
    std::string copy = line;
    if (st.b)
        text_strip_codes(copy, kStripBold | kStripUnderline | kStripReverse | kStripColour);
    bool hit = st.g ? regex_match_text(copy, st.match) > 0 : wild_match(st.match, copy, 0, 1) != 0;
    return st.x ? !hit : hit;
}

// The lines of a window's text: the parts of one printed line joined, the
// continuation indent of each part removed.
void window_lines(WindowRecord* rec, std::vector<Line>& out)
{
    long long n = 0;
    int serial = -1;
    for (StringNode* l = rec->lines; l; l = l->next) {
        if (line_is_marker(l))
            continue;
        if (!out.empty() && l->serial == serial) {
            std::string part = l->text;
            std::size_t lead = 0;
            while (lead < part.size() && lead < static_cast<std::size_t>(l->indent) && part[lead] == ' ')
                ++lead;
            if (out.back().text.size() + part.size() - lead <= kLongText)
                out.back().text += part.substr(lead);
            continue;
        }
        serial = l->serial;
        Line line;
        line.text = l->text;
        line.number = ++n;
        line.colour = line_colour(l);
        out.push_back(std::move(line));
    }
}

bool read_file_lines(const std::string& path, std::vector<Line>& out)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    std::string line;
    long long n = 0;
    int c;
    bool any = false;
    while ((c = std::fgetc(f)) != EOF) {
        any = true;
        if (c == '\n' || line.size() >= kLongText) {
            if (c != '\n')
                std::ungetc(c, f);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            out.push_back(Line{line, ++n, 0, 0, false});
            line.clear();
            any = false;
            continue;
        }
        line.push_back(static_cast<char>(c));
    }
    if (any) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.push_back(Line{line, ++n, 0, 0, false});
    }
    std::fclose(f);
    return true;
}

void set_column(const FilterState& st, Line& line)
{
    if (line.text.empty()) {
        line.has_column = false;
        return;
    }
    std::size_t off = 0;
    for (int k = 1; k < st.column; ++k) {
        const std::size_t s = line.text.find(st.separator, off);
        if (s == std::string::npos) {
            off = 0;
            break;
        }
        off = s + 1;
    }
    line.column = off;
    line.has_column = true;
}

int compare(const FilterState& st, const Line& a, const Line& b)
{
    if (!st.sort_alias.empty()) {
        std::string expr = "$" + st.sort_alias + "($1,$2)";
        const std::string x = a.text.substr(a.column), y = b.text.substr(b.column);
        ident_eval_text(st.call->window, &expr, x.c_str(), y.c_str(), 0, st.call->depth, -1, st.call->script, st.conn);
        return static_cast<int>(std::strtol(expr.c_str(), nullptr, 10));
    }
    if (!a.has_column || !b.has_column)
        return a.has_column == b.has_column ? 0 : a.has_column ? -1 : 1;
    const std::string_view x = std::string_view(a.text).substr(a.column);
    const std::string_view y = std::string_view(b.text).substr(b.column);
    const std::string_view tx = x.substr(0, x.find(st.separator));
    const std::string_view ty = y.substr(0, y.find(st.separator));
    if (st.numeric) {
        auto is_num = [](std::string_view t) {
            std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
            return i < t.size() && t[i] >= '0' && t[i] <= '9';
        };
        const bool nx = is_num(tx), ny = is_num(ty);
        if (nx != ny)
            return nx ? -1 : 1;
        if (nx) {
            const double dx = std::atof(std::string(tx).c_str()), dy = std::atof(std::string(ty).c_str());
            if (dx != dy)
                return dx < dy ? -1 : 1;
        }
    }
    const int c = text_compare_nocase(tx, ty);
    if (c != 0)
        return c;
    return text_compare_nocase(x, y);
}

struct Writer {
    FilterState& st;
    Side& target;
    std::FILE* file = nullptr;
    long long written = 0;
    bool failed = false;

    bool open()
    {
        if (target.kind == 'f') {
            file = std::fopen(target.path.c_str(), st.c ? "wb" : "ab");
            return file != nullptr;
        }
        if (target.control && st.c)
            dialog_control_clear(target.dialog, *target.control);
        if (target.window && st.c) {
            if (target.list) {
                win_clear_buffer(target.window, 1);
            } else {
                strlist_free(&target.window->lines);
                target.window->marker_line = nullptr;
            }
        }
        return true;
    }

    void write(const Line& line)
    {
        std::string text = line.text;
        if (st.n) {
            text = std::to_string(line.number) + " " + text;
            if (text.size() > kLongText)
                text.resize(kLongText);
        }
        ++written;
        if (!st.call_alias.empty()) {
            std::string expr = "$" + st.call_alias + "($1-)";
            ident_eval_text(st.call->window, &expr, text.c_str(), nullptr, 0, st.call->depth, -1, st.call->script,
                            st.conn);
            return;
        }
        if (target.control) {
            dialog_control_add_line(target.dialog, *target.control, text);
            return;
        }
        if (file) {
            if (text.empty() || text.back() != '\n')
                text.push_back('\n');
            if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
                failed = true;
            return;
        }
        if (target.window && target.list) {
            // Without -z the item takes the list's own colour item, so it
            // follows a colour scheme change as added items do.
            buffer_list_add(target.window, text, static_cast<int>(st.z ? line.colour : kColorListboxText));
            return;
        }
        if (target.window) {
            const std::uint32_t colour = st.z ? line.colour : kColorNormalText;
            line_new(target.window, text.c_str(), 0, colour, st.p ? 1 : 0, 0, 1);
        }
    }

    void close()
    {
        if (file)
            std::fclose(file);
        file = nullptr;
        if (target.window && !target.list)
            win_redraw(target.window, 1);
    }
};

// A file argument at tokens[i]; the index of its last token, or -1.
int file_token(const CommandCall& call, std::size_t i, std::string& path)
{
    std::string raw;
    const int end = arg_get_quoted(call.tokens, i, raw, kMediumText, 0);
    if (end < 0 || raw.empty() || !file_resolve_path(raw, path))
        return -1;
    return end;
}

}  // namespace

// /filter [-switches] [range] [column separator] source target [alias] [matchtext]
int cmd_filter(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    FilterState st;
    st.call = &call;
    st.conn = conn_of(call);
    if (call.run && call.run->slot_c)
        *call.run->slot_c = 0;
    std::string sw;
    std::size_t i = 1;
    if (!call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = call.arg(1);
        i = 2;
    }
    std::string kinds;
    bool sort_by_alias = false, call_alias = false;
    for (std::size_t k = 1; k < sw.size(); ++k) {
        switch (sw[k]) {
        case 'd': case 'f': case 'i': case 'o': case 's': case 'w': kinds.push_back(sw[k]); break;
        case 'x': st.x = true; break;
        case 'n': st.n = true; break;
        case 'g': st.g = true; break;
        case 'b': st.b = true; break;
        case 'c': st.c = true; break;
        case 'z': st.z = true; break;
        case 'p': st.p = true; break;
        case 'r': st.range = true; break;
        case 't': st.sort_column = true; break;
        case 'e': st.reverse = true; break;
        case 'u': st.numeric = true; break;
        case 'a': sort_by_alias = true; break;
        case 'k': call_alias = true; break;
        case 'l': st.source_list = true; break;
        case 'L': st.target_list = true; break;
        default: break;
        }
    }
    Side source, target;
    source.kind = kinds.size() >= 1 && kinds[0] != 'o' ? kinds[0] : kNone;
    target.kind = kinds.size() >= 2 ? kinds[1] : kNone;
    // "o" in the first place names the target alone.
    if (kinds.size() == 1 && kinds[0] == 'o')
        target.kind = 'o';
    if (st.range) {
        const std::string& r = call.arg(i++);
        if (r.empty())
            return script_error(nullptr, word, "", 3);
        st.first = std::strtoll(r.c_str(), nullptr, 10);
        const std::size_t dash = r.find('-', 1);
        st.last = dash == std::string::npos ? 1 : std::strtoll(r.c_str() + dash + 1, nullptr, 10);
        if (st.last < st.first)
            st.last = st.first;
    }
    if (st.sort_column) {
        const std::string& col = call.arg(i);
        const std::string& sep = call.arg(i + 1);
        if (col.empty() || sep.empty())
            return script_error(nullptr, word, "", 3);
        const long sep_code = std::strtol(sep.c_str(), nullptr, 10);
        if (sep_code < 1 || sep_code > 255)
            return script_error(nullptr, word, "", 3);
        st.column = std::max(1, static_cast<int>(std::strtol(col.c_str(), nullptr, 10)));
        st.separator = static_cast<char>(sep_code);
        i += 2;
    }
    auto deduce = [&](std::size_t at) {
        const std::string& t = call.arg(at);
        return !t.empty() && (t[0] == '"' || t.find('.') != std::string::npos) ? 'f' : 'w';
    };
    auto take = [&](Side& side, bool is_source) -> int {
        if (side.kind == 's' || side.kind == 'd') {
            side.window = side.kind == 's' ? win_find_by_type(kWinStatus, st.conn)
                                           : win_find_by_name("Message Window", st.conn);
            if (!side.window)
                return script_error(nullptr, word, "", 7);
            if (!is_source) {
                if (call.arg(i).empty() && source.kind != 's' && source.kind != 'd')
                    return script_error(nullptr, word, "", 3);
                ++i;   // a token stands in its place
            }
            return 1;
        }
        if (call.arg(i).empty())
            return script_error(nullptr, word, "", 3);
        if (side.kind == kNone)
            side.kind = deduce(i);
        if (side.kind == 'i' || side.kind == 'o') {
            // A dialog name and a control id.
            const std::string& name = call.arg(i);
            const std::string& id = call.arg(i + 1);
            if (id.empty() || !text_is_integer(id))
                return script_error(nullptr, word, "", 3);
            i += 2;
            const int found = dialog_filter_control(name, text_to_int_clamped(id), &side.dialog, &side.control);
            if (found < 0)
                return script_error(nullptr, word, "", 7);
            if (found == 0)
                return script_error(nullptr, word, "", 3);
            return 1;
        }
        if (side.kind == 'f') {
            const int end = file_token(call, i, side.path);
            if (end < 0)
                return script_error(nullptr, word, "", 3);
            if (is_source && !file_exists(side.path, 1))
                return script_error(nullptr, word, "", 3);
            i = static_cast<std::size_t>(end) + 1;
            return 1;
        }
        side.window = win_find_by_name(call.arg(i), st.conn);
        ++i;
        if (!side.window)
            return script_error(nullptr, word, "", 7);
        if (!is_source && side.window->type != kWinCustom && side.window->type != kWinStatus)
            return script_error(nullptr, word, "", 7);
        side.list = uses_list(side.window, is_source ? st.source_list : st.target_list, is_source);
        return 1;
    };
    if (!take(source, true))
        return kScriptFailed;
    if (call_alias) {
        st.call_alias = call.arg(i++);
        if (st.call_alias.empty())
            return script_error(nullptr, word, "", 3);
    } else if (!take(target, false)) {
        return kScriptFailed;
    }
    if (sort_by_alias) {
        st.sort_alias = call.arg(i++);
        if (st.sort_alias.empty())
            return script_error(nullptr, word, "", 3);
    }
    arg_join_from(i, st.match, call.tokens);

    std::vector<Line> lines;
    if (source.kind == 'f') {
        if (!read_file_lines(source.path, lines))
            return script_error(nullptr, word, source.path, 4);
    } else if (source.window && source.list && source.window->type == kWinChannel) {
        // The nick list, one line per nick in the list's order, each in its
        // nick colour.
        long long n = 0;
        for (StringNode* e = source.window->nick_list; e; e = e->next) {
            const int c = e->extra[kNickColour];
            const std::uint32_t colour = c >= 0 && c <= 15 ? static_cast<std::uint32_t>(c) : kColorNormalText;
            lines.push_back(Line{e->text, ++n, colour, 0, false});
        }
    } else if (source.window && source.list) {
        std::vector<std::string> items;
        std::vector<int> colours;
        buffer_list_items(source.window, items, &colours);
        long long n = 0;
        for (std::size_t k = 0; k < items.size(); ++k)
            lines.push_back(Line{items[k], ++n, static_cast<std::uint32_t>(colours[k]), 0, false});
    } else if (source.window) {
        window_lines(source.window, lines);
    } else if (source.control) {
        std::vector<std::string> items;
        dialog_control_lines(source.dialog, *source.control, items);
        long long n = 0;
        for (std::string& item : items)
            lines.push_back(Line{std::move(item), ++n, kColorNormalText, 0, false});
    }
    const bool keep_empty = st.match == "\r\n";
    if (keep_empty)
        st.match.clear();
    std::vector<Line> kept;
    kept.reserve(lines.size());
    for (Line& line : lines) {
        if (st.range && (line.number < st.first || line.number > st.last))
            continue;
        if (line.text.empty() && !keep_empty)
            continue;
        if (!matches(st, line.text))
            continue;
        kept.push_back(std::move(line));
    }
    if (st.sort_column || !st.sort_alias.empty()) {
        for (Line& l : kept)
            if (st.sort_column)
                set_column(st, l);
            else
                l.has_column = true;
        std::stable_sort(kept.begin(), kept.end(), [&](const Line& a, const Line& b) {
            const int c = compare(st, a, b);
            return st.reverse ? c > 0 : c < 0;
        });
    }
    Writer out{st, target};
    if (!out.open())
        return script_error(nullptr, word, target.path, 4);
    for (const Line& l : kept)
        out.write(l);
    out.close();
    if (call.run && call.run->slot_c)
        *call.run->slot_c = static_cast<int>(out.written);
    if (out.failed)
        return script_error(nullptr, word, target.path, 14);
    return kScriptDone;
}

void filter_command_register()
{
    script_register_command_family("cmd_filter", cmd_filter);
}
