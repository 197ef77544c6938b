// The settings layer on real files in a temporary folder: single keys,
// numbered lists, list files, the settings location and the default files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/files.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::pair<long long, long> mtime_of(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return {0, 0};
    return {static_cast<long long>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec};
}

std::vector<std::string> texts(const StringNode* head)
{
    std::vector<std::string> out;
    for (const StringNode* n = head; n; n = n->next)
        out.push_back(n->text);
    return out;
}

StringNode* make_list(const std::vector<std::string>& items)
{
    StringNode* head = nullptr;
    for (const std::string& s : items)
        head = strlist_append(head, std::string_view(s), 0);
    return head;
}

std::string read(const char* section, const char* key, const std::string& file = std::string(),
                 const char* def = nullptr, std::size_t size = 4200)
{
    std::string out;
    ini_read(section, key, def, out, size, file);
    return out;
}

std::vector<std::string> temp_files_left(const std::string& dir)
{
    std::vector<std::string> out;
    std::regex temp_name("kest[0-9]+\\.tm_");
    for (const auto& e : fs::directory_iterator(dir))
        if (std::regex_match(e.path().filename().string(), temp_name))
            out.push_back(e.path().string());
    return out;
}

int g_replaces = 0;

class SettingsIni : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
        saved_user_dir_ = user_settings_dir;
        saved_flags_ = {settings_to_user_dir, ini_to_user_dir, program_dir_writable};
        fs::create_directories(root_ + "home");
        ::setenv("HOME", (root_ + "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ + "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ + "data").c_str(), 1);
        ::unsetenv("U3_HOST_EXEC_PATH");
        ::unsetenv("U3_APP_DATA_PATH");
        g_replaces = 0;
        file_replace_hook = [](const std::string&, const std::string&) {
            ++g_replaces;
            return 1;
        };
    }

    void TearDown() override
    {
        user_settings_dir = saved_user_dir_;
        settings_to_user_dir = saved_flags_[0];
        ini_to_user_dir = saved_flags_[1];
        program_dir_writable = saved_flags_[2];
        program_path_override.clear();
        file_replace_hook = nullptr;
        settings_startup_check = nullptr;
    }

    // Asserts that an action leaves the file exactly as it was: same content,
    // same inode, no rename onto it.
    template <class F>
    void expect_untouched(const std::string& path, F action)
    {
        std::string before = slurp(path);
        ino_t inode = inode_of(path);
        auto mtime = mtime_of(path);
        int replaces = g_replaces;
        action();
        EXPECT_EQ(slurp(path), before);
        EXPECT_EQ(inode_of(path), inode);
        EXPECT_EQ(mtime_of(path), mtime);
        EXPECT_EQ(g_replaces, replaces);
    }

    HookGuard hooks_;  // the safe save's replace step and the start-up check
    TempSettingsDir temp_{"kest-ini-"};
    SavedEnv env_{"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "U3_HOST_EXEC_PATH", "U3_APP_DATA_PATH"};
    std::string root_;
    std::string saved_user_dir_;
    std::vector<int> saved_flags_;
};

// ---------------------------------------------------------------------------
// Single keys

TEST_F(SettingsIni, WriteThenReadIgnoresCaseOfSectionAndKey)
{
    ASSERT_EQ(ini_write("Options", "Nick", "kestuser", ""), 1);
    EXPECT_EQ(slurp(main_ini_path), "[Options]\nNick=kestuser\n");
    struct Case {
        const char* section;
        const char* key;
    };
    const Case cases[] = {{"options", "nick"}, {"OPTIONS", "NICK"}, {"oPtIoNs", "nICK"}, {" options ", " nick "}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        std::string out;
        EXPECT_EQ(ini_read(c.section, c.key, "def", out, 4200, main_ini_path), 8);
        EXPECT_EQ(out, "kestuser");
    }
    // A write through another spelling updates the same key, keeping its name.
    ASSERT_EQ(ini_write("OPTIONS", "NICK", "other", main_ini_path), 1);
    EXPECT_EQ(slurp(main_ini_path), "[Options]\nNick=other\n");
    EXPECT_EQ(read("options", "absent", "", "fallback"), "fallback");
    EXPECT_EQ(read("nosection", "nick", "", nullptr), "");
    EXPECT_EQ(read("options", "nick", root_ + "missing.ini", "d"), "d");
}

TEST_F(SettingsIni, ReadsHandWrittenFiles)
{
    const std::string file = root_ + "hand.ini";
    spit(file,
         "; a comment line\n"
         "top=before any section\n"
         "[ Spaced ]\n"
         "  key one  =  value with blanks  \n"
         "quoted=\"in quotes\"\n"
         "single='x'\n"
         "lone='\n"
         "lonedouble=\"\n"
         "bare=''\n"
         "half=\"open\n"
         "a line without equals\n"
         "empty=\n"
         "dup=first\n"
         "DUP=second\n"
         ";hidden=comment\n"
         "[spaced]\n"
         "later=second section of the same name\n"
         "[crlf]\r\n"
         "k=v\r\n"
         "[last]\n"
         "nolf=end");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"spaced", "key one", "value with blanks"},
        {"spaced", "quoted", "in quotes"},
        {"spaced", "single", "x"},
        {"spaced", "lone", "'"},        // one quote character is the value itself
        {"spaced", "lonedouble", "\""},
        {"spaced", "bare", ""},
        {"spaced", "half", "\"open"},
        {"spaced", "a line without equals", "<def>"},
        {"spaced", "empty", ""},
        {"spaced", "dup", "first"},
        {"spaced", "hidden", "<def>"},
        {"spaced", "later", "<def>"},  // the first section of a name wins
        {"crlf", "k", "v"},
        {"last", "nolf", "end"},
        {"", "top", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(read(c.section, c.key, file, "<def>"), c.expected);
    }
}

