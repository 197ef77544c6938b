// The DCC pages of the options dialog that hold plain settings: the
// requests, completion and file-server pages.
#include "options/pages_dcc.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

#include <iterator>
#include <string>

#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "dcc/dcc_dialogs_trusted.h"
#include "options/option_bindings.h"
#include "options/options_page.h"
#include "options/page_rules.h"

std::string pages_dcc_pick_folder_default(QWidget* owner, const std::string& start)
{
    return QFileDialog::getExistingDirectory(owner, QString::fromUtf8(text_load_string(5102)),
                                             QString::fromStdString(start))
        .toStdString();
}

std::string pages_dcc_pick_file_default(QWidget* owner, const std::string& folder)
{
    return QFileDialog::getOpenFileName(owner, QString::fromUtf8(text_load_string(5102)),
                                        QString::fromStdString(folder), QStringLiteral("*.txt"))
        .toStdString();
}

bool pages_dcc_confirm_default(QWidget* owner, const std::string& caption, const std::string& text)
{
    return QMessageBox::question(owner, QString::fromStdString(caption), QString::fromStdString(text)) ==
           QMessageBox::Yes;
}

std::string (*pages_dcc_pick_folder)(QWidget*, const std::string&) = pages_dcc_pick_folder_default;
std::string (*pages_dcc_pick_file)(QWidget*, const std::string&) = pages_dcc_pick_file_default;
bool (*pages_dcc_confirm)(QWidget*, const std::string&, const std::string&) = pages_dcc_confirm_default;

