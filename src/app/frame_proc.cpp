// The frame's table of private messages and timers.
#include "app/frame_proc.h"

#include "app/external_request.h"
#include "app/frame_dde.h"
#include "app/frame_look.h"
#include "app/frame_menu.h"
#include "app/mdi_client.h"
#include "app/startup.h"
#include "display/window_queries.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "display/flashing.h"
#include "display/printed_lines.h"
#include "model/connection.h"
#include "script/events/event_fire.h"
#include "platform/frame_timers.h"
#include "platform/local_ipc.h"
#include "platform/platform_utils.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <deque>

namespace {

FrameHooks g_hooks;

int g_pending_repaint = 0;
bool g_lock_busy = false;
std::deque<std::string> g_urls;
int g_topmost_ticks = 0;
QPointer<QWidget> g_active_frame;
QPointer<QWidget> g_last_active;

// The frame's script events (ACTIVE, APPACTIVE, the ends of playback), fired
// while remote events are on, for the window's connection or else the current one.
void fire(int id, const char *name, QWidget *window)
{
    if (!opt(OPT_REMOTE_EVENTS))
        return;
    Connection *conn = window ? conn_of_window(window) : nullptr;
    event_fire(conn ? conn : conn_current(), window, nullptr, name, id, 0, nullptr, nullptr);
}

// ---- default message handlers ----

intptr_t on_deferred_start(uintptr_t, intptr_t)
{
    frame_start_timer(FRAME_TIMER_TOPMOST);
    frame_start_timer(FRAME_TIMER_TICK);
    return 0;
}

intptr_t on_bars_repaint(uintptr_t, intptr_t lparam)
{
    bool repaint = false;
    if (--g_pending_repaint <= 0) {
        g_pending_repaint = 0;
        repaint = true;
    }
    if (repaint || lparam)
        frame_bars_repaint.fire(repaint, lparam);
    return 0;
}

intptr_t on_lock_password(uintptr_t, intptr_t lparam)
{
    if (g_lock_busy)
        return 0;
    g_lock_busy = true;
    intptr_t result = g_hooks.lock_password ? g_hooks.lock_password(lparam) : 0;
    g_lock_busy = false;
    return result;
}

intptr_t on_url_queue(uintptr_t, intptr_t lparam)
{
    auto *text = reinterpret_cast<std::string *>(lparam);
    if (!text)
        return 0;
    g_urls.push_back(text->size() > kLongText ? text->substr(0, kLongText) : *text);
    delete text;
    if (g_urls.size() > 1)
        return 0; // an earlier message is draining the list
    while (!g_urls.empty()) {
        std::string url = g_urls.front();
        if (!app_exit_under_way())
            url_open_address(url);
        g_urls.pop_front();
    }
    return 0;
}

intptr_t on_external(int message, uintptr_t wparam, intptr_t lparam)
{
    auto *text = reinterpret_cast<std::string *>(lparam);
    if (!text)
        return 0;
    return frame_external_request(nullptr, message, wparam, *text);
}

intptr_t on_run_command(uintptr_t w, intptr_t l) { return on_external(WM_USER_RUN_COMMAND, w, l); }
intptr_t on_evaluate(uintptr_t w, intptr_t l) { return on_external(WM_USER_EVALUATE, w, l); }

// ---- default timer handlers ----

void on_topmost(int id)
{
    frame_keep_topmost();
    if (++g_topmost_ticks > 10)
        frame_timer_stop(id);
}

void on_countdowns(int id)
{
    if (!display_countdown_step())
        frame_timer_stop(id);
}

void on_tray_activity(int id)
{
    frame_timer_stop(id);
    frame_tray_activity_over.fire(id == FRAME_TIMER_TRAY_ACTIVITY0 ? 0 : 1);
}

void on_activation_timer(int)
{
    frame_update_activation(nullptr, 0);
}

void nothing(int) {}

} // namespace

Signal<void(bool, intptr_t)> frame_bars_repaint;
Signal<void(int)> frame_tray_activity_over;
Signal<void(QWidget *, bool)> frame_activation;
Signal<void(bool)> frame_activity_changed;

void frame_proc_install()
{
    // The rows the frame serves itself; an owner's own handler replaces them.
    frame_set_default_handler(WM_APP_DEFERRED_START, on_deferred_start);
    frame_set_default_handler(WM_APP_BARS_REPAINT, on_bars_repaint);
    frame_set_default_handler(WM_APP_LOCK_PASSWORD, on_lock_password);
    frame_set_default_handler(WM_APP_URL_QUEUE, on_url_queue);
    frame_set_default_handler(WM_USER_RUN_COMMAND, on_run_command);
    frame_set_default_handler(WM_USER_EVALUATE, on_evaluate);
    frame_set_default_timer_handler(FRAME_TIMER_TICK, nothing); // the tick's owner replaces it
    frame_set_default_timer_handler(FRAME_TIMER_ACTIVATION, on_activation_timer);
    frame_set_default_timer_handler(FRAME_TIMER_TRAY_ACTIVITY0, on_tray_activity);
    frame_set_default_timer_handler(FRAME_TIMER_TRAY_ACTIVITY1, on_tray_activity);
    frame_set_default_timer_handler(FRAME_TIMER_TOPMOST, on_topmost);
    frame_set_default_timer_handler(FRAME_TIMER_COUNTDOWNS, on_countdowns);
    app_messages_set_handler([](int message, uintptr_t wparam, intptr_t lparam) {
        return frame_wnd_proc(message, wparam, lparam);
    });
    frame_timers_set_handler(frame_on_timer);
}

