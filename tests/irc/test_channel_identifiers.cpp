// Channel, nick and query identifiers over a channel window whose members
// carry several prefixes (~ owner, @ op, + voice): the mode filters of the
// nick family, positions, .pnick, $comchan and its own-rank properties,
// $address through the address list, and $mode during a mode event.
#include "messages_fixture.h"

#include "app/subsystems.h"
#include "display/nick_colours.h"
#include "model/nick_list.h"
#include "irc/numerics/replies.h"
#include "irc/dispatch/membership.h"
#include "irc/lists/address_list.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_errors.h"

namespace {

using namespace chat_test;

class ChannelIdentifiers : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        irc_membership_install();
        app_wire_irc_membership();
        cnick_install();  // a nick that speaks turns active, as in the program
        ial_init(conn);
        ial_set_on(1, conn);
        conn->connected = 1;
        // #c holds a, b and me without prefixes (the fixture); add ranked ones.
        const int owner = nicklist_prefix_bit(conn, '~');
        const int op = nicklist_prefix_bit(conn, '@');
        const int voice = nicklist_prefix_bit(conn, '+');
        nicklist_update("boss", chan, kNickAddOrChange, owner | op);
        nicklist_update("opper", chan, kNickAddOrChange, op);
        nicklist_update("both", chan, kNickAddOrChange, op | voice);
        nicklist_update("talker", chan, kNickAddOrChange, voice);
    }
    void TearDown() override
    {
        conn->socket = -1;
        cnick_uninstall();
        ChatTest::TearDown();
    }
    std::string eval(const std::string& text)
    {
        std::string t = text;
        std::string* r = ident_eval_text(chan->hwnd, &t, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return r ? *r : std::string("<failed>");
    }
    void expect_all(const std::vector<std::pair<std::string, std::string>>& cases)
    {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.first);
            EXPECT_EQ(eval(c.first), c.second);
        }
    }
};

TEST_F(ChannelIdentifiers, NickFamilyFiltersAndPositions)
{
    expect_all({
        {"$nick(#c,0)", "7"},
        {"$nick(#C,0)", "7"},
        {"$nick(#c,0,@)", "3"},
        {"$nick(#c,0,o)", "3"},
        {"$nick(#c,0,a,o)", "4"},
        {"$nick(#c,0,r)", "3"},
        {"$nick(#c,0,~+)", "3"},
        {"$opnick(#c,0)", "3"},
        {"$opnick(#c,0,v)", "2"},
        // A nick holding "@" is left out even when it also holds "+".
        {"$nopnick(#c,0)", "4"},
        {"$vnick(#c,0)", "2"},
        {"$nvnick(#c,0)", "3"},
        {"$rnick(#c,0)", "3"},
        {"$nhnick(#c,0)", "4"},
        {"$hnick(#c,0)", "0"},
        // The list is ordered by rank, then by nick.
        {"$nick(#c,1)", "boss"},
        {"$nick(#c,7)", "me"},
        {"$nick(#c,8)", ""},
        {"$nick(#c,99999)", ""},
        {"$nick(#c,1).pnick", "~@boss"},
        {"$nick(#c,both).pnick", "@+both"},
        {"$nick(#c,TALKER)", "4"},
        {"$vnick(#c,talker)", "2"},
        {"$opnick(#c,talker)", ""},
        {"$nick(#c,nobody)", ""},
        {"$nick(#nowhere,0)", ""},
        {"$nick(#c,2,v)", "talker"},
        {"$nopnick(#c,1)", "talker"},
    });
    EXPECT_EQ(eval("$nick(#c)"), "<failed>");
    EXPECT_EQ(eval("$nick(#c,1,a,b,c)"), "<failed>");
}

TEST_F(ChannelIdentifiers, ChannelsAndCommonChannels)
{
    WindowRecord* other = open("#d", kWinChannel, 0);
    ASSERT_NE(other, nullptr);
    nicklist_update("a", other, kNickAddOrChange, 1);
    nicklist_update("me", other, kNickAddOrChange, nicklist_prefix_bit(conn, '@'));
    feed(":a!u@h TOPIC #c :the topic here");
    expect_all({
        {"$chan", "#c"},
        {"$chan(0)", "2"},
        {"$chan(abc)", "2"},
        {"$chan(1)", "#c"},
        {"$chan(2)", "#d"},
        {"$chan(3)", ""},
        {"$chan(#D)", "#d"},
        {"$chan(#x)", ""},
        {"$chan(#c).topic", "the topic here"},
        {"$chan(#c).wid", std::to_string(chan->number)},
        {"$chan(1).cid", std::to_string(conn->id)},
        {"$comchan(a,0)", "2"},
        {"$comchan(a,2)", "#d"},
        {"$comchan(b,0)", "1"},
        {"$comchan(b,2)", ""},
        {"$comchan(nobody,0)", "0"},
        {"$comchan(a,-1)", ""},
        // The rank tested is our own in that channel, not the nick's.
        {"$comchan(a,1).op", "$false"},
        {"$comchan(a,2).op", "$true"},
        {"$comchan(boss,1).op", "$false"},
    });
}

