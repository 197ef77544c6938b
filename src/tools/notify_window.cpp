#include "tools/notify_window.h"

#include <QApplication>
#include <QFont>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>

#include <vector>

#include "app/frame_menu.h"
#include "app/popup_menus.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "core/options.h"
#include "display/child_controls.h"
#include "irc/lists/notify_list.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/line_buffer.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

namespace {

// What an item of the list keeps besides its text: the line's kind, its
// entry and its connection.
constexpr int kRoleKind = Qt::UserRole + 1;
constexpr int kRoleEntry = Qt::UserRole + 2;
constexpr int kRoleConn = Qt::UserRole + 3;

WindowRecord* window_record()
{
    return win_find_by_type(kWinNotify, nullptr);
}

ListBox* list_of(WindowRecord* rec)
{
    return rec ? rec->listbox.get() : nullptr;
}

void set_title(QWidget* window, const std::string& title)
{
    const QString t = QString::fromUtf8(title.c_str());
    window->setWindowTitle(t);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        frame->setWindowTitle(t);
}

bool same_line(const QListWidgetItem* item, const NotifyWindowLine& line, const QString& text)
{
    return item->text() == text && item->data(kRoleKind).toInt() == line.kind &&
           item->data(kRoleEntry).toInt() == line.entry_id && item->data(kRoleConn).toInt() == line.conn_id;
}

void put_line(QListWidgetItem* item, const NotifyWindowLine& line, const QString& text)
{
    item->setText(text);
    item->setData(kRoleKind, line.kind);
    item->setData(kRoleEntry, line.entry_id);
    item->setData(kRoleConn, line.conn_id);
    QFont font = item->font();
    font.setBold(line.kind == 0 || line.kind == 2);
    item->setFont(font);
}

NotifyWindowLine line_of(const QListWidgetItem* item)
{
    NotifyWindowLine line;
    line.kind = item->data(kRoleKind).toInt();
    line.entry_id = item->data(kRoleEntry).toInt();
    line.conn_id = item->data(kRoleConn).toInt();
    const QByteArray b = item->text().toUtf8();
    line.text.assign(b.constData(), static_cast<std::size_t>(b.size()));
    return line;
}

// The selected entry line of the window and its entry; null when the
// selection is a heading or its entry is gone.
NotifyEntry* selected_entry(WindowRecord* rec, Connection** out_conn, std::string* text)
{
    if (out_conn)
        *out_conn = nullptr;
    ListBox* box = list_of(rec);
    QListWidgetItem* item = box ? box->currentItem() : nullptr;
    if (!item || !item->isSelected())
        return nullptr;
    const NotifyWindowLine line = line_of(item);
    if (text)
        *text = line.text;
    return notify_item_entry(line, out_conn);
}

std::string first_word(const std::string& text)
{
    const std::size_t a = text.find_first_not_of(' ');
    if (a == std::string::npos)
        return std::string();
    return text.substr(a, text.find(' ', a) - a);
}

// Menu 131: closes the window when it is the active window, else opens and
// activates it.
int menu_131(int, intptr_t)
{
    WindowRecord* rec = window_record();
    if (rec && rec->hwnd && win_active.get() == rec->hwnd.get())
        notify_window_close();
    else
        notify_window_show(1);
    return 1;
}

// $snotify
int id_snotify(IdentCall& call)
{
    *call.value = notify_window_selected_nick(call.conn() ? call.conn() : conn_current());
    return 2;
}

}  // namespace

QWidget* notify_window_widget()
{
    WindowRecord* rec = window_record();
    return rec ? rec->hwnd.get() : nullptr;
}

void notify_window_show(int flags)
{
    WindowRecord* rec = window_record();
    if (!rec) {
        Connection* conn = conn_current();
        if (!conn_is_live(conn))
            return;
        WindowOpenRequest request;
        request.name = "Notify List";
        request.type = kWinNotify;
        request.conn = conn;
        QWidget* window = win_open(request);
        rec = window ? win_record_of(window) : nullptr;
        if (!rec)
            return;
        if (ListBox* box = list_of(rec))
            box->setUniformItemSizes(true);
    }
    notify_window_rebuild();
    if ((flags & 1) && rec->hwnd)
        win_op_activate(rec->hwnd.get(), 1);
}

