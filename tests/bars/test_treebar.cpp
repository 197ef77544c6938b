// The treebar on the real frame: connections with their windows in folders,
// mouse clicks that switch windows, /treebar; and the shared tree
// operations: path insertion, finding, selection, deletion, sorting and the
// saved state.
#define KEST_TEST_WIDGETS
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <memory>
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
#include "bars/tree_view.h"
#include "bars/treebar.h"
#include "core/options.h"

namespace {

// Minimised: with the bars on an MDI child is hidden as well.
bool minimised(WindowRecord* rec)
{
    const int state = win_op_state(rec->hwnd.get());
    return state == 1 || state == -1;
}

using TreebarTest = BarTest;

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

QTreeWidgetItem* item_named(QTreeWidget* tree, const std::string& text)
{
    const std::string t = text;
    return treeview_find_by_text(tree, &t, nullptr);
}

void click_item(QTreeWidget* tree, QTreeWidgetItem* item, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    ASSERT_TRUE(item);
    tree->scrollToItem(item);
    const QRect r = tree->visualItemRect(item);
    ASSERT_FALSE(r.isEmpty());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, mods, r.center());
    BarTest::pump();
}

TEST_F(TreebarTest, NetworkNodeHoldsItsChannelsInACountedFolder)
{
    join("#a");
    join("#b");
    feed(":peer!u@h PRIVMSG me :hi");
    EXPECT_EQ(bar_window(BAR_TREEBAR), panel);
    EXPECT_EQ(panel->objectName(), "Kest_TreeBar");
    EXPECT_EQ(outline(tree), "irc.test me\n"
                             "  Channel: 2\n"
                             "    #a\n"
                             "    #b\n"
                             "  Query: 1\n"
                             "    peer\n");
    leave("#b");
    pump();
    EXPECT_EQ(outline(tree), "irc.test me\n"
                             "  Channel: 1\n"
                             "    #a\n"
                             "  Query: 1\n"
                             "    peer\n")
        << "a closed channel leaves and the count follows";
}

TEST_F(TreebarTest, WithoutFoldersOrCountsWindowsStandUnderTheirConnection)
{
    join("#a");
    feed(":peer!u@h PRIVMSG me :hi");
    opt_set(OPT_N8_6, 0);
    treebar_refresh(nullptr, 0);
    EXPECT_EQ(outline(tree), "irc.test me\n  #a\n  peer\n");
    opt_set(OPT_N8_6, 1);
    opt_set(OPT_N8_4, 0);
    treebar_refresh(nullptr, 0);
    EXPECT_EQ(outline(tree), "irc.test me\n  Channel\n    #a\n  Query\n    peer\n");
}

TEST_F(TreebarTest, TwoConnectionsGetTheirOwnNodesAndFolderIds)
{
    join("#a");
    Connection* other = conn_new_with_status(conn_list);
    ASSERT_TRUE(other);
    WindowRecord* status2 = win_find_by_type(kWinStatus, other);
    WindowRecord* chan2 = win_record_new(1);
    chan2->type = kWinChannel;
    chan2->name = "#a";
    chan2->conn = other;
    treebar_refresh(nullptr, 0);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    const int base1 = treebar_folder_base(status);
    const int base2 = treebar_folder_base(status2);
    EXPECT_GE(base1, kTreeFolderIdFirst);
    EXPECT_GE(base2, kTreeFolderIdFirst);
    EXPECT_NE(base1, base2);
    EXPECT_GE(std::abs(base1 - base2), 10) << "no two status windows share folder ids";
    QTreeWidgetItem* f1 = tree->topLevelItem(0)->child(0);
    QTreeWidgetItem* f2 = tree->topLevelItem(1)->child(0);
    EXPECT_EQ(treeview_param_id(treeview_param(f1)), base1 + 1);
    EXPECT_EQ(treeview_param_id(treeview_param(f2)), base2 + 1);
}

