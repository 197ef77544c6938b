// What the picture commands share: reading their switch words, their window
// argument, numbers, colours and file names, and showing what they drew.
#pragma once

#include <QColor>
#include <QRect>

#include <string>

#include "script/exec/script_types.h"

struct PictureState;
struct WindowRecord;

// Coordinates and sizes are held to this, so that sums of them never
// overflow and the painter never sees absurd values.
constexpr long long kPictureCoordLimit = 1 << 24;

// One draw command being read.
struct DrawCall {
    CommandCall& call;
    std::string word;              // the command word, for the errors
    std::string switches;          // the letters of its switch words
    WindowRecord* rec = nullptr;   // the picture window
    PictureState* st = nullptr;
    std::size_t i = 1;             // the next argument

    explicit DrawCall(CommandCall& c) : call(c), word(c.tokens.empty() ? std::string() : c.tokens[0]) {}
    bool has(char letter) const { return switches.find(letter) != std::string::npos; }
    std::size_t left() const { return i < call.tokens.size() ? call.tokens.size() - i : 0; }
    const std::string& arg(std::size_t k) const;   // argument i + k, or empty
    // The next argument as a number (held to the coordinate limit); false,
    // and nothing read, when it is none.
    bool number(long long& out);
    bool number_at(std::size_t k) const;           // argument i + k is a number
};

// A whole number with an optional sign; held to the coordinate limit.
bool picture_number(const std::string& text, long long& out);

// Reads the switch words (every word that begins with "-" and is no number)
// and, when `window` is set, the window: a picture window found by name on
// any connection. 1 on success, else 0 after the error (missing window:
// 2201, no picture window: 2210).
int draw_open(DrawCall& d, bool window = true);

// The colour argument: a palette index resolved through the palette, or
// with `rgb` a decimal RGB number (0x00BBGGRR, low 24 bits).
QColor draw_colour(const std::string& text, bool rgb);
// A decimal RGB number (low 24 bits) as the toolkit's colour.
QColor draw_rgb(long long value);

// A file argument from argument i on: a quoted name may span words; at most
// 1,024 characters. 1 with the name (the words read past), 0 when there is
// none or it is too long.
int draw_take_file(DrawCall& d, std::string& out);

// Errors: 2201 (missing or wrong arguments), 2210 (not a picture window),
// 2206 (unusable path). Each returns 0.
int draw_error_params(const DrawCall& d);
int draw_error_window(const DrawCall& d);
int draw_error_path(const DrawCall& d);
// "* /word: Dosyası 'file' bölümüne yüklenirken hata oluştu". Returns 0.
int draw_error_load(const DrawCall& d, const std::string& file);

// The end of a command that drew into `area`: shown unless `n`, and with
// `h` the window's activity raised. Returns 1.
int draw_finish(DrawCall& d, const QRect& area);
// Only the window given: the whole buffer is shown (with `n`: error 2201).
int draw_show_only(DrawCall& d);

// The stretch of the picture commands: with `m` a smooth stretch when the
// target area divided by the source area exceeds 0.00019, else the nearest
// pixel.
bool draw_smooth_stretch(bool by_ratio, long long target_w, long long target_h, long long source_w,
                         long long source_h);
