#include "core/list_sort.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "core/text_buffer.h"

namespace {

int compare_case(std::string_view a, std::string_view b)
{
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

template <class T>
int three_way(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the decimal number at the start of the text: an optional sign,
// digits with at most one point, and an optional exponent. Sets `found`
// when at least one digit was read. Independent of the process locale.
double leading_decimal(std::string_view text, bool* found = nullptr)
{
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t start = pos;
    bool digits = false;
    while (pos < text.size() && is_digit(text[pos])) {
        ++pos;
        digits = true;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && is_digit(text[pos])) {
            ++pos;
            digits = true;
        }
    }
    if (found)
        *found = digits;
    if (!digits)
        return 0.0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t exp = pos + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-'))
            ++exp;
        if (exp < text.size() && is_digit(text[exp])) {
            while (exp < text.size() && is_digit(text[exp]))
                ++exp;
            pos = exp;
        }
    }
    double value = 0.0;
    const char* first = text.data() + start;
    const auto result = std::from_chars(first, text.data() + pos, value);
    if (result.ec == std::errc::result_out_of_range)
        value = std::numeric_limits<double>::infinity();
    return negative ? -value : value;
}

// An optionally signed decimal number with at most one point and at least one
// digit, and nothing else.
bool text_is_number(std::string_view text)
{
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    bool digits = false;
    bool point = false;
    for (; pos < text.size(); ++pos) {
        if (is_digit(text[pos])) {
            digits = true;
        } else if (text[pos] == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digits;
}

// An optional sign followed by a digit.
bool begins_with_number(std::string_view text)
{
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    return pos < text.size() && is_digit(text[pos]);
}

// An optionally signed string of digits.
bool is_signed_digits(std::string_view text)
{
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    if (pos >= text.size())
        return false;
    for (; pos < text.size(); ++pos)
        if (!is_digit(text[pos]))
            return false;
    return true;
}

// The integer at the start of a text, read as the C library's atoi reads it
// (leading blanks, a sign, digits), clamped to the range of long long.
long long leading_integer(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    long long value = 0;
    constexpr long long kMax = std::numeric_limits<long long>::max();
    for (; pos < text.size() && is_digit(text[pos]); ++pos) {
        const int d = text[pos] - '0';
        if (value > (kMax - d) / 10) {
            value = kMax;
            break;
        }
        value = value * 10 + d;
    }
    return negative ? -value : value;
}

std::string_view text_from(const StringNode* node, long long offset)
{
    std::string_view text = node->text;
    if (offset <= 0)
        return text;
    if (static_cast<unsigned long long>(offset) >= text.size())
        return std::string_view();
    return text.substr(static_cast<std::size_t>(offset));
}

std::string_view up_to(std::string_view text, char end)
{
    const std::size_t pos = text.find(end);
    return pos == std::string_view::npos ? text : text.substr(0, pos);
}

// State shared by the comparisons of one sort. Values that come from other
// parts of the program are fetched once, when first needed.
struct SortEnv {
    const SortInputs* inputs = nullptr;
    bool have_success = false;
    std::unordered_map<std::string, int> success; // host (lower case) -> position

    const std::string& nick_prefixes() const { return inputs->nick_prefixes; }

    const std::unordered_map<std::string, int>& success_positions()
    {
        if (!have_success) {
            have_success = true;
            StringNode* list = nullptr;
            for (const StringNode* cur = inputs->success; cur; cur = cur->next)
                list = strlist_append(list, std::string_view(cur->text), 0);
            list = strlist_sort(list, 12);
            int position = 0;
            for (StringNode* cur = list; cur; cur = cur->next, ++position) {
                std::string host(up_to(cur->text, ','));
                text_collapse_char(host, ' ');
                success.emplace(text_lower_copy(host), position);
            }
            strlist_free(&list);
        }
        return success;
    }
};

// ---- mode 1 ----------------------------------------------------------------

int random_rank(std::string_view description)
{
    if (text_find_nocase(description, "Random Server") != std::string_view::npos)
        return 0;
    if (text_find_nocase(description, "Random") != std::string_view::npos &&
        text_find_nocase(description, "server") != std::string_view::npos)
        return 1;
    return 2;
}

int compare_server_entries(const StringNode* a, const StringNode* b)
{
    std::string group_a, group_b;
    sort_server_entry_field(a->text, 4, group_a);
    sort_server_entry_field(b->text, 4, group_b);
    if (group_a.empty() != group_b.empty())
        return group_a.empty() ? 1 : -1;
    if (int c = sort_compare_nocase(group_a, group_b))
        return c;
    std::string desc_a, desc_b;
    sort_server_entry_field(a->text, 0, desc_a);
    sort_server_entry_field(b->text, 0, desc_b);
    if (int c = three_way(random_rank(desc_a), random_rank(desc_b)))
        return c;
    return sort_compare_nocase(a->text, b->text);
}

// ---- mode 3 ----------------------------------------------------------------

int compare_columns(const StringNode* a, const StringNode* b, const SortEnv& env)
{
    const int flags = a->wrapMode;
    const bool reverse = (flags & 1) != 0;
    const bool has_a = a->serial >= 0;
    const bool has_b = b->serial >= 0;
    const std::string_view from_a = has_a ? text_from(a, a->serial) : std::string_view(a->text);
    const std::string_view from_b = has_b ? text_from(b, b->serial) : std::string_view(b->text);

    if ((flags & 4) && !strlist_sort_expression.empty()) {
        std::string result;
        const auto& eval = env.inputs->eval_expression;
        if (eval && eval(strlist_sort_expression, from_a, from_b, result) > 0) {
            std::string_view r = result;
            while (!r.empty() && (r.front() == ' ' || r.front() == '\t'))
                r.remove_prefix(1);
            const double value = leading_decimal(r);
            return value < 0 ? -1 : (value > 0 ? 1 : 0);
        }
    }

    if (flags & 2) {
        const bool num_a = has_a && begins_with_number(from_a);
        const bool num_b = has_b && begins_with_number(from_b);
        if (num_a && num_b) {
            int c = three_way(leading_decimal(from_a), leading_decimal(from_b));
            if (c == 0)
                c = sort_compare_nocase(from_a, from_b);
            return reverse ? -c : c;
        }
        if (num_a != num_b)
            return num_a ? -1 : 1;
    }

    if (has_a != has_b)
        return has_a ? -1 : 1;
    if (!has_a)
        return 0;
    const char end = static_cast<char>(a->extra[0]);
    const std::string_view col_a = end ? up_to(from_a, end) : from_a;
    const std::string_view col_b = end ? up_to(from_b, end) : from_b;
    int c = sort_compare_nocase(col_a, col_b);
    if (c == 0)
        c = sort_compare_nocase(from_a, from_b);
    return reverse ? -c : c;
}

// ---- modes 4 and 44 ----------------------------------------------------------

int compare_tokens(const StringNode* a, const StringNode* b, bool case_sensitive, SortEnv& env)
{
    const int flags = a->number;
    auto texts = [&]() {
        return case_sensitive ? compare_case(a->text, b->text) : sort_compare_nocase(a->text, b->text);
    };
    int c = 0;
    if (flags & 1) {
        c = texts();
    } else if (flags & 2) {
        c = three_way(leading_decimal(a->text), leading_decimal(b->text));
    } else if (flags & 4) {
        const char first_a = a->text.empty() ? '\0' : a->text[0];
        const char first_b = b->text.empty() ? '\0' : b->text[0];
        if (first_a == first_b) {
            c = texts();
        } else {
            const std::string& prefixes = env.nick_prefixes();
            const std::size_t rank_a = first_a ? prefixes.find(first_a) : std::string::npos;
            const std::size_t rank_b = first_b ? prefixes.find(first_b) : std::string::npos;
            if (rank_a == std::string::npos && rank_b == std::string::npos)
                c = texts();
            else
                c = three_way(rank_a, rank_b); // npos sorts after any position
        }
    } else if (flags & 16) {
        const bool num_a = text_is_number(a->text);
        const bool num_b = text_is_number(b->text);
        if (num_a != num_b)
            c = num_a ? 1 : -1;
        else if (num_a)
            c = three_way(leading_decimal(a->text), leading_decimal(b->text));
        else
            c = texts();
    } else {
        return 0;
    }
    return (flags & 8) ? -c : c;
}

// ---- mode 5 ----------------------------------------------------------------

struct LogName {
    std::string_view name, network, date;
};

LogName split_log_name(std::string_view text)
{
    LogName out;
    const std::size_t ext = text.rfind('.');
    if (ext != std::string_view::npos)
        text = text.substr(0, ext);
    std::size_t dot = text.rfind('.');
    if (dot == std::string_view::npos) {
        out.name = text;
        return out;
    }
    std::string_view part = text.substr(dot + 1);
    std::string_view rest = text.substr(0, dot);
    if (is_signed_digits(part)) {
        out.date = part;
        dot = rest.rfind('.');
        if (dot == std::string_view::npos) {
            out.name = rest;
        } else {
            out.network = rest.substr(dot + 1);
            out.name = rest.substr(0, dot);
        }
    } else {
        out.network = part;
        out.name = rest;
    }
    return out;
}

int compare_log_names(const StringNode* a, const StringNode* b)
{
    const int order = sort_logview_order_hook ? sort_logview_order_hook() : 0;
    if (order == 6)
        return three_way(b->number, a->number);
    if (order == 7)
        return three_way(b->wrapMode, a->wrapMode);
    if (order < 0 || order > 5)
        return sort_compare_nocase(a->text, b->text);
    static const char kOrders[6][3] = {
        {'n', 'w', 'd'}, {'n', 'd', 'w'}, {'w', 'n', 'd'},
        {'w', 'd', 'n'}, {'d', 'n', 'w'}, {'d', 'w', 'n'},
    };
    const LogName la = split_log_name(a->text);
    const LogName lb = split_log_name(b->text);
    for (char field : kOrders[order]) {
        int c = 0;
        switch (field) {
        case 'n':
            c = sort_compare_nocase(la.name, lb.name);
            break;
        case 'w':
            c = sort_compare_nocase(la.network, lb.network);
            break;
        default:
            c = sort_compare_nocase(la.date, lb.date);
            break;
        }
        if (c)
            return c;
    }
    return 0;
}

// ---- mode 8 ----------------------------------------------------------------

int compare_script_files(const StringNode* a, const StringNode* b)
{
    int kind_a = 0, kind_b = 0, popup_a = 0, popup_b = 0;
    std::string path_a, path_b;
    // A record that is not a loaded script file sorts after every one that is.
    const bool loaded_a = sort_script_file_hook && sort_script_file_hook(a->extra[3], &kind_a, &popup_a, &path_a) > 0;
    const bool loaded_b = sort_script_file_hook && sort_script_file_hook(b->extra[3], &kind_b, &popup_b, &path_b) > 0;
    if (loaded_a != loaded_b)
        return loaded_a ? -1 : 1;
    if (!loaded_a)
        return 0;
    if (int c = three_way(kind_a, kind_b))
        return c;
    if (kind_a == 1) {
        if (int c = three_way(popup_a, popup_b))
            return c;
    }
    return sort_compare_nocase(path_a, path_b);
}

// ---- mode 10 ---------------------------------------------------------------

int compare_chanfolder(const StringNode* a, const StringNode* b)
{
    std::string group_a, group_b;
    sort_chanfolder_entry_field(a->text, 7, group_a);
    sort_chanfolder_entry_field(b->text, 7, group_b);
    if (group_a.empty() != group_b.empty())
        return group_a.empty() ? 1 : -1;
    if (int c = sort_compare_nocase(group_a, group_b))
        return c;
    std::string chan_a, chan_b;
    sort_chanfolder_entry_field(a->text, 1, chan_a);
    sort_chanfolder_entry_field(b->text, 1, chan_b);
    return sort_compare_nocase(chan_a, chan_b);
}

// ---- mode 11 ---------------------------------------------------------------

int compare_urls(const StringNode* a, const StringNode* b)
{
    std::string_view ta = a->text, tb = b->text;
    while (!ta.empty() && ta.front() == ' ')
        ta.remove_prefix(1);
    while (!tb.empty() && tb.front() == ' ')
        tb.remove_prefix(1);
    const bool marked_a = !ta.empty() && ta.front() == '?';
    const bool marked_b = !tb.empty() && tb.front() == '?';
    if (marked_a && marked_b)
        return 0;
    if (marked_a != marked_b && sort_url_marked_first_hook && sort_url_marked_first_hook())
        return marked_a ? -1 : 1;
    return sort_compare_nocase(ta, tb);
}

// ---- modes 12 and 13 -------------------------------------------------------

int compare_success_counts(const StringNode* a, const StringNode* b)
{
    const std::size_t comma_a = a->text.find(',');
    const std::size_t comma_b = b->text.find(',');
    const bool has_a = comma_a != std::string::npos;
    const bool has_b = comma_b != std::string::npos;
    if (!has_a && !has_b)
        return 0;
    if (has_a != has_b)
        return has_a ? -1 : 1;
    const long long count_a = leading_integer(std::string_view(a->text).substr(comma_a + 1));
    const long long count_b = leading_integer(std::string_view(b->text).substr(comma_b + 1));
    return three_way(count_b, count_a);
}

int compare_success_positions(const StringNode* a, const StringNode* b, SortEnv& env)
{
    const auto& positions = env.success_positions();
    std::string host_a, host_b;
    sort_server_entry_field(a->text, 1, host_a);
    sort_server_entry_field(b->text, 1, host_b);
    const auto found_a = positions.find(text_lower_copy(host_a));
    const auto found_b = positions.find(text_lower_copy(host_b));
    const bool has_a = found_a != positions.end();
    const bool has_b = found_b != positions.end();
    if (!has_a && !has_b)
        return 0;
    if (has_a != has_b)
        return has_a ? -1 : 1;
    return three_way(found_a->second, found_b->second);
}

// ---- all modes ---------------------------------------------------------------

int compare_nodes(const StringNode* a, const StringNode* b, int mode, SortEnv& env)
{
    switch (mode) {
    case 1:
        return compare_server_entries(a, b);
    case 2:
    case 6:
        if (int c = three_way(a->number, b->number))
            return c;
        return sort_compare_nocase(a->text, b->text);
    case 21:
        if (int c = three_way(a->number, b->number))
            return c;
        return sort_compare_nocase(b->text, a->text);
    case 3:
        return compare_columns(a, b, env);
    case 4:
        return compare_tokens(a, b, false, env);
    case 44:
        return compare_tokens(a, b, true, env);
    case 5:
        return compare_log_names(a, b);
    case 7:
        return sort_compare_nocase(up_to(a->text, ','), up_to(b->text, ','));
    case 8:
        return compare_script_files(a, b);
    case 9:
    case 50:
        return three_way(b->number, a->number);
    case 10:
        return compare_chanfolder(a, b);
    case 11:
        return compare_urls(a, b);
    case 12:
        return compare_success_counts(a, b);
    case 13:
        return compare_success_positions(a, b, env);
    case 22:
        if (int c = three_way(a->wrapWidth, b->wrapWidth))
            return c;
        return sort_compare_nocase(text_from(a, a->extra[1]), text_from(b, b->extra[1]));
    case 23:
        if (int c = three_way(b->wrapWidth, a->wrapWidth))
            return c;
        return sort_compare_nocase(text_from(b, b->extra[1]), text_from(a, a->extra[1]));
    default:
        return sort_compare_nocase(a->text, b->text);
    }
}

// The text after the first occurrence of `key`; `present` tells whether the
// key was there.
std::string_view field_after(std::string_view entry, std::string_view key, bool* present)
{
    const std::size_t pos = entry.find(key);
    *present = pos != std::string_view::npos;
    if (!*present)
        return std::string_view();
    return entry.substr(pos + key.size());
}

} // namespace

// ---------------------------------------------------------------------------

std::string strlist_sort_expression;
int (*sort_script_file_hook)(std::intptr_t record, int* kind, int* popup_kind,
                             std::string* path) = nullptr;
int (*sort_url_marked_first_hook)() = nullptr;
int (*sort_logview_order_hook)() = nullptr;
const StringNode* (*winlist_order_hook)() = nullptr;

int sort_compare_nocase(std::string_view a, std::string_view b)
{
    return text_compare_nocase(a, b);
}

StringNode* strlist_sort(StringNode* head, int mode, const SortInputs& inputs)
{
    if (!head)
        return nullptr;
    SortEnv env;
    env.inputs = &inputs;
    auto compare = [&](StringNode* x, StringNode* y) { return compare_nodes(x, y, mode, env); };
    head = list_merge_sort(head, compare);
    // Rebuild the back links; the head's points to the last node.
    StringNode* before = nullptr;
    for (StringNode* cur = head; cur; cur = cur->next) {
        cur->prev = before;
        before = cur;
    }
    head->prev = before;
    return head;
}

int sort_server_entry_field(std::string_view entry, int field, std::string& out)
{
    out.clear();
    bool has_server = false;
    const std::string_view after_server = field_after(entry, "SERVER:", &has_server);
    switch (field) {
    case 0: {
        if (!has_server)
            return 0;
        std::string_view desc = entry.substr(0, entry.size() - after_server.size() - 7);
        if (desc.size() > kShortText)
            desc = desc.substr(0, kShortText);
        out.assign(desc);
        text_trim_right_char(out, ' ');
        break;
    }
    case 1: {
        if (!has_server)
            return 0;
        std::string_view host = after_server;
        const std::size_t group = host.find("GROUP:");
        if (group != std::string_view::npos)
            host = host.substr(0, group);
        host = up_to(host, ':');
        if (host.size() > kShortText)
            host = host.substr(0, kShortText);
        out.assign(host);
        text_collapse_char(out, ' ');
        break;
    }
    case 4: {
        bool has_group = false;
        std::string_view group = field_after(entry, "GROUP:", &has_group);
        if (!has_group)
            return 0;
        if (group.size() > kShortText)
            group = group.substr(0, kShortText);
        out.assign(group);
        text_collapse_char(out, ' ');
        break;
    }
    default:
        return 0;
    }
    return out.empty() ? 0 : 1;
}

int sort_chanfolder_entry_field(std::string_view entry, int field, std::string& out)
{
    out.clear();
    if (field < 1)
        return 0;
    int index = 1;
    std::size_t pos = 0;
    while (pos <= entry.size()) {
        // One field: a quoted part keeps its commas; the quotes are dropped.
        std::string value;
        bool quoted = false;
        while (pos < entry.size() && (quoted || entry[pos] != ',')) {
            if (entry[pos] == '"')
                quoted = !quoted;
            else
                value.push_back(entry[pos]);
            ++pos;
        }
        if (index == field) {
            if (value.size() > kMediumText)
                value.resize(kMediumText);
            out = std::move(value);
            return out.empty() ? 0 : 1;
        }
        if (pos >= entry.size())
            break;
        ++pos; // the comma
        ++index;
    }
    return 0;
}

std::string_view winlist_group_text(int type, int subtype)
{
    switch (type) {
    case 1:
        return "Channel Windows";
    case 2:
        switch (subtype) {
        case 1:
        case 2:
            return "Query Windows";
        case 3:
            return "Chat Windows";
        case 4:
            return "Fserve Windows";
        default:
            return "";
        }
    case 3:
        return subtype == 1 ? "Send Windows" : (subtype == 2 ? "Get Windows" : "");
    case 9:
        return "Custom Windows";
    default:
        return "";
    }
}

namespace {

bool belongs_to_group(const WindowSortKey& w, const StringNode* group)
{
    if (w.type != group->number)
        return false;
    if (w.type == 2 || w.type == 3)
        return w.subtype == group->serial;
    return true;
}

// Position of the window in the order list from `from` on: first by its own
// name, then by its group text; -1 when neither is there.
long find_in_order(const WindowSortKey& w, const StringNode* from)
{
    long position = 0;
    if (!w.name.empty()) {
        for (const StringNode* cur = from; cur; cur = cur->next, ++position)
            if (text_equal_nocase(cur->text, w.name))
                return position;
    }
    const std::string_view group = winlist_group_text(w.type, w.subtype);
    if (!group.empty()) {
        position = 0;
        for (const StringNode* cur = from; cur; cur = cur->next, ++position)
            if (text_equal_nocase(cur->text, group))
                return position;
    }
    return -1;
}

// The user's order list: negative or positive when it decides, 0 when the
// next step must.
int compare_by_order_list(const WindowSortKey& a, const WindowSortKey& b, const StringNode* order)
{
    for (const StringNode* node = order; node; node = node->next) {
        if (node->number == 0) {
            if (text_equal_nocase(node->text, a.name))
                return -1;
            if (text_equal_nocase(node->text, b.name))
                return 1;
            continue;
        }
        const bool in_a = belongs_to_group(a, node);
        const bool in_b = belongs_to_group(b, node);
        if (!in_a && !in_b)
            continue;
        const long pos_a = find_in_order(a, node);
        const long pos_b = find_in_order(b, node);
        if (pos_a >= 0 && (pos_b < 0 || pos_a < pos_b))
            return -1;
        if (pos_b >= 0 && (pos_a < 0 || pos_b < pos_a))
            return 1;
        if (in_a != in_b)
            return in_a ? -1 : 1;
        return 0;
    }
    return 0;
}

} // namespace

int winlist_compare(const WindowSortKey& a, const WindowSortKey& b, const StringNode* order,
                    int sort_by_name)
{
    // 1. Shared windows last.
    if ((a.shared != 0) != (b.shared != 0))
        return a.shared ? 1 : -1;
    // 2. Two status windows by creation.
    if (a.type == 0 && b.type == 0)
        return three_way(a.sequence, b.sequence);
    // 3. By connection; the status window first within one.
    if (a.connection_id != b.connection_id)
        return three_way(a.connection_id, b.connection_id);
    if ((a.type == 0) != (b.type == 0))
        return a.type == 0 ? -1 : 1;
    // 4. The user's order list.
    if (int c = compare_by_order_list(a, b, order))
        return c;
    // 5. By kind: channels, then query-type windows by subtype, then the rest
    // by type; by name within channels and within one subtype when asked.
    const int rank_a = a.type == 1 ? 0 : (a.type == 2 ? 1 : 2);
    const int rank_b = b.type == 1 ? 0 : (b.type == 2 ? 1 : 2);
    if (int c = three_way(rank_a, rank_b))
        return c;
    if (rank_a == 1) {
        if (int c = three_way(a.subtype, b.subtype))
            return c;
    } else if (rank_a == 2) {
        if (int c = three_way(a.type, b.type))
            return c;
    }
    if (sort_by_name && rank_a < 2) {
        if (int c = sort_compare_nocase(a.name, b.name))
            return c;
    }
    // 6. DCC transfers of one subtype by start time and file.
    if (sort_by_name && a.type == 3 && a.subtype == b.subtype && a.has_transfer && b.has_transfer) {
        if (int c = three_way(a.transfer_start, b.transfer_start))
            return c;
        if (int c = sort_compare_nocase(a.transfer_file, b.transfer_file))
            return c;
    }
    // 7. By creation.
    return three_way(a.sequence, b.sequence);
}

int strlist_compare_urls(const StringNode* a, const StringNode* b)
{
    return compare_urls(a, b);
}
