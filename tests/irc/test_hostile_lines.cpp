// Whatever a server sends, the client must neither crash, hang nor grow
// without bound. Hand-made hostile lines for every command and numeric the
// dispatcher knows, a seeded fuzz of valid-shaped and mutated lines, and raw
// bytes through the receive loop of a real loopback link. Everything runs
// with the program's own wiring (membership, messages, modes, replies, the
// rejoin code and the script engine with event handlers loaded), real
// offscreen windows, and the send path captured.
#include <gtest/gtest.h>
#include "support/script_engine.h"
#include "app/subsystems.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <linux/sockios.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "irc/link/connections.h"
#include "app/frame_proc.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "commands/channel_commands.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/nick_list.h"
#include "display/nick_list.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/channel_rejoin.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/messages.h"
#include "irc/dispatch/modes.h"
#include "irc/link/connect.h"
#include "irc/link/lookups.h"
#include "irc/link/receive.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/query_replies.h"
#include "irc/numerics/replies.h"
#include "platform/app_messages.h"
#include "platform/sockets.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"
#include "support/traffic_file.h"
#include "support/cpu_time.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"
#include "printed_lines.h"

namespace {

std::size_t h_noted = 0;          // lines the scripts' "note" command saw

int cmd_note(CommandCall&)
{
    ++h_noted;
    return 1;
}

std::string rep(char c, std::size_t n) { return std::string(n, c); }

// Every byte 0x01..0xFF but CR and LF (which never reach the dispatcher).
std::string all_bytes()
{
    std::string s;
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n') s += static_cast<char>(b);
    return s;
}

// n blank-separated words made from a stem and a counter.
std::string words(const std::string& stem, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += stem + std::to_string(i);
    }
    return s;
}

// The event handlers that run for the lines: each reads the line's
// identifiers, so hostile texts go through the evaluator as well.
const char* const kScript[] = {
    "on *:TEXT:*:#:note text $nick $chan $address $1-",
    "on *:TEXT:*:?:note ptext $nick $1-",
    "on ^*:ACTION:*:*:note action $nick $target $1-",
    "on *:NOTICE:*:*:note notice $nick $target $1-",
    "on *:SNOTICE:*:note snotice $nick $1-",
    "on *:JOIN:#:note join $nick $chan $address",
    "on *:PART:#:note part $nick $chan $1-",
    "on *:KICK:#:note kick $nick $chan $1-",
    "on *:QUIT:note quit $nick $1-",
    "on *:NICK:note nick $nick $1-",
    "on *:MODE:#:note mode $nick $chan $1-",
    "on *:SERVERMODE:#:note smode $nick $chan $1-",
    "on *:USERMODE:note umode $1-",
    "on *:INVITE:#:note invite $nick $chan",
    "on *:OPEN:?:note open $nick",
    "on *:PING:note ping $1-",
    "on *:ERROR:*:note error $1-",
    "on *:WALLOPS:*:note wallops $1-",
    "raw *:*:note raw $numeric $1-",
};

QPointer<QMainWindow> frame;

class HostileLines : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        test_frame_mdi(frame);
        settings = std::make_unique<TempSettingsDir>("kest_hostile_");
        ASSERT_TRUE(settings->made());
        options_reset();

        // The wiring the program installs for the script engine and the
        // IRC side (see app_install_subsystems).
        test_script_engine_install();
        script_register_command("note", cmd_note);
        irc_link_install();
        app_wire_irc_link();
        irc_dispatch_install();
        app_wire_irc_dispatch();
        irc_lookups_install();
        app_wire_irc_lookups();
        irc_membership_install();
        app_wire_irc_membership();
        irc_chat_commands_install();
        irc_rejoin_install();
        nicklist_install();  // the list pane follows the members

        saved_events = event_switch_events;
        saved_raw = event_switch_raw;
        saved_ctcps = event_switch_ctcps;
        event_switch_events = event_switch_raw = event_switch_ctcps = 1;
        user_default_level = 1;
        event_startup_hold = 0;
        script_error_clear();
        remote_files_free_all();
        {
            std::ofstream out(settings->path() + "hostile.kst");
            for (const char* l : kScript) out << l << "\n";
        }
        ASSERT_NE(remote_file_load(settings->path() + "hostile.kst", kRemoteScript, 9999, nullptr), nullptr);

        conn = conn_new_with_status(conn_list);
        ASSERT_NE(conn, nullptr);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        test_drain_events();
        conn->live_identity[2] = "me";
        conn->live_identity[3] = "me_";
        conn->server_name = "srv";
        irc_state_new_link(conn);
        conn->connected = 1;
        feed(":srv 001 me :Welcome to the test network");
        baseline();
        wire.clear();
        h_noted = 0;
    }

    void TearDown() override
    {
        remote_files_free_all();
        event_switch_events = saved_events;
        event_switch_raw = saved_raw;
        event_switch_ctcps = saved_ctcps;
        for (Connection* c = conn_list; c; c = c->next) c->socket = -1;
        win_close_all();
        conn_free_all();
        while (win_list) win_record_free(win_list);
        win_active = nullptr;
        test_drain_events();
        script_error_clear();
        options_reset();
    }

    void feed(const std::string& line) { irc_dispatch_line(line, conn); }

    WindowRecord* channel(const std::string& name)
    {
        WindowRecord* w = win_find_by_name(name, conn);
        return w && w->type == kWinChannel && w->hwnd.get() ? w : nullptr;
    }

    // The user closes every query window of the connection.
    void close_queries()
    {
        for (WindowRecord* w = win_list; w;) {
            WindowRecord* next = w->next;
            if (w->conn == conn && w->type == kWinQuery && w->hwnd.get()) win_close_request(w->hwnd.get());
            w = next;
        }
    }

    // The state every case starts from: no queries, our nick "me", sane
    // capabilities, and #a, #b and #c joined with the same members.
    void baseline()
    {
        close_queries();
        conn->live_identity[2] = "me";
        conn->nick_index = 0;
        conn->server_flags = 0;
        conn->server_name = "srv";
        conn->quitting = 0;
        irc_state(conn)->prefix_given = 0;
        irc_state(conn)->chantypes_given = 0;
        irc_state(conn)->chanmodes_given = 0;
        feed(":srv 005 me PREFIX=(qaohv)~&@%+ CHANMODES=beI,k,l,imnpst CHANTYPES=#& :are supported");
        for (const char* c : {"#a", "#b", "#c"}) {
            WindowRecord* w = channel(c);
            if (!w || !chan_membership(w)->joined) feed(std::string(":me!u@h JOIN :") + c);
            feed(std::string(":srv 353 me = ") + c + " :~me @op %half +voice a!ua@ha b c");
            feed(std::string(":srv 366 me ") + c + " :End of /NAMES list.");
        }
    }

    // The invariants every line must leave intact.
    void expect_sane()
    {
        ASSERT_TRUE(conn_is_live(conn));
        EXPECT_EQ(conn->connected, 1);
        int windows = 0;
        std::set<std::string> names;
        for (WindowRecord* w = win_list; w; w = w->next) {
            ASSERT_LT(++windows, 5000) << "window list runs away";
            ASSERT_TRUE(win_is_record(w));
            if (w->conn != conn || !w->hwnd.get()) continue;
            EXPECT_LE(w->name.size(), static_cast<std::size_t>(kMediumText));
            if (w->type == kWinChannel || (w->type == kWinQuery && w->subtype == kQueryPrivate)) {
                EXPECT_FALSE(w->name.empty()) << "a window without a name";
                // One window per name: a second one means a lookup missed.
                EXPECT_TRUE(names.insert(std::to_string(w->type) + text_lower_copy(w->name)).second)
                    << "two windows named " << w->name.substr(0, 80);
            }
            if (w->type == kWinChannel) {
                int n = 0;
                for (NickEntry* e = w->nick_list; e; e = e->next) {
                    EXPECT_FALSE(e->text.empty()) << "member without a nick in " << w->name;
                    EXPECT_LE(e->text.size(), static_cast<std::size_t>(kShortText));
                    EXPECT_EQ(nicklist_find(w, e->text), e);
                    EXPECT_EQ(nicklist_row_of(w, e), n) << "member out of order in " << w->name;
                    ++n;
                }
                EXPECT_EQ(nicklist_count(w), n);
                if (QListWidget* list = w->listbox.get()) {
                    EXPECT_EQ(list->count(), n) << w->name;
                }
                EXPECT_LE(w->chan_modes.size(), static_cast<std::size_t>(kShortText + 50));
                EXPECT_LE(w->chan_key.size(), static_cast<std::size_t>(kShortText));
                EXPECT_LE(w->topic.size(), static_cast<std::size_t>(kMediumText));
            }
            // The caption can be made, and a channel's counts its members.
            win_update_title(w, nullptr);
            if (w->type == kWinChannel) {
                const QString title = win_container(w->hwnd.get())->windowTitle();
                EXPECT_TRUE(title.contains(QString(" [%1]").arg(nicklist_count(w))))
                    << "caption of " << w->name.substr(0, 80) << ": " << title.left(200).toStdString();
            }
        }
        EXPECT_FALSE(irc_status_caption(conn).empty());
        EXPECT_LE(membership_own_nick(conn).size(), static_cast<std::size_t>(kShortText));
        EXPECT_FALSE(membership_own_nick(conn).empty());
        EXPECT_LE(conn->nick_prefixes.size(), static_cast<std::size_t>(kMaxPrefixes));
        EXPECT_EQ(conn->nick_prefixes.size(), conn->prefix_modes.size());
        EXPECT_LE(conn->network.size(), static_cast<std::size_t>(kShortText));
    }

    // Every member's nick across the channel windows of the connection.
    std::set<std::string> members()
    {
        std::set<std::string> out;
        for (WindowRecord* w = win_list; w; w = w->next)
            if (w->conn == conn && w->type == kWinChannel && w->hwnd.get())
                for (NickEntry* e = w->nick_list; e; e = e->next) out.insert(text_lower_copy(e->text));
        return out;
    }

    // The nicks of the address list.
    std::vector<std::string> ial_nicks()
    {
        std::vector<std::string> out;
        const int count = ial_count(conn);
        for (int i = 1; i <= count; ++i) {
            std::string nick;
            if (ial_query("*", "", i, ".nick", 1, nick, conn)) out.push_back(nick);
        }
        return out;
    }

    // The channels go (a names reply under way ends first, then the user
    // closes each channel window), then every nick still in the address
    // list quits: afterwards nothing may be left in it. With `strict`
    // nothing may be left after the channels already (no reply set members
    // aside for a QUIT to take).
    void expect_address_list_drains(bool strict = false)
    {
        const std::string pending = reply_state(conn)->names_channel;
        if (!pending.empty()) feed(":srv 366 me " + pending + " :End of /NAMES list.");
        std::vector<QPointer<QWidget>> chans;
        for (WindowRecord* w = win_list; w; w = w->next)
            if (w->conn == conn && w->type == kWinChannel && w->hwnd.get()) chans.emplace_back(w->hwnd.get());
        for (const QPointer<QWidget>& hwnd : chans)
            if (hwnd) win_close_request(hwnd);
        test_drain_events();
        if (strict) {
            EXPECT_EQ(ial_count(conn), 0) << "left after the channels: " << ::testing::PrintToString(ial_nicks());
        }
        for (const std::string& nick : ial_nicks()) feed(":" + nick + "!u@h QUIT :gone");
        EXPECT_EQ(ial_count(conn), 0) << "left in the address list: " << ::testing::PrintToString(ial_nicks());
    }

    // The lines sent to the server since the last clear.
    const std::vector<std::string>& sent() { return wire.lines(); }

    std::unique_ptr<TempSettingsDir> settings;
    TestWire wire;
    Connection* conn = nullptr;
    int saved_events = 0, saved_raw = 0, saved_ctcps = 0;
};

