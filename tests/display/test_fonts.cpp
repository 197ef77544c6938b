// Window fonts: reading the [Fonts] values, the keys tried per window kind,
// making a window's font offscreen with its metrics, applying a font with
// its defaults, the list item height and the character-set table.
#include <gtest/gtest.h>
#include "app/subsystems.h"

#include <QApplication>
#include <QFont>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/window_record.h"
#include "core/encodings.h"
#include "core/ini.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "display/fonts.h"
#include "irc/link/outgoing_charset.h"
#include "model/window_charset.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"

namespace {

namespace fs = std::filesystem;

std::string ini_get(const char* key)
{
    std::string out;
    ini_read("Fonts", key, "", out, 4200, main_ini_path);
    return out;
}

void ini_set(const char* key, const std::string& value)
{
    ini_write("fonts", key, value.c_str(), main_ini_path);
}

class FontsTest : public ::testing::Test {
    HookGuard hooks_;  // every seam back as it was when the test ends
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
        font_hooks = FontHooks{};
    }
    void TearDown() override
    {
        for (WindowRecord* rec : records_)
            win_record_free(rec);
    }

    WindowRecord* record(int type, int subtype, const std::string& name)
    {
        WindowRecord* rec = win_record_new(1);
        rec->type = type;
        rec->subtype = subtype;
        rec->name = name;
        records_.push_back(rec);
        return rec;
    }

    TempSettingsDir temp_{"kest_fonts_"};
    std::string root_;
    std::vector<WindowRecord*> records_;
};

// ---- Values ----

TEST_F(FontsTest, SettingValuesAreReadByTheirRules)
{
    struct Case {
        const char* value;
        int dpi;
        const char* face;
        int size;
        int weight;
        int charset;
        int encoding;
    };
    const Case cases[] = {
        {"Arial", 96, "FixedSys", 12, 400, 1, 0},            // no comma at all
        {"Arial,712,0,1", 96, "Arial", 12, 700, 0, 1},       // bold 12
        {"Arial,412", 96, "Arial", 12, 400, 1, 0},
        {"Arial,12", 96, "Arial", 12, 400, 1, 0},            // no weight part
        {"Arial,-10", 96, "Arial", 13, 400, 1, 0},           // 10 points at 96 dpi
        {"Arial,-10", 72, "Arial", 10, 400, 1, 0},
        {"Arial,-710", 96, "Arial", 13, 700, 1, 0},          // bold 10 points
        {"Arial,150", 96, "Arial", 50, 400, 1, 0},           // weight part 100 only
        {"Arial,1400", 96, "Arial", 100, 700, 1, 0},
        {"Arial,0", 96, "Arial", 12, 400, 1, 0},             // below 1: normal 12
        {"Arial,101", 96, "Arial", 1, 400, 1, 0},            // the smallest sized field
        {"Arial,,,", 96, "Arial", 12, 400, 1, 0},            // empty fields keep defaults
        {"Arial,412,,5", 96, "Arial", 12, 400, 1, 0},        // bad encoding
        {"Arial,412,204,-1", 96, "Arial", 12, 400, 204, 0},
        {"Courier New,9,162,2", 96, "Courier New", 9, 400, 162, 2},
        {",9", 96, "FixedSys", 9, 400, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.value << " at " << c.dpi);
        WindowFont f;
        font_parse_setting(c.value, f, c.dpi);
        EXPECT_EQ(f.face, c.face);
        EXPECT_EQ(f.size, c.size);
        EXPECT_EQ(f.weight, c.weight);
        EXPECT_EQ(f.charset, c.charset);
        EXPECT_EQ(f.encoding, c.encoding);
    }
}

