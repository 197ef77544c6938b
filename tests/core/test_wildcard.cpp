#include "core/wildcard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include "support/cpu_time.h"

namespace {

// ---------------------------------------------------------------------------
// wild_match
// ---------------------------------------------------------------------------

struct MatchCase {
    const char* mask;
    const char* text;
    int case_flag;
    int expected;
};

TEST(WildMatch, Table)
{
    const MatchCase cases[] = {
        // empty mask and text
        {"", "", 0, 1},
        {"", "a", 0, 0},
        {"a", "", 0, 0},
        {"*", "", 0, 1},
        {"**", "", 0, 1},
        {"?", "", 0, 0},
        {"?*", "", 0, 0},
        {"*?", "", 0, 0},
        {"*?", "a", 0, 1},
        // stars
        {"*", "anything at all", 0, 1},
        {"a*", "a", 0, 1},
        {"a*", "abc", 0, 1},
        {"a**", "abc", 0, 1},
        {"abc***", "abc", 0, 1},
        {"*c", "abc", 0, 1},
        {"*b", "abc", 0, 0},
        {"*a*b", "xaxb", 0, 1},
        {"*a*b", "xaxbx", 0, 0},
        {"a*b*c", "abbbbc", 0, 1},
        {"a*b*c", "acb", 0, 0},
        {"*ab", "aab", 0, 1},          // the star must give back what it first skipped
        {"*aab", "aaab", 0, 1},
        {"*!*@*.example.com", "nick!user@host.example.com", 0, 1},
        {"*!*@*.example.com", "nick!user@example.com", 0, 0},
        // question marks
        {"a?c", "abc", 0, 1},
        {"a?c", "ac", 0, 0},
        {"???", "a c", 0, 1},          // '?' also takes a space
        {"?", "ab", 0, 0},
        // case flag
        {"a?c", "ABC", 0, 1},
        {"a?c", "ABC", 1, 0},
        {"A?C", "abc", 0, 1},
        {"A?C", "ABC", 1, 1},
        {"*NICK*", "some nick here", 0, 1},
        {"*NICK*", "some nick here", 1, 0},
        {"\xC3\x9C", "\xC3\xBC", 0, 0}, // bytes above 127 are not folded
        // whole words
        {"hello & world", "hello big world", 0, 1},
        {"hello & world", "hello  world", 0, 0},
        {"hello & world", "hello big bad world", 0, 0},
        {"hello & world", "hello big", 0, 0},
        {"&", "word", 0, 1},
        {"&", "two words", 0, 0},
        {"&", "", 0, 0},
        {"&", " word", 0, 0},
        {"& *", "two words", 0, 1},
        {"& & &", "one two three", 0, 1},
        {"& & &", "one two", 0, 0},
        {"*&", "a b", 0, 1},
        {"* &", "a b", 0, 1},
        {"* &", "a b ", 0, 0},
        {"a&", "abc", 0, 1},           // '&' last: a word right after the 'a'
        {"&x", "&x", 0, 1},            // '&' before another character is plain
        {"&x", "ax", 0, 0},
        {"&*", "&anything", 0, 1},
        {"&*", "word", 0, 0},
        {"!& *", "!cmd rest of line", 0, 1},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(std::string("mask '") + c.mask + "' text '" + c.text + "' case " + std::to_string(c.case_flag));
        EXPECT_EQ(wild_match(c.mask, c.text, c.case_flag, 1), c.expected);
    }
}

// A literal recursive matcher with the depth pruning: every nested try one
// level deeper, a try below the deepest level reached fails at once. The
// iterative matcher must give the same answer on every input.
class PrunedRecursiveMatcher {
public:
    int match(const char* mask, const char* text, int case_flag)
    {
        depth_ = 0;
        deepest_ = 0;
        return run(mask, text, case_flag);
    }

private:
    static char fold(char c, int case_flag)
    {
        return (!case_flag && c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }

    int run(const char* mask, const char* text, int case_flag)
    {
        while (*mask && *mask != '*' && *text) {
            if (*mask == '&' && (mask[1] == ' ' || mask[1] == '\0')) {
                if (*text == ' ')
                    return 0;
                while (*text && *text != ' ')
                    ++text;
                ++mask;
                continue;
            }
            if (*mask != '?' && fold(*mask, case_flag) != fold(*text, case_flag))
                return 0;
            ++mask;
            ++text;
        }
        if (*mask != '*')
            return !*mask && !*text;
        while (*mask == '*')
            ++mask;
        if (!*text)
            return !*mask;
        for (const char* p = text;; ++p) {
            ++depth_;
            int result = 0;
            if (depth_ >= deepest_) {
                deepest_ = depth_;
                result = run(mask, p, case_flag);
            }
            --depth_;
            if (result)
                return 1;
            if (!*p)
                return 0;
        }
    }

    int depth_ = 0;
    int deepest_ = 0;
};

TEST(WildMatch, AgreesWithPrunedRecursionOnRandomInputs)
{
    std::mt19937 rng(20240611);
    const std::string mask_chars = "ab*?& A";
    const std::string text_chars = "abA  ";
    auto random_text = [&](const std::string& alphabet, int max_len) {
        std::string s(std::uniform_int_distribution<int>(0, max_len)(rng), ' ');
        for (char& c : s)
            c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
        return s;
    };
    PrunedRecursiveMatcher reference;
    int matches = 0;
    for (int i = 0; i < 60000; ++i) {
        const std::string mask = random_text(mask_chars, 8);
        const std::string text = random_text(text_chars, 10);
        const int case_flag = i % 2;
        const int expected = reference.match(mask.c_str(), text.c_str(), case_flag);
        matches += expected;
        ASSERT_EQ(wild_match(mask, text, case_flag, 1), expected)
            << "mask '" << mask << "' text '" << text << "' case " << case_flag;
    }
    EXPECT_GT(matches, 1000); // the inputs exercise both answers
}

TEST(WildMatch, HostilePatternsFinishQuickly)
{
    struct Case {
        std::string mask;
        std::string text;
        int expected;
    };
    const std::string many_a(200000, 'a');
    std::string words;
    for (int i = 0; i < 20000; ++i)
        words += "word ";
    std::string fifty_stars;
    for (int i = 0; i < 50; ++i)
        fifty_stars += "*a";
    const Case cases[] = {
        {"*a*a*a*a*a*a*a*b", many_a, 0},
        {"*a*a*a*a*a*a*a*a", many_a, 1},
        {fifty_stars + "*b", many_a, 0},
        {fifty_stars, many_a, 1},
        {"*?*?*?*?*?*?*?*?*b", many_a, 0},
        {"a*a*a*a*a*a*a*a*a*a*a*ab", many_a + "b", 1},
        {"*& *& *& *& *x", words, 0},
        {"*& *& *& *& *d ", words, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        const auto start = thread_cpu_ms();
        EXPECT_EQ(wild_match(c.mask, c.text, 0, 1), c.expected);
        EXPECT_LT(thread_cpu_ms() - start, 1000);   // processor time: the work, not the load
    }
}

// ---------------------------------------------------------------------------
// wild_match_masks
// ---------------------------------------------------------------------------

TEST(WildMatchMasks, Table)
{
    const MatchCase cases[] = {
        {"a*c", "*bc", 0, 1},              // each has a '*' where the other has text
        {"*!*@host.net", "nick!*@*", 0, 1},
        {"a*", "b*", 0, 0},
        {"", "", 0, 1},
        {"", "*", 0, 1},
        {"**", "***", 0, 1},
        {"", "?", 0, 0},
        {"?", "a", 0, 1},
        {"a?c", "?b?", 0, 1},
        {"abc", "abd", 0, 0},
        {"ab", "abc", 0, 0},
        {"a*", "a", 0, 1},
        {"*x", "*y", 0, 0},
        {"*x*", "*y*", 0, 1},
        {"x*y", "*z*", 0, 1},
        {"x*y", "*z", 0, 0},
        {"a", "A", 0, 1},
        {"a", "A", 1, 0},
        {"Nick!*", "nick!*@*", 0, 1},
        {"Nick!*", "nick!*@*", 1, 0},
        {"*Nick!*", "nick!*@*", 1, 1},     // the other '*' can hold "Nick!"
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(std::string("'") + c.mask + "' / '" + c.text + "' case " + std::to_string(c.case_flag));
        EXPECT_EQ(wild_match_masks(c.mask, c.text, c.case_flag), c.expected);
        EXPECT_EQ(wild_match_masks(c.text, c.mask, c.case_flag), c.expected); // symmetric
    }
}

// The plain recursive walk of two masks, every star laid over every remaining
// position of the other mask.
int reference_masks(const char* a, const char* b)
{
    for (;;) {
        if (*a == '*') {
            while (*a == '*')
                ++a;
            for (const char* p = b;; ++p) {
                if (reference_masks(a, p))
                    return 1;
                if (!*p)
                    return 0;
            }
        }
        if (*b == '*') {
            while (*b == '*')
                ++b;
            for (const char* p = a;; ++p) {
                if (reference_masks(p, b))
                    return 1;
                if (!*p)
                    return 0;
            }
        }
        if (!*a || !*b)
            return !*a && !*b;
        if (*a != '?' && *b != '?' && *a != *b)
            return 0;
        ++a;
        ++b;
    }
}

TEST(WildMatchMasks, AgreesWithRecursiveWalkOnRandomMasks)
{
    std::mt19937 rng(77);
    const std::string alphabet = "ab*?";
    auto random_mask = [&] {
        std::string s(std::uniform_int_distribution<int>(0, 7)(rng), ' ');
        for (char& c : s)
            c = alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
        return s;
    };
    int ones = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string a = random_mask();
        const std::string b = random_mask();
        const int expected = reference_masks(a.c_str(), b.c_str());
        ones += expected;
        ASSERT_EQ(wild_match_masks(a, b, 1), expected) << "'" << a << "' / '" << b << "'";
    }
    EXPECT_GT(ones, 1000);
    EXPECT_LT(ones, 19000);
}

TEST(WildMatchMasks, ManyStarsOnBothSidesFinishQuickly)
{
    std::string left, right;
    for (int i = 0; i < 1000; ++i) {
        left += "*a";
        right += "*b";
    }
    const auto start = thread_cpu_ms();
    EXPECT_EQ(wild_match_masks(left + "x", right + "y", 0), 0);
    EXPECT_EQ(wild_match_masks(left + "*", right + "*", 0), 1);
    EXPECT_LT(thread_cpu_ms() - start, 3000);   // processor time: the work, not the load
}

// ---------------------------------------------------------------------------
// mask_address
// ---------------------------------------------------------------------------

struct MaskCase {
    const char* address;
    int type;
    const char* mask;
};

void check_masks(const MaskCase* begin, const MaskCase* end, bool ircx = false)
{
    for (const MaskCase* c = begin; c != end; ++c) {
        SCOPED_TRACE(std::string(c->address) + " type " + std::to_string(c->type));
        std::string buffer = c->address;
        ASSERT_EQ(mask_address(buffer, c->type, ircx), 1);
        EXPECT_EQ(buffer, c->mask);
    }
}

TEST(MaskAddress, AllTypesOnNamedHost)
{
    const char* address = "Nick!~ident@host12.dial3.isp.com";
    const MaskCase cases[] = {
        {address, 0, "*!~ident@host12.dial3.isp.com"},
        {address, 1, "*!*ident@host12.dial3.isp.com"},
        {address, 2, "*!*@host12.dial3.isp.com"},
        {address, 3, "*!*ident@*.dial3.isp.com"},
        {address, 4, "*!*@*.dial3.isp.com"},
        {address, 5, "Nick!~ident@host12.dial3.isp.com"},
        {address, 6, "Nick!*ident@host12.dial3.isp.com"},
        {address, 7, "Nick!*@host12.dial3.isp.com"},
        {address, 8, "Nick!*ident@*.dial3.isp.com"},
        {address, 9, "Nick!*@*.dial3.isp.com"},
        {address, 10, "*!~ident@host??.dial?.isp.com"},
        {address, 11, "*!*ident@host??.dial?.isp.com"},
        {address, 12, "*!*@host??.dial?.isp.com"},
        {address, 13, "*!*ident@host??.dial?.isp.com"},
        {address, 14, "*!*@host??.dial?.isp.com"},
        {address, 15, "Nick!~ident@host??.dial?.isp.com"},
        {address, 16, "Nick!*ident@host??.dial?.isp.com"},
        {address, 17, "Nick!*@host??.dial?.isp.com"},
        {address, 18, "Nick!*ident@host??.dial?.isp.com"},
        {address, 19, "Nick!*@host??.dial?.isp.com"},
        {address, 20, "Nick!~ident@host12.dial3.isp.com"},
        {address, -1, "Nick!~ident@host12.dial3.isp.com"},
    };
    check_masks(std::begin(cases), std::end(cases));
}

TEST(MaskAddress, AllTypesOnNumericHostAndLongUser)
{
    // The user part keeps its last 10 characters, and its last 9 where the
    // form puts a '*' in front of it; a numeric host keeps its digits.
    const char* address = "bob!longusername12@10.1.2.3";
    const MaskCase cases[] = {
        {address, 0, "*!username12@10.1.2.3"},
        {address, 1, "*!*sername12@10.1.2.3"},
        {address, 2, "*!*@10.1.2.3"},
        {address, 3, "*!*sername12@10.1.2.*"},
        {address, 4, "*!*@10.1.2.*"},
        {address, 5, "bob!username12@10.1.2.3"},
        {address, 6, "bob!*sername12@10.1.2.3"},
        {address, 7, "bob!*@10.1.2.3"},
        {address, 8, "bob!*sername12@10.1.2.*"},
        {address, 9, "bob!*@10.1.2.*"},
        {address, 10, "*!username12@10.1.2.3"},
        {address, 11, "*!*sername12@10.1.2.3"},
        {address, 12, "*!*@10.1.2.3"},
        {address, 13, "*!*sername12@10.1.2.*"},
        {address, 14, "*!*@10.1.2.*"},
        {address, 15, "bob!username12@10.1.2.3"},
        {address, 16, "bob!*sername12@10.1.2.3"},
        {address, 17, "bob!*@10.1.2.3"},
        {address, 18, "bob!*sername12@10.1.2.*"},
        {address, 19, "bob!*@10.1.2.*"},
    };
    check_masks(std::begin(cases), std::end(cases));
}

TEST(MaskAddress, UserAndHostRules)
{
    const MaskCase cases[] = {
        // user part
        {"n!~ident@h.d.t", 3, "*!*ident@*.d.t"},
        {"n!~ident@h.d.t", 0, "*!~ident@h.d.t"},
        {"n!~u@h", 1, "*!*u@h"},
        {"n!~@h", 1, "*!*~@h"},                     // a one-character user keeps its first character
        {"n!*@h", 1, "*!*@h"},                      // a user of "*" becomes empty
        {"n!**@h", 6, "n!*@h"},
        {"n!+user@h", 8, "n!*user@h"},
        {"n!^user@h", 5, "n!^user@h"},
        {"n!=abcdefghijkl@h", 6, "n!*defghijkl@h"},
        {"n!=abcdefghijkl@h", 5, "n!cdefghijkl@h"},
        {"n!abcdefghi@h", 1, "*!*abcdefghi@h"},     // exactly nine stays
        // parts cut at their first space
        {"nick name!us er@ho st", 5, "nick!us@ho"},
        // domain forms
        {"n!u@example.com", 4, "*!*@example.com"},
        {"n!u@a.example.com", 4, "*!*@*.example.com"},
        {"n!u@12345", 4, "*!*@12345"},
        {"n!u@1.2", 4, "*!*@1.*"},
        {"n!u@10.*.?.4", 4, "*!*@10.*.?.*"},
        {"n!u@2001:db8::1", 4, "*!*@2001:db8::1"},
        // digits become '?' outside the last two labels
        {"n!u@a1.b2.c.d", 12, "*!*@a?.b?.c.d"},
        {"n!u@a1.b", 12, "*!*@a?.b"},
        {"n!u@a1.b2", 12, "*!*@a?.b?"},
        {"n!u@a1.b2.c3", 14, "*!*@a?.b2.c3"},
        {"n!u@x9.a1.b2.c3", 17, "n!*@x?.a?.b2.c3"},
        // cloaked labels (with '=') are hidden only in the domain forms
        {"n!u@abc=def.isp.com", 4, "*!*@*.isp.com"},
        {"n!u@user.ab=cd.isp.net", 3, "*!*u@*.*.isp.net"},
        {"n!u@host.x=y", 9, "n!*@host.*"},
        {"n!u@x=y", 4, "*!*@*"},
        {"n!u@abc=def.isp.com", 2, "*!*@abc=def.isp.com"},
        {"n!u@abc=def.isp.com", 7, "n!*@abc=def.isp.com"},
        {"n!u@ab1=c.d2.isp.com", 14, "*!*@*.d?.isp.com"},
        {"n!u@1=2.3.4.5", 4, "*!*@*.3.4.*"},
        // "XXX" labels are left alone without an IRCX server
        {"n!u@GUESTXXX1.net", 4, "*!*@GUESTXXX1.net"},
    };
    check_masks(std::begin(cases), std::end(cases));
}

TEST(MaskAddress, MasksLongerThanTheirAddress)
{
    // An empty nick and a one-character user make the mask two characters
    // longer than the address; an empty first host label adds a third.
    const MaskCase cases[] = {
        {"n!u@h", 1, "*!*u@h"},
        {"!u@h", 1, "*!*u@h"},
        {"!u@h", 0, "*!u@h"},
        {"!u@.b.c", 3, "*!*u@*.b.c"},
        {"n!u@.b.c", 8, "n!*u@*.b.c"},
        {"n!u@1.", 4, "*!*@1.*"},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " type " + std::to_string(c.type));
        std::string buffer = c.address;
        ASSERT_EQ(mask_address(buffer, c.type, false), 1);
        EXPECT_EQ(buffer, c.mask);
        EXPECT_GT(buffer.size(), std::string(c.address).size());
    }
}

TEST(MaskAddress, IncompleteAddressGivesZeroAndKeepsBuffer)
{
    const char* addresses[] = {
        "", "nick", "nick!user", "nick@host", "nick!@host", "nick!user@", "user@host!x", "!@",
    };
    for (const char* address : addresses) {
        for (int type : {0, 5, 14}) {
            SCOPED_TRACE(std::string(address) + " type " + std::to_string(type));
            std::string buffer = address;
            EXPECT_EQ(mask_address(buffer, type, false), 0);
            EXPECT_EQ(buffer, address);
        }
    }
}

TEST(MaskAddressIrcx, XxxLabelHiddenOnlyForIrcxServer)
{
    const MaskCase on_ircx[] = {
        {"n!u@GUESTXXX1.net", 4, "*!*@*.net"},
        {"n!u@GUESTXXX1.net", 9, "n!*@*.net"},
        {"n!u@a.b1XXX.c.d", 14, "*!*@a.*.c.d"},
        {"n!u@GUESTXXX1.net", 2, "*!*@GUESTXXX1.net"}, // plain host rows keep it
        {"n!u@a=b.XXX.c", 9, "n!*@*.XXX.c"},          // '=' takes precedence
        {"n!u@guestxxx1.net", 4, "*!*@guestxxx1.net"}, // "XXX" is matched as written
    };
    check_masks(std::begin(on_ircx), std::end(on_ircx), true);

    const MaskCase elsewhere[] = {{"n!u@GUESTXXX1.net", 4, "*!*@GUESTXXX1.net"}, {"n!u@a=b.XXX.c", 9, "n!*@*.XXX.c"}};
    check_masks(std::begin(elsewhere), std::end(elsewhere), false);
}

// ---------------------------------------------------------------------------
// mask_default_ban
// ---------------------------------------------------------------------------

TEST(MaskDefaultBan, CompletesPartialMasks)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"nick!user@host", "nick!user@host"},
        {"nick!user", "nick!user@*"},
        {"user@host", "*!user@host"},
        {"host.example.com", "*!*@host.example.com"},
        {"nick", "nick!*@*"},
        {"!user@", "*!user@*"},
        {"", "*!*@*"},
        {"nick!", "nick!*@*"},
        {"nick!@", "nick!*@*"},
        {"@host", "*!*@host"},
        {"user@", "*!user@*"},
        {"!@", "*!*@*"},
        {"*!*@*", "*!*@*"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        std::string mask = c.in;
        mask_default_ban(mask);
        EXPECT_EQ(mask, c.out);
    }
}

TEST(MaskDefaultBan, ResultKeepsMediumLength)
{
    std::string mask(1100, 'h');
    mask[5] = '.';
    mask_default_ban(mask);
    ASSERT_EQ(mask.size(), 1024u);
    EXPECT_EQ(mask.substr(0, 9), "*!*@hhhhh");
}

} // namespace
