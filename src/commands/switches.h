// Reading a command's switch word ("-abc", "-e2", "-n-15"): one letter at a
// time, with the digits or characters a letter takes right after it.
//
//     SwitchReader r(word);
//     while (char c = r.next())
//         switch (c) { case 'e': { const int n = r.number(); ... } }
//
// The reader only walks the word: which letters count, what a repeated or an
// unknown letter means and whether a word is a switch word at all is the
// command's own affair.
#pragma once

#include <cstddef>
#include <string_view>

class SwitchReader {
public:
    // The word with its leading '-' (an empty word has no letters).
    explicit SwitchReader(std::string_view word) : word_(word), pos_(word.empty() ? 0 : 1) {}

    // The next letter, or 0 at the end of the word.
    char next();
    // The digits right after the letter, held to 2147483647; -1 without any.
    int number();
    // One digit right after the letter (0..9); -1 without one.
    int digit();
    // An optional minus and digits right after the letter (at most nine
    // digits count, the rest are read past); false without a digit.
    bool signed_number(int& value);
    // The character right after the letter when it is `c`: read past it.
    bool take_if(char c);
    // The character right after the letter, read past; 0 at the end.
    char take();

private:
    std::string_view word_;
    std::size_t pos_;
};
