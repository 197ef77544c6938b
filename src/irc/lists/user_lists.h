// The auto-op, auto-voice and protect lists (program-wide, kept in
// "control.ini"), the pending USERHOST requests of each connection that let a
// command given a nick finish when the server has told us its address, and
// the edits of the user-level entries of the users file.
//
// A list entry is a user-list entry text: the mask, then optionally a comma
// and a comma-separated list of channels (none = every channel), then
// optionally a comma and the network between double quotes:
//     *!*@host.example,#a,#b,"Net"
#pragma once

#include "core/signal.h"

#include <cstdint>
#include <string>
#include <vector>

#include "model/connection.h"

class QWidget;
struct StringNode;
struct WindowRecord;

// ---- The lists ----

enum UserListKind : int {
    kUserListAop = 0,
    kUserListAvoice = 1,
    kUserListProtect = 2,
};

// The list's head (main_settings' lists); null for a kind outside 0..2.
StringNode** userlist_head(int kind);

// Cuts a trailing quoted network off an entry text in place: after the last
// comma, blanks skipped, the field must begin with '"'; the comma, the field
// and its closing quote go. Returns the network cut to its first word and to
// 304 characters; empty when there is none (the text is then unchanged).
std::string userlist_split_network(std::string& text);

// Whether an entry with the network `entry_net` applies to the lookup network
// `lookup`: lookup "*", equal names (case ignored), or no network given
// explicitly and none on the entry.
bool userlist_network_applies(const std::string& entry_net, const std::string& lookup, bool explicit_net);

// Matching. The address is "nick!user@host"; the channel (may be null)
// filters by the entry's channel list; the network (may be null: the
// connection's) by the entry's network. The first entry whose mask matches
// decides: when its channels do not hold the channel, the result is null.
StringNode* userlist_aop_match(const std::string& address, const std::string* channel,
                               const std::string* network, Connection* conn);
StringNode* userlist_avoice_match(const std::string& address, const std::string* channel,
                                  const std::string* network, Connection* conn);
// The same for the protect list, given a nick: an entry whose mask holds "!"
// and "@" is matched against the nick's address from the internal address
// list; any entry also matches when its mask equals the nick (case ignored).
StringNode* userlist_protect_match(const std::string& nick, const std::string* channel,
                                   const std::string* network, Connection* conn);
// The protect match with the nick's address already known (empty: asked of
// the internal address list).
StringNode* userlist_protect_match_address(const std::string& nick, const std::string& address,
                                           const std::string* channel, const std::string* network,
                                           Connection* conn);

// Edits: action 0 toggles, 1 adds or updates, 2 removes. `channels` (may be
// null) is the channel list as typed, optionally ending in a quoted network.
// The message of the outcome is printed in the window between separators
// when echo is set. Returns 1 added or updated, 2 removed, 0 nothing done
// (empty mask, or not in the list).
int userlist_aop_edit(QWidget* window, int action, const std::string& mask, const std::string* channels, int echo,
                      Connection* conn);
int userlist_avoice_edit(QWidget* window, int action, const std::string& mask, const std::string* channels,
                         int echo, Connection* conn);
int userlist_protect_edit(QWidget* window, int action, const std::string& mask, const std::string* channels,
                          int echo, Connection* conn);

// The membership steps that consult the lists.
// Another user joined a channel window: auto-op (or else auto-voice) when the
// list is on, the address matches and we hold the rank to give it.
void userlist_on_join(WindowRecord* rec, const std::string& nick, const std::string& address, Connection* conn);
// Another user was kicked by a third one: with protect on, we an operator
// and the kicked nick protected on the channel, the kicker is kicked.
void userlist_on_kick(WindowRecord* rec, const std::string& kicker, const std::string& kicked, Connection* conn);

// ---- USERHOST requests ----

// What a request completes.
enum UserhostPurpose : int {
    kUhGuser = 0,
    kUhRuser = 1,
    kUhBan = 2,
    kUhIgnore = 3,
    kUhDns = 4,
    kUhFingerUserHost = 5,
    kUhFingerHost = 6,
    kUhAop = 7,
    kUhUnban = 8,
    kUhAvoice = 9,
    kUhLocalInfo = 10,
    kUhProtect = 11,
};

// A pending request: the list of the connection holds these (the purpose,
// window and link of the base are the connection's view of it).
struct UserhostRequestRecord : UserhostRequest {
    std::string nick;         // at most 255 characters
    int mask_type = 0;        // mask_address type 0..19
    std::string text1;        // levels, types, channels or a reason
    std::string text2;        // an info text
    std::string channel;      // the channel of a ban
    int echo = 0;
    int seconds = 0;          // a timed ban or ignore
    int action = 0;           // list action, or the kick flag of a ban
};

// The window of a request (defined in the app folder, where the widget type
// is complete); a closed window reads as null.
void userhost_window_set(UserhostRequest& request, QWidget* window);
QWidget* userhost_window_get(const UserhostRequest& request);

