// Working with a window's text with the program's subsystems joined as at
// start: function keys pressed in the real editbox run their aliases, and
// the buffer commands and finding act on the windows the user sees.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include <QApplication>
#include <QFocusEvent>
#include <QImage>
#include <QPainter>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QKeyEvent>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMenu>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/child_widgets.h"
#include "app/child_window.h"
#include "app/dispatch.h"
#include "app/mdi_arrange.h"
#include "app/startup.h"
#include "model/connection.h"
#include "app/frame_menu.h"
#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "bars/picture_files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/time_date.h"
#include "model/colors.h"
#include "display/colours_dialog.h"
#include "display/editbox.h"
#include "display/draw.h"
#include "core/text_buffer.h"
#include "display/find_text.h"
#include "display/flashing.h"
#include "display/highlight.h"
#include "model/line_buffer.h"
#include "display/line_marker.h"
#include "display/window_buffer.h"
#include "display/window_lines.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/send_queue.h"
#include "irc/numerics/isupport.h"
#include "display/nick_colours.h"
#include "display/mouse_clicks.h"
#include "model/nick_list.h"
#include "display/tab_complete.h"
#include "platform/platform_utils.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_types.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

std::vector<std::string> texts_of(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec ? rec->lines : nullptr; n; n = n->next)
        out.push_back(n->text);
    if (out.empty())
        out.emplace_back();
    return out;
}

std::vector<std::string> recorded;  // what the scripts' "rec" command was given
int beeps = 0;

int cmd_rec(CommandCall& call)
{
    recorded.emplace_back(call.rest());
    return 1;
}

class WindowTextTest : public ::testing::Test {
protected:
    HookGuard hooks;
    // The colour tests change the palette and the colour items: both are put
    // back when the test ends.
    struct SavedColours {
        Palette palette = color_palette_current;
        std::array<ColorItem, kColorItemCount> items;
        SavedColours() { std::copy(std::begin(color_items), std::end(color_items), items.begin()); }
        ~SavedColours()
        {
            color_palette_current = palette;
            std::copy(items.begin(), items.end(), std::begin(color_items));
        }
    } colours;

    void SetUp() override
    {
        ASSERT_TRUE(settings.made());
        window_test_reset();
        app_install_subsystems();
        script_register_command("rec", cmd_rec);
        beep_play_hook = [](int) { ++beeps; };
        recorded.clear();
        beeps = 0;
        script_error_clear();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        conn->live_identity[2] = "kestme";
        conn->connected = 1;
        ASSERT_TRUE(wire.ok());
        wire.attach(conn);
        window_test_pump();
    }

    void TearDown() override
    {
        alias_clear_all();
        if (conn_is_live(conn))
            conn->socket = -1;
        window_test_reset();
    }

    WindowRecord* open(const std::string& name, int type, int subtype = 0)
    {
        WindowRecord* rec = window_test_open(name, type, subtype, conn);
        window_test_pump();
        return rec;
    }

    void press(WindowRecord* rec, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        rec->editbox.get()->setFocus();
        QTest::keyClick(rec->editbox.get(), key, mods);
        window_test_pump();
    }

    TempSettingsDir settings{"kest_wtext_"};
    TestWire wire;
    Connection* conn = nullptr;
};

// ---- Function keys ----

