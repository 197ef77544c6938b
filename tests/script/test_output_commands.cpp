// /echo, /linesep, /beep, /flash, /ebeeps, /events, /strip and /timestamp,
// checked through the printer's collector and the settings they change.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/frame_proc.h"
#include "model/window_record.h"
#include "commands/output_commands.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"

namespace {

int beeps = 0;
void count_beep(int)
{
    ++beeps;
}

QWidget* chat_window = nullptr;
QWidget* find_chat(const std::string& nick, CommandCall&)
{
    return nick == "bob" ? chat_window : nullptr;
}

class OutputTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    Connection* conn = nullptr;
    std::map<std::string, WindowRecord*> win;  // by a short tag
    std::optional<TempSettingsDir> temp;  // the settings folder of the test
    int saved_strip = 0;

    void SetUp() override
    {
        test_app();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        make("status", "Status Window", kWinStatus, 0);
        make("chan", "#chan", kWinChannel, 0);
        make("query", "nick", kWinQuery, kQueryPrivate);
        make("msgs", "Message Window", kWinQuery, kQueryMessages);
        make("chat", "=bob", kWinQuery, kQueryDccChat);
        make("custom", "@win", kWinCustom, 0);
        make("pic", "@pic", kWinCustom, 0)->picture = 1;
        make("list", "@list", kWinCustom, 1);
        make("chanlist", "Channels List", kWinChanList, 0);
        chat_window = win["chat"]->hwnd.get();
        win_active = nullptr;
        output_hooks = OutputHooks();
        output_hooks.dcc_chat_window = find_chat;
        output_lines_clear();
        output_flash_requests_clear();
        script_error_clear();
        beeps = 0;
        beep_play_hook = count_beep;
        saved_strip = strip_setting_flags;

        temp.emplace("kest_output_");
        ASSERT_TRUE(temp->made());
    }

    void TearDown() override
    {
        frame_timer_stop(FRAME_TIMER_BEEP);
        frame_set_timer_handler(FRAME_TIMER_BEEP, nullptr);
        output_beep_remaining = 0;
        for (auto& [tag, rec] : win) {
            QWidget* w = rec->hwnd.get();
            win_record_free(rec);
            delete w;
        }
        win.clear();
        win_active = nullptr;
        conn_free(conn);
        output_hooks = OutputHooks();
        strip_setting_flags = saved_strip;
        temp.reset();
    }

    WindowRecord* make(const std::string& tag, const std::string& name, int type, int subtype)
    {
        WindowRecord* rec = win_record_new(1);
        rec->name = name;
        rec->type = type;
        rec->subtype = subtype;
        rec->conn = conn;
        rec->hwnd = new QWidget;
        win[tag] = rec;
        return rec;
    }

    QWidget* w(const std::string& tag) { return win.at(tag)->hwnd.get(); }

    std::string tag_of(QWidget* window)
    {
        for (auto& [tag, rec] : win)
            if (rec->hwnd.get() == window)
                return tag;
        return window ? "?" : "none";
    }

    // Runs a handler on the line cut at single blanks, in the window tagged
    // "current".
    int call(int (*handler)(CommandCall&), const std::string& line, int show = 1,
             const std::string& current = "chan")
    {
        CommandCall c;
        c.conn = conn;
        c.show = show;
        c.window = current.empty() ? nullptr : w(current);
        c.line = line;
        std::size_t start = 0;
        for (;;) {
            std::size_t blank = line.find(' ', start);
            c.tokens.push_back(line.substr(start, blank == std::string::npos ? std::string::npos
                                                                              : blank - start));
            if (blank == std::string::npos)
                break;
            start = blank + 1;
        }
        return handler(c);
    }

