// Channel membership: the JOIN, PART, KICK, QUIT, NICK and KILL handlers keep
// the channel windows, their nick lists, the address list, the own nick and
// the captions in step, and show each change where the user chose.
#pragma once

#include <cstdint>
#include <string>

class QWidget;
struct Connection;
struct IrcMessage;
struct WindowRecord;

// Where the lines go (global settings): joins, parts, kicks and nick changes
// 0 the channel, 1 the status window, other nowhere; quits 0 the channel, 1
// the status window, 2 both.
struct MembershipSettings {
    int joins_in = 0;
    int parts_in = 0;
    int quits_in = 0;
    int kicks_in = 0;
    int nicks_in = 0;
    int show_channel_name = 0;   // name the channel when the line goes elsewhere
    int keep_window_on_kick = 0; // keep the channel window open after our kick
    // CTCP requests to a channel: 0 the channel, 1 the status window, other
    // the window CTCP lines go to by default.
    int ctcps_in = 0;
};
extern MembershipSettings membership_settings;

// Per channel window state kept here.
struct ChannelMembership {
    int joined = 0;
    int rejoin_pending = 0;   // we rejoin after a kick; cleared by the JOIN
    int kicked = 0;
    int pending_modes = 0;    // "MODE #chan" requests sent by us
    int pending_created = 0;  // creation-time replies that follow those
    int open_state = 0;       // 2 just opened
    // Per-window choices: 0 the global setting, 1 this window, 2 the status
    // window, 3 (quits only) both, other nowhere.
    int show_joins_in = 0;
    int show_parts_in = 0;
    int show_quits_in = 0;
    int show_kicks_in = 0;
    int show_nicks_in = 0;
    // CTCP requests: 0 the global setting, 1 this window, 2 the status
    // window, other the default window.
    int show_ctcps_in = 0;
};
// The state of a channel window (made on first use); null for null.
ChannelMembership* chan_membership(const WindowRecord* rec);
// How many channel windows have a state here (for tests: closed windows
// leave none behind).
int membership_state_count();

// The handlers.
void membership_on_join(IrcMessage& msg);
void membership_on_part(IrcMessage& msg);
void membership_on_kick(IrcMessage& msg);
void membership_on_quit(IrcMessage& msg);
void membership_on_nick(IrcMessage& msg);
void membership_on_kill(IrcMessage& msg);

// The nick in use on the connection.
std::string membership_own_nick(Connection* conn);

// The address-list note of a sender seen on a channel.
void membership_note_sender(Connection* conn, const std::string& nick, const std::string& address);

// Adds the address list's listeners for connections made and freed.
void irc_membership_install();
