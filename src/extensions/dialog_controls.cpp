// /did, /didtok, $did, $didwm, $didreg and $didtok: scripts reading and
// changing the controls of their open dialogs.
#include "extensions/dialog_controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTextBlock>

#include <algorithm>

#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "extensions/dialog_runtime.h"
#include "extensions/dialog_tables.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#include "script/stores/regex.h"

namespace {

// The program changes controls: no events meanwhile.
struct Quiet {
    ScriptDialog* d;
    explicit Quiet(ScriptDialog* dd) : d(dd) { d->suppressed++; }
    ~Quiet()
    {
        if (dialog_is_live(d))
            d->suppressed--;
    }
};

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& t) { return t.toStdString(); }

// ---------------------------------------------------------------------------
// Items of lists and combos, lines of edits.

int item_count(const DialogControl& c)
{
    if (auto* l = qobject_cast<QListWidget*>(c.widget.data()))
        return l->count();
    if (auto* cb = qobject_cast<QComboBox*>(c.widget.data()))
        return cb->count();
    if (auto* e = qobject_cast<QPlainTextEdit*>(c.widget.data()))
        return e->document()->blockCount();
    if (qobject_cast<QLineEdit*>(c.widget.data()))
        return 1;
    return 0;
}

// Item or line n (1-based), or empty.
std::string item_text(const DialogControl& c, int n)
{
    if (n < 1)
        return {};
    if (auto* l = qobject_cast<QListWidget*>(c.widget.data()))
        return n <= l->count() ? s(l->item(n - 1)->text()) : std::string();
    if (auto* cb = qobject_cast<QComboBox*>(c.widget.data()))
        return n <= cb->count() ? s(cb->itemText(n - 1)) : std::string();
    if (auto* e = qobject_cast<QPlainTextEdit*>(c.widget.data())) {
        QTextBlock b = e->document()->findBlockByNumber(n - 1);
        return b.isValid() ? s(b.text()) : std::string();
    }
    if (auto* e = qobject_cast<QLineEdit*>(c.widget.data()))
        return n == 1 ? s(e->text()) : std::string();
    return {};
}

// A new item for a list of the kind (check lists carry their check).
QListWidgetItem* new_item(const DialogControl& c, const std::string& text)
{
    auto* item = new QListWidgetItem(q(text));
    if (c.list_kind) {
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        item->setData(Qt::CheckStateRole, Qt::Unchecked);
    }
    return item;
}

// Adds an item; returns its 1-based place.
int add_item(const DialogControl& c, const std::string& text)
{
    if (auto* l = qobject_cast<QListWidget*>(c.widget.data())) {
        QListWidgetItem* item = new_item(c, text);
        l->addItem(item);
        return l->row(item) + 1;
    }
    if (auto* cb = qobject_cast<QComboBox*>(c.widget.data())) {
        int at = cb->count();
        if (cb->property("sorted").toBool()) {
            at = 0;
            while (at < cb->count() && text_compare_nocase(s(cb->itemText(at)), text) <= 0)
                ++at;
        }
        // Adding selects nothing: a combo without a selection keeps none.
        const int before = cb->currentIndex();
        const QString typed = cb->lineEdit() ? cb->lineEdit()->text() : QString();
        cb->insertItem(at, q(text));
        if (before < 0) {
            cb->setCurrentIndex(-1);
            if (cb->lineEdit())
                cb->lineEdit()->setText(typed);
        }
        return at + 1;
    }
    return 0;
}

void insert_item(const DialogControl& c, int n, const std::string& text)
{
    if (auto* l = qobject_cast<QListWidget*>(c.widget.data()))
        l->insertItem(std::clamp(n - 1, 0, l->count()), new_item(c, text));
    else if (auto* cb = qobject_cast<QComboBox*>(c.widget.data())) {
        const int before = cb->currentIndex();
        const QString typed = cb->lineEdit() ? cb->lineEdit()->text() : QString();
        cb->insertItem(std::clamp(n - 1, 0, cb->count()), q(text));
        if (before < 0) {
            cb->setCurrentIndex(-1);
            if (cb->lineEdit())
                cb->lineEdit()->setText(typed);
        }
    }
}

void delete_item(const DialogControl& c, int n)
{
    if (auto* l = qobject_cast<QListWidget*>(c.widget.data())) {
        if (n >= 1 && n <= l->count())
            delete l->takeItem(n - 1);
    } else if (auto* cb = qobject_cast<QComboBox*>(c.widget.data())) {
        if (n == 0 && cb->lineEdit())
            cb->lineEdit()->clear();
        else if (n >= 1 && n <= cb->count())
            cb->removeItem(n - 1);
    }
}

bool is_list(const DialogControl& c) { return qobject_cast<QListWidget*>(c.widget.data()); }
bool is_combo(const DialogControl& c) { return qobject_cast<QComboBox*>(c.widget.data()); }
bool is_multi(const DialogControl& c)
{
    auto* l = qobject_cast<QListWidget*>(c.widget.data());
    return l && l->selectionMode() != QAbstractItemView::SingleSelection;
}

