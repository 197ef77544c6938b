// JOIN, PART, KICK, QUIT, NICK and KILL through the fake link, with real
// (offscreen) channel windows.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "commands/member_commands.h"
#include "core/options.h"
#include "model/nick_list.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/server_commands.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/isupport.h"
#include "script/exec/script_types.h"
#include "support/hook_guard.h"
#include "commands/channel_commands.h"
#include "event_script.h"
#include "printed_lines.h"
#include "support/test_wire.h"

#include <memory>

namespace {

// What the print path stored: "window|text" in the channel windows, the
// text alone in the status window.
std::vector<std::string> m_status, m_window;

// A script whose before-phase handler of the event halts its default ("" no
// script), for the life of the object.
std::unique_ptr<EventScript> halting(const std::string& event)
{
    if (event.empty()) return nullptr;
    const bool channel_event = event == "JOIN" || event == "PART" || event == "KICK";
    auto script = std::make_unique<EventScript>(
        std::vector<std::string>{"on ^*:" + event + (channel_event ? ":#" : "") + ":halt"});
    EXPECT_TRUE(script->loaded());
    return script;
}

QMainWindow* frame = nullptr;

class Membership : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        if (!QCoreApplication::instance()) {
            if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
            static int argc = 1;
            static char name[] = "kest_irc_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        if (!frame) {
            frame = new QMainWindow();
            auto* area = new QMdiArea(frame);
            frame->setCentralWidget(area);
            mdi_client_create(area);
            frame->show();
        }
        options_reset();
        irc_membership_install();
        app_wire_irc_membership();
        membership_settings = MembershipSettings();
        m_status.clear(); m_window.clear();
        conn = conn_new(nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->live_identity[2] = "me";
        irc_state_new_link(conn);
        conn_set_isupport_defaults(conn);
        conn->chan_types = "#&+";
        ial_init(conn);
        status_ = buffer_window_open(conn, "Status", kWinStatus);
        line_printed.add_once(printed_listener_, 0, [this](const LinePrinted& l) {
            if (l.event != kPrintStored || !l.first_part || l.separator) return;
            if (l.rec == status_) m_status.emplace_back(l.text);
            else m_window.push_back(l.rec->name + "|" + std::string(l.text));
        });
    }
    void TearDown() override
    {
        line_printed.drop(printed_listener_);
        buffer_window_free(status_);
        for (WindowRecord* w = win_list; w;) {
            WindowRecord* next = w->next;
            if (w->conn == conn && w->hwnd.get()) win_close(w->hwnd.get());
            w = next;
        }
        ial_clear(1, conn);
        conn->socket = -1;
        conn_free(conn);
    }
    void feed(const std::string& line) { irc_dispatch_line(line, conn); }
    WindowRecord* chan(const std::string& name)
    {
        WindowRecord* w = win_find_by_name(name, conn);
        return w && w->type == kWinChannel && w->hwnd.get() ? w : nullptr;
    }
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status_ = nullptr;
    int printed_listener_ = 0;
};