void notify_window_rebuild()
{
    WindowRecord* rec = window_record();
    ListBox* box = list_of(rec);
    if (!box || !rec->hwnd)
        return;
    std::vector<NotifyWindowLine> lines;
    std::string title;
    notify_window_lines(lines, title);
    // Line by line: a line that stays keeps its item (and its selection).
    const int n = static_cast<int>(lines.size());
    for (int row = 0; row < n; ++row) {
        const NotifyWindowLine& line = lines[static_cast<std::size_t>(row)];
        const QString text = QString::fromUtf8(line.text.data(), static_cast<int>(line.text.size()));
        if (row < box->count()) {
            QListWidgetItem* item = box->item(row);
            if (!same_line(item, line, text))
                put_line(item, line, text);
        } else {
            auto* item = new QListWidgetItem;
            put_line(item, line, text);
            box->addItem(item);
        }
    }
    while (box->count() > n)
        delete box->takeItem(box->count() - 1);
    // The same lines are the window's own text, which $line reads; the
    // window prints nothing, so they are stored as they stand.
    strlist_free(&rec->lines);
    rec->line_count = 0;
    rec->marker_line = nullptr;
    for (const NotifyWindowLine& line : lines)
        line_new(rec, line.text.c_str(), 0, line.kind == 0 || line.kind == 2 ? kColorInfoText : kColorNormalText, 0,
                 0, 1);
    set_title(rec->hwnd.get(), title);
}

void notify_window_close()
{
    if (QWidget* window = notify_window_widget())
        win_close(window);
}

void notify_window_mark_activity()
{
    WindowRecord* rec = window_record();
    QWidget* window = rec ? rec->hwnd.get() : nullptr;
    if (!window)
        return;
    QWidget* shown = window;
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        shown = frame;
    const bool hidden = !shown->isVisible() || shown->isMinimized() || window->window()->isMinimized();
    if (!hidden && win_active.get() == window)
        return;
    if (win_activity_rank(1) > win_activity_rank(rec->activity)) {
        rec->activity = 1;
        win_list_change(kWinListLook, rec);
    }
}

std::string notify_window_selected_nick(Connection* conn)
{
    WindowRecord* rec = window_record();
    Connection* owner = nullptr;
    std::string text;
    if (!selected_entry(rec, &owner, &text) || owner != conn)
        return std::string();
    return text.substr(0, text.find(' '));
}

int notify_window_popup(WindowRecord* rec, const QPoint& point)
{
    if (!rec || rec->type != kWinNotify || !rec->hwnd)
        return 0;
    QWidget* window = rec->hwnd.get();
    Connection* conn = nullptr;
    QMenu* menu = nullptr;
    if (selected_entry(rec, &conn, nullptr) && conn_is_live(conn))
        menu = menu_build_query_popup(window, "notify", nullptr);
    if (!menu)
        menu = menu_popup_begin_fixed(window, "notify", "notify");
    if (!menu)
        return 0;
    if (!menu->isEmpty() && !menu->actions().last()->isSeparator())
        menu->addSeparator();
    QAction* all = menu_popup_add_fixed(menu, 3805, 6996);
    all->setCheckable(true);
    all->setChecked(opt(OPT_NOTIFY_LIST_OFFLINE) != 0);
    menu->addSeparator();
    menu_popup_add_fixed(menu, 3806, 6998);
    menu_popup_add_fixed(menu, 3807, 6999);
    return menu_track_popup(window, kPopupNotify, point);
}

void menu_notify_command(int id, QWidget* window, Connection* conn)
{
    if (id == 6996) {
        opt_set(OPT_NOTIFY_LIST_OFFLINE, opt(OPT_NOTIFY_LIST_OFFLINE) ? 0 : 1);
        ini_save_options();
        notify_window_rebuild();
        return;
    }
    if (id == 6999) {
        frame_on_command(nullptr, 156, 0);
        return;
    }
    // The nick: a notify hotlink's word (looked up in the connection's
    // list), else the selected line's entry.
    std::string nick;
    Connection* target_conn = conn;
    std::string& hotlink = popup_context.saved.hotlink;
    if (!hotlink.empty()) {
        const std::string word = first_word(hotlink.substr(0, hotlink.find('!')));
        hotlink.clear();
        if (NotifyEntry* e = notify_find(word, 1, conn))
            notify_line_text(e, nick, 1);
        else
            nick = word;
    } else {
        NotifyEntry* e = selected_entry(window_record(), &target_conn, nullptr);
        if (e)
            notify_line_text(e, nick, 1);
    }
    if (!conn_is_live(target_conn))
        target_conn = conn;
    if (!conn_is_live(target_conn)) {
        beep_error(0);
        return;
    }
    QWidget* status = target_conn->status_window.data();
    if (id == 6998) {
        script_exec_line(status ? status : window, "/!.notify", nullptr, 0, nullptr, nullptr, target_conn);
        return;
    }
    if (nick.empty()) {
        beep_error(0);
        return;
    }
    menu_run_script_item(status ? status : window, kPopupQuery, id, nick, target_conn);
}

void notify_window_install()
{
    popup_window_register(kWinNotify, notify_window_popup);
    popup_kind_register(kPopupNotify, menu_notify_command);
    frame_menu_command_register(131, menu_131);
    ident_register_family("id_snotify", id_snotify);
}

void notify_window_uninstall()
{
    popup_window_register(kWinNotify, nullptr);
    popup_kind_register(kPopupNotify, nullptr);
    frame_menu_command_register(131, nullptr);
}
