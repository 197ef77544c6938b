// Docking of the bars on the frame's sides.
#include "app/bar_docking.h"

#include "app/frame_layout.h"
#include "app/startup.h"
#include "display/bar_windows.h"
#include "app/bar_tooltips.h"
#include "core/main_settings.h"
#include "core/options.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace {

OptionId side_option(int bar)
{
    return bar == BAR_TOOLBAR ? OPT_TOOLBAR_SIDE : bar == BAR_SWITCHBAR ? OPT_SWITCHBAR_SIDE : OPT_TREEBAR_SIDE;
}

bool valid_bar(int bar)
{
    return bar >= 0 && bar < BAR_COUNT;
}

bool valid_side(int side)
{
    return side >= DOCK_BOTTOM && side <= DOCK_RIGHT;
}

bool across(int side)
{
    return side == DOCK_BOTTOM || side == DOCK_TOP;
}

int clamp_or(int v, int lo, int hi, int def)
{
    return v < lo || v > hi ? def : v;
}

int row_height()
{
    const int h = opt(OPT_SWITCHBAR_BUTTON_HEIGHT);
    return h == 29 || h == 33 || h == 37 ? h : 29;
}

// Drag state.
struct DragState {
    int mode = 0;  // 0 none, 1 move, 2 resize
    int bar = -1;
    int saved_switchbar_width = 0, saved_switchbar_rows = 0;
    int saved_treebar_width = 0, saved_treebar_height = 0;
    int start_side = -1;
    QPoint start;  // global
    QPoint last;   // global
};
DragState g_drag;

// The last layout: the host the bars were placed in and its area.
QPointer<QWidget> g_host;
QRect g_area;

QWidget* host()
{
    return g_host.data();
}

QPoint host_point(const QPoint& global)
{
    QWidget* h = host();
    return h ? h->mapFromGlobal(global) : global;
}

}  // namespace

// ---- Stored sides and sizes ----

int dock_bar_side(int bar)
{
    if (!valid_bar(bar))
        return -1;
    const OptionId id = side_option(bar);
    const int side = opt(id);
    return valid_side(side) ? side : opt_default(id);
}

int dock_set_bar_side(int bar, int side)
{
    if (!valid_bar(bar) || !valid_side(side))
        return 0;
    opt_set(side_option(bar), side);
    return 1;
}

int dock_toolbar_own_side(int side)
{
    if (side == 0 || side == 1)
        return 1 - side;
    return side == 2 || side == 3 ? side : -1;
}

int dock_bar_shown(int bar)
{
    switch (bar) {
    case BAR_TOOLBAR:
        return opt(OPT_TOOLBAR_SHOWN) ? 1 : 0;
    case BAR_SWITCHBAR:
        return opt(OPT_SWITCHBAR_SHOWN) ? 1 : 0;
    case BAR_TREEBAR:
        return opt(OPT_TREEBAR_SHOWN) || main_settings.compact_mode ? 1 : 0;
    default:
        return 0;
    }
}

int dock_bars_shown()
{
    for (int bar : {BAR_SWITCHBAR, BAR_TREEBAR})
        if (bar_window(bar) && dock_bar_shown(bar))
            return 1;
    return 0;
}

int dock_bars_locked()
{
    return opt(OPT_N8_12) ? 1 : 0;
}

void dock_set_bars_locked(int locked)
{
    opt_set(OPT_N8_12, locked ? 1 : 0);
}

int dock_switchbar_rows()
{
    return clamp_or(opt(OPT_SWITCHBAR_ROWS), 0, kSwitchbarRowsMax, 0);
}

int dock_switchbar_height()
{
    const int rows = dock_switchbar_rows();
    const int h = row_height();
    return rows == 0 ? h : h * (rows + 1) - 2 * rows;
}

int dock_switchbar_width()
{
    return clamp_or(opt(OPT_SWITCHBAR_WIDTH), kSwitchbarWidthMin, kSwitchbarWidthMax, 115);
}

int dock_treebar_width()
{
    return clamp_or(opt(OPT_TREEBAR_WIDTH), kTreebarWidthMin, kTreebarWidthMax, 168);
}

int dock_treebar_height()
{
    return clamp_or(opt(OPT_N8_22), kTreebarHeightMin, kTreebarHeightMax, 168);
}

// ---- The frame's layout ----

