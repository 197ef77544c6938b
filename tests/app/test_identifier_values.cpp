// Identifiers typed into a channel's real editbox and evaluated by the
// interpreter: the encoding identifiers, the values of the program's own
// switches and of the editbox, and /scid, /scon, $scid and $scon across
// two connections.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QWidget>

#include <string>
#include <vector>

#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_proc.h"
#include "app/startup.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "commands/output_commands.h"
#include "core/encoding_idents.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/time_date.h"
#include "display/editbox.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/query_replies.h"
#include "script/events/event_fire.h"
#include "script/exec/script_hooks.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

std::vector<std::string> buffer_texts(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    return out;
}

// The newest line of a window's buffer, without a time stamp before it.
std::string last_line(const WindowRecord* rec)
{
    std::vector<std::string> all = buffer_texts(rec);
    return all.empty() ? std::string() : all.back();
}

void press(QWidget* box, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent down(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(box, &down);
    QKeyEvent up(QEvent::KeyRelease, key, mods);
    QCoreApplication::sendEvent(box, &up);
}

class IdentifierValuesTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        window_test_reset();
        app_install_subsystems();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        channel = window_test_open("#kest", kWinChannel, 0, conn);
        ASSERT_TRUE(channel);
        ASSERT_TRUE(channel->editbox.get());
        window_test_pump();
    }

    void TearDown() override
    {
        window_test_reset();
    }

    // Types the line into the box and presses Enter; the line printed last
    // in the channel.
    std::string type(const std::string& text, EditBox* box = nullptr)
    {
        if (!box)
            box = channel->editbox.get();
        box->setTextBytes(text);
        press(box, Qt::Key_Return);
        window_test_pump();
        return last_line(channel);
    }

    // The lines sent to the server on the test's link so far.
    const std::vector<std::string>& sent_lines() { return wire.lines(); }

    TestWire wire;
    Connection* conn = nullptr;
    WindowRecord* channel = nullptr;
};

