// Whole-program tests of the everyday messaging commands and events: the
// program on a private IRC server with plain peers. The peers say
// "run <command>" in a control channel, and a remote script runs that
// command; what the program sends is read by the peers, what it shows from
// its window logs.
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
const char* const kCtl = "#ctl";

// Runs the command of a "run" line said in a channel.
const char* const kRunScript = "on *:TEXT:run *:#:$2-\n";

// A text matched literally inside a regular expression.
std::string re_quote(const std::string& text)
{
    static const std::regex special("[.^$|()\\[\\]{}*+?\\\\]");
    return std::regex_replace(text, special, "\\$&");
}

const char* const kStatus = "status";

// The text of a window's logs; kStatus names the status window.
std::string log_of(const KestProgram& kest, const std::string& window)
{
    return window == kStatus ? kest.status_log() : window_log(kest, window);
}

// Waits at most `ms` for a window's log to hold a line matching the pattern
// at or after line `from`; the line's index, or -1.
int wait_log_line(const KestProgram& kest, const std::string& window, const std::string& pattern,
                  std::size_t from = 0, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int i = log_index(log_of(kest, window), pattern, from);
        if (i >= 0 || Clock::now() >= end)
            return i;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// Lines in a log right now.
std::size_t log_size(const KestProgram& kest, const std::string& window)
{
    return log_lines(log_of(kest, window)).size();
}

// Asks the server about a nick until its channels include `entry` ("@#ctl"
// or "#ctl"); true once they did within `ms`.
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

// The next line from the program with this command, within `ms`; its
// target and text in `found`.
bool next_from_me(Peer& peer, const std::string& command, IrcLine& found, int ms = kWaitMs)
{
    return peer.wait_for(std::string("^:") + kMe + "!\\S+ " + command + " ", ms, &found);
}

// Lines from the program a peer reads within `ms` (a quiet peer reads none).
std::vector<IrcLine> lines_from_me(Peer& peer, int ms)
{
    std::vector<IrcLine> out;
    IrcLine l;
    while (peer.wait_for(std::string("^:") + kMe + "!", ms, &l))
        out.push_back(l);
    return out;
}

std::string show_lines(const std::vector<IrcLine>& lines)
{
    std::string s;
    for (const IrcLine& l : lines)
        s += "  " + l.raw + "\n";
    return s;
}

// A private server, a peer in the control channel with the program, and the
// program's logs kept plainly (no colour codes, every line written at once).
struct MessagingE2e : ::testing::Test {
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

    // Starts the program with the scripts, joining the channels (the first
    // one is the control channel, which the program joins first and holds
    // as operator); the peer joins every one of them after it.
    void start(const std::vector<std::string>& channels, const std::string& script = "")
    {
        kest.use_server(server.port());
        kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));
        kest.log_status();
        kest.add_script("run.kst", kRunScript);
        if (!script.empty())
            kest.add_script("events.kst", script);
        std::string list;
        for (const std::string& c : channels)
            list += (list.empty() ? "" : ",") + c;
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", list}));
        for (const std::string& c : channels) {
            ASSERT_TRUE(wait_in_channel(peer, kMe, c))
                << "the program never joined " << c << "\n" << kest.output() << kest.status_log();
            ASSERT_TRUE(peer.join(c)) << joined(peer.history());
            ASSERT_GE(wait_log_line(kest, c, "\\* Giriş: peer( \\(.*\\))?"), 0) << window_log(kest, c);
        }
    }

    // The peer asks the program to run a command.
    void run(const std::string& command) { peer.send_line(std::string("PRIVMSG ") + kCtl + " :run " + command); }

    IrcServer server;
    Peer peer;
    KestProgram kest;
};

} // namespace

// ---- One command, one protocol line, one echo ----

