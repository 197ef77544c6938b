// The line buffer and the output path: print_line, echo_line,
// print_separator, line_append, line_new and trimming.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/startup.h"
#include "app/mdi_arrange.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/encodings.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "bars/tips.h"
#include "commands/window_commands.h"
#include "display/flashing.h"
#include "display/line_marker.h"
#include "display/logging.h"
#include "display/text_area.h"
#include "display/wrap.h"
#include "platform/platform_utils.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"

// ---- Shared set-up of the display line tests (also test_draw.cpp and
// test_wrap.cpp) ----

// Ten pixels a character (twelve in bold); combining marks take none.
class LinesFixedMeasurer : public TextMeasurer {
public:
    int run_width(std::string_view run, int utf8, int weight, int) override
    {
        int chars = 0;
        for (std::size_t i = 0; i < run.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(run[i]);
            if (utf8 && (c & 0xC0) == 0x80)
                continue;
            if (utf8 && c >= 0x80 && utf8_char_in_set(run.substr(i)))
                continue;
            ++chars;
        }
        return chars * (weight == 700 ? 12 : 10);
    }
    int line_height() override { return 16; }
    int base_weight() override { return 400; }
};

TextMeasurer* lines_test_measurer()
{
    static LinesFixedMeasurer m;
    return &m;
}

int lines_test_beeps = 0;

struct LoggedLine {
    WindowRecord* rec;
    std::string text;
    int no_stamp;
    std::uint32_t colour;
};
std::vector<LoggedLine> lines_test_log;

namespace {

QPointer<QMainWindow> lines_frame;

// A listener of the printed lines for one test, removed when it goes.
struct PrintListener {
    PrintListener(int priority, std::function<void(const LinePrinted&)> fn)
        : id(line_printed.add(priority, std::move(fn)))
    {
    }
    ~PrintListener() { line_printed.remove(id); }
    PrintListener(const PrintListener&) = delete;
    PrintListener& operator=(const PrintListener&) = delete;
    int id;
};

void ensure_frame()
{
    test_frame_mdi(lines_frame);
}

// What the window's log is given for a printed line: the first part of a
// line of a logging window, the separator without the log stamp in Normal
// text; nothing with no_log.
void log_recorder(const LinePrinted& line)
{
    if (line.event != kPrintStored || !line.first_part || !line.rec->logging || print_options.no_log)
        return;
    if (line.separator)
        lines_test_log.push_back({line.rec, std::string(line.text), 1, kColorNormalText});
    else
        lines_test_log.push_back({line.rec, std::string(line.text), 0, line.colour});
}

int log_recorder_id = 0;

}  // namespace

void lines_test_pump()
{
    test_drain_events();
}

void lines_test_reset()
{
    ensure_frame();
    static std::string dir = [] {
        char tmpl[] = "/tmp/kest_lines_testXXXXXX";
        const char* made = mkdtemp(tmpl);
        return std::string(made ? made : "/tmp") + "/";
    }();
    settings_dir = dir;
    main_ini_path = dir + "kest.ini";
    std::remove(main_ini_path.c_str());
    app_exit_mode = 0;
    win_hooks = WinHooks();
    child_hooks = ChildHooks();
    open_hooks = OpenHooks();
    print_hooks = PrintHooks();
    // The lines reach no log, marker, flashing, tip or URL catcher here.
    logging_uninstall();
    marker_uninstall();
    flash_uninstall();
    tip_highlight_uninstall();
    url_catcher_uninstall();
    options_reset();
    option_set_value(1, 17, 0);  // queries open normally
    beep_play_hook = [](int) { ++lines_test_beeps; };
    lines_test_beeps = 0;
    for (Connection* c = conn_list; c; c = c->next)
        c->socket = -1;
    win_close_all();
    conn_free_all();
    while (win_list)
        win_record_free(win_list);
    win_active = nullptr;
    lines_test_pump();
    app_wire_windows();
    app_wire_text_area();
    line_printed.add_once(log_recorder_id, kPrintedLog, log_recorder);
    lines_test_log.clear();
    main_settings.line_separator = "-";
    time_stamp_format = "[HH:nn]";
    print_options_clear();
    wrap_measurer_override = lines_test_measurer();
    // The colours of the default scheme.
    color_items_init();
    for (ColorItem& item : color_items)
        item.current = item.default_index;
    color_palette_current = color_palette_default;
}

