// Remote script files: list, classifier, load, unload, save, LOAD/START.
#include "script/events/remote_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>

#include "model/connection.h"

#include "core/text_buffer.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/stores/alias_files.h"
#include "script/stores/variables.h"

ScriptFile* remote_list = nullptr;
unsigned remote_list_generation = 0;
int remote_backup_on_save = 0;

namespace {

// The alias files are script files too: script_file_by_id and the liveness
// test know them. Their records have their own type: the answer for one of
// them is only compared or tested, never read.
ScriptFile* alias_file_by_id(int id)
{
    for (AliasFile* a = alias_files_head; a; a = a->next)
        if (a->id == id)
            return reinterpret_cast<ScriptFile*>(a);
    return nullptr;
}

int alias_file_is_live(const ScriptFile* file)
{
    const void* p = file;
    for (AliasFile* a = alias_files_head; a; a = a->next)
        if (static_cast<const void*>(a) == p)
            return 1;
    return 0;
}

int g_next_id = 0;
int g_loading_complete = 1;
int g_selection_index = 0;
int g_fire_busy = 0;

int next_id()
{
    for (int tries = 0; tries < 15000; ++tries) {
        g_next_id = g_next_id >= 14999 ? 1 : g_next_id + 1;
        if (!script_file_by_id(g_next_id))
            return g_next_id;
    }
    return 0;
}


bool istarts(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text_equal_nocase(text.substr(0, prefix.size()), prefix);
}

bool ends_ini(std::string_view path)
{
    return path.size() >= 4 && text_equal_nocase(path.substr(path.size() - 4), ".ini");
}

long long file_mtime(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<long long>(st.st_mtime);
}

std::string_view bare_name(std::string_view path)
{
    std::size_t k = path.find_last_of('/');
    return k == std::string_view::npos ? path : path.substr(k + 1);
}

const char* section_of(int kind)
{
    return kind == kRemoteUsers ? "[users]" : kind == kRemoteVariables ? "[variables]" : "[script]";
}

// The first word of a line after blanks, and where it ends.
std::string_view first_word(std::string_view t)
{
    std::size_t k = t.find(' ');
    return k == std::string_view::npos ? t : t.substr(0, k);
}

std::string_view skip_blanks(std::string_view t)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    return t.substr(i);
}

void read_lines(ScriptFile* f)
{
    strlist_free(&f->lines);
    f->lines = ini_load_list_file(f->path, f->section.c_str(), 1, 0);
    f->file_time = file_mtime(f->path);
}

void classify_by_kind(ScriptFile* f)
{
    if (f->kind == kRemoteScript) {
        script_classify(f->lines, f);
    } else {
        script_reindent(f->lines, f, 2);
        script_line_comment_state(f->lines);
        for (StringNode* n = f->lines; n; n = n->next)
            n->extra[kLineScript] = reinterpret_cast<std::intptr_t>(f);
    }
}

void free_record(ScriptFile* f)
{
    strlist_free(&f->lines);
    delete f;
}

void unlink_record(ScriptFile* f)
{
    ScriptFile** pp = &remote_list;
    while (*pp && *pp != f)
        pp = &(*pp)->next;
    if (*pp)
        *pp = f->next;
    f->next = nullptr;
}

void insert_at(ScriptFile* f, int position)
{
    if (position < 1 || position >= 9999 || !remote_list) {
        ScriptFile** pp = &remote_list;
        while (*pp)
            pp = &(*pp)->next;
        *pp = f;
        return;
    }
    ScriptFile** pp = &remote_list;
    for (int i = 1; i < position && *pp; ++i)
        pp = &(*pp)->next;
    f->next = *pp;
    *pp = f;
}

int count_scripts()
{
    int n = 0;
    for (ScriptFile* f = remote_list; f; f = f->next)
        n += f->kind == kRemoteScript;
    return n;
}

void drop_empty_scripts(ScriptFile* keep)
{
    bool again = true;
    while (again && count_scripts() > 1) {
        again = false;
        for (ScriptFile* f = remote_list; f; f = f->next) {
            if (f != keep && f->kind == kRemoteScript && !f->lines && !file_exists(f->path, 1)) {
                remote_file_unload(f, 2);
                again = true;
                break;
            }
        }
    }
}

void reindex_all()
{
    remote_index_events();
    ++remote_list_generation;
    alias_index_rebuild();
}

std::string relative_path(const std::string& path)
{
    if (!settings_dir.empty() && path.size() > settings_dir.size() &&
        path.compare(0, settings_dir.size(), settings_dir) == 0)
        return path.substr(settings_dir.size());
    return path;
}

