#include "commands/script_file_commands.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/popup_menubar.h"
#include "commands/popup_commands.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/executor.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/popups.h"
#include "script/stores/alias_files.h"

namespace {

// The running firing when `running` is one (a /load or /unload inside a
// handler), else null.
EventFireContext* running_firing(EventContext* running)
{
    if (!running)
        return nullptr;
    EventFireContext* ctx = event_current_context();
    return ctx && static_cast<EventContext*>(ctx) == running ? ctx : nullptr;
}

// The level words of a users-file entry (before its first ":"), lower-cased.
std::vector<std::string> level_words(std::string_view list)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i <= list.size()) {
        std::size_t k = list.find(',', i);
        if (k == std::string_view::npos)
            k = list.size();
        std::string_view w = list.substr(i, k - i);
        while (!w.empty() && w.front() == ' ')
            w.remove_prefix(1);
        while (!w.empty() && w.back() == ' ')
            w.remove_suffix(1);
        if (!w.empty())
            out.push_back(text_lower_copy(w));
        i = k + 1;
    }
    return out;
}

// The nicks (lower-cased) of every channel window of the connection.
std::unordered_set<std::string> channel_nicks(Connection* conn)
{
    std::unordered_set<std::string> nicks;
    if (!conn || !conn_is_live(conn))
        return nicks;
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (rec->type != kWinChannel || rec->conn != conn)
            continue;
        for (StringNode* n = rec->nick_list; n; n = n->next)
            nicks.insert(text_lower_copy(n->text));
    }
    return nicks;
}

// The nick of a users-file line that /flush may remove, or "" for a line
// it leaves alone (no ":", an empty address, a mask with "!", or levels
// given and none of them on the line).
std::string flushable_nick(std::string_view line, const std::vector<std::string>& wanted)
{
    if (!line.empty() && line.front() == '=')
        line.remove_prefix(1);
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return {};
    std::string_view address = line.substr(colon + 1);
    while (!address.empty() && address.front() == ' ')
        address.remove_prefix(1);
    while (!address.empty() && address.back() == ' ')
        address.remove_suffix(1);
    if (address.empty() || address.find('!') != std::string_view::npos)
        return {};
    if (!wanted.empty()) {
        bool any = false;
        for (const std::string& have : level_words(line.substr(0, colon)))
            for (const std::string& w : wanted)
                any = any || have == w;
        if (!any)
            return {};
    }
    return std::string(address);
}

// Loads a remote file of the kind. For scripts, position N >= 1 puts it at
// place N among the scripts (0: an old copy keeps its place, a new one goes
// last), reload 1 clears its LOAD and START flags, and the running event
// (may be null) forgets the old copy. The store saves its list and the
// indexes are built again. 1 loaded, 2 the same script is being unloaded
// (end quietly), 0 failed.
int remote_load(const std::string& path, int kind, int position, int reload,
                            EventContext* running)
{
    if (kind == kRemoteScript) {
        ScriptFile* same = remote_file_find(path, kRemoteScript);
        if (same && same->unload_state)
            return 2;
    }
    // A place among the scripts: the users and variables files stand first.
    int place = 0;
    if (kind == kRemoteScript && position >= 1)
        place = position > 9000 ? 9999 : position + 2;
    ScriptFile* replaced = nullptr;
    ScriptFile* f = remote_file_load(path, kind, place, &replaced);
    if (!f)
        return 0;
    if (kind == kRemoteScript) {
        if (reload) {
            f->load_state = 0;
            f->start_state = 0;
        }
        if (EventFireContext* ctx = running_firing(running)) {
            if (replaced)
                event_ctx_forget_script(ctx, replaced);
            event_ctx_add_script(ctx, f);
        }
    }
    remote_files_save_list(0);
    alias_index_rebuild();
    return 1;
}

// Unloads the script of that path or bare file name: writes it when
// changed, fires UNLOAD unless no_event, unloads it and saves the list.
// 1 done, 2 already being unloaded, 0 no such script.
int remote_unload(const std::string& name, int no_event, EventContext* running)
{
    ScriptFile* f = remote_file_find(name, kRemoteScript);
    if (!f)
        return 0;
    if (f->unload_state)
        return 2;
    const int id = f->id;
    f->unload_state = 1;
    if (f->modified)
        remote_file_write(f);
    if (!no_event && remote_events_enabled()) {
        Connection* conn = conn_current();
        if (conn && conn_is_live(conn))
            event_fire(conn, nullptr, nullptr, "UNLOAD", kEvUnload, 0, nullptr, nullptr);
    }
    // A handler may have replaced or unloaded it meanwhile.
    if (remote_file_is_loaded(f) && f->id == id) {
        if (EventFireContext* ctx = running_firing(running))
            event_ctx_forget_script(ctx, f);
        remote_file_unload(f, 0);
        remote_files_save_list(0);
    }
    alias_index_rebuild();
    return 1;
}

