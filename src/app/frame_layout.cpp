// The frame's layout and modes, window placement, monitors, transparency and
// the language module.
#include "app/frame_layout.h"

#include "app/child_window.h"
#include "model/connection.h"
#include "app/desktop_switch.h"
#include "app/frame_menu.h"
#include "app/mdi_arrange.h"
#include "app/startup.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "app/bar_docking.h"
#include "display/bar_windows.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

void frame_menu_set_language_texts(std::map<int, std::string> texts);

namespace {

int g_layout_running = 0;
// A bar asked for a layout while one ran (its thickness changed with its
// new size): the running one goes round again.
int g_layout_again = 0;
int g_mdi_cascade = 0;
int g_desktop_cascade = -1;
int g_lang_loaded = 0;

QMainWindow* frame()
{
    return qobject_cast<QMainWindow*>(frame_window.data());
}

std::string read_main(const char* section, const char* key, const char* def)
{
    std::string out;
    ini_read(section, key, def, out, 1024, main_ini_path);
    return out;
}

// Up to `n` integers separated by single characters.
void parse_ints(const std::string& text, int* out, int n)
{
    const char* p = text.c_str();
    for (int i = 0; i < n && *p; ++i) {
        char* end = nullptr;
        long v = std::strtol(p, &end, 10);
        if (end == p)
            break;
        out[i] = static_cast<int>(v);
        p = end;
        if (*p)
            ++p;
    }
}

QRect mdi_bounds()
{
    QMdiArea* mdi = mdi_client();
    return mdi ? mdi->viewport()->rect() : QRect();
}

int caption_step()
{
    return mdi_cascade_step();
}

QWidget* container_of(QWidget* hwnd)
{
    return hwnd ? win_container(hwnd) : nullptr;
}

// The normal placement of a window: MDI children relative to the MDI
// client, desktop windows in screen coordinates.
QRect normal_rect(QWidget* hwnd)
{
    QWidget* c = container_of(hwnd);
    if (!c)
        return QRect();
    if (c->isWindow()) {
        const QRect n = c->normalGeometry();
        return n.isValid() ? n : c->geometry();
    }
    if (auto* sub = qobject_cast<QMdiSubWindow*>(c); sub && (sub->isMinimized() || sub->isMaximized())) {
        const QVariant saved = sub->property("kestNormalRect");
        if (saved.isValid())
            return saved.toRect();
    }
    return c->geometry();
}

// The bar settings and frame of a mode line, in the line's order.
struct ModeLine {
    int left = -1, top = -1, width = -1, height = -1, maximised = 0;
    int treebar_pos = 0, switchbar_pos = 1, toolbar_pos = 1;
    int treebar_shown = 0, switchbar_shown = 1, toolbar_shown = 1, menubar_shown = 1;
    int favourites = 1, extra = 0, hide_minimised = 0;
};

ModeLine current_mode_line()
{
    ModeLine m;
    m.treebar_pos = opt(OPT_TREEBAR_SIDE);
    m.switchbar_pos = opt(OPT_SWITCHBAR_SIDE);
    m.toolbar_pos = opt(OPT_TOOLBAR_SIDE);
    m.treebar_shown = opt(OPT_TREEBAR_SHOWN);
    m.switchbar_shown = opt(OPT_SWITCHBAR_SHOWN);
    m.toolbar_shown = opt(OPT_TOOLBAR_SHOWN);
    m.menubar_shown = opt(OPT_MENUBAR_SHOWN);
    m.favourites = frame_favourites_in_main_menu;
    m.extra = opt(OPT_N8_12);
    m.hide_minimised = opt(OPT_HIDE_MINIMISED_DESKTOP_WINDOWS);
    return m;
}

ModeLine mode_line_defaults(int mode)
{
    ModeLine m;
    if (mode == 1) {
        m.treebar_shown = 1;
        m.treebar_pos = 1;
        m.switchbar_shown = 0;
        m.toolbar_shown = 0;
        m.menubar_shown = 1;
    } else {
        m.treebar_pos = opt_default(OPT_TREEBAR_SIDE);
        m.switchbar_pos = opt_default(OPT_SWITCHBAR_SIDE);
        m.toolbar_pos = opt_default(OPT_TOOLBAR_SIDE);
        m.treebar_shown = opt_default(OPT_TREEBAR_SHOWN);
        m.switchbar_shown = opt_default(OPT_SWITCHBAR_SHOWN);
        m.toolbar_shown = opt_default(OPT_TOOLBAR_SHOWN);
        m.menubar_shown = opt_default(OPT_MENUBAR_SHOWN);
    }
    return m;
}

ModeLine read_mode_line(int mode)
{
    ModeLine m = mode_line_defaults(mode);
    const std::string text = read_main("mode", mode ? "compact" : "normal", "");
    int v[15] = {-1, -1, -1, -1, m.maximised, m.treebar_pos, m.switchbar_pos, m.toolbar_pos,
                 m.treebar_shown, m.switchbar_shown, m.toolbar_shown, m.menubar_shown,
                 m.favourites, m.extra, m.hide_minimised};
    parse_ints(text, v, 15);
    m.left = v[0];
    m.top = v[1];
    m.width = v[2];
    m.height = v[3];
    m.maximised = v[4] ? 1 : 0;
    m.treebar_pos = v[5];
    m.switchbar_pos = v[6];
    m.toolbar_pos = v[7];
    m.treebar_shown = v[8];
    m.switchbar_shown = v[9];
    m.toolbar_shown = v[10];
    m.menubar_shown = v[11];
    m.favourites = v[12];
    m.extra = v[13];
    m.hide_minimised = v[14];
    return m;
}

QRect frame_normal_rect()
{
    QMainWindow* f = frame();
    if (!f)
        return QRect();
    const QRect n = f->normalGeometry().isValid() ? f->normalGeometry() : f->geometry();
    return n;
}

void apply_bar_settings(const ModeLine& m)
{
    opt_set(OPT_TREEBAR_SIDE, m.treebar_pos);
    opt_set(OPT_SWITCHBAR_SIDE, m.switchbar_pos);
    opt_set(OPT_TOOLBAR_SIDE, m.toolbar_pos);
    opt_set(OPT_TREEBAR_SHOWN, m.treebar_shown);
    opt_set(OPT_SWITCHBAR_SHOWN, m.switchbar_shown);
    opt_set(OPT_TOOLBAR_SHOWN, m.toolbar_shown);
    opt_set(OPT_MENUBAR_SHOWN, m.menubar_shown);
    frame_favourites_in_main_menu = m.favourites ? 1 : 0;
    opt_set(OPT_N8_12, m.extra);
    opt_set(OPT_HIDE_MINIMISED_DESKTOP_WINDOWS, m.hide_minimised);
}

// The bars live in the frame's client area around the MDI client: they are
// children of the MDI area, in the margins that the area keeps around its
// viewport (where the child windows are).
struct MdiMargins : QMdiArea {
    using QAbstractScrollArea::setViewportMargins;
    using QAbstractScrollArea::viewportMargins;
};

QMargins mdi_margins(QMdiArea* mdi)
{
    QMargins (QAbstractScrollArea::*get)() const = &MdiMargins::viewportMargins;
    return (mdi->*get)();
}

void set_mdi_margins(QMdiArea* mdi, const QMargins& m)
{
    void (QAbstractScrollArea::*set)(const QMargins&) = &MdiMargins::setViewportMargins;
    (mdi->*set)(m);
}

// Lays the frame out again when its client area changes size, and hands the
// bars' mouse moves and presses to the docking first (grips and edges).
class BarHostFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* obj, QEvent* e) override
    {
        // The area changed size, or its viewport did (a scroll bar came or
        // went, which moves the edge the bars are placed against): lay out
        // again once the area has placed its viewport.
        if (e->type() == QEvent::Resize && mdi_client() &&
            (obj == mdi_client() || obj == mdi_client()->viewport())) {
            if (!queued_) {
                queued_ = true;
                QMetaObject::invokeMethod(this, [this] {
                    queued_ = false;
                    frame_layout();
                }, Qt::QueuedConnection);
            }
            return false;
        }
        if (e->type() == QEvent::MouseMove || e->type() == QEvent::MouseButtonPress) {
            for (int bar = 0; bar < BAR_COUNT; ++bar)
                if (obj == bar_window(bar))
                    return dock_mouse(bar, e) != 0;
        }
        return false;
    }

