// Moving a window between the MDI client and the desktop.
#include "app/desktop_switch.h"

#include "app/child_window.h"
#include "app/frame_layout.h"
#include "app/mdi_client.h"
#include "app/startup.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "platform/app_messages.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>


QWidget* win_toggle_desktop(QWidget* hwnd, int mode)
{
    WindowRecord* rec = win_record_of(hwnd);
    QMdiArea* mdi = mdi_client();
    if (!rec || win_switch_target != -1)
        return hwnd;
    const bool in_mdi = win_is_mdi_child(hwnd) != 0;
    const int target = mode == -1 ? (in_mdi ? 0 : 1) : (mode ? 1 : 0);
    if ((target == 1) == in_mdi)
        return hwnd;
    QMainWindow* frame = frame_window.data();
    if (target == 1 && (!mdi || !frame || !frame->isVisible()))
        return hwnd;

    QWidget* outer = win_container(hwnd);
    const bool minimised = outer->isMinimized() || !outer->isVisible();
    const bool maximised = outer->isMaximized();
    QRect r = outer->isWindow() && outer->normalGeometry().isValid() ? outer->normalGeometry() : outer->geometry();
    const int saved_arrange = mdi_auto_arrange;
    mdi_auto_arrange = 0;
    win_switch_target = target;

    if (target == 0) {
        // Onto the desktop, at the same place on the screen.
        auto* sub = static_cast<QMdiSubWindow*>(outer);
        r.moveTopLeft(mdi->viewport()->mapToGlobal(r.topLeft()));
        sub->setWidget(nullptr);
        hwnd->setParent(nullptr, Qt::Window);
        hwnd->setAttribute(Qt::WA_DeleteOnClose);
        mdi->removeSubWindow(sub);
        sub->deleteLater();
        // A desktop window lies inside its monitor's work area.
        QRect work;
        const QPoint corner = r.topLeft();
        win_get_monitor_rects(nullptr, &corner, &work, nullptr);
        int l = r.left(), t = r.top(), w = r.width(), h = r.height();
        if (work.width() > 0 && work.height() > 0)
            win_clamp_rect(&l, &t, &w, &h, work);
        hwnd->setGeometry(l, t, w, h);
        if (minimised)
            hwnd->showMinimized();
        else if (maximised)
            hwnd->showMaximized();
        else
            hwnd->show();
    } else {
        // Into the MDI client, at the same place on the screen.
        r.moveTopLeft(mdi->viewport()->mapFromGlobal(r.topLeft()));
        hwnd->hide();
        hwnd->setAttribute(Qt::WA_DeleteOnClose, false);
        auto* sub = new ChildFrame();
        sub->setWindowTitle(hwnd->windowTitle());
        sub->setWidget(hwnd);
        mdi->addSubWindow(sub);
        int l = r.left(), t = r.top(), w = r.width(), h = r.height();
        const QRect room = mdi->viewport()->rect();
        if (room.width() > 0 && room.height() > 0)
            win_clamp_rect(&l, &t, &w, &h, room);
        sub->setGeometry(l, t, w, h);
        hwnd->show();
        if (minimised)
            sub->showMinimized();
        else if (maximised)
            sub->showMaximized();
        else
            sub->show();
        frame->raise();
    }

    mdi_auto_arrange = saved_arrange;
    win_switch_target = -1;
    win_enable_sysmenu_items(hwnd);
    win_post(hwnd, WM_APP_DEFERRED_LAYOUT, 0, kLayoutFull);
    layer_apply(hwnd, 0);
    win_mdi_refresh();
    return hwnd;
}