// One case: lines fed in order, then the state checked.
struct HostileCase {
    HostileCase(std::string n, std::string line) : name(std::move(n)), lines{std::move(line)} {}
    HostileCase(std::string n, std::vector<std::string> l) : name(std::move(n)), lines(std::move(l)) {}
    std::string name;
    std::vector<std::string> lines;
};

std::vector<HostileCase> hostile_cases()
{
    const std::string huge = rep('x', 10000);
    const std::string bytes = all_bytes();
    std::vector<HostileCase> c = {
        // Shapes of a line.
        {"empty", ""},
        {"one blank", " "},
        {"a lone colon", ":"},
        {"colon and blank", ": "},
        {"two colons", "::"},
        {"source only", ":x"},
        {"source and blanks", ":x   "},
        {"leading blanks", "   :a b"},
        {"one word", "FOO"},
        {"control byte only", "\x01"},
        {"every byte", bytes},
        {"every byte as source", ":" + bytes},
        {"every byte after a source", ":a!u@h " + bytes},
        {"source without nick", ":!u@h PRIVMSG #a :hi"},
        {"source of one bang", ":! PRIVMSG #a :hi"},
        {"source of bang and at", ":!@ JOIN #a"},
        {"empty source word", ": PRIVMSG me :hi"},
        {"source without ! or @", ":plain PRIVMSG #a :hi"},
        {"exactly the cut length", ":a!u@h PRIVMSG #a :" + rep('y', kRecvLineCut - 19)},
        {"the long-text length", ":a!u@h PRIVMSG #a :" + rep('y', kLongText - 19)},
        {"one over the long-text length", ":a!u@h PRIVMSG #a :" + rep('y', kLongText - 18)},
        {"ten thousand bytes", ":a!u@h PRIVMSG #a :" + huge},
        {"more words than the table", ":srv 005 me " + words("T", 3000)},
        {"a numeric with a 1000-word tail", ":srv 372 me " + words("w", 1000)},
        {"an unknown command with a 1000-word tail", ":srv FOO " + words("w", 1000)},
        {"an embedded NUL", std::string(":a!u@h PRIVMSG #a :be\0fore", 25)},

        // JOIN
        {"JOIN without channel", ":x JOIN"},
        {"JOIN with empty channel", ":x!u@h JOIN :"},
        {"JOIN of others with a bell only", ":x!u@h JOIN :\x07"},
        {"JOIN without address", ":x JOIN #a"},
        {"JOIN with huge nick", ":" + huge + "!u@h JOIN #a"},
        {"JOIN with huge address", ":x!" + huge + " JOIN #a"},
        {"own JOIN without channel", ":me!u@h JOIN"},
        {"own JOIN of the empty channel", ":me!u@h JOIN :"},
        {"own JOIN of a bell", ":me!u@h JOIN :\x07o"},
        {"own JOIN of a 300-char channel", ":me!u@h JOIN #" + rep('j', 300)},
        {"own JOIN of a 2000-char channel", ":me!u@h JOIN #" + rep('j', 2000)},
        {"own JOIN of no channel name", ":me!u@h JOIN :notachannel"},
        {"own JOIN of every byte", ":me!u@h JOIN :#" + bytes},
        // PART
        {"PART without channel", ":x PART"},
        {"PART of a channel not open", ":x!u@h PART #nope"},
        {"own PART of a channel not open", ":me!u@h PART #nope"},
        {"PART of a non-member", ":nobody!u@h PART #a"},
        {"PART with huge reason", ":a!u@h PART #a :" + huge},
        {"own PART without channel", ":me!u@h PART"},
        // KICK
        {"KICK without nick", ":x KICK #a"},
        {"KICK with empty nick", ":x KICK #a :"},
        {"KICK in a channel not open", ":op!u@h KICK #nope me"},
        {"KICK of a non-member", ":op!u@h KICK #a nobody"},
        {"KICK of a huge nick", ":op!u@h KICK #a " + huge},
        {"KICK of us with huge reason", ":op!u@h KICK #a me :" + huge},
        {"KICK of us by us", ":me!u@h KICK #b me"},
        {"KICK of a nick list", ":op!u@h KICK #a a,b,c"},
        // QUIT
        {"QUIT without source", "QUIT"},
        {"QUIT of an unknown nick", ":unknown!u@h QUIT :bye"},
        {"QUIT of us", ":me!u@h QUIT :x"},
        {"QUIT without address", ":a QUIT"},
        {"QUIT of a huge nick", ":" + huge + " QUIT"},
        // NICK
        {"NICK without new nick", ":x NICK"},
        {"own NICK to nothing", ":me!u@h NICK :"},
        {"own NICK to a huge nick", ":me!u@h NICK " + huge},
        {"own NICK to the same nick", ":me!u@h NICK me"},
        {"own NICK to the alternative", ":me!u@h NICK me_"},
        {"NICK onto an existing member", ":a!u@h NICK b"},
        {"NICK in case only", ":a!u@h NICK A"},
        {"NICK of a non-member", ":nobody!u@h NICK x"},
        {"NICK to words", ":a!u@h NICK :x y"},
        {"NICK to an address", ":a!u@h NICK x!y@z"},
        {"NICK to a channel name", ":a!u@h NICK #a"},
        {"NICK to every byte", ":a!u@h NICK :" + bytes},
        // MODE
        {"MODE without target", ":x MODE"},
        {"MODE without change", ":x MODE #a"},
        {"MODE of a sign only", ":op!u@h MODE #a +"},
        {"MODE missing its parameter", ":op!u@h MODE #a +o"},
        {"MODE with fewer parameters than letters", ":op!u@h MODE #a +oooo a"},
        {"MODE with more parameters than letters", ":op!u@h MODE #a +v a b c d e f g h i j"},
        {"MODE of mixed signs", ":op!u@h MODE #a +o-o+v-v a a b b"},
        {"MODE without sign", ":op!u@h MODE #a ov a b"},
        {"MODE with 5000 parameters", ":op!u@h MODE #a +" + rep('o', 5000) + " " + words("a", 5000)},
        {"MODE with a trailing change", ":op!u@h MODE #a :+ov a b"},
        {"MODE with a huge nick", ":op!u@h MODE #a +o " + huge},
        {"MODE of a key without key", ":op!u@h MODE #a +k"},
        {"MODE of a huge key", ":op!u@h MODE #a +k " + huge},
        {"MODE of a huge limit", ":op!u@h MODE #a +l 99999999999999999999"},
        {"MODE of a negative limit", ":op!u@h MODE #a +l -99999999999999999999"},
        {"MODE of list modes", ":op!u@h MODE #a +b-b+e-I *!*@* x y"},
        {"MODE of every byte", ":op!u@h MODE #a +" + bytes},
        {"MODE of many letters", ":op!u@h MODE #a +" + rep('n', 4000)},
        {"MODE in a channel not open", ":op!u@h MODE #nope +o a"},
        {"MODE on our nick", ":srv MODE me +iwx"},
        {"MODE on our nick, sign only", ":srv MODE me :+"},
        {"MODE on our nick, many letters", ":srv MODE me +" + rep('i', 5000)},
        {"MODE on another nick", ":srv MODE a +o me"},
        // PRIVMSG
        {"PRIVMSG without target", ":x PRIVMSG"},
        {"PRIVMSG without text", ":x PRIVMSG #a"},
        {"PRIVMSG with empty text", ":a!u@h PRIVMSG #a :"},
        {"CTCP of one \\x01", ":a!u@h PRIVMSG #a :\x01"},
        {"CTCP of two \\x01", ":a!u@h PRIVMSG #a :\x01\x01"},
        {"CTCP of three \\x01", ":a!u@h PRIVMSG me :\x01\x01\x01"},
        {"unclosed ACTION", ":a!u@h PRIVMSG #a :\x01" "ACTION"},
        {"empty ACTION", ":a!u@h PRIVMSG #a :\x01" "ACTION \x01"},
        {"ACTION into a query", ":a!u@h PRIVMSG me :\x01" "ACTION waves\x01"},
        {"unclosed CTCP to us", ":a!u@h PRIVMSG me :\x01VERSION"},
        {"CTCP with inner \\x01", ":a!u@h PRIVMSG me :\x01PI\x01NG\x01"},
        {"colour code at the end", ":a!u@h PRIVMSG #a :hi\x03"},
        {"colour code and comma at the end", ":a!u@h PRIVMSG #a :hi\x03" "12,"},
        {"only control codes", ":a!u@h PRIVMSG #a :\x02\x03\x0f\x16\x1f\x1d"},
        {"a target of prefixes only", ":a!u@h PRIVMSG @+~ :x"},
        {"a server mask", ":a!u@h PRIVMSG $ :x"},
        {"a server-mask channel", ":a!u@h PRIVMSG #nope.x :hi"},
        {"every byte to a channel", ":a!u@h PRIVMSG #a :" + bytes},
        {"every byte to us", ":z!u@h PRIVMSG me :" + bytes},
        {"messages from a 2000-char nick",
         std::vector<std::string>{":" + rep('q', 2000) + "!u@h PRIVMSG me :hi",
                                  ":" + rep('q', 2000) + "!u@h PRIVMSG me :hi again",
                                  ":" + rep('q', 2000) + "!u@h PRIVMSG me :\x01" "ACTION waves\x01"}},
        {"private texts without a sender",
         std::vector<std::string>{":!u@h PRIVMSG me :hi", ":!u@h PRIVMSG me :hi again",
                                  ":!u@h PRIVMSG me :\x01" "ACTION x\x01", ": PRIVMSG me :hi"}},
        {"private text without address", ":q PRIVMSG me :hi"},
        // NOTICE
        {"NOTICE alone", "NOTICE"},
        {"NOTICE AUTH", "NOTICE AUTH"},
        {"NOTICE without text", ":x NOTICE"},
        {"NOTICE of one parameter", ":x NOTICE me"},
        {"NOTICE of a lone \\x01", ":a!u@h NOTICE #a :\x01"},
        {"a server CTCP notice", ":srv NOTICE me :\x01PING"},
        {"a prefixed channel notice", ":a!u@h NOTICE @#a :x"},
        {"a notice to prefixes only", ":a!u@h NOTICE @@ :x"},
        {"a server-mask notice", ":a!u@h NOTICE $$ :x"},
        // Other commands.
        {"TOPIC without channel", ":x TOPIC"},
        {"TOPIC with huge text", ":a!u@h TOPIC #a :" + huge},
        {"INVITE without channel", ":x INVITE me"},
        {"INVITE to a 300-char channel", ":x!u@h INVITE me :#" + rep('i', 300)},
        {"KILL without nick", ":x KILL"},
        {"KILL of us", ":op!u@h KILL me :bye"},
        {"KILL of a member", ":op!u@h KILL a :bye"},
        {"PING alone", "PING"},
        {"PING of nothing", "PING :"},
        {"PING of a huge token", "PING :" + huge},
        {"PING with a source", ":srv PING"},
        {"PONG alone", "PONG"},
        {"PONG with a huge text", ":srv PONG srv :" + huge},
        {"ERROR alone", "ERROR"},
        {"ERROR: alone", "ERROR:"},
        {"ERROR with a source", ":srv ERROR :Closing Link:"},
        {"WALLOPS alone", ":x WALLOPS"},
        {"KNOCK alone", ":x KNOCK"},
        {"PROP alone", ":x PROP"},
        {"EVENT alone", ":x EVENT"},
        {"WHISPER alone", ":x WHISPER"},
        {"CREATE without IRCX", "CREATE #x"},
        {"sourceless unknown command", "FOO bar :baz qux"},
        {"a command of bytes", ":x \x01\xff\x7f"},
        // Numerics.
        {"numeric 000", ":srv 000 me :x"},
        {"numeric 999", ":srv 999"},
        {"numeric 0001", ":srv 0001 me :x"},
        {"numeric of many digits", ":srv 00000000000000000001 me :x"},
        {"numeric past the int range", ":srv 4294967297 me :x"},
        {"numeric with letters", ":srv 1x me :x"},
        {"a bare numeric", "001"},
        {"welcome without nick", ":srv 001"},
        {"welcome with huge nick", ":srv 001 " + huge},
        {"server info short", ":srv 004 me"},
        {"server info of bytes", ":srv 004 me srv " + bytes},
        {"capabilities without tokens", ":srv 005"},
        {"capabilities of our nick only", ":srv 005 me"},
        {"PREFIX with many letters", ":srv 005 me PREFIX=(" + rep('o', 1) + "vabcdefghijklmnopqrstuvwxyzABCDEFGHIJ)@+!\"#$%&'()*,-./0123456789;<=>?[ :x"},
        {"PREFIX of one letter", ":srv 005 me PREFIX=(o) :x"},
        {"PREFIX empty pair", ":srv 005 me PREFIX=() :x"},
        {"PREFIX unclosed", ":srv 005 me PREFIX=( :x"},
        {"PREFIX closing only", ":srv 005 me PREFIX=) :x"},
        {"PREFIX more signs than letters", ":srv 005 me PREFIX=(o)@+%~& :x"},
        {"PREFIX of huge size", ":srv 005 me PREFIX=(" + rep('z', 3000) + ")" + rep('!', 1000) + " :x"},
        {"CHANMODES of commas", ":srv 005 me CHANMODES=,,,,, :x"},
        {"CHANMODES empty", ":srv 005 me CHANMODES= :x"},
        {"CHANTYPES of forbidden characters", ":srv 005 me CHANTYPES=@$ :x"},
        {"TARGMAX negative", ":srv 005 me TARGMAX=PRIVMSG:-5 :x"},
        {"TARGMAX of separators", ":srv 005 me TARGMAX=,,,:,WHOIS: :x"},
        {"NICKLEN absurd", ":srv 005 me NICKLEN=999999999 :x"},
        {"MODES absurd", ":srv 005 me MODES=99999999999999999999 :x"},
        {"TOPICLEN negative", ":srv 005 me TOPICLEN=-9 :x"},
        {"WATCH absurd", ":srv 005 me WATCH=99999999999999999999 :x"},
        {"NETWORK huge", ":srv 005 me NETWORK=" + huge + " :x"},
        {"NETWORK of a path", ":srv 005 me NETWORK=../../x/y :x"},
        {"redirect short", ":srv 010 me"},
        {"user modes short", ":srv 221 me"},
        {"user modes huge", ":srv 221 me +" + huge},
        {"user counts short", ":srv 265 me"},
        {"away short", ":srv 301 me"},
        {"away of us", ":srv 301 me me :gone"},
        {"userhost empty", ":srv 302 me :"},
        {"userhost of a lone =", ":srv 302 me :="},
        {"userhost of odd entries", ":srv 302 me :*=x a=+ =b a*=+u@h b=-"},
        {"unaway", ":srv 305"},
        {"nowaway", ":srv 306"},
        {"whois user short", ":srv 311 me"},
        {"whois idle of nan", ":srv 317 me a nan nan"},
        {"whois idle of huge numbers", ":srv 317 me a 1e308 99999999999999999999"},
        {"whois idle negative", ":srv 317 me a -5 -5"},
        {"end of whois short", ":srv 318"},
        {"list entry short", ":srv 322 me"},
        {"list entry of a long name", ":srv 322 me #" + rep('l', 60) + " 5 :t"},
        {"list entry with Ctrl-Z", ":srv 322 me #x 5 :\x1a"},
        {"channel modes short", ":srv 324 me"},
        {"channel modes without modes", ":srv 324 me #a"},
        {"channel modes missing parameters", ":srv 324 me #a +klk key"},
        {"channel modes of many keys", ":srv 324 me #a +" + rep('k', 3000)},
        {"creation time short", ":srv 329 me #a"},
        {"creation time negative", ":srv 329 me #a -99999999999999999999"},
        {"creation time huge", ":srv 329 me #a 99999999999999999999"},
        {"no topic short", ":srv 331"},
        {"topic short", ":srv 332 me #a"},
        {"topic huge", ":srv 332 me #a :" + huge},
        {"topic setter short", ":srv 333 me #a"},
        {"topic setter of a huge time", ":srv 333 me #a x 99999999999999999999999"},
        {"inviting short", ":srv 341 me"},
        {"list count short", ":srv 345 me"},
        {"who line short", ":srv 352 me"},
        {"who line with huge nick", ":srv 352 me #a u h s " + huge + " H :0 r"},
        {"end of who short", ":srv 315 me"},
        {"names short", ":srv 353"},
        {"names of our nick only", ":srv 353 me"},
        {"names without list", ":srv 353 me = #a"},
        {"names of an empty list", ":srv 353 me = #a :"},
        {"names of prefixes only", ":srv 353 me = #a :~&@%+ @ +"},
        {"names of odd entries", ":srv 353 me = #a :@+a +@b !x a!b!c x!"},
        {"names of a huge entry", ":srv 353 me = #a :" + huge},
        {"names of a 300-char channel", ":srv 353 me = #" + rep('n', 300) + " :a"},
        {"end of names short", ":srv 366"},
        {"end of names of our nick", ":srv 366 me"},
        {"links short", ":srv 364 me"},
        {"end of links short", ":srv 365 me"},
        {"motd line short", ":srv 372 me"},
        {"motd start of dashes", ":srv 375 me :- - -"},
        {"end of motd", ":srv 376 me"},
        {"no such nick short", ":srv 401 me"},
        {"no such channel of ours", ":srv 403 me #a :No such channel"},
        {"cannot send short", ":srv 404 me"},
        {"nick in use of a channel", ":srv 433 me #a :x"},
        {"nick in use short", ":srv 433"},
        {"not on channel", ":srv 442 me #a :x"},
        {"channel full", ":srv 471 me #a :full"},
        {"refused join text", ":srv 477 me #a :join"},
        {"not operator short", ":srv 482 me"},
        {"voiced operator", ":srv 489 me #a :voiced operator"},
        {"services short", ":srv 650 me"},
        {"services end", ":srv 651 me"},
        {"IRCX list entry short", ":srv 812 me"},
    };
    // A NAMES reply of absurd size is in its own test below.
    return c;
}

