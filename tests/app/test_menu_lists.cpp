// The main menu's lists, opened from the menu bar with the mouse: recent
// channels and the channels folder, the open windows, the help files, the
// recent servers and the Connect/Disconnect items.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QtTest/QTest>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/mdi_arrange.h"
#include "app/menu_lists.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "bars/toolbar.h"
#include "bars/toolbar_buttons.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/numbered_texts.h"
#include "core/file_type_rules.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/net_settings.h"
#include "irc/lists/servers.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/exec/script_hooks.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

std::vector<std::string> opened_paths;

int record_open(const std::string& path)
{
    opened_paths.push_back(path);
    return 1;
}

std::string plain_text(const QAction* a)
{
    return a->text().toStdString();
}

// Runs the event loop until `done` or the time is up.
bool pump_until(const std::function<bool()>& done, int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

bool port_accepts(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

int free_port()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

// A private IRC server on 127.0.0.1, stopped when the object goes.
class LocalIrcServer {
public:
    ~LocalIrcServer() { stop(); }
    bool start()
    {
        if (::access("/usr/sbin/ngircd", X_OK) != 0 || !dir.made())
            return false;
        for (int attempt = 0; attempt < 3; ++attempt) {
            port = free_port();
            spit(dir.path + "motd", "menu test server\n");
            spit(dir.path + "ngircd.conf",
                 "[Global]\nName = irc.menu.test\nInfo = Kest menu tests\nAdminInfo1 = Kest\n"
                 "AdminInfo2 = 127.0.0.1\nAdminEMail = tests@localhost\nListen = 127.0.0.1\nPorts = " +
                     std::to_string(port) + "\nMotdFile = " + dir.path + "motd\nPidFile = " + dir.path +
                     "ngircd.pid\n[Limits]\nMaxConnectionsIP = 0\nMaxNickLength = 30\n[Options]\nPAM = no\n"
                     "Ident = no\nDNS = no\nRequireAuthPing = no\nSyslogFacility = \n");
            // Started by root, the server drops to "nobody", which must
            // still reach its folder.
            if (::geteuid() == 0 && ::chown(dir.path.c_str(), 65534, 65534) != 0)
                ::chmod(dir.path.c_str(), 0777);
            const std::string conf = dir.path + "ngircd.conf";
            pid = ::fork();
            if (pid == 0) {
                const std::string log = dir.path + "ngircd.log";
                if (FILE* f = std::fopen(log.c_str(), "w")) {
                    ::dup2(fileno(f), 1);
                    ::dup2(fileno(f), 2);
                }
                ::execl("/usr/sbin/ngircd", "ngircd", "--nodaemon", "--config", conf.c_str(),
                        static_cast<char*>(nullptr));
                ::_exit(127);
            }
            if (pid < 0)
                return false;
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (std::chrono::steady_clock::now() < end) {
                if (port_accepts(port))
                    return true;
                if (::waitpid(pid, nullptr, WNOHANG) == pid) {
                    pid = -1;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            stop();
        }
        return false;
    }
    void stop()
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 100 && ::waitpid(pid, nullptr, WNOHANG) != pid; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (::kill(pid, 0) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    TempDir dir{"kest_menu_ircd"};
    int port = 0;
    pid_t pid = -1;
};

class MenuListsTest : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settings.dir.made());
        window_test_reset();
        app_install_subsystems();
        opened_paths.clear();
        desktop_open_hook = record_open;
        QMdiArea* mdi = window_test_mdi();
        saved_frame = frame_window;
        frame_window = qobject_cast<QMainWindow*>(mdi->window());
        ASSERT_TRUE(frame_window);
        frame_window->showNormal();
        frame_window->resize(1000, 700);
        main_settings.compact_mode = 0;
        main_settings.chanfolder_file = main_ini_path;
        frame_favourites_in_main_menu = 1;
        mdi_auto_arrange = 0;
        ASSERT_EQ(frame_menu_build(), 1);
        window_test_pump();
    }
    void TearDown() override
    {
        frame_menus_destroy();
        if (frame_window)
            frame_window->menuBar()->clear();
        window_test_reset();
        frame_window = saved_frame;
    }

    // A connection that counts as connected: its socket is the program end
    // of a real link.
    Connection* connected_conn()
    {
        Connection* conn = window_test_conn();
        EXPECT_TRUE(conn);
        if (!conn)
            return nullptr;
        wires.push_back(std::make_unique<TestWire>());
        EXPECT_TRUE(wires.back()->ok());
        wires.back()->attach(conn);
        conn->connected = 1;
        conn->registered = 1;
        return conn;
    }
    void disconnect(Connection* conn)
    {
        if (conn_is_live(conn)) {
            conn->socket = -1;
            conn->connected = 0;
            conn->registered = 0;
        }
    }

    // Opens a menu of the bar with a click on its title; the menu shown.
    QMenu* open_bar_menu(const char* title)
    {
        QMenuBar* bar = frame_window->menuBar();
        for (QAction* a : bar->actions()) {
            if (a->text() == QString::fromUtf8(title) && a->menu()) {
                QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(a).center());
                window_test_pump();
                return a->menu();
            }
        }
        ADD_FAILURE() << "no menu " << title;
        return nullptr;
    }
    void close_menus()
    {
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        window_test_pump();
    }
    // Opens a submenu of a shown menu (the mouse on its entry).
    QMenu* open_submenu(QMenu* menu, QMenu* sub)
    {
        QAction* entry = sub->menuAction();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        window_test_pump();
        if (!sub->isVisible())
            sub->popup(menu->mapToGlobal(menu->actionGeometry(entry).topRight()));
        window_test_pump();
        return sub;
    }
    // Clicks an item of a shown menu.
    void click(QMenu* menu, QAction* a)
    {
        ASSERT_TRUE(menu && a);
        ASSERT_TRUE(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        window_test_pump();
        close_menus();
    }
    static QMenu* submenu_titled(QMenu* menu, const QString& title)
    {
        for (QAction* a : menu->actions())
            if (a->menu() && a->text() == title)
                return a->menu();
        return nullptr;
    }
    static QAction* item_titled(QMenu* menu, const QString& text)
    {
        for (QAction* a : menu->actions())
            if (!a->isSeparator() && a->text() == text)
                return a;
        return nullptr;
    }
    static std::vector<std::string> texts(QMenu* menu)
    {
        std::vector<std::string> out;
        for (QAction* a : menu->actions())
            out.push_back(a->isSeparator() ? "-" : plain_text(a));
        return out;
    }

    TempSettingsDir settings{"kest_menulists"};
    QPointer<QMainWindow> saved_frame;
    // The lines the connections sent so far, each link's in order.
    std::vector<std::string> sent_lines()
    {
        std::vector<std::string> out;
        for (auto& w : wires)
            out.insert(out.end(), w->lines().begin(), w->lines().end());
        return out;
    }
    void clear_sent()
    {
        for (auto& w : wires)
            w->clear();
    }
    std::vector<std::unique_ptr<TestWire>> wires;
};

const QString kChannels = QString::fromUtf8("&Kanallar");
const QString kRecentChannels = QString::fromUtf8("&Son Kanallar");

// ---- Recent channels ----

TEST_F(MenuListsTest, RecentChannelItemsJoinTheStoredNameAndRunNothingElse)
{
    Connection* conn = connected_conn();
    ASSERT_TRUE(conn);
    ASSERT_EQ(conn_current(), conn);
    conn->recent_channels = {{"#a|/quit", 1}, {"#$me", 2}, {"#keyed secret", 3}, {"#x&y", 4}, {"#a", 5}};

    struct Case {
        const char* shown;  // the item as the menu shows it ("&" doubled)
        const char* wire;   // the one line the server gets
    } cases[] = {
        {"#a|/quit", "JOIN #a|/quit\n"},
        {"#$me", "JOIN #$me\n"},
        {"#keyed", "JOIN #keyed\n"},
        {"#x&&y", "JOIN #x&y\n"},
        {"#a", "JOIN #a\n"},
        {"#a|/quit", "JOIN #a|/quit\n"},  // the same item again
    };
    // The menu's order: a channel joined moves to the top.
    std::vector<std::string> order = {"#a|/quit", "#$me", "#keyed", "#x&&y", "#a"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        clear_sent();
        QMenu* menu = open_bar_menu("&Kanallar");
        ASSERT_TRUE(menu);
        QMenu* recent = open_submenu(menu, submenu_titled(menu, kRecentChannels));
        ASSERT_TRUE(recent);
        std::vector<std::string> shown = order;
        shown.insert(shown.end(), {"-", text_load_string(3869)});
        EXPECT_EQ(texts(recent), shown);
        click(recent, item_titled(recent, QString::fromUtf8(c.shown)));
        order.erase(std::find(order.begin(), order.end(), std::string(c.shown)));
        order.insert(order.begin(), c.shown);
        ASSERT_EQ(sent_lines(), std::vector<std::string>{c.wire});
        EXPECT_TRUE(conn_is_connected(conn));
    }
    // Nothing was evaluated into a window or a variable either.
    EXPECT_FALSE(win_find_channel("#a|", conn));
    disconnect(conn);
}

TEST_F(MenuListsTest, EmptyRecentListShowsNoneAndClearingEmptiesIt)
{
    Connection* conn = connected_conn();
    ASSERT_TRUE(conn);
    QMenu* menu = open_bar_menu("&Kanallar");
    QMenu* recent = open_submenu(menu, submenu_titled(menu, kRecentChannels));
    ASSERT_EQ(texts(recent), (std::vector<std::string>{text_load_string(3841), "-", text_load_string(3869)}));
    EXPECT_FALSE(recent->actions().at(0)->isEnabled());
    EXPECT_FALSE(recent->actions().at(2)->isEnabled());
    close_menus();

    conn->recent_channels = {{"#one", 1}, {"#two", 2}};
    menu = open_bar_menu("&Kanallar");
    recent = open_submenu(menu, submenu_titled(menu, kRecentChannels));
    QAction* clear = item_titled(recent, QString::fromUtf8(text_load_string(3869)));
    ASSERT_TRUE(clear);
    EXPECT_TRUE(clear->isEnabled());
    click(recent, clear);
    EXPECT_TRUE(conn->recent_channels.empty());
    EXPECT_TRUE(sent_lines().empty());
    disconnect(conn);
}

TEST_F(MenuListsTest, RecentChannelsNeedALiveConnectionToJoin)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    conn->recent_channels = {{"#idle", 1}};
    QMenu* menu = open_bar_menu("&Kanallar");
    QMenu* recent = open_submenu(menu, submenu_titled(menu, kRecentChannels));
    click(recent, item_titled(recent, "#idle"));
    EXPECT_TRUE(sent_lines().empty());
}

TEST_F(MenuListsTest, AServerSeesTheRecentChannelJoinedLiterallyAndTheLinkStays)
{
    LocalIrcServer server;
    if (!server.start())
        GTEST_SKIP() << "no IRC server to run";
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    conn->stored_identity[0] = "Kest User";
    conn->stored_identity[1] = "me@example.org";
    conn->stored_identity[2] = "menutester";
    conn->stored_identity[5] = "127.0.0.1";
    conn->stored_identity[9] = std::to_string(server.port);
    irc_request_host = "127.0.0.1:" + std::to_string(server.port);
    // Straight to the server, whatever firewall another test left set.
    struct ProxyBack {
        ProxySettings saved = proxy_settings;
        ~ProxyBack() { proxy_settings = saved; }
    } proxy_back;
    proxy_settings = ProxySettings();
    frame_proc_install();         // the frame's private messages carry the link's steps
    app_messages_set_frame(nullptr);  // delivered here, not to a frame an earlier test closed
    ASSERT_EQ(conn_begin_connect(conn), 1);
    ASSERT_TRUE(pump_until([conn] { return conn_is_connected(conn) && conn->registered; }, 30000))
        << "socket " << conn->socket << " connected " << conn->connected << " connecting " << conn->connecting
        << "\n" << [conn] {
               std::string t;
               if (WindowRecord* st = win_record_of(conn->status_window.data()))
                   for (const StringNode* n = st->lines; n; n = n->next)
                       t += n->text + "\n";
               return t;
           }() << slurp(server.dir.path + "ngircd.log");
    ASSERT_EQ(conn_current(), conn);
    conn->recent_channels = {{"#a|/quit", 1}, {"#$me", 2}};

    for (const char* name : {"#a|/quit", "#$me"}) {
        SCOPED_TRACE(name);
        QMenu* menu = open_bar_menu("&Kanallar");
        ASSERT_TRUE(menu);
        QMenu* recent = open_submenu(menu, submenu_titled(menu, kRecentChannels));
        click(recent, item_titled(recent, name));
        // The server answers the JOIN of exactly that name: the window opens.
        EXPECT_TRUE(pump_until([&] { return win_find_channel(name, conn) != nullptr; }, 30000));
    }
    // Nothing quit the link, and no channel of a cut or evaluated name came.
    pump_until([] { return false; }, 300);
    EXPECT_TRUE(conn_is_connected(conn));
    EXPECT_FALSE(win_find_channel("#a", conn));
    EXPECT_FALSE(win_find_channel("#menutester", conn));

    conn->quitting = 1;
    conn_kill_connect_timer(conn);
    conn->waiting_retry = 0;
    conn_close(std::string(), conn);
}

// ---- The channels folder ----

void write_folder(const std::vector<std::string>& entries)
{
    ini_write("chanfolder", nullptr, nullptr, main_ini_path);
    for (std::size_t i = 0; i < entries.size(); ++i)
        ini_write("chanfolder", ("n" + std::to_string(i)).c_str(), entries[i].c_str(), main_ini_path);
}

TEST_F(MenuListsTest, ChannelsFolderShowsTwentyPlacesThenMore)
{
    std::vector<std::string> entries;
    for (int i = 0; i < 25; ++i)
        entries.push_back("#f" + std::to_string(i) + ",,,,,,");
    write_folder(entries);
    for (int round = 0; round < 2; ++round) {  // opening twice builds the same menu
        SCOPED_TRACE(round);
        QMenu* menu = open_bar_menu("&Kanallar");
        ASSERT_TRUE(menu);
        std::vector<std::string> got = texts(menu);
        const int anchor = static_cast<int>(std::find(got.begin(), got.end(), "Kanalları &Düzenle...") - got.begin());
        ASSERT_LT(anchor, static_cast<int>(got.size()));
        std::vector<std::string> after(got.begin() + anchor + 1, got.end());
        std::vector<std::string> want{"-"};
        for (int i = 0; i < 20; ++i)
            want.push_back("#f" + std::to_string(i));
        want.push_back(text_load_string(3803));
        EXPECT_EQ(after, want);
        close_menus();
    }
}

TEST_F(MenuListsTest, ChannelsFolderGroupsEntriesAndJoinsTheChosenOne)
{
    Connection* conn = connected_conn();
    write_folder({
        "#top,,,,,,",
        "#g1,,,,,,Friends",
        ",,,,,,Friends",          // no channel: skipped
        "#g2,,,,,,Friends",
        "#w|/quit,,,,,,Work",
        "#$me,,,,,,Work",
        "#sp | /quit,,,,,,",      // a blank: no channel name at all
    });
    QMenu* menu = open_bar_menu("&Kanallar");
    ASSERT_TRUE(menu);
    QMenu* friends = submenu_titled(menu, "Friends");
    QMenu* work = submenu_titled(menu, "Work");
    ASSERT_TRUE(friends && work);
    EXPECT_EQ(texts(friends), (std::vector<std::string>{"#g1", "#g2"}));
    EXPECT_EQ(texts(work), (std::vector<std::string>{"#w|/quit", "#$me"}));
    EXPECT_TRUE(item_titled(menu, "#top"));
    EXPECT_TRUE(item_titled(menu, "#sp | /quit"));
    EXPECT_FALSE(item_titled(menu, QString::fromUtf8(text_load_string(3803))));
    open_submenu(menu, work);
    click(work, work->actions().value(0));
    EXPECT_EQ(sent_lines(), std::vector<std::string>{"JOIN #w|/quit\n"});

    clear_sent();
    menu = open_bar_menu("&Kanallar");
    work = submenu_titled(menu, "Work");
    open_submenu(menu, work);
    click(work, work->actions().value(1));
    EXPECT_EQ(sent_lines(), std::vector<std::string>{"JOIN #$me\n"});

    // The name with blanks joins nothing and runs nothing.
    clear_sent();
    menu = open_bar_menu("&Kanallar");
    click(menu, item_titled(menu, "#sp | /quit"));
    EXPECT_TRUE(sent_lines().empty());
    EXPECT_TRUE(conn_is_connected(conn));
    disconnect(conn);
}

// ---- The window list ----

TEST_F(MenuListsTest, WindowListNumbersTheFirstTenAndActivatesTheChosenWindow)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    std::vector<WindowRecord*> chans;
    for (int i = 1; i <= 11; ++i)
        chans.push_back(window_test_open("#w" + std::to_string(i), kWinChannel, 0, conn));
    window_test_pump();
    win_activate(chans[4]->hwnd.get(), 0);
    window_test_pump();

    std::vector<WindowRecord*> listed;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->hwnd.get())
            listed.push_back(r);
    ASSERT_EQ(listed.size(), 12u);  // the status window and eleven channels

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        QMenu* menu = open_bar_menu("&Pencere");
        ASSERT_TRUE(menu);
        QList<QAction*> actions = menu->actions();
        int at = -1;
        for (int i = 0; i < actions.size(); ++i)
            if (actions[i]->data().toInt() == 176)
                at = i;
        ASSERT_GE(at, 0);
        ASSERT_EQ(actions.size(), at + 2 + 12);
        EXPECT_TRUE(actions[at + 1]->isSeparator());
        for (int n = 1; n <= 12; ++n) {
            QAction* a = actions[at + 1 + n];
            WindowRecord* rec = listed[static_cast<std::size_t>(n - 1)];
            SCOPED_TRACE(n);
            EXPECT_EQ(a->data().toInt(), 5999 + n);
            const std::string text = plain_text(a);
            if (n <= 9)
                EXPECT_EQ(text.substr(0, 3), "&" + std::to_string(n) + " ");
            else if (n == 10)
                EXPECT_EQ(text.substr(0, 3), "&0 ");
            else
                EXPECT_EQ(text.substr(0, 3), "   ");
            if (rec->type == kWinChannel) {
                EXPECT_NE(text.find(rec->name), std::string::npos) << text;
            }
            EXPECT_EQ(a->isChecked(), rec == chans[4]);
        }
        if (round == 1) {
            click(menu, actions[at + 1 + 12]);  // the eleventh channel
            EXPECT_EQ(win_record_of(win_active_if_shown()), listed[11]);
        } else {
            close_menus();
        }
    }
}

