// Platform utilities: numbers, counters, beeps, clipboard, list boxes, help, title.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "platform/frame_timers.h"
#include "platform/platform_utils.h"
#include "platform_test_env.h"
#include "support/hook_guard.h"

namespace {

class PlatformUtilsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform_test_app();
        options_reset();
        win_alloc_id_set_last(0);
        timer_alloc_id_reset();
    }
    void TearDown() override
    {
        options_reset();
        win_ids_taken.drop(win_ids_listener);
        timer_ids_taken.drop(timer_ids_listener);
        while (win_list)
            win_record_free(win_list);
        frame_timer_stop(121);
    }

    int win_ids_listener = 0;
    int timer_ids_listener = 0;

private:
    HookGuard hooks_;  // every seam back as it was when the test ends
    SavedValues<std::string> settings_dir_{settings_dir};
};

// ---- Window numbers ----

std::set<int> taken_ids;

TEST_F(PlatformUtilsTest, WindowNumbersSkipNumbersInUseAndWrap)
{
    // Window records hold 1 and 3; another list holds 4.
    WindowRecord* one = win_record_new(1);
    WindowRecord* two = win_record_new(1);
    ASSERT_EQ(one->number, 1);
    ASSERT_EQ(two->number, 2);
    two->number = 3;
    taken_ids = {4};
    win_ids_listener = win_ids_taken.add(0, [](int id) { return taken_ids.count(id) ? 1 : 0; });

    win_alloc_id_set_last(0);
    EXPECT_EQ(win_alloc_id(), 2);
    EXPECT_EQ(win_alloc_id(), 5);   // 3 and 4 are taken
    EXPECT_EQ(win_alloc_id(), 6);   // always after the last one handed out

    struct Case {
        int last;
        int expected;
    } cases[] = {
        {14998, 14999},
        {14999, 2},     // wraps to 1, which is taken
        {0, 2},
        {2, 5},
        {-7, 2},        // a bad counter starts again
        {20000, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        win_alloc_id_set_last(c.last);
        EXPECT_EQ(win_alloc_id(), c.expected);
    }
}

TEST_F(PlatformUtilsTest, WindowNumbersNeverCollideWithConnectionIds)
{
    win_alloc_id_set_last(0);
    Connection* c = conn_new(nullptr);
    ASSERT_NE(c, nullptr);
    int conn_id = c->id;
    win_alloc_id_set_last(conn_id - 1);
    int next = win_alloc_id();
    EXPECT_NE(next, conn_id);
    EXPECT_EQ(next, conn_id + 1);
    conn_free(c);
}

TEST_F(PlatformUtilsTest, EveryNumberTakenGivesZero)
{
    win_ids_listener = win_ids_taken.add(0, [](int) { return 1; });
    EXPECT_EQ(win_alloc_id(), 0);
}

TEST_F(PlatformUtilsTest, TimerIdsStartAt200AndSkipIdsInUse)
{
    taken_ids.clear();
    timer_ids_listener = timer_ids_taken.add(0, [](int id) { return taken_ids.count(id) ? 1 : 0; });
    EXPECT_EQ(timer_alloc_id(), 200);
    taken_ids = {200, 201, 203};
    EXPECT_EQ(timer_alloc_id(), 202);
    taken_ids.insert(202);  // the caller now uses it
    EXPECT_EQ(timer_alloc_id(), 204);
    taken_ids.clear();
    EXPECT_GE(timer_alloc_id(), 200);
}

// ---- Counters and numbers ----

TEST_F(PlatformUtilsTest, IpNumbersToText)
{
    const double two32 = 4294967296.0;
    struct Case {
        double number;
        int order;
        const char* text;
    } cases[] = {
        {3232235777.0, 0, "192.168.1.1"},
        {3232235777.0, 1, "1.1.168.192"},
        {0.0, 0, "0.0.0.0"},
        {4294967295.0, 0, "255.255.255.255"},
        {two32 + 16909060.0, 0, "1.2.3.4"},          // reduced below 2^32
        {3.0 * two32 + 16909060.0, 1, "4.3.2.1"},
        {200.0 * two32 + 1.0, 0, "0.0.0.1"},         // past 100 subtractions: wrapped
        {-1.0, 0, "255.255.255.255"},                // negative: wrapped, never undefined
        {std::nan(""), 0, "0.0.0.0"},
        {1e300, 0, "0.0.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string out = "junk";
        ip_long_to_text(c.number, out, c.order);
        EXPECT_EQ(out, c.text);
    }
}

TEST_F(PlatformUtilsTest, MillisecondCounterNeverGoesBack)
{
    std::uint64_t last = time_ticks_ms();
    for (int i = 0; i < 1000; ++i) {
        std::uint64_t now = time_ticks_ms();
        ASSERT_GE(now, last);
        last = now;
    }
    std::string name;
    os_detect_version(&name);
    EXPECT_EQ(name, "Vista");
    EXPECT_EQ(os_version.vista_or_later, 1);
    EXPECT_EQ(os_version.win9x_level, 0);
}

TEST_F(PlatformUtilsTest, BreakKeyIgnoresTheRecordedMoment)
{
    key_break_set_down(0);
    EXPECT_EQ(key_break_pressed(), 0);
    key_break_set_down(1);
    EXPECT_EQ(key_break_pressed(), 1);
    key_break_record_time();
    EXPECT_EQ(key_break_pressed(), 0);  // within 250 ms of the recorded break
    EXPECT_EQ(key_break_pressed(), 1);  // the record was cleared
    key_break_set_down(0);
}

// ---- Sounds ----

std::vector<int> played;

TEST_F(PlatformUtilsTest, ErrorBeepByLevelAndOptions)
{
    beep_play_hook = [](int kind) { played.push_back(kind); };
    // (5,14) beep option, (1,31) error sound, (1,32) speaker.
    struct Case {
        const char* what;
        int level;
        int beep_on, error_sound, speaker;
        std::vector<int> sounds;
        int result;
    } cases[] = {
        {"level 0, beep off: silent", 0, 0, 0, 0, {}, 0},
        {"level 0, beep on", 0, 1, 0, 0, {0}, 0},
        {"level 1 sounds while beep is off", 1, 0, 0, 0, {0}, 1},
        {"speaker beep", 1, 1, 0, 1, {1}, 1},
        {"error sound resource", 1, 1, 1, 0, {60}, 1},
        {"error sound with the speaker", 1, 1, 1, 1, {1}, 1},
        {"other level: nothing", 5, 1, 0, 0, {}, 5},
        {"negative level: nothing", -1, 1, 0, 0, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        played.clear();
        option_set_value(5, 14, c.beep_on);
        option_set_value(1, 31, c.error_sound);
        option_set_value(1, 32, c.speaker);
        EXPECT_EQ(beep_error(c.level), c.result);
        EXPECT_EQ(played, c.sounds);
    }

    struct Link {
        int sounds_on, link_on;
        std::vector<int> expected;
    } links[] = {{1, 1, {62}}, {0, 1, {}}, {1, 0, {}}};
    for (const Link& l : links) {
        played.clear();
        option_set_value(5, 14, l.sounds_on);
        option_set_value(1, 33, l.link_on);
        beep_link_click();
        EXPECT_EQ(played, l.expected);
    }
}

TEST_F(PlatformUtilsTest, RepeatedBeepsCountDownAndStop)
{
    beep_play_hook = [](int kind) { played.push_back(kind); };
    played.clear();
    option_set_value(5, 14, 0);       // beep option off: step 0 does not start
    option_set_value(1, 0, 3);        // three beeps
    option_set_value(1, 1, 250);      // every 250 ms
    beep_repeat_timer(0);
    EXPECT_EQ(frame_timer_is_running(121), 0);
    beep_repeat_timer(1);
    EXPECT_EQ(frame_timer_is_running(121), 1);
    EXPECT_EQ(frame_timer_interval(121), 250);
    beep_repeat_timer(2);
    beep_repeat_timer(2);
    EXPECT_EQ(frame_timer_is_running(121), 1);
    beep_repeat_timer(2);
    EXPECT_EQ(frame_timer_is_running(121), 0);
    EXPECT_EQ(played.size(), 3u);
    beep_repeat_timer(2);             // used up: nothing more
    EXPECT_EQ(played.size(), 3u);
    beep_repeat_timer(1);
    beep_repeat_timer(9);             // any other step stops it
    EXPECT_EQ(frame_timer_is_running(121), 0);
}

// ---- Clipboard ----

TEST_F(PlatformUtilsTest, ClipboardRoundTripAndAppend)
{
    ASSERT_EQ(clip_set_text(nullptr, "merhaba dünya", 0), 1);
    auto text = clip_get_text(1);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "merhaba dünya");
    ASSERT_EQ(clip_set_text(nullptr, " ve ötesi", 1), 1);
    EXPECT_EQ(*clip_get_text(2), "merhaba dünya ve ötesi");
    // An empty text leaves the clipboard as it was.
    EXPECT_EQ(clip_set_text(nullptr, "", 0), 1);
    EXPECT_EQ(*clip_get_text(1), "merhaba dünya ve ötesi");
    // Bytes that are not UTF-8 are taken as Latin-1.
    clip_set_text(nullptr, std::string("caf\xe9"), 0);
    EXPECT_EQ(*clip_get_text(1), "café");
    EXPECT_FALSE(clip_get_text(3).has_value());
}

TEST_F(PlatformUtilsTest, PlayQueueFileFromTheClipboard)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    settings_dir = dir.path().toStdString() + "/";
    std::string long_line(5000, 'a');
    clip_set_text(nullptr, "one\r\ntwo\n" + long_line + "\nthree", 0);

    std::string name;
    ASSERT_EQ(clip_save_playqueue(name), 1);
    EXPECT_EQ(name, settings_dir + "playq1.txt");
    std::string second;
    ASSERT_EQ(clip_save_playqueue(second), 1);
    EXPECT_EQ(second, settings_dir + "playq2.txt");

    std::ifstream in(name, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "one\r\ntwo\r\n" + std::string(4150, 'a') + "\r\nthree\r\n");

    // A device name is refused.
    std::string device = "/dev/null";
    EXPECT_EQ(clip_save_playqueue(device), 0);
}

// ---- List boxes and controls ----

TEST_F(PlatformUtilsTest, ListBoxHelpersByControlId)
{
    QDialog dialog;
    auto* single = new QListWidget(&dialog);
    auto* multi = new QListWidget(&dialog);
    dlg_set_item_id(single, 100);
    dlg_set_item_id(multi, 101);
    multi->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const char* t : {"#Kest", "#linux help", "@op", "#kest2"}) {
        single->addItem(QString::fromUtf8(t));
        multi->addItem(QString::fromUtf8(t));
    }
    struct Find {
        const char* text;
        const char* cut;
        int index;
    } finds[] = {
        {"#kest", "", 0},
        {"#linux", " ", 1},      // cut at the first blank
        {"#linux", "", -1},
        {"@OP", "", 2},
        {"#kest2", "", 3},
        {"nothing", "", -1},
    };
    for (const Find& f : finds) {
        SCOPED_TRACE(f.text);
        EXPECT_EQ(listbox_find_text(&dialog, 100, f.text, f.cut), f.index);
    }
    EXPECT_EQ(listbox_find_text(&dialog, 999, "#kest", ""), -1);

    EXPECT_EQ(listbox_select_item(&dialog, 100, 2, 1, 0), 2);
    EXPECT_EQ(listbox_get_caret(&dialog, 100), 2);
    EXPECT_EQ(listbox_select_item(&dialog, 100, 9, 1, 0), -1);  // out of range
    EXPECT_EQ(listbox_get_caret(&dialog, 100), 2);

    EXPECT_EQ(listbox_select_item(&dialog, 101, 1, 1, 1), 1);
    EXPECT_EQ(listbox_select_item(&dialog, 101, 3, 1, 0), 3);
    EXPECT_EQ(multi->selectedItems().size(), 2);
    EXPECT_EQ(listbox_get_caret(&dialog, 101), 3);
    EXPECT_EQ(listbox_select_item(&dialog, 101, 0, 1, 1), 0);   // clear first
    EXPECT_EQ(multi->selectedItems().size(), 1);
    EXPECT_EQ(listbox_get_caret(&dialog, 999), -1);

    auto* edit = new QLineEdit(&dialog);
    dlg_set_item_id(edit, 102);
    edit->setText(QString(2000, QChar('x')));
    std::string text;
    dlg_get_item_text(&dialog, 102, text);
    EXPECT_EQ(text.size(), 1024u);
    dlg_get_item_text(&dialog, 555, text);
    EXPECT_TRUE(text.empty());

    auto* label = new QLabel(&dialog);
    label->resize(120, 20);
    dlg_set_item_id(label, 103);
    std::string path = "/home/user/a/very/long/folder/name/that/does/not/fit/file.wav";
    dlg_set_path_label(&dialog, 103, path);
    EXPECT_EQ(label->property("fullPath").toString().toStdString(), path);
    EXPECT_LT(label->text().size(), static_cast<int>(path.size()));
}

