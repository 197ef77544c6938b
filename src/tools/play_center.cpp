#include "tools/play_center.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

#include <cstdio>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/file_dialogs.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "commands/play_queue.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

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
        button(buttons, kAdd, "&Ekle");
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
        // The selection and the caret stay with their requests, wherever
        // those moved; the top row stays where it was.
        auto id_of = [](const QListWidgetItem* it) { return it->data(Qt::UserRole).toULongLong(); };
        const QListWidgetItem* caret_item = list_->currentItem();
        const qulonglong caret = caret_item ? id_of(caret_item) : 0;
        const int top = list_->indexAt(QPoint(0, 0)).row();
        std::vector<qulonglong> selected;
        for (const QListWidgetItem* it : list_->selectedItems())
            selected.push_back(id_of(it));
        list_->blockSignals(true);
        while (list_->count() > static_cast<int>(items.size()))
            delete list_->takeItem(list_->count() - 1);
        while (list_->count() < static_cast<int>(items.size()))
            list_->addItem(new QListWidgetItem);
        for (std::size_t k = 0; k < items.size(); ++k) {
            QListWidgetItem* it = list_->item(static_cast<int>(k));
            const auto id = static_cast<qulonglong>(reinterpret_cast<std::uintptr_t>(items[k].id));
            it->setData(Qt::UserRole, id);
            it->setText(QString::fromStdString(items[k].target + "\n" + detail(items[k])));
            it->setSelected(std::find(selected.begin(), selected.end(), id) != selected.end());
            if (id == caret)
                list_->setCurrentItem(it, QItemSelectionModel::NoUpdate);
        }
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
        case kAdd:
            play_add_open(conn_);
            return;
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

// ---- Add Play ----

enum AddPlayControl {
    kPreset = 101, kMethod = 103, kLineTopic = 104, kDelay = 105, kTarget = 106, kBrowse = 107, kFile = 108,
    kDeletePreset = 109, kPriority = 110, kHidden = 111, kCenter = 112, kTopicLabel = 113, kPlay = 1, kCancel = 2,
};
enum PlayMethod { kMethodFile = 0, kMethodLine = 1, kMethodTopic = 2, kMethodClipboard = 3 };

// The "hidden" choice of the last play, for the next opening.
bool last_hidden = false;

// A preset: name,"file",method,topic,target,delay,priority,hidden.
struct Preset {
    std::string name, file, topic, target;
    int method = 0, delay = 1000;
    bool priority = false, hidden = false;

    static bool parse(const std::string& text, Preset& p)
    {
        const std::size_t comma = text.find(',');
        if (comma == std::string::npos || comma == 0)
            return false;
        p.name = text.substr(0, comma);
        std::size_t at = comma + 1;
        if (at < text.size() && text[at] == '"') {
            const std::size_t close = text.find('"', at + 1);
            if (close == std::string::npos)
                return false;
            p.file = text.substr(at + 1, close - at - 1);
            at = close + 1;
            if (at < text.size() && text[at] == ',')
                ++at;
        }
        std::vector<std::string> f;
        while (at <= text.size() && f.size() < 6) {
            std::size_t e = text.find(',', at);
            if (e == std::string::npos || f.size() == 5)
                e = text.size();
            f.push_back(text.substr(at, e - at));
            at = e + 1;
        }
        f.resize(6);
        p.method = std::atoi(f[0].c_str());
        if (p.method < 0 || p.method > 3)
            p.method = 0;
        p.topic = f[1];
        p.target = f[2];
        p.delay = std::max(50, f[3].empty() ? 1000 : std::atoi(f[3].c_str()));
        p.priority = std::atoi(f[4].c_str()) != 0;
        p.hidden = std::atoi(f[5].c_str()) != 0;
        return true;
    }

    std::string text() const
    {
        return name + ",\"" + file + "\"," + std::to_string(method) + "," + topic + "," + target + "," +
               std::to_string(delay) + "," + (priority ? "1" : "0") + "," + (hidden ? "1" : "0");
    }
};

std::vector<std::string> read_numbered(const char* section)
{
    std::vector<std::string> out;
    for (int k = 0; k < 1000; ++k) {
        std::string v;
        const std::string key = "n" + std::to_string(k);
        ini_read(section, key.c_str(), "", v, 4150, main_ini_path);
        if (v.empty())
            break;
        out.push_back(std::move(v));
    }
    return out;
}

