#include "irc/lists/ignore_list.h"

#include <algorithm>
#include <string_view>

#include "model/connection.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/connect.h"
#include "irc/lists/user_lists.h"

const char* const kIgnoreTypeWords[8] = {"private", "channel", "notice", "ctcp", "dcc", "invite", "codes", "exclude"};
const char kIgnoreTypeLetters[9] = "pcntdikx";

namespace {

// A timed entry: its mask, the network it was added for ("*": any), the
// seconds left and whether its expiry is shown. Newest first.
struct TimedIgnore {
    std::string mask;
    std::string network;
    int seconds = 0;
    int echo = 0;
};
std::vector<TimedIgnore> g_timed;

std::string_view trim(std::string_view t)
{
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
}

std::vector<std::string> split_types(std::string_view text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        std::string item(trim(text.substr(start, comma - start)));
        item.erase(std::remove(item.begin(), item.end(), ' '), item.end());
        if (!item.empty() && out.size() < 64) out.push_back(text_lower_copy(item));
        start = comma + 1;
    }
    return out;
}

bool holds(const std::vector<std::string>& items, std::string_view word)
{
    for (const std::string& i : items)
        if (text_equal_nocase(i, word)) return true;
    return false;
}

std::string join_types(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& i : items) {
        if (!out.empty()) out += ',';
        out += i;
    }
    return out;
}

std::string entry_text(const std::string& mask, const std::vector<std::string>& types, const std::string& network)
{
    std::string out = mask;
    if (!types.empty()) out += "," + join_types(types);
    if (!network.empty()) out += ",\"" + network + "\"";
    return out;
}

std::string lookup_of(const std::string* network, Connection* conn, bool& explicit_net)
{
    explicit_net = network != nullptr;
    if (network) return *network;
    std::string out;
    conn_get_network(out, conn);
    return out;
}

StringNode* find_by_mask(const std::string& mask, const std::string& lookup, bool explicit_net)
{
    for (StringNode* n = main_settings.ignore_list; n; n = n->next) {
        IgnoreEntryParts p = ignore_entry_parts(n->text);
        if (!userlist_network_applies(p.network, lookup, explicit_net)) continue;
        if (text_equal_nocase(p.mask, mask)) return n;
    }
    return nullptr;
}

void print(QWidget* window, const std::string& text)
{
    userlist_print(window, kColorInfo2Text, text, 1);
}

// The connection whose network is `network` (else the current one).
Connection* conn_on_network(const std::string& network)
{
    if (network != "*")
        for (Connection* c = conn_list; c; c = c->next) {
            std::string n;
            if (conn_is_live(c) && conn_get_network(n, c) && text_equal_nocase(n, network)) return c;
        }
    return conn_current();
}

}  // namespace

IgnoreEntryParts ignore_entry_parts(const std::string& text)
{
    IgnoreEntryParts p;
    std::string rest = text;
    p.network = userlist_split_network(rest);
    const std::size_t comma = rest.find(',');
    std::string mask(trim(std::string_view(rest).substr(0, comma)));
    mask.resize(std::min(mask.find(' '), mask.size()));
    p.mask = mask;
    if (comma != std::string::npos) p.types = split_types(std::string_view(rest).substr(comma + 1));
    return p;
}

StringNode* ignore_match(const std::string& address, const char* type, const std::string* network,
                         Connection* conn)
{
    if (address.empty()) return nullptr;
    bool explicit_net = false;
    const std::string lookup = lookup_of(network, conn, explicit_net);
    // Exclusions first: an exclude entry whose mask matches decides for every
    // type it does not name itself.
    if (type) {
        for (StringNode* n = main_settings.ignore_list; n; n = n->next) {
            IgnoreEntryParts p = ignore_entry_parts(n->text);
            if (!holds(p.types, "exclude")) continue;
            if (!userlist_network_applies(p.network, lookup, explicit_net)) continue;
            if (p.mask.empty() || !wild_match(p.mask, address, 0, 1)) continue;
            if (text_equal_nocase(type, "exclude")) return n;
            if (!holds(p.types, type)) return nullptr;
        }
    }
    const bool by_mask = !type && address.find_first_of("*?") != std::string::npos;
    for (StringNode* n = main_settings.ignore_list; n; n = n->next) {
        IgnoreEntryParts p = ignore_entry_parts(n->text);
        if (type && holds(p.types, "exclude")) continue;
        if (!userlist_network_applies(p.network, lookup, explicit_net)) continue;
        if (p.mask.empty()) continue;
        const bool hit = by_mask ? text_equal_nocase(p.mask, address) : wild_match(p.mask, address, 0, 1) != 0;
        if (!hit) continue;
        if (p.types.empty() || !type || holds(p.types, "all") || holds(p.types, type)) return n;
    }
    return nullptr;
}

