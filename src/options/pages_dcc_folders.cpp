// The Folders page of the DCC options: the file-type rules that send
// received files to their folders, shown in a list view whose first row is
// always the default rule, and the rule editor that makes or changes one.
// The view is the working copy: OK or Apply writes its rows back as the
// rule list.
#include "options/pages_dcc.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QTreeWidget>

#include <iterator>
#include <string>
#include <vector>

#include "app/menu_lists.h"
#include "core/file_type_rules.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "dcc/download_folders.h"
#include "options/list_view_ops.h"
#include "options/options_page.h"
#include "options/page_rules.h"
#include "platform/platform_utils.h"

namespace {

// Masks and command of the rule editor take at most this many characters.
constexpr int kRuleFieldMax = 256;

const DlgControl k261[] = {
    {563, kDlgLabel, "Alınan dosyaların &klasörleri:", 4, 4, 200, 8},
    {564, kDlgListView, "", 4, 14, 222, 118},
    {565, kDlgButton, "&Ekle", 4, 138, 40, 14},
    {566, kDlgButton, "&Düzenle", 47, 138, 44, 14},
    {567, kDlgButton, "&Sil", 94, 138, 40, 14},
    {568, kDlgButton, "&Yukarı", 142, 138, 40, 14},
    {569, kDlgButton, "&Aşağı", 186, 138, 40, 14},
};
const DlgTemplate kTemplate261 = {261, "", 230, 160, k261, std::size(k261)};

// The rule editor.
const DlgControl k20[] = {
    {-1, kDlgLabel, "&Dosya türleri:", 6, 8, 56, 8},
    {130, kDlgEdit, "", 64, 6, 150, 12, 0, kRuleFieldMax},
    {-1, kDlgLabel, "&Klasör:", 6, 26, 56, 8},
    {131, kDlgButton, "", 64, 24, 150, 14},
    {132, kDlgCheck, "Gönderen &takma adına göre alt klasör", 64, 42, 150, 10},
    {-1, kDlgLabel, "&Program:", 6, 60, 56, 8},
    {133, kDlgButton, "", 64, 58, 150, 14},
    {-1, kDlgLabel, "K&omut:", 6, 80, 56, 8},
    {134, kDlgEdit, "", 64, 78, 150, 12, 0, kRuleFieldMax},
    {1, kDlgDefButton, "Tamam", 54, 100, 50, 14},
    {2, kDlgButton, "İptal", 110, 100, 50, 14},
    {9, kDlgButton, "&Yardım", 166, 100, 50, 14},
};
const DlgTemplate kTemplate20 = {20, "Dosya Türü Klasörü", 220, 120, k20, std::size(k20)};

QTreeWidget* rules_view(QWidget* page)
{
    return qobject_cast<QTreeWidget*>(dlg_item(page, 564));
}

// A whole rule in the view (its hidden column), as long as it is.
std::string row_rule(QTreeWidget* view, int row)
{
    QTreeWidgetItem* item = view && row >= 0 ? view->topLevelItem(row) : nullptr;
    return item ? item->text(2).toStdString() : std::string();
}

std::string with_slash(std::string folder)
{
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// A rule text of its parts; the folder ends in "/".
std::string rule_text(const std::string& masks, const std::string& folder, const std::string& program,
                      const std::string& command, int options)
{
    std::string rule = masks + "EXTDIR:" + with_slash(folder);
    if (!program.empty())
        rule += "EXTAPP:" + program;
    if (!command.empty())
        rule += "EXTCOM:" + command;
    if (options)
        rule += "EXTOPT:" + std::to_string(options);
    return rule;
}

// The rules as the page shows them: folders absolute, the default rule
// first (one made for the settings folder when there is none).
std::vector<std::string> rules_for_page()
{
    std::vector<std::string> rules;
    bool have_default = false;
    for (const std::string& raw : file_type_rules_read()) {
        const std::string masks = dcc_ext_rule_part(raw, 0);
        const std::string rule = rule_text(masks, file_type_rule_folder(raw), dcc_ext_rule_part(raw, 2),
                                           dcc_ext_rule_part(raw, 3), static_cast<int>(page_number(dcc_ext_rule_part(raw, 4))));
        if (dcc_ext_is_default_name(masks) && !have_default) {
            have_default = true;
            rules.insert(rules.begin(), rule);
        } else {
            rules.push_back(rule);
        }
    }
    if (!have_default)
        rules.insert(rules.begin(), "defaultEXTDIR:" + settings_dir);
    return rules;
}

// ---- The rule editor ----

struct RuleEdit {
    QTreeWidget* view = nullptr;
    int row = -1;         // the edited row, -1 for a new rule
    bool first = false;   // the first row: its masks stay "default"
};

// The editor's OK: the rule made of the fields, or empty after the error
// beep when the masks or the folder will not do.
std::string rule_of_fields(QDialog& d, const RuleEdit& r)
{
    std::string masks = dlg_text(&d, 130);
    const std::size_t b = masks.find_first_not_of(' ');
    masks = b == std::string::npos ? std::string() : masks.substr(b);
    masks = masks.substr(0, masks.find(' '));
    if (r.first) {
        masks = "default";
    } else if (masks.empty() || dcc_ext_is_default_name(masks)) {
        beep_error(0);
        return {};
    }
    const std::string folder = dlg_text(&d, 131);
    if (folder.empty()) {
        beep_error(0);
        return {};
    }
    return rule_text(masks, folder, dlg_text(&d, 133), dlg_text(&d, 134), dlg_checked(&d, 132) ? 1 : 0);
}

void rule_dialog_init(QDialog& d, const RuleEdit& r)
{
    const std::string rule = r.row >= 0 ? row_rule(r.view, r.row) : std::string();
    if (r.row >= 0) {
        dlg_set_text(&d, 130, dcc_ext_rule_part(rule, 0).substr(0, kRuleFieldMax));
        dlg_set_text(&d, 131, dcc_ext_rule_part(rule, 1));
        dlg_set_text(&d, 133, dcc_ext_rule_part(rule, 2));
        dlg_set_text(&d, 134, dcc_ext_rule_part(rule, 3).substr(0, kRuleFieldMax));
        dlg_set_checked(&d, 132, page_number(dcc_ext_rule_part(rule, 4)) != 0);
        if (r.first || dcc_ext_is_default_name(dcc_ext_rule_part(rule, 0)))
            if (auto* masks = qobject_cast<QLineEdit*>(dlg_item(&d, 130)))
                masks->setReadOnly(true);
    } else {
        dlg_set_text(&d, 131, settings_dir);
    }
    if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 131)))
        QObject::connect(b, &QAbstractButton::clicked, &d, [&d] {
            const QString chosen = QFileDialog::getExistingDirectory(
                &d, QString::fromUtf8(text_load_string(5102)), QString::fromStdString(dlg_text(&d, 131)));
            if (!chosen.isEmpty())
                dlg_set_text(&d, 131, with_slash(chosen.toStdString()));
        });
    if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, 133)))
        QObject::connect(b, &QAbstractButton::clicked, &d, [&d] {
            if (!dlg_text(&d, 133).empty()) {
                dlg_set_text(&d, 133, "");
                return;
            }
            const QString chosen = QFileDialog::getOpenFileName(
                &d, QString::fromUtf8(text_load_string(5101)), QString::fromStdString(settings_dir), "*");
            if (!chosen.isEmpty()) {
                dlg_set_text(&d, 133, chosen.toStdString());
                dlg_set_text(&d, 134, "");
            }
        });
    if (auto* command = qobject_cast<QLineEdit*>(dlg_item(&d, 134)))
        QObject::connect(command, &QLineEdit::textEdited, &d, [&d] { dlg_set_text(&d, 133, ""); });
    if (auto* ok = qobject_cast<QAbstractButton*>(dlg_item(&d, 1)))
        QObject::connect(ok, &QAbstractButton::clicked, &d, [&d, r] {
            const std::string rule = rule_of_fields(d, r);
            if (rule.empty())
                return;
            const int row = lv_add_row(r.view, rule, nullptr, r.row, kListViewFileRule);
            lv_select(r.view, row);
            d.done(1);
        });
    if (auto* cancel = qobject_cast<QAbstractButton*>(dlg_item(&d, 2)))
        QObject::connect(cancel, &QAbstractButton::clicked, &d, [&d] { d.done(0); });
    if (auto* help = qobject_cast<QAbstractButton*>(dlg_item(&d, 9)))
        QObject::connect(help, &QAbstractButton::clicked, &d, [] { help_open("", "", 240); });
}

