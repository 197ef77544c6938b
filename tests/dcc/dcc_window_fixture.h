// Shared set-up of the transfer-window and dialog tests: an offscreen frame
// with its MDI client, every subsystem joined as the program joins them, a
// connection, and transfer windows opened through the window manager with
// their transfer record filled as the transfers fill it.
#pragma once

#define KEST_TEST_WIDGETS
#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QPointer>

#include <string>

#include "app/frame_proc.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "platform/app_messages.h"
#include "app/window_open.h"
#include "core/options.h"
#include "dcc/dcc_transfer.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "model/window_requests.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"

class DccWindowTest : public ::testing::Test {
protected:
    HookGuard hooks_;
    TempSettingsDir settings{"kest_dccwin_"};
    QPointer<QMainWindow> frame;
    TestWire wire;
    QPointer<QMainWindow> saved_frame;
    Connection* conn = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        test_frame_mdi(frame);
        clear();
        frame_proc_install();
        options_reset();
        app_install_subsystems();
        // The frame takes the posted messages, as the program's does.
        saved_frame = frame_window;
        frame_window = frame.data();
        app_messages_set_frame(frame.data());
        new_conn();
        ASSERT_TRUE(conn);
    }
    // A registered connection on an open link (what it sends goes to the
    // wire) with a local address for offers.
    void new_conn()
    {
        conn = conn_new_with_status(conn_list);
        if (!conn)
            return;
        conn->connected = 1;
        wire.attach(conn);
        conn->registered = 1;
        conn->live_identity[2] = "me";
        conn->local_ip = 0x7f000001;
    }
    void TearDown() override
    {
        clear();
        app_messages_set_frame(nullptr);
        frame_window = saved_frame;
        delete frame.data();
        test_drain_events();
    }
    static void clear()
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

    // A transfer window as the transfers open one, with its record.
    DccTransfer* open_transfer(int kind, const std::string& nick, const std::string& file, std::int64_t size)
    {
        WindowOpenRequest req;
        req.name = (kind == kDccSend ? "Send " : "Get ") + nick + " " + file;
        req.type = kWinTransfer;
        req.subtype = kind;
        req.conn = conn;
        QWidget* hwnd = win_open(req);
        WindowRecord* rec = hwnd ? win_record_of(hwnd) : nullptr;
        if (!rec)
            return nullptr;
        DccTransfer& t = rec->state_slots.get(dcc_transfer_slot);
        t.kind = kind;
        t.window = rec;
        t.conn = conn;
        t.nick = nick;
        t.file = file;
        t.folder = settings.path();
        t.size = size;
        hwnd->resize(460, 340);
        dcc_transfer_opened.fire(&t);
        test_drain_events();
        return &t;
    }
};
