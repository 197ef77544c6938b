#include "script/stores/alias_files.h"

#include <sys/stat.h>

#include <array>
#include <cctype>
#include <string>
#include <vector>

#include "core/text_buffer.h"
#include "core/files.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

AliasFile* alias_files_head = nullptr;
int script_watch_recheck = 0;
unsigned long alias_generation = 1;

namespace {

std::array<std::vector<AliasIndexEntry>, 27> alias_heads;



bool starts_nocase(std::string_view t, std::string_view p)
{
    return t.size() >= p.size() && text_equal_nocase(t.substr(0, p.size()), p);
}

std::string_view skip_blanks(std::string_view t)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    return t.substr(i);
}

std::int64_t disk_time(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_mtime);
}

bool ends_in_dollar_amp(std::string_view t)
{
    std::size_t e = t.find_last_not_of(' ');
    return e != std::string_view::npos && e >= 1 && t[e] == '&' && t[e - 1] == '$';
}

// Two blanks per enclosing block level (a line that begins with "}" stands
// at the level of its opening line), two more after a line ending in "$&".
// Lines inside a "/*" ... "*/" block are left as they are.
void reindent_lines(StringNode* first)
{
    int counter = 0;
    int depth = 0;
    bool continued = false;
    for (StringNode* n = first; n; n = n->next) {
        int state = script_line_comment_kind(n->text, &counter);
        if (state == 4 || state == 3)
            continue;
        std::string_view body = skip_blanks(n->text);
        int level = depth;
        if (!body.empty() && body[0] == '}' && level > 0)
            --level;
        if (continued)
            ++level;
        if (level > 64)
            level = 64;
        std::string text(static_cast<std::size_t>(level) * 2, ' ');
        text.append(body);
        if (text.size() > kLongText)
            text.resize(kLongText);
        n->text = std::move(text);
        continued = ends_in_dollar_amp(body);
        if (state == 0) {
            depth = script_brace_depth(body, depth, 0);
            if (depth < 0)
                depth = 0;
        }
    }
}

void free_file(AliasFile* f)
{
    strlist_free(&f->lines);
    delete f;
}

void unlink_file(AliasFile* f)
{
    AliasFile** pp = &alias_files_head;
    while (*pp && *pp != f)
        pp = &(*pp)->next;
    if (*pp)
        *pp = f->next;
    f->next = nullptr;
}

// The name of the definition on an alias-file line (empty when none).
std::string_view file_def_name(const StringNode* n)
{
    std::string_view t = n->text;
    std::string_view rest = t.substr(script_line_skip_prefix(t, nullptr, nullptr));
    return rest.substr(0, rest.find(' '));
}

void index_add(std::string_view name, int number, StringNode* def, const void* owner)
{
    ++alias_generation;
    if (name.empty())
        return;
    AliasIndexEntry e;
    e.name.assign(name.substr(0, kShortText));
    e.number = number;
    e.definition = def;
    e.owner = owner;
    alias_heads[static_cast<std::size_t>(alias_index_head_of(name))].push_back(std::move(e));
}

// The alias lines of a script file: "alias " at the top level, an optional
// "-l " (local), then the name. Lines of a group that is off are skipped.
void index_script(const AliasScriptRef& ref)
{
    int counter = 0;
    int depth = 0;
    std::string group_off;   // name of the group that is switched off, or empty
    for (StringNode* n = ref.lines; n; n = n->next) {
        int state = script_line_comment_kind(n->text, &counter);
        if (state != 0)
            continue;
        std::string_view body = skip_blanks(n->text);
        if (body.empty())
            continue;
        if (depth > 0) {
            depth = script_brace_depth(body, depth, 0);
            if (depth < 0)
                depth = 0;
            continue;
        }
        if (body[0] == '#') {
            std::size_t blank = body.find(' ');
            std::string_view group = body.substr(0, blank);
            std::string_view word = blank == std::string_view::npos ? std::string_view()
                                                                    : skip_blanks(body.substr(blank));
            word = word.substr(0, word.find(' '));
            if (text_equal_nocase(word, "off"))
                group_off.assign(group);
            else if (text_equal_nocase(word, "on") ||
                     (text_equal_nocase(word, "end") && text_equal_nocase(group, group_off)))
                group_off.clear();
            continue;
        }
        std::string_view rest;
        int number = kAliasEntryScript;
        if (starts_nocase(body, "alias ")) {
            rest = skip_blanks(body.substr(6));
            if (starts_nocase(rest, "-l ")) {
                number = kAliasEntryLocal;
                rest = rest.substr(3);
            }
            std::size_t blank = rest.find(' ');
            std::string_view name = rest.substr(0, blank);
            std::string_view after = blank == std::string_view::npos ? std::string_view()
                                                                     : skip_blanks(rest.substr(blank));
            if (group_off.empty() && !name.empty())
                index_add(name, number, n, ref.file);
            depth = script_brace_depth(after, 0, 0);
        } else {
            depth = script_brace_depth(body, 0, 0);
        }
        if (depth < 0)
            depth = 0;
    }
}

