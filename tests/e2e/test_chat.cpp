// Whole-program tests of chatting: the real program in a channel of a private
// IRC server with plain peers. What the program shows is read from its
// window logs; what it says is read by the peers.
#include <gtest/gtest.h>

#include <algorithm>
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

// An option line with the given positions set and the others left at their
// defaults (empty fields read as the default).
// Waits at most `ms` for a window's log to hold a line matching the pattern.
// Only lines at or after `from` count.
bool wait_log_line(const KestProgram& kest, const std::string& window, const std::string& pattern,
                   int ms = kWaitMs, std::size_t from = 0)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (log_index(window_log(kest, window), pattern, from) >= 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return false;
}

// A text matched literally inside a regular expression.
std::string re_quote(const std::string& text)
{
    static const std::regex special("[.^$|()\\[\\]{}*+?\\\\]");
    return std::regex_replace(text, special, "\\$&");
}

// Asks the server about a nick until its channels include `entry` (a
// channel with the nick's prefix in it, "@#test"); true once they did
// within `ms`. Its channels are asked for rather than the channel's
// members: an invisible user is not listed to outsiders.
bool wait_in_channel(Peer& peer, const std::string& nick, const std::string& entry, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    const std::regex re("(^| )" + re_quote(entry) + "( |$)");
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

// A private server, a peer and the program with its channel and query
// logs kept plainly: no colour codes, every line written at once.
struct ChatE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }

    // Settings shared by every test: the server, logging of the status
    // window, log files closed after each line and stripped of codes.
    void configure(KestProgram& k, const std::string& script, bool rejoin_on_kick = false)
    {
        k.use_server(server.port());
        if (rejoin_on_kick)
            k.set("options", "n0", option_line({{0, 1}, {7, 1}}));
        k.set("options", "n5", option_line({{15, 1}, {25, 1}}));
        k.log_status();
        if (!script.empty())
            k.add_script("chat.kst", script);
    }

    // Starts the program joining #test and waits until the peer sees it in
    // the channel. With `peer_first` the peer is there before it.
    void join_both(KestProgram& k, bool peer_first)
    {
        if (peer_first) {
            ASSERT_TRUE(peer.join("#test")) << joined(peer.history());
        }
        ASSERT_TRUE(k.start({"-n", kMe, "-j", "#test"}));
        if (peer_first) {
            ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ JOIN :?#test$"))
                << "the program never joined #test\n" << k.output();
        } else {
            ASSERT_TRUE(wait_in_channel(peer, kMe, "@#test"))
                << "the program never joined #test\n" << k.output() << k.status_log();
            ASSERT_TRUE(peer.join("#test")) << joined(peer.history());
        }
    }

    IrcServer server;
    Peer peer;
    KestProgram kest;
};

const char* const kPongScript = "on *:TEXT:ping:#test:msg # pong\n";

} // namespace

// ---- Joining: the window, the nick list and its prefixes ----

