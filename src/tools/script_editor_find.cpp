// Find and replace in the script editor.
#include "tools/script_editor_find.h"

#include "core/ini.h"
#include "core/string_list.h"
#include "options/dialog_opener.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "tools/script_editor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>
#include <iterator>
#include <functional>
#include <vector>

EditorFindState editor_find_state;

namespace {

constexpr std::size_t kFindMax = 256;
constexpr int kHistory = 10;

std::string cut(std::string s)
{
    if (s.size() > kFindMax)
        s.resize(kFindMax);
    const std::size_t nl = s.find_first_of("\r\n");
    if (nl != std::string::npos)
        s.resize(nl);
    return s;
}

std::string history_key(int n)
{
    return "n" + std::to_string(n);
}

std::vector<std::string> read_history(int from)
{
    std::vector<std::string> out;
    for (int i = 0; i < kHistory; ++i) {
        std::string v;
        ini_read("findtext", history_key(from + i).c_str(), "", v, 306, main_ini_path);
        if (!v.empty())
            out.push_back(v);
    }
    return out;
}

bool same_nocase(const std::string& a, const std::string& b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// Writes the current text and the other entries (without case-blind
// repeats) from key `from`, at most ten; deletes the rest of the ten.
int write_history(int from, const std::string& current, bool keep_empty, const std::vector<std::string>& entries)
{
    std::vector<std::string> keys;
    if (!current.empty() || keep_empty)
        keys.push_back(current);
    for (const std::string& e : entries) {
        if (keys.size() >= static_cast<std::size_t>(kHistory))
            break;
        if (e.empty())
            continue;
        if (std::none_of(keys.begin(), keys.end(), [&](const std::string& k) { return same_nocase(k, e); }))
            keys.push_back(e);
    }
    int n = 0;
    for (const std::string& k : keys) {
        if (k.empty())
            ini_write("findtext", history_key(from + n).c_str(), nullptr, main_ini_path);
        else
            ini_write("findtext", history_key(from + n).c_str(), k.c_str(), main_ini_path);
        ++n;
    }
    for (int i = n; i < kHistory; ++i)
        ini_write("findtext", history_key(from + i).c_str(), nullptr, main_ini_path);
    return static_cast<int>(keys.size());
}

std::vector<std::string> combo_items(QWidget* dialog, int id)
{
    std::vector<std::string> out;
    if (auto* c = qobject_cast<QComboBox*>(dlg_item(dialog, id)))
        for (int i = 0; i < c->count(); ++i)
            out.push_back(c->itemText(i).toStdString());
    return out;
}

void save_history(const std::vector<std::string>& finds, const std::vector<std::string>& repls)
{
    EditorFindState& s = editor_find_state;
    if (write_history(0, s.find, false, finds) > 0)
        write_history(10, s.replace, true, repls);
}

// The word or selection at the caret, for the find field.
std::string start_text(QPlainTextEdit* edit)
{
    QTextCursor c = edit->textCursor();
    if (c.hasSelection()) {
        const QTextBlock block = c.block();
        QString sel = c.selectedText();
        const int nl = sel.indexOf(QChar(0x2029));
        if (nl >= 0)
            sel.truncate(nl);
        (void)block;
        return cut(sel.toStdString());
    }
    const QString line = c.block().text();
    const int caret = c.positionInBlock();
    int from = caret;
    while (from > 0) {
        const QChar ch = line[from - 1];
        if (ch == ' ' || ch == '(' || ch == ',' || ch == ':' || (ch == '.' && from > 1 && line[from - 2] == ')'))
            break;
        --from;
    }
    int to = caret;
    while (to < line.size()) {
        const QChar ch = line[to];
        if (ch == ' ' || ch == '(' || ch == ')' || ch == ',' || ch == ':')
            break;
        ++to;
    }
    if (to <= from || to < caret)
        return {};
    return cut(line.mid(from, to - from).toStdString());
}

// Asks at one place: 6 yes, 1 all, 7 no, 2 cancel.
int ask_replace(QWidget* owner)
{
    int answer = 2;
    dlg_show_modal(owner, kEditorConfirmTemplate, [&answer](QDialog& d) {
        dlg_set_text(&d, 101, script_text(2401, editor_find_state.find));
        for (int id : {6, 1, 7, 2})
            if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, id)))
                QObject::connect(b, &QAbstractButton::clicked, &d, [&d, &answer, id] {
                    answer = id;
                    d.done(id);
                });
    });
    return answer;
}