std::string absolute_path(std::string path)
{
    file_fix_slashes(path);
    file_abs_settings_dir(path);
    if (path.size() > 1024)
        path.clear();
    return path;
}

} // namespace

int (*remote_ask_init_warning)() = nullptr;

int remote_events_enabled()
{
    return event_switch_events;
}

// ---------------------------------------------------------------------------

int ScriptLine::kind() const { return node ? static_cast<int>(node->extra[kLineClass]) : kLineNone; }
int ScriptLine::number() const { return node ? static_cast<int>(node->extra[kLineNumber]) : 0; }
bool ScriptLine::caret() const { return node && (node->extra[kLineFlags] & kLineFlagCaret); }
bool ScriptLine::enabled() const { return node && (node->extra[kLineFlags] & kLineFlagEnabled); }
ScriptFile* ScriptLine::file() const
{
    return node ? reinterpret_cast<ScriptFile*>(node->extra[kLineScript]) : nullptr;
}
StringNode* ScriptLine::next_definition() const
{
    return node ? reinterpret_cast<StringNode*>(node->extra[kLineNextDef]) : nullptr;
}

// ---------------------------------------------------------------------------

void script_reindent(StringNode* lines, ScriptFile*, int mode)
{
    // Two blanks per level up to 64 levels, as the alias files indent.
    constexpr int kMaxIndent = 128;
    if (mode == 2) {
        for (StringNode* n = lines; n; n = n->next) {
            std::size_t i = 0;
            while (i < n->text.size() && n->text[i] == ' ')
                ++i;
            if (i)
                n->text.erase(0, i);
        }
        return;
    }
    script_line_comment_state(lines);
    int depth = 0;
    int comment_depth = -1;
    bool continued = false;
    for (StringNode* n = lines; n; n = n->next) {
        std::string_view body = skip_blanks(n->text);
        int indent;
        bool in_comment = n->extra[kLineComment] != 0 && n->extra[kLineComment] != 1;
        if (in_comment) {
            if (comment_depth < 0)
                comment_depth = depth;
            indent = comment_depth * 2;
            if (n->extra[kLineComment] == 3)
                comment_depth = -1;
        } else {
            comment_depth = -1;
            int after = body.empty() ? depth : script_brace_depth(body, depth, 0);
            if (after < 0)
                after = 0;
            indent = (after < depth ? after : depth) * 2;
            depth = after;
        }
        if (continued)
            indent += 2;
        continued = body.size() >= 2 && body.substr(body.size() - 2) == "$&";
        if (body.empty())
            indent = 0;
        // Deep nesting is drawn no deeper than the indent cap, so a line
        // never holds more blanks than that and a file of nothing but "{"
        // costs memory in proportion to its size.
        if (indent > kMaxIndent)
            indent = kMaxIndent;
        std::size_t have = n->text.size() - body.size();
        if (have != static_cast<std::size_t>(indent)) {
            std::string t;
            std::size_t keep = std::min(body.size(), kLongText - static_cast<std::size_t>(indent));
            t.reserve(static_cast<std::size_t>(indent) + keep);
            t.append(static_cast<std::size_t>(indent), ' ');
            t.append(body.substr(0, keep));
            n->text = std::move(t);
        }
    }
}

