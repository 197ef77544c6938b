#include "irc/numerics/isupport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdlib>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/nick_list.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/link/send_queue.h"

namespace {

RecordSlot<IrcConnState> g_state_slot;


bool istarts(const std::string& a, const char* b)
{
    for (std::size_t n = 0; b[n]; ++n) {
        if (n >= a.size()) return false;
        if (std::tolower(static_cast<unsigned char>(a[n])) != std::tolower(static_cast<unsigned char>(b[n])))
            return false;
    }
    return true;
}

// Leading-digit decimal read with an optional sign; no digits give 0.
long read_number(const std::string& s)
{
    std::size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) { neg = s[i] == '-'; ++i; }
    long v = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
        if (v < 100000000) v = v * 10 + (s[i] - '0');
    }
    return neg ? -v : v;
}

std::string cut(const std::string& s, std::size_t n) { return s.size() > n ? s.substr(0, n) : s; }

void remove_chars(std::string& s, const char* which)
{
    std::string out;
    for (char c : s)
        if (!std::strchr(which, c)) out += c;
    s = out;
}

// Quotes removed, cut at the first blank, anything but letters, digits, "-"
// and "." becomes "_".
std::string safe_name(const std::string& value)
{
    std::string out;
    for (char c : value) {
        if (c == '"') continue;
        if (c == ' ') break;
        unsigned char u = static_cast<unsigned char>(c);
        out += (std::isalnum(u) || c == '-' || c == '.') ? c : '_';
    }
    return cut(out, kShortText);
}

Connection* live(Connection* conn) { return conn && conn_is_live(conn) ? conn : nullptr; }

}  // namespace

IrcConnState* irc_state(Connection* conn)
{
    if (!conn) return nullptr;
    return &conn->state_slots.get(g_state_slot);
}

void irc_state_new_link(Connection* conn)
{
    if (!conn) return;
    IrcConnState& st = conn->state_slots.get(g_state_slot);
    IrcConnState fresh;
    fresh.skip_perform = st.skip_perform;
    fresh.skip_connect_event = st.skip_connect_event;
    fresh.autojoin_delay = st.autojoin_delay;
    fresh.logon_pending = 1;
    fresh.nick_pending = 1;
    st = fresh;
    conn->nick_prefixes.clear();
    conn->prefix_modes.clear();
    conn->chan_types.clear();
    conn->registered = 0;
    conn_set_isupport_defaults(conn);
}

