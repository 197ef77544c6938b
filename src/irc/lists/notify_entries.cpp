#include "irc/lists/notify_entries.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <unordered_map>
#include <vector>

#include "model/connection.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/main_settings.h"
#include "core/numbered_texts.h"
#include "core/files.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "irc/numerics/isupport.h"
#include "platform/platform_utils.h"
#include "script/exec/script_types.h"

using namespace notify_entries;

namespace {

RecordSlot<StateSlot> g_state_slot;

}  // namespace

namespace notify_entries {

StateSlot* slot_of(Connection* conn)
{
    if (!conn || !conn_is_live(conn)) return nullptr;
    return &conn->state_slots.get(g_state_slot);
}

std::string text_of(int id)
{
    const char* t = text_load_string(id);
    return t ? std::string(t) : std::string();
}

// The part of a nick text before "!".
std::string_view nick_view(std::string_view text)
{
    return text.substr(0, text.find('!'));
}

std::string nick_part(std::string_view text)
{
    return std::string(nick_view(text));
}

// The mask after "!", empty when there is none.
std::string mask_part(std::string_view text)
{
    std::size_t bang = text.find('!');
    return bang == std::string_view::npos ? std::string() : std::string(text.substr(bang + 1));
}

bool plain_integer(const std::string& s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool logged_on(Connection* conn)
{
    return conn_is_live(conn) && conn->connected && conn->registered && irc_state(conn)->logon_pending == 0;
}

bool is_beep(const std::string& sound)
{
    return text_equal_nocase(sound, "beep");
}

}  // namespace notify_entries

namespace {

// Every entry by its number, with the id of the connection whose list
// holds it: numbers in use and lookups by number without a walk.
struct IdRef {
    NotifyEntry* entry = nullptr;
    int conn_id = 0;
};

std::unordered_map<int, IdRef>& entry_ids()
{
    static std::unordered_map<int, IdRef> ids;
    return ids;
}

// Frees an entry that is no longer in a list.
void destroy(NotifyEntry* e)
{
    entry_ids().erase(e->id);
    delete e;
}

// Leading and trailing blanks off, inner runs of blanks as one.
std::string tidy(std::string_view text, std::size_t limit)
{
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ') {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
        if (out.size() >= limit) break;
    }
    if (out.size() > limit) out.resize(limit);
    return out;
}

// The first blank-separated word (leading blanks skipped).
std::string first_word(std::string_view text, std::size_t limit)
{
    text = text_skip_blanks(text);
    std::size_t end = text.find(' ');
    return std::string(text.substr(0, std::min(end, limit)));
}

// A sound setting as kept in memory: "beep", or an absolute path.
std::string sound_absolute(const std::string& sound)
{
    std::string s = tidy(sound, kMediumText);
    if (s.empty() || is_beep(s)) return s;
    file_fix_slashes(s);
    file_abs_settings_dir(s);
    if (s.size() > kMediumText) s.resize(kMediumText);
    return s;
}

// As written to the settings: files inside the settings folder relative.
std::string sound_stored(const std::string& sound)
{
    if (sound.empty() || is_beep(sound)) return sound;
    return file_relative_to_settings_dir(sound);
}

// ---- The linked list ----

void list_append(NotifyConnState& st, NotifyEntry* e)
{
    e->next = nullptr;
    if (!st.head) {
        st.head = e;
        e->prev = e;
        return;
    }
    NotifyEntry* last = st.head->prev;
    last->next = e;
    e->prev = last;
    st.head->prev = e;
}

void list_insert_before(NotifyConnState& st, NotifyEntry* at, NotifyEntry* e)
{
    if (!at) {
        list_append(st, e);
        return;
    }
    if (at == st.head) {
        e->next = st.head;
        e->prev = st.head->prev;
        st.head->prev = e;
        st.head = e;
        return;
    }
    NotifyEntry* p = at->prev;
    p->next = e;
    e->prev = p;
    e->next = at;
    at->prev = e;
}

void list_unlink(StateSlot& s, NotifyEntry* e)
{
    NotifyConnState& st = s.st;
    if (e == st.head) {
        st.head = e->next;
        if (st.head) st.head->prev = e->prev;
    } else {
        NotifyEntry* p = e->prev;
        p->next = e->next;
        if (e->next) e->next->prev = p;
        else st.head->prev = p;
    }
    e->next = e->prev = nullptr;
    ++s.generation;
}

// The nicks of the list as the connection's plain nick list (tab completion
// reads it).
void mirror(Connection* conn, const NotifyConnState& st)
{
    strlist_free(&conn->notify_list);
    for (const NotifyEntry* e = st.head; e; e = e->next)
        conn->notify_list = strlist_append(conn->notify_list, std::string_view(e->nick), 0);
}

void free_entries(StateSlot& s)
{
    NotifyEntry* e = s.st.head;
    while (e) {
        NotifyEntry* next = e->next;
        destroy(e);
        e = next;
    }
    s.st.head = nullptr;
    ++s.generation;
}


NotifyEntry* find_in(NotifyConnState& st, std::string_view nick, int mode)
{
    if (!nick.empty() && nick[0] == '+') nick.remove_prefix(1);
    if (nick.empty()) return nullptr;
    const std::string part = mode == 1 ? nick_part(nick) : std::string();
    for (NotifyEntry* e = st.head; e; e = e->next) {
        if (text_equal_nocase(e->nick, nick)) return e;
        if (mode == 1 && text_equal_nocase(nick_view(e->nick), part)) return e;
    }
    return nullptr;
}

// A new entry from the parts of a value: the nick cut to its first word
// (a leading "+", blanks after it skipped, asks for a WHOIS), the network to
// its first word, the texts tidied. Null for an empty nick or no memory.
NotifyEntry* make_entry(const std::string& nick_text, const std::string& note, const std::string& on_sound,
                        const std::string& off_sound, int default_sounds, const std::string& network)
{
    std::string_view t = text_skip_blanks(nick_text);
    int whois = 0;
    if (!t.empty() && t[0] == '+') {
        whois = 1;
        t = text_skip_blanks(t.substr(1));
    }
    std::string nick = first_word(t, kShortText);
    if (nick.empty()) return nullptr;
    auto* e = new (std::nothrow) NotifyEntry;
    if (!e) return nullptr;
    e->nick = nick;
    e->whois = whois;
    e->note = tidy(note, kShortText);
    e->on_sound = sound_absolute(on_sound);
    e->off_sound = sound_absolute(off_sound);
    e->default_sounds = default_sounds ? 1 : 0;
    e->network = first_word(network, kShortText);
    e->id = win_alloc_id();
    return e;
}

// The parts of a stored value, cut off from the end backwards.
struct StoredParts {
    std::string nick, note, on_sound, off_sound, network;
    int default_sounds = 0;
};

StoredParts parse_stored(std::string text)
{
    StoredParts p;
    auto cut = [&text](const char* tag) {
        std::size_t at = text.find(tag);
        if (at == std::string::npos) return std::string();
        std::string rest = text.substr(at + std::char_traits<char>::length(tag));
        text.resize(at);
        return rest;
    };
    p.network = cut("NETWORK:");
    p.default_sounds = cut("DEFSNDS:") == "1" ? 1 : 0;
    p.off_sound = cut("WAVE2:");
    p.on_sound = cut("WAVE:");
    p.note = cut("NOTE:");
    p.nick = text;
    return p;
}

std::string stored_text(const NotifyEntry* e)
{
    std::string t;
    if (e->whois) t += '+';
    t += e->nick;
    if (!e->note.empty()) t += "NOTE:" + e->note;
    if (!e->on_sound.empty()) t += "WAVE:" + sound_stored(e->on_sound);
    if (!e->off_sound.empty()) t += "WAVE2:" + sound_stored(e->off_sound);
    if (e->default_sounds) t += "DEFSNDS:1";
    if (!e->network.empty()) t += "NETWORK:" + e->network;
    return t;
}

}  // namespace

