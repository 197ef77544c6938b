// What the output commands ask of the display: the one-shot print options of
// a line with the kind of print, and a flash request.
#pragma once

#include <string>

class QWidget;

// One-shot print options of a line.
struct EchoPrintOptions {
    int wrap_mode = 0;       // -1 with /echo -h
    int indent = 0;          // continuation indent (at most 1,024)
    int beep = 0;
    int highlight_test = 0;  // 2 with /echo -l
    int timestamp = 0;
    int flash = 0;
    int no_log = 0;
    int message = 0;         // 3 with /echo -m
    int raise_activity = 1;  // 0 with /echo -n
};

// What the output commands' printer (output_print) is asked to do.
enum OutputKind : int {
    kOutputPrint = 0,      // print_line: the line with its options
    kOutputEcho = 1,       // echo_line: a confirmation (framed by separators in status windows)
    kOutputSeparator = 2,  // print_separator (the text is empty)
};

// A flash request (the /flash command's, for the display's flash entries).
struct FlashRequest {
    QWidget* window = nullptr;   // the window to flash (the main window for none named)
    int has_title = 0;           // the title text is to be set
    std::string title;           // name, blank and text (at most 1,024 characters)
    int sound_mode = 0;          // 0 none, 1 beep, 2 the entry's sound
    int beep_count = 0;          // N + 1, 0 no limit
    int repeat_count = 0;        // N + 1, 0 no limit
};