TEST_F(MenuListsTest, WindowListCutsLongTitlesAndShowsAmpersandsAsTheyAre)
{
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    struct Case {
        std::string name;
        std::string shown;  // after the "&N " prefix
    } cases[] = {
        {"#" + std::string(58, 'a'), "#" + std::string(58, 'a')},   // 59 characters
        {"#" + std::string(59, 'b'), "#" + std::string(59, 'b')},   // exactly 60
        {"#" + std::string(60, 'c'), "#" + std::string(59, 'c')},   // 61: cut to 60
        {"#" + std::string(300, 'd'), "#" + std::string(59, 'd')},
        {"#r&d", "#r&&d"},
        {"#x", "#x"},
    };
    std::vector<WindowRecord*> recs;
    for (const Case& c : cases) {
        WindowRecord* rec = window_test_open(c.name, kWinChannel, 0, conn);
        ASSERT_TRUE(rec) << c.name;
        recs.push_back(rec);
    }
    window_test_pump();
    QMenu* menu = open_bar_menu("&Pencere");
    ASSERT_TRUE(menu);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name.substr(0, 8));
        const std::string title = win_container(recs[i]->hwnd.get())->windowTitle().toStdString();
        if (title != cases[i].name)
            GTEST_SKIP() << "channel titles carry more than the name: " << title;
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (!a->isSeparator() && a->text().size() > 3 && a->text().mid(3).toStdString() == cases[i].shown)
                item = a;
        EXPECT_TRUE(item);
    }
    close_menus();
}

