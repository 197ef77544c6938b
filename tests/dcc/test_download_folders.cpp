// Download folders: loading and repairing the file-type rules, saving them,
// and the local names of received files (never outside the receive folder).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/file_type_rules.h"
#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "dcc/dcc_dialogs_trusted.h"
#include "dcc/download_folders.h"
#include "dcc/file_types.h"
#include "script/events/remote_files.h"
#include "support/test_support.h"

namespace {

std::string key(const char* section, const char* name)
{
    std::string out;
    ini_read(section, name, "", out, 4200, main_ini_path);
    return out;
}

class DownloadFoldersTest : public ::testing::Test {
protected:
    TempSettingsDir dir{"kest_dccfolders"};
    void SetUp() override { ASSERT_TRUE(dir.made()); }
    void TearDown() override
    {
        main_settings.waves_dir.clear();
        main_settings.midis_dir.clear();
        main_settings.mp3s_dir.clear();
        main_settings.wmas_dir.clear();
        main_settings.oggs_dir.clear();
    }
    std::string folder(const std::string& name)
    {
        std::filesystem::create_directories(dir.path() + name);
        return dir.path() + name + "/";
    }
};

TEST_F(DownloadFoldersTest, FreshSettingsGetADownloadFolderAsTheDefaultRule)
{
    EXPECT_EQ(dcc_ext_rules_load(), 1);
    EXPECT_EQ(key("extensions", "n0"), "defaultEXTDIR:downloads/");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() + "downloads"));
    std::string out;
    dcc_folder_for_file("a.txt", out, 0, nullptr);
    EXPECT_EQ(out, dir.path() + "downloads/");
    // A second load finds everything in place and changes nothing.
    const std::string before = slurp(main_ini_path);
    EXPECT_EQ(dcc_ext_rules_load(), 1);
    EXPECT_EQ(slurp(main_ini_path), before);
}

