// Script dialogs at run time: the window and its notifications, the
// "DIALOG" event, /dialog, $dialog, closing and freeing.
#include "extensions/dialog_runtime.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>

#include "app/startup.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "display/dialog_units.h"
#include "display/window_queries.h"
#include "extensions/dialog_controls.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#include "script/stores/variables.h"

// ---------------------------------------------------------------------------
// The window.

ScriptDialogWindow::ScriptDialogWindow(ScriptDialog* d, QWidget* parent)
    : QDialog(parent), d_(d), client_(new QWidget(this))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setWindowFlag(Qt::WindowMinimizeButtonHint, d->parent_desktop != 0);
    client_->setObjectName("client");
    client_->setMouseTracking(true);
    client_->installEventFilter(this);
    setModal(false);
}

QMenuBar* ScriptDialogWindow::menu_bar()
{
    if (ScriptDialog* d = record(); d && !d->menubar) {
        d->menubar = new QMenuBar(this);
        d->menubar->setNativeMenuBar(false);
        set_client_size(client_->width(), client_->height());
    }
    return d_->menubar;
}

void ScriptDialogWindow::set_client_size(int w, int h)
{
    ScriptDialog* d = record();
    const int bar = d && d->menubar ? d->menubar->sizeHint().height() : 0;
    if (d && d->menubar)
        d->menubar->setGeometry(0, 0, w, bar);
    client_->setGeometry(0, bar, w, h);
    setFixedSize(w, h + bar);
}

void ScriptDialogWindow::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    ScriptDialog* d = record();
    if (!d || !d->first_show)
        return;
    d->first_show = 0;
    const int w = d->w < 0 ? client_->width() : d->w;
    const int h = d->h < 0 ? client_->height() : d->h;
    set_client_size(w, h);
    QWidget* over = d->parent_desktop ? nullptr : (d->parent ? d->parent.data() : win_frame_handle());
    if (d->x == -1 || d->y == -1) {
        QRect area = over ? over->frameGeometry() : (screen() ? screen()->availableGeometry() : QRect(0, 0, 800, 600));
        move(area.center() - QPoint(width() / 2, height() / 2));
    } else {
        move(d->x, d->y);
    }
    if (!client_->isAncestorOf(QApplication::focusWidget())) {
        d->suppressed++;
        for (const DialogControl& c : d->controls)
            if (c.widget && c.widget->isVisible() && c.widget->isEnabled() &&
                (c.widget->focusPolicy() & Qt::TabFocus)) {
                c.widget->setFocus(Qt::OtherFocusReason);
                break;
            }
        d->suppressed--;
    }
    d->initialising = 1;
    dialog_event(d, "init", 0);
    if (dialog_is_live(d))
        d->initialising = 0;
}

void ScriptDialogWindow::keyPressEvent(QKeyEvent* e)
{
    ScriptDialog* d = record();
    if (!d)
        return;
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        dialog_command(d, 1);
        return;
    }
    if (e->key() == Qt::Key_Escape) {
        dialog_command(d, 2);
        return;
    }
    QDialog::keyPressEvent(e);
}

void ScriptDialogWindow::reject()
{
    if (ScriptDialog* d = record())
        dialog_command(d, 2);
}

void ScriptDialogWindow::closeEvent(QCloseEvent* e)
{
    e->ignore();
    if (ScriptDialog* d = record())
        dialog_command(d, 2);
}

void ScriptDialogWindow::changeEvent(QEvent* e)
{
    QDialog::changeEvent(e);
    if (e->type() != QEvent::ActivationChange)
        return;
    ScriptDialog* d = record();
    if (!d || d->first_show)
        return;
    d->last_mouse_x = d->last_mouse_y = -1;
    QTimer::singleShot(0, this, [d]() {
        if (dialog_is_live(d) && !d->ending)
            dialog_event(d, "active", 0);
    });
}

