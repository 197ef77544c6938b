// The script data stores at their edges, driven as a user drives them: lines
// typed into the status window and aliases of a script file loaded with
// /load. Binary variables (sizes at 0, 1 and the result limit, $bvar and
// $bfind at the last byte, /bset past the end), /bwrite's byte counts,
// $fread into a binary variable up to the end of the file, hash table item
// counts and walk order across adds and deletes, /hinc and /hdec on missing
// items, $read at the count line, the last line and past it, /write at the
// boundary lines, and /clearall's kinds.
#include <gtest/gtest.h>

#include <QTest>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "core/files.h"
#include "core/string_list.h"
#include "display/editbox.h"
#include "model/line_buffer.h"
#include "script/stores/file_handles.h"
#include "script/stores/hash_tables.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

namespace fs = std::filesystem;

class StoreEdges : public ::testing::Test {
protected:
    HookGuard hooks_;
    SavedValues<std::string, std::string> saved_{settings_dir, main_ini_path};

    void SetUp() override
    {
        window_test_reset();
        dir = fs::temp_directory_path() / ("kest-store-edges-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        settings_dir = dir.string() + "/";
        main_ini_path = (dir / "kest.ini").string();
        app_install_subsystems();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);  // what is sent goes to the wire, unread
        status = win_record_of(conn->status_window);
        ASSERT_TRUE(status && status->editbox.get());
    }

    void TearDown() override
    {
        type("/fclose *");
        if (!script_path.empty())
            type("/unload -rs " + script_path);
        htable_free_all();
        window_test_reset();
        fs::remove_all(dir);
    }

    // Types the line into the status window's editbox and presses Enter;
    // the lines it added to the window.
    std::vector<std::string> type(const std::string& line)
    {
        const int from = strlist_count(status->lines);
        EditBox* box = status->editbox.get();
        box->setTextBytes("");
        QTest::keyClicks(box, QString::fromStdString(line));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
        std::vector<std::string> out;
        int i = 0;
        for (const StringNode* n = status->lines; n; n = n->next, ++i)
            if (i >= from && !n->text.empty())
                out.push_back(n->text);
        return out;
    }

    // The commands, then the value of the expression, in one typed line (a
    // binary variable lives as long as the line that made it). The value is
    // the echoed line between "<" and ">", without the blank that empty
    // values at its end leave.
    std::string value(const std::string& commands, const std::string& expr)
    {
        const std::string line =
            "//" + (commands.empty() ? std::string() : commands + " | ") + "echo -s < $+ " + expr + " $+ >";
        const std::vector<std::string> got = type(line);
        std::vector<std::string> echoed;
        for (const std::string& l : got)
            if (l.size() >= 2 && l.front() == '<' && l.back() == '>') {
                std::string v = l.substr(1, l.size() - 2);
                while (!v.empty() && v.back() == ' ')
                    v.pop_back();
                echoed.push_back(v);
            }
        EXPECT_EQ(echoed.size(), 1u) << line << "\n" << ::testing::PrintToString(got);
        return echoed.empty() ? std::string("<none>") : echoed.back();
    }

    // Whether a line the typed line added ends with the text.
    bool shows(const std::vector<std::string>& lines, const std::string& tail)
    {
        for (const std::string& l : lines)
            if (l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0)
                return true;
        return false;
    }

    void put(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }

