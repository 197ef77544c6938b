#include "core/time_date.h"
#include "support/hook_guard.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Seconds since 1970 of a UTC date and time.
std::time_t utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return timegm(&tm);
}

// POSIX zone rules, so the tests need no zone database.
constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kIstanbul = "<+03>-3";
constexpr const char* kIndia = "IST-5:30";

// Fixes the time zone and the clock; restores them and the settings after.
class TimeTest : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    static std::time_t fixed_now;
    static std::time_t fixed_clock() { return fixed_now; }

    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        had_tz_ = tz != nullptr;
        if (had_tz_) saved_tz_ = tz;
        saved_stamp_ = time_stamp_format;
        saved_log_stamp_ = time_log_stamp_format;
        time_clock = fixed_clock;
        fixed_now = utc(2009, 1, 1, 10, 20, 30);
        use_zone("UTC0");
    }
    void TearDown() override
    {
        time_stamp_format = saved_stamp_;
        time_log_stamp_format = saved_log_stamp_;
        if (had_tz_)
            setenv("TZ", saved_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void use_zone(const char* tz)
    {
        setenv("TZ", tz, 1);
        tzset();
    }
    static std::string format(std::time_t t, const std::string& fmt, int gmt = 0)
    {
        std::string s = fmt;
        time_format_user(t, s, gmt);
        return s;
    }

private:
    bool had_tz_ = false;
    std::string saved_tz_;
    std::string saved_stamp_, saved_log_stamp_;
};

std::time_t TimeTest::fixed_now = 0;

// ---------------------------------------------------------------------------
// Durations.

TEST(Duration, SecondsToWordsAndClock)
{
    struct Case {
        const char* input;
        int kind;
        const char* expected;
    };
    const Case cases[] = {
        {"0", 0, "0secs"},
        {"1", 0, "1sec"},
        {"2", 0, "2secs"},
        {"61", 0, "1min 1sec"},
        {"120", 0, "2mins"},
        {"3600", 0, "1hr"},
        {"7322", 0, "2hrs 2mins 2secs"},
        {"86400", 0, "1day"},
        {"90061", 0, "1day 1hr 1min 1sec"},
        {"694861", 0, "1wk 1day 1hr 1min 1sec"},
        {"1389722", 0, "2wks 2days 2hrs 2mins 2secs"},
        {"1209600", 0, "2wks"},
        {"59.2", 0, "1min"},            // rounded up
        {"0.5", 0, "1sec"},
        {"3661", 3, "01:01:01"},
        {"0", 3, "00:00:00"},
        {"694861", 3, "193:01:01"},     // weeks and days counted as hours
        {"59", 3, "00:00:59"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " kind " + std::to_string(c.kind));
        std::string out = "stale";
        time_duration_text(c.input, out, c.kind);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(Duration, WordsAndClockTextsBackToSeconds)
{
    struct Case {
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"1wk 2days", "777600"},
        {"1wk 1day 1hr 1min 1sec", "694861"},
        {"3hrs 5mins", "11100"},
        {"1 wk", "604800"},             // the unit may follow after blanks
        {"1.5h", "5400"},
        {"2x 4s", "4"},                 // an unknown unit counts 0
        {"wk 4s", "4"},                 // words without a number are skipped
        {"abc", "0"},
        {"", "0"},
        {"01:00:00", "3600"},
        {"1:30", "90"},
        {":30", "30"},
        {"1:2:3:4:5", "788645"},        // weeks, days, hours, minutes, seconds
        {"9:1:2:3:4:5", "788645"},      // a sixth field counts 0
        {"1:00:00:00:00:00:00", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::string out;
        time_duration_text(c.input, out, 0);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(Duration, ShortForms)
{
    struct Case {
        const char* text;
        double seconds;
        int kind;
        const char* expected;
    };
    const Case cases[] = {
        {"", 3600, 0, "1hr"},
        {"", 3600, 3, "1 hr"},
        {"", 0, 0, "0secs"},
        {"", 0, 3, "0 secs"},
        {"", 3661, 0, "1hr 1min 1sec"},
        {"", 7322, 0, "2hrs 2mins 2secs"},
        {"", 120, 3, "2 mins"},
        {"", 59.5, 0, "1min"},
        {"", 3661, 1, "01:01:01"},
        {"", 3661, 2, "01:01"},
        {"", 90000, 1, "25:00:00"},
        {"", 5, 7, "00:00:05"},
        {"125", 0, 0, "2mins 5secs"},   // seconds not above 0: the text's number
        {" 61", -3, 0, "1min 1sec"},
        {"abc", 0, 0, "0secs"},
        {"999", 10, 0, "10secs"},       // seconds above 0 win
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + "/" + std::to_string(c.seconds) + " kind " + std::to_string(c.kind));
        EXPECT_EQ(time_duration_short(c.text, c.seconds, c.kind), c.expected);
    }
}

// ---------------------------------------------------------------------------
// Format letters.

TEST_F(TimeTest, FormatLetters)
{
    const std::time_t morning = utc(2009, 2, 22, 9, 5, 7);
    const std::time_t afternoon = utc(2009, 2, 22, 13, 0, 0);
    const std::time_t midnight = utc(2009, 2, 22, 0, 30, 0);
    const std::time_t noon = utc(2009, 2, 22, 12, 0, 0);
    const std::time_t noon_last = utc(2009, 2, 22, 12, 59, 59);
    const std::time_t before_noon = utc(2009, 2, 22, 11, 59, 59);
    struct Case {
        std::time_t t;
        const char* fmt;
        const char* expected;
    };
    const Case cases[] = {
        {morning, "HH:nn", "09:05"},
        {morning, "H:n", "9:5"},
        {morning, "s ss", "7 07"},
        {morning, "hh:nn tt", "09:05 am"},
        {morning, "h T TT t", "9 A AM a"},
        {afternoon, "h tt HH", "1 pm 13"},
        {afternoon, "hh TT", "01 PM"},
        {midnight, "h hh H", "12 12 0"},
        {midnight, "t tt", "a am"},
        {before_noon, "h:nn tt t", "11:59 am a"},
        {noon, "h:nn tt t", "12:00 pm p"},         // the hour from 12:00 to 12:59 is pm
        {noon_last, "hh:nn TT T", "12:59 PM P"},
        {morning, "d dd ddd dddd", "22 22 Sun Sunday"},
        {morning, "m mm mmm mmmm", "2 02 Feb February"},
        {morning, "yy yyyy", "09 2009"},
        {morning, "y yyy", "y 09y"},
        {morning, "HHH", "099"},        // a longer run starts a new group
        {morning, "ddddd", "Sunday22"},
        {morning, "dd/mm/yyyy HH:nn:ss", "22/02/2009 09:05:07"},
        {morning, "[HH:nn] <x>", "[09:05] <x>"},
        {morning, "doo mmmm", "22nd February"},
        {morning, "%Y!", "%Y!"},        // other characters stand for themselves
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fmt);
        std::string s = c.fmt;
        EXPECT_EQ(time_format_user(c.t, s, 0), 1);
        EXPECT_EQ(s, c.expected);
    }
}

TEST_F(TimeTest, OrdinalSuffixes)
{
    struct Case {
        int day;
        const char* expected;
    };
    const Case cases[] = {{1, "1st"},   {2, "2nd"},   {3, "3rd"},   {4, "4th"},   {10, "10th"}, {11, "11th"},
                          {12, "12th"}, {13, "13th"}, {21, "21st"}, {22, "22nd"}, {23, "23rd"}, {31, "31st"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.day);
        EXPECT_EQ(format(utc(2009, 1, c.day, 12), "doo"), c.expected);
    }
    EXPECT_EQ(format(utc(2009, 1, 1), "111oo oo"), "111th oo");
}

TEST_F(TimeTest, ZoneOffsetInForceAtTheFormattedTime)
{
    const std::time_t winter = utc(2009, 1, 15, 12);
    const std::time_t summer = utc(2009, 7, 15, 12);
    struct Case {
        const char* zone;
        std::time_t t;
        const char* z;
        const char* zz;
    };
    const Case cases[] = {
        {kNewYork, winter, "-5", "-0500"},
        {kNewYork, summer, "-4", "-0400"},
        {kBerlin, winter, "+1", "+0100"},
        {kBerlin, summer, "+2", "+0200"},
        {kIstanbul, winter, "+3", "+0300"},
        {kIstanbul, summer, "+3", "+0300"},
        {kIndia, winter, "+5", "+0530"},
        {"UTC0", summer, "+0", "+0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + (c.t == winter ? " winter" : " summer"));
        use_zone(c.zone);
        time_set_timezone();
        EXPECT_EQ(format(c.t, "z"), c.z);
        EXPECT_EQ(format(c.t, "Z"), c.z);
        EXPECT_EQ(format(c.t, "zz"), c.zz);
        EXPECT_EQ(format(c.t, "ZZ"), c.zz);
        EXPECT_EQ(format(c.t, "zzz"), std::string(c.zz) + " GMT");
        EXPECT_EQ(format(c.t, "zZz"), std::string(c.zz) + " GMT");
    }
}

TEST_F(TimeTest, GmtAndLocalConversion)
{
    use_zone(kBerlin);
    const std::time_t t = utc(2009, 7, 15, 12, 30);
    EXPECT_EQ(format(t, "HH:nn"), "14:30");
    EXPECT_EQ(format(t, "HH:nn", 1), "12:30");
    use_zone(kNewYork);
    EXPECT_EQ(format(t, "dd HH"), "15 08");
    EXPECT_EQ(format(utc(2009, 7, 15, 2), "dd HH"), "14 22");
}

TEST_F(TimeTest, FormatLimitsAndFailures)
{
    std::string s(3000, 'x');
    EXPECT_EQ(time_format_user(0, s, 0), 1);
    EXPECT_EQ(s.size(), 1024u);

    // Month names near the limit cannot push the result past it.
    s.assign(1022, 'x');
    s += "mmmm";
    time_format_user(0, s, 0);
    EXPECT_LE(s.size(), 1024u);

    s = "";
    EXPECT_EQ(time_format_user(0, s, 0), 0);

    // A time the conversion cannot handle empties the text.
    s = "HH:nn";
    EXPECT_EQ(time_format_user(static_cast<std::time_t>(LLONG_MAX), s, 0), 0);
    EXPECT_EQ(s, "");
    s = "HH:nn";
    EXPECT_EQ(time_format_user(static_cast<std::time_t>(LLONG_MAX), s, 1), 0);
    EXPECT_EQ(s, "");
}

// ---------------------------------------------------------------------------
// Fixed texts and stamps.

TEST_F(TimeTest, CtimeTexts)
{
    EXPECT_EQ(time_ctime_text(0), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(time_ctime_text(utc(2009, 2, 22, 9, 5, 7)), "Sun Feb 22 09:05:07 2009");
    EXPECT_EQ(time_ctime_from_text("86400", true), "Fri Jan 02 00:00:00 1970");
    EXPECT_EQ(time_ctime_from_text("86400", false), "Fri Jan 02 00:00:00");
    EXPECT_EQ(time_ctime_from_text("junk", true), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(time_ctime_text(static_cast<std::time_t>(LLONG_MAX)), "");
    use_zone(kIstanbul);
    EXPECT_EQ(time_ctime_text(0), "Thu Jan 01 03:00:00 1970");
}

TEST_F(TimeTest, StampTexts)
{
    struct Case {
        const char* stamp;
        const char* log_stamp;
        int kind;
        const char* expected;
    };
    const Case cases[] = {
        {"", "", 0, "[HH:nn]"},
        {"", "", 1, "[10:20]"},
        {"", "", 2, "[HH:nn]"},
        {"", "", 3, "[10:20]"},
        {"HH:nn:ss", "", 1, "10:20:30"},
        {"HH:nn:ss", "", 3, "10:20:30"},   // the log stamp follows the timestamp
        {"HH:nn:ss", "dd/mm", 3, "01/01"},
        {"HH:nn:ss", "dd/mm", 2, "dd/mm"},
        {"[HH:nn]", "", 4, ""},
        {"[HH:nn]", "", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stamp) + "|" + c.log_stamp + " kind " + std::to_string(c.kind));
        time_stamp_format = c.stamp;
        time_log_stamp_format = c.log_stamp;
        std::string out = "stale";
        time_stamp_text(out, c.kind);
        EXPECT_EQ(out, c.expected);
    }
    // An empty setting is filled in for later readers.
    time_stamp_format.clear();
    time_log_stamp_format.clear();
    std::string out;
    time_stamp_text(out, 0);
    EXPECT_EQ(time_stamp_format, "[HH:nn]");
    EXPECT_EQ(time_log_stamp_format, "[HH:nn]");
}

TEST_F(TimeTest, ElapsedSince)
{
    const std::string before = std::to_string(fixed_now - 100);
    const std::string after = std::to_string(fixed_now + 100);
    EXPECT_EQ(time_elapsed_since(before.c_str(), 0), 100);
    EXPECT_EQ(time_elapsed_since(before.c_str(), 1), fixed_now - 100);
    EXPECT_EQ(time_elapsed_since(after.c_str(), 0), 0);
    EXPECT_EQ(time_elapsed_since("0", 1), fixed_now);
    EXPECT_EQ(time_elapsed_since("0", 0), 0);
    EXPECT_EQ(time_elapsed_since("", 1), 0);
    EXPECT_EQ(time_elapsed_since(nullptr, 1), 0);
    use_zone(kNewYork); // the round trip through local time keeps the value
    EXPECT_EQ(time_elapsed_since(before.c_str(), 1), fixed_now - 100);
}

TEST_F(TimeTest, SetTimezoneReadsOffsetAndDaylight)
{
    struct Case {
        const char* zone;
        std::time_t now;
        long offset;
        int daylight;
    };
    const Case cases[] = {
        {kNewYork, utc(2009, 1, 15), 18000, 0},
        {kNewYork, utc(2009, 7, 15), 18000, 1},
        {kBerlin, utc(2009, 7, 15), -3600, 1},
        {kIstanbul, utc(2009, 7, 15), -10800, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        use_zone(c.zone);
        fixed_now = c.now;
        time_set_timezone();
        EXPECT_EQ(time_tz_offset, c.offset);
        EXPECT_EQ(time_tz_daylight, c.daylight);
    }
}

// ---------------------------------------------------------------------------
// Reading dates.

TEST_F(TimeTest, ParseDates)
{
    const std::string eve = std::to_string(utc(2008, 12, 31, 23, 59));
    struct Case {
        const char* text;
        std::string expected;
    };
    const Case cases[] = {
        {"31/12/2008 23:59", eve},
        {"2008-12-31 23:59", eve},
        {"dec 31st 2008 11:59pm", eve},
        {"Dec 31st 2008 11:59 PM", eve},
        {"December 31 2008 23:59:00", eve},
        {"2008 31 dec 23:59", eve},
        {"31.12.08 23:59", eve},            // two-digit year, 38 or less
        {"31\\12\\2008 23:59", eve},
        {"22nd dec 2008 10:00", std::to_string(utc(2008, 12, 22, 10))},
        {"29/02/2008 10:00", std::to_string(utc(2008, 2, 29, 10))},
        {"1/1/2009", std::to_string(utc(2009, 1, 1, 10, 20, 30))}, // the clock's time of day
        {"1/1/38 00:00", std::to_string(utc(2038, 1, 1))},
        {"1/1/0 00:00", std::to_string(utc(2000, 1, 1))},
        {"1/1/1970 00:00:00", "0"},
        {"1 jan 70 00:00:01", "1"},
        {"12:00am 2/1/2009", std::to_string(utc(2009, 1, 2, 0))},
        {"12:30 am 2/1/2009", std::to_string(utc(2009, 1, 2, 0, 30))},
        {"am 12:30 2/1/2009", std::to_string(utc(2009, 1, 2, 12, 30))}, // before any time: ignored
        {"31/12/2008 23:59:59", std::to_string(utc(2008, 12, 31, 23, 59, 59))},
        {"30/02/2008", ""},
        {"29/02/2009", ""},
        {"29/02/1900 00:00", ""},
        {"31/04/2009", ""},
        {"1/1/39 00:00", ""},               // 1939: before 1970
        {"31/12/1969 23:59:59", ""},
        {"1/13/2009", ""},
        {"0 jan 2009", ""},
        {"32nd jan 2009", ""},
        {"1/1/2009 24:00", ""},
        {"1/1/2009 12:60", ""},
        {"1/1/2009 12:", ""},
        {"1/1/2009 :30", ""},
        {"1.2.3.4 10:00", ""},
        {"0/1/2009", ""},
        {"1.5", ""},                        // no year
        {"hello world", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string out = "stale";
        time_parse_date(c.text, out);
        EXPECT_EQ(out, c.expected);
    }
}

TEST_F(TimeTest, ParseDatesInLocalTime)
{
    use_zone(kNewYork);
    std::string out;
    time_parse_date("15/7/2009 12:00", out);
    EXPECT_EQ(out, std::to_string(utc(2009, 7, 15, 16))); // summer time, UTC-4
    time_parse_date("15/1/2009 12:00", out);
    EXPECT_EQ(out, std::to_string(utc(2009, 1, 15, 17))); // winter, UTC-5
    time_parse_date("31/12/2009 23:59:59", out);
    EXPECT_EQ(out, std::to_string(utc(2010, 1, 1, 4, 59, 59)));

    // Hostile input: long, no blanks, only separators.
    const std::string junk(5000, '/');
    time_parse_date(junk, out);
    EXPECT_EQ(out, "");
    const std::string many_words(5000, '9');
    time_parse_date(many_words, out);
    EXPECT_EQ(out, "");
}

// ---------------------------------------------------------------------------
// Online time.

int g_h, g_m, g_s;
int g_dialog_calls, g_title_calls;

class OnlineTimeTest : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        saved_timer_ = opt_online_timer;
        saved_total_ = online_time_total;
        saved_first_ = online_time_first;
        saved_second_ = online_time_second;
        moved_listener_ = online_time_moved.add(kOnlineTimeDialog, [](bool) { ++g_dialog_calls; });
        carried_listener_ = online_time_moved.add(kOnlineTimeCaptions, [](bool carried) {
            if (carried)
                ++g_title_calls;
        });
        opt_online_timer = 1;
        online_time_total = {};
        online_time_first = {};
        online_time_second = {};
        g_h = g_m = g_s = 0;
        g_dialog_calls = g_title_calls = 0;
    }
    void TearDown() override
    {
        online_time_moved.drop(moved_listener_);
        online_time_moved.drop(carried_listener_);
        opt_online_timer = saved_timer_;
        online_time_total = saved_total_;
        online_time_first = saved_first_;
        online_time_second = saved_second_;
    }

private:
    int saved_timer_ = 1;
    OnlineTime saved_total_, saved_first_, saved_second_;
    int moved_listener_ = 0;
    int carried_listener_ = 0;
};

TEST_F(OnlineTimeTest, ConnectionCounterCarries)
{
    g_h = 0;
    g_m = 59;
    g_s = 30;
    online_time_add_connection(45, g_h, g_m, g_s);
    EXPECT_EQ(g_h, 1);
    EXPECT_EQ(g_m, 0);
    EXPECT_EQ(g_s, 15);
    EXPECT_EQ(online_time_first.seconds, 45);
    EXPECT_EQ(online_time_total.seconds, 0); // the total moves only without a connection
    EXPECT_EQ(online_time_second.seconds, 0);
    EXPECT_EQ(g_dialog_calls, 1);
    EXPECT_EQ(g_title_calls, 1);

    online_time_add_connection(10, g_h, g_m, g_s); // no carry: titles stay
    EXPECT_EQ(g_s, 25);
    EXPECT_EQ(g_title_calls, 1);
    EXPECT_EQ(g_dialog_calls, 2);

    online_time_add_connection(7265, g_h, g_m, g_s); // 2:01:05 more
    EXPECT_EQ(g_h, 3);
    EXPECT_EQ(g_m, 1);
    EXPECT_EQ(g_s, 30);
}

TEST_F(OnlineTimeTest, TotalsWithoutConnection)
{
    online_time_total = {5, 10, 50};
    online_time_add(15);
    EXPECT_EQ(online_time_total.hours, 5);
    EXPECT_EQ(online_time_total.minutes, 11);
    EXPECT_EQ(online_time_total.seconds, 5);
    EXPECT_EQ(online_time_second.seconds, 15);
    EXPECT_EQ(online_time_first.seconds, 0);
    EXPECT_EQ(g_title_calls, 1);
}

TEST_F(OnlineTimeTest, NegativeResetsAndTimerOff)
{
    g_s = 10;
    online_time_add_connection(-20, g_h, g_m, g_s);
    EXPECT_EQ(g_h + g_m + g_s, 0);

    // Another connection's time: this counter is left, the program-wide one moves.
    int oh = 0, om = 0, os = 0;
    online_time_add_connection(5, oh, om, os);
    EXPECT_EQ(os, 5);
    EXPECT_EQ(g_h + g_m + g_s, 0);
    EXPECT_EQ(online_time_first.seconds, 5);

    opt_online_timer = 0;
    const int calls = g_dialog_calls;
    online_time_add_connection(100, g_h, g_m, g_s);
    online_time_add(100);
    EXPECT_EQ(g_s, 0);
    EXPECT_EQ(online_time_total.seconds, 0);
    EXPECT_EQ(g_dialog_calls, calls);
}

} // namespace