TEST_F(DownloadFoldersTest, DefaultFolderRepairTable)
{
    struct Case {
        const char* name;
        std::string n0;                 // stored default rule
        bool make_download;             // a "download" folder exists beforehand
        std::string expect_n0;
    } cases[] = {
        {"settings folder itself", "defaultEXTDIR:" + dir.path(), false, "defaultEXTDIR:downloads/"},
        {"settings folder, download exists", "defaultEXTDIR:", true, "defaultEXTDIR:download/"},
        {"deleted folder keeps program", "defaultEXTDIR:gone/EXTAPP:/bin/true", false,
         "defaultEXTDIR:downloads/EXTAPP:/bin/true"},
        {"existing folder kept", "defaultEXTDIR:" + folder("keep"), false, "defaultEXTDIR:keep/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.path() + "download");
        std::filesystem::remove_all(dir.path() + "downloads");
        if (c.make_download)
            folder("download");
        ini_write("extensions", nullptr, nullptr, main_ini_path);
        ini_write("extensions", "n0", c.n0.c_str(), main_ini_path);
        dcc_ext_rules_load();
        // What load wrote back, or (for a kept folder) what was there.
        std::string n0 = key("extensions", "n0");
        if (n0.rfind("defaultEXTDIR:/", 0) == 0)
            n0 = "defaultEXTDIR:" + file_relative_to_settings_dir(dcc_ext_rule_part(n0, 1));
        EXPECT_EQ(n0, c.expect_n0);
    }
}

TEST_F(DownloadFoldersTest, OldGetdirBecomesTheDefaultRuleAndIsDeleted)
{
    const std::string old = folder("old");
    ini_write("dirs", "getdir", old.c_str(), main_ini_path);
    dcc_ext_rules_load();
    EXPECT_EQ(key("dirs", "getdir"), "");
    std::string out;
    dcc_folder_for_file("x.bin", out, 0, nullptr);
    EXPECT_EQ(out, old);
}

TEST_F(DownloadFoldersTest, RulesWithoutAFolderAreDroppedAndALaterDefaultIsDropped)
{
    const std::string pics = folder("pics");
    ini_write("extensions", "n0", ("*.jpg,*.gifEXTDIR:" + pics).c_str(), main_ini_path);
    ini_write("extensions", "n1", "junk without a folder", main_ini_path);
    ini_write("extensions", "n2", ("defaultEXTDIR:" + folder("dl")).c_str(), main_ini_path);
    ini_write("extensions", "n3", ("DEFAULTEXTDIR:" + folder("second")).c_str(), main_ini_path);
    ini_write("extensions", "n4", ("*.txt extra wordsEXTDIR:" + folder("texts")).c_str(), main_ini_path);
    EXPECT_EQ(dcc_ext_rules_load(), 3);
    // Nothing was missing, so nothing was rewritten: repair what we read and
    // save it as the options page would.
    std::vector<std::string> rules = file_type_rules_read();
    ASSERT_EQ(rules.size(), 4u);
    std::vector<std::string> kept = {rules[1], rules[0], rules[3]};
    kept.insert(kept.begin() + 1, "no folder here");
    ASSERT_EQ(dcc_ext_rules_save(kept), 1);
    EXPECT_EQ(key("extensions", "n0"), "defaultEXTDIR:dl/");
    EXPECT_EQ(key("extensions", "n1"), "*.jpg,*.gifEXTDIR:pics/");
    EXPECT_EQ(key("extensions", "n2"), "*.txtEXTDIR:texts/");
    EXPECT_EQ(key("extensions", "n3"), "");
    EXPECT_EQ(key("extensions", "n4"), "");
    std::string out;
    for (const char* name : {"a.JPG", "b.gif"}) {
        dcc_folder_for_file(name, out, 0, nullptr);
        EXPECT_EQ(out, pics) << name;
    }
}

TEST_F(DownloadFoldersTest, SaveKeepsProgramsCommandsAndOptionsInOrder)
{
    const std::vector<std::string> rules = {
        "defaultEXTDIR:" + folder("dl"),
        "*.mp3EXTDIR:" + folder("music") + "EXTAPP:/usr/bin/player EXTOPT:1",
        "*.logEXTDIR:" + folder("logs") + "EXTCOM:echo done",
    };
    ASSERT_EQ(dcc_ext_rules_save(rules), 1);
    EXPECT_EQ(key("extensions", "n1"), "*.mp3EXTDIR:music/EXTAPP:/usr/bin/player EXTOPT:1");
    EXPECT_EQ(key("extensions", "n2"), "*.logEXTDIR:logs/EXTCOM:echo done");
    std::string out;
    int options = -1;
    dcc_folder_for_file("song.mp3", out, 1, &options);
    EXPECT_EQ(out, "/usr/bin/player ");
    EXPECT_EQ(options, 1);
    dcc_folder_for_file("a.log", out, 1, &options);
    EXPECT_EQ(out, "/echo done");
    EXPECT_EQ(options, 0);
}

TEST_F(DownloadFoldersTest, FreshListGetsSoundRules)
{
    struct Case {
        const char* name;
        bool same;
        std::vector<std::string> expect;
    } cases[] = {
        {"one folder for all", true, {"*.wav,*.mid,*.mp3,*.wma,*.oggEXTDIR:sounds/"}},
        {"one per type", false,
         {"*.wavEXTDIR:wav/", "*.midEXTDIR:mid/", "*.mp3EXTDIR:mp3/", "*.wmaEXTDIR:wma/", "*.oggEXTDIR:ogg/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ini_write("extensions", nullptr, nullptr, main_ini_path);
        main_settings.waves_dir = folder(c.same ? "sounds" : "wav");
        main_settings.midis_dir = folder(c.same ? "sounds" : "mid");
        main_settings.mp3s_dir = folder(c.same ? "sounds" : "mp3");
        main_settings.wmas_dir = folder(c.same ? "sounds" : "wma");
        main_settings.oggs_dir = folder(c.same ? "sounds" : "ogg");
        EXPECT_EQ(dcc_ext_rules_load(), static_cast<int>(1 + c.expect.size()));
        for (std::size_t i = 0; i < c.expect.size(); ++i)
            EXPECT_EQ(key("extensions", ("n" + std::to_string(i + 1)).c_str()), c.expect[i]);
    }
    // An existing list gets none.
    main_settings.waves_dir = folder("other");
    const std::string before = slurp(main_ini_path);
    dcc_ext_rules_load();
    EXPECT_EQ(slurp(main_ini_path), before);
}

// ---- Local names of received files ----

TEST_F(DownloadFoldersTest, OfferedNamesAreCleanedOrRefused)
{
    struct Case {
        std::string offered;
        int ok;
        std::string name;
    } cases[] = {
        {"report.pdf", 1, "report.pdf"},
        {"a", 1, "a"},
        {"../../etc/passwd", 1, "passwd"},
        {"..\\..\\boot.ini", 1, "boot.ini"},
        {"/abs/path/file.txt", 1, "file.txt"},
        {".bashrc", 1, "_bashrc"},
        {"  spaced.txt  ", 1, "spaced.txt"},
        {"tab\there\x01.txt", 1, "tab_here_.txt"},
        {"del\x7f.txt", 1, "del_.txt"},
        {"what?<>|.txt", 1, "what____.txt"},
        {"dir/", 0, ""},
        {"..", 0, ""},
        {".", 0, ""},
        {"foo/..", 0, ""},
        {"", 0, ""},
        {"   ", 0, ""},
        {"nul", 0, ""},
        {std::string(255, 'x'), 1, std::string(255, 'x')},
        {std::string(256, 'x'), 0, ""},
        {std::string(5000, 'y'), 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offered.substr(0, 40));
        std::string out = "stale";
        EXPECT_EQ(dcc_clean_file_name(c.offered, out), c.ok);
        EXPECT_EQ(out, c.name);
    }
}

TEST_F(DownloadFoldersTest, ReceivePathStaysDirectlyInsideTheFolder)
{
    const std::string dl = folder("dl");
    const std::string outside = folder("outside");
    // A link in the folder named like the offered file points out of it.
    ASSERT_EQ(::symlink((outside + "target").c_str(), (dl + "trap.txt").c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (dl + "sub").c_str()), 0);
    struct Case {
        const char* offered;
        int ok;
        const char* path;
    } cases[] = {
        {"file.txt", 1, "file.txt"},
        {"../file.txt", 1, "file.txt"},
        {"trap.txt", 0, ""},
        {"sub/x", 1, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offered);
        std::string out;
        EXPECT_EQ(dcc_receive_path(dl, c.offered, out), c.ok);
        EXPECT_EQ(out, c.ok ? dl + c.path : std::string());
        if (c.ok) {
            EXPECT_TRUE(file_path_is_inside(out, dl));
        }
    }
    std::string out;
    EXPECT_EQ(dcc_receive_path("", "a.txt", out), 0);
    EXPECT_EQ(dcc_receive_path(dl.substr(0, dl.size() - 1), "a.txt", out), 1) << "a folder without a slash";
    EXPECT_EQ(out, dl + "a.txt");
}

TEST_F(DownloadFoldersTest, NickFolders)
{
    struct Case {
        std::string nick;
        std::string sub;  // empty: the plain folder
    } cases[] = {
        {"Alice", "Alice/"},
        {"a.b", "a_b/"},
        {"x[]^_`{}()-y", "x[]^_`{}()-y/"},
        {"two words", "two/"},
        {"../up", "___up/"},
        {"", ""},
        {" lead", ""},
        {std::string(255, 'n'), std::string(255, 'n') + "/"},
        {std::string(256, 'n'), ""},
    };
    const std::string base = folder("base");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nick.substr(0, 20));
        EXPECT_EQ(dcc_nick_folder(base, c.nick), base + c.sub);
    }
}

// ---- Dangerous types ----

TEST_F(DownloadFoldersTest, DangerousTypesFromTheFixedListAndTheFilter)
{
    StringNode* saved = main_settings.dcc_ignore_types;
    main_settings.dcc_ignore_types = nullptr;
    main_settings.dcc_ignore_types = strlist_append(main_settings.dcc_ignore_types, "*.sh", 0);
    struct Case {
        const char* name;
        int dangerous;
    } cases[] = {
        {"setup.exe", 1}, {"SETUP.EXE", 1}, {"page.html", 1}, {"page.htm", 1}, {"x.kst", 1},
        {"run.sh", 1},    {"photo.jpg", 0}, {"exe", 0},       {"a.exe.txt", 0}, {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(dcc_file_is_dangerous(c.name), c.dangerous) << c.name;
    strlist_free(&main_settings.dcc_ignore_types);
    main_settings.dcc_ignore_types = saved;
    EXPECT_EQ(dcc_file_is_dangerous("run.sh"), 0) << "only while the filter lists it";
}

}  // namespace
