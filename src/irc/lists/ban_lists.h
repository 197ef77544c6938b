// Channel ban, except and invite lists (+b, +e, +I) kept per channel window,
// filled from the server's list replies and kept up to date from MODE lines,
// and the per-connection list of timed bans that are lifted when their time
// runs out.
//
// An entry is a StringNode of the window's chan_lists[index] (0 bans,
// 1 excepts, 2 invites) whose text is the mask, then, when a setter is known,
// a tab, the setter's nick, " (user@host)" when the address is known and
// " <seconds>" with the set time. Masks compare without regard to case, up
// to the tab.
//
// A timed ban is a StringNode of Connection::timed_bans with the text
// "channel mask" and the seconds left in its number.
#pragma once

#include <cstdint>
#include <string>

struct Connection;
struct IrcMessage;
struct StringNode;
struct WindowRecord;

// List indexes.
enum ChanListIndex : int { kChanListBans = 0, kChanListExcepts = 1, kChanListInvites = 2 };

// A list holds at most this many entries (a server cannot grow it without
// end); entries past it are dropped.
constexpr int kChanListMaxEntries = 10000;
// The timed-ban list of a connection holds at most this many entries.
constexpr int kTimedBanMaxEntries = 10000;

// ---- Channel lists ----

// The entry whose mask (text up to the tab) equals the mask, case ignored;
// null when none.
StringNode* chan_list_find(StringNode* head, const std::string& mask);

// Removes the mask's entry from list `index` of the window; when adding with
// a non-empty setter nick, puts a new entry first ("mask\tnick (address) time"
// or "mask\tnick time" without an address, the time being now). Returns 0
// when not adding, for an empty mask, a bad window or index, or when the new
// entry could not be made; else 1.
int chan_list_set(WindowRecord* rec, const std::string& nick, const std::string& address,
                  const std::string& mask, int add, int index);

// The list index of a list numeric: 367 and 368 bans, 348, 349 and 380
// excepts, 346 and 347 invites; -1 for any other.
int chan_list_index_of(int numeric);

// One line of a list reply (367, 348, 346): word 3 the channel, 4 the mask,
// 5 the setter, 6 the set time. Stores the entry in the channel window's
// list (the first line of a reply clears it) and shows the line unless the
// list is being fetched silently.
void chan_list_reply(IrcMessage& msg, int index);
// The end of a list reply (368, 349/380, 347): the list is complete (an
// empty reply empties it); shown from word 3 unless Channel Central's
// pending request takes it.
void chan_list_end(IrcMessage& msg, int index);

// Per list: 0 not fetched, 1 a reply is being received, 2 complete.
int chan_list_state(const WindowRecord* rec, int index);
// The same for the window as a whole.
int chan_lists_state(const WindowRecord* rec);

// ---- Silent fetches for the channel tools ----

// While a tool fetches a channel's lists, the entries stored for its window
// are collected in `entries` as well and the list replies of that window are
// not shown; replies for `quiet_channel` are not shown either.
struct ChanListScan {
    std::uint64_t window_seq = 0;  // creation_seq of the scanned window
    int active = 0;                // a window is being scanned
    int flag = 0;                  // the tool's own word
    StringNode* entries = nullptr; // collected entry texts, in arrival order
    int entry_count = 0;
    std::string quiet_channel;     // replies for this channel are not shown
    ChanListScan() = default;
    ChanListScan(const ChanListScan&) = delete;
    ChanListScan& operator=(const ChanListScan&) = delete;
    ~ChanListScan();
};
// The connection's scan state (made on first use, gone with the record); null
// for a dead connection.
ChanListScan* chan_list_scan(Connection* conn);
// Starts a silent fetch for the channel window: earlier collected entries
// are freed.
void chan_list_scan_begin(WindowRecord* rec, int flag, Connection* conn);
// The scanned window, or null (none, or it has closed).
WindowRecord* chan_list_scan_window(Connection* conn);
// Ends the scan (the collected entries stay until taken or the next begin).
void chan_list_scan_end(Connection* conn);
// Ends the scan when the channel window named `name` is the one scanned
// (the server says there is no such channel or nick).
void chan_list_scan_end_for(const std::string& name, Connection* conn);
// Hands the collected entries to the caller, who frees them.
StringNode* chan_list_scan_take(Connection* conn);
// Names the channel whose list replies are not shown (empty: none).
void chan_list_set_quiet(const std::string& channel, Connection* conn);

// ---- Timed bans ----

// Removes every entry for the channel and mask (case ignored); returns how
// many were removed.
int chan_timed_ban_remove(const std::string& channel, const std::string& mask, Connection* conn);
// Seconds left of the timed ban for the channel and mask; 0 when none.
int chan_timed_ban_find(const std::string& channel, const std::string& mask, Connection* conn);
// Removes equal entries, then appends a new one counting down from seconds.
void chan_timed_ban_add(const std::string& channel, const std::string& mask, int seconds,
                        Connection* conn);
// One second of the connection: counts every entry down; an entry that had
// less than 2 seconds left is removed, and its ban lifted ("MODE channel -b
// mask") when the channel window exists and we hold voice or a higher rank.
void chan_timed_ban_tick(Connection* conn);

// ---- Identifiers ----

// A part of an entry: 0 the mask, 1 the setter as nick or nick!user@host,
// 2 the set time formatted "mmm doo h:nntt", 3 the set time as a number.
// Returns 1 with the part in result, 0 with an empty result.
int chan_list_entry_part(const StringNode* entry, std::string& result, int part);

// A list mode (+b, +e, +I or their removal) seen in a channel: the list
// follows it. Wired as the mode handler's list hook.
void chan_list_on_mode(WindowRecord* rec, char letter, int adding, const std::string& mask,
                       const std::string& setter, const std::string& address);
