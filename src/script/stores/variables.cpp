#include "script/stores/variables.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/files.h"
#include "core/ini.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/exec/script_errors.h"
#include "script/exec/script_hooks.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/binary_vars.h"

VarFile* var_file = nullptr;
StringNode* var_index[kVarIndexHeads] = {};
StringNode* var_timed = nullptr;
int var_scope_counter = -9;
VarHooks var_hooks;

namespace {

// Exact-name lookups of the index and of the timed list. The lists keep the
// order that walks and $var see; these maps only spare the walk for a name
// that is known exactly. Index keys are the head number followed by the
// lower-cased name; timed keys the lower-cased name.
std::unordered_map<std::string, StringNode*> index_by_name;
std::unordered_map<std::string, StringNode*> timed_by_name;

// The character after a leading "%" (the first character without one),
// lower-cased; 0 when there is none.
int name_letter(std::string_view name)
{
    std::size_t i = (!name.empty() && name[0] == '%') ? 1 : 0;
    if (i >= name.size())
        return 0;
    return static_cast<unsigned char>(text_lower_char(name[i]));
}

int head_of_letter(int letter)
{
    return (letter >= 'a' && letter <= 'z') ? letter - 'a' : 26;
}

bool has_wildcards(std::string_view name)
{
    return name.find_first_of("*?") != std::string_view::npos;
}

// Names are kept with their "%"; a caller that gives the name without it
// means the same variable.
std::string full_name(std::string_view name)
{
    std::string out;
    if (name.empty() || name[0] != '%')
        out.push_back('%');
    out.append(name);
    return out;
}

// A local list made as a bare node (no link to its last node) gets one.
void fix_list_head(StringNode* head)
{
    if (head && !head->prev) {
        StringNode* last = head;
        while (last->next)
            last = last->next;
        head->prev = last;
    }
}

// The name with its "%": the text itself when it has one, else a copy made
// in `store`. Lookups on every read take this path without a copy.
inline std::string_view with_percent(std::string_view name, std::string& store)
{
    if (!name.empty() && name[0] == '%')
        return name;
    store.assign(1, '%');
    store.append(name);
    return store;
}

std::string_view first_word(std::string_view text)
{
    std::size_t blank = text.find(' ');
    return blank == std::string_view::npos ? text : text.substr(0, blank);
}

// The index key of a name: the head's letter followed by the lower-cased
// name. Built into `key`, whose storage the caller keeps for the next one.
void index_key_into(int head, std::string_view name, std::string& key)
{
    key.assign(1, static_cast<char>('A' + head));
    key.append(name);
    for (std::size_t i = 1; i < key.size(); ++i)
        key[i] = text_lower_char(key[i]);
}

std::string index_key(int head, std::string_view name)
{
    std::string key;
    index_key_into(head, name, key);
    return key;
}

// The value of a line or local node (the text after its first blank; empty
// for two double quotes) into out. `name_size` is the length of the line's
// first word when the caller knows it (it found the line by its name).
void line_value_into(const StringNode* line, std::string& out,
                     std::size_t name_size = std::string::npos)
{
    const std::string& text = line->text;
    if (&out == &text) {
        out = var_line_value(line);  // the line's own text asked for its value
        return;
    }
    std::size_t blank = name_size;
    if (blank >= text.size() || text[blank] != ' ')
        blank = text.find(' ');
    out.clear();
    if (blank == std::string::npos)
        return;
    std::string_view value = std::string_view(text).substr(blank + 1);
    if (value != "\"\"")
        out.append(value);
}

// "name value", or the name alone for an empty value or two double quotes;
// cut at the usable length of a line.
void compose_line_into(std::string_view name, std::string_view value, std::string& text)
{
    text.assign(name);
    if (!value.empty() && value != "\"\"") {
        text.push_back(' ');
        text.append(value);
    }
    if (text.size() > kLongText)
        text.resize(kLongText);
}

std::string compose_line(std::string_view name, std::string_view value)
{
    std::string text;
    compose_line_into(name, value, text);
    return text;
}

// Puts "name value" into a line's text. When the line already begins with
// the name spelt the same, only the value is replaced; otherwise the line
// is composed in a buffer kept between calls and swapped in. Either way,
// setting a variable again and again (a loop counter) goes back to the
// allocator only when its text grows.
void store_line_text(StringNode* line, std::string_view name, std::string_view value)
{
    std::string& text = line->text;
    const bool has_value = !value.empty() && value != "\"\"";
    if (has_value && text.size() > name.size() && text[name.size()] == ' ' &&
        text.compare(0, name.size(), name) == 0 &&
        (value.data() + value.size() <= text.data() || value.data() >= text.data() + text.size())) {
        // Same name as stored, spelt the same: only the value changes.
        text.resize(name.size() + 1);
        text.append(value);
        if (text.size() > kLongText)
            text.resize(kLongText);
        return;
    }
    static std::string composed;
    compose_line_into(name, value, composed);
    text.swap(composed);
}

void scan_line(StringNode* line, VarFile* file)
{
    const std::string& text = line->text;
    std::size_t percent = text.find('%');
    int letter = 0;
    if (percent != std::string::npos && percent + 1 < text.size())
        letter = static_cast<unsigned char>(text_lower_char(text[percent + 1]));
    std::size_t blank = text.find(' ');
    int value_letter = 0;
    int value_pos = 0;
    if (blank != std::string::npos && blank + 1 < text.size()) {
        value_pos = static_cast<int>(blank + 1);
        value_letter = static_cast<unsigned char>(text_lower_char(text[blank + 1]));
    }
    line->extra[kVarLineLetter] = letter;
    line->extra[kVarLineValueLetter] = value_letter;
    line->extra[kVarLineValuePos] = value_pos;
    line->extra[kVarLineOwner] = reinterpret_cast<std::intptr_t>(file);
}

StringNode* entry_line(const StringNode* entry)
{
    return reinterpret_cast<StringNode*>(entry->extra[0]);
}

void echo(QWidget* window, const std::string& text)
{
    var_echo(window, text);
}

void echo_set(QWidget* window, int flags, std::string_view name, std::string_view value)
{
    int id = (flags & kVarFlagSet) ? 5902 : (flags & kVarFlagInc) ? 5903 : 5904;
    std::string shown(value == "\"\"" ? std::string_view() : value);
    echo(window, script_text(id, name, shown));
}

// The first index entry of the head whose name equals the name (ignoring
// case), or that matches it as a pattern.
StringNode* find_entry(std::string_view name, bool pattern)
{
    int head = var_index_head(name);
    if (!pattern) {
        if (index_by_name.empty())
            return nullptr;
        static std::string key;
        index_key_into(head, name, key);
        auto it = index_by_name.find(key);
        return it == index_by_name.end() ? nullptr : it->second;
    }
    for (StringNode* e = var_index[head]; e; e = e->next)
        if (wild_match(name, e->text, 0, 1))
            return e;
    return nullptr;
}

void index_remove_entry(StringNode* entry)
{
    int head = static_cast<int>(entry->extra[1]);
    auto it = index_by_name.find(index_key(head, entry->text));
    if (it != index_by_name.end() && it->second == entry)
        index_by_name.erase(it);
    var_index[head] = strlist_remove(var_index[head], entry);
}

// Removes the variable of an index entry: its timed entry (unless kept),
// its first line, and the entry itself, or, when further lines carry the
// name, the index is rebuilt so that the next of them becomes the variable.
// Returns true when the index was rebuilt (entries the caller holds are gone).
bool remove_global(StringNode* entry, int keep_timed)
{
    if (!keep_timed)
        var_timed_remove(entry->text);
    StringNode* line = entry_line(entry);
    var_file->modified = 1;
    if (entry->number > 0) {
        var_file->lines = strlist_remove(var_file->lines, line);
        var_index_rebuild();
        return true;
    }
    index_remove_entry(entry);
    var_file->lines = strlist_remove(var_file->lines, line);
    return false;
}

void timed_put(std::string_view name, int count, int flags, int show)
{
    var_timed_remove(name);
    StringNode* head = strlist_prepend(var_timed, name, 0, count);
    if (!head)
        return;
    var_timed = head;
    head->extra[0] = flags;
    head->extra[1] = show ? 1 : 0;
    timed_by_name[text_lower_copy(name)] = head;
}

void timed_remove_node(StringNode* node)
{
    auto it = timed_by_name.find(text_lower_copy(node->text));
    if (it != timed_by_name.end() && it->second == node)
        timed_by_name.erase(it);
    var_timed = strlist_remove(var_timed, node);
}

int editor_waits()
{
    return var_hooks.editor_shows_variables ? var_hooks.editor_shows_variables() : 0;
}

// Unsets the variable of a due timed entry and drops the entry, or, while
// the editor shows the variables, keeps it one more second.
void timed_unset(StringNode* node, QWidget* window)
{
    if (editor_waits()) {
        node->number = 1;
        return;
    }
    std::string name = node->text;
    int show = static_cast<int>(node->extra[1]);
    var_set(window, name, nullptr, nullptr, show, kVarFlagSet, 0, 0, nullptr, 1);
    // The unset may have printed through a hook that changed the list: look
    // the entry up again before dropping it.
    auto it = timed_by_name.find(text_lower_copy(name));
    if (it != timed_by_name.end() && it->second == node)
        timed_remove_node(node);
}

std::string format_number(double value)
{
    std::string out;
    num_format_f6(value, out);
    num_trim_zeros(out);
    return out;
}

std::int64_t file_mtime(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<std::int64_t>(st.st_mtime);
}

void free_file()
{
    var_index_clear(1);
    if (var_file) {
        strlist_free(&var_file->lines);
        delete var_file;
        var_file = nullptr;
    }
}

} // namespace

