// The child windows: making a window's frame, showing it, its painting and
// status icon, activation and its private messages.
#include "app/child_window.h"
#include "display/window_queries.h"
#include "app/frame_look.h"
#include "app/menu_lists.h"
#include "display/editbox.h"
#include "display/find_text.h"
#include "display/function_keys.h"
#include "display/input_procs.h"
#include "display/tab_complete.h"
#include "display/text_marking.h"
#include "app/frame_layout.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>

#include "app/child_shared.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/mdi_client.h"
#include "app/window_open.h"
#include "display/backgrounds.h"
#include "core/options.h"
#include "platform/platform_utils.h"

WidgetRef<QWidget> win_last_activated;
WidgetRef<QWidget> win_previous_activated;

// ---- Windows ----

void win_layout(QWidget* hwnd, int reason)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    if (reason == 0 || reason == 2 || reason == 3 || reason == 4) {
        win_post(hwnd, WM_APP_DEFERRED_LAYOUT, 0, kLayoutFull);
        win_mdi_refresh();
        return;
    }
    if (reason == 1) {
        win_enable_sysmenu_items(hwnd);
        post_app_message(WM_APP_MDI_REFRESH, 0, 0);
        return;
    }
    if (reason == kLayoutEditboxCheck) {
        if (rec->editbox_mode != 2 || !rec->editbox.get())
            return;
        if (rec->editbox->lineCount() == rec->editbox_lines)
            return;
    }
    if (rec->type == kWinTransfer) {
        if (child_hooks.dccwin_layout)
            child_hooks.dccwin_layout(rec);
        return;
    }
    bool at_end = rec->scroll_pos >= rec->scroll_end;

    WinLayoutInput in = win_layout_input(rec);
    if (win_is_minimised(hwnd)) {
        in.client_width = rec->layout_rect.right - rec->layout_rect.left;
        in.client_height = rec->layout_rect.bottom - rec->layout_rect.top;
    } else {
        rec->layout_rect = WinRect{0, 0, hwnd->width(), hwnd->height()};
    }
    WinLayout out;
    for (int pass = 0; pass < 3; ++pass) {
        out = win_compute_layout(in);
        if (TextArea* area = rec->text_area.get()) {
            area->setGeometry(out.text_area);
            area->setVisible(!out.text_area.isEmpty());
        }
        if (QScrollBar* bar = rec->scroll_bar.get()) {
            bar->setGeometry(out.scroll_bar);
            bar->setVisible(!out.scroll_bar.isEmpty());
        }
        if (EditBox* box = rec->editbox.get())
            box->setGeometry(out.editbox);
        if (EditBox* box2 = rec->editbox2.get())
            box2->setGeometry(out.editbox2);
        if (ListBox* list = rec->listbox.get()) {
            bool shown = !out.listbox.isEmpty();
            list->setGeometry(out.listbox);
            list->setVisible(shown);
            list->setEnabled(shown);
        }
        rec->editbox_lines = out.editbox_lines;
        // A growing editbox is laid out again while its line count changes.
        if (rec->editbox_mode != 2 || !rec->editbox.get())
            break;
        int lines = rec->editbox->lineCount();
        if (lines == in.editbox_lines)
            break;
        in.editbox_lines = lines;
    }
    if (out.side_width > 0 && (rec->type == kWinChannel || rec->type == kWinCustom))
        rec->side_list_width = out.side_width;

    WinRect text;
    win_text_rect(hwnd, text, 0);
    if (reason == kLayoutNoRepaint)
        return;
    if (rec->picture && child_hooks.picture_grow)
        child_hooks.picture_grow(rec);
    if (TextArea* area = rec->text_area.get())
        area->update();
    if (ListBox* list = rec->listbox.get())
        list->viewport()->update();
    win_recalc_scroll(rec, at_end ? 1 : 0);
    hwnd->update();
    win_enable_sysmenu_items(hwnd);
}


