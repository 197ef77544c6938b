// Colour values, the resolver, the default palette, item names and the
// colour schemes stored in the main settings file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/ini.h"
#include "core/list_sort.h"
#include "core/string_list.h"
#include "model/colors.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"
#include "support/hook_guard.h"

namespace {

namespace fs = std::filesystem;

std::string ini_get(const char* section, const char* key)
{
    std::string out;
    ini_read(section, key, "", out, 4200, main_ini_path);
    return out;
}

void ini_set(const char* section, const char* key, const std::string& value)
{
    ini_write(section, key, value.c_str(), main_ini_path);
}

// A temporary settings folder with its own main settings file, the items
// made afresh at a screen depth of 24 bits, and no schemes loaded.
class ColorsTest : public ::testing::Test {
protected:
    HookGuard hooks_;  // every seam back as it was when the test ends

    void SetUp() override
    {
        ASSERT_TRUE(temp_.made());
        root_ = temp_.path();
        for (int k = 0; k < kColorItemCount; ++k)
            saved_items_[k] = color_items[k];
        saved_palettes_[0] = color_palette_current;
        saved_palettes_[1] = color_palette_edited;
        saved_palettes_[2] = color_palette_default;
        saved_depth_ = color_screen_depth;
        // The real screen: the offscreen platform's shows every colour.
        test_app();
        color_items_init();
        for (ColorItem& item : color_items) {
            item.current = item.default_index;
            item.edited = 0;
            item.selected = 0;
        }
        color_palette_current = color_palette_default;
        color_schemes_free();
    }
    void TearDown() override
    {
        color_schemes_free();
        for (int k = 0; k < kColorItemCount; ++k)
            color_items[k] = saved_items_[k];
        color_palette_current = saved_palettes_[0];
        color_palette_edited = saved_palettes_[1];
        color_palette_default = saved_palettes_[2];
        color_screen_depth = saved_depth_;
    }

    // The scheme names of the global list in list order.
    std::vector<std::string> scheme_names() const
    {
        std::vector<std::string> out;
        for (const StringNode* n = color_schemes; n; n = n->next)
            out.push_back(n->text.substr(0, n->text.find(',')));
        return out;
    }

    std::string current_scheme() const
    {
        std::string name;
        color_scheme_find(color_schemes, name, 1);
        return name;
    }

