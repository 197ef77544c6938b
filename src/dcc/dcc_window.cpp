#include "dcc/dcc_window.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <string>

#include "app/window_open.h"
#include "core/numbered_texts.h"
#include "core/time_date.h"
#include "dcc/dcc_dialogs.h"
#include "dcc/dcc_engine.h"
#include "dcc/file_types.h"
#include "display/draw.h"
#include "model/transfer_progress.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"
#include "script/exec/script_text.h"

RecordSlot<DccWindowFigures> dccwin_figures_slot;


namespace {

int g_opened_listener = 0;
int g_progress_listener = 0;
int g_ended_listener = 0;

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }

std::string scaled(std::int64_t bytes)
{
    std::string out;
    num_format_bytes(static_cast<double>(bytes), out, 1, 0, 0, 0, 0);
    return out;
}

std::string duration(std::int64_t seconds)
{
    return time_duration_short("", static_cast<double>(seconds), 3);
}

// The progress area: it paints through the window's drawing, which hands a
// transfer window to its transfer display.
class TransferBar : public QWidget {
public:
    explicit TransferBar(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        WindowRecord* rec = win_record_of(parentWidget());
        draw_buffer(rec, &painter, WinRect{0, 0, width(), height()});
    }
};

// A label and value pair: the label's string-table text per kind (send,
// get) and the value's id.
struct Row {
    int label;
    int send_text;
    int get_text;
    int value;
};
const Row kRows[] = {
    {102, 5553, 5553, kDccwinFile},     {104, 5554, 5554, kDccwinSize},
    {106, 5555, 5556, kDccwinNick},     {108, 5557, 5557, kDccwinFolder},
    {111, 5558, 5559, kDccwinTransferred}, {113, 5560, 5560, kDccwinTimeLeft},
    {115, 5561, 5561, kDccwinSpeed},
};

template <class T>
T* control(QWidget* hwnd, int id)
{
    return hwnd ? hwnd->findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly) : nullptr;
}

QWidget* window_of(const DccTransfer* t)
{
    return t && win_is_record(t->window) ? t->window->hwnd.get() : nullptr;
}

void set_value(QWidget* hwnd, int id, const std::string& text)
{
    if (auto* l = control<QLabel>(hwnd, id))
        l->setText(qs(text));
}

std::int64_t done_bytes(const DccTransfer* t)
{
    return t->kind == kDccSend ? std::max(t->acked, std::int64_t(0)) : t->position;
}

int elapsed_seconds(const DccTransfer* t) { return std::max(t->seconds, 0); }

// The progress the bars read, from the transfer.
void publish_progress(DccTransfer* t)
{
    if (!win_is_record(t->window))
        return;
    TransferProgress p;
    p.percent = static_cast<int>(t->percent);
    p.running = !t->ended;
    p.percent_text = dccwin_percent_text(t);
    p.nick = t->nick;
    p.file = t->file;
    transfer_progress_set(t->window, p);
}

void update_status(DccTransfer* t, int mode, int speed_time, int transferred, int progress, const std::string& text)
{
    QWidget* hwnd = window_of(t);
    if (!hwnd)
        return;
    auto* box = control<QPlainTextEdit>(hwnd, kDccwinStatus);
    if (box && mode == 2)
        box->clear();
    if (mode) {
        set_value(hwnd, kDccwinFile, t->file);
        set_value(hwnd, kDccwinSize, t->size < 0 ? std::string() : scaled(t->size));
        set_value(hwnd, kDccwinNick, t->nick);
        set_value(hwnd, kDccwinFolder, t->folder);
    }
    DccWindowFigures& f = t->window->state_slots.get(dccwin_figures_slot);
    const int seconds = elapsed_seconds(t);
    if (speed_time) {
        if (t->ended) {
            f.shown_speed = t->average_speed;
            f.time_left = 0;
        } else if (seconds != f.last_second && (seconds % 2 == 0 || f.time_left < 1)) {
            f.last_second = seconds;
            f.shown_speed = dccwin_speed_step(f.shown_speed, dccwin_speed_of(t->speed));
            f.time_left = t->size >= 0 ? dccwin_time_left(t->size, done_bytes(t), f.shown_speed) : 0;
        }
        if (t->ended || seconds > 1)
            set_value(hwnd, kDccwinSpeed, scaled(f.shown_speed) + "/Sec");
        set_value(hwnd, kDccwinTimeLeft, t->size >= 0 && (t->ended || f.time_left > 0) ? duration(f.time_left)
                                                                                          : std::string());
    }
    if (transferred) {
        std::string text_done = scaled(dcc_transfer_moved(t));
        if (seconds >= 1)
            text_done += " in " + duration(seconds);
        set_value(hwnd, kDccwinTransferred, text_done);
    }
    if (progress)
        if (QWidget* bar = control<QWidget>(hwnd, kDccwinProgress))
            bar->update();
    if (box && !text.empty() && !box->toPlainText().contains(qs(text))) {
        box->appendPlainText(qs(text));
        box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    }
    publish_progress(t);
}

