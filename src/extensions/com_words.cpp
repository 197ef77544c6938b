// The automation-object words, answering as they do for objects that
// cannot be made.
#include "extensions/com_words.h"

#include <string>

#include "core/files.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/dispatch/dispatcher.h"
#include "model/colors.h"
#include "model/connection.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

int com_error_flag = 0;

namespace {

// Index of the first argument after the switches ("-..." first words).
std::size_t first_operand(const CommandCall& call)
{
    std::size_t i = 1;
    if (i < call.tokens.size() && !call.tokens[i].empty() && call.tokens[i][0] == '-')
        ++i;
    return i;
}

void show_info(CommandCall& call, const std::string& text)
{
    if (!call.show)
        return;
    Connection* conn = conn_is_live(call.conn) ? call.conn : conn_current();
    if (conn_is_live(conn))
        irc_status_echo(conn, static_cast<int>(kColorInfoText), text);
}

// /comopen name progid: the object is never made; as for a creation that
// fails, nothing is shown, the error flag is set and the result is 1.
int cmd_comopen(CommandCall& call)
{
    const std::size_t i = first_operand(call);
    if (i + 1 >= call.tokens.size() || call.tokens[i].empty() || call.tokens[i + 1].empty())
        return script_error(nullptr, "comopen", {}, 0);
    com_error_flag = 1;
    return kScriptDone;
}

// /comclose name: no object of any name is open.
int cmd_comclose(CommandCall& call)
{
    const std::size_t i = first_operand(call);
    if (i >= call.tokens.size() || call.tokens[i].empty())
        return script_error(nullptr, "comclose", {}, 0);
    return script_error(nullptr, text_fill_id(424, {call.tokens[i].substr(0, kShortText)}), {}, 6);
}

// /comreg [-u] file: the file must exist; no server can be registered or
// unregistered here, so the outcome is the failure of either.
int cmd_comreg(CommandCall& call)
{
    std::size_t i = 1;
    bool unregister = false;
    if (i < call.tokens.size() && text_equal_nocase(call.tokens[i], "-u")) {
        unregister = true;
        ++i;
    }
    std::string file;
    arg_join_from(i, file, call.tokens);
    std::string path;
    if (file.empty() || !file_resolve_file_path(file, path) || !file_exists(path, 1))
        return script_error(nullptr, "comreg", {}, 3);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    show_info(call, text_fill_id(unregister ? 426 : 428, {name}));
    return kScriptDone;
}

bool is_number(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// $com(N): N = 0 the number of objects (none), N >= 1 the N-th (none).
// Every form that names an object answers that no object has the name.
int id_com(IdentCall& call)
{
    const int r = ident_args_range(call, 1, kIdentAnyArgs - 1, true);
    if (r >= 0)
        return r;
    const std::string& first = ident_arg(call, 0);
    const bool plain = text_equal_nocase(ident_word(call), "com");
    std::string out;
    if (plain && ident_arg_count(call) == 1 && is_number(first)) {
        if (first.find_first_not_of('0') == std::string::npos)
            out = "0";
        return ident_result(call, out);
    }
    if (!plain && ident_arg_count(call) < 2)
        return ident_error(call.token, call.work, 6);
    return script_error(nullptr, text_fill_id(424, {first.substr(0, kShortText)}), {}, 6);
}

// $comval(name, N [, member]): no collection can be read.
int id_comval(IdentCall& call)
{
    const int r = ident_args_range(call, 2, 3, true);
    if (r >= 0)
        return r;
    return script_error(nullptr, text_fill_id(424, {ident_arg(call, 0).substr(0, kShortText)}), {}, 6);
}

int id_comerr(IdentCall& call)
{
    *call.value = std::to_string(com_error_flag);
    return 2;
}

}  // namespace

void com_words_install()
{
    script_register_command_family("cmd_comopen", cmd_comopen);
    script_register_command_family("cmd_comclose", cmd_comclose);
    script_register_command_family("cmd_comreg", cmd_comreg);
    ident_register_family("id_com", id_com);
    ident_register_family("id_comval", id_comval);
    ident_register_family("id_comerr", id_comerr);
}
