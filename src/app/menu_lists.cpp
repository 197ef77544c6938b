// The main menu's lists: recent servers, recent channels and the channels
// folder, the open windows and the help files.
#include "app/menu_lists.h"

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_menu.h"
#include "app/mdi_arrange.h"
#include "app/startup.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/file_type_rules.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "irc/dispatch/captions.h"
#include "irc/lists/servers.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/executor.h"
#include "script/popups.h"
#include "script/stores/alias_files.h"
#include "core/text_limits.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace {

// What the items of the lists stand for, by id: kept from one build of a
// menu to the next choice from it.
std::vector<std::string> g_server_entries;    // 7000 + i: a server entry text
std::vector<std::string> g_help_files;        // 5000 + i: a file name
Connection* g_channels_conn = nullptr;        // the Channels menu's connection

constexpr char kDynamic[] = "menuListItem";

QString numbered(int id)
{
    return QString::fromUtf8(text_load_string(id));
}

// A text shown as it is: "&" is not taken for an accelerator.
QString plain(const std::string& text)
{
    return QString::fromUtf8(text.c_str()).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QAction* make_item(QMenu* menu, int id, const QString& text, QAction* before = nullptr)
{
    auto* a = new QAction(text, menu);
    a->setData(id);
    a->setProperty(kDynamic, true);
    QObject::connect(a, &QAction::triggered, menu, [id] {
        frame_on_command(frame_window.data(), static_cast<uintptr_t>(id), 0);
    });
    menu->insertAction(before, a);
    return a;
}

QAction* make_separator(QMenu* menu, QAction* before = nullptr)
{
    auto* a = new QAction(menu);
    a->setSeparator(true);
    a->setProperty(kDynamic, true);
    menu->insertAction(before, a);
    return a;
}

int action_id(const QAction* a)
{
    return a && !a->isSeparator() && a->data().typeId() == QMetaType::Int ? a->data().toInt() : 0;
}

// The position of the item with this id directly in the menu, -1 when none.
int position_of(QMenu* menu, int id)
{
    const QList<QAction*> actions = menu->actions();
    for (int i = 0; i < actions.size(); ++i)
        if (!actions[i]->menu() && action_id(actions[i]) == id)
            return i;
    return -1;
}

// The first submenu of the menu.
QMenu* first_submenu(QMenu* menu)
{
    for (QAction* a : menu->actions())
        if (a->menu())
            return a->menu();
    return nullptr;
}

void remove_action(QMenu* menu, QAction* a)
{
    menu->removeAction(a);
    if (QMenu* sub = a->menu())
        sub->deleteLater();
    a->deleteLater();
}

// Deletes every item after the one at `position`.
void delete_after(QMenu* menu, int position)
{
    QList<QAction*> actions = menu->actions();
    for (int i = static_cast<int>(actions.size()) - 1; i > position; --i)
        remove_action(menu, actions[i]);
}

std::vector<std::string> read_numbered(const char* section, const std::string& file)
{
    std::vector<std::string> out;
    StringNode* list = ini_read_numbered_list(section, "n", nullptr, file, 0);
    for (StringNode* n = list; n; n = n->next)
        out.push_back(n->text);
    strlist_free(&list);
    return out;
}

// The channel of a menu choice, handed to /join as its one argument: no
// evaluation, no "|" splitting, and a name with a blank (which /join would
// read as a key) is refused.
void join_channel(Connection* conn, const std::string& name)
{
    if (name.empty() || name.find_first_of(" \t\r\n") != std::string::npos) {
        beep_error(0);
        return;
    }
    QWidget* status = conn->status_window.data();
    script_exec_plain_command(status, "join " + name, conn, 0);
}

std::string chanfolder_file()
{
    return main_settings.chanfolder_file.empty() ? main_ini_path : main_settings.chanfolder_file;
}

bool ends_with_nocase(const std::string& text, const char* tail)
{
    const std::size_t n = std::char_traits<char>::length(tail);
    return text.size() >= n && text_equal_nocase(std::string_view(text).substr(text.size() - n), tail);
}

bool is_listed(const WindowRecord* rec)
{
    return rec->hwnd.get() != nullptr;
}

// The program's own folder, ending in "/"; empty when unknown.
std::string program_folder()
{
    std::string dir = file_program_path();
    const std::size_t slash = dir.rfind('/');
    return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}

}  // namespace

