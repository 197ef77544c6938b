#include "app/window_queries.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QWidget>

#include "app/child_window.h"
#include "app/frame_proc.h"
#include "core/options.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"

QWidget* win_owner_hwnd(QWidget* control)
{
    for (QWidget* w = control; w; w = w->parentWidget()) {
        if (win_record_of(w))
            return w;
    }
    return nullptr;
}

void win_redraw(WindowRecord* rec, int erase)
{
    if (!win_is_record(rec))
        return;
    QWidget* target = rec->text_area.get();
    if (!target)
        target = rec->hwnd.get();
    if (!target)
        return;
    if (erase)
        target->update();
    else
        target->repaint();
}

int win_is_mdi_child(const QWidget* hwnd)
{
    if (!hwnd)
        return 0;
    auto* sub = qobject_cast<QMdiSubWindow*>(hwnd->parentWidget());
    if (!sub)
        return 0;
    QMdiArea* area = sub->mdiArea();
    return area && area == win_mdi_handle() ? 1 : 0;
}

QWidget* win_active_if_shown()
{
    QWidget* active = win_active.get();
    if (!active || !win_record_of(active))
        return nullptr;
    if (win_is_minimised(active))
        return nullptr;
    return active;
}

QWidget* win_hwnd_from_name(const std::string& name, int flags)
{
    if (name.empty())
        return nullptr;
    if (flags & 0x40) {
        if (name == "-1")
            return win_desktop_handle();
        if (name == "-2")
            return win_frame_handle();
        if (name == "-3")
            return win_mdi_handle();
    }
    int kind = win_special_name_kind(name);
    if (flags & 0x20) {
        if (kind == 1)
            return win_desktop_handle();
        if (kind == 2 || kind == 8)
            return win_frame_handle();
        if (kind == 4)
            return win_mdi_handle();
    }
    if ((flags & 0x10) && kind == 16) {
        // At most 9 digits are a number; a longer run names no window.
        if (name.size() - 1 > 9)
            return nullptr;
        int number = std::stoi(name.substr(1));
        WindowRecord* rec = win_record_by_id(number);
        return rec ? rec->hwnd.get() : nullptr;
    }
    return nullptr;
}

QWidget* win_desktop_handle()
{
    static QPointer<QWidget> desktop;
    if (!desktop && qApp) {
        desktop = new QWidget();
        desktop->setObjectName("#32769");
        desktop->setAttribute(Qt::WA_DontShowOnScreen);
        if (QScreen* screen = QGuiApplication::primaryScreen())
            desktop->setGeometry(screen->geometry());
    }
    return desktop.data();
}

QWidget* win_frame_handle()
{
    static QPointer<QWidget> frame;
    if (QWidget* mdi = win_mdi_handle()) {
        QWidget* top = mdi->window();
        if (top && top != mdi) {
            frame = top;
            return top;
        }
    }
    if (frame)
        return frame.data();
    if (!qApp)
        return nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("Kest")) {
            frame = w;
            return w;
        }
    }
    return nullptr;
}

void win_activity_repaint(WindowRecord* rec)
{
    win_paint_iconic_highlight(rec);
    win_list_change(kWinListLook);
}

int win_raise_activity(WindowRecord* rec, int kind)
{
    if (!win_is_record(rec) || rec->type == kWinTransfer)
        return 0;
    int next = win_activity_after(rec->activity, kind);
    if (next == rec->activity)
        return 0;
    if (!win_needs_highlight(rec->hwnd.get()))
        return 0;
    rec->activity = next;
    win_activity_repaint(rec);
    return 1;
}

void win_note_activity(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec || rec->activity != kActivityNone)
        return;
    if (!win_needs_highlight(hwnd))
        return;
    rec->activity = kActivityMessage;
    win_activity_repaint(rec);
}

void win_mark_activity(QWidget* hwnd)
{
    win_note_activity(hwnd);
}

int win_is_in_view(QWidget* hwnd)
{
    if (!win_record_of(hwnd) || !frame_app_active())
        return 0;
    if (win_is_minimised(hwnd) || !win_is_visible(hwnd) || hwnd != win_active.get())
        return 0;
    QWidget* foreground = QApplication::activeWindow();
    if (!foreground)
        return 0;
    if (win_is_mdi_child(hwnd))
        return foreground == win_frame_handle() ? 1 : 0;
    return foreground == hwnd ? 1 : 0;
}

int win_not_in_view(QWidget* hwnd)
{
    return win_is_in_view(hwnd) ? 0 : 1;
}

int win_is_watched(WindowRecord* rec)
{
    if (!win_is_record(rec) || !rec->hwnd.get() || !frame_app_active())
        return 0;
    if (win_active.get() != rec->hwnd.get())
        return 0;
    if (QWidget::mouseGrabber() || QApplication::mouseButtons() != Qt::NoButton)
        return 0;
    return 1;
}

QWidget* win_focused_window()
{
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (win_record_of(w))
            return w;
    return nullptr;
}

int win_needs_highlight(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    if (!frame_app_active())
        return 1;
    if (win_is_minimised(hwnd) || !win_is_visible(hwnd))
        return 1;
    if (hwnd != win_active.get()) {
        // Option: every window that is not the active one counts as unseen.
        int unseen = opt(OPT_HIGHLIGHT_UNSEEN);
        if (unseen < 0 || unseen > 3)
            unseen = 1;
        if (unseen)
            return 1;
    }
    QWidget* foreground = QApplication::activeWindow();
    if (win_is_mdi_child(hwnd))
        return foreground != win_frame_handle() ? 1 : 0;
    return foreground != hwnd ? 1 : 0;
}

Signal<void()> frame_title_changed;

void frame_update_title()
{
    QWidget* frame = win_frame_handle();
    if (!frame)
        return;
    win_set_text_if_changed(frame, frame_title());
    frame_title_changed.fire();
}
