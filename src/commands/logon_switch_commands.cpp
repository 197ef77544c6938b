#include "commands/logon_switch_commands.h"

#include <cctype>
#include <cstdio>

#include "model/connection.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
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

int fail(CommandCall& call, const std::string& word, int type)
{
    return script_error(call.window, word, {}, type);
}

std::string word_of(const CommandCall& call, const char* def)
{
    return call.tokens.empty() ? std::string(def) : call.tokens[0];
}


// The numbered text with one "%d" or "%s" filled in.
std::string text_with(int id, const std::string* s, int n)
{
    const char* t = text_load_string(id);
    if (!t) return {};
    char buf[kMediumTextSize];
    if (s) std::snprintf(buf, sizeof buf, t, s->substr(0, 256).c_str());
    else std::snprintf(buf, sizeof buf, t, n);
    return buf;
}

void show(CommandCall& call, Connection* conn, std::uint32_t colour, const std::string& text)
{
    if (call.show) chat_show(chat_record_of(call.window), conn, colour, text);
}

int on_off_switch(CommandCall& call, OptionId id, int on_text, int off_text)
{
    if (call.tokens.size() > 1) {
        const std::string w = text_lower_copy(call.tokens[1]);
        if (w == "on") opt_set(id, 1);
        else if (w == "off") opt_set(id, 0);
    }
    show(call, conn_of(call), kColorInfoText, text_with(opt(id) ? on_text : off_text, nullptr, 0));
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
    if (!conn_is_connected(conn) || !conn->registered) return fail(call, word_of(call, "autojoin"), 12);
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
    show(call, conn, kColorInfo2Text, text_with(text, nullptr, shown_delay));
    if (text == 784) conn_auto_join(conn);
    return 1;
}

void logon_switch_commands_register()
{
    script_register_command("ajinvite", cmd_ajinvite);
    script_register_command("perform", cmd_perform);
    script_register_command("autojoin", cmd_autojoin);
}
