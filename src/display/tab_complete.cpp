#include "display/tab_complete.h"

#include <QListWidget>
#include <QTextCursor>

#include <vector>

#include "display/child_controls.h"
#include "display/window_queries.h"
#include "script/events/event_fire.h"
#include "script/events/event_index.h"
#include "script/exec/script_types.h"
#include "model/connection.h"
#include "model/window_record.h"
#include "core/ini.h"
#include "core/list_sort.h"
#include "core/options.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "display/editbox.h"
#include "model/nick_list.h"
#include "platform/platform_utils.h"

StringNode* (*tabcomp_folder_channels_hook)() = nullptr;

int tabcomp_fire_event(Connection* conn, QWidget* window, const std::string& text, int)
{
    EventSource source;
    source.text1 = text;
    return event_fire(conn, window, nullptr, "TABCOMP", kEvTabComp, 0, nullptr, &source);
}

int tabcomp_eval_value(QWidget* window, std::string& text, Connection* conn)
{
    return ident_eval_text(window, &text, nullptr, nullptr, 0, -1, -1, nullptr, conn) ? 1 : 0;
}

namespace {

// The state of a connection, kept on its record.
RecordSlot<TabState> g_state_slot;

bool has_wildcard(const std::string& text)
{
    return text.find_first_of("*?") != std::string::npos;
}

bool is_eval_word(const std::string& text)
{
    return !text.empty() && (text[0] == '$' || text[0] == '%');
}

// A nick matches the pattern: by wildcards when it has some, else by its beginning.
bool nick_matches(const std::string& pattern, const std::string& nick)
{
    if (has_wildcard(pattern) && wild_match(pattern, nick, 0, 1))
        return true;
    return text_starts_with_nocase(nick, pattern);
}

std::string chan_types_of(Connection* conn)
{
    if (conn_is_live(conn) && !conn->chan_types.empty())
        return conn->chan_types;
    return "#&";
}

EditBox* box_of(WindowRecord* rec, int box)
{
    return editbox_of(rec, box);
}

bool window_live(WindowRecord* rec, QWidget* hwnd)
{
    return win_is_record(rec) && hwnd && rec->hwnd.get() == hwnd;
}

// The no-completion step: "TABCOMP" with the box's text; the error sound
// unless a script stopped it.
void no_completion(WindowRecord* rec, int box)
{
    EditBox* b = box_of(rec, box);
    QWidget* hwnd = rec->hwnd.get();
    std::string text = b ? b->textBytes() : std::string();
    int go = tabcomp_fire(rec, text, 0);
    if (go && window_live(rec, hwnd))
        beep_error(0);
}

StringNode* current_of(StringNode* head)
{
    for (StringNode* n = head; n; n = n->next)
        if (n->number == 1)
            return n;
    return nullptr;
}

// The channel names that a channel pattern completes among: the channels
// folder and the open channel windows other than this one, sorted; in a
// channel window its own name first.
std::vector<std::string> channel_candidates(WindowRecord* rec)
{
    StringNode* names = nullptr;
    if (tabcomp_folder_channels_hook) {
        names = tabcomp_folder_channels_hook();
    } else {
        StringNode* entries = ini_read_numbered_list("chanfolder", "n", nullptr, "", 0);
        for (StringNode* e = entries; e; e = e->next) {
            std::string channel;
            if (sort_chanfolder_entry_field(e->text, 1, channel))
                if (StringNode* h = strlist_append(names, std::string_view(channel), 0))
                    names = h;
        }
        strlist_free(&entries);
    }
    for (WindowRecord* w = win_list; w; w = w->next) {
        if (w == rec || w->type != kWinChannel || !w->hwnd.get() || w->name.empty())
            continue;
        if (StringNode* h = strlist_append(names, std::string_view(w->name), 0))
            names = h;
    }
    names = strlist_sort(names, 0);
    std::vector<std::string> out;
    if (rec->type == kWinChannel && !rec->name.empty())
        out.push_back(rec->name);
    for (StringNode* n = names; n; n = n->next) {
        bool seen = false;
        for (const std::string& s : out)
            if (text_equal_nocase(s, n->text)) {
                seen = true;
                break;
            }
        if (!seen && !n->text.empty())
            out.push_back(n->text);
    }
    strlist_free(&names);
    return out;
}

std::string strip_all_codes(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0x02 || c == 0x0F || c == 0x16 || c == 0x1F)
            continue;
        if (c == 0x03) {
            std::size_t j = i + 1;
            int digits = 0;
            while (j < text.size() && digits < 2 && text[j] >= '0' && text[j] <= '9') {
                ++j;
                ++digits;
            }
            if (digits && j + 1 < text.size() && text[j] == ',' && text[j + 1] >= '0' &&
                text[j + 1] <= '9') {
                j += 2;
                if (j < text.size() && text[j] >= '0' && text[j] <= '9')
                    ++j;
            }
            i = j - 1;
            continue;
        }
        out += static_cast<char>(c);
    }
    return out;
}

