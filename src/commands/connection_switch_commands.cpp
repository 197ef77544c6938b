#include "commands/connection_switch_commands.h"

#include <vector>

#include "model/connection.h"
#include "core/string_list.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"

namespace {

// The nesting depth of the $scid or $scon whose property is being read: the
// property's evaluation goes one deeper, so a property that reaches itself
// again through an alias meets the interpreter's nesting bound.
int property_depth = 1;

} // namespace

int scid_run_line(Connection* conn, QWidget* window, const std::string& line, int depth)
{
    return script_exec_line(window, line.c_str(), nullptr, 1, nullptr, nullptr, conn, depth);
}

int scid_eval_text(Connection* conn, QWidget* window, const std::string& text, std::string& out)
{
    std::string value = text;
    if (!ident_eval_text(window, &value, nullptr, nullptr, 0, property_depth, -1, nullptr, conn))
        return 0;
    out = value;
    return 1;
}

void scid_report_error(const std::string& name, int kind)
{
    switch (kind) {
    case 6: ident_error_name("$" + name, 6); break;
    case 7: script_error(nullptr, name, {}, 6); break;
    default: script_error(nullptr, name, {}, kind); break;
    }
}

int cmd_scid(CommandCall& call)
{
    const int is_scon = call.variant;
    ExecArgs* run = call.run;
    ScidContext ctx;
    ctx.conn = run ? run->conn : call.conn;
    ctx.window = run ? run->window : call.window;
    ctx.home_conn = run ? run->home_conn : nullptr;
    ctx.home_window = run ? run->home_window : nullptr;
    ctx.depth = run ? run->depth : call.depth - 1;
    std::vector<std::string> params(call.tokens.begin() + (call.tokens.empty() ? 0 : 1), call.tokens.end());
    int result = cmd_scid(ctx, params, is_scon);
    if (run) {
        run->conn = ctx.conn;
        run->window = ctx.window;
        run->home_conn = ctx.home_conn;
        run->home_window = ctx.home_window;
    }
    return result;
}

int id_scid(IdentCall& call)
{
    int r = ident_args_step(call, 1);
    if (r >= 0)
        return r;
    std::string property;
    const std::string_view p = ident_property(call);
    if (!p.empty()) {
        const std::size_t dot = p.rfind('.');
        property = std::string(dot == std::string_view::npos ? p : p.substr(dot + 1));
    }
    const int saved_depth = property_depth;
    property_depth = (call.args && call.args->depth > 0 ? call.args->depth : 0) + 1;
    const int ok = id_scid(ident_arg(call, 0), p.empty() ? nullptr : &property, call.variant, *call.value);
    property_depth = saved_depth;
    if (!ok)
        return 0;
    return ident_finish(call);
}

void connection_switch_register()
{
    script_register_command("scid", cmd_scid, 0);
    script_register_command("scon", cmd_scid, 1);
    ident_register("scid(", id_scid, 0);
    ident_register("scon(", id_scid, 1);
}
