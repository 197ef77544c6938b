// Time and date texts and the online-time counters.
#include "core/time_date.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <vector>

#include "core/text_buffer.h"
#include "core/text_limits.h"

std::string time_stamp_format = "[HH:nn]";
std::string time_log_stamp_format;
int opt_online_timer = 1;
OnlineTime online_time_total;
OnlineTime online_time_first;
OnlineTime online_time_second;
long time_tz_offset = 0;
int time_tz_daylight = 0;

namespace {

std::time_t system_clock_now() { return std::time(nullptr); }
constexpr std::size_t kFormatMax = 1024;

std::time_t now()
{
    return time_clock ? time_clock() : std::time(nullptr);
}

// Weekday and month names always come from the C locale, whatever locale
// the process runs in.
locale_t c_locale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

std::string strftime_c(const char* fmt, const std::tm& tm)
{
    char buf[kShortTextSize];
    const locale_t loc = c_locale();
    std::size_t n = loc ? strftime_l(buf, sizeof buf, fmt, &tm, loc) : std::strftime(buf, sizeof buf, fmt, &tm);
    return std::string(buf, n);
}

bool local_tm(std::time_t t, std::tm& out) { return localtime_r(&t, &out) != nullptr; }

// Leading number of a text (blanks skipped), 0 when there is none.
double leading_number(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string s(text.substr(i, 64));
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(v)) return 0.0;
    return v;
}

long long leading_integer(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string s(text.substr(i, 32));
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (end == s.c_str()) return 0;
    return v;
}

// Value of the leading decimal digits, saturating; 0 when none.
long digits_value(std::string_view s)
{
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        if (v < 100000000) v = v * 10 + (c - '0');
    }
    return v;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An optionally signed decimal number with at most one point and at least
