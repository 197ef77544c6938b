// /loadbuf fills a window or its list box from a text file (whole, a range
// of lines, the last lines, or one ini section); /savebuf writes a window's
// lines or list items to a file inside the settings or log folder.
#include "commands/window_commands.h"

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "app/window_record.h"
#include "commands/command_conn.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/colors.h"
#include "display/logging.h"
#include "display/window_lines.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

namespace {

struct Range {
    int from = 0;  // first line (from 1); 0: the whole file
    int to = 0;    // last line; 0 with last_n
    int last_n = 0;
};

// "N" (the last N lines) or "N-M"; false when the argument is no range.
bool parse_range(const std::string& s, Range* r)
{
    if (s.empty() || !std::isdigit(static_cast<unsigned char>(s[0])))
        return false;
    const std::size_t dash = s.find('-');
    const long long a = std::strtoll(s.c_str(), nullptr, 10);
    if (dash == std::string::npos) {
        r->last_n = static_cast<int>(std::min<long long>(a, 0x7fffffff));
        return true;
    }
    const long long b = std::strtoll(s.c_str() + dash + 1, nullptr, 10);
    r->from = static_cast<int>(std::min<long long>(std::max<long long>(a, 1), 0x7fffffff));
    r->to = static_cast<int>(std::min<long long>(b, 0x7fffffff));
    return true;
}

// A file argument: the rest of the tokens, quotes allowed, at most 1,024.
std::string file_argument(const std::vector<std::string>& t, std::size_t from)
{
    std::string name;
    for (std::size_t i = from; i < t.size(); ++i)
        name += (i > from ? " " : "") + t[i];
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    if (name.size() > kMediumText)
        name.resize(kMediumText);
    return name;
}

WindowRecord* named_window(const std::string& name, Connection* conn)
{
    return window_command_target(name, conn);
}

bool loadable(const WindowRecord* rec)
{
    if (rec->type == kWinCustom)
        return !rec->picture || rec->subtype != 0;
    return rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery;
}

bool saveable(const WindowRecord* rec)
{
    if (rec->type == kWinCustom)
        return !rec->picture;
    return rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery ||
           rec->type == kWinFinger || rec->type == kWinLinks;
}

// Reads one line (up to 4,150 characters kept; the rest of a longer line is
// skipped) without its line end. False at the end of the file.
bool read_line(std::FILE* f, std::string& out)
{
    out.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(f)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (out.size() < kLongText)
            out.push_back(static_cast<char>(c));
    }
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n'))
        out.pop_back();
    return any;
}

bool is_section_header(const std::string& line)
{
    return ini_is_section_line(line.c_str()) != 0;
}

} // namespace

