// Event words, ids and the per-event index.
#include "script/events/event_index.h"

#include <string>

#include "core/string_list.h"
#include "core/text_buffer.h"
#include "script/events/remote_files.h"

EventIndex event_index;
unsigned event_index_generation = 0;

namespace {

struct WordId {
    const char* word;
    int id;
};

// Sorted by first letter only for readability; lookups go through the
// first-letter table built below.
const WordId kWords[] = {
    {"ACTION", 5}, {"ACTIVE", 6}, {"APPACTIVE", 7}, {"AGENT", 8}, {"BAN", 9}, {"CHAT", 10},
    {"CLOSE", 11}, {"CHATCLOSE", 11}, {"QUERYCLOSE", 11}, {"SERVCLOSE", 11}, {"CONNECT", 12},
    {"CONNECTFAIL", 13}, {"CTCPREPLY", 14}, {"DCCSERVER", 15}, {"DEHELP", 16}, {"DEOP", 17},
    {"DEOWNER", 18}, {"DEVOICE", 19}, {"DIALOG", 20}, {"DISCONNECT", 21}, {"DNS", 22},
    {"ERROR", 23}, {"EXIT", 24}, {"FILERCVD", 25}, {"FILESENT", 26}, {"GETFAIL", 27},
    {"HELP", 28}, {"HOTLINK", 29}, {"INPUT", 30}, {"INVITE", 31}, {"JOIN", 32},
    {"KEYDOWN", 33}, {"KEYUP", 34}, {"KICK", 35}, {"LOAD", 36}, {"LOGON", 37},
    {"MIDIEND", 38}, {"MODE", 39}, {"NICK", 40}, {"NOSOUND", 41}, {"NOTICE", 42},
    {"NOTIFY", 43}, {"OP", 44}, {"OPEN", 45}, {"CHATOPEN", 45}, {"QUERYOPEN", 45},
    {"SERVOPEN", 45}, {"OWNER", 46}, {"PART", 47}, {"PING", 48}, {"PLAYEND", 49},
    {"PONG", 50}, {"QUIT", 51}, {"RAWMODE", 52}, {"SENDFAIL", 53}, {"SERV", 54},
    {"SERVERMODE", 55}, {"SERVEROP", 56}, {"SIGNAL", 57}, {"SNOTICE", 58},
    {"SOCKCLOSE", 59}, {"SOCKLISTEN", 60}, {"SOCKOPEN", 61}, {"SOCKREAD", 62},
    {"SOCKWRITE", 63}, {"SONGEND", 64}, {"MP3END", 64}, {"START", 65}, {"TABCOMP", 66},
    {"TEXT", 67}, {"TOPIC", 68}, {"UDPREAD", 69}, {"UDPWRITE", 70}, {"UNBAN", 71},
    {"UNLOAD", 72}, {"UNOTIFY", 73}, {"USERMODE", 74}, {"VCMD", 75}, {"VOICE", 76},
    {"WALLOPS", 77}, {"WAVEEND", 78},
};

// First entry of the last script's run in each list (entries without a
// skip link yet).
EventIndexEntry* g_run_start[kEventCount] = {};

void append_entry(int id, StringNode* line, ScriptFile* script)
{
    auto* e = new EventIndexEntry;
    e->line = line;
    e->script = script;
    EventIndexEntry* prev = event_index.tail[id];
    if (!prev) {
        event_index.head[id] = e;
        g_run_start[id] = e;
    } else {
        prev->next = e;
        if (prev->script != script) {
            // The previous script's entries now lead here.
            for (EventIndexEntry* x = g_run_start[id]; x && x != e; x = x->next)
                x->skip = e;
            g_run_start[id] = e;
        }
    }
    event_index.tail[id] = e;
}

} // namespace

int event_id_of_word(std::string_view word)
{
    if (word.empty())
        return -1;
    const char first = text_lower_char(word[0]);
    for (const WordId& w : kWords)
        if (text_lower_char(w.word[0]) == first && text_equal_nocase(word, w.word))
            return w.id;
    return -1;
}

const char* event_word_of_id(int id)
{
    for (const WordId& w : kWords)
        if (w.id == id)
            return w.word;
    return "";
}

bool event_word_of_line(std::string_view text, std::string& word)
{
    word.clear();
    std::string_view t = text_skip_blanks(text);
    if (t.size() >= 2 && text_equal_nocase(t.substr(0, 2), "on"))
        t = t.substr(2);
    t = text_skip_blanks(t);
    if (t.size() >= 3 && text_equal_nocase(t.substr(0, 3), "me:"))
        t = text_skip_blanks(t.substr(3));
    std::size_t colon = t.find(':');
    if (colon == std::string_view::npos)
        return false;
    t = text_skip_blanks(t.substr(colon + 1)).substr(0, 256);
    std::size_t end = t.find_first_of(":{");
    if (end == std::string_view::npos)
        return false;
    t = t.substr(0, end);
    std::size_t blank = t.find(' ');
    word.assign(t.substr(0, blank));
    return true;
}

void remote_index_clear(int)
{
    for (int id = 0; id < kEventCount; ++id) {
        EventIndexEntry* e = event_index.head[id];
        while (e) {
            EventIndexEntry* n = e->next;
            delete e;
            e = n;
        }
        event_index.head[id] = nullptr;
        event_index.tail[id] = nullptr;
        g_run_start[id] = nullptr;
    }
    ++event_index_generation;
}

void remote_index_events()
{
    remote_index_clear(1);
    std::string word;
    for (ScriptFile* f = remote_list; f; f = f->next) {
        if (f->kind != kRemoteScript)
            continue;
        for (StringNode* n = f->lines; n; n = n->next) {
            if (!n->extra[kLineKind])
                continue;
            switch (n->extra[kLineClass]) {
            case kLineMenu: append_entry(kEvMenu, n, f); break;
            case kLineCtcp: append_entry(kEvCtcp, n, f); break;
            case kLineRaw: append_entry(kEvRaw, n, f); break;
            case kLineDialog: append_entry(kEvDialogDef, n, f); break;
            case kLineOn: {
                if (!event_word_of_line(n->text, word))
                    break;
                int id = event_id_of_word(word);
                if (id < 0 && text_equal_nocase(word, "CTCP"))
                    id = kEvCtcp;
                if (id >= 0)
                    append_entry(id, n, f);
                break;
            }
            default: break;
            }
        }
    }
    event_index_sync_enabled();
}

void event_index_sync_enabled()
{
    for (int id = 0; id < kEventCount; ++id)
        for (EventIndexEntry* e = event_index.head[id]; e; e = e->next)
            e->enabled = (e->line->extra[kLineFlags] & kLineFlagEnabled) ? 1 : 0;
}

int event_has_handler(int id)
{
    if (id < 0 || id >= kEventCount)
        return 0;
    for (EventIndexEntry* e = event_index.head[id]; e; e = e->next) {
        if (!e->enabled)
            continue;
        if (id == kEvLoad && e->script->load_state != 1)
            continue;
        if (id == kEvStart && e->script->start_state != 1)
            continue;
        return 1;
    }
    return 0;
}
