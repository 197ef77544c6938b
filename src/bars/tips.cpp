#include "bars/tips.h"

#include <QApplication>
#include <QGuiApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/files.h"
#include "display/highlight.h"
#include "model/line_buffer.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

Tip* tip_list = nullptr;

namespace {

constexpr int kTipTextMax = 4150;


int clamp_opt(int n, int v)
{
    if (n == TIPOPT_MAX_TIPS)
        return std::clamp(v, 5, 50);
    if (n == TIPOPT_SECONDS)
        return std::clamp(v, 3, 60);
    return v ? 1 : 0;
}

QWidget* frame()
{
    return frame_window.data();
}

// The work area of the frame's monitor (the primary one without a frame).
QRect work_area()
{
    QScreen* s = nullptr;
    if (QWidget* f = frame())
        s = f->screen();
    if (!s)
        s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

// 0 bottom, 1 top, 2 left: where the desktop keeps its panel.
int taskbar_edge()
{
    QScreen* s = frame() ? frame()->screen() : QGuiApplication::primaryScreen();
    if (!s)
        return 0;
    const QRect g = s->geometry(), a = s->availableGeometry();
    if (a.left() > g.left())
        return 2;
    if (a.top() > g.top())
        return 1;
    return 0;
}

QFont status_font()
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (f.pointSizeF() <= 0 && f.pixelSize() <= 0)
        f.setPointSize(9);
    return f;
}

QString qs(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

// Each doubled reset code collapsed into one.
std::string collapse_resets(std::string s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == '\x0f' && !out.empty() && out.back() == '\x0f')
            continue;
        out.push_back(c);
    }
    return out;
}

std::string skip_leading_breaks(const std::string& s)
{
    std::size_t i = s.find_first_not_of("\r\n ");
    return i == std::string::npos ? std::string() : s.substr(i);
}

std::string without_breaks(std::string s)
{
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }), s.end());
    return s;
}

// The text as painted: control codes removed.
std::string plain(std::string s)
{
    text_strip_codes(s, -1);
    return s;
}

// The text cut to whole UTF-8 characters at most n bytes long.
std::string cut_utf8(const std::string& s, std::size_t n)
{
    if (s.size() <= n)
        return s;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return s.substr(0, n);
}

bool tip_live(const Tip* t)
{
    for (Tip* p = tip_list; p; p = p->next)
        if (p == t)
            return true;
    return false;
}

// ---- The tip window ----

class TipWindow : public QWidget {
public:
    explicit TipWindow(Tip* tip)
        : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), tip_(tip)
    {
        setObjectName("Kest_Tip");
        setProperty("windowClass", "Kest_Tip");
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_DeleteOnClose, false);
        setMouseTracking(true);
        timer_.setInterval(100);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            if (tip_ && tip_live(tip_))
                tip_timer(tip_);
        });
        timer_.start();
    }
    Tip* tip() const { return tip_; }
    // The record is gone: events still queued for the window do nothing.
    void detach()
    {
        tip_ = nullptr;
        timer_.stop();
    }
    QTimer& timer() { return timer_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* e) override
    {
        if (!tip_)
            return;
        const int hover = tip_->close_rect.contains(e->position().toPoint()) ? 1 : 0;
        if (hover != tip_->close_hover) {
            tip_->close_hover = hover;
            update(tip_->close_rect);
        }
        setCursor((e->buttons() & Qt::RightButton) ? Qt::ClosedHandCursor : Qt::ArrowCursor);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (!tip_)
            return;
        if (e->button() == Qt::RightButton)
            setCursor(Qt::ClosedHandCursor);
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        setCursor(Qt::ArrowCursor);
        if (!tip_ || e->button() != Qt::LeftButton)
            return;
        if (tip_->close_rect.contains(e->position().toPoint()) || (e->modifiers() & Qt::ShiftModifier))
            tip_free(tip_);  // deletes this window later
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        if (!tip_ || e->button() != Qt::LeftButton || tip_->close_rect.contains(e->position().toPoint()))
            return;
        tip_double_click(tip_);
    }
    void leaveEvent(QEvent*) override
    {
        if (tip_ && tip_->close_hover) {
            tip_->close_hover = 0;
            update(tip_->close_rect);
        }
    }

private:
    Tip* tip_;
    QTimer timer_;
};

QColor shifted(QColor c, int d)
{
    return QColor(std::clamp(c.red() + d, 0, 255), std::clamp(c.green() + d, 0, 255),
                  std::clamp(c.blue() + d, 0, 255));
}

