// Child windows: geometry, controls, deferred messages, system menu.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/child_window.h"
#include "display/window_lines.h"
#include "app/desktop_switch.h"
#include "app/startup.h"
#include "app/frame_proc.h"
#include "model/connection.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "app/subsystems.h"
#include "core/ini.h"
#include "core/options.h"
#include "display/editbox.h"
#include "display/find_text.h"
#include "display/fonts.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "script/events/event_fire.h"
#include "script/events/remote_files.h"
#include "script/exec/alias_lookup.h"
#include "script/exec/script_types.h"
#include "platform/app_messages.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#include "support/test_support.h"
#include "support/test_wire.h"
#include "support/window_fixture.h"

// Shared set-up of the window tests (test_window_record.cpp).

namespace {

class ChildWindowTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    // Placements and editbox settings go to a settings folder of the test's own.
    TempSettingsDir settings_{"kest_childwin_"};
    void SetUp() override { window_test_reset(); }
    void TearDown() override { window_test_reset(); }
};

// ---- Geometry (pure) ----

WinLayoutInput base_input(int type, int w = 400, int h = 300)
{
    WinLayoutInput in;
    in.client_width = w;
    in.client_height = h;
    in.type = type;
    in.line_height = 14;
    in.editbox_extra = 1;
    in.scroll_bar_width = 16;
    in.has_text_area = 1;
    in.has_scroll_bar = 1;
    in.has_editbox = 1;
    return in;
}

