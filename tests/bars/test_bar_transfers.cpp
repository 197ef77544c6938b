// A DCC transfer's progress on the bars: the switchbar button's inverted
// progress strip and the treebar item's percentage text.
#include "bar_fixture.h"

#include <QImage>
#include <QTreeWidgetItem>

#include "bars/switchbar.h"
#include "bars/treebar.h"
#include "core/options.h"
#include "model/transfer_progress.h"
#include "model/window_record.h"
#include "model/window_requests.h"
#include "app/window_open.h"

namespace {

class BarTransferTest : public BarTest {
protected:
    WindowRecord* open_get(const std::string& nick, const std::string& file)
    {
        WindowOpenRequest req;
        req.name = "Get " + nick + " " + file;
        req.type = kWinTransfer;
        req.subtype = 2;
        req.conn = conn;
        QWidget* hwnd = win_open(req);
        pump();
        return hwnd ? win_record_of(hwnd) : nullptr;
    }
    static void set(WindowRecord* rec, int percent, bool running)
    {
        TransferProgress p;
        p.percent = percent;
        p.running = running;
        p.percent_text = std::to_string(percent) + "%";
        p.nick = "amy";
        p.file = "f.txt";
        transfer_progress_set(rec, p);
        pump();
    }
};

TEST(SwitchbarProgressRect, ShareOfTheInnerWidth)
{
    const QRect button(10, 0, 104, 24);  // inner: x 12..111, 100 pixels
    struct Case {
        int percent;
        bool pushed;
        QRect expect;
    } cases[] = {
        {0, false, QRect()},
        {-5, false, QRect()},
        {1, false, QRect(12, 2, 1, 20)},
        {50, false, QRect(12, 2, 50, 20)},
        {100, false, QRect(12, 2, 100, 20)},
        {250, false, QRect(12, 2, 100, 20)},
        {50, true, QRect(13, 3, 49, 19)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(switchbar_progress_rect(button, c.pushed, c.percent), c.expect) << c.percent << " " << c.pushed;
    // A sliver of a button: one pixel once above 0.
    EXPECT_EQ(switchbar_progress_rect(QRect(0, 0, 5, 24), false, 1).width(), 1);
    EXPECT_TRUE(switchbar_progress_rect(QRect(0, 0, 4, 24), false, 50).isEmpty());
}

TEST_F(BarTransferTest, ButtonShowsThePercentageAndTheTreeItsText)
{
    WindowRecord* rec = open_get("amy", "f.txt");
    ASSERT_TRUE(rec);
    // Another window takes the activation, so the button is drawn flat.
    WindowRecord* other = join("#other");
    ASSERT_TRUE(other);
    set(rec, 0, true);
    SwitchbarButton* b = switchbar_button_of(rec);
    ASSERT_TRUE(b && b->place > 0);
    const QRect r(b->rect.left, b->rect.top, b->rect.right - b->rect.left, b->rect.bottom - b->rect.top);
    const QImage at0 = bar->grab().toImage();

    auto changed_columns = [&](const QImage& img) {
        // The columns of the button's inner part whose pixels differ from
        // the button at 0 percent, on its middle row.
        int first = -1, last = -1;
        const int y = r.top() + r.height() / 2;
        for (int x = r.left() + 2; x < r.right() - 1; ++x)
            if (img.pixel(x, y) != at0.pixel(x, y)) {
                if (first < 0)
                    first = x;
                last = x;
            }
        return std::make_pair(first, last);
    };
    set(rec, 50, true);
    const QImage at50 = bar->grab().toImage();
    const auto [first, last] = changed_columns(at50);
    const QRect strip = switchbar_progress_rect(r, false, 50);
    EXPECT_EQ(first, strip.left());
    EXPECT_EQ(last, strip.right());
    set(rec, 50, true);  // the same progress again: nothing changes
    EXPECT_EQ(bar->grab().toImage(), at50);
    set(rec, 100, true);
    EXPECT_EQ(changed_columns(bar->grab().toImage()).second, r.right() - 2);
    // Stopped: the strip is grey, not white.
    set(rec, 100, false);
    const QImage stopped = bar->grab().toImage();
    const QPoint mid(r.left() + 4, r.top() + r.height() / 2);
    EXPECT_NE(stopped.pixel(mid), at0.pixel(mid));
    set(rec, 100, true);
    EXPECT_NE(stopped.pixel(mid), bar->grab().toImage().pixel(mid));
    // The other button is untouched by this one's progress.
    SwitchbarButton* ob = switchbar_button_of(other);
    ASSERT_TRUE(ob);
    const QPoint omid(ob->rect.left + 10, (ob->rect.top + ob->rect.bottom) / 2);
    EXPECT_EQ(bar->grab().toImage().pixel(omid), at0.pixel(omid));

    // The tree shows the percentage, the kind when the folder groups
    // several kinds, the nick and the file.
    struct Case {
        int grouping;
        std::string text;
    } cases[] = {{0, "100% amy f.txt"}, {1, "100% Get amy f.txt"}, {2, "100% Get amy f.txt"}};
    for (const Case& c : cases) {
        opt_set(OPT_N8_7, c.grouping);
        treebar_refresh(nullptr, 0);
        pump();
        QTreeWidgetItem* item = treebar_item_of(rec);
        ASSERT_TRUE(item) << c.grouping;
        EXPECT_EQ(item->text(0).toStdString(), c.text) << c.grouping;
    }
}

}  // namespace
