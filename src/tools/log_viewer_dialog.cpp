#include "tools/log_viewer_dialog.h"

#include "app/frame_menu.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "display/logging.h"
#include "platform/platform_utils.h"
#include "script/exec/script_text.h"
#include "tools/log_viewer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char* const kOrderNames[] = {
    "Ad, Ağ, Tarih", "Ad, Tarih, Ağ", "Ağ, Ad, Tarih", "Ağ, Tarih, Ad",
    "Tarih, Ad, Ağ", "Tarih, Ağ, Ad", "Son Ayarlanan", "Dosya Boyutu",
};

class LogViewDialog : public QDialog {
public:
    explicit LogViewDialog(const std::string& log_dir) : log_dir_(log_dir)
    {
        setWindowTitle("Log Dosyaları");
        setObjectName("logview");
        auto* grid = new QVBoxLayout(this);
        auto* top = new QHBoxLayout;
        folder_ = new QComboBox;
        folder_->setObjectName("folder");
        order_ = new QComboBox;
        order_->setObjectName("order");
        for (const char* n : kOrderNames)
            order_->addItem(QString::fromUtf8(n));
        top->addWidget(folder_);
        top->addWidget(order_);
        grid->addLayout(top);
        auto* search_row = new QHBoxLayout;
        search_ = new QComboBox;
        search_->setObjectName("search");
        search_->setEditable(true);
        names_only_ = new QCheckBox("Sadece ad");
        names_only_->setObjectName("names_only");
        go_ = new QPushButton("&Kabul");
        go_->setObjectName("go");
        search_row->addWidget(search_, 1);
        search_row->addWidget(names_only_);
        search_row->addWidget(go_);
        grid->addLayout(search_row);
        progress_ = new QProgressBar;
        progress_->setRange(0, 100);
        grid->addWidget(progress_);
        list_ = new QListWidget;
        list_->setObjectName("files");
        list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        grid->addWidget(list_, 1);
        auto* buttons = new QHBoxLayout;
        show_all_ = new QPushButton("Hepsini Göster");
        show_ = new QPushButton("Göster");
        merge_ = new QPushButton("Birleştir");
        rename_ = new QPushButton("Yeniden Adlandır");
        delete_ = new QPushButton("Sil");
        show_all_->setObjectName("show_all");
        show_->setObjectName("show");
        merge_->setObjectName("merge");
        rename_->setObjectName("rename");
        delete_->setObjectName("delete");
        for (QPushButton* b : {show_all_, show_, merge_, rename_, delete_})
            buttons->addWidget(b);
        grid->addLayout(buttons);

        std::string v;
        ini_read("logview", "order", "0", v, 256, main_ini_path);
        logview_set_order(std::atoi(v.c_str()));
        order_->setCurrentIndex(logview_order());
        for (const auto& f : logview_fill_folders(log_dir_))
            folder_->addItem(f.empty() ? QString("Main folder") : QString::fromStdString(f),
                             QString::fromStdString(f));
        ini_read("logview", "folder", "", v, 1024, main_ini_path);
        const int fi = folder_->findData(QString::fromStdString(v));
        folder_->setCurrentIndex(fi >= 0 ? fi : 0);
        history_ = logview_filter_history_load(main_ini_path);
        for (const auto& h : history_)
            search_->addItem(QString::fromStdString(h));
        search_->setCurrentText("");

        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
        connect(order_, &QComboBox::currentIndexChanged, this, [this](int i) {
            logview_set_order(i);
            ini_write("logview", "order", std::to_string(logview_order()).c_str(), main_ini_path);
            timer_.start(100);
        });
        connect(folder_, &QComboBox::currentIndexChanged, this, [this](int) {
            ini_write("logview", "folder", folder_->currentData().toString().toStdString().c_str(),
                      main_ini_path);
            timer_.start(50);
        });
        connect(go_, &QPushButton::clicked, this, [this] {
            if (searching_) {
                stop_ = true;
                return;
            }
            const std::string text = search_->currentText().toStdString();
            logview_filter_history_add(history_, text);
            logview_filter_history_save(history_, main_ini_path);
            timer_.start(50);
        });
        connect(show_all_, &QPushButton::clicked, this, [this] {
            search_->setCurrentText("");
            timer_.start(50);
        });
        connect(list_, &QListWidget::itemSelectionChanged, this, [this] { update_buttons(); });
        connect(list_, &QListWidget::itemDoubleClicked, this, [this] { show_file(); });
        connect(show_, &QPushButton::clicked, this, [this] { show_file(); });
        connect(delete_, &QPushButton::clicked, this, [this] { delete_files(); });
        connect(rename_, &QPushButton::clicked, this, [this] { rename_file(); });
        connect(merge_, &QPushButton::clicked, this, [this] { merge_files(); });
        refresh();
    }