void script_classify(StringNode* lines, ScriptFile* file)
{
    script_reindent(lines, file, 0);
    script_line_comment_state(lines);
    int depth = 0;
    bool enabled = true;
    std::string open_group;
    StringNode* prev_def = nullptr;
    StringNode* prev_group = nullptr;
    for (StringNode* n = lines; n; n = n->next) {
        n->extra[kLineClass] = kLineNone;
        n->extra[kLineNumber] = 0;
        n->extra[kLineFlags] = enabled ? kLineFlagEnabled : 0;
        n->extra[kLineScript] = reinterpret_cast<std::intptr_t>(file);
        n->extra[kLineKind] = 0;
        n->extra[kLineNextDef] = 0;
        int before = depth;
        if (n->extra[kLineComment] != 0) {
            n->extra[kLineDepth] = depth;
            continue;
        }
        std::string_view body = skip_blanks(n->text);
        if (body.empty()) {
            n->extra[kLineDepth] = depth;
            continue;
        }
        depth = script_brace_depth(body, depth, 0);
        if (depth < 0)
            depth = 0;
        n->extra[kLineDepth] = depth;
        if (before > 0)
            continue;
        std::string_view word = first_word(body);
        int kind = kLineOther;
        if (body[0] == '#') {
            std::string_view rest = skip_blanks(body.substr(word.size()));
            std::string_view second = first_word(rest);
            std::string name(word.substr(0, 256));
            if (text_equal_nocase(second, "end") && !open_group.empty() && text_equal_nocase(name, open_group)) {
                kind = kLineGroupEnd;
                open_group.clear();
            } else if (!open_group.empty() && !second.empty()) {
                kind = kLineGroupInside;
            } else if (text_equal_nocase(second, "on")) {
                kind = kLineGroupOn;
                open_group = name;
            } else if (text_equal_nocase(second, "off")) {
                kind = kLineGroupOff;
                open_group = name;
            } else if (text_equal_nocase(second, "end")) {
                kind = kLineGroupEnd;
            }
            if (kind == kLineGroupInside || kind == kLineGroupEnd || kind == kLineGroupOn ||
                kind == kLineGroupOff) {
                enabled = kind != kLineGroupOff;
                n->extra[kLineFlags] = kLineFlagEnabled;
                if (prev_group)
                    prev_group->extra[kLineNumber] = 0;
                prev_group = n;
            }
        } else if (text_equal_nocase(word, "raw")) {
            kind = kLineRaw;
            std::string_view rest = skip_blanks(body.substr(word.size()));
            if (!rest.empty() && rest[0] >= '0' && rest[0] <= '9') {
                int v = 0;
                for (std::size_t i = 0; i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && v < 100000; ++i)
                    v = v * 10 + (rest[i] - '0');
                n->extra[kLineNumber] = v;
            }
        } else if (text_equal_nocase(word, "on") || text_equal_nocase(word, "ctcp")) {
            kind = text_equal_nocase(word, "on") ? kLineOn : kLineCtcp;
            std::string_view rest = skip_blanks(body.substr(word.size()));
            if (istarts(rest, "me:"))
                rest = skip_blanks(rest.substr(3));
            std::size_t colon = rest.find(':');
            std::string_view level = rest.substr(0, colon);
            if (level.find('^') != std::string_view::npos)
                n->extra[kLineFlags] |= kLineFlagCaret;
            if (colon != std::string_view::npos) {
                std::string_view ev = skip_blanks(rest.substr(colon + 1));
                if (!ev.empty())
                    n->extra[kLineNumber] = std::toupper(static_cast<unsigned char>(ev[0]));
            }
        } else if (text_equal_nocase(word, "alias")) {
            kind = kLineAlias;
        } else if (text_equal_nocase(word, "menu")) {
            kind = kLineMenu;
        } else if (text_equal_nocase(word, "dialog")) {
            kind = kLineDialog;
        }
        n->extra[kLineClass] = kind;
        n->extra[kLineKind] = 1;   // a definition starts here: runs stop before it
        if (prev_def)
            prev_def->extra[kLineNextDef] = reinterpret_cast<std::intptr_t>(n);
        prev_def = n;
    }
}

// ---------------------------------------------------------------------------

ScriptFile* remote_file_find(const std::string& path, int kind)
{
    std::string p = path;
    file_fix_slashes(p);
    for (ScriptFile* f = remote_list; f; f = f->next)
        if ((kind < 0 || f->kind == kind) && text_equal_nocase(f->path, p))
            return f;
    if (p.find('/') == std::string::npos) {
        for (ScriptFile* f = remote_list; f; f = f->next)
            if ((kind < 0 || f->kind == kind) && text_equal_nocase(bare_name(f->path), p))
                return f;
    }
    return nullptr;
}

ScriptFile* remote_file_of_kind(int kind)
{
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->kind == kind)
            return f;
    return nullptr;
}

ScriptFile* remote_file_current()
{
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->selected)
            return f;
    if (remote_list)
        remote_list->selected = 1;
    return remote_list;
}

int remote_file_is_loaded(const ScriptFile* file)
{
    if (!file)
        return 0;
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f == file)
            return 1;
    return 0;
}

ScriptFile* script_file_by_id(int id)
{
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->id == id)
            return f;
    return alias_file_by_id(id);
}

void remote_files_free_all()
{
    remote_index_clear(1);
    while (remote_list) {
        ScriptFile* f = remote_list;
        remote_list = f->next;
        free_record(f);
    }
    ++remote_list_generation;
    alias_index_rebuild();
}

