// The channels list: asks a server for its channels, keeps the replies of
// each connection with their filter, writes a full reply to a list file in
// the channels folder and reads a stored file back. The window that shows
// the lines (channels_list_window.cpp) listens to chanlist_changed.
//
// Qt Core only: no widgets here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/signal.h"

struct Connection;
struct IrcMessage;

// The filter, kept once as the defaults and once per connection.
struct ChannelListFilter {
    int min_users = 0;
    int max_users = 9999;
    int created_low = -9, created_high = -9;   // -9: unset
    int topic_low = -9, topic_high = -9;
    int topic_option = 0;    // words are tried against the channel and its topic
    int hide_option = 0;     // the hide words are in force
    int nameless_option = 0; // channels without a letter or digit after the prefix go
    std::string match_words;
    std::string hide_words;
    std::string list_file;   // a file name inside the channels folder
};

// One kept reply line: " channel\tusers\ttopic" or " channel\tusers".
struct ChannelListLine {
    std::string text;
    int users = 1;
    int shown = 0;           // passes the filter (the window lists it)
};

// What a connection keeps of its list (the listing state itself is
// Connection::chanlist_busy, the file handle Connection::chanlist_file).
struct ChannelListState {
    ChannelListFilter filter;
    std::vector<ChannelListLine> lines;   // in arrival order
    std::string header;                   // server name and time of the reply
    std::size_t kept_bytes = 0;           // text held by `lines`
    int save_flag = 0;
    int batch = 0, received = 0, shown = 0;
    std::uint64_t title_time = 0;
    int sort_mode = 0;                    // 0 name, 1 users, 2 topic, 3 none
    int dropped = 0;                      // lines past the memory budget
};

// How much reply text a connection keeps at most; lines past it are
// counted and written to the list file but neither kept nor shown.
constexpr std::size_t kChanListKeptBytes = 48u * 1024u * 1024u;
// A topic is kept up to this length.
constexpr std::size_t kChanListTopicMax = 1024;

// What changed for the window: the lines were emptied, lines were added
// (shown from index `from` on), the title changed, the reply ended.
enum ChanListChange : int {
    kChanListCleared = 0,
    kChanListAdded = 1,
    kChanListTitle = 2,
    kChanListEnded = 3,
    kChanListOpen = 4,    // a reply begins: the window must exist
};
extern Signal<void(Connection*, int change)> chanlist_changed;

// The defaults (settings) and the per-connection state.
extern ChannelListFilter chanlist_defaults;
extern std::string chanlist_lock_password;
extern std::vector<std::string> chanlist_history;   // newest first, up to 20
ChannelListState& chanlist_state(Connection* conn);

void chanlist_clamp(ChannelListFilter& f);
void chanlist_clamp_filter(Connection* conn);
void chanlist_copy_filter(int direction, Connection* conn);
// The request line for the connection's filter and text (empty: none).
std::string chanlist_request_line(const std::string& text, Connection* conn, int* save_flag);
void chanlist_send_list(const std::string& text, Connection* conn);
int chanlist_stop(Connection* conn);
void chanlist_begin_reply(Connection* conn);
void chanlist_add_reply_line(const std::string& channel, const std::string& users,
                             const std::string& topic, Connection* conn);
void chanlist_end_reply(Connection* conn);
int chanlist_match_words(std::string_view words, std::string_view text);
std::string chanlist_safe_name(std::string_view text);
void chanlist_network_from_welcome(const std::string* text, Connection* conn);
// The protocol's two calls: at the welcome reply with its text, after the
// server-version reply without one.
void chanlist_network_from_welcome_text(const std::string& text, Connection* conn);
void chanlist_network_from_info(IrcMessage& msg);
// Lines shown after a refill; reloads from the list file when asked or
// when nothing is kept.
int chanlist_refill(int reload, Connection* conn);
int chanlist_load_file(Connection* conn);
// Writes the shown lines to a text file; 0 when it cannot be written.
int chanlist_save_text(Connection* conn, const std::string& path);
// Sorts the kept lines (0 name, 1 users, 2 topic, 3 arrival order).
void chanlist_sort(int mode, Connection* conn);
// The shown lines in their order (indexes into the kept lines).
std::vector<int> chanlist_shown_rows(Connection* conn);
// The title text of the window.
std::string chanlist_title(Connection* conn, int ended);
// The list file's full path for the connection.
std::string chanlist_file_path(Connection* conn);

void chanlist_load_settings();
void chanlist_save_settings();
void channels_list_install();
void channels_list_uninstall();
