// Whole-program tests of the script data stores: a script loaded through
// the settings runs its cases from START, writes what it sees with /write
// and ends the program with /exit -n; the test reads the files it left.
// Cases that must fail run one per timer, so that the error stops only that
// case, and their messages are read from the status window's log.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>
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
    // The way out and the failing cases are set first, so that a case that
    // stops the script still ends the program.
    std::string body = "on *:START:{\n  .timerbye -m 1 " + std::to_string(exit_after_ms) + " exit -n\n";
    int n = 0;
    for (const ErrorCase& e : errors) {
        ++n;
        body += "  .timerfail" + std::to_string(n) + " -m 1 " + std::to_string(50 + 10 * n) + " " + e.command + "\n";
    }
    body += indent(setup);
    for (const Case& c : cases)
        body += indent(c.script);
    body += "}\n" + aliases;
    kest.log_status();
    kest.add_script("stores.kst", body);
    ScriptRun run;
    if (!kest.start({"-noconnect"}))
        return run;
    run.exit_code = kest.process().wait_exit(2 * kWaitMs);
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

namespace {

// A file the test expects to find in the settings folder after the run.
struct FileCase {
    const char* name;
    const char* contents;
};

void expect_files(const KestProgram& kest, const std::vector<FileCase>& files)
{
    for (const FileCase& f : files)
        EXPECT_EQ(read_file(kest.settings() / f.name), f.contents) << "file " << f.name;
}

}  // namespace

TEST(DataStoresE2e, TextFilesReadAndWrittenByLine)
{
    KestProgram kest;
    write_file(kest.settings() / "count.txt", "3\na\nb\nc\n");
    write_file(kest.settings() / "keys.txt", "keyword x\nkey   value here\n$calc(1+2)\n");
    write_file(kest.settings() / "search.txt", "ax\nbx\ncx\ndx\nex\nfx\n");
    write_file(kest.settings() / "find.txt", "ax\nbx\ncx\ndx\nex\nfx\n");
    write_file(kest.settings() / "oneline.txt", "first\n");
    write_file(kest.settings() / "noend.txt", "first");
    write_file(kest.settings() / "lines.txt", "1\n2\n3\n4\n");
    write_file(kest.settings() / "big.ini", "[s]\nk=" + std::string(60000, 'x') + "\n");
    write_file(kest.settings() / "sec.ini", "[a]\nx=1\ny=2\n[b]\nz=3\n");
    write_file(kest.settings() / "calc.ini", "[s]\nk=$calc(2+3)\n");
    write_file(kest.settings() / "cmds.txt", "write results.txt split one | write results.txt split2 $calc(1+1)\n");
    write_file(kest.settings() / "cmds.ini", "[c]\nrun=write results.txt isplit a | write results.txt isplit2 b\n");
    const std::vector<Case> cases = {
        {"count", "write results.txt count $read(count.txt, 1) $read(count.txt, 0) $read(count.txt, t, 1) $read(count.txt, 3) $+ / $+ $read(count.txt, 4) $+ /",
         "a 3 3 c//"},
        {"key", "write results.txt key $read(keys.txt, s, key) / $read(keys.txt, s, keyw) / $readn", "value here / / 0"},
        {"eval", "write results.txt eval $read(keys.txt, 3) $read(keys.txt, n, 3)", "3 $calc(1+2)"},
        {"wild", "write results.txt wild $read(find.txt, w, *x*, 5) $readn $read(find.txt, r, ^c) $readn", "ex 5 cx 3"},
        {"random", "write results.txt random $istok(a b c, $read(count.txt), 32) $istok(a b c, $read(count.txt), 32)",
         "$true $true"},
        // The bare forms take their switches and names from the words after them.
        {"bare", "write results.txt bare $read -l2 count.txt / $read -ns key keys.txt / $read -w \"*eyw*\" keys.txt / $readini calc.ini s k / $readini -n calc.ini s k / $readn",
         "b / value here / keyword x / 5 / $calc(2+3) / 1"},
        // With p the line is cut into commands: the first is the value, the
        // others run after the command that read it.
        {"split", "$read(cmds.txt, p, 1)", "one"},
        {"split2", "", "2"},
        {"isplit", "$readini -p cmds.ini c run", "a"},
        {"isplit2", "", "b"},
    };
    const std::vector<ErrorCase> errors = {
        {"writeini big.ini s k2 v", "* /writeini: 'big.ini' çok büyük"},
        {"write", "* /write: Yetersiz veya eksik parametre"},
    };
    const std::string setup =
        "write -l3 oneline.txt second\n"
        "write noend.txt x\n"
        "write -dl2 lines.txt\nwrite -d lines.txt\nwrite -il1 lines.txt zero\nwrite -al2 lines.txt +\n"
        "write -c cleared.txt\nwrite -c new.txt only\nwrite -l3 search.txt C!\nwrite -w*f* search.txt F!\nwrite -r^d search.txt D!\n"
        "write -n nolf.txt a\nwrite -n nolf.txt b\n"
        "writeini -n big.ini s k2 v\nwriteini sec.ini a w 4 5\nremini sec.ini b\nremini sec.ini a x\n";
    const ScriptRun run = run_script(kest, setup, cases, errors);
    expect_cases(run, cases);
    expect_errors(run, errors);
    expect_files(kest, {
                           {"oneline.txt", "first\nsecond\n"},
                           {"noend.txt", "first\nx\n"},
                           {"lines.txt", "zero\n1+\n3\n"},
                           {"cleared.txt", ""},
                           {"new.txt", "only\n"},
                           {"search.txt", "ax\nbx\nC!\nD!\nex\nF!\n"},
                           {"nolf.txt", "ab"},
                           {"sec.ini", "[a]\ny=2\nw=4 5\n"},
                       });
    EXPECT_NE(read_file(kest.settings() / "big.ini").find("k2=v"), std::string::npos);
}