namespace notify_entries {

StateSlot::~StateSlot()
{
    free_entries(*this);
    strlist_free(&st.pending);
}

}  // namespace notify_entries

std::string notify_default_on_sound;
std::string notify_default_off_sound;

NotifyConnState* notify_state(Connection* conn)
{
    StateSlot* s = slot_of(conn);
    return s ? &s->st : nullptr;
}

NotifyEntry* notify_head(Connection* conn)
{
    NotifyConnState* st = notify_state(conn);
    return st ? st->head : nullptr;
}

int notify_count(Connection* conn)
{
    int n = 0;
    for (NotifyEntry* e = notify_head(conn); e; e = e->next) ++n;
    return n;
}

// ---- The list ----

NotifyEntry* notify_list_sort(NotifyEntry* head)
{
    std::vector<NotifyEntry*> v;
    for (NotifyEntry* e = head; e; e = e->next) v.push_back(e);
    if (v.empty()) return nullptr;
    std::stable_sort(v.begin(), v.end(),
                     [](const NotifyEntry* a, const NotifyEntry* b) { return text_compare_nocase(a->nick, b->nick) < 0; });
    for (std::size_t i = 0; i < v.size(); ++i) {
        v[i]->next = i + 1 < v.size() ? v[i + 1] : nullptr;
        v[i]->prev = i > 0 ? v[i - 1] : v.back();
    }
    return v.front();
}

void notify_free_all(Connection* conn)
{
    StateSlot* s = slot_of(conn);
    if (!s) return;
    free_entries(*s);
    strlist_free(&s->st.pending);
    mirror(conn, s->st);
}

