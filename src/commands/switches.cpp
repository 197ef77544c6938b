#include "commands/switches.h"

#include <climits>

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

char SwitchReader::next()
{
    return pos_ < word_.size() ? word_[pos_++] : 0;
}

int SwitchReader::number()
{
    if (pos_ >= word_.size() || !is_digit(word_[pos_]))
        return -1;
    long long v = 0;
    while (pos_ < word_.size() && is_digit(word_[pos_])) {
        if (v < INT_MAX)
            v = v * 10 + (word_[pos_] - '0');
        ++pos_;
    }
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

int SwitchReader::digit()
{
    if (pos_ >= word_.size() || !is_digit(word_[pos_]))
        return -1;
    return word_[pos_++] - '0';
}

bool SwitchReader::signed_number(int& value)
{
    std::size_t at = pos_;
    const bool negative = at < word_.size() && word_[at] == '-';
    if (negative)
        ++at;
    if (at >= word_.size() || !is_digit(word_[at]))
        return false;
    long long v = 0;
    while (at < word_.size() && is_digit(word_[at])) {
        if (v < 100000000)
            v = v * 10 + (word_[at] - '0');
        ++at;
    }
    pos_ = at;
    value = static_cast<int>(negative ? -v : v);
    return true;
}

bool SwitchReader::take_if(char c)
{
    if (pos_ < word_.size() && word_[pos_] == c) {
        ++pos_;
        return true;
    }
    return false;
}

char SwitchReader::take()
{
    return pos_ < word_.size() ? word_[pos_++] : 0;
}