TEST_F(ChatE2e, TheChannelWindowListsBothMembersWithTheirPrefixes)
{
    struct Case {
        const char* name;
        bool peer_first;
        const char* peer_shown;  // the peer's nick as the program shows it
        const char* me_shown;    // the program's own nick
    };
    const Case cases[] = {
        {"the program joins first and is the operator", false, "peer", "@kestbot"},
        {"the peer joins first and is the operator", true, "@peer", "kestbot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KestProgram k;
        configure(k, kPongScript);
        ASSERT_NO_FATAL_FAILURE(join_both(k, c.peer_first));
        // The window opened on the program's own join and was logged from
        // its first line.
        EXPECT_TRUE(wait_log_line(k, "#test", "\\* Şu an #test kanalında bulunuyorsunuz"))
            << window_log(k, "#test");
        if (!c.peer_first) {
            EXPECT_TRUE(wait_log_line(k, "#test", "\\* Giriş: peer( \\(.*\\))?")) << window_log(k, "#test");
        }
        // Who speaks is shown as the nick list has them.
        peer.send_line("PRIVMSG #test :hello");
        EXPECT_TRUE(wait_log_line(k, "#test", re_quote(std::string("<") + c.peer_shown + "> hello")))
            << window_log(k, "#test");
        peer.send_line("PRIVMSG #test :ping");
        EXPECT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG #test :pong$"))
            << joined(peer.history()) << k.output();
        EXPECT_TRUE(wait_log_line(k, "#test", re_quote(std::string("<") + c.me_shown + "> pong")))
            << window_log(k, "#test");
        // A member that quits is one the list held: the quit is shown in
        // the channel.
        peer.send_line("QUIT :gone fishing");
        EXPECT_TRUE(peer.wait_closed());
        EXPECT_TRUE(wait_log_line(k, "#test", "\\* peer( \\(.*\\) Çıktı| IRC`den Çıktı) \\(.*gone fishing.*\\)"))
            << window_log(k, "#test");
        k.stop(3000);
        peer.close();
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    }
}

// ---- Public messages ----

TEST_F(ChatE2e, WhatThePeerSaysInTheChannelIsShownAndLogged)
{
    struct Case {
        const char* name;
        const char* sent;
        const char* shown;  // the log line, a regular expression
    };
    const Case cases[] = {
        {"text", "PRIVMSG #test :hello", "<peer> hello"},
        {"text with formatting, logged plain", "PRIVMSG #test :\x02hello\x02 \x03" "04red\x03 world",
         "<peer> hello red world"},
        {"action", "PRIVMSG #test :\x01" "ACTION waves\x01", "\\* peer waves"},
        {"notice to the channel", "NOTICE #test :read the topic", "-peer:#test- read the topic"},
    };
    configure(kest, "");
    ASSERT_NO_FATAL_FAILURE(join_both(kest, false));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        peer.send_line(c.sent);
        EXPECT_TRUE(wait_log_line(kest, "#test", c.shown)) << window_log(kest, "#test");
    }
    // The log is framed by its opening header, and the lines come after it.
    const std::string log = window_log(kest, "#test");
    const int header = log_index(log, "Oturum Başlatıldı: .+");
    EXPECT_GE(header, 0) << log;
    EXPECT_GE(log_index(log, "Ident Oturumu:  ?#test"), 0) << log;
    EXPECT_GT(log_index(log, "<peer> hello"), header) << log;
    // Channel text does not open a query.
    EXPECT_EQ(window_log(kest, "peer"), "");
}

// ---- A remote script answers in the channel ----

TEST_F(ChatE2e, ARemoteScriptAnswersInTheChannel)
{
    configure(kest, kPongScript);
    ASSERT_NO_FATAL_FAILURE(join_both(kest, false));
    struct Case {
        const char* name;
        const char* text;
        bool answered;
    };
    // Each text is followed by a plain "ping"; a wrong answer to the first
    // would come before the answer to the second.
    const Case cases[] = {
        {"the exact word", "ping", true},
        {"case is ignored", "PING", true},
        {"a longer text does not match", "pingpong", false},
        {"a word in a sentence does not match", "say ping", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = peer.history().size();
        peer.send_line(std::string("PRIVMSG #test :") + c.text);
        peer.send_line("PRIVMSG #test :ping");
        ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG #test :pong$"))
            << joined(peer.history()) << kest.output();
        // Collect a possible second answer.
        peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG #test :pong$", c.answered ? kWaitMs : 500);
        int pongs = 0;
        for (std::size_t i = before; i < peer.history().size(); ++i)
            if (std::regex_search(peer.history()[i], std::regex("PRIVMSG #test :pong$")))
                ++pongs;
        EXPECT_EQ(pongs, c.answered ? 2 : 1) << joined(peer.history());
    }
    // The program's own answers are shown in its channel window.
    EXPECT_TRUE(wait_log_line(kest, "#test", "<@kestbot> pong")) << window_log(kest, "#test");
}

// ---- Private messages and the query window ----

TEST_F(ChatE2e, APrivateMessageOpensAQueryThatTheProgramAnswersIn)
{
    configure(kest, "on *:TEXT:*:?:msg $nick got it\n");
    ASSERT_TRUE(kest.start({"-n", kMe}));
    // Wait for the program to be on the server before talking to it.
    auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    bool present = false;
    while (!present && Clock::now() < end) {
        peer.send_line(std::string("WHOIS ") + kMe);
        IrcLine l;
        present = peer.wait_for("^:\\S+ (311|401) peer " + std::string(kMe) + " ", 3000, &l) && l.command == "311";
        if (!present)
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ASSERT_TRUE(present) << kest.output();

    struct Case {
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"the first message opens the query", "hi there"},
        {"the next one goes to the same query", "second line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        peer.send_line(std::string("PRIVMSG ") + kMe + " :" + c.text);
        EXPECT_TRUE(wait_log_line(kest, "peer", std::string("<peer> ") + c.text)) << window_log(kest, "peer");
        EXPECT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer :got it$"))
            << joined(peer.history()) << kest.output();
    }
    // The answers were shown in the query, after what they answer.
    ASSERT_TRUE(wait_log_line(kest, "peer", "<kestbot> got it")) << window_log(kest, "peer");
    const std::string log = window_log(kest, "peer");
    EXPECT_GT(log_index(log, "<kestbot> got it"), log_index(log, "<peer> hi there")) << log;
    // One query, not one per message, and the text stayed out of the status
    // window.
    std::vector<std::string> lines = log_lines(log);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("Oturum Başlatıldı:", 0) == 0; }),
              1)
        << log;
    EXPECT_LT(log_index(kest.status_log(), ".*hi there.*"), 0) << kest.status_log();
}

