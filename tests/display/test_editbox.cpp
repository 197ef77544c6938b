// The editbox: submission of typed and pasted lines, the repeat forms, the
// second input box's command, the INPUT event, the histories, the refill and
// the [editbox] settings.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QTextCursor>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "display/editbox.h"
#include "display/input_procs.h"
#include "display/nick_list.h"
#include "display/tab_complete.h"
#include "platform/platform_utils.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"

// Shared set-up of the input tests (also used by test_tab_complete.cpp,
// test_nick_list.cpp and test_input_procs.cpp).
void input_test_reset();
void input_test_pump();
Connection* input_test_conn();
WindowRecord* input_test_open(const std::string& name, int type, int subtype, Connection* conn);
extern int input_test_beeps;

int input_test_beeps = 0;

namespace {

QPointer<QMainWindow> input_frame;

void ensure_frame()
{
    test_frame_mdi(input_frame);
}

}  // namespace

void input_test_pump()
{
    test_drain_events();
}

void input_test_reset()
{
    ensure_frame();
    // Settings go to a folder of this run, empty at every reset.
    static TempDir temp("kest_input_test");
    ASSERT_FALSE(temp.path.empty());
    const std::string& dir = temp.path;
    settings_dir = dir;
    main_ini_path = dir + "kest.ini";
    std::remove(main_ini_path.c_str());
    win_hooks = WinHooks();
    child_hooks = ChildHooks();
    open_hooks = OpenHooks();
    options_reset();
    option_set_value(1, 17, 0);  // queries open normally
    beep_play_hook = [](int) { ++input_test_beeps; };
    opt_set(OPT_BEEP_BUILTIN_SOUNDS, 1);
    input_test_beeps = 0;
    for (Connection* c = conn_list; c; c = c->next)
        c->socket = -1;
    win_close_all();
    conn_free_all();
    while (win_list)
        win_record_free(win_list);
    win_active = nullptr;
    input_test_pump();

    editbox_exec_line_hook = editbox_exec_default;
    editbox_say_hook = editbox_say_default;
    editbox_input_event_hook = nullptr;
    editbox_locked_hook = nullptr;
    editbox_last_line.clear();
    main_settings.command_char = "/";
    tabcomp_event_hook = nullptr;
    tabcomp_eval_hook = nullptr;
    tabcomp_folder_channels_hook = nullptr;
    nicklist_colour_hook = nullptr;
    nicklist_saved_entry_hook = nullptr;
    nicklist_pointer_hook = nullptr;
    nicklist_change_carry = 0;
    nicklist_defaults = NicklistDefaults();
    input_key_event_hook = nullptr;
    input_wheel_lines_hook = nullptr;
    input_scroll_hook = nullptr;
    input_paste_confirm_hook = nullptr;
    display_input_install();
    nicklist_install();
}

Connection* input_test_conn()
{
    Connection* conn = conn_new_with_status(conn_list);
    return conn;
}

WindowRecord* input_test_open(const std::string& name, int type, int subtype, Connection* conn)
{
    WindowOpenRequest request;
    request.name = name;
    request.type = type;
    request.subtype = subtype;
    request.conn = conn;
    QWidget* hwnd = win_open(request);
    input_test_pump();
    return win_record_of(hwnd);
}

namespace {

struct Ran {
    std::string line;
    int mode;
    int paste;
    int ctrl;
};

std::vector<Ran> ran;
std::vector<std::string> inputs;
std::vector<std::string> sent;

int fake_exec(QWidget*, const std::string& line, int mode, Connection*)
{
    ran.push_back({line, mode, editbox_in_paste, editbox_ctrl_enter});
    return 1;
}

int fake_send(const std::string& line, int, Connection*)
{
    sent.push_back(line);
    return 1;
}

class EditboxTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        input_test_reset();
        ran.clear();
        inputs.clear();
        sent.clear();
        conn = input_test_conn();
        ASSERT_TRUE(conn);
        channel = input_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
        ASSERT_TRUE(channel->editbox.get());
        editbox_exec_line_hook = fake_exec;
    }
    void TearDown() override
    {
        input_test_reset();
    }

    int type_and_submit(WindowRecord* rec, EditBox* box, const std::string& text, int flags,
                        int key_flags)
    {
        box->setTextBytes(text);
        return editbox_submit(rec, box, flags, key_flags);
    }

    std::vector<std::string> history_texts(WindowRecord* rec, int box)
    {
        std::vector<std::string> out;
        for (StringNode* n = rec->history[box]; n; n = n->next)
            out.push_back(n->text);
        return out;
    }

    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
};

