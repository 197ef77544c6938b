#include "script/exec/alias_lookup.h"

#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/string_list.h"
#include "core/text_buffer.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/alias_files.h"

namespace {

struct AliasEntry {
    std::string name;
    StringNode* lines = nullptr;   // definition line first
    ScriptFile* script = nullptr;
    int kind = kAliasFromAliasFile;
    long order = 0;
};

// Each hash value is a std::vector<AliasEntry*> of the definitions of one
// name (case ignored), in the order they were added.
HashTable alias_table;
bool table_ready = false;
long next_order = 0;

using EntryList = std::vector<AliasEntry*>;

void ensure_table()
{
    if (!table_ready) {
        hash_init(&alias_table, 1021);
        table_ready = true;
    }
}

// Skips "alias " and "-l " (setting *local) at the front of a definition.
std::size_t skip_alias_words(std::string_view t, int* local)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    if (text_starts_with_nocase(t.substr(i), "alias ")) {
        i += 6;
        while (i < t.size() && t[i] == ' ')
            ++i;
        if (text_starts_with_nocase(t.substr(i), "-l ")) {
            if (local)
                *local = 1;
            i += 3;
            while (i < t.size() && t[i] == ' ')
                ++i;
        }
    }
    return i;
}

void free_entry(AliasEntry* e)
{
    strlist_free(&e->lines);
    delete e;
}

} // namespace

std::string_view alias_body_text(const StringNode* definition)
{
    if (!definition)
        return {};
    std::string_view t = definition->text;
    std::size_t i = skip_alias_words(t, nullptr);
    std::size_t p = script_line_skip_prefix(t.substr(i), nullptr, nullptr);
    i += p;
    while (i < t.size() && t[i] != ' ')
        ++i;
    while (i < t.size() && t[i] == ' ')
        ++i;
    return t.substr(i);
}

StringNode* alias_body_lines(const StringNode* definition, StringNode& first)
{
    std::string_view body = alias_body_text(definition);
    if (body.empty())
        return nullptr;
    if (body[0] != '{') {
        first.text.assign(body.substr(0, kLongText));
        return &first;
    }
    std::string_view after = body.substr(1);
    while (!after.empty() && after[0] == ' ')
        after.remove_prefix(1);
    if (after.empty())
        return definition->next;
    first.text.assign(after.substr(0, kLongText));
    first.extra[kLineComment] = 0;
    first.next = definition->next;
    return &first;
}

StringNode* alias_find(std::string_view line, std::string* name_out, ScriptFile* script)
{
    // The aliases loaded from alias and script files come first; the
    // aliases added in memory (alias_add) answer when they hold none.
    if (StringNode* def = alias_store_find(line, name_out, script))
        return def;
    std::size_t p = script_line_skip_prefix(line, nullptr, nullptr);
    std::string_view rest = line.substr(p);
    std::size_t blank = rest.find(' ');
    std::string_view name = rest.substr(0, blank);
    if (name_out)
        name_out->assign(name);
    if (name.empty() || !table_ready)
        return nullptr;
    auto* list = static_cast<EntryList*>(hash_find(name, nullptr, &alias_table));
    if (!list)
        return nullptr;
    if (script) {
        for (AliasEntry* e : *list)
            if (e->script == script)
                return e->lines;
    }
    for (AliasEntry* e : *list)
        if (e->kind != kAliasLocal)
            return e->lines;
    return nullptr;
}

StringNode* alias_add(std::string_view definition, ScriptFile* script, int kind)
{
    ++alias_generation;
    ensure_table();
    // Cut into lines.
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= definition.size()) {
        std::size_t nl = definition.find('\n', start);
        std::string_view l = definition.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (!l.empty() && l.back() == '\r')
            l.remove_suffix(1);
        lines.push_back(l);
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    if (lines.empty())
        return nullptr;
    int local = 0;
    std::string_view first = lines[0];
    std::size_t i = skip_alias_words(first, &local);
    i += script_line_skip_prefix(first.substr(i), nullptr, nullptr);
    std::string_view rest = first.substr(i);
    std::size_t blank = rest.find(' ');
    std::string name(rest.substr(0, blank));
    if (name.empty())
        return nullptr;
    if (local)
        kind = kAliasLocal;

    StringNode* head = nullptr;
    for (std::string_view l : lines) {
        StringNode* h = strlist_append(head, l, 0);
        if (!h) {
            strlist_free(&head);
            return nullptr;
        }
        head = h;
    }
    script_line_comment_state(head);
    // Depths after each line, the definition's "{" counted from its body.
    int depth = 0;
    for (StringNode* n = head; n; n = n->next) {
        if (n->extra[kLineComment] == 0)
            depth = script_brace_depth(n == head ? alias_body_text(n) : std::string_view(n->text),
                                       depth, 0);
        n->extra[kLineDepth] = depth;
    }
    head->extra[kLineKind] = 1;
    head->extra[kLineScript] = reinterpret_cast<std::intptr_t>(script);

    auto* e = new AliasEntry;
    e->name = name;
    e->lines = head;
    e->script = script;
    e->kind = kind;
    e->order = next_order++;
    auto* list = static_cast<EntryList*>(hash_find(name, nullptr, &alias_table));
    if (!list) {
        list = new EntryList;
        hash_set(name, list, 0, &alias_table);
    }
    list->push_back(e);
    return head;
}

int alias_remove(std::string_view name, ScriptFile* script)
{
    ++alias_generation;
    if (!table_ready)
        return 0;
    auto* list = static_cast<EntryList*>(hash_find(name, nullptr, &alias_table));
    if (!list)
        return 0;
    int removed = 0;
    for (auto it = list->begin(); it != list->end();) {
        if (!script || (*it)->script == script) {
            free_entry(*it);
            it = list->erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    if (list->empty()) {
        hash_delete(name, &alias_table);
        delete list;
    }
    return removed;
}

void alias_clear_all()
{
    ++alias_generation;
    if (!table_ready)
        return;
    for (std::uint32_t b = 0; b < alias_table.size; ++b)
        for (HashNode* n = alias_table.buckets[b]; n; n = n->next) {
            auto* list = static_cast<EntryList*>(n->value);
            for (AliasEntry* e : *list)
                free_entry(e);
            delete list;
        }
    hash_clear(&alias_table, 0);
}