// one digit.
bool is_number_text(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digit = false, point = false;
    if (i >= s.size()) return false;
    for (; i < s.size(); ++i) {
        if (is_digit(s[i]))
            digit = true;
        else if (s[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

std::string fmt_double(const char* fmt, double v)
{
    char buf[400];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string fmt_long_double(const char* fmt, long double v)
{
    char buf[400];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string fmt_int(const char* fmt, long v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// Adds seconds to a counter, carrying at 60; a negative part resets it.
// Returns true when seconds were carried into the minutes.
bool counter_add(int& hours, int& minutes, int& seconds, int add)
{
    long long s = static_cast<long long>(seconds) + add;
    long long m = minutes;
    long long h = hours;
    bool carried = false;
    if (s >= 60) {
        m += s / 60;
        s %= 60;
        carried = true;
    }
    if (m >= 60) {
        h += m / 60;
        m %= 60;
    }
    if (h > INT_MAX) h = INT_MAX;
    if (h < 0 || m < 0 || s < 0) {
        h = m = s = 0;
    }
    hours = static_cast<int>(h);
    minutes = static_cast<int>(m);
    seconds = static_cast<int>(s);
    return carried;
}

// Zone offset texts of time_format_user; `west` is seconds west of GMT.
std::string zone_hours(long west)
{
    if (west < 1) return fmt_int("+%ld", -west / 3600);
    return fmt_int("-%ld", west / 3600);
}

std::string zone_hhmm(long west)
{
    const long a = west < 0 ? -west : west;
    const long value = (a / 3600) * 100 + (a % 3600) / 60;
    return fmt_int(west < 1 ? "+%04ld" : "-%04ld", value);
}

// "oo" after a digit becomes the ordinal suffix of the number.
void ordinal_suffixes(std::string& s)
{
    for (std::size_t k = 1; k + 1 < s.size(); ++k) {
        if (s[k] != 'o' || s[k + 1] != 'o' || !is_digit(s[k - 1])) continue;
        const char d = s[k - 1];
        const bool teen = k >= 2 && s[k - 2] == '1';
        const char* suffix = "th";
        if (!teen && d == '1')
            suffix = "st";
        else if (!teen && d == '2')
            suffix = "nd";
        else if (!teen && d == '3')
            suffix = "rd";
        s[k] = suffix[0];
        s[k + 1] = suffix[1];
        ++k;
    }
}

bool leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int days_in_month(int month, int year)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && leap_year(year)) return 29;
    return kDays[month - 1];
}

std::vector<std::string_view> split_blanks(std::string_view s)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        std::size_t e = i;
        while (e < s.size() && s[e] != ' ') ++e;
        if (e > i) words.push_back(s.substr(i, e - i));
        i = e;
    }
    return words;
}

} // namespace

std::time_t (*time_clock)() = system_clock_now;
Signal<void(bool)> online_time_moved;

void time_set_timezone()
{
    tzset();
    std::tm tm{};
    const std::time_t t = now();
    if (!local_tm(t, tm)) return;
    // glibc keeps the standard offset (seconds west) in `timezone`.
    time_tz_offset = ::timezone;
    time_tz_daylight = tm.tm_isdst > 0 ? 1 : 0;
}

std::string time_ctime_text(std::time_t t)
{
    std::tm tm{};
    if (!local_tm(t, tm)) return std::string();
    std::string s = strftime_c("%a %b %d %X %Y", tm);
    if (s.size() > kShortText) s.resize(kShortText);
    return s;
}

std::string time_ctime_from_text(std::string_view text, bool keep_year)
{
    const long long v = leading_integer(text);
    std::string s = time_ctime_text(static_cast<std::time_t>(v));
    if (!keep_year) {
        const std::size_t sp = s.rfind(' ');
        if (sp != std::string::npos) s.resize(sp);
    }
    return s;
}

long time_elapsed_since(const char* text, int mode)
{
    if (!text || !*text) return 0;
    const std::time_t current = now();
    std::time_t t = static_cast<std::time_t>(leading_integer(text));
    if (t == 0) t = current;
    std::tm tm{};
    if (!local_tm(t, tm)) return 0;
    const std::time_t back = std::mktime(&tm);
    if (back == static_cast<std::time_t>(-1)) return 0;
    if (mode == 1) return static_cast<long>(back);
    const long long diff = static_cast<long long>(current) - static_cast<long long>(back);
    return diff < 0 ? 0 : static_cast<long>(diff);
}

std::string time_duration_short(std::string_view text, double seconds, int kind)
{
    long double v = seconds;
    if (!(v > 0) || !std::isfinite(seconds)) v = leading_number(text);
    v = std::ceil(v);
    const long double total_minutes = std::floor(v / 60 + 0.01L);
    const long double secs = v - total_minutes * 60;
    const long double hours = std::floor(total_minutes / 60 + 0.01L);
    const long double mins = total_minutes - hours * 60;

    std::string out;
    if (kind == 2) {
        out = fmt_long_double("%02.0Lf", hours) + ":" + fmt_long_double("%02.0Lf", mins);
    } else if (kind != 0 && kind != 3) {
        out = fmt_long_double("%02.0Lf", hours) + ":" + fmt_long_double("%02.0Lf", mins) + ":" +
              fmt_long_double("%02.0Lf", secs);
    } else {
        const char* gap = kind == 3 ? " " : "";
        auto part = [&](long double value, const char* one, const char* many) {
            if (!out.empty()) out += ' ';
            out += fmt_long_double("%0.0Lf", value);
            out += gap;
            out += value == 1 ? one : many;
        };
        if (hours > 0) part(hours, "hr", "hrs");
        if (mins > 0) part(mins, "min", "mins");
        if (secs > 0 || out.empty()) part(secs, "sec", "secs");
    }
    if (out.size() > kShortText) out.resize(kShortText);
    return out;
}

void time_duration_text(std::string_view input, std::string& output, int kind)
{
    output.clear();
    if (is_number_text(input)) {
        double v = std::ceil(leading_number(input));
        const double weeks = std::floor(v / 604800 + 0.01);
        v -= weeks * 604800;
        const double days = std::floor(v / 86400 + 0.01);
        v -= days * 86400;
        const double hours = std::floor(v / 3600 + 0.01);
        v -= hours * 3600;
        const double mins = std::floor(v / 60 + 0.01);
        const double secs = v - mins * 60;
        if (kind == 3) {
            output = fmt_double("%02.0f", hours + weeks * 168 + days * 24) + ":" + fmt_double("%02.0f", mins) +
                     ":" + fmt_double("%02.0f", secs);
            return;
        }
        auto part = [&](double value, const char* one, const char* many_fmt) {
            if (value == 0) return;
            if (!output.empty()) output += ' ';
            output += value == 1 ? std::string(one) : fmt_double(many_fmt, value);
        };
        part(weeks, "1wk", "%0.0fwks");
        part(days, "1day", "%0.0fdays");
        part(hours, "1hr", "%0.0fhrs");
        part(mins, "1min", "%0.0fmins");
        if (secs != 0)
            part(secs, "1sec", "%0.0fsecs");
        else if (output.empty())
            output = fmt_double("%0.0fsecs", 0.0);
        return;
    }

    double total = 0;
    if (input.find(':') == std::string_view::npos) {
        // Words: "1wk 2days 3h".
        for (std::string_view word : split_blanks(input)) {
            if (!is_digit(word[0])) continue;
            const std::size_t at = static_cast<std::size_t>(word.data() - input.data());
            std::size_t p = at;
            while (p < input.size() && (is_digit(input[p]) || input[p] == '.')) ++p;
            const double value = leading_number(input.substr(at, p - at));
            while (p < input.size() && input[p] == ' ') ++p;
            const char unit = p < input.size() ? text_lower_char(input[p]) : 0;
            double mult = 0;
            switch (unit) {
            case 'w': mult = 604800; break;
            case 'd': mult = 86400; break;
            case 'h': mult = 3600; break;
            case 'm': mult = 60; break;
            case 's': mult = 1; break;
            default: break;
            }
            total += value * mult;
        }
    } else {
        // A clock text, read from the right: seconds, minutes, hours, days,
        // weeks; further fields count 0.
        static const double kMult[5] = {1, 60, 3600, 86400, 604800};
        std::vector<std::string_view> fields;
        std::size_t p = 0;
        for (;;) {
            const std::size_t colon = input.find(':', p);
            fields.push_back(input.substr(p, colon == std::string_view::npos ? std::string_view::npos : colon - p));
            if (colon == std::string_view::npos) break;
            p = colon + 1;
        }
        for (std::size_t k = 0; k < fields.size() && k < 5; ++k)
            total += leading_number(fields[fields.size() - 1 - k]) * kMult[k];
    }
    output = fmt_double("%0.0f", total);
}

int time_format_user(std::time_t t, std::string& fmt, int gmt)
{
    std::tm tm{};
    const bool ok = gmt == 1 ? gmtime_r(&t, &tm) != nullptr : localtime_r(&t, &tm) != nullptr;
    if (!ok) {
        fmt.clear();
        return 0;
    }
    // The offset of the local zone in force at that time (summer time
    // included).
    long west = time_tz_offset;
    {
        std::tm lt{};
        if (localtime_r(&t, &lt)) west = -lt.tm_gmtoff;
    }

    std::string out;
    const std::string& f = fmt;
    std::size_t i = 0;
    while (i < f.size() && out.size() < kFormatMax) {
        const char c = f[i];
        std::size_t run = 1;
        const bool zone = c == 'z' || c == 'Z';
        while (i + run < f.size() && (zone ? (f[i + run] == 'z' || f[i + run] == 'Z') : f[i + run] == c)) ++run;
        std::size_t used = 1;
        switch (c) {
        case 'H':
            used = std::min<std::size_t>(run, 2);
            out += fmt_int(used == 2 ? "%02ld" : "%ld", tm.tm_hour);
            break;
        case 'h': {
            used = std::min<std::size_t>(run, 2);
            const long h12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
            out += fmt_int(used == 2 ? "%02ld" : "%ld", h12);
            break;
        }
        case 'n':
            used = std::min<std::size_t>(run, 2);
            out += fmt_int(used == 2 ? "%02ld" : "%ld", tm.tm_min);
            break;
        case 's':
            used = std::min<std::size_t>(run, 2);
            out += fmt_int(used == 2 ? "%02ld" : "%ld", tm.tm_sec);
            break;
        case 't':
        case 'T': {
            used = std::min<std::size_t>(run, 2);
            const bool pm = tm.tm_hour >= 12;
            std::string s = used == 2 ? (pm ? "pm" : "am") : (pm ? "p" : "a");
            if (c == 'T')
                for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            out += s;
            break;
        }
        case 'd':
            used = std::min<std::size_t>(run, 4);
            if (used == 1)
                out += fmt_int("%ld", tm.tm_mday);
            else if (used == 2)
                out += fmt_int("%02ld", tm.tm_mday);
            else
                out += strftime_c(used == 3 ? "%a" : "%A", tm);
            break;
        case 'm':
            used = std::min<std::size_t>(run, 4);
            if (used == 1)
                out += fmt_int("%ld", tm.tm_mon + 1);
            else if (used == 2)
                out += fmt_int("%02ld", tm.tm_mon + 1);
            else
                out += strftime_c(used == 3 ? "%b" : "%B", tm);
            break;
        case 'y': {
            const long year = static_cast<long>(tm.tm_year) + 1900;
            if (run >= 4) {
                used = 4;
                out += fmt_int("%04ld", year);
            } else if (run >= 2) {
                used = 2;
                out += fmt_int("%02ld", ((year % 100) + 100) % 100);
            } else {
                out += 'y';
            }
            break;
        }
        case 'z':
        case 'Z':
            used = std::min<std::size_t>(run, 3);
            if (used == 1) {
                out += zone_hours(west);
            } else {
                out += zone_hhmm(west);
                if (used == 3) out += " GMT";
            }
            break;
        default:
            out += c;
            break;
        }
        i += used;
    }
    if (out.size() > kFormatMax) out.resize(kFormatMax);
    ordinal_suffixes(out);
    fmt = std::move(out);
    return fmt.empty() ? 0 : 1;
}

void time_parse_date(std::string_view text, std::string& output)
{
    output.clear();
    std::string lower(text.substr(0, kLongText));
    text_lower(lower);

    long year = 0, month = 0, day = 0;
    bool have_year = false, have_day = false;
    bool have_time = false;
    long hh = 0, mm = 0, ss = 0;
    static const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                            "jul", "aug", "sep", "oct", "nov", "dec"};

    for (std::string_view w : split_blanks(lower)) {
        const bool all_digits = w.find_first_not_of("0123456789") == std::string_view::npos;
        if (all_digits) {
            const long v = digits_value(w);
            if (v <= 0) return;
            if (v > 31) {
                if (!have_year) {
                    year = v;
                    have_year = true;
                }
            } else if (!have_day) {
                day = v;
                have_day = true;
            }
        } else if (is_digit(w[0]) && (w.find("st") != std::string_view::npos || w.find("nd") != std::string_view::npos ||
                                      w.find("rd") != std::string_view::npos || w.find("th") != std::string_view::npos)) {
            const long v = digits_value(w);
            if (v < 1 || v > 31) return;
            day = v;
            have_day = true;
        } else if (w.find(':') != std::string_view::npos) {
            const std::size_t c1 = w.find(':');
            const std::size_t c2 = w.find(':', c1 + 1);
            const std::string_view hs = w.substr(0, c1);
            const std::string_view ms =
                c2 == std::string_view::npos ? w.substr(c1 + 1) : w.substr(c1 + 1, c2 - c1 - 1);
            if (hs.empty() || ms.empty()) return;
            hh = digits_value(hs);
            mm = digits_value(ms);
            ss = 0;
            std::string_view last = ms;
            if (c2 != std::string_view::npos) {
                last = w.substr(c2 + 1);
                ss = digits_value(last);
            }
            if (last.find("am") != std::string_view::npos) {
                if (hh == 12) hh = 0;
            } else if (last.find("pm") != std::string_view::npos) {
                if (hh < 12) hh += 12;
            }
            have_time = true;
        } else if (w.size() >= 2 && (w.substr(0, 2) == "am" || w.substr(0, 2) == "pm")) {
            if (have_time) {
                if (w[0] == 'a' && hh == 12) hh = 0;
                if (w[0] == 'p' && hh < 12) hh += 12;
            }
        } else if (w.find_first_of(".-/\\") != std::string_view::npos) {
            long nums[3] = {0, 0, 0};
            int count = 0;
            std::size_t p = 0;
            for (;;) {
                const std::size_t sep = w.find_first_of(".-/\\", p);
                const std::string_view part = w.substr(p, sep == std::string_view::npos ? std::string_view::npos : sep - p);
                if (count >= 3) return;
                nums[count++] = digits_value(part);
                if (sep == std::string_view::npos) break;
                p = sep + 1;
            }
            if (count < 2 || nums[0] < 1 || nums[1] < 1) return;
            if (count == 3) {
                if (nums[0] > 31) {
                    year = nums[0];
                    month = nums[1];
                    day = nums[2];
                } else {
                    day = nums[0];
                    month = nums[1];
                    year = nums[2];
                    if (year < 1)
                        year = 2000;
                    else if (year <= 38)
                        year += 2000;
                }
                have_year = true;
            } else {
                day = nums[0];
                month = nums[1];
            }
            have_day = true;
        } else if (w[0] >= 'a' && w[0] <= 'z') {
            if (w.size() >= 3)
                for (int k = 0; k < 12; ++k)
                    if (w.substr(0, 3) == kMonths[k]) month = k + 1;
        }
        if (have_time && (hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59)) return;
    }

    if (year < 1970) {
        if (year > 99) return;
        year += 1900;
    }
    if (month < 1 || month > 12) return;
    if (day < 1 || day > days_in_month(static_cast<int>(month), static_cast<int>(year))) return;
    if (!have_time) {
        std::tm cur{};
        if (!local_tm(now(), cur)) return;
        hh = cur.tm_hour;
        mm = cur.tm_min;
        ss = cur.tm_sec > 59 ? 59 : cur.tm_sec;
    }
    // One second ahead, so that the last second before 1970 cannot be
    // mistaken for the failure value; taken back at the end.
    ++ss;
    if (ss == 60) {
        ss = 0;
        if (++mm == 60) {
            mm = 0;
            if (++hh == 24) {
                hh = 0;
                ++day; // mktime carries into the month
            }
        }
    }
    std::tm tm{};
    tm.tm_year = static_cast<int>(year - 1900);
    tm.tm_mon = static_cast<int>(month - 1);
    tm.tm_mday = static_cast<int>(day);
    tm.tm_hour = static_cast<int>(hh);
    tm.tm_min = static_cast<int>(mm);
    tm.tm_sec = static_cast<int>(ss);
    tm.tm_isdst = -1;
    const std::time_t first = std::mktime(&tm);
    if (first == static_cast<std::time_t>(-1)) return;
    std::tm again{};
    if (!local_tm(first, again)) return;
    const std::time_t back = std::mktime(&again);
    if (back == static_cast<std::time_t>(-1)) return;
    const long long result = static_cast<long long>(back) - 1;
    if (result < 0) return;
    output = std::to_string(result);
}

void time_stamp_text(std::string& output, int kind)
{
    output.clear();
    if (time_stamp_format.empty()) time_stamp_format = "[HH:nn]";
    if (time_log_stamp_format.empty()) time_log_stamp_format = time_stamp_format;
    switch (kind) {
    case 0: output = time_stamp_format; return;
    case 2: output = time_log_stamp_format; return;
    case 1:
    case 3: {
        const std::time_t t = now();
        output = kind == 1 ? time_stamp_format : time_log_stamp_format;
        if (time_format_user(t, output, 0)) return;
        std::tm tm{};
        if (local_tm(t, tm)) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "[%02d:%02d]", tm.tm_hour, tm.tm_min);
            output = buf;
        } else {
            output.clear();
        }
        return;
    }
    default: return;
    }
}

void online_time_add_connection(int seconds, int& hours, int& minutes, int& secs)
{
    if (!opt_online_timer) return;
    const bool carried = counter_add(hours, minutes, secs, seconds);
    counter_add(online_time_first.hours, online_time_first.minutes, online_time_first.seconds, seconds);
    online_time_moved.fire(carried);
}

void online_time_add(int seconds)
{
    if (!opt_online_timer) return;
    const bool carried =
        counter_add(online_time_total.hours, online_time_total.minutes, online_time_total.seconds, seconds);
    counter_add(online_time_second.hours, online_time_second.minutes, online_time_second.seconds, seconds);
    online_time_moved.fire(carried);
}
