#include "identifiers/alias_identifiers.h"

#include <string>

#include "core/string_list.h"
#include "core/text_limits.h"
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
    std::string name(t.substr(0, t.find('(')));
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
    if (own && !script_file_is_live(own))
        return 0;

    std::string_view body = alias_body_text(def);
    StringNode* lines = nullptr;
    StringNode* temp = nullptr;
    if (!body.empty() && body[0] == '{') {
        std::string_view after = body.substr(1);
        while (!after.empty() && after[0] == ' ')
            after.remove_prefix(1);
        if (!after.empty()) {
            temp = new StringNode;
            temp->text.assign(after.substr(0, kLongText));
            temp->next = def->next;
            lines = temp;
        } else {
            lines = def->next;
        }
    } else if (!body.empty()) {
        temp = new StringNode;
        temp->text.assign(body.substr(0, kLongText));
        lines = temp;
    }
    // One parameter per argument.
    StringNode* params = nullptr;
    if (has_args) {
        for (int i = 0; i < ident_arg_count(call); ++i) {
            StringNode* h = strlist_append(params, std::string_view(ident_arg(call, i)), 0);
            if (!h) {
                strlist_free(&params);
                if (temp) {
                    temp->next = nullptr;
                    delete temp;
                }
                return ident_error(tok, call.work, 8);
            }
            params = h;
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
    strlist_free(&params);
    if (temp) {
        temp->next = nullptr;
        delete temp;
    }
    if (result == 0 || result == 2)
        return 0;
    if (result == 3)
        *call.value = line_buf.substr(0, kLongText);
    return has_args ? ident_finish(call) : 2;
}
