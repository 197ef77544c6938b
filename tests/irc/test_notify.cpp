// The notify list: its stored form, adding and finding entries, ISON polls
// (interval, long lists, deferral), the answers with their announcements,
// NOTIFY and UNOTIFY events, sounds and WHOIS, WATCH servers and their
// numerics, sightings from ordinary server lines, the stages of a link, the
// address list, the Notify List window's lines, and /notify.
#include <gtest/gtest.h>
#include "support/script_engine.h"
#include "app/subsystems.h"

#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "model/connection.h"
#include "irc/link/conn_tick.h"
#include "app/startup.h"
#include "model/window_record.h"
#include "commands/notify_commands.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/link/close.h"
#include "irc/lists/address_list.h"
#include "irc/lists/notify_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "platform/platform_utils.h"
#include "script/eval/conditions.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "support/test_wire.h"
#include "commands/output_commands.h"
#include "commands/variable_commands.h"
#include "identifiers/builtin_identifiers.h"
#include "printed_lines.h"

namespace {

struct Printed {
    QWidget* window;
    std::uint32_t colour;
    std::string text;
    int frame;  // bit 1: a separator was stored before it, bit 2: after it
};

std::vector<Printed> printed;            // every line the print path stored
std::vector<std::string> status_shown;   // status window lines other than the announcements
std::vector<std::string> said;           // the test scripts' /say
std::vector<std::string> played;         // sound files
int beeps = 0;

// Hears the print path: a line joins `printed` (and `status_shown`), a
// separator marks the window's line before it and the window's next line.
std::vector<WindowRecord*> separator_last;  // windows whose newest store is a separator
void on_printed(const LinePrinted& l)
{
    if (l.event != kPrintStored || !l.first_part) return;
    auto last = std::find(separator_last.begin(), separator_last.end(), l.rec);
    if (l.separator) {
        if (last != separator_last.end()) return;
        separator_last.push_back(l.rec);
        for (auto p = printed.rbegin(); p != printed.rend(); ++p)
            if (p->window == l.rec->hwnd.get()) {
                p->frame |= 2;
                break;
            }
        return;
    }
    const bool after_separator = last != separator_last.end();
    if (after_separator) separator_last.erase(last);
    printed.push_back({l.rec->hwnd.get(), l.colour, std::string(l.text), after_separator ? 1 : 0});
    if (l.rec->type == kWinStatus && l.colour != kColorNotifyText) status_shown.emplace_back(l.text);
}
void cap_beep(int) { ++beeps; }
void cap_play(const std::string& file, Connection*) { played.push_back(file); }
int cmd_say(CommandCall& call)
{
    std::string text(call.rest());
    while (!text.empty() && text.back() == ' ') text.pop_back();
    said.push_back(text);
    return 1;
}

class NotifyTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        test_app();
        options_reset();
        opt_set(OPT_NOTIFY_ENABLED, 1);
        saved_events = event_switch_events;
        saved_raw_switch = event_switch_raw;

