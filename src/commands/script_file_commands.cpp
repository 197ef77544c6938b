#include "commands/script_file_commands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/popup_menubar.h"
#include "core/text_buffer.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"

namespace {

int remote_load_absent(const std::string&, int, int, int, EventContext*) { return 0; }
int remote_unload_absent(const std::string&, int, EventContext*) { return 0; }
int remote_save_absent(int, const std::string&) { return 0; }
int popup_absent(int, const std::string&) { return 0; }
void groups_changed_absent(ScriptFile*) {}
void nothing() {}
int flush_absent(CommandCall&, const std::string&, int) { return 0; }
void fire_pending_absent(CommandCall&) {}




std::string_view skip_blanks(std::string_view t)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    return t.substr(i);
}

void info(CommandCall& call, const std::string& text)
{
    if (call.show)
        script_echo_line(call.window, text, kColourInfo);
}

int whole_error(const std::string& text)
{
    return script_error(nullptr, text, {}, 6);
}

bool typed(const CommandCall& call)
{
    return call.run && call.run->mode == 0;
}

// The file argument from token index on (quotes allowed), resolved against
// the settings folder. 1 resolved, 0 unreadable or not a file name.
int file_argument(const CommandCall& call, std::size_t index, std::string& raw, std::string& path)
{
    if (arg_get_quoted(call.tokens, index, raw, kMediumText, 0) < 0 || raw.empty())
        return 0;
    file_fix_slashes(raw);
    return file_resolve_file_path(raw, path);
}

// Index position of a definition line in its file (1-based), 0 when absent.
int line_number_of(const AliasFile* file, const StringNode* line)
{
    int n = 1;
    for (const StringNode* l = file->lines; l; l = l->next, ++n)
        if (l == line)
            return n;
    return 0;
}

// The first alias-file definition of the name in the index.
const AliasIndexEntry* first_file_definition(std::string_view name)
{
    for (const AliasIndexEntry& e : alias_index_head(alias_index_head_of(name)))
        if (e.number == kAliasEntryFile && text_equal_nocase(e.name, name))
            return &e;
    return nullptr;
}

// Whether a definition line opens a block that stays open on that line.
bool opens_block(const StringNode* def)
{
    std::string_view t = def->text;
    std::string_view rest = t.substr(script_line_skip_prefix(t, nullptr, nullptr));
    std::size_t blank = rest.find(' ');
    if (blank == std::string_view::npos)
        return false;
    std::string_view after = skip_blanks(rest.substr(blank));
    return !after.empty() && after[0] == '{' && script_brace_depth(after, 0, 0) > 0;
}

StringNode* unlink_node(AliasFile* file, StringNode* node)
{
    StringNode* next = node->next;
    file->lines = strlist_remove(file->lines, node);
    return next;
}

bool is_blank_line(const StringNode* n)
{
    return skip_blanks(n->text).empty();
}

const char* const kPopupViews = "scqnm";

int popup_view(char c)
{
    for (int i = 0; kPopupViews[i]; ++i)
        if (kPopupViews[i] == c)
            return i;
    return -1;
}

} // namespace

int (*script_remote_load)(const std::string&, int, int, int, EventContext*) = remote_load_absent;
int (*script_remote_unload)(const std::string&, int, EventContext*) = remote_unload_absent;
void (*script_remote_fire_pending)(CommandCall&) = fire_pending_absent;
int (*script_remote_save)(int, const std::string&) = remote_save_absent;
int (*script_popup_load)(int, const std::string&) = popup_absent;
int (*script_popup_save)(int, const std::string&) = popup_absent;
void (*script_groups_changed)(ScriptFile*) = groups_changed_absent;
void (*script_event_index_rebuild)() = nothing;
void (*script_saveini_stores)() = nothing;
int (*script_users_flush)(CommandCall&, const std::string&, int) = flush_absent;

// ---------------------------------------------------------------------------
// /alias [file] name [commands]

