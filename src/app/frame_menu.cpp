// The frame's menu bar, its system menu and the frame commands.
#include "app/finger_dialog.h"
#include "app/frame_menu.h"

#include "app/frame_window.h"
#include "app/popup_menus.h"

#include "app/child_window.h"
#include "app/font_dialog.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_layout.h"
#include "app/frame_proc.h"
#include "app/mdi_arrange.h"
#include "app/menu_lists.h"
#include "app/popup_commands.h"
#include "app/popup_menubar.h"
#include "app/startup.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/files.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "display/colours_dialog.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "irc/link/connect.h"
#include "irc/services/finger.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QShortcut>

#include <iterator>
#include <map>
#include <vector>

int frame_favourites_in_main_menu = 1;
int frame_on_top = 0;

namespace {

const FrameMenuEntry kMenu80[] = {
#include "resources/frame_menu.inc"
};

// The frame menu commands other parts serve, and what each handler gets.
const FrameMenuCommand kMenuCommands[] = {
    {104, "the options dialog, page 8 (lparam as given)"},
    {130, "the options dialog, page 6 (lparam: its part, 2 from this menu, 0 from a window's menu)"},
    {131, "the notify list: closes it when it is the active window, else opens it"},
    {132, "the URL list: closes it when it is the active window, else opens it"},
    {141, "the channels folder: add the active channel"},
    {142, "the channels folder (lparam as given)"},
    {150, "the channels list's options (lparam as given)"},
    {151, "the DCC send dialog for the active connection"},
    {152, "the DCC chat dialog"},
    {153, "the options dialog, page 5 (lparam as given)"},
    {155, "the log files dialog"},
    {156, "the address book (lparam as given)"},
    {157, "the online timer dialog"},
    {159, "the options dialog at the page last shown (lparam as given)"},
    {174, "the window settings dialog"},
    {175, "the window order dialog"},
    {192, "the stored web page 2"},
    {193, "the stored web page 3"},
    {194, "the update dialog (lparam: 1 when asked from outside the menu)"},
    {195, "the about box (lparam as given)"},
    {200, "the script editor at its first view"},
    {201, "the script editor at its first view"},
    {202, "the script editor at its second view"},
    {203, "the script editor at its third view"},
};

// The handlers registered for them.
std::map<int, FrameMenuCommandFn> g_menu_commands;

const FrameMenuCommand* frame_menu_command_row(int id)
{
    for (const FrameMenuCommand& c : kMenuCommands)
        if (c.id == id)
            return &c;
    return nullptr;
}

// The language module's texts of menu 80 (id -> text), tried first.
std::map<int, std::string> g_lang_menu_texts;

QPointer<QMenu> g_system_menu;
std::vector<QPointer<QMenu>> g_bar_menus;  // the popups of the menu bar
QPointer<QShortcut> g_system_menu_key;
int g_building = 0;

QMainWindow* frame()
{
    return qobject_cast<QMainWindow*>(frame_window.data());
}

QString text_of(const FrameMenuEntry& e, int index)
{
    // Language texts are keyed by id; a submenu's by 10000 + its position.
    const int key = e.id > 0 ? e.id : 10000 + index;
    auto it = g_lang_menu_texts.find(key);
    return QString::fromUtf8(it != g_lang_menu_texts.end() ? it->second.c_str() : e.text);
}

QAction* add_item(QMenu* menu, int id, const QString& text)
{
    QAction* a = menu->addAction(text);
    a->setData(id);
    QObject::connect(a, &QAction::triggered, menu, [id] {
        frame_on_command(frame_window.data(), static_cast<uintptr_t>(id), 0);
    });
    return a;
}

void find_in(QMenu* menu, int id, QMenu** found, int* position)
{
    if (!menu || *found)
        return;
    const QList<QAction*> actions = menu->actions();
    for (int i = 0; i < actions.size() && !*found; ++i) {
        QAction* a = actions[i];
        if (a->menu())
            find_in(a->menu(), id, found, position);
        else if (!a->isSeparator() && a->data().toInt() == id) {
            *found = menu;
            *position = i;
        }
    }
}

QAction* find_action(QMenu* menu, int id)
{
    int pos = -1;
    QMenu* holder = nullptr;
    find_in(menu, id, &holder, &pos);
    return holder ? holder->actions().value(pos) : nullptr;
}

void delete_item(int id)
{
    int pos = -1;
    if (QMenu* m = frame_menu_find_item(id, &pos))
        if (QAction* a = m->actions().value(pos)) {
            m->removeAction(a);
            a->deleteLater();
        }
}

void set_checked(int id, bool on)
{
    if (QAction* a = frame_menu_action(id)) {
        a->setCheckable(true);
        a->setChecked(on);
    }
}

// Builds the popups of menu 80; empty when the resource is empty.
std::vector<QMenu*> load_menu80(QWidget* parent)
{
    std::vector<QMenu*> tops;
    QMenu* level[3] = {nullptr, nullptr, nullptr};
    int n = 0;
    const FrameMenuEntry* entries = frame_menu_resource(&n);
    for (int i = 0; i < n; ++i) {
        const FrameMenuEntry& e = entries[i];
        if (e.depth == 0) {
            auto* m = new QMenu(text_of(e, i), parent);
            QObject::connect(m, &QMenu::aboutToShow, m, [m] { frame_menu_prepare(m); });
            tops.push_back(m);
            level[0] = m;
            continue;
        }
        QMenu* parent_menu = level[e.depth - 1];
        if (!parent_menu)
            continue;
        if (e.id == -1)
            parent_menu->addSeparator();
        else if (e.id == 0) {
            QMenu* sub = parent_menu->addMenu(text_of(e, i));
            QObject::connect(sub, &QMenu::aboutToShow, sub, [sub] { frame_menu_prepare(sub); });
            level[e.depth] = sub;
        } else {
            add_item(parent_menu, e.id, text_of(e, i));
        }
    }
    return tops;
}

void system_menu_reset()
{
    QMainWindow* f = frame();
    if (!f)
        return;
    if (!g_system_menu) {
        g_system_menu = new QMenu(f);
        g_system_menu->setObjectName(QStringLiteral("frameSystemMenu"));
        g_system_menu_key = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), f);
        g_system_menu_key->setContext(Qt::WindowShortcut);
        QObject::connect(g_system_menu_key, &QShortcut::activated, f, [] {
            if (QMainWindow* fr = frame(); fr && g_system_menu)
                g_system_menu->popup(fr->mapToGlobal(QPoint(0, 0)));
        });
    }
    g_system_menu->clear();
    QAction* desktop = add_item(g_system_menu, 265, QString::fromUtf8(text_load_string(6132)));
    desktop->setCheckable(true);
    desktop->setChecked(true);
    desktop->setEnabled(false);
    QAction* top = add_item(g_system_menu, 261, QString::fromUtf8(text_load_string(6131)));
    top->setCheckable(true);
    top->setChecked(frame_on_top != 0);
    g_system_menu->addSeparator();
    QMenu* pos = g_system_menu->addMenu(QString::fromUtf8(text_load_string(6104)));
    add_item(pos, 256, QString::fromUtf8(text_load_string(6101)));
    add_item(pos, 257, QString::fromUtf8(text_load_string(6102)));
    add_item(pos, 250, QString::fromUtf8(text_load_string(6103)));
    g_system_menu->addSeparator();
}