namespace {

// The control under a point of the client area for a mouse event: an
// enabled picture, a link, then (for moves) any visible control.
int control_at(ScriptDialog* d, QPoint p, bool any)
{
    for (const DialogControl& c : d->controls)
        if (c.kind == kDlgIcon && c.widget && c.enabled && c.widget->isVisible() &&
            dialog_control_on_page(d, c) && c.widget->geometry().contains(p)) {
            DialogPicture* pic = dialog_picture(d, c.id);
            if (pic && pic->enabled)
                return c.id;
        }
    for (const DialogControl& c : d->controls)
        if (c.kind == kDlgLink && c.widget && c.widget->isVisible() && c.widget->geometry().contains(p))
            return c.id;
    if (any)
        for (auto it = d->controls.rbegin(); it != d->controls.rend(); ++it)
            if (it->widget && it->widget->isVisible() && it->kind != kDlgTab &&
                it->widget->geometry().contains(p))
                return it->id;
    return 0;
}

bool is_link(ScriptDialog* d, int id)
{
    DialogControl* c = dialog_control(d, id);
    return c && c->kind == kDlgLink;
}

}  // namespace

void ScriptDialogWindow::mouse(QEvent* e)
{
    ScriptDialog* d = record();
    if (!d)
        return;
    auto* m = static_cast<QMouseEvent*>(e);
    const QPoint p = m->position().toPoint();
    switch (e->type()) {
    case QEvent::MouseMove:
        if (client_->childAt(p))
            return;
        if (p.x() == d->last_mouse_x && p.y() == d->last_mouse_y)
            return;
        d->last_mouse_x = p.x();
        d->last_mouse_y = p.y();
        // Over a link the cursor is the hand.
        if (is_link(d, control_at(d, p, false)))
            client_->setCursor(Qt::PointingHandCursor);
        else
            client_->unsetCursor();
        dialog_event(d, "mouse", control_at(d, p, true));
        return;
    case QEvent::MouseButtonPress:
        // A press a control did not take is the control's, not the dialog's.
        if (client_->childAt(p))
            return;
        if (m->button() == Qt::RightButton) {
            dialog_event(d, "rclick", control_at(d, p, false));
            return;
        }
        if (m->button() != Qt::LeftButton)
            return;
        d->drag_x = p.x();
        d->drag_y = p.y();
        if (is_link(d, control_at(d, p, false)))
            return;
        dialog_event(d, "sclick", control_at(d, p, false));
        return;
    case QEvent::MouseButtonDblClick:
        if (client_->childAt(p) || m->button() != Qt::LeftButton)
            return;
        d->drag_x = p.x();
        d->drag_y = p.y();
        dialog_event(d, "dclick", control_at(d, p, false));
        return;
    case QEvent::MouseButtonRelease: {
        if (client_->childAt(p) || m->button() != Qt::LeftButton)
            return;
        const int id = control_at(d, p, false);
        if (is_link(d, id)) {
            dialog_event(d, "sclick", id);
            return;
        }
        if (!dialog_event(d, "uclick", id))
            return;
        if (d->drag_x != -1 && (p.x() != d->drag_x || p.y() != d->drag_y)) {
            d->drag_x = d->drag_y = -1;
            dialog_event(d, "drop", id);
        }
        return;
    }
    default:
        return;
    }
}

void ScriptDialogWindow::list_press(DialogControl& c, QMouseEvent* m)
{
    auto* list = qobject_cast<QListWidget*>(c.widget.data());
    QListWidgetItem* item = list ? list->itemAt(m->position().toPoint()) : nullptr;
    if (!item)
        return;
    if (m->button() == Qt::RightButton) {
        list->setCurrentItem(item);
        list->setFocus();
        return;
    }
    dialog_list_check(c, list->row(item), c.list_kind == 1 ? -1 : 1);
}