// ---- Connect items ----

void menu_update_connect_items()
{
    QAction* connect = frame_menu_action(101);
    QAction* disconnect = frame_menu_action(102);
    Connection* conn = conn_current();
    // Connecting includes a link waiting for its next attempt.
    const bool busy = conn_is_live(conn) && (conn_is_connected(conn) || conn_is_connecting(conn));
    if (connect && connect->isEnabled() == busy)
        connect->setEnabled(!busy);
    if (disconnect && disconnect->isEnabled() != busy)
        disconnect->setEnabled(busy);
}

// ---- Recent servers ----

void menu_build_recent_servers_menu(QMenu* menu)
{
    if (!menu || position_of(menu, 101) < 0)
        return;
    QMenu* sub = first_submenu(menu);
    if (!sub) {
        beep_error(0);
        return;
    }
    for (QAction* a : sub->actions())
        remove_action(sub, a);
    g_server_entries.clear();
    servers_reload();
    const std::string file = servers_file();
    std::vector<std::string> all = read_numbered("recent", file);
    for (const std::string& s : read_numbered("servers", file))
        all.push_back(s);

    std::vector<QString> captions;
    auto taken = [](const std::vector<QString>& list, const QString& c) {
        return std::any_of(list.begin(), list.end(),
                           [&c](const QString& x) { return x.compare(c, Qt::CaseInsensitive) == 0; });
    };
    const int next_id_base = 7000;
    for (std::size_t i = 0; i < all.size() && g_server_entries.size() < 10; ++i) {
        const ServerEntry e = servers_parse_entry(all[i]);
        std::string caption = e.description.empty() ? e.host : e.description;
        if (!e.group.empty() && !(caption.size() > e.group.size() && caption[e.group.size()] == ':' &&
                                  text_equal_nocase(caption.substr(0, e.group.size()), e.group)))
            caption = e.group + ": " + caption;
        const QString shown = plain(caption);
        if (caption.empty() || taken(captions, shown))
            continue;
        captions.push_back(shown);
        make_item(sub, next_id_base + static_cast<int>(g_server_entries.size()), shown);
        g_server_entries.push_back(all[i]);
    }

    // A submenu per group (at most five) with every entry of that group.
    std::vector<QMenu*> groups;
    for (const std::string& text : all) {
        const ServerEntry e = servers_parse_entry(text);
        if (e.group.empty())
            continue;
        QMenu* group = nullptr;
        for (QMenu* g : groups)
            if (g->title().compare(plain(e.group), Qt::CaseInsensitive) == 0)
                group = g;
        if (!group) {
            if (groups.size() >= 5)
                continue;
            group = sub->addMenu(plain(e.group));
            group->menuAction()->setProperty(kDynamic, true);
            groups.push_back(group);
        }
        const QString shown = plain(e.description.empty() ? e.host : e.description);
        bool present = false;
        for (QAction* a : group->actions())
            present = present || a->text().compare(shown, Qt::CaseInsensitive) == 0;
        if (present || shown.isEmpty() || g_server_entries.size() >= 500)
            continue;
        make_item(group, next_id_base + static_cast<int>(g_server_entries.size()), shown);
        g_server_entries.push_back(text);
    }

    const bool any = !g_server_entries.empty();
    QAction* first = sub->actions().value(0);
    if (any) {
        QAction* sep = make_separator(sub, first);
        make_item(sub, 6999, numbered(3808), sep);
    } else {
        QAction* none = make_item(sub, 7000, numbered(3841));
        none->setEnabled(false);
    }
    make_separator(sub);
    make_item(sub, 100, numbered(3869))->setEnabled(any);
    menu_update_connect_items();
}

