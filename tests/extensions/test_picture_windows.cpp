// Picture windows opened with /window -p: every draw command run by the
// script interpreter into a small window, its back buffer compared with
// the picture the command must leave (pixels it must set and pixels it must
// leave alone); pictures drawn from files and the image cache; saves to BMP,
// PNG and JPEG read back and compared, and a failed save leaving the old
// file; $getdot, $click and $pic; the errors; hostile sizes; and the mouse
// handlers of custom and picture windows run by clicks on the real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMdiArea>
#include <QPainter>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/frame_layout.h"
#include "app/mdi_arrange.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "core/files.h"
#include "core/options.h"
#include "core/string_list.h"
#include "display/child_controls.h"
#include "display/editbox.h"
#include "display/pictures.h"
#include "display/window_lines.h"
#include "extensions/picture_files.h"
#include "extensions/picture_windows.h"
#include "irc/link/connections.h"
#include "model/colors.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "platform/platform_utils.h"
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"

namespace {

namespace fs = std::filesystem;

QPointer<QMainWindow> g_frame;

void pump()
{
    test_drain_events();
}

// The palette colour of an index and an RGB number as the buffer holds them.
QRgb pal(int index)
{
    return color_rgb_to_argb(color_rgb(static_cast<std::uint32_t>(index)));
}

QRgb rgb_number(unsigned value)
{
    return color_rgb_to_argb(value & 0xFFFFFF);
}

// A pixel list: the expected picture is the background with these set.
struct Dot {
    int x, y;
    QRgb c;
};

class PictureWindows : public ::testing::Test {
    HookGuard hooks_;
    SavedValues<int> saved_depth_{color_screen_depth};

protected:
    TempSettingsDir temp{"kest_picture_"};
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        fs::create_directories(temp.path() + "logs");  // the status window's log
        reset_windows();
        app_install_subsystems();
        beep_play_hook = [](int) {};
        color_screen_depth = 32;
        picture_cache_free_all();
        remote_files_free_all();
        conn = conn_new_with_status(conn_list);
        ASSERT_TRUE(conn);
        status = win_record_of(conn->status_window.data());
        ASSERT_TRUE(status);
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->live_identity[2] = "me";
    }

    void TearDown() override
    {
        picture_cache_free_all();
        remote_files_free_all();
        if (conn_is_live(conn))
            conn->socket = -1;
        reset_windows();
    }

    static void reset_windows()
    {
        test_frame_mdi(g_frame);
        app_exit_mode = 0;
        win_hooks = WinHooks();
        child_hooks = ChildHooks();
        open_hooks = OpenHooks();
        options_reset();
        for (Connection* c = conn_list; c; c = c->next)
            c->socket = -1;
        win_close_all();
        conn_free_all();
        while (win_list)
            win_record_free(win_list);
        win_active = nullptr;
        win_last_activated = nullptr;
        pump();
        win_cascade_reset();
        win_custom_request = CustomWindowRequest();
        pump();
    }

    // Runs a line as a script runs it, in the status window.
    int run(const std::string& line)
    {
        const int r = script_exec_line(status->hwnd.get(), line.c_str(), nullptr, 1, nullptr, nullptr, conn);
        pump();
        return r;
    }

    // The status window's lines without the separators around a command's
    // output.
    std::vector<std::string> status_lines() const
    {
        std::vector<std::string> out;
        for (const StringNode* n = status->lines; n; n = n->next)
            if (n->text != "-" && !n->text.empty())
                out.push_back(n->text);
        return out;
    }

    std::string last_status_line() const
    {
        const auto lines = status_lines();
        return lines.empty() ? std::string() : lines.back();
    }

    // A picture window with a text area of the size.
    WindowRecord* open_picture(const std::string& name, int w, int h)
    {
        run("/window -pf " + name + " 0 0 " + std::to_string(w) + " " + std::to_string(h));
        WindowRecord* rec = win_find_by_name(name, nullptr);
        return picture_of(rec) ? rec : nullptr;
    }

    static QImage& buffer(WindowRecord* rec) { return picture_of(rec)->buffer; }

    static QImage expected_with(const QImage& like, const std::vector<Dot>& dots)
    {
        QImage out(like.size(), QImage::Format_RGB32);
        out.fill(picture_background());
        for (const Dot& d : dots)
            out.setPixel(d.x, d.y, d.c);
        return out;
    }

    // The differing pixels, for the failure message.
    static std::string differences(const QImage& got, const QImage& want)
    {
        std::string out;
        int n = 0;
        for (int y = 0; y < want.height(); ++y)
            for (int x = 0; x < want.width(); ++x)
                if ((got.pixel(x, y) | 0xFF000000u) != (want.pixel(x, y) | 0xFF000000u) && n++ < 12)
                    out += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
        return n ? std::to_string(n) + " pixels differ:" + out : std::string();
    }

    const std::vector<std::string>& sent() { return wire.lines(); }

    ScriptFile* load_script(const std::string& name, const std::vector<std::string>& lines)
    {
        std::ofstream out(temp.path() + name);
        for (const auto& l : lines)
            out << l << "\n";
        out.close();
        return remote_file_load(temp.path() + name, kRemoteScript, 9999, nullptr);
    }
};

// The border pixels of the box [l, r) x [t, b).
std::vector<Dot> border(int l, int t, int r, int b, QRgb c)
{
    std::vector<Dot> out;
    for (int x = l; x < r; ++x) {
        out.push_back({x, t, c});
        out.push_back({x, b - 1, c});
    }
    for (int y = t; y < b; ++y) {
        out.push_back({l, y, c});
        out.push_back({r - 1, y, c});
    }
    return out;
}

std::vector<Dot> box(int l, int t, int r, int b, QRgb c)
{
    std::vector<Dot> out;
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x)
            out.push_back({x, y, c});
    return out;
}

std::vector<Dot> box_dots(int l, int t, int r, int b, QRgb c)
{
    return box(l, t, r, b, c);
}

