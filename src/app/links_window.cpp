#include "app/links_window.h"

#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>

#include <cstdio>
#include <vector>

#include "app/child_widgets.h"
#include "model/connection.h"
#include "app/file_dialogs.h"
#include "app/popup_menus.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/connect.h"
#include "irc/numerics/query_replies.h"
#include "irc/services/links.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

namespace {

void set_title(QWidget* window, const std::string& title)
{
    const QString t = QString::fromUtf8(title.c_str());
    window->setWindowTitle(t);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        frame->setWindowTitle(t);
}

// A line as the window's text holds it: TABs as blanks, runs of blanks as
// one, none in front.
std::string plain_line(const std::string& line)
{
    std::string plain;
    for (char c : line) {
        char ch = c == '\t' ? ' ' : c;
        if (ch == ' ' && (plain.empty() || plain.back() == ' '))
            continue;
        plain.push_back(ch);
    }
    return plain;
}

// The selected line of the window's list, with its TABs; empty when none.
std::string selected_line(QWidget* window)
{
    WindowRecord* rec = win_record_of(window);
    ListBox* box = rec ? rec->listbox.get() : nullptr;
    QListWidgetItem* item = box ? box->currentItem() : nullptr;
    if (!item || !item->isSelected())
        return std::string();
    const QByteArray b = item->data(Qt::UserRole).toString().toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// The lines of the window under [links] of a file the user names.
void save_lines(QWidget* window)
{
    std::vector<std::string> chosen;
    if (file_dialog_run(window, kFileDialogFile, settings_dir + "links.ini", text_load_string(5103), "",
                        chosen) != 1 ||
        chosen.empty())
        return;
    WindowRecord* rec = win_record_of(window);
    ListBox* box = rec ? rec->listbox.get() : nullptr;
    if (!box)
        return;
    StringNode* list = nullptr;
    for (int row = 0; row < box->count(); ++row) {
        const QByteArray b = box->item(row)->data(Qt::UserRole).toString().toUtf8();
        list = strlist_append(list, std::string_view(plain_line(std::string(b.constData(), static_cast<std::size_t>(b.size())))), 0);
    }
    if (!list || !ini_write_numbered_list(list, "links", "n", 0, chosen.front()))
        beep_error(0);
    strlist_free(&list);
}

} // namespace

QMenu* menu_build_links_popup(QWidget* window)
{
    QMenu* menu = menu_popup_begin_fixed(window, "links", "links");
    menu_popup_add_fixed(menu, 3820, 7000);
    menu_popup_add_fixed(menu, 3821, 7001);
    menu->addSeparator();
    menu_popup_add_fixed(menu, 3863, 7002);
    menu->addSeparator();
    menu_popup_add_fixed(menu, 3864, 7003);
    return menu;
}

void menu_links_command(int id, QWidget* window, Connection* conn)
{
    WindowRecord* rec = win_record_of(window);
    if (!rec || rec->type != kWinLinks) {
        beep_error(0);
        return;
    }
    switch (id) {
    case 7000: {
        const std::string line = selected_line(window);
        if (line.empty())
            beep_error(0);
        else
            links_dblclick_server(line.c_str(), window,
                                  (QApplication::keyboardModifiers() & Qt::ShiftModifier) != 0);
        break;
    }
    case 7001: {
        const std::string line = selected_line(window);
        std::size_t a = line.find_first_not_of('\t');
        const std::string word = a == std::string::npos ? std::string() : line.substr(a, line.find(' ', a) - a);
        if (word.empty() || !QApplication::clipboard())
            beep_error(0);
        else
            QApplication::clipboard()->setText(QString::fromUtf8(word.data(), static_cast<int>(word.size())));
        break;
    }
    case 7002:
        if (ListBox* box = rec->listbox.get())
            box->clear();
        script_exec_line(window, "/!.links", nullptr, 0, nullptr, nullptr, conn);
        break;
    case 7003:
        save_lines(window);
        break;
    default:
        beep_error(0);
        break;
    }
}

void links_dblclick_server(const char* line, QWidget* window, bool shift)
{
    if (!line || !*line)
        return;
    WindowRecord* rec = win_record_of(window);
    Connection* conn = rec && conn_is_live(rec->conn) ? rec->conn : nullptr;
    bool masked = false;
    const std::string command = links_dblclick_command(line, shift, &masked);
    if (masked) {
        echo_line(conn ? link_status_window(conn) : window, std::string_view(text_load_string(3601)),
                  kColorInfoText);
        return;
    }
    if (command.empty())
        return;
    // The server name came from the server: run as typed input, which
    // neither evaluates nor splits it.
    script_exec_line(window, command.c_str(), nullptr, 0, nullptr, nullptr, conn);
}

void links_window_show(StringNode* list, Connection* conn)
{
    if (!conn_is_live(conn)) {
        strlist_free(&list);
        return;
    }
    std::vector<LinkLine> lines = links_layout(list);
    strlist_free(&list);
    QWidget* window = conn->links_window.data();
    if (!window) {
        WindowOpenRequest request;
        request.name = "Links List";
        request.type = kWinLinks;
        request.conn = conn;
        window = win_open(request);
        if (!window || !conn_is_live(conn))
            return;
        conn->links_window = window;
    }
    conn->links_open_mode = 0;
    WindowRecord* rec = win_record_of(window);
    ListBox* box = rec ? rec->listbox.get() : nullptr;
    if (!box)
        return;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    box->clear();
    // The window's own text (which $link reads and logging and searching
    // see) is replaced too; the window shows no printed lines, so they are
    // stored as they stand rather than printed, which would send them to
    // the status window.
    strlist_free(&rec->lines);
    rec->line_count = 0;
    rec->marker_line = nullptr;
    for (const LinkLine& l : lines) {
        auto* item = new QListWidgetItem(QString::fromUtf8(l.text.c_str()).replace(QLatin1Char('\t'), QLatin1String("    ")));
        item->setData(Qt::UserRole, QString::fromUtf8(l.text.c_str()));
        item->setData(Qt::UserRole + 1, static_cast<uint>(l.colour));
        box->addItem(item);
        line_new(rec, plain_line(l.text).c_str(), 0, l.colour, 0, 0, 1);
    }
    QApplication::restoreOverrideCursor();
    if (box->count() > 0)
        box->setCurrentRow(0);
    char title[128];
    std::snprintf(title, sizeof title, text_load_string(3603), box->count());
    set_title(window, title);
    if (!box->property("kestLinksClick").toBool()) {
        box->setProperty("kestLinksClick", true);
        QObject::connect(box, &QListWidget::itemDoubleClicked, box, [box](QListWidgetItem* item) {
            const QByteArray line = item->data(Qt::UserRole).toString().toUtf8();
            QWidget* w = box->window() ? box->parentWidget() : nullptr;
            while (w && !win_record_of(w))
                w = w->parentWidget();
            links_dblclick_server(line.constData(), w,
                                  (QApplication::keyboardModifiers() & Qt::ShiftModifier) != 0);
        });
    }
}

namespace {
int g_links_listener = 0;
}  // namespace

void links_window_install()
{
    links_received.add_once(g_links_listener, kLinksReceivedWindow, [](StringNode*& list, Connection* conn) {
        StringNode* taken = list;
        list = nullptr;
        links_window_show(taken, conn);
    });
}

void links_window_uninstall()
{
    links_received.remove(g_links_listener);
    g_links_listener = 0;
}
