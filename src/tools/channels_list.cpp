#include "tools/channels_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

#include "core/files.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/record_slots.h"
#include "core/secret_cipher.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/server_commands.h"
#include "irc/link/send_queue.h"
#include "irc/numerics/isupport.h"
#include "irc/numerics/numerics.h"
#include "irc/numerics/query_replies.h"
#include "irc/numerics/replies.h"
#include "model/connection.h"
#include "platform/platform_utils.h"

Signal<void(Connection*, int)> chanlist_changed;
ChannelListFilter chanlist_defaults;
std::string chanlist_lock_password;
std::vector<std::string> chanlist_history;

namespace {

RecordSlot<ChannelListState> g_slot;
int g_stage_listener = 0;
int g_loaded_listener = 0;
int g_saving_listener = 0;

// The key text that enciphers the lock password and the hide words.
constexpr std::string_view kSettingsKey = "kestc";
constexpr int kUnset = -9;
// Our step of the settings save, after the main settings' own lines.
constexpr int kSettingsSaveChanlist = 80;

std::string collapse_blanks(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == ' ' && (out.empty() || out.back() == ' '))
            continue;
        out.push_back(c);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string first_word(std::string_view text)
{
    std::size_t a = text.find_first_not_of(' ');
    if (a == std::string_view::npos)
        return std::string();
    std::size_t b = text.find(' ', a);
    return std::string(text.substr(a, b == std::string_view::npos ? std::string_view::npos : b - a));
}

bool is_alnum(unsigned char c) { return std::isalnum(c) != 0; }

// The channel has no letter or digit after its prefix character (or is "0"
// followed by neither).
bool is_nameless(std::string_view channel)
{
    if (channel.size() < 2)
        return true;
    unsigned char c = static_cast<unsigned char>(channel[1]);
    if (!is_alnum(c))
        return true;
    if (c == '0' && (channel.size() < 3 || !is_alnum(static_cast<unsigned char>(channel[2]))))
        return true;
    return false;
}

// The channel of a kept line (" channel\tusers...").
std::string_view channel_of(std::string_view line)
{
    std::size_t a = line.find_first_not_of(' ');
    if (a == std::string_view::npos)
        return {};
    std::size_t tab = line.find('\t', a);
    return line.substr(a, tab == std::string_view::npos ? std::string_view::npos : tab - a);
}

std::string_view topic_of(std::string_view line)
{
    std::size_t t1 = line.find('\t');
    if (t1 == std::string_view::npos)
        return {};
    std::size_t t2 = line.find('\t', t1 + 1);
    return t2 == std::string_view::npos ? std::string_view() : line.substr(t2 + 1);
}

// Applies the hide and match words to the lower-cased test text: 0 hidden
// (neither shown nor saved), 1 saved only, 2 shown.
int judge(const ChannelListFilter& f, std::string test)
{
    test = text_lower_copy(test);
    text_strip_codes(test, kStripBold | kStripUnderline | kStripReverse | kStripColour);
    if (f.hide_option && !f.hide_words.empty() && chanlist_match_words(f.hide_words, test))
        return 0;
    if (!f.match_words.empty() && !chanlist_match_words(f.match_words, test))
        return 1;
    return 2;
}

void close_file(Connection* conn)
{
    if (conn->chanlist_file >= 0) {
        ::close(conn->chanlist_file);
        conn->chanlist_file = -1;
    }
}

void write_file(Connection* conn, const std::string& text)
{
    if (conn->chanlist_file < 0)
        return;
    if (!file_write_all(conn->chanlist_file, text.data(), text.size()))
        close_file(conn);
}

void clear_lines(ChannelListState& st)
{
    std::vector<ChannelListLine>().swap(st.lines);
    st.header.clear();
    st.kept_bytes = 0;
    st.dropped = 0;
}

bool keep_line(ChannelListState& st, ChannelListLine line)
{
    if (st.kept_bytes + line.text.size() > kChanListKeptBytes) {
        ++st.dropped;
        return false;
    }
    st.kept_bytes += line.text.size();
    st.lines.push_back(std::move(line));
    return true;
}

std::string header_now(Connection* conn)
{
    char when[64];
    std::time_t now = std::time(nullptr);
    std::tm tmv{};
    localtime_r(&now, &tmv);
    std::strftime(when, sizeof when, "%a %b %d %X %Y", &tmv);
    return conn->server_name + " " + when;
}

int parse_int(std::string_view s, int* out)
{
    std::size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        neg = s[i++] == '-';
    if (i >= s.size())
        return 0;
    long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return 0;
        if (v < 100000000)
            v = v * 10 + (s[i] - '0');
    }
    *out = static_cast<int>(neg ? -v : v);
    return 1;
}

