// The main settings load and save on real files in a temporary settings
// folder: the first start, the rules of each section, the move of the user
// lists into "control.ini", the order of the other parts' loaders, and the
// savers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "model/connection.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/time_date.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> texts(const StringNode* head)
{
    std::vector<std::string> out;
    for (const StringNode* n = head; n; n = n->next)
        out.push_back(n->text);
    return out;
}

std::string joined(const StringNode* head)
{
    std::string out;
    for (const StringNode* n = head; n; n = n->next)
        out += (out.empty() ? "" : "|") + n->text;
    return out;
}

// The first connection as the load is given it (null: none is live).
Connection* g_first = nullptr;

// The names of the listeners called, in order.
std::vector<std::string> g_calls;

class MainSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
        reset_state();
        g_first = &first_;
        g_calls.clear();
    }

    void TearDown() override
    {
        for (int& id : load_listeners_)
            settings_loaded.drop(id);
        for (int& id : save_listeners_)
            settings_saving.drop(id);
        reset_state();
        g_first = nullptr;
    }

    // A listener of the load at a step, dropped when the test ends.
    void on_load(int step, std::function<void(SettingsLoad&)> fn)
    {
        load_listeners_.push_back(settings_loaded.add(step, std::move(fn)));
    }

    // A listener that writes its name into g_calls.
    void record_load(int step, const std::string& name)
    {
        on_load(step, [name](SettingsLoad&) { g_calls.push_back(name); });
    }

    void on_save(int step, std::function<void()> fn)
    {
        save_listeners_.push_back(settings_saving.add(step, std::move(fn)));
    }

    static void reset_state()
    {
        main_settings_free_lists();
        main_settings = MainSettings{};
        options_reset();
        time_stamp_format = "[HH:nn]";
        time_log_stamp_format.clear();
    }

    std::string read(const char* section, const char* key, const std::string& file = std::string())
    {
        std::string out;
        ini_read(section, key, "", out, 4200, file.empty() ? main_ini_path : file);
        return out;
    }

    // The section names of a file, in order.
    std::vector<std::string> sections(const std::string& file)
    {
        std::vector<std::string> out;
        std::stringstream ss(slurp(file));
        std::string line;
        while (std::getline(ss, line))
            if (!line.empty() && line[0] == '[')
                out.push_back(line);
        return out;
    }

    void save_all()
    {
        ini_save_options();
        ini_save_text_settings();
        ini_save_dirs();
        ini_save_user_lists(0);
    }

    TempSettingsDir temp_{"kest_mainsettings_"};
    std::string root_;
    Connection first_;
    std::vector<int> load_listeners_;
    std::vector<int> save_listeners_;
};

// ---------------------------------------------------------------------------
// The first start.