std::vector<Dot> joined(std::vector<std::vector<Dot>> parts)
{
    std::vector<Dot> out;
    for (auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Every second pixel along the outline, walking from the top-left corner
// along the top, down the right side, back along the bottom and up the left.
std::vector<Dot> dotted(int l, int t, int r, int b, QRgb c)
{
    std::vector<QPoint> path;
    for (int x = l; x < r; ++x)
        path.emplace_back(x, t);
    for (int y = t + 1; y < b; ++y)
        path.emplace_back(r - 1, y);
    for (int x = r - 2; x >= l; --x)
        path.emplace_back(x, b - 1);
    for (int y = b - 2; y > t; --y)
        path.emplace_back(l, y);
    std::vector<Dot> out;
    for (std::size_t k = 0; k < path.size(); k += 2)
        out.push_back({path[k].x(), path[k].y(), c});
    return out;
}

QRgb not_xor(QRgb s, QRgb d)
{
    return 0xFF000000u | (~(s ^ d) & 0xFFFFFFu);
}

// ---- The exact draw commands ----

TEST_F(PictureWindows, EachDrawCommandSetsItsPixelsAndLeavesTheRestAlone)
{
    WindowRecord* pic = open_picture("@pic", 40, 30);
    ASSERT_TRUE(pic);
    ASSERT_GE(buffer(pic).width(), 30);
    ASSERT_GE(buffer(pic).height(), 20);
    const QRgb c4 = pal(4), c2 = pal(2), bg = picture_background();
    const QRgb red = rgb_number(255);

    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::vector<Dot> dots;
    };
    const std::vector<Case> cases = {
        {"one-pixel dots", {"/drawdot @pic 4 1 3 5 7 9 0 0"}, {{3, 5, c4}, {7, 9, c4}, {0, 0, c4}}},
        {"dot size 0 is 1", {"/drawdot @pic 4 0 3 5"}, {{3, 5, c4}}},
        {"dot size 5000 is 1", {"/drawdot @pic 4 5000 3 5"}, {{3, 5, c4}}},
        {"dot in RGB", {"/drawdot -r @pic 255 1 1 1"}, {{1, 1, red}}},
        {"dot off the buffer", {"/drawdot @pic 4 1 -1 -1 400 2"}, {}},
        {"hollow rectangle", {"/drawrect @pic 4 1 2 3 5 4"}, border(2, 3, 7, 7, c4)},
        {"three nested outlines", {"/drawrect @pic 4 3 2 3 10 9"},
         joined({border(2, 3, 12, 12, c4), border(3, 4, 11, 11, c4), border(4, 5, 10, 10, c4)})},
        {"filled rectangle", {"/drawrect -f @pic 4 1 2 3 5 4"}, box(2, 3, 7, 7, c4)},
        {"reversed corners", {"/drawrect @pic 4 1 7 7 -5 -4"}, border(2, 3, 7, 7, c4)},
        {"zero size sets one pixel", {"/drawrect @pic 4 1 5 6 0 0"}, {{5, 6, c4}}},
        {"two rectangles", {"/drawrect @pic 4 1 0 0 2 2 10 10 2 2"},
         joined({box(0, 0, 2, 2, c4), box(10, 10, 12, 12, c4)})},
        {"dotted outline", {"/drawrect -c @pic 4 1 2 3 6 5"}, dotted(2, 3, 8, 8, c4)},
        {"rectangle in RGB", {"/drawrect -r @pic 255 1 2 3 5 4"}, border(2, 3, 7, 7, red)},
        {"not-xor pen", {"/drawrect -i @pic 4 1 2 3 5 4"}, border(2, 3, 7, 7, not_xor(c4, bg))},
        {"not-xor twice restores", {"/drawrect -i @pic 4 1 2 3 5 4", "/drawrect -i @pic 4 1 2 3 5 4"},
         border(2, 3, 7, 7, not_xor(c4, not_xor(c4, bg)))},
        {"fill inside a border",
         {"/drawrect @pic 4 1 2 3 5 4", "/drawfill @pic 2 4 4 5"},
         joined({border(2, 3, 7, 7, c4), box(3, 4, 6, 6, c2)})},
        {"fill started on the border fills nothing",
         {"/drawrect @pic 4 1 2 3 5 4", "/drawfill @pic 2 4 2 3"}, border(2, 3, 7, 7, c4)},
        {"surface fill leaves the enclosed part",
         {"/drawrect @pic 4 1 2 3 5 4",
          "/drawfill -rs @pic " + std::to_string(color_rgb(2)) + " " + std::to_string(color_rgb(kColorBackground)) + " 0 0"},
         {}},  // filled in below
        {"replace a colour", {"/drawrect @pic 4 1 2 3 5 4", "/drawreplace @pic 4 2"}, border(2, 3, 7, 7, c2)},
        {"replace within an area", {"/drawrect @pic 4 1 2 3 5 4", "/drawreplace @pic 4 2 0 0 4 100"},
         {}},  // filled in below
        {"scroll an area", {"/drawdot @pic 4 1 5 5 9 9 0 0", "/drawscroll @pic 2 1 0 0 10 10"},
         {{7, 6, c4}, {0, 0, c4}, {2, 1, c4}}},
        {"copy within the window, overlapping",
         {"/drawdot @pic 4 1 0 0", "/drawdot @pic 2 1 1 0", "/drawcopy @pic 0 0 3 1 @pic 1 0"},
         {{0, 0, c4}, {1, 0, c4}, {2, 0, c2}, {3, 0, bg}}},
        {"copy stretched to double", {"/drawdot @pic 4 1 0 0", "/drawcopy @pic 0 0 1 1 @pic 10 10 2 2"},
         {{0, 0, c4}, {10, 10, c4}, {11, 10, c4}, {10, 11, c4}, {11, 11, c4}}},
        {"scroll two areas",
         {"/drawdot @pic 4 1 1 1 21 1", "/drawscroll @pic 1 0 0 0 5 5 0 1 20 0 5 5"},
         {{2, 1, c4}, {21, 2, c4}}},
        {"merge-paint copy", {"/drawdot @pic 4 1 0 0", "/drawdot -r @pic 0 1 5 5", "/drawcopy -i @pic 0 0 1 1 @pic 5 5"},
         {{0, 0, c4}, {5, 5, 0xFF000000u | (~c4 & 0xFFFFFFu)}}},
        {"copy with a transparent colour",
         {"/drawdot @pic 4 1 0 0", "/drawdot @pic 2 1 21 0", "/drawdot @pic 2 1 20 0",
          "/drawcopy -t @pic " + std::to_string(color_rgb(kColorBackground)) + " 0 0 2 1 @pic 20 0"},
         {{0, 0, c4}, {20, 0, c4}, {21, 0, c2}}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run("/clear @pic");
        for (const std::string& line : c.lines)
            EXPECT_EQ(run(line), 1) << line << ": " << last_status_line();
        std::vector<Dot> dots = c.dots;
        QImage want = expected_with(buffer(pic), dots);
        if (std::string(c.what) == "surface fill leaves the enclosed part") {
            want.fill(c2);
            for (const Dot& d : border(2, 3, 7, 7, c4))
                want.setPixel(d.x, d.y, d.c);
            for (const Dot& d : box(3, 4, 6, 6, bg))
                want.setPixel(d.x, d.y, d.c);
        } else if (std::string(c.what) == "replace within an area") {
            for (const Dot& d : border(2, 3, 7, 7, c4))
                want.setPixel(d.x, d.y, d.x < 4 ? c2 : c4);
        }
        EXPECT_EQ(differences(buffer(pic), want), "");
    }
}

TEST_F(PictureWindows, MoreSwitchesOfFillRotationAndCopies)
{
    WindowRecord* pic = open_picture("@pic", 40, 30);
    ASSERT_TRUE(pic);
    const QRgb c4 = pal(4), bg = picture_background();
    // A fill pattern from a file: red and green side by side.
    QImage pattern(2, 1, QImage::Format_RGB32);
    pattern.setPixel(0, 0, qRgb(255, 0, 0));
    pattern.setPixel(1, 0, qRgb(0, 255, 0));
    ASSERT_EQ(dib_save_bmp(temp.path() + "stripes.bmp", pattern), 1);
    run("/drawrect @pic 4 1 2 3 5 4");
    EXPECT_EQ(run("/drawfill @pic 2 4 4 5 stripes.bmp"), 1) << last_status_line();
    std::vector<Dot> want = border(2, 3, 7, 7, c4);
    for (const Dot& d : box(3, 4, 6, 6, 0))
        want.push_back({d.x, d.y, pattern.pixel(d.x % 2, 0)});
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), want)), "");

    // Rotation centred on its area, and a background colour of its own for
    // the corners a turn by 45 leaves.
    run("/clear @pic");
    run("/drawrect -f @pic 4 1 10 10 4 2");
    run("/drawrot -c @pic 90 10 10 4 2");
    // The turned copy goes over the area; what it does not cover stays.
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), joined({box(11, 9, 13, 13, c4), box(10, 10, 14, 12, c4)}))), "");
    EXPECT_EQ(picture_of(pic)->extent_y, 13);
    run("/clear @pic");
    run("/drawrect -f @pic 4 1 10 10 8 8");
    run("/drawrot -b @pic 255 45 10 10 8 8");
    EXPECT_EQ(buffer(pic).pixel(10, 10), rgb_number(255)) << "a corner takes the given background";
    EXPECT_EQ(buffer(pic).pixel(15, 15), c4) << "the middle keeps the square";
    // Stretched back into its area.
    run("/clear @pic");
    run("/drawrect -f @pic 4 1 10 10 4 2");
    run("/drawrot -f @pic 90 10 10 4 2");
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), box(10, 10, 14, 12, c4))), "");

    // The extent: a replace in a small area does not shrink it.
    run("/clear @pic");
    run("/drawdot @pic 4 1 20 15");
    run("/drawreplace @pic 4 2 0 0 4 4");
    EXPECT_EQ(picture_of(pic)->extent_x, 21);
    EXPECT_EQ(picture_of(pic)->extent_y, 16);
    // A copy grows the extent of the window drawn into.
    run("/window -p @two");
    WindowRecord* two = win_find_by_name("@two", nullptr);
    ASSERT_TRUE(picture_of(two));
    EXPECT_EQ(run("/drawcopy @pic 20 15 1 1 @two 7 8"), 1);
    EXPECT_EQ(buffer(two).pixel(7, 8), c4);
    EXPECT_EQ(picture_of(two)->extent_x, 8);
    EXPECT_EQ(picture_of(two)->extent_y, 9);
    EXPECT_EQ(buffer(pic).pixel(7, 8), bg);

    // -h raises the activity of a window the user is not looking at.
    win_activate(status->hwnd, 0);
    pump();
    pic->activity = 0;
    run("/drawdot -n @pic 4 1 1 1");
    EXPECT_EQ(pic->activity, 0);
    run("/drawdot -hn @pic 4 1 1 1");
    EXPECT_EQ(pic->activity, 1);
}