// The position of the start of line n of a multi-line edit.
int line_start(QPlainTextEdit* e, int n)
{
    QTextBlock b = e->document()->findBlockByNumber(std::max(0, n - 1));
    return b.isValid() ? b.position() : e->document()->characterCount() - 1;
}

void set_text(ScriptDialog* d, DialogControl& c, const std::string& text)
{
    QWidget* w = c.widget;
    if (c.kind == kDlgTab) {
        c.text = text;
        if (d->tabs)
            d->tabs->setTabText(c.page, q(text));
    } else if (auto* e = qobject_cast<QLineEdit*>(w))
        e->setText(q(text));
    else if (auto* pe = qobject_cast<QPlainTextEdit*>(w))
        pe->setPlainText(q(text));
    else if (auto* cb = qobject_cast<QComboBox*>(w)) {
        if (cb->lineEdit())
            cb->lineEdit()->setText(q(text));
    } else if (auto* b = qobject_cast<QAbstractButton*>(w))
        b->setText(q(text));
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        g->setTitle(q(text));
    else if (auto* l = qobject_cast<QLabel*>(w)) {
        if (c.kind == kDlgLink)
            c.text = text;
        l->setText(q(text));
    }
}

std::string window_text(ScriptDialog* d, const DialogControl& c)
{
    QWidget* w = c.widget;
    if (c.kind == kDlgTab)
        return d->tabs ? s(d->tabs->tabText(c.page)) : c.text;
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return s(e->text());
    if (auto* pe = qobject_cast<QPlainTextEdit*>(w))
        return s(pe->toPlainText());
    if (auto* cb = qobject_cast<QComboBox*>(w))
        return s(cb->currentText());
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return s(b->text());
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return s(g->title());
    if (auto* l = qobject_cast<QLabel*>(w))
        return s(l->text());
    return {};
}

// Checks, unchecks or makes a button indeterminate.
void set_button(QAbstractButton* b, int state)
{
    if (auto* cb = qobject_cast<QCheckBox*>(b)) {
        if (state == 2 && cb->isTristate())
            cb->setCheckState(Qt::PartiallyChecked);
        else
            cb->setCheckState(state ? Qt::Checked : Qt::Unchecked);
        return;
    }
    QButtonGroup* g = b->group();
    const bool exclusive = g && g->exclusive();
    if (g)
        g->setExclusive(false);
    if (state && g)
        for (QAbstractButton* other : g->buttons())
            if (other != b)
                other->setChecked(false);
    b->setChecked(state != 0);
    if (g)
        g->setExclusive(exclusive);
}

void mark_page_focus(ScriptDialog* d, DialogControl& c)
{
    if (c.kind == kDlgTab) {
        dialog_show_page(d, c.page);
        if (d->tabs)
            d->tabs->setFocus();
        return;
    }
    if (c.widget)
        c.widget->setFocus(Qt::OtherFocusReason);
    if (auto* pe = qobject_cast<QPlainTextEdit*>(c.widget.data()))
        pe->ensureCursorVisible();
}

int error_2201() { return script_error(nullptr, "did", {}, 0); }
int error_2206() { return script_error(nullptr, "did", {}, 3); }

// The action of a switch set.
enum Action { kNoSwitch, kNoText, kSelect, kCheckItem, kAdd, kDelete, kInsert, kOverwrite };

Action action_of(const std::string& sw)
{
    auto on = [&](char c) { return sw.find(c) != std::string::npos; };
    Action a = kNoSwitch;
    if (sw.find_first_of("gtfrebvhmnz") != std::string::npos)
        a = kNoText;
    if (on('c') || on('u'))
        a = kSelect;
    if (on('s') || on('l'))
        a = kCheckItem;
    if (on('j'))
        a = kNoText;
    if (on('a'))
        a = kAdd;
    else if (on('d'))
        a = kDelete;
    else if (on('i'))
        a = kInsert;
    else if (on('o'))
        a = kOverwrite;
    return a;
}

// The tokens after the ids joined by blanks, from token `from`.
std::string join_from(const CommandCall& call, std::size_t from)
{
    std::string out;
    for (std::size_t i = from; i <= call.argc(); ++i) {
        if (!out.empty())
            out += ' ';
        out += call.arg(i);
    }
    return out.substr(0, kLongText);
}

bool read_int(const std::string& t, int& out)
{
    if (!text_is_integer(t))
        return false;
    out = text_to_int_clamped(t);
    return true;
}