private:
    bool queued_ = false;
};

BarHostFilter* bar_host_filter()
{
    static QPointer<BarHostFilter> filter;
    if (!filter)
        filter = new BarHostFilter(qApp);
    return filter.data();
}

void watch(QObject* obj)
{
    if (!obj || obj->property("kestDockWatched").toBool())
        return;
    obj->setProperty("kestDockWatched", true);
    obj->installEventFilter(bar_host_filter());
}

// Places each shown bar on its side of the client area and leaves the rest
// to the MDI client; a bar that is off is hidden. A toolbar that wraps its
// buttons may want another thickness once it has its length: up to five
// more passes place it again.
void place_bars(QMdiArea* mdi)
{
    watch(mdi);
    watch(mdi->viewport());
    const QMargins old = mdi_margins(mdi);
    const QRect base = mdi->viewport()->geometry().marginsAdded(old);
    DockBarInput in[BAR_COUNT];
    dock_layout_inputs(in);
    DockLayout lay;
    DockBarInput used[BAR_COUNT];
    for (int pass = 0; pass < 6; ++pass) {
        std::copy(in, in + BAR_COUNT, used);
        lay = dock_compute_layout(base, used, main_settings.compact_mode);
        for (int bar = 0; bar < BAR_COUNT; ++bar) {
            QWidget* w = bar_window(bar);
            if (!w)
                continue;
            if (!in[bar].present || lay.bar[bar].isEmpty()) {
                w->hide();
                continue;
            }
            if (w->parentWidget() != mdi)
                w->setParent(mdi);
            watch(w);
            w->setGeometry(lay.bar[bar]);
        }
        DockBarInput again[BAR_COUNT];
        dock_layout_inputs(again);
        bool same = true;
        for (int bar = 0; bar < BAR_COUNT; ++bar)
            same = same && again[bar].present == in[bar].present && again[bar].side == in[bar].side &&
                   again[bar].thickness == in[bar].thickness;
        if (same)
            break;
        std::copy(again, again + BAR_COUNT, in);
    }
    for (int bar = 0; bar < BAR_COUNT; ++bar) {
        QWidget* w = bar_window(bar);
        if (!w || !used[bar].present || lay.bar[bar].isEmpty())
            continue;
        w->show();
        w->raise();
        w->update();
    }
    QMargins m;
    if (lay.client.isValid())
        m = QMargins(lay.client.left() - base.left(), lay.client.top() - base.top(),
                     base.right() - lay.client.right(), base.bottom() - lay.client.bottom());
    else
        m = QMargins(0, base.height(), 0, 0);
    if (m != old)
        set_mdi_margins(mdi, m);
    dock_note_layout(mdi, base);
}

}  // namespace

