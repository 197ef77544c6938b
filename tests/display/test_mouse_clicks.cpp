// The mouse on windows: double-clicks on the real text area and nick list
// run the configured commands, hotlinks in shown text open addresses and
// join channels (chat text never becomes command text), the pointer follows
// hotlinks, a press on a member's nick selects it, and the word tests
// (channels, addresses, nick candidates) hold at their boundaries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

#include <cstdio>
#include <fstream>

#include <string>
#include <vector>

#include "app/child_window.h"
#include "display/child_layout.h"
#include "app/child_widgets.h"
#include "model/connection.h"
#include "app/popup_menus.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/options.h"
#include "model/colors.h"
#include "display/draw.h"
#include "display/hotlinks.h"
#include "model/line_buffer.h"
#include "display/mouse_clicks.h"
#include "model/nick_list.h"
#include "display/wrap.h"
#include "irc/lists/notify_list.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/popups.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"

void lines_test_reset();
void lines_test_pump();
Connection* lines_test_conn();
WindowRecord* lines_test_open(const std::string& name, int type, int subtype, Connection* conn);
void lines_test_clear(WindowRecord* rec);

namespace {

std::vector<std::string> g_opened;

class MouseClicks : public ::testing::Test {
protected:
    HookGuard hooks;
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
    ClickCommands saved_commands = click_commands;

    void SetUp() override
    {
        lines_test_reset();
        app_install_subsystems();
        wrap_measurer_override = nullptr;  // the painter's own fonts
        g_opened.clear();
        desktop_open_hook = [](const std::string& url) {
            g_opened.push_back(url);
            return 1;
        };
        conn = lines_test_conn();
        ASSERT_NE(conn, nullptr);
        conn->chan_types = "#&";
        conn->connected = 1;
        conn->registered = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        channel = lines_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_NE(channel, nullptr);
        ASSERT_NE(channel->text_area.get(), nullptr);
        QWidget* top = channel->hwnd.get()->window();
        top->resize(700, 500);
        top->show();
        lines_test_pump();
        win_layout(channel->hwnd.get(), 32879);
        lines_test_pump();
        win_active = channel->hwnd.get();
        clicks_load();
    }
    void TearDown() override
    {
        click_commands = saved_commands;
        for (Connection* c = conn_list; c; c = c->next)
            c->socket = -1;
        hotlink_clear();
        lines_test_reset();
    }

    void print(const std::string& text)
    {
        print_line(channel->hwnd.get(), text, kColorNormalText);
        lines_test_pump();
    }

    QRect area()
    {
        WinRect r;
        win_text_rect(channel->hwnd.get(), r, 0);
        return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }

    // The middle of the first character of the word in the newest line.
    QPoint at_word(const std::string& word)
    {
        std::vector<ShownLine> s;
        draw_lines_in_view(channel, area(), s);
        EXPECT_FALSE(s.empty());
        if (s.empty())
            return {};
        const ShownLine& row = s.back();
        const std::size_t at = row.line->text.find(word);
        EXPECT_NE(at, std::string::npos) << word;
        std::vector<CharBox> boxes;
        draw_line_char_boxes(channel, row.line, area().left() + 2, boxes);
        for (const CharBox& b : boxes)
            if (b.from <= static_cast<int>(at) && static_cast<int>(at) < b.to)
                return QPoint((b.left + b.right) / 2, row.top + 3);
        ADD_FAILURE() << "no box for " << word;
        return {};
    }

    void dclick(QPoint p, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::mouseDClick(channel->text_area.get(), Qt::LeftButton, mods, p);
        lines_test_pump();
    }