// The remaining-time bar inside its 16 x 16 box.
QRect bar_fill_rect(const Tip* t)
{
    const QRect box = t->bar_rect;
    const int total = std::max(1, t->total_ms);
    const int rem = std::clamp(t->remaining_ms, 0, total);
    const int full = box.height() - 2;
    const int h = static_cast<int>((static_cast<long long>(full) * rem + total - 1) / total);
    const int x = box.left() + (box.width() - 4) / 2;
    return QRect(x, box.bottom() - h, 4, h);
}

void TipWindow::paintEvent(QPaintEvent*)
{
    Tip* t = tip_;
    if (!t)
        return;
    QPainter p(this);
    const QPalette pal = QApplication::palette();
    p.fillRect(rect(), pal.color(QPalette::ToolTipBase));
    const QRect content = rect().adjusted(8, 8, -8, -6);
    // The icon.
    QPixmap icon = t->icon;
    if (icon.isNull())
        icon = img_load_icon(std::string(), 1, 1).pixmap(16, 16);
    if (!icon.isNull())
        p.drawPixmap(QRect(content.left(), content.top(), 16, 16), icon);
    // The close box.
    QColor face = shifted(pal.color(QPalette::Button), -50);
    if (t->close_hover)
        face = shifted(face, -50);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(face);
    p.setBrush(face);
    p.drawRoundedRect(t->close_rect.adjusted(0, 0, -1, -1), 5, 5);
    p.setPen(QPen(pal.color(QPalette::ToolTipBase), 2));
    const QRect x = t->close_rect.adjusted(4, 4, -5, -5);
    p.drawLine(x.topLeft(), x.bottomRight());
    p.drawLine(x.topRight(), x.bottomLeft());
    p.setRenderHint(QPainter::Antialiasing, false);
    // The remaining-time bar.
    if (t->bar_shown) {
        const QRect fill = bar_fill_rect(t);
        p.setPen(pal.color(QPalette::WindowText));
        p.setBrush(QColor(255, 0, 0));
        if (fill.height() > 0)
            p.drawRect(fill.adjusted(0, 0, -1, -1));
        t->bar_drawn = fill;
    }
    // The title lines.
    p.setPen(pal.color(QPalette::ToolTipText));
    QFont bold = t->font;
    bold.setWeight(QFont::Bold);
    p.setFont(bold);
    const QFontMetrics bfm(bold);
    const int tx = content.left() + 21;
    const int tw = std::max(0, t->bar_rect.left() - 5 - tx);
    int y = content.top() + 4;
    int title_lines = 0;
    for (const std::string* line : {&t->title, &t->title2}) {
        if (line->empty())
            continue;
        const QString s = bfm.elidedText(qs(plain(*line)), Qt::ElideRight, tw);
        p.drawText(QRect(tx, y, tw, 16), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, s);
        y += 16;
        ++title_lines;
    }
    // The text lines.
    QFont normal = t->font;
    normal.setWeight(QFont::Normal);
    p.setFont(normal);
    y = content.top() + 4 + 16 * std::max(1, title_lines) + 5;
    for (const TipLine& l : t->lines) {
        p.drawText(QRect(content.left(), y, content.width(), l.height), Qt::AlignLeft | Qt::TextSingleLine,
                   qs(plain(l.text)));
        y += l.height;
    }
    // The outline.
    p.setPen(pal.color(QPalette::Button));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(rect().adjusted(0, 0, -1, -1), 5, 5);
}

TipWindow* window_of(const Tip* t)
{
    return static_cast<TipWindow*>(t->hwnd.data());
}

// Wraps one paragraph at the width into lines.
void wrap_paragraph(const QString& para, const QFontMetrics& fm, int width, std::vector<TipLine>& out)
{
    const int h = fm.height();
    if (para.isEmpty()) {
        out.push_back({std::string(), 0, h});
        return;
    }
    int start = 0;
    const int n = static_cast<int>(para.size());
    while (start < n) {
        int end = start;
        int last_space = -1;
        int w = 0;
        while (end < n) {
            const int cw = fm.horizontalAdvance(para.at(end));
            if (w + cw > width && end > start)
                break;
            if (para.at(end) == ' ')
                last_space = end;
            w += cw;
            ++end;
        }
        int cut = end;
        if (end < n && last_space > start)
            cut = last_space;
        const QString piece = para.mid(start, cut - start);
        out.push_back({piece.toStdString(), fm.horizontalAdvance(piece), h});
        start = cut;
        while (start < n && para.at(start) == ' ' && cut != end)
            ++start, cut = end;  // skip the space the line broke at
    }
}