TEST_F(MainSettingsTest, FirstStartInAnEmptyFolderWritesTheDefaults)
{
    EXPECT_EQ(settings_load_all(g_first), 1);
    save_all();
    const std::string file = slurp(main_ini_path);

    EXPECT_NE(file.find("n0=0,1,0,1,0,0,300,0,0,0,1,0,0,0,0,0,1,0,0,0,4096,0,1,0,1,1,1,1,0,50,1,0,0,1,0\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("n5=1,1,1,1,1,1,1,1,1,1,0,0,0,0,1,0,1,0,300,30,10,0,1,29,0,0,1,8192,0,0,0,115,0,1,0,1\n"),
              std::string::npos);
    EXPECT_NE(file.find("n8=1,2,1,168,1,1,1,2,0,0,1,1,0,0,1,1,1,0,0,0,0,0,168,1,0\n"), std::string::npos);

    struct Key {
        const char* section;
        const char* key;
        std::string value;
    };
    const Key keys[] = {
        {"text", "defport", "6667"},
        {"text", "commandchar", "/"},
        {"text", "linesep", "-"},
        {"text", "timestamp", "[HH:nn]"},
        {"text", "logstamp", "[HH:nn]"},
        {"text", "accept", kDefaultDccAcceptTypes},
        {"text", "ignore", kDefaultDccIgnoreTypes},
        {"text", "quit", ""},
        {"files", "servers", "servers.ini"},
        {"files", "urls", "urls.ini"},
        {"files", "addrbk", "addrbk.ini"},
        {"files", "browser", ""},
        {"files", "trayicon", ""},
        {"dirs", "logdir", "logs/"},
        {"dirs", "waves", "sounds/"},
        {"dirs", "midis", "sounds/"},
        {"dirs", "oggs", "sounds/"},
        {"dirs", "senddir", ""},
        {"dirs", "chans", ""},
        {"about", "version", kProgramVersionText},
        {"kest", "host", ""},
    };
    for (const Key& k : keys)
        EXPECT_EQ(read(k.section, k.key), k.value) << k.section << "/" << k.key;

    for (const char* dir : {"logs", "sounds", "channels"})
        EXPECT_TRUE(fs::is_directory(root_ + dir)) << dir;
    // Empty user lists create no file.
    EXPECT_FALSE(fs::exists(root_ + "control.ini"));

    EXPECT_EQ(main_settings.log_dir, root_ + "logs/");
    EXPECT_EQ(main_settings.chans_dir, root_ + "channels/");
    EXPECT_EQ(main_settings.send_dir, root_);
    EXPECT_EQ(main_settings.servers_file, root_ + "servers.ini");
    EXPECT_EQ(main_settings.chanfolder_file, main_ini_path);
    EXPECT_EQ(main_settings.trayicon_file, "");
    EXPECT_EQ(main_settings.finger_file, "");
    EXPECT_EQ(main_settings.fserve_home, "");
    EXPECT_EQ(strlist_count(main_settings.dcc_accept_types), 12);
    EXPECT_EQ(strlist_count(main_settings.dcc_ignore_types), 16);
    EXPECT_EQ(main_settings.warn_fserve, 1);
    EXPECT_EQ(main_settings.warn_dcc, 1);
    EXPECT_EQ(main_settings.warn_link, 1);
    EXPECT_EQ(main_settings.compact_mode, 0);
}

TEST_F(MainSettingsTest, SecondStartReadsWhatTheFirstWrote)
{
    settings_load_all(g_first);
    save_all();
    const std::string after_first = slurp(main_ini_path);
    reset_state();
    settings_load_all(g_first);
    save_all();
    EXPECT_EQ(slurp(main_ini_path), after_first);
}

// ---------------------------------------------------------------------------
// Section "text".

TEST_F(MainSettingsTest, TextSectionRules)
{
    struct Case {
        const char* name;
        const char* file;  // the "[text]" lines
        std::function<std::string()> got;
        std::string expected;
    };
    auto port = [] { return main_settings.default_port; };
    auto sep = [] { return main_settings.line_separator; };
    auto stamp = [] { return time_stamp_format; };
    auto logstamp = [] { return time_log_stamp_format; };
    auto cmd = [] { return main_settings.command_char; };
    auto accept = [] { return joined(main_settings.dcc_accept_types); };
    auto ignore = [] { return joined(main_settings.dcc_ignore_types); };
    const Case cases[] = {
        {"port not a number", "defport=abc\n", port, "6667"},
        {"port zero", "defport=0\n", port, "6667"},
        {"port negative", "defport=-5\n", port, "6667"},
        {"port empty", "defport=\n", port, "6667"},
        {"port number", "defport=7000\n", port, "7000"},
        {"port list kept as text", "defport=6667,7000\n", port, "6667,7000"},
        {"separator absent", "", sep, "-"},
        {"separator none", "linesep=none\n", sep, ""},
        {"separator NONE", "linesep=NONE\n", sep, ""},
        {"separator space", "linesep=Space\n", sep, " "},
        {"separator text", "linesep=~*~\n", sep, "~*~"},
        {"timestamp empty", "timestamp=\n", stamp, "[HH:nn]"},
        {"timestamp blanks", "timestamp=[HH    :  nn]\n", stamp, "[HH : nn]"},
        {"logstamp follows timestamp", "timestamp=(HH  nn)\n", logstamp, "(HH nn)"},
        {"logstamp blanks", "logstamp=<HH   nn   ss>\n", logstamp, "<HH nn ss>"},
        {"command char absent", "", cmd, "/"},
        {"command char empty", "commandchar=\n", cmd, "/"},
        {"command char", "commandchar=!\n", cmd, "!"},
        {"accept list", "accept=*.a, *.b,,*.c \n", accept, "*.a|*.b|*.c"},
        {"accept default", "accept=\n", accept,
         "*.jpg|*.gif|*.png|*.bmp|*.txt|*.log|*.wav|*.mid|*.mp3|*.wma|*.ogg|*.zip"},
        {"ignore list", "ignore=*.exe\n", ignore, "*.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset_state();
            spit(main_ini_path, std::string("[text]\n") + c.file);
        settings_load_all(g_first);
        EXPECT_EQ(c.got(), c.expected);
    }
}

TEST_F(MainSettingsTest, TextSettingsRoundTrip)
{
    settings_load_all(g_first);
    main_settings.default_port = "7000";
    main_settings.app_title = "Başlık";
    main_settings.command_char = "!";
    main_settings.quit_message = "güle güle";
    main_settings.finger_text = "finger me";
    main_settings.last_reset = "Mon Jan 1";
    time_stamp_format = "<HH:nn:ss>";
    time_log_stamp_format = "[dd HH]";
    strlist_free(&main_settings.dcc_accept_types);
    main_settings.dcc_accept_types = strlist_append(strlist_append(nullptr, "*.a", 0), "*.b", 0);
    ini_save_text_settings();

    reset_state();
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.default_port, "7000");
    EXPECT_EQ(main_settings.app_title, "Başlık");
    EXPECT_EQ(main_settings.command_char, "!");
    EXPECT_EQ(main_settings.quit_message, "güle güle");
    EXPECT_EQ(main_settings.finger_text, "finger me");
    EXPECT_EQ(main_settings.last_reset, "Mon Jan 1");
    EXPECT_EQ(time_stamp_format, "<HH:nn:ss>");
    EXPECT_EQ(time_log_stamp_format, "[dd HH]");
    EXPECT_EQ(joined(main_settings.dcc_accept_types), "*.a|*.b");
}

TEST_F(MainSettingsTest, SeparatorIsWrittenByName)
{
    struct Case {
        const char* separator;
        const char* stored;
    };
    const Case cases[] = {{"", "none"}, {" ", "space"}, {"=-=", "=-="}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        main_settings.line_separator = c.separator;
        ini_save_text_settings();
        EXPECT_EQ(read("text", "linesep"), c.stored);
        settings_load_all(g_first);
        EXPECT_EQ(main_settings.line_separator, c.separator);
    }
}

TEST_F(MainSettingsTest, FileTypeListIsCutAfterTheEntryThatReaches1024)
{
    StringNode* list = nullptr;
    for (int i = 0; i < 300; ++i)
        list = strlist_append(list, "*.e" + std::to_string(100 + i), 0);  // 6 characters each
    main_settings.dcc_ignore_types = list;
    ini_save_text_settings();
    const std::string stored = read("text", "ignore");
    // 146 entries of 6 plus 145 commas make 1,021; the 147th brings 1,028.
    EXPECT_EQ(stored.size(), 1028u);
    EXPECT_EQ(stored.substr(stored.size() - 6), "*.e246");
}

// ---------------------------------------------------------------------------
// Files, folders, the file server.

TEST_F(MainSettingsTest, FolderRules)
{
    fs::create_directories(root_ + "mylogs");
    fs::create_directories(root_ + "snd");
    fs::create_directories(root_ + "in/coming");
    spit(main_ini_path,
         "[dirs]\n"
         "senddir=in\\coming\n"
         "pics=nosuchfolder\n"
         "logdir=mylogs\n"
         "waves=snd\n"
         "mp3s=" + root_ + "mylogs\n");
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.send_dir, root_ + "in/coming/");
    EXPECT_EQ(main_settings.pics_dir, root_);  // a folder that does not exist
    EXPECT_EQ(main_settings.log_dir, root_ + "mylogs/");
    EXPECT_EQ(main_settings.waves_dir, root_ + "snd/");
    EXPECT_EQ(main_settings.midis_dir, root_ + "snd/");  // empty: the sound folder
    EXPECT_EQ(main_settings.mp3s_dir, root_ + "mylogs/");
    EXPECT_EQ(main_settings.chans_dir, root_ + "channels/");
    EXPECT_TRUE(fs::is_directory(root_ + "channels"));
    // Only missing default folders are made.
    EXPECT_FALSE(fs::exists(root_ + "logs"));
    EXPECT_FALSE(fs::exists(root_ + "sounds"));
    // The load writes the folders back relative to the settings folder.
    EXPECT_EQ(read("dirs", "senddir"), "in/coming/");
    EXPECT_EQ(read("dirs", "logdir"), "mylogs/");
    EXPECT_EQ(read("dirs", "midis"), "snd/");
    EXPECT_EQ(read("dirs", "pics"), "");
}

