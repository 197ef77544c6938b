// Server lines through the joined subsystems into real windows: what the
// channel and status windows show (their line buffers and captions), with
// time stamps, topics and modes.
#include <gtest/gtest.h>

#include <QWidget>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "commands/output_commands.h"
#include "core/ini.h"
#include "core/time_date.h"
#include "display/editbox.h"
#include "model/line_buffer.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/numerics/isupport.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/exec/script_hooks.h"
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

// One printed line: the text of all its parts joined, and the length of the
// time stamp prefix of its first part.
struct Printed {
    std::string text;
    int prefix = 0;
};

std::vector<Printed> printed(const WindowRecord* rec)
{
    std::vector<Printed> out;
    const StringNode* prev = nullptr;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next) {
        if (!prev || prev->serial != n->serial || out.empty()) {
            out.push_back({n->text, line_prefix(n)});
        } else {
            out.back().text += n->text.substr(static_cast<std::size_t>(std::min<int>(n->indent, static_cast<int>(n->text.size()))));
        }
        prev = n;
    }
    return out;
}

// The newest printed line holding the text; null when none does.
const Printed* newest_with(const std::vector<Printed>& lines, const std::string& text)
{
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (it->text.find(text) != std::string::npos)
            return &*it;
    return nullptr;
}

// The channel's caption starts with its name and the network part (the
// server's name stands for the network, and the own nick).
const std::string kCaption = "#kest (irc.test, me)";

std::string caption(const WindowRecord* rec)
{
    return rec && rec->hwnd ? rec->hwnd->windowTitle().toStdString() : std::string();
}

std::string dump(const WindowRecord* rec)
{
    std::string out;
    for (const Printed& p : printed(rec))
        out += "\n  [" + std::to_string(p.prefix) + "] " + p.text;
    return out;
}

class ProtocolLines : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        window_test_reset();
        app_install_subsystems();
        event_startup_hold = 0;
        event_switch_events = 1;
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        conn->registered = 1;
        conn->live_identity[2] = "me";
        conn->server_name = "irc.test";
        conn->live_server[4] = "6667";
        irc_state(conn)->registration = 1;
        status = win_find_by_type(kWinStatus, conn);
        ASSERT_TRUE(status);
        feed(":me!u@h JOIN :#kest");
        channel = win_find_channel("#kest", conn);
        ASSERT_TRUE(channel);
        feed(":srv 353 me = #kest :me @peer");
        feed(":srv 366 me #kest :End of /NAMES list.");
    }
    void TearDown() override
    {
        remote_files_free_all();
        window_test_reset();
    }
    void feed(const std::string& line)
    {
        irc_dispatch_line(line, conn);
        window_test_pump();
    }
    void load_script(const std::string& name, const std::vector<std::string>& lines)
    {
        const std::string path = settings.path() + "/" + name;
        std::ofstream out(path);
        for (const std::string& l : lines)
            out << l << "\n";
        out.close();
        ASSERT_TRUE(remote_file_load(path, kRemoteScript, 9999, nullptr));
    }

    TempSettingsDir settings{"kest_protocol_"};
    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* status = nullptr;
    WindowRecord* channel = nullptr;
};