// ---- Submission ----

TEST_F(EditboxTest, LinesGoToTheInterpreterWithTheirMode)
{
    struct Case {
        const char* what;
        int second;             // typed into the second box
        const char* command;    // the second box's command
        const char* text;
        int ctrl;
        const char* expect;     // the line run; null: nothing runs
        int mode;
    };
    const Case cases[] = {
        {"command line", 0, "", "/join #b", 0, "/join #b", 0},
        {"evaluation line", 0, "", "//echo -a $me", 0, "//echo -a $me", 0},
        {"plain text", 0, "", "hello there", 0, "hello there", 0},
        {"Ctrl+Enter plain mode", 0, "", "hello", 1, "hello", 3},
        {"Ctrl+Enter on a command line", 0, "", "/me waves", 1, "/me waves", 3},
        {"second box adds its command", 1, "say", "hello", 0, "say hello", 0},
        {"second box: the command alone", 1, "say", "say", 0, "say", 0},
        {"second box: the command and a blank", 1, "say", "SAY ", 0, "SAY ", 0},
        {"second box: a command line runs unchanged", 1, "say", "/join #c", 0, "/join #c", 0},
        {"second box: Ctrl+Enter puts the command first, mode 0", 1, "say", "/join #c", 1,
         "say /join #c", 0},
        {"second box without a command", 1, "", "plain", 1, "plain", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ran.clear();
        channel->editbox2_wanted = 1;
        channel->editbox2_command = c.command;
        ASSERT_EQ(win_create_editbox(channel, 3), 1);
        EditBox* box = c.second ? channel->editbox2.get() : channel->editbox.get();
        ASSERT_TRUE(box);
        int r = type_and_submit(channel, box, c.text, kSubmitNormal | kSubmitFromBox,
                                c.ctrl ? (kKeyFlagTyped | kKeyFlagCtrl) : kKeyFlagTyped);
        EXPECT_EQ(r, 1);
        ASSERT_EQ(ran.size(), 1u);
        EXPECT_EQ(ran[0].line, c.expect);
        EXPECT_EQ(ran[0].mode, c.mode);
        EXPECT_EQ(ran[0].ctrl, c.ctrl);
        EXPECT_EQ(box->textBytes(), "");
        EXPECT_EQ(editbox_ctrl_enter, 0) << "the state is reset after the submission";
    }
}

TEST_F(EditboxTest, CommandCharacterSettingCountsAsCommand)
{
    main_settings.command_char = "!";
    channel->editbox2_wanted = 1;
    channel->editbox2_command = "say";
    ASSERT_EQ(win_create_editbox(channel, 3), 1);
    type_and_submit(channel, channel->editbox2.get(), "!op bob", 5, 1);
    type_and_submit(channel, channel->editbox2.get(), "op bob", 5, 1);
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[0].line, "!op bob");
    EXPECT_EQ(ran[1].line, "say op bob");
}

TEST_F(EditboxTest, WithoutInterpreterPlainTextIsSaidAndCommandsAreDropped)
{
    editbox_exec_line_hook = editbox_exec_default;
    irc_send_line = fake_send;
    conn->connected = 1;
    conn->socket = 1000;  // stands for an open link; never used
    type_and_submit(channel, channel->editbox.get(), "hello all", 5, 1);
    type_and_submit(channel, channel->editbox.get(), "/join #other", 5, 1);
    type_and_submit(channel, channel->editbox.get(), "/me literal", 5, 3);  // Ctrl+Enter
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], "PRIVMSG #kest :hello all\n");
    EXPECT_EQ(sent[1], "PRIVMSG #kest :/me literal\n");

    // The status window has no target; nothing goes out.
    sent.clear();
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    type_and_submit(status, status->editbox.get(), "hello", 5, 1);
    EXPECT_TRUE(sent.empty());
    conn->socket = -1;
}

TEST_F(EditboxTest, LongLineIsCutAt4150)
{
    std::string text(5000, 'x');
    type_and_submit(channel, channel->editbox.get(), text, 5, 1);
    ASSERT_EQ(ran.size(), 1u);
    EXPECT_EQ(ran[0].line.size(), 4150u);
    EXPECT_EQ(editbox_last_line.size(), 4150u);
}

