// WHOIS, away, USERHOST, WHO, LINKS and error replies: where each goes and
// what state it leaves on the connection.
#include "chat_test_support.h"

#include <filesystem>
#include <fstream>
#include <optional>

#include "commands/play_queue.h"
#include "core/options.h"
#include "core/string_list.h"
#include "irc/dispatch/outgoing_notes.h"
#include "irc/lists/address_list.h"
#include "irc/numerics/query_replies.h"
#include "model/nick_list.h"

namespace {

struct Printed {
    QWidget* window;
    std::string text;
    int before, after;  // 1 when a separator was stored right before / after it
};

// The lines the print path stored since the last clear, in the order stored,
// each with the separators stored around it in its window. clear() gives every
// window of the test a line when it has none or ends with a separator, so
// that a separator asked before a reply shows.
class StoredReplies {
public:
    void start(std::vector<WindowRecord*>* windows)
    {
        windows_ = windows;
        recorder_.emplace();
        clear();
    }
    void stop()
    {
        recorder_.reset();
        windows_ = nullptr;
    }
    void clear()
    {
        for (WindowRecord* rec : *windows_)
            if (!rec->lines || rec->lines->prev->text == "-") line_append(rec, "start", 0, 0, 0);
        recorder_->clear();
    }
    std::size_t size() const { return list().size(); }
    Printed operator[](std::size_t i) const { return list().at(i); }

private:
    std::vector<Printed> list() const
    {
        const std::vector<PrintedLine>& all = recorder_->lines;
        auto separator_next = [&all](std::size_t from, int step, WindowRecord* rec) {
            for (std::size_t j = from; j < all.size(); j += static_cast<std::size_t>(step))
                if (all[j].rec == rec) return all[j].separator ? 1 : 0;
            return 0;
        };
        std::vector<Printed> out;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i].separator) continue;
            const int before = i > 0 ? separator_next(i - 1, -1, all[i].rec) : 0;
            out.push_back({all[i].rec->hwnd.get(), all[i].text, before, separator_next(i + 1, 1, all[i].rec)});
        }
        return out;
    }

    std::vector<WindowRecord*>* windows_ = nullptr;
    std::optional<PrintedLines> recorder_;
};
StoredReplies printed;

class QueryReplies : public ChatLink {
protected:
    void SetUp() override
    {
        ChatLink::SetUp();
        saved_whois_opt = opt(OPT_WHOIS_IN_ACTIVE);
        printed.start(&windows);
        opt_set(OPT_WHOIS_IN_ACTIVE, 1);
    }
    void TearDown() override
    {
        opt_set(OPT_WHOIS_IN_ACTIVE, saved_whois_opt);
        printed.stop();
        ChatLink::TearDown();
    }
    int saved_whois_opt = 0;
};

