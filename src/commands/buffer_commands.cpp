#include "commands/buffer_commands.h"
#include "display/logging.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "display/window_buffer.h"
#include "display/window_lines.h"
#include "script/exec/script_types.h"

namespace {

constexpr std::size_t kMaxFile = 1024;
constexpr std::size_t kMaxLine = 4150;

enum ErrorType { kTooFew = 0, kNoMemory = 2, kInvalid = 3, kCannotOpen = 4, kBadWindow = 7 };

int fail(CommandCall& call, int type, const std::string& extra = std::string())
{
    return script_error(nullptr, call.tokens.empty() ? "" : call.tokens[0], extra, type);
}

// A line range "N" (the last N lines) or "N-M" (lines N to M, from 1).
struct Range {
    int last = 0;    // N > 0: the last N lines
    int from = 0;    // from..to when from > 0 (to 0: to the end)
    int to = 0;
};

bool parse_range(const std::string& text, Range& r)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos) {
        r.last = std::atoi(text.c_str());
    } else {
        r.from = std::atoi(text.substr(0, dash).c_str());
        r.to = dash + 1 < text.size() ? std::atoi(text.c_str() + dash + 1) : 0;
    }
    return true;
}

// The lines of the range among `total`: [first, last] 0-based, empty when
// first > last.
void range_bounds(const Range& r, int total, int& first, int& last)
{
    first = 0;
    last = total - 1;
    if (r.last > 0) {
        first = std::max(0, total - r.last);
    } else if (r.from > 0) {
        first = r.from - 1;
        if (r.to > 0)
            last = std::min(last, r.to - 1);
    }
}

// The file argument: the rest of the arguments joined (a quoted name may
// hold blanks), quotes removed, made absolute in the settings folder.
bool file_argument(CommandCall& call, std::size_t index, std::string& path)
{
    std::string name;
    for (std::size_t i = index; i <= call.argc(); ++i) {
        if (!name.empty())
            name += ' ';
        name += call.arg(i);
    }
    text_strip_quotes(name);
    if (name.empty())
        return false;
    if (name.size() > kMaxFile)
        name.resize(kMaxFile);
    path = name;
    file_abs_settings_dir(path);
    return true;
}

bool text_target(const WindowRecord* rec)
{
    return rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery ||
           (rec->type == kWinCustom && rec->subtype != 1 && !rec->picture);
}

// The window a name or "=nick" names; 0 and the error reported when none.
WindowRecord* named_window(CommandCall& call, const std::string& name, Connection* conn,
                           int missing_chat_text)
{
    if (!name.empty() && name[0] == '=') {
        script_error(nullptr, std::string(text_load_string(missing_chat_text)), "", 6);
        return nullptr;
    }
    WindowRecord* rec = win_find_by_name(name, conn);
    if (!rec)
        fail(call, kBadWindow);
    return rec;
}

}  // namespace

int cmd_savebuf(CommandCall& call)
{
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    std::string switches;
    if (i <= call.argc() && call.arg(i).size() > 1 && call.arg(i)[0] == '-')
        switches = call.arg(i++).substr(1);
    Range range;
    if (i <= call.argc() && parse_range(call.arg(i), range))
        ++i;
    const bool append = switches.find('a') != std::string::npos;
    const bool side_list = switches.find('l') != std::string::npos;
    WindowRecord* rec = nullptr;
    if (switches.find('s') != std::string::npos) {
        rec = win_find_by_type(kWinStatus, conn);
        if (!rec)
            return fail(call, kBadWindow);
    } else if (switches.find('g') != std::string::npos) {
        rec = win_find_by_type(kWinFinger, nullptr);
        if (!rec)
            return fail(call, kBadWindow);
    } else if (switches.find('o') != std::string::npos) {
        return fail(call, kInvalid);   // no script dialogs here
    } else {
        if (i > call.argc())
            return fail(call, kTooFew);
        rec = named_window(call, call.arg(i++), conn, 926);
        if (!rec)
            return 0;
    }
    const bool list = (rec->type == kWinCustom && rec->subtype == 1) || (side_list && rec->type == kWinCustom && rec->subtype == 2);
    if (!list && !text_target(rec) && rec->type != kWinFinger && rec->type != kWinLinks)
        return fail(call, kBadWindow);
    if (rec->picture)
        return fail(call, kBadWindow);
    if (i > call.argc())
        return fail(call, kTooFew);
    std::string path;
    if (!file_argument(call, i, path))
        return fail(call, kInvalid);
    std::vector<std::string> items;
    if (list)
        buffer_list_items(rec, items);
    std::FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
    if (!f)
        return fail(call, kCannotOpen, path);
    // Text windows write their display lines; the line marker is not text.
    int total = 0;
    if (list)
        total = static_cast<int>(items.size());
    else
        for (const StringNode* n = rec->lines; n; n = n->next)
            total += line_is_marker(n) ? 0 : 1;
    int first = 0, last = 0;
    range_bounds(range, total, first, last);
    int index = 0;
    bool ok = true;
    if (list) {
        for (int k = first; k <= last && ok; ++k)
            ok = std::fprintf(f, "%s\n", items[static_cast<std::size_t>(k)].c_str()) >= 0;
    } else {
        for (const StringNode* n = rec->lines; n && index <= last && ok; n = n->next) {
            if (line_is_marker(n))
                continue;
            if (index >= first)
                ok = std::fwrite(n->text.data(), 1, n->text.size(), f) == n->text.size() &&
                     std::fputc('\n', f) != EOF;
            ++index;
        }
    }
    if (std::fclose(f) != 0 || !ok)
        return fail(call, kCannotOpen, path);
    return 1;
}

