// Whole-program tests of the script data stores: a script loaded through
// the settings runs its cases from START, writes what it sees with /write
// and ends the program with /exit -n; the test reads the files it left.
// Cases that must fail run one per timer, so that the error stops only that
// case, and their messages are read from the status window's log.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/harness.h"

using namespace e2e;

namespace {

// One check: script lines that end by writing "tag value" into results.txt,
// and the value the test expects after the tag.
struct Case {
    const char* tag;
    const char* script;    // lines separated by "\n"; the last writes the result
    const char* expected;
};

// A failing command and the message it must print.
struct ErrorCase {
    const char* command;
    const char* message;
};

struct ScriptRun {
    std::map<std::string, std::string> results;   // tag -> rest of the line
    std::string raw;
    std::string log;
    int exit_code = -1;
};

std::string indent(const std::string& lines)
{
    std::string out;
    std::size_t p = 0;
    while (p <= lines.size()) {
        std::size_t e = lines.find('\n', p);
        if (e == std::string::npos)
            e = lines.size();
        if (e > p)
            out += "  " + lines.substr(p, e - p) + "\n";
        p = e + 1;
    }
    return out;
}

// Starts the program with a START script made of the setup text, the cases
// and the failing commands (one timer each), waits for /exit -n and reads
// the results.
ScriptRun run_script(KestProgram& kest, const std::string& setup, const std::vector<Case>& cases,
               const std::vector<ErrorCase>& errors = {}, int exit_after_ms = 600,
               const std::string& aliases = "")
{
    // The way out is set first, so that a case that stops the script still
    // ends the program.
    std::string body = "on *:START:{\n  .timerbye -m 1 " + std::to_string(exit_after_ms) + " exit -n\n" + indent(setup);
    for (const Case& c : cases)
        body += indent(c.script);
    int n = 0;
    for (const ErrorCase& e : errors) {
        ++n;
        body += "  .timerfail" + std::to_string(n) + " -m 1 " + std::to_string(50 + 10 * n) + " " + e.command + "\n";
    }
    body += "}\n" + aliases;
    kest.log_status();
    kest.add_script("stores.kst", body);
    ScriptRun run;
    if (!kest.start({"-noconnect"}))
        return run;
    run.exit_code = kest.process().wait_exit(20000);
    run.raw = read_file(kest.settings() / "results.txt");
    run.log = kest.status_log();
    std::size_t p = 0;
    while (p < run.raw.size()) {
        std::size_t e = run.raw.find('\n', p);
        if (e == std::string::npos)
            e = run.raw.size();
        const std::string line = run.raw.substr(p, e - p);
        const std::size_t sp = line.find(' ');
        run.results[line.substr(0, sp)] = sp == std::string::npos ? "" : line.substr(sp + 1);
        p = e + 1;
    }
    return run;
}

void expect_cases(const ScriptRun& run, const std::vector<Case>& cases)
{
    ASSERT_EQ(run.exit_code, 0) << "the program did not end by /exit -n\n" << run.log;
    for (const Case& c : cases) {
        auto it = run.results.find(c.tag);
        if (it == run.results.end()) {
            ADD_FAILURE() << "case " << c.tag << " wrote nothing\n" << run.raw << run.log;
            continue;
        }
        EXPECT_EQ(it->second, c.expected) << "case " << c.tag << ":\n" << c.script;
    }
}

void expect_errors(const ScriptRun& run, const std::vector<ErrorCase>& errors)
{
    for (const ErrorCase& e : errors)
        EXPECT_NE(run.log.find(e.message), std::string::npos)
            << e.command << " did not print " << e.message << "\n" << run.log;
}

}  // namespace