void select_hit(QPlainTextEdit* edit, int at, int length)
{
    QTextCursor c = edit->textCursor();
    c.setPosition(at);
    c.setPosition(at + length, QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
    // The hit's line four lines below the top.
    const int line = c.block().blockNumber();
    edit->verticalScrollBar()->setValue(std::max(0, line - 4));
}

bool file_holds(const EditorFile& f, const QString& find)
{
    for (const StringNode* n = editor_file_lines(f); n; n = n->next)
        if (QString::fromStdString(n->text).contains(find, Qt::CaseInsensitive))
            return true;
    return false;
}

int search_shown(QPlainTextEdit* edit, int from, int& confirm, bool& cancelled)
{
    EditorFindState& s = editor_find_state;
    const QString find = QString::fromStdString(s.find);
    const QString repl = QString::fromStdString(s.replace);
    int count = 0;
    int pos = from;
    while (!cancelled) {
        const QString text = edit->toPlainText();
        const int at = text.indexOf(find, pos, Qt::CaseInsensitive);
        if (at < 0)
            break;
        select_hit(edit, at, static_cast<int>(find.size()));
        if (!s.replace_mode)
            return 1;
        bool replace = true;
        if (confirm > 0) {
            const int answer = ask_replace(edit->window());
            if (answer == 2) {
                cancelled = true;
                break;
            }
            if (answer == 7)
                replace = false;
            if (answer == 1)
                confirm = 0;
        }
        if (replace && !edit->isReadOnly()) {
            QTextCursor c = edit->textCursor();
            c.insertText(repl);
            ++count;
            // On after the replacement: a match that follows at once is
            // found too, even when the replacement is empty.
            pos = at + static_cast<int>(repl.size());
        } else {
            pos = at + std::max(1, static_cast<int>(repl.size()));
        }
    }
    return count;
}

void run_dialog()
{
    QPlainTextEdit* edit = editor_edit();
    if (!edit)
        return;
    EditorFindState& s = editor_find_state;
    const std::string start = start_text(edit);
    int action = 0;
    dlg_show_modal(edit->window(), kEditorFindTemplate, [&](QDialog& d) {
        auto* finds = qobject_cast<QComboBox*>(dlg_item(&d, 130));
        auto* repls = qobject_cast<QComboBox*>(dlg_item(&d, 131));
        for (const std::string& v : read_history(0))
            finds->addItem(QString::fromStdString(v));
        for (const std::string& v : read_history(10))
            repls->addItem(QString::fromStdString(v));
        finds->setCurrentIndex(finds->count() ? 0 : -1);
        repls->setCurrentIndex(repls->count() ? 0 : -1);
        dlg_set_checked(&d, 132, s.confirm > 0 ? 1 : 0);
        dlg_set_checked(&d, 136, s.all_files);
        if (!start.empty())
            finds->setEditText(QString::fromStdString(start));
        s.view = -1;
        s.start = nullptr;
        auto read_fields = [&d, finds, repls] {
            editor_find_state.find = cut(finds->currentText().toStdString());
            editor_find_state.replace = cut(repls->currentText().toStdString());
            editor_find_state.confirm = dlg_checked(&d, 132);
            editor_find_state.all_files = dlg_checked(&d, 136);
        };
        auto go = [&d, &action, read_fields, finds, repls](int mode) {
            read_fields();
            if (editor_find_state.find.empty()) {
                beep_error(0);
                return;
            }
            save_history(combo_items(&d, 130), combo_items(&d, 131));
            editor_find_state.replace_mode = mode;
            action = 1;
            d.done(1);
            (void)finds;
            (void)repls;
        };
        auto connect = [&d](int id, const std::function<void()>& fn) {
            if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(&d, id)))
                QObject::connect(b, &QAbstractButton::clicked, &d, fn);
        };
        connect(133, [go] { go(0); });
        connect(134, [go] { go(1); });
        connect(137, [finds, repls] {
            finds->clear();
            repls->clear();
            finds->setEditText({});
            repls->setEditText({});
            editor_find_state.find.clear();
            editor_find_state.replace.clear();
            for (int i = 0; i < 20; ++i)
                ini_write("findtext", history_key(i).c_str(), nullptr, main_ini_path);
        });
        connect(1, [&d, read_fields] {
            read_fields();
            save_history(combo_items(&d, 130), combo_items(&d, 131));
            editor_find_state.replace_mode = 0;
            d.done(2);
        });
    });
    if (action)
        editor_search();
}