TEST_F(PictureWindows, IconsAreDrawnAtTheSizeAsked)
{
    WindowRecord* pic = open_picture("@pic", 60, 50);
    ASSERT_TRUE(pic);
    QImage icon(48, 48, QImage::Format_ARGB32);
    icon.fill(qRgb(0, 0, 255));
    ASSERT_TRUE(icon.save(QString::fromStdString(temp.path() + "blue.ico"), "ICO"));
    struct Case {
        const char* line;
        int side;
    } cases[] = {{"/drawpic -g1 @pic 0 0 blue.ico", 16}, {"/drawpic @pic 0 0 blue.ico", 32},
                 {"/drawpic -g3 @pic 0 0 blue.ico", 48}, {"/drawpic -o @pic 0 0 0 blue.ico", 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        run("/clear @pic");
        EXPECT_EQ(run(c.line), 1) << last_status_line();
        EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), box(0, 0, c.side, c.side, qRgb(0, 0, 255)))), "");
    }
    EXPECT_EQ(run("/drawpic -o @pic 0 0 5 blue.ico"), 0) << "no fifth icon";
    EXPECT_EQ(last_status_line(), "* /drawpic: Dosyası 'blue.ico' bölümüne yüklenirken hata oluştu");
}

// A script opens a window and draws at once, before any event is handled:
// the buffer has the window's size already.
TEST_F(PictureWindows, DrawingRightAfterOpeningReachesTheWholeWindow)
{
    EXPECT_EQ(script_exec_line(status->hwnd.get(),
                               "/window -pf @now 20 20 300 200 | drawrect -f @now 4 1 0 0 300 200 | "
                               "drawdot @now 2 1 250 150",
                               nullptr, 1, nullptr, nullptr, conn),
              1);
    WindowRecord* now = win_find_by_name("@now", nullptr);
    ASSERT_TRUE(picture_of(now));
    EXPECT_GE(buffer(now).width(), 251);
    EXPECT_GE(buffer(now).height(), 151);
    EXPECT_EQ(buffer(now).pixel(250, 150), pal(2));
    EXPECT_EQ(buffer(now).pixel(200, 100), pal(4));
    pump();
    EXPECT_EQ(buffer(now).pixel(250, 150), pal(2)) << "kept when the window is laid out";
    EXPECT_EQ(buffer(now).pixel(200, 100), pal(4));
}

