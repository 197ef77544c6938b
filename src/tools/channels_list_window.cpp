#include "tools/channels_list_window.h"

#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTimer>

#include "app/file_dialogs.h"
#include "app/popup_menus.h"
#include "app/window_open.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "display/child_controls.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "model/window_requests.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"
#include "tools/channels_list.h"

namespace {

int g_changed_listener = 0;
constexpr char kFilledProperty[] = "kestChanlistFilled";

void set_title(QWidget* window, const std::string& title)
{
    const QString t = QString::fromUtf8(title.c_str());
    window->setWindowTitle(t);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        frame->setWindowTitle(t);
}

ListBox* box_of(Connection* conn)
{
    QWidget* window = conn_is_live(conn) ? conn->chanlist_window.data() : nullptr;
    WindowRecord* rec = window ? win_record_of(window) : nullptr;
    return rec ? rec->listbox.get() : nullptr;
}

QListWidgetItem* make_item(const std::string& line)
{
    QString text = QString::fromUtf8(line.data(), static_cast<int>(line.size()));
    auto* item = new QListWidgetItem(QString(text).replace(QLatin1Char('\t'), QLatin1String("    ")));
    item->setData(Qt::UserRole, text);
    return item;
}

// Appends the shown lines that arrived since the last call (lines keep
// their arrival order while a reply comes in).
void append_new(Connection* conn, ListBox* box)
{
    const ChannelListState& st = chanlist_state(conn);
    std::size_t from = box->property(kFilledProperty).toULongLong();
    if (from > st.lines.size())
        from = 0;
    const bool first = box->count() == 0;
    for (std::size_t i = from; i < st.lines.size(); ++i)
        if (st.lines[i].shown)
            box->addItem(make_item(st.lines[i].text));
    box->setProperty(kFilledProperty, static_cast<qulonglong>(st.lines.size()));
    if (first && box->count() > 0)
        box->setCurrentRow(0);
}

// Fills the list from the kept lines in their sorted order.
void fill_all(Connection* conn, ListBox* box)
{
    const ChannelListState& st = chanlist_state(conn);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    box->setUpdatesEnabled(false);
    box->clear();
    for (int row : chanlist_shown_rows(conn))
        box->addItem(make_item(st.lines[static_cast<std::size_t>(row)].text));
    box->setProperty(kFilledProperty, static_cast<qulonglong>(st.lines.size()));
    box->setUpdatesEnabled(true);
    if (box->count() > 0)
        box->setCurrentRow(0);
    QApplication::restoreOverrideCursor();
}

void open_window(Connection* conn)
{
    if (conn->chanlist_window)
        return;
    WindowOpenRequest request;
    request.name = "Channels List";
    request.type = kWinChanList;
    request.conn = conn;
    QWidget* active = QApplication::activeWindow();
    QWidget* window = win_request_open ? win_request_open(request) : nullptr;
    if (!window || !conn_is_live(conn))
        return;
    conn->chanlist_window = window;
    if (active && active != window->window())
        active->activateWindow();   // a new list does not take the focus
    if (ListBox* box = box_of(conn)) {
        box->setUniformItemSizes(true);
        box->setProperty(kFilledProperty, static_cast<qulonglong>(0));
    }
}

void on_changed(Connection* conn, int change)
{
    if (!conn_is_live(conn))
        return;
    if (change == kChanListOpen) {
        open_window(conn);
        return;
    }
    QWidget* window = conn->chanlist_window.data();
    ListBox* box = box_of(conn);
    if (!window || !box)
        return;
    switch (change) {
    case kChanListCleared:
        box->clear();
        box->setProperty(kFilledProperty, static_cast<qulonglong>(0));
        set_title(window, chanlist_title(conn, 0));
        break;
    case kChanListAdded:
        append_new(conn, box);
        set_title(window, chanlist_title(conn, 0));
        break;
    case kChanListEnded:
        fill_all(conn, box);
        set_title(window, chanlist_title(conn, 1));
        if (WindowRecord* rec = win_record_of(window))
            if (rec->activity < kActivityText && QApplication::activeWindow() != window)
                rec->activity = kActivityText;
        break;
    default:
        break;
    }
}

std::string selected_channel(Connection* conn)
{
    ListBox* box = box_of(conn);
    QListWidgetItem* item = box ? box->currentItem() : nullptr;
    if (!item || !item->isSelected())
        return std::string();
    const QByteArray b = item->data(Qt::UserRole).toString().toUtf8();
    std::string line(b.constData(), static_cast<std::size_t>(b.size()));
    std::size_t a = line.find_first_not_of(' ');
    if (a == std::string::npos)
        return std::string();
    std::size_t e = line.find('\t', a);
    return line.substr(a, e == std::string::npos ? std::string::npos : e - a);
}

void save_as(QWidget* window, Connection* conn)
{
    std::vector<std::string> chosen;
    if (file_dialog_run(window, kFileDialogFile, main_settings.chans_dir + "list.txt", text_load_string(3819), "",
                        chosen) != 1 ||
        chosen.empty())
        return;
    chanlist_save_text(conn, chosen.front());
}

} // namespace

