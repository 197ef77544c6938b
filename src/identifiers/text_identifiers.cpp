#include "identifiers/text_identifiers.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "identifiers/tokens.h"

namespace {

// A written number as the standard conversion reads it: leading blanks, an
// optional sign, digits; anything after the digits is ignored.
long long number_of(const std::string& text)
{
    return std::strtoll(text.c_str(), nullptr, 10);
}

bool is_cs(const IdentCall& call)
{
    const std::string_view word = call.token ? std::string_view(call.token->text) : call.name;
    const std::size_t paren = word.find('(');
    return paren >= 2 && text_find_nocase(word.substr(0, paren + 1), "cs(") != std::string_view::npos;
}

// Finds the pattern at or after `from`, byte for byte or without ASCII case.
std::size_t find_in(std::string_view text, std::string_view pattern, std::size_t from, bool cs)
{
    if (pattern.empty() || from > text.size())
        return std::string_view::npos;
    if (cs)
        return text.find(pattern, from);
    return text_find_nocase(text, pattern, from);
}

std::vector<std::string_view> all_args(const IdentCall& call)
{
    std::vector<std::string_view> out;
    for (int i = 0; i < ident_arg_count(call); ++i)
        out.emplace_back(ident_arg(call, i));
    return out;
}

int id_len(IdentCall& call)
{
    *call.value = std::to_string(ident_arg(call, 0).size());
    return ident_finish(call);
}

int id_left(IdentCall& call)
{
    std::string out;
    text_left(ident_arg(call, 0), ident_arg(call, 1), out);
    return ident_result(call, 0, out);
}

int id_right(IdentCall& call)
{
    std::string out;
    text_right(ident_arg(call, 0), ident_arg(call, 1), out);
    return ident_result(call, 0, out);
}

int id_mid(IdentCall& call)
{
    std::string out;
    const bool has_len = ident_arg_count(call) == 3;
    text_mid(ident_arg(call, 0), ident_arg(call, 1), has_len, ident_arg(call, 2), out);
    return ident_result(call, 0, out);
}

int id_str(IdentCall& call)
{
    std::string out;
    return ident_result(call, text_repeat(ident_arg(call, 0), ident_arg(call, 1), out), out);
}

int id_pos(IdentCall& call)
{
    std::string out;
    text_position(ident_arg(call, 0), ident_arg(call, 1), ident_arg_count(call) == 3,
                  ident_arg(call, 2), is_cs(call), out);
    return ident_result(call, 0, out);
}

int id_count(IdentCall& call)
{
    std::string out;
    text_count(all_args(call), is_cs(call), out);
    return ident_result(call, 0, out);
}

int id_remove(IdentCall& call)
{
    std::string out;
    text_remove_all(all_args(call), is_cs(call), out);
    return ident_result(call, 0, out);
}

int id_replace(IdentCall& call)
{
    if (ident_arg_count(call) % 2 == 0)
        return ident_error(call.token, call.work, 6);
    const std::string_view word = call.token->text;
    const bool at_once = text_find_nocase(word, "replacex") != std::string_view::npos;
    std::string out;
    const int code = at_once ? text_replace_at_once(all_args(call), is_cs(call), out)
                             : text_replace_each(all_args(call), is_cs(call), out);
    return ident_result(call, code, out);
}

int id_case(IdentCall& call, bool upper)
{
    const int r = ident_args_range(call, 1, 1);
    if (r >= 0)
        return r;
    std::string out = ident_arg(call, 0);
    for (char& c : out)
        c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                    : std::tolower(static_cast<unsigned char>(c)));
    return ident_result(call, 0, out);
}

int id_upper(IdentCall& call)
{
    return id_case(call, true);
}

int id_lower(IdentCall& call)
{
    return id_case(call, false);
}

int id_qt(IdentCall& call)
{
    std::string out = ident_arg(call, 0);
    const bool add = text_find_nocase(call.token->text, "noqt(") == std::string::npos;
    if (add)
        text_add_quotes(out);
    else
        text_strip_quotes(out);
    return ident_result(call, 0, out);
}

int id_strip(IdentCall& call)
{
    std::string out;
    if (!(ident_arg_count(call) == 2 && ident_arg(call, 1).empty()))
        text_strip_for_script(ident_arg(call, 0), ident_arg_count(call) == 2, ident_arg(call, 1), out);
    return ident_result(call, 0, out);
}

int id_asc(IdentCall& call)
{
    const std::string& c = ident_arg(call, 0);
    std::string out;
    if (!c.empty())
        out = std::to_string(static_cast<unsigned char>(c[0]));
    return ident_result(call, 0, out);
}

int id_chr(IdentCall& call)
{
    const std::string& n = ident_arg(call, 0);
    std::string out;
    if (!n.empty()) {
        const char c = static_cast<char>(number_of(n) & 0xff);
        if (c)
            out.push_back(c);
    }
    return ident_result(call, 0, out);
}

int id_ord(IdentCall& call)
{
    std::string out;
    text_ordinal(ident_arg(call, 0), out);
    return ident_result(call, 0, out);
}

