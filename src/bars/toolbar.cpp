#include "bars/toolbar.h"

#include <QApplication>
#include <QCursor>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdio>

#include "model/connection.h"
#include "app/frame_layout.h"
#include "app/frame_menu.h"
#include "irc/link/close.h"
#include "app/menu_lists.h"
#include "app/popup_menus.h"
#include "app/startup.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "app/bar_docking.h"
#include "display/bar_windows.h"
#include "display/pictures.h"
#include "bars/switchbar.h"
#include "app/bar_tooltips.h"
#include "bars/toolbar_file.h"
#include "core/files.h"
#include "display/backgrounds.h"
#include "display/colours_dialog.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "platform/app_messages.h"
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"

QPointer<ToolbarWindow> toolbar_window;

int toolbar_own_side() { return dock_toolbar_own_side(dock_bar_side(BAR_TOOLBAR)); }

namespace {

// The remembered notify and URL button states (argument 2 keeps them).
int g_notify_state = 0;
int g_urls_state = 0;

// One built-in slot: its name, its initial state and the frame menu
// command a click posts (0: handled apart), with that command's lParam.
struct Slot {
    const char* name;
    int hidden;
    int wide;
    int command;
    intptr_t lparam;
};

constexpr intptr_t kMenuLparam = 3;

const Slot kSlots[kToolbarSlots] = {
    {"connect", 0, 1, 0, 0},
    {"connect2", 1, 1, 0, 0},
    {"connect3", 1, 1, 0, 0},
    {nullptr, 0, 0, 0, 0},
    {"options", 0, 1, 159, kMenuLparam},
    {nullptr, 0, 0, 0, 0},
    {"chanfolder", 0, 0, 142, kMenuLparam},
    {"chanlist", 0, 0, 150, kMenuLparam},
    {nullptr, 0, 0, 0, 0},
    {"scripts", 0, 1, 200, kMenuLparam},
    {"scripts2", 1, 1, 200, kMenuLparam},
    {nullptr, 0, 0, 0, 0},
    {"addrbook", 0, 0, 156, kMenuLparam},
    {"timer", 0, 0, 157, kMenuLparam},
    {"colors", 0, 0, 133, kMenuLparam},
    {nullptr, 0, 0, 0, 0},
    {"send", 0, 0, 151, kMenuLparam},
    {"chat", 0, 0, 152, kMenuLparam},
    {"dccopts", 0, 0, 153, kMenuLparam},
    {nullptr, 0, 0, 0, 0},
    {"rcvdfiles", 0, 0, 154, kMenuLparam},
    {"logfiles", 0, 0, 155, kMenuLparam},
    {nullptr, 0, 0, 0, 0},
    {"notify", 0, 0, 131, 0},
    {"notify2", 1, 0, 131, 0},
    {"urls", 0, 0, 132, 0},
    {"urls2", 1, 0, 132, 0},
    {nullptr, 0, 0, 0, 0},
    {"htile", 0, 0, 170, 1},
    {"vtile", 0, 0, 171, 1},
    {"cascade", 0, 0, 172, 1},
    {"arrange", 0, 0, 173, 1},
    {nullptr, 0, 0, 0, 0},
    {"about", 0, 0, 195, 0},
};

bool vertical()
{
    const int side = toolbar_own_side();
    return side == 2 || side == 3;
}

ToolbarWindow* bar() { return toolbar_window.data(); }

// Posts a frame menu command; it runs once the current event is done.
void post_frame_command(int id, intptr_t lparam)
{
    QMetaObject::invokeMethod(
        qApp, [id, lparam] { frame_on_command(nullptr, static_cast<uintptr_t>(id), lparam); },
        Qt::QueuedConnection);
}

// The face colour shifted by the amount on every channel (clamped).
QColor shifted(const QColor& c, int by)
{
    auto ch = [by](int v) { return std::clamp(v + by, 0, 255); };
    return QColor(ch(c.red()), ch(c.green()), ch(c.blue()));
}

// The connect buttons back from the connection's state.
void connect_restore()
{
    if (ToolbarWindow* t = bar())
        t->connect_timer.stop();
    toolbar_show_connect_state();
}

}  // namespace

// ---- Built-in pictures ----

QImage toolbar_builtin_image(int slot)
{
    if (slot < 0 || slot >= kToolbarSlots || !kSlots[slot].name)
        return QImage();
    // A small face per slot: a coloured tile with the slot's first letter.
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int hue = (slot * 37) % 360;
    p.setPen(QColor::fromHsv(hue, 200, 110));
    p.setBrush(QColor::fromHsv(hue, 140, 230));
    p.drawRect(1, 1, 13, 13);
    QFont f = p.font();
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor::fromHsv(hue, 255, 60));
    p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, QString(QChar(kSlots[slot].name[0]).toUpper()));
    return img;
}

