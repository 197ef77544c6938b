// Files dropped onto windows: the rule lists as the settings file holds
// them, and drops delivered to the real window widgets as the desktop
// delivers them (drag enter, move, drop with a text/uri-list), seen in the
// commands the rules run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QListWidget>
#include <QMainWindow>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QUrl>

#include <filesystem>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "app/mdi_client.h"
#include "app/window_open.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "display/child_controls.h"
#include "irc/link/connections.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "options/drag_drop.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/script_engine.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace {

int beeps = 0;
QPointer<QMainWindow> frame;

std::vector<std::string> list_texts(const StringNode* n)
{
    std::vector<std::string> out;
    for (; n; n = n->next)
        out.push_back(n->text);
    return out;
}

class DragDropRulesTest : public ::testing::Test {
    HookGuard hooks_;
    SavedValues<std::string> saved_{main_ini_path};

protected:
    std::filesystem::path dir;
    void SetUp() override
    {
        test_app();
        dir = std::filesystem::temp_directory_path() / ("kest-dragdrop-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        main_ini_path = (dir / "kest.ini").string();
    }
    void TearDown() override
    {
        drag_drop_uninstall();
        std::filesystem::remove_all(dir);
    }
};

TEST_F(DragDropRulesTest, AbsentListsTakeTheirDefaultsAndAPresentOneIsKept)
{
    struct Case {
        const char* file;  // the settings file's text
        std::vector<std::string> plain;
        std::vector<std::string> shift;
    } cases[] = {
        {"", {"*.wav:/sound $1 $2-", "*.*:/dcc send $1 $2-"}, {"*.*:/dcc send $1 $2-"}},
        {"[dragdrop]\ns0=*.txt:/play $1 $2-\n",
         {"*.wav:/sound $1 $2-", "*.*:/dcc send $1 $2-"},
         {"*.txt:/play $1 $2-"}},
        {"[dragdrop]\nn0=*.jpg:/echo $2-\nn1=*:/dcc send $1 $2-\n",
         {"*.jpg:/echo $2-", "*:/dcc send $1 $2-"},
         {"*.*:/dcc send $1 $2-"}},
        // The numbering stops at the first missing key.
        {"[dragdrop]\nn0=a:/x\nn2=c:/z\n", {"a:/x"}, {"*.*:/dcc send $1 $2-"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        spit(main_ini_path, c.file);
        dragdrop_load();
        EXPECT_EQ(list_texts(dragdrop_rules(0)), c.plain);
        EXPECT_EQ(list_texts(dragdrop_rules(1)), c.shift);
    }
}

TEST_F(DragDropRulesTest, SaveWritesBothListsAndDropsStaleKeys)
{
    spit(main_ini_path, "[dragdrop]\nn0=a:/1\nn1=b:/2\nn2=c:/3\ns0=d:/4\ns1=e:/5\n[other]\nx=1\n");
    dragdrop_load();
    dragdrop_set_rules(0, {"*.log:/echo $2-"});
    dragdrop_set_rules(1, {"*.png:/a $1", "*.gif:/b $1"});
    dragdrop_save();
    std::string value;
    ini_read("dragdrop", "n0", "", value, 4150, main_ini_path);
    EXPECT_EQ(value, "*.log:/echo $2-");
    for (const char* gone : {"n1", "n2", "s2"}) {
        ini_read("dragdrop", gone, "none", value, 4150, main_ini_path);
        EXPECT_EQ(value, "none") << gone;
    }
    ini_read("other", "x", "", value, 4150, main_ini_path);
    EXPECT_EQ(value, "1");
    // Read back, both lists come as they were saved; saving twice changes nothing.
    dragdrop_save();
    dragdrop_load();
    EXPECT_EQ(list_texts(dragdrop_rules(0)), std::vector<std::string>{"*.log:/echo $2-"});
    EXPECT_EQ(list_texts(dragdrop_rules(1)), (std::vector<std::string>{"*.png:/a $1", "*.gif:/b $1"}));
}

TEST_F(DragDropRulesTest, FirstMatchingRuleWinsAndBrokenRulesNeverMatch)
{
    dragdrop_set_rules(0, {":/empty mask", "*.txt:", "*.txt:   ", "*.TXT:  /first $1", "*.txt:/second",
                           "no colon at all", "*.wav:/sound $1 $2-"});
    dragdrop_set_rules(1, {"*:/shifted $2-"});
    struct Case {
        const char* name;
        int shift;
        int found;
        const char* command;
    } cases[] = {
        {"notes.txt", 0, 1, "/first $1"},   // two empty commands skipped; case ignored
        {"NOTES.Txt", 0, 1, "/first $1"},
        {"song.wav", 0, 1, "/sound $1 $2-"},
        {"song.wav", 1, 1, "/shifted $2-"},  // Shift takes the other list
        {"picture.png", 0, 0, ""},
        {"x", 0, 0, ""},                     // one character, no rule
        {"x", 1, 1, "/shifted $2-"},
        {"", 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.shift ? " shift" : ""));
        std::string out = "stale";
        EXPECT_EQ(dragdrop_find_rule(c.name, out, c.shift), c.found);
        EXPECT_EQ(out, c.command);
    }
}

TEST_F(DragDropRulesTest, DefaultsSendSoundsToSoundAndEverythingElseByDcc)
{
    dragdrop_load();  // no section at all
    struct Case {
        const char* name;
        int shift;
        const char* command;
    } cases[] = {
        {"a.wav", 0, "/sound $1 $2-"}, {"a.WAV", 0, "/sound $1 $2-"},     {"a.txt", 0, "/dcc send $1 $2-"},
        {"a.wav", 1, "/dcc send $1 $2-"}, {"a.b.c", 1, "/dcc send $1 $2-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out;
        EXPECT_EQ(dragdrop_find_rule(c.name, out, c.shift), 1);
        EXPECT_EQ(out, c.command);
    }
    std::string out;
    EXPECT_EQ(dragdrop_find_rule("README", out, 0), 0);  // "*.*" wants a dot
}

TEST(DragDropParamText, APathWithABlankIsQuoted)
{
    struct Case {
        const char* target;
        const char* path;
        const char* text;
    } cases[] = {
        {"#kest", "/tmp/a.wav", "#kest /tmp/a.wav"},
        {"#kest", "/tmp/my song.wav", "#kest \"/tmp/my song.wav\""},
        {"bob", "/x", "bob /x"},
        {"bob", "/ ", "bob \"/ \""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dragdrop_param_text(c.target, c.path), c.text);
}

// ---- Drops on the windows ----

class DragDropWindowTest : public ::testing::Test {
    HookGuard hooks_;
    SavedValues<std::string> saved_{main_ini_path};

protected:
    Connection* conn = nullptr;
    void SetUp() override
    {
        test_app();
        test_frame_mdi(frame);
        test_script_engine_install();
        app_wire_windows();
        app_wire_text_area();
        beeps = 0;
        beep_play_hook = [](int) { ++beeps; };
        open_hooks = OpenHooks();
        drag_drop_install();
        open_hooks.dragdrop_register = dragdrop_register;
        open_hooks.dragdrop_revoke = dragdrop_revoke;
        // Every drop shows up as one line in the status window.
        dragdrop_set_rules(0, {"*.txt:/echo -s plain: $1-", "*.wav:/echo -s sound: $1-"});
        dragdrop_set_rules(1, {"*:/echo -s shift: $1-"});
        conn = conn_new_with_status(conn_list);
        ASSERT_TRUE(conn_is_live(conn));
    }
    void TearDown() override
    {
        win_close_all();
        conn_free_all();
        test_drain_events();
        drag_drop_uninstall();
    }

    WindowRecord* open(const std::string& name, int type, int subtype)
    {
        WindowOpenRequest request;
        request.name = name;
        request.type = type;
        request.subtype = subtype;
        request.conn = conn;
        WindowRecord* rec = win_record_of(win_open(request));
        test_drain_events();
        return rec;
    }

    // The status window's lines the rules printed.
    std::vector<std::string> ran()
    {
        std::vector<std::string> out;
        WindowRecord* status = win_record_of(conn->status_window.data());
        for (const StringNode* n = status ? status->lines : nullptr; n; n = n->next)
            for (const char* mark : {"plain: ", "sound: ", "shift: "})
                if (std::size_t at = n->text.find(mark); at != std::string::npos)
                    out.push_back(n->text.substr(at));
        return out;
    }

    static QMimeData* files(const std::vector<std::string>& paths)
    {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const std::string& p : paths)
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
        data->setUrls(urls);
        return data;
    }

    // Enter, move and drop at the point of the widget; whether the drop
    // was taken.
    static bool drop(QWidget* w, QPoint at, const QMimeData* data,
                     Qt::KeyboardModifiers keys = Qt::NoModifier)
    {
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, keys);
        QApplication::sendEvent(w, &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, keys);
        QApplication::sendEvent(w, &move);
        QDropEvent dropped(QPointF(at), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, keys);
        QApplication::sendEvent(w, &dropped);
        return dropped.isAccepted() && enter.isAccepted();
    }
};

TEST_F(DragDropWindowTest, DropOnAChannelRunsTheRuleOfEachFileWithTheChannelName)
{
    WindowRecord* chan = open("#kest", kWinChannel, 0);
    ASSERT_TRUE(chan && chan->text_area.get());
    EXPECT_TRUE(dragdrop_registered(chan));
    std::unique_ptr<QMimeData> data(files({"/tmp/a b/notes.txt", "/tmp/x.png", "/tmp/song.WAV"}));
    EXPECT_TRUE(drop(chan->text_area.get(), QPoint(20, 20), data.get()));
    EXPECT_EQ(ran(), (std::vector<std::string>{"plain: #kest \"/tmp/a b/notes.txt\"", "sound: #kest /tmp/song.WAV"}));
    EXPECT_EQ(beeps, 0);

    // Shift takes the other list, for every file.
    std::unique_ptr<QMimeData> two(files({"/tmp/x.png", "/tmp/y"}));
    EXPECT_TRUE(drop(chan->text_area.get(), QPoint(20, 20), two.get(), Qt::ShiftModifier));
    const std::vector<std::string> lines = ran();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "shift: #kest /tmp/x.png");
    EXPECT_EQ(lines[3], "shift: #kest /tmp/y");
}

TEST_F(DragDropWindowTest, NoMatchingFileBeepsAndRunsNothing)
{
    WindowRecord* chan = open("#kest", kWinChannel, 0);
    ASSERT_TRUE(chan);
    std::unique_ptr<QMimeData> data(files({"/tmp/x.png", "/tmp/noext"}));
    drop(chan->text_area.get(), QPoint(20, 20), data.get());
    EXPECT_TRUE(ran().empty());
    EXPECT_EQ(beeps, 1);
}

TEST_F(DragDropWindowTest, DataWithoutFilesIsRefused)
{
    WindowRecord* chan = open("#kest", kWinChannel, 0);
    ASSERT_TRUE(chan);
    QMimeData text;
    text.setText("/tmp/notes.txt");
    EXPECT_FALSE(drop(chan->text_area.get(), QPoint(20, 20), &text));
    QMimeData web;
    web.setUrls({QUrl("http://example.invalid/notes.txt")});
    EXPECT_FALSE(drop(chan->text_area.get(), QPoint(20, 20), &web));
    EXPECT_TRUE(ran().empty());
    EXPECT_EQ(beeps, 0);
}

TEST_F(DragDropWindowTest, NickListDropTargetsTheNickUnderTheCursorOnly)
{
    WindowRecord* chan = open("#kest", kWinChannel, 0);
    ASSERT_TRUE(chan && chan->listbox.get());
    conn->nick_prefixes = "@+";  // as the server announced them
    QListWidget* list = chan->listbox.get();
    list->clear();
    list->addItems({"@alice", "+bob", "carol"});
    list->item(2)->setSelected(true);  // an older selection is replaced
    list->show();
    test_drain_events();
    QWidget* area = list->viewport();
    const QRect bob = list->visualItemRect(list->item(1));
    std::unique_ptr<QMimeData> data(files({"/tmp/n.txt"}));
    EXPECT_TRUE(drop(area, bob.center(), data.get()));
    EXPECT_EQ(ran(), std::vector<std::string>{"plain: bob /tmp/n.txt"});
    EXPECT_TRUE(list->item(1)->isSelected());
    EXPECT_FALSE(list->item(2)->isSelected());

    // Inside the list but under the last item: no target, a beep.
    const QRect last = list->visualItemRect(list->item(2));
    if (last.bottom() + 5 < area->height()) {
        drop(area, QPoint(5, last.bottom() + 4), data.get());
        EXPECT_EQ(ran().size(), 1u);
        EXPECT_EQ(beeps, 1);
    }
}

TEST_F(DragDropWindowTest, QueryDropsTargetTheNickAndStatusWindowsTakeNone)
{
    WindowRecord* query = open("Bob", kWinQuery, kQueryPrivate);
    ASSERT_TRUE(query);
    std::unique_ptr<QMimeData> data(files({"/tmp/n.txt"}));
    EXPECT_TRUE(drop(query->text_area.get(), QPoint(10, 10), data.get()));
    EXPECT_EQ(ran(), std::vector<std::string>{"plain: Bob /tmp/n.txt"});

    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    EXPECT_FALSE(dragdrop_registered(status));
    EXPECT_FALSE(drop(status->text_area.get(), QPoint(10, 10), data.get()));
    // Asked directly, a status window has no target: a beep and nothing run.
    const std::vector<std::string> paths{"/tmp/n.txt"};
    EXPECT_EQ(dragdrop_handle(status, &paths, 0, 10, 0), 0);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(ran().size(), 1u);
}

TEST_F(DragDropWindowTest, RevokedWindowsRefuseAndRegisteringTwiceMakesOneTarget)
{
    WindowRecord* chan = open("#kest", kWinChannel, 0);
    ASSERT_TRUE(chan);
    dragdrop_register(chan);
    dragdrop_revoke_flag(chan, 1);
    EXPECT_EQ(chan->hwnd.get()->findChildren<QObject*>("kest_drop_target", Qt::FindDirectChildrenOnly).size(), 1);
    std::unique_ptr<QMimeData> data(files({"/tmp/n.txt"}));
    dragdrop_revoke(chan);
    dragdrop_revoke(chan);  // twice: nothing more happens
    EXPECT_FALSE(dragdrop_registered(chan));
    EXPECT_FALSE(drop(chan->text_area.get(), QPoint(10, 10), data.get()));
    EXPECT_TRUE(ran().empty());
    dragdrop_revoke_flag(chan, 1);
    EXPECT_TRUE(drop(chan->text_area.get(), QPoint(10, 10), data.get()));
    EXPECT_EQ(ran().size(), 1u);
}

TEST_F(DragDropWindowTest, AWindowOfAFreedConnectionRunsNothing)
{
    WindowRecord* chan = open("#kest", kWinChannel, 0);
    ASSERT_TRUE(chan);
    Connection* other = conn_new_with_status(conn_list);
    chan->conn = other;
    conn_free(other);
    const std::vector<std::string> paths{"/tmp/n.txt"};
    EXPECT_EQ(dragdrop_handle(chan, &paths, 0, 10, 0), 0);
    EXPECT_TRUE(ran().empty());
}

TEST_F(DragDropWindowTest, HoveringNearTheListEdgesScrollsOneLinePerMove)
{
    WindowRecord* chan = open("#kest", kWinChannel, 0);
    ASSERT_TRUE(chan && chan->listbox.get());
    QListWidget* list = chan->listbox.get();
    list->clear();
    for (int i = 0; i < 200; ++i)
        list->addItem(QString("nick%1").arg(i));
    list->show();
    test_drain_events();
    QScrollBar* bar = list->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 10);
    bar->setValue(bar->maximum() / 2);
    const int start = bar->value();
    std::unique_ptr<QMimeData> data(files({"/tmp/n.txt"}));
    QWidget* area = list->viewport();
    QDragEnterEvent enter(QPoint(5, 1), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &enter);
    for (int i = 0; i < 2; ++i) {
        QDragMoveEvent move(QPoint(5, 1), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area, &move);
    }
    const int up = bar->value();
    EXPECT_LT(up, start);
    EXPECT_EQ(start - up, 2 * bar->singleStep());
    // In the middle nothing scrolls; at the bottom edge it goes down again.
    QDragMoveEvent middle(QPoint(5, area->height() / 2), Qt::CopyAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(area, &middle);
    EXPECT_EQ(bar->value(), up);
    QDragMoveEvent bottom(QPoint(5, area->height() - 1), Qt::CopyAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(area, &bottom);
    EXPECT_EQ(bar->value(), up + bar->singleStep());
    // Hovering runs nothing.
    EXPECT_TRUE(ran().empty());
    EXPECT_EQ(beeps, 0);
}

}  // namespace