namespace {

// Takes a strip of `thickness` along `side` of `rest`; `rest` keeps what is
// left.
QRect take_strip(QRect& rest, int side, int thickness)
{
    thickness = std::max(0, thickness);
    QRect strip = rest;
    switch (side) {
    case DOCK_BOTTOM:
        thickness = std::min(thickness, rest.height());
        strip.setTop(rest.bottom() - thickness + 1);
        rest.setBottom(rest.bottom() - thickness);
        break;
    case DOCK_TOP:
        thickness = std::min(thickness, rest.height());
        strip.setBottom(rest.top() + thickness - 1);
        rest.setTop(rest.top() + thickness);
        break;
    case DOCK_LEFT:
        thickness = std::min(thickness, rest.width());
        strip.setRight(rest.left() + thickness - 1);
        rest.setLeft(rest.left() + thickness);
        break;
    default:
        thickness = std::min(thickness, rest.width());
        strip.setLeft(rest.right() - thickness + 1);
        rest.setRight(rest.right() - thickness);
        break;
    }
    return strip;
}

}  // namespace

DockLayout dock_compute_layout(const QRect& area, const DockBarInput in[3], int compact)
{
    DockLayout out;
    QRect rest = area;
    if (!area.isValid()) {
        out.client = QRect();
        return out;
    }
    const DockBarInput& tool = in[BAR_TOOLBAR];
    const DockBarInput& sw = in[BAR_SWITCHBAR];
    const DockBarInput& tree = in[BAR_TREEBAR];
    if (compact) {
        if (tree.present)
            out.bar[BAR_TREEBAR] = area;
        out.client = QRect();
        return out;
    }
    auto place = [&](int bar, const DockBarInput& b) {
        if (valid_side(b.side))
            out.bar[bar] = take_strip(rest, b.side, b.thickness);
    };
    const bool tool_across = tool.present && across(tool.side);
    const bool tool_at_side = tool.present && !across(tool.side);
    bool sw_across_early = false;
    // 1. The toolbar at top or bottom.
    if (tool_across)
        place(BAR_TOOLBAR, tool);
    // 2. The switchbar at top or bottom while the toolbar is not at a side.
    if (sw.present && across(sw.side) && !tool_at_side) {
        place(BAR_SWITCHBAR, sw);
        sw_across_early = true;
    }
    // 3. The toolbar at a side.
    if (tool_at_side)
        place(BAR_TOOLBAR, tool);
    // 4. The treebar at a side, unless step 2 placed the switchbar.
    const bool tree_done_early = tree.present && !across(tree.side) && !sw_across_early;
    if (tree_done_early)
        place(BAR_TREEBAR, tree);
    // 5. The switchbar at a side, or across when the toolbar is at a side.
    if (sw.present && !sw_across_early)
        place(BAR_SWITCHBAR, sw);
    // 6. The treebar at top or bottom, or at a side after an early switchbar.
    if (tree.present && !tree_done_early)
        place(BAR_TREEBAR, tree);
    out.client = rest;
    return out;
}

void dock_layout_inputs(DockBarInput out[3])
{
    for (int bar = 0; bar < BAR_COUNT; ++bar) {
        DockBarInput& b = out[bar];
        QWidget* w = bar_window(bar);
        b.side = dock_bar_side(bar);
        b.present = w && dock_bar_shown(bar) ? 1 : 0;
        if (main_settings.compact_mode && bar == BAR_TREEBAR)
            b.side = DOCK_TOP;
        b.thickness = 0;
        if (!w)
            continue;
        switch (bar) {
        case BAR_TOOLBAR: {
            // The toolbar tells its own thickness.
            const QSize hint = w->sizeHint().isValid() ? w->sizeHint() : w->minimumSizeHint();
            int t = across(b.side) ? hint.height() : hint.width();
            if (t <= 0)
                t = across(b.side) ? w->minimumHeight() : w->minimumWidth();
            b.thickness = t > 0 ? t : 28;
            break;
        }
        case BAR_SWITCHBAR:
            b.thickness = across(b.side) ? dock_switchbar_height() : dock_switchbar_width();
            break;
        default:
            b.thickness = across(b.side) ? dock_treebar_height() : dock_treebar_width();
            break;
        }
    }
}

void dock_note_layout(QWidget* host_widget, const QRect& area)
{
    g_host = host_widget;
    g_area = area;
}

QRect dock_layout_area()
{
    return g_area;
}

// ---- Grips, edges, sides ----

