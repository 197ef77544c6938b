// Notes of outgoing lines through a fake link: lines go out through the real
// send path (their bytes captured at the link's write step), the notes they
// leave route WHOIS replies to the asking window, age out with the
// connection's tick, and hand channel windows their open flags. Also the
// local address learned from the welcome reply.
#include "model/connection.h"
#include "irc/link/conn_tick.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "core/options.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/local_address.h"
#include "irc/link/lookups.h"
#include "irc/link/send_queue.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "platform/platform_test_env.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {


// The local host lookups queued (each is cancelled by the test before any
// answer comes back).
std::vector<std::string> local_lookups()
{
    std::vector<std::string> out;
    for (const DnsRequest* r = dns_queue; r; r = r->next)
        if (r->kind == kDnsLocalHost)
            out.push_back(r->query);
    return out;
}

class OutgoingNotes : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        platform_test_app();
        irc_dispatch_install();
        app_wire_irc_dispatch();
        opt_set(OPT_WHOIS_IN_ACTIVE, 1);
        win_active = nullptr;
        conn = conn_new(nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->live_identity[2] = "me";
        conn->server_name = "srv";
        irc_state_new_link(conn);
        status = window("Status Window", kWinStatus);
        conn->status_window = status->hwnd.get();
    }
    void TearDown() override
    {
        for (WindowRecord* rec : records)
            if (win_is_record(rec)) win_record_free(rec);
        records.clear();
        dns_cancel_all();
        win_active = nullptr;
        widgets.clear();
        conn->socket = -1;
        conn_free(conn);
        opt_set(OPT_WHOIS_IN_ACTIVE, 1);
    }
    // USERHOST requests about our own nick that reached the wire.
    int userhost_asks()
    {
        int n = 0;
        for (const std::string& line : wire.lines())
            if (line == "USERHOST me\n") ++n;
        return n;
    }
    WindowRecord* window(const std::string& name, int type)
    {
        widgets.push_back(std::make_unique<QWidget>());
        WindowRecord* rec = win_record_new(1);
        rec->name = name;
        rec->type = type;
        rec->conn = conn;
        rec->hwnd = widgets.back().get();
        records.push_back(rec);
        return rec;
    }
    // Sends a line as typed in a window.
    void send_from(WindowRecord* rec, const std::string& line)
    {
        win_active = rec->hwnd.get();
        irc_send_line(line + "\n", 0, conn);
    }
    // The window a WHOIS reply line is routed to; phase 0 a line, 1 the end,
    // 2 an error. The nick is the reply's word 3.
    QWidget* route(const std::string& line, int phase)
    {
        IrcMessage msg;
        msg.raw = line;
        irc_message_tokenize(msg);
        QWidget* out = nullptr;
        int colour = 0;
        whois_route(&msg.words.at(3), phase, conn, &out, &colour);
        EXPECT_EQ(colour, static_cast<int>(kColorWhoisText));
        return out;
    }
    void tick(int seconds)
    {
        for (int i = 0; i < seconds; ++i) conn_tick_all(1000);
    }
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    std::vector<WindowRecord*> records;
    std::vector<std::unique_ptr<QWidget>> widgets;
};

TEST_F(OutgoingNotes, WhoisFromAQueryWindowRoutesItsRepliesBack)
{
    WindowRecord* query = window("bob", kWinQuery);
    send_from(query, "WHOIS bob");
    EXPECT_EQ(wire.lines(), std::vector<std::string>{"WHOIS bob\n"});
    EXPECT_EQ(route(":srv 311 me bob u h * :Bob", 0), query->hwnd.get());
    EXPECT_EQ(route(":srv 312 me BOB srv :Server", 0), query->hwnd.get());  // case ignored
    EXPECT_EQ(route(":srv 311 me carol u h * :Carol", 0), status->hwnd.get());
    EXPECT_EQ(route(":srv 318 me bob :End of /WHOIS list.", 1), query->hwnd.get());
    // The end line took the entry: a later reply goes to the status window.
    EXPECT_EQ(route(":srv 311 me bob u h * :Bob", 0), status->hwnd.get());
    EXPECT_EQ(irc_pending_whois(conn), nullptr);
}