// The number at the front of the text (0 when none).
int leading_number(std::string_view s)
{
    std::size_t e = 0;
    while (e < s.size() && ((s[e] >= '0' && s[e] <= '9') || (e == 0 && s[e] == '-')))
        ++e;
    int v = 0;
    parse_int(s.substr(0, e), &v);
    return v;
}

void fill_history_setting()
{
    for (int i = 0; i < 20; ++i) {
        const std::string key = "n" + std::to_string(i);
        const char* v = i < static_cast<int>(chanlist_history.size()) ? chanlist_history[static_cast<std::size_t>(i)].c_str() : nullptr;
        ini_write("channelslist", key.c_str(), v, std::string());
    }
}

} // namespace

ChannelListState& chanlist_state(Connection* conn) { return conn->state_slots.get(g_slot); }

void chanlist_clamp(ChannelListFilter& f)
{
    if (f.min_users < 0 || f.min_users > 9999)
        f.min_users = 0;
    if (f.max_users < 0)
        f.max_users = 9999;
    if (f.max_users < f.min_users)
        f.max_users = f.min_users;
    if (f.max_users > 9999)
        f.max_users = 9999;
    for (int* pair : {&f.created_low, &f.topic_low}) {
        int& low = pair[0];
        int& high = pair == &f.created_low ? f.created_high : f.topic_high;
        if (low != kUnset && low < 0)
            low = 0;
        if (high != kUnset) {
            if (high < 0 && low == kUnset)
                high = 0;
            else if (low != kUnset && high < low)
                high = low;
        }
    }
    if (f.match_words.size() > kMediumText)
        f.match_words.resize(kMediumText);
    if (f.hide_words.size() > kMediumText)
        f.hide_words.resize(kMediumText);
}

void chanlist_clamp_filter(Connection* conn)
{
    chanlist_clamp(conn_is_live(conn) ? chanlist_state(conn).filter : chanlist_defaults);
}

void chanlist_copy_filter(int direction, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    ChannelListFilter& mine = chanlist_state(conn).filter;
    if (direction == 1) {
        chanlist_clamp(mine);
        chanlist_defaults = mine;
    } else {
        chanlist_clamp(chanlist_defaults);
        mine = chanlist_defaults;
    }
}

