#include "script/eval/identifier_table.h"

#include "script/eval/identifier_values.h"


#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "script/eval/evaluate.h"
#include "script/exec/script_errors.h"

namespace {



IdentEntry ident_entries[] = {
#include "script/eval/identifier_table.inc"
};
constexpr int kEntryCount = static_cast<int>(sizeof ident_entries / sizeof ident_entries[0]);

HashTable name_table;     // whole names and "name(" forms
std::vector<IdentEntry*> prefix_entries;
bool table_ready = false;

void ensure_table()
{
    if (table_ready)
        return;
    table_ready = true;
    hash_init(&name_table, 1021);
    for (IdentEntry& e : ident_entries) {
        if (e.flags & kIdentPrefix) {
            prefix_entries.push_back(&e);
            // A prefix name also matches itself whole.
        }
        if (!hash_find(e.name, nullptr, &name_table))
            hash_set(e.name, &e, 0, &name_table);
    }
}

// Extra names registered by families that the vocabulary does not list.
std::vector<IdentEntry*> extra_entries;

} // namespace

const IdentEntry* ident_lookup(std::string_view name)
{
    ensure_table();
    if (name.empty())
        return nullptr;
    std::size_t paren = name.find('(');
    if (paren != std::string_view::npos) {
        auto* e = static_cast<IdentEntry*>(hash_find(name.substr(0, paren + 1), nullptr, &name_table));
        if (e)
            return e;
    } else {
        auto* e = static_cast<IdentEntry*>(hash_find(name, nullptr, &name_table));
        if (e && !(e->name[0] && std::string_view(e->name).back() == '('))
            return e;
    }
    for (IdentEntry* e : prefix_entries)
        if (text_starts_with_nocase(name, e->name))
            return e;
    return nullptr;
}

int ident_table_size()
{
    return kEntryCount;
}

const IdentEntry* ident_table_entry(int index)
{
    ensure_table();
    return index >= 0 && index < kEntryCount ? &ident_entries[index] : nullptr;
}

int ident_register(std::string_view name, IdentHandler handler, int variant, int flags)
{
    ensure_table();
    auto* e = static_cast<IdentEntry*>(hash_find(name, nullptr, &name_table));
    if (e) {
        e->handler = handler;
        e->variant = variant;
        return 1;
    }
    // A name the vocabulary does not hold.
    std::string* keep = new std::string(name);
    auto* ne = new IdentEntry{keep->c_str(), "", variant, flags, handler, 0, 0};
    extra_entries.push_back(ne);
    hash_set(*keep, ne, 0, &name_table);
    if (flags & kIdentPrefix)
        prefix_entries.push_back(ne);
    return 1;
}

int ident_call(const IdentEntry* entry, IdentHandler handler, IdentCall& call)
{
    if (entry && handler == entry->handler && entry->min_args > 0) {
        const int r = ident_args_range(call, entry->min_args, entry->max_args);
        if (r >= 0)
            return r;
    }
    return handler(call);
}

int ident_register_family(std::string_view family, IdentHandler handler)
{
    ensure_table();
    int count = 0;
    for (IdentEntry& e : ident_entries)
        if (family == e.family) {
            e.handler = handler;
            ++count;
        }
    return count;
}

// ---------------------------------------------------------------------------
// Arguments of identifier calls.

int ident_split_args(IdentCall& call, int expected)
{
    TokenList& list = *call.list;
    EvalToken* id = call.token;
    std::string& text = id->text;
    std::size_t paren = text.find('(');
    if (paren == std::string::npos)
        return ident_error(id, call.work, 0);
    // Join the text after "(" with the following tokens up to the balancing
    // ")". The buffers are kept between calls (nothing in here evaluates, so
    // no call can come in between).
    static std::string joined;
    static std::vector<std::string_view> args;
    static std::vector<std::size_t> commas;   // the commas outside inner parentheses
    joined.assign(text, paren + 1);
    commas.clear();
    int level = 1;
    std::size_t close = std::string::npos;
    EvalToken* last_used = id;
    auto scan = [&](std::size_t from) {
        const char* p = joined.data();
        for (std::size_t i = from; i < joined.size(); ++i) {
            const char c = p[i];
            if (c > ',' || (c != '(' && c != ')' && c != ','))
                continue;
            if (c == '(') {
                ++level;
            } else if (c == ')') {
                if (--level == 0) {
                    close = i;
                    return;
                }
            } else if (level == 1) {
                commas.push_back(i);
            }
        }
    };
    scan(0);
    while (close == std::string::npos) {
        EvalToken* n = last_used->next;
        if (!n)
            return ident_error(id, call.work, 0);
        std::size_t from = joined.size() + 1;
        joined.push_back(' ');
        joined += n->text;
        last_used = n;
        if (joined.size() > kLongText + 2)
            return ident_error(id, call.work, 3);
        scan(from);
    }
    const std::string_view after = std::string_view(joined).substr(close + 1);
    const std::string_view inner = std::string_view(joined).substr(0, close);
    if (inner.size() > kLongText)
        return ident_error(id, call.work, 3);
    // The arguments between the top-level commas, trimmed of blanks.
    args.clear();
    {
        std::size_t start = 0;
        for (std::size_t k = 0; k <= commas.size(); ++k) {
            const std::size_t end = k < commas.size() ? commas[k] : inner.size();
            std::size_t a = start, b = end;
            while (a < b && inner[a] == ' ')
                ++a;
            while (b > a && inner[b - 1] == ' ')
                --b;
            args.push_back(inner.substr(a, b - a));
            start = end + 1;
        }
    }
    int count = static_cast<int>(args.size());
    if (expected != kIdentAnyArgs) {
        if (count < expected)
            return ident_error(id, call.work, 4);
        if (count > expected)
            return ident_error(id, call.work, 5);
    }
    // Remove the consumed tokens.
    while (id->next && last_used != id) {
        EvalToken* n = id->next;
        bool done = (n == last_used);
        toklist_remove(list, n);
        if (done)
            break;
    }
    // The token keeps its name: "name(", or "name()" and the property.
    if (!after.empty() && after[0] == '.') {
        text.resize(paren);
        text += "()";
        text += after;
        id->flags |= kTokProperty;
    } else {
        text.resize(paren + 1);
        id->flags &= ~kTokProperty;
    }
    EvalToken* pos = id;
    for (int k = 0; k < count; ++k) {
        EvalToken* t = toklist_new_token(list, args[static_cast<std::size_t>(k)]);
        if (k == count - 1)
            t->flags |= kTokLastArg;
        toklist_insert_after(list, pos, t);
        pos = t;
    }
    id->argc = count;
    if (joined.capacity() > 2 * kLongText)
        std::string().swap(joined);
    return 1;
}

