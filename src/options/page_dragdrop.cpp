// The Drag-drop page of the options dialog: two radio buttons choose the
// rule list shown (a plain drop or a drop with Shift held) and one edit
// field shows that list, one "mask:command" rule a line. Both lists are
// edited in staged copies that OK or Apply puts in place and saves.
#include "options/page_dragdrop.h"

#include <QDialog>
#include <QPlainTextEdit>

#include <iterator>
#include <string>
#include <vector>

#include "core/string_list.h"
#include "options/drag_drop.h"
#include "options/options_page.h"

namespace {

const DlgControl k300[] = {
    {300, kDlgLabel, "Pencereye bir dosya bırakıldığında çalışan komutlar:", 4, 4, 222, 8},
    {301, kDlgLabel, "Kural listesi:", 4, 18, 60, 8},
    {302, kDlgRadio, "&Tuşsuz", 66, 17, 70, 10, kDlgGroupStart},
    {303, kDlgRadio, "&Shift basılı", 140, 17, 80, 10},
    {304, kDlgMultiEdit, "", 4, 32, 222, 118, 0, 0},
};
const DlgTemplate kTemplate300 = {300, "", 230, 160, k300, std::size(k300)};

struct Staged {
    std::vector<std::string> lists[2];
    int shown = 0;
};
Staged g_staged;

std::vector<std::string> list_texts(const StringNode* n)
{
    std::vector<std::string> out;
    for (; n; n = n->next)
        out.push_back(n->text);
    return out;
}

QPlainTextEdit* rules_edit(QWidget* page)
{
    return qobject_cast<QPlainTextEdit*>(dlg_item(page, 304));
}

// The edit's lines into the shown list; an emptied list gets its defaults.
void store_shown(QWidget* page)
{
    QPlainTextEdit* edit = rules_edit(page);
    if (!edit)
        return;
    g_staged.lists[g_staged.shown] = dragdrop_page_lines(edit->toPlainText().toStdString(), g_staged.shown);
}

void show_list(QWidget* page, int shift)
{
    g_staged.shown = shift ? 1 : 0;
    std::string text;
    for (const std::string& rule : g_staged.lists[g_staged.shown]) {
        if (!text.empty())
            text += '\n';
        text += rule;
    }
    if (QPlainTextEdit* edit = rules_edit(page))
        edit->setPlainText(QString::fromStdString(text));
    dlg_set_checked(page, 302, g_staged.shown == 0);
    dlg_set_checked(page, 303, g_staged.shown == 1);
}

void fill_dragdrop(OptionsEdit& e)
{
    for (int shift = 0; shift < 2; ++shift)
        g_staged.lists[shift] = list_texts(dragdrop_rules(shift));
    show_list(e.dialog, 0);
}

// opt_dragdrop_page_switch
int command_dragdrop(OptionsEdit& e, int id)
{
    if (id != 302 && id != 303)
        return 0;
    const int shift = id == 303 ? 1 : 0;
    if (shift != g_staged.shown) {
        store_shown(e.dialog);
        show_list(e.dialog, shift);
    }
    return 1;
}

void apply_dragdrop(OptionsEdit& e)
{
    store_shown(e.dialog);
    for (int shift = 0; shift < 2; ++shift)
        dragdrop_set_rules(shift, g_staged.lists[shift]);
    dragdrop_save();
}

}  // namespace

std::vector<std::string> dragdrop_page_lines(const std::string& text, int shift)
{
    std::vector<std::string> rules;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, std::min<std::size_t>(end - at, kDragDropLineMax));
        at = end + 1;
        std::string collapsed;
        for (char c : line) {
            if (c == '\t')
                c = ' ';
            if (c == ' ' && (collapsed.empty() || collapsed.back() == ' '))
                continue;
            collapsed += c;
        }
        while (!collapsed.empty() && collapsed.back() == ' ')
            collapsed.pop_back();
        if (!collapsed.empty())
            rules.push_back(std::move(collapsed));
    }
    if (rules.empty()) {
        if (!shift)
            rules.push_back("*.wav:/sound $1 $2-");
        rules.push_back("*.*:/dcc send $1 $2-");
    }
    return rules;
}

void page_dragdrop_install()
{
    options_page_register({300, &kTemplate300, fill_dragdrop, apply_dragdrop, nullptr, command_dragdrop});
}

void page_dragdrop_uninstall()
{
    options_page_unregister(300);
}