TEST_F(MainSettingsTest, MissingLogFolderSettingTakesTheLogsFolder)
{
    spit(main_ini_path, "[dirs]\nwaves=\n");
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.log_dir, root_ + "logs/");
    EXPECT_TRUE(fs::is_directory(root_ + "logs"));
    EXPECT_EQ(main_settings.waves_dir, root_ + "sounds/");
    EXPECT_EQ(main_settings.oggs_dir, root_ + "sounds/");
}

TEST_F(MainSettingsTest, FileSettings)
{
    fs::create_directories(root_ + "lists");
    spit(root_ + "lists/my.ini", "");
    spit(root_ + "book.ini", "");
    spit(main_ini_path,
         "[files]\n"
         "servers=lists\\my.ini\n"
         "addrbk=/nowhere/book.ini\n"
         "urls=/nowhere/u.ini\n"
         "trayicon=icons/k.ico\n"
         "finger=finger.txt\n"
         "browser=/usr/bin/old\n");
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.servers_file, root_ + "lists/my.ini");
    EXPECT_EQ(main_settings.addrbk_file, root_ + "book.ini");  // same name in the settings folder
    EXPECT_EQ(main_settings.urls_file, root_ + "urls.ini");    // neither exists: the default
    EXPECT_EQ(main_settings.trayicon_file, root_ + "icons/k.ico");
    EXPECT_EQ(main_settings.finger_file, root_ + "finger.txt");
    EXPECT_EQ(read("files", "browser"), "");

    ini_save_text_settings();
    EXPECT_EQ(read("files", "servers"), "lists/my.ini");
    EXPECT_EQ(read("files", "trayicon"), "icons/k.ico");
    EXPECT_EQ(read("files", "finger"), "finger.txt");
}