void save_options()
{
    ini_save_options();
}

void toggle_option(OptionId id)
{
    opt_set(id, opt(id) ? 0 : 1);
}

// "Once": a dialog that is already open beeps instead.
void once(int opened)
{
    if (!opened)
        beep_error(0);
}

QMdiSubWindow* active_child()
{
    QMdiArea* mdi = mdi_client();
    return mdi ? mdi->activeSubWindow() : nullptr;
}

QWidget* active_window()
{
    return win_active_if_shown();
}

// A command whose window or dialog is not built yet: the error sound, and a
// line in the active window (else the status window) that says so.
void not_built_yet(int id)
{
    beep_error(0);
    QString what;
    if (QAction* a = frame_menu_action(id)) {
        what = a->text();
        what.remove(QLatin1Char('&'));
        const int tab = what.indexOf(QLatin1Char('\t'));
        if (tab >= 0)
            what.truncate(tab);
        what = what.trimmed();
    }
    if (what.isEmpty())
        what = QString::number(id);
    frame_not_available(what.toStdString());
}

// A command of the registry: its handler, else the word that it is not
// there yet.
void run_registered(int id, intptr_t lparam)
{
    if (FrameMenuCommandFn fn = frame_menu_command(id))
        once(fn(id, lparam));
    else
        not_built_yet(id);
}