TEST_F(Membership, OwnJoinOpensTheChannelWindowAndAsksForModes)
{
    struct Case {
        const char* line;
        const char* window;     // expected window name, "" none
        std::vector<std::string> sent;
    } cases[] = {
        {":me!u@h JOIN :#chan\x07o", "#chan", {"MODE #chan\n"}},
        {":me!u@h JOIN +plus", "+plus", {}},
        {":ME!u@h JOIN :#Case", "#Case", {"MODE #Case\n"}},
        {":me!u@h JOIN :notachannel", "", {"PART notachannel\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        wire.clear();
        feed(c.line);
        EXPECT_EQ(wire.lines(), c.sent);
        if (*c.window) {
            WindowRecord* w = chan(c.window);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->hwnd.get()->objectName().toStdString(), "Kest_Channel");
            EXPECT_NE(nicklist_find(w, "me"), nullptr);
            EXPECT_EQ(chan_membership(w)->joined, 1);
        }
    }
    EXPECT_EQ(conn->own_address, "u@h");
}

TEST_F(Membership, OthersJoinPartKickAndTheirLines)
{
    feed(":me!u@h JOIN #a");
    WindowRecord* w = chan("#a");
    ASSERT_NE(w, nullptr);
    struct Case {
        const char* line;
        const char* halt;
        const char* nick;       // the nick whose membership is checked
        bool member;
        std::vector<std::string> lines;  // window lines expected
        bool in_ial;
    } cases[] = {
        {":bob!b@h JOIN #a", "", "bob", true, {"#a|* Giriş: bob (b@h)"}, true},
        {":cat!c@h JOIN #a", "JOIN", "cat", true, {}, true},
        {":bob!b@h PART #a :bye now", "", "bob", false, {"#a|* Ayrıldı: bob (b@h) (bye now\x0F)"}, false},
        {":cat!c@h PART #a", "PART", "cat", false, {}, false},
        {":dan!d@h JOIN #a", "", "dan", true, {"#a|* Giriş: dan (d@h)"}, true},
        {":me!u@h KICK #a dan :out", "", "dan", false, {"#a|* dan me Tarafından Kanaldan Atıldı (out\x0F)"}, false},
        {":eve!e@h JOIN #a", "", "eve", true, {"#a|* Giriş: eve (e@h)"}, true},
        {":me!u@h KICK #a eve", "KICK", "eve", false, {}, false},
    };
    opt_set(OPT_SHOW_ADDRESSES, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        m_window.clear();
        const auto script = halting(c.halt);
        feed(c.line);
        EXPECT_EQ(nicklist_find(w, c.nick) != nullptr, c.member);
        EXPECT_EQ(m_window, c.lines);
        IalResult r;
        EXPECT_EQ(ial_lookup(c.nick, r, conn) != nullptr, c.in_ial);
    }
    // The caption counts the members.
    win_update_title(w, nullptr);
    EXPECT_EQ(w->hwnd.get()->windowTitle().toStdString().rfind("#a [1]", 0), 0u);
}

TEST_F(Membership, WhereTheLinesGo)
{
    feed(":me!u@h JOIN #a");
    WindowRecord* w = chan("#a");
    ASSERT_NE(w, nullptr);
    struct Case {
        int global;
        int window_choice;
        int channel_name;
        const char* win_line;
        const char* status_line;
    } cases[] = {
        {0, 0, 0, "#a|* Giriş: x", ""},
        {1, 0, 0, "", "* Giriş: x"},
        {1, 0, 1, "", "* Giriş #a: x"},
        {0, 0, 1, "#a|* Giriş: x", ""},
        {0, 2, 0, "", "* Giriş: x"},
        {1, 1, 0, "#a|* Giriş: x", ""},
        {0, 5, 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.global << "/" << c.window_choice << "/" << c.channel_name);
        membership_settings.joins_in = c.global;
        membership_settings.show_channel_name = c.channel_name;
        chan_membership(w)->show_joins_in = c.window_choice;
        m_window.clear();
        m_status.clear();
        feed(":x JOIN #a");
        EXPECT_EQ(m_window.empty() ? std::string() : m_window[0], c.win_line);
        EXPECT_EQ(m_status.empty() ? std::string() : m_status[0], c.status_line);
        feed(":x PART #a");
    }
}

TEST_F(Membership, NickChangeKeepsPrefixesAndRenamesTheAddress)
{
    feed(":me!u@h JOIN #a");
    feed(":me!u@h JOIN #b");
    WindowRecord* a = chan("#a");
    WindowRecord* b = chan("#b");
    ASSERT_TRUE(a && b);
    feed(":bob!b@h JOIN #a");
    feed(":bob!b@h JOIN #b");
    ial_set_note("bob", "friend", conn);
    const int op = nicklist_prefix_bit(conn, '@');
    const int voice = nicklist_prefix_bit(conn, '+');
    nicklist_update("bob", a, kNickAddOrChange, op);
    nicklist_update("bob", b, kNickAddOrChange, voice);
    const int bits_a = nicklist_update("bob", a, kNickTest, 0);
    const int bits_b = nicklist_update("bob", b, kNickTest, 0);
    m_window.clear();
    feed(":bob!b@h NICK :zed");
    EXPECT_EQ(nicklist_find(a, "bob"), nullptr);
    EXPECT_EQ(nicklist_update("zed", a, kNickTest, 0), bits_a);
    EXPECT_EQ(nicklist_update("zed", b, kNickTest, 0), bits_b);
    EXPECT_NE(bits_a, bits_b);
    IalResult r;
    ASSERT_NE(ial_lookup("zed", r, conn), nullptr);
    EXPECT_EQ(r.text, "zed!b@h");
    std::string mark;
    ial_query("zed", "", 1, ".mark", 1, mark, conn);
    EXPECT_EQ(mark, "friend");
    EXPECT_EQ(ial_lookup("bob", r, conn), nullptr);
    EXPECT_EQ(m_window, (std::vector<std::string>{"#a|* bob Nick değişerek zed Oldu", "#b|* bob Nick değişerek zed Oldu"}));

    // Our own change: the status line and the nick slot.
    m_status.clear();
    feed(":me!u@h NICK :me2");
    EXPECT_EQ(membership_own_nick(conn), "me2");
    EXPECT_NE(nicklist_find(a, "me2"), nullptr);
    ASSERT_FALSE(m_status.empty());
    EXPECT_EQ(m_status.back(), "* Artık Nickiniz me2");
    // A halted NICK event shows nothing but still renames.
    m_window.clear();
    {
        const auto script = halting("NICK");
        feed(":zed!b@h NICK :yan");
    }
    EXPECT_TRUE(m_window.empty());
    EXPECT_NE(nicklist_find(b, "yan"), nullptr);
}

TEST_F(Membership, QuitAndKillLeaveEveryChannel)
{
    feed(":me!u@h JOIN #a");
    feed(":me!u@h JOIN #b");
    WindowRecord* a = chan("#a");
    WindowRecord* b = chan("#b");
    ASSERT_TRUE(a && b);
    for (const char* l : {":bob!b@h JOIN #a", ":bob!b@h JOIN #b", ":cat!c@h JOIN #a"}) feed(l);
    struct Case {
        const char* line;
        const char* halt;
        const char* nick;
        std::vector<std::string> window_lines;
        std::vector<std::string> status_lines;
        bool ial_kept;  // a nick that quit is dropped from the address list
    } cases[] = {
        {":bob!b@h QUIT :gone", "", "bob",
         {"#a|* bob (b@h) Çıktı (gone\x0F)", "#b|* bob (b@h) Çıktı (gone\x0F)"}, {}, false},
        {":cat!c@h QUIT", "QUIT", "cat", {}, {}, false},
        {":nobody!n@h QUIT :x", "", "nobody", {}, {"* nobody (n@h) Çıktı (x\x0F)"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        m_window.clear();
        m_status.clear();
        const auto script = halting(c.halt);
        feed(c.line);
        EXPECT_EQ(nicklist_find(a, c.nick), nullptr);
        EXPECT_EQ(nicklist_find(b, c.nick), nullptr);
        EXPECT_EQ(m_window, c.window_lines);
        EXPECT_EQ(m_status, c.status_lines);
        IalResult r;
        EXPECT_EQ(ial_lookup(c.nick, r, conn) != nullptr, c.ial_kept);
    }
    feed(":dan!d@h JOIN #b");
    m_status.clear();
    feed(":oper!o@h KILL dan :spam");
    EXPECT_EQ(nicklist_find(b, "dan"), nullptr);
    EXPECT_EQ(m_status, (std::vector<std::string>{"* dan oper tarafından Killlendi (spam)"}));
    feed(":oper!o@h KILL me :bye");
    EXPECT_EQ(conn->quitting, 1);
}

TEST_F(Membership, OwnPartAndKickCloseOrKeepTheWindow)
{
    struct Case {
        const char* leave;
        int rejoin;
        int keep;
        bool window_stays;
        std::vector<std::string> joins;  // the JOIN lines the leaving sent
        std::vector<std::string> window_lines;
        int join_sent = 0;  // a /hop sent its JOIN behind the PART
    } cases[] = {
        {":me!u@h PART #a|quit :bye", 0, 0, false, {}, {}},
        {":me!u@h PART #a|quit :hop", 0, 0, true, {}, {}, 1},
        // The rejoin runs /join in plain mode: the "|" is not a separator.
        {":op!o@h KICK #a|quit me :out", 1, 0, true, {"JOIN #a|quit\n"},
         {"#a|quit|* op Tarafından Atıldınız (out\x0F)", "#a|quit|* Tekrar Girilmeye Çalışılıyor..."}},
        {":op!o@h KICK #a|quit me", 0, 1, true, {}, {"#a|quit|* #a|quit Kanalından op Tarafından Atıldınız"}},
        {":op!o@h KICK #a|quit me", 0, 0, false, {}, {"#a|quit|* op Tarafından Atıldınız"}},
    };
    // Connected, so that the rejoin's /join sends its line.
    script_engine_init();
    channel_commands_register();
    conn->connected = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.leave);
        feed(":me!u@h JOIN #a|quit");
        feed(":bob!b@h JOIN #a|quit");
        ASSERT_NE(chan("#a|quit"), nullptr);
        opt_set(OPT_REJOIN_ON_KICK, c.rejoin);
        membership_settings.keep_window_on_kick = c.keep;
        wire.clear();
        m_window.clear();
        m_status.clear();
        chan("#a|quit")->chan_state = c.join_sent;
        feed(c.leave);
        EXPECT_EQ(chan("#a|quit") != nullptr, c.window_stays);
        std::vector<std::string> joins;
        for (const std::string& l : wire.lines())
            if (l.rfind("JOIN ", 0) == 0) joins.push_back(l);
        EXPECT_EQ(joins, c.joins);
        EXPECT_EQ(m_window, c.window_lines);
        IalResult r;
        EXPECT_EQ(ial_lookup("bob", r, conn), nullptr);  // no shared channel left
        if (WindowRecord* w = chan("#a|quit")) {
            EXPECT_EQ(nicklist_count(w), 0);
            // The rejoin brings us back into the same window.
            feed(":me!u@h JOIN #a|quit");
            EXPECT_EQ(chan("#a|quit"), w);
            EXPECT_EQ(chan_membership(w)->rejoin_pending, 0);
            EXPECT_NE(nicklist_find(w, "me"), nullptr);
            feed(":me!u@h PART #a|quit");
        }
        EXPECT_EQ(chan("#a|quit"), nullptr);
    }
    conn->connected = 0;
}

// While a part, kick or quit runs its events the member is marked as
// leaving; /updatenl in the handler takes it off the list at once and
// leaves the others alone.
namespace leaving_probe {
Connection* conn = nullptr;
std::string nick;
int value = -1;
bool gone_after_update = false;
bool others_kept = false;
// "probe", run by the before-phase handlers of PART, KICK and QUIT.
int probe(CommandCall&)
{
    WindowRecord* rec = win_find_by_name("#a", conn);
    if (!rec) return 1;
    NickEntry* e = nicklist_find(rec, nick);
    value = e ? e->extra[kNickValue] : -1;
    CommandCall call;
    call.tokens = {"updatenl"};
    call.conn = conn;
    cmd_updatenl(call);
    gone_after_update = nicklist_find(rec, nick) == nullptr;
    others_kept = nicklist_find(rec, "cat") != nullptr && nicklist_find(rec, "cat")->extra[kNickValue] == 0;
    return 1;
}
}  // namespace leaving_probe

TEST_F(Membership, LeavingMembersAreMarkedUntilTheListIsUpdated)
{
    struct Case {
        const char* line;
        const char* nick;
        int value;
        bool cat_stays;  // "cat" is not the one leaving
    } cases[] = {
        {":bob!b@h PART #a :bye", "bob", kLeaving, true},
        {":me!u@h KICK #a bob :out", "bob", kLeaving, true},
        {":bob!b@h QUIT :gone", "bob", kLeaving, true},
        {":me!u@h PART #a", "me", kLeavingChannel, true},
    };
    EventScript script({"on ^*:PART:#:probe", "on ^*:KICK:#:probe", "on ^*:QUIT:probe"});
    ASSERT_TRUE(script.loaded());
    script_register_command("probe", leaving_probe::probe);
    leaving_probe::conn = conn;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        feed(":me!u@h JOIN #a");
        feed(":bob!b@h JOIN #a");
        feed(":cat!c@h JOIN #a");
        ASSERT_NE(chan("#a"), nullptr);
        leaving_probe::nick = c.nick;
        leaving_probe::value = -1;
        leaving_probe::gone_after_update = false;
        feed(c.line);
        EXPECT_EQ(leaving_probe::value, c.value);
        EXPECT_TRUE(leaving_probe::gone_after_update);
        EXPECT_EQ(leaving_probe::others_kept, c.cat_stays);
        if (WindowRecord* w = chan("#a")) {
            EXPECT_EQ(nicklist_find(w, c.nick), nullptr);
            win_close(w->hwnd.get());
        }
    }
}

// A channel window the user closes leaves no state behind.
TEST_F(Membership, ClosedWindowsLeaveNoState)
{
    const int before = membership_state_count();
    for (int i = 0; i < 5; ++i) {
        const std::string name = "#gone" + std::to_string(i);
        feed(":me!u@h JOIN " + name);
        WindowRecord* w = chan(name);
        ASSERT_NE(w, nullptr);
        chan_membership(w)->show_joins_in = 1;
        win_close_request(w->hwnd.get());
        EXPECT_EQ(chan(name), nullptr);
    }
    EXPECT_EQ(membership_state_count(), before);
}

}  // namespace