int ident_args_ready(const EvalToken* token)
{
    const EvalToken* t = token->next;
    for (int k = 0; k < token->argc; ++k) {
        if (!t)
            return 2;
        if (t->state != kTokFinal)
            return 1;
        t = t->next;
    }
    return 0;
}

int ident_args_step(IdentCall& call, int expected)
{
    if (call.token->argc == 0)
        return ident_split_args(call, expected) ? 1 : 0;
    int r = ident_args_ready(call.token);
    if (r == 1)
        return 1;
    if (r == 2)
        return ident_error(call.token, call.work, 0);
    return -1;
}

int ident_args_range(IdentCall& call, int min, int max, bool as_set)
{
    const int expected = (min == max && !as_set) ? min : kIdentAnyArgs;
    if (call.token && call.token->argc == 0) {
        if (!ident_split_args(call, expected))
            return 0;
        if (expected == kIdentAnyArgs) {
            const int n = ident_arg_count(call);
            if (n < min || n > max)
                return ident_error(call.token, call.work, 6);
        }
        return 1;
    }
    return ident_args_step(call, expected);
}

int ident_arg_count(const IdentCall& call)
{
    return call.token ? call.token->argc : 0;
}

namespace {
const EvalToken* arg_token(const IdentCall& call, int i)
{
    if (!call.token || i < 0 || i >= call.token->argc)
        return nullptr;
    const EvalToken* t = call.token->next;
    for (int k = 0; k < i && t; ++k)
        t = t->next;
    return t;
}
const std::string empty_text;
} // namespace

const std::string& ident_arg(const IdentCall& call, int i)
{
    const EvalToken* t = arg_token(call, i);
    if (!t || (t->flags & kTokEmpty))
        return empty_text;
    return t->text;
}

std::string_view ident_property(const IdentCall& call)
{
    if (!call.token || !(call.token->flags & kTokProperty))
        return {};
    std::string_view t = call.token->text;
    std::size_t p = t.find("().");
    if (p == std::string_view::npos)
        return {};
    return t.substr(p + 3);
}

int ident_finish(IdentCall& call)
{
    EvalToken* id = call.token;
    for (int k = 0; k < id->argc && id->next; ++k)
        toklist_remove(*call.list, id->next);
    id->argc = 0;
    if (call.value && call.value->size() > kLongText)
        call.value->resize(kLongText);
    return 2;
}

// ---------------------------------------------------------------------------
// Handlers of the table itself.

int ident_result(IdentCall& call, std::string& value)
{
    *call.value = std::move(value);
    return ident_finish(call);
}

int ident_result(IdentCall& call, int code, std::string& value)
{
    if (code != 0)
        return ident_error(call.token, call.work, code);
    return ident_result(call, value);
}

const char* ident_truth(bool b)
{
    return b ? "$true" : "$false";
}

std::string_view ident_word(const IdentCall& call)
{
    std::string_view w = call.name;
    const std::size_t p = w.find('(');
    return p == std::string_view::npos ? w : w.substr(0, p);
}

int id_absent(IdentCall& call)
{
    if (call.token->text.find('(') != std::string::npos) {
        int r = ident_args_step(call, kIdentAnyArgs);
        if (r >= 0)
            return r;
        call.value->clear();
        return ident_finish(call);
    }
    call.value->clear();
    return 2;
}

int id_not_available(IdentCall& call)
{
    return script_error_not_available('$', call.name);
}
