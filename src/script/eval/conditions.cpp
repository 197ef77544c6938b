// Conditions of if, elseif and while.
#include "script/eval/conditions.h"

#include <climits>
#include <cmath>
#include <cstdint>

#include "model/window_record.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "model/nick_list.h"
#include "script/eval/calc.h"
#include "script/exec/script_types.h"

namespace {

// The protocol's answers (see cond_register_rank_tests).
int (*g_has_rank)(const std::string&, WindowRecord*, int) = nullptr;
int (*g_has_prefix)(const std::string&, WindowRecord*, std::string_view) = nullptr;
int (*g_user_list)(int, const std::string&, const std::string*, Connection*) = nullptr;
int (*g_ignored)(const std::string&, const char*, Connection*) = nullptr;
int (*g_notified)(const std::string&, Connection*) = nullptr;

int chan_nick_has_prefix(const std::string& nick, WindowRecord* channel, std::string_view prefixes)
{
    return g_has_prefix ? g_has_prefix(nick, channel, prefixes) : 0;
}

int ignored_as(const std::string& address, const char* type, Connection* conn)
{
    return g_ignored ? g_ignored(address, type, conn) : 0;
}

bool is_letter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

int compare_exact(std::string_view a, std::string_view b)
{
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int to_result(int c)
{
    return c < 0 ? kCmpLess : (c > 0 ? kCmpGreater : kCmpEqual);
}

// The integer value of a text as the standard integer conversion reads it
// (leading blanks, a sign, digits; the rest ignored), held at the limits of
// a 64-bit integer.
std::int64_t read_integer(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::int64_t value = 0;
    for (; pos < text.size() && is_digit(text[pos]); ++pos) {
        const int d = text[pos] - '0';
        if (value > (INT64_MAX - d) / 10) {
            value = INT64_MAX;
            break;
        }
        value = value * 10 + d;
    }
    return negative ? -value : value;
}

int paren_count(std::string_view text, int count)
{
    for (char c : text) {
        if (c == '(')
            ++count;
        else if (c == ')')
            --count;
    }
    return count;
}

bool is_connective(const EvalToken* t)
{
    return t && (std::string_view(t->text) == "&&" || std::string_view(t->text) == "||");
}

bool is_lone_brace(const EvalToken* t)
{
    return t && std::string_view(t->text) == "{";
}

// ---- is-operators ------------------------------------------------------------

bool has_wildcards(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

// Whether one of the channel's ban (0), exception (1) or invite (2) entries
// (the text up to a tab) equals the mask, or, when exactly one of the two
// holds a wildcard, the one with wildcards matches the other.
bool channel_list_holds(WindowRecord* channel, int list, const std::string& mask)
{
    for (const StringNode* n = channel->chan_lists[list]; n; n = n->next) {
        std::string_view entry = n->text;
        const std::size_t tab = entry.find('\t');
        if (tab != std::string_view::npos)
            entry = entry.substr(0, tab);
        if (text_equal_nocase(entry, mask))
            return true;
        const bool wild_entry = has_wildcards(entry);
        const bool wild_mask = has_wildcards(mask);
        if (wild_entry != wild_mask) {
            if (wild_entry ? wild_match(entry, mask, 0, 1) : wild_match(mask, entry, 0, 1))
                return true;
        }
    }
    return false;
}

bool all_chars(std::string_view text, bool digits_too)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (!is_letter(c) && !(digits_too && is_digit(c)))
            return false;
    }
    return true;
}

bool no_letter_of_case(std::string_view text, bool upper_case)
{
    for (char c : text) {
        if (upper_case ? (c >= 'A' && c <= 'Z') : (c >= 'a' && c <= 'z'))
            return false;
    }
    return true;
}

// isnum with a second value: "N" (v1 equals N) or a range "A-B" where either
// bound may be left out; a leading "-" belongs to A.
bool number_in_range(double value, std::string_view range)
{
    const std::size_t dash = range.size() > 1 ? range.find('-', 1) : std::string_view::npos;
    if (dash == std::string_view::npos)
        return value == calc_read_real(range);
    const std::string_view low = range.substr(0, dash);
    const std::string_view high = range.substr(dash + 1);
    if (!low.empty() && value < calc_read_real(low))
        return false;
    if (!high.empty() && value > calc_read_real(high))
        return false;
    return true;
}

enum class Op {
    Unknown, Equal, Exact, Less, Greater, LessEqual, GreaterEqual, Multiple, NotMultiple, BitAnd,
    IsIn, IsInCs, IsWm, IsWmCs, IsOn, IsOp, IsHop, IsVoice, IsOwner, IsReg, IsBan, IsExcept,
    IsInvite, IsAlnum, IsAlpha, IsLetter, IsLower, IsUpper, IsNum, IsChan, IsAop, IsAvoice,
    IsProtect, IsIgnore, IsNotify,
};

struct OpName {
    std::string_view name;
    Op op;
};

constexpr OpName kOperators[] = {
    {"=", Op::Equal},          {"==", Op::Equal},         {"===", Op::Exact},
    {"<", Op::Less},           {">", Op::Greater},        {"<=", Op::LessEqual},
    {">=", Op::GreaterEqual},  {"//", Op::Multiple},      {"\\\\", Op::NotMultiple},
    {"&", Op::BitAnd},         {"isin", Op::IsIn},        {"isincs", Op::IsInCs},
    {"iswm", Op::IsWm},        {"iswmcs", Op::IsWmCs},    {"ison", Op::IsOn},
    {"isop", Op::IsOp},        {"ishop", Op::IsHop},      {"ishelp", Op::IsHop},
    {"isvo", Op::IsVoice},     {"isvoice", Op::IsVoice},  {"isowner", Op::IsOwner},
    {"isreg", Op::IsReg},      {"isban", Op::IsBan},      {"isexcept", Op::IsExcept},
    {"isinvite", Op::IsInvite}, {"isalnum", Op::IsAlnum}, {"isalpha", Op::IsAlpha},
    {"isletter", Op::IsLetter}, {"islower", Op::IsLower}, {"isupper", Op::IsUpper},
    {"isnum", Op::IsNum},      {"ischan", Op::IsChan},    {"isaop", Op::IsAop},
    {"isauto", Op::IsAop},     {"isavoice", Op::IsAvoice}, {"isprotect", Op::IsProtect},
    {"isignore", Op::IsIgnore}, {"isnotify", Op::IsNotify},
};

// The operator of a token without its "!" (negate set when there was one).
Op operator_of(std::string_view token, bool* negate)
{
    bool bang = false;
    if (token.size() > 1 && token[0] == '!') {
        bang = true;
        token.remove_prefix(1);
    }
    if (negate)
        *negate = bang;
    if (token.empty() || token.size() > 9)
        return Op::Unknown;
    switch (token[0]) {
    case '=':
        if (token.size() == 1)
            return Op::Equal;
        if (token == "==")
            return Op::Equal;
        return token == "===" ? Op::Exact : Op::Unknown;
    case '<':
        if (token.size() == 1)
            return Op::Less;
        return token == "<=" ? Op::LessEqual : Op::Unknown;
    case '>':
        if (token.size() == 1)
            return Op::Greater;
        return token == ">=" ? Op::GreaterEqual : Op::Unknown;
    case '/':
        return token == "//" ? Op::Multiple : Op::Unknown;
    case '\\':
        return token == "\\\\" ? Op::NotMultiple : Op::Unknown;
    case '&':
        return token.size() == 1 ? Op::BitAnd : Op::Unknown;
    case 'i': case 'I':
        if (token.size() < 4)
            return Op::Unknown;
        break;
    default:
        return Op::Unknown;  // no operator starts with another character
    }
    for (const OpName& entry : kOperators) {
        if (entry.name.size() == token.size() && text_equal_nocase(token, entry.name))
            return entry.op;
    }
    return Op::Unknown;
}

// Whether the operator cannot work without a second value.
bool needs_second_value(Op op)
{
    switch (op) {
    case Op::IsAlnum:
    case Op::IsAlpha:
    case Op::IsLetter:
    case Op::IsLower:
    case Op::IsUpper:
    case Op::IsNum:
    case Op::IsChan:
    case Op::IsAop:
    case Op::IsAvoice:
    case Op::IsProtect:
    case Op::IsIgnore:
    case Op::IsNotify:
        return false;
    default:
        return true;
    }
}

// The channel window of that name on the connection, or null.
WindowRecord* channel_window(const std::string& name, Connection* conn)
{
    if (name.empty())
        return nullptr;
    WindowRecord* rec = win_find_by_name(name, conn);
    return (rec && rec->type == kWinChannel) ? rec : nullptr;
}

// Whether the ignore list holds the address (lower-cased for the lookup) for
// any of the type words in `types` (blanks or commas between them); with
// no types, for any type.
bool ignored_for(const std::string& address, const std::string& types, Connection* conn)
{
    std::string lowered = address;
    text_lower(lowered);
    bool any_type = false;
    std::size_t i = 0;
    while (i < types.size()) {
        while (i < types.size() && (types[i] == ' ' || types[i] == ','))
            ++i;
        std::size_t e = i;
        while (e < types.size() && types[e] != ' ' && types[e] != ',')
            ++e;
        if (e > i) {
            any_type = true;
            std::string type = types.substr(i, e - i);
            text_lower(type);
            if (ignored_as(lowered, type.c_str(), conn))
                return true;
        }
        i = e;
    }
    return !any_type && ignored_as(lowered, nullptr, conn) != 0;
}

bool test_operator(Op op, std::string& v1, std::string& v2, bool has_v2, Connection* conn)
{
    const bool v1_empty = v1.empty();
    const bool v2_empty = v2.empty();
    auto channel = [&]() { return channel_window(v2, conn); };
    switch (op) {
    case Op::Equal:
        return cond_compare(v1, v2, kCmpText, v1_empty, v2_empty) == kCmpEqual;
    case Op::Exact:
        return cond_compare(v1, v2, kCmpExact, v1_empty, v2_empty) == kCmpEqual;
    case Op::Less:
        return cond_compare(v1, v2, kCmpText, v1_empty, v2_empty) == kCmpLess;
    case Op::Greater:
        return cond_compare(v1, v2, kCmpText, v1_empty, v2_empty) == kCmpGreater;
    case Op::LessEqual: {
        const int c = cond_compare(v1, v2, kCmpText, v1_empty, v2_empty);
        return c == kCmpLess || c == kCmpEqual;
    }
    case Op::GreaterEqual: {
        const int c = cond_compare(v1, v2, kCmpText, v1_empty, v2_empty);
        return c == kCmpEqual || c == kCmpGreater;
    }
    case Op::Multiple:
        return cond_compare(v1, v2, kCmpDivides, v1_empty, v2_empty) == kCmpEqual;
    case Op::NotMultiple:
        return cond_compare(v1, v2, kCmpDivides, v1_empty, v2_empty) == kCmpLess;
    case Op::BitAnd:
        return !v1_empty && !v2_empty && (read_integer(v1) & read_integer(v2)) != 0;
    case Op::IsIn:
        text_lower(v1);
        text_lower(v2);
        return !v1_empty && !v2_empty && v2.find(v1) != std::string::npos;
    case Op::IsInCs:
        return !v1_empty && v2.find(v1) != std::string::npos;
    case Op::IsWm:
        return !v1_empty && wild_match(v1, v2, 0, 1) != 0;
    case Op::IsWmCs:
        return !v1_empty && wild_match(v1, v2, 1, 1) != 0;
    case Op::IsOn: {
        WindowRecord* chan = v1_empty ? nullptr : channel();
        return chan && nicklist_update(v1, chan, kNickTest, 0) != 0;
    }
    case Op::IsOp: {
        WindowRecord* chan = v1_empty ? nullptr : channel();
        return chan && cond_nick_has_rank(v1, chan, 0) != 0;
    }
    case Op::IsHop: {
        WindowRecord* chan = v1_empty ? nullptr : channel();
        return chan && chan_nick_has_prefix(v1, chan, "%") != 0;
    }
    case Op::IsVoice: {
        WindowRecord* chan = v1_empty ? nullptr : channel();
        return chan && chan_nick_has_prefix(v1, chan, "+") != 0;
    }
    case Op::IsOwner: {
        WindowRecord* chan = v1_empty ? nullptr : channel();
        return chan && chan_nick_has_prefix(v1, chan, ".") != 0;
    }
    case Op::IsReg: {
        WindowRecord* chan = v1_empty ? nullptr : channel();
        return chan && nicklist_update(v1, chan, kNickTest, 0) == 1;
    }
    case Op::IsBan:
    case Op::IsExcept:
    case Op::IsInvite: {
        WindowRecord* chan = v1_empty ? nullptr : channel();
        const int list = op == Op::IsBan ? 0 : (op == Op::IsExcept ? 1 : 2);
        return chan && channel_list_holds(chan, list, v1);
    }
    case Op::IsAlnum:
        return all_chars(v1, true);
    case Op::IsAlpha:
        return all_chars(v1, false);
    case Op::IsLetter:
        if (v1_empty)
            return false;
        if (has_v2)
            return v2.find(v1[0]) != std::string::npos;
        return is_letter(v1[0]);
    case Op::IsLower:
        return no_letter_of_case(v1, true);
    case Op::IsUpper:
        return no_letter_of_case(v1, false);
    case Op::IsNum: {
        if (v1_empty || !calc_is_number(v1))
            return false;
        if (!has_v2 || v2_empty)
            return true;
        return number_in_range(calc_read_real(v1), v2);
    }
    case Op::IsChan:
        return !v1_empty && channel_window(v1, conn) != nullptr;
    case Op::IsAop:
    case Op::IsAvoice:
    case Op::IsProtect: {
        if (v1_empty)
            return false;
        const int list = op == Op::IsAop ? 0 : (op == Op::IsAvoice ? 1 : 2);
        return g_user_list && g_user_list(list, v1, (has_v2 && !v2_empty) ? &v2 : nullptr, conn) != 0;
    }
    case Op::IsIgnore:
        return !v1_empty && ignored_for(v1, has_v2 ? v2 : std::string(), conn);
    case Op::IsNotify:
        return !v1_empty && g_notified && g_notified(v1, conn) != 0;
    case Op::Unknown:
        break;
    }
    return false;
}

void append_word(std::string& out, std::string_view word)
{
    if (word.empty())
        return;
    if (!out.empty())
        out.push_back(' ');
    out.append(word);
}

// The first operator among a group's evaluated tokens (empty values left
// out), with its kind and "!"; null when there is none.
const EvalToken* first_operator(const TokenList& evaluated, Op* kind, bool* negate)
{
    for (const EvalToken* t = evaluated.head; t; t = t->next) {
        if (t->flags & kTokEmpty)
            continue;
        *kind = operator_of(t->text, negate);
        if (*kind != Op::Unknown)
            return t;
    }
    *kind = Op::Unknown;
    *negate = false;
    return nullptr;
}

// The comparison that cond_build_comparison makes, with its values built
// straight into v1 and v2: the values before the operator, the operator,
// and the values after it up to a connective; then the test.
int evaluate_comparison(const TokenList& evaluated, const EvalToken* op, Op kind, bool negate,
                        Connection* conn, std::string& v1, std::string& v2)
{
    v1.clear();
    v2.clear();
    const EvalToken* t = evaluated.head;
    for (; t && t != op; t = t->next) {
        if (!(t->flags & kTokEmpty))
            append_word(v1, t->text);
    }
    if (v1.size() > kLongText)
        v1.resize(kLongText);
    bool has_v2 = false;
    if (op && op->next && !is_connective(op->next)) {
        has_v2 = true;
        for (t = op->next; t && !is_connective(t); t = t->next) {
            if (!(t->flags & kTokEmpty))
                append_word(v2, t->text);
        }
        if (v2.size() > kLongText)
            v2.resize(kLongText);
    }
    if (!evaluated.head)
        return kCondInvalid;
    if (!op)
        return cond_value_true(v1) ? kCondTrue : kCondFalse;
    if (!has_v2 && needs_second_value(kind))
        return kCondInvalid;
    const bool result = test_operator(kind, v1, v2, has_v2, conn);
    return (result != negate) ? kCondTrue : kCondFalse;
}


// A group's tokens live in a list of their own while they are evaluated;
// it makes its tokens from the command's free pool and gives them all back
// at the end, so that a loop testing its condition on every pass does not
// go back to the allocator.
struct GroupList {
    TokenList& owner;
    TokenList list;
    explicit GroupList(TokenList& tokens) : owner(tokens)
    {
        list.pool = owner.pool;
        owner.pool = nullptr;
    }
    ~GroupList()
    {
        toklist_clear(list);
        EvalToken* freed = owner.pool;   // the few taken off the command meanwhile
        if (!freed) {
            owner.pool = list.pool;
        } else {
            EvalToken* last = freed;
            while (last->next)
                last = last->next;
            last->next = list.pool;
        }
        list.pool = nullptr;
    }
    GroupList(const GroupList&) = delete;
    GroupList& operator=(const GroupList&) = delete;
};

// Evaluates one group's tokens in place and tests them; the list is empty
// afterwards.
int run_group(TokenList& group, const CondTokenEvaluator& evaluate, Connection* conn,
              std::string& v1, std::string& v2, int* used_operator, std::string* operator_text)
{
    if (!evaluate(group)) {
        toklist_clear(group);
        return kCondEvalFailed;
    }
    Op kind = Op::Unknown;
    bool negate = false;
    const EvalToken* op = first_operator(group, &kind, &negate);
    if (operator_text) {
        if (op)
            operator_text->assign(op->text, 0, kLongText);
        else
            operator_text->clear();
    }
    int result;
    if (op) {
        // A comparison with an operator: its values are $v1 and $v2.
        result = evaluate_comparison(group, op, kind, negate, conn, v1, v2);
        if (used_operator)
            *used_operator = 1;
    } else {
        std::string value;
        std::string none;
        result = evaluate_comparison(group, nullptr, kind, negate, conn, value, none);
    }
    toklist_clear(group);
    return result;
}

// Drops the group that follows a connective without evaluating it: a group
// in parentheses up to its balancing token; otherwise every token up to the
// next "&&", "||", lone "{" or the end (identifiers and parentheses skipped
// whole with everything up to their balancing ")").
void skip_group(TokenList& tokens)
{
    EvalToken* t = tokens.head;
    if (!t)
        return;
    if (!t->text.empty() && t->text[0] == '(') {
        int balance = 0;
        while (t) {
            balance = paren_count(t->text, balance);
            t = toklist_remove(tokens, t);
            if (balance <= 0)
                break;
        }
        return;
    }
    while (t && !is_connective(t) && !is_lone_brace(t)) {
        const bool opens = (!t->text.empty() && (t->text[0] == '$' || t->text[0] == '(')) &&
                           t->text.find('(') != std::string::npos;
        int balance = opens ? paren_count(t->text, 0) : 0;
        t = toklist_remove(tokens, t);
        while (t && balance > 0) {
            balance = paren_count(t->text, balance);
            t = toklist_remove(tokens, t);
        }
    }
}

} // namespace


