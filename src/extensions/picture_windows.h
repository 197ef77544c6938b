// Picture windows: custom windows opened with /window -p that keep a back
// buffer (a bitmap at least the size of their text area) which scripts draw
// into with the /draw* commands. Painting the window copies the buffer to
// the screen; the buffer grows with the window and keeps what was drawn.
// $getdot reads a pixel of it and $click the window's recorded presses.
#pragma once

#include <QImage>
#include <QRect>

#include <string>

class QPainter;
struct WindowRecord;

// The largest back buffer a window gets: no screen needs more, and a script
// must not take the memory with a window of absurd size. A window larger
// than this shows its picture in the top-left part of its text area.
constexpr int kPictureMaxSide = 8192;
constexpr long long kPictureMaxPixels = 25'000'000;

// A picture window's own state, kept in WindowRecord::picture_state.
struct PictureState {
    QImage buffer;       // the back buffer (32-bit, no alpha)
    int extent_x = 0;    // the largest right edge drawn since the last clear
    int extent_y = 0;    // the largest bottom edge drawn since the last clear
};

// The state of a picture window, or null for any other window.
PictureState* picture_of(WindowRecord* rec);

// The buffer size a text area of that size gets: each side at least 1 and
// at most kPictureMaxSide, and in all at most kPictureMaxPixels (the height
// gives way first). Sets `cut` when the size had to be lowered.
QSize picture_bounded_size(long long width, long long height, bool* cut);

// The seams of the window code: a new picture window's buffer (the text
// area's size, cleared), its painting, its growing after a layout and its
// release with the record.
void picture_create(WindowRecord* rec);
void picture_paint(WindowRecord* rec, QPainter& painter, const QRect& area);
void picture_grow(WindowRecord* rec);
void picture_free(WindowRecord* rec);

// Lays the window out now when its size changed since its last layout
// (the buffer then grows with it).
void picture_sync_layout(WindowRecord* rec);

// Clear: the drawn extent becomes 0, 0 and the buffer takes the Background
// colour; with `show` the window is repainted.
void picture_clear(WindowRecord* rec, bool show);

// The changed part of the buffer is shown on the screen (the whole window
// for an empty rectangle).
void picture_show(WindowRecord* rec, const QRect& area);

// Grows the drawn extent to the right and bottom edges given.
void picture_note_extent(PictureState* st, long long right, long long bottom);

// The Background colour item's RGB as the toolkit's colour.
QRgb picture_background();

// The draw commands, the picture commands and the identifiers.
void picture_draw_register();
void picture_files_register();
void picture_windows_install();
void picture_windows_uninstall();