// ---- Nick and mode changes, kicks ----

TEST_F(ChatE2e, NickModeAndKickOfThePeerAreFollowed)
{
    configure(kest, std::string(kPongScript) +
                        "on *:TEXT:*:?:msg $nick got it\n"
                        "on *:KICK:#test:msg $nick kicked $knick from $chan\n");
    ASSERT_NO_FATAL_FAILURE(join_both(kest, true));
    // A query with the peer before it changes its nick.
    peer.send_line(std::string("PRIVMSG ") + kMe + " :hi");
    ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer :got it$")) << kest.output();

    peer.send_line("NICK peer2");
    ASSERT_TRUE(peer.wait_for("^:peer!\\S+ NICK :?peer2$"));
    peer.nick = "peer2";
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* peer Nick değişerek peer2 Oldu")) << window_log(kest, "#test");
    // The member keeps its operator mark under the new nick.
    peer.send_line("PRIVMSG #test :renamed");
    EXPECT_TRUE(wait_log_line(kest, "#test", "<@peer2> renamed")) << window_log(kest, "#test");
    // The query follows the nick: the answer goes to the new nick, and the
    // conversation goes on in the same window (its log file stays where it
    // was opened); no second query opens.
    peer.send_line(std::string("PRIVMSG ") + kMe + " :again");
    EXPECT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer2 :got it$")) << joined(peer.history());
    EXPECT_TRUE(wait_log_line(kest, "peer", "<peer2> again")) << window_log(kest, "peer");
    EXPECT_GT(log_index(window_log(kest, "peer"), "<peer2> again"), log_index(window_log(kest, "peer"), "<peer> hi"));
    EXPECT_EQ(window_log(kest, "peer2"), "");

    struct ModeCase {
        const char* name;
        const char* modes;
        const char* shown_line;  // the mode line in the channel
        const char* me_shown;    // the program's nick afterwards
    };
    const ModeCase modes[] = {
        {"voice", "+v kestbot", "\\* peer2 mod değiştirdi: ?\\+v kestbot", "+kestbot"},
        {"operator over voice", "+o kestbot", "\\* peer2 mod değiştirdi: ?\\+o kestbot", "@kestbot"},
        {"operator taken, voice stays", "-o kestbot", "\\* peer2 mod değiştirdi: ?-o kestbot", "+kestbot"},
        {"voice taken", "-v kestbot", "\\* peer2 mod değiştirdi: ?-v kestbot", "kestbot"},
    };
    for (const ModeCase& m : modes) {
        SCOPED_TRACE(m.name);
        peer.send_line(std::string("MODE #test ") + m.modes);
        EXPECT_TRUE(wait_log_line(kest, "#test", m.shown_line)) << window_log(kest, "#test");
        // The program's next line shows its new mark.
        const std::size_t count_before = log_lines(window_log(kest, "#test")).size();
        peer.send_line("PRIVMSG #test :ping");
        ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG #test :pong$"));
        EXPECT_TRUE(wait_log_line(kest, "#test", re_quote(std::string("<") + m.me_shown + "> pong"), kWaitMs,
                                  count_before > 0 ? count_before - 1 : 0))
            << "the newest answer does not carry the new mark\n" << window_log(kest, "#test");
    }

    // Kicked: the channel window shows it and closes, the status window
    // names the channel, and the KICK event runs.
    peer.send_line("KICK #test kestbot :bye now");
    EXPECT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG peer2 :kicked kestbot from #test$"))
        << joined(peer.history()) << kest.output();
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* peer2 Tarafından Atıldınız \\(bye now\\)"))
        << window_log(kest, "#test");
    EXPECT_TRUE(wait_log_line(kest, "#test", "Oturum Kapatıldı: .+"))
        << "the channel window did not close\n" << window_log(kest, "#test");
    EXPECT_NE(kest.status_log().find("* #test Kanalından peer2 Tarafından Atıldınız (bye now)"), std::string::npos)
        << kest.status_log();
    // Without rejoin on kick it stays out.
    peer.send_line("PRIVMSG #test :still there?");
    EXPECT_FALSE(peer.wait_for(std::string("^:") + kMe + "!\\S+ JOIN", 1500)) << joined(peer.history());
    EXPECT_TRUE(kest.process().running()) << kest.output();
}

