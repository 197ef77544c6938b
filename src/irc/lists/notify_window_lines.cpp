#include "irc/lists/notify_list.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "model/connection.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/lists/notify_entries.h"

using namespace notify_entries;

void notify_line_text(const NotifyEntry* entry, std::string& out, int mode)
{
    out.clear();
    if (!entry) return;
    const std::string nick = entry->seen_nick.empty() ? nick_part(entry->nick) : entry->seen_nick;
    if (mode == 1) {
        out = nick;
        return;
    }
    out = nick;
    std::string middle;
    if (entry->online) {
        if (opt(OPT_NOTIFY_SHOW_ADDRESS)) middle = entry->seen_address;
    } else {
        middle = mask_part(entry->nick);
    }
    if (!middle.empty()) out += " " + middle;
    if (!entry->note.empty()) out += " (" + entry->note + ")";
    if (out.size() > kLongText) out.resize(kLongText);
}

void notify_window_lines(std::vector<NotifyWindowLine>& lines, std::string& title)
{
    lines.clear();
    std::set<std::string> online_nicks;  // lower-cased nick texts on line somewhere
    for (Connection* c = conn_list; c; c = c->next) {
        if (!logged_on(c)) continue;
        std::string header;
        if (!c->network.empty()) header = c->network;
        else if (!c->live_server[2].empty() && !plain_integer(c->live_server[2]))
            header = c->live_server[2] + " (" + c->server_name + ")";
        else header = c->server_name;
        lines.push_back({0, header, 0, c->id});
        for (NotifyEntry* e = notify_head(c); e; e = e->next) {
            if (!e->online) continue;
            online_nicks.insert(text_lower_copy(e->nick));
            NotifyWindowLine l{1, std::string(), e->id, c->id};
            notify_line_text(e, l.text, 0);
            lines.push_back(l);
        }
    }
    int offline_lines = 0;
    if (opt(OPT_NOTIFY_LIST_OFFLINE)) {
        std::vector<NotifyWindowLine> off;
        std::set<std::string> seen_lines;
        for (Connection* c = conn_list; c; c = c->next)
            for (NotifyEntry* e = notify_head(c); e; e = e->next) {
                if (e->online || online_nicks.count(text_lower_copy(e->nick))) continue;
                NotifyWindowLine l{3, std::string(), e->id, c->id};
                notify_line_text(e, l.text, 0);
                if (!seen_lines.insert(l.text).second) continue;
                off.push_back(l);
            }
        std::stable_sort(off.begin(), off.end(), [](const NotifyWindowLine& a, const NotifyWindowLine& b) {
            return text_compare_nocase(a.text, b.text) < 0;
        });
        if (!off.empty()) {
            lines.push_back({2, text_of(4204), 0, 0});
            offline_lines = static_cast<int>(off.size());
            lines.insert(lines.end(), off.begin(), off.end());
        }
    }
    const int total = notify_count(conn_list);
    char buf[64];
    std::snprintf(buf, sizeof buf, "Notify List (%d/%d)", total - offline_lines, total);
    title = buf;
}

NotifyEntry* notify_item_entry(const NotifyWindowLine& line, Connection** out_conn)
{
    if (out_conn) *out_conn = nullptr;
    if (line.kind != 1 && line.kind != 3) return nullptr;
    return notify_find_by_id(line.entry_id, out_conn);
}

void notify_window_open(int flags)
{
    if ((flags & 2) && !(opt(OPT_NOTIFY_ENABLED) && opt(OPT_NOTIFY_AUTO_OPEN))) return;
    if (notify_hooks.window_open) notify_hooks.window_open(flags);
}

void notify_window_refresh()
{
    if (notify_hooks.window_refresh) notify_hooks.window_refresh();
}
