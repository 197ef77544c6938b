// Users file and user levels.
#include "script/events/users.h"

#include <cctype>
#include <cstdlib>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/eval/conditions.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/events/remote_files.h"

int user_default_level = 1;

namespace {


bool has_wild(std::string_view t) { return t.find_first_of("*?") != std::string_view::npos; }

std::string_view skip_level_prefix(std::string_view e)
{
    std::size_t i = 0;
    while (i < e.size() && (e[i] == '=' || e[i] == ' '))
        ++i;
    return e.substr(i);
}

// The number of an entry that begins with a digit, else -1 (a name).
long entry_number(std::string_view e)
{
    e = skip_level_prefix(e);
    if (e.empty() || !std::isdigit(static_cast<unsigned char>(e[0])))
        return -1;
    long v = 0;
    for (std::size_t i = 0; i < e.size() && std::isdigit(static_cast<unsigned char>(e[i])); ++i) {
        v = v * 10 + (e[i] - '0');
        if (v > 1000000000L)
            break;
    }
    return v;
}

bool is_code_line(const StringNode* n) { return n->extra[1] == 0; }

} // namespace

StringNode* users_file_lines()
{
    ScriptFile* f = remote_file_of_kind(kRemoteUsers);
    return f ? f->lines : nullptr;
}

int ip_mask_classify(std::string_view t)
{
    int bits = 0;
    int dots = 0;
    char prev = 0;   // 'd' digit, 'w' wildcard, '.' dot, 0 start
    std::size_t i = 0;
    while (i < t.size()) {
        char c = t[i];
        if (std::isdigit(static_cast<unsigned char>(c))) {
            int v = 0;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
                v = v * 10 + (t[i] - '0');
                if (v > 255)
                    return 0;
                ++i;
            }
            bits |= 1;
            prev = 'd';
            continue;
        }
        if (c == '*' || c == '?') {
            bits |= 2;
            prev = 'w';
        } else if (c == '.') {
            if (prev != 'd' && prev != 'w')
                return 0;
            ++dots;
            prev = '.';
        } else {
            return 0;
        }
        ++i;
    }
    if (t.empty() || prev == '.' || dots > 3)
        return 0;
    if (bits == 1 && dots != 3)
        return 0;
    return bits;
}

int address_masks_match(std::string_view a, std::string_view b, int strict)
{
    std::size_t ea = a.find('!'), eb = b.find('!');
    if ((ea == std::string_view::npos) != (eb == std::string_view::npos))
        return 0;
    if (ea == std::string_view::npos)
        return 1;
    if (!wild_match_masks(a.substr(0, ea), b.substr(0, eb), 0))
        return 0;
    a = a.substr(ea + 1);
    b = b.substr(eb + 1);
    if (a.empty() || b.empty())
        return a.empty() && b.empty();
    std::size_t ua = a.find('@'), ub = b.find('@');
    if ((ua == std::string_view::npos) != (ub == std::string_view::npos))
        return 0;
    if (ua == std::string_view::npos)
        return 1;
    if (!wild_match_masks(a.substr(0, ua), b.substr(0, ub), 0))
        return 0;
    std::string_view ha = a.substr(ua + 1), hb = b.substr(ub + 1);
    if (ha.empty() || hb.empty())
        return ha.empty() && hb.empty();
    if (strict && (ha == "*" || hb == "*"))
        return 0;
    int ca = ip_mask_classify(ha), cb = ip_mask_classify(hb);
    if (ca == 0 && cb == 1)
        return 0;
    if (ca == 1 && cb == 0)
        return 0;
    return wild_match_masks(ha, hb, 0) ? 1 : 0;
}