        test_script_engine_install();
        script_register_command("say", cmd_say);
        user_default_level = 1;
        event_startup_hold = 0;
        event_switch_events = 1;
        event_switch_raw = 1;
        remote_files_free_all();
        script_error_clear();
        irc_membership_install();
        app_wire_irc_membership();
        irc_notify_install();
        app_wire_irc_notify();
        separator_last.clear();
        line_printed.add_once(printed_listener, 0, on_printed);
        beep_play_hook = cap_beep;
        notify_hooks = NotifyHooks();
        notify_hooks.play_file = cap_play;
        notify_default_on_sound.clear();
        notify_default_off_sound.clear();
        printed.clear();
        for (auto& w : wires) w->clear();
        status_shown.clear();
        said.clear();
        played.clear();
        beeps = 0;
        conn = make_conn("me");
    }

    void TearDown() override
    {
        remote_files_free_all();
        line_printed.drop(printed_listener);
        for (Connection* c : conns) drop_conn(c);
        conns.clear();
        for (WindowRecord* rec : status_windows) buffer_window_free(rec);
        status_windows.clear();
        irc_notify_uninstall();
        event_switch_events = saved_events;
        event_switch_raw = saved_raw_switch;
        script_error_clear();
        options_reset();
    }

    // A connected, logged-on connection with a status window.
    Connection* make_conn(const std::string& nick)
    {
        Connection* c = conn_new(nullptr);
        c->live_identity[2] = nick;
        c->server_name = "irc.test";
        irc_state_new_link(c);
        c->connected = 1;
        wires.push_back(std::make_unique<TestWire>());
        EXPECT_TRUE(wires.back()->ok());
        wires.back()->attach(c);
        c->registered = 1;
        irc_state(c)->logon_pending = 0;
        conn_set_isupport_defaults(c);
        ial_init(c);
        // A status window with a line already, so that a separator before
        // the first announcement shows.
        WindowRecord* status = buffer_window_open(c, "Status", kWinStatus);
        line_append(status, "connected", 0, 0, 0);
        status_windows.push_back(status);
        conns.push_back(c);
        return c;
    }
    void drop_conn(Connection* c)
    {
        if (!conn_is_live(c)) return;
        ial_clear(1, c);
        c->status_window = nullptr;
        c->connected = 0;
        c->socket = -1;
        conn_free(c);
    }
    void feed(const std::string& line, Connection* c = nullptr) { irc_dispatch_line(line, c ? c : conn); }
    void add(const std::string& nick, const std::string& note = "", const std::string& network = "")
    {
        ASSERT_EQ(notify_add(nick, note, "", "", 0, network, conn), 1) << nick;
    }
    // The link is up and logged on: the first full poll goes out.
    void logon()
    {
        notify_conn_stage(1, conn);
        notify_conn_stage(2, conn);
    }
    void answer(const std::string& nicks) { feed(":irc.test 303 me :" + nicks); }
    std::vector<std::string> announced() const
    {
        std::vector<std::string> out;
        for (const Printed& p : printed)
            if (p.window == conn->status_window.data() && p.colour == kColorNotifyText) out.push_back(p.text);
        return out;
    }
    void clear_captures()
    {
        printed.clear();
        for (auto& w : wires) w->clear();
        status_shown.clear();
        said.clear();
        played.clear();
        beeps = 0;
    }
    ScriptFile* script(const std::vector<std::string>& lines)
    {
        const std::string path = settings.path() + "notify" + std::to_string(++scripts) + ".kst";
        std::string text;
        for (const std::string& l : lines) text += l + "\n";
        spit(path, text);
        return remote_file_load(path, kRemoteScript, 9999, nullptr);
    }
    void ial(const std::string& nick, const std::string& address)
    {
        ial_update(&nick, &address, 0, conn);
    }
    int run(const std::vector<std::string>& args, Connection* c = nullptr)
    {
        CommandCall call;
        call.tokens = {"notify"};
        call.tokens.insert(call.tokens.end(), args.begin(), args.end());
        call.conn = c ? c : conn;
        call.window = (c ? c : conn)->status_window.data();
        return cmd_notify(call);
    }
    std::vector<std::string> printed_texts() const
    {
        std::vector<std::string> out;
        for (const Printed& p : printed) out.push_back(p.text);
        return out;
    }
    std::string ini_value(const char* section, const char* key)
    {
        std::string v;
        ini_read(section, key, "", v, 4200, std::string());
        return v;
    }

    // The lines sent to the servers so far, each connection's in order, the
    // connections in the order they were made.
    const std::vector<std::string>& sent()
    {
        sent_.clear();
        for (auto& w : wires)
            sent_.insert(sent_.end(), w->lines().begin(), w->lines().end());
        return sent_;
    }
    void clear_sent()
    {
        for (auto& w : wires) w->clear();
    }

    TempSettingsDir settings{"kest_notify_"};
    std::vector<std::unique_ptr<TestWire>> wires;  // one link per connection
    std::vector<std::string> sent_;
    Connection* conn = nullptr;
    std::vector<Connection*> conns;
    std::vector<WindowRecord*> status_windows;
    int printed_listener = 0;
    int scripts = 0;

    int saved_events = 1, saved_raw_switch = 1;
};

std::vector<std::string> nicks_of(Connection* c)
{
    std::vector<std::string> out;
    for (NotifyEntry* e = notify_head(c); e; e = e->next) out.push_back(e->nick);
    return out;
}

using Lines = std::vector<std::string>;

}  // namespace

// ---- The stored form ----