Connection* lines_test_conn()
{
    Connection* conn = conn_new_with_status(conn_list);
    lines_test_pump();
    return conn;
}

WindowRecord* lines_test_open(const std::string& name, int type, int subtype, Connection* conn)
{
    WindowOpenRequest request;
    request.name = name;
    request.type = type;
    request.subtype = subtype;
    request.conn = conn;
    QWidget* hwnd = win_open(request);
    lines_test_pump();
    return win_record_of(hwnd);
}

WindowRecord* lines_test_status(Connection* conn)
{
    return win_record_of(conn ? conn->status_window.data() : nullptr);
}

// Empties a window's buffer.
void lines_test_clear(WindowRecord* rec)
{
    strlist_free(&rec->lines);
    rec->line_count = 0;
    rec->marker_line = nullptr;
    win_recalc_scroll(rec, 1);
}

std::vector<std::string> lines_texts(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec->lines; n; n = n->next)
        out.push_back(n->text);
    return out;
}

namespace {

class LineBufferTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        lines_test_reset();
        conn = lines_test_conn();
        ASSERT_NE(conn, nullptr);
        status = lines_test_status(conn);
        ASSERT_NE(status, nullptr);
        lines_test_clear(status);
    }
    void TearDown() override
    {
        wrap_measurer_override = nullptr;
        lines_test_reset();
        wrap_measurer_override = nullptr;
    }

    WindowRecord* open(const std::string& name, int type, int subtype = 0)
    {
        WindowRecord* rec = lines_test_open(name, type, subtype, conn);
        if (rec)
            lines_test_clear(rec);
        return rec;
    }

    static void print(WindowRecord* rec, const std::string& text,
                      std::uint32_t colour = kColorNormalText)
    {
        print_line(rec->hwnd.get(), text, colour);
    }

    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
};

bool options_at_rest()
{
    const PrintOptions& o = print_options;
    return o.wrap_mode == 0 && o.indent == 0 && o.beep == 0 && o.highlight_test == 0 &&
           o.timestamp == 0 && o.flash == 0 && o.no_log == 0 && o.message == 0 &&
           o.sender_nick.empty() && o.raise_activity == 1;
}

void set_all_options()
{
    print_options.wrap_mode = 7;
    print_options.indent = 3;
    print_options.beep = 1;
    print_options.highlight_test = 1;
    print_options.timestamp = 1;
    print_options.flash = 1;
    print_options.no_log = 1;
    print_options.message = 1;
    print_options.sender_nick = "nick";
    print_options.raise_activity = 0;
}

// ---- Options ----

TEST_F(LineBufferTest, OptionsAreClearedAfterEveryPrintWhetherItPrintedOrNot)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    struct Case {
        const char* what;
        std::function<QWidget*()> window;
        std::string text;
        bool prints;
    };
    const Case cases[] = {
        {"a line that prints", [&] { return chan->hwnd.get(); }, "hello", true},
        {"an empty text", [&] { return chan->hwnd.get(); }, "", false},
        {"no window", [] { return static_cast<QWidget*>(nullptr); }, "hello", false},
        {"a widget that is no window", [] { return static_cast<QWidget*>(lines_frame.data()); },
         "hello", false},
        {"a dead connection",
         [&] {
             chan->conn = reinterpret_cast<Connection*>(0x1);
             return chan->hwnd.get();
         },
         "hello", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        lines_test_clear(chan);
        chan->conn = conn;
        QWidget* w = c.window();
        set_all_options();
        print_line(w, c.text, kColorNormalText);
        chan->conn = conn;
        EXPECT_TRUE(options_at_rest());
        EXPECT_EQ(chan->lines != nullptr, c.prints);
    }
}