// A selection the program sets is announced with its dialog and control; a
// refused one (no such row, no such control) is not.
TEST_F(PlatformUtilsTest, SelectionSetByTheProgramIsAnnounced)
{
    QDialog dialog;
    auto* list = new QListWidget(&dialog);
    dlg_set_item_id(list, 100);
    for (const char* t : {"@ayşe", "+mehmet", "zeynep"})
        list->addItem(QString::fromUtf8(t));
    std::vector<std::pair<QWidget*, int>> heard;
    int id = listbox_selection_set.add(kListboxSelectionNickList,
                                       [&heard](QWidget* w, int control) { heard.emplace_back(w, control); });
    struct Case {
        int control, index, select;
        bool announced;
    };
    const Case cases[] = {
        {100, 1, 1, true},
        {100, 1, 0, true},   // unselecting is a selection set too
        {100, 0, 1, true},   // the first row
        {100, 2, 1, true},   // the last row
        {100, 3, 1, false},  // past the end
        {100, -1, 1, false},
        {999, 0, 1, false},  // no such control
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.control) + ":" + std::to_string(c.index));
        heard.clear();
        listbox_select_item(&dialog, c.control, c.index, c.select, 0);
        if (c.announced) {
            ASSERT_EQ(heard.size(), 1u);
            EXPECT_EQ(heard[0].first, &dialog);
            EXPECT_EQ(heard[0].second, 100);
        } else {
            EXPECT_TRUE(heard.empty());
        }
    }
    listbox_selection_set.remove(id);
}