// A value that is a lone quote character, or has one at one end only, is
// written and read back as it is, and writing it again changes nothing.
TEST_F(SettingsIni, LoneQuotesSurviveAWriteAndARead)
{
    const std::string file = root_ + "quotes.ini";
    for (const char* v : {"'", "\"", "a'", "'b", "\"c"}) {
        SCOPED_TRACE(v);
        ASSERT_EQ(ini_write("q", "k", v, file), 1);
        EXPECT_EQ(read("q", "k", file, "<def>"), v);
        const std::string before = slurp(file);
        ASSERT_EQ(ini_write("q", "k", v, file), 1);
        EXPECT_EQ(slurp(file), before);
    }
}

TEST_F(SettingsIni, ValueIsCutAtTheUsableLengthOfTheSize)
{
    const std::string long_value(5000, 'v');
    spit(main_ini_path, "[s]\nk=" + long_value + "\n");
    struct Case {
        std::size_t size;
        std::size_t length;
    };
    const Case cases[] = {{4200, 4150}, {4150, 4150}, {1074, 1024}, {1024, 1024}, {306, 256},
                          {256, 256},   {100, 99},    {1, 0},       {0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::string out;
        EXPECT_EQ(ini_read("s", "k", nullptr, out, c.size, ""), static_cast<int>(c.length));
        EXPECT_EQ(out.size(), c.length);
    }
    // The default is cut the same way, and loses its trailing blanks.
    std::string out;
    EXPECT_EQ(ini_read("s", "missing", "abcdef   ", out, 4, ""), 3);
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(read("s", "missing", "", "padded   "), "padded");
}

TEST_F(SettingsIni, NamesAndValuesAreCleaned)
{
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        const char* line;  // as stored
    };
    const Case cases[] = {
        {"s", "a=b[c]d", "v", "a~b~c~d=v"},
        {"s", "\x02" "bold\x02" "key", "v", "boldkey=v"},
        {"s", "multi", "one\r\ntwo", "multi=one~~two"},
        {"s", "coloured", "\x03" "4,12red\x0f text", "coloured=red text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fs::remove(main_ini_path);
        ASSERT_EQ(ini_write(c.section, c.key, c.value, ""), 1);
        EXPECT_EQ(slurp(main_ini_path), std::string("[s]\n") + c.line + "\n");
    }
    // The same cleaning on reading finds the keys again.
    fs::remove(main_ini_path);
    ini_write("s", "a=b", "found", "");
    EXPECT_EQ(read("s", "a=b"), "found");
    EXPECT_EQ(read("s", "a~b"), "found");
    // A section name with brackets.
    ini_write("we[ir]d", "k", "v", "");
    EXPECT_NE(slurp(main_ini_path).find("[we~ir~d]\nk=v\n"), std::string::npos);
    EXPECT_EQ(read("we[ir]d", "k"), "v");
    // Names that are empty after cleaning: nothing to do, nothing read.
    std::string out = "junk";
    EXPECT_EQ(ini_read("\x03" "4", "k", "def", out, 4200, ""), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(ini_read("s", "\x02\x02", "def", out, 4200, ""), 0);
    expect_untouched(main_ini_path, [] { EXPECT_EQ(ini_write("\x02", "k", "v", ""), 1); });
    // A key that looks like a comment is found again: writing it twice doesn't
    // grow the file.
    ASSERT_EQ(ini_write("s", ";odd", "1", ""), 1);
    std::string once = slurp(main_ini_path);
    expect_untouched(main_ini_path, [] { EXPECT_EQ(ini_write("s", ";odd", "1", ""), 1); });
    EXPECT_EQ(ini_write("s", ";odd", "2", ""), 1);
    EXPECT_EQ(slurp(main_ini_path).size(), once.size());
    EXPECT_EQ(read("s", ";odd"), "2");
}

TEST_F(SettingsIni, WritesThatChangeNothingLeaveTheFileAlone)
{
    spit(main_ini_path, "[text]\nquit=bye\nempty=\n[bare]\n; only a comment\n");
    struct Case {
        const char* name;
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"same value", "text", "quit", "bye"},
        {"same value other case of key", "TEXT", "QUIT", "bye"},
        {"value of colour codes only", "text", "quit", "\x03" "4\x03"},
        {"delete an absent key", "text", "absent", nullptr},
        {"delete with an empty value", "text", "absent", ""},
        {"delete a key stored empty", "text", "empty", nullptr},
        {"delete in an absent section", "nosuch", "k", nullptr},
        {"delete a section without keys", "bare", nullptr, nullptr},
        {"delete an absent section", "nosuch", nullptr, nullptr},
        {"all null", nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expect_untouched(main_ini_path, [&] { EXPECT_EQ(ini_write(c.section, c.key, c.value, ""), 1); });
    }
    EXPECT_EQ(read("text", "quit"), "bye");
    // A value that differs only in case is written.
    EXPECT_EQ(ini_write("text", "quit", "Bye", ""), 1);
    EXPECT_EQ(read("text", "quit"), "Bye");
}

TEST_F(SettingsIni, WriteKeepsTheRestOfTheFile)
{
    spit(main_ini_path,
         "; settings\n"
         "[a]\n"
         "x=1\n"
         "; keep this\n"
         "y=2\n"
         "\n"
         "[b]\n"
         "z=3\n");
    ASSERT_EQ(ini_write("a", "new", "n", ""), 1);
    ASSERT_EQ(ini_write("a", "x", "changed", ""), 1);
    ASSERT_EQ(ini_write("c", "k", "v", ""), 1);
    EXPECT_EQ(slurp(main_ini_path),
              "; settings\n"
              "[a]\n"
              "x=changed\n"
              "; keep this\n"
              "y=2\n"
              "new=n\n"
              "\n"
              "[b]\n"
              "z=3\n"
              "\n"
              "[c]\n"
              "k=v\n");
    ASSERT_EQ(ini_write("a", "y", nullptr, ""), 1);
    ASSERT_EQ(ini_write("b", nullptr, nullptr, ""), 1);
    EXPECT_EQ(slurp(main_ini_path),
              "; settings\n"
              "[a]\n"
              "x=changed\n"
              "; keep this\n"
              "new=n\n"
              "\n"
              "[c]\n"
              "k=v\n");
    // A file with CR LF lines keeps them.
    const std::string dos = root_ + "dos.ini";
    spit(dos, "[s]\r\nk=v\r\n");
    ASSERT_EQ(ini_write("s", "k2", "v2", dos), 1);
    EXPECT_EQ(slurp(dos), "[s]\r\nk=v\r\nk2=v2\r\n");
}

TEST_F(SettingsIni, WriteFailuresAreReported)
{
    EXPECT_EQ(ini_write("s", "k", "v", root_ + "no/such/folder/x.ini"), 0);
    EXPECT_EQ(ini_write("s", "k", "v", root_ + "con.ini"), 0);
    EXPECT_EQ(ini_write(nullptr, "k", "v", ""), 0);
    fs::create_directories(root_ + "adir.ini");
    EXPECT_EQ(ini_write("s", "k", "v", root_ + "adir.ini"), 0);
    // A file that can't be read is never replaced by a new one.
    fs::create_symlink("loop.ini", root_ + "loop.ini");
    EXPECT_EQ(ini_write("s", "k", "v", root_ + "loop.ini"), 0);
    EXPECT_EQ(ini_write("s", "k", nullptr, root_ + "loop.ini"), 0);
    EXPECT_TRUE(fs::is_symlink(root_ + "loop.ini"));
    if (::geteuid() != 0) {
        spit(root_ + "secret.ini", "[s]\nk=kept\n");
        ::chmod((root_ + "secret.ini").c_str(), 0200);
        EXPECT_EQ(ini_write("s", "other", "v", root_ + "secret.ini"), 0);
        ::chmod((root_ + "secret.ini").c_str(), 0600);
        EXPECT_EQ(slurp(root_ + "secret.ini"), "[s]\nk=kept\n");
    }
    spit(main_ini_path, "[s]\nk=old\n");
    file_replace_hook = [](const std::string&, const std::string&) { return 0; };
    EXPECT_EQ(ini_write("s", "k", "new", ""), 0);
    EXPECT_EQ(slurp(main_ini_path), "[s]\nk=old\n");
}

TEST_F(SettingsIni, CrashBetweenWriteAndRenameKeepsTheOldSettings)
{
    spit(main_ini_path, "[options]\nnick=before\nother=kept\n");
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        file_replace_hook = [](const std::string&, const std::string&) -> int { ::_exit(0); };
        ini_write("options", "nick", "after", "");
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(slurp(main_ini_path), "[options]\nnick=before\nother=kept\n");
    EXPECT_EQ(read("options", "nick"), "before");
    // The next run writes past the leftover temporary file.
    EXPECT_EQ(ini_write("options", "nick", "after", ""), 1);
    EXPECT_EQ(read("options", "nick"), "after");
    EXPECT_EQ(read("options", "other"), "kept");
}

TEST_F(SettingsIni, KeyAndSectionNameLists)
{
    spit(main_ini_path, "[one]\na=1\nb=2\nnot a key\n[two]\n[three]\nc=3\n");
    std::string out;
    EXPECT_EQ(ini_read("one", nullptr, nullptr, out, 4200, ""), 4);
    EXPECT_EQ(out, std::string("a\0b\0", 4));
    EXPECT_EQ(ini_read(nullptr, nullptr, nullptr, out, 4200, ""), 14);
    EXPECT_EQ(out, std::string("one\0two\0three\0", 14));
    EXPECT_EQ(ini_read("two", nullptr, nullptr, out, 4200, ""), 0);
    // Only whole names that fit are given.
    EXPECT_EQ(ini_read(nullptr, nullptr, nullptr, out, 10, ""), 8);
    EXPECT_EQ(out, std::string("one\0two\0", 8));
    // Comment lines are not listed as keys.
    spit(main_ini_path, "[one]\n;note=x\na=1\n");
    EXPECT_EQ(ini_read("one", nullptr, nullptr, out, 4200, ""), 2);
    EXPECT_EQ(out, std::string("a\0", 2));
}

TEST_F(SettingsIni, SectionLineTest)
{
    struct Case {
        const char* line;
        int expected;
    };
    const Case cases[] = {
        {"[text]", 1},     {"[text]  \t", 1}, {"[text]\r\n", 1}, {"[a]b]", 1},   {"[a] b", 0},
        {" [text]", 0},    {"[text", 0},      {"text]", 0},      {"", 0},        {"[]", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(ini_is_section_line(c.line), c.expected);
    }
    EXPECT_EQ(ini_is_section_line(nullptr), 0);
}

TEST_F(SettingsIni, ClearReadOnly)
{
    spit(root_ + "ro.ini", "[s]\nk=v\n");
    ::chmod((root_ + "ro.ini").c_str(), 0444);
    file_clear_readonly("ro.ini");
    struct stat st;
    ASSERT_EQ(::stat((root_ + "ro.ini").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    EXPECT_EQ(ini_write("s", "k", "w", root_ + "ro.ini"), 1);
    EXPECT_EQ(read("s", "k", root_ + "ro.ini"), "w");
    file_clear_readonly("");
    file_clear_readonly(root_ + "missing");
}

// ---------------------------------------------------------------------------
// Numbered lists

TEST_F(SettingsIni, NumberedListStopsAtTheFirstGap)
{
    spit(main_ini_path, "[list]\nn0=a\nn1=b\nn3=d\n[other]\nn2=x\n");
    StringNode* list = ini_read_numbered_list("list", "n", nullptr, "", 0);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"a", "b"}));
    // The old list is freed and replaced.
    list = ini_read_numbered_list("LIST", "N", list, "", 0);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"a", "b"}));
    strlist_free(&list);
    expect_untouched(main_ini_path, [] { EXPECT_EQ(ini_delete_numbered_from("list", "n", 2, ""), 1); });
    EXPECT_EQ(ini_delete_numbered_from("list", "n", 1, ""), 1);
    EXPECT_EQ(slurp(main_ini_path), "[list]\nn0=a\nn3=d\n[other]\nn2=x\n");
    // An empty value ends the list as a missing one does.
    spit(main_ini_path, "[list]\nn0=a\nn1=\nn2=c\n");
    list = ini_read_numbered_list("list", "n", nullptr, "", 0);
    EXPECT_EQ(texts(list), std::vector<std::string>{"a"});
    strlist_free(&list);
    EXPECT_EQ(ini_read_numbered_list("nosuch", "n", nullptr, "", 0), nullptr);
    EXPECT_EQ(ini_read_numbered_list("list", "n", nullptr, root_ + "missing.ini", 0), nullptr);
}