int cmd_loadbuf(CommandCall& call)
{
    Connection* conn = conn_of(call);
    std::size_t i = 1;
    Range range;
    if (i <= call.argc() && parse_range(call.arg(i), range))
        ++i;
    int colour = -1, indent = 0;
    bool active = false, status = false, finger = false, eval = false, skip_failed = false,
         side_list = false, log = false, no_stamp = false, dialog = false, wrap = false,
         clear = false;
    std::string section;
    bool has_section = false;
    while (i <= call.argc() && call.arg(i).size() > 1 && call.arg(i)[0] == '-') {
        const std::string& sw = call.arg(i++);
        for (std::size_t k = 1; k < sw.size(); ++k) {
            const char c = sw[k];
            auto number = [&](int def) {
                std::size_t e = k + 1;
                bool neg = e < sw.size() && sw[e] == '-';
                if (neg)
                    ++e;
                std::size_t s = e;
                while (e < sw.size() && std::isdigit(static_cast<unsigned char>(sw[e])))
                    ++e;
                int v = s < e ? std::atoi(sw.substr(s, e - s).c_str()) : def;
                k = e - 1;
                return neg ? -v : v;
            };
            switch (c) {
            case 'a': active = true; break;
            case 's': status = true; break;
            case 'g': finger = true; break;
            case 'c': colour = number(-1); break;
            case 'e': eval = true; break;
            case 'h': skip_failed = true; break;
            case 'i': indent = std::clamp(number(2), 0, 50); break;
            case 'l': side_list = true; break;
            case 'm': no_stamp = true; break;
            case 'n': log = true; break;
            case 'o': dialog = true; break;
            case 'p': wrap = true; break;
            case 'r': clear = true; break;
            case 't':
                section = sw.substr(k + 1);
                has_section = true;
                k = sw.size();
                break;
            default: break;
            }
        }
    }
    if (dialog)
        return fail(call, kInvalid);   // no script dialogs here
    WindowRecord* rec = nullptr;
    if (active || status) {
        if (active)
            rec = win_record_of(win_active.get());
        if (!rec)
            rec = win_find_by_type(kWinStatus, conn);
        if (!rec)
            return fail(call, kBadWindow);
    } else if (finger) {
        rec = win_find_by_type(kWinFinger, nullptr);
        if (!rec)
            return fail(call, kBadWindow);
    } else {
        if (i > call.argc())
            return fail(call, kTooFew);
        rec = named_window(call, call.arg(i++), conn, 833);
        if (!rec)
            return 0;
    }
    const bool list = (rec->type == kWinCustom && rec->subtype == 1) ||
                      (side_list && rec->type == kWinCustom && rec->subtype == 2);
    if (!list && !text_target(rec))
        return fail(call, kBadWindow);
    if (i > call.argc())
        return fail(call, kTooFew);
    std::string path;
    if (!file_argument(call, i, path))
        return fail(call, kInvalid);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return fail(call, kCannotOpen, path);

    // The lines to load, read whole first (a section or the file).
    std::vector<std::string> lines;
    {
        std::string line;
        int c;
        auto flush = [&]() {
            if (line.size() > kMaxLine)
                line.resize(kMaxLine);
            lines.push_back(line);
            line.clear();
        };
        while ((c = std::fgetc(f)) != EOF) {
            if (c == '\n')
                flush();
            else if (c != '\r')
                line += static_cast<char>(c);
        }
        if (!line.empty())
            flush();
        std::fclose(f);
    }
    if (has_section) {
        const std::string header = "[" + section + "]";
        std::size_t k = 0;
        while (k < lines.size() && !(lines[k].size() >= header.size() &&
                                     text_equal_nocase(std::string_view(lines[k]).substr(0, header.size()), header)))
            ++k;
        if (k == lines.size())
            return fail(call, kInvalid);
        std::size_t end = k + 1;
        while (end < lines.size() && !ini_is_section_line(lines[end].c_str()))
            ++end;
        std::vector<std::string> part(lines.begin() + static_cast<long>(k) + 1,
                                      lines.begin() + static_cast<long>(end));
        while (!part.empty() && part.back().empty())
            part.pop_back();
        lines.swap(part);
    }
    int first = 0, last = 0;
    range_bounds(range, static_cast<int>(lines.size()), first, last);

    if (clear)
        win_clear_buffer(rec, list ? 1 : 0);
    const int logging = rec->logging;
    const std::uint32_t line_colour =
        colour < 0 ? kColorNormalText : static_cast<std::uint32_t>(color_resolve(static_cast<std::uint32_t>(colour)));
    QWidget* hwnd = rec->hwnd.get();
    for (int k = first; k <= last; ++k) {
        std::string text = lines[static_cast<std::size_t>(k)];
        if (text.empty())
            text.assign(1, ' ');
        if (eval && text.find_first_of("#$%") != std::string::npos) {
            if (!ident_eval_text(hwnd, &text, nullptr, nullptr, 0, call.depth, -1, call.script, conn) &&
                skip_failed)
                continue;
            if (!win_is_record(rec))
                return 1;
        }
        if (list) {
            buffer_list_add(rec, text, colour);
            continue;
        }
        if (!line_new(rec, text.c_str(), 0, line_colour, wrap ? 1 : 0, indent, 1))
            return fail(call, kNoMemory);
        if (log && logging)
            log_write_line(rec, text, no_stamp ? 1 : 0, line_colour);
    }
    if (win_is_record(rec) && !list)
        buffer_view_to_end(rec);
    return 1;
}

void buffer_commands_register()
{
    script_register_command_family("cmd_savebuf", cmd_savebuf);
    script_register_command_family("cmd_loadbuf", cmd_loadbuf);
}
