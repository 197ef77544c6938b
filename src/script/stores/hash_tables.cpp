#include "script/stores/hash_tables.h"

#include <cstdlib>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/files.h"
#include "core/ini.h"
#include "core/numbered_texts.h"
#include "core/text_buffer.h"
#include "core/text_limits.h"
#include "core/wildcard.h"
#include "script/exec/script_text.h"
#include "script/exec/script_types.h"
#include "script/stores/binary_vars.h"
#include "script/stores/store_files.h"

namespace {

std::vector<std::unique_ptr<ScriptHashTable>> tables;
std::unordered_map<std::string, ScriptHashTable*> tables_by_name;

// An item timer: mode 0 unset at the end, 1 count up, 2 count down, 3 count
// the value down and unset at zero.
struct ItemTimer {
    std::string table;   // the table's stored name
    std::string item;
    long long counter = 0;
    int mode = 0;
};
std::list<ItemTimer> timers;
std::unordered_map<std::string, std::list<ItemTimer>::iterator> timer_index;

std::string timer_key(std::string_view table, std::string_view item)
{
    std::string key = text_lower_copy(table);
    key.push_back(' ');
    key += text_lower_copy(item);
    return key;
}

void timer_remove(std::string_view table, std::string_view item)
{
    if (timers.empty())
        return;
    auto it = timer_index.find(timer_key(table, item));
    if (it == timer_index.end())
        return;
    timers.erase(it->second);
    timer_index.erase(it);
}

void timer_add(std::string_view table, std::string_view item, long long counter, int mode)
{
    timer_remove(table, item);
    timers.push_back(ItemTimer{std::string(table), std::string(item), counter, mode});
    timer_index[timer_key(table, item)] = std::prev(timers.end());
}

bool has_timer(std::string_view table, std::string_view item)
{
    return !timers.empty() && timer_index.count(timer_key(table, item)) != 0;
}

std::string switches_of(const CommandCall& call)
{
    const std::string& t = call.arg(1);
    return !t.empty() && t[0] == '-' ? t : std::string();
}

bool has(const std::string& sw, char c) { return sw.find(c) != std::string::npos; }

std::string cut_name(std::string_view name) { return std::string(name.substr(0, kShortText)); }

int no_table(const std::string& word, const std::string& table)
{
    return script_error(nullptr, text_fill_id(2952, {word, table}), "", 6);
}

// The number after a switch letter ("u30" gives 30), 0 without one.
long long number_after(const std::string& sw, char letter)
{
    const std::size_t p = sw.find(letter);
    if (p == std::string::npos)
        return 0;
    return std::strtoll(sw.c_str() + p + 1, nullptr, 10);
}

bool show_echo(const CommandCall& call, const std::string& sw) { return call.show && has(sw, 's'); }

// Walks the table in item order.
template <typename F>
void walk(ScriptHashTable* t, F f)
{
    for (std::uint32_t b = 0; b < t->core.size; ++b)
        for (HashNode* n = t->core.buckets[b]; n;) {
            HashNode* next = n->next;
            if (!f(n))
                return;
            n = next;
        }
}

// Keeps the last position of a walk so that reading items 1, 2, 3, ... in
// turn does not start from the first bucket each time.
struct WalkCursor {
    ScriptHashTable* table = nullptr;
    long long n = 0;
    std::uint32_t bucket = 0;
    HashNode* node = nullptr;
    std::uint64_t generation = 0;
} cursor;
std::uint64_t generation = 1;

void changed() { ++generation; }

}  // namespace

ScriptHashTable* htable_find(std::string_view name)
{
    if (tables_by_name.empty())
        return nullptr;
    auto it = tables_by_name.find(text_lower_copy(name.substr(0, kShortText)));
    return it == tables_by_name.end() ? nullptr : it->second;
}

ScriptHashTable* htable_at(long long n)
{
    if (n < 1 || static_cast<std::size_t>(n) > tables.size())
        return nullptr;
    return tables[static_cast<std::size_t>(n - 1)].get();
}

std::size_t htable_count() { return tables.size(); }

ScriptHashTable* htable_make(std::string_view name, int size)
{
    const std::string stored = cut_name(name);
    if (htable_find(stored))
        return nullptr;
    auto t = std::make_unique<ScriptHashTable>();
    t->name = stored;
    t->size = size;
    hash_init(&t->core, static_cast<std::uint32_t>(size));
    ScriptHashTable* raw = t.get();
    tables.push_back(std::move(t));
    tables_by_name[text_lower_copy(stored)] = raw;
    changed();
    return raw;
}

