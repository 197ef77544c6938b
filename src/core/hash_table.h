// Case-insensitive chained hash table from text keys to caller-owned values.
//
// The holder embeds a HashTable, chooses the bucket count and owns the values;
// the table owns only its nodes and the copies of the keys. Keys compare
// without regard to (ASCII) case; a key is at most 4150 characters and any
// longer text is taken by its first 4150 characters everywhere (hashing,
// comparing and storing), so a key always finds itself.
//
// Walks visit the buckets in ascending index and each chain from its head; a
// new key goes to the head of its bucket's chain and a replaced value keeps
// its node, so the order depends on the bucket count and the keys alone.
// Besides the chains the table keeps a key index of its own, so finding,
// setting and deleting stay constant-time however the keys fall into buckets
// (the bucket hash keeps only the last 31 characters of a key). Chains are
// read freely but changed only through these operations.
//
// The holder releases the table with hash_clear(table, 1).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct HashNode {
    std::string key;            // owned copy of the key as given (case kept)
    std::uint16_t first = 0;    // the key's first character, lower-cased
    void* value = nullptr;      // the caller's value (not owned)
    std::int32_t number = 0;    // a number stored beside the value
    HashNode* next = nullptr;   // next node of the same bucket
    HashNode* prev = nullptr;   // previous node of the same bucket; null at the head
};

struct HashKeyIndex; // the table's own key index

struct HashTable {
    std::uint32_t size = 0;         // number of buckets; always odd; 0 when unusable
    HashNode** buckets = nullptr;   // `size` chain heads
    HashKeyIndex* index = nullptr;  // every node by its key, case ignored
};

// Sets the bucket count (an even count is raised by one) and allocates empty
// buckets. A table that already had buckets is released first. When the
// allocation fails, size is 0 and the table holds nothing.
void hash_init(HashTable* table, std::uint32_t wanted);

// The hash value of a key (bucket = value % size); 0 for an empty key.
std::uint32_t hash_key(std::string_view key);

// Inserts the key or, when an equal key is present, replaces that node's value
// and number. Returns the previous value on a replace and the given value on an
// insert; null when the table is unusable or memory runs out.
void* hash_set(std::string_view key, void* value, std::int32_t number, HashTable* table);

// The value of the equal key, or null. When node_out is given it is set to
// null first and then to the node found.
void* hash_find(std::string_view key, HashNode** node_out, HashTable* table);

// Unlinks and frees the node of the equal key; returns its value, null when absent.
void* hash_delete(std::string_view key, HashTable* table);

// Deletes every node. With release non-zero the bucket array is freed too and
// size becomes 0; otherwise the table stays usable and empty. Values are not freed.
void hash_clear(HashTable* table, int release);

// Case-sensitive hash of a text into the given number of bits ($hash).
// A bit count of 0 or less gives 0; more than 32 counts as 32.
std::uint32_t hash_text_bits(std::string_view text, int bits);
