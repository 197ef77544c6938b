#include "bars/switchbar.h"

#include "app/startup.h"
#include "display/window_queries.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <unordered_map>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_layout.h"
#include "app/file_dialogs.h"
#include "app/frame_look.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/mdi_arrange.h"
#include "app/system_menu.h"
#include "app/tick.h"
#include "app/window_ops.h"
#include "app/bar_docking.h"
#include "display/bar_windows.h"
#include "bars/toolbar_buttons.h"
#include "app/bar_tooltips.h"
#include "bars/treebar.h"
#include "core/list_sort.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "display/backgrounds.h"
#include "model/colors.h"
#include "model/transfer_progress.h"
#include "display/flashing.h"
#include "irc/dispatch/captions.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"

class SwitchBarWidget;

namespace {

constexpr int kLabelMax = 4200;
constexpr int kBarControlId = 32949;

RecordSlot<SwitchbarButton> g_button_slot;

// ---- State of the bar ----

QPointer<SwitchBarWidget> g_bar;
// The extra rows (0..9) live in their option, which the docking's resize
// sets too; the layout reads it into this and writes back what it found.
int g_rows = 0;
int g_scroll = 0;               // leading buttons skipped on a side bar
int g_text_width = 16;          // text width of the last horizontal layout
int g_down_wanted = 0;
int g_blink_phase = 0;
int g_repainting = 0;
int g_tooltip_running = 0;
WindowRecord* g_hovered = nullptr;
QPointer<QToolButton> g_up;
QPointer<QToolButton> g_down;
QPointer<QMenu> g_group_popup;
std::string g_label;
// When the frame was last activated by a click (milliseconds of g_clock).
QElapsedTimer g_clock;
qint64 g_click_activation = -1;

qint64 now_ms()
{
    if (!g_clock.isValid())
        g_clock.start();
    return g_clock.elapsed();
}

int bar_side()
{
    const int s = opt(OPT_SWITCHBAR_SIDE);
    return s >= 0 && s <= 3 ? s : 1;
}

int row_height()
{
    const int h = opt(OPT_SWITCHBAR_BUTTON_HEIGHT);
    return h == 29 || h == 33 || h == 37 ? h : 29;
}

int bars_locked()
{
    return dock_bars_locked();
}

bool rect_empty(const WinRect& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

QRect to_qrect(const WinRect& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

// The group a window's button belongs to: its kind for the windows that
// stand apart, else its connection.
std::intptr_t group_key(const WindowRecord* rec)
{
    if (switchbar_window_apart(rec))
        return -1 - rec->type;
    return reinterpret_cast<std::intptr_t>(rec->conn);
}

WindowRecord* status_record_of(const WindowRecord* rec)
{
    if (!rec->conn || !conn_is_live(rec->conn))
        return nullptr;
    return win_record_of(rec->conn->status_window.data());
}

// A status window whose group is collapsed.
bool collapsed_status(WindowRecord* rec)
{
    return rec && rec->type == kWinStatus && !rec->status_expanded;
}

// Stronger of two levels for a collapsed group: 2 beats 1 beats 3.
int stronger_level(int a, int b)
{
    return win_activity_rank(b) > win_activity_rank(a) ? b : a;
}

// The strongest level of the windows grouped under each connection's status
// window, in one walk of the list.
std::unordered_map<Connection*, int> group_levels()
{
    std::unordered_map<Connection*, int> levels;
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (r->type == kWinStatus || switchbar_window_apart(r) || !r->conn || !r->activity)
            continue;
        int& l = levels[r->conn];
        l = stronger_level(l, r->activity);
    }
    return levels;
}

QPixmap icon_pixmap(int number)
{
    static QPixmap cache[64];
    static bool tried[64] = {};
    if (number <= 0 || number >= 64)
        return {};
    if (!tried[number]) {
        tried[number] = true;
        QIcon icon = img_load_icon(std::string(), number, 1);
        if (!icon.isNull())
            cache[number] = icon.pixmap(16, 16);
    }
    return cache[number];
}

QFont bar_font(const QFont& base, bool bold)
{
    QFont f = base;
    f.setPointSize(8);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}


}  // namespace

// ---- The bar's window ----

class SwitchBarWidget : public QWidget {
public:
    explicit SwitchBarWidget(QWidget* parent) : QWidget(parent)
    {
        setObjectName("Kest_SwitchBar");
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setCursor(Qt::ArrowCursor);
    }

    QSize sizeHint() const override
    {
        const int t = switchbar_wanted_thickness();
        return bar_side() >= 2 ? QSize(t, 100) : QSize(100, t);
    }

    WindowRecord* record_at(const QPoint& p) const
    {
        for (WindowRecord* r = win_list; r; r = r->next) {
            SwitchbarButton* b = r->state_slots.find(g_button_slot);
            if (b && b->place > 0 && !rect_empty(b->rect) && to_qrect(b->rect).contains(p))
                return r;
        }
        return nullptr;
    }

protected:
    void resizeEvent(QResizeEvent*) override { switchbar_repaint(); }

    void paintEvent(QPaintEvent* event) override;

