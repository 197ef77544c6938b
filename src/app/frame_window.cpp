// The main frame window.
#include "app/frame_window.h"

#include "app/frame_proc.h"
#include "app/startup.h"
#include "core/main_settings.h"
#include "platform/app_messages.h"

#include <QApplication>
#include <QCloseEvent>

KestFrame::KestFrame(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Kest"));
    setProperty("kestClass", QStringLiteral("Kest"));
    setWindowTitle(QStringLiteral("Kest"));
    setMinimumSize(10, 10);
    // Private messages posted to the frame reach the frame's message table.
    app_messages_set_frame(this);
}

// Messages posted after the frame is gone are dropped, as posts to a
// destroyed window are.
KestFrame::~KestFrame() = default;

void KestFrame::closeEvent(QCloseEvent* event)
{
    // The exit sequence decides; when it goes on, it destroys the frame itself.
    event->ignore();
    frame_close(0);
}

void KestFrame::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The frame or the whole program gained or lost the activation; a
    // minimised frame leaves the program inactive.
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::WindowStateChange)
        frame_update_activation(this, 3);
}

// The frame's state as the "windows"/"main" line keeps it.
int frame_main_placement(MainWindowPlacement& out)
{
    QMainWindow* w = frame_window.data();
    if (!w)
        return 0;
    // The frame is placed again by its outer corner (move) and its inner
    // size (resize), so both rectangles are kept the same way: the corner
    // with the window manager's decoration, the size without it.
    const QRect inner = w->geometry();
    const QPoint decoration = inner.topLeft() - w->pos();
    const QRect r(w->pos(), inner.size());
    const QRect n = w->normalGeometry().isValid()
                        ? QRect(w->normalGeometry().topLeft() - decoration, w->normalGeometry().size())
                        : r;
    out.visible = w->isVisible() ? 1 : 0;
    out.hidden_in_tray = (!w->isVisible() && w->isMinimized()) ? 1 : 0;
    out.minimised = w->isMinimized() ? 1 : 0;
    out.maximised = w->isMaximized() ? 1 : 0;
    out.restores_maximised = (w->windowState() & Qt::WindowMaximized) ? 1 : 0;
    out.left = r.left();
    out.top = r.top();
    out.width = r.width();
    out.height = r.height();
    out.normal_left = n.left();
    out.normal_top = n.top();
    out.normal_width = n.width();
    out.normal_height = n.height();
    return 1;
}

int frame_shift_held()
{
    return (QApplication::queryKeyboardModifiers() & Qt::ShiftModifier) ? 1 : 0;
}

void ini_save_main_window_pos()
{
    MainWindowPlacement p;
    if (frame_main_placement(p))
        ini_save_main_window_placement(p, frame_shift_held() != 0);
}

namespace {
int g_save_listener = 0;
}

void frame_window_install()
{
    settings_saving.add_once(g_save_listener, kSettingsSaveMainWindow, [] { ini_save_main_window_pos(); });
}

void frame_window_uninstall()
{
    settings_saving.drop(g_save_listener);
}