namespace {

// ---- Auto-get warning (800) ----

const DlgControl k800[] = {
    {101, kDlgLabel,
     "Otomatik alma açıkken gelen her dosya sorulmadan kaydedilir. Bu, zararlı dosyaların "
     "bilgisayarınıza gelmesine yol açabilir. Otomatik almayı açmak istiyor musunuz?",
     6, 6, 200, 40},
    {1, kDlgDefButton, "&Evet", 50, 52, 50, 14},
    {2, kDlgButton, "&Hayır", 106, 52, 50, 14},
};
const DlgTemplate kTemplate800 = {800, "Otomatik Alma Uyarısı", 212, 72, k800, std::size(k800)};

void autoget_warning_init(QDialog& d)
{
    if (auto* yes = qobject_cast<QAbstractButton*>(dlg_item(&d, 1)))
        QObject::connect(yes, &QAbstractButton::clicked, &d, [&d] { d.done(1); });
    if (auto* no = qobject_cast<QAbstractButton*>(dlg_item(&d, 2)))
        QObject::connect(no, &QAbstractButton::clicked, &d, [&d] { d.done(0); });
}

// ---- Requests (240) ----

const DlgControl k240[] = {
    {500, kDlgGroupBox, "Gelen dosya istekleri", 4, 2, 222, 74},
    {501, kDlgRadio, "&Sor", 10, 14, 50, 10, kDlgGroupStart},
    {502, kDlgRadio, "&Yoksay", 156, 14, 64, 10},
    {503, kDlgRadio, "&Otomatik al", 64, 14, 88, 10},
    {504, kDlgCheck, "Otomatik alınanları &küçült", 10, 28, 150, 10},
    {505, kDlgLabel, "Dosya &varsa:", 10, 44, 60, 8},
    {506, kDlgCombo, "", 72, 42, 80, 60},
    {507, kDlgButton, "&Güvenilenler...", 160, 42, 60, 14},
    {508, kDlgGroupBox, "Gelen sohbet istekleri", 4, 80, 222, 40},
    {509, kDlgRadio, "S&or", 10, 92, 50, 10, kDlgGroupStart},
    {510, kDlgRadio, "O&tomatik kabul", 64, 92, 88, 10},
    {511, kDlgCheck, "Otomatik kabul edilenleri &öne getirme", 10, 104, 200, 10},
    {512, kDlgRadio, "Y&oksay", 156, 92, 64, 10},
};
const DlgTemplate kTemplate240 = {240, "", 230, 160, k240, std::size(k240)};

const OptionBinding kRequestsBindings[] = {{504, 2, 2}, {511, 0, 19}};

// ---- Trusted list (795) ----

const DlgControl k795[] = {
    {101, kDlgComboEdit, "", 6, 6, 150, 80},
    {102, kDlgButton, "&Ekle", 162, 5, 50, 14},
    {103, kDlgButton, "&Sil", 162, 22, 50, 14},
    {104, kDlgCheck, "Otomatik almayı yalnız &güvenilenlerle sınırla", 6, 42, 206, 10},
    {105, kDlgCheck, "Güvenilmeyenler için alma &penceresini göster", 6, 56, 206, 10},
    {1, kDlgDefButton, "Tamam", 50, 74, 50, 14},
    {2, kDlgButton, "İptal", 106, 74, 50, 14},
};
const DlgTemplate kTemplate795 = {795, "Güvenilenler", 218, 94, k795, std::size(k795)};

// The working copy of the trusted list and its two flags while the
// dialog is open; it replaces the live ones on OK or Apply.
struct TrustedCopy {
    StringNode* list = nullptr;
    int trust = 0;
    int ask_untrusted = 1;
    bool held = false;
};
TrustedCopy trusted_copy;

void trusted_copy_drop()
{
    strlist_free(&trusted_copy.list);
    trusted_copy.held = false;
}

void trusted_copy_take()
{
    trusted_copy_drop();
    trusted_copy.list = strlist_copy(dcc_trusted_list);
    trusted_copy.trust = opt(OPT_DCC_TRUST) ? 1 : 0;
    trusted_copy.ask_untrusted = opt(OPT_DCC_ASK_UNTRUSTED) ? 1 : 0;
    trusted_copy.held = true;
}

// The entry the add button makes of the typed text: its first word, an
// address reshaped into a full mask; empty when nothing was typed.
std::string trusted_entry_of(const std::string& typed)
{
    const std::size_t b = typed.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const std::size_t e = typed.find_first_of(" \t", b);
    std::string word = typed.substr(b, e == std::string::npos ? std::string::npos : e - b);
    if (word.find_first_of("!@") != std::string::npos)
        mask_default_ban(word);
    return word;
}

int combo_find_nocase(QComboBox* c, const std::string& text)
{
    for (int i = 0; i < c->count(); ++i)
        if (text_equal_nocase(c->itemText(i).toStdString(), text))
            return i;
    return -1;
}

void trusted_dialog_init(QDialog& d)
{
    auto* combo = qobject_cast<QComboBox*>(dlg_item(&d, 101));
    if (!combo)
        return;
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const StringNode* n = trusted_copy.list; n; n = n->next)
        combo->addItem(QString::fromStdString(n->text));
    combo->setCurrentIndex(-1);
    combo->setEditText(QString());
    dlg_set_checked(&d, 104, trusted_copy.trust);
    dlg_set_checked(&d, 105, trusted_copy.ask_untrusted);
    if (auto* add = qobject_cast<QAbstractButton*>(dlg_item(&d, 102)))
        QObject::connect(add, &QAbstractButton::clicked, &d, [combo] {
            const std::string entry = trusted_entry_of(combo->currentText().toStdString());
            if (entry.empty()) {
                beep_error(0);
                return;
            }
            int at = combo_find_nocase(combo, entry);
            if (at < 0) {
                combo->addItem(QString::fromStdString(entry));
                at = combo->count() - 1;
            }
            combo->setCurrentIndex(at);
        });
    if (auto* remove = qobject_cast<QAbstractButton*>(dlg_item(&d, 103)))
        QObject::connect(remove, &QAbstractButton::clicked, &d, [combo] {
            const int at = combo_find_nocase(combo, combo->currentText().toStdString());
            if (at < 0) {
                beep_error(0);
                return;
            }
            combo->removeItem(at);
            combo->setCurrentIndex(-1);
            combo->setEditText(QString());
        });
    if (auto* ok = qobject_cast<QAbstractButton*>(dlg_item(&d, 1)))
        QObject::connect(ok, &QAbstractButton::clicked, &d, [combo, &d] {
            strlist_free(&trusted_copy.list);
            for (int i = 0; i < combo->count(); ++i)
                trusted_copy.list = strlist_append(trusted_copy.list, combo->itemText(i).toStdString(), 0);
            trusted_copy.trust = dlg_checked(&d, 104) ? 1 : 0;
            trusted_copy.ask_untrusted = dlg_checked(&d, 105) ? 1 : 0;
            d.done(1);
        });
    if (auto* cancel = qobject_cast<QAbstractButton*>(dlg_item(&d, 2)))
        QObject::connect(cancel, &QAbstractButton::clicked, &d, [&d] { d.done(0); });
}

// The radio buttons of a request setting: ask, auto-accept, ignore.
const struct {
    OptionId option;
    int radios[3];
} kRequestRadios[] = {
    {OPT_DCC_SEND_REQUESTS, {501, 503, 502}},
    {OPT_DCC_CHAT_REQUESTS, {509, 510, 512}},
};

void fill_requests(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    for (const auto& r : kRequestRadios) {
        int v = opt(r.option);
        if (v < 0 || v > 2)
            v = 0;
        for (int i = 0; i < 3; ++i)
            dlg_set_checked(d, r.radios[i], i == v);
    }
    int exists = opt(OPT_DCC_FILE_EXISTS);
    if (exists < 0 || exists > 3)
        exists = 0;
    std::string texts[4];
    const char* items[4];
    for (int i = 0; i < 4; ++i) {
        texts[i] = text_load_string(1706 + i);
        items[i] = texts[i].c_str();
    }
    dlg_combo_fill(d, 506, items, 4, exists);
    option_bindings_fill(d, kRequestsBindings);
    trusted_copy_take();
}