    void mousePressEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::LeftButton)
            return;
        tooltip_destroy();
        WindowRecord* rec = record_at(e->position().toPoint());
        if (!rec)
            return;
        const Qt::KeyboardModifiers mods = e->modifiers();
        if (mods & Qt::AltModifier) {
            switchbar_toggle_group(rec);
            return;
        }
        SwitchbarButton* b = switchbar_button_of(rec);
        if (collapsed_status(rec) && b && !rect_empty(b->arrow) &&
            to_qrect(b->arrow).contains(e->position().toPoint())) {
            if (g_group_popup) {
                g_group_popup->close();
                return;
            }
            if (QWidget* menu = switchbar_group_popup(rec)) {
                auto* m = static_cast<QMenu*>(menu);
                m->popup(mapToGlobal(QPoint(b->rect.left, b->rect.bottom + 4)));
            } else {
                QApplication::beep();
            }
            return;
        }
        switchbar_click(rec, (mods & Qt::ShiftModifier) ? 1 : 0, (mods & Qt::ControlModifier) ? 1 : 0);
    }

    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() != Qt::RightButton)
            return;
        WindowRecord* rec = record_at(e->position().toPoint());
        if (!rec) {
            QRect grip;
            if (dock_grip_rect(BAR_SWITCHBAR, bar_side(), &grip) && grip.contains(e->position().toPoint()))
                return;
            if (QMenu* popup = bar_popup_build(BAR_SWITCHBAR, this))
                popup->popup(e->globalPosition().toPoint());
            return;
        }
        QMenu* menu = win_system_menu(rec);
        if (!menu) {
            QApplication::beep();
            return;
        }
        menu->popup(e->globalPosition().toPoint());
    }

    void mouseMoveEvent(QMouseEvent* e) override
    {
        WindowRecord* rec = record_at(e->position().toPoint());
        show_tooltip(rec);
        if (!rec && (e->buttons() & Qt::LeftButton))
            return;
        set_hovered(rec);
    }

    void leaveEvent(QEvent*) override
    {
        tooltip_destroy();
        set_hovered(nullptr);
    }

    void wheelEvent(QWheelEvent* e) override
    {
        const int notches = e->angleDelta().y() / 120;
        for (int i = 0; i < std::abs(notches); ++i) {
            if (notches > 0 && g_up)
                switchbar_set_scroll_offset(g_scroll - 1);
            else if (notches < 0 && g_down)
                switchbar_set_scroll_offset(g_scroll + 1);
            else
                break;
            switchbar_repaint();
        }
        e->accept();
    }

private:
    void set_hovered(WindowRecord* rec)
    {
        if (rec == g_hovered)
            return;
        for (WindowRecord* r = win_list; r; r = r->next)
            if (SwitchbarButton* b = r->state_slots.find(g_button_slot))
                b->hot = r == rec ? 1 : 0;
        g_hovered = rec;
        update();
    }

    // A status button, or one whose label was cut, offers a tip; leaving
    // the buttons takes it away.
    void show_tooltip(WindowRecord* rec)
    {
        if (g_tooltip_running)
            return;
        g_tooltip_running = 1;
        SwitchbarButton* b = rec ? switchbar_button_of(rec) : nullptr;
        if (!rec || !b || (!b->shortened && rec->type != kWinStatus) ||
            QGuiApplication::applicationState() != Qt::ApplicationActive) {
            tooltip_destroy();
            g_tooltip_running = 0;
            return;
        }
        std::string text;
        if (rec->type == kWinStatus) {
            text = irc_status_caption(rec->conn);
        } else if (const char* label = switchbar_button_label(rec)) {
            text = label;
            if (const TransferProgress* progress = transfer_progress_of(rec))
                text += " " + progress->percent_text;
        }
        tooltip_show(text, rec->number, TOOLTIP_OWNER_SWITCHBAR);
        g_tooltip_running = 0;
    }
};

QRect switchbar_progress_rect(const QRect& button, bool pushed, int percent)
{
    const int shift = pushed ? 1 : 0;
    const QRect inner = button.adjusted(2 + shift, 2 + shift, -2, -2);
    if (inner.width() <= 0 || inner.height() <= 0 || percent <= 0)
        return QRect();
    const long long share = static_cast<long long>(inner.width()) * std::min(percent, 100) / 100;
    const int width = static_cast<int>(std::clamp<long long>(share, 1, inner.width()));
    return QRect(inner.left(), inner.top(), width, inner.height());
}