// ---- The window ----

ToolbarWindow::ToolbarWindow(QWidget* owner) : QWidget(owner)
{
    setObjectName("Kest_ToolBar");
    setProperty("controlId", kToolbarControlId);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setCursor(Qt::ArrowCursor);
    hot_timer.setInterval(50);
    QObject::connect(&hot_timer, &QTimer::timeout, this, [this] { hot_timer_tick(); });
    connect_timer.setInterval(1500);
    connect_timer.setSingleShot(true);
    QObject::connect(&connect_timer, &QTimer::timeout, this, [] { connect_restore(); });
}

ToolbarWindow::~ToolbarWindow() = default;

QSize ToolbarWindow::sizeHint() const
{
    const int t = toolbar_thickness();
    return QSize(t, t);
}

int ToolbarWindow::index_of_id(int id) const
{
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i].id == id)
            return static_cast<int>(i);
    return -1;
}

void ToolbarWindow::repaint_id(int id)
{
    const int i = index_of_id(id);
    if (i >= 0)
        update(buttons[i].rect.adjusted(-1, -1, 1, 1));
}

int ToolbarWindow::layout()
{
    const bool vert = vertical();
    int max_w = 0, max_h = 0;
    for (const ToolbarButton& b : buttons) {
        if (b.state & TB_HIDDEN)
            continue;
        max_w = std::max(max_w, b.image_width);
        max_h = std::max(max_h, b.image_height);
    }
    if (!max_w)
        max_w = 16;
    if (!max_h)
        max_h = 16;
    int cell_w = max_w + 14, cell_h = max_h + 14;
    if (vert)
        cell_w += 2;
    else
        cell_h += 2;
    const int start = dock_bars_locked() ? 0 : 8;
    const int extent = vert ? height() : width();
    int pos = start;
    int row = 0;
    bool row_has_button = false;
    std::vector<std::size_t> trailing_separators;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        ToolbarButton& b = buttons[i];
        if (b.state & TB_HIDDEN) {
            b.rect = QRect();
            continue;
        }
        if (b.style & TB_SEPARATOR) {
            const int len = b.image_height + 4;
            if (vert) {
                const int left = row * (cell_w - 5) + (cell_w - 5 - len) / 2;
                b.rect = QRect(left, pos + 2, len, 1);
            } else {
                const int top = row * (cell_h - 5) + (cell_h - 5 - len) / 2;
                b.rect = QRect(pos + 2, top, 1, len);
            }
            b.row = row;
            pos += 5;
            trailing_separators.push_back(i);
            continue;
        }
        const int w = b.image_width + b.wide + 9;
        const int h = b.image_height + 9;
        const int along = vert ? h : w;
        if (opt(OPT_TOOLBAR_MULTILINE) && row_has_button && pos + along >= extent) {
            // A new row; the separators that ended the last one take no room.
            for (std::size_t s : trailing_separators) {
                ToolbarButton& sep = buttons[s];
                sep.rect = vert ? QRect(sep.rect.left(), extent + 1, sep.rect.width(), 0)
                                : QRect(extent + 1, sep.rect.top(), 0, sep.rect.height());
            }
            ++row;
            pos = start;
            row_has_button = false;
        }
        trailing_separators.clear();
        if (vert) {
            const int left = row * (cell_w - 5) + (cell_w - b.image_width - 14) / 2;
            b.rect = QRect(left, pos, w, h);
        } else {
            const int top = row * (cell_h - 5) + (cell_h - b.image_height - 14) / 2;
            b.rect = QRect(pos, top, w, h);
        }
        b.row = row;
        row_has_button = true;
        pos += along - 1;
    }
    const int new_rows = row + 1;
    const int thickness = toolbar_thickness();
    const int changed = new_rows != rows || thickness != last_thickness;
    rows = new_rows;
    last_thickness = thickness;
    return changed;
}

int ToolbarWindow::hit(const QPoint& p) const
{
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const ToolbarButton& b = buttons[i];
        if ((b.state & TB_HIDDEN) || (b.style & TB_SEPARATOR) || b.rect.isEmpty())
            continue;
        if (b.rect.adjusted(1, 1, -1, -1).contains(p))
            return static_cast<int>(i);
    }
    return -1;
}