TEST_F(HostileLines, EveryHandledCommandSurvivesBrokenForms)
{
    for (const HostileCase& c : hostile_cases()) {
        SCOPED_TRACE(c.name);
        for (const std::string& line : c.lines) feed(line);
        test_drain_events();
        expect_sane();
        if (HasFatalFailure()) return;
        baseline();
    }
}

// The IRCX forms rewrite the parsed line before their handlers run.
TEST_F(HostileLines, IrcxRewritesSurviveBrokenForms)
{
    const std::string huge = rep('x', 10000);
    const HostileCase cases[] = {
        {"CREATE alone", "CREATE"},
        {"CREATE of a channel", "CREATE #new"},
        {"CREATE of a huge channel", "CREATE #" + huge},
        {"PROP alone", ":a!u@h PROP"},
        {"PROP MEMBERKEY without value", ":a!u@h PROP #a MEMBERKEY"},
        {"PROP MEMBERKEY empty", ":a!u@h PROP #a MEMBERKEY :"},
        {"PROP MEMBERKEY huge", ":a!u@h PROP #a MEMBERKEY :" + huge},
        {"PROP TOPIC without text", ":a!u@h PROP #a TOPIC"},
        {"PROP TOPIC huge", ":a!u@h PROP #a TOPIC :" + huge},
        {"PROP of our nick", ":a!u@h PROP me MEMBERKEY x"},
        {"WHISPER short", ":a!u@h WHISPER #a me"},
        {"WHISPER", ":a!u@h WHISPER #a me :x"},
        {"a channel as source", ":#a!x PRIVMSG me :hi"},
        {"DATA", ":srv DATA x y"},
        {"EVENT short", ":srv EVENT x"},
        {"KNOCK short", ":srv KNOCK"},
        {"IRCX numeric 800", ":srv 800 me 1 0 ANON 512 *"},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        feed(":srv 005 me IRCX :are supported");
        ASSERT_TRUE(conn->server_flags & 0x20);
        for (const std::string& line : c.lines) feed(line);
        test_drain_events();
        expect_sane();
        if (HasFatalFailure()) return;
        baseline();
    }
}