bool dock_grip_rect(int bar, int side, QRect* out)
{
    QWidget* w = valid_bar(bar) ? bar_window(bar) : nullptr;
    if (!w || !valid_side(side) || dock_bars_locked())
        return false;
    const int width = w->width(), height = w->height();
    QRect r;
    switch (bar) {
    case BAR_SWITCHBAR:
        if (across(side)) {
            const int rh = row_height();
            const int top = side == DOCK_BOTTOM ? 4 : 2;
            const int bottom = side == DOCK_BOTTOM ? rh - 4 : rh - 6;
            r = QRect(QPoint(1, top + 2), QPoint(8, bottom));
        } else {
            const int left = side == DOCK_LEFT ? 1 : 4;
            const int right = width - (side == DOCK_LEFT ? 6 : 2);
            r = QRect(QPoint(left, 0), QPoint(right, 6));
        }
        break;
    case BAR_TOOLBAR:
        if (across(side))
            r = QRect(QPoint(1, 3), QPoint(8, height - 4));
        else
            r = QRect(QPoint(1, 0), QPoint(width - 2, 6));
        break;
    default:
        r = QRect(QPoint(0, 0), QPoint(width - 1, 6));
        break;
    }
    if (out)
        *out = r;
    return r.isValid();
}

bool dock_point_on_grip(int bar, int side, const QPoint& p)
{
    QRect r;
    return dock_grip_rect(bar, side, &r) && r.contains(p);
}

bool dock_resize_edge_rect(int bar, int side, QRect* out)
{
    if (bar != BAR_SWITCHBAR && bar != BAR_TREEBAR)
        return false;
    QWidget* w = bar_window(bar);
    if (!w || !valid_side(side) || dock_bars_locked())
        return false;
    const int width = w->width(), height = w->height();
    QRect r;
    switch (side) {
    case DOCK_BOTTOM:
        r = QRect(0, 0, width, 4);
        break;
    case DOCK_TOP:
        r = QRect(0, height - 4, width, 4);
        break;
    case DOCK_LEFT:
        r = QRect(width - 4, 0, 4, height);
        break;
    default:
        r = QRect(0, 0, 4, height);
        break;
    }
    if (out)
        *out = r;
    return r.isValid();
}

bool dock_point_on_edge(int bar, int side, const QPoint& p)
{
    QRect r;
    return dock_resize_edge_rect(bar, side, &r) && r.contains(p);
}

int dock_cursor_for_side(int side)
{
    if (side == DOCK_BOTTOM || side == DOCK_TOP)
        return Qt::SizeVerCursor;
    if (side == DOCK_LEFT || side == DOCK_RIGHT)
        return Qt::SizeHorCursor;
    return Qt::SizeAllCursor;
}

int dock_side_at(const QRect& area, const QRect& bar_rect, QPoint p)
{
    if (p.x() > 30000)
        p.setX(-1);
    if (p.y() > 30000)
        p.setY(-1);
    if (!area.isValid() || !area.contains(p) || bar_rect.contains(p))
        return -1;
    const int w = area.width(), h = area.height();
    const int x = p.x() - area.left(), y = p.y() - area.top();
    if (x >= w / 3 && x <= 2 * w / 3 && y >= h / 3 && y <= 2 * h / 3)
        return -1;
    // The diagonals cut the area into four triangles; compare the point's
    // distance from the centre in units of the area's half sizes.
    const long long dx = 2LL * x - w;  // scaled by h below
    const long long dy = 2LL * y - h;
    const long long ax = std::llabs(dx) * h, ay = std::llabs(dy) * w;
    if (ay >= ax)
        return dy > 0 ? DOCK_BOTTOM : DOCK_TOP;
    return dx < 0 ? DOCK_LEFT : DOCK_RIGHT;
}

int dock_choose_side(int bar, QPoint p)
{
    QWidget* w = valid_bar(bar) ? bar_window(bar) : nullptr;
    if (!w || !host())
        return 0;
    const QRect bar_rect = w->parentWidget() == host() ? w->geometry() : QRect();
    const int side = dock_side_at(g_area, bar_rect, p);
    if (side < 0 || side == dock_bar_side(bar))
        return 0;
    dock_set_bar_side(bar, side);
    frame_layout();
    return 1;
}

