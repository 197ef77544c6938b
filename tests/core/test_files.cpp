// Paths, devices, copying and moving and safe saving, on real files in a
// temporary folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/files.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

mode_t mode_of(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::vector<std::string> names_of(const StringNode* head)
{
    std::vector<std::string> out;
    for (const StringNode* n = head; n; n = n->next)
        out.push_back(n->text);
    return out;
}

std::vector<std::string> temp_files_in(const std::string& dir)
{
    std::vector<std::string> out;
    std::regex temp_name("kest[0-9]+\\.tm_");
    for (const auto& e : fs::directory_iterator(dir))
        if (std::regex_match(e.path().filename().string(), temp_name))
            out.push_back(e.path().string());
    return out;
}

class SettingsFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
        fs::create_directories(root_ + "home");
        ::setenv("HOME", (root_ + "home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ + "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ + "config").c_str(), 1);
    }

    void TearDown() override
    {
        file_replace_hook = nullptr;
        file_trash_confirm = nullptr;
        file_command_shell.clear();
    }

    HookGuard hooks_;  // the safe save's replace step and the trash question
    TempSettingsDir temp_{"kest-files-"};
    SavedEnv env_{"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    std::string root_;
};

// ---------------------------------------------------------------------------
// Paths

TEST_F(SettingsFiles, ResolvePathTakesRelativePathsFromTheSettingsFolder)
{
    struct Case {
        const char* input;
        bool file_only;
        int result;
        std::string expected;  // relative to the settings folder unless it starts with "/"
    };
    const std::string long_name(1100, 'x');
    const Case cases[] = {
        {"name.txt", false, 1, "name.txt"},
        {"sub/x.ini", false, 1, "sub/x.ini"},
        {"sub\\x.ini", false, 1, "sub/x.ini"},
        {"/abs/x.log", false, 1, "/abs/x.log"},
        {"\\abs\\x.log", false, 1, "/abs/x.log"},
        {"", false, 0, ""},
        {"folder/", false, 1, "folder/"},
        {"folder/", true, 0, ""},
        {"..", true, 0, ""},
        {"sub/.", true, 0, ""},
        {".hidden", true, 1, ".hidden"},
        {"noext", true, 1, "noext"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::string out = "junk";
        int r = c.file_only ? file_resolve_file_path(c.input, out) : file_resolve_path(c.input, out);
        EXPECT_EQ(r, c.result);
        std::string want = c.expected.empty() || c.expected[0] == '/' ? c.expected : root_ + c.expected;
        EXPECT_EQ(out, want);
    }
    // A path is never cut to fit: a result over 1,024 characters is refused.
    std::string out;
    EXPECT_EQ(file_resolve_path(long_name, out), 0);
    EXPECT_EQ(file_resolve_path("/" + std::string(1023, 'y'), out), 1);
    EXPECT_EQ(file_resolve_path("/" + std::string(1024, 'y'), out), 0);
}

TEST_F(SettingsFiles, TrailingSlashes)
{
    struct Case {
        const char* input;
        const char* stripped;
        int removed;
        const char* added;
    };
    const Case cases[] = {
        {"/a/b/", "/a/b", 1, "/a/b/"},
        {"/a/b// ", "/a/b", 2, "/a/b/"},
        {"/a/b", "/a/b", 0, "/a/b/"},
        {"\\a\\b\\", "\\a\\b", 1, "/a/b/"},
        {"/", "", 1, "/"},
        {"", "", 0, "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::string s = c.input;
        EXPECT_EQ(file_strip_trailing_slash(s), c.removed);
        EXPECT_EQ(s, c.stripped);
        std::string a = c.input;
        file_add_trailing_slash(a);
        EXPECT_EQ(a, c.added);
    }
}

TEST_F(SettingsFiles, AbsoluteForms)
{
    std::string p = "logs\\today.log";
    EXPECT_EQ(file_abs_settings_dir(p), root_ + "logs/today.log");
    p = "/etc/x";
    EXPECT_EQ(file_abs_settings_dir(p), "/etc/x");

    program_path_override = root_ + "bin/kest";
    p = "defaults";
    EXPECT_EQ(file_abs_exe_dir(p), root_ + "bin/defaults");
    program_path_override.clear();
    // Without the override the program file is the running executable.
    EXPECT_EQ(file_program_path(), fs::read_symlink("/proc/self/exe").string());

    EXPECT_EQ(file_relative_to_settings_dir(root_ + "logs/a.log"), "logs/a.log");
    EXPECT_EQ(file_relative_to_settings_dir("/elsewhere/a.log"), "/elsewhere/a.log");
    // A folder whose name only begins like the settings folder is not inside it.
    std::string sibling = root_.substr(0, root_.size() - 1) + "x/a.log";
    EXPECT_EQ(file_relative_to_settings_dir(sibling), sibling);
}

TEST_F(SettingsFiles, SamePathAndLongPath)
{
    spit(root_ + "a.txt", "a");
    spit(root_ + "b.txt", "b");
    ASSERT_EQ(::link((root_ + "a.txt").c_str(), (root_ + "hard.txt").c_str()), 0);
    fs::create_directories(root_ + "sub");
    EXPECT_EQ(file_same_path(root_ + "a.txt", "a.txt"), 1);
    EXPECT_EQ(file_same_path(root_ + "sub/../a.txt", root_ + "./a.txt"), 1);
    EXPECT_EQ(file_same_path(root_ + "hard.txt", root_ + "a.txt"), 1);
    EXPECT_EQ(file_same_path(root_ + "a.txt", root_ + "b.txt"), 0);
    // Names differing in case are different files here.
    EXPECT_EQ(file_same_path(root_ + "a.txt", root_ + "A.txt"), 0);

    std::string p = root_ + "sub/../sub";
    ASSERT_EQ(file_long_path(p), 1);
    EXPECT_EQ(p, fs::canonical(root_ + "sub").string() + "/");
    p = root_ + "missing.txt";
    EXPECT_EQ(file_long_path(p), 0);
    p = root_ + "sub";
    EXPECT_EQ(file_short_path(p), 1);
    EXPECT_EQ(p, root_ + "sub/");
    p = root_ + "missing";
    EXPECT_EQ(file_short_path(p), 0);
}

TEST_F(SettingsFiles, PathInsideFolder)
{
    fs::create_directories(root_ + "dl/sub");
    fs::create_directories(root_ + "outside");
    fs::create_directory_symlink(root_ + "outside", root_ + "dl/escape");
    struct Case {
        std::string path;
        int inside;
    };
    const Case cases[] = {
        {root_ + "dl/file.txt", 1},
        {root_ + "dl/sub/new/file.txt", 1},
        {root_ + "dl/../file.txt", 0},
        {root_ + "dl/sub/../../outside/x", 0},
        {root_ + "dl/escape/x", 0},  // a link that leads out of the folder
        {root_ + "dl", 0},           // the folder itself
        {root_ + "dl/", 0},
        {root_ + "dlx/file", 0},
        {"dl/sub/x", 1},  // relative to the settings folder
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(file_path_is_inside(c.path, root_ + "dl"), c.inside);
    }
}

TEST_F(SettingsFiles, SanitizeName)
{
    struct Case {
        const char* input;
        const char* expected;
        bool four_dos;
        bool keep_first = false;  // the first character is a channel type of the connection
    };
    const Case cases[] = {
        {".hidden", "_hidden", false},
        {".hidden", "_hidden", false, true},  // a leading "." goes even then
        {"..", "_.", false},
        {"a/b\\c:d*e?f<g>h|i^j\"k", "a_b_c_d_e_f_g_h_i_j_k", false},
        {"tab\there\x01\x1f", "tab_here__", false},
        {"#chan name.log", "#chan name.log", false, true},
        {"ok-name (1).txt", "ok-name (1).txt", false},
        {"Türkçe.txt", "Türkçe.txt", false},
        {"a-b.c d", "a_b_c_d", true},
        {"#a-b", "#a_b", true, true},  // the channel-type character stays
        {"#a-b", "_a_b", true},        // not a channel type: it goes as well
        {"&a:b", "&a_b", false, true},
        {"", "", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        file_command_shell = c.four_dos ? "4dos.com" : "";
        std::string name = c.input;
        file_sanitize_name(name, c.keep_first);
        EXPECT_EQ(name, c.expected);
    }
}

// ---------------------------------------------------------------------------
// Devices

TEST_F(SettingsFiles, ReservedDeviceNames)
{
    struct Case {
        std::string name;
        int device;
    };
    std::vector<Case> cases = {
        {"con", 1},        {"CON", 1},         {"con.txt", 1},      {"Con.Log.1", 1},     {"aux", 1},
        {"clock$", 1},     {"CLOCK$.x", 1},    {"com1", 1},         {"com9.dat", 1},      {"lpt1", 1},
        {"LPT9", 1},       {"nul", 1},         {"prn.ini", 1},      {"nul ", 1},          {"sub/aux.txt", 1},
        {"sub\\nul", 1},   {"console", 0},     {"com10", 0},        {"com0", 0},          {"lpt", 0},
        {"prnx.txt", 0},   {"auxx", 0},        {"my.con", 0},       {"notes.txt", 0},     {"", 0},
        {"/dev/null", 1},  {"/dev/shm/x", 1},  {"/dev", 1},         {"/tmp/../dev/zero", 1},
        {"/devices/x", 0},
    };
    for (int i = 1; i <= 9; ++i) {
        cases.push_back({"com" + std::to_string(i) + ".log", 1});
        cases.push_back({"Lpt" + std::to_string(i), 1});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(file_is_device(c.name), c.device);
    }
}

TEST_F(SettingsFiles, SpecialFilesCountAsDevices)
{
    ASSERT_EQ(::mkfifo((root_ + "pipe").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", root_ + "looks-plain.txt");
    spit(root_ + "plain.txt", "x");
    fs::create_directories(root_ + "folder");
    EXPECT_EQ(file_is_device(root_ + "pipe"), 1);
    EXPECT_EQ(file_is_device(root_ + "looks-plain.txt"), 1);
    EXPECT_EQ(file_is_device(root_ + "plain.txt"), 0);
    EXPECT_EQ(file_is_device("plain.txt"), 0);
    EXPECT_EQ(file_is_device(root_ + "folder"), 0);
    // A pipe is never opened, so nothing here can block.
    EXPECT_EQ(file_exists(root_ + "pipe", 3), 0);
    EXPECT_EQ(file_copy(root_ + "pipe", root_ + "copy", 1), 1);
    std::string text;
    EXPECT_EQ(file_read_all(root_ + "pipe", text, 100), -1);
}

TEST_F(SettingsFiles, AvoidDeviceName)
{
    struct Case {
        const char* input;
        const char* expected;
        int result;
    };
    const Case cases[] = {
        {"aux.txt", "au_.txt", 1},
        {"nul", "nul_", 1},
        {"notes.txt", "notes.txt", 1},
        {"sub/con.tar.gz", "sub/co_.tar.gz", 1},
        {"sub\\PRN", "sub/PRN_", 1},
        {"/dev/null", "/dev/null_", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        std::string name = c.input;
        EXPECT_EQ(file_avoid_device_name(name), c.result);
        EXPECT_EQ(name, c.expected);
    }
}

TEST_F(SettingsFiles, ExistsByKind)
{
    spit(root_ + "file.txt", "x");
    spit(root_ + "con.txt", "a real file under a reserved name");
    fs::create_directories(root_ + "folder");
    struct Case {
        std::string path;
        int kinds;
        int expected;
    };
    const Case cases[] = {
        {root_ + "file.txt", 1, 1},  {root_ + "file.txt", 2, 0},  {root_ + "file.txt", 3, 1},
        {"file.txt", 1, 1},          {root_ + "folder", 1, 0},    {root_ + "folder", 2, 1},
        {root_ + "folder/", 2, 1},   {root_ + "file.txt/", 1, 0}, {root_ + "con.txt", 1, 0},
        {root_ + "*.txt", 1, 0},     {root_ + "file.tx?", 1, 0},  {root_ + "missing", 3, 0},
        {"", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " kinds " + std::to_string(c.kinds));
        EXPECT_EQ(file_exists(c.path, c.kinds), c.expected);
    }
}

TEST_F(SettingsFiles, MakeDir)
{
    EXPECT_EQ(file_make_dir(root_ + "new/"), 1);
    EXPECT_TRUE(fs::is_directory(root_ + "new"));
    EXPECT_EQ(file_make_dir(root_ + "new"), 1);  // an existing folder counts as made
    EXPECT_EQ(file_make_dir("rel\\"), 1);
    EXPECT_TRUE(fs::is_directory(root_ + "rel"));
    EXPECT_EQ(file_make_dir(root_ + "missing/parent/child"), 0);
    spit(root_ + "plain", "x");
    EXPECT_EQ(file_make_dir(root_ + "plain"), 0);
}

// ---------------------------------------------------------------------------
// Copy, move, backup, delete

TEST_F(SettingsFiles, CopyResults)
{
    std::string big;
    for (int i = 0; i < 30000; ++i)
        big += static_cast<char>((i * 7919) & 0xff);
    spit(root_ + "src.bin", big);
    spit(root_ + "existing.bin", "old");
    fs::create_directories(root_ + "folder");

    EXPECT_EQ(file_copy(root_ + "missing", root_ + "t1", 1), 1);
    EXPECT_EQ(file_copy(root_ + "folder", root_ + "t1", 1), 1);
    EXPECT_EQ(file_copy(root_ + "src.bin", root_ + "existing.bin", 1), 2);
    EXPECT_EQ(slurp(root_ + "existing.bin"), "old");
    EXPECT_EQ(file_copy(root_ + "src.bin", root_ + "t1", 0), 3);
    EXPECT_FALSE(fs::exists(root_ + "t1"));
    EXPECT_EQ(file_copy(root_ + "src.bin", root_ + "folder", 2), 3);
    EXPECT_EQ(file_copy(root_ + "src.bin", root_ + "no/such/folder/t", 1), 3);
    EXPECT_EQ(file_copy(root_ + "src.bin", root_ + "src.bin", 2), 0);  // same file
    EXPECT_EQ(slurp(root_ + "src.bin"), big);

    EXPECT_EQ(file_copy(root_ + "src.bin", root_ + "new.bin", 1), 0);
    EXPECT_EQ(slurp(root_ + "new.bin"), big);
    EXPECT_EQ(file_copy(root_ + "src.bin", "existing.bin", 2), 0);
    EXPECT_EQ(slurp(root_ + "existing.bin"), big);
    spit(root_ + "log.txt", "one\n");
    spit(root_ + "more.txt", "two\n");
    EXPECT_EQ(file_copy(root_ + "more.txt", root_ + "log.txt", 4), 0);
    EXPECT_EQ(slurp(root_ + "log.txt"), "one\ntwo\n");
    EXPECT_TRUE(temp_files_in(root_).empty());
}

TEST_F(SettingsFiles, CopyMakesAReadOnlyTargetWritable)
{
    spit(root_ + "src", "new");
    spit(root_ + "ro", "old");
    ::chmod((root_ + "ro").c_str(), 0444);
    EXPECT_EQ(file_copy(root_ + "src", root_ + "ro", 2), 0);
    EXPECT_EQ(slurp(root_ + "ro"), "new");
    EXPECT_TRUE(mode_of(root_ + "ro") & S_IWUSR);
}

TEST_F(SettingsFiles, MoveFlags)
{
    struct Case {
        const char* name;
        int flags;
        bool target_exists;
        int result;
        const char* target_after;
        bool source_after;
    };
    const Case cases[] = {
        {"refuse existing", 1, true, 1, "target", true},
        {"move to new", 1, false, 0, "source", false},
        {"replace existing", 2, true, 0, "source", false},
        {"append", 4, true, 0, "targetsource", false},
        {"append to new", 4, false, 0, "source", false},
        {"no mode", 0, true, 1, "target", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string src = root_ + "s.txt", dst = root_ + "d.txt";
        fs::remove(dst);
        spit(src, "source");
        if (c.target_exists)
            spit(dst, "target");
        EXPECT_EQ(file_move(src, dst, c.flags), c.result);
        EXPECT_EQ(slurp(dst), c.target_after);
        EXPECT_EQ(fs::exists(src), c.source_after);
        EXPECT_TRUE(temp_files_in(root_).empty());
    }
}

TEST_F(SettingsFiles, MoveReplacesInOneStep)
{
    // The replaced target is the source file itself (same inode): there is no
    // moment without a target.
    spit(root_ + "s", "new");
    spit(root_ + "d", "old");
    ino_t source_inode = inode_of(root_ + "s");
    EXPECT_EQ(file_move(root_ + "s", root_ + "d", 2), 0);
    EXPECT_EQ(inode_of(root_ + "d"), source_inode);
    // Same path: a rename onto itself, the file stays.
    EXPECT_EQ(file_move(root_ + "d", root_ + "./d", 1), 0);
    EXPECT_EQ(slurp(root_ + "d"), "new");
    EXPECT_EQ(file_move(root_ + "gone", root_ + "gone", 1), 1);
}

TEST_F(SettingsFiles, MoveAcrossFileSystems)
{
    struct stat a, b;
    if (::stat("/dev/shm", &b) != 0 || ::access("/dev/shm", W_OK) != 0 || ::stat(root_.c_str(), &a) != 0 ||
        a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system to move from";
    std::string src = "/dev/shm/kest-move-test-" + std::to_string(::getpid());
    spit(src, "travelling");
    EXPECT_EQ(file_move(src, root_ + "arrived", 1), 0);
    EXPECT_EQ(slurp(root_ + "arrived"), "travelling");
    EXPECT_FALSE(fs::exists(src));
    ::unlink(src.c_str());
}

TEST_F(SettingsFiles, Backup)
{
    struct Case {
        const char* name;
        const char* backup;
    };
    const Case cases[] = {
        {"servers.ini", "servers.bak"},
        {"noext", "noext.bak"},
        {"two.dots.kst", "two.dots.bak"},
        {".hidden", ".hidden.bak"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        spit(root_ + c.name, std::string("content of ") + c.name);
        spit(root_ + c.backup, "older copy");
        EXPECT_EQ(file_backup(root_ + c.name), 1);
        EXPECT_EQ(slurp(root_ + c.backup), std::string("content of ") + c.name);
    }
    EXPECT_EQ(file_backup(root_ + "missing.ini"), 0);
}

TEST_F(SettingsFiles, TempNamesAndDeleteViaTemp)
{
    std::string a = file_temp_name();
    std::string b = file_temp_name();
    std::smatch ma, mb;
    std::regex form("kest([0-9]+)\\.tm_");
    ASSERT_TRUE(std::regex_match(a, ma, form));
    ASSERT_TRUE(std::regex_match(b, mb, form));
    EXPECT_EQ(std::stoul(mb[1]), std::stoul(ma[1]) + 1);

    spit(root_ + "victim", "x");
    EXPECT_EQ(file_delete_via_temp(root_ + "victim"), 0);
    EXPECT_FALSE(fs::exists(root_ + "victim"));
    EXPECT_EQ(file_delete_via_temp(root_ + "victim"), 1);
    fs::create_directories(root_ + "folder");
    EXPECT_EQ(file_delete_via_temp(root_ + "folder"), 1);
    EXPECT_TRUE(fs::is_directory(root_ + "folder"));  // renamed back
    EXPECT_TRUE(temp_files_in(root_).empty());
    spit(root_ + "mode0", "x");
    EXPECT_EQ(file_delete(root_ + "mode0", 0), 1);
    EXPECT_FALSE(fs::exists(root_ + "mode0"));
    EXPECT_EQ(file_delete(root_ + "mode0", 7), 0);
}

TEST_F(SettingsFiles, DeleteToTrash)
{
    spit(root_ + "old notes.txt", "keep me somewhere");
    EXPECT_EQ(file_delete(root_ + "old notes.txt", 1), 1);
    EXPECT_FALSE(fs::exists(root_ + "old notes.txt"));
    std::string trash = root_ + "data/Trash/";
    EXPECT_EQ(slurp(trash + "files/old notes.txt"), "keep me somewhere");
    std::string info = slurp(trash + "info/old notes.txt.trashinfo");
    EXPECT_NE(info.find("[Trash Info]\nPath="), std::string::npos);
    EXPECT_NE(info.find("old%20notes.txt\nDeletionDate="), std::string::npos);

    // A second file of the same name does not replace the first.
    spit(root_ + "old notes.txt", "second");
    EXPECT_EQ(file_delete(root_ + "old notes.txt", 2), 1);
    EXPECT_EQ(slurp(trash + "files/old notes.txt.2"), "second");

    spit(root_ + "kept.txt", "x");
    file_trash_confirm = [](const std::string&) { return 0; };
    EXPECT_EQ(file_delete(root_ + "kept.txt", 2), 0);
    EXPECT_TRUE(fs::exists(root_ + "kept.txt"));
}

// ---------------------------------------------------------------------------
// Listing, sizes

TEST_F(SettingsFiles, FindRecursive)
{
    fs::create_directories(root_ + "tree/sub/deeper");
    fs::create_directories(root_ + "tree/.git");
    spit(root_ + "tree/b.txt", "b");
    spit(root_ + "tree/A.TXT", "a");
    spit(root_ + "tree/c.log", "c");
    spit(root_ + "tree/sub/d.txt", "d");
    spit(root_ + "tree/sub/deeper/e.txt", "e");
    spit(root_ + "tree/.git/f.txt", "f");

    struct Case {
        const char* pattern;
        int full;
        int depth;
        std::vector<std::string> files;
        std::vector<std::string> folders;
    };
    const std::string t = root_ + "tree/";
    const Case cases[] = {
        {"*.txt", 0, 1, {"A.TXT", "b.txt"}, {t + "sub"}},
        {"*.txt", 0, 2, {"A.TXT", "b.txt", t + "sub/d.txt"}, {t + "sub", t + "sub/deeper"}},
        {"*.txt", 1, 3, {t + "A.TXT", t + "b.txt", t + "sub/d.txt", t + "sub/deeper/e.txt"},
         {t + "sub", t + "sub/deeper"}},
        {"*.*", 0, 1, {"A.TXT", "b.txt", "c.log"}, {t + "sub"}},
        {"c.*", 0, 1, {"c.log"}, {t + "sub"}},
        {"*.txt", 0, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " depth " + std::to_string(c.depth));
        StringNode* files = nullptr;
        StringNode* folders = nullptr;
        file_find_recursive(root_ + "tree", c.pattern, files, folders, c.full, c.depth);
        EXPECT_EQ(names_of(files), c.files);
        EXPECT_EQ(names_of(folders), c.folders);
        strlist_free(&files);
        strlist_free(&folders);
    }

    // The last-write time rides in wrapWidth (high half) and charWidth (low half)
    // as 100-nanosecond steps since 1601.
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (t + "c.log").c_str(), times, 0), 0);
    StringNode* files = nullptr;
    StringNode* folders = nullptr;
    file_find_recursive(t, "c.log", files, folders, 0, 1);
    ASSERT_NE(files, nullptr);
    std::uint64_t stamp = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(files->wrapWidth)) << 32) |
                          static_cast<std::uint32_t>(files->charWidth);
    EXPECT_EQ(stamp, (1700000000ULL + 11644473600ULL) * 10000000ULL);
    strlist_free(&files);
    strlist_free(&folders);
}

TEST_F(SettingsFiles, SizeAndDiskSpace)
{
    spit(root_ + "sized", std::string(12345, 'z'));
    std::uint64_t size = 1;
    EXPECT_EQ(file_size64(root_ + "sized", size), 1);
    EXPECT_EQ(size, 12345u);
    EXPECT_EQ(file_size64(root_ + "missing", size), 0);
    EXPECT_EQ(size, 0u);
    std::uint64_t total = file_disk_space(root_, 1);
    std::uint64_t free_bytes = file_disk_space(root_, 0);
    EXPECT_GT(total, 0u);
    EXPECT_LE(free_bytes, total);
    EXPECT_EQ(file_disk_space(root_, 2), 0u);
    EXPECT_EQ(file_disk_space(root_ + "missing/folder", 1), 0u);
}

// ---------------------------------------------------------------------------
// Safe save

TEST_F(SettingsFiles, SafeSaveModesAndBackup)
{
    EXPECT_EQ(file_safe_save("fresh.ini", "[a]\nk=v\n", 0), 1);
    EXPECT_EQ(slurp(root_ + "fresh.ini"), "[a]\nk=v\n");
    EXPECT_EQ(mode_of(root_ + "fresh.ini"), 0600u);

    spit(root_ + "shared.txt", "old");
    ::chmod((root_ + "shared.txt").c_str(), 0644);
    EXPECT_EQ(file_safe_save(root_ + "shared.txt", "new", 1), 1);
    EXPECT_EQ(slurp(root_ + "shared.txt"), "new");
    EXPECT_EQ(mode_of(root_ + "shared.txt"), 0644u);
    EXPECT_EQ(slurp(root_ + "shared.bak"), "old");

    // A link stays a link; the file it leads to gets the new content.
    fs::create_directories(root_ + "real");
    spit(root_ + "real/target.ini", "before");
    fs::create_symlink(root_ + "real/target.ini", root_ + "link.ini");
    EXPECT_EQ(file_safe_save(root_ + "link.ini", "after", 0), 1);
    EXPECT_TRUE(fs::is_symlink(root_ + "link.ini"));
    EXPECT_EQ(slurp(root_ + "real/target.ini"), "after");

    EXPECT_EQ(file_safe_save(root_ + "no/such/folder/x.ini", "x", 0), 0);
    EXPECT_EQ(file_safe_save(root_ + "con.ini", "x", 0), 0);
    EXPECT_EQ(file_safe_save(root_ + "folder/", "x", 0), 0);
    EXPECT_TRUE(temp_files_in(root_).empty());
    EXPECT_TRUE(temp_files_in(root_ + "real").empty());
}

TEST_F(SettingsFiles, SafeSaveSkipsLeftoverTemporaryNames)
{
    // Temporary files left by an earlier crash are never overwritten or used:
    // the names the counter hands out next already exist.
    std::smatch m;
    std::string probe = file_temp_name();
    ASSERT_TRUE(std::regex_match(probe, m, std::regex("kest([0-9]+)\\.tm_")));
    unsigned long next = std::stoul(m[1]) + 1;
    std::vector<std::string> leftovers;
    for (unsigned long i = next; i < next + 5; ++i) {
        std::string name = root_ + "kest" + std::to_string(i) + ".tm_";
        spit(name, "leftover");
        leftovers.push_back(name);
    }
    EXPECT_EQ(file_safe_save(root_ + "x.ini", "content", 0), 1);
    EXPECT_EQ(slurp(root_ + "x.ini"), "content");
    for (const std::string& name : leftovers)
        EXPECT_EQ(slurp(name), "leftover");
}

TEST_F(SettingsFiles, CrashBeforeRenameLeavesTheOldFileWhole)
{
    const std::string target = root_ + "kest.ini";
    const std::string old_content = "[options]\nn0=1,2,3\n";
    spit(target, old_content);

    // A real crash: the child dies between writing the temporary file and the
    // rename.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        file_replace_hook = [](const std::string&, const std::string&) -> int { ::_exit(0); };
        file_safe_save(target, "[options]\nn0=9,9,9\n", 0);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save did not reach the rename";
    EXPECT_EQ(slurp(target), old_content);
    std::vector<std::string> temps = temp_files_in(root_);
    ASSERT_EQ(temps.size(), 1u);
    EXPECT_EQ(slurp(temps[0]), "[options]\nn0=9,9,9\n");

    // The same stop inside this process reports failure and changes nothing.
    file_replace_hook = [](const std::string&, const std::string&) { return 0; };
    EXPECT_EQ(file_safe_save(target, "other", 0), 0);
    EXPECT_EQ(slurp(target), old_content);
    file_replace_hook = nullptr;
    EXPECT_EQ(file_safe_save(target, "finally", 0), 1);
    EXPECT_EQ(slurp(target), "finally");
}

TEST_F(SettingsFiles, ReadAll)
{
    spit(root_ + "bin", std::string("a\0b", 3));
    std::string out;
    EXPECT_EQ(file_read_all(root_ + "bin", out, 100), 1);
    EXPECT_EQ(out, std::string("a\0b", 3));
    EXPECT_EQ(file_read_all(root_ + "missing", out, 100), 0);
    EXPECT_EQ(file_read_all(root_ + "bin", out, 2), -1);  // over the limit
    EXPECT_TRUE(out.empty());
    fs::create_directories(root_ + "dir");
    EXPECT_EQ(file_read_all(root_ + "dir", out, 100), -1);
}


}  // namespace

// The start-up sweep: only old, unlocked regular files of our own temporary
// naming go; the one a running save holds, a young one, other names, folders
// and links stay. A second sweep finds nothing more.
TEST_F(SettingsFiles, StaleTemporariesAreSweptAndNothingElse)
{
    const std::string dir = root_ + "sweep/";
    fs::create_directories(dir);
    spit(root_ + "elsewhere.txt", "kept");
    struct Case {
        const char* name;
        int age;          // seconds since its last write
        bool locked;      // a save holds it
        char kind;        // 'f' file, 'd' folder, 'l' link to elsewhere.txt
        bool removed;
    } cases[] = {
        {"kest3.tm_", 3600, false, 'f', true},
        {"kest0.tm_", 31, false, 'f', true},
        {"kest4.tm_", 0, false, 'f', false},
        {"kest5.tm_", 3600, true, 'f', false},
        {"kest6.tm_", 3600, false, 'd', false},
        {"kest7.tm_", 3600, false, 'l', false},
        {"kest.tm_", 3600, false, 'f', false},
        {"kestx1.tm_", 3600, false, 'f', false},
        {"kest1.tm_.ini", 3600, false, 'f', false},
        {"other1.tm_", 3600, false, 'f', false},
    };
    std::vector<int> locks;
    for (const Case& c : cases) {
        std::string path = dir + c.name;
        if (c.kind == 'd')
            fs::create_directories(path);
        else if (c.kind == 'l')
            fs::create_symlink(root_ + "elsewhere.txt", path);
        else
            spit(path, "partial");
        if (c.locked) {
            int fd = ::open(path.c_str(), O_RDONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::flock(fd, LOCK_EX), 0);
            locks.push_back(fd);
        }
        if (c.kind != 'l') {
            struct timeval tv[2] = {};
            tv[0].tv_sec = tv[1].tv_sec = std::time(nullptr) - c.age;
            ASSERT_EQ(::utimes(path.c_str(), tv), 0);
        }
    }
    int expected = 0;
    for (const Case& c : cases)
        expected += c.removed ? 1 : 0;
    EXPECT_EQ(file_remove_stale_temps(dir, 30), expected);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fs::exists(fs::symlink_status(dir + c.name)), !c.removed);
    }
    EXPECT_EQ(slurp(root_ + "elsewhere.txt"), "kept");
    EXPECT_EQ(file_remove_stale_temps(dir, 30), 0);
    // The save lets go: its file is swept like any other.
    for (int fd : locks)
        ::close(fd);
    EXPECT_EQ(file_remove_stale_temps(dir, 30), static_cast<int>(locks.size()));
    EXPECT_FALSE(fs::exists(dir + "kest5.tm_"));
}

// A save killed after writing leaves its temporary file, unlocked once the
// process is gone; the sweep takes it and the saved file is untouched.
TEST_F(SettingsFiles, SweepTakesTheTemporaryOfAKilledSave)
{
    const std::string target = root_ + "killed.ini";
    spit(target, "old");
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        file_replace_hook = [](const std::string&, const std::string&) -> int { ::_exit(0); };
        file_safe_save(target, "new", 0);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    std::vector<std::string> temps = temp_files_in(root_);
    ASSERT_EQ(temps.size(), 1u);
    // Young, it may be a save on its way: it stays until it is old enough.
    EXPECT_EQ(file_remove_stale_temps(root_, 30), 0);
    EXPECT_EQ(file_remove_stale_temps(root_, 0), 1);
    EXPECT_TRUE(temp_files_in(root_).empty());
    EXPECT_EQ(slurp(target), "old");
}
