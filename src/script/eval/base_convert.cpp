// Number base conversion and $base.
#include "script/eval/base_convert.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/text_limits.h"
#include "script/eval/calc.h"
#include "script/exec/script_types.h"

namespace {

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The fraction rounded to ten decimal places, half away from zero, as a
// count of 1e-10 units (0 .. 1e10).
std::uint64_t fraction_units(double fraction)
{
    return static_cast<std::uint64_t>(std::trunc(fraction * 1e10 + 0.5));
}

constexpr std::uint64_t kFractionScale = 10000000000ull; // 1e10

} // namespace

char base_digit_char(int value)
{
    if (value >= 0 && value <= 9)
        return static_cast<char>('0' + value);
    if (value >= 10 && value <= 35)
        return static_cast<char>('A' + value - 10);
    return '\0';
}

int calc_base_convert(std::string& text, int from, std::string& out, int to)
{
    calc_math_error_clear();
    out.clear();
    if (from < 2 || from > 36 || to < 2 || to > 36)
        return 0;
    for (char& c : text)
        c = upper(c);

    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    bool negative = false;
    while (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        if (text[pos] == '-')
            negative = !negative;
        ++pos;
    }
    if (from < 36 && text.size() - pos >= 2 && text[pos] == '0' && text[pos + 1] == 'X')
        pos += 2;
    const std::string_view digits = std::string_view(text).substr(pos);
    if (digits.empty())
        return 0;

    // Each digit weighs base to the power of its place: the first one the
    // integer length minus one, each following digit one less. Points after
    // the first are skipped like the first.
    const std::size_t point = digits.find('.');
    const long integer_length = static_cast<long>(point == std::string_view::npos ? digits.size() : point);
    long place = integer_length - 1;
    double value = 0.0;
    for (char c : digits) {
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'Z')
            digit = c - 'A' + 10;
        else if (c == '.')
            continue;
        else
            return 0;
        if (digit != 0)
            value += digit * std::pow(static_cast<double>(from), static_cast<double>(place));
        --place;
    }

    double integer = 0.0;
    const double fraction = std::modf(value, &integer);
    std::uint64_t units = 0;
    if (std::isfinite(value)) {
        units = fraction_units(fraction);
        if (units >= kFractionScale) {
            // The rounding reached the next whole number: carry it, so that no
            // fraction digit can come out equal to the base.
            integer += 1.0;
            units = 0;
        }
    }

    std::string result;
    if (negative)
        result.push_back('-');
    if (!std::isfinite(value) || calc_math_check(integer)) {
        calc_math_error = 1;
        out = "0";
        return 1;
    }
    if (integer == 0.0) {
        result.push_back('0');
    } else {
        std::string reversed;
        const double base = static_cast<double>(to);
        while (integer >= 1.0 && reversed.size() <= kLongText) {
            const double digit = std::fmod(integer, base);
            reversed.push_back(base_digit_char(static_cast<int>(digit)));
            integer = std::floor(integer / base);
        }
        if (calc_math_check(integer)) {
            out = "0";
            return 1;
        }
        result.append(reversed.rbegin(), reversed.rend());
    }
    if (units != 0) {
        // The digits of the rounded fraction, computed exactly on its units
        // so that no rounding noise of the binary fraction shows.
        result.push_back('.');
        const int count = (40 - to) / 2;
        const std::uint64_t base = static_cast<std::uint64_t>(to);
        for (int i = 0; i < count; ++i) {
            units *= base;
            result.push_back(base_digit_char(static_cast<int>(units / kFractionScale)));
            units %= kFractionScale;
        }
    }
    out = std::move(result);
    return 1;
}

int base_convert_text(std::string_view number, int from, int to, bool has_pad, int pad,
                      bool has_precision, int precision, std::string& out)
{
    std::string text(number.substr(0, std::min(number.size(), kLongText)));
    std::string converted;
    out.clear();
    if (!calc_base_convert(text, from, converted, to))
        return 0;

    const bool negative = !converted.empty() && converted[0] == '-';
    std::string_view body = converted;
    if (negative)
        body.remove_prefix(1);
    const std::size_t point = body.find('.');
    std::string integer(body.substr(0, point));
    std::string fraction = point == std::string_view::npos ? std::string() : std::string(body.substr(point + 1));

    if (has_pad) {
        const std::size_t width = static_cast<std::size_t>(std::clamp(pad, 0, 100));
        if (integer.size() < width)
            integer.insert(0, width - integer.size(), '0');
    }
    if (has_precision) {
        const int places = std::min(precision, 10);
        if (places <= 0)
            fraction.clear();
        else if (fraction.size() > static_cast<std::size_t>(places))
            fraction.resize(static_cast<std::size_t>(places));
    }
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();

    if (negative)
        out.push_back('-');
    out += integer;
    if (!fraction.empty()) {
        out.push_back('.');
        out += fraction;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// The $base identifier: N, from, to, [pad], [precision].

namespace {

int id_base(IdentCall& call)
{
    const int r = ident_args_range(call, 3, 5);
    if (r >= 0)
        return r;
    const int count = ident_arg_count(call);
    std::string out;
    base_convert_text(ident_arg(call, 0), calc_read_int(ident_arg(call, 1)),
                      calc_read_int(ident_arg(call, 2)), count >= 4,
                      count >= 4 ? calc_read_int(ident_arg(call, 3)) : 0, count >= 5,
                      count >= 5 ? calc_read_int(ident_arg(call, 4)) : 0, out);
    *call.value = std::move(out);
    return ident_finish(call);
}

} // namespace

void base_convert_register()
{
    ident_register_family("id_base", id_base);
}