// A line short of its command's parameters is dropped before any handler:
// no script event (not even raw), nothing sent, nobody joins or leaves. The
// same line with the missing parameter does reach its handler, so each case
// shows that the drop is the minimum's doing.
TEST_F(HostileLines, LinesShortOfTheirParametersAreDroppedUnseen)
{
    struct Case {
        const char* short_line;
        const char* full_line;
    } cases[] = {
        {":a!ua@ha PRIVMSG #a", ":a!ua@ha PRIVMSG #a :hi"},
        {":a!ua@ha PRIVMSG", ":a!ua@h PRIVMSG me :hi"},
        {":a!ua@ha NOTICE", ":a!ua@ha NOTICE me :hi"},
        {":a!ua@ha MODE", ":a!ua@ha MODE #a +m"},
        {":z!uz@hz JOIN", ":z!uz@hz JOIN #a"},
        {":a!ua@ha PART", ":a!ua@ha PART #a"},
        {":a!ua@ha KICK #a", ":a!ua@ha KICK #a b"},
        {":a!ua@ha KICK", ":a!ua@ha KICK #a b"},
        {":a!ua@ha NICK", ":a!ua@ha NICK a2"},
        {":a!ua@ha INVITE me", ":a!ua@ha INVITE me :#x"},
        {":a!ua@ha KILL", ":a!ua@ha KILL b :gone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.short_line);
        const std::set<std::string> before = members();
        h_noted = 0;
        wire.clear();
        for (int i = 0; i < 2; ++i) feed(c.short_line);  // twice: nothing builds up
        test_drain_events();
        EXPECT_EQ(h_noted, 0u) << "an event fired";
        EXPECT_TRUE(sent().empty());
        EXPECT_EQ(members(), before);
        expect_sane();
        if (HasFatalFailure()) return;
        feed(c.full_line);
        test_drain_events();
        EXPECT_TRUE(h_noted > 0 || members() != before) << "the full line did nothing: " << c.full_line;
        baseline();
    }

    // Every command of the table, one parameter short, from a user and from
    // the server, in upper and lower case.
    for (const ServerMessage& e : irc_server_messages()) {
        if (e.min_params == 0) continue;
        std::string params;
        for (int i = 1; i < e.min_params; ++i) params += i == 1 ? " #a" : " b";
        for (const std::string& line : {":a!ua@ha " + std::string(e.word) + params,
                                        ":srv " + text_lower_copy(e.word) + params}) {
            SCOPED_TRACE(line);
            const std::set<std::string> before = members();
            h_noted = 0;
            wire.clear();
            feed(line);
            test_drain_events();
            EXPECT_EQ(h_noted, 0u) << "an event fired";
            EXPECT_TRUE(sent().empty());
            EXPECT_EQ(members(), before);
            expect_sane();
            if (HasFatalFailure()) return;
        }
    }
}

// A names reply of 100,000 entries over many lines: every member arrives,
// in order, and the list and its pane stay in step; filling and emptying
// (a new reply, our part) take linear time, not quadratic.
// A names reply of that many members over as many lines as it takes.
void fill_names(Connection* conn, const std::string& chan, int total)
{
    int sent = 0;
    while (sent < total) {
        std::string line = ":srv 353 me = " + chan + " :";
        while (sent < total && line.size() < kLongText - 12) {
            line += (sent % 7 == 0 ? "@n" : "n") + std::to_string(sent) + " ";
            ++sent;
        }
        irc_dispatch_line(line, conn);
    }
    irc_dispatch_line(":srv 366 me " + chan + " :End of /NAMES list.", conn);
}

TEST_F(HostileLines, HugeNamesReplyFillsTheListInStep)
{
    // Milliseconds to empty a list of n members by a new reply (how == 0)
    // or by our part (how == 1).
    auto empty_ms = [this](int n, int how) -> double {
        fill_names(conn, "#b", n);
        WindowRecord* w = channel("#b");
        EXPECT_NE(w, nullptr);
        EXPECT_EQ(nicklist_count(w), n);
        // Processor time: the work, not what else the machine runs.
        const double start = thread_cpu_ms();
        if (how == 0) {
            feed(":srv 353 me = #b :@me a b");
            feed(":srv 366 me #b :End of /NAMES list.");
            EXPECT_EQ(nicklist_count(w), 3);
        } else {
            feed(":me!u@h PART #b");
            EXPECT_EQ(channel("#b"), nullptr);
        }
        const double ms = thread_cpu_ms() - start;
        test_drain_events();
        baseline();
        return ms;
    };

    const int total = 100000;
    fill_names(conn, "#a", total);
    WindowRecord* w = channel("#a");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(nicklist_count(w), total);
    expect_sane();

    // Ten times the members may cost ten times as much, not a hundred.
    for (int how : {0, 1}) {
        SCOPED_TRACE(how == 0 ? "a new names reply" : "our part");
        // The better of two runs each: a busy machine only ever adds time.
        const double small = std::min(empty_ms(total / 20, how), empty_ms(total / 20, how));
        const double big = std::min(empty_ms(total / 2, how), empty_ms(total / 2, how));
        EXPECT_LT(big, 30 * std::max(small, 1.0)) << small << " ms for " << total / 20 << " members, " << big
                                                   << " ms for " << total / 2;
    }
    expect_sane();
}

// Nicks that can never be addressed again must not be left in the address
// list: after the last shared channel goes, the list is empty. Renames to
// nicks holding "!" or blanks, and our join of a channel we are on (the
// members it discards), once left entries behind.
TEST_F(HostileLines, AddressListDrainsAfterHostileRenamesAndRejoins)
{
    const char* const lines[] = {
        ":only!u@h JOIN #c",
        ":me!u@h JOIN #c",
        ":a!ua@ha NICK x!y@z",
        ":b!u@h NICK :with blank",
        ":c!u@h NICK #c",
        ":voice!u@h PRIVMSG #a :hi",
        ":op!u@h MODE #a +o voice",
        ":fresh1!u@h JOIN #b",
        ":fresh2!u@h JOIN #b",
        ":fresh1!u@h NICK :fresh!1",
        ":fresh2!u@h NICK fresh2!x@y",
    };
    for (const char* l : lines) feed(l);
    expect_sane();
    expect_address_list_drains(true);
}

// A names reply that leaves members out: their addresses go with them once
// no channel holds them, however many replies a server sends.
TEST_F(HostileLines, NamesRepliesThatDropMembersDropTheirAddresses)
{
    IalResult r;
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string list = ":~me a!ua@ha";
        for (int i = 0; i < 20; ++i) list += " r" + std::to_string(round) + "_" + std::to_string(i) + "!u@h";
        feed(":srv 353 me = #b " + list);
        feed(":srv 366 me #b :End of /NAMES list.");
        EXPECT_NE(ial_lookup("r" + std::to_string(round) + "_0", r, conn), nullptr);
        EXPECT_LE(ial_count(conn), 2 + 20) << "addresses of earlier replies were kept";
    }
    feed(":srv 353 me = #b :~me");
    feed(":srv 366 me #b :End of /NAMES list.");
    EXPECT_EQ(ial_lookup("r49_0", r, conn), nullptr);
    // A member set aside that another channel still holds keeps its address.
    EXPECT_NE(ial_lookup("a", r, conn), nullptr);
    EXPECT_EQ(r.text, "a!ua@ha");
    expect_sane();
}

