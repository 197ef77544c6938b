#include <algorithm>
#include <string>
#include <vector>

#include "model/connection.h"
#include "core/hash_table.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "script/exec/executor.h"

namespace {

struct CommandEntry {
    const char* word;
    const char* family;
    int variant;
    CommandHandler handler;
    std::size_t min_args;  // fewer arguments: the error, not the handler
};

CommandEntry command_entries[] = {
#include "script/exec/command_table.inc"
};

HashTable word_table;
bool table_ready = false;

// The last words looked up, with what the table gave for them (null for a
// word without an entry), so that a loop running the same few commands
// over and over does not hash them each time. Emptied whenever a word is
// registered.
struct RecentWord {
    std::string word;
    CommandEntry* entry = nullptr;
};
constexpr std::size_t kRecentWords = 8;
RecentWord recent_words[kRecentWords];
std::size_t recent_count = 0;
std::size_t recent_next = 0;

void recent_clear()
{
    recent_count = 0;
    recent_next = 0;
}

// The table's entry of a lower-cased word, through the recent words.
CommandEntry* entry_of(const std::string& word)
{
    for (std::size_t i = 0; i < recent_count; ++i)
        if (recent_words[i].word == word)
            return recent_words[i].entry;
    auto* e = static_cast<CommandEntry*>(hash_find(word, nullptr, &word_table));
    if (word.size() <= kShortText) {
        RecentWord& slot = recent_words[recent_next];
        slot.word = word;
        slot.entry = e;
        recent_next = (recent_next + 1) % kRecentWords;
        if (recent_count < kRecentWords)
            ++recent_count;
    }
    return e;
}
CommandEntry* timer_entry = nullptr;
CommandEntry* dcc_entry = nullptr;
std::vector<CommandEntry*> extra_words;

void ensure_table()
{
    if (table_ready)
        return;
    table_ready = true;
    hash_init(&word_table, 509);
    for (CommandEntry& e : command_entries) {
        hash_set(e.word, &e, 0, &word_table);
        if (std::string_view(e.word) == "timer")
            timer_entry = &e;
        else if (std::string_view(e.word) == "dcc")
            dcc_entry = &e;
    }
}

// A built-in word whose handler is not built yet answers here, never on the
// server. Too few arguments for the word is its error.
int call_entry(const CommandEntry* e, CommandCall& call)
{
    if (!e->handler)
        return script_error_not_available('/', call.tokens[0]);
    if (call.argc() < e->min_args)
        return script_error(nullptr, call.tokens[0], {}, 0);
    call.variant = e->variant;
    return e->handler(call);
}

} // namespace

int (*cmd_unknown)(CommandCall& call) = nullptr;

namespace {

// A word nobody handles: the command set's fallback when it is there.
int unknown_word(CommandCall& call)
{
    return cmd_unknown ? cmd_unknown(call) : 0;
}

}  // namespace

int script_register_command(std::string_view word, CommandHandler handler, int variant)
{
    ensure_table();
    recent_clear();
    auto* e = static_cast<CommandEntry*>(hash_find(word, nullptr, &word_table));
    // A word added here and given no handler is forgotten: unknown again, it
    // goes to the server as before it was added.
    if (e && !handler && std::find(extra_words.begin(), extra_words.end(), e) != extra_words.end()) {
        hash_delete(word, &word_table);
        extra_words.erase(std::find(extra_words.begin(), extra_words.end(), e));
        delete e;
        return 1;
    }
    if (!e && !handler)
        return 1;
    if (!e) {
        auto* keep = new std::string(word);
        text_lower(*keep);
        e = new CommandEntry{keep->c_str(), "", variant, handler, 0};
        extra_words.push_back(e);
        hash_set(*keep, e, 0, &word_table);
        return 1;
    }
    e->handler = handler;
    e->variant = variant;
    return 1;
}

int script_register_command_family(std::string_view family, CommandHandler handler)
{
    ensure_table();
    recent_clear();
    int count = 0;
    for (CommandEntry& e : command_entries)
        if (family == e.family) {
            e.handler = handler;
            ++count;
        }
    return count;
}

int command_table_size()
{
    return static_cast<int>(sizeof command_entries / sizeof command_entries[0]);
}

const char* command_table_word(int index)
{
    return index >= 0 && index < command_table_size() ? command_entries[index].word : nullptr;
}

CommandHandler script_command_handler(std::string_view word)
{
    ensure_table();
    auto* e = static_cast<CommandEntry*>(hash_find(word, nullptr, &word_table));
    return e ? e->handler : nullptr;
}

int command_has_handler(std::string_view word)
{
    return script_command_handler(word) ? 1 : 0;
}

int builtin_dispatch(CommandCall& call)
{
    ensure_table();
    if (call.tokens.empty())
        return 1;
    std::string& word = call.tokens[0];
    text_lower(word);
    char first = word.empty() ? 0 : word[0];
    if (first < 'a' || first > 'x')
        return unknown_word(call);
    if (first == 't' && word.compare(0, 5, "timer") == 0)
        return call_entry(timer_entry, call);
    if (first == 'd' && word.compare(0, 3, "dcc") == 0) {
        int r = call_entry(dcc_entry, call);
        if (r != kScriptPass)
            return r;
        return unknown_word(call);
    }
    CommandEntry* e = entry_of(word);
    if (e)
        return call_entry(e, call);
    return unknown_word(call);
}

int cmd_return(CommandCall& call)
{
    std::string out;
    for (std::size_t i = 1; i < call.tokens.size(); ++i) {
        if (call.tokens[i].empty())
            continue;
        if (!out.empty())
            out.push_back(' ');
        out += call.tokens[i];
    }
    if (call.line_buf)
        *call.line_buf = out;
    return kScriptReturn;
}

int cmd_goto(CommandCall& /*call*/)
{
    return -12;
}

const std::string& CommandCall::arg(std::size_t i) const
{
    static const std::string empty;
    return i < tokens.size() ? tokens[i] : empty;
}

std::string_view CommandCall::rest() const
{
    std::string_view t = line;
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    while (i < t.size() && t[i] != ' ')
        ++i;
    while (i < t.size() && t[i] == ' ')
        ++i;
    return t.substr(i);
}