TEST(ChildGeometry, LayoutBySizeTypeAndOptions)
{
    struct Case {
        const char* what;
        std::function<void(WinLayoutInput&)> set;
        QRect text, scroll, edit, edit2, list;
    };
    const Case cases[] = {
        {"status, no border", [](WinLayoutInput& in) { in.type = 0; },
         QRect(0, 0, 400, 283), QRect(384, 0, 16, 283), QRect(0, 283, 400, 17), QRect(), QRect()},
        {"status, thin border", [](WinLayoutInput& in) { in.border_style = 1; },
         QRect(1, 1, 398, 281), QRect(382, 0, 16, 281), QRect(1, 282, 398, 17), QRect(), QRect()},
        {"status, raised border", [](WinLayoutInput& in) { in.border_style = 2; },
         QRect(2, 2, 396, 279), QRect(380, 0, 16, 279), QRect(2, 281, 396, 17), QRect(), QRect()},
        {"status, sunken border", [](WinLayoutInput& in) { in.border_style = 3; },
         QRect(0, 0, 400, 283), QRect(384, 0, 16, 283), QRect(0, 283, 400, 17), QRect(), QRect()},
        {"channel, list right",
         [](WinLayoutInput& in) {
             in.type = 1;
             in.has_listbox = 1;
             in.side_width = 100;
         },
         QRect(0, 0, 297, 283), QRect(281, 0, 16, 283), QRect(0, 283, 400, 17), QRect(),
         QRect(300, 0, 100, 283)},
        {"channel, list left: the editbox row starts after the list",
         [](WinLayoutInput& in) {
             in.type = 1;
             in.has_listbox = 1;
             in.side_width = 100;
             in.nicklist_place = 1;
         },
         QRect(103, 0, 297, 283), QRect(281, 0, 16, 283), QRect(103, 283, 297, 17), QRect(),
         QRect(0, 0, 100, 300)},
        {"channel, list placed hidden",
         [](WinLayoutInput& in) {
             in.type = 1;
             in.has_listbox = 1;
             in.side_width = 100;
             in.nicklist_place = 2;
         },
         QRect(0, 0, 400, 283), QRect(384, 0, 16, 283), QRect(0, 283, 400, 17), QRect(), QRect()},
        {"channel, list auto-hidden",
         [](WinLayoutInput& in) {
             in.type = 1;
             in.has_listbox = 1;
             in.side_width = 100;
             in.list_shown = 0;
         },
         QRect(0, 0, 400, 283), QRect(384, 0, 16, 283), QRect(0, 283, 400, 17), QRect(), QRect()},
        {"channel, list wider than the window shrinks",
         [](WinLayoutInput& in) {
             in.type = 1;
             in.has_listbox = 1;
             in.side_width = 500;
         },
         QRect(0, 0, 1, 283), QRect(0, 0, 1, 283), QRect(0, 283, 400, 17), QRect(),
         QRect(4, 0, 396, 283)},
        {"channel, two editboxes at 70 per cent",
         [](WinLayoutInput& in) {
             in.type = 1;
             in.has_editbox2 = 1;
             in.editbox_split = 70;
         },
         QRect(0, 0, 400, 283), QRect(384, 0, 16, 283), QRect(0, 283, 280, 17),
         QRect(284, 283, 116, 17), QRect()},
        {"growing editbox with three lines",
         [](WinLayoutInput& in) {
             in.editbox_mode = 2;
             in.editbox_lines = 3;
         },
         QRect(0, 0, 400, 257), QRect(384, 0, 16, 257), QRect(0, 257, 400, 43), QRect(), QRect()},
        {"growing editbox never passes half the height",
         [](WinLayoutInput& in) {
             in.client_height = 100;
             in.editbox_mode = 2;
             in.editbox_lines = 10;
         },
         QRect(0, 0, 400, 57), QRect(384, 0, 16, 57), QRect(0, 57, 400, 43), QRect(), QRect()},
        {"two-line editbox", [](WinLayoutInput& in) { in.editbox_mode = 1; },
         QRect(0, 0, 400, 269), QRect(384, 0, 16, 269), QRect(0, 269, 400, 31), QRect(), QRect()},
        {"editbox extra and spacing",
         [](WinLayoutInput& in) {
             in.editbox_extra = 3;
             in.editbox_spacing = 3;
         },
         QRect(0, 0, 400, 278), QRect(384, 0, 16, 278), QRect(0, 278, 400, 22), QRect(), QRect()},
        {"finger: text over the whole height",
         [](WinLayoutInput& in) {
             in.type = 5;
             in.has_editbox = 0;
         },
         QRect(0, 0, 400, 300), QRect(384, 0, 16, 300), QRect(), QRect(), QRect()},
        {"list window, thin border one more right and bottom",
         [](WinLayoutInput& in) {
             in.type = 4;
             in.border_style = 1;
             in.has_text_area = 0;
             in.has_scroll_bar = 0;
             in.has_editbox = 0;
             in.has_listbox = 1;
         },
         QRect(), QRect(), QRect(), QRect(), QRect(1, 1, 397, 297)},
        {"custom list only with an editbox",
         [](WinLayoutInput& in) {
             in.type = 9;
             in.subtype = 1;
             in.has_text_area = 0;
             in.has_scroll_bar = 0;
             in.has_listbox = 1;
         },
         QRect(), QRect(), QRect(0, 283, 400, 17), QRect(), QRect(0, 0, 400, 283)},
        {"custom text with a side list",
         [](WinLayoutInput& in) {
             in.type = 9;
             in.subtype = 2;
             in.has_listbox = 1;
             in.side_width = 80;
             in.has_editbox = 0;
         },
         QRect(0, 0, 317, 300), QRect(301, 0, 16, 300), QRect(), QRect(), QRect(320, 0, 80, 300)},
        {"custom text only",
         [](WinLayoutInput& in) {
             in.type = 9;
             in.has_editbox = 0;
         },
         QRect(0, 0, 400, 300), QRect(384, 0, 16, 300), QRect(), QRect(), QRect()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WinLayoutInput in = base_input(0);
        c.set(in);
        WinLayout out = win_compute_layout(in);
        EXPECT_EQ(out.text_area, c.text);
        EXPECT_EQ(out.scroll_bar, c.scroll);
        EXPECT_EQ(out.editbox, c.edit);
        EXPECT_EQ(out.editbox2, c.edit2);
        EXPECT_EQ(out.listbox, c.list);
    }
}

TEST(ChildGeometry, EditboxRowHeight)
{
    struct Case {
        int lh, extra, spacing, mode, lines, client_h;
        int row, used;
    } cases[] = {
        {14, 1, 0, 0, 1, 300, 17, 1},
        {14, 3, 0, 0, 5, 300, 19, 1},   // lines count only when growing
        {14, 1, 0, 1, 1, 300, 31, 2},
        {14, 1, 0, 2, 1, 300, 17, 1},
        {14, 1, 0, 2, 3, 300, 43, 3},   // two more lines of 13 pixels
        {14, 1, 0, 2, 3, 80, 30, 2},    // 43 would pass 40: one line dropped
        {14, 1, 0, 2, 3, 20, 17, 1},    // never below one line
        {14, 1, 2, 2, 0, 300, 19, 1},   // a count of 0 is one line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.lines) + "/" +
                     std::to_string(c.client_h));
        int used = -1;
        EXPECT_EQ(win_editbox_row_height(c.lh, c.extra, c.spacing, c.mode, c.lines, c.client_h, &used),
                  c.row);
        EXPECT_EQ(used, c.used);
    }
}