// Help (190, 191): a help document that is there but that nothing on the
// system opens says so.
void help_command(int context)
{
    if (!help_open(std::string(), std::string(), context) && file_exists(help_file_path(std::string()), 1))
        frame_cannot_open(help_file_path(std::string()), 0);
}

void set_on_top(int on)
{
    QMainWindow* f = frame();
    frame_on_top = on ? 1 : 0;
    if (f) {
        const bool shown = f->isVisible();
        f->setWindowFlag(Qt::WindowStaysOnTopHint, frame_on_top != 0);
        if (shown)
            f->show();
    }
    if (QAction* a = g_system_menu ? find_action(g_system_menu, 261) : nullptr)
        a->setChecked(frame_on_top != 0);
}

// WM_APP+84: connect or disconnect the connection (lparam, else the current one).
intptr_t on_connect_toggle(uintptr_t, intptr_t lparam)
{
    Connection* conn = lparam ? reinterpret_cast<Connection*>(lparam) : conn_current();
    if (!conn_is_live(conn))
        conn = conn_current();
    if (!conn_is_live(conn))
        return 0;
    QWidget* status = conn->status_window.data();
    // A registered link says goodbye and the server closes it. A link still
    // being made, one the server has not yet taken in, or one waiting for
    // its next attempt is closed here and now: its retries end with it.
    if (conn_is_connected(conn) && conn->registered)
        script_exec_line(status, "/quit", nullptr, 0, nullptr, nullptr, conn);
    else if (conn_is_connected(conn) || conn_is_connecting(conn))
        conn_toggle(conn);
    else
        script_exec_line(status, "/server", nullptr, 0, nullptr, nullptr, conn);
    menu_update_connect_items();
    frame_connect_toggled.fire();
    return 1;
}

// Menu command 142 and the channels menu's last item: the channels folder.
intptr_t on_channels_folder(uintptr_t, intptr_t lparam)
{
    run_registered(142, lparam);
    return 1;
}

}  // namespace

void frame_not_available(const std::string& what)
{
    frame_say("* " + what + ": not available yet");
}

const FrameMenuEntry* frame_menu_resource(int* count)
{
    if (count)
        *count = static_cast<int>(sizeof(kMenu80) / sizeof(kMenu80[0]));
    return kMenu80;
}

void frame_menu_set_language_texts(std::map<int, std::string> texts)
{
    g_lang_menu_texts = std::move(texts);
}

QMenu* frame_system_menu()
{
    return g_system_menu.data();
}

QMenu* frame_menu()
{
    QMainWindow* f = frame();
    if (f && opt(OPT_MENUBAR_SHOWN) && !g_bar_menus.empty())
        return nullptr;  // the bar: searched through its popups
    return g_system_menu.data();
}

QMenu* frame_menu_find_item(int id, int* position)
{
    QMenu* found = nullptr;
    int pos = -1;
    for (const QPointer<QMenu>& m : g_bar_menus)
        if (!found)
            find_in(m.data(), id, &found, &pos);
    if (!found)
        find_in(g_system_menu.data(), id, &found, &pos);
    if (position)
        *position = found ? pos : -1;
    return found;
}

QAction* frame_menu_action(int id)
{
    int pos = -1;
    QMenu* m = frame_menu_find_item(id, &pos);
    return m ? m->actions().value(pos) : nullptr;
}