void ToolbarWindow::paintEvent(QPaintEvent* event)
{
    if (painting_)
        return;
    painting_ = 1;
    if (layout())
        frame_layout();
    QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(palette().color(QPalette::Button));
    {
        QPainter p(&canvas);
        const QImage& tile = bar_bg_get(kBarBgToolbar, width(), height());
        if (!tile.isNull())
            p.drawImage(0, 0, tile);
        const QRect area = event->rect();
        for (ToolbarButton& b : buttons) {
            if ((b.state & TB_HIDDEN) || b.rect.isEmpty() || !b.rect.intersects(area.adjusted(-1, -1, 1, 1)))
                continue;
            if (b.style & TB_SEPARATOR) {
                p.fillRect(b.rect, palette().color(QPalette::Dark));
                p.fillRect(b.rect.translated(vertical() ? 0 : 1, vertical() ? 1 : 0), palette().color(QPalette::Light));
                continue;
            }
            draw_button(p, b);
        }
        dock_draw_grip(BAR_TOOLBAR, p, dock_bar_side(BAR_TOOLBAR));
    }
    QPainter out(this);
    out.drawImage(0, 0, canvas);
    painting_ = 0;
}

void ToolbarWindow::draw_button(QPainter& p, ToolbarButton& b)
{
    const bool enabled = b.state & TB_ENABLED;
    const bool pressed = b.state & TB_PRESSED;
    const bool checked = b.state & TB_CHECKED;
    const bool hot = b.id == hot_id && enabled;
    const QRect edge = b.rect.adjusted(1, 1, -1, -1);
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    if (checked)
        p.fillRect(edge, shifted(palette().color(QPalette::Button), 17));
    if (pressed || checked || hot) {
        const bool sunken = pressed || checked;
        const QColor tl = sunken ? dark : light;
        const QColor br = sunken ? light : dark;
        p.fillRect(edge.left(), edge.top(), edge.width(), 1, tl);
        p.fillRect(edge.left(), edge.top(), 1, edge.height(), tl);
        p.fillRect(edge.left(), edge.bottom(), edge.width(), 1, br);
        p.fillRect(edge.right(), edge.top(), 1, edge.height(), br);
    }
    // The image, centred, one pixel lower and to the right when pushed in.
    int x = b.rect.left() + (b.rect.width() - b.image_width) / 2;
    int y = b.rect.top() + (b.rect.height() - b.image_height) / 2;
    if (pressed || checked) {
        ++x;
        ++y;
    }
    const QRect target(x, y, b.image_width, b.image_height);
    QImage* canvas = static_cast<QImage*>(p.device());
    const QImage background = canvas->copy(target);
    QImage picture = background;
    {
        QPainter ip(&picture);
        const QImage& strip = b.image_index >= 0 && b.image_index < kToolbarSlots && bar_bg_has(kBarBgToolbuttons)
                                  ? bar_bg_get(kBarBgToolbuttons, 0, 0)
                                  : QImage();
        if (!strip.isNull() && b.strip_x + b.image_width <= strip.width() && b.image_height <= strip.height()) {
            const QImage part = strip.copy(b.strip_x, 0, b.image_width, b.image_height);
            ip.drawImage(QPoint(0, 0), img_key_transparent(part, 0xFF00FF));  // magenta is transparent
        } else if (!b.bitmap.isNull())
            ip.drawImage(QRect(0, 0, b.image_width, b.image_height), b.bitmap);
        else if (!b.icon.isNull())
            b.icon.paint(&ip, QRect(0, 0, b.image_width, b.image_height));
    }
    // Indeterminate shows as greyed, only on an enabled button not pressed.
    const bool indeterminate = (b.state & TB_INDETERMINATE) && enabled && !pressed;
    if (!enabled || indeterminate) {
        const QRgb corner = picture.pixel(0, 0);
        for (int py = 0; py < picture.height(); ++py)
            for (int px = 0; px < picture.width(); ++px) {
                const QRgb c = picture.pixel(px, py);
                if (c == corner)
                    continue;
                const int g = std::clamp(
                    static_cast<int>(0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c)), 0, 255);
                picture.setPixel(px, py, qRgb(g, g, g));
            }
    }
    int alpha = 0;
    if (!enabled)
        alpha = (b.alpha >= 1 && b.alpha <= 99) ? b.alpha : 100;
    else if (b.alpha >= 1 && b.alpha <= 255)
        alpha = b.alpha;
    p.drawImage(target.topLeft(), background);
    if (alpha) {
        p.save();
        p.setOpacity(alpha / 255.0);
        p.drawImage(target.topLeft(), picture);
        p.restore();
    } else {
        p.drawImage(target.topLeft(), picture);
    }
}

void ToolbarWindow::set_hot(int id)
{
    if (id == hot_id)
        return;
    const int old = hot_id;
    hot_id = id;
    if (old)
        repaint_id(old);
    if (id)
        repaint_id(id);
}

void ToolbarWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (!pressed_id && dock_mouse(BAR_TOOLBAR, event))
        return;
    const QPoint pt = event->position().toPoint();
    const int i = hit(pt);
    if (pressed_id) {
        const int pi = index_of_id(pressed_id);
        if (pi >= 0 && (buttons[pi].state & TB_ENABLED)) {
            const unsigned before = buttons[pi].state;
            if (i == pi)
                buttons[pi].state |= TB_PRESSED;
            else
                buttons[pi].state &= ~TB_PRESSED;
            if (before != buttons[pi].state)
                repaint_id(pressed_id);
        }
        return;
    }
    if (event->buttons() & Qt::LeftButton)
        return;
    if (i >= 0) {
        if (buttons[i].state & TB_ENABLED) {
            set_hot(buttons[i].id);
            hot_timer.start();
        } else {
            set_hot(0);
        }
        tooltip_show(buttons[i].tip, buttons[i].id, TOOLTIP_OWNER_TOOLBAR);
    } else {
        set_hot(0);
        hot_timer.stop();
        tooltip_hide();
    }
}

void ToolbarWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (dock_mouse(BAR_TOOLBAR, event))
        return;
    const int i = hit(event->position().toPoint());
    if (i < 0)
        return;
    tooltip_destroy();
    set_hot(0);
    pressed_id = buttons[i].id;
    hot_timer.start();
    if (buttons[i].state & TB_ENABLED) {
        buttons[i].state |= TB_PRESSED;
        repaint_id(pressed_id);
    }
}

namespace {

// Where a button's menu opens, by the bar's side: above the button on a
// bottom bar, below it on a top bar, to its right on a left bar and to its
// left on a right bar (global coordinates).
QPoint beside_button(ToolbarWindow* t, const QRect& button, const QSize& menu)
{
    switch (toolbar_own_side()) {
    case 1:
        return t->mapToGlobal(button.topLeft()) - QPoint(0, menu.height());
    case 2:
        return t->mapToGlobal(QPoint(button.right() + 1, button.top()));
    case 3:
        return t->mapToGlobal(button.topLeft()) - QPoint(menu.width(), 0);
    default:
        return t->mapToGlobal(QPoint(button.left(), button.bottom() + 1));
    }
}

// The menu a built-in button shows on a right click, or null (nothing to
// show for it; a list that is empty has beeped already).
QMenu* builtin_button_menu(int slot, bool* owned)
{
    *owned = true;
    switch (slot) {
    case 0:
    case 1:
    case 2:
        *owned = false;
        return menu_build_servers_popup();
    case 6:
        *owned = false;
        return menu_channels_menu();
    case 9:
    case 10:
        return menu_build_scripts_popup();
    case 14: {
        // The colour schemes; the one chosen becomes current.
        auto* menu = new QMenu(toolbar_window.data());
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu_build_schemes_popup(menu);
        QObject::connect(menu, &QMenu::triggered, menu, [](QAction* a) {
            const int id = a->data().toInt();
            QMetaObject::invokeMethod(qApp, [id] { menu_scheme_command(id); }, Qt::QueuedConnection);
        });
        return menu;
    }
    case 20:
        return menu_build_folders_popup();
    default:
        return nullptr;
    }
}

}  // namespace

void ToolbarWindow::right_click(const QPoint& pt, const QPoint& global)
{
    const int i = hit(pt);
    if (i < 0) {
        // Only the bar's empty part: not the edge between two buttons.
        for (const ToolbarButton& b : buttons)
            if (!(b.state & TB_HIDDEN) && !(b.style & TB_SEPARATOR) && b.rect.contains(pt))
                return;
        tooltip_destroy();
        if (QMenu* menu = bar_popup_build(BAR_TOOLBAR, this))
            menu->popup(global);
        return;
    }
    ToolbarButton& b = buttons[static_cast<std::size_t>(i)];
    if (!(b.state & TB_ENABLED))
        return;
    if (!b.popup.empty()) {
        custom_popup(b);
        return;
    }
    const int slot = b.id - kToolbarFirstId;
    if (slot < 0 || slot >= kToolbarSlots || !kSlots[slot].name || b.name != kSlots[slot].name)
        return;
    bool owned = true;
    menu_popup_reset();
    tooltip_destroy();
    QMenu* menu = builtin_button_menu(slot, &owned);
    if (!menu || menu->isEmpty()) {
        if (menu && owned)
            menu->deleteLater();
        return;
    }
    menu->popup(beside_button(this, b.rect, menu->sizeHint()));
}