int cond_is_operator(std::string_view token)
{
    return operator_of(token, nullptr) != Op::Unknown ? 1 : 0;
}

int cond_compare(std::string_view v1, std::string_view v2, int kind, bool v1_empty, bool v2_empty)
{
    if (v1_empty || v2_empty) {
        if (v1_empty && v2_empty)
            return kCmpEqual;
        if (calc_is_number(v1_empty ? v2 : v1))
            return kCmpNotComparable;
    }
    double a = 0.0;
    double b = 0.0;
    const bool numbers = !v1_empty && !v2_empty && calc_number_value(v1, &a) &&
                         calc_number_value(v2, &b);
    if (kind == kCmpDivides) {
        if (!numbers)
            return kCmpLess;
        if (a == 0.0)
            return kCmpLess;
        return std::fmod(b, a) == 0.0 ? kCmpEqual : kCmpLess;
    }
    if (numbers) {
        return a < b ? kCmpLess : (a > b ? kCmpGreater : kCmpEqual);
    }
    return to_result(kind == kCmpExact ? compare_exact(v1, v2) : text_compare_nocase(v1, v2));
}

int cond_value_true(std::string_view value)
{
    if (value.empty() || text_equal_nocase(value, "$false"))
        return 0;
    if (calc_is_number(value) && calc_read_real(value) == 0.0)
        return 0;
    return 1;
}