// ---------------------------------------------------------------------------

int var_index_head(std::string_view name)
{
    return head_of_letter(name_letter(name));
}

std::string var_line_value(const StringNode* line)
{
    std::string value;
    if (line)
        line_value_into(line, value);
    return value;
}

namespace {

// Placeholders of local lists that ended: every run of a command block
// makes one (an event line, an alias call), so they are kept for reuse.
// The pool owns its nodes: they go with it when the program ends.
struct SparePlaceholders : std::vector<StringNode*> {
    ~SparePlaceholders()
    {
        for (StringNode* n : *this)
            delete n;
    }
};
SparePlaceholders spare_placeholders;
constexpr std::size_t kMaxSparePlaceholders = 64;

} // namespace

StringNode* var_locals_new()
{
    if (!spare_placeholders.empty()) {
        StringNode* node = spare_placeholders.back();
        spare_placeholders.pop_back();
        return node;
    }
    return strlist_append(nullptr, std::string_view(""), 0);
}

void var_locals_free(StringNode** list)
{
    if (!list || !*list)
        return;
    StringNode* head = *list;
    *list = nullptr;
    StringNode* rest = head->next;
    strlist_free(&rest);
    if (spare_placeholders.size() >= kMaxSparePlaceholders) {
        delete head;
        return;
    }
    // As strlist_append makes a list's first node: alone, linked to itself.
    *head = StringNode{};
    head->prev = head;
    spare_placeholders.push_back(head);
}

