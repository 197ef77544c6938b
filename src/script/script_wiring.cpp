#include "script/script_wiring.h"

#include "script/popups.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/string_list.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_types.h"
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

} // namespace

int script_wire_remote_load(const std::string& path, int kind, int position, int reload,
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

int script_wire_remote_unload(const std::string& name, int no_event, EventContext* running)
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

int script_wire_remote_save(int kind, const std::string& path)
{
    if (kind != kRemoteUsers && kind != kRemoteVariables)
        return 0;
    ScriptFile* f = remote_file_of_kind(kind);
    if (!f || path.empty())
        return 0;
    return remote_file_save(&path, f);
}

int script_wire_users_flush(CommandCall& call, const std::string& levels, int keep_levels)
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

std::vector<AliasScriptRef> script_wire_loaded_scripts()
{
    std::vector<AliasScriptRef> out;
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->kind == kRemoteScript)
            out.push_back(AliasScriptRef{f, f->lines, f->path});
    return out;
}

void script_wire_groups_changed(ScriptFile* file)
{
    if (!remote_file_is_loaded(file) || file->kind != kRemoteScript)
        return;
    script_classify(file->lines, file);
    file->modified = 1;
}

void script_wire_event_index_rebuild()
{
    remote_index_events();
    ++remote_list_generation;
}

void script_wire_fire_pending(CommandCall& call)
{
    script_fire_load_start(kEvLoad, call.conn, 0);
}

void script_wire_saveini_stores()
{
    popup_files_save_list(1);
    remote_files_save_list(1);
}

ScriptFile* script_wire_alias_file_by_id(int id)
{
    for (AliasFile* a = alias_files_head; a; a = a->next)
        if (a->id == id)
            return reinterpret_cast<ScriptFile*>(a);
    return nullptr;
}

int script_wire_alias_file_is_live(const ScriptFile* file)
{
    const void* p = file;
    for (AliasFile* a = alias_files_head; a; a = a->next)
        if (static_cast<const void*>(a) == p)
            return 1;
    return 0;
}

namespace {

// The place of a line in one file's lines: 1 when found, with its number.
// The failing line itself wins; else the last of the list's first line and
// the definition line met on the way.
int place_in(const StringNode* lines, const StringNode* line, const StringNode* first,
             const StringNode* definition, int* number)
{
    int n = 0;
    int fallback = 0;
    for (const StringNode* l = lines; l; l = l->next) {
        ++n;
        if (l == line) {
            *number = n;
            return 1;
        }
        if (l == first || l == definition)
            fallback = n;
    }
    if (!fallback)
        return 0;
    *number = fallback;
    return 1;
}

std::string file_name_of(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int script_line_place(const StringNode* line, const StringNode* first,
                      const StringNode* definition, int* number, std::string* file_name)
{
    if (!number || !file_name || (!line && !first && !definition))
        return 0;
    for (AliasFile* f = alias_files_head; f; f = f->next) {
        if (place_in(f->lines, line, first, definition, number)) {
            *file_name = file_name_of(f->path);
            return 1;
        }
    }
    for (ScriptFile* f = remote_list; f; f = f->next) {
        if (place_in(f->lines, line, first, definition, number)) {
            *file_name = file_name_of(f->path);
            return 1;
        }
    }
    return 0;
}
