// Font fallback: the setting and the run search.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>

#include <string>

#include "core/ini.h"
#include "display/draw.h"
#include "display/font_fallback.h"
#define KEST_TEST_WIDGETS
#include "support/test_support.h"

namespace {

class FontFallback : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_app();
        fontlink_set_option(1);
    }
    void TearDown() override { fontlink_set_option(1); }
};

TEST_F(FontFallback, RunsFollowWhatTheBaseFontDraws)
{
    QFont base(QStringLiteral("DejaVu Sans"), 10);
    const QFontMetrics fm(base);
    // A character the base font lacks (a private-use code point).
    const char16_t missing = 0xE000;
    ASSERT_FALSE(fm.inFontUcs4(missing));
    ASSERT_TRUE(fm.inFontUcs4(U'a'));
    struct Case {
        const char* what;
        std::u16string text;
        int run;
    } const cases[] = {
        {"plain text is one run", u"hello world", 11},
        {"text then a missing character", std::u16string(u"ab") + missing + u"c", 2},
        {"missing characters then text", std::u16string(1, missing) + missing + u"xy", 2},
        {"a blank stays inside the fallback run",
         std::u16string(1, missing) + u" " + missing + u"z", 3},
        {"a blank at the start joins the run after it", std::u16string(u" ") + missing + u"q", 2},
        {"empty text", u"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fontlink_next_run(base, c.text), c.run);
    }
    // Walking a mixed line run by run covers it exactly.
    const std::u16string mixed = std::u16string(u"ab ") + missing + missing + u" cd" + missing;
    std::size_t at = 0;
    int runs = 0;
    while (at < mixed.size()) {
        const int n = fontlink_next_run(base, std::u16string_view(mixed).substr(at));
        ASSERT_GT(n, 0);
        at += static_cast<std::size_t>(n);
        ++runs;
    }
    EXPECT_EQ(at, mixed.size());
    EXPECT_EQ(runs, 4);
}

TEST_F(FontFallback, SettingOffStopsFallingBackAndTheRunSearch)
{
    QFont base(QStringLiteral("DejaVu Sans"), 10);
    fontlink_set_option(0);
    EXPECT_EQ(fontlink_next_run(base, u"hello"), 0);
    EXPECT_TRUE(draw_font_variant(base, 0, 0).styleStrategy() & QFont::NoFontMerging);
    fontlink_set_option(1);
    EXPECT_FALSE(draw_font_variant(base, 1, 1).styleStrategy() & QFont::NoFontMerging);
    EXPECT_GT(fontlink_next_run(base, u"hello"), 0);
}

}  // namespace