ScriptFile* remote_file_load(const std::string& in_path, int kind, int position,
                             ScriptFile** replaced)
{
    if (replaced)
        *replaced = nullptr;
    std::string path = in_path;
    file_fix_slashes(path);
    if (path.empty() || path.size() > 1024)
        return nullptr;
    ScriptFile* old = nullptr;
    if (kind == kRemoteUsers || kind == kRemoteVariables) {
        ScriptFile* named = remote_file_find(path, -1);
        if (!ends_ini(path) && named) {
            int other = kind == kRemoteUsers ? kRemoteVariables : kRemoteUsers;
            if (named->kind == other) {
                for (ScriptFile* f = remote_list; f; f = f->next)
                    f->selected = f == named;
                return named;
            }
            old = named;
        } else {
            old = remote_file_of_kind(kind);
        }
    } else {
        for (ScriptFile* f = remote_list; f; f = f->next)
            if (f->kind == kRemoteScript && text_equal_nocase(f->path, path))
                old = f;
    }
    auto* f = new (std::nothrow) ScriptFile;
    if (!f) {
        script_error(nullptr, "scripts", {}, 5);
        return nullptr;
    }
    f->path = path;
    f->kind = kind;
    f->section = section_of(kind);
    if (old) {
        int place = 1;
        for (ScriptFile* g = remote_list; g && g != old; g = g->next)
            ++place;
        if (position == 0)
            position = place;
        f->selected = old->selected;
        f->unload_state = old->unload_state;
        f->hotlink_state = old->hotlink_state;
        f->carried[0] = old->carried[0];
        f->carried[1] = old->carried[1];
        if (replaced)
            *replaced = old;
        remote_file_unload(old, 1);
        old = nullptr;
    }
    f->id = next_id();
    if (kind == kRemoteVariables) {
        var_file_load(path);
        f->file_time = file_mtime(path);
    } else {
        read_lines(f);
    }
    classify_by_kind(f);
    insert_at(f, position);
    if (kind == kRemoteScript)
        drop_empty_scripts(f);
    if (kind == kRemoteScript && g_loading_complete)
        reindex_all();
    else
        ++remote_list_generation;
    return f;
}

ScriptFile* remote_file_unload(ScriptFile* file, int mode)
{
    if (!remote_file_is_loaded(file))
        return nullptr;
    if (mode == 0 && file->kind != kRemoteScript)
        return file;
    ScriptFile* after = file->next;
    std::string old_path = file->path;
    int kind = file->kind;
    // Entries of the index point into the lines: drop them first.
    remote_index_clear(1);
    unlink_record(file);
    free_record(file);
    ++remote_list_generation;
    if (mode == 0 && kind == kRemoteScript && count_scripts() == 0) {
        std::string folder(old_path.substr(0, old_path.size() - bare_name(old_path).size()));
        std::string_view name = bare_name(old_path);
        std::size_t dot = name.find_last_of('.');
        std::string ext(dot == std::string_view::npos ? std::string_view() : name.substr(dot));
        for (int n = 1; n < 100000; ++n) {
            std::string candidate = folder + "script" + std::to_string(n) + ext;
            if (!remote_file_find(candidate, -1) && !file_exists(candidate, 3)) {
                after = remote_file_load(candidate, kRemoteScript, 9999, nullptr);
                drop_empty_scripts(after);
                break;
            }
        }
    }
    if (mode == 2)
        return nullptr;
    reindex_all();
    return after;
}

int remote_file_save(const std::string* new_path, ScriptFile* file)
{
    if (!remote_file_is_loaded(file))
        return 0;
    if (new_path && !new_path->empty()) {
        std::string p = *new_path;
        file_fix_slashes(p);
        if (p.size() > 1024)
            return 0;
        file->path = p;
    }
    file->modified = 1;
    return remote_files_save_list(1);
}

namespace {

int save_one(ScriptFile* f)
{
    if (f->kind == kRemoteVariables) {
        std::string p = f->path;
        int ok = var_file_save(&p);
        f->modified = 0;
        f->reload = 0;
        f->file_time = file_mtime(f->path);
        return ok;
    }
    if (remote_backup_on_save && file_exists(f->path, 1)) {
        StringNode* old = ini_load_list_file(f->path, f->section.c_str(), 1, 0);
        ini_save_list_file(f->path + ".bak", f->section.c_str(), old);
        strlist_free(&old);
    }
    int ok = ini_save_list_file(f->path, f->section.c_str(), f->lines);
    if (ok) {
        f->modified = 0;
        f->reload = 0;
        f->file_time = file_mtime(f->path);
    }
    return ok;
}

} // namespace

int remote_file_write(ScriptFile* file)
{
    return remote_file_is_loaded(file) ? save_one(file) : 0;
}