// One id of /did on a menu entry.
int did_menu(ScriptDialog* d, DialogMenuEntry& m, const std::string& sw, const CommandCall& call,
             std::size_t after)
{
    auto on = [&](char c) { return sw.find(c) != std::string::npos; };
    if (on('a') || on('i')) {
        int id = 0;
        if (!read_int(call.arg(after), id))
            return error_2201();
        if (id < 1 || id > kDialogMaxId || dialog_control(d, id) || dialog_menu_entry(d, id))
            return error_2206();
        std::string text = join_from(call, after + 1);
        QMenu* into = on('a') ? m.popup.data() : m.parent.data();
        if (!into || (on('a') && !m.popup) || (on('i') && m.popup))
            return error_2206();
        QAction* a;
        if (text_equal_nocase(text, "break"))
            a = new QAction(into);
        else
            a = new QAction(q(text.empty() ? " " : text), into);
        if (text_equal_nocase(text, "break"))
            a->setSeparator(true);
        if (on('a'))
            into->addAction(a);
        else
            into->insertAction(m.action, a);
        d->menus.push_back({id, a, nullptr, into, 0});
        QObject::connect(a, &QAction::triggered, d->window, [d, id]() {
            if (dialog_is_live(d))
                dialog_event(d, "menu", id);
        });
        return 1;
    }
    if (on('d')) {
        if (m.popup)
            return error_2206();
        delete m.action.data();
        const int id = m.id;
        d->menus.erase(std::remove_if(d->menus.begin(), d->menus.end(),
                                      [id](const DialogMenuEntry& e) { return e.id == id; }),
                       d->menus.end());
        return 1;
    }
    if (on('o')) {
        std::string text = join_from(call, after);
        if (m.action)
            m.action->setText(q(text));
    }
    if (m.action) {
        if (on('c') || on('u')) {
            m.action->setCheckable(true);
            m.action->setChecked(on('c'));
        }
        if (on('e') || on('b'))
            m.action->setEnabled(on('e'));
    }
    return 1;
}

int did_picture(ScriptDialog* d, int id, const CommandCall& call, std::size_t after)
{
    DialogPicture* old = dialog_picture(d, id);
    DialogControl* c = dialog_control(d, id);
    if (!old || !c)
        return script_error(nullptr, script_format("* /did: '%s' Geçersiz id '%d'", d->name, std::to_string(id)), {}, 6);
    int index = 0;
    std::size_t file_at = after;
    if (read_int(call.arg(after), index)) {
        file_at = after + 1;
        if (call.arg(file_at).empty())
            return error_2201();
        index = std::max(0, index);
    }
    std::string file = join_from(call, file_at);
    if (file.empty())
        return error_2201();
    DialogPicture p = *old;
    if (!dialog_load_picture(d, file, index, p))
        return script_error(nullptr, script_format("* /did: '%s' Yüklemede Hata '%s'", d->name, file), {}, 6);
    // The new picture keeps the old one's size flags.
    p.size_flags = old->size_flags;
    *old = p;
    c->widget->update();
    return 1;
}

// The edit select action: caret at line n, or a selection within it.
void edit_select(DialogControl& c, const CommandCall& call, std::size_t after)
{
    int n = 0, a = 0, b = 0;
    const bool has_n = read_int(call.arg(after), n);
    const bool has_a = read_int(call.arg(after + 1), a);
    const bool has_b = read_int(call.arg(after + 2), b);
    if (!has_n)
        return;
    if (auto* pe = qobject_cast<QPlainTextEdit*>(c.widget.data())) {
        const int start = line_start(pe, n);
        const int end = pe->document()->characterCount() - 1;
        QTextCursor cur = pe->textCursor();
        int from = start + (has_a ? std::max(0, a - 1) : 0);
        cur.setPosition(std::clamp(from, 0, end));
        if (has_b)
            cur.setPosition(std::clamp(start + std::max(0, b - 1), 0, end), QTextCursor::KeepAnchor);
        pe->setTextCursor(cur);
        pe->ensureCursorVisible();
    } else if (auto* e = qobject_cast<QLineEdit*>(c.widget.data())) {
        const int len = static_cast<int>(e->text().size());
        int from = has_a ? std::clamp(a - 1, 0, len) : 0;
        if (has_b)
            e->setSelection(from, std::clamp(b - 1, 0, len) - from);
        else
            e->setCursorPosition(from);
    }
}

// The select action ("c" / "u") on a control.
void select_action(ScriptDialog* d, DialogControl& c, const std::string& sw, const CommandCall& call,
                   std::size_t after, int added_row)
{
    auto on = [&](char ch) { return sw.find(ch) != std::string::npos; };
    int n = 0;
    bool has_n = read_int(call.arg(after), n);
    if (added_row > 0) {
        n = added_row;
        has_n = true;
    }
    QWidget* w = c.widget;
    if (c.kind == kDlgTab) {
        dialog_show_page(d, c.page);
        return;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w); b && (c.kind == kDlgCheck || c.kind == kDlgRadio)) {
        set_button(b, on('c') && on('u') ? 2 : (on('c') ? 1 : 0));
        return;
    }
    if (auto* l = qobject_cast<QListWidget*>(w)) {
        if (is_multi(c)) {
            if (!has_n) {
                for (int i = 0; i < l->count(); ++i)
                    l->item(i)->setSelected(!on('u'));
            } else {
                if (!on('k'))
                    for (int i = 0; i < l->count(); ++i)
                        if (i != n - 1)
                            l->item(i)->setSelected(false);
                if (n >= 1 && n <= l->count())
                    l->item(n - 1)->setSelected(!on('u'));
            }
        } else if (on('u') || !has_n) {
            l->clearSelection();
            l->setCurrentRow(-1);
        } else if (n >= 1 && n <= l->count()) {
            l->setCurrentRow(n - 1);
            l->item(n - 1)->setSelected(true);
        }
        return;
    }
    if (auto* cb = qobject_cast<QComboBox*>(w)) {
        if (!on('k'))
            cb->setCurrentIndex(-1);
        if (has_n && n >= 1 && n <= cb->count() && !on('u'))
            cb->setCurrentIndex(n - 1);
        return;
    }
    if (c.kind == kDlgEdit) {
        edit_select(c, call, after);
        return;
    }
    if (auto* sb = qobject_cast<QScrollBar*>(w); sb && has_n)
        sb->setValue(n);
}

