// Command-line parsing and irc: link splitting.
#include "app/command_line.h"

#include "app/hand_over_peer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kest_cmdline_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "settings");
        ::unsetenv("U3_HOST_EXEC_PATH");
        ::unsetenv("U3_APP_DATA_PATH");
        // A short folder: the socket's path has a length limit.
        instance = std::make_unique<HandOverPeer>(fs::temp_directory_path() /
                                                  ("kest_ho_" + std::to_string(::getpid())));
        ASSERT_TRUE(instance->served());
        start.settings_dir = (root / "settings").string() + "/";
        start.main_ini_path = start.settings_dir + "kest.ini";
        start.user_settings_dir = (root / "user").string() + "/";
        start.settings_to_user_dir = 1;
        start.ini_to_user_dir = 1;
    }
    void TearDown() override
    {
        instance.reset();
        ::unsetenv("U3_HOST_EXEC_PATH");
        ::unsetenv("U3_APP_DATA_PATH");
        fs::remove_all(root);
    }

    CmdlineResult parse(const std::vector<std::string>& args) { return instance->parse(args, start); }

    fs::path root;
    // The running instance a link is offered to.
    std::unique_ptr<HandOverPeer> instance;
    CmdlineResult start;
};

} // namespace

TEST(IrcLink, SplitsIntoItsParts)
{
    struct Case {
        const char* link;
        int result;
        const char* server;
        const char* port;
        const char* channel;
        const char* user;
    };
    const Case cases[] = {
        {"irc://nick@server:6667/chan?key", 1, "server", "6667", "#chan key", "nick"},
        {"irc://irc.example.net", 1, "irc.example.net", "", "", ""},
        {"irc:irc.example.net:7000", 1, "irc.example.net", "7000", "", ""},
        {"IRC://host:0/room", 1, "host", "", "#room", ""},
        {"irc://host:abc", 1, "host", "", "", ""},
        {"irc://host/chan,other", 1, "host", "", "#chan", ""},
        {"irc://host//", 1, "host", "", "", ""},
        {"irc:///host", 1, "", "", "#host", ""},
        {"irc:", 0, "", "", "", ""},
        {"irc://", 0, "", "", "", ""},
        {"irc://user@host:6697/chan", 1, "host", "6697", "#chan", "user"},
        {"irc://127.0.0.1:7000/#chan", 1, "127.0.0.1", "7000", "#chan", ""},
        {"irc://host/##two?key", 1, "host", "", "##two key", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        std::string server = "x", channel = "x", port = "x", user = "x";
        EXPECT_EQ(frame_parse_irc_link(c.link, server, channel, port, &user), c.result);
        EXPECT_EQ(server, c.server);
        EXPECT_EQ(port, c.port);
        EXPECT_EQ(channel, c.channel);
        EXPECT_EQ(user, c.user);
    }
}

TEST(IrcLink, LongPartsAreCutAtTheShortLength)
{
    std::string server, channel, port;
    std::string link = "irc://" + std::string(400, 'h') + ":6667/" + std::string(400, 'c');
    EXPECT_EQ(frame_parse_irc_link(link, server, channel, port, nullptr), 1);
    EXPECT_EQ(server.size(), 256u);
    EXPECT_LE(channel.size(), 256u);
    EXPECT_EQ(channel[0], '#');
}

TEST_F(CommandLine, FlagsAndStartValuesAsATable)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int result;
        int no_connect;
        int no_registry;
        int launcher;
        const char* server;
        const char* channel;
        const char* nick;
        const char* anick;
    };
    const Case cases[] = {
        {"noconnect", {"-noconnect"}, 1, 1, 0, 0, "", "", "", ""},
        {"noconnect prefix", {"-NoConnectX"}, 1, 1, 0, 0, "", "", "", ""},
        {"noreg", {"-noreg"}, 1, 0, 1, 0, "", "", "", ""},
        {"nouninst and service ignored", {"-nouninst", "-service"}, 1, 0, 0, 0, "", "", "", ""},
        {"server glued", {"-sfoo"}, 1, 0, 0, 0, "foo", "", "", ""},
        {"server as next word", {"-s", "irc.example.net"}, 1, 0, 0, 0, "irc.example.net", "", "", ""},
        {"empty server", {"-s"}, 1, 0, 0, 0, "", "", "", ""},
        {"channel then key", {"-jchan", "-pkey"}, 1, 0, 0, 0, "", "chan key", "", ""},
        {"key before channel", {"-pkey", "-jchan"}, 1, 0, 0, 0, "", "chan", "", ""},
        {"nick and alternative", {"-nNick,Alt"}, 1, 0, 0, 0, "", "", "Nick", "Alt"},
        {"nick first word", {"-n  Nick more,  Alt x"}, 1, 0, 0, 0, "", "", "Nick", "Alt"},
        {"nick without alternative", {"-nNick,"}, 1, 0, 0, 0, "", "", "Nick", ""},
        {"unknown words", {"-zzz", "hello", "-"}, 1, 0, 0, 0, "", "", "", ""},
        {"appStop ends", {"-appStop", "-noconnect"}, 0, 0, 1, 2, "", "", "", ""},
        {"hostCleanUp ends", {"-hostCleanUp"}, 0, 0, 1, 4, "", "", "", ""},
        {"appStart without launcher", {"-appStart"}, 0, 0, 1, 1, "", "", "", ""},
        {"server cut", {"-s" + std::string(300, 's')}, 1, 0, 0, 0, nullptr, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CmdlineResult r = parse(c.args);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.no_connect, c.no_connect);
        EXPECT_EQ(r.no_registry, c.no_registry);
        EXPECT_EQ(r.launcher_mode, c.launcher);
        if (c.server)
            EXPECT_EQ(r.server, c.server);
        else
            EXPECT_EQ(r.server, std::string(256, 's'));
        EXPECT_EQ(r.channel, c.channel);
        EXPECT_EQ(r.nick, c.nick);
        EXPECT_EQ(r.anick, c.anick);
        EXPECT_EQ(r.handed_over, 0);
        EXPECT_TRUE(instance->offered.empty());
    }
}

