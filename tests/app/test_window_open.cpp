// Opening and closing windows by type.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>

#include <map>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/mdi_client.h"
#include "app/window_open.h"
#include "model/nick_list.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/options.h"
#include "irc/dispatch/outgoing_notes.h"
#include "platform/platform_utils.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/hook_guard.h"

// Shared set-up of the window tests (test_window_record.cpp).

namespace {

class WindowOpenTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
    // Placements and editbox settings are read from and written to a
    // settings folder of the test's own.
    TempSettingsDir settings_{"kest_winopen_"};
protected:
    void SetUp() override { window_test_reset(); }
    void TearDown() override { window_test_reset(); }
};

int editbox_count(WindowRecord* r)
{
    return (r->editbox.get() ? 1 : 0) + (r->editbox2.get() ? 1 : 0);
}

TEST_F(WindowOpenTest, EveryTypeGetsItsClassAndControls)
{
    Connection* a = window_test_conn();
    ASSERT_NE(a, nullptr);
    struct Case {
        const char* name;
        int type;
        int subtype;
        int custom_list;      // custom request: list box (1) or side list width (2)
        int custom_editbox;   // custom request: editbox kind
        const char* cls;
        bool text;
        bool scroll;
        int editboxes;
        bool list;
        const char* title;
    } cases[] = {
        {"Status Window", 0, 0, 0, 0, "Kest_Status", true, true, 1, false, "Status"},
        {"#kest", 1, 0, 0, 0, "Kest_Channel", true, true, 1, true, "#kest"},
        {"Nick", 2, 1, 0, 0, "Kest_Query", true, true, 1, false, "Nick"},
        {"Message Window", 2, 2, 0, 0, "Kest_Query", true, true, 1, false, "Messages"},
        {"Chat Bob", 2, 3, 0, 0, "Kest_Chat", true, true, 1, false, "Chat Bob"},
        {"Fserve Bob", 2, 4, 0, 0, "Kest_Fserve", true, true, 1, false, "Fserve Bob"},
        {"send.txt", 3, 1, 0, 0, "Kest_Send", false, false, 0, false, "send.txt"},
        {"get.txt", 3, 2, 0, 0, "Kest_Get", false, false, 0, false, "get.txt"},
        {"Channels List", 4, 0, 0, 0, "Kest_ChanList", false, false, 0, true, "Channels List"},
        {"Finger", 5, 0, 0, 0, "Kest_Finger", true, true, 0, false, "Finger"},
        {"URL List", 6, 0, 0, 0, "Kest_Urls", false, false, 0, true, "URL List"},
        {"Notify List", 7, 0, 0, 0, "Kest_Notify", false, false, 0, true, "Notify List"},
        {"Links List", 8, 0, 0, 0, "Kest_Links", false, false, 0, true, "Links List"},
        {"@text", 9, 0, 0, 0, "Kest_Custom", true, true, 0, false, "@text"},
        {"@texted", 9, 0, 0, 1, "Kest_Custom", true, true, 1, false, "@texted"},
        {"@list", 9, 1, 1, 0, "Kest_Custom", false, false, 0, true, "@list"},
        {"@side", 9, 2, 2, 3, "Kest_Custom", true, true, 1, true, "@side"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        win_custom_request = CustomWindowRequest();
        if (c.custom_list == 1)
            win_custom_request.list_box = 1;
        if (c.custom_list == 2)
            win_custom_request.side_list_width = 12;
        win_custom_request.editbox_kind = c.custom_editbox;
        int opened = -1;
        WindowOpenRequest request;
        request.name = c.name;
        request.type = c.type;
        request.subtype = c.subtype;
        request.conn = a;
        request.opened = &opened;
        QWidget* hwnd = win_open(request);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_EQ(opened, 1);
        WindowRecord* r = win_record_of(hwnd);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(hwnd->objectName().toStdString(), c.cls);
        EXPECT_EQ(hwnd->property("className").toString().toStdString(), c.cls);
        EXPECT_EQ(win_class_name(c.type, c.subtype), c.cls);
        EXPECT_EQ(hwnd->windowTitle().toStdString(), c.title);
        EXPECT_EQ(r->text_area.get() != nullptr, c.text);
        EXPECT_EQ(r->scroll_bar.get() != nullptr, c.scroll);
        EXPECT_EQ(editbox_count(r), c.editboxes);
        EXPECT_EQ(r->listbox.get() != nullptr, c.list);
        EXPECT_EQ(r->type, c.type);
        EXPECT_EQ(r->subtype, c.subtype);
        EXPECT_EQ(r->conn, a);
        EXPECT_NE(r->number, 0);
        EXPECT_EQ(win_is_mdi_child(hwnd), 1);
        if (r->listbox.get()) {
            EXPECT_EQ(r->listbox->objectName(), "ListBox");
            EXPECT_EQ(r->listbox->property("controlId").toInt(), kCtlListBox);
        }
        if (r->text_area.get()) {
            EXPECT_EQ(r->text_area->objectName(), "Static");
        }
    }
    // Shared list windows follow the active connection.
    EXPECT_EQ(win_find_by_name("URL List", nullptr)->follows_active, 1);
    EXPECT_EQ(win_find_by_name("Finger", nullptr)->shared, 1);
    EXPECT_EQ(win_find_by_name("Links List", a)->follows_active, 0);
    EXPECT_EQ(win_find_by_name("Channels List", a)->list_extent, 1);
    EXPECT_EQ(win_find_by_name("#kest", a)->nick_hash.size, 99u);
}

TEST_F(WindowOpenTest, ChannelGetsASecondEditboxWhenAsked)
{
    Connection* a = window_test_conn();
    a->live_identity[2] = "me";
    // [editbox]: the second box always, or for #modes only while we hold "@".
    ini_write("editbox", "default", "1,0,\"@\",\"\",0", main_ini_path);
    ini_write("editbox", "#modes", "1,1,\"@\",\"\",0", main_ini_path);
    struct Case {
        const char* name;
        const char* own_modes;  // our prefixes in the channel; null: not a member
        int editboxes;
    } cases[] = {
        {"#always", nullptr, 2},
        {"#modes", nullptr, 1},  // "When mode", not (yet) a member
        {"#modes", "", 1},       // a plain member
        {"#modes", "+", 1},      // another prefix than the one asked for
        {"#modes", "@", 2},
        {"#modes", "@+", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + (c.own_modes ? c.own_modes : "-"));
        WindowRecord* r = window_test_open(c.name, kWinChannel, 0, a);
        ASSERT_NE(r, nullptr);
        if (c.own_modes) {
            int bits = 1;
            for (const char* m = c.own_modes; *m; ++m)
                bits |= nicklist_prefix_bit(a, *m);
            nicklist_update("me", r, kNickAddOrChange, bits);
            // Another member holding the asked prefix does not count.
            nicklist_update("op", r, kNickAddOrChange, 1 | nicklist_prefix_bit(a, '@'));
            ASSERT_EQ(win_create_editbox(r, 2), 1);
        }
        EXPECT_EQ(editbox_count(r), c.editboxes);
        if (r->editbox2.get()) {
            EXPECT_EQ(r->editbox2->property("controlId").toInt(), kCtlEditBox2);
        }
        win_close_request(r->hwnd.get());
    }
}

TEST_F(WindowOpenTest, FailuresLeaveNoRecordAndReportInTheStatusWindow)
{
    Connection* a = window_test_conn();
    WindowRecord* status = win_record_of(a->status_window.data());
    ASSERT_NE(status, nullptr);
    // The lines of the error text in the status window.
    auto errors = [&] {
        int n = 0;
        for (const StringNode* l = status->lines; l; l = l->next)
            if (std::string(l->text).find("* Pencere Oluşturmada Hata") != std::string::npos)
                ++n;
        return n;
    };
    int before = win_count();

    struct Case {
        const char* what;
        int type;
        int subtype;
        bool stale;
    } cases[] = {
        {"unknown type", 10, 0, false},
        {"query subtype 0", 2, 0, false},
        {"transfer subtype 3", 3, 3, false},
        {"stale connection", 1, 0, true},
    };
    Connection stale;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int shown = errors();
        WindowOpenRequest request;
        request.name = "#x";
        request.type = c.type;
        request.subtype = c.subtype;
        request.conn = c.stale ? &stale : a;
        EXPECT_EQ(win_open(request), nullptr);
        EXPECT_EQ(win_count(), before);
        EXPECT_EQ(errors(), shown + 1);
    }

    // A control that cannot be made fails the window the same way.
    const int shown = errors();
    open_hooks.dccwin_create_controls = [](WindowRecord*) { return 0; };
    EXPECT_EQ(win_open({"f.txt", kWinTransfer, 1, 0, a, nullptr}), nullptr);
    EXPECT_EQ(win_count(), before);
    EXPECT_EQ(errors(), shown + 1);
}