void htable_free(ScriptHashTable* table)
{
    if (!table)
        return;
    for (auto it = timers.begin(); it != timers.end();) {
        if (text_equal_nocase(it->table, table->name)) {
            timer_index.erase(timer_key(it->table, it->item));
            it = timers.erase(it);
        } else {
            ++it;
        }
    }
    walk(table, [](HashNode* n) {
        delete static_cast<HashValue*>(n->value);
        n->value = nullptr;
        return true;
    });
    hash_clear(&table->core, 1);
    tables_by_name.erase(text_lower_copy(table->name));
    for (auto it = tables.begin(); it != tables.end(); ++it)
        if (it->get() == table) {
            tables.erase(it);
            break;
        }
    changed();
}

void htable_free_all()
{
    while (!tables.empty())
        htable_free(tables.back().get());
    timers.clear();
    timer_index.clear();
}

void htable_set(ScriptHashTable* table, std::string_view item, std::string_view bytes, bool binary)
{
    HashNode* node = nullptr;
    hash_find(item, &node, &table->core);
    if (node) {
        auto* v = static_cast<HashValue*>(node->value);
        v->bytes.assign(bytes);
        v->binary = binary;
        node->number = binary ? static_cast<std::int32_t>(std::min<std::size_t>(bytes.size(), INT32_MAX)) : -1;
    } else {
        auto* v = new HashValue{std::string(bytes), binary};
        if (!hash_set(item, v, binary ? static_cast<std::int32_t>(bytes.size()) : -1, &table->core)) {
            delete v;
            return;
        }
        ++table->items;
        changed();
    }
    timer_remove(table->name, item);
}

const HashValue* htable_get(ScriptHashTable* table, std::string_view item)
{
    return static_cast<const HashValue*>(hash_find(item, nullptr, &table->core));
}

int htable_delete(ScriptHashTable* table, std::string_view item)
{
    timer_remove(table->name, item);
    auto* v = static_cast<HashValue*>(hash_delete(item, &table->core));
    if (!v)
        return 0;
    delete v;
    --table->items;
    changed();
    return 1;
}

HashNode* htable_node_at(ScriptHashTable* table, long long n)
{
    if (n < 1 || static_cast<std::size_t>(n) > table->items)
        return nullptr;
    std::uint32_t b = 0;
    HashNode* node = nullptr;
    long long at = 0;
    if (cursor.table == table && cursor.generation == generation && cursor.n >= 1 && cursor.n <= n) {
        b = cursor.bucket;
        node = cursor.node;
        at = cursor.n;
    } else {
        for (; b < table->core.size && !table->core.buckets[b]; ++b) {
        }
        if (b >= table->core.size)
            return nullptr;
        node = table->core.buckets[b];
        at = 1;
    }
    while (at < n && node) {
        node = node->next;
        while (!node && ++b < table->core.size)
            node = table->core.buckets[b];
        ++at;
    }
    if (!node)
        return nullptr;
    cursor = WalkCursor{table, n, b, node, generation};
    return node;
}

std::string htable_value_text(const HashValue& v)
{
    std::string_view s(v.bytes);
    s = s.substr(0, kLongText);
    const std::size_t zero = s.find('\0');
    if (zero != std::string_view::npos)
        s = s.substr(0, zero);
    return std::string(s);
}

void htable_strip_line(std::string& text)
{
    for (char& c : text)
        if (c == 26)
            c = ' ';
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
}

int htable_unset_counter(ScriptHashTable* table, std::string_view item)
{
    if (timers.empty())
        return 0;
    auto it = timer_index.find(timer_key(table->name, item));
    if (it == timer_index.end())
        return 0;
    const ItemTimer& t = *it->second;
    return t.mode == 0 || t.mode == 3 ? static_cast<int>(t.counter) : 0;
}

std::size_t htable_timer_count() { return timers.size(); }