// ---- The page ----

void fill_folders(OptionsEdit& e)
{
    QTreeWidget* view = rules_view(e.dialog);
    if (!view)
        return;
    lv_clear(view);
    if (lv_column_count(view) == 0) {
        lv_add_column(view, 0, 0, "Type");
        lv_add_column(view, 0, 1, "Folder");
        lv_add_column(view, 0, 2, "Data");
        // The view is hidden while the page is filled: its own width, not
        // its viewport's, gives the columns their thirds.
        const int w = view->width() - 2 * view->frameWidth();
        view->setColumnWidth(0, w / 3);
        view->setColumnWidth(1, w - w / 3);
        view->setColumnHidden(2, true);
    }
    for (const std::string& rule : rules_for_page())
        lv_add_row(view, rule, nullptr, -1, kListViewFileRule);
    lv_select(view, 0);
}

int command_folders(OptionsEdit& e, int id)
{
    QTreeWidget* view = rules_view(e.dialog);
    if (!view || id < 565 || id > 569)
        return 0;
    const int row = lv_selected_index(view);
    switch (id) {
    case 565:
    case 566: {
        if (id == 566 && row < 0) {
            beep_error(0);
            return 1;
        }
        const RuleEdit r{view, id == 566 ? row : -1, id == 566 && row == 0};
        dlg_show_modal(e.dialog, 20, [r](QDialog& d) { rule_dialog_init(d, r); });
        break;
    }
    case 567:
        if (row <= 0) {
            beep_error(0);
            return 1;
        }
        lv_delete_item(view, row, 1);
        break;
    case 568:
        if (row <= 0) {
            beep_error(0);
            return 1;
        }
        if (row > 1) {
            lv_swap_items(view, row, row - 1);
            lv_select(view, row - 1);
        }
        break;
    case 569:
        if (row <= 0) {
            beep_error(0);
            return 1;
        }
        if (row + 1 < lv_count(view)) {
            lv_swap_items(view, row, row + 1);
            lv_select(view, row + 1);
        }
        break;
    default:
        break;
    }
    options_mark_changed(e, 564);
    return 1;
}

void apply_folders(OptionsEdit& e)
{
    QTreeWidget* view = rules_view(e.dialog);
    if (!view || lv_count(view) == 0)
        return;
    std::vector<std::string> rules;
    for (int row = 0; row < lv_count(view); ++row)
        rules.push_back(row_rule(view, row));
    dcc_ext_rules_save(rules);
    folders_recent_build();
}

}  // namespace

void pages_dcc_folders_install()
{
    dlg_template_register(kTemplate20);
    options_page_register({563, &kTemplate261, fill_folders, apply_folders, nullptr, command_folders});
}

void pages_dcc_folders_uninstall()
{
    options_page_unregister(563);
    dlg_template_unregister(20);
}