namespace {

// The local node of a name (with its "%"); no wildcards. Nodes are
// compared by their letter first, then by the name ignoring case.
StringNode* local_node(std::string_view name, StringNode* locals)
{
    if (!locals)
        return nullptr;
    const int letter = name_letter(name);
    const std::size_t n = name.size();
    for (StringNode* node = locals->next; node; node = node->next) {
        if (node->number != letter)
            continue;
        const std::string& text = node->text;
        if (text.size() < n || (text.size() > n && text[n] != ' '))
            continue;
        std::size_t i = 0;
        while (i < n && text_lower_char(text[i]) == text_lower_char(name[i]))
            ++i;
        if (i == n) {
            // A first word never holds a blank: a name with one matches
            // nothing (looked at only once a line's start agrees).
            if (name.find(' ') != std::string_view::npos)
                return nullptr;
            return node;
        }
    }
    return nullptr;
}

} // namespace

// The value is written only once the name has served: a caller may pass a
// name that lives in the value buffer.
StringNode* var_local_find(std::string_view name_in, std::string* value, int wildcard,
                           StringNode* locals)
{
    if (!locals) {
        if (value)
            value->clear();
        return nullptr;
    }
    std::string store;
    const std::string_view name = with_percent(name_in, store);
    StringNode* found = nullptr;
    if (wildcard) {
        for (StringNode* node = locals->next; node && !found; node = node->next)
            if (wild_match(name, first_word(node->text), 0, 1))
                found = node;
    } else {
        found = local_node(name, locals);
    }
    if (value) {
        if (found)
            line_value_into(found, *value);
        else
            value->clear();
    }
    return found;
}

