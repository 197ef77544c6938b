// Typing into the windows as a user does, with the program's subsystems
// joined as at start: keys go into the real editboxes and text areas, and
// what comes out is read where the user meets it (the window's lines, its
// log file, the lines sent to the server) and from the scripts' events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/frame_window.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "commands/output_commands.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "display/editbox.h"
#include "display/input_procs.h"
#include "display/logging.h"
#include "display/tab_complete.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

std::vector<std::string> recorded; // what the scripts' "rec" command was given

int cmd_rec(CommandCall& call)
{
    recorded.emplace_back(call.rest());
    return 1;
}

// Closes the window the command runs for, as the user's close does.
int cmd_shut(CommandCall& call)
{
    return win_close_request(call.window);
}

std::vector<std::string> lines_of(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    return out;
}

std::string last_line(const WindowRecord* rec)
{
    std::vector<std::string> l = lines_of(rec);
    return l.empty() ? std::string() : l.back();
}

// Every log file under the folder, joined.
std::string all_logs(const std::string& folder)
{
    std::string all;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec))
        if (e.is_regular_file() && e.path().extension() == ".log")
            all += slurp(e.path().string());
    return all;
}

class WindowInputTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        std::filesystem::create_directories(settings.path() + "logs");
        window_test_reset();
        main_settings.log_dir = settings.path() + "logs/";
        app_install_subsystems();
        script_register_command("rec", cmd_rec);
        script_register_command("shut", cmd_shut);
        event_startup_hold = 0;
        remote_files_free_all();
        recorded.clear();
        script_error_clear();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->live_identity[2] = "kestme";
        connect_for_test(true);
        window_test_pump();
    }

    void TearDown() override
    {
        remote_files_free_all();
        if (conn_is_live(conn))
            conn->socket = -1;
        window_test_reset();
    }

    // An open, registered link, or none.
    void connect_for_test(bool on)
    {
        ASSERT_TRUE(link_.ok());
        conn->connected = on ? 1 : 0;
        conn->socket = on ? link_.socket() : -1;
    }
    // The lines the program sent to the server.
    const std::vector<std::string>& sent() { return link_.lines(); }

    WindowRecord* open(const std::string& name, int type, int subtype = 0)
    {
        WindowRecord* rec = window_test_open(name, type, subtype, conn);
        window_test_pump();
        return rec;
    }

    void load_script(const std::vector<std::string>& lines)
    {
        std::string text;
        for (const std::string& l : lines)
            text += l + "\n";
        const std::string path = settings.path() + "test" + std::to_string(++scripts) + ".kst";
        spit(path, text);
        ASSERT_TRUE(remote_file_load(path, kRemoteScript, 9999, nullptr));
    }

    // Types the text into the window's editbox and presses Enter.
    void type_line(WindowRecord* rec, const std::string& text)
    {
        EditBox* box = rec->editbox.get();
        ASSERT_TRUE(box);
        box->setFocus();
        QTest::keyClicks(box, QString::fromStdString(text));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
    }

    TempSettingsDir settings{"kest_winput_"};
    TestWire link_;
    Connection* conn = nullptr;
    int scripts = 0;
    SavedValues<std::string> log_dir_{main_settings.log_dir};
};

// ---- Own text ----