int id_iscase(IdentCall& call)
{
    const std::string& t = ident_arg(call, 0);
    const bool upper = text_find_nocase(call.token->text, "isupper(") != std::string::npos;
    std::string out;
    if (!t.empty()) {
        bool ok = true;
        for (char ch : t) {
            const int c = static_cast<unsigned char>(ch);
            if (std::isalpha(c) && (upper ? !std::isupper(c) : !std::islower(c))) {
                ok = false;
                break;
            }
        }
        out = ok ? "$true" : "$false";
    }
    return ident_result(call, 0, out);
}

int id_notags(IdentCall& call)
{
    std::string out;
    text_strip_speech_tags(ident_arg(call, 0), out);
    return ident_result(call, 0, out);
}

} // namespace

// ---------------------------------------------------------------------------
// The rules, on plain texts.

void text_strip_speech_tags(std::string_view t, std::string& out)
{
    // Tags with a value run to the next backslash; the two without one are
    // whole words.
    static const char* const kValued[] = {"\\spd=", "\\pit=", "\\vol=", "\\pau=", "\\chr=", "\\ctx="};
    static const char* const kBare[] = {"\\emp\\", "\\rst\\"};
    out.clear();
    std::size_t i = 0;
    while (i < t.size()) {
        bool taken = false;
        if (t[i] == '\\') {
            for (const char* tag : kValued) {
                const std::string_view tv(tag);
                if (t.size() - i >= tv.size() && text_equal_nocase(t.substr(i, tv.size()), tv)) {
                    const std::size_t end = t.find('\\', i + tv.size());
                    i = end == std::string_view::npos ? t.size() : end + 1;
                    taken = true;
                    break;
                }
            }
            if (!taken)
                for (const char* tag : kBare) {
                    const std::string_view tv(tag);
                    if (t.size() - i >= tv.size() && text_equal_nocase(t.substr(i, tv.size()), tv)) {
                        i += tv.size();
                        taken = true;
                        break;
                    }
                }
        }
        if (!taken)
            out.push_back(t[i++]);
    }
}

void text_left(std::string_view t, std::string_view n_text, std::string& out)
{
    out.clear();
    if (t.empty() || n_text.empty())
        return;
    const long long n = number_of(std::string(n_text));
    const long long len = static_cast<long long>(t.size());
    if (n > 0)
        out.assign(t.substr(0, static_cast<std::size_t>(n < len ? n : len)));
    else if (n < 0 && n > -len)
        out.assign(t.substr(0, static_cast<std::size_t>(len + n)));
}

void text_right(std::string_view t, std::string_view n_text, std::string& out)
{
    out.clear();
    if (t.empty() || n_text.empty())
        return;
    const long long n = number_of(std::string(n_text));
    const long long len = static_cast<long long>(t.size());
    if (n > 0)
        out.assign(t.substr(static_cast<std::size_t>(n < len ? len - n : 0)));
    else if (n < 0 && n > -len)
        out.assign(t.substr(static_cast<std::size_t>(-n)));
}

void text_mid(std::string_view t, std::string_view s_text, bool has_len, std::string_view l_text,
              std::string& out)
{
    out.clear();
    if (t.empty() || s_text.empty() || (has_len && l_text.empty()))
        return;
    const long long len = static_cast<long long>(t.size());
    long long s = number_of(std::string(s_text));
    long long start;
    if (s >= 1)
        start = s - 1;
    else if (s == 0)
        start = 0;
    else {
        if (s < -len)
            return;
        start = len + s;
    }
    if (start >= len)
        return;
    long long l = has_len ? number_of(std::string(l_text)) : 9999;
    if (l > 9998)
        l = 9998;
    const std::string_view part = t.substr(static_cast<std::size_t>(start));
    const long long plen = static_cast<long long>(part.size());
    if (l == 0) {
        out = std::to_string(plen);
    } else if (l > 0) {
        out.assign(part.substr(0, static_cast<std::size_t>(l < plen ? l : plen)));
    } else if (l > -plen) {
        out.assign(part.substr(0, static_cast<std::size_t>(plen + l)));
    }
}

int text_repeat(std::string_view t, std::string_view n_text, std::string& out)
{
    out.clear();
    if (t.empty() || n_text.empty())
        return 0;
    const long long n = number_of(std::string(n_text));
    if (n <= 0)
        return 0;
    // Compared by division: a huge count must not overflow the product.
    if (n > static_cast<long long>(kLongText / t.size()))
        return kTokErrTooLong;
    for (long long i = 0; i < n; ++i)
        out.append(t);
    return 0;
}

void text_position(std::string_view t, std::string_view s, bool has_n, std::string_view n_text,
                   bool cs, std::string& out)
{
    out.clear();
    if (t.empty() || s.empty() || (has_n && n_text.empty()))
        return;
    if (!has_n) {
        const std::size_t at = s.size() > t.size() ? std::string_view::npos : find_in(t, s, 0, cs);
        if (at != std::string_view::npos)
            out = std::to_string(at + 1);
        return;
    }
    const long long n = number_of(std::string(n_text));
    long long seen = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = find_in(t, s, from, cs);
        if (at == std::string_view::npos)
            break;
        ++seen;
        if (n >= 1 && seen == n) {
            out = std::to_string(at + 1);
            return;
        }
        from = at + s.size();
    }
    if (n <= 0)
        out = std::to_string(seen);
}