TEST_F(CommandLine, AppStartNeedsBothLauncherVariablesAndAppStopEndsAnyway)
{
    ::setenv("U3_HOST_EXEC_PATH", "/media/x", 1);
    EXPECT_EQ(parse({"-appStart"}).result, 0);
    ::setenv("U3_APP_DATA_PATH", "/media/y", 1);
    CmdlineResult r = parse({"-appStart"});
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.launcher_mode, 1);
    EXPECT_EQ(r.no_registry, 1);
    EXPECT_EQ(parse({"-appStop"}).result, 0);
}

TEST_F(CommandLine, PortableKeepsTheSettingsWhereTheyAre)
{
    CmdlineResult r = parse({"-portable"});
    EXPECT_EQ(r.no_registry, 1);
    EXPECT_EQ(r.settings_to_user_dir, 0);
    EXPECT_EQ(r.ini_to_user_dir, 0);
    EXPECT_EQ(r.settings_dir, start.settings_dir);
}

TEST_F(CommandLine, IrcLinkIsOfferedToTheRunningInstance)
{
    instance->accepts = 1;
    CmdlineResult r = parse({"-noconnect", "irc://nick@server:6667/chan?key", "-jother"});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.handed_over, 1);
    ASSERT_EQ(instance->offered.size(), 1u);
    EXPECT_EQ(instance->offered[0], "irc://nick@server:6667/chan?key");
    // Parsing stopped at the link.
    EXPECT_EQ(r.channel, "#chan key");
}