int remote_files_save_list(int mode)
{
    int ok = 1;
    int index = 0;
    for (ScriptFile* f = remote_list; f; f = f->next, ++index)
        if (f->selected)
            g_selection_index = index;
    auto write_key = [](int k, const std::string& path) {
        std::string key = "n" + std::to_string(k);
        ini_write("rfiles", key.c_str(), relative_path(path).c_str(), main_ini_path);
    };
    ScriptFile* users = remote_file_of_kind(kRemoteUsers);
    ScriptFile* vars = remote_file_of_kind(kRemoteVariables);
    if (users) {
        if (mode && users->modified)
            ok &= save_one(users);
        write_key(0, users->path);
    }
    if (vars) {
        if (mode && vars->modified)
            ok &= save_one(vars);
        write_key(1, vars->path);
    }
    int k = 2;
    for (ScriptFile* f = remote_list; f; f = f->next) {
        if (f->kind != kRemoteScript)
            continue;
        if (mode && f->modified)
            ok &= save_one(f);
        if (file_exists(f->path, 1))
            write_key(k++, f->path);
    }
    ini_delete_numbered_from("rfiles", "n", k, main_ini_path);
    ini_write("rfiles", "selected", std::to_string(g_selection_index).c_str(), main_ini_path);
    return ok;
}

void remote_files_reload_changed()
{
    bool any = false;
    for (ScriptFile* f = remote_list; f; f = f->next) {
        if (!f->reload)
            continue;
        any = true;
        remote_index_clear(1);
        if (f->kind == kRemoteVariables)
            var_file_load(f->path);
        else
            read_lines(f);
        classify_by_kind(f);
        f->reload = 0;
    }
    if (any)
        reindex_all();
}

int remote_files_load_all()
{
    remote_files_free_all();
    g_loading_complete = 0;
    std::string value;
    ini_read("rfiles", "n0", "users.ini", value, 1024, main_ini_path);
    if (value.empty())
        value = "users.ini";
    remote_file_load(absolute_path(value), kRemoteUsers, 9999, nullptr);
    ini_read("rfiles", "n1", "vars.ini", value, 1024, main_ini_path);
    if (value.empty())
        value = "vars.ini";
    remote_file_load(absolute_path(value), kRemoteVariables, 9999, nullptr);
    int loaded = 0;
    for (int k = 2; k < 100000; ++k) {
        std::string key = "n" + std::to_string(k);
        ini_read("rfiles", key.c_str(), "", value, 1024, main_ini_path);
        if (value.empty())
            break;
        std::string path = absolute_path(value);
        if (path.empty() || !file_exists(path, 1))
            continue;
        if (remote_file_load(path, kRemoteScript, 9999, nullptr))
            ++loaded;
    }
    if (!loaded) {
        std::string folder = settings_dir + "scripts/";
        std::string path = (file_exists(folder, 2) ? folder : settings_dir) + "remote.ini";
        ScriptFile* f = remote_file_load(path, kRemoteScript, 9999, nullptr);
        if (f)
            strlist_free(&f->lines);
    }
    ini_read("rfiles", "selected", "0", value, 32, main_ini_path);
    int sel = std::atoi(value.c_str());
    int i = 0;
    for (ScriptFile* f = remote_list; f; f = f->next, ++i)
        f->selected = i == sel;
    remote_file_current();
    g_loading_complete = 1;
    reindex_all();
    return 1;
}

void script_fire_load_start(int which, Connection* conn, int quiet)
{
    if (g_fire_busy || !remote_events_enabled())
        return;
    if (!conn)
        conn = conn_current();
    if (!conn_is_live(conn))
        return;
    g_fire_busy = 1;
    bool fire = true;
    if (which != kEvStart && !quiet &&
        (event_has_handler(kEvLoad) || event_has_handler(kEvStart)))
        fire = !remote_ask_init_warning || remote_ask_init_warning() != 0;
    if (fire) {
        if (which == kEvLoad) {
            for (int guard = 0; guard < 1000 && event_has_handler(kEvLoad); ++guard)
                event_fire(conn, nullptr, nullptr, "LOAD", kEvLoad, 0, nullptr, nullptr);
        }
        for (int guard = 0; guard < 1000 && event_has_handler(kEvStart); ++guard)
            event_fire(conn, nullptr, nullptr, "START", kEvStart, 0, nullptr, nullptr);
    }
    g_fire_busy = 0;
    remote_files_save_list(0);
}

int remote_script_file_is_live(const ScriptFile* file)
{
    if (!file)
        return 0;
    if (remote_file_is_loaded(file))
        return 1;
    // A freed record's address may be reused by another store's record,
    // so only the stores' own lists say what is live.
    return alias_file_is_live(file);
}