int menu_recent_servers_command(int id)
{
    if (id == 100) {
        servers_reload();
        ini_write("kest", "host", nullptr, main_ini_path);
        ini_write("recent", nullptr, nullptr, servers_file());
        ini_write("success", nullptr, nullptr, servers_file());
        g_server_entries.clear();
        return 1;
    }
    if (id == 6999) {
        if (!frame_menu_action(id))
            return 0;
        if (!conn_new_with_status(conn_current()))
            beep_error(0);
        return 1;
    }
    // Only an item of the menu as it stands now: a stale id of another
    // popup is not taken for a server.
    if (id < 7000 || id - 7000 >= static_cast<int>(g_server_entries.size()) || !frame_menu_action(id))
        return 0;
    const std::string entry = g_server_entries[static_cast<std::size_t>(id - 7000)];
    Connection* conn = conn_current();
    if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)
        conn = conn_new_with_status(conn);
    if (!conn_is_live(conn)) {
        beep_error(0);
        return 1;
    }
    conn_apply_server_entry(entry, conn);
    script_exec_plain_command(conn->status_window.data(), "server", conn, 0);
    return 1;
}

// ---- Channels ----

void menu_build_channels_menu(QMenu* menu)
{
    const int anchor = menu ? position_of(menu, 142) : -1;
    if (anchor < 0)
        return;
    // File's recent servers are made again when File opens.
    if (QMenu* file = frame_menu_find_item(101, nullptr))
        if (QMenu* servers = first_submenu(file))
            for (QAction* a : servers->actions())
                remove_action(servers, a);

    QMenu* recent = first_submenu(menu);
    if (recent) {
        for (QAction* a : recent->actions())
            remove_action(recent, a);
        g_channels_conn = conn_current();
        std::vector<std::string> names;
        if (conn_is_live(g_channels_conn))
            for (const RecentChannel& e : g_channels_conn->recent_channels) {
                if (names.size() >= 21)
                    break;
                const std::string name = text_first_word_of(e.text);
                if (!name.empty())
                    names.push_back(name);
            }
        for (std::size_t i = 0; i < names.size(); ++i)
            make_item(recent, 3000 + static_cast<int>(i), plain(names[i]));
        if (names.empty())
            make_item(recent, 3000, numbered(3841))->setEnabled(false);
        make_separator(recent);
        make_item(recent, 140, numbered(3869))->setEnabled(!names.empty());
    }

    delete_after(menu, position_of(menu, 142));

    // The channels folder: top-level entries and the group submenus, at
    // most twenty places, then "more".
    const std::vector<std::string> entries = read_numbered("chanfolder", chanfolder_file());
    int top_level = 0;
    bool more = false;
    std::vector<QMenu*> groups;
    for (std::size_t i = 0; i < entries.size() && i <= 499; ++i) {
        std::string channel, group;
        if (!sort_chanfolder_entry_field(entries[i], 1, channel))
            continue;
        sort_chanfolder_entry_field(entries[i], 7, group);
        const int id = 4001 + static_cast<int>(i);
        QMenu* holder = nullptr;
        if (!group.empty()) {
            for (auto it = groups.rbegin(); it != groups.rend() && !holder; ++it)
                if ((*it)->title() == plain(group))
                    holder = *it;
        }
        if (!holder) {
            if (top_level >= 20) {
                more = true;
                continue;
            }
            if (top_level == 0)
                make_separator(menu);
            ++top_level;
            if (!group.empty()) {
                holder = menu->addMenu(plain(group));
                holder->menuAction()->setProperty(kDynamic, true);
                groups.push_back(holder);
            } else {
                holder = menu;
            }
        }
        make_item(holder, id, plain(channel));
    }
    if (more)
        make_item(menu, 4000, numbered(3803));
}