TEST_F(ChatE2e, AKickIsFollowedByARejoinWhenTheOptionIsOn)
{
    configure(kest, "", true);
    ASSERT_NO_FATAL_FAILURE(join_both(kest, true));
    peer.send_line("KICK #test kestbot :come back");
    EXPECT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ JOIN :?#test$")) << joined(peer.history())
                                                                                 << kest.output();
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* peer Tarafından Atıldınız \\(come back\\)"))
        << window_log(kest, "#test");
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* Tekrar Girilmeye Çalışılıyor\\.\\.\\."))
        << window_log(kest, "#test");
    // The same window takes the rejoin, and the nick list is whole again.
    EXPECT_TRUE(wait_log_line(kest, "#test", "\\* #test Kanalına Tekrar Giriliyor")) << window_log(kest, "#test");
    peer.send_line("PRIVMSG #test :welcome back");
    EXPECT_TRUE(wait_log_line(kest, "#test", "<@peer> welcome back")) << window_log(kest, "#test");
    const std::string log = window_log(kest, "#test");
    EXPECT_LT(log_index(log, "Oturum Kapatıldı: .+"), 0) << "the window closed\n" << log;
}

TEST_F(ChatE2e, AnotherMemberLeavingOrQuittingIsShownInTheChannel)
{
    configure(kest, "");
    ASSERT_NO_FATAL_FAILURE(join_both(kest, false));
    struct Case {
        const char* name;
        const char* nick;
        const char* leave;  // what the member sends
        const char* shown;  // the channel line, a regular expression
    };
    const Case cases[] = {
        {"part with a reason", "other1", "PART #test :see you", "\\* Ayrıldı: other1( \\(.*\\))? \\(see you\\)"},
        {"part without a reason", "other2", "PART #test", "\\* Ayrıldı: other2( \\([^()]*\\))?"},
        {"quit", "other3", "QUIT :bye all", "\\* other3( \\(.*\\) Çıktı| IRC`den Çıktı) \\(.*bye all.*\\)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Peer other;
        ASSERT_TRUE(other.login(server.port(), c.nick));
        ASSERT_TRUE(other.join("#test"));
        EXPECT_TRUE(wait_log_line(kest, "#test", std::string("\\* Giriş: ") + c.nick + "( \\(.*\\))?"))
            << window_log(kest, "#test");
        other.send_line(c.leave);
        EXPECT_TRUE(wait_log_line(kest, "#test", c.shown)) << window_log(kest, "#test");
    }
    // A member that left is no longer listed: its quit later is not shown in
    // the channel.
    Peer again;
    ASSERT_TRUE(again.login(server.port(), "other1"));
    again.send_line("QUIT :not here");
    EXPECT_TRUE(again.wait_closed());
    peer.send_line("PRIVMSG #test :marker");
    ASSERT_TRUE(wait_log_line(kest, "#test", "<peer> marker"));
    EXPECT_LT(log_index(window_log(kest, "#test"), ".*not here.*"), 0) << window_log(kest, "#test");
}