TEST_F(WindowOpenTest, OpeningFromInsideACreationFails)
{
    Connection* a = window_test_conn();
    static Connection* conn = nullptr;
    static QWidget* inner = reinterpret_cast<QWidget*>(1);
    static int count_inside = -1;
    conn = a;
    // The channel's nick list is made while the window is being created.
    int listener = listbox_made.add(kListboxMadeClicks + 1, [](ListBox*, WindowRecord*) {
        count_inside = win_count();
        inner = win_open({"#inner", kWinChannel, 0, 0, conn, nullptr});
    });
    WindowRecord* outer = window_test_open("#outer", kWinChannel, 0, a);
    listbox_made.drop(listener);
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(inner, nullptr);
    EXPECT_EQ(win_count(), count_inside);
    EXPECT_EQ(win_find_by_name("#inner", a), nullptr);
}

TEST_F(WindowOpenTest, CloseAllClosesStatusWindowsLast)
{
    Connection* a = window_test_conn();
    Connection* b = window_test_conn();
    ASSERT_TRUE(a && b);
    window_test_open("#a", kWinChannel, 0, a);
    window_test_open("Nick", kWinQuery, kQueryPrivate, b);
    window_test_open("@c", kWinCustom, 0, a);
    window_test_open("Finger", kWinFinger, 0, b);
    static std::vector<int> order;
    order.clear();
    open_hooks.dragdrop_revoke = [](WindowRecord* r) { order.push_back(r->type); };

    win_close_all();
    window_test_pump();
    EXPECT_EQ(win_list, nullptr);
    ASSERT_EQ(order.size(), 6u);
    bool seen_status = false;
    for (int type : order) {
        if (type == kWinStatus)
            seen_status = true;
        else
            EXPECT_FALSE(seen_status) << "a window of type " << type << " closed after a status window";
    }
    EXPECT_EQ(order[4], kWinStatus);
    EXPECT_EQ(order[5], kWinStatus);
}

