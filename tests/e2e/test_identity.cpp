// Whole-program tests of connecting and the identity: a first start without
// an identity, the identity set by commands, /server with the server list,
// /quit and closing the program while connected, and irc: links on the
// command line and handed over by a second start. Commands reach the
// running program as an outside program sends them (the local request
// socket of the instance), as if typed into its status window.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "app/command_line.h"
#include "platform/local_ipc.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

// The plain-log options: no colour codes, every line written at once.
const char* const kPlainLogs = "n5";

void plain_logs(KestProgram& k)
{
    k.set("options", kPlainLogs, option_line({{15, 1}, {25, 1}}));
    k.log_status();
}

fs::path run_dir(const KestProgram& k)
{
    return k.settings().parent_path() / "run";
}

// Runs a command line in the program as an outside program does; true once
// the program took it (it may still be starting up).
bool run_command(const KestProgram& k, const std::string& line, int ms = kWaitMs)
{
    ::setenv("XDG_RUNTIME_DIR", run_dir(k).c_str(), 1);
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        int answer = 0;
        if (ipc_request(kHandOverService, IPC_RUN_COMMAND, line, &answer, nullptr, 3000))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Waits for the status window's log to hold a line matching the pattern at
// or after line `from`; its index, or -1.
int wait_status_line(const KestProgram& k, const std::string& pattern, std::size_t from = 0, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int i = log_index(k.status_log(), pattern, from);
        if (i >= 0 || Clock::now() >= end)
            return i;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::size_t status_lines(const KestProgram& k)
{
    return log_lines(k.status_log()).size();
}

// Asks the server about a nick until it is there; true once it was.
bool whois_until_present(Peer& peer, const std::string& nick, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        peer.send_line("WHOIS " + nick);
        IrcLine l;
        if (peer.wait_for("^:\\S+ (311|401) " + peer.nick + " " + nick + " ", 3000, &l) && l.command == "311")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    return false;
}

// Lines of a scripted link that match the pattern, read for `ms`.
int count_lines(LineSocket& link, const std::string& pattern, int ms)
{
    int n = 0;
    const std::regex re(pattern);
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::string line;
    while (Clock::now() < end) {
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        if (!link.read_line(line, std::max(left, 1)))
            break;
        if (std::regex_search(line, re))
            ++n;
    }
    return n;
}

struct IdentityE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << server.log();
        ASSERT_TRUE(watcher.login(server.port(), "watcher")) << joined(watcher.history());
    }
    void TearDown() override { server.stop(); }
    std::string address() const { return "127.0.0.1:" + std::to_string(server.port()); }

    IrcServer server;
    Peer watcher;
};

struct ScriptedIdentityE2e : ::testing::Test {
    ScriptedServer fake;
};

} // namespace

// ---- A first start without an identity ----

