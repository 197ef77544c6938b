// The settings layer: location, single keys, numbered lists, list files and
// file and folder settings.
#include "core/ini.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/files.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"

std::string settings_dir;
std::string main_ini_path;
std::string user_settings_dir;
int settings_to_user_dir = 0;
int ini_to_user_dir = 0;
int program_dir_writable = 0;
int private_store_in_ini = 1;

int (*settings_startup_check)(const std::string& program_path) = nullptr;
Signal<void(const char*, int)> ini_list_file_error;

namespace {

// Settings files are small; anything larger is not read (nor overwritten).
constexpr std::size_t kMaxIniFile = 256u * 1024u * 1024u;
// All five kinds of formatting codes, the plain code included.
constexpr int kAllCodes = 31;
// Lines of list files are kept up to this length; the rest of a longer line is
// dropped rather than read as another line.
constexpr std::size_t kMaxListLine = 2 * kLongTextSize;
constexpr int kMaxDefaultsDepth = 32;

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && is_space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_space(s.back()))
        s.remove_suffix(1);
    return s;
}

bool ends_with_ini(const std::string& path)
{
    return path.size() >= 4 && text_equal_nocase(std::string_view(path).substr(path.size() - 4), ".ini");
}

// ---- Name and value cleaning ----

// Copies a section or key name, removes formatting codes, replaces the
// characters an ini name can't hold by "~" and trims blanks. False when nothing
// is left.
bool clean_name(const char* in, bool is_key, std::string& out)
{
    buf_copy(out, kLongTextSize, in);
    text_strip_codes(out, kAllCodes);
    for (char& c : out)
        if (c == '[' || c == ']' || c == '\r' || c == '\n' || (is_key && c == '='))
            c = '~';
    out = std::string(trim(out));
    return !out.empty();
}

void clean_value(std::string_view in, std::string& out)
{
    buf_copy(out, kLongTextSize, in);
    text_strip_codes(out, kAllCodes);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = '~';
}

// ---- The ini document: a file as its lines ----

struct IniDoc {
    std::vector<std::string> lines;  // without line ends
    std::string eol = "\n";
    bool bom = false;
};

// Splits text into lines. Records the line end the file uses.
void split_lines(const std::string& text, std::vector<std::string>& lines, std::string* eol, bool* bom)
{
    std::size_t start = 0;
    if (bom && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        *bom = true;
        start = 3;
    }
    bool eol_seen = false;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        std::size_t end = nl == std::string::npos ? text.size() : nl;
        std::size_t cut = end;
        if (nl != std::string::npos && cut > start && text[cut - 1] == '\r')
            --cut;
        if (eol && nl != std::string::npos && !eol_seen) {
            *eol = cut != end ? "\r\n" : "\n";
            eol_seen = true;
        }
        lines.emplace_back(text, start, cut - start);
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
}

// The usable path of a settings file argument: "" means the main file.
bool ini_file_path(const std::string& file, std::string& out)
{
    const std::string& f = file.empty() ? main_ini_path : file;
    return file_resolve_file_path(f, out) && !file_is_device(out);
}

// 1 loaded, 0 missing (an empty document), -1 unreadable.
int doc_load(const std::string& path, IniDoc& doc)
{
    std::string text;
    int r = file_read_all(path, text, kMaxIniFile);
    if (r <= 0)
        return r;
    split_lines(text, doc.lines, &doc.eol, &doc.bom);
    return 1;
}

bool doc_save(const std::string& path, const IniDoc& doc)
{
    std::string text;
    if (doc.bom)
        text = "\xEF\xBB\xBF";
    for (const std::string& line : doc.lines) {
        text += line;
        text += doc.eol;
    }
    return file_safe_save(path, text, 0) != 0;
}

