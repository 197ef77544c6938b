// The update dialog.
#include "tools/update_dialog.h"

#include "app/frame_menu.h"
#include "app/startup.h"
#include "core/digest.h"
#include "core/files.h"
#include "core/ini.h"
#include "options/dialog_opener.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "tools/update_check.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <iterator>

namespace {

QPointer<QDialog> g_dialog;
QPointer<QProgressBar> g_bar;
QPointer<QTimer> g_download_timer;

enum ButtonRole { kRoleClose, kRoleDownload, kRoleCancel, kRoleShow };
ButtonRole g_role = kRoleClose;

QString text(int id)
{
    return QString::fromStdString(script_text(id));
}

void set_text(int id, const QString& t)
{
    if (g_dialog)
        if (QWidget* w = dlg_item(g_dialog, id))
            dlg_widget_set_text(w, t);
}

void show_item(int id, bool on)
{
    if (g_dialog)
        if (QWidget* w = dlg_item(g_dialog, id))
            w->setVisible(on);
}

void set_button(ButtonRole role, int caption)
{
    g_role = role;
    set_text(1, text(caption));
}

void bar_busy(bool busy)
{
    if (!g_bar)
        return;
    g_bar->setRange(0, busy ? 0 : 100);
    if (!busy)
        g_bar->setValue(0);
}

// The end of the package download: a file that is there with the
// announced checksum is offered; anything else failed and is removed.
void download_ended()
{
    if (g_download_timer)
        g_download_timer->stop();
    DownloadJob& job = update_check.package;
    http_download_join(job);
    bar_busy(false);
    const std::string path = job.local_path;
    const bool ok = job.status.load() == kDownloadDone && !path.empty() && file_exists(path, 1) &&
                    (update_check.package_crc == 0 || crc32_file(path) == update_check.package_crc);
    if (!ok && job.status.load() == kDownloadDone && !path.empty())
        file_delete(path, 0);
    if (g_bar && ok)
        g_bar->setValue(100);
    set_text(100, text(ok ? 5658 : 5659));
    set_button(ok ? kRoleShow : kRoleClose, ok ? 5660 : 5654);
    if (g_dialog)
        if (QWidget* b = dlg_item(g_dialog, 1))
            b->setEnabled(true);
}

void download_poll()
{
    DownloadJob& job = update_check.package;
    if (job.status.load() == kDownloadRunning) {
        const int length = job.content_length.load();
        if (g_bar && length > 0) {
            g_bar->setRange(0, 100);
            g_bar->setValue(static_cast<int>(static_cast<long long>(job.count.load()) * 100 / length));
        }
        return;
    }
    download_ended();
}

void start_download()
{
    if (update_check.url.empty())
        return;
    DownloadJob& job = update_check.package;
    http_download_clear(job);
    job.url = update_check.url;
    job.to_file = true;
    job.target_folder = update_package_folder();
    job.expected_crc = update_check.package_crc;
    job.update = true;
    set_text(100, text(5657));
    set_button(kRoleCancel, 5655);
    bar_busy(true);
    if (!http_download_start(job)) {
        download_ended();
        return;
    }
    if (!g_download_timer) {
        g_download_timer = new QTimer(g_dialog);
        g_download_timer->setInterval(100);
        QObject::connect(g_download_timer, &QTimer::timeout, download_poll);
    }
    g_download_timer->start();
}

void button_one()
{
    switch (g_role) {
    case kRoleDownload:
        start_download();
        break;
    case kRoleCancel:
        if (QWidget* b = dlg_item(g_dialog, 1))
            b->setEnabled(false);
        http_download_cancel(update_check.package);
        download_ended();
        break;
    case kRoleShow: {
        const std::string path = update_check.package.local_path;
        if (g_dialog)
            g_dialog->done(1);
        shell_show_file(path, 8);
        break;
    }
    case kRoleClose:
        if (g_dialog)
            g_dialog->done(2);
        break;
    }
}

const DlgControl kUpdateControls[] = {
    {100, kDlgLabel, "", 7, 7, 226, 18},
    {101, kDlgFrame, "", 7, 28, 226, 10},
    {102, kDlgLabel, "", 7, 42, 226, 9, kDlgHidden},
    {103, kDlgLabel, "", 7, 53, 226, 26, kDlgHidden},
    {104, kDlgCheck, "Güncellemeleri &otomatik denetle", 7, 84, 150, 10},
    {1, kDlgDefButton, "Kapat", 122, 98, 54, 14},
    {105, kDlgButton, "Kapat", 180, 98, 54, 14},
};
const DlgTemplate kUpdateTemplate = {kUpdateDialogTemplate, "Kest Güncelleme", 240, 118, kUpdateControls,
                                     std::size(kUpdateControls)};

int menu_update(int, intptr_t lparam)
{
    return update_dialog_open(lparam == 1 ? 1 : 0);
}

}  // namespace

