// Window records, the window list and every lookup into it.
#include "model/window_record.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <new>

#include "model/connection.h"
#include "core/options.h"
#include "core/string_list.h"
#include "core/text_buffer.h"

WindowRecord* win_list = nullptr;
WidgetRef<QWidget> win_active;
std::uint64_t win_creation_counter = 0;
WinHooks win_hooks;
Signal<void(WindowRecord*)> win_record_freeing;
Signal<void(const WinListChange&)> win_list_changed;

void win_list_change(int kind, WindowRecord* rec, int mode)
{
    win_list_changed.fire(WinListChange{kind, rec, mode});
}

namespace {

// Indexes over the window list, so that finding a record by its window or
// itself costs constant time however many windows are open.
std::unordered_set<const WindowRecord*> g_listed;
// Every record whose window was set, by that window (a window may be set in
// more than one record: the first listed one answers, as in list order).
std::unordered_multimap<const QWidget*, WindowRecord*> g_by_widget;
WindowRecord* g_tail = nullptr;

void free_list(StringNode*& head)
{
    if (head)
        strlist_free(&head);
    head = nullptr;
}

}  // namespace

// ---- Records ----

namespace {

std::int64_t steady_seconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::int64_t (*win_idle_clock_source)() = steady_seconds;
QWidget* (*win_focused_source)() = nullptr;

std::int64_t win_idle_clock()
{
    return win_idle_clock_source();
}

long win_idle_seconds(const WindowRecord* rec)
{
    if (!rec)
        return 0;
    const std::int64_t d = win_idle_clock() - rec->message_clock;
    return d < 0 ? 0 : d > 0x7fffffff ? 0x7fffffffL : static_cast<long>(d);
}

void win_note_message(WindowRecord* rec)
{
    if (rec)
        rec->message_clock = win_idle_clock();
}

WindowRecord* win_record_new(int with_number)
{
    WindowRecord* rec = new (std::nothrow) WindowRecord();
    if (!rec)
        return nullptr;
    rec->creation_seq = win_creation_counter++;
    if (with_number) {
        rec->number = win_alloc_id();
        if (!win_list || !g_tail)
            g_tail = win_list;
        while (g_tail && g_tail->next)
            g_tail = g_tail->next;
        if (g_tail)
            g_tail->next = rec;
        else
            win_list = rec;
        g_tail = rec;
        g_listed.insert(rec);

    }
    return rec;
}

Signal<int(int)> win_ids_taken;

namespace {
int last_window_id = 0;
}  // namespace

int win_id_in_use(int id)
{
    if (conn_by_id(id))
        return 1;
    if (win_record_by_id(id))
        return 1;
    if (win_ids_taken.any(id))
        return 1;
    return 0;
}

int win_alloc_id()
{
    for (int tries = 0; tries < 14999; ++tries) {
        int n = last_window_id + 1;
        if (n > 14999 || n < 1)
            n = 1;
        last_window_id = n;
        if (!win_id_in_use(n))
            return n;
    }
    return 0;
}

void win_alloc_id_set_last(int last)
{
    last_window_id = (last < 0 || last > 14999) ? 0 : last;
}

int win_record_free(WindowRecord* rec)
{
    if (!rec)
        return 0;
    // The picture state and drawing objects.
    if (rec->picture_state && win_hooks.picture_free)
        win_hooks.picture_free(rec);
    rec->picture_state = nullptr;
    // The window's log.
    win_record_freeing.fire(rec);
    rec->log_file = -1;
    // The lists.
    free_list(rec->chan_list);
    free_list(rec->nick_list);
    free_list(rec->proto_list);
    hash_clear(&rec->nick_hash, 1);
    free_list(rec->lines);
    free_list(rec->lines2);
    free_list(rec->press_points);
    free_list(rec->history[0]);
    free_list(rec->history[1]);
    for (auto& l : rec->chan_lists)
        free_list(l);
    rec->marker_line = nullptr;
    // Font, icon and menu go with the record.
    rec->font.reset();
    rec->icon.reset();
    rec->system_menu.reset();

    // Unlink.
    if (g_listed.erase(rec)) {
        if (win_list == rec) {
            win_list = rec->next;
            if (g_tail == rec)
                g_tail = nullptr;
        } else {
            for (WindowRecord* r = win_list; r; r = r->next) {
                if (r->next == rec) {
                    r->next = rec->next;
                    if (g_tail == rec)
                        g_tail = r;
                    break;
                }
            }
        }
    }
    delete rec;
    return 1;
}

void win_index_move(WindowRecord* rec, const QWidget* from, const QWidget* to)
{
    if (from == to)
        return;
    if (from) {
        auto range = g_by_widget.equal_range(from);
        for (auto it = range.first; it != range.second; ++it)
            if (it->second == rec) {
                g_by_widget.erase(it);
                break;
            }
    }
    if (to)
        g_by_widget.emplace(to, rec);
}

WindowRecord* win_record_of(const QWidget* hwnd)
{
    if (!hwnd)
        return nullptr;
    // A destroyed window's address may come again for another widget: the
    // record must still hold this very window.
    WindowRecord* found = nullptr;
    auto range = g_by_widget.equal_range(hwnd);
    for (auto it = range.first; it != range.second; ++it) {
        WindowRecord* r = it->second;
        if (r->hwnd.get() == hwnd && g_listed.count(r) &&
            (!found || r->creation_seq < found->creation_seq))
            found = r;
    }
    return found;
}

WindowRecord* win_record_by_id(int number)
{
    if (number <= 0)
        return nullptr;
    // Numbers are plain fields a caller may change: they are looked up in
    // the list itself.
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (r->number == number)
            return r;
    }
    return nullptr;
}