int menu_channels_command(int id)
{
    if (id == 140) {
        if (conn_is_live(g_channels_conn))
            g_channels_conn->recent_channels.clear();
        return 1;
    }
    if (id == 4000) {
        post_app_message(WM_APP_CHANNELS_FOLDER, 0, 2);
        return 1;
    }
    if (id >= 3000 && id <= 3020) {
        Connection* conn = g_channels_conn;
        QAction* item = frame_menu_action(id);
        if (!conn_is_live(conn) || !item)
            return 1;
        const std::string caption = item->text().replace(QStringLiteral("&&"), QStringLiteral("&")).toStdString();
        // The name as the list holds it, not as the menu shows it.
        if (const RecentChannel* e = conn_recent_find(caption, conn))
            join_channel(conn, text_first_word_of(e->text));
        return 1;
    }
    if (id >= 4001 && id <= 4500) {
        Connection* conn = conn_current();
        QAction* item = frame_menu_action(id);
        if (!conn_is_live(conn) || !item)
            return 1;
        const std::string caption = item->text().replace(QStringLiteral("&&"), QStringLiteral("&")).toStdString();
        const std::vector<std::string> entries = read_numbered("chanfolder", chanfolder_file());
        const std::size_t index = static_cast<std::size_t>(id - 4001);
        std::string channel;
        if (index < entries.size() && sort_chanfolder_entry_field(entries[index], 1, channel) &&
            text_equal_nocase(channel, caption))
            join_channel(conn, channel);
        return 1;
    }
    return 0;
}

// ---- Window list ----

void menu_build_window_list(QMenu* menu)
{
    const int anchor = menu ? position_of(menu, 176) : -1;
    if (anchor < 0)
        return;
    delete_after(menu, anchor);
    if (!win_list)
        return;
    QMdiArea* mdi = qobject_cast<QMdiArea*>(win_mdi_handle());
    QMdiSubWindow* active = mdi ? mdi->activeSubWindow() : nullptr;
    bool first = true;
    int number = 0;
    for (WindowRecord* rec = win_list; rec && number < 501; rec = rec->next) {
        if (!is_listed(rec))
            continue;
        if (first)
            make_separator(menu);
        first = false;
        ++number;
        std::string caption;
        if (rec->type == kWinStatus) {
            irc_status_label(rec, caption, 4);
        } else {
            QWidget* frame = win_container(rec->hwnd.get());
            caption = (frame ? frame->windowTitle() : rec->hwnd->windowTitle()).toStdString();
            if (caption.empty())
                caption = rec->name;
            QString t = QString::fromUtf8(caption.c_str());
            if (t.size() > 60)
                caption = t.left(60).toStdString();
        }
        QString shown = QString::fromUtf8(caption.c_str());
        if (shown.size() > 256)
            shown = shown.left(256) + QStringLiteral("...");
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QString text = number <= 9   ? QStringLiteral("&") + QString::number(number) + QLatin1Char(' ') + shown
                       : number == 10 ? QStringLiteral("&0 ") + shown
                                      : QStringLiteral("   ") + shown;
        QAction* a = make_item(menu, 5999 + number, text);
        QWidget* frame = win_container(rec->hwnd.get());
        if (active && frame == active && !active->isMinimized()) {
            a->setCheckable(true);
            a->setChecked(true);
        }
    }
}

int menu_window_command(int id)
{
    if (id < 6000 || id > 6500)
        return 0;
    int position = 0;
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (!is_listed(rec))
            continue;
        if (position++ == id - 6000) {
            win_activate(rec->hwnd.get(), kActivateRestore);
            return 1;
        }
    }
    return 1;
}

// ---- Help files ----

void menu_build_help_menu(QMenu* menu)
{
    if (!menu || position_of(menu, 190) < 0 || position_of(menu, 194) < 0)
        return;
    for (QAction* a : menu->actions())
        if (a->property(kDynamic).toBool())
            remove_action(menu, a);
    g_help_files.clear();

    static const char* const kPatterns[3][2] = {{".hlp", ".chm"}, {".htm", ".html"}, {".txt", nullptr}};
    static const int kTitles[3] = {3842, 3859, 3843};
    std::vector<std::string> folders{settings_dir};
    const std::string own = program_folder();
    if (!own.empty() && own != settings_dir)
        folders.push_back(own);

    QAction* anchor = menu->actions().value(position_of(menu, 194));
    bool inserted = false;
    for (int kind = 0; kind < 3; ++kind) {
        std::vector<std::string> names;
        for (const std::string& folder : folders) {
            std::vector<std::string> found;
            if (!file_list_dir(folder, found))
                continue;
            for (const std::string& n : found) {
                bool match = false;
                for (const char* ext : kPatterns[kind])
                    match = match || (ext && ends_with_nocase(n, ext) && n.size() > std::char_traits<char>::length(ext));
                if (match && file_exists(folder + n, 1))
                    names.push_back(n);
            }
        }
        std::stable_sort(names.begin(), names.end(),
                         [](const std::string& a, const std::string& b) { return text_compare_nocase(a, b) < 0; });
        QMenu* sub = nullptr;
        std::string last;
        for (const std::string& n : names) {
            if (sub && text_equal_nocase(n, last))
                continue;  // the same name in both folders
            if (5000 + static_cast<int>(g_help_files.size()) > 5500)
                break;
            if (!sub) {
                sub = new QMenu(numbered(kTitles[kind]), menu);
                sub->menuAction()->setProperty(kDynamic, true);
                menu->insertMenu(anchor, sub);
                inserted = true;
            }
            make_item(sub, 5000 + static_cast<int>(g_help_files.size()), plain(n));
            g_help_files.push_back(n);
            last = n;
        }
    }
    if (inserted)
        make_separator(menu, anchor);
}