namespace {

// ---- Drawing a button ----

void draw_button(QPainter& p, SwitchBarWidget* bar, WindowRecord* rec, SwitchbarButton* b, int level,
                 bool has_picture)
{
    const QPalette pal = bar->palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor shadow = pal.color(QPalette::Dark);
    const QColor light = pal.color(QPalette::Light);
    const QRect r = to_qrect(b->rect);
    const bool active = win_active.get() && win_active.get() == rec->hwnd.get();
    const bool raised_style = visual_style.buttons != 0;
    const int font_key = visual_style.font;
    // The active window's button is pushed unless the mouse rests on it.
    const bool pushed = active && !b->hot;

    // Frame.
    if (pushed) {
        if (color_screen_depth > 15 || color_screen_depth == 0) {
            if (font_key == 1) {
                p.fillRect(r, QColor::fromRgb(color_shift_channels(face.rgb(), 17)));
            } else {
                for (int y = r.top(); y <= r.bottom(); ++y)
                    for (int x = r.left() + ((y + r.left()) & 1); x <= r.right(); x += 2)
                        p.setPen(light), p.drawPoint(x, y);
            }
        }
        p.setPen(shadow);
        p.drawLine(r.left() - 1, r.top() - 1, r.right() + 1, r.top() - 1);
        p.drawLine(r.left() - 1, r.top() - 1, r.left() - 1, r.bottom() + 1);
        p.setPen(light);
        p.drawLine(r.left() - 1, r.bottom() + 1, r.right() + 1, r.bottom() + 1);
        p.drawLine(r.right() + 1, r.top() - 1, r.right() + 1, r.bottom() + 1);
    } else if (active || b->hot || has_picture || raised_style) {
        // Raised: a hovered button, every button over a picture or with the
        // raised style.
        p.fillRect(r, face);
        p.setPen(light);
        p.drawLine(r.left() - 1, r.top() - 1, r.right() + 1, r.top() - 1);
        p.drawLine(r.left() - 1, r.top() - 1, r.left() - 1, r.bottom() + 1);
        p.setPen(shadow);
        p.drawLine(r.left() - 1, r.bottom() + 1, r.right() + 1, r.bottom() + 1);
        p.drawLine(r.right() + 1, r.top() - 1, r.right() + 1, r.bottom() + 1);
    }
    const int shift = pushed ? 1 : 0;

    // Drop-down arrow of a collapsed status button.
    int text_right = r.right() - 2;
    b->arrow = WinRect{};
    if (collapsed_status(rec) && r.width() > 35) {
        b->arrow = WinRect{b->rect.right - 15, b->rect.top, b->rect.right, b->rect.bottom};
        const int cy = r.center().y();
        const int tip_x = b->rect.right - 7;
        p.setPen(Qt::black);
        for (int i = 0; i < 3; ++i)
            p.drawLine(tip_x - 2 + i, cy - 1 + i, tip_x + 2 - i, cy - 1 + i);
        if (pushed || active || b->hot) {
            p.setPen(shadow);
            p.drawLine(b->arrow.left, r.top() + 2, b->arrow.left, r.bottom() - 2);
            p.setPen(light);
            p.drawLine(b->arrow.left + 1, r.top() + 2, b->arrow.left + 1, r.bottom() - 2);
        }
        text_right = b->arrow.left - 2;
    }

    // Icon, with the blink wash.
    QColor wash = face;
    const bool blink = g_blink_phase == 1 && switchbar_blink_wanted(rec);
    switchbar_draw_window_icon(p, rec, rec->type, rec->subtype, r.left() + 2 + shift,
                               r.top() + (r.height() - 16) / 2 + shift, blink ? &wash : nullptr);

    // Label.
    const char* label = switchbar_button_label(rec);
    const QString text = QString::fromStdString(label ? label : "");
    p.setFont(bar_font(bar->font(), pushed && font_key == 0));
    const QRect text_rect(r.left() + 21 + shift, r.top() + shift, std::max(0, text_right - (r.left() + 21)),
                          r.height());
    const QFontMetrics fm(p.font());
    const QString shown = fm.elidedText(text, Qt::ElideRight, text_rect.width());
    b->shortened = shown != text ? 1 : 0;
    QColor colour = pal.color(QPalette::ButtonText);
    QColor activity;
    if (switchbar_activity_colour(level, &activity))
        colour = activity;
    p.setPen(colour);
    p.drawText(text_rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);

    // A transfer's progress: its share of the inner width, inverted over the
    // label (white while it runs, grey once it stopped).
    if (const TransferProgress* progress = transfer_progress_of(rec)) {
        const QRect bar_rect = switchbar_progress_rect(r, pushed, progress->percent);
        if (!bar_rect.isEmpty()) {
            p.save();
            p.setCompositionMode(QPainter::CompositionMode_Difference);
            p.fillRect(bar_rect, progress->running ? QColor(Qt::white) : QColor(128, 128, 128));
            p.restore();
        }
    }

    // Separator before the first button of a new group.
    if (b->group_start) {
        if (bar_side() < 2) {
            if (r.left() >= 16) {
                p.setPen(shadow);
                p.drawLine(r.left() - 6, r.top(), r.left() - 6, r.bottom());
                p.setPen(light);
                p.drawLine(r.left() - 5, r.top(), r.left() - 5, r.bottom());
            }
        } else {
            p.setPen(shadow);
            p.drawLine(r.left(), r.top() - 6, r.right(), r.top() - 6);
            p.setPen(light);
            p.drawLine(r.left(), r.top() - 5, r.right(), r.top() - 5);
        }
    }
}

void remove_scroll_buttons()
{
    delete g_up.data();
    delete g_down.data();
}

QToolButton* make_scroll_button(Qt::ArrowType arrow, int step)
{
    auto* b = new QToolButton(g_bar);
    b->setArrowType(arrow);
    b->setAutoRepeat(true);
    b->setAutoRepeatInterval(100);
    b->setAutoRepeatDelay(100);
    dlg_set_item_id(b, step < 0 ? 101 : 102);
    QObject::connect(b, &QToolButton::clicked, [step] {
        switchbar_set_scroll_offset(g_scroll + step);
        switchbar_repaint();
    });
    b->show();
    return b;
}

// The scroll buttons of a side bar, made, moved or removed as the layout
// needs them.
void place_scroll_buttons(int first_top)
{
    if (!g_bar)
        return;
    const int w = g_bar->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 1;
    const int h = w;
    const int cw = g_bar->width();
    const int ch = g_bar->height();
    const bool up_wanted = g_scroll > 0;
    const bool down_wanted = g_down_wanted != 0;
    const int up_top = std::max(0, first_top - 1);
    const int down_top = ch - h;
    if ((up_wanted && down_wanted && down_top < up_top + h) || (!up_wanted && !down_wanted)) {
        remove_scroll_buttons();
        return;
    }
    if (up_wanted) {
        if (!g_up)
            g_up = make_scroll_button(Qt::UpArrow, -1);
        g_up->setGeometry(cw - w - 1, up_top, w, h);
    } else {
        delete g_up.data();
    }
    if (down_wanted) {
        if (!g_down)
            g_down = make_scroll_button(Qt::DownArrow, 1);
        g_down->setGeometry(cw - w - 1, down_top, w, h);
    } else {
        delete g_down.data();
    }
}

// Text width of a button on a horizontal bar with n buttons on r + 1 rows.
int text_width_for(int usable, int n, int r, int limit)
{
    int g;
    if (r == 0) {
        g = (usable - 7 * n) / n - 1;
    } else {
        const int per_row = std::max(1, (n + r) / (r + 1));
        const int num = usable - 7 * per_row;
        g = (num >= 0 ? num / per_row : -((-num + per_row - 1) / per_row)) - 1;
    }
    if (limit && g > 115)
        g = 115;
    if (g < 16)
        g = 16;
    return g;
}

}  // namespace

void SwitchBarWidget::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const QColor face = palette().color(QPalette::Button);
    const bool picture = bar_bg_has(kBarBgSwitchbar) != 0;
    if (picture) {
        const QImage& img = bar_bg_get(kBarBgSwitchbar, width(), height());
        p.fillRect(event->rect(), face);
        if (!img.isNull())
            p.drawImage(QPoint(0, 0), img);
    } else {
        p.fillRect(event->rect(), face);
    }
    const auto levels = group_levels();
    for (WindowRecord* r = win_list; r; r = r->next) {
        SwitchbarButton* b = r->state_slots.find(g_button_slot);
        if (!b || b->place <= 0 || rect_empty(b->rect))
            continue;
        if (!event->rect().intersects(to_qrect(b->rect).adjusted(-6, -6, 1, 1)))
            continue;
        int level = r->activity;
        if (collapsed_status(r)) {
            auto it = levels.find(r->conn);
            if (it != levels.end())
                level = stronger_level(level, it->second);
        }
        draw_button(p, this, r, b, level, picture);
    }
    dock_draw_grip(BAR_SWITCHBAR, p, bar_side());
}

