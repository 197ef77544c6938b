// The switch-word reader the commands share: letters one at a time, and the
// digits or characters a letter takes right after it.
#include <gtest/gtest.h>

#include <string>

#include "commands/switches.h"

namespace {

// Walks the word as a command would: 'e' takes a number, 'n' a signed
// number, 'k' one digit, 'f' one character, 'v' an optional '0'; any other
// letter is written as it is. A failed signed number ends the walk with "!".
std::string walk(const std::string& word)
{
    std::string out;
    SwitchReader r(word);
    while (const char c = r.next()) {
        if (!out.empty())
            out += ' ';
        out += c;
        switch (c) {
        case 'e': out += "=" + std::to_string(r.number()); break;
        case 'k': out += "=" + std::to_string(r.digit()); break;
        case 'f': {
            const char t = r.take();
            out += t ? std::string(":") + t : std::string(":end");
            break;
        }
        case 'v': out += r.take_if('0') ? "0" : "1"; break;
        case 'n': {
            int value = 7;
            if (!r.signed_number(value))
                return out + "!";
            out += "=" + std::to_string(value);
            break;
        }
        default: break;
        }
    }
    return out;
}

struct Case {
    const char* word;
    const char* walked;
};

TEST(SwitchReader, ReadsLettersAndTheirValues)
{
    const Case cases[] = {
        {"", ""},                                 // no switch word at all
        {"-", ""},                                // a dash alone has no letters
        {"-a", "a"},
        {"-aa", "a a"},                           // a repeated letter comes twice
        {"-aXq?", "a X q ?"},                     // unknown letters come as they are
        {"-e12a", "e=12 a"},                      // digits belong to the letter before
        {"-e", "e=-1"},                           // a number wanted at the end of the word
        {"-ea", "e=-1 a"},
        {"-e0", "e=0"},
        {"-e99999999999999", "e=2147483647"},     // held to the largest int
        {"-k12", "k=1 2"},                        // one digit only
        {"-k", "k=-1"},
        {"-fl", "f:l"},
        {"-f", "f:end"},                          // a character wanted at the end
        {"-v0z", "v0 z"},
        {"-vz", "v1 z"},
        {"-v", "v1"},
        {"-n-15x", "n=-15 x"},
        {"-n42", "n=42"},
        {"-n", "n!"},                             // a signed number missing at the end
        {"-n-", "n!"},
        {"-n-a", "n!"},
        {"-n1234567890123a", "n=123456789 a"},  // nine digits count, the rest are read past
    };
    for (const Case& c : cases)
        EXPECT_EQ(walk(c.word), c.walked) << "word: \"" << c.word << "\"";
}

TEST(SwitchReader, NothingIsReadPastAFailedSignedNumber)
{
    // The letter after a failed number is still there for the next read.
    SwitchReader r("-n-a");
    EXPECT_EQ(r.next(), 'n');
    int value = 5;
    EXPECT_FALSE(r.signed_number(value));
    EXPECT_EQ(value, 5);
    EXPECT_EQ(r.next(), '-');
    EXPECT_EQ(r.next(), 'a');
    EXPECT_EQ(r.next(), 0);
    EXPECT_EQ(r.next(), 0);  // the end stays the end
}

}  // namespace