TEST_F(TreebarTest, DccGroupingMovesChatsBetweenFolders)
{
    WindowRecord* chat = win_record_new(1);
    chat->type = kWinQuery;
    chat->subtype = kQueryDccChat;
    chat->name = "=Bob Bob";
    chat->conn = conn;
    WindowRecord* fserve = win_record_new(1);
    fserve->type = kWinQuery;
    fserve->subtype = kQueryFserve;
    fserve->name = "=Ann Ann";
    fserve->conn = conn;
    struct Case {
        int grouping;
        const char* outline;
    } cases[] = {
        {0, "irc.test me\n  Chat: 1\n    Bob\n  Fserve: 1\n    Ann\n"},
        {1, "irc.test me\n  DCC: 2\n    Chat Bob\n    Fserve Ann\n"},
        {2, "irc.test me\n  Chat: 2\n    Chat Bob\n    Fserve Ann\n"},
    };
    for (const Case& c : cases) {
        opt_set(OPT_N8_7, c.grouping);
        treebar_refresh(nullptr, 0);
        EXPECT_EQ(outline(tree), c.outline) << c.grouping;
    }
}

TEST_F(TreebarTest, ClickOnAChannelActivatesItAndTheActiveWindowIsSelected)
{
    WindowRecord* a = join("#a");
    WindowRecord* b = join("#b");
    ASSERT_TRUE(a && b);
    win_activate(a->hwnd.get(), 0);
    pump();
    QTreeWidgetItem* ia = treebar_item_of(a);
    QTreeWidgetItem* ib = treebar_item_of(b);
    ASSERT_TRUE(ia && ib);
    EXPECT_TRUE(treeview_param_selected(treeview_param(ia))) << "the active window's item is selected";
    EXPECT_FALSE(treeview_param_selected(treeview_param(ib)));

    click_item(tree, ib);
    EXPECT_EQ(win_active.get(), b->hwnd.get());
    EXPECT_EQ(win_op_state(a->hwnd.get()), 0) << "the other channel is left alone";
    EXPECT_TRUE(treeview_param_selected(treeview_param(treebar_item_of(b))));
    EXPECT_FALSE(treeview_param_selected(treeview_param(treebar_item_of(a))));
    EXPECT_EQ(treeview_count_selected(tree), 1);

    // Clicking the active window's item again minimises it.
    click_item(tree, treebar_item_of(b));
    EXPECT_TRUE(minimised(b));
    // A click on a folder activates nothing.
    QWidget* before = win_active.get();
    click_item(tree, item_named(tree, "Channel: 2"));
    EXPECT_EQ(win_active.get(), before);
}

TEST_F(TreebarTest, OnlyTheSelectedItemsTextIsHighlightedNotItsIndentation)
{
    WindowRecord* a = join("#a");
    WindowRecord* b = join("#b");
    ASSERT_TRUE(a && b);
    win_activate(b->hwnd.get(), 0);
    pump();
    QTreeWidgetItem* ib = treebar_item_of(b);
    ASSERT_TRUE(ib && treeview_param_selected(treeview_param(ib)));
    tree->scrollToItem(ib);
    const QRect r = tree->visualItemRect(ib);
    ASSERT_GT(r.left(), 4) << "a channel item stands indented";
    const QImage shot = tree->viewport()->grab().toImage();
    const QColor highlight = tree->palette().color(QPalette::Highlight);
    // Left of the item, in the indentation: the tree's background.
    EXPECT_NE(QColor(shot.pixel(2, r.center().y())), highlight);
    // The text box itself carries the highlight.
    bool lit = false;
    for (int x = r.left(); x < r.right() && !lit; ++x)
        lit = QColor(shot.pixel(x, r.center().y())) == highlight;
    EXPECT_TRUE(lit);
}