TEST_F(MainSettingsTest, BrowserIsLookedUpAfterTheOldKeyIsDeleted)
{
    spit(main_ini_path, "[files]\nbrowser=/usr/bin/old\n");
    main_settings.browser_path = "stale";
    on_load(kLoadBrowser, [](SettingsLoad&) {
        std::string v;
        ini_read("files", "browser", "", v, 1074, main_ini_path);
        g_calls.push_back("browser:" + v + ":" + main_settings.browser_path);
        main_settings.browser_path = "/usr/bin/new";
    });
    settings_load_all(g_first);
    EXPECT_EQ(g_calls, std::vector<std::string>{"browser::"});
    EXPECT_EQ(main_settings.browser_path, "/usr/bin/new");
}

TEST_F(MainSettingsTest, UrlListTakesOnlyAddressEntries)
{
    spit(root_ + "urls.ini", "[urls]\nn0=0:Home URL:http://a.example\nn1=no address\nn2=1:Two URL:ftp://b\n");
    settings_load_all(g_first);
    EXPECT_EQ(texts(main_settings.url_list),
              (std::vector<std::string>{"0:Home URL:http://a.example", "1:Two URL:ftp://b"}));
}

TEST_F(MainSettingsTest, FileServerSettings)
{
    fs::create_directories(root_ + "share");
    spit(main_ini_path, "[fileserver]\nhomedir=share\nwelcome=welcome.txt\n");
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.fserve_home, root_ + "share/");
    EXPECT_EQ(main_settings.fserve_welcome, root_ + "welcome.txt");
}

TEST_F(MainSettingsTest, FileServerWarningMovesToItsNewPlace)
{
    struct Case {
        const char* file;
        int flag;
        const char* stored;  // "warn"/"fserve" afterwards
    };
    const Case cases[] = {
        {"[fileserver]\nwarning=off\n", 0, "off"},
        {"[fileserver]\nwarning=OFF\n[warn]\nfserve=on\n", 0, "off"},
        {"[fileserver]\nwarning=yes\n[warn]\nfserve=off\n", 1, "on"},
        {"[warn]\nfserve=Off\n", 0, "Off"},
        {"[warn]\nfserve=\n", 1, ""},
        {"", 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        spit(main_ini_path, c.file);
        settings_load_all(g_first);
        EXPECT_EQ(main_settings.warn_fserve, c.flag);
        EXPECT_EQ(read("warn", "fserve"), c.stored);
        EXPECT_EQ(read("fileserver", "warning"), "");
    }
}

TEST_F(MainSettingsTest, WarningFlagsAndWizardNumber)
{
    spit(main_ini_path, "[warn]\ndcc=OFF\nlink=off\n[wizard]\nwarning=12x\n");
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.warn_dcc, 0);
    EXPECT_EQ(main_settings.warn_link, 0);
    EXPECT_EQ(main_settings.wizard_warning, 12);
}

