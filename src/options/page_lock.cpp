// The Lock page of the options dialog (template 590): the lock flags as
// boxes and a ticked list of commands, the channels that may be joined,
// and the password button. The page works on a staging digest; OK makes
// the staged values live and saves them when anything changed.
#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>

#include <iterator>

#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "options/locks.h"
#include "options/options_page.h"
#include "platform/platform_utils.h"

namespace {

constexpr int kPageTemplate = 590;
constexpr int kFirst = 598;

const DlgControl k590[] = {
    {598, kDlgGroupBox, "Kilit", 4, 2, 222, 150},
    {599, kDlgCheck, "Açılışta şifre &sor", 10, 14, 120, 10},
    {600, kDlgGroupBox, "DCC", 10, 28, 100, 62},
    {601, kDlgCheck, "&Gönderme", 16, 40, 90, 10},
    {602, kDlgCheck, "&Alma", 16, 52, 90, 10},
    {603, kDlgCheck, "&Dosya sunucusu", 16, 76, 90, 10},
    {604, kDlgCheck, "&Sohbet ve özel", 16, 64, 90, 10},
    {605, kDlgGroupBox, "Komutlar", 116, 28, 104, 62},
    {606, kDlgButton, "Şifre &Koy", 136, 10, 84, 14},
    {607, kDlgCheck, "Yalnızca şu &kanallar:", 10, 96, 120, 10},
    {608, kDlgComboEdit, "", 10, 108, 120, 60, 0, 256},
    {609, kDlgButton, "&Ekle", 134, 107, 40, 14},
    {610, kDlgCheck, "Kilitliyken &tepsi menüsünde pencereleri gizle", 10, 126, 210, 10},
    {611, kDlgList, "", 122, 40, 92, 46},
    {612, kDlgCheck, "Kilitliyken &ipuçlarını gizle", 10, 138, 210, 10},
};
const DlgTemplate kTemplate590 = {kPageTemplate, "", 230, 160, k590, std::size(k590)};

// The check boxes and their bits.
const struct {
    int control;
    int bit;
} kBoxes[] = {
    {599, kLockAskAtStart}, {601, kLockDccSend},  {602, kLockDccGet},     {604, kLockDccChat},
    {603, kLockFserve},     {610, kLockHideTray}, {612, kLockHideTips},   {607, kLockChannels},
};

// The ticked list's items in order: text and bit.
const struct {
    int text;
    int bit;
} kCommands[] = {{4373, kLockCom}, {4374, kLockDecode}, {4375, kLockDll}, {4376, kLockRun}};

constexpr int kTicked = 65536;

// What the page holds while the dialog is open.
struct LockPageState {
    std::uint32_t staging = 0;
    bool list_changed = false;
};
LockPageState g_state;

QListWidget* command_list(QWidget* d)
{
    return qobject_cast<QListWidget*>(dlg_item(d, 611));
}

QComboBox* channel_combo(QWidget* d)
{
    return qobject_cast<QComboBox*>(dlg_item(d, 608));
}

void set_caption(QWidget* d, int id, int text_id)
{
    QWidget* w = dlg_item(d, id);
    if (!w)
        return;
    std::string text = text_load_string(text_id);
    if (!w->isVisible())
        for (char& c : text)
            if (c == '&')
                c = kDlgHiddenMnemonic;
    dlg_set_text(d, id, text);
}

// The password caption and the controls a password guards.
void opt_lock_page_update(QWidget* d)
{
    set_caption(d, 606, g_state.staging ? 4345 : 4344);
    const bool open = g_state.staging == 0;
    for (int id : {599, 601, 602, 603, 604, 605, 611, 607, 608, 609, 610})
        if (QWidget* w = dlg_item(d, id))
            w->setEnabled(open);
}

// The add/delete button by the combo's text.
void opt_lock_channel_button(QWidget* d)
{
    QComboBox* combo = channel_combo(d);
    QWidget* button = dlg_item(d, 609);
    if (!combo || !button)
        return;
    const QString text = combo->currentText();
    button->setEnabled(!text.isEmpty() && g_state.staging == 0);
    const bool listed = combo->findText(text, Qt::MatchFixedString) >= 0;
    const char* caption = listed ? "&Sil" : "&Ekle";
    std::string c = caption;
    if (!button->isVisible())
        for (char& ch : c)
            if (ch == '&')
                ch = kDlgHiddenMnemonic;
    dlg_set_text(d, 609, c);
}

// The combo's text cut to its first word and at its first comma.
std::string typed_channel(QWidget* d)
{
    std::string text = dlg_text(d, 608);
    if (text.size() > 256)
        text.resize(256);
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    text = text.substr(i);
    text = text.substr(0, text.find(' '));
    return text.substr(0, text.find(','));
}

void on_channel_button(QWidget* d)
{
    QComboBox* combo = channel_combo(d);
    if (!combo)
        return;
    const std::string name = typed_channel(d);
    if (name.empty()) {
        beep_error(0);
        return;
    }
    const QString q = QString::fromStdString(name);
    const bool adding = combo->findText(combo->currentText(), Qt::MatchFixedString) < 0;
    if (adding) {
        if (combo->findText(q, Qt::MatchFixedString) >= 0) {
            beep_error(0);
            return;
        }
        combo->addItem(q);
    } else {
        const int at = combo->findText(combo->currentText(), Qt::MatchFixedString);
        combo->removeItem(at);
    }
    g_state.list_changed = true;
    combo->setEditText(QString());
    opt_lock_channel_button(d);
}

void fill(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    g_state = LockPageState();
    g_state.staging = lock_options.digest;
    for (const auto& b : kBoxes)
        dlg_set_checked(d, b.control, (lock_options.flags & b.bit) ? 1 : 0);
    if (QListWidget* list = command_list(d)) {
        list->clear();
        for (const auto& c : kCommands) {
            auto* item = new QListWidgetItem(QString::fromUtf8(text_load_string(c.text)), list);
            const bool ticked = (lock_options.flags & c.bit) != 0;
            item->setData(Qt::UserRole, c.bit + (ticked ? kTicked : 0));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        }
        // A left click toggles the tick.
        QObject::disconnect(list, &QListWidget::itemClicked, nullptr, nullptr);
        QObject::connect(list, &QListWidget::itemClicked, list, [](QListWidgetItem* item) {
            const int data = item->data(Qt::UserRole).toInt();
            const int toggled = data ^ kTicked;
            item->setData(Qt::UserRole, toggled);
            item->setCheckState((toggled & kTicked) ? Qt::Checked : Qt::Unchecked);
        });
    }
    if (QComboBox* combo = channel_combo(d)) {
        combo->clear();
        for (const std::string& c : lock_options.channels)
            combo->addItem(QString::fromStdString(c));
        combo->setEditText(QString());
        QObject::disconnect(combo, &QComboBox::editTextChanged, nullptr, nullptr);
        QObject::disconnect(combo, &QComboBox::currentIndexChanged, nullptr, nullptr);
        QObject::connect(combo, &QComboBox::editTextChanged, combo, [d] { opt_lock_channel_button(d); });
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [d] { opt_lock_channel_button(d); });
    }
    opt_lock_page_update(d);
    opt_lock_channel_button(d);
}