int frame_start_timer(int id)
{
    const FrameTimerRow *row = frame_timer_row(id);
    if (!row || row->period_ms <= 0)
        return 0;
    if (id == FRAME_TIMER_TOPMOST)
        g_topmost_ticks = 0;
    return frame_timer_start(id, row->period_ms);
}

FrameHooks &frame_hooks()
{
    return g_hooks;
}

intptr_t frame_copydata(uintptr_t wparam, const char *data, std::size_t size)
{
    if (wparam == 1 && data) {
        // Never read past what arrived: the data need not be zero-terminated.
        std::size_t limit = size < kMediumText ? size : kMediumText;
        std::string link(data, strnlen(data, limit));
        app_open_irc_link(link, 1);
    }
    return 1;
}

int frame_ipc_request(int kind, const std::string &payload, std::string &reply)
{
    switch (kind & 0xFFFF) {
    case IPC_PROBE:
        return static_cast<int>(frame_copydata(0, nullptr, 0));
    case IPC_LINK:
        return static_cast<int>(frame_copydata(1, payload.data(), payload.size()));
    case IPC_RUN_COMMAND:
    case IPC_EVALUATE: {
        // The request is read up to the first zero byte and at most 1,024 characters.
        std::string text(payload.c_str(), strnlen(payload.c_str(), std::min(payload.size(), kMediumText)));
        int message = (kind & 0xFFFF) == IPC_RUN_COMMAND ? WM_USER_RUN_COMMAND : WM_USER_EVALUATE;
        auto wparam = static_cast<uintptr_t>((static_cast<unsigned>(kind) >> 16) & 0xFFFF);
        intptr_t result = frame_wnd_proc(message, wparam, reinterpret_cast<intptr_t>(&text));
        // The reply never exceeds what a request may hold (an evaluation can
        // give up to 4,150 characters): cut at 1,024, not inside a UTF-8
        // character.
        if (text.size() > kMediumText) {
            std::size_t cut = kMediumText;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
                --cut;
            text.resize(cut);
        }
        reply = text;
        return static_cast<int>(result);
    }
    case IPC_DDE:
        return dde_request(payload, reply);
    default:
        return 0;
    }
}

int frame_queue_url(const std::string &url)
{
    auto *text = new std::string(url.size() > kLongText ? url.substr(0, kLongText) : url);
    if (post_app_message(WM_APP_URL_QUEUE, 0, reinterpret_cast<intptr_t>(text)))
        return 1;
    delete text;
    return 0;
}

void frame_request_bars_repaint(intptr_t connection)
{
    ++g_pending_repaint;
    if (!post_app_message(WM_APP_BARS_REPAINT, 0, connection))
        --g_pending_repaint;
}

int frame_pending_repaint_count()
{
    return g_pending_repaint;
}

void frame_update_activation(QWidget *window, int flags)
{
    if (flags & 1)
        win_mdi_refresh();
    frame_timer_stop(FRAME_TIMER_ACTIVATION);
    if (flags & 2)
        frame_timer_start(FRAME_TIMER_ACTIVATION, 50);

    QWidget *fg = qobject_cast<QApplication *>(QCoreApplication::instance()) ? QApplication::activeWindow() : nullptr;
    bool active = fg && fg->isVisible() && !fg->isMinimized() &&
                  !(g_hooks.is_tip_or_editor && g_hooks.is_tip_or_editor(fg));
    if (!active) {
        g_active_frame = nullptr;
    } else {
        g_active_frame = fg;
        flash_stop_main();
    }
    frame_activation.fire(active ? window : nullptr, active);
    captions_repaint();
    if (active != (frame_app_active() != 0)) {
        frame_set_app_active(active);
        g_last_active = nullptr;
        frame_activity_changed.fire(active);
        fire(7, "APPACTIVE", nullptr);
    }
    if (flags & 4) {
        if (window != g_last_active.data()) {
            g_last_active = window;
            fire(6, "ACTIVE", window);
        }
        if (window && (window->isMinimized() || window->isHidden()))
            g_last_active = nullptr;
    }
}

QWidget *frame_last_active_window()
{
    return g_last_active.data();
}

void frame_media_notify(int notify_code, int kind)
{
    if (notify_code == 2 || notify_code == 4)
        return; // superseded or aborted
    if (kind < 6 || kind > 8)
        return;
    EventSource source;
    Connection *conn = nullptr;
    if (g_hooks.media_close)
        conn = g_hooks.media_close(kind, source.text1);
    if (opt(OPT_REMOTE_EVENTS)) {
        if (!conn_is_live(conn))
            conn = conn_current();
        if (kind == 6) {
            event_fire(conn, nullptr, nullptr, "WAVEEND", 78, 0, nullptr, &source);
        } else if (kind == 7) {
            event_fire(conn, nullptr, nullptr, "MIDIEND", 38, 0, nullptr, &source);
        } else {
            event_fire(conn, nullptr, nullptr, "SONGEND", 64, 0, nullptr, &source);
            event_fire(conn, nullptr, nullptr, "MP3END", 64, 0, nullptr, &source);
        }
    }
    if (g_hooks.media_end_step)
        g_hooks.media_end_step(kind);
}

int frame_topmost_ticks()
{
    return g_topmost_ticks;
}

void frame_proc_reset()
{
    frame_handlers_reset();
    g_hooks = FrameHooks{};
    g_pending_repaint = 0;
    g_lock_busy = false;
    g_urls.clear();
    g_topmost_ticks = 0;
    frame_set_app_active(false);
    g_active_frame = nullptr;
    g_last_active = nullptr;
}