// A server that makes us join and leave channel after channel, with topics,
// limits and queries on the way: what is kept per window goes with the
// window.
TEST_F(HostileLines, WindowsThatComeAndGoLeaveNothingBehind)
{
    const std::string topic = rep('t', 4000);
    for (int i = 0; i < 80; ++i) {
        const std::string chan = "#t" + std::to_string(i);
        feed(":me!u@h JOIN " + chan);
        feed(":srv 332 me " + chan + " :" + topic);
        feed(":op!u@h MODE " + chan + " +l " + std::to_string(i + 1));
        feed(":q" + std::to_string(i) + "!u@h PRIVMSG me :hi");
        feed(":me!u@h PART " + chan);
        close_queries();
        test_drain_events();
    }
    expect_sane();
    EXPECT_LE(caption_kept_count(), 2 * win_count() + 32);
    EXPECT_LE(chan_mode_limit_count(), 2 * win_count() + 32);
}

// A links reply that never ends holds up to 10,000 entries: they go with
// the connection's record, not stay behind it.
TEST_F(HostileLines, AFreedConnectionTakesItsReplyStateWithIt)
{
    for (int i = 0; i < 200; ++i) feed(":srv 364 me s" + std::to_string(i) + " srv :1 " + rep('d', 500));
    ASSERT_EQ(strlist_count(query_reply_state(conn)->links_list), 200);
    const std::size_t held = record_slots_live();
    conn->connected = 0;
    conn_free(conn);
    ASSERT_FALSE(conn_is_live(conn));
    // Its states went with the record, the reply state among them.
    EXPECT_LT(record_slots_live(), held);
    conn = conn_new(conn_list);
    ASSERT_NE(conn, nullptr);
    EXPECT_EQ(query_reply_state(conn)->links_list, nullptr);
    EXPECT_EQ(query_reply_state(conn)->links_pending, 0);
}