void htable_tick()
{
    for (auto it = timers.begin(); it != timers.end();) {
        ItemTimer& t = *it;
        ScriptHashTable* table = htable_find(t.table);
        bool drop = false;
        if (!table) {
            drop = true;
        } else if (t.mode == 1 || t.mode == 2) {
            t.counter += t.mode == 1 ? 1 : -1;
            const std::string value = std::to_string(t.counter);
            HashNode* node = nullptr;
            hash_find(t.item, &node, &table->core);
            if (node) {
                auto* v = static_cast<HashValue*>(node->value);
                v->bytes = value;
                v->binary = false;
                node->number = -1;
            } else {
                auto* v = new HashValue{value, false};
                if (hash_set(t.item, v, -1, &table->core)) {
                    ++table->items;
                    changed();
                } else {
                    delete v;
                    drop = true;
                }
            }
        } else {
            if (t.counter > 0)
                --t.counter;
            if (t.counter <= 0) {
                auto* v = static_cast<HashValue*>(hash_delete(t.item, &table->core));
                if (v) {
                    delete v;
                    --table->items;
                    changed();
                }
                drop = true;
            } else if (t.mode == 3) {
                if (const HashValue* v = htable_get(table, t.item)) {
                    auto* w = const_cast<HashValue*>(v);
                    w->bytes = std::to_string(t.counter);
                    w->binary = false;
                }
            }
        }
        if (drop) {
            timer_index.erase(timer_key(t.table, t.item));
            it = timers.erase(it);
        } else {
            ++it;
        }
    }
}

// /hmake [-s] table [size]
int cmd_hmake(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    std::string name = cut_name(call.arg(i));
    if (name.empty())
        return script_error(nullptr, word, "", 0);
    int size = 100;
    if (!call.arg(i + 1).empty()) {
        const long long n = std::strtoll(call.arg(i + 1).c_str(), nullptr, 10);
        if (n < 1 || n > 10000)
            return script_error(nullptr, word, "", 3);
        size = static_cast<int>(n);
    }
    if (htable_find(name))
        return script_error(nullptr, text_fill_id(2951, {word, name}), "", 6);
    if (!htable_make(name, size))
        return script_error(nullptr, word, "", 2);
    if (show_echo(call, sw))
        store_echo(call.window, text_fill_id(2953, {name, std::to_string(size)}));
    return kScriptDone;
}

// /hadd, /hinc and /hdec [-smbcuNz] table item [data]
int cmd_hadd(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    const std::string table_name = cut_name(call.arg(i));
    const std::string& item = call.arg(i + 1);
    if (table_name.empty() || item.empty())
        return script_error(nullptr, word, "", 0);
    ScriptHashTable* t = htable_find(table_name);
    if (!t && has(sw, 'm')) {
        t = htable_make(table_name, 100);
        if (t && show_echo(call, sw))
            store_echo(call.window, text_fill_id(2953, {t->name, "100"}));
    }
    if (!t)
        return no_table(word, table_name);
    const bool inc = word == "hinc", dec = word == "hdec";
    std::string data;
    bool binary = false;
    if (has(sw, 'b')) {
        const std::string& vname = call.arg(i + 2);
        if (vname.empty())
            return script_error(nullptr, word, "", 0);
        BinaryVariable* v = bvar_find(vname);
        if (!v)
            return script_error(nullptr, word, "", 3);
        if (has(sw, 'c') && !inc && !dec) {
            HashValue tmp{v->bytes, true};
            data = htable_value_text(tmp);
        } else {
            data = v->bytes;
            binary = true;
        }
    } else {
        arg_join_from(i + 2, data, call.tokens);
    }
    if (inc || dec) {
        // A binary amount does not count: it is read up to its first zero byte.
        std::string amount_text = binary ? htable_value_text(HashValue{data, true}) : data;
        if (amount_text.empty())
            amount_text = "1";
        const HashValue* old = htable_get(t, item);
        const double before = old ? std::strtod(htable_value_text(*old).c_str(), nullptr) : 0.0;
        const double amount = std::strtod(amount_text.c_str(), nullptr);
        std::string out;
        if (num_format_f6(inc ? before + amount : before - amount, out) < 0)
            out.clear();
        else
            num_trim_zeros(out);
        data = out;
        binary = false;
    }
    htable_set(t, item, data, binary);
    long long counter = 0;
    int mode = -1;
    if (has(sw, 'z')) {
        mode = 3;
        counter = std::strtoll(data.c_str(), nullptr, 10);
    } else if ((inc || dec) && has(sw, 'c')) {
        mode = inc ? 1 : 2;
        counter = std::strtoll(data.c_str(), nullptr, 10);
    } else if (has(sw, 'u')) {
        mode = 0;
        counter = number_after(sw, 'u');
    }
    if (mode >= 0 && (counter > 0 || mode == 1 || mode == 2))
        timer_add(t->name, item, counter, mode);
    if (show_echo(call, sw))
        store_echo(call.window, text_fill_id(inc ? 2963 : dec ? 2964 : 2956, {item, t->name}));
    return kScriptDone;
}