std::string chanlist_request_line(const std::string& text, Connection* conn, int* save_flag)
{
    const ChannelListFilter& f = chanlist_state(conn).filter;
    IrcConnState* irc = irc_state(conn);
    *save_flag = 1;
    const std::string first_match = first_word(f.match_words);
    auto range = [&f](std::string& out) {
        if (f.min_users > 0)
            out += ">" + std::to_string(f.min_users - 1) + ",<" + std::to_string(f.max_users + 1);
        else
            out += "<" + std::to_string(f.max_users + 1);
    };
    if (irc && irc->elist_given) {
        const std::string& letters = irc->elist;
        auto has = [&letters](char c) {
            return letters.find(c) != std::string::npos ||
                   letters.find(static_cast<char>(std::tolower(static_cast<unsigned char>(c)))) != std::string::npos;
        };
        std::vector<std::string> terms;
        if (!text.empty()) {
            terms.push_back(text);
            *save_flag = 0;
        } else {
            if (has('U')) {
                std::string r;
                range(r);
                terms.push_back(r);
            }
            auto pair = [&terms](char letter, int low, int high) {
                if (low > 0)
                    terms.push_back(std::string(1, letter) + ">" + std::to_string(low - 1));
                if (high >= 0)
                    terms.push_back(std::string(1, letter) + "<" + std::to_string(high + 1));
            };
            if (has('C'))
                pair('C', f.created_low, f.created_high);
            if (has('T'))
                pair('T', f.topic_low, f.topic_high);
            if ((has('M') || has('N')) && !first_match.empty() && (!f.topic_option || has('P'))) {
                const std::string& w = first_match;
                bool star_word = w.size() > 1 && w.front() == '*' && w.back() == '*';
                bool not_word = w.size() >= 3 && w.compare(0, 2, "!*") == 0 && w.back() == '*';
                if (star_word && has('M'))
                    terms.push_back(w);
                else if (not_word && has('N'))
                    terms.push_back(w);
                else
                    terms.push_back("*" + w + "*");
            }
        }
        std::string line = "LIST";
        for (std::size_t i = 0; i < terms.size(); ++i)
            line += (i == 0 ? " " : ",") + terms[i];
        return line + "\n";
    }
    if (!text.empty()) {
        *save_flag = 0;
        return "LIST " + text + "\n";
    }
    const int kind = conn->server_flags;
    std::string line;
    if (kind & kServerPlainList)
        return "LIST\n";
    if (kind & kServerPlusChannels) {
        line = "LIST ";
        range(line);
        return line + "\n";
    }
    if ((kind & kServerOperModesAa) || opt(OPT_CHANLIST_RANGE_REQUEST)) {
        line = "LIST ";
        range(line);
        if (!f.topic_option && !first_match.empty())
            line += ",*" + first_match + "*";
        return line + "\n";
    }
    if (kind & kServerIrcx) {
        line = "LISTX ";
        range(line);
        return line + "\n";
    }
    return "LIST\n";
}

void chanlist_send_list(const std::string& text, Connection* conn)
{
    if (!conn_is_live(conn) || conn->chanlist_busy)
        return;
    chanlist_copy_filter(0, conn);
    ChannelListState& st = chanlist_state(conn);
    conn->chanlist_busy = 1;
    conn->chanlist_stop_sent = 0;
    close_file(conn);
    st.batch = st.received = st.shown = 0;
    if (!conn->chanlist_window.isNull()) {
        clear_lines(st);
        chanlist_changed.fire(conn, kChanListCleared);
    }
    int save = 1;
    const std::string line = chanlist_request_line(text.substr(0, kMediumText), conn, &save);
    st.save_flag = save;
    irc_send_line(line, 0, conn);
}

int chanlist_stop(Connection* conn)
{
    if (!conn_is_live(conn) || !conn->chanlist_busy)
        return 0;
    if (!conn->chanlist_stop_sent) {
        conn->chanlist_stop_sent = 1;
        irc_send_line("LIST stop\n", 0, conn);
    }
    return 1;
}

std::string chanlist_file_path(Connection* conn)
{
    std::string name = chanlist_state(conn).filter.list_file;
    file_sanitize_name(name, true);
    if (name.empty())
        name = "channels.txt";
    return main_settings.chans_dir + name;
}

void chanlist_begin_reply(Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    ChannelListState& st = chanlist_state(conn);
    conn->chanlist_busy = 2;
    st.title_time = 0;
    st.batch = st.received = st.shown = 0;
    clear_lines(st);
    st.lines.reserve(1024);
    chanlist_changed.fire(conn, kChanListOpen);
    if (!conn_is_live(conn))
        return;
    chanlist_changed.fire(conn, kChanListCleared);
    if (!conn_is_live(conn))
        return;
    close_file(conn);
    if (st.save_flag) {
        if (st.filter.list_file.empty())
            chanlist_network_from_welcome(nullptr, conn);
        file_make_dir(main_settings.chans_dir);
        const std::string path = chanlist_file_path(conn);
        conn->chanlist_file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        st.header = header_now(conn);
        write_file(conn, st.header + "\r\n");
    }
}