void wrap_text(Tip* t, int width, std::vector<TipLine>& out)
{
    out.clear();
    QFont normal = t->font;
    normal.setWeight(QFont::Normal);
    const QFontMetrics fm(normal);
    std::string text = t->text;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t br = text.find("\r\n", pos);
        const std::string para = text.substr(pos, br == std::string::npos ? std::string::npos : br - pos);
        wrap_paragraph(qs(plain(para)), fm, width, out);
        if (br == std::string::npos)
            break;
        pos = br + 2;
    }
}

void layout_boxes(Tip* t)
{
    t->close_rect = QRect(t->width - 8 - 16, 8, 16, 16);
    t->bar_rect = QRect(t->close_rect.left() - 16, 8, 16, 16);
}

void repaint(Tip* t)
{
    if (TipWindow* w = window_of(t)) {
        layout_boxes(t);
        w->update();
    }
}

int tips_lock_active()
{
    return 0;  // the lock's tips flag: no lock is built here
}

// Moves a value toward its target by half the distance, at least 10, never past it.
int approach(int v, int target)
{
    if (v == target)
        return v;
    int step = std::max(10, std::abs(target - v) / 2);
    if (v < target)
        return std::min(target, v + step);
    return std::max(target, v - step);
}

bool any_fullscreen(bool topmost_only)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || !w->isFullScreen() || tip_is_tip_window(w))
            continue;
        if (!topmost_only || (w->windowFlags() & Qt::WindowStaysOnTopHint))
            return true;
    }
    return false;
}

}  // namespace

// ---- Options ----

void tipopt_set(int n, int value)
{
    if (n >= 1 && n <= TIPOPT_COUNT)
        tip_options[n - 1] = clamp_opt(n, value);
}

void tipopts_load()
{
    static const int defaults[TIPOPT_COUNT] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                               0, 0, 1, 0, 1, 0, 0, 0, 0, 30, 10, 1};
    std::string v;
    ini_read("options", "tipopts", "", v, kMediumTextSize, std::string());
    std::size_t pos = 0;
    for (int n = 1; n <= TIPOPT_COUNT; ++n) {
        int value = defaults[n - 1];
        if (pos <= v.size() && !v.empty()) {
            std::size_t comma = v.find(',', pos);
            const std::string field = v.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            if (!field.empty()) {
                char* end = nullptr;
                const long x = std::strtol(field.c_str(), &end, 10);
                if (end != field.c_str())
                    value = static_cast<int>(std::clamp<long>(x, -1000, 1000));
            }
            pos = comma == std::string::npos ? v.size() + 1 : comma + 1;
        }
        tip_options[n - 1] = clamp_opt(n, value);
    }
}

void tipopts_save()
{
    std::string v;
    for (int n = 1; n <= TIPOPT_COUNT; ++n) {
        if (n > 1)
            v += ',';
        v += std::to_string(tip_options[n - 1]);
    }
    ini_write("options", "tipopts", v.c_str(), std::string());
}

void tip_options_apply(int working[TIPOPT_COUNT], int apply)
{
    if (!apply) {
        std::copy(tip_options, tip_options + TIPOPT_COUNT, working);
        return;
    }
    for (int n = 1; n <= TIPOPT_COUNT; ++n)
        tip_options[n - 1] = clamp_opt(n, working[n - 1]);
    tipopts_save();
    while (tip_count() > tipopt(TIPOPT_MAX_TIPS))
        tip_free(tip_list);
    if (!tipopt(TIPOPT_ENABLED))
        tip_free_all();
}

// ---- Per-window setting ----

namespace {

bool has_tips_setting(const WindowRecord* rec)
{
    return rec->type == kWinChannel || rec->type == kWinQuery;
}

// The key of the window in section "tips".
std::string tips_key(const WindowRecord* rec)
{
    if (rec->type == kWinQuery && rec->subtype == kQueryMessages)
        return "omessage";
    if (rec->type == kWinQuery && (rec->subtype == kQueryDccChat || rec->subtype == kQueryFserve)) {
        const std::size_t sp = rec->name.find(' ');
        return sp == std::string::npos ? rec->name : rec->name.substr(sp + 1);
    }
    return rec->name;
}

}  // namespace