TEST_F(SettingsIni, NumberedListModes)
{
    spit(main_ini_path,
         "[servers]\n"
         "n0=Random serverSERVER:irc.example.net:6667GROUP:Example\n"
         "n1=irc.bare.org:6667,6668\n"
         "n2=nocolon\n"
         "n3=trailing:\n"
         "n4=Home page URL:http://example.net\n"
         "n5=a : b\n"
         "n6=a:b\n");
    struct Case {
        int mode;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {0,
         {"Random serverSERVER:irc.example.net:6667GROUP:Example", "irc.bare.org:6667,6668", "nocolon", "trailing:",
          "Home page URL:http://example.net", "a : b", "a:b"}},
        {1,
         {"Random serverSERVER:irc.example.net:6667GROUP:Example", "irc.bare.orgSERVER:irc.bare.org:6667,6668",
          "Home page URLSERVER:Home page URL:http://example.net", "a SERVER:a : b", "aSERVER:a:b"}},
        {2, {"Home page URL:http://example.net"}},
        {3, {"a : b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        StringNode* list = ini_read_numbered_list("servers", "n", nullptr, "", c.mode);
        EXPECT_EQ(texts(list), c.expected);
        strlist_free(&list);
    }
}

TEST_F(SettingsIni, WritingANumberedListKeepsItContiguous)
{
    spit(main_ini_path, "[list]\nn0=old0\nn1=old1\nn2=old2\nn3=old3\nn4=old4\nn5=\nn6=beyond the gap\n");
    StringNode* list = make_list({"first", "", "second", "\x03" "4", "third"});
    EXPECT_EQ(ini_write_numbered_list(list, "list", "n", 0, ""), 1);
    EXPECT_EQ(slurp(main_ini_path), "[list]\nn0=first\nn1=second\nn2=third\nn5=\nn6=beyond the gap\n");
    StringNode* back = ini_read_numbered_list("list", "n", nullptr, "", 0);
    EXPECT_EQ(texts(back), (std::vector<std::string>{"first", "second", "third"}));
    strlist_free(&back);

    // Writing the same list again changes nothing.
    expect_untouched(main_ini_path, [&] { EXPECT_EQ(ini_write_numbered_list(list, "list", "n", 0, ""), 1); });
    strlist_free(&list);

    // An empty list deletes the stale keys.
    EXPECT_EQ(ini_write_numbered_list(nullptr, "list", "n", 0, ""), 1);
    EXPECT_EQ(slurp(main_ini_path), "[list]\nn5=\nn6=beyond the gap\n");
}

TEST_F(SettingsIni, NumberedListLimitAndOneRewrite)
{
    std::vector<std::string> items;
    for (int i = 0; i < 30; ++i)
        items.push_back("nick" + std::to_string(i));
    StringNode* list = make_list(items);
    g_replaces = 0;
    EXPECT_EQ(ini_write_numbered_list(list, "dccnicks", "n", 20, ""), 1);
    EXPECT_EQ(g_replaces, 1);
    StringNode* back = ini_read_numbered_list("dccnicks", "n", nullptr, "", 0);
    EXPECT_EQ(strlist_count(back), 21);  // the entry numbered 20 is the last written
    EXPECT_EQ(back->prev->text, "nick20");
    strlist_free(&back);
    strlist_free(&list);

    // A long list is written with one rewrite of the file and read back whole.
    items.clear();
    for (int i = 0; i < 5000; ++i)
        items.push_back("entry number " + std::to_string(i));
    list = make_list(items);
    g_replaces = 0;
    EXPECT_EQ(ini_write_numbered_list(list, "big", "n", 0, ""), 1);
    EXPECT_EQ(g_replaces, 1);
    back = ini_read_numbered_list("big", "n", nullptr, "", 0);
    EXPECT_EQ(texts(back), items);
    strlist_free(&back);
    strlist_free(&list);
    EXPECT_EQ(read("dccnicks", "n20"), "nick20");
}

TEST_F(SettingsIni, RenameKeyInEntries)
{
    StringNode* list = make_list({"All Networks,/msg x", "no comma", "other,/join #a", " all   networks ,/y",
                                  "also no comma"});
    list = strlist_rename_key(list, "all networks", "All");
    EXPECT_EQ(texts(list), (std::vector<std::string>{"All,/msg x", "other,/join #a", "All,/y"}));
    strlist_free(&list);
    list = make_list({"only"});
    EXPECT_EQ(strlist_rename_key(list, "x", "y"), nullptr);
}

// ---------------------------------------------------------------------------
// List files

TEST_F(SettingsIni, SaveListFileIntoIniFiles)
{
    struct Case {
        const char* name;
        std::optional<std::string> before;  // nullopt: no file
        std::vector<std::string> list;
        std::optional<std::string> after;   // nullopt: still no file
    };
    const Case cases[] = {
        {"missing file", std::nullopt, {"a", "b"}, "[urls]\nn0=a\nn1=b\n"},
        {"empty file", "", {"a"}, "[urls]\nn0=a\n"},
        {"last line text without line feed", "[x]\nk=v", {"a"}, "[x]\nk=v\n[urls]\nn0=a\n"},
        {"last line text with line feed", "[x]\nk=v\n", {"a"}, "[x]\nk=v\n\n[urls]\nn0=a\n"},
        {"ends with an empty line", "[x]\nk=v\n\n", {"a"}, "[x]\nk=v\n[urls]\nn0=a\n"},
        {"replaces the section in place of order",
         "[first]\nf=1\n\n[urls]\nn0=old\nn1=old\n\n[last]\nl=1\n",
         {"new"},
         "[first]\nf=1\n\n[last]\nl=1\n\n[urls]\nn0=new\n"},
        {"removes every copy of the section", "[urls]\nn0=1\n[keep]\nk=1\n[URLS]\nn0=2\n", {"z"},
         "[keep]\nk=1\n\n[urls]\nn0=z\n"},
        {"empty list keeps the header", "[urls]\nn0=x\n", {}, "[urls]\n"},
        {"empty list without a file", std::nullopt, {}, std::nullopt},
        {"runs of empty lines become one", "\n\n[a]\n\n\n\nk=1\n\n\n", {"v"}, "[a]\n\nk=1\n[urls]\nn0=v\n"},
        {"line ends in entries are replaced", std::nullopt, {"one\ntwo"}, "[urls]\nn0=one~two\n"},
    };
    const std::string path = root_ + "urls.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(path);
        if (c.before)
            spit(path, *c.before);
        StringNode* list = make_list(c.list);
        EXPECT_EQ(ini_save_list_file(path, "[urls]", list), 1);
        strlist_free(&list);
        ASSERT_EQ(fs::exists(path), c.after.has_value());
        if (c.after) {
            EXPECT_EQ(slurp(path), *c.after);
        }
    }
}

TEST_F(SettingsIni, SaveListFileOtherForms)
{
    StringNode* list = make_list({"alias1 /echo one", "", "alias2 /echo two"});
    EXPECT_EQ(ini_save_list_file(root_ + "aliases.kst", "[aliases]", list), 1);
    EXPECT_EQ(slurp(root_ + "aliases.kst"), "alias1 /echo one\n\nalias2 /echo two\n");
    EXPECT_EQ(ini_save_list_file(root_ + "plain.INI", nullptr, list), 1);
    EXPECT_EQ(slurp(root_ + "plain.INI"), "n0=alias1 /echo one\nn1=\nn2=alias2 /echo two\n");
    EXPECT_EQ(ini_save_list_file("", "[x]", list), 0);
    EXPECT_EQ(ini_save_list_file(root_ + "nul.ini", "[x]", list), 0);
    EXPECT_EQ(ini_save_list_file(root_ + "no/folder/x.ini", "[x]", list), 0);
    strlist_free(&list);
}

TEST_F(SettingsIni, FailedSectionRemovalAddsNoDuplicate)
{
    const std::string path = root_ + "control.ini";
    const std::string before = "[ignore]\nn0=*!*@bad\n[op]\nn0=friend\n";
    spit(path, before);
    file_replace_hook = [](const std::string&, const std::string&) { return 0; };
    EXPECT_EQ(ini_remove_section(path, "[ignore]"), -1);
    EXPECT_EQ(slurp(path), before);
    StringNode* list = make_list({"*!*@worse"});
    EXPECT_EQ(ini_save_list_file(path, "[ignore]", list), 0);
    EXPECT_EQ(slurp(path), before);
    // A file that can't be read is a failure too, not an empty file.
    file_replace_hook = nullptr;
    fs::create_directories(root_ + "dir.ini");
    EXPECT_EQ(ini_remove_section(root_ + "dir.ini", "[ignore]"), -1);
    EXPECT_EQ(ini_save_list_file(root_ + "dir.ini", "[ignore]", list), 0);
    fs::create_symlink("loop.ini", root_ + "loop.ini");
    EXPECT_EQ(ini_remove_section(root_ + "loop.ini", "[ignore]"), -1);
    EXPECT_EQ(ini_save_list_file(root_ + "loop.ini", "[ignore]", list), 0);
    EXPECT_TRUE(fs::is_symlink(root_ + "loop.ini"));
    // Once writing works the section is replaced, not repeated.
    EXPECT_EQ(ini_save_list_file(path, "[ignore]", list), 1);
    EXPECT_EQ(slurp(path), "[op]\nn0=friend\n\n[ignore]\nn0=*!*@worse\n");
    strlist_free(&list);
}

TEST_F(SettingsIni, SaveListFileReplacesTheFileInOneStep)
{
    const std::string path = root_ + "perform.ini";
    spit(path, "[perform]\nn0=old\n");
    ino_t before = inode_of(path);
    StringNode* list = make_list({"new"});
    g_replaces = 0;
    EXPECT_EQ(ini_save_list_file(path, "[perform]", list), 1);
    EXPECT_EQ(g_replaces, 1);
    EXPECT_NE(inode_of(path), before);
    EXPECT_EQ(slurp(path), "[perform]\nn0=new\n");
    strlist_free(&list);
}

TEST_F(SettingsIni, RemoveSectionResult)
{
    struct Case {
        const char* before;
        const char* after;
        int result;
    };
    const Case cases[] = {
        {"[a]\nk=1\n\n[gone]\nx=1\n", "[a]\nk=1\n", 1},
        {"[gone]\nx=1\n[a]\nk=1\n", "[a]\nk=1\n", 0},
        {"[a]\nk=1", "[a]\nk=1", 0},
        {"[gone]\nx=1\n", "", 1},
        {"[GONE]\nx=1\n\n[b]\n", "[b]\n", 0},
    };
    const std::string path = root_ + "r.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        spit(path, c.before);
        EXPECT_EQ(ini_remove_section(path, "[gone]"), c.result);
        EXPECT_EQ(slurp(path), c.after);
    }
    EXPECT_EQ(ini_remove_section(root_ + "missing.ini", "[gone]"), 1);
    EXPECT_FALSE(fs::exists(root_ + "missing.ini"));
    EXPECT_EQ(ini_remove_section("", "[gone]"), 1);
    EXPECT_EQ(ini_remove_section(path, ""), 1);
}

