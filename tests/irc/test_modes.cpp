// MODE lines fed as server lines: the channel's mode text, key and limit,
// nick prefixes, the events RAWMODE, MODE and the per-letter events, and the
// own user modes.
#include "messages_fixture.h"

#include "core/string_list.h"
#include "irc/lists/ban_lists.h"

#include "model/colors.h"

namespace chat_test {
namespace {

using ModesTest = ChatTest;

TEST_F(ModesTest, PrefixModesUpdateTheNickListAndFireRawmodeThenEachLetter)
{
    load_script({"on 1:RAWMODE:#:say RAW $1-", "on 1:MODE:#:say MODE $1-",
                 "on 1:OP:#:say OP $opnick $modefirst $modelast",
                 "on 1:VOICE:#:say VOICE $vnick $modefirst $modelast",
                 "on 1:DEOP:#:say DEOP $opnick", "on 1:SERVEROP:#:say SOP $opnick"});
    const int op = nicklist_prefix_bit(conn, '@');
    const int voice = nicklist_prefix_bit(conn, '+');
    ASSERT_NE(op, 0);
    ASSERT_NE(voice, 0);
    struct Case {
        const char* line;
        std::vector<std::string> said;
        int a_bits;   // bits of a afterwards (besides the plain 1)
        int b_bits;
    } cases[] = {
        {":x!u@h MODE #c +ov a b", {"RAW +ov a b", "OP a $true $false", "VOICE b $false $true"}, op, voice},
        {":x!u@h MODE #c :+o b", {"RAW +o b", "OP b $true $true"}, op, voice | op},
        {":x!u@h MODE #c -o+v-v a a b", {"RAW -o+v-v a a b", "DEOP a", "VOICE a $false $false"}, voice, op},
        {":srv MODE #c +o a", {"RAW +o a", "SOP a"}, voice | op, op},
        {":x!u@h MODE #c +o nobody", {"RAW +o nobody"}, voice | op, op},
        {":x!u@h MODE #c o a", {"RAW o a"}, voice | op, op},  // no sign: consumed, not applied
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        said.clear();
        feed(c.line);
        EXPECT_EQ(said, c.said);
        EXPECT_EQ(nicklist_update("a", chan, kNickTest, 0) & ~1, c.a_bits);
        EXPECT_EQ(nicklist_update("b", chan, kNickTest, 0) & ~1, c.b_bits);
    }
}

TEST_F(ModesTest, ChannelModesKeyAndLimitWithTheServersParameterGroups)
{
    struct Case {
        const char* line;
        const char* modes;
        const char* key;
        int limit;
        int a_op;   // whether a holds @ afterwards
    } cases[] = {
        {":x!u@h MODE #c +nt", "[+nt]", "", 0, 0},
        {":x!u@h MODE #c +k secret", "[+ntk secret]", "secret", 0, 0},
        {":x!u@h MODE #c +l 25", "[+ntlk 25 secret]", "secret", 25, 0},
        // "L" is in the always-parameter group: its parameter is not a's.
        {":x!u@h MODE #c +Lo #over a", "[+Lntlk 25 secret]", "secret", 25, 1},
        {":x!u@h MODE #c -L+i #over", "[+intlk 25 secret]", "secret", 25, 1},
        {":x!u@h MODE #c -k+m secret", "[+imntl 25]", "", 25, 1},
        {":x!u@h MODE #c -l-o a", "[+imnt]", "", 0, 0},
        {":x!u@h MODE #c +l", "[+imnt]", "", 0, 0},
        {":x!u@h MODE #c +k *", "[+imntk]", "", 0, 0},
        {":x!u@h MODE #c +k pw", "[+imntk pw]", "pw", 0, 0},
        {":x!u@h MODE #c -k *", "[+imnt]", "", 0, 0},
        {":x!u@h MODE #c +b-b+e *!*@x *!*@y *!*@z", "[+imnt]", "", 0, 0},
        {":x!u@h MODE #c -imnt", "[+]", "", 0, 0},
    };
    const int op = nicklist_prefix_bit(conn, '@');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        feed(c.line);
        EXPECT_EQ(chan->chan_modes, c.modes);
        EXPECT_EQ(chan->chan_key, c.key);
        EXPECT_EQ(chan_mode_limit(chan), c.limit);
        EXPECT_EQ((nicklist_update("a", chan, kNickTest, 0) & op) != 0, c.a_op != 0);
    }
}

// "-k" takes its parameter (the key, which the server repeats) even though
// nothing is set by it: the parameter after it belongs to the next letter.
TEST_F(ModesTest, RemovingTheKeyTakesItsParameterBeforeTheNextLetter)
{
    const int op = nicklist_prefix_bit(conn, '@');
    const int voice = nicklist_prefix_bit(conn, '+');
    struct Case {
        const char* line;
        const char* key;
        const char* nick;   // the nick whose prefix is checked
        int bits;           // its prefix bits afterwards
    } cases[] = {
        {":x!u@h MODE #c +k secret", "secret", "a", 0},
        {":x!u@h MODE #c -k+o secret a", "", "a", op},
        {":x!u@h MODE #c +k pw", "pw", "b", 0},
        {":x!u@h MODE #c -k+v pw b", "", "b", voice},
        {":x!u@h MODE #c +k again", "again", "a", op},
        {":x!u@h MODE #c -ko again a", "", "a", 0},   // and "-o" takes the nick
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        feed(c.line);
        EXPECT_EQ(chan->chan_key, c.key);
        EXPECT_EQ(nicklist_update(c.nick, chan, kNickTest, 0) & (op | voice), c.bits);
    }
}

// Handlers bound to one channel stay silent for every other channel.
TEST_F(ModesTest, ChannelBoundHandlersStaySilentForAnotherChannel)
{
    load_script({"on *:MODE:#mine:say MODE $chan", "on *:JOIN:#mine:say JOIN $chan $nick",
                 "on *:PART:#mine:say PART $chan $nick", "on *:KICK:#mine:say KICK $chan $knick",
                 "on *:TOPIC:#mine:say TOPIC $chan $1-"});
    WindowRecord* mine = open("#mine", kWinChannel, 0);
    ASSERT_NE(mine, nullptr);
    for (WindowRecord* w : {chan, mine})
        for (const char* n : {"a", "b", "x"})
            nicklist_update(n, w, kNickAddOrChange, 1);
    struct Case {
        const char* line;
        const char* heard;   // what the #mine handler says, or null for the other channel
    } cases[] = {
        {":x!u@h MODE #c +m", nullptr},
        {":x!u@h MODE #mine +m", "MODE #mine"},
        {":y!u@h JOIN #c", nullptr},
        {":y!u@h JOIN :#mine", "JOIN #mine y"},
        {":a!u@h PART #c :bye", nullptr},
        {":a!u@h PART #mine :bye", "PART #mine a"},
        {":x!u@h KICK #c b :out", nullptr},
        {":x!u@h KICK #mine b :out", "KICK #mine b"},
        {":x!u@h TOPIC #c :elsewhere", nullptr},
        {":x!u@h TOPIC #mine :here now", "TOPIC #mine here now"},
        {":x!u@h MODE #MINE -m", "MODE #MINE"},   // the name matches without case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        said.clear();
        feed(c.line);
        if (c.heard)
            EXPECT_EQ(said, std::vector<std::string>{c.heard});
        else
            EXPECT_TRUE(said.empty()) << ::testing::PrintToString(said);
    }
}

TEST_F(ModesTest, ListModesReachTheListsAndTheirEvents)
{
    load_script({"on 1:BAN:#:say BAN $banmask", "on 1:UNBAN:#:say UNBAN $banmask"});
    chan_list_set(chan, "old", "o@h", "*!*@y", 1, kChanListBans);
    feed(":x!u@h MODE #c +b-b+e *!*@x *!*@y *!*@z");
    // Each list holds "mask<tab>setter (address) time", newest first.
    struct Case {
        int index;
        std::vector<std::string> starts;
    } cases[] = {
        {kChanListBans, {"*!*@x\tx (u@h) "}},
        {kChanListExcepts, {"*!*@z\tx (u@h) "}},
        {kChanListInvites, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        std::vector<std::string> entries;
        for (StringNode* n = chan->chan_lists[c.index]; n; n = n->next) entries.push_back(n->text);
        ASSERT_EQ(entries.size(), c.starts.size()) << ::testing::PrintToString(entries);
        for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].rfind(c.starts[i], 0), 0u) << entries[i];
    }
    EXPECT_EQ(said, (std::vector<std::string>{"BAN *!*@x", "UNBAN *!*@y"}));
}