bool line_section(std::string_view line, std::string_view& name)
{
    std::string_view t = trim(line);
    if (t.empty() || t[0] != '[')
        return false;
    std::size_t close = t.rfind(']');
    if (close == std::string_view::npos || close == 0)
        return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

// A line "name=value". Comment lines (";...") are key lines too, but only a key
// name that itself begins with ";" can match one, so they never shadow a setting
// and a write of such a key finds its line again instead of adding another.
bool line_key(std::string_view line, std::string_view& key, std::string_view& value)
{
    std::string_view t = trim(line);
    if (t.empty())
        return false;
    std::string_view unused;
    if (line_section(t, unused))
        return false;
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trim(t.substr(0, eq));
    value = trim(t.substr(eq + 1));
    return true;
}

bool is_blank(const std::string& line)
{
    return trim(line).empty();
}

// Index of the first section of that name, or -1; end receives the index of the
// next section line (or the line count).
long find_section(const IniDoc& doc, std::string_view name, std::size_t& end)
{
    std::string_view n;
    long found = -1;
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        if (!line_section(doc.lines[i], n))
            continue;
        if (found >= 0) {
            end = i;
            return found;
        }
        if (text_equal_nocase(n, name))
            found = static_cast<long>(i);
    }
    end = doc.lines.size();
    return found;
}

// A stored value as the read gives it: surrounding matching quotes removed.
std::string_view unquote(std::string_view v)
{
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        return v.substr(1, v.size() - 2);
    return v;
}

std::string cut(std::string_view v, std::size_t capacity)
{
    return std::string(v.substr(0, std::min(v.size(), capacity)));
}

// The keys of one section: lower-cased name -> line of its first occurrence.
struct SectionIndex {
    long header = -1;
    std::size_t end = 0;
    std::unordered_map<std::string, std::size_t> keys;
};

SectionIndex index_section(const IniDoc& doc, std::string_view section)
{
    SectionIndex idx;
    idx.header = find_section(doc, section, idx.end);
    if (idx.header < 0)
        return idx;
    std::string_view k, v;
    for (std::size_t i = static_cast<std::size_t>(idx.header) + 1; i < idx.end; ++i)
        if (line_key(doc.lines[i], k, v))
            idx.keys.emplace(text_lower_copy(k), i);
    return idx;
}

// The stored value of a key in its read form (cut at 4,150); false when absent.
bool stored_value(const IniDoc& doc, const SectionIndex& idx, const std::string& key, std::string& value,
                  std::string* raw = nullptr)
{
    auto it = idx.keys.find(text_lower_copy(key));
    if (it == idx.keys.end())
        return false;
    std::string_view k, v;
    line_key(doc.lines[it->second], k, v);
    value = cut(unquote(v), kLongText);
    if (raw)
        *raw = std::string(v);
    return true;
}

// Sets and deletes keys of one section in one pass. Sets replace the first line
// of their key in place or go after the last non-blank line of the section (a
// missing section is added at the end of the file). Returns whether anything
// changed.
bool doc_apply(IniDoc& doc, const std::string& section, const std::vector<std::pair<std::string, std::string>>& sets,
               const std::vector<std::string>& deletes)
{
    SectionIndex idx = index_section(doc, section);
    bool changed = false;
    std::vector<std::string> inserts;
    std::vector<bool> drop;
    for (const auto& [key, value] : sets) {
        auto it = idx.keys.find(text_lower_copy(key));
        if (it == idx.keys.end()) {
            inserts.push_back(key + "=" + value);
            continue;
        }
        std::string_view k, v;
        line_key(doc.lines[it->second], k, v);
        if (v == value || cut(unquote(v), kLongText) == value)
            continue;
        doc.lines[it->second] = std::string(k) + "=" + value;
        changed = true;
    }
    if (idx.header >= 0 && !deletes.empty()) {
        drop.assign(doc.lines.size(), false);
        for (const std::string& key : deletes) {
            auto it = idx.keys.find(text_lower_copy(key));
            if (it != idx.keys.end() && !drop[it->second]) {
                drop[it->second] = true;
                changed = true;
            }
        }
    }
    if (idx.header < 0) {
        if (inserts.empty())
            return changed;
        if (!doc.lines.empty() && !is_blank(doc.lines.back()))
            doc.lines.emplace_back();
        doc.lines.push_back("[" + section + "]");
        for (std::string& line : inserts)
            doc.lines.push_back(std::move(line));
        return true;
    }
    if (inserts.empty() && drop.empty())
        return changed;
    std::size_t header = static_cast<std::size_t>(idx.header);
    std::size_t insert_at = header + 1;
    for (std::size_t i = header + 1; i < idx.end; ++i)
        if ((drop.empty() || !drop[i]) && !is_blank(doc.lines[i]))
            insert_at = i + 1;
    std::vector<std::string> out;
    out.reserve(doc.lines.size() + inserts.size());
    for (std::size_t i = 0; i <= doc.lines.size(); ++i) {
        if (i == insert_at)
            for (std::string& line : inserts)
                out.push_back(std::move(line));
        if (i == doc.lines.size())
            break;
        if (drop.empty() || !drop[i])
            out.push_back(std::move(doc.lines[i]));
    }
    doc.lines.swap(out);
    return changed || !inserts.empty();
}