// ---- Layout and modes ----

namespace {

// One placing of the bars and the MDI client.
void layout_pass(QMainWindow* f)
{
    // The bars take their strips along the frame's edges; the MDI client
    // takes what remains. The MDI client is put at the bottom of the stack
    // and the children are arranged again when auto-arrange is on.
    // The frame takes the transparency setting.
    int percent = opt(OPT_TRANSPARENCY);
    const int opacity = layer_opacity_of_percent(percent);
    f->setWindowOpacity(opacity > 254 ? 1.0 : opacity / 255.0);
    if (QMdiArea* mdi = mdi_client()) {
        if (mdi->window() == f)
            place_bars(mdi);
        mdi->lower();
        if (QMdiSubWindow* top = mdi->activeSubWindow())
            mdi_post_arrange_command(top->widget(), 0);
    }
}

}  // namespace

void frame_layout()
{
    QMainWindow* f = frame();
    if (!f)
        return;
    if (g_layout_running) {
        g_layout_again = 1;
        return;
    }
    g_layout_running = 1;
    // A bar whose thickness changed while it was placed asks again; a few
    // rounds settle it.
    for (int pass = 0; pass < 4; ++pass) {
        g_layout_again = 0;
        layout_pass(f);
        if (!g_layout_again)
            break;
    }
    g_layout_again = 0;
    f->update();
    g_layout_running = 0;
}

