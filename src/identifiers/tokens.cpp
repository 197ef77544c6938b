// Token identifiers.
#include "identifiers/tokens.h"

#include <algorithm>

#include "core/list_sort.h"
#include "irc/link/connections.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/eval/calc.h"
#include "script/exec/script_types.h"

namespace {

using Tokens = std::vector<std::string_view>;

bool tokens_equal(std::string_view a, std::string_view b, bool cs)
{
    return cs ? a == b : text_equal_nocase(a, b);
}

// Builds a token list with one separator between tokens, refusing to pass
// kLongText characters when `checked`.
class Builder {
public:
    Builder(std::string& out, char separator, bool checked)
        : out_(out), separator_(separator), checked_(checked)
    {
        out_.clear();
    }

    bool add(std::string_view token)
    {
        const std::size_t extra = (started_ ? 1 : 0) + token.size();
        if (checked_ && out_.size() + extra > kLongText) {
            overflow_ = true;
            return false;
        }
        if (started_)
            out_.push_back(separator_);
        out_.append(token);
        started_ = true;
        return true;
    }

    bool overflow() const { return overflow_; }

    // The result code: 0, or kTokErrTooLong with the text dropped.
    int finish()
    {
        if (overflow_) {
            out_.clear();
            return kTokErrTooLong;
        }
        return 0;
    }

private:
    std::string& out_;
    char separator_;
    bool checked_;
    bool started_ = false;
    bool overflow_ = false;
};

// The token views of $gettok, kept between calls so that a loop calling it
// does not go back to the allocator; no token routine runs while another
// holds it.
Tokens& reused_tokens()
{
    static Tokens tokens;
    tokens.clear();
    return tokens;
}

int empty_result(std::string& out)
{
    out.clear();
    return 0;
}

bool contains(std::string_view token, std::string_view part, bool cs)
{
    if (cs)
        return token.find(part) != std::string_view::npos;
    return text_find_nocase(token, part) != std::string_view::npos;
}

} // namespace

// ---------------------------------------------------------------------------
// Shared readers.

int token_number(std::string_view text)
{
    return calc_read_int(text);
}

char token_separator(std::string_view code)
{
    return static_cast<char>(static_cast<unsigned>(token_number(code)) & 0xFFu);
}

void token_split(std::string_view text, char separator, std::vector<std::string_view>& out)
{
    std::size_t pos = 0;
    const std::size_t n = text.size();
    while (pos < n) {
        while (pos < n && text[pos] == separator)
            ++pos;
        if (pos >= n)
            break;
        std::size_t end = text.find(separator, pos);
        if (end == std::string_view::npos)
            end = n;
        out.push_back(text.substr(pos, end - pos));
        pos = end;
    }
}

void token_range(std::string_view n, int count, long long& first, long long& last)
{
    const long long start = token_number(n);
    const std::size_t dash = n.size() > 1 ? n.find('-', 1) : std::string_view::npos;
    if (dash == std::string_view::npos) {
        first = last = start;
    } else if (dash + 1 == n.size()) {
        first = start;
        last = start > count ? start : count;
    } else {
        first = start;
        last = token_number(n.substr(dash + 1));
    }
    if (first < 0)
        first += static_cast<long long>(count) + 1;
    if (last < 0)
        last += static_cast<long long>(count) + 1;
    if (first > last)
        std::swap(first, last);
}

// ---------------------------------------------------------------------------
// The identifiers.

int tokens_get(std::string_view t, std::string_view n, std::string_view c, std::string& out)
{
    if (t.empty() || n.empty() || c.empty())
        return empty_result(out);
    const char sep = token_separator(c);
    Tokens& tokens = reused_tokens();
    token_split(t, sep, tokens);
    const int count = static_cast<int>(tokens.size());
    if (token_number(n) == 0 && (n.size() <= 1 || n.find('-', 1) == std::string_view::npos)) {
        out = std::to_string(count);
        return 0;
    }
    long long first = 0;
    long long last = 0;
    token_range(n, count, first, last);
    Builder b(out, sep, false);
    for (long long i = std::max(first, 1LL); i <= last && i <= count; ++i)
        b.add(tokens[static_cast<std::size_t>(i - 1)]);
    return b.finish();
}

