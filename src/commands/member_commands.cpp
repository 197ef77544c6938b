#include "commands/member_commands.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "commands/command_conn.h"
#include "commands/command_replies.h"
#include "commands/messaging_commands.h"
#include "core/text_buffer.h"
#include "core/numbered_texts.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/nick_list.h"
#include "irc/dispatch/automode.h"
#include "irc/dispatch/captions.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"
#include "script/exec/script_types.h"

int (*chat_channel_central_open)(WindowRecord*, Connection*) = nullptr;

int cmd_pop(CommandCall& call)
{
    const int voice = call.variant == 1;
    const std::string word = command_word(call, voice ? "pvoice" : "pop");
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return command_fail(call, word, 12);
    if (call.tokens.size() < 3 || !std::isdigit(static_cast<unsigned char>(call.tokens[1][0])))
        return command_fail(call, word, 0);
    int delay = std::atoi(call.tokens[1].substr(0, 9).c_str());
    if (delay > 15) delay = 15;
    WindowRecord* rec = nullptr;
    std::size_t nick_at = 2;
    if (chat_is_channel(call.tokens[2], conn)) {
        rec = win_find_channel(call.tokens[2], conn);
        nick_at = 3;
        if (!rec || call.tokens.size() < 4) return command_fail(call, word, 0);
    } else {
        rec = win_record_of(call.window);
        if (!rec || rec->type != kWinChannel || rec->conn != conn) return command_fail(call, word, 0);
    }
    const std::string& nick = call.tokens[nick_at];
    const int bits = nicklist_update(conn->live_identity[2], rec, kNickTest, 0);
    if (!chan_bits_have_rank(bits, voice ? 2 : 3, conn)) {
        command_show(call, conn, kColorInfoText, command_text_with(907, &rec->name, 0));
        return 1;
    }
    automode_queue(delay, rec->name, nick, voice, conn);
    return 1;
}

int cmd_channel(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_connected(conn)) return command_fail(call, "channel", 12);
    WindowRecord* rec = nullptr;
    if (call.tokens.size() > 1) {
        if (!chat_is_channel(call.tokens[1], conn)) return command_fail(call, "channel", 3);
        rec = win_find_channel(call.tokens[1], conn);
        if (!rec) return command_fail(call, "channel", 3);
    } else {
        rec = win_record_of(call.window);
        if (!rec || rec->type != kWinChannel || rec->conn != conn) {
            command_show(call, conn, kColorInfoText, command_text_with(716, nullptr, 0));
            return 1;
        }
    }
    if (chat_channel_central_open && chat_channel_central_open(rec, conn)) return 1;
    for (const char* kind : {" +b", " +e", " +I"}) irc_send_line("MODE " + rec->name + kind + "\n", 0, conn);
    command_show(call, conn, kColorInfo2Text, command_text_with(718, &rec->name, 0));
    return 1;
}

int cmd_updatenl(CommandCall& call)
{
    Connection* conn = conn_of(call);
    if (!conn_is_live(conn)) return 1;
    std::vector<WindowRecord*> windows;
    for (WindowRecord* w = win_list; w; w = w->next)
        if (w->type == kWinChannel && w->conn == conn && w->hwnd) windows.push_back(w);
    for (WindowRecord* rec : windows) {
        if (!win_is_record(rec) || !conn_is_live(conn)) continue;
        std::vector<std::pair<std::string, int>> leaving;
        for (NickEntry* n = rec->nick_list; n; n = n->next) {
            const int value = n->extra[kNickValue];
            if (value == 1 || value == 2) leaving.emplace_back(n->text, value);
        }
        if (leaving.empty()) continue;
        for (const auto& [nick, value] : leaving) {
            nicklist_update(nick, rec, kNickRemove, 0);
            ial_forget_nick(value == 2 ? rec : nullptr, nick, 0, conn);
        }
        win_update_title(rec, nullptr);
    }
    return 1;
}

void member_commands_register()
{
    script_register_command("updatenl", cmd_updatenl);
    script_register_command("pop", cmd_pop);
    script_register_command("pvoice", cmd_pop, 1);
    script_register_command("channel", cmd_channel);
}
