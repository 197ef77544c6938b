// Messaging faults found against a real server: text too long for one
// protocol line, /omsg and /onotice from a user who is not an operator and
// their "@#channel" form, and the text that ACTION events see.
#include "chat_test_support.h"
#include "messages_fixture.h"

#include "commands/channel_commands.h"
#include "core/options.h"
#include "irc/link/flood.h"
#include "model/nick_list.h"

#include <QEvent>

#include <map>

namespace {

// ---- Cutting a text into whole lines ----

TEST(ChatSplit, PiecesFitTheRoomAndLoseNothingButTheBlankAtACut)
{
    const std::string e2 = "\xc3\xa9";  // a two-byte character
    struct Case {
        const char* what;
        std::string text;
        std::size_t room;
        std::vector<std::string> pieces;
    } cases[] = {
        {"fits", "hello there", 20, {"hello there"}},
        {"exactly the room", "abcdefghij", 10, {"abcdefghij"}},
        {"empty", "", 10, {}},
        {"at the last blank, which is dropped", "aaaa bbbb cccc dddd", 10, {"aaaa bbbb", "cccc dddd"}},
        {"a blank right at the room", "aaaaaaaaaa bbb", 10, {"aaaaaaaaaa", "bbb"}},
        {"a blank only early on: cut at the room", "a bbbbbbbbbbbbbbbbb", 10, {"a bbbbbbbb", "bbbbbbbbb"}},
        {"no blank at all", "abcdefghijklmnopqrstuvwxy", 10, {"abcdefghij", "klmnopqrst", "uvwxy"}},
        {"never inside a character", "a" + e2 + e2 + e2 + e2 + e2, 4, {"a" + e2, e2 + e2, e2 + e2}},
        {"a colour code stays whole", "abcdefg\x03" "12,04red", 10, {"abcdefg", "\x03" "12,04red"}},
        {"a colour code ended before the cut stays", "abcdef\x03" "4xyz", 10, {"abcdef\x03" "4xy", "z"}},
        {"runs of blanks keep all but one", "aaaaaa    bbbb", 8, {"aaaaaa  ", " bbbb"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::string> got = chat_split_text(c.text, c.room);
        EXPECT_EQ(got, c.pieces);
        for (const std::string& p : got) {
            EXPECT_FALSE(p.empty());
            EXPECT_LE(p.size(), c.room);
        }
    }
}

class MessagingFixes : public ChatLink {};

TEST_F(MessagingFixes, RoomCountsTheNickAndTheAddressTheServerPutsBefore)
{
    const std::string head = "PRIVMSG bob :";  // 13
    // ":me!" address " " head text within 510.
    conn->own_address = "u@host.example";  // 14
    EXPECT_EQ(chat_text_room(conn, head.size()), 510u - (1 + 2 + 1 + 14 + 1 + 13));
    conn->own_address.clear();  // not known yet: a generous address
    EXPECT_EQ(chat_text_room(conn, head.size()), 510u - (1 + 2 + 1 + 75 + 1 + 13));
    EXPECT_EQ(chat_text_room(conn, 2000), 64u);
    // On the third nick, that nick is the one the server puts in front.
    conn->live_identity[4] = "third_nick";  // 10
    conn->nick_index = 2;
    EXPECT_EQ(chat_text_room(conn, head.size()), 510u - (1 + 10 + 1 + 75 + 1 + 13));
    conn->nick_index = 0;
}

// Every command of the family sends a long text as lines that stay whole
// when the server passes them on, and shows each line it sent.
TEST_F(MessagingFixes, LongTextGoesOutAsWholeLines)
{
    conn->own_address = "user@a.rather.long.host.name.example";
    const std::string prefix = ":me!" + conn->own_address + " ";
    std::string text;
    for (int i = 0; text.size() < 1500; ++i)
        text += (text.empty() ? "" : " ") + std::string("word") + std::to_string(i);
    WindowRecord* chan = open("#k");
    nicklist_update("me", chan, kNickAddOrChange, nicklist_prefix_bit(conn, '@'));
    nicklist_update("op", chan, kNickAddOrChange, nicklist_prefix_bit(conn, '@'));
    open("#l");
    struct Case {
        const char* what;
        std::vector<std::string> words;  // the command and its arguments before the text
        CommandHandler handler;
        int variant;
        bool action;
        std::vector<std::string> targets;
    } cases[] = {
        {"/msg", {"msg", "bob"}, cmd_query, 0, false, {"bob"}},
        {"/notice", {"notice", "bob"}, cmd_notice, 0, false, {"bob"}},
        {"/describe", {"describe", "bob"}, cmd_describe, 0, true, {"bob"}},
        {"/me", {"me"}, cmd_me, 0, true, {"#k"}},
        {"/amsg", {"amsg"}, cmd_amsg, 1, false, {"#k", "#l"}},
        {"/ame", {"ame"}, cmd_amsg, 3, true, {"#k", "#l"}},
        {"/omsg", {"omsg", "#k"}, cmd_omsg, 0, false, {"op"}},
        {"typed", {}, nullptr, 0, false, {"#k"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        wire.clear();
        chat_shown.clear();
        chat_current = chan;
        if (c.handler) {
            std::vector<std::string> tokens = c.words;
            std::size_t at = 0;
            while (at < text.size()) {
                std::size_t blank = text.find(' ', at);
                if (blank == std::string::npos) blank = text.size();
                tokens.push_back(text.substr(at, blank - at));
                at = blank + 1;
            }
            EXPECT_EQ(run(tokens, c.handler, c.variant), 1);
        } else {
            EXPECT_EQ(chat_send_text(chan->hwnd.get(), text, 0, conn), 1);
        }
        // What each target received, piece by piece.
        std::map<std::string, std::string> received;
        std::size_t deliveries = 0;
        for (const std::string& line : sent()) {
            ASSERT_EQ(line.back(), '\n');
            EXPECT_LE(prefix.size() + line.size() - 1, 510u) << line;
            const std::size_t t = line.find(' ') + 1;
            const std::size_t colon = line.find(" :");
            std::string piece = line.substr(colon + 2, line.size() - colon - 3);
            if (c.action) {
                ASSERT_EQ(piece.substr(0, 8), "\x01" "ACTION ");
                ASSERT_EQ(piece.back(), '\x01');
                piece = piece.substr(8, piece.size() - 9);
            }
            EXPECT_FALSE(piece.empty());
            std::string list = line.substr(t, colon - t);
            for (std::size_t from = 0; from <= list.size();) {
                std::size_t comma = std::min(list.find(',', from), list.size());
                std::string& got = received[list.substr(from, comma - from)];
                got += (got.empty() ? "" : " ") + piece;
                ++deliveries;
                from = comma + 1;
            }
        }
        EXPECT_GE(sent().size(), 3u);
        ASSERT_EQ(received.size(), c.targets.size());
        for (const std::string& target : c.targets)
            EXPECT_EQ(received[target], text) << target;
        // One echo per piece and window.
        EXPECT_EQ(chat_shown.size(), deliveries);
    }
}

// ---- /omsg and /onotice ----

TEST_F(MessagingFixes, OperatorMessagesNeedTheUserToBeAnOperator)
{
    WindowRecord* chan = open("#k");
    const int op = nicklist_prefix_bit(conn, '@');
    const int voice = nicklist_prefix_bit(conn, '+');
    nicklist_update("op", chan, kNickAddOrChange, op);
    struct Case {
        const char* what;
        int own_bits;  // the own nick's modes in the channel (0: not listed)
        const char* user_modes;
        int result;
        const char* sent;
    } cases[] = {
        {"a plain member", 1, "[+]", 0, nullptr},
        {"a voiced member", voice, "[+]", 0, nullptr},
        {"not in the list", 0, "[+]", 0, nullptr},
        {"a channel operator", op, "[+]", 1, "PRIVMSG op :hi\n"},
        {"an operator who also has a voice", op | voice, "[+]", 1, "PRIVMSG op :hi\n"},
        {"an IRC operator who is a plain member", 1, "+io", 1, "PRIVMSG op :hi\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        nicklist_update("me", chan, kNickRemove, 0);
        if (c.own_bits) nicklist_update("me", chan, kNickAddOrChange, c.own_bits);
        conn->user_modes = c.user_modes;
        wire.clear();
        script_error_clear();
        EXPECT_EQ(run({"omsg", "#k", "hi"}, cmd_omsg), c.result);
        if (c.sent) {
            EXPECT_EQ(sent(), std::vector<std::string>{c.sent});
        } else {
            EXPECT_TRUE(sent().empty());
            EXPECT_NE(script_error_state.text.find("/omsg: #k Kanalında Op Olmalısınız"), std::string::npos)
                << script_error_state.text;
        }
    }
}

TEST_F(MessagingFixes, OperatorMessagesTakeTheAtFormWhereTheServerDoes)
{
    WindowRecord* chan = open("#k");
    const int op = nicklist_prefix_bit(conn, '@');
    nicklist_update("me", chan, kNickAddOrChange, op);
    nicklist_update("op1", chan, kNickAddOrChange, op);
    nicklist_update("op2", chan, kNickAddOrChange, op);
    nicklist_update("plain", chan, kNickAddOrChange, 1);
    struct Case {
        const char* what;
        int flags;
        int wallchops;
        const char* omsg;
        const char* onotice;
    } cases[] = {
        {"no flag", 0, 0, "PRIVMSG op1,op2 :hi\n", "NOTICE op1,op2 :hi\n"},
        {"0x2", 0x2, 0, "PRIVMSG @#k :hi\n", "NOTICE @#k :hi\n"},
        {"0x10 serves /onotice only", 0x10, 0, "PRIVMSG op1,op2 :hi\n", "NOTICE @#k :hi\n"},
        {"0x80", 0x80, 0, "PRIVMSG @#k :hi\n", "NOTICE @#k :hi\n"},
        {"WALLCHOPS serves /onotice only", 0, 1, "PRIVMSG op1,op2 :hi\n", "NOTICE @#k :hi\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        conn->server_flags = c.flags;
        irc_state(conn)->has_wallchops = c.wallchops;
        for (const char* word : {"omsg", "onotice"}) {
            wire.clear();
            chat_shown.clear();
            EXPECT_EQ(run({word, "#k", "hi"}, cmd_omsg), 1);
            EXPECT_EQ(sent(), std::vector<std::string>{std::string(word) == "omsg" ? c.omsg : c.onotice});
            ASSERT_EQ(chat_shown.size(), 1u);
            EXPECT_EQ(chat_shown[0].text, "-> Ops #k: hi");
        }
    }
}


// Lines sent by event scripts go out with the script's origin as their kind
// (automatic replies, which the flood protection treats apart); typed ones
// with 0. With the flood protection waiting for its check reply, typed lines
// still go out and automatic ones are held. A script's /query does not take
// the focus.
TEST_F(MessagingFixes, LinesCarryTheOriginOfTheirRun)
{
    static int activated = 0;
    // The query window brought up: shown by the window manager.
    struct ShowWatch : QObject {
        using QObject::QObject;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Show)
                ++activated;
            return false;
        }
    };
    options_reset();
    opt_set(OPT_FLOOD_PROTECTION, 1);
    opt_set(OPT_FLOOD_HOLD_OWN, 0);
    WindowRecord* chan = open("#c");
    WindowRecord* query = open("bob", kWinQuery, 1);
    query->hwnd->installEventFilter(new ShowWatch(query->hwnd.get()));
    chat_current = chan;
    struct Case {
        std::vector<std::string> tokens;
        CommandHandler handler;
    } cases[] = {
        {{"msg", "bob", "hi"}, cmd_query},
        {{"notice", "bob", "hi"}, cmd_notice},
        {{"me", "waves"}, cmd_me},
        {{"describe", "bob", "waves"}, cmd_describe},
        {{"say", "hello"}, cmd_say},
        {{"query", "bob", "hi"}, cmd_query},
    };
    for (int origin : {0, 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.tokens[0] + " from origin " + std::to_string(origin));
            wire.clear();
            flood_clear(conn, 1);
            conn->flood_check_out = 1;
            activated = 0;
            query->hwnd->hide();
            CommandCall call;
            call.tokens = c.tokens;
            call.conn = conn;
            call.origin = origin;
            call.window = chan->hwnd.get();
            EXPECT_EQ(c.handler(call), 1);
            if (origin == 0) {
                EXPECT_FALSE(sent().empty());
                EXPECT_EQ(flood_queue_size(conn), 0);
            } else {
                EXPECT_TRUE(sent().empty());
                EXPECT_GT(flood_queue_size(conn), 0);
            }
            if (c.tokens[0] == "query") {
                EXPECT_EQ(activated, origin == 0 ? 1 : 0);
            }
        }
    }
    flood_clear(conn, 1);
    conn->flood_check_out = 0;
    options_reset();
}

}  // namespace

// ---- The text of ACTION events ----

namespace chat_test {
namespace {

using ActionEvents = ChatTest;

TEST_F(ActionEvents, HandlersSeeTheActionWithoutItsCtcpWord)
{
    load_script({"on ^*:ACTION:hides*:#:haltdef",
                 "on *:ACTION:*:#:say in $1-",
                 "on *:ACTION:*:?:say pm $1-"});
    struct Case {
        const char* line;
        const char* said;
        bool shown;
    } cases[] = {
        {":a!u@h PRIVMSG #c :\x01" "ACTION waves hello\x01", "in waves hello", true},
        {":a!u@h PRIVMSG #c :\x01" "ACTION hides away\x01", "in hides away", false},
        {":a!u@h PRIVMSG me :\x01" "ACTION pokes you\x01", "pm pokes you", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        said.clear();
        clear(chan);
        feed(c.line);
        EXPECT_EQ(said, std::vector<std::string>{c.said});
        if (std::string(c.line).find("#c") != std::string::npos) {
            EXPECT_EQ(lines(chan).size(), c.shown ? 1u : 0u);
        }
    }
}

}  // namespace
}  // namespace chat_test
