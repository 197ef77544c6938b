// Window flashing: a window that needs the user's attention asks the
// desktop for it (its taskbar entry blinks), the main window's title
// alternates with a notice, and a sound can repeat. One list of flashing
// windows, driven every 500 ms by frame timer 127 while it is not empty.
#pragma once

#include <string>

class QWidget;
struct WindowRecord;
struct HighlightEntry;
struct HighlightMatch;
struct FlashRequest;

struct FlashEntry {
    QWidget* window = nullptr;  // looked up again before use
    int sound = 0;              // 0 none, 1 beep, 2 the sound file
    std::string sound_file;
    std::string title;          // the main window's alternate title
    int phase = 0;              // 0..3
    int sound_countdown = 0;    // 0 repeats; n > 1 counts down per cycle, at 1 silent
    int stop_countdown = 0;     // 0 until stopped; counts down per cycle, -1 ends
};

// Starts flashing the window (null: the main window) with a highlight entry
// or none. Nothing for a window in view or for the main window while the
// program is active; MDI children flash the main window.
void flash_start(QWidget* window, const HighlightEntry* entry);
FlashEntry* flash_find(QWidget* window);
void flash_stop(QWidget* window);
// Stops the main window's flash (the program became active).
void flash_stop_main();
void flash_tick();
void flash_free_all();
// How many windows flash.
int flash_count();

// A printed line's request (a highlight entry, or the window's setting).
void flash_start_for_print(WindowRecord* rec, const HighlightMatch* match);
// The /flash command's request (output_hooks.flash).
void flash_request(const FlashRequest& request);

// Flashes a window when a printed line asks for it: a highlight entry that
// flashes, or the window's flash setting (line_printed).
void flash_install();
void flash_uninstall();