TEST_F(SettingsIni, LoadListFile)
{
    const std::string ini = root_ + "urls.ini";
    spit(ini,
         "[other]\n"
         "n0=not this\n"
         "[URLS]\n"
         "n0=Kest URL:http://kest.example\n"
         "n1=plain entry\n"
         "no equals here\n"
         "n2=\n"
         "n3=x=y\n"
         "n4=\n"
         "\n"
         "[next]\n"
         "n0=after\n");
    struct Case {
        const char* name;
        const char* header;
        int mode;
        int whole;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"values", "[urls]", 0, 0, {"Kest URL:http://kest.example", "plain entry", "x=y"}},
        {"urls only", "[urls]", 2, 0, {"Kest URL:http://kest.example"}},
        {"empty entries kept inside, dropped at the end", "[urls]", 1, 0,
         {"Kest URL:http://kest.example", "plain entry", "", "x=y"}},
        {"whole lines", "[urls]", 0, 1, {"n0=Kest URL:http://kest.example", "n1=plain entry", "n2=", "n3=x=y", "n4="}},
        {"no header starts at the top, where a section line ends it", "", 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringNode* list = ini_load_list_file(ini, c.header, c.mode, c.whole);
        EXPECT_EQ(texts(list), c.expected);
        strlist_free(&list);
    }
    EXPECT_EQ(ini_load_list_file(ini, "[absent]", 0, 0), nullptr);
    EXPECT_EQ(ini_load_list_file(root_ + "missing.ini", "[urls]", 0, 0), nullptr);
    EXPECT_EQ(ini_load_list_file("", "[urls]", 0, 0), nullptr);
    spit(root_ + "bare.ini", "n0=a\nn1=b\n[sec]\nn0=c\n");
    StringNode* bare = ini_load_list_file(root_ + "bare.ini", nullptr, 0, 0);
    EXPECT_EQ(texts(bare), (std::vector<std::string>{"a", "b"}));
    strlist_free(&bare);

    const std::string plain = root_ + "script.kst";
    spit(plain, "on *:TEXT:*:#:{\r\n\r\n  echo hi\r\n}\r\n\r\n\r\n");
    StringNode* list = ini_load_list_file(plain, "[aliases]", 1, 0);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"on *:TEXT:*:#:{", "", "  echo hi", "}"}));
    strlist_free(&list);
    list = ini_load_list_file(plain, nullptr, 0, 0);
    EXPECT_EQ(texts(list), (std::vector<std::string>{"on *:TEXT:*:#:{", "  echo hi", "}"}));
    strlist_free(&list);
}