bool path_exists_or_loaded(const std::string& p)
{
    if (file_exists(p, 1))
        return true;
    for (AliasFile* f = alias_files_head; f; f = f->next)
        if (text_equal_nocase(f->path, p))
            return true;
    return false;
}

} // namespace

std::vector<AliasScriptRef> alias_script_files()
{
    std::vector<AliasScriptRef> out;
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->kind == kRemoteScript)
            out.push_back(AliasScriptRef{f, f->lines, f->path});
    return out;
}

int alias_index_head_of(std::string_view name)
{
    if (name.empty())
        return 26;
    char c = name[0];
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    int h = c - 'A';
    return (h >= 0 && h <= 25) ? h : 26;
}

const std::vector<AliasIndexEntry>& alias_index_head(int head)
{
    if (head < 0 || head > 26)
        head = 26;
    return alias_heads[static_cast<std::size_t>(head)];
}

void alias_index_clear(int)
{
    ++alias_generation;
    for (auto& h : alias_heads)
        h.clear();
}

void alias_index_rebuild()
{
    alias_index_clear(1);
    for (AliasFile* f = alias_files_head; f; f = f->next)
        for (StringNode* n = f->lines; n; n = n->next)
            if (n->extra[kLineKind] == 1)
                index_add(file_def_name(n), kAliasEntryFile, n, f);
    for (const AliasScriptRef& ref : alias_script_files())
        index_script(ref);
}

StringNode* alias_store_find(std::string_view line, std::string* name_out, ScriptFile* script)
{
    std::string_view rest = line.substr(script_line_skip_prefix(line, nullptr, nullptr));
    std::string_view name = rest.substr(0, rest.find(' '));
    if (name.size() > kLongText)
        name = name.substr(0, kLongText);
    if (name_out)
        name_out->assign(name);
    if (name.empty())
        return nullptr;
    const std::vector<AliasIndexEntry>& head = alias_heads[static_cast<std::size_t>(alias_index_head_of(name))];
    if (script) {
        for (const AliasIndexEntry& e : head)
            if (e.number != kAliasEntryFile && e.owner == script && text_equal_nocase(e.name, name))
                return e.definition;
    }
    for (const AliasIndexEntry& e : head)
        if (e.number != kAliasEntryLocal && text_equal_nocase(e.name, name))
            return e.definition;
    return nullptr;
}

void alias_file_scan(AliasFile* file)
{
    ++alias_generation;
    if (!file)
        return;
    reindent_lines(file->lines);
    script_line_comment_state(file->lines);
    int depth = 0;
    StringNode* prev_def = file->lines;
    for (StringNode* n = file->lines; n; n = n->next) {
        n->extra[kLineDepth] = depth;
        n->extra[kLineKind] = 0;
        n->extra[kLineScript] = 0;
        n->extra[kAliasLineLetter] = 0;
        n->extra[kAliasLineNameLen] = 0;
        n->extra[kAliasLineNextDef] = 0;
        n->extra[kAliasLineOwner] = reinterpret_cast<std::intptr_t>(file);
        if (n->extra[kLineComment] != 0)
            continue;
        std::string_view t = n->text;
        std::string_view rest = t.substr(script_line_skip_prefix(t, nullptr, nullptr));
        if (rest.empty())
            continue;
        if (depth > 0) {
            depth = script_brace_depth(t, depth, 0);
            if (depth < 0)
                depth = 0;
            continue;
        }
        if (starts_nocase(rest, "alias ")) {
            depth = script_brace_depth(rest, depth, 0);
            if (depth < 0)
                depth = 0;
            continue;
        }
        std::size_t blank = rest.find(' ');
        if (blank == std::string_view::npos) {
            n->extra[kAliasLineLetter] = 1;
            continue;
        }
        std::string_view name = rest.substr(0, blank);
        n->extra[kAliasLineLetter] = static_cast<unsigned char>(text_lower_char(name[0]));
        n->extra[kAliasLineNameLen] = static_cast<std::intptr_t>(name.size());
        n->extra[kLineKind] = 1;
        if (prev_def && prev_def != n)
            prev_def->extra[kAliasLineNextDef] = reinterpret_cast<std::intptr_t>(n);
        prev_def = n;
        std::string_view after = skip_blanks(rest.substr(blank));
        if (!after.empty() && after[0] == '{') {
            depth = script_brace_depth(after, 0, 0);
            if (depth < 0)
                depth = 0;
        }
    }
}

