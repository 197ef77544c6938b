// The watcher of loaded script files: a script changed on disk while the
// program runs is noticed through the folder watch, the real question
// dialog is answered, and the reloaded script's new event runs; "No" keeps
// the old one; the program's own save asks nothing; a file unloaded while
// its question is open runs no command; the folder list is bounded and
// sorted; with the watcher off nothing is watched.
#define KEST_TEST_WIDGETS
#include "events_fixture.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <functional>

#include "app/watcher_dialog.h"
#include "commands/script_file_commands.h"
#include "script/file_watcher.h"

using events_test::EventsTest;
using events_test::said;

namespace {

class FileWatcherTest : public EventsTest {
protected:
    SavedValues<int, int> saved{watcher_enabled, watcher_check_box};
    std::vector<std::string> questions;  // the texts of the questions shown

    void SetUp() override
    {
        test_app();
        EventsTest::SetUp();
        script_file_commands_register();
        watcher_ask = watcher_ask_dialog;
        watcher_enabled = 1;
        watcher_check_box = 0;
        watcher_stop();
    }
    void TearDown() override
    {
        watcher_stop();
        EventsTest::TearDown();
    }

    // Answers every question the watcher shows from now on with the button
    // ("1" yes, "2" no), running `first` once before the first answer.
    void answer_with(const char* button, std::function<void()> first = {})
    {
        auto* timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, timer, [this, button, first, timer]() mutable {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<QDialog*>(w);
                if (!d || d->objectName() != "watcher_ask" || !d->isVisible())
                    continue;
                if (auto* q = d->findChild<QLabel*>("101"))
                    questions.push_back(q->text().toStdString());
                if (first) {
                    first();
                    first = {};
                }
                if (auto* b = d->findChild<QAbstractButton*>(button))
                    QTest::mouseClick(b, Qt::LeftButton);
            }
        });
        timer->start();
        answer_timers.push_back(timer);
    }
    std::vector<QPointer<QTimer>> answer_timers;

    void stop_answering()
    {
        for (auto& t : answer_timers)
            delete t.data();
        answer_timers.clear();
    }

    // Rewrites the file with a last-write time later than the recorded one.
    void change_file(const std::string& name, const std::vector<std::string>& lines)
    {
        struct stat st {};
        ASSERT_EQ(::stat((dir + name).c_str(), &st), 0);
        write_file(name, lines);
        struct utimbuf times {st.st_atime, st.st_mtime + 7};
        ASSERT_EQ(::utime((dir + name).c_str(), &times), 0);
    }

    // Runs the event loop until the condition holds; the bound only stops
    // a stuck test, so a loaded machine does not reach it.
    bool wait_for(const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return done();
    }

    std::vector<std::string> text_fires()
    {
        said.clear();
        const EventLine line = text_line("bob", "#kest", "hello");
        fire_line(line, "TEXT", kEvText, 0);
        return said;
    }
};

TEST_F(FileWatcherTest, ChangedScriptIsReloadedAfterYesAndItsNewEventFires)
{
    ASSERT_NE(load_script("watch.kst", {"on 1:TEXT:*:*:say old"}), nullptr);
    EXPECT_EQ(text_fires(), std::vector<std::string>{"old"});
    watcher_poll();
    ASSERT_EQ(watcher_running(), 1);
    EXPECT_EQ(watcher_watched_folders(), std::vector<std::string>{dir});

    answer_with("1");
    change_file("watch.kst", {"on 1:TEXT:*:*:say new"});
    ASSERT_TRUE(wait_for([this] { return !questions.empty(); })) << "the change was noticed";
    stop_answering();
    EXPECT_EQ(questions, std::vector<std::string>{" 'watch.kst' Dosyası Değiştirilip, Diske Yeniden Kaydedilsin mi?"});
    ASSERT_TRUE(wait_for([this] { return text_fires() == std::vector<std::string>{"new"}; }));
    ASSERT_NE(remote_file_find(dir + "watch.kst", kRemoteScript), nullptr);

    // A second check with nothing changed asks nothing.
    questions.clear();
    answer_with("1");
    watcher_check();
    stop_answering();
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(text_fires(), std::vector<std::string>{"new"});
}