TEST_F(FontsTest, WrittenValuesReadBackTheSame)
{
    struct Case {
        const char* face;
        int size;
        int weight;
        int charset;
        int encoding;
    };
    const Case cases[] = {
        {"Arial", 12, 700, 0, 1},
        {"Courier New", 9, 400, 204, 2},
        {"Lucida Console", 100, 400, 1, 0},
        {"FixedSys", 1, 700, 128, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face);
        const std::string text = font_setting_text(c.face, c.size, c.weight, c.charset, c.encoding);
        WindowFont f;
        font_parse_setting(text, f, 96);
        EXPECT_EQ(f.face, c.face);
        EXPECT_EQ(f.size, c.size);
        EXPECT_EQ(f.weight, c.weight);
        EXPECT_EQ(f.charset, c.charset);
        EXPECT_EQ(f.encoding, c.encoding);
    }
    EXPECT_EQ(font_setting_text("Arial", 12, 700, 0, 1), "Arial,712,0,1");
}

// ---- Keys ----

TEST_F(FontsTest, KeysAreTriedByWindowKind)
{
    struct Case {
        int type;
        int subtype;
        const char* name;
        const char* custom_font;
        std::vector<std::string> keys;
        const char* def;
    };
    const std::vector<Case> cases = {
        {kWinStatus, 0, "Status Window", "", {"fstatus"}, "FixedSys,12"},
        {kWinChannel, 0, "#a", "", {"f#a", "fchannel"}, "FixedSys,12"},
        {kWinQuery, kQueryPrivate, "bob", "", {"fbob", "fquery"}, "FixedSys,12"},
        {kWinQuery, kQueryMessages, "Message Window", "", {"fmessage", "fquery"}, "FixedSys,12"},
        {kWinQuery, kQueryDccChat, "Chat bob", "", {"fbob", "fquery"}, "FixedSys,12"},
        {kWinQuery, kQueryFserve, "Fserve ann", "", {"fann", "fquery"}, "FixedSys,12"},
        {kWinQuery, kQueryDccChat, "=bob", "", {"f=bob", "fquery"}, "FixedSys,12"},
        {kWinQuery, 7, "odd", "", {"fquery"}, "FixedSys,12"},
        {kWinTransfer, 1, "Send x", "", {"fdccs"}, "Ms Sans Serif,8"},
        {kWinTransfer, 2, "Get x", "", {"fdccg"}, "Ms Sans Serif,8"},
        {kWinChanList, 0, "Channels List", "", {"flist"}, "FixedSys,12"},
        {kWinFinger, 0, "Finger Window", "", {"ffinger"}, "FixedSys,12"},
        {kWinUrls, 0, "Urls List", "", {"fwwwlist"}, "FixedSys,12"},
        {kWinNotify, 0, "Notify List", "", {"fnotify"}, "FixedSys,12"},
        {kWinLinks, 0, "Links List", "", {"flinks"}, "FixedSys,12"},
        {kWinCustom, 0, "@w", "", {"fstatus"}, "FixedSys,12"},
        {kWinCustom, 0, "@w", "Tahoma,10", {}, "Tahoma,10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.type << "/" << c.subtype << " " << c.name);
        WindowRecord rec;
        rec.type = c.type;
        rec.subtype = c.subtype;
        rec.name = c.name;
        rec.custom_request.font = c.custom_font;
        std::string def;
        EXPECT_EQ(font_setting_keys(&rec, &def), c.keys);
        EXPECT_EQ(def, c.def);
    }
}

TEST_F(FontsTest, AChannelsOwnKeyWinsAndAnotherChannelFallsBackToTheKindsDefault)
{
    ini_set("f#a", "Arial,712,0,1");
    ini_set("fchannel", "Courier New,10,204,0");
    WindowRecord* a = record(kWinChannel, 0, "#a");
    WindowRecord* b = record(kWinChannel, 0, "#b");
    WindowRecord* q = record(kWinQuery, kQueryPrivate, "bob");
    WindowRecord* t = record(kWinTransfer, 1, "Send x");
    font_load_window(a);
    font_load_window(b);
    font_load_window(q);
    font_load_window(t);
    EXPECT_EQ(a->font_face, "Arial");
    EXPECT_EQ(a->font_weight, 700);
    EXPECT_EQ(a->font_encoding, 1);
    EXPECT_EQ(b->font_face, "Courier New");
    EXPECT_EQ(b->font_size, 10);
    EXPECT_EQ(b->font_charset, 204);
    EXPECT_EQ(q->font_face, "FixedSys");
    EXPECT_EQ(q->font_size, 12);
    EXPECT_EQ(q->font_charset, 1);
    EXPECT_EQ(t->font_face, "Ms Sans Serif");
    EXPECT_EQ(t->font_size, 8);
    // Loading does not make the font.
    EXPECT_FALSE(a->font);
}

// ---- Metrics ----

TEST_F(FontsTest, MetricsFollowTheTextMetrics)
{
    struct Case {
        int ave, max, height;
        int wrap, line, tab;
    };
    const Case cases[] = {
        {8, 8, 16, 8, 17, 8},    // fixed pitch: the average width
        {6, 12, 14, 9, 15, 9},   // proportional: one and a half times the average
        {7, 10, 13, 10, 14, 8},
        {2, 2, -1, 5, 5, 5},     // lower bounds
        {3, 4, 0, 5, 1, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.ave << "/" << c.max << "/" << c.height);
        int wrap = 0, line = 0, tab = 0;
        font_metrics_from(c.ave, c.max, c.height, &wrap, &line, &tab);
        EXPECT_EQ(wrap, c.wrap);
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(tab, c.tab);
    }
}

TEST_F(FontsTest, AWindowsFontIsMadeOffscreenWithUsableMetrics)
{
    test_app();
    ini_set("fstatus", "FixedSys,16");
    ini_set("fchannel", "Sans Serif,714");
    WindowRecord* status = record(kWinStatus, 0, "Status Window");
    WindowRecord* chan = record(kWinChannel, 0, "#x");
    ASSERT_EQ(font_ensure_window(status), 1);
    ASSERT_EQ(font_ensure_window(chan), 1);
    for (WindowRecord* rec : {status, chan}) {
        SCOPED_TRACE(rec->name);
        ASSERT_TRUE(rec->font);
        EXPECT_GT(rec->line_height, 0);
        EXPECT_GE(rec->char_width, 5);
        EXPECT_GE(rec->tab_unit, 5);
        EXPECT_EQ(rec->font->pixelSize(), rec->font_size);
    }
    EXPECT_EQ(status->font_size, 16);
    EXPECT_EQ(chan->font_size, 14);
    EXPECT_EQ(chan->font_weight, 700);
    EXPECT_TRUE(chan->font->bold());
    // A taller font gives a taller line.
    WindowRecord* big = record(kWinStatus, 0, "Status Window");
    ASSERT_TRUE(font_create_for_window(big, "FixedSys", 32, 400, 1));
    EXPECT_GT(big->line_height, status->line_height);
    // Asking again keeps the font that is there.
    std::shared_ptr<QFont> kept = status->font;
    EXPECT_EQ(font_ensure_window(status), 1);
    EXPECT_EQ(status->font, kept);
}

TEST_F(FontsTest, ItemHeightOfListsFollowsTheirSpacing)
{
    struct Case {
        int type;
        int spacing;
        int global;
        int line;
        int expected;
    };
    const Case cases[] = {
        {kWinUrls, 1, 0, 13, 25},      // double
        {kWinUrls, 2, 1, 13, 25},      // default, globally double
        {kWinUrls, 3, 0, 12, 16},      // paragraph
        {kWinUrls, 2, 2, 12, 16},
        {kWinUrls, 0, 1, 13, 13},      // single
        {kWinUrls, 2, 0, 13, 13},
        {kWinChannel, 1, 1, 13, 13},   // nick lists keep the line height
        {kWinCustom, 3, 2, 13, 13},
        {kWinNotify, 1, 0, 10, 19},
    };
    const int saved = opt(OPT_LINE_SPACING);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.type << " spacing " << c.spacing << " global "
                                          << c.global);
        WindowRecord rec;
        rec.type = c.type;
        rec.spacing = c.spacing;
        opt_set(OPT_LINE_SPACING, c.global);
        EXPECT_EQ(font_list_item_height(&rec, c.line), c.expected);
        // Asked twice, the same height.
        EXPECT_EQ(font_list_item_height(&rec, c.line), c.expected);
    }
    opt_set(OPT_LINE_SPACING, saved);
}

