// Marking a window's text with the mouse: drags on the real text area put
// exactly the marked text on the clipboard (plain, coloured, wrapped and
// partial lines, Shift and Ctrl copies), a press on no text marks nothing,
// and the typing focus stays in the editbox.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QTest>

#include <string>
#include <vector>

#include "app/child_window.h"
#include "display/child_layout.h"
#include "app/child_widgets.h"
#include "model/connection.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "model/colors.h"
#include "display/draw.h"
#include "model/line_buffer.h"
#include "display/text_marking.h"
#include "display/wrap.h"
#include "support/hook_guard.h"

void lines_test_reset();
void lines_test_pump();
Connection* lines_test_conn();
WindowRecord* lines_test_open(const std::string& name, int type, int subtype, Connection* conn);

namespace {

class TextMarking : public ::testing::Test {
protected:
    HookGuard hooks;
    Connection* conn = nullptr;
    WindowRecord* rec = nullptr;

    void SetUp() override
    {
        lines_test_reset();
        wrap_measurer_override = nullptr;  // the painter's own fonts
        app_wire_text_work();
        conn = lines_test_conn();
        ASSERT_NE(conn, nullptr);
        rec = lines_test_open("#mark", kWinChannel, 0, conn);
        ASSERT_NE(rec, nullptr);
        ASSERT_NE(rec->text_area.get(), nullptr);
        QWidget* top = rec->hwnd.get()->window();
        top->resize(700, 500);
        top->show();
        lines_test_pump();
        win_layout(rec->hwnd.get(), 32879);
        lines_test_pump();
        QApplication::clipboard()->setText("untouched");
    }
    void TearDown() override
    {
        textsel_end_record(rec);
        wrap_measurer_override = nullptr;
        lines_test_reset();
    }

    void print(const std::string& text, int indent = 0)
    {
        print_options.indent = indent;
        print_line(rec->hwnd.get(), text, kColorNormalText);
        lines_test_pump();
    }

    QRect area()
    {
        WinRect r;
        win_text_rect(rec->hwnd.get(), r, 0);
        return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }

    // The display lines in view, top first.
    std::vector<ShownLine> shown()
    {
        std::vector<ShownLine> out;
        draw_lines_in_view(rec, area(), out);
        return out;
    }

    // The middle of the character at byte `at` of the shown row (from the
    // bottom: 0 the newest); at -1: just past the row's last character.
    QPoint at_char(int row_from_bottom, int at)
    {
        std::vector<ShownLine> s = shown();
        EXPECT_GT(static_cast<int>(s.size()), row_from_bottom);
        const ShownLine& row = s[s.size() - 1 - static_cast<std::size_t>(row_from_bottom)];
        std::vector<CharBox> boxes;
        draw_line_char_boxes(rec, row.line, area().left() + 2, boxes);
        const int y = row.top + 3;
        if (at < 0)
            return QPoint(boxes.empty() ? 2 : boxes.back().right + 1, y);
        for (const CharBox& b : boxes)
            if (b.from <= at && at < b.to)
                return QPoint((b.left + b.right) / 2, y);
        ADD_FAILURE() << "no character at byte " << at;
        return QPoint(0, y);
    }

    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* w = rec->text_area.get();
        QTest::mousePress(w, Qt::LeftButton, mods, from);
        QPoint mid = (from + to) / 2;
        for (QPoint p : {mid, to}) {
            QMouseEvent move(QEvent::MouseMove, QPointF(p), w->mapToGlobal(QPointF(p)),
                             Qt::NoButton, Qt::LeftButton, mods);
            QApplication::sendEvent(w, &move);
        }
        QTest::mouseRelease(w, Qt::LeftButton, mods, to);
        lines_test_pump();
    }

    std::string clipboard() { return QApplication::clipboard()->text().toStdString(); }
};