int tokens_count(std::string_view t, std::string_view c, std::string& out)
{
    if (c.empty())
        return empty_result(out);
    if (t.empty()) {
        out = "0";
        return 0;
    }
    Tokens tokens;
    token_split(t, token_separator(c), tokens);
    out = std::to_string(tokens.size());
    return 0;
}

int tokens_delete(std::string_view t, std::string_view n, std::string_view c, std::string& out)
{
    if (t.empty() || c.empty())
        return empty_result(out);
    const char sep = token_separator(c);
    Tokens tokens;
    token_split(t, sep, tokens);
    long long first = 0;
    long long last = 0;
    token_range(n, static_cast<int>(tokens.size()), first, last);
    Builder b(out, sep, false);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const long long pos = static_cast<long long>(i) + 1;
        if (pos < first || pos > last)
            b.add(tokens[i]);
    }
    return b.finish();
}

int tokens_put(std::string_view t, std::string_view token, std::string_view n, std::string_view c,
               std::string& out)
{
    if (t.empty() || token.empty() || n.empty() || c.empty())
        return empty_result(out);
    const char sep = token_separator(c);
    Tokens tokens;
    token_split(t, sep, tokens);
    long long first = 0;
    long long last = 0;
    token_range(n, static_cast<int>(tokens.size()), first, last);
    Builder b(out, sep, true);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const long long pos = static_cast<long long>(i) + 1;
        if (!b.add((pos >= first && pos <= last) ? token : tokens[i]))
            break;
    }
    return b.finish();
}

int tokens_insert(std::string_view t, std::string_view token, std::string_view n,
                  std::string_view c, std::string& out)
{
    if (token.empty() || n.empty() || c.empty())
        return empty_result(out);
    if (t.empty()) {
        out.assign(token);
        return 0;
    }
    const char sep = token_separator(c);
    Tokens tokens;
    token_split(t, sep, tokens);
    const long long count = static_cast<long long>(tokens.size());
    long long at = token_number(n);
    if (at == 0)
        at = 5000;
    else if (at < 0)
        at = (count + at >= 0) ? count + at + 1 : 1;
    Builder b(out, sep, true);
    bool inserted = false;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (!inserted && static_cast<long long>(i) + 1 == at) {
            if (!b.add(token))
                break;
            inserted = true;
        }
        if (!b.add(tokens[i]))
            break;
    }
    if (!inserted && !b.overflow())
        b.add(token);
    return b.finish();
}

int tokens_add(std::string_view t, std::string_view token, std::string_view c, bool cs,
               std::string& out)
{
    if (c.empty()) {
        if (t.empty() && !token.empty()) {
            out.assign(token);
            return 0;
        }
        return empty_result(out);
    }
    if (t.empty()) {
        out.assign(token);
        return 0;
    }
    const char sep = token_separator(c);
    Tokens tokens;
    token_split(t, sep, tokens);
    Builder b(out, sep, true);
    bool present = false;
    for (std::string_view tok : tokens) {
        if (!token.empty() && tokens_equal(tok, token, cs))
            present = true;
        if (!b.add(tok))
            break;
    }
    if (!token.empty() && !present && !b.overflow())
        b.add(token);
    return b.finish();
}

int tokens_find(std::string_view t, std::string_view token, std::string_view n,
                std::string_view c, bool cs, std::string& out)
{
    if (t.empty() || token.empty() || n.empty() || c.empty())
        return empty_result(out);
    const int wanted = token_number(n);
    if (wanted < 0)
        return empty_result(out);
    Tokens tokens;
    token_split(t, token_separator(c), tokens);
    int left = wanted;
    int matches = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (!tokens_equal(tokens[i], token, cs))
            continue;
        ++matches;
        if (wanted > 0 && --left == 0) {
            out = std::to_string(i + 1);
            return 0;
        }
    }
    if (wanted == 0) {
        out = std::to_string(matches);
        return 0;
    }
    return empty_result(out);
}

int tokens_is(std::string_view t, std::string_view token, std::string_view c, bool cs,
              std::string& out)
{
    out = "$false";
    if (t.empty() || token.empty() || c.empty())
        return 0;
    Tokens tokens;
    token_split(t, token_separator(c), tokens);
    for (std::string_view tok : tokens) {
        if (tokens_equal(tok, token, cs)) {
            out = "$true";
            break;
        }
    }
    return 0;
}