// A draw command typed into the status window's input box.
TEST_F(PictureWindows, ADrawCommandTypedByTheUser)
{
    WindowRecord* pic = open_picture("@pic", 20, 20);
    ASSERT_TRUE(pic && status->editbox.get());
    EditBox* box = status->editbox.get();
    QTest::keyClicks(box, "/drawrect -f @pic 4 1 1 1 3 3");
    QTest::keyClick(box, Qt::Key_Return);
    pump();
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), box_dots(1, 1, 4, 4, pal(4)))), "");
}

// Shapes drawn by the painter: they stay inside their box, cover its
// middle when filled, and leave everything else alone.
TEST_F(PictureWindows, ShapesStayInsideTheirBoxes)
{
    WindowRecord* pic = open_picture("@pic", 60, 50);
    ASSERT_TRUE(pic);
    const QRgb bg = picture_background();
    struct Case {
        const char* line;
        QRect inside;   // every changed pixel lies here
        QPoint set;     // this one must be set
        QPoint clear;   // and this one not
    } cases[] = {
        {"/drawdot @pic 4 5 20 20", QRect(QPoint(14, 14), QPoint(23, 23)), QPoint(18, 18), QPoint(23, 23)},
        {"/drawrect -ef @pic 4 1 10 10 20 10", QRect(10, 10, 20, 10), QPoint(20, 15), QPoint(10, 10)},
        {"/drawrect -e @pic 4 1 10 10 20 10", QRect(10, 10, 20, 10), QPoint(10, 14), QPoint(20, 15)},
        {"/drawrect -df @pic 4 1 10 10 30 20", QRect(10, 10, 30, 20), QPoint(25, 20), QPoint(10, 10)},
        {"/drawrect -d @pic 4 1 10 10 30 20 4 4", QRect(10, 10, 30, 20), QPoint(20, 10), QPoint(10, 10)},
        {"/drawline @pic 4 1 2 5 20 5", QRect(QPoint(2, 5), QPoint(20, 5)), QPoint(10, 5), QPoint(10, 6)},
        {"/drawline @pic 4 5 10 20 30 20", QRect(QPoint(6, 16), QPoint(34, 24)), QPoint(20, 21), QPoint(20, 26)},
        {"/drawline @pic 4 1 2 2 2 12 12 12", QRect(QPoint(2, 2), QPoint(12, 12)), QPoint(7, 12), QPoint(7, 7)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        run("/clear @pic");
        EXPECT_EQ(run(c.line), 1) << last_status_line();
        const QImage& img = buffer(pic);
        std::string outside;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) | 0xFF000000u) != bg && !c.inside.contains(x, y))
                    outside += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
        EXPECT_EQ(outside, "");
        EXPECT_EQ(img.pixel(c.set), pal(4));
        EXPECT_EQ(img.pixel(c.clear), bg);
    }
}

TEST_F(PictureWindows, TextIsDrawnInItsBoxWithItsBackground)
{
    WindowRecord* pic = open_picture("@pic", 200, 60);
    ASSERT_TRUE(pic);
    const QRgb bg = picture_background();
    auto changed_in = [&](const QRect& r) {
        int n = 0;
        const QImage& img = buffer(pic);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) | 0xFF000000u) != bg && r.contains(x, y))
                    ++n;
        return n;
    };
    const QRect all = buffer(pic).rect();

    run("/drawtext @pic 4 10 10 Hello");
    const int in_text = changed_in(all);
    EXPECT_GT(in_text, 10);
    const int h = picture_of(pic)->extent_y - 10;
    const int w = picture_of(pic)->extent_x - 10;
    EXPECT_GT(w, 10);
    EXPECT_GT(h, 5);
    EXPECT_EQ(in_text, changed_in(QRect(10, 10, w, h))) << "nothing outside the measured box";

    // Clipped to a box; an opaque background fills it.
    run("/clear @pic");
    run("/drawtext -bc @pic 4 2 50 20 8 6 Hello world");
    EXPECT_EQ(changed_in(all), changed_in(QRect(50, 20, 8, 6)));
    EXPECT_EQ(buffer(pic).pixel(57, 25), pal(2)) << "the background fills the box";

    // Wrapped at blanks in its box: more lines below the first, nothing
    // right of the box.
    for (const char* line : {"/drawtext -c @pic 4 10 5 40 50 aaa bbb ccc ddd eee",
                             "/drawtext -cr @pic 255 10 5 40 50 aaa bbb ccc ddd eee"}) {
        SCOPED_TRACE(line);
        run("/clear @pic");
        run(line);
        EXPECT_EQ(changed_in(all), changed_in(QRect(10, 5, 40, 50)));
        EXPECT_GT(changed_in(QRect(10, 5 + h, 40, 50 - h)), 5) << "a second line";
    }
    run("/clear @pic");
    run("/drawtext @pic 4 10 5 aaa bbb ccc ddd eee");
    EXPECT_EQ(changed_in(QRect(10, 5 + h, 40, 50 - h)), 0) << "without a box: one line";
    EXPECT_GT(changed_in(QRect(50, 5, 100, h)), 5);

    // A face and size of its own, and RGB colours.
    run("/clear @pic");
    run("/drawtext -rb @pic 255 65280 \"DejaVu Sans\" 12 5 5 Wide");
    EXPECT_GT(changed_in(all), 10);
    int green = 0, red = 0;
    for (int y = 0; y < buffer(pic).height(); ++y)
        for (int x = 0; x < buffer(pic).width(); ++x) {
            green += buffer(pic).pixel(x, y) == rgb_number(65280) ? 1 : 0;
            red += buffer(pic).pixel(x, y) == rgb_number(255) ? 1 : 0;
        }
    EXPECT_GT(green, 10) << "the background in RGB";
    EXPECT_GT(red, 5) << "the text in RGB";
}

