// Keys, wheel and focus of the child controls: Tab completes or moves the
// focus, Enter submits, the list box selects by typed character, custom
// windows raise KEYDOWN, and the wheel scrolls by the system's setting.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QTextCursor>
#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QScrollBar>
#include <QWheelEvent>

#include <string>
#include <vector>

#include "display/child_layout.h"
#include "app/child_window.h"
#include "model/connection.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/options.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "display/editbox.h"
#include "display/input_procs.h"
#include "display/nick_list.h"
#include "display/tab_complete.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"

void input_test_reset();
void input_test_pump();
Connection* input_test_conn();
WindowRecord* input_test_open(const std::string& name, int type, int subtype, Connection* conn);
void input_test_interpreter();
void input_test_script(const std::vector<std::string>& lines);
extern std::vector<std::string> input_test_recorded;
extern TestWire* input_test_wire;
void input_test_take_wire();

namespace {

class InputProcsTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        input_test_reset();
        conn = input_test_conn();
        ASSERT_TRUE(conn);
        channel = input_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
    }
    void TearDown() override
    {
        QApplication::setWheelScrollLines(saved_wheel_lines_);
        input_test_reset();
    }

    void press(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
               const QString& text = QString())
    {
        QKeyEvent down(QEvent::KeyPress, key, mods, text);
        QCoreApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, mods, text);
        QCoreApplication::sendEvent(target, &up);
        input_test_pump();
    }

    // The channel's text and its nick list, both long enough to scroll
    // either way from the middle.
    void fill_for_scrolling()
    {
        for (int i = 0; i < 300; ++i) {
            print_line(channel->hwnd.get(), "line " + std::to_string(i), kColorNormalText);
            nicklist_update("n" + std::to_string(i), channel, kNickAddOrChange, 1);
        }
        input_test_pump();
        ASSERT_GT(channel->scroll_end, 200);
        ASSERT_GT(list_bar()->maximum(), 40) << "the nick list scrolls";
    }
    QScrollBar* list_bar() { return channel->listbox->verticalScrollBar(); }
    // Both held in the middle.
    void hold_in_the_middle()
    {
        win_on_vscroll(channel, kScrollThumbPosition, 100, 1);
        ASSERT_EQ(channel->scroll_pos, 100);
        list_bar()->setValue(20);
    }
    // The lines one page of the text area scrolls.
    int text_page()
    {
        hold_in_the_middle();
        win_on_vscroll(channel, kScrollPageUp, 0, 1);
        return 100 - channel->scroll_pos;
    }

    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
    int saved_wheel_lines_ = QApplication::wheelScrollLines();
};

