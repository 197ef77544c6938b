#include "display/printed_lines.h"

#include <QWidget>

#include <algorithm>

#include "display/child_layout.h"
#include "display/child_controls.h"
#include "display/window_queries.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "display/draw.h"
#include "display/fonts.h"
#include "display/nick_list.h"
#include "display/wrap.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "platform/app_messages.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"

namespace {

int g_added_id = 0;
int g_sound_id = 0;

// A highlight entry's sound: the program's beep or its sound file.
void play_highlight_sound(const LinePrinted& line)
{
    if (line.event != kPrintHighlighted || !line.match)
        return;
    if (line.match->sound_kind == 1)
        beep_error(0);
    else if (line.match->sound_kind == 2 && print_hooks.play_sound)
        print_hooks.play_sound(line.rec->conn, line.match->sound_file);
}

}  // namespace

void printed_line_cut(WindowRecord* rec, std::string_view whole, int prefix, int width,
                      std::vector<WrapPart>& parts)
{
    const std::string_view text = whole.substr(static_cast<std::size_t>(prefix));
    const int multibyte = !rec->debug_raw && lang_setting_multibyte;
    const int saved_mbcp = font_mbcp;
    if (multibyte)
        font_set_mbcp(rec->font_charset);
    WrapInput in;
    in.text = whole;
    in.prefix = prefix;
    in.wrap_mode = print_options.wrap_mode;
    in.indent = print_options.indent;
    in.utf8 = draw_line_is_utf8(rec, text);
    in.multibyte = multibyte;
    in.width = width;
    in.rec = rec;
    if (in.wrap_mode <= 0)
        in.measurer = &wrap_measurer_for(rec);
    wrap_cut_line(in, parts, nullptr);
    if (multibyte)
        font_mbcp = saved_mbcp;
}

void printed_lines_follow(const LinesAdded& added)
{
    WindowRecord* rec = added.rec;
    if (!win_is_record(rec))
        return;
    if (added.countdown && !frame_timer_is_running(FRAME_TIMER_COUNTDOWNS))
        frame_timer_start(FRAME_TIMER_COUNTDOWNS, 100);
    // At the end the view follows (and repaints); scrolled back only the
    // scroll bar is brought up to date.
    if (added.follow) {
        draw_buffer(rec, nullptr, WinRect{});
        win_recalc_scroll(rec, 1);
    } else {
        win_recalc_scroll(rec, 0);
    }
    // Activity: raised only for windows the user is not looking at.
    if (added.activity)
        win_raise_activity(rec, added.activity);
    QWidget* hwnd = rec->hwnd.get();
    if (added.beep == 2 && opt(OPT_BEEP_BUFFER) && hwnd && !win_is_minimised(hwnd) && win_is_visible(hwnd)) {
        beep_error(0);
    } else if (added.beep) {
        if (display_beep_setting(rec) && !win_is_in_view(hwnd))
            beep_error(0);
    }
}

int display_countdown_step()
{
    int busy = nicklist_countdown_step();
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (rec->print_countdown > 0) {
            rec->print_countdown = std::max(0, rec->print_countdown - 100);
            if (rec->print_countdown > 0)
                busy = 1;
        }
    }
    return busy;
}

void printed_lines_install()
{
    lines_added.add_once(g_added_id, kLinesAddedDisplay, printed_lines_follow);
    line_printed.add_once(g_sound_id, kPrintedSound, play_highlight_sound);
}

void printed_lines_uninstall()
{
    lines_added.drop(g_added_id);
    line_printed.drop(g_sound_id);
}
