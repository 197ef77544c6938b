#include "identifiers/ban_list_identifiers.h"

#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "model/window_record.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/time_date.h"
#include "irc/lists/ban_lists.h"
#include "script/exec/script_types.h"

namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t';
}

// The last word of the entry as a time of at least 1; 0 when it is not a
// whole number.
long long entry_time(std::string_view text)
{
    std::size_t end = text.size();
    while (end > 0 && blank(text[end - 1])) --end;
    std::size_t start = end;
    while (start > 0 && !blank(text[start - 1])) --start;
    const std::string_view word = text.substr(start, end - start);
    if (word.empty() || word.size() > 19) return 0;
    long long v = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Reads N; values past the range of int saturate.
long read_n(const std::string& text)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str()) return 0;
    return v;
}

int ident_bans(IdentCall& call)
{
    return chan_list_ident(call, call.variant);
}

}  // namespace

int chan_list_entry_part(const StringNode* entry, std::string& result, int part)
{
    result.clear();
    if (!entry) return 0;
    const std::string_view text = entry->text;
    const std::size_t tab = text.find('\t');
    switch (part) {
    case 0:
        result = std::string(tab == std::string_view::npos ? text : text.substr(0, tab));
        break;
    case 1: {
        if (tab == std::string_view::npos) break;
        std::size_t i = tab + 1;
        while (i < text.size() && text[i] == ' ') ++i;
        std::size_t end = i;
        while (end < text.size() && text[end] != ' ') ++end;
        result = std::string(text.substr(i, end - i));
        std::size_t j = end;
        while (j < text.size() && text[j] == ' ') ++j;
        if (!result.empty() && j < text.size() && text[j] == '(') {
            const std::size_t close = text.find(')', j + 1);
            const std::size_t stop = close == std::string_view::npos ? text.size() : close;
            result += '!';
            result += text.substr(j + 1, stop - j - 1);
        }
        break;
    }
    case 2: {
        const long long t = entry_time(text);
        if (t < 1) break;
        result = "mmm doo h:nntt";
        if (!time_format_user(static_cast<std::time_t>(t), result, 0)) result.clear();
        break;
    }
    case 3: {
        const long long t = entry_time(text);
        if (t >= 1) result = std::to_string(t);
        break;
    }
    default:
        break;
    }
    if (result.size() > kLongText) result.resize(kLongText);
    return result.empty() ? 0 : 1;
}

int chan_list_ident(IdentCall& call, int index)
{
    const int r = ident_args_step(call, 2);
    if (r >= 0) return r;
    call.value->clear();
    WindowRecord* rec = win_find_by_name(ident_arg(call, 0), call.conn());
    if (rec && index >= 0 && index <= 2) {
        const long n = read_n(ident_arg(call, 1));
        if (n <= 0) {
            *call.value = std::to_string(strlist_count(rec->chan_lists[index]));
        } else {
            const StringNode* node = rec->chan_lists[index];
            for (long i = 1; node && i < n; ++i) node = node->next;
            if (node) {
                const std::string_view prop = ident_property(call);
                int part = 0;
                if (text_equal_nocase(prop, "by")) part = 1;
                else if (text_equal_nocase(prop, "date")) part = 2;
                else if (text_equal_nocase(prop, "ctime")) part = 3;
                chan_list_entry_part(node, *call.value, part);
            }
        }
    }
    return ident_finish(call);
}

void ban_list_identifiers_register()
{
    ident_register("banlist(", ident_bans, kChanListBans);
    ident_register("ibl(", ident_bans, kChanListBans);
    ident_register("iel(", ident_bans, kChanListExcepts);
    ident_register("iil(", ident_bans, kChanListInvites);
}