int tip_window_setting_get(WindowRecord* rec)
{
    if (!win_is_record(rec))
        return 0;
    if (!has_tips_setting(rec)) {
        rec->tips = 0;
        return 0;
    }
    const std::string key = tips_key(rec);
    if (key.empty())
        return rec->tips;
    std::string v;
    ini_read("tips", key.c_str(), "", v, kShortTextSize, std::string());
    rec->tips = text_equal_nocase(v, "on") ? 1 : text_equal_nocase(v, "off") ? 0 : 2;
    return rec->tips;
}

void tip_window_setting_set(WindowRecord* rec, int setting)
{
    if (!win_is_record(rec) || setting < 0 || setting > 2)
        return;
    rec->tips = setting;
    if (!has_tips_setting(rec))
        return;
    const std::string key = tips_key(rec);
    if (key.empty())
        return;
    ini_write("tips", key.c_str(), setting == 2 ? nullptr : setting ? "on" : "off", std::string());
}

int tip_enabled_for_window(WindowRecord* rec)
{
    if (!rec || !win_is_record(rec))
        return tipopt(TIPOPT_ENABLED);
    const int own = tip_window_setting_get(rec);
    if (own == 0 || own == 1)
        return own;
    return tipopt(TIPOPT_ENABLED);
}

// ---- The list ----

int tip_count()
{
    int n = 0;
    for (Tip* p = tip_list; p; p = p->next)
        ++n;
    return n;
}

int tip_position(const Tip* tip)
{
    int n = 1;
    for (Tip* p = tip_list; p; p = p->next, ++n)
        if (p == tip)
            return n;
    return 0;
}

Tip* tip_at(int position)
{
    int n = 1;
    for (Tip* p = tip_list; p; p = p->next, ++n)
        if (n == position)
            return p;
    return nullptr;
}

Tip* tip_find_by_name(const std::string& name)
{
    for (Tip* p = tip_list; p; p = p->next)
        if (text_equal_nocase(p->name, name))
            return p;
    return nullptr;
}

Tip* tip_find_by_window(const QWidget* hwnd)
{
    if (!hwnd)
        return nullptr;
    for (Tip* p = tip_list; p; p = p->next)
        if (p->hwnd.data() == hwnd)
            return p;
    return nullptr;
}

int tip_is_tip_window(const QWidget* hwnd)
{
    return hwnd && hwnd->objectName() == QLatin1String("Kest_Tip") && dynamic_cast<const TipWindow*>(hwnd) ? 1 : 0;
}

void tip_free(Tip* tip)
{
    if (!tip)
        return;
    Tip** pp = &tip_list;
    while (*pp && *pp != tip)
        pp = &(*pp)->next;
    if (!*pp)
        return;
    *pp = tip->next;
    if (TipWindow* w = window_of(tip)) {
        w->detach();
        w->hide();
        w->deleteLater();
    }
    delete tip;
}

void tip_free_all()
{
    while (tip_list)
        tip_free(tip_list);
}

// ---- Measuring ----

int tip_measure(Tip* t, int allow_truncation)
{
    const QRect area = work_area();
    const int quarter = area.width() / 4;
    const int limit = quarter <= 115 ? 100 : quarter - 16;
    QFont bold = t->font;
    bold.setWeight(QFont::Bold);
    const QFontMetrics bfm(bold);
    int width = 100;
    int title_width = 0;
    for (const std::string* line : {&t->title, &t->title2}) {
        if (line->empty())
            continue;
        const int w = bfm.horizontalAdvance(qs(plain(*line))) + 58;
        title_width = std::max(title_width, w);
        width = std::max(width, w);
    }
    width = std::clamp(width, 100, std::max(100, limit));
    const int header = (t->title2.empty() ? 24 : 40) + 5;
    std::vector<TipLine> lines;
    wrap_text(t, width, lines);
    if (lines.size() >= 2 && width < limit - 50) {
        width = std::min(width + 50, limit);
        wrap_text(t, width, lines);
    }
    int height = header + 8;
    for (const TipLine& l : lines)
        height += l.height;
    if (height > area.height() / 2) {
        if (!allow_truncation)
            return 0;
        while (lines.size() > 1 && height > area.height() / 2) {
            height -= lines.back().height;
            lines.pop_back();
        }
        std::string& last = lines.back().text;
        // Its last three characters give way to "...".
        QString q = qs(last);
        q.chop(std::min<qsizetype>(3, q.size()));
        last = q.toStdString() + "...";
        QFont normal = t->font;
        normal.setWeight(QFont::Normal);
        lines.back().width = QFontMetrics(normal).horizontalAdvance(qs(last));
        t->truncated = 1;
    }
    int widest = std::max(100, title_width);
    for (const TipLine& l : lines)
        widest = std::max(widest, l.width);
    t->lines = std::move(lines);
    t->width = std::min(std::max(100, limit), widest) + 16;
    t->height = height;
    layout_boxes(t);
    return 1;
}

