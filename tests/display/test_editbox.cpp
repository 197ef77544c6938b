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
#include "script/events/remote_files.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"

// Shared set-up of the input tests (also used by test_tab_complete.cpp,
// test_nick_list.cpp and test_input_procs.cpp).
void input_test_reset();
void input_test_pump();
Connection* input_test_conn();
WindowRecord* input_test_open(const std::string& name, int type, int subtype, Connection* conn);
extern int input_test_beeps;
void input_test_interpreter();
void input_test_script(const std::vector<std::string>& lines);
extern std::vector<std::string> input_test_recorded;
// The wire of the tests' connection, when one is attached: the lines sent to
// the server join input_test_recorded in the order they went out.
extern TestWire* input_test_wire;
void input_test_take_wire();

int input_test_beeps = 0;
std::vector<std::string> input_test_recorded;
TestWire* input_test_wire = nullptr;

// Moves the lines the program wrote to the test's wire so far into
// input_test_recorded, in the order they were written.
void input_test_take_wire()
{
    if (!input_test_wire)
        return;
    for (const std::string& line : input_test_wire->lines())
        input_test_recorded.push_back(line);
    input_test_wire->clear();
}

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

namespace {

// "rec": what it is given goes to input_test_recorded.
int cmd_input_rec(CommandCall& call)
{
    input_test_take_wire();  // what was sent before it, first
    input_test_recorded.emplace_back(call.rest());
    return 1;
}

// "shut": closes the window it runs for.
int cmd_input_shut(CommandCall& call)
{
    win_close(call.window);
    return 1;
}

}  // namespace

// The interpreter as the program installs it, with the commands "rec" and
// "shut" for the tests' handlers.
void input_test_interpreter()
{
    app_install_subsystems();
    script_register_command("rec", cmd_input_rec);
    script_register_command("shut", cmd_input_shut);
}

