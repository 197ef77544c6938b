// The list-view operations on a real report-style list view: column
// layouts, rows of each kind, selection after deletion, sorting, swapping
// and finding.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include <string>
#include <vector>

#include "options/list_view_ops.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace {

class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_app();
        view = new QTreeWidget();
        view->setFrameStyle(0);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->resize(300, 200);
        lv_clear(view);
    }
    void TearDown() override { delete view; }

    void columns(int n)
    {
        for (int i = 0; i < n; ++i)
            lv_add_column(view, 10, i, "c" + std::to_string(i));
    }
    std::vector<std::string> cells(int row)
    {
        std::vector<std::string> out;
        for (int c = 0; c < lv_column_count(view); ++c)
            out.push_back(view->topLevelItem(row)->text(c).toStdString());
        return out;
    }
    std::vector<std::string> column0()
    {
        std::vector<std::string> out;
        for (int r = 0; r < lv_count(view); ++r)
            out.push_back(lv_item_text(view, r, kListViewPlain));
        return out;
    }

    QTreeWidget* view = nullptr;
};

TEST_F(ListViewTest, ColumnWidthsFollowTheLayoutKind)
{
    struct Case {
        int kind;
        int columns;
        std::vector<int> widths;
    };
    const Case cases[] = {
        {kListViewFileRule, 3, {100, 200, 0}},
        {kListViewNotify, 4, {100, 100, 200, 0}},
        {kListViewPlain, 3, {100, 100, 100}},
        {7, 2, {150, 150}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        lv_clear(view);
        view->setColumnCount(1);
        view->setProperty("kestColumns", 0);
        columns(c.columns);
        ASSERT_EQ(lv_column_count(view), c.columns);
        // Measured while shown, hidden again afterwards.
        lv_setup_columns(view, c.kind, 1);
        EXPECT_FALSE(view->isVisible());
        ASSERT_EQ(view->viewport()->width(), 300);
        for (int i = 0; i < c.columns; ++i) {
            const int w = c.widths[static_cast<std::size_t>(i)];
            if (w == 0)
                EXPECT_TRUE(view->isColumnHidden(i)) << i;
            else
                EXPECT_EQ(view->columnWidth(i), w) << i;
        }
    }
}

TEST_F(ListViewTest, RowsOfEachKindFillTheirColumnsAndKeepTheWholeEntry)
{
    columns(4);
    struct Case {
        const char* entry;
        int kind;
        int row;  // -1: no row is added
        std::vector<std::string> cells;
        int is_default;
    };
    const Case cases[] = {
        {"*.jpg *.gif EXTDIR:pics", kListViewFileRule, 0, {"*.jpg", "pics", "*.jpg *.gif EXTDIR:pics", ""}, 0},
        {"DEFAULTEXTDIR:dl", kListViewFileRule, 1, {"DEFAULT", "dl", "DEFAULTEXTDIR:dl", ""}, 1},
        {"EXTDIR:nothing", kListViewFileRule, -1, {}, 0},
        {"*.txtEXTDIR:", kListViewFileRule, -1, {}, 0},
        {"*.txt no folder", kListViewFileRule, -1, {}, 0},
        {"+friend NOTE:  an   old   friend ", kListViewNotify, 2,
         {"friend", "", "an old friend", "+friend NOTE:  an   old   friend "}, 0},
        {"  pal   NETWORK: Some  Net  ", kListViewNotify, 3, {"pal", "Some Net", "", "  pal   NETWORK: Some  Net  "}, 0},
        {"x", kListViewNotify, 4, {"x", "", "", "x"}, 0},
        {"plain text", kListViewPlain, 5, {"plain text", "", "", ""}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        int is_default = -1;
        const int before = lv_count(view);
        const int row = lv_add_row(view, c.entry, &is_default, -1, c.kind);
        EXPECT_EQ(row, c.row);
        if (c.row < 0) {
            EXPECT_EQ(lv_count(view), before);
            continue;
        }
        EXPECT_EQ(cells(row), c.cells);
        if (c.kind == kListViewFileRule) {
            EXPECT_EQ(is_default, c.is_default);
        }
        EXPECT_EQ(lv_item_text(view, row, c.kind), c.entry);
    }
    // Rows get distinct, increasing serial numbers.
    const int a = view->topLevelItem(0)->data(0, Qt::UserRole).toInt();
    const int b = view->topLevelItem(1)->data(0, Qt::UserRole).toInt();
    EXPECT_LT(a, b);
    // A row that is not there.
    EXPECT_EQ(lv_set_cell(view, "t", 99, 0), -1);
    EXPECT_EQ(lv_set_cell(view, "t", 0, 9), -1);
    EXPECT_EQ(lv_item_text(view, 99, 0), "");
}

TEST_F(ListViewTest, DeletingReselectsTheSameIndexOrTheOneBefore)
{
    columns(1);
    for (const char* t : {"a", "b", "c"})
        lv_add_row(view, t, nullptr, -1, kListViewPlain);
    lv_delete_item(view, 1, 1);
    EXPECT_EQ(column0(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(lv_selected_index(view), 1);
    // The last row: the new last row is selected.
    lv_delete_item(view, 1, 1);
    EXPECT_EQ(lv_selected_index(view), 0);
    EXPECT_EQ(lv_show_selected(view), 0);
    // Without the flag nothing is selected.
    lv_add_row(view, "z", nullptr, -1, kListViewPlain);
    view->clearSelection();
    lv_delete_item(view, 0, 0);
    EXPECT_EQ(lv_selected_index(view), -1);
    EXPECT_EQ(lv_show_selected(view), -1);
    // The only row, deleted with the flag: nothing left to select.
    lv_delete_item(view, 0, 1);
    EXPECT_EQ(lv_count(view), 0);
    EXPECT_EQ(lv_selected_index(view), -1);
    EXPECT_EQ(lv_select(view, 0), 0);
}

TEST_F(ListViewTest, SortFindAndSwapIgnoreCaseAndCarryWholeRows)
{
    columns(3);
    for (const char* t : {"delta", "Alpha", "charlie", "BRAVO", "alpha"}) {
        const int r = lv_add_row(view, t, nullptr, -1, kListViewPlain);
        lv_set_cell(view, std::string(t) + "-1", r, 1);
        lv_set_cell(view, std::string(t) + "-2", r, 2);
    }
    lv_sort(view, 0);
    EXPECT_EQ(column0(), (std::vector<std::string>{"Alpha", "alpha", "BRAVO", "charlie", "delta"}));
    // Every column travelled with its row.
    EXPECT_EQ(cells(2), (std::vector<std::string>{"BRAVO", "BRAVO-1", "BRAVO-2"}));
    // Sorting again changes nothing.
    lv_sort(view, 0);
    EXPECT_EQ(column0(), (std::vector<std::string>{"Alpha", "alpha", "BRAVO", "charlie", "delta"}));

    EXPECT_EQ(lv_find_text(view, "CHARLIE"), 3);
    EXPECT_EQ(lv_find_text(view, "alpha"), 0);
    EXPECT_EQ(lv_find_text(view, "char"), -1);
    EXPECT_EQ(lv_find_text(view, ""), -1);

    // Moving a row down: swap with the next one and select it.
    const int serial = view->topLevelItem(2)->data(0, Qt::UserRole).toInt();
    lv_select(view, 2);
    lv_swap_items(view, 2, 3);
    lv_select(view, 3);
    EXPECT_EQ(cells(3), (std::vector<std::string>{"BRAVO", "BRAVO-1", "BRAVO-2"}));
    EXPECT_EQ(cells(2), (std::vector<std::string>{"charlie", "charlie-1", "charlie-2"}));
    EXPECT_EQ(view->topLevelItem(3)->data(0, Qt::UserRole).toInt(), serial);
    EXPECT_EQ(lv_selected_index(view), 3);
    // A swap with a row that is not there, or with itself, changes nothing.
    lv_swap_items(view, 3, 99);
    lv_swap_items(view, 3, 3);
    EXPECT_EQ(cells(3), (std::vector<std::string>{"BRAVO", "BRAVO-1", "BRAVO-2"}));
}

}  // namespace
