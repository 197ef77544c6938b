#include "options/script_warning.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMainWindow>
#include <QPushButton>

#include <iterator>

#include "app/startup.h"
#include "core/options.h"
#include "options/dialog_opener.h"
#include "platform/platform_utils.h"
#include "tools/script_editor.h"

namespace {

const DlgControl k830[] = {
    {101, kDlgLabel, "Yeni yüklenen betikler başlangıç komutlarını çalıştırmak istiyor.", 8, 8, 214, 10},
    {102, kDlgLabel, "Bu betiklerin çalışmasına izin verilsin mi?", 8, 22, 214, 10},
    {1, kDlgButton, "&Evet", 62, 42, 50, 14},
    {2, kDlgDefButton, "&Hayır", 118, 42, 50, 14},
};
const DlgTemplate kTemplate830 = {830, "Script Uyarısı", 230, 62, k830, std::size(k830)};

void init_warning(QDialog& d)
{
    d.setObjectName(kScriptWarningName);
    if (auto* yes = qobject_cast<QAbstractButton*>(dlg_item(&d, 1)))
        QObject::connect(yes, &QAbstractButton::clicked, &d, [&d] { d.done(1); });
    if (auto* no = qobject_cast<QPushButton*>(dlg_item(&d, 2))) {
        QObject::connect(no, &QAbstractButton::clicked, &d, [&d] { d.done(2); });
        no->setDefault(true);
        no->setFocus();
    }
}

}  // namespace

int script_init_warning()
{
    if (!opt(OPT_SCRIPT_START_EVENTS))
        return 1;
    // Owned by the script editor while it has the focus, else by the main window.
    QWidget* owner = editor_has_focus() ? editor_window() : frame_window.data();
    dlg_template_register(kTemplate830);
    return dlg_show_modal(owner, 830, init_warning) == 1 ? 1 : 0;
}

void script_warning_install()
{
    dlg_template_register(kTemplate830);
}

void script_warning_uninstall()
{
    dlg_template_unregister(830);
}