TEST_F(WindowOpenTest, TheLastStatusWindowRefusesToClose)
{
    Connection* a = window_test_conn();
    Connection* b = window_test_conn();
    static int beeps = 0;
    beeps = 0;
    beep_play_hook = [](int) { ++beeps; };
    QWidget* sa = a->status_window.data();
    QWidget* sb = b->status_window.data();
    WindowRecord* chan_b = window_test_open("#b", kWinChannel, 0, b);
    WindowRecord* chat_b = window_test_open("Bob", kWinQuery, kQueryDccChat, b);
    ASSERT_TRUE(sa && sb && chan_b && chat_b);

    // The second status window closes and frees its connection, its channel
    // with it; its DCC chat moves to the other connection.
    EXPECT_EQ(win_close_request(sb), 1);
    window_test_pump();
    EXPECT_EQ(conn_is_live(b), 0);
    EXPECT_EQ(win_find_by_name("#b", nullptr), nullptr);
    WindowRecord* chat = win_find_by_name("Bob", nullptr);
    ASSERT_NE(chat, nullptr);
    EXPECT_EQ(chat->conn, a);
    EXPECT_EQ(chat->shared, 2);

    // The only status window stays.
    EXPECT_EQ(win_close_request(sa), 0);
    WindowRecord* ra = win_record_of(sa);
    ASSERT_NE(ra, nullptr);
    EXPECT_EQ(ra->closing, 0);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(conn_is_live(a), 1);
    EXPECT_EQ(a->status_window.data(), sa);
}