TEST_F(WindowTextTest, FunctionKeysRunTheAliasOfTheirExactForm)
{
    alias_add("F5 rec plain $1-");
    alias_add("sF5 rec shift $1-");
    alias_add("cF2 rec ctrl");
    alias_add("aF12 rec alt");
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    struct Case {
        const char* what;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char* ran;   // null: nothing runs and the error beep sounds
    } const cases[] = {
        {"F5", Qt::Key_F5, Qt::NoModifier, "plain"},
        {"Shift+F5 takes the Shift form", Qt::Key_F5, Qt::ShiftModifier, "shift"},
        {"Shift+Ctrl+F5 takes the Shift form too", Qt::Key_F5,
         Qt::ShiftModifier | Qt::ControlModifier, "shift"},
        {"Ctrl+F5 has no alias: the plain one does not stand in", Qt::Key_F5,
         Qt::ControlModifier, nullptr},
        {"Ctrl+F2", Qt::Key_F2, Qt::ControlModifier, "ctrl"},
        {"F2 alone has no alias", Qt::Key_F2, Qt::NoModifier, nullptr},
        {"Alt+F12", Qt::Key_F12, Qt::AltModifier, "alt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recorded.clear();
        beeps = 0;
        press(status, c.key, c.mods);
        if (c.ran) {
            ASSERT_EQ(recorded.size(), 1u);
            EXPECT_EQ(recorded[0], c.ran);
            EXPECT_EQ(beeps, 0);
        } else {
            EXPECT_TRUE(recorded.empty());
            EXPECT_EQ(beeps, 1);
        }
    }
    // Pressed again, it runs again.
    recorded.clear();
    press(status, Qt::Key_F5);
    press(status, Qt::Key_F5);
    EXPECT_EQ(recorded, (std::vector<std::string>{"plain", "plain"}));
}

TEST_F(WindowTextTest, FunctionKeyParametersFollowTheWindow)
{
    alias_add("F2 rec got $1-");
    WindowRecord* chan = open("#keys", kWinChannel);
    ASSERT_TRUE(chan);
    for (const char* nick : {"alice", "bob", "carol", "dave"})
        nicklist_update(nick, chan, kNickAddOrChange, 1);
    const int op_bit = nicklist_prefix_bit(conn, '@');
    ASSERT_NE(op_bit, 0);
    nicklist_update("bob", chan, kNickAddOrChange, op_bit | 1);
    window_test_pump();
    ListBox* list = chan->listbox.get();
    ASSERT_TRUE(list);
    ASSERT_EQ(list->count(), 4);
    // Selected: three nicks, one of them with a prefix shown.
    for (int i = 0; i < list->count(); ++i) {
        const std::string t = list->item(i)->text().toStdString();
        list->item(i)->setSelected(t.find("dave") == std::string::npos);
    }
    press(chan, Qt::Key_F2);
    ASSERT_EQ(recorded.size(), 1u);
    std::string got = recorded[0];
    for (const char* nick : {"alice", "bob", "carol"})
        EXPECT_NE(got.find(nick), std::string::npos) << got;
    EXPECT_EQ(got.find("dave"), std::string::npos) << got;
    EXPECT_EQ(got.find('@'), std::string::npos) << got;

    recorded.clear();
    WindowRecord* query = open("bob", kWinQuery, kQueryPrivate);
    ASSERT_TRUE(query);
    press(query, Qt::Key_F2);
    EXPECT_EQ(recorded, (std::vector<std::string>{"got bob"}));

    // The message window: the newest nick the user talked with.
    recorded.clear();
    WindowRecord* messages = open("Message Window", kWinQuery, kQueryMessages);
    ASSERT_TRUE(messages);
    tab_nicks_add("carol", 1, conn);
    tab_nicks_add("erin", 1, conn);
    press(messages, Qt::Key_F2);
    EXPECT_EQ(recorded, (std::vector<std::string>{"got erin"}));
}

// ---- Lines from the server ----

class ServerTextTest : public WindowTextTest {
protected:
    void SetUp() override
    {
        WindowTextTest::SetUp();
        conn->registered = 1;
        conn->live_identity[2] = "me";
        conn->server_name = "irc.test";
        irc_state(conn)->registration = 1;
        feed(":me!u@h JOIN :#kest");
        feed(":me!u@h JOIN :#other");
        channel = win_find_channel("#kest", conn);
        other = win_find_channel("#other", conn);
        ASSERT_TRUE(channel && other);
        QWidget* top = channel->hwnd.get()->window();
        top->resize(700, 500);
        top->show();
        window_test_pump();
    }
    void TearDown() override
    {
        flash_free_all();
        WindowTextTest::TearDown();
    }
    void feed(const std::string& line)
    {
        irc_dispatch_line(line, conn);
        window_test_pump();
    }
    // The newest display line holding the text, or null.
    const StringNode* newest_with(WindowRecord* rec, const std::string& text)
    {
        const StringNode* found = nullptr;
        for (const StringNode* n = rec->lines; n; n = n->next)
            if (n->text.find(text) != std::string::npos)
                found = n;
        return found;
    }
    void type_in(WindowRecord* rec, const std::string& text)
    {
        EditBox* box = rec->editbox.get();
        ASSERT_TRUE(box);
        box->setFocus();
        box->setPlainText(QString::fromStdString(text));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
    }
    // The user looks at the channel (it in front, the program active) or
    // away from it (another window in front).
    void look_at_channel(bool in_view)
    {
        opt_set(OPT_HIGHLIGHT_UNSEEN, 1);
        win_activate((in_view ? channel : other)->hwnd.get(), kActivateForeground);
        window_test_pump();
        ASSERT_EQ(win_needs_highlight(channel->hwnd.get()), in_view ? 0 : 1);
    }
    WindowRecord* channel = nullptr;
    WindowRecord* other = nullptr;
};

TEST_F(ServerTextTest, ALineNamingTheOwnNickIsHighlightedAndFlagged)
{
    // Red (colour value 5 is palette 4) for the own nick and a listed word.
    ini_write("highlight", "n0", "5,1,0,0,\"\",\"\",\"$me,kestword\",0,0,0,3", main_ini_path);
    highlight_load();
    ASSERT_EQ(highlight_entries.size(), 1u);
    opt_set(OPT_HIGHLIGHT_ENABLED, 1);
    const int red = 4;

    struct Case {
        const char* what;
        std::string line;
        std::string shown;
        bool highlighted;
    };
    const Case cases[] = {
        {"the own nick", ":peer!u@h PRIVMSG #kest :hello me there", "hello me there", true},
        {"a listed word", ":peer!u@h PRIVMSG #kest :the KESTWORD counts", "KESTWORD counts", true},
        {"a longer word is not the nick", ":peer!u@h PRIVMSG #kest :meme and theme", "meme and theme", false},
        {"the sender part is skipped", ":me2!u@h PRIVMSG #kest :nothing here", "nothing here", false},
        {"a letter beyond ASCII after the nick", ":peer!u@h PRIVMSG #kest :meä says hi", "meä says hi", false},
        {"a letter beyond ASCII before it", ":peer!u@h PRIVMSG #kest :äme says hi", "äme says hi", false},
        {"the nick before punctuation", ":peer!u@h PRIVMSG #kest :hi me.", "hi me.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        channel->activity = 0;
        flash_free_all();
        feed(c.line);
        const StringNode* line = newest_with(channel, c.shown);
        ASSERT_TRUE(line);
        EXPECT_EQ(color_resolve(line_colour(line)) == red, c.highlighted);
        EXPECT_EQ(channel->activity == kActivityHighlight, c.highlighted);
        EXPECT_EQ(flash_count() > 0, c.highlighted);
        // Another channel's text stays as it was.
        EXPECT_EQ(other->activity, 0);
    }

    // The painted line is red on screen.
    feed(":peer!u@h PRIVMSG #kest :look me");
    QImage image = channel->text_area.get()->grab().toImage();
    const QColor want = draw_palette_colour(red);
    int red_pixels = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            red_pixels += QColor(image.pixel(x, y)) == want ? 1 : 0;
    EXPECT_GT(red_pixels, 10);

    // Highlighting off: nothing matches.
    opt_set(OPT_HIGHLIGHT_ENABLED, 0);
    channel->activity = 0;
    feed(":peer!u@h PRIVMSG #kest :off me");
    const StringNode* off = newest_with(channel, "off me");
    ASSERT_TRUE(off);
    EXPECT_NE(color_resolve(line_colour(off)), red);
    EXPECT_NE(channel->activity, kActivityHighlight);
}

TEST_F(ServerTextTest, HighlightWordsMatchByTheirKindAndPart)
{
    struct Case {
        const char* what;
        std::string value;     // the [highlight] value
        std::string line;
        int message;           // a message line naming the nick below
        std::string nick;
        bool match;
    };
    auto v = [](const std::string& words, int part = 0, int cs = 0, int regex = 0) {
        return "0,0," + std::to_string(part) + ",0,\"\",\"\",\"" + words + "\"," +
               std::to_string(cs) + "," + std::to_string(regex) + ",0,3";
    };
    const Case cases[] = {
        {"plain word before punctuation", v("bob"), "hi bob!", 0, "", true},
        {"plain word alone", v("bob"), "bob", 0, "", true},
        {"plain word inside a longer one", v("bob"), "bobby", 0, "", false},
        {"plain word at a longer one's end", v("bob"), "kabob", 0, "", false},
        {"plain word after a miss on the same line", v("bob"), "kabob bob", 0, "", true},
        {"codes do not hide a word", v("bob"), "hi \x02" "bob\x02", 0, "", true},
        {"wildcard through a single word", v("bo*"), "hello bob", 0, "", true},
        {"wildcard over the whole line", v("bo*"), "boat", 0, "", true},
        {"wildcard without a fitting word", v("bo*"), "hello there", 0, "", false},
        {"case-sensitive word", v("Bob", 0, 1), "hi bob", 0, "", false},
        {"regex not case-sensitive", v("b.b", 0, 0, 1), "BOB", 0, "", true},
        {"regex case-sensitive", v("b.b", 0, 1, 1), "BOB", 0, "", false},
        {"/regex/ not case-sensitive", v("/b.b/", 0, 0, 1), "BOB", 0, "", true},
        {"/regex/ case-sensitive", v("/b.b/", 0, 1, 1), "BOB", 0, "", false},
        {"/regex/ case-sensitive, same case", v("/b.b/", 0, 1, 1), "bob", 0, "", true},
        {"m#regex# not case-sensitive", v("m#b.b#", 0, 0, 1), "BOB", 0, "", true},
        {"m#regex# case-sensitive", v("m#b.b#", 0, 1, 1), "BOB", 0, "", false},
        {"plain word before a letter beyond ASCII", v("kest"), "kestä", 0, "", false},
        {"plain word after a letter beyond ASCII", v("kest"), "äkest", 0, "", false},
        {"plain word before a letter beyond ASCII, then alone", v("kest"), "kestä kest", 0, "", true},
        {"part 2 tests only the nick", v("hello", 2), "<Bob> hello", 1, "Bob", false},
        {"part 2 finds the nick in brackets", v("bob", 2), "<Bob> hello", 1, "Bob", true},
        {"part 0 skips the nick", v("bob", 0), "<Bob> hello", 1, "Bob", false},
        {"part 1 takes both", v("bob", 1), "<Bob> hello", 1, "Bob", true},
        {"an evaluated word", v("$me"), "say me now", 0, "", true},
        {"second word of the list", v("xyz,now"), "say me now", 0, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HighlightEntry e;
        ASSERT_TRUE(highlight_parse(c.value, e));
        highlight_entries.assign(1, e);
        const HighlightEntry* got = highlight_match(channel, c.line, 0, 1, c.message, c.nick);
        EXPECT_EQ(got != nullptr, c.match);
        // Asked again, the answer is the same.
        EXPECT_EQ(highlight_match(channel, c.line, 0, 1, c.message, c.nick) != nullptr, c.match);
    }
    highlight_clear();
}

TEST_F(ServerTextTest, HighlightSettingsLoadClampAndSaveBack)
{
    ini_write("highlight", "n0", "3,1,1,5,\"beep\",\"look, here\",\"one,two*,$me\",1,0,1,100", main_ini_path);
    ini_write("highlight", "n1", "3,1,1,5,\"\",\"\",\"\",1,0,1,3", main_ini_path);  // no words
    ini_write("highlight", "n2", "16,0,2,0,\"\",\"\",\"last\",0,1,0,1", main_ini_path);
    highlight_load();
    ASSERT_EQ(highlight_entries.size(), 2u);
    const HighlightEntry& a = highlight_entries[0];
    EXPECT_EQ(a.color, 3);
    EXPECT_EQ(a.flash, 1);
    EXPECT_EQ(a.part, 1);
    EXPECT_EQ(a.flash_count, 5);
    EXPECT_EQ(a.sound, 1);
    EXPECT_EQ(a.message, "look, here");
    ASSERT_EQ(a.words.size(), 3u);
    EXPECT_EQ(a.words[1].kind, kHighlightWildcard);
    EXPECT_EQ(a.words[2].kind, kHighlightEvaluated);
    EXPECT_EQ(a.case_sensitive, 1);
    EXPECT_EQ(a.tip, 1);
    EXPECT_EQ(a.tip_seconds, 60);
    EXPECT_EQ(highlight_entries[1].tip_seconds, 3);
    EXPECT_EQ(highlight_entries[1].regex, 1);

    // Saved and loaded again, the entries are the same; the stale key goes.
    const std::string first = highlight_entry_text(highlight_entries[0], 0);
    const std::string second = highlight_entry_text(highlight_entries[1], 0);
    highlight_save();
    highlight_load();
    ASSERT_EQ(highlight_entries.size(), 2u);
    EXPECT_EQ(highlight_entry_text(highlight_entries[0], 0), first);
    EXPECT_EQ(highlight_entry_text(highlight_entries[1], 0), second);
    std::string stale;
    ini_read("highlight", "n2", "", stale, 4200, main_ini_path);
    EXPECT_EQ(stale, "");
    highlight_clear();
}

TEST_F(ServerTextTest, FlashingFollowsItsEntryAndStops)
{
    QWidget* frame = channel->hwnd.get()->window();
    ASSERT_TRUE(frame_app_active()) << "these cases are for a program in use";
    // With the program active the main window itself does not flash.
    flash_start(nullptr, nullptr);
    EXPECT_EQ(flash_count(), 0);

    // A channel out of view flashes the main window; while the program is
    // active the sound plays one cycle only.
    HighlightEntry loud;
    loud.sound = 1;
    loud.flash_count = 5;
    loud.message = "look";
    flash_start(channel->hwnd.get(), &loud);
    ASSERT_EQ(flash_count(), 1);
    FlashEntry* e = flash_find(frame);
    ASSERT_TRUE(e) << "an MDI child flashes the main window";
    EXPECT_EQ(e->title, "Kest look");
    EXPECT_EQ(e->sound_countdown, 2);

    // Without an entry a running flash stays as it is.
    flash_start(channel->hwnd.get(), nullptr);
    ASSERT_EQ(flash_count(), 1);
    EXPECT_EQ(flash_find(frame)->title, "Kest look");

    beeps = 0;
    for (int i = 0; i < 16; ++i)
        flash_tick();
    EXPECT_EQ(beeps, 1);
    ASSERT_TRUE(flash_find(frame));
    EXPECT_EQ(flash_find(frame)->sound, 0);
    flash_stop(frame);
    EXPECT_EQ(flash_count(), 0);
    EXPECT_EQ(frame->windowTitle().toStdString().find("look"), std::string::npos);
    // Stopping again changes nothing.
    flash_stop(frame);
    EXPECT_EQ(flash_count(), 0);
}

// ---- What a new user meets ----

TEST_F(ServerTextTest, TheWaitingMessageTitleEndsOnceItsQueryIsOpenedAndAnswered)
{
    const int saved = opt(OPT_MINIMISE_QUERIES);
    opt_set(OPT_MINIMISE_QUERIES, 1);
    QWidget* frame = channel->hwnd.get()->window();
    ASSERT_TRUE(frame_app_active()) << "the program is in use";
    const QString plain = frame->windowTitle();
    feed(":dave!d@h PRIVMSG me :are you there?");
    WindowRecord* query = win_find_by_name("dave", conn);
    ASSERT_TRUE(query);
    ASSERT_TRUE(win_is_minimised(query->hwnd.get())) << "out of view";
    // The printing asks for the flash of a query out of view.
    flash_start(query->hwnd.get(), nullptr);
    ASSERT_TRUE(flash_find(frame));
    bool waiting_shown = false;
    for (int i = 0; i < 4; ++i) {
        flash_tick();
        waiting_shown = waiting_shown || frame->windowTitle().contains(QStringLiteral("[Mesaj Bekleniyor]"));
    }
    EXPECT_TRUE(waiting_shown) << "the title alternates with the notice";

    // The user brings the query up and answers it: the notice is gone at
    // once and does not come back while the program stays in use.
    auto* sub = qobject_cast<QMdiSubWindow*>(win_container(query->hwnd.get()));
    ASSERT_TRUE(sub);
    sub->showNormal();
    sub->mdiArea()->setActiveSubWindow(sub);
    window_test_pump();
    type_in(query, "yes, here");
    EXPECT_EQ(flash_count(), 0);
    EXPECT_EQ(frame->windowTitle(), plain);
    for (int i = 0; i < 8; ++i)
        flash_tick();
    EXPECT_FALSE(frame->windowTitle().contains(QStringLiteral("Mesaj Bekleniyor")));
    opt_set(OPT_MINIMISE_QUERIES, saved);
}

TEST_F(ServerTextTest, QueriesTheUserOpensComeUpWhileIncomingOnesFollowTheirOption)
{
    const int saved = opt(OPT_MINIMISE_QUERIES);
    clicks_load();  // the double-click commands, as the settings load reads them
    feed(":gina!g@h JOIN :#kest");
    auto dclick_nick = [&](const std::string& nick) {
        ListBox* list = channel->listbox.get();
        ASSERT_TRUE(list);
        win_activate(channel->hwnd, 0);
        window_test_pump();
        const int row = nicklist_row_of(channel, nicklist_find(channel, nick));
        ASSERT_TRUE(row >= 0 && list->item(row));
        const QRect r = list->visualItemRect(list->item(row));
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, r.center());  // the button comes up
        window_test_pump();
    };
    const struct {
        const char* what;
        int option;   // new queries open minimised
        std::function<void()> act;
        const char* nick;
        bool minimised;
        int active;  // 1 the window the user works in now, 0 not, -1 either
    } cases[] = {
        {"typed /query", 1, [&] { type_in(channel, "/query dave"); }, "dave", false, 1},
        {"a double-click on a nick", 1, [&] { dclick_nick("gina"); }, "gina", false, 1},
        {"typed /query -n", 0, [&] { type_in(channel, "/query -n hal"); }, "hal", true, 0},
        {"an incoming message, option on", 1, [&] { feed(":erin!e@h PRIVMSG me :hi"); }, "erin", true, 0},
        {"an incoming message, option off", 0, [&] { feed(":fred!f@h PRIVMSG me :hi"); }, "fred", false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        opt_set(OPT_MINIMISE_QUERIES, c.option);
        win_activate(channel->hwnd, 0);
        window_test_pump();
        c.act();
        window_test_pump();
        WindowRecord* query = win_find_by_name(c.nick, conn);
        ASSERT_TRUE(query);
        EXPECT_EQ(win_is_minimised(query->hwnd.get()) != 0, c.minimised);
        if (c.active == 1) {
            EXPECT_EQ(win_active.get(), query->hwnd.get());
        } else if (c.active == 0) {
            EXPECT_EQ(win_active.get(), channel->hwnd.get()) << "a minimised query takes no focus";
        }
    }
    opt_set(OPT_MINIMISE_QUERIES, saved);
}

TEST_F(ServerTextTest, AGrowingInputBoxShrinksBackAsSoonAsItsTextIsSent)
{
    const int saved = opt(OPT_EDITBOX_LINES);
    opt_set(OPT_EDITBOX_LINES, 2);
    WindowRecord* chan = window_test_open("#grow", kWinChannel, 0, conn);
    ASSERT_TRUE(chan && chan->editbox.get());
    ASSERT_EQ(chan->editbox_mode, 2);
    QWidget* top = chan->hwnd.get()->window();
    top->resize(700, 600);
    win_activate(chan->hwnd, 0);
    window_test_pump();
    EditBox* box = chan->editbox.get();
    const int one_line = box->height();
    std::string fifty;
    for (int i = 0; i < 50; ++i)
        fifty += "pasted line " + std::to_string(i) + (i < 49 ? "\n" : "");
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"fifty pasted lines", fifty},
        {"one long line", std::string(900, 'w')},
        {"fifty lines again", fifty},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        box->setFocus();
        box->insertPlainText(QString::fromStdString(c.text));
        window_test_pump();
        ASSERT_GT(box->height(), one_line) << "the box grows with its text";
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
        EXPECT_TRUE(box->toPlainText().isEmpty());
        EXPECT_EQ(box->height(), one_line) << "back to one line before any other key";
        EXPECT_EQ(chan->editbox_lines, 1);
    }
    opt_set(OPT_EDITBOX_LINES, saved);
}

TEST_F(ServerTextTest, AltKOpensTheColoursDialogThoughAMenuOfTheBarHasTheLetter)
{
    auto* top = qobject_cast<QMainWindow*>(channel->hwnd.get()->window());
    ASSERT_TRUE(top);
    struct Restore {
        QPointer<QMainWindow> frame = frame_window;
        QMainWindow* top;
        ~Restore()
        {
            while (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
            if (QDialog* d = color_dialog())
                delete d;
            frame_menus_destroy();
            if (top)
                top->menuBar()->clear();
            frame_window = frame;
            dispatch_uninstall();
            window_test_pump();
        }
    } restore{frame_window, top};
    frame_window = top;
    ASSERT_EQ(frame_menu_build(), 1);
    dispatch_install();  // as the start-up does
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    const QString kanallar = QString::fromUtf8("&Kanallar");
    bool has_k_menu = false;
    for (QAction* a : top->menuBar()->actions())
        has_k_menu = has_k_menu || a->text() == kanallar;
    ASSERT_TRUE(has_k_menu) << "a menu of the bar answers to K";

    // The keys as the window system delivers them, with the focus in the
    // channel's input box. Before a key goes to the shortcuts (the menu
    // letters among them) its widget is asked whether it wants it: Alt+K
    // is the window's, Alt+Y is not.
    channel->editbox.get()->setFocus();
    window_test_pump();
    for (const auto& [key, wanted] : {std::pair{Qt::Key_K, true}, std::pair{Qt::Key_Y, false}}) {
        QKeyEvent ask(QEvent::ShortcutOverride, key, Qt::AltModifier);
        ask.ignore();
        QApplication::sendEvent(channel->editbox.get(), &ask);
        EXPECT_EQ(ask.isAccepted(), wanted) << key;
    }
    // A repeat of a held Alt+K (its first press went elsewhere) opens
    // neither the dialog again nor the menu.
    QTest::simulateEvent(top->windowHandle(), true, Qt::Key_K, Qt::AltModifier, QStringLiteral("k"), true);
    QTest::simulateEvent(top->windowHandle(), false, Qt::Key_K, Qt::AltModifier, QStringLiteral("k"), false);
    window_test_pump();
    EXPECT_FALSE(color_dialog());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(top->windowHandle(), Qt::Key_K, Qt::AltModifier);
    window_test_pump();
    EXPECT_TRUE(color_dialog()) << "Alt+K gives the colours dialog";
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "and no menu";
    delete color_dialog();
    window_test_pump();

    // A letter that is no accelerator still opens its menu of the bar.
    top->activateWindow();
    channel->editbox.get()->setFocus();
    window_test_pump();
    QTest::keyClick(top->windowHandle(), Qt::Key_Y, Qt::AltModifier);
    window_test_pump();
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu) << "Alt+Y opens the help menu";
    EXPECT_EQ(menu->menuAction()->text(), QString::fromUtf8("&Yardım"));
    EXPECT_FALSE(color_dialog());
}

// ---- Buffers to files and back ----

class BufferCommandsTest : public WindowTextTest {
protected:
    void type_line(WindowRecord* rec, const std::string& text)
    {
        EditBox* box = rec->editbox.get();
        ASSERT_TRUE(box);
        box->setFocus();
        box->setPlainText(QString::fromStdString(text));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
    }
    static std::vector<std::string> texts(const WindowRecord* rec)
    {
        std::vector<std::string> out;
        for (const StringNode* n = rec->lines; n; n = n->next)
            if (!line_is_marker(n))
                out.push_back(n->text);
        return out;
    }
    std::string file(const std::string& name) { return settings.path() + name; }
    std::string status_text()
    {
        WindowRecord* status = win_record_of(conn->status_window.data());
        std::string all;
        for (const std::string& t : texts(status))
            all += t + "\n";
        return all;
    }
};

TEST_F(BufferCommandsTest, SavebufThenLoadbufRoundTripsTenThousandLines)
{
    const int saved_lines = opt(OPT_BUFFER_LINES);
    opt_set(OPT_BUFFER_LINES, 30000);
    WindowRecord* chan = open("#big", kWinChannel);
    WindowRecord* copy = open("#copy", kWinChannel);
    ASSERT_TRUE(chan && copy);
    win_clear_buffer(chan, 0);
    win_clear_buffer(copy, 0);
    for (int i = 0; i < 10000; ++i)
        print_line(chan->hwnd.get(),
                   "line " + std::to_string(i) + (i % 7 == 0 ? " \x03" "04red\x03 and \x02" "bold" : ""),
                   kColorNormalText);
    const std::vector<std::string> original = texts(chan);
    ASSERT_GE(original.size(), 10000u);

    type_line(chan, "/savebuf #big big.txt");
    EXPECT_EQ(slurp(file("big.txt")).size() > 0, true);
    type_line(copy, "/loadbuf #copy big.txt");
    EXPECT_EQ(texts(copy), original);
    EXPECT_EQ(copy->line_count, static_cast<int>(original.size()));
    EXPECT_EQ(copy->scroll_pos, copy->scroll_end) << "the view is at the newest line";

    // Again with -r: the same, not twice as much.
    type_line(copy, "/loadbuf -r #copy big.txt");
    EXPECT_EQ(texts(copy), original);
    opt_set(OPT_BUFFER_LINES, saved_lines);
}

TEST_F(BufferCommandsTest, RangesSectionsAndAppending)
{
    WindowRecord* chan = open("#range", kWinChannel);
    ASSERT_TRUE(chan);
    spit(file("five.txt"), "one\ntwo\r\nthree\n\nfive\n");
    spit(file("sections.ini"), "[first]\nn0=a\n[abc]\nx\n\ny\n\n\n[last]\nz\n");
    struct Case {
        const char* what;
        std::string command;
        std::vector<std::string> lines;
    } const cases[] = {
        {"whole file, an empty line a blank", "/loadbuf -r #range five.txt", {"one", "two", "three", " ", "five"}},
        {"the last three", "/loadbuf 3 -r #range five.txt", {"three", " ", "five"}},
        {"lines two to four", "/loadbuf 2-4 -r #range five.txt", {"two", "three", " "}},
        {"from line four on", "/loadbuf 4- -r #range five.txt", {" ", "five"}},
        {"one ini section", "/loadbuf -rtabc #range sections.ini", {"x", " ", "y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        type_line(chan, c.command);
        EXPECT_EQ(texts(chan), c.lines);
    }
    // Saving a range, then appending.
    type_line(chan, "/loadbuf -r #range five.txt");
    type_line(chan, "/savebuf 2 #range out.txt");
    EXPECT_EQ(slurp(file("out.txt")), " \nfive\n");
    type_line(chan, "/savebuf -a 1-1 #range out.txt");
    EXPECT_EQ(slurp(file("out.txt")), " \nfive\none\n");
    type_line(chan, "/savebuf 1-1 #range out.txt");
    EXPECT_EQ(slurp(file("out.txt")), "one\n");
}

TEST_F(BufferCommandsTest, ErrorsNameTheFaultAndChangeNothing)
{
    WindowRecord* chan = open("#err", kWinChannel);
    ASSERT_TRUE(chan);
    spit(file("one.txt"), "only\n");
    struct Case {
        const char* what;
        std::string command;
        std::string error;
    } const cases[] = {
        {"no file", "/loadbuf #err", "* /loadbuf: Yetersiz veya eksik parametre"},
        {"no such window", "/loadbuf #nowhere one.txt", "* /loadbuf: Geçersiz pencere"},
        {"a file that is not there", "/loadbuf #err missing.txt", "* /loadbuf: Açılamıyor '" + file("missing.txt") + "'"},
        {"a section that is not there", "/loadbuf -tnope #err one.txt", "* /loadbuf: Geçersiz parametre"},
        {"save without a file", "/savebuf #err", "* /savebuf: Yetersiz veya eksik parametre"},
        {"save to a folder that is not there", "/savebuf #err nodir/x.txt", "* /savebuf: Açılamıyor '" + file("nodir/x.txt") + "'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t before = texts(chan).size();
        type_line(chan, c.command);
        const std::string all = texts(chan).empty() ? std::string() : texts(chan).back();
        std::string shown = status_text() + "\n" + all;
        EXPECT_NE(shown.find(c.error), std::string::npos) << shown;
        EXPECT_LE(texts(chan).size(), before + 1) << "only the error line is added";
    }
}

// ---- Log tails ----

TEST_F(BufferCommandsTest, LogTailReadsTheLastLinesAcrossBlocks)
{
    // Lines of every length around the block size, with both line ends.
    std::string content;
    std::vector<std::string> written;
    for (int i = 0; i < 400; ++i) {
        std::string line = "L" + std::to_string(i) + std::string(static_cast<std::size_t>(i * 37 % 300), 'x');
        written.push_back(line);
        content += line + (i % 3 == 0 ? "\r\n" : "\n");
    }
    spit(file("tail.log"), content);
    for (int count : {1, 5, 123, 400, 1000}) {
        SCOPED_TRACE(count);
        int failed = 0;
        StringNode* tail = log_read_tail(file("tail.log"), count, 0, nullptr, &failed);
        std::vector<std::string> got;
        for (StringNode* n = tail; n; n = n->next)
            got.push_back(n->text);
        strlist_free(&tail);
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), written.size());
        EXPECT_EQ(got, std::vector<std::string>(written.end() - static_cast<long>(n), written.end()));
        EXPECT_EQ(failed, 0);
    }
    int failed = 0;
    EXPECT_EQ(log_read_tail(file("absent.log"), 5, 0, nullptr, &failed), nullptr);
    EXPECT_EQ(failed, 1);
    // A line longer than a block is not returned.
    spit(file("long.log"), "short\n" + std::string(20000, 'y') + "\n");
    StringNode* tail = log_read_tail(file("long.log"), 2, 0, nullptr, &failed);
    EXPECT_EQ(tail, nullptr);
    strlist_free(&tail);
}

TEST_F(BufferCommandsTest, OpeningALoggedChannelReloadsItsLogWithoutHeaders)
{
    const std::string saved_dir = main_settings.log_dir;
    main_settings.log_dir = settings.path() + "logs/";
    std::filesystem::create_directories(main_settings.log_dir);
    const int saved_log = opt(OPT_LOG_CHANNELS), saved_reload = opt(OPT_LOG_RELOAD);
    opt_set(OPT_LOG_CHANNELS, 1);
    opt_set(OPT_LOG_RELOAD, 1);
    std::string stamp;
    time_stamp_text(stamp, 3);
    spit(main_settings.log_dir + "#back.log",
         "\r\nOturum Başlatıldı: Mon Jan 01 10:00:00 2026\r\n" + stamp + " <bob> earlier text\r\n"
         "-\r\n-\r\n" + stamp + " <amy> last words\r\nOturum Kapatıldı: Mon Jan 01 11:00:00 2026\r\n");
    WindowRecord* chan = open("#back", kWinChannel);
    ASSERT_TRUE(chan);
    const std::vector<std::string> got = texts(chan);
    // Stamps go when the window does not show them; headers never come back;
    // the two separators are one.
    auto pos = [&](const std::string& t) {
        return std::find(got.begin(), got.end(), t) - got.begin();
    };
    const long earlier = pos("<bob> earlier text"), last = pos("<amy> last words");
    ASSERT_LT(earlier, static_cast<long>(got.size())) << ::testing::PrintToString(got);
    ASSERT_LT(last, static_cast<long>(got.size()));
    EXPECT_LT(earlier, last);
    EXPECT_EQ(last - earlier, 2) << "one separator between them";
    for (const std::string& t : got)
        EXPECT_EQ(t.find("Oturum"), std::string::npos) << t;
    opt_set(OPT_LOG_CHANNELS, saved_log);
    opt_set(OPT_LOG_RELOAD, saved_reload);
    main_settings.log_dir = saved_dir;
}

// ---- Find ----

TEST_F(BufferCommandsTest, CtrlFFindsAWordAndScrollsToIt)
{
    color_items_init();  // the program's colours, so that text shows
    color_load();
    WindowRecord* chan = open("#find", kWinChannel);
    ASSERT_TRUE(chan);
    QWidget* top = chan->hwnd.get()->window();
    top->resize(600, 400);
    top->show();
    window_test_pump();
    win_clear_buffer(chan, 0);
    for (int i = 0; i < 300; ++i) {
        std::string t = "filler line " + std::to_string(i);
        if (i == 40)
            t = "an \x02Needle\x02 in \x03" "04colour";
        if (i == 120)
            t = "another NEEDLE here";
        print_line(chan->hwnd.get(), t, kColorNormalText);
    }
    window_test_pump();
    ASSERT_EQ(chan->scroll_pos, chan->scroll_end);
    win_active = chan->hwnd.get();
    find_text.clear();
    find_text_save_history({});

    chan->editbox.get()->setFocus();
    QTest::keyClick(chan->editbox.get(), Qt::Key_F, Qt::ControlModifier);
    window_test_pump();
    QDialog* dialog = find_text_dialog();
    ASSERT_TRUE(dialog);
    // A second Ctrl+F opens no second dialog.
    QTest::keyClick(chan->editbox.get(), Qt::Key_F, Qt::ControlModifier);
    window_test_pump();
    EXPECT_EQ(find_text_dialog(), dialog);

    auto* combo = qobject_cast<QComboBox*>(dlg_item(dialog, 130));
    auto* up = qobject_cast<QPushButton*>(dlg_item(dialog, 135));
    auto* down = qobject_cast<QPushButton*>(dlg_item(dialog, 133));
    ASSERT_TRUE(combo && up && down);
    auto bottom_text = [&] {
        QRect area = chan->text_area.get()->rect();
        std::vector<ShownLine> shown;
        draw_lines_in_view(chan, area, shown);
        return shown.empty() ? std::string() : shown.back().line->text;
    };
    // The painted rows in view, bottom row last, each with how many pixels
    // of its first characters differ from the row's background (taken
    // three quarters across, past every line's text): a marked row is painted with another colour behind
    // its text, so nearly all of them differ.
    auto painted_rows = [&] {
        QRect area = chan->text_area.get()->rect();
        std::vector<ShownLine> shown;
        draw_lines_in_view(chan, area, shown);
        const QImage image = chan->text_area.get()->grab().toImage();
        std::vector<std::pair<std::string, int>> rows;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const int top = std::max(shown[i].top, 0);
            const int bottom = std::min(i + 1 < shown.size() ? shown[i + 1].top : image.height(), image.height());
            int count = 0;
            for (int y = top; y < bottom; ++y) {
                const QRgb back = image.pixel(image.width() * 3 / 4, y);
                for (int x = 0; x < 60 && x < image.width(); ++x)
                    count += image.pixel(x, y) != back ? 1 : 0;
            }
            rows.emplace_back(shown[i].line->text, count);
        }
        return rows;
    };
    // The found line, at the bottom, is the one row shown marked.
    auto expect_marked_bottom = [&](const std::string& part) {
        const auto rows = painted_rows();
        ASSERT_GE(rows.size(), 3u);
        EXPECT_NE(rows.back().first.find(part), std::string::npos) << rows.back().first;
        for (std::size_t i = 0; i + 1 < rows.size(); ++i)
            EXPECT_GT(rows.back().second, 2 * rows[i].second) << rows[i].first;
    };
    combo->setEditText("needle");
    QTest::mouseClick(up, Qt::LeftButton);
    window_test_pump();
    EXPECT_EQ(bottom_text(), "another NEEDLE here");
    EXPECT_LT(chan->scroll_pos, chan->scroll_end);
    expect_marked_bottom("another NEEDLE here");
    // Up again: the older one, codes and case ignored.
    QTest::mouseClick(up, Qt::LeftButton);
    window_test_pump();
    EXPECT_NE(bottom_text().find("Needle"), std::string::npos) << bottom_text();
    expect_marked_bottom("Needle");
    // Nothing older: the view stays, still marked, and the beep sounds.
    const int pos = chan->scroll_pos;
    beeps = 0;
    QTest::mouseClick(up, Qt::LeftButton);
    window_test_pump();
    EXPECT_EQ(chan->scroll_pos, pos);
    EXPECT_EQ(beeps, 1);
    expect_marked_bottom("Needle");
    // Down finds the newer one again, and only it is marked; a narrower
    // window cuts the lines again and the mark stays with its line.
    QTest::mouseClick(down, Qt::LeftButton);
    window_test_pump();
    EXPECT_EQ(bottom_text(), "another NEEDLE here");
    expect_marked_bottom("another NEEDLE here");
    top->resize(450, 400);
    window_test_pump();
    int marked = 0;
    for (const StringNode* n = chan->lines; n; n = n->next) {
        int from = 0, to = 0;
        if (find_text_found_span(chan, n, &from, &to)) {
            ++marked;
            EXPECT_NE(n->text.find("NEEDLE"), std::string::npos) << n->text;
        }
    }
    EXPECT_EQ(marked, 1);

    // The text is in the history when the dialog closes.
    dialog->reject();
    window_test_pump();
    EXPECT_EQ(find_text_load_history(), std::vector<std::string>{"needle"});
}

TEST_F(BufferCommandsTest, FindHistoryKeepsFifteenNewestFirst)
{
    find_text.clear();
    find_text_save_history({});
    // Twenty searches; the eleventh looks for an older text again, in
    // other case.
    for (int i = 0; i < 20; ++i) {
        find_text = i == 10 ? "WORD3" : "word" + std::to_string(i);
        find_text_save_history(find_text_load_history());
    }
    std::vector<std::string> want;
    for (int k = 19; k >= 11; --k)
        want.push_back("word" + std::to_string(k));
    want.push_back("WORD3");
    for (int k = 9; k >= 5; --k)
        want.push_back("word" + std::to_string(k));
    EXPECT_EQ(find_text_load_history(), want);
    // All fifteen keys are read back, not only the first ten.
    std::string fifteenth;
    ini_read("findtext2", "n14", "", fifteenth, 306, main_ini_path);
    EXPECT_EQ(fifteenth, "word5");
    std::string none;
    ini_read("findtext2", "n15", "", none, 306, main_ini_path);
    EXPECT_EQ(none, "");
}

TEST_F(BufferCommandsTest, FindHistoryKeepsATextOnceWhateverItsCase)
{
    // Saved straight: the search text first, then the list without the
    // entries that differ from it or each other only in case.
    find_text = "Foo";
    find_text_save_history({"foo", "bar", "FOO", "Bar", "baz"});
    EXPECT_EQ(find_text_load_history(), (std::vector<std::string>{"Foo", "bar", "baz"}));

    // Through the dialog: a settings file that holds a text twice in two
    // cases is written back with it once, and again the same.
    WindowRecord* chan = open("#hist", kWinChannel);
    ASSERT_TRUE(chan);
    print_line(chan->hwnd.get(), "one foo line", kColorNormalText);
    window_test_pump();
    win_active = chan->hwnd.get();
    find_text.clear();
    const char* const stored[] = {"Foo", "foo", "bar", "BAR"};
    for (int i = 0; i < 4; ++i)
        ini_write("findtext2", ("n" + std::to_string(i)).c_str(), stored[i], main_ini_path);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        chan->editbox.get()->setFocus();
        QTest::keyClick(chan->editbox.get(), Qt::Key_F, Qt::ControlModifier);
        window_test_pump();
        QDialog* dialog = find_text_dialog();
        ASSERT_TRUE(dialog);
        dialog->reject();
        window_test_pump();
        EXPECT_EQ(find_text_load_history(), (std::vector<std::string>{"Foo", "bar"}));
    }
    // A search for a text the list holds in another case puts it at the
    // top, once.
    chan->editbox.get()->setFocus();
    QTest::keyClick(chan->editbox.get(), Qt::Key_F, Qt::ControlModifier);
    window_test_pump();
    QDialog* dialog = find_text_dialog();
    ASSERT_TRUE(dialog);
    auto* combo = qobject_cast<QComboBox*>(dlg_item(dialog, 130));
    auto* up = qobject_cast<QPushButton*>(dlg_item(dialog, 135));
    ASSERT_TRUE(combo && up);
    combo->setEditText("BAR");
    QTest::mouseClick(up, Qt::LeftButton);
    window_test_pump();
    dialog->reject();
    window_test_pump();
    const std::vector<std::string> history = find_text_load_history();
    ASSERT_EQ(history.size(), 2u) << ::testing::PrintToString(history);
    EXPECT_TRUE(text_equal_nocase(history[0], "bar")) << history[0];
    EXPECT_EQ(history[1], "Foo");
}

