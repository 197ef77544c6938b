// The debug copy of a connection's traffic, on real files in a temporary
// settings folder, with a real connection record and the built-in
// identifiers as filters.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "core/ini.h"
#include "identifiers/builtin_identifiers.h"
#include "irc/link/traffic_log.h"
#include "model/connection.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

mode_t mode_of(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// The lines handed to the window side: "name: line colour N".
std::vector<std::string> g_window_lines;
int g_window_listener = 0;

class TrafficLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
        script_engine_init();
        builtin_identifiers_install();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        conn->server_name = "irc.example.net";
        g_window_lines.clear();
    }

    void TearDown() override
    {
        debug_window_line.drop(g_window_listener);
        script_error_clear();
        conn_free(conn);
    }

    // The copy as /debug leaves it in the record.
    void copy_to(const std::string& target, const std::string& filter = std::string(), int colour = 0)
    {
        conn->debug_target = target;
        conn->debug_filter = filter;
        conn->debug_flags = 4;
        conn->debug_colour = colour;
    }
    void follow_window_lines(Signal<void(Connection*, const std::string&, const std::string&,
                                         const DebugSettings&)>::Listener fn)
    {
        debug_window_line.drop(g_window_listener);
        g_window_listener = debug_window_line.add(kDebugLineCustomWindow, std::move(fn));
    }

    TempSettingsDir temp_{"kest-traffic-"};
    std::string root_;
    Connection* conn = nullptr;
};

TEST_F(TrafficLog, DebugLogWithoutConnectionGoesToDebugLog)
{
    debug_log_line("first line", 1, nullptr);
    debug_log_line("second\n", 0, nullptr);
    EXPECT_EQ(slurp(root_ + "debug.log"), "first line\nsecond\n");
    EXPECT_EQ(mode_of(root_ + "debug.log"), 0600u);

    // A connection that is not live counts as none; so does one whose copy
    // has no target.
    Connection* gone = conn_new(nullptr);
    gone->debug_target = root_ + "other.log";
    conn_free(gone);
    debug_log_line("raw", 1, gone);
    copy_to("");
    debug_log_line("off", 1, conn);
    EXPECT_EQ(slurp(root_ + "debug.log"), "first line\nsecond\nraw\noff\n");
    EXPECT_FALSE(fs::exists(root_ + "other.log"));
}

TEST_F(TrafficLog, DebugLogPrefixesAndFilters)
{
    copy_to("traffic.log");
    struct Case {
        const char* line;
        int incoming;
        const char* written;  // null: nothing written
    };
    const Case cases[] = {
        {":srv 001 me :Welcome", 1, "<- :srv 001 me :Welcome\n"},
        {"PRIVMSG #c :hi\r\n", 0, "-> irc.example.net PRIVMSG #c :hi\n"},
        {"PING :x\r\n\r\n", 0, "-> irc.example.net PING :x\n"},
        {"\r\n", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fs::remove(root_ + "traffic.log");
        debug_log_line(c.line, c.incoming, conn);
        if (c.written)
            EXPECT_EQ(slurp(root_ + "traffic.log"), c.written);
        else
            EXPECT_FALSE(fs::exists(root_ + "traffic.log"));
    }

    // A filter identifier replaces the line, or drops it when it gives
    // nothing or cannot be evaluated.
    struct FilterCase {
        const char* filter;
        const char* line;
        const char* written;  // null: nothing written
    };
    const FilterCase filters[] = {
        {"upper", "keep", "<- KEEP\n"},
        {"upper", "k", "<- K\n"},
        {"address", "nobody", nullptr},
        {"nosuchfilter", "keep", nullptr},
    };
    for (const FilterCase& c : filters) {
        SCOPED_TRACE(std::string(c.filter) + " " + c.line);
        copy_to("traffic.log", c.filter);
        fs::remove(root_ + "traffic.log");
        debug_log_line(c.line, 1, conn);
        if (c.written)
            EXPECT_EQ(slurp(root_ + "traffic.log"), c.written);
        else
            EXPECT_FALSE(fs::exists(root_ + "traffic.log"));
        script_error_clear();
    }
    // The same line once more: the filter's answer does not stick.
    copy_to("traffic.log", "upper");
    fs::remove(root_ + "traffic.log");
    debug_log_line("keep", 1, conn);
    debug_log_line("keep", 1, conn);
    EXPECT_EQ(slurp(root_ + "traffic.log"), "<- KEEP\n<- KEEP\n");
}

TEST_F(TrafficLog, DebugLogWindowTargetsAndReentry)
{
    copy_to("@raw", "", 4);
    follow_window_lines([](Connection* c, const std::string& window, const std::string& line,
                           const DebugSettings& s) {
        EXPECT_TRUE(conn_is_live(c));
        g_window_lines.push_back(window + ": " + line + " colour " + std::to_string(s.colour));
    });
    debug_log_line("JOIN #a", 1, conn);
    EXPECT_EQ(g_window_lines, std::vector<std::string>{"raw: <- JOIN #a colour 4"});
    EXPECT_FALSE(fs::exists(root_ + "debug.log"));

    // A line given while another is being written is not written.
    follow_window_lines([](Connection* c, const std::string&, const std::string& line, const DebugSettings&) {
        g_window_lines.push_back(line);
        debug_log_line("nested", 1, c);
    });
    g_window_lines.clear();
    debug_log_line("outer", 1, conn);
    EXPECT_EQ(g_window_lines, std::vector<std::string>{"<- outer"});
    // The guard is released afterwards.
    debug_log_line("again", 1, conn);
    EXPECT_EQ(g_window_lines, (std::vector<std::string>{"<- outer", "<- again"}));

    // A device as the file target is never opened.
    debug_window_line.drop(g_window_listener);
    copy_to("/dev/null");
    debug_log_line("x", 1, conn);
    copy_to("nul.log");
    debug_log_line("x", 1, conn);
    EXPECT_FALSE(fs::exists(root_ + "nul.log"));
}

} // namespace