std::string alias_file_name_part(const std::string& path)
{
    std::size_t s = path.find_last_of('/');
    return s == std::string::npos ? path : path.substr(s + 1);
}

AliasFile* alias_file_find(const std::string& path_in)
{
    if (path_in.empty())
        return nullptr;
    std::string path = path_in;
    file_fix_slashes(path);
    std::string full = path;
    file_abs_settings_dir(full);
    for (AliasFile* f = alias_files_head; f; f = f->next)
        if (text_equal_nocase(f->path, full) || file_same_path(f->path, full))
            return f;
    if (path.find('/') == std::string::npos) {
        for (AliasFile* f = alias_files_head; f; f = f->next)
            if (text_equal_nocase(alias_file_name_part(f->path), path))
                return f;
    }
    return nullptr;
}

int alias_file_is_loaded(const AliasFile* file)
{
    for (AliasFile* f = alias_files_head; f; f = f->next)
        if (f == file)
            return 1;
    return 0;
}

int alias_files_count()
{
    int n = 0;
    for (AliasFile* f = alias_files_head; f; f = f->next)
        ++n;
    return n;
}

AliasFile* alias_file_current()
{
    for (AliasFile* f = alias_files_head; f; f = f->next)
        if (f->current)
            return f;
    if (alias_files_head)
        alias_files_head->current = 1;
    return alias_files_head;
}

void alias_files_free()
{
    alias_index_clear(1);
    while (alias_files_head) {
        AliasFile* f = alias_files_head;
        alias_files_head = f->next;
        free_file(f);
    }
}

AliasFile* alias_file_load(const std::string& path_in)
{
    if (path_in.empty())
        return nullptr;
    std::string path = path_in;
    file_fix_slashes(path);
    file_abs_settings_dir(path);
    if (path.size() > kMediumText)
        path.resize(kMediumText);

    AliasFile* successor = nullptr;
    bool had_old = false;
    int current = 0;
    int top = 0;
    int caret = 0;
    for (AliasFile* f = alias_files_head; f; f = f->next) {
        if (text_equal_nocase(f->path, path) || file_same_path(f->path, path)) {
            successor = f->next;
            current = f->current;
            top = f->editor_top;
            caret = f->editor_caret;
            had_old = true;
            unlink_file(f);
            free_file(f);
            break;
        }
    }

    auto* file = new AliasFile;
    file->path = path;
    file->id = win_alloc_id();
    file->current = current;
    file->editor_top = top;
    file->editor_caret = caret;
    file->lines = ini_load_list_file(path, "[aliases]", 1, 0);
    file->file_time = disk_time(path);
    alias_file_scan(file);

    AliasFile** pp = &alias_files_head;
    while (*pp && (!had_old || *pp != successor))
        pp = &(*pp)->next;
    file->next = *pp;
    *pp = file;

    alias_files_prune(file);
    alias_index_rebuild();
    script_watch_recheck = 1;
    return file;
}

AliasFile* alias_file_unload(AliasFile* file, int mode)
{
    if (!alias_file_is_loaded(file))
        return alias_files_head;
    AliasFile* prev = nullptr;
    for (AliasFile* f = alias_files_head; f && f != file; f = f->next)
        prev = f;
    std::string old_path = file->path;
    unlink_file(file);
    free_file(file);
    script_watch_recheck = 1;
    if (mode == 2)
        return prev ? prev->next : alias_files_head;
    if (mode == 0 && !alias_files_head) {
        std::string folder;
        std::string ext;
        std::size_t slash = old_path.find_last_of('/');
        folder = slash == std::string::npos ? settings_dir : old_path.substr(0, slash + 1);
        std::string name = alias_file_name_part(old_path);
        std::size_t dot = name.find_last_of('.');
        if (dot != std::string::npos)
            ext = name.substr(dot);
        for (unsigned n = 1; n < 100000; ++n) {
            std::string p = folder + "aliases" + std::to_string(n) + ext;
            if (!path_exists_or_loaded(p)) {
                alias_file_load(p);
                break;
            }
        }
    }
    if (mode == 0)
        alias_files_prune(nullptr);
    alias_index_rebuild();
    return prev ? prev->next : alias_files_head;
}