// ---- Real windows ----

TEST_F(ChildWindowTest, LayoutPlacesTheControlsOfARealChannel)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("#kest", kWinChannel, 0, a);
    ASSERT_NE(r, nullptr);
    QWidget* h = r->hwnd.get();
    win_container(h)->resize(500, 400);
    window_test_pump();
    r->side_list_width = 120;
    r->nicklist_place = 0;
    win_layout(h, kLayoutFull);
    QRect list = r->listbox->geometry();
    QRect text = r->text_area->geometry();
    QRect edit = r->editbox->geometry();
    EXPECT_EQ(list.width(), 120);
    EXPECT_EQ(list.right() + 1, h->width() - (r->border_style == 1 ? 1 : r->border_style == 2 ? 2 : 0));
    EXPECT_LT(text.right(), list.left());
    EXPECT_GT(edit.top(), text.bottom());
    EXPECT_TRUE(r->listbox->isVisible());

    // The list moved to the left through a deferred layout.
    r->nicklist_place = 1;
    win_post(h, WM_APP_DEFERRED_LAYOUT, 0, kLayoutFull);
    window_test_pump();
    list = r->listbox->geometry();
    edit = r->editbox->geometry();
    EXPECT_GT(edit.left(), list.right());
    EXPECT_GT(r->text_area->geometry().left(), list.right());

    // Hidden: the text area takes the width.
    r->nicklist_place = 2;
    win_layout(h, kLayoutFull);
    EXPECT_FALSE(r->listbox->isVisible());
    EXPECT_FALSE(r->listbox->isEnabled());

    // The text rectangle leaves out the scroll bar and is never negative.
    WinRect tr;
    EXPECT_EQ(win_text_rect(h, tr, 0), r);
    EXPECT_EQ(tr.right - tr.left, r->text_area->contentsRect().width() - r->scroll_bar->width());
    WinRect with_bar;
    win_text_rect(h, with_bar, 1);
    EXPECT_EQ(with_bar.right - with_bar.left, r->text_area->contentsRect().width());
    EXPECT_EQ(win_text_rect(nullptr, tr, 0), nullptr);
}

TEST_F(ChildWindowTest, GrowingEditboxAddsRowsUpToHalfTheWindow)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("#grow", kWinChannel, 0, a);
    ASSERT_NE(r, nullptr);
    QWidget* h = r->hwnd.get();
    r->editbox_mode = 2;
    win_container(h)->resize(500, 600);
    window_test_pump();
    win_layout(h, kLayoutFull);
    int one_line = r->editbox->height();
    int lh = win_line_height(r);

    r->editbox->setPlainText("one\ntwo\nthree");
    window_test_pump();
    EXPECT_EQ(r->editbox->height(), one_line + 2 * (lh - 1));
    EXPECT_EQ(r->editbox_lines, 3);

    std::string many;
    for (int i = 0; i < 60; ++i)
        many += "line\n";
    r->editbox->setPlainText(QString::fromStdString(many));
    window_test_pump();
    EXPECT_LE(r->editbox->height(), h->height() / 2);
    EXPECT_GT(r->editbox->height(), one_line);
}

TEST_F(ChildWindowTest, RecreatingTheEditboxKeepsTextAndCaret)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("#keep", kWinChannel, 0, a);
    ASSERT_NE(r, nullptr);
    r->editbox->setTextBytes("hello wörld");
    QTextCursor c = r->editbox->textCursor();
    c.setPosition(2);
    c.setPosition(7, QTextCursor::KeepAnchor);
    r->editbox->setTextCursor(c);
    EditBox* old = r->editbox.get();

    r->editbox_mode = 1;
    ASSERT_EQ(win_create_editbox(r, 1), 1);
    EditBox* now = r->editbox.get();
    ASSERT_NE(now, nullptr);
    EXPECT_NE(now, old);
    EXPECT_EQ(now->textBytes(), "hello wörld");
    EXPECT_EQ(now->textCursor().anchor(), 2);
    EXPECT_EQ(now->textCursor().position(), 7);
    EXPECT_EQ(now->lineWrapMode(), QPlainTextEdit::WidgetWidth);

    // The kept text is cut at 4150 characters.
    r->editbox->setTextBytes(std::string(5000, 'x'));
    win_create_editbox(r, 1);
    EXPECT_EQ(r->editbox->textBytes().size(), 4150u);
}

