// Auto-op, auto-voice and protect lists, USERHOST requests and the
// user-level entries of the users file.
#include "irc/link/connections.h"
#include "irc/lists/user_lists.h"
#include "irc/lists/ignore_list.h"

#include <cctype>
#include <cstdlib>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "model/widget_handles.h"
#include "model/window_record.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "irc/dispatch/automode.h"
#include "irc/dispatch/modes.h"
#include "irc/link/close.h"
#include "irc/link/connect.h"
#include "irc/link/local_address.h"
#include "irc/link/lookups.h"
#include "irc/services/finger.h"
#include "irc/lists/address_list.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/ignore_list.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/query_replies.h"
#include "irc/link/send_queue.h"
#include "script/eval/conditions.h"
#include "script/events/remote_files.h"
#include "script/events/users.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"

namespace {

// ---- Text helpers ----

// A numbered text with its "%s" and "%d" filled in order.

std::string_view trim(std::string_view t)
{
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    return t;
}

// The comma-separated items of a text, blanks around them dropped, empty
// items skipped; at most `limit` items.
std::vector<std::string> split_items(std::string_view text, std::size_t limit = 4150)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos <= text.size() && out.size() < limit) {
        std::size_t comma = text.find(',', pos);
        if (comma == std::string_view::npos) comma = text.size();
        std::string_view item = trim(text.substr(pos, comma - pos));
        if (!item.empty()) out.emplace_back(item);
        pos = comma + 1;
    }
    return out;
}

std::string join_items(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& i : items) {
        if (!out.empty()) out += ',';
        out += i;
    }
    return out;
}

bool holds_nocase(const std::vector<std::string>& items, std::string_view item)
{
    for (const std::string& i : items)
        if (text_equal_nocase(i, item)) return true;
    return false;
}

// The mask of an entry: the text before its first comma, cut to its first word.
std::string entry_mask(const std::string& text)
{
    std::string_view t(text);
    t = t.substr(0, t.find(','));
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    return std::string(t.substr(0, t.find(' ')));
}

// An entry split into its mask, channels and network.
struct EntryParts {
    std::string mask;
    std::vector<std::string> channels;
    std::string network;
};

EntryParts entry_parts(const std::string& text)
{
    EntryParts p;
    std::string rest = text;
    p.network = userlist_split_network(rest);
    p.mask = entry_mask(rest);
    const std::size_t comma = rest.find(',');
    if (comma != std::string::npos) p.channels = split_items(std::string_view(rest).substr(comma + 1));
    return p;
}

std::string entry_network(const std::string& text)
{
    std::string copy = text;
    return userlist_split_network(copy);
}

bool bad_word(std::string_view w)
{
    return w.find_first_of(std::string_view(" \r\n\0", 4)) != std::string_view::npos;
}

// ---- The lists ----

OptionId in_use_option(int kind)
{
    return kind == kUserListAop ? OPT_AUTO_OP_ENABLED : kind == kUserListAvoice ? OPT_AUTO_VOICE_ENABLED
                                                                               : OPT_PROTECT_ENABLED;
}

// The lookup network: the given one (explicit), else the connection's.
std::string lookup_network(const std::string* network, Connection* conn, bool& explicit_net)
{
    explicit_net = network != nullptr;
    if (network) return *network;
    std::string out;
    conn_get_network(out, conn);
    return out;
}

// The channel filter of the first matching entry.
StringNode* channel_filter(StringNode* entry, const std::string* channel)
{
    if (!channel) return entry;
    const EntryParts p = entry_parts(entry->text);
    if (p.channels.empty() || holds_nocase(p.channels, *channel)) return entry;
    return nullptr;
}

StringNode* address_match(int kind, const std::string& address, const std::string* channel,
                          const std::string* network, Connection* conn)
{
    StringNode** head = userlist_head(kind);
    if (!head || address.empty()) return nullptr;
    bool explicit_net = false;
    const std::string lookup = lookup_network(network, conn, explicit_net);
    for (StringNode* n = *head; n; n = n->next) {
        if (!userlist_network_applies(entry_network(n->text), lookup, explicit_net)) continue;
        const std::string mask = entry_mask(n->text);
        if (mask.empty() || !wild_match(mask, address, 0, 1)) continue;
        return channel_filter(n, channel);
    }
    return nullptr;
}

// The entry of exactly this mask (case ignored) that applies to the network.
StringNode* find_by_mask(StringNode* head, const std::string& mask, const std::string& lookup, bool explicit_net)
{
    for (StringNode* n = head; n; n = n->next) {
        if (!userlist_network_applies(entry_network(n->text), lookup, explicit_net)) continue;
        if (text_equal_nocase(entry_mask(n->text), mask)) return n;
    }
    return nullptr;
}