TEST_F(PictureWindows, RotationFollowsTheTurnRule)
{
    WindowRecord* pic = open_picture("@pic", 40, 30);
    ASSERT_TRUE(pic);
    // A 4 x 2 area with every pixel its own colour.
    std::vector<std::vector<QRgb>> src(2, std::vector<QRgb>(4));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const unsigned value = 0x010101u * static_cast<unsigned>(10 + 20 * (y * 4 + x));
            run("/drawdot -r @pic " + std::to_string(value) + " 1 " + std::to_string(10 + x) + " " +
                std::to_string(10 + y));
            src[y][x] = rgb_number(value);
        }
    const QImage before = buffer(pic).copy();

    // 360: the same picture.
    run("/drawrot @pic 360 10 10 4 2");
    EXPECT_EQ(differences(buffer(pic), before), "");

    // 180: turned upside down in place.
    run("/drawrot @pic 180 10 10 4 2");
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(buffer(pic).pixel(10 + x, 10 + y), src[1 - y][3 - x]) << x << "," << y;

    // 90: the area becomes 2 wide and 4 high at its corner, turned a
    // quarter with the clock: column j, row i shows source column i,
    // row 1 - j (the top row becomes the right column).
    run("/clear @pic");
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            buffer(pic).setPixel(10 + x, 10 + y, src[y][x]);
    run("/drawrot @pic 90 10 10 4 2");
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_EQ(buffer(pic).pixel(10 + j, 10 + i), src[1 - j][i]) << j << "," << i;
    EXPECT_EQ(picture_of(pic)->extent_x, 12);
    EXPECT_EQ(picture_of(pic)->extent_y, 14);

    // Errors: only the window repaints; with -n that is missing arguments.
    EXPECT_EQ(run("/drawrot @pic"), 1);
    EXPECT_EQ(run("/drawrot -n @pic"), 0);
    EXPECT_EQ(last_status_line(), "* /drawrot: Yetersiz veya eksik parametre");
}

TEST_F(PictureWindows, ErrorsNameTheCommand)
{
    ASSERT_TRUE(open_picture("@pic", 20, 20));
    run("/window @text");
    ASSERT_TRUE(win_find_by_name("@text", nullptr));
    struct Case {
        const char* line;
        int result;
        const char* message;  // the last status line, or empty: none
    } cases[] = {
        {"/drawdot", 0, "* /drawdot: Yetersiz veya eksik parametre"},
        {"/drawdot @nosuch 4 1 1 1", 0, "* /drawdot: Geçersiz pencere"},
        {"/drawline @text 4 1 1 1 2 2", 0, "* /drawline: Geçersiz pencere"},
        {"/drawdot @pic 4 1 1", 0, "* /drawdot: Yetersiz veya eksik parametre"},
        {"/drawline @pic 4 1 1 1", 0, "* /drawline: Yetersiz veya eksik parametre"},
        {"/drawdot -n @pic", 0, "* /drawdot: Yetersiz veya eksik parametre"},
        {"/drawscroll @pic 1 1 1", 0, "* /drawscroll: Yetersiz veya eksik parametre"},
        {"/drawcopy @pic 0 0 4 4 @text 0 0", 0, "* /drawcopy: Geçersiz pencere"},
        {"/drawpic", 0, "* /drawpic: Yetersiz veya eksik parametre"},
        {"/drawpic @pic 0 0 nosuch.png", 0, "* /drawpic: Dosyası 'nosuch.png' bölümüne yüklenirken hata oluştu"},
        {"/drawfill @pic 4 4 1 1 nosuch.bmp", 0, "* /drawfill: Dosyası 'nosuch.bmp' bölümüne yüklenirken hata oluştu"},
        {"/drawsave @text", 0, "* /drawsave: Geçersiz pencere"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::size_t before = status_lines().size();
        EXPECT_EQ(run(c.line), c.result);
        EXPECT_EQ(last_status_line(), c.message);
        EXPECT_EQ(status_lines().size(), before + 1) << ::testing::PrintToString(status_lines());
    }
    // Only the window: shown again, nothing printed.
    const std::size_t before = status_lines().size();
    for (const char* line : {"/drawdot @pic", "/drawrect @pic", "/drawtext @pic", "/drawpic @pic", "/drawcopy @pic"})
        EXPECT_EQ(run(line), 1) << line;
    EXPECT_EQ(status_lines().size(), before);
}

// ---- Pictures and the cache ----

TEST_F(PictureWindows, PicturesAreDrawnScaledTiledAndFromTheCache)
{
    WindowRecord* pic = open_picture("@pic", 40, 30);
    ASSERT_TRUE(pic);
    // A 2 x 2 picture: red, green / blue, white.
    QImage src(2, 2, QImage::Format_RGB32);
    src.setPixel(0, 0, qRgb(255, 0, 0));
    src.setPixel(1, 0, qRgb(0, 255, 0));
    src.setPixel(0, 1, qRgb(0, 0, 255));
    src.setPixel(1, 1, qRgb(255, 255, 255));
    const std::string file = temp.path() + "four.bmp";
    ASSERT_EQ(dib_save_bmp(file, src), 1);

    EXPECT_EQ(run("/drawpic @pic 3 4 four.bmp"), 1) << last_status_line();
    std::vector<Dot> want;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            want.push_back({3 + x, 4 + y, src.pixel(x, y)});
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), want)), "");

    // Scaled to double: each pixel a 2 x 2 block.
    run("/clear @pic");
    EXPECT_EQ(run("/drawpic -s @pic 0 0 4 4 four.bmp"), 1);
    want.clear();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            want.push_back({x, y, src.pixel(x / 2, y / 2)});
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), want)), "");

    // Tiled over 5 x 3: the last column cut, the rows at full height.
    run("/clear @pic");
    EXPECT_EQ(run("/drawpic -sl @pic 1 1 5 3 four.bmp"), 1);
    want.clear();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            want.push_back({1 + x, 1 + y, src.pixel(x % 2, y % 2)});
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), want)), "");

    // A part of the picture: its right column.
    run("/clear @pic");
    EXPECT_EQ(run("/drawpic @pic 0 0 1 0 1 2 four.bmp"), 1);
    want = {{0, 0, src.pixel(1, 0)}, {0, 1, src.pixel(1, 1)}};
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), want)), "");

    // A transparent colour: the white pixel is left out.
    run("/clear @pic");
    EXPECT_EQ(run("/drawpic -t @pic 16777215 0 0 four.bmp"), 1);
    want = {{0, 0, src.pixel(0, 0)}, {1, 0, src.pixel(1, 0)}, {0, 1, src.pixel(0, 1)}};
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), want)), "");

    // With -c the picture is loaded once: a changed file still draws the
    // cached picture; without -c it is loaded again and the copy dropped.
    run("/clear @pic");
    EXPECT_EQ(run("/drawpic -c @pic 0 0 four.bmp"), 1);
    QImage changed = src;
    changed.setPixel(0, 0, qRgb(0, 0, 0));
    ASSERT_EQ(dib_save_bmp(file, changed), 1);
    EXPECT_EQ(run("/drawpic -c @pic 0 0 four.bmp"), 1);
    EXPECT_EQ(buffer(pic).pixel(0, 0), qRgb(255, 0, 0)) << "the cached picture";
    EXPECT_EQ(picture_cache_files().size(), 1u);
    EXPECT_EQ(run("/drawpic @pic 0 0 four.bmp"), 1);
    EXPECT_EQ(buffer(pic).pixel(0, 0), qRgb(0, 0, 0)) << "loaded again";
    EXPECT_TRUE(picture_cache_files().empty()) << "the cached copy is dropped";
    // -c without a window empties the cache.
    EXPECT_EQ(run("/drawpic -c @pic 0 0 four.bmp"), 1);
    EXPECT_EQ(picture_cache_files().size(), 1u);
    EXPECT_EQ(run("/drawpic -c"), 1);
    EXPECT_TRUE(picture_cache_files().empty());
}

