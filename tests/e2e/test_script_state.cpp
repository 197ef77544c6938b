// Whole-program tests of what scripts read of the program's state and write
// back: the if-operators that ask a channel's members and the ignore list,
// the "@" event lines, the per-connection online time, the nick order of
// $sorttok and /saveini. The program is on a private IRC server with a peer
// that made both channels before it came; the peer ops the program in one
// of them and voices it in the other, and the program answers what its
// script finds.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kestbot";
const char* const kOp = "#pop";     // the peer gives the program +o here
const char* const kNoOp = "#nop";   // and only +v here

// An "@" line above a plain one for the same text: while the program is an
// operator of the channel the first runs, elsewhere the second. "check"
// answers what the operators find for the program (and for the address
// given after it); "ignore" adds an ignore entry; "online" tells the
// connection's online time; "sort" sorts nicks by their channel prefixes;
// "dlevel" sets the default user level and "saveini" saves the settings.
const char* const kScript =
    "on @*:TEXT:hello*:#:msg $chan opline $1-\n"
    "on *:TEXT:hello*:#:msg $chan plainline $1-\n"
    "on *:TEXT:check *:#:if ($me isop $chan) var %a = op | else var %a = notop"
    " | if ($me ison $chan) var %b = on | else var %b = noton"
    " | if ($me isvoice $chan) var %c = voice | else var %c = novoice"
    " | if ($2 isignore) var %d = ignored | else var %d = notignored"
    " | if (nobody ison $chan) var %e = ghost | else var %e = noghost"
    " | msg $chan report %a %b %c %d %e\n"
    "on *:TEXT:ignore *:#:ignore $2\n"
    "on *:TEXT:online:#:msg $chan online $online\n"
    "on *:TEXT:sort *:#:msg $chan sorted $sorttok($2-,32,c)\n"
    "on *:TEXT:dlevel *:#:dlevel $2 | msg $chan level $2\n"
    "on *:TEXT:saveini:#:saveini | msg $chan saved\n";

std::string re_quote(const std::string& text)
{
    static const std::regex special("[.^$|()\\[\\]{}*+?\\\\]");
    return std::regex_replace(text, special, "\\$&");
}

// Asks the server about a nick until its channels include `entry`; true
// once they did within `ms`.
bool wait_in_channel(Peer& peer, const std::string& nick, const std::string& entry, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    const std::regex re("(^| )[~&@%+]*" + re_quote(entry) + "( |$)");
    while (Clock::now() < end) {
        peer.send_line("WHOIS " + nick);
        IrcLine l;
        while (peer.wait_for("^:\\S+ (319|318|401) " + peer.nick + " ", 3000, &l) && l.command == "319")
            if (!l.params.empty() && std::regex_search(l.params.back(), re))
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

struct ScriptStateE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
        // The peer makes both channels: it is their operator, the program is not.
        ASSERT_TRUE(peer.join(kOp)) << joined(peer.history());
        ASSERT_TRUE(peer.join(kNoOp)) << joined(peer.history());
        kest.use_server(server.port());
        // The online time shown is the connection's own, not the total.
        kest.set("options", "n1", option_line({{2, 1}, {3, 0}}));
        kest.log_status();
        kest.add_script("conditions.kst", kScript);
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", std::string(kOp) + "," + kNoOp}));
        for (const char* c : {kOp, kNoOp})
            ASSERT_TRUE(wait_in_channel(peer, kMe, c))
                << "the program never joined " << c << "\n" << kest.output() << kest.status_log();
        // Its JOINs reach the peer too; read them so that what follows is the program's answers.
        for (const char* c : {kOp, kNoOp})
            ASSERT_TRUE(peer.saw(std::string("^:") + kMe + "!\\S+ JOIN :?" + re_quote(c))) << joined(peer.history());
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }

    // Says a text in a channel and returns the program's answer there ("" when
    // none came).
    std::string ask(const std::string& channel, const std::string& text)
    {
        peer.send_line("PRIVMSG " + channel + " :" + text);
        IrcLine l;
        if (!peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG " + re_quote(channel) + " :", kWaitMs, &l))
            return "";
        return l.params.size() == 2 ? l.params[1] : l.raw;
    }

    IrcServer server;
    Peer peer;
    KestProgram kest;
};

} // namespace

