// Server capabilities announced in the 005 reply, their defaults by server
// kind, the per-connection registration state of the protocol layer, and the
// nick-prefix rank tests.
#pragma once

#include <string>
#include <string_view>

struct Connection;
struct IrcMessage;
struct WindowRecord;

// Most prefixes that get a rank bit: the bits are 2^(n-i) in an int, so at
// most 30 prefixes (highest bit 2^30). Further prefixes are ignored.
constexpr int kMaxPrefixes = 30;

// Per-connection state kept by the protocol layer beside the Connection
// record (capabilities, registration, logon). Looked up by the connection's
// unique id, so a freed record never aliases a new one.
struct IrcConnState {
    // Capabilities (prefix characters and letters live in the Connection:
    // nick_prefixes, prefix_modes, chan_types, network, server_flags).
    int prefix_bits[kMaxPrefixes + 1] = {};
    std::string chan_modes;
    int prefix_given = 0, chantypes_given = 0, chanmodes_given = 0;
    int modes_per_line = 3;
    int modes_given = 0;
    int watch_limit = 0;
    int has_safelist = 0, has_wallchops = 0, has_namesx = 0, has_uhnames = 0;
    int has_excepts = 0, has_invex = 0;
    int topic_len = 0;
    int whois_targets = 0, privmsg_targets = 0, notice_targets = 0;
    std::string elist;
    int elist_given = 0;
    std::string casemapping, charset;
    int network_from_server = 0;
    // Registration and replies.
    int registration = 0;      // bit 1 welcome seen, bit 2 server info seen
    int logon_pending = 0;     // 1 new link, 2 inside the MOTD at logon, 0 done
    int nick_pending = 0, nick_prompted = 0, alt_nick_tried = 0, nick_settled = 0;
    std::string user_modes_text;  // "[+iw]"; empty while no mode is set
    int stats_shown = 0, info_shown = 0, who_shown = 0;
    int services_state = 0;
    std::string last_invite;
    // Logon.
    int skip_perform = 0;
    int skip_connect_event = 0;
    int autojoin_delay = 0;    // 0 join at logon, >0 seconds to wait, -1 skip once
};

// The state of a connection (made on first use, gone with the record); null
// for a null connection.
IrcConnState* irc_state(Connection* conn);
// Clears the state for a new link: capabilities, registration; logon_pending
// and nick_pending become 1 (the NICK of the logon is under way).
void irc_state_new_link(Connection* conn);

// Reads words 3, 4, ... of a 005 reply.
void isupport_parse_005(IrcMessage& msg);
// Fills what the server did not give and rebuilds the prefix bits.
void conn_set_isupport_defaults(Connection* conn);

// Tests: 0 when the connection is not live or the text is null/empty.
int isupport_is_chantype(const char* text, Connection* conn);
int isupport_is_nick_prefix(const char* text, Connection* conn);
int isupport_chanmode_in_group(const char* text, int group, Connection* conn);
int isupport_mode_bit(const char* text, Connection* conn);
int isupport_mode_bits(const char* text, Connection* conn);
int isupport_prefix_bit(const char* text, Connection* conn);
// Rank position (0 highest) of the prefix that starts text; -1 none.
int isupport_prefix_index(const char* text, Connection* conn);
// Alias of the rank position under its other name.
int isupport_prefix_rank(const char* text, Connection* conn);
// The highest-ranked prefix character whose bit is in bits, else 0.
int isupport_top_prefix(int bits, Connection* conn);
// Appends every prefix character whose bit is in bits, in rank order.
std::string& isupport_prefix_chars(std::string& text, int bits, Connection* conn);
// The prefix characters of a set of bits, in rank order.
std::string prefix_char_of_bits(int bits, Connection* conn);
// Whether a nick with these bits holds a rank: kind 1 above "+", kind 2 "+"
// or above, other "@" or above. The caller reads the bits from its nick list.
int chan_bits_have_rank(int bits, int kind, Connection* conn);
// 1 when the nick is in the channel window's nick list and holds the bit of
// any of the prefix characters.
int chan_nick_has_prefix(const std::string& nick, WindowRecord* channel, std::string_view prefixes);
// 1 when the nick (read from the channel window's nick list) holds a rank:
// kind 1 above "+", kind 2 "+" or above, any other kind "@" or above.
int chan_nick_has_rank(const std::string& nick, WindowRecord* channel, int kind);
