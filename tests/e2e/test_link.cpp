// Whole-program tests of the server link: the real program against a private
// IRC server (or a scripted one) on 127.0.0.1, watched by plain peers.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <regex>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

// An option line with one position set and the others left at their
// defaults (empty fields read as the default).
// Asks the server about a nick until it answers with the user's details;
// true once it did within `ms`.
bool whois_until_present(Peer& peer, const std::string& nick, int ms = kWaitMs, IrcLine* found = nullptr)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        peer.send_line("WHOIS " + nick);
        IrcLine l;
        if (peer.wait_for("^:\\S+ (311|401) " + peer.nick + " " + nick + " ", 5000, &l) && l.command == "311") {
            if (found)
                *found = l;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return false;
}

// Reads what the program sends on a scripted link until a line matches
// `last` or `ms` pass; every line read, in order.
std::vector<std::string> collect_until(LineSocket& link, const std::string& last, int ms)
{
    link.wait_for(last, ms);
    return link.history();
}

// Index of the first line matching the pattern, -1 when none does.
int index_of(const std::vector<std::string>& lines, const std::string& pattern)
{
    std::regex re(pattern);
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (std::regex_search(lines[i], re))
            return static_cast<int>(i);
    return -1;
}


// A private server with a watching peer; skipped when the server program
// is not installed.
struct LinkE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
        ASSERT_TRUE(watcher.login(server.port(), "watcher")) << joined(watcher.history());
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }
    std::string host_entry() const { return "E2ESERVER:127.0.0.1:" + std::to_string(server.port()) + "GROUP:E2E"; }
    std::string server_arg() const { return "127.0.0.1:" + std::to_string(server.port()); }
    int server_port() const { return server.port(); }
    void check_registers(const char* name, bool from_command_line);

    IrcServer server;
    Peer watcher;
    KestProgram kest;
};

// A scripted one-shot server; no server program needed.
struct ScriptedLinkE2e : ::testing::Test {
    void TearDown() override { kest.stop(3000); }
    int server_port() const { return fake.port(); }
    ScriptedServer fake;
    KestProgram kest;
};

} // namespace

// ---- Registration ----

void LinkE2e::check_registers(const char* name, bool from_command_line)
{
    struct Case {
        const char* name;
        bool from_command_line;
    };
    for (const Case& c : {Case{name, from_command_line}}) {
        SCOPED_TRACE(c.name);
        KestProgram k;
        k.set("kest", "user", "Kest Tester");
        k.set("kest", "email", "kuser@example.org");
        std::vector<std::string> args;
        if (c.from_command_line) {
            k.set("kest", "nick", "wrongnick");
            args = {"-s", server_arg(), "-n", "kestcli"};
        } else {
            k.set("kest", "nick", "kestini");
            k.set("kest", "anick", "kestini2");
            k.set("kest", "host", host_entry());
            k.set("options", "n0", option_line({{0, 1}}));
        }
        const std::string nick = c.from_command_line ? "kestcli" : "kestini";
        ASSERT_TRUE(k.start(args));
        IrcLine who;
        EXPECT_TRUE(whois_until_present(watcher, nick, kWaitMs, &who))
            << "the program never registered as " << nick << "\nprogram output:\n" << k.output()
            << "\npeer saw:\n" << joined(watcher.history());
        // 311 <me> <nick> <user> <host> * :<real name>
        if (who.params.size() >= 6) {
            EXPECT_EQ(who.params[3], "127.0.0.1");
            EXPECT_FALSE(who.params[2].empty());
        }
        EXPECT_TRUE(k.process().running()) << "the program ended early\n" << k.output();
        k.stop(3000);
        // Its nick is free again once it is gone.
        watcher.send_line("WHOIS " + nick);
        EXPECT_TRUE(watcher.wait_for("^:\\S+ 401 watcher " + nick + " "));
    }
}

TEST_F(LinkE2e, RegistersWithTheHostAndNickOfTheSettings)
{
    check_registers("host and nick of the settings, connect on start-up", false);
}

TEST_F(LinkE2e, RegistersWithTheServerAndNickOfTheCommandLine)
{
    check_registers("-s and -n on the command line", true);
}

TEST_F(LinkE2e, TakesTheAlternativeNickWhenItsNickIsInUse)
{
    Peer squatter;
    ASSERT_TRUE(squatter.login(server.port(), "kestbot"));
    kest.use_server(server_port());
    ASSERT_TRUE(kest.start({"-n", "kestbot,kestalt"}));
    EXPECT_TRUE(whois_until_present(watcher, "kestalt"))
        << "the program did not register under its alternative nick\n" << kest.output();
    // The first holder keeps its nick.
    IrcLine who;
    ASSERT_TRUE(whois_until_present(watcher, "kestbot", kWaitMs, &who)) << joined(watcher.history());
    ASSERT_GE(who.params.size(), 3u);
    EXPECT_NE(who.params[2].find("kestbot"), std::string::npos) << who.raw;
}

