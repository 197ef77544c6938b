// Text, number and math identifiers through the evaluator: each case is a
// text as a script writes it and the value it must give, taken from the
// rules' own examples and their boundaries; errors are checked by the
// message the interpreter leaves pending.
#include "test_exec_fixture.h"

#include <cstdlib>
#include <unistd.h>
#include <set>
#include <string>

#include "core/random.h"
#include "identifiers/number_identifiers.h"
#include "identifiers/text_identifiers.h"
#include "script/exec/script_errors.h"

using namespace interp_test;

namespace {

struct EvalCase {
    const char* text;
    const char* expected;
};

class BuiltinIdentifiers : public InterpTest {
protected:
    void expect_all(const std::vector<EvalCase>& cases)
    {
        for (const EvalCase& c : cases) {
            SCOPED_TRACE(c.text);
            script_error_clear();
            EXPECT_EQ(eval(c.text), c.expected);
            EXPECT_EQ(script_error_state.text, "");
        }
    }
    // The evaluation fails with the message.
    void expect_error(const std::string& text, const std::string& message)
    {
        SCOPED_TRACE(text);
        errors.clear();
        EXPECT_EQ(eval(text), "<failed>");
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors.back(), message);
    }
};

TEST_F(BuiltinIdentifiers, CuttingAndMeasuring)
{
    expect_all({
        {"$len(abcdef)", "6"},
        {"$len()", "0"},
        {"$left(abcdef,2)", "ab"},
        {"$left(abcdef,-2)", "abcd"},
        {"$left(abcdef,10)", "abcdef"},
        {"$left(abcdef,0)", ""},
        {"$left(ab,-2)", ""},
        {"$right(abcdef,2)", "ef"},
        {"$right(abcdef,-2)", "cdef"},
        {"$right(abcdef,10)", "abcdef"},
        {"$mid(abcdef,2,3)", "bcd"},
        {"$mid(abcdef,-2)", "ef"},
        {"$mid(abcdef,-7)", ""},
        {"$mid(abcdef,0)", "abcdef"},
        {"$mid(abcdef,3,0)", "4"},
        {"$mid(abcdef,2,-1)", "bcde"},
        {"$mid(abcdef,7)", ""},
        {"$str(ab,3)", "ababab"},
        {"$str(ab,0)", ""},
        {"$pos(aXbXc,x)", "2"},
        {"$poscs(aXbXc,x)", ""},
        {"$pos(aXbXc,x,2)", "4"},
        {"$pos(aXbXc,x,0)", "2"},
        {"$pos(aXbXc,x,3)", ""},
        {"$pos(ab,abc)", ""},
        {"$count(aaaa,aa)", "2"},
        {"$count(aAbB,a,b)", "4"},
        {"$countcs(aAbB,a,b)", "2"},
    });
}

TEST_F(BuiltinIdentifiers, ChangingTexts)
{
    expect_all({
        {"$remove(a-b-c,-)", "abc"},
        {"$remove(aXbxc,x)", "abc"},
        {"$removecs(aXbxc,x)", "aXbc"},
        {"$remove(abcabc,b,c)", "aa"},
        {"$replace(abc,a,b,b,c)", "ccc"},
        {"$replacex(abc,a,b,b,c)", "bcc"},
        {"$replace(aAa,a,x)", "xxx"},
        {"$replacecs(aAa,a,x)", "xAx"},
        {"$replace(abc,b,)", "ac"},
        {"$upper(abc1)", "ABC1"},
        {"$lower(ABC1)", "abc1"},
        {"$qt(a b)", "\"a b\""},
        {"$qt(\"a)", "\"a\""},
        {"$qt()", "\"\""},
        {"$noqt(\"  a\")", "a"},
        {"$strip(\x02" "bold\x02 \x03" "4red\x0f)", "bold red"},
        {"$strip(  \x16" "rev)", "rev"},
        {"$strip(\x02" "b\x1fu,b)", "b\x1fu"},
        {"$asc(a)", "97"},
        {"$asc(\xe9)", "233"},
        {"$chr(97)", "a"},
        {"$chr(0)", ""},
        {"$chr(353)", "a"},
        {"$ord(11)", "11th"},
        {"$ord(21)", "21st"},
        {"$ord(112)", "112th"},
        {"$ord(3)", "3rd"},
        {"$ord(x)", "x"},
        {"$isupper(AB1)", "$true"},
        {"$isupper(Ab)", "$false"},
        {"$islower(ab-)", "$true"},
        {"$islower(aB)", "$false"},
    });
}

