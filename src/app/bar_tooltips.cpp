// The bars' tooltip window.
#include "app/bar_tooltips.h"

#include "app/bar_docking.h"
#include "display/bar_windows.h"
#include "model/colors.h"
#include "platform/platform_utils.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {

constexpr unsigned char kBold = 0x02, kColour = 0x03, kPlain = 0x0F, kReverse = 0x16, kUnderline = 0x1F;
constexpr int kTickMs = 100;

// One run of equally formatted text.
struct TipRun {
    QString text;
    bool bold = false, underline = false, reverse = false;
    int fg = -1, bg = -1;  // palette indexes, -1 the tip's own colours
};

// Splits a formatted text into runs by its control codes.
std::vector<TipRun> tip_runs(const std::string& text)
{
    std::vector<TipRun> runs;
    TipRun cur;
    std::string bytes;
    auto flush = [&] {
        if (!bytes.empty()) {
            cur.text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
            runs.push_back(cur);
            bytes.clear();
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == kBold || c == kUnderline || c == kReverse || c == kPlain) {
            flush();
            if (c == kBold)
                cur.bold = !cur.bold;
            else if (c == kUnderline)
                cur.underline = !cur.underline;
            else if (c == kReverse)
                cur.reverse = !cur.reverse;
            else
                cur = TipRun{};
        } else if (c == kColour) {
            flush();
            // Up to two digits of text colour, then a comma and up to two of
            // background; a bare code goes back to the tip's colours.
            auto digits = [&](std::size_t& at) {
                int value = -1;
                for (int n = 0; n < 2 && at + 1 < text.size() && text[at + 1] >= '0' && text[at + 1] <= '9'; ++n) {
                    value = (value < 0 ? 0 : value * 10) + (text[at + 1] - '0');
                    ++at;
                }
                return value;
            };
            const int fg = digits(i);
            if (fg < 0) {
                cur.fg = cur.bg = -1;
                continue;
            }
            cur.fg = fg % 16;
            if (i + 2 < text.size() && text[i + 1] == ',' && text[i + 2] >= '0' && text[i + 2] <= '9') {
                ++i;
                const int bg = digits(i);
                if (bg >= 0)
                    cur.bg = bg % 16;
            }
        } else {
            bytes.push_back(static_cast<char>(c));
        }
    }
    flush();
    return runs;
}

QColor palette_colour(int index)
{
    const ColorRgb v = color_rgb(static_cast<std::uint32_t>(index));
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

QFont run_font(const QFont& base, const TipRun& r)
{
    QFont f = base;
    if (r.bold)
        f.setBold(true);
    if (r.underline)
        f.setUnderline(true);
    return f;
}

// The size of a formatted text in the font.
QSize measure(const QFont& font, const std::string& text)
{
    int width = 0;
    int height = QFontMetrics(font).height();
    for (const TipRun& r : tip_runs(text)) {
        QFontMetrics fm(run_font(font, r));
        width += fm.horizontalAdvance(r.text);
        height = std::max(height, fm.height());
    }
    return QSize(width, height);
}

class TipWindow : public QWidget {
public:
    TipWindow() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setObjectName("Kest_ToolTip");
        setProperty("className", QStringLiteral("Kest_ToolTip"));
        setAttribute(Qt::WA_ShowWithoutActivating, true);
        setAttribute(Qt::WA_TransparentForMouseEvents, true);
        setEnabled(false);
        setCursor(Qt::ArrowCursor);
        timer.setInterval(kTickMs);
        QObject::connect(&timer, &QTimer::timeout, this, [] { tooltip_tick(); });
    }
    QTimer timer;
    QFont font;

protected:
    void paintEvent(QPaintEvent*) override;
};

struct TipState {
    QPointer<TipWindow> window;
    QPointer<QWidget> owner;
    int owner_kind = -1;
    std::intptr_t key = -1;
    std::string text;
    int countdown = 0;
    std::uint64_t last_request = 0;
    QPoint cursor;
};
TipState g_tip;

void TipWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QColor text_colour = palette().color(QPalette::ToolTipText);
    const QColor back_colour = palette().color(QPalette::ToolTipBase);
    p.fillRect(rect(), back_colour);
    int x = 2;
    const int y = 1;
    for (const TipRun& r : tip_runs(g_tip.text)) {
        const QFont f = run_font(font, r);
        QFontMetrics fm(f);
        QColor fg = r.fg >= 0 ? palette_colour(r.fg) : text_colour;
        QColor bg = r.bg >= 0 ? palette_colour(r.bg) : back_colour;
        if (r.reverse)
            std::swap(fg, bg);
        const int w = fm.horizontalAdvance(r.text);
        if (r.bg >= 0 || r.reverse)
            p.fillRect(QRect(x, y, w, fm.height()), bg);
        p.setFont(f);
        p.setPen(fg);
        p.drawText(x, y + fm.ascent(), r.text);
        x += w;
    }
}

// The status-bar font as the system gives it.
QFont status_font()
{
    return QApplication::font("QStatusBar");
}

QWidget* owner_of_kind(int kind, QWidget* window)
{
    if (kind == TOOLTIP_OWNER_TOOLBAR)
        return bar_window(BAR_TOOLBAR);
    if (kind == TOOLTIP_OWNER_SWITCHBAR)
        return bar_window(BAR_SWITCHBAR);
    return window;
}

}  // namespace

std::string tooltip_prepare_text(const std::string& in)
{
    std::string text = in.substr(0, kTooltipTextMax);
    if (text.size() > static_cast<std::size_t>(kTooltipShownMax)) {
        std::size_t cut = kTooltipShownMax;
        // Not inside a multi-byte character.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text = text.substr(0, cut) + "...";
    }
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) == kPlain && !out.empty() && static_cast<unsigned char>(out.back()) == kPlain)
            continue;
        out.push_back(c);
    }
    std::size_t from = 0;
    while (from < out.size() && static_cast<unsigned char>(out[from]) == kPlain)
        ++from;
    std::size_t to = out.size();
    while (to > from && static_cast<unsigned char>(out[to - 1]) == kPlain)
        --to;
    return out.substr(from, to - from);
}