TEST_F(PictureWindows, TheCacheKeepsFiftyAndDropsTheLeastUsed)
{
    const QImage one(1, 1, QImage::Format_RGB32);
    for (int k = 0; k < 50; ++k)
        picture_cache_add("/p/" + std::to_string(k) + ".png", one);
    // Every entry but 7 used once more.
    for (int k = 0; k < 50; ++k)
        if (k != 7) {
            EXPECT_FALSE(picture_cache_find("/P/" + std::to_string(k) + ".PNG").isNull()) << "case ignored";
        }
    picture_cache_add("/p/3.png", one);  // already there: nothing changes
    EXPECT_EQ(picture_cache_files().size(), 50u);
    picture_cache_add("/p/new.png", one);
    auto files = picture_cache_files();
    EXPECT_EQ(files.size(), 50u);
    EXPECT_EQ(std::count(files.begin(), files.end(), "/p/7.png"), 0) << "the least used went";
    EXPECT_EQ(files.back(), "/p/new.png");
    // Of equal counts the earliest goes: the new entry (1 use) is least.
    picture_cache_add("/p/newer.png", one);
    files = picture_cache_files();
    EXPECT_EQ(std::count(files.begin(), files.end(), "/p/new.png"), 0);
    EXPECT_EQ(std::count(files.begin(), files.end(), "/p/0.png"), 1);
}

// ---- Saving ----

TEST_F(PictureWindows, SavedPicturesReadBackAsDrawn)
{
    WindowRecord* pic = open_picture("@pic", 24, 16);
    ASSERT_TRUE(pic);
    run("/drawrect -f @pic 4 1 2 2 8 6");
    run("/drawdot -r @pic 16711680 1 20 10");
    const QImage drawn = buffer(pic).copy();

    struct Case {
        const char* line;
        const char* file;
        int tolerance;  // the mean difference per channel
    } cases[] = {
        {"/drawsave @pic", "@pic.bmp", 0},
        {"/drawsave -b32 @pic thirtytwo.bmp", "thirtytwo.bmp", 0},
        {"/drawsave @pic \"with blank.png\"", "with blank.png", 0},
        {"/drawsave -q0 @pic best.jpg", "best.jpg", 6},
        {"/drawsave -b16 @pic sixteen.bmp", "sixteen.bmp", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(run(c.line), 1) << last_status_line();
        QImage back;
        img_load_file(temp.path() + c.file, back, 0, kImgDevice);
        ASSERT_FALSE(back.isNull());
        ASSERT_EQ(back.size(), drawn.size());
        long long sum = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QRgb a = back.pixel(x, y), b = drawn.pixel(x, y);
                sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
            }
        EXPECT_LE(sum, static_cast<long long>(c.tolerance) * 3 * drawn.width() * drawn.height());
        if (c.tolerance == 0) {
            EXPECT_EQ(differences(back, drawn), "");
        }
    }
    // A JPEG of low quality is smaller than the best one.
    run("/drawsave -q5 @pic worst.jpg");
    EXPECT_LT(fs::file_size(temp.path() + "worst.jpg"), fs::file_size(temp.path() + "best.jpg"));
    // A one-bit BMP: black and white only.
    run("/drawsave -b1 @pic mono.bmp");
    QImage mono;
    img_load_file(temp.path() + "mono.bmp", mono, 0, kImgDevice);
    ASSERT_FALSE(mono.isNull());
    for (int y = 0; y < mono.height(); ++y)
        for (int x = 0; x < mono.width(); ++x) {
            const QRgb p = mono.pixel(x, y) & 0xFFFFFF;
            EXPECT_TRUE(p == 0 || p == 0xFFFFFF) << x << "," << y;
        }
}

TEST_F(PictureWindows, AFailedSaveLeavesTheOldFile)
{
    WindowRecord* pic = open_picture("@pic", 10, 10);
    ASSERT_TRUE(pic);
    const std::string path = temp.path() + "keep.bmp";
    spit(path, "the old picture");
    file_replace_hook = [](const std::string&, const std::string&) { return 0; };
    EXPECT_EQ(run("/drawsave @pic keep.bmp"), 0);
    file_replace_hook = nullptr;
    EXPECT_EQ(slurp(path), "the old picture");
    EXPECT_EQ(last_status_line(), "* /drawsave: 'keep.bmp' kaydedilirken hata oluştu");
    // Nothing half-written beside it.
    int files = 0;
    for (const auto& e : fs::directory_iterator(temp.path()))
        files += e.path().filename().string().rfind("keep", 0) == 0 ? 1 : 0;
    EXPECT_EQ(files, 1);
    // A second save that may finish replaces it whole.
    EXPECT_EQ(run("/drawsave @pic keep.bmp"), 1);
    EXPECT_EQ(slurp(path).substr(0, 2), "BM");
    // A name that is no file is refused.
    EXPECT_EQ(run("/drawsave @pic sub/"), 0);
    EXPECT_EQ(last_status_line(), "* /drawsave: Geçersiz parametre");
}

// ---- Identifiers ----

