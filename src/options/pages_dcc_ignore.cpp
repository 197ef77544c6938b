// The Ignore page of the DCC options: the file-type filter's method (off,
// accept only the listed types, ignore the listed types), the types of
// each method, and the minutes after which a filter switched off comes
// back on. Each method's list is edited in a working copy that OK or Apply
// puts in place.
#include "options/pages_dcc.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QVariant>

#include <iterator>
#include <string>
#include <vector>

#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "irc/lists/ignore_list.h"
#include "options/options_page.h"
#include "options/page_rules.h"
#include "platform/platform_utils.h"

namespace {

const DlgControl k263[] = {
    {573, kDlgCombo, "", 4, 4, 222, 60},
    {574, kDlgComboEdit, "", 4, 24, 150, 90},
    {575, kDlgCheck, "Süzgeci &yeniden aç:", 4, 48, 100, 10},
    {576, kDlgCombo, "", 106, 46, 40, 120},
    {577, kDlgLabel, "dakika sonra", 150, 48, 70, 8},
    {578, kDlgLabel, "", 4, 4, 0, 0},
    {579, kDlgButton, "&Ekle", 160, 23, 32, 14},
    {580, kDlgButton, "&Sil", 194, 23, 32, 14},
};
const DlgTemplate kTemplate263 = {263, "", 230, 160, k263, std::size(k263)};

// The minutes the list offers.
const int kMinutes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 30, 40, 50, 60};

// What the page edits while the dialog is open.
struct IgnoreCopy {
    std::vector<std::string> types[3];  // by method; 0 (off) stays empty
    int shown = 1;                      // the method whose list is shown
    int method = 1, minutes = 3, timer = 0;  // as filled
};
IgnoreCopy g_copy;

QComboBox* types_combo(QWidget* page)
{
    return qobject_cast<QComboBox*>(dlg_item(page, 574));
}

std::vector<std::string> list_of(const StringNode* n)
{
    std::vector<std::string> out;
    for (; n; n = n->next)
        out.push_back(n->text);
    return out;
}

StringNode* node_list_of(const std::vector<std::string>& v)
{
    StringNode* head = nullptr;
    for (const std::string& t : v)
        head = strlist_append(head, t, 0);
    return head;
}

int find_type(QComboBox* c, const std::string& text)
{
    for (int i = 0; c && i < c->count(); ++i)
        if (text_equal_nocase(c->itemText(i).toStdString(), text))
            return i;
    return -1;
}

// The combo's entries back into the shown method's copy.
void store_shown(QWidget* page)
{
    QComboBox* c = types_combo(page);
    if (!c || g_copy.shown < 1 || g_copy.shown > 2)
        return;
    std::vector<std::string>& list = g_copy.types[g_copy.shown];
    list.clear();
    for (int i = 0; i < c->count(); ++i)
        list.push_back(c->itemText(i).toStdString());
}

// Add only while the typed word is new, remove only while it is listed;
// the list and both buttons rest while the filter is off.
void enable_buttons(QWidget* page)
{
    QComboBox* c = types_combo(page);
    if (!c)
        return;
    const bool on = g_copy.shown != 0;
    const std::string word = page_first_word(c->currentText().toStdString());
    const bool listed = find_type(c, word) >= 0;
    c->setEnabled(on);
    if (QWidget* add = dlg_item(page, 579))
        add->setEnabled(on && !word.empty() && !listed);
    if (QWidget* remove = dlg_item(page, 580))
        remove->setEnabled(on && listed);
}

void show_method(QWidget* page, int method)
{
    QComboBox* c = types_combo(page);
    if (!c)
        return;
    g_copy.shown = method;
    c->clear();
    if (method == 1 || method == 2)
        for (const std::string& t : g_copy.types[method])
            c->addItem(QString::fromStdString(t));
    c->setCurrentIndex(-1);
    c->setEditText(QString());
    enable_buttons(page);
}