int win_is_record(const void* pointer)
{
    return pointer && g_listed.count(static_cast<const WindowRecord*>(pointer)) ? 1 : 0;
}

int win_count() { return static_cast<int>(g_listed.size()); }

void win_count_second()
{
    for (WindowRecord* rec = win_list; rec; rec = rec->next)
        ++rec->seconds;
}

// ---- Lookups ----

bool win_is_open(const WindowRecord* rec)
{
    return rec && win_is_record(rec) && rec->hwnd.get();
}

WindowRecord* win_find_channel(const std::string& name, Connection* conn)
{
    if (name.empty())
        return nullptr;
    for (WindowRecord* w = win_list; w; w = w->next)
        if (w->type == kWinChannel && w->conn == conn && w->hwnd.get() && text_equal_nocase(w->name, name))
            return w;
    return nullptr;
}

WindowRecord* win_find_by_name(const std::string& name, Connection* conn)
{
    if (name.empty())
        return nullptr;
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (!r->hwnd.get() || r->name.empty())
            continue;
        if (r->type < 0 || r->type > 9)
            continue;
        if (r->type == kWinQuery && (r->subtype < 1 || r->subtype > 4))
            continue;
        if (conn) {
            bool bound = r->type == kWinStatus || r->type == kWinChannel ||
                         r->type == kWinChanList || r->type == kWinLinks ||
                         (r->type == kWinQuery &&
                          (r->subtype == kQueryPrivate || r->subtype == kQueryMessages));
            if (bound && r->conn != conn)
                continue;
        }
        if (text_equal_nocase(r->name, name))
            return r;
    }
    return nullptr;
}

WindowRecord* win_find_by_type(int type, Connection* conn)
{
    for (WindowRecord* r = win_list; r; r = r->next) {
        if (r->type != type)
            continue;
        if (conn && r->conn != conn)
            continue;
        return r;
    }
    return nullptr;
}

int win_special_name_kind(const std::string& name)
{
    if (name.empty() || name[0] != '@')
        return 0;
    if (name.size() == 1)
        return 8;
    if (text_equal_nocase(name, "@desktop"))
        return 1;
    if (text_equal_nocase(name, "@kest"))
        return 2;
    if (text_equal_nocase(name, "@mdi"))
        return 4;
    if (name.size() > 1 && text_is_digits(std::string_view(name).substr(1)))
        return 16;
    return 0;
}

// ---- Activity ----

int win_activity_rank(int level)
{
    switch (level) {
    case kActivityText:
        return 1;
    case kActivityMessage:
        return 2;
    case kActivityHighlight:
        return 3;
    default:
        return 0;
    }
}

int win_activity_after(int current, int kind)
{
    if (kind != kActivityText && kind != kActivityMessage && kind != kActivityHighlight)
        return current;
    return win_activity_rank(kind) > win_activity_rank(current) ? kind : current;
}

int win_clear_activity(WindowRecord* rec)
{
    if (!win_is_record(rec) || rec->activity == kActivityNone)
        return 0;
    rec->activity = kActivityNone;
    return 1;
}