TEST_F(MainSettingsTest, OldLinkSectionIsDeletedOnlyWhenItNamesAProgram)
{
    spit(main_ini_path, "[kestlink]\nexe=link.exe\npath=c:\\x\n[keep]\na=1\n");
    settings_load_all(g_first);
    EXPECT_EQ(read("kestlink", "path"), "");
    EXPECT_EQ(read("keep", "a"), "1");

    spit(main_ini_path, "[kestlink]\nexe=\npath=c:\\x\n");
    settings_load_all(g_first);
    EXPECT_EQ(read("kestlink", "path"), "c:\\x");
}

// ---------------------------------------------------------------------------
// The user lists.

TEST_F(MainSettingsTest, UserListsMoveToControlIni)
{
    spit(main_ini_path,
         "[kest]\nnick=n\n\n"
         "[ignore]\nn0=*!*@spam.example,all\nn1=bad!*@*\n\n"
         "[autoop]\nn0=*!*@friend,#chan\n\n"
         "[protect]\nn0=*!*@me\n\n"
         "[text]\nquit=bye\n");
    spit(root_ + "control.ini", "[voice]\nn0=*!*@voiced\n");
    settings_load_all(g_first);

    EXPECT_EQ(texts(main_settings.ignore_list), (std::vector<std::string>{"*!*@spam.example,all", "bad!*@*"}));
    EXPECT_EQ(texts(main_settings.aop_list), std::vector<std::string>{"*!*@friend,#chan"});
    EXPECT_EQ(texts(main_settings.avoice_list), std::vector<std::string>{"*!*@voiced"});
    EXPECT_EQ(texts(main_settings.protect_list), std::vector<std::string>{"*!*@me"});

    const std::vector<std::string> main_sections = sections(main_ini_path);
    for (const char* gone : {"[ignore]", "[autoop]", "[protect]"})
        EXPECT_EQ(std::find(main_sections.begin(), main_sections.end(), gone), main_sections.end()) << gone;
    EXPECT_EQ(read("kest", "nick"), "n");
    EXPECT_EQ(read("text", "quit"), "bye");

    const std::string control = root_ + "control.ini";
    EXPECT_EQ(read("ignore", "n0", control), "*!*@spam.example,all");
    EXPECT_EQ(read("ignore", "n1", control), "bad!*@*");
    EXPECT_EQ(read("op", "n0", control), "*!*@friend,#chan");
    EXPECT_EQ(read("voice", "n0", control), "*!*@voiced");
    EXPECT_EQ(read("protect", "n0", control), "*!*@me");

    // A second start reads the same lists from control.ini alone.
    main_settings_free_lists();
    ini_load_user_lists();
    EXPECT_EQ(texts(main_settings.ignore_list), (std::vector<std::string>{"*!*@spam.example,all", "bad!*@*"}));
    EXPECT_EQ(texts(main_settings.protect_list), std::vector<std::string>{"*!*@me"});
}

TEST_F(MainSettingsTest, OldUserListStaysWhenControlIniCannotBeWritten)
{
    fs::create_directories(root_ + "control.ini");  // a folder where the file should be
    spit(main_ini_path, "[ignore]\nn0=keep!*@*\n");
    ini_load_user_lists();
    EXPECT_EQ(texts(main_settings.ignore_list), std::vector<std::string>{"keep!*@*"});
    EXPECT_EQ(read("ignore", "n0"), "keep!*@*");
}

TEST_F(MainSettingsTest, UserListsSaveBySelection)
{
    main_settings.ignore_list = strlist_append(nullptr, "i!*@*", 0);
    main_settings.aop_list = strlist_append(nullptr, "o!*@*", 0);
    main_settings.avoice_list = strlist_append(nullptr, "v!*@*", 0);
    main_settings.protect_list = strlist_append(nullptr, "p!*@*", 0);
    const std::string control = root_ + "control.ini";

    ini_save_user_lists(2 | 8);
    EXPECT_EQ(sections(control), (std::vector<std::string>{"[op]", "[protect]"}));
    ini_save_user_lists(0);
    const std::vector<std::string> all = sections(control);
    EXPECT_EQ(all.size(), 4u);
    for (const char* h : {"[ignore]", "[op]", "[voice]", "[protect]"})
        EXPECT_NE(std::find(all.begin(), all.end(), h), all.end()) << h;

    // An emptied list keeps its header with no entries.
    strlist_free(&main_settings.aop_list);
    ini_save_user_lists(2);
    EXPECT_EQ(read("op", "n0", control), "");
    EXPECT_EQ(read("voice", "n0", control), "v!*@*");
}