// Every line a server change prints goes through the channel text's time
// stamp rule: stamped when the window's setting is on, plain when it is off.
TEST_F(ProtocolLines, MembershipModeAndTopicLinesCarryTheTimeStamp)
{
    const struct {
        const char* name;
        std::vector<const char*> before;  // lines that set the scene
        const char* line;
        bool in_status;                   // the line shows in the status window
        const char* shown;                // a piece of the printed line
        const char* starts = "*";         // how the line starts after the stamp
    } cases[] = {
        {"join", {}, ":bob!u@h JOIN :#kest", false, "bob"},
        {"part", {":carl!u@h JOIN :#kest"}, ":carl!u@h PART #kest :later", false, "carl"},
        {"quit", {":dave!u@h JOIN :#kest"}, ":dave!u@h QUIT :gone home", false, "dave"},
        {"kick", {":erin!u@h JOIN :#kest"}, ":peer!u@h KICK #kest erin :out", false, "erin"},
        {"nick", {":fred!u@h JOIN :#kest"}, ":fred!u@h NICK :frank", false, "frank"},
        {"channel mode", {}, ":peer!u@h MODE #kest +m", false, "+m"},
        {"voice", {":gail!u@h JOIN :#kest"}, ":peer!u@h MODE #kest +v gail", false, "+v gail"},
        {"topic", {}, ":peer!u@h TOPIC #kest :stamped topic", false, "stamped topic"},
        {"channel notice", {}, ":peer!u@h NOTICE #kest :hear ye", false, "hear ye", "-peer"},
        {"own nick", {}, ":me!u@h NICK :me2", true, "me2"},
        {"own user mode", {}, ":me2 MODE me2 :+i", true, "+i"},
        {"whois reply in the status window", {}, ":srv 401 me nobody :No such nick", true, "No such nick", "nobody"},
        {"reply in the status window", {}, ":srv 324 me #elsewhere +nt", true, "#elsewhere +nt", "#elsewhere"},
    };
    for (int stamp : {1, 0}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (stamp ? " stamped" : " plain"));
            channel->timestamp = stamp;
            status->timestamp = stamp;
            // The own nick goes back for the next round.
            if (conn_own_nick(conn) != "me")
                feed(":" + conn_own_nick(conn) + "!u@h NICK :me");
            for (const char* b : c.before)
                feed(b);
            const std::size_t before = printed(c.in_status ? status : channel).size();
            feed(c.line);
            const WindowRecord* rec = c.in_status ? status : channel;
            const std::vector<Printed> lines = printed(rec);
            ASSERT_GT(lines.size(), before) << dump(rec);
            const Printed* p = newest_with(lines, c.shown);
            ASSERT_TRUE(p) << dump(rec);
            if (stamp) {
                std::string now;
                time_stamp_text(now, 1);
                ASSERT_FALSE(now.empty());
                EXPECT_EQ(p->prefix, static_cast<int>(now.size()) + 1) << p->text;
                EXPECT_EQ(p->text.compare(0, 1, now.substr(0, 1)), 0) << p->text;
                EXPECT_EQ(p->text.compare(static_cast<std::size_t>(p->prefix), std::strlen(c.starts), c.starts), 0) << p->text;
            } else {
                EXPECT_EQ(p->prefix, 0) << p->text;
                EXPECT_EQ(p->text.compare(0, std::strlen(c.starts), c.starts), 0) << p->text;
            }
            // Whatever left, the next round joins again.
            feed(":peer!u@h MODE #kest -mv gail");
        }
    }
}

TEST_F(ProtocolLines, TopicIsShownStoredAndCaptioned)
{
    load_script("topic.kst", {"on *:TOPIC:#kest:echo -s topic-event $nick $chan $1-",
                              "on ^*:TOPIC:#quiet:halt"});
    EXPECT_EQ(caption(channel), kCaption + " [2]");

    // The topic of the join and its setter.
    feed(":srv 332 me #kest :first topic");
    EXPECT_EQ(channel->topic, "first topic");
    EXPECT_EQ(caption(channel), kCaption + " [2]: first topic");
    EXPECT_TRUE(newest_with(printed(channel), "* Topic 'first topic\x0F'")) << dump(channel);
    feed(":srv 333 me #kest peer 1700000000");
    EXPECT_TRUE(newest_with(printed(channel), "* peer Tarafından")) << dump(channel);

    // The modes asked for at the join join the caption.
    feed(":srv 324 me #kest +tn");
    EXPECT_EQ(caption(channel), kCaption + " [2] [+nt]: first topic");

    // A peer changes the topic: shown, stored, captioned and the event fires.
    feed(":peer!u@h TOPIC #kest :second topic");
    EXPECT_EQ(channel->topic, "second topic");
    EXPECT_EQ(caption(channel), kCaption + " [2] [+nt]: second topic");
    EXPECT_TRUE(newest_with(printed(channel), "* peer Topici Değişerek 'second topic Yaptı\x0F'"))
        << dump(channel);
    EXPECT_TRUE(newest_with(printed(status), "topic-event peer #kest second topic")) << dump(status);

    // A TOPIC for a channel we are not on changes nothing here.
    const std::size_t chan_lines = printed(channel).size();
    const std::size_t status_lines = printed(status).size();
    feed(":peer!u@h TOPIC #other :elsewhere");
    EXPECT_EQ(channel->topic, "second topic");
    EXPECT_EQ(caption(channel), kCaption + " [2] [+nt]: second topic");
    EXPECT_EQ(printed(channel).size(), chan_lines);
    EXPECT_EQ(printed(status).size(), status_lines);
    EXPECT_FALSE(win_find_channel("#other", conn));

    // Codes in a topic stay in the store and leave the caption.
    feed(":peer!u@h TOPIC #kest :\x02" "bold\x02 and \x03" "4red");
    EXPECT_EQ(channel->topic, "\x02" "bold\x02 and \x03" "4red");
    EXPECT_EQ(caption(channel), kCaption + " [2] [+nt]: bold and red");

    // An emptied topic: the other text, and the caption drops the part.
    feed(":peer!u@h TOPIC #kest :");
    EXPECT_EQ(channel->topic, "");
    EXPECT_EQ(caption(channel), kCaption + " [2] [+nt]");
    EXPECT_TRUE(newest_with(printed(channel), "* peer Topici Değişerek ''Yaptı")) << dump(channel);

    // The modes go: so does their part of the caption.
    feed(":peer!u@h MODE #kest -nt");
    EXPECT_EQ(caption(channel), kCaption + " [2]");
    feed(":srv 332 me #kest :again");
    feed(":srv 331 me #kest :No topic is set");
    EXPECT_EQ(channel->topic, "");
    EXPECT_EQ(caption(channel), kCaption + " [2]");

    // A halted TOPIC still keeps the topic, but shows no line.
    feed(":me!u@h JOIN :#quiet");
    WindowRecord* quiet = win_find_channel("#quiet", conn);
    ASSERT_TRUE(quiet);
    const std::size_t quiet_lines = printed(quiet).size();
    feed(":peer!u@h TOPIC #quiet :hush");
    EXPECT_EQ(quiet->topic, "hush");
    EXPECT_EQ(printed(quiet).size(), quiet_lines) << dump(quiet);
}