TEST_F(BuiltinIdentifiers, TextErrorsAndTheLengthLimit)
{
    expect_error("$len(a,b)", "* Çok fazla parametre: $len");
    expect_error("$left(a)", "* Çok az parametre: $left");
    expect_error("$mid(abc)", "* Geçersiz parametre: $mid");
    expect_error("$replace(abc,a)", "* Geçersiz parametre: $replace");
    expect_error("$replace(abc,a,b,c)", "* Geçersiz parametre: $replace");
    expect_error("$count(abc)", "* Geçersiz parametre: $count");
    expect_error("$str(abcdefghij,416)", "* Sıra cok uzun: $str");
    // Just under the limit is fine, and a repeated call gives the same.
    EXPECT_EQ(eval("$len($str(abcdefghij,415))"), "4150");
    EXPECT_EQ(eval("$len($str(abcdefghij,415))"), "4150");
    std::string grow = "$replace($str(a,4000),a,bb)";
    expect_error(grow, "* Sıra cok uzun: $replace");
}

TEST_F(BuiltinIdentifiers, BitsAndBases)
{
    expect_all({
        {"$and(12,10)", "8"},
        {"$or(12,10)", "14"},
        {"$xor(12,10)", "6"},
        {"$and(12)", "12"},
        {"$not(0)", "4294967295"},
        {"$biton(0,32)", "2147483648"},
        {"$biton(0,1)", "1"},
        // Bits outside 1..32 leave the value alone, 33 and 34 included.
        {"$biton(0,33)", "0"},
        {"$biton(0,34)", "0"},
        {"$biton(5,0)", "5"},
        {"$bitoff(7,2)", "5"},
        {"$bitoff(7,33)", "7"},
        {"$isbit(4,3)", "1"},
        {"$isbit(4,2)", "0"},
        {"$isbit(4)", "0"},
        {"$base(ff,16,10)", "255"},
        {"$base(255,10,2,12)", "000011111111"},
        {"$base(-5,10,10,3)", "-005"},
    });
}

TEST_F(BuiltinIdentifiers, RoundingAndMath)
{
    expect_all({
        {"$round(2.5,0)", "3"},
        {"$round(-2.5,0)", "-3"},
        {"$round(2.5)", "2.5"},
        {"$round(3.10)", "3.1"},
        {"$round(3.14159,2)", "3.14"},
        {"$round(1.23456789,9)", "1.234568"},
        {"$int(3.9)", "3"},
        {"$int(-0.5)", "0"},
        {"$int(-3.9)", "-3"},
        {"$abs(-4.5)", "4.5"},
        {"$ceil(1.2)", "2"},
        {"$floor(-1.2)", "-2"},
        {"$sqrt(16)", "4"},
        {"$sqrt(-1)", ""},
        {"$log(0)", ""},
        {"$log(1)", "0"},
        {"$sin(90).deg", "1"},
        {"$cos(0)", "1"},
        {"$asin(1).deg", "90"},
        {"$abs()", ""},
    });
}

TEST_F(BuiltinIdentifiers, RandomDrawsStayInTheirRange)
{
    rng_init_seeds(1802, 9373);
    EXPECT_EQ(eval("$rand(5,5)"), "5");
    EXPECT_EQ(eval("$rand(-3,3)"), "");   // a negative number reads as a character
    EXPECT_EQ(eval("$rand(a,3)"), "");
    std::set<std::string> numbers, letters;
    for (int i = 0; i < 400; ++i) {
        const std::string n = eval("$r(3,1)");
        ASSERT_TRUE(n == "1" || n == "2" || n == "3") << n;
        numbers.insert(n);
        const std::string c = eval("$rand(a,c)");
        ASSERT_TRUE(c == "a" || c == "b" || c == "c") << c;
        letters.insert(c);
    }
    // Both ends are reachable.
    EXPECT_EQ(numbers.size(), 3u);
    EXPECT_EQ(letters.size(), 3u);
    const std::string rounded = eval("$rand(1.6,1.6)");
    EXPECT_EQ(rounded, "2");
}

