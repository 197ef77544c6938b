#include "irc/dispatch/automode.h"

#include <cctype>
#include <cstdlib>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "model/nick_list.h"
#include "irc/dispatch/server_commands.h"
#include "irc/numerics/isupport.h"
#include "irc/link/send_queue.h"

RecordSlot<AutomodeQueue> automode_slot;

namespace {

// A queue holds at most this many entries; older ones are kept.
constexpr std::size_t kMaxEntries = 1000;

// The channel and nick of an entry; false when it has no blank.
bool split(const std::string& text, std::string& channel, std::string& nick)
{
    const std::size_t blank = text.find(' ');
    if (blank == std::string::npos || blank == 0 || blank + 1 >= text.size()) return false;
    channel = text.substr(0, blank);
    nick = text.substr(blank + 1);
    return true;
}


void give_mode(const AutomodeEntry& e, Connection* conn)
{
    std::string channel, nick;
    if (!split(e.text, channel, nick)) return;
    WindowRecord* rec = win_find_by_name(channel, conn);
    if (!rec || rec->type != kWinChannel || !rec->hwnd) return;
    const int bits = nicklist_update(nick, rec, kNickTest, 0);
    if (!bits) return;
    const int own = nicklist_update(conn_own_nick(conn), rec, kNickTest, 0);
    if (e.voice) {
        if (chan_bits_have_rank(own, 2, conn) && bits <= 1)
            irc_send_line("MODE " + channel + " +v " + nick + "\n", 0, conn);
    } else if (chan_bits_have_rank(own, 0, conn) && !chan_bits_have_rank(bits, 0, conn)) {
        irc_send_line("MODE " + channel + " +o " + nick + "\n", 0, conn);
    }
}

}  // namespace

int automode_life(int delay, int change, int add)
{
    int life = add ? delay + change : delay - change;
    if (life <= 1) return 2;
    if (life > 15) return 8;
    return life;
}

void automode_queue(int delay, const std::string& channel, const std::string& nick, int voice, Connection* conn)
{
    if (!conn_is_live(conn) || channel.empty() || nick.empty()) return;
    if (delay <= 0) {
        irc_send_line("MODE " + channel + (voice ? " +v " : " +o ") + nick + "\n", 0, conn);
        return;
    }
    AutomodeQueue& q = conn->state_slots.get(automode_slot);
    if (q.size() >= kMaxEntries) return;
    AutomodeEntry e;
    e.text = (channel + " " + nick).substr(0, kShortText * 2);
    e.life = automode_life(delay, std::rand() % 4, std::rand() % 2);
    e.voice = voice ? 1 : 0;
    q.push_back(std::move(e));
}

void automode_tick(Connection* conn)
{
    if (!conn_is_live(conn)) return;
    AutomodeQueue* queue = conn->state_slots.find(automode_slot);
    if (!queue) return;
    // Take the due entries out first: sending may re-enter the queue.
    std::vector<AutomodeEntry> due;
    AutomodeQueue& q = *queue;
    std::size_t keep = 0;
    for (std::size_t i = 0; i < q.size(); ++i) {
        if (--q[i].life <= 0) due.push_back(std::move(q[i]));
        else if (keep != i) q[keep++] = std::move(q[i]);
        else ++keep;
    }
    q.resize(keep);
    for (const AutomodeEntry& e : due) {
        if (!conn_is_live(conn)) return;
        give_mode(e, conn);
    }
}

void automode_forget(const std::string& nick, Connection* conn)
{
    if (!conn_is_live(conn)) return;
    AutomodeQueue* q = conn->state_slots.find(automode_slot);
    if (!q) return;
    for (AutomodeEntry& e : *q) {
        std::string channel, entry_nick;
        if (!split(e.text, channel, entry_nick) || text_equal_nocase(entry_nick, nick)) e.life = 0;
    }
}

void automode_rename(const std::string& old_nick, const std::string& new_nick, Connection* conn)
{
    if (!conn_is_live(conn) || new_nick.empty()) return;
    AutomodeQueue* q = conn->state_slots.find(automode_slot);
    if (!q) return;
    for (AutomodeEntry& e : *q) {
        std::string channel, entry_nick;
        if (split(e.text, channel, entry_nick) && text_equal_nocase(entry_nick, old_nick))
            e.text = (channel + " " + new_nick).substr(0, kShortText * 2);
    }
}

const std::vector<AutomodeEntry>& automode_entries(Connection* conn)
{
    static const std::vector<AutomodeEntry> none;
    if (!conn) return none;
    const AutomodeQueue* q = conn->state_slots.find(automode_slot);
    return q ? *q : none;
}
