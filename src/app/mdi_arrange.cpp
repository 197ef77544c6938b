// Arranging the MDI children.
#include "app/mdi_arrange.h"

#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/mdi_client.h"
#include "app/system_menu.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/options.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>

namespace {

QMdiArea* area()
{
    return mdi_client();
}

WindowRecord* record_of_sub(QMdiSubWindow* sub)
{
    return sub && sub->widget() ? win_record_of(sub->widget()) : nullptr;
}

bool is_iconic(QMdiSubWindow* sub)
{
    return sub->isMinimized();
}

void redraw_children()
{
    QMdiArea* mdi = area();
    if (!mdi)
        return;
    for (QMdiSubWindow* sub : mdi->subWindowList())
        if (sub->isVisible() && !is_iconic(sub))
            if (WindowRecord* rec = record_of_sub(sub))
                win_redraw(rec, 1);
}

// The children to arrange: visible, not minimised, top of the stack first.
std::vector<QMdiSubWindow*> arrangeable()
{
    std::vector<QMdiSubWindow*> out;
    for (QMdiSubWindow* sub : mdi_children_top_first())
        if (!is_iconic(sub))
            out.push_back(sub);
    return out;
}

// The room the children share: the viewport less the row of icons when
// minimised children are shown.
QRect arrange_room(int* icon_row)
{
    QMdiArea* mdi = area();
    QRect room = mdi->viewport()->rect();
    int row = 0;
    for (QMdiSubWindow* sub : mdi->subWindowList())
        if (sub->isVisible() && is_iconic(sub))
            row = std::max(row, sub->height());
    if (icon_row)
        *icon_row = row;
    if (row > 0 && room.height() > 2 * row)
        room.setHeight(room.height() - row);
    return room;
}

void restore_maximised(const std::vector<QMdiSubWindow*>& subs)
{
    for (QMdiSubWindow* sub : subs)
        if (sub->isMaximized())
            sub->showNormal();
}

}  // namespace

std::vector<QMdiSubWindow*> mdi_children_top_first()
{
    std::vector<QMdiSubWindow*> out;
    QMdiArea* mdi = area();
    if (!mdi)
        return out;
    const QList<QMdiSubWindow*> stack = mdi->subWindowList(QMdiArea::StackingOrder);
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        if ((*it)->isVisible())
            out.push_back(*it);
    return out;
}

int mdi_cascade_step()
{
    const int step = win_system_metric(4) + win_system_metric(33) - 2;
    return step > 0 ? step : 20;
}

void mdi_group_by_connection(int ctrl_inverts, int order)
{
    QMdiArea* mdi = area();
    Connection* current = conn_current();
    if (!mdi || !opt(OPT_ARRANGE_GROUP_BY_CONNECTION) || !conn_is_live(current))
        return;
    bool by_creation = opt(OPT_ARRANGE_ORDER_BY_CREATION) != 0;
    if (order == 1)
        by_creation = !by_creation;
    if (ctrl_inverts && (QApplication::keyboardModifiers() & Qt::ControlModifier))
        by_creation = !by_creation;

    // The order source: the window list, or the stack from the top.
    std::vector<QMdiSubWindow*> source;
    if (by_creation) {
        for (WindowRecord* rec = win_list; rec; rec = rec->next)
            if (QWidget* w = rec->hwnd.get())
                if (win_is_mdi_child(w))
                    source.push_back(static_cast<QMdiSubWindow*>(w->parentWidget()));
    } else {
        const QList<QMdiSubWindow*> stack = mdi->subWindowList(QMdiArea::StackingOrder);
        source.assign(stack.rbegin(), stack.rend());
    }

    // Current connection, then the others in connection-list order, then the
    // windows of no connection.
    std::vector<QMdiSubWindow*> wanted;
    auto take = [&](auto belongs) {
        for (QMdiSubWindow* sub : source)
            if (WindowRecord* rec = record_of_sub(sub); rec && belongs(rec))
                wanted.push_back(sub);
    };
    auto no_conn = [](WindowRecord* rec) { return rec->shared == 1 || !conn_is_live(rec->conn); };
    take([&](WindowRecord* rec) { return !no_conn(rec) && rec->conn == current; });
    for (Connection* c = conn_list; c; c = c->next)
        if (c != current)
            take([&](WindowRecord* rec) { return !no_conn(rec) && rec->conn == c; });
    take(no_conn);

    // Each one sent to the bottom in turn: the first ends on top.
    for (auto it = wanted.rbegin(); it != wanted.rend(); ++it)
        (*it)->raise();
}

