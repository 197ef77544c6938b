// The server list as the Servers page edits it (tree, groups, sort,
// delete, save), and the program's own list written at a first start, all
// against servers files in a temporary settings folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ini.h"
#include "core/main_settings.h"
#include "core/string_list.h"
#include "irc/lists/servers.h"
#include "options/default_servers.h"
#include "options/server_list_edit.h"
#include "platform/platform_test_env.h"
#include "support/test_support.h"

namespace {

class ServerListFile : public ::testing::Test {
protected:
    TempSettingsDir settings{"kest_optservers"};
    std::string saved_file;

    void SetUp() override
    {
        platform_test_app();
        ASSERT_TRUE(settings.made());
        saved_file = main_settings.servers_file;
        main_settings.servers_file = settings.path() + "servers.ini";
    }
    void TearDown() override
    {
        StringNode*& list = servers_list();
        strlist_free(&list);
        main_settings.servers_file = saved_file;
    }
    void write_servers(const std::vector<std::string>& entries)
    {
        std::string text = "[servers]\n";
        for (std::size_t i = 0; i < entries.size(); ++i)
            text += "n" + std::to_string(i) + "=" + entries[i] + "\n";
        spit(servers_file(), text);
    }
    std::vector<std::string> file_entries()
    {
        std::vector<std::string> out;
        StringNode* list = ini_read_numbered_list("servers", "n", nullptr, servers_file(), 0);
        for (StringNode* n = list; n; n = n->next)
            out.push_back(n->text);
        strlist_free(&list);
        return out;
    }
};

const std::vector<std::string> kEntries = {
    "Alpha oneSERVER:a1.example:6667GROUP:Alpha",
    "LonelySERVER:lonely.example:7000",
    "Beta: Random ServerSERVER:b.example:6667GROUP:beta",
    "Alpha twoSERVER:a2.example:+6697GROUP:alpha",
    "Beta hubSERVER:bh.example:6667GROUP:Beta",
    "Numbered random serverSERVER:r.example:6667GROUP:42",
};

TEST_F(ServerListFile, TheTreeGroupsEntriesCaseIgnoredAndKeepsUngroupedOnTop)
{
    write_servers(kEntries);
    ServerListEdit edit;
    edit.load();
    const std::vector<ServerTreeRow> rows = edit.tree();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].label, "Alpha");
    EXPECT_EQ(rows[0].children, (std::vector<int>{0, 3}));
    EXPECT_EQ(rows[1].label, "Lonely");
    EXPECT_EQ(rows[1].entry, 1);
    EXPECT_TRUE(rows[1].children.empty());
    EXPECT_EQ(rows[2].label, "beta");
    EXPECT_EQ(rows[2].children, (std::vector<int>{2, 4}));
    EXPECT_EQ(rows[3].label, "42");
    EXPECT_EQ(rows[3].children, std::vector<int>{5});
    // Group names: numeric groups left out, first letters upper-cased, once.
    EXPECT_EQ(edit.group_names(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(edit.selection_label(0), "Alpha one");
    EXPECT_EQ(edit.selection_label(2), "Beta: Random Server");
    EXPECT_EQ(edit.selection_label(4), "Beta hub");
    EXPECT_EQ(edit.selection_label(1), "Lonely");
    EXPECT_EQ(edit.selection_label(99), "");
}

TEST_F(ServerListFile, SortPutsGroupsFirstAndRandomServersFirstInTheirGroup)
{
    write_servers(kEntries);
    ServerListEdit edit;
    edit.load();
    edit.sort();
    EXPECT_EQ(edit.entries, (std::vector<std::string>{
                                "Numbered random serverSERVER:r.example:6667GROUP:42",
                                "Alpha oneSERVER:a1.example:6667GROUP:Alpha",
                                "Alpha twoSERVER:a2.example:+6697GROUP:alpha",
                                "Beta: Random ServerSERVER:b.example:6667GROUP:beta",
                                "Beta hubSERVER:bh.example:6667GROUP:Beta",
                                "LonelySERVER:lonely.example:7000",
                            }));
    // Sorting twice changes nothing more.
    const std::vector<std::string> once = edit.entries;
    edit.sort();
    EXPECT_EQ(edit.entries, once);
}

TEST_F(ServerListFile, EditsStayInTheCopyUntilSaved)
{
    write_servers(kEntries);
    ServerListEdit edit;
    edit.load();
    EXPECT_FALSE(edit.changed);
    edit.remove_group("ALPHA");
    edit.remove_entry(0);  // Lonely
    const int at = edit.put(-1, "NewSERVER:new.example:6667GROUP:Gamma");
    EXPECT_EQ(edit.put(at, "RenamedSERVER:new.example:6668GROUP:Gamma"), at);
    EXPECT_TRUE(edit.changed);
    // Nothing written yet: the file and the loaded list are as they were.
    EXPECT_EQ(file_entries(), kEntries);
    int loaded = 0;
    for (StringNode* n = servers_list(); n; n = n->next)
        ++loaded;
    EXPECT_EQ(loaded, static_cast<int>(kEntries.size()));

    edit.save();
    EXPECT_FALSE(edit.changed);
    const std::vector<std::string> expected = {
        "Beta: Random ServerSERVER:b.example:6667GROUP:beta",
        "Beta hubSERVER:bh.example:6667GROUP:Beta",
        "Numbered random serverSERVER:r.example:6667GROUP:42",
        "RenamedSERVER:new.example:6668GROUP:Gamma",
    };
    EXPECT_EQ(file_entries(), expected);
    EXPECT_EQ(servers_group_entries("gamma"), std::vector<std::string>{expected[3]});
    // Removing what is not there changes nothing.
    edit.remove_entry(17);
    edit.remove_entry(-1);
    edit.remove_group("Nowhere");
    EXPECT_FALSE(edit.changed);
}

TEST_F(ServerListFile, AFirstStartWritesTheProgramsOwnListOnce)
{
    const std::string path = servers_file();
    ASSERT_EQ(servers_write_defaults(path), 1);
    const std::vector<std::string> written = file_entries();
    ASSERT_EQ(static_cast<int>(written.size()), kDefaultServerEntryCount);
    // Every entry parses with a host, ports and a group; Libera.Chat and
    // OFTC come with plain and SSL ports.
    bool libera_plain = false, libera_ssl = false, oftc_plain = false, oftc_ssl = false;
    for (const std::string& t : written) {
        const ServerEntry e = servers_parse_entry(t);
        EXPECT_FALSE(e.host.empty()) << t;
        EXPECT_FALSE(e.ports.empty()) << t;
        EXPECT_FALSE(e.group.empty()) << t;
        EXPECT_EQ(servers_entry_text(e), t);
        const bool ssl = e.ports[0] == '+';
        if (e.group == "Libera.Chat")
            (ssl ? libera_ssl : libera_plain) = true;
        if (e.group == "OFTC")
            (ssl ? oftc_ssl : oftc_plain) = true;
    }
    EXPECT_TRUE(libera_plain && libera_ssl && oftc_plain && oftc_ssl);
    EXPECT_EQ(servers_networks(), (std::vector<std::string>{"Libera.Chat", "OFTC"}));

    // A second start finds the file and leaves it alone, edits and all.
    write_servers({"MineSERVER:mine.example:6667GROUP:Mine"});
    EXPECT_EQ(servers_write_defaults(path), 0);
    EXPECT_EQ(file_entries(), std::vector<std::string>{"MineSERVER:mine.example:6667GROUP:Mine"});
    // An existing empty file is the user's choice too.
    spit(path, "");
    EXPECT_EQ(servers_write_defaults(path), 0);
    EXPECT_EQ(slurp(path), "");
}

} // namespace