// :server 322 me #chan 12 :topic (the protocol layer has checked the
// channel's length, tabs, the join lock and the raw event)
void chanlist_add_reply_line(const std::string& channel, const std::string& users, const std::string& topic_in,
                             Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    if (conn->chanlist_busy != 2)
        chanlist_begin_reply(conn);
    if (!conn_is_live(conn))
        return;
    if (channel.empty() || channel.size() > 50 || channel.find('\t') != std::string::npos)
        return;
    ChannelListState& st = chanlist_state(conn);
    const ChannelListFilter& f = st.filter;
    std::string topic = topic_in.substr(0, kChanListTopicMax);
    // Tabs inside a topic would split its column.
    std::replace(topic.begin(), topic.end(), '\t', ' ');
    int count = 0;
    if (!parse_int(users, &count))
        count = leading_number(users);
    const bool candidate = count >= f.min_users && count <= f.max_users;
    int verdict = 1;
    if (candidate) {
        std::string test = channel;
        if (f.topic_option && !topic.empty())
            test += " " + topic;
        verdict = judge(f, test);
    } else if (f.hide_option && !f.hide_words.empty()) {
        // Outside the range: saved, unless the hide words hide it.
        std::string test = channel;
        if (f.topic_option && !topic.empty())
            test += " " + topic;
        verdict = judge(f, test) == 0 ? 0 : 1;
    }
    std::string line = " " + channel + "\t" + users.substr(0, 16);
    if (!topic.empty())
        line += "\t" + topic;
    if (line.find('\x1a') != std::string::npos)
        return;
    if (verdict > 0 && !(f.nameless_option && is_nameless(channel))) {
        const int show = verdict == 2;
        ChannelListLine kept{line, count > 0 ? count : 1, show};
        if (keep_line(st, std::move(kept)) && show)
            ++st.shown;
        std::string saved = channel + " " + users;
        if (!topic.empty())
            saved += " " + topic;
        write_file(conn, saved + "\r\n");
    }
    ++st.received;
    ++st.batch;
    const std::uint64_t now = time_ticks_ms();
    if (st.batch >= 50 || now - st.title_time > 100) {
        st.batch = 0;
        st.title_time = now;
        chanlist_changed.fire(conn, kChanListAdded);
    }
}

void chanlist_end_reply(Connection* conn)
{
    if (!conn_is_live(conn) || !conn->chanlist_busy)
        return;
    if (conn->chanlist_busy != 2)
        chanlist_begin_reply(conn);
    if (!conn_is_live(conn))
        return;
    close_file(conn);
    ChannelListState& st = chanlist_state(conn);
    conn->chanlist_busy = 0;
    conn->chanlist_stop_sent = 0;
    st.title_time = 0;
    if (st.sort_mode != 3)
        chanlist_sort(st.sort_mode, conn);
    chanlist_changed.fire(conn, kChanListEnded);
}

int chanlist_match_words(std::string_view words, std::string_view text)
{
    if (words.empty() || text.empty())
        return 0;
    std::size_t i = 0;
    while (i < words.size()) {
        while (i < words.size() && words[i] == ' ')
            ++i;
        if (i >= words.size())
            break;
        std::size_t e = words.find(' ', i);
        if (e == std::string_view::npos)
            e = words.size();
        std::string_view w = words.substr(i, e - i);
        i = e;
        if (w.size() > 1 && w.front() == '*' && w.back() == '*') {
            if (wild_match(w, text, 0, 1))
                return 1;
        } else if (w.size() >= 3 && w.substr(0, 2) == "!*" && w.back() == '*') {
            if (!wild_match(w.substr(1), text, 0, 1))
                return 1;
        } else {
            if (text_lower_copy(text).find(text_lower_copy(w)) != std::string::npos)
                return 1;
        }
    }
    return 0;
}

std::string chanlist_safe_name(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '\'' || c == '"')
            continue;
        if (c == ' ')
            break;
        const unsigned char u = static_cast<unsigned char>(c);
        out.push_back((std::isalnum(u) && u < 128) || c == '-' || c == '.' ? c : '_');
    }
    return out;
}