const DlgControl kFindControls[] = {
    {-1, kDlgLabel, "&Bul:", 6, 8, 50, 8},
    {130, kDlgComboEdit, "", 60, 6, 150, 60, 0, 256},
    {-1, kDlgLabel, "&Yerine:", 6, 24, 50, 8},
    {131, kDlgComboEdit, "", 60, 22, 150, 60, 0, 256},
    {132, kDlgCheck, "Her yerde &sor", 6, 42, 100, 10},
    {136, kDlgCheck, "&Tüm dosyalarda", 110, 42, 100, 10},
    {133, kDlgDefButton, "&Sonrakini Bul", 216, 6, 60, 14},
    {134, kDlgButton, "Tümünü &Değiştir", 216, 22, 60, 14},
    {137, kDlgButton, "Geçmişi Sil", 216, 40, 60, 12},
    {1, kDlgButton, "İptal", 216, 56, 60, 14},
};
const DlgTemplate kFindTemplate = {kEditorFindTemplate, "Bul", 282, 76, kFindControls, std::size(kFindControls)};

const DlgControl kConfirmControls[] = {
    {101, kDlgLabel, "", 6, 6, 200, 20},
    {6, kDlgDefButton, "&Evet", 6, 32, 46, 14},
    {1, kDlgButton, "&Tümü", 56, 32, 46, 14},
    {7, kDlgButton, "&Hayır", 106, 32, 46, 14},
    {2, kDlgButton, "İptal", 156, 32, 46, 14},
};
const DlgTemplate kConfirmTemplate = {kEditorConfirmTemplate, "Değiştir", 210, 52, kConfirmControls,
                                      std::size(kConfirmControls)};

}  // namespace

void editor_find_open()
{
    if (!editor_edit() || QApplication::activeModalWidget())
        return;
    run_dialog();
}

void editor_find_next()
{
    editor_search();
}

int editor_search()
{
    QPlainTextEdit* edit = editor_edit();
    if (!edit)
        return 0;
    EditorFindState& s = editor_find_state;
    const int view = editor_view();
    const EditorFile shown = editor_shown_file();
    if (s.view != view || !s.start ||
        !editor_file_is_live({view, s.start, shown.popup_kind})) {
        s.view = view;
        s.start = shown.record;
    }
    if (s.find.empty()) {
        const std::vector<std::string> h = read_history(0);
        if (!h.empty())
            s.find = h.front();
    }
    if (s.find.empty() || s.confirm < 0) {
        editor_find_open();
        return 0;
    }
    int confirm = s.confirm;
    int confirm_at_entry = confirm;
    bool cancelled = false;
    edit->setUpdatesEnabled(!s.replace_mode || confirm > 0);
    QTextCursor block = edit->textCursor();
    int total = search_shown(edit, edit->textCursor().position(), confirm, cancelled);
    const bool found_here = total > 0;
    if (!cancelled && s.all_files && !(found_here && !s.replace_mode) && view >= 0) {
        const QString find = QString::fromStdString(s.find);
        std::vector<EditorFile> files = editor_view_files(view);
        if (view == kEditorUsers || view == kEditorVariables)
            files.clear();  // only script files take part among the remote views
        const EditorFile current = editor_shown_file();
        auto at = std::find(files.begin(), files.end(), current);
        if (at != files.end() && files.size() > 1) {
            std::size_t i = static_cast<std::size_t>(at - files.begin());
            for (std::size_t step = 1; step < files.size() && !cancelled; ++step) {
                const EditorFile& f = files[(i + step) % files.size()];
                if (f.record == s.start)
                    break;
                if (!f.record || !file_holds(f, find))
                    continue;
                editor_show_file(f);
                confirm_at_entry = confirm;
                QTextCursor c = edit->textCursor();
                c.setPosition(0);
                edit->setTextCursor(c);
                const int n = search_shown(edit, 0, confirm, cancelled);
                total += n;
                if (!s.replace_mode && n > 0)
                    break;
            }
        }
    }
    edit->setUpdatesEnabled(true);
    edit->viewport()->update();
    if (s.replace_mode)
        s.confirm = confirm_at_entry;
    (void)block;
    if (total == 0)
        beep_error(0);
    edit->setFocus();
    return total;
}

void editor_find_forget()
{
    editor_find_state.view = -1;
    editor_find_state.start = nullptr;
}

void editor_find_install()
{
    dlg_template_register(kFindTemplate);
    dlg_template_register(kConfirmTemplate);
}

void editor_find_uninstall()
{
    dlg_template_unregister(kEditorFindTemplate);
    dlg_template_unregister(kEditorConfirmTemplate);
}