void ToolbarWindow::custom_popup(const ToolbarButton& b)
{
    // Built as the active window's popup, the button's popup name and
    // script standing in for the window's own while it is built.
    QWidget* active = win_active_if_shown();
    WindowRecord* rec = win_record_of(active);
    if (!rec) {
        Connection* conn = conn_current();
        rec = conn_is_live(conn) ? win_record_of(conn->status_window) : nullptr;
    }
    if (!rec || !rec->hwnd)
        return;
    const QPointer<QWidget> hwnd(rec->hwnd.get());
    const std::string own_popup = rec->popup_file;
    const void* own_script = rec->script_file;
    rec->popup_file = b.popup;
    rec->script_file = b.script_file.empty() ? nullptr : remote_file_find(b.script_file, kRemoteScript);
    const QRect at = b.rect;
    tooltip_destroy();
    QMenu* menu = menu_build_custom_popup(rec, "custom toolbar");
    // The captions may have run script code: the window is looked up again.
    if (WindowRecord* again = hwnd ? win_record_of(hwnd.data()) : nullptr) {
        again->popup_file = own_popup;
        again->script_file = own_script;
    }
    if (menu && !menu->isEmpty() && hwnd)
        menu_track_popup(hwnd.data(), kPopupCustomToolbar, beside_button(this, at, menu->sizeHint()));
    else
        menu_popup_reset();
}

void ToolbarWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        right_click(event->position().toPoint(), event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    hot_timer.stop();
    const int id = pressed_id;
    pressed_id = 0;
    if (!id)
        return;
    const int pi = index_of_id(id);
    if (pi < 0)
        return;
    ToolbarButton& b = buttons[pi];
    const bool over = hit(event->position().toPoint()) == pi;
    const bool was_pressed = b.state & TB_PRESSED;
    b.state &= ~TB_PRESSED;
    repaint_id(id);
    if (!over || !(b.state & TB_ENABLED) || !was_pressed)
        return;
    if (b.style & TB_CHECK) {
        const bool radio = b.style & TB_GROUP;
        if (radio && (b.state & TB_CHECKED))
            return;
        if (radio) {
            // The run of neighbouring group buttons around it.
            int lo = pi, hi = pi;
            while (lo > 0 && (buttons[lo - 1].style & TB_GROUP))
                --lo;
            while (hi + 1 < static_cast<int>(buttons.size()) && (buttons[hi + 1].style & TB_GROUP))
                ++hi;
            for (int k = lo; k <= hi; ++k)
                if (k != pi && (buttons[k].state & TB_CHECKED)) {
                    buttons[k].state &= ~TB_CHECKED;
                    repaint_id(buttons[k].id);
                }
            b.state |= TB_CHECKED;
        } else {
            b.state ^= TB_CHECKED;
        }
    }
    set_hot(id);
    hot_timer.start();
    update();
    toolbar_button_command(id);
}

void ToolbarWindow::leaveEvent(QEvent*)
{
    if (!pressed_id)
        set_hot(0);
}

void ToolbarWindow::hot_timer_tick()
{
    QWidget* under = QApplication::widgetAt(QCursor::pos());
    if (under == this && rect().contains(mapFromGlobal(QCursor::pos())))
        return;
    hot_timer.stop();
    set_hot(0);
    if (pressed_id) {
        const int pi = index_of_id(pressed_id);
        if (pi >= 0 && (buttons[pi].state & TB_PRESSED)) {
            buttons[pi].state &= ~TB_PRESSED;
            repaint_id(pressed_id);
        }
        pressed_id = 0;
    }
}

// ---- Buttons ----

ToolbarButton* toolbar_button_at(int index)
{
    ToolbarWindow* t = bar();
    if (!t || index < 0 || index >= static_cast<int>(t->buttons.size()))
        return nullptr;
    return &t->buttons[index];
}

ToolbarButton* toolbar_button_by_id(int id)
{
    ToolbarWindow* t = bar();
    if (!t)
        return nullptr;
    const int i = t->index_of_id(id);
    return i < 0 ? nullptr : &t->buttons[i];
}

int toolbar_count()
{
    ToolbarWindow* t = bar();
    return t ? static_cast<int>(t->buttons.size()) : 0;
}

int toolbar_index_of_name(const std::string& name)
{
    ToolbarWindow* t = bar();
    if (!t)
        return -1;
    for (std::size_t i = 0; i < t->buttons.size(); ++i)
        if (text_equal_nocase(t->buttons[i].name, name))
            return static_cast<int>(i);
    return -1;
}

int toolbar_append(ToolbarButton button)
{
    ToolbarWindow* t = bar();
    if (!t)
        return 0;
    t->buttons.push_back(std::move(button));
    t->update();
    return 1;
}

int toolbar_insert(int index, ToolbarButton button)
{
    ToolbarWindow* t = bar();
    if (!t || index < 0 || index > static_cast<int>(t->buttons.size()))
        return 0;
    t->buttons.insert(t->buttons.begin() + index, std::move(button));
    t->update();
    return 1;
}