QWidget* win_create_frame(WindowRecord* rec, int in_mdi)
{
    if (!rec)
        return nullptr;
    const WinCreateParams& p = win_create_params;
    QString class_name = QString::fromUtf8(p.class_name.c_str());
    QString title = QString::fromUtf8(p.title.c_str());
    QMdiArea* mdi = mdi_client();
    if (in_mdi && !mdi)
        in_mdi = 0;

    auto* window = new ChildWindow(class_name);
    window->setWindowTitle(title);
    rec->hwnd = static_cast<QWidget*>(window);

    int x = p.x;
    int y = p.y;
    int w = p.width;
    int h = p.height;
    bool inactive = p.open_inactive != 0;
    if (!in_mdi && focus_elsewhere())
        inactive = true;

    if (in_mdi) {
        auto* frame = new ChildFrame();
        frame->setWidget(window);
        frame->setWindowTitle(title);
        if (inactive)
            frame->setAttribute(Qt::WA_ShowWithoutActivating);
        mdi->addSubWindow(frame);
        QRect area = mdi->viewport()->rect();
        if (w == kUnsetCoord || h == kUnsetCoord || x == kUnsetCoord || y == kUnsetCoord)
            win_default_position(&x, &y, &w, &h, 1);
        if (w == kUnsetCoord || w <= 0)
            w = std::max(200, area.width() * 2 / 3);
        if (h == kUnsetCoord || h <= 0)
            h = std::max(150, area.height() * 2 / 3);
        if (p.client_size) {
            const QSize extra = win_frame_extra(window);
            frame->resize(w + extra.width(), h + extra.height());
        } else {
            frame->resize(w, h);
        }
        if (p.centre) {
            frame->move(std::max(0, (area.width() - frame->width()) / 2),
                        std::max(0, (area.height() - frame->height()) / 2));
        } else if (x != kUnsetCoord && y != kUnsetCoord) {
            frame->move(x, y);
        } else {
            // Cascade from the top left, one caption step per window.
            int step = win_system_metric(4) + win_system_metric(33) - 2;
            int n = static_cast<int>(mdi->subWindowList().size()) - 1;
            int fit = step > 0 ? std::max(1, (area.height() - frame->height()) / step + 1) : 1;
            int k = n % std::min(fit, 10);
            frame->move(k * step, k * step);
        }
    } else {
        Qt::WindowFlags flags = Qt::Window;
        if (p.style_set) {
            int s = p.style;
            if (!(s & 1))
                flags |= Qt::FramelessWindowHint;
            if (s & (64 | 128))
                flags |= Qt::Tool;
        }
        if (p.on_top)
            flags |= Qt::WindowStaysOnTopHint;
        window->setWindowFlags(flags);
        window->setAttribute(Qt::WA_DeleteOnClose);
        if (inactive)
            window->setAttribute(Qt::WA_ShowWithoutActivating);
        QRect bounds;
        if (QScreen* screen = QGuiApplication::primaryScreen())
            bounds = screen->availableGeometry();
        if (w == kUnsetCoord || h == kUnsetCoord || x == kUnsetCoord || y == kUnsetCoord)
            win_default_position(&x, &y, &w, &h, 0);
        if (w == kUnsetCoord || w <= 0)
            w = std::max(200, bounds.width() / 2);
        if (h == kUnsetCoord || h <= 0)
            h = std::max(150, bounds.height() / 2);
        window->resize(w, h);
        if (p.centre)
            window->move(bounds.x() + std::max(0, (bounds.width() - w) / 2),
                         bounds.y() + std::max(0, (bounds.height() - h) / 2));
        else if (x != kUnsetCoord && y != kUnsetCoord)
            window->move(x, y);
    }
    win_enable_sysmenu_items(window);
    return window;
}

// The window-border option (section "styles", key "thin": 0 to 3).
int win_border_option = 1;

int win_border_style(WindowRecord* rec)
{
    if (!rec)
        return 0;
    if (rec->type == kWinTransfer)
        return 0;
    if (rec->type == kWinCustom && rec->custom_request.style_bits != 0)
        return 0;
    int style = win_border_option;
    if (style < 0 || style > 3)
        style = 1;
    return style;
}

void win_show_new(WindowRecord* rec, int build_menu)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return;
    QWidget* hwnd = rec->hwnd.get();
    QWidget* frame = win_container(hwnd);
    // With the flag the window has a system menu, built when it is first
    // opened (the MDI frame asks for it; win_system_menu for others).
    static_cast<void>(build_menu);
    // A desktop window takes the transparency setting.
    layer_apply(hwnd, 0);
    WinRect r;
    win_text_rect(hwnd, r, 0);
    win_recalc_scroll(rec, 1);

    if (rec->type == kWinChannel || rec->type == kWinNotify ||
        (rec->type == kWinQuery && rec->subtype == kQueryPrivate)) {
        if (open_hooks.dragdrop_register)
            open_hooks.dragdrop_register(rec);
    }
    const WinCreateParams& p = win_create_params;
    if (win_switch_target == -1) {
        bg_window_opened(rec);
        hwnd->setWindowTitle(hwnd->windowTitle());
    }
    int was = sys_minimize_animation(0);
    bool in_mdi = win_is_mdi_child(hwnd);
    if (p.open_minimised || p.open_inactive) {
        if (in_mdi) {
            // Shown without activation: the window that was active, and the
            // control that had the keyboard, keep them.
            QMdiArea* mdi = mdi_client();
            QPointer<QMdiSubWindow> before = mdi ? mdi->activeSubWindow() : nullptr;
            QPointer<QWidget> focus_before = QApplication::focusWidget();
            frame->setAttribute(Qt::WA_ShowWithoutActivating);
            if (p.open_minimised)
                frame->showMinimized();
            else
                frame->show();
            if (mdi && before && before != frame && mdi->activeSubWindow() != before)
                mdi->setActiveSubWindow(before);
            if (focus_before && focus_before != QApplication::focusWidget() && frame_app_active() &&
                !frame->isAncestorOf(focus_before))
                focus_before->setFocus();
        } else if (p.open_minimised) {
            frame->setAttribute(Qt::WA_ShowWithoutActivating);
            frame->showMinimized();
            bool keep = rec->type == kWinQuery &&
                        (rec->subtype == kQueryPrivate || rec->subtype == kQueryMessages ||
                         rec->subtype == kQueryDccChat);
            if (opt(OPT_HIDE_MINIMISED_DESKTOP_WINDOWS) && !keep)
                frame->hide();
        } else {
            frame->show();
        }
    } else if (rec->shown) {
        if (p.open_maximised)
            frame->showMaximized();
        else
            frame->show();
        win_bring_to_front(hwnd);
    }
    hwnd->update();
    if (was == 1)
        sys_minimize_animation(1);
}

