// The debug copy of a connection's traffic, on real files in a temporary
// settings folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "core/ini.h"
#include "irc/link/traffic_log.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

mode_t mode_of(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class TrafficLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
    }

    void TearDown() override
    {
        debug_conn_settings = nullptr;
        debug_filter_eval = nullptr;
        debug_window_output = nullptr;
    }

    TempSettingsDir temp_{"kest-traffic-"};
    std::string root_;
};

struct FakeConnection {
    DebugSettings settings;
    bool live = true;
};

FakeConnection* g_fake = nullptr;
std::vector<std::string> g_window_lines;
std::string g_window_name;

int fake_settings(Connection* conn, DebugSettings& out)
{
    auto* fake = reinterpret_cast<FakeConnection*>(conn);
    if (!fake || !fake->live)
        return 0;
    out = fake->settings;
    return 1;
}

TEST_F(TrafficLog, DebugLogWithoutConnectionGoesToDebugLog)
{
    debug_log_line("first line", 1, nullptr);
    debug_log_line("second\n", 0, nullptr);
    EXPECT_EQ(slurp(root_ + "debug.log"), "first line\nsecond\n");
    EXPECT_EQ(mode_of(root_ + "debug.log"), 0600u);

    // A connection that is not live counts as none.
    debug_conn_settings = fake_settings;
    FakeConnection fake;
    fake.live = false;
    fake.settings.target = root_ + "other.log";
    debug_log_line("raw", 1, reinterpret_cast<Connection*>(&fake));
    EXPECT_EQ(slurp(root_ + "debug.log"), "first line\nsecond\nraw\n");
    EXPECT_FALSE(fs::exists(root_ + "other.log"));
}

TEST_F(TrafficLog, DebugLogPrefixesAndFilters)
{
    debug_conn_settings = fake_settings;
    FakeConnection fake;
    fake.settings.target = "traffic.log";
    fake.settings.server = "irc.example.net";
    auto* conn = reinterpret_cast<Connection*>(&fake);

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

    // A filter identifier replaces the line, or drops it when it gives nothing or
    // fails. Without an evaluator the line passes unfiltered.
    fake.settings.filter = "myfilter";
    fs::remove(root_ + "traffic.log");
    debug_log_line("NOTICE x", 1, conn);
    EXPECT_EQ(slurp(root_ + "traffic.log"), "<- NOTICE x\n");

    debug_filter_eval = [](std::string& text, const std::string& params, Connection*) -> int {
        if (text != "$myfilter($1-)")
            return 0;
        if (params.find("drop") != std::string::npos) {
            text.clear();
            return 1;
        }
        if (params.find("fail") != std::string::npos)
            return 0;
        text = "[" + params + "]";
        return 1;
    };
    fs::remove(root_ + "traffic.log");
    debug_log_line("keep", 1, conn);
    debug_log_line("drop", 1, conn);
    debug_log_line("fail", 1, conn);
    EXPECT_EQ(slurp(root_ + "traffic.log"), "[<- keep]\n");
}

TEST_F(TrafficLog, DebugLogWindowTargetsAndReentry)
{
    debug_conn_settings = fake_settings;
    FakeConnection fake;
    fake.settings.target = "@raw";
    fake.settings.colour = 4;
    auto* conn = reinterpret_cast<Connection*>(&fake);
    g_window_lines.clear();
    debug_window_output = [](Connection*, const std::string& window, const std::string& line,
                             const DebugSettings& s) {
        g_window_name = window;
        g_window_lines.push_back(line + " colour " + std::to_string(s.colour));
    };
    debug_log_line("JOIN #a", 1, conn);
    ASSERT_EQ(g_window_lines.size(), 1u);
    EXPECT_EQ(g_window_name, "raw");
    EXPECT_EQ(g_window_lines[0], "<- JOIN #a colour 4");
    EXPECT_FALSE(fs::exists(root_ + "debug.log"));

    // A line given while another is being written is not written.
    g_fake = &fake;
    debug_window_output = [](Connection* c, const std::string&, const std::string& line, const DebugSettings&) {
        g_window_lines.push_back(line);
        debug_log_line("nested", 1, c);
    };
    g_window_lines.clear();
    debug_log_line("outer", 1, conn);
    EXPECT_EQ(g_window_lines, std::vector<std::string>{"<- outer"});
    // The guard is released afterwards.
    debug_log_line("again", 1, conn);
    EXPECT_EQ(g_window_lines.size(), 2u);
    g_fake = nullptr;

    // A device as the file target is never opened.
    fake.settings.target = "/dev/null";
    debug_window_output = nullptr;
    debug_log_line("x", 1, conn);
    fake.settings.target = "nul.log";
    debug_log_line("x", 1, conn);
    EXPECT_FALSE(fs::exists(root_ + "nul.log"));
}

} // namespace