TEST_F(ChildWindowTest, DeferredKeysScrollTheText)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("#scroll", kWinChannel, 0, a);
    ASSERT_NE(r, nullptr);
    QWidget* h = r->hwnd.get();
    win_container(h)->resize(500, 400);
    window_test_pump();
    win_layout(h, kLayoutFull);
    r->line_count = 100;
    win_recalc_scroll(r, 1);
    ASSERT_EQ(r->scroll_end, 99);
    ASSERT_EQ(r->scroll_pos, 99);
    ASSERT_TRUE(r->scroll_bar->isEnabled());
    WinRect tr;
    win_text_rect(h, tr, 0);
    int page = (tr.bottom - tr.top) / win_line_height(r);
    ASSERT_GT(page, 1);

    struct Case {
        const char* what;
        int start;
        int key;
        int expected;
    } cases[] = {
        {"Page Up", 99, 33, 99 - page},
        {"Ctrl+Page Up", 99, 33 | kKeyCtrl, 98},
        {"Page Down", 0, 34, page},
        {"Ctrl+Page Down", 0, 34 | kKeyCtrl, 1},
        {"Page Down at the end", 99, 34, 99},
        {"Page Up at the top", 0, 33, 0},
        {"Home", 50, 36, 0},
        {"End", 50, 35, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        r->scroll_pos = c.start;
        win_update_vscroll(r);
        win_post(h, WM_APP_WINDOW_KEY, static_cast<uintptr_t>(c.key), 0);
        window_test_pump();
        EXPECT_EQ(r->scroll_pos, c.expected);
        EXPECT_EQ(r->scroll_bar->value(), c.expected);
    }

    // An empty buffer disables the scroll bar and puts the view at 0.
    r->line_count = 0;
    win_recalc_scroll(r, 0);
    EXPECT_EQ(r->scroll_pos, 0);
    EXPECT_FALSE(r->scroll_bar->isEnabled());
}