void win_bring_to_front(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    QWidget* frame = win_container(hwnd);
    if (!frame->isVisible() || frame->isMinimized())
        return;
    frame->raise();
    bool mdi_child = win_is_mdi_child(hwnd) != 0;
    QWidget* active = win_active.get();
    bool desktop_active = active && active != hwnd && !win_is_mdi_child(active) &&
                          win_record_of(active);
    if (mdi_child && (desktop_active || !frame_app_active()))
        return;
    if (mdi_child) {
        if (QMdiArea* mdi = mdi_client())
            mdi->setActiveSubWindow(static_cast<QMdiSubWindow*>(frame));
    } else {
        frame->activateWindow();
    }
    if (EditBox* box = rec->editbox.get())
        box->setFocus();
    else if (ListBox* list = rec->listbox.get(); list && list->isVisible())
        list->setFocus();
}

void win_paint_frame(QWidget* hwnd, QPainter& painter, const QRect& rect)
{
    WindowRecord* rec = win_record_of(hwnd);
    QColor light;
    QColor dark;
    frame_colours(&light, &dark);
    if (rec && (rec->border_style == 3 || rec->type == kWinTransfer))
        painter.fillRect(rect, qApp ? QApplication::palette().color(QPalette::Button) : light);
    else
        painter.fillRect(rect, background_of(rec));
    if (!rec || !hwnd)
        return;
    QRect all = hwnd->rect();
    if (rec->border_style == 1 || rec->border_style == 2) {
        painter.setPen(dark);
        painter.drawRect(all.adjusted(0, 0, -1, -1));
    }
    if (rec->border_style == 2) {
        QRect in = all.adjusted(1, 1, -2, -2);
        painter.setPen(light);
        painter.drawLine(in.topLeft(), in.topRight());
        painter.drawLine(in.topLeft(), in.bottomLeft());
        painter.setPen(dark);
        painter.drawLine(in.bottomLeft(), in.bottomRight());
        painter.drawLine(in.topRight(), in.bottomRight());
    }
}

int win_status_icon_kind(Connection* conn)
{
    if (!conn_is_live(conn))
        return 27;
    if (conn_is_connected(conn))
        return conn->registered ? 30 : 29;
    if (conn_is_connecting(conn))
        return 28;
    return 27;
}

void win_set_status_icon(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->type != kWinStatus || !rec->hwnd.get())
        return;
    rec->hwnd->setProperty("statusIcon", win_status_icon_kind(rec->conn));
    win_status_icon_changed.fire(rec);
}

// ---- Activation and the window procedure ----

int win_focus_input(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    QWidget* focus = qApp ? QApplication::focusWidget() : nullptr;
    QWidget* e1 = rec->editbox.get();
    QWidget* e2 = rec->editbox2.get();
    QWidget* lb = rec->listbox.get();
    if (focus && (focus == e1 || focus == e2 || focus == lb))
        return 1;
    QWidget* target = rec->last_focus.get();
    if (!target || !target->isVisible())
        target = e1 ? e1 : (lb && lb->isVisible() ? lb : nullptr);
    if (target)
        target->setFocus();
    else
        hwnd->setFocus();
    return 0;
}