// ---- Making a tip ----

int tip_show(WindowRecord* window, const std::string& name_in, const std::string& title_in,
             const std::string& text_in, int seconds, const std::string& icon_file, int icon_index,
             const std::string& alias, int kind, const void* source)
{
    if (!win_is_record(window) || !window->conn || !conn_is_live(window->conn))
        return 0;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return 0;
    Connection* conn = window->conn;
    if (name_in.empty())
        return -1;
    std::string title = skip_leading_breaks(title_in);
    if (title.empty())
        return -1;
    std::string title2;
    if (kind == 0) {
        const std::size_t br = title.find("\r\n");
        if (br != std::string::npos) {
            title2 = skip_leading_breaks(title.substr(br + 2));
            title.erase(br);
            if (title.empty())
                return -1;
        }
    } else {
        if (!conn->network.empty())
            title2 = conn->network;
        else if (!conn->server_name.empty())
            title2 = conn->server_name;
    }
    title = cut_utf8(without_breaks(title), kMediumText);
    title2 = cut_utf8(without_breaks(title2), kMediumText);
    const std::string text = cut_utf8(collapse_resets(text_in), kTipTextMax);
    if (text.empty())
        return -1;
    if (alias.size() > kLongText)
        return -1;

    auto* t = new Tip;
    t->name = cut_utf8(name_in, kMediumText);
    t->title = title;
    t->title2 = title2;
    t->text = text;
    const int base = seconds > 0 ? seconds : 10;
    const long long total = std::clamp<long long>(base + static_cast<long long>(text.size()) / 50, 3, 60);
    t->total_ms = t->remaining_ms = static_cast<int>(total * 1000);
    t->alias = alias;
    t->window = window;
    t->conn = conn;
    t->source = source;
    t->kind = kind;
    if (!icon_file.empty()) {
        std::string path;
        if (!file_resolve_path(icon_file, path)) {
            delete t;
            return -2;
        }
        const QIcon icon = img_load_icon(path, icon_index, 1);
        if (icon.isNull()) {
            delete t;
            return -2;
        }
        t->icon_file = path.substr(0, kMediumText);
        t->icon_index = icon_index;
        t->icon = icon.pixmap(16, 16);
    }
    t->font = status_font();
    tip_measure(t, 1);

    // A follow-up of the last tip joins it while it fits.
    Tip* last = tip_list;
    while (last && last->next)
        last = last->next;
    if (last && !last->truncated && !last->closing && last->kind == kind && last->conn == conn &&
        last->window == window && text_equal_nocase(last->title, t->title) &&
        text_equal_nocase(last->title2, t->title2) && text_equal_nocase(last->alias, t->alias) &&
        last->text.size() + 4 + t->text.size() <= static_cast<std::size_t>(kTipTextMax)) {
        const std::string old_text = last->text;
        last->text = old_text + "\r\n\x0f\x0f" + t->text;
        if (tip_measure(last, 0)) {
            last->remaining_ms = std::max(last->remaining_ms, t->remaining_ms);
            last->total_ms = std::max(last->total_ms, last->remaining_ms);
            delete t;
            repaint(last);
            if (TipWindow* w = window_of(last))
                w->resize(last->width, w->height());
            return tip_position(last);
        }
        last->text = old_text;
        tip_measure(last, 1);
    }

    auto* w = new TipWindow(t);
    w->resize(0, 0);
    t->hwnd = w;
    if (last)
        last->next = t;
    else
        tip_list = t;
    while (tip_count() > tipopt(TIPOPT_MAX_TIPS))
        tip_free(tip_list);
    return tip_position(t);
}

int tip_set_text(Tip* tip, const std::string& text_in)
{
    if (!tip_live(tip))
        return 0;
    std::string text = cut_utf8(collapse_resets(text_in), kTipTextMax);
    if (text.empty())
        return 0;
    tip->text = text;
    tip->truncated = 0;
    tip_measure(tip, 1);
    if (TipWindow* w = window_of(tip))
        w->resize(tip->width, std::min(w->height(), tip->height));
    repaint(tip);
    return 1;
}