TEST_F(ModesTest, ModeLineIsShownAndModeOrServermodeFires)
{
    load_script({"on 1:MODE:#:say MODE $nick", "on 1:SERVERMODE:#:say SERVERMODE $nick",
                 "on ^1:RAWMODE:#:if ($1 == +s) halt"});
    struct Case {
        const char* line;
        std::vector<std::string> said;
        std::vector<std::string> shown;
    } cases[] = {
        {":x!u@h MODE #c +n", {"MODE x"}, {"* x mod değiştirdi:+n"}},
        {":srv MODE #c +t", {"SERVERMODE srv"}, {"* srv mod değiştirdi:+t"}},
        {":x!u@h MODE #c +s", {"MODE x"}, {}},   // halted in the before phase
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        said.clear();
        clear(chan);
        feed(c.line);
        EXPECT_EQ(said, c.said);
        EXPECT_EQ(lines(chan), c.shown);
        if (!c.shown.empty()) {
            EXPECT_EQ(last_colour(chan), kColorModeText);
        }
    }
}

TEST_F(ModesTest, HugeModeLinesStayBoundedAndApplyInOrder)
{
    // 300 nicks and 300 "o": all applied; one "o" with 300 nicks: one applied.
    std::string nicks;
    for (int i = 0; i < 300; ++i) {
        nicklist_update("n" + std::to_string(i), chan, kNickAddOrChange, 1);
        nicks += " n" + std::to_string(i);
    }
    load_script({"on 1:OP:#:say $opnick"});
    const int op = nicklist_prefix_bit(conn, '@');
    feed(":x!u@h MODE #c +" + std::string(300, 'o') + nicks);
    ASSERT_EQ(said.size(), 300u);
    EXPECT_EQ(said.front(), "n0");
    EXPECT_EQ(said.back(), "n299");
    EXPECT_NE(nicklist_update("n299", chan, kNickTest, 0) & op, 0);

    said.clear();
    feed(":x!u@h MODE #c -o" + nicks);
    EXPECT_EQ(said.size(), 0u);
    EXPECT_EQ(nicklist_update("n0", chan, kNickTest, 0) & op, 0);
    EXPECT_NE(nicklist_update("n1", chan, kNickTest, 0) & op, 0);

    // A mode string of thousands of letters without parameters.
    feed(":x!u@h MODE #c +" + std::string(3000, 'i'));
    EXPECT_EQ(chan->chan_modes, "[+i]");
}

