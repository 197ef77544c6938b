#include "tools/address_book.h"

#include <cstdlib>
#include <string_view>

#include "core/files.h"
#include "core/main_settings.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "model/connection.h"
#include "script/exec/script_types.h"

Signal<void(Connection* conn)> abook_whois_ended;

namespace {

// The contacts file is read whole to be rewritten; a larger one is left
// alone rather than cut.
constexpr std::size_t kFileMax = 16u * 1024 * 1024;
constexpr long kMaxIndex = 9998;

struct WhoisState {
    int waiting = 0;
    Connection* conn = nullptr;
    WhoisInfo info;
};
WhoisState g_whois;

// The file's lines, each cut at 4150 characters, blank lines skipped.
std::vector<std::string> file_lines(const std::string& content)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < content.size()) {
        std::size_t end = content.find('\n', at);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kLongText) line.resize(kLongText);
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        out.push_back(std::move(line));
    }
    return out;
}

// A header line's section name ("[nick]", leading blanks allowed, the name
// up to the last ']'); false for any other line.
bool header_name(const std::string& line, std::string& name)
{
    const std::size_t a = line.find_first_not_of(" \t");
    if (a == std::string::npos || line[a] != '[') return false;
    const std::size_t close = line.rfind(']');
    if (close == std::string::npos || close <= a) return false;
    name = line.substr(a + 1, close - a - 1);
    return true;
}

int read_file(std::string& content)
{
    return file_read_all(abook_file_path(), content, kFileMax);
}

// A value is one line: line breaks become blanks.
std::string one_line(std::string v)
{
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    if (v.size() > kLongText - 16) v.resize(kLongText - 16);
    return v;
}

// The file without any section named `nick` (case ignored).
std::string without_section(const std::string& content, const std::string& nick)
{
    std::string out;
    bool skipping = false;
    std::size_t at = 0;
    while (at < content.size()) {
        std::size_t end = content.find('\n', at);
        const std::size_t next = end == std::string::npos ? content.size() : end + 1;
        std::string line = content.substr(at, next - at);
        at = next;
        std::string bare = line;
        while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) bare.pop_back();
        std::string name;
        if (header_name(bare, name)) skipping = text_equal_nocase(name, nick);
        if (!skipping) out += line;
    }
    // The section written next begins with its own blank line.
    while (out.size() >= 2 && out.compare(out.size() - 2, 2, "\n\n") == 0) out.pop_back();
    if (!out.empty() && out.back() != '\n') out += '\n';
    return out;
}

bool usable_nick(const std::string& nick)
{
    return !nick.empty() && nick.size() <= kShortText && nick.find_first_of("\r\n") == std::string::npos &&
           nick.find_first_not_of(" \t") != std::string::npos;
}

// ---- $abook( ----

long index_of(const std::string& text)
{
    const long n = std::strtol(text.c_str(), nullptr, 10);
    return n > kMaxIndex ? kMaxIndex : n;
}

bool is_integer(const std::string& t)
{
    std::size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    if (i >= t.size()) return false;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9') return false;
    return true;
}

std::string contact_property(const std::string& nick, std::string_view prop)
{
    ContactFields c;
    if (!abook_read_contacts(nick, c)) return {};
    const std::string p = text_lower_copy(prop);
    if (p == "nick") return c.nick;
    if (p == "info") return c.name;
    if (p == "email") return c.email;
    if (p == "website") return c.website;
    if (p == "ipaddr") return c.ipaddr;
    if (p == "picture") return c.picture;
    if (p.compare(0, 4, "note") == 0) {
        const long n = p.size() > 4 ? std::strtol(p.c_str() + 4, nullptr, 10) : 1;
        if (n < 1) return std::to_string(c.notes.size());
        return static_cast<std::size_t>(n) <= c.notes.size() ? c.notes[static_cast<std::size_t>(n - 1)] : std::string();
    }
    return {};
}

// $abook(N), $abook(mask), $abook(mask, N) with the properties .nick
// .info .email .website .ipaddr .noteN .picture.
int id_abook(IdentCall& call)
{
    const int r = ident_args_range(call, 1, 2, true);
    if (r >= 0) return r;
    std::string out;
    const std::vector<std::string> names = abook_read_contacts();
    const std::string& first = ident_arg(call, 0);
    std::string found;
    int position = 0;
    if (ident_arg_count(call) == 2) {
        const long n = index_of(ident_arg(call, 1));
        long matched = 0;
        for (const std::string& name : names)
            if (wild_match(first, name, 0, 1) && ++matched == n) { found = name; break; }
        if (n < 1) out = std::to_string(matched);
    } else if (is_integer(first)) {
        const long n = index_of(first);
        if (n < 1) out = std::to_string(names.size());
        else if (static_cast<std::size_t>(n) <= names.size()) found = names[static_cast<std::size_t>(n - 1)];
    } else {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (wild_match(first, names[i], 0, 1)) { found = names[i]; position = static_cast<int>(i) + 1; break; }
    }
    if (!found.empty()) {
        const std::string_view prop = ident_property(call);
        if (!prop.empty()) out = contact_property(found, prop);
        else out = position > 0 ? std::to_string(position) : found;
    }
    return ident_result(call, out);
}

}  // namespace