TEST_F(QueryReplies, WhoisLinesGoToTheAskingWindowWithTheirTexts)
{
    WindowRecord* asker = open("#ask");
    irc_note_whois(asker->hwnd, "bob", nullptr, conn);
    struct Case {
        const char* line;
        const char* text;
        int before, after;
    } cases[] = {
        {":srv 311 me bob ~b host.example * :Bob Real", "bob Kimlik Bilgisi: ~b@host.example * Bob Real", 1, 0},
        {":srv 312 me bob irc.example :A server", "bob Bağlı Olduğu Server: irc.example A server", 0, 0},
        {":srv 319 me bob :@#a +#b", "bob Bulunduğu Kanallar: @#a +#b", 0, 0},
        {":srv 313 me bob :is an IRC operator", "bob is an IRC operator", 0, 0},
        {":srv 330 me bob bobacct :is logged in as", "bob is logged in as bobacct", 0, 0},
        {":srv 317 me bob 3661 :seconds idle", "bob Idle süresi: 1hr 1min 1sec", 0, 0},
        {":srv 318 me bob :End of /WHOIS list.", "bob End of /WHOIS list.", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        printed.clear();
        feed(c.line);
        ASSERT_EQ(printed.size(), 1u);
        EXPECT_EQ(printed[0].window, asker->hwnd.get());
        EXPECT_EQ(printed[0].text, c.text);
        EXPECT_EQ(printed[0].before, c.before);
        EXPECT_EQ(printed[0].after, c.after);
    }
    // The end took the note: the next reply about bob goes to the status route.
    printed.clear();
    feed(":srv 311 me bob ~b host.example * :Bob Real");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_NE(printed[0].window, asker->hwnd.get());
}

TEST_F(QueryReplies, ActiveFlagsFollowUserEndAndAwayLines)
{
    struct Case {
        std::vector<const char*> lines;
        int whois, whowas;
    } cases[] = {
        {{":srv 311 me bob u h * :r"}, 1, 0},
        {{":srv 311 me bob u h * :r", ":srv 314 me bob u h * :r"}, 0, 1},
        {{":srv 314 me bob u h * :r", ":srv 369 me bob :End"}, 0, 0},
        {{":srv 311 me bob u h * :r", ":srv 301 me bob :gone"}, 0, 0},
        {{":srv 311 me bob u h * :r", ":srv 402 me bob :No such server"}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines.back());
        conn->state_slots.reset(query_reply_slot);
        for (const char* l : c.lines) feed(l);
        EXPECT_EQ(query_reply_state(conn)->whois_active, c.whois);
        EXPECT_EQ(query_reply_state(conn)->whowas_active, c.whowas);
    }
}

TEST_F(QueryReplies, AwayRepliesSetAndClearTheAwayState)
{
    struct Case {
        const char* name;
        std::vector<const char*> lines;
        int away;
        bool text_cleared;
    } cases[] = {
        {"now away", {":srv 306 me :You have been marked as being away"}, 1, false},
        {"back again", {":srv 306 me :away", ":srv 305 me :You are no longer marked as being away"}, 0, true},
        {"301 about ourselves", {":srv 301 me me :lunch"}, 1, false},
        {"301 about another nick", {":srv 301 me bob :lunch"}, 0, false},
        {"301 about ourselves in a WHOWAS", {":srv 314 me me u h * :r", ":srv 301 me me :lunch"}, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        conn->state_slots.reset(query_reply_slot);
        conn->away_text = "old reason";
        for (const char* l : c.lines) feed(l);
        EXPECT_EQ(query_is_away(conn), c.away);
        EXPECT_EQ(conn->away_text.empty(), c.text_cleared);
    }
    // Speaking clears it once.
    feed(":srv 306 me :away");
    EXPECT_EQ(query_take_away(conn), 1);
    EXPECT_EQ(query_take_away(conn), 0);
}

TEST_F(QueryReplies, AwayLineInsideAWhoisHasNoSeparators)
{
    feed(":srv 301 me bob :lunch");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0].text, "bob Meşgul Durumu: lunch");
    EXPECT_EQ(printed[0].before + printed[0].after, 2);
    printed.clear();
    feed(":srv 311 me bob u h * :r");
    feed(":srv 301 me bob :lunch");
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[1].before + printed[1].after, 0);
}

TEST_F(QueryReplies, NoSuchNickGoesToAnOpenQueryOnly)
{
    WindowRecord* q = open("Bob", kWinQuery, kQueryPrivate);
    feed(":srv 401 me bob :No such nick/channel");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0].window, q->hwnd.get());
    EXPECT_EQ(printed[0].text, "No such nick/channel");
    EXPECT_TRUE(chat_status.empty());
    // Without a query window the whole reply goes to the routed window.
    printed.clear();
    feed(":srv 401 me carl :No such nick/channel");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0].text, "carl No such nick/channel");
    EXPECT_EQ(printed[0].after, 1);
}

// A reply that a nick or channel cannot be reached drops the play requests
// queued for it, the one playing included; those for other targets stay.
TEST_F(QueryReplies, UnreachableTargetsLeaveThePlayQueue)
{
    play_queue_install();
    const std::string file = (std::filesystem::temp_directory_path() / "kest_play_unreachable.txt").string();
    {
        std::ofstream out(file);
        out << "one\ntwo\n";
    }
    CommandCall call;
    for (const char* target : {"#a", "bob", "#gone", "carl", "dan"}) {
        call.tokens = {"play", target, file, "100000"};
        call.conn = conn;
        ASSERT_EQ(cmd_play(call), kScriptDone) << target;
    }
    ASSERT_EQ(play_queue_length(conn), 5);
    struct Case {
        const char* line;
        int left;
    } cases[] = {
        {":srv 401 me bob :No such nick/channel", 4},
        {":srv 401 me bob :No such nick/channel", 4},  // nothing more for bob
        {":srv 403 me #gone :No such channel", 3},
        {":srv 404 me carl :Cannot send to nick", 2},
        {":srv 442 me dan :You're not on that channel", 2},  // not a missing target
        {":srv 401 me #a :No such nick/channel", 1},  // the request playing ends too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        feed(c.line);
        EXPECT_EQ(play_queue_length(conn), c.left);
    }
    play_stop_all(conn);
    std::filesystem::remove(file);
}