std::string frame_mode_line_text(const QRect& normal, int maximised)
{
    ModeLine m = current_mode_line();
    char buf[256];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d", normal.left(), normal.top(),
                  normal.width(), normal.height(), maximised ? 1 : 0, m.treebar_pos, m.switchbar_pos,
                  m.toolbar_pos, m.treebar_shown, m.switchbar_shown, m.toolbar_shown, m.menubar_shown,
                  m.favourites, m.extra, m.hide_minimised);
    return buf;
}

void frame_mode_save_line()
{
    QMainWindow* f = frame();
    if (!f)
        return;
    const int mode = main_settings.compact_mode ? 1 : 0;
    ini_write("mode", mode ? "compact" : "normal", frame_mode_line_text(frame_normal_rect(), f->isMaximized()).c_str(),
              main_ini_path);
    ini_write("mode", "state", mode ? "compact" : "normal", main_ini_path);
}

void frame_set_mode(int mode)
{
    QMainWindow* f = frame();
    if ((mode != 0 && mode != 1) || mode == main_settings.compact_mode || !f)
        return;
    // The line of the mode being left.
    const int leaving = main_settings.compact_mode;
    ini_write("mode", leaving ? "compact" : "normal",
              frame_mode_line_text(frame_normal_rect(), f->isMaximized()).c_str(), main_ini_path);
    main_settings.compact_mode = mode;
    ini_write("mode", "state", mode ? "compact" : "normal", main_ini_path);

    ModeLine m = read_mode_line(mode);
    if (mode == 1) {
        m.treebar_shown = 1;
        m.treebar_pos = 1;
    }
    apply_bar_settings(m);

    QRect work;
    win_get_monitor_rects(f, nullptr, &work, nullptr);
    QRect r(m.left, m.top, m.width, m.height);
    if (m.left == -1 && m.top == -1 && m.width == -1 && m.height == -1) {
        if (mode == 1) {
            r = QRect(work.left() + (work.width() - 260) / 2, work.top() + (work.height() - 400) / 2, 260, 400);
        } else {
            FramePlacement p = frame_default_placement(work.width(), work.height());
            r = QRect(work.left() + p.left, work.top() + p.top, p.width, p.height);
        }
    }
    if (f->isMaximized())
        f->showNormal();
    f->setGeometry(r);
    if (m.maximised)
        f->showMaximized();
    frame_menu_build();
    frame_layout();
    ini_save_options();

    // Compact mode has no MDI client to show: its windows go onto the
    // desktop, and come back to their places when normal mode returns.
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        QWidget* w = rec->hwnd.get();
        if (!w)
            continue;
        if (mode == 1 && win_is_mdi_child(w)) {
            w->setProperty("kestNormalModeRect", container_of(w)->geometry());
            w->setProperty("kestMovedByCompact", true);
            win_toggle_desktop(w, 0);
        } else if (mode == 0 && w->property("kestMovedByCompact").toBool()) {
            w->setProperty("kestMovedByCompact", QVariant());
            win_toggle_desktop(w, 1);
            const QRect back = w->property("kestNormalModeRect").toRect();
            if (win_is_mdi_child(w) && back.isValid())
                container_of(w)->setGeometry(back);
        }
    }
}