// ---- Time and place ----

void tip_timer(Tip* tip)
{
    if (!tip_live(tip))
        return;
    bool paused = false;
    if (QGuiApplication::mouseButtons() & Qt::RightButton) {
        QWidget* under = QApplication::widgetAt(QCursor::pos());
        for (Tip* p = tip_list; p && under; p = p->next)
            if (p->hwnd.data() == under && under->isVisible())
                paused = true;
    }
    if (!paused && tip->shown && tip->remaining_ms > 0 && !tip->closing) {
        const int pos = std::min(4, std::max(1, tip_position(tip)));
        tip->remaining_ms -= std::max(1, 100 / pos);
        if (tips_lock_active())
            tip->remaining_ms = 0;
        if (tip->remaining_ms <= 0) {
            tip->remaining_ms = 0;
            tip->closing = 1;
        }
    }
    if (TipWindow* w = window_of(tip)) {
        if (tip->bar_shown && bar_fill_rect(tip) != tip->bar_drawn)
            w->update(tip->bar_rect);
    }
    if (tip == tip_list)
        tips_arrange();
}

void tips_arrange()
{
    const QRect area = work_area();
    const int edge = taskbar_edge();
    const bool hide_all = any_fullscreen(!tipopt(TIPOPT_HIDE_FULLSCREEN));
    int next_top_down = area.top() + 5;
    int next_bottom_up = area.bottom() + 1;
    std::vector<Tip*> done;
    for (Tip* t = tip_list; t; t = t->next) {
        TipWindow* w = window_of(t);
        if (!w)
            continue;
        const int height = t->closing ? 0 : t->height;
        int left, top;
        if (edge == 2) {
            left = area.left() + 5;
            top = next_bottom_up - height - 5;
            next_bottom_up = top;
        } else if (edge == 1) {
            left = area.right() + 1 - t->width - 5;
            top = next_top_down;
            next_top_down = top + height + 5;
        } else {
            left = area.right() + 1 - t->width - 5;
            top = next_bottom_up - height - 5;
            next_bottom_up = top;
        }
        t->target_left = left;
        t->target_top = top;
        QRect r = w->geometry();
        if (!t->has_target) {
            // First placed hidden at the start of its column with no height.
            t->has_target = 1;
            const int start = edge == 1 ? area.top() + 5 : area.bottom() + 1 - 5;
            r = QRect(left, start, t->width, 0);
        }
        const int l = approach(r.left(), left);
        const int tp = approach(r.top(), top);
        const int rt = approach(r.left() + r.width(), left + t->width);
        const int bt = approach(r.top() + r.height(), top + height);
        const QRect nr(l, tp, std::max(0, rt - l), std::max(0, bt - tp));
        const bool moved = nr != w->geometry();
        if (moved)
            w->setGeometry(nr);
        if (hide_all || !nr.intersects(area) || nr.height() <= 0) {
            if (w->isVisible())
                w->hide();
            // Off screen: its time waits until it comes into view.
            if (hide_all || nr.height() > 0)
                t->shown = 0;
        } else {
            QPainterPath rounded;
            rounded.addRoundedRect(QRectF(0, 0, nr.width(), nr.height()), 5, 5);
            const QRegion inside(area.translated(-nr.topLeft()));
            w->setMask(QRegion(rounded.toFillPolygon().toPolygon()).intersected(inside));
            if (!w->isVisible())
                w->show();
            t->shown = 1;
            if (moved)
                w->update();
        }
        if (t->closing && nr.height() <= 0)
            done.push_back(t);
    }
    for (Tip* t : done)
        tip_free(t);
}

// ---- Activation ----

int app_foreground_kind()
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    QWidget* fg = app ? QApplication::activeWindow() : nullptr;
    if (!fg || fg->isMinimized() || !fg->isVisible() || tip_is_tip_window(fg))
        return 0;
    if (fg == frame())
        return 1;
    if (frame() && frame()->isAncestorOf(fg))
        return 1;
    if (win_record_of(fg))
        return 2;
    return 0;
}

