// The channels list's options dialog (see channels_list_options.h). The
// filter and its settings belong to channels_list.cpp; the dialog reads
// them when it opens and writes them back on every way out.
#include "tools/channels_list_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/frame_menu.h"
#include "core/files.h"
#include "core/main_settings.h"
#include "model/connection.h"
#include "platform/platform_utils.h"
#include "tools/channels_list.h"

namespace {

QDialog* g_open = nullptr;

std::string collapse(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

bool same_nocase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool list_file_exists(const std::string& name)
{
    std::string safe = name;
    file_sanitize_name(safe, true);
    return !safe.empty() && file_exists(main_settings.chans_dir + safe, 1);
}

class ChanListOptions : public QDialog {
public:
    explicit ChanListOptions(Connection* conn) : conn_(conn)
    {
        setObjectName("chanlist_options");
        setWindowTitle(QStringLiteral("Kanal Listesi Seçenekleri"));
        auto* form = new QFormLayout;
        match_ = new QComboBox(this);
        match_->setObjectName("c130");
        match_->setEditable(true);
        match_->lineEdit()->setMaxLength(1024);
        auto* remove = new QPushButton(QStringLiteral("Sil"), this);
        remove->setObjectName("c131");
        auto* match_row = new QHBoxLayout;
        match_row->addWidget(match_, 1);
        match_row->addWidget(remove);
        form->addRow(QStringLiteral("Eşleşen kelimeler:"), match_row);
        topic_ = new QCheckBox(QStringLiteral("Konuları da ara"), this);
        topic_->setObjectName("c133");
        form->addRow(topic_);
        min_ = new QSpinBox(this);
        min_->setObjectName("c134");
        max_ = new QSpinBox(this);
        max_->setObjectName("c135");
        for (QSpinBox* s : {min_, max_})
            s->setRange(0, 9999);
        auto* range = new QHBoxLayout;
        range->addWidget(min_);
        range->addWidget(max_);
        form->addRow(QStringLiteral("Kullanıcı sayısı (en az, en çok):"), range);
        hide_ = new QCheckBox(QStringLiteral("Bu kelimeleri içeren kanalları gizle:"), this);
        hide_->setObjectName("c132");
        hide_words_ = new QLineEdit(this);
        hide_words_->setObjectName("c137");
        hide_words_->setMaxLength(1024);
        form->addRow(hide_, hide_words_);
        nameless_ = new QCheckBox(QStringLiteral("Adsız kanalları gizle"), this);
        nameless_->setObjectName("c138");
        form->addRow(nameless_);
        file_ = new QComboBox(this);
        file_->setObjectName("c140");
        file_->setEditable(true);
        file_->lineEdit()->setMaxLength(1024);
        auto* del = new QPushButton(QStringLiteral("Dosyayı sil"), this);
        del->setObjectName("c141");
        auto* file_row = new QHBoxLayout;
        file_row->addWidget(file_, 1);
        file_row->addWidget(del);
        form->addRow(QStringLiteral("Liste dosyası:"), file_row);

        auto* buttons = new QHBoxLayout;
        list_ = new QPushButton(QStringLiteral("Listele"), this);
        list_->setObjectName("c139");
        apply_ = new QPushButton(QStringLiteral("Uygula"), this);
        apply_->setObjectName("c142");
        auto* ok = new QPushButton(QStringLiteral("Tamam"), this);
        ok->setObjectName("c1");
        ok->setDefault(true);
        auto* cancel = new QPushButton(QStringLiteral("İptal"), this);
        cancel->setObjectName("c2");
        for (QPushButton* b : {list_, apply_, ok, cancel})
            buttons->addWidget(b);
        auto* top = new QVBoxLayout(this);
        top->addLayout(form);
        top->addLayout(buttons);

        load();
        connect(remove, &QPushButton::clicked, this, [this] {
            const int i = match_->findText(match_->currentText());
            if (i >= 0)
                match_->removeItem(i);
            match_->setEditText(QString());
        });
        connect(del, &QPushButton::clicked, this, [this] { delete_file(); });
        connect(file_, &QComboBox::currentTextChanged, this, [this](const QString& t) {
            if (t.toStdString() != loaded_file_)
                reload_ = true;
            apply_->setEnabled(list_file_exists(t.toStdString()));
        });
        connect(ok, &QPushButton::clicked, this, [this] { finish(1); });
        connect(cancel, &QPushButton::clicked, this, [this] { finish(2); });
        connect(list_, &QPushButton::clicked, this, [this] { finish(139); });
        connect(apply_, &QPushButton::clicked, this, [this] { finish(142); });
    }

    // Esc reads everything as well.
    void reject() override { finish(2); }

private:
    void load()
    {
        ChannelListFilter f = chanlist_state(conn_).filter;
        if (f.list_file.empty())
            f = chanlist_defaults;
        topic_->setChecked(f.topic_option != 0);
        hide_->setChecked(f.hide_option != 0);
        nameless_->setChecked(f.nameless_option != 0);
        for (const std::string& h : chanlist_history)
            match_->addItem(QString::fromStdString(h));
        match_->setEditText(QString::fromStdString(f.match_words));
        hide_words_->setText(QString::fromStdString(f.hide_words));
        QStringList files = QDir(QString::fromStdString(main_settings.chans_dir))
                                .entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
        if (files.isEmpty())
            files << QStringLiteral("channels.txt");
        file_->addItems(files);
        loaded_file_ = f.list_file.empty() ? "channels.txt" : f.list_file;
        file_->setEditText(QString::fromStdString(loaded_file_));
        min_->setValue(std::clamp(f.min_users, 0, 9999));
        max_->setValue(std::clamp(f.max_users, 0, 9999));
        apply_->setEnabled(list_file_exists(loaded_file_));
        list_->setEnabled(conn_->registered != 0);
    }

    void delete_file()
    {
        const std::string name = file_->currentText().toStdString();
        if (!list_file_exists(name)) {
            beep_error(0);
            return;
        }
        if (!confirm_delete(name))
            return;
        std::string safe = name;
        file_sanitize_name(safe, true);
        std::error_code ec;
        std::filesystem::remove(main_settings.chans_dir + safe, ec);
        const int i = file_->findText(QString::fromStdString(name));
        if (i >= 0)
            file_->removeItem(i);
        apply_->setEnabled(file_->count() > 0 && list_file_exists(file_->currentText().toStdString()));
    }

    bool confirm_delete(const std::string& name);

    // Reads everything into the defaults, saves them and hands them to the
    // connection; then does what the button asks.
    void finish(int id)
    {
        if (!conn_is_live(conn_)) {
            beep_error(0);
            done(0);
            return;
        }
        ChannelListFilter& f = chanlist_defaults;
        std::string file = file_->currentText().toStdString();
        if (file.empty()) {
            file = "channels.txt";
            reload_ = true;
        }
        f.list_file = file;
        const std::string match = collapse(match_->currentText().toStdString());
        if (!match.empty()) {
            std::erase_if(chanlist_history, [&](const std::string& h) { return same_nocase(h, match); });
            chanlist_history.insert(chanlist_history.begin(), match);
            if (chanlist_history.size() > 20)
                chanlist_history.resize(20);
        }
        f.match_words = match;
        f.hide_words = collapse(hide_words_->text().toStdString());
        f.topic_option = topic_->isChecked() ? 1 : 0;
        f.hide_option = hide_->isChecked() ? 1 : 0;
        f.nameless_option = nameless_->isChecked() ? 1 : 0;
        f.min_users = min_->value();
        f.max_users = max_->value();
        f.created_low = f.created_high = f.topic_low = f.topic_high = -9;
        chanlist_clamp(f);
        chanlist_save_settings();
        chanlist_copy_filter(0, conn_);
        done(id);
        if (id == 139) {
            chanlist_send_list(std::string(), conn_);
        } else if (id == 142) {
            if (conn_->chanlist_window.isNull())
                chanlist_changed.fire(conn_, kChanListOpen);
            chanlist_refill(reload_ ? 1 : 0, conn_);
        }
    }

    Connection* conn_;
    QComboBox* match_;
    QCheckBox* topic_;
    QCheckBox* hide_;
    QCheckBox* nameless_;
    QSpinBox* min_;
    QSpinBox* max_;
    QLineEdit* hide_words_;
    QComboBox* file_;
    QPushButton* list_;
    QPushButton* apply_;
    std::string loaded_file_;
    bool reload_ = false;
};

bool ChanListOptions::confirm_delete(const std::string&)
{
    return QMessageBox::question(this, QStringLiteral("Onayı Sil"),
                                 QStringLiteral("Seçtiniz Dosyaları çöpe göndermek istediğinize eminmisiniz ?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

int menu_150(int, intptr_t lparam) { return chanlist_open_options(static_cast<int>(lparam)); }

} // namespace

QDialog* chanlist_options_create(Connection* conn)
{
    if (!conn_is_live(conn))
        return nullptr;
    return new ChanListOptions(conn);
}

int chanlist_open_options(int)
{
    Connection* conn = conn_current();
    if (g_open || !conn_is_live(conn) || conn->chanlist_busy) {
        beep_error(0);
        return 0;
    }
    ChanListOptions d(conn);
    g_open = &d;
    d.exec();
    g_open = nullptr;
    return 1;
}

void channels_list_options_install() { frame_menu_command_register(150, menu_150); }

void channels_list_options_uninstall() { frame_menu_command_register(150, nullptr); }