// ---- Records ----

SwitchbarButton* switchbar_button_of(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return nullptr;
    return &rec->state_slots.get(g_button_slot);
}

int switchbar_window_apart(const WindowRecord* rec)
{
    return rec && (rec->type == kWinFinger || rec->type == kWinUrls || rec->type == kWinNotify) ? 1 : 0;
}

const char* switchbar_button_label(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return nullptr;
    std::string& out = g_label;
    out.clear();
    switch (rec->type) {
    case kWinStatus:
        irc_status_label(rec, out, 1);
        break;
    case kWinChannel:
        out = rec->name;
        break;
    case kWinQuery:
        if (rec->subtype == kQueryMessages) {
            out = "Messages";
        } else if (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve) {
            const std::size_t blank = rec->name.find(' ');
            out = blank != std::string::npos && blank + 1 < rec->name.size() ? rec->name.substr(blank + 1)
                                                                              : rec->name;
        } else {
            out = rec->name;
        }
        break;
    case kWinTransfer:
        out = rec->name;
        break;
    case kWinChanList:
        out = "Channels List";
        break;
    case kWinFinger:
        out = "Finger";
        break;
    case kWinUrls:
        out = "Urls List";
        break;
    case kWinNotify:
        out = "Notify List";
        break;
    case kWinLinks:
        out = "Links List";
        break;
    case kWinCustom:
        out = rec->name;
        break;
    default:
        return nullptr;
    }
    if (out.size() > static_cast<std::size_t>(kLabelMax))
        out.resize(kLabelMax);
    return out.c_str();
}

int switchbar_button_shown(WindowRecord* rec)
{
    if (!win_is_record(rec) || !(rec->bar_flags & 1))
        return 0;
    if (rec->type == kWinTransfer && !opt(OPT_SWITCHBAR_DCC_WINDOWS))
        return 0;
    if (rec->hwnd.get() && !win_is_mdi_child(rec->hwnd.get()) && !opt(OPT_SWITCHBAR_DESKTOP_WINDOWS))
        return 0;
    WindowRecord* s = status_record_of(rec);
    if (!s)
        return 0;
    if (s->type != kWinStatus || s->status_expanded || s == rec || switchbar_window_apart(rec) ||
        rec->conn != s->conn)
        return 1;
    switch (rec->type) {
    case kWinChannel:
    case kWinQuery:
    case kWinTransfer:
    case kWinChanList:
    case kWinLinks:
    case kWinCustom:
        return 0;
    default:
        return 1;
    }
}

// ---- Creation ----

QWidget* switchbar_create()
{
    QWidget* frame = win_frame_handle();
    if (!frame)
        return nullptr;
    if (g_bar)
        return g_bar;
    g_bar = new SwitchBarWidget(frame);
    dlg_set_item_id(g_bar, kBarControlId);
    g_bar->resize(0, 0);
    g_bar->hide();
    bar_set_window(BAR_SWITCHBAR, g_bar);
    if (opt(OPT_SWITCHBAR_SHOWN))
        g_bar->show();
    // The frame notes when a click brings it to the front.
    static bool filter_added = false;
    if (!filter_added && qApp) {
        filter_added = true;
        QObject::connect(qApp, &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive && QGuiApplication::mouseButtons() != Qt::NoButton)
                switchbar_note_click_activation();
        });
    }
    return g_bar;
}

QWidget* switchbar_window()
{
    return g_bar.data();
}

int switchbar_is_on()
{
    return g_bar && opt(OPT_SWITCHBAR_SHOWN) ? 1 : 0;
}

int switchbar_extra_rows()
{
    const int rows = opt(OPT_SWITCHBAR_ROWS);
    return rows >= 0 && rows <= 9 ? rows : 0;
}

void switchbar_set_extra_rows(int rows)
{
    g_rows = rows >= 0 && rows <= 9 ? rows : 0;
    opt_set(OPT_SWITCHBAR_ROWS, g_rows);
}

int switchbar_scroll_offset()
{
    return g_scroll;
}

void switchbar_set_scroll_offset(int offset)
{
    g_scroll = std::max(0, offset);
}

int switchbar_text_width()
{
    return g_text_width;
}

int switchbar_wanted_thickness()
{
    if (bar_side() >= 2) {
        const int w = opt(OPT_SWITCHBAR_WIDTH);
        return w >= 27 && w <= 500 ? w : 115;
    }
    const int rh = row_height();
    return rh + switchbar_extra_rows() * (rh - 2);
}

// ---- Layout ----

