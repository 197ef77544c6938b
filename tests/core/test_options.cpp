// The option lines of section "options": reading a line of numbers, the
// defaults of every position, the load rules, and writing the lines back.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <QGuiApplication>

#include "core/ini.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/time_date.h"
#include "support/test_support.h"
#include "support/hook_guard.h"

namespace {

namespace fs = std::filesystem;

// The lines as an empty settings file loads them (after the load rules: the
// DCC filter countdown of "n3" becomes 60 times its minutes).
const char* const kDefaultLines[kOptionLines] = {
    "0,1,0,1,0,0,300,0,0,0,1,0,0,0,0,0,1,0,0,0,4096,0,1,0,1,1,1,1,0,50,1,0,0,1,0",
    "5,100,1,1,0,0,0,2,0,1,0,1,1,1,1,1,2,1,0,0,1,1,1,0,5,0,1,0,0,0,1,0,0,0,1,10",
    "0,1,0,1,1,1,1,1,0,60,120,0,0,1,0,0,0,1,0,120,20,10,0,1,0,1,1,1,0,1,1,1,0,0,1,0",
    "5000,1,0,0,1,0,1,1,0,1,0,1,0,0,1,1,1,1,1,1,0,0,0,0,1,0,0,0,0,0,1,3,180,0,0,1,0",
    "1,1,1,0,0,3,9999,0,0,1,1,0,1024,1,1,99,60,0,0,1,1,1,1,0,0,5000,1,5,0,0,3,0,1,1,0,0,1",
    "1,1,1,1,1,1,1,1,1,1,0,0,0,0,1,0,1,0,300,30,10,0,1,29,0,0,1,8192,0,0,0,115,0,1,0,1",
    "0,0,0,1,0,0,0,0,0,0,0,1,0,0,1,1,0,1,1,0,0,0,100,1,1,0,1,1,1,0,4,1,0,0,0,0",
    "1,1,1,0,0,1,0,1,1,1,1,1,1,1,0,0,1,70,0,3,0,1,1,1,1,1,0,0,1,1,1,1,0,0,1,0,1",
    "1,2,1,168,1,1,1,2,0,0,1,1,0,0,1,1,1,0,0,0,0,0,168,1,0",
};
const int kLineLengths[kOptionLines] = {35, 36, 36, 37, 37, 36, 36, 37, 25};

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> out;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ','))
        out.push_back(item);
    return out;
}

// The default line with some positions changed.
std::string line_with(int line, const std::map<int, std::string>& changes)
{
    std::vector<std::string> fields = split(kDefaultLines[line]);
    for (const auto& [pos, value] : changes)
        fields.at(static_cast<std::size_t>(pos)) = value;
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i)
        out += (i ? "," : "") + fields[i];
    return out;
}

// Runs in a child process of its own: a real application on the offscreen
// platform given `screens` monitors (the platform's own configuration file),
// then the load of `lines`; the child exits with the dual-monitor option and
// removes the child's settings folder first.
[[noreturn]] void load_with_screens(int screens, const std::string& root, const std::string& lines)
{
    std::string config = "{\"screens\": [";
    for (int i = 0; i < screens; ++i)
        config += std::string(i ? "," : "") + "{\"name\": \"screen" + std::to_string(i) + "\", \"x\": " +
                  std::to_string(i * 640) + ", \"y\": 0, \"width\": 640, \"height\": 480}";
    config += "]}";
    const std::string config_file = root + "screens.json";
    spit(config_file, config);
    ::setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config_file).c_str(), 1);
    static int argc = 1;
    static char name[] = "core_tests";
    static char* argv[] = {name, nullptr};
    int value = -1;
    {
        QGuiApplication app(argc, argv);
        spit(main_ini_path, "[options]\n" + lines);
        options_load();
        value = opt(OPT_DUAL_MONITORS);
    }
    fs::remove_all(root);
    std::_Exit(value);
}