TEST_F(BuiltinIdentifiers, ColoursAddressesHashesAndBytes)
{
    expect_all({
        {"$rgb(255,0,0)", "255"},
        {"$rgb(0,0,255)", "16711680"},
        {"$rgb(16711680)", "0,0,255"},
        {"$longip(1.2.3.4)", "16909060"},
        {"$longip(16909060)", "1.2.3.4"},
        {"$longip(010.0.0.1)", "167772161"},
        {"$longip(255.255.255.255)", "4294967295"},
        {"$longip(1.2.3.999)", ""},
        {"$longip(a.b)", ""},
        {"$crc(abc,0)", "352441C2"},
        {"$bytes(1024)", "1"},
        {"$bytes(1536).suf", "1.5KB"},
        {"$bytes(1234567,b)", "1,234,567"},
        {"$bytes(1048576,k).suf", "1,024KB"},
        {"$mask(nick!user@host.example.org,0)", "*!user@host.example.org"},
        {"$mask(nick!user@host.example.org,3)", "*!*user@*.example.org"},
        {"$+(a,b,,c)", "abc"},
    });
    expect_error("$rgb(1,2)", "* Geçersiz parametre: $rgb");
    // Joining nothing is an error; joining what evaluates to nothing is not.
    expect_error("$+()", "* Geçersiz parametre: $+");
    expect_error("$+( )", "* Geçersiz parametre: $+");
    expect_all({{"$+($null)", ""}, {"$+(,)", ""}, {"$+(a,$+(b,c))", "abc"}});
}

TEST(TextHash, FollowsTheShiftAndFoldRule)
{
    // By hand: "a" is (0 + 0 + 97) << 8 = 24832, folded 32 - bits times.
    EXPECT_EQ(number_text_hash("a", 32), 24832u);
    std::uint32_t h = 24832u;
    for (int i = 0; i < 16; ++i)
        h = (h >> 1) + (h & 1u);
    EXPECT_EQ(number_text_hash("a", 16), h & 0xffffu);
    EXPECT_LT(number_text_hash("some longer text", 2), 4u);
}

TEST_F(BuiltinIdentifiers, IifTakesOnlyTheBranchItChooses)
{
    expect_all({
        {"$iif(1 == 1,yes,no)", "yes"},
        {"$iif(1 == 2,yes,no)", "no"},
        {"$iif(1 == 2,yes)", ""},
        {"$iif($len(abc) > 2,long,short)", "long"},
        {"$iif(,yes,no)", "no"},
        {"$iif(0,yes,no)", "no"},
        {"$iif(word,yes,no)", "yes"},
        {"$iif($false,yes,no)", "no"},
        // The chosen branch is evaluated after the choice.
        {"$iif(1,$upper(x),$upper(y))", "X"},
    });
    // The branch not taken never runs: an alias that counts its calls.
    alias_add("counted say called | return b");
    echoed.clear();
    EXPECT_EQ(eval("$iif(1 == 1,a,$counted)"), "a");
    EXPECT_TRUE(echoed.empty());
    EXPECT_EQ(eval("$iif(1 == 2,a,$counted)"), "b");
    EXPECT_EQ(echoed.size(), 1u);
    expect_error("$iif(1)", "* Geçersiz parametre: $iif");
    expect_error("$iif(1,a,b,c)", "* Geçersiz parametre: $iif");
}

TEST_F(BuiltinIdentifiers, EvalCountsItsPasses)
{
    run("set %x $!mnick");
    expect_all({
        {"$eval(%x,0)", "%x"},
        {"$eval(%x,1)", "$mnick"},
        {"$eval(%x,2)", "kestuser"},
        {"$eval(%x)", "$mnick"},
        {"$(%x,0)", "%x"},
        {"$evalnext(%x,0)", "$mnick"},
        {"$eval(plain words,5)", "plain words"},
    });
}

} // namespace