    std::string contents(const std::string& name)
    {
        std::ifstream in(dir / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Writes the script file and loads it with a typed /load.
    void load_script(const std::string& text)
    {
        script_path = (dir / "edges.kst").string();
        put("edges.kst", text);
        ASSERT_TRUE(shows(type("/load -rs " + script_path), "Yüklendi")) << "the script did not load";
    }

    fs::path dir;
    std::string script_path;
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
};

// ---- /bwrite ----

// The count given is the count written: none at 0, one byte at 1, the whole
// data at its length, and no more than the data holds above it.
TEST_F(StoreEdges, BwriteWritesExactlyTheCountGiven)
{
    using namespace std::string_literals;
    const struct {
        const char* commands;   // run in one typed line after "0123456789" is put in f.bin
        std::string file;       // f.bin afterwards
    } cases[] = {
        {"bwrite f.bin 0 0 abc", "0123456789"},
        {"bwrite f.bin 0 1 abc", "a123456789"},
        {"bwrite f.bin 2 3 abc", "01abc56789"},
        {"bwrite f.bin 2 4 abc", "01abc56789"},
        {"bwrite f.bin 2 999 abc", "01abc56789"},
        {"bwrite f.bin 2 -1 abc", "01abc56789"},
        {"bwrite f.bin 9 3 abc", "012345678abc"},
        {"bwrite f.bin -1 2 abc", "0123456789ab"},
        {"bwrite f.bin -1 -1 abc", "0123456789abc"},
        // The rest of the line, blanks included, cut at the count.
        {"bwrite f.bin 0 4 ab cd", "ab c456789"},
        {"bwrite f.bin 0 5 ab cd", "ab cd56789"},
        // A token that is not a count starts the data.
        {"bwrite f.bin 0 x1 y", "x1 y456789"},
        // A binary variable's bytes, zero bytes included.
        {"bset &v 1 0 65 0 | bwrite f.bin 1 2 &v", "0\0A3456789"s},
        {"bset &v 1 0 65 0 | bwrite f.bin 1 3 &v", "0\0A\0" "456789"s},
        {"bset &v 1 0 65 0 | bwrite f.bin 1 4 &v", "0\0A\0" "456789"s},
        {"bset &v 1 66 | bwrite f.bin 9 1 &v", "012345678B"},
        // A script variable's value.
        {"var %w = hello | bwrite f.bin 0 2 %w", "he23456789"},
        {"var %w = hello | bwrite f.bin 0 -1 %w", "hello56789"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commands);
        put("f.bin", "0123456789");
        type(std::string("//") + c.commands);
        EXPECT_EQ(contents("f.bin"), c.file);
    }
}

// A count below 1 leaves a missing file missing; a count of 1 makes it with
// one byte; the next write at its end grows it by exactly its count.
TEST_F(StoreEdges, BwriteToAMissingFile)
{
    type("/bwrite new.bin 0 0 abc");
    EXPECT_FALSE(fs::exists(dir / "new.bin"));
    type("/bwrite new.bin 0 1 abc");
    EXPECT_EQ(contents("new.bin"), "a");
    type("/bwrite new.bin -1 2 xyz");
    EXPECT_EQ(contents("new.bin"), "axy");
    type("/bwrite new.bin 5 1 z");
    EXPECT_EQ(contents("new.bin"), std::string("axy\0\0z", 6));
    EXPECT_TRUE(shows(type("/bwrite new.bin 0 1"), "* /bwrite: Yetersiz veya eksik parametre"));
    EXPECT_TRUE(shows(type("/bwrite new.bin 0 1 &nosuch"), "* /bwrite: Geçersiz parametre"));
    EXPECT_EQ(contents("new.bin"), std::string("axy\0\0z", 6));
}

// ---- Binary variables ----

TEST_F(StoreEdges, BinaryVariableSizesAndPositions)
{
    const struct {
        const char* commands;
        const char* expr;
        const char* expected;
    } cases[] = {
        // Sizes: none, one byte, grown past the end with zeros between.
        {"", "$bvar(&none,0)", "0"},
        {"bset &v 1 7", "$bvar(&v,0) $bvar(&v,1) $bvar(&v,1-)", "1 7 7"},
        {"bset &v 1 7 | bset &v 4 9", "$bvar(&v,0) $bvar(&v,1-)", "4 7 0 0 9"},
        {"bset &v 1 1 2 3 4 | bset &v 4 8 9", "$bvar(&v,0) $bvar(&v,1-)", "5 1 2 3 8 9"},
        {"bset &v 1 1 2 3 4 | bset &v 2 5", "$bvar(&v,0) $bvar(&v,1-)", "4 1 5 3 4"},
        {"bset &v 1 1 2 3 4 | bset -c &v 2 5", "$bvar(&v,0) $bvar(&v,1-)", "2 1 5"},
        {"bset &v 1 1 2 3 4 | bset -c &v 4 5", "$bvar(&v,0) $bvar(&v,1-)", "4 1 2 3 5"},
        {"bset &v 1 1 | bset -c &v 3 5", "$bvar(&v,0) $bvar(&v,1-)", "3 1 0 5"},
        {"bset -t &v 1 a | bset -t &v 2 bc", "$bvar(&v,0) $bvar(&v,1-).text", "3 abc"},
        // Single positions: the last byte, one past it, and numbers that
        // need bytes past the end.
        {"bset &v 1 1 2 3", "$bvar(&v,3) . $bvar(&v,4) . $bvar(&v,0)", "3 . . 3"},
        {"bset &v 1 52 18", "$bvar(&v,1).word . $bvar(&v,2).word . $bvar(&v,1).long", "4660 . ."},
        {"bset &v 1 1 0 0 0", "$bvar(&v,1).long . $bvar(&v,2).long", "1 ."},
        // Ranges: to the end, cut at the end, and the text up to a zero byte.
        {"bset &v 1 1 2 3", "$bvar(&v,3-) . $bvar(&v,2,5) . $bvar(&v,3,1)", "3 . 2 3 . 3"},
        {"bset &v 1 65 66 0 67", "$bvar(&v,1-).text . $bvar(&v,4-).text", "AB . C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.commands) + " / " + c.expr);
        EXPECT_EQ(value(c.commands, c.expr), c.expected);
    }
}

// A range is at most 4,150 characters: one byte fewer than the limit fits.
TEST_F(StoreEdges, BinaryRangeAtTheLineLimit)
{
    // 2,075 zero bytes show as 4,149 characters ("0 0 ... 0").
    EXPECT_EQ(value("bset &v 2075 0", "$len($bvar(&v,1-))"), "4149");
    const std::vector<std::string> over = type("//bset &v 2076 0 | echo -s $len($bvar(&v,1-))");
    EXPECT_TRUE(shows(over, "* Sıra cok uzun: $bvar")) << ::testing::PrintToString(over);
}

TEST_F(StoreEdges, BfindAtTheEdges)
{
    const struct {
        const char* expr;
        const char* expected;
    } cases[] = {
        {"$bfind(&f,1,a)", "1"},
        {"$bfind(&f,0,a)", "1"},       // N below 1 counts as 1
        {"$bfind(&f,-5,b)", "2"},
        {"$bfind(&f,5,e)", "5"},       // the last byte
        {"$bfind(&f,5,ef)", "0"},      // a match must end inside
        {"$bfind(&f,6,e)", "0"},       // past the end
        {"$bfind(&f,4,DE)", "4"},      // text ignores case
        {"$bfind(&f,2,a)", "0"},
        {"$bfind(&f,1,101)", "5"},     // byte values compare exactly
        {"$bfind(&f,1,69)", "0"},
        {"$bfind(&f,1,99 100 101)", "3"},
        {"$bfind(&f,1,100 101 102)", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        EXPECT_EQ(value("bset -t &f 1 abcde", c.expr), c.expected);
    }
}

// ---- $fread into a binary variable ----

// A loop reads a file in blocks until $feof says the end came: the loop
// ends, the blocks hold the file's bytes, and the last read is the empty
// one that found the end.
TEST_F(StoreEdges, FreadIntoABinaryVariableEndsTheLoopAtTheEnd)
{
    load_script(
        "alias blocks {\n"
        "  var %reads = 0\n"
        "  var %total = 0\n"
        "  var %sizes = :\n"
        "  fopen h $1\n"
        "  while (!$feof) {\n"
        "    inc %reads\n"
        "    if (%reads > 50) { echo -s runaway | break }\n"
        "    var %got = $fread(h, $2, &b) $+ .\n"
        "    var %sizes = %sizes $+ %got $+ $bvar(&b,0) $+ / $+ $feof $+ ;\n"
        "    inc %total $bvar(&b,0)\n"
        "  }\n"
        "  fclose h\n"
        "  echo -s < $+ %reads %total %sizes $+ >\n"
        "}\n");
    put("ten.bin", std::string("0123\0" "56789", 10));
    put("empty.bin", "");
    // Each read: the count it gave, the variable's size and $feof after it.
    const struct {
        const char* call;
        const char* expected;
    } cases[] = {
        {"/blocks ten.bin 4", "4 10 :4.4/0;4.4/0;2.2/0;.0/1;"},
        {"/blocks ten.bin 5", "3 10 :5.5/0;5.5/0;.0/1;"},
        {"/blocks ten.bin 10", "2 10 :10.10/0;.0/1;"},
        {"/blocks ten.bin 11", "2 10 :10.10/0;.0/1;"},
        {"/blocks ten.bin 1", "11 10 :1.1/0;1.1/0;1.1/0;1.1/0;1.1/0;1.1/0;1.1/0;1.1/0;1.1/0;1.1/0;.0/1;"},
        {"/blocks empty.bin 4", "1 0 :.0/1;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        const std::vector<std::string> got = type(c.call);
        EXPECT_TRUE(shows(got, std::string("<") + c.expected + ">")) << ::testing::PrintToString(got);
        EXPECT_FALSE(shows(got, "runaway"));
    }
}

// Repeated: a read after the end stays at the end; a seek back clears it.
TEST_F(StoreEdges, FreadAfterTheEndAndAfterASeekBack)
{
    put("abc.bin", "abc");
    type("/fopen h abc.bin");
    EXPECT_EQ(value("", "$fread(h,3,&b) $bvar(&b,0) $feof"), "3 3 0");
    EXPECT_EQ(value("", "$fread(h,3,&b) $+ . $bvar(&b,0) $feof"), ". 0 1");
    EXPECT_EQ(value("", "$fread(h,3,&b) $+ . $bvar(&b,0) $feof"), ". 0 1");
    type("/fseek h 2");
    EXPECT_EQ(value("", "$fread(h,3,&b) $bvar(&b,1).text $feof"), "1 c 0");
}

// ---- Hash tables ----

// A table of one bucket walks its items newest first: adds go to the head,
// a replaced value keeps its place, a delete closes the gap; the count
// follows every step.
TEST_F(StoreEdges, HashItemCountsAndOrderAcrossAddsAndDeletes)
{
    type("/hmake t 1");
    const auto walk = "$hget(t,0).item : $hget(t,1).item $hget(t,2).item $hget(t,3).item $hget(t,4).item";
    const struct {
        const char* command;
        const char* expected;
    } steps[] = {
        {"", "0 :"},
        {"/hadd t a 1", "1 : a"},
        {"/hadd t b 2", "2 : b a"},
        {"/hadd t c 3", "3 : c b a"},
        {"/hadd t b 22", "3 : c b a"},        // replaced in its place
        {"/hdel t b", "2 : c a"},
        {"/hdel t b", "2 : c a"},             // repeated: nothing more goes
        {"/hadd t B 4", "3 : B c a"},
        {"/hdel t a", "2 : B c"},             // the last item
        {"/hdel t B", "1 : c"},               // the first item
        {"/hdel t c", "0 :"},
        {"/hadd t d 5", "1 : d"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.command);
        if (*s.command)
            type(s.command);
        EXPECT_EQ(value("", walk), s.expected);
    }
    EXPECT_EQ(value("", "$hget(t,1).data $hget(t,2).data $+ . $hget(t,0).data"), "5 . 1");
}

TEST_F(StoreEdges, HincAndHdecOnMissingItems)
{
    type("/hmake t 10");
    const struct {
        const char* command;
        const char* item;
        const char* expected;
    } cases[] = {
        {"/hinc t a", "a", "1"},
        {"/hinc t a", "a", "2"},
        {"/hdec t b", "b", "-1"},
        {"/hinc t c 0.5", "c", "0.5"},
        {"/hinc t c 0.5", "c", "1"},
        {"/hinc t d abc", "d", "0"},
        {"/hdec t e 0", "e", "0"},
        {"/hinc t f -2.25", "f", "-2.25"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        type(c.command);
        EXPECT_EQ(value("", std::string("$hget(t,") + c.item + ")"), c.expected);
    }
    EXPECT_EQ(value("", "$hget(t,0).item"), "6");
    // A missing table is an error without -m, and is made with it.
    EXPECT_TRUE(shows(type("/hinc nosuch a"), "* /hinc: 'nosuch' Tablo yok"));
    EXPECT_EQ(value("", "$hget(nosuch)"), "");
    type("/hinc -m made a 3");
    EXPECT_EQ(value("", "$hget(made).size $hget(made,a)"), "100 3");
}

// ---- $read and /write at the boundary lines ----

TEST_F(StoreEdges, ReadLineNumbersAtTheEdges)
{
    put("plain.txt", "a\nb\nc\n");
    put("counted.txt", "3\na\nb\nc\n");
    put("noend.txt", "a\nb");
    const struct {
        const char* expr;
        const char* expected;
    } cases[] = {
        {"$read(plain.txt, 1) $readn", "a 1"},
        {"$read(plain.txt, 3) $readn", "c 3"},
        {"$read(plain.txt, 4) $+ .", "."},
        {"$read(plain.txt, 0) $+ .", "."},         // no count line: empty
        {"$read(counted.txt, 0)", "3"},
        {"$read(counted.txt, 1)", "a"},             // the count line is skipped
        {"$read(counted.txt, 3)", "c"},
        {"$read(counted.txt, 4) $+ .", "."},
        {"$read(counted.txt, t, 1)", "3"},          // with t it is a line
        {"$read(counted.txt, t, 4)", "c"},
        {"$read(noend.txt, 2) $readn", "b 2"},       // a last line without a line feed
        {"$read(noend.txt, 3) $+ .", "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        EXPECT_EQ(value("", c.expr), c.expected);
    }
}

TEST_F(StoreEdges, WriteAtTheBoundaryLines)
{
    const struct {
        const char* before;
        const char* command;
        const char* after;
    } cases[] = {
        {"a\nb\nc\n", "/write -l3 f.txt C", "a\nb\nC\n"},        // the last line
        {"a\nb\nc\n", "/write -l4 f.txt D", "a\nb\nc\nD\n"},     // one past it: appended
        {"a\nb\nc\n", "/write -l9 f.txt D", "a\nb\nc\nD\n"},
        {"a\nb\nc\n", "/write -l1 f.txt A", "A\nb\nc\n"},
        {"a\nb\nc\n", "/write -l0 f.txt A", "A\nb\nc\n"},         // below 2 is line 1
        {"a\nb\nc\n", "/write -il3 f.txt x", "a\nb\nx\nc\n"},
        {"a\nb\nc\n", "/write -il4 f.txt x", "a\nb\nc\nx\n"},
        {"a\nb\nc\n", "/write -al3 f.txt +", "a\nb\nc+\n"},
        {"a\nb\nc\n", "/write -d f.txt", "a\nb\n"},               // the last line goes
        {"a\nb\nc", "/write -d f.txt", "a\nb\n"},
        {"a\n", "/write -d f.txt", ""},
        {"a\nb\nc\n", "/write -dl3 f.txt", "a\nb\n"},
        {"a\nb\nc\n", "/write -dl4 f.txt", "a\nb\nc\n"},          // past the end: nothing
        {"a\nb\nc\n", "/write -dl1 f.txt", "b\nc\n"},
        {"a\nb", "/write -l2 f.txt B", "a\nB\n"},                 // a last line without a line feed
        {"a\nb", "/write -l3 f.txt c", "a\nb\nc\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " on " + ::testing::PrintToString(std::string(c.before)));
        put("f.txt", c.before);
        type(c.command);
        EXPECT_EQ(contents("f.txt"), c.after);
    }
}

// Deleting the last line again and again takes one line each time.
TEST_F(StoreEdges, WriteDeleteRepeatedEmptiesTheFileOneLineAtATime)
{
    put("f.txt", "1\n2\n3\n");
    for (const char* left : {"1\n2\n", "1\n", "", ""}) {
        type("/write -d f.txt");
        EXPECT_EQ(contents("f.txt"), left);
    }
}

// ---- /clearall ----

TEST_F(StoreEdges, ClearallClearsOnlyTheKindsItNames)
{
    WindowRecord* chan1 = window_test_open("#one", kWinChannel, 0, conn);
    WindowRecord* chan2 = window_test_open("#two", kWinChannel, 0, conn);
    WindowRecord* query = window_test_open("friend", kWinQuery, 1, conn);
    ASSERT_TRUE(chan1 && chan2 && query);
    Connection* other = window_test_conn();
    ASSERT_TRUE(other && other != conn);
    WindowRecord* far_chan = window_test_open("#far", kWinChannel, 0, other);
    ASSERT_TRUE(far_chan);
    window_test_pump();
    type("/window @cust");
    WindowRecord* cust = nullptr;
    for (WindowRecord* r = win_list; r; r = r->next)
        if (r->name == "@cust")
            cust = r;
    ASSERT_TRUE(cust);
    const auto fill = [&] {
        for (WindowRecord* w : {chan1, chan2, query, far_chan, status, cust})
            line_new(w, ("text in " + w->name).c_str(), 0, 0, 0, 0, 1);
    };
    const auto has_text = [](const WindowRecord* w) { return w->line_count > 0; };
    const struct {
        const char* command;
        bool chans, query, status, custom, far;   // which still hold text
    } cases[] = {
        {"/clearall -n", false, true, true, true, true},
        {"/clearall -na", false, true, true, true, false},
        {"/clearall -q", true, false, true, true, true},
        {"/clearall -s", true, true, false, true, true},
        {"/clearall -u", true, true, true, false, true},
        {"/clearall -mtg", true, true, true, true, true},
        {"/clearall -nq", false, false, true, true, true},
        {"/clearall", false, false, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        fill();
        ASSERT_TRUE(has_text(chan1) && has_text(chan2) && has_text(query) && has_text(far_chan) && has_text(cust));
        win_active = status->hwnd.get();
        type(c.command);
        EXPECT_EQ(has_text(chan1), c.chans);
        EXPECT_EQ(has_text(chan2), c.chans);
        EXPECT_EQ(has_text(query), c.query);
        EXPECT_EQ(has_text(status), c.status);
        EXPECT_EQ(has_text(cust), c.custom);
        EXPECT_EQ(has_text(far_chan), c.far);
        // Repeated on windows already clear: still clear, nothing else moves.
        type(c.command);
        EXPECT_EQ(has_text(chan1), c.chans);
        EXPECT_EQ(has_text(query), c.query);
    }
}

} // namespace