int cmd_alias(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? "alias" : call.tokens[0];
    if (call.argc() < 1)
        return script_error(nullptr, word, {}, 0);

    AliasFile* target = nullptr;
    std::size_t name_index = 1;
    const std::string& t1 = call.arg(1);
    if (!t1.empty() && t1[0] == '"') {
        std::string raw;
        std::string path;
        int last = arg_get_quoted(call.tokens, 1, raw, kMediumText, 0);
        if (last < 0 || raw.empty())
            return script_error(nullptr, word, {}, 3);
        file_fix_slashes(raw);
        if (!file_resolve_file_path(raw, path))
            return script_error(nullptr, word, {}, 3);
        target = alias_file_find(path);
        if (!target && raw.find('/') == std::string::npos)
            target = alias_file_find(raw);
        name_index = static_cast<std::size_t>(last) + 1;
    } else {
        std::string raw = t1;
        file_fix_slashes(raw);
        std::string path;
        if (!file_resolve_path(raw, path))
            return script_error(nullptr, word, {}, 3);
        AliasFile* f = alias_file_find(path);
        if (!f && raw.find('/') == std::string::npos)
            f = alias_file_find(raw);
        if (f) {
            target = f;
            name_index = 2;
        }
    }
    if (name_index >= call.tokens.size() || call.tokens[name_index].empty())
        return script_error(nullptr, word, {}, 0);

    const std::string& written = call.tokens[name_index];
    std::string name = written.substr(script_line_skip_prefix(written, nullptr, nullptr));
    name = name.substr(0, name.find(' '));
    if (name.empty())
        return script_error(nullptr, word, {}, 0);
    std::string commands;
    arg_join_from(name_index + 1, commands, call.tokens);
    const bool adding = !skip_blanks(commands).empty();

    bool removed = false;
    bool block = false;
    int line_no = 0;
    std::string block_file;
    AliasFile* insert_file = nullptr;
    StringNode* insert_before = nullptr;
    bool insert_at_place = false;
    for (int guard = 0; guard < 100000; ++guard) {
        const AliasIndexEntry* e = first_file_definition(name);
        if (!e)
            break;
        auto* f = static_cast<AliasFile*>(const_cast<void*>(e->owner));
        StringNode* def = e->definition;
        if (!target)
            target = f;
        line_no = line_number_of(f, def);
        if (opens_block(def)) {
            block = true;
            block_file = alias_file_name_part(f->path);
            break;
        }
        StringNode* next = unlink_node(f, def);
        while (next && is_blank_line(next))
            next = unlink_node(f, next);
        insert_file = f;
        insert_before = next;
        insert_at_place = true;
        removed = true;
        alias_file_scan(f);
        f->modified = 1;
        alias_index_rebuild();
        if (adding)
            break;
    }

    if (adding) {
        if (block) {
            if (line_no > 0)
                return whole_error(script_text(773, name, std::to_string(line_no), block_file));
            return whole_error(script_text(704, name));
        }
        AliasFile* f = insert_at_place ? insert_file : (target ? target : alias_files_head);
        if (!f || !alias_file_is_loaded(f))
            return whole_error(script_text(706, name));
        std::string text = name + " " + std::string(skip_blanks(commands));
        if (text.size() > kLongText)
            text.resize(kLongText);
        StringNode* node = strlist_append(nullptr, std::string_view(text), 0);
        if (!node)
            return whole_error(script_text(706, name));
        f->lines = strlist_splice(f->lines, insert_at_place ? insert_before : nullptr, node);
        alias_file_scan(f);
        f->modified = 1;
        alias_index_rebuild();
        if (typed(call) && call.show)
            script_echo_line(call.window, script_text(removed ? 707 : 708, name), kColourInfo);
        return 1;
    }

    if (!(typed(call) && call.show))
        return 1;
    if (block)
        return whole_error(line_no > 0 ? script_text(773, name, std::to_string(line_no), block_file)
                                       : script_text(704, name));
    if (removed)
        return whole_error(script_text(703, name));
    return whole_error(script_text(705, name));
}

// ---------------------------------------------------------------------------
// /load and /reload

