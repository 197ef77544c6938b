// Firing of script events: the caller names the event by id and word, gives
// the connection, window and (when there is one) the server line, and the
// loaded scripts' matching lines run with the user levels of the users file.
// A handler can halt the caller's default output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/exec/script_types.h"

class QWidget;
struct Connection;
struct ScriptFile;
struct StringNode;

// One mode letter of a channel MODE line.
struct EventModeChange {
    char sign = '+';
    char letter = 0;
    std::string param;
};

// The fields of a server line that events read.
struct EventLine {
    std::string source;          // the prefix as sent ("nick!user@host" or a server name)
    std::string nick;            // the sender's nick (the source cut at "!")
    std::string address;         // user@host, empty when the source carries none
    std::string command;         // "PRIVMSG", "MODE", "433" ...
    std::vector<std::string> params;  // every parameter, the trailing one last
    std::string text;            // the message text (trailing parameter)
    std::string raw;             // the line as received ($rawmsg)
    int stripped_count = 0;      // control codes taken out of the text ($stripped)
    std::string target;          // the message target (status prefixes taken off)
    std::string target_prefix;   // the status prefixes taken off the target
    int mode_flag = 0;           // a plain channel mode changed
    std::vector<EventModeChange> mode_changes;
};

// What a caller hands in for events that do not come (only) from a server
// line. Record pointers are opaque here; liveness hooks look them up again.
struct EventSource {
    void* dcc_send = nullptr;
    void* dcc_get = nullptr;
    void* dcc_chat = nullptr;
    void* socket = nullptr;
    int socket_value = 0;
    void* lookup = nullptr;
    std::string requester;                // DNS: whom the lookup was made for; DCC: the peer's nick
    void* dialog = nullptr;
    int dialog_control = 0;
    ScriptFile* first_script = nullptr;   // try this loaded script first
    int key_value = 0;
    int key_repeat = 0;
    int key_char = 0;
    std::string text1;                    // the event's own texts
    std::string text2;
    int hotline_pos[2] = {0, 0};
    void* hotlink_line = nullptr;
    const EventLine* line = nullptr;      // the server line, when the caller has it parsed
    // A file offer's ctcp event: the path the file would be received to
    // and its refused flag, which /dcc get and /dcc reject change.
    std::string* offer_file = nullptr;
    int* offer_rejected = nullptr;
};

// The per-firing context. Starts with the interpreter's halt word so the
// executor's /halt and /haltdef reach it.
struct EventFireContext : EventContext {
    int result = 1;
    std::string event_word;
    int event_id = 0;
    int numeric = -1;
    ScriptFile* script = nullptr;
    int continue_in_script = 1;
    int flag_not_me = 0, flag_op = 0, flag_regex = 0, flag_exact = 0;
    std::string nick;
    std::string nick2;
    std::string chan;
    bool has_address = false;
    std::string address;
    std::string level_list, user_level, line_level, ulevel, clevel;
    std::string matchkey;
    std::string maddress;
    int relation_ref = 0;
    int level_number = 0;
    const EventSource* source = nullptr;
    int mode_pos = 0;   // 0 none, 1 first of several, 2 only, 3 middle, 4 last
    std::string text1, text2;
    QWidget* window = nullptr;
    std::string command;
    std::string params;  // $1-
    Connection* conn = nullptr;
    const EventLine* line = nullptr;
    std::vector<ScriptFile*> handled;
    std::vector<std::string> ran;
    int phase = 0;
};

// Fires an event. `line` is the parsed server line that caused it (null for
// none). Returns 1 when the caller goes on with its default action, 0 when a
// handler halted it. *halt (may be null) holds the halted flag in and out.
int event_fire(Connection* conn, QWidget* window, const EventLine* line,
               std::string_view event_word, int event_id, int phase, int* halt,
               const EventSource* source);
// Handled-list operations for /load and /unload inside a handler.
void event_ctx_add_script(EventFireContext* ctx, ScriptFile* script);
void event_ctx_forget_script(EventFireContext* ctx, ScriptFile* script);

// The three switches of /remote: "on" events, raw events, ctcp lines.
// Callers test them before firing.
extern int event_switch_events;
extern int event_switch_raw;
extern int event_switch_ctcps;
// Held on during start-up until START is raised: every firing returns 1.
extern int event_startup_hold;

// The running firing (innermost), or null.
EventFireContext* event_current_context();
// Whether a pointer is the context of a firing that is running now.
bool event_context_is_live(const EventContext* ctx);

// Seams to later parts.
// The connection's own nick (live_identity[2]).
std::string event_own_nick(Connection* conn);

// Installs the event engine's commands, identifiers and hooks.
// The script a line of an event belongs to (null for none).
ScriptFile* event_script_of_line(const StringNode* line);
void events_install();