TEST_F(ChildWindowTest, EnterSubmitsTheEditboxItCameFrom)
{
    Connection* a = window_test_conn();
    // [editbox]: #two has the second box.
    ini_write("editbox", "#two", "1,0,\"\",\"\",0", main_ini_path);
    WindowRecord* two = window_test_open("#two", kWinChannel, 0, a);
    WindowRecord* one = window_test_open("#one", kWinChannel, 0, a);
    ASSERT_TRUE(two && one);
    ASSERT_NE(two->editbox2.get(), nullptr);
    // What the interpreter did with the submitted line: a command line runs
    // "ran"; with Ctrl held (mode 3) the text is said as it stands.
    // The lines said go out on the link's wire; they join "ran" in the order
    // they were written.
    static std::vector<std::string> ran;
    static TestWire* wire_now = nullptr;
    static void (*take_sent)() = [] {
        if (!wire_now) return;
        for (const std::string& line : wire_now->lines()) ran.push_back(line);
        wire_now->clear();
    };
    app_install_subsystems();
    script_register_command("ran", [](CommandCall& call) {
        take_sent();
        ran.emplace_back(call.rest());
        return 1;
    });
    TestWire wire;
    ASSERT_TRUE(wire.ok());
    a->connected = 1;
    a->registered = 1;
    wire.attach(a);
    wire_now = &wire;
    struct Case {
        const char* what;
        WindowRecord* rec;
        int key;
        intptr_t second;
        const char* runs;  // what the submitted box's line did
    } cases[] = {
        {"first box", two, 13, 0, "first"},
        {"second box", two, 13, 1, "second"},
        {"second asked, none there", one, 13, 1, "first"},
        {"Ctrl+Enter", one, 13 | kKeyCtrl, 0, "PRIVMSG #one :/ran first\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.rec->editbox->setTextBytes("/ran first");
        if (c.rec->editbox2.get())
            c.rec->editbox2->setTextBytes("/ran second");
        take_sent();
        ran.clear();
        win_post(c.rec->hwnd.get(), WM_APP_WINDOW_KEY, static_cast<uintptr_t>(c.key), c.second);
        window_test_pump();
        take_sent();
        EXPECT_EQ(ran, std::vector<std::string>{c.runs});
    }
    wire_now = nullptr;
    a->socket = -1;
}

TEST_F(ChildWindowTest, FunctionKeysRunTheirAliasOrBeep)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("#keys", kWinChannel, 0, a);
    ASSERT_NE(r, nullptr);
    static std::vector<std::string> asked;
    static int beeps = 0;
    asked.clear();
    beeps = 0;
    // The interpreter runs the aliases; "asked" notes what ran.
    app_install_subsystems();
    beep_play_hook = [](int) { ++beeps; };
    script_register_command("asked", [](CommandCall& call) {
        asked.emplace_back(call.rest());
        return 1;
    });
    alias_add("F5 asked F5");
    alias_add("cF12 asked cF12");
    struct Case {
        int key;
        const char* ran;  // null: no alias, the error beep
    } cases[] = {
        {116, "F5"},
        {117, nullptr},
        {123 | kKeyCtrl, "cF12"},
        {112 | kKeyShift, nullptr},
        {113 | kKeyAlt, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        asked.clear();
        beeps = 0;
        win_post(r->hwnd.get(), WM_APP_WINDOW_KEY, static_cast<uintptr_t>(c.key), 0);
        window_test_pump();
        EXPECT_EQ(asked, c.ran ? std::vector<std::string>{c.ran} : std::vector<std::string>{});
        EXPECT_EQ(beeps, c.ran ? 0 : 1);
    }
    alias_clear_all();

    // Ctrl+F: the find dialog when the window has lines, else the error beep.
    // The window starts empty (its log's notices cleared as /clear would).
    win_clear_buffer(r, 0);
    ASSERT_EQ(r->line_count, 0);
    beeps = 0;
    win_post(r->hwnd.get(), WM_APP_WINDOW_KEY, 'F' | kKeyCtrl, 0);
    window_test_pump();
    EXPECT_EQ(find_text_dialog(), nullptr);
    EXPECT_EQ(beeps, 1);
    print_line(r->hwnd.get(), std::string_view("a line to find"), kColorNormalText);
    ASSERT_GT(r->line_count, 0);
    win_post(r->hwnd.get(), WM_APP_WINDOW_KEY, 'F' | kKeyCtrl, 0);
    window_test_pump();
    QPointer<QDialog> dialog = find_text_dialog();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    dialog->close();
    window_test_pump();
    EXPECT_EQ(find_text_dialog(), nullptr);
}

TEST_F(ChildWindowTest, EscapeMinimisesAndActivationFollowUpClearsTheGuard)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("#esc", kWinChannel, 0, a);
    ASSERT_NE(r, nullptr);
    QWidget* h = r->hwnd.get();
    win_post(h, WM_APP_WINDOW_KEY, 27, 0);
    window_test_pump();
    EXPECT_TRUE(win_container(h)->isMinimized());

    // The activation's follow-up is the frame's update: a script's ACTIVE
    // handler runs for the window.
    static std::vector<std::string> followed;
    followed.clear();
    app_install_subsystems();
    event_startup_hold = 0;
    remote_files_free_all();
    opt_set(OPT_REMOTE_EVENTS, 1);
    script_register_command("followed", [](CommandCall& call) {
        followed.emplace_back(call.rest());
        return 1;
    });
    const std::string script = settings_.path() + "active.kst";
    spit(script, "on *:ACTIVE:*:followed $chan\n");
    ASSERT_TRUE(remote_file_load(script, kRemoteScript, 9999, nullptr));
    WindowRecord* other = window_test_open("#other", kWinChannel, 0, a);
    ASSERT_NE(other, nullptr);
    win_on_activate(other->hwnd.get());
    window_test_pump();
    ASSERT_FALSE(followed.empty());
    EXPECT_EQ(followed.back(), "#other");
    followed.clear();
    win_on_activate(h);
    EXPECT_EQ(r->activation_guard, 1);
    window_test_pump();
    EXPECT_EQ(r->activation_guard, 0);
    ASSERT_FALSE(followed.empty());
    EXPECT_EQ(followed.back(), "#esc");
    remote_files_free_all();
}