void tips_close_on_activate(QWidget* activated)
{
    const int kind = app_foreground_kind();
    if (kind == 0)
        return;
    if (activated && activated != frame() && !win_record_of(activated))
        return;
    QWidget* active = win_active.get();
    std::vector<Tip*> closing;
    for (Tip* t = tip_list; t; t = t->next) {
        if (!win_is_record(t->window)) {
            WindowRecord* status = conn_is_live(t->conn) ? win_find_by_type(kWinStatus, t->conn) : nullptr;
            t->window = status;
        }
        if (!t->window) {
            closing.push_back(t);
            continue;
        }
        if (t->kind != 0 &&
            (kind == 1 || (kind == 2 && t->window->hwnd.get() && t->window->hwnd.get() == active)))
            closing.push_back(t);
    }
    for (Tip* t : closing)
        tip_free(t);
}

void tip_double_click(Tip* tip)
{
    if (!tip_live(tip))
        return;
    WindowRecord* rec = win_is_record(tip->window) ? tip->window : nullptr;
    if (!rec && conn_is_live(tip->conn))
        rec = win_find_by_type(kWinStatus, tip->conn);
    Connection* conn = conn_is_live(tip->conn) ? tip->conn : nullptr;
    QPointer<QWidget> hwnd = rec ? rec->hwnd.get() : nullptr;
    if (!tip->alias.empty()) {
        const std::string alias = tip->alias;
        const std::string pos = std::to_string(tip_position(tip));
        tip_free(tip);
        script_exec_line(hwnd.data(), alias.c_str(), pos.c_str(), 1, nullptr, nullptr, conn);
        return;
    }
    tip_free(tip);
    if (QWidget* f = frame()) {
        if (f->isMinimized() || f->isHidden())
            f->showNormal();
        f->raise();
        f->activateWindow();
    }
    if (hwnd)
        win_op_activate(hwnd.data(), 1);
}

// ---- Event tips ----

