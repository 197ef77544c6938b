#include "display/nick_colours.h"

#include <QListWidget>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "display/child_controls.h"
#include "display/second_tick.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/record_slots.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "display/draw.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "irc/dispatch/messages.h"
#include "irc/link/send_queue.h"
#include "irc/lists/address_list.h"
#include "irc/lists/notify_list.h"
#include "irc/link/conn_tick.h"
#include "irc/lists/user_lists.h"
#include "platform/platform_utils.h"
#include "script/events/users.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_types.h"

std::vector<NickColorRule> cnick_rules;

namespace {

// Words of a nick-list entry kept by the rules.
constexpr int kNickIdle = 5;      // seconds idle
constexpr int kNickRecolor = 6;   // 1: to be recoloured

struct TickState {
    int ticks = 0;
};
RecordSlot<TickState> g_tick_slot;

bool g_pending = false;

std::string first_word(std::string s)
{
    while (!s.empty() && s.front() == ' ')
        s.erase(0, 1);
    const std::size_t blank = s.find(' ');
    if (blank != std::string::npos)
        s.resize(blank);
    return s;
}

int to_int(const std::string& s)
{
    return std::atoi(s.c_str());
}

bool colouring_on()
{
    return opt(OPT_NICK_COLOURS_ENABLED) != 0;
}

// "nick!user@host" of a nick from the internal address list; empty when unknown.
std::string nick_address(const std::string& nick, Connection* conn)
{
    IalResult found;
    if (!ial_lookup(nick, found, conn) || found.text.empty())
        return std::string();
    if (found.text.find('!') != std::string::npos)
        return found.text;
    return nick + "!" + found.text;
}

bool level_equal(std::string_view a, std::string_view b)
{
    if (!a.empty() && a[0] == '=')
        a.remove_prefix(1);
    if (!b.empty() && b[0] == '=')
        b.remove_prefix(1);
    return text_equal_nocase(a, b);
}

// Whether one of the user's levels (from the user list) is among the rule's.
bool levels_hold(const NickColorRule& rule, const std::string& nick, const std::string* address)
{
    StringNode* list = user_level_list(nick, address);
    bool hit = false;
    for (StringNode* n = list; n && !hit; n = n->next) {
        std::size_t p = 0;
        const std::string& levels = n->text;
        while (p <= levels.size() && !hit) {
            std::size_t comma = levels.find(',', p);
            if (comma == std::string::npos)
                comma = levels.size();
            const std::string_view level(levels.data() + p, comma - p);
            std::size_t q = 0;
            while (q < rule.levels.size() && !hit) {
                std::size_t blank = rule.levels.find(' ', q);
                if (blank == std::string::npos)
                    blank = rule.levels.size();
                hit = !level.empty() && level_equal(level, std::string_view(rule.levels).substr(q, blank - q));
                q = blank + 1;
            }
            p = comma + 1;
        }
    }
    strlist_free(&list);
    return hit;
}

QListWidgetItem* item_of(WindowRecord* rec, NickEntry* entry)
{
    ListBox* list = rec->listbox.get();
    const int row = list ? nicklist_row_of(rec, entry) : -1;
    return row >= 0 ? list->item(row) : nullptr;
}

// Recomputes one member's colour; 1 when it changed.
int recolor_entry(WindowRecord* rec, NickEntry* e)
{
    e->extra[kNickRecolor] = 0;
    if (e->extra[kNickColourState] != 0)
        return 0;
    int c = -1;
    cnick_match(rec, e->text, e->number, static_cast<int>(e->extra[kNickIdle]), &c, 2, rec->conn);
    const int colour = c >= 0 && c <= 15 ? c : 99;
    int old = static_cast<int>(e->extra[kNickColour]);
    if (old < 0 || old > 15)
        old = 99;
    if (colour == old)
        return 0;
    e->extra[kNickColour] = colour;
    if (QListWidgetItem* item = item_of(rec, e)) {
        item->setData(Qt::UserRole, colour);
        if (colour <= 15)
            item->setForeground(draw_palette_colour(colour));
        else
            item->setData(Qt::ForegroundRole, QVariant());
    }
    return 1;
}

bool is_channel(const WindowRecord* rec)
{
    return rec && rec->type == kWinChannel;
}

}  // namespace