int cond_evaluate(const StringNode* comparison, Connection* conn, std::string& v1, std::string& v2)
{
    v1.clear();
    v2.clear();
    if (!comparison)
        return kCondInvalid;
    v1 = comparison->text;
    const StringNode* op_node = comparison->next;
    if (!op_node)
        return cond_value_true(v1) ? kCondTrue : kCondFalse;
    bool negate = false;
    const Op op = operator_of(op_node->text, &negate);
    if (op == Op::Unknown)
        return kCondUnknownOperator;
    const StringNode* second = op_node->next;
    const bool has_v2 = second != nullptr;
    if (has_v2)
        v2 = second->text;
    if (!has_v2 && needs_second_value(op))
        return kCondInvalid;
    const bool result = test_operator(op, v1, v2, has_v2, conn);
    return (result != negate) ? kCondTrue : kCondFalse;
}

StringNode* cond_build_comparison(const TokenList& evaluated, int* has_operator)
{
    if (has_operator)
        *has_operator = 0;
    const EvalToken* t = evaluated.head;
    if (!t)
        return nullptr;
    std::string first;
    const EvalToken* op = nullptr;
    for (; t; t = t->next) {
        if (!(t->flags & kTokEmpty) && cond_is_operator(t->text)) {
            op = t;
            break;
        }
        if (!(t->flags & kTokEmpty))
            append_word(first, t->text);
    }
    StringNode* list = nullptr;
    if (!op) {
        return strlist_append(list, std::string_view(first), 0);
    }
    if (has_operator)
        *has_operator = 1;
    list = strlist_append(list, std::string_view(first), 0);
    if (!list)
        return nullptr;
    if (!strlist_append(list, std::string_view(op->text), 0)) {
        strlist_free(&list);
        return nullptr;
    }
    if (op->next && !is_connective(op->next)) {
        std::string second;
        for (t = op->next; t && !is_connective(t); t = t->next) {
            if (!(t->flags & kTokEmpty))
                append_word(second, t->text);
        }
        if (!strlist_append(list, std::string_view(second), 0)) {
            strlist_free(&list);
            return nullptr;
        }
    }
    return list;
}

