// The CTCP, raw and user-list commands run on a live connection: the lines
// they send, what they show, the lists and the users file they change, and
// the fallback for unknown command words. Typed into the real editbox where
// the path from the keys matters.
#include "messages_fixture.h"

#include <regex>

#include "app/subsystems.h"
#include "commands/ctcp_commands.h"
#include "commands/messaging_commands.h"
#include "commands/user_list_commands.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "irc/ctcp/ctcp.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/flood.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ignore_list.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/replies.h"
#include "script/exec/executor.h"
#include "script/exec/script_text.h"

namespace chat_test {
namespace {

ScriptFile* g_users = nullptr;  // the users file, loaded empty for each test
std::vector<std::string> g_errors;  // script errors printed at once

class CtcpCommands : public ChatTest {
protected:
    void SetUp() override
    {
        ChatTest::SetUp();
        irc_user_lists_install();
        app_wire_irc_user_lists();
        app_wire_irc_ctcp();
        g_errors.clear();
        script_echo_line = [](QWidget*, const std::string& text, int) { g_errors.push_back(text); };
        strlist_free(&main_settings.ignore_list);
        strlist_free(&main_settings.aop_list);
        ignore_prune_timed();
        {
            std::ofstream out(dir + "users.ini");
            out << "[users]\n";
        }
        g_users = remote_file_load(dir + "users.ini", kRemoteUsers, 0, nullptr);
        ASSERT_NE(g_users, nullptr);
        conn->connected = 1;
        ial_set_on(1, conn);
        const std::string a = "a", addr = "~u@h.example";
        ial_update(&a, &addr, 0, conn);
        wire.clear();
        clear(chan);
        clear(status());
        script_error_clear();
    }
    void TearDown() override
    {
        userhost_requests_free(conn);
        strlist_free(&main_settings.ignore_list);
        strlist_free(&main_settings.aop_list);
        ignore_prune_timed();
        g_users = nullptr;  // unloaded with every other file
        conn->connected = 0;
        conn->socket = -1;
        ChatTest::TearDown();
        irc_user_lists_uninstall();
    }
    // Runs a command line in the channel window through the command table
    // (an unknown word reaches the fallback); a script error stays pending.
    void run(const std::string& line)
    {
        std::string text = line.substr(line[0] == '/' ? 1 : 0);
        CommandCall call;
        call.window = chan->hwnd.get();
        call.conn = conn;
        call.line = text;
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && text[i] == ' ') ++i;
            if (i >= text.size()) break;
            std::size_t end = text.find(' ', i);
            if (end == std::string::npos) end = text.size();
            call.tokens.push_back(text.substr(i, end - i));
            i = end;
        }
        builtin_dispatch(call);
        pump();
    }
    std::vector<std::string> take_sent()
    {
        std::vector<std::string> out = sent();
        wire.clear();
        return out;
    }
    std::vector<std::string> entries(StringNode* head)
    {
        std::vector<std::string> out;
        for (StringNode* n = head; n; n = n->next) out.push_back(n->text);
        return out;
    }
};

