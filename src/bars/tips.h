// Tips: small notification windows ("Kest_Tip") stacked at a corner of the
// work area. Events raise them while the user looks elsewhere; scripts make
// their own with $tip and change them with /tip. Each tip counts down its
// time, slides into place, merges follow-up texts of the same source, and
// closes on its close box, a double click, activation of its window or the
// end of its time.
//
// No widget headers here. The protocol announces tip-worthy events through
// model/tip_events.h; the tips listen from tip_events_install().
#pragma once

#include <QFont>
#include <QPixmap>
#include <QPointer>
#include <QRect>

#include <string>
#include <string_view>
#include <vector>

#include "model/tip_events.h"

class QWidget;
struct Connection;
struct WindowRecord;

// One wrapped line of a tip's text with its measured size.
struct TipLine {
    std::string text;
    int width = 0;
    int height = 0;
};

struct Tip {
    std::string name;
    std::string title;
    std::string title2;
    std::string text;                 // up to 4,150 characters
    std::vector<TipLine> lines;
    int total_ms = 0;
    int remaining_ms = 0;
    std::string icon_file;
    int icon_index = 0;
    QPixmap icon;
    std::string alias;                // run on a double click
    WindowRecord* window = nullptr;
    Connection* conn = nullptr;
    const void* source = nullptr;
    int kind = 0;                     // 0 script tip, else the event type
    QPointer<QWidget> hwnd;
    int target_left = 0, target_top = 0, width = 0, height = 0;
    QFont font;
    QRect close_rect;
    int close_hover = 0;
    int closing = 0;
    QRect bar_rect, bar_drawn;
    int shown = 0;
    int bar_shown = 1;
    int truncated = 0;
    int has_target = 0;
    Tip* next = nullptr;
};

// The list, oldest first.
extern Tip* tip_list;

// ---- Options: section "options", key "tipopts", 24 numbers (TipOption) ----
// tipopt(n) and tip_wanted(option) read them (model/tip_events.h).
void tipopt_set(int n, int value);   // kept within the option's range
void tipopts_load();

// Loads the tip options with the main settings.
void tips_install();
void tipopts_save();
// Copies the 24 values into `working` (apply 0), or moves them from it into
// the settings (apply 1): saved, the oldest tips above the maximum closed,
// every tip closed when tips are off.
void tip_options_apply(int working[TIPOPT_COUNT], int apply);

// ---- Per-window setting: 0 off, 1 on, 2 default ----
// The window's own setting; channel and private windows read it from the
// ini section "tips" (others hold 0).
int tip_window_setting_get(WindowRecord* rec);
// Sets it and writes ("on", "off", the key deleted for default).
void tip_window_setting_set(WindowRecord* rec, int setting);
// 0 or 1: the window's own setting when 0 or 1, else option 1.
int tip_enabled_for_window(WindowRecord* rec);

// ---- Tips ----
// Makes a tip: its 1-based position; 0 when it cannot be made; -1 for a
// missing name, title or text or too long an alias; -2 when the icon
// cannot be loaded.
int tip_show(WindowRecord* window, const std::string& name, const std::string& title,
             const std::string& text, int seconds, const std::string& icon_file, int icon_index,
             const std::string& alias, int kind, const void* source);

// Composes and shows the tip of an event; 1 shown, 0 not.
int tip_show_event(const TipEventText& ev, int type, Connection* conn, const void* source,
                   WindowRecord* window);

// Shows an event's tip when the kind's option (1..24) is on and the window's
// tips allow it (the setting's window may differ from the tip's). 1 shown,
// 0 not.
int tip_notify_event(int option, const TipEventText& ev, int type, Connection* conn,
                     WindowRecord* window);
// The highlight tip (kind 50) of a matched line.
struct HighlightMatch;
void tip_highlight(WindowRecord* rec, const HighlightMatch& match, std::string_view line);
// Listens to tip_event (the protocol's tip-worthy events); uninstall stops.
void tip_events_install();
void tip_events_uninstall();

void tip_free(Tip* tip);
void tip_free_all();
int tip_count();
// 1-based position; 0 when not in the list.
int tip_position(const Tip* tip);
Tip* tip_at(int position);
Tip* tip_find_by_name(const std::string& name);
Tip* tip_find_by_window(const QWidget* hwnd);
int tip_is_tip_window(const QWidget* hwnd);
// Measures the tip (allow_truncation 0: fails with 0 when it would cut).
int tip_measure(Tip* tip, int allow_truncation);
// Replaces the text (as /tip -t), measures and repaints.
int tip_set_text(Tip* tip, const std::string& text);
// One step of the tip's 100 ms timer.
void tip_timer(Tip* tip);
void tips_arrange();
void tips_close_on_activate(QWidget* activated);
// 0 foreground elsewhere, 1 the main window or a window inside it, 2 a
// window record shown on the desktop.
int app_foreground_kind();
// Runs the tip's double click (alias or activation); the tip closes.
void tip_double_click(Tip* tip);

// Shows the highlight tip of a printed line whose entry asks for one
// (line_printed).
void tip_highlight_install();
void tip_highlight_uninstall();
