#include "core/hash_table.h"

#include <new>
#include <random>
#include <unordered_set>

#include "core/text_buffer.h"
#include "core/text_limits.h"

namespace {

inline unsigned char lower_byte(unsigned char c)
{
    return static_cast<unsigned char>(text_lower_char(static_cast<char>(c)));
}

// A key is taken by at most its first kLongText characters.
inline std::string_view usable_key(std::string_view key)
{
    return key.size() > kLongText ? key.substr(0, kLongText) : key;
}

inline std::uint16_t first_lowered(std::string_view key)
{
    return key.empty() ? 0 : lower_byte(static_cast<unsigned char>(key[0]));
}

// Seeded once per process so that no fixed set of keys can pile up in one
// slot of the index.
std::uint64_t index_seed()
{
    static const std::uint64_t seed = []() -> std::uint64_t {
        try {
            std::random_device device;
            return (static_cast<std::uint64_t>(device()) << 32) ^ device();
        } catch (...) {
            // No entropy source: the address of a local still varies per run.
            int local = 0;
            return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&local));
        }
    }();
    return seed;
}

struct NocaseKeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const
    {
        std::uint64_t h = 0xcbf29ce484222325ull ^ index_seed();
        for (char ch : key) {
            h ^= lower_byte(static_cast<unsigned char>(ch));
            h *= 0x100000001b3ull;
        }
        h ^= h >> 29;
        return static_cast<std::size_t>(h);
    }
    std::size_t operator()(const HashNode* node) const { return (*this)(std::string_view(node->key)); }
};

// The probe's lower-cased first character is compared before the whole key.
struct NocaseKeyEqual {
    using is_transparent = void;
    static bool same(std::string_view key, const HashNode* node)
    {
        return first_lowered(key) == node->first && text_equal_nocase(key, node->key);
    }
    bool operator()(const HashNode* a, const HashNode* b) const { return same(a->key, b); }
    bool operator()(std::string_view key, const HashNode* node) const { return same(key, node); }
    bool operator()(const HashNode* node, std::string_view key) const { return same(key, node); }
};

} // namespace

struct HashKeyIndex {
    std::unordered_set<HashNode*, NocaseKeyHash, NocaseKeyEqual> nodes;
};

namespace {

inline bool usable(const HashTable* table)
{
    return table != nullptr && table->size != 0 && table->buckets != nullptr && table->index != nullptr;
}

HashNode* find_node(std::string_view key, HashTable* table)
{
    const auto it = table->index->nodes.find(key);
    return it == table->index->nodes.end() ? nullptr : *it;
}

void unlink_node(HashNode* node, HashTable* table)
{
    if (node->prev != nullptr)
        node->prev->next = node->next;
    else
        table->buckets[hash_key(node->key) % table->size] = node->next;
    if (node->next != nullptr)
        node->next->prev = node->prev;
}

} // namespace

void hash_init(HashTable* table, std::uint32_t wanted)
{
    if (table == nullptr)
        return;
    if (table->buckets != nullptr || table->index != nullptr)
        hash_clear(table, 1);
    std::uint32_t count = wanted;
    if (count % 2 == 0)
        count += 1;
    table->buckets = new (std::nothrow) HashNode*[count]();
    table->index = new (std::nothrow) HashKeyIndex;
    if (table->buckets == nullptr || table->index == nullptr) {
        delete[] table->buckets;
        delete table->index;
        table->buckets = nullptr;
        table->index = nullptr;
        table->size = 0;
        return;
    }
    table->size = count;
}

std::uint32_t hash_key(std::string_view key)
{
    key = usable_key(key);
    std::uint32_t acc = 0;
    for (char ch : key)
        acc = (acc ^ lower_byte(static_cast<unsigned char>(ch))) << 1;
    return acc;
}

void* hash_set(std::string_view key, void* value, std::int32_t number, HashTable* table)
{
    if (!usable(table))
        return nullptr;
    key = usable_key(key);
    if (HashNode* node = find_node(key, table)) {
        void* previous = node->value;
        node->value = value;
        node->number = number;
        return previous;
    }
    HashNode* node = new (std::nothrow) HashNode;
    if (node == nullptr)
        return nullptr;
    try {
        node->key.assign(key);
        node->first = first_lowered(key);
        table->index->nodes.insert(node);
    } catch (const std::bad_alloc&) {
        delete node;
        return nullptr;
    }
    node->value = value;
    node->number = number;
    HashNode*& head = table->buckets[hash_key(key) % table->size];
    node->next = head;
    if (head != nullptr)
        head->prev = node;
    head = node;
    return value;
}

void* hash_find(std::string_view key, HashNode** node_out, HashTable* table)
{
    if (node_out != nullptr)
        *node_out = nullptr;
    if (!usable(table))
        return nullptr;
    HashNode* node = find_node(usable_key(key), table);
    if (node == nullptr)
        return nullptr;
    if (node_out != nullptr)
        *node_out = node;
    return node->value;
}

void* hash_delete(std::string_view key, HashTable* table)
{
    if (!usable(table))
        return nullptr;
    HashNode* node = find_node(usable_key(key), table);
    if (node == nullptr)
        return nullptr;
    table->index->nodes.erase(node);
    unlink_node(node, table);
    void* value = node->value;
    delete node;
    return value;
}

void hash_clear(HashTable* table, int release)
{
    if (table == nullptr)
        return;
    if (table->index != nullptr)
        table->index->nodes.clear();
    if (table->buckets != nullptr) {
        for (std::uint32_t i = 0; i < table->size; ++i) {
            HashNode* node = table->buckets[i];
            while (node != nullptr) {
                HashNode* next = node->next;
                delete node;
                node = next;
            }
            table->buckets[i] = nullptr;
        }
    }
    if (release) {
        delete[] table->buckets;
        delete table->index;
        table->buckets = nullptr;
        table->index = nullptr;
        table->size = 0;
    }
}

std::uint32_t hash_text_bits(std::string_view text, int bits)
{
    if (bits <= 0)
        return 0;
    if (bits > 32)
        bits = 32;
    std::uint32_t acc = 0;
    for (char ch : text)
        acc = (static_cast<unsigned char>(ch) + acc + (acc >> 24)) << 8;
    for (int i = 0; i < 32 - bits; ++i)
        acc = (acc >> 1) + (acc & 1u);
    return bits == 32 ? acc : (acc & ((1u << bits) - 1u));
}
