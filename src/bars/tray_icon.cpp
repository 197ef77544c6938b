#include "bars/tray_icon.h"
#include "app/frame_menu.h"

#include <QApplication>
#include <QGuiApplication>
#include <QCursor>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cmath>
#include <memory>

#include "app/child_widgets.h"
#include "model/connection.h"
#include "app/startup.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/random.h"
#include "irc/link/close.h"
#include "app/frame_proc.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"

namespace {

struct TrayState {
    int shown = 0;
    int flash = 0;
    int reentry = 0;
    int activity = 0;                 // two bits
    int anim_frame = 1;               // connecting animation, 1..11
    int last_minimised = -1;          // the frame's state as last seen
    QPointer<QSystemTrayIcon> icon;
    std::unique_ptr<QTimer> restore_timer;  // frame timer 128
    QPointer<QMenu> popup;
};
TrayState tray;

QMainWindow* frame()
{
    return frame_window.data();
}

bool gui()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

QIcon tray_icon_image()
{
    if (!main_settings.trayicon_file.empty()) {
        QIcon custom = img_load_icon(main_settings.trayicon_file, opt(OPT_TRAY_ICON_INDEX), 1);
        if (!custom.isNull())
            return custom;
    }
    const TrayFrame f = tray_icon_frame();
    const QImage image = tray_frame_image(f.strip, f.frame);
    if (!image.isNull())
        return QIcon(QPixmap::fromImage(image));
    return img_load_icon(std::string(), 1, 1);
}

// A link that is connecting, or connected and not yet registered.
bool link_busy(const Connection* c)
{
    return conn_is_connecting(c) || (conn_is_connected(c) && !c->registered);
}

void stop_restore_timer()
{
    if (tray.restore_timer)
        tray.restore_timer->stop();
}

QSystemTrayIcon* ensure_icon()
{
    if (!tray.icon && gui()) {
        tray.icon = new QSystemTrayIcon(qApp);
        QObject::connect(tray.icon.data(), &QSystemTrayIcon::activated, tray.icon.data(),
                         [](QSystemTrayIcon::ActivationReason r) {
                             if (r == QSystemTrayIcon::Trigger)
                                 tray_callback(1);
                             else if (r == QSystemTrayIcon::DoubleClick)
                                 tray_callback(2);
                             else if (r == QSystemTrayIcon::Context)
                                 tray_callback(3);
                         });
    }
    return tray.icon.data();
}

void frame_show_restored()
{
    QMainWindow* f = frame();
    if (!f)
        return;
    if (f->isMinimized())
        f->setWindowState((f->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    if (f->isHidden())
        f->show();
}

// A connection's entry: its network, else its server, else its window's name.
std::string label_of(const Connection* c, const WindowRecord* status)
{
    if (!c->network.empty())
        return c->network;
    if (!c->server_name.empty())
        return c->server_name;
    return status->name;
}

}  // namespace

std::string tray_tip_text(const std::string& title)
{
    std::string tip = title.empty() ? std::string("Kest") : title;
    if (tip.size() > 63)
        tip.resize(63);
    if (tip.size() > 54) {
        // Whole characters only.
        std::size_t n = 54;
        while (n > 0 && (static_cast<unsigned char>(tip[n]) & 0xC0) == 0x80)
            --n;
        tip = tip.substr(0, n) + "...";
    }
    return tip;
}

std::string tray_current_tip()
{
    QMainWindow* f = frame();
    return tray_tip_text(f ? f->windowTitle().toStdString() : std::string("Kest"));
}

int tray_icon_update(int op)
{
    QSystemTrayIcon* icon = nullptr;
    switch (op) {
    case TRAY_ADD:
        if (tray.shown || tray.flash)
            return tray.shown;
        if (!gui() || !QSystemTrayIcon::isSystemTrayAvailable())
            return 0;
        icon = ensure_icon();
        if (!icon)
            return 0;
        icon->setIcon(tray_icon_image());
        icon->setToolTip(QString::fromStdString(tray_current_tip()));
        icon->show();
        tray.shown = icon->isVisible() ? 1 : 0;
        return tray.shown;
    case TRAY_DELETE:
        if (!tray.shown || opt(OPT_TRAY_ICON_ALWAYS))
            return 0;
        [[fallthrough]];
    case TRAY_REMOVE:
        if (!tray.shown)
            return 0;
        if (tray.icon)
            tray.icon->hide();
        tray.shown = 0;
        return 1;
    case TRAY_FLASH_ON:
        if (!tray.shown || !tray.icon)
            return 0;
        tray.icon->setIcon(img_load_icon(std::string(), 16, 1));
        tray.flash = 1;
        return 1;
    case TRAY_FLASH_OFF:
        tray.flash = 0;
        if (!tray.shown || !tray.icon)
            return 0;
        tray.icon->setIcon(tray_icon_image());
        return 1;
    case TRAY_REFRESH:
        if (!tray.shown || tray.flash || !tray.icon)
            return 0;
        tray.icon->setIcon(tray_icon_image());
        tray.icon->setToolTip(QString::fromStdString(tray_current_tip()));
        return 1;
    case TRAY_TIP:
        if (!tray.shown || !tray.icon)
            return 0;
        tray.icon->setToolTip(QString::fromStdString(tray_current_tip()));
        return 1;
    case TRAY_MESSAGE:
        return tray.shown;
    default:
        return 0;
    }
}

int tray_icon_shown()
{
    return tray.shown;
}

void tray_restore_main(int delayed_removal)
{
    stop_restore_timer();
    if (tray.shown) {
        if (!delayed_removal) {
            tray_icon_update(TRAY_DELETE);
        } else {
            if (!tray.restore_timer) {
                tray.restore_timer = std::make_unique<QTimer>();
                tray.restore_timer->setSingleShot(true);
                QObject::connect(tray.restore_timer.get(), &QTimer::timeout, [] { tray_icon_update(TRAY_DELETE); });
            }
            tray.restore_timer->start(100);
        }
    }
    QMainWindow* f = frame();
    if (!f)
        return;
    tray.last_minimised = 0;
    frame_show_restored();
    if (!QApplication::activeModalWidget()) {
        f->raise();
        f->activateWindow();
        if (QWidget* top = win_active.get())
            win_op_activate(top, 1);
    }
}

int tray_minimise(int shift, int ctrl)
{
    (void)ctrl;  // the lock asked with Ctrl: no lock is built here
    stop_restore_timer();
    int to_tray = opt(OPT_MINIMISE_TO_TRAY) ? 1 : 0;
    if (shift)
        to_tray = !to_tray;
    if (!to_tray && !opt(OPT_TRAY_ICON_ALWAYS))
        return 0;
    if (!tray_icon_update(TRAY_ADD))
        return 0;
    QMainWindow* f = frame();
    if (!f)
        return 0;
    tray.last_minimised = 1;
    f->setWindowState(f->windowState() | Qt::WindowMinimized);
    if (to_tray)
        f->hide();
    return 1;
}

void tray_on_minimise(int minimised)
{
    QMainWindow* f = frame();
    if (!f)
        return;
    const int always = opt(OPT_TRAY_ICON_ALWAYS);
    if (always) {
        if (!tray.shown)
            tray_icon_update(TRAY_ADD);
        else
            tray_icon_update(TRAY_REFRESH);
    }
    if (opt(OPT_MINIMISE_TO_TRAY)) {
        if (!minimised) {
            tray_icon_update(TRAY_DELETE);
            tray_restore_main(0);
        } else {
            // Hidden only when the icon is there to bring it back.
            if (tray.shown || tray_icon_update(TRAY_ADD))
                f->hide();
        }
    } else if (tray.shown && !(always && !minimised)) {
        tray_icon_update(TRAY_REMOVE);
    }
}

void tray_follow_frame_state()
{
    QMainWindow* f = frame();
    if (!f)
        return;
    const int minimised = f->isMinimized() ? 1 : 0;
    if (tray.last_minimised == -1) {
        tray.last_minimised = minimised;
        return;
    }
    if (minimised == tray.last_minimised)
        return;
    tray.last_minimised = minimised;
    tray_on_minimise(minimised);
}

void tray_callback(int message)
{
    if (tray.reentry || QApplication::activeModalWidget())
        return;
    tray.reentry = 1;
    const int single = opt(OPT_TRAY_SINGLE_CLICK);
    if (message == 3) {
        if (QMenu* m = tray_popup())
            m->popup(QCursor::pos());
    } else if ((message == 1 && single) || (message == 2 && !single)) {
        QMainWindow* f = frame();
        const bool pending = tray.restore_timer && tray.restore_timer->isActive();
        const bool in_view = f && f->isVisible() && !f->isMinimized() && f->isActiveWindow();
        if (!pending && in_view) {
            if (!tray_minimise(0, 0))
                f->showMinimized();
        } else {
            tray_restore_main(1);
        }
    }
    tray.reentry = 0;
}

QMenu* tray_popup()
{
    if (tray.popup)
        tray.popup->deleteLater();
    if (!gui())
        return nullptr;
    auto* m = new QMenu;
    tray.popup = m;
    m->setObjectName("trayPopup");
    auto command = [](int id) {
        return [id] {
            if (id == 2009) {
                frame_close(0);
                return;
            }
            // The fixed items stand for main-menu commands.
            static const int kMainCommands[][2] = {{104, 7}, {102, 0}, {159, 0}, {142, 0}, {150, 0},
                                                   {151, 0}, {152, 0}, {131, 0}, {132, 0}};
            if (id >= 2000 && id <= 2008) {
                const int* c = kMainCommands[id - 2000];
                frame_on_command(nullptr, static_cast<uintptr_t>(c[0]), c[1]);
                return;
            }
            frame_on_command(nullptr, static_cast<uintptr_t>(id), 0);
        };
    };
    auto add = [&](int text_id, int id) {
        QAction* a = m->addAction(QString::fromUtf8(text_load_string(text_id)));
        a->setData(id);
        QObject::connect(a, &QAction::triggered, m, command(id));
        return a;
    };
    add(5602, 2000);
    bool live = false;
    for (Connection* c = conn_list; c; c = c->next)
        live = live || conn_is_live(c);
    add(5603, 2001)->setEnabled(live);
    m->addSeparator();
    add(5604, 2002);
    m->addSeparator();
    add(5605, 2003);
    add(5606, 2004);
    m->addSeparator();
    add(5607, 2005);
    add(5608, 2006);
    m->addSeparator();
    add(5609, 2007);
    add(5610, 2008);
    m->addSeparator();
    int id = 2010;
    for (Connection* c = conn_list; c; c = c->next) {
        WindowRecord* status = win_find_by_type(kWinStatus, c);
        if (!status)
            continue;
        std::vector<WindowRecord*> items{status};
        for (int type : {int(kWinChannel), int(kWinQuery)})
            for (WindowRecord* r = win_list; r; r = r->next)
                if (r->conn == c && r->type == type && (type != kWinQuery || r->subtype == kQueryPrivate))
                    items.push_back(r);
        for (WindowRecord* r : items) {
            QAction* a = m->addAction(QString::fromStdString(r == status ? label_of(c, status) : r->name));
            a->setData(id++);
            a->setCheckable(true);
            a->setChecked(r->activity > 0);
            QPointer<QWidget> target = r->hwnd.get();
            QObject::connect(a, &QAction::triggered, m, [target] {
                tray_restore_main(1);
                if (target)
                    win_op_activate(target.data(), 1);
            });
        }
        m->addSeparator();
    }
    add(5611, 2009);
    return m;
}

void tray_activity_clear(int bit)
{
    if (bit == 0 || bit == 1)
        tray.activity &= ~(1 << bit);
    if (opt(OPT_TRAY_ANIMATE_ACTIVITY))
        tray_icon_update(TRAY_REFRESH);
}

int tray_frame_hidden()
{
    QMainWindow* f = frame();
    return f && tray.shown && f->isHidden() ? 1 : 0;
}

void tray_free()
{
    stop_restore_timer();
    tray.restore_timer.reset();
    if (tray.popup)
        delete tray.popup.data();
    if (tray.icon) {
        tray.icon->hide();
        delete tray.icon.data();
    }
    tray.shown = 0;
    tray.flash = 0;
    tray.last_minimised = -1;
}

// ---- The activity icon ----

int tray_activity_bits()
{
    return tray.activity;
}

TrayFrame tray_icon_frame()
{
    if (!main_settings.trayicon_file.empty() &&
        !img_load_icon(main_settings.trayicon_file, opt(OPT_TRAY_ICON_INDEX), 1).isNull())
        return {0, 0};
    if (!opt(OPT_TRAY_ANIMATE_ACTIVITY))
        return {37, 1};
    Connection* c = conn_current();
    if (conn_is_live(c) && link_busy(c) && frame_timer_is_running(FRAME_TIMER_TRAY_REFRESH)) {
        if (tray.anim_frame < 1 || tray.anim_frame > 11)
            tray.anim_frame = 1;
        return {36, tray.anim_frame};
    }
    const int phase = tray.activity & 3;
    const bool registered = conn_is_live(c) && conn_is_connected(c) && c->registered;
    return {37, phase + (registered ? 5 : 1)};
}

QImage tray_frame_image(int strip, int frame)
{
    if (!((strip == 36 && frame >= 1 && frame <= 11) || (strip == 37 && frame >= 1 && frame <= 8)))
        return QImage();
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    if (strip == 36) {
        // Eleven dots round the face, the frame's one lit.
        for (int i = 0; i < 11; ++i) {
            const double a = 2 * 3.14159265358979 * i / 11.0;
            const QPointF at(8 + 5.5 * std::sin(a), 8 - 5.5 * std::cos(a));
            p.setPen(Qt::NoPen);
            p.setBrush(i + 1 == frame ? QColor(255, 200, 0) : QColor(90, 90, 110));
            p.drawEllipse(at, i + 1 == frame ? 2.0 : 1.2, i + 1 == frame ? 2.0 : 1.2);
        }
        return img;
    }
    // A face, grey before registration and green after, with two lamps:
    // the left one lit by a line sent, the right one by data received.
    const int phase = (frame - 1) % 4;
    const bool registered = frame >= 5;
    p.setPen(QColor(40, 40, 40));
    p.setBrush(registered ? QColor(60, 170, 80) : QColor(150, 150, 150));
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush((phase & 1) ? QColor(255, 80, 60) : QColor(60, 60, 60));
    p.drawEllipse(QPointF(5, 11), 2.2, 2.2);
    p.setBrush((phase & 2) ? QColor(80, 160, 255) : QColor(60, 60, 60));
    p.drawEllipse(QPointF(11, 11), 2.2, 2.2);
    return img;
}

void conn_arm_tray_activity_timers(int kind)
{
    bool busy = false;
    for (Connection* c = conn_list; c && !busy; c = c->next)
        busy = conn_is_live(c) && link_busy(c);
    // Called on every read and write: the icon is drawn again only when
    // what it shows changes.
    bool changed = false;
    const bool animating = frame_timer_is_running(FRAME_TIMER_TRAY_REFRESH);
    if (!busy && animating) {
        frame_timer_stop(FRAME_TIMER_TRAY_REFRESH);
        changed = true;
    } else if (busy && !animating) {
        tray.anim_frame = 1;
        frame_start_timer(FRAME_TIMER_TRAY_REFRESH);
    }
    if (kind == 1 || kind == 2) {
        const int bit = kind == 1 ? 1 : 2;
        if (!(tray.activity & bit)) {
            tray.activity |= bit;
            const int delay = 300 + static_cast<int>(rng_next() * 150.0) % 150;
            frame_timer_start(kind == 1 ? FRAME_TIMER_TRAY_ACTIVITY0 : FRAME_TIMER_TRAY_ACTIVITY1, delay);
            changed = true;
        }
    }
    if (kind == 0)
        changed = true;  // a link started, closed or registered: its face changes
    if (changed && tray.shown && !frame_timer_is_running(FRAME_TIMER_TRAY_REFRESH))
        tray_icon_update(TRAY_REFRESH);
}

void tray_animation_step()
{
    if (!opt(OPT_TRAY_ANIMATE_ACTIVITY))
        return;
    tray.anim_frame = tray.anim_frame >= 11 ? 1 : tray.anim_frame + 1;
    tray_icon_update(TRAY_REFRESH);
}

namespace {

int g_activity_listener = 0;
int g_over_listener = 0;
int g_adding_listener = 0;
int g_remove_listener = 0;
int g_activation_listener = 0;
int g_changed_listener = 0;
int g_hidden_listener = 0;

}  // namespace

void tray_activity_install()
{
    frame_tray_adding.add_once(g_adding_listener, kTrayAddingIcon, [] { return tray_icon_update(TRAY_ADD) != 0; });
    shutdown_save.add_once(g_remove_listener, kSaveTrayIcon, [] {
        tray_icon_update(TRAY_REMOVE);
        tray_free();
    });
    irc_link_activity.add_once(g_activity_listener, 0, conn_arm_tray_activity_timers);
    // Timers 130/131 ran out; the icon follows the frame's state and the
    // application's activation.
    frame_tray_activity_over.add_once(g_over_listener, kTrayActivityIcon, tray_activity_clear);
    frame_activation.add_once(g_activation_listener, kActivationTray, [](QWidget*, bool) { tray_follow_frame_state(); });
    frame_activity_changed.add_once(g_changed_listener, kActivityChangedTray, [](bool) { tray_icon_update(TRAY_REFRESH); });
    frame_hidden_asked.add_once(g_hidden_listener, kFrameHiddenTray, [] { return tray_frame_hidden() != 0; });
    frame_set_timer_handler(FRAME_TIMER_TRAY_REFRESH, [](int) { tray_animation_step(); });
}

void tray_activity_uninstall()
{
    frame_tray_adding.drop(g_adding_listener);
    shutdown_save.drop(g_remove_listener);
    irc_link_activity.drop(g_activity_listener);
    frame_tray_activity_over.drop(g_over_listener);
    frame_activation.drop(g_activation_listener);
    frame_activity_changed.drop(g_changed_listener);
    frame_hidden_asked.drop(g_hidden_listener);
}