TEST_F(NotifyTest, StoredValuesLoadSortedAndSaveBackInTheSameForm)
{
    spit(settings.path() + "kest.ini",
         "[notify]\n"
         "n0=+zed!*@*.example.orgNOTE:old friendWAVE:sounds/on.wavWAVE2:beepDEFSNDS:1NETWORK:Libera,OFTC\n"
         "n1=Alice\n"
         "n2=bobNOTE:  spaced   note  DEFSNDS:0\n"
         "n3=alice!ali@*NOTE:replaces\n"
         "n4=\n"
         "n5=after-the-gap\n");
    notify_load(conn);
    ASSERT_EQ(nicks_of(conn), (Lines{"alice!ali@*", "bob", "zed!*@*.example.org"}));
    const NotifyEntry* zed = notify_find("zed", 1, conn);
    ASSERT_NE(zed, nullptr);
    EXPECT_EQ(zed->whois, 1);
    EXPECT_EQ(zed->note, "old friend");
    EXPECT_EQ(zed->on_sound, settings.path() + "sounds/on.wav");
    EXPECT_EQ(zed->off_sound, "beep");
    EXPECT_EQ(zed->default_sounds, 1);
    EXPECT_EQ(zed->network, "Libera,OFTC");
    const NotifyEntry* bob = notify_find("bob", 0, conn);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->note, "spaced note");
    EXPECT_EQ(bob->default_sounds, 0);
    EXPECT_EQ(notify_find("alice", 1, conn)->note, "replaces");
    // Tab completion sees the nicks.
    EXPECT_EQ(strlist_count(conn->notify_list), 3);

    notify_save(conn);
    EXPECT_EQ(ini_value("notify", "n0"), "alice!ali@*NOTE:replaces");
    EXPECT_EQ(ini_value("notify", "n1"), "bobNOTE:spaced note");
    EXPECT_EQ(ini_value("notify", "n2"),
              "+zed!*@*.example.orgNOTE:old friendWAVE:sounds/on.wavWAVE2:beepDEFSNDS:1NETWORK:Libera,OFTC");
    EXPECT_EQ(ini_value("notify", "n3"), "");

    // The saved form reads back as the same list.
    Connection* other = make_conn("me2");
    EXPECT_EQ(nicks_of(other), nicks_of(conn)) << "a new connection loads the list";
    EXPECT_EQ(notify_find("zed", 1, other)->on_sound, settings.path() + "sounds/on.wav");
}

TEST_F(NotifyTest, DefaultSoundsLiveInTheirOwnSection)
{
    spit(settings.path() + "kest.ini", "[notifyopts]\nn1=beep\nn2=snd/off.wav\n");
    notify_opts_load();
    EXPECT_EQ(notify_default_on_sound, "beep");
    EXPECT_EQ(notify_default_off_sound, settings.path() + "snd/off.wav");
    notify_default_on_sound = settings.path() + "snd/on.wav";
    notify_opts_save();
    EXPECT_EQ(ini_value("notifyopts", "n1"), "snd/on.wav");
    EXPECT_EQ(ini_value("notifyopts", "n2"), "snd/off.wav");
}

// ---- Adding and finding ----

TEST_F(NotifyTest, AddTakesTheFirstWordAndAPlusAsksForWhois)
{
    struct Case {
        const char* nick;
        const char* note;
        const char* network;
        int result;
        const char* stored;  // null: nothing added
        int whois;
        const char* stored_note;
        const char* stored_network;
    };
    const Case cases[] = {
        {"+", "", "", 1, nullptr, 0, "", ""},
        {"", "", "", 0, nullptr, 0, "", ""},
        {"    ", "", "", 0, nullptr, 0, "", ""},
        {"+  bob more words", "", "", 1, "bob", 1, "", ""},
        {"  carol!*@*.net", "  a   b  ", "net1 net2", 1, "carol!*@*.net", 0, "a b", "net1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("nick '") + c.nick + "'");
        notify_free_all(conn);
        EXPECT_EQ(notify_add(c.nick, c.note, "", "", 0, c.network, conn), c.result);
        if (!c.stored) {
            EXPECT_EQ(notify_count(conn), 0);
            continue;
        }
        ASSERT_EQ(notify_count(conn), 1);
        const NotifyEntry* e = notify_head(conn);
        EXPECT_EQ(e->nick, c.stored);
        EXPECT_EQ(e->whois, c.whois);
        EXPECT_EQ(e->note, c.stored_note);
        EXPECT_EQ(e->network, c.stored_network);
        EXPECT_GT(e->id, 0);
    }

    notify_free_all(conn);
    for (const char* n : {"Carl", "dave", "alice", "Bob"}) add(n);
    EXPECT_EQ(nicks_of(conn), (Lines{"alice", "Bob", "Carl", "dave"}));
    add("dave!d@*.example");
    EXPECT_EQ(nicks_of(conn), (Lines{"alice", "Bob", "Carl", "dave!d@*.example"})) << "the same nick is replaced";
    // Every entry has its own number, which no window takes.
    std::vector<int> ids;
    for (NotifyEntry* e = notify_head(conn); e; e = e->next) ids.push_back(e->id);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(win_id_in_use(ids.front()), 1);
}

TEST_F(NotifyTest, FindComparesWholeTextsOrNickParts)
{
    add("bob!b@host");
    struct Case {
        const char* nick;
        int mode;
        bool found;
    };
    const Case cases[] = {
        {"bob", 0, false},      {"bob", 1, true},          {"+bob!b@host", 0, true},
        {"BOB!x@y", 1, true},   {"bo", 1, false},          {"+", 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.nick) + " mode " + std::to_string(c.mode));
        EXPECT_EQ(notify_find(c.nick, c.mode, conn) != nullptr, c.found);
    }
    // The condition operator isnotify matches by the nick part.
    EXPECT_EQ(notify_has_nick("Bob!someone@else", conn), 1);
    EXPECT_EQ(notify_has_nick("carl", conn), 0);
}