void frame_position_reset()
{
    QMainWindow* f = frame();
    if (!f)
        return;
    QRect work;
    win_get_monitor_rects(f, nullptr, &work, nullptr);
    FramePlacement p = frame_default_placement(work.width(), work.height());
    if (f->isMaximized())
        f->showNormal();
    f->setGeometry(work.left() + p.left, work.top() + p.top, p.width, p.height);
}

void frame_position_clear()
{
    ini_write("windows", "main", nullptr, main_ini_path);
}

// ---- Window placement ----

std::string win_pos_key(WindowRecord* rec, const std::string& name, Connection* /*conn*/)
{
    if (!name.empty())
        return name;
    if (!rec)
        return std::string();
    switch (rec->type) {
    case kWinStatus:
        return "status";
    case kWinChannel:
    case kWinCustom:
        return rec->name;
    case kWinQuery:
        return rec->subtype == kQueryMessages ? "wmessage" : rec->name;
    case kWinTransfer:
        return rec->subtype == 2 ? "wdccg" : "wdccs";
    case kWinChanList:
        return "wlist";
    case kWinFinger:
        return "wfinger";
    case kWinUrls:
        return "wwwwlist";
    case kWinNotify:
        return "wnotify";
    case kWinLinks:
        return "wlinks";
    default:
        return rec->name;
    }
}

std::string win_pos_network_key(const std::string& key, Connection* conn)
{
    if (key.empty() || !conn_is_live(conn) || key == "scripts" || key == "playctrl")
        return std::string();
    std::string suffix = conn->network;
    if (suffix.empty()) {
        suffix = conn->server_name;
        if (!suffix.empty() && suffix.find_first_not_of("0123456789.") == std::string::npos)
            suffix.clear();
    }
    return suffix.empty() ? std::string() : key + "-" + suffix;
}

namespace {

bool size_only_key(const std::string& key)
{
    return key == "wstatus" || key == "wchannel" || key == "wquery" || key == "wchat" || key == "wserv";
}

}  // namespace

void win_save_position(QWidget* hwnd, int mdi_flag, const std::string& key_name, int kind)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    QRect r = normal_rect(hwnd);
    if (!r.isValid())
        return;
    if (hwnd->height() <= 0 && rec->rollup_height > 0)
        r.setHeight(rec->rollup_height);
    const bool in_mdi = mdi_flag == -1 ? win_is_mdi_child(hwnd) != 0 : mdi_flag != 0;
    QWidget* c = container_of(hwnd);
    int on_top = (c && c->isWindow() && (c->windowFlags() & Qt::WindowStaysOnTopHint)) ? 1 : 0;
    int state = 0;
    if (rec->type == kWinStatus || rec->type == kWinChannel || rec->type == kWinQuery) {
        // The program hides every window before closing them at exit: that
        // hiding is not the user's, so it is not kept.
        const bool exiting = app_exit_under_way() != 0;
        if (c && (c->isMinimized() || (!c->isVisible() && !exiting)))
            state = 1;
        else if (c && c->isMaximized())
            state = 2;
    }
    std::string key;
    if (kind == 1)
        key = rec->type == kWinChannel ? "wdchannel" : rec->type == kWinQuery ? "wdquery" : win_pos_key(rec, key_name, rec->conn);
    else
        key = win_pos_key(rec, key_name, rec->conn);
    if (key.empty())
        return;
    int left = r.left(), top = r.top();
    if (kind == 2 || size_only_key(key))
        left = top = -1;
    char buf[128];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d,%d,%d,%d", left, r.width(), top, r.height(), state,
                  in_mdi ? 1 : 0, on_top);
    ini_write("windows", key.c_str(), buf, main_ini_path);
    const std::string net = win_pos_network_key(key, rec->conn);
    if (!net.empty())
        ini_write("windows", net.c_str(), buf, main_ini_path);
}

