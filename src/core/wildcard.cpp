#include "core/wildcard.h"

#include <cstdint>
#include <vector>

#include "core/text_buffer.h"
#include "core/text_limits.h"

namespace {

inline unsigned char lower_byte(unsigned char c)
{
    return static_cast<unsigned char>(text_lower_char(static_cast<char>(c)));
}

inline bool same_char(char a, char b, int case_flag)
{
    if (case_flag)
        return a == b;
    return lower_byte(static_cast<unsigned char>(a)) == lower_byte(static_cast<unsigned char>(b));
}

inline bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

std::string cut_at_space(std::string_view part)
{
    const std::size_t space = part.find(' ');
    return std::string(space == std::string_view::npos ? part : part.substr(0, space));
}

std::string last_chars(const std::string& text, std::size_t count)
{
    return text.size() > count ? text.substr(text.size() - count) : text;
}

// Replaces the dot-separated label that holds position `pos` by a single '*'.
void replace_label_with_star(std::string& host, std::size_t pos)
{
    const std::size_t dot_before = host.rfind('.', pos);
    const std::size_t start = dot_before == std::string::npos ? 0 : dot_before + 1;
    const std::size_t end = host.find('.', pos);
    std::string result = host.substr(0, start);
    result += '*';
    if (end != std::string::npos)
        result += host.substr(end);
    host = std::move(result);
}

// Hides the label of a cloaked host: the one holding '=' or, on an IRCX
// server, the one holding "XXX".
void hide_cloaked_label(std::string& host, bool ircx)
{
    std::size_t pos = host.find('=');
    if (pos == std::string::npos) {
        if (!ircx)
            return;
        pos = host.find("XXX");
        if (pos == std::string::npos)
            return;
    }
    replace_label_with_star(host, pos);
}

bool is_numeric_host(const std::string& host)
{
    for (char c : host) {
        if (!is_digit(c) && c != '.' && c != '*' && c != '?')
            return false;
    }
    return true;
}

// Digits become '?', except in the last two labels of a host with two or
// more dots.
std::string digits_to_question_marks(const std::string& host)
{
    std::size_t dots = 0;
    for (char c : host)
        dots += c == '.';
    std::string result = host;
    std::size_t seen = 0;
    for (char& c : result) {
        if (c == '.') {
            ++seen;
            if (dots >= 2 && dots - seen == 1)
                break;
        } else if (is_digit(c)) {
            c = '?';
        }
    }
    return result;
}

std::string domain_form(const std::string& host, bool question_digits)
{
    if (is_numeric_host(host)) {
        const std::size_t last_dot = host.rfind('.');
        if (last_dot == std::string::npos)
            return host;
        return host.substr(0, last_dot) + ".*";
    }
    if (question_digits)
        return digits_to_question_marks(host);
    const std::size_t first_dot = host.find('.');
    if (first_dot != std::string::npos && host.find('.', first_dot + 1) != std::string::npos)
        return "*." + host.substr(first_dot + 1);
    return host;
}

// Search state of wild_match_masks: a plain position pair, or a '*' of the
// first (second) mask being laid over successive positions of the other one.
enum MaskStateKind : std::uint8_t { kPlain = 1, kFirstStar = 2, kSecondStar = 4 };

struct MaskState {
    std::uint32_t i;
    std::uint32_t j;
    MaskStateKind kind;
};

} // namespace

int wild_match(std::string_view mask, std::string_view text, int case_flag, int /*outer_call*/)
{
    const std::size_t mask_len = mask.size();
    const std::size_t text_len = text.size();
    std::size_t m = 0;
    std::size_t t = 0;
    bool have_star = false;
    std::size_t star_mask = 0; // mask position after the latest run of stars
    std::size_t star_text = 0; // text position its current try started at

    for (;;) {
        bool failed = false;
        while (m < mask_len && mask[m] != '*' && t < text_len) {
            const char mc = mask[m];
            if (mc == '?') {
                ++m;
                ++t;
            } else if (mc == '&' && (m + 1 == mask_len || mask[m + 1] == ' ')) {
                if (text[t] == ' ') {
                    failed = true;
                    break;
                }
                while (t < text_len && text[t] != ' ')
                    ++t;
                ++m;
            } else if (same_char(mc, text[t], case_flag)) {
                ++m;
                ++t;
            } else {
                failed = true;
                break;
            }
        }
        if (!failed) {
            if (m < mask_len && mask[m] == '*') {
                while (m < mask_len && mask[m] == '*')
                    ++m;
                if (m == mask_len)
                    return 1;
                if (t < text_len) {
                    // A later star takes over; earlier ones are never re-extended.
                    have_star = true;
                    star_mask = m;
                    star_text = t;
                    continue;
                }
                // Text exhausted before the rest of the mask: this try fails.
            } else if (m == mask_len && t == text_len) {
                return 1;
            }
        }
        // This try failed: the latest star takes one more character. A try
        // at the very end of the text cannot match the (non-empty) rest.
        if (!have_star)
            return 0;
        ++star_text;
        if (star_text >= text_len)
            return 0;
        m = star_mask;
        t = star_text;
    }
}