struct ListTexts {
    int updated_channels, updated, added, removed, not_found;
};

const ListTexts& texts_of(int kind)
{
    static const ListTexts t[3] = {
        {401, 402, 403, 404, 405},
        {5951, 5952, 5953, 5954, 5955},
        {4501, 4501, 4502, 4503, 4504},
    };
    return t[kind];
}

int list_edit(int kind, QWidget* window, int action, const std::string& mask_in, const std::string* channels_in,
              int echo)
{
    StringNode** head = userlist_head(kind);
    if (!head) return 0;
    // The mask: commas out, its first word.
    std::string mask;
    for (char c : mask_in)
        if (c != ',') mask += c;
    mask = std::string(trim(mask));
    mask.resize(std::min(mask.find(' '), mask.size()));
    if (mask.empty()) return 0;
    if (mask.size() > kMediumText) mask.resize(kMediumText);
    if (kind != kUserListProtect || mask.find_first_of("!@") != std::string::npos) mask_default_ban(mask);

    std::string typed = channels_in ? std::string(trim(*channels_in)) : std::string();
    if (typed.size() > kMediumText) typed.resize(kMediumText);
    std::string given_text = typed;
    const std::string given_net = userlist_split_network(given_text);
    // A text of only a network (",\"Net\"") joins the mask with one comma.
    typed.erase(0, std::min(typed.find_first_not_of(", "), typed.size()));
    const bool explicit_net = !given_net.empty();
    const std::vector<std::string> given = split_items(given_text);

    StringNode* existing = find_by_mask(*head, mask, explicit_net ? given_net : std::string("*"), explicit_net);
    if (action == 0) action = existing ? 2 : 1;
    const ListTexts& tx = texts_of(kind);
    int text_id = 0;
    int result = 0;

    if (action == 1) {
        std::string entry;
        if (existing) {
            const EntryParts old = entry_parts(existing->text);
            if (!old.channels.empty()) {
                std::vector<std::string> channels = old.channels;
                for (const std::string& c : given)
                    if (!holds_nocase(channels, c)) channels.push_back(c);
                entry = mask + "," + join_items(channels);
                if (!old.network.empty()) entry += ",\"" + old.network + "\"";
            } else {
                entry = typed.empty() ? mask : mask + "," + typed;
                // A typed text without a network keeps the entry's own.
                if (!explicit_net && !old.network.empty()) entry += ",\"" + old.network + "\"";
            }
            *head = strlist_remove(*head, existing);
            text_id = given.empty() ? tx.updated : tx.updated_channels;
        } else {
            entry = typed.empty() ? mask : mask + "," + typed;
            text_id = tx.added;
        }
        *head = strlist_append(*head, std::string_view(entry), 0);
        opt_set(in_use_option(kind), 1);
        result = 1;
    } else {
        if (!existing) {
            text_id = tx.not_found;
        } else {
            const EntryParts old = entry_parts(existing->text);
            std::vector<std::string> remaining;
            if (!given.empty())
                for (const std::string& c : old.channels)
                    if (!holds_nocase(given, c)) remaining.push_back(c);
            *head = strlist_remove(*head, existing);
            result = 2;
            if (remaining.empty()) {
                text_id = tx.removed;
            } else {
                std::string entry = mask + "," + join_items(remaining);
                if (!old.network.empty()) entry += ",\"" + old.network + "\"";
                *head = strlist_append(*head, std::string_view(entry), 0);
                text_id = tx.updated_channels;
            }
        }
    }
    if (echo) userlist_print(window, kColorInfo2Text, text_fill_id(text_id, {mask}), 1);
    if (result) userlist_recolor();
    return result;
}

// ---- USERHOST requests ----

// The records made here (the connection's list may also hold plain
// records made before these lists were installed).
std::unordered_set<const UserhostRequest*>& own_records()
{
    static std::unordered_set<const UserhostRequest*> s;
    return s;
}

UserhostRequestRecord* as_record(UserhostRequest* r)
{
    return r && own_records().count(r) ? static_cast<UserhostRequestRecord*>(r) : nullptr;
}

void free_request(UserhostRequest* r)
{
    if (UserhostRequestRecord* rec = as_record(r)) {
        own_records().erase(r);
        delete rec;
    } else {
        delete r;
    }
}

QWidget* status_of(Connection* conn)
{
    return conn_is_live(conn) ? link_status_window(conn) : nullptr;
}

