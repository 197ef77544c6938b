// Events worth a desktop tip, an event sound or speech. The protocol
// announces them here; the tips listen, check their options and the
// window's setting, and show them; the sounds and speech listen likewise.
#pragma once

#include <string>

#include "core/signal.h"

struct Connection;
struct WindowRecord;

// The tip options (section "options", key "tipopts", 24 numbers): an event
// names the option that allows its tip.
enum TipOption : int {
    TIPOPT_ENABLED = 1,
    TIPOPT_CHAN_MESSAGE = 2, TIPOPT_CHAN_NOTICE, TIPOPT_CHAN_CTCP, TIPOPT_CHAN_JOINPART,
    TIPOPT_CHAN_KICK, TIPOPT_CHAN_MODE, TIPOPT_CHAN_TOPIC, TIPOPT_CHAN_NICK, TIPOPT_CHAN_QUIT,
    TIPOPT_PRIV_MESSAGE = 11, TIPOPT_PRIV_NOTICE, TIPOPT_PRIV_CTCP, TIPOPT_PRIV_NICK,
    TIPOPT_CONNECT = 15, TIPOPT_NOTICE, TIPOPT_NOTIFY, TIPOPT_SENDGET, TIPOPT_CHAT,
    TIPOPT_INVITE, TIPOPT_AWAY,
    TIPOPT_MAX_TIPS = 22, TIPOPT_SECONDS = 23, TIPOPT_HIDE_FULLSCREEN = 24,
    TIPOPT_COUNT = 24
};

// The 24 option values (loaded and saved by the tips) with their defaults.
extern int tip_options[TIPOPT_COUNT];
// Option n (1..24); 0 out of range.
int tipopt(int n);
// Whether the tips of the kind's option (1..24) are on at all: an event's
// tip text is composed only when this says yes.
bool tip_wanted(int option);
// Whether an event of the option is worth announcing at all: its tip is
// wanted, or a listener of `event_notice_wanted` (sounds, speech) wants it.
bool event_announce_wanted(int option);
enum EventNoticeWantedOrder {
    kNoticeWantedSound = 10,
    kNoticeWantedSpeech = 20,
};
extern Signal<bool(int option)> event_notice_wanted;

// What an event tip is composed from.
struct TipEventText {
    std::string nick;      // who did it
    std::string target;    // channel, new nick, ...
    std::string text;      // the message, modes, ...
    int seconds = 0;       // 0: option 23
    int alt = 0;           // the event's second form (own nick, network, left, ...)
};

// An event happened that may show a tip: the option (1..24) that allows it,
// its text, its type, its connection and the window whose tip setting
// decides (null: option 1 alone). A listener may close the connection.
enum TipEventOrder {
    kTipEventSound = 4,   // the event sounds
    kTipEventSpeech = 6,  // speech, asked before the tip
    kTipEventShow = 10,   // the tips
};
extern Signal<void(int option, const TipEventText& ev, int type, Connection* conn, WindowRecord* window)>
    tip_event;
