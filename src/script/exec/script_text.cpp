#include "script/exec/script_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "script/exec/script_types.h"

namespace {

// ";" or "rem" followed by a blank or the end.
bool is_comment_start(std::string_view t)
{
    if (!t.empty() && t[0] == ';')
        return true;
    if (t.size() >= 3 && text_lower_char(t[0]) == 'r' && text_lower_char(t[1]) == 'e' &&
        text_lower_char(t[2]) == 'm')
        return t.size() == 3 || t[3] == ' ';
    return false;
}

bool starts_word_nocase(std::string_view t, std::string_view word)
{
    if (t.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (text_lower_char(t[i]) != word[i])
            return false;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Script text scanning.

int script_line_comment_kind(std::string_view text, int* block_counter)
{
    std::string_view t = text.substr(text_skip_blanks(text, 0));
    if (block_counter) {
        if (t.size() >= 2 && t[0] == '/' && t[1] == '*') {
            ++*block_counter;
            return 2;
        }
        if (t.size() >= 2 && t[0] == '*' && t[1] == '/') {
            if (*block_counter > 0) {
                --*block_counter;
                return 3;
            }
            return 0;
        }
        if (*block_counter > 0)
            return 4;
    }
    return is_comment_start(t) ? 1 : 0;
}

int script_line_comment_state(StringNode* first)
{
    int counter = 0;
    int state = 0;
    for (StringNode* n = first; n; n = n->next) {
        state = script_line_comment_kind(n->text, &counter);
        n->extra[kLineComment] = state;
    }
    return state;
}

std::size_t script_line_skip_prefix(std::string_view text, int* no_alias, int* show)
{
    // Most commands begin with their word: no blank, prefix or comment.
    if (!text.empty()) {
        const char c = text[0];
        if (c != ' ' && c != '/' && c != '!' && c != '.' && c != ';' && c != 'r' && c != 'R')
            return 0;
    }
    std::size_t i = text_skip_blanks(text, 0);
    if (i < text.size() && text[i] == '/') {
        ++i;
        if (i < text.size() && text[i] == '/')
            ++i;
    }
    if (i < text.size() && text[i] == '!') {
        if (no_alias)
            *no_alias = 1;
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        if (show)
            *show = 0;
        ++i;
    }
    if (i < text.size() && text[i] == ' ')
        return text.size();
    if (is_comment_start(text.substr(i)))
        return text.size();
    return i;
}

// Braces count only where they stand as words: a "{" at the start or after
// a blank or ":", a "}" at the start or after a blank. A brace that ends the
// text returns at once. In normal mode a "}" that closes the outermost block
// (or would go below 0) returns 0 at once; in strict mode going below 0
// returns -1.
int script_brace_depth(std::string_view text, int depth, int strict)
{
    std::size_t start = text_skip_blanks(text, 0);
    if (is_comment_start(text.substr(start)))
        return depth;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c == '{' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == ':')) {
            if (i + 1 == n)
                return depth + 1;
            if (text[i + 1] == ' ')
                ++depth;
        } else if (c == '}' && (i == 0 || text[i - 1] == ' ')) {
            if (i + 1 == n)
                return depth - 1;
            if (text[i + 1] == ' ') {
                if (strict) {
                    if (depth - 1 < 0)
                        return -1;
                    --depth;
                } else {
                    if (depth <= 1)
                        return 0;
                    --depth;
                }
            }
        }
    }
    return depth;
}