    // The collected lines as "tag|kind|colour|text".
    std::vector<std::string> lines()
    {
        std::vector<std::string> out;
        for (const OutputLine& l : output_lines()) {
            std::string colour;
            if (l.colour >= kColourItemBase)
                colour = colour_item_name(l.colour - kColourItemBase);
            else
                colour = std::to_string(l.colour);
            const char* kind = l.kind == kOutputPrint ? "print" : l.kind == kOutputEcho ? "echo" : "sep";
            out.push_back(tag_of(l.window) + "|" + kind + "|" + colour + "|" + l.text);
        }
        return out;
    }

    std::string ini_value(const std::string& key)
    {
        std::string out;
        ini_read("timestamp", key.c_str(), "<absent>", out, kShortTextSize, std::string());
        return out;
    }
};

// ---- /echo ----

TEST_F(OutputTest, EchoTargetsColoursAndErrors)
{
    struct Case {
        const char* name;
        const char* line;
        int show;
        const char* active;  // tag of the active window, "" for none
        int result;
        std::vector<std::string> printed;
        const char* error;
    };
    const Case cases[] = {
        {"nothing", "echo", 1, "", 1, {}, ""},
        {"a number alone", "echo 4", 1, "", 0, {}, "* /echo: Yetersiz veya eksik parametre"},
        {"plain text in the current window", "echo hello world", 1, "", 1,
         {"chan|print|Normal text|hello world"}, ""},
        {"a colour number", "echo 4 hi", 1, "", 1, {"chan|print|4|hi"}, ""},
        {"-5 is a colour", "echo -5 rest of it", 1, "", 1, {"chan|print|0|rest of it"}, ""},
        {"colour 16 gives 0", "echo 16 x", 1, "", 1, {"chan|print|0|x"}, ""},
        {"colour 99 is the Listbox text item", "echo 99 x", 1, "", 1,
         {"chan|print|Listbox text|x"}, ""},
        {"-x holds no switch letter", "echo -x hello", 1, "", 1,
         {"chan|print|Normal text|-x hello"}, ""},
        {"a lone dash is text", "echo - hello", 1, "", 1, {"chan|print|Normal text|- hello"}, ""},
        {"-s reads no window name", "echo -s #chan word", 1, "", 1,
         {"status|print|Normal text|#chan word"}, ""},
        {"-sa prints twice", "echo -sa hi", 1, "query", 1,
         {"status|print|Normal text|hi", "query|print|Normal text|hi"}, ""},
        {"-sa once when the active window is the status window", "echo -sa hi", 1, "status", 1,
         {"status|print|Normal text|hi"}, ""},
        {"-a without an active window", "echo -a hi", 1, "", 1, {"status|print|Normal text|hi"},
         ""},
        {"-d the message window", "echo -d hi", 1, "", 1, {"msgs|print|Normal text|hi"}, ""},
        {"-sad: d replaces a", "echo -sad hi", 1, "query", 1,
         {"status|print|Normal text|hi", "msgs|print|Normal text|hi"}, ""},
        {"-ad", "echo -ad hi", 1, "query", 1,
         {"query|print|Normal text|hi", "msgs|print|Normal text|hi"}, ""},
        {"a named window", "echo nick hi there", 1, "", 1, {"query|print|Normal text|hi there"},
         ""},
        {"window names ignore case", "echo @WIN hi", 1, "", 1, {"custom|print|Normal text|hi"}, ""},
        {"a name that names nothing is text", "echo nosuch hi", 1, "", 1,
         {"chan|print|Normal text|nosuch hi"}, ""},
        {"a named window needs text", "echo #chan", 1, "", 0, {},
         "* /echo: Yetersiz veya eksik parametre"},
        {"switches need text", "echo -s", 1, "", 0, {}, "* /echo: Yetersiz veya eksik parametre"},
        {"a DCC chat by nick", "echo =bob hi", 1, "", 1, {"chat|print|Normal text|hi"}, ""},
        {"an unknown chat is text", "echo =eve hi", 1, "", 1, {"chan|print|Normal text|=eve hi"},
         ""},
        {"a picture window gives the status window", "echo @pic hi", 1, "", 1,
         {"status|print|Normal text|hi"}, ""},
        {"a list-box window gives the status window", "echo @list hi", 1, "", 1,
         {"status|print|Normal text|hi"}, ""},
        {"-c by prefix", "echo -c inf hi", 1, "", 1, {"chan|print|Info text|hi"}, ""},
        {"-c quoted over tokens", "echo -c \"info2 text\" hi", 1, "", 1,
         {"chan|print|Info2 text|hi"}, ""},
        {"-c quoted, blanks collapsed", "echo -c \"  own   text \" hi", 1, "", 1,
         {"chan|print|Own text|hi"}, ""},
        {"-c replaces a colour number", "echo 4 -c nomatch hi", 1, "", 1,
         {"chan|print|Normal text|hi"}, ""},
        {"-c empty quotes match Background", "echo -c \"\" hi", 1, "", 1,
         {"chan|print|Background|hi"}, ""},
        {"-c missing quote", "echo -c \"info text hi", 1, "", 0, {}, "* /echo: Geçersiz parametre"},
        {"-c without text", "echo -c info", 1, "", 0, {}, "* /echo: Yetersiz veya eksik parametre"},
        {"-q with the show flag prints", "echo -q hi", 1, "", 1, {"chan|print|Normal text|hi"},
         ""},
        {"-q quiet", "echo -q hi", 0, "", 1, {}, ""},
        {"-q quiet before any error", "echo -q", 0, "", 1, {}, ""},
        {"without -q a quiet line still prints", "echo hi", 0, "", 1,
         {"chan|print|Normal text|hi"}, ""},
        {"-e separators", "echo -e hi", 1, "", 1,
         {"chan|sep|Info text|", "chan|print|Normal text|hi", "chan|sep|Info text|"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        output_lines_clear();
        script_error_clear();
        win_active = std::string(c.active).empty() ? nullptr : w(c.active);
        EXPECT_EQ(call(cmd_echo, c.line, c.show), c.result);
        EXPECT_EQ(lines(), c.printed);
        EXPECT_EQ(script_error_state.text, c.error);
    }
}

TEST_F(OutputTest, EchoCurrentWindowThatCannotPrintFallsBackToStatus)
{
    ASSERT_EQ(call(cmd_echo, "echo hi", 1, "chanlist"), 1);
    EXPECT_EQ(lines(), std::vector<std::string>({"status|print|Normal text|hi"}));
    output_lines_clear();
    ASSERT_EQ(call(cmd_echo, "echo hi", 1, ""), 1);
    EXPECT_EQ(lines(), std::vector<std::string>({"status|print|Normal text|hi"}));
}

TEST_F(OutputTest, EchoPrintOptions)
{
    struct Case {
        const char* line;
        EchoPrintOptions want;
    };
    auto opts = [](int wrap, int indent, int beep, int hl, int ts, int flash, int nolog, int msg,
                   int raise) {
        EchoPrintOptions o;
        o.wrap_mode = wrap;
        o.indent = indent;
        o.beep = beep;
        o.highlight_test = hl;
        o.timestamp = ts;
        o.flash = flash;
        o.no_log = nolog;
        o.message = msg;
        o.raise_activity = raise;
        return o;
    };
    const Case cases[] = {
        {"echo plain", opts(0, 0, 0, 0, 0, 0, 0, 0, 1)},
        {"echo -h x", opts(-1, 0, 0, 0, 0, 0, 0, 0, 1)},
        {"echo -t x", opts(0, 0, 0, 0, 1, 0, 0, 0, 1)},
        {"echo -l x", opts(0, 0, 0, 2, 0, 0, 0, 0, 1)},
        {"echo -n x", opts(0, 0, 0, 0, 0, 0, 0, 0, 0)},
        {"echo -m x", opts(0, 0, 0, 0, 0, 0, 0, 3, 1)},
        {"echo -b x", opts(0, 0, 1, 0, 0, 0, 0, 0, 1)},
        {"echo -f x", opts(0, 0, 0, 0, 0, 1, 0, 0, 1)},
        {"echo -g x", opts(0, 0, 0, 0, 0, 0, 1, 0, 1)},
        {"echo -v x", opts(0, 0, 0, 0, 0, 0, 0, 0, 1)},
        {"echo -i x", opts(0, 2, 0, 0, 0, 0, 0, 0, 1)},
        {"echo -i7 x", opts(0, 7, 0, 0, 0, 0, 0, 0, 1)},
        {"echo -i99999999999 x", opts(0, 1024, 0, 0, 0, 0, 0, 0, 1)},
        {"echo -hi12tbg x", opts(-1, 12, 1, 0, 1, 0, 1, 0, 1)},
        {"echo -mnfl x", opts(0, 0, 0, 2, 0, 1, 0, 3, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        output_lines_clear();
        ASSERT_EQ(call(cmd_echo, c.line), 1);
        ASSERT_EQ(output_lines().size(), 1u);
        const EchoPrintOptions& o = output_lines()[0].options;
        EXPECT_EQ(o.wrap_mode, c.want.wrap_mode);
        EXPECT_EQ(o.indent, c.want.indent);
        EXPECT_EQ(o.beep, c.want.beep);
        EXPECT_EQ(o.highlight_test, c.want.highlight_test);
        EXPECT_EQ(o.timestamp, c.want.timestamp);
        EXPECT_EQ(o.flash, c.want.flash);
        EXPECT_EQ(o.no_log, c.want.no_log);
        EXPECT_EQ(o.message, c.want.message);
        EXPECT_EQ(o.raise_activity, c.want.raise_activity);
        std::string line = c.line;
        EXPECT_EQ(output_lines()[0].text, line.substr(line.rfind(' ') + 1));
    }
    // -g also keeps the separators of -e out of the log.
    output_lines_clear();
    ASSERT_EQ(call(cmd_echo, "echo -eg x"), 1);
    ASSERT_EQ(output_lines().size(), 3u);
    for (const OutputLine& l : output_lines())
        EXPECT_EQ(l.options.no_log, 1);
}

TEST_F(OutputTest, EchoStripsCodesBySettingWithR)
{
    const std::string coded = "\x02" "bold\x02 \x1funder\x1f \x03" "4red";
    struct Case {
        int flags;
        const char* sw;
        std::string text;
    };
    const Case cases[] = {
        {kStripBold, "-r", "bold \x1funder\x1f \x03" "4red"},
        {kStripBold | kStripColour, "-r", "bold \x1funder\x1f red"},
        {15, "-r", "bold under red"},
        {15, "-s", coded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        output_lines_clear();
        strip_setting_flags = c.flags;
        ASSERT_EQ(call(cmd_echo, std::string("echo ") + c.sw + " " + coded), 1);
        ASSERT_EQ(output_lines().size(), 1u);
        EXPECT_EQ(output_lines()[0].text, c.text);
    }
}

TEST_F(OutputTest, EchoTextIsCutAtTheLineLength)
{
    std::string big(5000, 'y');
    ASSERT_EQ(call(cmd_echo, "echo " + big), 1);
    ASSERT_EQ(output_lines().size(), 1u);
    EXPECT_EQ(output_lines()[0].text.size(), 4150u);
}

// ---- /linesep ----

TEST_F(OutputTest, LinesepTargets)
{
    struct Case {
        const char* line;
        const char* active;
        const char* target;
    };
    const Case cases[] = {
        {"linesep", "", "chan"},
        {"linesep -s", "", "status"},
        {"linesep -a", "query", "query"},
        {"linesep -a", "", "status"},
        {"linesep @win", "", "custom"},
        {"linesep -x @win", "", "custom"},
        {"linesep nosuch", "", "chan"},
        {"linesep @pic", "", "status"},
        {"linesep -s @win", "", "status"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        output_lines_clear();
        win_active = std::string(c.active).empty() ? nullptr : w(c.active);
        ASSERT_EQ(call(cmd_linesep, c.line), 1);
        EXPECT_EQ(lines(), std::vector<std::string>({std::string(c.target) + "|sep|Info text|"}));
    }
}

// ---- /beep ----

TEST_F(OutputTest, BeepCountsDelaysAndTheAllBeepsSwitch)
{
    opt_set(OPT_SOUNDS_ENABLED, 1);
    struct Case {
        const char* line;
        int result;
        int remaining;
        int interval;  // -1: timer not running
    };
    const Case cases[] = {
        {"beep 3 0", 1, 3, 1},
        {"beep 2 250", 1, 2, 250},
        {"beep 4 -7", 1, 4, 1},
        {"beep 0", 0, 0, -1},
        {"beep -2 10", 0, 0, -1},
        {"beep x", 0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(call(cmd_beep, c.line), c.result);
        EXPECT_EQ(output_beep_remaining, c.remaining);
        EXPECT_EQ(frame_timer_interval(FRAME_TIMER_BEEP), c.interval);
    }

    // Three beeps, one per expiry, then the timer stops.
    ASSERT_EQ(call(cmd_beep, "beep 3 0"), 1);
    beeps = 0;
    for (int i = 0; i < 5; ++i)
        output_beep_tick(FRAME_TIMER_BEEP);
    EXPECT_EQ(beeps, 3);
    EXPECT_EQ(output_beep_remaining, 0);
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_BEEP));

    // A new /beep stops the running one, even when it then does nothing.
    ASSERT_EQ(call(cmd_beep, "beep 5 10"), 1);
    opt_set(OPT_SOUNDS_ENABLED, 0);
    ASSERT_EQ(call(cmd_beep, "beep 2 10"), 1);
    EXPECT_EQ(output_beep_remaining, 0);
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_BEEP));
    ASSERT_EQ(call(cmd_beep, "beep"), 1);
    EXPECT_FALSE(frame_timer_is_running(FRAME_TIMER_BEEP));
    opt_set(OPT_SOUNDS_ENABLED, 1);

    // Without arguments the standard repeated beep starts.
    ASSERT_EQ(call(cmd_beep, "beep"), 1);
    EXPECT_TRUE(frame_timer_is_running(FRAME_TIMER_BEEP));
    EXPECT_EQ(output_beep_remaining, 0);
}

// ---- /flash ----

TEST_F(OutputTest, FlashSwitchesWindowAndTitle)
{
    struct Case {
        const char* line;
        bool flashes;
        const char* window;  // tag, "main" for the main window
        int sound;
        int beep_count;
        int repeat_count;
        const char* title;  // null: none
    };
    const Case cases[] = {
        {"flash", true, "main", 0, 0, 0, nullptr},
        {"flash -r0", false, "", 0, 0, 0, nullptr},
        {"flash -rb", false, "", 0, 0, 0, nullptr},
        {"flash -r-3", false, "", 0, 0, 0, nullptr},
        {"flash -r", true, "main", 0, 0, 0, nullptr},
        {"flash -br2", true, "main", 1, 0, 3, nullptr},
        {"flash -b2", true, "main", 1, 3, 0, nullptr},
        {"flash -b", true, "main", 1, 0, 0, nullptr},
        {"flash -w", true, "main", 2, 0, 0, nullptr},
        {"flash -b5w", true, "main", 2, 6, 0, nullptr},
        {"flash -b5w2", true, "main", 2, 3, 0, nullptr},
        {"flash -wb3", true, "main", 2, 0, 0, nullptr},
        {"flash -x", true, "main", 0, 0, 0, nullptr},
        {"flash #chan", true, "chan", 0, 0, 0, nullptr},
        {"flash -b1 #CHAN wake up", true, "chan", 1, 2, 0, "#chan wake up"},
        {"flash hello there", true, "main", 0, 0, 0, "Kest hello there"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        output_flash_requests_clear();
        ASSERT_EQ(call(cmd_flash, c.line), 1);
        if (!c.flashes) {
            EXPECT_TRUE(output_flash_requests().empty());
            continue;
        }
        ASSERT_EQ(output_flash_requests().size(), 1u);
        const FlashRequest& r = output_flash_requests()[0];
        std::string where = std::string(c.window) == "main" ? "none" : c.window;
        EXPECT_EQ(tag_of(r.window), where);
        EXPECT_EQ(r.sound_mode, c.sound);
        EXPECT_EQ(r.beep_count, c.beep_count);
        EXPECT_EQ(r.repeat_count, c.repeat_count);
        EXPECT_EQ(r.has_title, c.title ? 1 : 0);
        if (c.title) {
            EXPECT_EQ(r.title, c.title);
        }
    }
}

TEST_F(OutputTest, FlashTitleIsBounded)
{
    ASSERT_EQ(call(cmd_flash, "flash #chan " + std::string(3000, 'z')), 1);
    ASSERT_EQ(output_flash_requests().size(), 1u);
    EXPECT_EQ(output_flash_requests()[0].title.size(), 1024u);
    EXPECT_EQ(output_flash_requests()[0].title.rfind("#chan zzz", 0), 0u);
}

// ---- /ebeeps, /events ----

TEST_F(OutputTest, OnOffSwitches)
{
    struct Case {
        int (*handler)(CommandCall&);
        OptionId option;
        int before;
        const char* line;
        int show;
        int after;
        std::vector<std::string> printed;
    };
    const Case cases[] = {
        {cmd_ebeeps, OPT_SOUNDS_ENABLED, 1, "ebeeps off", 1, 0,
         {"chan|echo|Info text|* Bütün beepler Kapalı"}},
        {cmd_ebeeps, OPT_SOUNDS_ENABLED, 0, "ebeeps ON", 1, 1,
         {"chan|echo|Info text|* Bütün beepler Açık"}},
        {cmd_ebeeps, OPT_SOUNDS_ENABLED, 0, "ebeeps maybe", 1, 0,
         {"chan|echo|Info text|* Bütün beepler Kapalı"}},
        {cmd_ebeeps, OPT_SOUNDS_ENABLED, 1, "ebeeps", 1, 1,
         {"chan|echo|Info text|* Bütün beepler Açık"}},
        {cmd_ebeeps, OPT_SOUNDS_ENABLED, 1, "ebeeps Off", 0, 0, {}},
        {cmd_events, OPT_REMOTE_EVENTS, 1, "events off", 1, 0,
         {"chan|echo|Info text|* Olaylar Kapali"}},
        {cmd_events, OPT_REMOTE_EVENTS, 0, "events on", 1, 1, {"chan|echo|Info text|* Olaylar Açık"}},
        {cmd_events, OPT_REMOTE_EVENTS, 1, "events x", 0, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        output_lines_clear();
        opt_set(c.option, c.before);
        ASSERT_EQ(call(c.handler, c.line, c.show), 1);
        EXPECT_EQ(opt(c.option), c.after);
        EXPECT_EQ(lines(), c.printed);
    }
    opt_set(OPT_SOUNDS_ENABLED, 1);
    opt_set(OPT_REMOTE_EVENTS, 1);
}

// ---- /strip ----

TEST_F(OutputTest, StripFlags)
{
    struct Case {
        int before;
        const char* line;
        int after;
        const char* printed;
    };
    const Case cases[] = {
        {15, "strip -burc", 0, "* Ayırıcı Kapalı"},
        {0, "strip -burc", 0, "* Ayırıcı Kapalı"},
        {2, "strip +b-u", 1, "* Ayırılan: Kalın"},
        {0, "strip burc", 15, "* Ayırılan: Kalın, Altıçizili, Ters, Renkli"},
        {0, "strip c+r", 12, "* Ayırılan: Ters, Renkli"},
        {3, "strip -u+c", 9, "* Ayırılan: Kalın, Renkli"},
        {5, "strip xyz", 5, "* Ayırılan: Kalın, Ters"},
        {3, "strip", 3, "* Ayırılan: Kalın, Altıçizili"},
        {0, "strip -b +u", 2, "* Ayırılan: Altıçizili"},
        {0, "strip +b -b u", 0, "* Ayırıcı Kapalı"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        output_lines_clear();
        strip_setting_flags = c.before;
        ASSERT_EQ(call(cmd_strip, c.line), 1);
        EXPECT_EQ(strip_setting_flags, c.after);
        EXPECT_EQ(lines(), std::vector<std::string>({std::string("chan|echo|Info text|") + c.printed}));
    }
    output_lines_clear();
    ASSERT_EQ(call(cmd_strip, "strip b", 0), 1);
    EXPECT_TRUE(output_lines().empty());
}

// ---- /timestamp ----

TEST_F(OutputTest, TimestampGlobalAndFormats)
{
    struct Case {
        const char* line;
        int global_after;
        const char* format_after;
        const char* log_format_after;
        std::vector<std::string> printed;
    };
    opt_set(OPT_TIMESTAMP_EVENTS, 0);
    time_stamp_format = "[HH:nn]";
    time_log_stamp_format = "[HH:nn]";
    const Case cases[] = {
        {"timestamp", 0, "[HH:nn]", "[HH:nn]",
         {"chan|echo|Info text|* Global Zaman Gösterimi Kapalı"}},
        {"timestamp on", 1, "[HH:nn]", "[HH:nn]",
         {"chan|echo|Info text|* Global Zaman Gösterimi Açık"}},
        {"timestamp sideways", 1, "[HH:nn]", "[HH:nn]",
         {"chan|echo|Info text|* Global Zaman Gösterimi Açık"}},
        {"timestamp OFF", 0, "[HH:nn]", "[HH:nn]",
         {"chan|echo|Info text|* Global Zaman Gösterimi Kapalı"}},
        {"timestamp -x on", 1, "[HH:nn]", "[HH:nn]",
         {"chan|echo|Info text|* Global Zaman Gösterimi Açık"}},
        {"timestamp -f  <HH:nn:ss>   x ", 1, "<HH:nn:ss> x", "[HH:nn]",
         {"chan|echo|Info text|* Zaman Göstergesi Formatı: <HH:nn:ss> x"}},
        {"timestamp -f", 1, "[HH:nn]", "[HH:nn]",
         {"chan|echo|Info text|* Zaman Göstergesi Formatı: [HH:nn]"}},
        {"timestamp -g (ss)", 1, "[HH:nn]", "(ss)",
         {"chan|echo|Info text|* Loglarda Kullanılan Zaman Formatı: (ss)"}},
        {"timestamp -sf x", 1, "x", "(ss)",
         {"status|echo|Info text|* Zaman Göstergesi Formatı: x"}},
        {"timestamp -fg y", 1, "x", "y",
         {"chan|echo|Info text|* Loglarda Kullanılan Zaman Formatı: y"}},
        {"timestamp -gaf z", 1, "z", "y", {"chan|echo|Info text|* Zaman Göstergesi Formatı: z"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        output_lines_clear();
        ASSERT_EQ(call(cmd_timestamp, c.line), 1);
        EXPECT_EQ(opt(OPT_TIMESTAMP_EVENTS), c.global_after);
        EXPECT_EQ(time_stamp_format, c.format_after);
        EXPECT_EQ(time_log_stamp_format, c.log_format_after);
        EXPECT_EQ(lines(), c.printed);
    }
    output_lines_clear();
    ASSERT_EQ(call(cmd_timestamp, "timestamp off", 0), 1);
    EXPECT_EQ(opt(OPT_TIMESTAMP_EVENTS), 0);
    EXPECT_TRUE(output_lines().empty());
    time_stamp_format = "[HH:nn]";
    time_log_stamp_format = "[HH:nn]";
}

TEST_F(OutputTest, TimestampPerWindow)
{
    struct Case {
        const char* line;
        int global;
        int result;
        std::map<std::string, int> modes;  // tag -> mode after
        std::map<std::string, std::string> keys;  // ini key -> value after
        std::vector<std::string> printed;
    };
    const Case cases[] = {
        {"timestamp on #chan", 0, 1, {{"chan", 1}}, {{"#chan", "on"}},
         {"chan|echo|Info text|* Zaman Gösterimi #chan Açık"}},
        {"timestamp off #CHAN", 1, 1, {{"chan", 0}}, {{"#chan", "off"}},
         {"chan|echo|Info text|* Zaman Gösterimi #chan Kapalı"}},
        {"timestamp default #chan", 1, 1, {{"chan", 2}}, {{"#chan", "<absent>"}},
         {"chan|echo|Info text|* Zaman Gösterimi #chan Açık"}},
        {"timestamp default #chan", 0, 1, {{"chan", 2}}, {{"#chan", "<absent>"}},
         {"chan|echo|Info text|* Zaman Gösterimi #chan Kapalı"}},
        {"timestamp on @win", 0, 1, {{"custom", 2}}, {{"@win", "<absent>"}}, {}},
        {"timestamp on #gone", 0, 1, {}, {{"#gone", "on"}},
         {"chan|echo|Info text|* Zaman Gösterimi #gone Açık"}},
        {"timestamp default #gone", 1, 1, {}, {{"#gone", "<absent>"}},
         {"chan|echo|Info text|* Zaman Gösterimi #gone Açık"}},
        {"timestamp maybe #gone", 1, 1, {}, {}, {}},
        {"timestamp -a off", 1, 1, {{"chan", 0}}, {{"#chan", "off"}},
         {"chan|echo|Info text|* Zaman Gösterimi #chan Kapalı"}},
        {"timestamp -a maybe", 1, 1, {{"chan", 0}}, {},
         {"chan|echo|Info text|* Zaman Gösterimi #chan Kapalı"}},
        {"timestamp -s on", 0, 1, {{"status", 1}}, {{"ostatus", "on"}},
         {"status|echo|Info text|* Zaman Gösterimi Status Window Açık"}},
        {"timestamp -e", 0, 1, {{"status", 1}}, {}, {}},
        {"timestamp -e off", 0, 1,
         {{"status", 0}, {"chan", 0}, {"query", 0}, {"msgs", 0}, {"chat", 0}, {"custom", 2}},
         {{"ostatus", "off"}, {"nick", "off"}, {"omessage", "off"}},
         {"status|echo|Info text|* Zaman Gösterimi Status Window Kapalı",
          "chan|echo|Info text|* Zaman Gösterimi #chan Kapalı",
          "query|echo|Info text|* Zaman Gösterimi nick Kapalı",
          "msgs|echo|Info text|* Zaman Gösterimi Message Window Kapalı",
          "chat|echo|Info text|* Zaman Gösterimi =bob Kapalı"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        output_lines_clear();
        opt_set(OPT_TIMESTAMP_EVENTS, c.global);
        ASSERT_EQ(call(cmd_timestamp, c.line), c.result);
        for (const auto& [tag, mode] : c.modes)
            EXPECT_EQ(win.at(tag)->timestamp, mode) << tag;
        for (const auto& [key, value] : c.keys)
            EXPECT_EQ(ini_value(key), value) << key;
        EXPECT_EQ(lines(), c.printed);
    }
    // The per-window form on no window record fails without a message.
    output_lines_clear();
    EXPECT_EQ(call(cmd_timestamp, "timestamp -a on", 1, ""), 0);
    EXPECT_TRUE(output_lines().empty());
    opt_set(OPT_TIMESTAMP_EVENTS, 0);
}

} // namespace