TEST_F(LineBufferTest, NestedPrintIsDroppedAndLeavesTheOuterOptions)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    chan->logging = 1;
    static QWidget* target;
    static int wrap_seen;
    target = chan->hwnd.get();
    wrap_seen = -1;
    PrintListener nesting(kPrintedLog, [](const LinePrinted& line) {
        if (line.event != kPrintStored)
            return;
        print_line(target, "nested", kColorNormalText);
        wrap_seen = print_options.wrap_mode;
    });
    print_options.wrap_mode = 200;
    print(chan, "outer");
    EXPECT_EQ(wrap_seen, 200);
    EXPECT_EQ(lines_texts(chan), std::vector<std::string>{"outer"});
    EXPECT_TRUE(options_at_rest());
}

// ---- Cutting into parts ----

TEST_F(LineBufferTest, LongTextIsCutBeforeAnythingElseAndLoggedCut)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    chan->logging = 1;
    std::string text(5000, 'x');
    print_options.wrap_mode = 5000;
    print_line(chan->hwnd.get(), text, kColorNormalText);
    EXPECT_EQ(text.size(), 4150u);  // the caller's buffer too
    ASSERT_NE(chan->lines, nullptr);
    EXPECT_EQ(chan->lines->text.size(), 4150u);
    ASSERT_EQ(lines_test_log.size(), 1u);
    EXPECT_EQ(lines_test_log[0].text.size(), 4150u);
    EXPECT_EQ(lines_test_log[0].no_stamp, 0);
}

TEST_F(LineBufferTest, WrapModeGivesPartsOfOneSerialOrOfTheirOwn)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    struct Case {
        int wrap_mode;
        std::string text;
        std::vector<std::size_t> sizes;
        bool one_serial;
    };
    const Case cases[] = {
        {20, std::string(50, 'a'), {19, 19, 12}, true},
        {20, "aaaa bbbb cccc dddd eeee ffff", {20, 9}, true},
        {-1, std::string(300, 'b'), {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wrap_mode);
        lines_test_clear(chan);
        print_options.wrap_mode = c.wrap_mode;
        print(chan, c.text);
        std::vector<std::size_t> sizes;
        std::vector<int> serials;
        for (const StringNode* n = chan->lines; n; n = n->next) {
            sizes.push_back(n->text.size());
            serials.push_back(n->serial);
            EXPECT_EQ(n->wrapMode, c.wrap_mode < 0 ? 0 : c.wrap_mode);
        }
        if (!c.sizes.empty()) {
            EXPECT_EQ(sizes, c.sizes);
        }
        ASSERT_GE(serials.size(), 2u);
        for (std::size_t i = 1; i < serials.size(); ++i) {
            if (c.one_serial) {
                EXPECT_EQ(serials[i], serials[0]);
            } else {
                EXPECT_NE(serials[i], serials[i - 1]);
            }
        }
        std::string joined;
        line_join_wrapped(chan->lines, &joined);
        if (c.one_serial) {
            EXPECT_EQ(joined, c.text);
        }
    }
}

TEST_F(LineBufferTest, ContinuationIndentIsCappedAndShrinksWhenNothingFits)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);

    // Words of four letters: a blank near every cut.
    std::string words;
    for (int i = 0; i < 600; ++i)
        words += "abc ";
    print_options.wrap_mode = 1100;
    print_options.indent = 2000;
    print(chan, words);
    ASSERT_NE(chan->lines, nullptr);
    ASSERT_NE(chan->lines->next, nullptr);
    const StringNode* second = chan->lines->next;
    EXPECT_EQ(second->text.find_first_not_of(' '), 1024u);
    EXPECT_EQ(second->indent, 1024);

    // No blanks: not one letter fits after a long indent, so it shrinks to
    // the widest that leaves a letter.
    lines_test_clear(chan);
    print_options.wrap_mode = 10;
    print_options.indent = 2000;
    print(chan, std::string(30, 'z'));
    ASSERT_NE(chan->lines, nullptr);
    EXPECT_EQ(chan->lines->text, std::string(9, 'z'));
    // One letter a part; the last two fit whole.
    int parts = 0;
    for (const StringNode* n = chan->lines->next; n; n = n->next, ++parts) {
        EXPECT_EQ(n->text, std::string(8, ' ') + (n->next ? "z" : "zz"));
        EXPECT_EQ(n->indent, 8);
    }
    EXPECT_EQ(parts, 20);
    std::string joined;
    line_join_wrapped(chan->lines, &joined);
    EXPECT_EQ(joined, std::string(30, 'z'));
}