TEST_F(TextMarking, DragCopiesExactlyTheMarkedText)
{
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        int row_a, at_a, row_b, at_b;   // rows from the bottom; at -1: past the end
        Qt::KeyboardModifiers mods;
        std::string expected;
    };
    const std::string red_bold = "plain \x02\x03" "04red bold\x02 rest";
    const Case cases[] = {
        {"a word of a plain line", {"hello world"}, 0, 6, 0, 10, Qt::NoModifier, "world"},
        {"backwards gives the same", {"hello world"}, 0, 10, 0, 6, Qt::NoModifier, "world"},
        {"coloured text loses its codes",
         {"\x03" "04red\x03 and \x02" "bold\x02 end"}, 0, 3, 0, -1, Qt::NoModifier,
         "red and bold end"},
        {"partial lines across two printed lines", {"first line", "second line"}, 1, 6, 0, 5,
         Qt::NoModifier, "line\r\nsecond"},
        {"Ctrl keeps the codes and rebuilds the format",
         {red_bold}, 0, 14, 0, 20, Qt::ControlModifier,
         "\x02\x03" "4bold\x02 r\x0F"},
        {"Ctrl before a digit writes two colour digits",
         {"\x03" "04x12345"}, 0, 4, 0, 6, Qt::ControlModifier, "\x03" "04123\x0F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& l : c.lines)
            print(l);
        QApplication::clipboard()->setText("untouched");
        drag(at_char(c.row_a, c.at_a), at_char(c.row_b, c.at_b), c.mods);
        EXPECT_EQ(clipboard(), c.expected);
        EXPECT_EQ(textsel_marking_window(), nullptr);
    }
}

TEST_F(TextMarking, WrappedLineJoinsItsPartsUnlessShiftIsHeld)
{
    std::string words;
    for (int i = 0; i < 40; ++i)
        words += "word" + std::to_string(i) + " ";
    words += "end";
    print(words, 3);
    std::vector<ShownLine> s = shown();
    ASSERT_GE(s.size(), 2u);
    int parts = 0;
    for (const ShownLine& l : s)
        parts += l.line->serial == s.back().line->serial ? 1 : 0;
    ASSERT_GE(parts, 2) << "the line must wrap for this test";

    drag(at_char(parts - 1, 0), at_char(0, -1));
    EXPECT_EQ(clipboard(), words);

    // Shift: each part a line of its own, the parts' own text.
    drag(at_char(parts - 1, 0), at_char(0, -1), Qt::ShiftModifier);
    const std::string shifted = clipboard();
    std::string joined;
    for (std::size_t i = 0; i < shifted.size(); ++i) {
        if (shifted.compare(i, 2, "\r\n") == 0) {
            ++i;
            continue;
        }
        joined += shifted[i];
    }
    EXPECT_EQ(std::count(shifted.begin(), shifted.end(), '\n'), parts - 1);
    EXPECT_EQ(joined, words);
}

TEST_F(TextMarking, TooLittleOrNoTextCopiesNothing)
{
    print("abcdef");
    print("ghijkl");
    // One character is not enough; two are.
    drag(at_char(0, 2), at_char(0, 2));
    EXPECT_EQ(clipboard(), "untouched");
    drag(at_char(0, 2), at_char(0, 3));
    EXPECT_EQ(clipboard(), "ij");

    // A press past the end of a line, or in the empty area above the first
    // line, starts nothing.
    QApplication::clipboard()->setText("untouched");
    const QPoint past = at_char(0, -1) + QPoint(40, 0);
    QTest::mousePress(rec->text_area.get(), Qt::LeftButton, Qt::NoModifier, past);
    EXPECT_EQ(textsel_marking_window(), nullptr);
    QTest::mouseRelease(rec->text_area.get(), Qt::LeftButton, Qt::NoModifier, past);
    const QPoint below(20, shown().front().top - 5);
    ASSERT_GT(below.y(), 0);
    QTest::mousePress(rec->text_area.get(), Qt::LeftButton, Qt::NoModifier, below);
    EXPECT_EQ(textsel_marking_window(), nullptr);
    QTest::mouseRelease(rec->text_area.get(), Qt::LeftButton, Qt::NoModifier, below);
    EXPECT_EQ(clipboard(), "untouched");
}

