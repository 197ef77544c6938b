// The update check: the reply's fields, the version compare, the schedule,
// a whole check against a local service, and the dialog's download.
#define KEST_TEST_WIDGETS
#include "tools/update_check.h"

#include "core/digest.h"
#include "core/files.h"
#include "core/ini.h"
#include "display/second_tick.h"
#include "options/dialog_opener.h"
#include "platform/platform_utils.h"
#include "script/exec/script_errors.h"
#include "support/test_support.h"
#include "tools/local_http_server.h"
#include "tools/update_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

constexpr long long kNow = 1700000000;
long long fixed_clock() { return kNow; }

std::string read_key(const char* key)
{
    std::string v;
    ini_read("update", key, "", v, 256, main_ini_path);
    return v;
}

// A settings folder, the fixed clock and a clean check state.
struct UpdateFixture : ::testing::Test {
    TempSettingsDir settings{"kest_update"};
    long long (*saved_clock)() = tick_clock;
    LocalHttpServer server;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        test_app();
        tick_clock = fixed_clock;
        update_check_clear();
        update_check.silent = 0;
        update_check.reply_missing = 0;
    }
    void TearDown() override
    {
        update_check_clear();
        tick_clock = saved_clock;
    }
    void point_at(const std::string& path)
    {
        ini_write("update", "url", server.url(path).c_str(), main_ini_path);
    }
    // Polls once a (simulated) second until the check has ended.
    void poll_to_end()
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (update_check.reply.status.load() == kDownloadRunning && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        update_check_poll();
    }
};

TEST(UpdateReply, Fields)
{
    struct Case {
        const char* reply;
        const char* name;
        const char* value;
    } cases[] = {
        {"version=2.5 get=http://x/p.zip", "version", "2.5"},
        {"version=2.5 get=http://x/p.zip", "GET", "http://x/p.zip"},
        {"  VERSION=3.1  ", "version", "3.1"},
        {"news=\"two words\" next=3", "news", "two words"},
        {"news='single quoted' next=3", "news", "single quoted"},
        {"news=\"never closed", "news", "never closed"},
        {"a=1\r\nnext=7\r\n", "next", "7"},
        {"a=1\nnext=7", "next", "7"},
        {"version= get=x", "version", ""},
        {"version=", "version", ""},
        {"subversion=9 version=2", "version", "2"},
        {"subversion=9", "version", ""},
        {"version 2.5", "version", ""},
        {"", "version", ""},
        {"x=1", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.reply) + " / " + c.name);
        EXPECT_EQ(update_reply_field(c.reply, c.name), c.value);
    }
}

TEST(UpdateReply, VersionCompare)
{
    struct Case {
        const char* own;
        const char* offered;
        int newer;
    } cases[] = {
        {"2.3", "2.21", 0},  // 2.30 against 2.21
        {"2.3", "2.31", 1},
        {"2.3", "2.3", 0},
        {"2.30", "2.3", 0},
        {"2.5", "2.49", 0},
        {"0.1", "0.2", 1},
        {"0.1", "0.09", 0},
        {"1.99", "2.0", 1},
        {"2.0", "1.99", 0},
        {"2.0", "", 0},
        {"2.0", "junk", 0},
        {"2.0", "3", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.own) + " vs " + c.offered);
        EXPECT_EQ(update_version_newer(c.own, c.offered), c.newer);
    }
}

TEST(UpdateReply, Due)
{
    constexpr long long day = 86400;
    struct Case {
        long long next;
        int due;
    } cases[] = {
        {0, 1}, {kNow, 1}, {kNow - 1, 1}, {kNow + 1, 0}, {kNow + day, 0},
        {kNow + 30 * day, 0}, {kNow + 31 * day - 1, 0}, {kNow + 31 * day, 1}, {kNow + 40 * day, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.next - kNow);
        EXPECT_EQ(update_check_due(kNow, c.next), c.due);
    }
}