int cond_take_condition_tokens(TokenList& tokens, TokenList* group)
{
    int group_count = -1; // -1: no group in parentheses
    while (tokens.head && !tokens.head->text.empty() && tokens.head->text[0] == '(') {
        EvalToken* head = tokens.head;
        EvalToken* end = nullptr;
        int count = 0;
        int balance = 0;
        for (EvalToken* t = head; t; t = t->next) {
            ++count;
            balance = paren_count(t->text, balance);
            if (balance <= 0) {
                end = t;
                break;
            }
        }
        if (!end)
            end = tokens.tail;
        head->text.erase(0, 1);
        if (!end->text.empty() && end->text.back() == ')')
            end->text.pop_back();
        if (end != head && end->text.empty()) {
            toklist_remove(tokens, end);
            --count;
        }
        if (head->text.empty()) {
            toklist_remove(tokens, head);
            --count;
        }
        group_count = count;
        if (count <= 0)
            break;
    }

    // Moves the head token into the group (an empty one only drops out, as
    // joining the group's words would drop it).
    auto move_head = [&tokens, group]() {
        EvalToken* t = tokens.head;
        if (!group || t->text.empty()) {
            toklist_remove(tokens, t);
            return;
        }
        toklist_unlink(tokens, t);
        t->blanks = 1;
        toklist_append(*group, t);
    };
    int moved = 0;
    while (tokens.head && (group_count < 0 || moved < group_count)) {
        EvalToken* t = tokens.head;
        if (is_lone_brace(t) || is_connective(t))
            break;
        const std::string& text = t->text;
        const bool ident = (!text.empty() && text[0] == '$') ||
                           (text.size() > 1 && text[0] == '!' && text[1] == '$');
        int balance = (ident && text.find('(') != std::string::npos) ? paren_count(text, 0) : 0;
        move_head();
        ++moved;
        while (balance > 0 && tokens.head && (group_count < 0 || moved < group_count)) {
            balance = paren_count(tokens.head->text, balance);
            move_head();
            ++moved;
        }
    }
    return (group_count >= 0 || moved > 0) ? 1 : 0;
}