// Deletes line n of an edit with its line break.
void edit_delete_line(DialogControl& c, int n)
{
    if (auto* pe = qobject_cast<QPlainTextEdit*>(c.widget.data())) {
        QTextBlock b = pe->document()->findBlockByNumber(n - 1);
        if (!b.isValid())
            return;
        QTextCursor cur(pe->document());
        if (b.next().isValid()) {
            cur.setPosition(b.position());
            cur.setPosition(b.next().position(), QTextCursor::KeepAnchor);
        } else if (b.previous().isValid()) {
            cur.setPosition(b.previous().position() + b.previous().length() - 1);
            cur.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
        } else {
            cur.setPosition(b.position());
            cur.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
        }
        cur.removeSelectedText();
    } else if (auto* e = qobject_cast<QLineEdit*>(c.widget.data())) {
        if (n == 1)
            e->clear();
    }
}

void edit_insert_line(DialogControl& c, int n, const std::string& text, bool overwrite)
{
    auto* pe = qobject_cast<QPlainTextEdit*>(c.widget.data());
    if (!pe || !c.multi_line) {
        set_text(nullptr, c, text);
        return;
    }
    QTextBlock b = pe->document()->findBlockByNumber(n - 1);
    QTextCursor cur(pe->document());
    if (!b.isValid()) {
        cur.movePosition(QTextCursor::End);
        cur.insertText(q(overwrite ? text : "\n" + text));
        return;
    }
    cur.setPosition(b.position());
    if (overwrite) {
        cur.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
        cur.insertText(q(text));
    } else {
        cur.insertText(q(text) + "\n");
    }
}