TEST_F(WindowOpenTest, BusyChannelsListRefusesToClose)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("Channels List", kWinChanList, 0, a);
    ASSERT_NE(r, nullptr);
    QWidget* h = r->hwnd.get();
    a->chanlist_window = h;
    a->chanlist_busy = 1;
    EXPECT_EQ(win_close_request(h), 0);
    EXPECT_EQ(win_record_of(h), r);
    EXPECT_EQ(r->closing, 0);
    a->chanlist_busy = 0;
    EXPECT_EQ(win_close_request(h), 1);
    EXPECT_EQ(a->chanlist_window.data(), nullptr);
}

// A placement in section "windows": left, width, top, height, state (1
// minimised, 2 maximised), in the MDI client, on top.
void save_place(const char* key, const char* value)
{
    ini_write("windows", key, value, main_ini_path);
}

TEST_F(WindowOpenTest, PlacementComesFromTheWindowsOwnKeyFirst)
{
    Connection* a = window_test_conn();
    save_place("Bob", "10,300,20,200,0,1,0");
    save_place("wquery", "-1,500,-1,400,0,1,0");  // a size without a place
    save_place("wdquery", "40,350,50,250,0,1,0");
    struct Case {
        const char* name;
        QRect expected;
    } cases[] = {
        {"Bob", QRect(10, 20, 300, 200)},     // its own key wins over "wquery"
        {"Carol", QRect(40, 50, 350, 250)},   // else the type-wide key
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRecord* r = window_test_open(c.name, kWinQuery, kQueryPrivate, a);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(win_container(r->hwnd.get())->geometry(), c.expected);
    }
    // Without a full placement the size-only key gives the size.
    save_place("wdquery", nullptr);
    WindowRecord* d = window_test_open("Dave", kWinQuery, kQueryPrivate, a);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(win_container(d->hwnd.get())->size(), QSize(500, 400));
    // A saved desktop placement opens the window on the desktop.
    save_place("Eve", "30,320,40,220,0,0,0");
    WindowRecord* e = window_test_open("Eve", kWinQuery, kQueryPrivate, a);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(win_is_mdi_child(e->hwnd.get()), 0);
    EXPECT_TRUE(e->hwnd->isWindow());
}

TEST_F(WindowOpenTest, OpenStatesFromSettingsAndRequests)
{
    Connection* a = window_test_conn();
    a->open_minimised_channel = "#Quiet";
    WindowRecord* quiet = window_test_open("#quiet", kWinChannel, 0, a);
    ASSERT_NE(quiet, nullptr);
    window_test_pump();
    EXPECT_TRUE(win_container(quiet->hwnd.get())->isMinimized());
    EXPECT_TRUE(a->open_minimised_channel.empty());

    // A join asked to open maximised (as /join -x notes it).
    irc_note_joining("#big", 2, a);
    WindowRecord* big = window_test_open("#big", kWinChannel, 0, a);
    ASSERT_NE(big, nullptr);
    window_test_pump();
    EXPECT_TRUE(win_container(big->hwnd.get())->isMaximized());

    WindowRecord* msg = window_test_open("Message Window", kWinQuery, kQueryMessages, a);
    ASSERT_NE(msg, nullptr);
    ASSERT_NE(msg->editbox.get(), nullptr);
    EXPECT_EQ(msg->editbox->textBytes(), "/msg ");
    EXPECT_EQ(msg->editbox->textCursor().position(), 5);
}

TEST_F(WindowOpenTest, ClosingTheActiveWindowActivatesItsStatusWindow)
{
    Connection* a = window_test_conn();
    Connection* b = window_test_conn();
    WindowRecord* qa = window_test_open("Nick", kWinQuery, kQueryPrivate, a);
    ASSERT_NE(qa, nullptr);
    win_on_activate(qa->hwnd.get());
    ASSERT_EQ(win_active.get(), qa->hwnd.get());
    win_close_request(qa->hwnd.get());
    EXPECT_EQ(win_active.get(), a->status_window.data());
    (void)b;
}

TEST_F(WindowOpenTest, NewWindowsWithoutAPlaceCascade)
{
    Connection* a = window_test_conn();
    QPoint first = win_container(a->status_window.data())->pos();
    std::vector<WindowRecord*> opened;
    for (const char* name : {"A", "B", "C"})
        opened.push_back(window_test_open(name, kWinQuery, kQueryPrivate, a));
    int step = win_system_metric(4) + win_system_metric(33) - 2;
    ASSERT_GT(step, 0);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(opened[i], nullptr);
        EXPECT_EQ(win_container(opened[i]->hwnd.get())->pos(),
                  first + QPoint((i + 1) * step, (i + 1) * step));
    }
}