TEST_F(CtcpCommands, CtcpRawAndUnknownWordsSendTheirLines)
{
    struct Case {
        const char* command;
        const char* sent;   // regular expression of the one line sent; null: nothing
        const char* shown;  // the channel's last line; null: nothing shown
    } cases[] = {
        {"/ctcp nick ping", "PRIVMSG nick :\x01PING \\d+\x01\n", "-> [nick] PING"},
        {"/ctcp nick version", "PRIVMSG nick :\x01VERSION\x01\n", "-> [nick] VERSION"},
        {"/ctcp #c sound x.wav hi", "PRIVMSG #c :\x01SOUND x.wav hi\x01\n", "-> [#c] SOUND x.wav hi"},
        {"/ctcp nick dcc chat", nullptr, "* /ctcp: /dcc komutunu kullan"},
        {"/ctcp nick", nullptr, "* /ctcp: Yetersiz veya eksik parametre"},
        {"/ctcpreply nick Version Kest 1", "NOTICE nick :\x01Version Kest 1\x01\n", "-> [nick] Version Kest 1"},
        {"/raw -q PRIVMSG #a :hi", "PRIVMSG #a :hi\n", nullptr},
        {"/raw PRIVMSG #a :hi", "PRIVMSG #a :hi\n", "-> Server: PRIVMSG #a :hi"},
        {"/raw on x", "on x\n", "-> Server: on x"},
        {"/quote", nullptr, "* /quote: Yetersiz veya eksik parametre"},
        {"/away gone for lunch", "AWAY :gone for lunch\n", nullptr},
        {"/kick #c bob bye now", "KICK #c bob :bye now\n", nullptr},
        {"/mode #c +o bob", "MODE #c \\+o bob\n", nullptr},
        {"/privmsg nick :already trailing", "PRIVMSG nick :already trailing\n", nullptr},
        {"/ison a b", "ISON a b\n", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        clear(chan);
        run(c.command);
        const std::vector<std::string> out = take_sent();
        if (c.sent) {
            ASSERT_EQ(out.size(), 1u);
            EXPECT_TRUE(std::regex_match(out[0], std::regex(c.sent))) << out[0];
        } else {
            EXPECT_TRUE(out.empty()) << out[0];
        }
        // Script errors go where the run reports them; echoes to the channel.
        std::vector<std::string> shown = lines(chan);
        for (const std::string& l : lines(status())) shown.push_back(l);
        for (const std::string& e : g_errors) shown.push_back(e);
        g_errors.clear();
        clear(status());
        if (c.shown) {
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(shown.back(), c.shown);
        } else {
            EXPECT_TRUE(shown.empty()) << shown[0];
        }
    }
}

TEST_F(CtcpCommands, NotConnectedNothingGoesOut)
{
    conn->connected = 0;
    for (const char* c : {"/ctcp nick version", "/ctcpreply nick x", "/raw PRIVMSG a :b", "/zzz a"}) {
        SCOPED_TRACE(c);
        clear(chan);
        clear(status());
        run(c);
        EXPECT_TRUE(take_sent().empty());
        std::vector<std::string> shown = lines(chan);
        for (const std::string& l : lines(status())) shown.push_back(l);
        for (const std::string& e : g_errors) shown.push_back(e);
        g_errors.clear();
        ASSERT_FALSE(shown.empty());
        EXPECT_NE(shown.back().find("Servera bağlı değilsiniz"), std::string::npos) << shown.back();
    }
}

TEST_F(CtcpCommands, SwitchesShowAndChangeTheirState)
{
    struct Case {
        const char* command;
        OptionId option;
        int value;
        const char* shown;
    } cases[] = {
        {"/ctcps off", OPT_REMOTE_CTCPS, 0, "* Ctcp'ler Kapalı"},
        {"/ctcps maybe", OPT_REMOTE_CTCPS, 0, "* Ctcp'ler Kapalı"},
        {"/ctcps on", OPT_REMOTE_CTCPS, 1, "* Ctcp'ler Açık"},
        {"/raw off", OPT_REMOTE_RAW, 0, "* Raw Kapalı"},
        {"/raw", OPT_REMOTE_RAW, 0, "* Raw Kapalı"},
        {"/creq +m auto", OPT_DCC_CHAT_REQUESTS, 1, "* DCC Chat Otomatik Kabul Edilecek"},
        {"/creq bogus", OPT_DCC_CHAT_REQUESTS, 1, "* DCC Chat Otomatik Kabul Edilecek"},
        {"/sreq ignore", OPT_DCC_SEND_REQUESTS, 2, "* DCC Gönderme Isteklerini Red Et"},
        {"/pdcc 5", OPT_PDCC_SIZE, 500000, "* Pdcc Açık"},
        {"/pdcc nonsense", OPT_PDCC_SIZE, 0, "* Pdcc Kapalı"},
        {"/sound off", OPT_SOUND_ACCEPT_REQUESTS, 0, "* Ses Istekleri Kapalı"},
        {"/dlevel 0", OPT_DEFAULT_USER_LEVEL, 1, "* Varsayılan Remote Kullanıcı Düzeyi Değişiyor 1"},
        {"/dlevel 5000", OPT_DEFAULT_USER_LEVEL, 999, "* Varsayılan Remote Kullanıcı Düzeyi Değişiyor 999"},
        {"/ignore off", OPT_IGNORE_ENABLED, 0, "* Ignore Kapalı"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        run(c.command);
        EXPECT_EQ(opt(c.option), c.value);
        ASSERT_FALSE(lines(chan).empty());
        EXPECT_EQ(lines(chan).back(), c.shown);
    }
    EXPECT_EQ(opt(OPT_DCC_CHAT_NO_ACTIVATE), 1);
    EXPECT_TRUE(take_sent().empty());
}

TEST_F(CtcpCommands, SoundSendsTheRequestAndShowsItsEcho)
{
    run("/sound #c hello.wav");
    run("/sound #c \"my song.wav\" listen");
    run("/sound nick ding.wav");
    EXPECT_EQ(take_sent(), (std::vector<std::string>{"PRIVMSG #c :\x01SOUND hello.wav\x01\n",
                                                     "PRIVMSG #c :\x01SOUND \"my song.wav\" listen\x01\n",
                                                     "PRIVMSG nick :\x01SOUND ding.wav\x01\n"}));
    EXPECT_EQ(lines(chan), (std::vector<std::string>{"[SOUND]", "* me listen", "-> [nick] SOUND"}));
    // In the status window a file without a target has nowhere to go.
    CommandCall call;
    call.window = status()->hwnd.get();
    call.conn = conn;
    call.tokens = {"sound", "x.wav"};
    call.line = "sound x.wav";
    cmd_sound(call);
    EXPECT_TRUE(take_sent().empty());
    ASSERT_FALSE(g_errors.empty());
    EXPECT_EQ(g_errors.back(), "* /sound: Kanalda Değilsiniz");
}

TEST_F(CtcpCommands, IgnoreSwitchesBuildTheEntry)
{
    feed(":srv 005 me NETWORK=TestNet :are supported");
    struct Step {
        const char* command;
        std::vector<std::string> list;
        const char* shown;
    } steps[] = {
        {"/ignore -w nick", {"nick!*@*,private,channel,notice,ctcp,dcc,invite,codes"},
         "* nick!*@* Rededilenler (Ignore) Listesine Eklendi"},
        {"/ignore -rwp nick", {"nick!*@*,channel,notice,ctcp,dcc,invite,codes"},
         "* nick!*@* İçin Reddetme (Ignore) güncellendi"},
        {"/ignore -rw nick", {}, "* nick!*@* Rededilenler (Ignore) Listesinden Çıkarıldı"},
        {"/ignore -pu120 bob", {"bob!*@*,private,\"TestNet\""},
         "* bob!*@* Rededilenler (Ignore) Listesine 120 Saniyelik Eklendi"},
        {"/ignore -tx *!*@x.example OtherNet", {"bob!*@*,private,\"TestNet\"", "*!*@x.example,ctcp,exclude,\"OtherNet\""},
         "* *!*@x.example Rededilenler (Ignore) Listesine Eklendi"},
        {"/ignore a 2", {"bob!*@*,private,\"TestNet\"", "*!*@x.example,ctcp,exclude,\"OtherNet\"",
                         "*!*@h.example,private,channel,notice,ctcp,dcc,invite,codes,\"TestNet\""},
         "* *!*@h.example Rededilenler (Ignore) Listesine Eklendi"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command);
        run(s.command);
        EXPECT_EQ(entries(main_settings.ignore_list), s.list);
        ASSERT_FALSE(lines(chan).empty());
        EXPECT_EQ(lines(chan).back(), s.shown);
    }
    EXPECT_EQ(ignore_timed_seconds("bob!*@*"), 120);
    clear(chan);
    run("/ignore -l");
    EXPECT_EQ(lines(chan), (std::vector<std::string>{"* Ignore Listesi:", "bob!*@* (p) [2] - TestNet",
                                                    "*!*@h.example (pcntdik) - TestNet"}));
    clear(chan);
    run("/ignore -lt");
    EXPECT_TRUE(lines(chan).size() == 2u && lines(chan)[1] == "*!*@h.example (pcntdik) - TestNet")
        << ::testing::PrintToString(lines(chan));
    // Without a mask, -r empties the network's entries (the other network's stay).
    run("/ignore -r");
    EXPECT_EQ(entries(main_settings.ignore_list), std::vector<std::string>{"*!*@x.example,ctcp,exclude,\"OtherNet\""});
    EXPECT_EQ(lines(chan).back(), "* Ignore Listesi Temizlendi");
    run("/ignore -rw");
    EXPECT_EQ(main_settings.ignore_list, nullptr);
    run("/ignore");
    EXPECT_EQ(lines(chan).back(), "* Ignore Açık");
    run("/ignore -l");
    EXPECT_EQ(lines(chan).back(), "* Ignore Listesi Boş");
    // A nick the address list does not know waits for USERHOST.
    run("/ignore zed 3");
    EXPECT_EQ(take_sent().back(), "USERHOST zed\n");
    feed(":srv 302 me :zed=+z@zed.example");
    EXPECT_EQ(entries(main_settings.ignore_list).size(), 1u);
}

TEST_F(CtcpCommands, AopListingShowsChannels)
{
    run("/aop -w nick #a #b");
    run("/aop -w other");
    EXPECT_EQ(entries(main_settings.aop_list), (std::vector<std::string>{"nick!*@*,#a,#b", "other!*@*"}));
    clear(chan);
    run("/aop -l");
    EXPECT_EQ(lines(chan), (std::vector<std::string>{"* Oto-Op listesi:", "nick!*@* (#a,#b)", "other!*@* (all channels)"}));
    run("/aop -r");
    EXPECT_EQ(main_settings.aop_list, nullptr);
}

TEST_F(CtcpCommands, UsersAndLevelsAreEditedListedAndRemoved)
{
    run("/auser 10 peer");
    run("/auser -a 20 peer");
    run("/auser 30,40 *!*@x.example a friend");
    run("/guser 5 a");        // the address list knows a: masked by type 6
    run("/iuser peer the peer");
    EXPECT_EQ(entries(g_users->lines), (std::vector<std::string>{"20,10:peer the peer", "30,40:*!*@x.example a friend",
                                                                "5:a!*u@h.example"}));
    clear(chan);
    run("/ulist >15");
    EXPECT_EQ(lines(chan), (std::vector<std::string>{"* Remote Kullanıcı Listesi:", "20,10:peer the peer",
                                                    "30,40:*!*@x.example a friend", "* Kullanıcı Listesi Sonu"}));
    clear(chan);
    run("/ulist 5");
    EXPECT_EQ(lines(chan).size(), 3u);
    run("/rlevel -r 40,10");
    EXPECT_EQ(lines(chan).back(), "* 2 Kullanıcısı Levellerden Silindi");
    run("/rlevel 30");
    EXPECT_EQ(entries(g_users->lines), (std::vector<std::string>{"20:peer the peer", "5:a!*u@h.example"}));
    run("/rlevel 99");
    EXPECT_EQ(lines(chan).back(), "* Kullanıcı Listesinde Benzeri veya Silinmiş Kullanıcı Yok");
    run("/ruser peer");
    EXPECT_EQ(entries(g_users->lines), std::vector<std::string>{"5:a!*u@h.example"});
    run("/rlevel -r");
    run("/ulist <");
    EXPECT_EQ(g_errors, (std::vector<std::string>{"* /rlevel: Yetersiz veya eksik parametre",
                                                  "* /ulist: Geçersiz parametre"}));
}

TEST_F(CtcpCommands, TheFloodGuardsIgnoreLineIsRunWithoutEvaluation)
{
    // A host that holds identifiers and a command separator.
    irc_run_plain(conn, "/!ignore -u60 *!*@evil$me|echo.example");
    EXPECT_EQ(entries(main_settings.ignore_list).size(), 1u);
    ASSERT_NE(main_settings.ignore_list, nullptr);
    EXPECT_EQ(main_settings.ignore_list->text.rfind("*!*@evil$me|echo.example,", 0), 0u)
        << main_settings.ignore_list->text;
    EXPECT_EQ(ignore_timed_seconds("*!*@evil$me|echo.example"), 60);
}

}  // namespace
}  // namespace chat_test