// ---- Timestamps ----

TEST_F(LineBufferTest, TimestampByTheOptionAndTheWindowSetting)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    struct Case {
        int option;
        int window;
        int events;
        bool stamped;
    };
    const Case cases[] = {
        {1, 1, 0, true}, {1, 2, 1, true}, {1, 2, 0, false},
        {1, 0, 1, false}, {0, 1, 1, false},
    };
    const std::regex stamp(R"(^\[\d\d:\d\d\] line$)");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.option) + "/" + std::to_string(c.window) + "/" +
                     std::to_string(c.events));
        lines_test_clear(chan);
        chan->timestamp = c.window;
        opt_set(OPT_TIMESTAMP_EVENTS, c.events);
        print_options.timestamp = c.option;
        print(chan, "line");
        ASSERT_NE(chan->lines, nullptr);
        if (c.stamped) {
            EXPECT_TRUE(std::regex_match(chan->lines->text, stamp)) << chan->lines->text;
            EXPECT_EQ(line_prefix(chan->lines), 8);
        } else {
            EXPECT_EQ(chan->lines->text, "line");
            EXPECT_EQ(line_prefix(chan->lines), 0);
        }
    }
}

TEST_F(LineBufferTest, TheLogGetsTheLineWithoutItsTimestamp)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    chan->logging = 1;
    chan->timestamp = 1;
    print_options.timestamp = 1;
    print_options.wrap_mode = 12;
    print(chan, "one two three four five", 4);
    ASSERT_GE(strlist_count(chan->lines), 2);
    ASSERT_EQ(lines_test_log.size(), 1u);
    EXPECT_EQ(lines_test_log[0].text, "one two three four five");
    EXPECT_EQ(lines_test_log[0].colour, 4u);
}

// ---- Trimming ----

TEST_F(LineBufferTest, TrimmingRemovesWholePrintedLinesAtTheLimit)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    opt_set(OPT_BUFFER_LINES, 100);  // below the least: counts as 500
    for (int i = 0; i < 400; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "L%04d-xxxxxxxxxxxxxxxxxxxxxxxx", i);
        print_options.wrap_mode = 20;
        print(chan, text);
    }
    EXPECT_EQ(opt(OPT_BUFFER_LINES), 500);
    EXPECT_LE(chan->line_count, 500);
    EXPECT_GT(chan->line_count, 490);
    EXPECT_EQ(chan->line_count, strlist_count(chan->lines));
    // The oldest line left is a first part, and every printed line kept has
    // both of its parts.
    ASSERT_NE(chan->lines, nullptr);
    EXPECT_EQ(chan->lines->text[0], 'L');
    EXPECT_EQ(chan->line_count % 2, 0);
    EXPECT_EQ(chan->lines->prev->prev->text.substr(0, 5), "L0399");
}

