#include "irc/dispatch/captions.h"
#include "irc/dispatch/modes.h"

#include <algorithm>
#include <cctype>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/numbered_texts.h"
#include "core/options.h"
#include "core/text_limits.h"
#include "model/colors.h"
#include "model/line_buffer.h"
#include "model/nick_list.h"
#include "model/tip_events.h"
#include "irc/dispatch/captions.h"
#include "irc/dispatch/dispatcher.h"
#include "irc/dispatch/membership.h"
#include "irc/dispatch/messages.h"
#include "irc/dispatch/server_commands.h"
#include "irc/numerics/isupport.h"
#include "irc/lists/ban_lists.h"
#include "irc/lists/user_lists.h"
#include "irc/numerics/numerics.h"
#include "irc/link/send_queue.h"
#include "script/events/event_index.h"

Signal<void(WindowRecord*)> irc_own_prefix_changed;
namespace {

// A channel window's user limit, kept on its record.
RecordSlot<int> g_limit_slot;




int to_int(const std::string& s)
{
    long v = 0;
    std::size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > 2147483647L) { v = 2147483647L; break; }
    }
    return static_cast<int>(neg ? -v : v);
}

void add_change(IrcMessage& msg, char sign, char letter, const std::string& param)
{
    EventModeChange c;
    c.sign = sign;
    c.letter = letter;
    c.param = param.substr(0, kShortText);
    msg.line.mode_changes.push_back(std::move(c));
}

// The channel part of a MODE line. Returns 0 when there is nothing to show.
int apply_channel(IrcMessage& msg, WindowRecord* rec, int& event_id, const char*& event_word)
{
    Connection* conn = msg.connection;
    const std::string sender = irc_word(msg, 0);
    const std::string me = conn->live_identity[2];
    const std::string channel = irc_word(msg, 2);

    // The whole change as one trailing parameter: split it.
    if (irc_has_word(msg, 3) && !irc_has_word(msg, 4)) {
        std::string all = msg.words[3];
        int index = 3;
        std::size_t pos = 0;
        while (pos < all.size() && index < kIrcMaxWords - 1) {
            std::size_t start = all.find_first_not_of(' ', pos);
            if (start == std::string::npos) break;
            std::size_t end = all.find(' ', start);
            irc_message_set_word(msg, index++, all.substr(start, end == std::string::npos ? std::string::npos : end - start));
            pos = end;
        }
        if (index == 3) irc_message_set_word(msg, 3, std::string());
    }
    if (msg.has_address && nicklist_find(rec, sender)) membership_note_sender(conn, sender, msg.address);

    std::string letters = rec->chan_modes.size() > 3 ? rec->chan_modes.substr(0, rec->chan_modes.find(' ')) : std::string();
    const std::string modes = irc_word(msg, 3);
    int param = 4;
    int sign = 0;
    bool asked = false;
    bool prefix_changed = false;
    const bool events = event_switch_events != 0;
    auto next_param = [&](std::string& out) {
        if (!irc_has_word(msg, param)) return false;
        out = msg.words[param++];
        return true;
    };
    for (char letter : modes) {
        if (!win_is_open(rec) || !conn_is_live(conn)) return 0;
        if (letter == '+') { sign = 1; continue; }
        if (letter == '-') { sign = -1; continue; }
        const char text[2] = {letter, 0};
        const int bit = isupport_mode_bit(text, conn);
        std::string arg;
        if (bit) {
            if (!next_param(arg)) break;
            if (!sign) continue;
            if (nicklist_find(rec, arg)) {
                nicklist_update(arg, rec, kNickAddOrChange, sign > 0 ? bit : -bit);
                if (events) add_change(msg, sign > 0 ? '+' : '-', letter, arg);
                const bool own = text_equal_nocase(arg, me);
                if (own) prefix_changed = true;
                if (own && letter == 'o' && sign > 0 && !asked) {
                    const bool has_k = rec->chan_modes.find('k') != std::string::npos;
                    if (rec->chan_modes.empty() || (rec->chan_key.empty() && has_k)) {
                        asked = true;
                        irc_send_line("MODE " + channel.substr(0, kShortText) + "\n", 0, conn);
                    }
                }
                if (letter == 'o' && sign < 0 && !own && !text_equal_nocase(sender, me) && !text_equal_nocase(sender, arg) &&
                    (nicklist_update(me, rec, kNickTest, 0) & bit) &&
                    userlist_protects_sender(conn, arg, std::string(), channel))
                    irc_send_line("MODE " + channel.substr(0, kShortText) + " -o " + sender.substr(0, kShortText) + "\n",
                                  0, conn);
            }
            continue;
        }
        if (isupport_chanmode_in_group(text, 0, conn)) {
            if (!next_param(arg)) break;
            if (!sign) continue;
            if (letter == 'b' || letter == 'e' || letter == 'I')
                chan_list_on_mode(rec, letter, sign > 0, arg, sender, msg.address);
            if (events) add_change(msg, sign > 0 ? '+' : '-', letter, arg);
            continue;
        }
        const bool class1 = isupport_chanmode_in_group(text, 1, conn) != 0;
        const bool class2 = isupport_chanmode_in_group(text, 2, conn) != 0;
        if (sign > 0) {
            if (letters.size() < kShortText) letters += letter;
            if (class1) {
                bool got = next_param(arg);
                if (letter == 'k') rec->chan_key = got && arg != "*" ? arg.substr(0, kShortText) : std::string();
            } else if (class2) {
                bool got = next_param(arg);
                if (letter == 'l') chan_mode_set_limit(rec, got ? to_int(arg) : 0);
            }
        } else if (sign < 0) {
            std::replace(letters.begin(), letters.end(), letter, '*');
            // A class-1 mode takes its parameter when removed as well.
            if (class1) next_param(arg);
            if (letter == 'k') rec->chan_key.clear();
        } else {
            if (class1 || class2) next_param(arg);
            continue;
        }
        msg.mode_flag = 1;
    }
    if (prefix_changed && win_is_open(rec)) irc_own_prefix_changed.fire(rec);
    if (msg.mode_flag && win_is_open(rec)) {
        chan_mode_text(rec, letters);
        if (win_is_open(rec)) win_update_title(rec, nullptr);
    }
    event_id = msg.has_address ? kEvMode : kEvServerMode;
    event_word = msg.has_address ? "MODE" : "SERVERMODE";
    return 1;
}