void chanlist_network_from_welcome(const std::string* text, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    ChannelListState& st = chanlist_state(conn);
    IrcConnState* irc = irc_state(conn);
    const std::string& saved = conn->live_server[2];
    int from_text = 0;
    if (irc && irc->network_from_server && !conn->network.empty()) {
        if (st.filter.list_file.empty())
            st.filter.list_file = conn->network + ".txt";
        return;
    }
    conn->network = saved;
    if (text) {
        std::string_view t(*text);
        std::size_t a = t.find_first_not_of(' ');
        t = a == std::string_view::npos ? std::string_view() : t.substr(a);
        constexpr std::string_view kLead = "welcome to the ";
        if (t.size() >= kLead.size() && text_lower_copy(t.substr(0, kLead.size())) == kLead) {
            const std::string word = first_word(t.substr(kLead.size()));
            const std::string lower = text_lower_copy(word);
            if (!word.empty() && lower != "internet" && lower != "irc") {
                const std::string safe = chanlist_safe_name(word).substr(0, kShortText);
                if (!safe.empty()) {
                    conn->network = safe;
                    from_text = 1;
                }
            }
        }
    }
    if (!from_text) {
        conn->network = saved;
        if (!conn->network.empty() &&
            conn->network.find_first_not_of("0123456789") == std::string::npos)
            conn->network.clear();
    }
    if (!st.filter.list_file.empty())
        return;
    if (conn->network.empty()) {
        st.filter.list_file = "channels.txt";
        return;
    }
    std::vector<std::string> names;
    file_list_dir(main_settings.chans_dir, names);
    std::string found;
    const std::string want = text_lower_copy(conn->network);
    for (const std::string& n : names) {
        const std::string low = text_lower_copy(n);
        if (low == want + ".txt") {
            found = n;
            break;
        }
    }
    if (found.empty())
        for (const std::string& n : names) {
            const std::string low = text_lower_copy(n);
            if (low.size() > 4 && low.compare(low.size() - 4, 4, ".txt") == 0 && low.compare(0, want.size(), want) == 0) {
                found = n;
                break;
            }
        }
    if (!found.empty())
        st.filter.list_file = found;
    else if (!from_text && saved.empty())
        st.filter.list_file = "channels.txt";
    else
        st.filter.list_file = conn->network + ".txt";
}

int chanlist_load_file(Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    ChannelListState& st = chanlist_state(conn);
    clear_lines(st);
    std::FILE* fp = std::fopen(chanlist_file_path(conn).c_str(), "rb");
    if (!fp)
        return 0;
    std::string line;
    bool first = true;
    int c;
    auto take = [&]() {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > kLongText)
            line.resize(kLongText);
        if (first) {
            st.header = line;
            first = false;
            return;
        }
        std::string_view v(line);
        std::size_t a = v.find_first_not_of(' ');
        if (a == std::string_view::npos)
            return;
        v = v.substr(a);
        std::size_t b = v.find(' ');
        if (b == std::string_view::npos)
            return;
        std::string_view channel = v.substr(0, b);
        if (channel.size() > 50 || channel.find('\t') != std::string_view::npos)
            return;
        std::size_t n = v.find_first_not_of(' ', b);
        if (n == std::string_view::npos)
            return;
        std::size_t ne = v.find(' ', n);
        std::string_view count = v.substr(n, ne == std::string_view::npos ? std::string_view::npos : ne - n);
        int users = 0;
        if (!parse_int(count, &users))
            return;
        std::string text = " " + std::string(channel) + "\t" + std::string(count);
        if (ne != std::string_view::npos) {
            std::size_t t = v.find_first_not_of(' ', ne);
            if (t != std::string_view::npos) {
                std::string topic(v.substr(t).substr(0, kChanListTopicMax));
                std::replace(topic.begin(), topic.end(), '\t', ' ');
                text += "\t" + topic;
            }
        }
        keep_line(st, ChannelListLine{text, users > 0 ? users : 1, 0});
    };
    while ((c = std::fgetc(fp)) != EOF) {
        if (c == '\n') {
            take();
            line.clear();
        } else if (line.size() <= kLongText) {
            line.push_back(static_cast<char>(c));
        }
    }
    if (!line.empty())
        take();
    std::fclose(fp);
    return 1;
}

