#include "tools/url_catcher.h"

#include <cctype>
#include <cstring>

#include "app/frame_proc.h"
#include "app/startup.h"
#include "bars/toolbar_buttons.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "display/address_open.h"
#include "model/line_buffer.h"
#include "tools/url_list_window.h"

namespace {

// One row of the prefix table: kind 1 a scheme, 2 a host name prefix, 4 an
// e-mail address; the flags say how an address is completed and opened.
struct UrlPrefix {
    const char* prefix;
    int kind;
    int flags;
};
enum UrlPrefixFlag : int {
    kOpenDirect = 0x02,      // the desktop opens it, no browser hand-over
    kAddMailto = 0x04,
    kAddHttp = 0x08,
    kAddFtp = 0x10,
    kDropSlashes = 0x20,     // up to two slashes or backslashes after the first ':'
    kTwoSlashes = 0x40,      // two slashes follow the first ':'
    kPassOn = 0x80,          // a web or FTP address the frame may open
};
extern const UrlPrefix kUrlPrefixes[];

int g_scanning = 0;       // a nested scan returns at once
bool g_changed = false;
int g_print_listener = 0;
int g_save_listener = 0;

std::string lowered(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool mail_char(unsigned char c)
{
    return std::isalnum(c) || c == '-' || c == '.' || c == '_';
}

// The end of a scheme or host address: a control character, a blank, ")",
// ">", "]", 127 or any byte above it.
bool ends_address(unsigned char c)
{
    return c < 32 || c == ' ' || c == ')' || c == '>' || c == ']' || c >= 127;
}

std::string without_trailing_slashes(std::string_view s)
{
    while (!s.empty() && (s.back() == '/' || s.back() == '\\'))
        s.remove_suffix(1);
    return std::string(s);
}

std::string after_scheme(std::string_view s)
{
    const std::size_t at = s.find("://");
    return std::string(at == std::string_view::npos ? std::string_view() : s.substr(at + 3));
}

// The address without its scheme and trailing slashes.
std::string bare_address(std::string_view s)
{
    const std::size_t at = s.find("://");
    if (at != std::string_view::npos)
        s.remove_prefix(at + 3);
    return without_trailing_slashes(s);
}

// The entry text as the sort (mode 11) sees it.
int compare_entries(const std::string& a, const std::string& b)
{
    StringNode na, nb;
    na.text = a;
    nb.text = b;
    return strlist_compare_urls(&na, &nb);
}

// Puts a new entry at its sorted place; its node.
StringNode* insert_sorted(const std::string& entry)
{
    StringNode* before = nullptr;
    for (StringNode* p = main_settings.url_list; p; p = p->next) {
        if (compare_entries(entry, p->text) < 0) {
            before = p;
            break;
        }
    }
    StringNode* one = strlist_append(nullptr, std::string_view(entry), 0);
    if (one)
        main_settings.url_list = strlist_splice(main_settings.url_list, before, one);
    return one;
}

int position_of(const StringNode* node)
{
    int n = 1;
    for (StringNode* p = main_settings.url_list; p; p = p->next, ++n)
        if (p == node)
            return n;
    return 0;
}

void after_print(const LinePrinted& line)
{
    if (line.event != kPrintCaught)
        return;
    url_catch(line.text, line.url_flags, print_options.message);
}

void save_at_exit()
{
    url_save_list(opt(OPT_URL_DELETE_ON_EXIT) ? 1 : 0);
}

}  // namespace

// ---- Entries ----

std::string url_entry_address(std::string_view entry)
{
    const std::size_t at = entry.find("URL:");
    return at == std::string_view::npos ? std::string() : std::string(entry.substr(at + 4));
}

std::string url_entry_description(std::string_view entry)
{
    if (entry.size() <= 2)
        return {};
    const std::size_t at = entry.find("URL:", 2);
    return std::string(entry.substr(2, at == std::string_view::npos ? std::string_view::npos : at - 2));
}

char url_entry_state(std::string_view entry)
{
    const std::size_t a = entry.find_first_not_of(' ');
    return a == std::string_view::npos ? '?' : entry[a];
}

std::string url_entry_line(std::string_view entry)
{
    return std::string(" ") + url_entry_state(entry) + "\t" + url_entry_description(entry) + "\tURL:" +
           url_entry_address(entry);
}

StringNode* url_find(std::string_view text, int exact)
{
    const std::string want = lowered(without_trailing_slashes(text));
    if (want.empty())
        return nullptr;
    for (StringNode* p = main_settings.url_list; p; p = p->next) {
        const std::string have = lowered(without_trailing_slashes(url_entry_address(p->text)));
        if (have == want)
            return p;
        if (!exact) {
            const std::string bare = without_trailing_slashes(after_scheme(have));
            if (!bare.empty() && bare == want)
                return p;
        }
    }
    return nullptr;
}

StringNode* url_entry_at(int n)
{
    StringNode* p = main_settings.url_list;
    for (int i = 1; p && i < n; ++i)
        p = p->next;
    return n >= 1 ? p : nullptr;
}

std::vector<std::string> url_list_entries()
{
    std::vector<std::string> out;
    for (StringNode* p = main_settings.url_list; p; p = p->next)
        out.push_back(p->text);
    return out;
}

int url_count()
{
    return strlist_count(main_settings.url_list);
}

int url_set_entry(char state, const std::string& description, const std::string& address,
                  const std::string& old_address)
{
    if (address.empty())
        return 0;
    // An entry of the same address, also without scheme and trailing
    // slashes, gives way to the new one.
    const std::string bare = lowered(bare_address(address));
    const std::string old_bare = lowered(bare_address(old_address));
    for (StringNode* p = main_settings.url_list; p;) {
        StringNode* next = p->next;
        const std::string have = lowered(bare_address(url_entry_address(p->text)));
        if (have == bare || (!old_address.empty() && have == old_bare))
            url_remove(p);
        p = next;
    }
    if (url_count() >= kUrlListMax)
        return 0;
    const std::string entry = std::string(1, state ? state : '?') + ":" +
                              (description.empty() ? address : description) + "URL:" + address;
    StringNode* node = insert_sorted(entry);
    if (!node)
        return 0;
    g_changed = true;
    url_list_window_inserted(position_of(node), node->text);
    return 1;
}

int url_add(const std::string& address)
{
    if (address.empty() || url_count() >= kUrlListMax)
        return 0;
    StringNode* node = insert_sorted("?:" + address + "URL:" + address);
    if (!node)
        return 0;
    g_changed = true;
    url_list_window_inserted(position_of(node), node->text);
    if (!url_list_window_in_view())
        toolbar_show_urls_state(1);
    return 1;
}

void url_remove(StringNode* entry)
{
    const int n = position_of(entry);
    if (!n)
        return;
    url_list_window_removed(n);
    main_settings.url_list = strlist_remove(main_settings.url_list, entry);
    g_changed = true;
}

void url_list_touch()
{
    g_changed = true;
}

void url_list_sort()
{
    main_settings.url_list = strlist_sort(main_settings.url_list, 11);
}

const std::string& url_list_file()
{
    if (main_settings.urls_file.empty()) {
        main_settings.urls_file = "urls.ini";
        file_abs_settings_dir(main_settings.urls_file);
    }
    return main_settings.urls_file;
}

void url_save_list(int forget)
{
    if (forget) {
        for (StringNode* p = main_settings.url_list; p;) {
            StringNode* next = p->next;
            if (url_entry_state(p->text) == '?')
                main_settings.url_list = strlist_remove(main_settings.url_list, p);
            p = next;
        }
    } else if (!g_changed) {
        return;
    }
    const std::string& path = url_list_file();
    if (main_settings.url_list)
        ini_save_list_file(path, "[urls]", main_settings.url_list);
    else
        ini_remove_section(path, "[urls]");
    g_changed = false;
}

void url_list_load(const std::string& path)
{
    main_settings.urls_file = path;
    strlist_free(&main_settings.url_list);
    StringNode* list = ini_load_list_file(url_list_file(), "[urls]", 2, 0);
    // A file bigger than the list may hold keeps its first entries.
    int n = 0;
    for (StringNode* p = list; p && n < kUrlListMax; p = p->next, ++n)
        main_settings.url_list = strlist_append(main_settings.url_list, std::string_view(p->text), 0);
    strlist_free(&list);
    url_list_sort();
    g_changed = false;
    url_list_refill(std::string());
}

// ---- Catching ----

int url_catch(std::string_view line, int flags, int message, std::string* first)
{
    if (first)
        first->clear();
    if (g_scanning)
        return 0;
    const bool urls_on = opt(OPT_CATCH_URLS) || (flags & 2);
    const bool mail_wanted = opt(OPT_CATCH_EMAIL) && message;
    // Every printed line comes here: with nothing to catch, no copy is made.
    if (!urls_on && !mail_wanted)
        return 0;
    std::string low = lowered(line);
    const bool mail_on = mail_wanted && low.find("mail") != std::string::npos;
    if (!urls_on && !mail_on)
        return 0;
    g_scanning = 1;
    int found = 0;
    bool stop = false;
    for (const UrlPrefix* row = kUrlPrefixes; row->prefix[0] && !stop; ++row) {
        if (row->kind == 4 ? !mail_on : !urls_on)
            continue;
        const std::size_t plen = std::strlen(row->prefix);
        std::size_t from = 0;
        while (!stop) {
            const std::size_t at = low.find(row->prefix, from);
            if (at == std::string::npos)
                break;
            std::size_t start = at, end = at + plen;
            bool fits;
            if (row->kind == 4) {
                if (at == 0) {
                    from = at + 1;
                    continue;
                }
                while (end < low.size() && mail_char(static_cast<unsigned char>(low[end])))
                    ++end;
                while (start > 0 && (mail_char(static_cast<unsigned char>(low[start - 1])) || low[start - 1] == 3))
                    --start;
                fits = end - start > 5 && end - start <= 100;
            } else {
                while (end < low.size() && !ends_address(static_cast<unsigned char>(low[end])))
                    ++end;
                if (end > at && low[end - 1] == '.')
                    --end;
                if (end > at && low[end - 1] == ',')
                    --end;
                fits = end - start > plen + 3 && end - start <= 200;
            }
            if (fits) {
                std::string address(line.substr(start, end - start));
                text_strip_codes(address, 31);
                if (!address.empty() && !(row->kind == 4 && address.front() == '@')) {
                    if ((flags & 2) && first && first->empty())
                        *first = address;
                    if ((flags & 1) && !url_find(address, 0) && !url_add(address))
                        stop = true;  // the list is full
                    if ((flags & 4) && (row->flags & kPassOn) && (message == 1 || message == 3)) {
                        // The frame opens it as the opener completes it.
                        if (const std::string opened = url_open_form(address); !opened.empty())
                            frame_queue_url(opened);
                    }
                    found = 1;
                }
            }
            // The span is blanked so that later rows do not find it again;
            // a refused span too, so that no part of it is caught on its own.
            for (std::size_t i = start; i < end; ++i)
                low[i] = ' ';
            from = end > at ? end : at + 1;
        }
    }
    g_scanning = 0;
    return found;
}

// ---- Opening ----

std::string url_open_form(const std::string& address)
{
    if (address.empty())
        return {};
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (address[i] != '%')
            continue;
        if (i + 2 >= address.size() || !std::isxdigit(static_cast<unsigned char>(address[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(address[i + 2])) ||
            (address[i + 1] == '0' && address[i + 2] == '0'))
            return {};
    }
    const std::string low = lowered(address);
    int flags = 0;
    for (const UrlPrefix* row = kUrlPrefixes; row->prefix[0]; ++row) {
        const std::size_t plen = std::strlen(row->prefix);
        if (row->kind == 1 && low.compare(0, plen, row->prefix) == 0) {
            flags = row->flags;
            break;
        }
        if (row->kind == 2 && low.compare(0, plen, row->prefix) == 0) {
            // A host prefix fits only when a "." follows it.
            if (low.find('.', plen) != std::string::npos)
                flags = row->flags;
            break;
        }
        if (row->kind == 4 && low.find('@') != std::string::npos) {
            flags = row->flags;
            break;
        }
    }
    std::string out = address;
    const std::size_t colon = out.find(':');
    if ((flags & kDropSlashes) && colon != std::string::npos) {
        for (int i = 0; i < 2 && colon + 1 < out.size() && (out[colon + 1] == '/' || out[colon + 1] == '\\'); ++i)
            out.erase(colon + 1, 1);
    }
    if ((flags & kTwoSlashes) && colon != std::string::npos) {
        std::size_t have = 0;
        while (have < 2 && colon + 1 + have < out.size() && out[colon + 1 + have] == '/')
            ++have;
        out.insert(colon + 1, 2 - have, '/');
    }
    if (flags & kAddHttp)
        out = "http://" + out;
    else if (flags & kAddFtp)
        out = "ftp://" + out;
    else if (flags & kAddMailto)
        out = "mailto:" + out;
    return out;
}

int url_open(const std::string& address_in, int /*mode*/, int warn)
{
    std::string address = url_open_form(address_in);
    if (address.empty())
        return 0;
    if (warn && main_settings.warn_link && lowered(address).rfind("mailto:", 0) != 0) {
        if (!url_link_warning_ask(address))
            return 0;
        address = url_open_form(address);
        if (address.empty())
            return 0;
    }
    // Browsers take no hand-over requests here: every address goes to the
    // desktop's handler (or the configured browser) alike.
    url_open_address(address);
    return 1;
}

std::string url_stored_page(int n)
{
    if (n != 2 && n != 3)
        return {};
    std::string address;
    ini_read("update", n == 2 ? "url2" : "url3", "", address, 1024, main_ini_path);
    return address;
}

int url_open_stored_page(int n)
{
    const std::string address = url_stored_page(n);
    if (address.empty()) {
        frame_say(std::string("* Cannot open ") + (n == 2 ? "the news page" : "the message board") +
                  ": no address is set");
        return 0;
    }
    return url_open(address, 1, 0);
}

void url_catcher_install()
{
    line_printed.add_once(g_print_listener, kPrintedUrls, after_print);
    shutdown_save.add_once(g_save_listener, kSaveUrlList, save_at_exit);
}

void url_catcher_uninstall()
{
    line_printed.drop(g_print_listener);
    shutdown_save.drop(g_save_listener);
}

namespace {

// The prefixes in the order they are tried; the row with an empty prefix ends it.
const UrlPrefix kUrlPrefixes[] = {
    {"aim:", 1, 0x22},     {"callto:", 1, 0x22}, {"ftp:", 1, 0xC1},   {"ftps:", 1, 0xC1},
    {"gopher:", 1, 0x02},  {"http:", 1, 0xC1},   {"https:", 1, 0xC1}, {"goim:", 1, 0x22},
    {"irc:", 1, 0x02},     {"mailto:", 1, 0x22}, {"msnim:", 1, 0x22}, {"news:", 1, 0x02},
    {"skype:", 1, 0x22},   {"telnet:", 1, 0x02}, {"ymsgr:", 1, 0x22}, {"www.", 2, 0x89},
    {"ftp.", 2, 0x91},     {"@", 4, 0x06},       {"", 0, 0},
};

}  // namespace