// One id of /did.
int did_one(ScriptDialog* d, int id, const std::string& sw, Action action, const CommandCall& call,
            std::size_t after)
{
    auto on = [&](char c) { return sw.find(c) != std::string::npos; };
    if (on('g'))
        return did_picture(d, id, call, after);
    if (DialogMenuEntry* m = dialog_menu_entry(d, id))
        return did_menu(d, *m, sw, call, after);
    DialogControl* cp = dialog_control(d, id);
    if (!cp || !cp->widget)
        return script_error(nullptr, script_format("* /did: '%s' Geçersiz id '%d'", d->name, std::to_string(id)), {}, 6);
    DialogControl& c = *cp;
    QWidget* w = c.widget;
    // Enable / disable.
    if (on('e') || on('b')) {
        if (c.kind == kDlgIcon) {
            if (DialogPicture* p = dialog_picture(d, id))
                p->enabled = on('e') ? 1 : 0;
            if (on('e')) {
                c.enabled = 1;
                w->setVisible(c.shown && dialog_control_on_page(d, c));
            }
        } else if (c.kind == kDlgLink) {
            if (on('e')) {
                c.enabled = 1;
                w->setVisible(c.shown && dialog_control_on_page(d, c));
            }
        } else if (c.kind == kDlgTab) {
            if (d->tabs)
                d->tabs->setTabEnabled(c.page, on('e'));
        } else {
            const bool had_focus = w->hasFocus();
            w->setEnabled(on('e'));
            if (!on('e') && had_focus)
                for (QWidget* nx = w->nextInFocusChain(); nx && nx != w; nx = nx->nextInFocusChain())
                    if (nx->isEnabled() && nx->isVisible() && (nx->focusPolicy() & Qt::TabFocus)) {
                        nx->setFocus(Qt::TabFocusReason);
                        break;
                    }
        }
    }
    // Show / hide.
    if (on('v') || on('h')) {
        const bool show = on('v');
        if (c.kind == kDlgTab) {
            if (d->tabs) {
                d->tabs->setVisible(show);
                d->tabs->setEnabled(show);
            }
            if (d->page_area)
                d->page_area->setVisible(show);
            for (DialogControl& o : d->controls)
                if (o.tab_page >= 0 && o.widget)
                    o.widget->setVisible(show && o.tab_page == d->current_page && o.shown &&
                                         ((o.kind != kDlgLink && o.kind != kDlgIcon) || o.enabled));
        } else {
            c.shown = show ? 1 : 0;
            if (c.kind == kDlgLink || c.kind == kDlgIcon)
                c.enabled = show ? 1 : 0;
            w->setVisible(show && dialog_control_on_page(d, c));
        }
    }
    if (on('f'))
        mark_page_focus(d, c);
    if (on('j')) {
        if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setModified(false);
        else if (auto* pe = qobject_cast<QPlainTextEdit*>(w))
            pe->document()->setModified(false);
    }
    if (on('t')) {
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            if (DialogControl* old = dialog_control(d, d->default_id))
                if (auto* ob = qobject_cast<QPushButton*>(old->widget.data()))
                    ob->setDefault(false);
            d->default_id = id;
            b->setDefault(true);
        }
    }
    if (on('m') || on('n')) {
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setReadOnly(on('m'));
            e->setText(e->text());
        } else if (auto* pe = qobject_cast<QPlainTextEdit*>(w)) {
            pe->setReadOnly(on('m'));
            pe->document()->clearUndoRedoStacks();
        }
    }
    if (on('r')) {
        if (auto* l = qobject_cast<QListWidget*>(w))
            l->clear();
        else if (auto* cb = qobject_cast<QComboBox*>(w)) {
            cb->clear();
            if (cb->lineEdit())
                cb->lineEdit()->clear();
        } else
            set_text(d, c, std::string());
    }
    switch (action) {
    case kNoText:
        if (on('z') && !on('a') && !on('i') && !on('o'))
            if (auto* sb = qobject_cast<QScrollBar*>(w)) {
                int lo = 0, hi = 0;
                if (read_int(call.arg(after), lo) && read_int(call.arg(after + 1), hi))
                    sb->setRange(std::max(0, lo), std::max(0, hi));
            }
        return 1;
    case kNoSwitch: {
        int n = 0;
        if (!read_int(call.arg(after), n))
            return error_2201();
        return 1;
    }
    case kAdd: {
        std::string text = join_from(call, after);
        int row = 0;
        if (is_list(c) || is_combo(c))
            row = add_item(c, text);
        else if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setText(e->text() + q(text));
        else if (auto* pe = qobject_cast<QPlainTextEdit*>(w)) {
            QTextCursor cur(pe->document());
            cur.movePosition(QTextCursor::End);
            cur.insertText(q(text));
        } else
            set_text(d, c, text);
        if (on('c') && row > 0)
            select_action(d, c, "c" + std::string(on('k') ? "k" : ""), call, after, row);
        return 1;
    }
    case kSelect:
        select_action(d, c, sw, call, after, 0);
        return 1;
    case kCheckItem: {
        int n = 0;
        if (!read_int(call.arg(after), n))
            return error_2201();
        if (c.kind == kDlgList && c.list_kind && n >= 1 && n <= item_count(c))
            dialog_list_check(c, n - 1, on('s') ? 1 : 0);
        return 1;
    }
    case kDelete: {
        int n = 0;
        if (!read_int(call.arg(after), n))
            return error_2201();
        if (n < 1 && !(n == 0 && is_combo(c)))
            return error_2206();
        if (is_list(c) || is_combo(c))
            delete_item(c, n);
        else if (c.kind == kDlgEdit)
            edit_delete_line(c, n);
        else
            set_text(d, c, std::string());
        return 1;
    }
    case kInsert:
    case kOverwrite: {
        int n = 0;
        if (!read_int(call.arg(after), n))
            return error_2201();
        std::string text = join_from(call, after + 1);
        if (is_list(c) || is_combo(c)) {
            if (action == kOverwrite)
                delete_item(c, n);
            insert_item(c, n, text);
            if (on('c'))
                select_action(d, c, "c", call, after, n);
        } else if (c.kind == kDlgEdit) {
            edit_insert_line(c, n, text, action == kOverwrite);
        } else {
            set_text(d, c, text);
        }
        return 1;
    }
    }
    return 1;
}

// Walks the id list "1,3-5": calls fn for each id, stops at the first
// failure. A range runs no further than one past the last table id.
template <class Fn>
int each_id(const std::string& ids, Fn fn)
{
    std::size_t p = 0;
    while (p <= ids.size()) {
        std::size_t comma = ids.find(',', p);
        std::string one = ids.substr(p, comma == std::string::npos ? std::string::npos : comma - p);
        std::size_t dash = one.find('-', 1);
        int a = 0, b = 0;
        if (dash != std::string::npos) {
            a = text_to_int_clamped(one.substr(0, dash));
            b = text_to_int_clamped(one.substr(dash + 1));
        } else {
            a = b = text_to_int_clamped(one);
        }
        b = std::min(b, kDialogMaxId + 1);
        for (int id = a; id <= b; ++id)
            if (!fn(id))
                return 0;
        if (comma == std::string::npos)
            break;
        p = comma + 1;
    }
    return 1;
}