int tokens_match(std::string_view t, std::string_view part, std::string_view n,
                 std::string_view c, bool cs, bool wild, std::string& out)
{
    if (t.empty() || part.empty() || n.empty() || c.empty())
        return empty_result(out);
    const int wanted = token_number(n);
    if (wanted < 0)
        return empty_result(out);
    Tokens tokens;
    token_split(t, token_separator(c), tokens);
    int matches = 0;
    for (std::string_view tok : tokens) {
        const bool hit = wild ? wild_match(part, tok, cs ? 1 : 0, 1) != 0 : contains(tok, part, cs);
        if (!hit)
            continue;
        ++matches;
        if (wanted > 0 && matches == wanted) {
            out.assign(tok);
            return 0;
        }
    }
    if (wanted == 0) {
        out = std::to_string(matches);
        return 0;
    }
    return empty_result(out);
}

int tokens_remove(std::string_view t, std::string_view token, std::string_view n,
                  std::string_view c, bool cs, std::string& out)
{
    if (t.empty() || token.empty() || n.empty() || c.empty())
        return empty_result(out);
    const char sep = token_separator(c);
    const int wanted = token_number(n);
    Tokens tokens;
    token_split(t, sep, tokens);
    Builder b(out, sep, false);
    int left = wanted;
    for (std::string_view tok : tokens) {
        if (tokens_equal(tok, token, cs)) {
            if (wanted <= 0)
                continue;
            if (left > 0 && --left == 0)
                continue;
        }
        b.add(tok);
    }
    return b.finish();
}

int tokens_replace(std::string_view t, std::string_view token, std::string_view replacement,
                   std::string_view n, std::string_view c, bool cs, std::string& out)
{
    if (t.empty() || token.empty() || replacement.empty() || n.empty() || c.empty())
        return empty_result(out);
    const char sep = token_separator(c);
    const int wanted = token_number(n);
    Tokens tokens;
    token_split(t, sep, tokens);
    Builder b(out, sep, true);
    int left = wanted;
    for (std::string_view tok : tokens) {
        std::string_view piece = tok;
        if (tokens_equal(tok, token, cs)) {
            if (wanted <= 0)
                piece = replacement;
            else if (left > 0 && --left == 0)
                piece = replacement;
        }
        if (!b.add(piece))
            break;
    }
    return b.finish();
}

int tokens_sort(std::string_view t, std::string_view c, bool has_switches,
                std::string_view switches, bool cs, Connection* conn, std::string& out)
{
    if (t.empty() || c.empty() || (has_switches && switches.empty()))
        return empty_result(out);
    int flags = 1; // alphabetic
    if (switches.find('n') != std::string_view::npos)
        flags = 2;
    else if (switches.find('a') != std::string_view::npos)
        flags = 16;
    else if (switches.find('c') != std::string_view::npos)
        flags = 4;
    if (switches.find('r') != std::string_view::npos)
        flags |= 8;

    const char sep = token_separator(c);
    Tokens tokens;
    token_split(t, sep, tokens);
    StringNode* list = nullptr;
    for (std::string_view tok : tokens) {
        StringNode* head = strlist_append(list, tok, flags);
        if (!head) {
            strlist_free(&list);
            out.clear();
            return kTokErrMemory;
        }
        list = head;
    }
    SortInputs inputs;
    inputs.nick_prefixes = conn_nick_prefixes_or_default(conn);
    list = strlist_sort(list, cs ? 44 : 4, inputs);
    Builder b(out, sep, false);
    for (const StringNode* node = list; node; node = node->next)
        b.add(node->text);
    strlist_free(&list);
    return b.finish();
}

// ---------------------------------------------------------------------------
// Identifier handlers.