void notify_load(Connection* conn)
{
    StateSlot* s = slot_of(conn);
    if (!s) return;
    free_entries(*s);
    StringNode* values = ini_read_numbered_list("Notify", "n", nullptr, std::string(), 0);
    // A later value for a nick replaces an earlier one; the list is sorted
    // once at the end.
    std::unordered_map<std::string, NotifyEntry*> by_nick;
    for (StringNode* v = values; v; v = v->next) {
        StoredParts p = parse_stored(v->text);
        NotifyEntry* e = make_entry(p.nick, p.note, p.on_sound, p.off_sound, p.default_sounds, p.network);
        if (!e) continue;
        const std::string key = text_lower_copy(nick_part(e->nick));
        auto it = by_nick.find(key);
        if (it != by_nick.end()) {
            list_unlink(*s, it->second);
            destroy(it->second);
        }
        by_nick[key] = e;
        list_append(s->st, e);
        entry_ids()[e->id] = IdRef{e, conn->id};
    }
    strlist_free(&values);
    s->st.head = notify_list_sort(s->st.head);
    mirror(conn, s->st);
}

void notify_save(Connection* conn)
{
    if (!conn_is_live(conn)) conn = conn_list;
    StateSlot* s = slot_of(conn);
    if (!s) return;
    s->st.head = notify_list_sort(s->st.head);
    StringNode* values = nullptr;
    for (const NotifyEntry* e = s->st.head; e; e = e->next) values = strlist_append(values, std::string_view(stored_text(e)), 0);
    ini_write_numbered_list(values, "notify", "n", 0, std::string());
    strlist_free(&values);
    mirror(conn, s->st);
}

int notify_add(const std::string& nick, const std::string& note, const std::string& on_sound,
               const std::string& off_sound, int default_sounds, const std::string& network, Connection* conn)
{
    if (!slot_of(conn)) return 0;
    std::string_view t = text_skip_blanks(nick);
    const bool plus = !t.empty() && t[0] == '+';
    if (plus) t = text_skip_blanks(t.substr(1));
    const std::string word = first_word(t, kShortText);
    if (word.empty()) return plus ? 1 : 0;  // "+" alone adds nothing
    notify_remove_nick(word, conn);
    StateSlot* s = slot_of(conn);
    NotifyEntry* e = make_entry(nick, note, on_sound, off_sound, default_sounds, network);
    if (!e) {
        script_error(nullptr, "notify", {}, 2);
        return 0;
    }
    NotifyEntry* at = s->st.head;
    while (at && text_compare_nocase(at->nick, e->nick) <= 0) at = at->next;
    list_insert_before(s->st, at, e);
    entry_ids()[e->id] = IdRef{e, conn->id};
    mirror(conn, s->st);
    return 1;
}

NotifyEntry* notify_find(const std::string& nick, int mode, Connection* conn)
{
    NotifyConnState* st = notify_state(conn);
    return st ? find_in(*st, nick, mode) : nullptr;
}

NotifyEntry* notify_find_by_id(int id, Connection** out_conn)
{
    if (out_conn) *out_conn = nullptr;
    auto it = entry_ids().find(id);
    if (it == entry_ids().end()) return nullptr;
    Connection* c = conn_by_id(it->second.conn_id);
    if (!c) return nullptr;
    if (out_conn) *out_conn = c;
    return it->second.entry;
}

int notify_remove_nick(const std::string& nick, Connection* conn)
{
    StateSlot* s = slot_of(conn);
    if (!s) return 0;
    int removed = 0;
    while (NotifyEntry* e = find_in(s->st, nick, 1)) {
        list_unlink(*s, e);
        destroy(e);
        ++removed;
    }
    if (removed) mirror(conn, s->st);
    return removed;
}

int notify_network_applies(const NotifyEntry* entry, Connection* conn)
{
    if (!entry || entry->network.empty()) return 1;
    if (!conn_is_live(conn)) return 0;
    const std::string& group = conn->live_server[2];
    const std::string* names[3] = {&conn->network, plain_integer(group) ? nullptr : &group, &conn->server_name};
    std::string_view list = entry->network;
    std::size_t i = 0;
    while (i <= list.size()) {
        std::size_t j = list.find(',', i);
        if (j == std::string_view::npos) j = list.size();
        const std::string name = first_word(list.substr(i, j - i), kShortText);
        if (!name.empty())
            for (const std::string* n : names)
                if (n && !n->empty() && text_equal_nocase(*n, name)) return 1;
        i = j + 1;
    }
    return 0;
}

void notify_opts_load()
{
    std::string v;
    ini_read("notifyopts", "n1", "", v, kMediumTextSize, std::string());
    notify_default_on_sound = sound_absolute(v);
    v.clear();
    ini_read("notifyopts", "n2", "", v, kMediumTextSize, std::string());
    notify_default_off_sound = sound_absolute(v);
}

void notify_opts_save()
{
    const std::string on = sound_stored(notify_default_on_sound);
    const std::string off = sound_stored(notify_default_off_sound);
    ini_write("notifyopts", "n1", on.c_str(), std::string());
    ini_write("notifyopts", "n2", off.c_str(), std::string());
}