int cmd_did(CommandCall& call)
{
    const bool tok = call.tokens.size() && call.tokens[0] == "didtok";
    std::size_t at = 1;
    std::string sw;
    if (!call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = text_lower_copy(call.arg(1).substr(1));
        at = 2;
    }
    const std::string& name = call.arg(at);
    const std::string& ids = call.arg(at + 1);
    const char* word = tok ? "didtok" : "did";
    if (name.empty() || ids.empty())
        return script_error(nullptr, word, {}, 0);
    ScriptDialog* d = dialog_find(name);
    if (!d || !d->window)
        return script_error(nullptr, word, {}, 3);
    Quiet quiet(d);
    if (tok) {
        int code = 0;
        if (!read_int(call.arg(at + 2), code) || code <= 0 || code > 255)
            return script_error(nullptr, word, {}, 0);
        const std::string text = join_from(call, at + 3);
        return each_id(ids, [&](int id) {
            DialogControl* c = dialog_control(d, id);
            if (!c || !c->widget) {
                script_error(nullptr, script_format("* /did: '%s' Geçersiz id '%d'", d->name, std::to_string(id)), {}, 6);
                return false;
            }
            std::size_t p = 0;
            const char sep = static_cast<char>(code);
            while (p <= text.size()) {
                std::size_t e = text.find(sep, p);
                std::string piece = text.substr(p, e == std::string::npos ? std::string::npos : e - p);
                if (!piece.empty()) {
                    if (is_list(*c) || is_combo(*c))
                        add_item(*c, piece);
                    else if (auto* pe = qobject_cast<QPlainTextEdit*>(c->widget.data())) {
                        QTextCursor cur(pe->document());
                        cur.movePosition(QTextCursor::End);
                        cur.insertText(q(piece) + "\n");
                    } else if (auto* le = qobject_cast<QLineEdit*>(c->widget.data()))
                        le->setText(le->text() + q(piece));
                }
                if (e == std::string::npos)
                    break;
                p = e + 1;
            }
            return true;
        });
    }
    const Action action = action_of(sw);
    return each_id(ids, [&](int id) {
        if (!dialog_is_live(d))
            return false;
        return did_one(d, id, sw, action, call, at + 2) != 0;
    });
}

// ---------------------------------------------------------------------------
// $did and its relatives.

// The dialog of the running DIALOG event, or null.
ScriptDialog* event_dialog()
{
    EventFireContext* c = event_current_context();
    if (!c || c->event_id != kEvDialog || !c->source)
        return nullptr;
    auto* d = static_cast<ScriptDialog*>(c->source->dialog);
    return dialog_is_live(d) ? d : nullptr;
}

int selected_count(QListWidget* l) { return static_cast<int>(l->selectedItems().size()); }

// The row of the k-th (1-based) selected item, or 0.
int nth_selected(QListWidget* l, int k)
{
    int seen = 0;
    for (int i = 0; i < l->count(); ++i)
        if (l->item(i)->isSelected() && ++seen == k)
            return i + 1;
    return 0;
}

int checked(const QListWidgetItem* item)
{
    return item->data(Qt::CheckStateRole).toInt() == Qt::Checked ? 1 : 0;
}