bool ScriptDialogWindow::eventFilter(QObject* o, QEvent* e)
{
    ScriptDialog* d = record();
    if (!d)
        return false;
    const QEvent::Type t = e->type();
    if (o == client_) {
        if (t == QEvent::MouseMove || t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease ||
            t == QEvent::MouseButtonDblClick)
            mouse(e);
        return false;
    }
    // Check and radio lists: a click on an item sets its check.
    for (DialogControl& c : d->controls) {
        if (c.kind != kDlgList || !c.widget)
            continue;
        auto* list = static_cast<QListWidget*>(c.widget.data());
        if (o == list->viewport() && t == QEvent::MouseButtonPress)
            list->setProperty("selection_told", false);
        if (!c.list_kind)
            continue;
        if (o == list->viewport() && t == QEvent::MouseButtonPress) {
            list_press(c, static_cast<QMouseEvent*>(e));
            return false;
        }
        if (o == list && t == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space) {
            const int row = list->currentRow();
            if (row >= 0)
                dialog_list_check(c, row, c.list_kind == 1 ? -2 : 1);
            return true;
        }
    }
    // Enter in a multi-line edit that does not want it, as in a line.
    if (t == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && qobject_cast<QPlainTextEdit*>(o) &&
            !o->property("wants_return").toBool()) {
            dialog_command(d, 1);
            return true;
        }
    }
    // Mouse moves over a control are the dialog's "mouse" event too.
    if (t == QEvent::MouseMove) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w) {
            QPoint p = w->mapTo(client_, static_cast<QMouseEvent*>(e)->position().toPoint());
            if (p.x() != d->last_mouse_x || p.y() != d->last_mouse_y) {
                d->last_mouse_x = p.x();
                d->last_mouse_y = p.y();
                int id = dialog_id_of(d, w);
                if (!id && w->parentWidget())
                    id = dialog_id_of(d, w->parentWidget());
                dialog_event(d, "mouse", id);
            }
        }
    }
    return false;
}

void ScriptDialogWindow::wire(DialogControl& c)
{
    ScriptDialog* d = d_;
    const int id = c.id;
    QWidget* w = c.widget;
    if (!w)
        return;
    auto fire = [d, id](const char* sub) {
        if (dialog_is_live(d) && !d->suppressed)
            dialog_event(d, sub, id);
    };
    w->setMouseTracking(true);
    w->installEventFilter(this);
    switch (c.kind) {
    case kDlgButton:
    case kDlgCheck:
        connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, this, [fire]() { fire("sclick"); });
        break;
    case kDlgRadio: {
        auto* b = static_cast<QAbstractButton*>(w);
        connect(b, &QAbstractButton::clicked, this, [fire, b]() {
            if (b->isChecked())
                fire("sclick");
        });
        break;
    }
    case kDlgEdit:
        if (auto* e = qobject_cast<QLineEdit*>(w))
            connect(e, &QLineEdit::textChanged, this, [fire]() { fire("edit"); });
        else if (auto* pe = qobject_cast<QPlainTextEdit*>(w))
            connect(pe, &QPlainTextEdit::textChanged, this, [fire]() { fire("edit"); });
        break;
    case kDlgList: {
        auto* l = static_cast<QListWidget*>(w);
        l->viewport()->installEventFilter(this);
        l->viewport()->setMouseTracking(true);
        // A click raises "sclick" once, whether or not it changed the selection.
        connect(l, &QListWidget::itemSelectionChanged, this, [fire, l]() {
            l->setProperty("selection_told", true);
            fire("sclick");
        });
        connect(l, &QListWidget::itemPressed, this, [fire, l]() {
            if (!l->property("selection_told").toBool())
                fire("sclick");
        });
        connect(l, &QListWidget::itemDoubleClicked, this, [fire]() { fire("dclick"); });
        break;
    }
    case kDlgCombo: {
        auto* cb = static_cast<QComboBox*>(w);
        connect(cb, &QComboBox::activated, this, [d, cb, fire](int index) {
            if (!dialog_is_live(d) || d->suppressed)
                return;
            if (cb->lineEdit()) {
                d->suppressed++;
                cb->lineEdit()->setText(cb->itemText(index));
                d->suppressed--;
            }
            fire("sclick");
        });
        if (cb->lineEdit())
            connect(cb->lineEdit(), &QLineEdit::textEdited, this, [fire]() { fire("edit"); });
        break;
    }
    case kDlgScroll:
        connect(static_cast<QScrollBar*>(w), &QScrollBar::valueChanged, this, [fire]() { fire("scroll"); });
        break;
    default:
        break;
    }
    // The tab strip: one connection for all tabs, made with the first.
    if (c.kind == kDlgTab && c.page == 0)
        connect(static_cast<QTabBar*>(w), &QTabBar::currentChanged, this, [d](int page) {
            if (!dialog_is_live(d) || d->suppressed || page < 0 || page >= static_cast<int>(d->tab_ids.size()))
                return;
            dialog_show_page(d, page);
            dialog_event(d, "sclick", d->tab_ids[page]);
        });
}

// ---------------------------------------------------------------------------
// Events.

namespace {

// Sub-events that are not a press of the control: they never close.
bool is_press(const char* sub)
{
    static const char* const presses[] = {"sclick", "dclick", "menu"};
    for (const char* p : presses)
        if (std::string_view(sub) == p)
            return true;
    return false;
}

}  // namespace