// All command ids of a menu and its submenus, with their tick.
void collect_ids(QMenu* menu, std::map<int, bool>& ids, std::set<int>* top = nullptr)
{
    for (QAction* a : menu->actions()) {
        if (a->menu()) {
            collect_ids(a->menu(), ids);
            continue;
        }
        int id = win_sysmenu_action_id(a);
        if (id) {
            ids[id] = a->isChecked();
            if (top)
                top->insert(id);
        }
    }
}

TEST_F(ChildWindowTest, SystemMenuEntriesByWindowKind)
{
    Connection* a = window_test_conn();
    static int speech = 0;
    child_hooks.speech_on = [] { return speech; };
    struct Case {
        const char* name;
        int type;
        int subtype;
        int picture;
        int speech_on;
        std::vector<int> has;
        std::vector<int> lacks;
    } cases[] = {
        {"#chan", 1, 0, 0, 0,
         {265, 261, 277, 278, 266, 273, 297, 298, 299, 253, 254, 251, 300, 303, 294, 295, 296,
          293, 292, 256, 257, 250, 289, 290, 291, 282, 280, 281, 283, 262, 263, 264, 304, 305, 306,
          275, 285, 258, 274, 279},
         {276, 286}},
        {"#talk", 1, 0, 0, 1, {286, 287, 288}, {}},
        {"Status Window", 0, 0, 0, 0, {265, 277, 253, 294, 262, 282, 258},
         {278, 297, 300, 303, 293, 304, 275, 274, 279}},
        {"Message Window", 2, 2, 0, 0, {277, 297, 303, 262, 279}, {278, 275}},
        {"Nick", 2, 1, 0, 0, {277, 278, 297}, {275, 274}},
        {"Links List", 8, 0, 0, 0, {253, 256, 282, 258}, {251, 254, 294, 277, 262}},
        {"get.txt", 3, 2, 0, 0, {256, 258, 265}, {282, 253, 294, 277}},
        {"Finger", 5, 0, 0, 0, {277, 253, 282}, {294, 262}},
        {"@pic", 9, 0, 1, 0, {276, 256}, {277, 253, 251, 294, 282}},
        {"@list", 9, 1, 0, 0, {253, 294}, {277, 276, 282}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        speech = c.speech_on;
        win_custom_request = CustomWindowRequest();
        win_custom_request.picture = c.picture;
        if (c.type == 9 && c.subtype == 1)
            win_custom_request.list_box = 1;
        WindowRecord* r = window_test_open(c.name, c.type, c.subtype, a);
        ASSERT_NE(r, nullptr);
        QMenu* menu = win_system_menu(r);
        ASSERT_TRUE(menu);
        std::map<int, bool> ids;
        collect_ids(menu, ids);
        for (int id : c.has)
            EXPECT_TRUE(ids.count(id)) << "missing " << id;
        for (int id : c.lacks)
            EXPECT_FALSE(ids.count(id)) << "unexpected " << id;
        win_close_request(r->hwnd.get());
    }
}

// A window's entries are made when its frame's system menu first opens,
// with the values of that moment; opening it again adds nothing, and a
// window moved into a new frame shows them there.
TEST_F(ChildWindowTest, SystemMenuIsMadeWhenFirstOpened)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("lazy", kWinQuery, kQueryPrivate, a);
    ASSERT_NE(r, nullptr);
    auto* frame = qobject_cast<QMdiSubWindow*>(win_container(r->hwnd.get()));
    ASSERT_NE(frame, nullptr);
    auto our_entries = [](QMenu* menu) {
        int n = 0;
        for (QAction* act : menu->actions())
            n += win_sysmenu_action_id(act) != 0 || (act->menu() && act->menu()->property("titleId").isValid());
        return n;
    };
    EXPECT_FALSE(r->system_menu);
    EXPECT_EQ(our_entries(frame->systemMenu()), 0);
    const int qt_entries = static_cast<int>(frame->systemMenu()->actions().size());

    r->beep = 1;
    int shown = 0;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        frame->showSystemMenu();
        window_test_pump();
        frame->systemMenu()->hide();
        ASSERT_TRUE(r->system_menu);
        QMenu* sys = frame->systemMenu();
        ASSERT_FALSE(sys->actions().isEmpty());
        EXPECT_EQ(win_sysmenu_action_id(sys->actions().first()), 265);
        if (round == 0)
            shown = static_cast<int>(sys->actions().size());
        EXPECT_GT(shown, qt_entries);
        EXPECT_EQ(sys->actions().size(), shown);
        std::map<int, bool> ids;
        collect_ids(sys, ids);
        ASSERT_TRUE(ids.count(298));
        EXPECT_TRUE(ids[298]);  // beep on, as set before the menu was made
    }

    // Onto the desktop and back: a new frame, the same entries at its top.
    // Moving needs the program's frame, shown.
    struct KeepFrame {
        QPointer<QMainWindow> saved = frame_window;
        ~KeepFrame() { frame_window = saved; }
    } keep_frame;
    frame_window = qobject_cast<QMainWindow*>(window_test_mdi()->window());
    ASSERT_TRUE(frame_window);
    frame_window->show();
    QWidget* hwnd = r->hwnd.get();
    QPointer<QMdiSubWindow> old_frame = frame;
    win_toggle_desktop(hwnd, 0);
    window_test_pump();
    win_toggle_desktop(hwnd, 1);
    window_test_pump();
    auto* moved = qobject_cast<QMdiSubWindow*>(win_container(hwnd));
    ASSERT_NE(moved, nullptr);
    EXPECT_TRUE(old_frame.isNull());
    EXPECT_EQ(our_entries(moved->systemMenu()), 0);
    moved->showSystemMenu();
    window_test_pump();
    moved->systemMenu()->hide();
    ASSERT_FALSE(moved->systemMenu()->actions().isEmpty());
    EXPECT_EQ(win_sysmenu_action_id(moved->systemMenu()->actions().first()), 265);
    EXPECT_EQ(our_entries(moved->systemMenu()), our_entries(r->system_menu.get()));
    win_close_request(hwnd);
}