// Sets the box's text (change notifications off) and puts the caret.
void put_text(WindowRecord* rec, int box, const std::string& text, int caret)
{
    tabcomp_set_text(rec, box, text, caret);
}

}  // namespace

// ---- State ----

TabState* tabcomp_state(Connection* conn)
{
    if (!conn_is_live(conn))
        return nullptr;
    return &conn->state_slots.get(g_state_slot);
}

TabState::~TabState()
{
    strlist_free(&list1);
    strlist_free(&list2);
}

void tabcomp_reset(Connection* conn)
{
    TabState* s = tabcomp_state(conn);
    if (!s)
        return;
    s->pattern.clear();
    s->cycle = 0;
    s->chan_index = 0;
    s->spare = 0;
    s->nick_pos = -1;
    for (StringNode* n = s->list1; n; n = n->next)
        n->number = 0;
}

void tabcomp_edit_reset(Connection* conn)
{
    if (TabState* s = tabcomp_state(conn)) {
        s->cycle = 0;
        s->pattern.clear();
    }
}

// ---- Caret and text in bytes ----

int tabcomp_caret(WindowRecord* rec, int box)
{
    EditBox* b = box_of(rec, box);
    if (!b)
        return 0;
    QTextCursor cursor = b->textCursor();
    int pos = cursor.selectionStart();
    if (pos < 0)
        pos = 0;
    QString before = b->toPlainText().left(pos);
    return static_cast<int>(before.toUtf8().size());
}

void tabcomp_set_text(WindowRecord* rec, int box, const std::string& text, int caret)
{
    EditBox* b = box_of(rec, box);
    if (!b)
        return;
    editbox_programmatic_change = 1;
    b->setUpdatesEnabled(false);
    b->setTextBytes(text);
    if (caret < 0)
        caret = 0;
    if (static_cast<std::size_t>(caret) > text.size())
        caret = static_cast<int>(text.size());
    QString head = QString::fromUtf8(text.data(), caret);
    QTextCursor cursor = b->textCursor();
    cursor.setPosition(static_cast<int>(head.size()));
    b->setTextCursor(cursor);
    b->setUpdatesEnabled(true);
    editbox_programmatic_change = 0;
    b->update();
}

// ---- Events ----

int tabcomp_fire(WindowRecord* rec, const std::string& text, int flag)
{
    if (!opt(OPT_REMOTE_EVENTS))
        return 1;
    if (!win_is_record(rec))
        return 0;
    std::string cut = text.size() > kLongText ? text.substr(0, kLongText) : text;
    return tabcomp_fire_event(rec->conn, rec->hwnd.get(), cut, flag);
}

// ---- Tests of the box's text ----

int tabcomp_is_msg_line(const std::string& text)
{
    if (text.size() < 5 || !text_starts_with_nocase(text, "/msg "))
        return 0;
    std::size_t i = 5;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size())
        return 1;
    if (text[i] == '$' || text[i] == '%')
        return 0;
    std::size_t end = text.find(' ', i);
    if (end == std::string::npos)
        return 0;  // the word has no blank after it
    for (std::size_t j = end; j < text.size(); ++j)
        if (text[j] != ' ')
            return 0;
    return 1;
}

int tabcomp_wants_tab(WindowRecord* rec, int box)
{
    EditBox* b = box_of(rec, box);
    if (!b)
        return 0;
    std::string text = b->textBytes();
    if (text.empty())
        return 0;
    if (text_starts_with_nocase(text, "/msg "))
        return 1;
    int caret = tabcomp_caret(rec, box);
    char before = caret > 0 ? text[static_cast<std::size_t>(caret) - 1] : text[0];
    return before != ' ' ? 1 : 0;
}

// ---- Conversation cycling ----