bool cnick_rule_parse(NickColorRule& rule, const std::string& value)
{
    rule = NickColorRule();
    std::vector<std::string> f;
    std::size_t p = 0;
    while (f.size() < 9 && p <= value.size()) {
        std::size_t comma = value.find(',', p);
        if (comma == std::string::npos || f.size() == 8)
            comma = value.size();
        f.push_back(value.substr(p, comma - p));
        p = comma + 1;
    }
    auto field = [&](std::size_t i) { return i < f.size() ? f[i] : std::string(); };
    rule.mask = first_word(field(0)).substr(0, 256);
    rule.mask_first = rule.mask.empty() ? 0 : std::tolower(static_cast<unsigned char>(rule.mask[0]));
    const int colour = to_int(field(1));
    rule.color = f.size() > 1 && colour >= 0 && colour <= 15 && !field(1).empty() ? colour : 99;
    rule.modes = first_word(field(2));
    std::string levels = field(3);
    text_collapse_char(levels, ' ');
    while (!levels.empty() && levels.front() == ' ')
        levels.erase(0, 1);
    while (!levels.empty() && levels.back() == ' ')
        levels.pop_back();
    rule.levels = levels;
    rule.any_mode = to_int(field(4)) ? 1 : 0;
    rule.no_mode = to_int(field(5)) ? 1 : 0;
    rule.lists = to_int(field(6)) & 31;
    rule.method = to_int(field(7));
    if (rule.method < 0 || rule.method > 2)
        rule.method = 0;
    rule.idle = std::max(0, to_int(field(8)));
    return !(rule.mask.empty() && rule.modes.empty() && rule.levels.empty() && f.size() < 5);
}

std::string cnick_rule_value(const NickColorRule& r)
{
    char tail[96];
    std::snprintf(tail, sizeof tail, ",%d,%d,%d,%d,%d", r.any_mode, r.no_mode, r.lists, r.method, r.idle);
    return r.mask + "," + std::to_string(r.color) + "," + r.modes + "," + r.levels + tail;
}

std::string cnick_rule_text(const NickColorRule& r)
{
    std::string out = r.mask.empty() ? "Any nick" : r.mask;
    if (!r.modes.empty())
        out += " (" + r.modes + ")";
    if (r.any_mode && !r.no_mode)
        out += " (Any mode)";
    else if (r.no_mode && !r.any_mode)
        out += " (No mode)";
    if (!r.levels.empty())
        out += " (" + r.levels + ")";
    static const char* const kLists[] = {" (Ignore)", " (Op)", " (Voice)", " (Protect)", " (Notify)"};
    for (int b = 0; b < 5; ++b)
        if (r.lists & (1 << b))
            out += kLists[b];
    if (r.idle > 0)
        out += " (Idle:" + std::to_string(r.idle) + ")";
    if (r.method == 1)
        out += " [M]";
    else if (r.method == 2)
        out += " [L]";
    return out;
}

void cnick_load()
{
    cnick_rules.clear();
    for (int n = 0;; ++n) {
        std::string value;
        const std::string key = "n" + std::to_string(n);
        ini_read("cnicks", key.c_str(), "", value, 4200, main_ini_path);
        if (value.empty())
            break;
        NickColorRule rule;
        if (cnick_rule_parse(rule, value))
            cnick_rules.push_back(rule);
    }
}

void cnick_save()
{
    int n = 0;
    for (const NickColorRule& r : cnick_rules) {
        const std::string key = "n" + std::to_string(n++);
        ini_write("cnicks", key.c_str(), cnick_rule_value(r).c_str(), main_ini_path);
    }
    ini_delete_numbered_from("cnicks", "n", n, main_ini_path);
}