void apply(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    int flags = 0;
    for (const auto& b : kBoxes)
        if (dlg_checked(d, b.control))
            flags |= b.bit;
    if (QListWidget* list = command_list(d)) {
        for (int i = 0; i < list->count(); ++i) {
            const int data = list->item(i)->data(Qt::UserRole).toInt();
            const int bit = data & 0xFFFF;
            if ((data & kTicked) && (bit == kLockCom || bit == kLockRun || bit == kLockDll || bit == kLockDecode))
                flags |= bit;
        }
    }
    // Bits the page does not show stay as they were.
    int shown = 0;
    for (const auto& b : kBoxes)
        shown |= b.bit;
    for (const auto& c : kCommands)
        shown |= c.bit;
    flags |= lock_options.flags & ~shown;

    std::vector<std::string> channels = lock_options.channels;
    if (g_state.list_changed) {
        channels.clear();
        if (QComboBox* combo = channel_combo(d))
            for (int i = 0; i < combo->count(); ++i)
                channels.push_back(combo->itemText(i).toStdString());
    }
    if (g_state.staging != lock_options.digest || flags != lock_options.flags || g_state.list_changed) {
        lock_options.digest = g_state.staging;
        lock_options.flags = flags;
        lock_options.channels = channels;
        lock_options_save();
    }
    g_state.list_changed = false;
}

int command(OptionsEdit& e, int id)
{
    QDialog* d = e.dialog;
    switch (id) {
    case 606:
        if (opt_lock_password_dialog(d, &g_state.staging, 0) > 0)
            opt_lock_page_update(d);
        opt_lock_channel_button(d);
        if (QWidget* ok = dlg_item(d, 1))
            ok->setFocus();
        return 1;
    case 609:
        on_channel_button(d);
        return 1;
    case 608:
        opt_lock_channel_button(d);
        return 1;
    default:
        return 0;
    }
}

}  // namespace

void page_lock_install()
{
    dlg_template_register(kTemplate590);
    options_page_register({kFirst, &kTemplate590, fill, apply, nullptr, command});
}

void page_lock_uninstall()
{
    options_page_unregister(kFirst);
    dlg_template_unregister(kPageTemplate);
}