int update_dialog_is_open()
{
    return g_dialog ? 1 : 0;
}

void update_dialog_show_result()
{
    if (!g_dialog)
        return;
    bar_busy(false);
    show_item(102, false);
    show_item(103, false);
    if (update_check.running) {
        set_text(100, text(5650));
        set_button(kRoleClose, 5654);
        bar_busy(true);
        return;
    }
    if (update_check.reply_missing) {
        set_text(100, text(5653));
        set_button(kRoleClose, 5654);
        return;
    }
    if (update_check.result) {
        set_text(100, text(5651));
        set_text(102, QString::fromStdString("Kest " + update_check.version));
        set_text(103, QString::fromStdString(update_check.news));
        show_item(102, true);
        show_item(103, !update_check.news.empty());
        if (update_check.url.empty())
            set_button(kRoleClose, 5654);
        else
            set_button(kRoleDownload, 5656);
    } else {
        set_text(100, text(5652));
        set_button(kRoleClose, 5654);
    }
}

int update_dialog_open(int param)
{
    if (g_dialog)
        return 0;
    QWidget* owner = frame_window.data();
    dlg_show_modal(owner, kUpdateDialogTemplate, [param](QDialog& d) {
        g_dialog = &d;
        std::string check;
        ini_read("update", "check", "1", check, 256, main_ini_path);
        dlg_set_checked(&d, 104, check == "0" ? 0 : 1);
        if (QWidget* frame = dlg_item(&d, 101)) {
            g_bar = new QProgressBar(frame);
            g_bar->setTextVisible(false);
            g_bar->setGeometry(frame->rect());
            g_bar->setRange(0, 100);
            g_bar->setValue(0);
        }
        if (auto* news = qobject_cast<QLabel*>(dlg_item(&d, 103)))
            news->setWordWrap(true);
        // The buttons wait one second, so that a click meant for another
        // window does not answer the dialog.
        for (int id : {1, 105})
            if (QWidget* b = dlg_item(&d, id))
                b->setEnabled(false);
        QTimer::singleShot(1000, &d, [&d] {
            for (int id : {1, 105})
                if (QWidget* b = dlg_item(&d, id))
                    b->setEnabled(true);
        });
        if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 1)))
            QObject::connect(b, &QAbstractButton::clicked, &d, [] { button_one(); });
        if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 105)))
            QObject::connect(b, &QAbstractButton::clicked, &d, [&d] { d.done(2); });
        QObject::connect(&d, &QDialog::finished, &d, [&d] {
            const int on = dlg_checked(&d, 104);
            ini_write("update", "check", on ? "1" : "0", main_ini_path);
            update_check.silent = 1;
            http_download_cancel(update_check.package);
        });
        if (param == 1) {
            update_dialog_show_result();
        } else {
            update_check_start(1);
            update_dialog_show_result();
        }
    });
    g_dialog = nullptr;
    if (g_download_timer)
        g_download_timer->stop();
    return 1;
}

void update_dialog_install()
{
    dlg_template_register(kUpdateTemplate);
    frame_menu_command_register(194, menu_update);
}

void update_dialog_uninstall()
{
    frame_menu_command_register(194, nullptr);
    dlg_template_unregister(kUpdateDialogTemplate);
}