TEST_F(OutgoingNotes, WhoisRoutingTable)
{
    struct Step {
        const char* line;  // reply; word 3 is the nick
        int phase;
        int window;        // index into the windows below; -1 the status window
    };
    struct Case {
        const char* name;
        std::vector<std::pair<int, std::string>> sent;  // window index, typed line
        std::vector<Step> replies;
    } cases[] = {
        {"two windows ask about one nick: each series goes to its own window",
         {{0, "WHOIS bob"}, {1, "WHOIS bob"}},
         {{":s 311 me bob u h * :B", 0, 0}, {":s 318 me bob :End", 1, 0},
          {":s 311 me bob u h * :B", 0, 1}, {":s 318 me bob :End", 1, 1},
          {":s 311 me bob u h * :B", 0, -1}}},
        {"server and nick: replies about the nick and errors naming the server",
         {{0, "WHOIS srv.x nick"}},
         {{":s 311 me nick u h * :N", 0, 0}, {":s 311 me other u h * :O", 0, -1},
          {":s 402 me srv.x :No such server", 2, 0}}},
        {"a name with a dot is compared with the first part; a plain nick with the second",
         {{0, "WHOIS srv.x nick"}},
         {{":s 311 me srv.x u h * :S", 0, 0}, {":s 311 me SRV.X u h * :S", 0, 0},
          {":s 401 me srv :No such nick", 2, -1}, {":s 318 me nick :End", 1, 0},
          {":s 311 me nick u h * :N", 0, -1}}},
        {"a comma list matches each item, not the list",
         {{0, "WHOIS a,b"}},
         {{":s 311 me a u h * :A", 0, 0}, {":s 311 me b u h * :B", 0, 0},
          {":s 311 me a,b u h * :AB", 0, -1}}},
        {"an error for an unknown nick removes the entry",
         {{1, "WHOIS ghost"}},
         {{":s 401 me ghost :No such nick", 2, 1}, {":s 311 me ghost u h * :G", 0, -1}}},
        {"a mask is not noted", {{0, "WHOIS *bob*"}}, {{":s 311 me *bob* u h * :B", 0, -1}}},
        {"WHOWAS is noted like WHOIS",
         {{1, "WHOWAS old"}},
         {{":s 314 me old u h * :O", 0, 1}, {":s 369 me old :End", 1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRecord* wins[2] = {window("#chan", kWinChannel), window("bob", kWinQuery)};
        for (const auto& [w, line] : c.sent) send_from(wins[w], line);
        for (const Step& s : c.replies) {
            SCOPED_TRACE(s.line);
            QWidget* want = s.window < 0 ? status->hwnd.get() : wins[s.window]->hwnd.get();
            EXPECT_EQ(route(s.line, s.phase), want);
        }
        conn->state_slots.reset(irc_notes_slot);
    }
}

TEST_F(OutgoingNotes, WhoisNotesNeedAnAskingWindowAndTheOption)
{
    // A list window does not ask; a window of another connection neither.
    WindowRecord* list = window("Channels List", kWinChanList);
    send_from(list, "WHOIS bob");
    EXPECT_EQ(irc_pending_whois(conn), nullptr);
    WindowRecord* query = window("bob", kWinQuery);
    send_from(query, "WHOIS bob");
    ASSERT_NE(irc_pending_whois(conn), nullptr);
    EXPECT_EQ(irc_pending_whois(conn)->text, "bob\rbob");
    EXPECT_EQ(irc_pending_whois(conn)->number, query->number);
    // With the option off the list is emptied and replies go to the status window.
    opt_set(OPT_WHOIS_IN_ACTIVE, 0);
    EXPECT_EQ(route(":s 311 me bob u h * :B", 0), status->hwnd.get());
    EXPECT_EQ(irc_pending_whois(conn), nullptr);
    send_from(query, "WHOIS bob");
    EXPECT_EQ(irc_pending_whois(conn), nullptr);
    opt_set(OPT_WHOIS_IN_ACTIVE, 1);
    // A window closed meanwhile drops its entry.
    send_from(query, "WHOIS bob");
    win_record_free(query);
    EXPECT_EQ(route(":s 311 me bob u h * :B", 0), status->hwnd.get());
    EXPECT_EQ(irc_pending_whois(conn), nullptr);
}

TEST_F(OutgoingNotes, WhoisBatchSendsWithinTheLimitsAndNotesEachNick)
{
    struct Case {
        const char* name;
        int targets;
        int flags;
        std::vector<std::string> written;
    } cases[] = {
        {"one line", 0, 0, {"WHOIS a,b,c\n"}},
        {"server target limit", 2, 0, {"WHOIS a,b\n", "WHOIS c\n"}},
        {"one nick per line", 0, 0x80, {"WHOIS a\n", "WHOIS b\n", "WHOIS c\n"}},
    };
    WindowRecord* chan = window("#c", kWinChannel);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn->state_slots.reset(irc_notes_slot);
        wire.clear();
        irc_state(conn)->whois_targets = c.targets;
        conn->server_flags = c.flags;
        win_active = chan->hwnd.get();
        std::vector<std::string> nicks{"a", "b", "c"};
        irc_whois_batch(nicks, conn);
        EXPECT_TRUE(nicks.empty());
        EXPECT_EQ(wire.lines(), c.written);
        // Each nick noted once (the batch's own lines are not noted again).
        EXPECT_EQ(strlist_count(irc_pending_whois(conn)), 3);
        EXPECT_EQ(route(":s 311 me b u h * :B", 0), chan->hwnd.get());
    }
    // Long lists are cut before 400 characters.
    conn->state_slots.reset(irc_notes_slot);
    wire.clear();
    irc_state(conn)->whois_targets = 0;
    conn->server_flags = 0;
    std::vector<std::string> many;
    for (int i = 0; i < 100; ++i) many.push_back("nick" + std::to_string(1000 + i));
    irc_whois_batch(many, conn);
    ASSERT_GT(wire.lines().size(), 1u);
    for (const std::string& line : wire.lines()) EXPECT_LE(line.size(), 400u + 7u);
    EXPECT_EQ(strlist_count(irc_pending_whois(conn)), 100);
}

TEST_F(OutgoingNotes, PendingNotesAgeOutWithTheTick)
{
    WindowRecord* query = window("bob", kWinQuery);
    struct Case {
        const char* name;
        int before_reply;  // seconds before a reply line (-1 none)
        int after;         // further seconds
        bool left;
    } cases[] = {
        {"60 seconds without reply: kept", -1, 60, true},
        {"61 seconds without reply: gone", -1, 61, false},
        {"a reply line resets the age", 30, 60, true},
        {"and the reset entry ages out again", 30, 61, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn->state_slots.reset(irc_notes_slot);
        send_from(query, "WHOIS bob");
        send_from(query, "WHO #c *.example");
        ASSERT_NE(irc_pending_whois(conn), nullptr);
        ASSERT_NE(irc_pending_who(conn), nullptr);
        if (c.before_reply >= 0) {
            tick(c.before_reply);
            EXPECT_EQ(route(":s 311 me bob u h * :B", 0), query->hwnd.get());
        }
        tick(c.after);
        EXPECT_EQ(irc_pending_whois(conn) != nullptr, c.left);
        if (c.before_reply < 0) {
            EXPECT_EQ(irc_pending_who(conn) != nullptr, c.left);
        }
    }
}

TEST_F(OutgoingNotes, WhoAndAwayNotes)
{
    WindowRecord* chan = window("#c", kWinChannel);
    struct Case {
        const char* line;
        const char* who_entry;  // the pending-WHO entry, or null for none
        int count;              // WHO requests noted for #c
    } cases[] = {
        {"WHO #c", nullptr, 1},
        {"WHO #c *.example", "#c *.example", 1},
        {"WHO #c nick?", "#c nick?", 1},
        {"WHO #c nick", nullptr, 0},       // a mask without wildcards
        {"WHO #c #d*", nullptr, 0},        // a channel as mask
        {"WHO bob", nullptr, 0},           // not a channel
        {"who #C", nullptr, 1},            // command and window name case ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        conn->state_slots.reset(irc_notes_slot);
        send_from(chan, c.line);
        StringNode* who = irc_pending_who(conn);
        if (c.who_entry) {
            ASSERT_NE(who, nullptr);
            EXPECT_EQ(who->text, c.who_entry);
            EXPECT_EQ(who->next, nullptr);
        } else {
            EXPECT_EQ(who, nullptr);
        }
        EXPECT_EQ(irc_pending_who_count(chan->number, conn), c.count);
        EXPECT_EQ(irc_take_pending_who(chan->number, conn), c.count);
        EXPECT_EQ(irc_pending_who_count(chan->number, conn), 0);
    }
    struct Away {
        const char* line;
        const char* text;
    } aways[] = {
        {"AWAY :gone  fishing", "gone fishing"},
        {"AWAY", ""},
        {"away :brb", "brb"},
    };
    for (const Away& a : aways) {
        SCOPED_TRACE(a.line);
        conn->away_text = "old";
        send_from(chan, a.line);
        EXPECT_EQ(conn->away_text, a.text);
    }
}

TEST_F(OutgoingNotes, JoinFlagsReachTheChannelWindowOnce)
{
    auto take = [&](const char* name) { return conn_take_pending_join_flags(name, conn); };
    // "/join -n #a,#b key" notes both channels minimised; the key is not a channel.
    irc_note_joining("#a,#b key", 1, conn);
    irc_note_joining("#max", 2, conn);
    EXPECT_EQ(take("#A"), 1);   // case ignored
    EXPECT_EQ(take("#a"), 0);   // taken once
    EXPECT_EQ(take("#b"), 1);
    EXPECT_EQ(take("key"), 0);
    EXPECT_EQ(take("#max"), 2);
    // A newer note for the same channel replaces the older one.
    irc_note_joining("#x", 2, conn);
    irc_note_joining("#X", 1, conn);
    EXPECT_EQ(strlist_count(conn->pending_joins), 1);
    EXPECT_EQ(take("#x"), 1);
    // The list stays bounded whatever is noted.
    for (int i = 0; i < kPendingListMax + 50; ++i) irc_note_joining("#c" + std::to_string(i), 1, conn);
    EXPECT_EQ(strlist_count(conn->pending_joins), kPendingListMax);
    EXPECT_EQ(take(("#c" + std::to_string(kPendingListMax + 49)).c_str()), 1);  // newest kept
    EXPECT_EQ(take("#c0"), 0);                                                  // oldest dropped
    // A stale connection has nothing.
    EXPECT_EQ(conn_take_pending_join_flags("#c1", nullptr), 0);
}

TEST_F(OutgoingNotes, ReplyListAgesByCountdownAndLife)
{
    auto add = [&](const char* text, int countdown, int life) {
        conn->reply_list = strlist_append(conn->reply_list, std::string_view(text), 1);
        conn->reply_list->prev->extra[kReplyCountdownWord] = countdown;
        conn->reply_list->prev->extra[kReplyLifeWord] = life;
    };
    add("a@h", 5, 10);
    add("b@h", 0, 1);
    add("c@h", 2, 3);
    tick(1);
    ASSERT_EQ(strlist_count(conn->reply_list), 2);  // life 1 ran out
    EXPECT_EQ(conn->reply_list->text, "a@h");
    EXPECT_EQ(conn->reply_list->extra[kReplyCountdownWord], 4);
    EXPECT_EQ(conn->reply_list->extra[kReplyLifeWord], 9);
    tick(2);
    ASSERT_EQ(strlist_count(conn->reply_list), 1);
    EXPECT_EQ(conn->reply_list->extra[kReplyCountdownWord], 2);
    tick(7);
    EXPECT_EQ(conn->reply_list, nullptr);
}

TEST_F(OutgoingNotes, WelcomeLearnsTheLocalAddress)
{
    struct Case {
        const char* name;
        const char* welcome;
        const char* known_host;
        std::uint32_t known_ip;
        std::string host, ip_text;
        std::uint32_t ip;
        std::vector<std::string> lookups;
        int userhost;
    } cases[] = {
        {"dotted address", ":srv 001 me :Welcome me!u@10.1.2.3", "", 0,
         "", "10.1.2.3", 0x0A010203u, {"10.1.2.3"}, 0},
        {"name cut after its last dot", ":srv 001 me :Welcome to the net me!u@cable.isp)", "", 0,
         "cable.isp", "", 0, {"cable.isp"}, 0},
        {"cut at a blank", ":srv 001 me :Hi me!u@host.example.org and more", "", 0,
         "host.example.org", "", 0, {"host.example.org"}, 0},
        {"no usable host asks the server", ":srv 001 me :Welcome to the net", "", 0,
         "", "", 0, {}, 1},
        {"a host without a dot is not usable", ":srv 001 me :Welcome me!u@localhost", "", 0,
         "", "", 0, {}, 1},
        {"name and address known: nothing", ":srv 001 me :Welcome me!u@10.9.9.9", "known.host", 0x7F000002u,
         "known.host", "", 0x7F000002u, {}, 0},
        {"name known, address not: the name is looked up", ":srv 001 me :Welcome me!u@10.9.9.9",
         "known.host", 0, "known.host", "", 0, {"known.host"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        irc_state_new_link(conn);
        conn->local_host = c.known_host;
        conn->local_ip = c.known_ip;
        conn->local_ip_text.clear();
        dns_cancel_all();
        wire.clear();
        irc_dispatch_line(c.welcome, conn);
        EXPECT_EQ(irc_state(conn)->registration & 1, 1);
        EXPECT_EQ(conn->local_host, c.host);
        EXPECT_EQ(conn->local_ip_text, c.ip_text);
        EXPECT_EQ(conn->local_ip, c.ip);
        EXPECT_EQ(local_lookups(), c.lookups);
        EXPECT_EQ(userhost_asks(), c.userhost);
    }
    // A second welcome on the same link learns nothing.
    dns_cancel_all();
    conn->local_host.clear();
    conn->local_ip = 0;
    irc_dispatch_line(":srv 001 me :Welcome me!u@10.1.2.3", conn);
    EXPECT_TRUE(local_lookups().empty());
    EXPECT_EQ(conn->local_ip, 0u);
}

TEST_F(OutgoingNotes, LearningFromAUserhostReply)
{
    struct Case {
        const char* text;  // null: no text
        int result;
        const char* host;
    } cases[] = {
        {"me=+u@name.example.net", 1, "name.example.net"},
        {"me=+u@", 0, ""},
        {"", 1, ""},
        {nullptr, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(none)");
        conn->local_host.clear();
        conn->local_ip = 0;
        std::string text = c.text ? c.text : "";
        EXPECT_EQ(conn_learn_local_address(c.text ? &text : nullptr, 1, 0, conn), c.result);
        EXPECT_EQ(conn->local_host, c.host);
        EXPECT_EQ(userhost_asks(), 0);
    }
    EXPECT_EQ(conn_learn_local_address(nullptr, 0, 0, nullptr), 0);
}

}  // namespace