TEST_F(WindowInputTest, OwnTextIsSentShownAndLoggedAsSayDoes)
{
    const struct {
        const char* name;
        int type;
    } windows[] = {{"#kest", kWinChannel}, {"bob", kWinQuery}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.name);
        opt_set(OPT_LOG_CHANNELS, 1);
        opt_set(OPT_LOG_CHATS, 1);
        WindowRecord* rec = open(w.name, w.type, w.type == kWinQuery ? kQueryPrivate : 0);
        ASSERT_TRUE(rec);
        link_.clear();

        type_line(rec, "hello there");
        ASSERT_EQ(sent().size(), 1u);
        EXPECT_EQ(sent()[0], std::string("PRIVMSG ") + w.name + " :hello there\n");
        const std::string typed_shown = last_line(rec);
        EXPECT_NE(typed_shown.find("kestme"), std::string::npos) << typed_shown;
        EXPECT_NE(typed_shown.find("hello there"), std::string::npos) << typed_shown;

        type_line(rec, "/say hello there");
        ASSERT_EQ(sent().size(), 2u);
        EXPECT_EQ(sent()[1], sent()[0]);
        EXPECT_EQ(last_line(rec), typed_shown);
        EXPECT_TRUE(rec->editbox->textBytes().empty());

        // Both lines are in the window's log, the same way.
        log_flush_all();  // what the one-second tick writes
        const std::string log = all_logs(settings.path());
        std::size_t first = log.find("hello there");
        ASSERT_NE(first, std::string::npos) << log << " path " << rec->log_path << " logging " << rec->logging;
        EXPECT_NE(log.find("hello there", first + 1), std::string::npos) << log;
    }
}

TEST_F(WindowInputTest, DoubleSlashEvaluatesAndPlainTextWaitsForAConnection)
{
    WindowRecord* chan = open("#kest", kWinChannel);
    ASSERT_TRUE(chan);
    type_line(chan, "//echo -a me is $me");
    EXPECT_EQ(last_line(chan), "me is kestme");
    type_line(chan, "/echo -a me is $me");
    EXPECT_EQ(last_line(chan), "me is $me");
    EXPECT_TRUE(sent().empty());

    connect_for_test(false);
    for (const char* typed : {"hello", "/say hello"}) {
        SCOPED_TRACE(typed);
        const std::size_t before = lines_of(chan).size();
        type_line(chan, typed);
        EXPECT_EQ(lines_of(chan).size(), before + 1);
        EXPECT_EQ(last_line(chan), "* Servere Bağlı Değilsiniz");
    }
    EXPECT_TRUE(sent().empty());
}

// ---- INPUT ----

