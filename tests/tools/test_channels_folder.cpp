// The channels folder's entries as the settings file keeps them: reading
// their fields, their order, the key kept for a channel on a network, and
// the channel names Tab completion offers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "model/connection.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "tools/channels_folder.h"

namespace {

TEST(ChannelsFolderFields, EachFieldAsTheEntryWritesIt)
{
    struct Case {
        const char* entry;
        int field;
        const char* value;
    } cases[] = {
        {"#kest,\"talk, and more\",sesame,\"NetA,NetB\",1,0,\"Friends\"", 1, "#kest"},
        {"#kest,\"talk, and more\",sesame,\"NetA,NetB\",1,0,\"Friends\"", 2, "talk, and more"},  // comma inside quotes
        {"#kest,\"talk, and more\",sesame,\"NetA,NetB\",1,0,\"Friends\"", 3, "sesame"},
        {"#kest,\"talk, and more\",sesame,\"NetA,NetB\",1,0,\"Friends\"", 4, "NetA,NetB"},
        {"#kest,\"talk, and more\",sesame,\"NetA,NetB\",1,0,\"Friends\"", 5, "1"},
        {"#kest,\"talk, and more\",sesame,\"NetA,NetB\",1,0,\"Friends\"", 6, "0"},
        {"#kest,\"talk, and more\",sesame,\"NetA,NetB\",1,0,\"Friends\"", 7, "Friends"},
        {"  #two words,,key two", 1, "#two"},           // leading blanks; first word only
        {"  #two words,,key two", 3, "key"},
        {"#a,\"many    blanks\"", 2, "many blanks"},
        {",,,,,,\"Work\\old\"", 7, "Work"},               // a folder is cut at a backslash
        {",,,,,,\"Work\\old\"", 1, ""},
        {"#a", 2, ""},                                   // missing fields
        {"#a", 7, ""},
        {"#a,\"open quote", 2, "open quote"},            // an unclosed quote runs to the end
        {"#a", 0, ""},
        {"#a", 8, ""},
        {"", 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " / " + std::to_string(c.field));
        EXPECT_EQ(chanfolder_entry_field(c.entry, c.field), c.value);
    }
}

class ChannelsFolder : public ::testing::Test {
    HookGuard hooks_;

protected:
    TempSettingsDir temp{"kest_chanfolder_"};
    void SetUp() override
    {
        ASSERT_TRUE(temp.made());
        saved_file_ = main_settings.chanfolder_file;
        main_settings.chanfolder_file = temp.path() + "folder.ini";
        conn = conn_new(nullptr);
        conn->network = "TestNet";
    }
    void TearDown() override
    {
        conn_free(conn);
        main_settings.chanfolder_file = saved_file_;
    }
    void write(const std::vector<std::string>& entries)
    {
        std::string text = "[chanfolder]\n";
        for (std::size_t i = 0; i < entries.size(); ++i)
            text += "n" + std::to_string(i) + "=" + entries[i] + "\n";
        spit(main_settings.chanfolder_file, text);
    }
    std::string saved_file_;
    Connection* conn = nullptr;
};

TEST_F(ChannelsFolder, TheKeyOfTheConnectionsNetworkComesBeforeOneForAnyNetwork)
{
    write({"#locked,,any-net-key", "#locked,\"d\",other-key,\"OtherNet\"", "#LOCKED,,right-key,\"Some,TestNet\"",
           "#open,\"no key\"", "#elsewhere,,far-key,\"OtherNet\""});
    struct Case {
        const char* network;
        const char* group;
        const char* channel;
        const char* key;
    } cases[] = {
        {"TestNet", "", "#locked", "right-key"},
        {"testnet", "", "#Locked", "right-key"},      // case ignored on both
        {"", "TestNet", "#locked", "right-key"},      // the server group names the network
        {"Elsewhere", "", "#locked", "any-net-key"},  // no network matches: the entry for any
        {"OtherNet", "", "#locked", "other-key"},
        {"TestNet", "", "#open", ""},                 // in the folder without a key
        {"TestNet", "", "#elsewhere", ""},            // only for another network
        {"TestNet", "", "#absent", ""},
        {"TestNet", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.network) + " " + c.channel);
        conn->network = c.network;
        conn->live_server[2] = c.group;
        EXPECT_EQ(chanfolder_find_key(conn, c.channel), c.key);
        EXPECT_EQ(chanfolder_find_key(conn, c.channel), c.key) << "asked again";
    }
}

TEST_F(ChannelsFolder, FoldersComeFirstThenLooseChannelsEachSortedAndNumberedInLoadOrder)
{
    write({"#zeta", "#beta,,,,,,\"work\"", "#Alpha", "#alpha2,,,,,,\"Friends\"", "#aa,,,,,,\"Work\"", ",,,,,,\"Empty\""});
    StringNode* list = chanfolder_load();
    std::vector<std::string> order;
    std::vector<int> ids;
    for (StringNode* n = list; n; n = n->next) {
        order.push_back(chanfolder_entry_field(n->text, 1));
        ids.push_back(n->number);
    }
    strlist_free(&list);
    EXPECT_EQ(order, (std::vector<std::string>{"", "#alpha2", "#aa", "#beta", "#Alpha", "#zeta"}));
    EXPECT_EQ(ids, (std::vector<int>{6, 4, 5, 2, 3, 1}));

    // Tab completion gets the channels, the entry without one left out.
    StringNode* names = chanfolder_channels();
    std::vector<std::string> offered;
    for (StringNode* n = names; n; n = n->next)
        offered.push_back(n->text);
    strlist_free(&names);
    EXPECT_EQ(offered, (std::vector<std::string>{"#alpha2", "#aa", "#beta", "#Alpha", "#zeta"}));
}

TEST_F(ChannelsFolder, NoFolderGivesNothing)
{
    write({});
    EXPECT_EQ(chanfolder_load(), nullptr);
    EXPECT_EQ(chanfolder_channels(), nullptr);
    EXPECT_EQ(chanfolder_find_key(conn, "#any"), "");
}

}  // namespace