QWidget* window_of(const UserhostRequestRecord& r, Connection* conn)
{
    QWidget* w = userhost_window_get(r);
    return w ? w : status_of(conn);
}


const char* command_of(int purpose)
{
    switch (purpose) {
    case kUhGuser: return "* /guser";
    case kUhRuser: return "* /ruser";
    case kUhBan:
    case kUhUnban: return "* /ban";
    case kUhIgnore: return "* /ignore";
    case kUhFingerUserHost:
    case kUhFingerHost: return "* /finger";
    case kUhAop: return "* /aop";
    case kUhAvoice: return "* /avoice";
    case kUhLocalInfo: return "* /localinfo";
    case kUhProtect: return "* /protect";
    default: return nullptr;
    }
}

// Carries out a request with the address the server gave ("nick!user@host").
void complete(UserhostRequestRecord& r, const std::string& address, Connection* conn)
{
    QWidget* window = window_of(r, conn);
    std::string masked = address;
    const bool has_mask = mask_address(masked, r.mask_type, conn_is_ircx(conn)) != 0;
    const std::size_t bang = address.find('!');
    const std::size_t at = address.find('@', bang == std::string::npos ? 0 : bang);
    switch (r.purpose) {
    case kUhGuser:
        if (has_mask) users_add_levels(r.nick, r.text1, r.action, window, masked, r.text2, r.echo);
        break;
    case kUhRuser:
        if (has_mask) users_remove(masked, r.text1, window, r.echo);
        break;
    case kUhBan:
    case kUhUnban: {
        WindowRecord* rec = win_find_channel(r.channel, conn);
        if (!rec || !has_mask) break;
        if (r.purpose == kUhUnban) {
            irc_send_line("MODE " + r.channel + " -b " + masked + "\n", 0, conn);
            break;
        }
        irc_send_line("MODE " + r.channel + " +b " + masked + "\n", 0, conn);
        if (!conn_is_live(conn)) break;
        rec = win_find_channel(r.channel, conn);
        if (r.action && rec && nicklist_update(r.nick, rec, kNickTest, 0) != 0)
            irc_send_line("KICK " + r.channel + " " + r.nick + " :" + r.text1 + "\n", 0, conn);
        if (r.seconds >= 1 && conn_is_live(conn)) {
            chan_timed_ban_add(r.channel, masked, r.seconds, conn);
        }
        break;
    }
    case kUhIgnore:
        if (has_mask) ignore_edit(window, r.action, masked, &r.text1, r.seconds, r.echo, conn);
        break;
    case kUhDns:
        if (at != std::string::npos && at + 1 < address.size())
            dns_lookup_request(window, r.nick, address.substr(at + 1, kShortText), r.echo, kDnsCommand);
        break;
    case kUhFingerUserHost:
    case kUhFingerHost: {
        if (bang == std::string::npos || at == std::string::npos) break;
        std::string target;
        if (r.purpose == kUhFingerHost) {
            target = address.substr(at);
        } else {
            std::size_t from = bang + 1;
            while (from < at && !std::isalpha(static_cast<unsigned char>(address[from]))) ++from;
            target = address.substr(from);
        }
        if (target.size() > kShortText) target.resize(kShortText);
        finger_userhost_done(window, &target, conn);
        break;
    }
    case kUhAop:
        if (has_mask) userlist_aop_edit(window, r.action, masked, &r.text1, r.echo, conn);
        break;
    case kUhAvoice:
        if (has_mask) userlist_avoice_edit(window, r.action, masked, &r.text1, r.echo, conn);
        break;
    case kUhProtect:
        if (has_mask) userlist_protect_edit(window, r.action, masked, &r.text1, r.echo, conn);
        break;
    case kUhLocalInfo:
        conn_learn_local_address(&address, 1, r.echo, conn);
        break;
    default:
        break;
    }
}

// Detaches the connection's list; the caller frees the records.
UserhostRequest* take_all(Connection* conn)
{
    UserhostRequest* list = conn->userhost_requests;
    conn->userhost_requests = nullptr;
    return list;
}

void free_all(Connection* conn, bool reset_count)
{
    if (!conn) return;
    UserhostRequest* r = take_all(conn);
    bool finger = false;
    while (r) {
        UserhostRequest* next = r->next;
        if (r->purpose == kUhFingerUserHost || r->purpose == kUhFingerHost) finger = true;
        free_request(r);
        r = next;
    }
    if (reset_count) query_reply_state(conn)->userhost_pending = 0;
    if (finger && conn_is_live(conn)) finger_userhost_done(nullptr, nullptr, conn);
}

void conn_free_hook(Connection* conn)
{
    free_all(conn, false);
}

