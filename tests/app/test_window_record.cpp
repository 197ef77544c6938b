// Window records: the list, window numbers, every lookup, activity levels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>
#include <QElapsedTimer>

#include <filesystem>
#include <functional>
#include <memory>

#include <cstdlib>
#include <unistd.h>
#include <string>

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_layout.h"
#include "app/mdi_arrange.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "platform/platform_utils.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/hook_guard.h"
#include "support/cpu_time.h"

// ---- Shared set-up of the window tests (used by the other window test files) ----

namespace {

QPointer<QMainWindow> test_frame;

}  // namespace

QMdiArea* window_test_mdi()
{
    test_app();
    // Other tests of the binary may have made their own frame the MDI client's.
    test_frame_mdi(test_frame);
    return mdi_client();
}

void window_test_pump()
{
    test_drain_events();
}

void window_test_reset()
{
    window_test_mdi();
    app_exit_mode = 0;  // other tests of the binary may leave an exit under way
    win_hooks = WinHooks();
    child_hooks = ChildHooks();
    open_hooks = OpenHooks();
    options_reset();
    option_set_value(1, 17, 0);  // new queries open normally unless a test asks
    beep_play_hook = [](int) {};
    for (Connection* c = conn_list; c; c = c->next)
        c->socket = -1;
    win_close_all();
    conn_free_all();
    while (win_list)
        win_record_free(win_list);
    win_active = nullptr;
    win_last_activated = nullptr;
    // A fresh frame: an MDI client keeps showing new windows maximised once
    // one was, and other tests may have taken the activation away.
    delete test_frame.data();
    window_test_pump();
    window_test_mdi();
    win_cascade_reset();  // new windows cascade from the new frame's corner
    test_frame->activateWindow();
    win_custom_request = CustomWindowRequest();
    win_next_query_minimised = 0;
    conn_next_status_minimised = 0;
    win_alloc_id_set_last(0);
    window_test_pump();
}

Connection* window_test_conn()
{
    return conn_new_with_status(conn_list);
}

WindowRecord* window_test_open(const std::string& name, int type, int subtype, Connection* conn)
{
    WindowOpenRequest request;
    request.name = name;
    request.type = type;
    request.subtype = subtype;
    request.conn = conn;
    QWidget* hwnd = win_open(request);
    return win_record_of(hwnd);
}