TEST_F(InputProcsTest, WheelDistanceLinesAndTarget)
{
    fill_for_scrolling();
    const int page = text_page();
    ASSERT_GT(page, 1);
    struct Case {
        const char* what;
        int distance;
        int system_lines;
        int over_list;
        int notches;
        int requests;
        int code;
        int to_list;
    };
    const Case cases[] = {
        {"one notch up, three lines", 120, 3, 0, 1, 3, kScrollLineUp, 0},
        {"two notches down", -240, 3, 0, -2, 6, kScrollLineDown, 0},
        {"system says 0: three lines", 120, 0, 0, 1, 3, kScrollLineUp, 0},
        {"page scrolling", -120, 101, 0, -1, 1, kScrollPageDown, 0},
        {"5000 counts as one notch", 5000, 3, 0, 1, 3, kScrollLineUp, 0},
        {"-5000 counts as one notch", -5000, 1, 0, -1, 1, kScrollLineDown, 0},
        {"less than a notch", 60, 3, 0, 0, 0, 0, 0},
        {"over the list", 120, 2, 1, 1, 2, kScrollLineUp, 1},
        {"pages over the list", -120, 101, 1, -1, 1, kScrollPageDown, 1},
        {"nothing", 0, 3, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hold_in_the_middle();
        QApplication::setWheelScrollLines(c.system_lines);
        EXPECT_EQ(mouse_wheel_scroll(channel, c.distance, c.over_list), c.notches);
        const bool pages = c.code == kScrollPageUp || c.code == kScrollPageDown;
        const int sign = c.code == kScrollLineUp || c.code == kScrollPageUp ? -1 : 1;
        const int text_moved = channel->scroll_pos - 100;
        const int list_moved = list_bar()->value() - 20;
        const int list_step = pages ? list_bar()->pageStep() : list_bar()->singleStep();
        EXPECT_EQ(text_moved, c.to_list ? 0 : sign * c.requests * (pages ? page : 1));
        EXPECT_EQ(list_moved, c.to_list ? sign * c.requests * list_step : 0);
    }
}

TEST_F(InputProcsTest, WheelEventsOnTheControlsScrollTheirTarget)
{
    fill_for_scrolling();
    QApplication::setWheelScrollLines(1);
    struct Case {
        const char* what;
        QWidget* target;
        int to_list;
    };
    const Case cases[] = {
        {"text area", channel->text_area.get(), 0},
        {"list box", channel->listbox->viewport(), 1},
        {"editbox", channel->editbox.get(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hold_in_the_middle();
        QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(c.target, &wheel);
        EXPECT_EQ(channel->scroll_pos, c.to_list ? 100 : 101) << "one line down in the text";
        EXPECT_EQ(list_bar()->value(), c.to_list ? 20 + list_bar()->singleStep() : 20)
            << "one step down in the list";
    }
}

TEST_F(InputProcsTest, TypedCharacterSelectsTheNextNickAfterItsPrefix)
{
    for (const char* n : {"bob", "carl", "Bart", "anna"})
        nicklist_update(n, channel, kNickAddOrChange, 1);
    nicklist_update("bob", channel, kNickAddOrChange, 8);
    nicklist_update("carl", channel, kNickAddOrChange, 2);
    // @bob, +carl, anna, Bart
    struct Case {
        int caret;
        char typed;
        int expect;
    };
    const Case cases[] = {
        {-1, 'b', 0}, {0, 'b', 3}, {3, 'b', 0}, {0, 'C', 1}, {1, 'a', 2}, {0, 'z', -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.caret << " " << c.typed);
        EXPECT_EQ(list_find_by_char(channel, c.caret, c.typed), c.expect);
    }

    // Through the key: the list's caret moves.
    QListWidget* list = channel->listbox.get();
    list->setCurrentRow(0);
    press(list, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    EXPECT_EQ(list->currentRow(), 3);
}

TEST_F(InputProcsTest, SignificantCharacterByListKind)
{
    WindowRecord* urls = input_test_open("URL List", kWinUrls, 0, conn);
    WindowRecord* chanlist = input_test_open("Channels List", kWinChanList, 0, conn);
    ASSERT_TRUE(urls && chanlist);
    struct Case {
        WindowRecord* rec;
        const char* item;
        char expect;
    };
    const Case cases[] = {
        {channel, "@%x", 'x'},      {channel, "plain", 'p'}, {urls, "  http", 'h'},
        {chanlist, "  #chan", 'c'}, {chanlist, "chan", 'c'}, {channel, "@", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        EXPECT_EQ(list_significant_char(c.rec, c.item), c.expect);
    }
}

TEST_F(InputProcsTest, TabCompletesOrMovesTheFocus)
{
    struct Case {
        const char* what;
        int option_on;
        const char* text;
        int shift;
        int completes;
    };
    const Case cases[] = {
        {"option off: Tab completes", 0, "ab", 0, 1},
        {"option off: Shift+Tab moves", 0, "ab", 1, 0},
        {"option on: a word wants the Tab", 1, "ab", 0, 1},
        {"option on: after a blank it moves", 1, "ab ", 0, 0},
        {"option on: empty box moves", 1, "", 0, 0},
        {"option on: Shift+Tab completes", 1, "", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        opt_set(OPT_TAB_CHANGES_EDITBOX, c.option_on);
        tabcomp_set_text(channel, 0, c.text, static_cast<int>(std::string(c.text).size()));
        EXPECT_EQ(input_tab_completes(channel, 0, c.shift), c.completes);
    }
}

TEST_F(InputProcsTest, TabKeyReachesCompletionThroughTheDeferredKey)
{
    nicklist_update("alice", channel, kNickAddOrChange, 1);
    EditBox* box = channel->editbox.get();
    tabcomp_set_text(channel, 0, "hi al", 5);
    press(box, Qt::Key_Tab);
    EXPECT_EQ(box->textBytes(), "hi alice");
}

TEST_F(InputProcsTest, EnterKeySubmitsWithCtrlAsPlainMode)
{
    // What the interpreter did: the lines it sent and what "rec" was given.
    input_test_interpreter();
    TestWire wire;
    ASSERT_TRUE(wire.ok());
    conn->connected = 1;
    conn->registered = 1;
    wire.attach(conn);
    input_test_wire = &wire;
    struct Detach {
        Connection* conn;
        ~Detach()
        {
            conn->socket = -1;
            input_test_wire = nullptr;
        }
    } detach{conn};
    EditBox* box = channel->editbox.get();
    box->setTextBytes("hello");
    press(box, Qt::Key_Return);
    box->setTextBytes("/rec hi");
    press(box, Qt::Key_Return);
    box->setTextBytes("/rec hi");
    press(box, Qt::Key_Return, Qt::ControlModifier);
    input_test_take_wire();
    EXPECT_EQ(input_test_recorded,
              (std::vector<std::string>{"PRIVMSG #kest :hello\n", "hi", "PRIVMSG #kest :/rec hi\n"}));
    EXPECT_EQ(box->textBytes(), "");
}

TEST_F(InputProcsTest, UpRecallsHistoryBySingleLineOrCtrl)
{
    struct Case {
        const char* what;
        int mode;
        const char* typed;
        Qt::KeyboardModifiers mods;
        const char* expect;
    };
    // A growing box is single-line until it holds a second line.
    const Case cases[] = {
        {"single-line box: Up recalls", 0, "typed", Qt::NoModifier, "older"},
        {"growing box with one line: Up recalls", 2, "typed", Qt::NoModifier, "older"},
        {"growing box with two lines: Up moves the caret", 2, "typed\nmore", Qt::NoModifier, "typed\nmore"},
        {"growing box with two lines: Ctrl+Up recalls", 2, "typed\nmore", Qt::ControlModifier, "older"},
        {"two-line box: Up moves the caret", 1, "typed", Qt::NoModifier, "typed"},
        {"two-line box: Ctrl+Up recalls", 1, "typed", Qt::ControlModifier, "older"},
        {"Shift+Up never recalls", 0, "typed", Qt::ShiftModifier, "typed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        strlist_free(&channel->history[0]);
        edit_history_add(channel, 0, "older");
        channel->editbox_mode = c.mode;
        EditBox* box = channel->editbox.get();
        box->setTextBytes(c.typed);
        QTextCursor end = box->textCursor();
        end.movePosition(QTextCursor::End);
        box->setTextCursor(end);
        press(box, Qt::Key_Up, c.mods);
        EXPECT_EQ(box->textBytes(), c.expect);
    }
}

TEST_F(InputProcsTest, CustomWindowKeyEvents)
{
    input_test_interpreter();
    input_test_script({"on *:KEYDOWN:@pad:*:rec down $keyval $keychar | if ($keyval == 88) shut",
                       "on *:KEYUP:@pad:*:rec up $keyval",
                       "on *:KEYDOWN:#kest:*:rec channel $keyval"});
    win_custom_request = CustomWindowRequest();
    WindowRecord* custom = input_test_open("@pad", kWinCustom, 0, conn);
    ASSERT_TRUE(custom);
    ASSERT_TRUE(custom->editbox.get() || custom->text_area.get());
    QWidget* target = custom->editbox.get() ? static_cast<QWidget*>(custom->editbox.get())
                                            : static_cast<QWidget*>(custom->text_area.get());
    press(target, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"));
    EXPECT_EQ(input_test_recorded, (std::vector<std::string>{"down 81 q", "up 81"}));

    // A script that closes the window on KEYDOWN leaves no further handling.
    input_test_recorded.clear();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    int result = keydown_handle(custom, &down, kCtlKindEditbox, target);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(win_is_record(custom));
    EXPECT_EQ(input_test_recorded, std::vector<std::string>{"down 88 x"});
    input_test_pump();

    // Ordinary channels raise no key events.
    input_test_recorded.clear();
    press(channel->editbox.get(), Qt::Key_Q, Qt::NoModifier, QStringLiteral("q"));
    EXPECT_TRUE(input_test_recorded.empty());
}

TEST_F(InputProcsTest, InstallRunTwiceAddsItsListenersOnce)
{
    display_input_install();
    display_input_install();
    // The nick list clean-up runs with the record's release.
    nicklist_update("zed", channel, kNickAddOrChange, 1);
    QWidget* hwnd = channel->hwnd.get();
    win_close(hwnd);
    input_test_pump();
    WindowRecord* again = input_test_open("#kest", kWinChannel, 0, conn);
    ASSERT_TRUE(again);
    EXPECT_EQ(nicklist_count(again), 0);
    EXPECT_EQ(nicklist_update("zed", again, kNickTest, 0), 0);
}

}  // namespace