void dock_resize(int bar, QPoint p, int phase)
{
    QWidget* w = valid_bar(bar) ? bar_window(bar) : nullptr;
    if (phase == 0) {
        g_drag.saved_switchbar_width = dock_switchbar_width();
        g_drag.saved_switchbar_rows = dock_switchbar_rows();
        g_drag.saved_treebar_width = dock_treebar_width();
        g_drag.saved_treebar_height = dock_treebar_height();
        if (w)
            g_drag.start = w->mapToGlobal(p);
        return;
    }
    int sw_width = dock_switchbar_width(), rows = dock_switchbar_rows();
    int tree_width = dock_treebar_width(), tree_height = dock_treebar_height();
    if (phase == 4) {
        sw_width = g_drag.saved_switchbar_width;
        rows = g_drag.saved_switchbar_rows;
        tree_width = g_drag.saved_treebar_width;
        tree_height = g_drag.saved_treebar_height;
    } else if (w && (bar == BAR_SWITCHBAR || bar == BAR_TREEBAR)) {
        const int side = dock_bar_side(bar);
        // The point stays within the extent of the edge strip.
        QRect edge;
        dock_resize_edge_rect(bar, side, &edge);
        if (edge.isValid()) {
            if (across(side))
                p.setX(std::clamp(p.x(), edge.left(), edge.right()));
            else
                p.setY(std::clamp(p.y(), edge.top(), edge.bottom()));
        }
        const QPoint g = w->mapToGlobal(p);
        const int dx = g.x() - g_drag.start.x(), dy = g.y() - g_drag.start.y();
        if (bar == BAR_SWITCHBAR) {
            if (side == DOCK_RIGHT)
                sw_width = g_drag.saved_switchbar_width - dx;
            else if (side == DOCK_LEFT)
                sw_width = g_drag.saved_switchbar_width + dx;
            else {
                const int rh = row_height();
                // Full row heights beyond the bar's inner edge.
                const int beyond = side == DOCK_TOP ? p.y() - w->height() : -p.y();
                rows += beyond / rh;
            }
        } else {
            if (side == DOCK_RIGHT)
                tree_width = g_drag.saved_treebar_width - dx;
            else if (side == DOCK_LEFT)
                tree_width = g_drag.saved_treebar_width + dx;
            else if (side == DOCK_TOP)
                tree_height = g_drag.saved_treebar_height + dy;
            else
                tree_height = g_drag.saved_treebar_height - dy;
        }
    }
    sw_width = std::clamp(sw_width, kSwitchbarWidthMin, kSwitchbarWidthMax);
    rows = std::clamp(rows, 0, kSwitchbarRowsMax);
    tree_width = std::clamp(tree_width, kTreebarWidthMin, kTreebarWidthMax);
    tree_height = std::clamp(tree_height, kTreebarHeightMin, kTreebarHeightMax);
    const bool changed = sw_width != opt(OPT_SWITCHBAR_WIDTH) || rows != opt(OPT_SWITCHBAR_ROWS) ||
                         tree_width != opt(OPT_TREEBAR_WIDTH) || tree_height != opt(OPT_N8_22);
    if (!changed)
        return;
    opt_set(OPT_SWITCHBAR_WIDTH, sw_width);
    opt_set(OPT_SWITCHBAR_ROWS, rows);
    opt_set(OPT_TREEBAR_WIDTH, tree_width);
    opt_set(OPT_N8_22, tree_height);
    frame_layout();
}

void dock_draw_grip(int bar, QPainter& painter, int side)
{
    QRect grip;
    if (!dock_grip_rect(bar, side, &grip))
        return;
    const QPalette pal = QApplication::palette();
    auto box = [&](const QRect& r) {
        painter.fillRect(r, pal.color(QPalette::Button));
        painter.setPen(pal.color(QPalette::Light));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(pal.color(QPalette::Dark));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    };
    // The treebar's grip is always the strip at the top.
    const bool strip_at_top = bar == BAR_TREEBAR || !across(side);
    if (strip_at_top) {
        const int top = grip.top() + 3, bottom = grip.bottom() - 1;
        for (int x = grip.left(); x + 3 <= grip.right() + 1; x += 4)
            box(QRect(QPoint(x, top), QPoint(x + 2, std::max(top, bottom))));
    } else {
        const int left = grip.left() + 2, right = grip.right() - 2;
        for (int y = grip.top(); y + 3 <= grip.bottom() + 1; y += 4)
            box(QRect(QPoint(left, y), QPoint(std::max(left, right), y + 2)));
    }
}

// ---- The drag ----

namespace {

class DragLoop : public QObject {
public:
    DragLoop(int bar, QWidget* w) : bar_(bar), w_(w) {}

