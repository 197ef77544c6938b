// The Servers page of the options dialog: the server list as a tree of
// networks and servers, with Add, Edit, Delete, Sort and Select. The page
// edits a copy of the list; OK writes it to the servers file, Cancel drops
// it.
#include "options/pages_servers.h"

#include <QAbstractButton>
#include <QDialog>
#include <QHeaderView>
#include <QListWidget>
#include <QTreeWidget>

#include <iterator>

#include "irc/lists/servers.h"
#include "model/connection.h"
#include "options/options_dialog.h"
#include "options/options_page.h"
#include "platform/platform_utils.h"
#include "options/options_subdialogs.h"
#include "options/pages_connection.h"
#include "options/server_list_edit.h"
#include "core/text_buffer.h"

namespace {

const DlgControl kServers[] = {
    {140, kDlgLabel, "&IRC Ağları ve Sunucular:", 4, 2, 160, 8},
    {141, kDlgTree, "", 4, 12, 160, 144},
    {142, kDlgButton, "&Seç", 170, 12, 56, 14},
    {143, kDlgButton, "&Ekle...", 170, 34, 56, 14},
    {144, kDlgButton, "&Düzenle...", 170, 52, 56, 14},
    {145, kDlgButton, "S&il", 170, 70, 56, 14},
    {146, kDlgButton, "S&ırala", 170, 92, 56, 14},
};
const DlgTemplate kServersTemplate = {760, "", 230, 160, kServers, std::size(kServers)};

constexpr int kEntryRole = Qt::UserRole;

ServerListEdit g_edit;

QTreeWidget* tree(QWidget* d)
{
    return qobject_cast<QTreeWidget*>(dlg_item(d, 141));
}

// The entry index of the selected item: an entry, -1 for a group, -2 for
// nothing selected.
int selected_entry(QWidget* d)
{
    QTreeWidget* t = tree(d);
    QTreeWidgetItem* item = t ? t->currentItem() : nullptr;
    if (!item || !item->isSelected())
        return -2;
    return item->data(0, kEntryRole).toInt();
}

void enable_buttons(QWidget* d)
{
    const int sel = selected_entry(d);
    for (int id : {142, 144})
        if (QWidget* w = dlg_item(d, id))
            w->setEnabled(sel >= 0);
    if (QWidget* w = dlg_item(d, 145))
        w->setEnabled(sel != -2);
}

void refill(QWidget* d, int select_entry)
{
    QTreeWidget* t = tree(d);
    if (!t)
        return;
    t->clear();
    QTreeWidgetItem* to_select = nullptr;
    for (const ServerTreeRow& row : g_edit.tree()) {
        auto* top = new QTreeWidgetItem(t, QStringList(QString::fromStdString(row.label)));
        top->setData(0, kEntryRole, row.entry);
        if (row.entry >= 0 && row.entry == select_entry)
            to_select = top;
        for (int child : row.children) {
            const ServerEntry e = servers_parse_entry(g_edit.entries[child]);
            auto* item = new QTreeWidgetItem(top, QStringList(QString::fromStdString(
                                                      e.description.empty() ? e.host : e.description)));
            item->setData(0, kEntryRole, child);
            if (child == select_entry)
                to_select = item;
        }
    }
    if (to_select) {
        t->setCurrentItem(to_select);
        to_select->setSelected(true);
        t->scrollToItem(to_select);
    }
    enable_buttons(d);
}

int entry_matching(const Connection* conn)
{
    if (!conn)
        return -1;
    const std::string& host = conn->stored_identity[5];
    const std::string& description = conn->stored_identity[6];
    for (int i = 0; i < static_cast<int>(g_edit.entries.size()); ++i) {
        const ServerEntry e = servers_parse_entry(g_edit.entries[i]);
        if (text_equal_nocase(e.host, host) && (description.empty() || text_equal_nocase(e.description, description)))
            return i;
    }
    return -1;
}

void fill_servers(OptionsEdit& e)
{
    g_edit.load();
    QTreeWidget* t = tree(e.dialog);
    if (t) {
        t->setHeaderHidden(true);
        t->setColumnCount(1);
        QDialog* d = e.dialog;
        QObject::connect(t, &QTreeWidget::itemSelectionChanged, d, [d] { enable_buttons(d); });
        QObject::connect(t, &QTreeWidget::itemDoubleClicked, d, [d](QTreeWidgetItem* item, int) {
            if (item && item->data(0, kEntryRole).toInt() >= 0)
                if (auto* b = qobject_cast<QAbstractButton*>(dlg_item(d, 142)))
                    b->click();
        });
    }
    refill(e.dialog, entry_matching(conn_is_live(e.conn) ? e.conn : nullptr));
}

void apply_servers(OptionsEdit& e)
{
    if (g_edit.changed) {
        e.server_list_changed = 1;
        g_edit.save();
    }
}

void cancel_servers(OptionsEdit&)
{
    g_edit = ServerListEdit{};
}

int command_servers(OptionsEdit& e, int id)
{
    QWidget* d = e.dialog;
    const int sel = selected_entry(d);
    switch (id) {
    case 142: {
        if (sel < 0)
            return 1;
        const std::string& text = g_edit.entries[sel];
        options_choose_server(e, text);
        const ServerEntry s = servers_parse_entry(text);
        dlg_set_text(d, 129, page_server_label(s.host, s.description, s.group));
        // Back to the Connection page, where Connect uses it.
        if (auto* list = qobject_cast<QListWidget*>(dlg_item(d, 101)); list && options_category_row_of(120) >= 0)
            list->setCurrentRow(options_category_row_of(120));
        return 1;
    }
    case 143:
    case 144: {
        if (id == 144 && sel < 0)
            return 1;
        std::string out;
        if (server_editor_run(d, id == 144 ? g_edit.entries[sel] : std::string(), &out) && !out.empty()) {
            const int at = g_edit.put(id == 144 ? sel : -1, out);
            e.server_list_changed = 1;
            refill(d, at);
        }
        return 1;
    }
    case 145:
        if (sel >= 0) {
            g_edit.remove_entry(sel);
        } else if (sel == -1) {
            QTreeWidgetItem* item = tree(d)->currentItem();
            g_edit.remove_group(item->text(0).toStdString());
        } else {
            return 1;
        }
        e.server_list_changed = 1;
        refill(d, -1);
        return 1;
    case 146:
        g_edit.sort();
        e.server_list_changed = 1;
        refill(d, -1);
        return 1;
    default:
        return 0;
    }
}

} // namespace

const ServerListEdit& servers_page_list()
{
    return g_edit;
}

void pages_servers_install()
{
    options_page_register({140, &kServersTemplate, fill_servers, apply_servers, cancel_servers, command_servers});
}

void pages_servers_uninstall()
{
    options_page_unregister(140);
    g_edit = ServerListEdit{};
}