TEST_F(TreebarTest, MessageRaisesTheItemsLevelAndTheFolderTakesTheHighest)
{
    WindowRecord* a = join("#a");
    WindowRecord* b = join("#b");
    win_activate(a->hwnd.get(), 0);
    pump();
    feed(":peer!u@h PRIVMSG #b :hello");
    ASSERT_EQ(b->activity, kActivityMessage);
    EXPECT_EQ(treebar_item_of(b)->data(0, kTreeRoleLevel).toInt(), kActivityMessage);
    EXPECT_EQ(treebar_item_of(a)->data(0, kTreeRoleLevel).toInt(), 0) << "the other channel stays plain";
    EXPECT_EQ(item_named(tree, "Channel: 2")->data(0, kTreeRoleLevel).toInt(), kActivityMessage);
}

TEST_F(TreebarTest, HiddenWindowLosesItsItemAndGetsItBackExpanded)
{
    WindowRecord* a = join("#a");
    ASSERT_TRUE(treebar_has_window(a));
    treebar_update_window_item(a, 0);
    EXPECT_FALSE(treebar_has_window(a));
    treebar_update_window_item(a, 1);
    ASSERT_TRUE(treebar_has_window(a));
    EXPECT_TRUE(treebar_item_of(a)->parent()->isExpanded());
    treebar_update_window_item(nullptr, 0);  // a stale record is ignored
}

TEST_F(TreebarTest, RefreshWithoutChangesKeepsTheSameItems)
{
    WindowRecord* a = join("#a");
    QTreeWidgetItem* before = treebar_item_of(a);
    treebar_refresh(nullptr, 0);
    treebar_refresh(nullptr, 0);
    EXPECT_EQ(treebar_item_of(a), before) << "an unchanged model rebuilds nothing";
    join("#b");
    win_activate(status->hwnd.get(), 0);
    pump();
    item_named(tree, "Channel: 2")->setExpanded(false);
    pump();
    feed(":peer!u@h PRIVMSG #a :hello");
    EXPECT_FALSE(item_named(tree, "Channel: 2")->isExpanded()) << "a collapsed folder stays collapsed";
    join("#c");
    EXPECT_TRUE(item_named(tree, "Channel: 3")->isExpanded()) << "the newly active window's folder opens";
    item_named(tree, "Channel: 3")->setExpanded(false);
    treebar_refresh(nullptr, 3);
    EXPECT_TRUE(item_named(tree, "Channel: 3")->isExpanded());
    treebar_refresh(nullptr, 4);
    EXPECT_FALSE(tree->topLevelItem(0)->isExpanded());
}

TEST_F(TreebarTest, TreebarCommandHidesAndShowsThePanel)
{
    ASSERT_TRUE(panel->isVisible());
    EXPECT_NE(type("/treebar").find("* Treebar gösterimi açık"), std::string::npos);
    EXPECT_NE(type("/treebar off").find("* Treebar gösterimi kapalı"), std::string::npos);
    EXPECT_FALSE(panel->isVisible());
    type("/treebar off");
    EXPECT_EQ(opt(OPT_TREEBAR_SHOWN), 0) << "off twice toggles once";
    EXPECT_EQ(type("/treebar sideways"), "");
    EXPECT_EQ(opt(OPT_TREEBAR_SHOWN), 0);
    EXPECT_NE(type("/treebar on").find("* Treebar gösterimi açık"), std::string::npos);
    EXPECT_TRUE(panel->isVisible());
}

// ---- The shared tree operations ----

class TreeViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_app();
        owned = std::make_unique<QTreeWidget>();
        treeview_reset(&tree(), kTreeLines | kTreeButtons, 0);
    }
    QTreeWidget& tree() { return *owned; }
    std::unique_ptr<QTreeWidget> owned;
};

TEST_F(TreeViewTest, PathInsertionMakesEachFolderOnce)
{
    QTreeWidgetItem* b = treeview_insert_item(&tree(), "a", "b", 1, 0, nullptr);
    QTreeWidgetItem* c = treeview_insert_item(&tree(), "  a  ", "c", 2, 0, nullptr);
    QTreeWidgetItem* d = treeview_insert_item(&tree(), "A\\x   y", " d   e ", 3, 0, nullptr);
    ASSERT_TRUE(b && c && d);
    EXPECT_EQ(outline(&tree()), "a\n  b\n  c\n  x y\n    d e\n");
    QTreeWidgetItem* a = tree().topLevelItem(0);
    EXPECT_TRUE(treeview_param_folder(treeview_param(a)));
    EXPECT_GE(treeview_param_id(treeview_param(a)), kTreeFolderIdFirst);
    EXPECT_LE(treeview_param_id(treeview_param(a)), kTreeFolderIdLast);
    EXPECT_EQ(treeview_param_id(treeview_param(b)), 1);
    EXPECT_FALSE(treeview_param_folder(treeview_param(b)));
}

