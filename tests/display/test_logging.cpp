// Log files on real files in a temporary log folder at a fixed date: names
// with network and date, hostile network names, header lines, written
// lines, the day change, trimming, switching a window's logging and
// merging.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/tick.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "display/logging.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"

// From test_line_buffer.cpp.
void lines_test_reset();
Connection* lines_test_conn();
WindowRecord* lines_test_open(const std::string& name, int type, int subtype, Connection* conn);
void lines_test_clear(WindowRecord* rec);

namespace {

namespace fs = std::filesystem;

bool starts_with(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::time_t local_time(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::time_t g_now = 0;
std::vector<std::string> g_echoes;

class LoggingTest : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
        saved_log_dir_ = main_settings.log_dir;
        saved_sep_ = main_settings.line_separator;
        saved_stamp_ = time_stamp_format;
        saved_log_stamp_ = time_log_stamp_format;
        // Deep enough that a name climbing out of the log folder still lands
        // in the temporary folder, where the test can see it.
        logs_ = root_ + "d1/d2/logs/";
        fs::create_directories(logs_);
        main_settings.log_dir = logs_;
        main_settings.line_separator = "-";
        time_stamp_format = "[HH:nn]";
        time_log_stamp_format = "";
        g_now = local_time(2008, 12, 31, 12, 0, 0);
        log_hooks = LogHooks{};
        g_echoes.clear();
        log_options();
        for (int k = 0; k < kColorItemCount; ++k)
            saved_items_[k] = color_items[k];
        color_items_init();
        for (ColorItem& item : color_items)
            item.current = item.default_index;
        log_last_day = 0;
    }

    // The clock and the log options every test starts from.
    void log_options()
    {
        time_clock = [] { return g_now; };
        options_reset();
        opt_set(OPT_LOG_DATE_FILENAMES, 0);
        opt_set(OPT_LOG_BY_NETWORK, 1);
        opt_set(OPT_LOG_MAKE_FOLDERS, 0);
        opt_set(OPT_LOG_STRIP_CODES, 0);
        opt_set(OPT_LOG_TIMESTAMP, 1);
        opt_set(OPT_LOG_COLOURS, 1);
        opt_set(OPT_LOG_UNLOCKED, 0);
        opt_set(OPT_LOG_SIZE_LIMIT, 0);
    }

    void TearDown() override
    {
        if (shown_) {
            for (WindowRecord* rec = win_list; rec; rec = rec->next) {
                if (rec->log_file != -1)
                    ::close(rec->log_file);
                rec->log_file = -1;
                rec->logging = 0;
            }
            lines_test_reset();
        }
        for (WindowRecord* rec : records_) {
            if (rec->log_file != -1)
                ::close(rec->log_file);
            rec->log_file = -1;
            rec->logging = 0;
            win_record_free(rec);
        }
        for (Connection* c : conns_)
            conn_free(c);
        options_reset();
        for (int k = 0; k < kColorItemCount; ++k)
            color_items[k] = saved_items_[k];
        log_last_day = 0;
        time_stamp_format = saved_stamp_;
        time_log_stamp_format = saved_log_stamp_;
        main_settings.log_dir = saved_log_dir_;
        main_settings.line_separator = saved_sep_;
    }

    WindowRecord* record(int type, int subtype, const std::string& name, Connection* conn = nullptr)
    {
        WindowRecord* rec = win_record_new(1);
        rec->type = type;
        rec->subtype = subtype;
        rec->name = name;
        rec->conn = conn;
        records_.push_back(rec);
        return rec;
    }

    // A shown channel window of a live connection, not logging, its buffer
    // empty, with the test's settings folder kept.
    WindowRecord* shown_channel(const std::string& name)
    {
        const std::string dir = settings_dir, ini = main_ini_path;
        lines_test_reset();
        settings_dir = dir;
        main_ini_path = ini;
        log_options();
        shown_ = true;
        WindowRecord* rec = lines_test_open(name, kWinChannel, 0, lines_test_conn());
        if (rec) {
            // Not logging until the test says so.
            log_set_window_mode(rec, 0, 0, 0, "", 3, 0);
            lines_test_clear(rec);
        }
        return rec;
    }

    // The lines a window shows, the display parts of one printed line
    // joined, separators left out.
    static std::vector<std::string> shown_lines(const WindowRecord* rec)
    {
        std::vector<std::string> out;
        int serial = -1;
        for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next) {
            if (n->text == "-" || n->text.empty())
                continue;
            if (n->serial == serial && !out.empty())
                out.back() += n->text;
            else
                out.push_back(n->text);
            serial = n->serial;
        }
        return out;
    }

    Connection* connection(const std::string& network)
    {
        Connection* c = conn_new(nullptr);
        c->network = network;
        conns_.push_back(c);
        return c;
    }

