// DCC file transfers: one record per send or get, kept in a slot of the
// transfer window's record (the window of type 3, subtype 1 send or 2 get).
// The record dies with its window. Sizes, positions and byte counts are
// 64-bit whole numbers throughout (files over 4 GiB).
//
// The engine fires the signals below; the transfer windows, the switchbar and
// the treebar listen to them to draw a transfer.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/record_slots.h"
#include "core/signal.h"

struct Connection;
struct WindowRecord;
class QWidget;

enum DccTransferKind : int {
    kDccSend = 1,   // the window subtype of a send
    kDccGet = 2,    // the window subtype of a get
};

// States of a transfer. A send goes 1 -> 2 -> 9; a get goes 1 -> 2 (or 3,
// resume asked, -> 2) -> 4 -> 9; either ends in 5 at the DCC time-out and in
// 0 once closed.
enum DccTransferState : int {
    kDccClosed = 0,
    kDccWaiting = 1,     // send: offered or connecting; get: offered
    kDccSending = 2,     // send: sending; get: accepted, connecting
    kDccResumeAsked = 3, // get: RESUME written, waiting for ACCEPT
    kDccReceiving = 4,   // get: receiving
    kDccTimedOut = 5,
    kDccDone = 9,
};

// One sample of the speed history: bytes moved and a millisecond tick.
struct DccSpeedSample {
    std::int64_t bytes = 0;
    std::int64_t tick_ms = 0;
};

struct DccTransfer {
    int kind = kDccSend;
    WindowRecord* window = nullptr;  // the record that holds this transfer
    Connection* conn = nullptr;      // the owning connection (checked before use)

    std::string nick;                // the peer's nick
    std::string peer;                // the peer's user@host (or the target address)
    std::string address;             // the peer's dotted address
    std::string folder;              // the file's folder, ending with '/'
    std::string file;                // the file name without folders
    std::string offered_name;        // get: the name exactly as offered (RESUME, passive reply)
    std::string path;                // folder + file

    int state = kDccWaiting;
    int token = 0;                   // passive offer token (the link id); 0 none
    bool done = false;
    bool failed = false;
    bool ended = false;              // the end step ran
    bool passive = false;            // offered or received as a passive offer
    bool close_when_done = false;
    bool automatic = false;          // send: started without the user
    bool speed_limited = false;      // send: shares the total send-speed limit

    std::uint16_t port = 0;          // listening port, port to connect to, or 0 (passive)
    std::int64_t size = -1;          // announced or read size; -1 when none
    std::int64_t position = 0;       // send: bytes written; get: bytes on disk (from the file's start)
    std::int64_t acked = 0;          // send: last acknowledgement; get: last acknowledgement written
    std::int64_t pending_ack = 0;    // get: acknowledgement not yet written; 0 none
    std::int64_t resume = 0;         // resume position; 0 none
    int resume_step = 0;             // get: 0 none, 1 margin to apply, 2 cut at the first data
    double percent = 0;              // whole numbers 0..100 (the sent percent for a send)
    double acked_percent = 0;        // send
    std::int64_t average_speed = 0;  // bytes per second, set at the end
    std::int64_t second_bytes = 0;   // bytes moved this second (speed limit)
    std::array<DccSpeedSample, 5> speed{};
    int switchbar_threshold = 0;     // the percent at which the switchbar is redrawn next

    std::int64_t start_time = 0;     // seconds of the clock
    std::int64_t last_time = 0;
    std::int64_t start_tick = 0;     // milliseconds
    int seconds = 0;                 // one-second ticks since the start
    int idle = 0;                    // seconds without traffic

    int proxy_key = 0;               // the key of its link through the firewall proxy; 0 none
    // Transfers through a DCC server. Mode: send 1 "120" to a peer's server,
    // 2 made by the own server for a "130"; get 1 made by the own server from
    // a "120", 2 a "130" request to a peer's server. Phase: send 1 write
    // "120", 2 wait for "121", 3 wait for "132"; get 130 write, 131 wait.
    int server_mode = 0;
    int server_phase = 0;
    unsigned server_reply = 0;       // the number of the server's last reply line
    std::string server_line;         // a reply line being read
    std::string request_folder;      // get: the folder named in the "130" line
    int socket = -1;                 // the data socket; -1 while none
    int listen_socket = -1;          // the listening socket of an offer; -1 while none
    int file_handle = -1;            // -1 while closed
    std::string status_text;         // the window's status line
};

// The slot of a transfer window's record that holds its transfer.
extern RecordSlot<DccTransfer> dcc_transfer_slot;

// The transfer of a window record, or null.
DccTransfer* dcc_transfer_of(WindowRecord* rec);
// The transfer whose window is the handle, or null.
DccTransfer* dcc_transfer_of_window(const QWidget* hwnd);

// Bytes moved by this run (position minus resume, capped at the size) and the
// size counted as 0 while unknown.
std::int64_t dcc_transfer_moved(const DccTransfer* t);
std::int64_t dcc_transfer_size(const DccTransfer* t);

// Events of transfers, for the windows and bars that show them.
// A transfer got its window and record.
extern Signal<void(DccTransfer* t)> dcc_transfer_opened;
// Its counts, percent or status text changed.
extern Signal<void(DccTransfer* t)> dcc_transfer_progress;
// It ended (done, failed or timed out); t->done tells which.
extern Signal<void(DccTransfer* t)> dcc_transfer_ended;
// Its record is about to go (the window closes).
extern Signal<void(DccTransfer* t)> dcc_transfer_closed;