int cmd_load(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? "load" : call.tokens[0];
    const bool reload = text_equal_nocase(word, "reload");
    const std::string& sw = call.arg(1);
    if (sw.empty() || sw[0] != '-' || call.argc() < 2)
        return script_error(nullptr, word, {}, 0);
    if (sw.size() == 1)
        return script_error(nullptr, word, {}, 3);
    std::string raw;
    std::string path;
    if (!file_argument(call, 2, raw, path))
        return script_error(nullptr, word, {}, 3);
    if (!file_exists(path, 1))
        return script_error(nullptr, word, raw, 1);

    const std::string letters = text_lower_copy(sw.substr(1));
    const char k = letters[0];
    if (k == 'a') {
        if (!alias_file_load(path))
            return script_error(nullptr, word, {}, 2);
        alias_files_save_list(0);
        info(call, script_text(826, raw));
        return 1;
    }
    if (k == 'p') {
        int view = letters.size() > 1 ? popup_view(letters[1]) : -1;
        if (view < 0)
            return whole_error(script_text(832));
        if (!script_popup_load(view, path))
            return script_error(nullptr, word, {}, 2);
        info(call, script_text(827, raw));
        return 1;
    }
    if (k == 'r' && letters.size() > 1) {
        const char r = letters[1];
        if (r == 's') {
            int position = 0;
            for (std::size_t i = 2; i < letters.size() && letters[i] >= '0' && letters[i] <= '9'; ++i) {
                position = position * 10 + (letters[i] - '0');
                if (position > 100000)
                    position = 100000;
            }
            int res = script_remote_load(path, kRemoteScript, position, reload ? 1 : 0, call.halt);
            if (res == 2)
                return 1;
            if (res != 1)
                return script_error(nullptr, word, {}, 2);
            alias_index_rebuild();
            popup_menubar_rebuild(0, 1);
            info(call, script_text(reload ? 830 : 831, raw));
            script_remote_fire_pending(call);
            return 1;
        }
        if (r == 'u' || r == 'v') {
            const int kind = r == 'u' ? kRemoteUsers : kRemoteVariables;
            if (script_remote_load(path, kind, 0, reload ? 1 : 0, call.halt) != 1)
                return script_error(nullptr, word, {}, 2);
            info(call, script_text(r == 'u' ? 828 : 829, raw));
            return 1;
        }
    }
    return whole_error(script_text(832));
}

// ---------------------------------------------------------------------------
// /unload -a|-rs [-n] file

int cmd_unload(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? "unload" : call.tokens[0];
    const std::string& sw = call.arg(1);
    if (sw.empty() || sw[0] != '-' || call.argc() < 2)
        return script_error(nullptr, word, {}, 0);
    if (sw.size() == 1)
        return script_error(nullptr, word, {}, 3);
    std::string raw;
    if (arg_get_quoted(call.tokens, 2, raw, kMediumText, 0) < 0 || raw.empty())
        return script_error(nullptr, word, {}, 3);
    file_fix_slashes(raw);
    std::string name = raw;
    if (raw.find('/') != std::string::npos && !file_resolve_file_path(raw, name))
        return script_error(nullptr, word, {}, 3);

    std::string letters = text_lower_copy(sw.substr(1));
    const bool no_event = letters.find('n') != std::string::npos;
    if (!letters.empty() && letters[0] == 'n')
        letters.erase(0, 1);
    if (!letters.empty() && letters[0] == 'a') {
        AliasFile* f = alias_file_find(name);
        if (!f)
            return script_error(nullptr, word, raw, 1);
        if (f->modified)
            alias_file_save(nullptr, f);
        alias_file_unload(f, 0);
        alias_files_save_list(0);
        info(call, script_text(958, raw));
        return 1;
    }
    if (letters.size() >= 2 && letters[0] == 'r' && letters[1] == 's') {
        int res = script_remote_unload(name, no_event ? 1 : 0, call.halt);
        if (res == 0)
            return script_error(nullptr, word, raw, 1);
        if (res == 2)
            return 1;
        alias_index_rebuild();
        popup_menubar_rebuild(0, 1);
        info(call, script_text(959, raw));
        return 1;
    }
    return whole_error(script_text(960));
}