int frame_menu_build()
{
    QMainWindow* f = frame();
    if (!f || g_building)
        return 0;
    g_building = 1;
    menu_popup_reset();

    // A maximised child is restored while the menu changes.
    QMdiSubWindow* maximised = nullptr;
    if (QMdiSubWindow* top = active_child(); top && top->isMaximized())
        maximised = top;

    system_menu_reset();
    std::vector<QMenu*> tops = load_menu80(f);
    if (tops.empty()) {
        g_building = 0;
        return 0;
    }

    // The previous popups go.
    for (QPointer<QMenu>& m : g_bar_menus)
        if (m)
            m->deleteLater();
    g_bar_menus.clear();
    QMenuBar* bar = f->menuBar();
    bar->clear();
    for (QMenu* m : tops)
        g_bar_menus.emplace_back(m);

    const int compact = main_settings.compact_mode;
    if (opt(OPT_MENUBAR_SHOWN)) {
        for (QMenu* m : tops)
            bar->addMenu(m);
        bar->show();
    } else {
        bar->hide();
        for (QMenu* m : tops)
            g_system_menu->addMenu(m);
        if (!tops.empty())
            g_system_menu->addSeparator();
    }

    set_checked(110, opt(OPT_MENUBAR_SHOWN) != 0);
    set_checked(111, opt(OPT_TOOLBAR_SHOWN) != 0);
    set_checked(112, opt(OPT_SWITCHBAR_SHOWN) != 0);
    set_checked(210, opt(OPT_TREEBAR_SHOWN) != 0);
    set_checked(120, frame_favourites_in_main_menu != 0);
    set_checked(121, frame_favourites_in_main_menu == 0);
    set_checked(122, compact == 0);
    set_checked(123, compact != 0);

    popup_menubar_rebuild(0, 0);

    // Favourites kept out of the main menu: the channels submenu moves to
    // the top of the tools menu.
    if (!frame_favourites_in_main_menu) {
        int pos = -1;
        QMenu* channels = frame_menu_find_item(142, &pos);
        QMenu* tools = frame_menu_find_item(159, nullptr);
        if (channels && tools && channels != tools) {
            if (QAction* entry = channels->menuAction()) {
                for (QPointer<QMenu>& m : g_bar_menus)
                    if (m)
                        m->removeAction(entry);
                bar->removeAction(entry);
                if (g_system_menu)
                    g_system_menu->removeAction(entry);
                tools->insertAction(tools->actions().value(0), entry);
            }
        }
    }

    if (compact) {
        delete_item(210);
        for (int id = 170; id <= 174; ++id)
            delete_item(id);
        if (QMenu* m = frame_menu_find_item(176, nullptr))
            if (QAction* first = m->actions().value(0); first && first->isSeparator())
                m->removeAction(first);
    }
    if ((opt(OPT_SWITCHBAR_SHOWN) || opt(OPT_TREEBAR_SHOWN)) && opt(OPT_HIDE_MINIMISED_DESKTOP_WINDOWS))
        delete_item(173);

    bar->update();
    if (maximised)
        maximised->showMaximized();
    g_building = 0;
    return 1;
}

void frame_menu_prepare(QMenu* menu)
{
    if (!menu)
        return;
    auto holds = [menu](int id) { return find_action(menu, id) != nullptr; };
    if (holds(101))
        menu_build_recent_servers_menu(menu);
    if (holds(142))
        menu_build_channels_menu(menu);
    if (holds(176))
        menu_build_window_list(menu);
    if (holds(190))
        menu_build_help_menu(menu);
}

void frame_menus_destroy()
{
    for (QPointer<QMenu>& m : g_bar_menus)
        if (m)
            delete m.data();
    g_bar_menus.clear();
    if (g_system_menu)
        delete g_system_menu.data();
    if (g_system_menu_key)
        delete g_system_menu_key.data();
}

namespace {

// $compact: "1" in compact mode, else "0".
int id_compact(IdentCall& call)
{
    *call.value = main_settings.compact_mode ? "1" : "0";
    return 2;
}

// $appstate: "hidden" while the frame is not shown, else "minimized",
// "maximized" or "normal".
int id_appstate(IdentCall& call)
{
    QMainWindow* f = frame();
    if (!f || !f->isVisible())
        *call.value = "hidden";
    else if (f->isMinimized())
        *call.value = "minimized";
    else if (f->isMaximized())
        *call.value = "maximized";
    else
        *call.value = "normal";
    return 2;
}

}  // namespace

void frame_keep_topmost()
{
    QMainWindow* f = frame();
    if (frame_on_top && f && f->isVisible())
        f->raise();
}

Signal<void(OptionId, bool)> frame_bar_toggled;
Signal<void()> frame_connect_toggled;

void frame_menu_install()
{
    frame_set_handler(WM_APP_CONNECT_TOGGLE, on_connect_toggle);
    frame_set_handler(WM_APP_CHANNELS_FOLDER, on_channels_folder);
    ident_register("compact", id_compact);
    ident_register("appstate", id_appstate);
}

