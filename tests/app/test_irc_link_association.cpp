// The program as the desktop's irc: link handler, in a temporary XDG data
// and config folder that already holds another program's handler: the
// program adds and removes only its own entry.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/irc_link_association.h"
#include "support/test_support.h"

namespace {

class IrcLinkAssociationTest : public ::testing::Test {
protected:
    std::filesystem::path dir;
    std::string old_data, old_config;
    bool had_data = false, had_config = false;

    void SetUp() override
    {
        dir = std::filesystem::temp_directory_path() / ("kest-xdg-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "data" / "applications");
        std::filesystem::create_directories(dir / "config");
        if (const char* d = std::getenv("XDG_DATA_HOME")) {
            had_data = true;
            old_data = d;
        }
        if (const char* c = std::getenv("XDG_CONFIG_HOME")) {
            had_config = true;
            old_config = c;
        }
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    }
    void TearDown() override
    {
        if (had_data)
            ::setenv("XDG_DATA_HOME", old_data.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
        if (had_config)
            ::setenv("XDG_CONFIG_HOME", old_config.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(dir);
    }
    std::string apps() const { return (dir / "data" / "applications").string() + "/"; }
};

TEST(MimeappsWithoutOwn, OnlyTheProgramsOwnEntryLeaves)
{
    struct Case {
        const char* name;
        const char* in;
        const char* out;
    } cases[] = {
        {"own default alone", "[Default Applications]\nx-scheme-handler/irc=kest-irc.desktop;\n",
         "[Default Applications]\n"},
        {"own and another", "[Added Associations]\nx-scheme-handler/irc=other-irc.desktop;kest-irc.desktop;\n",
         "[Added Associations]\nx-scheme-handler/irc=other-irc.desktop;\n"},
        {"own first, no last semicolon", "x-scheme-handler/irc=kest-irc.desktop;other.desktop\n",
         "x-scheme-handler/irc=other.desktop;\n"},
        {"another only", "x-scheme-handler/irc=other-irc.desktop;\n", "x-scheme-handler/irc=other-irc.desktop;\n"},
        {"a name that only ends like ours", "x-scheme-handler/irc=my-kest-irc.desktop;\n",
         "x-scheme-handler/irc=my-kest-irc.desktop;\n"},
        {"another scheme naming ours", "x-scheme-handler/ircs=kest-irc.desktop;\n",
         "x-scheme-handler/ircs=kest-irc.desktop;\n"},
        {"other lines and no final newline",
         "[Default Applications]\nx-scheme-handler/http=browser.desktop\nx-scheme-handler/irc=kest-irc.desktop;\ntext/plain=ed.desktop",
         "[Default Applications]\nx-scheme-handler/http=browser.desktop\ntext/plain=ed.desktop"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string once = shell_mimeapps_without_own(c.in);
        EXPECT_EQ(once, c.out);
        EXPECT_EQ(shell_mimeapps_without_own(once), once);  // twice changes nothing more
    }
}

TEST_F(IrcLinkAssociationTest, RegisteringAndRemovingLeaveAnotherProgramsHandlerAlone)
{
    const std::string other = "[Desktop Entry]\nType=Application\nName=Other\nExec=other %u\n"
                              "MimeType=x-scheme-handler/irc;\n";
    spit(apps() + "other-irc.desktop", other);
    const std::string list = (dir / "config" / "mimeapps.list").string();
    spit(list, "[Default Applications]\nx-scheme-handler/http=browser.desktop\n"
               "x-scheme-handler/irc=kest-irc.desktop;\n"
               "[Added Associations]\nx-scheme-handler/irc=other-irc.desktop;kest-irc.desktop;\n");
    EXPECT_EQ(shell_mimeapps_path(), list);
    EXPECT_EQ(shell_applications_dir(), apps());

    const int registered = shell_register_irc_protocol();
    if (registered == 0) {
        const std::string own = slurp(apps() + kIrcLinkDesktopFile);
        EXPECT_NE(own.find("MimeType=x-scheme-handler/irc;"), std::string::npos);
    }
    EXPECT_EQ(slurp(apps() + "other-irc.desktop"), other);

    shell_unregister_links();
    shell_unregister_links();  // twice: nothing more goes
    EXPECT_FALSE(std::filesystem::exists(apps() + kIrcLinkDesktopFile));
    EXPECT_EQ(slurp(apps() + "other-irc.desktop"), other);
    EXPECT_EQ(slurp(list), "[Default Applications]\nx-scheme-handler/http=browser.desktop\n"
                           "[Added Associations]\nx-scheme-handler/irc=other-irc.desktop;\n");
}

TEST(MimeappsOwnDefault, OnlyTheOwnEntryFirstAmongTheDefaultsCounts)
{
    struct Case {
        const char* name;
        const char* text;
        int own;
    } cases[] = {
        {"own default", "[Default Applications]\nx-scheme-handler/irc=kest-irc.desktop;\n", 1},
        {"own default, no semicolon, CRLF", "[Default Applications]\r\nx-scheme-handler/irc=kest-irc.desktop\r\n", 1},
        {"own default second", "[Default Applications]\nx-scheme-handler/irc=other.desktop;kest-irc.desktop;\n", 0},
        {"own only added", "[Added Associations]\nx-scheme-handler/irc=kest-irc.desktop;\n", 0},
        {"a section after the defaults",
         "[Default Applications]\ntext/plain=ed.desktop\n[Added Associations]\nx-scheme-handler/irc=kest-irc.desktop;\n", 0},
        {"a name that only ends like ours", "[Default Applications]\nx-scheme-handler/irc=my-kest-irc.desktop;\n", 0},
        {"another scheme", "[Default Applications]\nx-scheme-handler/ircs=kest-irc.desktop;\n", 0},
        {"no section", "x-scheme-handler/irc=kest-irc.desktop;\n", 0},
        {"empty", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(shell_mimeapps_own_default(c.text), c.own);
    }
}

// A start with the entry in place writes nothing: the entry keeps its file
// (the same inode) and the handler list stays as it is; a stale entry is
// written anew.
TEST_F(IrcLinkAssociationTest, AnUnchangedEntryIsNotWrittenAgain)
{
    // No handler tool on the path: nothing else writes the list meanwhile.
    const char* path_now = std::getenv("PATH");
    const std::string saved_path = path_now ? path_now : "";
    ::setenv("PATH", dir.c_str(), 1);
    struct PathBack {
        std::string p;
        ~PathBack() { ::setenv("PATH", p.c_str(), 1); }
    } path_back{saved_path};
    const std::string list = (dir / "config" / "mimeapps.list").string();
    const std::string chosen = "[Default Applications]\nx-scheme-handler/irc=kest-irc.desktop;\n"
                               "[Added Associations]\nx-scheme-handler/irc=other-irc.desktop;kest-irc.desktop;\n";
    spit(list, chosen);
    const std::string entry = apps() + kIrcLinkDesktopFile;
    spit(entry, "[Desktop Entry]\nExec=/an/old/place %u\n");
    ASSERT_EQ(shell_register_irc_protocol(), 0);
    const std::string fresh = slurp(entry);
    EXPECT_NE(fresh.find("MimeType=x-scheme-handler/irc;"), std::string::npos);
    EXPECT_EQ(fresh.find("/an/old/place"), std::string::npos);  // the stale entry went

    spit(list, chosen);
    struct stat before {};
    ASSERT_EQ(::stat(entry.c_str(), &before), 0);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(shell_register_irc_protocol(), 0);
        struct stat after {};
        ASSERT_EQ(::stat(entry.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(slurp(entry), fresh);
        EXPECT_EQ(slurp(list), chosen);
    }
}

}  // namespace