// A channel window the server takes away (our part, our kick, a refused
// join it was waiting for) goes with its widgets: nothing is left on
// screen or in memory for the lines of a long session to pile up.
TEST_F(HostileLines, AChannelLeftTakesItsWidgetsWithIt)
{
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        int waiting;  // the window waits for its join
    } cases[] = {
        {"our part", {":me!u@h PART #a"}, 0},
        {"our kick", {":op!u@h KICK #a me :out"}, 0},
        {"a join refused while waiting", {":srv 471 me #a :Channel is full"}, 1},
        {"our join of a name that is no channel", {":srv 005 me CHANTYPES=& :x", ":me!u@h JOIN #a"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRecord* w = channel("#a");
        ASSERT_NE(w, nullptr);
        QPointer<QWidget> window = w->hwnd.get();
        QPointer<QWidget> container = win_container(window);
        if (c.waiting) w->chan_state = 1;
        const int widgets = static_cast<int>(QApplication::allWidgets().size());
        for (const std::string& line : c.lines) feed(line);
        test_drain_events();
        EXPECT_EQ(channel("#a"), nullptr);
        EXPECT_TRUE(window.isNull()) << "the window's widget outlived its record";
        EXPECT_TRUE(container.isNull());
        EXPECT_LT(static_cast<int>(QApplication::allWidgets().size()), widgets);
        baseline();
    }
}

// ---- Fuzz ----

// Lines shaped like what servers send, with a share mutated: words
// replaced by empty, overlong, binary or prefix-laden texts, dropped or
// repeated. The own nick and the channels come from small pools, so the
// windows and members that the lines justify stay countable.
class LineFuzzer {
public:
    explicit LineFuzzer(unsigned seed) : rng_(seed) {}

    std::string next(const std::string& own)
    {
        own_ = own;
        std::vector<std::string> w = shaped();
        if (chance(25)) mutate(w);
        std::string line;
        for (std::size_t i = 0; i < w.size(); ++i) {
            if (i) line += chance(2) ? "  " : " ";
            line += w[i];
        }
        if (chance(1)) line = "  " + line;
        note_names(line);
        return line;
    }

    // Every name the lines carried (each word, without its leading ":" and
    // prefix characters, whole and up to its "!", and the trailing text):
    // members must come from these.
    bool seen(const std::string& nick) const { return seen_names_.count(text_lower_copy(nick)) != 0; }

    void note_names(const std::string& line)
    {
        auto add = [this](std::string name) {
            seen_names_.insert(text_lower_copy(name.substr(0, kShortText)));
            std::size_t bang = name.find('!');
            if (bang != std::string::npos) seen_names_.insert(text_lower_copy(name.substr(0, bang)));
        };
        const std::string visible = line.substr(0, line.find('\0'));
        std::size_t trailing = visible.find(" :");
        if (trailing != std::string::npos) add(visible.substr(trailing + 2));
        std::size_t pos = 0;
        while (pos < visible.size()) {
            std::size_t end = visible.find(' ', pos);
            if (end == std::string::npos) end = visible.size();
            std::string word = visible.substr(pos, end - pos);
            add(word);
            std::size_t skip = word.find_first_not_of(":~&@%+");
            if (skip != std::string::npos) add(word.substr(skip));
            pos = end + 1;
        }
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }
    template <std::size_t N>
    const char* from(const char* const (&pool)[N]) { return pool[pick(static_cast<int>(N))]; }

    std::string nick()
    {
        static const char* const pool[] = {"a", "b", "c", "op", "half", "voice", "n0", "n1", "n2", "n3",
                                           "n4", "n5", "N5", "n6", "n7", "n8", "n9", "me_", "Zed", "z[1]"};
        return chance(12) ? own_ : std::string(from(pool));
    }
    std::string chan()
    {
        static const char* const pool[] = {"#a", "#b", "#c", "#d", "&e", "#A", "#f.x", "+g", "!h"};
        return from(pool);
    }
    std::string source()
    {
        if (chance(15)) return ":srv";
        std::string n = nick();
        if (chance(85)) n += "!u" + std::to_string(pick(3)) + "@h" + std::to_string(pick(3));
        return ":" + n;
    }
    std::string text()
    {
        static const char* const pool[] = {"hello", "", "\x01" "ACTION waves\x01", "\x01VERSION\x01", "\x01",
                                           "\x03" "4,12red\x0f", "x\x03", "\x01PING 1\x01", "a b  c",
                                           ":colon", "$me %var", "|| /quit"};
        std::string t = from(pool);
        if (chance(10)) t += garbage();
        return ":" + t;
    }
    std::string modes()
    {
        static const char* const pool[] = {"+o", "-o", "+v", "+ov", "-v+o", "+b", "+k", "-k", "+l", "-l",
                                           "+q", "+a", "+h", "+imnpst", "+e-I", "+", "-", "o"};
        std::string m = from(pool);
        if (chance(10)) m += from(pool);
        return m;
    }
    std::string names()
    {
        static const char* const prefixes[] = {"", "", "@", "+", "~", "%", "@+", "+@", "&"};
        std::string out = ":";
        int n = pick(8);
        for (int i = 0; i < n; ++i) {
            if (i) out += ' ';
            out += std::string(from(prefixes)) + nick();
            if (chance(30)) out += "!u@h";
        }
        return out;
    }
    std::string garbage()
    {
        switch (pick(10)) {
        case 8: return std::string("nul\0tail", 8);
        case 0: return std::string();
        case 1: return ":";
        case 2: return std::string(static_cast<std::size_t>(pick(700)), 'g');
        case 3: return "@+~&%";
        case 4: return "\x01\x01\x03\x02";
        case 5: return "#";
        case 6: return "!" + std::string(static_cast<std::size_t>(pick(40)), '@');
        default: {
            std::string s;
            int n = 1 + pick(30);
            for (int i = 0; i < n; ++i) {
                char c = static_cast<char>(1 + pick(255));
                if (c != '\r' && c != '\n') s += c;
            }
            return s;
        }
        }
    }

    std::vector<std::string> shaped()
    {
        static const char* const numerics[] = {"001", "004", "005", "221", "301", "302", "305", "306", "311",
                                               "312", "315", "317", "318", "319", "321", "322", "323", "324",
                                               "329", "331", "332", "333", "341", "352", "353", "364", "365",
                                               "366", "372", "375", "376", "401", "403", "404", "433", "442",
                                               "471", "473", "477", "482", "489", "999", "000", "0001",
                                               "800", "812", "010", "265", "329", "345", "650"};
        const std::string src = source();
        switch (pick(20)) {
        case 0: case 1: case 2:
            return {src, "PRIVMSG", chance(60) ? chan() : (chance(50) ? own_ : "@" + chan()), text()};
        case 3:
            return {src, "NOTICE", chance(50) ? chan() : own_, text()};
        case 4: case 5:
            return {chance(40) ? ":" + own_ + "!u@h" : src, "JOIN", chance(50) ? ":" + chan() : chan()};
        case 6:
            return {chance(20) ? ":" + own_ + "!u@h" : src, "PART", chan(), text()};
        case 7:
            return {src, "KICK", chan(), nick(), text()};
        case 8:
            return {src, "QUIT", text()};
        case 9:
            return {src, "NICK", chance(50) ? nick() : ":" + nick()};
        case 10: case 11: {
            std::vector<std::string> w = {src, "MODE", chance(85) ? chan() : own_, modes()};
            int n = pick(4);
            for (int i = 0; i < n; ++i) w.push_back(chance(70) ? nick() : std::to_string(pick(100)));
            return w;
        }
        case 12: {
            static const char* const cmds[] = {"TOPIC", "INVITE", "PROP", "WHISPER"};
            static const char* const props[] = {"MEMBERKEY", "TOPIC", "OWNERKEY"};
            std::vector<std::string> w = {src, from(cmds), chance(50) ? chan() : own_, text()};
            if (w[1] == "PROP" || w[1] == "WHISPER") w.insert(w.begin() + 3, w[1] == "PROP" ? from(props) : own_);
            return w;
        }
        case 13: {
            static const char* const cmds[] = {"PING", "PONG",   "KILL",  "WALLOPS", "ERROR", "FOO",
                                               "NOTICE", "CREATE", "KNOCK", "EVENT",   "DATA"};
            std::vector<std::string> w = {from(cmds), text()};
            if (chance(30)) w.insert(w.begin() + 1, chance(50) ? chan() : nick());
            if (chance(50)) w.insert(w.begin(), src);
            return w;
        }
        case 14: case 15:
            return {":srv", "353", own_, "=", chan(), names()};
        case 16:
            return {":srv", "366", own_, chan(), ":End"};
        default: {
            std::vector<std::string> w = {":srv", from(numerics), own_};
            int n = pick(7);
            for (int i = 0; i < n; ++i) {
                switch (pick(5)) {
                case 0: w.push_back(chan()); break;
                case 1: w.push_back(nick()); break;
                case 2: w.push_back(std::to_string(pick(2000000000))); break;
                case 3: w.push_back(modes()); break;
                default: w.push_back(text()); break;
                }
            }
            return w;
        }
        }
    }

    void mutate(std::vector<std::string>& w)
    {
        int n = 1 + pick(3);
        for (int i = 0; i < n && !w.empty(); ++i) {
            std::size_t at = static_cast<std::size_t>(pick(static_cast<int>(w.size())));
            switch (pick(4)) {
            case 0: w[at] = garbage(); break;
            case 1: w.erase(w.begin() + static_cast<std::ptrdiff_t>(at)); break;
            case 2: w.insert(w.begin() + static_cast<std::ptrdiff_t>(at), w[at]); break;
            default: w[at] += garbage(); break;
            }
        }
    }

    std::mt19937 rng_;
    std::string own_;
    std::set<std::string> seen_names_;
};

TEST_F(HostileLines, SeededFuzzKeepsTheStateSaneAndBounded)
{
    // KEST_FUZZ_LINES and KEST_FUZZ_SEED run a longer or another fuzz by hand.
    const int total = std::getenv("KEST_FUZZ_LINES") ? std::atoi(std::getenv("KEST_FUZZ_LINES")) : 60000;
    const unsigned seed = std::getenv("KEST_FUZZ_SEED")
                              ? static_cast<unsigned>(std::strtoul(std::getenv("KEST_FUZZ_SEED"), nullptr, 10))
                              : 20240611u;
    const int check_every = 2000;
    LineFuzzer fuzz(seed);
    for (const std::string& m : members()) fuzz.note_names(m);
    test_drain_events();
    const int widgets_at_start = static_cast<int>(QApplication::allWidgets().size());
    const int windows_at_start = win_count();
    QElapsedTimer clock;
    clock.start();
    int fed = 0;
    for (; fed < total; ++fed) {
        const std::string line = fuzz.next(membership_own_nick(conn));
        feed(line);
        if (fed % 2000 == 1999) test_drain_events();
        if (fed % check_every == 0) {
            SCOPED_TRACE("after line " + std::to_string(fed) + ": " + line.substr(0, 200));
            expect_sane();
            if (HasFatalFailure()) return;
            // Every member was named by some line.
            for (const std::string& m : members())
                ASSERT_TRUE(fuzz.seen(m)) << "member from nowhere: " << m;
            // Text from the server never runs as a command ("|| /quit").
            for (const std::string& line : sent()) ASSERT_NE(line.rfind("QUIT", 0), 0u) << line;
            wire.clear();
            // The user closes the queries now and then, as people do.
            if (fed % 10000 == 0) {
                close_queries();
                test_drain_events();
                // The widgets of closed windows went with them.
                EXPECT_LT(static_cast<int>(QApplication::allWidgets().size()),
                          widgets_at_start + 100 + 40 * std::max(0, win_count() - windows_at_start));
            }
        }
        if (clock.elapsed() > 60000) break;  // a runaway is reported below, not waited out
    }
    EXPECT_EQ(fed, total) << "the fuzz ran out of time after " << fed << " lines";
    test_drain_events();
    expect_sane();
    EXPECT_GT(h_noted, 0u) << "the scripts never ran";
    expect_address_list_drains();
    RecordProperty("fuzz_ms", static_cast<int>(clock.elapsed()));
}

// ---- The receive loop on a real link ----

// A loopback TCP link: the connection reads the accepted end through the
// program's sockets, the test writes to the other end. The lines the
// dispatcher is handed are read from the connection's /debug traffic file.
class HostileReceive : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        test_app();
        frame_proc_install();
        irc_link_install();
        app_wire_irc_link();
        ASSERT_TRUE(settings.made());
        max_pending() = 0;

        listener = sock_create(AF_INET, SOCK_STREAM);
        ASSERT_GE(listener, 0);
        SockAddr any;
        ASSERT_TRUE(sockaddr_from_text("127.0.0.1", 0, any));
        ASSERT_EQ(sock_bind(listener, any), 0);
        ASSERT_EQ(sock_listen(listener, 1), 0);
        SockAddr bound;
        ASSERT_EQ(sock_local_address(listener, bound), 0);
        peer = ::socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(peer, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(sockaddr_port(bound)));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(peer, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        const int one = 1;  // each push leaves at once
        ::setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        pollfd p{listener, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 2000), 1);
        link = sock_accept(listener, nullptr);
        ASSERT_GE(link, 0);

        conn = conn_new(nullptr);
        ASSERT_NE(conn, nullptr);
        conn->socket = link;
        conn->connected = 1;
        ASSERT_TRUE(traffic_file_start(conn, "traffic.log"));
    }
    void TearDown() override
    {
        if (conn && conn_is_live(conn)) {
            conn->connected = 0;
            conn_free(conn);  // closes the link's socket
        }
        if (peer >= 0) ::close(peer);
        if (listener >= 0) sock_close(listener);
        test_drain_events();
    }

    // The lines the dispatcher was handed since the last clear_lines().
    std::vector<std::string> lines()
    {
        std::vector<std::string> all = traffic_received(settings.path() + "traffic.log");
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(seen, all.size())), all.end());
    }
    void clear_lines() { seen = traffic_received(settings.path() + "traffic.log").size(); }
    static std::size_t& max_pending()
    {
        static std::size_t m = 0;
        return m;
    }

    // Writes everything to the peer end, letting the program read between
    // writes when the socket buffers fill, and returns once every byte has
    // reached the program's end (the peer's send queue is empty).
    void push(const std::string& data)
    {
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::send(peer, data.data() + done, data.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            read_available();
        }
        QElapsedTimer clock;
        clock.start();
        int unsent = 0;
        while (::ioctl(peer, SIOCOUTQ, &unsent) == 0 && unsent > 0) {
            read_available();
            ASSERT_LT(clock.elapsed(), 60000) << "the bytes never reached the program's end";
        }
    }

    // Runs the receive loop until the link holds nothing more to read
    // (bursts yield to a 10 ms re-poll, served by the frame's message).
    void read_available()
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            irc_read_loop(static_cast<uintptr_t>(link), WSAMAKESELECTREPLY(FD_READ, 0));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            // What a line in assembly holds between reads.
            max_pending() = std::max(max_pending(), conn->recv_line.capacity());
            pollfd p{link, POLLIN, 0};
            if (::poll(&p, 1, 0) == 0 && !sock_defer_poll(WM_APP_SERVER_SOCKET, link, FD_READ, 1)) return;
            ASSERT_LT(clock.elapsed(), 60000) << "the receive loop did not drain the link";
        }
    }

    TempSettingsDir settings{"kest_receive_"};
    std::size_t seen = 0;
    int listener = -1;
    int peer = -1;
    int link = -1;
    Connection* conn = nullptr;
};