    TempSettingsDir temp_{"kest_colors_"};
    std::string root_;
    ColorItem saved_items_[kColorItemCount];
    Palette saved_palettes_[3];
    int saved_depth_ = 8;
};

// ---- The resolver ----

TEST_F(ColorsTest, ResolverTurnsEveryValueIntoAPaletteIndex)
{
    color_items[0].current = 9;    // Background
    color_items[4].current = 12;   // Info text
    color_items[24].current = 13;  // Listbox text
    color_items[7].current = 20;   // out of range
    color_items[8].current = -3;   // out of range

    struct Case {
        const char* what;
        std::uint32_t value;
        int expected;
    };
    const Case cases[] = {
        {"palette index", 4, 4},
        {"palette index 0", 0, 0},
        {"palette index 15", 15, 15},
        {"bad index 16", 16, 0},
        {"bad index 98", 98, 0},
        {"bad index 100", 100, 0},
        {"bad index 0xFFFF", 0xFFFF, 0},
        {"Info text item", kColorInfoText, 12},
        {"Background item", kColorBackground, 9},
        {"item 30 counts as Background", 0x1001E, 9},
        {"item 0xFFFF counts as Background", 0x1FFFF, 9},
        {"item in a high half above 1", 0x20004, 12},
        {"99 goes through Listbox text", kColorNone, 13},
        {"low half 99 with an item high half", 0x10063, 13},
        {"low half 99 with any high half", 0xABCD0063, 13},
        {"item whose index is above 15", kColorJoinText, 0},
        {"item whose index is negative", kColorKickText, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(color_resolve(c.value), c.expected);
    }
}

TEST_F(ColorsTest, RgbOfAValueIsTheCurrentPaletteEntryAtItsIndex)
{
    color_items[11].current = 5;
    color_palette_current.rgb[5] = color_rgb_make(1, 2, 3);
    EXPECT_EQ(color_rgb(kColorNormalText), color_rgb_make(1, 2, 3));
    EXPECT_EQ(color_rgb_to_argb(color_rgb_make(0x11, 0x22, 0x33)), 0xFF112233u);
}

// ---- Default palette ----

TEST_F(ColorsTest, DefaultPaletteFollowsTheScreenDepth)
{
    struct Case {
        int depth;
        int index;
        ColorRgb expected;
    };
    const Case cases[] = {
        {24, 0, color_rgb_make(255, 255, 255)}, {24, 1, color_rgb_make(0, 0, 0)},
        {24, 2, color_rgb_make(0, 0, 127)},     {24, 6, color_rgb_make(156, 0, 156)},
        {24, 7, color_rgb_make(252, 127, 0)},
        {16, 7, color_rgb_make(255, 125, 0)},  // as a 5-6-5 screen shows it
        {8, 7, color_rgb_make(128, 128, 0)},   // the nearest standard colour
        {4, 7, color_rgb_make(128, 128, 0)},   // the darker table value, shown the same
        {24, 9, color_rgb_make(0, 252, 0)},     {24, 15, color_rgb_make(210, 210, 210)},
        {24, -1, color_rgb_make(0, 0, 0)},      {24, 16, color_rgb_make(0, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "depth " << c.depth << " index " << c.index);
        color_screen_depth = c.depth;
        EXPECT_EQ(color_default_rgb(c.index), c.expected);
    }
    color_screen_depth = 24;
}

TEST_F(ColorsTest, TheScreensDepthMapsTheDefaultColours)
{
    EXPECT_GE(color_screen_depth, 24);
    struct Case {
        int depth;
        int index;
        ColorRgb expected;
    };
    const Case cases[] = {
        {32, 15, color_rgb_make(210, 210, 210)},  // every colour as it is
        {24, 6, color_rgb_make(156, 0, 156)},
        {16, 15, color_rgb_make(214, 211, 214)},  // 5-6-5 bits
        {15, 15, color_rgb_make(214, 214, 214)},
        {8, 15, color_rgb_make(192, 192, 192)},   // the nearest standard colour
        {8, 4, color_rgb_make(255, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "depth " << c.depth << " index " << c.index);
        color_screen_depth = c.depth;
        EXPECT_EQ(color_default_rgb(c.index), c.expected);
        EXPECT_EQ(color_nearest_on_screen(c.expected), c.expected);  // a shown colour stays
    }
}

TEST_F(ColorsTest, InitFillsNamesTitlesAndDefaultsButLeavesCurrentAlone)
{
    color_items[3].current = 0;
    color_items_init();
    EXPECT_EQ(color_items[3].name, "Highlight text");
    EXPECT_EQ(color_items[3].title, "Gözalıcı Metni");
    EXPECT_EQ(color_items[3].default_index, 5);
    EXPECT_EQ(color_items[3].current, 0);
    EXPECT_EQ(color_items[29].name, "Treebar Text");
    EXPECT_EQ(color_items[29].title, "Treebar Metni");
    EXPECT_EQ(color_items[25].default_index, 15);
    EXPECT_EQ(color_palette_default.rgb[12], color_rgb_make(0, 0, 252));
}

// ---- Names and selection ----

TEST_F(ColorsTest, ItemByNameTakesTheFirstPrefixMatch)
{
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"info", 4},          {"Info2", 5},      {"INFO2 TEXT", 5},  {"back", 0},
        {"", 0},              {"Treebar", 28},   {"treebar t", 29},  {"x", -1},
        {"Listbox text and more", -1},           {"editbox t", 22},  {"gray", 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(color_item_by_name(c.text), c.expected);
    }
}

TEST_F(ColorsTest, SelectingAnItemClearsTheOthersAndABadNumberSelectsTheFirst)
{
    color_item_select(7);
    color_item_select(12);
    for (int k = 0; k < kColorItemCount; ++k)
        EXPECT_EQ(color_items[k].selected, k == 12 ? 1 : 0) << k;
    color_item_select(30);
    for (int k = 0; k < kColorItemCount; ++k)
        EXPECT_EQ(color_items[k].selected, k == 0 ? 1 : 0) << k;
}

TEST_F(ColorsTest, BrushesAreRemadeOnlyWhenTheirColourChanges)
{
    color_brushes_free();
    color_brushes_update();
    const int first = color_brushes[kBrushList].generation;
    EXPECT_EQ(color_brushes[kBrushList].rgb, color_rgb(kColorListbox));
    color_brushes_update();
    EXPECT_EQ(color_brushes[kBrushList].generation, first);
    color_items[23].current = 4;
    color_brushes_update();
    EXPECT_EQ(color_brushes[kBrushList].generation, first + 1);
    EXPECT_EQ(color_brushes[kBrushList].rgb, color_palette_current.rgb[4]);
    EXPECT_EQ(color_brushes[kBrushEditFocused].generation, 1);
}

// ---- Schemes in the settings ----

TEST_F(ColorsTest, EmptySettingsGetTheFiveBuiltInSchemesAndTheFirstBecomesCurrent)
{
    color_load();
    EXPECT_EQ(scheme_names(), (std::vector<std::string>{"Kest Classic", "Kest Modern",
                                                        "Monochrome State", "Placid Hues",
                                                        "Rainbow Sky"}));
    EXPECT_EQ(ini_get("colors", "n4").substr(0, 12), "Rainbow Sky,");
    EXPECT_FALSE(ini_get("palettes", "n4").empty());
    EXPECT_TRUE(ini_get("colors", "n5").empty());
    // No theme names one of them: the first in name order is current.
    EXPECT_EQ(current_scheme(), "Kest Classic");
    EXPECT_EQ(color_items[1].current, 6);
    EXPECT_EQ(color_items[25].current, 15);
    // The line has 28 indexes: the treebar items keep their defaults.
    EXPECT_EQ(color_items[29].current, color_items[29].default_index);
    EXPECT_EQ(color_palette_current.rgb[2], static_cast<ColorRgb>(8323072));
}

TEST_F(ColorsTest, AThemeNamingASchemeMakesItCurrentAndOneNamingNoneTakesTheFirst)
{
    ini_set("text", "theme", "placid   HUES");
    color_load();
    EXPECT_EQ(current_scheme(), "Placid Hues");
    EXPECT_EQ(color_items[9].current, 15);
    EXPECT_EQ(color_palette_current.rgb[0], static_cast<ColorRgb>(15658734));

    ini_set("text", "theme", "No Such Scheme");
    color_load();
    EXPECT_EQ(current_scheme(), "Kest Classic");
}

TEST_F(ColorsTest, SchemesRoundTripThroughTheSettings)
{
    color_load();
    // A new scheme from the current column after changing it.
    color_items[11].current = 4;
    color_items[29].current = 9;
    color_palette_current.rgb[3] = color_rgb_make(10, 20, 30);
    StringNode* made = color_scheme_text("  My   Own , ignored", 1);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->text.substr(0, 7), "My Own,");
    color_schemes = strlist_splice(color_schemes, nullptr, made);
    color_schemes = strlist_sort(color_schemes, 7);
    std::string name = "My Own";
    StringNode* mine = color_scheme_find(color_schemes, name, 0);
    ASSERT_NE(mine, nullptr);
    color_scheme_apply(color_schemes, mine, 1);
    color_save();
    EXPECT_EQ(ini_get("text", "theme"), "My Own");

    // Everything back to the defaults, then load again.
    for (ColorItem& item : color_items)
        item.current = item.default_index;
    color_palette_current = color_palette_default;
    color_schemes_free();
    color_load();
    EXPECT_EQ(current_scheme(), "My Own");
    EXPECT_EQ(scheme_names().size(), 6u);
    EXPECT_EQ(color_items[11].current, 4);
    EXPECT_EQ(color_items[29].current, 9);
    EXPECT_EQ(color_palette_current.rgb[3], color_rgb_make(10, 20, 30));
    EXPECT_EQ(color_palette_current.rgb[4], color_palette_default.rgb[4]);

    // Fewer schemes: the stale keys go.
    color_schemes = strlist_remove(color_schemes, color_schemes->next);
    color_save();
    EXPECT_FALSE(ini_get("colors", "n4").empty());
    EXPECT_TRUE(ini_get("colors", "n5").empty());
    EXPECT_TRUE(ini_get("palettes", "n5").empty());
}

TEST_F(ColorsTest, SchemeLinesAreReadIndexByIndex)
{
    struct Case {
        const char* what;
        const char* line;
        const char* palette;
        int item;
        int expected;
    };
    const Case cases[] = {
        {"short line keeps the rest at its default", "S,5,5", "", 11, 1},
        {"short line sets what it has", "S,5,5", "", 1, 5},
        {"index 16 becomes 0", "S,1,16", "", 1, 0},
        {"index x becomes 0", "S,1,x", "", 1, 0},
        {"negative becomes 0", "S,1,-2", "", 1, 0},
        {"empty field becomes 0", "S,1,,3", "", 1, 0},
        {"thirtieth index is read",
         "S,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,7,8", "", 29, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StringNode* list = strlist_append(nullptr, c.line, 0);
        ASSERT_NE(list, nullptr);
        list->text2 = std::string(c.palette);
        color_scheme_apply(list, nullptr, 1);
        EXPECT_EQ(color_items[c.item].current, c.expected);
        EXPECT_EQ(list->number, 1);
        strlist_free(&list);
    }
}

TEST_F(ColorsTest, ALineWithMoreThanThirtyIndexesReadsOnlyThirtyAndAShortPaletteKeepsDefaults)
{
    std::string line = "Long";
    for (int i = 0; i < 31; ++i)
        line += "," + std::to_string(i % 16);
    StringNode* list = strlist_append(nullptr, line, 0);
    list->text2 = std::string("1,2,3");
    color_scheme_apply(list, nullptr, 2);
    EXPECT_EQ(color_items[29].edited, 29 % 16);
    EXPECT_EQ(color_palette_edited.rgb[0], 1u);
    EXPECT_EQ(color_palette_edited.rgb[2], 3u);
    EXPECT_EQ(color_palette_edited.rgb[3], color_palette_default.rgb[3]);
    // The current column is left alone.
    EXPECT_EQ(color_items[29].current, color_items[29].default_index);
    strlist_free(&list);
}

TEST_F(ColorsTest, TwoStoredSchemesOfOneNameLoadOnlyTheFirst)
{
    ini_set("colors", "n0", "Same,3");
    ini_set("colors", "n1", "SAME,4");
    ini_set("colors", "n2", "Other,5");
    ini_set("text", "theme", "same");
    color_load();
    EXPECT_EQ(scheme_names(), (std::vector<std::string>{"Other", "Same"}));
    EXPECT_EQ(color_items[0].current, 3);
    // A missing palette line gives the default palette.
    EXPECT_EQ(color_palette_current.rgb[7], color_palette_default.rgb[7]);
}

TEST_F(ColorsTest, TheOlderFormIsFoldedIntoTheNewSectionsAndRemoved)
{
    ini_set("colours", "n0", "2,3,4");
    ini_set("rgb", "n0", "111");
    ini_set("rgb", "n5", "555");
    color_load();
    EXPECT_EQ(ini_get("colors", "n0"), "Kest Klasik,2,3,4");
    std::string expected_palette;
    for (int i = 0; i < 16; ++i) {
        std::string v = i == 0   ? "111"
                        : i == 5 ? "555"
                                 : std::to_string(static_cast<long>(color_palette_default.rgb[i]));
        expected_palette += (i ? "," : "") + v;
    }
    EXPECT_EQ(ini_get("palettes", "n0"), expected_palette);
    const std::string file = slurp(main_ini_path);
    EXPECT_EQ(file.find("[colours]"), std::string::npos);
    EXPECT_EQ(file.find("[rgb]"), std::string::npos);
    EXPECT_EQ(scheme_names(), (std::vector<std::string>{"Kest Klasik"}));
    EXPECT_EQ(color_items[0].current, 2);
    EXPECT_EQ(color_palette_current.rgb[5], 555u);
}

TEST_F(ColorsTest, SchemeFromAColumnAndItsFailures)
{
    EXPECT_EQ(color_scheme_text("", 0), nullptr);
    EXPECT_EQ(color_scheme_text(" , x", 0), nullptr);
    EXPECT_EQ(color_scheme_text("Name", 3), nullptr);
    EXPECT_EQ(color_scheme_text("Name", -1), nullptr);
    StringNode* n = color_scheme_text("Name", 0);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->text,
              "Name,0,6,4,5,2,3,3,3,3,3,3,1,5,7,6,1,3,2,3,5,1,0,1,0,1,15,6,0,0,1");
    ASSERT_TRUE(n->text2.has_value());
    EXPECT_EQ(n->text2->substr(0, 11), "16777215,0,");
    strlist_free(&n);
}

TEST_F(ColorsTest, FindingTheCurrentSchemeWhenNoneIsMarkedMarksTheFirst)
{
    color_schemes = strlist_append(nullptr, "Beta,1", 0);
    color_schemes = strlist_append(color_schemes, "Alpha,2", 0);
    std::string name;
    StringNode* found = color_scheme_find(color_schemes, name, 1);
    ASSERT_EQ(found, color_schemes);
    EXPECT_EQ(name, "Beta");
    EXPECT_EQ(color_schemes->number, 1);
    std::string wanted = "alpha,anything";
    EXPECT_EQ(color_scheme_find(color_schemes, wanted, 0), color_schemes->next);
    std::string none = "Gamma";
    EXPECT_EQ(color_scheme_find(color_schemes, none, 0), nullptr);
}

}  // namespace

TEST_F(ColorsTest, WithoutAThemeTheBuiltInDefaultSchemeIsCurrentNotTheFirstByName)
{
    // A scheme of the user's that sorts before the built-in ones, and the
    // default name as the language gives it, which no scheme carries.
    color_load();
    StringNode* mine = color_scheme_text("Aaa Mine", 1);
    ASSERT_NE(mine, nullptr);
    color_schemes = strlist_splice(color_schemes, nullptr, mine);
    color_save();
    ini_set("text", "theme", "");
    color_load();
    ASSERT_EQ(scheme_names().front(), "Aaa Mine");
    EXPECT_EQ(current_scheme(), "Kest Classic");
    // A theme that names the user's scheme still wins, also when asked again.
    for (int i = 0; i < 2; ++i) {
        ini_set("text", "theme", "aaa mine");
        color_load();
        EXPECT_EQ(current_scheme(), "Aaa Mine");
    }
}
