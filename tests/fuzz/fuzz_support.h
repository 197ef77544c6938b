// What every fuzz target shares: the program once per process (offscreen
// application, a temporary settings folder, the frame and every subsystem
// joined as the program joins them), and a connection with its status
// window that nothing can send through.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/options.h"
#include "script/events/event_fire.h"
#include "model/colors.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/test_wire.h"

namespace fuzz {

// Nobody sits at the keyboard: a dialog that asks (a script's prompt, a
// confirmation) is answered with Cancel as soon as it shows, as a user
// closing it would.
class CancelDialogs : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QDialog*>(watched))
                QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        return false;
    }
};

// The settings folder ("/" at the end).
inline const std::string& setup()
{
    static std::string dir;
    if (!dir.empty())
        return dir;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Settings files are written on most runs: keep them in memory when the
    // machine has a memory file system (TMPDIR, when set, wins).
    struct stat shm;
    if (::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode))
        setenv("TMPDIR", "/dev/shm", 0);
    static TempSettingsDir settings("kest_fuzz");
    dir = settings.path();
    static QPointer<QMainWindow> frame;
    test_frame_mdi(frame);
    app_install_subsystems();
    frame_proc_install();
    color_items_init();
    for (ColorItem& item : color_items)
        item.current = item.default_index;
    color_palette_current = color_palette_default;
    static CancelDialogs cancel_dialogs;
    qApp->installEventFilter(&cancel_dialogs);
    event_startup_hold = 0;
    return dir;
}

// A live connection with its status window, made again when a run freed it.
// Its link is a loopback wire that nothing leaves the process through; what
// an earlier run sent is read away.
inline Connection* connection()
{
    static Connection* conn = nullptr;
    static std::unique_ptr<TestWire> wire;
    if (!conn_is_live(conn)) {
        conn = conn_new_with_status(conn_list);
        conn->live_identity[2] = "me";
        conn->server_name = "srv";
    }
    if (!wire || !wire->linked())
        wire = std::make_unique<TestWire>();
    wire->clear();
    wire->attach(conn);
    return conn;
}

// Closes every window but the status windows once a run opened some, so
// runs don't pile windows up.
inline void close_extra_windows()
{
    bool extra = false;
    for (WindowRecord* r = win_list; r && !extra; r = r->next)
        extra = r->type != kWinStatus;
    if (!extra)
        return;
    // Closing frees the record at once: take the windows first.
    std::vector<QPointer<QWidget>> windows;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->type != kWinStatus && r->hwnd.get())
            windows.emplace_back(r->hwnd.get());
    for (const QPointer<QWidget>& w : windows)
        if (w)
            win_close_request(w.data());
    test_drain_events();
}

}  // namespace fuzz