TEST_F(ChildWindowTest, SystemMenuTicksAndReachesTheCommandHandler)
{
    Connection* a = window_test_conn();
    WindowRecord* r = window_test_open("#tick", kWinChannel, 0, a);
    ASSERT_NE(r, nullptr);
    r->beep = 1;
    r->flash = 0;
    r->spacing = 3;
    r->timestamp = 2;
    win_build_system_menu(r);
    std::map<int, bool> ids;
    std::set<int> top;
    collect_ids(r->system_menu.get(), ids, &top);
    struct Case {
        int id;
        bool checked;
    } cases[] = {
        {297, false}, {298, true},  {299, false},  // beep on
        {300, false}, {301, false}, {302, true},   // flash off
        {282, false}, {283, true},                 // paragraph spacing
        {262, true},  {263, false},                // timestamp default
        {265, false},                              // an MDI child
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_TRUE(ids.count(c.id));
        EXPECT_EQ(ids[c.id], c.checked);
    }
    // The entries lead the MDI frame's own system menu.
    auto* frame = qobject_cast<QMdiSubWindow*>(win_container(r->hwnd.get()));
    ASSERT_NE(frame, nullptr);
    ASSERT_FALSE(frame->systemMenu()->actions().isEmpty());
    EXPECT_EQ(win_sysmenu_action_id(frame->systemMenu()->actions().first()), 265);

    // "Clear buffer" (251) empties the window it was picked in.
    print_line(r->hwnd.get(), std::string_view("old text"), kColorNormalText);
    ASSERT_GT(r->line_count, 0);
    int triggered = 0;
    for (QAction* act : r->system_menu->findChildren<QAction*>()) {
        if (win_sysmenu_action_id(act) == 251) {
            act->trigger();
            ++triggered;
        }
    }
    window_test_pump();
    EXPECT_EQ(triggered, 1);
    EXPECT_EQ(r->line_count, 0);
}