// ---------------------------------------------------------------------------
// The other parts' loaders and the last steps.

TEST_F(MainSettingsTest, LoadersRunInTheirOrder)
{
    spit(main_ini_path, "[options]\nn0=1\n[ignore]\nn0=x!*@*\n");
    // Added in an order of their own: the steps put them in the load's order.
    record_load(kLoadTips, "tips");
    record_load(kLoadLocalHost, "local host");
    on_load(kLoadIdentity, [](SettingsLoad& load) {
        std::string servers = main_settings.servers_file;
        g_calls.push_back(std::string(load.first == g_first ? "identity first" : "identity other") +
                          (servers.empty() ? "" : " servers"));
    });
    on_load(kLoadFirstServer, [](SettingsLoad&) {
        g_calls.push_back(main_settings.servers_file.empty() ? "server" : "server servers");
    });
    record_load(kLoadLayers, "layers");
    record_load(kLoadOptionsOrder, "options order");
    record_load(kLoadStyles, "styles");
    record_load(kLoadTrusted, "trusted");
    record_load(kLoadDccPorts, "dcc ports");
    record_load(kLoadBrowser, "browser");
    record_load(kLoadLanguage, "language");
    record_load(kLoadColours, "colours");
    on_load(kLoadNotifyList, [](SettingsLoad& load) {
        g_calls.push_back(load.first == g_first ? "notify list first" : "notify list other");
    });
    // The option lines are read between these two.
    on_load(kLoadNotifyOptions, [](SettingsLoad&) {
        g_calls.push_back("notify options " + std::to_string(opt(OPT_CONNECT_ON_STARTUP)));
    });
    on_load(kLoadIdent, [](SettingsLoad&) { g_calls.push_back("ident " + std::to_string(opt(OPT_CONNECT_ON_STARTUP))); });
    record_load(kLoadWindowEvents, "window events");
    record_load(kLoadClicks, "clicks");
    record_load(kLoadDccNicks, "dcc nicks");
    record_load(kLoadSounds, "sounds");
    record_load(kLoadChannelsList, "channels list");
    record_load(kLoadProxy, "proxy");
    record_load(kLoadPerform, "perform");
    record_load(kLoadDragDrop, "drag and drop");
    record_load(kLoadDccExtensions, "dcc extensions");
    record_load(kLoadDccServer, "dcc server");
    record_load(kLoadHighlight, "highlight");
    record_load(kLoadMarker, "marker");
    // The user lists are read between these two.
    on_load(kLoadNickColours, [](SettingsLoad&) {
        g_calls.push_back(std::string("nick colours ") + (main_settings.ignore_list ? "lists" : "no lists"));
    });
    on_load(kLoadAgent, [](SettingsLoad&) {
        g_calls.push_back(std::string("agent ") + (main_settings.ignore_list ? "lists" : "no lists"));
    });
    on_load(kLoadIdentityCopy, [](SettingsLoad& load) {
        g_calls.push_back(load.first == g_first ? "identity copy first" : "identity copy other");
    });
    record_load(kLoadServerGroup, "server group");
    record_load(kLoadChannelsFilter, "channels filter");
    on_load(kLoadAliasFiles, [](SettingsLoad& load) {
        g_calls.push_back("alias files");
        load.result = 5;
    });
    on_load(kLoadPopupFiles, [](SettingsLoad& load) {
        g_calls.push_back("popup files");
        load.result = 6;
    });
    on_load(kLoadRemoteFiles, [](SettingsLoad& load) {
        g_calls.push_back("remote files");
        load.result = 7;
    });

    EXPECT_EQ(settings_load_all(g_first), 7);
    const std::vector<std::string> expected = {
        "identity first",  // before the server list's file is read
        "server servers",
        "local host",
        "dcc ports",
        "browser",
        "language",
        "colours",
        "notify list first",
        "notify options 0",
        "ident 1",
        "window events",
        "clicks",
        "dcc nicks",
        "sounds",
        "channels list",
        "proxy",
        "perform",
        "drag and drop",
        "dcc extensions",
        "dcc server",
        "highlight",
        "marker",
        "nick colours no lists",
        "agent lists",
        "trusted",
        "styles",
        "options order",
        "layers",
        "tips",
        "identity copy first",
        "server group",
        "channels filter",
        "alias files",
        "popup files",
        "remote files",
    };
    EXPECT_EQ(g_calls, expected);

    // A second load calls each listener once more.
    main_settings_free_lists();
    options_reset();
    main_settings.servers_file.clear();
    g_calls.clear();
    settings_load_all(g_first);
    EXPECT_EQ(g_calls, expected);
}