int cond_take_condition(TokenList& tokens, std::string& scratch, std::string& condition)
{
    GroupList taken(tokens);
    const int r = cond_take_condition_tokens(tokens, &taken.list);
    scratch.clear();
    for (const EvalToken* t = taken.list.head; t; t = t->next)
        append_word(scratch, t->text);
    condition = scratch;
    return r;
}

int cond_run_chain_tokens(TokenList& tokens, const CondTokenEvaluator& evaluate, Connection* conn,
                          std::string& v1, std::string& v2, int* used_operator,
                          std::string* operator_text)
{
    if (used_operator)
        *used_operator = 0;
    GroupList group(tokens);
    if (!cond_take_condition_tokens(tokens, &group.list))
        return kCondInvalid;
    int result = run_group(group.list, evaluate, conn, v1, v2, used_operator, operator_text);
    if (result < 0)
        return result;
    // Each step removes at least the connective, so the walk ends.
    while (is_connective(tokens.head)) {
        const bool is_and = std::string_view(tokens.head->text) == "&&";
        toklist_remove(tokens, tokens.head);
        if (!tokens.head || is_connective(tokens.head) || is_lone_brace(tokens.head))
            return kCondAmbiguous;
        if (is_and == (result == kCondTrue)) {
            if (!cond_take_condition_tokens(tokens, &group.list))
                return kCondAmbiguous;
            result = run_group(group.list, evaluate, conn, v1, v2, used_operator, operator_text);
            if (result < 0)
                return result;
        } else {
            skip_group(tokens);
        }
    }
    return result;
}