StringNode* var_find(std::string_view name_in, std::string* value, StringNode* locals)
{
    std::string store;
    const std::string_view name = with_percent(name_in, store);
    StringNode* found = local_node(name, locals);
    if (!found) {
        if (StringNode* entry = find_entry(name, false))
            found = entry_line(entry);
    }
    if (value) {
        if (found)
            line_value_into(found, *value, name.size());
        else
            value->clear();
    }
    return found;
}

int var_local_set(QWidget* window, std::string_view name_in, const std::string* value,
                  std::string* /*work*/, int show, int flags, int wildcard, StringNode* locals,
                  int create, int* removed)
{
    if (!locals)
        return 0;
    fix_list_head(locals);
    if (value) {
        std::string store;
        const std::string_view name = with_percent(name_in, store);
        StringNode* node = local_node(name, locals);
        if (node) {
            store_line_text(node, name, *value);
            node->number = name_letter(name);
        } else {
            if (!create)
                return 0;
            if (!strlist_append(locals, std::string_view(compose_line(name, *value)),
                                name_letter(name)))
                return 0;
        }
        if (show)
            echo_set(window, flags, name, *value);
        return 1;
    }
    // An unset keeps a copy of the name: the caller's may be a text that goes.
    const std::string name = full_name(name_in);
    if (!(wildcard && has_wildcards(name))) {
        StringNode* node = var_local_find(name, nullptr, 0, locals);
        if (!node)
            return 0;
        strlist_remove(locals, node);  // never the placeholder: the head stays
        if (show)
            echo(window, script_text(5901, name));
        return 1;
    }
    int count = 0;
    for (StringNode* node = locals->next; node;) {
        StringNode* next = node->next;
        if (wild_match(name, first_word(node->text), 0, 1)) {
            strlist_remove(locals, node);
            ++count;
        }
        node = next;
    }
    if (removed)
        *removed += count;
    return 2;
}

int var_set(QWidget* window, std::string_view name_in, const std::string* value,
            std::string* work, int show, int flags, int wildcard, int count, StringNode* locals,
            int keep_timed)
{
    if (value) {
        std::string store;
        const std::string_view name = with_percent(name_in, store);
        if (locals && var_local_set(window, name, value, work, show, flags, 0, locals, 0) == 1)
            return 1;
        if (!var_file)
            return 0;
        bool pattern = wildcard && has_wildcards(name);
        StringNode* entry = find_entry(name, pattern);
        // A pattern changes the variable it found under that variable's own name.
        std::string stored_name(pattern && entry ? std::string_view(entry->text) : name);
        if (entry) {
            StringNode* line = entry_line(entry);
            store_line_text(line, stored_name, *value);
            scan_line(line, var_file);
            if (entry->text != stored_name) {
                // The stored name takes the spelling of the latest set (same key).
                entry->text = stored_name;
            }
        } else {
            StringNode* head = strlist_append(var_file->lines,
                                              std::string_view(compose_line(stored_name, *value)), 0);
            if (!head) {
                script_error(nullptr, "set", "", 2);
                return 0;
            }
            var_file->lines = head;
            StringNode* line = head->prev;
            scan_line(line, var_file);
            var_index_add(line, stored_name);
        }
        var_file->modified = 1;
        if (count != 0)
            timed_put(stored_name, count, flags, show);
        else if (flags & kVarFlagSet)
            var_timed_remove(stored_name);
        if (show)
            echo_set(window, flags, stored_name, *value);
        return 1;
    }

    // Unset. The name is copied: the caller's may be a text that goes.
    const std::string name = full_name(name_in);
    bool pattern = wildcard && has_wildcards(name);
    int removed = 0;
    if (locals) {
        int r = var_local_set(window, name, nullptr, work, show, flags, wildcard, locals, 0,
                              &removed);
        if (!pattern && r == 1)
            return 1;
    }
    if (!var_file) {
        if (pattern && show && removed > 0)
            echo(window, script_text(5905, std::to_string(removed), name));
        return removed > 0 ? 1 : 0;
    }
    if (!pattern) {
        if (StringNode* entry = find_entry(name, false)) {
            remove_global(entry, keep_timed);
            if (show)
                echo(window, script_text(5901, name));
        }
        return 1;
    }
    int letter = name_letter(name);
    int first = 0;
    int last = kVarIndexHeads - 1;
    if (letter != '*' && letter != '?')
        first = last = head_of_letter(letter);
    for (int head = first; head <= last; ++head) {
        // A removal that rebuilds the index (a name with further lines) ends
        // the walk of the head; it starts again until no match is left.
        bool again = true;
        while (again) {
            again = false;
            for (StringNode* e = var_index[head]; e;) {
                StringNode* next = e->next;
                if (wild_match(name, e->text, 0, 1)) {
                    ++removed;
                    if (remove_global(e, keep_timed)) {
                        again = true;
                        break;
                    }
                }
                e = next;
            }
        }
    }
    if (show && removed > 0)
        echo(window, script_text(5905, std::to_string(removed), name));
    return 1;
}