namespace {

TEST_F(BuiltinIdentifiers, TimeFormatsInUtc)
{
    expect_all({
        {"$gmt(0,HH:nn)", "00:00"},
        {"$gmt(0)", "Thu Jan 01 00:00:00 1970"},
        {"$gmt(3661,H:n:s)", "1:1:1"},
        {"$gmt(3661,HH:nn:ss)", "01:01:01"},
        {"$gmt(0,yyyy-mm-dd dddd)", "1970-01-01 Thursday"},
        {"$gmt(0,d mmm yy)", "1 Jan 70"},
        {"$gmt(46800,h tt)", "1 pm"},
    });
    // "oo" after a day number gives its ordinal suffix.
    const struct {
        int day;
        const char* expected;
    } ordinals[] = {{1, "1st"}, {2, "2nd"}, {3, "3rd"}, {11, "11th"}, {12, "12th"}, {13, "13th"}, {22, "22nd"}};
    for (const auto& o : ordinals) {
        SCOPED_TRACE(o.day);
        EXPECT_EQ(eval("$gmt(" + std::to_string((o.day - 1) * 86400) + ",doo)"), o.expected);
    }
    expect_error("$gmt(1,2,3)", "* Geçersiz parametre: $gmt");
}

TEST_F(BuiltinIdentifiers, DurationsAndDatesGoBothWays)
{
    expect_all({
        {"$duration(3661)", "1hr 1min 1sec"},
        {"$duration(3661,3)", "01:01:01"},
        {"$duration(90,2)", "1min"},
        {"$duration(90)", "1min 30secs"},
        {"$duration(3661.9)", "1hr 1min 1sec"},
        {"$duration(694861)", "1wk 1day 1hr 1min 1sec"},
        {"$duration(1hr 1min 1sec)", "3661"},
        {"$duration(01:01:01)", "3661"},
        {"$ctime(not a date)", ""},
    });
    // A time number written out and read back is the same number, also on
    // a second call.
    for (const char* t : {"1000000", "1234567890", "1700000000"}) {
        SCOPED_TRACE(t);
        EXPECT_EQ(eval(std::string("$ctime($asctime(") + t + "))"), t);
        EXPECT_EQ(eval(std::string("$ctime($asctime(") + t + "))"), t);
    }
    // A single argument that is not a number is a format for now.
    const std::string a = eval("$asctime(dd/mm)");
    EXPECT_EQ(a, eval("$date(dd/mm)"));
    EXPECT_EQ(a.size(), 5u);
    EXPECT_EQ(eval("$date"), eval("$date($ctime)"));
}

TEST_F(BuiltinIdentifiers, ClockCounters)
{
    const long long t1 = std::atoll(eval("$ticks").c_str());
    const long long t2 = std::atoll(eval("$ticks").c_str());
    EXPECT_GT(t1, 0);
    EXPECT_GE(t2, t1);
    // Not connected: the server's uptime is zero in every form.
    EXPECT_EQ(eval("$uptime"), "0");
    EXPECT_EQ(eval("$uptime(server)"), "0");
    EXPECT_EQ(eval("$uptime(server,3)"), "0");
    EXPECT_EQ(eval("$uptime(nothing)"), "0");
    const std::string sys = eval("$uptime(system,3)");
    EXPECT_TRUE(!sys.empty() && sys.find_first_not_of("0123456789") == std::string::npos) << sys;
    const long long ms = std::atoll(eval("$uptime(system)").c_str());
    EXPECT_GE(ms / 1000, std::atoll(sys.c_str()));
}

} // namespace

#include "identifiers/window_identifiers.h"

