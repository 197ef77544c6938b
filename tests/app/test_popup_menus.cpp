// Right-click menus on real windows: the popup files and script "menu"
// sections give the items, a right-click with the mouse shows them, and
// the item picked runs its command with the window's selection as $1-.
// The last test takes its channel from a real IRC server.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QTest>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/child_widgets.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/mdi_arrange.h"
#include "app/popup_menus.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/string_list.h"
#include "display/backgrounds.h"
#include "display/editbox.h"
#include "model/nick_list.h"
#include "irc/link/net_settings.h"
#include "irc/link/send_queue.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"
#include "script/popup_defaults.h"
#include "script/popups.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"
#include "support/traffic_file.h"

namespace {

int beeps = 0;

std::string window_text(const WindowRecord* rec)
{
    std::string out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out += "\n  " + n->text;
    return out;
}

bool pump_until(const std::function<bool()>& done, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        window_test_pump();
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    window_test_pump();
    return done();
}

QMenu* open_popup()
{
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

std::vector<std::string> captions(QMenu* menu)
{
    std::vector<std::string> out;
    for (QAction* a : menu->actions())
        out.push_back(a->isSeparator() ? std::string("-") : a->text().toStdString());
    return out;
}

QAction* action_named(QMenu* menu, const std::string& text)
{
    for (QAction* a : menu->actions())
        if (a->text().toStdString() == text)
            return a;
    return nullptr;
}

// Picks an item with the mouse; the command arrives at the frame later.
void choose(QMenu* menu, const std::string& text)
{
    QAction* a = action_named(menu, text);
    ASSERT_TRUE(a) << text;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
    window_test_pump();
}

void close_popups()
{
    while (QWidget* w = QApplication::activePopupWidget())
        w->close();
    window_test_pump();
}

class PopupWindows : public ::testing::Test {
    HookGuard hooks_;

protected:
    TempSettingsDir temp{"kest_popups_"};

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        window_test_reset();
        app_install_subsystems();
        app_messages_set_frame(nullptr);
        frame_proc_install();
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        remote_files_free_all();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->live_identity[2] = "me";
    }
    void TearDown() override
    {
        close_popups();
        menu_popup_reset();
        remote_files_free_all();
        popup_files_free();
        if (conn_is_live(conn))
            conn->socket = -1;
        window_test_reset();
    }

    // popups.ini with the lines of each section given.
    void write_popups(const std::vector<std::pair<std::string, std::vector<std::string>>>& sections)
    {
        std::ofstream out(temp.path() + "popups.ini");
        for (const auto& [section, lines] : sections) {
            out << section << "\n";
            for (std::size_t i = 0; i < lines.size(); ++i)
                out << "n" << i << "=" << lines[i] << "\n";
        }
        out.close();
        popup_files_load_all();
    }

    ScriptFile* load_script(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(temp.path() + name);
        for (const auto& l : lines)
            out << l << "\n";
        out.close();
        return remote_file_load(temp.path() + name, kRemoteScript, 9999, nullptr);
    }

    WindowRecord* channel_with(const std::vector<std::string>& nicks)
    {
        WindowRecord* chan = window_test_open("#pop", kWinChannel, 0, conn);
        if (!chan)
            return nullptr;
        for (const std::string& n : nicks)
            nicklist_update(n, chan, 1, 1);
        window_test_pump();
        return chan;
    }

    // Right-clicks a nick of the channel's list box.
    QMenu* rclick_nick(WindowRecord* chan, const std::string& nick)
    {
        ListBox* list = chan->listbox.get();
        if (!list)
            return nullptr;
        win_activate(chan->hwnd, 0);  // the user clicks on the window in front
        window_test_pump();
        const int row = nicklist_row_of(chan, nicklist_find(chan, nick));
        if (row < 0 || !list->item(row))
            return nullptr;
        QRect r = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, r.center());
        window_test_pump();
        return open_popup();
    }

    QMenu* rclick_text(WindowRecord* rec)
    {
        QWidget* area = rec->text_area.get();
        if (!area)
            return nullptr;
        win_activate(rec->hwnd, 0);
        window_test_pump();
        QTest::mouseClick(area, Qt::RightButton, {}, QPoint(area->width() / 2, area->height() / 2));
        window_test_pump();
        return open_popup();
    }

    TestWire wire;
    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }
    Connection* conn = nullptr;
};

