// /dll, $dll( and $dllcall(: routines of outside shared objects, called
// while the script waits or on a worker with an alias run when they end.
#include "extensions/dll_calls.h"
#include "options/locks.h"

#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/tick.h"
#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "platform/dynlib.h"
#include "platform/worker.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"

namespace {

using Routine = int (*)(int, int, char*, char*, int, int);
using LoadFn = void (*)(DllLoadInfo*);
using UnloadFn = int (*)(int);

struct ScriptDll {
    std::string path;
    void* module = nullptr;
    int busy = 0;   // calls in progress
    int keep = 0;   // LoadDll left its keep flag on
    int idle = 0;   // ticks since the last use
};

std::vector<std::unique_ptr<ScriptDll>> g_dlls;      // loaded, in load order
std::vector<std::unique_ptr<ScriptDll>> g_released;  // unloaded at exit, modules still mapped

int g_tick_listener = 0;
int g_exit_listener = 0;

bool listed(const ScriptDll* d)
{
    return std::any_of(g_dlls.begin(), g_dlls.end(), [d](const auto& p) { return p.get() == d; });
}

std::string file_part(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A loaded library by its full path, else by the file name of its path.
ScriptDll* dll_find(const std::string& name)
{
    for (const auto& d : g_dlls)
        if (text_equal_nocase(d->path, name))
            return d.get();
    for (const auto& d : g_dlls)
        if (text_equal_nocase(file_part(d->path), name))
            return d.get();
    return nullptr;
}

void release_module(ScriptDll* d)
{
    if (d->module)
        dynlib_close(d->module);
    d->module = nullptr;
}

// Unloads a library for a reason (0 asked or not kept, 1 idle, 2 exit);
// nothing while a call of it runs. 1 when it left the list.
int dll_unload(ScriptDll* d, int reason)
{
    if (!listed(d) || d->busy > 0)
        return 0;
    if (auto fn = reinterpret_cast<UnloadFn>(dynlib_symbol(d->module, "UnloadDll"))) {
        ++d->busy;
        const int answer = fn(reason);
        --d->busy;
        if (reason == 1 && answer == 0)
            return 0;
    }
    auto it = std::find_if(g_dlls.begin(), g_dlls.end(), [d](const auto& p) { return p.get() == d; });
    if (it == g_dlls.end())
        return 0;
    std::unique_ptr<ScriptDll> owned = std::move(*it);
    g_dlls.erase(it);
    if (reason == 2) {
        g_released.push_back(std::move(owned));
    } else {
        release_module(owned.get());
    }
    return 1;
}

void unload_unless_kept(ScriptDll* d)
{
    if (listed(d) && !d->keep)
        dll_unload(d, 0);
}

// The library of a resolved path: listed, or loaded now (with its LoadDll).
// Null when it cannot be loaded.
ScriptDll* dll_get(const std::string& path)
{
    ScriptDll* d = nullptr;
    for (const auto& p : g_dlls)
        if (text_equal_nocase(p->path, path))
            d = p.get();
    if (!d) {
        void* module = dynlib_open(path);
        if (!module)
            return nullptr;
        auto owned = std::make_unique<ScriptDll>();
        owned->path = path;
        owned->module = module;
        d = owned.get();
        g_dlls.push_back(std::move(owned));
        if (auto fn = reinterpret_cast<LoadFn>(dynlib_symbol(module, "LoadDll"))) {
            DllLoadInfo info{dll_version_word(KEST_VERSION), 0, 1};
            ++d->busy;
            fn(&info);
            --d->busy;
            d->keep = info.keep != 0;
        }
    }
    d->idle = 0;
    return d;
}

bool reserved_routine(const std::string& name)
{
    return name == "LoadDll" || name == "UnloadDll";
}

int window_number(QWidget* window)
{
    WindowRecord* rec = window ? win_record_of(window) : nullptr;
    return rec ? rec->number : 0;
}

// The text a routine left in a buffer (at most the buffer, zero-ended).
std::string buffer_text(const std::vector<char>& buf)
{
    const auto end = std::find(buf.begin(), buf.end(), '\0');
    std::string out(buf.begin(), end);
    if (out.size() > kLongText)
        out.resize(kLongText);
    return out;
}

std::vector<char> data_buffer(const std::string& data)
{
    std::vector<char> buf(kDllBufferSize, '\0');
    std::memcpy(buf.data(), data.data(), std::min(data.size(), static_cast<std::size_t>(kLongText)));
    return buf;
}

// Where a routine's command runs: the caller's window and connection, as
// they are now.
struct CallerContext {
    QPointer<QWidget> window;
    Connection* conn = nullptr;
    int depth = 0;
    int show = 1;
    EventContext* halt = nullptr;
    ScriptFile* script = nullptr;
    StringNode** locals = nullptr;
    int scope = 0;
};

// Runs the data a routine left as a one-line command list with the
// parameters as $1-: 0 halt, 1 continue, 3 returned `value`.
int run_routine_command(const CallerContext& ctx, const std::string& data, const std::string& params,
                        std::string& value)
{
    StringNode* list = strlist_append(nullptr, std::string_view(data), 0);
    if (!list) {
        script_error(nullptr, {}, "/dll", 2);
        return 0;
    }
    std::string line;
    ExecArgs a;
    a.window = ctx.window.data();
    a.lines = list;
    a.params = params.c_str();
    a.mode = 1;
    a.depth = ctx.depth + 1;
    a.show = ctx.show;
    a.halt = ctx.halt;
    a.script = ctx.script;
    a.conn = ctx.conn;
    a.line_buf = &line;
    if (ctx.locals) {
        a.locals = ctx.locals;
        a.scope = ctx.scope;
    } else {
        a.owns_locals = 1;
        a.scope = var_next_scope();
    }
    const int r = script_exec_block(a);
    strlist_free(&list);
    if (r == kScriptFailed || r == kScriptHalted)
        return 0;
    if (r == kScriptReturn) {
        value = line;
        return 3;
    }
    return 1;
}

// A synchronous call: the result code (0 halt, 1 continue, 3 value), -1
// when the routine is not exported (reported by the caller).
int dll_call_now(ScriptDll* d, const std::string& routine, const std::string& data, const CallerContext& ctx,
                 std::string& value)
{
    auto fn = reinterpret_cast<Routine>(dynlib_symbol(d->module, routine.c_str()));
    if (!fn) {
        unload_unless_kept(d);
        return -1;
    }
    std::vector<char> data_buf = data_buffer(data);
    std::vector<char> param_buf(kDllBufferSize, '\0');
    ++d->busy;
    int result = fn(0, window_number(ctx.window.data()), data_buf.data(), param_buf.data(), ctx.show ? 1 : 0, 0);
    data_buf.back() = '\0';
    param_buf.back() = '\0';
    if (!listed(d))
        result = 0;
    else
        --d->busy;
    unload_unless_kept(d);
    value.clear();
    if (result == 3) {
        value = buffer_text(data_buf);
        return 3;
    }
    if (result == 2) {
        const std::string command = buffer_text(data_buf);
        if (command.empty())
            return 1;
        return run_routine_command(ctx, command, buffer_text(param_buf), value);
    }
    return result == 0 ? 0 : 1;
}

// What a worker hands back.
struct AsyncCall {
    ScriptDll* dll = nullptr;
    Routine fn = nullptr;
    std::string alias;
    std::string caller;
    CallerContext ctx;
    int window = 0;
    std::vector<char> data;
    std::vector<char> params;
    int result = 0;
};

// The call ended: its command (result 2), then the alias with the
// library's path as $1-.
void async_finished(const std::shared_ptr<AsyncCall>& call)
{
    ScriptDll* d = call->dll;
    if (!listed(d))
        return;
    --d->busy;
    const std::string path = d->path;
    CallerContext ctx = call->ctx;
    if (!conn_is_live(ctx.conn))
        ctx.conn = conn_current();
    if (!ctx.window && conn_is_live(ctx.conn))
        ctx.window = ctx.conn->status_window.data();
    ctx.halt = nullptr;
    ctx.locals = nullptr;
    ctx.script = nullptr;
    ctx.depth = 0;
    call->data.back() = '\0';
    call->params.back() = '\0';
    const std::string command = buffer_text(call->data);
    if (call->result == 2 && !command.empty()) {
        std::string value;
        run_routine_command(ctx, command, buffer_text(call->params), value);
        if (!listed(d))
            return;
    }
    if (!call->alias.empty() && conn_is_live(ctx.conn))
        script_exec_line(ctx.window.data(), (call->alias + " $1-").c_str(), path.c_str(), 1, nullptr, nullptr,
                         ctx.conn);
    unload_unless_kept(d);
}

// Starts a call on a worker: 1 started, -1 not exported, 0 set-up failed.
int dll_call_later(ScriptDll* d, const std::string& routine, const std::string& alias, const std::string& data,
                   const std::string& caller, const CallerContext& ctx)
{
    auto fn = reinterpret_cast<Routine>(dynlib_symbol(d->module, routine.c_str()));
    if (!fn) {
        unload_unless_kept(d);
        return -1;
    }
    auto call = std::make_shared<AsyncCall>();
    call->dll = d;
    call->fn = fn;
    call->alias = alias.substr(0, kShortText);
    call->caller = caller;
    call->ctx = ctx;
    call->window = window_number(ctx.window.data());
    call->data = data_buffer(data);
    call->params.assign(kDllBufferSize, '\0');
    ++d->busy;
    const int show = ctx.show ? 1 : 0;
    const bool started = worker_start(
        [call, show] { call->result = call->fn(0, call->window, call->data.data(), call->params.data(), show, 0); },
        [call] { async_finished(call); });
    if (!started) {
        --d->busy;
        unload_unless_kept(d);
        return 0;
    }
    return 1;
}

// ---- /dll [-u] [-m alias] file routine [data...] ----

int dll_error(CommandCall&, int type, const std::string& extra = std::string())
{
    return script_error(nullptr, "dll", extra, type);
}

int cmd_dll(CommandCall& call)
{
    const auto& t = call.tokens;
    if (lock_options.flags & kLockDll)
        return dll_error(call, 11);
    if (call.argc() < 2)
        return dll_error(call, 0);
    std::size_t i = 1;
    bool unload = false;
    std::string alias;
    if (t[i] == "-u") {
        unload = true;
        ++i;
    } else if (t[i] == "-m") {
        if (i + 2 >= t.size())
            return dll_error(call, 0);
        alias = t[i + 1];
        i += 2;
    }
    std::string file;
    const int last = arg_get_quoted(t, i, file, kMediumText, 0);
    if (last < 0 || file.empty())
        return dll_error(call, 0);
    std::string path;
    const bool resolved = file_resolve_file_path(file, path) != 0;
    if (unload) {
        // A loaded library by the name as given (its path or its file
        // name), else by the resolved path.
        ScriptDll* d = dll_find(file);
        if (!d && resolved)
            d = dll_find(path);
        if (d)
            dll_unload(d, 0);
        return kScriptDone;
    }
    if (!resolved)
        return dll_error(call, 3);
    ScriptDll* d = dll_get(path);
    if (!d)
        return dll_error(call, 4, file);
    i = static_cast<std::size_t>(last) + 1;
    if (i >= t.size() || t[i].empty()) {
        unload_unless_kept(d);
        return dll_error(call, 0);
    }
    const std::string routine = t[i];
    std::string data;
    arg_join_from(i + 1, data, t);
    if (reserved_routine(routine)) {
        unload_unless_kept(d);
        return script_error(nullptr, text_fill_id(2052, {routine}), {}, 6);
    }
    CallerContext ctx{call.window, call.conn, call.depth, call.show, call.halt, call.script, call.locals, call.scope};
    if (!alias.empty()) {
        const int r = dll_call_later(d, routine, alias, data, "/dll", ctx);
        if (r < 0)
            return script_error(nullptr, text_fill_id(2052, {routine}), {}, 6);
        if (r == 0)
            return script_error(nullptr, text_load_string(2054), {}, 6);
        return kScriptDone;
    }
    std::string value;
    const int r = dll_call_now(d, routine, data, ctx, value);
    if (r < 0)
        return script_error(nullptr, text_fill_id(2052, {routine}), {}, 6);
    if (r == 0)
        return kScriptFailed;
    if (r == 3) {
        if (call.line_buf)
            *call.line_buf = value;
        return kScriptReturn;
    }
    return kScriptDone;
}

// ---- $dll(N | name), $dll(file, routine, data), $dllcall(file, alias, routine, data) ----

bool is_number(const std::string& s)
{
    std::size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    return i < s.size() && std::all_of(s.begin() + static_cast<long>(i), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string list_answer(const std::string& arg)
{
    if (is_number(arg)) {
        const long long n = std::strtoll(arg.c_str(), nullptr, 10);
        if (n <= 0)
            return std::to_string(g_dlls.size());
        return n <= static_cast<long long>(g_dlls.size()) ? g_dlls[static_cast<std::size_t>(n - 1)]->path
                                                           : std::string();
    }
    ScriptDll* d = arg.empty() ? nullptr : dll_find(arg);
    return d ? d->path : std::string();
}

int id_dll(IdentCall& call)
{
    const int r = ident_args_range(call, 1, 4, true);
    if (r >= 0)
        return r;
    const bool later = text_equal_nocase(ident_word(call), "dllcall");
    const int n = ident_arg_count(call);
    std::string out;
    if (n == 1) {
        out = list_answer(ident_arg(call, 0));
        return ident_result(call, out);
    }
    if (n != (later ? 4 : 3))
        return ident_error(call.token, call.work, 6);
    std::string file = ident_arg(call, 0);
    const std::string& second = ident_arg(call, 1);
    const std::string alias = later ? second : std::string();
    const std::string routine = ident_arg(call, later ? 2 : 1);
    const std::string data = ident_arg(call, later ? 3 : 2);
    if (file.empty() || second.empty() || routine.empty())
        return ident_result(call, out);
    text_strip_quotes(file);
    std::string path;
    if (file.empty() || !file_resolve_file_path(file, path))
        return ident_error(call.token, call.work, 6);
    if (reserved_routine(routine))
        return ident_error(call.token, call.work, 6);
    ScriptDll* d = dll_get(path);
    if (!d)
        return script_error(nullptr, text_fill_id(2051, {path}), {}, 6);
    EvalArgs* a = call.args;
    CallerContext ctx{a ? a->window : nullptr, a ? a->conn : nullptr, a ? a->depth : 0, a ? a->show : 1,
                      a ? a->event_ctx : nullptr, a ? a->script : nullptr, a ? a->locals : nullptr,
                      a ? a->scope : 0};
    if (later) {
        const int started = dll_call_later(d, routine, alias, data, "$dllcall", ctx);
        if (started < 0)
            return script_error(nullptr, text_fill_id(2053, {routine}), {}, 6);
        if (started == 0)
            return script_error(nullptr, text_load_string(2055), {}, 6);
        return ident_result(call, out);
    }
    const int result = dll_call_now(d, routine, data, ctx, out);
    if (result < 0)
        return script_error(nullptr, text_fill_id(2053, {routine}), {}, 6);
    if (result == 0)
        return 0;
    if (result != 3)
        out.clear();
    return ident_result(call, out);
}

}  // namespace

int dll_count()
{
    return static_cast<int>(g_dlls.size());
}

std::string dll_path(int index)
{
    return index >= 0 && index < dll_count() ? g_dlls[static_cast<std::size_t>(index)]->path : std::string();
}

int dll_version_word(const char* version)
{
    int major = 0, minor = 0, digits = 0;
    const char* p = version ? version : "";
    while (*p >= '0' && *p <= '9')
        major = major * 10 + (*p++ - '0');
    if (*p == '.')
        ++p;
    while (*p >= '0' && *p <= '9' && digits < 4) {
        minor = minor * 10 + (*p++ - '0');
        ++digits;
    }
    if (digits == 1)
        minor *= 10;
    return (major & 0xFFFF) | ((minor & 0xFFFF) << 16);
}

void dll_idle_tick()
{
    std::vector<ScriptDll*> due;
    for (const auto& d : g_dlls)
        if (++d->idle >= kDllIdleTicks) {
            d->idle = 0;
            due.push_back(d.get());
        }
    for (ScriptDll* d : due)
        dll_unload(d, 1);
}

void dll_unload_all_for_exit()
{
    std::vector<ScriptDll*> all;
    for (const auto& d : g_dlls)
        all.push_back(d.get());
    for (ScriptDll* d : all)
        dll_unload(d, 2);
}

void dll_free_all()
{
    for (auto& d : g_released)
        release_module(d.get());
    g_released.clear();
    // A library whose call still runs on a worker stays mapped: its code is
    // running.
    for (auto it = g_dlls.begin(); it != g_dlls.end();) {
        if ((*it)->busy > 0) {
            ++it;
            continue;
        }
        release_module(it->get());
        it = g_dlls.erase(it);
    }
}

void dll_calls_install()
{
    script_register_command_family("cmd_dll", cmd_dll);
    ident_register_family("id_dll", id_dll);
    tick_second.add_once(g_tick_listener, kTickDllIdle, [] { dll_idle_tick(); });
    shutdown_save.add_once(g_exit_listener, kSaveDllUnload, [] { dll_unload_all_for_exit(); });
}

void dll_calls_uninstall()
{
    tick_second.drop(g_tick_listener);
    shutdown_save.drop(g_exit_listener);
}