int chanlist_refill(int reload, Connection* conn)
{
    if (!conn_is_live(conn))
        return 0;
    ChannelListState& st = chanlist_state(conn);
    chanlist_copy_filter(0, conn);
    if (reload || st.lines.empty())
        chanlist_load_file(conn);
    const ChannelListFilter& f = st.filter;
    st.received = st.shown = 0;
    for (ChannelListLine& l : st.lines) {
        l.shown = 0;
        std::string stored = l.text;
        text_strip_codes(stored, kStripBold | kStripUnderline | kStripReverse | kStripColour);
        std::size_t a = stored.find_first_not_of(' ');
        if (a == std::string::npos || stored.find('\t', a) == std::string::npos)
            continue;
        const std::string channel(channel_of(stored));
        if (irc_join_allowed && !irc_join_allowed(channel, conn))
            continue;
        ++st.received;
        std::string test = f.topic_option ? stored.substr(a) : channel;
        std::replace(test.begin(), test.end(), '\t', ' ');
        const std::size_t tab = stored.find('\t', a);
        const std::string_view after(std::string_view(stored).substr(tab + 1));
        int users = 0;
        std::size_t e = after.find('\t');
        if (!parse_int(after.substr(0, e), &users))
            continue;
        if (users < f.min_users || users > f.max_users)
            continue;
        if (judge(f, test) != 2)
            continue;
        if (f.nameless_option && is_nameless(channel))
            continue;
        l.shown = 1;
        ++st.shown;
    }
    if (st.sort_mode != 3)
        chanlist_sort(st.sort_mode, conn);
    chanlist_changed.fire(conn, kChanListCleared);
    if (conn_is_live(conn))
        chanlist_changed.fire(conn, kChanListEnded);
    return st.shown;
}

int chanlist_save_text(Connection* conn, const std::string& path)
{
    if (!conn_is_live(conn))
        return 0;
    ChannelListState& st = chanlist_state(conn);
    std::string out = st.header + "\n";
    for (int row : chanlist_shown_rows(conn)) {
        std::string_view l(st.lines[static_cast<std::size_t>(row)].text);
        std::size_t a = l.find_first_not_of(' ');
        if (a == std::string_view::npos)
            continue;
        l = l.substr(a);
        std::size_t t1 = l.find('\t');
        if (t1 == std::string_view::npos)
            continue;
        out.append(l.substr(0, t1));
        std::size_t t2 = l.find('\t', t1 + 1);
        std::string_view count = l.substr(t1 + 1, t2 == std::string_view::npos ? std::string_view::npos : t2 - t1 - 1);
        if (!count.empty())
            out.append(" ").append(count);
        if (t2 != std::string_view::npos && t2 + 1 < l.size())
            out.append(" ").append(l.substr(t2 + 1));
        out.append("\n");
    }
    if (!file_safe_save(path, out, 0)) {
        beep_error(0);
        return 0;
    }
    return 1;
}

void chanlist_sort(int mode, Connection* conn)
{
    if (!conn_is_live(conn))
        return;
    ChannelListState& st = chanlist_state(conn);
    st.sort_mode = mode;
    auto by_name = [](const ChannelListLine& a, const ChannelListLine& b) {
        return text_lower_copy(channel_of(a.text)) < text_lower_copy(channel_of(b.text));
    };
    switch (mode) {
    case 1:
        std::stable_sort(st.lines.begin(), st.lines.end(),
                         [](const ChannelListLine& a, const ChannelListLine& b) { return a.users > b.users; });
        break;
    case 2:
        std::stable_sort(st.lines.begin(), st.lines.end(), [](const ChannelListLine& a, const ChannelListLine& b) {
            return text_lower_copy(topic_of(a.text)) < text_lower_copy(topic_of(b.text));
        });
        break;
    case 3:
        break;
    default:
        std::stable_sort(st.lines.begin(), st.lines.end(), by_name);
        break;
    }
}

std::vector<int> chanlist_shown_rows(Connection* conn)
{
    std::vector<int> rows;
    if (!conn_is_live(conn))
        return rows;
    const ChannelListState& st = chanlist_state(conn);
    for (std::size_t i = 0; i < st.lines.size(); ++i)
        if (st.lines[i].shown)
            rows.push_back(static_cast<int>(i));
    return rows;
}

std::string chanlist_title(Connection* conn, int ended)
{
    if (!conn_is_live(conn))
        return std::string();
    const ChannelListState& st = chanlist_state(conn);
    std::string title = text_fill_pattern(text_load_string(ended ? 3538 : 3558),
                                          {std::to_string(st.shown), std::to_string(st.received)});
    if (ended && !st.header.empty())
        title += std::string(text_load_string(3539)) + st.header;
    return title;
}