void on_opened(DccTransfer* t)
{
    if (!window_of(t))
        return;
    update_status(t, 2, 1, 1, 1, t->status_text);
    dccwin_update_buttons(t);
    dccwin_layout(t->window, 1);
}

void on_progress(DccTransfer* t)
{
    if (!window_of(t))
        return;
    update_status(t, 0, 1, 1, 1, t->status_text);
}

void on_ended(DccTransfer* t)
{
    if (!window_of(t))
        return;
    update_status(t, 1, 1, 1, 1, t->status_text);
    dccwin_update_buttons(t);
}

int text_width(const QFontMetrics& fm, int id)
{
    return fm.horizontalAdvance(QString::fromUtf8(text_load_string(id)));
}

// Open (119) on a received file: a dangerous type opens only after the
// warning, and only while the get is still there.
void open_received(WindowRecord* rec)
{
    DccTransfer* t = dcc_transfer_of(rec);
    if (!t || t->kind != kDccGet || !t->done)
        return;
    const std::string path = t->folder + t->file;
    if (dcc_file_is_dangerous(t->file)) {
        QPointer<QWidget> hwnd = rec->hwnd.get();
        if (!dcc_dangerous_file_dialog(hwnd.data(), t->file))
            return;
        if (!hwnd || !dcc_transfer_of(win_record_of(hwnd.data())))
            return;
    }
    if (!shell_show_file(path, 2))
        beep_error(0);
}

void open_folder(WindowRecord* rec)
{
    DccTransfer* t = dcc_transfer_of(rec);
    if (!t)
        return;
    if (!shell_show_file(t->folder + t->file, 4) && !shell_show_file(t->folder, 8))
        beep_error(0);
}

// Cancel while running: the transfer ends and its window stays.
void cancel(DccTransfer* t)
{
    if (t->kind == kDccSend)
        dccsend_finish(t, std::string());
    else
        dccget_finish(t, std::string());
}

// Resend: the same file to the same nick on the same connection.
void resend(DccTransfer* t)
{
    DccSendRequest request;
    request.conn = t->conn;
    request.window = window_of(t);
    request.nick = t->nick;
    request.path = t->path.empty() ? t->folder + t->file : t->path;
    request.speed_limited = t->speed_limited;
    request.passive = t->passive;
    if (!dccsend_start(request))
        beep_error(0);
}

}  // namespace

// ---- Figures ----

std::int64_t dccwin_speed_of(const std::array<DccSpeedSample, 5>& samples)
{
    std::int64_t bytes = 0;
    std::int64_t ms = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const DccSpeedSample& a = samples[i - 1];
        const DccSpeedSample& b = samples[i];
        if (a.tick_ms <= 0 || b.tick_ms <= 0)
            continue;
        const std::int64_t db = b.bytes - a.bytes;
        const std::int64_t dt = b.tick_ms - a.tick_ms;
        if (db < 0 || dt < 0)
            continue;
        bytes += db;
        ms += dt;
    }
    if (ms <= 0 || bytes <= 0)
        return 0;
    return static_cast<std::int64_t>(static_cast<long double>(bytes) * 1000 / ms);
}

std::int64_t dccwin_speed_step(std::int64_t shown, std::int64_t speed)
{
    const std::int64_t diff = speed - shown;
    if ((diff < 0 ? -diff : diff) > shown / 10)
        return speed;
    return shown + diff / 30;
}

std::int64_t dccwin_time_left(std::int64_t size, std::int64_t done, std::int64_t speed)
{
    if (speed <= 0 || size < 0)
        return 0;
    if (done >= size)
        return 0;
    return std::max<std::int64_t>(1, (size - done) / speed);
}

std::string dccwin_percent_text(const DccTransfer* t)
{
    if (!t)
        return std::string();
    if (t->size >= 0)
        return std::to_string(static_cast<long long>(t->percent)) + "%";
    if (t->done)
        return "100%";
    return scaled(dcc_transfer_moved(t));
}

// ---- Drawing ----