void apply_requests(OptionsEdit& e)
{
    QDialog* d = e.dialog;
    for (const auto& r : kRequestRadios)
        for (int i = 0; i < 3; ++i)
            if (dlg_checked(d, r.radios[i]))
                opt_set(r.option, i);
    opt_set(OPT_DCC_FILE_EXISTS, dlg_combo_index(d, 506));
    option_bindings_apply(d, kRequestsBindings);
    if (trusted_copy.held) {
        strlist_free(&dcc_trusted_list);
        dcc_trusted_list = strlist_copy(trusted_copy.list);
        trusted_save();
        opt_set(OPT_DCC_TRUST, trusted_copy.trust);
        opt_set(OPT_DCC_ASK_UNTRUSTED, trusted_copy.ask_untrusted);
    }
}

void cancel_requests(OptionsEdit&)
{
    trusted_copy_drop();
}

int command_requests(OptionsEdit& e, int control_id)
{
    if (control_id == 503) {
        // Saving every offered file unasked needs a yes to the warning.
        if (dlg_checked(e.dialog, 503) && dlg_show_modal(e.dialog, 800, autoget_warning_init) != 1) {
            dlg_set_checked(e.dialog, 503, false);
            dlg_set_checked(e.dialog, 501, true);
        }
        return 1;
    }
    if (control_id != 507)
        return 0;
    if (!trusted_copy.held)
        trusted_copy_take();
    dlg_show_modal(e.dialog, 795, trusted_dialog_init);
    return 1;
}

// ---- Completion (260) ----

const DlgControl k260[] = {
    {533, kDlgGroupBox, "Bitince", 4, 2, 222, 52},
    {534, kDlgLabel, "Bip:", 10, 14, 30, 8},
    {535, kDlgCheck, "&Gönderme", 44, 14, 56, 10},
    {536, kDlgCheck, "&Alma", 102, 14, 56, 10},
    {537, kDlgCheck, "&Sohbet", 160, 14, 56, 10},
    {538, kDlgLabel, "Kapat:", 10, 28, 30, 8},
    {539, kDlgCheck, "G&önderme", 44, 28, 56, 10},
    {540, kDlgCheck, "A&lma", 102, 28, 56, 10},
    {541, kDlgCheck, "S&ohbet", 160, 28, 56, 10},
    {542, kDlgGroupBox, "Zaman aşımı (saniye)", 4, 58, 222, 46},
    {543, kDlgLabel, "Alma/sohbet:", 10, 72, 50, 8},
    {544, kDlgNumber, "", 62, 70, 30, 12, 0, 6},
    {545, kDlgLabel, "Gönderme:", 100, 72, 40, 8},
    {546, kDlgNumber, "", 142, 70, 30, 12, 0, 6},
    {547, kDlgLabel, "Fserve:", 10, 88, 50, 8},
    {548, kDlgNumber, "", 62, 86, 30, 12, 0, 6},
    {549, kDlgLabel, "En çok gönderme:", 4, 112, 70, 8},
    {550, kDlgNumber, "", 76, 110, 30, 12, 0, 4},
    {551, kDlgCheck, "Dosyaları &doldur", 4, 126, 100, 10},
    {552, kDlgCheck, "Dosya &uyarısını göster", 4, 140, 110, 10},
    {553, kDlgCheck, "&Pasif DCC", 116, 126, 100, 10},
};
const DlgTemplate kTemplate260 = {260, "", 230, 160, k260, std::size(k260)};

const OptionBinding kCompletionBindings[] = {
    {535, 0, 24}, {536, 2, 3}, {537, 0, 25}, {539, 2, 11}, {540, 3, 26}, {541, 2, 0},
    {544, 2, 9, 0, false, true, 5}, {546, 2, 10, 0, false, true, 5}, {548, 2, 19, 0, false, true, 5},
    {550, 2, 20, 0, false, true, 1}, {551, 2, 12}, {553, 3, 36},
};

void fill_completion(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kCompletionBindings);
    dlg_set_checked(e.dialog, 552, main_settings.warn_dcc != 0);
}

void apply_completion(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kCompletionBindings);
    main_settings.warn_dcc = dlg_checked(e.dialog, 552) ? 1 : 0;
    ini_write("warn", "dcc", main_settings.warn_dcc ? "on" : "off", main_ini_path);
}

// ---- File server (262) ----