int switchbar_layout()
{
    for (WindowRecord* r = win_list; r; r = r->next) {
        SwitchbarButton& b = r->state_slots.get(g_button_slot);
        b.rect = WinRect{};
        b.place = 0;
        b.group_start = 0;
        b.laid_name = r->name;
        b.laid = 1;
    }
    if (!g_bar || !switchbar_is_on()) {
        remove_scroll_buttons();
        return 0;
    }
    g_down_wanted = 0;
    g_rows = switchbar_extra_rows();
    const int side = bar_side();
    const bool vertical = side >= 2;
    const int cw = g_bar->width();
    const int ch = g_bar->height();
    const int rh = row_height();
    const int limit = opt(OPT_SWITCHBAR_LIMIT_BUTTONS);

    struct Counted {
        WindowRecord* rec;
        int group_start;
    };
    std::vector<Counted> list;
    int total = 0;
    int gaps = 0;
    std::intptr_t prev_group = 0;
    auto collect = [&] {
        list.clear();
        total = 0;
        gaps = 0;
        for (WindowRecord* r = win_list; r; r = r->next) {
            if (!switchbar_button_shown(r) || !switchbar_button_label(r))
                continue;
            ++total;
            if (vertical && total <= g_scroll)
                continue;
            const std::intptr_t g = group_key(r);
            const int starts = !list.empty() && g != prev_group ? 1 : 0;
            if (starts)
                gaps += 10;
            prev_group = g;
            list.push_back({r, starts});
        }
    };
    collect();
    const int n = static_cast<int>(list.size());
    int changed = 0;
    if (n == 0 && !vertical) {
        remove_scroll_buttons();
        return 0;
    }

    if (!vertical) {
        remove_scroll_buttons();
        const int grip = bars_locked() ? 0 : 8;
        const int usable = cw - (gaps + 10);
        const int start_rows = g_rows;
        int r = g_rows;
        int g = text_width_for(usable, n, r, limit);
        if (opt(OPT_SWITCHBAR_AUTO_ROWS)) {
            bool added = false;
            bool stepped_back = false;
            while (g <= 57 && r <= 8) {
                const int g2 = text_width_for(usable, n, r + 1, limit);
                if (g2 == g) {
                    stepped_back = true;
                    break;
                }
                ++r;
                g = g2;
                added = true;
            }
            if (!added && !stepped_back && (g > 57 || r > 8)) {
                while (r > 0) {
                    const int g2 = text_width_for(usable, n, r - 1, limit);
                    if (g2 <= 57)
                        break;
                    --r;
                    g = g2;
                }
            }
            if (!stepped_back && r != start_rows)
                changed = 1;
            switchbar_set_extra_rows(r);
        }
        g_text_width = g;
        const int top0 = side == 0 ? 4 : 2;
        const int bottom0 = side == 0 ? rh - 4 : rh - 6;
        int x = grip + 1;
        int row = 0;
        bool first_in_row = true;
        int place = 0;
        for (const Counted& c : list) {
            SwitchbarButton& b = c.rec->state_slots.get(g_button_slot);
            if (c.group_start && !first_in_row)
                x += 9;
            int right = x + g + 4;
            if (right >= cw - 3 && !first_in_row) {
                ++row;
                x = grip + 1;
                right = x + g + 4;
            }
            b.rect = WinRect{x, top0 + row * (rh - 2), right, bottom0 + row * (rh - 2)};
            b.place = ++place;
            b.group_start = c.group_start;
            x = right + 4;
            first_in_row = false;
        }
        return changed;
    }

    // A side bar: buttons stacked top to bottom, scrolled by the offset.
    const int grip = bars_locked() ? 0 : 5;
    const int bw = (cw == 0 ? 115 : cw - 2);
    auto place_all = [&](int* fit) {
        const int usable = ch - (gaps + 7);
        const int count = std::max(1, static_cast<int>(list.size()));
        int bh = std::max(usable / count + 1, rh - 1) - 2;
        if (limit)
            bh = rh - 3;
        int y = grip + 4;
        int place = 0;
        *fit = 0;
        g_down_wanted = 0;
        for (const Counted& c : list) {
            SwitchbarButton& b = c.rec->state_slots.get(g_button_slot);
            if (c.group_start)
                y += 8;
            b.rect = WinRect{1, y, 1 + bw, y + bh};
            b.place = ++place;
            b.group_start = c.group_start;
            if (y + bh <= ch)
                ++*fit;
            else
                g_down_wanted = 1;
            y += bh + 4;
        }
        return bh;
    };
    int fit = 0;
    const int bh = place_all(&fit);
    // Correct the offset once: no more skipped than the buttons that do not
    // fit in the bar's height, and never all of them.
    const int room = std::max(1, (ch - (grip + 4) + 4) / (bh + 4));
    const int max_offset = std::max(0, std::min(total - room, total - 1));
    if (g_scroll > max_offset) {
        g_scroll = max_offset;
        for (WindowRecord* r = win_list; r; r = r->next)
            if (SwitchbarButton* b = r->state_slots.find(g_button_slot)) {
                b->rect = WinRect{};
                b->place = 0;
            }
        collect();
        place_all(&fit);
    }
    place_scroll_buttons(list.empty() ? grip + 4 : list.front().rec->state_slots.get(g_button_slot).rect.top);
    return 0;
}

// ---- Repaint ----

void switchbar_repaint(WindowRecord* rec)
{
    if (g_repainting)
        return;
    g_repainting = 1;
    if (g_bar) {
        // The bar follows its option (the frame's toggle and /switchbar).
        if (g_bar->isVisibleTo(g_bar->parentWidget()) != (opt(OPT_SWITCHBAR_SHOWN) != 0))
            g_bar->setVisible(opt(OPT_SWITCHBAR_SHOWN) != 0);
        if (!rec) {
            const int rows_before = switchbar_extra_rows();
            if (switchbar_layout() == 1 || rows_before != switchbar_extra_rows()) {
                g_bar->updateGeometry();
                frame_layout();
            }
            g_bar->update();
        } else if (SwitchbarButton* b = switchbar_button_of(rec)) {
            if (!rect_empty(b->rect))
                g_bar->update(to_qrect(b->rect).adjusted(-6, -6, 2, 2));
        }
    }
    g_repainting = 0;
    treebar_refresh(nullptr, 0);
}

// A channel's or a query's title changed: its button and its treebar item
// show the window's name, so only a renamed window (or one the bars have not
// laid out yet) lays the bars out again; otherwise its own button repaints.
// A status window's label follows its connection: the whole bar.
void switchbar_title_repaint(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->type == kWinStatus) {
        switchbar_repaint();
        return;
    }
    const SwitchbarButton* b = rec->state_slots.find(g_button_slot);
    if (!b || !b->laid || b->laid_name != rec->name) {
        switchbar_repaint();
        return;
    }
    if (g_bar && !rect_empty(b->rect))
        g_bar->update(to_qrect(b->rect).adjusted(-6, -6, 2, 2));
}

// ---- Activity colours and icons ----

bool switchbar_activity_colour(int level, QColor* out)
{
    OptionId id;
    switch (level) {
    case 1:
        id = OPT_ACTIVITY_COLOUR_MESSAGE;
        break;
    case 2:
        id = OPT_ACTIVITY_COLOUR_HIGHLIGHT;
        break;
    case 3:
        id = OPT_ACTIVITY_COLOUR_EVENT;
        break;
    default:
        return false;
    }
    int n = opt(id);
    if (n < 0 || n > 16)
        n = opt_default(id);
    if (n == 0)
        return false;
    if (out)
        *out = QColor::fromRgb(colour_palette_rgb(n - 1));
    return true;
}