// ---- ISON polls ----

TEST_F(NotifyTest, PollIntervalIsTheListSizeInSecondsAtLeastSixty)
{
    struct Case {
        int entries;
        int interval;
    };
    for (const Case& c : {Case{3, 60}, Case{61, 61}}) {
        SCOPED_TRACE(c.entries);
        notify_free_all(conn);
        for (int i = 0; i < c.entries; ++i) add("n" + std::to_string(i));
        notify_poll(0, conn);
        EXPECT_EQ(conn->notify_poll_interval, c.interval);
        answer("");  // the poll is answered
    }
}

TEST_F(NotifyTest, LongListsAreSplitAndEachLineWaitsForTheAnswerBefore)
{
    struct Case {
        const char* name;
        int ircx;
        std::size_t max_nicks;
    };
    for (const Case& c : {Case{"plain", 0, 1000}, Case{"IRCX", 1, 26}}) {
        SCOPED_TRACE(c.name);
        notify_free_all(conn);
        conn->server_flags = c.ircx ? 0x20 : 0;
        std::vector<std::string> all;
        char buf[32];
        for (int i = 0; i < 120; ++i) {
            std::snprintf(buf, sizeof buf, "nick%05d", i);
            all.push_back(buf);
            add(buf);
        }
        clear_captures();
        logon();
        std::vector<std::string> asked;
        int lines = 0;
        while (!sent().empty()) {
            ASSERT_EQ(sent().size(), 1u) << "one line at a time";
            const std::string line = sent().front();
            for (auto& w : wires) w->clear();
            ++lines;
            ASSERT_EQ(line.rfind("ISON ", 0), 0u) << line;
            ASSERT_EQ(line.back(), '\n');
            EXPECT_LE(line.size() - 1, 400u) << line;
            std::size_t in_line = 0;
            std::size_t i = 5;
            while (i < line.size() - 1) {
                std::size_t j = line.find_first_of(" \n", i);
                asked.push_back(line.substr(i, j - i));
                ++in_line;
                i = j + 1;
            }
            EXPECT_LE(in_line, c.max_nicks);
            answer("");
            ASSERT_LT(lines, 50);
        }
        EXPECT_GT(lines, 1);
        EXPECT_EQ(asked, all) << "every nick asked once, in list order";
        EXPECT_EQ(notify_state(conn)->pending, nullptr);
        EXPECT_EQ(notify_state(conn)->first_answer, 0);
    }
    conn->server_flags = 0;
}

TEST_F(NotifyTest, APollAskedForWhileOneIsPendingIsDeferredNeverSentTwice)
{
    add("bob");
    add("carl", "", "OtherNet");  // not for this network: never asked about
    logon();
    EXPECT_EQ(sent(), (Lines{"ISON bob\n"}));
    clear_sent();
    notify_poll(0, conn);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(conn->notify_poll_flags, 2);
    notify_poll(1, conn);
    EXPECT_EQ(conn->notify_poll_flags, 1);
    answer("");
    // The tick turns the deferred full poll into a new round.
    conn_tick_all(1);
    EXPECT_EQ(sent(), (Lines{"ISON bob\n"}));
    answer("");
    clear_sent();

    // While a channel list arrives, polls wait; off or not logged on, none.
    conn->chanlist_busy = 2;
    notify_poll(0, conn);
    EXPECT_EQ(conn->notify_poll_flags, 2);
    conn->chanlist_busy = 0;
    opt_set(OPT_NOTIFY_ENABLED, 0);
    notify_poll(1, conn);
    irc_state(conn)->logon_pending = 1;
    opt_set(OPT_NOTIFY_ENABLED, 1);
    notify_poll(1, conn);
    EXPECT_TRUE(sent().empty());
    irc_state(conn)->logon_pending = 0;

    // The tick polls when the interval has run.
    notify_poll(0, conn);
    answer("");
    clear_sent();
    for (int s = 0; s < 59; ++s) conn_tick_all(1);
    EXPECT_TRUE(sent().empty());
    conn_tick_all(1);
    EXPECT_EQ(sent(), (Lines{"ISON bob\n"}));
}

// ---- Answers ----