void apply_user(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    std::string modes = conn->user_modes;
    std::string change = irc_word(msg, 3);
    if (!change.empty() && change[0] == ':') change.erase(0, 1);
    int sign = 1;
    for (char c : change) {
        if (c == '+') { sign = 1; continue; }
        if (c == '-') { sign = -1; continue; }
        if (!std::isalpha(static_cast<unsigned char>(c))) continue;
        if (sign > 0) {
            if (modes.size() < kShortText) modes += c;
        } else {
            std::replace(modes.begin(), modes.end(), c, '*');
        }
    }
    modes = modes.substr(0, kShortText);
    std::string out = "[+";
    for (char c : modes)
        if (std::isalpha(static_cast<unsigned char>(c)) && out.find(c, 2) == std::string::npos) out += c;
    out += "]";
    conn->user_modes = out;
    // The status caption shows the modes only while there are some.
    irc_state(conn)->user_modes_text = out.size() > 3 ? out : std::string();
    irc_update_title(conn);
}

}  // namespace

int chan_mode_limit(const WindowRecord* rec)
{
    if (!rec) return 0;
    const int* limit = rec->state_slots.find(g_limit_slot);
    return limit ? *limit : 0;
}

void chan_mode_set_limit(WindowRecord* rec, int limit)
{
    if (!rec) return;
    if (limit == 0) {
        rec->state_slots.reset(g_limit_slot);
        return;
    }
    rec->state_slots.get(g_limit_slot) = limit;
}

