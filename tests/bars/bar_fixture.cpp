#define KEST_TEST_WIDGETS
#include "bar_fixture.h"

#include <QMainWindow>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "app/window_ops.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "bars/switchbar.h"
#include "bars/treebar.h"
#include "core/options.h"
#include "core/string_list.h"
#include "display/editbox.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/numerics/isupport.h"
#include "platform/frame_timers.h"
#include "script/events/event_fire.h"

namespace {
QPointer<QMainWindow> g_frame;
}

void bar_test_clear_windows()
{
    for (Connection* c = conn_list; c; c = c->next)
        c->socket = -1;
    win_close_all();
    conn_free_all();
    while (win_list)
        win_record_free(win_list);
    win_active = nullptr;
    test_drain_events();
}

void BarTest::pump()
{
    test_drain_events();
}

void BarTest::SetUp()
{
    ASSERT_TRUE(settings.made());
    test_frame_mdi(g_frame);
    bar_test_clear_windows();
    // A fresh frame for every test, with its bars made as the start makes them.
    delete g_frame.data();
    pump();
    test_frame_mdi(g_frame);
    g_frame->activateWindow();
    options_reset();
    app_install_subsystems();
    event_startup_hold = 0;
    event_switch_events = 1;
    switchbar_set_extra_rows(0);
    switchbar_set_scroll_offset(0);
    bar = switchbar_create();
    panel = treebar_create();
    ASSERT_TRUE(bar && panel);
    tree = treebar_tree();
    // Where the frame's layout puts them: the switchbar along the top, the
    // treebar at the left.
    bar->setGeometry(0, 0, 1000, switchbar_wanted_thickness());
    panel->setGeometry(0, 40, 200, 600);
    bar->show();
    panel->show();
    conn = conn_new_with_status(conn_list);
    ASSERT_TRUE(conn);
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);  // an open link; what is sent goes to the wire, unread
    conn->registered = 1;
    conn->live_identity[2] = "me";
    conn->server_name = "irc.test";
    conn->live_server[4] = "6667";
    irc_state(conn)->registration = 1;
    status = win_find_by_type(kWinStatus, conn);
    ASSERT_TRUE(status);
    switchbar_repaint();
    pump();
}

void BarTest::TearDown()
{
    bar_test_clear_windows();
    frame_timer_stop(FRAME_TIMER_BLINK);
    frame_set_timer_handler(FRAME_TIMER_BLINK, nullptr);
    // The bars go with their frame.
    delete g_frame.data();
    pump();
}

void BarTest::feed(const std::string& line)
{
    irc_dispatch_line(line, conn);
    pump();
}

WindowRecord* BarTest::join(const std::string& channel)
{
    feed(":me!u@h JOIN :" + channel);
    return win_find_channel(channel, conn);
}

void BarTest::leave(const std::string& channel)
{
    feed(":me!u@h PART " + channel + " :bye");
    if (WindowRecord* rec = win_find_channel(channel, conn))
        win_op_close(rec->hwnd.get());
    pump();
}

std::string BarTest::type(const std::string& line)
{
    const int from = strlist_count(status->lines);
    EditBox* box = status->editbox.get();
    if (!box)
        return {};
    box->setTextBytes("");
    QTest::keyClicks(box, QString::fromStdString(line));
    QTest::keyClick(box, Qt::Key_Return);
    pump();
    std::string out;
    int i = 0;
    for (const StringNode* n = status->lines; n; n = n->next, ++i)
        if (i >= from && !n->text.empty())
            out += n->text + "\n";
    return out;
}

void BarTest::click_button(WindowRecord* rec, Qt::KeyboardModifiers mods)
{
    SwitchbarButton* b = switchbar_button_of(rec);
    ASSERT_TRUE(b);
    ASSERT_GT(b->place, 0);
    const QPoint centre((b->rect.left + b->rect.right) / 2, (b->rect.top + b->rect.bottom) / 2);
    QTest::mouseClick(bar, Qt::LeftButton, mods, centre);
    pump();
}