std::vector<ScriptPiece> script_split_commands(std::string_view line, int depth_before,
                                               int comment_state, int* ok)
{
    std::vector<ScriptPiece> pieces;
    if (ok)
        *ok = 1;
    std::string_view text = line.substr(0, std::min(line.size(), kLongText));
    if (text_skip_blanks(text, 0) >= text.size()) {
        if (ok)
            *ok = 2;
        return pieces;
    }
    int counter = (comment_state == 3 || comment_state == 4) ? 1 : 0;
    int depth = depth_before;
    const std::size_t n = text.size();
    std::size_t start = text_skip_blanks(text, 0);

    auto emit_piece = [&](std::size_t from, std::size_t to) {
        from = text_skip_blanks(text, from);
        if (from >= to)
            return;
        std::string_view p = text.substr(from, to - from);
        if ((p[0] == '{' || p[0] == '}') && text_skip_blanks(p, 1) >= p.size())
            p = p.substr(0, 1);
        ScriptPiece piece;
        piece.text.assign(p);
        piece.comment = script_line_comment_kind(p, &counter);
        if (piece.comment == 0)
            depth = script_brace_depth(p, depth, 0);
        piece.depth = depth;
        pieces.push_back(std::move(piece));
    };
    // Whether the piece starting at `from` is a comment (without touching
    // the running block counter).
    auto piece_is_comment = [&](std::size_t from) {
        int c = counter;
        return script_line_comment_kind(text.substr(from), &c) != 0;
    };

    bool comment = piece_is_comment(start);
    std::size_t i = start;
    while (i < n) {
        if (text[i] == ' ' && i + 2 < n && text[i + 1] == '|' && text[i + 2] == ' ') {
            emit_piece(start, i);
            start = text_skip_blanks(text, i + 3);
            comment = start < n && piece_is_comment(start);
            i = start;
            continue;
        }
        if (!comment && text[i] == ' ' && i + 2 < n && text[i + 1] == '{' && text[i + 2] == ' ') {
            std::size_t w = text_skip_blanks(text, i + 3);
            std::string_view next = text.substr(w);
            bool cut = (next.size() >= 2 && next[0] == ':' && next[1] != ' ') ||
                       starts_word_nocase(next, "if ") || starts_word_nocase(next, "while ");
            if (cut) {
                emit_piece(start, i + 2);
                start = w;
                comment = start < n && piece_is_comment(start);
                i = start;
                continue;
            }
        }
        if (!comment && text[i] == ' ' && i + 1 < n && text[i + 1] == '}' &&
            (i + 2 == n || text[i + 2] == ' ')) {
            emit_piece(start, i);
            start = i + 1;
            comment = false;
            i = start + 1;
            continue;
        }
        ++i;
    }
    emit_piece(start, n);
    if (pieces.empty() && ok)
        *ok = 2;
    return pieces;
}

int script_brace_mismatch_line(const StringNode* first)
{
    int depth = 0;
    int number = 0;
    int counter = 0;
    int count = 0;
    for (const StringNode* n = first; n; n = n->next) {
        ++number;
        ++count;
        if (script_line_comment_kind(n->text, &counter) != 0)
            continue;
        depth = script_brace_depth(n->text, depth, 1);
        if (depth < 0)
            return number;
    }
    if (depth == 0)
        return 0;
    // Blocks left open: walk back from the last line to the line where the
    // count, taken backwards, turns positive (the unclosed "{").
    std::vector<const StringNode*> lines;
    lines.reserve(count);
    for (const StringNode* n = first; n; n = n->next)
        lines.push_back(n);
    std::vector<int> comment(lines.size());
    counter = 0;
    for (std::size_t k = 0; k < lines.size(); ++k)
        comment[k] = script_line_comment_kind(lines[k]->text, &counter);
    int back = 0;
    for (std::size_t k = lines.size(); k-- > 0;) {
        if (comment[k] != 0)
            continue;
        const std::string& t = lines[k]->text;
        int opens = 0, closes = 0;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '{' && (i == 0 || t[i - 1] == ' ' || t[i - 1] == ':') &&
                (i + 1 == t.size() || t[i + 1] == ' '))
                ++opens;
            else if (t[i] == '}' && (i == 0 || t[i - 1] == ' ') &&
                     (i + 1 == t.size() || t[i + 1] == ' '))
                ++closes;
        }
        back += opens - closes;
        if (back > 0)
            return static_cast<int>(k) + 1;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Tokens and parameters.

void tok_split_into(std::string_view text, char separator, std::vector<std::string>& out)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && text[i] == separator)
            ++i;
        if (i >= n)
            break;
        std::size_t j = i;
        while (j < n && text[j] != separator)
            ++j;
        out.emplace_back(text.substr(i, j - i));
        i = j;
    }
}

std::vector<std::string> tok_split(std::string_view text, char separator)
{
    std::vector<std::string> out;
    tok_split_into(text, separator, out);
    return out;
}

int tok_count(std::string_view text, char separator)
{
    int count = 0;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && text[i] == separator)
            ++i;
        if (i >= n)
            break;
        ++count;
        while (i < n && text[i] != separator)
            ++i;
    }
    return count;
}

int tok_needs_eval(std::string_view text, char separator)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && text[i] == separator)
            ++i;
        if (i >= n)
            break;
        std::size_t j = i;
        while (j < n && text[j] != separator)
            ++j;
        char c = text[i];
        if (c == '#' || c == '$' || c == '%')
            return 1;
        if (c == '!' && j - i > 1 && text[i + 1] == '$')
            return 1;
        if (j - i == 1)
            return 1;
        i = j;
    }
    return 0;
}

void arg_join_from(std::size_t index, std::string& out, const std::vector<std::string>& tokens)
{
    bool first = true;
    for (std::size_t i = index; i < tokens.size() && i <= kLongText; ++i) {
        if (!first)
            out.push_back(' ');
        out += tokens[i];
        first = false;
    }
}