void tabcomp_cycle_msg(WindowRecord* rec, int box)
{
    if (!win_is_record(rec) || !conn_is_live(rec->conn) || !box_of(rec, box))
        return;
    TabState* s = tabcomp_state(rec->conn);
    QWidget* hwnd = rec->hwnd.get();
    std::string text = box_of(rec, box)->textBytes();
    if ((text.empty() || s->cycle) && s->list1) {
        StringNode* current = current_of(s->list1);
        StringNode* taken = nullptr;
        if (current) {
            current->number = 0;
            if (current == s->list1) {
                // Past the oldest: the box empties (the message window keeps "/msg ").
                bool messages = rec->type == kWinQuery && rec->subtype == kQueryMessages;
                std::string empty = messages ? std::string("/msg ") : std::string();
                put_text(rec, box, empty, static_cast<int>(empty.size()));
                s->cycle = 1;
                return;
            }
            taken = current->prev;
        } else {
            taken = s->list1->prev;  // the newest
        }
        taken->number = 1;
        std::string offer = "/msg " + taken->text + " ";
        int go = tabcomp_fire(rec, offer, 0);
        if (!window_live(rec, hwnd))
            return;
        if (go)
            put_text(rec, box, offer, static_cast<int>(offer.size()));
        if (TabState* again = tabcomp_state(rec->conn))
            again->cycle = 1;
        return;
    }
    no_completion(rec, box);
}

// ---- Completion ----