void menu_chanlist_command(int id, QWidget* window, Connection* conn)
{
    if (!conn_is_live(conn)) {
        beep_error(0);
        return;
    }
    const std::string channel = selected_channel(conn);
    switch (id) {
    case 7000:
        if (channel.empty())
            beep_error(0);
        else
            script_exec_line(conn->status_window.data(), ("/join " + channel).c_str(), nullptr, 0, nullptr,
                             nullptr, conn);
        break;
    case 7001:
        if (channel.empty())
            beep_error(0);
        else
            script_exec_line(conn->status_window.data(), ("/names " + channel).c_str(), nullptr, 0, nullptr,
                             nullptr, conn);
        break;
    case 7005:
        save_as(window, conn);
        break;
    case 7007:
    case 7008:
    case 7009:
    case 7011: {
        const int mode = id == 7007 ? 0 : id == 7008 ? 1 : id == 7009 ? 2 : 3;
        chanlist_sort(mode, conn);
        if (ListBox* box = box_of(conn))
            fill_all(conn, box);
        break;
    }
    case 7010:
        chanlist_stop(conn);
        break;
    default:
        beep_error(0);
        break;
    }
}

int chanlist_window_popup(WindowRecord* rec, const QPoint& point)
{
    if (!rec || rec->type != kWinChanList || !conn_is_live(rec->conn))
        return 0;
    Connection* conn = rec->conn;
    QWidget* window = rec->hwnd;
    QMenu menu(window);
    auto add = [&menu](int text, int id) {
        QAction* a = menu.addAction(QString::fromUtf8(text_load_string(text)));
        a->setData(id);
        return a;
    };
    add(3809, 7000);
    add(3810, 7001);
    menu.addSeparator();
    QMenu* sort = menu.addMenu(QString::fromUtf8(text_load_string(3811)));
    const int mode = chanlist_state(conn).sort_mode;
    const int sort_ids[4][2] = {{3812, 7007}, {3813, 7008}, {3814, 7009}, {3870, 7011}};
    for (int i = 0; i < 4; ++i) {
        QAction* a = sort->addAction(QString::fromUtf8(text_load_string(sort_ids[i][0])));
        a->setData(sort_ids[i][1]);
        a->setCheckable(true);
        a->setChecked(i == (mode >= 0 && mode <= 3 ? mode : 0));
    }
    menu.addSeparator();
    add(3819, 7005);
    if (conn->chanlist_busy) {
        menu.addSeparator();
        add(3858, 7010)->setEnabled(!conn->chanlist_stop_sent);
    }
    const QPoint at = point.isNull() ? window->mapToGlobal(window->rect().center()) : point;
    QAction* chosen = menu.exec(at);
    if (chosen && chosen->data().isValid())
        menu_chanlist_command(chosen->data().toInt(), window, conn);
    return 1;
}

void channels_list_window_install()
{
    chanlist_changed.add_once(g_changed_listener, 10, on_changed);
    popup_window_register(kWinChanList, chanlist_window_popup);
}

void channels_list_window_uninstall()
{
    chanlist_changed.remove(g_changed_listener);
    g_changed_listener = 0;
    popup_window_register(kWinChanList, nullptr);
}