int cnick_match(WindowRecord* channel, const std::string& nick, int bits, int idle_seconds,
                int* colour, int method, Connection* conn)
{
    if (colour)
        *colour = -1;
    if (cnick_rules.empty() || !colouring_on() || !conn_is_live(conn) || nick.empty())
        return 0;
    bits &= ~1;
    if (channel && !win_is_record(channel))
        channel = nullptr;
    int number = 0;
    for (const NickColorRule& rule : cnick_rules) {
        ++number;
        if (!(rule.method == 0 || method == -1 || method == rule.method))
            continue;
        bool matched = false;
        // Modes.
        if (bits) {
            if (rule.any_mode) {
                matched = true;
            } else if (!rule.modes.empty()) {
                if (!channel)
                    continue;
                bool holds = false;
                for (char c : rule.modes)
                    holds = holds || (nicklist_prefix_bit(conn, c) & bits) != 0;
                if (!holds)
                    continue;
                matched = true;
            } else if (rule.no_mode) {
                continue;
            }
        } else {
            if (rule.no_mode)
                matched = true;
            else if (!rule.modes.empty() || rule.any_mode)
                continue;
        }
        // Mask.
        std::string address;
        bool address_known = false;
        auto need_address = [&]() {
            if (!address_known) {
                address = nick_address(nick, conn);
                address_known = true;
            }
            return !address.empty();
        };
        if (!rule.mask.empty()) {
            std::string mask = rule.mask;
            if (mask[0] == '$' || mask[0] == '%') {
                if (!ident_eval_text(channel ? channel->hwnd.get() : nullptr, &mask, nullptr, nullptr,
                                     0, -1, -1, nullptr, conn) ||
                    mask.empty())
                    continue;
            }
            const int first = std::tolower(static_cast<unsigned char>(mask[0]));
            if (first != '*' && first != '?' && first != std::tolower(static_cast<unsigned char>(nick[0])))
                continue;
            std::string subject = nick;
            if (mask.find('!') != std::string::npos && need_address())
                subject = address;
            if (!text_equal_nocase(mask, "*!*@*") && !wild_match(mask, subject, 0, 1))
                continue;
            matched = true;
        }
        // Levels.
        if (!rule.levels.empty()) {
            const bool with_address = need_address();
            if (!(with_address && levels_hold(rule, nick, &address)) && !levels_hold(rule, nick, nullptr))
                continue;
            matched = true;
        }
        // Lists.
        if (rule.lists) {
            const std::string who = need_address() ? address : nick;
            const std::string host = who.substr(who.find('!') == std::string::npos ? 0 : who.find('!') + 1);
            if (rule.lists & 1)
                continue;   // there is no ignore list to be on
            const std::string* chan_name = channel ? &channel->name : nullptr;
            if ((rule.lists & 14) && !channel)
                continue;
            if ((rule.lists & 2) && !userlist_aop_match(who, chan_name, nullptr, conn))
                continue;
            if ((rule.lists & 4) && !userlist_avoice_match(who, chan_name, nullptr, conn))
                continue;
            if ((rule.lists & 8) && !userlist_protect_match_address(nick, address, chan_name, nullptr, conn))
                continue;
            if ((rule.lists & 16) && !notify_find(nick, 0, conn))
                continue;
            (void)host;
            matched = true;
        }
        // Idle.
        if (rule.idle > 0) {
            if (idle_seconds < rule.idle * 60)
                continue;
            matched = true;
        }
        if (!matched)
            continue;
        if (colour)
            *colour = rule.color;
        return number;
    }
    return 0;
}

void cnick_recolor_all()
{
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (!is_channel(rec))
            continue;
        for (StringNode* e = rec->nick_list; e; e = e->next)
            e->extra[kNickRecolor] = 1;
        if (ListBox* list = rec->listbox.get())
            list->viewport()->update();
    }
    g_pending = true;
}

void cnick_recolor_nick(const std::string& nick)
{
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        if (is_channel(rec))
            if (NickEntry* e = nicklist_find(rec, nick))
                recolor_entry(rec, e);
}

void cnick_recolor_mask(const std::string& mask)
{
    const std::string nick_part = mask.substr(0, mask.find('!'));
    if (nick_part.empty() || nick_part.find_first_of("*?") != std::string::npos) {
        cnick_recolor_all();
        cnick_apply_pending();
        return;
    }
    cnick_recolor_nick(nick_part);
}

long cnick_idle_seconds(const StringNode* entry)
{
    return entry ? static_cast<long>(entry->extra[kNickIdle]) : 0;
}

