// Shared set-up of the message and mode tests: an offscreen frame, one live
// connection with its status window, a channel window "#c" with members, the
// real event engine with scripts loaded from a temporary folder (a "say"
// command records what handlers ran), and the wire the sent lines go to.
#pragma once

#include <gtest/gtest.h>
#include "support/script_engine.h"
#include "app/subsystems.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/options.h"
#include "model/nick_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/messages.h"
#include "irc/dispatch/modes.h"
#include "irc/numerics/isupport.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"

namespace chat_test {

inline std::vector<std::string> said;
inline QPointer<QMainWindow> frame;

inline int cmd_say(CommandCall& call)
{
    said.emplace_back(call.rest());
    return 1;
}

inline void pump()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

class ChatTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* chan = nullptr;
    std::string dir;

    void SetUp() override
    {
        if (!QCoreApplication::instance()) {
            if (!std::getenv("QT_QPA_PLATFORM"))
                setenv("QT_QPA_PLATFORM", "offscreen", 1);
            static int argc = 1;
            static char name[] = "kest_irc_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        if (!frame) {
            frame = new QMainWindow();
            frame->setObjectName("Kest");
            auto* area = new QMdiArea(frame);
            frame->setCentralWidget(area);
            frame->resize(1000, 700);
            frame->show();
        }
        auto* area = qobject_cast<QMdiArea*>(frame->centralWidget());
        if (mdi_client() != area)
            mdi_client_create(area);

        char tmpl[] = "/tmp/kest_chat_XXXXXX";
        char* d = mkdtemp(tmpl);
        ASSERT_NE(d, nullptr);
        dir = std::string(d) + "/";
        // The logs folder, as the program makes it at start: windows that
        // log find it.
        std::filesystem::create_directories(dir + "logs");
        settings_dir = dir;
        main_ini_path = dir + "kest.ini";
        options_reset();
        option_set_value(1, 17, 0);
        test_script_engine_install();
        script_register_command("say", cmd_say);
        script_error_clear();
        user_default_level = 1;
        event_startup_hold = 0;
        event_switch_events = 1;
        remote_files_free_all();
        irc_dispatch_install();
        app_wire_irc_dispatch();
        said.clear();

        conn = conn_new_with_status(conn_list);
        ASSERT_NE(conn, nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        pump();
        conn->live_identity[2] = "me";
        conn->server_name = "srv";
        irc_state_new_link(conn);
        feed(":srv 005 me PREFIX=(qov)~@+ CHANMODES=beI,kL,l,imnpst CHANTYPES=#& :are supported");
        chan = open("#c", kWinChannel, 0);
        ASSERT_NE(chan, nullptr);
        for (const char* n : {"a", "b", "me"})
            nicklist_update(n, chan, kNickAddOrChange, 1);
    }
    void TearDown() override
    {
        remote_files_free_all();
        for (Connection* c = conn_list; c; c = c->next)
            c->socket = -1;
        win_close_all();
        conn_free_all();
        while (win_list)
            win_record_free(win_list);
        win_active = nullptr;
        pump();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void feed(const std::string& line) { irc_dispatch_line(line, conn); }
    // The lines sent to the server so far.
    const std::vector<std::string>& sent() { return wire.lines(); }
    WindowRecord* open(const std::string& name, int type, int subtype)
    {
        WindowOpenRequest request;
        request.name = name;
        request.type = type;
        request.subtype = subtype;
        request.conn = conn;
        QWidget* hwnd = win_open(request);
        pump();
        return win_record_of(hwnd);
    }
    void load_script(const std::vector<std::string>& lines)
    {
        std::ofstream out(dir + "s.kst");
        for (const auto& l : lines)
            out << l << "\n";
        out.close();
        remote_file_load(dir + "s.kst", kRemoteScript, 9999, nullptr);
    }
    WindowRecord* status() { return win_find_by_type(kWinStatus, conn); }
    // Printed lines of a window, without separators.
    static std::vector<std::string> lines(const WindowRecord* rec)
    {
        std::vector<std::string> out;
        for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
            if (n->text != "-" && !n->text.empty())
                out.push_back(n->text);
        return out;
    }
    static void clear(WindowRecord* rec)
    {
        strlist_free(&rec->lines);
        rec->line_count = 0;
        rec->marker_line = nullptr;
    }
    static std::uint32_t last_colour(const WindowRecord* rec)
    {
        const StringNode* last = nullptr;
        for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
            if (n->text != "-" && !n->text.empty())
                last = n;
        return last ? static_cast<std::uint32_t>(last->number) : 0;
    }
};

} // namespace chat_test