// A connection holds at most this many requests; more are refused.
constexpr int kUserhostMaxPending = 100;

// Queues a request for the connection of the window and sends
// "USERHOST nick" (with the tag as the send flags). Returns 1 when queued;
// 0 when the window has no live connection, the nick is empty, 256
// characters or longer or holds a blank or a line break, or the connection
// holds kUserhostMaxPending requests.
int irc_userhost_request(const std::string& nick, const std::string& text1, const std::string& text2,
                         const std::string& channel, int mask_type, int seconds, QWidget* window, int action,
                         int purpose, int tag, int echo);
// The same for a known connection (the window may be null: the status window).
int irc_userhost_request_on(Connection* conn, const std::string& nick, const std::string& text1,
                            const std::string& text2, const std::string& channel, int mask_type, int seconds,
                            QWidget* window, int action, int purpose, int tag, int echo);
// One "nick!user@host" item of a 302 reply: the oldest request for that nick
// (case ignored) is taken, completed and freed. 1 when a request took it.
int irc_userhost_reply(const std::string& item, Connection* conn);
// The reply count fell below 1: every request still pending fails (its
// message in the status window; a /dns request completes as not found) and
// is freed; the count is reset. Returns the number of requests failed.
int irc_userhost_fail_all(Connection* conn);
// Frees every request of the connection (link reset, record freed); a
// pending finger request clears the finger target.
void userhost_requests_free(Connection* conn);
// Number of pending requests of the connection.
int userhost_request_count(Connection* conn);

// ---- User levels of the users file ----

// Two comma-separated level lists (at most 41 items each; a leading "=" is
// ignored when comparing, case ignored). op 0: merge into out (duplicates
// dropped; a number that B begins with and that differs from A's first item
// goes first; then A's items, then B's items that A lacks), 1 when it
// differs from A. op 1: A without B's items into out, 1 when an item was
// removed or A is empty. op 2: 1 when an item is in both. op 3: 1 when some
// numeric A item is lower than some numeric B item; op 4: higher. out may be
// null for ops 2 to 4.
int userlist_levels_op(const std::string& a, const std::string& b, std::string* out, int op);

// Adds or updates the users-file entry of the address. mode 0 merges the
// levels into an existing entry, 1 replaces it, 2 sets only its info text.
// Without an entry a new one "levels:address[ info]" is appended. Returns 1
// when the file changed, 0 when there is no users file or nothing to add.
int users_add_levels(const std::string& nick, const std::string& levels, int mode, QWidget* window,
                     const std::string& address, const std::string& info, int echo);
// Removes the levels from every entry of the address (an address ending in
// "!" names every address of that nick); an entry left without levels, or
// every match when no levels are given, is removed. Returns the number of
// entries changed or removed.
int users_remove(const std::string& address, const std::string& levels, QWidget* window, int echo);

// Walks the users file: without `levels` every entry whose first level is
// `level` is removed; with them, the levels are taken out of every entry (an
// entry left with none is removed). Returns the number of entries changed.
int users_remove_levels(const std::string& level, const std::string* levels);
// The users-file lines whose level list matches `level` by
// userlist_levels_op mode `op` (2 equal, 3 below, 4 above).
std::vector<std::string> users_matching(const std::string& level, int op);

// ---- Output ----

// Prints a line into a window (null: the current connection's status
// window), between separators when `framed`.
void userlist_print(QWidget* window, std::uint32_t colour, const std::string& text, int framed);
// Nick colours follow a list change: irc_nick_colours_stale fires.
void userlist_recolor();
// The lists that choose nick colours changed (users, notify): every nick's
// colour is chosen again.
enum NickColoursStaleOrder {
    kStaleNickColours = 10,   // the nick colours
};
extern Signal<void()> irc_nick_colours_stale;
// The users file to edit: the loaded file of kind users (null when none is
// loaded).
struct ScriptFile;
ScriptFile* users_file_for_edit();

// Handlers the program wires: a USERHOST reply item offered to the
// requests (1 when one took it), the requests failed at the end of the
// replies, our own address and a nick's address asked for, the protect
// list's match for a sender, and the list conditions (0 aop, 1 avoice,
// 2 protect) of scripts.
int userlist_userhost_offer(const std::string& item, Connection* conn);
int userlist_userhost_done(Connection* conn);
void userlist_request_self(int echo, Connection* conn);
void userlist_dns_request(Connection* conn, QWidget* window, const std::string& nick);
int userlist_protects_sender(Connection* conn, const std::string& nick, const std::string& address,
                             const std::string& channel);
int userlist_condition_match(int list, const std::string& address, const std::string* channel, Connection* conn);

void irc_user_lists_install();
// Removes what irc_user_lists_install added.
void irc_user_lists_uninstall();
