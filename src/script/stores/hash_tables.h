// Script hash tables: named tables of items (names compared without case,
// values text or byte blocks), items that unset themselves or count on the
// one-second tick, and saving and loading in plain, ini and binary form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/hash_table.h"

struct CommandCall;

struct HashValue {
    std::string bytes;
    bool binary = false;
};

struct ScriptHashTable {
    std::string name;    // at most 256 characters
    int size = 100;      // as given to /hmake
    HashTable core;      // bucket count: the size made odd
    std::size_t items = 0;
};

// The table of that name (case ignored), or null.
ScriptHashTable* htable_find(std::string_view name);
// The N-th table in creation order (1-based), or null.
ScriptHashTable* htable_at(long long n);
std::size_t htable_count();
// Makes a table; null when the name exists.
ScriptHashTable* htable_make(std::string_view name, int size);
// Frees one table with its items and timers.
void htable_free(ScriptHashTable* table);
// Frees every table and empties the timer list (shutdown).
void htable_free_all();

// Sets an item; the timer entry of the item is removed.
void htable_set(ScriptHashTable* table, std::string_view item, std::string_view bytes, bool binary);
// The value of an item, or null.
const HashValue* htable_get(ScriptHashTable* table, std::string_view item);
// Deletes an item with its timer; 1 when it existed.
int htable_delete(ScriptHashTable* table, std::string_view item);
// The N-th node in walk order (1-based), or null.
HashNode* htable_node_at(ScriptHashTable* table, long long n);
// A value read as text: up to its first zero byte, at most 4,150 characters.
std::string htable_value_text(const HashValue& v);
// Every text written to or read from a file line: Ctrl-Z becomes a blank,
// trailing CR and LF go, other CR and LF become blanks.
void htable_strip_line(std::string& text);

// The counter of an item's timer of mode 0 or 3, else 0.
int htable_unset_counter(ScriptHashTable* table, std::string_view item);
// One second of every item timer.
void htable_tick();
// Number of running item timers.
std::size_t htable_timer_count();

int cmd_hmake(CommandCall& call);
int cmd_hadd(CommandCall& call);   // /hadd, /hinc, /hdec
int cmd_hdel(CommandCall& call);
int cmd_hfree(CommandCall& call);
int cmd_hsave(CommandCall& call);
int cmd_hload(CommandCall& call);

void hash_tables_register();