// ---- Logon: the CONNECT event, perform and auto-join ----

TEST_F(LinkE2e, PerformAndAutoJoinBringItIntoTheChannels)
{
    Peer other;
    ASSERT_TRUE(other.login(server.port(), "other"));
    ASSERT_TRUE(watcher.join("#auto"));
    ASSERT_TRUE(other.join("#perf"));
    kest.add_perform("All Networks,/join #perf");
    kest.add_script("e2e.kst", "on *:CONNECT:/privmsg watcher :connect-event\n");
    kest.use_server(server_port());
    ASSERT_TRUE(kest.start({"-n", "kestbot", "-j", "#auto"}));

    EXPECT_TRUE(other.saw("^:kestbot!\\S+ JOIN :?#perf$"))
        << "the perform line did not join #perf\n" << kest.output();
    EXPECT_TRUE(watcher.saw("^:kestbot!\\S+ PRIVMSG watcher :connect-event$"))
        << "the CONNECT event of the remote script did not run";
    EXPECT_TRUE(watcher.saw("^:kestbot!\\S+ JOIN :?#auto$"))
        << "the channel of the command line was not joined\n" << joined(watcher.history());
}

// START runs once the start-up is over, before the connection at start:
// what it sets is there when CONNECT runs.
TEST_F(LinkE2e, TheStartEventRunsBeforeTheConnectionAtStart)
{
    kest.add_script("e2e.kst",
                    "on *:START:/set %started yes\n"
                    "on *:CONNECT:/privmsg watcher :started- $+ %started\n");
    kest.use_server(server_port());
    ASSERT_TRUE(kest.start({"-n", "kestbot"}));
    EXPECT_TRUE(watcher.saw("^:kestbot!\\S+ PRIVMSG watcher :started-yes$"))
        << "the START event did not run before CONNECT\n" << joined(watcher.history());
}

TEST_F(ScriptedLinkE2e, LogonStepsComeInTheirOrderAfterTheWelcome)
{
    ASSERT_TRUE(fake.ok());
    kest.add_perform("All Networks,/join #perf");
    kest.add_script("e2e.kst", "on *:CONNECT:/privmsg #log :connect-event\n");
    kest.use_server(server_port());
    ASSERT_TRUE(kest.start({"-n", "kestbot", "-j", "#auto"}));
    LineSocket link;
    ASSERT_TRUE(fake.accept_link(link)) << "the program never connected\n" << kest.output();
    ASSERT_EQ(ScriptedServer::welcome(link), "kestbot") << joined(link.history());
    const std::size_t registered = link.history().size();
    std::vector<std::string> lines = collect_until(link, "^JOIN :?#auto", kWaitMs);
    std::vector<std::string> after(lines.begin() + static_cast<long>(registered), lines.end());
    const char* steps[] = {
        "^PRIVMSG #log :connect-event$",  // the CONNECT event
        "^MODE kestbot :?\\+i$",          // invisible on connect
        "^JOIN :?#perf$",                 // perform
        "^JOIN :?#auto$",                 // auto-join
    };
    int previous = -1;
    for (const char* step : steps) {
        SCOPED_TRACE(step);
        int at = index_of(after, step);
        EXPECT_GT(at, previous) << "out of order or missing\n" << joined(after);
        if (at >= 0)
            previous = at;
    }
    // No protocol extension is asked for when the server offered none.
    EXPECT_EQ(index_of(after, "^PROTOCTL"), -1) << joined(after);
}