namespace {

class WindowRecordTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
    SavedValues<std::string, std::string> saved_{settings_dir, main_settings.log_dir};
    std::filesystem::path dir_;
protected:
    void SetUp() override
    {
        window_test_reset();
        // A settings folder with its logs folder, as the program has at
        // start: windows that log open their files there instead of
        // showing that the file cannot be opened.
        dir_ = std::filesystem::temp_directory_path() / ("kest-winrec-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "logs");
        settings_dir = dir_.string() + "/";
        main_settings.log_dir.clear();
    }
    void TearDown() override
    {
        window_test_reset();
        std::filesystem::remove_all(dir_);
    }
};

// ---- The list and window numbers ----

TEST_F(WindowRecordTest, ListedRecordsKeepCreationOrderAndUniqueNumbers)
{
    WindowRecord* a = win_record_new(1);
    WindowRecord* b = win_record_new(1);
    WindowRecord* c = win_record_new(1);
    WindowRecord* loose = win_record_new(0);
    ASSERT_TRUE(a && b && c && loose);
    EXPECT_EQ(win_list, a);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(b->next, c);
    EXPECT_EQ(c->next, nullptr);
    EXPECT_EQ(win_is_record(loose), 0);
    EXPECT_EQ(loose->number, 0);
    EXPECT_NE(a->number, b->number);
    EXPECT_NE(b->number, c->number);
    EXPECT_LT(a->creation_seq, b->creation_seq);

    // Freeing one from the middle keeps the others linked.
    win_record_free(b);
    EXPECT_EQ(a->next, c);
    EXPECT_EQ(win_is_record(b), 0);
    EXPECT_EQ(win_record_by_id(c->number), c);
    win_record_free(loose);
}

TEST_F(WindowRecordTest, NewRecordHasTheDefaults)
{
    WindowRecord* r = win_record_new(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->font_face, "FixedSys");
    EXPECT_EQ(r->font_size, 12);
    EXPECT_EQ(r->font_weight, 400);
    EXPECT_EQ(r->timestamp, 2);
    EXPECT_EQ(r->spacing, 2);
    EXPECT_EQ(r->beep, 2);   // follow the global option, not "off"
    EXPECT_EQ(r->flash, 2);
    EXPECT_EQ(r->editbox2_prefixes, "@");
    EXPECT_EQ(r->log_file, -1);
    EXPECT_EQ(r->tab_stops[0], 8);
    EXPECT_EQ(r->tab_stops[49], 400);
    EXPECT_EQ(r->text_rect.left, -1);
    EXPECT_EQ(r->layout_rect.right, 500);
    EXPECT_EQ(r->shown, 1);
    win_record_free(r);
}

// ---- Lookups ----

TEST_F(WindowRecordTest, FindByNameRespectsConnectionsByWindowKind)
{
    Connection* a = window_test_conn();
    Connection* b = window_test_conn();
    ASSERT_TRUE(a && b);
    WindowRecord* chan = window_test_open("#kest", kWinChannel, 0, a);
    WindowRecord* query = window_test_open("Nick", kWinQuery, kQueryPrivate, b);
    WindowRecord* chat = window_test_open("Bob", kWinQuery, kQueryDccChat, a);
    WindowRecord* custom = window_test_open("@pic", kWinCustom, 0, a);
    WindowRecord* status_a = win_record_of(a->status_window.data());
    ASSERT_TRUE(chan && query && chat && custom && status_a);

    struct Case {
        const char* name;
        Connection* conn;
        WindowRecord* expected;
    } cases[] = {
        {"#kest", a, chan},
        {"#KEST", nullptr, chan},
        {"#kest", b, nullptr},        // a channel of another connection
        {"nick", b, query},
        {"NICK", a, nullptr},         // a query of another connection
        {"bob", b, chat},             // DCC chats match on any connection
        {"@PIC", b, custom},          // custom windows too
        {"status window", a, status_a},
        {"", a, nullptr},
        {"#kes", a, nullptr},
        {"#kest2", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(win_find_by_name(c.name, c.conn), c.expected);
    }
}

TEST_F(WindowRecordTest, FindByNameSkipsRecordsWithoutWindowOrOutsideTheTypes)
{
    Connection* a = window_test_conn();
    WindowRecord* r = win_record_new(1);
    r->name = "#ghost";
    r->type = kWinChannel;
    r->conn = a;
    EXPECT_EQ(win_find_by_name("#ghost", a), nullptr);  // no window
    WindowRecord* q = window_test_open("odd", kWinQuery, kQueryPrivate, a);
    ASSERT_NE(q, nullptr);
    q->subtype = 7;  // a type-2 record outside subtypes 1..4
    EXPECT_EQ(win_find_by_name("odd", a), nullptr);
    q->subtype = kQueryPrivate;
    EXPECT_EQ(win_find_by_name("odd", a), q);
}

TEST_F(WindowRecordTest, SpecialNameKinds)
{
    struct Case {
        const char* name;
        int kind;
    } cases[] = {
        {"@desktop", 1}, {"@DeskTop", 1}, {"@kest", 2}, {"@KEST", 2}, {"@mdi", 4},
        {"@", 8},        {"@12", 16},     {"@0", 16},   {"@12a", 0},  {"@a12", 0},
        {"@-1", 0},      {"desktop", 0},  {"", 0},      {"-1", 0},    {"@kests", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(win_special_name_kind(c.name), c.kind);
    }
}

TEST_F(WindowRecordTest, HandlesFromReservedNamesAndNumbers)
{
    Connection* a = window_test_conn();
    WindowRecord* q = window_test_open("Nick", kWinQuery, kQueryPrivate, a);
    ASSERT_NE(q, nullptr);
    QWidget* frame = win_frame_handle();
    QWidget* mdi = win_mdi_handle();
    QWidget* desktop = win_desktop_handle();
    ASSERT_TRUE(frame && mdi && desktop);
    std::string at_n = "@" + std::to_string(q->number);

    struct Case {
        std::string name;
        int flags;
        QWidget* expected;
    } cases[] = {
        {"-1", 0x40, desktop},
        {"-2", 0x40, frame},
        {"-3", 0x40, mdi},
        {"-1", 0x20, nullptr},        // "-N" only with 0x40
        {"@desktop", 0x20, desktop},
        {"@Kest", 0x20, frame},
        {"@", 0x20, frame},
        {"@mdi", 0x20, mdi},
        {"@mdi", 0x40, nullptr},
        {at_n, 0x10, q->hwnd.get()},
        {at_n, 0x20, nullptr},        // a number only with 0x10
        {at_n + "x", 0x10, nullptr},  // a letter after the digits
        {"@14998", 0x10, nullptr},    // no window has it
        {"@99999999999999", 0x10, nullptr},
        {"Nick", 0x70, nullptr},      // plain names are not resolved here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.flags));
        EXPECT_EQ(win_hwnd_from_name(c.name, c.flags), c.expected);
    }
}

TEST_F(WindowRecordTest, AClosedOrDestroyedWindowReadsAsNone)
{
    Connection* a = window_test_conn();
    WindowRecord* q = window_test_open("Nick", kWinQuery, kQueryPrivate, a);
    WindowRecord* c = window_test_open("#chan", kWinChannel, 0, a);
    ASSERT_TRUE(q && c);
    QPointer<QWidget> qh = q->hwnd.get();
    int number = q->number;
    std::string at_n = "@" + std::to_string(number);

    EXPECT_EQ(win_close_request(qh.data()), 1);
    window_test_pump();
    EXPECT_EQ(win_record_by_id(number), nullptr);
    EXPECT_EQ(win_find_by_name("Nick", a), nullptr);
    EXPECT_EQ(win_hwnd_from_name(at_n, 0x10), nullptr);
    EXPECT_TRUE(qh.isNull());

    // A window destroyed behind the record's back: its handle reads as null.
    QWidget* ch = c->hwnd.get();
    delete win_container(ch);
    EXPECT_EQ(c->hwnd.get(), nullptr);
    EXPECT_EQ(win_record_of(ch), nullptr);
    EXPECT_EQ(win_find_by_name("#chan", a), nullptr);
}

TEST_F(WindowRecordTest, ControlsAndOwnersByHandle)
{
    Connection* a = window_test_conn();
    WindowRecord* c = window_test_open("#chan", kWinChannel, 0, a);
    ASSERT_NE(c, nullptr);
    QWidget* h = c->hwnd.get();
    struct Case {
        int id;
        QWidget* expected;
    } cases[] = {
        {kCtlTextArea, c->text_area.get()},
        {kCtlScrollBar, c->scroll_bar.get()},
        {kCtlListBox, c->listbox.get()},
        {kCtlEditBox, c->editbox.get()},
        {kCtlEditBox2, nullptr},
        {12345, nullptr},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.id);
        EXPECT_EQ(win_get_control(h, k.id), k.expected);
        if (k.expected) {
            EXPECT_EQ(win_owner_hwnd(k.expected), h);
        }
    }
    EXPECT_EQ(win_owner_hwnd(nullptr), nullptr);
    EXPECT_EQ(win_owner_hwnd(win_frame_handle()), nullptr);
    EXPECT_EQ(win_find_by_type(kWinChannel, a), c);
    EXPECT_EQ(win_find_by_type(kWinChannel, nullptr), c);
    EXPECT_EQ(win_find_by_type(kWinUrls, nullptr), nullptr);
    EXPECT_EQ(win_is_mdi_child(h), 1);
    EXPECT_EQ(win_is_mdi_child(win_frame_handle()), 0);
}

// ---- Activity ----

TEST_F(WindowRecordTest, ActivityRanksZeroThreeOneTwo)
{
    // kind: 2 highlight, 1 message, 3 other text.
    struct Case {
        int current;
        int kind;
        int expected;
    } cases[] = {
        {0, 3, 3}, {0, 1, 1}, {0, 2, 2},
        {3, 3, 3}, {3, 1, 1}, {3, 2, 2},
        {1, 3, 1}, {1, 1, 1}, {1, 2, 2},
        {2, 3, 2}, {2, 1, 2}, {2, 2, 2},
        {0, 0, 0}, {1, 7, 1},  // not a line kind: unchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.current) + "+" + std::to_string(c.kind));
        EXPECT_EQ(win_activity_after(c.current, c.kind), c.expected);
    }
    EXPECT_LT(win_activity_rank(0), win_activity_rank(3));
    EXPECT_LT(win_activity_rank(3), win_activity_rank(1));
    EXPECT_LT(win_activity_rank(1), win_activity_rank(2));
}

TEST_F(WindowRecordTest, PrintingOnlyRaisesAndOnlyWhileNotSeen)
{
    Connection* a = window_test_conn();
    WindowRecord* c = window_test_open("#chan", kWinChannel, 0, a);
    WindowRecord* t = window_test_open("file.txt", kWinTransfer, 1, a);
    WindowRecord* other = window_test_open("#other", kWinChannel, 0, a);
    ASSERT_TRUE(c && t && other);
    opt_set(OPT_HIGHLIGHT_UNSEEN, 1);
    // The user looks at the channel (it in front) or away from it (another
    // window in front); activating clears the level, so it is set after.
    auto look = [&](bool at_channel) {
        win_activate((at_channel ? c : other)->hwnd.get(), kActivateForeground);
        window_test_pump();
        ASSERT_EQ(win_needs_highlight(c->hwnd.get()), at_channel ? 0 : 1);
    };
    static int repaints = 0;
    repaints = 0;
    struct Listen {
        int id = win_list_changed.add(kWinListChangedSwitchbar + 1, [](const WinListChange& change) {
            if (change.kind == kWinListLook)
                ++repaints;
        });
        ~Listen() { win_list_changed.remove(id); }
    } listen;

    look(false);
    c->activity = 0;
    repaints = 0;
    // Five highlights and then ordinary lines leave the window at 2.
    for (int i = 0; i < 5; ++i)
        win_raise_activity(c, kActivityHighlight);
    EXPECT_EQ(c->activity, 2);
    EXPECT_EQ(win_raise_activity(c, kActivityText), 0);
    EXPECT_EQ(win_raise_activity(c, kActivityMessage), 0);
    EXPECT_EQ(c->activity, 2);
    EXPECT_EQ(repaints, 1);  // only the change repaints

    // A window in view keeps its level.
    look(true);
    c->activity = 0;
    EXPECT_EQ(win_raise_activity(c, kActivityMessage), 0);
    EXPECT_EQ(c->activity, 0);

    // DCC transfer windows get none.
    look(false);
    EXPECT_EQ(win_raise_activity(t, kActivityHighlight), 0);
    EXPECT_EQ(t->activity, 0);

    // win_note_activity sets 1 only on a window at 0.
    c->activity = 0;
    win_note_activity(c->hwnd.get());
    EXPECT_EQ(c->activity, 1);
    c->activity = 3;
    win_note_activity(c->hwnd.get());
    EXPECT_EQ(c->activity, 3);
    look(true);
    c->activity = 0;
    win_mark_activity(c->hwnd.get());
    EXPECT_EQ(c->activity, 0);
}

TEST_F(WindowRecordTest, ActivationClearsTheLevel)
{
    Connection* a = window_test_conn();
    WindowRecord* c = window_test_open("#chan", kWinChannel, 0, a);
    WindowRecord* q = window_test_open("Nick", kWinQuery, kQueryPrivate, a);
    ASSERT_TRUE(c && q);
    static WindowRecord* cleared = nullptr;
    cleared = nullptr;
    struct Listen {
        int id = win_activity_cleared.add(kActivityClearedSwitchbar + 1, [](WindowRecord* r) { cleared = r; });
        ~Listen() { win_activity_cleared.remove(id); }
    } listen;
    c->activity = 2;
    win_on_activate(c->hwnd.get());
    EXPECT_EQ(c->activity, 0);
    EXPECT_EQ(cleared, c);
    EXPECT_EQ(win_active.get(), c->hwnd.get());
    // Activating a window without a level tells nobody.
    cleared = nullptr;
    win_on_activate(q->hwnd.get());
    EXPECT_EQ(cleared, nullptr);
}

TEST_F(WindowRecordTest, BuiltInInViewTestUsesTheActiveWindow)
{
    Connection* a = window_test_conn();
    WindowRecord* c = window_test_open("#chan", kWinChannel, 0, a);
    WindowRecord* q = window_test_open("Nick", kWinQuery, kQueryPrivate, a);
    WindowRecord* m = window_test_open("#min", kWinChannel, 0, a);
    ASSERT_TRUE(c && q && m);
    EXPECT_EQ(win_needs_highlight(nullptr), 0);
    QWidget* frame = win_frame_handle();
    frame->activateWindow();
    window_test_pump();
    frame_update_activation(nullptr, 0);
    if (!frame_app_active())
        GTEST_SKIP() << "the platform gives no active window";
    win_container(m->hwnd.get())->showMinimized();
    window_test_pump();
    mdi_client()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(win_container(c->hwnd.get())));
    window_test_pump();
    ASSERT_EQ(win_active.get(), c->hwnd.get());

    struct Case {
        const char* what;
        WindowRecord* rec;
        int unseen_option;
        int expected;
    } cases[] = {
        {"active window", c, 1, 0},
        {"other window, unseen option on", q, 1, 1},
        {"other window, unseen option off", q, 0, 0},
        {"minimised window", m, 0, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        option_set_value(4, 21, k.unseen_option);
        EXPECT_EQ(win_needs_highlight(k.rec->hwnd.get()), k.expected);
    }
}

}  // namespace

namespace {

// Finding a record by its window follows every change of the window, keeps
// the list's order when two records share one, and never answers for a
// record outside the list or one that is gone.
TEST_F(WindowRecordTest, RecordByWindowFollowsEveryChange)
{
    QWidget w1, w2;
    WindowRecord* loose = win_record_new(0);
    WindowRecord* a = win_record_new(1);
    WindowRecord* b = win_record_new(1);
    ASSERT_TRUE(loose && a && b);
    struct Step {
        const char* what;
        std::function<void()> change;
        WindowRecord* of_w1;
        WindowRecord* of_w2;
    } steps[] = {
        {"nothing set", [] {}, nullptr, nullptr},
        {"outside the list", [&] { loose->hwnd = &w1; }, nullptr, nullptr},
        {"b takes w1", [&] { b->hwnd = &w1; }, b, nullptr},
        {"a shares w1 and comes first", [&] { a->hwnd = &w1; }, a, nullptr},
        {"a moves to w2", [&] { a->hwnd = &w2; }, b, a},
        {"set again to the same", [&] { a->hwnd = &w2; }, b, a},
        {"b lets go", [&] { b->hwnd = nullptr; }, nullptr, a},
        {"b back on w2 after a", [&] { b->hwnd = &w2; }, nullptr, a},
        {"a freed", [&] { win_record_free(a); a = nullptr; }, nullptr, b},
        {"b freed", [&] { win_record_free(b); b = nullptr; }, nullptr, nullptr},
    };
    for (const Step& st : steps) {
        SCOPED_TRACE(st.what);
        st.change();
        EXPECT_EQ(win_record_of(&w1), st.of_w1);
        EXPECT_EQ(win_record_of(&w2), st.of_w2);
        EXPECT_EQ(win_count(), (a ? 1 : 0) + (b ? 1 : 0));
    }
    EXPECT_EQ(win_is_record(loose), 0);
    win_record_free(loose);
    // A window destroyed under its record: nothing answers for its address.
    WindowRecord* c = win_record_new(1);
    auto* gone = new QWidget;
    c->hwnd = gone;
    ASSERT_EQ(win_record_of(gone), c);
    delete gone;
    EXPECT_EQ(win_record_of(gone), nullptr);
    EXPECT_EQ(win_is_record(c), 1);
    win_record_free(c);
    EXPECT_EQ(win_is_record(c), 0);
}

// With thousands of windows every lookup by window or by record stays cheap
// (a walk of the list for each one made a busy program crawl).
TEST_F(WindowRecordTest, LookupsStayCheapWithThousandsOfWindows)
{
    constexpr int kWindows = 4000;
    std::vector<std::unique_ptr<QWidget>> widgets;
    std::vector<WindowRecord*> recs;
    for (int i = 0; i < kWindows; ++i) {
        widgets.push_back(std::make_unique<QWidget>());
        WindowRecord* r = win_record_new(1);
        ASSERT_NE(r, nullptr);
        r->hwnd = widgets.back().get();
        recs.push_back(r);
    }
    QWidget stranger;
    const auto start = thread_cpu_ms();
    int found = 0;
    for (int round = 0; round < 50; ++round)
        for (int i = 0; i < kWindows; ++i) {
            found += win_record_of(widgets[static_cast<std::size_t>(i)].get()) == recs[static_cast<std::size_t>(i)];
            found += win_is_record(recs[static_cast<std::size_t>(i)]);
            found += win_record_of(&stranger) == nullptr;
        }
    EXPECT_EQ(found, 3 * 50 * kWindows);
    EXPECT_LT(thread_cpu_ms() - start, 1000);   // processor time: the work, not the load
    EXPECT_EQ(win_count(), kWindows);
    for (WindowRecord* r : recs)
        win_record_free(r);
    EXPECT_EQ(win_count(), 0);
    EXPECT_EQ(win_list, nullptr);
}

}  // namespace