TEST_F(LineBufferTest, TrimmingKeepsAMarkerLineAtTheTopAndMovesAMarkerOnALine)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    opt_set(OPT_BUFFER_LINES, 500);
    for (int i = 0; i < 500; ++i)
        print(chan, "line " + std::to_string(i));
    ASSERT_EQ(chan->line_count, 500);

    // A marker line put first.
    StringNode* marker = strlist_prepend(chan->lines, std::string_view(), 0, kColorBackground);
    marker->serial = 9999;
    line_set_prefix(marker, 2);
    chan->lines = marker;
    chan->line_count += 1;
    chan->marker_line = marker;
    print(chan, "newest");
    EXPECT_EQ(chan->lines, marker);
    EXPECT_EQ(chan->marker_line, marker);
    EXPECT_EQ(chan->line_count, 500);
    EXPECT_EQ(chan->lines->next->text, "line 2");

    // A marker that points at an ordinary first line moves to the new first.
    chan->lines = strlist_remove(chan->lines, marker);
    chan->line_count -= 1;
    chan->marker_line = chan->lines;
    print(chan, "newer");
    print(chan, "newest again");
    EXPECT_EQ(chan->marker_line, chan->lines);
    EXPECT_EQ(chan->lines->text, "line 3");
}

TEST_F(LineBufferTest, ScrolledBackTheViewStaysAndTheBufferIsTrimmedOnlyPastTwiceTheLimit)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    opt_set(OPT_BUFFER_LINES, 500);
    for (int i = 0; i < 500; ++i)
        print(chan, "line " + std::to_string(i));
    ASSERT_EQ(chan->scroll_pos, chan->scroll_end);
    win_on_vscroll(chan, kScrollLineUp, 0, 0);
    win_on_vscroll(chan, kScrollLineUp, 0, 0);
    ASSERT_EQ(chan->scroll_end - chan->scroll_pos, 2);
    const std::string in_view = line_from_end(chan, 2)->text;
    EXPECT_EQ(in_view, "line 497");

    // Not trimmed, the view stays on its line, the buffer beep sounds.
    opt_set(OPT_BEEP_BUFFER, 1);
    for (int i = 0; i < 300; ++i)
        print(chan, "more " + std::to_string(i));
    EXPECT_EQ(chan->line_count, 800);
    EXPECT_EQ(line_from_end(chan, chan->scroll_end - chan->scroll_pos)->text, in_view);
    EXPECT_EQ(lines_test_beeps, 300);

    // Past twice the limit it is trimmed all the same, keeping the view.
    win_on_vscroll(chan, kScrollBottom, 0, 0);
    win_on_vscroll(chan, kScrollLineUp, 0, 0);
    win_on_vscroll(chan, kScrollLineUp, 0, 0);
    const std::string newer_view = line_from_end(chan, 2)->text;
    EXPECT_EQ(newer_view, "more 297");
    for (int i = 0; i < 200; ++i)
        print(chan, "flood " + std::to_string(i));
    EXPECT_EQ(chan->line_count, 1000);
    print(chan, "flood 200");
    EXPECT_EQ(chan->line_count, 500);
    EXPECT_NE(chan->scroll_pos, chan->scroll_end);
    EXPECT_EQ(line_from_end(chan, chan->scroll_end - chan->scroll_pos)->text, newer_view);

    // Back at the end, the next line trims as usual.
    win_on_vscroll(chan, kScrollBottom, 0, 0);
    print(chan, "back");
    EXPECT_EQ(chan->scroll_pos, chan->scroll_end);
    EXPECT_EQ(chan->lines->prev->text, "back");
    EXPECT_LE(chan->line_count, 500);
}

// ---- Separators and echo ----