TEST_F(NotifyTest, AnswersAnnounceArrivalsAndDeparturesWithTheirEvents)
{
    script({"on *:NOTIFY:say N $nick $address", "on *:UNOTIFY:say U $nick $address"});
    add("bob", "old friend");
    add("carl!*@good.example");
    add("dan");
    ial("bob", "b@h.example");
    ial("carl", "c@bad.example");
    logon();
    EXPECT_EQ(sent(), (Lines{"ISON bob carl dan\n"}));
    answer("Bob carl");
    EXPECT_EQ(announced(), (Lines{"* Bob [b@h.example] IRC'de (old friend)", "* carl [c@bad.example] IRC'de"}));
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0].frame, 1) << "separator before the first";
    EXPECT_EQ(printed[1].frame, 2) << "and after the last";
    EXPECT_EQ(said, (Lines{"N bob b@h.example", "N carl c@bad.example"}));
    const NotifyEntry* carl = notify_find("carl", 1, conn);
    EXPECT_EQ(carl->address_check, 2) << "seen from outside its mask";
    EXPECT_EQ(notify_find("bob", 1, conn)->address_check, 1);
    EXPECT_EQ(carl->activity, 0) << "the first answer after logon";
    EXPECT_EQ(notify_state(conn)->first_answer, 0);

    clear_captures();
    notify_poll(0, conn);
    answer("carl dan");
    EXPECT_EQ(announced(), (Lines{"* bob IRC'den Çıktı", "* dan IRC'de"}));
    EXPECT_EQ(said, (Lines{"N dan", "U bob"}));
    EXPECT_EQ(notify_find("dan", 1, conn)->activity, 3);
    EXPECT_EQ(notify_find("bob", 1, conn)->activity, 3);
    EXPECT_EQ(notify_find("bob", 1, conn)->online, 0);
}

TEST_F(NotifyTest, TheFirstAnswerSaysSoWhenNobodyIsOnLine)
{
    script({"on *:NOTIFY:say N $nick"});
    add("bob");
    logon();
    answer("");
    EXPECT_EQ(announced(), (Lines{"* Şu An IRC`de Notify Listenizden Kimse Yok"}));
    EXPECT_TRUE(said.empty());
    clear_captures();
    notify_poll(0, conn);
    answer("");
    EXPECT_TRUE(announced().empty()) << "only after the first answer";
}