int win_load_position(QWidget* hwnd, const std::string& key_name, int* left, int* width, int* top, int* height,
                      int* state, int* in_mdi, int* on_top, Connection* conn)
{
    WindowRecord* rec = win_record_of(hwnd);
    std::string key = win_pos_key(rec, key_name, conn);
    if (const std::size_t blank = key.find(' '); blank != std::string::npos)
        key = key.substr(blank + 1);
    if (key.empty())
        return 0;
    std::string value = read_main("windows", key.c_str(), "0,0,0,0,0,1,0");
    const std::string net = win_pos_network_key(key, conn ? conn : (rec ? rec->conn : nullptr));
    if (!net.empty()) {
        std::string v = read_main("windows", net.c_str(), "");
        if (!v.empty())
            value = v;
    }
    int f[7] = {0, 0, 0, 0, 0, 1, 0};
    parse_ints(value, f, 7);
    if (main_settings.compact_mode)
        f[5] = 0;
    *left = f[0];
    *width = f[1];
    *top = f[2];
    *height = f[3];
    *state = f[4];
    *in_mdi = f[5];
    *on_top = f[6];
    if (f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 0)
        return 0;
    if (f[0] == -1 && f[2] == -1) {
        *left = *top = kUnsetCoord;
        return 1;
    }
    QRect bounds;
    if (f[5] == 1 && mdi_client()) {
        bounds = mdi_bounds();
    } else {
        const QPoint p(f[0], f[2]);
        win_get_monitor_rects(nullptr, &p, &bounds, nullptr);
    }
    if (bounds.width() > 0) {
        if (*left < bounds.left() - 10 || *left > bounds.right() - 10)
            *left = 0;
    }
    if (bounds.height() > 0) {
        if (*top < bounds.top() - 10 || *top > bounds.bottom() - 10)
            *top = 0;
    }
    return 1;
}

void win_clear_position(QWidget* hwnd, int kind)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    std::string key = kind == 1 ? (rec->type == kWinChannel ? "wdchannel" : rec->type == kWinQuery ? "wdquery" : "")
                                : win_pos_key(rec, std::string(), rec->conn);
    if (key.empty())
        return;
    ini_write("windows", key.c_str(), nullptr, main_ini_path);
    const std::string net = win_pos_network_key(key, rec->conn);
    if (!net.empty())
        ini_write("windows", net.c_str(), nullptr, main_ini_path);
}

void win_clamp_rect(int* left, int* top, int* width, int* height, const QRect& b)
{
    const int right = b.left() + b.width();
    const int bottom = b.top() + b.height();
    if (*left + *width > right)
        *left = right - *width;
    if (*top + *height > bottom)
        *top = bottom - *height;
    if (*left < b.left())
        *left = b.left();
    if (*top < b.top())
        *top = b.top();
    if (*left + *width > right)
        *width = right - *left;
    if (*top + *height > bottom)
        *height = bottom - *top;
    *width = std::max(*width, 10);
    *height = std::max(*height, 10);
}

void win_cascade_reset()
{
    g_mdi_cascade = 0;
    g_desktop_cascade = -1;
}

void win_default_position(int* left, int* top, int* width, int* height, int in_mdi)
{
    QRect b;
    int* counter;
    if (in_mdi && mdi_client()) {
        b = mdi_bounds();
        counter = &g_mdi_cascade;
    } else {
        const QPoint p(*left == kUnsetCoord ? 0 : *left, *top == kUnsetCoord ? 0 : *top);
        win_get_monitor_rects(nullptr, &p, &b, nullptr);
        counter = &g_desktop_cascade;
    }
    const int step = caption_step();
    if (*counter < 0)
        *counter = b.height() / step / 3;
    if (*width == kUnsetCoord)
        *width = b.width() / 3 + b.width() / 2;
    if (*height == kUnsetCoord)
        *height = b.height() / 4 + b.height() / 2;
    if (*left == kUnsetCoord || *top == kUnsetCoord) {
        std::vector<QPoint> taken;
        if (in_mdi && mdi_client())
            for (QMdiSubWindow* sub : mdi_client()->subWindowList())
                taken.push_back(sub->pos());
        for (int tries = 0;; ++tries) {
            int x = b.left() + *counter * step;
            int y = b.top() + *counter * step;
            ++*counter;
            bool wrap = false;
            if (x + *width > b.left() + b.width() || y + *height > b.top() + b.height()) {
                if (tries < 49) {
                    *counter = 0;
                    wrap = true;
                } else {
                    x = std::min(x, b.left() + b.width() - *width);
                    y = std::min(y, b.top() + b.height() - *height);
                }
            }
            if (wrap)
                continue;
            *left = x;
            *top = y;
            if (!(in_mdi && tries < 50 && std::find(taken.begin(), taken.end(), QPoint(x, y)) != taken.end()))
                break;
        }
    }
    win_clamp_rect(left, top, width, height, b);
}