std::string did_property(ScriptDialog* d, DialogControl& c, const std::string& prop, bool has_n, int n)
{
    QWidget* w = c.widget;
    auto* list = qobject_cast<QListWidget*>(w);
    auto* combo = qobject_cast<QComboBox*>(w);
    auto* line = qobject_cast<QLineEdit*>(w);
    auto* multi = qobject_cast<QPlainTextEdit*>(w);
    auto* scroll = qobject_cast<QScrollBar*>(w);
    auto* button = qobject_cast<QAbstractButton*>(w);
    const bool edit = line || multi;
    if (prop.empty() || prop == "text") {
        if (list)
            return has_n ? item_text(c, n) : std::string();
        if (combo)
            return has_n && n >= 1 ? item_text(c, n) : window_text(d, c);
        if (edit)
            return item_text(c, has_n ? n : 1);
        if (c.kind == kDlgIcon) {
            DialogPicture* p = dialog_picture(d, c.id);
            if (p && !p->file.empty())
                return p->index == -1 ? p->file : std::to_string(p->index) + " " + p->file;
            return {};
        }
        return window_text(d, c);
    }
    if (prop == "len") {
        if (list || edit)
            return std::to_string(has_n ? item_text(c, n).size() : 0);
        if (combo)
            return !has_n ? "0" : std::to_string(n == 0 ? window_text(d, c).size() : item_text(c, n).size());
        return std::to_string(window_text(d, c).size());
    }
    if (prop == "lines") {
        if (list || combo || edit)
            return std::to_string(item_count(c));
        if (scroll)
            return std::to_string(scroll->maximum());
        return window_text(d, c).empty() ? "0" : "1";
    }
    if (prop == "sel") {
        if (list && is_multi(c)) {
            if (has_n && n == 0)
                return std::to_string(selected_count(list));
            return std::to_string(nth_selected(list, !has_n || n < 0 ? 1 : n));
        }
        if (list || combo) {
            const int cur = list ? (list->selectedItems().isEmpty() ? -1 : list->row(list->selectedItems().first()))
                                 : combo->currentIndex();
            if (!has_n || n == 1)
                return cur >= 0 ? std::to_string(cur + 1) : "0";
            if (n == 0)
                return cur >= 0 ? "1" : "0";
            return "0";
        }
        if (multi)
            return has_n ? std::to_string(multi->document()->findBlock(multi->textCursor().selectionStart()).blockNumber() + 1) : "0";
        if (line)
            return has_n ? "1" : "0";
        if (scroll)
            return std::to_string(scroll->value());
        return "0";
    }
    if (prop == "csel") {
        if (!list || !c.list_kind)
            return "0";
        if (has_n && n == 0) {
            int count = 0;
            for (int i = 0; i < list->count(); ++i)
                count += checked(list->item(i));
            return std::to_string(count);
        }
        const int k = !has_n || n < 0 ? 1 : n;
        int seen = 0;
        for (int i = 0; i < list->count(); ++i)
            if (checked(list->item(i)) && ++seen == k)
                return std::to_string(i + 1);
        return "0";
    }
    if (prop == "cstate") {
        if (!list || !c.list_kind || !has_n || n < 1 || n > list->count())
            return "0";
        return std::to_string(checked(list->item(n - 1)));
    }
    if (prop == "state") {
        if (list)
            return has_n && n >= 1 && n <= list->count() && list->item(n - 1)->isSelected() ? "1" : "0";
        if (combo)
            return has_n && n >= 1 && combo->currentIndex() == n - 1 ? "1" : "0";
        if (auto* cb = qobject_cast<QCheckBox*>(w))
            return cb->checkState() == Qt::Checked ? "1" : (cb->checkState() == Qt::PartiallyChecked ? "2" : "0");
        if (button && (c.kind == kDlgRadio))
            return button->isChecked() ? "1" : "0";
        return "0";
    }
    if (prop == "seltext") {
        if (list) {
            const int r = nth_selected(list, 1);
            return r ? item_text(c, r) : std::string();
        }
        if (combo)
            return combo->currentIndex() >= 0 ? s(combo->itemText(combo->currentIndex())) : std::string();
        if (line)
            return s(line->selectedText());
        if (multi)
            return s(multi->textCursor().selectedText().replace(QChar(0x2029), "\r\n"));
        return {};
    }
    if (prop == "selstart" || prop == "selend") {
        int a = 0, b = 0;
        if (line) {
            a = line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
            b = line->hasSelectedText() ? line->selectionEnd() : a;
        } else if (multi) {
            a = multi->textCursor().selectionStart();
            b = multi->textCursor().selectionEnd();
        } else {
            return "0";
        }
        return std::to_string(prop == "selstart" ? a : b);
    }
    if (prop == "edited") {
        if (line)
            return ident_truth(line->isModified());
        if (multi)
            return ident_truth(multi->document()->isModified());
        return ident_truth(false);
    }
    if (prop == "next" || prop == "prev") {
        auto it = std::find_if(d->controls.begin(), d->controls.end(), [&](const DialogControl& o) { return o.id == c.id; });
        const auto stop = [](const DialogControl& o) {
            return o.widget && o.kind != kDlgText && o.kind != kDlgBox && o.kind != kDlgLink && o.kind != kDlgIcon &&
                   o.kind != kDlgScroll && o.kind != kDlgTab;
        };
        if (prop == "next") {
            for (auto i = it + 1; i != d->controls.end(); ++i)
                if (stop(*i))
                    return std::to_string(i->id);
        } else {
            for (auto i = it; i != d->controls.begin();) {
                --i;
                if (stop(*i))
                    return std::to_string(i->id);
            }
        }
        return "0";
    }
    if (prop == "enabled") {
        if (c.kind == kDlgTab)
            return ident_truth(d->tabs && d->tabs->isTabEnabled(c.page));
        return ident_truth(w->isEnabled());
    }
    if (prop == "visible") {
        if (c.kind == kDlgLink)
            return ident_truth(c.enabled);
        if (c.kind == kDlgIcon) {
            DialogPicture* p = dialog_picture(d, c.id);
            return ident_truth(p && p->enabled && c.enabled);
        }
        if (c.kind == kDlgTab)
            return ident_truth(d->tabs && d->tabs->isVisible());
        return ident_truth(w->isVisible());
    }
    return {};
}

std::string menu_property(DialogMenuEntry& m, const std::string& prop)
{
    if (!m.action)
        return {};
    if (prop.empty() || prop == "text")
        return s(m.action->text());
    if (prop == "state")
        return m.action->isChecked() ? "1" : "0";
    if (prop == "enabled")
        return m.action->isEnabled() ? "1" : "0";
    return {};
}

// The searched items or lines: $didwm and $didreg.
int search(DialogControl& c, int from, const std::function<bool(const std::string&)>& hit)
{
    const int count = item_count(c);
    for (int i = std::max(1, from); i <= count; ++i)
        if (hit(item_text(c, i)))
            return i;
    return 0;
}