int g_stage_listener = 0;
int g_freed_listener = 0;

void stage_hook(int stage, Connection* conn)
{
    if ((stage == 0 || stage == 2) && conn_is_live(conn)) free_all(conn, true);
}

}  // namespace

// ---- Handlers the program wires ----

int userlist_userhost_offer(const std::string& item, Connection* conn)
{
    return irc_userhost_reply(item, conn);
}

int userlist_userhost_done(Connection* conn)
{
    return irc_userhost_fail_all(conn) > 0 ? 1 : 0;
}


void userlist_request_self(int echo, Connection* conn)
{
    if (!conn_is_live(conn)) return;
    irc_userhost_request_on(conn, conn_own_nick(conn), std::string(), std::string(), std::string(), 5, 0,
                            status_of(conn), 0, kUhLocalInfo, 0, echo);
}

void userlist_dns_request(Connection* conn, QWidget* window, const std::string& nick)
{
    if (!irc_userhost_request_on(conn, nick, std::string(), std::string(), std::string(), 5, 0, window, 0, kUhDns, 0,
                                 1))
        dns_lookup_request(window, nick, nick, 1, kDnsNickNotFound);
}

int userlist_protects_sender(Connection* conn, const std::string& nick, const std::string& address, const std::string& channel)
{
    if (!opt(OPT_PROTECT_ENABLED)) return 0;
    return userlist_protect_match_address(nick, address, &channel, nullptr, conn) != nullptr;
}

int userlist_condition_match(int list, const std::string& address, const std::string* channel, Connection* conn)
{
    if (channel && !win_find_channel(*channel, conn)) return 0;
    switch (list) {
    case 0: return userlist_aop_match(address, channel, nullptr, conn) != nullptr;
    case 1: return userlist_avoice_match(address, channel, nullptr, conn) != nullptr;
    case 2: {
        const std::size_t bang = address.find('!');
        if (bang == std::string::npos) return userlist_protect_match(address, channel, nullptr, conn) != nullptr;
        return userlist_protect_match_address(address.substr(0, bang), address, channel, nullptr, conn) != nullptr;
    }
    default: return 0;
    }
}

namespace {

// ---- Users file ----

// A users-file line taken apart: "levels:address[ info]".
struct UserLine {
    std::string levels;
    std::string address;
    std::string info;
    bool ok = false;
};

UserLine parse_user_line(const std::string& text)
{
    UserLine u;
    std::string_view t(text);
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    const std::size_t colon = t.find(':');
    if (colon == std::string_view::npos) return u;
    u.levels = std::string(t.substr(0, colon));
    std::string_view rest = t.substr(colon + 1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    const std::size_t blank = rest.find(' ');
    u.address = std::string(rest.substr(0, blank));
    if (blank != std::string_view::npos) u.info = std::string(trim(rest.substr(blank + 1)));
    u.ok = !u.address.empty();
    return u;
}

std::string user_line_text(const std::string& levels, const std::string& address, const std::string& info)
{
    std::string t = levels + ":" + address;
    if (!info.empty()) t += " " + info;
    return t;
}

bool is_comment(const StringNode* n)
{
    return n->extra[kLineComment] != 0;
}

// New or replaced lines take the file's line words.
void mark_changed(ScriptFile* f)
{
    f->modified = 1;
    script_line_comment_state(f->lines);
    for (StringNode* n = f->lines; n; n = n->next) n->extra[kLineScript] = reinterpret_cast<std::intptr_t>(f);
}

// The level item without its leading "=" and blanks, for comparing.
std::string_view level_key(std::string_view item)
{
    while (!item.empty() && (item.front() == '=' || item.front() == ' ')) item.remove_prefix(1);
    return item;
}

bool level_number(std::string_view item, long& value)
{
    item = level_key(item);
    if (item.empty() || !std::isdigit(static_cast<unsigned char>(item.front()))) return false;
    value = 0;
    for (char c : item) {
        if (!std::isdigit(static_cast<unsigned char>(c))) break;
        if (value < 100000000L) value = value * 10 + (c - '0');
    }
    return true;
}

bool has_level(const std::vector<std::string>& items, std::string_view item)
{
    for (const std::string& i : items)
        if (text_equal_nocase(level_key(i), level_key(item))) return true;
    return false;
}

std::vector<std::string> level_items(std::string_view text)
{
    std::vector<std::string> items = split_items(text, 41);
    std::vector<std::string> out;
    for (const std::string& i : items)
        if (!level_key(i).empty() && !has_level(out, i)) out.push_back(i);
    return out;
}

}  // namespace

Signal<void()> irc_nick_colours_stale;

// ---- Output ----

void userlist_print(QWidget* window, std::uint32_t colour, const std::string& text, int framed)
{
    if (!window) {
        Connection* conn = conn_current();
        window = conn ? link_status_window(conn) : nullptr;
    }
    if (!window) return;
    if (framed) print_separator(window, colour);
    print_line(window, std::string_view(text), colour);
    if (framed) print_separator(window, colour);
}

void userlist_recolor()
{
    irc_nick_colours_stale.fire();
}

ScriptFile* users_file_for_edit()
{
    return remote_file_of_kind(kRemoteUsers);
}

// ---- The lists ----

StringNode** userlist_head(int kind)
{
    switch (kind) {
    case kUserListAop: return &main_settings.aop_list;
    case kUserListAvoice: return &main_settings.avoice_list;
    case kUserListProtect: return &main_settings.protect_list;
    default: return nullptr;
    }
}

std::string userlist_split_network(std::string& text)
{
    const std::size_t comma = text.rfind(',');
    if (comma == std::string::npos) return std::string();
    std::size_t i = comma + 1;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size() || text[i] != '"') return std::string();
    std::string net = text.substr(i + 1);
    const std::size_t quote = net.find('"');
    if (quote != std::string::npos) net.resize(quote);
    const std::size_t start = net.find_first_not_of(' ');
    net = start == std::string::npos ? std::string() : net.substr(start);
    net.resize(std::min(net.find(' '), net.size()));
    if (net.size() > kShortTextSize - 2) net.resize(kShortTextSize - 2);
    text.resize(comma);
    return net;
}