TEST_F(CommandLine, IrcLinkNobodyTakesIsKeptForThisStart)
{
    struct Case {
        std::vector<std::string> args;
        const char* link;
        const char* server;
        const char* port;
        const char* channel;
    };
    const Case cases[] = {
        {{"irc://nick@server:6667/chan?key"}, "irc://nick@server:6667/chan?key", "server", "6667", "#chan key"},
        {{"-sirc://host:7000"}, "irc://host:7000", "host", "7000", ""},
        {{"-s", "irc://host/room"}, "irc://host/room", "host", "", "#room"},
        {{"irc:"}, "irc:", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        instance->offered.clear();
        CmdlineResult r = parse(c.args);
        EXPECT_EQ(r.result, 1);
        EXPECT_EQ(r.handed_over, 0);
        ASSERT_EQ(instance->offered.size(), 1u);
        EXPECT_EQ(r.link, c.link);
        EXPECT_EQ(r.server, c.server);
        EXPECT_EQ(r.port, c.port);
        EXPECT_EQ(r.channel, c.channel);
    }
}

TEST_F(CommandLine, LinkIsCutAtTheMediumLength)
{
    CmdlineResult r = parse({"irc://" + std::string(2000, 'a')});
    EXPECT_EQ(r.link.size(), 1024u);
}

TEST_F(CommandLine, SettingsFolderIsMadeAndTaken)
{
    const std::string folder = (root / "chosen").string();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string expected_dir;
    };
    const Case cases[] = {
        {"glued", {"-r" + folder}, folder + "/"},
        {"next word", {"-r", folder + "///"}, folder + "/"},
        {"relative with backslash", {"-rsub\\"}, start.settings_dir + "sub/"},
        {"quoted with blank", {"-r\"" + folder + " two\"", "-noconnect"}, folder + " two/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CmdlineResult r = parse(c.args);
        EXPECT_EQ(r.result, 1);
        EXPECT_EQ(r.settings_dir, c.expected_dir);
        EXPECT_EQ(r.main_ini_path, c.expected_dir + "kest.ini");
        EXPECT_TRUE(fs::is_directory(c.expected_dir));
        EXPECT_EQ(r.settings_to_user_dir, 0);
        EXPECT_EQ(r.ini_to_user_dir, 0);
    }
    // Parsing went on after the closing quote.
    EXPECT_EQ(parse({"-r\"" + folder + " two\"", "-noconnect"}).no_connect, 1);
}

TEST_F(CommandLine, SettingsFolderThatCannotBeMadeChangesNothing)
{
    std::ofstream(root / "afile") << "x";
    CmdlineResult r = parse({"-r" + (root / "afile" / "below").string()});
    EXPECT_EQ(r.settings_dir, start.settings_dir);
    EXPECT_EQ(r.main_ini_path, start.main_ini_path);
    EXPECT_EQ(r.settings_to_user_dir, 1);
    EXPECT_EQ(r.ini_to_user_dir, 1);
}

TEST_F(CommandLine, EmptySettingsFolderKeepsTheSettingsInPlace)
{
    CmdlineResult r = parse({"-r\"\""});
    EXPECT_EQ(r.settings_dir, start.settings_dir);
    EXPECT_EQ(r.settings_to_user_dir, 0);
    EXPECT_EQ(r.ini_to_user_dir, 0);
}

TEST_F(CommandLine, SettingsFileOnlyWithIniExtension)
{
    const std::string abs = (root / "other" / "my.INI").string();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string expected;
        int ini_to_user;
    };
    const Case cases[] = {
        {"absolute, folder made", {"-i" + abs}, abs, 0},
        {"bare ini name", {abs}, abs, 0},
        {"relative goes to the user folder", {"-imine.ini"}, start.user_settings_dir + "mine.ini", 0},
        {"not ini", {"-i" + (root / "x.txt").string()}, start.main_ini_path, 1},
        {"only an extension", {"-i" + (root / ".ini").string()}, start.main_ini_path, 1},
        {"empty", {"-i"}, start.main_ini_path, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CmdlineResult r = parse(c.args);
        EXPECT_EQ(r.main_ini_path, c.expected);
        EXPECT_EQ(r.ini_to_user_dir, c.ini_to_user);
        EXPECT_EQ(r.settings_dir, start.settings_dir);
    }
}

TEST_F(CommandLine, RelativeSettingsFileStaysInTheSettingsFolderWithoutUserFolder)
{
    start.settings_to_user_dir = 0;
    CmdlineResult r = parse({"-imine.ini"});
    EXPECT_EQ(r.main_ini_path, start.settings_dir + "mine.ini");
}

TEST_F(CommandLine, ApplyStoresTheStartGlobals)
{
    CmdlineResult r = parse({"-noconnect", "-sserver", "-jchan", "-pkey", "-nme,alt", "-noreg"});
    cmdline_apply(r);
    EXPECT_EQ(cmdline_no_connect, 1);
    EXPECT_EQ(cmdline_no_registry, 1);
    EXPECT_EQ(start_server, "server");
    EXPECT_EQ(start_channel, "chan key");
    EXPECT_EQ(start_nick, "me");
    EXPECT_EQ(start_anick, "alt");
    cmdline_apply(parse({}));
    EXPECT_EQ(cmdline_no_connect, 0);
    EXPECT_EQ(start_server, "");
}