int ignore_edit(QWidget* window, int action, const std::string& mask_in, const std::string* types_in, int seconds,
                int echo, Connection* conn)
{
    std::string mask;
    for (char c : mask_in)
        if (c != ',') mask += c;
    mask = std::string(trim(mask));
    mask.resize(std::min(mask.find(' '), mask.size()));
    if (mask.empty()) return 0;
    if (mask.size() > kMediumText) mask.resize(kMediumText);
    mask_default_ban(mask);

    std::string typed = types_in ? std::string(trim(*types_in)) : std::string();
    if (typed.size() > kMediumText) typed.resize(kMediumText);
    std::string given_text = typed;
    const std::string given_net = userlist_split_network(given_text);
    const bool explicit_net = !given_net.empty();
    const std::vector<std::string> given = split_types(given_text);

    StringNode* existing = find_by_mask(mask, explicit_net ? given_net : std::string("*"), explicit_net);
    if (action == 0) action = existing ? 2 : 1;
    int result = 0;
    std::string message;

    if (action == 1) {
        std::string entry;
        if (existing) {
            const IgnoreEntryParts old = ignore_entry_parts(existing->text);
            const std::string net = explicit_net ? given_net : old.network;
            std::vector<std::string> types = given;
            if (!old.types.empty()) {
                types = old.types;
                for (const std::string& t : given)
                    if (!holds(types, t)) types.push_back(t);
            }
            entry = entry_text(mask, types, net);
            main_settings.ignore_list = strlist_remove(main_settings.ignore_list, existing);
            message = text_fill_id(3201, {mask});
        } else {
            entry = entry_text(mask, given, given_net);
            message = seconds > 0 ? text_fill_id(3203, {mask, std::to_string(seconds)}) : text_fill_id(3202, {mask});
        }
        main_settings.ignore_list = strlist_append(main_settings.ignore_list, std::string_view(entry), 0);
        opt_set(OPT_IGNORE_ENABLED, 1);
        if (seconds > 0) {
            // The record names the entry's own network, so that the expiry
            // finds the entry it was made for.
            const std::string net = explicit_net ? given_net : std::string("*");
            g_timed.erase(std::remove_if(g_timed.begin(), g_timed.end(),
                                         [&](const TimedIgnore& t) {
                                             return text_equal_nocase(t.mask, mask) &&
                                                    text_equal_nocase(t.network, net);
                                         }),
                          g_timed.end());
            g_timed.insert(g_timed.begin(), TimedIgnore{mask, net, seconds, echo});
        }
        result = 1;
    } else if (!existing) {
        message = text_fill_id(3205, {mask});
    } else {
        const IgnoreEntryParts old = ignore_entry_parts(existing->text);
        std::vector<std::string> remaining;
        if (!given.empty())
            for (const std::string& t : old.types)
                if (!holds(given, t)) remaining.push_back(t);
        main_settings.ignore_list = strlist_remove(main_settings.ignore_list, existing);
        result = 2;
        if (remaining.empty()) {
            message = text_fill_id(3204, {mask});
        } else {
            std::string entry = entry_text(mask, remaining, old.network);
            main_settings.ignore_list = strlist_append(main_settings.ignore_list, std::string_view(entry), 0);
            message = text_fill_id(3201, {mask});
        }
    }
    if (echo) print(window ? window : link_status_window(conn), message);
    ignore_prune_timed();
    if (result) userlist_recolor();
    return result;
}

int ignore_clear(const std::string& network)
{
    int removed = 0;
    StringNode* n = main_settings.ignore_list;
    while (n) {
        StringNode* next = n->next;
        const IgnoreEntryParts p = ignore_entry_parts(n->text);
        if (network == "*" || p.network.empty() || text_equal_nocase(p.network, network)) {
            main_settings.ignore_list = strlist_remove(main_settings.ignore_list, n);
            ++removed;
        }
        n = next;
    }
    ignore_prune_timed();
    if (removed) userlist_recolor();
    return removed;
}

void ignore_timed_add(const std::string& mask, const std::string& network, int seconds)
{
    if (mask.empty() || seconds <= 0) return;
    const std::string net = network.empty() ? std::string("*") : network;
    g_timed.erase(std::remove_if(g_timed.begin(), g_timed.end(),
                                 [&](const TimedIgnore& t) {
                                     return text_equal_nocase(t.mask, mask) && text_equal_nocase(t.network, net);
                                 }),
                  g_timed.end());
    g_timed.insert(g_timed.begin(), TimedIgnore{mask, net, seconds, 0});
}

