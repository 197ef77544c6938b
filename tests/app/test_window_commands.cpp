// The window commands typed with real keys into a status window's editbox:
// custom windows made and changed by /window, their lines edited by the
// line commands and read back with $line, /clear, /renwin, /titlebar, /log,
// /debug and /url, and the errors they give. Files stay in a temporary
// settings folder; nothing reaches a network.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/subsystems.h"
#include "app/system_menu.h"
#include "app/window_open.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "bars/picture_files.h"
#include "commands/output_commands.h"
#include "commands/window_commands.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_limits.h"
#include "display/backgrounds.h"
#include "model/colors.h"
#include "display/editbox.h"
#include "display/logging.h"
#include "model/nick_list.h"
#include "display/text_area.h"
#include "display/window_lines.h"
#include "irc/link/traffic_log.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& p)
{
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class WindowCommands : public ::testing::Test {
protected:
    HookGuard hooks_;
    SavedValues<std::string, std::string> saved_{settings_dir, main_ini_path};
    SavedValues<std::string, std::string> saved_main_{main_settings.app_title, main_settings.log_dir};

    void SetUp() override
    {
        window_test_reset();
        dir = fs::temp_directory_path() / ("kest-wincmds-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "logs");
        settings_dir = dir.string() + "/";
        main_ini_path = (dir / "kest.ini").string();
        main_settings.log_dir.clear();  // the logs go to this folder's "logs/"
        app_install_subsystems();
        desktop_opened.clear();
        desktop_open_hook = [](const std::string& url) {
            desktop_opened.push_back(url);
            return 1;
        };
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
    }

    void TearDown() override
    {
        window_test_reset();
        fs::remove_all(dir);
    }

    // Types the line into the status window's editbox and presses Enter.
    void type(const std::string& line)
    {
        shown_from = strlist_count(status->lines);
        EditBox* box = status->editbox.get();
        box->setTextBytes("");
        QTest::keyClicks(box, QString::fromStdString(line));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
    }

    // The same without the separator lines around it.
    std::string printed() const
    {
        std::string s;
        std::istringstream in(shown());
        for (std::string line; std::getline(in, line);)
            if (!line.empty())
                s += line + "\n";
        return s;
    }

    // The lines shown in the status window since the last typed line.
    std::string shown() const
    {
        std::string s;
        int i = 0;
        for (const StringNode* n = status->lines; n; n = n->next, ++i)
            if (i >= shown_from)
                s += n->text + "\n";
        return s;
    }

    // An identifier expression evaluated as a script would.
    std::string eval(const std::string& expr)
    {
        std::string text = expr;
        ident_eval_text(status->hwnd.get(), &text, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return text;
    }

    // Every printed line of a window, read through $line.
    std::vector<std::string> lines_of(const std::string& window)
    {
        std::vector<std::string> out;
        const int n = std::atoi(eval("$line(" + window + ",0)").c_str());
        for (int i = 1; i <= n; ++i)
            out.push_back(eval("$line(" + window + "," + std::to_string(i) + ")"));
        return out;
    }

    WindowRecord* window(const std::string& name) { return win_find_by_name(name, conn); }

    static inline std::vector<std::string> desktop_opened;
    fs::path dir;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    int shown_from = 0;
};

using Lines = std::vector<std::string>;

// ---- Line commands on a text window ----

TEST_F(WindowCommands, LineCommandsEditATextWindowStepByStep)
{
    type("/window @t");
    WindowRecord* rec = window("@t");
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->type, kWinCustom);
    EXPECT_EQ(rec->subtype, 0);

    struct Step {
        const char* typed;
        Lines after;
    };
    const Step steps[] = {
        {"/aline @t one", {"one"}},
        {"/aline @t two words", {"one", "two words"}},
        {"/aline @t three", {"one", "two words", "three"}},
        {"/iline @t 2 inserted", {"one", "inserted", "two words", "three"}},
        {"/iline @t 99 tail", {"one", "inserted", "two words", "three", "tail"}},
        {"/rline @t 1 first", {"first", "inserted", "two words", "three", "tail"}},
        {"/rline @t 50 nowhere", {"first", "inserted", "two words", "three", "tail"}},
        {"/aline -n @t three", {"first", "inserted", "two words", "three", "tail"}},
        {"/aline -n @t thre", {"first", "inserted", "two words", "three", "tail", "thre"}},
        {"/dline @t 2-3", {"first", "three", "tail", "thre"}},
        {"/dline @t 0", {"first", "three", "tail", "thre"}},
        {"/dline @t 9", {"first", "three", "tail", "thre"}},
        {"/dline @t 3-", {"first", "three"}},
        {"/dline @t 1", {"three"}},
        {"/dline @t 1", {}},
        {"/dline @t 1", {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.typed);
        type(s.typed);
        EXPECT_EQ(lines_of("@t"), s.after) << shown();
        EXPECT_EQ(rec->line_count, static_cast<int>(s.after.size()));
    }
}

TEST_F(WindowCommands, ClineColoursOnlyItsLineAndLineReportsIt)
{
    type("/window @c");
    type("/aline @c a");
    type("/aline 4 @c b");
    type("/aline @c c");
    EXPECT_EQ(eval("$line(@c,2).color"), "4");
    type("/cline 9 @c 1");
    EXPECT_EQ(eval("$line(@c,1).color"), "9");
    EXPECT_EQ(eval("$line(@c,2).color"), "4");
    EXPECT_NE(eval("$line(@c,3).color"), "9");
}

TEST_F(WindowCommands, WrappedLineCountsOnceAndGoesWhole)
{
    type("/window @w 0 0 160 200");
    WindowRecord* rec = window("@w");
    ASSERT_TRUE(rec);
    std::string long_text;
    for (int i = 0; i < 40; ++i)
        long_text += "word" + std::to_string(i) + " ";
    long_text.pop_back();
    type("/aline -p @w " + long_text);
    type("/aline @w after");
    wl_text_rewrap(rec);
    ASSERT_GT(rec->line_count, 2) << "the long line is cut into parts";
    EXPECT_EQ(eval("$line(@w,0)"), "2");
    EXPECT_EQ(eval("$line(@w,1)"), long_text);
    EXPECT_EQ(eval("$line(@w,2)"), "after");
    type("/iline @w 2 middle");
    EXPECT_EQ(lines_of("@w"), (Lines{long_text, "middle", "after"}));
    type("/dline @w 1");
    EXPECT_EQ(lines_of("@w"), (Lines{"middle", "after"}));
    EXPECT_EQ(rec->line_count, 2) << "every part of the line went";
}

TEST_F(WindowCommands, LinesPrintedElsewhereDoNotConfuseTheWalk)
{
    // The line walk remembers where it stopped; a line printed by /echo
    // between two commands must not make it count wrong.
    type("/window @m");
    for (int i = 1; i <= 6; ++i)
        type("/aline @m l" + std::to_string(i));
    EXPECT_EQ(eval("$line(@m,5)"), "l5");
    type("/echo @m echoed");
    EXPECT_EQ(eval("$line(@m,7)"), "echoed");
    type("/dline @m 2");
    EXPECT_EQ(lines_of("@m"), (Lines{"l1", "l3", "l4", "l5", "l6", "echoed"}));
    // A trim of the oldest lines shifts every number: the walk must see it.
    opt_set(OPT_BUFFER_LINES, 500);
    type("/clear @m");
    for (int i = 1; i <= 500; ++i)
        type("/aline @m n" + std::to_string(i));
    EXPECT_EQ(eval("$line(@m,400)"), "n400");
    type("/echo @m trimmed");
    EXPECT_EQ(eval("$line(@m,0)"), "500");
    EXPECT_EQ(eval("$line(@m,400)"), "n401");
    EXPECT_EQ(eval("$line(@m,500)"), "trimmed");
    type("/clear @m");
    EXPECT_EQ(eval("$line(@m,0)"), "0");
    type("/aline @m fresh");
    EXPECT_EQ(lines_of("@m"), (Lines{"fresh"}));
}

TEST_F(WindowCommands, SortedTextWindowKeepsOrder)
{
    type("/window -s @s");
    for (const char* w : {"pear", "Apple", "fig", "banana"})
        type(std::string("/aline @s ") + w);
    EXPECT_EQ(lines_of("@s"), (Lines{"Apple", "banana", "fig", "pear"}));
}

// ---- List boxes ----

TEST_F(WindowCommands, ListBoxWindowTakesItemsSelectionAndColours)
{
    type("/window -l @L");
    WindowRecord* rec = window("@L");
    ASSERT_TRUE(rec);
    ASSERT_EQ(rec->subtype, 1);
    ASSERT_TRUE(rec->listbox.get());
    type("/aline @L one");
    type("/aline @L two");
    type("/aline -s @L three");
    type("/iline @L 1 zero");
    EXPECT_EQ(lines_of("@L"), (Lines{"zero", "one", "two", "three"}));
    EXPECT_EQ(eval("$line(@L,4).state"), "1");
    EXPECT_EQ(eval("$line(@L,1).state"), "0");
    type("/sline @L 2");
    EXPECT_EQ(eval("$line(@L,2).state"), "1");
    EXPECT_EQ(eval("$line(@L,4).state"), "0") << "a plain /sline selects only its item";
    type("/sline -r @L");
    EXPECT_EQ(eval("$line(@L,2).state"), "0");
    type("/cline 12 @L 99");
    EXPECT_EQ(eval("$line(@L,4).color"), "12") << "N beyond the end colours the last item";
    type("/rline @L 2 uno");
    type("/dline @L 3-");
    EXPECT_EQ(lines_of("@L"), (Lines{"zero", "uno"}));
    type("/aline -n @L uno");
    EXPECT_EQ(eval("$line(@L,0)"), "2");
}

TEST_F(WindowCommands, SideListIsReachedOnlyWithItsSwitch)
{
    type("/window -l12 @side");
    WindowRecord* rec = window("@side");
    ASSERT_TRUE(rec);
    ASSERT_EQ(rec->subtype, 2);
    type("/aline -l @side nick1");
    type("/aline @side text line");
    EXPECT_EQ(eval("$line(@side,0,1)"), "1");
    EXPECT_EQ(eval("$line(@side,1,1)"), "nick1");
    EXPECT_EQ(eval("$line(@side,1)"), "text line");
    type("/clear -l @side");
    EXPECT_EQ(eval("$line(@side,0,1)"), "0");
    EXPECT_EQ(eval("$line(@side,1)"), "text line") << "clearing the side list leaves the text";
}

// With f the width and height are the client area's: the frame grows by
// its caption and borders around it, for a new window of each kind and for
// an existing one moved again; without f they are the frame's.
TEST_F(WindowCommands, SwitchFMakesWidthAndHeightTheClientArea)
{
    struct Case {
        const char* command;
        const char* name;
        QSize size;
        bool client;  // the size is the client area's (else the frame's)
    };
    const Case cases[] = {
        {"/window -pf @p 0 0 200 150", "@p", QSize(200, 150), true},
        {"/window -f @t 10 10 300 120", "@t", QSize(300, 120), true},
        {"/window @frame 0 0 200 150", "@frame", QSize(200, 150), false},
        // An existing window placed again, with and without f.
        {"/window -f @frame -1 -1 260 140", "@frame", QSize(260, 140), true},
        {"/window -f @t 10 10 300 120", "@t", QSize(300, 120), true},
        {"/window @t 10 10 300 120", "@t", QSize(300, 120), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        type(c.command);
        WindowRecord* rec = window(c.name);
        ASSERT_TRUE(rec && rec->hwnd.get());
        window_test_pump();
        QWidget* client = rec->hwnd.get();
        QWidget* frame = win_container(client);
        ASSERT_TRUE(frame);
        ASSERT_NE(frame, client) << "an MDI child has a frame around its client";
        if (c.client) {
            EXPECT_EQ(client->size(), c.size);
            EXPECT_GT(frame->height(), client->height()) << "the caption is outside the client area";
        } else {
            EXPECT_EQ(frame->size(), c.size);
            EXPECT_LT(client->height(), c.size.height());
        }
    }
}

TEST_F(WindowCommands, CustomWindowWithListAndEditboxLaysOut)
{
    type("/window -el20 @lay 10 10 400 300");
    WindowRecord* rec = window("@lay");
    ASSERT_TRUE(rec);
    ASSERT_TRUE(rec->text_area.get());
    ASSERT_TRUE(rec->listbox.get());
    ASSERT_TRUE(rec->editbox.get());
    QWidget* hwnd = rec->hwnd.get();
    win_layout(hwnd, kLayoutFull);
    window_test_pump();
    const QImage shot = hwnd->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QRect text = rec->text_area->geometry();
    const QRect list = rec->listbox->geometry();
    const QRect edit = rec->editbox->geometry();
    // Text on the left, the side list to its right, the editbox below both.
    EXPECT_LE(text.right(), list.left());
    EXPECT_GE(edit.top(), text.bottom());
    EXPECT_GE(edit.top(), list.bottom());
    EXPECT_GT(text.width(), list.width());
    EXPECT_GT(edit.width(), text.width());
}

// ---- /window itself ----

TEST_F(WindowCommands, WindowMadeOnceClosedOnceAndMovedKeepingSize)
{
    type("/window @once 5 5 300 200");
    type("/window @once");
    int count = 0;
    for (WindowRecord* r = win_list; r; r = r->next)
        count += r->name == "@once";
    EXPECT_EQ(count, 1);
    WindowRecord* rec = window("@once");
    ASSERT_TRUE(rec);
    int x, y, w, h;
    win_op_geometry(rec->hwnd.get(), nullptr, nullptr, &w, &h);
    type("/window @once 40 30 -1 -1");
    win_op_geometry(rec->hwnd.get(), &x, &y, nullptr, nullptr);
    int w2, h2;
    win_op_geometry(rec->hwnd.get(), nullptr, nullptr, &w2, &h2);
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 30);
    EXPECT_EQ(w2, w);
    EXPECT_EQ(h2, h);
    type("/window -c @never");
    EXPECT_EQ(window("@never"), nullptr);
    EXPECT_EQ(shown(), "") << "closing a window that is not there is silent";
    type("/window -c @once");
    window_test_pump();
    EXPECT_EQ(window("@once"), nullptr);
}

TEST_F(WindowCommands, WindowSwitchesReachTheRequest)
{
    type("/window -t4,4,2,30 @tabs");
    WindowRecord* rec = window("@tabs");
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->tab_stops[0], 4);
    EXPECT_EQ(rec->tab_stops[1], 5) << "a stop not above its predecessor becomes predecessor + 1";
    EXPECT_EQ(rec->tab_stops[2], 6);
    EXPECT_EQ(rec->tab_stops[3], 30);
    EXPECT_EQ(rec->tab_stops[4], 0);
    type("/window -k @hid");
    ASSERT_TRUE(window("@hid"));
    EXPECT_EQ(win_op_title(window("@hid")->hwnd.get()), "hid");
    type("/titlebar @hid some text");
    EXPECT_EQ(win_op_title(window("@hid")->hwnd.get()), "hid some text");
    type("/window -k1 @hid");
    EXPECT_EQ(win_op_title(window("@hid")->hwnd.get()), "@hid some text");
    // Trailing words: a popup file, a font and size, an icon file and index.
    QImage pixels(16, 16, QImage::Format_ARGB32);
    pixels.fill(Qt::red);
    ASSERT_TRUE(pixels.save(QString::fromStdString((dir / "win.ico").string()), "PNG"));
    std::ofstream(dir / "menu.txt") << "item:/echo x\n";
    type("/window @ic menu.txt Courier New 14 win.ico 0");
    WindowRecord* ic = window("@ic");
    ASSERT_TRUE(ic) << shown();
    EXPECT_TRUE(ic->icon && !ic->icon->isNull());
    EXPECT_EQ(ic->popup_file, (dir / "menu.txt").string());
    EXPECT_EQ(ic->font_face, "Courier New");
    EXPECT_EQ(ic->font_size, 14);
    type("/window -e @ed /say");
    ASSERT_TRUE(window("@ed") && window("@ed")->editbox.get());
    EXPECT_EQ(window("@ed")->editbox->textBytes(), "/say ");
}

TEST_F(WindowCommands, PictureFlagReachesThePictureSeamOnlyWhereAllowed)
{
    static std::vector<std::string> made;
    made.clear();
    open_hooks.picture_create = [](WindowRecord* rec) { made.push_back(rec->name); };
    type("/window -p @pic");
    type("/window -lp @plist");
    type("/window -l20p @pside");
    EXPECT_EQ(made, (std::vector<std::string>{"@pic", "@pside"})) << "a plain list box window is no picture";
    ASSERT_TRUE(window("@pic"));
    EXPECT_EQ(window("@pic")->picture, 1);
    type("/aline @pic text");
    EXPECT_NE(shown().find("* /aline: Geçersiz pencere"), std::string::npos) << shown();
    type("/savebuf @pic never.txt");
    EXPECT_NE(shown().find("* /savebuf: Geçersiz pencere"), std::string::npos) << shown();
    EXPECT_FALSE(fs::exists(dir / "never.txt"));
}

TEST_F(WindowCommands, NickListLinesAreColouredAndSelectedByNumberOrName)
{
    WindowRecord* chan = window_test_open("#kest", kWinChannel, 0, conn);
    ASSERT_TRUE(chan && chan->listbox.get());
    nicklist_update("alice", chan, kNickAddOrChange, nicklist_prefix_bit(conn, '@'));
    nicklist_update("bob", chan, kNickAddOrChange, 1);
    nicklist_update("carol", chan, kNickAddOrChange, 1);
    EXPECT_EQ(eval("$line(#kest,0,1)"), "3");
    EXPECT_EQ(eval("$line(#kest,1,1)"), "alice") << "the nick without its prefix";
    type("/cline 4 #kest bob");
    EXPECT_EQ(nicklist_find(chan, "bob")->extra[kNickColour], 4);
    EXPECT_EQ(nicklist_find(chan, "bob")->extra[kNickColourState], 1);
    EXPECT_EQ(nicklist_find(chan, "carol")->extra[kNickColour], 99) << "only bob changed";
    type("/cline -m 6 #kest 3");
    EXPECT_EQ(nicklist_find(chan, "carol")->extra[kNickColour], 6);
    EXPECT_EQ(nicklist_find(chan, "carol")->extra[kNickColourState], 2);
    type("/cline #kest bob");
    EXPECT_EQ(nicklist_find(chan, "bob")->extra[kNickColour], 99) << "no colour removes it";
    type("/sline #kest 1");
    EXPECT_EQ(eval("$line(#kest,1,1).state"), "1");
    type("/sline -a #kest bob");
    EXPECT_EQ(eval("$line(#kest,1,1).state"), "1");
    EXPECT_EQ(eval("$line(#kest,2,1).state"), "1");
    type("/sline -r #kest alice");
    EXPECT_EQ(eval("$line(#kest,1,1).state"), "0");
    EXPECT_EQ(eval("$line(#kest,2,1).state"), "1");
    type("/aline #kest text");
    EXPECT_NE(shown().find("* /aline: Geçersiz parametre"), std::string::npos) << shown();
    type("/dline #kest 1");
    EXPECT_NE(shown().find("* /dline: Geçersiz parametre"), std::string::npos) << shown();
    EXPECT_EQ(eval("$line(#kest,0,1)"), "3");
}

TEST_F(WindowCommands, OutOfRangeNumbersAndBrokenQuotesAreHandled)
{
    std::ofstream(dir / "two.txt") << "x\ny\n";
    type("/window @h");
    type("/aline @h a");
    type("/aline @h b");
    struct Case {
        const char* typed;
        const char* error;  // empty: none
        Lines after;
    };
    const Case cases[] = {
        {"/aline -c99999999999999 @h c", "", {"a", "b", "c"}},
        {"/iline @h 99999999999999999999 d", "", {"a", "b", "c", "d"}},
        {"/rline @h -5 x", "* /rline: Geçersiz parametre", {"a", "b", "c", "d"}},
        {"/dline @h 3-99999999999999", "", {"a", "b"}},
        {"/dline @h -3", "", {"a", "b"}},
        {"/dline @h x-y", "* /dline: Geçersiz parametre", {"a", "b"}},
        {"/sline @h 9999", "", {"a", "b"}},
        {"/loadbuf 99999999999 @h two.txt", "", {"a", "b", "x", "y"}},
        {"/window \"@unclosed", "* /window: Geçersiz parametre", {"a", "b", "x", "y"}},
        {"/window -t99999999999,-5 @h", "", {"a", "b", "x", "y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        if (*c.error)
            EXPECT_NE(shown().find(c.error), std::string::npos) << shown();
        else
            EXPECT_EQ(shown(), "");
        EXPECT_EQ(lines_of("@h"), c.after);
    }
    const std::string long_name = "@" + std::string(400, 'n');
    type("/window " + long_name);
    WindowRecord* rec = window(long_name.substr(0, 256));
    ASSERT_TRUE(rec) << "a long name is cut to 256 characters";
    EXPECT_EQ(rec->name.size(), 256u);
}

TEST_F(WindowCommands, SwitchesOnAnExistingWindowChangeItsState)
{
    type("/window @st 10 10 300 200");
    WindowRecord* rec = window("@st");
    ASSERT_TRUE(rec);
    QWidget* hwnd = rec->hwnd.get();
    struct Case {
        const char* typed;
        int state;  // win_op_state: -1 hidden, 0 normal, 1 minimised, 2 maximised
    };
    const Case cases[] = {
        {"/window -n @st", 1},
        {"/window -n @st", 1},
        {"/window -r @st", 0},
        {"/window -x @st", 2},
        {"/window -r @st", 0},
        {"/window -h @st", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_EQ(win_op_state(hwnd), c.state);
        EXPECT_EQ(shown(), "");
    }
    EXPECT_EQ(rec->bar_flags, 0) << "hidden windows leave the bars";
    type("/window -w2 @st");
    EXPECT_EQ(rec->bar_flags, 2);
    type("/window -w9 @st");
    EXPECT_EQ(rec->bar_flags, 3) << "other values give 3";
    type("/window -g2 @st");
    EXPECT_EQ(rec->activity, 2);
    type("/window -g9 @st");
    EXPECT_EQ(rec->activity, 3);
    type("/window -g0 @st");
    EXPECT_EQ(rec->activity, 0);
    type("/window -vz @st");
    EXPECT_EQ(rec->custom_request.v_flag, 1);
    EXPECT_EQ(rec->custom_request.z_flag, 1);
    type("/window -v0 @st");
    EXPECT_EQ(rec->custom_request.v_flag, 0);
    EXPECT_EQ(rec->custom_request.z_flag, 1) << "z stays when not named";
}

TEST_F(WindowCommands, WindowStateReportsWhatTheSwitchesDid)
{
    struct OptionBack {
        int value = opt(OPT_SWITCHBAR_SHOWN);
        ~OptionBack() { opt_set(OPT_SWITCHBAR_SHOWN, value); }
    } option_back;
    opt_set(OPT_SWITCHBAR_SHOWN, 1);
    type("/window @st 10 10 300 200");
    type("/window @other 20 20 200 100");
    ASSERT_TRUE(window("@st") && window("@other"));
    struct Case {
        const char* typed;
        const char* state;
    };
    const Case cases[] = {
        {"/window -n @st", "minimized"},
        {"/window -n @st", "minimized"},
        {"/window -r @st", "normal"},
        {"/window -x @st", "maximized"},
        {"/window -x @st", "maximized"},
        {"/window -r @st", "normal"},
        {"/window -n @st", "minimized"},
        {"/window -x @st", "maximized"},
        {"/window -h @st", "hidden"},
        // Hidden, yet with a button on the shown switchbar: not "hidden".
        {"/window -w1 @st", "maximized"},
        {"/window -w0 @st", "hidden"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        type("//echo -s S $window(@st).state $window(@other).state");
        EXPECT_EQ(printed(), std::string("S ") + c.state + " normal\n");
    }
    opt_set(OPT_SWITCHBAR_SHOWN, 0);
    type("/window -n @st");
    type("/window -h @st");
    type("//echo -s S $window(@st).state");
    EXPECT_EQ(printed(), "S hidden\n");
}

TEST_F(WindowCommands, ErrorsUseTheirOwnTexts)
{
    type("/window @e");
    type("/aline @e x");
    struct Case {
        const char* typed;
        const char* error;
    };
    const Case cases[] = {
        {"/window", "* /window: Yetersiz veya eksik parametre"},
        {"/window -c", "* /window: Yetersiz veya eksik parametre"},
        {"/window plain", "* /window: Geçersiz parametre"},
        {"/window @", "* /window: Geçersiz parametre"},
        {"/window @mdi", "* /window: Geçersiz parametre"},
        {"/dline @e", "* /dline: Yetersiz veya eksik parametre"},
        {"/iline @e 0 text", "* /iline: Geçersiz parametre"},
        {"/rline @e x text", "* /rline: Geçersiz parametre"},
        {"/aline @missing text", "* /aline: Geçersiz pencere"},
        {"/aline -c4", "* /aline: Yetersiz veya eksik parametre"},
        {"/renwin @nothere @x", "* /renwin: Geçersiz pencere"},
        {"/renwin @e nope", "* /renwin: Geçersiz parametre"},
        {"/titlebar @missing x", "* /titlebar: Geçersiz pencere"},
        {"/log maybe", "* /log: Geçersiz parametre"},
        {"/close s", "* /close: Geçersiz parametre"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_NE(shown().find(c.error), std::string::npos) << shown();
    }
    EXPECT_EQ(lines_of("@e"), (Lines{"x"})) << "no failing command changed the window";
}

TEST_F(WindowCommands, RenwinRefusesATakenNameButAllowsOtherCase)
{
    type("/window @a");
    type("/window @b");
    type("/renwin @a @b");
    EXPECT_NE(shown().find("* /renwin: Pencere zaten var"), std::string::npos) << shown();
    EXPECT_TRUE(window("@a"));
    type("/renwin @a @A topic words");
    ASSERT_TRUE(window("@A"));
    EXPECT_EQ(window("@A")->name, "@A");
    EXPECT_EQ(win_op_title(window("@A")->hwnd.get()), "@A topic words");
    EXPECT_EQ(shown(), "");
}

TEST_F(WindowCommands, ClearAndClearallTakeOnlyTheirKinds)
{
    type("/window @x1");
    type("/window @x2");
    type("/aline @x1 a");
    type("/aline @x2 b");
    type("/echo -s status text");
    type("/clear @x1");
    EXPECT_EQ(eval("$line(@x1,0)"), "0");
    EXPECT_EQ(eval("$line(@x2,0)"), "1") << "/clear names one window";
    type("/clearall -u");
    EXPECT_EQ(eval("$line(@x2,0)"), "0");
    EXPECT_NE(status->lines, nullptr) << "-u clears custom windows only";
    type("/clear -s");
    EXPECT_EQ(status->line_count, 0);
}

TEST_F(WindowCommands, CloseByKindAndPattern)
{
    type("/window @k1");
    type("/window @k2");
    type("/window @other");
    type("/close -@ @k*");
    window_test_pump();
    EXPECT_EQ(window("@k1"), nullptr);
    EXPECT_EQ(window("@k2"), nullptr);
    EXPECT_TRUE(window("@other"));
}

TEST_F(WindowCommands, TitlebarSetsTheMainTitleText)
{
    type("/titlebar -m hello there");
    EXPECT_EQ(main_settings.app_title, "hello there");
    type("/titlebar");
    EXPECT_EQ(main_settings.app_title, "");
}

// ---- /loadbuf and /savebuf ----

TEST_F(WindowCommands, LoadbufTakesTheWholeFileARangeTheLastLinesOrASection)
{
    std::ofstream(dir / "five.txt") << "a\nb\r\nc\n\ne\n";
    std::ofstream(dir / "sect.ini") << "[other]\nq=0\n[abc]\nx=1\n\ny=2\n\n\n[def]\nz=3\n";
    type("/window @lb");
    struct Case {
        const char* typed;
        Lines after;
    };
    const Case cases[] = {
        {"/loadbuf -r @lb five.txt", {"a", "b", "c", " ", "e"}},
        {"/loadbuf 3 -r @lb five.txt", {"c", " ", "e"}},
        {"/loadbuf 2-4 -r @lb five.txt", {"b", "c", " "}},
        {"/loadbuf 2-3 @lb five.txt", {"b", "c", " ", "b", "c"}},
        {"/loadbuf -rtabc @lb sect.ini", {"x=1", " ", "y=2"}},
        {"/loadbuf -rtABC @lb sect.ini", {"x=1", " ", "y=2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_EQ(lines_of("@lb"), c.after) << shown();
    }
    type("/loadbuf -rtnone @lb sect.ini");
    EXPECT_NE(shown().find("* /loadbuf: Geçersiz parametre"), std::string::npos) << shown();
    type("/loadbuf @lb missing.txt");
    EXPECT_NE(shown().find("* /loadbuf: Açılamıyor '" + (dir / "missing.txt").string() + "'"), std::string::npos)
        << shown();
    type("/loadbuf @lb");
    EXPECT_NE(shown().find("* /loadbuf: Yetersiz veya eksik parametre"), std::string::npos) << shown();
    type("/loadbuf @nowhere five.txt");
    EXPECT_NE(shown().find("* /loadbuf: Geçersiz pencere"), std::string::npos) << shown();
    EXPECT_EQ(lines_of("@lb"), (Lines{"x=1", " ", "y=2"})) << "failures leave the window";

    type("/window -l @lbl");
    type("/loadbuf 2 @lbl five.txt");
    EXPECT_EQ(lines_of("@lbl"), (Lines{" ", "e"}));
}

TEST_F(WindowCommands, SavebufWritesRangesAppendsAndWrappedParts)
{
    type("/window @sb 0 0 160 200");
    WindowRecord* rec = window("@sb");
    ASSERT_TRUE(rec);
    for (const char* l : {"one", "two", "three"})
        type(std::string("/aline @sb ") + l);
    type("/savebuf @sb out.txt");
    EXPECT_EQ(read_text(dir / "out.txt"), "one\ntwo\nthree\n");
    type("/savebuf 2 @sb out.txt");
    EXPECT_EQ(read_text(dir / "out.txt"), "two\nthree\n");
    type("/savebuf -a 1-1 @sb out.txt");
    EXPECT_EQ(read_text(dir / "out.txt"), "two\nthree\none\n");
    type("/savebuf 2-3 @sb logs/part.txt");
    EXPECT_EQ(read_text(dir / "logs" / "part.txt"), "two\nthree\n");

    // A wrapped line is written as its parts.
    std::string long_text;
    for (int i = 0; i < 30; ++i)
        long_text += "w" + std::to_string(i) + " ";
    type("/clear @sb");
    type("/aline -p @sb " + long_text);
    wl_text_rewrap(rec);
    ASSERT_GT(rec->line_count, 1);
    type("/savebuf @sb wrapped.txt");
    const std::string saved = read_text(dir / "wrapped.txt");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), rec->line_count);

    // A relative name is in the settings folder; a full path is the user's
    // own choice and is written where it names.
    const fs::path outside = dir.parent_path() / ("kest-savebuf-" + std::to_string(::getpid()) + ".txt");
    fs::remove(outside);
    type("/savebuf @sb " + outside.string());
    EXPECT_EQ(read_text(outside), read_text(dir / "wrapped.txt"));
    fs::remove(outside);
}

// /findtext moves the view of the window being searched: upwards to the
// next older line that holds the text (codes and case ignored), downwards
// with -n; no hit leaves the view and beeps.
TEST_F(WindowCommands, FindtextMovesTheViewUpAndDownAndBeepsWithoutAHit)
{
    static int beeps = 0;
    beeps = 0;
    beep_play_hook = [](int) { ++beeps; };
    type("/window -e @ft 0 0 300 120");
    WindowRecord* rec = window("@ft");
    ASSERT_TRUE(rec && rec->editbox.get());
    for (int i = 1; i <= 60; ++i)
        type("/aline @ft " + std::string(i == 10 || i == 30 ? "a NeEdLe here " : "plain ") + std::to_string(i));
    // Typed into the searched window's own editbox: it is the active one.
    auto find = [&](const std::string& line) {
        EditBox* box = rec->editbox.get();
        box->setTextBytes("");
        QTest::keyClicks(box, QString::fromStdString(line));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
    };
    find("/echo -s ready");
    ASSERT_EQ(win_record_of(win_active.get()), rec);
    const int at_end = rec->scroll_pos;
    ASSERT_EQ(at_end, rec->scroll_end);

    find("/findtext needle");
    const int at_30 = rec->scroll_pos;
    EXPECT_LT(at_30, at_end) << "the view did not move up to line 30";
    find("/findtext needle");
    const int at_10 = rec->scroll_pos;
    EXPECT_LT(at_10, at_30) << "the second search went no further up";
    EXPECT_EQ(beeps, 0);

    find("/findtext needle");  // nothing older than line 10
    EXPECT_EQ(rec->scroll_pos, at_10);
    EXPECT_GT(beeps, 0);
    find("/findtext -n needle");
    EXPECT_EQ(rec->scroll_pos, at_30) << "-n goes back down to line 30";

    type("/findtext");
    EXPECT_NE(shown().find("/findtext"), std::string::npos) << shown();
}

// ---- Appearance ----

TEST_F(WindowCommands, ColorChangesPaletteAndItemsWithinRange)
{
    const Palette palette = color_palette_current;
    std::vector<std::int32_t> items;
    for (const ColorItem& item : color_items)
        items.push_back(item.current);
    struct Case {
        const char* typed;
        const char* error;  // empty: no error
    };
    const Case cases[] = {
        {"/color 3 255", ""},
        {"/color \"Own text\" 4", ""},
        {"/color info2 7", ""},
        {"/color 16 255", "* /color: Geçersiz parametre"},
        {"/color -1 255", "* /color: Geçersiz parametre"},
        {"/color 3", "* /color: Yetersiz veya eksik parametre"},
        {"/color Own", "* /color: Yetersiz veya eksik parametre"},
        {"/color own 16", "* /color: Geçersiz parametre"},
        {"/color nothing 2", "* /color: Geçersiz parametre"},
        {"/color \"Own text 4", "* /color: Yetersiz veya eksik parametre"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        if (*c.error)
            EXPECT_NE(shown().find(c.error), std::string::npos) << shown();
        else
            EXPECT_EQ(shown().find("* /color"), std::string::npos) << shown();
    }
    EXPECT_EQ(color_palette_current.rgb[3], 255u);
    EXPECT_EQ(color_items[kItemOwnText].current, 4);
    EXPECT_EQ(color_items[kItemInfo2Text].current, 7);
    EXPECT_EQ(color_items[kItemInfoText].current, items[kItemInfoText]) << "info2 named only its item";
    type("/color -r 3");
    EXPECT_EQ(color_palette_current.rgb[3], color_default_rgb(3));
    color_palette_current = palette;
    for (std::size_t k = 0; k < items.size(); ++k)
        color_items[k].current = items[k];
}

// A colour changed with /color shows at once in the open windows: the
// editbox text and a list box's background and text take the new colours.
TEST_F(WindowCommands, ColorRepaintsTheEditboxesAndListsOfOpenWindows)
{
    const Palette palette = color_palette_current;
    std::vector<std::int32_t> items;
    for (const ColorItem& item : color_items)
        items.push_back(item.current);
    type("/window -l @L");
    WindowRecord* list_window = window("@L");
    ASSERT_TRUE(list_window && list_window->listbox.get());
    auto rgb_of = [](int index) {
        ColorRgb c = color_palette_current.rgb[index];
        return QColor(color_rgb_red(c), color_rgb_green(c), color_rgb_blue(c));
    };
    struct Case {
        const char* typed;
        QWidget* widget;
        QPalette::ColorRole role;
        int index;
    };
    const Case cases[] = {
        {"/color \"Editbox text\" 4", status->editbox.get(), QPalette::Text, 4},
        {"/color Listbox 2", list_window->listbox.get(), QPalette::Base, 2},
        {"/color \"Listbox text\" 9", list_window->listbox.get(), QPalette::Text, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        type(c.typed);
        EXPECT_EQ(shown().find("* /color"), std::string::npos) << shown();
        EXPECT_EQ(c.widget->palette().color(QPalette::Active, c.role), rgb_of(c.index));
    }
    color_palette_current = palette;
    for (std::size_t k = 0; k < items.size(); ++k)
        color_items[k].current = items[k];
    color_apply_all();
}

TEST_F(WindowCommands, EditboxSetsTextSelectionAndSubmits)
{
    type("/window -e @ed");
    type("/window @out");
    WindowRecord* rec = window("@ed");
    ASSERT_TRUE(rec && rec->editbox.get());
    type("/editbox -b3 -e5 @ed hello world");
    EXPECT_EQ(rec->editbox->textBytes(), "hello world");
    EXPECT_EQ(rec->editbox->textCursor().selectionStart(), 2);
    EXPECT_EQ(rec->editbox->textCursor().selectionEnd(), 5);
    type("/editbox -p @ed spaced");
    EXPECT_EQ(rec->editbox->textBytes(), "spaced ");
    type("/editbox -v @ed ignored");
    EXPECT_EQ(rec->editbox->textBytes(), "spaced ") << "v keeps the text";
    type("/editbox -n @ed /aline @out submitted");
    EXPECT_EQ(lines_of("@out"), (Lines{"submitted"}));
    EXPECT_EQ(rec->editbox->textBytes(), "");
    type("/editbox -o @ed x");
    EXPECT_NE(shown().find("* /editbox: Geçersiz pencere"), std::string::npos) << shown();
    type("/editbox =nobody x");
    EXPECT_NE(shown().find("* /editbox: Böyle Bir Nick Bulunamadı"), std::string::npos) << shown();
}

TEST_F(WindowCommands, FontGivesTheWindowFaceAndSize)
{
    type("/window @f");
    WindowRecord* rec = window("@f");
    ASSERT_TRUE(rec);
    type("/font @f 14 Courier New");
    EXPECT_EQ(rec->font_face, "Courier New") << shown();
    EXPECT_EQ(rec->font_size, 14);
    EXPECT_EQ(rec->font_weight, 400);
    type("/font -b @f 16");
    EXPECT_EQ(rec->font_face, "Courier New") << "a size alone keeps the face";
    EXPECT_EQ(rec->font_size, 16);
    EXPECT_EQ(rec->font_weight, 700);
    type("/font @nothing 12 Arial");
    EXPECT_NE(shown().find("Geçersiz parametre"), std::string::npos) << shown();
}

TEST_F(WindowCommands, DqwindowAndMenubarReportTheirState)
{
    type("/dqwindow on");
    EXPECT_EQ(opt(OPT_SINGLE_MESSAGE_WINDOW), 1);
    EXPECT_NE(shown().find("* Özel Pencere Açık"), std::string::npos) << shown();
    type("/dqwindow off");
    EXPECT_EQ(opt(OPT_SINGLE_MESSAGE_WINDOW), 0);
    EXPECT_NE(shown().find("* Özel Pencere Kapalı"), std::string::npos) << shown();
    type("/dqwindow open");
    WindowRecord* msg = window("Message Window");
    ASSERT_TRUE(msg);
    EXPECT_EQ(msg->subtype, kQueryMessages);
    type("/dqwindow open");
    int count = 0;
    for (WindowRecord* r = win_list; r; r = r->next)
        count += r->type == kWinQuery && r->subtype == kQueryMessages;
    EXPECT_EQ(count, 1) << "open twice keeps one message window";
    type("/dqwindow close");
    window_test_pump();
    EXPECT_EQ(window("Message Window"), nullptr);
    type("/menubar off");
    EXPECT_NE(shown().find("* Menubar gösterimi kapalı"), std::string::npos) << shown();
    type("/menubar maybe");
    EXPECT_EQ(shown(), "") << "another word does nothing";
}

TEST_F(WindowCommands, TraySwitchesSetTheirOptionsOnly)
{
    struct Case {
        const char* typed;
        OptionId option;
        int value;
    };
    const Case cases[] = {
        {"/tray -t1", OPT_MINIMISE_TO_TRAY, 1},
        {"/tray -t", OPT_MINIMISE_TO_TRAY, 0},
        {"/tray -t5", OPT_MINIMISE_TO_TRAY, 1},
        {"/tray -t0", OPT_MINIMISE_TO_TRAY, 0},
        {"/tray -m1", OPT_TRAY_ICON_ALWAYS, 1},
        {"/tray -c1", OPT_TRAY_SINGLE_CLICK, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const int others = opt(OPT_START_IN_TRAY);
        type(c.typed);
        EXPECT_EQ(opt(c.option), c.value);
        EXPECT_EQ(opt(OPT_START_IN_TRAY), others) << "an option not named stays";
    }
    type("/tray");
    EXPECT_NE(shown().find("* /tray: Yetersiz veya eksik parametre"), std::string::npos) << shown();
    type("/tray -i2 nothing.ico");
    EXPECT_NE(shown().find("* /tray: Dosya bulunamadı 'nothing.ico'"), std::string::npos) << shown();
}

// ---- /log ----

TEST_F(WindowCommands, LogOnWritesIntoTheLogFolderOnly)
{
    type("/window @lg");
    type("/log on @lg");
    WindowRecord* rec = window("@lg");
    ASSERT_TRUE(rec);
    EXPECT_TRUE(rec->logging) << shown();
    EXPECT_TRUE(file_path_is_inside(rec->log_path, log_folder())) << rec->log_path;
    type("/log off @lg");
    EXPECT_FALSE(rec->logging);

    const std::string outside = (dir.parent_path() / "kest-escape.log").string();
    fs::remove(outside);
    for (const std::string& bad : {std::string("../kest-escape.log"), std::string("logs/../../kest-escape.log"),
                                   outside, std::string("\"") + outside + "\""}) {
        SCOPED_TRACE(bad);
        type("/log on @lg -f " + bad);
        EXPECT_NE(shown().find("* /log: Geçersiz parametre"), std::string::npos) << shown();
        EXPECT_FALSE(rec->logging);
        EXPECT_FALSE(fs::exists(outside));
    }
    type("/log on @lg -f mine.log");
    EXPECT_TRUE(rec->logging);
    EXPECT_EQ(fs::path(rec->log_path).filename(), "mine.log");
    type("/log on @lg");
    EXPECT_TRUE(rec->logging) << "on again restarts logging";
}

TEST_F(WindowCommands, LogForAWindowNotOpenIsStored)
{
    type("/log off #later");
    std::string value;
    ini_read("logging", "#later", "", value, kMediumTextSize, main_ini_path);
    EXPECT_EQ(value, "off");
    EXPECT_NE(shown().find("#later"), std::string::npos);
    type("/log default #later");
    ini_read("logging", "#later", "", value, kMediumTextSize, main_ini_path);
    EXPECT_EQ(value, "");
    type("/log on #later -f ../../etc/kest-nothing");
    EXPECT_NE(shown().find("* /log: Geçersiz parametre"), std::string::npos) << shown();
    ini_read("logging", "#later", "", value, kMediumTextSize, main_ini_path);
    EXPECT_EQ(value, "");
}

// ---- /debug ----

TEST_F(WindowCommands, DebugFileStaysInTheSettingsFolder)
{
    const std::string outside = (dir.parent_path() / "kest-debug-escape.log").string();
    fs::remove(outside);
    for (const std::string& bad : {std::string("../kest-debug-escape.log"), outside}) {
        SCOPED_TRACE(bad);
        type("/debug " + bad);
        EXPECT_NE(shown().find("* /debug: Geçersiz parametre"), std::string::npos) << shown();
        EXPECT_EQ(conn->debug_target, "");
    }
    type("/debug traffic.log");
    EXPECT_EQ(conn->debug_target, (dir / "traffic.log").string());
    EXPECT_NE(shown().find("* Debug verimi Açık (traffic.log)"), std::string::npos) << shown();
    type("/debug off");
    EXPECT_EQ(conn->debug_target, "");
    EXPECT_NE(shown().find("* Debug verimi Kapalı"), std::string::npos);
    EXPECT_FALSE(fs::exists(outside));
}

TEST_F(WindowCommands, DebugWindowGetsLinesAndForgetsItWhenClosed)
{
    conn->debug_target.clear();
    type("/debug -t @raw");
    WindowRecord* rec = window("@raw");
    ASSERT_TRUE(rec) << shown();
    EXPECT_EQ(conn->debug_target, "@raw");
    EXPECT_TRUE(rec->debug_raw);
    DebugSettings s;
    ASSERT_TRUE(debug_conn_settings(conn, s));
    EXPECT_EQ(s.flags, 2);
    debug_window_print(conn, "raw", "<- :srv 001 me :hi", s);
    EXPECT_EQ(eval("$line(@raw,1)").find("<- :srv 001 me :hi") != std::string::npos, true)
        << eval("$line(@raw,1)");
    type("/debug -c off");
    window_test_pump();
    EXPECT_EQ(window("@raw"), nullptr) << "-c closes the debug window";
    type("/debug @raw2");
    ASSERT_TRUE(window("@raw2"));
    win_close_request(window("@raw2")->hwnd.get());
    window_test_pump();
    EXPECT_EQ(conn->debug_target, "") << "closing the window ends the copy";
}

// ---- /url ----

TEST_F(WindowCommands, UrlListAddsDeletesAndSavesInsideSettings)
{
    type("/url load urls.ini");  // an empty list from this test's folder
    type("/url delete 1 1 1 1 1 1 1 1");
    type("/url add h http://example.org/ Example");
    type("/url add h example.org");
    EXPECT_EQ(url_list_entries().size(), 1u) << "the same address without scheme and slash is one entry";
    EXPECT_EQ(url_list_entries()[0], "h:example.orgURL:example.org");
    type("/url -i f ftp://files.example.org");
    type("/url add h http://a.example.org A");
    type("/url add m mailto:x@example.org");
    ASSERT_EQ(url_list_entries().size(), 4u);
    type("/url delete h");
    for (const std::string& e : url_list_entries())
        EXPECT_NE(e[0], 'h') << e;
    type("/url delete 1 1");
    EXPECT_TRUE(url_list_entries().empty());
    type("/url add h http://kept.example.org Kept");
    type("/url save mine.ini");
    EXPECT_NE(read_text(dir / "mine.ini").find("URL:http://kept.example.org"), std::string::npos);
    type("/url save ../escape.ini");
    EXPECT_NE(shown().find("* /url: Geçersiz parametre"), std::string::npos) << shown();
    EXPECT_FALSE(fs::exists(dir.parent_path() / "escape.ini"));
    type("/url show");
    WindowRecord* list = win_find_by_type(kWinUrls, nullptr);
    ASSERT_TRUE(list) << shown();
    ASSERT_EQ(wl_list_count(list), 1);
    EXPECT_EQ(wl_list_text(list, 1), " h\tKept\tURL:http://kept.example.org");
    type("/url add h http://second.example.org Second");
    EXPECT_EQ(wl_list_count(list), 2) << "the open window follows the list";
    type("/url -r 2");
    type("/url hide");
    window_test_pump();
    EXPECT_EQ(win_find_by_type(kWinUrls, nullptr), nullptr);
    type("/url load missing.ini");
    EXPECT_NE(shown().find("* /url: Dosya bulunamadı"), std::string::npos) << shown();
    EXPECT_EQ(url_list_entries().size(), 1u) << "a failed load keeps the list";
}

TEST_F(WindowCommands, UrlOpensThroughTheDesktopAndSwitchesTheCatcher)
{
    type("/url");
    EXPECT_TRUE(desktop_opened.empty());
    type("/url https://example.org/page");
    type("/url -an https://example.org/two");
    EXPECT_EQ(desktop_opened, (std::vector<std::string>{"https://example.org/page", "https://example.org/two"}));
    type("/url on");
    EXPECT_NE(shown().find("* URL Yakalayıcı Açık"), std::string::npos);
    EXPECT_EQ(url_catching(), 1);
    type("/window @caught");
    type("/echo @caught see https://caught.example.org/page, then more");
    bool found = false;
    for (const std::string& e : url_list_entries())
        found = found || e.find("URL:https://caught.example.org/page") != std::string::npos;
    EXPECT_TRUE(found) << "a printed address is caught while catching is on";
    type("/url off");
    EXPECT_EQ(url_catching(), 0);
    EXPECT_NE(shown().find("* URL Yakalayıcı Kapalı"), std::string::npos);
    type("/echo @caught and https://missed.example.org here");
    for (const std::string& e : url_list_entries())
        EXPECT_EQ(e.find("missed.example.org"), std::string::npos) << "caught while off: " << e;
}

// ---- /background ----

class BackgroundCommand : public WindowCommands {
protected:
    void TearDown() override
    {
        bg_mdi_clear();  // the area behind the windows outlives the test's windows
        WindowCommands::TearDown();
    }

    // A picture of one colour written into the settings folder.
    std::string picture(const std::string& name, int w, int h, QRgb colour = qRgb(255, 0, 0))
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(colour);
        const std::string path = (dir / name).string();
        EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
        return path;
    }

    std::string stored(const std::string& key)
    {
        std::string value;
        ini_read("background", key.c_str(), "", value, kMediumTextSize, main_ini_path);
        return value;
    }

    // The window's text area as it paints now.
    QImage painted(WindowRecord* rec)
    {
        win_layout(rec->hwnd.get(), kLayoutFull);
        window_test_pump();
        return text_area_render(rec);
    }

    static bool red(const QImage& image, int x, int y)
    {
        return image.pixel(x, y) == qRgb(255, 0, 0);
    }

    // The ticked entries of the window's system menu among the background ones.
    static std::vector<int> ticked(WindowRecord* rec)
    {
        std::vector<int> ids;
        std::function<void(QMenu*)> walk = [&](QMenu* menu) {
            for (QAction* a : menu->actions()) {
                const int id = win_sysmenu_action_id(a);
                if (((id >= 268 && id <= 273) || id == 277 || id == 278) && a->isChecked())
                    ids.push_back(id);
                if (a->menu())
                    walk(a->menu());
            }
        };
        // The menu as the user opens it: made on first use.
        if (QMenu* menu = win_system_menu(rec))
            walk(menu);
        return ids;
    }
};

TEST_F(BackgroundCommand, EachModeDrawsThePictureWhereItBelongs)
{
    picture("dot.png", 8, 8);
    type("/window @pics 0 0 400 300");
    WindowRecord* rec = window("@pics");
    ASSERT_TRUE(rec);
    struct Case {
        const char* letter;
        int mode;
        // Where red must be and where it must not: corners and the middle.
        bool top_left, top_right, middle, bottom_right;
    };
    const Case cases[] = {
        {"c", kBgCentre, false, false, true, false},
        {"f", kBgFill, true, true, true, true},
        {"n", kBgNormal, true, false, false, false},
        {"r", kBgStretch, false, false, true, false},
        {"t", kBgTile, true, true, true, true},
        {"p", kBgPhoto, false, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letter);
        type(std::string("/background -") + c.letter + " @pics dot.png");
        EXPECT_EQ(shown(), "");
        EXPECT_EQ(bg_mode(rec), c.mode);
        EXPECT_EQ(stored("@pics"), "dot.png," + std::to_string(c.mode));
        EXPECT_EQ(ticked(rec), std::vector<int>{268 + c.mode});
        const QImage shot = painted(rec);
        ASSERT_GT(shot.width(), 40);
        ASSERT_GT(shot.height(), 40);
        const int w = shot.width(), h = shot.height();
        EXPECT_EQ(red(shot, 1, 1), c.top_left);
        EXPECT_EQ(red(shot, w - 2, 1), c.top_right);
        EXPECT_EQ(red(shot, w / 2, h / 2), c.middle);
        EXPECT_EQ(red(shot, w - 2, h - 2), c.bottom_right);
    }
    // The text stays on top of the picture.
    type("/background -f @pics dot.png");
    type("/aline @pics WWWWWWWWWWWWWWWWWWWW");
    const QImage shot = painted(rec);
    bool other = false;
    for (int x = 0; x < shot.width() && !other; ++x)
        for (int y = 0; y < shot.height() && !other; ++y)
            other = !red(shot, x, y);
    EXPECT_TRUE(other) << "the line is drawn over the picture";
}

TEST_F(BackgroundCommand, ThePictureComesBackWithTheWindowAndGoesWithX)
{
    picture("dot.png", 8, 8);
    type("/window @again 0 0 300 200");
    type("/background -t @again dot.png");
    type("/window -c @again");
    window_test_pump();
    ASSERT_EQ(window("@again"), nullptr);
    type("/window @again 0 0 300 200");
    WindowRecord* rec = window("@again");
    ASSERT_TRUE(rec);
    EXPECT_EQ(bg_file(rec), (dir / "dot.png").string());
    EXPECT_TRUE(red(painted(rec), 5, 5));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        type("/background -x @again");
        EXPECT_EQ(shown(), "");
        EXPECT_EQ(bg_file(rec), "");
        EXPECT_EQ(stored("@again"), "none");
        EXPECT_FALSE(red(painted(rec), 5, 5));
    }
    // A mode alone keeps the window without a picture.
    type("/background -c @again");
    EXPECT_EQ(bg_mode(rec), kBgCentre);
    EXPECT_FALSE(red(painted(rec), 5, 5));
}

TEST_F(BackgroundCommand, KindDefaultReachesTheOtherChannelsOnly)
{
    picture("dot.png", 8, 8);
    WindowRecord* a = window_test_open("#a", kWinChannel, 0, conn);
    WindowRecord* own = window_test_open("#own", kWinChannel, 0, conn);
    WindowRecord* c = window_test_open("#c", kWinChannel, 0, conn);
    WindowRecord* q = window_test_open("friend", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(a && own && c && q);
    type("/background -n #own dot.png");
    EXPECT_EQ(stored("#own"), "dot.png,2");
    type("/background -ef #a dot.png");
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(stored("wchannel"), "dot.png,1");
    EXPECT_EQ(stored("#a"), "");
    EXPECT_EQ(bg_file(c), (dir / "dot.png").string()) << "the other channel uses the default";
    EXPECT_TRUE(bg_uses_kind_default(c));
    EXPECT_EQ(ticked(c), (std::vector<int>{277, 269})) << "the kind's default, and fill";
    EXPECT_EQ(ticked(own), std::vector<int>{270});
    EXPECT_EQ(bg_mode(c), kBgFill);
    EXPECT_EQ(bg_mode(own), kBgNormal) << "a channel's own choice stays";
    EXPECT_EQ(bg_file(q), "") << "a query is another kind";
    EXPECT_EQ(bg_file(status), "");
    // The default goes: the channels that used it lose the picture, the
    // channel with its own keeps it.
    type("/background -ex #a");
    EXPECT_EQ(stored("wchannel"), "");
    EXPECT_EQ(stored("#a"), "none");
    EXPECT_EQ(bg_file(a), "");
    EXPECT_EQ(bg_file(c), "");
    EXPECT_EQ(bg_file(own), (dir / "dot.png").string());
    // Clearing gives a query the photo mode, a channel the normal one.
    type("/background -fx friend");
    EXPECT_EQ(bg_mode(q), kBgPhoto);
    EXPECT_EQ(bg_mode(a), kBgNormal);
}

TEST_F(BackgroundCommand, AWindowNotOpenKeepsTheChoiceForLater)
{
    picture("dot.png", 8, 8);
    struct Case {
        const char* line;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"/background -t @later dot.png", "@later", "dot.png,4"},
        {"/background @later dot.png", "@later", "dot.png,4"},  // no mode: nothing written
        {"/background -x @later", "@later", ""},
        {"/background -ec #somechan dot.png", "wchannel", "dot.png,0"},
        {"/background -er someone dot.png", "wquery", "dot.png,3"},
        {"/background -gn dot.png", "wfinger", "dot.png,2"},
        {"/background -dp", "wmessage", ",5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        type(c.line);
        EXPECT_EQ(shown(), "");
        EXPECT_EQ(stored(c.key), c.value);
    }
    // The window opened later takes it.
    type("/background -t @later dot.png");
    type("/window @later 0 0 300 200");
    ASSERT_TRUE(window("@later"));
    EXPECT_EQ(bg_mode(window("@later")), kBgTile);
    EXPECT_TRUE(red(painted(window("@later")), 3, 3));
}

TEST_F(BackgroundCommand, ErrorsAndPicturesThatCannotBeShown)
{
    picture("dot.png", 8, 8);
    picture("huge.png", 9000, 2);
    {
        std::ofstream junk(dir / "junk.png");
        junk << "not a picture at all";
    }
    type("/window -l @listonly");
    struct Case {
        const char* line;
        const char* text;
    };
    const Case cases[] = {
        {"/background -s", "* /background: Yetersiz veya eksik parametre"},
        {"/background -sf missing.png", "* /background: Dosya bulunamadı 'missing.png'"},
        {"/background -f @listonly dot.png", "* /background: Geçersiz pencere"},
        {"/background -sf junk.png", "Dosyası Yüklenemedi"},
        {"/background -sf huge.png", "Dosyası Yüklenemedi"},
        {"/background -l junk.png", "Dosyası Yüklenemedi"},
        {"/background -h missing.png", "* /background: Dosya bulunamadı 'missing.png'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        type(c.line);
        EXPECT_NE(shown().find(c.text), std::string::npos) << shown();
    }
    EXPECT_EQ(bg_file(status), "") << "nothing unloadable is kept";
    EXPECT_EQ(stored("status"), "");
    EXPECT_EQ(stored("@listonly"), "");
    EXPECT_EQ(stored("toolbar"), "");
    EXPECT_EQ(stored("switchbar"), "");
    EXPECT_EQ(bar_bg_has(kBarBgToolbar), 0);
    type("/background -sf junk.png");
    EXPECT_NE(shown().find("* /background: '" + (dir / "junk.png").string() + "' Dosyası Yüklenemedi"),
              std::string::npos)
        << shown();
}

TEST_F(BackgroundCommand, BarsTakeTheirPicturesFromTheirSwitches)
{
    picture("dot.png", 8, 8);
    picture("blue.png", 8, 8, qRgb(0, 0, 255));
    {
        std::ofstream junk(dir / "junk.png");
        junk << "not a picture at all";
    }
    struct Case {
        const char* letter;
        int bar;
        const char* key;
        QSize drawn;  // for a bar of 20 x 12
    };
    const Case cases[] = {
        {"l", kBarBgToolbar, "toolbar", QSize(20, 12)},
        {"u", kBarBgToolbuttons, "toolbuttons", QSize(8, 8)},  // its own size
        {"h", kBarBgSwitchbar, "switchbar", QSize(20, 12)},
        {"b", kBarBgTreebar, "treebar", QSize(20, 12)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        type(std::string("/background -") + c.letter + " dot.png");
        EXPECT_EQ(shown(), "");
        EXPECT_EQ(stored(c.key), "dot.png");
        EXPECT_EQ(bar_bg_file(c.bar), (dir / "dot.png").string());
        const QImage drawn = bar_bg_get(c.bar, 20, 12);
        ASSERT_EQ(drawn.size(), c.drawn);
        EXPECT_TRUE(red(drawn, c.drawn.width() - 1, c.drawn.height() - 1)) << "tiled to the corner";
        for (const Case& other : cases)
            if (&other > &c) {
                EXPECT_EQ(bar_bg_has(other.bar), 0) << other.key << " stays without a picture";
            }
        // A picture that cannot be loaded keeps the one shown.
        type(std::string("/background -") + c.letter + " junk.png");
        EXPECT_NE(shown().find("Dosyası Yüklenemedi"), std::string::npos) << shown();
        EXPECT_EQ(bar_bg_file(c.bar), (dir / "dot.png").string());
        EXPECT_EQ(stored(c.key), "dot.png");
    }
    // Another picture replaces the first, at a new size too.
    type("/background -l blue.png");
    EXPECT_EQ(bar_bg_get(kBarBgToolbar, 30, 5).pixel(29, 4), qRgb(0, 0, 255));
    EXPECT_EQ(bar_bg_get(kBarBgToolbar, 30, 5).size(), QSize(30, 5));
    EXPECT_EQ(bar_bg_get(kBarBgSwitchbar, 1, 1).pixel(0, 0), qRgb(255, 0, 0)) << "the switchbar keeps its own";
    // Read again at start: the stored keys give the pictures back.
    bar_bg_load_all();
    EXPECT_EQ(bar_bg_file(kBarBgToolbar), (dir / "blue.png").string());
    EXPECT_EQ(bar_bg_file(kBarBgTreebar), (dir / "dot.png").string());
    // Removed, twice over: the key goes, the bar draws nothing.
    for (int round = 0; round < 2; ++round) {
        type("/background -lx");
        EXPECT_EQ(shown(), "");
        EXPECT_EQ(stored("toolbar"), "");
        EXPECT_EQ(bar_bg_has(kBarBgToolbar), 0);
        EXPECT_TRUE(bar_bg_get(kBarBgToolbar, 20, 12).isNull());
    }
    EXPECT_EQ(bar_bg_has(kBarBgSwitchbar), 1) << "the other bars keep theirs";
    for (const char* letters : {"ux", "hx", "bx"})
        type(std::string("/background -") + letters);
    for (const Case& c : cases)
        EXPECT_EQ(bar_bg_has(c.bar), 0) << c.key;
}

TEST_F(BackgroundCommand, TransparentGifPixelsShowTheFillOfTheirPlace)
{
    using namespace picture_files;
    GifFrame frame = gif_solid(0, 0, 6, 6, 1);
    for (int x = 0; x < 6; ++x)
        frame.pixels[static_cast<std::size_t>(x)] = 0;  // the top row opaque red
    frame.transparent = 1;
    const std::string gif = (dir / "clear.gif").string();
    ASSERT_TRUE(write_gif(gif, 6, 6, {qRgb(255, 0, 0), qRgb(0, 255, 0)}, 0, {frame}));

    // A bar: the bar face colour.
    type("/background -h clear.gif");
    EXPECT_EQ(shown(), "");
    const QImage bar = bar_bg_get(kBarBgSwitchbar, 6, 6);
    ASSERT_EQ(bar.size(), QSize(6, 6));
    EXPECT_TRUE(red(bar, 3, 0));
    EXPECT_EQ(bar.pixel(3, 3), QApplication::palette().color(QPalette::Button).rgb());
    type("/background -hx");

    // A window: its Background colour, followed when that colour changes.
    type("/window @clear 0 0 300 200");
    WindowRecord* rec = window("@clear");
    ASSERT_TRUE(rec);
    type("/background -n @clear clear.gif");
    EXPECT_EQ(shown(), "");
    const int before = color_resolve(kColorBackground);
    for (int colour : {2, 3, 2}) {
        SCOPED_TRACE(colour);
        type("/color background " + std::to_string(colour));
        const QImage shot = painted(rec);
        EXPECT_TRUE(red(shot, 3, 0));
        EXPECT_EQ(shot.pixel(3, 3), colour_window_background(rec).rgb());
    }
    type("/color background " + std::to_string(before));
    EXPECT_EQ(color_resolve(kColorBackground), before);
}

TEST_F(BackgroundCommand, EnlargedPicturesKeepTheirPixelsSharp)
{
    // A 2 x 2 checkerboard filled over a window: only its own two colours.
    QImage board(2, 2, QImage::Format_RGB32);
    board.setPixel(0, 0, qRgb(255, 0, 0));
    board.setPixel(1, 1, qRgb(255, 0, 0));
    board.setPixel(1, 0, qRgb(0, 0, 255));
    board.setPixel(0, 1, qRgb(0, 0, 255));
    ASSERT_TRUE(board.save(QString::fromStdString((dir / "board.png").string()), "PNG"));
    type("/window @sharp 0 0 300 200");
    WindowRecord* rec = window("@sharp");
    ASSERT_TRUE(rec);
    for (const char* mode : {"f", "r"}) {
        SCOPED_TRACE(mode);
        type(std::string("/background -") + mode + " @sharp board.png");
        const QImage shot = painted(rec);
        int blended = 0;
        for (int y = 0; y < shot.height(); y += 3)
            for (int x = shot.width() / 2 - 20; x < shot.width() / 2 + 20; ++x) {
                const QRgb p = shot.pixel(x, y);
                if (p != qRgb(255, 0, 0) && p != qRgb(0, 0, 255) && p != colour_window_background(rec).rgb())
                    ++blended;
            }
        EXPECT_EQ(blended, 0);
    }
}

TEST_F(BackgroundCommand, TheAreaBehindTheWindowsTakesItsPicture)
{
    picture("dot.png", 8, 8);
    QMdiArea* mdi = window_test_mdi();
    ASSERT_TRUE(mdi);
    mdi->resize(500, 400);
    // The area as it paints with the windows out of the way.
    auto area_shot = [mdi] {
        const QList<QMdiSubWindow*> children = mdi->subWindowList();
        for (QMdiSubWindow* child : children)
            child->hide();
        const QImage shot = mdi->viewport()->grab().toImage();
        for (QMdiSubWindow* child : children)
            child->show();
        return shot;
    };
    type("/background -mt dot.png");
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(stored("@mdi"), "dot.png,4");
    EXPECT_EQ(bg_mdi_mode(), kBgTile);
    QImage shot = area_shot();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.pixel(shot.width() / 2, 5), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(shot.width() - 3, shot.height() - 3), qRgb(255, 0, 0));
    type("/background -mp");
    EXPECT_EQ(bg_mdi_mode(), kBgCentre) << "photo is not a mode of the area";
    EXPECT_EQ(stored("@mdi"), "dot.png,0");
    shot = area_shot();
    EXPECT_NE(shot.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(shot.width() / 2, shot.height() / 2), qRgb(255, 0, 0));
    for (int round = 0; round < 2; ++round) {
        type("/background -mx");
        EXPECT_EQ(stored("@mdi"), "");
        EXPECT_EQ(bg_mdi_file(), "");
        shot = area_shot();
        EXPECT_NE(shot.pixel(shot.width() / 2, shot.height() / 2), qRgb(255, 0, 0));
    }
}

TEST_F(BackgroundCommand, TheAreaTakesItsStoredPictureAtStart)
{
    picture("dot.png", 8, 8);
    struct Case {
        const char* value;
        int mode;
        bool picture;
    };
    const Case cases[] = {
        {"dot.png,3", kBgStretch, true},
        {"dot.png,5", kBgCentre, true},   // photo is read as centre
        {"dot.png,77", kBgCentre, true},  // out of range
        {"dot.png", kBgNormal, true},
        {"none", kBgNormal, false},
        {"missing.png,4", kBgTile, false},
        {"", kBgNormal, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ini_write("background", "@mdi", c.value, main_ini_path);
        bg_init_mdi();
        EXPECT_EQ(bg_mdi_mode(), c.mode);
        EXPECT_EQ(bg_mdi_file(), c.picture ? (dir / "dot.png").string() : std::string());
    }
}

// ---- The message window of /echo -d ----

TEST_F(WindowCommands, EchoToTheMessageWindowOpensItOnceMinimised)
{
    ASSERT_EQ(window("Message Window"), nullptr);
    type("/echo -d first");
    WindowRecord* msg = window("Message Window");
    ASSERT_TRUE(msg);
    EXPECT_EQ(msg->subtype, kQueryMessages);
    EXPECT_TRUE(win_is_minimised(msg->hwnd.get()));
    EXPECT_EQ(conn->message_window.data(), msg->hwnd.get());
    type("/echo -d second");
    int count = 0;
    for (WindowRecord* r = win_list; r; r = r->next)
        count += r->type == kWinQuery && r->subtype == kQueryMessages;
    EXPECT_EQ(count, 1);
    std::vector<std::string> texts;
    for (const StringNode* n = msg->lines; n; n = n->next)
        if (!n->text.empty())
            texts.push_back(n->text);
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(shown(), "") << "nothing goes to the status window";
}

// ---- The log file's save dialog ----

// Answers the next modal file dialog: notes its folder and proposed name,
// then chooses the name given (empty: cancels).
struct FileDialogAnswer {
    std::string folder;
    std::string proposed;
    bool seen = false;
};

void answer_file_dialog(FileDialogAnswer& out, const QString& choice)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, &out, choice] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            if (++*tries > 500)
                poll->deleteLater();
            return;
        }
        poll->stop();
        poll->deleteLater();
        out.seen = true;
        out.folder = dialog->directory().absolutePath().toStdString();
        const QStringList chosen = dialog->selectedFiles();
        out.proposed = chosen.isEmpty() ? std::string() : chosen.first().toStdString();
        if (choice.isEmpty()) {
            dialog->reject();
        } else {
            // Typed into the name box, as the user would.
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
                name->setText(choice);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    poll->start();
}

TEST_F(WindowCommands, LogFileIsAskedInASaveDialogOnTheLogFolder)
{
    type("/window @asked");
    WindowRecord* rec = window("@asked");
    ASSERT_TRUE(rec);
    type("/aline @asked kept line");
    std::string folder = log_folder();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();

    // Cancelled: no logging and no file.
    FileDialogAnswer cancelled;
    answer_file_dialog(cancelled, QString());
    EXPECT_EQ(log_set_window_mode(rec, 0, 1, 1, "", 1, 0), 0);
    ASSERT_TRUE(cancelled.seen);
    EXPECT_EQ(cancelled.folder, folder);
    EXPECT_EQ(fs::path(cancelled.proposed).filename().string().rfind("@asked", 0), 0u) << cancelled.proposed;
    EXPECT_FALSE(rec->logging);
    auto made = [this] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir / "logs"))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(made(), std::vector<std::string>{"status.log"}) << "the status window logs anyway";

    // Chosen: the window logs there, its lines first.
    FileDialogAnswer chosen;
    answer_file_dialog(chosen, QStringLiteral("picked.log"));
    EXPECT_EQ(log_set_window_mode(rec, 0, 1, 1, "", 1, 0), 1);
    ASSERT_TRUE(chosen.seen);
    EXPECT_TRUE(rec->logging);
    EXPECT_EQ(made(), (std::vector<std::string>{"picked.log", "status.log"}));
    log_flush_all();  // what the one-second tick writes
    EXPECT_NE(read_text(dir / "logs" / "picked.log").find("kept line"), std::string::npos)
        << rec->log_path << "\n" << read_text(dir / "logs" / "picked.log");
    type("/log off @asked");
}

} // namespace
