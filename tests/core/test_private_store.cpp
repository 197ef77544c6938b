// The private value store in section "user" of the main settings file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "core/files.h"
#include "core/ini.h"
#include "core/private_store.h"
#include "core/secret_cipher.h"
#include "support/hook_guard.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::string stored(const char* key)
{
    std::string out;
    ini_read("user", key, nullptr, out, 4200, main_ini_path);
    return out;
}

class SettingsPrivateStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
    }

    void TearDown() override
    {
        file_replace_hook = nullptr;
    }

    HookGuard hooks_;  // the safe save's replace step and the trash question
    TempSettingsDir temp_{"kest-private-"};
    std::string root_;
};

TEST_F(SettingsPrivateStore, StoresEncipheredUnderTheLowerCaseName)
{
    ASSERT_EQ(private_value_set("LockOptions", "4294967295,1"), 1);
    std::string file = slurp(main_ini_path);
    EXPECT_EQ(file.rfind("[user]\nlockoptions=", 0), 0u) << file;
    EXPECT_EQ(file.find("4294967295"), std::string::npos) << "the value must not be stored as plain text";

    // The stored text is the enciphered form under the key text "vultz".
    std::string value = stored("lockoptions");
    ASSERT_EQ(crypt_decrypt_text(value, "vultz"), 1);
    EXPECT_EQ(value, "4294967295,1");

    for (const char* name : {"LockOptions", "lockoptions", "LOCKOPTIONS"}) {
        SCOPED_TRACE(name);
        std::string out = "junk";
        EXPECT_EQ(private_value_get(name, out), 1);
        EXPECT_EQ(out, "4294967295,1");
    }
}

TEST_F(SettingsPrivateStore, RoundTrips)
{
    const std::string longest(3111, 'q');
    const std::string cases[] = {
        "a", "Channels #one,#two", "  blanks around  ", "Türkçe karakterler: ğüşiöç", "=[]; odd=chars", longest,
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 40));
        ASSERT_EQ(private_value_set("Channels", text.c_str()), 1);
        std::string out;
        EXPECT_EQ(private_value_get("Channels", out), 1);
        EXPECT_EQ(out, text);
    }
}

TEST_F(SettingsPrivateStore, AbsentAndUnreadableValues)
{
    std::string out = "left over";
    EXPECT_EQ(private_value_get("Nothing", out), 0);
    EXPECT_EQ(out, "");
    // A value that can't be deciphered reads as absent.
    ASSERT_EQ(ini_write("user", "broken", "***", main_ini_path), 1);
    out = "left over";
    EXPECT_EQ(private_value_get("broken", out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(private_value_get("", out), 0);
    EXPECT_EQ(private_value_get(nullptr, out), 0);
}

TEST_F(SettingsPrivateStore, AValueTheCipherCannotTakeKeepsTheOldOne)
{
    ASSERT_EQ(private_value_set("LockOptions", "old value"), 1);
    const std::string before = slurp(main_ini_path);
    const std::string too_long(3112, 'x');
    const std::string over_cut(5000, 'x');
    for (const std::string* text : {&too_long, &over_cut}) {
        SCOPED_TRACE(text->size());
        EXPECT_EQ(private_value_set("LockOptions", text->c_str()), 0);
        EXPECT_EQ(slurp(main_ini_path), before);
        std::string out;
        EXPECT_EQ(private_value_get("LockOptions", out), 1);
        EXPECT_EQ(out, "old value");
    }
    EXPECT_EQ(private_value_set("", "x"), 0);
    EXPECT_EQ(private_value_set(nullptr, "x"), 0);
}

TEST_F(SettingsPrivateStore, DeleteAndEmptyValues)
{
    ASSERT_EQ(private_value_set("Channels", "#a"), 1);
    ASSERT_EQ(private_value_set("Other", "kept"), 1);
    EXPECT_EQ(private_value_delete("CHANNELS"), 1);
    std::string out;
    EXPECT_EQ(private_value_get("Channels", out), 0);
    EXPECT_EQ(private_value_delete("Channels"), 1);  // nothing left to delete
    EXPECT_EQ(private_value_get("Other", out), 1);
    EXPECT_EQ(out, "kept");

    // An empty text removes the value.
    EXPECT_EQ(private_value_set("Other", ""), 1);
    EXPECT_EQ(private_value_get("Other", out), 0);
    EXPECT_EQ(stored("other"), "");
}

TEST_F(SettingsPrivateStore, WriteFailuresAreReported)
{
    ASSERT_EQ(private_value_set("LockOptions", "old"), 1);
    file_replace_hook = [](const std::string&, const std::string&) { return 0; };
    EXPECT_EQ(private_value_set("LockOptions", "new"), 0);
    EXPECT_EQ(private_value_delete("LockOptions"), 0);
    file_replace_hook = nullptr;
    std::string out;
    EXPECT_EQ(private_value_get("LockOptions", out), 1);
    EXPECT_EQ(out, "old");
    main_ini_path = root_ + "no/such/folder/kest.ini";
    EXPECT_EQ(private_value_set("LockOptions", "x"), 0);
}

}  // namespace