void write_numbered(const char* section, const std::vector<std::string>& values)
{
    std::vector<std::pair<std::string, std::string>> keys;
    for (std::size_t k = 0; k < values.size(); ++k)
        keys.emplace_back("n" + std::to_string(k), values[k]);
    ini_write_section(section, keys, main_ini_path);
}

std::string full_path(const std::string& file)
{
    std::string path = file;
    file_fix_slashes(path);
    return file_abs_settings_dir(path);
}

class AddPlay : public QDialog {
public:
    AddPlay(QWidget* parent, Connection* conn) : QDialog(parent), conn_(conn)
    {
        setObjectName("play_add");
        setWindowTitle(QString::fromUtf8("Play (Çalıştır) Ekle"));
        setModal(false);
        setAttribute(Qt::WA_DeleteOnClose);
        auto* form = new QFormLayout;
        preset_ = combo(kPreset, true);
        auto* preset_row = new QHBoxLayout;
        preset_row->addWidget(preset_, 1);
        preset_row->addWidget(button(kDeletePreset, "&Sil"));
        form->addRow("&Hızlı Seç:", preset_row);
        file_ = combo(kFile, true);
        auto* file_row = new QHBoxLayout;
        file_row->addWidget(file_, 1);
        browse_ = button(kBrowse, "&Seç");
        file_row->addWidget(browse_);
        form->addRow("&Çalışacak Dosya:", file_row);
        method_ = combo(kMethod, false);
        for (int id : {4421, 4422, 4423, 4424})
            method_->addItem(QString::fromStdString(text_load_string(id)));
        form->addRow("&Metodu:", method_);
        topic_label_ = new QLabel("Topic:", this);
        topic_label_->setObjectName(QString::number(kTopicLabel));
        line_topic_ = combo(kLineTopic, true);
        form->addRow(topic_label_, line_topic_);
        target_ = combo(kTarget, true);
        form->addRow("Çalıştırılacak:", target_);
        delay_ = combo(kDelay, true);
        for (const char* d : {"50", "100", "300", "500", "1000"})
            delay_->addItem(d);
        delay_->setCurrentText("1000");
        form->addRow("Geciktir:", delay_);
        priority_ = check(kPriority, "Önemli");
        hidden_ = check(kHidden, "&Gizli");
        hidden_->setChecked(last_hidden);
        auto* checks = new QHBoxLayout;
        checks->addWidget(priority_);
        checks->addWidget(hidden_);
        form->addRow(checks);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(button(kCenter, "&Merkez"));
        buttons->addStretch();
        auto* play = button(kPlay, "&Çalıştır");
        play->setDefault(true);
        buttons->addWidget(play);
        buttons->addWidget(button(kCancel, "Iptal"));
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(form);
        layout->addLayout(buttons);

        for (const std::string& t : read_numbered("play")) {
            Preset p;
            if (Preset::parse(t, p)) {
                presets_.push_back(p);
                preset_->addItem(QString::fromStdString(p.name));
            }
        }
        preset_->setCurrentIndex(-1);
        preset_->setEditText(QString());
        int shown = 0;
        for (const std::string& f : read_numbered("playfile"))
            if (shown < 16 && file_exists(full_path(f), 1)) {
                file_->addItem(QString::fromStdString(f));
                ++shown;
            }
        file_->setEditText(QString());
        fill_targets();
        method_->setCurrentIndex(kMethodFile);
        connect(preset_, qOverload<int>(&QComboBox::activated), this, [this](int i) { use_preset(i); });
        connect(method_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { update_method(); });
        connect(file_, &QComboBox::currentTextChanged, this, [this] { update_method(); });
        update_method();
    }