// Compact mode is set before the step after it and the version is written
// before the script files load.
TEST_F(MainSettingsTest, StepsAfterTheLoadersSeeTheSectionsBeforeThem)
{
    spit(main_ini_path, "[mode]\nstate=compact\n");
    on_load(kLoadTips, [](SettingsLoad&) { g_calls.push_back("tips " + std::to_string(main_settings.compact_mode)); });
    on_load(kLoadIdentityCopy,
            [](SettingsLoad&) { g_calls.push_back("identity " + std::to_string(main_settings.compact_mode)); });
    on_load(kLoadChannelsFilter, [](SettingsLoad&) {
        std::string v;
        ini_read("about", "version", "", v, 100, main_ini_path);
        g_calls.push_back("filter " + v);
    });
    on_load(kLoadAliasFiles, [](SettingsLoad&) {
        std::string v;
        ini_read("about", "version", "", v, 100, main_ini_path);
        g_calls.push_back("alias " + v);
    });
    settings_load_all(g_first);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"tips 0", "identity 1", "filter ",
                                                 std::string("alias ") + kProgramVersionText}));
}

TEST_F(MainSettingsTest, WithoutAConnectionItsStepsAreSkipped)
{
    g_first = nullptr;
    record_load(kLoadIdentity, "identity");
    record_load(kLoadFirstServer, "server");
    record_load(kLoadLocalHost, "local host");
    record_load(kLoadNotifyList, "notify list");
    record_load(kLoadIdentityCopy, "identity");
    record_load(kLoadChannelsFilter, "channels filter");
    on_load(kLoadServerGroup, [](SettingsLoad& load) { g_calls.push_back(load.first ? "group first" : "group"); });
    spit(main_ini_path, "[kest]\nnick=x\nhost=NSERVER:h:1\n");
    EXPECT_EQ(settings_load_all(g_first), 1);
    EXPECT_EQ(g_calls, std::vector<std::string>{"group"});
}

// /saveini: the main settings' own sections, with the other parts' steps
// (the main window, the colours, the nick colours, the identity) between
// them in their places.
TEST_F(MainSettingsTest, SaveAllWritesEverySectionInItsOrder)
{
    main_settings.ignore_list = strlist_append(nullptr, "i!*@*", 0);
    main_settings.quit_message = "hoşça kal";
    // Each listener sees which sections were already written.
    auto seen = [](const char* name) {
        std::string window, options, nick, lists;
        ini_read("windows", "main", "", window, 100, main_ini_path);
        ini_read("options", "n0", "", options, 100, main_ini_path);
        ini_read("kest", "nick", "", nick, 100, main_ini_path);
        ini_read("ignore", "n0", "", lists, 100, settings_control_ini_path());
        g_calls.push_back(std::string(name) + (window.empty() ? "" : " window") + (options.empty() ? "" : " options") +
                          (nick.empty() ? "" : " nick") + (lists.empty() ? "" : " lists"));
    };
    on_save(kSettingsSaveIdentity, [seen] {
        seen("identity");
        ini_write("kest", "nick", "kaydet", main_ini_path);
    });
    on_save(kSettingsSaveNickColours, [seen] { seen("nick colours"); });
    on_save(kSettingsSaveColours, [seen] { seen("colours"); });
    on_save(kSettingsSaveMainWindow, [seen] {
        seen("window");
        MainWindowPlacement p;
        p.width = 640;
        p.height = 480;
        ini_save_main_window_placement(p, false);
    });

    settings_save_all();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"window", "colours window", "nick colours window options",
                                                 "identity window options"}));
    EXPECT_EQ(read("windows", "main"), "0,640,0,480,0,1,0");
    EXPECT_EQ(read("text", "quit"), "hoşça kal");
    EXPECT_EQ(read("kest", "nick"), "kaydet");
    EXPECT_EQ(read("ignore", "n0", root_ + "control.ini"), "i!*@*");

    // A second save calls each step once more.
    g_calls.clear();
    settings_save_all();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"window window options nick lists",
                                                 "colours window options nick lists",
                                                 "nick colours window options nick lists",
                                                 "identity window options nick lists"}));
}