TEST_F(WindowInputTest, InputSeesTheLineAndCanKeepItFromRunning)
{
    load_script({"on *:INPUT:#kest:rec input $target $1- | if ($1 == stop) halt"});
    load_script({"on *:INPUT:#:rec anychannel"});
    WindowRecord* chan = open("#kest", kWinChannel);
    WindowRecord* other = open("#other", kWinChannel);
    WindowRecord* query = open("bob", kWinQuery, kQueryPrivate);
    ASSERT_TRUE(chan && other && query);
    const struct {
        WindowRecord* window;
        const char* typed;
        std::vector<std::string> events;
        std::vector<std::string> sent;
    } cases[] = {
        {chan, "hello all", {"input #kest hello all", "anychannel"}, {"PRIVMSG #kest :hello all\n"}},
        {chan, "stop right there", {"input #kest stop right there", "anychannel"}, {}},
        {other, "hi", {"anychannel"}, {"PRIVMSG #other :hi\n"}},
        {query, "hi bob", {}, {"PRIVMSG bob :hi bob\n"}},
        // "!" after the command character: no INPUT for that line.
        {chan, "/!echo -a quiet", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        recorded.clear();
        link_.clear();
        type_line(c.window, c.typed);
        EXPECT_EQ(recorded, c.events);
        EXPECT_EQ(sent(), c.sent);
    }
}

// ---- TABCOMP ----

TEST_F(WindowInputTest, TabCompletionRaisesTabcompAndAHaltKeepsTheBox)
{
    const struct {
        const char* script;
        const char* box_after;
        std::vector<std::string> events;
    } cases[] = {
        {"on *:TABCOMP:bob:rec tab $1-", "bob", {"tab bob", "tab bob"}},
        {"on *:TABCOMP:bob:rec tab $1- | halt", "bo", {"tab bob"}},
        // A handler for channels only stays silent in a query.
        {"on *:TABCOMP:#:rec tab $1- | halt", "bob", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        remote_files_free_all();
        load_script({c.script});
        WindowRecord* query = open("bob", kWinQuery, kQueryPrivate);
        ASSERT_TRUE(query);
        recorded.clear();
        EditBox* box = query->editbox.get();
        box->setFocus();
        box->setTextBytes("");
        QTest::keyClicks(box, "bo");
        QTest::keyClick(box, Qt::Key_Tab);
        window_test_pump();
        EXPECT_EQ(box->textBytes(), c.box_after);
        EXPECT_EQ(recorded, c.events);
    }
}

// Tab on an identifier or a variable puts its value in the box; a word
// that evaluates to nothing stays as typed.
TEST_F(WindowInputTest, TabOnAnIdentifierOrVariableCompletesToItsValue)
{
    remote_files_free_all();
    WindowRecord* query = open("bob", kWinQuery, kQueryPrivate);
    ASSERT_TRUE(query);
    EditBox* box = query->editbox.get();
    const struct {
        const char* typed;
        const char* after;
    } cases[] = {
        {"say $calc(2+3)", "say 5"},
        {"say $me", "say kestme"},
        {"say %tabvar", "say tabbed value"},
        {"say $null", "say $null"},
    };
    script_exec_line(query->hwnd.get(), "/set %tabvar tabbed value", nullptr, 0, nullptr, nullptr,
                     query->conn);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        box->setFocus();
        box->setTextBytes("");
        QTest::keyClicks(box, c.typed);
        QTest::keyClick(box, Qt::Key_Tab);
        window_test_pump();
        EXPECT_EQ(box->textBytes(), c.after);
    }
    script_exec_line(query->hwnd.get(), "/unset %tabvar", nullptr, 0, nullptr, nullptr, query->conn);
}

// ---- KEYDOWN and KEYUP ----

TEST_F(WindowInputTest, KeysInACustomWindowRaiseKeydownAndKeyupForThatWindowOnly)
{
    load_script({"on *:KEYDOWN:@pad:65,32:rec down $keyval $keychar $keyrpt",
                 "on *:KEYUP:@pad:*:rec up $keyval",
                 "on *:KEYDOWN:@other:*:rec other $keyval"});
    win_custom_request = CustomWindowRequest();
    win_custom_request.editbox_kind = 1;
    WindowRecord* pad = open("@pad", kWinCustom);
    win_custom_request = CustomWindowRequest();
    win_custom_request.editbox_kind = 1;
    WindowRecord* other = open("@quiet", kWinCustom);
    WindowRecord* chan = open("#kest", kWinChannel);
    ASSERT_TRUE(pad && other && chan);
    ASSERT_TRUE(pad->editbox.get());
    const struct {
        WindowRecord* window;
        Qt::Key key;
        std::vector<std::string> events;
    } cases[] = {
        {pad, Qt::Key_A, {"down 65 a $false", "up 65"}},
        {pad, Qt::Key_Space, {"down 32   $false", "up 32"}},
        {pad, Qt::Key_B, {"up 66"}},  // not in the KEYDOWN list
        {other, Qt::Key_A, {}},       // another custom window
        {chan, Qt::Key_A, {}},        // not a custom window
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window->name + " " + std::to_string(c.key));
        recorded.clear();
        QWidget* target = c.window->editbox.get();
        ASSERT_TRUE(target);
        target->setFocus();
        QTest::keyClick(target, c.key);
        window_test_pump();
        EXPECT_EQ(recorded, c.events);
    }
}

TEST_F(WindowInputTest, AKeydownHandlerThatClosesTheWindowUsesUpTheKey)
{
    load_script({"on *:KEYDOWN:@pad*:65:shut", "on *:KEYUP:@pad*:*:rec up $keyval"});
    for (int round = 0; round < 2; ++round) {  // the same again in a new window
        SCOPED_TRACE(round);
        win_custom_request = CustomWindowRequest();
        win_custom_request.editbox_kind = 1;
        WindowRecord* pad = open("@pad" + std::to_string(round), kWinCustom);
        ASSERT_TRUE(pad && pad->editbox.get());
        QPointer<QWidget> hwnd = pad->hwnd.get();
        QPointer<EditBox> box = pad->editbox.get();
        box->setFocus();
        recorded.clear();
        QTest::keyClicks(box, "x");
        window_test_pump();
        EXPECT_EQ(box->textBytes(), "x");
        EXPECT_EQ(recorded, std::vector<std::string>({"up 88"}));
        recorded.clear();
        QTest::keyPress(box, Qt::Key_A);
        window_test_pump();
        EXPECT_FALSE(win_record_of(hwnd.data()));
        if (box) {
            EXPECT_EQ(box->textBytes(), "x");
        }
        EXPECT_TRUE(recorded.empty());
    }
}