void cnick_nick_active(WindowRecord* channel, const std::string& nick)
{
    if (!is_channel(channel) || !win_is_record(channel))
        return;
    if (NickEntry* e = nicklist_find(channel, nick)) {
        e->extra[kNickIdle] = 0;
        recolor_entry(channel, e);
    }
}

void cnick_own_activity(const std::string& target, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    WindowRecord* rec = win_find_channel(target, conn);
    if (rec)
        cnick_nick_active(rec, conn_own_nick(conn));
}

void nicklist_view_refresh(WindowRecord* rec)
{
    if (win_is_record(rec) && rec->listbox.get())
        rec->listbox.get()->viewport()->update();
}

void cnick_idle_tick(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    TickState& st = conn->state_slots.get(g_tick_slot);
    const bool minute = ++st.ticks >= 60;
    if (minute) {
        st.ticks = 0;
        g_pending = true;
    }
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (!is_channel(rec) || rec->conn != conn || rec->chan_left)
            continue;
        for (StringNode* e = rec->nick_list; e; e = e->next) {
            if (e->extra[kNickIdle] < 0x7FFFFFFF)
                ++e->extra[kNickIdle];
            if (minute)
                e->extra[kNickRecolor] = 1;
        }
    }
}

void cnick_apply_pending()
{
    if (!g_pending)
        return;
    const std::uint64_t start = time_ticks_ms();
    int done = 0;
    for (WindowRecord* rec = win_list; rec; rec = rec->next) {
        if (!is_channel(rec))
            continue;
        for (StringNode* e = rec->nick_list; e; e = e->next) {
            if (!e->extra[kNickRecolor])
                continue;
            recolor_entry(rec, e);
            if (++done % 10 == 0 && time_ticks_ms() - start > 25) {
                if (conn_is_live(rec->conn))
                    rec->conn->state_slots.get(g_tick_slot).ticks = 0;
                return;   // the next tick goes on
            }
        }
    }
    g_pending = false;
}

int cnick_colour_for(WindowRecord* rec, const std::string& nick, int bits, int, int method)
{
    Connection* conn = win_is_record(rec) ? rec->conn : conn_current();
    int idle = 0;
    if (is_channel(rec))
        if (NickEntry* e = nicklist_find(rec, nick))
            idle = static_cast<int>(e->extra[kNickIdle]);
    int colour = -1;
    cnick_match(is_channel(rec) ? rec : nullptr, nick, bits, idle, &colour, method, conn);
    return colour >= 0 && colour <= 15 ? colour : -1;
}