    void move(QPoint p)
    {
        QWidget* w = channel->text_area.get();
        QMouseEvent e(QEvent::MouseMove, QPointF(p), w->mapToGlobal(QPointF(p)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

    std::vector<std::string> sent_starting(const std::string& word)
    {
        std::vector<std::string> out;
        for (const std::string& s : wire.lines())
            if (s.rfind(word, 0) == 0)
                out.push_back(s);
        return out;
    }
};

// With no web browser on the system the double-click says what is missing
// instead of doing nothing; with one, nothing is said.
TEST_F(MouseClicks, AnAddressWithNoBrowserToOpenItSaysSo)
{
    const std::string said = "* Cannot open http://example.com/page: no web browser is set";
    auto count_said = [&] {
        // In the active window (the channel), else the status window.
        int n = 0;
        for (const WindowRecord* rec : {channel, win_record_of(conn->status_window.data())})
            for (const StringNode* l = rec ? rec->lines : nullptr; l; l = l->next)
                n += l->text == said ? 1 : 0;
        return n;
    };
    desktop_open_hook = [](const std::string& url) {
        g_opened.push_back(url);
        return 0;
    };
    print("<alice> see http://example.com/page now");
    dclick(at_word("http://"));
    EXPECT_EQ(g_opened, std::vector<std::string>{"http://example.com/page"});
    EXPECT_EQ(count_said(), 1);
    desktop_open_hook = [](const std::string& url) {
        g_opened.push_back(url);
        return 1;
    };
    print("<alice> see http://example.com/page again");
    dclick(at_word("http://"));
    EXPECT_EQ(g_opened.size(), 2u);
    EXPECT_EQ(count_said(), 1) << "a browser opened it: nothing to say";
}

TEST_F(MouseClicks, AddressInChannelTextOpensThroughTheDesktopOnDoubleClick)
{
    const struct {
        const char* line;
        const char* word;
        const char* opened;
    } cases[] = {
        {"<alice> see http://example.com/page. now", "http://", "http://example.com/page"},
        {"<alice> (www.example.org/a) ok", "(www.", "www.example.org/a"},
        {"<alice> at <https://example.net/x>", "<https", "https://example.net/x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        g_opened.clear();
        print(c.line);
        dclick(at_word(c.word));
        EXPECT_EQ(g_opened, std::vector<std::string>{c.opened});
        EXPECT_EQ(hotlink_window(), channel->hwnd.get());
        EXPECT_TRUE(sent_starting("CHAN").empty()) << "a hotlink is not a double-click on text";
    }
    // The only line of the window, and an address on the wrapped part of a
    // long line.
    lines_test_clear(channel);
    g_opened.clear();
    print("http://only.example/a");
    dclick(at_word("http://only"));
    std::string long_line = "<alice>";
    for (int i = 0; i < 80; ++i)
        long_line += " word" + std::to_string(i);
    print(long_line + " http://wrap.example/z");
    std::vector<ShownLine> rows;
    draw_lines_in_view(channel, area(), rows);
    ASSERT_GE(rows.size(), 3u);
    ASSERT_EQ(rows[rows.size() - 2].line->serial, rows.back().line->serial) << "the line wrapped";
    dclick(at_word("http://wrap"));
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://only.example/a", "http://wrap.example/z"}));
    print("<alice> at <https://example.net/x>");

    // Twice on the same address: opened twice, nothing else.
    g_opened.clear();
    const QPoint p = at_word("<https");
    dclick(p);
    dclick(p);
    EXPECT_EQ(g_opened, (std::vector<std::string>{"https://example.net/x", "https://example.net/x"}));
}

TEST_F(MouseClicks, ChannelNameInTextJoinsWithoutEvaluatingOrSplitting)
{
    const struct {
        const char* word;
        const char* join;
    } cases[] = {
        {"#a|/quit", "JOIN #a|/quit"},
        {"#$me", "JOIN #$me"},
        {"#x;/raw", "JOIN #x;/raw"},
        {"@#ops,", "JOIN #ops"},
        {"#other.", "JOIN #other"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        wire.clear();
        print(std::string("<mallory> come to ") + c.word + " now");
        dclick(at_word(c.word));
        EXPECT_EQ(sent_starting("JOIN"), std::vector<std::string>{std::string(c.join) + "\n"});
        EXPECT_TRUE(sent_starting("QUIT").empty());
        EXPECT_TRUE(sent_starting("RAW").empty());
        EXPECT_TRUE(conn_is_live(conn));
    }
}

TEST_F(MouseClicks, ChannelTextDoubleClickRunsTheChannelCommandOnlyOffHotlinks)
{
    click_commands.channel = "/chanclick";
    print("<alice> plain words here");
    dclick(at_word("words"));
    EXPECT_EQ(sent_starting("CHANCLICK"), std::vector<std::string>{"CHANCLICK\n"});
    EXPECT_TRUE(g_opened.empty());

    // An empty command beeps and runs nothing.
    wire.clear();
    click_commands.channel.clear();
    dclick(at_word("words"));
    EXPECT_TRUE(wire.lines().empty());
}

TEST_F(MouseClicks, NickHotlinkRunsNicklistCommandAndPressSelectsTheMember)
{
    nicklist_update("bob", channel, 1, nicklist_prefix_bit(conn, '@'));
    nicklist_update("carol", channel, 1, 1);
    click_commands.nicklist = "/picked $$1";
    const struct {
        const char* line;
        const char* word;
        const char* sent;
    } cases[] = {
        {"<alice> hi bob: there", "bob:", "PICKED bob\n"},
        {"<alice> hi [carol] there", "[carol]", "PICKED carol\n"},
        {"<alice> hi @Bob there", "@Bob", "PICKED bob\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        wire.clear();
        print(c.line);
        dclick(at_word(c.word));
        EXPECT_EQ(sent_starting("PICKED"), std::vector<std::string>{c.sent});
    }
    // A word that is nobody's nick is no hotlink: the channel command runs.
    wire.clear();
    click_commands.channel = "/chanclick";
    print("<alice> hi dave there");
    dclick(at_word("dave"));
    EXPECT_TRUE(sent_starting("PICKED").empty());
    EXPECT_EQ(sent_starting("CHANCLICK").size(), 1u);

    // A left press on a member's nick selects it in the nick list.
    print("<alice> ask carol now");
    QListWidget* list = channel->listbox.get();
    list->setCurrentRow(0);
    QTest::mousePress(channel->text_area.get(), Qt::LeftButton, Qt::NoModifier, at_word("carol"));
    QTest::mouseRelease(channel->text_area.get(), Qt::LeftButton, Qt::NoModifier, at_word("carol"));
    ASSERT_NE(list->currentItem(), nullptr);
    EXPECT_EQ(list->currentItem()->text().toStdString(), "carol");
}

TEST_F(MouseClicks, DoubleClickOnNickListRunsTheCommandWithTheBareNick)
{
    nicklist_update("bob", channel, 1, nicklist_prefix_bit(conn, '@'));
    nicklist_update("carol", channel, 1, nicklist_prefix_bit(conn, '+'));
    nicklist_update("dave", channel, 1, 1);
    lines_test_pump();
    click_commands.nicklist = "/picked $$1";
    QListWidget* list = channel->listbox.get();
    ASSERT_EQ(list->count(), 3);
    const char* expect[] = {"PICKED bob\n", "PICKED carol\n", "PICKED dave\n"};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        wire.clear();
        const QPoint p = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, p);
        lines_test_pump();
        EXPECT_EQ(sent_starting("PICKED"), std::vector<std::string>{expect[row]});
    }
}

TEST_F(MouseClicks, EnterInTheNickListActsAsADoubleClickOnTheCaretOnly)
{
    nicklist_update("bob", channel, 1, nicklist_prefix_bit(conn, '@'));
    nicklist_update("carol", channel, 1, 1);
    lines_test_pump();
    click_commands.nicklist = "/picked $$1";
    QListWidget* list = channel->listbox.get();
    ASSERT_EQ(list->count(), 2);
    list->setFocus();
    for (int row : {1, 0, 0}) {  // the same item twice: each Enter acts once
        SCOPED_TRACE(row);
        list->clearSelection();
        list->setCurrentRow(row);
        wire.clear();
        QTest::keyClick(list, Qt::Key_Return);
        lines_test_pump();
        EXPECT_EQ(sent_starting("PICKED"),
                  std::vector<std::string>{row == 0 ? "PICKED bob\n" : "PICKED carol\n"});
    }
    // Nothing selected: Enter runs nothing.
    list->clearSelection();
    wire.clear();
    QTest::keyClick(list, Qt::Key_Return);
    lines_test_pump();
    EXPECT_TRUE(sent_starting("PICKED").empty());
}

TEST_F(MouseClicks, PointerTurnsToAHandOverHotlinksOnly)
{
    nicklist_update("bob", channel, 1, 1);
    print("<alice> bob see http://example.com/x plain");
    TextArea* area = channel->text_area.get();
    move(at_word("http://"));
    EXPECT_EQ(area->cursor().shape(), Qt::PointingHandCursor);
    move(at_word("plain"));
    EXPECT_NE(area->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(hotlink_window(), nullptr);
    move(at_word("bob"));
    EXPECT_EQ(area->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(hotlink_word(), "bob");
    // Only mail addresses need Shift: a move without it finds none.
    print("<alice> mail me@example.com");
    move(at_word("me@"));
    EXPECT_NE(area->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(g_opened.empty()) << "hovering opens nothing";
}

TEST_F(MouseClicks, NotifyNickInStatusTextRunsTheNotifyCommand)
{
    ASSERT_EQ(notify_add("Zoe!*@*.example", "", "", "", 0, "", conn), 1);
    click_commands.notify = "/ncl $$1";
    click_commands.status = "/stclick";
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_NE(status, nullptr);
    WindowRecord* saved = channel;
    channel = status;  // the helpers work on the status window now
    win_active = status->hwnd.get();
    const struct {
        const char* word;
        const char* sent;
    } cases[] = {
        {"zoe", "NCL Zoe\n"},
        {"<Zoe>", "NCL Zoe\n"},
        {"zoey", "STCLICK\n"},  // no entry: the status command
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        wire.clear();
        print(std::string("* ") + c.word + " is here");
        dclick(at_word(c.word));
        std::vector<std::string> got = sent_starting("NCL");
        for (const std::string& x : sent_starting("STCLICK"))
            got.push_back(x);
        EXPECT_EQ(got, std::vector<std::string>{c.sent});
    }
    channel = saved;
}

TEST_F(MouseClicks, ScriptClaimsItsWordsFirstThroughTheHotlinkEvent)
{
    SavedValues<int> hold{event_startup_hold};
    event_startup_hold = 0;  // the program has started: events run
    const std::string path = settings_dir + "hot.kst";
    {
        std::ofstream out(path);
        out << "on ^1:HOTLINK:*zap*:*:return\n";
        out << "on 1:HOTLINK:*zap*:*:zapped $hotlinepos\n";
    }
    ASSERT_NE(remote_file_load(path, kRemoteScript, 9999, nullptr), nullptr);
    lines_test_clear(channel);
    print("<alice> one two zap.example.com http://x.example/y");
    dclick(at_word("zap"));
    EXPECT_EQ(sent_starting("ZAPPED"), std::vector<std::string>{"ZAPPED 1 4\n"})
        << "the word's line and word numbers";
    EXPECT_TRUE(g_opened.empty()) << "a claimed address is the script's";
    dclick(at_word("http://"));
    EXPECT_EQ(g_opened, std::vector<std::string>{"http://x.example/y"});
    EXPECT_EQ(sent_starting("ZAPPED").size(), 1u);
    // Hovering over a claimed word runs only the test, never the handler.
    wire.clear();
    move(at_word("zap"));
    EXPECT_EQ(channel->text_area.get()->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(sent_starting("ZAPPED").empty());
    remote_files_free_all();
}

TEST_F(MouseClicks, RightClickOnAHotlinkOpensItsOwnPopup)
{
    {
        std::ofstream out(settings_dir + "popups.ini");
        out << "[lpopup]\nn0=Whois $1:/whois $1\n";
    }
    popup_files_load_all();
    nicklist_update("bob", channel, 1, 1);
    nicklist_update("carol", channel, 1, 1);
    print("<alice> carol and bob meet on #other, not here");
    const struct {
        const char* word;
        const char* context;
        const char* saved;
        int kind;
    } cases[] = {
        {"#other", "channel hotlink", "#other", kPopupChannelHotlink},
        {"bob", "nicklist hotlink", "bob", kPopupNicklist},
        {"carol", "nicklist hotlink", "carol", kPopupNicklist},
    };
    QListWidget* list = channel->listbox.get();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        menu_popup_reset();
        QTest::mouseClick(channel->text_area.get(), Qt::RightButton, Qt::NoModifier, at_word(c.word));
        lines_test_pump();
        EXPECT_EQ(popup_context.context, c.context);
        EXPECT_EQ(popup_context.saved.hotlink, c.saved);
        EXPECT_EQ(popup_context.kind, c.kind);
        ASSERT_NE(popup_context.menu.data(), nullptr);
        EXPECT_FALSE(popup_context.menu->isEmpty());
        if (c.kind == kPopupNicklist) {
            ASSERT_NE(list->currentItem(), nullptr);
            EXPECT_EQ(list->currentItem()->text().toStdString(), c.word) << "the member is selected";
            // The item runs for the nick under the pointer.
            wire.clear();
            QAction* whois = nullptr;
            for (QAction* a : popup_context.menu->actions())
                if (a->text().startsWith("Whois"))
                    whois = a;
            ASSERT_NE(whois, nullptr);
            whois->trigger();
            lines_test_pump();
            EXPECT_EQ(sent_starting("WHOIS"), std::vector<std::string>{"WHOIS " + std::string(c.word) + "\n"});
        }
        if (popup_context.menu)
            popup_context.menu->close();
        lines_test_pump();
    }
    // A plain word offers no hotlink popup; nothing runs.
    menu_popup_reset();
    wire.clear();
    QTest::mouseClick(channel->text_area.get(), Qt::RightButton, Qt::NoModifier, at_word("meet"));
    lines_test_pump();
    EXPECT_EQ(popup_context.context.find("hotlink"), std::string::npos);
    EXPECT_TRUE(wire.lines().empty());
    menu_popup_reset();
    std::remove((settings_dir + "popups.ini").c_str());
    popup_files_load_all();
}

TEST_F(MouseClicks, StatusAndQueryDoubleClicksRunTheirCommands)
{
    click_commands.status = "/stclick";
    click_commands.query = "/qclick $$1";
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(clicks_text_dblclick(status->hwnd.get(), QPoint(5, 5), 0), 1);
    WindowRecord* query = lines_test_open("Zed", kWinQuery, kQueryPrivate, conn);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(clicks_text_dblclick(query->hwnd.get(), QPoint(5, 5), 0), 1);
    EXPECT_EQ(sent_starting("STCLICK"), std::vector<std::string>{"STCLICK\n"});
    EXPECT_EQ(sent_starting("QCLICK"), std::vector<std::string>{"QCLICK Zed\n"});
    // A window without a live connection does nothing.
    wire.clear();
    EXPECT_EQ(clicks_text_dblclick(nullptr, QPoint(5, 5), 0), 0);
    EXPECT_TRUE(wire.lines().empty());
}

TEST_F(MouseClicks, LoadFillsEmptyKeysFromTheLoadedQueryCommand)
{
    const struct {
        const char* query;
        const char* notify;
        const char* expect_query;
        const char* expect_notify;
        const char* expect_message;
    } cases[] = {
        {"", "", "/whois $$1", "/whois $$1", "/whois $$1"},
        {"/q $$1", "", "/q $$1", "/q $$1", "/q $$1"},
        {"/q $$1", "/n $$1", "/q $$1", "/n $$1", "/q $$1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        ini_write("clicks", nullptr, nullptr, main_ini_path);
        ini_write("clicks", "query", c.query, main_ini_path);
        ini_write("clicks", "notify", c.notify, main_ini_path);
        click_commands = ClickCommands();
        clicks_load();
        EXPECT_EQ(click_commands.status, "/lusers");
        EXPECT_EQ(click_commands.channel, "/channel");
        EXPECT_EQ(click_commands.nicklist, "/query $$1");
        EXPECT_EQ(click_commands.query, c.expect_query);
        EXPECT_EQ(click_commands.notify, c.expect_notify);
        EXPECT_EQ(click_commands.message, c.expect_message);
        // Saved and loaded again: the same six.
        const ClickCommands before = click_commands;
        clicks_save();
        click_commands = ClickCommands();
        clicks_load();
        EXPECT_EQ(click_commands.notify, before.notify);
        EXPECT_EQ(click_commands.message, before.message);
    }
}

TEST(HotlinkWords, ChannelNamesBalanceTheirTrailingPunctuation)
{
    HookGuard hooks;
    lines_test_reset();
    Connection* conn = lines_test_conn();
    ASSERT_NE(conn, nullptr);
    conn->chan_types = "#&";
    const struct {
        const char* word;
        const char* before;
        const char* name;
    } cases[] = {
        {"#kest)", "see ", "#kest)"},      // no '(' before: kept
        {"#kest)", "see (", "#kest"},      // an unmatched '(' before: removed
        {"#kest))", "((x ", "#kest"},      // two openers: both closers go
        {"#kest)", "() ) ", "#kest"},      // more closers before: one goes
        {"#kest\"", "say \"", "#kest"},    // an odd quote before
        {"#kest\"", "say \"a\" ", "#kest\""},
        {"#kest,#other", "", "#kest"},
        {"#kest:", "", "#kest"},
        {"@+#kest", "", "#kest"},
        {"#k", "", "#k"},                  // two characters: a channel
        {"#", "", ""},                     // one: none
        {"#.", "", ""},
        {"kest", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.word) + " after '" + c.before + "'");
        EXPECT_EQ(hotlink_channel_name(c.word, c.before, "@%+", conn), c.name);
    }
    lines_test_reset();
}

TEST(HotlinkWords, AddressesByTheSchemeTable)
{
    const struct {
        const char* word;
        const char* before;
        int shift;
        const char* address;
    } cases[] = {
        {"http:x.y", "", 0, ""},              // scheme plus 3: too short
        {"http:x.yz", "", 0, "http:x.yz"},    // scheme plus 4
        {"HTTPS://Example.com", "", 0, "HTTPS://Example.com"},
        {"www.example", "", 0, ""},           // no further '.'
        {"www.example.com", "", 0, "www.example.com"},
        {"ftp.a.b", "", 0, ""},               // under 8
        {"ftp.ab.cd", "", 0, "ftp.ab.cd"},
        {"me@example.com", "", 0, ""},        // '@' only with Shift
        {"me@example.com", "", 1, "me@example.com"},
        {"<http://a.example/x>", "", 0, "http://a.example/x"},
        {"<http://a.example/x>,", "", 0, "http://a.example/x"},
        {"(http://a.example/x)", "", 0, "http://a.example/x"},
        {"http://a.example/x).", "", 0, "http://a.example/x)"},
        {"http://a.example/x).", "see (", 0, "http://a.example/x"},
        {"example.com", "", 0, ""},           // no scheme
        {"x", "", 0, ""},
        {"", "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(hotlink_address(c.word, c.before, c.shift), c.address);
    }
}

TEST(HotlinkWords, NickCandidates)
{
    const struct {
        const char* word;
        std::vector<std::string> nicks;
    } cases[] = {
        {"Bob", {"bob", "", "", ""}},
        {"@Bob:", {"bob", "", "", ""}},
        {"[bob]", {"[bob]", "bob", "", ""}},
        {"<@bob>", {"<@bob>", "@bob", "bob", ""}},
        {"bob,", {"bob,", "", "bob", ""}},
        {"-bob-", {"-bob-", "bob", "", ""}},
        {"*bob!", {"*bob!", "bob!", "*bob", "bob"}},
        {":bob", {"", "", "", ""}},
        {"b", {"b", "", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        const HotlinkNicks n = hotlink_nick_candidates(c.word, "@%+");
        EXPECT_EQ(std::vector<std::string>(n.nick, n.nick + 4), c.nicks);
    }
}

}  // namespace