// ---------------------------------------------------------------------------
// /save -p?|-ru|-rv file

int cmd_save(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? "save" : call.tokens[0];
    const std::string& sw = call.arg(1);
    if (sw.empty() || sw[0] != '-' || call.argc() < 2)
        return script_error(nullptr, word, {}, 0);
    std::string raw;
    std::string path;
    if (sw.size() == 1 || !file_argument(call, 2, raw, path) || file_is_device(alias_file_name_part(path)))
        return script_error(nullptr, word, {}, 3);
    // The file must be writable: open it for appending (made when missing).
    {
        FILE* fp = std::fopen(path.c_str(), "ab");
        if (!fp)
            return script_error(nullptr, word, raw, 4);
        std::fclose(fp);
    }
    const std::string letters = text_lower_copy(sw.substr(1));
    if (letters[0] == 'p') {
        int view = letters.size() > 1 ? popup_view(letters[1]) : -1;
        if (view < 0)
            return whole_error(script_text(925));
        if (!script_popup_save(view, path))
            return script_error(nullptr, word, raw, 4);
        info(call, script_text(922, raw));
        return 1;
    }
    if (letters[0] == 'r') {
        const char r = letters.size() > 1 ? letters[1] : 0;
        if (r == 'u' || r == 'v') {
            if (!script_remote_save(r == 'u' ? kRemoteUsers : kRemoteVariables, path))
                return script_error(nullptr, word, raw, 4);
            info(call, script_text(r == 'u' ? 923 : 924, raw));
            return 1;
        }
        script_echo_line(call.window, script_text(925), kColourInfo);
        return 1;
    }
    return whole_error(script_text(925));
}

// ---------------------------------------------------------------------------
// /remote [on|off]

