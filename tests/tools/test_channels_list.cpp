// The channels list against the protocol's real numerics table: the request
// a filter makes, the reply lines it keeps, shows and writes to the list
// file, the list file read back, the network name from the welcome text,
// and a hostile server's flood of long lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands/channel_commands.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "irc/chat_test_support.h"
#include "irc/numerics/query_replies.h"
#include "support/cpu_time.h"
#include "core/ini.h"
#include "tools/channels_list.h"
#include "tools/channels_list_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <memory>

namespace {

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class ChannelsList : public ChatLink {
protected:
    void SetUp() override
    {
        ChatLink::SetUp();
        conn->registered = 1;
        saved_range_ = opt(OPT_CHANLIST_RANGE_REQUEST);
        opt_set(OPT_CHANLIST_RANGE_REQUEST, 0);
        dir_ = std::filesystem::temp_directory_path() / ("kest_chanlist_" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        saved_dir_ = main_settings.chans_dir;
        main_settings.chans_dir = dir_.string() + "/";
        query_chanlist_entry = chanlist_add_reply_line;
        irc_chanlist_network_from_welcome = chanlist_network_from_welcome_text;
        conn_chanlist_copy_filter = chanlist_copy_filter;
        channels_list_install();
        saved_defaults_ = chanlist_defaults;
        chanlist_defaults = ChannelListFilter{};
        chanlist_defaults.list_file = "test.txt";
        chanlist_copy_filter(0, conn);
        chanlist_changed.add_once(changed_listener_, 50, [this](Connection*, int change) { changes.push_back(change); });
    }
    void TearDown() override
    {
        chanlist_changed.remove(changed_listener_);
        channels_list_uninstall();
        chanlist_defaults = saved_defaults_;
        opt_set(OPT_CHANLIST_RANGE_REQUEST, saved_range_);
        main_settings.chans_dir = saved_dir_;
        std::filesystem::remove_all(dir_);
        ChatLink::TearDown();
    }

    // The shown channels in the list's order.
    std::vector<std::string> shown()
    {
        std::vector<std::string> out;
        const ChannelListState& st = chanlist_state(conn);
        for (int row : chanlist_shown_rows(conn)) {
            const std::string& t = st.lines[static_cast<std::size_t>(row)].text;
            out.push_back(t.substr(1, t.find('\t') - 1));
        }
        return out;
    }

    void list_reply(const std::vector<std::string>& entries)
    {
        feed(":srv 321 me Channel :Users  Name");
        for (const std::string& e : entries)
            feed(":srv 322 me " + e);
        feed(":srv 323 me :End of /LIST");
    }

    std::filesystem::path dir_;
    std::string saved_dir_;
    ChannelListFilter saved_defaults_;
    int changed_listener_ = 0;
    int saved_range_ = 0;
    std::vector<int> changes;
};

// ---- The request ----

TEST_F(ChannelsList, RequestLineFollowsTheServersKindAndTheFilter)
{
    struct Case {
        const char* what;
        int server_flags;
        const char* elist;   // null: no ELIST announced
        int min, max;
        const char* match;
        int topic_option;
        const char* text;
        const char* line;
        int saves;
    } cases[] = {
        {"plain server", 0, nullptr, 0, 9999, "", 0, "", "LIST\n", 1},
        {"range kind, no minimum", kServerPlusChannels, nullptr, 0, 9999, "", 0, "", "LIST <10000\n", 1},
        {"range kind with a minimum", kServerPlusChannels, nullptr, 5, 20, "", 0, "", "LIST >4,<21\n", 1},
        {"range with the match word", kServerOperModesAa, nullptr, 1, 1, "chat talk", 0, "", "LIST >0,<2,*chat*\n", 1},
        {"match word left out under the topic option", kServerOperModesAa, nullptr, 0, 50, "chat", 1, "",
         "LIST <51\n", 1},
        {"IRCX asks with LISTX", kServerIrcx, nullptr, 0, 9999, "", 0, "", "LISTX <10000\n", 1},
        {"plain-list kind wins over range", kServerPlainList | kServerPlusChannels, nullptr, 3, 9, "", 0, "",
         "LIST\n", 1},
        {"a channel argument is sent and not saved", kServerPlusChannels, nullptr, 3, 9, "", 0, "#only",
         "LIST #only\n", 0},
        {"ELIST U gives the user range", 0, "U", 0, 9999, "", 0, "", "LIST <10000\n", 1},
        {"ELIST MU: range and a starred word as it stands", 0, "MU", 2, 9, "*kest*", 0, "",
         "LIST >1,<10,*kest*\n", 1},
        {"ELIST N: a negated word as it stands", 0, "N", 0, 9999, "!*warez*", 0, "", "LIST !*warez*\n", 1},
        {"ELIST without letters asks plainly", 0, "", 0, 9999, "chat", 0, "", "LIST\n", 1},
        {"ELIST with a text: only the text", 0, "UM", 2, 9, "chat", 0, "#x*", "LIST #x*\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        conn->server_flags = c.server_flags;
        IrcConnState* st = irc_state(conn);
        st->elist_given = c.elist != nullptr;
        st->elist = c.elist ? c.elist : "";
        ChannelListFilter& f = chanlist_state(conn).filter;
        f.min_users = c.min;
        f.max_users = c.max;
        f.match_words = c.match;
        f.topic_option = c.topic_option;
        int save = -1;
        EXPECT_EQ(chanlist_request_line(c.text, conn, &save), c.line);
        EXPECT_EQ(save, c.saves);
    }
}

TEST_F(ChannelsList, ClampingKeepsTheRangeInBounds)
{
    struct Case {
        int min, max, want_min, want_max;
    } cases[] = {
        {-1, 50, 0, 50}, {10000, 50, 0, 50}, {5, -1, 5, 9999}, {40, 10, 40, 40}, {0, 10000, 0, 9999},
        {9999, 9999, 9999, 9999},
    };
    for (const Case& c : cases) {
        ChannelListFilter f;
        f.min_users = c.min;
        f.max_users = c.max;
        chanlist_clamp(f);
        EXPECT_EQ(f.min_users, c.want_min) << c.min << " " << c.max;
        EXPECT_EQ(f.max_users, c.want_max) << c.min << " " << c.max;
    }
    ChannelListFilter t;
    t.created_low = -5;
    t.created_high = 3;
    t.topic_low = -9;
    t.topic_high = -4;
    chanlist_clamp(t);
    EXPECT_EQ(t.created_low, 0);
    EXPECT_EQ(t.created_high, 3);
    EXPECT_EQ(t.topic_low, -9);
    EXPECT_EQ(t.topic_high, 0);
}

TEST_F(ChannelsList, ASecondListIsRefusedAndStopIsSentOnce)
{
    ASSERT_EQ(run({"list"}, cmd_list), 1);
    ASSERT_EQ(sent(), std::vector<std::string>{"LIST\n"});
    feed(":srv 321 me Channel :Users  Name");
    run({"list"}, cmd_list);
    EXPECT_EQ(sent().size(), 1u) << "no second LIST while one runs";
    run({"list", "stop"}, cmd_list);
    run({"list", "stop"}, cmd_list);
    EXPECT_EQ(sent(), (std::vector<std::string>{"LIST\n", "LIST stop\n"}));
    feed(":srv 323 me :End of /LIST");
    EXPECT_EQ(conn->chanlist_busy, 0);
    run({"list"}, cmd_list);
    EXPECT_EQ(sent().back(), "LIST\n") << "idle again: a new list may be asked for";
}

// ---- Replies ----

TEST_F(ChannelsList, RangeAndWordsDecideWhatIsShownAndWhatIsSaved)
{
    ChannelListFilter& f = chanlist_defaults;
    f.min_users = 5;
    f.max_users = 100;
    f.match_words = "chat";
    f.hide_option = 1;
    f.hide_words = "spam";
    run({"list"}, cmd_list);
    list_reply({
        "#chatters 10 :a place",        // in range, matches: shown and saved
        "#small-chat 2 :tiny",          // out of range: saved only
        "#other 50 :nothing here",      // in range, no match: saved only
        "#spamchat 40 :buy",            // hidden: neither
        "#chat100 100 :edge",           // the upper bound counts
        "#chat5 5",                     // the lower bound counts, no topic
        "#chat4 4 :below",              // just below: saved only
    });
    EXPECT_EQ(shown(), (std::vector<std::string>{"#chat100", "#chat5", "#chatters"})) << "sorted by name at the end";
    const std::string file = read_file(main_settings.chans_dir + "test.txt");
    const std::string body = file.substr(file.find("\r\n") + 2);
    EXPECT_EQ(body,
              "#chatters 10 a place\r\n#small-chat 2 tiny\r\n#other 50 nothing here\r\n#chat100 100 edge\r\n"
              "#chat5 5\r\n#chat4 4 below\r\n");
    EXPECT_EQ(file.find("#spamchat"), std::string::npos);
    EXPECT_EQ(chanlist_state(conn).received, 7);
    EXPECT_EQ(chanlist_state(conn).shown, 3);
    EXPECT_EQ(conn->chanlist_busy, 0);
    EXPECT_EQ(conn->chanlist_file, -1) << "the file is closed at the end";
}

TEST_F(ChannelsList, TopicOptionMatchesTheTopicToo)
{
    for (int topic_option : {0, 1}) {
        SCOPED_TRACE(topic_option);
        chanlist_defaults.match_words = "kittens";
        chanlist_defaults.topic_option = topic_option;
        run({"list"}, cmd_list);
        list_reply({"#pets 9 :all about \x02Kittens\x02", "#kittens 3 :x"});
        if (topic_option)
            EXPECT_EQ(shown(), (std::vector<std::string>{"#kittens", "#pets"}));
        else
            EXPECT_EQ(shown(), std::vector<std::string>{"#kittens"});
    }
}

TEST_F(ChannelsList, NamelessChannelsAreNeitherShownNorSaved)
{
    chanlist_defaults.nameless_option = 1;
    run({"list"}, cmd_list);
    list_reply({"#- 3", "#0 3", "#0a 3", "#a 3", "#_x 3", "#00 3"});
    EXPECT_EQ(shown(), (std::vector<std::string>{"#00", "#0a", "#a"})) << "a zero followed by a digit has a name";
    const std::string file = read_file(main_settings.chans_dir + "test.txt");
    EXPECT_EQ(file.find("#- "), std::string::npos);
    EXPECT_EQ(file.find("#_x"), std::string::npos);
    EXPECT_NE(file.find("#0a 3"), std::string::npos);
}

TEST_F(ChannelsList, ARequestWithAChannelLeavesTheListFileAlone)
{
    run({"list"}, cmd_list);
    list_reply({"#keep 4 :kept"});
    const std::string before = read_file(main_settings.chans_dir + "test.txt");
    ASSERT_NE(before.find("#keep"), std::string::npos);
    run({"list", "#other"}, cmd_list);
    EXPECT_EQ(sent().back(), "LIST #other\n");
    list_reply({"#other 9 :new"});
    EXPECT_EQ(shown(), std::vector<std::string>{"#other"});
    EXPECT_EQ(read_file(main_settings.chans_dir + "test.txt"), before);
}

TEST_F(ChannelsList, WindowHearsTheReplyBeginAddAndEnd)
{
    run({"list"}, cmd_list);
    std::vector<std::string> lines;
    for (int i = 0; i < 120; ++i)
        lines.push_back("#c" + std::to_string(i) + " 3 :t");
    list_reply(lines);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.front(), kChanListOpen);
    EXPECT_EQ(changes.back(), kChanListEnded);
    const auto adds = std::count(changes.begin(), changes.end(), static_cast<int>(kChanListAdded));
    EXPECT_GE(adds, 2) << "the window is told in batches";
    EXPECT_LE(adds, 121);
    EXPECT_EQ(std::count(changes.begin(), changes.end(), static_cast<int>(kChanListEnded)), 1);
}

TEST_F(ChannelsList, ALostLinkEndsTheListing)
{
    run({"list"}, cmd_list);
    feed(":srv 322 me #a 3 :x");
    ASSERT_EQ(conn->chanlist_busy, 2);
    reply_chanlist_end(conn);
    EXPECT_EQ(conn->chanlist_busy, 0);
    EXPECT_EQ(conn->chanlist_file, -1);
    reply_chanlist_end(conn);  // a second end changes nothing
    EXPECT_EQ(std::count(changes.begin(), changes.end(), static_cast<int>(kChanListEnded)), 1);
}

// ---- Words ----

TEST(ChannelsListWords, MatchWordsTable)
{
    struct Case {
        const char* words;
        const char* text;
        int result;
    } cases[] = {
        {"chat", "#chatroom", 1},
        {"CHAT", "#chatroom", 1},
        {"foo chat", "#chatroom", 1},
        {"foo bar", "#chatroom", 0},
        {"*room*", "#chatroom", 1},
        {"*zoo*", "#chatroom", 0},
        {"!*zoo*", "#chatroom", 1},
        {"!*room*", "#chatroom", 0},
        {"*", "#chatroom", 0},   // a lone star is a plain word
        {"  chat  ", "#chatroom", 1},
        {"", "#chatroom", 0},
        {"chat", "", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chanlist_match_words(c.words, c.text), c.result) << c.words << " / " << c.text;
}

TEST(ChannelsListWords, SafeNameTable)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"Example", "Example"}, {"\"Quoted\"", "Quoted"}, {"two words", "two"},
        {"a/b\\c", "a_b_c"},    {"x-y.z", "x-y.z"},       {"", ""},
        {"'", ""},              {"ü", "__"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chanlist_safe_name(c.in), c.out) << c.in;
}

TEST_F(ChannelsList, NetworkFromTheWelcomeText)
{
    struct Case {
        const char* text;
        const char* saved;
        const char* network;
        const char* file;
    } cases[] = {
        {"Welcome to the ExampleNet IRC Network me", "", "ExampleNet", "ExampleNet.txt"},
        {"  welcome to the   Odd/Net! x", "", "Odd_Net_", "Odd_Net_.txt"},
        {"Welcome to the Internet Relay Network me", "", "", "channels.txt"},
        {"Welcome to the IRC world", "Saved", "Saved", "Saved.txt"},
        {"Hello there", "12345", "", "channels.txt"},
        {"Hello there", "", "", "channels.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        conn->network.clear();
        conn->live_server[2] = c.saved;
        irc_state(conn)->network_from_server = 0;
        chanlist_state(conn).filter.list_file.clear();
        chanlist_network_from_welcome_text(c.text, conn);
        EXPECT_EQ(conn->network, c.network);
        EXPECT_EQ(chanlist_state(conn).filter.list_file, c.file);
    }
}

TEST_F(ChannelsList, AnExistingFileOfTheNetworkIsTaken)
{
    std::ofstream(main_settings.chans_dir + "examplenet-old.txt") << "h\n";
    conn->network.clear();
    conn->live_server[2].clear();
    chanlist_state(conn).filter.list_file.clear();
    chanlist_network_from_welcome_text("Welcome to the ExampleNet x", conn);
    EXPECT_EQ(chanlist_state(conn).filter.list_file, "examplenet-old.txt");
    std::ofstream(main_settings.chans_dir + "EXAMPLENET.txt") << "h\n";
    chanlist_state(conn).filter.list_file.clear();
    chanlist_network_from_welcome_text("Welcome to the ExampleNet x", conn);
    EXPECT_EQ(chanlist_state(conn).filter.list_file, "EXAMPLENET.txt") << "the exact name wins";
}

// ---- The list file ----

TEST_F(ChannelsList, LoadingSkipsLinesWithoutACount)
{
    std::ofstream(main_settings.chans_dir + "test.txt")
        << "srv.example Fri Dec 11 10:00:00 2026\r\n"
        << "#good 12 a topic with  blanks\r\n"
        << "#nocount words here\r\n"
        << "#lonely\r\n"
        << "   #lead -3\n"
        << "#plus +7 t\n";
    ASSERT_EQ(chanlist_load_file(conn), 1);
    const ChannelListState& st = chanlist_state(conn);
    EXPECT_EQ(st.header, "srv.example Fri Dec 11 10:00:00 2026");
    ASSERT_EQ(st.lines.size(), 3u);
    EXPECT_EQ(st.lines[0].text, " #good\t12\ta topic with  blanks");
    EXPECT_EQ(st.lines[0].users, 12);
    EXPECT_EQ(st.lines[1].text, " #lead\t-3");
    EXPECT_EQ(st.lines[1].users, 1) << "no positive count counts as 1";
    EXPECT_EQ(st.lines[2].text, " #plus\t+7\tt");
}

TEST_F(ChannelsList, RefillAppliesTheFilterToTheStoredFile)
{
    std::ofstream(main_settings.chans_dir + "test.txt") << "hdr\n#a 1 x\n#b 50 music\n#c 500 music\n#d 50 other\n";
    chanlist_defaults.min_users = 10;
    chanlist_defaults.max_users = 100;
    chanlist_defaults.match_words = "music";
    chanlist_defaults.topic_option = 1;
    EXPECT_EQ(chanlist_refill(1, conn), 1);
    EXPECT_EQ(shown(), std::vector<std::string>{"#b"});
    chanlist_defaults.match_words.clear();
    EXPECT_EQ(chanlist_refill(0, conn), 2) << "from the kept lines, no reload";
    EXPECT_EQ(shown(), (std::vector<std::string>{"#b", "#d"}));
    std::filesystem::remove(main_settings.chans_dir + "test.txt");
    EXPECT_EQ(chanlist_refill(1, conn), 0) << "a missing file shows nothing";
}

TEST_F(ChannelsList, SaveTextWritesTheShownLines)
{
    run({"list"}, cmd_list);
    list_reply({"#b 3 :bee", "#a 4"});
    const std::string out = main_settings.chans_dir + "saved.txt";
    ASSERT_EQ(chanlist_save_text(conn, out), 1);
    const std::string text = read_file(out);
    EXPECT_EQ(text.substr(text.find('\n') + 1), "#a 4\n#b 3 bee\n");
    EXPECT_EQ(chanlist_save_text(conn, main_settings.chans_dir + "no/such/dir/x.txt"), 0);
}

TEST_F(ChannelsList, SortModesOrderTheShownLines)
{
    run({"list"}, cmd_list);
    list_reply({"#b 3 :zebra", "#C 30 :apple", "#a 7 :mango"});
    struct Case {
        int mode;
        std::vector<std::string> order;
    } cases[] = {
        {1, {"#C", "#a", "#b"}},
        {2, {"#C", "#a", "#b"}},
        {0, {"#a", "#b", "#C"}},
        {0, {"#a", "#b", "#C"}},   // sorting twice changes nothing
    };
    for (const Case& c : cases) {
        chanlist_sort(c.mode, conn);
        EXPECT_EQ(shown(), c.order) << c.mode;
    }
}

// ---- A hostile server ----

TEST_F(ChannelsList, AFloodOfLongLinesStaysBounded)
{
    const std::string long_name = "#" + std::string(499, 'x');
    const std::string topic(10 * 1024, 't');
    run({"list"}, cmd_list);
    feed(":srv 321 me Channel :Users  Name");
    const double start = thread_cpu_ms();
    for (int i = 0; i < 100000; ++i) {
        const std::string n = std::to_string(i);
        switch (i % 4) {
        case 0: feed(":srv 322 me " + long_name + n + " 5 :x"); break;         // too long: dropped
        case 1: feed(":srv 322 me #c\x03" "4,1" + n + " 7 :\x01\x02" "ctl"); break;
        case 2: feed(":srv 322 me #t" + n + " 9 :" + topic); break;
        default: feed(":srv 322 me #p" + n + " 1"); break;
        }
    }
    feed(":srv 323 me :End of /LIST");
    const double spent = thread_cpu_ms() - start;
    const ChannelListState& st = chanlist_state(conn);
    EXPECT_EQ(st.received, 75000) << "the over-long names never reach the list";
    EXPECT_EQ(st.shown, 75000);
    EXPECT_LE(st.kept_bytes, kChanListKeptBytes);
    for (const ChannelListLine& l : st.lines)
        ASSERT_LE(l.text.size(), 1 + 50 + 1 + 16 + 1 + kChanListTopicMax);
    EXPECT_LT(spent, 60000.0);
}

TEST_F(ChannelsList, ReceivingGrowsLinearly)
{
    auto run_list = [this](int n) {
        run({"list"}, cmd_list);
        feed(":srv 321 me Channel :Users  Name");
        const double start = thread_cpu_ms();
        for (int i = 0; i < n; ++i)
            feed(":srv 322 me #n" + std::to_string(n - i) + " 3 :topic");
        feed(":srv 323 me :End of /LIST");
        return thread_cpu_ms() - start;
    };
    run_list(2000);  // warm up
    const double small = run_list(10000);
    const double large = run_list(40000);
    // Four times the lines: about four times the work, far below sixteen.
    EXPECT_LT(large, small * 9 + 50.0);
}


// ---- The options dialog ----

class ChannelsListOptions : public ChannelsList {
protected:
    void SetUp() override
    {
        ChannelsList::SetUp();
        saved_ini_ = main_ini_path;
        main_ini_path = dir_.string() + "/kest.ini";
        saved_history_ = chanlist_history;
        chanlist_history.clear();
        saved_lock_ = chanlist_lock_password;
        chanlist_lock_password.clear();
    }
    void TearDown() override
    {
        chanlist_history = saved_history_;
        chanlist_lock_password = saved_lock_;
        main_ini_path = saved_ini_;
        ChannelsList::TearDown();
    }

    std::unique_ptr<QDialog> dialog()
    {
        std::unique_ptr<QDialog> d(chanlist_options_create(conn));
        EXPECT_TRUE(d);
        return d;
    }
    template <class T> static T* c(QDialog* d, const char* name)
    {
        T* w = d->findChild<T*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    // Fills the dialog's fields and presses a button.
    void fill_and_press(QDialog* d, int min, int max, const char* match, const char* hide, int topic, int hide_on,
                        int nameless, const char* file, const char* button)
    {
        c<QSpinBox>(d, "c134")->setValue(min);
        c<QSpinBox>(d, "c135")->setValue(max);
        c<QComboBox>(d, "c130")->setEditText(QString::fromUtf8(match));
        c<QLineEdit>(d, "c137")->setText(QString::fromUtf8(hide));
        c<QCheckBox>(d, "c133")->setChecked(topic != 0);
        c<QCheckBox>(d, "c132")->setChecked(hide_on != 0);
        c<QCheckBox>(d, "c138")->setChecked(nameless != 0);
        c<QComboBox>(d, "c140")->setEditText(QString::fromUtf8(file));
        QTest::mouseClick(c<QPushButton>(d, button), Qt::LeftButton);
    }

    std::string saved_ini_;
    std::vector<std::string> saved_history_;
    std::string saved_lock_;
};

TEST_F(ChannelsListOptions, SettingsRoundTripThroughTheDialog)
{
    struct Case {
        const char* what;
        int min, max;
        const char* match;
        const char* hide;
        int topic, hide_on, nameless;
        const char* file;
        const char* button;
        // What is read back from the settings file.
        int want_min, want_max;
        const char* want_match;
        const char* want_hide;
        const char* want_file;
    } cases[] = {
        {"the widest range", 0, 9999, "", "", 0, 0, 0, "net.txt", "c1", 0, 9999, "", "", "net.txt"},
        {"a one-user range, one-letter words", 1, 1, "a", "b", 1, 1, 1, "x.txt", "c1", 1, 1, "a", "b", "x.txt"},
        {"a maximum below the minimum takes the minimum", 50, 10, "chat", "warez", 0, 1, 0, "a.txt", "c1", 50, 50,
         "chat", "warez", "a.txt"},
        {"blanks are collapsed", 3, 300, "  chat   talk  ", " spam   eggs ", 1, 0, 1, "b.txt", "c1", 3, 300,
         "chat talk", "spam eggs", "b.txt"},
        {"Esc reads everything as well", 7, 70, "news", "", 0, 0, 0, "c.txt", "c2", 7, 70, "news", "", "c.txt"},
        {"an empty file name becomes the default", 0, 9999, "", "", 0, 0, 0, "", "c1", 0, 9999, "", "",
         "channels.txt"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        auto d = dialog();
        fill_and_press(d.get(), k.min, k.max, k.match, k.hide, k.topic, k.hide_on, k.nameless, k.file, k.button);
        EXPECT_FALSE(d->isVisible());
        // The connection takes the filter at once.
        const ChannelListFilter& mine = chanlist_state(conn).filter;
        EXPECT_EQ(mine.min_users, k.want_min);
        EXPECT_EQ(mine.max_users, k.want_max);
        EXPECT_EQ(mine.match_words, k.want_match);
        EXPECT_EQ(mine.created_low, -9);
        // The settings file holds it: load it back into cleared defaults.
        chanlist_defaults = ChannelListFilter{};
        chanlist_defaults.hide_words = "stale";
        std::ofstream(main_settings.chans_dir + k.want_file) << "srv now\n";
        chanlist_load_settings();
        const ChannelListFilter& f = chanlist_defaults;
        EXPECT_EQ(f.min_users, k.want_min);
        EXPECT_EQ(f.max_users, k.want_max);
        EXPECT_EQ(f.hide_words, k.want_hide);
        EXPECT_EQ(f.topic_option, k.topic);
        EXPECT_EQ(f.hide_option, k.hide_on);
        EXPECT_EQ(f.nameless_option, k.nameless);
        EXPECT_EQ(f.list_file, k.want_file);
        EXPECT_EQ(f.match_words, "") << "the match words start empty; the history keeps them";
        if (*k.want_match) {
            EXPECT_EQ(chanlist_history.front(), k.want_match);
        }
        // The hide words are not stored as plain text.
        if (*k.want_hide) {
            EXPECT_EQ(read_file(main_ini_path).find(k.want_hide), std::string::npos);
        }
    }
}

TEST_F(ChannelsListOptions, TheDialogShowsTheConnectionsFilter)
{
    ChannelListFilter& f = chanlist_state(conn).filter;
    f.min_users = 12;
    f.max_users = 34;
    f.match_words = "games";
    f.hide_words = "bots";
    f.hide_option = 1;
    f.list_file = "shown.txt";
    chanlist_history = {"older", "oldest"};
    std::ofstream(main_settings.chans_dir + "other.txt") << "h\n";
    auto d = dialog();
    EXPECT_EQ(c<QSpinBox>(d.get(), "c134")->value(), 12);
    EXPECT_EQ(c<QSpinBox>(d.get(), "c135")->value(), 34);
    EXPECT_EQ(c<QComboBox>(d.get(), "c130")->currentText(), "games");
    EXPECT_EQ(c<QComboBox>(d.get(), "c130")->count(), 2);
    EXPECT_EQ(c<QLineEdit>(d.get(), "c137")->text(), "bots");
    EXPECT_TRUE(c<QCheckBox>(d.get(), "c132")->isChecked());
    EXPECT_FALSE(c<QCheckBox>(d.get(), "c133")->isChecked());
    EXPECT_EQ(c<QComboBox>(d.get(), "c140")->currentText(), "shown.txt");
    EXPECT_EQ(c<QComboBox>(d.get(), "c140")->findText("other.txt"), 0) << "the folder's lists are offered";
    EXPECT_FALSE(c<QPushButton>(d.get(), "c142")->isEnabled()) << "no Apply while the file is missing";
    c<QComboBox>(d.get(), "c140")->setEditText("other.txt");
    EXPECT_TRUE(c<QPushButton>(d.get(), "c142")->isEnabled());
    EXPECT_TRUE(c<QPushButton>(d.get(), "c139")->isEnabled());

    conn->registered = 0;
    auto d2 = dialog();
    EXPECT_FALSE(c<QPushButton>(d2.get(), "c139")->isEnabled()) << "no List before logging on";
}

TEST_F(ChannelsListOptions, HistoryIsNewestFirstWithoutDuplicatesAndBounded)
{
    for (int i = 0; i < 25; ++i) {
        auto d = dialog();
        fill_and_press(d.get(), 0, 9999, ("w" + std::to_string(i)).c_str(), "", 0, 0, 0, "h.txt", "c1");
    }
    ASSERT_EQ(chanlist_history.size(), 20u);
    EXPECT_EQ(chanlist_history.front(), "w24");
    EXPECT_EQ(chanlist_history.back(), "w5");
    // The same words again, in other case, pressed twice: one entry, first.
    for (int i = 0; i < 2; ++i) {
        auto d = dialog();
        fill_and_press(d.get(), 0, 9999, "W10", "", 0, 0, 0, "h.txt", "c1");
    }
    ASSERT_EQ(chanlist_history.size(), 20u);
    EXPECT_EQ(chanlist_history[0], "W10");
    EXPECT_EQ(std::count_if(chanlist_history.begin(), chanlist_history.end(),
                            [](const std::string& h) { return h == "w10" || h == "W10"; }),
              1);
    EXPECT_EQ(chanlist_history[1], "w24");
    // Read back from the settings file in the same order.
    const std::vector<std::string> before = chanlist_history;
    chanlist_load_settings();
    EXPECT_EQ(chanlist_history, before);
    // An empty match text leaves the history alone.
    auto d = dialog();
    fill_and_press(d.get(), 0, 9999, "", "", 0, 0, 0, "h.txt", "c1");
    EXPECT_EQ(chanlist_history, before);
}

TEST_F(ChannelsListOptions, ListSendsTheNewFilterAndTheNextListKeepsIt)
{
    conn->server_flags = kServerPlusChannels;
    auto d = dialog();
    fill_and_press(d.get(), 5, 20, "", "", 0, 0, 0, "test.txt", "c139");
    ASSERT_EQ(sent(), std::vector<std::string>{"LIST >4,<21\n"});
    list_reply({"#four 4 :below", "#five 5 :edge", "#twenty 20 :edge", "#big 21 :above"});
    EXPECT_EQ(shown(), (std::vector<std::string>{"#five", "#twenty"}));
    // OK alone sends nothing; the next /list uses what it set.
    auto d2 = dialog();
    fill_and_press(d2.get(), 0, 9, "", "", 0, 0, 0, "test.txt", "c1");
    EXPECT_EQ(sent().size(), 1u);
    run({"list"}, cmd_list);
    EXPECT_EQ(sent().back(), "LIST <10\n");
    list_reply({"#nine 9", "#ten 10", "#zero 0"});
    EXPECT_EQ(shown(), (std::vector<std::string>{"#nine", "#zero"}));
}

TEST_F(ChannelsListOptions, ApplyRefillsFromTheListFileWithTheNewFilter)
{
    std::ofstream(main_settings.chans_dir + "stored.txt")
        << "irc.example Fri\r\n#alpha 3 first\r\n#beta 30 second\r\n#gamma 300 third spam\r\n";
    auto d = dialog();
    fill_and_press(d.get(), 10, 9999, "", "spam", 0, 0, 0, "stored.txt", "c142");
    EXPECT_TRUE(sent().empty()) << "Apply asks the server nothing";
    EXPECT_EQ(shown(), (std::vector<std::string>{"#beta", "#gamma"})) << "hide words are off";
    EXPECT_EQ(chanlist_state(conn).header, "irc.example Fri");
    // Again with the hide words in force and the topic searched: the same
    // file, no reload asked, the kept lines refiltered.
    auto d2 = dialog();
    fill_and_press(d2.get(), 10, 9999, "", "spam", 1, 1, 0, "stored.txt", "c142");
    EXPECT_EQ(shown(), std::vector<std::string>{"#beta"});
    // Another file replaces the lines.
    std::ofstream(main_settings.chans_dir + "second.txt") << "h2\n#delta 40 x\n";
    auto d3 = dialog();
    fill_and_press(d3.get(), 0, 9999, "", "", 0, 0, 0, "second.txt", "c142");
    EXPECT_EQ(shown(), std::vector<std::string>{"#delta"});
}

TEST_F(ChannelsListOptions, RemovingAHistoryEntryLeavesTheOthers)
{
    chanlist_history = {"one", "two", "three"};
    auto d = dialog();
    auto* match = c<QComboBox>(d.get(), "c130");
    match->setEditText("two");
    QTest::mouseClick(c<QPushButton>(d.get(), "c131"), Qt::LeftButton);
    EXPECT_EQ(match->count(), 2);
    EXPECT_EQ(match->findText("two"), -1);
    EXPECT_EQ(match->findText("one"), 0);
    EXPECT_EQ(match->currentText(), "");
}

}  // namespace