// Loads the lines as a script file of the settings folder, as the program
// loads its scripts (the interpreter installed first).
void input_test_script(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    static int scripts = 0;
    const std::string path = settings_dir + "input" + std::to_string(++scripts) + ".kst";
    spit(path, text);
    ASSERT_TRUE(remote_file_load(path, kRemoteScript, 9999, nullptr));
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
    remote_files_free_all();
    input_test_recorded.clear();

    editbox_locked_hook = nullptr;
    editbox_last_line.clear();
    main_settings.command_char = "/";
    tabcomp_folder_channels_hook = nullptr;
    nicklist_colour_hook = nullptr;
    nicklist_saved_entry_hook = nullptr;
    nicklist_change_carry = 0;
    nicklist_defaults = NicklistDefaults();
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

// What the interpreter did with the submitted lines, in order: the lines it
// sent to the server (plain text said to the window's target ends in a line
// break) and what the scripts' "rec" command was given.
std::vector<std::string>& ran()
{
    input_test_take_wire();
    return input_test_recorded;
}

// Plain text said in #kest, as the wire carries it.
std::string said(const std::string& text)
{
    return "PRIVMSG #kest :" + text + "\n";
}

class EditboxTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        input_test_reset();
        input_test_interpreter();
        conn = input_test_conn();
        ASSERT_TRUE(conn);
        conn->live_identity[2] = "kestme";
        conn->connected = 1;
        conn->registered = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        input_test_wire = &wire;
        channel = input_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
        ASSERT_TRUE(channel->editbox.get());
        ran().clear();
    }
    void TearDown() override
    {
        input_test_reset();
        input_test_wire = nullptr;
    }

    int type_and_submit(WindowRecord* rec, EditBox* box, const std::string& text, int flags,
                        int key_flags)
    {
        box->setTextBytes(text);
        return editbox_submit(rec, box, flags, key_flags);
    }

    // Runs a command line in the channel as the interpreter runs typed ones.
    void run(const std::string& line)
    {
        script_exec_line(channel->hwnd.get(), line.c_str(), nullptr, 0, nullptr, nullptr, conn);
    }

    std::vector<std::string> history_texts(WindowRecord* rec, int box)
    {
        std::vector<std::string> out;
        for (StringNode* n = rec->history[box]; n; n = n->next)
            out.push_back(n->text);
        return out;
    }

    TestWire wire;
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
        std::string expect;     // what the interpreter did
    };
    const Case cases[] = {
        {"command line", 0, "", "/rec #b", 0, "#b"},
        {"evaluation line", 0, "", "//rec $me $ctrlenter $inpaste", 0, "kestme $false $false"},
        {"plain text", 0, "", "hello there", 0, said("hello there")},
        {"Ctrl+Enter plain mode", 0, "", "hello", 1, said("hello")},
        {"Ctrl+Enter on a command line", 0, "", "/me waves", 1, said("/me waves")},
        {"second box adds its command", 1, "say", "hello", 0, said("say hello")},
        {"second box: the command alone", 1, "say", "say", 0, said("say")},
        {"second box: a command line runs unchanged", 1, "say", "/rec c", 0, "c"},
        {"second box: Ctrl+Enter puts the command first, mode 0", 1, "//rec $ctrlenter",
         "/join #c", 1, "$true /join #c"},
        {"second box without a command", 1, "", "/rec plain", 1, said("/rec plain")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ran().clear();
        channel->editbox2_wanted = 1;
        channel->editbox2_command = c.command;
        ASSERT_EQ(win_create_editbox(channel, 3), 1);
        EditBox* box = c.second ? channel->editbox2.get() : channel->editbox.get();
        ASSERT_TRUE(box);
        int r = type_and_submit(channel, box, c.text, kSubmitNormal | kSubmitFromBox,
                                c.ctrl ? (kKeyFlagTyped | kKeyFlagCtrl) : kKeyFlagTyped);
        EXPECT_EQ(r, 1);
        EXPECT_EQ(ran(), std::vector<std::string>{c.expect});
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
    // The first is a command line of its own: the box's command stays off it.
    EXPECT_EQ(ran(), (std::vector<std::string>{said("!op bob"), said("say op bob")}));
}

TEST_F(EditboxTest, PlainTextIsSaidOnlyInAWindowWithATarget)
{
    type_and_submit(channel, channel->editbox.get(), "hello all", 5, 1);
    type_and_submit(channel, channel->editbox.get(), "/me literal", 5, 3);  // Ctrl+Enter
    EXPECT_EQ(ran(), (std::vector<std::string>{said("hello all"), said("/me literal")}));

    // The status window has no target; nothing goes out.
    ran().clear();
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    type_and_submit(status, status->editbox.get(), "hello", 5, 1);
    EXPECT_TRUE(ran().empty());
}

TEST_F(EditboxTest, LongLineIsCutAt4150)
{
    std::string text = "/rec " + std::string(5000, 'x');
    type_and_submit(channel, channel->editbox.get(), text, 5, 1);
    ASSERT_EQ(ran().size(), 1u);
    EXPECT_EQ(ran()[0], std::string(4150 - 5, 'x'));
    EXPECT_EQ(editbox_last_line.size(), 4150u);
}

TEST_F(EditboxTest, EmptyBoxBeepsAndRunsNothing)
{
    int r = type_and_submit(channel, channel->editbox.get(), "", 5, 1);
    EXPECT_EQ(r, 1);
    EXPECT_TRUE(ran().empty());
    EXPECT_EQ(input_test_beeps, 1);
}

TEST_F(EditboxTest, ForeignBoxOrDeadConnectionDoesNothing)
{
    EditBox loose(nullptr, 0);
    loose.setTextBytes("hello");
    EXPECT_EQ(editbox_submit(channel, &loose, 5, 1), 0);
    EXPECT_EQ(editbox_submit(nullptr, channel->editbox.get(), 5, 1), 0);
    EXPECT_TRUE(ran().empty());
    EXPECT_EQ(loose.textBytes(), "hello");
}

// ---- Pastes ----

TEST_F(EditboxTest, PasteJoinedByEnterButSplitByChangeNotification)
{
    // INPUT sees each line with the paste state in force.
    input_test_script({"on *:INPUT:#kest:rec input $1- $inpaste"});
    struct Case {
        const char* what;
        int flags;
        int key_flags;
        std::vector<std::string> expect;
    };
    const Case cases[] = {
        {"Enter in a single-line box joins", 5, 1,
         {"input onetwothree $false", said("onetwothree")}},
        {"a paste through the change notification runs line by line", 1, 0,
         {"input one $true", said("one"), "input two $true", said("two"), "input three $true",
          said("three")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ran().clear();
        channel->editbox_mode = 0;
        type_and_submit(channel, channel->editbox.get(), "one\r\ntwo\nthree", c.flags,
                        c.key_flags);
        EXPECT_EQ(ran(), c.expect);
        EXPECT_EQ(editbox_in_paste, 0);
    }
}

TEST_F(EditboxTest, TextArrivingInTheBoxWithLineBreaksRunsLineByLine)
{
    input_test_script({"on *:INPUT:#kest:rec input $1- $inpaste"});
    struct Case {
        const char* what;
        int mode;
        std::vector<std::string> expect;
        const char* left;
    };
    const Case cases[] = {
        {"single-line box: a paste runs", 0,
         {"input first $true", said("first"), "input second $true", said("second")}, ""},
        {"growing box keeps the lines", 2, {}, "first\nsecond"},
        {"two-line box keeps the lines", 1, {}, "first\nsecond"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        channel->editbox_mode = c.mode;
        EditBox* box = channel->editbox.get();
        box->setTextBytes("");
        ran().clear();
        box->insertPlainText(QStringLiteral("first\nsecond"));
        input_test_pump();
        EXPECT_EQ(ran(), c.expect);
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
    EXPECT_TRUE(ran().empty());
    EXPECT_EQ(box->textBytes(), "");
}

TEST_F(EditboxTest, MultiLineBoxKeepsLinesOnEnterAndAltEnterInsertsBreak)
{
    channel->editbox_mode = 2;
    EditBox* box = channel->editbox.get();
    box->setTextBytes("first");
    EXPECT_EQ(editbox_submit(channel, box, kSubmitAltEnter, 1), 2);
    EXPECT_TRUE(ran().empty());
    EXPECT_EQ(box->textBytes(), "first\n");
    box->insertPlainText("second");
    EXPECT_EQ(editbox_submit(channel, box, 5, 1), 1);
    EXPECT_EQ(ran(), (std::vector<std::string>{said("first"), said("second")}));

    channel->editbox_mode = 0;
    box->setTextBytes("single");
    EXPECT_EQ(editbox_submit(channel, box, kSubmitAltEnter, 1), 1)
        << "a single-line box lets the caller submit";
    EXPECT_EQ(box->textBytes(), "single");
}

// ---- The INPUT event ----

TEST_F(EditboxTest, InputEventDecidesEachLine)
{
    // The handler halts while %inhalt is 1.
    input_test_script({"on *:INPUT:#kest:rec input | if (%inhalt == 1) halt"});
    struct Case {
        const char* what;
        int events_on;
        const char* text;
        int ctrl;
        int halt;          // the handler halts
        std::vector<std::string> expect;
    };
    const Case cases[] = {
        {"plain line fires and runs", 1, "hello", 0, 0, {"input", said("hello")}},
        {"a halting handler stops the line", 1, "hello", 0, 1, {"input"}},
        {"/! skips the event", 1, "/!rec quiet", 0, 1, {"quiet"}},
        {"//! skips the event", 1, "//!rec quiet", 0, 1, {"quiet"}},
        {"Ctrl+Enter on /! fires again", 1, "/!rec quiet", 1, 1, {"input"}},
        {"remote events off: no event", 0, "hello", 0, 1, {said("hello")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run("/set %inhalt " + std::to_string(c.halt));
        ran().clear();
        opt_set(OPT_REMOTE_EVENTS, c.events_on);
        type_and_submit(channel, channel->editbox.get(), c.text, 5, c.ctrl ? 3 : 1);
        EXPECT_EQ(ran(), c.expect);
    }
    run("/unset %inhalt");
}

TEST_F(EditboxTest, WindowClosedByTheEventStopsTheSubmission)
{
    input_test_script({"on *:INPUT:#kest:shut"});
    WindowRecord* target = channel;
    channel->command_text = "/msg ";
    EditBox* box = channel->editbox.get();
    box->setTextBytes("one\ntwo");
    EXPECT_EQ(editbox_submit(channel, box, 1, 0), 1);
    // Closing the channel leaves it; neither line is said.
    EXPECT_EQ(ran(), std::vector<std::string>{"PART #kest\n"});
    EXPECT_FALSE(win_is_record(target));
}

// ---- Repeat forms and histories ----

TEST_F(EditboxTest, SlashRecallsAndSlashBangRepeats)
{
    EditBox* box = channel->editbox.get();
    type_and_submit(channel, box, "first line", 5, 1);
    type_and_submit(channel, box, "/rec second", 5, 1);
    ran().clear();

    struct Case {
        const char* what;
        const char* text;
        const char* box_after;
        int runs;
    };
    const Case cases[] = {
        {"/ recalls the newest history line", "/", "/rec second", 0},
        {"/! puts the last line back", "/!", "/rec second", 0},
        {"/! with a trailing line break", "/!\n", "/rec second", 0},
        {"/ followed by text runs as a line", "/ x", "", 1},
        {"/!! runs as a line", "/!!", "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ran().clear();
        for (StringNode* n = channel->history[0]; n; n = n->next)
            n->number = 0;
        editbox_last_line = "/rec second";
        box->setTextBytes(c.text);
        editbox_submit(channel, box, 1, 1);
        EXPECT_EQ(box->textBytes(), c.box_after);
        EXPECT_EQ(editbox_last_line, c.runs ? std::string(c.text) : std::string("/rec second"))
            << "a line that runs becomes the last line";
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