TEST(DataStoresE2e, FileHandles)
{
    KestProgram kest;
    write_file(kest.settings() / "lines.txt", "a\r\nb\nc");
    write_file(kest.settings() / "abc.txt", "abc\r\ndef");
    // A CR that ends an 8,192-byte block is followed by "b", which starts
    // the next line.
    write_file(kest.settings() / "block.txt", std::string(8191, 'a') + "\rb\nc\n");
    write_file(kest.settings() / "crlf.txt", std::string(8191, 'a') + "\r\nb\n");
    write_file(kest.settings() / "exists.txt", "old");
    const std::vector<Case> cases = {
        {"missing", "fopen h missing.txt\nwrite results.txt missing $fopen(h) $fopen(h).err $fopen(0)", "h 1 1"},
        {"seekline", "fopen l lines.txt\nfseek -l l 3\nwrite results.txt seekline $fopen(l).pos $feof $fread(l)", "5 0 c"},
        {"seekpast", "fseek -l l 4\nwrite results.txt seekpast $feof $fopen(l).eof", "1 1"},
        {"fread", "fopen r abc.txt\nwrite results.txt fread $fread(r) $fopen(r).pos $fread(r) $feof", "abc 5 def 1"},
        {"fread2", "fseek r 0\nwrite results.txt fread2 $fread(r, 2) $fopen(r).pos $fgetc(r)", "ab 5 100"},
        {"wild", "fseek r 0\nfseek -w r d*\nwrite results.txt wild $fopen(r).pos $fread(r)", "5 def"},
        {"block", "fopen b block.txt\nwrite results.txt block $fread(b, 10) $fread(b) $fread(b)", "aaaaaaaaaa b c"},
        {"crlf", "fopen c crlf.txt\nwrite results.txt crlf $fread(c, 3) $fread(c) $feof $fread(c) $feof\nfclose c", "aaa b 1 1"},
        {"flist", "flist\nflist zz*\nwrite results.txt flist done", "done"},
        {"write", "fopen -o w out.bin\nfwrite -n w x\nbset -t &q 1 yz\nfwrite -b w &q\nfseek w 0\nwrite results.txt write $fread(w) $fread(w, 5, &got) $bvar(&got,1-).text",
         "x 2 yz"},
        {"list", "write results.txt list $fopen(0) $fopen(2) $fopen(9) $+ / $+ $fopen(w).fname", ""},
        {"close", "fclose w\nfclose *\nwrite results.txt close $fopen(0) $feof $ferr", "0 0 0"},
    };
    const std::vector<ErrorCase> errors = {
        {"fopen -n x exists.txt", "* Dosya Açma: 'x' Dosyası oluşturulamıyor"},
        {"fseek nosuch 0", "* /fseek: Geçersiz parametre"},
        {"fclose nosuch", "* /fclose: Geçersiz parametre"},
    };
    const ScriptRun run = run_script(kest, "", cases, errors);
    std::vector<Case> checked(cases.begin(), cases.end());
    checked.erase(checked.begin() + 10);
    expect_cases(run, checked);
    expect_errors(run, errors);
    ASSERT_TRUE(run.results.count("list"));
    const std::string list = run.results.at("list");
    EXPECT_EQ(list.substr(0, 6), "5 l //") << list;
    EXPECT_NE(list.find("out.bin"), std::string::npos) << list;
    EXPECT_EQ(read_file(kest.settings() / "out.bin"), "x\r\nyz");
    EXPECT_NE(run.log.find("* Dosya Yazma: 3 bytes 'w' 'a yazıldı"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("* Dosya Listesi: Dosyalar Açıldı"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("* Dosya List: Dosyalar Açılamadı"), std::string::npos) << run.log;
    // The refused -n open stays listed with its error flag; the file is untouched.
    EXPECT_EQ(read_file(kest.settings() / "exists.txt"), "old");
}

TEST(DataStoresE2e, Compression)
{
    KestProgram kest;
    write_file(kest.settings() / "plain.txt", std::string(5000, 'z') + "end\n");
    write_file(kest.settings() / "notzlib.txt", "this is not a zlib stream");
    const std::vector<Case> cases = {
        {"bvar", "bset -t &v 1 hello hello hello hello\nwrite results.txt bvar $compress(&v, b) $bvar(&v,1) $decompress(&v, b) $bvar(&v,1-).text",
         "1 120 1 hello hello hello hello"},
        {"levels", "bset -t &a 1 abababababababababababababab\nbcopy &b 1 &a 1 -1\nbcopy &c 1 &a 1 -1\nbcopy &d 1 &a 1 -1\n"
                   "write results.txt levels $compress(&a, bl9) $compress(&b, bl6) $compress(&c, bl0) $compress(&d, bl1) $bvar(&a,0) $bvar(&b,0) $bvar(&c,0) $bvar(&d,0)",
         ""},
        {"file", "write results.txt file $compress(plain.txt) $lof(plain.txt) $decompress(plain.txt) $lof(plain.txt)", ""},
        {"bad", "write results.txt bad $decompress(notzlib.txt) $compress(missing.txt) $decompress(&v, b)", "0 0 0"},
    };
    const std::vector<ErrorCase> errors = {
        {"badcompress", "* Geçersiz parametre: $compress"},
    };
    const ScriptRun run = run_script(kest, "", cases, errors, 600, "alias badcompress { echo -s $compress(&missing, b) }\n");
    expect_cases(run, {cases[0], cases[3]});
    expect_errors(run, errors);
    ASSERT_TRUE(run.results.count("levels") && run.results.count("file")) << run.raw << run.log;
    std::istringstream lv(run.results.at("levels"));
    std::string ok[4], len[4];
    for (auto& o : ok) lv >> o;
    for (auto& l : len) lv >> l;
    for (auto& o : ok) EXPECT_EQ(o, "1");
    EXPECT_EQ(len[0], len[1]) << "level 9 counts as 6";
    EXPECT_EQ(len[2], len[3]) << "level 0 counts as 1";
    std::istringstream fl(run.results.at("file"));
    std::string c1, size1, c2, size2;
    fl >> c1 >> size1 >> c2 >> size2;
    EXPECT_EQ(c1, "1");
    EXPECT_LT(std::stol(size1), 100);
    EXPECT_EQ(c2, "1");
    EXPECT_EQ(size2, "5004");
    EXPECT_EQ(read_file(kest.settings() / "plain.txt"), std::string(5000, 'z') + "end\n");
    EXPECT_EQ(read_file(kest.settings() / "notzlib.txt"), "this is not a zlib stream");
}

TEST(DataStoresE2e, FileAndSystemCommands)
{
    KestProgram kest;
    write_file(kest.settings() / "a.txt", "A\n");
    write_file(kest.settings() / "b.txt", "B\n");
    write_file(kest.settings() / "src/one.txt", "1\n");
    write_file(kest.settings() / "src/two.log", "2\n");
    write_file(kest.settings() / "old.txt", "old\n");
    write_file(kest.settings() / "gone.txt", "x\n");
    // A program whose name has a blank in it, in the settings folder.
    write_file(kest.settings() / "my tool.sh", "#!/bin/sh\necho \"$@\" > tool-ran.txt\n");
    fs::permissions(kest.settings() / "my tool.sh", fs::perms::owner_all);
    const std::string setup =
        "copy -o a.txt b2.txt\ncopy -o a.txt b2.txt\ncopy -a a.txt b.txt\n"
        "mkdir backup\ncopy src backup\nmkdir made\nmkdir made/deeper\nmkdir made/deeper\nrmdir made/deeper\n"
        "rename old.txt backup\nremove gone.txt\nremove nosuch.txt\n"
        "run touch run-made.txt a;b\n"
        "run my tool.sh from script\n";
    const std::vector<Case> cases = {
        // Relative paths of these tests are taken from the program's folder.
        {"after", "var %d = $nofile($kestini)\nwrite results.txt after $exists(%d $+ gone.txt) $isdir(%d $+ made) $isdir(%d $+ made/deeper) $isfile(%d $+ backup/old.txt) $isfile(%d $+ old.txt) $isdir(%d $+ made/)",
         "$false $true $false $true $false $true"},
    };
    const std::vector<ErrorCase> errors = {
        {"copy a.txt b.txt", "* /Kopya: '"},
        {"copy nomatch*.zzz x.txt", "* /copy: '"},
        {"rename nosuch.txt x.txt", "* /rename: Dosya bulunamadı"},
        {"mkdir", "* /mkdir: Yetersiz veya eksik parametre"},
    };
    const ScriptRun run = run_script(kest, setup, cases, errors, 900);
    expect_cases(run, cases);
    expect_errors(run, errors);
    expect_files(kest, {
                           {"b.txt", "B\nA\n"},
                           {"b2.txt", "A\n"},
                           {"backup/one.txt", "1\n"},
                           {"backup/two.log", "2\n"},
                           {"backup/old.txt", "old\n"},
                       });
    EXPECT_NE(run.log.find("* /remove: '"), std::string::npos) << run.log;
    // The program gets its words as they are: no shell splits "a;b". The
    // started program runs on its own, so its files are waited for.
    const auto wait_exists = [](const fs::path& p) {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
             !fs::exists(p) && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fs::exists(p);
    };
    EXPECT_TRUE(wait_exists(kest.settings() / "run-made.txt"));
    EXPECT_TRUE(wait_exists(kest.settings() / "a;b"));
    EXPECT_FALSE(fs::exists(kest.settings() / "b"));
    EXPECT_TRUE(wait_for_file_text(kest.settings() / "tool-ran.txt", "from script"));
}

TEST(DataStoresE2e, FilterCopiesMatchingLines)
{
    KestProgram kest;
    write_file(kest.settings() / "src.txt", "apple 3\nbanana 10\n\ncherry 2\napricot 1\n");
    write_file(kest.settings() / "csv.txt", "x,zeta\ny,alpha\nz\nw,Mid\n");
    write_file(kest.settings() / "target.txt", "old\n");
    const std::vector<Case> cases = {
        {"plain", "filter -ff src.txt out1.txt a*\nwrite results.txt plain $filtered", "2"},
        {"numbered", "filter -ffnx src.txt out2.txt a*\nwrite results.txt numbered $filtered", "2"},
        {"regex", "filter -ffcg src.txt target.txt ^[bc]\nwrite results.txt regex $filtered", "2"},
        {"range", "filter -ffr 2-4 src.txt out3.txt\nwrite results.txt range $filtered", "2"},
        {"sorted", "filter -fft 2 44 csv.txt out4.txt\nfilter -ffte 1 32 src.txt out5.txt\nfilter -fftu 2 32 src.txt out6.txt\nwrite results.txt sorted $filtered",
         "4"},
        {"alias", "filter -fk src.txt seen *an*\nwrite results.txt alias $filtered", "1"},
        {"status", "filter -fs src.txt x ch*\nfilter -sf out7.txt *cherry*\nwrite results.txt status $filtered", "1"},
        {"append", "filter -ff src.txt target.txt apricot*\nwrite results.txt append $filtered", "1"},
        {"list", "window -l @lst\nfilter -fw src.txt @lst a*\nfilter -wfn @lst out8.txt\nwrite results.txt list $filtered", "2"},
    };
    const std::vector<ErrorCase> errors = {
        {"filter -ff nosuch.txt out.txt", "* /filter: Geçersiz parametre"},
        {"filter -fw src.txt nowindow", "* /filter: Geçersiz pencere"},
        {"filter -fft 2 0 src.txt out.txt", "* /filter: Geçersiz parametre"},
    };
    const ScriptRun run = run_script(kest, "", cases, errors, 600,
                                     "alias seen { write kept.txt seen $1- }\n");
    expect_cases(run, cases);
    expect_errors(run, errors);
    expect_files(kest, {
                           {"out1.txt", "apple 3\napricot 1\n"},
                           {"out2.txt", "2 banana 10\n4 cherry 2\n"},
                           {"target.txt", "banana 10\ncherry 2\napricot 1\n"},
                           {"out3.txt", "banana 10\ncherry 2\n"},
                           {"out4.txt", "y,alpha\nw,Mid\nz\nx,zeta\n"},
                           {"out5.txt", "cherry 2\nbanana 10\napricot 1\napple 3\n"},
                           {"out6.txt", "apricot 1\ncherry 2\napple 3\nbanana 10\n"},
                           {"kept.txt", "seen banana 10\n"},
                           {"out7.txt", "cherry 2\n"},
                           {"out8.txt", "1 apple 3\n2 apricot 1\n"},
                       });
    // out7.txt came from the status window, where the first /filter put the line.
}

namespace {

using SteadyClock = std::chrono::steady_clock;

struct PlayE2e : ::testing::Test {
    void SetUp() override
    {
        if (!server_available())
            GTEST_SKIP() << "the IRC server program " << kServerBinary << " is not installed";
        ASSERT_TRUE(server.start()) << "the private IRC server did not start\n" << server.log();
    }
    void TearDown() override { server.stop(); }
    IrcServer server;
};

}  // namespace

TEST_F(PlayE2e, PlaysAFileToAChannelOneLinePerTick)
{
    // The listener is in the channel before the program starts, so it sees
    // the program's JOIN however long the start takes.
    Peer peer;
    ASSERT_TRUE(peer.login(server.port(), "listener"));
    ASSERT_TRUE(peer.join("#play"));
    KestProgram kest;
    kest.use_server(server.port());
    // The count line "4" never plays; the empty line uses up one tick; a
    // second request waits and then plays with NOTICE; PLAYEND follows each.
    write_file(kest.settings() / "lines.txt", "4\none\n\ntwo\nthree\n");
    write_file(kest.settings() / "more.txt", "extra\n");
    kest.add_script("play.kst",
                    "on *:CONNECT:join #play\n"
                    "on *:TEXT:go:#play:{\n"
                    "  play #play lines.txt 1500\n"
                    "  play -n #play more.txt 100\n"
                    "  msg #play queued $play(0) $play(1).status $play(2).status $play(1).type $play(#play,0) $play(1).delay $play(2).delay\n"
                    "  filter -wfl #play nicks.txt\n"
                    "  filter -wfc #play said.txt *go*\n"
                    "}\n"
                    "on *:PLAYEND:msg #play ended $play(0)\n");
    ASSERT_TRUE(kest.start({"-n", "player"}));
    ASSERT_TRUE(peer.wait_for("^:player!\\S+ JOIN :?#play")) << kest.output();
    ASSERT_TRUE(peer.send_line("PRIVMSG #play :go"));
    const auto t_go = SteadyClock::now();
    IrcLine line;
    ASSERT_TRUE(peer.wait_for("PRIVMSG #play :queued", kWaitMs, &line));
    EXPECT_EQ(line.params.back(), "queued 2 playing queued file 2 1500 100");
    ASSERT_TRUE(peer.wait_for("PRIVMSG #play :one", kWaitMs));
    const auto t_one = SteadyClock::now();
    ASSERT_TRUE(peer.wait_for("PRIVMSG #play :two", kWaitMs));
    const auto t_two = SteadyClock::now();
    ASSERT_TRUE(peer.wait_for("PRIVMSG #play :three", kWaitMs));
    const auto t_three = SteadyClock::now();
    ASSERT_TRUE(peer.wait_for("PRIVMSG #play :ended 1", kWaitMs));
    ASSERT_TRUE(peer.wait_for("NOTICE #play :extra", kWaitMs));
    ASSERT_TRUE(peer.wait_for("PRIVMSG #play :ended 0", kWaitMs));
    using std::chrono::milliseconds;
    // A line per tick of 1.5 seconds, the empty line using up a tick of its
    // own: one at 1.5, two at 4.5, three at 6 seconds after the request at
    // the earliest. A loaded machine or the server may hold lines back, so
    // only the earliest times are checked: a line never comes early, and an
    // empty line that took no tick would bring two and three 1.5 seconds
    // early. The delay the program keeps is read back above.
    const auto at = [&](SteadyClock::time_point t) {
        return std::chrono::duration_cast<milliseconds>(t - t_go).count();
    };
    EXPECT_GE(at(t_one), 1400) << at(t_one);
    EXPECT_GE(at(t_two), 4350) << at(t_two);
    EXPECT_GE(at(t_three), 5850) << at(t_three);
    for (const std::string& l : peer.history())
        EXPECT_EQ(l.find("PRIVMSG #play :4"), std::string::npos) << "the count line was played: " << l;
    // /filter read the channel's nick list and its text.
    const std::string nicks = read_file(kest.settings() / "nicks.txt");
    EXPECT_NE(nicks.find("player"), std::string::npos) << nicks;
    EXPECT_NE(nicks.find("listener"), std::string::npos) << nicks;
    EXPECT_NE(read_file(kest.settings() / "said.txt").find("go"), std::string::npos);
    kest.stop();
}

TEST(DataStoresE2e, RandomLinesAreDrawnEvenly)
{
    // Three lines after a count line, 900 draws: each line comes up about
    // 300 times. A draw that favoured the last line would give it about 450.
    KestProgram kest;
    write_file(kest.settings() / "three.txt", "3\na\nb\nc\n");
    write_file(kest.settings() / "nocount.txt", "a\nb\nc\n");
    const std::string setup =
        "hmake draws 10\n"
        "var %i = 0\n"
        "while (%i < 900) {\n"
        "  hinc draws $read(three.txt)\n"
        "  hinc draws n $+ $read(nocount.txt)\n"
        "  inc %i\n"
        "}\n"
        "write results.txt draws $hget(draws,a) $hget(draws,b) $hget(draws,c) $hget(draws,na) $hget(draws,nb) $hget(draws,nc) $hget(draws,0).item\n";
    const ScriptRun run = run_script(kest, setup, {}, {}, 1500);
    ASSERT_EQ(run.exit_code, 0) << run.log;
    ASSERT_TRUE(run.results.count("draws")) << run.raw << run.log;
    std::istringstream in(run.results.at("draws"));
    int counts[6] = {};
    int items = 0;
    for (int& c : counts)
        in >> c;
    in >> items;
    EXPECT_EQ(items, 6) << run.results.at("draws");
    for (int c : counts) {
        EXPECT_GT(c, 220) << run.results.at("draws");
        EXPECT_LT(c, 380) << run.results.at("draws");
    }
}

TEST(DataStoresE2e, ChangedFilesAreReplacedWholeAndLeaveNoTemporaries)
{
    // Line changes, saves and compression make the new file beside the old
    // one and rename it over it: the results are whole, and nothing is left
    // behind in the file's folder or the settings folder.
    KestProgram kest;
    write_file(kest.settings() / "sub/list.txt", "one\ntwo\nthree\n");
    write_file(kest.settings() / "sub/pack.txt", std::string(3000, 'p'));
    const std::string setup =
        "write -l2 sub/list.txt TWO\n"
        "write -dl3 sub/list.txt\n"
        "hmake s 5\nhadd s k v\nhsave s sub/table.txt\nhsave -a s sub/table.txt\n"
        "write results.txt packed $compress(sub/pack.txt) $decompress(sub/pack.txt)\n";
    const ScriptRun run = run_script(kest, setup, {}, {});
    ASSERT_EQ(run.exit_code, 0) << run.log;
    EXPECT_EQ(run.results.count("packed") ? run.results.at("packed") : "", "1 1");
    expect_files(kest, {
                           {"sub/list.txt", "one\nTWO\n"},
                           {"sub/table.txt", "k\nv\nk\nv\n"},
                       });
    EXPECT_EQ(read_file(kest.settings() / "sub/pack.txt"), std::string(3000, 'p'));
    for (const auto& e : fs::recursive_directory_iterator(kest.settings()))
        EXPECT_NE(e.path().extension(), ".tm_") << e.path();
}

TEST(DataStoresE2e, PlayQueueToTheStatusWindow)
{
    // Lines played with -s run as commands in the status window, so the
    // queue shows in the files they write: a priority request plays first
    // and the held one resumes; sections, single and random lines; limits;
    // /play stop ends everything without PLAYEND.
    KestProgram kest;
    write_file(kest.settings() / "a.txt", "write played.txt a1\nwrite played.txt a2\nwrite played.txt a3\n");
    write_file(kest.settings() / "b.txt", "write played.txt b1\n");
    write_file(kest.settings() / "topics.txt",
               "[other]\nwrite said.txt other\n[greet]\nwrite said.txt hello\n\nwrite said.txt again\n\n[last]\nwrite said.txt last\n");
    write_file(kest.settings() / "pick.txt", "write picked.txt one\nwrite picked.txt two\nwrite picked.txt three\n");
    write_file(kest.settings() / "long.txt", "write stopped.txt x\nwrite stopped.txt y\n");
    const std::string setup =
        "play -s a.txt 300\n"
        "play -sp b.txt 100\n"
        "write results.txt queue $play(0) $play(1).status $play(2).status $play(2).lines $play(1).delay\n"
        "play -stgreet topics.txt 100\n"
        "play -sl2 pick.txt 100\n"
        "play -sr pick.txt 100\n"
        "play -sq1 b.txt 100\n"
        "write results.txt limit $play(0) $play(3).type $play(4).type $play(5).type $play(3).topic\n";
    const std::vector<ErrorCase> errors = {
        {"play -stnone topics.txt", "* /play: '[none]' Topic Bulunamadı 'topics.txt'"},
        {"play -s nosuch.txt", "* /play: '"},
    };
    // The fifth request's end (not a time) starts the last step, which ends
    // the program.
    const ScriptRun run = run_script(kest, setup, {}, errors, 3 * kWaitMs,
                                     "on *:PLAYEND:{ write ends.txt end | hinc -m ended n | if ($hget(ended,n) == 5) .timerstop -m 1 100 stopall }\n"
                                     "alias stopall { play -s long.txt 5000 | play stop | write results.txt stopped $play(0) | .timerafter -m 1 300 exit -n }\n");
    ASSERT_EQ(run.exit_code, 0) << run.log;
    EXPECT_EQ(run.results.count("queue") ? run.results.at("queue") : "", "2 playing queued 3 100");
    EXPECT_EQ(run.results.count("limit") ? run.results.at("limit") : "", "5 topic line random [greet]");
    EXPECT_EQ(run.results.count("stopped") ? run.results.at("stopped") : "", "0");
    expect_errors(run, errors);
    expect_files(kest, {
                           {"played.txt", "b1\na1\na2\na3\n"},
                           {"said.txt", "hello\nagain\n"},
                           {"ends.txt", "end\nend\nend\nend\nend\n"},
                       });
    const std::string pick = read_file(kest.settings() / "picked.txt");
    ASSERT_EQ(pick.substr(0, 4), "two\n") << pick;
    const std::string drawn = pick.substr(4);
    EXPECT_TRUE(drawn == "one\n" || drawn == "two\n" || drawn == "three\n") << pick;
    EXPECT_FALSE(fs::exists(kest.settings() / "stopped.txt"));
    EXPECT_NE(run.log.find("* En büyük çalıştırılan boyut 1"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("devam ediyor"), std::string::npos) << "the held request resumed\n" << run.log;
}

TEST(DataStoresE2e, PlayedRandomLinesAreDrawnEvenly)
{
    // 600 requests for one random line each, with no delay: each of the
    // three lines comes up about 200 times (a draw that favoured the last
    // line would give it about 300).
    KestProgram kest;
    write_file(kest.settings() / "draw.txt", "3\nhinc draws a\nhinc draws b\nhinc draws c\n");
    const std::string setup =
        "hmake draws 10\n"
        "var %i = 0\n"
        "while (%i < 600) {\n"
        "  .play -sr draw.txt 0\n"
        "  inc %i\n"
        "}\n"
        "";
    // The last request's end (not a time) writes the counts and ends the
    // program.
    const ScriptRun run = run_script(kest, setup, {}, {}, 3 * kWaitMs,
                                     "on *:PLAYEND:{ hinc draws ended | if ($hget(draws,ended) == 600) .timercount -m 1 100 count }\n"
                                     "alias count { write results.txt draws $hget(draws,a) $hget(draws,b) $hget(draws,c) $play(0) | exit -n }\n");
    ASSERT_EQ(run.exit_code, 0) << run.log;
    ASSERT_TRUE(run.results.count("draws")) << run.raw << run.log;
    std::istringstream in(run.results.at("draws"));
    int counts[3] = {};
    int left = -1;
    for (int& c : counts)
        in >> c;
    in >> left;
    EXPECT_EQ(left, 0) << run.results.at("draws");
    EXPECT_EQ(counts[0] + counts[1] + counts[2], 600) << run.results.at("draws");
    for (int c : counts) {
        EXPECT_GT(c, 140) << run.results.at("draws");
        EXPECT_LT(c, 260) << run.results.at("draws");
    }
}

TEST(DataStoresE2e, FileAndDiskIdentifiers)
{
    KestProgram kest;
    write_file(kest.settings() / "tree/a.txt", "12345");
    write_file(kest.settings() / "tree/b.log", "x");
    write_file(kest.settings() / "tree/noext", "x");
    write_file(kest.settings() / "tree/sub/c.txt", "x");
    write_file(kest.settings() / "tree/sub/deeper/d.txt", "x");
    write_file(kest.settings() / "sections.ini", "[one]\na=1\nb=2\n[two]\nc=3\n[x~y]\n");
    const std::vector<Case> cases = {
        {"find", "write results.txt find $findfile(tree, *.txt, 0) $findfile(tree, *.txt, 0, 1) $findfile(tree, *.txt;*.log;a*, 0) $findfile(tree, *.*, 0, 1) $finddir(tree, *, 0)",
         "3 1 4 3 2"},
        {"findn", "write results.txt findn $nopath($findfile(tree, d*, 1)) $nopath($finddir(tree, de*, 1))", "d.txt deeper"},
        // The action runs for every match, or with N for the N-th, where the search stops.
        {"each", "hmake runs 5\nvar %n = $findfile(tree, *.txt, 0, hinc runs all)\nvar %m = $findfile(tree, *.txt, 2, hinc runs from2)\n"
                 "write results.txt each %n $hget(runs,all) $hget(runs,from2) $nopath(%m)", "3 3 1 c.txt"},
        {"paths", "write results.txt paths $nopath(c:/dir/file.txt) $nofile(/dir/sub/file.txt) $mkfn(a:b*c?d) $lof(tree/a.txt)",
         "file.txt /dir/sub/ a_b_c_d 5"},
        {"folders", "write results.txt folders $nopath($kestini) $nopath($kestdirx.txt) $nopath($kestexe) $nopath($logdir)",
         "kest.ini x.txt kest"},
        {"disk", "write results.txt disk $disk(/) $disk(0) $disk(/).type", "$true 1 fixed"},
        {"ini", "write results.txt ini $ini(sections.ini, 0) $ini(sections.ini, two) $ini(sections.ini, 1) $ini(sections.ini, one, 0) $ini(sections.ini, one, b) $ini(sections.ini, two, 1) $ini(sections.ini, x]y) $ini(nosuch.ini, 0)",
         "3 2 one 2 2 c 3 0"},
    };
    const ScriptRun run = run_script(kest, "", cases);
    expect_cases(run, cases);
}
