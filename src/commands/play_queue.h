// The play queue: /play sends the lines of a text file (a section of it,
// one random line, one chosen line, or the clipboard) to a channel, a
// query, the status window or an alias, one line per tick of the request's
// own timer. Each connection has its own queue; only its first request
// plays. $play reports on the queue; the Play Center shows it and changes
// it through the play_queue_* operations below.
#pragma once

#include <string>
#include <vector>

#include "core/signal.h"

struct CommandCall;
struct Connection;
struct IdentCall;

int cmd_play(CommandCall& call);
int id_play(IdentCall& call);

// Ends every request of the connection without messages or events (the
// connection is reset or freed).
void play_stop_all(Connection* conn);
// Ends every request for the target (a reply said it does not exist).
void play_remove_target(const std::string& target, Connection* conn);
// Listens for replies that a target cannot be reached; and stops.
void play_queue_install();
void play_queue_uninstall();
// Number of requests queued on the connection.
int play_queue_length(Connection* conn);

// One request as the Play Center shows it.
struct PlayItem {
    const void* id = nullptr;   // the same for a request as long as it is queued
    std::string target;
    std::string file;     // the file's name and extension
    std::string topic;    // "[name]"
    int kind = 0;         // 0 file, 1 random line, 2 one line, 3 topic
    long long pos = 0;    // lines sent so far
    long long count = 0;  // lines loaded
    long long line = 1;   // the chosen line (random and one line)
    int delay = 0;
};
std::vector<PlayItem> play_queue_items(Connection* conn);
bool play_queue_paused(Connection* conn);
// Toggles the paused flag; false when the connection is gone.
bool play_queue_toggle_pause(Connection* conn);
// Changes the delay of the requests at the rows by `step` ms, held within
// 0..9000; a playing request's timer restarts with it. Returns how many
// changed.
int play_queue_retime(Connection* conn, const std::vector<int>& rows, int step);
// Moves the request at the row one place up (-1) or down (+1); a request
// that thereby comes first starts and the one that was playing waits.
// Returns the request's new row, or -1 when it cannot move.
int play_queue_move(Connection* conn, int row, int direction);
// Removes the requests at the rows; the next one plays when the playing one
// went. Returns how many were removed.
int play_queue_remove(Connection* conn, const std::vector<int>& rows);

void play_queue_register();

// The queue of a connection changed (null: of any connection); the Play
// Center shows it again while it is open.
extern Signal<void(Connection* conn)> play_queue_changed;
// /playctrl or /play without arguments: the user asks for the Play Center
// of the connection.
extern Signal<void(Connection* conn)> play_control_asked;
// Priorities of their listeners.
enum PlayQueueOrder {
    kPlayedCenter = 50,   // the Play Center
};