int switchbar_button_level(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return 0;
    int level = rec->activity;
    if (collapsed_status(rec)) {
        for (WindowRecord* r = win_list; r; r = r->next)
            if (r != rec && r->conn == rec->conn && !switchbar_window_apart(r))
                level = stronger_level(level, r->activity);
    }
    return level;
}

QColor switchbar_button_text_colour(WindowRecord* rec)
{
    QColor c;
    if (switchbar_activity_colour(switchbar_button_level(rec), &c))
        return c;
    return g_bar ? g_bar->palette().color(QPalette::ButtonText) : QColor(Qt::black);
}

int switchbar_icon_number(WindowRecord* rec, int type, int subtype)
{
    switch (type) {
    case kWinStatus:
        return rec ? win_status_icon_kind(rec->conn) : 27;
    case kWinChannel:
        return 5;
    case kWinQuery:
        if (subtype == kQueryDccChat)
            return 10;
        if (subtype == kQueryFserve)
            return 11;
        return 6;
    case kWinTransfer:
        return subtype == 2 ? 9 : 8;
    case kWinChanList:
        return 7;
    case kWinFinger:
        return 12;
    case kWinUrls:
        return 13;
    case kWinNotify:
        return 14;
    case kWinLinks:
        return 15;
    case kWinCustom:
        return 17;
    default:
        return 0;
    }
}

void switchbar_draw_window_icon(QPainter& painter, WindowRecord* rec, int type, int subtype, int x, int y,
                                const QColor* blink)
{
    const QPixmap pm = icon_pixmap(switchbar_icon_number(rec, type, subtype));
    if (!pm.isNull())
        painter.drawPixmap(x, y, 16, 16, pm);
    if (blink && !alpha_fill(painter, x, y, 16, 16, *blink, 64))
        painter.fillRect(x, y, 16, 16, *blink);
}

int alpha_fill(QPainter& painter, int x, int y, int width, int height, QColor colour, int alpha)
{
    if (width <= 0 || height <= 0)
        return 0;
    colour.setAlpha(std::clamp(alpha, 0, 255));
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillRect(x, y, width, height, colour);
    painter.restore();
    return 1;
}

QRgb color_shift_channels(QRgb rgb, int amount)
{
    auto shift = [amount](int c) {
        const int v = c + amount;
        return v < 0 || v > 255 ? std::clamp(c - amount, 0, 255) : v;
    };
    return qRgb(shift(qRed(rgb)), shift(qGreen(rgb)), shift(qBlue(rgb)));
}

QRgb color_offset_channels(QRgb rgb, int amount)
{
    auto offset = [](int c, int by) {
        int v = c + by;
        if (v < 0)
            v += 2 * std::abs(by);
        else if (v > 255)
            v -= 2 * std::abs(by);
        return std::clamp(v, 0, 255);
    };
    return qRgb(offset(qRed(rgb), amount + 5), offset(qGreen(rgb), amount), offset(qBlue(rgb), amount - 5));
}

// ---- Clicks and groups ----

void switchbar_note_click_activation()
{
    g_click_activation = now_ms();
}

int switchbar_click(WindowRecord* rec, int shift, int ctrl)
{
    if (!win_is_record(rec) || !rec->hwnd.get())
        return 0;
    QWidget* hwnd = rec->hwnd.get();
    if (shift) {
        QPointer<QWidget> target = hwnd;
        QTimer::singleShot(0, [target] {
            if (target && win_record_of(target))
                win_op_close(target);
        });
        return 1;
    }
    const int state = win_op_state(hwnd);
    if (ctrl) {
        if (state == 0 && hwnd->isVisible())
            win_minimize(hwnd, 1);
        return 1;
    }
    const bool recent = g_click_activation >= 0 && now_ms() - g_click_activation < 250;
    g_click_activation = -1;
    const bool is_active = win_active.get() == hwnd;
    if (win_is_mdi_child(hwnd)) {
        if (!recent && is_active && state == 0)
            win_minimize(hwnd, 1);
        else
            win_activate(hwnd, 0);
    } else {
        if (recent && (is_active || (state == 0 && hwnd->isVisible())))
            win_minimize(hwnd, 1);
        else
            win_activate(hwnd, kActivateForeground);
    }
    return 1;
}

int switchbar_toggle_group(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->type != kWinStatus)
        return 0;
    rec->status_expanded = rec->status_expanded ? 0 : 1;
    win_set_status_icon(rec);
    switchbar_repaint();
    treebar_refresh(nullptr, 5);
    return 1;
}

QWidget* switchbar_group_popup(WindowRecord* status)
{
    if (!win_is_record(status) || status->type != kWinStatus)
        return nullptr;
    auto* menu = new QMenu(g_bar ? static_cast<QWidget*>(g_bar) : win_frame_handle());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    int id = 7000;
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (r == status || r->conn != status->conn || switchbar_window_apart(r))
            continue;
        QAction* a = menu->addAction(QString::fromStdString(r->name));
        a->setData(id++);
        if (r->activity) {
            a->setCheckable(true);
            a->setChecked(true);
        }
        const int number = r->number;
        QObject::connect(a, &QAction::triggered, [number] {
            WindowRecord* w = win_record_by_id(number);
            if (w && w->hwnd.get())
                win_activate(w->hwnd.get(), 0);
        });
    }
    if (menu->actions().isEmpty()) {
        delete menu;
        return nullptr;
    }
    g_group_popup = menu;
    return menu;
}

// ---- Blinking ----

int switchbar_blink_wanted(WindowRecord* rec)
{
    if (!opt(OPT_SWITCHBAR_BLINK) || !win_is_record(rec))
        return 0;
    const bool flashing = rec->hwnd.get() && flash_find(rec->hwnd.get()) != nullptr;
    if (rec->type == kWinChannel)
        return rec->activity == 2 || flashing ? 1 : 0;
    if (rec->type != kWinQuery || rec->subtype == kQueryFserve)
        return 0;
    if (rec->subtype == kQueryMessages)
        return rec->activity == 2 || flashing ? 1 : 0;
    return rec->activity == 1 || rec->activity == 2 || flashing ? 1 : 0;
}

