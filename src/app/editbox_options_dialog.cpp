#include "app/editbox_options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "app/child_widgets.h"
#include "core/ini.h"
#include "core/text_buffer.h"
#include "display/editbox.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"

namespace {

// Formatting codes, quotes and runs of blanks go.
std::string clean(std::string text, std::string_view remove)
{
    text_strip_codes(text, 31);
    text_remove_chars(text, remove);
    text_collapse_char(text, ' ');
    return text;
}

}  // namespace

std::string editbox_clean_mode_chars(std::string text)
{
    return clean(std::move(text), ",\"");
}

std::string editbox_clean_command(std::string text)
{
    return clean(std::move(text), "\"");
}

void editbox_reload_channels()
{
    for (WindowRecord* w = win_list; w; w = w->next)
        if (w->type == kWinChannel) {
            editbox_load_settings(w);
            editbox_relayout(w, 0);
        }
}

void editbox_options_store(WindowRecord* rec, const EditboxSettings& s, int mode)
{
    if (!win_is_record(rec) || rec->type != kWinChannel)
        return;
    const std::string value = editbox_settings_text(s);
    if (mode == kEditboxStoreDefault) {
        ini_write("editbox", rec->name.c_str(), nullptr, main_ini_path);
        ini_write("editbox", "default", value.c_str(), main_ini_path);
        editbox_reload_channels();
        return;
    }
    if (mode == kEditboxUseDefault)
        ini_write("editbox", rec->name.c_str(), nullptr, main_ini_path);
    else
        ini_write("editbox", rec->name.c_str(), value.c_str(), main_ini_path);
    editbox_load_settings(rec);
    editbox_relayout(rec, 0);
}

int editbox_options_dlg(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->type != kWinChannel) {
        beep_error(0);
        return 0;
    }
    QPointer<QWidget> owner = rec->hwnd.get();
    QDialog d(owner ? owner->window() : nullptr);
    d.setObjectName("editbox_options");
    d.setWindowTitle(QString::fromUtf8("Giriş Kutusu"));
    auto* form = new QFormLayout(&d);

    auto* enabled = new QCheckBox(QString::fromUtf8("İkinci giriş &kutusu"), &d);
    enabled->setObjectName("101");
    enabled->setChecked(rec->editbox2_wanted != 0);
    form->addRow(enabled);

    auto* show = new QComboBox(&d);
    show->setObjectName("102");
    show->addItem(QStringLiteral("Always"));
    show->addItem(QStringLiteral("When mode"));
    // Anything but "When mode" shows as "Always".
    show->setCurrentIndex(rec->editbox2_when_mode == 1 ? 1 : 0);
    form->addRow(QString::fromUtf8("&Göster:"), show);

    auto* chars = new QLineEdit(QString::fromStdString(rec->editbox2_prefixes), &d);
    chars->setObjectName("103");
    chars->setMaxLength(256);
    chars->setEnabled(show->currentIndex() == 1);
    form->addRow(QString::fromUtf8("&Mod karakterleri:"), chars);
    QObject::connect(show, &QComboBox::activated, chars, [chars](int index) {
        chars->setEnabled(index == 1);
        if (index == 1) {
            chars->selectAll();
            chars->setFocus();
        }
    });

    auto* command = new QLineEdit(QString::fromStdString(rec->editbox2_command), &d);
    command->setObjectName("104");
    command->setMaxLength(256);
    form->addRow(QString::fromUtf8("&Komut:"), command);

    auto* show_command = new QCheckBox(QString::fromUtf8("Komutu gö&ster"), &d);
    show_command->setObjectName("105");
    show_command->setChecked(rec->editbox2_show_command != 0);
    form->addRow(show_command);

    auto* set_default = new QCheckBox(QString::fromUtf8("&Varsayılan yap"), &d);
    set_default->setObjectName("106");
    form->addRow(set_default);
    auto* use_default = new QCheckBox(QString::fromUtf8("Varsayılanı &kullan"), &d);
    use_default->setObjectName("107");
    form->addRow(use_default);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("1");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("2");
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    if (d.exec() != QDialog::Accepted || !win_is_record(rec))
        return 0;

    EditboxSettings s;
    s.enabled = enabled->isChecked() ? 1 : 0;
    s.show_mode = show->currentIndex() == 1 ? 1 : 0;
    s.mode_chars = editbox_clean_mode_chars(chars->text().toStdString());
    s.command = editbox_clean_command(command->text().toStdString());
    s.show_command = show_command->isChecked() ? 1 : 0;
    const int mode = set_default->isChecked() ? kEditboxStoreDefault
                     : use_default->isChecked() ? kEditboxUseDefault
                                                : kEditboxStoreChannel;
    editbox_options_store(rec, s, mode);
    return 1;
}