TEST_F(PopupWindows, NickListItemRunsWithTheClickedNickAndAHostileNickRunsNothing)
{
    write_popups({{"[lpopup]", {"Whois $1:/whois $1", "-", "Slap:/msg $1 slapped | /echo -s done"}}});
    WindowRecord* chan = channel_with({"alice", "a|/quit", "bob"});
    ASSERT_TRUE(chan);
    const struct {
        const char* nick;
        const char* item;
        const char* line;
    } cases[] = {
        {"alice", "Whois alice", "WHOIS alice\n"},
        {"bob", "Slap", "PRIVMSG bob :slapped\n"},
        {"a|/quit", "Slap", "PRIVMSG a|/quit :slapped\n"},
        {"alice", "Slap", "PRIVMSG alice :slapped\n"},  // the same again
        {"alice", "Slap", "PRIVMSG alice :slapped\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.nick) + " / " + c.item);
        wire.clear();
        QMenu* menu = rclick_nick(chan, c.nick);
        ASSERT_TRUE(menu) << "no popup on the nick";
        EXPECT_EQ(popup_context.kind, kPopupNicklist);
        // The clicked nick alone is selected.
        auto selected = chan->listbox->selectedItems();
        ASSERT_EQ(selected.size(), 1);
        EXPECT_EQ(selected.first()->text().toStdString(), c.nick);
        choose(menu, c.item);
        ASSERT_EQ(sent().size(), 1u) << ::testing::PrintToString(sent());
        EXPECT_EQ(sent()[0], c.line);
        EXPECT_EQ(popup_context.kind, kPopupNone) << "the popup is discarded after its command";
        EXPECT_TRUE(conn_is_live(conn));
    }
}

TEST_F(PopupWindows, EachWindowKindShowsItsOwnPopup)
{
    write_popups({{"[mpopup]", {"Status item:/echo -s s"}},
                  {"[cpopup]", {"Channel item:/echo -s c"}},
                  {"[qpopup]", {"Query $1:/msg $1 hi"}},
                  {"[lpopup]", {"Nick item:/echo -s n"}}});
    WindowRecord* chan = channel_with({"carol"});
    WindowRecord* query = window_test_open("dave", kWinQuery, kQueryPrivate, conn);
    WindowRecord* status = win_record_of(conn->status_window);
    ASSERT_TRUE(chan && query && status);
    const struct {
        WindowRecord* rec;
        int kind;
        std::vector<std::string> items;
    } cases[] = {
        {status, kPopupStatus, {"Status item"}},
        {chan, kPopupChannel, {"Channel item"}},
        {query, kPopupQuery, {"Query dave"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rec->name);
        QMenu* menu = rclick_text(c.rec);
        ASSERT_TRUE(menu);
        EXPECT_EQ(popup_context.kind, c.kind);
        EXPECT_EQ(captions(menu), c.items);
        close_popups();
    }
    // The query item's $1 is the query's nick.
    wire.clear();
    QMenu* menu = rclick_text(query);
    ASSERT_TRUE(menu);
    choose(menu, "Query dave");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG dave :hi\n"});
}

TEST_F(PopupWindows, NothingToShowBeepsAndAChannelFallsBackToTheStatusPopup)
{
    write_popups({{"[mpopup]", {"Status only:/echo -s s"}}});
    WindowRecord* chan = channel_with({"erin"});
    ASSERT_TRUE(chan);
    // No channel popup: the status popup shows in the channel.
    QMenu* menu = rclick_text(chan);
    ASSERT_TRUE(menu);
    EXPECT_EQ(popup_context.kind, kPopupStatus);
    EXPECT_EQ(captions(menu), std::vector<std::string>{"Status only"});
    close_popups();
    // No nick-list popup at all: nothing shows, one beep.
    beeps = 0;
    EXPECT_EQ(rclick_nick(chan, "erin"), nullptr);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(popup_context.kind, kPopupNone);
}

TEST_F(PopupWindows, ScriptMenuSectionsJoinTheFileItems)
{
    write_popups({{"[cpopup]", {"Tools", ".From file:/echo -s f"}}});
    ASSERT_TRUE(load_script("one.kst", {"menu channel,status {", "Tools", ".From one:/echo -s one", "}"}));
    ASSERT_TRUE(load_script("two.kst", {"menu query {", "Not here:/echo -s q", "}", "menu * {",
                                        "Everywhere:/msg $chan hello from two", "}"}));
    WindowRecord* chan = channel_with({"frank"});
    ASSERT_TRUE(chan);
    QMenu* menu = rclick_text(chan);
    ASSERT_TRUE(menu);
    // One Tools submenu holding both sets, separated; the query section stays out.
    EXPECT_EQ(captions(menu), (std::vector<std::string>{"Tools", "-", "Everywhere"}));
    QMenu* tools = action_named(menu, "Tools") ? action_named(menu, "Tools")->menu() : nullptr;
    ASSERT_TRUE(tools);
    EXPECT_EQ(captions(tools), (std::vector<std::string>{"From file", "-", "From one"}));
    wire.clear();
    choose(menu, "Everywhere");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG #pop :hello from two\n"});
}

// Picks an item of a submenu: the mouse opens the submenu, then clicks.
void choose_in(QMenu* menu, const std::string& sub_caption, const std::string& text)
{
    QAction* entry = action_named(menu, sub_caption);
    ASSERT_TRUE(entry && entry->menu()) << sub_caption;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
    window_test_pump();
    QMenu* sub = entry->menu();
    if (!sub->isVisible())
        sub->popup(menu->mapToGlobal(menu->actionGeometry(entry).topRight()));
    window_test_pump();
    choose(sub, text);
}

std::string slurp_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(PopupWindows, AFirstStartGetsEverydayPopupsAndAUsersFileIsLeftAlone)
{
    const std::string path = temp.path() + "popups.ini";
    ASSERT_FALSE(std::ifstream(path).good());
    ASSERT_EQ(popup_files_write_defaults(), 1);
    popup_files_load_all();
    for (const char* section : {"[mpopup]", "[cpopup]", "[qpopup]", "[lpopup]", "[bpopup]"})
        EXPECT_NE(slurp_file(path).find(section), std::string::npos) << section;

    WindowRecord* chan = channel_with({"alice", "bob"});
    WindowRecord* query = window_test_open("dave", kWinQuery, kQueryPrivate, conn);
    WindowRecord* status = win_record_of(conn->status_window);
    ASSERT_TRUE(chan && query && status);

    // What the user sees on a right-click in each kind of window.
    QMenu* nicks = rclick_nick(chan, "bob");
    ASSERT_TRUE(nicks);
    EXPECT_EQ(captions(nicks), (std::vector<std::string>{"Bilgi (Whois)", "Özel Sohbet (Query)", "-", "Yetki",
                                                         "At ve Yasakla", "-", "CTCP", "-", "Ignore"}));
    close_popups();
    QMenu* text = rclick_text(chan);
    ASSERT_TRUE(text);
    EXPECT_EQ(captions(text), (std::vector<std::string>{"Topic Göster", "Topic Değiştir...", "-", "Kanal Modları",
                                                        "Ban Listesi", "Kullanıcı Listesi", "-", "Yeniden Gir",
                                                        "Kanaldan Çık"}));
    close_popups();

    // Each item sends its line for the nick, the channel or the query.
    const struct {
        const char* what;
        std::function<QMenu*()> open;
        const char* sub;  // "" for a top-level item
        const char* item;
        const char* line;
    } cases[] = {
        {"whois from the nick list", [&] { return rclick_nick(chan, "bob"); }, "", "Bilgi (Whois)", "WHOIS bob\n"},
        {"op", [&] { return rclick_nick(chan, "alice"); }, "Yetki", "Op Ver", "MODE #pop +o alice\n"},
        {"devoice", [&] { return rclick_nick(chan, "bob"); }, "Yetki", "Voice Al", "MODE #pop -v bob\n"},
        {"kick", [&] { return rclick_nick(chan, "bob"); }, "At ve Yasakla", "Kick", "KICK #pop bob\n"},
        {"ctcp version", [&] { return rclick_nick(chan, "alice"); }, "CTCP", "Version",
         "PRIVMSG alice :\x01VERSION\x01\n"},
        {"topic", [&] { return rclick_text(chan); }, "", "Topic Göster", "TOPIC #pop\n"},
        {"modes", [&] { return rclick_text(chan); }, "", "Kanal Modları", "MODE #pop\n"},
        {"whois from the query", [&] { return rclick_text(query); }, "", "Bilgi (Whois)", "WHOIS dave\n"},
        {"motd from the status window", [&] { return rclick_text(status); }, "Sunucu Bilgisi",
         "Günün Mesajı (MOTD)", "MOTD\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        wire.clear();
        QMenu* menu = c.open();
        ASSERT_TRUE(menu);
        if (*c.sub)
            choose_in(menu, c.sub, c.item);
        else
            choose(menu, c.item);
        close_popups();
        EXPECT_EQ(sent(), std::vector<std::string>{c.line});
    }
    // The nick list's query item opens the nick's query.
    QMenu* menu = rclick_nick(chan, "alice");
    ASSERT_TRUE(menu);
    choose(menu, "Özel Sohbet (Query)");
    EXPECT_TRUE(win_find_by_name("alice", conn));

    // A user's own file is never overwritten, nor is one that another
    // start listed.
    {
        std::ofstream out(path);
        out << "[cpopup]\nn0=Mine:/echo -s mine\n";
    }
    EXPECT_EQ(popup_files_write_defaults(), 0);
    EXPECT_EQ(slurp_file(path), "[cpopup]\nn0=Mine:/echo -s mine\n");
    std::remove(path.c_str());
    ini_write("pfiles", "n1", "popups.ini", main_ini_path);
    EXPECT_EQ(popup_files_write_defaults(), 0);
    EXPECT_FALSE(std::ifstream(path).good());
}

TEST_F(PopupWindows, ACommandAfterTheConnectionClosedDoesNothing)
{
    write_popups({{"[mpopup]", {"Say:/raw PING x"}}});
    WindowRecord* status = win_record_of(conn->status_window);
    ASSERT_TRUE(status);
    QMenu* menu = rclick_text(status);
    ASSERT_TRUE(menu);
    QAction* a = action_named(menu, "Say");
    ASSERT_TRUE(a);
    const int id = a->data().toInt();
    close_popups();
    // The frame timer has not discarded it yet; the connection goes first.
    Connection* gone = conn;
    conn->socket = -1;
    conn_free(gone);
    conn = nullptr;
    wire.clear();
    EXPECT_EQ(menu_popup_command(id), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(PopupWindows, MenuIdentifiersNameThePopupInItsCaptions)
{
    const std::string caption = "$menu $menutype $menucontext P $pnick:/echo -s x";
    write_popups({{"[mpopup]", {caption}}, {"[cpopup]", {caption}}, {"[lpopup]", {caption}}});
    WindowRecord* chan = channel_with({"gina", "hal"});
    WindowRecord* status = win_record_of(conn->status_window);
    ASSERT_TRUE(chan && status);
    const struct {
        const char* what;
        std::function<QMenu*()> open;
        const char* shown;
    } cases[] = {
        {"status", [&] { return rclick_text(status); }, "status status window P"},
        {"channel", [&] { return rclick_text(chan); }, "channel channel window P"},
        {"nick list", [&] { return rclick_nick(chan, "hal"); }, "nicklist nicklist window P hal"},
        {"nick list again", [&] { return rclick_nick(chan, "gina"); }, "nicklist nicklist window P gina"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QMenu* menu = c.open();
        ASSERT_TRUE(menu);
        EXPECT_EQ(captions(menu), std::vector<std::string>{c.shown});
        close_popups();
    }
}

TEST_F(PopupWindows, ASecondPopupReplacesTheFirstAndAnUnusedOneGoesWithItsTimer)
{
    write_popups({{"[mpopup]", {"One:/echo -s one"}}});
    WindowRecord* status = win_record_of(conn->status_window);
    ASSERT_TRUE(status);
    QPointer<QMenu> first = rclick_text(status);
    ASSERT_TRUE(first);
    QPointer<QMenu> second = rclick_text(status);
    ASSERT_TRUE(second);
    window_test_pump();
    EXPECT_TRUE(first.isNull()) << "the first popup is destroyed by the second's build";
    EXPECT_EQ(popup_context.menu.data(), second.data());
    // Closed without a command: the frame timer discards it.
    close_popups();
    EXPECT_EQ(popup_context.kind, kPopupStatus);
    frame_on_timer(FRAME_TIMER_POPUP);
    window_test_pump();
    EXPECT_EQ(popup_context.kind, kPopupNone);
    EXPECT_TRUE(second.isNull());
    // A late command for it is not handled.
    wire.clear();
    EXPECT_EQ(menu_popup_command(kPopupFirstId), 0);
    EXPECT_TRUE(sent().empty());
}

TEST_F(PopupWindows, TypedLoadAndSaveOfAPopupFile)
{
    write_popups({{"[cpopup]", {"Old:/echo -s old"}}});
    {
        std::ofstream out(temp.path() + "mine.ini");
        out << "[cpopup]\nn0=Mine:/msg $chan from mine\n";
    }
    WindowRecord* chan = channel_with({"ivy"});
    ASSERT_TRUE(chan);
    WindowRecord* status = win_record_of(conn->status_window);
    ASSERT_TRUE(status && status->editbox.get());
    auto type = [&](const std::string& text) {
        QTest::keyClicks(status->editbox.get(), QString::fromStdString(text));
        QTest::keyClick(status->editbox.get(), Qt::Key_Return);
        window_test_pump();
    };
    type("/load -pc mine.ini");
    QMenu* menu = rclick_text(chan);
    ASSERT_TRUE(menu);
    EXPECT_EQ(captions(menu), std::vector<std::string>{"Mine"});
    wire.clear();
    choose(menu, "Mine");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG #pop :from mine\n"});
    // The list names the new file for the channel popup.
    std::string listed;
    ini_read("pfiles", "n1", "", listed, 1024, main_ini_path);
    EXPECT_EQ(listed, "mine.ini");
    // Saved under another name: the section goes there.
    type("/save -pc copy.ini");
    EXPECT_NE(slurp(temp.path() + "copy.ini").find("Mine:/msg $chan from mine"), std::string::npos);
}

TEST_F(PopupWindows, CustomWindowPopupRunsWithTheSelectedListLines)
{
    ASSERT_TRUE(load_script("custom.kst", {"menu @pop {", "Send:/msg target $1-", "}"}));
    popup_files_load_all();
    WindowRecord* custom = window_test_open("@pop", kWinCustom, 2, conn);
    ASSERT_TRUE(custom);
    ListBox* list = custom->listbox.get();
    ASSERT_TRUE(list);
    for (const char* line : {"first line", "second", "third"})
        list->addItem(line);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    QMenu* menu = rclick_text(custom);
    ASSERT_TRUE(menu);
    EXPECT_EQ(popup_context.kind, kPopupCustom);
    wire.clear();
    choose(menu, "Send");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG target :first line third\n"});
}

// The mouse handlers at the head of a custom window's "menu" section run on
// the user's clicks and keys, with $1 the list line (from 1); a section that
// names another window stays silent, and every section naming the window
// takes its turn.
TEST_F(PopupWindows, CustomWindowMouseHandlersRunOnClicksWithTheLineNumber)
{
    ASSERT_TRUE(load_script("ev.kst", {"menu @ev {", "dclick:/msg t dclick $1", "lbclick:/msg t lbclick $1",
                                       "rclick:{", "  /msg t rclick $1", "}", "}",
                                       "menu @other {", "dclick:/msg t other $1", "lbclick:/msg t other", "}"}));
    ASSERT_TRUE(load_script("ev2.kst", {"menu @ev,@more {", "dclick:/msg t second $1", "Item:/msg t item", "}"}));
    WindowRecord* other = window_test_open("@other", kWinCustom, 2, conn);
    WindowRecord* ev = window_test_open("@ev", kWinCustom, 2, conn);
    ASSERT_TRUE(ev && other && ev->listbox.get());
    ListBox* list = ev->listbox.get();
    for (const char* line : {"one", "two", "three"})
        list->addItem(line);
    win_activate(ev->hwnd, 0);
    window_test_pump();
    auto center = [&](int row) { return list->visualItemRect(list->item(row)).center(); };

    wire.clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, center(1));
    window_test_pump();
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG t :lbclick 2\n"});

    wire.clear();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, center(2));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, center(2));  // the button comes up
    window_test_pump();
    // Both sections naming the window, in load order; @other's stays silent.
    EXPECT_EQ(sent(), (std::vector<std::string>{"PRIVMSG t :dclick 3\n", "PRIVMSG t :second 3\n"}));

    // The keys move the caret: lbclick again; a key that moves nothing is quiet.
    list->setFocus();
    wire.clear();
    QTest::keyClick(list, Qt::Key_Up);
    window_test_pump();
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG t :lbclick 2\n"});
    wire.clear();
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Up);
    window_test_pump();
    EXPECT_TRUE(sent().empty()) << ::testing::PrintToString(sent());
    // Enter acts as a double-click on the caret line.
    wire.clear();
    QTest::keyClick(list, Qt::Key_Return);
    window_test_pump();
    EXPECT_EQ(sent(), (std::vector<std::string>{"PRIVMSG t :dclick 1\n", "PRIVMSG t :second 1\n"}));
    EXPECT_EQ(beeps, 0);
}

TEST_F(PopupWindows, CustomWindowRightClickRunsItsHandlerOnlyWhenThereIsNoMenu)
{
    ASSERT_TRUE(load_script("rc.kst", {"menu @bare {", "rclick:/msg t rclick $1", "}",
                                       "menu @full {", "rclick:/msg t never", "Pick:/msg t pick", "}"}));
    WindowRecord* bare = window_test_open("@bare", kWinCustom, 0, conn);
    ASSERT_TRUE(bare && bare->text_area.get());
    wire.clear();
    EXPECT_EQ(rclick_text(bare), nullptr);
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG t :rclick\n"});  // no list: no $1
    EXPECT_EQ(beeps, 0);

    WindowRecord* full = window_test_open("@full", kWinCustom, 0, conn);
    ASSERT_TRUE(full);
    wire.clear();
    QMenu* menu = rclick_text(full);
    ASSERT_TRUE(menu);
    EXPECT_TRUE(sent().empty());
    choose(menu, "Pick");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG t :pick\n"});
}

TEST_F(PopupWindows, CustomWindowTextDoubleClickAndAPopupFileHandler)
{
    // A window whose popup file gives the handlers at the file's head.
    {
        std::ofstream out(temp.path() + "mine.pop");
        out << "dclick:/msg t from file $1\nItem:/msg t item\n";
    }
    ASSERT_TRUE(load_script("names.kst", {"menu @filed {", "dclick:/msg t from section", "}"}));
    WindowRecord* filed = window_test_open("@filed", kWinCustom, 0, conn);
    ASSERT_TRUE(filed && filed->text_area.get());
    filed->popup_file = temp.path() + "mine.pop";
    WindowRecord* plain = window_test_open("@plain", kWinCustom, 0, conn);
    ASSERT_TRUE(plain && plain->text_area.get());
    ASSERT_TRUE(load_script("plain.kst", {"menu @plain {", "dclick:{", "  /msg t plain", "  /msg t twice", "}",
                                          "Later:/msg t not run", "}"}));
    for (int round = 0; round < 2; ++round) {  // and again: the file is loaded afresh
        SCOPED_TRACE(round);
        for (WindowRecord* rec : {filed, plain}) {
            win_activate(rec->hwnd, 0);
            window_test_pump();
            wire.clear();
            QWidget* area = rec->text_area.get();
            QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(area->width() / 2, area->height() / 2));
            QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(area->width() / 2, area->height() / 2));
            window_test_pump();
            if (rec == filed)
                EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG t :from file\n"});
            else
                EXPECT_EQ(sent(), (std::vector<std::string>{"PRIVMSG t :plain\n", "PRIVMSG t :twice\n"}));
        }
    }
    EXPECT_EQ(popup_file_of_kind(kPopupFileCustom), nullptr) << "the window's file is let go after the event";
}