// ---- The line marker ----

// The display lines of a window, the marker line shown as "<marker>".
std::vector<std::string> with_marker(const WindowRecord* rec)
{
    std::vector<std::string> out;
    for (const StringNode* n = rec->lines; n; n = n->next)
        out.push_back(line_is_marker(n) ? std::string("<marker>") : n->text);
    return out;
}

TEST_F(ServerTextTest, MarkerMovesAboveTextThatArrivesOutOfView)
{
    marker_settings = MarkerSettings();
    win_clear_buffer(channel, 0);
    marker_set_show_flag(channel, 1);

    // In view: no marker, however much text arrives.
    look_at_channel(true);
    for (int i = 0; i < 5; ++i)
        feed(":peer!u@h PRIVMSG #kest :seen " + std::to_string(i));
    for (const std::string& t : with_marker(channel))
        EXPECT_NE(t, "<marker>");

    // Away: the first new line gets the marker above it; later lines leave it.
    look_at_channel(false);
    feed(":peer!u@h PRIVMSG #kest :new one");
    feed(":peer!u@h PRIVMSG #kest :new two");
    feed(":peer!u@h PRIVMSG #kest :new three");
    std::vector<std::string> lines = with_marker(channel);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "<marker>"), 1);
    const auto marker = std::find(lines.begin(), lines.end(), "<marker>");
    ASSERT_NE(marker, lines.end());
    EXPECT_NE((marker + 1)->find("new one"), std::string::npos);
    EXPECT_EQ(marker_seen(channel), 0);

    // Painted in view, it counts as seen; the next line away moves it.
    look_at_channel(true);
    QWidget* top = channel->hwnd.get()->window();
    top->resize(600, 400);
    channel->text_area.get()->grab();
    EXPECT_EQ(marker_seen(channel), 1);
    look_at_channel(false);
    feed(":peer!u@h PRIVMSG #kest :after");
    lines = with_marker(channel);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "<marker>"), 1);
    EXPECT_EQ(*(lines.end() - 2), "<marker>");
}

