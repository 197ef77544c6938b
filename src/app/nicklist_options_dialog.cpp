#include "app/nicklist_options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "display/nick_list.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"

namespace {

QCheckBox* box(QDialog& d, const char* id, const char* text, bool on)
{
    auto* b = new QCheckBox(QString::fromUtf8(text), &d);
    b->setObjectName(id);
    b->setChecked(on);
    d.layout()->addWidget(b);
    return b;
}

}  // namespace

void nicklist_options_apply(WindowRecord* rec, int flags)
{
    if (!win_is_record(rec) || rec->type != kWinChannel)
        return;
    if (flags & kNickResetDefaults) {
        nicklist_defaults = NicklistDefaults();
    } else if (flags & kNickUseDefaults) {
        ini_write("nicklist", rec->name.c_str(), nullptr, main_ini_path);
    } else {
        NicklistDefaults mine{nicklist_setting(rec, 0), nicklist_setting(rec, 1), nicklist_setting(rec, 2),
                              nicklist_setting(rec, 3)};
        if (flags & kNickSideRight)
            mine.side = 0;
        else if (flags & kNickSideLeft)
            mine.side = 1;
        else if (flags & kNickSideHidden)
            mine.side = 2;
        else
            mine.side = nicklist_defaults.side;
        mine.auto_hide = (flags & kNickAutoHide) ? 1 : 0;
        mine.shift_tab = (flags & kNickShiftTab) ? 1 : 0;
        if (flags & kNickApplyAll) {
            ini_write("nicklist", rec->name.c_str(), nullptr, main_ini_path);
            nicklist_defaults = mine;
        } else {
            ini_write("nicklist", rec->name.c_str(), nicklist_setting_text(mine).c_str(), main_ini_path);
        }
    }
    ini_save_options();
    for (WindowRecord* w = win_list; w; w = w->next)
        if (w->type == kWinChannel) {
            nicklist_load_settings(w);
            nicklist_auto(w, 0);
        }
}

int nicklist_options_dlg(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->type != kWinChannel) {
        beep_error(0);
        return 0;
    }
    QPointer<QWidget> owner = rec->hwnd.get();
    QDialog d(owner ? owner->window() : nullptr);
    d.setObjectName("nicklist_options");
    d.setWindowTitle(QString::fromUtf8("Nick Listesi"));
    auto* layout = new QVBoxLayout(&d);
    auto* side = new QComboBox(&d);
    side->setObjectName("110");
    for (int id = 1921; id <= 1924; ++id)
        side->addItem(QString::fromUtf8(text_load_string(id)));
    // The stored side preselects its entry: 0 right, 1 left, 2 hidden.
    const int now = nicklist_setting(rec, 0);
    side->setCurrentIndex(now >= 0 && now <= 2 ? now + 1 : 0);
    layout->addWidget(side);
    QCheckBox* auto_hide = box(d, "111", "&Otomatik gizle", nicklist_setting(rec, 2) != 0);
    QCheckBox* shift_tab = box(d, "115", "&Shift+Tab ile göster", nicklist_setting(rec, 3) != 0);
    QCheckBox* reset = box(d, "112", "Varsayılanları &sıfırla", false);
    QCheckBox* use = box(d, "113", "&Varsayılanları kullan", false);
    QCheckBox* all = box(d, "114", "&Bütün kanallara uygula", false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    if (d.exec() != QDialog::Accepted || !win_is_record(rec))
        return 0;
    static const int kSides[4] = {kNickSideDefault, kNickSideRight, kNickSideLeft, kNickSideHidden};
    const int index = side->currentIndex();
    int flags = kSides[index >= 0 && index < 4 ? index : 0];
    if (auto_hide->isChecked())
        flags |= kNickAutoHide;
    if (shift_tab->isChecked())
        flags |= kNickShiftTab;
    if (reset->isChecked())
        flags |= kNickResetDefaults;
    if (use->isChecked())
        flags |= kNickUseDefaults;
    if (all->isChecked())
        flags |= kNickApplyAll;
    nicklist_options_apply(rec, flags);
    return 1;
}