namespace {

bool is_connective_text(std::string_view t)
{
    return t == "&&" || t == "||";
}

// evaluate_comparison on values in place of evaluated tokens.
int compare_values(const std::string_view* values, std::size_t count, std::size_t op, Op kind,
                   bool negate, Connection* conn, std::string& v1, std::string& v2)
{
    bool has_v2 = false;
    if (op == 1 && count == 3 && !is_connective_text(values[2])) {
        // The usual "value operator value": each side one value.
        v1.assign(values[0].substr(0, kLongText));
        v2.assign(values[2].substr(0, kLongText));
        const bool result = test_operator(kind, v1, v2, true, conn);
        return (result != negate) ? kCondTrue : kCondFalse;
    }
    v1.clear();
    v2.clear();
    for (std::size_t i = 0; i < count && i != op; ++i)
        append_word(v1, values[i]);
    if (v1.size() > kLongText)
        v1.resize(kLongText);
    if (op < count && op + 1 < count && !is_connective_text(values[op + 1])) {
        has_v2 = true;
        for (std::size_t i = op + 1; i < count && !is_connective_text(values[i]); ++i)
            append_word(v2, values[i]);
        if (v2.size() > kLongText)
            v2.resize(kLongText);
    }
    if (count == 0)
        return kCondInvalid;
    if (op >= count)
        return cond_value_true(v1) ? kCondTrue : kCondFalse;
    if (!has_v2 && needs_second_value(kind))
        return kCondInvalid;
    const bool result = test_operator(kind, v1, v2, has_v2, conn);
    return (result != negate) ? kCondTrue : kCondFalse;
}

} // namespace

