// The nick list: order by rank and nick with the connection's prefixes,
// joins, parts, nick and mode changes, the cost of a change on a large
// channel, the printed form of a nick, the [nicklist] settings, the width and
// the auto-hide.
#include <gtest/gtest.h>

#include <QCursor>
#include <QApplication>
#include <QFontMetrics>
#include <QTest>
#include <QListWidget>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/options.h"
#include "display/nick_list.h"
#include "display/window_queries.h"
#include "support/hook_guard.h"

void input_test_reset();
void input_test_pump();
Connection* input_test_conn();
WindowRecord* input_test_open(const std::string& name, int type, int subtype, Connection* conn);

namespace {

class NickListTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        input_test_reset();
        conn = input_test_conn();
        ASSERT_TRUE(conn);
        channel = input_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
        ASSERT_TRUE(channel->listbox.get());
    }
    void TearDown() override { input_test_reset(); }

    // The list box's texts, checked against the nick list itself.
    std::vector<std::string> shown()
    {
        std::vector<std::string> out;
        QListWidget* list = channel->listbox.get();
        for (int i = 0; i < list->count(); ++i)
            out.push_back(list->item(i)->text().toStdString());
        std::vector<std::string> nodes;
        for (StringNode* n = channel->nick_list; n; n = n->next) {
            char p = nicklist_top_prefix(conn, n->number);
            nodes.push_back((p ? std::string(1, p) : std::string()) + n->text);
        }
        EXPECT_EQ(out, nodes) << "the list box and the nick list agree";
        return out;
    }

    int bit(char c) { return nicklist_prefix_bit(conn, c); }

    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
};

