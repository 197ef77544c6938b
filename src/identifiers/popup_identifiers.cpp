// The popup identifiers: $submenu( fills the popup being built; $menu,
// $menutype and $menucontext name the open popup; $pnick gives the
// prefixed nick of the nick-list entry at the caret.
#include "identifiers/popup_identifiers.h"

#include <string>

#include "app/popup_menus.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "script/eval/evaluate.h"
#include "script/exec/script_types.h"
#include "script/popups.h"

namespace {

// Takes the one argument as it stands: it holds $1, which each step sets.
int take_raw_argument(IdentCall& call)
{
    if (call.token->argc == 0) {
        if (!ident_split_args(call, 1))
            return 0;
        if (EvalToken* arg = call.token->next)
            arg_node_set_value(*call.list, arg, std::string(arg->text));
        return 1;
    }
    return ident_args_step(call, 1);
}

std::string eval_with(IdentCall& call, const std::string& text, const std::string& param)
{
    std::string out = text;
    const int depth = call.args ? call.args->depth + 1 : 1;
    ScriptFile* script = call.args ? call.args->script : nullptr;
    if (!ident_eval_text(call.window(), &out, param.c_str(), nullptr, 0, depth, -1, script,
                         call.conn()))
        return std::string();
    return out;
}

int id_submenu(IdentCall& call)
{
    const int r = take_raw_argument(call);
    if (r >= 0)
        return r;
    std::string empty;
    if (!popup_build_ctx.building)
        return ident_result(call, empty);
    const std::string raw = ident_arg(call, 0);
    const bool numbered = raw.find("$1") != std::string::npos;
    eval_with(call, raw, "begin");
    int added = 0;
    for (int i = 1; i <= 250; ++i) {
        std::string value = eval_with(call, raw, std::to_string(i));
        if (value == "-") {
            popup_dynamic_add(value);
            ++added;
        } else if (std::size_t colon = value.find(':'); colon != std::string::npos) {
            std::string caption = eval_with(call, value.substr(0, colon), std::to_string(i));
            popup_dynamic_add(caption + ":" + value.substr(colon + 1));
            ++added;
        } else {
            break;
        }
        if (!numbered)
            break;
    }
    eval_with(call, raw, "end");
    if (!added)
        popup_build_ctx.dynamic.clear();
    return ident_result(call, empty);
}

int id_menu_state(IdentCall& call)
{
    std::string out;
    const PopupContext& pc = popup_context;
    switch (call.variant) {
    case 0:
        out = pc.kind_name;
        break;
    case 1:
        out = text_first_word_of(pc.context);
        break;
    default: {
        std::string rest = pc.context;
        std::size_t i = 0;
        while (i < rest.size() && rest[i] == ' ')
            ++i;
        std::size_t blank = rest.find(' ', i);
        rest = blank == std::string::npos ? std::string() : rest.substr(blank);
        while (!rest.empty() && rest.front() == ' ')
            rest.erase(0, 1);
        out = rest.empty() ? "window" : rest;
        break;
    }
    }
    return ident_result(call, out);
}

int id_pnick(IdentCall& call)
{
    std::string out;
    WindowRecord* rec = win_record_of(call.window());
    if (rec && rec->type == kWinChannel)
        out = popup_caret_nick(rec);
    return ident_result(call, out);
}

}  // namespace

void popup_identifiers_register()
{
    ident_register("submenu(", id_submenu);
    ident_register("menu", id_menu_state, 0);
    ident_register("menutype", id_menu_state, 1);
    ident_register("menucontext", id_menu_state, 2);
    ident_register("pnick", id_pnick);
}