void text_count(const std::vector<std::string_view>& args, bool cs, std::string& out)
{
    long long total = 0;
    const std::string_view t = args.empty() ? std::string_view() : args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view s = args[i];
        if (s.empty())
            continue;
        for (std::size_t at = find_in(t, s, 0, cs); at != std::string_view::npos;
             at = find_in(t, s, at + s.size(), cs))
            ++total;
    }
    out = std::to_string(total);
}

namespace {

// Every occurrence of s in text replaced by r, left to right, resuming
// after each match; 9 when the result would pass the long text size.
int replace_one(std::string& text, std::string_view s, std::string_view r, bool cs, std::string& work)
{
    if (s.empty())
        return 0;
    work.clear();
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = find_in(text, s, from, cs);
        if (at == std::string::npos)
            break;
        if (work.size() + (at - from) + r.size() > kLongText)
            return kTokErrTooLong;
        work.append(text, from, at - from);
        work.append(r);
        from = at + s.size();
    }
    if (from == 0)
        return 0;
    if (work.size() + (text.size() - from) > kLongText)
        return kTokErrTooLong;
    work.append(text, from, std::string::npos);
    text.swap(work);
    return 0;
}

} // namespace

void text_remove_all(const std::vector<std::string_view>& args, bool cs, std::string& out)
{
    out.assign(args.empty() ? std::string_view() : args[0]);
    std::string work;
    for (std::size_t i = 1; i < args.size(); ++i)
        replace_one(out, args[i], {}, cs, work);
}

int text_replace_each(const std::vector<std::string_view>& args, bool cs, std::string& out)
{
    out.assign(args.empty() ? std::string_view() : args[0]);
    std::string work;
    for (std::size_t i = 1; i + 1 < args.size(); i += 2) {
        const int code = replace_one(out, args[i], args[i + 1], cs, work);
        if (code) {
            out.clear();
            return code;
        }
    }
    return 0;
}

int text_replace_at_once(const std::vector<std::string_view>& args, bool cs, std::string& out)
{
    out.clear();
    if (args.empty())
        return 0;
    const std::string_view t = args[0];
    std::size_t i = 0;
    while (i < t.size()) {
        bool replaced = false;
        for (std::size_t k = 1; k + 1 < args.size(); k += 2) {
            const std::string_view s = args[k];
            if (s.empty() || s.size() > t.size() - i)
                continue;
            const std::string_view here = t.substr(i, s.size());
            if (cs ? here == s : text_equal_nocase(here, s)) {
                if (out.size() + args[k + 1].size() > kLongText) {
                    out.clear();
                    return kTokErrTooLong;
                }
                out.append(args[k + 1]);
                i += s.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            if (out.size() + 1 > kLongText) {
                out.clear();
                return kTokErrTooLong;
            }
            out.push_back(t[i++]);
        }
    }
    return 0;
}

void text_ordinal(std::string_view n, std::string& out)
{
    out.assign(n);
    if (n.empty())
        return;
    const char last = n.back();
    if (last < '0' || last > '9')
        return;
    const bool teen = n.size() >= 2 && n[n.size() - 2] == '1';
    if (last == '1' && !teen)
        out += "st";
    else if (last == '2' && !teen)
        out += "nd";
    else if (last == '3' && !teen)
        out += "rd";
    else
        out += "th";
}

void text_strip_for_script(std::string_view t, bool has_switches, std::string_view switches,
                           std::string& out)
{
    out.assign(t);
    int set = kStripBold | kStripUnderline | kStripReverse | kStripColour;
    if (has_switches) {
        set = 0;
        for (char c : switches) {
            switch (text_lower_char(c)) {
            case 'b': set |= kStripBold; break;
            case 'u': set |= kStripUnderline; break;
            case 'r': set |= kStripReverse; break;
            case 'c': set |= kStripColour; break;
            case 't': set |= kStripTab; break;
            case 'm':
            case 'o': set = -1; break;
            default: break;
            }
            if (set < 0)
                break;
        }
    }
    if (set != 0)
        text_strip_codes(out, set);
    text_trim_left_char(out, ' ');
}

void text_identifiers_register()
{
    static const struct {
        const char* family;
        IdentHandler handler;
    } kFamilies[] = {
        {"id_len", id_len},       {"id_left", id_left},     {"id_right", id_right},
        {"id_mid", id_mid},       {"id_str", id_str},       {"id_pos", id_pos},
        {"id_count", id_count},   {"id_remove", id_remove}, {"id_replace", id_replace},
        {"id_upper", id_upper},   {"id_lower", id_lower},   {"id_qt", id_qt},
        {"id_strip", id_strip},   {"id_asc", id_asc},       {"id_chr", id_chr},
        {"id_ord", id_ord},       {"id_iscase", id_iscase}, {"id_notags", id_notags},
    };
    for (const auto& f : kFamilies)
        ident_register_family(f.family, f.handler);
}