int menu_help_file_command(int id)
{
    if (id < 5000 || id > 5500)
        return 0;
    const std::size_t index = static_cast<std::size_t>(id - 5000);
    if (index < g_help_files.size())
        help_file_open(g_help_files[index], std::string());
    return 1;
}

int help_file_open(const std::string& name, const std::string& topic)
{
    // A bare name of one of the two folders: a path would reach elsewhere.
    if (name.empty() || name.find_first_of("*/\\") != std::string::npos || name == "." || name == "..")
        return 0;
    std::string path = name;
    file_abs_settings_dir(path);
    if (!file_exists(path, 1)) {
        // Only a bare name is looked for beside the program.
        std::string other = name;
        file_abs_exe_dir(other);
        if (!file_exists(other, 1))
            return 0;
        path = other;
    }
    if (!ends_with_nocase(path, ".chm") && !ends_with_nocase(path, ".hlp"))
        return shell_show_file(path, 2);
    return help_open(path, topic, 0);
}

// ---- Folders ----

int folder_open(Connection* /*conn*/, const std::string& path)
{
    std::string folder;
    if (path.empty()) {
        dcc_folder_for_file(std::string(), folder, 0, nullptr);
    } else {
        const std::size_t slash = path.rfind('/');
        folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }
    if (folder.empty() || !file_exists(folder, 2))
        folder = settings_dir;
    if (!shell_show_file(folder, 2)) {
        beep_error(0);
        frame_cannot_open(folder, 1);
        return 0;
    }
    return 1;
}

int menu_list_command(int id)
{
    return menu_recent_servers_command(id) || menu_channels_command(id) || menu_window_command(id) ||
           menu_help_file_command(id);
}

// ---- Recent script files ----