int dialog_event(ScriptDialog* d, const char* sub, int id)
{
    if (!dialog_is_live(d))
        return 0;
    if (d->suppressed)
        return 1;
    if (event_switch_events) {
        d->event_control = id;
        d->event_text = sub;
        EventSource src;
        src.dialog = d;
        src.dialog_control = id;
        src.text1 = d->name;
        src.text2 = sub;
        event_fire(d->conn, nullptr, nullptr, "DIALOG", kEvDialog, 0, nullptr, &src);
        if (!dialog_is_live(d))
            return 0;
        d->event_text.clear();
        d->event_control = 0;
    }
    if (!id || !is_press(sub) || d->ending)
        return 1;
    if (id == d->ok_id) {
        if (d->result_id && d->result)
            *d->result = dialog_control_text(d, d->result_id).substr(0, kLongText);
        dialog_end(d, 1);
    } else if (id == d->cancel_id) {
        dialog_end(d, 0);
    }
    return dialog_is_live(d) ? 1 : 0;
}

void dialog_command(ScriptDialog* d, int which)
{
    if (!dialog_is_live(d) || d->ending)
        return;
    if (which == 1) {
        // Enter: the default button, else the ok control.
        int id = d->default_id ? d->default_id : d->ok_id;
        if (!id)
            return;
        DialogControl* c = dialog_control(d, id);
        if (c && c->widget && !c->widget->isEnabled())
            return;
        dialog_event(d, "sclick", id);
        return;
    }
    if (d->cancel_id && d->close_mode != 2) {
        dialog_event(d, "sclick", d->cancel_id);
        return;
    }
    dialog_end(d, 0);
}

void dialog_end(ScriptDialog* d, int code)
{
    if (!dialog_is_live(d) || d->ending)
        return;
    d->ending = 1;
    // The bound variables receive their controls' values.
    for (const DialogBinding& b : d->bindings) {
        if (!dialog_control(d, b.id))
            continue;
        std::string value = dialog_control_text(d, b.id);
        var_set(nullptr, b.variable, &value, nullptr, 0, 0, 0, 0, nullptr, 0);
    }
    if (d->close_mode != 2) {
        const int keep = d->suppressed;
        d->suppressed = 0;
        dialog_event(d, "close", 0);
        if (!dialog_is_live(d))
            return;
        d->suppressed = keep;
    }
    if (d->modal && d->window) {
        // Through the event queue: a dialog closed while it is being shown
        // (by its own "init") still ends the wait that is about to begin.
        QPointer<ScriptDialogWindow> w = d->window;
        QTimer::singleShot(0, w, [w, code]() {
            if (w)
                w->done(code);
        });
        return;
    }
    dialog_free(d);
}

void dialogs_follow_current_conn()
{
    Connection* current = conn_current();
    for (ScriptDialog* d : script_dialogs)
        if (d->follow_active)
            d->conn = current;
}

// ---------------------------------------------------------------------------
// Opening.