// ---- ACTIVE and CLOSE ----

TEST_F(WindowInputTest, ClickingAWindowRaisesActiveOnce)
{
    load_script({"on *:ACTIVE:#b:rec active b", "on *:ACTIVE:#a:rec active a"});
    WindowRecord* a = open("#a", kWinChannel);
    WindowRecord* b = open("#b", kWinChannel);
    ASSERT_TRUE(a && b);
    auto click = [&](WindowRecord* rec) {
        QTest::mouseClick(rec->text_area.get(), Qt::LeftButton, {}, QPoint(10, 10));
        window_test_pump();
    };
    click(a);
    recorded.clear();
    click(b);
    EXPECT_EQ(recorded, std::vector<std::string>({"active b"}));
    click(b);  // already the active window: nothing more
    EXPECT_EQ(recorded, std::vector<std::string>({"active b"}));
    click(a);
    EXPECT_EQ(recorded, std::vector<std::string>({"active b", "active a"}));
}

TEST_F(WindowInputTest, ClosingAQueryOrCustomWindowRaisesCloseBeforeAndAfter)
{
    load_script({"on ^*:CLOSE:?:rec before $nick", "on *:CLOSE:?:rec after $nick",
                 "on *:CLOSE:@:rec custom $nick"});
    const struct {
        const char* name;
        int type;
        int subtype;
        std::vector<std::string> events;
    } cases[] = {
        {"bob", kWinQuery, kQueryPrivate, {"before bob", "after bob"}},
        {"@pad", kWinCustom, 0, {"custom @pad"}},
        {"#kest", kWinChannel, 0, {}},  // channels part instead
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        win_custom_request = CustomWindowRequest();
        WindowRecord* rec = open(c.name, c.type, c.subtype);
        ASSERT_TRUE(rec);
        QPointer<QWidget> hwnd = rec->hwnd.get();
        recorded.clear();
        hwnd->close();
        window_test_pump();
        EXPECT_FALSE(win_record_of(hwnd.data()));
        EXPECT_EQ(recorded, c.events);
    }
}

// A handler whose window goes in the before pass leaves no after pass.
TEST_F(WindowInputTest, AWindowGoneInTheBeforePassGetsNoAfterPass)
{
    // Frees the record of the window named, as a window that goes at once.
    script_register_command("gone", [](CommandCall& call) {
        for (WindowRecord* r = win_list; r; r = r->next)
            if (r->name == call.rest()) {
                win_record_free(r);
                break;
            }
        return 1;
    });
    load_script({"on ^*:CLOSE:@:rec before $target | gone $target", "on *:CLOSE:@:rec after $target"});
    win_custom_request = CustomWindowRequest();
    WindowRecord* rec = open("@c", kWinCustom);
    ASSERT_TRUE(rec);
    QPointer<QWidget> hwnd = rec->hwnd.get();
    EXPECT_EQ(win_fire_close_event(hwnd.data()), 0);
    window_test_pump();
    EXPECT_FALSE(win_record_of(hwnd.data()));
    EXPECT_EQ(recorded, std::vector<std::string>{"before @c"});
}