TEST_F(TreeViewTest, LeafReceivingAChildBecomesAFolderAndKeepsItsId)
{
    QTreeWidgetItem* leaf = treeview_insert_item(&tree(), "", "page", 7, 0, nullptr);
    ASSERT_TRUE(leaf);
    QTreeWidgetItem* sub = treeview_insert_item(&tree(), "page", "sub", 8, 0, nullptr);
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->parent(), leaf);
    EXPECT_TRUE(treeview_param_folder(treeview_param(leaf)));
    EXPECT_EQ(treeview_param_id(treeview_param(leaf)), 7);
}

TEST_F(TreeViewTest, InsertionRefusesIdsOutsideTheLeafRangeAndEmptyText)
{
    struct Case {
        int id;
        const char* text;
        bool inserted;
    } cases[] = {
        {0, "x", false}, {1, "x", true}, {14999, "x", true}, {15000, "x", false}, {-1, "x", false},
        {5, "", false},  {5, "   ", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(treeview_insert_item(&tree(), "f", c.text, c.id, 0, nullptr) != nullptr, c.inserted)
            << c.id << " '" << c.text << "'";
}

TEST_F(TreeViewTest, FindWalksInPreOrderAndMatchesFoldersOnlyAsFolders)
{
    treeview_insert_item(&tree(), "one", "x", 1, 0, nullptr);
    treeview_insert_item(&tree(), "two", "x", 2, 0, nullptr);
    treeview_insert_item(&tree(), "", "two", 3, 0, nullptr);
    std::vector<std::string> order;
    for (QTreeWidgetItem* i = treeview_find(&tree(), 0, "", 0, nullptr); i; i = treeview_find(&tree(), 0, "", 0, i))
        order.push_back(i->text(0).toStdString());
    EXPECT_EQ(order, (std::vector<std::string>{"one", "x", "two", "x", "two"}));
    EXPECT_EQ(treeview_next(&tree(), nullptr)->text(0), "one");

    QTreeWidgetItem* leaf2 = treeview_find(&tree(), kTreeFindParam, "", treeview_make_param(2, 0), nullptr);
    ASSERT_TRUE(leaf2);
    EXPECT_EQ(leaf2->parent()->text(0), "two");
    QTreeWidgetItem* folder = treeview_find(&tree(), kTreeFindText | kTreeFindParam, "TWO",
                                            treeview_param(tree().topLevelItem(1)), nullptr);
    EXPECT_EQ(folder, tree().topLevelItem(1));
    QTreeWidgetItem* leaf_two = treeview_find(&tree(), kTreeFindText | kTreeFindParam, "two",
                                              treeview_make_param(3, 0), nullptr);
    EXPECT_EQ(leaf_two, tree().topLevelItem(2)) << "a leaf is found only as a leaf";
    EXPECT_EQ(treeview_find(&tree(), kTreeFindParam, "", treeview_make_param(99, 0), nullptr), nullptr);
}

TEST_F(TreeViewTest, DeletingTheSelectedItemSelectsANeighbour)
{
    struct Case {
        int remove;          // index among the folder's leaves
        int leaves;
        const char* picked;  // text of the new selection
    } cases[] = {
        {0, 3, "l1"},  // the next sibling
        {2, 3, "l1"},  // the previous one when it was last
        {0, 1, "f"},   // the parent when it was alone
    };
    for (const Case& c : cases) {
        treeview_delete_item(&tree(), nullptr, 0);
        for (int i = 0; i < c.leaves; ++i)
            treeview_insert_item(&tree(), "f", "l" + std::to_string(i), i + 1, 0, nullptr);
        QTreeWidgetItem* gone = tree().topLevelItem(0)->child(c.remove);
        treeview_select_item(&tree(), gone, 0);
        treeview_delete_item(&tree(), gone, 1);
        ASSERT_EQ(treeview_count_selected(&tree()), 1) << c.remove;
        EXPECT_EQ(treeview_nth_selected(&tree(), 1)->text(0).toStdString(), c.picked) << c.remove;
    }
}

TEST_F(TreeViewTest, CtrlAndShiftClicksSelectSeveralItemsInAFreeTree)
{
    for (int i = 1; i <= 5; ++i)
        treeview_insert_node(&tree(), nullptr, "i" + std::to_string(i), 0, i, 0, nullptr);
    auto item = [&](int n) { return tree().topLevelItem(n - 1); };
    treeview_on_click(&tree(), item(2), 0, 0);
    EXPECT_EQ(treeview_count_selected(&tree()), 1);
    treeview_on_click(&tree(), item(4), 1, 0);
    EXPECT_EQ(treeview_count_selected(&tree()), 2) << "Ctrl adds";
    treeview_on_click(&tree(), item(4), 1, 0);
    EXPECT_EQ(treeview_count_selected(&tree()), 1) << "Ctrl again takes it away";
    treeview_on_click(&tree(), item(5), 0, 1);
    EXPECT_EQ(treeview_count_selected(&tree()), 2) << "Shift selects from the anchor (i4) to i5";
    EXPECT_TRUE(treeview_param_selected(treeview_param(item(4))));
    EXPECT_FALSE(treeview_param_selected(treeview_param(item(2)))) << "and clears the rest";
    treeview_on_click(&tree(), item(1), 0, 0);
    EXPECT_EQ(treeview_count_selected(&tree()), 1) << "a plain click selects one";

    // In the treebar's kind every click selects one item.
    tree().setProperty("treeKind", 1);
    treeview_on_click(&tree(), item(3), 1, 0);
    EXPECT_EQ(treeview_count_selected(&tree()), 1);
    EXPECT_EQ(treeview_nth_selected(&tree(), 1), item(3));
}

TEST_F(TreeViewTest, ServerTreeSortsRandomServersFirstAndFoldersBeforeLeaves)
{
    tree().setProperty("treeKind", 2);
    treeview_insert_node(&tree(), nullptr, "alpha", 0, 1, 1, nullptr);
    treeview_insert_node(&tree(), nullptr, "EU Random server", 0, 2, 1, nullptr);
    treeview_insert_node(&tree(), nullptr, "beta", 1, 3, 1, nullptr);
    treeview_insert_node(&tree(), nullptr, "Random Server", 0, 4, 1, nullptr);
    treeview_insert_node(&tree(), nullptr, "aardvark", 0, 5, 1, nullptr);
    EXPECT_EQ(outline(&tree()), "beta\nRandom Server\nEU Random server\naardvark\nalpha\n");
    tree().setProperty("treeKind", 0);
    treeview_sort_children(&tree(), nullptr);
    EXPECT_EQ(outline(&tree()), "beta\naardvark\nalpha\nEU Random server\nRandom Server\n");
}

TEST_F(TreeViewTest, SavedStateExpandsTheSameFoldersAgain)
{
    treeview_insert_item(&tree(), "a", "x", 1, 0, nullptr);
    treeview_insert_item(&tree(), "b", "y", 2, 0, nullptr);
    tree().topLevelItem(1)->setExpanded(true);
    treeview_select_item(&tree(), tree().topLevelItem(1)->child(0), 0);
    const auto saved = treeview_save_state(&tree());
    ASSERT_EQ(saved.size(), 4u);
    tree().topLevelItem(1)->setExpanded(false);
    treeview_select_item(&tree(), tree().topLevelItem(0), 0);
    treeview_restore_state(&tree(), saved, 0);
    EXPECT_FALSE(tree().topLevelItem(0)->isExpanded());
    EXPECT_TRUE(tree().topLevelItem(1)->isExpanded());
    EXPECT_EQ(treeview_nth_selected(&tree(), 1), tree().topLevelItem(1)->child(0));
    // Mode 1 goes by folder id.
    tree().topLevelItem(1)->setExpanded(false);
    treeview_restore_state(&tree(), saved, 1);
    EXPECT_TRUE(tree().topLevelItem(1)->isExpanded());
    EXPECT_FALSE(tree().topLevelItem(0)->isExpanded());
}

TEST_F(TreeViewTest, SpaceKeyIsSwallowedAndReachesTheOwnerOnlyAfterwards)
{
    std::vector<std::pair<std::string, int>> heard;
    treeview_install(&tree(), [&](QTreeWidgetItem* item, int note, int key) {
        if (note == kTreeNoteKey)
            heard.emplace_back(item ? item->text(0).toStdString() : "", key);
    });
    treeview_insert_node(&tree(), nullptr, "i1", 0, 1, 0, nullptr);
    treeview_select_item(&tree(), tree().topLevelItem(0), 0);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_TRUE(QApplication::sendEvent(&tree(), &space) || space.isAccepted());
    EXPECT_TRUE(heard.empty()) << "posted, not heard inside the control's handling";
    BarTest::pump();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].first, "i1");
    EXPECT_EQ(heard[0].second, Qt::Key_Space);
}

