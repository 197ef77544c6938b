// Delayed channel modes: an op or voice asked for with a delay (by /pop and
// /pvoice, or the auto-op and auto-voice lists) waits in a per-connection
// queue and is given when its time runs out, only if it is still needed.
#pragma once

#include <string>
#include <vector>

#include "core/record_slots.h"

struct Connection;

struct AutomodeEntry {
    std::string text;  // "channel nick"
    int life = 0;      // seconds left
    int voice = 0;     // 1 voice, 0 op
};

// The queue of a connection lives in this slot of its record (made on first
// use, gone with the record).
using AutomodeQueue = std::vector<AutomodeEntry>;
extern RecordSlot<AutomodeQueue> automode_slot;

// The life of an entry: the delay with a change of 0 to 3 seconds added
// (add 1) or taken off; 1 or less becomes 2, over 15 becomes 8.
int automode_life(int delay, int change, int add);

// Delay 0 sends "MODE channel +o nick" ("+v" for voice) at once; a delay
// above 0 queues the entry with a randomly changed life (automode_life).
void automode_queue(int delay, const std::string& channel, const std::string& nick, int voice,
                    Connection* conn);
// Once a second: every entry's life goes down by one; an entry whose life
// ran out is removed, and first its mode is sent when the nick is still on
// the channel, does not hold the mode already and we are entitled to give it.
void automode_tick(Connection* conn);
// The nick left: its entries (and malformed ones) are decided at the next tick.
void automode_forget(const std::string& nick, Connection* conn);
// The nick changed: its entries follow it.
void automode_rename(const std::string& old_nick, const std::string& new_nick, Connection* conn);
// The connection's queue (empty for none).
const std::vector<AutomodeEntry>& automode_entries(Connection* conn);