// Closing a channel window of a registered link parts at once: PART goes to
// the server and our own PART is handled as if the server had sent it (its
// event runs); not without a registered link, nor for a channel already left.
TEST_F(WindowInputTest, ClosingAChannelOfARegisteredConnectionPartsAtOnce)
{
    load_script({"on *:PART:#:rec part $nick $chan"});
    conn->own_address = "u@host";
    const struct {
        const char* what;
        bool connected;
        int registered;
        int left;
        bool parts;
    } cases[] = {
        {"registered", true, 1, 0, true},
        {"not registered", true, 0, 0, false},
        {"not connected", false, 1, 0, false},
        {"already left", true, 1, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        connect_for_test(c.connected);
        conn->registered = c.registered;
        WindowRecord* rec = open("#room", kWinChannel);
        ASSERT_TRUE(rec);
        rec->chan_left = c.left;
        link_.clear();
        recorded.clear();
        EXPECT_EQ(win_close_request(rec->hwnd.get()), 1);
        window_test_pump();
        std::vector<std::string> parts;
        for (const std::string& line : sent())
            if (line.rfind("PART", 0) == 0)
                parts.push_back(line);
        EXPECT_EQ(parts, c.parts ? std::vector<std::string>{"PART #room\n"} : std::vector<std::string>{});
        EXPECT_EQ(recorded, c.parts ? std::vector<std::string>{"part kestme #room"} : std::vector<std::string>{});
    }
    conn->registered = 0;
    connect_for_test(true);
}

TEST_F(WindowInputTest, TheProgramLosingOrRegainingTheActivationRaisesAppactive)
{
    load_script({"on *:APPACTIVE:rec app"});
    QPointer<KestFrame> frame = new KestFrame;
    frame->resize(400, 300);
    frame->show();
    frame->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(frame.data()));
    window_test_pump();
    recorded.clear();
    const struct {
        const char* step;
        std::function<void()> act;
        std::size_t events;
    } steps[] = {
        {"minimised", [&] { frame->showMinimized(); }, 1},
        {"restored", [&] { frame->showNormal(); frame->activateWindow(); }, 2},
        {"restored again", [&] { frame->showNormal(); frame->activateWindow(); }, 2},
        {"minimised again", [&] { frame->showMinimized(); }, 3},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.step);
        s.act();
        window_test_pump();
        EXPECT_EQ(recorded.size(), s.events);
    }
    delete frame.data();
    window_test_pump();
}

// ---- The paste path ----

TEST_F(WindowInputTest, PasteTakesTextOnlyAndRunsSeveralLinesOneByOne)
{
    load_script({"on *:INPUT:#*:rec input $1-"});
    option_set_value(1, 7, 0);
    WindowRecord* single = open("#one", kWinChannel);
    option_set_value(1, 7, 2);
    WindowRecord* growing = open("#grow", kWinChannel);
    ASSERT_TRUE(single && growing);
    ASSERT_EQ(single->editbox_mode, 0);
    ASSERT_EQ(growing->editbox_mode, 2);
    QClipboard* clip = QApplication::clipboard();
    ASSERT_TRUE(clip);
    auto text_data = [](const QString& text) {
        auto* m = new QMimeData;
        m->setText(text);
        return m;
    };
    auto* no_text = new QMimeData;
    no_text->setData("application/x-kest", "x");
    const struct {
        const char* name;
        WindowRecord* window;
        QMimeData* data;  // given to the clipboard; null clears it
        const char* box_after;
        std::vector<std::string> events;
    } cases[] = {
        {"empty clipboard", single, nullptr, "ab", {}},
        {"no text", single, no_text, "ab", {}},
        {"empty text", single, text_data(QString()), "ab", {}},
        {"one line", single, text_data("cd"), "abcd", {}},
        {"three lines, one-line box", single, text_data("one\ntwo\nthree"), "",
         {"input abone", "input two", "input three"}},
        {"three lines, growing box", growing, text_data("one\ntwo\nthree"), "abone\ntwo\nthree", {}},
        {"empty clipboard again", growing, nullptr, "ab", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.data)
            clip->setMimeData(c.data);
        else
            clip->clear();
        recorded.clear();
        link_.clear();
        EditBox* box = c.window->editbox.get();
        box->setFocus();
        box->setTextBytes("");
        QTest::keyClicks(box, "ab");
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        window_test_pump();
        EXPECT_EQ(box->textBytes(), c.box_after);
        EXPECT_EQ(recorded, c.events);
        EXPECT_EQ(sent().size(), c.events.size());
    }
    clip->clear();
}