TEST_F(TreeViewTest, PruneRemovesEmptyFoldersOnly)
{
    treeview_insert_item(&tree(), "keep", "x", 1, 0, nullptr);
    treeview_insert_node(&tree(), nullptr, "empty", 1, 15500, 0, nullptr);
    QTreeWidgetItem* outer = treeview_insert_node(&tree(), nullptr, "outer", 1, 15501, 0, nullptr);
    treeview_insert_node(&tree(), outer, "inner", 1, 15502, 0, nullptr);
    treeview_prune_empty_folders(&tree());
    EXPECT_EQ(outline(&tree()), "keep\n  x\n");
}

}  // namespace

namespace {

TEST_F(TreebarTest, BarPopupChoicesChangeTheTreeAndAreSaved)
{
    join("#a");
    struct Case {
        int command;
        const char* outline;
    } cases[] = {
        {7050, "irc.test me\n  Channel\n    #a\n"},   // counts off
        {7051, "irc.test me\n  #a\n"},               // folders off
        {7051, "irc.test me\n  Channel\n    #a\n"},   // folders on again
        {7050, "irc.test me\n  Channel: 1\n    #a\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bar_popup_command(BAR_TREEBAR, c.command), 1);
        EXPECT_EQ(outline(tree), c.outline) << c.command;
    }
    EXPECT_EQ(bar_popup_command(BAR_TREEBAR, 7053), 1);
    EXPECT_EQ(opt(OPT_N8_7), 1);
    EXPECT_EQ(bar_popup_command(BAR_TREEBAR, 7060), 1);
    EXPECT_EQ(opt(OPT_N8_23), 0);
    EXPECT_EQ(bar_popup_command(BAR_TREEBAR, 7062), 1);
    EXPECT_EQ(opt(OPT_N8_24), 1);
    EXPECT_NE(slurp(settings.path() + "kest.ini").find("n8="), std::string::npos);
    EXPECT_EQ(bar_popup_command(BAR_TREEBAR, 7999), 0);

    QMenu* menu = bar_popup_build(BAR_TREEBAR, tree);
    ASSERT_TRUE(menu);
    bool together_ticked = false;
    std::function<void(QMenu*)> walk = [&](QMenu* m) {
        for (QAction* a : m->actions()) {
            if (a->menu())
                walk(a->menu());
            else if (a->data().toInt() == 7053)
                together_ticked = a->isChecked();
        }
    };
    walk(menu);
    EXPECT_TRUE(together_ticked) << "the grouping in use is ticked";
    delete menu;
}

}  // namespace