// ---- Help files ----

TEST_F(MenuListsTest, HelpFilesFromBothFoldersAppearOnceAndOpenFromWhereTheyAre)
{
    std::string own = file_program_path();
    own.resize(own.rfind('/') + 1);
    ASSERT_NE(own, settings_dir);
    const std::string beside = "kest_menulists_beside.txt";
    const std::string both = "kest_menulists_both.txt";
    struct Cleanup {
        std::vector<std::string> paths;
        ~Cleanup()
        {
            for (const std::string& p : paths)
                ::unlink(p.c_str());
        }
    } cleanup{{own + beside, own + both}};
    spit(own + beside, "x");
    spit(own + both, "x");
    spit(settings_dir + both, "x");
    spit(settings_dir + "guide.html", "x");
    spit(settings_dir + "a.txt", "x");
    spit(settings_dir + "notes.TXT", "x");
    spit(settings_dir + "skip.text", "x");

    QMenu* menu = open_bar_menu("&Yardım");
    ASSERT_TRUE(menu);
    QMenu* text_files = submenu_titled(menu, QString::fromUtf8(text_load_string(3843)));
    QMenu* html_files = submenu_titled(menu, QString::fromUtf8(text_load_string(3859)));
    ASSERT_TRUE(text_files && html_files);
    EXPECT_FALSE(submenu_titled(menu, QString::fromUtf8(text_load_string(3842))));  // no .hlp/.chm
    EXPECT_EQ(texts(html_files), (std::vector<std::string>{"guide.html"}));
    std::vector<std::string> got = texts(text_files);
    EXPECT_EQ(std::count(got.begin(), got.end(), both), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), beside), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), "a.txt"), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), "notes.TXT"), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), "skip.text"), 0);
    // Sorted, case ignored.
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end(), [](const std::string& a, const std::string& b) {
        return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
    }));
    // A separator before "Güncelle...".
    QList<QAction*> actions = menu->actions();
    for (int i = 0; i < actions.size(); ++i)
        if (actions[i]->data().toInt() == 194) {
            EXPECT_TRUE(actions[i - 1]->isSeparator());
        }

    open_submenu(menu, text_files);
    click(text_files, item_titled(text_files, QString::fromStdString(beside)));
    EXPECT_EQ(opened_paths, std::vector<std::string>{own + beside});

    // The one found in both folders opens from the settings folder; the
    // menu built again shows the same lists.
    opened_paths.clear();
    menu = open_bar_menu("&Yardım");
    text_files = submenu_titled(menu, QString::fromUtf8(text_load_string(3843)));
    ASSERT_TRUE(text_files);
    EXPECT_EQ(texts(text_files), got);
    open_submenu(menu, text_files);
    click(text_files, item_titled(text_files, QString::fromStdString(both)));
    EXPECT_EQ(opened_paths, std::vector<std::string>{settings_dir + both});
}

