// Right-click menus on real windows: the popup files and script "menu"
// sections give the items, a right-click with the mouse shows them, and
// the item picked runs its command with the window's selection as $1-.
// The last test takes its channel from a real IRC server.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/child_widgets.h"
#include "app/connection.h"
#include "app/frame_proc.h"
#include "app/popup_menus.h"
#include "app/subsystems.h"
#include "app/window_record.h"
#include "core/ini.h"
#include "core/options.h"
#include "display/backgrounds.h"
#include "display/editbox.h"
#include "display/nick_list.h"
#include "irc/link/send_queue.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/popups.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

std::vector<std::string>& sent()
{
    static std::vector<std::string> s;
    return s;
}

int beeps = 0;

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
        sent().clear();
        irc_send_line = [](const std::string& line, int, Connection*) {
            sent().push_back(line);
            return 1;
        };
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        remote_files_free_all();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->connected = 1;
        conn->socket = 1000;  // stands for an open link; never used
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
    QMenu* rclick_nick(WindowRecord* chan, const std::string& shown)
    {
        ListBox* list = chan->listbox.get();
        if (!list)
            return nullptr;
        auto found = list->findItems(QString::fromStdString(shown), Qt::MatchExactly);
        if (found.isEmpty())
            return nullptr;
        QRect r = list->visualItemRect(found.first());
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, r.center());
        window_test_pump();
        return open_popup();
    }

    QMenu* rclick_text(WindowRecord* rec)
    {
        QWidget* area = rec->text_area.get();
        if (!area)
            return nullptr;
        QTest::mouseClick(area, Qt::RightButton, {}, QPoint(area->width() / 2, area->height() / 2));
        window_test_pump();
        return open_popup();
    }

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
        sent().clear();
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
    sent().clear();
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
    sent().clear();
    choose(menu, "Everywhere");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG #pop :hello from two\n"});
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
    sent().clear();
    EXPECT_EQ(menu_popup_command(id), 0);
    EXPECT_TRUE(sent().empty());
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