// /cnick [-switches] mask|N|* [colour [modes|* [levels ...]]], /cnick on|off
int cmd_cnick(CommandCall& call)
{
    const std::string word = call.tokens.empty() ? "cnick" : call.tokens[0];
    std::size_t i = 1;
    std::string sw;
    if (i <= call.argc() && call.arg(i).size() > 1 && call.arg(i)[0] == '-')
        sw = call.arg(i++).substr(1);
    if (i > call.argc())
        return script_error(nullptr, word, "", 0);
    if (sw.empty() && call.argc() == 1 &&
        (text_equal_nocase(call.arg(1), "on") || text_equal_nocase(call.arg(1), "off"))) {
        opt_set(OPT_NICK_COLOURS_ENABLED, text_equal_nocase(call.arg(1), "on") ? 1 : 0);
        cnick_recolor_all();
        cnick_apply_pending();
        return 1;
    }
    auto has = [&](char c) { return sw.find(c) != std::string::npos; };
    auto number_after = [&](char c, int def) {
        const std::size_t at = sw.find(c);
        if (at == std::string::npos)
            return def;
        std::size_t e = at + 1;
        while (e < sw.size() && std::isdigit(static_cast<unsigned char>(sw[e])))
            ++e;
        return e > at + 1 ? std::atoi(sw.substr(at + 1, e - at - 1).c_str()) : def;
    };
    std::string mask = call.arg(i++).substr(0, 256);
    const bool numeric = text_is_digits(mask);
    if (mask == "*")
        mask.clear();
    auto echo = [&](int id, const std::string& what) {
        if (call.show && call.window)
            echo_line(call.window, script_format(text_load_string(id), what), kColorInfoText);
    };
    const std::string shown = mask.empty() ? "Any nick" : mask;
    if (has('r')) {
        int at = -1;
        if (numeric) {
            const int n = std::atoi(mask.c_str());
            if (n < 1)
                return script_error(nullptr, word, "", 3);
            at = n - 1 < static_cast<int>(cnick_rules.size()) ? n - 1 : -1;
        } else {
            for (std::size_t k = 0; k < cnick_rules.size() && at < 0; ++k)
                if (text_equal_nocase(cnick_rules[k].mask, mask))
                    at = static_cast<int>(k);
        }
        if (at < 0)
            return 1;
        const std::string removed = cnick_rules[static_cast<std::size_t>(at)].mask;
        cnick_rules.erase(cnick_rules.begin() + at);
        cnick_recolor_mask(removed);
        if (numeric)
            echo(769, mask);
        else
            echo(768, shown);
        return 1;
    }
    if (numeric)
        return script_error(nullptr, word, "", 3);
    if (i > call.argc() || !text_is_digits(call.arg(i)))
        return script_error(nullptr, word, "", 0);
    const int colour = std::atoi(call.arg(i++).c_str());
    if (colour < 0 || colour > 15)
        return script_error(nullptr, word, "", 0);
    bool replaced = false;
    if (!has('f')) {
        for (std::size_t k = 0; k < cnick_rules.size(); ++k) {
            if (text_equal_nocase(cnick_rules[k].mask, mask)) {
                cnick_rules.erase(cnick_rules.begin() + static_cast<long>(k));
                replaced = true;
                break;
            }
        }
    }
    NickColorRule rule;
    rule.mask = mask;
    rule.mask_first = mask.empty() ? 0 : std::tolower(static_cast<unsigned char>(mask[0]));
    rule.method = number_after('m', 0);
    if (rule.method < 0 || rule.method > 2)
        rule.method = 0;
    rule.any_mode = has('a') ? 1 : 0;
    rule.no_mode = has('n') ? 1 : 0;
    rule.color = colour;
    rule.lists = (has('i') ? 1 : 0) | (has('o') ? 2 : 0) | (has('v') ? 4 : 0) | (has('p') ? 8 : 0) |
                 (has('y') ? 16 : 0);
    rule.idle = std::max(0, number_after('l', 0));
    if (i <= call.argc() && call.arg(i) != "*")
        rule.modes = call.arg(i);
    else if (!rule.any_mode && !rule.no_mode)
        rule.any_mode = rule.no_mode = 1;
    ++i;
    std::string levels;
    for (; i <= call.argc(); ++i)
        levels += (levels.empty() ? "" : " ") + call.arg(i);
    std::replace(levels.begin(), levels.end(), ',', ' ');
    text_collapse_char(levels, ' ');
    rule.levels = levels;
    const int position = number_after('s', 0);
    if (has('s') && position >= 1 && position <= static_cast<int>(cnick_rules.size()))
        cnick_rules.insert(cnick_rules.begin() + (position - 1), rule);
    else
        cnick_rules.push_back(rule);
    cnick_recolor_mask(mask);
    echo(replaced ? 771 : 770, shown);
    return 1;
}