int cmd_loadbuf(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "loadbuf";
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    Range range;
    if (i < t.size() && parse_range(t[i], &range))
        ++i;
    int colour = -1, evaluate = 0, skip_failed = 0, indent = 0, side = 0, no_stamp = 0, log = 0,
        p_flag = 0, reset = 0;
    std::string section;
    bool has_section = false;
    WindowRecord* rec = nullptr;
    bool chosen = false;
    if (i < t.size() && t[i].size() > 1 && t[i][0] == '-') {
        const std::string& s = t[i];
        for (std::size_t k = 1; k < s.size(); ++k) {
            switch (s[k]) {
            case 'a':
                rec = win_record_of(call.window);
                if (!rec)
                    rec = win_find_by_type(kWinStatus, conn);
                chosen = true;
                break;
            case 's': rec = win_find_by_type(kWinStatus, conn); chosen = true; break;
            case 'g': rec = win_find_by_type(kWinFinger, nullptr); chosen = true; break;
            case 'c': {
                std::size_t j = k + 1;
                bool negative = j < s.size() && s[j] == '-';
                if (negative)
                    ++j;
                long long v = 0;
                bool any = false;
                while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
                    v = std::min<long long>(v * 10 + (s[j] - '0'), 0x7fffffff);
                    ++j;
                    any = true;
                }
                k = j - 1;
                colour = (!any || negative) ? -1 : color_resolve(static_cast<std::uint32_t>(v));
                break;
            }
            case 'e': evaluate = 1; break;
            case 'h': skip_failed = 1; break;
            case 'i': {
                long long v = 0;
                bool any = false;
                while (k + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[k + 1]))) {
                    v = std::min<long long>(v * 10 + (s[++k] - '0'), 1000);
                    any = true;
                }
                indent = any ? static_cast<int>(std::min<long long>(v, 50)) : 2;
                break;
            }
            case 'l': side = 1; break;
            case 'm': no_stamp = 1; break;
            case 'n': log = 1; break;
            case 'o': return script_error(nullptr, w, {}, 7);  // no script dialogs here
            case 'p': p_flag = 1; break;
            case 'r': reset = 1; break;
            case 't':
                section = s.substr(k + 1);
                has_section = true;
                k = s.size();
                break;
            default: break;
            }
        }
        ++i;
        if (chosen && !rec)
            return script_error(nullptr, w, {}, 7);
    }
    if (!chosen) {
        if (i >= t.size())
            return script_error(nullptr, w, {}, 0);
        const std::string& name = t[i];
        rec = named_window(name, conn);
        if (!rec) {
            if (!name.empty() && name[0] == '=' && name.size() > 1)
                return script_error(nullptr, script_text(833), {}, 6);
            return script_error(nullptr, w, {}, 7);
        }
        ++i;
    }
    if (!rec->hwnd.get() || !loadable(rec))
        return script_error(nullptr, w, {}, 7);
    const std::string name = file_argument(t, i);
    if (name.empty())
        return script_error(nullptr, w, {}, 0);
    std::string path;
    if (!file_resolve_file_path(name, path) || file_is_device(path))
        return script_error(nullptr, w, {}, 3);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return script_error(nullptr, w, name, 4);
    struct Closer {
        std::FILE* f;
        ~Closer() { std::fclose(f); }
    } closer{f};

    // The lines wanted, in order (the last N need the whole file read).
    std::vector<std::string> lines;
    std::deque<std::string> tail;
    std::string line;
    if (has_section) {
        bool found = false;
        while (read_line(f, line)) {
            if (line.size() >= section.size() + 2 && line[0] == '[' &&
                text_equal_nocase(std::string_view(line).substr(1, section.size()), section) &&
                line[section.size() + 1] == ']') {
                found = true;
                break;
            }
        }
        if (!found)
            return script_error(nullptr, w, {}, 3);
    }
    int number = 0;
    std::size_t pending_empty = 0;
    while (read_line(f, line)) {
        if (has_section && is_section_header(line))
            break;
        ++number;
        if (range.to && number > range.to)
            break;
        if (range.from && number < range.from)
            continue;
        if (has_section && line.empty()) {
            ++pending_empty;  // kept only when a line with text follows
            continue;
        }
        for (; pending_empty > 0; --pending_empty) {
            if (range.last_n) {
                tail.push_back(std::string());
                if (static_cast<int>(tail.size()) > range.last_n)
                    tail.pop_front();
            } else {
                lines.push_back(std::string());
            }
        }
        if (range.last_n) {
            tail.push_back(line);
            if (static_cast<int>(tail.size()) > range.last_n)
                tail.pop_front();
        } else {
            lines.push_back(line);
        }
    }
    if (range.last_n)
        lines.assign(tail.begin(), tail.end());

    const bool list = rec->type == kWinCustom && (rec->subtype == 1 || (side && rec->subtype == 2));
    if (reset) {
        if (list)
            wl_list_clear(rec);
        if (!list || rec->subtype != 2)
            win_clear_buffer(rec, 0);
    }
    const int at_bottom = wl_text_at_bottom(rec);
    QWidget* hwnd = rec->hwnd.get();
    for (std::string& text : lines) {
        if (text.empty())
            text.assign(1, ' ');
        if (evaluate && text.find_first_of("#$%") != std::string::npos) {
            std::string* r = ident_eval_text(hwnd, &text, nullptr, nullptr, 0, call.depth, -1,
                                            call.script, conn);
            if (!r && skip_failed)
                continue;
        }
        if (list) {
            wl_list_insert(rec, 0, text, colour >= 0 ? static_cast<std::uint32_t>(colour) : kColorListboxText);
            continue;
        }
        const std::uint32_t c = colour >= 0 ? static_cast<std::uint32_t>(colour) : kColorNormalText;
        if (!wl_text_add(rec, text, c, rec->custom_request.sorted_list, p_flag, indent))
            return script_error(nullptr, w, {}, 2);
        if (log && rec->logging)
            log_write_line(rec, text, no_stamp, c);
    }
    if (list) {
        wl_list_select(rec, 1, 3);
    } else {
        wl_text_changed(rec, at_bottom, 1);
    }
    return 1;
}