TEST_F(QueryReplies, UserhostFeedsTheAddressListOnlyForSharedNicks)
{
    WindowRecord* chan = open("#c");
    nicklist_update("ann", chan, kNickAddOrChange, 1);
    ial_init(conn);
    ial_set_on(1, conn);
    struct Case {
        const char* line;
        const char* shown;
    } cases[] = {
        {":srv 302 me :ann*=+a@h.example out=-o@x.example", "userhost: ann*=+a@h.example out=-o@x.example"},
        {":srv 302 me :", "userhost: Kullanıcı Bulunamadı "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        chat_status.clear();
        feed(c.line);
        ASSERT_EQ(chat_status.size(), 1u);
        EXPECT_EQ(chat_status[0], c.shown);
    }
    EXPECT_EQ(ial_count(conn), 1);
    std::string out;
    EXPECT_EQ(ial_query("ann!*@*", "", 1, "", 1, out, conn), 1);
    EXPECT_EQ(out, "ann!a@h.example");
}

TEST_F(QueryReplies, WhoLinesHonourThePendingMaskUntilTheEnd)
{
    open("#w");
    const std::string mask = "*!*@*.good";
    irc_note_who("#w", &mask, conn);
    struct Case {
        const char* line;
        const char* shown;  // null: filtered out
    } cases[] = {
        {":srv 352 me #w u1 a.good srv n1 H :0 Real One", "#w n1 H u1@a.good :0 Real One"},
        {":srv 352 me #w u2 b.bad srv n2 H@ :0 Real Two", nullptr},
        {":srv 352 me #other u2 b.bad srv n2 H :0 Two", "#other n2 H u2@b.bad :0 Two"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        chat_status.clear();
        feed(c.line);
        if (c.shown) {
            ASSERT_EQ(chat_status.size(), 1u);
            EXPECT_EQ(chat_status[0], c.shown);
        } else {
            EXPECT_TRUE(chat_status.empty());
        }
    }
    feed(":srv 315 me #w :End of /WHO list.");
    EXPECT_EQ(irc_pending_who(conn), nullptr);
    chat_status.clear();
    feed(":srv 352 me #w u2 b.bad srv n2 H :0 Real Two");  // the filter is gone
    EXPECT_EQ(chat_status.size(), 1u);
}

TEST_F(QueryReplies, LinksAreCollectedNewestFirstAndHandedOver)
{
    static std::vector<std::string> got;
    got.clear();
    int listener = links_received.add(kLinksReceivedWindow, [](StringNode*& list, Connection*) {
        for (StringNode* n = list; n; n = n->next) got.push_back(n->text);
    });
    feed(":srv 364 me a.example hub.example :1 First");
    feed(":srv 364 me b.example hub.example :2 Second");
    EXPECT_EQ(chat_status, std::vector<std::string>{"Linkler Bakılıyor..."});
    feed(":srv 365 me * :End of /LINKS list.");
    EXPECT_EQ(got, (std::vector<std::string>{"b.example,hub.example,2 Second", "a.example,hub.example,1 First"}));
    EXPECT_EQ(query_reply_state(conn)->links_list, nullptr);
    // A second batch starts a fresh list and a fresh heading.
    got.clear();
    chat_status.clear();
    feed(":srv 364 me c.example hub.example :1 Third");
    feed(":srv 365 me * :End");
    EXPECT_EQ(got, std::vector<std::string>{"c.example,hub.example,1 Third"});
    EXPECT_EQ(chat_status.front(), "Linkler Bakılıyor...");
    links_received.remove(listener);
}

TEST_F(QueryReplies, ChannelErrorsGoToTheirWindow)
{
    WindowRecord* chan = open("#op");
    struct Case {
        const char* line;
        bool in_window;
        const char* text;
    } cases[] = {
        {":srv 482 me #op :You're NOT Channel Operator", true, "* me: you're not channel operator"},
        {":srv 482 me #none :You're not channel operator", false, "#none You're not channel operator"},
        {":srv 404 me #op :Cannot send to channel", true, "#op Cannot send to channel"},
        {":srv 345 #op a :invited", false, "a invited"},
        {":srv 322 me #chan 12 :a topic", false, "#chan 12 a topic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        printed.clear();
        chat_status.clear();
        feed(c.line);
        if (c.in_window) {
            ASSERT_EQ(printed.size(), 1u);
            EXPECT_EQ(printed[0].window, chan->hwnd.get());
            EXPECT_EQ(printed[0].text, c.text);
        } else if (c.text) {
            ASSERT_EQ(chat_status.size(), 1u);
            EXPECT_EQ(chat_status[0], c.text);
        }
    }
    // 345 with word 5 in a channel window.
    printed.clear();
    feed(":srv 345 #op x y z :list is done");
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0].text, "* z list is done");
}

}  // namespace
