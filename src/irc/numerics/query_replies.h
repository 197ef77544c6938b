// Replies to the client's own queries that go to a chosen window: WHOIS and
// WHOWAS with the away replies, USERHOST, WHO, the errors about nicks and
// channels, the channel list entries, LINKS and the channel's home page and
// list-count replies.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "core/record_slots.h"
#include "core/signal.h"

class QWidget;
struct Connection;
struct IrcMessage;
struct StringNode;

// Handlers of the numerics table (irc/dispatch/server_messages.cpp).
void query_on_whois_user(IrcMessage& msg);
void query_on_whowas_user(IrcMessage& msg);
void query_on_whois_server(IrcMessage& msg);
void query_on_whois_idle(IrcMessage& msg);
void query_on_whois_channels(IrcMessage& msg);
void query_on_whois_plain(IrcMessage& msg);
void query_on_whois_account(IrcMessage& msg);
void query_on_whois_actual(IrcMessage& msg);
void query_on_whois_end(IrcMessage& msg);
void query_on_away(IrcMessage& msg);
void query_on_back(IrcMessage& msg);
void query_on_now_away(IrcMessage& msg);
void query_on_no_such(IrcMessage& msg);
void query_on_no_server(IrcMessage& msg);
void query_on_userhost(IrcMessage& msg);
void query_on_who_line(IrcMessage& msg);
void query_on_who_end(IrcMessage& msg);
void query_on_cannot_send(IrcMessage& msg);
void query_on_not_operator(IrcMessage& msg);
void query_on_list_entry(IrcMessage& msg);
void query_on_links(IrcMessage& msg);
void query_on_links_end(IrcMessage& msg);
void query_on_list_count(IrcMessage& msg);
void query_on_home_page(IrcMessage& msg);
// The invite, except and ban list entries and their ends.
void query_on_mode_list_entry(IrcMessage& msg);
void query_on_mode_list_end(IrcMessage& msg);

// A reply said a name cannot be reached (401 and 406 no such nick, 403 no
// such channel, 404 and 410 cannot send): what waits to be sent there is
// dropped by those that keep it, in this order.
enum UnreachableOrder {
    kUnreachablePlayQueue = 10,  // the play queue's requests for the name
};
extern Signal<void(const std::string& name, Connection* conn)> reply_target_unreachable;

// The address book's whois view: the WHOIS replies about the nick it waits
// for go to it instead of a window (the fields by code: 1 full name, 2
// user@host, 4 channels, 5 idle time, 6 away text, 7 server, 8 status, 9
// status detail), and the end of the WHOIS tells it the list is complete.
struct WhoisViewHooks {
    int (*is_target)(const std::string& nick, Connection* conn) = nullptr;
    void (*add)(int code, const std::string& text) = nullptr;
    void (*end)(Connection* conn) = nullptr;
};
extern WhoisViewHooks whois_view_hooks;

// Per-connection state of these replies.
struct QueryReplyState {
    int away = 0;
    std::time_t away_since = 0;
    int whois_active = 0;
    int whowas_active = 0;
    int links_pending = 0;
    StringNode* links_list = nullptr;  // "server,uplink,rest", newest first
    int userhost_pending = 0;
    QueryReplyState() = default;
    QueryReplyState(const QueryReplyState&) = delete;
    QueryReplyState& operator=(const QueryReplyState&) = delete;
    ~QueryReplyState();
};
// The state of a connection (made on first use, gone with the record); null
// for a null connection.
QueryReplyState* query_reply_state(Connection* conn);
extern RecordSlot<QueryReplyState> query_reply_slot;
// Whether the connection is marked away.
int query_is_away(Connection* conn);
// Clears the away state (the user is back); 1 when the connection was away.
int query_take_away(Connection* conn);

// The answer to LINKS is complete: the collected entries, newest first. A
// listener that keeps the list takes it (sets it to null); what is left
// after the fire is freed.
enum LinksReceivedOrder {
    kLinksReceivedWindow = 10,  // the Links List window
};
extern Signal<void(StringNode*& list, Connection* conn)> links_received;

// Seams to later subsystems. Absent (null): the default stated.
// The channels list window takes a 322 entry (name, users, topic); absent:
// the entry is shown in the status window.
extern void (*query_chanlist_entry)(const std::string& name, const std::string& users, const std::string& topic,
                                    Connection* conn);

// Sets the away seams of the captions and the messaging commands.
void query_replies_install();