bool userlist_network_applies(const std::string& entry_net, const std::string& lookup, bool explicit_net)
{
    if (lookup == "*") return true;
    if (!entry_net.empty() && text_equal_nocase(entry_net, lookup)) return true;
    return !explicit_net && entry_net.empty();
}

StringNode* userlist_aop_match(const std::string& address, const std::string* channel, const std::string* network,
                               Connection* conn)
{
    return address_match(kUserListAop, address, channel, network, conn);
}

StringNode* userlist_avoice_match(const std::string& address, const std::string* channel,
                                  const std::string* network, Connection* conn)
{
    return address_match(kUserListAvoice, address, channel, network, conn);
}

StringNode* userlist_protect_match_address(const std::string& nick, const std::string& address,
                                           const std::string* channel, const std::string* network, Connection* conn)
{
    if (nick.empty()) return nullptr;
    bool explicit_net = false;
    const std::string lookup = lookup_network(network, conn, explicit_net);
    std::string known = address;
    bool asked = !known.empty();
    for (StringNode* n = main_settings.protect_list; n; n = n->next) {
        if (!userlist_network_applies(entry_network(n->text), lookup, explicit_net)) continue;
        const std::string mask = entry_mask(n->text);
        if (mask.empty()) continue;
        bool hit = text_equal_nocase(mask, nick);
        if (!hit && mask.find('!') != std::string::npos && mask.find('@') != std::string::npos) {
            if (!asked) {
                IalResult r;
                if (conn_is_live(conn)) ial_lookup(nick, r, conn);
                known = r.text;
                asked = true;
            }
            hit = !known.empty() && wild_match(mask, known, 0, 1);
        }
        if (hit) return channel_filter(n, channel);
    }
    return nullptr;
}

StringNode* userlist_protect_match(const std::string& nick, const std::string* channel, const std::string* network,
                                   Connection* conn)
{
    return userlist_protect_match_address(nick, std::string(), channel, network, conn);
}

int userlist_aop_edit(QWidget* window, int action, const std::string& mask, const std::string* channels, int echo,
                      Connection* /*conn*/)
{
    return list_edit(kUserListAop, window, action, mask, channels, echo);
}

int userlist_avoice_edit(QWidget* window, int action, const std::string& mask, const std::string* channels, int echo,
                         Connection* /*conn*/)
{
    return list_edit(kUserListAvoice, window, action, mask, channels, echo);
}

int userlist_protect_edit(QWidget* window, int action, const std::string& mask, const std::string* channels,
                          int echo, Connection* /*conn*/)
{
    return list_edit(kUserListProtect, window, action, mask, channels, echo);
}

