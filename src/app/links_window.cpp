#include "app/links_window.h"

#include <QApplication>
#include <QListWidget>
#include <QMdiSubWindow>

#include <cstdio>

#include "app/child_widgets.h"
#include "app/connection.h"
#include "app/window_open.h"
#include "app/window_record.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "display/colors.h"
#include "display/line_buffer.h"
#include "irc/link/connect.h"
#include "irc/services/links.h"
#include "script/exec/script_types.h"

namespace {

void set_title(QWidget* window, const std::string& title)
{
    const QString t = QString::fromUtf8(title.c_str());
    window->setWindowTitle(t);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        frame->setWindowTitle(t);
}

} // namespace

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
    for (const LinkLine& l : lines) {
        auto* item = new QListWidgetItem(QString::fromUtf8(l.text.c_str()).replace(QLatin1Char('\t'), QLatin1String("    ")));
        item->setData(Qt::UserRole, QString::fromUtf8(l.text.c_str()));
        item->setData(Qt::UserRole + 1, static_cast<uint>(l.colour));
        box->addItem(item);
        // The window's text: TABs as blanks, runs of blanks as one.
        std::string plain;
        for (char c : l.text) {
            char ch = c == '\t' ? ' ' : c;
            if (ch == ' ' && (plain.empty() || plain.back() == ' '))
                continue;
            plain.push_back(ch);
        }
        print_line(window, std::string_view(plain), l.colour);
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
