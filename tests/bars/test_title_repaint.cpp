// What a server line repaints of the switchbar: a line that changes a
// window's caption but not its name repaints that window's button alone,
// never the whole bar and never another window's button; a line that renames
// a window lays the bar out again. Another user's NICK refreshes the captions
// of the windows that hold the nick only; our own NICK every caption.
#define KEST_TEST_WIDGETS
#include <QEvent>
#include <QPaintEvent>
#include <QRegion>
#include <QWidget>

#include <string>
#include <vector>

#include "bar_fixture.h"
#include "bars/switchbar.h"
#include "irc/dispatch/captions.h"
#include "model/connection.h"
#include "model/window_record.h"

namespace {

// The union of the regions the bar painted.
class PaintRegions : public QObject {
public:
    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return false;
    }
};

QRect button_rect(WindowRecord* rec)
{
    const SwitchbarButton* b = switchbar_button_of(rec);
    if (!b)
        return {};
    return QRect(QPoint(b->rect.left, b->rect.top), QPoint(b->rect.right - 1, b->rect.bottom - 1));
}

class TitleRepaintTest : public BarTest {
protected:
    PaintRegions regions;
    std::vector<std::pair<WindowRecord*, std::string>> captions;
    int listener = 0;

    void SetUp() override
    {
        BarTest::SetUp();
        caption_changed.add_once(listener, 0, [this](WindowRecord* rec, const std::string& text) {
            captions.emplace_back(rec, text);
        });
    }
    void TearDown() override
    {
        caption_changed.drop(listener);
        bar->removeEventFilter(&regions);
        BarTest::TearDown();
    }
    void watch()
    {
        pump();
        regions.painted = QRegion();
        regions.paints = 0;
        captions.clear();
        bar->installEventFilter(&regions);
    }
    std::vector<std::string> captions_of(WindowRecord* rec) const
    {
        std::vector<std::string> out;
        for (const auto& [r, t] : captions)
            if (r == rec)
                out.push_back(t);
        return out;
    }
};

// Lines that leave every window's name as it was: what the bar paints lies
// inside the button of the window the line was for (with the margin a
// button's repaint takes), and none of it on the other channel's button.
// The window is the active one, so no activity colour changes the bar.
TEST_F(TitleRepaintTest, CaptionChangesRepaintOnlyTheirOwnButton)
{
    WindowRecord* b = join("#beta");
    WindowRecord* a = join("#alpha");
    ASSERT_TRUE(a && b);
    ASSERT_EQ(win_record_of(win_active.get()), a);
    feed(":irc.test 353 me = #alpha :me ann bob");
    feed(":irc.test 366 me #alpha :End of /NAMES list.");
    const struct {
        const char* line;
        bool caption_changes;
    } cases[] = {
        {":ann!a@h PRIVMSG #alpha :hello there", false},
        {":ann!a@h PRIVMSG #alpha :h", false},
        {":ann!a@h NOTICE #alpha :a notice", false},
        {":carl!c@h JOIN :#alpha", true},
        {":carl!c@h PART #alpha :bye", true},
        {":ann!a@h TOPIC #alpha :a new topic", true},
        {":ann!a@h TOPIC #alpha :a new topic", false},  // the same again
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const QRect own = button_rect(a);
        const QRect other = button_rect(b);
        ASSERT_FALSE(own.isEmpty());
        ASSERT_FALSE(other.isEmpty());
        watch();
        feed(c.line);
        EXPECT_EQ(captions_of(a).size(), c.caption_changes ? 1u : 0u);
        EXPECT_TRUE(captions_of(b).empty());
        EXPECT_TRUE(own.adjusted(-6, -6, 2, 2).contains(regions.painted.boundingRect()) || regions.painted.isEmpty())
            << "painted " << regions.painted.boundingRect().x() << "," << regions.painted.boundingRect().y() << " "
            << regions.painted.boundingRect().width() << "x" << regions.painted.boundingRect().height();
        EXPECT_FALSE(regions.painted.intersects(other.adjusted(2, 2, -2, -2)));
        bar->removeEventFilter(&regions);
    }
}

// A query renamed by its partner's NICK: the bar is laid out again (its
// whole face repaints) and the button and the caption carry the new name.
// The same NICK seen twice (the second one names nobody) changes nothing.
TEST_F(TitleRepaintTest, RenamedQueryLaysTheBarOutAgain)
{
    WindowRecord* chan = join("#alpha");
    feed(":ann!a@h PRIVMSG me :hi");
    WindowRecord* query = win_find_by_name("ann", conn);
    ASSERT_TRUE(chan && query);
    watch();
    feed(":ann!a@h NICK :anna");
    EXPECT_EQ(query->name, "anna");
    EXPECT_STREQ(switchbar_button_label(query), "anna");
    ASSERT_EQ(captions_of(query).size(), 1u);
    EXPECT_EQ(captions_of(query)[0].rfind("anna", 0), 0u);
    EXPECT_TRUE(regions.painted.contains(button_rect(chan).center()));
    EXPECT_EQ(switchbar_button_of(query)->laid_name, "anna");

    watch();
    feed(":ann!a@h NICK :anna");
    EXPECT_EQ(query->name, "anna");
    EXPECT_TRUE(captions.empty());
}

// Another user's NICK: the channels that hold the nick are refreshed, the
// others are not even looked at; our own NICK changes every caption that
// shows the own nick.
TEST_F(TitleRepaintTest, NickRefreshesTheWindowsThatHoldIt)
{
    conn->network = "Net";
    WindowRecord* a = join("#alpha");
    WindowRecord* b = join("#beta");
    ASSERT_TRUE(a && b);
    feed(":irc.test 353 me = #alpha :me ann");
    feed(":irc.test 366 me #alpha :End of /NAMES list.");
    feed(":irc.test 353 me = #beta :me bob");
    feed(":irc.test 366 me #beta :End of /NAMES list.");
    feed(":irc.test 332 me #alpha :the topic");

    watch();
    feed(":ann!a@h NICK :anne");
    // The caption of #alpha shows nothing of ann's nick: unchanged, and
    // #beta is untouched.
    EXPECT_TRUE(captions_of(a).empty());
    EXPECT_TRUE(captions_of(b).empty());

    watch();
    feed(":me!u@h NICK :me2");
    ASSERT_EQ(captions_of(a).size(), 1u);
    ASSERT_EQ(captions_of(b).size(), 1u);
    EXPECT_NE(captions_of(a)[0].find("me2"), std::string::npos);
    EXPECT_NE(captions_of(b)[0].find("me2"), std::string::npos);
    EXPECT_NE(captions_of(a)[0].find("the topic"), std::string::npos);
}

}  // namespace