TEST_F(SettingsIni, LongLinesNeverTurnIntoExtraEntries)
{
    // The tail of an overlong line is dropped; it is not read as a line of its own.
    const std::string path = root_ + "long.ini";
    std::string tail = "=phantom[fake]";
    spit(path, "[list]\nn0=" + std::string(9000, 'x') + tail + "\nn1=real\n");
    StringNode* list = ini_load_list_file(path, "[list]", 0, 0);
    std::vector<std::string> got = texts(list);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], std::string(4150, 'x'));
    EXPECT_EQ(got[1], "real");
    strlist_free(&list);

    // An entry of the longest length survives a save and a load whole.
    std::string longest(4150, 'y');
    list = make_list({longest, "next"});
    ASSERT_EQ(ini_save_list_file(path, "[list]", list), 1);
    strlist_free(&list);
    list = ini_load_list_file(path, "[list]", 0, 0);
    EXPECT_EQ(texts(list), (std::vector<std::string>{longest, "next"}));
    strlist_free(&list);
}

// ---------------------------------------------------------------------------
// File and folder settings

TEST_F(SettingsIni, FolderSetting)
{
    fs::create_directories(root_ + "logs");
    fs::create_directories(root_ + "abs folder");
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"", root_},
        {"logs", root_ + "logs/"},
        {"logs\\", root_ + "logs/"},
        {"logs//", root_ + "logs/"},
        {root_ + "abs folder", root_ + "abs folder/"},
        {"missing", root_},
        {"/", "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::string p = c.input;
        file_folder_setting(p);
        EXPECT_EQ(p, c.expected);
    }
}

