// The notify list: per connection, the nicks whose coming on IRC and leaving
// it the user wants to know about. Presence is learnt by polling the server
// with ISON, or, on a server that offers WATCH, by registering the nicks and
// taking its WATCH replies; any ordinary line from a listed nick counts as a
// sighting too. Changes raise NOTIFY and UNOTIFY, print an announcement into
// the status window and play the entry's sound.
//
// The list lives in section "notify" of the main settings file ("n0", "n1",
// ... in the text form "[+]nick[!mask]" "NOTE:" "WAVE:" "WAVE2:" "DEFSNDS:1"
// "NETWORK:"), the default sounds in section "notifyopts", the switches in
// the option lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/signal.h"

class QWidget;
struct Connection;
struct IrcMessage;
struct StringNode;

// One nick of a connection's list.
struct NotifyEntry {
    std::string nick;           // as written, maybe with "!user@host" as a mask; no leading "+"
    std::string seen_nick;      // the nick as the server spelled it when last seen
    std::string seen_address;   // user@host last seen
    long online_since = 0;      // seconds on line as a WATCH reply told; 0 unknown
    std::string network;        // comma-separated network names; empty = every network
    std::string note;
    std::string on_sound;       // "beep" or a sound file (absolute)
    std::string off_sound;
    int last_change = 0;        // 0 none, 1 checked, 2 came on line, 3 left
    int address_check = 0;      // 0 not checked, 1 matches (or no mask), 2 mismatch or unknown
    int changed = 0;            // set on every entry when a poll's answer is processed
    int online = 0;
    int whois = 0;              // written with a leading "+": WHOIS when it comes on line
    int default_sounds = 0;     // use the default sounds when it has none
    int id = 0;                 // unique number from the window-number counter
    int activity = 0;           // 3 after a change seen outside the first answer after logon
    int shown = 1;              // the last NOTIFY/UNOTIFY handler did not halt its default
    NotifyEntry* prev = nullptr;  // the head's prev is the last entry
    NotifyEntry* next = nullptr;
};

// Per-connection notify state (besides the Connection's notify_poll_counter,
// notify_poll_interval and notify_poll_flags: seconds since the last poll,
// the poll interval, and the deferred-poll bits 1 full, 2 plain).
struct NotifyConnState {
    NotifyEntry* head = nullptr;
    // ISON lines of one poll; number 0 queued, 1 sent, 2 answered (the text
    // is then the reply's nick list).
    StringNode* pending = nullptr;
    int logon = 0;              // logon in progress (stage 1 until stage 3 or 4)
    int first_answer = 0;       // waiting for the first full answer after a (re)start
    int treebar_refresh = 0;
    std::string network;        // the network the list was last shown for
};

// The state of a live connection (made on first use); null otherwise.
NotifyConnState* notify_state(Connection* conn);
// First entry of a connection's list (null when empty or not live).
NotifyEntry* notify_head(Connection* conn);
int notify_count(Connection* conn);

// Default sounds ("beep", a file path, or empty), section "notifyopts".
extern std::string notify_default_on_sound;
extern std::string notify_default_off_sound;

// ---- The list ----

// Frees the list and reads section "Notify" keys n0, n1, ... up to the first
// empty value.
void notify_load(Connection* conn);
// Writes the list of the connection (else the first connection) to section
// "notify", deleting the keys after the last one written.
void notify_save(Connection* conn);
// Adds an entry in sorted place after removing any with the same nick. The
// nick is cut to its first word; a leading "+" asks for a WHOIS when it comes
// on line ("+" alone adds nothing, 1). 1 added, 0 refused (empty nick, no
// memory: script error "notify" type 2).
int notify_add(const std::string& nick, const std::string& note, const std::string& on_sound,
               const std::string& off_sound, int default_sounds, const std::string& network, Connection* conn);
// The entry for a nick (a leading "+" skipped; case ignored). Mode 1 also
// compares only the nick parts before "!" on both sides.
NotifyEntry* notify_find(const std::string& nick, int mode, Connection* conn);
// The entry with that id on any connection (and its connection).
NotifyEntry* notify_find_by_id(int id, Connection** out_conn);
void notify_free_all(Connection* conn);
// Removes every entry whose nick matches (mode 1). Returns how many went.
int notify_remove_nick(const std::string& nick, Connection* conn);
// Sorts a list by nick, case ignored, keeping equal ones in order; returns
// the new head (its prev the last entry).
NotifyEntry* notify_list_sort(NotifyEntry* head);