namespace {

QWidget* active_parent()
{
    if (QWidget* f = QApplication::focusWidget()) {
        for (QWidget* w = f; w; w = w->parentWidget())
            if (WindowRecord* r = win_record_of(w); r && r->hwnd && !r->hwnd->isMinimized() && r->hwnd->isVisible())
                return r->hwnd;
    }
    if (QWidget* a = QApplication::activeWindow())
        return a;
    return win_frame_handle();
}

// Makes the window and builds the table into it; false (the record freed)
// when the build fails.
bool make_window(ScriptDialog* d)
{
    QWidget* parent = d->parent_desktop ? nullptr : (d->parent ? d->parent.data() : win_frame_handle());
    auto* w = new ScriptDialogWindow(d, parent);
    d->window = w;
    w->setWindowTitle("Kest");
    if (!ParseDialogTable(d) || !dialog_is_live(d)) {
        if (dialog_is_live(d))
            dialog_free(d);
        else
            w->deleteLater();
        return false;
    }
    w->set_client_size(d->w < 0 ? 200 : d->w, d->h < 0 ? 100 : d->h);
    return true;
}

std::string table_error_as_command()
{
    std::string msg = script_error_state.text;
    std::size_t p = msg.find("$dialog");
    if (p != std::string::npos)
        msg[p] = '/';
    return msg;
}

int fail_command(std::string_view text)
{
    return script_error(nullptr, text, {}, 6);
}

// The numbers x y w h after the name; false when fewer than four.
bool four_numbers(const CommandCall& call, std::size_t at, long long* n)
{
    for (int i = 0; i < 4; ++i) {
        const std::string& t = call.arg(at + i);
        if (!text_is_integer(t))
            return false;
        n[i] = text_to_int_clamped(t);
    }
    return true;
}

// Places an open dialog ("s" and "r" switches).
int place(ScriptDialog* d, const std::string& sw, const CommandCall& call, std::size_t at, bool& took)
{
    long long n[4];
    const bool have = four_numbers(call, at, n);
    const bool centre = sw.find('r') != std::string::npos;
    if (!have && !centre)
        return script_error(nullptr, "dialog", {}, 0);
    ScriptDialogWindow* w = d->window;
    const QPoint at_now = w->pos();
    int x = at_now.x(), y = at_now.y(), cw = w->client()->width(), ch = w->client()->height();
    if (d->initialising) {
        if (d->x != -1) x = d->x;
        if (d->y != -1) y = d->y;
        if (d->w != -1) cw = d->w;
        if (d->h != -1) ch = d->h;
    }
    if (have) {
        took = true;
        const bool units = sw.find('b') != std::string::npos && sw.find('p') == std::string::npos;
        const DialogBaseUnits base = dialog_base_units();
        for (long long v : n)
            if (v < -kDialogMaxCoord || v > kDialogMaxCoord)
                return script_error(nullptr, "dialog", {}, 3);
        if (n[0] != -1) x = static_cast<int>(n[0]);
        if (n[1] != -1) y = static_cast<int>(n[1]);
        if (n[2] != -1) cw = static_cast<int>(units ? n[2] * base.width / 4 : n[2]);
        if (n[3] != -1) ch = static_cast<int>(units ? n[3] * base.height / 8 : n[3]);
        if (cw < 0 || ch < 0 || cw > kDialogMaxCoord || ch > kDialogMaxCoord)
            return script_error(nullptr, "dialog", {}, 3);
    }
    if (d->initialising || d->first_show) {
        d->x = x; d->y = y; d->w = cw; d->h = ch;
    }
    w->set_client_size(cw, ch);
    if (centre) {
        QWidget* over = d->parent_desktop ? nullptr : (d->parent ? d->parent.data() : win_frame_handle());
        QRect area = over ? over->frameGeometry() : (w->screen() ? w->screen()->availableGeometry() : QRect());
        w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
        if (d->initialising || d->first_show)
            d->x = d->y = -1;
    } else {
        w->move(x, y);
    }
    return 1;
}

int cmd_dialog(CommandCall& call)
{
    std::size_t at = 1;
    std::string sw;
    if (call.argc() >= 1 && !call.arg(1).empty() && call.arg(1)[0] == '-') {
        sw = text_lower_copy(call.arg(1).substr(1));
        at = 2;
    }
    auto on = [&](char c) { return sw.find(c) != std::string::npos; };
    const std::string name = call.arg(at).substr(0, kShortText);
    if (on('m')) {
        const std::string table = call.arg(at + 1).substr(0, kShortText);
        if (name.empty() || table.empty())
            return script_error(nullptr, "dialog", {}, 0);
        if (text_is_digits(name))
            return fail_command(script_format("* /dialog: '%s' Geçersiz isim", name));
        if (dialog_find(name))
            return fail_command(script_format("* /dialog: '%s' Bu isim kullanılıyor", name));
        ScriptDialog* d = dialog_new(name, table);
        d->script = call.script;
        d->conn = call.conn;
        d->follow_active = on('h') ? 1 : 0;
        d->modal = 0;
        dialogs_follow_current_conn();
        if (!ParseDialogTable(d)) {
            dialog_free(d);
            return fail_command(script_format("* /dialog: '%s' Tablo yok", table));
        }
        if (on('d'))
            d->parent_desktop = 1;
        else if (on('a'))
            d->parent = active_parent();
        script_error_clear();
        if (!make_window(d)) {
            if (script_error_pending())
                return fail_command(table_error_as_command());
            return fail_command(script_format("* /dialog: '%s' Oluşturmada Hata", name));
        }
        ScriptDialogWindow* w = d->window;
        if (on('o'))
            w->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        w->show();
        if (dialog_is_live(d) && on('v') && d->window) {
            d->window->raise();
            d->window->activateWindow();
        }
        return 1;
    }
    if (name.empty())
        return script_error(nullptr, "dialog", {}, 0);
    ScriptDialog* d = dialog_find(name);
    if (!d)
        return script_error(nullptr, "dialog", {}, 3);
    if (on('g')) {
        const std::string to = call.arg(at + 1).substr(0, kShortText);
        if (to.empty())
            return script_error(nullptr, "dialog", {}, 0);
        if (!text_equal_nocase(to, d->name) && dialog_find(to))
            return fail_command(script_format("* /dialog: '%s' Bu isim kullanılıyor", to));
        if (text_is_digits(to))
            return fail_command(script_format("* /dialog: '%s' Geçersiz isim", to));
        d->name = to;
        return 1;
    }
    if (on('k') || on('c') || on('x')) {
        if (on('k') || on('c')) {
            if (d->close_mode != 0)
                return 1;
            d->close_mode = 1;
            if (on('k')) {
                if (d->ok_id)
                    dialog_event(d, "sclick", d->ok_id);
            } else {
                dialog_command(d, 2);
            }
            if (dialog_is_live(d))
                d->close_mode = 0;
        } else {
            d->close_mode = 2;
            dialog_command(d, 2);
        }
        return 1;
    }
    ScriptDialogWindow* w = d->window;
    if (!w)
        return script_error(nullptr, "dialog", {}, 3);
    if (on('o') || on('n')) {
        const bool visible = w->isVisible();
        w->setWindowFlag(Qt::WindowStaysOnTopHint, on('o'));
        if (visible)
            w->show();
    }
    if (on('v')) {
        w->raise();
        w->activateWindow();
    }
    std::size_t title_at = at + 1;
    if (on('s') || on('r')) {
        bool took = false;
        if (!place(d, sw, call, at + 1, took))
            return 0;
        if (took)
            title_at = at + 1 + 4;
    }
    if (on('t')) {
        std::string title;
        for (std::size_t i = title_at; i <= call.argc(); ++i) {
            if (!title.empty())
                title += ' ';
            title += call.arg(i);
        }
        w->setWindowTitle(QString::fromStdString(title.empty() ? "Kest" : title));
    }
    if ((on('i') || on('e')) && d->parent_desktop) {
        if (on('e'))
            w->showNormal();
        else
            w->showMinimized();
    }
    return 1;
}

// $dialog(name, table[, parent]), $dialog(name), $dialog(n) and their properties.
int id_dialog(IdentCall& call)
{
    int r = ident_args_range(call, 1, 3);
    if (r >= 0)
        return r;
    const int count = ident_arg_count(call);
    const std::string name = ident_arg(call, 0).substr(0, kShortText);
    if (count >= 2) {
        const std::string table = ident_arg(call, 1).substr(0, kShortText);
        if (call.args && (call.args->event || call.args->event_ctx))
            return script_error_set("* $dialog: Olay kullanılamıyor");
        if (text_is_digits(name))
            return script_error_set(script_format("* $dialog: '%s' Geçersiz isim", name));
        if (dialog_find(name))
            return script_error_set(script_format("* $dialog: '%s' Bu isim Kullanılıyor", name));
        ScriptDialog* d = dialog_new(name, table);
        d->script = call.args ? call.args->script : nullptr;
        d->conn = call.conn();
        if (!ParseDialogTable(d)) {
            dialog_free(d);
            return ident_error(call.token, call.work, 6);
        }
        const std::string parent = count >= 3 ? ident_arg(call, 2) : std::string();
        if (parent == "-1")
            d->parent_desktop = 1;
        else if (parent == "-2")
            d->parent = win_frame_handle();
        else if (parent == "-3" || parent == "-4")
            d->parent = active_parent();
        else if (WindowRecord* rec = parent.empty() ? nullptr : win_find_by_name(parent, d->conn))
            d->parent = rec->hwnd;
        else
            d->parent = call.window();
        std::string result;
        d->result = &result;
        script_error_clear();
        if (!make_window(d)) {
            if (script_error_pending())
                return 0;
            return script_error_set(script_format("* $dialog: '%s' Oluşturmada Hata", name));
        }
        QPointer<ScriptDialogWindow> w = d->window;
        w->setModal(true);
        w->exec();
        if (dialog_is_live(d)) {
            d->result = nullptr;
            dialog_free(d);
        } else if (w) {
            w->deleteLater();
        }
        *call.value = result;
        return ident_finish(call);
    }
    ScriptDialog* d = nullptr;
    if (text_is_digits(name)) {
        long long n = std::min(text_to_int_clamped(name), 9998);
        if (n == 0 && ident_property(call).empty()) {
            *call.value = std::to_string(script_dialogs.size());
            return ident_finish(call);
        }
        if (n >= 1 && n <= static_cast<long long>(script_dialogs.size()))
            d = script_dialogs[static_cast<std::size_t>(n - 1)];
    } else {
        d = dialog_find(name);
    }
    if (!d)
        return ident_finish(call);
    const std::string prop = text_lower_copy(ident_property(call));
    ScriptDialogWindow* w = d->window;
    std::string& out = *call.value;
    if (prop.empty())
        out = d->name;
    else if (!w)
        out.clear();
    else if (prop == "x")
        out = std::to_string(w->frameGeometry().x());
    else if (prop == "y")
        out = std::to_string(w->frameGeometry().y());
    else if (prop == "w")
        out = std::to_string(w->frameGeometry().width());
    else if (prop == "h")
        out = std::to_string(w->frameGeometry().height());
    else if (prop == "cw")
        out = std::to_string(w->client()->width());
    else if (prop == "ch")
        out = std::to_string(w->client()->height());
    else if (prop == "title")
        out = w->windowTitle().toStdString().substr(0, kMediumText);
    else if (prop == "modal")
        out = ident_truth(d->modal);
    else if (prop == "table")
        out = d->table;
    else if (prop == "ok")
        out = std::to_string(d->ok_id);
    else if (prop == "cancel")
        out = std::to_string(d->cancel_id);
    else if (prop == "result")
        out = std::to_string(d->result_id);
    else if (prop == "focus") {
        int id = 0;
        // The focus within the dialog (the keyboard's while it is active).
        QWidget* f = w->focusWidget();
        for (QWidget* x = f; x && !id; x = x->parentWidget())
            id = dialog_id_of(d, x);
        if (d->tabs && f == d->tabs)
            id = d->tab_ids.empty() ? 0 : d->tab_ids[d->current_page];
        out = std::to_string(id);
    } else if (prop == "active")
        out = ident_truth(w->isActiveWindow() || w->isAncestorOf(QApplication::focusWidget()));
    else if (prop == "tab")
        out = d->tab_ids.empty() ? std::string() : std::to_string(d->tab_ids[d->current_page]);
    else if (prop == "hwnd")
        out = std::to_string(static_cast<unsigned long long>(w->winId()));
    else
        out.clear();
    return ident_finish(call);
}

int id_dbu(IdentCall& call)
{
    const DialogBaseUnits b = dialog_base_units();
    char buf[32];
    const double v = call.variant ? b.height / 8.0 : b.width / 4.0;
    std::snprintf(buf, sizeof buf, "%g", v);
    *call.value = buf;
    return 2;
}

int g_repoint_listener = 0;
int g_free_listener = 0;

}  // namespace

void dialogs_install()
{
    script_register_command_family("cmd_dialog", cmd_dialog);
    ident_register_family("id_dialog", id_dialog);
    ident_register("dbuw", id_dbu, 0);
    ident_register("dbuh", id_dbu, 1);
    dialog_controls_register();
    conn_repoint.add_once(g_repoint_listener, kRepointDialogs, [](Connection* freed, Connection* replacement, bool) {
        for (ScriptDialog* d : script_dialogs)
            if (d->conn == freed)
                d->conn = replacement;
    });
    shutdown_free.add_once(g_free_listener, kFreeScriptDialogs, []() {
        for (int guard = 0; guard < 500 && !script_dialogs.empty(); ++guard) {
            ScriptDialog* d = script_dialogs.front();
            d->close_mode = 2;
            if (d->window && d->modal)
                d->window->done(0);
            dialog_free(d);
        }
    });
}

void dialogs_uninstall()
{
    conn_repoint.drop(g_repoint_listener);
    shutdown_free.drop(g_free_listener);
}