// Removes the first section of that name (its header and every line up to the
// next section).
void doc_remove_section(IniDoc& doc, const SectionIndex& idx)
{
    doc.lines.erase(doc.lines.begin() + idx.header, doc.lines.begin() + static_cast<long>(idx.end));
}

// Names, each ended by a zero byte, as long as whole names fit the capacity.
int put_name_list(const std::vector<std::string_view>& names, std::string& dest, std::size_t capacity)
{
    for (std::string_view n : names) {
        if (dest.size() + n.size() + 1 > capacity)
            break;
        dest.append(n);
        dest += '\0';
    }
    return static_cast<int>(dest.size());
}

// The key of one entry of a numbered list, cleaned as a key name.
bool numbered_key(const std::string& prefix, int index, std::string& key)
{
    std::string raw = prefix + std::to_string(index);
    return clean_name(raw.c_str(), true, key);
}

// Keys prefix+start upward, as long as each is present with a non-empty value.
std::vector<std::string> stale_keys(const IniDoc& doc, const SectionIndex& idx, const std::string& prefix, int start)
{
    std::vector<std::string> keys;
    if (idx.header < 0 || start < 0)
        return keys;
    for (long i = start; i <= static_cast<long>(start) + static_cast<long>(idx.keys.size()); ++i) {
        std::string key, value;
        if (!numbered_key(prefix, static_cast<int>(i), key) || !stored_value(doc, idx, key, value) || value.empty())
            break;
        keys.push_back(key);
    }
    return keys;
}

// ---- List files ----

struct ListLine {
    std::string text;
    bool had_lf = false;
};

void split_list_lines(const std::string& text, std::vector<ListLine>& lines, std::string& eol, std::size_t max_len)
{
    std::size_t start = 0;
    bool eol_seen = false;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        std::size_t end = nl == std::string::npos ? text.size() : nl;
        std::size_t cut_at = end;
        if (nl != std::string::npos && cut_at > start && text[cut_at - 1] == '\r')
            --cut_at;
        if (nl != std::string::npos && !eol_seen) {
            eol = cut_at != end ? "\r\n" : "\n";
            eol_seen = true;
        }
        ListLine line;
        line.text.assign(text, start, std::min(cut_at - start, max_len));
        line.had_lf = nl != std::string::npos;
        lines.push_back(std::move(line));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
}

// Writes the lines without the section(s) beginning with header. Returns the
// pending-empty-line flag: 1 when the kept text ended with an empty line or
// nothing was kept.
int strip_section(const std::vector<ListLine>& lines, std::string_view header, std::string& out, const std::string& eol)
{
    int pending = 1;
    bool skipping = false;
    bool written = false;
    for (const ListLine& line : lines) {
        std::string_view t = line.text;
        if (skipping) {
            if (t.find('[') == std::string_view::npos || t.find('=') != std::string_view::npos)
                continue;
            skipping = false;
        }
        if (text_starts_with_nocase(t, header)) {
            skipping = true;
            continue;
        }
        if (t.empty()) {
            pending = 1;
            continue;
        }
        if (written && pending)
            out += eol;
        out.append(t);
        if (line.had_lf)
            out += eol;
        written = true;
        pending = 0;
    }
    return pending;
}