TEST_F(ChannelIdentifiers, AddressesComeFromTheAddressList)
{
    feed(":a!auser@host.example.org PRIVMSG #c :hello");
    expect_all({
        {"$address(a,0)", "*!auser@host.example.org"},
        {"$address(a,5)", "a!auser@host.example.org"},
        {"$address(A,0)", "*!auser@host.example.org"},
        {"$address(nobody,0)", ""},
    });
    WindowRecord* q = open("a", kWinQuery, kQueryPrivate);
    ASSERT_NE(q, nullptr);
    expect_all({
        {"$query(0)", "1"},
        {"$query(1)", "a"},
        {"$query(A).addr", "auser@host.example.org"},
        {"$query(2)", ""},
        {"$query(zed)", ""},
    });
}

// The windows' idle times read a clock the test holds still and moves by
// hand, so no second boundary falls between making a window and reading it.
std::int64_t idle_now = 5000;
std::int64_t idle_clock() { return idle_now; }

TEST_F(ChannelIdentifiers, IdleTimesFollowMessagesAndTheTick)
{
    idle_now = 5000;
    SavedValues saved_clock{win_idle_clock_source};
    win_idle_clock_source = idle_clock;
    WindowRecord* other = open("#d", kWinChannel, 0);
    WindowRecord* q = open("a", kWinQuery, kQueryPrivate);
    ASSERT_NE(other, nullptr);
    ASSERT_NE(q, nullptr);
    chan->message_clock = idle_now - 42;
    other->message_clock = idle_now - 17;
    q->message_clock = idle_now - 99;
    for (int i = 0; i < 3; ++i)
        cnick_idle_tick(conn);
    expect_all({
        {"$chan(#c).idle", "42"},
        {"$chan(2).idle", "17"},
        {"$query(a).idle", "99"},
        {"$nick(#c,a).idle", "3"},
        {"$nick(#c,1).idle", "3"},
        {"$nick(#c,nobody).idle", "0"},
    });
    // A message in #c starts the channel's and the sender's idle time again,
    // and no other window's nor nick's.
    feed(":a!u@h PRIVMSG #c :hello");
    expect_all({
        {"$chan(#c).idle", "0"},
        {"$chan(#d).idle", "17"},
        {"$query(a).idle", "99"},
        {"$nick(#c,a).idle", "0"},
        {"$nick(#c,b).idle", "3"},
    });
    feed(":a!u@h PRIVMSG me :psst");
    EXPECT_EQ(eval("$query(a).idle"), "0");
    // A window made now has been idle since it was made.
    WindowRecord* fresh = open("#e", kWinChannel, 0);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(eval("$chan(#e).idle"), "0");
    cnick_idle_tick(conn);
    EXPECT_EQ(eval("$nick(#c,a).idle"), "1");
    // The window times follow the clock; the nicks' follow the tick alone.
    idle_now += 7;
    expect_all({
        {"$chan(#e).idle", "7"},
        {"$chan(#c).idle", "7"},
        {"$chan(#d).idle", "24"},
        {"$query(a).idle", "7"},
        {"$nick(#c,a).idle", "1"},
    });
    // A clock that went back counts as no idle time.
    fresh->message_clock = idle_now + 3;
    EXPECT_EQ(eval("$chan(#e).idle"), "0");
}

TEST_F(ChannelIdentifiers, InWhoHoldsFromTheFirstWhoLineToTheEnd)
{
    WindowRecord* other = open("#d", kWinChannel, 0);
    ASSERT_NE(other, nullptr);
    ial_set_channel_state(chan, 2);
    expect_all({{"$chan(#c).inwho", "$false"}, {"$chan(#c).ial", "$false"}});
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        feed(":srv 352 me #c u1 h1 srv a H :0 Real A");
        expect_all({
            {"$chan(#c).inwho", "$true"},
            {"$chan(#c).ial", "$inwho"},
            {"$chan(#d).inwho", "$false"},
        });
        feed(":srv 352 me #c u2 h2 srv b H :0 Real B");
        EXPECT_EQ(eval("$chan(#c).inwho"), "$true");
        // The end of another channel's reply leaves this one arriving.
        feed(":srv 315 me #d :End of WHO list");
        EXPECT_EQ(eval("$chan(#c).inwho"), "$true");
        feed(":srv 315 me #c :End of WHO list");
        expect_all({{"$chan(#c).inwho", "$false"}, {"$chan(#c).ial", "$false"}});
    }
    // A reply cut off by the link's end does not stay in progress.
    feed(":srv 352 me #c u1 h1 srv a H :0 Real A");
    ial_clear(0, conn);
    EXPECT_EQ(eval("$chan(#c).inwho"), "$false");
}