void win_restore_position(QWidget* hwnd)
{
    WindowRecord* rec = win_record_of(hwnd);
    if (!rec)
        return;
    int l = 0, w = 0, t = 0, h = 0, s = 0, m = 1, o = 0;
    auto load = [&] {
        int got = win_load_position(hwnd, std::string(), &l, &w, &t, &h, &s, &m, &o, rec->conn);
        if (!got && (rec->type == kWinChannel || rec->type == kWinQuery))
            got = win_load_position(hwnd, rec->type == kWinChannel ? "wdchannel" : "wdquery", &l, &w, &t, &h, &s,
                                    &m, &o, rec->conn);
        return got;
    };
    int found = load();
    // Saved on the other side of the MDI client: moved there once, and the
    // placement read again for that side.
    if (found && (m ? 1 : 0) != (win_is_mdi_child(hwnd) ? 1 : 0)) {
        hwnd = win_toggle_desktop(hwnd, m ? 1 : 0);
        found = load();
    }
    QWidget* c = container_of(hwnd);
    if (!found || !c)
        return;
    QRect cur = normal_rect(hwnd);
    if (l == kUnsetCoord || t == kUnsetCoord) {
        l = cur.left();
        t = cur.top();
    }
    QRect bounds;
    if (win_is_mdi_child(hwnd))
        bounds = mdi_bounds();
    else
        win_get_monitor_rects(hwnd, nullptr, &bounds, nullptr);
    if (bounds.width() > 0 && bounds.height() > 0)
        win_clamp_rect(&l, &t, &w, &h, bounds);
    win_activate(hwnd, kActivateRestore);
    if (rec->type == kWinTransfer)
        c->move(l, t);
    else
        c->setGeometry(l, t, w, h);
}

// ---- Monitors and transparency ----

void win_get_monitor_rects(QWidget* hwnd, const QPoint* point, QRect* work, QRect* full)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (opt(OPT_DUAL_MONITORS) && screens.size() > 1) {
        if (point) {
            QScreen* at = QGuiApplication::screenAt(*point);
            if (!at) {
                // The nearest screen.
                long best = -1;
                for (QScreen* s : screens) {
                    const QRect g = s->geometry();
                    const int dx = std::max({g.left() - point->x(), 0, point->x() - g.right()});
                    const int dy = std::max({g.top() - point->y(), 0, point->y() - g.bottom()});
                    const long d = static_cast<long>(dx) * dx + static_cast<long>(dy) * dy;
                    if (best < 0 || d < best) {
                        best = d;
                        at = s;
                    }
                }
            }
            screen = at ? at : screen;
        } else if (hwnd) {
            QWidget* top = hwnd->window();
            if (top && top->screen())
                screen = top->screen();
        }
    }
    QRect w(0, 0, 1024, 768), f(0, 0, 1024, 768);
    if (screen) {
        f = screen->geometry();
        w = screen->availableGeometry();
        if (w.isEmpty())
            w = f;
    }
    if (work)
        *work = w;
    if (full)
        *full = f;
}

