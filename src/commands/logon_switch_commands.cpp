#include "commands/logon_switch_commands.h"

#include <cctype>
#include <cstdio>

#include "model/connection.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
#include "commands/command_replies.h"
#include "commands/messaging_commands.h"
#include "core/text_buffer.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/logon.h"
#include "script/exec/script_types.h"

namespace {

int on_off_switch(CommandCall& call, OptionId id, int on_text, int off_text)
{
    if (call.tokens.size() > 1) {
        const std::string w = text_lower_copy(call.tokens[1]);
        if (w == "on") opt_set(id, 1);
        else if (w == "off") opt_set(id, 0);
    }
    command_show(call, conn_of(call), kColorInfoText, command_text_with(opt(id) ? on_text : off_text, nullptr, 0));
    return 1;
}

}  // namespace

int cmd_ajinvite(CommandCall& call)
{
    return on_off_switch(call, OPT_JOIN_ON_INVITE, 701, 702);
}

int cmd_perform(CommandCall& call)
{
    return on_off_switch(call, OPT_PERFORM_ENABLED, 905, 906);
}

int cmd_autojoin(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn) || !conn->registered) return command_fail(call, command_word(call, "autojoin"), 12);
    IrcConnState* st = irc_state(conn);
    int text = 786;
    int shown_delay = 0;
    st->autojoin_delay = 0;
    if (call.tokens.size() > 1 && !call.tokens[1].empty() && call.tokens[1][0] == '-') {
        const std::string& sw = call.tokens[1];
        for (std::size_t i = 1; i < sw.size(); ++i) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(sw[i])));
            if (c == 'n') {
                st->autojoin_delay = -1;
                text = 784;
            } else if (c == 's') {
                st->autojoin_delay = -1;
                text = 786;
            } else if (c == 'd') {
                std::size_t j = i + 1;
                long n = 0;
                while (j < sw.size() && std::isdigit(static_cast<unsigned char>(sw[j]))) {
                    if (n < 100000) n = n * 10 + (sw[j] - '0');
                    ++j;
                }
                i = j - 1;
                if (n > 600) n = 600;
                st->autojoin_delay = static_cast<int>(n);
                shown_delay = static_cast<int>(n);
                text = n ? 785 : 786;
            }
        }
    }
    command_show(call, conn, kColorInfo2Text, command_text_with(text, nullptr, shown_delay));
    if (text == 784) conn_auto_join(conn);
    return 1;
}

void logon_switch_commands_register()
{
    script_register_command("ajinvite", cmd_ajinvite);
    script_register_command("perform", cmd_perform);
    script_register_command("autojoin", cmd_autojoin);
}