void var_unset_all(QWidget* window, int show)
{
    var_tick(1);
    if (var_file) {
        strlist_free(&var_file->lines);
        var_file->modified = 1;
    }
    var_index_clear(1);
    if (show)
        echo(window, script_text(961));
}

void var_echo(QWidget* window, const std::string& text)
{
    script_echo_line(window, text, kColourInfo);
}

// ---------------------------------------------------------------------------
// Index.

void var_index_clear(int free_entries)
{
    for (StringNode*& head : var_index) {
        if (free_entries)
            strlist_free(&head);
        else
            head = nullptr;
    }
    index_by_name.clear();
}

void var_index_add(StringNode* line, std::string_view name)
{
    int letter = line ? static_cast<int>(line->extra[kVarLineLetter]) : 0;
    int head = letter ? head_of_letter(letter) : var_index_head(name);
    std::string key = index_key(head, name);
    auto it = index_by_name.find(key);
    if (it != index_by_name.end()) {
        ++it->second->number;
        return;
    }
    StringNode* list = strlist_append(var_index[head], name, 0);
    if (!list)
        return;
    var_index[head] = list;
    StringNode* entry = list->prev;
    entry->extra[0] = reinterpret_cast<std::intptr_t>(line);
    entry->extra[1] = head;
    index_by_name.emplace(std::move(key), entry);
}

void var_index_rebuild()
{
    var_index_clear(1);
    if (!var_file)
        return;
    for (StringNode* line = var_file->lines; line; line = line->next) {
        if (!line->extra[kVarLineLetter])
            continue;
        var_index_add(line, first_word(line->text));
    }
}

void var_file_scan(VarFile* file)
{
    if (!file)
        return;
    for (StringNode* line = file->lines; line; line = line->next)
        scan_line(line, file);
}

// ---------------------------------------------------------------------------
// Timed entries.

StringNode* var_timed_find(std::string_view name)
{
    if (timed_by_name.empty())
        return nullptr;
    auto it = timed_by_name.find(text_lower_copy(full_name(name)));
    return it == timed_by_name.end() ? nullptr : it->second;
}

int var_timed_remove(std::string_view name)
{
    if (timed_by_name.empty())
        return 0;
    auto it = timed_by_name.find(text_lower_copy(full_name(name)));
    if (it == timed_by_name.end())
        return 0;
    StringNode* node = it->second;
    timed_by_name.erase(it);
    var_timed = strlist_remove(var_timed, node);
    return 1;
}

void var_tick(int mode)
{
    for (StringNode* node = var_timed; node;) {
        StringNode* next = node->next;
        if (mode == 1) {
            timed_unset(node, nullptr);
            node = next;
            continue;
        }
        if (node->number > 0)
            --node->number;
        if (node->number > 0) {
            int flags = static_cast<int>(node->extra[0]);
            int show = static_cast<int>(node->extra[1]);
            std::string name = node->text;
            std::string value;
            if (flags & kVarFlagStep) {
                if (var_find(name, &value, nullptr)) {
                    double v = std::strtod(value.c_str(), nullptr);
                    v += (flags & kVarFlagInc) ? 1.0 : -1.0;
                    std::string text = format_number(v);
                    var_set(nullptr, name, &text, nullptr, show, flags, 0, node->number, nullptr, 0);
                }
            } else if (flags & kVarFlagCountDown) {
                var_find(name, &value, nullptr);
                double v = std::strtod(value.c_str(), nullptr) - 1.0;
                if (v <= 0) {
                    timed_unset(node, nullptr);
                } else {
                    std::string text = format_number(v);
                    var_set(nullptr, name, &text, nullptr, show, flags, 0, node->number, nullptr, 0);
                }
            }
            node = next;
            continue;
        }
        if (node->number <= -9) {
            node = next;
            continue;
        }
        timed_unset(node, nullptr);
        node = next;
    }
}