TEST_F(ServerTextTest, MarkerPictureFillsItsBand)
{
    using namespace picture_files;
    TempDir pics("kest_marker_");
    const std::string red = pics.path + "red.png";
    ASSERT_TRUE(write_png(red, png_solid(3, 3, qRgb(255, 0, 0), false)));
    // Opaque red on the top row, transparent below.
    GifFrame frame = gif_solid(0, 0, 3, 3, 1);
    frame.pixels[0] = frame.pixels[1] = frame.pixels[2] = 0;
    frame.transparent = 1;
    const std::string clear = pics.path + "clear.gif";
    ASSERT_TRUE(write_gif(clear, 3, 3, {qRgb(255, 0, 0), qRgb(0, 255, 0)}, 0, {frame}));
    const std::string junk = pics.path + "junk.png";
    spit(junk, "no picture here");
    const std::string tif = pics.path + "red.tif";
    std::filesystem::copy_file(red, tif);

    const QRgb background = draw_palette_colour(color_resolve(kColorBackground)).rgb();
    struct Case {
        std::string file;
        QRgb band_top, band_below;  // the band's first row and the rows under it
    };
    marker_settings = MarkerSettings();
    marker_settings.colour = 2;
    const QRgb plain = draw_palette_colour(2).rgb();
    const Case cases[] = {
        {red, qRgb(255, 0, 0), qRgb(255, 0, 0)},
        {clear, qRgb(255, 0, 0), background},
        {junk, plain, plain},
        {tif, plain, plain},
        {"", plain, plain},
    };
    for (int round = 0; round < 2; ++round)
        for (const Case& c : cases) {
            SCOPED_TRACE(c.file);
            ini_write("marker", "picture", c.file.c_str(), main_ini_path);
            ini_write("marker", "size", "3", main_ini_path);
            ini_write("marker", "colour", "2", main_ini_path);
            marker_load();
            QImage scratch(30, 11, QImage::Format_RGB32);
            scratch.fill(qRgb(1, 2, 3));
            {
                QPainter p(&scratch);
                marker_draw(channel, p, QRect(0, 0, 30, 11), 0);
            }
            // The band: rows 4 to 6 of the 11.
            EXPECT_EQ(scratch.pixel(10, 4), c.band_top);
            EXPECT_EQ(scratch.pixel(10, 5), c.band_below);
            EXPECT_EQ(scratch.pixel(10, 1), background) << "outside the band";
        }
    ini_write("marker", "picture", "", main_ini_path);
    marker_settings = MarkerSettings();
}

