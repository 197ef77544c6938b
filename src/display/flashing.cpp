#include "display/flashing.h"

#include <QApplication>
#include <QMdiArea>
#include <QPointer>

#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "platform/app_messages.h"
#include "core/numbered_texts.h"
#include "display/highlight.h"
#include "display/print_requests.h"
#include "model/line_buffer.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

namespace {

struct Flashing {
    QPointer<QWidget> window;
    FlashEntry entry;
    bool was_unseen = false;   // out of the user's view at some tick
};
std::vector<Flashing> g_flash;
QString g_plain_title;   // the main window's title before a flash changed it
bool g_title_changed = false;

QWidget* main_window()
{
    QWidget* mdi = win_mdi_handle();
    return mdi ? mdi->window() : nullptr;
}

bool app_active()
{
    return frame_app_active() != 0;
}

std::string program_title()
{
    return frame_title();
}

Flashing* find(QWidget* window)
{
    for (Flashing& f : g_flash)
        if (f.window && f.window.data() == window)
            return &f;
    return nullptr;
}

void set_main_title(const QString& title)
{
    if (QWidget* frame = main_window()) {
        if (!g_title_changed)
            g_plain_title = frame->windowTitle();
        g_title_changed = true;
        frame->setWindowTitle(title);
    }
}

// A new entry (an older one of the window is replaced).
FlashEntry& add(QWidget* window)
{
    flash_stop(window);
    g_flash.push_back({window, FlashEntry(), false});
    FlashEntry& e = g_flash.back().entry;
    e.window = window;
    std::string pattern;
    text_load_string(4601, &pattern);
    const std::size_t at = pattern.find("%s");
    e.title = at == std::string::npos ? pattern : pattern.replace(at, 2, program_title());
    return e;
}

void ensure_timer()
{
    frame_set_timer_handler(FRAME_TIMER_FLASH, [](int) { flash_tick(); });
    frame_timer_start(FRAME_TIMER_FLASH, 500);
}

}  // namespace

FlashEntry* flash_find(QWidget* window)
{
    Flashing* f = find(window);
    return f ? &f->entry : nullptr;
}

int flash_count()
{
    return static_cast<int>(g_flash.size());
}

void flash_start(QWidget* window, const HighlightEntry* entry)
{
    QWidget* frame = main_window();
    if (!window)
        window = frame;
    if (!window)
        return;
    if (window == frame) {
        if (app_active())
            return;
    } else {
        if (!win_needs_highlight(window))
            return;
        WindowRecord* rec = win_record_of(window);
        if (!rec && window->isWindow())
            return;
        if (!window->isWindow() || !window->isVisible())
            window = frame;
        if (!window)
            return;
    }
    if (find(window) && !entry)
        return;
    FlashEntry& e = add(window);
    if (entry) {
        if (!entry->message.empty())
            e.title = program_title() + " " + entry->message;
        e.sound = entry->sound;
        e.sound_file = entry->sound_file;
        if (entry->flash_count > 0)
            e.sound_countdown = entry->flash_count + 1;
    }
    if (app_active())
        e.sound_countdown = 2;
    ensure_timer();
}

void flash_stop(QWidget* window)
{
    for (auto it = g_flash.begin(); it != g_flash.end(); ++it) {
        if (it->window.data() != window)
            continue;
        g_flash.erase(it);
        if (g_title_changed) {
            if (QWidget* frame = main_window())
                frame->setWindowTitle(g_plain_title);
            g_title_changed = false;
        }
        return;
    }
}

void flash_stop_main()
{
    if (QWidget* frame = main_window())
        flash_stop(frame);
}

void flash_tick()
{
    if (g_flash.empty()) {
        frame_timer_stop(FRAME_TIMER_FLASH);
        return;
    }
    QWidget* frame = main_window();
    std::vector<QWidget*> finished;
    for (std::size_t i = 0; i < g_flash.size(); ++i) {
        Flashing& f = g_flash[i];
        FlashEntry& e = f.entry;
        // Gone, or seen again after it was out of view: the entry ends.
        QWidget* w = f.window.data();
        const bool seen = w && (w == frame ? app_active() : !win_needs_highlight(w));
        if (!w || (seen && f.was_unseen))
            e.stop_countdown = -1;
        if (!seen)
            f.was_unseen = true;
        if (e.stop_countdown == -1) {
            finished.push_back(w);
            continue;
        }
        if (e.phase == 3) {
            if (e.stop_countdown > 0 && --e.stop_countdown == 1)
                e.stop_countdown = -1;
            if (e.sound_countdown > 1 && --e.sound_countdown == 1)
                e.sound = 0;
        }
        if (e.phase == 0 || e.phase == 2) {
            QApplication::alert(w, 500);
        } else if (w == frame) {
            std::string title = e.title;
            ident_eval_text(nullptr, &title, nullptr, nullptr, 0, -1, -1, nullptr, conn_current());
            set_main_title(QString::fromStdString(title));
        }
        if (e.phase == 0) {
            if (e.sound == 1)
                beep_error(0);
            else if (e.sound == 2 && print_hooks.play_sound) {
                WindowRecord* rec = win_record_of(w);
                print_hooks.play_sound(rec ? rec->conn : conn_current(), e.sound_file);
            }
        }
        e.phase = (e.phase + 1) & 3;
    }
    for (QWidget* w : finished)
        flash_stop(w);
    // Entries of windows that went.
    for (auto it = g_flash.begin(); it != g_flash.end();)
        it = it->window ? it + 1 : g_flash.erase(it);
    if (g_flash.empty())
        frame_timer_stop(FRAME_TIMER_FLASH);
}

void flash_free_all()
{
    while (!g_flash.empty())
        flash_stop(g_flash.front().window.data());
    g_flash.clear();
    frame_timer_stop(FRAME_TIMER_FLASH);
}

void flash_start_for_print(WindowRecord* rec, const HighlightMatch* match)
{
    if (!win_is_record(rec))
        return;
    const HighlightEntry* entry = nullptr;
    if (match && match->entry)
        for (const HighlightEntry& e : highlight_entries)
            if (&e == match->entry)
                entry = &e;
    flash_start(rec->hwnd.get(), entry);
}

void flash_request(const FlashRequest& request)
{
    QWidget* window = request.window;
    QWidget* frame = main_window();
    if (!window)
        window = frame;
    if (!window)
        return;
    HighlightEntry entry;
    entry.sound = request.sound_mode;
    entry.flash_count = request.beep_count > 0 ? request.beep_count - 1 : 0;
    flash_start(window, &entry);
    QWidget* target = window;
    if (!find(target))
        target = frame;
    if (Flashing* f = find(target)) {
        if (request.has_title)
            f->entry.title = request.title;
        if (request.repeat_count > 0)
            f->entry.stop_countdown = request.repeat_count;
    }
}

namespace {

int g_printed_id = 0;

void flash_after_print(const LinePrinted& line)
{
    if (line.event == kPrintHighlighted && line.match && line.match->flash)
        flash_start_for_print(line.rec, line.match);
    else if (line.event == kPrintFlash)
        flash_start_for_print(line.rec, nullptr);
}

}  // namespace

void flash_install()
{
    line_printed.add_once(g_printed_id, kPrintedFlash, flash_after_print);
}

void flash_uninstall()
{
    line_printed.drop(g_printed_id);
}
