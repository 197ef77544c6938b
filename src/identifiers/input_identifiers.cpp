#include "identifiers/input_identifiers.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/input_dialog.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "identifiers/tokens.h"
#include "script/eval/evaluate.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_text.h"

namespace {

// An identifier that asks the user cannot run inside an event.
bool in_event(const IdentCall& call)
{
    return call.args && (call.args->event || call.args->event_ctx);
}

int refuse_in_event(int text_id)
{
    script_error_set(script_text(text_id));
    return 0;
}

int id_input(IdentCall& call)
{
    if (in_event(call))
        return refuse_in_event(3003);
    std::vector<std::string> args;
    for (int i = 0; i < ident_arg_count(call); ++i)
        args.push_back(ident_arg(call, i));
    InputDialogParams p;
    int timeout = 0;
    const int code = input_options(args, p, timeout);
    if (code)
        return ident_error(call.token, call.work, code);
    std::string out;
    if (args[0].empty())
        return ident_finish(call);
    p.timeout = timeout;
    if ((p.flags & kInputOwnerWindow) && args.size() > 2) {
        WindowRecord* rec = win_find_by_name(args[2], call.conn());
        p.owner = rec ? rec->hwnd.get() : nullptr;
    }
    if (!p.owner)
        p.owner = call.window();
    const int result = input_dialog_exec(p);
    if (result < 0)
        return ident_error(call.token, call.work, 3);
    input_result_text(p, result, out);
    *call.value = std::move(out);
    return ident_finish(call);
}

// "$?", "$?*", "$?!", "$?#", "$?N", each optionally followed by ="prompt".
int id_prompt(IdentCall& call)
{
    if (in_event(call))
        return refuse_in_event(3002);
    std::string& text = call.token->text;
    std::size_t q = text.find('?');
    if (q == std::string::npos)
        return 2;
    std::string rest = text.substr(q + 1);
    // A quoted prompt may run over several words: take the following
    // tokens up to the closing quote.
    std::size_t eq = rest.find('=');
    if (eq != std::string::npos && eq + 1 < rest.size() && rest[eq + 1] == '"') {
        int guard = 0;
        while ((rest.size() < eq + 3 || rest.back() != '"') && call.token->next && ++guard < 200) {
            EvalToken* n = call.token->next;
            rest += ' ';
            rest += n->text;
            toklist_remove(*call.list, n);
        }
    }
    std::string kind = eq == std::string::npos ? rest : rest.substr(0, eq);
    std::string prompt;
    if (eq != std::string::npos) {
        prompt = rest.substr(eq + 1);
        if (prompt.size() >= 2 && prompt.front() == '"' && prompt.back() == '"')
            prompt = prompt.substr(1, prompt.size() - 2);
        else if (!prompt.empty() && prompt.front() == '"')
            prompt.erase(0, 1);
    }
    Connection* conn = call.conn();
    const std::string types = conn_is_live(conn) && !conn->chan_types.empty() ? conn->chan_types : "#&";
    InputDialogParams p;
    p.owner = call.window();
    p.prompt = prompt;
    if (!kind.empty() && types.find(kind[0]) != std::string::npos) {
        std::string name;
        if (win_channel_name_append(call.window(), name)) {
            *call.value = name;
            return 2;
        }
        if (p.prompt.empty())
            p.prompt = script_text(3001);
    } else if (!kind.empty() && kind[0] >= '0' && kind[0] <= '9') {
        const std::size_t n = static_cast<std::size_t>(std::atoi(kind.c_str()));
        if (call.args && call.args->params && n < call.args->params->size() && !(*call.args->params)[n].empty()) {
            *call.value = (*call.args->params)[n];
            return 2;
        }
    }
    const bool yes_no = !kind.empty() && kind[0] == '!';
    const bool password = !kind.empty() && kind[0] == '*';
    p.flags = yes_no ? kInputYesNo : (password ? kInputPassword | kInputEdit : kInputEdit);
    const int result = input_dialog_exec(p);
    if (result < 0)
        return ident_error(call.token, call.work, 3);
    if (yes_no)
        *call.value = result == 1 ? "$true" : "$false";
    else if (result == 1)
        *call.value = p.answer;
    return 2;
}

// $sdir, $dir, $file and $hfile, also written with "=": the prompt is the
// text after "=" or the next token, quoted over several tokens.
int id_select_dialog(IdentCall& call)
{
    std::string& text = call.token->text;
    std::size_t at = text.find_first_not_of('$');
    std::string word = text.substr(at == std::string::npos ? 0 : at);
    std::string prompt;
    const std::size_t eq = word.find('=');
    if (eq != std::string::npos) {
        prompt = word.substr(eq + 1);
        word.resize(eq);
    } else if (call.token->next) {
        prompt = call.token->next->text;
        toklist_remove(*call.list, call.token->next);
    } else {
        script_error_set("* $" + word + script_text(2304));
        return 0;
    }
    int guard = 0;
    if (!prompt.empty() && prompt.front() == '"') {
        while ((prompt.size() < 2 || prompt.back() != '"') && call.token->next && ++guard < 200) {
            prompt += ' ';
            prompt += call.token->next->text;
            toklist_remove(*call.list, call.token->next);
        }
        prompt.erase(0, 1);
        if (!prompt.empty() && prompt.back() == '"')
            prompt.pop_back();
    }
    if (in_event(call)) {
        script_error_set("* $" + word + script_text(2305));
        return 0;
    }
    std::string out;
    if (select_dialog_run(call.window(), call.variant, prompt, out) < 0)
        return ident_error(call.token, call.work, 3);
    *call.value = out;
    return 2;
}

} // namespace