TEST_F(ServerTextTest, MarkerBetweenSeparatorsTakesOneWithIt)
{
    marker_settings = MarkerSettings();
    win_clear_buffer(channel, 0);
    marker_set_show_flag(channel, 1);
    // a, -, <marker>, -, b
    for (const char* t : {"a", "-", "", "-", "b"}) {
        channel->lines = strlist_append(channel->lines, t, 0);
        StringNode* last = channel->lines->prev;
        last->serial = ++line_serial;
        if (!*t) {
            line_set_prefix(last, 2);
            channel->marker_line = last;
        }
        ++channel->line_count;
    }
    // Seen by painting in view, then a line arrives out of view.
    look_at_channel(true);
    QImage scratch(10, 10, QImage::Format_RGB32);
    {
        QPainter p(&scratch);
        marker_draw(channel, p, QRect(0, 0, 10, 10), 0);
    }
    ASSERT_EQ(marker_seen(channel), 1);
    look_at_channel(false);
    print_line(channel->hwnd.get(), "c", kColorNormalText);
    EXPECT_EQ(with_marker(channel), (std::vector<std::string>{"a", "-", "b", "<marker>", "c"}));
    EXPECT_EQ(channel->line_count, 5);
}

TEST_F(ServerTextTest, MarkerSettingsClampAndDrawWhatWasLoaded)
{
    struct Case {
        const char* size;
        const char* colour;
        const char* method;
        const char* show;
        int want_size, want_colour, want_method, want_show;
    } const cases[] = {
        {"0", "16", "5", "On", 1, 15, 0, 1},
        {"20", "0", "1", "off", 20, 0, 1, 0},
        {"21", "-1", "0", "yes", 1, 15, 0, 0},
        {"4", "4", "1", "on", 4, 4, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        ini_write("marker", "size", c.size, main_ini_path);
        ini_write("marker", "colour", c.colour, main_ini_path);
        ini_write("marker", "method", c.method, main_ini_path);
        ini_write("marker", "show", c.show, main_ini_path);
        marker_load();
        EXPECT_EQ(marker_settings.size, c.want_size);
        EXPECT_EQ(marker_settings.colour, c.want_colour);
        EXPECT_EQ(marker_settings.method, c.want_method);
        EXPECT_EQ(marker_settings.show, c.want_show);
    }
    // The last case is drawn as loaded: a band of palette colour 4, four
    // pixels high, centred in its row.
    QImage image(40, 16, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter p(&image);
        marker_draw(channel, p, QRect(0, 0, 40, 16), 0);
    }
    const QColor band = draw_palette_colour(4);
    int rows = 0;
    for (int y = 0; y < 16; ++y)
        rows += QColor(image.pixel(20, y)) == band ? 1 : 0;
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(QColor(image.pixel(20, 0)), draw_palette_colour(color_resolve(kColorBackground)));
    marker_settings = MarkerSettings();
}

TEST_F(ServerTextTest, CtrlLJumpsToTheMarkerAndBack)
{
    marker_settings = MarkerSettings();
    QWidget* top = channel->hwnd.get()->window();
    top->resize(600, 300);
    window_test_pump();
    win_clear_buffer(channel, 0);
    marker_set_show_flag(channel, 1);
    look_at_channel(true);
    for (int i = 0; i < 50; ++i)
        print_line(channel->hwnd.get(), "old " + std::to_string(i), kColorNormalText);
    look_at_channel(false);
    for (int i = 0; i < 200; ++i)
        print_line(channel->hwnd.get(), "new " + std::to_string(i), kColorNormalText);
    window_test_pump();
    ASSERT_TRUE(channel->marker_line);
    const int end = channel->scroll_end;
    ASSERT_EQ(channel->scroll_pos, end);

    press(channel, Qt::Key_L, Qt::ControlModifier);
    EXPECT_LT(channel->scroll_pos, end);
    // The marker is in view now.
    std::vector<ShownLine> shown;
    draw_lines_in_view(channel, channel->text_area.get()->rect(), shown);
    bool visible = false;
    for (const ShownLine& l : shown)
        visible = visible || l.line == channel->marker_line;
    EXPECT_TRUE(visible);
    // Again: back to where the view was.
    press(channel, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(channel->scroll_pos, end);
}

// ---- The colours dialog ----

// The middle of swatch i of the swatch area (two rows of eight).
QPoint swatch_point(QWidget* area, int i)
{
    const int w = area->width() / 8 - 2, h = area->height() / 2 - 2;
    const int x = (i % 8) * (w + 3), y = i < 8 ? 0 : area->height() / 2 + 2;
    return QPoint(x + w / 2, y + h / 2);
}

TEST_F(ServerTextTest, ColoursDialogEditsTheSchemeAndOnlyOkKeepsIt)
{
    color_items_init();
    color_load();
    const int normal = color_item_number(kColorNormalText);
    const int before = color_items[normal].current;
    const int wanted = before == 4 ? 5 : 4;
    std::string theme_before;
    ini_read("text", "theme", "", theme_before, 306, main_ini_path);

    for (int confirm : {0, 1}) {
        SCOPED_TRACE(confirm);
        press(channel, Qt::Key_K, Qt::AltModifier);
        QDialog* dialog = color_dialog();
        ASSERT_TRUE(dialog);
        // Alt+K again while it is open opens no second one.
        press(channel, Qt::Key_K, Qt::AltModifier);
        EXPECT_EQ(color_dialog(), dialog);
        dialog->resize(600, 500);
        window_test_pump();
        auto* items = qobject_cast<QComboBox*>(dlg_item(dialog, 143));
        QWidget* swatches = dlg_item(dialog, 145);
        ASSERT_TRUE(items && swatches);
        items->setCurrentIndex(normal);
        QTest::mouseClick(swatches, Qt::LeftButton, Qt::NoModifier, swatch_point(swatches, wanted));
        window_test_pump();
        EXPECT_EQ(color_items[normal].edited, wanted);
        EXPECT_EQ(color_items[normal].current, before) << "nothing applies before OK";
        auto* button = qobject_cast<QPushButton*>(dlg_item(dialog, confirm ? 1 : 2));
        ASSERT_TRUE(button);
        QTest::mouseClick(button, Qt::LeftButton);
        window_test_pump();
        EXPECT_EQ(color_dialog(), nullptr);
        EXPECT_EQ(color_items[normal].current, confirm ? wanted : before);
    }
    // Saved: loaded again, the same colours.
    const Palette palette = color_palette_current;
    color_items[normal].current = before;
    color_load();
    EXPECT_EQ(color_items[normal].current, wanted);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(color_palette_current.rgb[i], palette.rgb[i]) << i;
    // The window's text is painted in the new colour.
    print_line(channel->hwnd.get(), "now in the new colour", kColorNormalText);
    QImage image = channel->text_area.get()->grab().toImage();
    int pixels = 0;
    const QColor want = draw_palette_colour(wanted);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            pixels += QColor(image.pixel(x, y)) == want ? 1 : 0;
    EXPECT_GT(pixels, 10);
}

TEST_F(ServerTextTest, ColoursDialogNewDeleteAndResetWorkOnTheCopy)
{
    color_items_init();
    color_load();
    const std::vector<std::string> before = [] {
        std::vector<std::string> names;
        for (StringNode* n = color_schemes; n; n = n->next)
            names.push_back(n->text.substr(0, n->text.find(',')));
        return names;
    }();
    color_dialog_open(channel->hwnd.get()->window());
    ASSERT_TRUE(color_dialog());
    auto names = [] {
        std::vector<std::string> out;
        for (StringNode* n = color_dialog_working_list(); n; n = n->next)
            out.push_back(n->text.substr(0, n->text.find(',')));
        return out;
    };
    EXPECT_EQ(color_dialog_new_scheme("  My   Own , rest"), 1);
    std::vector<std::string> with = names();
    EXPECT_NE(std::find(with.begin(), with.end(), "My Own"), with.end());
    // A name already there is refused.
    QTimer::singleShot(0, [] {
        if (QWidget* box = QApplication::activeModalWidget())
            if (box != color_dialog())
                box->close();
    });
    EXPECT_EQ(color_dialog_new_scheme("my own"), 0);
    EXPECT_EQ(names().size(), with.size());
    color_dialog_delete_scheme();
    with = names();
    EXPECT_EQ(std::find(with.begin(), with.end(), "My Own"), with.end());
    // Reset: the defaults in the edited column.
    color_dialog_select_item(3);
    color_dialog_set_index(9);
    EXPECT_EQ(color_items[3].edited, 9);
    color_dialog_reset();
    EXPECT_EQ(color_items[3].edited, color_items[3].default_index);
    // Cancel: the program's list is as it was.
    color_dialog()->reject();
    window_test_pump();
    std::vector<std::string> after;
    for (StringNode* n = color_schemes; n; n = n->next)
        after.push_back(n->text.substr(0, n->text.find(',')));
    EXPECT_EQ(after, before);
}

TEST_F(ServerTextTest, ColoursDialogOpensFromTheFrameMenuCommandOnce)
{
    QWidget* frame = win_frame_handle();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame_on_command(frame, 133, 0), 1);
    QDialog* dialog = color_dialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->parentWidget(), frame);
    EXPECT_EQ(beeps, 0);
    // The command again while it is open: one beep, still one dialog.
    EXPECT_EQ(frame_on_command(frame, 133, 0), 1);
    EXPECT_EQ(color_dialog(), dialog);
    EXPECT_EQ(beeps, 1);
    // Escape closes it like Cancel; the command opens it anew afterwards.
    QTest::keyClick(dialog, Qt::Key_Escape);
    window_test_pump();
    EXPECT_EQ(color_dialog(), nullptr);
    EXPECT_EQ(frame_on_command(frame, 133, 0), 1);
    ASSERT_TRUE(color_dialog());
    EXPECT_EQ(beeps, 1);
    color_dialog()->reject();
    window_test_pump();
}