void var_tick_second()
{
    if (var_timed)
        var_tick(0);
}

void var_scope_end(QWidget* window, int scope)
{
    for (StringNode* node = var_timed; node;) {
        StringNode* next = node->next;
        if (node->number == scope) {
            std::string name = node->text;
            int show = static_cast<int>(node->extra[1]);
            timed_remove_node(node);
            var_set(window, name, nullptr, nullptr, show, kVarFlagSet, 0, 0, nullptr, 1);
        }
        node = next;
    }
    // The binary variables made in the scope end with it.
    bvar_scope_end(scope);
}

int var_next_scope()
{
    --var_scope_counter;
    if (var_scope_counter < -9999 || var_scope_counter > -9)
        var_scope_counter = -9;
    return var_scope_counter;
}

// ---------------------------------------------------------------------------
// $var

int id_var(IdentCall& call)
{
    if (call.token->argc == 0) {
        if (!ident_split_args(call, kIdentAnyArgs))
            return 0;
        // The pattern names variables: written with its "%" it stays as it
        // is instead of being replaced by a variable's value.
        EvalToken* pattern = call.token->next;
        if (call.token->argc >= 1 && pattern && pattern->text.size() > 1 &&
            pattern->text[0] == '%')
            pattern->state = kTokFinal;
        return 1;
    }
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    int argc = ident_arg_count(call);
    if (argc < 1 || argc > 2)
        return ident_error(call.token, call.work, 6);
    std::string pattern = ident_arg(call, 0);
    if (pattern.empty() || pattern[0] != '%')
        pattern.insert(pattern.begin(), '%');
    long long wanted = 0;
    if (argc == 2) {
        const std::string& n = ident_arg(call, 1);
        wanted = std::strtoll(n.c_str(), nullptr, 10);
        if (wanted > 9998)
            wanted = 9998;
    }
    StringNode* locals = (call.args && call.args->locals) ? *call.args->locals : nullptr;
    long long count = 0;
    const StringNode* found = nullptr;
    bool found_local = false;
    std::string found_name;
    if (locals) {
        for (StringNode* node = locals->next; node && !found; node = node->next) {
            std::string_view word = first_word(node->text);
            if (wild_match(pattern, word, 0, 1) && ++count == wanted) {
                found = node;
                found_local = true;
                found_name.assign(word);
            }
        }
    }
    int letter = name_letter(pattern);
    int first = 0;
    int last = kVarIndexHeads - 1;
    if (letter != '*' && letter != '?')
        first = last = head_of_letter(letter);
    for (int head = first; head <= last && !found; ++head) {
        for (StringNode* e = var_index[head]; e && !found; e = e->next) {
            if (wild_match(pattern, e->text, 0, 1) && ++count == wanted) {
                found = entry_line(e);
                found_name = e->text;
            }
        }
    }
    std::string& out = *call.value;
    out.clear();
    if (wanted <= 0) {
        out = std::to_string(count);
    } else if (found) {
        std::string_view prop = ident_property(call);
        if (prop.empty()) {
            out = found_name;
        } else if (text_equal_nocase(prop, "value")) {
            std::size_t blank = found->text.find(' ');
            if (blank != std::string::npos)
                out = found->text.substr(blank + 1);
        } else if (text_equal_nocase(prop, "local")) {
            out = found_local ? "$true" : "$false";
        } else if (text_equal_nocase(prop, "secs")) {
            const StringNode* timed = found_local ? nullptr : var_timed_find(found_name);
            out = (timed && timed->number > 0) ? std::to_string(timed->number) : "0";
        }
    }
    if (out.size() > kLongText)
        out.resize(kLongText);
    return ident_finish(call);
}

// ---------------------------------------------------------------------------
// "%name" tokens.

namespace {

std::string_view command_word_of(const EvalToken* tok)
{
    std::string_view text = tok->text;
    std::size_t start = script_line_skip_prefix(text, nullptr, nullptr);
    if (start > text.size())
        start = text.size();
    return first_word(text.substr(start));
}

bool word_is(std::string_view word, std::string_view lower_word)
{
    return text_equal_nocase(word, lower_word);
}

bool is_switch(const EvalToken* tok)
{
    return tok && !tok->text.empty() && tok->text[0] == '-';
}

} // namespace

