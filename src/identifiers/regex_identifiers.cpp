#include "identifiers/regex_identifiers.h"

#include <cstdlib>
#include <string>

#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "script/eval/evaluate.h"
#include "script/exec/script_errors.h"
#include "script/stores/regex.h"
#include "script/stores/variables.h"

namespace {

// First call: splits the arguments; when their number is in range, the
// last one is kept as it stands (not evaluated). Later calls: the protocol
// steps. Returns -1 when the value is to be computed now.
int split_keep_last(IdentCall& call, int min_args, int max_args)
{
    if (call.token->argc == 0) {
        if (!ident_split_args(call, kIdentAnyArgs))
            return 0;
        int n = call.token->argc;
        if (n >= min_args && n <= max_args) {
            EvalToken* last = call.token->next;
            for (int k = 1; k < n && last; ++k)
                last = last->next;
            if (last)
                arg_node_set_value(*call.list, last, std::string(last->text));
        }
        return 1;
    }
    return ident_args_step(call, kIdentAnyArgs);
}

RegexRunContext run_context(const IdentCall& call)
{
    RegexRunContext ctx;
    const EvalArgs* a = call.args;
    ctx.window = call.window();
    ctx.conn = call.conn();
    if (a) {
        ctx.locals = a->locals;
        ctx.script = a->script;
        ctx.halt = a->event_ctx;
        ctx.depth = a->depth;
        ctx.mode = a->event ? 2 : 1;
        ctx.scope = a->scope;
    }
    return ctx;
}

} // namespace

int id_regex(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    int n = ident_arg_count(call);
    if (n < 2 || n > 3)
        return ident_error(call.token, call.work, 6);
    int base = n - 2;
    std::string name = base ? ident_arg(call, 0) : std::string();
    std::string subject = ident_arg(call, base);
    int result = regex_match(subject, ident_arg(call, base + 1), nullptr, name);
    if (result == kRegexAborted) {
        if (regex_overflow)
            return ident_error(call.token, call.work, 9);
        return 0;
    }
    *call.value = std::to_string(result);
    return ident_finish(call);
}

int id_regml(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    int n = ident_arg_count(call);
    if (n < 1 || n > 2)
        return ident_error(call.token, call.work, 6);
    std::string name = n == 2 ? ident_arg(call, 0) : std::string();
    long index = std::atol(ident_arg(call, n - 1).c_str());
    call.value->clear();
    if (index <= 0) {
        *call.value = std::to_string(regex_slot_count(name));
    } else if (const StringNode* g = regex_slot_group(name, static_cast<int>(index))) {
        if (text_equal_nocase(ident_property(call), "pos"))
            *call.value = std::to_string(static_cast<long>(g->number) + 1);
        else
            *call.value = g->text.substr(0, kLongText);
    }
    return ident_finish(call);
}

int id_regsub(IdentCall& call)
{
    int r = split_keep_last(call, 4, 5);
    if (r >= 0)
        return r;
    int n = ident_arg_count(call);
    if (n < 4 || n > 5)
        return ident_error(call.token, call.work, 6);
    const std::string& var = ident_arg(call, n - 1);
    if (var.size() < 2 || var[0] != '%')
        return ident_error(call.token, call.work, 6);
    int base = n - 4;
    std::string name = base ? ident_arg(call, 0) : std::string();
    std::string subject = ident_arg(call, base);
    std::string replacement = ident_arg(call, base + 2);
    int result = regex_match(subject, ident_arg(call, base + 1), &replacement, name,
                             kRegexReplacePlain, nullptr);
    if (result == kRegexAborted) {
        if (regex_overflow)
            return ident_error(call.token, call.work, 9);
        return 0;
    }
    if (result >= 0) {
        StringNode* locals = call.args && call.args->locals ? *call.args->locals : nullptr;
        var_set(call.window(), std::string_view(var).substr(1), &subject, call.work, 0,
                kVarFlagSet, 0, 0, locals, 0);
    }
    *call.value = std::to_string(result);
    return ident_finish(call);
}

int id_regsubex(IdentCall& call)
{
    int r = split_keep_last(call, 3, 4);
    if (r >= 0)
        return r;
    int n = ident_arg_count(call);
    if (n < 3 || n > 4)
        return ident_error(call.token, call.work, 6);
    int base = n - 3;
    std::string name = base ? ident_arg(call, 0) : std::string();
    std::string subject = ident_arg(call, base);
    const std::string original = subject;
    std::string replacement = ident_arg(call, base + 2);
    RegexRunContext ctx = run_context(call);
    int mode = (call.args && !call.args->show) ? kRegexReplaceQuiet : kRegexReplaceEval;
    int result = regex_match(subject, ident_arg(call, base + 1), &replacement, name, mode, &ctx);
    if (result == kRegexAborted) {
        if (regex_overflow)
            return ident_error(call.token, call.work, 9);
        return 0;
    }
    *call.value = result < 0 ? original : subject;
    return ident_finish(call);
}

void regex_install()
{
    ident_register_family("id_regex", id_regex);
    ident_register_family("id_regml", id_regml);
    ident_register_family("id_regsub", id_regsub);
    ident_register_family("id_regsubex", id_regsubex);
}