TEST_F(ProtocolLines, CaptionsFollowNamesModesAndUserModes)
{
    EXPECT_EQ(caption(channel), kCaption + " [2]");
    // Members come and go.
    feed(":bob!u@h JOIN :#kest");
    EXPECT_EQ(caption(channel), kCaption + " [3]");
    feed(":bob!u@h PART #kest");
    EXPECT_EQ(caption(channel), kCaption + " [2]");
    // A fresh NAMES reply counts anew at its end.
    feed(":srv 353 me = #kest :me @peer cat dog");
    feed(":srv 366 me #kest :End of /NAMES list.");
    EXPECT_EQ(caption(channel), kCaption + " [4]");
    // Channel modes, with a limit and a key, then removed.
    feed(":peer!u@h MODE #kest +lk 10 sesame");
    EXPECT_EQ(caption(channel), kCaption + " [4] [+lk 10 sesame]");
    feed(":peer!u@h MODE #kest -lk sesame");
    EXPECT_EQ(caption(channel), kCaption + " [4]");

    // The status caption shows the own modes while there are any.
    const std::string plain = "Status: me irc.test:6667 Serverinde Bulunuyor (00:00)";
    feed(":me MODE me :+iw");
    EXPECT_NE(caption(status).find("me [+iw] "), std::string::npos) << caption(status);
    feed(":me MODE me :-w");
    EXPECT_NE(caption(status).find("me [+i] "), std::string::npos) << caption(status);
    feed(":me MODE me :-i");
    EXPECT_EQ(caption(status), plain);
    // Another user's modes leave ours alone.
    feed(":srv MODE other :+i");
    EXPECT_EQ(caption(status), plain);
}


// Our own nick change confirmed by the server is kept in the settings, so
// the next start uses it; another user's nick change writes nothing.
TEST_F(ProtocolLines, OwnNickChangeIsSavedAndAnotherUsersIsNot)
{
    auto saved_nick = [] {
        std::string out;
        ini_read("kest", "nick", "", out, 4200, main_ini_path);
        return out;
    };
    feed(":fred!u@h JOIN :#kest");
    feed(":fred!u@h NICK :frank");
    EXPECT_EQ(saved_nick(), "");
    const std::string own = conn_own_nick(conn);
    feed(":" + own + "!u@h NICK :renamed");
    EXPECT_EQ(saved_nick(), "renamed");
    feed(":renamed!u@h NICK :" + own);
    EXPECT_EQ(saved_nick(), own);
}

} // namespace