TEST_F(LineBufferTest, EchoInAStatusWindowIsFramedWithoutDoubleSeparators)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> status_lines;
    };
    const Step steps[] = {
        {"no separator into an empty buffer", [&] { echo_line(status->hwnd.get(), "one", 2); },
         {"one", "-"}},
        {"the leading separator is not doubled", [&] { echo_line(status->hwnd.get(), "two", 2); },
         {"one", "-", "two", "-"}},
        {"a printed separator text after a separator is dropped",
         [&] { print_line(status->hwnd.get(), std::string("-"), 2); },
         {"one", "-", "two", "-"}},
        {"print_separator after a separator adds nothing",
         [&] { print_separator(status->hwnd.get(), kColorInfoText); },
         {"one", "-", "two", "-"}},
        {"a plain print", [&] { print_line(status->hwnd.get(), std::string("three"), 2); },
         {"one", "-", "two", "-", "three"}},
        {"a channel's echo has no separators", [&] { echo_line(chan->hwnd.get(), "c", 2); },
         {"one", "-", "two", "-", "three"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(lines_texts(status), s.status_lines);
    }
    EXPECT_EQ(lines_texts(chan), std::vector<std::string>{"c"});
    for (const StringNode* n = status->lines; n; n = n->next) {
        if (n->text == "-") {
            EXPECT_EQ(line_colour(n), kColorInfoText);
        }
    }
    EXPECT_EQ(echo_line(nullptr, "x", 2), 0);
}

TEST_F(LineBufferTest, SeparatorSettingNoneOrSpace)
{
    struct Case {
        const char* setting;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {"a", "b"}},
        {" ", {"a", " ", "b", " "}},
        {"==", {"a", "==", "b", "=="}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        lines_test_clear(status);
        main_settings.line_separator = c.setting;
        echo_line(status->hwnd.get(), "a", 2);
        echo_line(status->hwnd.get(), "b", 2);
        EXPECT_EQ(lines_texts(status), c.lines);
    }
}

TEST_F(LineBufferTest, EchoKeepsTheCallersNoLogForTheLineAndItsSeparators)
{
    status->logging = 1;
    echo_line(status->hwnd.get(), "first", 2);
    echo_line(status->hwnd.get(), "logged", 2);
    ASSERT_EQ(lines_test_log.size(), 4u);
    EXPECT_EQ(lines_test_log[1].text, "-");
    EXPECT_EQ(lines_test_log[1].no_stamp, 1);
    EXPECT_EQ(lines_test_log[1].colour, kColorNormalText);
    EXPECT_EQ(lines_test_log[2].text, "logged");

    lines_test_log.clear();
    print_options.no_log = 1;
    echo_line(status->hwnd.get(), "private", 2);
    EXPECT_TRUE(lines_test_log.empty());
    EXPECT_EQ(lines_texts(status).back(), "-");
    EXPECT_TRUE(options_at_rest());
}

// ---- Redirection ----

TEST_F(LineBufferTest, WindowsWithoutTextOfTheirOwnPrintIntoTheStatusWindow)
{
    WindowRecord* send = open("Send nick file.txt", kWinTransfer, 1);
    ASSERT_NE(send, nullptr);
    print(send, "transfer line");
    EXPECT_EQ(lines_texts(status), std::vector<std::string>{"transfer line"});
    EXPECT_EQ(send->lines, nullptr);
}

// ---- Activity, beeps, flashes ----

TEST_F(LineBufferTest, ActivityIsRaisedOnlyForWindowsNotInView)
{
    WindowRecord* chan = open("#a", kWinChannel);
    WindowRecord* other = open("#other", kWinChannel);
    ASSERT_NE(chan, nullptr);
    ASSERT_NE(other, nullptr);
    opt_set(OPT_HIGHLIGHT_ENABLED, 1);
    opt_set(OPT_HIGHLIGHT_UNSEEN, 1);
    print_hooks.highlight_match = [](WindowRecord*, const std::string& text, int,
                                     const std::string&, HighlightMatch*) {
        return text.find("HL") != std::string::npos ? 1 : 0;
    };
    enum Kind { kText, kMessage, kHighlight };
    struct Case {
        int start;
        Kind kind;
        int in_view;
        int raise;
        int expected;
    };
    const Case cases[] = {
        {0, kText, 0, 1, 3},      {0, kText, 1, 1, 0},      {0, kMessage, 0, 1, 1},
        {3, kText, 0, 1, 3},      {3, kMessage, 0, 1, 1},   {3, kHighlight, 0, 1, 2},
        {1, kText, 0, 1, 1},      {1, kMessage, 0, 1, 1},   {1, kHighlight, 0, 1, 2},
        {2, kText, 0, 1, 2},      {2, kMessage, 0, 1, 2},   {0, kHighlight, 1, 1, 0},
        {0, kMessage, 0, 0, 0},   {3, kHighlight, 0, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " kind " + std::to_string(c.kind) + " view " +
                     std::to_string(c.in_view) + " raise " + std::to_string(c.raise));
        // In view: the window in front; out of view: another window over it.
        win_activate((c.in_view ? chan : other)->hwnd.get(), kActivateForeground);
        lines_test_pump();
        ASSERT_EQ(win_needs_highlight(chan->hwnd.get()), c.in_view ? 0 : 1);
        chan->activity = c.start;
        print_options.raise_activity = c.raise;
        print_options.message = c.kind == kMessage ? 1 : 0;
        print_options.highlight_test = 1;
        print(chan, c.kind == kHighlight ? "an HL line" : "a line");
        EXPECT_EQ(chan->activity, c.expected);
    }
}

TEST_F(LineBufferTest, BeepByTheWindowSettingOnlyWhenNotInView)
{
    WindowRecord* chan = open("#a", kWinChannel);
    WindowRecord* fserve = open("Fserve nick", kWinQuery, kQueryFserve);
    ASSERT_NE(chan, nullptr);
    ASSERT_NE(fserve, nullptr);
    WindowRecord* other = open("#other", kWinChannel);
    ASSERT_NE(other, nullptr);
    struct Case {
        const char* what;
        WindowRecord* rec;
        int beep_option;
        int window_setting;
        int channel_default;
        int seen;
        int beeps;
    };
    const Case cases[] = {
        {"on, not in view", chan, 1, 1, 0, 0, 1},
        {"on, in view", chan, 1, 1, 0, 1, 0},
        {"off", chan, 1, 0, 1, 0, 0},
        {"default follows the channel option", chan, 1, 2, 1, 0, 1},
        {"default, option off", chan, 1, 2, 0, 0, 0},
        {"not asked", chan, 0, 1, 1, 0, 0},
        {"file-server chats never beep", fserve, 1, 1, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        lines_test_beeps = 0;
        c.rec->beep = c.window_setting;
        opt_set(OPT_BEEP_CHANNEL_MESSAGES, c.channel_default);
        // In view: the window in front; out of view: another window over it.
        win_activate((c.seen ? c.rec : other)->hwnd.get(), kActivateForeground);
        lines_test_pump();
        ASSERT_EQ(win_is_in_view(c.rec->hwnd.get()), c.seen);
        print_options.beep = c.beep_option;
        print(c.rec, "a line");
        EXPECT_EQ(lines_test_beeps, c.beeps);
    }
}

TEST_F(LineBufferTest, HighlightReactionColoursTheLineAndStopsTheBeep)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    opt_set(OPT_HIGHLIGHT_ENABLED, 1);
    chan->beep = 1;
    WindowRecord* other = open("#other", kWinChannel);
    ASSERT_NE(other, nullptr);
    win_activate(other->hwnd.get(), kActivateForeground);
    lines_test_pump();
    ASSERT_EQ(win_is_in_view(chan->hwnd.get()), 0);
    static std::string tested, nick;
    static int mode, flashes, tips;
    flashes = tips = 0;
    print_hooks.highlight_match = [](WindowRecord*, const std::string& text, int m,
                                     const std::string& sender, HighlightMatch* out) {
        tested = text;
        mode = m;
        nick = sender;
        print_options.wrap_mode = 99;  // the test may disturb the options
        out->colour = 5;
        out->flash = 1;
        out->tip = 1;
        out->text = "entry";
        return 1;
    };
    PrintListener highlighted(kPrintedFlash, [](const LinePrinted& line) {
        if (line.event != kPrintHighlighted || !line.match || line.match->text != "entry")
            return;
        if (line.match->flash)
            ++flashes;
        if (line.match->tip && line.text == "<bob> hi kest")
            ++tips;
    });
    print_options.highlight_test = 2;
    print_options.sender_nick = "bob";
    print_options.beep = 1;
    print(chan, "<bob> hi kest", kColorNormalText);
    EXPECT_EQ(tested, "<bob> hi kest");
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(nick, "bob");
    ASSERT_NE(chan->lines, nullptr);
    EXPECT_EQ(line_colour(chan->lines), 4u);
    EXPECT_EQ(chan->lines->wrapMode, 0);
    EXPECT_EQ(flashes, 1);
    EXPECT_EQ(tips, 1);
    EXPECT_EQ(lines_test_beeps, 0);

    // Highlighting switched off: no test at all.
    tested.clear();
    opt_set(OPT_HIGHLIGHT_ENABLED, 0);
    print_options.highlight_test = 1;
    print(chan, "again");
    EXPECT_TRUE(tested.empty());
}

TEST_F(LineBufferTest, AUserMessageInAQueryStartsItsCloseGuard)
{
    WindowRecord* query = open("bob", kWinQuery, kQueryPrivate);
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(query, nullptr);
    ASSERT_NE(chan, nullptr);
    struct Case {
        WindowRecord* rec;
        int message;
        int guard;
    };
    const Case cases[] = {{query, 1, 1000}, {query, 3, 0}, {query, 0, 0}, {chan, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rec->name + " " + std::to_string(c.message));
        c.rec->print_countdown = 0;
        print_options.message = c.message;
        print(c.rec, "hi");
        EXPECT_EQ(c.rec->print_countdown, c.guard);
    }
}

// ---- line_new ----

TEST_F(LineBufferTest, LineNewAddsLinesOfTheirOwnSortedOrAtTheEnd)
{
    WindowRecord* chan = open("#a", kWinChannel);
    ASSERT_NE(chan, nullptr);
    EXPECT_EQ(line_new(chan, nullptr, 0, 1, 0, 0, 0), nullptr);
    const char* words[] = {"delta", "Bravo", "alpha", "bravo", "Charlie", "bravo"};
    for (const char* w : words)
        line_new(chan, w, 1, kColorNormalText, 0, 0, 0);
    EXPECT_EQ(lines_texts(chan),
              (std::vector<std::string>{"alpha", "Bravo", "bravo", "bravo", "Charlie", "delta"}));
    EXPECT_EQ(chan->line_count, 6);
    // Equal lines keep their order: the second "bravo" came last.
    std::vector<int> serials;
    for (StringNode* n = chan->lines; n; n = n->next)
        serials.push_back(n->serial);
    EXPECT_LT(serials[2], serials[3]);
    for (std::size_t i = 0; i < serials.size(); ++i)
        for (std::size_t j = i + 1; j < serials.size(); ++j)
            EXPECT_NE(serials[i], serials[j]);

    // Unsorted at the end; uncut or to be cut by the next re-wrap.
    StringNode* head = line_new(chan, "last", 0, 3, 0, 4, 0);
    EXPECT_EQ(head, chan->lines);
    StringNode* last = chan->lines->prev;
    EXPECT_EQ(last->text, "last");
    EXPECT_EQ(last->wrapMode, 4150);
    EXPECT_EQ(last->wrapWidth, wrap_area_width(chan));
    EXPECT_EQ(last->indent, 4);
    EXPECT_EQ(line_colour(last), 3u);
    line_new(chan, "cut later", 0, 3, 1, 0, 0);
    EXPECT_EQ(chan->lines->prev->wrapMode, 0);
    EXPECT_EQ(chan->lines->prev->wrapWidth, 0);
    EXPECT_EQ(chan->line_count, 8);
}

TEST_F(LineBufferTest, SerialsRunFromOneToNineThousandAndWrap)
{
    line_serial = 8999;
    EXPECT_EQ(line_serial_advance(), 9000);
    EXPECT_EQ(line_serial_advance(), 1);
    EXPECT_EQ(line_serial_advance(), 2);
    line_serial = 0;
    EXPECT_EQ(line_serial_advance(), 1);
}

}  // namespace