std::string abook_file_path()
{
    return main_settings.addrbk_file.empty() ? std::string("addrbk.ini") : main_settings.addrbk_file;
}

std::vector<std::string> abook_read_contacts()
{
    std::vector<std::string> out;
    std::string content;
    if (read_file(content) != 1) return out;
    for (const std::string& line : file_lines(content)) {
        std::string name;
        if (header_name(line, name)) out.push_back(name);
    }
    return out;
}

int abook_read_contacts(const std::string& name, ContactFields& out)
{
    out = ContactFields();
    std::string content;
    if (read_file(content) != 1) return 0;
    bool inside = false;
    for (const std::string& line : file_lines(content)) {
        std::string section;
        if (header_name(line, section)) {
            if (inside) break;
            if (text_equal_nocase(section, name)) {
                inside = true;
                out.nick = section;
            }
            continue;
        }
        if (!inside) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = text_lower_copy(line.substr(0, eq));
        const std::string value = line.substr(eq + 1);
        if (key == "name") out.name = value;
        else if (key == "email") out.email = value;
        else if (key == "website") out.website = value;
        else if (key == "ipaddr") out.ipaddr = value;
        else if (key.compare(0, 4, "note") == 0) out.notes.push_back(value);
        else if (key == "picture" && !value.empty()) {
            std::string path = value;
            file_abs_settings_dir(path);
            if (file_exists(path, 1)) out.picture = path;
        }
    }
    return inside ? 1 : 0;
}

std::string abook_picture_folder()
{
    std::string content;
    if (read_file(content) != 1) return {};
    for (const std::string& line : file_lines(content)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || !text_equal_nocase(line.substr(0, eq), "picture")) continue;
        std::string path = line.substr(eq + 1);
        if (path.find('/') == std::string::npos) continue;
        file_abs_settings_dir(path);
        if (file_exists(path, 1)) return path.substr(0, path.rfind('/') + 1);
    }
    return {};
}

std::string abook_section_text(const ContactFields& c)
{
    std::string out = "\n[" + one_line(c.nick) + "]\n";
    auto key = [&out](const char* k, const std::string& v) {
        if (!v.empty()) out += std::string(k) + "=" + one_line(v) + "\n";
    };
    key("name", c.name);
    key("email", c.email);
    key("website", c.website);
    key("ipaddr", c.ipaddr);
    if (!c.picture.empty()) key("picture", file_relative_to_settings_dir(c.picture));
    std::size_t last = c.notes.size();
    while (last > 0 && c.notes[last - 1].empty()) --last;
    for (std::size_t i = 0; i < last; ++i)
        out += "note" + std::to_string(i + 1) + "=" + one_line(c.notes[i]) + "\n";
    return out;
}

int abook_write_contact(const ContactFields& c)
{
    if (!usable_nick(c.nick)) return 0;
    std::string content;
    const int r = read_file(content);
    if (r < 0) return 0;   // unreadable: rewriting it would lose the others
    if (r == 0) content.clear();
    return file_safe_save(abook_file_path(), without_section(content, c.nick) + abook_section_text(c), 0);
}

int abook_remove_contact(const std::string& nick)
{
    std::string content;
    if (read_file(content) != 1) return 0;
    return file_safe_save(abook_file_path(), without_section(content, nick), 0);
}

int abook_whois_waiting()
{
    if (g_whois.waiting && !conn_is_live(g_whois.conn)) g_whois.waiting = 0;
    return g_whois.waiting;
}

const WhoisInfo& abook_whois_info()
{
    return g_whois.info;
}

Connection* abook_whois_connection()
{
    return conn_is_live(g_whois.conn) ? g_whois.conn : nullptr;
}

void abook_whois_begin(const std::string& nick, Connection* conn, int control)
{
    g_whois.info.clear();
    g_whois.info.push_back({0, nick.substr(0, kShortText)});
    g_whois.conn = conn;
    g_whois.waiting = control;
}

void abook_whois_stop()
{
    g_whois.waiting = 0;
}

int abook_is_whois_target(const std::string& nick, Connection* conn)
{
    if (!abook_whois_waiting() || g_whois.info.empty() || conn != g_whois.conn) return 0;
    return text_equal_nocase(nick, g_whois.info.front().text) ? 1 : 0;
}

void abook_whois_add(int code, const std::string& text)
{
    if (code <= 0 || code > 10) return;
    for (WhoisField& f : g_whois.info)
        if (f.code == code) {
            if (code == 10) {   // the latest CTCP reply
                f.text = text.substr(0, kLongText);
                return;
            }
            // Repeated lines (several channel lines) join; the length stays bounded.
            if (code == 4 && f.text.size() < kLongText) f.text = (f.text + " " + text).substr(0, kLongText);
            return;
        }
    g_whois.info.push_back({code, text.substr(0, kLongText)});
}

void abook_whois_end(Connection* conn)
{
    if (!abook_is_whois_target(g_whois.info.empty() ? std::string() : g_whois.info.front().text, conn)) return;
    g_whois.waiting = 0;
    abook_whois_ended.fire(conn);
}

void address_book_install()
{
    ident_register_family("id_abook", id_abook);
}

void address_book_uninstall()
{
    g_whois = WhoisState();
}