void win_point_to_window_monitor(QWidget* hwnd, int* x, int* y)
{
    if (*x == kUnsetCoord)
        *x = 0;
    if (*y == kUnsetCoord)
        *y = 0;
    QRect a, b;
    const QPoint p(*x, *y);
    win_get_monitor_rects(nullptr, &p, &a, nullptr);
    win_get_monitor_rects(hwnd, nullptr, &b, nullptr);
    if (a.left() != b.left())
        *x += b.left() - a.left();
    if (a.top() != b.top())
        *y += b.top() - a.top();
}

int layer_opacity_of_percent(int percent)
{
    if (percent <= 0 || percent > 75)
        return 255;
    double o = 255.0 - percent / 100.0 * 255.0;
    if (o < 63.75)
        o = 63.75;
    if (o > 255.0)
        o = 255.0;
    return static_cast<int>(o);
}

int layer_set_alpha(QWidget* hwnd, int opacity, int update_now)
{
    if (!hwnd)
        return 0;
    QWidget* top = container_of(hwnd);
    // Opacity belongs to top-level windows; an MDI child is drawn by the
    // frame and keeps the frame's.
    if (!top->isWindow())
        top = hwnd->window();
    if (opacity > 254)
        top->setWindowOpacity(1.0);
    else
        top->setWindowOpacity(std::max(opacity, 0) / 255.0);
    if (update_now)
        top->repaint();
    else
        top->update();
    return 1;
}

void layer_apply(QWidget* hwnd, int all)
{
    int percent = opt(OPT_TRANSPARENCY);
    if (percent < 0 || percent > 75)
        percent = 0;
    const int opacity = layer_opacity_of_percent(percent);
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        QWidget* w = rec->hwnd.get();
        if (!w || (!all && w != hwnd))
            continue;
        QWidget* c = container_of(w);
        if (c && c->isWindow())
            layer_set_alpha(w, opacity, 0);
    }
    if (all)
        if (QMainWindow* f = frame())
            f->setWindowOpacity(opacity > 254 ? 1.0 : opacity / 255.0);
}

void layer_load_settings()
{
    std::string enable = read_main("layers", "enable", "");
    if (!enable.empty()) {
        int percent = std::atoi(read_main("layers", "others", "0").c_str());
        if (percent < 0 || percent > 75)
            percent = 0;
        opt_set(OPT_TRANSPARENCY, percent);
    }
    ini_write("layers", nullptr, nullptr, main_ini_path);
}

// ---- Language module ----

const char* lang_program_version()
{
    return KEST_VERSION;
}

int lang_module_loaded()
{
    return g_lang_loaded;
}

void lang_module_load()
{
    g_lang_loaded = 0;
    text_clear_language_table();
    frame_menu_set_language_texts({});
    std::ifstream in(settings_dir + "lang.dll", std::ios::binary);
    if (!in)
        return;
    // An ini-like resource file: [version] FileVersion=..., [strings] n=text,
    // [menu] id=text (a submenu by 10000 + its entry's position).
    std::string section, line, version;
    std::unordered_map<int, std::string> texts;
    std::map<int, std::string> menu;
    std::size_t total = 0;
    while (std::getline(in, line) && total < (4u << 20)) {
        total += line.size() + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (value.size() > 4150)
            value.resize(4150);
        // "\n" in a text stands for a line break.
        for (std::size_t p = value.find("\\n"); p != std::string::npos; p = value.find("\\n", p + 1))
            value.replace(p, 2, 1, '\n');
        if (section == "version" && key == "FileVersion")
            version = value;
        else if ((section == "strings" || section == "menu") && !key.empty() &&
                 key.find_first_not_of("0123456789") == std::string::npos && key.size() < 9)
            (section == "strings" ? texts[std::atoi(key.c_str())] : menu[std::atoi(key.c_str())]) = value;
    }
    // Only a module made for this very version is used.
    if (version.empty() || version != lang_program_version())
        return;
    g_lang_loaded = 1;
    text_set_language_table(std::move(texts));
    frame_menu_set_language_texts(std::move(menu));
}

void frame_layout_install()
{
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadLayers, [](SettingsLoad&) { layer_load_settings(); });
}