// ---- Applying ----

TEST_F(FontsTest, MakeDefaultWritesTheKindsKeyAndUseDefaultFollowsIt)
{
    test_app();
    ini_set("f#a", "Arial,712,0,0");
    WindowRecord* a = record(kWinChannel, 0, "#a");
    ASSERT_EQ(font_ensure_window(a), 1);

    // /font -d 14 Courier New in the channel.
    ASSERT_EQ(font_apply(a, "Courier New", 14, 400, 1, 0, "", -1, -1, 1, 0), 1);
    EXPECT_EQ(ini_get("fchannel"), "Courier New,414,1,0");
    EXPECT_EQ(ini_get("f#a"), "");
    EXPECT_EQ(a->font_face, "Courier New");
    EXPECT_EQ(a->font_size, 14);

    // A font of the channel's own, then /font -e: the key goes and the
    // channel takes "fchannel" again.
    ASSERT_EQ(font_apply(a, "Arial", 20, 700, 0, 2, "", -1, -1, 0, 0), 1);
    EXPECT_EQ(ini_get("f#a"), "Arial,720,0,2");
    EXPECT_EQ(a->font_encoding, 2);
    ASSERT_EQ(font_apply(a, "ignored", 9, 400, 0, 0, "", -1, -1, 0, 1), 1);
    EXPECT_EQ(ini_get("f#a"), "");
    EXPECT_EQ(a->font_face, "Courier New");
    EXPECT_EQ(a->font_size, 14);
    EXPECT_EQ(ini_get("fchannel"), "Courier New,414,1,0");
}

