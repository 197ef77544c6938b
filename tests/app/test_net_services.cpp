// The server list read by scripts through $server(, and the ident server
// closed when the server's welcome ends the need for it.
#include <gtest/gtest.h>

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/net_settings.h"
#include "irc/link/send_queue.h"
#include "irc/services/ident.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

namespace fs = std::filesystem;

class NetServices : public ::testing::Test {
    HookGuard hooks_;
    SavedValues<std::string, std::string, IdentSettings> saved_{main_ini_path, main_settings.servers_file,
                                                                ident_settings};

protected:
    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        dir = fs::temp_directory_path() / ("kest-netsvc-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        main_ini_path = (dir / "kest.ini").string();
        main_settings.servers_file = (dir / "servers.ini").string();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
        saved_only = opt(OPT_IDENT_ONLY_WHILE_CONNECTING);
    }
    void TearDown() override
    {
        ident_close(nullptr);
        opt_set(OPT_IDENT_ONLY_WHILE_CONNECTING, saved_only);
        window_test_reset();
        fs::remove_all(dir);
    }
    // Types the line into the status window; the last line it shows.
    std::string type(const std::string& text)
    {
        QTest::keyClicks(status->editbox.get(), QString::fromStdString(text));
        QTest::keyClick(status->editbox.get(), Qt::Key_Return);
        window_test_pump();
        std::string last;
        for (const StringNode* n = status->lines; n; n = n->next)
            last = n->text;
        return last;
    }
    void write_servers(const std::vector<std::string>& entries)
    {
        std::string text = "[servers]\n";
        for (std::size_t i = 0; i < entries.size(); ++i)
            text += "n" + std::to_string(i) + "=" + entries[i] + "\n";
        const std::string path = main_settings.servers_file;
        const bool existed = fs::exists(path);
        const auto before = existed ? fs::last_write_time(path) : fs::file_time_type{};
        spit(path, text);
        // A new write time even within the clock's resolution.
        if (existed)
            fs::last_write_time(path, before + std::chrono::seconds(2));
    }

    fs::path dir;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    int saved_only = 0;
};

TEST_F(NetServices, ServerListEntriesByPositionOrAddress)
{
    write_servers({"Random serverSERVER:irc.a.test:6667,+6697GROUP:Alpha",
                   "Beta OneSERVER:irc.b.test:7000-7002:secretGROUP:Beta", "Plain SERVER:plain.test:6667"});
    const struct {
        const char* expr;
        const char* value;
    } cases[] = {
        {"$server(0)", "3"},
        {"$server(-1)", "3"},
        {"$server(1)", "irc.a.test"},
        {"$server(1).addr", "irc.a.test"},
        {"$server(1).desc", "Random server"},
        {"$server(1).port", "6667,+6697"},
        {"$server(1).group", "Alpha"},
        {"$server(2).port", "7000-7002"},
        {"$server(2).pass", "secret"},
        {"$server(IRC.B.test).group", "Beta"},
        {"$server(plain.test).desc", "Plain"},
        {"$server(3).group", ""},
        {"$server(4)", ""},
        {"$server(99999)", ""},
        {"$server(nowhere.test)", ""},
        {"$server(2).bogus", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        EXPECT_EQ(type(std::string("//echo -a ") + c.expr + " $+ |"), std::string(c.value) + "|");
    }
    // The file is read again when it changed.
    write_servers({"OnlySERVER:only.test:6667GROUP:Only"});
    EXPECT_EQ(type("//echo -a $server(0) $server(1) $server(irc.a.test) $+ |"), "1 only.test |");
}

TEST_F(NetServices, TheWelcomeClosesTheIdentServerWhenNobodyNeedsIt)
{
    opt_set(OPT_IDENT_ONLY_WHILE_CONNECTING, 1);
    ident_settings.enabled = 1;
    ident_settings.userid = "kestid";
    ident_settings.port = 0;
    // A free port for the listener.
    {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        ident_settings.port = ntohs(a.sin_port);
        ::close(fd);
    }
    Connection* other = conn_new(nullptr);
    ASSERT_TRUE(other);
    TestWire links[3];
    for (const TestWire& link : links) ASSERT_TRUE(link.ok());
    for (Connection* c : {conn, other}) {
        c->connected = 1;
        links[c == conn ? 0 : 1].attach(c);
        c->connecting = 1;
        c->ident_state = kIdentWaiting;
    }
    ident_listen(conn);
    ASSERT_EQ(ident_listening_port(), ident_settings.port);

    // The other connection still waits: the server stays.
    irc_dispatch_line(":irc.test 001 kestme :Welcome kestme!u@h", conn);
    EXPECT_EQ(ident_listening_port(), ident_settings.port);
    // A second welcome on the same link changes nothing.
    irc_dispatch_line(":irc.test 001 kestme :Welcome kestme!u@h", conn);
    EXPECT_EQ(ident_listening_port(), ident_settings.port);
    // The last one welcomed: nobody needs it any more.
    irc_dispatch_line(":irc.test 001 kestme :Welcome kestme!u@h", other);
    EXPECT_EQ(ident_listening_port(), 0);

    // With the server kept open all the time the welcome leaves it be.
    opt_set(OPT_IDENT_ONLY_WHILE_CONNECTING, 0);
    ident_listen(conn);
    ASSERT_EQ(ident_listening_port(), ident_settings.port);
    Connection* third = conn_new(nullptr);
    ASSERT_TRUE(third);
    third->connected = 1;
    links[2].attach(third);
    irc_dispatch_line(":irc.test 001 kestme :Welcome kestme!u@h", third);
    EXPECT_EQ(ident_listening_port(), ident_settings.port);
}

} // namespace