int input_options(const std::vector<std::string>& args, InputDialogParams& p, int& timeout)
{
    timeout = 0;
    p.flags = 0;
    const std::string options = args.size() > 1 ? args[1] : std::string();
    if (arg_is_integer(options)) {
        const long v = std::strtol(options.c_str(), nullptr, 10);
        p.flags = v < 0 ? 0 : static_cast<int>(v);
    } else {
        static const struct {
            char letter;
            int flag;
        } kLetters[] = {{'e', kInputEdit},         {'p', kInputPassword},       {'o', kInputOkOnly},
                        {'y', kInputYesNo},        {'n', kInputYesNoCancel},    {'r', kInputRetry},
                        {'v', kInputNamedValues},  {'i', kInputInfoIcon},       {'q', kInputQuestionIcon},
                        {'w', kInputWarningIcon},  {'h', kInputErrorIcon},      {'t', kInputOwnIcon},
                        {'c', kInputShellIcon},    {'s', kInputOwnerWindow},    {'a', kInputForeground},
                        {'g', kInputRightButtons}, {'d', kInputPlaySound},      {'m', kInputList}};
        for (std::size_t i = 0; i < options.size(); ++i) {
            const char c = options[i];
            if (c == 'k') {
                std::size_t j = i + 1;
                while (j < options.size() && options[j] >= '0' && options[j] <= '9')
                    ++j;
                const long secs = std::strtol(options.substr(i + 1, j - i - 1).c_str(), nullptr, 10);
                timeout = secs > 0 ? static_cast<int>(secs) : 0;
                i = j - 1;
                continue;
            }
            for (const auto& l : kLetters)
                if (l.letter == c)
                    p.flags |= l.flag;
        }
    }
    if (p.flags & kInputPassword)
        p.flags |= kInputEdit;
    // The arguments after the options: [window,] title, default text, items.
    std::size_t at = 2;
    if (p.flags & kInputOwnerWindow)
        ++at;
    p.prompt = args.empty() ? std::string() : args[0];
    p.title = at < args.size() ? args[at] : std::string();
    p.default_text = at + 1 < args.size() ? args[at + 1] : std::string();
    const std::size_t items_from = at + 2;
    if (p.flags & kInputList) {
        for (std::size_t i = items_from; i < args.size(); ++i)
            if (!args[i].empty())
                p.items.push_back(args[i]);
    } else if (args.size() > items_from) {
        return 6;
    }
    return 0;
}

void input_result_text(const InputDialogParams& p, int result, std::string& out)
{
    out.clear();
    const bool boxed = (p.flags & (kInputEdit | kInputPassword | kInputList)) != 0;
    const bool named = (p.flags & kInputNamedValues) != 0;
    if (result == 1) {
        if (boxed)
            out = p.answer;
        else if (named)
            out = (p.flags & (kInputYesNo | kInputYesNoCancel)) ? "$yes" : (p.flags & kInputRetry) ? "$retry" : "$ok";
        else
            out = "$true";
        return;
    }
    if (boxed)
        return;
    if (!named) {
        out = "$false";
        return;
    }
    if (p.timeout < 0)
        out = "$timeout";
    else if (result == 2 || (p.flags & kInputYesNo))
        out = "$no";
    else
        out = "$cancel";
}

void input_identifiers_register()
{
    ident_register_family("id_input", id_input);
    ident_register_family("id_prompt", id_prompt);
    ident_register_family("id_select_dialog", id_select_dialog);
}