void tabcomp_complete(WindowRecord* rec, int box)
{
    if (!win_is_record(rec) || !conn_is_live(rec->conn) || !box_of(rec, box)) {
        beep_error(0);
        return;
    }
    Connection* conn = rec->conn;
    QWidget* hwnd = rec->hwnd.get();
    TabState* s = tabcomp_state(conn);
    int caret = tabcomp_caret(rec, box);
    std::string text = box_of(rec, box)->textBytes();
    if (text.size() > kLongText)
        text.resize(kLongText);
    if (static_cast<std::size_t>(caret) > text.size())
        caret = static_cast<int>(text.size());
    if (text.empty() || s->cycle) {
        tabcomp_cycle_msg(rec, box);
        return;
    }
    if (tabcomp_is_msg_line(text)) {
        put_text(rec, box, std::string(), 0);
        tabcomp_cycle_msg(rec, box);
        return;
    }

    // The word at the caret.
    std::size_t c = static_cast<std::size_t>(caret);
    std::size_t end = text.find(' ', c);
    if (end == std::string::npos)
        end = text.size();
    std::size_t start = c == 0 ? 0 : text.rfind(' ', c - 1);
    start = (c == 0 || start == std::string::npos) ? 0 : start + 1;
    if (start > end)
        start = end;
    {
        int depth = 0;
        for (std::size_t i = end; i > start; --i) {
            char ch = text[i - 1];
            if (ch == ')')
                --depth;
            else if (ch == '(')
                ++depth;
            else if (ch == ',' && depth == 0) {
                start = i;
                break;
            }
        }
    }
    if (start < end && text[start] == '=')
        ++start;
    std::string word = text.substr(start, end - start);
    if (word.empty()) {
        no_completion(rec, box);
        return;
    }

    std::string prefixes = nicklist_prefix_chars(conn);
    char wanted = 0;
    if (!is_eval_word(word) && prefixes.find(word[0]) != std::string::npos) {
        wanted = word[0];
        word.erase(0, 1);
        ++start;
        if (word.empty()) {
            no_completion(rec, box);
            return;
        }
    }
    if (word.size() > kTabPatternMax) {
        no_completion(rec, box);
        return;
    }

    // The pattern: kept while the word continues it, else the word.
    bool continuing = false;
    if (!s->pattern.empty()) {
        bool keep_case = is_eval_word(s->pattern);
        bool begins = keep_case ? word.compare(0, s->pattern.size(), s->pattern) == 0 &&
                                      word.size() >= s->pattern.size()
                                : text_starts_with_nocase(word, s->pattern);
        if (begins)
            continuing = true;
        else if (has_wildcard(s->pattern) && !has_wildcard(word) && !is_eval_word(s->pattern) &&
                 wild_match(s->pattern, word, 0, 1))
            continuing = true;
    }
    if (!continuing) {
        s->pattern = word;
        s->nick_pos = -1;
    }
    const std::string pattern = s->pattern;
    if (pattern.empty()) {
        no_completion(rec, box);
        return;
    }

    std::string chan_types = chan_types_of(conn);
    std::string candidate;
    bool evaluate = false;
    bool found = false;

    // 1. Evaluation.
    if (is_eval_word(pattern) ||
        (chan_types.find(pattern[0]) != std::string::npos &&
         (pattern.size() == 1 || (pattern.size() == 2 && pattern[1] == ' ')))) {
        candidate = pattern;
        evaluate = true;
        found = true;
    }

    // 2. Channels.
    if (!found && chan_types.find(pattern[0]) != std::string::npos) {
        std::vector<std::string> names = channel_candidates(rec);
        int n = static_cast<int>(names.size());
        int from = (s->chan_index >= 0 && s->chan_index <= n) ? s->chan_index : 0;
        for (int step = 0; step < n; ++step) {
            int i = (from + step) % n;
            if (text_starts_with_nocase(names[static_cast<std::size_t>(i)], pattern)) {
                candidate = names[static_cast<std::size_t>(i)];
                s->chan_index = i + 1;
                found = true;
                break;
            }
        }
    }

    // 3. The nick list.
    bool side_list = rec->type == kWinChannel || (rec->type == kWinCustom && rec->subtype == 2);
    if (!found && side_list) {
        QListWidget* list = rec->listbox.get();
        int count = list ? list->count() : 0;
        for (int pass = 0; pass < 2 && !found; ++pass) {
            int begin = s->nick_pos < 0 ? 0 : s->nick_pos + 1;
            for (int i = begin; i < count; ++i) {
                QByteArray raw = list->item(i)->text().toUtf8();
                std::string item = strip_all_codes(std::string(raw.constData(),
                                                               static_cast<std::size_t>(raw.size())));
                if (item.empty())
                    continue;
                if (wanted && item[0] != wanted)
                    continue;
                std::size_t skip = 0;
                while (skip < item.size() && prefixes.find(item[skip]) != std::string::npos)
                    ++skip;
                std::string nick = item.substr(skip);
                if (!nick.empty() && nick_matches(pattern, nick)) {
                    candidate = nick;
                    s->nick_pos = i;
                    found = true;
                    break;
                }
            }
            if (!found)
                s->nick_pos = -1;
        }
        if (!found) {
            no_completion(rec, box);
            return;
        }
    }

    bool query_kind = rec->type == kWinQuery;
    // 4. The message window: the conversation nicks.
    if (!found && query_kind && rec->subtype == kQueryMessages && s->list1) {
        StringNode* current = current_of(s->list1);
        StringNode* from = nullptr;
        if (!current) {
            from = s->list1->prev;
        } else {
            from = continuing ? (current == s->list1 ? s->list1->prev : current->prev) : current;
        }
        StringNode* n = from;
        int total = strlist_count(s->list1);
        for (int step = 0; step < total; ++step) {
            if (nick_matches(pattern, n->text)) {
                if (current)
                    current->number = 0;
                n->number = 1;
                candidate = n->text;
                found = true;
                break;
            }
            n = (n == s->list1) ? s->list1->prev : n->prev;
        }
    }

    // 5. Other query windows: the conversation partner.
    if (!found && query_kind && rec->subtype != kQueryMessages) {
        std::string partner = rec->name;
        if (rec->subtype != kQueryPrivate) {
            std::size_t blank = partner.find(' ');
            partner = blank == std::string::npos ? std::string() : partner.substr(blank + 1);
        }
        if (!partner.empty() && nick_matches(pattern, partner)) {
            candidate = partner;
            found = true;
        }
    }

    if (!found) {
        // 6. Windows other than status and query windows.
        if (rec->type != kWinStatus && !query_kind) {
            tabcomp_cycle_msg(rec, box);
            return;
        }
        // 7. The notify list.
        int total = strlist_count(conn->notify_list);
        int from = (s->notify_pos > 0 && s->notify_pos < total) ? s->notify_pos : 0;
        StringNode* n = conn->notify_list;
        for (int i = 0; i < from && n; ++i)
            n = n->next;
        for (int step = 0; step < total && n; ++step) {
            std::string nick = n->text;
            std::size_t bang = nick.find('!');
            if (bang != std::string::npos)
                nick.resize(bang);
            int at = (from + step) % total;
            if (!nick.empty() && nick_matches(pattern, nick)) {
                candidate = nick;
                s->notify_pos = at + 1;
                found = true;
                break;
            }
            n = n->next ? n->next : conn->notify_list;
        }
        if (!found) {
            tabcomp_cycle_msg(rec, box);
            return;
        }
    }

    // 6. The new text.
    auto build = [&](const std::string& value) {
        std::string out = text.substr(0, start);
        if (out.size() + value.size() <= kLongText)
            out += value;
        std::string after = text.substr(end);
        if (out.size() + after.size() <= kLongText)
            out += after;
        return out;
    };
    std::string result = build(candidate);

    // 7. First "TABCOMP", then the evaluation.
    if (!tabcomp_fire(rec, result, 1) || !window_live(rec, hwnd))
        return;
    if (evaluate) {
        std::string value = candidate;
        int ok = tabcomp_eval_value(hwnd, value, conn);
        if (!window_live(rec, hwnd))
            return;
        if (ok > 0 && !value.empty() && start + value.size() <= kLongText)
            candidate = value;
        result = build(candidate);
    }
    int new_caret = static_cast<int>(start + candidate.size());
    if (static_cast<std::size_t>(new_caret) > result.size())
        new_caret = static_cast<int>(result.size());

    // 8. The final text.
    if (tabcomp_fire(rec, result, 0) && window_live(rec, hwnd) && box_of(rec, box))
        put_text(rec, box, result, new_caret);
}

