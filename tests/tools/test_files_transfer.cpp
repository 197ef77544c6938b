// The files and settings copier over real folders.
#include "tools/files_transfer.h"

#include "app/command_line.h"
#include "core/files.h"
#include "core/ini.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

std::string state_of(const std::string& state)
{
    std::string v;
    ini_read("update", "state", "", v, 256, state);
    return v;
}

struct TransferFolders {
    TempDir dir{"kest_transfer"};
    std::string store, data, state;
    TransferFolders()
    {
        store = dir.path + "store/";
        data = dir.path + "data/";
        state = dir.path + "update.ini";
        file_make_dir(store);
        file_make_dir(store + "logs");
        file_make_dir(store + "logs/old");
        spit(store + "kest.ini", "[kest]\nuser=me\n");
        spit(store + "logs/#chan.log", "a line\n");
        spit(store + "logs/old/x.log", "older\n");
        spit(store + ".hidden", "secret");
        spit(store + "kest.exe", "program");
        spit(store + "readme.txt", "read me");
    }
    void write_state(const std::string& save)
    {
        ini_write("update", "state", "started", state);
        ini_write("update", "store", store.c_str(), state);
        ini_write("update", "data", data.c_str(), state);
        ini_write("update", "save", save.c_str(), state);
    }
};

TEST(FilesTransfer, MovesTheUserFilesAndLeavesTheProgramFiles)
{
    TransferFolders f;
    ASSERT_TRUE(f.dir.made());
    f.write_state("0");
    EXPECT_EQ(files_transfer_copy(f.state), 1);
    EXPECT_EQ(state_of(f.state), "finished");
    EXPECT_EQ(slurp(f.data + "kest.ini"), "[kest]\nuser=me\n");
    EXPECT_EQ(slurp(f.data + "logs/#chan.log"), "a line\n");
    EXPECT_EQ(slurp(f.data + "logs/old/x.log"), "older\n");
    EXPECT_FALSE(file_exists(f.data + "kest.exe", 1));
    EXPECT_FALSE(file_exists(f.data + "readme.txt", 1));
    EXPECT_FALSE(file_exists(f.data + ".hidden", 1));
    EXPECT_TRUE(file_exists(f.store + "kest.exe", 1));
    EXPECT_FALSE(file_exists(f.store + "logs", 2)) << "emptied folders are removed";
    EXPECT_FALSE(file_exists(f.store + "kest.ini", 1));
}

TEST(FilesTransfer, BackupKeepsWhatWouldBeReplaced)
{
    TransferFolders f;
    ASSERT_TRUE(f.dir.made());
    file_make_dir(f.data);
    file_make_dir(f.data + "logs");
    spit(f.data + "kest.ini", "[kest]\nuser=before\n");
    spit(f.data + "logs/#chan.log", "earlier line\n");
    f.write_state("1");
    EXPECT_EQ(files_transfer_copy(f.state), 1);
    EXPECT_EQ(slurp(f.data + "kest.ini"), "[kest]\nuser=me\n");
    EXPECT_EQ(slurp(f.data + "backup/vista/kest.ini"), "[kest]\nuser=before\n");
    EXPECT_EQ(slurp(f.data + "backup/vista/logs/#chan.log"), "earlier line\n");
    // Without save nothing is kept.
    TransferFolders g;
    file_make_dir(g.data);
    spit(g.data + "kest.ini", "old");
    g.write_state("0");
    EXPECT_EQ(files_transfer_copy(g.state), 1);
    EXPECT_FALSE(file_exists(g.data + "backup", 2));
}

TEST(FilesTransfer, MissingFieldsOrStoreFail)
{
    struct Case {
        const char* name;
        bool store, data, store_exists;
    } cases[] = {
        {"no store key", false, true, true},
        {"no data key", true, false, true},
        {"store missing", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir("kest_transfer_bad");
        const std::string state = dir.path + "update.ini";
        const std::string store = dir.path + "store/";
        if (c.store_exists) {
            file_make_dir(store);
            spit(store + "kest.ini", "x");
        }
        ini_write("update", "state", "started", state);
        if (c.store)
            ini_write("update", "store", store.c_str(), state);
        if (c.data)
            ini_write("update", "data", (dir.path + "data/").c_str(), state);
        EXPECT_EQ(files_transfer_copy(state), 0);
        EXPECT_EQ(state_of(state), "failed");
        EXPECT_FALSE(file_exists(dir.path + "data/kest.ini", 1));
    }
}

TEST(FilesTransfer, StartUpCheckRunsTheCopierOnlyForItsArgument)
{
    TransferFolders f;
    f.write_state("0");
    const std::vector<std::string> saved = cmdline_args;
    struct Case {
        std::vector<std::string> args;
        int go_on;
    } cases[] = {
        {{}, 1},
        {{"-noconnect"}, 1},
        {{"update"}, 1},
        {{"update" + f.state}, 0},
    };
    for (const Case& c : cases) {
        cmdline_args = c.args;
        EXPECT_EQ(files_transfer_check("/prog/kest"), c.go_on);
    }
    EXPECT_EQ(state_of(f.state), "finished");
    EXPECT_TRUE(file_exists(f.data + "kest.ini", 1));
    // Run again with a separate argument: only the program's own files are
    // left in the store; nothing moves and what was moved stays.
    cmdline_args = {"update", f.state};
    EXPECT_EQ(files_transfer_check("/prog/kest"), 0);
    EXPECT_EQ(state_of(f.state), "finished");
    EXPECT_EQ(slurp(f.data + "kest.ini"), "[kest]\nuser=me\n");
    EXPECT_TRUE(file_exists(f.store + "kest.exe", 1));
    cmdline_args = saved;
}

}  // namespace