// A child window's title goes on the MDI sub-window that holds it, and is
// set only when it changed.
TEST_F(PlatformUtilsTest, ChildTitleGoesOnItsSubWindow)
{
    QMdiArea area;
    auto* child = new QWidget;
    QMdiSubWindow* sub = area.addSubWindow(child);
    win_set_text_if_changed(child, "#kanal [+nt]");
    EXPECT_EQ(sub->windowTitle().toStdString(), "#kanal [+nt]");
    EXPECT_EQ(child->windowTitle().toStdString(), "#kanal [+nt]");

    // A window of its own keeps its title on itself.
    QWidget alone;
    win_set_text_if_changed(&alone, "Durum: irc.example.org");
    EXPECT_EQ(alone.windowTitle().toStdString(), "Durum: irc.example.org");

    // Cut at 4150 characters.
    win_set_text_if_changed(child, std::string(5000, 'x'));
    EXPECT_EQ(sub->windowTitle().size(), 4150);
}

// ---- Help and title ----

TEST_F(PlatformUtilsTest, HelpFileOpensOrReportsItsAbsence)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    settings_dir = dir.path().toStdString() + "/";
    static std::vector<std::string> messages;
    static std::vector<std::string> opened;
    messages.clear();
    opened.clear();
    message_dialog_hook = [](const std::string& caption, const std::string& text) {
        messages.push_back(caption + "|" + text);
    };
    desktop_open_hook = [](const std::string& path) {
        opened.push_back(path);
        return 1;
    };

    EXPECT_EQ(help_open("", "join", 0), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Kest Yardım Dosyası|Kest Yardım Dosyası Bulunamadı.");
    EXPECT_TRUE(opened.empty());

    // Another missing kind of help file shows nothing.
    messages.clear();
    EXPECT_EQ(help_open("guide.txt", "", 0), 0);
    EXPECT_TRUE(messages.empty());

    std::ofstream(settings_dir + "kest.chm") << "x";
    EXPECT_EQ(help_open("", "", -1), 1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], settings_dir + "kest.chm");
    std::ofstream(settings_dir + "guide.txt") << "x";
    EXPECT_EQ(help_open("guide.txt", "", 0), 1);
    EXPECT_EQ(opened.back(), settings_dir + "guide.txt");
}

