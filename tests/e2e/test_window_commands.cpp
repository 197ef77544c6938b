// Whole-program tests of the window commands: scripts loaded through the
// settings fill a custom window with a thousand lines, edit them with the
// line commands and report them with $line to a peer on a private server;
// /debug copies the raw traffic through a filter identifier into a file;
// /log switches a channel's log file; /background keeps its pictures in
// the settings.
#include <gtest/gtest.h>

#include <QImage>

#include <chrono>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kestwin";
const char* const kCtl = "#ctl";

// "fill" makes the window and its thousand lines (and as many side-list
// items); "edit" changes them with each line command; both answer with what
// $line reads. "run" runs any command. The debug filter keeps the message
// lines only.
const char* const kScript =
    "on *:TEXT:fill:#:{\n"
    "  window -el30 @big\n"
    "  var %i = 1\n"
    "  while (%i <= 1000) { aline @big line %i | aline -l @big item %i | inc %i }\n"
    "  msg # filled $line(@big,0) $line(@big,0,1) $line(@big,1) $line(@big,1000) $line(@big,7,1)\n"
    "}\n"
    "on *:TEXT:edit:#:{\n"
    "  iline @big 1 top\n"
    "  rline @big 2 replaced\n"
    "  dline @big 500-599\n"
    "  cline 4 @big 3\n"
    "  dline -l @big 2-\n"
    "  msg # edited $line(@big,0) $line(@big,1) $line(@big,2) $line(@big,3).color $line(@big,500) $line(@big,$line(@big,0)) $line(@big,0,1)\n"
    "}\n"
    "on *:TEXT:copied:#:msg # copied $line(@copy,0) $line(@copy,1) $line(@copy,3)\n"
    "alias dbgkeep { if (PRIVMSG isin $1-) return $1- }\n"
    "on *:TEXT:run *:#:$2-\n";

bool wait_until(const std::function<bool()>& done, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// Asks the server about a nick until it is on the channel.
bool wait_in_channel(Peer& peer, const std::string& nick, const std::string& channel, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        peer.send_line("WHOIS " + nick);
        IrcLine l;
        while (peer.wait_for("^:\\S+ (319|318|401) " + peer.nick + " ", 3000, &l) && l.command == "319")
            if (!l.params.empty() && l.params.back().find(channel) != std::string::npos)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

struct WindowCommandsE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
        ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
        kest.use_server(server.port());
        kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));
        kest.add_script("win.kst", kScript);
        ASSERT_TRUE(kest.start({"-n", kMe, "-j", kCtl}));
        ASSERT_TRUE(wait_in_channel(peer, kMe, kCtl)) << "the program never joined\n" << kest.output();
        ASSERT_TRUE(peer.join(kCtl)) << joined(peer.history());
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }

    void say(const std::string& text) { peer.send_line(std::string("PRIVMSG ") + kCtl + " :" + text); }

    // The program's next message in the channel that begins with the word.
    std::string answer(const std::string& word)
    {
        IrcLine l;
        if (!peer.wait_for(std::string("^:") + kMe + "!\\S+ PRIVMSG " + kCtl + " :" + word + "( |$)", 20000, &l))
            return "(no answer)\n" + joined(peer.history()) + kest.output();
        return l.params.back();
    }

    IrcServer server;
    Peer peer;
    KestProgram kest;
};

} // namespace

TEST_F(WindowCommandsE2e, AThousandLinesAreFilledEditedAndReadBack)
{
    say("fill");
    EXPECT_EQ(answer("filled"), "filled 1000 1000 line 1 line 1000 item 7");
    say("edit");
    // After "top" went in at 1, line 2 is the former line 1 (replaced), line
    // 3 the former line 2 (coloured); lines 500 to 599 held "line 499" to
    // "line 598", so 500 is now "line 599".
    EXPECT_EQ(answer("edited"), "edited 901 top replaced 4 line 599 line 1000 1");
    // Repeated: the same edit on the edited window moves on by its rules.
    say("edit");
    EXPECT_EQ(answer("edited"), "edited 802 top replaced 4 line 698 line 1000 1");
    // The window written out and read back into a second window.
    say("run savebuf @big saved.txt");
    say("run window @copy");
    say("run loadbuf 3 @copy saved.txt");
    say("copied");
    EXPECT_EQ(answer("copied"), "copied 3 line 998 line 1000");
    const std::vector<std::string> saved = log_lines(read_file(kest.settings() / "saved.txt"));
    ASSERT_EQ(saved.size(), 802u);
    EXPECT_EQ(saved[0], "top");
    EXPECT_EQ(saved[499], "line 698");
}