int arg_param_range(std::string_view ref, std::string& out, const std::vector<std::string>& params,
                    char prefix, Connection* conn)
{
    std::size_t i = 0;
    long n = 0;
    while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9') {
        if (n < 100000)
            n = n * 10 + (ref[i] - '0');
        ++i;
    }
    if (i == 0)
        return 0;
    const std::size_t count = params.size();   // parameters + 1
    std::string_view suffix;
    long m = n;
    bool range = false;
    if (i < ref.size() && ref[i] == '-') {
        range = true;
        ++i;
        std::size_t d = i;
        long v = 0;
        while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9') {
            if (v < 100000)
                v = v * 10 + (ref[i] - '0');
            ++i;
        }
        m = (i > d) ? v : 999;
    }
    suffix = ref.substr(i);
    std::size_t before = out.size();
    if (n == 0 && !range) {
        out += std::to_string(count == 0 ? 0 : count - 1);
    } else if (n >= 1 && static_cast<std::size_t>(n) < count) {
        if (m < n)
            m = n;
        bool first = true;
        for (long k = n; k <= m && static_cast<std::size_t>(k) < count; ++k) {
            if (!first)
                out.push_back(' ');
            if (first && prefix) {
                const std::string& tok = params[static_cast<std::size_t>(k)];
                std::string types = (conn && !conn->chan_types.empty()) ? conn->chan_types : "#&";
                if (tok.empty() || types.find(tok[0]) == std::string::npos)
                    out.push_back(prefix);
            }
            out += params[static_cast<std::size_t>(k)];
            first = false;
            if (out.size() > kLongText)
                break;
        }
    }
    out += suffix;
    if (out.size() > kLongText)
        out.resize(kLongText);
    return out.size() > before ? 1 : 0;
}

int arg_get_quoted(const std::vector<std::string>& tokens, std::size_t index, std::string& out,
                   std::size_t size, int take_after_equals)
{
    out.clear();
    if (index >= tokens.size())
        return -1;
    const std::string& tok = tokens[index];
    std::size_t q = tok.find('"');
    if (q == std::string::npos) {
        if (take_after_equals) {
            std::size_t e = tok.find('=');
            if (e != std::string::npos)
                out = tok.substr(e + 1);
        } else {
            out = tok;
        }
        if (size && out.size() > size)
            return -1;
        return static_cast<int>(index);
    }
    std::string joined = tok.substr(q + 1);
    std::size_t last = index;
    std::size_t close = joined.find('"');
    while (close == std::string::npos) {
        ++last;
        if (last >= tokens.size() || last > 50)
            return -1;
        const std::string& t = tokens[last];
        if (t.empty() || t[0] != ' ')
            joined.push_back(' ');
        joined += t;
        close = joined.find('"');
        if (size && joined.size() > size + 1)
            return -1;
    }
    joined.resize(close);
    if (size && joined.size() > size)
        return -1;
    out = std::move(joined);
    return static_cast<int>(last);
}

int var_decl_comma_ends(std::string_view text_at_comma)
{
    std::size_t i = 0;
    if (i < text_at_comma.size() && text_at_comma[i] == ',')
        ++i;
    i = text_skip_blanks(text_at_comma, i);
    return (i >= text_at_comma.size() || text_at_comma[i] == '%') ? 1 : 0;
}

std::size_t ident_skip_token(std::string_view text, std::size_t pos)
{
    std::size_t i = pos;
    if (i < text.size() && text[i] == '$')
        ++i;
    const std::size_t n = text.size();
    while (i < n) {
        char c = text[i];
        if (c == ' ' || c == ')' || c == ',')
            return i;
        if (c == '(') {
            int level = 0;
            while (i < n) {
                if (text[i] == '(')
                    ++level;
                else if (text[i] == ')') {
                    --level;
                    if (level == 0)
                        return i + 1;
                }
                ++i;
            }
            return n;
        }
        ++i;
    }
    return n;
}

// ---------------------------------------------------------------------------
// Numbers.

int arg_is_integer(std::string_view t)
{
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    if (i >= t.size())
        return 0;
    for (; i < t.size(); ++i)
        if (t[i] < '0' || t[i] > '9')
            return 0;
    return 1;
}

int arg_is_number(std::string_view t)
{
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    int digits = 0, points = 0;
    for (; i < t.size(); ++i) {
        if (t[i] >= '0' && t[i] <= '9')
            ++digits;
        else if (t[i] == '.') {
            if (++points > 1)
                return 0;
        } else
            return 0;
    }
    return digits > 0 ? 1 : 0;
}