TEST_F(MenuListsTest, HelpFileOpenRefusesPatternsAndMissingFiles)
{
    spit(settings_dir + "here.txt", "x");
    struct Case {
        const char* name;
        int opened;
    } cases[] = {{"here.txt", 1},  {"*.txt", 0},          {"missing.txt", 0}, {"", 0},
                 {"../here.txt", 0}, {"sub/../here.txt", 0}, {"..\\here.txt", 0}, {"here.txt", 1}};
    std::filesystem::create_directories(settings_dir + "sub");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        opened_paths.clear();
        EXPECT_EQ(help_file_open(c.name, std::string()) != 0, c.opened != 0);
        EXPECT_EQ(opened_paths.size(), static_cast<std::size_t>(c.opened));
    }
}

TEST_F(MenuListsTest, NoHelpFilesLeaveTheHelpMenuAsItWas)
{
    QMenu* menu = open_bar_menu("&Yardım");
    ASSERT_TRUE(menu);
    EXPECT_EQ(texts(menu), (std::vector<std::string>{"&İçindekiler", "&Ara...", "-", "Son &Haberler",
                                                     "&Mesaj Panosu", "&Güncelle...", "-", "&Hakkında..."}));
}

// ---- Received files ----

TEST_F(MenuListsTest, ReceivedFilesItemShowsTheDownloadFolderElseTheSettingsFolder)
{
    std::string download;
    dcc_folder_for_file(std::string(), download, 0, nullptr);
    ASSERT_FALSE(download.empty());
    std::filesystem::remove_all(download);
    struct Case {
        bool made;
        std::string shown;
    } cases[] = {{false, settings_dir}, {true, download}, {true, download}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.made);
        if (c.made)
            std::filesystem::create_directories(download);
        opened_paths.clear();
        QMenu* menu = open_bar_menu("&Araçlar");
        ASSERT_TRUE(menu);
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (a->data().toInt() == 154)
                item = a;
        click(menu, item);
        ASSERT_EQ(opened_paths.size(), 1u);
        EXPECT_EQ(opened_paths[0], c.shown);
    }
    std::filesystem::remove_all(download);
}