    std::vector<std::string> selected() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < list_->count(); ++i)
            if (list_->item(i)->isSelected())
                out.push_back(list_->item(i)->data(Qt::UserRole).toString().toStdString());
        return out;
    }

    std::string folder() const
    {
        return logview_folder_path(log_dir_, folder_->currentData().toString().toStdString());
    }

    void refresh()
    {
        searching_ = true;
        stop_ = false;
        go_->setText("Durdur");
        update_buttons();
        const std::string text = search_->currentText().toStdString();
        const auto entries = logview_refresh(folder(), text, names_only_->isChecked() ? 1 : 0, [this](int pct) {
            progress_->setValue(pct);
            QApplication::processEvents();
            return stop_ ? 0 : 1;
        });
        list_->clear();
        for (const auto& e : entries) {
            std::string size;
            num_format_bytes(static_cast<double>(e.size), size, 1, 0, 0, 0, 0);
            auto* item = new QListWidgetItem(QString::fromStdString(e.name + " (" + size + ")"));
            item->setData(Qt::UserRole, QString::fromStdString(e.name));
            list_->addItem(item);
        }
        progress_->setValue(0);
        searching_ = false;
        go_->setText("&Kabul");
        update_buttons();
    }

    void update_buttons()
    {
        const std::size_t n = searching_ ? 0 : selected().size();
        for (QWidget* w : {static_cast<QWidget*>(folder_), static_cast<QWidget*>(order_),
                           static_cast<QWidget*>(show_all_)})
            w->setEnabled(!searching_);
        show_->setEnabled(n == 1);
        rename_->setEnabled(n == 1);
        merge_->setEnabled(n >= 1);
        delete_->setEnabled(n >= 1);
    }

    void show_file()
    {
        const auto sel = selected();
        if (sel.size() == 1)
            shell_show_file(folder() + sel[0], 0);
    }

    void delete_files()
    {
        const auto sel = selected();
        if (sel.empty())
            return;
        if (QMessageBox::question(this, "Onayı Sil",
                                  "Seçtiniz Dosyaları çöpe göndermek istediğinize eminmisiniz ?") !=
            QMessageBox::Yes)
            return;
        log_reopen_handles(0);
        logview_delete(folder(), sel);
        log_reopen_handles(1);
        refresh();
    }

    void rename_file()
    {
        const auto sel = selected();
        if (sel.size() != 1)
            return;
        bool ok = false;
        const QString to = QInputDialog::getText(this, "Yeniden Adlandır", "Yeni ad:", QLineEdit::Normal,
                                                 QString::fromStdString(sel[0]), &ok);
        if (!ok || to.isEmpty())
            return;
        log_reopen_handles(0);
        const int done = logview_rename(folder(), sel[0], to.toStdString());
        log_reopen_handles(1);
        if (!done)
            QMessageBox::warning(this, "Yeniden Adlandır", "Dosya yeniden adlandırılamadı.");
        refresh();
    }

    void merge_files()
    {
        const auto sel = selected();
        if (sel.empty())
            return;
        QDialog d(this);
        d.setWindowTitle("Birleştir");
        auto* lay = new QVBoxLayout(&d);
        auto* target = new QComboBox;
        target->setEditable(true);
        for (const auto& s : sel)
            target->addItem(QString::fromStdString(s));
        auto* del = new QCheckBox("Birleştirilen dosyaları sil");
        auto* ok = new QPushButton("Tamam");
        lay->addWidget(target);
        lay->addWidget(del);
        lay->addWidget(ok);
        connect(ok, &QPushButton::clicked, &d, &QDialog::accept);
        if (d.exec() != QDialog::Accepted)
            return;
        log_reopen_handles(0);
        const int done = logview_merge(folder(), sel, target->currentText().toStdString(),
                                       del->isChecked() ? 1 : 0);
        log_reopen_handles(1);
        if (!done)
            QMessageBox::warning(this, "Birleştir", "Dosyalar birleştirilemedi.");
        refresh();
    }

private:
    std::string log_dir_;
    QComboBox* folder_ = nullptr;
    QComboBox* order_ = nullptr;
    QComboBox* search_ = nullptr;
    QCheckBox* names_only_ = nullptr;
    QPushButton* go_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton *show_all_ = nullptr, *show_ = nullptr, *merge_ = nullptr, *rename_ = nullptr,
                *delete_ = nullptr;
    std::vector<std::string> history_;
    QTimer timer_;
    bool searching_ = false;
    bool stop_ = false;
};

int menu_logview(int, intptr_t)
{
    return logview_dialog_open();
}

int order_hook()
{
    return logview_order();
}

} // namespace

QDialog* logview_dialog_create(const char* log_dir)
{
    log_flush_all();  // the sizes and texts shown are the files' whole ones
    return new LogViewDialog(log_dir ? log_dir : log_folder());
}

int logview_dialog_open()
{
    log_flush_all();
    LogViewDialog d(log_folder());
    d.resize(560, 420);
    d.exec();
    return 1;
}

void logview_install()
{
    sort_logview_order_hook = order_hook;
    frame_menu_command_register(155, menu_logview);
}

void logview_uninstall()
{
    frame_menu_command_register(155, nullptr);
    sort_logview_order_hook = nullptr;
}