TEST_F(SettingsIni, FileSettingPath)
{
    fs::create_directories(root_ + "sub");
    fs::create_directories(root_ + "elsewhere");
    spit(root_ + "sub/servers.ini", "x");
    spit(root_ + "moved.ini", "x");
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"", root_ + "servers.ini"},
        {"sub\\servers.ini", root_ + "sub/servers.ini"},
        {root_ + "sub/servers.ini", root_ + "sub/servers.ini"},
        {root_ + "elsewhere/moved.ini", root_ + "moved.ini"},  // same name in the settings folder
        {"moved.ini", root_ + "moved.ini"},
        {root_ + "elsewhere/absent.ini", root_ + "servers.ini"},
        {"absent.ini", root_ + "servers.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::string p = c.input;
        file_setting_path(p, "servers.ini");
        EXPECT_EQ(p, c.expected);
    }
}

// ---------------------------------------------------------------------------
// Settings location and default files

TEST_F(SettingsIni, UserDir)
{
    std::string out;
    EXPECT_EQ(file_user_dir(out, 1 | 4), 1);
    EXPECT_EQ(out, root_ + "config/kest/");
    EXPECT_TRUE(fs::is_directory(root_ + "config"));    // the base folder is made
    EXPECT_FALSE(fs::exists(root_ + "config/kest"));   // the subfolder is not
    EXPECT_EQ(file_user_dir(out, 1), 1);
    EXPECT_EQ(out, root_ + "config/");
    EXPECT_EQ(file_user_dir(out, 2 | 4), 1);
    EXPECT_EQ(out, root_ + "data/kest/");
    EXPECT_EQ(file_user_dir(out, 3), 1);
    EXPECT_EQ(out, root_ + "config/");
    EXPECT_EQ(file_user_dir(out, 4), 0);
    EXPECT_EQ(out, "");
    // Without the variable the home folder's ".config" is used.
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(file_user_dir(out, 1 | 4), 1);
    EXPECT_EQ(out, root_ + "home/.config/kest/");
    // A relative value of the variable is ignored.
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(file_user_dir(out, 1), 1);
    EXPECT_EQ(out, root_ + "home/.config/");
}

