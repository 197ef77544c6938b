// /url: the URL catcher's switch, the list of caught addresses with its
// window and file, and opening an address through the desktop.
#include "commands/window_commands.h"
#include "model/line_buffer.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
#include "commands/output_commands.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/window_lines.h"
#include "core/main_settings.h"
#include "tools/url_catcher.h"
#include "tools/url_list_window.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

namespace {

// The text without blanks at either end.
std::string trimmed(std::string_view s)
{
    const std::size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos)
        return {};
    return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

// A file named by /url load or save: quotes allowed; it stays in the
// settings folder. Empty when unusable.
std::string url_file(const std::vector<std::string>& t, std::size_t from)
{
    std::string name;
    for (std::size_t i = from; i < t.size(); ++i)
        name += (i > from ? " " : "") + t[i];
    name = (trimmed(name));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.substr(1, name.size() - 2);
    if (name.empty() || name.size() > kMediumText)
        return {};
    std::string path;
    if (!file_resolve_file_path(name, path) || !file_path_is_inside(path, settings_dir))
        return {};
    return path;
}

void info(QWidget* window, const std::string& text)
{
    if (output_print)
        output_print(window, colour_item_value(kItemInfoText), text, EchoPrintOptions{}, kOutputEcho);
}

} // namespace

int url_catching()
{
    return opt(OPT_CATCH_URLS) ? 1 : 0;
}

int cmd_url(CommandCall& call)
{
    const auto& t = call.tokens;
    const char* w = "url";
    if (t.size() < 2)
        return 1;
    const std::string& first = t[1];
    enum { kNone, kAdd, kDelete, kLoad, kSave } form = kNone;
    bool open_new_window = true, activate = false;
    std::size_t i = 2;
    if (text_equal_nocase(first, "on") || text_equal_nocase(first, "off")) {
        opt_set(OPT_CATCH_URLS, text_equal_nocase(first, "on") ? 1 : 0);
        if (call.show)
            info(call.window, script_text(url_catching() ? 962 : 963));
        return 1;
    }
    if (text_equal_nocase(first, "show")) {
        url_list_open();
        return 1;
    }
    if (text_equal_nocase(first, "hide")) {
        if (WindowRecord* rec = url_list_window())
            win_op_close(rec->hwnd.get());
        return 1;
    }
    if (text_equal_nocase(first, "add"))
        form = kAdd;
    else if (text_equal_nocase(first, "delete"))
        form = kDelete;
    else if (text_equal_nocase(first, "load"))
        form = kLoad;
    else if (text_equal_nocase(first, "save"))
        form = kSave;
    else if (first.size() > 1 && first[0] == '-') {
        auto has = [&](char c) { return first.find(c) != std::string::npos; };
        if (has('i'))
            form = kAdd;
        else if (has('r'))
            form = kDelete;
        else if (has('l'))
            form = kLoad;
        else if (has('s'))
            form = kSave;
        open_new_window = !has('n');
        activate = has('a');
    } else {
        i = 1;
    }

    switch (form) {
    case kAdd: {
        if (i >= t.size() || i + 1 >= t.size())
            return script_error(nullptr, w, {}, 0);
        std::string description;
        for (std::size_t j = i + 2; j < t.size(); ++j)
            description += (j > i + 2 ? " " : "") + t[j];
        const std::string address = t[i + 1].substr(0, kMediumText);
        if (!url_set_entry(t[i][0], description.substr(0, kMediumText), address))
            return script_error(nullptr, w, {}, 1);
        return 1;
    }
    case kDelete: {
        if (i >= t.size())
            return script_error(nullptr, w, {}, 0);
        for (std::size_t j = i; j < t.size(); ++j) {
            if (text_is_digits(t[j])) {
                const long long n = std::strtoll(t[j].c_str(), nullptr, 10);
                if (n >= 1 && n <= url_count())
                    url_remove(url_entry_at(static_cast<int>(n)));
            } else {
                const char kind = t[j][0];
                for (StringNode* p = main_settings.url_list; p;) {
                    StringNode* next = p->next;
                    if (!p->text.empty() && p->text[0] == kind)
                        url_remove(p);
                    p = next;
                }
            }
        }
        url_list_touch();
        return 1;
    }
    case kLoad: {
        if (i < t.size()) {
            const std::string path = url_file(t, i);
            if (path.empty())
                return script_error(nullptr, w, {}, 3);
            if (!file_exists(path, 1))
                return script_error(nullptr, w, path, 1);
            url_list_load(path);
            return 1;
        }
        url_list_load(url_list_file());
        return 1;
    }
    case kSave: {
        if (i < t.size()) {
            const std::string path = url_file(t, i);
            if (path.empty())
                return script_error(nullptr, w, {}, 3);
            main_settings.urls_file = path;
        }
        url_list_touch();
        url_save_list(0);
        if (WindowRecord* rec = url_list_window())
            win_op_set_title(rec->hwnd.get(), url_list_title());
        return 1;
    }
    default:
        break;
    }
    // Open: the text after the command word (or the switch token).
    std::string address;
    for (std::size_t j = i; j < t.size(); ++j)
        address += (j > i ? " " : "") + t[j];
    // Browsers take no window requests here: the desktop opens the address
    // in either case.
    (void)open_new_window;
    (void)activate;
    if (!address.empty())
        url_open(address, 1, 0);
    return 1;
}

