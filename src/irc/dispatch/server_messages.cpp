// The vocabulary of the server: every command word and every numeric reply
// the dispatcher knows, with the handler that takes it, the fewest
// parameters (words after the command) it needs and its flags. Each handler
// has the line's wire format written above it.
#include "irc/dispatch/dispatcher.h"

#include <cctype>
#include <unordered_map>

#include "core/text_buffer.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/messages.h"
#include "irc/dispatch/modes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "irc/numerics/replies.h"

// The server commands. A line short of an entry's parameters is dropped.
const std::vector<ServerMessage>& irc_server_messages()
{
    static const std::vector<ServerMessage> table = {
        {"ERROR", irc_on_error, 0, kSourceDropped},
        {"EVENT", irc_on_event, 2},
        {"INVITE", irc_on_invite, 2},
        {"JOIN", membership_on_join, 1},
        {"KICK", membership_on_kick, 2},
        {"KILL", membership_on_kill, 1},
        {"KNOCK", irc_on_knock, 1},
        {"MODE", irc_on_mode_message, 1, kSenderSeen},
        {"NICK", membership_on_nick, 1},
        {"NOTICE", irc_on_notice_message, 1, kSenderSeen},
        {"PART", membership_on_part, 1},
        {"PING", irc_on_ping, 0, kSourceDropped},
        {"PONG", irc_on_pong, 0},
        {"PRIVMSG", irc_on_privmsg_message, 2, kSenderSeen},
        {"PROP", irc_on_prop, 1},
        {"QUIT", membership_on_quit, 0},
        {"TOPIC", irc_on_topic, 1},
        {"WALLOPS", irc_on_wallops, 0},
        {"WHISPER", irc_on_whisper, 3},
    };
    return table;
}