namespace {

TEST(ShapeTests, PointsInsideAndOnTheEdges)
{
    const struct {
        const char* what;
        int got;
        int expected;
    } cases[] = {
        {"rect inside", shape_in_rect(5, 5, 0, 0, 10, 10), 1},
        {"rect left edge counts", shape_in_rect(0, 0, 0, 0, 10, 10), 1},
        {"rect right edge does not", shape_in_rect(10, 5, 0, 0, 10, 10), 0},
        {"rect fraction cut", shape_in_rect(9.9, 9.9, 0, 0, 10, 10), 1},
        {"ellipse centre", shape_in_ellipse(10, 5, 0, 0, 20, 10), 1},
        {"ellipse left end", shape_in_ellipse(0, 5, 0, 0, 20, 10), 0},
        {"ellipse right end", shape_in_ellipse(20, 5, 0, 0, 20, 10), 0},
        {"ellipse corner of its box", shape_in_ellipse(1, 1, 0, 0, 20, 10), 0},
        {"ellipse of no width", shape_in_ellipse(0, 0, 0, 0, 0, 10), 0},
        {"round rect centre", shape_in_round_rect(50, 50, 0, 0, 100, 100, 20, 20), 1},
        {"round rect cut corner", shape_in_round_rect(0, 0, 0, 0, 100, 100, 20, 20), 0},
        {"round rect edge middle", shape_in_round_rect(0, 50, 0, 0, 100, 100, 20, 20), 1},
        {"round rect outside", shape_in_round_rect(100, 50, 0, 0, 100, 100, 20, 20), 0},
        {"triangle inside", shape_in_polygon(2, 1, {0, 0, 10, 0, 0, 10}), 1},
        {"triangle outside", shape_in_polygon(9, 9, {0, 0, 10, 0, 0, 10}), 0},
        {"no points", shape_in_polygon(1, 1, {}), 0},
        {"crossing squares", shapes_overlap({0, 0, 10, 0, 10, 10, 0, 10}, {5, 5, 15, 5, 15, 15, 5, 15}), 1},
        {"square inside square", shapes_overlap({0, 0, 100, 0, 100, 100, 0, 100}, {40, 40, 60, 40, 60, 60, 40, 60}), 1},
        {"apart", shapes_overlap({0, 0, 10, 0, 10, 10, 0, 10}, {20, 20, 30, 20, 30, 30, 20, 30}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.expected);
    }
}

TEST_F(BuiltinIdentifiers, ShapesStylesAndFileLines)
{
    expect_all({
        {"$inellipse(10,5,0,0,20,10)", "$true"},
        {"$inrect(10,5,0,0,10,10)", "$false"},
        {"$inpoly(2,1,0,0,10,0,0,10)", "$true"},
        {"$onpoly(4,4,0,0,10,0,10,10,0,10,5,5,15,5,15,15,5,15)", "$true"},
        {"$style(2)", "$style(2)"},
        {"$style(1,)", ""},
    });
    expect_error("$inpoly(1,2,3)", "* Geçersiz parametre: $inpoly");
    expect_error("$inrect(1,2,3)", "* Geçersiz parametre: $inrect");
    expect_error("$onpoly(4,4,0,0)", "* Geçersiz parametre: $onpoly");
    char path[] = "/tmp/kest_lines_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = "one\ntwo\nthree\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    EXPECT_EQ(eval(std::string("$lines(") + path + ")"), "3");
    unlink(path);
    EXPECT_EQ(eval(std::string("$lines(") + path + ")"), "");
}

} // namespace

#include <fstream>

#include "identifiers/script_identifiers.h"

namespace {

TEST(IniPositions, SectionsAndItemsByNameAndIndex)
{
    char path[] = "/tmp/kest_ini_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream out(path, std::ios::binary);
        out << "[first]\r\na=1\r\nb=2\r\n\r\n[a]b]\r\nc=3\r\nnot an item\r\n[last]  \r\nd=4\r\n";
    }
    const struct {
        const char* section;
        bool has_item;
        const char* item;
        const char* expected;
    } cases[] = {
        {"0", false, "", "3"},
        {"1", false, "", "first"},
        {"2", false, "", "a]b"},
        {"4", false, "", ""},
        {"FIRST", false, "", "1"},
        {"last", false, "", "3"},
        {"missing", false, "", "0"},
        {"a~b", false, "", "2"},
        {"first", true, "0", "2"},
        {"first", true, "2", "b"},
        {"first", true, "3", ""},
        {"first", true, "B", "2"},
        {"first", true, "zz", "0"},
        {"a]b", true, "0", "1"},
        {"2", true, "c", "1"},
        {"missing", true, "0", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + " / " + c.item);
        std::string out = "stale";
        ini_position(path, c.section, c.has_item, c.item, out);
        EXPECT_EQ(out, c.expected);
    }
    unlink(path);
    std::string out = "stale";
    ini_position(path, "0", false, "", out);
    EXPECT_EQ(out, "0");
    ini_position(path, "first", false, "", out);
    EXPECT_EQ(out, "");
}

} // namespace

#include <netinet/in.h>
#include <sys/socket.h>

#include "identifiers/network_identifiers.h"

namespace {

TEST(LinkLines, PartsOfALinksLine)
{
    const struct {
        const char* line;
        const char* prop;
        const char* expected;
    } cases[] = {
        {"\t irc.example.org [10.0.0.1] (2) The info text", "", "irc.example.org"},
        {"irc.example.org [10.0.0.1] (2) The info text", "addr", "irc.example.org"},
        {"irc.example.org [10.0.0.1] (2) The info text", "ip", "10.0.0.1"},
        {"irc.example.org [hidden] (2) The info text", "ip", ""},
        {"irc.example.org [10.0.0.1] (2) The info text", "level", "2"},
        {"irc.example.org [10.0.0.1] The info text", "level", ""},
        {"irc.example.org [10.0.0.1] (2) The info text", "info", " (2) The info text"},
        {"irc.example.org (3) info only", "info", " info only"},
        {"lonely", "", ""},
        {"irc.example.org [10.0.0.1] (2) x", "other", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.line) + " ." + c.prop);
        std::string out = "stale";
        link_line_part(c.line, c.prop, out);
        EXPECT_EQ(out, c.expected);
    }
}