int wild_match_masks(std::string_view mask1, std::string_view mask2, int case_flag)
{
    if (mask1.size() > kLongText)
        mask1 = mask1.substr(0, kLongText);
    if (mask2.size() > kLongText)
        mask2 = mask2.substr(0, kLongText);
    const std::size_t n = mask1.size();
    const std::size_t m = mask2.size();

    // Every state is visited once, so the search is bounded by the number of
    // position pairs however many stars the masks hold.
    std::vector<std::uint8_t> visited;
    if (mask1.find('*') != std::string_view::npos || mask2.find('*') != std::string_view::npos)
        visited.assign((n + 1) * (m + 1), 0);

    std::vector<MaskState> stack;
    stack.push_back({0, 0, kPlain});
    while (!stack.empty()) {
        const MaskState state = stack.back();
        stack.pop_back();
        const std::size_t i = state.i;
        const std::size_t j = state.j;
        if (!visited.empty()) {
            std::uint8_t& seen = visited[i * (m + 1) + j];
            if (seen & state.kind)
                continue;
            seen |= state.kind;
        }
        switch (state.kind) {
        case kFirstStar:
            stack.push_back({state.i, state.j, kPlain});
            if (j < m)
                stack.push_back({state.i, state.j + 1, kFirstStar});
            break;
        case kSecondStar:
            stack.push_back({state.i, state.j, kPlain});
            if (i < n)
                stack.push_back({state.i + 1, state.j, kSecondStar});
            break;
        case kPlain:
            if (i < n && mask1[i] == '*') {
                std::size_t after = i;
                while (after < n && mask1[after] == '*')
                    ++after;
                stack.push_back({static_cast<std::uint32_t>(after), state.j, kFirstStar});
            } else if (j < m && mask2[j] == '*') {
                std::size_t after = j;
                while (after < m && mask2[after] == '*')
                    ++after;
                stack.push_back({state.i, static_cast<std::uint32_t>(after), kSecondStar});
            } else if (i == n || j == m) {
                if (i == n && j == m)
                    return 1;
            } else if (mask1[i] == '?' || mask2[j] == '?' || same_char(mask1[i], mask2[j], case_flag)) {
                stack.push_back({state.i + 1, state.j + 1, kPlain});
            }
            break;
        }
    }
    return 0;
}

int mask_address(std::string& address, int type, bool ircx)
{
    const std::size_t bang = address.find('!');
    if (bang == std::string::npos)
        return 0;
    const std::size_t at = address.find('@', bang + 1);
    if (at == std::string::npos)
        return 0;
    const std::string_view whole(address);
    if (at == bang + 1 || at + 1 == whole.size())
        return 0;
    const std::string nick = cut_at_space(whole.substr(0, bang));
    std::string user = cut_at_space(whole.substr(bang + 1, at - bang - 1));
    const std::string host = cut_at_space(whole.substr(at + 1));

    const bool question_digits = type >= 10 && type <= 19;
    const int row = (type >= 0 && type <= 9) ? type : question_digits ? type - 10 : 5;
    const bool star_user = row == 1 || row == 3 || row == 6 || row == 8;
    const bool domain_row = row == 3 || row == 4 || row == 8 || row == 9;

    if (star_user && user.size() > 1 && std::string_view("*+-=^~").find(user[0]) != std::string_view::npos)
        user.erase(0, 1);
    user = last_chars(user, 10);
    if (star_user) {
        user = last_chars(user, 9);
        if (user == "*")
            user.clear();
    }

    std::string plain = host;
    if (question_digits && !is_numeric_host(host))
        plain = digits_to_question_marks(host);
    std::string domain;
    if (domain_row) {
        std::string hidden = host;
        hide_cloaked_label(hidden, ircx);
        domain = domain_form(hidden, question_digits);
    }

    std::string mask;
    switch (row) {
    case 0: mask = "*!" + user + "@" + plain; break;
    case 1: mask = "*!*" + user + "@" + plain; break;
    case 2: mask = "*!*@" + plain; break;
    case 3: mask = "*!*" + user + "@" + domain; break;
    case 4: mask = "*!*@" + domain; break;
    case 6: mask = nick + "!*" + user + "@" + plain; break;
    case 7: mask = nick + "!*@" + plain; break;
    case 8: mask = nick + "!*" + user + "@" + domain; break;
    case 9: mask = nick + "!*@" + domain; break;
    default: mask = nick + "!" + user + "@" + plain; break;
    }
    address = std::move(mask);
    return 1;
}

void mask_default_ban(std::string& mask)
{
    const auto filled = [](std::string_view part) { return part.empty() ? std::string("*") : std::string(part); };
    const std::string_view text(mask);
    std::string result;
    const std::size_t bang = text.find('!');
    if (bang != std::string_view::npos) {
        const std::string_view rest = text.substr(bang + 1);
        const std::size_t at = rest.find('@');
        const std::string_view user = at == std::string_view::npos ? rest : rest.substr(0, at);
        const std::string_view host = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
        result = filled(text.substr(0, bang)) + "!" + filled(user) + "@" + filled(host);
    } else if (const std::size_t at = text.find('@'); at != std::string_view::npos) {
        result = "*!" + filled(text.substr(0, at)) + "@" + filled(text.substr(at + 1));
    } else if (text.find('.') != std::string_view::npos) {
        result = "*!*@" + std::string(text);
    } else {
        result = filled(text) + "!*@*";
    }
    if (result.size() > kMediumText)
        result.resize(kMediumText);
    mask = std::move(result);
}