int id_did(IdentCall& call)
{
    int r = ident_args_range(call, 1, 4);
    if (r >= 0)
        return r;
    const std::string_view word = ident_word(call);
    std::vector<std::string> args;
    for (int i = 0; i < ident_arg_count(call); ++i)
        args.push_back(ident_arg(call, i));
    ScriptDialog* d = nullptr;
    if (!args.empty() && text_is_integer(args[0])) {
        d = event_dialog();
        if (!d)
            return ident_error(call.token, call.work, 6);
    } else {
        d = dialog_find(args[0]);
        args.erase(args.begin());
    }
    if (!d || args.empty())
        return ident_error(call.token, call.work, 6);
    const int id = text_to_int_clamped(args[0]);
    if (id < 1 || id > kDialogMaxId)
        return ident_error(call.token, call.work, 6);
    const std::string prop = text_lower_copy(ident_property(call));
    std::string& out = *call.value;
    if (text_equal_nocase(word, "did")) {
        if (prop == "isid") {
            out = ident_truth(dialog_control(d, id) || dialog_menu_entry(d, id));
            return ident_finish(call);
        }
        if (DialogMenuEntry* m = dialog_menu_entry(d, id)) {
            out = menu_property(*m, prop);
            return ident_finish(call);
        }
        DialogControl* c = dialog_control(d, id);
        if (!c || !c->widget)
            return ident_error(call.token, call.work, 6);
        const bool has_n = args.size() >= 2 && !args[1].empty();
        const int n = has_n ? text_to_int_clamped(args[1]) : 0;
        out = did_property(d, *c, prop, has_n, n).substr(0, kLongText);
        return ident_finish(call);
    }
    DialogControl* c = dialog_control(d, id);
    if (!c || !c->widget)
        return ident_error(call.token, call.work, 6);
    if (text_equal_nocase(word, "didtok")) {
        int code = args.size() >= 2 ? text_to_int_clamped(args[1]) : 44;
        if (code <= 0 || code > 255)
            code = 44;
        const int count = item_count(*c);
        for (int i = 1; i <= count; ++i) {
            std::string piece = item_text(*c, i);
            std::size_t add = piece.size() + (out.empty() && i == 1 ? 0 : 1);
            if (out.size() + add > kLongText)
                break;
            if (i > 1)
                out += static_cast<char>(code);
            out += piece;
        }
        return ident_finish(call);
    }
    if (args.size() < 2)
        return ident_error(call.token, call.work, 6);
    const std::string pattern = args[1];
    const int from = args.size() >= 3 ? text_to_int_clamped(args[2]) : 1;
    int found;
    if (text_equal_nocase(word, "didwm"))
        found = search(*c, from, [&](const std::string& t) { return wild_match(pattern, t, 0, 1) != 0; });
    else
        found = search(*c, from, [&](const std::string& t) { return regex_match_text(t, pattern) > 0; });
    out = std::to_string(found);
    return ident_finish(call);
}

}  // namespace

std::string dialog_control_text(ScriptDialog* d, int id)
{
    DialogControl* c = dialog_control(d, id);
    if (!c || !c->widget)
        return {};
    return did_property(d, *c, std::string(), false, 0);
}

void dialog_list_check(DialogControl& c, int row, int state)
{
    auto* l = qobject_cast<QListWidget*>(c.widget.data());
    if (!l || row < 0 || row >= l->count())
        return;
    QListWidgetItem* item = l->item(row);
    if (c.list_kind == 2) {
        if (state == 0) {
            item->setData(Qt::CheckStateRole, Qt::Unchecked);
            return;
        }
        for (int i = 0; i < l->count(); ++i)
            if (i != row)
                l->item(i)->setData(Qt::CheckStateRole, Qt::Unchecked);
        item->setData(Qt::CheckStateRole, Qt::Checked);
        return;
    }
    if (state == -2) {
        const int to = checked(item) ? 0 : 1;
        for (QListWidgetItem* sel : l->selectedItems())
            sel->setData(Qt::CheckStateRole, to ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::CheckStateRole, to ? Qt::Checked : Qt::Unchecked);
        return;
    }
    const int to = state == -1 ? !checked(item) : state;
    if (to == checked(item))
        return;
    item->setData(Qt::CheckStateRole, to ? Qt::Checked : Qt::Unchecked);
}

void dialog_controls_register()
{
    script_register_command_family("cmd_did", cmd_did);
    ident_register_family("id_did", id_did);
}

int dialog_filter_control(const std::string& name, int id, ScriptDialog** d, DialogControl** c)
{
    ScriptDialog* dlg = dialog_find(name);
    DialogControl* ctl = dlg && dlg->window ? dialog_control(dlg, id) : nullptr;
    if (!ctl || !ctl->widget)
        return -1;
    *d = dlg;
    *c = ctl;
    return is_list(*ctl) || is_combo(*ctl) || ctl->kind == kDlgEdit ? 1 : 0;
}

void dialog_control_lines(ScriptDialog*, DialogControl& c, std::vector<std::string>& out)
{
    const int count = item_count(c);
    for (int i = 1; i <= count; ++i)
        out.push_back(item_text(c, i).substr(0, kLongText));
}

void dialog_control_clear(ScriptDialog* d, DialogControl& c)
{
    if (!dialog_is_live(d))
        return;
    Quiet quiet(d);
    if (auto* l = qobject_cast<QListWidget*>(c.widget.data()))
        l->clear();
    else if (auto* cb = qobject_cast<QComboBox*>(c.widget.data()))
        cb->clear();
    else
        set_text(d, c, std::string());
}

void dialog_control_add_line(ScriptDialog* d, DialogControl& c, const std::string& line)
{
    if (!dialog_is_live(d) || !c.widget)
        return;
    Quiet quiet(d);
    if (is_list(c) || is_combo(c)) {
        add_item(c, line);
        return;
    }
    if (auto* pe = qobject_cast<QPlainTextEdit*>(c.widget.data())) {
        QTextCursor cur(pe->document());
        cur.movePosition(QTextCursor::End);
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        cur.insertText(q(text) + "\n");
    } else if (auto* e = qobject_cast<QLineEdit*>(c.widget.data())) {
        e->setText(e->text() + q(line));
    }
}