int chan_mode_limit_count()
{
    int count = 0;
    for (const WindowRecord* rec = win_list; rec; rec = rec->next)
        if (rec->state_slots.find(g_limit_slot)) ++count;
    return count;
}

void chan_mode_text(WindowRecord* rec, const std::string& letters_in)
{
    if (!rec) return;
    std::string letters = letters_in.substr(0, letters_in.find(' '));
    bool has_l = false, has_k = false;
    std::string distinct;
    for (char c : letters) {
        if (c == 'l') { has_l = true; continue; }
        if (c == 'k') { has_k = true; continue; }
        if (!std::isalpha(static_cast<unsigned char>(c))) continue;
        if (distinct.find(c) == std::string::npos && distinct.size() < kShortText) distinct += c;
    }
    std::stable_sort(distinct.begin(), distinct.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) < std::tolower(static_cast<unsigned char>(b));
    });
    std::string text = "[+" + distinct;
    if (has_l && chan_mode_limit(rec) != 0) text += 'l';
    else chan_mode_set_limit(rec, 0);
    if (has_k) text += 'k';
    else rec->chan_key.clear();
    if (has_l && chan_mode_limit(rec) != 0) text += " " + std::to_string(chan_mode_limit(rec));
    if (has_k && !rec->chan_key.empty() && !opt(OPT_HIDE_CHANNEL_KEY)) text += " " + rec->chan_key;
    if (text.size() > 304) text.resize(304);
    rec->chan_modes = text + "]";
}

// :nick!user@host MODE #channel +modes-modes [parameter ...]
// :nick MODE nick :+modes
void irc_on_mode_message(IrcMessage& msg)
{
    Connection* conn = msg.connection;
    msg.line.mode_changes.clear();
    msg.line.mode_flag = 0;
    msg.mode_flag = 0;
    const std::string target = msg.words[2];
    const std::string sender = irc_word(msg, 0);
    msg.line.target = target;
    int event_id = -1;
    const char* event_word = nullptr;
    WindowRecord* rec = nullptr;

    if (isupport_is_chantype(target.c_str(), conn)) {
        rec = win_find_by_name(target, conn);
        if (!rec || rec->type != kWinChannel) return;
        if (!apply_channel(msg, rec, event_id, event_word)) return;
        msg.line.mode_flag = msg.mode_flag;
    } else if (text_equal_nocase(target, conn_own_nick(conn)) && irc_has_word(msg, 3)) {
        apply_user(msg);
        event_id = kEvUserMode;
        event_word = "USERMODE";
    } else {
        event_id = -1;
    }
    // The parameters the event engine shows are the words as now split.
    msg.line.params.assign(msg.words.begin() + std::min<std::size_t>(2, msg.words.size()), msg.words.end());
    int go = 1;
    if (event_word) go = irc_fire_event(msg, event_word, event_id, 1);
    if (!conn_is_live(conn)) return;
    if (go) {
        std::string words = irc_words_from(msg, 3);
        if (rec && win_is_open(rec)) {
            std::string line = (text_fill_id(3517, {sender}) + words).substr(0, kLongText);
            print_options.timestamp = 1;
            print_line(rec->hwnd.get(), line, kColorModeText);
            if (event_announce_wanted(TIPOPT_CHAN_MODE))
                tip_event.fire(TIPOPT_CHAN_MODE, {sender, target, words}, 34, conn, rec);
        } else if (!rec) {
            irc_status_echo(conn, static_cast<int>(kColorModeText), (text_fill_id(3517, {sender}) + words).substr(0, kLongText));
            if (event_word)
                if (event_announce_wanted(TIPOPT_CHAN_MODE))
                    tip_event.fire(TIPOPT_CHAN_MODE, {sender, target, words}, 35, conn, nullptr);
        }
    }
    if (event_word && conn_is_live(conn)) irc_fire_event(msg, event_word, event_id, 0);
    msg.line.mode_changes.clear();
    msg.line.mode_flag = 0;
    msg.mode_flag = 0;
}