TEST(DataStoresE2e, HashTables)
{
    const std::vector<Case> cases = {
        {"size", "hmake t 100\nwrite results.txt size $hget(t).size $hget(t)", "100 t"},
        {"defsize", "hmake d\nwrite results.txt defsize $hget(d).size", "100"},
        {"count", "hmake t2 7\nwrite results.txt count $hget(0) $hget(2) $hget(3).size", "3 d 7"},
        {"item", "hadd t Nick some value\nwrite results.txt item $hget(t,nick) $hget(T,NICK)", "some value some value"},
        {"missing", "write results.txt missing < $+ $hget(t,none) $+ > < $+ $hget(nosuch,x) $+ > $hget(nosuch).size", "<> <> 0"},
        {"inc", "hinc t n 0.5\nhinc t n 0.5\nhinc t n\nhdec t n 3\nwrite results.txt inc $hget(t,n)", "-1"},
        {"incabc", "hinc t w abc\nwrite results.txt incabc $hget(t,w)", "0"},
        {"replace", "hadd t k 1\nhadd t k 2\nwrite results.txt replace $hget(t,k) $hget(t,0).item", "2 4"},
        {"walk", "hmake one 5\nhadd one only val\nwrite results.txt walk $hget(one,1).item $hget(one,1).data $hget(one,2).item $hget(one,x).item",
         "only val 1"},
        {"make-m", "hadd -m auto x y\nwrite results.txt make-m $hget(auto).size $hget(auto,x)", "100 y"},
        {"find", "hadd t2 apple red\nhadd t2 apricot orange\nhadd t2 banana yellow\n"
                 "write results.txt find $hfind(t2,APPLE) $hmatch(t2,ap*,0) $hfind(t2,*an*,0,w) $hfind(t2,yellow).data $hregex(t2,^b,1)",
         "apple 2 1 banana banana"},
        {"del", "hdel t k\nhdel -w t2 ap*\nwrite results.txt del $hget(t,k) $hget(t2,0).item",
         "1"},
        {"free", "hfree -w zz*\nhfree auto\nwrite results.txt free $hget(auto) $hget(0)", "4"},
        {"bin", "bset &b 1 65 0 66\nhadd -b t bin &b\nwrite results.txt bin $hget(t,bin) $hget(t,bin,&c) $bvar(&c,1-)",
         "A 3 65 0 66"},
        {"binc", "hadd -bc t txt &b\nwrite results.txt binc $hget(t,txt) $hget(t,txt,&c)", "A 1"},
    };
    const std::vector<ErrorCase> errors = {
        {"hmake e 0", "* /hmake: Geçersiz parametre"},
        {"hmake e 10001", "* /hmake: Geçersiz parametre"},
        {"hmake t", "* /hmake: 't' Tablosu zaten var"},
        {"hadd nosuch a b", "* /hadd: 'nosuch' Tablo yok"},
        {"hadd -b t x &missing", "* /hadd: Geçersiz parametre"},
        {"hsave nosuch f.txt", "* /hsave: 'nosuch' Tablo yok"},
        {"hdel t", "* /hdel: Yetersiz veya eksik parametre"},
    };
    KestProgram kest;
    const ScriptRun run = run_script(kest, "", cases, errors);
    expect_cases(run, cases);
    expect_errors(run, errors);
}

TEST(DataStoresE2e, HashTablesSavedAndLoadedBack)
{
    const std::vector<Case> cases = {
        // Binary values: long ones, short ones with zero bytes, and text.
        {"binary",
         "hmake s 10\nbset &big 5000 7\nbset &big 10 0\nhadd -b s big &big\n"
         "bset &z 1 1 2 3 4 5 6 7 8 9 0 11 12\nhadd -b s zero &z\nhadd s text hello world\n"
         "hsave -b s tab.bin\nhfree s\nhmake s 10\nhload -b s tab.bin\n"
         "write results.txt binary $hget(s,big,&a) $bvar(&a,5000) $hget(s,zero,&y) $bvar(&y,1-) $hget(s,text)",
         "5000 7 12 1 2 3 4 5 6 7 8 9 0 11 12 hello world"},
        {"plain",
         "hmake p 10\nhadd p one 1\nhadd p two 2 2\nhsave p plain.txt\nhmake p2 10\nhload p2 plain.txt\n"
         "write results.txt plain $hget(p2,0).item $hget(p2,one) $hget(p2,two)",
         "2 1 2 2"},
        {"ini",
         "hsave -i p tab.ini sect\nhmake p1 5\nhadd p1 solo 5\nhsave -in p1 tab.ini nums\nhmake q 10\nhload -i q tab.ini sect\n"
         "hmake r 10\nhload -in r tab.ini nums\n"
         "write results.txt ini $hget(q,one) $hget(q,two) $hget(r,0).item $hget(r,1) $readini(tab.ini, sect, two) $readini(tab.ini, nums, n0)",
         "1 2 2 1 5 2 2 5"},
        {"timers", "hadd -u30 p gone x\nhsave p notimer.txt\nhsave -u p withtimer.txt\n"
                   "write results.txt timers $lines(notimer.txt) $hget(p,gone).unset",
         "4 30"},
        {"odd", "write -c odd.txt a\nwrite odd.txt 1\nwrite odd.txt b\nhmake o 5\nhload o odd.txt\n"
                "write results.txt odd $hget(o,0).item $hget(o,a)",
         "1 1"},
        // Saving over an old file: a failed save leaves it whole.
        {"keep", "write -c keep.txt old contents\nbset &huge 70000 1\nhadd -b s huge &huge\n.timerkeep -m 1 100 hsave -b s keep.txt",
         ""},
        {"keepread", ".timerkeepread -m 1 300 keepread", ""},
    };
    const std::vector<ErrorCase> errors = {
        {"hload p nosuchfile.txt", "* /hload: Açılamıyor"},
    };
    KestProgram kest;
    const ScriptRun run = run_script(kest, "", cases, errors, 600,
                                     "alias keepread { write results.txt keepread $read(keep.txt, 1) }\n");
    std::vector<Case> checked(cases.begin(), cases.end() - 2);
    expect_cases(run, checked);
    expect_errors(run, errors);
    EXPECT_NE(run.log.find("* /hsave: 's' Hash Tablosunu 'keep.txt' 'na kayıt etmede hata var"), std::string::npos)
        << run.log;
    EXPECT_EQ(run.results.count("keepread") ? run.results.at("keepread") : "(none)", "old contents");
    EXPECT_EQ(read_file(kest.settings() / "keep.txt"), "old contents\n");
    // Ini form with item names numbered from n0.
    const std::string ini = read_file(kest.settings() / "tab.ini");
    EXPECT_NE(ini.find("n0="), std::string::npos) << ini;
    EXPECT_NE(ini.find("[sect]"), std::string::npos) << ini;
}