namespace {

struct EventForm {
    int type;
    int title;
    int text;       // the first text; 0 composed below
    int alt_text;   // the text with ev.alt set; 0 none
};

// Arguments of each text: n nick, t target, x text.
const EventForm kEventForms[] = {
    {1, 6301, 321, 0},  {2, 6302, 322, 0},  {45, 6302, 322, 0}, {3, 6303, 323, 0},
    {4, 6304, 324, 0},  {46, 6304, 324, 0}, {5, 6305, 325, 0},  {6, 6306, 326, 0},
    {7, 6307, 327, 0},  {8, 6308, 328, 0},  {9, 6310, 330, 0},  {10, 6310, 331, 0},
    {11, 6310, 332, 0}, {12, 6311, 333, 0}, {13, 6311, 334, 0}, {14, 6312, 335, 0},
    {15, 6312, 336, 0}, {17, 6313, 338, 337}, {18, 6314, 339, 0}, {19, 6315, 341, 340},
    {20, 6316, 343, 342}, {21, 6317, 344, 345}, {34, 6322, 357, 0}, {35, 6323, 358, 0},
    {39, 6324, 365, 0}, {40, 6325, 366, 0}, {41, 6325, 367, 0}, {42, 6326, 369, 0},
    {43, 6326, 370, 0}, {44, 6317, 372, 371},
};

const EventForm* form_of(int type)
{
    for (const EventForm& f : kEventForms)
        if (f.type == type)
            return &f;
    return nullptr;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

int tip_show_event(const TipEventText& ev, int type, Connection* conn, const void* source,
                   WindowRecord* window)
{
    if (!conn_is_live(conn))
        return 0;
    WindowRecord* rec = win_is_record(window) ? window : win_find_by_type(kWinStatus, conn);
    if (!rec)
        return 0;
    const int fg = app_foreground_kind();
    if (fg == 1)
        return 0;
    if (fg == 2 && rec->hwnd.get() && rec->hwnd.get() == win_active.get())
        return 0;
    int seconds = ev.seconds > 0 ? ev.seconds : tipopt(TIPOPT_SECONDS);
    int title = 0;
    std::string text;
    if (type == 50) {
        title = 6327;
        text = rec->name + ": " + (ev.text.empty() ? "matched '" + ev.target + "'" : ev.text);
    } else {
        const EventForm* f = form_of(type);
        if (!f)
            return 0;
        title = f->title;
        const int id = ev.alt && f->alt_text ? f->alt_text : f->text;
        switch (type) {
        case 1: case 2: case 5: case 8:
            if (type == 8 && ev.target.empty()) {
                title = 6309;
                text = text_fill_id(329, {ev.nick}) + (lower(ev.text) == "ping" ? std::string("ping") : lower(ev.text));
            } else {
                text = text_fill_id(id, {ev.nick, ev.target}) + (type == 8 ? lower(ev.text) : ev.text);
            }
            break;
        case 45:
            text = text_fill_id(id, {ev.nick, ev.target}) + " " + ev.text;
            break;
        case 3: case 4: case 6: case 7:
            text = text_fill_id(id, {ev.nick}) + ev.text;
            break;
        case 46:
            text = text_fill_id(id, {ev.nick}) + " " + ev.text;
            break;
        case 9: case 10: case 12:
            text = text_fill_id(id, {ev.target});
            break;
        case 14:
            text = text_fill_id(id, {ev.target, ev.nick});
            break;
        case 15:
            text = text_fill_id(id, {ev.text, ev.target, ev.nick});
            break;
        case 17:
            text = ev.alt ? text_fill_id(id, {ev.target}) : text_fill_id(id, {ev.nick, ev.target});
            break;
        case 19: case 20: case 42: case 43:
            text = text_fill_id(id, {ev.target.empty() ? ev.text : ev.target});
            break;
        case 34:
            text = text_fill_id(id, {ev.nick, ev.target, ev.text});
            break;
        case 39:
            text = text_fill_id(id, {ev.nick, ev.text});
            break;
        case 35:
            text = text_fill_id(id, {ev.text});
            break;
        case 44:
            text = ev.alt ? text_fill_id(id, {}) : text_fill_id(id, {ev.text});
            break;
        case 40: case 41:
            text = ev.text.empty() ? text_fill_id(368, {ev.nick, ev.target})
                                   : text_fill_id(id, {ev.nick, ev.target, ev.text});
            break;
        default:
            text = text_fill_id(id, {ev.nick, ev.target, ev.text});
            break;
        }
    }
    const bool message = type <= 4 || type == 45 || type == 46;
    const std::string title_text = text_load_string(title);
    return tip_show(rec, message ? "message" : "event", title_text, text, seconds, std::string(), 0,
                    std::string(), type, source) > 0 ? 1 : 0;
}

int tip_notify_event(int option, const TipEventText& ev, int type, Connection* conn, WindowRecord* window)
{
    if (!tip_wanted(option))
        return 0;
    if (!tip_enabled_for_window(window))
        return 0;
    return tip_show_event(ev, type, conn, nullptr, window);
}

namespace {
int g_tip_event_listener = 0;
}

void tip_events_install()
{
    tip_event.add_once(g_tip_event_listener, kTipEventShow,
                       [](int option, const TipEventText& ev, int type, Connection* conn, WindowRecord* window) {
                           tip_notify_event(option, ev, type, conn, window);
                       });
}

void tip_events_uninstall()
{
    tip_event.drop(g_tip_event_listener);
}

void tip_highlight(WindowRecord* rec, const HighlightMatch& match, std::string_view line)
{
    (void)line;
    if (!win_is_record(rec) || !match.tip || !tipopt(TIPOPT_ENABLED) || !tip_enabled_for_window(rec))
        return;
    TipEventText ev;
    ev.text = match.text;
    ev.target = highlight_matched_word();
    if (const auto* entry = static_cast<const HighlightEntry*>(match.entry))
        ev.seconds = entry->tip_seconds;
    tip_show_event(ev, 50, rec->conn, match.entry, rec);
}

namespace {

int g_printed_id = 0;

void tip_after_print(const LinePrinted& line)
{
    if (line.event == kPrintHighlighted && line.match && line.match->tip)
        tip_highlight(line.rec, *line.match, line.text);
}

}  // namespace

void tip_highlight_install()
{
    line_printed.add_once(g_printed_id, kPrintedTip, tip_after_print);
}

void tip_highlight_uninstall()
{
    line_printed.drop(g_printed_id);
}

void tips_install()
{
    // Pending tips are freed early in the shutdown.
    static int save_listener = 0;
    shutdown_save.add_once(save_listener, kSaveTrayTips, tip_free_all);
    static int load_listener = 0;
    settings_loaded.add_once(load_listener, kLoadTips, [](SettingsLoad&) { tipopts_load(); });
    // Activating a window closes the tips that belong to it.
    static int activation_listener = 0;
    frame_activation.add_once(activation_listener, kActivationTips, [](QWidget* window, bool active) {
        if (active)
            tips_close_on_activate(window);
    });
}
