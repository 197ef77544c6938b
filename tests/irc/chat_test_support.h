// Shared fixture of the chat tests: a live connection with a status window,
// channel windows as listed records whose lines are kept without a display,
// the wire the sent lines go to, and captures of every shown line (the
// printed ones heard from the print path: chat_status for the status window,
// chat_shown for the others).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "commands/messaging_commands.h"
#include "core/hash_table.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/replies.h"
#include "script/events/event_fire.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "printed_lines.h"
#include "support/test_wire.h"

struct ChatShown {
    WindowRecord* rec;
    std::uint32_t colour;
    std::string text;
};

inline std::vector<ChatShown> chat_shown;
inline std::vector<std::string> chat_status;
inline WindowRecord* chat_current = nullptr;

class ChatLink : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        chat_show = [](WindowRecord* r, Connection*, std::uint32_t c, const std::string& t) { chat_shown.push_back({r, c, t}); };
        if (!QCoreApplication::instance()) {
            if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
            static int argc = 1;
            static char name[] = "kest_irc_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        chat_shown.clear();
        chat_status.clear();
        chat_current = nullptr;
        script_error_clear();
        conn = conn_new(nullptr);
        conn->live_identity[2] = "me";
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->registered = 1;
        irc_state_new_link(conn);
        status = open("Status", kWinStatus);
        conn->status_window = status->hwnd.get();
        line_printed.add_once(printed_listener_, 0, [this](const LinePrinted& l) {
            if (l.event != kPrintStored || !l.first_part || l.separator) return;
            if (l.rec == status) chat_status.emplace_back(l.text);
            else chat_shown.push_back({l.rec, l.colour, std::string(l.text)});
        });
    }
    void TearDown() override
    {
        line_printed.drop(printed_listener_);
        for (WindowRecord* rec : windows) win_record_free(rec);
        windows.clear();
        for (QWidget* w : widgets) delete w;
        widgets.clear();
        conn->connected = 0;
        conn->socket = -1;
        conn_free(conn);
        chat_current = nullptr;
        script_error_clear();
    }

    WindowRecord* open(const std::string& name, int type = kWinChannel, int subtype = 0)
    {
        WindowRecord* rec = win_record_new(1);
        rec->name = name;
        rec->type = type;
        rec->subtype = subtype;
        rec->conn = conn;
        QWidget* w = new QWidget();
        widgets.push_back(w);
        rec->hwnd = w;
        rec->text_area = new TextArea(w);
        if (type == kWinChannel) hash_init(&rec->nick_hash, 99);
        windows.push_back(rec);
        return rec;
    }

    // Feeds one numeric line to the numerics table; 1 when an entry of the
    // table took it, 0 when it was shown as any other numeric.
    int feed(const std::string& line)
    {
        IrcMessage msg;
        msg.raw = line;
        irc_message_tokenize(msg);
        msg.connection = conn;
        msg.numeric = std::atoi(irc_word(msg, 1).c_str());
        const int taken = irc_numeric_entry(msg) != nullptr;
        irc_on_numeric(msg);
        return taken;
    }

    // Runs a command as typed in the current window.
    int run(const std::vector<std::string>& tokens, CommandHandler handler, int variant = 0)
    {
        CommandCall call;
        call.tokens = tokens;
        call.conn = conn;
        call.window = chat_current ? chat_current->hwnd.get() : nullptr;
        call.variant = variant;
        return handler(call);
    }

    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }

    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    int printed_listener_ = 0;
    std::vector<WindowRecord*> windows;
    std::vector<QWidget*> widgets;
};
