// Whole-program test of the built-in identifiers: the real program loads a
// script through its settings, computes tables of values at start and in a
// channel of a private IRC server shared with a second client, and writes
// each as "R name = value" into its status window, whose log the test reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kMe = "kestid2";

struct Case {
    const char* name;
    const char* expression;   // as the script writes it
    const char* expected;     // the whole value, a regular expression
};

// Values that need no server: text, numbers, time.
const Case kStartCases[] = {
    {"str", "$str(ab,3)", "ababab"},
    {"replace", "$replace(abc,a,b,b,c)", "ccc"},
    {"replacex", "$replacex(abc,a,b,b,c)", "bcc"},
    {"remove", "$remove(a-b-c,-)", "abc"},
    {"upper", "$upper(mixed Case)", "MIXED CASE"},
    {"lower", "$lower(MIXED Case)", "mixed case"},
    {"left", "$left(abcdef,-2)", "abcd"},
    {"mid", "$mid(abcdef,2,3)", "bcd"},
    {"len", "$len(abcdef)", "6"},
    {"pos", "$pos(aXbXc,x,2)", "4"},
    {"ord", "$ord(22)", "22nd"},
    {"round", "$round(2.5,0) $round(-2.5,0) $round(3.10)", "3 -3 3\\.1"},
    {"int", "$int(-3.9) $int(7.2)", "-3 7"},
    {"abs", "$abs(-4.5)", "4\\.5"},
    {"bits", "$bitoff(7,2) $biton(0,32) $isbit(4,3) $biton(1,33)", "5 2147483648 1 1"},
    {"and", "$and(12,10) $not(0)", "8 4294967295"},
    {"base", "$base(ff,16,10) $base(255,10,2,12)", "255 000011111111"},
    {"rand", "$rand(1,3) $rand(1,3) $rand(1,3) $rand(1,3) $r(a,c)", "[1-3] [1-3] [1-3] [1-3] [a-c]"},
    {"iif", "$iif(1 == 1,yes,no) $iif($len(ab) > 5,long,short)", "yes short"},
    {"gmt", "$gmt(0,HH:nn) $gmt(3661,H:n:s) $gmt(86400,doo mmmm yyyy)", "00:00 1:1:1 2nd January 1970"},
    {"roundtrip", "$ctime($asctime(1234567890))", "1234567890"},
    {"duration", "$duration(3661) / $duration(3661,3) / $duration($duration(3661))", "1hr 1min 1sec / 01:01:01 / 3661"},
    {"ticks", "$ticks", "[1-9][0-9]*"},
    {"offline", "$chan(0) $uptime(server,3)", "0 0"},
    {"scripts", "$script(0) $script(1)", "1 .*/values\\.kst"},
    {"groups", "$group(0) $group(1) $group(#spare) $group(#spare).status", "1 #spare off off"},
    {"aliases", "$isalias(e2ehelper) $isalias(e2ehelper).alias $isalias(nosuch)", "\\$true return 42 \\$false"},
    {"aliasfile", "$isalias(e2ehelper).fname", ".*/values\\.kst"},
};

// Values read in the channel, with the peer there too.
const Case kChannelCases[] = {
    {"nicks", "$nick(#test,0)", "2"},
    {"ops", "$nick(#test,0,o) $opnick(#test,0) $nick(#test,0,a,o)", "1 1 1"},
    {"firstop", "$nick(#test,1,o)", kMe},
    {"pnick", "$nick(#test,1).pnick", "@kestid2"},
    {"place", "$nick(#test,peer) $len($opnick(#test,peer))", "2 0"},
    {"chans", "$chan(0) $chan(1) $chan(abc)", "1 #test 1"},
    {"nochan", "$len($chan(#elsewhere))", "0"},
    {"comchan", "$comchan(peer,0) $comchan(peer,1) $comchan(peer,1).op", "1 #test \\$true"},
    {"address", "$address(peer,0) / $address(peer,5)", "\\*!~?\\S+@\\S+ / peer!~?\\S+@\\S+"},
    {"window", "$window(0) $window(#test).type $window(@mdi).type $window(-2).type", "0 channel mdi kest"},
    {"state", "$window(#test).state", "(normal|maximized)"},
    {"wid", "$iif($window(#test).wid == $activewid,same,other) $active", "same #test"},
    {"status", "$chan(#test).status", "joined"},
    {"connection", "$me $status $iif($cid > 0,cid,nocid) $server", "kestid2 connected cid \\S+"},
    {"ticking", "$iif($ticks >= %t0,up,down)", "up"},
    {"uptime", "$iif($uptime(server) > 0,yes,no) $iif($uptime > 0,yes,no) $iif($uptime(kest) > 0,yes,no)", "yes yes yes"},
};

