// Replies to the client's own queries and the errors about nicks and
// channels: NAMES filling a channel's nick list, the topic and its setter,
// channel modes and creation time, invitations, refused joins, WHO and the
// channel list frame lines. Each handled reply fires the raw event and is
// shown in the window it concerns or in the status window.
#pragma once

#include "irc/numerics/numerics.h"
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/signal.h"

struct Connection;
struct IrcMessage;
struct WindowRecord;

// Handlers of the numerics table (irc/dispatch/server_messages.cpp).
void reply_on_names(IrcMessage& msg);
void reply_on_names_end(IrcMessage& msg);
void reply_on_no_topic(IrcMessage& msg);
void reply_on_topic(IrcMessage& msg);
void reply_on_topic_setter(IrcMessage& msg);
void reply_on_channel_modes(IrcMessage& msg);
void reply_on_creation_time(IrcMessage& msg);
void reply_on_inviting(IrcMessage& msg);
void reply_on_join_refused(IrcMessage& msg);
void reply_on_list_start(IrcMessage& msg);
void reply_on_list_end(IrcMessage& msg);
void reply_on_server_busy(IrcMessage& msg);
void reply_on_list_usage(IrcMessage& msg);
void reply_on_not_a_channel(IrcMessage& msg);
void reply_on_unknown_mode(IrcMessage& msg);



// A line for a window's log alone (it is shown elsewhere): the channel's
// creation time, logged with the channel while the status window shows it.
enum LogOnlyLineOrder {
    kLogOnlyLineLog = 10,  // the window's log file
};
extern Signal<void(WindowRecord* rec, const std::string& text, std::uint32_t colour)> irc_log_only_line;

// The channel-list state of a connection (chanlist_busy): 1 asked for,
// 2 a reply under way, 0 idle. The reply's start and its end (also when
// the link is set back).
void reply_chanlist_begin(Connection* conn);
void reply_chanlist_end(Connection* conn);
// Fired at the reply's start (stage 0, state 2 already set) and at its end
// (stage 1, before the state goes idle) for the channels list to follow.
enum ChanlistStageOrder {
    kChanlistStageList = 10,  // the channels list
};
extern Signal<void(Connection* conn, int stage)> reply_chanlist_stage;

// Per-connection state of the replies.
struct ReplyState {
    std::string names_channel;   // channel whose NAMES reply is arriving
    int topic_shown = 0;         // a topic reply went to the status window
    // The members a NAMES reply set aside; at its end those no channel
    // holds any more leave the address list.
    std::vector<std::string> names_set_aside;
    // What each set-aside member showed (nick lower-cased): a member that
    // the reply lists again takes it back.
    struct SavedMember {
        int colour_state = 0;
        int second = 0;
        int colour = 99;  // the list line's colour, 0..15, or 99 for none
    };
    std::unordered_map<std::string, SavedMember> names_saved;
};
// The saved entry of a member that a NAMES reply of the window's channel
// set aside: 1 with its colour state, second word and colour (-1 when the
// rules are to choose it), 0 when there is none.
int reply_names_saved_entry(WindowRecord* rec, const std::string& nick, int* colour_state, int* second,
                            int* colour);

// The state of a connection (made on first use, gone with the record); null
// for a null connection.
ReplyState* reply_state(Connection* conn);

// Splits one NAMES entry into its prefix bits, nick and (UHNAMES form)
// user@host: every leading character that is one of the connection's nick
// prefixes adds its bit, in whatever order the server sent them.
int names_entry_parse(const std::string& entry, Connection* conn, std::string& nick, std::string& address);