int frame_on_command(QWidget* frame_widget, uintptr_t wparam, intptr_t lparam)
{
    const int id = static_cast<int>(wparam & 0xFFFF);
    QMainWindow* f = qobject_cast<QMainWindow*>(frame_widget ? frame_widget : frame_window.data());
    switch (id) {
    case 101:
    case 102:
        post_app_message(WM_APP_CONNECT_TOGGLE, 0, 0);
        return 1;
    case 103:
        if (!conn_new_with_status(conn_current()))
            beep_error(0);
        return 1;
    case 105:
        if (f)
            QMetaObject::invokeMethod(f, "close", Qt::QueuedConnection);
        return 1;
    case 110:
        toggle_option(OPT_MENUBAR_SHOWN);
        frame_menu_build();
        save_options();
        return 1;
    case 111:
        toggle_option(OPT_TOOLBAR_SHOWN);
        frame_menu_build();
        frame_layout();
        save_options();
        return 1;
    case 112:
        toggle_option(OPT_SWITCHBAR_SHOWN);
        frame_menu_build();
        frame_bar_toggled.fire(OPT_SWITCHBAR_SHOWN, false);
        frame_layout();
        frame_bar_toggled.fire(OPT_SWITCHBAR_SHOWN, true);
        mdi_sync_icons();
        mdi_arrange_icons();
        save_options();
        return 1;
    case 120:
    case 121:
        if (frame_favourites_in_main_menu != (id == 120 ? 1 : 0)) {
            frame_favourites_in_main_menu = id == 120 ? 1 : 0;
            frame_menu_build();
            frame_mode_save_line();
        }
        return 1;
    case 122:
        frame_set_mode(0);
        return 1;
    case 123:
        frame_set_mode(1);
        return 1;
    case 130:
        run_registered(id, 2);
        return 1;
    case 133:
        once(color_dialog_open_from_frame());
        return 1;
    case 134:
        once(font_choose_for_window(active_window()));
        return 1;
    case 142:
        post_app_message(WM_APP_CHANNELS_FOLDER, 0, lparam);
        return 1;
    case 154:
        folder_open(conn_current(), std::string());
        return 1;
    case 158:
        finger_request(lparam);
        return 1;
    case 170:
        mdi_tile(static_cast<int>(lparam & 0xFFFF));
        return 1;
    case 171:
        mdi_tile(static_cast<int>(lparam & 0xFFFF) | 0x10000);
        return 1;
    case 172:
        mdi_cascade(static_cast<int>(lparam));
        return 1;
    case 173:
        mdi_arrange_icons();
        return 1;
    case 176:
        if (QMdiSubWindow* sub = active_child())
            sub->close();
        return 1;
    case 177:
        if (QMdiSubWindow* sub = active_child()) {
            if (sub->isMaximized())
                sub->showNormal();
            else
                sub->showMaximized();
        }
        return 1;
    case 190:
        help_command(510);
        return 1;
    case 191:
        help_command(0);
        return 1;
    case 194:
        run_registered(id, lparam ? 1 : 0);
        return 1;
    case 210:
        if (!main_settings.compact_mode)
            toggle_option(OPT_TREEBAR_SHOWN);
        frame_menu_build();
        frame_bar_toggled.fire(OPT_TREEBAR_SHOWN, false);
        frame_layout();
        frame_bar_toggled.fire(OPT_TREEBAR_SHOWN, true);
        mdi_sync_icons();
        mdi_arrange_icons();
        save_options();
        return 1;
    // The frame's system menu.
    case 261:
        set_on_top(!frame_on_top);
        return 1;
    case 256:
        frame_position_reset();
        return 1;
    case 257:
        ini_save_main_window_pos();
        return 1;
    case 250:
        frame_position_clear();
        return 1;
    default:
        break;
    }
    if (frame_menu_command_row(id)) {
        run_registered(id, lparam);
        return 1;
    }
    if (menu_popup_command(id))
        return 1;
    return menu_list_command(id) ? 1 : 0;
}

const FrameMenuCommand* frame_menu_commands(int* count)
{
    if (count)
        *count = static_cast<int>(std::size(kMenuCommands));
    return kMenuCommands;
}

int frame_menu_command_register(int id, FrameMenuCommandFn fn)
{
    if (!frame_menu_command_row(id))
        return 0;
    if (fn)
        g_menu_commands[id] = fn;
    else
        g_menu_commands.erase(id);
    return 1;
}

FrameMenuCommandFn frame_menu_command(int id)
{
    auto it = g_menu_commands.find(id);
    return it != g_menu_commands.end() ? it->second : nullptr;
}