TEST_F(SettingsIni, LocateSettings)
{
    fs::create_directories(root_ + "bin");
    program_path_override = root_ + "bin/kest";
    struct Case {
        const char* name;
        bool ini_beside_program;
        int expected_moves;
    };
    const Case cases[] = {
        {"no kest.ini beside the program", false, 1},
        {"kest.ini beside a writable program", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(root_ + "bin/kest.ini");
        if (c.ini_beside_program)
            spit(root_ + "bin/kest.ini", "[kest]\n");
        settings_dir = "stale";
        ASSERT_EQ(settings_locate(), 1);
        EXPECT_EQ(settings_dir, root_ + "bin/");
        EXPECT_EQ(main_ini_path, root_ + "bin/kest.ini");
        EXPECT_EQ(user_settings_dir, root_ + "config/kest/");
        EXPECT_EQ(program_dir_writable, 1);
        EXPECT_EQ(settings_to_user_dir, c.expected_moves);
        EXPECT_EQ(ini_to_user_dir, c.expected_moves);
        EXPECT_TRUE(temp_files_left(root_ + "bin").empty());
    }

    // The start-up check may end start-up.
    settings_startup_check = [](const std::string& program) -> int {
        return program.find("/bin/kest") == std::string::npos ? 1 : 0;
    };
    EXPECT_EQ(settings_locate(), 0);
    settings_startup_check = nullptr;

    // The launcher's variables decide alone.
    ::setenv("U3_HOST_EXEC_PATH", (root_ + "bin").c_str(), 1);
    ::setenv("U3_APP_DATA_PATH", (root_ + "u3data").c_str(), 1);
    ASSERT_EQ(settings_locate(), 1);
    EXPECT_EQ(settings_dir, root_ + "u3data/");
    EXPECT_EQ(main_ini_path, root_ + "u3data/kest.ini");
    EXPECT_EQ(user_settings_dir, "");
    EXPECT_EQ(settings_to_user_dir + ini_to_user_dir + program_dir_writable, 0);
    ::unsetenv("U3_HOST_EXEC_PATH");
    ASSERT_EQ(settings_locate(), 1);  // one variable alone does not count
    EXPECT_EQ(settings_dir, root_ + "bin/");
}

TEST_F(SettingsIni, DefaultsFillAnEmptySettingsFolderOnce)
{
    fs::create_directories(root_ + "bin/defaults/scripts");
    spit(root_ + "bin/defaults/kest.ini", "[kest]\nnick=newbie\n");
    spit(root_ + "bin/defaults/servers.ini", "[servers]\n");
    spit(root_ + "bin/defaults/scripts/start.kst", "on *:START:{ }\n");
    ::chmod((root_ + "bin/defaults/kest.ini").c_str(), 0444);
    program_path_override = root_ + "bin/kest";

    ASSERT_EQ(settings_locate(), 1);
    ASSERT_EQ(settings_to_user_dir, 1);
    ASSERT_EQ(ini_copy_defaults(), 1);
    const std::string user = root_ + "config/kest/";
    EXPECT_EQ(settings_dir, user);
    EXPECT_EQ(main_ini_path, user + "kest.ini");
    EXPECT_EQ(slurp(user + "kest.ini"), "[kest]\nnick=newbie\n");
    EXPECT_EQ(slurp(user + "servers.ini"), "[servers]\n");
    EXPECT_EQ(slurp(user + "scripts/start.kst"), "on *:START:{ }\n");
    // The main file is writable even though the default copy was not.
    EXPECT_EQ(ini_write("kest", "nick", "changed", ""), 1);
    EXPECT_EQ(read("kest", "nick"), "changed");

    // A folder that holds anything is left alone.
    fs::remove(user + "servers.ini");
    ASSERT_EQ(settings_locate(), 1);
    ASSERT_EQ(ini_copy_defaults(), 1);
    EXPECT_FALSE(fs::exists(user + "servers.ini"));
    EXPECT_EQ(read("kest", "nick"), "changed");

    // Without move flags (e.g. a settings folder named on the command line) the
    // settings folder stays, and is filled when empty.
    fs::create_directories(root_ + "portable");
    settings_dir = root_ + "portable/";
    main_ini_path = settings_dir + "kest.ini";
    settings_to_user_dir = ini_to_user_dir = 0;
    ASSERT_EQ(ini_copy_defaults(), 1);
    EXPECT_EQ(settings_dir, root_ + "portable/");
    EXPECT_TRUE(fs::exists(root_ + "portable/servers.ini"));
}

}  // namespace

