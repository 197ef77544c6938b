// Channel ban, except and invite lists: the list replies (367/368, 348/349,
// 346/347) fed as server lines into real channel windows, MODE changes,
// silent fetches, timed bans and the $ibl/$banlist/$iel/$iil identifiers.
#include "messages_fixture.h"
#include "app/subsystems.h"

#include <ctime>

#include "core/string_list.h"
#include "core/time_date.h"
#include "irc/lists/ban_lists.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/replies.h"
#include "printed_lines.h"

namespace chat_test {
namespace {

// The raw events' words, said by the script.
std::vector<std::string>& raw_words = said;

class BanLists : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        saved_raw_switch = event_switch_raw;
        app_wire_irc_ban_lists();
        event_switch_raw = 1;
        load_script({"raw *:*:say $event"});
        printed.clear();
        raw_words.clear();
    }
    void TearDown() override
    {
        event_switch_raw = saved_raw_switch;
        ChatTest::TearDown();
    }
    static std::vector<std::string> entries(const WindowRecord* rec, int index)
    {
        std::vector<std::string> out;
        for (const StringNode* n = rec->chan_lists[index]; n; n = n->next) out.push_back(n->text);
        return out;
    }
    // The lines shown in the status window since the last clear, with the
    // separators stored around each.
    std::vector<PrintedLines::Framed> status_lines() { return printed.framed_texts(status()); }
    std::vector<std::string> shown() { return printed.in(status()); }
    std::string eval(const std::string& text)
    {
        std::string t = text;
        std::string* r = ident_eval_text(nullptr, &t, nullptr, nullptr, 0, 0, -1, nullptr, conn);
        return r ? *r : std::string("<failed>");
    }
    void give_own_rank(WindowRecord* rec, char prefix)
    {
        nicklist_update("me", rec, kNickAddOrChange, nicklist_prefix_bit(conn, prefix));
    }

    int saved_raw_switch = 0;
    PrintedLines printed;
};