void win_on_activate(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    if (win_active.get() == hwnd && win_last_activated.get() == hwnd && rec->activation_guard) {
        win_focus_input(hwnd);
        return;
    }
    rec->activation_guard = 1;
    if (win_last_activated.get() != hwnd && conn_is_live(rec->conn))
        tabcomp_edit_reset(rec->conn);
    QWidget* previous = win_last_activated.get();
    win_last_activated = hwnd;
    textsel_end_record(rec);

    win_active = hwnd;
    conn_current();
    win_activated.fire(rec);

    // Windows that follow the active connection take this window's.
    bool changed = false;
    if (conn_is_live(rec->conn)) {
        for (WindowRecord* r = win_list; r; r = r->next) {
            if (r == rec || r->type == kWinStatus || !r->follows_active)
                continue;
            if (r->conn != rec->conn) {
                r->conn = rec->conn;
                changed = true;
                win_list_change(kWinListTreeItem, r, 1);
            }
        }
    }
    if (changed)
        win_list_change(kWinListOrder);
    if (child_hooks.follow_current_conn)
        child_hooks.follow_current_conn();
    menu_update_connect_items();

    if (win_clear_activity(rec)) {
        win_activity_cleared.fire(rec);
        win_paint_iconic_highlight(rec);
    }
    if (!win_is_record(rec))
        return;

    win_focus_input(hwnd);
    win_list_change(kWinListLook);
    win_list_change(kWinListTree, nullptr, 0);
    hwnd->update();
    if (rec->maximised && mdi_auto_arrange)
        post_app_message(WM_APP_BARS_REPAINT, 0, 0);

    win_previous_activated = previous;
    win_last_activated = hwnd;
    win_post(hwnd, WM_APP_CHILD_ACTIVATED, 0, 0);
}

Signal<void(WindowRecord* rec)> win_activated;
Signal<void(WindowRecord* rec)> win_activity_cleared;
Signal<void(WindowRecord* rec)> win_status_icon_changed;

namespace {

void deferred_key(WindowRecord* rec, QWidget* hwnd, uintptr_t wparam, intptr_t lparam)
{
    int vk = static_cast<int>(wparam & 0xFFFF);
    int mods = static_cast<int>(wparam & (kKeyCtrl | kKeyShift | kKeyAlt));
    bool second = lparam == 1;
    textsel_end_record(rec);
    switch (vk) {
    case 9:
        input_tab_complete(rec, second ? 1 : 0);
        break;
    case 13: {
        EditBox* box = (second && rec->editbox2.get()) ? rec->editbox2.get() : rec->editbox.get();
        if (box)
            editbox_submit(rec, box, 1, (mods & kKeyCtrl) ? 3 : 1);
        break;
    }
    case 27: {
        QWidget* frame = win_container(hwnd);
        if (opt(OPT_ESCAPE_CLOSES_WINDOWS) && frame->isVisible() && !frame->isMinimized())
            frame->showMinimized();
        break;
    }
    case 33:
        win_on_vscroll(rec, (mods & kKeyCtrl) ? kScrollLineUp : kScrollPageUp, 0, 0);
        break;
    case 34:
        win_on_vscroll(rec, (mods & kKeyCtrl) ? kScrollLineDown : kScrollPageDown, 0, 0);
        break;
    case 35:
        win_on_vscroll(rec, kScrollBottom, 0, 0);
        break;
    case 36:
        win_on_vscroll(rec, kScrollTop, 0, 0);
        break;
    case 38:
        input_history_recall(rec, 1, second ? 1 : 0);
        break;
    case 40:
        input_history_recall(rec, -1, second ? 1 : 0);
        break;
    case 45: {
        EditBox* box = rec->editbox.get();
        if (box && rec->editbox_mode == 0 && box->hasFocus() && box->document()->blockCount() > 1)
            editbox_submit(rec, box, 1, 0);
        break;
    }
    case 'F':
        if (mods & kKeyCtrl) {
            if (rec->line_count > 0)
                find_text_dialog_open(rec);
            else
                beep_error(0);
        }
        break;
    default:
        if (vk >= 112 && vk <= 123) {
            char alias[16];
            const char* prefix = (mods & kKeyShift) ? "s" : (mods & kKeyCtrl) ? "c"
                                 : (mods & kKeyAlt) ? "a" : "";
            std::snprintf(alias, sizeof alias, "%sF%d ", prefix, vk - 111);
            if (!fkey_run_alias(rec, alias))
                beep_error(0);
        }
        break;
    }
}

}  // namespace

intptr_t mdi_child_message(QWidget* hwnd, int message, uintptr_t wparam, intptr_t lparam)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    switch (message) {
    case WM_APP_WINDOW_KEY:
        deferred_key(rec, hwnd, wparam, lparam);
        return 0;
    case WM_APP_CHILD_ACTIVATED:
        rec->activation_guard = 0;
        frame_update_activation(hwnd, 4);
        return 0;
    case WM_APP_DEFERRED_LAYOUT:
        win_layout(hwnd, static_cast<int>(lparam));
        return 0;
    default:
        return 0;
    }
}


namespace {
int g_layout_listener = 0;
}  // namespace

void child_window_install()
{
    win_layout_wanted.add_once(g_layout_listener, kLayoutWantedWindows, win_layout);
}

void child_window_uninstall()
{
    win_layout_wanted.drop(g_layout_listener);
}
