// Window identifiers typed into a channel's real editbox: the active window
// and its numbers, $window( of records and of the reserved windows, $fline(
// over the lines the window shows, and $cb over the real clipboard.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <string>

#include "model/connection.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "bars/picture_files.h"
#include "display/pictures.h"
#include "display/editbox.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"

namespace {

std::string last_line(const WindowRecord* rec)
{
    const StringNode* last = nullptr;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        last = n;
    return last ? last->text : std::string();
}

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class WindowIdentifiersTest : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        other = window_test_open("#other", kWinChannel, 0, conn);
        channel = window_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel && other);
        window_test_pump();
    }
    void TearDown() override { window_test_reset(); }

    std::string type(const std::string& text)
    {
        EditBox* box = channel->editbox.get();
        box->setTextBytes(text);
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
        return last_line(channel);
    }
    void expect_typed(const std::string& expression, const std::string& value)
    {
        SCOPED_TRACE(expression);
        const std::string line = type("//echo -a v " + expression);
        EXPECT_TRUE(ends_with(line, "v " + value)) << line;
    }

    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
    WindowRecord* other = nullptr;
};

TEST_F(WindowIdentifiersTest, ActiveWindowAndWindowProperties)
{
    win_active = channel->hwnd.get();
    expect_typed("$active", "#kest");
    expect_typed("$activewid", std::to_string(channel->number));
    expect_typed("$activecid", std::to_string(conn->id));
    expect_typed("$leftwin $leftwinwid", "#kest " + std::to_string(channel->number));
    expect_typed("$window(#other)", "#other");
    expect_typed("$window(#OTHER).type", "channel");
    expect_typed("$window(#other).wid", std::to_string(other->number));
    expect_typed("$window(@" + std::to_string(other->number) + ")", "#other");
    expect_typed("$len($window(#nowhere))", "0");
    expect_typed("$window(0)", "0");
    expect_typed("$window(#*,0)", "2");
    expect_typed("$window(#*,2)", "#kest");
    expect_typed("$window(@mdi).type", "mdi");
    expect_typed("$window(-3).type", "mdi");
    expect_typed("$window(#kest).fontsize", std::to_string(channel->font_size));
    expect_typed("$window(#kest).mdi", "$true");
    const std::string state = type("//echo -a v $window(#kest).state");
    EXPECT_TRUE(ends_with(state, "v normal") || ends_with(state, "v maximized")) << state;
}

TEST_F(WindowIdentifiersTest, FindLinesInTheWindow)
{
    type("//echo -a first ABC line");
    type("//echo -a second line");
    type("//echo -a \x02" "third\x02 abc");
    // The mask matches without case; the line's codes go unless the mask
    // has codes of its own.
    expect_typed("$fline(#kest,*abc*,0)", "2");
    const std::string first = type("//echo -a v $fline(#kest,*abc*,1).text");
    EXPECT_TRUE(ends_with(first, "first ABC line")) << first;
    expect_typed("$fline(#kest,*third abc*,0)", "1");
    expect_typed("$fline(#kest,*zzz*,0)", "0");
    expect_typed("$len($fline(#kest,*zzz*,1))", "0");
    // Asked again, the count also holds the answer line that showed the
    // first match's text.
    expect_typed("$fline(#kest,*abc*,0)", "3");
}

TEST_F(WindowIdentifiersTest, ClipboardLines)
{
    QGuiApplication::clipboard()->setText("one\r\ntwo\nthree");
    expect_typed("$cb", "one");
    expect_typed("$cb(0)", "3");
    expect_typed("$cb(2)", "two");
    expect_typed("$cb(3).len", "5");
    expect_typed("$cb(0).len", std::to_string(std::string("one\r\ntwo\nthree").size()));
    expect_typed("$len($cb(4))", "0");
    expect_typed("$len($cb(-1))", "0");
}

} // namespace

namespace {

TEST_F(WindowIdentifiersTest, EditboxTextAndSelection)
{
    other->editbox.get()->setTextBytes("waiting text");
    expect_typed("$editbox(#other)", "waiting text");
    expect_typed("$editbox(#other).selstart $editbox(#other).selend", "13 13");
    expect_typed("$len($editbox(#nowhere))", "0");
    // The box the line was typed in is empty again once it ran.
    expect_typed("$len($editbox(#kest))", "0");
}

} // namespace

namespace {

TEST_F(WindowIdentifiersTest, TextMeasuredInAFont)
{
    const auto number = [this](const std::string& expression) {
        const std::string line = type("//echo -a v " + expression);
        const std::size_t at = line.rfind("v ");
        return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + 2);
    };
    const int short_width = number("$width(abc,Sans,14)");
    const int long_width = number("$width(abcabc,Sans,14)");
    EXPECT_GT(short_width, 0);
    EXPECT_GT(long_width, short_width);
    EXPECT_GE(number("$width(abcabc,Sans,14,1)"), long_width);
    // With codes on, a bold code takes no room of its own.
    EXPECT_EQ(number("$width(\x02" "abc\x02,Sans,14,0,1)"), number("$width(abc,Sans,14,1)"));
    EXPECT_GT(number("$height(abc,Sans,14)"), 0);
    // A text twice as wide as the width takes at least two lines.
    const std::string text = "word word word word word word word word";
    const int full = number("$width(" + text + ",Sans,14)");
    const int lines = number("$wrap(" + text + ",Sans,14," + std::to_string(full / 2) + ",0)");
    EXPECT_GE(lines, 2);
    EXPECT_LE(lines, 4);
    expect_typed("$wrap(" + text + ",Sans,14," + std::to_string(full / 2) + ",1)", "word word word word");
    expect_typed("$len($wrap(abc,Sans,14,100,5))", "0");
}

} // namespace