TEST_F(PictureWindows, GetdotAndPicReadPixelsAndFiles)
{
    WindowRecord* pic = open_picture("@pic", 10, 10);
    ASSERT_TRUE(pic);
    run("/window @text");
    run("/drawdot -r @pic 1193046 1 3 4");  // 0x123456
    const QImage src(5, 3, QImage::Format_RGB32);
    ASSERT_EQ(dib_save_bmp(temp.path() + "five.bmp", src), 1);
    struct Case {
        const char* expr;
        std::string want;
    } cases[] = {
        {"$getdot(@pic,3,4)", "1193046"},
        {"$getdot(@pic,4,4)", std::to_string(color_rgb(kColorBackground))},
        {"$getdot(@pic,-1,4)", ""},
        {"$getdot(@pic,3,99999)", ""},
        {"$getdot(@text,0,0)", ""},
        {"$getdot(@nosuch,0,0)", ""},
        {"$pic(five.bmp).width", "5"},
        {"$pic(five.bmp).height", "3"},
        {"$pic(five.bmp)", std::to_string(fs::file_size(temp.path() + "five.bmp"))},
        {"$pic(nosuch.bmp)", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        wire.clear();
        run(std::string("/msg t < $+ ") + c.expr + " $+ >");
        ASSERT_EQ(sent().size(), 1u) << ::testing::PrintToString(status_lines());
        EXPECT_EQ(sent()[0], "PRIVMSG t :<" + c.want + ">\n");
    }
}

// ---- Growing, clearing, painting ----

TEST_F(PictureWindows, TheBufferGrowsWithTheWindowAndKeepsItsPicture)
{
    WindowRecord* pic = open_picture("@pic", 50, 40);
    ASSERT_TRUE(pic);
    QWidget* area = pic->text_area.get();
    ASSERT_TRUE(area);
    run("/drawdot @pic 4 1 45 35");
    const QSize first = buffer(pic).size();

    // Larger: the buffer follows, the dot stays.
    run("/window @pic -1 -1 " + std::to_string(first.width() + 60) + " " + std::to_string(first.height() + 60));
    pump();
    EXPECT_GT(buffer(pic).width(), first.width());
    EXPECT_EQ(buffer(pic).size(), area->size());
    EXPECT_EQ(buffer(pic).pixel(45, 35), pal(4));

    // Smaller than the drawing: the buffer keeps what the extent needs.
    run("/window @pic -1 -1 30 20");
    pump();
    ASSERT_LT(area->width(), 45);
    EXPECT_GE(buffer(pic).width(), 46);
    EXPECT_GE(buffer(pic).height(), 36);
    EXPECT_EQ(buffer(pic).pixel(45, 35), pal(4));

    // /clear empties it: the extent goes back to nothing.
    run("/clear @pic");
    EXPECT_EQ(buffer(pic).pixel(45, 35), picture_background());
    EXPECT_EQ(picture_of(pic)->extent_x, 0);
    EXPECT_EQ(picture_of(pic)->extent_y, 0);
}

TEST_F(PictureWindows, TheWindowShowsWhatWasDrawn)
{
    WindowRecord* pic = open_picture("@pic", 30, 20);
    ASSERT_TRUE(pic);
    QWidget* area = pic->text_area.get();
    run("/drawrect -f @pic 4 1 5 5 4 4");
    QImage shot = area->grab().toImage();
    EXPECT_EQ(shot.pixel(6, 6) | 0xFF000000u, pal(4));
    EXPECT_EQ(shot.pixel(10, 10) | 0xFF000000u, picture_background());
    // Drawn with -n into the buffer only; the window shows it once asked.
    run("/drawdot -n @pic 2 1 12 12");
    EXPECT_EQ(buffer(pic).pixel(12, 12), pal(2));
    run("/drawdot @pic");
    shot = area->grab().toImage();
    EXPECT_EQ(shot.pixel(12, 12) | 0xFF000000u, pal(2));
}

// ---- Hostile sizes ----

TEST_F(PictureWindows, HugeWindowsAndAreasAreBounded)
{
    run("/window -p @huge 0 0 100000 100000");
    WindowRecord* huge = win_find_by_name("@huge", nullptr);
    ASSERT_TRUE(picture_of(huge));
    const QImage& img = buffer(huge);
    EXPECT_LE(img.width(), kPictureMaxSide);
    EXPECT_LE(img.height(), kPictureMaxSide);
    EXPECT_LE(static_cast<long long>(img.width()) * img.height(), kPictureMaxPixels);
    const auto lines = status_lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                                return l.find("@huge: a picture window holds at most 8192 x 8192 pixels") !=
                                       std::string::npos;
                            }),
              1)
        << ::testing::PrintToString(lines) << huge->text_area->width() << "x" << huge->text_area->height();

    // A fill of the whole bounded buffer ends, and the window still draws.
    EXPECT_EQ(run("/drawfill @huge 4 2 0 0"), 1);
    EXPECT_EQ(img.pixel(img.width() - 1, img.height() - 1), pal(4));
    EXPECT_EQ(run("/drawdot @huge 2 1 1 1"), 1);
    EXPECT_EQ(buffer(huge).pixel(1, 1), pal(2));
    run("/window -c @huge");

    WindowRecord* pic = open_picture("@pic", 20, 20);
    ASSERT_TRUE(pic);
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(qRgb(1, 2, 3));
    ASSERT_EQ(dib_save_bmp(temp.path() + "dot.bmp", dot), 1);
    // Coordinates and sizes far out of range: nothing breaks, nothing is
    // drawn where it should not be.
    for (const char* line : {
             "/drawrect @pic 4 1 2147483647 2147483647 2147483647 2147483647",
             "/drawrect -c @pic 4 1 -99999999999 -99999999999 199999999999 199999999999",
             "/drawline @pic 4 4096 -2147483648 -2147483648 2147483647 2147483647",
             "/drawcopy @pic 0 0 20 20 @pic -5 -5 99999999 99999999",
             "/drawscroll @pic 99999999 -99999999 0 0 99999999 99999999",
             "/drawreplace @pic 4 2 -99999999999 -99999999999 99999999999 99999999999",
             "/drawrot @pic 45 -5 -5 99999999 99999999",
             "/drawdot @pic 4 4096 99999999999 99999999999",
             "/drawpic -s @pic 0 0 99999999 99999999 -5 -5 99999999 99999999 dot.bmp",
             "/drawpic -sl @pic -9999999 -9999999 19999999 19999999 dot.bmp",
         }) {
        SCOPED_TRACE(line);
        run(line);
        EXPECT_LE(picture_of(pic)->extent_x, buffer(pic).width());
        EXPECT_LE(picture_of(pic)->extent_y, buffer(pic).height());
    }
    EXPECT_EQ(buffer(pic).pixel(buffer(pic).width() - 1, buffer(pic).height() - 1), qRgb(1, 2, 3))
        << "the tiles reach the far corner";
    // A megabyte of text is cut to a command line's length.
    const std::string text(1 << 20, 'W');
    EXPECT_EQ(script_exec_plain_command(status->hwnd.get(), "drawtext @pic 4 0 0 " + text, conn, 0), 1);
    EXPECT_EQ(run("/drawdot @pic 2 1 1 1"), 1);
}

// ---- Mouse events ----

