#include "script/eval/alias_calls.h"

#include <string>

#include "core/string_list.h"
#include "core/text_limits.h"
#include "script/events/remote_files.h"
#include "script/eval/evaluate.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_hooks.h"

int ident_call_alias(IdentCall& call)
{
    EvalToken* tok = call.token;
    const bool has_args = tok->text.find('(') != std::string::npos;
    if (has_args) {
        int r = ident_args_step(call, kIdentAnyArgs);
        if (r >= 0)
            return r;
    }
    // The name: without "#", "$" or "$$", cut at "(".
    std::string_view t = tok->text;
    while (!t.empty() && (t[0] == '#' || t[0] == '$'))
        t.remove_prefix(1);
    const std::string_view name = t.substr(0, t.find('('));
    EvalArgs* a = call.args;
    ScriptFile* script = a ? a->script : nullptr;
    StringNode* def = alias_find(name, nullptr, script);
    call.value->clear();
    if (!def) {
        if (script_ident_warnings)
            return ident_error(tok, call.work, 13);
        return has_args ? ident_finish(call) : 2;
    }
    if (a && def == a->running_alias)
        return has_args ? ident_finish(call) : 2;
    ScriptFile* own = reinterpret_cast<ScriptFile*>(def->extra[kLineScript]);
    if (own && !remote_script_file_is_live(own))
        return 0;

    // The first line of the body when it stands on the definition line; it
    // lives for the call.
    StringNode temp_line;
    StringNode* lines = alias_body_lines(def, temp_line);
    // One parameter per argument: the first few in nodes of the call's own,
    // the rest in a list made for it.
    constexpr int kLocalParams = 4;
    StringNode local_params[kLocalParams];
    StringNode* params = nullptr;
    StringNode* more = nullptr;
    if (has_args) {
        const int count = ident_arg_count(call);
        for (int i = 0; i < count && i < kLocalParams; ++i) {
            StringNode& node = local_params[i];
            const std::string& arg = ident_arg(call, i);
            node.text.assign(arg, 0, kLongText);
            if (i > 0)
                local_params[i - 1].next = &node;
        }
        for (int i = kLocalParams; i < count; ++i) {
            StringNode* h = strlist_append(more, std::string_view(ident_arg(call, i)), 0);
            if (!h) {
                strlist_free(&more);
                temp_line.next = nullptr;
                return ident_error(tok, call.work, 8);
            }
            more = h;
        }
        if (count > 0) {
            params = &local_params[0];
            if (more)
                local_params[kLocalParams - 1].next = more;
        }
    }
    std::string prop(ident_property(call));
    std::string line_buf, eval_buf, work_buf;
    int result = 1;
    if (lines) {
        ExecArgs b;
        b.window = call.window();
        b.lines = lines;
        b.param_list = params;
        b.mode = (a && a->event) ? 2 : 1;
        b.depth = (a ? a->depth : 0) + 1;
        b.eval_buf = &eval_buf;
        b.work_buf = &work_buf;
        b.line_buf = &line_buf;
        b.running_alias = def;
        b.definition = def;
        b.show = a ? a->show : 1;
        b.ident_call = 1;
        b.halt = a ? a->event_ctx : nullptr;
        b.owns_locals = 1;
        b.eval_extra = prop.empty() ? nullptr : prop.c_str();
        b.script = own ? own : script;
        b.slot_a = a ? a->last_input : nullptr;
        b.slot_c = a ? a->filtered : nullptr;
        b.slot_d = a ? a->findfilen : nullptr;
        b.scope = a ? a->scope : 0;
        b.conn = call.conn();
        result = script_exec_block(b);
    }
    if (more)
        local_params[kLocalParams - 1].next = nullptr;
    strlist_free(&more);
    temp_line.next = nullptr;
    if (result == 0 || result == 2)
        return 0;
    if (result == 3)
        *call.value = line_buf.substr(0, kLongText);
    return has_args ? ident_finish(call) : 2;
}