void dccwin_draw_progress(QPainter& painter, const QRect& bar, int first, int second)
{
    first = std::clamp(first, 0, 100);
    second = std::clamp(second, 0, 100);
    if (bar.width() < 3 || bar.height() < 3)
        return;
    const QRect inner = bar.adjusted(1, 1, -1, -1);
    painter.fillRect(inner, Qt::white);
    const int w1 = static_cast<int>(static_cast<long long>(inner.width()) * first / 100);
    const int w2 = static_cast<int>(static_cast<long long>(inner.width()) * second / 100);
    if (w2 > w1)
        painter.fillRect(QRect(inner.left() + w1, inner.top(), w2 - w1, inner.height()), QColor(0, 100, 200));
    if (w1 > 0)
        painter.fillRect(QRect(inner.left(), inner.top(), w1, inner.height()), QColor(0, 50, 150));
    painter.setPen(QColor(128, 128, 128));
    painter.drawLine(bar.left(), bar.top(), bar.right(), bar.top());
    painter.drawLine(bar.left(), bar.top(), bar.left(), bar.bottom());
    painter.setPen(Qt::black);
    painter.drawLine(bar.left(), bar.bottom(), bar.right(), bar.bottom());
    painter.drawLine(bar.right(), bar.top(), bar.right(), bar.bottom());
}

void dccwin_paint(WindowRecord* rec, QPainter& painter, const QRect& area)
{
    DccTransfer* t = dcc_transfer_of(rec);
    if (!t) {
        dccwin_draw_progress(painter, area, 0, 0);
        return;
    }
    // A send shows what was acknowledged and what was sent; a get its one
    // percent twice.
    const int first = static_cast<int>(t->kind == kDccSend ? t->acked_percent : t->percent);
    dccwin_draw_progress(painter, area, first, static_cast<int>(t->percent));
}

// ---- The window ----

int dccwin_create_controls(WindowRecord* rec)
{
    QWidget* hwnd = rec ? rec->hwnd.get() : nullptr;
    if (!hwnd)
        return 0;
    const bool send = rec->subtype == kDccSend;
    auto name = [](QWidget* w, int id) {
        w->setObjectName(QString::number(id));
        dlg_set_item_id(w, id);
    };
    auto* heading = new QLabel(QString::fromUtf8(text_load_string(send ? 5551 : 5552)), hwnd);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    name(heading, kDccwinHeading);
    for (const Row& r : kRows) {
        auto* label = new QLabel(QString::fromUtf8(text_load_string(send ? r.send_text : r.get_text)), hwnd);
        name(label, r.label);
        auto* value = new QLabel(hwnd);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        name(value, r.value);
    }
    auto* bar = new TransferBar(hwnd);
    name(bar, kDccwinProgress);
    auto* status_label = new QLabel(QString::fromUtf8(text_load_string(5562)), hwnd);
    name(status_label, 117);
    auto* status = new QPlainTextEdit(hwnd);
    status->setReadOnly(true);
    name(status, kDccwinStatus);
    const struct {
        int id;
        int text;
    } buttons[] = {{kDccwinOpen, send ? 5567 : 5563}, {kDccwinFolderButton, 5564}, {kDccwinCancel, 5565}};
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(text_load_string(b.text)), hwnd);
        button->setAutoDefault(false);
        name(button, b.id);
        const int id = b.id;
        QPointer<QWidget> owner = hwnd;
        QObject::connect(button, &QPushButton::clicked, button, [owner, id] {
            if (owner)
                dccwin_command(win_record_of(owner.data()), id);
        });
    }
    // While running only Cancel shows.
    control<QPushButton>(hwnd, kDccwinOpen)->hide();
    control<QPushButton>(hwnd, kDccwinFolderButton)->hide();
    dccwin_layout(rec, 0);
    return 1;
}