// ---- Recent servers and the connect items ----

TEST_F(MenuListsTest, RecentServersListTenThenGroupsAndClearingEmptiesTheFile)
{
    // The server list of this test's own settings folder, whatever file
    // another test named.
    struct ServersFileBack {
        std::string saved = main_settings.servers_file;
        ~ServersFileBack() { main_settings.servers_file = saved; }
    } servers_back;
    main_settings.servers_file = settings_dir + "servers.ini";
    const std::string file = servers_file();
    for (int i = 0; i < 12; ++i) {
        const std::string entry = "Server" + std::to_string(i) + "SERVER:irc" + std::to_string(i) + ".example:6667" +
                                  (i < 7 ? "GROUP:Net" + std::to_string(i) : std::string());
        ini_write("recent", ("n" + std::to_string(i)).c_str(), entry.c_str(), file);
    }
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    QMenu* menu = open_bar_menu("&Dosya");
    ASSERT_TRUE(menu);
    QMenu* servers = menu->actions().value(0)->menu();
    ASSERT_TRUE(servers);
    std::vector<std::string> got = texts(servers);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[0], text_load_string(3808));
    EXPECT_EQ(got[1], "-");
    int plain_items = 0, group_menus = 0;
    for (QAction* a : servers->actions()) {
        if (a->menu())
            ++group_menus;
        else if (!a->isSeparator() && a->data().toInt() >= 7000)
            ++plain_items;
    }
    EXPECT_EQ(plain_items, 10);
    EXPECT_EQ(group_menus, 5);
    EXPECT_EQ(got[2], "Net0: Server0");
    EXPECT_EQ(got.back(), text_load_string(3869));
    EXPECT_TRUE(servers->actions().back()->isEnabled());
    // Idle: connect offered, disconnect greyed.
    EXPECT_TRUE(frame_menu_action(101)->isEnabled());
    EXPECT_FALSE(frame_menu_action(102)->isEnabled());
    open_submenu(menu, servers);
    click(servers, servers->actions().back());
    std::string left;
    ini_read("recent", "n0", "", left, 256, file);
    EXPECT_TRUE(left.empty());

    menu = open_bar_menu("&Dosya");
    servers = menu->actions().value(0)->menu();
    EXPECT_EQ(texts(servers), (std::vector<std::string>{text_load_string(3841), "-", text_load_string(3869)}));
    EXPECT_FALSE(servers->actions().back()->isEnabled());
    close_menus();
    // An id of the earlier, longer list is no server any more.
    EXPECT_EQ(menu_recent_servers_command(7005), 0);
}