// A whole section written at once: the old copy of the section goes, the
// other sections stay in their place, names and values are cleaned as
// single keys are, empty values are left out; writing the same again
// changes nothing.
TEST_F(SettingsIni, WriteSectionReplacesTheSectionInOneRewrite)
{
    const std::string file = root_ + "table.ini";
    {
        std::ofstream(file) << "[before]\na=1\n\n[Table]\nold=gone\nx=9\n\n[after]\nb=2\n";
    }
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"x", "1"}, {"br[ack]et", "v"}, {"eq=key", "line\nbreak"}, {"empty", ""}, {"\x02" "bold", "b"}};
    ASSERT_EQ(ini_write_section("table", keys, file), 1);
    EXPECT_EQ(slurp(file), "[before]\na=1\n\n[after]\nb=2\n\n[table]\nx=1\nbr~ack~et=v\neq~key=line~break\nbold=b\n");
    EXPECT_EQ(read("table", "old", file), "");
    EXPECT_EQ(read("TABLE", "x", file), "1");
    expect_untouched(file, [&] { EXPECT_EQ(ini_write_section("table", keys, file), 1); });
    // An empty list removes the section and nothing else.
    ASSERT_EQ(ini_write_section("table", {}, file), 1);
    EXPECT_EQ(slurp(file).find("[table]"), std::string::npos) << slurp(file);
    EXPECT_EQ(read("after", "b", file), "2");
}