intptr_t toolbar_message(int msg, uintptr_t wparam, intptr_t lparam)
{
    ToolbarWindow* t = bar();
    if (!t)
        return msg == TBM_COUNT ? 0 : -1;
    const int id = static_cast<int>(wparam);
    const bool on = (lparam & 0xFFFF) != 0;
    auto set_bit = [&](unsigned bit) -> intptr_t {
        const int i = t->index_of_id(id);
        if (i < 0)
            return 0;
        ToolbarButton& b = t->buttons[i];
        const unsigned before = b.state;
        if (on)
            b.state |= bit;
        else
            b.state &= ~bit;
        if (bit == TB_CHECKED && on && (b.style & TB_GROUP) && (b.style & TB_CHECK)) {
            int lo = i, hi = i;
            while (lo > 0 && (t->buttons[lo - 1].style & TB_GROUP))
                --lo;
            while (hi + 1 < static_cast<int>(t->buttons.size()) && (t->buttons[hi + 1].style & TB_GROUP))
                ++hi;
            for (int k = lo; k <= hi; ++k)
                if (k != i && (t->buttons[k].state & TB_CHECKED)) {
                    t->buttons[k].state &= ~TB_CHECKED;
                    t->repaint_id(t->buttons[k].id);
                }
        }
        if (bit == TB_HIDDEN)
            t->update();
        else if (before != b.state)
            t->repaint_id(id);
        return 1;
    };
    auto get_bit = [&](unsigned bit) -> intptr_t {
        const int i = t->index_of_id(id);
        if (i < 0)
            return -1;
        return (t->buttons[i].state & bit) ? 1 : 0;
    };
    const int count = static_cast<int>(t->buttons.size());
    const int index = static_cast<int>(static_cast<intptr_t>(wparam));
    switch (msg) {
    case TBM_ENABLE: return set_bit(TB_ENABLED);
    case TBM_CHECK: return set_bit(TB_CHECKED);
    case TBM_PRESS: return set_bit(TB_PRESSED);
    case TBM_HIDE: return set_bit(TB_HIDDEN);
    case TBM_INDETERMINATE: return set_bit(TB_INDETERMINATE);
    case TBM_IS_ENABLED: return get_bit(TB_ENABLED);
    case TBM_IS_CHECKED: return get_bit(TB_CHECKED);
    case TBM_IS_PRESSED: return get_bit(TB_PRESSED);
    case TBM_IS_HIDDEN: return get_bit(TB_HIDDEN);
    case TBM_IS_INDETERMINATE: return get_bit(TB_INDETERMINATE);
    case TBM_SET_STATE: {
        const int i = t->index_of_id(id);
        if (i < 0)
            return 0;
        const unsigned before = t->buttons[i].state;
        t->buttons[i].state = static_cast<unsigned>(lparam) & 0xFF;
        if ((before ^ t->buttons[i].state) & TB_HIDDEN)
            t->update();
        else if (before != t->buttons[i].state)
            t->repaint_id(id);
        return 1;
    }
    case TBM_GET_STATE: {
        const int i = t->index_of_id(id);
        return i < 0 ? -1 : static_cast<intptr_t>(t->buttons[i].state);
    }
    case TBM_DELETE:
        if (index < 0 || index >= count)
            return 0;
        if (t->buttons[index].id == t->hot_id)
            t->hot_id = 0;
        if (t->buttons[index].id == t->pressed_id)
            t->pressed_id = 0;
        t->buttons.erase(t->buttons.begin() + index);
        t->update();
        return 1;
    case TBM_COUNT: return count;
    case TBM_INDEX_OF_ID: return t->index_of_id(id);
    case TBM_ITEM_RECT:
        if (index < 0 || index >= count || (t->buttons[index].state & TB_HIDDEN))
            return 0;
        if (lparam)
            *reinterpret_cast<QRect*>(lparam) = t->buttons[index].rect;
        return 1;
    case TBM_SET_STYLE: {
        const int i = t->index_of_id(id);
        if (i < 0)
            return 0;
        t->buttons[i].style = static_cast<unsigned>(lparam) & 0xFF;
        t->repaint_id(id);
        return 1;
    }
    case TBM_GET_STYLE: {
        const int i = t->index_of_id(id);
        return i < 0 ? -1 : static_cast<intptr_t>(t->buttons[i].style);
    }
    case TBM_INDEX_OF_NAME:
        return lparam ? toolbar_index_of_name(*reinterpret_cast<const std::string*>(lparam)) : -1;
    case TBM_MOVE: {
        const int to = static_cast<int>(lparam);
        if (index < 0 || index >= count || to < 0 || to >= count)
            return -1;
        ToolbarButton moving = std::move(t->buttons[index]);
        t->buttons.erase(t->buttons.begin() + index);
        t->buttons.insert(t->buttons.begin() + to, std::move(moving));
        t->update();
        return to;
    }
    default:
        return 0;
    }
}

// ---- Built-in layout ----