// /hdel [-sw] table item
int cmd_hdel(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    const std::string table_name = cut_name(call.arg(i));
    const std::string& item = call.arg(i + 1);
    if (table_name.empty() || item.empty())
        return script_error(nullptr, word, "", 0);
    ScriptHashTable* t = htable_find(table_name);
    if (!t)
        return no_table(word, table_name);
    if (has(sw, 'w')) {
        std::vector<std::string> doomed;
        walk(t, [&](HashNode* n) {
            if (wild_match(item, n->key, 0, 1))
                doomed.push_back(n->key);
            return true;
        });
        for (const std::string& k : doomed)
            htable_delete(t, k);
        if (show_echo(call, sw))
            store_echo(call.window, text_fill_id(2958, {std::to_string(doomed.size()), item, t->name}));
        return kScriptDone;
    }
    if (htable_delete(t, item) && show_echo(call, sw))
        store_echo(call.window, text_fill_id(2957, {item, t->name}));
    return kScriptDone;
}

// /hfree [-sw] table
int cmd_hfree(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    const std::string table_name = cut_name(call.arg(i));
    if (table_name.empty())
        return script_error(nullptr, word, "", 0);
    if (has(sw, 'w')) {
        std::vector<ScriptHashTable*> doomed;
        for (auto& t : tables)
            if (wild_match(table_name, t->name, 0, 1))
                doomed.push_back(t.get());
        for (ScriptHashTable* t : doomed)
            htable_free(t);
        if (show_echo(call, sw))
            store_echo(call.window, text_fill_id(2955, {std::to_string(doomed.size()), table_name}));
        return kScriptDone;
    }
    ScriptHashTable* t = htable_find(table_name);
    if (!t)
        return no_table(word, table_name);
    const std::string name = t->name;
    const int size = t->size;
    htable_free(t);
    if (show_echo(call, sw))
        store_echo(call.window, text_fill_id(2954, {name, std::to_string(size)}));
    return kScriptDone;
}

namespace {

void put16(std::string& out, std::size_t n)
{
    out.push_back(static_cast<char>(n & 0xff));
    out.push_back(static_cast<char>((n >> 8) & 0xff));
}

}  // namespace

// /hsave [-sbniaou] table file [section]
int cmd_hsave(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    const std::string table_name = cut_name(call.arg(i));
    if (table_name.empty() || call.arg(i + 1).empty())
        return script_error(nullptr, word, "", 0);
    ScriptHashTable* t = htable_find(table_name);
    if (!t)
        return no_table(word, table_name);
    std::string path;
    std::size_t last = i + 1;
    if (store_file_arg(call.tokens, i + 1, path, &last) <= 0)
        return script_error(nullptr, word, "", 3);
    const bool with_timers = has(sw, 'u');
    const bool no_names = has(sw, 'n');
    if (has(sw, 'i')) {
        std::string section = call.arg(last + 1);
        if (section.empty())
            section = "hashtable";
        // The section is written whole in one rewrite of the file.
        std::vector<std::pair<std::string, std::string>> keys;
        keys.reserve(t->items);
        long long k = 0;
        walk(t, [&](HashNode* n) {
            if (!with_timers && has_timer(t->name, n->key))
                return true;
            std::string key = no_names ? "n" + std::to_string(k++) : n->key;
            htable_strip_line(key);
            std::string value = htable_value_text(*static_cast<HashValue*>(n->value));
            htable_strip_line(value);
            keys.emplace_back(std::move(key), std::move(value));
            return true;
        });
        ini_write_section(section.c_str(), keys, path);
        if (show_echo(call, sw))
            store_echo(call.window, text_fill_id(2960, {t->name, store_shown_path(path)}));
        return kScriptDone;
    }
    if (file_is_device(path))
        return script_error(nullptr, word, path, 4);
    // The whole file is made beside the old one and renamed over it, so a
    // failed save leaves the old file whole.
    std::string out;
    if (has(sw, 'a')) {
        const int r = file_read_all(path, out, static_cast<std::size_t>(-1));
        if (r < 0)
            return script_error(nullptr, word, path, 4);
    }
    const bool binary = has(sw, 'b');
    bool failed = false;
    walk(t, [&](HashNode* n) {
        if (!with_timers && has_timer(t->name, n->key))
            return true;
        const HashValue& v = *static_cast<HashValue*>(n->value);
        if (binary) {
            if (!no_names) {
                if (n->key.size() > 0xffff) {
                    failed = true;
                    return false;
                }
                put16(out, n->key.size());
                out += n->key;
            }
            if (v.bytes.size() > 0xffff) {
                failed = true;
                return false;
            }
            const std::string bytes = v.binary ? v.bytes : htable_value_text(v);
            put16(out, bytes.size());
            out += bytes;
        } else {
            if (!no_names) {
                std::string key = n->key;
                htable_strip_line(key);
                out += key;
                out.push_back('\n');
            }
            std::string value = htable_value_text(v);
            htable_strip_line(value);
            out += value;
            out.push_back('\n');
        }
        return true;
    });
    if (failed || !file_safe_save(path, out, 0))
        return script_error(nullptr, text_fill_id(2962, {word, t->name, store_shown_path(path)}), "", 6);
    if (show_echo(call, sw))
        store_echo(call.window, text_fill_id(2960, {t->name, store_shown_path(path)}));
    return kScriptDone;
}