namespace {
bool any_blink_wanted()
{
    for (WindowRecord* r = win_list; r; r = r->next)
        if (switchbar_blink_wanted(r))
            return true;
    return false;
}
}  // namespace

void switchbar_blink_start()
{
    if (frame_timer_is_running(FRAME_TIMER_BLINK) || !any_blink_wanted())
        return;
    g_blink_phase = 0;
    frame_timer_start(FRAME_TIMER_BLINK, 500);
}

void switchbar_blink_tick()
{
    g_blink_phase = g_blink_phase ? 0 : 1;
    if (!any_blink_wanted()) {
        frame_timer_stop(FRAME_TIMER_BLINK);
        g_blink_phase = 0;
    }
    switchbar_repaint();
}

int switchbar_blink_phase()
{
    return g_blink_phase;
}

// ---- The window list in the bars' order ----

void winlist_sort_windows()
{
    auto key_of = [](WindowRecord* r) {
        WindowSortKey k;
        k.shared = r->shared;
        k.sequence = r->creation_seq;
        k.connection_id = r->conn && conn_is_live(r->conn) ? r->conn->id : 0;
        k.type = r->type;
        k.subtype = r->subtype;
        k.name = r->name;
        return k;
    };
    win_list = winlist_sort(win_list, key_of);
}

void bars_activation_update(WindowRecord* rec)
{
    // The activated window stops flashing (and so stops blinking on the bars).
    if (win_is_record(rec) && rec->hwnd.get() && flash_find(rec->hwnd.get()))
        flash_stop(rec->hwnd.get());
}

namespace {

int g_activated_listener = 0;
int g_activity_listener = 0;
int g_status_icon_listener = 0;
int g_bars_repaint_listener = 0;
int g_bar_toggled_listener = 0;
int g_frame_activation_listener = 0;
int g_colours_listener = 0;

// New colours: the bars paint again; the treebar gets its background first.
void repaint_bars()
{
    toolbar_repaint();
    switchbar_repaint();
    const ColorRgb tree = color_rgb(kColorTreebar);
    treebar_set_background(QColor(color_rgb_red(tree), color_rgb_green(tree), color_rgb_blue(tree)));
    treebar_refresh(nullptr, 5);
}

// WM_APP+66: the switchbar paints again for the last pending request, the
// treebar's branches are refreshed when a connection asked.
void frame_bars_repainted(bool repaint, intptr_t connection)
{
    if (repaint)
        switchbar_repaint();
    if (connection)
        treebar_refresh(nullptr, 0);
}

// The treebar shown or hidden from the menu: its items again once laid out.
void treebar_toggled(OptionId bar, bool laid_out)
{
    if (laid_out && bar == OPT_TREEBAR_SHOWN)
        treebar_refresh(nullptr, 0);
}

// The docked switchers paint again whenever the application's activation is
// looked at (their active item follows it).
void docked_bars_follow_activation(QWidget*, bool)
{
    if (dock_bars_shown())
        frame_request_bars_repaint(0);
}

void repaint_status_icon(WindowRecord* rec)
{
    switchbar_repaint(rec);
    treebar_refresh(nullptr, 0);
}

void repaint_window(WindowRecord* rec)
{
    switchbar_repaint(rec);
}

}  // namespace

void bars_window_events_install()
{
    win_activated.add_once(g_activated_listener, kActivatedBars, bars_activation_update);
    win_activity_cleared.add_once(g_activity_listener, kActivityClearedSwitchbar, repaint_window);
    win_status_icon_changed.add_once(g_status_icon_listener, kStatusIconBars, repaint_status_icon);
    frame_bars_repaint.add_once(g_bars_repaint_listener, kBarsRepaintSwitchers, frame_bars_repainted);
    frame_bar_toggled.add_once(g_bar_toggled_listener, kBarToggledTreebar, treebar_toggled);
    frame_activation.add_once(g_frame_activation_listener, kActivationDockBars, docked_bars_follow_activation);
    colours_applied.add_once(g_colours_listener, kColoursAppliedBars, repaint_bars);
}

void bars_window_events_uninstall()
{
    win_activated.drop(g_activated_listener);
    win_activity_cleared.drop(g_activity_listener);
    win_status_icon_changed.drop(g_status_icon_listener);
    frame_bars_repaint.drop(g_bars_repaint_listener);
    frame_bar_toggled.drop(g_bar_toggled_listener);
    frame_activation.drop(g_frame_activation_listener);
    colours_applied.drop(g_colours_listener);
}

// ---- The popups of the bars' empty space ----

namespace {

QAction* add_choice(QMenu* menu, int bar, int text_id, int command, bool ticked = false)
{
    QAction* a = menu->addAction(QString::fromUtf8(text_load_string(text_id)));
    a->setData(command);
    if (ticked) {
        a->setCheckable(true);
        a->setChecked(true);
    }
    QObject::connect(a, &QAction::triggered, [bar, command] { bar_popup_command(bar, command); });
    return a;
}

// The side a position command asks for: 7012 top, 7013 left, 7014 bottom,
// 7015 right.
int side_of_command(int id)
{
    static const int sides[4] = {1, 2, 0, 3};
    return sides[id - 7012];
}

void choose_background(int bar)
{
    std::vector<std::string> chosen;
    std::string start = bar_bg_file(bar);
    if (start.empty())
        start = "*.bmp";
    if (file_dialog_run(win_frame_handle(), kFileDialogFile, start, "Dosya Seç", std::string(), chosen) == 1 &&
        !chosen.empty())
        bar_bg_set(bar, chosen.front(), 1);
}

}  // namespace