int cmd_savebuf(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "savebuf";
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    int append = 0, side = 0;
    WindowRecord* rec = nullptr;
    bool chosen = false;
    if (i < t.size() && t[i].size() > 1 && t[i][0] == '-') {
        const std::string& s = t[i];
        for (std::size_t k = 1; k < s.size(); ++k) {
            switch (s[k]) {
            case 's': rec = win_find_by_type(kWinStatus, conn); chosen = true; break;
            case 'g': rec = win_find_by_type(kWinFinger, nullptr); chosen = true; break;
            case 'o': return script_error(nullptr, w, {}, 7);  // no script dialogs here
            case 'a': append = 1; break;
            case 'l': side = 1; break;
            default: break;
            }
        }
        ++i;
        if (chosen && !rec)
            return script_error(nullptr, w, {}, 7);
    }
    Range range;
    if (i < t.size() && parse_range(t[i], &range))
        ++i;
    if (!chosen) {
        if (i >= t.size())
            return script_error(nullptr, w, {}, 0);
        const std::string& name = t[i];
        rec = named_window(name, conn);
        if (!rec) {
            if (!name.empty() && name[0] == '=' && name.size() > 1)
                return script_error(nullptr, script_text(926), {}, 6);
            return script_error(nullptr, w, {}, 7);
        }
        ++i;
    }
    if (!rec->hwnd.get() || !saveable(rec))
        return script_error(nullptr, w, {}, 7);
    const std::string name = file_argument(t, i);
    if (name.empty())
        return script_error(nullptr, w, {}, 0);
    // Written only inside the settings folder or the log folder.
    std::string path;
    if (!file_resolve_file_path(name, path) || file_is_device(path) ||
        (!file_path_is_inside(path, settings_dir) && !file_path_is_inside(path, log_folder())))
        return script_error(nullptr, w, {}, 3);

    // The lines: list items, or the text window's display lines.
    std::vector<std::string> lines;
    const bool list = rec->type == kWinCustom && (rec->subtype == 1 || (side && rec->subtype == 2));
    if (list) {
        const int n = wl_list_count(rec);
        for (int k = 1; k <= n; ++k)
            lines.push_back(wl_list_text(rec, k));
    } else {
        for (const StringNode* p = rec->lines; p; p = p->next)
            lines.push_back(p->text);
    }
    std::size_t first = 0, last = lines.size();
    if (range.last_n) {
        first = lines.size() > static_cast<std::size_t>(range.last_n) ? lines.size() - range.last_n : 0;
    } else if (range.from) {
        first = static_cast<std::size_t>(range.from - 1);
        last = std::min(last, static_cast<std::size_t>(std::max(range.to, 0)));
    }
    std::FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (!f)
        return script_error(nullptr, w, name, 4);
    for (std::size_t k = first; k < last; ++k) {
        std::fwrite(lines[k].data(), 1, lines[k].size(), f);
        std::fputc('\n', f);
    }
    std::fclose(f);
    return 1;
}
