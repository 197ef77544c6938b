// Whole-program tests of the logon as a new user meets it: both nicks in use
// (the status window's input box asks for another, and the logon goes on
// with it), the first-start lines that say how to set the identity, and the
// user modes the server gives ($usermode). The server is a scripted listener
// on 127.0.0.1.
#include <gtest/gtest.h>

#include <string>

#include "e2e/harness.h"
#include "e2e/program_probe.h"

using namespace e2e;

namespace {

const char* const kMe = "kestbot";
const char* const kAlt = "kestalt";
const char* const kAnickLine = "\\* Nickiniz kullanılıyorsa denenecek ikinci nick için: /anick <nick>";

// The status window's input box as "<text> selection-start selection-end"
// (positions counted from 1: the caret at the end of "/nick " is 7).
const char* const kInputBox =
    "< $+ $editbox(Status Window) $+ > $editbox(Status Window).selstart $editbox(Status Window).selend";

// Reads lines until a NICK comes; its nick, empty when none came within `ms`.
std::string next_nick(LineSocket& link, int ms = kWaitMs)
{
    std::string line;
    while (link.read_line(line, ms)) {
        const IrcLine l = parse_irc_line(line);
        if (l.command == "NICK" && !l.params.empty())
            return l.params[0];
    }
    return {};
}

// Sends the welcome numerics for a nick (the logon ends with them).
void welcome(LineSocket& link, const std::string& nick)
{
    const std::string s = ":fake.e2e.test ";
    for (const std::string& l : {s + "001 " + nick + " :Welcome " + nick + "!k@127.0.0.1",
                                 s + "004 " + nick + " fake.e2e.test e2e-1 iow ntklmo",
                                 s + "005 " + nick + " PREFIX=(ov)@+ CHANTYPES=# :are supported",
                                 s + "422 " + nick + " :MOTD File is missing"})
        link.send_line(l);
}

} // namespace

// Both nicks taken at logon: the alternative is tried once, then the program
// asks in the status window's input box ("/nick " with the caret at its end)
// instead of standing still; the nick the user then gives finishes the logon.
TEST(LogonPromptsE2e, BothNicksInUseAskForAnotherInTheStatusInputBox)
{
    ScriptedServer fake;
    ASSERT_TRUE(fake.ok());
    KestProgram kest;
    kest.use_server(fake.port());
    kest.set("kest", "anick", kAlt);
    ASSERT_TRUE(kest.start({"-n", kMe}));
    LineSocket link;
    ASSERT_TRUE(fake.accept_link(link)) << kest.output();
    ASSERT_EQ(next_nick(link), kMe) << joined(link.history());

    link.send_line(std::string(":fake.e2e.test 433 * ") + kMe + " :Nickname is already in use");
    ASSERT_EQ(next_nick(link), kAlt) << joined(link.history());
    // Only the alternative so far: the input box is left alone.
    std::string box;
    ASSERT_TRUE(probe_evaluate(kest, kInputBox, box));
    EXPECT_EQ(box, "<> 1 1");

    link.send_line(std::string(":fake.e2e.test 433 * ") + kAlt + " :Nickname is already in use");
    EXPECT_TRUE(probe_until(kest, kInputBox, "</nick > 7 7", box)) << box;
    std::string caption;
    EXPECT_TRUE(probe_until(kest, "$window(Status Window).title", ".*\\[Nickiniz Şu an Yok\\].*", caption))
        << caption;
    // The program sends no nick of its own meanwhile.
    EXPECT_EQ(next_nick(link, 1500), "") << joined(link.history());

    // The user's nick goes out and the logon finishes with it.
    ASSERT_TRUE(probe_command(kest, "/nick kestthird"));
    ASSERT_EQ(next_nick(link), "kestthird") << joined(link.history());
    welcome(link, "kestthird");
    std::string me;
    EXPECT_TRUE(probe_until(kest, "$me $server", "kestthird fake\\.e2e\\.test", me)) << me;
    kest.stop(3000);
}

// At first start without a nick the status window says what is missing and
// how to set it; it names /anick while no alternative nick is set, and only
// then.
TEST(LogonPromptsE2e, TheFirstStartLinesNameAnickWhileThereIsNoAlternative)
{
    struct Case {
        const char* what;
        const char* anick;
        bool named;
    };
    const Case cases[] = {
        {"no alternative nick", "", true},
        {"an alternative nick set", kAlt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedServer fake;
        ASSERT_TRUE(fake.ok());
        KestProgram kest;
        kest.use_server(fake.port());
        kest.set("kest", "nick", "");
        kest.set("kest", "anick", c.anick);
        probe_plain_status_log(kest);
        ASSERT_TRUE(kest.start({}));
        const int missing = probe_status_line(kest, "\\* Bağlanmak için eksik: nick");
        ASSERT_GE(missing, 0) << kest.status_log();
        const int how = probe_status_line(kest, "\\* Belirlemek için: /nick <nick>", static_cast<std::size_t>(missing));
        ASSERT_EQ(how, missing + 1) << kest.status_log();
        const int anick = log_index(kest.status_log(), kAnickLine);
        if (c.named)
            EXPECT_EQ(anick, how + 1) << kest.status_log();
        else
            EXPECT_LT(anick, 0) << kest.status_log();
        kest.stop(3000);
    }
}

// $usermode follows the modes the server gives and changes: "+" and the
// letters, no brackets.
TEST(LogonPromptsE2e, UsermodeAnswersTheModesTheServerGives)
{
    ScriptedServer fake;
    ASSERT_TRUE(fake.ok());
    KestProgram kest;
    kest.use_server(fake.port());
    ASSERT_TRUE(kest.start({"-n", kMe}));
    LineSocket link;
    ASSERT_TRUE(fake.accept_link(link)) << kest.output();
    ASSERT_EQ(ScriptedServer::welcome(link), kMe) << joined(link.history());
    std::string modes;
    ASSERT_TRUE(probe_until(kest, "< $+ $usermode $+ > $server", "<\\+> fake\\.e2e\\.test", modes)) << modes;
    // Each step's line is read before the next one's; a line that changed
    // what it must not would show in a later answer.
    struct Step {
        std::string line;
        const char* modes;  // $usermode after it, as a pattern
    };
    const Step steps[] = {
        {std::string(":fake.e2e.test 221 ") + kMe + " +i", "<\\+i>"},
        {std::string(":") + kMe + " MODE " + kMe + " :+w", "<\\+iw>"},
        {std::string(":") + kMe + " MODE " + kMe + " :-i", "<\\+w>"},
        // Another nick's modes are not ours.
        {std::string(":fake.e2e.test 221 someoneelse +x"), "<\\+w>"},
        {std::string(":") + kMe + " MODE " + kMe + " :-w", "<\\+>"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.line);
        link.send_line(s.line);
        std::string got;
        EXPECT_TRUE(probe_until(kest, "< $+ $usermode $+ >", s.modes, got)) << got;
    }
    kest.stop(3000);
}