TEST_F(BanLists, ReplyLinesStoreTheEntryAndShowTheSetter)
{
    const std::string date = time_ctime_from_text("1234567890", false);
    struct Case {
        const char* line;
        const char* stored;  // empty: nothing stored
        const char* shown;
    } cases[] = {
        {":srv 367 me #c *!*@bad.host op!o@h.example 1234567890", "*!*@bad.host\top (o@h.example) 1234567890", nullptr},
        {":srv 367 me #c *!*@nick.only op", "*!*@nick.only\top", "#c *!*@nick.only set by op"},
        {":srv 367 me #c *!*@empty.addr op! 77", "*!*@empty.addr\top 77", nullptr},
        {":srv 367 me #c *!*@bare", "*!*@bare", "#c *!*@bare"},
        {":srv 367 me #c", "", "#c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        printed.clear();
        raw_words.clear();
        chan_list_set_quiet("", conn);
        feed(c.line);
        const std::vector<std::string> list = entries(chan, kChanListBans);
        if (*c.stored) {
            ASSERT_FALSE(list.empty());
            EXPECT_EQ(list.back(), c.stored);
        }
        ASSERT_EQ(status_lines().size(), 1u);
        if (c.shown) {
            EXPECT_EQ(status_lines()[0].text, c.shown);
        }
        EXPECT_EQ(raw_words, std::vector<std::string>{"367"});
    }
    // The full form shows the setter as sent and the date without its year.
    printed.clear();
    feed(":srv 367 me #d *!*@x op!o@h.example 1234567890");
    ASSERT_EQ(status_lines().size(), 1u);
    EXPECT_EQ(status_lines()[0].text, "#d *!*@x set by op!o@h.example (" + date + ")");
    EXPECT_EQ(status_lines()[0].before + status_lines()[0].after, 0);
    // Every line of one reply was kept, in arrival order.
    EXPECT_EQ(entries(chan, kChanListBans).size(), 4u);
    EXPECT_EQ(chan_list_state(chan, kChanListBans), 1);
    EXPECT_EQ(chan_lists_state(chan), 1);
}

TEST_F(BanLists, EndNumericsCompleteEmptyOrHandOverTheList)
{
    WindowRecord* other = open("#d", kWinChannel, 0);
    ASSERT_NE(other, nullptr);
    // A list learned from MODE before any reply.
    feed(":x!u@h MODE #c +b *!*@old");
    ASSERT_EQ(entries(chan, kChanListBans).size(), 1u);

    // An end with no reply line before it empties the list.
    feed(":srv 368 me #c :End of Channel Ban List");
    EXPECT_TRUE(entries(chan, kChanListBans).empty());
    EXPECT_EQ(chan_list_state(chan, kChanListBans), 2);
    EXPECT_EQ(chan_lists_state(chan), 2);
    ASSERT_EQ(status_lines().size(), 1u);
    EXPECT_EQ(status_lines()[0].text, "#c End of Channel Ban List");
    EXPECT_EQ(status_lines()[0].after, 1);

    // Two runs: the first line of the second run clears what the first kept.
    feed(":srv 367 me #c a!*@* op 1");
    feed(":srv 367 me #c b!*@* op 2");
    feed(":srv 368 me #c :End");
    EXPECT_EQ(entries(chan, kChanListBans).size(), 2u);
    feed(":srv 367 me #c c!*@* op 3");
    feed(":srv 368 me #c :End");
    EXPECT_EQ(entries(chan, kChanListBans), std::vector<std::string>{"c!*@*\top 3"});

    // A duplicate mask (any case) within one reply is stored once.
    feed(":srv 367 me #c D!*@* op 4");
    feed(":srv 367 me #c d!*@* op 5");
    feed(":srv 368 me #c :End");
    EXPECT_EQ(entries(chan, kChanListBans), std::vector<std::string>{"D!*@*\top 4"});

    // Channel Central's pending request takes the end line: nothing shown.
    printed.clear();
    raw_words.clear();
    conn->pending_channel = "#D";
    feed(":srv 368 me #d :End");
    EXPECT_TRUE(status_lines().empty());
    EXPECT_TRUE(raw_words.empty());
    EXPECT_TRUE(conn->pending_channel.empty());
    EXPECT_EQ(chan_list_state(other, kChanListBans), 2);

    // A halted raw event shows nothing but the list still completes.
    load_script({"raw *:*:say $event | halt"});
    feed(":srv 367 me #d e!*@* op 6");
    feed(":srv 368 me #d :End");
    EXPECT_TRUE(status_lines().empty());
    EXPECT_EQ(entries(other, kChanListBans).size(), 1u);
}

TEST_F(BanLists, EachNumericReachesItsOwnList)
{
    struct Case {
        const char* reply;
        const char* end;
        int index;
        const char* stored;
    } cases[] = {
        {":srv 367 me #c m!*@b op 1", ":srv 368 me #c :End", kChanListBans, "m!*@b\top 1"},
        {":srv 348 me #c m!*@e op 2", ":srv 349 me #c :End", kChanListExcepts, "m!*@e\top 2"},
        {":srv 348 me #c n!*@e op 3", ":srv 380 me #c :End", kChanListExcepts, "n!*@e\top 3"},
        {":srv 346 me #c m!*@i op 4", ":srv 347 me #c :End", kChanListInvites, "m!*@i\top 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        feed(c.reply);
        feed(c.end);
        EXPECT_EQ(entries(chan, c.index), std::vector<std::string>{c.stored});
        EXPECT_EQ(chan_list_state(chan, c.index), 2);
    }
    EXPECT_EQ(entries(chan, kChanListBans).size(), 1u);
    EXPECT_EQ(entries(chan, kChanListInvites).size(), 1u);
    EXPECT_EQ(chan_list_index_of(366), -1);
}

TEST_F(BanLists, RepliesWithoutAWindowAreShownButNotStored)
{
    feed(":srv 367 me #nowhere *!*@x op!o@h 5");
    feed(":srv 368 me #nowhere :End");
    EXPECT_EQ(shown().size(), 2u);
    EXPECT_EQ(shown()[1], "#nowhere End");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(chan->chan_lists[i], nullptr);
    EXPECT_EQ(chan_lists_state(chan), 0);
}

TEST_F(BanLists, IrcxServersFillTheListsButNeverMarkThemComplete)
{
    for (int flag : {0x20, 0x400}) {
        SCOPED_TRACE(flag);
        conn->server_flags = flag;
        feed(":srv 367 me #c *!*@a op 1");
        feed(":srv 367 me #c *!*@b op 2");
        feed(":srv 368 me #c :End");
        EXPECT_EQ(entries(chan, kChanListBans).size(), 2u);
        EXPECT_EQ(chan_list_state(chan, kChanListBans), 0);
        EXPECT_EQ(chan_lists_state(chan), 0);
    }
    // Not complete, so the next reply starts afresh.
    feed(":srv 367 me #c *!*@c op 3");
    EXPECT_EQ(entries(chan, kChanListBans).size(), 1u);
}

TEST_F(BanLists, ModeChangesEditSingleEntries)
{
    const long before = static_cast<long>(std::time(nullptr));
    feed(":x!u@h MODE #c +bI *!*@one *!*@inv");
    feed(":srv.example MODE #c +be *!*@two *!*@exc");
    const long after = static_cast<long>(std::time(nullptr));
    struct Case {
        int index;
        std::size_t pos;
        const char* prefix;
    } cases[] = {
        {kChanListBans, 0, "*!*@two\tsrv.example "},  // newest first, no address for a server
        {kChanListBans, 1, "*!*@one\tx (u@h) "},
        {kChanListExcepts, 0, "*!*@exc\tsrv.example "},
        {kChanListInvites, 0, "*!*@inv\tx (u@h) "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        const std::vector<std::string> list = entries(chan, c.index);
        ASSERT_GT(list.size(), c.pos);
        const std::string& e = list[c.pos];
        ASSERT_EQ(e.rfind(c.prefix, 0), 0u) << e;
        const long when = std::atol(e.c_str() + std::string(c.prefix).size());
        EXPECT_GE(when, before);
        EXPECT_LE(when, after);
    }
    // Setting a mask again (any case) replaces its entry; removing drops it.
    feed(":y!v@w MODE #c +b *!*@ONE");
    EXPECT_EQ(entries(chan, kChanListBans).size(), 2u);
    EXPECT_EQ(entries(chan, kChanListBans)[0].rfind("*!*@ONE\ty (v@w) ", 0), 0u);
    feed(":y!v@w MODE #c -b-I *!*@one *!*@inv");
    EXPECT_EQ(entries(chan, kChanListBans).size(), 1u);
    EXPECT_TRUE(entries(chan, kChanListInvites).empty());

    // chan_list_set itself: empty mask and removal give 0.
    EXPECT_EQ(chan_list_set(chan, "n", "", "", 1, kChanListBans), 0);
    EXPECT_EQ(chan_list_set(chan, "n", "", "*!*@two", 0, kChanListBans), 0);
    EXPECT_EQ(chan_list_set(chan, "", "", "*!*@q", 1, kChanListBans), 0);
    EXPECT_EQ(chan_list_set(chan, "n", "", "*!*@q", 1, 3), 0);
    EXPECT_TRUE(entries(chan, kChanListBans).empty());
    EXPECT_NE(chan_list_set(chan, "n", "", "*!*@q", 1, kChanListBans), 0);
    EXPECT_NE(chan_list_find(chan->chan_lists[kChanListBans], "*!*@Q"), nullptr);
    EXPECT_EQ(chan_list_find(chan->chan_lists[kChanListBans], "*!*@"), nullptr);
}

TEST_F(BanLists, AModeDuringAReplyKeepsTheDuplicateTestRight)
{
    feed(":srv 367 me #c *!*@a op 1");
    feed(":x!u@h MODE #c -b *!*@a");
    feed(":srv 367 me #c *!*@a op 1");  // removed meanwhile: stored again
    feed(":x!u@h MODE #c +b *!*@b");
    feed(":srv 367 me #c *!*@b op 2");  // set meanwhile: already there
    feed(":srv 368 me #c :End");
    EXPECT_EQ(entries(chan, kChanListBans).size(), 2u);
    EXPECT_NE(chan_list_find(chan->chan_lists[kChanListBans], "*!*@a"), nullptr);
}

TEST_F(BanLists, SilentFetchesCollectWithoutShowing)
{
    WindowRecord* other = open("#d", kWinChannel, 0);
    ASSERT_NE(other, nullptr);
    chan_list_scan_begin(chan, 3, conn);
    EXPECT_EQ(chan_list_scan_window(conn), chan);
    feed(":srv 367 me #c *!*@a op 1");
    feed(":srv 367 me #c *!*@b op 2");
    feed(":srv 367 me #d *!*@c op 3");  // another channel: shown, not collected
    EXPECT_EQ(shown(), std::vector<std::string>{"#d *!*@c set by op (" + time_ctime_from_text("3", false) + ")"});
    StringNode* got = chan_list_scan_take(conn);
    EXPECT_EQ(strlist_count(got), 2);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->text, "*!*@a\top 1");
    strlist_free(&got);

    // A quiet channel's replies are not shown either.
    printed.clear();
    chan_list_set_quiet("#D", conn);
    feed(":srv 348 me #d *!*@e op 4");
    EXPECT_TRUE(status_lines().empty());
    EXPECT_EQ(entries(other, kChanListExcepts).size(), 1u);

    // "No such nick/channel" for the scanned channel ends the scan.
    feed(":srv 401 me #c :No such nick/channel");
    EXPECT_EQ(chan_list_scan_window(conn), nullptr);
    printed.clear();
    feed(":srv 346 me #c *!*@i op 5");
    EXPECT_EQ(status_lines().size(), 1u);
}

TEST_F(BanLists, TimedBansAreFoundReplacedAndRemovedByChannelAndMask)
{
    chan_timed_ban_add("#c", "*!*@a", 30, conn);
    chan_timed_ban_add("#c", "*!*@b", 40, conn);
    chan_timed_ban_add("#C", "*!*@A", 50, conn);  // replaces the first
    chan_timed_ban_add("", "*!*@z", 10, conn);    // refused
    EXPECT_EQ(strlist_count(conn->timed_bans), 2);
    struct Case {
        const char* channel;
        const char* mask;
        int seconds;
    } cases[] = {
        {"#c", "*!*@a", 50}, {"#c", "*!*@B", 40}, {"#d", "*!*@a", 0}, {"#c", "*!*@", 0}, {"#c", "*!*@a b", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.channel) + " " + c.mask);
        EXPECT_EQ(chan_timed_ban_find(c.channel, c.mask, conn), c.seconds);
    }
    EXPECT_EQ(chan_timed_ban_remove("#C", "*!*@b", conn), 1);
    EXPECT_EQ(chan_timed_ban_remove("#c", "*!*@b", conn), 0);
    // Lifting a ban by MODE drops its timed entry.
    feed(":x!u@h MODE #c -b *!*@a");
    EXPECT_EQ(conn->timed_bans, nullptr);
}

TEST_F(BanLists, TheTickLiftsExpiredBansWhereWeHoldARank)
{
    give_own_rank(chan, '@');
    WindowRecord* plain = open("#p", kWinChannel, 0);
    ASSERT_NE(plain, nullptr);
    nicklist_update("me", plain, kNickAddOrChange, 1);
    WindowRecord* voiced = open("#v", kWinChannel, 0);
    ASSERT_NE(voiced, nullptr);
    give_own_rank(voiced, '+');

    chan_timed_ban_add("#c", "*!*@one", 1, conn);
    chan_timed_ban_add("#c", "*!*@two", 2, conn);
    chan_timed_ban_add("#p", "*!*@plain", 1, conn);     // no rank there: dropped silently
    chan_timed_ban_add("#gone", "*!*@gone", 1, conn);   // no window: dropped silently
    chan_timed_ban_add("#v", "*!*@voiced", 0, conn);    // voice cannot lift a ban: dropped silently

    wire.clear();
    chan_timed_ban_tick(conn);
    EXPECT_EQ(sent(), (std::vector<std::string>{"MODE #c -b *!*@one\n"}));
    EXPECT_EQ(strlist_count(conn->timed_bans), 1);
    EXPECT_EQ(chan_timed_ban_find("#c", "*!*@two", conn), 1);

    wire.clear();
    chan_timed_ban_tick(conn);
    EXPECT_EQ(sent(), std::vector<std::string>{"MODE #c -b *!*@two\n"});
    EXPECT_EQ(conn->timed_bans, nullptr);
}

TEST_F(BanLists, IdentifiersReadTheLists)
{
    WindowRecord* other = open("#d", kWinChannel, 0);
    ASSERT_NE(other, nullptr);
    feed(":srv 367 me #c *!*@full op!o@h.example 1234567890");
    feed(":srv 367 me #c *!*@nick op");
    feed(":srv 367 me #c *!*@bare");
    feed(":srv 368 me #c :End");
    feed(":srv 348 me #c *!*@exc op 9");
    feed(":srv 346 me #c *!*@inv1 op 8");
    feed(":srv 346 me #c *!*@inv2 op 7");
    std::string date = "mmm doo h:nntt";
    time_format_user(1234567890, date, 0);
    struct Case {
        const char* text;
        std::string expected;
    } cases[] = {
        {"$ibl(#c,0)", "3"},
        {"$banlist(#C,-4)", "3"},
        {"$ibl(#c,1)", "*!*@full"},
        {"$ibl(#c,1).by", "op!o@h.example"},
        {"$ibl(#c,2).by", "op"},
        {"< $+ $ibl(#c,3).by $+ >", "<>"},
        {"$ibl(#c,1).ctime", "1234567890"},
        {"$ibl(#c,1).date", date},
        {"< $+ $ibl(#c,2).date $+ >", "<>"},
        {"$ibl(#c,3)", "*!*@bare"},
        {"< $+ $ibl(#c,4) $+ >", "<>"},
        {"< $+ $ibl(#nowhere,0) $+ >", "<>"},
        {"$iel(#c,0) $iel(#c,1)", "1 *!*@exc"},
        {"$iil(#c,0) $iil(#c,2)", "2 *!*@inv2"},
        {"$iil(#d,0)", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(eval(c.text), c.expected);
    }
}

TEST_F(BanLists, EntryPartsOfHandMadeEntries)
{
    struct Case {
        const char* text;
        const char* parts[4];
    } cases[] = {
        {"m\tnick (u@h) 42", {"m", "nick!u@h", nullptr, "42"}},
        {"m\t  nick   (u@h", {"m", "nick!u@h", nullptr, ""}},
        {"m\tnick 0", {"m", "nick", "", ""}},
        {"m\tnick 12x", {"m", "nick", "", ""}},
        {"m", {"m", "", "", ""}},
        {"m\t(x) 5", {"m", "(x)", nullptr, "5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        StringNode node;
        node.text = c.text;
        for (int part = 0; part < 4; ++part) {
            if (!c.parts[part]) continue;
            std::string out = "old";
            const int r = chan_list_entry_part(&node, out, part);
            EXPECT_EQ(out, c.parts[part]) << "part " << part;
            EXPECT_EQ(r, out.empty() ? 0 : 1);
        }
    }
}

TEST_F(BanLists, AFloodOfReplyLinesStaysBounded)
{
    const int total = kChanListMaxEntries + 50;
    for (int i = 0; i < total; ++i) {
        IrcMessage msg;
        msg.raw = ":srv 367 me #c m" + std::to_string(i) + "!*@* op 1";
        msg.connection = conn;
        irc_message_tokenize(msg);
        msg.numeric = 367;
        chan_list_reply(msg, kChanListBans);
    }
    EXPECT_EQ(strlist_count(chan->chan_lists[kChanListBans]), kChanListMaxEntries);
    EXPECT_EQ(chan->chan_lists[kChanListBans]->text, "m0!*@*\top 1");
    // MODE keeps the newest when the list is full.
    feed(":x!u@h MODE #c +b newest!*@*");
    EXPECT_EQ(strlist_count(chan->chan_lists[kChanListBans]), kChanListMaxEntries);
    EXPECT_EQ(chan->chan_lists[kChanListBans]->text.rfind("newest!*@*\t", 0), 0u);
}

}  // namespace
}  // namespace chat_test