double num_round_places(double value, int places)
{
    if (places < 0)
        places = 0;
    if (places > 15)
        places = 15;
    double scale = std::pow(10.0, places);
    double ip = std::trunc(value);
    double frac = std::fabs(value - ip);
    double sign = value < 0 ? -1.0 : 1.0;
    double scaled = std::trunc(frac * scale + 0.5);
    return ip + sign * scaled / scale;
}

int num_format_f6(double value, std::string& out)
{
    char buf[400];
    if (!std::isfinite(value)) {
        out = "0";
        return -1;
    }
    // Whole numbers (every counter of a loop) skip the floating-point
    // formatter; the text is the same.
    if (value == std::trunc(value) && std::fabs(value) < 1e15 && !(value == 0 && std::signbit(value))) {
        auto res = std::to_chars(buf, buf + 32, static_cast<long long>(value));
        std::memcpy(res.ptr, ".000000", 7);
        out.assign(buf, static_cast<std::size_t>(res.ptr + 7 - buf));
        return static_cast<int>(out.size());
    }
    int len = std::snprintf(buf, sizeof buf, "%0.6f", value);
    if (len <= 0 || static_cast<std::size_t>(len) >= sizeof buf) {
        out = "0";
        return -1;
    }
    out.assign(buf, static_cast<std::size_t>(len));
    return len;
}

void num_trim_zeros(std::string& text)
{
    bool plus = false;
    bool point = false;
    for (char c : text) {
        if (c == '+')
            plus = true;
        else if (c == '.')
            point = true;
    }
    if (point && !plus) {
        std::size_t n = text.size();
        while (n > 0 && text[n - 1] == '0')
            --n;
        if (n > 0 && text[n - 1] == '.')
            --n;
        text.resize(n);
    }
    if (text.size() == 2 && (text[0] == '+' || text[0] == '-') && text[1] == '0')
        text = "0";
}

void num_three_digits(std::string& text, int fill)
{
    if (text.find('.') != std::string::npos) {
        if (text.size() > 4)
            text.resize(4);
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    } else if (fill) {
        if (text.size() == 1)
            text += ".00";
        else if (text.size() == 2)
            text += ".0";
    }
}

void num_group_thousands(std::string& text)
{
    std::size_t start = 0;
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        start = 1;
    std::size_t point = text.find('.', start);
    std::size_t end = point == std::string::npos ? text.size() : point;
    if (end <= start + 3)
        return;
    std::string grouped = text.substr(0, start);
    std::size_t digits = end - start;
    for (std::size_t k = 0; k < digits; ++k) {
        if (k > 0 && (digits - k) % 3 == 0)
            grouped.push_back(',');
        grouped.push_back(text[start + k]);
    }
    grouped += text.substr(end);
    text = std::move(grouped);
}

void num_format_bytes(double value, std::string& out, int suffix, int three_digits, int unit,
                      int plain, int six_decimals)
{
    static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB"};
    out.clear();
    if (!std::isfinite(value)) {
        out = "0";
        return;
    }
    bool negative = value < 0;
    if (negative)
        value = -value;
    int u = unit;
    if (u < 0 || u > 5)
        u = 0;
    if (u == 0) {
        u = 1;
        while (value >= 1000.0 && u < 5) {
            value /= 1024.0;
            ++u;
        }
    } else {
        for (int k = 1; k < u; ++k)
            value /= 1024.0;
    }
    char buf[400];
    if (u == 1) {
        std::snprintf(buf, sizeof buf, six_decimals ? "%0.6f" : "%0.0f", value);
        out = buf;
        num_trim_zeros(out);
        if (three_digits)
            num_three_digits(out, 0);
    } else {
        if (six_decimals)
            std::snprintf(buf, sizeof buf, "%0.6f", value);
        else if (plain)
            std::snprintf(buf, sizeof buf, "%0.02f", num_round_places(value, 2));
        else
            std::snprintf(buf, sizeof buf, "%f", num_round_places(value, 2));
        out = buf;
        num_trim_zeros(out);
        if (three_digits)
            num_three_digits(out, 1);
    }
    if (!plain)
        num_group_thousands(out);
    if (suffix) {
        if (plain)
            out.push_back(' ');
        out += kUnits[u - 1];
    }
    if (negative)
        out.insert(out.begin(), '-');
}

// ---------------------------------------------------------------------------
// Windows.

int win_channel_name_append(QWidget* window, std::string& out)
{
    WindowRecord* rec = window ? win_record_of(window) : nullptr;
    if (!rec || rec->type != kWinChannel)
        return 0;
    out += rec->name;
    return 1;
}