QMenu* bar_popup_build(int bar, QWidget* parent)
{
    if (bar != BAR_SWITCHBAR && bar != BAR_TREEBAR && bar != BAR_TOOLBAR)
        return nullptr;
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (bar == BAR_TREEBAR) {
        add_choice(menu, bar, 3882, 7056);
        add_choice(menu, bar, 3883, 7057);
        menu->addSeparator();
    }
    QMenu* back = menu->addMenu(QString::fromUtf8(text_load_string(6119)));
    add_choice(back, bar, 6109, 7000);
    add_choice(back, bar, 6110, 7001);
    if (bar == BAR_TOOLBAR) {
        // The picture behind the toolbar's buttons.
        QMenu* buttons = menu->addMenu(QString::fromUtf8(text_load_string(6154)));
        add_choice(buttons, bar, 6109, 7010);
        add_choice(buttons, bar, 6110, 7011);
    }
    QMenu* place = menu->addMenu(QString::fromUtf8(text_load_string(3871)));
    const int side = dock_bar_side(bar);
    for (int id = 7012; id <= 7015; ++id)
        add_choice(place, bar, 3872 + (id - 7012), id, side_of_command(id) == side);
    if (bar == BAR_TREEBAR) {
        menu->addSeparator();
        QMenu* dcc = menu->addMenu(QString::fromUtf8(text_load_string(3878)));
        const int grouping = opt(OPT_N8_7);
        add_choice(dcc, bar, 3879, 7053, grouping == 1);
        add_choice(dcc, bar, 3880, 7054, grouping == 0);
        add_choice(dcc, bar, 3881, 7055, grouping == 2);
        QMenu* notify = menu->addMenu(QString::fromUtf8(text_load_string(3885)));
        const int notify_mode = opt(OPT_N8_23);
        add_choice(notify, bar, 3886, 7058, notify_mode == 2);
        add_choice(notify, bar, 3887, 7059, notify_mode == 1);
        add_choice(notify, bar, 3888, 7060, notify_mode == 0);
        QMenu* kind = menu->addMenu(QString::fromUtf8(text_load_string(3889)));
        add_choice(kind, bar, 3890, 7061, opt(OPT_N8_24) == 0);
        add_choice(kind, bar, 3891, 7062, opt(OPT_N8_24) == 1);
        menu->addSeparator();
        add_choice(menu, bar, 3876, 7050, opt(OPT_N8_4) != 0);
        add_choice(menu, bar, 3877, 7051, opt(OPT_N8_6) != 0);
        add_choice(menu, bar, 3884, 7016, dock_bars_locked() != 0);
    } else {
        menu->addSeparator();
        add_choice(menu, bar, 3884, 7016, dock_bars_locked() != 0);
    }
    menu->addSeparator();
    add_choice(menu, bar, 3836, 7020);
    return menu;
}

int bar_popup_command(int bar, int id)
{
    auto tree_option = [](OptionId option, int value) {
        opt_set(option, value);
        treebar_refresh(nullptr, 1);
        ini_save_options();
        return 1;
    };
    switch (id) {
    case 7000:
        choose_background(bar);
        return 1;
    case 7001:
        bar_bg_clear(bar, 1);
        return 1;
    case 7010:
    case 7011:
        if (bar != BAR_TOOLBAR)
            break;
        if (id == 7010)
            choose_background(kBarBgToolbuttons);
        else
            bar_bg_clear(kBarBgToolbuttons, 1);
        return 1;
    case 7012:
    case 7013:
    case 7014:
    case 7015:
        if (dock_bar_side(bar) != side_of_command(id)) {
            dock_set_bar_side(bar, side_of_command(id));
            frame_layout();
            switchbar_repaint();
        }
        ini_save_options();
        return 1;
    case 7016:
        dock_set_bars_locked(dock_bars_locked() ? 0 : 1);
        frame_layout();
        switchbar_repaint();
        ini_save_options();
        return 1;
    case 7020:
        frame_on_command(nullptr, 159, 2);
        return 1;
    default:
        break;
    }
    if (bar == BAR_TREEBAR) {
        switch (id) {
        case 7050:
            return tree_option(OPT_N8_4, opt(OPT_N8_4) ? 0 : 1);
        case 7051:
            return tree_option(OPT_N8_6, opt(OPT_N8_6) ? 0 : 1);
        case 7053:
            return tree_option(OPT_N8_7, 1);
        case 7054:
            return tree_option(OPT_N8_7, 0);
        case 7055:
            return tree_option(OPT_N8_7, 2);
        case 7058:
            return tree_option(OPT_N8_23, 2);
        case 7059:
            return tree_option(OPT_N8_23, 1);
        case 7060:
            return opt(OPT_N8_23) == 0 ? 1 : tree_option(OPT_N8_23, 0);
        case 7061:
            return tree_option(OPT_N8_24, 0);
        case 7062:
            return tree_option(OPT_N8_24, 1);
        case 7056:
            treebar_refresh(nullptr, 3);
            return 1;
        case 7057:
            treebar_refresh(nullptr, 4);
            return 1;
        default:
            break;
        }
    }
    QApplication::beep();
    return 0;
}

namespace {
int g_tick_listener = 0;
int g_captions_listener = 0;
int g_progress_listener = 0;
int g_making_listener = 0;
int g_list_listener = 0;

void switchbar_list_changed(const WinListChange& change)
{
    if (change.kind == kWinListOrder)
        winlist_sort_windows();
    else if (change.kind == kWinListLook)
        switchbar_repaint();
}
}  // namespace

void switchbar_install()
{
    frame_bars_making.add_once(g_making_listener, kMakeSwitchbar, [] { return switchbar_create() == nullptr; });
    tick_second.add_once(g_tick_listener, kTickSwitchbarBlink, switchbar_blink_start);
    // The blinking runs on the frame's timer 124.
    frame_set_timer_handler(FRAME_TIMER_BLINK, [](int) { switchbar_blink_tick(); });
    captions_updated.add_once(g_captions_listener, kCaptionsUpdatedSwitchbar, switchbar_title_repaint);
    win_list_changed.add_once(g_list_listener, kWinListChangedSwitchbar, switchbar_list_changed);
    transfer_progress_changed.add_once(g_progress_listener, kTransferProgressSwitchbar,
                                       [](WindowRecord* rec) { switchbar_repaint(rec); });
}

void switchbar_uninstall()
{
    frame_bars_making.drop(g_making_listener);
    tick_second.drop(g_tick_listener);
    captions_updated.drop(g_captions_listener);
    win_list_changed.drop(g_list_listener);
    transfer_progress_changed.drop(g_progress_listener);
}