void userlist_on_join(WindowRecord* rec, const std::string& nick, const std::string& address, Connection* conn)
{
    if (!rec || !conn_is_live(conn) || address.empty() || nick.empty()) return;
    const int own = nicklist_update(conn_own_nick(conn), rec, kNickTest, 0);
    const std::string who = nick + "!" + address;
    const int delay = opt(OPT_AUTO_OP_DELAY) ? 7 : 0;
    if (opt(OPT_AUTO_OP_ENABLED) && chan_bits_have_rank(own, 0, conn) &&
        userlist_aop_match(who, &rec->name, nullptr, conn)) {
        automode_queue(delay, rec->name, nick, 0, conn);
        return;
    }
    if (opt(OPT_AUTO_VOICE_ENABLED) && chan_bits_have_rank(own, 2, conn) &&
        userlist_avoice_match(who, &rec->name, nullptr, conn))
        automode_queue(delay, rec->name, nick, 1, conn);
}

void userlist_on_kick(WindowRecord* rec, const std::string& kicker, const std::string& kicked, Connection* conn)
{
    if (!rec || !conn_is_live(conn) || !opt(OPT_PROTECT_ENABLED)) return;
    const std::string me = conn_own_nick(conn);
    if (text_equal_nocase(kicker, me) || text_equal_nocase(kicker, kicked)) return;
    if (!chan_bits_have_rank(nicklist_update(me, rec, kNickTest, 0), 0, conn)) return;
    if (!userlist_protect_match(kicked, &rec->name, nullptr, conn)) return;
    irc_send_line("KICK " + rec->name + " " + kicker + "\n", 0, conn);
}

// ---- USERHOST requests ----

int irc_userhost_request_on(Connection* conn, const std::string& nick, const std::string& text1,
                            const std::string& text2, const std::string& channel, int mask_type, int seconds,
                            QWidget* window, int action, int purpose, int tag, int echo)
{
    if (!conn_is_live(conn) || nick.empty() || nick.size() >= kShortText || bad_word(nick)) return 0;
    UserhostRequest** tail = &conn->userhost_requests;
    int count = 0;
    for (; *tail; tail = &(*tail)->next) ++count;
    if (count >= kUserhostMaxPending) return 0;
    auto* r = new (std::nothrow) UserhostRequestRecord;
    if (!r) return 0;
    r->nick = nick;
    r->mask_type = mask_type;
    r->text1 = text1.substr(0, kMediumText);
    r->text2 = text2.substr(0, kMediumText);
    r->channel = channel.substr(0, kMediumText);
    userhost_window_set(*r, window ? window : status_of(conn));
    r->echo = echo;
    r->seconds = seconds;
    r->action = action;
    r->purpose = purpose;
    own_records().insert(r);
    // The records are freed here, never by the connection's plain delete.
    conn_freed.add_once(g_freed_listener, kFreedUserhosts, conn_free_hook);
    *tail = r;
    ++query_reply_state(conn)->userhost_pending;
    irc_send_line("USERHOST " + nick + "\n", tag, conn);
    return 1;
}

int irc_userhost_request(const std::string& nick, const std::string& text1, const std::string& text2,
                         const std::string& channel, int mask_type, int seconds, QWidget* window, int action,
                         int purpose, int tag, int echo)
{
    Connection* conn = window ? conn_of_window(window) : nullptr;
    if (!conn) return 0;
    return irc_userhost_request_on(conn, nick, text1, text2, channel, mask_type, seconds, window, action, purpose,
                                   tag, echo);
}

int irc_userhost_reply(const std::string& item, Connection* conn)
{
    if (!conn_is_live(conn)) return 0;
    const std::size_t bang = item.find('!');
    const std::string nick = item.substr(0, bang);
    if (nick.empty()) return 0;
    UserhostRequest** link = &conn->userhost_requests;
    for (; *link; link = &(*link)->next) {
        UserhostRequestRecord* r = as_record(*link);
        if (r && text_equal_nocase(r->nick, nick)) break;
    }
    if (!*link) return 0;
    UserhostRequestRecord* r = as_record(*link);
    *link = r->next;
    r->next = nullptr;
    const bool has_address = bang != std::string::npos && item.find('@', bang) != std::string::npos;
    if (has_address) complete(*r, item, conn);
    free_request(r);
    return 1;
}

int irc_userhost_fail_all(Connection* conn)
{
    if (!conn_is_live(conn)) return 0;
    query_reply_state(conn)->userhost_pending = 0;
    UserhostRequest* list = take_all(conn);
    int failed = 0;
    bool finger = false;
    while (list) {
        UserhostRequest* next = list->next;
        list->next = nullptr;
        if (UserhostRequestRecord* r = as_record(list); r && conn_is_live(conn)) {
            ++failed;
            if (r->purpose == kUhFingerUserHost || r->purpose == kUhFingerHost) finger = true;
            if (r->purpose == kUhDns) {
                dns_lookup_request(window_of(*r, conn), r->nick, r->nick, 1, kDnsNickNotFound);
            } else if (const char* word = command_of(r->purpose)) {
                userlist_print(status_of(conn), kColorInfoText,
                               std::string(word) + text_load_string(3542) + " " + r->nick, 0);
            }
        }
        free_request(list);
        list = next;
    }
    if (finger && conn_is_live(conn)) finger_userhost_done(nullptr, nullptr, conn);
    return failed;
}