TEST(DataStoresE2e, TimedHashItemsRunOnTheSecondTick)
{
    // -u3 unsets after three ticks; -z counts the value down; -c counts up
    // or down every second; setting the item again removes its timer.
    const std::string setup =
        "hmake t 10\n"
        "hadd -u2 t gone x\n"
        "hadd -u1 t kept x\nhadd t kept y\n"
        "hadd -z t down 3\n"
        "hinc -c t up\n"
        "hdec -c t neg\n"
        ".timerlook -m 1 3500 look\n";
    KestProgram kest;
    const ScriptRun run = run_script(kest, setup, {}, {}, 3800,
        "alias look { write results.txt look $hget(t,gone) $+ / $+ $hget(t,kept) $+ / $+ $hget(t,down) $+ / $+ $hget(t,up) $+ / $+ $hget(t,neg) }\n");
    ASSERT_EQ(run.exit_code, 0) << run.log;
    ASSERT_TRUE(run.results.count("look")) << run.raw << run.log;
    const std::string look = run.results.at("look");
    // After three or four ticks: gone and down are gone; up and neg moved.
    EXPECT_TRUE(look == "/y//4/-4" || look == "/y//5/-5" || look == "/y//3/-3") << look;
}

TEST(DataStoresE2e, BinaryVariables)
{
    const std::vector<Case> cases = {
        {"grow", "bset &v 5 1 2 3\nwrite results.txt grow $bvar(&v,0) $bvar(&v,1-)", "7 0 0 0 0 1 2 3"},
        {"cut", "bset -c &v 2 9\nwrite results.txt cut $bvar(&v,0) $bvar(&v,1,5)", "2 0 9"},
        {"wrap", "bset &w 1 300 A\nwrite results.txt wrap $bvar(&w,1-2) $bvar(&w,2).text", "44 65 A"},
        {"text", "bset -t &t 1 ab cd\nwrite results.txt text $bvar(&t,0) $bvar(&t,1-).text", "5 ab cd"},
        {"range", "write results.txt range $bvar(&t,2-) / $bvar(&t,2,2) / $bvar(&t,9) / $bvar(&none,0)", "98 32 99 100 / 98 32 / / 0"},
        {"word", "bset &n 1 52 18 0 1\nwrite results.txt word $bvar(&n,1).word $bvar(&n,1).nword $bvar(&n,1).long $bvar(&n,1).nlong $bvar(&n,4).word",
         "4660 13330 16781876 873594881"},
        {"find", "bset -t &f 1 xyAB\nbset &f 5 13 10\nwrite results.txt find $bfind(&f,1,13 10) $bfind(&f,1,ab) $bfind(&f,4,ab) $bfind(&f,1,b).text",
         "5 3 0 4"},
        {"replace", "bset -t &r 1 ab\nbreplace &r 97 98 98 99\nwrite results.txt replace $bvar(&r,1-).text", "bc"},
        {"copyz", "bset &c 1 1 2 3 4\nbcopy -z &c 1 &c 3 2\nwrite results.txt copyz $bvar(&c,1-)", "3 4 0 0"},
        {"copynew", "bcopy &d 3 &c 1 -1\nwrite results.txt copynew $bvar(&d,1-)", "0 0 3 4 0 0"},
        {"unset", "bunset &d &nosuch plain\nwrite results.txt unset $bvar(&d,0)", "0"},
        {"files",
         "bset -t &o 1 hello\nbwrite bin.dat 0 -1 &o\nbwrite bin.dat -1 -1 there\nbwrite bin.dat 0 0 ignored\n"
         "bread bin.dat 2 6 &i\nbread -t bin.dat 0 100 &j\n"
         "write results.txt files $bvar(&i,1-).text $bvar(&j,0) $file(bin.dat)",
         "llothe 10 10"},
        {"trunc", "btrunc bin.dat 4\nbread bin.dat 0 100 &k\nwrite results.txt trunc $bvar(&k,1-).text", "hell"},
        {"encode", "bset -t &e 1 abc\nwrite results.txt encode $md5(&e,1) $encode(&e,mb) $bvar(&e,1-).text",
         "900150983cd24fb0d6963f7d28e17f72 4 YWJj"},
    };
    const std::vector<ErrorCase> errors = {
        {"bset &v 0 1", "* /bset: Geçersiz parametre"},
        {"bset v 1 1", "* /bset: Geçersiz parametre"},
        {"bread nosuch.bin 0 5 &x", "* /bread: Açılamıyor"},
        {"breplace &nosuch 1 2", "* /breplace: Geçersiz parametre"},
    };
    KestProgram kest;
    const ScriptRun run = run_script(kest, "", cases, errors);
    expect_cases(run, cases);
    expect_errors(run, errors);
}
