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

// The list: "%c:%sURL:%s" entries (kind, description, address), sorted.
struct UrlList {
    std::vector<std::string> entries;
    std::string file = "urls.ini";
    bool changed = false;
    bool loaded = false;
};
UrlList urls;

constexpr std::size_t kMaxUrlEntries = 10000;

std::string address_of(const std::string& entry)
{
    const std::size_t at = entry.find("URL:");
    return at == std::string::npos ? std::string() : entry.substr(at + 4);
}

// The address compared without its scheme and trailing slashes.
std::string bare_address(std::string a)
{
    if (const std::size_t scheme = a.find("://"); scheme != std::string::npos)
        a.erase(0, scheme + 3);
    while (!a.empty() && a.back() == '/')
        a.pop_back();
    return a;
}

// The window line of an entry: " %c\t%s\tURL:%s".
std::string window_line(const std::string& entry)
{
    if (entry.size() < 2)
        return entry;
    const std::size_t at = entry.find("URL:");
    const std::string desc = at == std::string::npos ? entry.substr(2) : entry.substr(2, at - 2);
    return std::string(" ") + entry[0] + "\t" + desc + "\tURL:" + address_of(entry);
}

WindowRecord* url_window()
{
    return win_find_by_type(kWinUrls, nullptr);
}

void refill_window()
{
    WindowRecord* rec = url_window();
    if (!rec)
        return;
    wl_list_clear(rec);
    for (const std::string& e : urls.entries)
        wl_list_insert(rec, 0, window_line(e), kColorListboxText);
}

std::string list_path()
{
    std::string path = urls.file;
    file_abs_settings_dir(path);
    return path;
}

void load_list()
{
    urls.entries.clear();
    StringNode* list = ini_load_list_file(list_path(), "[urls]", 2, 0);
    for (StringNode* p = list; p && urls.entries.size() < kMaxUrlEntries; p = p->next)
        urls.entries.push_back(p->text);
    strlist_free(&list);
    std::sort(urls.entries.begin(), urls.entries.end());
    urls.loaded = true;
    urls.changed = false;
    refill_window();
}

void ensure_loaded()
{
    if (!urls.loaded)
        load_list();
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

int add_entry(char kind, const std::string& address_in, const std::string& description_in)
{
    ensure_loaded();
    const std::string address = address_in.substr(0, kMediumText);
    const std::string description =
        description_in.empty() ? address : description_in.substr(0, kMediumText);
    const std::string bare = bare_address(address);
    urls.entries.erase(std::remove_if(urls.entries.begin(), urls.entries.end(),
                                      [&](const std::string& e) {
                                          const std::string a = address_of(e);
                                          return a == address || bare_address(a) == bare;
                                      }),
                       urls.entries.end());
    if (urls.entries.size() >= kMaxUrlEntries)
        urls.entries.erase(urls.entries.begin());
    std::string entry = std::string(1, kind) + ":" + description + "URL:" + address;
    auto at = std::upper_bound(urls.entries.begin(), urls.entries.end(), entry);
    urls.entries.insert(at, entry);
    urls.changed = true;
    refill_window();
    return 1;
}

} // namespace

void url_list_save()
{
    if (!urls.loaded || !urls.changed)
        return;
    StringNode* list = nullptr;
    for (const std::string& e : urls.entries)
        list = strlist_append(list, std::string_view(e), 0);
    if (list)
        ini_save_list_file(list_path(), "[urls]", list);
    else
        ini_remove_section(list_path(), "[urls]");
    strlist_free(&list);
    urls.changed = false;
}

const std::vector<std::string>& url_list_entries()
{
    ensure_loaded();
    return urls.entries;
}

int url_catching()
{
    return opt(OPT_CATCH_URLS) ? 1 : 0;
}

void url_catch_text(std::string_view text, int /*flags*/, WindowRecord* /*rec*/)
{
    // Addresses are the words that begin with a known scheme or "www.".
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || static_cast<unsigned char>(text[i]) < 32))
            ++i;
        std::size_t end = i;
        while (end < text.size() && text[end] != ' ' && static_cast<unsigned char>(text[end]) >= 32)
            ++end;
        std::string word(text.substr(i, end - i));
        while (!word.empty() && std::string(".,;:!?)>\"'").find(word.back()) != std::string::npos)
            word.pop_back();
        const bool is_url = word.rfind("http://", 0) == 0 || word.rfind("https://", 0) == 0 ||
                            word.rfind("ftp://", 0) == 0 || word.rfind("www.", 0) == 0;
        if (is_url && word.size() > 7)
            add_entry(word.rfind("ftp", 0) == 0 ? 'f' : 'h', word, {});
        i = end;
    }
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
        ensure_loaded();
        WindowRecord* rec = url_window();
        if (!rec) {
            WindowOpenRequest request;
            request.name = "Urls List";
            request.type = kWinUrls;
            request.conn = conn_of(call);
            rec = win_record_of(win_open(request));
            refill_window();
        }
        if (rec)
            win_op_activate(rec->hwnd.get(), 1);
        return 1;
    }
    if (text_equal_nocase(first, "hide")) {
        if (WindowRecord* rec = url_window())
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
        return add_entry(t[i][0], t[i + 1], description);
    }
    case kDelete: {
        if (i >= t.size())
            return script_error(nullptr, w, {}, 0);
        ensure_loaded();
        for (std::size_t j = i; j < t.size(); ++j) {
            if (text_is_digits(t[j])) {
                const long long n = std::strtoll(t[j].c_str(), nullptr, 10);
                if (n >= 1 && n <= static_cast<long long>(urls.entries.size()))
                    urls.entries.erase(urls.entries.begin() + (n - 1));
            } else {
                const char kind = t[j][0];
                urls.entries.erase(std::remove_if(urls.entries.begin(), urls.entries.end(),
                                                  [&](const std::string& e) { return !e.empty() && e[0] == kind; }),
                                   urls.entries.end());
            }
        }
        urls.changed = true;
        refill_window();
        return 1;
    }
    case kLoad: {
        if (i < t.size()) {
            const std::string path = url_file(t, i);
            if (path.empty())
                return script_error(nullptr, w, {}, 3);
            if (!file_exists(path, 1))
                return script_error(nullptr, w, path, 1);
            urls.file = path;
        }
        load_list();
        return 1;
    }
    case kSave: {
        ensure_loaded();
        if (i < t.size()) {
            const std::string path = url_file(t, i);
            if (path.empty())
                return script_error(nullptr, w, {}, 3);
            urls.file = path;
        }
        urls.changed = true;
        url_list_save();
        if (WindowRecord* rec = url_window())
            win_op_set_title(rec->hwnd.get(), "Urls List " + urls.file);
        return 1;
    }
    default:
        break;
    }
    // Open: the text after the command word (or the switch token).
    std::string address;
    for (std::size_t j = i; j < t.size(); ++j)
        address += (j > i ? " " : "") + t[j];
    (void)open_new_window;
    (void)activate;
    url_open_address(address);
    return 1;
}

namespace {

int g_printed_id = 0;

void url_after_print(const LinePrinted& line)
{
    if (line.event == kPrintCaught)
        url_catch_text(line.text, line.url_flags, line.rec);
}

}  // namespace

void url_catch_install()
{
    line_printed.add_once(g_printed_id, kPrintedUrls, url_after_print);
}

void url_catch_uninstall()
{
    line_printed.drop(g_printed_id);
}