int users_line_match(std::string_view line, std::string_view nick, const std::string* address,
                     std::string_view level_name, int strict, const EventFireContext* ctx,
                     std::string* level_out)
{
    std::size_t start = 0;
    while (start < line.size() && line[start] == ' ')
        ++start;
    std::string_view t = line.substr(start).substr(0, kLongText);
    if (t.empty())
        return -1;
    std::size_t colon = t.find(':');
    if (colon == std::string_view::npos || colon + 1 >= t.size())
        return -1;
    std::string_view levels = t.substr(0, colon);
    if (level_out)
        level_out->assign(levels.substr(0, kMediumText));
    if (!level_name.empty()) {
        bool found = false;
        std::size_t p = 0;
        while (p <= levels.size() && !found) {
            std::size_t q = levels.find(',', p);
            std::string_view e = levels.substr(p, q == std::string_view::npos ? std::string_view::npos : q - p);
            found = text_equal_nocase(skip_level_prefix(e), level_name);
            if (q == std::string_view::npos)
                break;
            p = q + 1;
        }
        if (!found)
            return -1;
    }
    std::size_t mpos = colon + 1;
    while (mpos < t.size() && t[mpos] == ' ')
        ++mpos;
    std::string_view mask = t.substr(mpos);
    mask = mask.substr(0, mask.find(' '));
    int at = static_cast<int>(start + mpos);
    if (mask.empty())
        return -1;
    std::string subject(nick);
    if (address) {
        subject += '!';
        subject += *address;
    }
    if (!level_name.empty() && nick == "*" && (!address || *address == "*@*.*"))
        return at;
    if (text_equal_nocase(mask, nick) || text_equal_nocase(mask, subject))
        return at;
    bool subject_wild = has_wild(subject);
    if (!level_name.empty()) {
        if (subject_wild && has_wild(mask))
            return address_masks_match(mask, subject, strict) ? at : -1;
        if (subject_wild)
            return wild_match(subject, mask, 0, 1) ? at : -1;
    }
    if (!address && ctx && subject_wild &&
        (ctx->event_id == kEvBan || ctx->event_id == kEvUnban))
        return address_masks_match(mask, subject, strict) ? at : -1;
    return wild_match(mask, subject, 0, 1) ? at : -1;
}

int users_line_enabled(const StringNode* line)
{
    return line && is_code_line(line) ? 1 : 0;
}

int user_levels_of_address(std::string_view nick, const std::string* address,
                           std::string* level_list, std::string* matched_mask,
                           const EventFireContext* ctx)
{
    std::string levels;
    for (StringNode* n = users_file_lines(); n; n = n->next) {
        if (!is_code_line(n))
            continue;
        int at = users_line_match(n->text, nick, address, {}, 0, ctx, &levels);
        if (at < 0)
            continue;
        if (matched_mask) {
            std::string_view m = std::string_view(n->text).substr(static_cast<std::size_t>(at));
            matched_mask->assign(m.substr(0, m.find(' ')).substr(0, kShortText));
        }
        std::size_t k = 0;
        while (k < levels.size() && levels[k] == ' ')
            ++k;
        if (k == levels.size()) {
            if (level_list)
                *level_list = std::to_string(user_default_level);
            return user_default_level;
        }
        if (level_list)
            *level_list = levels;
        long v = entry_number(std::string_view(levels).substr(0, levels.find(',')));
        if (v < 1)
            return user_default_level;
        return static_cast<int>(v);
    }
    if (level_list)
        *level_list = std::to_string(user_default_level);
    if (matched_mask)
        matched_mask->clear();
    return user_default_level;
}

StringNode* user_level_list(std::string_view nick, const std::string* address)
{
    StringNode* head = nullptr;
    std::string levels;
    for (StringNode* n = users_file_lines(); n; n = n->next) {
        if (!is_code_line(n))
            continue;
        if (users_line_match(n->text, nick, address, {}, 0, nullptr, &levels) < 0)
            continue;
        std::string clean;
        for (char c : levels)
            if (c != ' ')
                clean += c;
        std::size_t k = 0;
        while (k < clean.size() && clean[k] == '=')
            ++k;
        StringNode* h = strlist_append(head, std::string_view(clean).substr(k), 0);
        if (h)
            head = h;
    }
    if (!head)
        head = strlist_append(nullptr, std::to_string(user_default_level), 0);
    return head;
}

std::string userlist_levels(std::string_view nick, const std::string* address)
{
    std::string out;
    for (StringNode* n = users_file_lines(); n; n = n->next) {
        std::string levels;
        if (!is_code_line(n) || users_line_match(n->text, nick, address, {}, 0, nullptr, &levels) < 0)
            continue;
        if (!out.empty())
            out += ',';
        out += levels;
        if (out.size() > kLongText) {
            out.resize(kLongText);
            break;
        }
    }
    return out;
}

int event_nick_is_me(const EventFireContext* ctx)
{
    if (!ctx || !ctx->conn || !conn_is_live(ctx->conn))
        return 0;
    return text_equal_nocase(ctx->nick, event_own_nick(ctx->conn)) ? 1 : 0;
}

int event_me_is_op(const EventFireContext* ctx)
{
    if (!ctx || !ctx->line || !ctx->conn || !conn_is_live(ctx->conn))
        return 0;
    const std::string& target = ctx->line->target;
    if (target.empty())
        return 0;
    const std::string& types = ctx->conn->chan_types.empty() ? std::string("#&") : ctx->conn->chan_types;
    if (types.find(target[0]) == std::string::npos)
        return 0;
    WindowRecord* chan = win_find_channel(target, ctx->conn);
    return chan && cond_nick_has_rank(conn_own_nick(ctx->conn), chan, 0) ? 1 : 0;
}
