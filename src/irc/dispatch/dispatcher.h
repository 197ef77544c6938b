// The server-line dispatcher: every complete line a server sends is parsed
// into an IrcMessage (source, command, parameters) and handed to the handler
// of its command or numeric. Lines no handler knows reach the raw event and
// the status window.
#pragma once

#include <string>
#include <vector>

#include "script/events/event_fire.h"

struct Connection;
struct StringNode;

// Most words a line may split into (the entry after the last is "none").
constexpr int kIrcMaxWords = 1074;

// One parsed server line; built afresh for every dispatch and never kept.
struct IrcMessage {
    // Word 0 the source (nick or server), word 1 the command, then the
    // parameters. At most kIrcMaxWords - 1 words are held.
    std::vector<std::string> words;
    int last_word = 0;        // index of the last word
    int trailing_word = 0;    // index of the ":" parameter; 0 when none
    int numeric = 0;          // the command as a number; above 0 for numerics
    std::string word_text;    // tokenised copy of the line (at most 4,150)
    std::string raw;          // the line as received (at most 4,150)
    bool has_address = false; // the source carried "!"
    std::string address;      // user@host after the first "!"
    bool has_dcc_file_text = false; // a file offer: the path it would be received to
    std::string dcc_file_text;      // (a script's /dcc get may change the folder)
    int dcc_rejected = 0;
    std::string target_text;  // status prefixes taken off a target
    StringNode* mode_changes = nullptr;
    int mode_flag = 0;
    int stripped_count = 0;
    std::string source_text;
    std::string nick_text;
    std::string nick_text2;
    std::string out_text;
    std::string out_text2;
    Connection* connection = nullptr;
    // Whether a script halted the default of this line: kept from the
    // before phase of its event into the after phase ($halted).
    int event_halt = 0;
    // The fields events read, filled from the words before a handler runs.
    EventLine line;
};

// Word i of a message, or the empty text when the line has no such word.
const std::string& irc_word(const IrcMessage& msg, int index);
// Whether word i exists.
bool irc_has_word(const IrcMessage& msg, int index);
// Words from index on joined with single blanks.
std::string irc_words_from(const IrcMessage& msg, int index);

// Parses and dispatches one server line (carriage return and line feed
// already removed) received on a connection. The line ends at its first NUL
// byte, if it holds one.
void irc_dispatch_line(const std::string& line, Connection* connection);

// Fills words, last_word and trailing_word from raw.
void irc_message_tokenize(IrcMessage& msg);

// Sets word index (growing the table as needed, never past its size).
void irc_message_set_word(IrcMessage& msg, int index, const std::string& text);
// Keeps the first count words.
void irc_message_cut_words(IrcMessage& msg, int count);

// Handler of a command: takes the parsed message.
using IrcHandler = void (*)(IrcMessage& msg);

// One server command the dispatcher knows: its word, its handler and the
// fewest parameters (words after the command) a line must carry to reach
// it; shorter lines are dropped unseen, and handlers count on the minimum.
struct ServerMessage {
    const char* word;
    IrcHandler handler;
    int min_params;
    int flags = 0;
};
// One numeric reply the dispatcher knows: its number, its handler, the
// fewest parameters the line must carry for the handler to take it, and its
// flags. A line the entry does not take is shown as any other numeric.
struct NumericReply {
    int number;
    IrcHandler handler;
    int min_params;
    int flags = 0;
};
// Flags of an entry. The sender counts as seen: the notify list hears of it
// before the handler. The source is dropped: the line is answered alike with
// or without a source, and its handler sees the command as word 0. Join in
// word three: a numeric whose word 3 holds "join" (any case); other lines of
// that number are shown as any other numeric.
constexpr int kSenderSeen = 1;
constexpr int kSourceDropped = 2;
constexpr int kJoinInWordThree = 4;

// The table of server commands and the table of numeric replies
// (irc/dispatch/server_messages.cpp).
const std::vector<ServerMessage>& irc_server_messages();
const std::vector<NumericReply>& irc_numeric_replies();
// The entry of a command word (any case); null when the table has none.
const ServerMessage* irc_server_message(const std::string& word);
// The entry of a number; null when the table has none.
const NumericReply* irc_numeric_reply(int number);
// The entry that takes a numeric line (its number, parameters and flags);
// null when the line is shown as any other numeric.
const NumericReply* irc_numeric_entry(const IrcMessage& msg);
// Runs a numeric line: its entry's handler, or the default display.
void irc_on_numeric(IrcMessage& msg);

// The unrecognised-command path: raw event (when the Raw switch is on), then
// the words joined into the status window.
void irc_on_unknown(IrcMessage& msg);

// Shows a text in the connection's status window in a colour item, through
// echo_line, timestamp on.
void irc_status_echo(Connection* conn, int colour_item, const std::string& text);

// Fires the raw event for a message (when the Raw switch is on) with the
// event word in out_text. Returns 0 when a handler halted the default.
int irc_fire_raw(IrcMessage& msg, const std::string& word);

// Configured server time-out (seconds) copied into the countdown per line.
int irc_timeout_value();

// Sets the frame handlers and hooks of the dispatcher, the numerics and the
// logon sequence.
void irc_dispatch_install();