TEST_F(IdentityE2e, AFirstStartTellsWhatIsMissingAndCommandsSetIt)
{
    struct Case {
        const char* name;
        bool connect_at_start;
        std::vector<std::pair<const char*, const char*>> given;  // kest section keys
        const char* missing;
        const char* commands;
    };
    const Case cases[] = {
        {"nothing set, connect at start", true, {}, "nick, tam ad, e-posta adresi",
         "/nick <nick>, /fullname <ad soyad>, /emailaddr <adres>"},
        {"only the e-mail missing, /server typed", false, {{"nick", "someone"}, {"user", "Some One"}},
         "e-posta adresi", "/emailaddr <adres>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KestProgram k;
        k.set("kest", "user", "");
        k.set("kest", "email", "");
        for (const auto& g : c.given)
            k.set("kest", g.first, g.second);
        plain_logs(k);
        if (c.connect_at_start)
            k.use_server(server.port());
        ASSERT_TRUE(k.start({}));
        ASSERT_TRUE(run_command(k, "/server " + address())) << k.output();
        const std::string missing = "\\* Bağlanmak için eksik: " + std::string(c.missing);
        const std::string how = "\\* Belirlemek için: " + std::regex_replace(c.commands, std::regex("[\\[\\]]"), "\\$&");
        int at = wait_status_line(k, missing);
        ASSERT_GE(at, 0) << "the status window did not tell what is missing\n" << k.status_log();
        EXPECT_GE(log_index(k.status_log(), how, static_cast<std::size_t>(at)), at + 1) << k.status_log();
        if (c.connect_at_start) {
            // Told once at start and once more for the /server typed after it.
            EXPECT_GE(log_index(k.status_log(), missing, static_cast<std::size_t>(at) + 1), at + 1) << k.status_log();
        }
        // Nothing went to the server.
        watcher.send_line("WHOIS someone");
        EXPECT_TRUE(watcher.wait_for("^:\\S+ 401 watcher someone "));

        // The commands set the identity; then /server connects.
        std::size_t before = status_lines(k);
        ASSERT_TRUE(run_command(k, "/nick kestfirst"));
        ASSERT_TRUE(run_command(k, "/fullname Kest First User"));
        ASSERT_TRUE(run_command(k, "/emailaddr first@example.org"));
        EXPECT_GE(wait_status_line(k, "\\* Nickiniz Artık kestfirst", before), 0) << k.status_log();
        EXPECT_GE(wait_status_line(k, "\\* Kullanıcı Adı: Kest First User", before), 0) << k.status_log();
        EXPECT_GE(wait_status_line(k, "\\* Email adresi: first@example.org", before), 0) << k.status_log();
        ASSERT_TRUE(run_command(k, "/server " + address()));
        EXPECT_TRUE(whois_until_present(watcher, "kestfirst")) << k.output() << k.status_log();
        // The identity is in the settings file at once.
        const std::string ini = read_file(k.settings() / "kest.ini");
        EXPECT_NE(ini.find("nick=kestfirst"), std::string::npos) << ini;
        EXPECT_NE(ini.find("user=Kest First User"), std::string::npos) << ini;
        EXPECT_NE(ini.find("email=first@example.org"), std::string::npos) << ini;
        EXPECT_EQ(log_index(k.status_log(), "\\* Bağlanmak için eksik: .*", before), -1) << k.status_log();
        k.stop(3000);
    }
}

// ---- Leaving ----

TEST_F(IdentityE2e, QuitWithAMessageReachesAPeerInTheChannel)
{
    ASSERT_TRUE(watcher.join("#leave"));
    KestProgram k;
    k.use_server(server.port());
    ASSERT_TRUE(k.start({"-n", "kestbot", "-j", "#leave"}));
    ASSERT_TRUE(watcher.wait_for("^:kestbot!\\S+ JOIN :?#leave$")) << k.output();
    ASSERT_TRUE(run_command(k, "/quit gone fishing"));
    IrcLine quit;
    ASSERT_TRUE(watcher.wait_for("^:kestbot!\\S+ QUIT ", kWaitMs, &quit)) << joined(watcher.history());
    ASSERT_FALSE(quit.params.empty());
    EXPECT_NE(quit.params.back().find("gone fishing"), std::string::npos) << quit.raw;
    EXPECT_TRUE(k.process().running()) << "the program itself stays\n" << k.output();
    k.stop(3000);
}

TEST_F(ScriptedIdentityE2e, OneQuitPerLinkFromQuitAndFromClosingTheProgram)
{
    ASSERT_TRUE(fake.ok());
    struct Case {
        const char* name;
        const char* command;  // typed first; null: the program is closed at once
        const char* quit_line;
    };
    const Case cases[] = {
        {"/quit with a message, then closing", "/quit see you later", "^QUIT :see you later$"},
        {"closing while connected: the quit message of the settings", nullptr, "^QUIT :leaving kestbot$"},
        {"/quit without a message: the settings' message", "/quit", "^QUIT :leaving kestbot$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KestProgram k;
        k.set("text", "quit", "leaving $me");
        k.use_server(fake.port());
        ASSERT_TRUE(k.start({"-n", "kestbot"}));
        LineSocket link;
        ASSERT_TRUE(fake.accept_link(link)) << k.output();
        ASSERT_EQ(ScriptedServer::welcome(link), "kestbot") << joined(link.history());
        ASSERT_TRUE(link.wait_for("^MODE kestbot")) << joined(link.history());
        if (c.command) {
            ASSERT_TRUE(run_command(k, c.command));
        } else {
            ASSERT_TRUE(k.process().signal(SIGTERM));
        }
        ASSERT_TRUE(link.wait_for(c.quit_line)) << joined(link.history());
        // The server keeps the link open a while: no second QUIT comes, and
        // none when the program is then closed.
        EXPECT_EQ(count_lines(link, "^QUIT", 1500), 0) << joined(link.history());
        if (c.command) {
            ASSERT_TRUE(k.process().signal(SIGTERM));
        }
        EXPECT_EQ(count_lines(link, "^QUIT", 3000), 0) << joined(link.history());
        EXPECT_EQ(k.process().wait_exit(kWaitMs), 0) << k.output();
    }
}

// ---- The server list ----

TEST_F(ScriptedIdentityE2e, ServerListEntriesAreWrittenAndConnectedByNumber)
{
    ASSERT_TRUE(fake.ok());
    KestProgram k;
    plain_logs(k);
    write_file(k.settings() / "servers.ini", "[servers]\nn0=OtherSERVER:other.example.org:7000GROUP:Else\n");
    ASSERT_TRUE(k.start({"-n", "kestbot"}));
    const std::string port = std::to_string(fake.port());
    ASSERT_TRUE(run_command(k, "/server -a 127.0.0.1 -p " + port + " -g Net -d My server"));
    EXPECT_GE(wait_status_line(k, "\\* Server Listesine 'My server' Eklendi"), 0) << k.status_log();
    ASSERT_TRUE(run_command(k, "/server -a 127.0.0.1 -w secret"));
    EXPECT_GE(wait_status_line(k, "\\* Server Listesi 'My server' Güncellendi"), 0) << k.status_log();
    ASSERT_TRUE(run_command(k, "/server -r nowhere.example.org"));
    EXPECT_GE(wait_status_line(k, "\\* /server: 'nowhere.example.org' Serveri Yok"), 0) << k.status_log();
    const std::string servers = read_file(k.settings() / "servers.ini");
    EXPECT_NE(servers.find("n0=OtherSERVER:other.example.org:7000GROUP:Else"), std::string::npos) << servers;
    EXPECT_NE(servers.find("n1=My serverSERVER:127.0.0.1:" + port + ":secretGROUP:Net"), std::string::npos)
        << servers;

    // Entry 2 of the file is the new one: /server 2 connects there with its
    // password.
    ASSERT_TRUE(run_command(k, "/server 2"));
    LineSocket link;
    ASSERT_TRUE(fake.accept_link(link)) << k.output() << k.status_log();
    EXPECT_TRUE(link.wait_for("^PASS :?secret$")) << joined(link.history());
    EXPECT_EQ(ScriptedServer::welcome(link), "kestbot");
    k.stop(3000);
}

// ---- irc: links ----

TEST_F(IdentityE2e, AnIrcLinkOnTheFirstStartConnectsAndJoins)
{
    ASSERT_TRUE(watcher.join("#firstlink"));
    KestProgram k;
    k.set("kest", "nick", "kestlink");
    // Not asking first: the link is followed at once.
    k.set("options", "n4", option_line({{33, 0}}));
    ASSERT_TRUE(k.start({"irc://" + address() + "/#firstlink"}));
    EXPECT_TRUE(watcher.wait_for("^:kestlink!\\S+ JOIN :?#firstlink$"))
        << k.output() << "\npeer saw:\n" << joined(watcher.history());
    k.stop(3000);
}

TEST_F(IdentityE2e, ASecondStartHandsItsLinkToTheRunningProgram)
{
    struct Case {
        const char* name;
        bool already_connected;  // the running program is on that server
        const char* channel;
        const char* link_channel;  // as written in the link
    };
    const Case cases[] = {
        {"not connected yet: connects and joins", false, "#handed", "handed"},
        {"on that server already: joins", true, "#handed2", "#handed2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(watcher.join(c.channel));
        KestProgram first;
        first.set("kest", "nick", "kesthand");
        first.set("options", "n4", option_line({{33, 0}}));
        std::vector<std::string> args;
        if (c.already_connected)
            first.use_server(server.port());
        ASSERT_TRUE(first.start(args));
        if (c.already_connected) {
            ASSERT_TRUE(whois_until_present(watcher, "kesthand")) << first.output();
        }
        // Wait until the running program answers on its request socket.
        ASSERT_TRUE(run_command(first, "/echo ready")) << first.output();

        // The second start: same user runtime folder, its own settings.
        TempDir other("second");
        ChildProcess second;
        const fs::path second_log = other.path() / "output.log";
        ASSERT_TRUE(second.start({KEST_BINARY, "-r", (other.path() / "settings").string() + "/",
                                  "irc://" + address() + "/" + c.link_channel},
                                 {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + run_dir(first).string(),
                                  "XDG_CONFIG_HOME=" + (other.path() / "config").string()},
                                 second_log));
        // It hands the link over and ends at once.
        EXPECT_EQ(second.wait_exit(kWaitMs), 0) << read_file(second_log);
        EXPECT_TRUE(watcher.wait_for(std::string("^:kesthand!\\S+ JOIN :?") + c.channel + "$"))
            << first.output() << "\npeer saw:\n" << joined(watcher.history());
        EXPECT_TRUE(first.process().running());
        first.stop(3000);
        watcher.wait_for("^:kesthand!\\S+ QUIT", 3000);
    }
}

// With the default settings the program asks before it follows a link
// handed over from outside: until the user answers, it stays on its server
// (no QUIT, no logon elsewhere, no join).
TEST_F(IdentityE2e, WithDefaultSettingsAHandedOverLinkWaitsForTheUser)
{
    ASSERT_TRUE(watcher.join("#stay"));
    KestProgram first;
    first.set("kest", "nick", "kestask");
    first.use_server(server.port());
    ASSERT_TRUE(first.start({}));
    ASSERT_TRUE(whois_until_present(watcher, "kestask")) << first.output();
    ASSERT_TRUE(run_command(first, "/join #stay"));
    ASSERT_TRUE(watcher.wait_for("^:kestask!\\S+ JOIN :?#stay$")) << joined(watcher.history());

    // Another server's name for the same server: without asking, the
    // program would leave this one for it.
    TempDir other("second");
    ChildProcess second;
    const fs::path second_log = other.path() / "output.log";
    ASSERT_TRUE(second.start({KEST_BINARY, "-r", (other.path() / "settings").string() + "/",
                              "irc://localhost:" + std::to_string(server.port()) + "/askme"},
                             {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR=" + run_dir(first).string(),
                              "XDG_CONFIG_HOME=" + (other.path() / "config").string()},
                             second_log));
    EXPECT_EQ(second.wait_exit(kWaitMs), 0) << read_file(second_log);
    // The program still answers while the question is open, and what it
    // sends now reaches the channel: nothing left the server before it.
    ASSERT_TRUE(run_command(first, "/msg #stay still here"));
    EXPECT_TRUE(watcher.wait_for("^:kestask!\\S+ PRIVMSG #stay :still here$")) << joined(watcher.history());
    for (const std::string& line : watcher.history()) {
        const bool quit = line.find(":kestask!") == 0 && line.find(" QUIT") != std::string::npos;
        EXPECT_FALSE(quit) << line;
        EXPECT_EQ(line.find("#askme"), std::string::npos) << line;
    }
    EXPECT_TRUE(first.process().running());
    first.stop(3000);
}

// ---- A second connection ----

TEST_F(IdentityE2e, ServerMOpensASecondConnectionThatJoinsAfterLogon)
{
    ASSERT_TRUE(watcher.join("#ma"));
    ASSERT_TRUE(watcher.join("#mb"));
    KestProgram k;
    k.use_server(server.port());
    ASSERT_TRUE(k.start({"-n", "kestone,kesttwo"}));
    ASSERT_TRUE(whois_until_present(watcher, "kestone")) << k.output();
    // The new connection has the same identity: the server gives it the
    // alternative nick, and it joins both channels after its logon.
    ASSERT_TRUE(run_command(k, "/server -m " + address() + " -j #ma,#mb"));
    EXPECT_TRUE(watcher.wait_for("^:kesttwo!\\S+ JOIN :?#ma$")) << k.output() << joined(watcher.history());
    EXPECT_TRUE(watcher.saw("^:kesttwo!\\S+ JOIN :?#mb$")) << joined(watcher.history());
    // The first connection stays where it is.
    EXPECT_TRUE(whois_until_present(watcher, "kestone"));
    for (const std::string& line : watcher.history())
        EXPECT_EQ(line.find(":kestone!"), std::string::npos) << "the first connection took part: " << line;
    k.stop(3000);
}

// ---- Lookups ----

TEST_F(IdentityE2e, DnsLooksUpANickAndListsNothingWhenIdle)
{
    ASSERT_TRUE(watcher.join("#dnsroom"));
    KestProgram k;
    plain_logs(k);
    k.use_server(server.port());
    ASSERT_TRUE(k.start({"-n", "kestdns", "-j", "#dnsroom"}));
    ASSERT_TRUE(watcher.wait_for("^:kestdns!\\S+ JOIN :?#dnsroom$")) << k.output();
    struct Case {
        const char* typed;
        const char* pattern;  // a status line the command brings; null: none
    };
    const Case cases[] = {
        {"/dns watcher", "\\* Dns Çekilen \\S+ Çözülen ip \\S+"},
        {"/dns -h localhost", "\\* Dns Çekilen localhost Çözülen ip 127\\.0\\.0\\.1"},
        {"/dns", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::size_t before = status_lines(k);
        ASSERT_TRUE(run_command(k, c.typed));
        if (c.pattern) {
            EXPECT_GE(wait_status_line(k, c.pattern, before), 0) << k.status_log();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            EXPECT_EQ(log_index(k.status_log(), "\\* DNS Çözülüyor:", before), -1) << k.status_log();
        }
    }
    k.stop(3000);
}