namespace {

// Whether the identifier was written as a "cs" form: its word holds "tokcs(".
bool case_sensitive(const IdentCall& call)
{
    if (text_find_nocase(call.name, "tokcs(") != std::string_view::npos)
        return true;
    return call.token && text_find_nocase(call.token->text, "tokcs(") != std::string::npos;
}

std::string_view arg(const IdentCall& call, int i)
{
    return ident_arg(call, i);
}

int id_gettok(IdentCall& call)
{
    std::string out;
    return ident_result(call, tokens_get(arg(call, 0), arg(call, 1), arg(call, 2), out), out);
}

int id_numtok(IdentCall& call)
{
    std::string out;
    return ident_result(call, tokens_count(arg(call, 0), arg(call, 1), out), out);
}

int id_deltok(IdentCall& call)
{
    std::string out;
    return ident_result(call, tokens_delete(arg(call, 0), arg(call, 1), arg(call, 2), out), out);
}

int id_puttok(IdentCall& call)
{
    std::string out;
    return ident_result(call, tokens_put(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3), out), out);
}

int id_instok(IdentCall& call)
{
    std::string out;
    return ident_result(call, tokens_insert(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3), out),
                 out);
}

int id_addtok(IdentCall& call)
{
    std::string out;
    return ident_result(call,
                 tokens_add(arg(call, 0), arg(call, 1), arg(call, 2), case_sensitive(call), out),
                 out);
}

// $findtok and $istok share one handler; the name tells them apart.
int id_findtok(IdentCall& call)
{
    const bool is_tok = text_find_nocase(call.name, "istok") == 0 ||
                        (call.token && text_find_nocase(call.token->text, "$istok") == 0);
    const int r = is_tok ? ident_args_range(call, 3, 3, true) : ident_args_range(call, 3, 4);
    if (r >= 0)
        return r;
    std::string out;
    const bool cs = case_sensitive(call);
    int code = 0;
    if (is_tok) {
        code = tokens_is(arg(call, 0), arg(call, 1), arg(call, 2), cs, out);
    } else if (ident_arg_count(call) == 3) {
        code = tokens_find(arg(call, 0), arg(call, 1), "1", arg(call, 2), cs, out);
    } else {
        code = tokens_find(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3), cs, out);
    }
    return ident_result(call, code, out);
}

// $matchtok and $wildtok share one handler; the name tells them apart.
int id_matchtok(IdentCall& call)
{
    const bool wild = text_find_nocase(call.name, "wildtok") == 0 ||
                      (call.token && text_find_nocase(call.token->text, "$wildtok") == 0);
    std::string out;
    return ident_result(call,
                 tokens_match(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3),
                              case_sensitive(call), wild, out),
                 out);
}

int id_remtok(IdentCall& call)
{
    std::string out;
    const bool cs = case_sensitive(call);
    const int code = ident_arg_count(call) == 3
                         ? tokens_remove(arg(call, 0), arg(call, 1), "1", arg(call, 2), cs, out)
                         : tokens_remove(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3), cs, out);
    return ident_result(call, code, out);
}

int id_reptok(IdentCall& call)
{
    std::string out;
    const bool cs = case_sensitive(call);
    const int code =
        ident_arg_count(call) == 4
            ? tokens_replace(arg(call, 0), arg(call, 1), arg(call, 2), "1", arg(call, 3), cs, out)
            : tokens_replace(arg(call, 0), arg(call, 1), arg(call, 2), arg(call, 3), arg(call, 4),
                             cs, out);
    return ident_result(call, code, out);
}

int id_sorttok(IdentCall& call)
{
    std::string out;
    const bool has_switches = ident_arg_count(call) == 3;
    return ident_result(call,
                 tokens_sort(arg(call, 0), arg(call, 1), has_switches,
                             has_switches ? arg(call, 2) : std::string_view(),
                             case_sensitive(call), call.conn(), out),
                 out);
}

} // namespace

void tokens_register()
{
    ident_register_family("id_gettok", id_gettok);
    ident_register_family("id_numtok", id_numtok);
    ident_register_family("id_deltok", id_deltok);
    ident_register_family("id_puttok", id_puttok);
    ident_register_family("id_instok", id_instok);
    ident_register_family("id_addtok", id_addtok);
    ident_register_family("id_findtok", id_findtok);
    ident_register_family("id_matchtok", id_matchtok);
    ident_register_family("id_remtok", id_remtok);
    ident_register_family("id_reptok", id_reptok);
    ident_register_family("id_sorttok", id_sorttok);
}