TEST_F(FileWatcherTest, NoKeepsTheLoadedScriptAndTheOwnSaveAsksNothing)
{
    ScriptFile* f = load_script("keep.kst", {"on 1:TEXT:*:*:say kept"});
    ASSERT_NE(f, nullptr);
    answer_with("2");
    change_file("keep.kst", {"on 1:TEXT:*:*:say other"});
    watcher_check();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(text_fires(), std::vector<std::string>{"kept"});
    // The same change is not asked about again.
    watcher_check();
    EXPECT_EQ(questions.size(), 1u);

    // The program's own save records the file's new time: no question.
    f = remote_file_find(dir + "keep.kst", kRemoteScript);
    ASSERT_NE(f, nullptr);
    struct utimbuf times {1000, 1000};
    ASSERT_EQ(::utime((dir + "keep.kst").c_str(), &times), 0);
    ASSERT_EQ(remote_file_save(nullptr, f), 1);
    watcher_check();
    stop_answering();
    EXPECT_EQ(questions.size(), 1u);
}

TEST_F(FileWatcherTest, FileUnloadedWhileAskedRunsNoCommand)
{
    ASSERT_NE(load_script("gone.kst", {"on 1:TEXT:*:*:say gone"}), nullptr);
    ASSERT_NE(load_script("stay.kst", {"on 1:TEXT:*:*:say stay"}), nullptr);
    const std::string gone = dir + "gone.kst";
    answer_with("1", [gone] {
        if (ScriptFile* f = remote_file_find(gone, kRemoteScript))
            remote_file_unload(f, 0);
    });
    change_file("gone.kst", {"on 1:TEXT:*:*:say back"});
    watcher_check();
    stop_answering();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(remote_file_find(gone, kRemoteScript), nullptr) << "not loaded again";
    EXPECT_EQ(text_fires(), std::vector<std::string>{"stay"});
}

TEST_F(FileWatcherTest, FoldersAreDistinctSortedAndBounded)
{
    // 60 folders, made in reverse order, one script in each.
    std::vector<std::string> folders;
    for (int i = 59; i >= 0; --i) {
        char name[16];
        std::snprintf(name, sizeof name, "d%02d/", i);
        ASSERT_EQ(::mkdir((dir + name).c_str(), 0700), 0);
        folders.push_back(dir + name);
        ASSERT_NE(load_script(std::string(name) + "s.kst", {"on 1:TEXT:*:*:say x"}), nullptr);
    }
    // A second file in a folder already listed adds none.
    ASSERT_NE(load_script("d00/t.kst", {"on 1:TEXT:*:*:say y"}), nullptr);
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(watcher_folders(), folders);
    watcher_restart();
    const std::vector<std::string> first48(folders.begin(), folders.begin() + kWatcherFolderLimit);
    EXPECT_EQ(watcher_watched_folders(), first48);
    // The same list again keeps the watch.
    watcher_restart();
    EXPECT_EQ(watcher_watched_folders(), first48);

    // Off: the next tick stops it and nothing is watched or asked.
    watcher_enabled = 0;
    watcher_poll();
    EXPECT_EQ(watcher_running(), 0);
    EXPECT_TRUE(watcher_watched_folders().empty());
}

TEST(WatcherCommands, LoadCommandsByListAndKind)
{
    const struct {
        int list, kind, load;
        const char* command;
    } cases[] = {
        {0, 0, 0, "!.reload -a \"/s/a.ini\""},
        {0, 0, 1, "!.load -a \"/s/a.ini\""},
        {1, 1, 0, "!.reload -pc \"/s/a.ini\""},
        {1, 4, 1, "!.load -pm \"/s/a.ini\""},
        {1, 9, 0, "!.reload -p \"/s/a.ini\""},
        {2, kRemoteUsers, 0, "!.reload -ru \"/s/a.ini\""},
        {2, kRemoteVariables, 0, "!.reload -rv \"/s/a.ini\""},
        {2, kRemoteScript, 1, "!.load -rs \"/s/a.ini\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(watcher_command(c.list, c.kind, "/s/a.ini", c.load), c.command);
}

}  // namespace
