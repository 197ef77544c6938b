// The trusted list: mask entries and level entries, in list order, each
// seeing the whole address.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ini.h"
#include "core/string_list.h"
#include "dcc/dcc_dialogs_trusted.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "support/hook_guard.h"
#include "support/script_engine.h"
#include "support/test_support.h"

namespace {

class TrustedTest : public ::testing::Test {
    HookGuard hooks_;
protected:
    TempSettingsDir dir{"kest_trusted"};
    void SetUp() override
    {
        ASSERT_TRUE(dir.made());
        test_script_engine_install();
        remote_files_free_all();
        user_default_level = 1;
        strlist_free(&dcc_trusted_list);
    }
    void TearDown() override
    {
        strlist_free(&dcc_trusted_list);
        remote_files_free_all();
    }
    void users(const std::vector<std::string>& entries)
    {
        std::string text = "[users]\n";
        for (std::size_t i = 0; i < entries.size(); ++i)
            text += "n" + std::to_string(i) + "=" + entries[i] + "\n";
        spit(dir.path() + "users.ini", text);
        ASSERT_NE(remote_file_load(dir.path() + "users.ini", kRemoteUsers, 9999, nullptr), nullptr);
    }
    void trusted(const std::vector<std::string>& entries)
    {
        strlist_free(&dcc_trusted_list);
        for (const std::string& e : entries)
            dcc_trusted_list = strlist_append(dcc_trusted_list, e.c_str(), 0);
    }
};

TEST_F(TrustedTest, MaskAndLevelEntries)
{
    users({"friend,5:pal!*@*", "=vip:*!*@trusted.example", "other:nobody!*@*"});
    struct Case {
        std::vector<std::string> list;
        std::string address;
        int trusted;
    } cases[] = {
        {{"*!*@*.example"}, "bob!u@host.example", 1},
        {{"*!*@*.example"}, "bob!u@host.other", 0},
        {{"BOB!*@*"}, "bob!u@h", 1},
        {{"friend"}, "pal!u@anywhere", 1},
        {{"=friend"}, "pal!u@anywhere", 1},
        {{"vip"}, "zed!u@trusted.example", 1},
        {{"=VIP"}, "zed!u@trusted.example", 1},
        {{"vip"}, "zed!u@elsewhere", 0},
        {{"nothing, friend"}, "pal!u@h", 1},
        {{"nothing other"}, "pal!u@h", 0},
        {{}, "pal!u@h", 0},
        {{"*"}, "", 0},
        // A level entry first, then a mask entry: the mask still sees the
        // whole address, not the nick alone.
        {{"nolevel", "*!*@host.example"}, "bob!u@host.example", 1},
        {{"nolevel", "bob"}, "bob!u@host.example", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address + " / " + (c.list.empty() ? std::string("(none)") : c.list[0]));
        trusted(c.list);
        EXPECT_EQ(trusted_match(c.address), c.trusted);
        EXPECT_EQ(trusted_match(c.address), c.trusted) << "asked twice";
    }
}

TEST_F(TrustedTest, SavedAndLoadedInOrder)
{
    trusted({"*!*@a.example", "friend", "=vip"});
    ASSERT_EQ(trusted_save(), 1);
    strlist_free(&dcc_trusted_list);
    trusted_load();
    std::vector<std::string> got;
    for (StringNode* n = dcc_trusted_list; n; n = n->next)
        got.push_back(n->text);
    EXPECT_EQ(got, (std::vector<std::string>{"*!*@a.example", "friend", "=vip"}));
    trusted({"one"});
    ASSERT_EQ(trusted_save(), 1);
    std::string n1;
    ini_read("trusted", "n1", "", n1, 256, main_ini_path);
    EXPECT_EQ(n1, "") << "stale keys deleted";
}

}  // namespace