void userhost_requests_free(Connection* conn)
{
    free_all(conn, conn_is_live(conn));
}

int userhost_request_count(Connection* conn)
{
    if (!conn) return 0;
    int n = 0;
    for (UserhostRequest* r = conn->userhost_requests; r; r = r->next) ++n;
    return n;
}

// ---- User levels ----

int userlist_levels_op(const std::string& a, const std::string& b, std::string* out, int op)
{
    const std::vector<std::string> la = level_items(a);
    const std::vector<std::string> lb = level_items(b);
    switch (op) {
    case 0: {
        std::vector<std::string> merged;
        long first_b = 0;
        if (!lb.empty() && level_number(lb.front(), first_b) &&
            (la.empty() || !text_equal_nocase(level_key(la.front()), level_key(lb.front()))))
            merged.push_back(lb.front());
        for (const std::string& i : la)
            if (!has_level(merged, i)) merged.push_back(i);
        for (const std::string& i : lb)
            if (!has_level(merged, i)) merged.push_back(i);
        const std::string joined = join_items(merged);
        if (out) *out = joined;
        return joined != join_items(split_items(a, 41)) ? 1 : 0;
    }
    case 1: {
        std::vector<std::string> kept;
        for (const std::string& i : la)
            if (!has_level(lb, i)) kept.push_back(i);
        if (out) *out = join_items(kept);
        return la.empty() || kept.size() != la.size() ? 1 : 0;
    }
    case 2:
        for (const std::string& i : la)
            if (has_level(lb, i)) return 1;
        return 0;
    case 3:
    case 4:
        for (const std::string& i : la) {
            long va = 0;
            if (!level_number(i, va)) continue;
            for (const std::string& j : lb) {
                long vb = 0;
                if (!level_number(j, vb)) continue;
                if (op == 3 ? va < vb : va > vb) return 1;
            }
        }
        return 0;
    default:
        return 0;
    }
}

int users_add_levels(const std::string& nick, const std::string& levels_in, int mode, QWidget* window,
                     const std::string& address_in, const std::string& info_in, int echo)
{
    ScriptFile* f = users_file_for_edit();
    const std::string address = address_in.substr(0, kMediumText);
    if (!f || address.empty() || bad_word(address)) return 0;
    const std::string levels = std::string(trim(levels_in.substr(0, kMediumText)));
    const std::string info = std::string(trim(info_in.substr(0, kMediumText)));
    StringNode* found = nullptr;
    UserLine old;
    for (StringNode* n = f->lines; n; n = n->next) {
        if (is_comment(n)) continue;
        UserLine u = parse_user_line(n->text);
        if (u.ok && text_equal_nocase(u.address, address)) {
            found = n;
            old = std::move(u);
            break;
        }
    }
    const std::string shown_nick = nick.empty() ? address : nick;
    std::string text;
    int message = 0;
    if (found && mode == 2) {
        text = user_line_text(old.levels, old.address, info);
        message = 5807;
    } else if (found && mode == 0) {
        std::string merged;
        userlist_levels_op(old.levels, levels, &merged, 0);
        text = user_line_text(merged, old.address, info.empty() ? old.info : info);
        message = 5801;
    } else {
        std::string lv = levels.empty() && found ? old.levels : levels;
        if (lv.empty()) lv = std::to_string(user_default_level);
        text = user_line_text(lv, address, info.empty() && found ? old.info : info);
        message = text_equal_nocase(shown_nick, address) ? 5802 : 5803;
    }
    if (found) {
        found->text = text.substr(0, kLongText);
    } else {
        StringNode* head = strlist_append(f->lines, std::string_view(text), 0);
        if (!head) {
            script_error(nullptr, mode == 2 ? "iuser" : "auser", "", 2);
            return 0;
        }
        f->lines = head;
    }
    mark_changed(f);
    if (echo) {
        std::string line;
        if (message == 5801) {
            line = text_fill_id(5801, {shown_nick});
            if (!text_equal_nocase(shown_nick, address)) line += " (" + address + ")";
        } else if (message == 5803) {
            line = text_fill_id(5803, {shown_nick, address});
        } else {
            line = text_fill_id(message, {shown_nick});
        }
        userlist_print(window, kColorInfo2Text, line, 0);
    }
    userlist_recolor();
    return 1;
}