TEST_F(NickListTest, OrderByRankThenNickWithPrefixTables)
{
    struct Member {
        const char* nick;
        const char* prefixes;
    };
    struct Case {
        const char* what;
        const char* prefix_chars;
        std::vector<Member> members;
        std::vector<std::string> expect;
    };
    const Case cases[] = {
        {"PREFIX (qaohv)~&@%+",
         "~&@%+",
         {{"zed", ""}, {"Owner", "~"}, {"amy", "+"}, {"op2", "@"}, {"adm", "&"}, {"half", "%"},
          {"Bob", ""}, {"op1", "@+"}, {"alf", ""}},
         {"~Owner", "&adm", "@op1", "@op2", "%half", "+amy", "alf", "Bob", "zed"}},
        {"default prefixes",
         "",
         {{"c", "+"}, {"b", "@"}, {"a", ""}, {"D", "@"}, {"e", "%+"}},
         {"@b", "@D", "%e", "+c", "a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        input_test_reset();
        conn = input_test_conn();
        conn->nick_prefixes = c.prefix_chars;
        channel = input_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
        for (const Member& m : c.members) {
            int bits = 1;
            for (const char* p = m.prefixes; *p; ++p)
                bits |= bit(*p);
            EXPECT_EQ(nicklist_update(m.nick, channel, kNickAddOrChange, bits), bits);
        }
        EXPECT_EQ(shown(), c.expect);
    }
}

TEST_F(NickListTest, PrefixBitsFollowTheRankOrder)
{
    conn->nick_prefixes = "~&@%+";
    const char chars[] = {'~', '&', '@', '%', '+'};
    const int bits[] = {32, 16, 8, 4, 2};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(chars[i]);
        EXPECT_EQ(nicklist_prefix_bit(conn, chars[i]), bits[i]);
        EXPECT_EQ(nicklist_top_prefix(conn, bits[i] | 1), chars[i]);
    }
    EXPECT_EQ(nicklist_prefix_bit(conn, '#'), 0);
    EXPECT_EQ(nicklist_top_prefix(conn, 1), 0);
    EXPECT_EQ(nicklist_top_prefix(conn, 8 | 2 | 1), '@');
    conn->nick_prefixes.clear();
    EXPECT_EQ(nicklist_prefix_bit(conn, '@'), 8);
    EXPECT_EQ(nicklist_prefix_bit(conn, '+'), 2);
}

TEST_F(NickListTest, JoinPartModeAndNickChangesKeepTheOrder)
{
    for (const char* n : {"dave", "carol", "bob", "alice"})
        nicklist_update(n, channel, kNickAddOrChange, 1);
    struct Step {
        const char* what;
        const char* nick;
        int op;
        int value;        // for a mode change: the prefix char's bit, signed
        int result;
        std::vector<std::string> expect;
    };
    const int op = 8, voice = 2;
    const Step steps[] = {
        {"op carol", "carol", kNickAddOrChange, op, 9, {"@carol", "alice", "bob", "dave"}},
        {"voice bob", "bob", kNickAddOrChange, voice, 3, {"@carol", "+bob", "alice", "dave"}},
        {"voice bob again changes nothing", "bob", kNickAddOrChange, voice, 3,
         {"@carol", "+bob", "alice", "dave"}},
        {"voice carol: still an op", "carol", kNickAddOrChange, voice, 11,
         {"@carol", "+bob", "alice", "dave"}},
        {"deop carol: voiced, before bob", "carol", kNickAddOrChange, -op, 3,
         {"+bob", "+carol", "alice", "dave"}},
        {"join Ben among the plain", "Ben", kNickAddOrChange, 1, 1,
         {"+bob", "+carol", "alice", "Ben", "dave"}},
        {"part alice", "alice", kNickRemove, 0, 1, {"+bob", "+carol", "Ben", "dave"}},
        {"part someone absent", "nobody", kNickRemove, 0, 0, {"+bob", "+carol", "Ben", "dave"}},
        {"test bits", "carol", kNickTest, 0, 3, {"+bob", "+carol", "Ben", "dave"}},
        {"test for op", "carol", kNickTest, op, 0, {"+bob", "+carol", "Ben", "dave"}},
        {"test for voice", "CAROL", kNickTest, voice, voice, {"+bob", "+carol", "Ben", "dave"}},
        {"devoice an absent nick", "nobody", kNickAddOrChange, -voice, 0,
         {"+bob", "+carol", "Ben", "dave"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(nicklist_update(s.nick, channel, s.op, s.value), s.result);
        EXPECT_EQ(shown(), s.expect);
    }

    // A nick change keeps the bits, the colour and the selection.
    QListWidget* list = channel->listbox.get();
    NickEntry* dave = nicklist_find(channel, "dave");
    ASSERT_TRUE(dave);
    dave->extra[kNickColour] = 4;
    list->item(nicklist_row_of(channel, dave))->setData(Qt::UserRole, 4);
    list->item(nicklist_row_of(channel, dave))->setSelected(true);
    EXPECT_EQ(nicklist_rename(channel, "dave", "aaron"), 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"+bob", "+carol", "aaron", "Ben"}));
    NickEntry* aaron = nicklist_find(channel, "aaron");
    ASSERT_TRUE(aaron);
    EXPECT_EQ(aaron->extra[kNickColour], 4);
    QListWidgetItem* item = list->item(nicklist_row_of(channel, aaron));
    EXPECT_EQ(item->data(Qt::UserRole).toInt(), 4);
    EXPECT_TRUE(item->isSelected());
    EXPECT_EQ(nicklist_find(channel, "dave"), nullptr);
    EXPECT_EQ(nicklist_change_carry, 0);
}

// The members keep their order without a list pane to follow them; a pane
// that comes back catches up at the next change.
TEST_F(NickListTest, MembersKeepTheirOrderWithoutThePane)
{
    nicklist_uninstall();
    for (const char* n : {"dave", "carol", "bob"})
        nicklist_update(n, channel, kNickAddOrChange, 1);
    nicklist_update("carol", channel, kNickAddOrChange, bit('@'));
    nicklist_update("bob", channel, kNickRemove, 0);
    std::vector<std::string> order;
    for (StringNode* n = channel->nick_list; n; n = n->next)
        order.push_back(n->text);
    EXPECT_EQ(order, (std::vector<std::string>{"carol", "dave"}));
    EXPECT_EQ(nicklist_count(channel), 2);
    EXPECT_EQ(nicklist_row_of(channel, nicklist_find(channel, "dave")), 1);
    EXPECT_EQ(channel->listbox->count(), 0) << "no pane listens: the list box stays as it was";

    nicklist_install();
    nicklist_update("alice", channel, kNickAddOrChange, 1);
    EXPECT_EQ(shown(), (std::vector<std::string>{"@carol", "alice", "dave"}));
    nicklist_update("dave", channel, kNickRemove, 0);
    EXPECT_EQ(shown(), (std::vector<std::string>{"@carol", "alice"}));
}

TEST_F(NickListTest, OnlyChannelsWithLiveConnectionsAndSaneNicks)
{
    WindowRecord* query = input_test_open("bob", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(query);
    EXPECT_EQ(nicklist_update("x", query, kNickAddOrChange, 1), 0);
    EXPECT_EQ(nicklist_update("", channel, kNickAddOrChange, 1), 0);
    EXPECT_EQ(nicklist_update(std::string(257, 'n'), channel, kNickAddOrChange, 1), 0);
    EXPECT_EQ(nicklist_update(std::string(256, 'n'), channel, kNickAddOrChange, 1), 1);
    EXPECT_EQ(nicklist_update("x", nullptr, kNickAddOrChange, 1), 0);
    EXPECT_EQ(nicklist_count(channel), 1);
}

TEST_F(NickListTest, TopIndexAndCaretStayOnTheirItems)
{
    QListWidget* list = channel->listbox.get();
    list->resize(120, 100);
    for (int i = 0; i < 60; ++i) {
        char nick[8];
        std::snprintf(nick, sizeof nick, "n%02d", i);
        nicklist_update(nick, channel, kNickAddOrChange, 1);
    }
    input_test_pump();
    list->verticalScrollBar()->setValue(20);
    list->setCurrentRow(30);
    QString top_text = list->item(list->verticalScrollBar()->value())->text();
    QString caret_text = list->currentItem()->text();
    nicklist_update("a_first", channel, kNickAddOrChange, 1);  // above both
    EXPECT_EQ(list->item(list->verticalScrollBar()->value())->text(), top_text);
    EXPECT_EQ(list->currentItem()->text(), caret_text);
    nicklist_update("n05", channel, kNickRemove, 0);  // above both
    EXPECT_EQ(list->item(list->verticalScrollBar()->value())->text(), top_text);
    EXPECT_EQ(list->currentItem()->text(), caret_text);
    nicklist_update("n50", channel, kNickRemove, 0);  // below both
    EXPECT_EQ(list->currentItem()->text(), caret_text);
}

// Seconds for `changes` mode and nick changes on a channel of `members`.
double churn_members(WindowRecord* channel, Connection* conn, int members, int changes)
{
    std::vector<std::string> nicks;
    for (int i = 0; i < members; ++i)
        nicks.push_back("user" + std::to_string(i * 7919 % 100003));
    std::mt19937 rng(42);
    for (const std::string& n : nicks)
        nicklist_update(n, channel, kNickAddOrChange, 1);
    const int op = nicklist_prefix_bit(conn, '@');
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < changes; ++i) {
        std::string& n = nicks[rng() % nicks.size()];
        switch (i % 4) {
        case 0: nicklist_update(n, channel, kNickAddOrChange, op); break;
        case 1: nicklist_update(n, channel, kNickAddOrChange, -op); break;
        case 2: {
            std::string renamed = n + "_";
            if (renamed.size() > 20)
                renamed = "r" + std::to_string(i);
            if (nicklist_rename(channel, n, renamed))
                n = renamed;
            break;
        }
        default:
            nicklist_update(n, channel, kNickRemove, 0);
            nicklist_update(n, channel, kNickAddOrChange, 1);
            break;
        }
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(NickListTest, ManyChangesOnALargeChannelKeepTheExactOrder)
{
    // The cost per change is measured by the benchmark; here the same churn
    // must leave a large channel's list exactly ordered.
    const int changes = 4000;
    WindowRecord* big = input_test_open("#big", kWinChannel, 0, conn);
    ASSERT_TRUE(big);
    churn_members(big, conn, 5000, changes);

    // The order is still exact after all the changes.
    std::vector<std::pair<int, std::string>> keys;
    for (StringNode* n = big->nick_list; n; n = n->next) {
        std::string lower = n->text;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        keys.push_back({-n->number, lower});
    }
    EXPECT_EQ(static_cast<int>(keys.size()), 5000);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(big->listbox->count(), 5000);
}

TEST_F(NickListTest, DisplayFormOfANick)
{
    nicklist_update("opper", channel, kNickAddOrChange, 9);
    nicklist_update("plain", channel, kNickAddOrChange, 1);
    NickEntry* fixed = nicklist_find(channel, "plain");
    ASSERT_TRUE(fixed);
    WindowRecord* query = input_test_open("bob", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(query);
    nicklist_colour_hook = [](WindowRecord*, const std::string& nick, int, int, int method) {
        if (method != 1)
            return -1;
        return nick == "opper" ? 4 : nick == "stranger" ? 12 : -1;
    };
    struct Case {
        const char* what;
        WindowRecord* rec;
        int kind;
        std::string nick;
        int prefixes_on;
        int colours_on;
        std::string expect;
    };
    const Case cases[] = {
        {"kind 2 with prefixes", channel, 2, "opper", 1, 1, "@opper"},
        {"kind 2 without prefixes", channel, 2, "opper", 0, 1, "opper"},
        {"kind 1, colours off", channel, 1, "opper", 1, 0, "@opper"},
        {"coloured member", channel, 1, "opper", 1, 1, "\x03" "04@opper\x0F"},
        {"coloured member without prefix", channel, 1, "opper", 0, 1, "\x03" "04opper\x0F"},
        {"no colour", channel, 1, "plain", 1, 1, "plain"},
        {"not a member uses the rules", channel, 1, "stranger", 1, 1, "\x03" "12stranger\x0F"},
        {"another window", query, 2, "opper", 1, 1, "opper"},
        {"too long stays", channel, 1, std::string(300, 'x'), 1, 1, std::string(300, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        opt_set(OPT_SHOW_NICK_PREFIX, c.prefixes_on);
        opt_set(OPT_NICK_COLOURS_ENABLED, c.colours_on);
        EXPECT_EQ(nick_display_form(c.rec, c.kind, c.nick, conn), c.expect);
    }
    // A fixed item colour wins over the rules.
    fixed->extra[kNickColourState] = 2;
    fixed->extra[kNickColour] = 7;
    opt_set(OPT_NICK_COLOURS_ENABLED, 1);
    opt_set(OPT_SHOW_NICK_PREFIX, 1);
    EXPECT_EQ(nick_display_form(channel, 0, "plain", conn), "\x03" "07plain\x0F");
}

TEST(NickListSettings, ParseKeepsDefaultsForMissingFields)
{
    NicklistDefaults saved = nicklist_defaults;
    nicklist_defaults = {0, 120, 1, 0};
    struct Case {
        const char* value;
        int side, width, auto_hide, shift_tab;
    };
    const Case cases[] = {
        {"left", 1, 120, 1, 0},
        {"right,90", 0, 90, 1, 0},
        {"off,80,0,1", 2, 80, 0, 1},
        {"middle,70", 0, 70, 1, 0},
        {"LEFT,,0", 1, 120, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        NicklistDefaults s = nicklist_parse_setting(c.value);
        EXPECT_EQ(s.side, c.side);
        EXPECT_EQ(s.width, c.width);
        EXPECT_EQ(s.auto_hide, c.auto_hide);
        EXPECT_EQ(s.shift_tab, c.shift_tab);
        NicklistDefaults again = nicklist_parse_setting(nicklist_setting_text(s));
        EXPECT_EQ(again.side, s.side);
        EXPECT_EQ(again.width, s.width);
    }
    EXPECT_EQ(nicklist_setting_text({1, 100, 1, 0}), "left,100,1,0");
    nicklist_defaults = saved;
}

TEST_F(NickListTest, WidthFromSettingsDefaultsOrCharacters)
{
    struct Case {
        const char* what;
        int chars;
        int default_width;
        const char* saved;   // [nicklist] #kest
        int expect;          // -1: measured
    };
    const Case cases[] = {
        {"saved width", 11, 50, "right,140", 140},
        {"default width", 11, 50, nullptr, 50},
        {"measured", 11, 0, nullptr, -1},
        {"no characters: unchanged", 0, 50, "right,140", 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ini_write("nicklist", "#kest", c.saved, "");
        nicklist_defaults.width = c.default_width;
        channel->side_list_chars = c.chars;
        channel->side_list_width = 77;
        int w = nicklist_width(channel);
        if (c.expect >= 0) {
            EXPECT_EQ(w, c.expect);
        } else {
            QFontMetrics fm(channel->font ? *channel->font : channel->hwnd->font());
            EXPECT_EQ(w, fm.horizontalAdvance(QStringLiteral("WIWIWIWIWIW")) + 3);
        }
    }
    ini_write("nicklist", "#kest", nullptr, "");
}

TEST(NickListRevealZone, Geometry)
{
    struct Case {
        int side;
        int x, y;
        int expect;
    };
    // A 400-pixel window, a 100-pixel list 300 high: the zone is 75 wide, 100 high.
    const Case cases[] = {
        {0, 399, 0, 1}, {0, 325, 50, 1}, {0, 324, 50, 0}, {0, 390, 101, 0},
        {1, 0, 10, 1},  {1, 75, 100, 1}, {1, 76, 10, 0},  {2, 399, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.side << " " << c.x << "," << c.y);
        EXPECT_EQ(nicklist_reveal_zone_at(400, 100, 300, c.side, QPoint(c.x, c.y)), c.expect);
    }
}

TEST_F(NickListTest, AutoHideAndShiftTab)
{
    ListBox* list = channel->listbox.get();
    struct Step {
        const char* what;
        const char* saved;
        int event;
        int shown;
    };
    const Step steps[] = {
        {"plain right side shows", "right,100,0,0", 0, 1},
        {"auto-hide hides", "right,100,1,0", 0, 0},
        {"hidden side hides", "off,100,0,0", 0, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ini_write("nicklist", "#kest", s.saved, "");
        nicklist_load_settings(channel);
        nicklist_auto(channel, s.event);
        EXPECT_EQ(list->isEnabled(), s.shown != 0);
        EXPECT_EQ(channel->side_list_hidden, s.shown ? 0 : 1);
    }

    // Shift+Tab shows a hidden list only with its option.
    ini_write("nicklist", "#kest", "right,100,1,1", "");
    nicklist_load_settings(channel);
    nicklist_auto(channel, 0);
    EXPECT_EQ(channel->side_list_hidden, 1);
    nicklist_auto(channel, 3);
    EXPECT_EQ(channel->side_list_hidden, 0);

    // The countdown hides it again once the pointer left the window.
    // The user works in the window: it is the active one in an active
    // application, and no button is held (no drag).
    const QPointer<QWidget> was_active = win_active.get();
    win_active = channel->hwnd.get();
    frame_set_app_active(true);
    QTest::mouseRelease(channel->hwnd.get(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(QApplication::mouseButtons(), Qt::NoButton);
    QCursor::setPos(channel->hwnd->mapToGlobal(QPoint(-50, -50)));
    EXPECT_EQ(nicklist_auto(channel, 2), 1);
    EXPECT_EQ(channel->nicklist_hide_countdown, 100);
    EXPECT_EQ(nicklist_auto(channel, 2), 0);
    EXPECT_EQ(channel->side_list_hidden, 1);
    frame_set_app_active(false);
    win_active = was_active.data();
    ini_write("nicklist", "#kest", nullptr, "");
}

}  // namespace