TEST_F(ServerTextTest, SchemesPopupListsAndChoosesSchemes)
{
    color_items_init();
    color_load();
    auto checked_names = [](QMenu& menu) {
        std::vector<std::string> out;
        for (QAction* a : menu.actions())
            if (a->isChecked())
                out.push_back(a->text().toStdString());
        return out;
    };
    auto action_named = [](QMenu& menu, const char* name) -> QAction* {
        for (QAction* a : menu.actions())
            if (a->text() == QString::fromUtf8(name))
                return a;
        return nullptr;
    };
    {
        QMenu menu;
        menu_build_schemes_popup(&menu);
        ASSERT_EQ(menu.actions().size(), 5);
        EXPECT_EQ(checked_names(menu), (std::vector<std::string>{"Kest Classic"}));
        QAction* mono = action_named(menu, "Monochrome State");
        ASSERT_TRUE(mono);
        // Chosen twice: the same result.
        for (int round = 0; round < 2; ++round) {
            EXPECT_EQ(menu_scheme_command(mono->data().toInt()), 1);
            EXPECT_EQ(color_items[0].current, 1);
            EXPECT_EQ(color_items[1].current, 15);
            std::string theme;
            ini_read("text", "theme", "", theme, 306, main_ini_path);
            EXPECT_EQ(theme, "Monochrome State");
        }
    }
    {
        QMenu menu;
        menu_build_schemes_popup(&menu);
        EXPECT_EQ(checked_names(menu), (std::vector<std::string>{"Monochrome State"}));
    }
    // Ids that are no scheme change nothing.
    EXPECT_EQ(menu_scheme_command(7019), 1);
    EXPECT_EQ(menu_scheme_command(6998), 0);
    EXPECT_EQ(color_items[1].current, 15);

    // More than twenty: twenty names, then the way to the dialog.
    for (int i = 0; i < 20; ++i) {
        StringNode* extra = color_scheme_text("Zz extra " + std::to_string(i), 1);
        ASSERT_TRUE(extra);
        color_schemes = strlist_splice(color_schemes, nullptr, extra);
    }
    {
        QMenu menu;
        menu_build_schemes_popup(&menu);
        ASSERT_EQ(menu.actions().size(), 21);
        QAction* more = menu.actions().back();
        EXPECT_EQ(more->text(), QString::fromUtf8("Daha Çok..."));
        EXPECT_EQ(menu_scheme_command(more->data().toInt()), 1);
        ASSERT_TRUE(color_dialog());
        EXPECT_EQ(beeps, 0);
        EXPECT_EQ(menu_scheme_command(more->data().toInt()), 1);
        EXPECT_EQ(beeps, 1);
        color_dialog()->reject();
        window_test_pump();
    }
    // None at all: one greyed entry.
    strlist_free(&color_schemes);
    {
        QMenu menu;
        menu_build_schemes_popup(&menu);
        ASSERT_EQ(menu.actions().size(), 1);
        EXPECT_EQ(menu.actions()[0]->text(), QString::fromUtf8("HiçBiri"));
        EXPECT_FALSE(menu.actions()[0]->isEnabled());
    }
    color_load();
}

// ---- Saving a window's buffer ----

TEST_F(ServerTextTest, SaveBufferAppendsTheLinesToAChosenFile)
{
    const std::string folder = settings.dir.path + "saved";
    std::filesystem::create_directories(folder);
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    for (const char* text : {"first line", "second \x02" "bold\x02 line", "third line"})
        print_line(channel->hwnd.get(), text, kColorNormalText);
    // Answers the file dialog with a name typed into its name box, or
    // cancels it; whether one showed.
    auto answer = [](const std::string& name) {
        auto shown = std::make_shared<bool>(false);
        QTimer::singleShot(0, [name, shown] {
            auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!fd)
                return;
            *shown = true;
            EXPECT_EQ(fd->windowTitle(), QString::fromUtf8("Farklı Kaydet"));
            if (name.empty()) {
                fd->reject();
                return;
            }
            auto* box = fd->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_TRUE(box);
            box->setText(QString::fromStdString(name));
            static_cast<QDialog*>(fd)->accept();
        });
        return shown;
    };
    const std::string path = folder + "/kestbuf.log";
    // Saved twice under a name without an extension: ".log" is added and
    // the second save goes after the first.
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        auto shown = answer(folder + "/kestbuf");
        win_save_buffer(channel);
        window_test_pump();
        EXPECT_TRUE(*shown);
        std::ifstream in(path);
        const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int heads = 0, ends = 0;
        for (std::size_t at = 0; (at = all.find("\nBaşlatılan #kest Tampon: ", at)) != std::string::npos; ++at)
            ++heads;
        for (std::size_t at = 0; (at = all.find("#kest Tampon Sonu  ", at)) != std::string::npos; ++at)
            ++ends;
        EXPECT_EQ(heads, round);
        EXPECT_EQ(ends, round);
        const std::size_t one = all.rfind("first line\n");
        const std::size_t two = all.rfind("second \x02" "bold\x02 line\n");
        const std::size_t three = all.rfind("third line\n");
        ASSERT_NE(one, std::string::npos) << all;
        EXPECT_LT(one, two);
        EXPECT_LT(two, three);
        EXPECT_EQ(all.find("\n\n\n"), std::string::npos) << "no marker line is written";
        EXPECT_TRUE(newest_with(status, "* #kest Dosyası '" + path + "' 'ne kaydedildi."));
    }
    // Cancelled: nothing written, nothing said.
    const auto size = std::filesystem::file_size(path);
    const std::size_t status_lines = texts_of(status).size();
    auto shown = answer("");
    win_save_buffer(channel);
    window_test_pump();
    EXPECT_TRUE(*shown);
    EXPECT_EQ(std::filesystem::file_size(path), size);
    EXPECT_EQ(texts_of(status).size(), status_lines);
    // A file that cannot be written is reported.
    EXPECT_EQ(win_save_buffer_to(channel, folder), 0);
    EXPECT_TRUE(newest_with(status, "* '" + folder + "' Dosyasını kaydetmede hata oluştu."));
    // A window without lines only beeps.
    WindowRecord* empty = open("#empty", kWinChannel);
    ASSERT_TRUE(empty);
    wl_text_delete(empty, 1, -1);
    beeps = 0;
    auto none = answer("");
    win_save_buffer(empty);
    window_test_pump();
    EXPECT_FALSE(*none);
    EXPECT_EQ(beeps, 1);
}

// ---- Script questions about text ----

