// The log viewer over log files the logging code itself wrote.
#define KEST_TEST_WIDGETS
#include <gtest/gtest.h>

#include "app/frame_menu.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "display/logging.h"
#include "model/colors.h"
#include "model/window_record.h"
#include "tools/log_viewer.h"
#include "tools/log_viewer_dialog.h"
#include "support/test_support.h"

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void set_mtime(const std::string& p, long long t)
{
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::seconds(100000 - t));
}

std::vector<std::string> names(const std::vector<LogViewEntry>& v)
{
    std::vector<std::string> out;
    for (const auto& e : v)
        out.push_back(e.name);
    return out;
}

class LogViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/kest_logview_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        root_ = std::string(tmpl) + "/";
        logs_ = root_ + "logs/";
        fs::create_directories(logs_ + "net1");
        saved_log_dir_ = main_settings.log_dir;
        main_settings.log_dir = logs_;
        saved_ini_ = main_ini_path;
        main_ini_path = root_ + "kest.ini";
        const char* x = std::getenv("XDG_DATA_HOME");
        saved_xdg_ = x ? x : "";
        had_xdg_ = x != nullptr;
        ::setenv("XDG_DATA_HOME", (root_ + "data").c_str(), 1);
        options_reset();
        opt_set(OPT_LOG_TIMESTAMP, 0);
        opt_set(OPT_LOG_COLOURS, 0);
        saved_hook_ = sort_logview_order_hook;
        logview_install();
        logview_set_order(0);
    }

    void TearDown() override
    {
        logview_uninstall();
        sort_logview_order_hook = saved_hook_;
        main_settings.log_dir = saved_log_dir_;
        main_ini_path = saved_ini_;
        if (had_xdg_)
            ::setenv("XDG_DATA_HOME", saved_xdg_.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
        options_reset();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    // A channel window logs the lines through the logging code, with its
    // opening and closing header lines.
    std::string write_log(const std::string& file, const std::vector<std::string>& lines)
    {
        WindowRecord* rec = win_record_new(1);
        rec->type = kWinChannel;
        rec->name = "#x";
        rec->log_path = logs_ + file;
        rec->log_text = rec->log_path;
        EXPECT_TRUE(log_open(rec, 1));
        for (const auto& l : lines)
            log_write_line(rec, l, 1, kColorNormalText);
        log_close(rec, 1);
        if (rec->log_file != -1)
            ::close(rec->log_file);
        rec->log_file = -1;
        win_record_free(rec);
        return logs_ + file;
    }

    std::string root_, logs_, saved_log_dir_, saved_ini_, saved_xdg_;
    bool had_xdg_ = false;
    int (*saved_hook_)() = nullptr;
};

TEST_F(LogViewerTest, SearchFindsNamesAndContentsOfLogFiles)
{
    write_log("#alpha.net1.20081231.log", {"hello world", "Kitten on the keys"});
    write_log("#beta.net2.20081230.log", {"nothing here"});
    write_log("bob.log", {"a private word"});
    std::ofstream(logs_ + "notes.txt") << "hello world\r\n";  // no log: never listed
    write_log("net1/#sub.log", {"hello world"});               // a subfolder: skipped

    struct Case {
        const char* what;
        const char* search;
        int names_only;
        std::vector<std::string> expected;
    } cases[] = {
        {"no search lists every log", "", 0, {"#alpha.net1.20081231.log", "#beta.net2.20081230.log", "bob.log"}},
        {"content, case ignored", "KITTEN", 0, {"#alpha.net1.20081231.log"}},
        {"name substring", "beta", 0, {"#beta.net2.20081230.log"}},
        {"content-only match left out with names only", "kitten", 1, {}},
        {"name wildcard", "*.net?.*", 1, {"#alpha.net1.20081231.log", "#beta.net2.20081230.log"}},
        {"content wildcard", "*private*", 0, {"bob.log"}},
        {"header text is content too", "oturum", 0,
         {"#alpha.net1.20081231.log", "#beta.net2.20081230.log", "bob.log"}},
        {"no match", "zebra", 0, {}},
        {"one character", "k", 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(names(logview_refresh(logs_, c.search, c.names_only)), c.expected);
        // Asked again, the same answer.
        EXPECT_EQ(names(logview_refresh(logs_, c.search, c.names_only)), c.expected);
    }
}

TEST_F(LogViewerTest, AMatchAcrossABlockBoundaryIsFound)
{
    const std::string pad(16384 - 5, 'x');
    struct Case {
        const char* what;
        std::string content;
        bool found;
    } cases[] = {
        {"split over the boundary", pad + "needle-end", true},
        {"wholly in the second block", pad + std::string(100, 'y') + "needle", true},
        {"absent", pad + "needl" + std::string(60, 'y') + "e", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = "big" + std::to_string(n++) + ".log";
        std::ofstream(logs_ + file, std::ios::binary) << c.content;
        const auto found = names(logview_refresh(logs_, "needle", 0));
        EXPECT_EQ(std::find(found.begin(), found.end(), file) != found.end(), c.found);
        fs::remove(logs_ + file);
    }
}

TEST_F(LogViewerTest, SearchStopsWhenProgressSaysSo)
{
    for (int i = 0; i < 4; ++i)
        std::ofstream(logs_ + "f" + std::to_string(i) + ".log", std::ios::binary)
            << std::string(40000, 'z') << "needle";
    int calls = 0;
    const auto stopped = logview_refresh(logs_, "needle", 0, [&](int pct) {
        EXPECT_GE(pct, 0);
        EXPECT_LE(pct, 100);
        ++calls;
        return 0;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(stopped.empty());
    EXPECT_EQ(logview_refresh(logs_, "needle", 0, [](int) { return 1; }).size(), 4u);
}

TEST_F(LogViewerTest, OrdersFollowTheChosenSort)
{
    const std::string a = write_log("#b.zeta.20081230.log", {"x"});
    const std::string b = write_log("#a.alpha.20081231.log", std::vector<std::string>(50, "longer line"));
    const std::string c = write_log("#a.zeta.20081229.log", {"y", "z"});
    set_mtime(a, 3);
    set_mtime(b, 1);
    set_mtime(c, 2);
    struct Case {
        int order;
        int stored;
        std::vector<std::string> expected;
    } cases[] = {
        {0, 0, {"#a.alpha.20081231.log", "#a.zeta.20081229.log", "#b.zeta.20081230.log"}},
        {2, 2, {"#a.alpha.20081231.log", "#a.zeta.20081229.log", "#b.zeta.20081230.log"}},
        {4, 4, {"#a.zeta.20081229.log", "#b.zeta.20081230.log", "#a.alpha.20081231.log"}},
        {6, 6, {"#b.zeta.20081230.log", "#a.zeta.20081229.log", "#a.alpha.20081231.log"}},
        {7, 7, {"#a.alpha.20081231.log", "#a.zeta.20081229.log", "#b.zeta.20081230.log"}},
        {8, 0, {"#a.alpha.20081231.log", "#a.zeta.20081229.log", "#b.zeta.20081230.log"}},
        {-1, 0, {"#a.alpha.20081231.log", "#a.zeta.20081229.log", "#b.zeta.20081230.log"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.order);
        logview_set_order(k.order);
        EXPECT_EQ(logview_order(), k.stored);
        EXPECT_EQ(sort_logview_order_hook(), k.stored);
        EXPECT_EQ(names(logview_refresh(logs_, "", 0)), k.expected);
    }
}

TEST_F(LogViewerTest, MergeAppendsInOrderOfModificationTime)
{
    const std::string old_one = write_log("old.log", {"first"});
    const std::string new_one = write_log("new.log", {"second"});
    set_mtime(old_one, 1);
    set_mtime(new_one, 2);
    const std::string expected = slurp(old_one) + slurp(new_one);

    // Into a new target, sources kept.
    ASSERT_EQ(logview_merge(logs_, {"new.log", "old.log"}, "both", 0), 1);
    EXPECT_EQ(slurp(logs_ + "both.log"), expected);
    EXPECT_TRUE(fs::exists(new_one));
    EXPECT_TRUE(fs::exists(old_one));

    // Into one of the sources, the other deleted.
    ASSERT_EQ(logview_merge(logs_, {"new.log", "old.log"}, "new.log", 1), 1);
    EXPECT_EQ(slurp(new_one), expected);
    EXPECT_FALSE(fs::exists(old_one));
    EXPECT_FALSE(fs::exists(logs_ + "new.log.merge.tmp"));
}

TEST_F(LogViewerTest, MergeRefusesNamesOutsideTheFolderAndMissingSources)
{
    write_log("a.log", {"a"});
    const std::string before = slurp(logs_ + "a.log");
    struct Case {
        const char* what;
        std::vector<std::string> sources;
        const char* target;
    } cases[] = {
        {"target climbs out", {"a.log"}, "../out.log"},
        {"target in a folder", {"a.log"}, "net1/x.log"},
        {"source climbs out", {"../kest.ini"}, "x.log"},
        {"no sources", {}, "x.log"},
        {"empty target", {"a.log"}, ""},
        {"missing source into a source", {"a.log", "gone.log"}, "a.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(logview_merge(logs_, c.sources, c.target, 1), 0);
        EXPECT_FALSE(fs::exists(root_ + "out.log"));
        EXPECT_FALSE(fs::exists(logs_ + "net1/x.log"));
        EXPECT_EQ(slurp(logs_ + "a.log"), before);
    }
}

TEST_F(LogViewerTest, RenameAndDeleteStayInTheFolder)
{
    write_log("a.log", {"a"});
    write_log("b.log", {"b"});
    struct Case {
        const char* from;
        const char* to;
        int ok;
    } cases[] = {
        {"a.log", "../a.log", 0}, {"a.log", "b.log", 0}, {"missing.log", "c.log", 0},
        {"a.log", "a.log", 0},   {"a.log", "c.log", 1}, {"a.log", "d.log", 0},  // already renamed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        EXPECT_EQ(logview_rename(logs_, c.from, c.to), c.ok);
    }
    EXPECT_FALSE(fs::exists(root_ + "a.log"));
    EXPECT_EQ(names(logview_refresh(logs_, "", 0)), (std::vector<std::string>{"b.log", "c.log"}));

    EXPECT_EQ(logview_delete(logs_, {"../kest.ini", "b.log", "missing.log"}), 1);
    EXPECT_EQ(names(logview_refresh(logs_, "", 0)), std::vector<std::string>{"c.log"});
    EXPECT_EQ(logview_delete(logs_, {"b.log"}), 0);  // asked twice
}

TEST_F(LogViewerTest, SearchHistoryKeepsTenNewestWithoutDuplicates)
{
    std::vector<std::string> h;
    for (int i = 0; i < 12; ++i)
        logview_filter_history_add(h, "s" + std::to_string(i));
    logview_filter_history_add(h, "S5");
    logview_filter_history_add(h, "");
    ASSERT_EQ(h.size(), 10u);
    EXPECT_EQ(h.front(), "S5");
    EXPECT_EQ(std::count_if(h.begin(), h.end(), [](const std::string& s) { return s == "s5"; }), 0);
    EXPECT_EQ(h.back(), "s2");  // s5 left its place, so s2 stays
    logview_filter_history_save(h, main_ini_path);
    EXPECT_EQ(logview_filter_history_load(main_ini_path), h);
}

TEST_F(LogViewerTest, TheDialogListsFilesAndEnablesButtonsBySelection)
{
    test_app();
    EXPECT_NE(frame_menu_command(155), nullptr);
    write_log("a.log", {"a"});
    write_log("b.log", {"b"});
    std::unique_ptr<QDialog> d(logview_dialog_create(logs_.c_str()));
    auto* list = d->findChild<QListWidget*>("files");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_TRUE(list->item(0)->text().startsWith("a.log ("));
    auto* show = d->findChild<QPushButton*>("show");
    auto* rename = d->findChild<QPushButton*>("rename");
    auto* merge = d->findChild<QPushButton*>("merge");
    auto* del = d->findChild<QPushButton*>("delete");
    struct Case {
        std::vector<int> rows;
        bool one, some;
    } cases[] = {{{}, false, false}, {{0}, true, true}, {{0, 1}, false, true}, {{1}, true, true}, {{}, false, false}};
    for (const Case& c : cases) {
        list->clearSelection();
        for (int r : c.rows)
            list->item(r)->setSelected(true);
        EXPECT_EQ(show->isEnabled(), c.one);
        EXPECT_EQ(rename->isEnabled(), c.one);
        EXPECT_EQ(merge->isEnabled(), c.some);
        EXPECT_EQ(del->isEnabled(), c.some);
    }
}

} // namespace