void mdi_tile(int flags)
{
    QMdiArea* mdi = area();
    if (!mdi)
        return;
    int order = flags & 0xFFFF;
    if (order != 1)
        order = 0;
    QMdiSubWindow* current = mdi->activeSubWindow();
    mdi_group_by_connection(0, order);
    std::vector<QMdiSubWindow*> subs = arrangeable();
    restore_maximised(subs);
    const QRect room = arrange_room(nullptr);
    const int n = static_cast<int>(subs.size());
    if (n > 0 && room.width() > 0 && room.height() > 0) {
        const bool vertical = (flags & 0x10000) != 0;
        for (int i = 0; i < n; ++i) {
            QRect r;
            if (vertical) {
                const int x0 = room.left() + room.width() * i / n;
                const int x1 = room.left() + room.width() * (i + 1) / n;
                r = QRect(x0, room.top(), x1 - x0, room.height());
            } else {
                const int y0 = room.top() + room.height() * i / n;
                const int y1 = room.top() + room.height() * (i + 1) / n;
                r = QRect(room.left(), y0, room.width(), y1 - y0);
            }
            subs[static_cast<std::size_t>(i)]->setGeometry(r);
        }
    }
    if (current && QApplication::activeWindow())
        current->update();
    redraw_children();
}

void mdi_cascade(int order)
{
    QMdiArea* mdi = area();
    if (!mdi)
        return;
    if (order != 1)
        order = 0;
    mdi_group_by_connection(0, order);
    std::vector<QMdiSubWindow*> subs = arrangeable();
    restore_maximised(subs);
    const QRect room = arrange_room(nullptr);
    const int n = static_cast<int>(subs.size());
    const int step = mdi_cascade_step();
    if (n > 0 && room.width() > 0 && room.height() > 0) {
        // The bottom window at the top left, the top window furthest in.
        int fit = std::max(1, std::min(room.width(), room.height()) / 2 / step);
        int w = std::max(room.width() / 2, room.width() - step * std::min(n - 1, fit));
        int h = std::max(room.height() / 2, room.height() - step * std::min(n - 1, fit));
        for (int i = 0; i < n; ++i) {
            const int k = (n - 1 - i) % (fit + 1);
            subs[static_cast<std::size_t>(i)]->setGeometry(room.left() + k * step, room.top() + k * step, w, h);
        }
    }
    redraw_children();
}

void mdi_arrange_icons()
{
    QMdiArea* mdi = area();
    if (!mdi)
        return;
    const QRect room = mdi->viewport()->rect();
    int x = room.left();
    int y = room.bottom() + 1;
    int row = 0;
    for (QMdiSubWindow* sub : mdi->subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isVisible() || !is_iconic(sub))
            continue;
        const QSize s = sub->size();
        if (x > room.left() && x + s.width() > room.right() + 1) {
            x = room.left();
            y -= row;
            row = 0;
        }
        if (row == 0)
            row = s.height();
        sub->move(x, y - s.height());
        x += s.width();
    }
}

void mdi_sync_icons()
{
    const bool bars = opt(OPT_SWITCHBAR_SHOWN) || opt(OPT_TREEBAR_SHOWN);
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        QWidget* w = rec->hwnd.get();
        if (!w || !win_is_mdi_child(w))
            continue;
        auto* sub = static_cast<QMdiSubWindow*>(w->parentWidget());
        if (!sub->isMinimized())
            continue;
        if (!bars || rec->keep_icon) {
            if (sub->isHidden()) {
                sub->setAttribute(Qt::WA_ShowWithoutActivating, true);
                sub->show();
                sub->setAttribute(Qt::WA_ShowWithoutActivating, false);
            }
        } else if (sub->isVisible()) {
            sub->hide();
        }
    }
}

void mdi_activate_next(int backwards, QMdiArea* in)
{
    QMdiArea* mdi = in ? in : area();
    if (!mdi)
        return;
    if (backwards)
        mdi->activatePreviousSubWindow();
    else
        mdi->activateNextSubWindow();
}

namespace {

// The window holding the keyboard focus, or one of its controls.
bool has_focus(QWidget* hwnd)
{
    QWidget* focus = QApplication::focusWidget();
    return focus && (focus == hwnd || hwnd->isAncestorOf(focus));
}

void show_without_activating(QWidget* w, void (QWidget::*show)())
{
    const bool was = w->testAttribute(Qt::WA_ShowWithoutActivating);
    w->setAttribute(Qt::WA_ShowWithoutActivating, true);
    (w->*show)();
    w->setAttribute(Qt::WA_ShowWithoutActivating, was);
}

void after_show(QWidget* hwnd)
{
    win_enable_sysmenu_items(hwnd);
    mdi_sync_icons();
    win_mdi_refresh();
}

}  // namespace