void isupport_parse_005(IrcMessage& msg)
{
    Connection* conn = live(msg.connection);
    if (!conn || !irc_has_word(msg, 2)) return;
    IrcConnState* st = irc_state(conn);
    for (int i = 3; i <= msg.last_word && i < static_cast<int>(msg.words.size()); ++i) {
        if (i == msg.trailing_word) continue;  // the closing text is no token
        const std::string& word = msg.words[i];
        std::size_t eq = word.find('=');
        std::string name = word.substr(0, eq);
        bool has_value = eq != std::string::npos && eq + 1 < word.size();
        std::string value = has_value ? word.substr(eq + 1) : std::string();
        if (has_value) {
            if (text_equal_nocase(name, "WATCH")) {
                long v = read_number(value);
                st->watch_limit = v < 0 ? 0 : static_cast<int>(v);
            } else if (text_equal_nocase(name, "PREFIX")) {
                std::size_t close = value.find(')');
                if (value[0] == '(' && close != std::string::npos) {
                    conn->prefix_modes = cut(value.substr(1, close - 1), kShortText);
                    conn->nick_prefixes = cut(value.substr(close + 1), kShortText);
                    st->prefix_given = 1;
                }
            } else if (text_equal_nocase(name, "CHANTYPES")) {
                conn->chan_types = cut(value, kShortText);
                remove_chars(conn->chan_types, "@$");
                st->chantypes_given = 1;
            } else if (text_equal_nocase(name, "CHANMODES")) {
                st->chan_modes = cut(value, kShortText);
                st->chanmodes_given = 1;
                std::size_t comma = value.find(',');
                if (comma != std::string::npos) {
                    std::string group = value.substr(0, comma);
                    if (group.find('e') != std::string::npos) st->has_excepts = 1;
                    if (group.find('I') != std::string::npos) st->has_invex = 1;
                }
            } else if (text_equal_nocase(name, "MODES")) {
                long v = read_number(value);
                st->modes_per_line = v < 3 ? 3 : (v >= 16 ? 15 : static_cast<int>(v));
                st->modes_given = 1;
            } else if (text_equal_nocase(name, "NETWORK")) {
                if (!text_equal_nocase(value, "java")) {
                    std::string safe = safe_name(value);
                    if (!safe.empty()) {
                        conn->network = safe;
                        st->network_from_server = 1;
                    }
                }
            } else if (text_equal_nocase(name, "TOPICLEN")) {
                long v = read_number(value);
                st->topic_len = v < 0 ? 0 : (v > 1024 ? 1024 : static_cast<int>(v));
            } else if (text_equal_nocase(name, "MAXTARGETS")) {
                long v = read_number(value);
                st->privmsg_targets = st->notice_targets = v < 0 ? 0 : static_cast<int>(v);
            } else if (text_equal_nocase(name, "ELIST")) {
                st->elist = cut(value, kShortText);
                for (char& c : st->elist) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                st->elist_given = 1;
            } else if (text_equal_nocase(name, "CASEMAPPING")) {
                st->casemapping = cut(value, kShortText);
            } else if (text_equal_nocase(name, "CHARSET")) {
                st->charset = cut(value, kShortText);
            } else if (text_equal_nocase(name, "TARGMAX")) {
                std::size_t pos = 0;
                while (pos <= value.size()) {
                    std::size_t end = value.find(',', pos);
                    if (end == std::string::npos) end = value.size();
                    std::string item = value.substr(pos, end - pos);
                    int* target = nullptr;
                    std::size_t skip = 0;
                    if (istarts(item, "WHOIS:")) { target = &st->whois_targets; skip = 6; }
                    else if (istarts(item, "PRIVMSG:")) { target = &st->privmsg_targets; skip = 8; }
                    else if (istarts(item, "NOTICE:")) { target = &st->notice_targets; skip = 7; }
                    if (target && item.size() > skip) {
                        long v = read_number(item.substr(skip));
                        *target = v < 0 ? 0 : static_cast<int>(v);
                    }
                    pos = end + 1;
                }
            } else if (text_equal_nocase(name, "EXCEPTS")) {
                st->has_excepts = 1;
            } else if (text_equal_nocase(name, "INVEX")) {
                st->has_invex = 1;
            }
            continue;
        }
        if (text_equal_nocase(name, "EXCEPTS")) st->has_excepts = 1;
        else if (text_equal_nocase(name, "INVEX")) st->has_invex = 1;
        else if (text_equal_nocase(name, "SPLIT")) irc_send_line("CAPAB SPLIT\n", 0, conn);
        else if (text_equal_nocase(name, "SAFELIST")) st->has_safelist = 1;
        else if (text_equal_nocase(name, "IRCX")) {
            if (!(conn->server_flags & kServerIrcx)) {
                conn->server_flags |= kServerIrcx;
                irc_send_line("IRCX\n", 0, conn);
            }
        } else if (text_equal_nocase(name, "WALLCHOPS")) st->has_wallchops = 1;
        else if (text_equal_nocase(name, "NAMESX")) st->has_namesx = 1;
        else if (text_equal_nocase(name, "UHNAMES")) st->has_uhnames = 1;
        if (!conn_is_live(conn)) return;
    }
}

void conn_set_isupport_defaults(Connection* conn)
{
    if (!conn) return;
    IrcConnState* st = irc_state(conn);
    const int flags = conn->server_flags;
    if (!st->prefix_given || conn->nick_prefixes.empty() || conn->prefix_modes.empty()) {
        conn->nick_prefixes.clear();
        conn->prefix_modes.clear();
        auto add = [&](char c, char m) { conn->nick_prefixes += c; conn->prefix_modes += m; };
        if (flags & kServerIrcx) add('.', 'q');
        add('@', 'o');
        if (!(flags & kServerIrcx)) add('%', 'h');
        add('+', 'v');
        if (flags & kServerMinusPrefix) add('-', 'u');
    }
    // Pair the characters with their letters: the shorter of the two counts,
    // "$" goes with its letter, and only as many as get a rank bit are kept.
    std::size_t n = std::min(conn->nick_prefixes.size(), conn->prefix_modes.size());
    std::string chars, modes;
    for (std::size_t i = 0; i < n && static_cast<int>(chars.size()) < kMaxPrefixes; ++i) {
        if (conn->nick_prefixes[i] == '$' || conn->prefix_modes[i] == '$') continue;
        chars += conn->nick_prefixes[i];
        modes += conn->prefix_modes[i];
    }
    conn->nick_prefixes = chars;
    conn->prefix_modes = modes;
    for (int& b : st->prefix_bits) b = 0;
    const int count = static_cast<int>(chars.size());
    for (int i = 0; i < count; ++i) st->prefix_bits[i] = 1 << (count - i);

    if (!st->chantypes_given || conn->chan_types.empty()) {
        conn->chan_types = "#&";
        if (flags & 0x04) conn->chan_types += '+';
        if (flags & 0x20) conn->chan_types += '%';
        if (flags & kServerPlusBangChannels) conn->chan_types += "+!";
    }
    remove_chars(conn->chan_types, "@$");

    if (!st->chanmodes_given || st->chan_modes.empty()) {
        st->chan_modes = "bI";
        if (flags & 0x80) st->chan_modes += 'd';
        if (!(flags & 0x100)) st->chan_modes += 'e';
        st->chan_modes += ",k,l";
    }
}