    // Files of the log folder (and its subfolders), relative to it.
    std::vector<std::string> log_files() const
    {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(logs_)) {
            if (e.is_regular_file())
                out.push_back(fs::relative(e.path(), logs_).string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    TempSettingsDir temp_{"kest_logging_"};
    std::string root_, logs_;
    std::string saved_log_dir_, saved_sep_, saved_stamp_, saved_log_stamp_;
    ColorItem saved_items_[kColorItemCount];
    std::vector<WindowRecord*> records_;
    std::vector<Connection*> conns_;
    bool shown_ = false;
};

// ---- Names ----

TEST_F(LoggingTest, WindowNamesBecomeSafeFileNames)
{
    struct Case {
        const char* window;
        const char* file;
    };
    const Case cases[] = {
        {"Status Window", "status.log"},     {"status window", "status.log"},
        {"Message Window", "messages.log"},  {"Finger Window", "finger.log"},
        {"Links List", "links.log"},         {"Urls List", "urls.log"},
        {"Notify List", "notify.log"},       {"Channels List", "chanlist.log"},
        {"#test", "#test.log"},              {"#with blank", "#with blank.log"},
        {"bob", "bob.log"},                  {"Chat bob", "bob.log"},
        {"old.LOG", "old.LOG"},              {"a/b", "a_b.log"},
        {"..", "_..log"},                    {"x:y*z?", "x_y_z_.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window);
        std::string out;
        EXPECT_EQ(log_base_name(c.window, out, nullptr), 1);
        EXPECT_EQ(out, c.file);
    }
    std::string long_name(400, 'n');
    std::string out;
    log_base_name(long_name, out, nullptr);
    EXPECT_EQ(out, std::string(256, 'n') + ".log");
}

TEST_F(LoggingTest, ComposedPathsCarryNetworkAndDate)
{
    Connection* efnet = connection("EFnet");
    struct Case {
        const char* what;
        int type;
        int dated;
        int period;
        int status_undated;
        int folders;
        int use_network;
        int days_back;
        int day;         // day of December 2008 (0: 1 January 2009)
        const char* file;
        const char* expected;
        int bits;
    };
    const Case cases[] = {
        {"dated channel", kWinChannel, 1, 0, 0, 0, 0, 0, 31, "#test.log", "#test.20081231.log", 4},
        {"undated", kWinChannel, 0, 0, 0, 0, 0, 0, 31, "#test.log", "#test.log", 0},
        {"weekly on the 16th", kWinQuery, 1, 1, 0, 0, 0, 0, 16, "bob.log", "bob.20081214.log", 4},
        {"weekly on the 6th", kWinQuery, 1, 1, 0, 0, 0, 0, 6, "bob.log", "bob.20081201.log", 4},
        {"weekly on the 7th", kWinQuery, 1, 1, 0, 0, 0, 0, 7, "bob.log", "bob.20081207.log", 4},
        {"weekly on the 31st", kWinQuery, 1, 1, 0, 0, 0, 0, 31, "bob.log", "bob.20081221.log", 4},
        {"monthly", kWinQuery, 1, 2, 0, 0, 0, 0, 31, "bob.log", "bob.20081201.log", 4},
        {"a day back over the year", kWinChannel, 1, 0, 0, 0, 0, 1, 0, "#t.log", "#t.20081231.log", 4},
        {"status excepted", kWinStatus, 1, 0, 1, 0, 0, 0, 31, "status.log", "status.log", 0},
        {"status dated", kWinStatus, 1, 0, 0, 0, 0, 0, 31, "status.log", "status.20081231.log", 4},
        {"network in the name", kWinChannel, 1, 0, 0, 0, 1, 0, 31, "#test.log",
         "#test.EFnet.20081231.log", 6},
        {"network folder", kWinChannel, 1, 0, 0, 1, 1, 0, 31, "#test.log",
         "EFnet/#test.20081231.log", 5},
        {"network only for status, channel, query", kWinCustom, 0, 0, 0, 0, 1, 0, 31, "@w.log",
         "@w.log", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        opt_set(OPT_LOG_DATE_FILENAMES, c.dated);
        opt_set(OPT_LOG_DATE_PERIOD, c.period);
        opt_set(OPT_LOG_STATUS_SEPARATE, c.status_undated);
        opt_set(OPT_LOG_MAKE_FOLDERS, c.folders);
        g_now = c.day ? local_time(2008, 12, c.day, 12, 0, 0) : local_time(2009, 1, 1, 0, 30, 0);
        std::string out;
        EXPECT_EQ(log_compose_path(logs_ + c.file, c.type, c.use_network, c.days_back, efnet, out),
                  c.bits);
        EXPECT_EQ(out, logs_ + c.expected);
    }
}

TEST_F(LoggingTest, HostileNetworkNamesStayInsideTheLogFolder)
{
    const char* names[] = {"../x", "..", ".", "a/b", "con", "../../etc", "x/../../y", "/abs",
                           "a\\..\\b", "..."};
    for (int folders = 0; folders <= 1; ++folders) {
        for (const char* name : names) {
            SCOPED_TRACE(::testing::Message() << name << (folders ? " as folder" : " in name"));
            opt_set(OPT_LOG_MAKE_FOLDERS, folders);
            Connection* c = connection(name);
            std::string out;
            int bits = log_compose_path(logs_ + "#test.log", kWinChannel, 1, 0, c, out);
            EXPECT_EQ(file_path_is_inside(out, logs_), 1) << out;
            const fs::path rel = fs::path(out).lexically_relative(logs_);
            for (const fs::path& part : rel) {
                EXPECT_NE(part.string(), "..");
                EXPECT_NE(part.string(), ".");
                EXPECT_EQ(file_is_device(part.string()), 0) << part;
            }
            const std::string n = name;
            if (n == "." || n == "..") {
                EXPECT_EQ(bits & 3, 0) << "refused names are not used";
            } else {
                EXPECT_NE(bits & 3, 0);
            }
        }
    }
    // Nothing was made outside the log folder.
    for (const char* folder : {"d1", "d1/d2"}) {
        std::vector<std::string> entries;
        for (const auto& e : fs::directory_iterator(root_ + folder))
            entries.push_back(e.path().filename().string());
        EXPECT_EQ(entries.size(), 1u) << folder;
    }
}

TEST_F(LoggingTest, LoggingKeysOfWindowNames)
{
    EXPECT_EQ(log_logging_key("Status Window", 0, nullptr), "status");
    EXPECT_EQ(log_logging_key("Message Window", 0, nullptr), "messages");
    EXPECT_EQ(log_logging_key("Chat bob", 0, nullptr), "bob");
    EXPECT_EQ(log_logging_key("#chan", 0, nullptr), "#chan");
    ini_write("logging", "#chan", "   on", main_ini_path);
    std::string value;
    log_logging_key("#chan", 1, &value);
    EXPECT_EQ(value, "on");
}

// ---- Headers and lines ----

TEST_F(LoggingTest, ADatedLogBeginsAndEndsWithItsHeaderLines)
{
    WindowRecord* rec = shown_channel("#test");
    ASSERT_NE(rec, nullptr);
    opt_set(OPT_LOG_DATE_FILENAMES, 1);
    ASSERT_EQ(log_set_window_mode(rec, 1, 1, 0, "", 2, 0), 1);
    EXPECT_EQ(rec->logging, 1);
    EXPECT_EQ(rec->log_path, logs_ + "#test.20081231.log");
    EXPECT_EQ(rec->log_text, logs_ + "#test.log");
    std::string key;
    ini_read("logging", "#test", "", key, 1074, main_ini_path);
    EXPECT_EQ(key, "d1/d2/logs/#test.log");  // relative to the settings folder
    EXPECT_EQ(shown_lines(rec), std::vector<std::string>({"* " + rec->log_path + " Loglanmaya başladı"}));

    log_write_line(rec, "hello", 0, kColorNormalText);
    g_now += 60;
    ASSERT_EQ(log_set_window_mode(rec, 1, 1, 0, "", 3, 0), 1);
    EXPECT_EQ(rec->logging, 0);
    EXPECT_EQ(rec->log_file, -1);

    // The window's notice came after the log opened: it is logged as any
    // line printed there, in its Info text colour.
    const std::string text = slurp(logs_ + "#test.20081231.log");
    EXPECT_EQ(text,
              "\r\n"
              "Oturum Başlatıldı: Wed Dec 31 12:00:00 2008\r\n"
              "Ident Oturumu:  #test\r\n"
              "\x03" "02[12:00] * " + logs_ + "#test.20081231.log Loglanmaya başladı\r\n"
              "[12:00] hello\r\n"
              "Oturum Kapatıldı: Wed Dec 31 12:01:00 2008\r\n");
    ini_read("logging", "#test", "", key, 1074, main_ini_path);
    EXPECT_EQ(key, "off");
}

TEST_F(LoggingTest, DccChatHeaderNamesThePartnerOnly)
{
    WindowRecord chat;
    chat.type = kWinQuery;
    chat.subtype = kQueryDccChat;
    chat.name = "Chat bob";
    EXPECT_TRUE(ends_with(log_open_header(&chat, g_now), "Ident Oturumu:  bob\r\n"));
    EXPECT_EQ(log_day_line(g_now), "Oturum Zamanı: Wed Dec 31 12:00:00 2008");
}

TEST_F(LoggingTest, LinesAreWrittenByTheLoggingOptions)
{
    color_items[4].current = 2;  // Info text
    struct Case {
        const char* what;
        int strip, stamp, colours;
        const char* log_stamp;
        std::string text;
        std::uint32_t colour;
        int no_stamp;
        std::string expected;
    };
    const Case cases[] = {
        {"stamped", 0, 1, 1, "", "hi", kColorNormalText, 0, "[12:00] hi\r\n"},
        {"no stamp asked", 0, 1, 1, "", "hi", kColorNormalText, 1, "hi\r\n"},
        {"stamps off", 0, 0, 1, "", "hi", kColorNormalText, 0, "hi\r\n"},
        {"colour prefix first", 0, 1, 1, "", "hi", kColorInfoText, 0, "\x03" "02[12:00] hi\r\n"},
        {"palette index colour", 0, 1, 1, "", "hi", 4, 1, "\x03" "04hi\r\n"},
        {"colours off", 0, 1, 0, "", "hi", kColorInfoText, 0, "[12:00] hi\r\n"},
        {"Ctrl+Z becomes a blank", 0, 0, 0, "", "a\x1A" "b\x1A", kColorNormalText, 0, "a b \r\n"},
        {"codes stripped", 1, 0, 0, "", "\x02" "bold\x03" "4,5red\x0F\x1F" "u\x16", kColorNormalText,
         0, "boldredu\r\n"},
        {"codes kept", 0, 0, 0, "", "\x02" "b", kColorNormalText, 0, "\x02" "b\r\n"},
        {"only codes: nothing", 1, 1, 1, "", "\x02\x03" "4\x0F", kColorInfoText, 0, ""},
        {"empty: nothing", 0, 1, 1, "", "", kColorInfoText, 0, ""},
        {"log stamp blanks collapsed", 0, 1, 0, "<HH:nn>   ::", "x", kColorNormalText, 0,
         "<12:00> :: x\r\n"},
        {"log stamp codes stripped", 1, 1, 0, "\x02[HH]\x02", "x", kColorNormalText, 0,
         "[12] x\r\n"},
    };
    WindowRecord* rec = record(kWinChannel, 0, "#t");
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        opt_set(OPT_LOG_STRIP_CODES, c.strip);
        opt_set(OPT_LOG_TIMESTAMP, c.stamp);
        opt_set(OPT_LOG_COLOURS, c.colours);
        time_log_stamp_format = c.log_stamp;
        rec->log_path = logs_ + "case" + std::to_string(n++) + ".log";
        rec->logging = 1;
        log_write_line(rec, c.text, c.no_stamp, c.colour);
        log_flush(rec);
        if (rec->log_file != -1)
            ::close(rec->log_file);
        rec->log_file = -1;
        EXPECT_EQ(slurp(rec->log_path), c.expected);
    }
    // A window that is not logging writes nothing.
    rec->logging = 0;
    rec->log_path = logs_ + "off.log";
    log_write_line(rec, "hi", 0, kColorNormalText);
    EXPECT_FALSE(fs::exists(rec->log_path));
}

TEST_F(LoggingTest, FilesAreClosedAfterEachLineOnlyWhenSoSet)
{
    WindowRecord* rec = record(kWinQuery, kQueryPrivate, "bob");
    ASSERT_EQ(log_set_window_mode(rec, 0, 0, 0, "", 2, 0), 1);
    log_write_line(rec, "one", 0, kColorNormalText);
    EXPECT_NE(rec->log_file, -1);
    opt_set(OPT_LOG_UNLOCKED, 1);
    log_write_line(rec, "two", 0, kColorNormalText);
    EXPECT_EQ(rec->log_file, -1);
    log_write_line(rec, "three", 0, kColorNormalText);
    EXPECT_EQ(rec->log_file, -1);
    EXPECT_TRUE(ends_with(slurp(rec->log_path), "[12:00] one\r\n[12:00] two\r\n[12:00] three\r\n"));
}

TEST_F(LoggingTest, AFileHoldingOnlyHeaderLinesIsDeletedWhenLoggingStops)
{
    WindowRecord* quiet = record(kWinChannel, 0, "#quiet");
    WindowRecord* busy = record(kWinChannel, 0, "#busy");
    ASSERT_EQ(log_set_window_mode(quiet, 0, 0, 0, "", 2, 0), 1);
    ASSERT_EQ(log_set_window_mode(busy, 0, 0, 0, "", 2, 0), 1);
    log_write_line(busy, "something said", 0, kColorNormalText);
    log_write_line(quiet, "-", 1, kColorNormalText);  // a separator is no content
    log_set_window_mode(quiet, 0, 0, 0, "", 3, 0);
    log_set_window_mode(busy, 0, 0, 0, "", 3, 0);
    EXPECT_FALSE(fs::exists(logs_ + "#quiet.log"));
    EXPECT_TRUE(fs::exists(logs_ + "#busy.log"));
}

TEST_F(LoggingTest, ContentOfLogFilesIsFoundFromTheEnd)
{
    const std::string headers = "\r\nOturum Başlatıldı: x\r\nIdent Oturumu:  #a\r\nOturum Kapatıldı: y\r\n";
    struct Case {
        const char* what;
        std::string content;
        int expected;
    };
    const std::vector<Case> cases = {
        {"empty file", "", 0},
        {"headers only", headers + headers, 0},
        {"coloured header", "\x03" "01Oturum Kapatıldı: y\r\n", 0},
        {"a line at the start", "said\r\n" + headers, 1},
        {"a line without break at the end", headers + "said", 1},
        {"a line across blocks", std::string(9000, 'z') + "\r\n" + headers, 1},
        {"separators only", "-\r\n-\r\n" + headers, 0},
        {"many header blocks", [&] {
             std::string s;
             for (int i = 0; i < 500; ++i)
                 s += headers;
             return s;
         }(), 0},
        {"a line far back", [&] {
             std::string s = "first words\r\n";
             for (int i = 0; i < 500; ++i)
                 s += headers;
             return s;
         }(), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        spit(logs_ + "c.log", c.content);
        EXPECT_EQ(log_file_has_content(logs_ + "c.log"), c.expected);
    }
    EXPECT_EQ(log_file_has_content(logs_ + "missing.log"), -1);
}

// ---- Day change ----

TEST_F(LoggingTest, TheDayChangeOpensANewDatedFileAndMarksUndatedOnes)
{
    opt_set(OPT_LOG_DATE_FILENAMES, 1);
    opt_set(OPT_LOG_STATUS_SEPARATE, 1);  // status windows keep one file
    g_now = local_time(2008, 12, 31, 23, 59, 30);
    WindowRecord* chan = record(kWinChannel, 0, "#test");
    WindowRecord* status = record(kWinStatus, 0, "Status Window");
    ASSERT_EQ(log_set_window_mode(chan, 0, 0, 0, "", 2, 0), 1);
    ASSERT_EQ(log_set_window_mode(status, 0, 0, 0, "", 2, 0), 1);
    log_write_line(chan, "last words of the year", 1, kColorNormalText);
    log_day_check();  // remembers the day
    log_day_check();  // same day: nothing
    EXPECT_EQ(chan->log_path, logs_ + "#test.20081231.log");

    g_now = local_time(2009, 1, 1, 0, 0, 30);
    log_day_check();
    EXPECT_EQ(chan->log_path, logs_ + "#test.20090101.log");
    EXPECT_EQ(chan->logging, 1);
    EXPECT_EQ(status->log_path, logs_ + "status.log");

    const std::string old_file = slurp(logs_ + "#test.20081231.log");
    EXPECT_TRUE(ends_with(old_file, "last words of the year\r\nOturum Kapatıldı: " +
                                        time_ctime_text(g_now) + "\r\n"));
    const std::string new_file = slurp(logs_ + "#test.20090101.log");
    EXPECT_EQ(new_file, "\r\nOturum Başlatıldı: " + time_ctime_text(g_now) +
                            "\r\nIdent Oturumu:  #test\r\n");
    EXPECT_TRUE(ends_with(slurp(logs_ + "status.log"),
                          "Oturum Zamanı: " + time_ctime_text(g_now) + "\r\n"));

    // The new file takes the new day's lines.
    log_write_line(chan, "first words", 1, kColorNormalText);
    log_flush(chan);
    if (chan->log_file != -1)
        ::close(chan->log_file);
    chan->log_file = -1;
    EXPECT_TRUE(ends_with(slurp(logs_ + "#test.20090101.log"), "first words\r\n"));
    EXPECT_EQ(slurp(logs_ + "#test.20081231.log"), old_file);
}

// Lines gather in the window and reach the file on the next tick, before
// a header, and when the window's logging stops or the window goes; a tick
// repeated or a tick with nothing gathered writes nothing twice.
TEST_F(LoggingTest, GatheredLinesReachTheFileOnTheTickAndAtClose)
{
    logging_install();
    WindowRecord* chan = record(kWinChannel, 0, "#flush");
    WindowRecord* other = record(kWinQuery, kQueryPrivate, "bob");
    ASSERT_EQ(log_set_window_mode(chan, 0, 0, 0, "", 2, 0), 1);
    ASSERT_EQ(log_set_window_mode(other, 0, 0, 0, "", 2, 0), 1);
    const std::string header = slurp(chan->log_path);
    const std::string other_header = slurp(other->log_path);

    std::string expected;
    for (int i = 0; i < 50; ++i) {
        const std::string text = "line " + std::to_string(i);
        log_write_line(chan, text, 0, kColorNormalText);
        expected += "[12:00] " + text + "\r\n";
    }
    EXPECT_EQ(slurp(chan->log_path), header);  // not yet written: one write per second

    frame_tick();
    EXPECT_EQ(slurp(chan->log_path), header + expected);
    frame_tick();  // nothing new: nothing written twice
    frame_tick();
    EXPECT_EQ(slurp(chan->log_path), header + expected);
    // The other window had nothing to write.
    EXPECT_EQ(slurp(other->log_path), other_header);

    // Lines after the tick go out when logging stops, before the closing header.
    log_write_line(chan, "last", 0, kColorNormalText);
    ASSERT_EQ(log_set_window_mode(chan, 0, 0, 0, "", 3, 0), 1);
    EXPECT_EQ(slurp(chan->log_path), header + expected + "[12:00] last\r\nOturum Kapatıldı: " +
                                         time_ctime_text(g_now) + "\r\n");
    EXPECT_TRUE(chan->log_pending.empty());
    // Closing one window's log writes no closing line into another's.
    EXPECT_EQ(slurp(other->log_path), other_header);
    log_write_line(other, "bye", 1, kColorNormalText);

    // A window freed with lines gathered writes them, then its closing header.
    const std::string other_path = other->log_path;
    records_.erase(std::remove(records_.begin(), records_.end(), other), records_.end());
    win_record_free(other);
    EXPECT_EQ(slurp(other_path), other_header + "bye\r\nOturum Kapatıldı: " + time_ctime_text(g_now) +
                                     "\r\n");
}

// However fast lines come, no more than 64 KB wait in a window: a flood
// reaches the file in large writes before the tick, every line in order.
TEST_F(LoggingTest, AFloodIsWrittenInBoundedPieces)
{
    WindowRecord* chan = record(kWinChannel, 0, "#flood");
    ASSERT_EQ(log_set_window_mode(chan, 0, 0, 0, "", 2, 0), 1);
    const std::string header = slurp(chan->log_path);
    const std::string text(99, 'x');   // with a digit, the stamp and "\r\n": 110 bytes a line
    std::size_t largest = 0;
    for (int i = 0; i < 2000; ++i) {
        log_write_line(chan, text + std::to_string(i % 10), 0, kColorNormalText);
        largest = std::max(largest, chan->log_pending.size());
    }
    EXPECT_LT(largest, 64u * 1024u);
    const std::string part = slurp(chan->log_path);
    EXPECT_GT(part.size(), header.size() + 64u * 1024u);  // written without a tick
    log_flush(chan);
    const std::string all = slurp(chan->log_path);
    ASSERT_EQ(all.size(), header.size() + 2000u * 110u);
    for (int i : {0, 1, 999, 1999}) {
        SCOPED_TRACE(i);
        const std::size_t at = header.size() + static_cast<std::size_t>(i) * 110u;
        EXPECT_EQ(all.substr(at, 110), "[12:00] " + text + std::to_string(i % 10) + "\r\n");
    }
    log_flush(chan);  // again: nothing more
    EXPECT_EQ(slurp(chan->log_path), all);
}

// The day's file change takes the gathered lines into the old day's file.
TEST_F(LoggingTest, GatheredLinesStayInTheirDaysFile)
{
    opt_set(OPT_LOG_DATE_FILENAMES, 1);
    g_now = local_time(2008, 12, 31, 23, 59, 59);
    WindowRecord* chan = record(kWinChannel, 0, "#days");
    ASSERT_EQ(log_set_window_mode(chan, 0, 0, 0, "", 2, 0), 1);
    log_day_check();
    log_write_line(chan, "before midnight", 0, kColorNormalText);
    g_now = local_time(2009, 1, 1, 0, 0, 0);
    log_write_line(chan, "after midnight", 0, kColorNormalText);  // a tick late
    log_day_check();
    log_flush(chan);
    const std::string old_file = slurp(logs_ + "#days.20081231.log");
    const std::string new_file = slurp(logs_ + "#days.20090101.log");
    EXPECT_NE(old_file.find("[23:59] before midnight\r\n"), std::string::npos);
    EXPECT_EQ(new_file.find("before midnight"), std::string::npos);
    // A line written before the tick saw the new day is the old file's.
    EXPECT_NE(old_file.find("[00:00] after midnight\r\n"), std::string::npos);
}

// Every tick asks for the day: the day line goes into each log once per
// new day, however many ticks follow, and again only on the next day.
TEST_F(LoggingTest, TheDayLineIsWrittenOncePerLogAndDay)
{
    opt_set(OPT_LOG_DATE_FILENAMES, 0);
    g_now = local_time(2008, 12, 31, 23, 59, 58);
    WindowRecord* chan = record(kWinChannel, 0, "#once");
    WindowRecord* status = record(kWinStatus, 0, "Status Window");
    ASSERT_EQ(log_set_window_mode(chan, 0, 0, 0, "", 2, 0), 1);
    ASSERT_EQ(log_set_window_mode(status, 0, 0, 0, "", 2, 0), 1);
    log_day_check();
    auto day_lines = [](const std::string& text) {
        int n = 0;
        for (std::size_t at = text.find("Oturum Zamanı:"); at != std::string::npos;
             at = text.find("Oturum Zamanı:", at + 1))
            ++n;
        return n;
    };
    struct Step {
        std::time_t when;
        int ticks;
        int lines;   // day lines in each log afterwards
    } steps[] = {
        {local_time(2008, 12, 31, 23, 59, 59), 3, 0},
        {local_time(2009, 1, 1, 0, 0, 1), 1, 1},
        {local_time(2009, 1, 1, 0, 0, 2), 60, 1},
        {local_time(2009, 1, 1, 13, 0, 0), 5, 1},
        {local_time(2009, 1, 2, 0, 0, 0), 30, 2},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.ticks);
        g_now = st.when;
        for (int i = 0; i < st.ticks; ++i)
            log_day_check();
        for (WindowRecord* rec : {chan, status}) {
            SCOPED_TRACE(rec->name);
            EXPECT_EQ(day_lines(slurp(rec->log_path)), st.lines);
        }
    }
}

TEST_F(LoggingTest, ANetworkNameBecomingKnownMovesTheFile)
{
    Connection* conn = connection("");
    WindowRecord* rec = record(kWinChannel, 0, "#test", conn);
    ASSERT_EQ(log_set_window_mode(rec, 0, 0, 0, "", 2, 0), 1);
    log_write_line(rec, "before", 1, kColorNormalText);
    EXPECT_EQ(rec->log_path, logs_ + "#test.log");
    conn->network = "../EFnet";
    log_reopen_all(nullptr, conn, 3);
    EXPECT_EQ(rec->log_path, logs_ + "#test._._EFnet.log");
    EXPECT_FALSE(fs::exists(logs_ + "#test.log"));
    log_write_line(rec, "after", 1, kColorNormalText);
    log_flush(rec);
    if (rec->log_file != -1)
        ::close(rec->log_file);
    rec->log_file = -1;
    EXPECT_TRUE(ends_with(slurp(rec->log_path), "before\r\nafter\r\n"));
}

// ---- Trimming ----

TEST_F(LoggingTest, TrimmingKeepsTheNewestWholeLines)
{
    opt_set(OPT_LOG_SIZE_LIMIT, 1);
    opt_set(OPT_LOG_SIZE_LIMIT_KB, 1);
    struct Case {
        const char* what;
        int lines;
        bool trimmed;
    };
    const Case cases[] = {
        {"under the limit", 80, false},
        {"just over", 100, true},
        {"far over", 5000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string content;
        for (int i = 0; i < c.lines; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "line %05d\r\n", i);  // 12 bytes
            content += line;
        }
        const std::string path = logs_ + "trim.log";
        spit(path, content);
        EXPECT_EQ(log_trim_file(path), 1);
        const std::string after = slurp(path);
        if (!c.trimmed) {
            EXPECT_EQ(after, content);
            continue;
        }
        EXPECT_LE(after.size(), 1000u * 2 / 3);
        EXPECT_GE(after.size(), 1000u * 2 / 3 - 12);
        EXPECT_TRUE(starts_with(after, "line "));
        EXPECT_TRUE(ends_with(content, after));
    }
    // No temporary file is left behind.
    EXPECT_EQ(log_files(), std::vector<std::string>{"trim.log"});
}

TEST_F(LoggingTest, OpeningALimitedLogTrimsItFirst)
{
    opt_set(OPT_LOG_SIZE_LIMIT, 1);
    opt_set(OPT_LOG_SIZE_LIMIT_KB, 1);
    spit(logs_ + "#big.log", std::string(5000, 'x') + "\r\nkept line\r\n");
    WindowRecord* rec = record(kWinChannel, 0, "#big");
    ASSERT_EQ(log_set_window_mode(rec, 0, 0, 0, "", 2, 0), 1);
    if (rec->log_file != -1)
        ::close(rec->log_file);
    rec->log_file = -1;
    EXPECT_TRUE(starts_with(slurp(logs_ + "#big.log"), "kept line\r\n\r\nOturum Başlatıldı:"));
}

// ---- Switching ----

TEST_F(LoggingTest, ModesFromTheSettingsAndTheDefaults)
{
    struct Case {
        const char* what;
        const char* stored;  // [logging] value, null for none
        int channels_default;
        int logging;
        const char* path;
    };
    const Case cases[] = {
        {"off", "off", 1, 0, ""},
        {"on", "on", 0, 1, "#c.log"},
        {"a file name", "mine.log", 0, 1, "mine.log"},
        {"default on", nullptr, 1, 1, "#c.log"},
        {"default off", nullptr, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.stored)
            ini_write("logging", "#c", c.stored, main_ini_path);
        else
            ini_write("logging", "#c", nullptr, main_ini_path);
        opt_set(OPT_LOG_CHANNELS, c.channels_default);
        WindowRecord* rec = record(kWinChannel, 0, "#c");
        log_set_window_mode(rec, 0, 0, 0, "", 6, 0);
        EXPECT_EQ(rec->logging, c.logging);
        if (c.logging) {
            EXPECT_EQ(rec->log_path, logs_ + c.path);
        }
        // The settings are left as they were.
        std::string value;
        log_logging_key("#c", 1, &value);
        EXPECT_EQ(value, c.stored ? c.stored : "");
        log_set_window_mode(rec, 0, 1, 0, "", 7, 0);
        EXPECT_EQ(rec->logging, 0);
        EXPECT_EQ(rec->log_file, -1);
        EXPECT_TRUE(rec->log_path.empty());
        log_logging_key("#c", 1, &value);
        EXPECT_EQ(value, "");
    }
    // Custom windows do not log by default; picture windows never.
    WindowRecord* custom = record(kWinCustom, 0, "@w");
    EXPECT_EQ(log_set_window_mode(custom, 0, 0, 0, "", 5, 0), 1);
    EXPECT_EQ(custom->logging, 0);
    custom->picture = 1;
    EXPECT_EQ(log_set_window_mode(custom, 0, 0, 0, "", 2, 0), 0);
}

TEST_F(LoggingTest, StartingWithTheBufferWritesEveryPrintedLineOnce)
{
    opt_set(OPT_LOG_UNLOCKED, 1);
    WindowRecord* rec = record(kWinQuery, kQueryPrivate, "bob");
    struct Part {
        const char* text;
        int serial;
        std::uint32_t colour;
    };
    const Part parts[] = {{"one ", 1, kColorNormalText}, {"continued", 1, kColorNormalText},
                          {"two", 2, 4}};
    for (const Part& p : parts) {
        StringNode* head = strlist_append(rec->lines, p.text, static_cast<int>(p.colour));
        ASSERT_NE(head, nullptr);
        rec->lines = head;
        rec->lines->prev->serial = p.serial;
    }
    // The save dialog opens on the log folder; the user types another name.
    test_app();
    static std::string title;
    static std::string folder;
    title.clear();
    folder.clear();
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        title = dialog->windowTitle().toStdString();
        folder = dialog->directory().absolutePath().toStdString() + "/";
        if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
            name->setText(QStringLiteral("chosen.log"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    poll->start();
    ASSERT_EQ(log_set_window_mode(rec, 0, 1, 1, "", 1, 0), 1);
    EXPECT_EQ(title, "Logu Farklı Kaydet");
    EXPECT_EQ(fs::path(folder), fs::path(logs_));
    EXPECT_EQ(rec->log_file, -1);
    EXPECT_TRUE(ends_with(slurp(logs_ + "chosen.log"),
                          "Ident Oturumu:  bob\r\none continued\r\n\x03" "04two\r\n"));
}

TEST_F(LoggingTest, AFileThatCannotBeOpenedIsReportedAndLoggingStaysOff)
{
    WindowRecord* rec = shown_channel("#x");
    ASSERT_NE(rec, nullptr);
    main_settings.log_dir = root_ + "missing/";
    EXPECT_EQ(log_set_window_mode(rec, 0, 1, 0, "", 2, 0), 0);
    EXPECT_EQ(rec->logging, 0);
    EXPECT_EQ(shown_lines(rec), std::vector<std::string>({"* '" + root_ + "missing/#x.log' Log Dosyası Açılamıyor"}));
}

TEST_F(LoggingTest, DeletingTheLogNeedsConfirmationAndGoesOnInANewFile)
{
    WindowRecord* rec = record(kWinChannel, 0, "#del");
    ASSERT_EQ(log_set_window_mode(rec, 0, 0, 0, "", 2, 0), 1);
    log_write_line(rec, "secret", 1, kColorNormalText);
    log_flush(rec);
    EXPECT_EQ(log_set_window_mode(rec, 0, 0, 0, "", 4, 0), 0);  // nobody to ask
    EXPECT_NE(slurp(logs_ + "#del.log").find("secret"), std::string::npos);
    log_hooks.confirm_delete = [](const std::string&, const std::string& text) {
        g_echoes.push_back(text);
        return 1;
    };
    // Whether the desktop's trash takes the file depends on the machine;
    // logging goes on in a fresh file either way.
    log_set_window_mode(rec, 0, 0, 0, "", 4, 0);
    EXPECT_EQ(g_echoes.back(), "Log Dosyasını Silmek istediğinize emin misiniz?");
    EXPECT_EQ(rec->logging, 1);
}

// ---- Merging ----

class LogMergeTest : public LoggingTest {
protected:
    void make(const std::string& name, const std::string& content, int age_seconds)
    {
        spit(logs_ + name, content);
        const auto when = fs::file_time_type::clock::now() - std::chrono::seconds(age_seconds);
        fs::last_write_time(logs_ + name, when);
    }
};

TEST_F(LogMergeTest, SourcesAreMergedByAgeAndDeletedOnlyAfterwards)
{
    make("b.log", "B\r\n", 100);
    make("a.log", "A\r\n", 200);
    make("c.log", "C\r\n", 50);
    ASSERT_EQ(logview_merge({logs_ + "c.log", logs_ + "a.log", logs_ + "b.log"}, logs_ + "all", 1), 1);
    EXPECT_EQ(slurp(logs_ + "all.log"), "A\r\nB\r\nC\r\n");
    EXPECT_EQ(log_files(), std::vector<std::string>{"all.log"});
}

TEST_F(LogMergeTest, TheTargetAmongTheSourcesIsReplacedWhole)
{
    make("b.log", "B\r\n", 100);
    make("a.log", "A\r\n", 200);
    ASSERT_EQ(logview_merge({logs_ + "b.log", logs_ + "a.log"}, logs_ + "b.log", 1), 1);
    EXPECT_EQ(slurp(logs_ + "b.log"), "A\r\nB\r\n");
    EXPECT_EQ(log_files(), std::vector<std::string>{"b.log"});
}

TEST_F(LogMergeTest, AFailedReplaceKeepsEverySourceAndTheTarget)
{
    struct Case {
        const char* what;
        const char* target;
        int delete_merged;
    };
    const Case cases[] = {
        {"new target", "new.log", 1},
        {"existing target", "old.log", 1},
        {"target among the sources", "a.log", 1},
        {"without deleting", "new.log", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(logs_))
            fs::remove_all(e.path(), ec);
        make("a.log", "A\r\n", 200);
        make("b.log", "B\r\n", 100);
        make("old.log", "OLD\r\n", 300);
        log_hooks.merge_replace = [](const std::string&, const std::string&) { return 1; };
        EXPECT_EQ(logview_merge({logs_ + "a.log", logs_ + "b.log"}, logs_ + c.target,
                                c.delete_merged),
                  0);
        EXPECT_EQ(slurp(logs_ + "a.log"), "A\r\n");
        EXPECT_EQ(slurp(logs_ + "b.log"), "B\r\n");
        EXPECT_EQ(slurp(logs_ + "old.log"), "OLD\r\n");
        EXPECT_EQ(log_files(), (std::vector<std::string>{"a.log", "b.log", "old.log"}));
    }
}

TEST_F(LogMergeTest, AMissingSourceMergesNothing)
{
    make("a.log", "A\r\n", 200);
    EXPECT_EQ(logview_merge({logs_ + "a.log", logs_ + "gone.log"}, logs_ + "t.log", 1), 0);
    EXPECT_EQ(log_files(), std::vector<std::string>{"a.log"});
}

TEST_F(LogMergeTest, WindowsWritingToAMergedFileCloseAndReopenIt)
{
    WindowRecord* rec = record(kWinChannel, 0, "#m");
    ASSERT_EQ(log_set_window_mode(rec, 0, 0, 0, "", 2, 0), 1);
    log_write_line(rec, "live", 1, kColorNormalText);
    make("older.log", "OLDER\r\n", 5000);
    ASSERT_EQ(logview_merge({logs_ + "older.log", logs_ + "#m.log"}, logs_ + "#m.log", 1), 1);
    EXPECT_EQ(rec->logging, 1);
    log_write_line(rec, "later", 1, kColorNormalText);
    log_flush(rec);
    if (rec->log_file != -1)
        ::close(rec->log_file);
    rec->log_file = -1;
    const std::string text = slurp(logs_ + "#m.log");
    EXPECT_TRUE(starts_with(text, "OLDER\r\n\r\nOturum Başlatıldı:"));
    EXPECT_NE(text.find("live\r\nOturum Kapatıldı:"), std::string::npos);
    EXPECT_TRUE(ends_with(text, "Ident Oturumu:  #m\r\nlater\r\n"));
}

// ---- Installation ----

TEST_F(LoggingTest, InstallPointsTheTickAndTheFreedWindowsAtTheLogs)
{
    logging_uninstall();
    EXPECT_FALSE(tick_second.has_priority(kTickLogDay));
    EXPECT_FALSE(win_record_freeing.has_priority(kRecordFreeingLog));
    const std::size_t without = tick_second.size();
    const std::size_t freeing_without = win_record_freeing.size();
    logging_install();
    logging_install();  // installed twice, it listens once
    EXPECT_TRUE(tick_second.has_priority(kTickLogDay));
    EXPECT_EQ(tick_second.size(), without + 1);
    EXPECT_TRUE(win_record_freeing.has_priority(kRecordFreeingLog));
    EXPECT_EQ(win_record_freeing.size(), freeing_without + 1);

    // Freeing the record writes the closing header.
    WindowRecord* rec = record(kWinChannel, 0, "#bye");
    ASSERT_EQ(log_set_window_mode(rec, 0, 0, 0, "", 2, 0), 1);
    log_write_line(rec, "bye", 1, kColorNormalText);
    records_.erase(std::remove(records_.begin(), records_.end(), rec), records_.end());
    win_record_free(rec);
    EXPECT_NE(slurp(logs_ + "#bye.log").find("bye\r\nOturum Kapatıldı:"), std::string::npos);

    // A window without a log is freed without one being written.
    WindowRecord* quiet = record(kWinChannel, 0, "#quiet");
    records_.erase(std::remove(records_.begin(), records_.end(), quiet), records_.end());
    win_record_free(quiet);
    EXPECT_TRUE(slurp(logs_ + "#quiet.log").empty());
}

}  // namespace