int var_keep_name(std::string_view command_word, int position, std::string_view token, int last)
{
    if (token == "%")
        return 1;
    if (word_is(command_word, "unset"))
        return 1;
    if (word_is(command_word, "sockread"))
        return last;
    if (word_is(command_word, "set") || word_is(command_word, "inc") || word_is(command_word, "dec"))
        return position == 1 ? 1 : 0;
    return 0;
}

int var_eval_token(EvalToken* command_word, EvalToken* token, int rewrite_off, std::string* out,
                   StringNode* locals, int evaluate_all)
{
    if (!token)
        return 0;
    if (token->text == "%")
        return 0;
    if (command_word && token != command_word) {
        std::string_view word = command_word_of(command_word);
        if (word_is(word, "unset")) {
            if (!evaluate_all)
                return 0;
        } else if (word_is(word, "sockread")) {
            if (!token->next)
                return 0;
        } else if (word_is(word, "set") || word_is(word, "inc") || word_is(word, "dec")) {
            EvalToken* name = command_word->next;
            if (is_switch(name))
                name = name->next;
            if (name == token)
                return 0;
        } else if (word.size() >= 5 && text_equal_nocase(word.substr(0, 5), "timer")) {
            EvalToken* before = token->prev;
            if (is_switch(before) && before != command_word)
                before = before->prev;
            if (before && before != token) {
                std::string_view b = command_word_of(before);
                if (word_is(b, "set") || word_is(b, "inc") || word_is(b, "dec"))
                    return 0;
                if (word_is(b, "unset") && !evaluate_all)
                    return 0;
                if (word_is(b, "sockread") && !token->next)
                    return 0;
            }
        }
    } else if (command_word && token == command_word && !rewrite_off && token->next &&
               token->next->text == "=") {
        EvalToken* eq = token->next;
        eq->text = token->text;
        eq->state = kTokFinal;
        eq->flags |= kTokKeepName | kTokBlankBefore;
        eq->flags &= ~static_cast<unsigned>(kTokEmpty);
        token->text = "set";
        token->state = kTokFinal;
        token->flags &= ~static_cast<unsigned>(kTokEmpty);
        return 2;
    }
    std::string value;
    var_find(token->text, &value, locals);
    if (out)
        *out = std::move(value);
    return 1;
}

// ---------------------------------------------------------------------------
// The file on disk.

VarFile* var_file_new(const std::string& path)
{
    free_file();
    var_file = new VarFile;
    std::string p = path;
    file_fix_slashes(p);
    if (p.size() > kMediumText)
        p.resize(kMediumText);
    var_file->path = std::move(p);
    return var_file;
}

VarFile* var_file_load(const std::string& path)
{
    std::string p = path;
    file_fix_slashes(p);
    if (!p.empty())
        file_abs_settings_dir(p);
    VarFile* file = var_file_new(p);
    StringNode* lines = file->path.empty()
                            ? nullptr
                            : ini_load_list_file(file->path, "[variables]", 0, 0);
    for (StringNode* line = lines; line; line = line->next) {
        std::size_t start = line->text.find_first_not_of(' ');
        if (start == std::string::npos)
            line->text.clear();
        else if (start > 0)
            line->text.erase(0, start);
    }
    file->lines = lines;
    file->file_time = file_mtime(file->path);
    var_file_scan(file);
    var_index_rebuild();
    return file;
}

int var_file_save(const std::string* new_path)
{
    if (!var_file)
        return 0;
    if (new_path) {
        std::string p = *new_path;
        file_fix_slashes(p);
        file_abs_settings_dir(p);
        if (p.size() > kMediumText)
            return 0;
        var_file->path = std::move(p);
    }
    std::string full;
    if (var_file->path.empty() || !file_resolve_file_path(var_file->path, full))
        return 0;
    if (!ini_save_list_file(full, "[variables]", var_file->lines))
        return 0;
    var_file->modified = 0;
    var_file->reload = 0;
    var_file->file_time = file_mtime(full);
    return 1;
}

void var_store_free()
{
    free_file();
    strlist_free(&var_timed);
    timed_by_name.clear();
}

int var_store_exit()
{
    var_tick(1);
    if (!var_file || !var_file->modified)
        return 1;
    return var_file_save(nullptr);
}

void variables_install()
{
    ident_register_family("id_var", id_var);
    if (!var_file)
        var_file_new("vars.ini");
}