TEST_F(PictureWindows, ClicksRunTheHandlersOfTheWindowClicked)
{
    ASSERT_TRUE(load_script("mouse.kst", {
        "menu @pic {",
        "sclick:/msg t sclick $mouse.x $mouse.y $click(@pic,0) $click(@pic,$click(@pic,0)).x",
        "uclick:/msg t uclick $mouse.x $mouse.y",
        "drop:/msg t drop $mouse.x $mouse.y",
        "mouse:/msg t mouse $mouse.x $mouse.y",
        "leave:/msg t leave",
        "}",
        "menu @txt {",
        "sclick:/msg t txt sclick $mouse.x $mouse.y",
        "uclick:/msg t txt uclick",
        "}",
        "menu @other {",
        "sclick:/msg t other",
        "uclick:/msg t other",
        "mouse:/msg t other",
        "}",
    }));
    WindowRecord* pic = open_picture("@pic", 80, 60);
    ASSERT_TRUE(pic);
    run("/window @txt");
    run("/window -p @other");
    WindowRecord* txt = win_find_by_name("@txt", nullptr);
    ASSERT_TRUE(txt && txt->text_area.get());
    QWidget* area = pic->text_area.get();
    auto at = [&](QWidget* a, WindowRecord* rec, QPoint p) {
        const QPoint q = a->mapTo(rec->hwnd.get(), p);
        return std::to_string(q.x()) + " " + std::to_string(q.y());
    };

    wire.clear();
    QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(10, 12));
    pump();
    EXPECT_EQ(sent(), (std::vector<std::string>{"PRIVMSG t :sclick " + at(area, pic, {10, 12}) + " 1 10\n",
                                                "PRIVMSG t :uclick " + at(area, pic, {10, 12}) + "\n"}));

    // Pressed at one point, moved and released at another: a drop.
    wire.clear();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(20, 21));
    QTest::mouseMove(area, QPoint(30, 31));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(30, 31));
    pump();
    EXPECT_EQ(sent(), (std::vector<std::string>{"PRIVMSG t :sclick " + at(area, pic, {20, 21}) + " 2 20\n",
                                                "PRIVMSG t :mouse " + at(area, pic, {30, 31}) + "\n",
                                                "PRIVMSG t :uclick " + at(area, pic, {30, 31}) + "\n",
                                                "PRIVMSG t :drop " + at(area, pic, {30, 31}) + "\n"}));
    EXPECT_EQ(strlist_count(pic->press_points), 2);

    // A move to the same point again reports nothing; the pointer leaving
    // runs "leave" once.
    wire.clear();
    QTest::mouseMove(area, QPoint(30, 31));
    pump();
    EXPECT_TRUE(sent().empty()) << ::testing::PrintToString(sent());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(area, &leave);
    QApplication::sendEvent(area, &leave);
    pump();
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG t :leave\n"});

    // A custom text window has the handlers too; @pic and @other stay silent.
    wire.clear();
    QWidget* text_area = txt->text_area.get();
    QTest::mouseClick(text_area, Qt::LeftButton, {}, QPoint(5, 6));
    pump();
    EXPECT_EQ(sent(), (std::vector<std::string>{"PRIVMSG t :txt sclick " + at(text_area, txt, {5, 6}) + "\n",
                                                "PRIVMSG t :txt uclick\n"}));

    // A click in the status window runs none of them.
    wire.clear();
    QTest::mouseClick(status->text_area.get(), Qt::LeftButton, {}, QPoint(5, 6));
    pump();
    EXPECT_TRUE(sent().empty()) << ::testing::PrintToString(sent());

    // The recorded clicks, and /clear -c forgetting them.
    wire.clear();
    run("/msg t $click(@pic,0) $click(@pic,1) $click(@pic,2).y $click(@pic,3)");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG t :2 10 12 21\n"});
    run("/clear -c @pic");
    wire.clear();
    run("/msg t $click(@pic,0)");
    EXPECT_EQ(sent(), std::vector<std::string>{"PRIVMSG t :0\n"});
}

// The pointer dragged out of the window with the button held: "leave" once,
// the window keeps the moves until the button comes up.
TEST_F(PictureWindows, DraggingOutLeavesOnceAndKeepsTheWindowUntilRelease)
{
    ASSERT_TRUE(load_script("drag.kst", {
        "menu @pic {",
        "sclick:/msg t sclick",
        "uclick:/msg t uclick",
        "drop:/msg t drop $mouse.x",
        "mouse:/msg t mouse $mouse.key",
        "leave:/msg t leave",
        "}",
    }));
    WindowRecord* pic = open_picture("@pic", 80, 60);
    ASSERT_TRUE(pic);
    QWidget* area = pic->text_area.get();
    wire.clear();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(area, QPoint(12, 12));
    QTest::mouseMove(area, QPoint(-5, -5));
    QTest::mouseMove(area, QPoint(-6, -6));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(-6, -6));
    pump();
    const std::string x = std::to_string(area->mapTo(pic->hwnd.get(), QPoint(-6, -6)).x());
    EXPECT_EQ(sent(), (std::vector<std::string>{"PRIVMSG t :sclick\n", "PRIVMSG t :mouse 1\n", "PRIVMSG t :leave\n",
                                                "PRIVMSG t :mouse 1\n", "PRIVMSG t :mouse 1\n",
                                                "PRIVMSG t :uclick\n", "PRIVMSG t :drop " + x + "\n"}));
    // The hover ended with the release: the pointer's leave runs nothing.
    wire.clear();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(area, &leave);
    pump();
    EXPECT_TRUE(sent().empty()) << ::testing::PrintToString(sent());
}

// A handler that draws where the user clicked: the way scripts use
// picture windows.
TEST_F(PictureWindows, AClickHandlerDrawsWhereTheUserClicked)
{
    ASSERT_TRUE(load_script("paint.kst", {
        "menu @paint {",
        "sclick:/drawdot @paint 4 1 $click(@paint,$click(@paint,0)).x $click(@paint,$click(@paint,0)).y",
        "}",
    }));
    WindowRecord* pic = open_picture("@paint", 40, 40);
    ASSERT_TRUE(pic);
    QTest::mouseClick(pic->text_area.get(), Qt::LeftButton, {}, QPoint(7, 9));
    QTest::mouseClick(pic->text_area.get(), Qt::LeftButton, {}, QPoint(20, 3));
    pump();
    EXPECT_EQ(differences(buffer(pic), expected_with(buffer(pic), {{7, 9, pal(4)}, {20, 3, pal(4)}})), "");
}

}  // namespace