TEST_F(UpdateFixture, ScheduleStartsOnlyWhenDueOrForced)
{
    server.set_file("/u", "version=0.0");
    point_at("/u");
    struct Case {
        const char* check;
        long long next;
        int forced;
        bool starts;
    } cases[] = {
        {"1", kNow + 10, 0, false},
        {"1", kNow, 0, true},
        {"1", kNow + 40 * 86400, 0, true},
        {"0", 0, 0, false},
        {"0", kNow + 10, 1, true},
        {"1", kNow + 10, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.check) + " " + std::to_string(c.next - kNow));
        update_check_clear();
        ini_write("update", "check", c.check, main_ini_path);
        ini_write("update", "next", std::to_string(c.next).c_str(), main_ini_path);
        const std::size_t asked = server.requests().size();
        update_check_start(c.forced);
        EXPECT_EQ(update_check.running, c.starts ? 1 : 0);
        poll_to_end();
        EXPECT_EQ(server.requests().size(), asked + (c.starts ? 1 : 0));
        EXPECT_EQ(read_key("next"), c.starts ? std::to_string(kNow + 86400) : std::to_string(c.next));
    }
}

TEST_F(UpdateFixture, RepliesDecideTheResult)
{
    const std::string own_crc = [] {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%x", crc32_file(file_program_path()));
        return std::string(hex);
    }();
    ASSERT_FALSE(file_program_path().empty());
    struct Case {
        const char* name;
        std::string reply;
        int result;      // after the poll, with the dialog closed
        std::string url;
        long long next;  // [update] next after the check
    } cases[] = {
        {"newer", "version=99.1 get=http://h/p.zip crc=1a2b news=\"new things\"", 2, "http://h/p.zip", kNow + 86400},
        {"older", "version=0.0 get=http://h/p.zip", 0, "http://h/p.zip", kNow + 86400},
        {"next in range", "version=0.0 next=3", 0, "", kNow + 3 * 86400},
        {"next of 45", "version=0.0 next=45", 0, "", kNow + 86400},
        {"next of 0", "version=0.0 next=0", 0, "", kNow + 86400},
        {"update line, same program", "update=" + own_crc + ",0.0,http://h/u.zip,ff,old news", 0,
         "http://h/u.zip", kNow + 86400},
        {"update line, other program", "update=1234,0.0,http://h/u.zip,ff,news", 2, "", kNow + 86400},
        {"named fields override", "update=1234,0.0,http://h/u.zip,ff,news get=http://h/named.zip", 2,
         "http://h/named.zip", kNow + 86400},
        {"empty reply", "", 0, "", kNow + 86400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        update_check_clear();
        server.set_file("/u", c.reply);
        point_at("/u");
        update_check_start(1);
        poll_to_end();
        EXPECT_EQ(update_check.running, 0);
        EXPECT_EQ(update_check.reply_missing, 0);
        EXPECT_EQ(update_check.result, c.result);
        EXPECT_EQ(update_check.url, c.url);
        EXPECT_EQ(read_key("next"), std::to_string(c.next));
    }
}

TEST_F(UpdateFixture, TheNamedFieldsAndTheUpdateLineFillTheState)
{
    update_check_read_reply("update=abc,5.12,http://h/u.zip,DEADBEEF,line news version=7.1 news='named news'", kNow);
    EXPECT_EQ(update_check.version, "7.1");
    EXPECT_EQ(update_check.news, "named news");
    // Our program file is not the one the line names: its package is not
    // ours to take, so the address and checksum from the line are dropped.
    EXPECT_EQ(update_check.url, "");
    EXPECT_EQ(update_check.package_crc, 0u);
    EXPECT_EQ(update_check.program_crc, 0xABCu);
    EXPECT_EQ(update_check.result, 1);
}

TEST_F(UpdateFixture, AFailedReplyLeavesNoResult)
{
    server.set("/down", {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 11\r\n\r\nversion=9.9"});
    server.set("/moved", {"HTTP/1.1 302 Found\r\nLocation: /down\r\nContent-Length: 0\r\n\r\n"});
    for (const char* path : {"/down", "/moved", "/missing"}) {
        SCOPED_TRACE(path);
        update_check_clear();
        point_at(path);
        update_check_start(1);
        poll_to_end();
        EXPECT_EQ(update_check.running, 0);
        EXPECT_EQ(update_check.result, 0);
        EXPECT_EQ(update_check.reply_missing, 1);
        EXPECT_TRUE(update_check.version.empty());
    }
}

TEST_F(UpdateFixture, ASilentServerIsGivenUpAfterAMinuteAndItsWorkerJoined)
{
    server.set("/stall", {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nversion=9", true});
    point_at("/stall");
    update_check_start(1);
    for (int second = 1; second < kUpdateCheckGiveUp; ++second) {
        update_check_poll();
        ASSERT_EQ(update_check.running, 1) << second;
    }
    update_check_poll();
    EXPECT_EQ(update_check.running, 0);
    EXPECT_EQ(update_check.reply_missing, 1);
    EXPECT_FALSE(update_check.reply.worker.joinable());
    EXPECT_EQ(update_check.reply.status.load(), 0);
    EXPECT_EQ(update_check.result, 0);
    // A second start is allowed again at once.
    server.set_file("/u", "version=0.0");
    point_at("/u");
    update_check_start(1);
    EXPECT_EQ(update_check.running, 1);
    poll_to_end();
    EXPECT_EQ(update_check.reply_missing, 0);
}

TEST_F(UpdateFixture, ACheckWhileOneRunsDoesNothing)
{
    server.set("/stall", {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n", true});
    point_at("/stall");
    update_check_start(1);
    ini_write("update", "next", "5", main_ini_path);
    update_check_start(1);
    EXPECT_EQ(read_key("next"), "5");
    update_check_clear();
    EXPECT_FALSE(update_check.reply.worker.joinable());
}

// Runs `step` inside the modal dialog once it shows, then closes it.
void with_dialog(int param, const std::function<void(QDialog&)>& step)
{
    QTimer::singleShot(0, [step] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!d) {
            ADD_FAILURE() << "no dialog";
            return;
        }
        step(*d);
        if (d->isVisible())
            d->done(2);
    });
    update_dialog_open(param);
}

bool wait_for(const std::function<bool()>& done, int seconds = 20)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done() && std::chrono::steady_clock::now() < until)
        QTest::qWait(20);
    return done();
}

QString label(QDialog& d, int id)
{
    return dlg_widget_text(dlg_item(&d, id));
}

TEST_F(UpdateFixture, DialogChecksDownloadsAndOnlyShowsThePackage)
{
    test_app();
    update_dialog_install();
    const std::string package = "package bytes";
    char crc[16];
    std::snprintf(crc, sizeof crc, "%x", crc32_buffer(package.data(), static_cast<std::ptrdiff_t>(package.size())));
    server.set_file("/u", std::string("version=99.0 get=") + server.url("/dl/kest.tar.gz") + " crc=" + crc +
                              " news=\"much better\"");
    server.set_file("/dl/kest.tar.gz", package);
    point_at("/u");
    ini_write("update", "check", "1", main_ini_path);
    std::vector<std::string> opened;
    auto* saved_open = desktop_open_hook;
    static std::vector<std::string>* g_opened;
    g_opened = &opened;
    desktop_open_hook = [](const std::string& what) {
        g_opened->push_back(what);
        return 1;
    };

    with_dialog(0, [&](QDialog& d) {
        EXPECT_EQ(update_dialog_open(0), 0) << "only one dialog";
        EXPECT_EQ(label(d, 100).toStdString(), script_text(5650));
        ASSERT_TRUE(wait_for([&] { return !update_check.running; }));
        EXPECT_EQ(label(d, 100).toStdString(), script_text(5651));
        EXPECT_EQ(label(d, 102).toStdString(), "Kest 99.0");
        EXPECT_EQ(label(d, 103).toStdString(), "much better");
        auto* one = qobject_cast<QAbstractButton*>(dlg_item(&d, 1));
        ASSERT_TRUE(one);
        EXPECT_EQ(one->text().toStdString(), script_text(5656));
        ASSERT_TRUE(wait_for([&] { return one->isEnabled(); }));
        QTest::mouseClick(one, Qt::LeftButton);
        EXPECT_EQ(update_check.package.update, true);
        ASSERT_TRUE(wait_for([&] { return label(d, 100).toStdString() != script_text(5657); }));
        EXPECT_EQ(label(d, 100).toStdString(), script_text(5658));
        EXPECT_EQ(one->text().toStdString(), script_text(5660));
        // The package keeps its name (it is not an ".exe": "update.exe").
        EXPECT_EQ(update_check.package.local_path, update_package_folder() + "update.exe");
        EXPECT_EQ(slurp(update_package_folder() + "update.exe"), package);
        QTest::mouseClick(one, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_NE(opened[0].find("updates"), std::string::npos) << opened[0];
    EXPECT_EQ(update_dialog_is_open(), 0);
    EXPECT_EQ(update_check.silent, 1);
    desktop_open_hook = saved_open;
    update_dialog_uninstall();
}

TEST_F(UpdateFixture, DialogRefusesAPackageWithAnotherChecksum)
{
    test_app();
    update_dialog_install();
    server.set_file("/u", "version=99.0 get=" + server.url("/p.zip") + " crc=12345678");
    server.set_file("/p.zip", "tampered");
    point_at("/u");
    ini_write("update", "check", "1", main_ini_path);
    with_dialog(0, [&](QDialog& d) {
        ASSERT_TRUE(wait_for([&] { return !update_check.running; }));
        auto* one = qobject_cast<QAbstractButton*>(dlg_item(&d, 1));
        ASSERT_TRUE(wait_for([&] { return one->isEnabled(); }));
        QTest::mouseClick(one, Qt::LeftButton);
        ASSERT_TRUE(wait_for([&] { return label(d, 100).toStdString() != script_text(5657); }));
        EXPECT_EQ(label(d, 100).toStdString(), script_text(5659));
        EXPECT_EQ(one->text().toStdString(), script_text(5654));
        EXPECT_FALSE(file_exists(update_package_folder() + "update.exe", 1));
        // Unticking the box is kept when the dialog closes.
        dlg_set_checked(&d, 104, 0);
    });
    EXPECT_EQ(read_key("check"), "0");
    update_dialog_uninstall();
}

TEST_F(UpdateFixture, DialogCancelStopsAStalledPackage)
{
    test_app();
    update_dialog_install();
    server.set_file("/u", "version=99.0 get=" + server.url("/slow.zip"));
    server.set("/slow.zip", {"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nbeginning", true});
    point_at("/u");
    with_dialog(0, [&](QDialog& d) {
        ASSERT_TRUE(wait_for([&] { return !update_check.running; }));
        auto* one = qobject_cast<QAbstractButton*>(dlg_item(&d, 1));
        ASSERT_TRUE(wait_for([&] { return one->isEnabled(); }));
        QTest::mouseClick(one, Qt::LeftButton);
        ASSERT_TRUE(wait_for([&] { return update_check.package.count.load() > 0; }));
        EXPECT_EQ(one->text().toStdString(), script_text(5655));
        QTest::mouseClick(one, Qt::LeftButton);
        EXPECT_FALSE(update_check.package.worker.joinable());
        EXPECT_EQ(label(d, 100).toStdString(), script_text(5659));
        EXPECT_FALSE(file_exists(update_package_folder() + "update.exe", 1));
    });
    update_dialog_uninstall();
}

TEST_F(UpdateFixture, DialogWithoutAServiceSaysItCannotBeReached)
{
    test_app();
    update_dialog_install();
    ini_write("update", "url", nullptr, main_ini_path);
    with_dialog(0, [&](QDialog& d) {
        ASSERT_TRUE(wait_for([&] { return !update_check.running; }));
        EXPECT_EQ(label(d, 100).toStdString(), script_text(5653));
        EXPECT_EQ(dlg_widget_text(dlg_item(&d, 1)).toStdString(), script_text(5654));
    });
    EXPECT_TRUE(server.requests().empty());
    update_dialog_uninstall();
}

}  // namespace