TEST_F(FontsTest, ApplyingByNameAndKindWithoutAWindow)
{
    struct Case {
        int kind;
        int subtype;
        const char* name;
        const char* key;
    };
    const Case cases[] = {
        {kWinStatus, 0, "Status Window", "fstatus"},
        {kWinChannel, 0, "#chan", "f#chan"},
        {kWinQuery, kQueryPrivate, "bob", "fbob"},
        {kWinQuery, kQueryMessages, "Message Window", "fmessage"},
        {kWinQuery, kQueryDccChat, "Chat ann", "fann"},
        {kWinTransfer, 2, "Get f", "fdccg"},
        {kWinChanList, 0, "Channels List", "flist"},
        {kWinLinks, 0, "Links List", "flinks"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(font_apply(nullptr, "Tahoma", 11, 700, 0, 1, c.name, c.kind, c.subtype, 0, 0), 1);
        EXPECT_EQ(ini_get(c.key), "Tahoma,711,0,1");
    }
    // Use-default without a window drops the name's key.
    EXPECT_EQ(font_apply(nullptr, "", 0, 0, 0, 0, "#chan", kWinChannel, 0, 0, 1), 1);
    EXPECT_EQ(ini_get("f#chan"), "");
    // Custom windows write nothing; a gone window fails.
    EXPECT_EQ(font_apply(nullptr, "Tahoma", 11, 400, 0, 0, "@w", kWinCustom, 0, 0, 0), 1);
    EXPECT_EQ(ini_get("f@w"), "");
    WindowRecord loose;
    EXPECT_EQ(font_apply(&loose, "Tahoma", 11, 400, 0, 0, "", -1, -1, 0, 0), 0);
}

TEST_F(FontsTest, ReloadingAllRemakesOnlyWindowsWhoseSettingsChanged)
{
    test_app();
    WindowRecord* s = record(kWinStatus, 0, "Status Window");
    WindowRecord* c = record(kWinCustom, 0, "@c");
    ASSERT_EQ(font_ensure_window(s), 1);
    ASSERT_EQ(font_ensure_window(c), 1);
    std::shared_ptr<QFont> status_font = s->font;
    std::shared_ptr<QFont> custom_font = c->font;
    font_reload_all(1);
    EXPECT_EQ(s->font, status_font);
    ini_set("fstatus", "FixedSys,20");
    font_reload_all(0);
    EXPECT_NE(s->font, status_font);
    EXPECT_EQ(s->font_size, 20);
    EXPECT_EQ(c->font, custom_font);  // custom windows only when asked
    font_reload_all(1);
    EXPECT_EQ(c->font_size, 20);
}

// ---- Character sets ----

TEST_F(FontsTest, CharsetTableGivesKindAndCodePage)
{
    struct Case {
        int charset;
        int column;
        int expected;
    };
    const Case cases[] = {
        {1, 0, 0},       {1, 1, 2},      {128, 0, 932},  {128, 1, 2},   {0, 0, 1252},
        {0, 1, 1},       {162, 0, 1254}, {204, 0, 1251}, {130, 0, 1361}, {163, 1, 2},
        {2, 0, 42},      {255, 0, 1},    {77, 0, 2},     {999, 0, 0},   {999, 1, 0},
        {-1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.charset << " column " << c.column);
        EXPECT_EQ(charset_codepage(c.charset, c.column), c.expected);
    }
}

// The charset of the lines sent to a window or to a target without one: the
// code pages of the core table agree with the fonts' table, a window's code
// page follows its font and the multibyte setting, and a target without a
// window has the font settings it would get.
TEST_F(FontsTest, TheCharsetOfAWindowAndOfATargetWithoutOne)
{
    for (int charset : {1, 77, 255, 2, 222, 128, 134, 129, 136, 238, 204, 0, 161, 162, 177, 178, 186, 163, 130, 999})
        EXPECT_EQ(charset_codepage_of(charset), charset_codepage(charset, 0)) << charset;

    auto saved_target = outgoing_target_font;
    app_wire_fonts();
    ini_set("fchannel", "Arial,12,128,2");
    ini_set("fbob", "Arial,12,204,1");
    int charset = -5, encoding = -5;
    outgoing_target_font(nullptr, "#room", &charset, &encoding);
    EXPECT_EQ(charset, 128);
    EXPECT_EQ(encoding, 2);
    outgoing_target_font(nullptr, "bob", &charset, &encoding);
    EXPECT_EQ(charset, 204);
    EXPECT_EQ(encoding, 1);
    outgoing_target_font(nullptr, "ann", &charset, &encoding);
    EXPECT_EQ(charset, 1);
    EXPECT_EQ(encoding, 0);
    outgoing_target_font = saved_target;

    WindowRecord loose;
    EXPECT_EQ(win_codepage(&loose), -1);
    WindowRecord* r = record(kWinQuery, kQueryPrivate, "bob");
    r->font_charset = 204;
    lang_setting_multibyte = 1;
    EXPECT_EQ(win_codepage(r), 1251);
    lang_setting_multibyte = 0;
    EXPECT_EQ(win_codepage(r), 0);
}

TEST_F(FontsTest, MultibyteCodePageIsSetAndTheOldOneReturned)
{
    int before = font_set_mbcp(128);
    EXPECT_EQ(font_mbcp, 932);
    EXPECT_EQ(font_set_mbcp(999), 932);
    EXPECT_EQ(font_mbcp, 0);
    font_set_mbcp(0);
    font_mbcp = before;
}

}  // namespace
