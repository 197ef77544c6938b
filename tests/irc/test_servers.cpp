// The server list file: ports picked from an entry's list, entries applied
// to a connection, the rotation through a network, and the success and
// recent lists, against a servers.ini in a temporary settings folder.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/connection.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "irc/lists/servers.h"
#include "platform/platform_test_env.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

std::set<std::string> picks(const std::string& ports, const std::string& avoid, int rounds = 300)
{
    std::mt19937 r(12345);
    std::set<std::string> seen;
    for (int i = 0; i < rounds; ++i)
        seen.insert(servers_pick_port(ports, avoid, "6667", r));
    return seen;
}

TEST(ServerPorts, PicksComeFromTheListAndKeepTheirOwnSslMark)
{
    struct Case {
        const char* what;
        const char* ports;
        const char* avoid;
        std::set<std::string> allowed;
        std::size_t at_least;   // distinct results expected
    };
    std::set<std::string> range_or_7000 = {"7000"};
    for (int p = 6660; p <= 6669; ++p)
        range_or_7000.insert(std::to_string(p));
    const Case cases[] = {
        {"a range and a single port", "6660-6669,7000", "", range_or_7000, 11},
        {"the only port, though it was the last one", "7000", "7000", {"7000"}, 1},
        {"an SSL port", "+6697", "", {"+6697"}, 1},
        {"plain and SSL items keep their own mark", "6667,+6697", "", {"6667", "+6697"}, 2},
        {"an SSL item after plain ones", "6660-6662,+7000", "", {"6660", "6661", "6662", "+7000"}, 4},
        {"a plain item after an SSL one", "+6697,6667", "", {"6667", "+6697"}, 2},
        {"an SSL range", "+6697-6698", "", {"+6697", "+6698"}, 2},
        {"a range without its high port", "6660-", "", {"6667"}, 1},
        {"an inverted range", "6669-6660", "", {"6667"}, 1},
        {"port 0", "0", "", {"6667"}, 1},
        {"not a number", "irc", "", {"6667"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::set<std::string> seen = picks(c.ports, c.avoid);
        for (const std::string& p : seen)
            EXPECT_TRUE(c.allowed.count(p)) << "picked " << p;
        EXPECT_GE(seen.size(), c.at_least);
    }
}

// Ten picks are tried before the last port is taken again: with two ports
// it comes back about once in a thousand picks.
TEST(ServerPorts, TheLastPortIsAvoidedWhenAnotherExists)
{
    std::mt19937 r(777);
    int again = 0;
    for (int i = 0; i < 1000; ++i)
        again += servers_pick_port("6667,7000", "7000", "6667", r) == "7000" ? 1 : 0;
    EXPECT_LE(again, 8);
}

TEST(ServerPorts, APortBelongsToAListOnlyWithTheSameSslMark)
{
    struct Case {
        const char* ports;
        const char* port;
        int in;
    };
    const Case cases[] = {
        {"6660-6669,7000", "6665", 1}, {"6660-6669,7000", "6660", 1}, {"6660-6669,7000", "6669", 1},
        {"6660-6669,7000", "6670", 0}, {"6660-6669,7000", "7000", 1}, {"6667,+6697", "+6697", 1},
        {"6667,+6697", "6697", 0},     {"6667,+6697", "+6667", 0},    {"+6697-6699", "+6698", 1},
        {"6667", "", 0},               {"6667", "x", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ports) + " / " + c.port);
        EXPECT_EQ(servers_ports_contain(c.ports, c.port), c.in);
    }
}

class ServersFile : public ::testing::Test {
    HookGuard hooks_;
protected:
    void SetUp() override
    {
        platform_test_app();
        ASSERT_TRUE(settings.made());
        saved_file = main_settings.servers_file;
        main_settings.servers_file.clear();
        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
    }
    void TearDown() override
    {
        if (conn_is_live(conn))
            conn_free(conn);
        main_settings.servers_file = saved_file;
    }
    void write_servers(const std::vector<std::string>& entries, const std::vector<std::string>& success = {})
    {
        std::string text = "[servers]\n";
        for (std::size_t i = 0; i < entries.size(); ++i)
            text += "n" + std::to_string(i) + "=" + entries[i] + "\n";
        if (!success.empty()) {
            text += "[success]\n";
            for (std::size_t i = 0; i < success.size(); ++i)
                text += "n" + std::to_string(i) + "=" + success[i] + "\n";
        }
        spit(settings.path() + "servers.ini", text);
        // A fresh write time each time, so the list is read again.
        std::filesystem::last_write_time(settings.path() + "servers.ini",
                                         std::filesystem::file_time_type::clock::now() +
                                             std::chrono::seconds(++stamp));
    }
    std::vector<std::string> section(const char* name)
    {
        std::vector<std::string> out;
        StringNode* l = ini_read_numbered_list(name, "n", nullptr, settings.path() + "servers.ini", 0);
        for (StringNode* n = l; n; n = n->next)
            out.push_back(n->text);
        strlist_free(&l);
        return out;
    }
    TempSettingsDir settings{"kest-servers"};
    std::string saved_file;
    Connection* conn = nullptr;
    int stamp = 0;
};

TEST_F(ServersFile, AnEntryFillsTheConnectionsServerWithAPortOfItsList)
{
    struct Case {
        const char* entry;
        const char* host;
        const char* description;
        const char* group;
        const char* password;
        std::set<std::string> ports;
        int ssl;
    };
    const Case cases[] = {
        {"Main hubSERVER:irc.one.test:6667GROUP:One", "irc.one.test", "Main hub", "One", "", {"6667"}, 0},
        {"SERVER:irc.two.test:+6697:secretGROUP:Two", "irc.two.test", "irc.two.test", "Two", "secret", {"+6697"}, 1},
        {"Mixed SERVER:irc.mix.test:6667,+6697GROUP:Mix", "irc.mix.test", "Mixed", "Mix", "", {"6667", "+6697"}, -1},
        {"irc.bare.test:7000", "irc.bare.test", "irc.bare.test", "", "", {"7000"}, 0},
        {"irc.noport.test", "irc.noport.test", "irc.noport.test", "", "", {"6667"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        for (int round = 0; round < 20; ++round) {
            conn_apply_server_entry(c.entry, conn);
            EXPECT_EQ(conn->stored_identity[5], c.host);
            EXPECT_EQ(conn->stored_identity[6], c.description);
            EXPECT_EQ(conn->stored_identity[7], c.group);
            EXPECT_EQ(conn->stored_identity[8], c.password);
            EXPECT_TRUE(c.ports.count(conn->stored_identity[9])) << conn->stored_identity[9];
            // Not connected: the server in use follows, its SSL flag from its own port.
            EXPECT_EQ(conn->live_server[0], c.host);
            EXPECT_EQ(conn->live_server[4], conn->stored_identity[9]);
            EXPECT_EQ(conn->ssl, conn->stored_identity[9][0] == '+' ? 1 : 0);
            if (c.ssl >= 0) {
                EXPECT_EQ(conn->ssl, c.ssl);
            }
            EXPECT_EQ(conn->server_name, c.host);
        }
    }
    // A connected link keeps the server in use; only the chosen one moves.
    conn->connected = 1;
    conn_apply_server_entry("SERVER:irc.later.test:6669GROUP:Later", conn);
    EXPECT_EQ(conn->stored_identity[5], "irc.later.test");
    EXPECT_NE(conn->live_server[0], "irc.later.test");
    conn->connected = 0;
}

TEST_F(ServersFile, TheRotationGoesThroughTheNetworkBySuccessAndWraps)
{
    write_servers({"ASERVER:a.net.test:6667GROUP:Net", "OtherSERVER:x.other.test:6667GROUP:Other",
                   "BSERVER:b.net.test:6667GROUP:Net", "CSERVER:c.net.test:6667GROUP:net"},
                  {"c.net.test,5", "b.net.test,2"});
    ASSERT_EQ(servers_select_group("NET", conn), 1);
    // Ordered by success: c, b, then a (no count).
    std::vector<std::string> order;
    order.push_back(conn->stored_identity[5]);
    for (int i = 0; i < 4; ++i) {
        conn_next_server(conn);
        order.push_back(conn->stored_identity[5]);
    }
    const std::vector<std::string> expected = {"c.net.test", "b.net.test", "a.net.test", "c.net.test", "b.net.test"};
    EXPECT_EQ(order, expected);
    // A name the list does not know is taken as a host.
    ASSERT_EQ(servers_select_group("plainhost", conn), 1);
    EXPECT_EQ(conn->stored_identity[5], "plainhost");
    EXPECT_EQ(servers_group_of_host("B.net.test"), "Net");
    EXPECT_EQ(servers_group_of_host("nowhere.test"), "");
}

TEST_F(ServersFile, SuccessCountsGrowStaySortedAndKeepThirty)
{
    std::vector<std::string> many;
    for (int i = 0; i < 31; ++i)
        many.push_back("s" + std::to_string(i) + ".test," + std::to_string(100 - i));
    write_servers({"ASERVER:a.test:6667GROUP:G"}, many);
    servers_record_success("s30.test", 1);  // 70 + 1, stays among the kept
    std::vector<std::string> s = section("success");
    ASSERT_EQ(s.size(), 30u);
    EXPECT_EQ(s.front(), "s0.test,100");
    EXPECT_NE(std::find(s.begin(), s.end(), "s30.test,71"), s.end());
    for (std::size_t i = 1; i < s.size(); ++i)
        EXPECT_GE(std::stoi(s[i - 1].substr(s[i - 1].rfind(',') + 1)), std::stoi(s[i].substr(s[i].rfind(',') + 1)));
    // Repeated: one item whose count adds up, case ignored.
    servers_record_success("NEW.test", 1);
    servers_record_success("new.test", 1);
    s = section("success");
    EXPECT_EQ(std::count_if(s.begin(), s.end(), [](const std::string& t) { return t.rfind("new.test", 0) == 0 || t.rfind("NEW.test", 0) == 0; }), 1);
    EXPECT_NE(std::find(s.begin(), s.end(), "new.test,2"), s.end());
}

TEST_F(ServersFile, RecentServersNewestFirstWithoutDuplicatesAtMostTen)
{
    write_servers({"ASERVER:a.test:6667GROUP:G"});
    for (int i = 0; i < 12; ++i)
        servers_add_recent("r" + std::to_string(i));
    servers_add_recent("R5");
    std::vector<std::string> r = section("recent");
    ASSERT_EQ(r.size(), 10u);
    EXPECT_EQ(r[0], "R5");
    EXPECT_EQ(r[1], "r11");
    EXPECT_EQ(std::count(r.begin(), r.end(), "r5"), 0);
}

TEST_F(ServersFile, TheServerInUseMovesToTheHeadWhenItsPortIsListed)
{
    write_servers({"ASERVER:a.test:6667GROUP:G", "BSERVER:b.test:6660-6669GROUP:G"});
    conn_apply_server_entry("BSERVER:b.test:6660-6669GROUP:G", conn);
    servers_note_connected(conn);
    std::vector<std::string> list = section("servers");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], "BSERVER:b.test:6660-6669GROUP:G");
    EXPECT_EQ(section("recent").front(), "BSERVER:b.test:6660-6669GROUP:G");
    // A port outside the entry's list: the server in use is recorded as it is.
    conn->live_server[4] = "7777";
    servers_note_connected(conn);
    EXPECT_EQ(section("recent").front(), "BSERVER:b.test:7777GROUP:G");
    EXPECT_EQ(section("servers")[0], "BSERVER:b.test:6660-6669GROUP:G");
}

} // namespace