int line_count(const std::string& s)
{
    return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

// The file lines of the "$scriptline" uses: in the START block, and in an
// alias defined further down that the block calls.
int g_start_line = 0;
int g_alias_line = 0;

std::string make_script()
{
    std::string s = "on *:START:{\n  set %t0 $ticks\n";
    for (const Case& c : kStartCases)
        s += std::string("  echo -s R ") + c.name + " = " + c.expression + "\n";
    g_start_line = line_count(s) + 1;
    s += "  echo -s R scriptline = $scriptline $e2eline $scriptline\n";
    s += "}\non *:TEXT:report:#test:{\n";
    for (const Case& c : kChannelCases)
        s += std::string("  echo -s R ") + c.name + " = " + c.expression + "\n";
    // Asking the user is refused inside an event.
    s += "  echo -s R done = yes\n  echo -s R refused = $input(Anyone?,e)\n}\n";
    s += "alias e2ehelper return 42\n#spare off\non *:TEXT:never:#:echo -s never\n#spare end\n";
    g_alias_line = line_count(s) + 1;
    s += "alias e2eline return $scriptline\n";
    return s;
}

// Waits for a status-log line "R name = ..." and gives its value.
bool wait_value(const KestProgram& kest, const std::string& name, std::string& value, int ms = kWaitMs)
{
    const std::regex re("R " + name + " = ?(.*)");
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        for (const std::string& line : log_lines(kest.status_log())) {
            std::smatch m;
            if (std::regex_match(line, m, re)) {
                value = m[1].str();
                return true;
            }
        }
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void check_cases(const KestProgram& kest, const Case* cases, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        std::string value;
        ASSERT_TRUE(wait_value(kest, c.name, value)) << kest.status_log();
        EXPECT_TRUE(std::regex_match(value, std::regex(c.expected))) << c.expression << " gave [" << value << "]";
    }
}

struct BuiltinIdentifiersE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
    }
    void TearDown() override
    {
        kest.stop(3000);
        server.stop();
    }
    IrcServer server;
    KestProgram kest;
};

} // namespace

TEST_F(BuiltinIdentifiersE2e, ScriptValuesAtStartAndInAChannelWithAPeer)
{
    kest.use_server(server.port());
    kest.set("options", "n5", option_line({{15, 1}, {24, 15}, {25, 1}}));
    kest.log_status();
    kest.add_script("values.kst", make_script());
    ASSERT_TRUE(kest.start({"-n", kMe, "-j", "#test"}));

    // Before any channel: text, numbers and time.
    check_cases(kest, kStartCases, sizeof kStartCases / sizeof kStartCases[0]);
    // The line running now, in the event's block and in the alias it calls.
    std::string lines;
    ASSERT_TRUE(wait_value(kest, "scriptline", lines)) << kest.status_log();
    const std::string start = std::to_string(g_start_line);
    EXPECT_EQ(lines, start + " " + std::to_string(g_alias_line) + " " + start);

    Peer peer;
    ASSERT_TRUE(peer.login(server.port(), "peer")) << joined(peer.history());
    // The program made the channel first, so it holds the operator status.
    auto end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    bool joined_first = false;
    while (!joined_first && Clock::now() < end) {
        peer.send_line(std::string("WHOIS ") + kMe);
        IrcLine l;
        while (peer.wait_for("^:\\S+ (319|318|401) peer ", 3000, &l) && l.command == "319")
            if (!l.params.empty() && l.params.back().find("@#test") != std::string::npos)
                joined_first = true;
        if (!joined_first)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(joined_first) << kest.output() << kest.status_log();
    ASSERT_TRUE(peer.join("#test")) << joined(peer.history());
    ASSERT_TRUE(peer.send_line("PRIVMSG #test :report"));
    std::string done;
    ASSERT_TRUE(wait_value(kest, "done", done)) << kest.status_log();
    check_cases(kest, kChannelCases, sizeof kChannelCases / sizeof kChannelCases[0]);
    // $input in an event: the error, and the line that used it never runs.
    end = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (log_index(kest.status_log(), ".*\\* \\$input: Bir olayda kullanamazsınız.*") < 0 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(log_index(kest.status_log(), ".*\\* \\$input: Bir olayda kullanamazsınız.*"), 0) << kest.status_log();
    EXPECT_LT(log_index(kest.status_log(), "R refused.*"), 0) << kest.status_log();
}