int toolbar_build_default(int flag)
{
    ToolbarWindow* t = bar();
    if (!t)
        return 0;
    std::vector<ToolbarButton> made;
    int strip_x = 0;
    int separator = 0;
    for (int slot = 0; slot < kToolbarSlots; ++slot) {
        ToolbarButton b;
        b.id = kToolbarFirstId + slot;
        b.state = TB_ENABLED;
        b.picture = std::to_string(slot);
        b.source = QRect(slot * 16, 0, 16, 16);
        b.strip_x = strip_x;
        if (!kSlots[slot].name) {
            b.image_index = -1;
            b.style = TB_SEPARATOR;
            char name[16];
            std::snprintf(name, sizeof name, "sep%d", ++separator);
            b.name = name;
        } else {
            b.image_index = slot;
            b.name = kSlots[slot].name;
            b.tip = text_load_string(5301 + slot);
            b.wide = kSlots[slot].wide ? 6 : 0;
            if (kSlots[slot].hidden)
                b.state |= TB_HIDDEN;
            b.icon = QIcon(QPixmap::fromImage(toolbar_builtin_image(slot)));
        }
        strip_x += b.image_width;
        made.push_back(std::move(b));
    }
    if (flag) {
        for (int k = 0; k < 1000 && !t->buttons.empty(); ++k)
            toolbar_message(TBM_DELETE, 0, 0);
    }
    t->hot_id = 0;
    t->pressed_id = 0;
    for (ToolbarButton& b : made)
        t->buttons.push_back(std::move(b));
    t->update();
    toolbar_show_connect_state();
    toolbar_show_remote_state();
    toolbar_update_arrange_buttons();
    toolbar_show_notify_state(0);
    toolbar_show_urls_state(0);
    g_notify_state = 0;
    g_urls_state = 0;
    return 1;
}

// ---- State setters ----

int toolbar_show_one_of_three(int a, int b, int c)
{
    ToolbarWindow* t = bar();
    if (!t)
        return 0;
    toolbar_message(TBM_ENABLE, kToolbarFirstId + a, 1);
    toolbar_message(TBM_HIDE, kToolbarFirstId + a, 0);
    for (int other : {b, c}) {
        toolbar_message(TBM_ENABLE, kToolbarFirstId + other, 0);
        toolbar_message(TBM_HIDE, kToolbarFirstId + other, 1);
    }
    t->update();
    return 1;
}

int toolbar_show_connect_state()
{
    Connection* conn = conn_current();
    const bool on = conn && (conn_is_connected(conn) || conn_is_connecting(conn));
    return on ? toolbar_show_one_of_three(1, 0, 2) : toolbar_show_one_of_three(0, 1, 2);
}

int toolbar_show_remote_state()
{
    const bool on = opt(OPT_REMOTE_EVENTS) || opt(OPT_REMOTE_CTCPS) || opt(OPT_REMOTE_RAW);
    // A pair: the one shown, the other hidden.
    return on ? toolbar_show_one_of_three(10, 9, 9) : toolbar_show_one_of_three(9, 10, 10);
}

int toolbar_show_notify_state(int state)
{
    if (state != 2)
        g_notify_state = state ? 1 : 0;
    return g_notify_state ? toolbar_show_one_of_three(24, 23, 23) : toolbar_show_one_of_three(23, 24, 24);
}

int toolbar_show_urls_state(int state)
{
    if (state != 2)
        g_urls_state = state ? 1 : 0;
    return g_urls_state ? toolbar_show_one_of_three(26, 25, 25) : toolbar_show_one_of_three(25, 26, 26);
}

int toolbar_update_arrange_buttons()
{
    ToolbarWindow* t = bar();
    if (!t)
        return 0;
    for (int id = 1027; id <= 1030; ++id) {
        toolbar_message(TBM_ENABLE, id, 1);
        toolbar_message(TBM_HIDE, id, 0);
    }
    // Minimised windows show no icons while a switchbar or treebar lists
    // them: arranging icons has nothing to do then.
    const bool useless = opt(OPT_SWITCHBAR_SHOWN) || opt(OPT_TREEBAR_SHOWN);
    toolbar_message(TBM_ENABLE, 1031, useless ? 0 : 1);
    toolbar_message(TBM_HIDE, 1031, useless ? 1 : 0);
    t->update();
    return 1;
}

// ---- Sizes ----

int toolbar_thickness()
{
    ToolbarWindow* t = bar();
    const bool vert = vertical();
    int sum = 0;
    if (t) {
        int row = -1, row_max = 0;
        for (const ToolbarButton& b : t->buttons) {
            if ((b.state & TB_HIDDEN) || (b.style & TB_SEPARATOR))
                continue;
            if (b.row != row) {
                sum += row_max;
                row_max = 0;
                row = b.row;
            }
            row_max = std::max(row_max, vert ? b.rect.width() : b.rect.height());
        }
        sum += row_max;
    }
    if (vert)
        return std::max(sum, 25) + 2;
    return sum < 25 ? 27 : sum + 2;
}