    void run()
    {
        qApp->installEventFilter(this);
        w_->grabMouse();
        w_->grabKeyboard();
        loop_.exec();
        if (w_) {
            w_->releaseKeyboard();
            w_->releaseMouse();
        }
        qApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseMove: {
            const QPoint g = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
            g_drag.last = g;
            step(g);
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
                finish(static_cast<QMouseEvent*>(e)->globalPosition().toPoint(), false);
                return true;
            }
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            return true;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                finish(QCursor::pos(), false);
            else if (key == Qt::Key_Escape)
                cancel();
            return true;
        }
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
            return true;
        case QEvent::WindowDeactivate:
            if (obj == static_cast<QObject*>(frame_window.data()) || (w_ && obj == static_cast<QObject*>(w_->window()))) {
                // The program lost the focus: a move drops the bar where the
                // mouse last was, a resize is undone.
                finish(g_drag.last, g_drag.mode == 2);
            }
            return false;
        default:
            return false;
        }
    }

private:
    void step(const QPoint& g)
    {
        if (!w_) {
            loop_.quit();
            return;
        }
        if (g_drag.mode == 1)
            dock_choose_side(bar_, host_point(g));
        else
            dock_resize(bar_, w_->mapFromGlobal(g), 1);
    }

    // Escape: a moved bar goes back to the side it had when the drag began,
    // a resize puts the sizes back.
    void cancel()
    {
        if (w_) {
            if (g_drag.mode == 1) {
                if (g_drag.start_side != dock_bar_side(bar_) && dock_set_bar_side(bar_, g_drag.start_side))
                    frame_layout();
            } else {
                dock_resize(bar_, QPoint(), 4);
            }
        }
        loop_.quit();
    }

    void finish(const QPoint& g, bool cancel)
    {
        if (w_) {
            if (g_drag.mode == 1)
                dock_choose_side(bar_, host_point(g));
            else if (cancel)
                dock_resize(bar_, QPoint(), 4);
            else
                dock_resize(bar_, w_->mapFromGlobal(g), 1);
        }
        loop_.quit();
    }

    int bar_;
    QPointer<QWidget> w_;
    QEventLoop loop_;
};

}  // namespace

int dock_drag_mode()
{
    return g_drag.mode;
}

int dock_mouse(int bar, QEvent* event)
{
    QWidget* w = valid_bar(bar) ? bar_window(bar) : nullptr;
    if (!w || !event || g_drag.mode != 0)
        return 0;
    const int side = dock_bar_side(bar);
    if (event->type() == QEvent::MouseMove) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->buttons() != Qt::NoButton)
            return 0;
        const QPoint p = me->position().toPoint();
        if (dock_point_on_grip(bar, side, p)) {
            w->setCursor(Qt::SizeAllCursor);
            return 1;
        }
        if (dock_point_on_edge(bar, side, p)) {
            w->setCursor(static_cast<Qt::CursorShape>(dock_cursor_for_side(side)));
            return 1;
        }
        w->unsetCursor();
        return 0;
    }
    if (event->type() != QEvent::MouseButtonPress)
        return 0;
    auto* me = static_cast<QMouseEvent*>(event);
    if (me->button() != Qt::LeftButton)
        return 0;
    const QPoint p = me->position().toPoint();
    int mode = 0;
    if (dock_point_on_grip(bar, side, p))
        mode = 1;
    else if (dock_point_on_edge(bar, side, p))
        mode = 2;
    if (!mode)
        return 0;
    tooltip_destroy();
    opt_set(OPT_SWITCHBAR_AUTO_ROWS, 0);
    g_drag = DragState{};
    g_drag.mode = mode;
    g_drag.bar = bar;
    g_drag.start_side = side;
    g_drag.start = me->globalPosition().toPoint();
    g_drag.last = g_drag.start;
    if (mode == 2)
        dock_resize(bar, p, 0);
    w->setCursor(mode == 1 ? Qt::SizeAllCursor : static_cast<Qt::CursorShape>(dock_cursor_for_side(side)));
    for (int b = 0; b < BAR_COUNT; ++b)
        if (QWidget* other = bar_window(b))
            other->update();
    if (host())
        host()->update();
    DragLoop loop(bar, w);
    loop.run();
    g_drag.mode = 0;
    if (QWidget* still = bar_window(bar))
        still->unsetCursor();
    // The sides and sizes are kept with the options.
    ini_save_options();
    return 1;
}