// ---- Layout and focus ----

TEST_F(WindowInputTest, AWindowOpenedMinimisedShowsItsTextAndEditboxWhenRestored)
{
    for (int restore = 0; restore < 2; ++restore) {
        SCOPED_TRACE(restore);
        win_next_query_minimised = 1;
        WindowRecord* query = open("bob" + std::to_string(restore), kWinQuery, kQueryPrivate);
        ASSERT_TRUE(query);
        QWidget* hwnd = query->hwnd.get();
        auto* sub = qobject_cast<QMdiSubWindow*>(hwnd->parentWidget());
        ASSERT_TRUE(sub);
        ASSERT_TRUE(sub->isMinimized());
        if (restore == 0)
            sub->showNormal();
        else
            sub->showMaximized();
        window_test_pump();
        TextArea* area = query->text_area.get();
        EditBox* box = query->editbox.get();
        ASSERT_TRUE(area && box);
        EXPECT_TRUE(area->isVisible());
        EXPECT_TRUE(box->isVisible());
        EXPECT_GT(area->height(), 20);
        EXPECT_GT(box->height(), 5);
        EXPECT_EQ(box->width(), hwnd->width() - 2 * box->x());
        // The editbox sits below the text, inside the window.
        EXPECT_GE(box->y(), area->geometry().bottom());
        EXPECT_LE(box->geometry().bottom(), hwnd->height());
        link_.clear();
        type_line(query, "back again");
        EXPECT_EQ(sent(), std::vector<std::string>({"PRIVMSG " + query->name + " :back again\n"}));
    }
}

TEST_F(WindowInputTest, ClickingTheTextLeavesTypingInTheEditbox)
{
    WindowRecord* chan = open("#kest", kWinChannel);
    ASSERT_TRUE(chan);
    EditBox* box = chan->editbox.get();
    TextArea* area = chan->text_area.get();
    box->setFocus();
    QTest::keyClicks(box, "half ");
    const struct {
        Qt::MouseButton button;
        const char* typed;
    } cases[] = {{Qt::LeftButton, "way"}, {Qt::LeftButton, " there"}, {Qt::RightButton, "!"}};
    std::string expected = "half ";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        QTest::mouseClick(area, c.button, {}, QPoint(area->width() / 2, area->height() / 2));
        window_test_pump();
        EXPECT_EQ(QApplication::focusWidget(), box);
        // Keys go to the focused widget, as they do from the keyboard.
        QTest::keyClicks(QApplication::focusWidget(), c.typed);
        expected += c.typed;
        EXPECT_EQ(box->textBytes(), expected);
    }
}

// The empty editbox stands apart from the text above it: the row between
// them is not all the text area's background.
TEST_F(WindowInputTest, TheEmptyEditboxIsSetApartFromTheText)
{
    for (int type : {kWinChannel, kWinQuery, kWinStatus}) {
        SCOPED_TRACE(type);
        WindowRecord* rec = type == kWinStatus ? win_record_of(conn->status_window.data())
                                               : open(type == kWinChannel ? "#look" : "look", type,
                                                      type == kWinQuery ? kQueryPrivate : 0);
        ASSERT_TRUE(rec);
        QWidget* hwnd = rec->hwnd.get();
        EditBox* box = rec->editbox.get();
        ASSERT_TRUE(box);
        box->setTextBytes("");
        window_test_pump();
        const QImage shot = hwnd->grab().toImage();
        ASSERT_FALSE(shot.isNull());
        const QColor text_bg = shot.pixelColor(hwnd->width() / 2, rec->text_area->y() + 5);
        // Look down the window's middle from inside the text to inside the
        // editbox: some row there differs from the text's background.
        bool set_apart = false;
        const int x = box->x() + box->width() / 2;
        for (int y = rec->text_area->geometry().bottom() - 1; y <= box->y() + 2 && !set_apart; ++y)
            set_apart = shot.pixelColor(x, y) != text_bg;
        EXPECT_TRUE(set_apart);
    }
}

}  // namespace