int cond_test_values(const std::string_view* values, std::size_t count, Connection* conn,
                     std::string& v1, std::string& v2, int* used_operator,
                     std::string* operator_text)
{
    if (used_operator)
        *used_operator = 0;
    // As run_group: the first value that is an operator.
    std::size_t op = count;
    Op kind = Op::Unknown;
    bool negate = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (values[i].empty())
            continue;
        kind = operator_of(values[i], &negate);
        if (kind != Op::Unknown) {
            op = i;
            break;
        }
    }
    if (op == count) {
        kind = Op::Unknown;
        negate = false;
    }
    if (operator_text) {
        if (op < count)
            operator_text->assign(values[op].substr(0, kLongText));
        else
            operator_text->clear();
    }
    if (op < count) {
        if (used_operator)
            *used_operator = 1;
        return compare_values(values, count, op, kind, negate, conn, v1, v2);
    }
    std::string value;
    std::string none;
    return compare_values(values, count, count, kind, negate, conn, value, none);
}

int cond_run_chain(TokenList& tokens, const CondGroupEvaluator& evaluate, Connection* conn,
                   std::string& v1, std::string& v2, int* used_operator,
                   std::string* operator_text)
{
    // Each group reaches the evaluator as its words joined with blanks.
    std::string condition;
    CondTokenEvaluator by_text = [&evaluate, &condition](TokenList& group) {
        condition.clear();
        for (const EvalToken* t = group.head; t; t = t->next)
            append_word(condition, t->text);
        toklist_clear(group);
        return evaluate(condition, group);
    };
    return cond_run_chain_tokens(tokens, by_text, conn, v1, v2, used_operator, operator_text);
}

std::size_t cond_find_block_open(std::string_view command)
{
    for (std::size_t i = 0; i < command.size(); ++i) {
        if (command[i] == '{' && (i == 0 || command[i - 1] == ' '))
            return i + 1;
    }
    return std::string_view::npos;
}

void cond_register_rank_tests(int (*has_rank)(const std::string&, WindowRecord*, int),
                              int (*has_prefix)(const std::string&, WindowRecord*, std::string_view))
{
    g_has_rank = has_rank;
    g_has_prefix = has_prefix;
}

void cond_register_user_list_test(int (*matches)(int, const std::string&, const std::string*, Connection*))
{
    g_user_list = matches;
}

void cond_register_ignore_test(int (*ignored)(const std::string&, const char*, Connection*))
{
    g_ignored = ignored;
}

void cond_register_notify_test(int (*listed)(const std::string&, Connection*))
{
    g_notified = listed;
}

int cond_nick_has_rank(const std::string& nick, WindowRecord* channel, int kind)
{
    return g_has_rank ? g_has_rank(nick, channel, kind) : 0;
}
