// Nick colours: rules that give a nick a palette colour by who it is (a
// nick or address mask, possibly computed by a script expression), which
// channel modes it holds, its user levels, the lists it is on and how long
// it has been idle. The first rule in list order that matches decides; the
// rules colour the nick list and the nicks in message lines. Kept in section
// [cnicks] of the main settings file; /cnick edits them, $cnick reads them.
#pragma once

#include <string>
#include <vector>

struct Connection;
struct WindowRecord;
struct StringNode;
struct CommandCall;
struct IdentCall;

struct NickColorRule {
    std::string mask;      // empty: any nick; $ or % first: evaluated
    int mask_first = 0;    // the mask's first character lower-cased
    std::string modes;     // nick-prefix characters, one of them needed
    std::string levels;    // user levels, blank separated
    int color = 99;        // 0..15, 99 none
    int method = 0;        // 0 everywhere, 1 message lines, 2 the nick list
    int any_mode = 0;
    int no_mode = 0;
    int lists = 0;         // 1 ignore, 2 auto-op, 4 auto-voice, 8 protect, 16 notify
    int idle = 0;          // minutes
};

extern std::vector<NickColorRule> cnick_rules;

// Fills the rule from a [cnicks] value; false for a rule that names nothing.
bool cnick_rule_parse(NickColorRule& rule, const std::string& value);
// The [cnicks] value of a rule.
std::string cnick_rule_value(const NickColorRule& rule);
// The rule's line as the address book lists it.
std::string cnick_rule_text(const NickColorRule& rule);

void cnick_load();
void cnick_save();

// Loads and saves the nick colours with the main settings; a selection set
// on a channel's nick list is drawn again.
void nick_colours_install();

// The first matching rule (its 1-based number, 0 none) and its colour (-1
// none). Method key 1 message lines, 2 the nick list, -1 any.
int cnick_match(WindowRecord* channel, const std::string& nick, int bits, int idle_seconds,
                int* colour, int method, Connection* conn);

// Recolouring: every nick flagged and the pass started; one nick in every
// channel; by a mask (one nick when its nick part has no wildcard).
void cnick_recolor_all();
void cnick_recolor_nick(const std::string& nick);
void cnick_recolor_mask(const std::string& mask);
// Seconds since the nick last spoke in the channel (0 for null).
long cnick_idle_seconds(const StringNode* entry);
// The nick spoke in the channel: its idle time starts again.
void cnick_nick_active(WindowRecord* channel, const std::string& nick);
// The user sent text to a target: in its channel window the own nick is
// active again.
void cnick_own_activity(const std::string& target, Connection* conn);
// Once a second per connected connection: idle times count up, and every
// minute the nicks are recoloured.
void cnick_idle_tick(Connection* conn);
// Once a second: recolours flagged nicks, at most 25 ms per call.
void cnick_apply_pending();
// Flagged nicks are recoloured on the frame's one-second tick.
void cnick_install();
void cnick_uninstall();

// Repaints a channel's nick list (its selection changed from a script).
void nicklist_view_refresh(WindowRecord* rec);
// The nick list's question (nicklist_colour_hook).
int cnick_colour_for(WindowRecord* rec, const std::string& nick, int bits, int second, int method);

int cmd_cnick(CommandCall& call);
int id_cnick(IdentCall& call);
void cnick_register();
// Listens to the protocol: a nick that spoke in a channel and the user's
// own lines turn their nicks active.
void cnick_install();
void cnick_uninstall();