TEST_F(NotifyTest, AHaltBeforeTheAnnouncementKeepsItBack)
{
    struct Case {
        const char* name;
        int events;
        Lines shown;
        Lines said;
    };
    const Case cases[] = {
        {"events on", 1, {"* carl IRC'de"}, {"N bob $true", "N carl $false"}},
        {"events off", 0, {"* bob IRC'de", "* carl IRC'de"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        remote_files_free_all();
        script({"on ^*:NOTIFY:if ($nick == bob) halt", "on *:NOTIFY:say N $nick $halted"});
        notify_free_all(conn);
        add("bob");
        add("carl");
        event_switch_events = c.events;
        logon();
        clear_captures();
        answer("bob carl");
        EXPECT_EQ(announced(), c.shown);
        EXPECT_EQ(said, c.said);
    }
}

TEST_F(NotifyTest, OneSoundPlaysOncePerAnswerAndQuietKeepsOnlyTheLines)
{
    const std::string wav = settings.path() + "on.wav";
    spit(wav, "RIFF");
    ASSERT_EQ(notify_add("a", "", "beep", "", 0, "", conn), 1);
    ASSERT_EQ(notify_add("b", "", "beep", "", 0, "", conn), 1);
    ASSERT_EQ(notify_add("c", "", wav, "", 0, "", conn), 1);
    ASSERT_EQ(notify_add("d", "", "", "", 1, "", conn), 1);           // the default sound
    ASSERT_EQ(notify_add("e", "", "missing.wav", "", 0, "", conn), 1);  // no such file
    notify_default_on_sound = wav;
    logon();
    answer("a b c d e");
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(played, (Lines{wav}));
    EXPECT_EQ(announced().size(), 5u);

    opt_set(OPT_NOTIFY_QUIET, 1);
    clear_captures();
    notify_poll(0, conn);
    answer("");
    notify_poll(0, conn);
    answer("a");
    EXPECT_TRUE(announced().empty());
    EXPECT_EQ(beeps, 1);
}

TEST_F(NotifyTest, FlaggedEntriesGetOneBatchedWhoisWhenTheyComeOnLine)
{
    add("+ann");
    add("+bea");
    add("cid");
    logon();
    clear_sent();
    answer("ann bea cid");
    EXPECT_EQ(sent(), (Lines{"WHOIS ann,bea\n"}));
}

TEST_F(NotifyTest, AnEventHandlerMayEmptyTheListWhileItIsWalked)
{
    script({"on *:NOTIFY:say N $nick | notify -r $nick"});
    add("a");
    add("b");
    add("c");
    logon();
    answer("a b c");
    EXPECT_EQ(said, (Lines{"N a", "N b", "N c"}));
    EXPECT_EQ(notify_count(conn), 0);
}

// ---- Sightings ----

TEST_F(NotifyTest, OrdinaryLinesFromListedNicksCountAsSightings)
{
    script({"on *:NOTIFY:say N $nick", "on *:UNOTIFY:say U $nick"});
    add("bob");
    add("carl");
    logon();
    // Seen while the first answer is awaited: held back, then announced once.
    feed(":bob!b@h JOIN #x");
    EXPECT_TRUE(announced().empty());
    answer("bob");
    EXPECT_EQ(announced(), (Lines{"* bob IRC'de"}));
    EXPECT_EQ(said, (Lines{"N bob"}));

    struct Step {
        const char* line;
        Lines shown;
        Lines said;
    };
    const Step steps[] = {
        {":carl!c@host.example PRIVMSG me :hi", {"* carl [c@host.example] IRC'de"}, {"N carl"}},
        {":carl!c@host.example NOTICE me :again", {}, {}},
        {":bob!b@h QUIT :bye", {"* bob IRC'den Çıktı"}, {"U bob"}},
        {":carl!c@host.example NICK carl_away", {"* carl IRC'den Çıktı"}, {"U carl"}},
        {":irc.test 401 me bob :No such nick", {}, {}},
        {":carl_away!c@host.example NICK carl", {"* carl IRC'de"}, {"N carl"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        clear_captures();
        feed(s.line);
        EXPECT_EQ(announced(), s.shown);
        EXPECT_EQ(said, s.said);
    }
}

TEST_F(NotifyTest, AnIsonTheUserAskedForIsShownAndCountsAsSeen)
{
    add("bob");
    struct Case {
        const char* line;
        int raw;
        Lines shown;
    };
    const Case cases[] = {
        {":irc.test 303 me :zoe bob", 1, {"ison: zoe bob"}},
        {":irc.test 303 me :", 1, {"ison: Kullanıcı Yok"}},
        {":irc.test 303 me :zoe", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        status_shown.clear();
        ScriptFile* halting = c.raw ? nullptr : script({"raw 303:*:halt"});
        feed(c.line);
        if (halting) remote_file_unload(halting, 2);
        EXPECT_EQ(status_shown, c.shown);
    }
    EXPECT_EQ(announced(), (Lines{"* bob IRC'de"}));

    // While the first answer is awaited it does not count.
    notify_conn_stage(1, conn);
    clear_captures();
    feed(":irc.test 303 me :bob");
    EXPECT_EQ(notify_find("bob", 0, conn)->online, 0);
}

// ---- WATCH ----

TEST_F(NotifyTest, WatchServersRegisterTheListAndNeverSendIson)
{
    irc_state(conn)->watch_limit = 2;
    add("a");
    add("b!*@*");
    add("+c");
    add("d");
    add("x", "", "OtherNet");
    logon();
    EXPECT_EQ(sent(), (Lines{"WATCH C +a +b S\n"})) << "at most the limit, never one more";
    clear_sent();
    notify_poll(0, conn);
    for (int s = 0; s < 120; ++s) conn_tick_all(1);
    EXPECT_TRUE(sent().empty()) << "no ISON, no poll from the tick";
    EXPECT_EQ(conn->notify_poll_interval, 0);

    script({"on *:NOTIFY:say N $nick $address", "on *:UNOTIFY:say U $nick"});
    const std::string since = std::to_string(static_cast<long long>(time_clock()) - 3700);
    feed(":irc.test 604 me a ua ha " + since + " :is online");
    EXPECT_TRUE(announced().empty()) << "held until the end of the list";
    feed(":irc.test 605 me d * * 0 :is offline");
    feed(":irc.test 607 me :End of WATCH l");
    ASSERT_EQ(announced().size(), 1u);
    EXPECT_EQ(announced()[0].rfind("* a [ua@ha] (", 0), 0u) << announced()[0];
    EXPECT_NE(announced()[0].find(") IRC'de"), std::string::npos) << "with the time on line";
    EXPECT_EQ(said, (Lines{"N a ua@ha"}));

    struct Step {
        const char* line;
        Lines shown;
        Lines sent;
    };
    const Step steps[] = {
        {":irc.test 600 me c uc hc 0 :logged online", {"* c [uc@hc] IRC'de"}, {"WHOIS c\n"}},
        {":irc.test 601 me a ua ha 0 :logged offline", {"* a IRC'den Çıktı"}, {}},
        {":a!ua@ha JOIN #x", {}, {}},  // a sighting needs an address here: from WATCH only
        {":irc.test 602 me c uc hc 0 :stopped watching", {}, {}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        clear_captures();
        feed(s.line);
        EXPECT_EQ(announced(), s.shown);
        EXPECT_EQ(sent(), s.sent);
        EXPECT_TRUE(status_shown.empty()) << "WATCH replies acted on are not shown";
    }

    // 901: everything back to unknown.
    feed(":irc.test 901 me :watch list cleared");
    for (NotifyEntry* e = notify_head(conn); e; e = e->next) EXPECT_EQ(e->online, 0) << e->nick;

    // Switched off: "WATCH C" empties the server's list.
    clear_sent();
    notify_conn_stage(5, conn);
    EXPECT_EQ(sent(), (Lines{"WATCH C\n"}));
}

TEST_F(NotifyTest, WatchRepliesNotActedOnAreShownAsOrdinaryReplies)
{
    add("a");
    struct Case {
        const char* name;
        int watch;
        int on;
        const char* line;
    };
    const Case cases[] = {
        {"no WATCH", 0, 1, ":irc.test 604 me a ua ha 0 :is online"},
        {"notify off", 5, 0, ":irc.test 604 me a ua ha 0 :is online"},
        {"too short", 5, 1, ":irc.test 604 me a ua"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        irc_state(conn)->watch_limit = c.watch;
        opt_set(OPT_NOTIFY_ENABLED, c.on);
        status_shown.clear();
        feed(c.line);
        ASSERT_EQ(status_shown.size(), 1u);
        EXPECT_EQ(status_shown[0].rfind("a ua", 0), 0u) << status_shown[0];
        EXPECT_EQ(notify_find("a", 0, conn)->online, 0);
    }
}

// The WATCH registration stops at the server's limit: below, at and above
// the number of entries.
TEST_F(NotifyTest, WatchRegistersAtMostTheLimit)
{
    struct Case {
        int limit;
        const char* line;
    };
    const Case cases[] = {
        {1, "WATCH C +a S\n"},
        {3, "WATCH C +a +b +c S\n"},
        {4, "WATCH C +a +b +c S\n"},
        {10, "WATCH C +a +b +c S\n"},
    };
    add("a");
    add("b");
    add("c");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limit);
        irc_state(conn)->watch_limit = c.limit;
        for (auto& w : wires) w->clear();
        notify_poll(1, conn);
        EXPECT_EQ(sent(), (Lines{c.line}));
    }
}

// ---- Stages and the address list ----

TEST_F(NotifyTest, LinkStagesStartOverAndEndTheList)
{
    add("bob");
    conn->network = "TestNet";
    irc_link_stage.fire(0, conn);  // a new attempt
    NotifyConnState* st = notify_state(conn);
    EXPECT_EQ(st->logon, 1);
    EXPECT_EQ(st->first_answer, 1);
    EXPECT_EQ(st->network, "TestNet");
    EXPECT_EQ(st->treebar_refresh, 1);
    notify_conn_stage(2, conn);
    answer("bob");
    EXPECT_EQ(notify_find("bob", 0, conn)->online, 1);
    notify_poll(0, conn);
    ASSERT_NE(st->pending, nullptr);
    notify_conn_stage(4, conn);
    EXPECT_EQ(notify_find("bob", 0, conn)->online, 0);
    EXPECT_EQ(st->pending, nullptr);
    EXPECT_EQ(st->first_answer, 0);
}

TEST_F(NotifyTest, AddressListChangesFollowTheOnLineEntry)
{
    add("bob!*@*.good.example");
    logon();
    answer("bob");
    NotifyEntry* bob = notify_find("bob", 1, conn);
    EXPECT_EQ(bob->address_check, 2) << "no address yet";
    ial("bob", "b@x.good.example");
    EXPECT_EQ(bob->seen_address, "b@x.good.example");
    EXPECT_EQ(bob->address_check, 1);
    ial("bob", "b@evil.example");
    EXPECT_EQ(bob->address_check, 2);
    ial_forget_nick(nullptr, "bob", 1, conn);
    EXPECT_EQ(bob->seen_address, "");
    EXPECT_EQ(bob->address_check, 2);
}

// ---- The window's lines ----

TEST_F(NotifyTest, WindowLinesListOnLineEntriesPerConnectionThenTheOthers)
{
    conn->network = "TestNet";
    add("bob", "pal");
    add("carl!*@x.example");
    add("dan");
    logon();
    ial("bob", "b@h");
    answer("bob");
    Connection* other = make_conn("me2");  // loads the saved list: nothing saved yet
    ASSERT_EQ(notify_add("dan", "", "", "", 0, "", other), 1);
    ASSERT_EQ(notify_add("bob", "pal", "", "", 0, "", other), 1);
    other->connected = 0;  // not logged on: its entries are off line
    std::vector<NotifyWindowLine> lines;
    std::string title;
    notify_window_lines(lines, title);
    std::vector<std::string> texts;
    for (const NotifyWindowLine& l : lines) texts.push_back(std::to_string(l.kind) + "|" + l.text);
    EXPECT_EQ(texts, (Lines{"0|TestNet", "1|bob b@h (pal)", "2|Online Değil", "3|carl *@x.example", "3|dan"}));
    EXPECT_EQ(title, "Notify List (1/3)");
    Connection* owner = nullptr;
    EXPECT_EQ(notify_item_entry(lines[1], &owner), notify_find("bob", 0, conn));
    EXPECT_EQ(owner, conn);

    opt_set(OPT_NOTIFY_LIST_OFFLINE, 0);
    notify_window_lines(lines, title);
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(title, "Notify List (3/3)");
}

// ---- /notify ----

TEST_F(NotifyTest, NotifyCommandEditsEveryConnectionsListAndSwitchesIt)
{
    Connection* second = make_conn("me2");
    irc_state(second)->watch_limit = 10;
    struct Step {
        Lines args;
        int result;
        Lines printed;
        Lines sent;
    };
    const Step steps[] = {
        {{"-l"}, 1, {"* Notify listesi Boş"}, {}},
        {{"bob", "my", "friend"}, 1, {"* bob Nicki Notify listesine Eklendi"}, {"WATCH +bob\n"}},
        {{"bob"}, 1, {"* /notify: bob Nicki zaten Listede"}, {}},
        {{"-n", "+carl", "Libera", "hi", "there"}, 1, {"* carl Nicki Notify listesine Eklendi"}, {}},
        {{"-l"}, 1, {"* Notify listesi:", "bob (my friend)", "+carl (hi there)"}, {}},
        {{"-r", "dave"}, 1, {"* /notify: dave Listede Değil"}, {}},
        {{"-r", "bob"}, 1, {"* bob Nicki Notify listesinden Kaldırıldı"}, {"WATCH -bob\n"}},
        {{"off"}, 1, {"* Notify Kapalı"}, {"WATCH C\n"}},
        {{"on"}, 1, {"* Notify Açık"}, {"WATCH C S\n"}},  // carl is for Libera only
        {{"-n"}, 0, {}, {}},
        {{"-r"}, 0, {}, {}},
    };
    for (const Step& s : steps) {
        std::string joined;
        for (const std::string& a : s.args) joined += a + " ";
        SCOPED_TRACE("/notify " + joined);
        clear_captures();
        // The WATCH connection answers through the second one; the ISON one
        // has its own first poll.
        EXPECT_EQ(run(s.args, second), s.result);
        EXPECT_EQ(printed_texts(), s.printed);
        Lines watch_sent;
        for (const std::string& l : sent())
            if (l.rfind("WATCH", 0) == 0) watch_sent.push_back(l);
        EXPECT_EQ(watch_sent, s.sent);
    }
    // Both connections hold the list; it is saved.
    EXPECT_EQ(nicks_of(conn), (Lines{"carl"}));
    EXPECT_EQ(nicks_of(second), (Lines{"carl"}));
    EXPECT_EQ(notify_find("carl", 0, conn)->network, "Libera");
    EXPECT_EQ(notify_find("carl", 0, conn)->whois, 1);
    EXPECT_EQ(ini_value("notify", "n0"), "+carlNOTE:hi thereNETWORK:Libera");
    EXPECT_EQ(ini_value("notify", "n1"), "");

    // Off, adding a nick switches it on and polls; no argument polls again.
    opt_set(OPT_NOTIFY_ENABLED, 0);
    clear_captures();
    EXPECT_EQ(run({"eve"}), 1);
    EXPECT_EQ(opt(OPT_NOTIFY_ENABLED), 1);
    const Lines eve_sent = sent();
    EXPECT_NE(std::find(eve_sent.begin(), eve_sent.end(), "ISON eve\n"), eve_sent.end()) << "carl is for Libera only";
    answer("");
    clear_captures();
    EXPECT_EQ(run({}), 1);
    EXPECT_EQ(sent(), (Lines{"ISON eve\n"}));
    conn->connected = 0;
    EXPECT_EQ(run({}), 0) << "not connected";
    conn->connected = 1;
}