TEST_F(ChildWindowTest, ActivityFrameColoursAndStatusIcons)
{
    struct Colour {
        int level;
        int palette;
    } colours[] = {{0, -1}, {1, 4}, {2, 3}, {3, 2}, {9, -1}};
    for (const Colour& c : colours) {
        SCOPED_TRACE(c.level);
        EXPECT_EQ(win_activity_frame_colour(c.level), c.palette);
    }
    option_set_value(6, 30, 0);
    EXPECT_EQ(win_activity_frame_colour(2), -1);  // 0: no frame
    option_set_value(6, 30, 99);
    EXPECT_EQ(win_activity_frame_colour(2), 3);   // out of range: the default
    option_set_value(4, 27, 16);
    EXPECT_EQ(win_activity_frame_colour(1), 15);

    Connection* a = window_test_conn();
    struct Icon {
        int connecting, connected, socket, registered;
        int icon;
    } icons[] = {
        {0, 0, -1, 0, 27},
        {1, 0, -1, 0, 28},
        {0, 1, 7, 0, 29},
        {0, 1, 7, 1, 30},
        {0, 1, -1, 1, 27},  // no socket: not connected
    };
    for (const Icon& i : icons) {
        SCOPED_TRACE(i.icon);
        a->connecting = i.connecting;
        a->connected = i.connected;
        a->socket = i.socket;
        a->registered = i.registered;
        EXPECT_EQ(win_status_icon_kind(a), i.icon);
        win_set_status_icon(win_record_of(a->status_window.data()));
        EXPECT_EQ(a->status_window->property("statusIcon").toInt(), i.icon);
    }
    a->socket = -1;
    a->connected = 0;
    a->connecting = 0;
}

TEST_F(ChildWindowTest, MdiClientRectangleIsOnePixelIn)
{
    QMdiArea* mdi = window_test_mdi();
    ASSERT_NE(mdi, nullptr);
    WinRect r;
    mdi_client_rect(r, 0);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, 1);
    EXPECT_EQ(r.right, mdi->width() - 1);
    EXPECT_EQ(r.bottom, mdi->height() - 1);
    EXPECT_EQ(mdi->objectName(), "mdiclient");
}

TEST_F(ChildWindowTest, FocusGoesToTheEditboxOrTheList)
{
    Connection* a = window_test_conn();
    WindowRecord* c = window_test_open("#f", kWinChannel, 0, a);
    WindowRecord* l = window_test_open("URL List", kWinUrls, 0, a);
    ASSERT_TRUE(c && l);
    window_test_mdi()->window()->activateWindow();
    window_test_pump();
    if (!QApplication::activeWindow())
        GTEST_SKIP() << "the platform gives no active window";
    win_focus_input(c->hwnd.get());
    EXPECT_EQ(win_focus_input(c->hwnd.get()), 1);  // already in the editbox
    EXPECT_EQ(c->last_focus.get(), static_cast<QWidget*>(c->editbox.get()));
}


// After a font change the rows of a list box take the window's item height:
// a nick list keeps the line height, a list window with double or paragraph
// spacing grows its rows. Done twice, the height does not creep.
TEST_F(ChildWindowTest, ListRowsTakeTheItemHeightAfterAFontChange)
{
    Connection* a = window_test_conn();
    struct Case {
        const char* name;
        int type;
        int spacing;
    };
    const Case cases[] = {
        {"#rows", kWinChannel, 1},
        {"URL List", kWinUrls, 1},
        {"URL List", kWinUrls, 3},
        {"URL List", kWinUrls, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.name << " spacing " << c.spacing);
        WindowRecord* r = window_test_open(c.name, c.type, 0, a);
        ASSERT_TRUE(r && r->listbox.get());
        r->spacing = c.spacing;
        ListBox* list = r->listbox.get();
        list->clear();
        for (const char* text : {"alpha", "beta", "gamma"})
            list->addItem(QString::fromLatin1(text));
        ASSERT_EQ(font_ensure_window(r), 1);
        ASSERT_GT(r->line_height, 0);
        const int expected = font_list_item_height(r, r->line_height);
        for (int round = 0; round < 2; ++round) {
            font_relayout_window(r);
            window_test_pump();
            EXPECT_EQ(list->visualItemRect(list->item(0)).height(), expected);
            EXPECT_EQ(list->visualItemRect(list->item(2)).top() - list->visualItemRect(list->item(1)).top(),
                      expected);
        }
        if (c.type == kWinChannel) {
            EXPECT_EQ(expected, r->line_height);
        } else if (c.spacing == 1) {
            EXPECT_EQ(expected, r->line_height * 2 - 1);
        }
        win_close(r->hwnd.get());
        window_test_pump();
    }
}

}  // namespace