TEST_F(ScriptedLinkE2e, PerformRunsTheEntriesOfThisNetworkOnly)
{
    ASSERT_TRUE(fake.ok());
    // The scripted server calls its network "FakeNet".
    struct Case {
        const char* name;
        std::vector<std::string> entries;
        std::vector<std::string> joined_channels;
        std::vector<std::string> skipped_channels;
    };
    const Case cases[] = {
        {"own network, blanks around the key, other networks skipped",
         {"  FakeNet  ,/join #net", "OtherNet,/join #wrong", "Other Networks,/join #other", "All Networks,/join #all"},
         {"#net", "#all"},
         {"#wrong", "#other"}},
        {"other networks when this one has no entry",
         {"OtherNet,/join #wrong", "Other Networks,/join #other"},
         {"#other"},
         {"#wrong"}},
        {"the server name counts as a key", {"fake.e2e.test,/join #srv", "nokey /join #bad"}, {"#srv"}, {"#bad"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KestProgram k;
        for (const std::string& e : c.entries)
            k.add_perform(e);
        // A last join marks the end of the logon.
        k.use_server(server_port());
        ASSERT_TRUE(k.start({"-n", "kestbot", "-j", "#end"}));
        LineSocket link;
        ASSERT_TRUE(fake.accept_link(link)) << k.output();
        ASSERT_EQ(ScriptedServer::welcome(link), "kestbot");
        std::vector<std::string> lines = collect_until(link, "^JOIN :?#end", kWaitMs);
        ASSERT_GE(index_of(lines, "^JOIN :?#end"), 0) << joined(lines);
        for (const std::string& ch : c.joined_channels)
            EXPECT_GE(index_of(lines, "^JOIN :?" + ch + "$"), 0) << ch << " not joined\n" << joined(lines);
        for (const std::string& ch : c.skipped_channels)
            EXPECT_EQ(index_of(lines, "JOIN :?" + ch + "$"), -1) << ch << " joined\n" << joined(lines);
        k.stop(3000);
    }
}

// ---- A lost link ----

TEST_F(ScriptedLinkE2e, AClosedLinkIsShownAndRetriedAsTheSettingsSay)
{
    ASSERT_TRUE(fake.ok());
    struct Case {
        const char* name;
        int reconnect;  // reconnect when a registered link drops
        bool expect_retry;
    };
    const Case cases[] = {
        {"reconnect on", 1, true},
        {"reconnect off", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KestProgram k;
        k.log_status();
        k.set("options", "n3", option_line({{4, c.reconnect}}));
        k.set("options", "n7", option_line({{19, 1}}));  // retry after one second
        k.use_server(server_port());
        ASSERT_TRUE(k.start({"-n", "kestbot"}));
        {
            LineSocket link;
            ASSERT_TRUE(fake.accept_link(link)) << k.output();
            ASSERT_EQ(ScriptedServer::welcome(link), "kestbot");
            ASSERT_TRUE(link.wait_for("^MODE kestbot", kWaitMs)) << joined(link.history());
            link.close();  // the server drops the link
        }
        auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
        bool shown = false;
        while (!shown && Clock::now() < end) {
            shown = k.status_log().find("Bağlantınız Kesildi") != std::string::npos;
            if (!shown)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(shown) << "the status window did not show the lost link\n" << k.status_log();
        LineSocket again;
        bool retried = fake.accept_link(again, c.expect_retry ? kWaitMs : 5000);
        EXPECT_EQ(retried, c.expect_retry);
        if (retried && c.expect_retry) {
            EXPECT_EQ(ScriptedServer::welcome(again), "kestbot") << joined(again.history());
        }
        EXPECT_TRUE(k.process().running()) << k.output();
        k.stop(3000);
    }
}

TEST_F(LinkE2e, AStoppedServerIsShownAsALostLink)
{
    kest.log_status();
    kest.set("options", "n3", option_line({{4, 0}}));
    kest.use_server(server_port());
    ASSERT_TRUE(kest.start({"-n", "kestbot"}));
    ASSERT_TRUE(whois_until_present(watcher, "kestbot")) << kest.output();
    server.stop();
    EXPECT_TRUE(watcher.wait_closed());
    auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    bool shown = false;
    while (!shown && Clock::now() < end) {
        shown = kest.status_log().find("Bağlantınız Kesildi") != std::string::npos;
        if (!shown)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(shown) << kest.status_log();
    EXPECT_TRUE(kest.process().running()) << kest.output();
}

// ---- Leaving ----

TEST_F(LinkE2e, SigtermSendsQuitBeforeTheProgramEnds)
{
    ASSERT_TRUE(watcher.join("#auto"));
    kest.use_server(server_port());
    kest.add_script("e2e.kst", "on *:CONNECT:/join #auto\n");
    ASSERT_TRUE(kest.start({"-n", "kestbot"}));
    ASSERT_TRUE(watcher.wait_for("^:kestbot!\\S+ JOIN :?#auto$")) << kest.output();
    ASSERT_TRUE(kest.process().signal(SIGTERM));
    EXPECT_TRUE(watcher.wait_for("^:kestbot!\\S+ QUIT( |$)"))
        << "the peer in the shared channel never saw the QUIT\n" << joined(watcher.history());
    EXPECT_EQ(kest.process().wait_exit(kWaitMs), 0) << kest.output();
}

// The script drives the program on its own: on connect it writes what it
// knows to a file and ends the program.
TEST_F(LinkE2e, ARemoteScriptWritesItsResultsAndExits)
{
    const fs::path result = kest.settings() / "result.txt";
    kest.add_script("drive.kst", "on *:CONNECT:{\n  write \"" + result.string() +
                                     "\" connected $me $server\n  exit -n\n}\n");
    kest.use_server(server_port());
    ASSERT_TRUE(kest.start({"-n", "kestbot"}));
    EXPECT_TRUE(wait_for_file_text(result, "connected kestbot " + std::string(IrcServer::kName)))
        << read_file(result);
    EXPECT_EQ(kest.process().wait_exit(kWaitMs), 0);
}