#include <QImage>
#include <QListWidget>

#include "app/child_widgets.h"
#include "model/nick_list.h"

namespace {

TEST_F(WindowIdentifiersTest, SelectedNicksOfTheNickList)
{
    const int op = nicklist_prefix_bit(conn, '@');
    nicklist_update("alpha", channel, kNickAddOrChange, op);
    nicklist_update("beta", channel, kNickAddOrChange, 1);
    nicklist_update("gamma", channel, kNickAddOrChange, 1);
    window_test_pump();
    ListBox* list = channel->listbox.get();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), 3);
    expect_typed("$len($snicks)", "0");
    expect_typed("$snick(#kest,0)", "0");
    // The user picks the operator and the last nick with Ctrl held.
    for (int row : {0, 2}) {
        const QRect r = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, r.center());
    }
    expect_typed("$snicks", "alpha,gamma");
    expect_typed("$snick(#kest)", "alpha,gamma");
    expect_typed("$snick(#kest,0)", "2");
    expect_typed("$snick(#kest,2)", "gamma");
    expect_typed("$sline(#kest,1)", "alpha");
    expect_typed("$sline(#kest,2).ln", "3");
    expect_typed("$len($sline(#kest,3))", "0");
    // Another channel has its own (empty) selection.
    expect_typed("$snick(#other,0)", "0");
}

TEST_F(WindowIdentifiersTest, PictureSizes)
{
    char path[] = "/tmp/kest_pic_XXXXXX.png";
    const int fd = mkstemps(path, 4);
    ASSERT_GE(fd, 0);
    ::close(fd);
    QImage image(21, 13, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromUtf8(path), "PNG"));
    const std::string p = path;
    expect_typed("$pic(" + p + ").width $pic(" + p + ").height", "21 13");
    const std::string size = type("//echo -a v $pic(" + p + ")");
    EXPECT_GT(std::atoi(size.c_str() + size.rfind("v ") + 2), 0) << size;
    std::remove(path);
    expect_typed("$pic(" + p + ")", "0");
}

TEST_F(WindowIdentifiersTest, PictureSizesOfEveryKindFromTheirHeaders)
{
    using namespace picture_files;
    TempDir dir("kest_pic_kinds_");
    const std::string gif = dir.path + "a.GIF", jpg = dir.path + "b.jpeg", bmp = dir.path + "c.bmp";
    const std::string fake = dir.path + "d.bmp", text = dir.path + "e.txt", big = dir.path + "f.gif";
    ASSERT_TRUE(write_gif(gif, 7, 5, {qRgb(0, 0, 0), qRgb(255, 0, 0)}, 0, {gif_solid(0, 0, 7, 5, 1)}));
    ASSERT_TRUE(write_jpeg(jpg, 9, 4, JCS_RGB, qRgb(10, 20, 30)));
    QImage image(3, 11, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_EQ(dib_save_bmp(bmp, image), 1);
    spit(fake, "XM and nothing that makes a bitmap file");
    std::filesystem::copy_file(gif, text);
    std::filesystem::copy_file(gif, big);
    gif_set_screen(big, 65535, 65535);
    struct Case {
        std::string file;
        const char* size;  // width and height
        bool has_bytes;
    };
    const Case cases[] = {
        {gif, "7 5", true}, {jpg, "9 4", true}, {bmp, "3 11", true},
        {fake, "0 0", false}, {text, "0 0", false}, {big, "0 0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        expect_typed("$pic(" + c.file + ").width $pic(" + c.file + ").height", c.size);
        const std::string bytes = type("//echo -a v $pic(" + c.file + ").size");
        const long long n = std::atoll(bytes.c_str() + bytes.rfind("v ") + 2);
        if (c.has_bytes) {
            EXPECT_EQ(n, static_cast<long long>(std::filesystem::file_size(c.file)));
        } else {
            EXPECT_EQ(n, 0);
        }
    }
}

} // namespace

#include <QCursor>

namespace {

TEST_F(WindowIdentifiersTest, MousePositionOverAWindow)
{
    QWidget* text = channel->text_area.get() ? static_cast<QWidget*>(channel->text_area.get()) : channel->hwnd.get();
    ASSERT_TRUE(text);
    const QPoint inside = text->mapToGlobal(QPoint(5, 7));
    QCursor::setPos(inside);
    if (QCursor::pos() != inside)
        GTEST_SKIP() << "this platform does not move the cursor";
    expect_typed("$mouse.win", "#kest");
    expect_typed("$mouse.lb", "$false");
    expect_typed("$mouse.key", "0");
}

} // namespace