const DlgControl k262[] = {
    {518, kDlgLabel, "En çok &aktarım:", 4, 6, 90, 8},
    {519, kDlgNumber, "", 96, 4, 30, 12, 0, 6},
    {520, kDlgLabel, "Kişi başına &alma:", 4, 22, 90, 8},
    {521, kDlgNumber, "", 96, 20, 30, 12, 0, 2},
    {522, kDlgLabel, "Ana &klasör:", 4, 40, 90, 8},
    {523, kDlgButton, "", 96, 38, 128, 14},
    {524, kDlgLabel, "&Karşılama dosyası:", 4, 58, 90, 8},
    {525, kDlgButton, "", 96, 56, 128, 14},
    {526, kDlgCheck, "Dosya sunucusu &uyarılarını göster", 4, 96, 200, 10},
    {527, kDlgNumber, "", 96, 74, 50, 12, 0, 10},
    {528, kDlgLabel, "&Saniyede en çok bayt:", 4, 76, 90, 8},
};
const DlgTemplate kTemplate262 = {262, "", 230, 160, k262, std::size(k262)};

const OptionBinding kFserveBindings[] = {
    {519, 2, 21, 0, false, true, 1}, {521, 1, 24, 0, false, true, 1, 20},
};

void fill_fserve(OptionsEdit& e)
{
    option_bindings_fill(e.dialog, kFserveBindings);
    dlg_set_text(e.dialog, 527, std::to_string(opt(OPT_DCC_MAX_SEND_RATE)));
    dlg_set_text(e.dialog, 523, main_settings.fserve_home);
    dlg_set_text(e.dialog, 525, main_settings.fserve_welcome);
    dlg_set_checked(e.dialog, 526, main_settings.warn_fserve != 0);
}

// The home folder and welcome file fields: a click on a filled field
// clears it; on an empty one it asks for a folder (which every user will
// be able to reach, so it is confirmed) or a text file.
int command_fserve(OptionsEdit& e, int control_id)
{
    if (control_id != 523 && control_id != 525)
        return 0;
    QDialog* d = e.dialog;
    if (!dlg_text(d, control_id).empty()) {
        dlg_set_text(d, control_id, "");
        return 1;
    }
    if (control_id == 525) {
        dlg_set_text(d, 525, pages_dcc_pick_file(d, settings_dir));
        return 1;
    }
    std::string folder = pages_dcc_pick_folder(d, settings_dir);
    if (folder.empty())
        return 1;
    file_add_trailing_slash(folder);
    dlg_set_text(d, 523, folder);
    if (!pages_dcc_confirm(d, text_load_string(1702), text_load_string(1701)))
        dlg_set_text(d, 523, "");
    return 1;
}

void apply_fserve(OptionsEdit& e)
{
    option_bindings_apply(e.dialog, kFserveBindings);
    // Below 1 means no limit; 1 to 511 become 512.
    long long rate = page_number(dlg_text(e.dialog, 527));
    if (rate < 1)
        rate = 0;
    else if (rate < 512)
        rate = 512;
    else if (rate > 2147483647LL)
        rate = 2147483647LL;
    opt_set(OPT_DCC_MAX_SEND_RATE, static_cast<int>(rate));

    MainSettings& s = main_settings;
    s.fserve_home = dlg_text(e.dialog, 523);
    if (!s.fserve_home.empty())
        file_add_trailing_slash(s.fserve_home);
    s.fserve_welcome = dlg_text(e.dialog, 525);
    s.warn_fserve = dlg_checked(e.dialog, 526) ? 1 : 0;
    ini_write("fileserver", "homedir", file_relative_to_settings_dir(s.fserve_home).c_str(), main_ini_path);
    ini_write("fileserver", "welcome", file_relative_to_settings_dir(s.fserve_welcome).c_str(), main_ini_path);
    ini_write("warn", "fserve", s.warn_fserve ? "on" : "off", main_ini_path);
}

}  // namespace

void pages_dcc_install()
{
    dlg_template_register(kTemplate795);
    dlg_template_register(kTemplate800);
    options_page_register({500, &kTemplate240, fill_requests, apply_requests, cancel_requests, command_requests});
    options_page_register({533, &kTemplate260, fill_completion, apply_completion});
    options_page_register({518, &kTemplate262, fill_fserve, apply_fserve, nullptr, command_fserve});
    pages_dcc_folders_install();
    pages_dcc_ignore_install();
    pages_dcc_server_install();
}

void pages_dcc_uninstall()
{
    pages_dcc_server_uninstall();
    pages_dcc_ignore_uninstall();
    pages_dcc_folders_uninstall();
    for (int first : {500, 533, 518})
        options_page_unregister(first);
    dlg_template_unregister(795);
    dlg_template_unregister(800);
    trusted_copy_drop();
}