QWidget* win_activate_next_in_list(QWidget* hwnd, int backwards)
{
    WindowRecord* from = win_record_of(hwnd);
    if (!from)
        return nullptr;
    const int in_mdi = win_is_mdi_child(hwnd) ? 1 : 0;
    std::vector<WindowRecord*> ring;
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        ring.push_back(rec);
    const auto at = std::find(ring.begin(), ring.end(), from);
    if (at == ring.end())
        return nullptr;
    const std::size_t n = ring.size();
    std::size_t i = static_cast<std::size_t>(at - ring.begin());
    for (std::size_t step = 1; step < n; ++step) {
        i = backwards ? (i + n - 1) % n : (i + 1) % n;
        QWidget* w = ring[i]->hwnd.get();
        if (!w || (win_is_mdi_child(w) ? 1 : 0) != in_mdi)
            continue;
        if (!win_is_visible(w) || win_is_minimised(w))
            continue;
        win_activate(w, kActivateForeground);
        return w;
    }
    return nullptr;
}

int win_activate(QWidget* hwnd, int flags)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    if ((flags & kActivateIfUnfocused) && has_focus(hwnd))
        return 1;
    const bool bring = (flags & kActivateForeground) || frame_app_active();
    QWidget* outer = win_container(hwnd);
    auto* sub = qobject_cast<QMdiSubWindow*>(outer);
    QMdiArea* mdi = sub ? sub->mdiArea() : nullptr;

    if (sub && mdi) {
        const bool iconic = sub->isMinimized() || sub->isHidden();
        QMdiSubWindow* top = mdi->activeSubWindow();
        bool maximised = (flags & kActivateMaximised) != 0;
        if (!maximised && !(flags & kActivateRestore)) {
            if (top && top != sub && top->isVisible())
                maximised = top->isMaximized();
            else
                maximised = rec->maximised != 0;
        }
        if (maximised) {
            if (iconic)
                sub->showNormal();
            mdi->setActiveSubWindow(sub);
            sub->showMaximized();
        } else {
            // Qt maximises a child that becomes active while the top one is
            // maximised: activate first, then restore.
            if (!(flags & kActivateNoFocus))
                mdi->setActiveSubWindow(sub);
            sub->showNormal();
            if (iconic)
                mdi_post_arrange_command(hwnd, 0);
        }
        if (!(flags & kActivateNoFocus)) {
            sub->raise();
            mdi->setActiveSubWindow(sub);
            if (bring) {
                QWidget* frame = mdi->window();
                if (frame->isMinimized())
                    frame->showNormal();
                frame->raise();
                frame->activateWindow();
            }
            win_focus_input(hwnd);
        }
        after_show(hwnd);
        return 1;
    }

    // A desktop window.
    if (flags & kActivateRestore)
        outer->showNormal();
    else if (flags & kActivateMaximised)
        outer->showMaximized();
    else if (outer->isMinimized())
        show_without_activating(outer, &QWidget::showNormal);
    else
        show_without_activating(outer, &QWidget::show);
    if (!(flags & kActivateNoFocus) && bring) {
        outer->raise();
        outer->activateWindow();
        win_focus_input(hwnd);
    }
    after_show(hwnd);
    return 1;
}

int win_minimize(QWidget* hwnd, int flags)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return 0;
    QWidget* outer = win_container(hwnd);
    auto* sub = qobject_cast<QMdiSubWindow*>(outer);
    QMdiArea* mdi = sub ? sub->mdiArea() : nullptr;
    if (!outer->isMinimized())
        rec->maximised = outer->isMaximized() ? 1 : 0;

    if (sub && mdi) {
        const bool bars = opt(OPT_SWITCHBAR_SHOWN) || opt(OPT_TREEBAR_SHOWN);
        const bool was_top = mdi->activeSubWindow() == sub;
        show_without_activating(sub, &QWidget::showMinimized);
        if (bars && (flags & 1) && was_top) {
            // The next shown child comes up in its place.
            for (QMdiSubWindow* other : mdi_children_top_first()) {
                if (other != sub && !other->isMinimized()) {
                    mdi->setActiveSubWindow(other);
                    other->raise();
                    break;
                }
            }
        }
        if (bars && !rec->keep_icon)
            sub->hide();
        after_show(hwnd);
        return 1;
    }

    outer->showMinimized();
    const bool hide_option = opt(OPT_HIDE_MINIMISED_DESKTOP_WINDOWS) != 0;
    const bool shift = (QApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
    if (hide_option != shift)
        outer->hide();
    after_show(hwnd);
    return 1;
}