// Saves the users or variables file under the path; 1 on success.
int remote_save(int kind, const std::string& path)
{
    if (kind != kRemoteUsers && kind != kRemoteVariables)
        return 0;
    ScriptFile* f = remote_file_of_kind(kind);
    if (!f || path.empty())
        return 0;
    return remote_file_save(&path, f);
}

// /flush: prunes nick entries of the users file whose nick is on none of
// the connection's channels; returns the number of entries flushed.
int users_flush(CommandCall& call, const std::string& levels, int keep_levels)
{
    ScriptFile* users = remote_file_of_kind(kRemoteUsers);
    if (!users)
        return 0;
    const std::vector<std::string> wanted = level_words(levels);
    const std::unordered_set<std::string> present = channel_nicks(call.conn ? call.conn : conn_current());
    int flushed = 0;
    if (keep_levels && !wanted.empty()) {
        // Each nick is handed to /ruser once; the walk starts again after
        // every change, skipping the nicks already done.
        std::unordered_set<std::string> done;
        for (bool again = true; again;) {
            again = false;
            for (StringNode* n = users->lines; n; n = n->next) {
                std::string nick = flushable_nick(n->text, wanted);
                if (nick.empty() || present.count(text_lower_copy(nick)) || !done.insert(text_lower_copy(nick)).second)
                    continue;
                std::string command = "/!.ruser " + levels + " " + nick;
                script_exec_line(call.window, command.c_str(), nullptr, 1, nullptr, call.script,
                                 call.conn);
                ++flushed;
                users = remote_file_of_kind(kRemoteUsers);
                again = users != nullptr;
                break;
            }
        }
    } else {
        for (StringNode* n = users->lines; n;) {
            StringNode* next = n->next;
            std::string nick = flushable_nick(n->text, wanted);
            if (!nick.empty() && !present.count(text_lower_copy(nick))) {
                users->lines = strlist_remove(users->lines, n);
                ++flushed;
            }
            n = next;
        }
    }
    if (flushed && (users = remote_file_of_kind(kRemoteUsers)))
        users->modified = 1;
    return flushed;
}

// The group lines of a script changed (/enable, /disable): the enabled
// flags of the file's lines are worked out again and the file is marked changed.
void groups_changed(ScriptFile* file)
{
    if (!remote_file_is_loaded(file) || file->kind != kRemoteScript)
        return;
    script_classify(file->lines, file);
    file->modified = 1;
}

// The event index after group changes.
void event_index_rebuild()
{
    remote_index_events();
    ++remote_list_generation;
}

// After /load -rs or /reload -rs confirmed a script: LOAD and START for
// the scripts whose flags are still pending.
void fire_pending(CommandCall& call)
{
    script_fire_load_start(kEvLoad, call.conn, 0);
}

// /saveini: the changed popup and remote files.
void saveini_stores()
{
    popup_files_save_list(1);
    remote_files_save_list(1);
}

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
        if (!popup_command_load(view, path))
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
            int res = remote_load(path, kRemoteScript, position, reload ? 1 : 0, call.halt);
            if (res == 2)
                return 1;
            if (res != 1)
                return script_error(nullptr, word, {}, 2);
            alias_index_rebuild();
            popup_menubar_rebuild(0, 1);
            info(call, script_text(reload ? 830 : 831, raw));
            fire_pending(call);
            return 1;
        }
        if (r == 'u' || r == 'v') {
            const int kind = r == 'u' ? kRemoteUsers : kRemoteVariables;
            if (remote_load(path, kind, 0, reload ? 1 : 0, call.halt) != 1)
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
        int res = remote_unload(name, no_event ? 1 : 0, call.halt);
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
        if (!popup_command_save(view, path))
            return script_error(nullptr, word, raw, 4);
        info(call, script_text(922, raw));
        return 1;
    }
    if (letters[0] == 'r') {
        const char r = letters.size() > 1 ? letters[1] : 0;
        if (r == 'u' || r == 'v') {
            if (!remote_save(r == 'u' ? kRemoteUsers : kRemoteVariables, path))
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
            groups_changed(ref.file);
        }
    }
    if (changed) {
        alias_index_rebuild();
        event_index_rebuild();
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
    saveini_stores();
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
    int removed = users_flush(call, levels, keep_levels && !levels.empty());
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