TEST_F(MainSettingsTest, CompactModeSetsTheTreebarOptions)
{
    spit(main_ini_path, "[mode]\nstate=Compact\n[options]\nn8=0,3,0\n");
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.compact_mode, 1);
    EXPECT_EQ(opt(OPT_TREEBAR_SIDE), 1);
    EXPECT_EQ(opt(OPT_TREEBAR_SHOWN), 1);
    EXPECT_EQ(opt(OPT_TOOLBAR_SIDE), 0);

    options_reset();
    spit(main_ini_path, "[mode]\nstate=normal\n[options]\nn8=0,3,0\n");
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.compact_mode, 0);
    EXPECT_EQ(opt(OPT_TREEBAR_SIDE), 3);
    EXPECT_EQ(opt(OPT_TREEBAR_SHOWN), 0);
}

TEST_F(MainSettingsTest, OlderDefaultPortInTheOptionsReplacesThePortText)
{
    spit(main_ini_path, "[text]\ndefport=6667\n[options]\nn5=1,1,1,1,1,1,1,1,1,1,7000\n");
    settings_load_all(g_first);
    EXPECT_EQ(main_settings.default_port, "7000");
    ini_save_options();
    ini_save_text_settings();
    EXPECT_EQ(read("text", "defport"), "7000");
    EXPECT_EQ(read("options", "n5").substr(0, 22), "1,1,1,1,1,1,1,1,1,1,0,");
}

TEST_F(MainSettingsTest, VersionIsWrittenWhenItDiffers)
{
    struct Case {
        const char* stored;
        bool rewritten;
    };
    std::string upper = kProgramVersionText;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const Case cases[] = {{"", true}, {"Kest 0.0.1", true}, {upper.c_str(), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        spit(main_ini_path, std::string("[about]\nversion=") + c.stored + "\n");
        settings_load_all(g_first);
        EXPECT_EQ(read("about", "version"), c.rewritten ? std::string(kProgramVersionText) : std::string(c.stored));
    }
}

// ---------------------------------------------------------------------------
// The main window's placement.

MainWindowPlacement g_placement;
int g_shift = 0;

TEST_F(MainSettingsTest, MainWindowPlacement)
{
    MainWindowPlacement base;
    base.left = 10;
    base.top = 20;
    base.width = 800;
    base.height = 600;
    base.normal_left = 1;
    base.normal_top = 2;
    base.normal_width = 3;
    base.normal_height = 4;

    struct Case {
        const char* name;
        std::function<void(MainWindowPlacement&)> set;
        int shift;
        const char* expected;
    };
    const Case cases[] = {
        {"normal", [](MainWindowPlacement&) {}, 0, "10,800,20,600,0,0,1"},
        {"minimised", [](MainWindowPlacement& p) { p.minimised = 1; }, 0, "1,3,2,4,1,0,1"},
        {"maximised", [](MainWindowPlacement& p) { p.maximised = 1; }, 0, "1,3,2,4,2,0,1"},
        {"in the tray",
         [](MainWindowPlacement& p) {
             p.hidden_in_tray = 1;
             p.visible = 0;
             p.minimised = 1;
         },
         0, "1,3,2,4,3,0,1"},
        {"in the tray, restores maximised",
         [](MainWindowPlacement& p) {
             p.hidden_in_tray = 1;
             p.visible = 0;
             p.restores_maximised = 1;
         },
         0, "1,3,2,4,4,0,1"},
        {"tray flag but visible", [](MainWindowPlacement& p) { p.hidden_in_tray = 1; }, 0, "10,800,20,600,0,0,1"},
        {"shift held", [](MainWindowPlacement&) {}, 1, "1,3,2,4,3,0,1"},
        {"shift held, maximised",
         [](MainWindowPlacement& p) {
             p.maximised = 1;
             p.restores_maximised = 1;
         },
         1, "1,3,2,4,4,0,1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        spit(main_ini_path, "[windows]\nmain=5,6,7,8,2,0,1\nscripts=1,2,3,4,0,1,0\n");
        g_placement = base;
        c.set(g_placement);
        g_shift = c.shift;
        ini_save_main_window_placement(g_placement, g_shift != 0);
        EXPECT_EQ(read("windows", "main"), c.expected);
        EXPECT_EQ(read("windows", "scripts"), "1,2,3,4,0,1,0");
    }

    // Nothing stored yet: the sixth and seventh fields are 1 and 0.
    spit(main_ini_path, "");
    g_placement = base;
    g_shift = 0;
    ini_save_main_window_placement(g_placement, false);
    EXPECT_EQ(read("windows", "main"), "10,800,20,600,0,1,0");
}

}  // namespace