TEST_F(WindowCommandsE2e, DebugWritesTheFilteredRawLinesToAFile)
{
    say("run debug -i dbg.log dbgkeep");
    const fs::path file = kest.settings() / "dbg.log";
    say("marker-in");
    say("run msg #ctl marker-out");
    ASSERT_TRUE(wait_for_file_text(file, "marker-out")) << read_file(file) << kest.output();
    ASSERT_TRUE(wait_for_file_text(file, "marker-in"));
    say("run debug off");
    std::string text;
    ASSERT_TRUE(wait_until([&] {
        text = read_file(file);
        return text.find("debug off") != std::string::npos;
    }));
    const std::vector<std::string> lines = log_lines(text);
    bool in = false, out = false;
    for (const std::string& l : lines) {
        EXPECT_NE(l.find("PRIVMSG"), std::string::npos) << "the filter let through: " << l;
        EXPECT_EQ(l.find("PING"), std::string::npos) << l;
        in = in || (l.rfind("<- :peer!", 0) == 0 && l.find(":marker-in") != std::string::npos);
        out = out || (l.rfind("-> ", 0) == 0 && l.find("PRIVMSG #ctl :marker-out") != std::string::npos);
    }
    EXPECT_TRUE(in) << text;
    EXPECT_TRUE(out) << text;
    // Off means off: what follows is not copied.
    say("after-off");
    say("run msg #ctl sync");
    ASSERT_NE(answer("sync"), "");
    EXPECT_EQ(read_file(file).find("after-off"), std::string::npos);
}

TEST_F(WindowCommandsE2e, LogOnAndOffSwitchTheChannelLog)
{
    say("run log off #ctl");
    say("run msg #ctl off-done");
    ASSERT_NE(answer("off-done").find("off-done"), std::string::npos);
    say("unlogged words");
    say("run log on #ctl");
    say("run msg #ctl on-done");
    ASSERT_NE(answer("on-done").find("on-done"), std::string::npos);
    say("logged words");
    ASSERT_TRUE(wait_until([&] { return window_log(kest, kCtl).find("logged words") != std::string::npos; }))
        << window_log(kest, kCtl) << kest.output();
    const std::string log = window_log(kest, kCtl);
    EXPECT_EQ(log.find("unlogged words"), std::string::npos) << log;
    EXPECT_TRUE(fs::exists(kest.settings() / "logs")) << "the log file lies in the log folder";
}

TEST_F(WindowCommandsE2e, BackgroundChoicesAreKeptInTheSettings)
{
    QImage image(6, 6, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    ASSERT_TRUE(image.save(QString::fromStdString((kest.settings() / "pic.png").string()), "PNG"));
    {
        std::ofstream junk(kest.settings() / "junk.png");
        junk << "no picture";
    }
    say("run background -ef #ctl pic.png");
    say("run background -c @later pic.png");
    say("run background -sx");
    say("run background -sf junk.png");
    say("run background -l pic.png");
    say("run msg #ctl bg-done");
    ASSERT_NE(answer("bg-done").find("bg-done"), std::string::npos);
    const std::string ini = read_file(kest.settings() / "kest.ini");
    const std::size_t section = ini.find("[background]");
    ASSERT_NE(section, std::string::npos) << ini;
    const std::string rest = ini.substr(section);
    for (const char* line : {"wchannel=pic.png,1", "@later=pic.png,0", "status=none"})
        EXPECT_NE(rest.find(line), std::string::npos) << line << "\n" << rest;
    EXPECT_EQ(rest.find("#ctl="), std::string::npos) << "the channel uses the kind's choice";
    EXPECT_EQ(rest.find("junk"), std::string::npos) << "an unloadable picture is not kept";
}