TEST_F(BuiltinIdentifiers, PortFreeSeesAListener)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
    socklen_t len = sizeof sa;
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len), 0);
    const std::string port = std::to_string(ntohs(sa.sin_port));
    EXPECT_EQ(eval("$portfree(" + port + ")"), "$false");
    EXPECT_EQ(eval("$portfree(" + port + ")"), "$false");
    ::close(fd);
    EXPECT_EQ(eval("$portfree(" + port + ")"), "$true");
    EXPECT_EQ(eval("$portfree(0)"), "$false");
    EXPECT_EQ(eval("$portfree(70000)"), "$false");
    // No links window: nothing, not even a count.
    EXPECT_EQ(eval("$link(0)"), "");
}

} // namespace

namespace {

TEST(SpeechTags, AreTakenOutWithTheirValues)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"plain text", "plain text"},
        {"\\spd=5\\fast \\emp\\word\\rst\\ end", "fast word end"},
        {"\\PIT=3\\high", "high"},
        {"\\vol=9", ""},
        {"a \\other\\ b", "a \\other\\ b"},
        {"trailing \\", "trailing \\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        std::string out = "stale";
        text_strip_speech_tags(c.in, out);
        EXPECT_EQ(out, c.out);
    }
}

} // namespace

#include "identifiers/measure_identifiers.h"

namespace {

// Every character is 10 pixels wide.
int fixed_width(std::string_view s)
{
    return static_cast<int>(s.size()) * 10;
}

TEST(WrapLines, FitsWordsAndBreaks)
{
    const struct {
        const char* text;
        int width;
        bool word;
        std::vector<std::string> lines;
    } cases[] = {
        {"short", 100, true, {"short"}},
        // Narrower than width - 1: nine characters fit in 100 pixels.
        {"abcdefghijkl", 100, true, {"abcdefghi", "jkl"}},
        {"hello big world", 100, true, {"hello big", "world"}},
        {"hello big world", 100, false, {"hello big", " world"}},
        {"one\r\ntwo", 1000, true, {"one", "two"}},
        {"abc", 5, true, {"a", "b", "c"}},
        {"", 100, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> lines{"stale"};
        wrap_text_lines(c.text, c.width, c.word, fixed_width, lines);
        EXPECT_EQ(lines, c.lines);
    }
}

} // namespace

namespace {

TEST_F(BuiltinIdentifiers, HugeNumbersStayInsideTheText)
{
    expect_all({
        {"$left(abc,-99999999999999999999)", ""},
        {"$right(abc,-99999999999999999999)", ""},
        {"$left(abc,99999999999999999999)", "abc"},
        {"$mid(abc,-99999999999999999999)", ""},
        {"$mid(abcdef,2,-99999999999999999999)", ""},
        {"$mid(abcdef,99999999999999999999)", ""},
    });
    expect_error("$str(ab,9999999999999999)", "* Sıra cok uzun: $str");
    expect_error("$str(ab,99999999999999999999)", "* Sıra cok uzun: $str");
}

} // namespace

#include "model/colors.h"

namespace {

TEST_F(BuiltinIdentifiers, CrcOfFilesAndSystemColours)
{
    char path[] = "/tmp/kest_crc_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "abc", 3), 3);
    close(fd);
    const std::string p = path;
    EXPECT_EQ(eval("$crc(" + p + ")"), "352441C2");
    EXPECT_EQ(eval("$crc(" + p + ",2)"), "352441C2");
    unlink(path);
    EXPECT_EQ(eval("$crc(" + p + ")"), "00000000");
    expect_error("$crc(nothing,1)", "* Geçersiz parametre: $crc");
    const ColorRgb saved = color_system_colors[1];
    color_system_colors[1] = 0x00c0c0c0;
    EXPECT_EQ(eval("$rgb(FACE)"), std::to_string(0x00c0c0c0));
    EXPECT_EQ(eval("$rgb(nothing)"), "");
    color_system_colors[1] = saved;
}

} // namespace