// ---- Stopping a connect that keeps failing ----

// A TCP listener on 127.0.0.1 that takes connections and never says a word.
struct SilentServer {
    int fd = -1;
    int port = 0;
    std::vector<int> taken;
    SilentServer()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 4) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~SilentServer()
    {
        for (int t : taken)
            ::close(t);
        if (fd >= 0)
            ::close(fd);
    }
};

TEST_F(MenuListsTest, AConnectThatKeepsFailingStopsFromTheMenuAndFromTheToolbar)
{
    struct Saved {
        int retry = opt(OPT_RETRY_ON_FAIL), delay = opt(OPT_RETRY_DELAY),
            second = opt(OPT_CONFIRM_CONNECT_SECOND_CLICK), shown = opt(OPT_TOOLBAR_SHOWN);
        ProxySettings proxy = proxy_settings;
        ~Saved()
        {
            opt_set(OPT_RETRY_ON_FAIL, retry);
            opt_set(OPT_RETRY_DELAY, delay);
            opt_set(OPT_CONFIRM_CONNECT_SECOND_CLICK, second);
            opt_set(OPT_TOOLBAR_SHOWN, shown);
            proxy_settings = proxy;
            delete toolbar_window.data();
        }
    } saved;
    // Retries on, and the next attempt far enough away to be waiting for it.
    opt_set(OPT_RETRY_ON_FAIL, 1);
    opt_set(OPT_RETRY_DELAY, 600);
    opt_set(OPT_CONFIRM_CONNECT_SECOND_CLICK, 0);
    opt_set(OPT_TOOLBAR_SHOWN, 1);
    proxy_settings = ProxySettings();
    frame_proc_install();
    app_messages_set_frame(nullptr);
    ASSERT_EQ(toolbar_create(), 1);
    toolbar_window->setGeometry(0, 0, 980, 60);
    toolbar_window->show();

    SilentServer silent;
    ASSERT_GT(silent.port, 0);
    const int refused = free_port();  // nothing listens there
    ASSERT_GT(refused, 0);

    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    conn->stored_identity[0] = "Kest User";
    conn->stored_identity[1] = "me@example.org";
    conn->stored_identity[2] = "stopper";
    conn->stored_identity[5] = "127.0.0.1";
    irc_request_host.clear();

    auto menu_states = [this] {
        QMenu* file = open_bar_menu("&Dosya");
        std::pair<bool, bool> states{frame_menu_action(101)->isEnabled(), frame_menu_action(102)->isEnabled()};
        (void)file;
        close_menus();
        return states;
    };
    auto shown = [](int id) { return toolbar_message(TBM_IS_HIDDEN, id, 0) == 0; };
    auto idle = [conn] {
        return conn_is_live(conn) && !conn_is_connected(conn) && !conn_is_connecting(conn) && !conn->waiting_retry &&
               conn->connect_timer_id == 0 && conn->socket == -1;
    };

    const struct {
        const char* what;
        bool silent;     // else the port refuses
        bool toolbar;    // else the menu item stops it
    } cases[] = {
        {"refused, stopped from the menu", false, false},
        {"refused, stopped from the toolbar", false, true},
        {"silent, stopped from the menu", true, false},
        {"silent, stopped from the toolbar", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        conn->stored_identity[9] = std::to_string(c.silent ? silent.port : refused);
        ASSERT_TRUE(idle());
        EXPECT_EQ(menu_states(), std::make_pair(true, false));
        // Connect with the menu's item.
        QMenu* file = open_bar_menu("&Dosya");
        click(file, frame_menu_action(101));
        if (c.silent) {
            ASSERT_TRUE(pump_until([&] {
                sockaddr_in a{};
                socklen_t len = sizeof a;
                int t = ::accept4(silent.fd, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (t >= 0)
                    silent.taken.push_back(t);
                return conn_is_connected(conn);
            }, 10000));
        } else {
            ASSERT_TRUE(pump_until([conn] { return conn->waiting_retry != 0; }, 10000))
                << "the refused attempt is to be retried";
            EXPECT_TRUE(conn_is_connecting(conn));
        }
        pump_until([] { return false; }, 50);
        // While it tries, Disconnect is offered and Connect is not; the
        // toolbar shows its disconnect button.
        EXPECT_EQ(menu_states(), std::make_pair(false, true));
        EXPECT_TRUE(shown(1001));
        EXPECT_FALSE(shown(1000));

        if (c.toolbar) {
            toolbar_window->layout();
            ToolbarButton* b = toolbar_button_at(toolbar_index_of_name("connect2"));
            ASSERT_TRUE(b);
            QTest::mouseClick(toolbar_window, Qt::LeftButton, Qt::NoModifier, b->rect.center());
        } else {
            file = open_bar_menu("&Dosya");
            click(file, frame_menu_action(102));
        }
        ASSERT_TRUE(pump_until(idle, 5000)) << "connected " << conn->connected << " connecting " << conn->connecting
                                            << " retry " << conn->waiting_retry << " timer " << conn->connect_timer_id;
        pump_until([] { return false; }, 50);
        // Stopped: no attempt pending, and the menu and the toolbar offer to
        // connect again.
        EXPECT_EQ(conn->retry_count, 0);
        EXPECT_EQ(menu_states(), std::make_pair(true, false));
        EXPECT_TRUE(shown(1000));
        EXPECT_FALSE(shown(1001));
    }
}

TEST_F(MenuListsTest, ConnectItemsFollowTheCurrentConnection)
{
    TestWire link;
    Connection* conn = window_test_conn();
    ASSERT_TRUE(conn);
    struct Case {
        int connected;
        bool connect_enabled;
    } cases[] = {{0, true}, {1, false}, {1, false}, {0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.connected);
        if (c.connected) {
            ASSERT_TRUE(link.ok());
            link.attach(conn);
            conn->connected = 1;
        } else {
            disconnect(conn);
        }
        menu_update_connect_items();
        EXPECT_EQ(frame_menu_action(101)->isEnabled(), c.connect_enabled);
        EXPECT_EQ(frame_menu_action(102)->isEnabled(), !c.connect_enabled);
    }
    disconnect(conn);
}

}  // namespace