// /hload [-sbni] table file [section]
int cmd_hload(CommandCall& call)
{
    const std::string& word = call.tokens[0];
    const std::string sw = switches_of(call);
    const std::size_t i = sw.empty() ? 1 : 2;
    const std::string table_name = cut_name(call.arg(i));
    if (table_name.empty() || call.arg(i + 1).empty())
        return script_error(nullptr, word, "", 0);
    ScriptHashTable* t = htable_find(table_name);
    if (!t)
        return no_table(word, table_name);
    std::string path;
    std::size_t last = i + 1;
    if (store_file_arg(call.tokens, i + 1, path, &last) <= 0)
        return script_error(nullptr, word, "", 3);
    const bool no_names = has(sw, 'n');
    long long number = 0;
    auto store = [&](std::string name, std::string_view bytes, bool binary) {
        if (no_names)
            name = std::to_string(++number);
        if (name.empty())
            return;
        htable_set(t, name, bytes, binary);
    };
    if (has(sw, 'i')) {
        std::string section = call.arg(last + 1);
        if (section.empty())
            section = "hashtable";
        std::string keys;
        ini_read(section.c_str(), nullptr, "", keys, 32778, path);
        std::size_t p = 0;
        while (p < keys.size()) {
            const std::size_t z = keys.find('\0', p);
            const std::string key = keys.substr(p, (z == std::string::npos ? keys.size() : z) - p);
            p = z == std::string::npos ? keys.size() : z + 1;
            if (key.empty())
                continue;
            std::string value;
            ini_read(section.c_str(), key.c_str(), "", value, kLongTextSize, path);
            store(key.substr(0, kMediumText), value, false);
        }
        if (show_echo(call, sw))
            store_echo(call.window, text_fill_id(2959, {t->name, store_shown_path(path)}));
        return kScriptDone;
    }
    std::string data;
    if (file_is_device(path) || file_read_all(path, data, static_cast<std::size_t>(-1)) <= 0)
        return script_error(nullptr, word, path, 4);
    if (has(sw, 'b')) {
        std::size_t p = 0;
        auto get16 = [&](std::size_t& n) {
            if (p + 2 > data.size())
                return false;
            n = static_cast<unsigned char>(data[p]) | (static_cast<unsigned char>(data[p + 1]) << 8);
            p += 2;
            return true;
        };
        while (p < data.size()) {
            std::string name;
            std::size_t n = 0;
            if (!no_names) {
                if (!get16(n))
                    break;
                if (n > kLongText)
                    return script_error(nullptr, text_fill_id(2961, {word, t->name, store_shown_path(path)}), "", 6);
                if (p + n > data.size())
                    break;
                name.assign(data, p, n);
                p += n;
            }
            if (!get16(n) || p + n > data.size())
                break;
            const std::string_view bytes(data.data() + p, n);
            p += n;
            // A value keeps its bytes: only a short one without zero bytes
            // comes back as text.
            const bool binary = n > kLongText || bytes.find('\0') != std::string_view::npos;
            store(name, bytes, binary);
        }
    } else {
        std::size_t p = 0;
        std::string name, value;
        while (true) {
            if (!no_names) {
                if (!store_next_line(data, p, name, kLongText - 1))
                    break;
                htable_strip_line(name);
            }
            if (!store_next_line(data, p, value, kLongTextSize - 1))
                break;
            htable_strip_line(value);
            store(name, value, false);
        }
    }
    if (show_echo(call, sw))
        store_echo(call.window, text_fill_id(2959, {t->name, store_shown_path(path)}));
    return kScriptDone;
}

void hash_tables_register()
{
    script_register_command_family("cmd_hmake", cmd_hmake);
    script_register_command_family("cmd_hadd", cmd_hadd);
    script_register_command_family("cmd_hdel", cmd_hdel);
    script_register_command_family("cmd_hfree", cmd_hfree);
    script_register_command_family("cmd_hsave", cmd_hsave);
    script_register_command_family("cmd_hload", cmd_hload);
}