// Runs the alias "show" from the status window's editbox; what its "rec"
// commands were given.
std::vector<std::string> run_show(WindowRecord* status, const std::string& body)
{
    recorded.clear();
    alias_clear_all();
    alias_add("show " + body);
    EditBox* box = status->editbox.get();
    box->setPlainText("/show");
    QTest::keyClick(box, Qt::Key_Return);
    window_test_pump();
    return recorded;
}

TEST_F(ServerTextTest, Ansi2kestTurnsTerminalSequencesIntoCodes)
{
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    struct Case {
        const char* what;
        std::string ansi;
        std::string codes;
    } const cases[] = {
        {"bright then red", "\x1b[1;31mred", "\x03" "13red"},
        {"red then bright", "\x1b[31;1mred", "\x03" "13red"},
        {"background then foreground: one code", "\x1b[44;33mx", "\x03" "08,02x"},
        {"foreground then background: two codes", "\x1b[33;44mx", "\x03" "08\x03" "99,02x"},
        {"screen sequences vanish", "a\x1b[2Jb\x1b[1;1Hc", "abc"},
        {"an escape without bracket leaves the letter", "a\x1b" "Zb", "aZb"},
        {"underline, reverse and reset", "\x1b[4mu\x1b[7mr\x1b[0mn\x1b[mx", "\x1fu\x16r\x0fn\x0fx"},
        {"no escape: unchanged", "plain", "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(run_show(status, "rec $ansi2kest(" + c.ansi + ")"), (std::vector<std::string>{c.codes}));
    }
    // Exactly one argument.
    script_error_clear();
    EXPECT_TRUE(run_show(status, "rec $ansi2kest(a,b)").empty());
}

TEST_F(ServerTextTest, HighlightIdentifierGivesEntriesByNumberOrByLine)
{
    ini_write("highlight", "n0", "3,1,1,5,\"beep\",\"look here\",\"one,two*,$me\",1,0,1,100", main_ini_path);
    ini_write("highlight", "n1", "0,0,0,0,\"\",\"\",\"b.b\",0,1,0,3", main_ini_path);
    highlight_load();
    ASSERT_EQ(highlight_entries.size(), 2u);
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    const std::string default_colour = std::to_string(color_resolve(kColorHighlightText));
    struct Case {
        const char* call;
        std::string want;
    } const cases[] = {
        {"$highlight(0)", "2"},
        {"$highlight(1)", "one,two*,$me"},
        {"$highlight(1).text", "one,two*,$me"},
        {"$highlight(2)", "b.b"},
        {"$highlight(3)", ""},
        {"$highlight(1).color", "2"},
        {"$highlight(2).colour", default_colour},
        {"$highlight(1).sound", "beep"},
        {"$highlight(2).sound", ""},
        {"$highlight(1).flash", "5"},
        {"$highlight(2).flash", "0"},
        {"$highlight(1).message", "look here"},
        {"$highlight(1).nicks", "$true"},
        {"$highlight(2).nicks", "$false"},
        {"$highlight(1).cs", "$true"},
        {"$highlight(2).cs", "$false"},
        {"$highlight(1).regex", "$false"},
        {"$highlight(2).regex", "$true"},
        {"$highlight(1).tip", "60"},
        {"$highlight(2).tip", "0"},
        // By a line: the first entry one of whose words matches it.
        {"$highlight(a twofold thing)", "one,two*,$me"},
        {"$highlight(hello me)", "one,two*,$me"},
        {"$highlight(TWOFOLD)", ""},  // the first entry is case-sensitive
        {"$highlight(oh BOB)", "b.b"},
        {"$highlight(BOB).color", default_colour},
        {"$highlight(nothing here)", ""},
        {"$highlight(memes)", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        EXPECT_EQ(run_show(status, std::string("rec ") + c.call), (std::vector<std::string>{c.want}));
    }
    // Without entries: none counted, none found.
    highlight_clear();
    EXPECT_EQ(run_show(status, "rec $highlight(0) | rec $len($highlight(oh bob))"),
              (std::vector<std::string>{"0", "0"}));
}

// ---- The wheel ----

TEST_F(ServerTextTest, TheWheelScrollsTheTextOrTheNickList)
{
    for (int i = 0; i < 300; ++i)
        print_line(channel->hwnd.get(), "line " + std::to_string(i), kColorNormalText);
    std::string names;
    for (int i = 0; i < 300; ++i)
        names += " nick" + std::to_string(i);
    feed(":irc.test 353 me = #kest :me" + names);
    feed(":irc.test 366 me #kest :End of /NAMES list.");
    window_test_pump();
    const int lines = QApplication::wheelScrollLines();
    if (lines <= 0 || lines > 100)
        GTEST_SKIP() << "the platform scrolls by pages";
    auto wheel = [](QWidget* target, int delta) {
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &e);
        window_test_pump();
    };
    const int end = channel->scroll_pos;
    QScrollBar* list_bar = channel->listbox.get()->verticalScrollBar();
    const int list_top = list_bar->value();
    wheel(channel->text_area.get(), 120);
    EXPECT_EQ(channel->scroll_pos, end - lines);
    EXPECT_EQ(list_bar->value(), list_top) << "the text's wheel leaves the list";
    wheel(channel->text_area.get(), -120);
    EXPECT_EQ(channel->scroll_pos, end);
    // Over the list: the list moves, the text stays.
    wheel(channel->listbox.get()->viewport(), -2 * 120);
    EXPECT_GT(list_bar->value(), list_top);
    EXPECT_EQ(channel->scroll_pos, end);
}

// ---- A NAMES reply keeps the colours members showed ----

TEST_F(ServerTextTest, NamesRefreshKeepsTheColoursMembersShowed)
{
    ListBox* list = channel->listbox.get();
    ASSERT_TRUE(list);
    auto colour_of = [&](WindowRecord* rec, const std::string& nick) {
        NickEntry* e = nicklist_find(rec, nick);
        if (!e)
            return -1;
        QListWidgetItem* item = rec->listbox.get()->item(nicklist_row_of(rec, e));
        EXPECT_TRUE(item);
        const int shown = item ? item->data(Qt::UserRole).toInt() : -1;
        EXPECT_EQ(shown, static_cast<int>(e->extra[kNickColour])) << nick;
        return shown;
    };
    feed(":irc.test 353 me = #kest :me @bob carol dave");
    feed(":irc.test 366 me #kest :End of /NAMES list.");
    type_in(channel, "/cline -m 9 #kest bob");
    type_in(channel, "/cline 4 #kest carol");
    ASSERT_EQ(colour_of(channel, "bob"), 9);
    ASSERT_EQ(colour_of(channel, "carol"), 4);

    // Refreshed twice: bob lost his op, carol got voice, dave left and
    // erin came; the colours set by hand stay, the newcomer has none.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        feed(":irc.test 353 me = #kest :@me bob +carol");
        feed(":irc.test 353 me = #kest :erin");
        feed(":irc.test 366 me #kest :End of /NAMES list.");
        EXPECT_EQ(nicklist_count(channel), 4);
        EXPECT_EQ(colour_of(channel, "bob"), 9);
        EXPECT_EQ(nicklist_find(channel, "bob")->extra[kNickColourState], 2);
        EXPECT_EQ(colour_of(channel, "carol"), 4);
        EXPECT_EQ(colour_of(channel, "erin"), 99);
        EXPECT_EQ(colour_of(channel, "dave"), -1);
    }

    // While a reply for #kest is arriving, bob joining another channel
    // takes nothing from it.
    feed(":irc.test 353 me = #other :me");
    feed(":irc.test 366 me #other :End of /NAMES list.");
    feed(":irc.test 353 me = #kest :me bob");
    feed(":bob!u@h JOIN :#other");
    EXPECT_EQ(colour_of(other, "bob"), 99);
    feed(":irc.test 366 me #kest :End of /NAMES list.");
    EXPECT_EQ(colour_of(channel, "bob"), 9);

    // Once the reply has ended, leaving and coming back starts afresh.
    feed(":bob!u@h PART #kest");
    feed(":bob!u@h JOIN :#kest");
    EXPECT_EQ(colour_of(channel, "bob"), 99);
}

// ---- Nick colours ----

TEST_F(ServerTextTest, NickColourRulesParseAsStored)
{
    struct Case {
        const char* value;
        bool kept;
        int colour;
        int any_mode, no_mode, lists, method, idle;
    } const cases[] = {
        {",4", false, 4, 0, 0, 0, 0, 0},
        {",4,,,0", true, 4, 0, 0, 0, 0, 0},
        {"bob,16,@,,1,0,2,1,5", true, 99, 1, 0, 2, 1, 5},
        {"*!*@host more,3,+ %,friend  op,0,1,16,2,-4", true, 3, 0, 1, 16, 2, 0},
        {"bob,2,,,0,0,0,7,0", true, 2, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        NickColorRule r;
        EXPECT_EQ(cnick_rule_parse(r, c.value), c.kept);
        if (!c.kept)
            continue;
        EXPECT_EQ(r.color, c.colour);
        EXPECT_EQ(r.any_mode, c.any_mode);
        EXPECT_EQ(r.no_mode, c.no_mode);
        EXPECT_EQ(r.lists, c.lists);
        EXPECT_EQ(r.method, c.method);
        EXPECT_EQ(r.idle, c.idle);
        // Written back and read again, the rule is the same.
        NickColorRule again;
        ASSERT_TRUE(cnick_rule_parse(again, cnick_rule_value(r)));
        EXPECT_EQ(cnick_rule_value(again), cnick_rule_value(r));
    }
    NickColorRule r;
    ASSERT_TRUE(cnick_rule_parse(r, "*!*@host more,3,+ %,friend  op,0,1,16,2,-4"));
    EXPECT_EQ(r.mask, "*!*@host");
    EXPECT_EQ(r.modes, "+");
    EXPECT_EQ(r.levels, "friend op");
    EXPECT_EQ(cnick_rule_text(r), "*!*@host (+) (No mode) (friend op) (Notify) [L]");
}

TEST_F(ServerTextTest, NickColoursPaintTheListAndFollowTheCommand)
{
    opt_set(OPT_NICK_COLOURS_ENABLED, 1);
    cnick_rules.clear();
    feed(":srv 353 me = #kest :me @oppy +vee plain");
    feed(":srv 366 me #kest :End of /NAMES list.");
    ListBox* list = channel->listbox.get();
    ASSERT_TRUE(list);
    auto colour_of = [&](const std::string& nick) {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().toStdString().find(nick) != std::string::npos)
                return list->item(i)->data(Qt::UserRole).toInt();
        return -1;
    };
    // Ops red, everyone else with a mode green; plain nicks stay default.
    WindowRecord* status = win_record_of(conn->status_window.data());
    ASSERT_TRUE(status);
    auto type = [&](const std::string& text) {
        EditBox* box = status->editbox.get();
        box->setPlainText(QString::fromStdString(text));
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
    };
    type("/cnick * 3 *");
    type("/cnick -a any 9");
    type("/cnick -s1 op 4 @");
    ASSERT_EQ(cnick_rules.size(), 3u);
    EXPECT_EQ(cnick_rules[0].mask, "op");
    // The mask "op" names no nick: use a rule per nick prefix instead.
    type("/cnick -r op");
    type("/cnick -s1 * 4 @");
    ASSERT_EQ(cnick_rules.size(), 2u);
    EXPECT_EQ(cnick_rules[0].modes, "@");
    auto shown = [&](const std::string& what) {
        int n = 0;
        for (const std::string& t : texts_of(status))
            n += t.find(what) != std::string::npos ? 1 : 0;
        return n;
    };
    EXPECT_EQ(shown("* op Renk Listesine Eklendi"), 1);
    EXPECT_EQ(shown("* op Renk Listesinden Silindi"), 1);
    EXPECT_EQ(shown("* Any nick Renk Listesi Yüklendi"), 1);
    cnick_apply_pending();
    EXPECT_EQ(colour_of("oppy"), 4);
    // The second rule was replaced by "* 4 @" (same mask): the plain nick has
    // no colour, the voiced one none either.
    EXPECT_EQ(colour_of("plain"), 99);

    // Colouring off: every item back to the default; on again: back.
    type("/cnick off");
    EXPECT_EQ(colour_of("oppy"), 99);
    type("/cnick on");
    EXPECT_EQ(colour_of("oppy"), 4);

    // Removing by number echoes the number.
    type("/cnick -r 1");
    EXPECT_EQ(shown("* 1 Adet Renk Listesinden Silindi"), 1);
    EXPECT_EQ(colour_of("oppy"), 99);
    type("/cnick -r 0");
    EXPECT_EQ(shown("* /cnick: Geçersiz parametre"), 1);
    cnick_rules.clear();
}

