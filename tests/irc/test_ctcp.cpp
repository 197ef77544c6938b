// CTCP requests and replies fed as server lines on a live connection: what
// is answered on the wire, what is shown where, the flood memory, the
// script's CTCP events; and the ignore list on every receive path.
#include "messages_fixture.h"

#include <regex>

#include "core/main_settings.h"
#include "core/string_list.h"
#include "model/colors.h"
#include "irc/ctcp/ctcp.h"
#include "irc/dispatch/membership.h"
#include "irc/lists/ignore_list.h"

namespace chat_test {
namespace {

class CtcpTest : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        strlist_free(&main_settings.ignore_list);
        ignore_prune_timed();
        clear(chan);
        clear(status());
    }
    void TearDown() override
    {
        strlist_free(&main_settings.ignore_list);
        ignore_prune_timed();
        ChatTest::TearDown();
    }
    // Lets the flood memory forget everything.
    void forget()
    {
        for (int i = 0; i < 10; ++i) ctcp_flood_decay(conn);
    }
    // The lines sent since the last call.
    std::vector<std::string> take_sent()
    {
        std::vector<std::string> out = sent();
        wire.clear();
        return out;
    }
};

TEST_F(CtcpTest, StandardRequestsAreAnsweredAndShown)
{
    struct Case {
        const char* line;
        const char* answer;  // regular expression of the one line sent; null: nothing sent
        bool in_channel;     // else the status window
        const char* shown;
    } cases[] = {
        {":a!u@h PRIVMSG me :\x01VERSION\x01", "NOTICE a :\x01VERSION Kest \\S+ Telquist\x01\n", false,
         "[a VERSION]"},
        {":a!u@h PRIVMSG me :\x01version", "NOTICE a :\x01VERSION Kest \\S+ Telquist\x01\n", false, "[a VERSION]"},
        {":a!u@h PRIVMSG me :\x01PING 1234567\x01", "NOTICE a :\x01PING 1234567\x01\n", false, "[a PING]"},
        {":a!u@h PRIVMSG me :\x01PING 123 +++\x01", nullptr, false, "[a PING]"},
        {":a!u@h PRIVMSG me :\x01PING abc\x01", nullptr, false, "[a PING]"},
        {":a!u@h PRIVMSG me :\x01PING 1234567890123456789012345\x01", nullptr, false, "[a PING]"},
        {":a!u@h PRIVMSG me :\x01TIME\x01",
         "NOTICE a :\x01TIME [A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}\x01\n", false,
         "[a TIME]"},
        {":a!u@h PRIVMSG me :\x01" "FINGER\x01", "NOTICE a :\x01" "FINGER .* \\(.*\\) Idle \\d+ seconds\x01\n", false,
         "[a FINGER]"},
        // Requests without an answer of their own are shown only.
        {":a!u@h PRIVMSG me :\x01" "CLIENTINFO\x01", nullptr, false, "[a CLIENTINFO]"},
        {":a!u@h PRIVMSG me :\x01USERINFO\x01", nullptr, false, "[a USERINFO]"},
        {":a!u@h PRIVMSG me :\x01PING\x01", nullptr, false, "[a PING]"},
        {":a!u@h PRIVMSG #c :\x01PING 99\x01", "NOTICE a :\x01PING 99\x01\n", true, "[a:#c PING]"},
        {":a!u@h PRIVMSG me :\x01" "FOO bar baz\x01", nullptr, false, "[a FOO] bar baz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        forget();
        clear(chan);
        clear(status());
        feed(c.line);
        const std::vector<std::string> out = take_sent();
        if (c.answer) {
            ASSERT_EQ(out.size(), 1u);
            EXPECT_TRUE(std::regex_match(out[0], std::regex(c.answer))) << out[0];
        } else {
            EXPECT_TRUE(out.empty()) << out[0];
        }
        WindowRecord* where = c.in_channel ? chan : status();
        EXPECT_EQ(lines(where), std::vector<std::string>{c.shown});
        EXPECT_EQ(last_colour(where), kColorCtcpText);
        EXPECT_TRUE(lines(c.in_channel ? status() : chan).empty());
    }
}

TEST_F(CtcpTest, ChannelRequestsGoWhereTheChannelOrTheGlobalChoiceSays)
{
    SavedValues<MembershipSettings> saved{membership_settings};
    WindowRecord* other = open("#d", kWinChannel, 0);
    ASSERT_NE(other, nullptr);
    // The default window: the active channel, with CTCPs shown there.
    opt_set(OPT_CTCPS_IN_ACTIVE, 1);
    win_active = other->hwnd.get();
    // #d's own choice must not touch what #c does.
    chan_membership(other)->show_ctcps_in = 2;
    struct Case {
        int channel_choice;
        int global_choice;
        const char* where;  // "c", "status" or "d" (the default window)
    } cases[] = {
        {0, 0, "c"}, {0, 1, "status"}, {0, 2, "d"}, {0, 7, "d"},
        {1, 1, "c"}, {2, 0, "status"}, {3, 0, "d"}, {9, 1, "d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channel_choice) + "/" + std::to_string(c.global_choice));
        chan_membership(chan)->show_ctcps_in = c.channel_choice;
        membership_settings.ctcps_in = c.global_choice;
        for (WindowRecord* w : {chan, status(), other})
            clear(w);
        forget();
        feed(":a!u@h PRIVMSG #c :\x01PING 99\x01");
        WindowRecord* where = std::string(c.where) == "c" ? chan : std::string(c.where) == "d" ? other : status();
        EXPECT_EQ(lines(where), std::vector<std::string>{"[a:#c PING]"});
        for (WindowRecord* w : {chan, status(), other})
            if (w != where) {
                EXPECT_TRUE(lines(w).empty()) << w->name;
            }
    }
    // A private request keeps to the default window whatever #c says.
    chan_membership(chan)->show_ctcps_in = 1;
    for (WindowRecord* w : {chan, status(), other})
        clear(w);
    forget();
    feed(":a!u@h PRIVMSG me :\x01TIME\x01");
    EXPECT_EQ(lines(other), std::vector<std::string>{"[a TIME]"});
    EXPECT_TRUE(lines(chan).empty());
    win_active = nullptr;
}

TEST_F(CtcpTest, FramingDecidesWhatIsACtcp)
{
    // A second 0x01 that is not last makes plain text; a lone 0x01 is no CTCP.
    feed(":a!u@h PRIVMSG #c :\x01VERSION\x01 x");
    feed(":a!u@h PRIVMSG #c :\x01");
    EXPECT_TRUE(take_sent().empty());
    EXPECT_EQ(lines(chan), (std::vector<std::string>{"<a> \x01VERSION\x01 x", "<a> \x01"}));
}

TEST_F(CtcpTest, FloodMemoryAnswersATypeOnceInFiveSecondsAndAnAddressOnceInTen)
{
    feed(":a!u@h1 PRIVMSG me :\x01VERSION\x01");
    ASSERT_EQ(take_sent().size(), 1u);
    clear(status());
    // Another user within 5 seconds: no answer and nothing shown.
    feed(":b!u@h2 PRIVMSG me :\x01VERSION\x01");
    EXPECT_TRUE(take_sent().empty());
    EXPECT_TRUE(lines(status()).empty());
    // Another type is not held back by it.
    feed(":b!u@h2 PRIVMSG me :\x01PING 5\x01");
    EXPECT_EQ(take_sent().size(), 1u);
    // Past 5 seconds the type is free again, but not for the address that
    // was answered (compared without regard to case) until its 10 seconds
    // are over.
    for (int i = 0; i < 6; ++i) ctcp_flood_decay(conn);
    feed(":a!u@H1 PRIVMSG me :\x01VERSION\x01");
    EXPECT_TRUE(take_sent().empty());
    feed(":c!u@h3 PRIVMSG me :\x01VERSION\x01");
    EXPECT_EQ(take_sent().size(), 1u);
    for (int i = 0; i < 6; ++i) ctcp_flood_decay(conn);
    feed(":a!u@h1 PRIVMSG me :\x01VERSION\x01");
    EXPECT_EQ(take_sent().size(), 1u);
    forget();
    EXPECT_EQ(ctcp_flood_size(conn), 0);
}

TEST_F(CtcpTest, WithoutProtectionPingAndFingerAreAnsweredEveryTimeButVersionStaysGated)
{
    opt_set(OPT_FLOOD_ANSWER_CTCPS, 0);
    for (int i = 0; i < 3; ++i) {
        feed(":a!u@h PRIVMSG me :\x01" "FINGER\x01");
        feed(":a!u@h PRIVMSG me :\x01PING 7\x01");
        feed(":a!u@h PRIVMSG me :\x01VERSION\x01");
    }
    int fingers = 0, pings = 0, versions = 0;
    for (const std::string& l : take_sent()) {
        fingers += l.find("FINGER") != std::string::npos;
        pings += l.find("PING") != std::string::npos;
        versions += l.find("VERSION") != std::string::npos;
    }
    EXPECT_EQ(fingers, 3);
    EXPECT_EQ(pings, 3);
    EXPECT_EQ(versions, 1);
}

TEST_F(CtcpTest, AFloodOfDistinctAddressesKeepsTheMemoryBounded)
{
    for (int i = 0; i < 2000; ++i) {
        IrcMessage msg;
        msg.connection = conn;
        msg.has_address = true;
        msg.address = "u@h" + std::to_string(i);
        ctcp_flood_allow(msg, 100 + i);  // a type of its own each: every one is remembered
    }
    EXPECT_LE(ctcp_flood_size(conn), 256);
    forget();
    EXPECT_EQ(ctcp_flood_size(conn), 0);
}

TEST_F(CtcpTest, AHaltingCtcpHandlerSuppressesTheAnswerOfItsTypeOnly)
{
    load_script({"ctcp *:VERSION:*:say v $nick | halt", "ctcp *:PING:#:say p $chan | halt"});
    // The VERSION handler runs, yet its halt keeps no answer back.
    feed(":a!u@h PRIVMSG me :\x01VERSION\x01");
    EXPECT_EQ(take_sent().size(), 1u);
    EXPECT_EQ(said, std::vector<std::string>{"v a"});
    // The PING handler is for channels: a private PING is answered.
    feed(":a!u@h PRIVMSG me :\x01PING 42\x01");
    EXPECT_EQ(take_sent(), std::vector<std::string>{"NOTICE a :\x01PING 42\x01\n"});
    forget();
    feed(":a!u@h PRIVMSG #c :\x01PING 43\x01");
    EXPECT_TRUE(take_sent().empty());
    EXPECT_EQ(said.back(), "p #c");
    // With the Ctcps switch off the handlers do not run and the answer goes.
    opt_set(OPT_REMOTE_CTCPS, 0);
    forget();
    feed(":a!u@h PRIVMSG me :\x01VERSION\x01");
    EXPECT_EQ(take_sent().size(), 1u);
    EXPECT_EQ(said.size(), 2u);
}

TEST_F(CtcpTest, CtcpHandlersWrittenAsOnLinesMatchTheirWordAndTarget)
{
    load_script({"on *:CTCP:VERSION:*:say v $nick | halt", "on *:CTCP:PING:#:say p $chan | halt",
                  "on *:TEXT:VERSION:*:say wrong"});
    feed(":a!u@h PRIVMSG me :\x01VERSION\x01");
    EXPECT_EQ(take_sent().size(), 1u);
    feed(":a!u@h PRIVMSG me :\x01PING 42\x01");
    EXPECT_EQ(take_sent(), std::vector<std::string>{"NOTICE a :\x01PING 42\x01\n"});
    forget();
    feed(":a!u@h PRIVMSG #c :\x01PING 43\x01");
    EXPECT_TRUE(take_sent().empty());
    EXPECT_EQ(said, (std::vector<std::string>{"v a", "p #c"}));
}

TEST_F(CtcpTest, RepliesAreShownWithTheirNameAndTheCtcpReplyEventCanHaltThem)
{
    const std::string now = std::to_string(static_cast<long long>(std::time(nullptr)));
    struct Case {
        std::string line;
        std::string shown;  // regular expression
    } cases[] = {
        {":a!u@h NOTICE me :\x01PING " + now + "\x01", "\\[a PING Tekrarı\\]: \\d+secs?"},
        {":a!u@h NOTICE me :\x01PING soon\x01", "\\[a PING Tekrarı\\]: soon"},
        {":a!u@h NOTICE me :\x01TIME Mon Jan 01\x01", "\\[a TIME tekrarı\\]: Mon Jan 01"},
        {":a!u@h NOTICE me :\x01USERINFO\x01", "\\[a USERINFO tekrarı\\]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        clear(status());
        feed(c.line);
        const std::vector<std::string> shown = lines(status());
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(std::regex_match(shown[0], std::regex(c.shown))) << shown[0];
        EXPECT_EQ(last_colour(status()), kColorCtcpText);
    }
    EXPECT_TRUE(take_sent().empty());
    load_script({"on *:CTCPREPLY:TIME*:say r $1- | halt"});
    clear(status());
    feed(":a!u@h NOTICE me :\x01TIME later\x01");
    EXPECT_TRUE(lines(status()).empty());
    EXPECT_EQ(said, std::vector<std::string>{"r TIME later"});
    feed(":a!u@h NOTICE me :\x01VERSION x\x01");
    EXPECT_EQ(lines(status()), std::vector<std::string>{"[a VERSION tekrarı]: x"});
}

TEST_F(CtcpTest, DccOffersRefusedByTheRequestModeShowTheirOwnText)
{
    opt_set(OPT_DCC_CHAT_REQUESTS, 2);
    opt_set(OPT_DCC_SEND_REQUESTS, 2);
    feed(":a!u@h PRIVMSG me :\x01" "DCC CHAT chat 2130706433 5000\x01");
    feed(":a!u@h PRIVMSG me :\x01" "DCC SEND f.txt 2130706433 5000 10\x01");
    // An offer to a channel is not taken.
    feed(":a!u@h PRIVMSG #c :\x01" "DCC SEND g.txt 2130706433 5000 10\x01");
    EXPECT_EQ(lines(status()), (std::vector<std::string>{"* DCC Chat isteği nedeniyle ignore edilmiştir: a",
                                                        "* DCC Send isteği nedeniyle ignore edilmiştir: a"}));
    EXPECT_TRUE(lines(chan).empty());
    EXPECT_TRUE(take_sent().empty());
}

// ---- The ignore list ----

TEST_F(CtcpTest, IgnoreMatchHonoursTypesExclusionsAndNetworks)
{
    for (const char* e : {"*!*@bad.example,private,ctcp", "all!*@*", "any!*@*,all", "exc!*@*,exclude", "exc!*@*,ctcp",
                          "net!*@*,private,\"OtherNet\"", "ex2!*@*,exclude,ctcp", "ex2!*@*,ctcp"})
        main_settings.ignore_list = strlist_append(main_settings.ignore_list, std::string_view(e), 0);
    const std::string other = "OtherNet", star = "*";
    struct Case {
        const char* address;
        const char* type;
        const std::string* network;
        bool ignored;
    } cases[] = {
        {"x!u@bad.example", "private", nullptr, true},
        {"x!u@bad.example", "ctcp", nullptr, true},
        {"x!u@bad.example", "channel", nullptr, false},
        {"x!u@good.example", "private", nullptr, false},
        {"all!u@h", "invite", nullptr, true},
        {"any!u@h", "codes", nullptr, true},
        // Only "exclude": the address stays visible for every type.
        {"exc!u@h", "ctcp", nullptr, false},
        {"exc!u@h", "private", nullptr, false},
        // "exclude" and "ctcp": a ctcp entry still matches for ctcp.
        {"ex2!u@h", "ctcp", nullptr, true},
        {"ex2!u@h", "private", nullptr, false},
        // A network entry applies on its network, and to a lookup with "*".
        {"net!u@h", "private", nullptr, false},
        {"net!u@h", "private", &other, true},
        {"net!u@h", "private", &star, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " " + c.type);
        EXPECT_EQ(ignore_match(c.address, c.type, c.network, conn) != nullptr, c.ignored);
    }
}

TEST_F(CtcpTest, IgnoreEditAddsUpdatesAndRemovesTypes)
{
    const std::string types = "private,ctcp";
    EXPECT_EQ(ignore_edit(status()->hwnd.get(), 1, "bob", &types, 0, 1, conn), 1);
    ASSERT_NE(main_settings.ignore_list, nullptr);
    EXPECT_EQ(main_settings.ignore_list->text, "bob!*@*,private,ctcp");
    // Adding again merges the new type in; the entry stays one.
    const std::string more = "ctcp,notice";
    EXPECT_EQ(ignore_edit(status()->hwnd.get(), 1, "bob!*@*", &more, 0, 1, conn), 1);
    EXPECT_EQ(main_settings.ignore_list->text, "bob!*@*,private,ctcp,notice");
    EXPECT_EQ(main_settings.ignore_list->next, nullptr);
    const std::string ctcp = "ctcp";
    EXPECT_EQ(ignore_edit(status()->hwnd.get(), 2, "bob", &ctcp, 0, 1, conn), 2);
    EXPECT_EQ(main_settings.ignore_list->text, "bob!*@*,private,notice");
    const std::string rest = "private,notice";
    EXPECT_EQ(ignore_edit(status()->hwnd.get(), 2, "bob", &rest, 0, 1, conn), 2);
    EXPECT_EQ(main_settings.ignore_list, nullptr);
    EXPECT_EQ(ignore_edit(status()->hwnd.get(), 2, "bob", &rest, 0, 1, conn), 0);
    EXPECT_EQ(lines(status()), (std::vector<std::string>{
                                   "* bob!*@* Rededilenler (Ignore) Listesine Eklendi",
                                   "* bob!*@* İçin Reddetme (Ignore) güncellendi",
                                   "* bob!*@* İçin Reddetme (Ignore) güncellendi",
                                   "* bob!*@* Rededilenler (Ignore) Listesinden Çıkarıldı",
                                   "* bob!*@* Rededilenler (Ignore) Listesinde Bulunamadı",
                               }));
    // An empty or comma-only mask does nothing.
    EXPECT_EQ(ignore_edit(nullptr, 1, ",,", nullptr, 0, 0, conn), 0);
    EXPECT_EQ(main_settings.ignore_list, nullptr);
}

TEST_F(CtcpTest, ATimedIgnoreExpiresOnItsTickAndOnlyThen)
{
    ignore_edit(status()->hwnd.get(), 1, "a", nullptr, 3, 1, conn);
    EXPECT_EQ(lines(status()).back(), "* a!*@* Rededilenler (Ignore) Listesine 3 Saniyelik Eklendi");
    EXPECT_EQ(ignore_timed_seconds("a!*@*"), 3);
    for (int i = 0; i < 2; ++i) {
        ignore_tick_timed(0);
        feed(":a!u@h PRIVMSG #c :still quiet");
    }
    EXPECT_EQ(ignore_timed_seconds("a!*@*"), 1);
    ignore_tick_timed(0);
    EXPECT_EQ(main_settings.ignore_list, nullptr);
    EXPECT_EQ(lines(status()).back(), "* a!*@* Rededilenler (Ignore) Listesinden Çıkarıldı");
    feed(":a!u@h PRIVMSG #c :heard again");
    EXPECT_EQ(lines(chan), std::vector<std::string>{"<a> heard again"});
    // Another tick with nothing timed changes nothing.
    ignore_tick_timed(0);
    EXPECT_EQ(ignore_timed_seconds("a!*@*"), 0);
}

TEST_F(CtcpTest, IgnoredSendersAreDroppedOnEveryPathOthersAreNot)
{
    ignore_edit(nullptr, 1, "a!*@*", nullptr, 0, 0, conn);
    load_script({"on *:TEXT:*:*:say t $nick", "on *:INVITE:*:say i $nick"});
    const char* lines_in[] = {
        ":a!u@h PRIVMSG #c :channel text",
        ":a!u@h PRIVMSG me :private text",
        ":a!u@h NOTICE me :a notice",
        ":a!u@h PRIVMSG me :\x01VERSION\x01",
        ":a!u@h INVITE me :#x",
    };
    for (const char* l : lines_in) feed(l);
    EXPECT_TRUE(take_sent().empty());
    EXPECT_TRUE(lines(chan).empty());
    EXPECT_TRUE(lines(status()).empty());
    EXPECT_TRUE(said.empty());
    EXPECT_EQ(win_find_by_name("a", conn), nullptr) << "an ignored private message opened a query";
    // The same lines from b go through.
    feed(":b!u@h PRIVMSG #c :channel text");
    feed(":b!u@h PRIVMSG me :\x01VERSION\x01");
    EXPECT_EQ(lines(chan), std::vector<std::string>{"<b> channel text"});
    EXPECT_EQ(take_sent().size(), 1u);
    // With ignoring switched off, a is heard again.
    opt_set(OPT_IGNORE_ENABLED, 0);
    feed(":a!u@h PRIVMSG #c :back");
    EXPECT_EQ(lines(chan).back(), "<a> back");
}

TEST_F(CtcpTest, DccFileFilterRefusesByTheActiveList)
{
    for (const char* p : {"*.exe", "*.bat"})
        main_settings.dcc_ignore_types = strlist_append(main_settings.dcc_ignore_types, p, 0);
    for (const char* p : {"*.txt"})
        main_settings.dcc_accept_types = strlist_append(main_settings.dcc_accept_types, p, 0);
    struct Case {
        int mode;
        const char* name;
        int refused;
    } cases[] = {
        {0, "x.exe", 0}, {2, "x.exe", 1}, {2, "x.txt", 0}, {1, "x.txt", 0}, {1, "x.exe", 1}, {7, "x.exe", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + c.name);
        dcc_ignore_set_mode(c.mode);
        std::string n = c.name;
        EXPECT_EQ(dcc_ignore_test(n, 0, 0), c.refused);
    }
    dcc_ignore_set_mode(2);
    std::string n;
    EXPECT_EQ(dcc_ignore_test(n, 2, 0), 2);
    EXPECT_EQ(dcc_ignore_test(n, 1, 2), 1);
    EXPECT_EQ(n, "*.bat");
    // Switched off, the filter comes back by itself after its delay.
    opt_set(OPT_DCC_FILTER_REENABLE_MINUTES, 1);
    EXPECT_EQ(dcc_ignore_set_mode(0), 2);
    for (int i = 0; i < 59; ++i) dcc_ignore_tick();
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 0);
    dcc_ignore_tick();
    EXPECT_EQ(opt(OPT_DCC_FILTER_MODE), 2);
    strlist_free(&main_settings.dcc_ignore_types);
    strlist_free(&main_settings.dcc_accept_types);
}

}  // namespace
}  // namespace chat_test

namespace chat_test {
namespace {

TEST_F(CtcpTest, ATimedIgnoreForTheConnectionsNetworkExpiresToo)
{
    feed(":srv 005 me NETWORK=TestNet :are supported");
    const std::string types = "private,channel,\"TestNet\"";
    ignore_edit(nullptr, 1, "peer", &types, 2, 0, conn);
    ASSERT_NE(main_settings.ignore_list, nullptr);
    EXPECT_EQ(main_settings.ignore_list->text, "peer!*@*,private,channel,\"TestNet\"");
    ignore_tick_timed(0);
    EXPECT_NE(main_settings.ignore_list, nullptr);
    ignore_tick_timed(0);
    EXPECT_EQ(main_settings.ignore_list, nullptr);
}

}  // namespace
}  // namespace chat_test