// ---- Conversation lists ----

void tab_nicks_add(const std::string& nick, int kind, Connection* conn)
{
    if (kind != 1 && kind != 2)
        return;
    TabState* s = tabcomp_state(conn);
    if (!s || nick.empty() || nick.find('.') != std::string::npos)
        return;
    if (text_equal_nocase(nick, conn->server_name) || text_equal_nocase(nick, conn->live_server[0]))
        return;
    StringNode** head = kind == 1 ? &s->list1 : &s->list2;
    int flag = 0;
    for (StringNode* n = *head; n; n = n->next) {
        if (text_equal_nocase(n->text, nick)) {
            flag = n->number;
            *head = strlist_remove(*head, n);
            break;
        }
    }
    while (strlist_count(*head) >= kTabNicksMax)
        *head = strlist_free_node(*head);
    std::string text = nick.size() > kShortText ? nick.substr(0, kShortText) : nick;
    if (StringNode* h = strlist_append(*head, std::string_view(text), flag))
        *head = h;
}

void tab_nicks_rename(const std::string& old_nick, const std::string& new_nick, Connection* conn)
{
    TabState* s = tabcomp_state(conn);
    if (!s || old_nick.empty())
        return;
    for (StringNode** head : {&s->list1, &s->list2}) {
        for (StringNode* n = *head; n; n = n->next) {
            if (text_equal_nocase(n->text, old_nick)) {
                if (new_nick.empty())
                    *head = strlist_remove(*head, n);
                else
                    n->text = new_nick.size() > kShortText ? new_nick.substr(0, kShortText)
                                                           : new_nick;
                break;
            }
        }
    }
}

namespace {

// Removes a nick from a list; a current flag passes to the entry after it.
bool remove_from(StringNode** head, const std::string& nick)
{
    for (StringNode* n = *head; n; n = n->next) {
        if (text_equal_nocase(n->text, nick)) {
            if (n->number == 1 && n->next)
                n->next->number = 1;
            *head = strlist_remove(*head, n);
            return true;
        }
    }
    return false;
}

}  // namespace

int tab_nicks_remove(WindowRecord* rec, const std::string* nick, Connection* conn, int box)
{
    TabState* s = tabcomp_state(conn);
    if (!s)
        return 0;
    if (nick) {
        bool a = remove_from(&s->list1, *nick);
        bool b = remove_from(&s->list2, *nick);
        return (a || b) ? 1 : 0;
    }
    EditBox* b = box_of(rec, box);
    if (!b)
        return 0;
    std::string text = b->textBytes();
    if (!text.empty() && !s->cycle)
        return 0;
    if (!text_starts_with_nocase(text, "/msg "))
        return 0;
    std::size_t i = 5;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::size_t e = text.find(' ', i);
    std::string who = text.substr(i, e == std::string::npos ? std::string::npos : e - i);
    if (who.empty())
        return 0;
    bool a = remove_from(&s->list1, who);
    bool c = remove_from(&s->list2, who);
    s->cycle = 0;
    put_text(rec, box, std::string(), 0);
    return (a || c) ? 1 : 0;
}
