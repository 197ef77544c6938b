// The service other programs reach over the local socket: its settings, its
// registration, and the answers of its topics on a frame with windows.
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "app/child_window.h"
#include "app/command_line.h"
#include "model/connection.h"
#include "app/frame_dde.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "model/nick_list.h"
#include "platform/local_ipc.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

std::string ini_value(const char* key)
{
    std::string out;
    ini_read("dde", key, "", out, 1024, main_ini_path);
    return out;
}

TEST(FrameService, SettingsReadWithTheirDefaultsAndWrittenBack)
{
    TempSettingsDir dir{"kest_dde_"};
    ASSERT_TRUE(dir.dir.made());
    SavedValues<DdeSettings> saved{dde_settings};
    struct Case {
        std::string ini;
        int on;
        std::string service;
        int check;
    };
    const Case cases[] = {
        {"", 1, "Kest", 0},
        {"[dde]\nServerStatus=OFF\nServiceName=other\nCheckName=on\n", 0, "other", 1},
        {"[dde]\nServerStatus=maybe\nServiceName=\nCheckName=yes\n", 1, "Kest", 0},
        {"[dde]\nServiceName=" + std::string(300, 'n') + "\n", 1, std::string(256, 'n'), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        std::ofstream(main_ini_path, std::ios::trunc) << c.ini;
        dde_load_settings();
        EXPECT_EQ(dde_settings.server_on, c.on);
        EXPECT_EQ(dde_settings.service, c.service);
        EXPECT_EQ(dde_settings.check_name, c.check);
        // Written back, the same settings load again.
        dde_save_settings();
        EXPECT_EQ(ini_value("ServerStatus"), c.on ? "on" : "off");
        EXPECT_EQ(ini_value("CheckName"), c.check ? "on" : "off");
        dde_settings = DdeSettings{0, "x", 1};
        dde_load_settings();
        EXPECT_EQ(dde_settings.server_on, c.on);
        EXPECT_EQ(dde_settings.service, c.service);
        EXPECT_EQ(dde_settings.check_name, c.check);
    }
}

class FrameServiceWindows : public ::testing::Test {
protected:
    HookGuard hooks;
    SavedValues<DdeSettings> saved{dde_settings};
    TempSettingsDir settings{"kest_ddew_"};
    TestWire wire;
    Connection* conn = nullptr;
    std::string name = "kesttest-" + std::to_string(::getpid());

    void SetUp() override
    {
        ASSERT_TRUE(settings.dir.made());
        window_test_reset();
        app_install_subsystems();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->live_identity[2] = "kestme";
        conn->server_name = "irc.example.org";
        conn->live_server[4] = "6667";
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        window_test_pump();
        dde_settings = DdeSettings{1, name, 0};
        ASSERT_EQ(dde_start_server(), 1);
    }
    void TearDown() override
    {
        dde_stop();
        if (conn_is_live(conn))
            conn->socket = -1;
        window_test_reset();
    }

    std::pair<int, std::string> ask(const std::string& payload)
    {
        std::string reply = "stale";
        const int answer = dde_request(payload, reply);
        return {answer, reply};
    }
};

TEST_F(FrameServiceWindows, RequestsAnswerTheProgramsState)
{
    WindowRecord* one = window_test_open("#one", kWinChannel, 0, conn);
    WindowRecord* two = window_test_open("#two", kWinChannel, 0, conn);
    ASSERT_TRUE(one && two);
    win_on_activate(two->hwnd.get());
    window_test_pump();
    for (auto [nick, prefixes] : {std::pair{"alice", "@"}, {"bob", ""}, {"carol", "@+"}}) {
        int bits = 1;
        for (const char* p = prefixes; *p; ++p)
            bits |= nicklist_prefix_bit(conn, *p);
        nicklist_update(nick, one, kNickAddOrChange, bits);
    }

    struct Case {
        const char* payload;
        int answer;
        std::string reply;
    };
    const Case cases[] = {
        {"REQUEST\nVERSION\n", 1, std::string("Kest ") + KEST_VERSION},
        {"request\nversion", 1, std::string("Kest ") + KEST_VERSION},
        {"REQUEST\nINIFILE\n", 1, main_ini_path},
        {"REQUEST\nNICKNAME\n", 1, "kestme"},
        {"REQUEST\nSERVER\n", 1, "irc.example.org"},
        {"REQUEST\nPORT\n", 1, "6667"},
        {"REQUEST\nSERVERPORT\n", 1, "irc.example.org:6667"},
        {"REQUEST\nCONNECTED\n", 1, "connected"},
        {"REQUEST\nCHANNELS\n", 1, "#one *#two"},
        {"REQUEST\nUSERS\n#one", 1, "#one @alice @+carol bob"},
        {"REQUEST\nUSERS\n#nowhere", 0, ""},
        {"REQUEST\nEVALUATE\n$len(abc) $ddename", 1, "3 " + name},
        {"REQUEST\nEVALUATE\n", 0, ""},
        {"REQUEST\nNOSUCHTOPIC\nx", 0, ""},
        {"EXECUTE\nNOSUCHTOPIC\nx", 0, ""},
        {"GARBAGE", 0, ""},
        {"", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.payload);
        auto [answer, reply] = ask(c.payload);
        EXPECT_EQ(answer, c.answer);
        EXPECT_EQ(reply, c.reply);
    }
    // The channel order of the users follows the nick list, so the ranks
    // come first; a long evaluation is bounded.
    auto [answer, reply] = ask("REQUEST\nEVALUATE\n" + std::string(9000, 'y'));
    EXPECT_EQ(answer, 1);
    EXPECT_LE(reply.size(), kDdeMaxData);
}

TEST_F(FrameServiceWindows, CommandsRunOnTheCurrentConnectionAndOnlyWhileRegistered)
{
    EXPECT_EQ(ask("EXECUTE\nCOMMAND\n/set %fromservice 7"), std::make_pair(1, std::string()));
    EXPECT_EQ(ask("REQUEST\nEVALUATE\n%fromservice"), std::make_pair(1, std::string("7")));
    EXPECT_EQ(ask("POKE\nCOMMAND\nITEM\n/set %fromservice 8"), std::make_pair(1, std::string()));
    EXPECT_EQ(ask("REQUEST\nEVALUATE\n%fromservice"), std::make_pair(1, std::string("8")));
    // An empty command is taken and does nothing.
    EXPECT_EQ(ask("EXECUTE\nCOMMAND\n"), std::make_pair(1, std::string()));

    // The socket is there while registered, gone after; nothing answers then.
    EXPECT_EQ(dde_registered_name(), name);
    EXPECT_EQ(ipc_server_running(name), 1);
    dde_stop();
    EXPECT_EQ(ipc_server_running(name), 0);
    EXPECT_EQ(dde_registered_name(), "");
    EXPECT_EQ(ask("EXECUTE\nCOMMAND\n/set %fromservice 9"), std::make_pair(0, std::string()));
    EXPECT_EQ(ask("REQUEST\nVERSION\n"), std::make_pair(0, std::string()));
    dde_stop();  // stopping twice is harmless

    // Started again it answers again; a start with the server off does not.
    ASSERT_EQ(dde_start_server(), 1);
    EXPECT_EQ(ask("REQUEST\nEVALUATE\n%fromservice").second, "8");
    dde_stop();
    std::ofstream(main_ini_path, std::ios::trunc) << "[dde]\nServerStatus=off\nServiceName=" << name << "\n";
    EXPECT_EQ(dde_start(), 1);
    EXPECT_EQ(dde_registered_name(), "");
    EXPECT_EQ(ipc_server_running(name), 0);
}

}  // namespace