bool ends_with(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether any line of the window ends with the text.
bool has_line(const WindowRecord* rec, const std::string& tail)
{
    for (const std::string& l : buffer_texts(rec))
        if (ends_with(l, tail))
            return true;
    return false;
}

TEST_F(IdentifierValuesTest, EncodingIdentifiersGiveTheirValuesAndErrors)
{
    const std::string m46(46, 'M');
    const struct {
        std::string typed;
        std::string shown;   // the end of the line printed
    } cases[] = {
        {"//echo -a v $isutf()", "v 1"},                        // empty text: plain 7-bit
        {"//echo -a v $isutf(a)", "v 1"},
        {"//echo -a v $isutf(a\xC5\x9F)", "v 2"},               // a multibyte character
        {"//echo -a v $encode(abc)", "v #86)C"},                // three bytes: one line
        {"//echo -a v $encode(a)", "v !80``"},                  // one byte, padded group
        {"//echo -a v $decode($encode(hello world))", "v hello world"},
        {"//echo -a v $encode(hello,m)", "v aGVsbG8="},
        {"//echo -a v $decode(aGVsbG8=,M)", "v hello"},          // switches ignore case
        {"//echo -a v $encode(" + m46 + ",u,0)", "v 2"},        // 46 bytes: two lines
        {"//echo -a v $encode(" + m46 + ",u,2)", "v !30``"},    // the second line alone
        {"//echo -a v $encode(abc,u,3) w", "v w"},              // no third line: empty
        {"//echo -a v $utfencode(abc)", "v abc"},
        {"//echo -a v $isutf(a,b)", "* Geçersiz parametre: $isutf"},
        {"//echo -a v $utfencode(a,1,2)", "* Geçersiz parametre: $utfencode"},
        {"//echo -a v $encode(a,m,1,2)", "* Geçersiz parametre: $encode"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string shown = type(c.typed);
        EXPECT_TRUE(ends_with(shown, c.shown)) << shown;
        EXPECT_TRUE(sent_lines().empty());
    }
}

// $me is the nick in use: the nick, the alternative, or the third choice
// taken after both were refused; $mnick and $anick stay the first two.
TEST_F(IdentifierValuesTest, MeIsTheNickInUseFromEachOfTheThreeSlots)
{
    conn->live_identity[2] = "first";
    conn->live_identity[3] = "second";
    conn->live_identity[4] = "third";
    const struct {
        int index;
        const char* shown;
    } cases[] = {{0, "v first first second"}, {1, "v second first second"}, {2, "v third first second"},
                 {0, "v first first second"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        conn->nick_index = c.index;
        const std::string shown = type("//echo -a v $me $mnick $anick");
        EXPECT_TRUE(ends_with(shown, c.shown)) << shown;
    }
}

TEST_F(IdentifierValuesTest, DecodeFailsWhileTheDecodeLockIsOn)
{
    auto saved = encode_decode_locked_hook;
    encode_decode_locked_hook = [] { return true; };
    const std::string locked = type("//echo -a v $decode(aGVsbG8=,m)");
    const std::string encoded = type("//echo -a v $encode(hello,m)");
    encode_decode_locked_hook = saved;
    EXPECT_TRUE(ends_with(locked, "$decode")) << locked;
    EXPECT_EQ(locked.find("v "), std::string::npos) << locked;
    EXPECT_TRUE(ends_with(encoded, "v aGVsbG8=")) << encoded;   // encoding is not locked
}

TEST_F(IdentifierValuesTest, SwitchIdentifiersFollowTheOptions)
{
    const struct {
        const char* name;
        OptionId option;
        int value;
        const char* shown;
    } cases[] = {
        {"ial", OPT_IAL_ENABLED, 1, "$true"},
        {"ial", OPT_IAL_ENABLED, 0, "$false"},
        {"aop", OPT_AUTO_OP_ENABLED, 1, "$true"},
        {"auto", OPT_AUTO_OP_ENABLED, 0, "$false"},
        {"avoice", OPT_AUTO_VOICE_ENABLED, 1, "$true"},
        {"protect", OPT_PROTECT_ENABLED, 1, "$true"},
        {"ignore", OPT_IGNORE_ENABLED, 0, "$false"},
        {"highlight", OPT_HIGHLIGHT_ENABLED, 1, "$true"},
        {"dccignore", OPT_DCC_FILTER_MODE, 2, "$true"},
        {"passivedcc", OPT_DCC_PASSIVE, 1, "$true"},
        {"creq", OPT_DCC_CHAT_REQUESTS, 1, "auto"},
        {"creq", OPT_DCC_CHAT_REQUESTS, 2, "ignore"},
        {"sreq", OPT_DCC_SEND_REQUESTS, 0, "ask"},
        {"sreq", OPT_DCC_SEND_REQUESTS, 7, "ask"},       // an unknown value goes back to ask
        {"dlevel", OPT_DEFAULT_USER_LEVEL, 42, "42"},
        {"menubar", OPT_MENUBAR_SHOWN, 0, "0"},
        {"switchbar", OPT_SWITCHBAR_SHOWN, 1, "1"},
        {"toolbar", OPT_TOOLBAR_SHOWN, 1, "1"},
        {"treebar", OPT_TREEBAR_SHOWN, 0, "0"},
    };
    std::vector<std::pair<OptionId, int>> saved;
    for (const auto& c : cases)
        saved.emplace_back(c.option, opt(c.option));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + std::to_string(c.value));
        opt_set(c.option, c.value);
        const std::string shown = type(std::string("//echo -a v $") + c.name);
        EXPECT_TRUE(ends_with(shown, std::string("v ") + c.shown)) << shown;
    }
    EXPECT_EQ(opt(OPT_DCC_SEND_REQUESTS), 0);   // the stored unknown value was reset
    for (auto it = saved.rbegin(); it != saved.rend(); ++it)
        opt_set(it->first, it->second);
}

TEST_F(IdentifierValuesTest, RemoteIsTheSumOfTheThreeSwitches)
{
    const int saved[3] = {event_switch_events, event_switch_raw, event_switch_ctcps};
    const struct {
        int events, raw, ctcps;
        const char* shown;
    } cases[] = {
        {0, 0, 0, "v 0"}, {1, 0, 0, "v 1"}, {0, 1, 0, "v 2"}, {0, 0, 1, "v 4"}, {1, 1, 1, "v 7"},
    };
    for (const auto& c : cases) {
        event_switch_events = c.events;
        event_switch_raw = c.raw;
        event_switch_ctcps = c.ctcps;
        const std::string shown = type("//echo -a v $remote");
        EXPECT_TRUE(ends_with(shown, c.shown)) << shown;
    }
    event_switch_events = saved[0];
    event_switch_raw = saved[1];
    event_switch_ctcps = saved[2];
}

TEST_F(IdentifierValuesTest, EditboxStateOfTheLineBeingRun)
{
    // Typed and sent with Enter: no Ctrl, not a paste, the first box.
    EXPECT_TRUE(ends_with(type("//echo -a v $ctrlenter $inpaste $cmdbox"), "v $false $false $false"));

    // Pasted with its line break into a one-line box: the line runs as a
    // paste.
    channel->editbox_mode = 0;
    QGuiApplication::clipboard()->setText(QStringLiteral("//echo -a p $inpaste $ctrlenter\n"));
    EditBox* box = channel->editbox.get();
    box->setTextBytes("");
    press(box, Qt::Key_V, Qt::ControlModifier);
    window_test_pump();
    ASSERT_EQ(QGuiApplication::clipboard()->text().toStdString(), "//echo -a p $inpaste $ctrlenter\n");
    EXPECT_EQ(box->toPlainText().toStdString(), "");
    EXPECT_TRUE(ends_with(last_line(channel), "p $true $false")) << last_line(channel);

    // The second editbox of the channel is the command box.
    channel->editbox2_wanted = 1;
    win_create_editbox(channel, 2);
    ASSERT_TRUE(channel->editbox2.get());
    EXPECT_TRUE(ends_with(type("//echo -a c $cmdbox", channel->editbox2.get()), "c $true"));
    // The state does not outlive the line: the first box again.
    EXPECT_TRUE(ends_with(type("//echo -a c $cmdbox $inpaste"), "c $false $false"));
}

TEST_F(IdentifierValuesTest, ServerAnnouncedValuesOfTheConnection)
{
    conn->prefix_modes = "ov";
    irc_state(conn)->chan_modes = "beI,k,l,imnpst";
    irc_state(conn)->modes_per_line = 4;
    EXPECT_TRUE(ends_with(type("//echo -a v $chanmodes $nickmode $modespl"), "v beI,k,l,imnpst ov 4"));
}

TEST_F(IdentifierValuesTest, OnlineTimeOfTheConnectionOrOfTheProgram)
{
    const int saved_total_option = opt(OPT_ONLINE_TIMER_TOTAL);
    const OnlineTime saved_total = online_time_total;
    conn->online_hours = 1;
    conn->online_minutes = 2;
    conn->online_seconds = 3;
    online_time_total = OnlineTime{10, 0, 5};
    opt_set(OPT_ONLINE_TIMER_TOTAL, 0);
    EXPECT_TRUE(ends_with(type("//echo -a v $online"), "v 3723"));
    opt_set(OPT_ONLINE_TIMER_TOTAL, 1);
    EXPECT_TRUE(ends_with(type("//echo -a v $online"), "v 36005"));
    opt_set(OPT_ONLINE_TIMER_TOTAL, saved_total_option);
    online_time_total = saved_total;
}

TEST_F(IdentifierValuesTest, ValuesOutsideEventsAndWithoutALink)
{
    conn->idle_seconds = 0;
    const struct {
        const char* typed;
        const char* shown;
    } cases[] = {
        {"//echo -a v $rawmsg w", "v w"},        // no event: no raw line
        {"//echo -a v $stripped", "v 0"},
        {"//echo -a v $serverip w", "v w"},      // not connected
        {"//echo -a v $idle", "v 0"},
        {"//echo -a v $error w", "v w"},         // no error pending
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string shown = type(c.typed);
        EXPECT_TRUE(ends_with(shown, c.shown)) << shown;
    }
}

TEST_F(IdentifierValuesTest, AwayTimeCountsFromTheAwayStartAndNeverFromTheFuture)
{
    QueryReplyState* st = query_reply_state(conn);
    const std::time_t now = std::time(nullptr);
    const struct {
        int away;
        std::time_t since;
        const char* shown;
    } cases[] = {
        {0, 0, "v 0"},                  // not away
        {1, now - 90, "v 9"},           // 90 (or 91 across a second boundary)
        {1, now + 500, "v 0"},          // a start in the future becomes now
    };
    for (const auto& c : cases) {
        st->away = c.away;
        st->away_since = c.since;
        const std::string shown = type("//echo -a v $awaytime");
        EXPECT_NE(shown.find(c.shown), std::string::npos) << shown;
    }
    EXPECT_LE(st->away_since, std::time(nullptr));   // the future start was reset
    st->away = 0;
    st->away_since = 0;
}

// Two connections, each with its status window; the channel belongs to the
// first.
class ConnectionSwitchTest : public IdentifierValuesTest {
protected:
    void SetUp() override
    {
        IdentifierValuesTest::SetUp();
        two = window_test_conn();
        ASSERT_TRUE(two);
        conn->live_identity[2] = "first";
        two->live_identity[2] = "second";
        one_status = win_record_of(conn->status_window.data());
        two_status = win_record_of(two->status_window.data());
        ASSERT_TRUE(one_status && two_status);
        ASSERT_EQ(conn_by_position(1), conn);
        ASSERT_EQ(conn_by_position(2), two);
        // The new status window took the activation; the channel is where
        // the user types.
        win_on_activate(channel->hwnd.get());
        window_test_pump();
    }
    Connection* two = nullptr;
    WindowRecord* one_status = nullptr;
    WindowRecord* two_status = nullptr;
};

TEST_F(ConnectionSwitchTest, IdentifiersCountFindAndReadOtherConnections)
{
    const std::string one_id = std::to_string(conn->id), two_id = std::to_string(two->id);
    const struct {
        std::string typed;
        std::string shown;
    } cases[] = {
        {"//echo -a v $scon(0)", "v 2"},                     // N = 0: how many
        {"//echo -a v $scid(0)", "v 2"},
        {"//echo -a v $scon(1)", "v " + one_id},
        {"//echo -a v $scon(2)", "v " + two_id},
        {"//echo -a v $scon(3) w", "v w"},                   // past the end: nothing
        {"//echo -a v $scid(" + two_id + ")", "v " + two_id},
        {"//echo -a v $scid(99999) w", "v w"},               // no such id
        {"//echo -a v $scon(-1) w", "v w"},
        {"//echo -a v $scon(99999999999999999999) w", "v w"},   // more digits than an int holds
        {"//echo -a v $scid(-99999999999999999999) w", "v w"},
        {"//echo -a v $scon(2).me", "v second"},              // evaluated on that connection
        {"//echo -a v $scid(" + one_id + ").me", "v first"},
        {"//echo -a v $scon(2).cid", "v " + two_id},
        {"//echo -a v $scon(2).me(1)", "* $scon: özelliği ayraçlarda (bracket) kullanılamaz."},
        {"//echo -a v $scon(x)", "* Geçersiz parametre: $scon"},
        {"//echo -a v $scon(1,2)", "$scon"},                 // one argument only
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string shown = type(c.typed);
        EXPECT_TRUE(ends_with(shown, c.shown)) << shown;
    }
}

TEST_F(ConnectionSwitchTest, CommandsRunOnTheChosenConnections)
{
    const std::string one_id = std::to_string(conn->id), two_id = std::to_string(two->id);
    // A single "/" keeps $cid for the run on the chosen connection.
    type("/scon 2 echo -s a $cid");
    EXPECT_TRUE(ends_with(last_line(two_status), "a " + two_id)) << last_line(two_status);
    EXPECT_FALSE(ends_with(last_line(one_status), "a " + one_id));

    type("/scid " + one_id + " echo -s b $cid");
    EXPECT_TRUE(ends_with(last_line(one_status), "b " + one_id)) << last_line(one_status);

    type("/scon 0 echo -s z $cid");                          // 0 selects the first
    EXPECT_TRUE(ends_with(last_line(one_status), "z " + one_id)) << last_line(one_status);

    type("/scon -a echo -s all $cid");                       // every connection in order
    EXPECT_TRUE(ends_with(last_line(one_status), "all " + one_id));
    EXPECT_TRUE(ends_with(last_line(two_status), "all " + two_id));

    // The state filter: only the connected one.
    two->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(two);  // an open link; nothing is written to it
    type("/scon -at1 echo -s up $cid");
    EXPECT_TRUE(ends_with(last_line(two_status), "up " + two_id));
    EXPECT_FALSE(ends_with(last_line(one_status), "up " + one_id));
    type("/scon -at2 echo -s down $cid");
    EXPECT_TRUE(ends_with(last_line(one_status), "down " + one_id));
    EXPECT_FALSE(ends_with(last_line(two_status), "down " + two_id));
    two->socket = -1;
    two->connected = 0;

    // Errors and messages.
    EXPECT_TRUE(ends_with(type("/scon -a"), "* /scon: Yetersiz veya eksik parametre")) << last_line(channel);
    EXPECT_TRUE(ends_with(type("/scon -s 3"), "* Bağlantı numarası bulunamadı: 3")) << last_line(channel);
    EXPECT_TRUE(ends_with(type("/scid -s 99999"), "* Böyle bir bağlantı id'i yok: 99999")) << last_line(channel);
    EXPECT_TRUE(ends_with(type("/scon -s 99999999999999999999"), "* Bağlantı numarası bulunamadı: 2147483647"))
        << last_line(channel);
    EXPECT_TRUE(ends_with(type("/scid -s"), "* Aktif bağlantı idlesi: " + one_id)) << last_line(channel);
    EXPECT_TRUE(sent_lines().empty());
}

TEST_F(ConnectionSwitchTest, TheRestOfTheLineMovesToTheChosenConnection)
{
    const std::string one_id = std::to_string(conn->id), two_id = std::to_string(two->id);
    type("//scon -s 2 | echo -s moved $cid $me | scon -rs | echo -s back $cid $me");
    // Switched: the message in the window the line ran in, the next command
    // on the second connection with its status window as the window.
    EXPECT_TRUE(has_line(channel, "* Bağlantı id değiştirildi: " + two_id));
    EXPECT_TRUE(has_line(two_status, "moved " + two_id + " second"));
    EXPECT_FALSE(has_line(one_status, "moved " + two_id + " second"));
    // Reset: the message in the second status window, where the line was,
    // then home again.
    EXPECT_TRUE(has_line(two_status, "* Bağlantı id`si Sıfırlandı: " + one_id));
    EXPECT_TRUE(has_line(one_status, "back " + one_id + " first"));
    EXPECT_FALSE(has_line(two_status, "back " + one_id + " first"));

    // The switch lasts for its own line only: the next line runs at home.
    EXPECT_TRUE(ends_with(type("//echo -a v $cid"), "v " + one_id));
}

}  // namespace