TEST_F(ScriptStateE2e, OperatorsAndOpLinesFollowTheModesThePeerGives)
{
    struct Step {
        const char* mode;      // a MODE line the peer sends first, or null
        const char* channel;
        const char* text;
        const char* answer;
    };
    const Step steps[] = {
        // Not an operator anywhere yet: the plain lines run.
        {nullptr, kOp, "hello before", "plainline hello before"},
        {nullptr, kNoOp, "hello before", "plainline hello before"},
        {nullptr, kOp, "check ham!u@h", "report notop on novoice notignored noghost"},
        // Op in one channel, voice in the other.
        {"MODE #pop +o kestbot", kOp, "hello after", "opline hello after"},
        {"MODE #nop +v kestbot", kNoOp, "hello after", "plainline hello after"},
        {nullptr, kOp, "hello again", "opline hello again"},
        {nullptr, kOp, "check ham!u@h", "report op on novoice notignored noghost"},
        {nullptr, kNoOp, "check ham!u@h", "report notop on voice notignored noghost"},
        // The ignore list.
        {nullptr, kOp, "ignore spam!*@*", ""},
        {nullptr, kOp, "check spam!u@h", "report op on novoice ignored noghost"},
        {nullptr, kNoOp, "check SPAM!x@y", "report notop on voice ignored noghost"},
        {nullptr, kNoOp, "check ham!u@h", "report notop on voice notignored noghost"},
        // Op taken away again.
        {"MODE #pop -o kestbot", kOp, "hello last", "plainline hello last"},
        {nullptr, kOp, "check ham!u@h", "report notop on novoice notignored noghost"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(std::string(s.channel) + " " + s.text);
        if (s.mode)
            peer.send_line(s.mode);
        if (!*s.answer) {
            peer.send_line(std::string("PRIVMSG ") + s.channel + " :" + s.text);
            continue;
        }
        EXPECT_EQ(ask(s.channel, s.text), s.answer) << joined(peer.history()) << kest.output();
    }
    // One answer per question: neither channel heard a second line.
    IrcLine extra;
    EXPECT_FALSE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG ", 500, &extra)) << extra.raw;
}

TEST_F(ScriptStateE2e, TheConnectionsOnlineTimeAdvances)
{
    // The time moves with the program's one-second tick: asked until it has
    // moved twice (bounded), it never goes back.
    long last = -1;
    const auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (last < 2 && Clock::now() < end) {
        const std::string answer = ask(kOp, "online");
        ASSERT_EQ(answer.rfind("online ", 0), 0u) << answer << joined(peer.history());
        const long now = std::stol(answer.substr(7));
        EXPECT_GE(now, last);
        last = now;
        if (last < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_GE(last, 2);
}

// The nick order of $sorttok is the order of the prefixes this server
// announced, its own beyond "@%+" included.
TEST_F(ScriptStateE2e, NickOrderFollowsTheServersPrefixes)
{
    std::string prefixes;
    for (const std::string& line : peer.history()) {
        std::smatch m;
        if (std::regex_search(line, m, std::regex(" PREFIX=\\([a-z]+\\)(\\S+)")))
            prefixes = m[1];
    }
    ASSERT_GE(prefixes.size(), 4u) << "the server announced no prefix beyond @%+\n" << joined(peer.history());
    // Highest first as announced, then a nick without a prefix; asked in the
    // reverse order.
    std::string expected = "sorted", asked;
    for (std::size_t i = 0; i < prefixes.size(); ++i) {
        expected += " " + std::string(1, prefixes[i]) + "n" + std::to_string(i);
        asked = std::string(1, prefixes[i]) + "n" + std::to_string(i) + " " + asked;
    }
    expected += " zed";
    EXPECT_EQ(ask(kOp, "sort zed " + asked), expected) << prefixes;
}

// /saveini writes what the other parts hold in memory: the default user
// level that /dlevel sets reaches the option lines ("n2", position 7) only
// with it.
TEST_F(ScriptStateE2e, SaveIniWritesTheOptionLines)
{
    auto level_in_file = [&]() -> std::string {
        const std::string ini = read_file(kest.settings() / "kest.ini");
        const std::size_t section = ini.find("[options]");
        if (section == std::string::npos)
            return "";
        const std::size_t at = ini.find("\nn2=", section);
        const std::size_t next_section = ini.find("\n[", section + 1);
        if (at == std::string::npos || at > next_section)
            return "";
        std::string line = ini.substr(at + 4, ini.find('\n', at + 1) - at - 4);
        for (int field = 0; field < 7; ++field) {
            const std::size_t comma = line.find(',');
            if (comma == std::string::npos)
                return "";
            line.erase(0, comma + 1);
        }
        return line.substr(0, line.find(','));
    };
    ASSERT_EQ(ask(kOp, "dlevel 7"), "level 7") << kest.output();
    EXPECT_NE(level_in_file(), "7") << read_file(kest.settings() / "kest.ini");
    ASSERT_EQ(ask(kOp, "saveini"), "saved") << kest.output();
    EXPECT_EQ(level_in_file(), "7") << read_file(kest.settings() / "kest.ini");
    // Asked again, the same line stays.
    ASSERT_EQ(ask(kOp, "saveini"), "saved");
    EXPECT_EQ(level_in_file(), "7");
}