TEST_F(PlatformUtilsTest, FrameTitleWithoutFormattingCodes)
{
    struct Case {
        const char* text;
        const char* title;
    } cases[] = {
        {"", "Kest"},
        {"sohbet", "Kest sohbet"},
        {"\x02kalın\x02 \x03" "4kırmızı\x0f", "Kest kalın kırmızı"},
        {"\x1f\x16", "Kest"},
    };
    QMainWindow frame;
    frame.setObjectName("Kest");
    int changes = 0;
    int id = frame_title_changed.add(kFrameTitleCaptions, [&changes] { ++changes; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        main_settings.app_title = c.text;
        EXPECT_EQ(frame_title(), c.title);
        const int before = changes;
        frame_update_title();
        if (win_frame_handle() == &frame) {
            EXPECT_EQ(frame.windowTitle().toStdString(), c.title);
        }
        // The captions hear of every update while there is a frame.
        EXPECT_EQ(changes - before, win_frame_handle() ? 1 : 0);
    }
    frame_title_changed.remove(id);
    main_settings.app_title.clear();
}

TEST_F(PlatformUtilsTest, MinimiseAnimationState)
{
    sys_minimize_animation(1);
    EXPECT_EQ(sys_minimize_animation(0), 1);
    EXPECT_EQ(sys_minimize_animation(0), 2);  // was already off
    EXPECT_EQ(sys_minimize_animation(1), 1);
    EXPECT_EQ(sys_minimize_animation(7), 2);
}

TEST_F(PlatformUtilsTest, IconSizesAndMissingIcons)
{
    struct Case {
        int flags;
        int size;
    } cases[] = {{8, 48}, {1, 16}, {3, 32}, {2, 32}, {0, 32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(img_icon_size(c.flags), c.size);
    }
    EXPECT_TRUE(img_load_icon("/nonexistent/icon.ico", 0, 0).isNull());
    EXPECT_TRUE(img_load_icon("", 99999, 0).isNull());
}

}  // namespace