TEST_F(EditboxTest, EmptyBoxBeepsAndRunsNothing)
{
    int r = type_and_submit(channel, channel->editbox.get(), "", 5, 1);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(input_test_beeps, 1);
}

TEST_F(EditboxTest, ForeignBoxOrDeadConnectionDoesNothing)
{
    EditBox loose(nullptr, 0);
    loose.setTextBytes("hello");
    EXPECT_EQ(editbox_submit(channel, &loose, 5, 1), 0);
    EXPECT_EQ(editbox_submit(nullptr, channel->editbox.get(), 5, 1), 0);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(loose.textBytes(), "hello");
}

// ---- Pastes ----

TEST_F(EditboxTest, PasteJoinedByEnterButSplitByChangeNotification)
{
    struct Case {
        const char* what;
        int flags;
        int key_flags;
        std::vector<std::string> lines;
        int paste;
    };
    const Case cases[] = {
        {"Enter in a single-line box joins", 5, 1, {"onetwothree"}, 0},
        {"a paste through the change notification runs line by line", 1, 0,
         {"one", "two", "three"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ran.clear();
        inputs.clear();
        static std::vector<std::string>* sink = nullptr;
        sink = &inputs;
        editbox_input_event_hook = [](Connection*, QWidget*, const std::string& line) {
            sink->push_back(line);
            return 1;
        };
        channel->editbox_mode = 0;
        type_and_submit(channel, channel->editbox.get(), "one\r\ntwo\nthree", c.flags,
                        c.key_flags);
        ASSERT_EQ(ran.size(), c.lines.size());
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_EQ(ran[i].line, c.lines[i]);
            EXPECT_EQ(ran[i].paste, c.paste);
        }
        EXPECT_EQ(inputs, c.lines) << "each line raises INPUT";
        EXPECT_EQ(editbox_in_paste, 0);
    }
}

TEST_F(EditboxTest, TextArrivingInTheBoxWithLineBreaksRunsLineByLine)
{
    struct Case {
        const char* what;
        int mode;
        int runs;
        const char* left;
    };
    const Case cases[] = {
        {"single-line box: a paste runs", 0, 2, ""},
        {"growing box keeps the lines", 2, 0, "first\nsecond"},
        {"two-line box keeps the lines", 1, 0, "first\nsecond"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ran.clear();
        channel->editbox_mode = c.mode;
        EditBox* box = channel->editbox.get();
        box->setTextBytes("");
        box->insertPlainText(QStringLiteral("first\nsecond"));
        input_test_pump();
        EXPECT_EQ(static_cast<int>(ran.size()), c.runs);
        if (c.runs == 2) {
            EXPECT_EQ(ran[0].line, "first");
            EXPECT_EQ(ran[0].paste, 1);
        }
        EXPECT_EQ(box->textBytes(), c.left);
    }
}

TEST_F(EditboxTest, RefusedPasteLeavesTheBoxAlone)
{
    static int asked = 0;
    asked = 0;
    input_paste_confirm_hook = [](WindowRecord*, const std::string& text) {
        ++asked;
        EXPECT_EQ(text, "one\ntwo");
        return 0;
    };
    QApplication::clipboard()->setText(QStringLiteral("one\ntwo"));
    EditBox* box = channel->editbox.get();
    box->setTextBytes("");
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::sendEvent(box, &paste);
    input_test_pump();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(box->textBytes(), "");
}

TEST_F(EditboxTest, MultiLineBoxKeepsLinesOnEnterAndAltEnterInsertsBreak)
{
    channel->editbox_mode = 2;
    EditBox* box = channel->editbox.get();
    box->setTextBytes("first");
    EXPECT_EQ(editbox_submit(channel, box, kSubmitAltEnter, 1), 2);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(box->textBytes(), "first\n");
    box->insertPlainText("second");
    EXPECT_EQ(editbox_submit(channel, box, 5, 1), 1);
    ASSERT_EQ(ran.size(), 2u);
    EXPECT_EQ(ran[0].line, "first");
    EXPECT_EQ(ran[1].line, "second");

    channel->editbox_mode = 0;
    box->setTextBytes("single");
    EXPECT_EQ(editbox_submit(channel, box, kSubmitAltEnter, 1), 1)
        << "a single-line box lets the caller submit";
    EXPECT_EQ(box->textBytes(), "single");
}

// ---- The INPUT event ----

TEST_F(EditboxTest, InputEventDecidesEachLine)
{
    struct Case {
        const char* what;
        int events_on;
        const char* text;
        int ctrl;
        int halt;          // the handler answers 0
        int fired;
        int runs;
    };
    const Case cases[] = {
        {"plain line fires and runs", 1, "hello", 0, 0, 1, 1},
        {"a halting handler stops the line", 1, "hello", 0, 1, 1, 0},
        {"/! skips the event", 1, "/!quiet", 0, 1, 0, 1},
        {"//! skips the event", 1, "//!quiet", 0, 1, 0, 1},
        {"Ctrl+Enter on /! fires again", 1, "/!quiet", 1, 1, 1, 0},
        {"remote events off: no event", 0, "hello", 0, 1, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ran.clear();
        static int fired = 0;
        static int halt = 0;
        fired = 0;
        halt = c.halt;
        editbox_input_event_hook = [](Connection*, QWidget*, const std::string&) {
            ++fired;
            return halt ? 0 : 1;
        };
        opt_set(OPT_REMOTE_EVENTS, c.events_on);
        type_and_submit(channel, channel->editbox.get(), c.text, 5, c.ctrl ? 3 : 1);
        EXPECT_EQ(fired, c.fired);
        EXPECT_EQ(static_cast<int>(ran.size()), c.runs);
    }
}

TEST_F(EditboxTest, WindowClosedByTheEventStopsTheSubmission)
{
    static WindowRecord* target = nullptr;
    target = channel;
    editbox_input_event_hook = [](Connection*, QWidget*, const std::string&) {
        win_close(target->hwnd.get());
        return 1;
    };
    channel->command_text = "/msg ";
    EditBox* box = channel->editbox.get();
    box->setTextBytes("one\ntwo");
    EXPECT_EQ(editbox_submit(channel, box, 1, 0), 1);
    EXPECT_TRUE(ran.empty());
    EXPECT_FALSE(win_is_record(target));
}

// ---- Repeat forms and histories ----

TEST_F(EditboxTest, SlashRecallsAndSlashBangRepeats)
{
    EditBox* box = channel->editbox.get();
    type_and_submit(channel, box, "first line", 5, 1);
    type_and_submit(channel, box, "/say second", 5, 1);
    ran.clear();

    struct Case {
        const char* what;
        const char* text;
        const char* box_after;
        int runs;
    };
    const Case cases[] = {
        {"/ recalls the newest history line", "/", "/say second", 0},
        {"/! puts the last line back", "/!", "/say second", 0},
        {"/! with a trailing line break", "/!\n", "/say second", 0},
        {"/ followed by text runs as a line", "/ x", "", 1},
        {"/!! runs as a line", "/!!", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ran.clear();
        for (StringNode* n = channel->history[0]; n; n = n->next)
            n->number = 0;
        editbox_last_line = "/say second";
        box->setTextBytes(c.text);
        editbox_submit(channel, box, 1, 1);
        EXPECT_EQ(box->textBytes(), c.box_after);
        EXPECT_EQ(static_cast<int>(ran.size()), c.runs);
    }

    editbox_last_line.clear();
    input_test_beeps = 0;
    box->setTextBytes("/!");
    editbox_submit(channel, box, 5, 1);
    EXPECT_EQ(input_test_beeps, 1) << "no last line: the error sound";
}

TEST_F(EditboxTest, HistoryKeepsThirtyAndMovesRepeatsToTheEnd)
{
    for (int i = 0; i < 35; ++i)
        edit_history_add(channel, 0, "line " + std::to_string(i));
    std::vector<std::string> h = history_texts(channel, 0);
    ASSERT_EQ(h.size(), 30u);
    EXPECT_EQ(h.front(), "line 5");
    EXPECT_EQ(h.back(), "line 34");

    edit_history_add(channel, 0, "line 10");
    h = history_texts(channel, 0);
    EXPECT_EQ(h.size(), 30u);
    EXPECT_EQ(h.back(), "line 10");
    EXPECT_EQ(std::count(h.begin(), h.end(), "line 10"), 1);

    edit_history_add(channel, 0, "");
    EXPECT_EQ(history_texts(channel, 0).size(), 30u);
    EXPECT_TRUE(history_texts(channel, 1).empty()) << "the second box has its own history";
}

TEST_F(EditboxTest, UpAndDownBrowseTheHistory)
{
    EditBox* box = channel->editbox.get();
    struct Step {
        const char* what;
        int direction;   // 1 Up, -1 Down, 0 type the text
        const char* text;
        const char* box_after;
        int beeps;
    };
    const Step steps[] = {
        {"Up on an empty history beeps", 1, "", "", 1},
        {"type a line", 0, "draft", "draft", 0},
        {"Down keeps the typed text in the history and empties the box", -1, "", "", 0},
        {"Up brings it back", 1, "", "draft", 0},
        {"Up at the oldest beeps", 1, "", "draft", 1},
        {"Down past the newest empties the box", -1, "", "", 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        input_test_beeps = 0;
        if (s.direction == 0)
            box->setTextBytes(s.text);
        else
            input_history_recall(channel, s.direction, 0);
        EXPECT_EQ(box->textBytes(), s.box_after);
        EXPECT_EQ(input_test_beeps, s.beeps);
    }

    // Typed lines are added as they run; Up walks back from the newest.
    type_and_submit(channel, box, "alpha", 5, 1);
    type_and_submit(channel, box, "beta", 5, 1);
    input_history_recall(channel, 1, 0);
    EXPECT_EQ(box->textBytes(), "beta");
    input_history_recall(channel, 1, 0);
    EXPECT_EQ(box->textBytes(), "alpha");
    input_history_recall(channel, -1, 0);
    EXPECT_EQ(box->textBytes(), "beta");
}

// ---- Refill ----

TEST_F(EditboxTest, RefillAfterSubmission)
{
    WindowRecord* messages = input_test_open("Messages", kWinQuery, kQueryMessages, conn);
    ASSERT_TRUE(messages);
    EditBox* box = messages->editbox.get();
    for (int i = 0; i < 2; ++i) {
        type_and_submit(messages, box, "/msg bob hi", 5, 1);
        EXPECT_EQ(box->textBytes(), "/msg ");
    }

    channel->editbox2_wanted = 1;
    channel->editbox2_command = "say";
    channel->editbox2_show_command = 1;
    ASSERT_EQ(win_create_editbox(channel, 3), 1);
    type_and_submit(channel, channel->editbox2.get(), "hello", 5, 1);
    EXPECT_EQ(channel->editbox2->textBytes(), "say ");
    type_and_submit(channel, channel->editbox.get(), "hello", 5, 1);
    EXPECT_EQ(channel->editbox->textBytes(), "");
}

// ---- Settings of the second box ----

TEST(EditboxSettingsParse, FieldsQuotesAndDefaults)
{
    struct Case {
        const char* value;
        int enabled, show_mode;
        const char* chars;
        const char* command;
        int show_command;
    };
    const Case cases[] = {
        {"", 0, 0, "@", "", 0},
        {"1,1,\"@%\",\"say\",1", 1, 1, "@%", "say", 1},
        {"1,,,,", 1, 0, "@", "", 0},
        {"1,0,\"@,+\",\"msg  #a   b\",0", 1, 0, "@,+", "msg #a b", 0},
        {"0,1,@,notice,1,extra,9", 0, 1, "@", "notice", 1},
        {"1,0,\"\",\"\",1", 1, 0, "@", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EditboxSettings s = editbox_parse_settings(c.value);
        EXPECT_EQ(s.enabled, c.enabled);
        EXPECT_EQ(s.show_mode, c.show_mode);
        EXPECT_EQ(s.mode_chars, c.chars);
        EXPECT_EQ(s.command, c.command);
        EXPECT_EQ(s.show_command, c.show_command);
        EditboxSettings again = editbox_parse_settings(editbox_settings_text(s));
        EXPECT_EQ(again.command, s.command);
        EXPECT_EQ(again.mode_chars, s.mode_chars);
        EXPECT_EQ(again.enabled, s.enabled);
    }
    EditboxSettings s;
    s.enabled = 1;
    s.command = "say";
    EXPECT_EQ(editbox_settings_text(s), "1,0,\"@\",\"say\",0");
    EXPECT_EQ(editbox_parse_settings(std::string(600, 'x') + ",1").enabled, 0);
    EXPECT_LE(editbox_parse_settings("1,1,\"" + std::string(600, 'a') + "\"").mode_chars.size(),
              256u);
}

}  // namespace
