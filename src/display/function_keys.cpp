#include "display/function_keys.h"

#include <QApplication>
#include <QListWidget>
#include <QPointer>

#include "display/child_controls.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "display/tab_complete.h"
#include "irc/numerics/isupport.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/executor.h"
#include "script/exec/script_types.h"

namespace {

constexpr std::size_t kLineLimit = 4150;

// The selected nicks of a channel's nick list without their prefixes, each
// followed by a blank, while they fit beside the command.
std::string selected_nicks(WindowRecord* rec, Connection* conn, std::size_t used)
{
    std::string out;
    ListBox* list = rec->listbox.get();
    if (!list)
        return out;
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        if (!item || !item->isSelected())
            continue;
        std::string nick = item->text().toStdString();
        std::size_t skip = 0;
        while (skip < nick.size() && isupport_is_nick_prefix(nick.c_str() + skip, conn))
            ++skip;
        nick.erase(0, skip);
        if (nick.empty() || used + out.size() + nick.size() + 1 > kLineLimit)
            continue;
        out += nick;
        out += ' ';
    }
    return out;
}

}  // namespace

int fkey_run_alias(WindowRecord* rec, const std::string& alias)
{
    StringNode* def = alias_find(alias, nullptr, nullptr);
    if (!def)
        return 0;
    const std::string body(alias_body_text(def));
    if (body.empty())
        return 0;
    if (!win_is_record(rec))
        return 0;
    Connection* conn = rec->conn;
    if (!conn_is_live(conn))
        return 0;
    QPointer<QWidget> hwnd = rec->hwnd.get();
    std::string params;
    if (rec->type == kWinChannel)
        params = selected_nicks(rec, conn, body.size());
    else if (rec->type == kWinQuery && rec->subtype == kQueryMessages) {
        // The message window: the newest nick of the conversation list.
        if (TabState* tab = tabcomp_state(conn))
            if (StringNode* list = tab->list1)
                params = list->prev->text;
    } else if (rec->type == kWinQuery) {
        params = rec->name;
        const std::size_t blank = params.find(' ');
        if (blank != std::string::npos)
            params.erase(0, blank + 1);
    }
    const bool channel = rec->type == kWinChannel;
    QPointer<QWidget> control = channel ? rec->last_focus.get() : nullptr;
    QPointer<QWidget> before = QApplication::focusWidget();
    auto* script = reinterpret_cast<ScriptFile*>(def->extra[kLineScript]);
    script_exec_command(hwnd.data(), def, body.c_str(), params.empty() ? nullptr : params.c_str(), 1,
                        script, conn);
    // In a channel the control that had the focus gets it back unless the
    // command moved it.
    if (channel && hwnd && control && QApplication::focusWidget() == before.data())
        control->setFocus();
    return 1;
}