// $cnick(N) / $cnick(nick[, D]) with its properties
int id_cnick(IdentCall& call)
{
    const int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    const std::string& arg = ident_arg(call, 0);
    const std::string_view prop = ident_property(call);
    Connection* conn = call.conn();
    std::string& out = *call.value;
    out.clear();
    const NickColorRule* rule = nullptr;
    int number = 0;
    if (text_is_digits(arg)) {
        long long n = std::atoll(arg.c_str());
        if (n < 1) {
            out = std::to_string(cnick_rules.size());
            return ident_finish(call);
        }
        n = std::min<long long>(n, 9998);
        if (n <= static_cast<long long>(cnick_rules.size())) {
            rule = &cnick_rules[static_cast<std::size_t>(n - 1)];
            number = static_cast<int>(n);
        }
        if (prop.empty()) {
            out = rule ? rule->mask : std::string();
            return ident_finish(call);
        }
    } else {
        std::string nick = arg;
        int bits = 0;
        while (!nick.empty() && nicklist_prefix_bit(conn, nick[0])) {
            bits |= nicklist_prefix_bit(conn, nick[0]);
            nick.erase(0, 1);
        }
        int colour = -1;
        number = cnick_match(nullptr, nick, bits, -1, &colour, -1, conn);
        if (number > 0)
            rule = &cnick_rules[static_cast<std::size_t>(number - 1)];
        if (prop.empty()) {
            out = std::to_string(number);
            return ident_finish(call);
        }
    }
    const int d = ident_arg_count(call) > 1 && ident_arg(call, 1) == "1" ? 1 : 0;
    auto truth = [&](bool b) { out = b ? "$true" : "$false"; };
    if (text_equal_nocase(prop, "color") || text_equal_nocase(prop, "colour")) {
        if (rule && rule->color >= 0 && rule->color <= 15)
            out = std::to_string(color_resolve(static_cast<std::uint32_t>(rule->color)));
        else
            out = std::to_string(color_resolve(d ? kColorListboxText : kColorNormalText));
    } else if (text_equal_nocase(prop, "modes")) {
        out = rule ? rule->modes : std::string();
    } else if (text_equal_nocase(prop, "levels")) {
        out = rule ? rule->levels : std::string();
    } else if (text_equal_nocase(prop, "method")) {
        out = rule ? std::to_string(rule->method) : std::string();
    } else if (text_equal_nocase(prop, "anymode")) {
        truth(rule && rule->any_mode);
    } else if (text_equal_nocase(prop, "nomode")) {
        truth(rule && rule->no_mode);
    } else if (text_equal_nocase(prop, "ignore")) {
        truth(rule && (rule->lists & 1));
    } else if (text_equal_nocase(prop, "op")) {
        truth(rule && (rule->lists & 2));
    } else if (text_equal_nocase(prop, "voice")) {
        truth(rule && (rule->lists & 4));
    } else if (text_equal_nocase(prop, "protect")) {
        truth(rule && (rule->lists & 8));
    } else if (text_equal_nocase(prop, "notify")) {
        truth(rule && (rule->lists & 16));
    } else if (text_equal_nocase(prop, "idle")) {
        out = std::to_string(rule ? rule->idle : 0);
    }
    (void)number;
    return ident_finish(call);
}

void cnick_register()
{
    script_register_command_family("cmd_cnick", cmd_cnick);
    ident_register_family("id_cnick", id_cnick);
}

namespace {
int g_tick_listener = 0;
int g_spoke_listener = 0;
int g_own_activity_listener = 0;
int g_second_listener = 0;
int g_stale_listener = 0;
}  // namespace

void cnick_install()
{
    tick_second.add_once(g_tick_listener, kTickNickColours, cnick_apply_pending);
    irc_nick_spoke.add_once(g_spoke_listener, kNickSpokeColours, cnick_nick_active);
    irc_own_activity.add_once(g_own_activity_listener, kOwnActivityColours, cnick_own_activity);
    conn_second.add_once(g_second_listener, kSecondNickColours, cnick_idle_tick);
    irc_nick_colours_stale.add_once(g_stale_listener, kStaleNickColours, cnick_recolor_all);
}

void cnick_uninstall()
{
    tick_second.drop(g_tick_listener);
    irc_nick_spoke.drop(g_spoke_listener);
    irc_own_activity.drop(g_own_activity_listener);
    conn_second.drop(g_second_listener);
    irc_nick_colours_stale.drop(g_stale_listener);
}

void nick_colours_install()
{
    static int load_listener = 0;
    static int save_listener = 0;
    settings_loaded.add_once(load_listener, kLoadNickColours, [](SettingsLoad&) { cnick_load(); });
    settings_saving.add_once(save_listener, kSettingsSaveNickColours, cnick_save);
    // A selection set on a channel's nick list is drawn again.
    static int selection_listener = 0;
    listbox_selection_set.add_once(selection_listener, kListboxSelectionNickList, [](QWidget* window, int control_id) {
        WindowRecord* rec = win_record_of(window);
        if (rec && rec->type == kWinChannel && control_id == kCtlListBox)
            nicklist_view_refresh(rec);
    });
}
