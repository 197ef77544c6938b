// The look of the frame: language and style settings read from the settings
// file, the screen's colours, captions as windows show them, the frame's
// title, where the focus is, and the style the bars draw their parts with.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <fstream>
#include <sstream>

#include "app/child_shared.h"
#include "app/child_window.h"
#include "model/connection.h"
#include "app/frame_look.h"
#include "app/frame_proc.h"
#include "app/subsystems.h"
#include "app/window_open.h"
#include "model/window_record.h"
#include "display/window_queries.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/text_buffer.h"
#include "display/font_fallback.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/numerics/isupport.h"
#include "platform/platform_utils.h"
#include "support/hook_guard.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/window_fixture.h"
#include "support/test_wire.h"

namespace {

void write_ini(const std::string& text)
{
    std::ofstream(main_ini_path, std::ios::binary | std::ios::trunc) << text;
}

std::string read_ini()
{
    std::ifstream in(main_ini_path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Puts the language and style settings back after a test loads its own.
struct SavedLook {
    SavedValues<int, int, int, int, int, std::string, VisualStyleSettings> values{
        lang_setting_utf, lang_setting_multibyte, main_settings.lang_sjis, main_settings.lang_mbed,
        win_border_option, lang_codeset_override, visual_style};
    int linking = fontlink_option();
    ~SavedLook() { fontlink_set_option(linking); }
};

// ---- Section "language" ----

TEST(FrameLook, LanguageSettingsComeFromTheFileOrTheCodeSet)
{
    TempSettingsDir dir{"kest_look_"};
    ASSERT_TRUE(dir.dir.made());
    SavedLook saved;
    struct Case {
        const char* name;
        const char* ini;
        const char* codeset;
        int sjis, multibyte, mbed, utf, linking;
    };
    const Case cases[] = {
        {"nothing stored, a single-byte locale", "", "UTF-8", 0, 0, 1, 1, 1},
        {"stored values are taken", "[language]\nsjis=1\nmultibyte=1\nmbed=0\nutf=0\nlinking=0\n", "UTF-8", 1, 1,
         0, 0, 0},
        {"mbed -1 alone makes all three the system's", "[language]\nsjis=1\nmultibyte=1\nmbed=-1\n", "UTF-8", 0, 0,
         1, 1, 1},
        {"a Shift-JIS locale", "", "SHIFT_JIS", 1, 1, 1, 1, 1},
        {"another double-byte locale", "[language]\nsjis=0\n", "EUC-KR", 0, 1, 1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_ini(c.ini);
        lang_codeset_override = c.codeset;
        lang_setting_utf = 7;
        lang_setting_multibyte = 7;
        lang_options_load();
        EXPECT_EQ(main_settings.lang_sjis, c.sjis);
        EXPECT_EQ(lang_setting_multibyte, c.multibyte);
        EXPECT_EQ(main_settings.lang_mbed, c.mbed);
        EXPECT_EQ(lang_setting_utf, c.utf);
        EXPECT_EQ(fontlink_option(), c.linking);
    }
}

TEST(FrameLook, TheOldSjisSectionIsConvertedOnceAndRemoved)
{
    TempSettingsDir dir{"kest_look_"};
    ASSERT_TRUE(dir.dir.made());
    SavedLook saved;
    lang_codeset_override = "UTF-8";
    for (const char* value : {"yes", "no"}) {
        SCOPED_TRACE(value);
        write_ini(std::string("[sjis]\nenabled=") + value + "\n");
        lang_options_load();
        const int on = std::string(value) == "yes" ? 1 : 0;
        const std::string ini = read_ini();
        EXPECT_EQ(ini.find("[sjis]"), std::string::npos) << ini;
        std::string stored;
        ini_read("language", "sjis", "", stored, 16, main_ini_path);
        EXPECT_EQ(stored, std::to_string(on));
        ini_read("language", "multibyte", "", stored, 16, main_ini_path);
        EXPECT_EQ(stored, std::to_string(on));
        // "mbed" is missing: all three are decided from the locale.
        EXPECT_EQ(main_settings.lang_sjis, 0);
        EXPECT_EQ(lang_setting_multibyte, 0);
        // Loading again finds nothing left to convert.
        ini_write("language", "mbed", "1", main_ini_path);
        lang_options_load();
        EXPECT_EQ(main_settings.lang_sjis, on);
        EXPECT_EQ(lang_setting_multibyte, on);
    }
}

// ---- Section "styles" ----

TEST(FrameLook, StyleSettingsTakeTheirDefaultsOutOfRange)
{
    TempSettingsDir dir{"kest_look_"};
    ASSERT_TRUE(dir.dir.made());
    SavedLook saved;
    struct Case {
        const char* ini;
        int thin, font, size, buttons;
        long color;
    };
    const Case cases[] = {
        {"", 1, 1, 2, 0, -1},
        {"[styles]\nthin=7\nsize=0\ncolor=default\n", 1, 1, 2, 0, -1},
        {"[styles]\nthin=3\nfont=0\nsize=5\nbuttons=1\ncolor=255\n", 3, 0, 5, 1, 255},
        {"[styles]\nthin=-1\nsize=6\ncolor=red\n", 1, 1, 2, 0, -1},
        {"[styles]\nthin=0\nsize=1\ncolor=16777215\n", 0, 1, 1, 0, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        write_ini(c.ini);
        styles_load();
        EXPECT_EQ(visual_style.thin, c.thin);
        EXPECT_EQ(win_border_option, c.thin);
        EXPECT_EQ(visual_style.font, c.font);
        EXPECT_EQ(visual_style.size, c.size);
        EXPECT_EQ(visual_style.buttons, c.buttons);
        EXPECT_EQ(visual_style.color, c.color);
    }
}

// ---- The screen's colours ----

TEST(FrameLook, NearestColourFollowsTheScreenDepth)
{
    struct Case {
        ColorRgb in;
        int depth;
        ColorRgb out;
    };
    const Case cases[] = {
        {color_rgb_make(12, 34, 56), 32, color_rgb_make(12, 34, 56)},
        {color_rgb_make(12, 34, 56), 24, color_rgb_make(12, 34, 56)},
        // 5-6-5 and 5-5-5: low bits go, the top bits fill them again.
        {color_rgb_make(255, 255, 255), 16, color_rgb_make(255, 255, 255)},
        {color_rgb_make(0x13, 0x37, 0x7F), 16, color_rgb_make(0x10, 0x34, 0x7B)},
        {color_rgb_make(0x13, 0x37, 0x7F), 15, color_rgb_make(0x10, 0x31, 0x7B)},
        // Few colours: the nearest of the sixteen standard ones.
        {color_rgb_make(250, 10, 5), 8, color_rgb_make(255, 0, 0)},
        {color_rgb_make(100, 100, 100), 4, color_rgb_make(128, 128, 128)},
        {color_rgb_make(200, 200, 190), 8, color_rgb_make(192, 192, 192)},
        {color_rgb_make(0, 0, 0), 1, color_rgb_make(0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        ColorRgb out = 0xDEADBEEF;
        EXPECT_EQ(colour_nearest_at_depth(c.in, c.depth, &out), 1);
        EXPECT_EQ(out, c.out) << std::hex << c.in;
    }
}

// ---- Windows: captions, borders, focus ----

class FrameLookWindows : public ::testing::Test {
protected:
    HookGuard hooks;
    SavedLook look;
    TempSettingsDir settings{"kest_lookw_"};
    TestWire wire;
    Connection* conn = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(settings.dir.made());
        window_test_reset();
        app_install_subsystems();
        conn = window_test_conn();
        ASSERT_TRUE(conn);
        window_test_pump();
    }
    void TearDown() override
    {
        if (conn_is_live(conn))
            conn->socket = -1;
        window_test_reset();
    }

    WindowRecord* channel(const std::string& name)
    {
        WindowRecord* rec = window_test_open(name, kWinChannel, 0, conn);
        window_test_pump();
        return rec;
    }
};

// Counts the title changes a widget goes through.
struct TitleChanges : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::WindowTitleChange)
            ++count;
        return false;
    }
};

TEST_F(FrameLookWindows, ACaptionShowsDecodedTextAndIsSetOnlyWhenItChanges)
{
    // The channel and its topics come from server lines.
    conn->registered = 1;
    conn->connected = 1;
    ASSERT_TRUE(wire.ok());
    wire.attach(conn);
    conn->live_identity[2] = "me";
    conn->server_name = "irc.test";
    irc_state(conn)->registration = 1;
    auto feed = [&](const std::string& line) {
        irc_dispatch_line(line, conn);
        window_test_pump();
    };
    feed(":me!u@h JOIN :#look");
    WindowRecord* rec = win_find_channel("#look", conn);
    ASSERT_TRUE(rec && rec->hwnd.get());
    QWidget* shown = win_container(rec->hwnd.get());
    const QString head = shown->windowTitle().section(':', 0, 0);
    ASSERT_TRUE(head.startsWith("#look")) << head.toStdString();
    struct Case {
        const char* name;
        std::string topic;
        QString expected;
    };
    const Case cases[] = {
        {"legacy bytes", "caf\xE9 \x80 5", QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC 5")},
        {"UTF-8 text", "caf\xC3\xA9", QString::fromUtf8("caf\xC3\xA9")},
        {"codes", "\x02" "bold\x03" "4,5red\x0F", QString::fromUtf8("boldred")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        feed(":op!u@h TOPIC #look :" + c.topic);
        EXPECT_EQ(shown->windowTitle(), head + ": " + c.expected);
        EXPECT_EQ(rec->hwnd.get()->windowTitle(), head + ": " + c.expected);
    }

    // The same caption again is not set again; a changed one is.
    feed(":op!u@h TOPIC #look :caf\xE9");
    TitleChanges changes;
    shown->installEventFilter(&changes);
    win_update_title(rec, nullptr);
    feed(":op!u@h TOPIC #look :caf\xE9");
    EXPECT_EQ(changes.count, 0);
    EXPECT_EQ(caption_get(rec), head.toStdString() + ": caf\xE9");

    // A title changed behind the caption's back is read as it is shown, and
    // the next update puts the caption back.
    shown->setWindowTitle("something else");
    EXPECT_EQ(caption_get(rec), "something else");
    win_update_title(rec, nullptr);
    EXPECT_EQ(shown->windowTitle(), head + QString::fromUtf8(": caf\xC3\xA9"));
    shown->removeEventFilter(&changes);
}

TEST_F(FrameLookWindows, TheWindowBorderAndFrameColoursFollowTheStyleSettings)
{
    write_ini("[styles]\nthin=2\ncolor=255\n");
    styles_load();
    WindowRecord* raised = channel("#raised");
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->border_style, 2);
    QColor light, dark;
    frame_colours(&light, &dark);
    EXPECT_EQ(dark, QColor(255, 0, 0));
    EXPECT_NE(light, dark);

    write_ini("[styles]\nthin=0\ncolor=default\n");
    styles_load();
    WindowRecord* plain = channel("#plain");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->border_style, 0);
    frame_colours(&light, &dark);
    EXPECT_EQ(dark, QApplication::palette().color(QPalette::Dark));
    EXPECT_EQ(light, QApplication::palette().color(QPalette::Light));
}

TEST_F(FrameLookWindows, TheFocusIsElsewhereOnlyInAWindowOutsideTheList)
{
    WindowRecord* rec = channel("#focus");
    ASSERT_TRUE(rec && rec->hwnd.get());
    QWidget* frame = rec->hwnd.get()->window();
    frame->show();
    QApplication::setActiveWindow(frame);
    rec->editbox.get()->setFocus();
    window_test_pump();
    EXPECT_EQ(focus_elsewhere(), 0);

    QDialog dialog;
    auto* edit = new QLineEdit(&dialog);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    edit->setFocus();
    window_test_pump();
    EXPECT_EQ(focus_elsewhere(), 1);

    // A window that opens on the desktop now does not take the focus from
    // the dialog.
    // Its saved placement is on the desktop (and the next one's too).
    ini_write("windows", "Quiet", "30,300,40,200,0,0,0", main_ini_path);
    ini_write("windows", "Loud", "30,300,40,200,0,0,0", main_ini_path);
    WindowRecord* quiet = window_test_open("Quiet", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(quiet && quiet->hwnd.get());
    ASSERT_TRUE(quiet->hwnd.get()->isWindow());
    EXPECT_TRUE(quiet->hwnd.get()->testAttribute(Qt::WA_ShowWithoutActivating));

    dialog.hide();
    QApplication::setActiveWindow(frame);
    rec->editbox.get()->setFocus();
    window_test_pump();
    EXPECT_EQ(focus_elsewhere(), 0);
    // With the focus back in the frame, the next one opens as usual.
    WindowRecord* loud = window_test_open("Loud", kWinQuery, kQueryPrivate, conn);
    ASSERT_TRUE(loud && loud->hwnd.get());
    ASSERT_TRUE(loud->hwnd.get()->isWindow());
    EXPECT_FALSE(loud->hwnd.get()->testAttribute(Qt::WA_ShowWithoutActivating));
}

// Counts the paint events of the widgets it watches.
struct Paints : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

TEST_F(FrameLookWindows, ActivationRepaintsTheCaptionOfEveryShownWindow)
{
    WindowRecord* one = channel("#one");
    WindowRecord* two = channel("#two");
    ASSERT_TRUE(one && two);
    QWidget* frame = one->hwnd.get()->window();
    frame->show();
    window_test_pump();
    Paints paints[2];
    QWidget* shown[2] = {win_container(one->hwnd.get()), win_container(two->hwnd.get())};
    for (int i = 0; i < 2; ++i)
        shown[i]->installEventFilter(&paints[i]);
    window_test_pump();
    paints[0].count = paints[1].count = 0;
    // Each activation change repaints them again, a second one too.
    for (int round = 1; round <= 2; ++round) {
        captions_repaint();
        window_test_pump();
        EXPECT_GE(paints[0].count, round);
        EXPECT_GE(paints[1].count, round);
    }
    for (int i = 0; i < 2; ++i)
        shown[i]->removeEventFilter(&paints[i]);
}

// ---- The frame's title ----

TEST_F(FrameLookWindows, TheTitleTextOfScriptsShowsInTheFrameAndItsIdentifier)
{
    SavedValues<std::string> title{main_settings.app_title};
    QWidget* frame = win_frame_handle();
    ASSERT_TRUE(frame);
    struct Case {
        std::string extra;
        QString shown;
    };
    const Case cases[] = {
        {"away \x02now\x02", QString::fromUtf8("Kest away now")},
        {"caf\xE9", QString::fromUtf8("Kest caf\xC3\xA9")},
        {"", QString::fromUtf8("Kest")},
    };
    for (const Case& c : cases) {
        main_settings.app_title = c.extra;
        frame_update_title();
        EXPECT_EQ(frame->windowTitle(), c.shown);
        EXPECT_EQ(main_title(), frame_title());
    }
}

// ---- Visual styles ----

TEST(FrameLook, BarPartsDrawInTheStyleOnlyWhileItsHandlesAreOpen)
{
    test_app();
    ASSERT_EQ(theme_load(), 1);
    EXPECT_EQ(theme_is_on(nullptr), 1);
    const QColor blank(1, 2, 3);
    auto draws = [&](int kind) {
        QImage image(40, 24, QImage::Format_ARGB32);
        image.fill(blank);
        int result;
        {
            QPainter p(&image);
            result = theme_draw_part(&p, QRect(0, 0, 40, 24), kind);
        }
        bool changed = false;
        for (int y = 0; y < image.height() && !changed; ++y)
            for (int x = 0; x < image.width() && !changed; ++x)
                changed = image.pixelColor(x, y) != blank;
        return std::make_pair(result, changed);
    };
    for (int kind = 0; kind <= 13; ++kind) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(draws(kind), std::make_pair(1, true));
    }
    for (int kind : {-1, 14, 100})
        EXPECT_EQ(draws(kind), std::make_pair(0, false)) << kind;
    // Nothing to draw on counts as drawn.
    EXPECT_EQ(theme_draw_part(nullptr, QRect(0, 0, 4, 4), 3), 1);
    EXPECT_EQ(theme_draw_part(nullptr, QRect(), 3), 1);

    theme_close();
    EXPECT_EQ(theme_is_on(nullptr), 0);
    EXPECT_EQ(draws(0), std::make_pair(0, false));
    theme_close();  // closing twice is harmless
    theme_open();
    EXPECT_EQ(draws(12), std::make_pair(1, true));
}

}  // namespace