TEST_F(ChannelIdentifiers, ModeItemsOfTheCurrentEvent)
{
    load_script({"on 1:RAWMODE:#c:say $mode(0) $mode(0).ban $mode(1) $mode(2) $mode(0).op $mode(1).op $mode(-1)"});
    said.clear();
    feed(":me!u@h MODE #c +bo x!*@* a");
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], "2 1 x!*@* a 1 a");
    // Outside an event the count is 0.
    EXPECT_EQ(eval("$mode(0)"), "0");
}

} // namespace

namespace {

TEST_F(ChannelIdentifiers, ScriptFilesGroupsAndAliasesOfLoadedScripts)
{
    load_script({"#away on", "on 1:TEXT:*:#:say away", "#away end", "#quiet off", "on 1:TEXT:*:#:say quiet",
                 "#quiet end"});
    alias_add("helper return 1");
    const std::string path = dir + "s.kst";
    expect_all({
        {"$group(0)", "2"},
        {"$group(1)", "#away"},
        {"$group(2).status", "off"},
        {"$group(#away)", "on"},
        {"$group(#QUIET)", "off"},
        {"$group(#quiet).name", "#quiet"},
        {"$group(#away).fname", path},
        {"$group(3)", ""},
        {"$group(#none)", ""},
        {"$script(0)", "1"},
        {"$script(1)", path},
        {"$script(s.kst)", path},
        {"$script(2)", ""},
        {"$isalias(helper)", "$true"},
        {"$isalias(helper).alias", "return 1"},
        {"$isalias(helper).fname", ""},   // made in memory, not by a file
        {"$isalias(nothing)", "$false"},
        {"$isalias(nothing).fname", ""},
    });
}

} // namespace

#include "irc/lists/notify_list.h"

namespace {

TEST_F(ChannelIdentifiers, NotifyEntriesByPlaceAndNick)
{
    ASSERT_EQ(notify_add("+carol", "a friend", "", "", 0, "", conn), 1);
    ASSERT_EQ(notify_add("alice", "", "", "", 0, "SomeNet", conn), 1);
    expect_all({
        {"$notify(0)", "2"},
        {"$notify(1)", "alice"},
        {"$notify(2)", "carol"},
        {"$notify(3)", ""},
        {"$notify(CAROL)", "2"},
        {"$notify(carol).note", "a friend"},
        {"$notify(carol).whois", "$true"},
        {"$notify(1).whois", "$false"},
        {"$notify(alice).network", "SomeNet"},
        {"$notify(alice).ison", "$false"},
        {"$notify(nobody)", ""},
    });
    notify_free_all(conn);
    EXPECT_EQ(eval("$notify(0)"), "0");
}

} // namespace

#include "core/main_settings.h"
#include "core/options.h"

namespace {

TEST_F(ChannelIdentifiers, DccFileTypesAndSoundFolders)
{
    StringNode* saved_ignore = main_settings.dcc_ignore_types;
    StringNode* saved_accept = main_settings.dcc_accept_types;
    const std::string saved_waves = main_settings.waves_dir;
    const int saved_mode = opt(OPT_DCC_FILTER_MODE);
    StringNode* ignore = strlist_append(nullptr, "*.exe", 0);
    strlist_append(ignore, "*.com", 0);
    StringNode* accept = strlist_append(nullptr, "*.txt", 0);
    main_settings.dcc_ignore_types = ignore;
    main_settings.dcc_accept_types = accept;
    main_settings.waves_dir = "/sounds/waves/";
    const struct {
        int mode;
        const char* text;
        const char* expected;
    } cases[] = {
        {0, "$dccignore(0)", "0"},
        {0, "$dccignore(file.exe)", "$false"},
        {0, "$dccignore(file.txt)", "$false"},
        {2, "$dccignore(0)", "2"},
        {2, "$dccignore(2)", "*.com"},
        {2, "$dccignore(3)", ""},
        {2, "$dccignore(/some/path/file.EXE)", "$false"},
        {2, "$dccignore(file.txt)", "$true"},
        {1, "$dccignore(0)", "1"},
        {1, "$dccignore(file.txt)", "$true"},
        {1, "$dccignore(file.exe)", "$false"},
        {0, "$wavedir", "/sounds/waves/"},
        {0, "$wavedirbell.wav", "/sounds/waves/bell.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        opt_set(OPT_DCC_FILTER_MODE, c.mode);
        EXPECT_EQ(eval(c.text), c.expected);
    }
    opt_set(OPT_DCC_FILTER_MODE, saved_mode);
    main_settings.dcc_ignore_types = saved_ignore;
    main_settings.dcc_accept_types = saved_accept;
    main_settings.waves_dir = saved_waves;
    strlist_free(&ignore);
    strlist_free(&accept);
}

} // namespace