TEST_F(ModesTest, OwnOpAsksForTheModesOnceWhenTheyAreUnknown)
{
    struct Case {
        const char* modes_before;
        const char* key_before;
        const char* line;
        std::vector<std::string> sent;
    } cases[] = {
        {"", "", ":x!u@h MODE #c +oo me me", {"MODE #c\n"}},
        {"[+nt]", "", ":x!u@h MODE #c +o me", {}},
        {"[+ntk]", "", ":x!u@h MODE #c +o me", {"MODE #c\n"}},
        {"[+ntk]", "pw", ":x!u@h MODE #c +o me", {}},
        {"", "", ":x!u@h MODE #c +o a", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        chan->chan_modes = c.modes_before;
        chan->chan_key = c.key_before;
        wire.clear();
        feed(c.line);
        EXPECT_EQ(sent(), c.sent);
    }
}

TEST_F(ModesTest, OwnUserModes)
{
    load_script({"on 1:USERMODE:say USERMODE $1-"});
    struct Case {
        const char* line;
        const char* modes;
    } cases[] = {
        {":me MODE me :+iw", "[+iw]"},
        {":me MODE me +x-w", "[+ix]"},
        {":me MODE me +ii", "[+ix]"},
        {":me MODE me -ix+o", "[+o]"},
        {":me MODE other +i", "[+o]"},   // another user's modes change nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        feed(c.line);
        EXPECT_EQ(conn->user_modes, c.modes);
    }
    EXPECT_EQ(said.size(), 4u);
}

}  // namespace
}  // namespace chat_test