class OptionsTest : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
        options_reset();
    }

    void TearDown() override
    {
        options_reset();
    }

    // Writes section "options" with the given lines and loads it.
    void load_lines(const std::map<int, std::string>& lines)
    {
        std::string text = "[options]\n";
        for (const auto& [line, value] : lines)
            text += "n" + std::to_string(line) + "=" + value + "\n";
        spit(main_ini_path, text);
        options_load();
    }

    TempSettingsDir temp_{"kest_options_"};
    std::string root_;
};

// ---------------------------------------------------------------------------
// Reading a line of numbers.

TEST(OptionsCsv, ReadsFieldsWithDefaultsForMissingAndEmptyOnes)
{
    struct Case {
        const char* line;
        std::vector<int> expected;  // each read with the default 9
    };
    const Case cases[] = {
        {"1,2,3", {1, 2, 3, 9, 9}},
        {"", {9, 9}},
        {" 5 , ,-7x, +3", {5, 9, -7, 3, 9}},
        {"1,2,", {1, 2, 9}},
        {"1,2,   ", {1, 2, 9}},
        {",,5", {9, 9, 5}},
        {"abc,4", {0, 4}},
        {"-,+", {0, 0, 9}},
        {"12 34,5", {12, 5}},
        {"99999999999,-99999999999", {INT_MAX, INT_MIN, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ini_csv_begin(c.line);
        std::vector<int> got;
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            got.push_back(ini_next_csv_int(9));
        EXPECT_EQ(got, c.expected);
    }
}

TEST(OptionsCsv, EachReadHasItsOwnDefault)
{
    ini_csv_begin("1,,3");
    EXPECT_EQ(ini_next_csv_int(7), 1);
    EXPECT_EQ(ini_next_csv_int(8), 8);
    EXPECT_EQ(ini_next_csv_int(9), 3);
    EXPECT_EQ(ini_next_csv_int(-4), -4);
}

TEST(OptionsBlockSize, RoundsUpToAPowerOfTwo)
{
    const int cases[][2] = {
        {-5, 512}, {0, 512}, {512, 512}, {513, 1024}, {4096, 4096},
        {5000, 8192}, {32768, 32768}, {32769, 4096}, {65536, 4096}, {INT_MAX, 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        EXPECT_EQ(options_default_block_size(c[0]), c[1]);
    }
}

// ---------------------------------------------------------------------------
// Defaults.

TEST_F(OptionsTest, EveryLineHasItsLength)
{
    for (int line = 0; line < kOptionLines; ++line)
        EXPECT_EQ(options_line_length(line), kLineLengths[line]) << "n" << line;
    EXPECT_EQ(options_line_length(-1), 0);
    EXPECT_EQ(options_line_length(9), 0);
}

TEST_F(OptionsTest, EmptyFileLoadsAndSavesTheDefaultLines)
{
    options_load();
    ini_save_options();
    const std::string file = slurp(main_ini_path);
    for (int line = 0; line < kOptionLines; ++line) {
        SCOPED_TRACE(line);
        EXPECT_EQ(split(kDefaultLines[line]).size(), static_cast<std::size_t>(kLineLengths[line]));
        EXPECT_EQ(options_line_text(line), kDefaultLines[line]);
        const std::string expected = "n" + std::to_string(line) + "=" + kDefaultLines[line] + "\n";
        EXPECT_NE(file.find(expected), std::string::npos) << file;
    }
    EXPECT_EQ(opt(OPT_DCC_PACKET_SIZE), 4096);
    EXPECT_EQ(opt(OPT_BUFFER_LINES), 5000);
    EXPECT_EQ(opt(OPT_SWITCHBAR_BUTTON_HEIGHT), 29);
}

TEST_F(OptionsTest, ValuesBeforeAnyLoadAreTheDefaults)
{
    EXPECT_EQ(opt(OPT_BEEP_COUNT), 5);
    EXPECT_EQ(opt(OPT_DCC_LAST_PORT), 5000);
    EXPECT_EQ(opt(OPT_TREEBAR_WIDTH), 168);
    EXPECT_EQ(opt_default(OPT_FLOOD_BYTES), 300);
    EXPECT_EQ(option_value(4, 16, -1), 60);
    // Positions that don't exist give the caller's fallback.
    EXPECT_EQ(option_value(0, 35, -1), -1);
    EXPECT_EQ(option_value(8, 25, -2), -2);
    EXPECT_EQ(option_value(9, 0, -3), -3);
    EXPECT_EQ(option_value(-1, 0, -4), -4);
}

// The ids that name what the link, the window manager, start-up and the
// beeps read: each must stand for the line and position of the option
// table, with that position's default, in both directions.
TEST_F(OptionsTest, NamedIdsReadTheirLineAndPosition)
{
    struct Case {
        OptionId id;
        const char* name;
        int line, position, def;
    };
    const Case cases[] = {
        {OPT_CONNECT_ON_STARTUP, "OPT_CONNECT_ON_STARTUP", 0, 0, 0},
        {OPT_BEEP_COUNT, "OPT_BEEP_COUNT", 1, 0, 5},
        {OPT_BEEP_DELAY, "OPT_BEEP_DELAY", 1, 1, 100},
        {OPT_EDITBOX_LINES, "OPT_EDITBOX_LINES", 1, 7, 2},
        {OPT_LOOKUP_LOCAL_HOST, "OPT_LOOKUP_LOCAL_HOST", 1, 11, 1},
        {OPT_MINIMISE_QUERIES, "OPT_MINIMISE_QUERIES", 1, 17, 1},
        {OPT_BEEP_BUILTIN_SOUNDS, "OPT_BEEP_BUILTIN_SOUNDS", 1, 31, 0},
        {OPT_BEEP_SPEAKER, "OPT_BEEP_SPEAKER", 1, 32, 0},
        {OPT_BEEP_REDIRECT_CLICKS, "OPT_BEEP_REDIRECT_CLICKS", 1, 33, 0},
        {OPT_OPTIONS_ON_STARTUP, "OPT_OPTIONS_ON_STARTUP", 2, 1, 1},
        {OPT_LOCAL_LOOKUP_BY_SERVER, "OPT_LOCAL_LOOKUP_BY_SERVER", 2, 4, 1},
        {OPT_RETRY_NEXT_SERVER, "OPT_RETRY_NEXT_SERVER", 2, 23, 1},
        {OPT_ESCAPE_CLOSES_WINDOWS, "OPT_ESCAPE_CLOSES_WINDOWS", 3, 1, 1},
        {OPT_RECONNECT_ON_DISCONNECT, "OPT_RECONNECT_ON_DISCONNECT", 3, 4, 1},
        {OPT_LOOKUP_LOCAL_ADDRESS, "OPT_LOOKUP_LOCAL_ADDRESS", 3, 11, 1},
        {OPT_FINGER_SERVER, "OPT_FINGER_SERVER", 3, 28, 0},
        {OPT_RETRY_ON_FAIL, "OPT_RETRY_ON_FAIL", 4, 14, 1},
        {OPT_RETRY_LIMIT, "OPT_RETRY_LIMIT", 4, 15, 99},
        {OPT_CONNECT_TIMEOUT, "OPT_CONNECT_TIMEOUT", 4, 16, 60},
        {OPT_HIGHLIGHT_UNSEEN, "OPT_HIGHLIGHT_UNSEEN", 4, 21, 1},
        {OPT_ACTIVITY_COLOUR_MESSAGE, "OPT_ACTIVITY_COLOUR_MESSAGE", 4, 27, 5},
        {OPT_ACTIVITY_COLOUR_EVENT, "OPT_ACTIVITY_COLOUR_EVENT", 4, 30, 3},
        {OPT_MDI_STATUS, "OPT_MDI_STATUS", 5, 0, 1},
        {OPT_MDI_CHANNEL, "OPT_MDI_CHANNEL", 5, 1, 1},
        {OPT_MDI_QUERY, "OPT_MDI_QUERY", 5, 2, 1},
        {OPT_MDI_TRANSFER, "OPT_MDI_TRANSFER", 5, 3, 1},
        {OPT_MDI_FINGER, "OPT_MDI_FINGER", 5, 4, 1},
        {OPT_MDI_NOTIFY, "OPT_MDI_NOTIFY", 5, 5, 1},
        {OPT_MDI_URLS, "OPT_MDI_URLS", 5, 6, 1},
        {OPT_MDI_CHANLIST, "OPT_MDI_CHANLIST", 5, 7, 1},
        {OPT_MDI_LINKS, "OPT_MDI_LINKS", 5, 8, 1},
        {OPT_MDI_FSERVE, "OPT_MDI_FSERVE", 5, 9, 1},
        {OPT_SOUNDS_ENABLED, "OPT_SOUNDS_ENABLED", 5, 14, 1},
        {OPT_MDI_CHAT, "OPT_MDI_CHAT", 5, 16, 1},
        {OPT_FLOOD_PROTECTION, "OPT_FLOOD_PROTECTION", 5, 17, 0},
        {OPT_FLOOD_BYTES, "OPT_FLOOD_BYTES", 5, 18, 300},
        {OPT_HIDE_MINIMISED_DESKTOP_WINDOWS, "OPT_HIDE_MINIMISED_DESKTOP_WINDOWS", 6, 19, 0},
        {OPT_ACTIVITY_COLOUR_HIGHLIGHT, "OPT_ACTIVITY_COLOUR_HIGHLIGHT", 6, 30, 4},
        {OPT_EDITBOX_SPLIT, "OPT_EDITBOX_SPLIT", 7, 17, 70},
        {OPT_RETRY_DELAY, "OPT_RETRY_DELAY", 7, 19, 3},
        {OPT_TIMEOUT_CHECK, "OPT_TIMEOUT_CHECK", 7, 36, 1},
        {OPT_THIRD_NICK_SLOT, "OPT_THIRD_NICK_SLOT", 8, 9, 0},
    };
    int value = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(option_id_line(c.id), c.line);
        EXPECT_EQ(option_id_position(c.id), c.position);
        EXPECT_EQ(opt_default(c.id), c.def);
        EXPECT_EQ(opt(c.id), c.def);
        // A value stored at the coordinates is what the name reads, and the
        // other way round; the neighbours keep theirs.
        const int before = option_value(c.line, c.position + 1, -1);
        option_set_value(c.line, c.position, ++value);
        EXPECT_EQ(opt(c.id), value);
        opt_set(c.id, ++value);
        EXPECT_EQ(option_value(c.line, c.position, -1), value);
        EXPECT_EQ(option_value(c.line, c.position + 1, -1), before);
    }
}

TEST_F(OptionsTest, ShorterOlderLineKeepsDefaultsForTheRest)
{
    load_lines({{0, "1,0,1"}});
    EXPECT_EQ(opt(OPT_CONNECT_ON_STARTUP), 1);
    EXPECT_EQ(opt(OPT_SHOW_ADDRESSES), 0);
    EXPECT_EQ(opt(OPT_BEEP_CHANNEL_MESSAGES), 1);
    EXPECT_EQ(options_line_text(0), line_with(0, {{0, "1"}, {1, "0"}, {2, "1"}}));
    for (int line = 1; line < kOptionLines; ++line)
        EXPECT_EQ(options_line_text(line), kDefaultLines[line]) << "n" << line;
}

TEST_F(OptionsTest, LongerLineIgnoresExtraFields)
{
    load_lines({{8, std::string(kDefaultLines[8]) + ",77,88"}});
    EXPECT_EQ(options_line_text(8), kDefaultLines[8]);
}

// ---------------------------------------------------------------------------
// Load rules.

TEST_F(OptionsTest, LoadRulesOfSinglePositions)
{
    struct Case {
        const char* name;
        int line;
        std::map<int, std::string> fields;
        OptionId id;
        int expected;
    };
    const Case cases[] = {
        {"buffer lines 100", 3, {{0, "100"}}, OPT_BUFFER_LINES, 500},
        {"buffer lines 499", 3, {{0, "499"}}, OPT_BUFFER_LINES, 500},
        {"buffer lines 600", 3, {{0, "600"}}, OPT_BUFFER_LINES, 600},
        {"button height 30", 5, {{23, "30"}}, OPT_SWITCHBAR_BUTTON_HEIGHT, 29},
        {"button height 33", 5, {{23, "33"}}, OPT_SWITCHBAR_BUTTON_HEIGHT, 33},
        {"button height 37", 5, {{23, "37"}}, OPT_SWITCHBAR_BUTTON_HEIGHT, 37},
        {"max users 999", 4, {{6, "999"}}, OPT_CHANLIST_MAX_USERS, 9999},
        {"max users 998", 4, {{6, "998"}}, OPT_CHANLIST_MAX_USERS, 998},
        {"connect timeout 9", 4, {{16, "9"}}, OPT_CONNECT_TIMEOUT, 60},
        {"connect timeout 10", 4, {{16, "10"}}, OPT_CONNECT_TIMEOUT, 10},
        {"highlight 4", 4, {{21, "4"}}, OPT_HIGHLIGHT_UNSEEN, 1},
        {"highlight 3", 4, {{21, "3"}}, OPT_HIGHLIGHT_UNSEEN, 3},
        {"message colour 17", 4, {{27, "17"}}, OPT_ACTIVITY_COLOUR_MESSAGE, 5},
        {"n4.28 negative", 4, {{28, "-3"}}, OPT_N4_28, 0},
        {"event colour -1", 4, {{30, "-1"}}, OPT_ACTIVITY_COLOUR_EVENT, 3},
        {"pdcc negative", 5, {{11, "-5"}}, OPT_PDCC_SIZE, 0},
        {"pdcc positive", 5, {{11, "7"}}, OPT_PDCC_SIZE, 500000},
        {"fast text 5", 5, {{13, "5"}}, OPT_FAST_TEXT, 1},
        {"flood bytes 50", 5, {{18, "50"}}, OPT_FLOOD_BYTES, 100},
        {"flood bytes 1500", 5, {{18, "1500"}}, OPT_FLOOD_BYTES, 999},
        {"flood queue 9", 5, {{19, "9"}}, OPT_FLOOD_QUEUE_LINES, 10},
        {"flood user 2", 5, {{20, "2"}}, OPT_FLOOD_USER_LINES, 3},
        {"send rate -1", 5, {{27, "-1"}}, OPT_DCC_MAX_SEND_RATE, 0},
        {"send rate 0", 5, {{27, "0"}}, OPT_DCC_MAX_SEND_RATE, 0},
        {"send rate 100", 5, {{27, "100"}}, OPT_DCC_MAX_SEND_RATE, 512},
        {"send rate 600", 5, {{27, "600"}}, OPT_DCC_MAX_SEND_RATE, 600},
        {"switchbar rows 10", 5, {{30, "10"}}, OPT_SWITCHBAR_ROWS, 0},
        {"switchbar width 26", 5, {{31, "26"}}, OPT_SWITCHBAR_WIDTH, 115},
        {"switchbar width 500", 5, {{31, "500"}}, OPT_SWITCHBAR_WIDTH, 500},
        {"tray icon index -2", 6, {{13, "-2"}}, OPT_TRAY_ICON_INDEX, 0},
        {"log limit 50", 6, {{22, "50"}}, OPT_LOG_SIZE_LIMIT_KB, 100},
        {"highlight colour 17", 6, {{30, "17"}}, OPT_ACTIVITY_COLOUR_HIGHLIGHT, 4},
        {"n7.17 9", 7, {{17, "9"}}, OPT_EDITBOX_SPLIT, 70},
        {"n7.17 90", 7, {{17, "90"}}, OPT_EDITBOX_SPLIT, 90},
        {"toolbar side 4", 8, {{0, "4"}}, OPT_TOOLBAR_SIDE, 1},
        {"treebar side -1", 8, {{1, "-1"}}, OPT_TREEBAR_SIDE, 2},
        {"treebar width 23", 8, {{3, "23"}}, OPT_TREEBAR_WIDTH, 168},
        {"n8.7 3", 8, {{7, "3"}}, OPT_N8_7, 2},
        {"n8.22 29", 8, {{22, "29"}}, OPT_N8_22, 168},
        {"n8.23 3", 8, {{23, "3"}}, OPT_N8_23, 1},
        {"n8.24 2", 8, {{24, "2"}}, OPT_N8_24, 0},
        {"editbox lines 3", 1, {{7, "3"}}, OPT_EDITBOX_LINES, 0},
        {"paste lines -3", 1, {{35, "-3"}}, OPT_PASTE_CONFIRM_LINES, 0},
        {"packet size 5000", 0, {{20, "5000"}}, OPT_DCC_PACKET_SIZE, 8192},
        {"packet size 100", 0, {{20, "100"}}, OPT_DCC_PACKET_SIZE, 512},
        {"packet size 40000", 0, {{20, "40000"}}, OPT_DCC_PACKET_SIZE, 4096},
        {"filter minutes 0", 3, {{31, "0"}}, OPT_DCC_FILTER_REENABLE_MINUTES, 3},
        {"filter minutes 361", 3, {{31, "361"}}, OPT_DCC_FILTER_REENABLE_MINUTES, 3},
        {"filter countdown 0", 3, {{31, "2"}, {32, "0"}}, OPT_DCC_FILTER_COUNTDOWN, 120},
        {"filter countdown 121", 3, {{31, "2"}, {32, "121"}}, OPT_DCC_FILTER_COUNTDOWN, 120},
        {"filter countdown 60", 3, {{31, "2"}, {32, "60"}}, OPT_DCC_FILTER_COUNTDOWN, 60},
        {"filter countdown bad minutes", 3, {{31, "0"}, {32, "500"}}, OPT_DCC_FILTER_COUNTDOWN, 180},
        {"plain value kept", 2, {{20, "7"}}, OPT_DCC_MAX_SENDS, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options_reset();
        load_lines({{c.line, line_with(c.line, c.fields)}});
        EXPECT_EQ(opt(c.id), c.expected);
    }
}

TEST_F(OptionsTest, OnlineTimeWithMinutesOrSecondsAbove59IsReset)
{
    struct Case {
        const char* h;
        const char* m;
        const char* s;
        int expected[3];
    };
    const Case cases[] = {
        {"3", "75", "10", {0, 0, 0}},
        {"3", "10", "60", {0, 0, 0}},
        {"3", "60", "0", {0, 0, 0}},
        {"3", "59", "59", {3, 59, 59}},
        {"120", "0", "0", {120, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.h) + ":" + c.m + ":" + c.s);
        options_reset();
        load_lines({{1, line_with(1, {{4, c.h}, {5, c.m}, {6, c.s}})}});
        EXPECT_EQ(opt(OPT_ONLINE_TOTAL_HOURS), c.expected[0]);
        EXPECT_EQ(opt(OPT_ONLINE_TOTAL_MINUTES), c.expected[1]);
        EXPECT_EQ(opt(OPT_ONLINE_TOTAL_SECONDS), c.expected[2]);
        // The time module's counter follows the load.
        EXPECT_EQ(online_time_total.hours, c.expected[0]);
        EXPECT_EQ(online_time_total.minutes, c.expected[1]);
        EXPECT_EQ(online_time_total.seconds, c.expected[2]);
    }
}

TEST_F(OptionsTest, DccPortRange)
{
    struct Case {
        const char* first;
        const char* last;
        int expected_first;
        int expected_last;
    };
    const Case cases[] = {
        {"2000", "1000", 1024, 5000},  // last below first: both reset
        {"0", "4000", 1, 4000},        // 0 becomes 1
        {"2000", "2000", 2000, 2000},
        {"70000", "65535", 4464, 65535},  // 16-bit values
        {"3000", "-1", 3000, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + "-" + c.last);
        options_reset();
        load_lines({{4, line_with(4, {{12, c.first}, {25, c.last}})}});
        EXPECT_EQ(opt(OPT_DCC_FIRST_PORT), c.expected_first);
        EXPECT_EQ(opt(OPT_DCC_LAST_PORT), c.expected_last);
    }
}

TEST_F(OptionsTest, LocalAddressLookupFollowsLocalHostLookup)
{
    load_lines({{1, line_with(1, {{11, "1"}})}, {3, line_with(3, {{11, "0"}})}});
    EXPECT_EQ(opt(OPT_LOOKUP_LOCAL_ADDRESS), 1);
    options_reset();
    load_lines({{1, line_with(1, {{11, "0"}})}, {3, line_with(3, {{11, "0"}})}});
    EXPECT_EQ(opt(OPT_LOOKUP_LOCAL_ADDRESS), 0);
}

TEST_F(OptionsTest, DualMonitorSettingFollowsTheMonitorCount)
{
    // Without an application there are no screens: the stored 2 stays.
    load_lines({});
    EXPECT_EQ(opt(OPT_DUAL_MONITORS), 2);

    // Each case in a fresh child process with a real application of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        int screens;
        std::string lines;
        int expected;
    };
    const std::string zero = "n1=" + line_with(1, {{16, "0"}}) + "\n";
    const Case cases[] = {
        {1, "", 2},
        {2, "", 1},
        {3, "", 1},
        {2, zero, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.screens) + " screens " + c.lines);
        EXPECT_EXIT(load_with_screens(c.screens, root_, c.lines), ::testing::ExitedWithCode(c.expected), "");
    }
}

TEST_F(OptionsTest, ReservedPositionsAreDroppedAndWrittenAsZero)
{
    struct Case {
        int line;
        int pos;
    };
    const Case cases[] = {{1, 27}, {2, 14}, {2, 16}, {2, 24}, {3, 8}, {3, 21}, {4, 24}, {6, 0}, {6, 10}, {6, 25}};
    for (const Case& c : cases) {
        SCOPED_TRACE("n" + std::to_string(c.line) + "." + std::to_string(c.pos));
        options_reset();
        load_lines({{c.line, line_with(c.line, {{c.pos, "7"}})}});
        EXPECT_EQ(option_value(c.line, c.pos, -1), 0);
        option_set_value(c.line, c.pos, 9);
        EXPECT_EQ(option_value(c.line, c.pos, -1), 0);
        EXPECT_EQ(options_line_text(c.line), kDefaultLines[c.line]);
    }
}

TEST_F(OptionsTest, OlderDefaultPortIsReportedAndWrittenAsZero)
{
    load_lines({{5, line_with(5, {{10, "7000"}})}});
    EXPECT_EQ(options_old_default_port, 7000);
    EXPECT_EQ(opt(OPT_OLD_DEFAULT_PORT), 0);
    EXPECT_EQ(options_line_text(5), kDefaultLines[5]);

    load_lines({{5, line_with(5, {{10, "-3"}})}});
    EXPECT_EQ(options_old_default_port, 0);
    load_lines({});
    EXPECT_EQ(options_old_default_port, 0);
}

// ---------------------------------------------------------------------------
// Save and the globals of other parts.

TEST_F(OptionsTest, ChangedValuesSurviveASaveAndALoad)
{
    const std::pair<OptionId, int> changes[] = {
        {OPT_CONNECT_ON_STARTUP, 1}, {OPT_BEEP_COUNT, 3},       {OPT_LOG_RELOAD, 3},
        {OPT_BUFFER_LINES, 20000},   {OPT_DCC_FIRST_PORT, 2000}, {OPT_DCC_LAST_PORT, 3000},
        {OPT_FLOOD_BYTES, 500},      {OPT_TRANSPARENCY, 35},    {OPT_TIMEOUT_CHECK, 0},
        {OPT_N8_24, 1},              {OPT_ALIAS_FILE_INDEX, 4},  {OPT_STRIP_INCOMING, 9},
    };
    for (const auto& [id, value] : changes)
        opt_set(id, value);
    ini_save_options();
    options_reset();
    EXPECT_EQ(opt(OPT_BEEP_COUNT), 5);
    options_load();
    for (const auto& [id, value] : changes)
        EXPECT_EQ(opt(id), value) << "line " << option_id_line(id) << " position " << option_id_position(id);
    // Untouched positions keep their defaults.
    EXPECT_EQ(opt(OPT_BEEP_DELAY), 100);
    EXPECT_EQ(opt(OPT_MENUBAR_SHOWN), 1);
}

TEST_F(OptionsTest, SavingTheSameValuesLeavesTheFileAlone)
{
    options_load();
    ini_save_options();
    const std::string before = slurp(main_ini_path);
    const auto stamp = fs::last_write_time(main_ini_path);
    ini_save_options();
    EXPECT_EQ(slurp(main_ini_path), before);
    EXPECT_EQ(fs::last_write_time(main_ini_path), stamp);
}

TEST_F(OptionsTest, OtherSectionsOfTheFileAreKept)
{
    spit(main_ini_path, "[text]\nquit=bye\n\n[options]\nn0=1\nn9=keep\n");
    options_load();
    ini_save_options();
    std::string quit, n9;
    ini_read("text", "quit", "", quit, 1074, main_ini_path);
    ini_read("options", "n9", "", n9, 1074, main_ini_path);
    EXPECT_EQ(quit, "bye");
    EXPECT_EQ(n9, "keep");
}

TEST_F(OptionsTest, StripAndOnlineTimerSettingsFollowTheirGlobals)
{
    load_lines({{0, line_with(0, {{28, "1"}, {29, "12"}})}, {5, line_with(5, {{24, "9"}})},
                {1, line_with(1, {{2, "0"}})}});
    EXPECT_EQ(strip_setting_flags, 9);
    EXPECT_EQ(strip_setting_over_only, 1);
    EXPECT_EQ(strip_setting_over_count, 12);
    EXPECT_EQ(opt_online_timer, 0);

    // Changes made through the globals (the /strip command, the online timer)
    // are what the save writes.
    strip_setting_flags = 3;
    opt_online_timer = 1;
    online_time_total = {5, 6, 7};
    ini_save_options();
    options_reset();
    options_load();
    EXPECT_EQ(opt(OPT_STRIP_INCOMING), 3);
    EXPECT_EQ(opt(OPT_ONLINE_TIMER), 1);
    EXPECT_EQ(opt(OPT_ONLINE_TOTAL_HOURS), 5);
    EXPECT_EQ(opt(OPT_ONLINE_TOTAL_MINUTES), 6);
    EXPECT_EQ(opt(OPT_ONLINE_TOTAL_SECONDS), 7);

    // And a change through opt_set reaches the globals at once.
    opt_set(OPT_STRIP_OVER_COUNT, 77);
    EXPECT_EQ(strip_setting_over_count, 77);
}

}  // namespace