void chanlist_load_settings()
{
    ChannelListFilter& f = chanlist_defaults;
    f.match_words.clear();
    std::string v;
    ini_read("channelslist", "last", "channels.txt", v, kMediumTextSize, std::string());
    f.list_file = v.empty() ? "channels.txt" : v;
    if (!file_exists(main_settings.chans_dir + f.list_file, 1))
        f.list_file = "channels.txt";
    v.clear();
    ini_read("channelslist", "chans", "", v, kMediumTextSize, std::string());
    if (!v.empty() && crypt_decrypt_text(v, kSettingsKey))
        f.hide_words = collapse_blanks(v);
    else
        f.hide_words.clear();
    v.clear();
    ini_read("channelslist", "check", "", v, kMediumTextSize, std::string());
    chanlist_lock_password.clear();
    if (!v.empty() && crypt_decrypt_text(v, kSettingsKey))
        chanlist_lock_password = v.substr(0, kShortText);
    chanlist_history.clear();
    for (int i = 0; i < 20; ++i) {
        std::string h;
        ini_read("channelslist", ("n" + std::to_string(i)).c_str(), "", h, kMediumTextSize, std::string());
        if (h.empty())
            break;
        chanlist_history.push_back(h);
    }
    f.min_users = opt(OPT_CHANLIST_MIN_USERS);
    f.max_users = opt(OPT_CHANLIST_MAX_USERS);
    f.topic_option = opt(OPT_CHANLIST_TOPIC);
    f.hide_option = opt(OPT_CHANLIST_HIDE);
    f.nameless_option = opt(OPT_CHANLIST_NAMELESS);
    chanlist_clamp(f);
}

void chanlist_save_settings()
{
    ChannelListFilter& f = chanlist_defaults;
    std::string v = f.hide_words;
    if (v.empty() || !crypt_encrypt_text(v, kSettingsKey))
        v.clear();
    ini_write("channelslist", "chans", v.empty() ? nullptr : v.c_str(), std::string());
    v = chanlist_lock_password;
    if (v.empty() || !crypt_encrypt_text(v, kSettingsKey))
        v.clear();
    ini_write("channelslist", "check", v.empty() ? nullptr : v.c_str(), std::string());
    ini_write("channelslist", "last", f.list_file.empty() ? "channels.txt" : f.list_file.c_str(), std::string());
    fill_history_setting();
    opt_set(OPT_CHANLIST_MIN_USERS, f.min_users);
    opt_set(OPT_CHANLIST_MAX_USERS, f.max_users);
    opt_set(OPT_CHANLIST_TOPIC, f.topic_option);
    opt_set(OPT_CHANLIST_HIDE, f.hide_option);
    opt_set(OPT_CHANLIST_NAMELESS, f.nameless_option);
}

void chanlist_network_from_welcome_text(const std::string& text, Connection* conn)
{
    chanlist_network_from_welcome(&text, conn);
}

void chanlist_network_from_info(IrcMessage& msg) { chanlist_network_from_welcome(nullptr, msg.connection); }

void channels_list_install()
{
    reply_chanlist_stage.add_once(g_stage_listener, kChanlistStageList, [](Connection* conn, int stage) {
        if (stage == 0)
            chanlist_begin_reply(conn);
        else
            chanlist_end_reply(conn);
    });
    // The defaults load with the other parts' settings; the first
    // connection takes its copy at its own step.
    settings_loaded.add_once(g_loaded_listener, kLoadChannelsFilter, [](SettingsLoad& load) {
        chanlist_load_settings();
        if (load.first)
            chanlist_copy_filter(0, load.first);
    });
    settings_saving.add_once(g_saving_listener, kSettingsSaveChanlist, [] { chanlist_save_settings(); });
}

void channels_list_uninstall()
{
    reply_chanlist_stage.remove(g_stage_listener);
    settings_loaded.remove(g_loaded_listener);
    settings_saving.remove(g_saving_listener);
    g_stage_listener = g_loaded_listener = g_saving_listener = 0;
}