int cmd_remote(CommandCall& call)
{
    const std::string& w = call.arg(1);
    if (text_equal_nocase(w, "on") || text_equal_nocase(w, "off")) {
        const int v = text_equal_nocase(w, "on") ? 1 : 0;
        opt_set(OPT_REMOTE_CTCPS, v);
        opt_set(OPT_REMOTE_EVENTS, v);
        opt_set(OPT_REMOTE_RAW, v);
    }
    if (call.show) {
        std::string names;
        auto add = [&](OptionId id, const char* n) {
            if (opt(id)) {
                if (!names.empty())
                    names += ",";
                names += n;
            }
        };
        add(OPT_REMOTE_CTCPS, "Ctcps");
        add(OPT_REMOTE_EVENTS, "Events");
        add(OPT_REMOTE_RAW, "Raw");
        if (names.empty())
            script_echo_line(call.window, script_text(912), kColourInfo);
        else
            script_echo_line(call.window, script_text(913) + " (" + names + ")", kColourInfo);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// /enable and /disable #group ...

namespace {

// The group line's name ("#name") and state word, or false when the line
// is no group line.
bool group_line(std::string_view text, std::string_view* name, std::string_view* state)
{
    std::string_view body = skip_blanks(text);
    if (body.size() < 2 || body[0] != '#')
        return false;
    std::size_t blank = body.find(' ');
    if (blank == std::string_view::npos)
        return false;
    std::string_view w = skip_blanks(body.substr(blank));
    w = w.substr(0, w.find(' '));
    if (!text_equal_nocase(w, "on") && !text_equal_nocase(w, "off"))
        return false;
    *name = body.substr(0, blank);
    *state = w;
    return true;
}

} // namespace

int cmd_enable(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? "enable" : call.tokens[0];
    if (call.argc() < 1)
        return script_error(nullptr, word, {}, 0);
    const bool enable = !text_equal_nocase(word, "disable");
    bool matched = false;
    bool changed = false;
    std::vector<AliasScriptRef> scripts = alias_script_files();
    for (const AliasScriptRef& ref : scripts) {
        bool file_changed = false;
        for (StringNode* n = ref.lines; n; n = n->next) {
            std::string_view name;
            std::string_view state;
            if (!group_line(n->text, &name, &state))
                continue;
            bool hit = false;
            for (std::size_t i = 1; i < call.tokens.size() && !hit; ++i)
                if (!call.tokens[i].empty() && wild_match(call.tokens[i], name, 0, 1))
                    hit = true;
            if (!hit)
                continue;
            matched = true;
            const bool is_on = text_equal_nocase(state, "on");
            if (is_on == enable)
                continue;
            std::string text(name);
            text += enable ? " on" : " off";
            n->text = text;
            file_changed = true;
        }
        if (file_changed) {
            changed = true;
            script_groups_changed(ref.file);
        }
    }
    if (changed) {
        alias_index_rebuild();
        script_event_index_rebuild();
        info(call, script_text(enable ? 749 : 750));
    } else if (matched) {
        info(call, script_text(751));
    } else {
        info(call, script_text(752, word));
    }
    return 1;
}

// ---------------------------------------------------------------------------
// /groups [-e|-d]

int cmd_groups(CommandCall& call)
{
    const std::string sel = text_lower_copy(call.arg(1));
    const int only = sel.find('e') != std::string::npos ? 1 : (sel.find('d') != std::string::npos ? 2 : 0);
    const std::string separator = main_settings.line_separator;
    script_echo_line(call.window, separator, kColourInfo2);
    for (const AliasScriptRef& ref : alias_script_files()) {
        script_echo_line(call.window, script_text(814, alias_file_name_part(ref.path)), kColourInfo);
        int shown = 0;
        for (StringNode* n = ref.lines; n; n = n->next) {
            std::string_view name;
            std::string_view state;
            if (!group_line(n->text, &name, &state))
                continue;
            const bool on = text_equal_nocase(state, "on");
            if ((only == 1 && !on) || (only == 2 && on))
                continue;
            script_echo_line(call.window, " " + std::string(skip_blanks(n->text)), kColourInfo2);
            ++shown;
        }
        if (!shown)
            script_echo_line(call.window, script_text(815), kColourInfo2);
    }
    script_echo_line(call.window, separator, kColourInfo2);
    return 1;
}

// ---------------------------------------------------------------------------
// /saveini, /flushini, /flush

int cmd_saveini(CommandCall&)
{
    settings_save_all();
    alias_files_save_list(1);
    script_saveini_stores();
    return 1;
}

int cmd_flushini(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? "flushini" : call.tokens[0];
    if (call.argc() < 1)
        return script_error(nullptr, word, {}, 0);
    std::string raw;
    std::string path;
    if (!file_argument(call, 1, raw, path))
        return script_error(nullptr, word, {}, 3);
    // The settings layer writes through at once and caches nothing: there is
    // nothing left to write.
    return 1;
}

int cmd_flush(CommandCall& call)
{
    std::size_t i = 1;
    int keep_levels = 0;
    const std::string& a1 = call.arg(1);
    if (!a1.empty() && a1[0] == '-') {
        keep_levels = text_lower_copy(a1).find('l') != std::string::npos ? 1 : 0;
        i = 2;
    }
    std::string levels;
    arg_join_from(i, levels, call.tokens);
    int removed = script_users_flush(call, levels, keep_levels && !levels.empty());
    if (removed > 0)
        info(call, script_text(806, std::to_string(removed)));
    else
        info(call, script_text(807));
    return 1;
}

void script_file_commands_register()
{
    alias_files_install();
    script_register_command_family("cmd_alias", cmd_alias);
    script_register_command_family("cmd_load", cmd_load);
    script_register_command_family("cmd_unload", cmd_unload);
    script_register_command_family("cmd_save", cmd_save);
    script_register_command_family("cmd_remote", cmd_remote);
    script_register_command_family("cmd_enable", cmd_enable);
    script_register_command_family("cmd_groups", cmd_groups);
    script_register_command_family("cmd_saveini", cmd_saveini);
    script_register_command_family("cmd_flushini", cmd_flushini);
    script_register_command_family("cmd_flush", cmd_flush);
}