TEST_F(TextMarking, MarkedCharactersPaintInvertedAndEditboxKeepsFocus)
{
    print("marked text here");
    QApplication::setActiveWindow(rec->hwnd.get()->window());
    rec->editbox.get()->setFocus();
    lines_test_pump();
    QWidget* area_widget = rec->text_area.get();
    const QPoint a = at_char(0, 0), b = at_char(0, 5);
    QTest::mousePress(area_widget, Qt::LeftButton, Qt::NoModifier, a);
    QMouseEvent move(QEvent::MouseMove, QPointF(b), area_widget->mapToGlobal(QPointF(b)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area_widget, &move);
    ASSERT_EQ(textsel_marking_window(), rec);
    // While marked, the marked characters show the Normal text colour as
    // their background.
    const QColor normal = draw_palette_colour(color_resolve(kColorNormalText));
    const QColor background = draw_palette_colour(color_resolve(kColorBackground));
    QImage during = area_widget->grab().toImage();
    const std::vector<ShownLine> s = shown();
    const int y = s.back().top + 1;
    EXPECT_EQ(QColor(during.pixel(a.x(), y)), normal);
    // The middle of the blank after "text", clear of any glyph's ink.
    const int after_x = (at_char(0, 11).x() + at_char(0, 12).x()) / 2;
    EXPECT_EQ(QColor(during.pixel(after_x, y)), background);
    QTest::mouseRelease(area_widget, Qt::LeftButton, Qt::NoModifier, b);
    lines_test_pump();
    EXPECT_EQ(clipboard(), "marked");
    QImage later = area_widget->grab().toImage();
    EXPECT_EQ(QColor(later.pixel(a.x(), y)), background);
    EXPECT_EQ(rec->hwnd.get()->window()->focusWidget(), rec->editbox.get());
}

TEST_F(TextMarking, CtrlCDuringAMarkingCopiesAndEndsIt)
{
    print("copy me now");
    QWidget* w = rec->text_area.get();
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, at_char(0, 0));
    const QPoint end = at_char(0, 6);
    QMouseEvent move(QEvent::MouseMove, QPointF(end), w->mapToGlobal(QPointF(end)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QCursor::setPos(w->mapToGlobal(end));
    QTest::keyClick(rec->editbox.get(), Qt::Key_C, Qt::ControlModifier);
    lines_test_pump();
    EXPECT_EQ(textsel_marking_window(), nullptr);
    EXPECT_EQ(clipboard(), "copy me");
    // Ctrl+C with no marking leaves the clipboard alone.
    QApplication::clipboard()->setText("untouched");
    QTest::keyClick(rec->editbox.get(), Qt::Key_C, Qt::ControlModifier);
    lines_test_pump();
    EXPECT_EQ(clipboard(), "untouched");
}

TEST_F(TextMarking, DraggingPastTheTopScrollsAndTheViewReturnsOnRelease)
{
    for (int i = 0; i < 200; ++i)
        print("row " + std::to_string(i));
    ASSERT_EQ(rec->scroll_pos, rec->scroll_end);
    const int end = rec->scroll_end;
    QWidget* w = rec->text_area.get();
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, at_char(0, 0));
    const QPoint above(1, -20);
    for (int step = 0; step < 30; ++step) {
        QMouseEvent move(QEvent::MouseMove, QPointF(above), w->mapToGlobal(QPointF(above)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    }
    EXPECT_EQ(rec->scroll_pos, end - 30) << "one line a step";
    // The release is one step more.
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, above);
    lines_test_pump();
    EXPECT_EQ(rec->scroll_pos, rec->scroll_end) << "the view is back at the newest lines";
    // From the top of the scrolled view down to its bottom line, the row
    // 31 lines above the newest: the pressed row itself had scrolled away.
    const std::string copied = clipboard();
    EXPECT_EQ(copied.rfind("row ", 0), 0u) << copied;
    EXPECT_EQ(copied.substr(copied.rfind('\n') + 1), "row 168");
    EXPECT_EQ(static_cast<std::size_t>(std::count(copied.begin(), copied.end(), '\n')) + 1,
              shown().size());
}

}  // namespace
