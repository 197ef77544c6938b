// Terminal colour sequences to control codes and back.
#include <gtest/gtest.h>

#include <string>

#include "display/ansi.h"

namespace {

const std::string E = "\x1B";
const std::string K = "\x03";

TEST(AnsiToCodes, SequencesBecomeCodesOrVanish)
{
    struct Case {
        const char* what;
        std::string in, out;
    } const cases[] = {
        {"bold then red is one bright code", E + "[1;31mx", K + "13x"},
        {"red then bold turns the code bright", E + "[31;1mx", K + "13x"},
        {"background then foreground share one code", E + "[44;33mx", K + "08,02x"},
        {"foreground then background are two codes", E + "[33;44mx", K + "08" + K + "99,02x"},
        {"a second foreground overwrites the first", E + "[31;32mx", K + "03x"},
        {"faint turns a bright code back", E + "[1;31;2mx", K + "04x"},
        {"faint alone is light grey", E + "[2mx", K + "15x"},
        {"reset, underline and reverse", E + "[0;4;7mx", "\x0F\x1F\x16x"},
        {"an empty sequence is plain", "a" + E + "[mb", "a\x0F" "b"},
        {"runs of separators count once", E + "[;;31;;mx", K + "04x"},
        {"unknown parameters write nothing", E + "[5;38mx", "x"},
        {"clear screen vanishes", "a" + E + "[2Jb", "ab"},
        {"cursor position vanishes", "a" + E + "[10;20Hb", "ab"},
        {"escape before another letter leaves the letter", "a" + E + "Xb", "aXb"},
        {"an unfinished sequence is dropped", "a" + E + "[31", "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string t = c.in;
        ansi_to_codes(t);
        EXPECT_EQ(t, c.out);
    }
}

TEST(AnsiToCodes, BrightLastsAcrossSequencesUntilCleared)
{
    std::string t = E + "[1ma" + E + "[32mb" + E + "[0mc" + E + "[32md";
    ansi_to_codes(t);
    EXPECT_EQ(t, K + "00a" + K + "09b\x0F" "c" + K + "03d");
    // A new text starts without brightness.
    std::string u = E + "[32mx";
    ansi_to_codes(u);
    EXPECT_EQ(u, K + "03x");
}

TEST(AnsiToCodes, TextWithoutEscapeIsUntouchedAndOutputIsBounded)
{
    std::string long_plain(5000, 'a');
    std::string t = long_plain;
    ansi_to_codes(t);
    EXPECT_EQ(t, long_plain);

    std::string hostile;
    for (int i = 0; i < 3000; ++i)
        hostile += E + "[31;44;1;4;7m";
    hostile += E + "[" + std::string(10000, '1') + "mtail";
    ansi_to_codes(hostile);
    EXPECT_LE(hostile.size(), 4150u);
}

TEST(CodesToAnsi, ConvertingBackAndAgainGivesTheSameCodes)
{
    for (int fg = 0; fg < 16; ++fg) {
        for (int bg : {-1, 1, 4}) {
            SCOPED_TRACE(fg * 100 + bg);
            std::string codes = K + std::to_string(fg);
            if (bg >= 0)
                codes += "," + std::to_string(bg);
            codes += "text\x02" "bold\x02\x1Fu\x1F\x16r\x16\x0F" "end";
            std::string first = codes_to_ansi(codes);
            EXPECT_EQ(first.find('\x03'), std::string::npos);
            ansi_to_codes(first);
            std::string second = codes_to_ansi(first);
            ansi_to_codes(second);
            EXPECT_EQ(second, first);
        }
    }
    // The eight terminal colours survive the trip exactly.
    for (int c = 30; c <= 37; ++c) {
        std::string a = E + "[" + std::to_string(c) + "mx";
        ansi_to_codes(a);
        std::string b = codes_to_ansi(a);
        ansi_to_codes(b);
        EXPECT_EQ(b, a) << c;
    }
}

}  // namespace
