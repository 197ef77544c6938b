// The logon sequence after the welcome: user mode, extensions, perform
// entries by network, and auto-join in its order and line sizes.
#include "model/connection.h"
#include "model/window_record.h"
#include "core/options.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/logon.h"
#include "irc/numerics/numerics.h"
#include "support/hook_guard.h"
#include "app/frame_proc.h"
#include "commands/channel_commands.h"
#include "commands/messaging_commands.h"
#include "commands/output_commands.h"
#include "printed_lines.h"
#include "script/exec/script_types.h"
#include "support/test_wire.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <cstdlib>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_out;  // sent lines and lines shown in the status window, in order
TestWire* g_wire = nullptr;      // the link the sent lines go to

// Takes the lines written to the wire since the last call into g_out.
void take_sent()
{
    if (!g_wire) return;
    for (const std::string& line : g_wire->lines()) g_out.push_back("send " + line);
    g_wire->clear();
}
// Sent lines and lines shown in the status window so far, in order.
const std::vector<std::string>& out()
{
    take_sent();
    return g_out;
}

class Logon : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        // The perform and join lines run through the real commands.
        script_engine_init();
        output_commands_register();
        channel_commands_register();
        messaging_commands_register();
        irc_dispatch_install();
        saved_events = event_switch_events;
        event_switch_events = 0;
        opt_set(OPT_INVISIBLE_MODE, 1);
        opt_set(OPT_PERFORM_ENABLED, 1);
        opt_set(OPT_REJOIN_ON_CONNECT, 1);
        g_out.clear();
        perform_list.clear();
        conn = conn_new(nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        g_wire = &wire;
        conn->server_name = "irc.x";
        conn->live_identity[2] = "me";
        conn->connected = 1;
        irc_state_new_link(conn);
        if (!QCoreApplication::instance()) {
            if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
            static int argc = 1;
            static char name[] = "kest_irc_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        frame_proc_install();  // the frame's messages reach their handlers
        status_ = buffer_window_open(conn, "Status", kWinStatus);
        line_printed.add_once(shown_listener_, 0, [this](const LinePrinted& l) {
            if (l.event == kPrintStored && l.first_part && !l.separator && l.rec == status_) {
                take_sent();  // what was sent before it, first
                g_out.push_back("show " + std::string(l.text));
            }
        });
    }
    void TearDown() override
    {
        for (WindowRecord* rec : waiting_)
            if (win_is_record(rec)) win_record_free(rec);
        waiting_.clear();
        for (const QPointer<QWidget>& w : widgets_) delete w.data();
        widgets_.clear();
        line_printed.drop(shown_listener_);
        buffer_window_free(status_);
        conn->connected = 0;
        conn->socket = -1;
        conn_free(conn);
        g_wire = nullptr;
        perform_list.clear();
        event_switch_events = saved_events;
        opt_set(OPT_INVISIBLE_MODE, opt_default(OPT_INVISIBLE_MODE));
        opt_set(OPT_PERFORM_ENABLED, opt_default(OPT_PERFORM_ENABLED));
        opt_set(OPT_REJOIN_ON_CONNECT, opt_default(OPT_REJOIN_ON_CONNECT));
    }
    // A channel window of the connection left waiting for its rejoin by a
    // lost link, in window-list order after those made before.
    WindowRecord* waiting(const std::string& name, const std::string& network_tag = "", const std::string& key = "")
    {
        WindowRecord* rec = win_record_new(1);
        rec->name = name;
        rec->type = kWinChannel;
        rec->conn = conn;
        rec->network_tag = network_tag;
        rec->chan_key = key;
        rec->chan_state = 2;
        rec->chan_left = 1;
        QWidget* w = new QWidget();
        widgets_.push_back(w);
        rec->hwnd = w;
        waiting_.push_back(rec);
        return rec;
    }
    // The logon sequence the end of the MOTD posted, run.
    static void deliver() { QCoreApplication::sendPostedEvents(); }
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status_ = nullptr;
    int shown_listener_ = 0;
    int saved_events = 1;
    std::vector<WindowRecord*> waiting_;
    std::vector<QPointer<QWidget>> widgets_;
};