    void set_conn(Connection* conn)
    {
        if (conn_is_live(conn))
            conn_ = conn;
    }

private:
    QComboBox* combo(int id, bool editable)
    {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::number(id));
        c->setEditable(editable);
        return c;
    }
    QPushButton* button(int id, const char* text)
    {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::number(id));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, id] { command(id); });
        return b;
    }
    QCheckBox* check(int id, const char* text)
    {
        auto* c = new QCheckBox(QString::fromUtf8(text), this);
        c->setObjectName(QString::number(id));
        return c;
    }

    void fill_targets()
    {
        target_->addItem("Active Window");
        target_->addItem("Status Window");
        for (WindowRecord* r = win_list; r; r = r->next)
            if ((r->type == kWinChannel || r->type == kWinQuery) && (!conn_is_live(conn_) || r->conn == conn_))
                target_->addItem(QString::fromStdString(r->name));
        target_->setCurrentIndex(0);
    }

    void use_preset(int index)
    {
        if (index < 0 || static_cast<std::size_t>(index) >= presets_.size())
            return;
        const Preset& p = presets_[static_cast<std::size_t>(index)];
        file_->setEditText(QString::fromStdString(p.file));
        method_->setCurrentIndex(p.method);
        update_method();
        line_topic_->setEditText(QString::fromStdString(p.topic));
        target_->setEditText(QString::fromStdString(p.target));
        delay_->setEditText(QString::number(p.delay));
        priority_->setChecked(p.priority);
        hidden_->setChecked(p.hidden);
    }

    // The choices of the line/topic field follow the method and the file.
    void update_method()
    {
        topic_label_->clear();
        const int method = method_->currentIndex();
        const bool clipboard = method == kMethodClipboard;
        file_->setEnabled(!clipboard);
        browse_->setEnabled(!clipboard);
        line_topic_->setEnabled(!clipboard);
        line_topic_->clear();
        if (clipboard)
            return;
        const std::string file = file_->currentText().toStdString();
        std::string data;
        if (file.empty() || file_read_all(full_path(file), data, 1 << 24) <= 0)
            return;
        if (method == kMethodTopic) {
            std::size_t p = 0;
            while (p < data.size()) {
                std::size_t e = data.find('\n', p);
                if (e == std::string::npos)
                    e = data.size();
                std::string line = data.substr(p, e - p);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                const std::size_t close = line.rfind(']');
                if (ini_is_section_line(line.c_str()) && close != std::string::npos && close > 1)
                    line_topic_->addItem(QString::fromStdString(line.substr(1, close - 1)));
                p = e + 1;
            }
        } else {
            long long lines = 0;
            for (char c : data)
                lines += c == '\n';
            if (!data.empty() && data.back() != '\n')
                ++lines;
            lines = std::max(1LL, lines);
            if (method == kMethodLine)
                line_topic_->addItem(QString::fromStdString(text_load_string(4425)));
            line_topic_->addItem("1");
            if (lines >= 2)
                line_topic_->addItem(QString::number(lines));
        }
        line_topic_->setCurrentIndex(line_topic_->count() ? 0 : -1);
    }

    void browse()
    {
        std::string start = file_->currentText().toStdString();
        if (start.empty() && file_->count())
            start = file_->itemText(0).toStdString();
        if (start.empty()) {
            start = settings_dir + "*.*";
        } else {
            start = full_path(start);
            const std::size_t slash = start.rfind('/');
            const std::size_t dot = start.rfind('.');
            const std::string ext = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                        ? start.substr(dot) : std::string();
            start = start.substr(0, slash + 1) + "*" + ext;
        }
        std::vector<std::string> chosen;
        if (file_dialog_run(this, kFileDialogFile, start, text_load_string(5101), "", chosen) == 1)
            file_->setEditText(QString::fromStdString(file_relative_to_settings_dir(chosen.front())));
    }

    void delete_preset()
    {
        const std::string name = preset_->currentText().toStdString();
        for (std::size_t k = 0; k < presets_.size(); ++k)
            if (text_equal_nocase(presets_[k].name, name)) {
                presets_.erase(presets_.begin() + static_cast<long>(k));
                preset_->removeItem(static_cast<int>(k));
                save_presets();
                return;
            }
        beep_error(0);
    }

    void save_presets()
    {
        std::vector<std::string> texts;
        for (const Preset& p : presets_)
            texts.push_back(p.text());
        write_numbered("play", texts);
    }

    void play()
    {
        Preset p;
        p.name = preset_->currentText().trimmed().toStdString();
        p.method = method_->currentIndex();
        p.file = file_->currentText().trimmed().toStdString();
        p.topic = line_topic_->currentText().trimmed().toStdString();
        p.target = target_->currentText().trimmed().toStdString();
        p.delay = std::max(50, std::atoi(delay_->currentText().toStdString().c_str()));
        p.priority = priority_->isChecked();
        p.hidden = hidden_->isChecked();
        if ((p.file.empty() && p.method != kMethodClipboard) ||
            (p.topic.empty() && (p.method == kMethodLine || p.method == kMethodTopic)) || p.target.empty()) {
            beep_error(0);
            return;
        }
        if (p.target != "Status Window" && p.target != "Active Window")
            p.target = p.target.substr(0, p.target.find(' '));
        if (!p.file.empty())
            p.file = file_relative_to_settings_dir(full_path(p.file));
        if (!p.name.empty()) {
            for (std::size_t k = 0; k < presets_.size(); ++k)
                if (text_equal_nocase(presets_[k].name, p.name)) {
                    presets_.erase(presets_.begin() + static_cast<long>(k));
                    break;
                }
            presets_.insert(presets_.begin(), p);
            save_presets();
        }
        if (!conn_is_live(conn_))
            conn_ = conn_current();
        std::string target = p.target;
        if (target == "Active Window") {
            WindowRecord* active = win_record_of(win_active.get());
            target = active && (active->type == kWinChannel || active->type == kWinQuery) &&
                             (!conn_is_live(conn_) || active->conn == conn_)
                         ? active->name
                         : "Status Window";
        }
        const bool status = target == "Status Window";
        std::string line = p.hidden ? "/!.play" : "/!play";
        std::string sw;
        if (p.priority)
            sw += "p";
        switch (p.method) {
        case kMethodFile: sw += "f" + std::to_string(std::max(1, std::atoi(p.topic.c_str()))); break;
        case kMethodLine:
            sw += p.topic == text_load_string(4425) ? std::string("r")
                                                     : "l" + std::to_string(std::max(1, std::atoi(p.topic.c_str())));
            break;
        case kMethodClipboard: sw += "b"; break;
        default: sw += "t" + p.topic; break;
        }
        line += status ? " -s" + sw : " -" + sw;
        if (!status)
            line += " " + target;
        if (p.method != kMethodClipboard)
            line += " \"" + p.file + "\"";
        line += " " + std::to_string(p.delay);
        last_hidden = p.hidden;
        if (p.method != kMethodClipboard) {
            // The path as it stands: a comma is part of a file name.
            std::vector<std::string> history{p.file};
            for (const std::string& f : read_numbered("playfile"))
                if (history.size() < 16 && !text_equal_nocase(f, history.front()))
                    history.push_back(f);
            write_numbered("playfile", history);
        }
        WindowRecord* st = conn_is_live(conn_) ? win_find_by_type(kWinStatus, conn_) : nullptr;
        QPointer<AddPlay> self(this);
        script_exec_line(st ? st->hwnd.get() : nullptr, line.c_str(), nullptr, 1, nullptr, nullptr, conn_);
        if (self)
            close();
    }

    void command(int id)
    {
        switch (id) {
        case kDeletePreset: delete_preset(); break;
        case kBrowse: browse(); break;
        case kCenter: play_center_open(conn_); break;
        case kPlay: play(); break;
        case kCancel: close(); break;
        default: break;
        }
    }

    Connection* conn_ = nullptr;
    std::vector<Preset> presets_;
    QComboBox* preset_ = nullptr;
    QComboBox* file_ = nullptr;
    QComboBox* method_ = nullptr;
    QComboBox* line_topic_ = nullptr;
    QComboBox* target_ = nullptr;
    QComboBox* delay_ = nullptr;
    QLabel* topic_label_ = nullptr;
    QPushButton* browse_ = nullptr;
    QCheckBox* priority_ = nullptr;
    QCheckBox* hidden_ = nullptr;
};

QPointer<AddPlay> add_play;

}  // namespace

void play_add_open(Connection* conn)
{
    if (!qApp)
        return;
    if (!conn_is_live(conn))
        conn = conn_current();
    if (!add_play) {
        QWidget* parent = center && center->isActiveWindow() ? static_cast<QWidget*>(center.data()) : win_frame_handle();
        add_play = new AddPlay(parent, conn);
    } else {
        add_play->set_conn(conn);
    }
    add_play->showNormal();
    add_play->raise();
    add_play->activateWindow();
}

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

namespace {
int g_changed_listener = 0;
int g_asked_listener = 0;
}  // namespace

void play_center_install()
{
    play_queue_changed.add_once(g_changed_listener, kPlayedCenter, play_center_refresh);
    play_control_asked.add_once(g_asked_listener, kPlayedCenter, play_center_open);
}

void play_center_uninstall()
{
    play_queue_changed.drop(g_changed_listener);
    play_control_asked.drop(g_asked_listener);
}