TEST_F(ServerTextTest, CnickIdentifierFindsRulesButNeverByIdle)
{
    opt_set(OPT_NICK_COLOURS_ENABLED, 1);
    cnick_rules.clear();
    for (const char* v : {"bob,16,,,1,1,0,0,0", "amy,5,,,1,1,0,1,0", "*,6,,,1,1,0,0,10"}) {
        NickColorRule r;
        ASSERT_TRUE(cnick_rule_parse(r, v));
        cnick_rules.push_back(r);
    }
    alias_add("show rec $cnick(0) $cnick(2) $cnick(bob) $cnick(bob).color $cnick(amy).colour $cnick(zed) $cnick(amy).method $cnick(2).anymode $cnick(9).idle");
    WindowRecord* status = win_record_of(conn->status_window.data());
    EditBox* box = status->editbox.get();
    box->setPlainText("/show");
    QTest::keyClick(box, Qt::Key_Return);
    window_test_pump();
    ASSERT_EQ(recorded.size(), 1u);
    const std::string normal = std::to_string(color_resolve(kColorNormalText));
    // bob's rule has no colour (16 became 99): the Normal text colour; zed
    // would need ten idle minutes, which $cnick never sees.
    EXPECT_EQ(recorded[0], "3 amy 1 " + normal + " 5 0 1 $true 0");
    cnick_rules.clear();
}

TEST_F(ServerTextTest, IdleNicksTakeTheirColourUntilTheySpeak)
{
    opt_set(OPT_NICK_COLOURS_ENABLED, 1);
    cnick_rules.clear();
    NickColorRule idle;
    ASSERT_TRUE(cnick_rule_parse(idle, ",5,,,1,1,0,0,1"));   // one idle minute
    cnick_rules.push_back(idle);
    feed(":srv 353 me = #kest :me sleepy");
    feed(":srv 366 me #kest :End of /NAMES list.");
    ListBox* list = channel->listbox.get();
    auto colour_of = [&](const std::string& nick) {
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().toStdString() == nick)
                return list->item(i)->data(Qt::UserRole).toInt();
        return -1;
    };
    for (int s = 0; s < 59; ++s)
        cnick_idle_tick(conn);
    cnick_apply_pending();
    EXPECT_EQ(colour_of("sleepy"), 99) << "59 seconds are not a minute";
    cnick_idle_tick(conn);
    cnick_apply_pending();
    EXPECT_EQ(colour_of("sleepy"), 5);
    // The nick speaks: its idle time starts again, the colour goes.
    feed(":sleepy!u@h PRIVMSG #kest :awake now");
    EXPECT_EQ(colour_of("sleepy"), 99);
    cnick_rules.clear();
}

// ---- Small joins ----

TEST_F(ServerTextTest, EchoColourNumbersAndEditboxColoursFollowTheScheme)
{
    color_items_init();
    color_load();
    WindowRecord* status = win_record_of(conn->status_window.data());
    struct Case {
        const char* typed;
        std::uint32_t colour;   // the line's colour value
    } const cases[] = {
        {"/echo 4 four", 4},
        {"/echo 99 listbox", kColorListboxText},
        {"/echo 65547 normal item", kColorNormalText},
        {"/echo 17 beyond", static_cast<std::uint32_t>(color_resolve(17))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EditBox* box = status->editbox.get();
        box->setPlainText(c.typed);
        QTest::keyClick(box, Qt::Key_Return);
        window_test_pump();
        const StringNode* last = nullptr;
        const std::string text = std::string(c.typed).substr(std::string(c.typed).rfind(' ') + 1);
        for (const StringNode* n = status->lines; n; n = n->next)
            if (n->text.find(text) != std::string::npos)
                last = n;
        ASSERT_TRUE(last);
        EXPECT_EQ(line_colour(last), c.colour);
    }

    // The input box takes the Editbox colours while it has the focus and the
    // Inactive colour without it.
    EditBox* box = channel->editbox.get();
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(box, &in);
    const QColor focused = box->viewport()->palette().color(QPalette::Base);
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(box, &out);
    const QColor unfocused = box->viewport()->palette().color(QPalette::Base);
    EXPECT_EQ(focused, QColor(color_rgb_to_argb(color_rgb(kColorEditbox))));
    EXPECT_EQ(unfocused, QColor(color_rgb_to_argb(color_rgb(kColorInactive))));
}

TEST_F(ServerTextTest, OwnTextMakesTheOwnNickActiveInThatChannelOnly)
{
    opt_set(OPT_NICK_COLOURS_ENABLED, 1);
    cnick_rules.clear();
    NickColorRule idle;
    ASSERT_TRUE(cnick_rule_parse(idle, ",7,,,1,1,0,0,1"));
    cnick_rules.push_back(idle);
    for (int s = 0; s < 60; ++s)
        cnick_idle_tick(conn);
    cnick_apply_pending();
    auto colour_in = [&](WindowRecord* rec) {
        NickEntry* e = nicklist_find(rec, "me");
        return e ? static_cast<int>(e->extra[kNickColour]) : -1;
    };
    ASSERT_EQ(colour_in(channel), 7);
    ASSERT_EQ(colour_in(other), 7);
    irc_note_outgoing("PRIVMSG #kest :hello\r\n", conn);
    EXPECT_EQ(colour_in(channel), 99);
    EXPECT_EQ(colour_in(other), 7);
    cnick_rules.clear();
}

// ---- Formatting keys in the input box ----

TEST_F(WindowTextTest, CtrlLettersInsertFormattingCodes)
{
    WindowRecord* chan = open("#codes", kWinChannel);
    ASSERT_TRUE(chan);
    EditBox* box = chan->editbox.get();
    struct Case {
        const char* what;
        const char* before;     // the box's text
        int sel_from, sel_to;   // the selection (equal: the caret)
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        std::string after;
        int caret;
    } const cases[] = {
        {"bold at the caret", "ab", 1, 1, Qt::Key_B, Qt::ControlModifier, "a\x02" "b", 2},
        {"colour twice with Shift", "ab", 2, 2, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier,
         "ab\x03\x03", 3},
        {"plain", "", 0, 0, Qt::Key_O, Qt::ControlModifier, "\x0F", 1},
        {"reverse around a selection", "abcd", 1, 3, Qt::Key_R, Qt::ControlModifier,
         "a\x16" "bc\x16" "d", -1},
        {"underline around a selection", "abcd", 0, 4, Qt::Key_U, Qt::ControlModifier,
         "\x1F" "abcd\x1F", -1},
        {"colour around a selection: caret after the first", "abcd", 1, 3, Qt::Key_K,
         Qt::ControlModifier, "a\x03" "bc\x03" "d", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        box->setPlainText(QString::fromLatin1(c.before));
        QTextCursor cur(box->document());
        cur.setPosition(c.sel_from);
        cur.setPosition(c.sel_to, QTextCursor::KeepAnchor);
        box->setTextCursor(cur);
        box->setFocus();
        QTest::keyClick(box, c.key, c.mods);
        window_test_pump();
        EXPECT_EQ(box->textBytes(), c.after);
        if (c.caret >= 0) {
            EXPECT_EQ(box->textCursor().position(), c.caret);
        }
    }
    // A held key does not repeat the code.
    box->setPlainText("x");
    box->moveCursor(QTextCursor::End);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier, QString(), true);
    QApplication::sendEvent(box, &repeat);
    EXPECT_EQ(box->textBytes(), "x");
}

TEST_F(WindowTextTest, CtrlKOffersTheColourNumbersAboveTheBox)
{
    WindowRecord* chan = open("#index", kWinChannel);
    ASSERT_TRUE(chan);
    EditBox* box = chan->editbox.get();
    const int saved = opt(OPT_CTRL_K_COLOUR_MENU);
    opt_set(OPT_CTRL_K_COLOUR_MENU, 1);
    box->setPlainText("say ");
    box->moveCursor(QTextCursor::End);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_K, Qt::ControlModifier);
    window_test_pump();
    QWidget* popup = color_subdlg();
    ASSERT_TRUE(popup);
    EXPECT_LT(popup->geometry().bottom(), box->mapToGlobal(QPoint(0, 0)).y());
    // A click on swatch 12 (second row, fifth) inserts its number and closes.
    QTest::mouseClick(popup, Qt::LeftButton, Qt::NoModifier, QPoint(1 + 4 * 22 + 10, 1 + 22 + 10));
    window_test_pump();
    EXPECT_EQ(box->textBytes(), "say \x03" "12");
    EXPECT_EQ(color_subdlg(), nullptr);

    // A letter closes it and is typed; digits keep it open.
    QTest::keyClick(box, Qt::Key_K, Qt::ControlModifier);
    window_test_pump();
    ASSERT_TRUE(color_subdlg());
    QTest::keyClick(box, Qt::Key_4);
    window_test_pump();
    EXPECT_TRUE(color_subdlg());
    QTest::keyClick(box, Qt::Key_X);
    window_test_pump();
    EXPECT_EQ(color_subdlg(), nullptr);
    EXPECT_EQ(box->textBytes(), "say \x03" "12\x03" "4x");

    // With the option off Ctrl+K only inserts the code.
    opt_set(OPT_CTRL_K_COLOUR_MENU, 0);
    QTest::keyClick(box, Qt::Key_K, Qt::ControlModifier);
    window_test_pump();
    EXPECT_EQ(color_subdlg(), nullptr);
    opt_set(OPT_CTRL_K_COLOUR_MENU, saved);
}

}  // namespace