int isupport_is_chantype(const char* text, Connection* conn)
{
    if (!live(conn) || !text || !*text) return 0;
    return conn->chan_types.find(*text) != std::string::npos ? static_cast<unsigned char>(*text) : 0;
}

int isupport_is_nick_prefix(const char* text, Connection* conn)
{
    if (!live(conn) || !text || !*text) return 0;
    return conn->nick_prefixes.find(*text) != std::string::npos ? static_cast<unsigned char>(*text) : 0;
}

int isupport_chanmode_in_group(const char* text, int group, Connection* conn)
{
    if (!live(conn) || !text || !*text) return 0;
    int g = 0;
    for (char c : irc_state(conn)->chan_modes) {
        if (c == ',') {
            if (g == group) return 0;
            ++g;
            continue;
        }
        if (g == group && c == *text) return static_cast<unsigned char>(c);
    }
    return 0;
}

static int bit_at(Connection* conn, std::size_t pos)
{
    if (pos == std::string::npos || pos >= static_cast<std::size_t>(kMaxPrefixes)) return 0;
    return irc_state(conn)->prefix_bits[pos];
}

int isupport_mode_bit(const char* text, Connection* conn)
{
    if (!live(conn) || !text || !*text) return 0;
    return bit_at(conn, conn->prefix_modes.find(*text));
}

int isupport_mode_bits(const char* text, Connection* conn)
{
    if (!live(conn) || !text) return 0;
    int bits = 0;
    for (std::size_t i = 0; i < conn->prefix_modes.size(); ++i)
        if (std::strchr(text, conn->prefix_modes[i])) bits |= bit_at(conn, i);
    return bits;
}

int isupport_prefix_bit(const char* text, Connection* conn)
{
    if (!live(conn) || !text || !*text) return 0;
    return bit_at(conn, conn->nick_prefixes.find(*text));
}

int isupport_prefix_index(const char* text, Connection* conn)
{
    if (!live(conn) || !text || !*text || conn->nick_prefixes.empty()) return -1;
    std::size_t pos = conn->nick_prefixes.find(*text);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int isupport_prefix_rank(const char* text, Connection* conn) { return isupport_prefix_index(text, conn); }

int isupport_top_prefix(int bits, Connection* conn)
{
    if (!live(conn)) return 0;
    for (std::size_t i = 0; i < conn->nick_prefixes.size(); ++i)
        if (bit_at(conn, i) & bits) return static_cast<unsigned char>(conn->nick_prefixes[i]);
    return 0;
}

std::string& isupport_prefix_chars(std::string& text, int bits, Connection* conn)
{
    if (!live(conn)) return text;
    for (std::size_t i = 0; i < conn->nick_prefixes.size(); ++i)
        if (bit_at(conn, i) & bits) text += conn->nick_prefixes[i];
    return text;
}

std::string prefix_char_of_bits(int bits, Connection* conn)
{
    std::string out;
    return isupport_prefix_chars(out, bits, conn);
}

int chan_bits_have_rank(int bits, int kind, Connection* conn)
{
    if (!live(conn) || bits == 0) return 0;
    int start = -1;
    std::size_t plus = conn->nick_prefixes.find('+');
    if ((kind == 1 || kind == 2) && plus != std::string::npos) {
        if (plus == 0) return 0;
        start = kind == 1 ? static_cast<int>(plus) - 1 : static_cast<int>(plus);
    } else {
        std::size_t at = conn->nick_prefixes.find('@');
        if (at == std::string::npos) return 0;
        start = static_cast<int>(at);
    }
    for (int i = start; i >= 0; --i)
        if (bit_at(conn, static_cast<std::size_t>(i)) & bits) return 1;
    return 0;
}

int chan_nick_has_prefix(const std::string& nick, WindowRecord* channel, std::string_view prefixes)
{
    if (!channel || !live(channel->conn) || nick.empty()) return 0;
    const int bits = nicklist_update(nick, channel, kNickTest, 0);
    if (bits == 0) return 0;
    for (char c : prefixes) {
        const std::size_t i = channel->conn->nick_prefixes.find(c);
        if (c != 0 && i != std::string::npos && (bit_at(channel->conn, i) & bits)) return 1;
    }
    return 0;
}

int chan_nick_has_rank(const std::string& nick, WindowRecord* channel, int kind)
{
    if (!channel || !live(channel->conn) || nick.empty()) return 0;
    return chan_bits_have_rank(nicklist_update(nick, channel, kNickTest, 0), kind, channel->conn);
}