void ignore_prune_timed()
{
    g_timed.erase(std::remove_if(g_timed.begin(), g_timed.end(),
                                 [](const TimedIgnore& t) { return !find_by_mask(t.mask, "*", false); }),
                  g_timed.end());
}

int ignore_timed_seconds(const std::string& mask)
{
    for (const TimedIgnore& t : g_timed)
        if (text_equal_nocase(t.mask, mask)) return t.seconds;
    return 0;
}

void ignore_tick_timed(int mode)
{
    if (g_timed.empty()) return;
    if (mode == 2)
        for (TimedIgnore& t : g_timed) t.seconds = 0;
    bool expired = false;
    // Expiring edits the list; work on a copy of the records that ran out.
    std::vector<TimedIgnore> due;
    for (auto it = g_timed.begin(); it != g_timed.end();) {
        if (mode != 2) --it->seconds;
        if (it->seconds <= 0) {
            due.push_back(*it);
            it = g_timed.erase(it);
        } else {
            ++it;
        }
    }
    for (const TimedIgnore& t : due) {
        const bool explicit_net = t.network != "*";
        StringNode* entry = find_by_mask(t.mask, t.network, explicit_net);
        if (!entry) continue;
        main_settings.ignore_list = strlist_remove(main_settings.ignore_list, entry);
        expired = true;
        if (t.echo && mode != 2) {
            Connection* c = conn_on_network(t.network);
            QWidget* status = c ? link_status_window(c) : nullptr;
            if (status) userlist_print(status, kColorInfo2Text, text_fill_id(3204, {t.mask}), 0);
        }
    }
    if (expired) userlist_recolor();
}

int ignore_check_message(IrcMessage& msg, const char* type)
{
    if (!opt(OPT_IGNORE_ENABLED) || !msg.has_address || !main_settings.ignore_list) return 0;
    const std::string address = text_lower_copy(irc_word(msg, 0) + "!" + msg.address);
    return ignore_match(address, type, nullptr, msg.connection) ? 1 : 0;
}

int ignore_check_invite(const std::string& nick, const std::string& address, Connection* conn)
{
    if (!opt(OPT_IGNORE_ENABLED) || !main_settings.ignore_list || address.empty()) return 0;
    return ignore_match(text_lower_copy(nick + "!" + address), "invite", nullptr, conn) ? 1 : 0;
}

// ---- DCC file-type filter ----

namespace {
StringNode* active_list()
{
    const int mode = opt(OPT_DCC_FILTER_MODE);
    return mode == 1 ? main_settings.dcc_accept_types : mode == 2 ? main_settings.dcc_ignore_types : nullptr;
}

void rearm()
{
    int minutes = opt(OPT_DCC_FILTER_REENABLE_MINUTES);
    if (minutes < 1 || minutes > 360) minutes = 3;
    opt_set(OPT_DCC_FILTER_COUNTDOWN, minutes * 60);
}
}  // namespace

int dcc_ignore_set_mode(int mode)
{
    if (mode < 0 || mode > 2) mode = 1;
    const int old = opt(OPT_DCC_FILTER_MODE);
    if (mode == 0) {
        if (!opt(OPT_DCC_FILTER_REENABLE) && old != 0) {
            opt_set(OPT_DCC_FILTER_REENABLE, old);
            rearm();
        }
    } else {
        opt_set(OPT_DCC_FILTER_REENABLE, 0);
    }
    opt_set(OPT_DCC_FILTER_MODE, mode);
    return old;
}

void dcc_ignore_tick()
{
    const int remembered = opt(OPT_DCC_FILTER_REENABLE);
    if (!remembered || !opt(OPT_DCC_FILTER_TIMER)) return;
    const int left = opt(OPT_DCC_FILTER_COUNTDOWN) - 1;
    if (left > 0) {
        opt_set(OPT_DCC_FILTER_COUNTDOWN, left);
        return;
    }
    opt_set(OPT_DCC_FILTER_MODE, remembered);
    rearm();
    opt_set(OPT_DCC_FILTER_REENABLE, 0);
}

int dcc_ignore_test(std::string& name, int kind, int n)
{
    const int mode = opt(OPT_DCC_FILTER_MODE);
    if (mode != 1 && mode != 2) return 0;
    StringNode* list = active_list();
    if (kind == 1 || kind == 2) {
        int i = 0;
        for (StringNode* p = list; p; p = p->next) {
            ++i;
            if (kind == 1 && i == n) {
                name = p->text;
                return 1;
            }
        }
        return kind == 2 ? i : 0;
    }
    bool hit = false;
    for (StringNode* p = list; p && !hit; p = p->next)
        hit = !p->text.empty() && wild_match(p->text, name, 0, 1);
    return mode == 1 ? (hit ? 0 : 1) : (hit ? 1 : 0);
}