TEST_F(WindowOpenTest, QueryWindowsOpenMinimisedWhenTheOptionSaysSo)
{
    Connection* a = window_test_conn();
    struct Case {
        const char* name;
        int subtype;
        int option;
        bool minimised;
    } cases[] = {
        {"Nick", kQueryPrivate, 1, true},
        {"Message Window", kQueryMessages, 1, true},
        {"Chat Bob", kQueryDccChat, 1, false},  // only queries and the message window
        {"Other", kQueryPrivate, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        option_set_value(1, 17, c.option);
        WindowRecord* r = window_test_open(c.name, kWinQuery, c.subtype, a);
        ASSERT_NE(r, nullptr);
        window_test_pump();
        EXPECT_EQ(win_container(r->hwnd.get())->isMinimized(), c.minimised);
    }
    // The one-shot request minimises the next query and is used up.
    option_set_value(1, 17, 0);
    win_next_query_minimised = 1;
    WindowRecord* first = window_test_open("First", kWinQuery, kQueryPrivate, a);
    WindowRecord* second = window_test_open("Second", kWinQuery, kQueryPrivate, a);
    ASSERT_TRUE(first && second);
    window_test_pump();
    EXPECT_TRUE(win_container(first->hwnd.get())->isMinimized());
    EXPECT_FALSE(win_container(second->hwnd.get())->isMinimized());
    EXPECT_EQ(win_next_query_minimised, 0);
}

// A query that a message opens minimised must not take the activation or the
// keyboard: what the user types goes on into the window they were typing in.
TEST_F(WindowOpenTest, AWindowOpenedMinimisedLeavesTheActiveWindowAndItsFocus)
{
    Connection* a = window_test_conn();
    WindowRecord* chan = window_test_open("#here", kWinChannel, 0, a);
    ASSERT_TRUE(chan && chan->editbox.get());
    window_test_pump();
    QMdiArea* mdi = mdi_client();
    ASSERT_NE(mdi, nullptr);
    mdi->setActiveSubWindow(static_cast<QMdiSubWindow*>(win_container(chan->hwnd.get())));
    chan->editbox->setFocus();
    window_test_pump();
    ASSERT_EQ(mdi->activeSubWindow(), win_container(chan->hwnd.get()));
    const bool had_focus = QApplication::focusWidget() == chan->editbox.get();

    for (const char* nick : {"Quiet1", "Quiet2"}) {  // a second one too
        SCOPED_TRACE(nick);
        win_next_query_minimised = 1;
        WindowRecord* q = window_test_open(nick, kWinQuery, kQueryPrivate, a);
        ASSERT_NE(q, nullptr);
        window_test_pump();
        EXPECT_TRUE(win_container(q->hwnd.get())->isMinimized());
        EXPECT_EQ(mdi->activeSubWindow(), win_container(chan->hwnd.get()));
        EXPECT_EQ(win_active.get(), chan->hwnd.get());
        if (had_focus) {
            EXPECT_EQ(QApplication::focusWidget(), chan->editbox.get());
        }
    }
    // A query opened normally still comes to the front.
    WindowRecord* front = window_test_open("Front", kWinQuery, kQueryPrivate, a);
    ASSERT_NE(front, nullptr);
    window_test_pump();
    EXPECT_EQ(mdi->activeSubWindow(), win_container(front->hwnd.get()));
}

TEST_F(WindowOpenTest, OnlyTheConnectionsOwnStatusWindowTakesItAlong)
{
    Connection* a = window_test_conn();
    Connection* b = window_test_conn();
    ASSERT_TRUE(a && b);
    // A second status-type window of the same connection.
    WindowRecord* extra = window_test_open("Status Window", kWinStatus, 0, a);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(win_close_request(extra->hwnd.get()), 1);
    EXPECT_EQ(conn_is_live(a), 1);
    EXPECT_NE(a->status_window.data(), nullptr);
    // Its own status window does.
    EXPECT_EQ(win_close_request(b->status_window.data()), 1);
    EXPECT_EQ(conn_is_live(b), 0);
}

}  // namespace
