// $hget, $hfind, $hmatch and $hregex.
#include <cstdlib>
#include <string>

#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "identifiers/store_identifiers.h"
#include "script/exec/script_text.h"
#include "script/stores/binary_vars.h"
#include "script/stores/hash_tables.h"
#include "script/stores/regex.h"

namespace {

constexpr int kInvalid = 6;
constexpr int kMemory = 8;

// The table of the first argument: a name, or a position when it is an
// integer. *count is set when the position asks for the number of tables.
ScriptHashTable* table_of(const std::string& arg, bool* count)
{
    *count = false;
    if (arg_is_integer(arg)) {
        const long long n = std::strtoll(arg.c_str(), nullptr, 10);
        if (n <= 0) {
            *count = true;
            return nullptr;
        }
        return htable_at(n);
    }
    return htable_find(arg);
}

// Copies the whole value into the binary variable; the byte count or -1.
long long copy_into(IdentCall& call, const HashValue& v, const std::string& name)
{
    BinaryVariable* b = bvar_create(name, v.bytes.size(), call.args ? call.args->scope : 0);
    if (!b)
        return -1;
    b->bytes = v.binary ? v.bytes : htable_value_text(v);
    return static_cast<long long>(b->bytes.size());
}

}  // namespace

// $hget(table [, item|N [, &name]]) with .size .item .data .unset
int id_hget(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    const int argc = ident_arg_count(call);
    if (argc < 1 || argc > 3)
        return ident_error(call.token, call.work, kInvalid);
    std::string& out = *call.value;
    out.clear();
    const std::string prop = text_lower_copy(ident_property(call));
    bool count = false;
    ScriptHashTable* t = table_of(ident_arg(call, 0), &count);
    if (count) {
        out = std::to_string(htable_count());
        return ident_finish(call);
    }
    if (argc == 1) {
        if (prop == "size")
            out = t ? std::to_string(t->size) : "0";
        else if (prop.empty() && t)
            out = t->name;
        return ident_finish(call);
    }
    if (!t)
        return ident_finish(call);
    const std::string& item = ident_arg(call, 1);
    const bool binary_target = argc == 3;
    if (binary_target && !bvar_name_valid(ident_arg(call, 2)))
        return ident_error(call.token, call.work, kInvalid);
    if (prop == "item" || prop == "data") {
        const long long n = arg_is_integer(item) ? std::strtoll(item.c_str(), nullptr, 10) : 0;
        if (n <= 0 || !arg_is_integer(item)) {
            out = std::to_string(t->items);
            return ident_finish(call);
        }
        HashNode* node = htable_node_at(t, n);
        if (!node)
            return ident_finish(call);
        if (prop == "item") {
            out = node->key;
        } else {
            const HashValue& v = *static_cast<HashValue*>(node->value);
            if (binary_target) {
                const long long got = copy_into(call, v, ident_arg(call, 2));
                if (got < 0)
                    return ident_error(call.token, call.work, kMemory);
                out = std::to_string(got);
            } else {
                out = htable_value_text(v);
            }
        }
        return ident_finish(call);
    }
    if (prop == "unset") {
        out = std::to_string(htable_unset_counter(t, item));
        return ident_finish(call);
    }
    if (!prop.empty())
        return ident_finish(call);
    const HashValue* v = htable_get(t, item);
    if (binary_target) {
        if (!v) {
            out.assign(1, '0');
            return ident_finish(call);
        }
        const long long got = copy_into(call, *v, ident_arg(call, 2));
        if (got < 0)
            return ident_error(call.token, call.work, kMemory);
        out = std::to_string(got);
        return ident_finish(call);
    }
    if (v)
        out = htable_value_text(*v);
    return ident_finish(call);
}

// $hfind, $hmatch and $hregex (table, text [, N [, T]]) with .data
int id_hfind(IdentCall& call)
{
    int r = ident_args_step(call, kIdentAnyArgs);
    if (r >= 0)
        return r;
    const int argc = ident_arg_count(call);
    if (argc < 2 || argc > 4)
        return ident_error(call.token, call.work, kInvalid);
    std::string& out = *call.value;
    out.clear();
    bool count_tables = false;
    ScriptHashTable* t = table_of(ident_arg(call, 0), &count_tables);
    if (count_tables) {
        out = std::to_string(htable_count());
        return ident_finish(call);
    }
    if (!t)
        return ident_finish(call);
    const std::string& text = ident_arg(call, 1);
    long long n = argc >= 3 && !ident_arg(call, 2).empty() ? std::strtoll(ident_arg(call, 2).c_str(), nullptr, 10) : 1;
    int kind = 0;   // 0 exact, 1 wildcard, 2 regular expression
    if (call.name.rfind("hmatch", 0) == 0)
        kind = 1;
    else if (call.name.rfind("hregex", 0) == 0)
        kind = 2;
    int type = 0;
    if (argc == 4) {
        const std::string& ts = ident_arg(call, 3);
        type = static_cast<int>(std::strtol(ts.c_str(), nullptr, 10));
        if (type < 0 || type > 8)
            type = 0;
        for (char c : ts) {
            if (c == 'w') type += 1;
            else if (c == 'W') type += 2;
            else if (c == 'r') type += 4;
            else if (c == 'R') type += 8;
        }
    }
    if (kind == 0) {
        if (type >= 1 && type <= 3) {
            kind = 1;
        } else if (type == 4 || type == 8) {
            kind = 2;
            type = type == 4 ? 1 : 2;
        } else {
            type = 0;
        }
    }
    const bool by_data = text_equal_nocase(ident_property(call), "data");
    long long matches = 0;
    std::string found;
    const long long total = static_cast<long long>(t->items);
    for (long long k = 1; k <= total; ++k) {
        HashNode* node = htable_node_at(t, k);
        if (!node)
            break;
        const std::string subject = by_data ? htable_value_text(*static_cast<HashValue*>(node->value)) : node->key;
        bool hit = false;
        if (kind == 0) {
            hit = text_equal_nocase(text, subject);
        } else if (kind == 1) {
            switch (type) {
            case 0: hit = wild_match(text, subject, 0, 1) || wild_match(subject, text, 0, 1); break;
            case 1: hit = wild_match(text, subject, 0, 1); break;
            case 2: hit = wild_match(subject, text, 0, 1); break;
            case 3: hit = wild_match_masks(text, subject, 0); break;
            default: break;
            }
        } else {
            if (type == 0 || type == 1)
                hit = regex_match_text(subject, text) > 0;
            else if (type == 2)
                hit = regex_match_text(text, subject) > 0;
        }
        if (!hit)
            continue;
        ++matches;
        if (n >= 1 && matches == n) {
            found = node->key;
            break;
        }
    }
    out = n >= 1 ? found : std::to_string(matches);
    return ident_finish(call);
}