namespace {

std::vector<RecentScript> g_recent_scripts;
constexpr std::size_t kRecentPerGroup = 10;

// The group of a remote file: 2 scripts, 3 the users and variables files.
int remote_tag(const ScriptFile* f)
{
    return f->kind == kRemoteScript ? 2 : 3;
}

bool recent_live(const RecentScript& r)
{
    switch (r.tag) {
    case 0:
        return alias_file_is_loaded(static_cast<const AliasFile*>(r.record)) != 0;
    case 1:
        return popup_file_is_loaded(static_cast<const PopupFile*>(r.record)) != 0;
    case 2:
    case 3: {
        const auto* f = static_cast<const ScriptFile*>(r.record);
        return remote_file_is_loaded(f) && remote_tag(f) == r.tag;
    }
    default:
        return false;
    }
}

// A live record's sort key: its group, its popup kind, its path.
std::string recent_path(const RecentScript& r, int* popup_kind)
{
    *popup_kind = 0;
    if (r.tag == 0)
        return static_cast<const AliasFile*>(r.record)->path;
    if (r.tag == 1) {
        const auto* f = static_cast<const PopupFile*>(r.record);
        *popup_kind = f->kind;
        return f->path;
    }
    return static_cast<const ScriptFile*>(r.record)->path;
}

std::string file_part(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool in_recent(const void* record)
{
    return std::any_of(g_recent_scripts.begin(), g_recent_scripts.end(),
                       [record](const RecentScript& r) { return r.record == record; });
}

}  // namespace

void scripts_recent_build()
{
    std::vector<RecentScript> found;
    std::size_t n = 0;
    for (AliasFile* f = alias_files_head; f && n < kRecentPerGroup; f = f->next, ++n)
        found.push_back({f, 0});
    n = 0;
    for (PopupFile* f = popup_files_head; f && n < kRecentPerGroup; f = f->next)
        if (f->kind >= kPopupFileStatus && f->kind <= kPopupFileMenubar) {
            found.push_back({f, 1});
            ++n;
        }
    n = 0;
    for (ScriptFile* f = remote_list; f && n < kRecentPerGroup; f = f->next)
        if (f->kind == kRemoteScript) {
            found.push_back({f, 2});
            ++n;
        }
    for (ScriptFile* f = remote_list; f; f = f->next)
        if (f->kind != kRemoteScript)
            found.push_back({f, 3});
    // Files the list holds already keep their place in it.
    for (const RecentScript& r : found)
        if (!in_recent(r.record))
            g_recent_scripts.insert(g_recent_scripts.begin(), r);
    std::stable_sort(g_recent_scripts.begin(), g_recent_scripts.end(),
                     [](const RecentScript& a, const RecentScript& b) {
                         const bool la = recent_live(a), lb = recent_live(b);
                         if (la != lb)
                             return la;
                         if (!la)
                             return false;
                         if (a.tag != b.tag)
                             return a.tag < b.tag;
                         int ka = 0, kb = 0;
                         const std::string pa = recent_path(a, &ka), pb = recent_path(b, &kb);
                         if (ka != kb)
                             return ka < kb;
                         return sort_compare_nocase(pa, pb) < 0;
                     });
}

void scripts_recent_tidy()
{
    if (g_recent_scripts.empty())
        scripts_recent_build();
    std::vector<RecentScript> kept;
    std::size_t per_tag[4] = {0, 0, 0, 0};
    for (const RecentScript& r : g_recent_scripts) {
        if (!recent_live(r) || r.tag < 0 || r.tag > 3)
            continue;
        if (std::any_of(kept.begin(), kept.end(), [&r](const RecentScript& k) { return k.record == r.record; }))
            continue;
        if (per_tag[r.tag] >= kRecentPerGroup)
            continue;
        ++per_tag[r.tag];
        kept.push_back(r);
    }
    g_recent_scripts.swap(kept);
}

namespace {

// The item captions of the script files: alias files and scripts by file
// name, popup files by their kind, the users and variables files by name.
QString script_caption(const RecentScript& r)
{
    if (r.tag == 1) {
        static const int texts[5] = {3865, 3866, 3867, 3868, 3838};
        const int kind = static_cast<const PopupFile*>(r.record)->kind;
        return numbered(kind >= 0 && kind <= 4 ? texts[kind] : 3838);
    }
    if (r.tag == 3)
        return numbered(static_cast<const ScriptFile*>(r.record)->kind == kRemoteUsers ? 3839 : 3840);
    int unused = 0;
    return plain(file_part(recent_path(r, &unused)));
}

// A script file chosen: it becomes its store's current file and the script
// editor opens on its view (0 aliases, 1 popups, 2 remote files).
void script_file_chosen(RecentScript chosen)
{
    if (!recent_live(chosen)) {
        beep_error(0);
        return;
    }
    int view = 0;
    if (chosen.tag == 0) {
        for (AliasFile* f = alias_files_head; f; f = f->next)
            f->current = f == chosen.record ? 1 : 0;
    } else if (chosen.tag == 1) {
        for (PopupFile* f = popup_files_head; f; f = f->next)
            f->current = f == chosen.record ? 1 : 0;
        view = 1;
    } else {
        for (ScriptFile* f = remote_list; f; f = f->next)
            f->selected = f == chosen.record ? 1 : 0;
        view = 2;
    }
    frame_on_command(frame_window.data(), static_cast<uintptr_t>(201 + view), 0);
}

QMenu* new_list_popup()
{
    auto* menu = new QMenu(frame_window.data());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

}  // namespace

QMenu* menu_build_scripts_popup()
{
    scripts_recent_build();
    scripts_recent_tidy();
    if (g_recent_scripts.empty()) {
        beep_error(0);
        return nullptr;
    }
    QMenu* menu = new_list_popup();
    menu->setObjectName(QStringLiteral("scriptFilesPopup"));
    int id = 7000;
    for (int tag = 0; tag <= 3; ++tag) {
        bool first = true;
        for (const RecentScript& r : g_recent_scripts) {
            if (r.tag != tag)
                continue;
            if (first && !menu->isEmpty())
                menu->addSeparator();
            first = false;
            QAction* a = menu->addAction(script_caption(r));
            a->setData(id++);
            QObject::connect(a, &QAction::triggered, menu, [r] {
                QMetaObject::invokeMethod(qApp, [r] { script_file_chosen(r); }, Qt::QueuedConnection);
            });
        }
    }
    return menu;
}

// ---- Recent folders ----

namespace {

std::vector<RecentFolder> g_recent_folders;
constexpr std::size_t kRecentFolders = 20;

// The folder part of a path, ending in "/"; empty when there is none.
std::string folder_part(std::string path)
{
    file_fix_slashes(path);
    if (!path.empty() && path.back() != '/') {
        const std::size_t slash = path.rfind('/');
        path = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    }
    return path;
}

bool has_folder(const std::string& folder)
{
    return std::any_of(g_recent_folders.begin(), g_recent_folders.end(),
                       [&folder](const RecentFolder& f) { return text_equal_nocase(f.path, folder); });
}

}  // namespace

const std::vector<RecentFolder>& folders_recent()
{
    return g_recent_folders;
}

void folders_recent_build()
{
    std::erase_if(g_recent_folders, [](const RecentFolder& f) { return f.tag == 0; });
    std::vector<std::string> folders;
    std::string def;
    dcc_folder_for_file(std::string(), def, 2, nullptr);
    folders.push_back(def);
    for (const std::string& rule : file_type_rules_read())
        if (!dcc_ext_rule_part(rule, 1).empty())
            folders.push_back(file_type_rule_folder(rule));
    for (const std::string& f : folders)
        if (!f.empty() && !has_folder(f))
            g_recent_folders.push_back({f, 0});
}

void folders_recent_tidy()
{
    if (g_recent_folders.empty())
        folders_recent_build();
    std::vector<RecentFolder> kept;
    for (const RecentFolder& f : g_recent_folders) {
        if (std::any_of(kept.begin(), kept.end(),
                        [&f](const RecentFolder& k) { return text_equal_nocase(k.path, f.path); }))
            continue;
        if (!file_exists(f.path, 2))
            continue;
        kept.push_back(f);
    }
    if (kept.size() > kRecentFolders)
        kept.resize(kRecentFolders);
    g_recent_folders.swap(kept);
}

void folders_recent_add(const std::string& path)
{
    const std::string folder = folder_part(path);
    if (folder.empty())
        return;
    std::erase_if(g_recent_folders,
                  [&folder](const RecentFolder& f) { return text_equal_nocase(f.path, folder); });
    g_recent_folders.insert(g_recent_folders.begin(), RecentFolder{folder, 1});
    folders_recent_tidy();
}

QMenu* menu_build_folders_popup()
{
    folders_recent_build();
    folders_recent_tidy();
    if (g_recent_folders.empty()) {
        beep_error(0);
        return nullptr;
    }
    QMenu* menu = new_list_popup();
    menu->setObjectName(QStringLiteral("foldersPopup"));
    int id = 7000;
    for (const RecentFolder& f : g_recent_folders) {
        QAction* a = menu->addAction(plain(f.path));
        a->setData(id++);
        const std::string path = f.path;
        QObject::connect(a, &QAction::triggered, menu, [path] {
            QMetaObject::invokeMethod(qApp, [path] { folder_open(conn_current(), path); },
                                      Qt::QueuedConnection);
        });
    }
    return menu;
}

// ---- The main menu's lists shown from the toolbar ----

QMenu* menu_build_servers_popup()
{
    QMenu* file = frame_menu_find_item(101, nullptr);
    if (!file)
        return nullptr;
    menu_build_recent_servers_menu(file);
    return first_submenu(file);
}

QMenu* menu_channels_menu()
{
    return frame_menu_find_item(142, nullptr);
}