void alias_files_prune(AliasFile* keep)
{
    bool again = true;
    while (again) {
        again = false;
        if (alias_files_count() <= 1)
            return;
        for (AliasFile* f = alias_files_head; f; f = f->next) {
            if (f != keep && !f->lines && !file_exists(f->path, 1)) {
                alias_file_unload(f, 2);
                again = true;
                break;
            }
        }
    }
}

int alias_file_save(const std::string* new_path, AliasFile* file)
{
    if (!alias_file_is_loaded(file))
        return 0;
    if (new_path && !new_path->empty()) {
        std::string p = *new_path;
        file_fix_slashes(p);
        file_abs_settings_dir(p);
        if (p.size() > kMediumText)
            return 0;
        file->path = p;
    }
    if (opt(OPT_SCRIPT_BACKUP) && file_exists(file->path, 1))
        file_backup(file->path);
    int ok = ini_save_list_file(file->path, "[aliases]", file->lines);
    // An empty list leaves no file behind when there was none; make sure a
    // saved file exists so that the list keeps it.
    if (ok && !file->lines && !file_exists(file->path, 1))
        file_safe_save(file->path, std::string(), 0);
    file->file_time = disk_time(file->path);
    for (AliasFile* f = alias_files_head; f; f = f->next)
        if (f != file && text_equal_nocase(f->path, file->path))
            f->file_time = file->file_time;
    if (ok) {
        file->modified = 0;
        file->reload_pending = 0;
    }
    alias_files_save_list(0);
    return ok;
}

int alias_files_save_list(int mode)
{
    int index = 0;
    int position = 0;
    int ok = 1;
    for (AliasFile* f = alias_files_head; f; f = f->next, ++position) {
        if (f->current)
            index = position;
        if ((mode == 1 || mode == 2) && f->modified) {
            if (opt(OPT_SCRIPT_BACKUP) && file_exists(f->path, 1))
                file_backup(f->path);
            if (ini_save_list_file(f->path, "[aliases]", f->lines)) {
                f->modified = 0;
                f->reload_pending = 0;
                f->file_time = disk_time(f->path);
            } else {
                ok = 0;
            }
        }
        std::string key = "n" + std::to_string(position);
        std::string rel = file_relative_to_settings_dir(f->path);
        if (!ini_write("afiles", key.c_str(), rel.c_str(), main_ini_path))
            ok = 0;
    }
    if (!ini_delete_numbered_from("afiles", "n", position, main_ini_path))
        ok = 0;
    script_watch_recheck = 1;
    if (mode == 0 || mode == 1) {
        opt_set(OPT_ALIAS_FILE_INDEX, index);
        ini_save_options();
    }
    return ok;
}

void alias_files_reload_pending()
{
    for (AliasFile* f = alias_files_head; f; f = f->next) {
        if (!f->reload_pending)
            continue;
        strlist_free(&f->lines);
        f->lines = ini_load_list_file(f->path, "[aliases]", 1, 0);
        f->file_time = disk_time(f->path);
        alias_file_scan(f);
        f->reload_pending = 0;
    }
    alias_index_rebuild();
}

int alias_files_load_all()
{
    alias_files_free();
    int loaded = 0;
    for (int i = 0; i < 100000; ++i) {
        std::string key = "n" + std::to_string(i);
        std::string value;
        ini_read("afiles", key.c_str(), "", value, kMediumTextSize, main_ini_path);
        if (value.empty())
            break;
        file_fix_slashes(value);
        file_abs_settings_dir(value);
        if (file_exists(value, 1) && alias_file_load(value))
            ++loaded;
    }
    if (loaded == 0) {
        alias_file_load(settings_dir + "aliases.ini");
        alias_files_save_list(0);
    }
    int index = opt(OPT_ALIAS_FILE_INDEX);
    int position = 0;
    for (AliasFile* f = alias_files_head; f; f = f->next, ++position)
        f->current = (position == index) ? 1 : 0;
    alias_file_current();
    return 1;
}

void alias_files_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadAliasFiles, [](SettingsLoad&) { alias_files_load_all(); });
}
