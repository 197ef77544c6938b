// Line wrapping: the measurer, the choice of a cut, the cutting of a printed
// line and the re-wrap when the width changes. Measuring uses a fixed-width
// measurer: ten pixels a character, twelve in bold, nothing for combining
// marks; an area of right edge R holds (R - 4) / 10 plain characters.
#include <gtest/gtest.h>

#include <QMdiSubWindow>

#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/options.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "display/draw.h"
#include "model/line_buffer.h"
#include "display/wrap.h"
#include "support/hook_guard.h"

// From test_line_buffer.cpp.
TextMeasurer* lines_test_measurer();
void lines_test_reset();
void lines_test_pump();
Connection* lines_test_conn();
WindowRecord* lines_test_open(const std::string& name, int type, int subtype, Connection* conn);
void lines_test_clear(WindowRecord* rec);
std::vector<std::string> lines_texts(const WindowRecord* rec);

namespace {

const std::string kAccent = "\xCC\x81";   // combining acute accent
const std::string kEAcute = "\xC3\xA9";   // precomposed e with acute

// ---- Choosing the cut ----

TEST(WrapCut, ChoosesTheBreakByBlanksCodesAndCharacters)
{
    struct Case {
        const char* what;
        std::string text;
        int fit;
        int utf8;
        int cut;
    };
    const std::string a15(15, 'a');
    const Case cases[] = {
        {"everything fits", "short", 9, 0, 5},
        {"no blank: hard cut before the last fitting character", std::string(30, 'x'), 20, 0, 19},
        {"a blank in the last quarter ends the part", a15 + "a bbbbbbbbbbbbb", 20, 0, 17},
        {"a blank on the last fitting character stays on the part",
         std::string(19, 'a') + " bbbbb", 20, 0, 20},
        {"a tab counts as a blank", a15 + "aa\tbbbbbbbbbbbb", 20, 0, 18},
        {"a blank at exactly three quarters does not count", a15 + " bbbbbbbbbbbbbb", 20, 0, 19},
        {"a blank early in the line does not count", "aaaaa bbbbbbbbbbbbbbbbbbbbbbbbb", 20, 0,
         19},
        {"a colour code at the cut moves whole with the character before it",
         std::string(17, 'a') + "\x03" "12,04bbbbb", 20, 0, 16},
        {"a short colour code before the cut stays", std::string(15, 'a') + "\x03" "4bbbbbbbbb",
         20, 0, 19},
        {"nothing fits: still one character", "abc", 0, 0, 1},
        {"a letter and its accent at the cut stay together (after the letter)",
         std::string(18, 'a') + "e" + kAccent + "bbbb", 20, 1, 21},
        {"a letter and its accent at the cut stay together (before the letter)",
         std::string(18, 'a') + "e" + kAccent + "bbbb", 19, 1, 18},
        {"a two-byte character is not split", std::string(18, 'a') + kEAcute + "bbbb", 20, 1, 20},
        {"in 8-bit text the same bytes are characters", std::string(18, 'a') + kEAcute + "bbbb",
         20, 0, 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(wrap_choose_cut(c.text, c.fit, c.utf8, 0, nullptr), c.cut);
    }
}

TEST(WrapCut, BoldStateFlipsForBoldCodesLeftToTheNextPart)
{
    const std::string text = std::string(16, 'a') + " x\x02yzzzzz";
    int bold = 0;
    EXPECT_EQ(wrap_choose_cut(text, 20, 0, 0, &bold), 17);
    EXPECT_EQ(bold, 1);
    // A hard cut leaves the state alone.
    bold = 0;
    EXPECT_EQ(wrap_choose_cut(std::string(16, 'a') + "x\x02yzzzzz", 20, 0, 0, &bold), 19);
    EXPECT_EQ(bold, 0);
}

// ---- Measuring ----

TEST(WrapMeasure, FitsByRunsCodesAndFonts)
{
    TextMeasurer& m = *lines_test_measurer();
    WindowRecord channel;
    channel.type = kWinChannel;
    WindowRecord custom;
    custom.type = kWinCustom;
    custom.tab_unit = 5;
    struct Case {
        const char* what;
        std::string text;
        int utf8;
        const WindowRecord* rec;
        int right;
        int flags;
        int result;
    };
    const std::string e_accent = "e" + kAccent;
    std::string accents, acutes;
    for (int i = 0; i < 15; ++i) {
        accents += e_accent;
        acutes += kEAcute;
    }
    const Case cases[] = {
        {"plain text", std::string(30, 'a'), 0, &channel, 104, 0, 10},
        {"all fits", "abc", 0, &channel, 104, 0, 3},
        {"codes take no room", "\x03" "4,12" + std::string(30, 'a'), 0, &channel, 104, 0, 15},
        {"bold is wider", "\x02" + std::string(30, 'a'), 0, &channel, 104, 0, 9},
        {"bold for a while", "aaaaa\x02" "bbbbb\x02" "ccccc", 0, &channel, 104, 0, 10},
        {"plain ends bold", "\x02" "aa\x0f" + std::string(30, 'a'), 0, &channel, 104, 0, 11},
        {"codes drawn as characters", "\x02" + std::string(30, 'a'), 0, &channel, 104, 4, 10},
        {"UTF-8: never inside a character", acutes, 1, &channel, 104, 0, 20},
        {"UTF-8: marks stay with their letter", accents, 1, &channel, 104, 0, 30},
        {"tab in a channel is a character", "ab\tcd", 0, &channel, 9999, kMeasureWidth, 50},
        {"tab in a custom window goes to the column", "ab\tcd", 0, &custom, 9999, kMeasureWidth,
         60},
        {"a tab column past the edge does not fit", "ab\tcd", 0, &custom, 30, 0, 2},
        {"width over CR LF lines", "abc\r\ndefgh", 0, &channel, 9999,
         kMeasureWidth | kMeasureCrLf, 50},
        {"height over CR LF lines", "abc\r\ndefgh", 0, &channel, 9999,
         kMeasureHeight | kMeasureCrLf, 32},
        {"width and height", "abc\r\ndefgh", 0, &channel, 9999,
         kMeasureWidth | kMeasureHeight | kMeasureCrLf, 50 | (32 << 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WrapState st;
        EXPECT_EQ(line_measure_wrap(c.text, c.utf8, 0, m, c.right, c.rec, st, c.flags), c.result);
    }
}

TEST(WrapMeasure, LongRunsAreMeasuredByPrefixes)
{
    // A measurer that counts how many characters it was asked to measure.
    struct Counting : TextMeasurer {
        long measured = 0;
        int run_width(std::string_view run, int, int, int) override
        {
            measured += static_cast<long>(run.size());
            return static_cast<int>(run.size()) * 10;
        }
        int line_height() override { return 16; }
        int base_weight() override { return 400; }
    } m;
    WrapState st;
    const std::string text(4000, 'w');
    EXPECT_EQ(line_measure_wrap(text, 0, 0, m, 104, nullptr, st, 0), 10);
    EXPECT_LT(m.measured, 1000);
}

TEST(WrapMeasure, TheFontMeasurerAgreesWithTheDrawnWidth)
{
    HookGuard hooks;
    lines_test_reset();  // the application
    wrap_measurer_override = nullptr;
    const std::vector<std::string> texts = {
        "The quick brown fox jumps over the lazy dog.",
        "AV To WA ff fi fl -- ''",
        "tab\there",
        "caf\xC3\xA9 na\xC3\xAFve",
    };
    for (const char* face : {"DejaVu Sans Mono", "DejaVu Sans", "DejaVu Serif"}) {
        QFont font(face);
        font.setPixelSize(15);
        FontMeasurer m(font, 0);
        for (int bold : {0, 1}) {
            const int weight = wrap_run_weight(m.base_weight(), bold);
            const QFontMetrics fm(draw_font_variant(font, bold, 0));
            for (const std::string& t : texts) {
                SCOPED_TRACE(std::string(face) + " " + t);
                const int utf8 = t.find('\xC3') != std::string::npos;
                EXPECT_EQ(m.run_width(t, utf8, weight, 0),
                          fm.horizontalAdvance(QString::fromUtf8(t.data(), static_cast<int>(t.size()))));
            }
        }
    }
}

// ---- Cutting a printed line ----

std::vector<std::string> cut(const std::string& text, int width, int prefix = 0, int indent = 0,
                             int wrap_mode = 0, int utf8 = 0)
{
    WrapInput in;
    in.text = text;
    in.prefix = prefix;
    in.indent = indent;
    in.wrap_mode = wrap_mode;
    in.width = width;
    in.utf8 = utf8;
    in.measurer = lines_test_measurer();
    std::vector<WrapPart> parts;
    wrap_cut_line(in, parts);
    std::vector<std::string> out;
    for (const WrapPart& p : parts)
        out.push_back(p.text);
    return out;
}

TEST(WrapLine, CutsAtBlanksLongWordsAndKeepsPrefixAndIndent)
{
    using V = std::vector<std::string>;
    struct Case {
        const char* what;
        std::string text;
        int width;
        int prefix;
        int indent;
        int wrap_mode;
        V parts;
    };
    const std::string sentence = "hello world this is a test of wrapping";
    const Case cases[] = {
        {"at a blank", sentence, 204, 0, 0, 0, V{"hello world this is ", "a test of wrapping"}},
        {"continuation indent", sentence, 204, 0, 2, 0,
         V{"hello world this is ", "  a test of wrapping"}},
        {"timestamp prefix on the first part", "[12:00] " + sentence, 204, 8, 0, 0,
         V{"[12:00] hello world ", "this is a test of ", "wrapping"}},
        {"a long word is cut hard", "supercalifragilisticexpialidocious", 204, 0, 0, 0,
         V{"supercalifragilisti", "cexpialidocious"}},
        {"fixed count needs no measuring", std::string(50, 'q'), 0, 0, 0, 20,
         V{std::string(19, 'q'), std::string(19, 'q'), std::string(12, 'q')}},
        {"an area with no room is not cut", sentence, 3, 0, 0, 0, V{sentence}},
        {"the prefix is never split", "[12:00:00] ab", 54, 11, 0, 0, V{"[12:00:00] ", "ab"}},
        {"an empty text is one empty part", "", 204, 0, 0, 0, V{""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(cut(c.text, c.width, c.prefix, c.indent, c.wrap_mode), c.parts);
    }
}

TEST(WrapLine, FormatCarriesAcrossPartsUnlessEachPartIsALineOfItsOwn)
{
    // Bold letters are twelve pixels: eight fit where ten plain ones do.
    const std::string text = "\x02" + std::string(24, 'b');
    EXPECT_EQ(cut(text, 104, 0, 0, 0),
              (std::vector<std::string>{"\x02" + std::string(7, 'b'), std::string(7, 'b'),
                                        std::string(7, 'b'), std::string(3, 'b')}));
    EXPECT_EQ(cut(text, 104, 0, 0, -1),
              (std::vector<std::string>{"\x02" + std::string(7, 'b'), std::string(9, 'b'),
                                        std::string(8, 'b')}));
}

// ---- Re-wrapping ----

class RewrapTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        lines_test_reset();
        conn = lines_test_conn();
        ASSERT_NE(conn, nullptr);
        chan = lines_test_open("#wrap", kWinChannel, 0, conn);
        ASSERT_NE(chan, nullptr);
        lines_test_clear(chan);
    }
    void TearDown() override
    {
        lines_test_reset();
        wrap_measurer_override = nullptr;
    }

    struct Part {
        std::string text;
        int serial;
        int prefix;
        int indent;
        bool operator==(const Part& o) const
        {
            return text == o.text && serial == o.serial && prefix == o.prefix &&
                   indent == o.indent;
        }
    };
    std::vector<Part> parts() const
    {
        std::vector<Part> out;
        for (const StringNode* n = chan->lines; n; n = n->next)
            out.push_back({n->text, n->serial, line_prefix(n), n->indent});
        return out;
    }
    void fill()
    {
        const char* lines[] = {
            "the quick brown fox jumps over the lazy dog and keeps on running",
            "\x02" "bold words\x02 and \x03" "4,12coloured words\x0f that go on and on and on",
            "averyveryverylongwordwithoutanyblankinsideitatalltocutithard and a tail",
            // Longer than the window at any size it opens with.
            "a line that goes on and on past the right edge of the window however wide the window "
            "was opened: it keeps on going with more words and more words and still more words "
            "until it has to be cut into parts at every width the test tries",
        };
        int k = 0;
        for (const char* l : lines) {
            chan->timestamp = 1;
            print_options.timestamp = k % 2;
            print_options.indent = k;
            print_line(chan->hwnd.get(), std::string_view(l), kColorNormalText);
            ++k;
        }
    }

    Connection* conn = nullptr;
    WindowRecord* chan = nullptr;
};

TEST_F(RewrapTest, NarrowingAndWideningAgainGivesThePartsOfThatWidth)
{
    const int width = wrap_area_width(chan);
    ASSERT_GT(width, 300);
    fill();
    const std::vector<Part> printed = parts();
    ASSERT_GT(printed.size(), 3u) << "no line was cut at the window's width " << width;

    for (int other : {144, 254, width + 200}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(win_rewrap_lines(chan, other), 1);
        EXPECT_EQ(chan->line_count, strlist_count(chan->lines));
        for (const StringNode* n = chan->lines; n; n = n->next) {
            EXPECT_EQ(n->wrapWidth, other);
            EXPECT_EQ(line_is_stale(n, other, chan->char_width), 0);
        }
        // The text is the same text, the prefix and the indent stayed.
        EXPECT_EQ(win_rewrap_lines(chan, other), 0);
        EXPECT_EQ(win_rewrap_lines(chan, width), 1);
        EXPECT_EQ(parts(), printed);
    }
}

TEST_F(RewrapTest, RewrapInPlaceMatchesPrintingAtThatWidth)
{
    fill();
    const int width = wrap_area_width(chan);
    // A second window narrowed to a smaller width prints the same lines.
    WindowRecord* other = lines_test_open("#other", kWinChannel, 0, conn);
    ASSERT_NE(other, nullptr);
    QWidget* frame = win_container(other->hwnd.get());
    frame->resize(frame->width() - 150, frame->height());
    lines_test_pump();
    const int narrow = wrap_area_width(other);
    ASSERT_LT(narrow, width);
    lines_test_clear(other);
    std::swap(chan, other);
    fill();
    std::swap(chan, other);
    std::vector<std::string> expected = lines_texts(other);
    win_rewrap_lines(chan, narrow);
    EXPECT_EQ(lines_texts(chan), expected);
}

TEST_F(RewrapTest, OnlyTheLinesInViewAreCutOnPaint)
{
    opt_set(OPT_BUFFER_LINES, 5000);
    for (int i = 0; i < 300; ++i)
        print_line(chan->hwnd.get(), "line " + std::to_string(i) + " with some words to wrap around",
                   kColorNormalText);
    const int width = wrap_area_width(chan);
    for (StringNode* n = chan->lines; n; n = n->next)
        n->wrapWidth = 0;  // as after a font change
    chan->text_area->grab();
    int fresh = 0;
    for (StringNode* n = chan->lines; n; n = n->next)
        fresh += n->wrapWidth == width;
    EXPECT_GT(fresh, 5);
    EXPECT_LT(fresh, 100);
    EXPECT_EQ(chan->lines->prev->wrapWidth, width);
    EXPECT_EQ(chan->lines->wrapWidth, 0);
}

TEST_F(RewrapTest, MarkerOnAContinuationPartFollowsTheLine)
{
    print_options.wrap_mode = 10;
    print_line(chan->hwnd.get(), std::string_view("aaaaaaaaa bbbbbbbbb ccccccccc"), 2);
    ASSERT_EQ(strlist_count(chan->lines), 3);
    chan->marker_line = chan->lines->next->next;
    StringNode* last = line_rewrap(chan, chan->lines->next, 1000);
    ASSERT_NE(last, nullptr);
    // The stored wrap mode of ten still cuts; the marker no longer dangles.
    EXPECT_EQ(chan->marker_line, chan->lines);
    EXPECT_EQ(line_rewrap(chan, nullptr, 100), nullptr);
    StringNode* stranger = strlist_append(nullptr, std::string_view("x"), 0);
    EXPECT_EQ(line_rewrap(chan, stranger, 100), nullptr);
    strlist_free(&stranger);
}

TEST_F(RewrapTest, AJoinPastTheLongestTextLosesNothing)
{
    // A timestamp before a line of the longest length: its parts hold more
    // than a join may take.
    chan->timestamp = 1;
    print_options.timestamp = 1;
    std::string text;
    while (text.size() < 4150)
        text += "word ";
    text.resize(4150);
    print_line(chan->hwnd.get(), std::string_view(text), 2);
    auto concatenated = [&] {
        std::string all;
        for (const StringNode* p = chan->lines; p; p = p->next)
            all += p->text;
        return all;
    };
    const std::string printed = concatenated();
    ASSERT_EQ(printed.size(), 4158u);
    EXPECT_EQ(printed.substr(8), text);
    const int width = wrap_area_width(chan);
    for (int w : {300, 1200, width}) {
        SCOPED_TRACE(w);
        EXPECT_EQ(win_rewrap_lines(chan, w), 1);
        EXPECT_EQ(concatenated(), printed);
        // Nothing is left stale to be cut again and again.
        EXPECT_EQ(win_rewrap_lines(chan, w), 0);
        EXPECT_EQ(chan->line_count, strlist_count(chan->lines));
    }
}

}  // namespace