TEST_F(MessagingE2e, EachCommandSendsItsLineAndEchoesIt)
{
    ASSERT_NO_FATAL_FAILURE(start({kCtl}));
    // Commands of an event run for the status window: an echo that goes to
    // "the current window" lands there.
    struct Case {
        const char* name;
        const char* command;      // what the program runs
        const char* sent;         // the command word the peer reads
        const char* target;       // its target
        const char* text;         // its text
        const char* echo_window;  // where the program shows it
        const char* echo;         // the shown line, a regular expression
    };
    const Case cases[] = {
        {"/msg to a nick without a window", "msg peer hello there", "PRIVMSG", "peer", "hello there", kStatus,
         "-> \\*peer\\* hello there"},
        {"/msg to a channel", "msg #ctl hello all", "PRIVMSG", kCtl, "hello all", kCtl, "<@kestbot> hello all"},
        {"/notice to a nick", "notice peer psst", "NOTICE", "peer", "psst", kStatus, "-> -peer- psst"},
        {"/notice to a channel", "notice #ctl hear ye", "NOTICE", kCtl, "hear ye", kStatus, "-> -#ctl- hear ye"},
        {"/describe to a nick", "describe peer smiles", "PRIVMSG", "peer", "\x01" "ACTION smiles\x01", kStatus,
         "-> \\*peer\\* smiles"},
        {"/describe to a channel", "describe #ctl nods", "PRIVMSG", kCtl, "\x01" "ACTION nods\x01", kCtl,
         "\\* @kestbot nods"},
        {"/query with text opens the query", "query peer in private", "PRIVMSG", "peer", "in private", "peer",
         "<kestbot> in private"},
        {"/msg into an open query shows it there", "msg peer once more", "PRIVMSG", "peer", "once more", "peer",
         "<kestbot> once more"},
        {"/describe into an open query", "describe peer grins", "PRIVMSG", "peer", "\x01" "ACTION grins\x01", "peer",
         "\\* kestbot grins"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t from = log_size(kest, c.echo_window);
        run(c.command);
        IrcLine l;
        ASSERT_TRUE(next_from_me(peer, c.sent, l)) << joined(peer.history()) << kest.output() << kest.status_log();
        ASSERT_EQ(l.params.size(), 2u) << l.raw;
        EXPECT_EQ(l.params[0], c.target) << l.raw;
        EXPECT_EQ(l.params[1], c.text) << l.raw;
        EXPECT_GE(wait_log_line(kest, c.echo_window, c.echo, from), 0) << log_of(kest, c.echo_window);
    }
    // Nothing more came than one line per command.
    const std::vector<IrcLine> extra = lines_from_me(peer, 500);
    EXPECT_TRUE(extra.empty()) << show_lines(extra);
}

TEST_F(MessagingE2e, RefusedCommandsSendNothingAndShowTheirError)
{
    ASSERT_NO_FATAL_FAILURE(start({kCtl}));
    // /say and /me speak in the window they run for, and an event's commands
    // run for the status window: there they are refused.
    struct Case {
        const char* name;
        const char* command;
        const char* error;  // the status window's line, a regular expression
    };
    const Case cases[] = {
        {"/say", "say hello", "\\* Kanalda Değilsiniz.*"},
        {"/me", "me waves", "\\* /me: Bu Pencerede /me Kullanamazsınız.*"},
        {"/msg without text", "msg peer", "\\* /msg: Yetersiz veya eksik parametre.*"},
        {"/msg to @ and a nick", "msg @peer hi", "\\* /msg: Geçersiz pencere.*"},
        {"/amsg without text", "amsg", "\\* /amsg: Yetersiz veya eksik parametre.*"},
        {"/qmsg without a query", "qmsg hi", "\\* /qmsg: Özel Penceresi Açık değil"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t from = log_size(kest, kStatus);
        run(c.command);
        EXPECT_GE(wait_log_line(kest, kStatus, c.error, from), 0) << kest.status_log();
    }
    // None of them sent anything: the first line after them is the marker.
    run("msg peer marker");
    IrcLine l;
    ASSERT_TRUE(next_from_me(peer, "\\S+", l)) << joined(peer.history());
    EXPECT_EQ(l.raw.substr(l.raw.find(' ') + 1), "PRIVMSG peer :marker");
}

// ---- To every channel, every query, every operator ----

TEST_F(MessagingE2e, AmsgAndAmeReachEveryJoinedChannelAndQmsgEveryQuery)
{
    ASSERT_NO_FATAL_FAILURE(start({kCtl, "#two"}));
    // A query with the peer, for /qmsg and /qme.
    run("query peer opening");
    IrcLine opened;
    ASSERT_TRUE(next_from_me(peer, "PRIVMSG", opened)) << joined(peer.history());
    struct Case {
        const char* name;
        const char* command;
        std::vector<std::string> targets;  // where the peer reads it, in any order
        const char* text;
        const char* echo;  // in each of those windows, a regular expression
    };
    const Case cases[] = {
        {"/amsg", "amsg hello everyone", {kCtl, "#two"}, "hello everyone", "<@kestbot> hello everyone"},
        {"/ame", "ame waves to all", {kCtl, "#two"}, "\x01" "ACTION waves to all\x01", "\\* @kestbot waves to all"},
        {"/qmsg", "qmsg to my queries", {"peer"}, "to my queries", "<kestbot> to my queries"},
        {"/qme", "qme nods at queries", {"peer"}, "\x01" "ACTION nods at queries\x01", "\\* kestbot nods at queries"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::size_t> from;
        for (const std::string& t : c.targets)
            from.push_back(log_size(kest, t));
        run(c.command);
        std::vector<std::string> reached;
        for (std::size_t i = 0; i < c.targets.size(); ++i) {
            IrcLine l;
            ASSERT_TRUE(next_from_me(peer, "PRIVMSG", l)) << joined(peer.history()) << kest.status_log();
            ASSERT_EQ(l.params.size(), 2u) << l.raw;
            EXPECT_EQ(l.params[1], c.text) << l.raw;
            reached.push_back(l.params[0]);
        }
        std::sort(reached.begin(), reached.end());
        std::vector<std::string> expected = c.targets;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(reached, expected);
        for (std::size_t i = 0; i < c.targets.size(); ++i)
            EXPECT_GE(wait_log_line(kest, c.targets[i], c.echo, from[i]), 0) << log_of(kest, c.targets[i]);
    }
    const std::vector<IrcLine> extra = lines_from_me(peer, 500);
    EXPECT_TRUE(extra.empty()) << show_lines(extra);
}

TEST_F(MessagingE2e, OmsgAndOnoticeReachTheOtherOperatorsOnly)
{
    // #ops: the peer made it and is its operator; the program and a second
    // operator join it, and a plain member that must not hear the operators.
    ASSERT_TRUE(peer.join("#ops")) << joined(peer.history());
    ASSERT_NO_FATAL_FAILURE(start({kCtl}));
    run("join #ops");
    ASSERT_TRUE(peer.wait_for(std::string("^:") + kMe + "!\\S+ JOIN :?#ops$")) << joined(peer.history());
    Peer op2, plain;
    ASSERT_TRUE(op2.login(server.port(), "op2"));
    ASSERT_TRUE(op2.join("#ops"));
    ASSERT_TRUE(plain.login(server.port(), "plain"));
    ASSERT_TRUE(plain.join("#ops"));

    // Not an operator yet: refused, nothing sent.
    std::size_t from = log_size(kest, kStatus);
    run("omsg #ops too early");
    EXPECT_GE(wait_log_line(kest, kStatus, "\\* /omsg: #ops Kanalında Op Olmalısınız.*", from), 0)
        << kest.status_log();

    peer.send_line("MODE #ops +oo kestbot op2");
    ASSERT_GE(wait_log_line(kest, "#ops", "\\* peer mod değiştirdi: ?\\+oo kestbot op2"), 0)
        << window_log(kest, "#ops");
    struct Case {
        const char* name;
        const char* command;
        const char* sent;
        const char* text;
    };
    const Case cases[] = {
        {"/omsg", "omsg #ops ops only", "PRIVMSG", "ops only"},
        {"/onotice", "onotice #ops ops notice", "NOTICE", "ops notice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        from = log_size(kest, kStatus);
        run(c.command);
        for (Peer* op : {&peer, &op2}) {
            IrcLine l;
            ASSERT_TRUE(next_from_me(*op, c.sent, l)) << op->nick << "\n" << joined(op->history());
            ASSERT_EQ(l.params.size(), 2u) << l.raw;
            EXPECT_EQ(l.params[0], op->nick) << l.raw;
            EXPECT_EQ(l.params[1], c.text) << l.raw;
        }
        EXPECT_GE(wait_log_line(kest, kStatus, "-> Ops #ops: " + std::string(c.text), from), 0) << kest.status_log();
    }
    // The plain member heard none of it; the program's next words to it are
    // the first it reads.
    run("msg plain marker");
    IrcLine l;
    ASSERT_TRUE(next_from_me(plain, "\\S+", l)) << joined(plain.history());
    EXPECT_EQ(l.raw.substr(l.raw.find(' ') + 1), "PRIVMSG plain :marker");

    // In the control channel the program is the only operator.
    from = log_size(kest, kStatus);
    run("omsg #ctl nobody");
    EXPECT_GE(wait_log_line(kest, kStatus, "\\* /omsg: #ctl Kanalında Başka Op Olamaz", from), 0)
        << kest.status_log();
}

// ---- Events of messages, notices and actions ----

// Handlers that answer with what the event told them.
const char* const kAnswerScript =
    "on *:NOTICE:*:?:notice $nick notice from $nick to $target - $1-\n"
    "on *:NOTICE:*:#:notice $nick channel notice from $nick in $chan - $1-\n"
    "on *:ACTION:*:#:msg $chan action by $nick in $chan to $target - $1-\n"
    "on *:ACTION:*:?:msg $nick private action by $nick - $1-\n"
    "on *:TEXT:*:?:msg $nick text from $nick to $target - $1-\n";

// Handlers that keep the default output from being shown.
const char* const kHaltScript =
    "on ^*:NOTICE:hush*:?:haltdef\n"
    "on ^*:TEXT:quiet*:?:halt\n"
    "on ^*:ACTION:hides*:#:haltdef\n";

TEST_F(MessagingE2e, EventsAnswerWithTheirIdentifiers)
{
    ASSERT_NO_FATAL_FAILURE(start({kCtl}, kAnswerScript));
    struct Case {
        const char* name;
        const char* said;    // what the peer sends
        const char* answer;  // the program's answer as the peer reads it, after the prefix
    };
    const Case cases[] = {
        {"private notice", "NOTICE kestbot :are you there", "NOTICE peer :notice from peer to kestbot - are you there"},
        {"channel notice", "NOTICE #ctl :to the channel", "NOTICE peer :channel notice from peer in #ctl - to the channel"},
        {"channel action", "PRIVMSG #ctl :\x01" "ACTION dances\x01",
         "PRIVMSG #ctl :action by peer in #ctl to #ctl - dances"},
        {"private text", "PRIVMSG kestbot :hello you", "PRIVMSG peer :text from peer to kestbot - hello you"},
        {"private action", "PRIVMSG kestbot :\x01" "ACTION pokes you\x01",
         "PRIVMSG peer :private action by peer - pokes you"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        peer.send_line(c.said);
        IrcLine l;
        ASSERT_TRUE(next_from_me(peer, "\\S+", l)) << joined(peer.history()) << kest.output();
        EXPECT_EQ(l.raw.substr(l.raw.find(' ') + 1), c.answer);
    }
}

TEST_F(MessagingE2e, AHaltingHandlerKeepsTheLineOutOfTheWindowAndItsLog)
{
    ASSERT_NO_FATAL_FAILURE(start({kCtl}, kHaltScript));
    struct Case {
        const char* name;
        const char* halted;   // sent by the peer and not shown
        const char* shown;    // sent after it and shown
        const char* window;   // where the shown one appears
        const char* pattern;  // the shown line, a regular expression
        const char* absent;   // what must not appear in any log
    };
    const Case cases[] = {
        {"/haltdef on a private notice", "NOTICE kestbot :hush now", "NOTICE kestbot :after the hush", kCtl,
         "-peer- after the hush", "hush now"},
        {"/halt on private text", "PRIVMSG kestbot :quiet please", "PRIVMSG kestbot :after the quiet", "peer",
         "<peer> after the quiet", "quiet please"},
        {"/haltdef on a channel action", "PRIVMSG #ctl :\x01" "ACTION hides away\x01",
         "PRIVMSG #ctl :\x01" "ACTION comes back\x01", kCtl, "\\* peer comes back", "hides away"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        peer.send_line(c.halted);
        peer.send_line(c.shown);
        EXPECT_GE(wait_log_line(kest, c.window, c.pattern), 0) << log_of(kest, c.window) << kest.status_log();
        for (const char* w : {kStatus, kCtl, "peer"})
            EXPECT_EQ(log_of(kest, w).find(c.absent), std::string::npos) << w << "\n" << log_of(kest, w);
    }
}

// ---- Text longer than one protocol line ----

// The text of a "long" request said in the control channel, ten times over.
const char* const kLongScript =
    "on *:TEXT:long *:#:$2 $3 $4- $4- $4- $4- $4- $4- $4- $4- $4- $4-\n";

TEST_F(MessagingE2e, LongTextReachesThePeerAsWholeLines)
{
    ASSERT_NO_FATAL_FAILURE(start({kCtl}, kLongScript));
    // Ninety-odd characters of numbered words, ten times: about a thousand
    // characters, twice what one line may hold.
    std::string words;
    for (int i = 0; i < 16; ++i)
        words += (i ? " " : "") + std::string("word") + std::to_string(100 + i);
    std::string full;
    for (int i = 0; i < 10; ++i)
        full += (i ? " " : "") + words;
    struct Case {
        const char* name;
        const char* command;  // command word and target
        const char* sent;
        const char* target;
        bool action;
        const char* echo_window;
        const char* echo;  // each piece's echo, a regular expression
    };
    const Case cases[] = {
        {"/msg to a nick", "msg peer", "PRIVMSG", "peer", false, kStatus, "-> \\*peer\\* word1.*"},
        {"/msg to a channel", "msg #ctl", "PRIVMSG", kCtl, false, kCtl, "<@kestbot> word1.*"},
        {"/notice", "notice peer", "NOTICE", "peer", false, kStatus, "-> -peer- word1.*"},
        {"/describe", "describe peer", "PRIVMSG", "peer", true, kStatus, "-> \\*peer\\* word1.*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t from = log_size(kest, c.echo_window);
        peer.send_line(std::string("PRIVMSG ") + kCtl + " :long " + c.command + " " + words);
        std::string got;
        int pieces = 0;
        IrcLine l;
        while (got.size() < full.size() && next_from_me(peer, c.sent, l)) {
            ++pieces;
            // A whole line: at most 510 characters before its line end, with
            // its target and a text that is not empty.
            EXPECT_LE(l.raw.size(), 510u) << l.raw;
            ASSERT_EQ(l.params.size(), 2u) << l.raw;
            EXPECT_EQ(l.params[0], c.target) << l.raw;
            std::string text = l.params[1];
            if (c.action) {
                ASSERT_GT(text.size(), 9u) << l.raw;
                EXPECT_EQ(text.substr(0, 8), "\x01" "ACTION ") << l.raw;
                EXPECT_EQ(text.back(), '\x01') << l.raw;
                text = text.substr(8, text.size() - 9);
            }
            EXPECT_FALSE(text.empty()) << l.raw;
            got += (got.empty() ? "" : " ") + text;
        }
        EXPECT_GE(pieces, 2);
        EXPECT_EQ(got, full) << joined(peer.history()) << kest.output();
        // Each line sent was shown once.
        std::size_t next = from;
        int shown = 0;
        for (; shown < pieces; ++shown) {
            const int at = wait_log_line(kest, c.echo_window, c.echo, next);
            if (at < 0)
                break;
            next = static_cast<std::size_t>(at) + 1;
        }
        EXPECT_EQ(shown, pieces) << log_of(kest, c.echo_window);
        EXPECT_LT(log_index(log_of(kest, c.echo_window), c.echo, next), 0) << log_of(kest, c.echo_window);
    }
    // The program is still on the server and the channel.
    run("msg #ctl still here");
    IrcLine l;
    ASSERT_TRUE(next_from_me(peer, "PRIVMSG", l)) << joined(peer.history()) << kest.status_log();
    EXPECT_EQ(l.raw.substr(l.raw.find(' ') + 1), "PRIVMSG #ctl :still here");
}

// ---- Several targets in one message ----

TEST_F(MessagingE2e, AMsgToSeveralTargetsIsOneLineThatReachesEachOfThem)
{
    // The server announces no target limit (its 005 has no TARGMAX or
    // MAXTARGETS): /msg sends its target list as written, in one line.
    ASSERT_NO_FATAL_FAILURE(start({kCtl}));
    const std::string supported = [&] {
        std::string all;
        for (const std::string& l : peer.history())
            if (parse_irc_line(l).command == "005")
                all += l + "\n";
        return all;
    }();
    ASSERT_FALSE(supported.empty());
    EXPECT_EQ(supported.find("TARGMAX"), std::string::npos) << supported;
    EXPECT_EQ(supported.find("MAXTARGETS"), std::string::npos) << supported;

    Peer other;
    ASSERT_TRUE(other.login(server.port(), "other"));
    run("msg peer,other,#ctl one for all");
    // The peer reads it twice, as itself and in the channel; the other once.
    std::vector<std::string> peer_targets;
    for (int i = 0; i < 2; ++i) {
        IrcLine l;
        ASSERT_TRUE(next_from_me(peer, "PRIVMSG", l)) << joined(peer.history()) << kest.status_log();
        ASSERT_EQ(l.params.size(), 2u) << l.raw;
        EXPECT_EQ(l.params[1], "one for all");
        peer_targets.push_back(l.params[0]);
    }
    std::sort(peer_targets.begin(), peer_targets.end());
    EXPECT_EQ(peer_targets, (std::vector<std::string>{kCtl, "peer"}));
    IrcLine l;
    ASSERT_TRUE(next_from_me(other, "PRIVMSG", l)) << joined(other.history());
    EXPECT_EQ(l.raw.substr(l.raw.find(' ') + 1), "PRIVMSG other :one for all");
    // No window has the list's name: the echo is in the current window.
    EXPECT_GE(wait_log_line(kest, kStatus, "-> \\*peer,other,#ctl\\* one for all"), 0) << kest.status_log();
}

// ---- Against a scripted server: target limits and the "@#channel" form ----

namespace {

// The program on a server played by hand: its 004 and 005 replies say what
// the test needs, and every line the program sends is read as it is.
struct MessagingScripted : ::testing::Test {
    // Starts the program, welcomes it with the version and tokens, and
    // confirms its joins of #a, #b and #c with these members beside it.
    void start(KestProgram& kest, const std::string& version, const std::string& tokens, const std::string& members)
    {
        ASSERT_TRUE(fake.ok());
        kest.use_server(fake.port());
        kest.add_script("run.kst", kRunScript);
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", "#a,#b,#c"}));
        ASSERT_TRUE(fake.accept_link(link)) << kest.output();
        // Registration: NICK and USER in any order.
        bool nick = false, user = false;
        std::string line;
        while ((!nick || !user) && link.read_line(line, kWaitMs)) {
            const IrcLine l = parse_irc_line(line);
            nick = nick || l.command == "NICK";
            user = user || l.command == "USER";
        }
        ASSERT_TRUE(nick && user) << joined(link.history());
        const std::string s = ":fake.e2e.test ";
        for (const std::string& l : {
                 s + "001 kestbot :Welcome kestbot!kb@fake.host",
                 s + "002 kestbot :Your host is fake.e2e.test",
                 s + "003 kestbot :This server was created today",
                 s + "004 kestbot fake.e2e.test " + version + " iow ntklmo",
                 s + "005 kestbot PREFIX=(ov)@+ CHANTYPES=# NETWORK=FakeNet " + tokens + " :are supported",
                 s + "376 kestbot :End of MOTD command",
             })
            ASSERT_TRUE(link.send_line(l));
        IrcLine join;
        ASSERT_TRUE(link.wait_for("^JOIN ", kWaitMs, &join)) << joined(link.history()) << kest.output();
        for (const char* c : {"#a", "#b", "#c"}) {
            link.send_line(std::string(":kestbot!kb@fake.host JOIN :") + c);
            link.send_line(std::string(":fake.e2e.test 353 kestbot = ") + c + " :@kestbot " + members);
            link.send_line(std::string(":fake.e2e.test 366 kestbot ") + c + " :End of NAMES list");
        }
        // A "run" line is answered once the joins are taken: the first
        // command proves it.
        say("msg #a ready");
        IrcLine ready;
        ASSERT_TRUE(link.wait_for("^PRIVMSG #a :ready$", kWaitMs, &ready)) << joined(link.history()) << kest.output();
    }

    // A member of #a asks the program to run a command.
    void say(const std::string& command) { link.send_line(":peer!p@peer.host PRIVMSG #a :run " + command); }

    // The PRIVMSG and NOTICE lines the program sends: the first whenever it
    // comes, the others until `ms` of quiet.
    std::vector<std::string> messages(int ms = 1000)
    {
        std::vector<std::string> out;
        IrcLine l;
        for (int wait = kWaitMs; link.wait_for("^(PRIVMSG|NOTICE) ", wait, &l); wait = ms)
            out.push_back(l.raw);
        return out;
    }

    ScriptedServer fake;
    LineSocket link;
};

} // namespace

TEST_F(MessagingScripted, TargetLimitsBatchTheChannelAndOperatorMessages)
{
    KestProgram kest;
    ASSERT_NO_FATAL_FAILURE(start(kest, "fake-1.0", "TARGMAX=PRIVMSG:2,NOTICE:1", "@peer @op2 @op3 plain +voiced"));
    struct Case {
        const char* name;
        const char* command;
        std::vector<std::string> lines;  // in any order
    };
    const Case cases[] = {
        {"/amsg: two channels a line", "amsg hi all", {"PRIVMSG #a,#b :hi all", "PRIVMSG #c :hi all"}},
        {"/ame: the same with the action", "ame waves",
         {"PRIVMSG #a,#b :\x01" "ACTION waves\x01", "PRIVMSG #c :\x01" "ACTION waves\x01"}},
        {"/omsg: the other operators, two a line", "omsg #a ops here",
         {"PRIVMSG op2,op3 :ops here", "PRIVMSG peer :ops here"}},
        {"/onotice: one a line by the NOTICE limit", "onotice #a note",
         {"NOTICE op2 :note", "NOTICE op3 :note", "NOTICE peer :note"}},
        {"/msg keeps its target list as written", "msg x,y,z,w as is", {"PRIVMSG x,y,z,w :as is"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        say(c.command);
        std::vector<std::string> got = messages();
        std::vector<std::string> want = c.lines;
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << joined(link.history());
    }
}

TEST_F(MessagingScripted, OperatorMessagesUseTheAtFormWhereTheServerTakesIt)
{
    struct Case {
        const char* name;
        const char* version;
        const char* tokens;
        const char* omsg;     // the lines of "/omsg #a hi ops"
        const char* onotice;  // the lines of "/onotice #a note"
    };
    const Case cases[] = {
        {"a server flagged for it", "bahamut-1.8.9", "", "PRIVMSG @#a :hi ops", "NOTICE @#a :note"},
        {"WALLCHOPS serves /onotice only", "fake-1.0", "WALLCHOPS", "PRIVMSG peer :hi ops", "NOTICE @#a :note"},
        {"neither", "fake-1.0", "", "PRIVMSG peer :hi ops", "NOTICE peer :note"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KestProgram kest;
        ASSERT_NO_FATAL_FAILURE(start(kest, c.version, c.tokens, "@peer plain"));
        say("omsg #a hi ops");
        EXPECT_EQ(messages(), std::vector<std::string>{c.omsg}) << joined(link.history());
        say("onotice #a note");
        EXPECT_EQ(messages(), std::vector<std::string>{c.onotice}) << joined(link.history());
        kest.stop(3000);
        link.close();
    }
}
