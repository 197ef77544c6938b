// Whole-program test of the notify list: the real program, with "peer" in
// the notify list of its settings, on a private IRC server. The server
// offers no WATCH, so the list is asked for with ISON when the program logs
// on; a peer that is already on IRC then is announced from that answer, one
// that comes later from its first line the program sees (its JOIN of the
// program's channel). Its QUIT in that channel is the leaving. What the
// program shows is read from its status window's log, where a script also
// writes when NOTIFY and UNOTIFY fire.
//
// The poll interval is the list's size in seconds but never under 60, and
// no setting shortens it: waiting for a timed poll would cost a minute, so
// the timed polls are left to the unit tests.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "e2e/harness.h"
#include "e2e/program_probe.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kChannel = "#notify";

// Waits at most `ms` for the status log to hold a line matching the
// pattern at or after line `from`; its index, or -1.
int wait_status_line(const KestProgram& kest, const std::string& pattern, int from = 0, int ms = kWaitMs)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int i = log_index(kest.status_log(), pattern, static_cast<std::size_t>(from < 0 ? 0 : from));
        if (i >= 0 || Clock::now() >= end) return i;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

struct NotifyE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
    }
    void TearDown() override { server.stop(); }
    IrcServer server;
};

const char* const kEventScript =
    "on *:NOTIFY:echo -s notify-event $nick\n"
    "on *:UNOTIFY:echo -s unotify-event $nick\n";

} // namespace

TEST_F(NotifyE2e, APeerOnTheListIsAnnouncedWhenItComesAndWhenItLeaves)
{
    struct Case {
        const char* name;
        bool peer_first;  // on IRC (and in the channel) before the program logs on
        const char* me;   // a nick of its own: the server may not have let the last one go yet
    };
    const Case cases[] = {
        {"the peer is on IRC when the program logs on", true, "kestbot"},
        {"the peer logs on after the program", false, "kestbot2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Peer peer;
        if (c.peer_first) {
            ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
            ASSERT_TRUE(peer.join(kChannel)) << joined(peer.history());
        }
        KestProgram kest;
        kest.use_server(server.port());
        kest.set("options", "n0", option_line({{0, 1}, {5, 1}}));   // connect at start, notify on
        kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));  // logs written at once, plain
        kest.set("notify", "n0", "peer");
        kest.log_status();
        kest.add_script("notify.kst", kEventScript);
        ASSERT_TRUE(kest.start({"-n", c.me, "-j", kChannel}));

        int on_line = -1;
        if (c.peer_first) {
            ASSERT_TRUE(peer.wait_for(std::string("^:") + c.me + "!\\S+ JOIN :?" + kChannel + "$"))
                << "the program never joined\n" << kest.output() << kest.status_log();
            on_line = wait_status_line(kest, "\\* peer( \\[\\S+@\\S+\\])? IRC'de");
            EXPECT_LT(log_index(kest.status_log(), "\\* Şu An IRC`de Notify Listenizden Kimse Yok"), 0)
                << kest.status_log();
        } else {
            const int nobody = wait_status_line(kest, "\\* Şu An IRC`de Notify Listenizden Kimse Yok");
            ASSERT_GE(nobody, 0) << "no first answer\n" << kest.output() << kest.status_log();
            ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
            ASSERT_TRUE(peer.join(kChannel)) << joined(peer.history());
            on_line = wait_status_line(kest, "\\* peer( \\[\\S+@\\S+\\])? IRC'de", nobody);
        }
        ASSERT_GE(on_line, 0) << "the peer was not announced\n" << kest.output() << kest.status_log();
        EXPECT_GE(wait_status_line(kest, "notify-event peer"), 0) << kest.status_log();

        // Both are in the channel; the peer's QUIT reaches the program.
        peer.send_line("QUIT :bye");
        EXPECT_TRUE(peer.wait_closed());
        const int left = wait_status_line(kest, "\\* peer IRC'den Çıktı", on_line);
        EXPECT_GT(left, on_line) << kest.status_log();
        EXPECT_GE(wait_status_line(kest, "unotify-event peer", on_line), 0) << kest.status_log();
        // Each change is announced once.
        const std::string log = kest.status_log();
        EXPECT_LT(log_index(log, "\\* peer( \\[\\S+@\\S+\\])? IRC'de", static_cast<std::size_t>(on_line) + 1), 0)
            << log;
        EXPECT_TRUE(kest.process().running()) << kest.output();
        kest.stop(3000);
        peer.close();
    }
}

// The Notify List window opens by itself on logon when asked to, and follows
// a peer that comes on IRC and leaves again; the lines are read back through
// $line from the running program.
TEST_F(NotifyE2e, TheNotifyListWindowFollowsAPeerThatComesAndGoes)
{
    KestProgram kest;
    kest.use_server(server.port());
    kest.set("options", "n0", option_line({{0, 1}, {5, 1}}));    // connect at start, notify on
    kest.set("options", "n4", option_line({{17, 1}}));           // open the Notify List on connect
    kest.set("options", "n5", option_line({{15, 1}, {25, 1}}));  // logs written at once, plain
    kest.set("notify", "n0", "peer");
    kest.set("notify", "n1", "ghostNOTE:never here");
    kest.log_status();
    ASSERT_TRUE(kest.start({"-n", "kestwin", "-j", kChannel}));
    ASSERT_GE(wait_status_line(kest, "\\* Şu An IRC`de Notify Listenizden Kimse Yok"), 0)
        << kest.output() << kest.status_log();

    // The window's name holds a blank: the lines are read through a variable.
    ASSERT_TRUE(probe_command(kest, "/set %nl Notify List"));
    const std::string lines = "$line(%nl,0) / $line(%nl,2) / $line(%nl,3) / $line(%nl,4) / $window(%nl).title";
    std::string seen;
    EXPECT_TRUE(probe_until(kest, lines, "4 / Online Değil / ghost \\(never here\\) / peer / .*\\(0/2\\)", seen))
        << seen << "\n" << kest.output();

    Peer peer;
    ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    ASSERT_TRUE(peer.join(kChannel)) << joined(peer.history());
    EXPECT_TRUE(probe_until(kest, lines,
                            "4 / peer \\S+@127\\.0\\.0\\.1 / Online Değil / ghost \\(never here\\) / .*\\(1/2\\)", seen))
        << seen << "\n" << kest.status_log();

    peer.send_line("QUIT :bye");
    EXPECT_TRUE(peer.wait_closed());
    EXPECT_TRUE(probe_until(kest, lines, "4 / Online Değil / ghost \\(never here\\) / peer / .*\\(0/2\\)", seen))
        << seen << "\n" << kest.status_log();
    EXPECT_TRUE(kest.process().running()) << kest.output();
    kest.stop(3000);
}