QRect toolbar_first_button_rect()
{
    if (ToolbarWindow* t = bar()) {
        for (const ToolbarButton& b : t->buttons)
            if (!(b.state & TB_HIDDEN) && !(b.style & TB_SEPARATOR) && !b.rect.isEmpty())
                return b.rect;
    }
    const int side = toolbar_own_side();
    if (side == 0 || side == 1)
        return QRect(QPoint(0, 1), QPoint(25, 27));
    if (side == 2 || side == 3)
        return QRect(QPoint(1, 0), QPoint(27, 25));
    return QRect(QPoint(1, 0), QPoint(25, 25));
}

void toolbar_redraw_id(int id)
{
    if (ToolbarWindow* t = bar()) {
        t->repaint_id(id);
        t->repaint();
    }
}

void toolbar_invalidate_id(int id)
{
    if (ToolbarWindow* t = bar())
        t->repaint_id(id);
}

void toolbar_repaint()
{
    if (ToolbarWindow* t = bar())
        t->update();
}

void toolbar_update_now()
{
    if (ToolbarWindow* t = bar())
        t->repaint();
}

bool toolbar_exists() { return bar() != nullptr; }

void toolbar_set_visible(bool shown)
{
    if (ToolbarWindow* t = bar())
        t->setVisible(shown);
}

// ---- Commands ----

void toolbar_button_command(int id)
{
    ToolbarWindow* t = bar();
    if (!t)
        return;
    const int i = t->index_of_id(id);
    if (i >= 0 && !t->buttons[i].alias.empty()) {
        const ToolbarButton& b = t->buttons[i];
        const std::string line = b.alias;
        const std::string params = b.name;
        ScriptFile* script = b.script_file.empty() ? nullptr : remote_file_find(b.script_file, kRemoteScript);
        Connection* conn = conn_current();
        script_exec_line(conn_current_window(), line.c_str(), params.c_str(), 1, nullptr, script, conn);
        return;
    }
    if (id >= kToolbarFirstId && id <= kToolbarFirstId + 2) {
        Connection* conn = conn_current();
        const bool live = conn && (conn_is_connected(conn) || conn_is_connecting(conn));
        if (!live) {
            post_frame_command(101, kMenuLparam);
            return;
        }
        if (opt(OPT_CONFIRM_CONNECT_SECOND_CLICK) && id != kToolbarFirstId + 2) {
            toolbar_show_one_of_three(2, 0, 1);
            t->connect_timer.start();
            return;
        }
        t->connect_timer.stop();
        post_frame_command(102, kMenuLparam);
        return;
    }
    const int slot = id - kToolbarFirstId;
    if (slot < 0 || slot >= kToolbarSlots || !kSlots[slot].name || !kSlots[slot].command)
        return;
    post_frame_command(kSlots[slot].command, kSlots[slot].lparam);
    if (slot == 31) {
        // A mouse move at the cursor brings the hot button back in step.
        QMetaObject::invokeMethod(
            t,
            [] {
                if (ToolbarWindow* w = bar()) {
                    const QPoint local = w->mapFromGlobal(QCursor::pos());
                    QMouseEvent move(QEvent::MouseMove, local, QCursor::pos(), Qt::NoButton, Qt::NoButton,
                                     Qt::NoModifier);
                    QApplication::sendEvent(w, &move);
                }
            },
            Qt::QueuedConnection);
    }
}

// ---- Creation ----

int toolbar_create()
{
    if (toolbar_window)
        return 1;
    QWidget* owner = frame_window.data();
    auto* t = new ToolbarWindow(owner);
    toolbar_window = t;
    if (!toolbar_build_default(0)) {
        delete t;
        return 0;
    }
    bar_set_window(BAR_TOOLBAR, t);
    toolbar_file_load_at_start();
    t->setVisible(opt(OPT_TOOLBAR_SHOWN) != 0);
    return 1;
}

void toolbar_install()
{
    static int making_listener = 0;
    frame_bars_making.add_once(making_listener, kMakeToolbar, [] { return !toolbar_create(); });
    static int toggled_listener = 0;
    frame_bar_toggled.add_once(toggled_listener, kBarToggledToolbar, [](OptionId, bool laid_out) {
        if (!laid_out)
            toolbar_update_arrange_buttons();
    });
    static int connect_listener = 0;
    frame_connect_toggled.add_once(connect_listener, kConnectToggledToolbar, [] { toolbar_show_connect_state(); });
    // The connect buttons once a link stage has settled.
    static int stage_listener = 0;
    irc_link_stage.add_once(stage_listener, 90, [](int, Connection*) {
        QMetaObject::invokeMethod(qApp, [] {
            toolbar_show_connect_state();
            menu_update_connect_items();
        }, Qt::QueuedConnection);
    });
}
