#include "display/window_queries.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QWidget>

#include "core/options.h"
#include "display/child_controls.h"
#include "model/window_record.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"

namespace {

QPointer<QWidget> g_mdi;
bool g_app_active = false;

}  // namespace

// ---- Windows on screen ----

QWidget* win_container(QWidget* hwnd)
{
    if (!hwnd)
        return nullptr;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(hwnd->parentWidget()))
        return sub;
    return hwnd;
}

QSize win_frame_extra(QWidget* hwnd)
{
    if (!hwnd)
        return QSize();
    auto* sub = qobject_cast<QMdiSubWindow*>(hwnd->parentWidget());
    if (!sub)
        return QSize();  // a desktop window is its own client area
    // The MDI frame keeps its caption and borders as contents margins
    // around the window; they are known once the frame is polished, shown
    // or not (the sizes of a frame not yet laid out are not).
    sub->ensurePolished();
    const QMargins m = sub->contentsMargins();
    return QSize(std::max(0, m.left() + m.right()), std::max(0, m.top() + m.bottom()));
}

int win_is_minimised(const QWidget* hwnd)
{
    if (!hwnd)
        return 0;
    QWidget* frame = win_container(const_cast<QWidget*>(hwnd));
    return frame->isMinimized() ? 1 : 0;
}

int win_is_visible(const QWidget* hwnd)
{
    if (!hwnd)
        return 0;
    QWidget* frame = win_container(const_cast<QWidget*>(hwnd));
    return frame->isVisible() ? 1 : 0;
}

int win_activity_frame_colour(int level)
{
    int value = 0;
    switch (level) {
    case kActivityMessage:
        value = opt(OPT_ACTIVITY_COLOUR_MESSAGE);
        if (value < 0 || value > 16)
            value = 5;
        break;
    case kActivityHighlight:
        value = opt(OPT_ACTIVITY_COLOUR_HIGHLIGHT);
        if (value < 0 || value > 16)
            value = 4;
        break;
    case kActivityText:
        value = opt(OPT_ACTIVITY_COLOUR_EVENT);
        if (value < 0 || value > 16)
            value = 3;
        break;
    default:
        return -1;
    }
    return value == 0 ? -1 : value - 1;
}

void win_paint_iconic_highlight(WindowRecord* rec)
{
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (rec && r != rec)
            continue;
        QWidget* hwnd = r->hwnd.get();
        if (!hwnd)
            continue;
        QWidget* frame = win_container(hwnd);
        if (frame->isVisible() && frame->isMinimized())
            frame->update();
    }
}

int win_post(QWidget* hwnd, int message, uintptr_t wparam, intptr_t lparam)
{
    if (!hwnd)
        return 0;
    return post_app_message_to(hwnd, message, wparam, lparam);
}

int key_modifier_bits(Qt::KeyboardModifiers mods)
{
    int bits = 0;
    if (mods & Qt::ControlModifier)
        bits |= kKeyCtrl;
    if (mods & Qt::ShiftModifier)
        bits |= kKeyShift;
    if (mods & Qt::AltModifier)
        bits |= kKeyAlt;
    return bits;
}
int win_sysmenu_action_id(const QAction* action)
{
    if (!action)
        return 0;
    // The command is the action's data; a window's entries are the only
    // actions of its menus that carry a number.
    QVariant v = action->data();
    return v.typeId() == QMetaType::Int ? v.toInt() : 0;
}

int list_caret_row(const WindowRecord* rec)
{
    const QListWidget* list = rec ? rec->listbox.get() : nullptr;
    return list ? list->currentRow() : -1;
}

// ---- Records and handles ----

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

QWidget* win_mdi_handle()
{
    return g_mdi.data();
}

void win_set_mdi_handle(QWidget* mdi)
{
    g_mdi = mdi;
}

int frame_app_active()
{
    return g_app_active ? 1 : 0;
}

void frame_set_app_active(bool active)
{
    g_app_active = active;
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