// The numeric replies, by number. A line short of an entry's parameters,
// and every number not here, is shown by numeric_show_default.
const std::vector<NumericReply>& irc_numeric_replies()
{
    static const std::vector<NumericReply> table = {
        {1, numeric_on_welcome, 0},
        {2, numeric_show_text, 0},
        {3, numeric_show_text, 0},
        {4, numeric_on_server_info, 0},
        {5, numeric_on_isupport, 0},
        {10, numeric_on_redirect, 3},
        {200, numeric_show_params, 0},
        {201, numeric_show_params, 0},
        {202, numeric_show_params, 0},
        {203, numeric_show_params, 0},
        {204, numeric_show_params, 0},
        {205, numeric_show_params, 0},
        {206, numeric_show_params, 0},
        {208, numeric_show_params, 0},
        {211, numeric_on_stats_line, 0},
        {212, numeric_on_stats_line, 0},
        {213, numeric_on_stats_line, 0},
        {214, numeric_on_stats_line, 0},
        {215, numeric_on_stats_line, 0},
        {216, numeric_on_stats_line, 0},
        {218, numeric_on_stats_line, 0},
        {219, numeric_on_stats_end, 0},
        {221, numeric_on_user_modes, 0},
        {241, numeric_on_stats_line, 0},
        {242, numeric_on_stats_line, 0},
        {243, numeric_on_stats_line, 0},
        {244, numeric_on_stats_line, 0},
        {247, numeric_on_stats_line, 0},
        {249, numeric_on_stats_line, 0},
        {250, numeric_show_text_ruled, 0},
        {251, numeric_show_text_rule_before, 0},
        {255, numeric_show_text_rule_after, 0},
        {256, numeric_show_text_rule_before, 0},
        {257, numeric_show_text, 0},
        {258, numeric_show_text, 0},
        {259, numeric_show_text_rule_after, 0},
        {261, numeric_show_params, 0},
        {263, reply_on_server_busy, 0},
        {265, numeric_on_user_counts, 2},
        {266, numeric_on_user_counts, 2},
        {301, query_on_away, 0},
        {302, query_on_userhost, 0},
        {303, notify_on_ison_watch, 0},
        {305, query_on_back, 0},
        {306, query_on_now_away, 0},
        {307, query_on_whois_plain, 0},
        {308, query_on_whois_plain, 0},
        {309, query_on_whois_plain, 0},
        {310, query_on_whois_plain, 0},
        {311, query_on_whois_user, 0},
        {312, query_on_whois_server, 0},
        {313, query_on_whois_plain, 0},
        {314, query_on_whowas_user, 0},
        {315, query_on_who_end, 0},
        {317, query_on_whois_idle, 0},
        {318, query_on_whois_end, 0},
        {319, query_on_whois_channels, 0},
        {320, query_on_whois_plain, 0},
        {321, reply_on_list_start, 0},
        {322, query_on_list_entry, 0},
        {323, reply_on_list_end, 0},
        {324, reply_on_channel_modes, 0},
        {328, query_on_home_page, 0},
        {329, reply_on_creation_time, 0},
        {330, query_on_whois_account, 0},
        {331, reply_on_no_topic, 0},
        {332, reply_on_topic, 0},
        {333, reply_on_topic_setter, 0},
        {334, reply_on_list_usage, 0},
        {335, query_on_whois_plain, 0},
        {338, query_on_whois_actual, 0},
        {341, reply_on_inviting, 0},
        {343, numeric_show_params_ruled, 2},
        {345, query_on_list_count, 0},
        {346, query_on_mode_list_entry, 0},
        {347, query_on_mode_list_end, 0},
        {348, query_on_mode_list_entry, 0},
        {349, query_on_mode_list_end, 0},
        {351, numeric_show_params_ruled, 0},
        {352, query_on_who_line, 0},
        {353, reply_on_names, 0},
        {364, query_on_links, 0},
        {365, query_on_links_end, 0},
        {366, reply_on_names_end, 0},
        {367, query_on_mode_list_entry, 0},
        {368, query_on_mode_list_end, 0},
        {369, query_on_whois_end, 0},
        {371, numeric_on_info_line, 0},
        {372, numeric_on_motd_line, 0},
        {374, numeric_on_info_end, 0},
        {375, numeric_on_motd_start, 0},
        {376, numeric_on_motd_end, 0},
        {377, numeric_on_motd_line, 0},
        {378, query_on_whois_plain, 0},
        {379, query_on_whois_plain, 0},
        {380, query_on_mode_list_end, 0},
        {381, numeric_show_text_ruled, 0},
        {391, numeric_show_text_ruled, 0},
        {392, numeric_show_text_rule_before, 0},
        {394, numeric_show_text_rule_after, 0},
        {401, query_on_no_such, 0},
        {402, query_on_no_server, 0},
        {403, reply_on_not_a_channel, 2},
        {404, query_on_cannot_send, 0},
        {405, reply_on_join_refused, 2},
        {406, query_on_no_such, 0},
        {410, query_on_cannot_send, 0},
        {412, numeric_show_text, 0},
        {421, numeric_show_params_ruled, 0},
        {422, numeric_on_motd_end, 0},
        {431, numeric_show_text, 0},
        {432, numeric_on_nick_in_use, 0},
        {433, numeric_on_nick_in_use, 0},
        {436, numeric_raw_only, 0},
        {437, numeric_on_nick_in_use, 0},
        {438, numeric_show_params_ruled, 0},
        {440, numeric_show_text, 0},
        {442, reply_on_not_a_channel, 2},
        {443, numeric_show_params_ruled, 0},
        {464, numeric_show_text_ruled, 0},
        {465, numeric_show_params_ruled, 0},
        {471, reply_on_join_refused, 2},
        {472, reply_on_unknown_mode, 0},
        {473, reply_on_join_refused, 2},
        {474, reply_on_join_refused, 2},
        {475, reply_on_join_refused, 2},
        {477, reply_on_join_refused, 2, kJoinInWordThree},
        {482, query_on_not_operator, 0},
        {485, query_on_not_operator, 0},
        {489, reply_on_join_refused, 2},
        {512, notify_on_ison_watch, 0},
        {523, numeric_show_text_ruled, 0},
        {553, reply_on_join_refused, 2},
        {554, numeric_show_text_ruled, 0},
        {555, numeric_show_text_ruled, 0},
        {556, reply_on_join_refused, 2},
        {600, notify_on_ison_watch, 0},
        {601, notify_on_ison_watch, 0},
        {602, notify_on_ison_watch, 0},
        {603, notify_on_ison_watch, 0},
        {604, notify_on_ison_watch, 0},
        {605, notify_on_ison_watch, 0},
        {606, notify_on_ison_watch, 0},
        {607, notify_on_ison_watch, 0},
        {608, notify_on_ison_watch, 0},
        {615, query_on_whois_plain, 0},
        {616, query_on_whois_plain, 0},
        {650, numeric_on_services_line, 2},
        {651, numeric_on_services_end, 0},
        {671, query_on_whois_plain, 0},
        {800, numeric_on_ircx, 0},
        {811, reply_on_list_start, 0},
        {812, query_on_list_entry, 0},
        {816, reply_on_list_end, 0},
        {817, reply_on_list_end, 0},
        {901, notify_on_ison_watch, 0},
        {999, numeric_show_text_ruled, 0},
    };
    return table;
}

const ServerMessage* irc_server_message(const std::string& word)
{
    // Registered once, by upper-case word.
    static const std::unordered_map<std::string, const ServerMessage*> index = [] {
        std::unordered_map<std::string, const ServerMessage*> m;
        for (const ServerMessage& e : irc_server_messages()) m.emplace(e.word, &e);
        return m;
    }();
    if (word.size() > 16) return nullptr;
    std::string upper = word;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = index.find(upper);
    return it == index.end() ? nullptr : it->second;
}

const NumericReply* irc_numeric_reply(int number)
{
    static const std::unordered_map<int, const NumericReply*> index = [] {
        std::unordered_map<int, const NumericReply*> m;
        for (const NumericReply& e : irc_numeric_replies()) m.emplace(e.number, &e);
        return m;
    }();
    auto it = index.find(number);
    return it == index.end() ? nullptr : it->second;
}

const NumericReply* irc_numeric_entry(const IrcMessage& msg)
{
    const NumericReply* entry = irc_numeric_reply(msg.numeric);
    if (!entry) return nullptr;
    if (static_cast<int>(msg.words.size()) - 2 < entry->min_params) return nullptr;
    if ((entry->flags & kJoinInWordThree) && text_lower_copy(irc_word(msg, 3)).find("join") == std::string::npos)
        return nullptr;
    return entry;
}