// ---- Defaults ----

bool dir_is_empty(const std::string& path)
{
    DIR* d = ::opendir(path.c_str());
    if (!d)
        return true;
    bool empty = true;
    while (struct dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n != "." && n != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    return empty;
}

// Copies the files and folders of from into to (both ending in "/"). Links to
// plain files are copied as files; other links, devices and pipes are skipped.
void copy_tree(const std::string& from, const std::string& to, int depth)
{
    if (depth > kMaxDefaultsDepth)
        return;
    std::vector<std::string> names;
    if (!file_list_dir(from, names))
        return;
    for (const std::string& n : names) {
        std::string src = from + n;
        std::string dst = to + n;
        struct stat lst;
        if (::lstat(src.c_str(), &lst) != 0)
            continue;
        if (S_ISDIR(lst.st_mode)) {
            if (file_make_dir(dst))
                copy_tree(src + "/", dst + "/", depth + 1);
            continue;
        }
        struct stat st;
        if (::stat(src.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            file_copy(src, dst, 1);
    }
}

std::string home_folder()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    struct passwd pw;
    struct passwd* result = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &result) == 0 && result && result->pw_dir &&
        result->pw_dir[0] == '/')
        return result->pw_dir;
    return std::string();
}

std::string program_folder()
{
    std::string prog = file_program_path();
    std::size_t slash = prog.rfind('/');
    return slash == std::string::npos ? std::string() : prog.substr(0, slash + 1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Location

int file_user_dir(std::string& out, int flags)
{
    out.clear();
    const char* var = nullptr;
    const char* fallback = nullptr;
    if (flags & 1) {
        var = "XDG_CONFIG_HOME";
        fallback = "/.config";
    } else if (flags & 2) {
        var = "XDG_DATA_HOME";
        fallback = "/.local/share";
    } else {
        return 0;
    }
    std::string base;
    const char* value = std::getenv(var);
    if (value && value[0] == '/') {
        base = value;
    } else {
        std::string home = home_folder();
        if (home.empty())
            return 0;
        base = home + fallback;
    }
    file_fix_slashes(base);
    if (base.size() > kMediumText)
        return 0;
    // The configuration folder may not exist yet on a new account.
    std::size_t pos = 1;
    while (pos <= base.size()) {
        std::size_t slash = base.find('/', pos);
        if (slash == std::string::npos)
            slash = base.size();
        std::string partial = base.substr(0, slash);
        struct stat st;
        if (::stat(partial.c_str(), &st) != 0 && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return 0;
        pos = slash + 1;
    }
    if (!file_exists(base, 2))
        return 0;
    file_add_trailing_slash(base);
    if (flags & 4)
        base += "kest/";
    out = base;
    return 1;
}

int settings_locate()
{
    settings_dir.clear();
    main_ini_path.clear();
    user_settings_dir.clear();
    settings_to_user_dir = 0;
    ini_to_user_dir = 0;
    program_dir_writable = 0;

    const char* u3_exec = std::getenv("U3_HOST_EXEC_PATH");
    const char* u3_data = std::getenv("U3_APP_DATA_PATH");
    if (u3_exec && u3_data && *u3_exec && *u3_data) {
        settings_dir = u3_data;
        file_add_trailing_slash(settings_dir);
        main_ini_path = settings_dir + "kest.ini";
        return 1;
    }

    std::string prog = file_program_path();
    if (prog.empty() || prog.size() > kMediumText)
        return 0;
    std::size_t slash = prog.rfind('/');
    if (slash == std::string::npos)
        return 0;
    settings_dir = prog.substr(0, slash + 1);
    main_ini_path = settings_dir + "kest.ini";

    file_user_dir(user_settings_dir, 1 | 4);

    std::string probe = settings_dir + file_temp_name();
    if (::mkdir(probe.c_str(), 0700) == 0 && ::rmdir(probe.c_str()) == 0)
        program_dir_writable = 1;

    if (settings_startup_check && !settings_startup_check(prog))
        return 0;

    if (!program_dir_writable || !file_exists(main_ini_path, 1)) {
        settings_to_user_dir = 1;
        ini_to_user_dir = 1;
    }
    return 1;
}

int ini_copy_defaults()
{
    if (!user_settings_dir.empty() && (settings_to_user_dir || ini_to_user_dir)) {
        if (file_make_dir(user_settings_dir)) {
            if (settings_to_user_dir)
                settings_dir = user_settings_dir;
            if (ini_to_user_dir)
                main_ini_path = user_settings_dir + "kest.ini";
        }
    }
    if (!settings_dir.empty() && dir_is_empty(settings_dir)) {
        std::string defaults = program_folder() + "defaults/";
        if (program_folder().size() > 0 && file_exists(defaults, 2) && file_make_dir(settings_dir))
            copy_tree(defaults, settings_dir, 0);
    }
    file_clear_readonly(main_ini_path);
    return 1;
}

// ---------------------------------------------------------------------------
// Single keys

int ini_write(const char* section, const char* key, const char* value, const std::string& file)
{
    if (!section && !key && !value)
        return 1;  // nothing is cached, so there is nothing to flush
    if (!section)
        return 0;
    std::string sec, k, v;
    if (!clean_name(section, false, sec))
        return 1;
    if (key && !clean_name(key, true, k))
        return 1;
    std::string path;
    if (!ini_file_path(file, path))
        return 0;

    bool has_value = value && *value;
    if (has_value) {
        clean_value(value, v);
        if (v.empty())
            return 1;
    }
    IniDoc doc;
    int loaded = doc_load(path, doc);
    if (loaded < 0)
        return 0;  // never overwrite a file that could not be read
    SectionIndex idx = index_section(doc, sec);

    if (!key) {
        // The whole section goes; a section without keys is left alone.
        if (idx.header < 0 || (!has_value && idx.keys.empty()))
            return 1;
        doc_remove_section(doc, idx);
        return doc_save(path, doc) ? 1 : 0;
    }
    std::string stored;
    if (has_value) {
        if (!doc_apply(doc, sec, {{k, v}}, {}))
            return 1;
        return doc_save(path, doc) ? 1 : 0;
    }
    if (!stored_value(doc, idx, k, stored) || stored.empty())
        return 1;
    doc_apply(doc, sec, {}, {k});
    return doc_save(path, doc) ? 1 : 0;
}

int ini_read(const char* section, const char* key, const char* def, std::string& dest, std::size_t size,
             const std::string& file)
{
    dest.clear();
    std::size_t capacity = buf_text_capacity(size);
    std::string sec, k;
    if (section && !clean_name(section, false, sec))
        return 0;
    if (section && key && !clean_name(key, true, k))
        return 0;

    std::string fallback = def ? def : "";
    while (!fallback.empty() && fallback.back() == ' ')
        fallback.pop_back();

    std::string path;
    IniDoc doc;
    bool loaded = ini_file_path(file, path) && doc_load(path, doc) > 0;

    if (!section || !key) {
        if (!loaded)
            return 0;
        std::vector<std::string_view> names;
        if (!section) {
            std::string_view n;
            for (const std::string& line : doc.lines)
                if (line_section(line, n))
                    names.push_back(n);
        } else {
            std::size_t end = 0;
            long header = find_section(doc, sec, end);
            std::string_view kk, vv;
            if (header >= 0)
                for (std::size_t i = static_cast<std::size_t>(header) + 1; i < end; ++i)
                    if (line_key(doc.lines[i], kk, vv) && kk.front() != ';')
                        names.push_back(kk);
        }
        return put_name_list(names, dest, capacity);
    }

    std::string value;
    if (loaded) {
        SectionIndex idx = index_section(doc, sec);
        std::string_view kk, vv;
        auto it = idx.keys.find(text_lower_copy(k));
        if (it != idx.keys.end() && line_key(doc.lines[it->second], kk, vv))
            value = std::string(unquote(vv));
        else
            value = fallback;
    } else {
        value = fallback;
    }
    dest = cut(value, capacity);
    return static_cast<int>(dest.size());
}

int ini_is_section_line(const char* line)
{
    if (!line || line[0] != '[')
        return 0;
    std::string_view t(line);
    std::size_t end = t.find_first_of("\r\n");
    if (end != std::string_view::npos)
        t = t.substr(0, end);
    std::size_t close = t.rfind(']');
    if (close == std::string_view::npos)
        return 0;
    for (std::size_t i = close + 1; i < t.size(); ++i)
        if (t[i] != ' ' && t[i] != '\t')
            return 0;
    return 1;
}

void file_clear_readonly(const std::string& path)
{
    if (path.empty())
        return;
    std::string p = path;
    file_abs_settings_dir(p);
    struct stat st;
    if (::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    if (!(st.st_mode & S_IWUSR) && st.st_uid == ::geteuid())
        ::chmod(p.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

// ---------------------------------------------------------------------------
// Numbered lists

StringNode* ini_read_numbered_list(const char* section, const char* prefix, StringNode* old_list,
                                   const std::string& file, int mode)
{
    strlist_free(&old_list);
    std::string sec, path;
    if (!section || !prefix || !clean_name(section, false, sec) || !ini_file_path(file, path))
        return nullptr;
    IniDoc doc;
    if (doc_load(path, doc) <= 0)
        return nullptr;
    SectionIndex idx = index_section(doc, sec);
    if (idx.header < 0)
        return nullptr;

    StringNode* head = nullptr;
    std::string pre = prefix;
    for (int i = 0;; ++i) {
        std::string key, value;
        if (!numbered_key(pre, i, key) || !stored_value(doc, idx, key, value) || value.empty())
            break;
        std::string entry;
        switch (mode) {
        case 1:
            if (value.find("SERVER:") != std::string::npos) {
                entry = value;
            } else {
                std::size_t colon = value.find(':');
                if (colon == std::string::npos || colon + 1 >= value.size())
                    continue;
                std::string host = value.substr(0, colon);
                entry = host + "SERVER:" + host + ":" + value.substr(colon + 1);
            }
            break;
        case 2:
            if (value.find("URL:") == std::string::npos)
                continue;
            entry = value;
            break;
        case 3:
            if (value.find(" : ") == std::string::npos)
                continue;
            entry = value;
            break;
        default:
            entry = value;
            break;
        }
        StringNode* next = strlist_append(head, std::string_view(entry), 0);
        if (next)
            head = next;
    }
    return head;
}

int ini_delete_numbered_from(const char* section, const char* prefix, int start, const std::string& file)
{
    std::string sec, path;
    if (!section || !prefix || !clean_name(section, false, sec))
        return 1;
    if (!ini_file_path(file, path))
        return 0;
    IniDoc doc;
    int loaded = doc_load(path, doc);
    if (loaded <= 0)
        return loaded == 0 ? 1 : 0;
    SectionIndex idx = index_section(doc, sec);
    std::vector<std::string> deletes = stale_keys(doc, idx, prefix, start);
    if (deletes.empty() || !doc_apply(doc, sec, {}, deletes))
        return 1;
    return doc_save(path, doc) ? 1 : 0;
}

int ini_write_numbered_list(StringNode* list, const char* section, const char* prefix, int limit,
                            const std::string& file)
{
    std::string sec, path;
    if (!section || !prefix || !clean_name(section, false, sec))
        return 1;
    if (!ini_file_path(file, path))
        return 0;
    std::string pre = prefix;
    std::vector<std::pair<std::string, std::string>> sets;
    int number = 0;
    for (StringNode* node = list; node; node = node->next) {
        std::string value;
        clean_value(node->text, value);
        if (value.empty())
            continue;  // an empty entry takes no number: the list stays contiguous
        std::string key;
        if (!numbered_key(pre, number, key))
            return 1;
        sets.emplace_back(key, value);
        if (limit != 0 && number == limit)
            break;
        ++number;
    }
    IniDoc doc;
    if (doc_load(path, doc) < 0)
        return 0;
    SectionIndex idx = index_section(doc, sec);
    std::vector<std::string> deletes = stale_keys(doc, idx, pre, static_cast<int>(sets.size()));
    if (!doc_apply(doc, sec, sets, deletes))
        return 1;
    return doc_save(path, doc) ? 1 : 0;
}

StringNode* strlist_rename_key(StringNode* list, const char* old_name, const char* new_name)
{
    if (!old_name)
        return list;
    std::string fresh = new_name ? new_name : "";
    StringNode* head = list;
    StringNode* node = head;
    while (node) {
        StringNode* next = node->next;
        std::size_t comma = node->text.find(',');
        if (comma == std::string::npos) {
            head = strlist_remove(head, node);
        } else {
            std::string name = node->text.substr(0, comma);
            text_collapse_char(name, ' ');
            if (text_equal_nocase(name, old_name)) {
                std::string text = fresh + "," + node->text.substr(comma + 1);
                buf_copy(node->text, kLongTextSize, std::string_view(text));
            }
        }
        node = next;
    }
    return head;
}

// ---------------------------------------------------------------------------
// List files

StringNode* ini_load_list_file(const std::string& path, const char* header, int mode, int whole_line)
{
    std::string p;
    if (path.empty() || !file_resolve_file_path(path, p) || file_is_device(p))
        return nullptr;
    file_clear_readonly(p);
    std::string text;
    if (file_read_all(p, text, kMaxIniFile) <= 0)
        return nullptr;
    std::vector<ListLine> lines;
    std::string eol = "\n";
    split_list_lines(text, lines, eol, kMaxListLine);
    text.clear();

    const bool is_ini = ends_with_ini(p);
    std::size_t i = 0;
    if (is_ini && header && *header) {
        std::string h = text_lower_copy(header);
        for (; i < lines.size(); ++i) {
            const std::string& t = lines[i].text;
            if (t.find('=') == std::string::npos && text_lower_copy(t).find(h) != std::string::npos)
                break;
        }
        if (i == lines.size())
            return nullptr;
        ++i;
    }

    StringNode* head = nullptr;
    for (; i < lines.size(); ++i) {
        std::string_view t = lines[i].text;
        std::string_view entry = t;
        if (is_ini) {
            std::size_t eq = t.find('=');
            if (eq == std::string_view::npos) {
                if (t.find('[') != std::string_view::npos)
                    break;
                continue;
            }
            if (eq + 1 == t.size() && !lines[i].had_lf)
                continue;
            if (!whole_line)
                entry = t.substr(eq + 1);
        }
        if (mode == 2 && entry.find("URL:") == std::string_view::npos)
            continue;
        if (entry.empty() && mode != 1)
            continue;
        StringNode* next = strlist_append(head, entry, 0);
        if (!next) {
            strlist_free(&head);
            ini_list_file_error.fire("file", 2);
            return nullptr;
        }
        head = next;
    }
    while (head && head->prev->text.empty())
        head = strlist_drop_tail(head);
    return head;
}

int ini_remove_section(const std::string& path, const char* header)
{
    if (path.empty() || !header || !*header)
        return 1;
    std::string p;
    if (!file_resolve_file_path(path, p) || file_is_device(p))
        return -1;
    file_clear_readonly(p);
    std::string text;
    int r = file_read_all(p, text, kMaxIniFile);
    if (r == 0)
        return 1;
    if (r < 0)
        return -1;
    std::vector<ListLine> lines;
    std::string eol = "\n";
    split_list_lines(text, lines, eol, text.size());
    std::string out;
    int pending = strip_section(lines, header, out, eol);
    if (out != text && !file_safe_save(p, out, 0))
        return -1;
    return pending;
}

int ini_save_list_file(const std::string& path, const char* header, StringNode* list)
{
    std::string p;
    if (path.empty() || !file_resolve_file_path(path, p))
        return 0;
    if (file_is_device(p))
        return 0;
    file_clear_readonly(p);
    if (!list && !file_exists(p, 1))
        return 1;

    const bool is_ini = ends_with_ini(p);
    std::string out;
    std::string eol = "\n";
    int number = 0;
    auto entry_line = [&](const std::string& text) {
        std::string value = text;
        for (char& c : value)
            if (c == '\r' || c == '\n')
                c = '~';
        out += "n" + std::to_string(number++) + "=" + value + eol;
    };
    if (is_ini && header && *header) {
        std::string old;
        int r = file_read_all(p, old, kMaxIniFile);
        if (r < 0)
            return 0;  // the old section could not be removed: adding another would duplicate it
        std::vector<ListLine> lines;
        split_list_lines(old, lines, eol, old.size());
        int pending = strip_section(lines, header, out, eol);
        if (pending == 0)
            out += eol;
        out += header;
        out += eol;
        for (StringNode* node = list; node; node = node->next)
            entry_line(node->text);
    } else if (is_ini) {
        for (StringNode* node = list; node; node = node->next)
            entry_line(node->text);
    } else {
        for (StringNode* node = list; node; node = node->next) {
            out += node->text;
            out += eol;
        }
    }
    return file_safe_save(p, out, 0) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// File and folder settings

void file_folder_setting(std::string& path)
{
    file_fix_slashes(path);
    if (path.empty()) {
        path = settings_dir;
        return;
    }
    file_abs_settings_dir(path);
    if (path == "/")
        return;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (!file_exists(path, 2)) {
        path = settings_dir;
        return;
    }
    if (path.size() > 1 && path.back() != '/')
        path += '/';
}

void file_setting_path(std::string& path, const char* default_name)
{
    const std::string def = default_name ? default_name : "";
    file_fix_slashes(path);
    if (path.empty())
        path = def;
    bool had_folder = path.find('/') != std::string::npos;
    std::string full = path;
    file_abs_settings_dir(full);
    if (had_folder && file_exists(full, 1)) {
        path = full;
        return;
    }
    std::size_t slash = full.rfind('/');
    std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
    if (!name.empty() && file_exists(settings_dir + name, 1)) {
        path = settings_dir + name;
        return;
    }
    path = def;
    file_abs_settings_dir(path);
}

int ini_write_section(const char* section, const std::vector<std::pair<std::string, std::string>>& keys,
                      const std::string& file)
{
    std::string sec, path;
    if (!section || !clean_name(section, false, sec))
        return 1;
    if (!ini_file_path(file, path))
        return 0;
    IniDoc doc;
    if (doc_load(path, doc) < 0)
        return 0;  // never overwrite a file that could not be read
    const std::vector<std::string> before = doc.lines;
    SectionIndex idx = index_section(doc, sec);
    const bool had = idx.header >= 0;
    if (had)
        doc_remove_section(doc, idx);
    std::vector<std::pair<std::string, std::string>> sets;
    sets.reserve(keys.size());
    for (const auto& [key, value] : keys) {
        std::string k, v;
        if (!clean_name(key.c_str(), true, k))
            continue;
        clean_value(value, v);
        if (!v.empty())
            sets.emplace_back(std::move(k), std::move(v));
    }
    if (!doc_apply(doc, sec, sets, {}) && !had)
        return 1;
    if (doc.lines == before)
        return 1;   // the file already holds the section as wanted
    return doc_save(path, doc) ? 1 : 0;
}