TEST_F(Logon, WelcomeToAutoJoinInOrder)
{
    perform_list = {"  TestNet ,/msg a hi", "All Networks,/msg b all", "Other Networks,/echo other",
                    "Elsewhere,/echo no", "nokey", ",/echo empty"};
    conn_queue_autojoin("#one", 0, conn);
    waiting("#two");
    waiting("#keyed", "TestNet", "k");
    waiting("#far", "OtherNet");
    irc_dispatch_line(":irc.x 001 me :Welcome", conn);
    irc_dispatch_line(":irc.x 005 me NAMESX UHNAMES NETWORK=TestNet :are supported", conn);
    irc_dispatch_line(":irc.x 376 me :End of /MOTD command.", conn);
    deliver();
    std::vector<std::string> want = {
        "send USERHOST me\n",  // the welcome named no address: ask for ours
        "show Welcome",
        "show NAMESX UHNAMES NETWORK=TestNet are supported",
        "show End of /MOTD command.",
        // The sequence runs once the end of the MOTD was handled.
        "send MODE me +i\n",
        "send PROTOCTL NAMESX\n",
        "send PROTOCTL UHNAMES\n",
        "show -> *a* hi",
        "send PRIVMSG a :hi\n",
        "show -> *b* all",
        "send PRIVMSG b :all\n",
        "send JOIN #one\n",
        "send JOIN #two\n",
        "send JOIN #keyed k\n",
    };
    EXPECT_EQ(out(), want);
}

TEST_F(Logon, OtherNetworksRunsOnlyWithoutOwnEntry)
{
    struct Case {
        const char* network;
        const char* server;
        bool runs;
    } cases[] = {{"TestNet", "a.b", false}, {"Plain", "a.b", true}, {"Plain", "IRC.X", false}, {"", "", true}};
    perform_list = {"Other Networks,  /echo other ", "TestNet,/echo t", "irc.x,/echo s"};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.network) + "/" + c.server);
        conn->network = c.network;
        conn->server_name = c.server;
        std::string entry = perform_list[0];
        EXPECT_EQ(perform_entry_for_network(entry, conn), c.runs ? 1 : 0);
        if (c.runs) {
            EXPECT_EQ(entry, "/echo other");
        }
    }
}

TEST_F(Logon, FixedKeysAreTranslatedOnlyForDisplay)
{
    const std::string shown = perform_key_display("All Networks");
    EXPECT_EQ(shown, "Bütün Serverlerde");
    EXPECT_EQ(perform_key_internal(shown), "All Networks");
    EXPECT_EQ(perform_key_internal("Başka Serverlerde"), "Other Networks");
    std::string entry = perform_key_internal(shown) + ",/echo x";
    EXPECT_EQ(perform_entry_for_network(entry, conn), 1);
}

TEST_F(Logon, RejoinLinesStayUnderFourHundredAndKeysFlush)
{
    for (int i = 0; i < 50; ++i) {
        if (i == 10) waiting("#locked", "", "key");
        waiting("#channel-number-" + std::to_string(i));
    }
    conn_auto_join(conn);
    int channels = 0;
    bool keyed_alone = false;
    for (const std::string& line : out()) {
        EXPECT_LE(line.size(), 5 + 400u);
        if (line == "send JOIN #locked key\n") keyed_alone = true;
        else channels += static_cast<int>(std::count(line.begin(), line.end(), '#'));
    }
    EXPECT_TRUE(keyed_alone);
    EXPECT_EQ(channels, 50);
    EXPECT_GT(out().size(), 3u);
}

TEST_F(Logon, DelayedAutoJoinWaitsForTheTick)
{
    conn_queue_autojoin("#late", 0, conn);
    irc_state(conn)->autojoin_delay = 5;
    opt_set(OPT_INVISIBLE_MODE, 0);
    conn_logon_sequence(conn);
    EXPECT_TRUE(out().empty());
    for (int i = 0; i < 4; ++i) conn_autojoin_tick(conn);
    EXPECT_TRUE(out().empty());
    conn_autojoin_tick(conn);
    EXPECT_EQ(out(), (std::vector<std::string>{"send JOIN #late\n"}));
}

}  // namespace
