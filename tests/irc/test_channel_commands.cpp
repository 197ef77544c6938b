// Channel commands: /join, /part, /partall and /hop.
#include "chat_test_support.h"

#include "commands/channel_commands.h"

#include <QEvent>

namespace {

std::vector<WindowRecord*> closed;

// The windows the program closed: each test window's close event, in order.
class CloseWatch : public QObject {
public:
    CloseWatch(QObject* parent, WindowRecord* rec) : QObject(parent), rec_(rec) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close)
            closed.push_back(rec_);
        return false;
    }

private:
    WindowRecord* rec_;
};

class ChannelCmds : public ChatLink {
protected:
    void SetUp() override
    {
        ChatLink::SetUp();
        closed.clear();
    }
    void TearDown() override
    {
        ChatLink::TearDown();
        closed.clear();
    }
    WindowRecord* open(const std::string& name, int type = kWinChannel, int subtype = 0)
    {
        WindowRecord* rec = ChatLink::open(name, type, subtype);
        QWidget* w = rec->hwnd.get();
        w->installEventFilter(new CloseWatch(w, rec));
        return rec;
    }
};

TEST_F(ChannelCmds, JoinSendsChannelsWithKeysOrActivatesAJoinedWindow)
{
    WindowRecord* joined = open("#here");
    struct Case {
        std::vector<std::string> tokens;
        int result;
        const char* sent;
    } cases[] = {
        {{"join", "#a,#b", "k1,k2"}, 1, "JOIN #a,#b k1,k2\n"},
        {{"join", "-x", "#a"}, 1, "JOIN #a\n"},
        {{"join", "#here"}, 1, nullptr},   // already on it
        {{"join"}, 0, nullptr},
        {{"join", "-i"}, 1, nullptr},      // no invitation: note, success
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens.size() > 1 ? c.tokens[1] : c.tokens[0]);
        wire.clear();
        EXPECT_EQ(run(c.tokens, cmd_join), c.result);
        if (c.sent) {
            ASSERT_EQ(sent().size(), 1u);
            EXPECT_EQ(sent()[0], c.sent);
        } else {
            EXPECT_TRUE(sent().empty());
        }
    }
    EXPECT_EQ(joined->chan_state, 0);
    ASSERT_FALSE(chat_shown.empty());
    EXPECT_EQ(chat_shown.back().text, "* /join: Kanal Yok");
    irc_state(conn)->last_invite = "#inv";
    wire.clear();
    EXPECT_EQ(run({"join", "-i"}, cmd_join), 1);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], "JOIN #inv\n");
    EXPECT_TRUE(irc_state(conn)->last_invite.empty());
}

TEST_F(ChannelCmds, PartWithMessageCurrentWindowAndOffline)
{
    WindowRecord* chan = open("#k");
    struct Case {
        std::vector<std::string> tokens;
        WindowRecord* current;
        int connected;
        int result;
        const char* sent;
        bool closes;
    } cases[] = {
        {{"part", "#k", "bye", "all"}, nullptr, 1, 1, "PART #k :bye all\n", false},
        {{"part"}, chan, 1, 1, "PART #k\n", false},
        {{"part", "see", "you"}, chan, 1, 1, "PART #k :see you\n", false},
        {{"part"}, nullptr, 1, 0, nullptr, false},
        {{"part", "#k"}, nullptr, 0, 1, nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens.size());
        wire.clear();
        closed.clear();
        chat_current = c.current;
        conn->connected = c.connected;
        EXPECT_EQ(run(c.tokens, cmd_part), c.result);
        if (c.sent) {
            ASSERT_EQ(sent().size(), 1u);
            EXPECT_EQ(sent()[0], c.sent);
        } else {
            EXPECT_TRUE(sent().empty());
        }
        EXPECT_EQ(closed.size(), c.closes ? 1u : 0u);
    }
}

TEST_F(ChannelCmds, PartLinesNeverGoOutEmpty)
{
    const std::string msg(420, 'm');
    struct Case {
        const char* what;
        std::vector<std::string> channels;
        std::string message;
        std::vector<std::string> lines;
    } cases[] = {
        {"batched", {"#a", "#b"}, "bye", {"PART #a,#b :bye\n"}},
        {"no message", {"#a"}, "", {"PART #a\n"}},
        {"none", {}, "bye", {}},
        {"message leaves no room", {"#a", "#b"}, msg, {"PART #a :" + msg + "\n", "PART #b :" + msg + "\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(chat_part_lines(c.channels, c.message), c.lines);
    }
}

TEST_F(ChannelCmds, PartallBatchesAndClosesLeftWindows)
{
    for (int i = 0; i < 40; ++i) open("#a-rather-long-channel-name-" + std::to_string(i));
    WindowRecord* left = open("#left");
    left->chan_left = 1;
    EXPECT_EQ(run({"partall", "bye"}, cmd_partall), 1);
    ASSERT_GT(sent().size(), 1u);
    for (const std::string& l : sent()) {
        EXPECT_EQ(l.rfind("PART #", 0), 0u);
        EXPECT_EQ(l.substr(l.size() - 6), " :bye\n");
        EXPECT_LE(l.size(), 400u + 6u);
        EXPECT_EQ(l.find("#left"), std::string::npos);
    }
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0], left);
    EXPECT_EQ(chat_shown.back().text, "* Bütün Kanallardan Çıkıldı...");
}

TEST_F(ChannelCmds, HopPartsAndJoinsAgainWithTheKey)
{
    WindowRecord* chan = open("#a");
    chan->chan_key = "sekret";
    chat_current = chan;
    EXPECT_EQ(run({"hop"}, cmd_hop), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"PART #a\n", "JOIN #a sekret\n"}));
    EXPECT_EQ(chan->chan_state, 1);
    ASSERT_EQ(chat_shown.size(), 1u);
    EXPECT_EQ(chat_shown[0].text, "* Tekrar Girilmeye Çalışılıyor...");
    wire.clear();
    EXPECT_EQ(run({"hop"}, cmd_hop), 1);  // already joining
    EXPECT_TRUE(sent().empty());
    chan->chan_state = 0;
    EXPECT_EQ(run({"hop", "#b", "moving"}, cmd_hop), 1);
    EXPECT_EQ(sent(), (std::vector<std::string>{"PART #a :moving\n", "JOIN #b\n"}));
    conn->connected = 0;
    wire.clear();
    EXPECT_EQ(run({"hop"}, cmd_hop), 0);
    EXPECT_TRUE(sent().empty());
}

}  // namespace