void tooltip_destroy()
{
    if (TipWindow* w = g_tip.window.data()) {
        w->timer.stop();
        w->hide();
        g_tip.window = nullptr;
        w->deleteLater();
    }
    g_tip.owner = nullptr;
    g_tip.owner_kind = -1;
    g_tip.key = -1;
    g_tip.text.clear();
    g_tip.countdown = 0;
}

void tooltip_hide()
{
    if (g_tip.window)
        g_tip.window->hide();
}

int tooltip_show(const std::string& text_in, std::intptr_t item_key, int owner_kind, QWidget* window)
{
    if (owner_kind < TOOLTIP_OWNER_TOOLBAR || owner_kind > TOOLTIP_OWNER_WINDOW) {
        g_tip.last_request = 0;
        tooltip_destroy();
        return 0;
    }
    if (text_in.empty()) {
        tooltip_destroy();
        return 0;
    }
    const std::string text = tooltip_prepare_text(text_in);
    if (text.empty()) {
        tooltip_destroy();
        return 0;
    }
    QWidget* owner = owner_of_kind(owner_kind, window);
    const bool visible = g_tip.window && g_tip.window->isVisible();
    if (owner_kind != TOOLTIP_OWNER_WINDOW) {
        if (owner != g_tip.owner.data())
            g_tip.last_request = 0;
        else if (g_tip.countdown > 0 && !visible && item_key == g_tip.key && text == g_tip.text)
            return 0;
    }
    const std::uint64_t now = time_ticks_ms();
    int delay = 500;
    if (visible || (g_tip.last_request != 0 && now - g_tip.last_request <= 1000))
        delay = 100;
    g_tip.last_request = now;
    if (g_tip.window && item_key == g_tip.key && text == g_tip.text && owner == g_tip.owner.data())
        return 0;
    if (!owner || !owner->isVisible()) {
        tooltip_destroy();
        return 0;
    }
    g_tip.owner = owner;
    g_tip.owner_kind = owner_kind;
    g_tip.key = item_key;
    g_tip.text = text;
    if (!g_tip.window)
        g_tip.window = new TipWindow;
    TipWindow* w = g_tip.window.data();
    w->font = status_font();
    const QSize size = measure(w->font, text);
    w->hide();
    w->resize(size.width() + 6, size.height() + 4);
    w->update();
    g_tip.cursor = QCursor::pos();
    g_tip.countdown = delay;
    w->timer.start();
    return delay;
}

bool tooltip_check()
{
    if (!g_tip.window)
        return false;
    if (QGuiApplication::mouseButtons() & (Qt::LeftButton | Qt::RightButton)) {
        tooltip_destroy();
        return false;
    }
    QWidget* owner = g_tip.owner.data();
    QWidget* active = QApplication::activeWindow();
    QWidget* under = QApplication::widgetAt(QCursor::pos());
    const bool ok = owner && active && (active == owner->window()) && under &&
                    (under == owner || owner->isAncestorOf(under));
    if (!ok) {
        tooltip_destroy();
        return false;
    }
    return true;
}

void tooltip_place(int side, int cx, int cy, int width, int height, int work_left, int work_right, int* x, int* y)
{
    switch (side) {
    case DOCK_RIGHT:
        *x = cx - width - 10;
        *y = cy + 5;
        break;
    case DOCK_LEFT:
        *x = cx + 15;
        *y = cy + 5;
        break;
    case DOCK_BOTTOM:
        *x = cx + 10;
        *y = cy - height - 5;
        break;
    default:
        *x = cx + 10;
        *y = cy + height + 5;
        break;
    }
    if (*x + width > work_right)
        *x = work_right - width;
    if (*x < work_left)
        *x = work_left;
}

void tooltip_tick()
{
    if (!tooltip_check())
        return;
    TipWindow* w = g_tip.window.data();
    if (g_tip.countdown <= 0)
        return;
    g_tip.countdown -= kTickMs;
    if (g_tip.countdown > 0 || w->isVisible())
        return;
    const QPoint now = QCursor::pos();
    if (now != g_tip.cursor) {
        g_tip.cursor = now;
        g_tip.countdown = kTickMs;
        return;
    }
    g_tip.countdown = 0;
    int side = DOCK_TOP;
    if (g_tip.owner_kind == TOOLTIP_OWNER_TOOLBAR)
        side = dock_bar_side(BAR_TOOLBAR);
    else if (g_tip.owner_kind == TOOLTIP_OWNER_SWITCHBAR)
        side = dock_bar_side(BAR_SWITCHBAR);
    QRect work(0, 0, 1024, 768);
    if (QScreen* s = g_tip.owner ? g_tip.owner->screen() : QGuiApplication::primaryScreen())
        work = s->availableGeometry();
    int x = 0, y = 0;
    tooltip_place(side, now.x(), now.y(), w->width(), w->height(), work.left(), work.left() + work.width(), &x, &y);
    w->move(x, y);
    w->show();
    w->raise();
}

QWidget* tooltip_window()
{
    return g_tip.window.data();
}

bool tooltip_visible()
{
    return g_tip.window && g_tip.window->isVisible();
}

QWidget* tooltip_owner()
{
    return g_tip.owner.data();
}

std::intptr_t tooltip_item_key()
{
    return g_tip.key;
}

const std::string& tooltip_text()
{
    return g_tip.text;
}

int tooltip_countdown()
{
    return g_tip.countdown;
}
