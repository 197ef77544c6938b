// Which windows the two bars show: a collapsed connection group on the
// switchbar keeps its queries behind the status button, /window -w chooses
// the bar a custom window stands on, and the treebar's Notify folder.
#define KEST_TEST_WIDGETS
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/mdi_arrange.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "bar_fixture.h"
#include "display/bar_windows.h"
#include "bars/switchbar.h"
#include "bars/treebar.h"
#include "core/options.h"

namespace {

using BarGroupsTest = BarTest;

// The switchbar's buttons in bar order: their labels.
std::vector<std::string> button_labels()
{
    switchbar_layout();
    std::vector<std::pair<int, std::string>> placed;
    for (WindowRecord* r = win_list; r; r = r->next) {
        SwitchbarButton* b = switchbar_button_of(r);
        if (b && b->place > 0)
            placed.emplace_back(b->place, switchbar_button_label(r));
    }
    std::sort(placed.begin(), placed.end());
    std::vector<std::string> out;
    for (auto& p : placed)
        out.push_back(p.second);
    return out;
}

// The tree as text: one line per item, indented two blanks per level.
std::string outline(QTreeWidget* tree)
{
    std::string out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + item->text(0).toStdString() + "\n";
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

TEST_F(BarGroupsTest, ACollapsedGroupKeepsItsQueriesBehindTheStatusButton)
{
    WindowRecord* a = join("#a");
    ASSERT_TRUE(a);
    win_activate(status->hwnd.get(), 0);
    pump();
    click_button(status, Qt::AltModifier);
    ASSERT_EQ(status->status_expanded, 0);

    // A query that opens while the group is collapsed gets no button, nor
    // does a second one; the status button alone stands for them.
    feed(":peer!u@h PRIVMSG me :hi");
    feed(":other!u@h PRIVMSG me :hello");
    WindowRecord* peer = win_find_by_name("peer", conn);
    WindowRecord* other = win_find_by_name("other", conn);
    ASSERT_TRUE(peer && other);
    ASSERT_EQ(peer->type, kWinQuery);
    EXPECT_EQ(switchbar_button_shown(peer), 0);
    EXPECT_EQ(switchbar_button_shown(other), 0);
    EXPECT_EQ(button_labels(), (std::vector<std::string>{"irc.test me"}));
    // More text to an open query changes nothing.
    feed(":peer!u@h PRIVMSG me :again");
    EXPECT_EQ(button_labels(), (std::vector<std::string>{"irc.test me"}));
    // The query's activity shows on the status button instead.
    EXPECT_EQ(switchbar_button_level(status), kActivityMessage);

    // A query of another connection, whose group is open, keeps its own.
    Connection* second = conn_new_with_status(conn_list);
    ASSERT_TRUE(second);
    WindowRecord* far = win_record_new(1);
    far->type = kWinQuery;
    far->subtype = kQueryPrivate;
    far->name = "far";
    far->conn = second;
    EXPECT_EQ(switchbar_button_shown(far), 1);

    // Opened again, the group shows every window of the connection.
    click_button(status, Qt::AltModifier);
    EXPECT_EQ(status->status_expanded, 1);
    EXPECT_EQ(switchbar_button_shown(peer), 1);
    const auto labels = button_labels();
    EXPECT_NE(std::find(labels.begin(), labels.end(), "peer"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "other"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "#a"), labels.end());
}

TEST_F(BarGroupsTest, InACollapsedGroupOnlyWindowsOfTheListedKindsLoseTheirButtons)
{
    switchbar_toggle_group(status);
    ASSERT_EQ(status->status_expanded, 0);
    struct Case {
        int type;
        int subtype;
        int shown;
    } cases[] = {
        {kWinChannel, 0, 0},
        {kWinQuery, kQueryPrivate, 0},
        {kWinQuery, kQueryMessages, 0},
        {kWinQuery, kQueryDccChat, 0},
        {kWinTransfer, 1, 0},
        {kWinChanList, 0, 0},
        {kWinLinks, 0, 0},
        {kWinCustom, 0, 0},
        // The windows that stand apart from connections keep theirs.
        {kWinFinger, 0, 1},
        {kWinUrls, 0, 1},
        {kWinNotify, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.subtype));
        WindowRecord* r = win_record_new(1);
        ASSERT_TRUE(r);
        r->type = c.type;
        r->subtype = c.subtype;
        r->name = c.type == kWinCustom ? "@w" : "x y";
        r->conn = conn;
        EXPECT_EQ(switchbar_button_shown(r), c.shown);
        win_record_free(r);
    }
}

TEST_F(BarGroupsTest, WindowSwitchWChoosesTheBarsACustomWindowStandsOn)
{
    type("/window @x");
    WindowRecord* x = win_find_by_name("@x", nullptr);
    ASSERT_TRUE(x);
    auto on_switchbar = [&] {
        const auto labels = button_labels();
        return std::find(labels.begin(), labels.end(), "@x") != labels.end();
    };
    auto on_treebar = [&] { return outline(tree).find("    @x\n") != std::string::npos; };
    EXPECT_TRUE(on_switchbar());
    EXPECT_TRUE(on_treebar()) << outline(tree);

    struct Case {
        const char* typed;
        bool switchbar;
        bool treebar;
    } cases[] = {
        {"/window -w1 @x", true, false},   // the switchbar only
        {"/window -w1 @x", true, false},   // the same again
        {"/window -w2 @x", false, true},   // the treebar only
        {"/window -w2 @x", false, true},
        {"/window -w0 @x", false, false},  // neither
        {"/window -w3 @x", true, true},    // both
        {"/window -w2 @x", false, true},
        {"/window -w1 @x", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_EQ(on_switchbar(), c.switchbar);
        EXPECT_EQ(on_treebar(), c.treebar) << outline(tree);
        EXPECT_EQ(treebar_has_window(x) != 0, c.treebar);
    }
    // A window that leaves the treebar takes its folder with it.
    type("/window -w1 @x");
    EXPECT_EQ(outline(tree).find("Window"), std::string::npos) << outline(tree);
}

TEST_F(BarGroupsTest, TheNotifyFolderListsEntriesWithoutACount)
{
    join("#a");
    type("/notify bob");
    type("/notify carol");
    type("/notify dave");
    feed(":irc.test 303 me :bob dave");
    // Counts are on: the window folders carry theirs, the notify folder none.
    ASSERT_EQ(opt(OPT_N8_4), 1);
    treebar_refresh(nullptr, 0);
    const std::string online = outline(tree);
    EXPECT_NE(online.find("  Channel: 1\n"), std::string::npos) << online;
    EXPECT_NE(online.find("  Notify\n"), std::string::npos) << online;
    EXPECT_EQ(online.find("Notify:"), std::string::npos) << online;
    EXPECT_NE(online.find("bob"), std::string::npos) << online;
    EXPECT_EQ(online.find("carol"), std::string::npos) << "online entries only: " << online;

    // All entries: still no count, and asked again the same.
    EXPECT_EQ(bar_popup_command(BAR_TREEBAR, 7058), 1);
    for (int round = 0; round < 2; ++round) {
        treebar_refresh(nullptr, 0);
        const std::string all = outline(tree);
        EXPECT_NE(all.find("carol"), std::string::npos) << all;
        EXPECT_NE(all.find("  Notify\n"), std::string::npos) << all;
        EXPECT_EQ(all.find("Notify:"), std::string::npos) << all;
    }
    // Without counts nothing changes for it.
    EXPECT_EQ(bar_popup_command(BAR_TREEBAR, 7050), 1);
    EXPECT_NE(outline(tree).find("  Notify\n"), std::string::npos) << outline(tree);
    EXPECT_NE(outline(tree).find("  Channel\n"), std::string::npos) << outline(tree);
}

}  // namespace