void dccwin_layout(WindowRecord* rec, int redraw)
{
    QWidget* hwnd = rec ? rec->hwnd.get() : nullptr;
    if (!hwnd)
        return;
    const QFont font = rec->font ? *rec->font : hwnd->font();
    const QFontMetrics fm(font);
    const int margin = 8;
    const int line = fm.height() + 6;
    int label_width = 0;
    for (const Row& r : kRows)
        if (auto* l = control<QLabel>(hwnd, r.label))
            label_width = std::max(label_width, fm.horizontalAdvance(l->text()));
    int button_width = 0;
    for (int id : {5564, 5563, 5567, 5565, 5566})
        button_width = std::max(button_width, text_width(fm, id));
    button_width += 24;
    const int width = hwnd->width();
    const int value_x = margin + label_width + 8;
    const int value_w = std::max(20, width - value_x - margin);
    int y = margin;
    if (auto* h = control<QLabel>(hwnd, kDccwinHeading))
        h->setGeometry(margin, y, width - 2 * margin, line);
    y += line + 4;
    auto place_row = [&](const Row& r) {
        if (auto* l = control<QLabel>(hwnd, r.label)) {
            l->setFont(font);
            l->setGeometry(margin, y, label_width, line);
        }
        if (auto* v = control<QLabel>(hwnd, r.value)) {
            v->setFont(font);
            v->setGeometry(value_x, y, value_w, line);
        }
        y += line;
    };
    for (int i = 0; i < 4; ++i)
        place_row(kRows[i]);
    y += 4;
    if (QWidget* bar = control<QWidget>(hwnd, kDccwinProgress))
        bar->setGeometry(margin, y, width - 2 * margin, std::max(14, fm.height()));
    y += std::max(14, fm.height()) + 6;
    for (int i = 4; i < 7; ++i)
        place_row(kRows[i]);
    if (auto* l = control<QLabel>(hwnd, 117)) {
        l->setFont(font);
        l->setGeometry(margin, y, label_width, line);
    }
    const int button_h = fm.height() + 10;
    const int buttons_y = std::max(y + 3 * line, hwnd->height() - margin - button_h);
    if (auto* s = control<QPlainTextEdit>(hwnd, kDccwinStatus)) {
        s->setFont(font);
        s->setGeometry(value_x, y, value_w, std::max(line * 2, buttons_y - 6 - y));
    }
    // Buttons from the right: Cancel or Close, then Open or Resend, then
    // Open folder.
    int x = width - margin;
    for (int id : {kDccwinCancel, kDccwinOpen, kDccwinFolderButton}) {
        auto* b = control<QPushButton>(hwnd, id);
        if (!b || b->isHidden())
            continue;
        b->setFont(font);
        x -= button_width;
        b->setGeometry(x, buttons_y, button_width, button_h);
        x -= 6;
    }
    hwnd->setMinimumWidth(std::max(3 * button_width + 2 * 6 + 2 * margin, value_x + 60 + margin));
    if (redraw)
        hwnd->update();
}

void dccwin_relayout(WindowRecord* rec) { dccwin_layout(rec, 1); }

void dccsend_update_status(DccTransfer* t, int mode, int speed_time, int transferred, int progress,
                           const std::string& text)
{
    update_status(t, mode, speed_time, transferred, progress, text);
}

void dccget_update_status(DccTransfer* t, int mode, int speed_time, int transferred, int progress,
                          const std::string& text)
{
    update_status(t, mode, speed_time, transferred, progress, text);
}

void dccwin_update_buttons(DccTransfer* t)
{
    QWidget* hwnd = window_of(t);
    if (!hwnd)
        return;
    auto* open = control<QPushButton>(hwnd, kDccwinOpen);
    auto* folder = control<QPushButton>(hwnd, kDccwinFolderButton);
    auto* cancel = control<QPushButton>(hwnd, kDccwinCancel);
    if (!open || !folder || !cancel)
        return;
    const bool running = !t->ended;
    cancel->setText(QString::fromUtf8(text_load_string(running ? 5565 : 5566)));
    if (t->kind == kDccSend) {
        open->setVisible(!running && !t->done);
        folder->setVisible(false);
    } else {
        open->setVisible(!running);
        open->setEnabled(t->done);
        folder->setVisible(!running);
    }
    dccwin_layout(t->window, 1);
}

void dccwin_command(WindowRecord* rec, int id)
{
    DccTransfer* t = dcc_transfer_of(rec);
    if (!rec || !rec->hwnd.get())
        return;
    if (t)
        t->close_when_done = false;
    switch (id) {
    case kDccwinCancel:
        if (!t || t->ended) {
            // Closed once the click is over: the button goes with the window.
            QPointer<QWidget> hwnd = rec->hwnd.get();
            QTimer::singleShot(0, [hwnd] {
                if (hwnd && win_record_of(hwnd.data()))
                    win_close_request(hwnd.data());
            });
        }
        else
            cancel(t);
        break;
    case kDccwinOpen:
        if (t && t->kind == kDccGet)
            open_received(rec);
        else if (t && t->kind == kDccSend && t->ended && !t->done)
            resend(t);
        break;
    case kDccwinFolderButton:
        open_folder(rec);
        break;
    default:
        break;
    }
}

void dcc_transfer_close_window(WindowRecord* rec)
{
    // The window goes: its transfer's file and sockets close now.
    if (DccTransfer* t = dcc_transfer_of(rec))
        dcc_transfer_close(t);
}

void dcc_window_install()
{
    dcc_transfer_opened.add_once(g_opened_listener, kDccTransferWindow, on_opened);
    dcc_transfer_progress.add_once(g_progress_listener, kDccTransferWindow, on_progress);
    dcc_transfer_ended.add_once(g_ended_listener, kDccTransferWindow, on_ended);
}

void dcc_window_uninstall()
{
    dcc_transfer_opened.drop(g_opened_listener);
    dcc_transfer_progress.drop(g_progress_listener);
    dcc_transfer_ended.drop(g_ended_listener);
}
