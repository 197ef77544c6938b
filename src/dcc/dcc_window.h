// DCC transfer windows: the controls of a send or get window (file, size,
// peer, folder, progress bar, transferred bytes, time left, speed, status
// lines and the buttons), their live figures and the button actions.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dcc/dcc_transfer.h"

class QPainter;
class QRect;
class QWidget;
struct WindowRecord;

// Control ids of a transfer window.
enum DccWindowControl {
    kDccwinHeading = 101,
    kDccwinFile = 103,
    kDccwinSize = 105,
    kDccwinNick = 107,
    kDccwinFolder = 109,
    kDccwinProgress = 110,
    kDccwinTransferred = 112,
    kDccwinTimeLeft = 114,
    kDccwinSpeed = 116,
    kDccwinStatus = 118,
    kDccwinOpen = 119,      // Open on a get, Resend on a send
    kDccwinFolderButton = 120,
    kDccwinCancel = 121,    // Cancel while running, Close after the end
};

// The figures the window keeps between refreshes.
struct DccWindowFigures {
    std::int64_t shown_speed = 0;   // bytes per second as displayed
    std::int64_t time_left = 0;     // seconds
    int last_second = -1;           // the seconds counter at the last recompute
};
extern RecordSlot<DccWindowFigures> dccwin_figures_slot;

// ---- Figures ----

// The speed of the five-sample history: the byte and time differences of
// consecutive samples that both hold data and do not go back, added up;
// bytes per second rounded down, never negative.
std::int64_t dccwin_speed_of(const std::array<DccSpeedSample, 5>& samples);
// The displayed speed moved towards a new one: a jump of more than a tenth
// of the shown speed is taken at once, else a thirtieth of the way.
std::int64_t dccwin_speed_step(std::int64_t shown, std::int64_t speed);
// Seconds left at the shown speed: (size - done) / speed rounded down and at
// least 1; 0 when the speed is 0 or the size unknown.
std::int64_t dccwin_time_left(std::int64_t size, std::int64_t done, std::int64_t speed);
// The percentage text of a transfer: "45%", "100%" when done with no size,
// else the byte count.
std::string dccwin_percent_text(const DccTransfer* t);

// ---- Drawing ----

// The progress bar: percents held to 0..100; the first percent in
// RGB(0,50,150), the part up to the second in RGB(0,100,200), on white,
// inside a frame of lines.
void dccwin_draw_progress(QPainter& painter, const QRect& bar, int first, int second);

// ---- The window ----

// Makes the controls of a new transfer window (its record's subtype tells
// send or get); 0 when it cannot.
int dccwin_create_controls(WindowRecord* rec);
// Places the controls with the window's font and sets the minimum width.
void dccwin_layout(WindowRecord* rec, int redraw);
// Status and figures. Mode 2 first empties the status box; a nonzero mode
// refreshes the file, size, nick and folder values; the flags choose the
// speed and time-left lines, the transferred line and the progress bar. A
// text is added as a new status line unless the box already holds it.
void dccsend_update_status(DccTransfer* t, int mode, int speed_time, int transferred, int progress,
                           const std::string& text);
void dccget_update_status(DccTransfer* t, int mode, int speed_time, int transferred, int progress,
                          const std::string& text);
// The buttons' states for the transfer's state.
void dccwin_update_buttons(DccTransfer* t);
// A button of the window was pressed.
void dccwin_command(WindowRecord* rec, int id);

// The windows listen to the transfers' signals at this priority.
enum DccTransferListenOrder { kDccTransferWindow = 50 };

// The window's seams: its font changed (relayout), it is being closed (its
// transfer goes), its progress area paints.
void dccwin_relayout(WindowRecord* rec);
void dcc_transfer_close_window(WindowRecord* rec);
void dccwin_paint(WindowRecord* rec, QPainter& painter, const QRect& area);

void dcc_window_install();
void dcc_window_uninstall();