TEST_F(HostileReceive, FramesHostileBytesAsLinesOfBoundedSize)
{
    struct Case {
        std::string name;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const std::string cut(kRecvLineCut, 'm');
    const Case cases[] = {
        // The dispatcher reads a line up to its first NUL byte; a line that
        // is nothing more is not handed on.
        {"NUL bytes stay inside their line", std::string("A\0B\r\n\0\r\nC\r\n", 11), {"A", "C"}},
        {"lone CRs are dropped", "AB\rCD\r\r\nE\rF\n", {"ABCD", "EF"}},
        {"a CR at the very end waits", "X\r", {}},
        {"bare LFs end lines", "\n\nG\nH\n", {"G", "H"}},
        {"one megabyte without LF, then a line", std::string(1 << 20, 'm') + "\r\nNEXT\r\n", {cut, "NEXT"}},
        {"exactly the cut length", cut + "\r\nOK\r\n", {cut, "OK"}},
        {"one under the cut length", cut.substr(1) + "\r\n", {cut.substr(1)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clear_lines();
        conn->recv_line.clear();
        conn->line_length = 0;
        conn->line_overflow = 0;
        push(c.bytes);
        read_available();
        EXPECT_EQ(lines(), c.lines);
        EXPECT_TRUE(conn_is_live(conn));
        EXPECT_EQ(conn->connected, 1);
        EXPECT_LE(conn->recv_line.size(), static_cast<std::size_t>(kRecvLineCut));
        EXPECT_LE(max_pending(), static_cast<std::size_t>(2 * kRecvLineCut));
    }
}

TEST_F(HostileReceive, ALineSplitAtEveryByteArrivesWhole)
{
    const std::string block = ":a!u@h PRIVMSG #c :hello there\r\n:srv 001 me :Welcome\r\nPING :tok\r\n";
    const std::vector<std::string> expected = {":a!u@h PRIVMSG #c :hello there", ":srv 001 me :Welcome",
                                               "PING :tok"};
    for (std::size_t at = 0; at <= block.size(); ++at) {
        SCOPED_TRACE("split at " + std::to_string(at));
        clear_lines();
        push(block.substr(0, at));
        read_available();
        push(block.substr(at));
        read_available();
        ASSERT_EQ(lines(), expected);
        ASSERT_TRUE(conn->recv_line.empty());
    }
}

// The dispatcher reads a received line the way the program always has: up
// to its first NUL byte.
TEST_F(HostileReceive, TheDispatcherStopsAtANulByte)
{
    WindowRecord* status = buffer_window_open(conn, "Status", kWinStatus);
    PrintedLines printed;
    push(std::string("FOO bar\0:hidden text\r\nBAZ qux\0zzz\r\n", 35));
    read_available();
    EXPECT_EQ(printed.in(status), (std::vector<std::string>{"FOO bar", "BAZ qux"}));
    buffer_window_free(status);
}

} // namespace