TEST_F(PopupWindows, TheMenuKeyOpensThePopupOfTheFocusedList)
{
    write_popups({{"[lpopup]", {"Key item:/msg $1 by key"}}});
    WindowRecord* chan = channel_with({"jon", "kim"});
    ASSERT_TRUE(chan);
    win_activate(chan->hwnd, 0);
    ListBox* list = chan->listbox.get();
    ASSERT_TRUE(list);
    list->setCurrentRow(nicklist_row_of(chan, nicklist_find(chan, "kim")));
    list->setFocus();
    // The context event of the keyboard: no point, the list keeps its selection.
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(2, 2), list->viewport()->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(list->viewport(), &key);
    window_test_pump();
    QMenu* menu = open_popup();
    ASSERT_TRUE(menu);
    EXPECT_EQ(popup_context.kind, kPopupNicklist);
    wire.clear();
    choose(menu, "Key item");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG kim :by key\n"});
    // The context event of a mouse click opens nothing by itself: the
    // button's release does.
    QContextMenuEvent mouse(QContextMenuEvent::Mouse, QPoint(2, 2), list->viewport()->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(list->viewport(), &mouse);
    window_test_pump();
    EXPECT_EQ(open_popup(), nullptr);
}

TEST_F(PopupWindows, TheJoinedSelectionStopsBeforeItPassesTheLineLimit)
{
    ASSERT_TRUE(load_script("limit.kst", {"menu @lim {", "Measure:/set %pop_len $len($1-)", "}"}));
    WindowRecord* custom = window_test_open("@lim", kWinCustom, 2, conn);
    ASSERT_TRUE(custom && custom->listbox.get());
    ListBox* list = custom->listbox.get();
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    const struct {
        std::size_t first;   // length of the first selected line
        const char* second;  // the second selected line
        int joined;          // the length $1- has
    } cases[] = {
        {4150, "", 4150},     // exactly at the limit, alone
        {4148, "b", 4150},    // the second fits exactly
        {4149, "b", 4149},    // one more and the second is left out
        {10, "bc", 13},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        list->clear();
        list->addItem(QString(static_cast<int>(c.first), QChar('a')));
        if (*c.second)
            list->addItem(c.second);
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setSelected(true);
        QMenu* menu = rclick_text(custom);
        ASSERT_TRUE(menu);
        choose(menu, "Measure");
        std::string value = "%pop_len";
        ident_eval_text(nullptr, &value, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        EXPECT_EQ(value, std::to_string(c.joined));
    }
}

TEST_F(PopupWindows, MdiBackgroundPopupWithoutAPictureTicksNormal)
{
    bg_mdi_clear();
    auto* mdi = qobject_cast<QMdiArea*>(win_mdi_handle());
    ASSERT_TRUE(mdi);
    // A right-click on the empty area behind the windows.
    QTest::mouseClick(mdi->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    window_test_pump();
    QMenu* menu = open_popup();
    ASSERT_TRUE(menu);
    EXPECT_EQ(popup_context.kind, kPopupMdi);
    QMenu* back = menu->actions().value(0) ? menu->actions().value(0)->menu() : nullptr;
    ASSERT_TRUE(back);
    std::vector<std::string> ticked;
    for (QAction* a : back->actions())
        if (a->isChecked())
            ticked.push_back(a->text().toStdString());
    EXPECT_EQ(ticked, std::vector<std::string>{"N&ormal"});
    close_popups();
    menu_popup_reset();
}

}  // namespace

// ---- Against a real IRC server ----

namespace {

constexpr const char* kNgircd = "/usr/sbin/ngircd";

int free_port()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
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

int connect_to(int port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// A private server on 127.0.0.1 in its own folder; killed when it goes.
struct Ngircd {
    TempDir dir{"kest_popups_ircd_"};
    int port = 0;
    pid_t pid = -1;

    bool start()
    {
        if (!dir.made() || ::access(kNgircd, X_OK) != 0)
            return false;
        for (int attempt = 0; attempt < 3; ++attempt) {
            port = free_port();
            std::ofstream(dir.path + "motd") << "popup tests\n";
            std::ofstream(dir.path + "ngircd.conf")
                << "[Global]\nName = irc.popup.test\nInfo = popup tests\nListen = 127.0.0.1\n"
                << "Ports = " << port << "\nMotdFile = " << dir.path << "motd\n"
                << "PidFile = " << dir.path << "ngircd.pid\n"
                << "[Limits]\nMaxConnectionsIP = 0\nMaxNickLength = 30\n"
                << "[Options]\nPAM = no\nIdent = no\nDNS = no\nRequireAuthPing = no\n";
            if (::geteuid() == 0 && ::chown(dir.path.c_str(), 65534, 65534) != 0)
                ::chmod(dir.path.c_str(), 0777);
            std::string conf = dir.path + "ngircd.conf";
            std::string log = dir.path + "ngircd.log";
            posix_spawn_file_actions_t fa;
            posix_spawn_file_actions_init(&fa);
            posix_spawn_file_actions_addopen(&fa, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_adddup2(&fa, 1, 2);
            char* argv[] = {const_cast<char*>(kNgircd), const_cast<char*>("--nodaemon"),
                            const_cast<char*>("--config"), conf.data(), nullptr};
            int rc = posix_spawn(&pid, kNgircd, &fa, nullptr, argv, environ);
            posix_spawn_file_actions_destroy(&fa);
            if (rc != 0) {
                pid = -1;
                return false;
            }
            for (int i = 0; i < 100; ++i) {
                int fd = connect_to(port);
                if (fd >= 0) {
                    ::close(fd);
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            stop();
        }
        return false;
    }
    void stop()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    ~Ngircd() { stop(); }
};

// A plain client of the server on a real socket.
struct Peer {
    int fd = -1;
    std::string buffer;

    ~Peer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    void send(const std::string& line) { (void)!::write(fd, (line + "\r\n").data(), line.size() + 2); }
    // Reads lines until one holds the text (PINGs answered); false after ms.
    bool wait_for(const std::string& text, int ms, std::string* found = nullptr)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            std::size_t nl;
            while ((nl = buffer.find('\n')) != std::string::npos) {
                std::string line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                if (line.rfind("PING", 0) == 0)
                    send("PONG" + line.substr(4));
                if (line.find(text) != std::string::npos) {
                    if (found)
                        *found = line;
                    return true;
                }
            }
            window_test_pump();  // the program under test runs meanwhile
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char chunk[4096];
                ssize_t n = ::read(fd, chunk, sizeof chunk);
                if (n <= 0)
                    return false;
                buffer.append(chunk, static_cast<std::size_t>(n));
            }
        }
        return false;
    }
};

class PopupServer : public PopupWindows {
    SavedValues<ProxySettings, IdentSettings> saved_{proxy_settings, ident_settings};

protected:
    void SetUp() override
    {
        PopupWindows::SetUp();
        // A straight link: no proxy, no ident service, whatever ran before.
        proxy_settings = ProxySettings();
        ident_settings = IdentSettings();
        if (::access(kNgircd, X_OK) != 0)
            GTEST_SKIP() << "no IRC server installed";
        ASSERT_TRUE(server.start()) << "the IRC server did not start";
        // The link is real here.
        conn->connected = 0;
        conn->socket = -1;
    }
    // The lines the connection sent, from its /debug traffic file.
    std::vector<std::string> traffic() { return traffic_sent(temp.path() + "traffic.log"); }
    Ngircd server;
};

TEST_F(PopupServer, ANickListMenuFromThePopupFileSendsItsLineForTheClickedNick)
{
    write_popups({{"[lpopup]", {"Greet {", "  msg $1 hello from the popup", "}", "-",
                                "Info", ".Whois:/whois $1"}}});
    conn->stored_identity[0] = "Popup Tester";
    conn->stored_identity[1] = "popups@example.org";
    conn->stored_identity[2] = "popme";
    conn->stored_identity[3] = "popme_";
    WindowRecord* status = win_record_of(conn->status_window);
    ASSERT_TRUE(status && status->editbox.get());
    auto type = [&](WindowRecord* rec, const std::string& text) {
        QTest::keyClicks(rec->editbox.get(), QString::fromStdString(text));
        QTest::keyClick(rec->editbox.get(), Qt::Key_Return);
        window_test_pump();
    };
    type(status, "/server 127.0.0.1:" + std::to_string(server.port));
    ASSERT_TRUE(pump_until([&] { return conn_is_live(conn) && conn->registered; }, 30000))
        << "no logon to the server:" << window_text(status) << "\nserver: " << slurp(server.dir.path + "ngircd.log");
    type(status, "/debug traffic.log");  // every line sent is written there

    // Two peers in the channel: the first (an operator, shown "@pal") and
    // one whose nick holds the character that separates commands.
    Peer plain, odd;
    for (auto [peer, nick] : {std::pair<Peer*, const char*>{&plain, "pal"}, {&odd, "x|y"}}) {
        peer->fd = connect_to(server.port);
        ASSERT_GE(peer->fd, 0);
        peer->send(std::string("NICK ") + nick);
        peer->send("USER p 0 * :peer");
        ASSERT_TRUE(peer->wait_for(" 001 ", 30000)) << nick;
        peer->send("JOIN #popt");
        ASSERT_TRUE(peer->wait_for("JOIN", 30000)) << nick;
    }
    type(status, "/join #popt");
    WindowRecord* chan = nullptr;
    ASSERT_TRUE(pump_until(
        [&] {
            chan = win_find_channel("#popt", conn);
            return chan && nicklist_find(chan, "pal") && nicklist_find(chan, "x|y");
        },
        30000))
        << "the channel never listed both peers";

    const struct {
        Peer* peer;
        const char* nick;
    } cases[] = {{&plain, "pal"}, {&odd, "x|y"}, {&plain, "pal"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nick);
        QMenu* menu = rclick_nick(chan, c.nick);
        ASSERT_TRUE(menu) << "no popup on " << c.nick;
        EXPECT_EQ(captions(menu), (std::vector<std::string>{"Greet", "-", "Info"}));
        const std::size_t before = traffic().size();
        choose(menu, "Greet");
        std::string line;
        ASSERT_TRUE(c.peer->wait_for("PRIVMSG", 5000, &line)) << "nothing reached " << c.nick;
        // The block ran alone: nothing of the lines after it was sent.
        const std::vector<std::string> all = traffic();
        EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(std::min(before, all.size())), all.end()),
                  std::vector<std::string>{std::string("PRIVMSG ") + c.nick + " :hello from the popup"});
        EXPECT_NE(line.find(":popme!"), std::string::npos) << line;
        EXPECT_NE(line.find(std::string("PRIVMSG ") + c.nick + " :hello from the popup"),
                  std::string::npos)
            << line;
    }
    // The other peer heard nothing of the messages to the first.
    std::string stray;
    EXPECT_FALSE(odd.wait_for("PRIVMSG", 300, &stray)) << stray;
    EXPECT_TRUE(conn->registered) << "still connected";
}

}  // namespace