// Whether the entry is meant for the connection's network.
int notify_network_applies(const NotifyEntry* entry, Connection* conn);

// ---- Presence ----

// A nick was seen (online 1) or found gone (0): address "user@host" or empty,
// online the seconds on line (WATCH), whois 1 when a WHOIS is wanted for a
// whois-flagged entry, from_poll 1 for an answer the user asked for.
void notify_nick_seen(const std::string& nick, const std::string& address, long online_seconds, int online,
                      int whois, int from_poll, Connection* conn);
// Numerics 303, 512, 600-608 and 901.
void notify_on_ison_watch(IrcMessage& msg);
// Stages: 1 connected, 2 logon complete, 3 poll again, 4 disconnected,
// 5 notify switched off.
void notify_conn_stage(int stage, Connection* conn);
// Asks the server (ISON lines, or WATCH registration on a full poll).
void notify_poll(int full, Connection* conn);
// The address list changed (for one nick, or any when null). 1 when an
// entry changed.
int notify_ial_changed(const std::string* nick, Connection* conn);
void notify_opts_load();
void notify_opts_save();

// ---- The Notify List window ----

// One line of the window: kind 0 a connection's header, 1 an on-line entry,
// 2 the off-line header, 3 an off-line entry.
struct NotifyWindowLine {
    int kind = 0;
    std::string text;
    int entry_id = 0;     // kinds 1 and 3
    int conn_id = 0;      // kinds 0 and 1; 3 the first entry's connection
};
// The lines and the title ("Notify List (%d/%d)") of the window as it
// should be now.
void notify_window_lines(std::vector<NotifyWindowLine>& lines, std::string& title);
// Text of an entry's line (mode 0) or its display nick (mode 1).
void notify_line_text(const NotifyEntry* entry, std::string& out, int mode);
// flags 1: show and activate; 2: only when notify and auto-open are on.
void notify_window_open(int flags);
void notify_window_refresh();
// The entry and connection of a window line; null when stale.
NotifyEntry* notify_item_entry(const NotifyWindowLine& line, Connection** out_conn);

// The announcement text of an entry: came on line (online 1) or left (0).
std::string notify_announcement(const NotifyEntry* entry, int online);

// ---- Seams to later parts ----
// A null member means that part is absent and the call does nothing.
struct NotifyHooks {
    // The Notify List window: open (flags as notify_window_open), rebuild
    // (with notify_window_lines), close, and give it activity level 1 when it
    // is hidden, minimised or not the active window.
    void (*window_open)(int flags) = nullptr;
    void (*window_refresh)() = nullptr;
    void (*window_close)() = nullptr;
    void (*window_activity)() = nullptr;
    // Speech and tips for an event (21 one entry, 44 the first answer).
    void (*speech_tips)(int event, const NotifyEntry* entry, Connection* conn) = nullptr;
    // Plays a sound file.
    void (*play_file)(const std::string& file, Connection* conn) = nullptr;
};
extern NotifyHooks notify_hooks;

// Who is on line changed: the treebar's notify items follow.
enum NotifySeenOrder {
    kNotifySeenTreebar = 10,
};
extern Signal<void()> notify_seen_changed;
// The notify state for the toolbar's button: 0 nobody on line, 1 someone
// came on line, 2 the state stays as it was.
enum NotifyStateOrder {
    kNotifyStateToolbar = 10,
};
extern Signal<void(int state)> notify_state_shown;

// Prints a line into a window with a colour; frame bit 1 a separator
// before, bit 2 one after.
void notify_print(QWidget* window, std::uint32_t colour, const std::string& text, int frame);

// Handlers the program wires: a sender of an ordinary line seen, a nick
// seen (1) or gone (0) by membership or by a query reply, the
// per-connection tick's poll, and whether a nick is on the list.
void notify_sender_seen(IrcMessage& msg, int needed_word);
void notify_membership_seen(const std::string& nick, int seen, Connection* conn);
void notify_query_seen(const std::string& nick, int seen, Connection* conn);
void notify_tick_poll(Connection* conn);
int notify_has_nick(const std::string& nick, Connection* conn);

void irc_notify_install();
// Removes the listeners irc_notify_install added.
void irc_notify_uninstall();