int users_remove(const std::string& address_in, const std::string& levels, QWidget* window, int echo)
{
    ScriptFile* f = users_file_for_edit();
    const std::string address = address_in.substr(0, kMediumText);
    int changed = 0;
    std::vector<std::string> shown;
    if (f && !address.empty()) {
        const bool by_nick = address.back() == '!';
        const std::string nick = by_nick ? address.substr(0, address.size() - 1) : std::string();
        const bool no_levels = level_items(levels).empty();
        for (StringNode* n = f->lines; n;) {
            StringNode* next = n->next;
            UserLine u = is_comment(n) ? UserLine() : parse_user_line(n->text);
            bool match = false;
            if (u.ok) {
                if (by_nick) {
                    match = u.address.size() >= nick.size() &&
                            text_equal_nocase(std::string_view(u.address).substr(0, nick.size()), nick) &&
                            (u.address.size() == nick.size() || u.address[nick.size()] == '!');
                } else {
                    match = text_equal_nocase(u.address, address);
                }
            }
            std::string left;
            // Levels given but none of them on the entry: the entry stays.
            if (match && !no_levels && !userlist_levels_op(u.levels, levels, &left, 1)) match = false;
            if (match) {
                if (no_levels || left.empty()) {
                    f->lines = strlist_remove(f->lines, n);
                    shown.push_back(text_fill_id(5805, {u.address}));
                } else {
                    n->text = user_line_text(left, u.address, u.info).substr(0, kLongText);
                    shown.push_back(text_fill_id(5804, {u.address}));
                }
                ++changed;
            }
            n = next;
        }
    }
    if (changed) {
        mark_changed(f);
        userlist_recolor();
    }
    if (echo) {
        if (!changed) shown.push_back(text_load_string(5806));
        for (const std::string& line : shown) userlist_print(window, kColorInfo2Text, line, 0);
    }
    return changed;
}

int users_remove_levels(const std::string& level, const std::string* levels)
{
    ScriptFile* f = users_file_for_edit();
    if (!f) return 0;
    const std::string key = text_lower_copy(trim(level));
    int changed = 0;
    for (StringNode* n = f->lines; n;) {
        StringNode* next = n->next;
        UserLine u = is_comment(n) ? UserLine() : parse_user_line(n->text);
        if (u.ok) {
            if (!levels) {
                const std::string first(trim(std::string_view(u.levels).substr(0, u.levels.find(','))));
                if (text_equal_nocase(level_key(first), level_key(key))) {
                    f->lines = strlist_remove(f->lines, n);
                    ++changed;
                }
            } else {
                std::string left;
                if (userlist_levels_op(u.levels, *levels, &left, 1) && !level_items(u.levels).empty()) {
                    if (level_items(left).empty()) f->lines = strlist_remove(f->lines, n);
                    else n->text = user_line_text(left, u.address, u.info).substr(0, kLongText);
                    ++changed;
                }
            }
        }
        n = next;
    }
    if (changed) {
        mark_changed(f);
        userlist_recolor();
    }
    return changed;
}

std::vector<std::string> users_matching(const std::string& level, int op)
{
    std::vector<std::string> out;
    ScriptFile* f = users_file_for_edit();
    if (!f) return out;
    for (StringNode* n = f->lines; n; n = n->next) {
        if (is_comment(n)) continue;
        UserLine u = parse_user_line(n->text);
        if (u.ok && userlist_levels_op(u.levels, level, nullptr, op)) out.push_back(std::string(trim(n->text)));
    }
    return out;
}

// ---- Install ----

void irc_user_lists_install()
{
    conn_freed.add_once(g_freed_listener, kFreedUserhosts, conn_free_hook);
    irc_link_stage.add_once(g_stage_listener, kStageUserLists, stage_hook);
    // isaop, isavoice, isprotect and isignore read these lists.
    cond_register_user_list_test(userlist_condition_match);
    cond_register_ignore_test([](const std::string& address, const char* type, Connection* conn) {
        return ignore_match(address, type, nullptr, conn) ? 1 : 0;
    });
}

void irc_user_lists_uninstall()
{
    conn_freed.drop(g_freed_listener);
    irc_link_stage.drop(g_stage_listener);
}

void userhost_window_set(UserhostRequest& request, QWidget* window)
{
    widget_handle_set(request.window, window);
}

QWidget* userhost_window_get(const UserhostRequest& request)
{
    return widget_handle_get(request.window);
}