void fill_ignore(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    int method = opt(OPT_DCC_FILTER_MODE);
    if (method < 0 || method > 2)
        method = 1;
    g_copy.types[0].clear();
    g_copy.types[1] = list_of(main_settings.dcc_accept_types);
    g_copy.types[2] = list_of(main_settings.dcc_ignore_types);
    g_copy.method = method;
    g_copy.minutes = opt(OPT_DCC_FILTER_REENABLE_MINUTES);
    g_copy.timer = opt(OPT_DCC_FILTER_TIMER) ? 1 : 0;

    std::string texts[3];
    const char* items[3];
    for (int i = 0; i < 3; ++i) {
        texts[i] = text_load_string(1703 + i);
        items[i] = texts[i].c_str();
    }
    dlg_combo_fill(d, 573, items, 3, method);
    std::string minute_texts[std::size(kMinutes)];
    const char* minute_items[std::size(kMinutes)];
    int selected = -1;
    for (std::size_t i = 0; i < std::size(kMinutes); ++i) {
        minute_texts[i] = std::to_string(kMinutes[i]);
        minute_items[i] = minute_texts[i].c_str();
        if (kMinutes[i] == g_copy.minutes)
            selected = static_cast<int>(i);
    }
    // A stored value the list lacks shows as 3.
    dlg_combo_fill(d, 576, minute_items, static_cast<int>(std::size(kMinutes)), selected < 0 ? 2 : selected);
    dlg_set_checked(d, 575, g_copy.timer);

    if (QComboBox* c = types_combo(d)) {
        c->setInsertPolicy(QComboBox::NoInsert);
        // Wired once per combo: the page is filled again on every opening.
        if (c->lineEdit() && !c->property("kest_types_wired").toBool()) {
            c->setProperty("kest_types_wired", true);
            QObject::connect(c->lineEdit(), &QLineEdit::textChanged, c, [d] { enable_buttons(d); });
        }
    }
    show_method(d, method);
}

int command_ignore(OptionsEdit& e, int id)
{
    QDialog* d = e.dialog;
    QComboBox* c = types_combo(d);
    if (!c)
        return 0;
    switch (id) {
    case 573:
        store_shown(d);
        show_method(d, dlg_combo_index(d, 573));
        return 1;
    case 579: {
        const std::string word = page_first_word(c->currentText().toStdString());
        if (g_copy.shown == 0 || word.empty()) {
            beep_error(0);
            return 1;
        }
        int at = find_type(c, word);
        if (at < 0) {
            c->addItem(QString::fromStdString(word));
            at = c->count() - 1;
            options_mark_changed(e, 574);
        }
        c->setCurrentIndex(at);
        enable_buttons(d);
        return 1;
    }
    case 580: {
        const int at = find_type(c, page_first_word(c->currentText().toStdString()));
        if (g_copy.shown == 0 || at < 0) {
            beep_error(0);
            return 1;
        }
        c->removeItem(at);
        c->setCurrentIndex(-1);
        c->setEditText(QString());
        options_mark_changed(e, 574);
        enable_buttons(d);
        return 1;
    }
    default:
        return 0;
    }
}

void apply_ignore(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    store_shown(d);
    const int method = g_copy.shown;
    dcc_ignore_set_mode(method);
    // A list is replaced only when it was edited.
    for (StringNode** live : {&main_settings.dcc_accept_types, &main_settings.dcc_ignore_types}) {
        const std::vector<std::string>& edited = g_copy.types[live == &main_settings.dcc_accept_types ? 1 : 2];
        if (list_of(*live) == edited)
            continue;
        strlist_free(live);
        *live = node_list_of(edited);
    }

    int minutes = static_cast<int>(page_number(dlg_text(d, 576)));
    if (minutes < 1 || minutes > 360)
        minutes = 3;
    const int timer = dlg_checked(d, 575) ? 1 : 0;
    opt_set(OPT_DCC_FILTER_REENABLE_MINUTES, minutes);
    opt_set(OPT_DCC_FILTER_TIMER, timer);
    if (timer != g_copy.timer || minutes != g_copy.minutes || method != g_copy.method)
        opt_set(OPT_DCC_FILTER_COUNTDOWN, minutes * 60);
    g_copy.method = method;
    g_copy.minutes = minutes;
    g_copy.timer = timer;
}

}  // namespace

void pages_dcc_ignore_install()
{
    options_page_register({573, &kTemplate263, fill_ignore, apply_ignore, nullptr, command_ignore});
}

void pages_dcc_ignore_uninstall()
{
    options_page_unregister(573);
}
