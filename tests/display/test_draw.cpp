// Painting: the control-code grammar as the painter splits it into runs,
// the pixels of coloured runs, the lines a window shows at its scroll
// position, and an offscreen grab of a window with coloured text.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <functional>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/options.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "display/draw.h"
#include "display/find_text.h"
#include "display/text_marking.h"
#include "display/fonts.h"
#include "model/line_buffer.h"
#include "display/text_area.h"
#include "display/wrap.h"
#include "support/hook_guard.h"

// From test_line_buffer.cpp.
void lines_test_reset();
void lines_test_pump();
Connection* lines_test_conn();
WindowRecord* lines_test_open(const std::string& name, int type, int subtype, Connection* conn);
void lines_test_clear(WindowRecord* rec);

namespace {

// ---- The grammar ----

struct RunSeen {
    std::string text;
    int fg, bg, bold, underline, reverse, tabs;
    bool operator==(const RunSeen& o) const
    {
        return text == o.text && fg == o.fg && bg == o.bg && bold == o.bold &&
               underline == o.underline && reverse == o.reverse && tabs == o.tabs;
    }
};

std::ostream& operator<<(std::ostream& os, const RunSeen& r)
{
    return os << "{\"" << r.text << "\" fg " << r.fg << " bg " << r.bg << " b" << r.bold << " u"
              << r.underline << " r" << r.reverse << " t" << r.tabs << "}";
}

// The runs a line with Normal text colour 1 on background 0 is drawn in.
std::vector<RunSeen> runs_of(const std::string& text, int flags = 0)
{
    FormatState st = format_state_for(1, 0);
    std::vector<FormatRun> runs;
    format_split_runs(text, 0, st, 1, 0, flags, runs);
    std::vector<RunSeen> out;
    for (const FormatRun& r : runs)
        out.push_back({text.substr(r.start, r.length), r.state.fg, r.state.bg, r.state.bold,
                       r.state.underline, r.state.reverse, r.tabs});
    return out;
}

TEST(DrawRuns, ControlCodesGiveRunsOfEqualFormat)
{
    using V = std::vector<RunSeen>;
    struct Case {
        const char* what;
        std::string text;
        int flags;
        V runs;
    };
    const Case cases[] = {
        {"plain text", "plain", 0, V{{"plain", 1, 0, 0, 0, 0, 0}}},
        {"bold on and off", "a\x02" "b\x02" "c", 0,
         V{{"a", 1, 0, 0, 0, 0, 0}, {"b", 1, 0, 1, 0, 0, 0}, {"c", 1, 0, 0, 0, 0, 0}}},
        {"text colour", "\x03" "4red", 0, V{{"red", 4, 0, 0, 0, 0, 0}}},
        {"text and background", "\x03" "4,12x", 0, V{{"x", 4, 12, 0, 0, 0, 0}}},
        {"03 is 3", "\x03" "03x", 0, V{{"x", 3, 0, 0, 0, 0, 0}}},
        {"two digits at most", "\x03" "123", 0, V{{"3", 12, 0, 0, 0, 0, 0}}},
        {"over 15 is the line's colour", "\x03" "4a\x03" "16b", 0,
         V{{"a", 4, 0, 0, 0, 0, 0}, {"b", 1, 0, 0, 0, 0, 0}}},
        {"a comma without a digit is text", "\x03" "4,x", 0, V{{",x", 4, 0, 0, 0, 0, 0}}},
        {"a bare code returns both colours", "\x03" "4,12a\x03" "b", 0,
         V{{"a", 4, 12, 0, 0, 0, 0}, {"b", 1, 0, 0, 0, 0, 0}}},
        {"a letter after the code: both colours back, the letter drawn", "\x03" "5,9a\x03x", 0,
         V{{"a", 5, 9, 0, 0, 0, 0}, {"x", 1, 0, 0, 0, 0, 0}}},
        {"text digits alone keep the background", "\x03" "4,12a\x03" "5b", 0,
         V{{"a", 4, 12, 0, 0, 0, 0}, {"b", 5, 12, 0, 0, 0, 0}}},
        {"a background over 15 is the default", "\x03" "99,99x", 0, V{{"x", 1, 0, 0, 0, 0, 0}}},
        {"plain resets everything", "\x02\x1f\x16\x03" "4,2a\x0f" "b", 0,
         V{{"a", 4, 2, 1, 1, 1, 0}, {"b", 1, 0, 0, 0, 0, 0}}},
        {"reverse", "a\x16" "b\x16" "c", 0,
         V{{"a", 1, 0, 0, 0, 0, 0}, {"b", 1, 0, 0, 0, 1, 0}, {"c", 1, 0, 0, 0, 0, 0}}},
        {"underline", "\x1f" "u", 0, V{{"u", 1, 0, 0, 1, 0, 0}}},
        {"codes back to back give no empty runs", "\x02\x02\x02x", 0, V{{"x", 1, 0, 1, 0, 0, 0}}},
        {"a tab elsewhere is a character", "a\tb", 0, V{{"a\tb", 1, 0, 0, 0, 0, 0}}},
        {"a tab in a custom window moves to a column", "a\tb\t\tc", kRunsCustomTabs,
         V{{"a", 1, 0, 0, 0, 0, 0}, {"b", 1, 0, 0, 0, 0, 1}, {"c", 1, 0, 0, 0, 0, 2}}},
        {"codes drawn as characters", "\x02" "b", kRunsNoCodes, V{{"\x02" "b", 1, 0, 0, 0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(runs_of(c.text, c.flags), c.runs);
    }
}

TEST(DrawRuns, TabColumnsOfCustomWindows)
{
    WindowRecord rec;
    rec.type = kWinCustom;
    rec.tab_unit = 5;
    rec.tab_stops[2] = 0;  // no stop set: eight tab units further
    struct Case {
        int index, current, x, next;
    };
    const Case cases[] = {
        {0, 10, 2 + 8 * 5, 1},
        {1, 10, 2 + 16 * 5, 2},
        {2, 100, 100 + 8 * 5, 3},
        {49, 10, 2 + 400 * 5, 50},
        {50, 10, 10 + 8 * 5, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        int index = c.index;
        EXPECT_EQ(draw_tab_stop_x(&rec, 2, c.current, &index), c.x);
        EXPECT_EQ(index, c.next);
    }
}

TEST(DrawFonts, BoldTogglesTheWeightAndSpacingFollowsTheGlobalValue)
{
    QFont normal("DejaVu Sans Mono");
    normal.setWeight(QFont::Normal);
    QFont bold = normal;
    bold.setWeight(QFont::Bold);
    EXPECT_EQ(draw_font_variant(normal, 1, 0).weight(), QFont::Bold);
    EXPECT_EQ(draw_font_variant(bold, 1, 0).weight(), QFont::Normal);
    EXPECT_EQ(draw_font_variant(bold, 0, 1).weight(), QFont::Bold);
    EXPECT_TRUE(draw_font_variant(bold, 0, 1).underline());
    EXPECT_EQ(wrap_run_weight(700, 1), 400);
    EXPECT_EQ(wrap_run_weight(400, 1), 700);

    struct Case {
        int window, global, spacing;
    };
    const Case cases[] = {{0, 1, 0}, {1, 0, 1}, {3, 0, 3}, {2, 0, 0}, {2, 1, 1}, {2, 2, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.window) + "/" + std::to_string(c.global));
        WindowRecord rec;
        rec.spacing = c.window;
        opt_set(OPT_LINE_SPACING, c.global);
        EXPECT_EQ(draw_spacing(&rec), c.spacing);
    }
    options_reset();
}

TEST(DrawDecode, BytesAreReadAsUtf8OrTheCodePage)
{
    struct Case {
        const char* what;
        std::string bytes;
        int utf8;
        int codepage;
        QString text;
    };
    const Case cases[] = {
        {"ASCII", "abc", 0, 0, "abc"},
        {"UTF-8", "\xC3\xA9t\xC3\xA9", 1, 0, QString::fromUtf8("\xC3\xA9t\xC3\xA9")},
        {"legacy bytes where the locale is UTF-8", "\x80 \xE9", 0, 0,
         QString::fromUtf8("\xE2\x82\xAC \xC3\xA9")},
        {"Windows-1252", "\x93q\x94", 0, 1252, QString::fromUtf8("\xE2\x80\x9Cq\xE2\x80\x9D")},
        {"Windows-1251", "\xC0\xE1", 0, 1251, QString::fromUtf8("\xD0\x90\xD0\xB1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(display_decode(c.bytes, c.utf8, c.codepage), c.text);
    }
}

// ---- Pixels ----

int count_pixels(const QImage& image, const QRect& rect, const std::function<bool(QColor)>& test)
{
    int n = 0;
    QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += test(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

bool is_red(QColor c)
{
    return c.red() > 200 && c.green() < 70 && c.blue() < 70;
}
bool is_blue(QColor c)
{
    return c.blue() > 200 && c.red() < 70 && c.green() < 70;
}
bool is_black(QColor c)
{
    return c.red() < 40 && c.green() < 40 && c.blue() < 40;
}

class DrawTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        lines_test_reset();
        conn = lines_test_conn();
        ASSERT_NE(conn, nullptr);
        chan = lines_test_open("#draw", kWinChannel, 0, conn);
        ASSERT_NE(chan, nullptr);
        lines_test_clear(chan);
    }
    void TearDown() override
    {
        lines_test_reset();
        wrap_measurer_override = nullptr;
    }

    // Draws one formatted line on white and returns the image.
    static QImage line_image(const std::string& text, int flags = 0, QSize* extent = nullptr)
    {
        QImage image(400, 40, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        QSize size = draw_line(p, "DejaVu Sans Mono", 16, 400, 0, 2, 2, QRect(), text,
                               kColorNormalText, kColorBackground, 1, 0, flags, 0, nullptr);
        if (extent)
            *extent = size;
        return image;
    }

    Connection* conn = nullptr;
    WindowRecord* chan = nullptr;
};

TEST_F(DrawTest, ColouredRunsPaintTheirColours)
{
    struct Case {
        const char* what;
        std::string text;
        std::function<bool(QColor)> test;
        bool expected;
    };
    const std::string word = "XXXXXXXX";
    const Case cases[] = {
        {"red text", "\x03" "4" + word, is_red, true},
        {"plain text has no red", word, is_red, false},
        {"a red background fills the run", "\x03" "1,4" + word, is_red, true},
        {"a blue background fills the run", "\x03" "1,12" + word, is_blue, true},
        {"reverse fills with the text colour", "\x16" + word, is_black, true},
        {"a bare code ends the colour", "\x03" "4\x03" + word, is_red, false},
        {"over 15 is the line's colour", "\x03" "44" + word, is_red, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QImage image = line_image(c.text);
        const int hits = count_pixels(image, QRect(2, 2, 100, 20), c.test);
        if (c.expected) {
            EXPECT_GT(hits, 20);
        } else {
            EXPECT_EQ(hits, 0);
        }
    }
    // A filled background covers the run's whole box; text colour alone
    // touches only the glyphs.
    EXPECT_GT(count_pixels(line_image("\x03" "1,4" + word), QRect(2, 2, 60, 16), is_red),
              3 * count_pixels(line_image("\x03" "4" + word), QRect(2, 2, 60, 16), is_red));
}

TEST_F(DrawTest, DrawLineExtentsFollowTheFlags)
{
    QSize plain, codes, as_chars, two_lines;
    line_image("abcdef", 0, &plain);
    line_image("\x03" "4abc\x03" "def", 0, &codes);
    line_image("\x03" "12abcdef", kDrawNoCodes, &as_chars);
    line_image("abc\r\ndefghi", kDrawCrLfBreaks, &two_lines);
    EXPECT_EQ(codes, plain);
    EXPECT_GT(as_chars.width(), plain.width());
    EXPECT_EQ(two_lines.height(), 2 * plain.height());
    EXPECT_EQ(two_lines.width(), plain.width());
}

TEST_F(DrawTest, TextMeasureInFontMatchesTheFontAndCountsBold)
{
    const QFont font = font_make_qfont("DejaVu Sans", 16, 400, 0);
    const QFontMetrics plain_fm(draw_font_variant(font, 0, 0));
    const QFontMetrics bold_fm(draw_font_variant(font, 1, 0));
    const int plain = text_measure_in_font("abcd wxyz", "DejaVu Sans", 16, 400, 0, 1, 0, nullptr,
                                           nullptr);
    EXPECT_EQ(plain, plain_fm.horizontalAdvance("abcd wxyz"));
    EXPECT_EQ(text_measure_in_font("abcd wxyz", "DejaVu Sans", 16, 400, 0, 1 | 0x10, 0, nullptr,
                                   nullptr),
              plain);
    int weight = 0;
    const int bold = text_measure_in_font("\x02" "abcd wxyz", "DejaVu Sans", 16, 400, 0, 1 | 0x80,
                                          0, nullptr, &weight);
    EXPECT_EQ(bold, bold_fm.horizontalAdvance("abcd wxyz"));
    EXPECT_GT(bold, plain);
    EXPECT_EQ(weight, 700);
    // A bold font's bold code measures in the normal weight.
    weight = 0;
    text_measure_in_font("\x02" "abcd", "DejaVu Sans", 16, 700, 0, 1 | 0x80, 0, nullptr, &weight);
    EXPECT_EQ(weight, 400);
    const int both = text_measure_in_font("ab\r\ncd", "DejaVu Sans", 16, 400, 0, 1 | 2 | 0x40, 0,
                                          nullptr, nullptr);
    EXPECT_EQ(both & 0xFFFF, plain_fm.horizontalAdvance("ab"));
    EXPECT_EQ(both >> 16, 2 * (plain_fm.height() + 1));
    EXPECT_EQ(text_measure_in_font("", "DejaVu Sans", 16, 400, 0, 1, 0, nullptr, nullptr), 0);
    EXPECT_EQ(text_measure_in_font("abc", "", 16, 400, 0, 1, 0, nullptr, nullptr), 0);
}

TEST_F(DrawTest, AWindowShowsItsColouredLinesOffscreen)
{
    QImage before = chan->text_area->grab().toImage();
    EXPECT_EQ(count_pixels(before, before.rect(), is_red), 0);

    print_line(chan->hwnd.get(), std::string_view("\x03" "4red text here"), kColorNormalText);
    print_line(chan->hwnd.get(), std::string_view("black text"), kColorNormalText);
    QImage after = chan->text_area->grab().toImage();
    ASSERT_FALSE(after.isNull());
    std::vector<ShownLine> shown;
    WinRect r;
    win_text_rect(chan->hwnd.get(), r, 0);
    QRect area(r.left, r.top, r.right - r.left, r.bottom - r.top);
    draw_lines_in_view(chan, area, shown);
    ASSERT_EQ(shown.size(), 2u);
    const int lh = shown[1].top - shown[0].top;
    ASSERT_GT(lh, 5);
    QRect red_row(0, shown[0].top, after.width(), lh);
    QRect black_row(0, shown[1].top, after.width(), lh);
    EXPECT_GT(count_pixels(after, red_row, is_red), 20);
    EXPECT_EQ(count_pixels(after, black_row, is_red), 0);
    EXPECT_GT(count_pixels(after, black_row, is_black), 20);
    // The newest line sits at the bottom of the area.
    EXPECT_EQ(shown[1].top + lh, area.bottom() + 1);
}

TEST_F(DrawTest, ContinuationPartsKeepTheFormatOfTheirLine)
{
    print_options.wrap_mode = 12;
    print_line(chan->hwnd.get(), std::string_view("\x03" "4,12aaaaaaaa bbbbbbbbbb cccccccccc"),
               kColorNormalText);
    const int parts = strlist_count(chan->lines);
    ASSERT_GE(parts, 3);
    QImage image = text_area_render(chan);
    std::vector<ShownLine> shown;
    WinRect r;
    win_text_rect(chan->hwnd.get(), r, 0);
    draw_lines_in_view(chan, QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), shown);
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(parts));
    const int lh = shown[1].top - shown[0].top;
    for (const ShownLine& s : shown) {
        SCOPED_TRACE(s.line->text);
        QRect row(0, s.top, image.width(), lh);
        EXPECT_GT(count_pixels(image, row, is_red), 10);
        EXPECT_GT(count_pixels(image, row, is_blue), 100);
    }
}

TEST_F(DrawTest, ScrollPositionChoosesTheLinesInView)
{
    for (int i = 0; i < 100; ++i)
        print_line(chan->hwnd.get(), "line " + std::to_string(i), kColorNormalText);
    WinRect r;
    win_text_rect(chan->hwnd.get(), r, 0);
    const QRect area(r.left, r.top, r.right - r.left, r.bottom - r.top);
    std::vector<ShownLine> shown;
    draw_lines_in_view(chan, area, shown);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().line->text, "line 99");
    const std::size_t rows = shown.size();
    EXPECT_GT(rows, 3u);
    EXPECT_LE(shown.front().top, area.top());

    for (int i = 0; i < 10; ++i)
        win_on_vscroll(chan, kScrollLineUp, 0, 0);
    draw_lines_in_view(chan, area, shown);
    EXPECT_EQ(shown.back().line->text, "line 89");
    EXPECT_EQ(shown.size(), rows);

    win_on_vscroll(chan, kScrollTop, 0, 0);
    draw_lines_in_view(chan, area, shown);
    EXPECT_EQ(shown.front().line->text, "line 0");

    // Double spacing shows half as many lines.
    win_on_vscroll(chan, kScrollBottom, 0, 0);
    chan->spacing = 1;
    draw_lines_in_view(chan, area, shown);
    EXPECT_EQ(shown.back().line->text, "line 99");
    EXPECT_NEAR(static_cast<double>(shown.size()), rows / 2.0, 1.0);
}

TEST_F(DrawTest, MarkedTextIsDrawnInTheBackgroundColourOnTheTextColour)
{
    const std::string marked_text = "XXXXXXXXXXXXXXXX";
    print_line(chan->hwnd.get(), std::string_view(marked_text), kColorNormalText);
    print_line(chan->hwnd.get(), std::string_view("."), kColorNormalText);
    QImage plain = text_area_render(chan);
    WinRect r;
    win_text_rect(chan->hwnd.get(), r, 0);
    std::vector<ShownLine> shown;
    draw_lines_in_view(chan, QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), shown);
    ASSERT_GE(shown.size(), 2u);
    const ShownLine& row = shown[shown.size() - 2];
    ASSERT_EQ(row.line->text, marked_text);
    const QRect rect = plain.rect();

    // Marked with the mouse: the first half of the line.
    std::vector<CharBox> boxes;
    draw_line_char_boxes(chan, row.line, r.left + 2, boxes);
    ASSERT_GE(boxes.size(), 8u);
    const int y = row.top + 3;
    textsel_mouse(chan->hwnd.get(), QPoint((boxes[0].left + boxes[0].right) / 2, y));
    textsel_mouse(chan->hwnd.get(), QPoint((boxes[7].left + boxes[7].right) / 2, y));
    QImage marked = text_area_render(chan);
    textsel_end_record(chan);
    EXPECT_GT(count_pixels(marked, rect, is_black), 3 * count_pixels(plain, rect, is_black));
    QImage after = text_area_render(chan);
    EXPECT_EQ(count_pixels(after, rect, is_black), count_pixels(plain, rect, is_black))
        << "the marking ended: plain again";

    // Found by a search upwards from the bottom line: that line is marked.
    find_text = "xxxx";
    ASSERT_EQ(find_text_step(kFindUp, chan), 1);
    QImage found = text_area_render(chan);
    EXPECT_GT(count_pixels(found, rect, is_black), 3 * count_pixels(plain, rect, is_black));
    find_text.clear();
}

}  // namespace
