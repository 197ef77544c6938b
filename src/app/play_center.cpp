#include "app/play_center.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include <cstdio>
#include <string>
#include <vector>

#include "app/connection.h"
#include "app/window_record.h"
#include "commands/play_queue.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "platform/platform_utils.h"

namespace {

enum PlayCenterControl {
    kList = 101, kPause = 102, kSlower = 103, kFaster = 104, kAdd = 105, kStop = 106, kUp = 107, kDown = 108,
    kClose = 1,
};

class PlayCenter : public QDialog {
public:
    explicit PlayCenter(QWidget* parent) : QDialog(parent)
    {
        setObjectName("play_center");
        setWindowTitle(QString::fromUtf8("Play (Çalıştır) Merkezi"));
        setModal(false);
        setAttribute(Qt::WA_DeleteOnClose);
        setMinimumSize(100, 100);
        list_ = new QListWidget(this);
        list_->setObjectName(QString::number(kList));
        list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        auto* buttons = new QVBoxLayout;
        pause_ = button(buttons, kPause, text_load_string(4415));
        slower_ = button(buttons, kSlower, "+");
        faster_ = button(buttons, kFaster, "-");
        up_ = button(buttons, kUp, "&Yukarıya");
        down_ = button(buttons, kDown, "&Aşağıya");
        // Composing a request in a form belongs to the Add Play dialog,
        // which this program does not have: /play composes them.
        button(buttons, kAdd, "&Ekle")->setEnabled(false);
        stop_ = button(buttons, kStop, "&Dur");
        buttons->addStretch();
        button(buttons, kClose, "Kapat");
        auto* layout = new QHBoxLayout(this);
        layout->addWidget(list_, 1);
        layout->addLayout(buttons);
        connect(list_, &QListWidget::itemSelectionChanged, this, [this] { enable(); });
        restore_position();
    }

    void show_for(Connection* conn)
    {
        if (conn)
            conn_ = conn;
        refresh();
    }

    void refresh()
    {
        if (!conn_is_live(conn_))
            conn_ = nullptr;
        const std::vector<PlayItem> items = play_queue_items(conn_);
        const int caret = list_->currentRow();
        const int top = list_->indexAt(QPoint(0, 0)).row();
        std::vector<bool> selected(items.size(), false);
        for (int k = 0; k < list_->count() && static_cast<std::size_t>(k) < items.size(); ++k)
            selected[static_cast<std::size_t>(k)] = list_->item(k)->isSelected();
        list_->blockSignals(true);
        while (list_->count() > static_cast<int>(items.size()))
            delete list_->takeItem(list_->count() - 1);
        while (list_->count() < static_cast<int>(items.size()))
            list_->addItem(new QListWidgetItem);
        for (std::size_t k = 0; k < items.size(); ++k) {
            QListWidgetItem* it = list_->item(static_cast<int>(k));
            it->setText(QString::fromStdString(items[k].target + "\n" + detail(items[k])));
            it->setSelected(selected[k]);
        }
        if (caret >= 0 && caret < list_->count())
            list_->setCurrentRow(caret, QItemSelectionModel::NoUpdate);
        if (top > 0 && top < list_->count())
            list_->scrollToItem(list_->item(top), QAbstractItemView::PositionAtTop);
        list_->blockSignals(false);
        pause_->setText(QString::fromStdString(text_load_string(play_queue_paused(conn_) ? 4416 : 4415)));
        enable();
    }

protected:
    void done(int r) override
    {
        save_position();
        QDialog::done(r);
    }

private:
    QPushButton* button(QVBoxLayout* box, int id, const std::string& text)
    {
        auto* b = new QPushButton(QString::fromStdString(text), this);
        b->setObjectName(QString::number(id));
        b->setAutoDefault(false);
        box->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, id] { command(id); });
        return b;
    }

    static std::string detail(const PlayItem& it)
    {
        const std::string delay = std::to_string(it.delay);
        switch (it.kind) {
        case 1: return text_fill_id(4417, {delay, it.file, ""});
        case 2: return text_fill_id(4419, {std::to_string(it.line), delay, it.file, ""});
        case 3: return text_fill_id(4418, {it.topic, std::to_string(it.pos), std::to_string(it.count), delay, it.file, ""});
        default: return text_fill_id(4420, {std::to_string(it.pos), std::to_string(it.count), delay, it.file, ""});
        }
    }

    std::vector<int> selected_rows() const
    {
        std::vector<int> rows;
        for (int k = 0; k < list_->count(); ++k)
            if (list_->item(k)->isSelected())
                rows.push_back(k);
        return rows;
    }

    void enable()
    {
        const std::size_t n = selected_rows().size();
        slower_->setEnabled(n >= 1);
        faster_->setEnabled(n >= 1);
        stop_->setEnabled(n >= 1);
        up_->setEnabled(n == 1);
        down_->setEnabled(n == 1);
    }

    void select_only(int row)
    {
        list_->clearSelection();
        if (row >= 0 && row < list_->count()) {
            list_->item(row)->setSelected(true);
            list_->setCurrentRow(row, QItemSelectionModel::NoUpdate);
        }
        enable();
    }

    void command(int id)
    {
        if (!conn_is_live(conn_))
            conn_ = nullptr;
        const std::vector<int> rows = selected_rows();
        switch (id) {
        case kPause:
            if (!play_queue_toggle_pause(conn_))
                beep_error(0);
            break;
        case kSlower:
        case kFaster:
            if (play_queue_retime(conn_, rows, id == kSlower ? 100 : -100) == 0)
                beep_error(0);
            break;
        case kUp:
        case kDown: {
            const int to = rows.size() == 1 ? play_queue_move(conn_, rows[0], id == kUp ? -1 : 1) : -1;
            if (to < 0)
                beep_error(0);
            else
                select_only(to);
            break;
        }
        case kStop:
            if (play_queue_remove(conn_, rows) == 0)
                beep_error(0);
            else
                select_only(rows.empty() ? -1 : std::max(0, rows.front() - 1));
            break;
        case kClose:
            close();
            return;
        default:
            break;
        }
        refresh();
    }

    void restore_position()
    {
        std::string place;
        ini_read("windows", "playctrl", "", place, 256, main_ini_path);
        int x = 0, y = 0, w = 0, h = 0;
        if (std::sscanf(place.c_str(), "%d,%d,%d,%d", &x, &y, &w, &h) == 4 && w >= 100 && h >= 100)
            setGeometry(x, y, w, h);
        else
            resize(360, 240);
    }

    void save_position()
    {
        const QRect g = geometry();
        const std::string place = std::to_string(g.x()) + "," + std::to_string(g.y()) + "," +
                                  std::to_string(g.width()) + "," + std::to_string(g.height());
        ini_write("windows", "playctrl", place.c_str(), main_ini_path);
    }

    Connection* conn_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* pause_ = nullptr;
    QPushButton* slower_ = nullptr;
    QPushButton* faster_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QPushButton* stop_ = nullptr;
};

QPointer<PlayCenter> center;

}  // namespace

void play_center_open(Connection* conn)
{
    if (!qApp)
        return;
    if (!center)
        center = new PlayCenter(win_frame_handle() ? win_frame_handle() : QApplication::activeWindow());
    center->show_for(conn_is_live(conn) ? conn : conn_current());
    center->showNormal();
    center->raise();
    center->activateWindow();
}

void play_center_refresh(Connection* conn)
{
    if (center)
        center->show_for(conn_is_live(conn) ? conn : nullptr);
}
