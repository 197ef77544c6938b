#include "core/hash_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <vector>
#include "support/cpu_time.h"

namespace {

class HashTableTest : public ::testing::Test {
protected:
    void TearDown() override { hash_clear(&table, 1); }

    // Walks every chain; checks that each node sits in the bucket of its key
    // and carries its lower-cased first character. Returns the node count.
    std::size_t walk_and_check()
    {
        std::size_t count = 0;
        for (std::uint32_t b = 0; b < table.size; ++b) {
            HashNode* before = nullptr;
            for (HashNode* node = table.buckets[b]; node != nullptr; before = node, node = node->next) {
                EXPECT_EQ(hash_key(node->key) % table.size, b) << node->key;
                EXPECT_EQ(node->prev, before) << node->key;
                const unsigned char c = node->key.empty() ? 0 : static_cast<unsigned char>(node->key[0]);
                EXPECT_EQ(node->first, static_cast<std::uint16_t>(std::tolower(c))) << node->key;
                ++count;
            }
        }
        return count;
    }

    HashTable table;
};

TEST_F(HashTableTest, InitMakesBucketCountOdd)
{
    struct Case {
        std::uint32_t wanted;
        std::uint32_t size;
    };
    const Case cases[] = {{100, 101}, {101, 101}, {0, 1}, {1, 1}, {2, 3}, {1000, 1001}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted);
        hash_init(&table, c.wanted);
        ASSERT_EQ(table.size, c.size);
        ASSERT_NE(table.buckets, nullptr);
        for (std::uint32_t b = 0; b < table.size; ++b)
            EXPECT_EQ(table.buckets[b], nullptr);
    }
}

TEST_F(HashTableTest, ReinitReleasesOldNodes)
{
    int v = 1;
    hash_init(&table, 10);
    hash_set("alpha", &v, 0, &table);
    hash_init(&table, 20);
    EXPECT_EQ(table.size, 21u);
    EXPECT_EQ(hash_find("alpha", nullptr, &table), nullptr);
    EXPECT_EQ(walk_and_check(), 0u);
}

TEST_F(HashTableTest, KeyHashIgnoresCaseAndKeepsThirtyTwoBits)
{
    struct Case {
        const char* key;
        std::uint32_t hash;
    };
    // acc = (acc ^ c) << 1 over the lower-cased bytes.
    const Case cases[] = {
        {"", 0},
        {"a", 194},          // 97 << 1
        {"A", 194},
        {"ab", 320},         // (194 ^ 98) << 1
        {"AB", 320},
        {"\xC7", 0xC7 << 1}, // bytes above 127 are taken unsigned and left as they are
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(hash_key(c.key), c.hash);
    }
    // A byte is shifted out once 31 more characters follow it: 'x' and 'y'
    // differ in their lowest bit, which 30 followers leave in place.
    const std::string tail(31, 'q');
    EXPECT_EQ(hash_key("x" + tail), hash_key("y" + tail));
    EXPECT_NE(hash_key("x" + tail.substr(1)), hash_key("y" + tail.substr(1)));
}

TEST_F(HashTableTest, SetOfKeyDifferingInCaseReplacesValue)
{
    hash_init(&table, 100);
    int first = 1, second = 2;
    EXPECT_EQ(hash_set("Nick", &first, 10, &table), &first);
    EXPECT_EQ(hash_set("NICK", &second, 20, &table), &first);
    ASSERT_EQ(walk_and_check(), 1u);
    HashNode* node = nullptr;
    EXPECT_EQ(hash_find("nick", &node, &table), &second);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->key, "Nick");
    EXPECT_EQ(node->number, 20);
    EXPECT_EQ(node->first, 'n');
}

TEST_F(HashTableTest, FindAndDeleteByAnyCase)
{
    hash_init(&table, 7);
    int values[4] = {};
    const char* keys[] = {"#Kest", "Alice", "bob[away]", "Ünal"};
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(hash_set(keys[i], &values[i], i, &table), &values[i]);

    struct Case {
        const char* query;
        int index; // -1: absent
    };
    const Case cases[] = {
        {"#kest", 0}, {"#KEST", 0}, {"ALICE", 1}, {"alice", 1}, {"BOB[AWAY]", 2},
        {"Ünal", 3},  {"alic", -1}, {"alicee", -1}, {"", -1},   {"bob", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        HashNode* node = reinterpret_cast<HashNode*>(&values[0]); // must be reset to null
        void* found = hash_find(c.query, &node, &table);
        if (c.index < 0) {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(node, nullptr);
        } else {
            EXPECT_EQ(found, &values[c.index]);
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(node->number, c.index);
        }
    }

    EXPECT_EQ(hash_delete("nobody", &table), nullptr);
    EXPECT_EQ(walk_and_check(), 4u);
    EXPECT_EQ(hash_delete("aLiCe", &table), &values[1]);
    EXPECT_EQ(hash_find("Alice", nullptr, &table), nullptr);
    EXPECT_EQ(hash_delete("Alice", &table), nullptr);
    EXPECT_EQ(walk_and_check(), 3u);
    EXPECT_EQ(hash_find("#kest", nullptr, &table), &values[0]);
}

TEST_F(HashTableTest, ChainsKeepNewestFirstAndUnlinkAnywhere)
{
    hash_init(&table, 1); // one bucket: every key shares the chain
    int a = 0, b = 0, c = 0;
    hash_set("a", &a, 0, &table);
    hash_set("b", &b, 0, &table);
    hash_set("c", &c, 0, &table);
    auto chain = [&] {
        std::string keys;
        for (HashNode* n = table.buckets[0]; n != nullptr; n = n->next)
            keys += n->key;
        return keys;
    };
    EXPECT_EQ(chain(), "cba");
    EXPECT_EQ(hash_delete("B", &table), &b); // middle
    EXPECT_EQ(chain(), "ca");
    EXPECT_EQ(hash_delete("c", &table), &c); // head
    EXPECT_EQ(chain(), "a");
    EXPECT_EQ(hash_delete("a", &table), &a); // last
    EXPECT_EQ(chain(), "");
}

TEST_F(HashTableTest, WalkOrderIsBucketThenNewestFirst)
{
    hash_init(&table, 6); // 7 buckets
    struct Item {
        std::string key;
        std::uint32_t bucket;
        int inserted;
    };
    std::vector<Item> items;
    int v = 0;
    for (int i = 0; i < 40; ++i) {
        const std::string key = "item" + std::to_string(i);
        hash_set(key, &v, i, &table);
        items.push_back({key, hash_key(key) % 7, i});
    }
    // Replacing a value keeps the node where it is; deleting closes the gap.
    hash_set("ITEM3", &v, 3, &table);
    hash_delete("item10", &table);
    items.erase(items.begin() + 10);
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.bucket != b.bucket ? a.bucket < b.bucket : a.inserted > b.inserted;
    });
    std::vector<std::string> expected, walked;
    for (const Item& item : items)
        expected.push_back(item.key);
    for (std::uint32_t b = 0; b < table.size; ++b)
        for (HashNode* node = table.buckets[b]; node != nullptr; node = node->next)
            walked.push_back(node->key);
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(walk_and_check(), 39u);
}

TEST_F(HashTableTest, SameFirstCharacterDifferentKeys)
{
    // The quick reject on the first character must not stand in for the full
    // comparison: keys sharing their first character stay apart.
    hash_init(&table, 1);
    int x = 0, y = 0;
    hash_set("nick1", &x, 1, &table);
    hash_set("Nick2", &y, 2, &table);
    EXPECT_EQ(hash_find("NICK1", nullptr, &table), &x);
    EXPECT_EQ(hash_find("nick2", nullptr, &table), &y);
    EXPECT_EQ(hash_find("nick", nullptr, &table), nullptr);
}

TEST_F(HashTableTest, UnusableTableGivesNullEverywhere)
{
    int v = 0;
    HashTable released;
    hash_init(&released, 5);
    hash_set("k", &v, 0, &released);
    hash_clear(&released, 1);
    EXPECT_EQ(released.size, 0u);
    EXPECT_EQ(released.buckets, nullptr);

    HashTable never_made; // zero size, no buckets
    for (HashTable* t : {&never_made, &released}) {
        EXPECT_EQ(hash_set("k", &v, 0, t), nullptr);
        HashNode* node = reinterpret_cast<HashNode*>(&v);
        EXPECT_EQ(hash_find("k", &node, t), nullptr);
        EXPECT_EQ(node, nullptr);
        EXPECT_EQ(hash_delete("k", t), nullptr);
        hash_clear(t, 0);
        EXPECT_EQ(t->size, 0u);
    }
}

TEST_F(HashTableTest, ClearWithoutReleaseKeepsTableUsable)
{
    hash_init(&table, 50);
    int v = 0;
    for (int i = 0; i < 200; ++i)
        hash_set("key" + std::to_string(i), &v, i, &table);
    EXPECT_EQ(walk_and_check(), 200u);
    hash_clear(&table, 0);
    EXPECT_EQ(table.size, 51u);
    ASSERT_NE(table.buckets, nullptr);
    EXPECT_EQ(walk_and_check(), 0u);
    EXPECT_EQ(hash_find("key5", nullptr, &table), nullptr);
    EXPECT_EQ(hash_set("key5", &v, 5, &table), &v);
    EXPECT_EQ(hash_find("KEY5", nullptr, &table), &v);
}

TEST_F(HashTableTest, OverlongKeyIsTakenByItsUsableLength)
{
    hash_init(&table, 11);
    int v = 0, w = 0;
    const std::string longer(5000, 'k');
    const std::string usable(4150, 'K');
    EXPECT_EQ(hash_set(longer, &v, 0, &table), &v);
    ASSERT_EQ(walk_and_check(), 1u);
    EXPECT_EQ(table.buckets[hash_key(usable) % table.size]->key.size(), 4150u);
    EXPECT_EQ(hash_find(longer, nullptr, &table), &v);
    EXPECT_EQ(hash_find(usable, nullptr, &table), &v);
    EXPECT_EQ(hash_find(usable.substr(1), nullptr, &table), nullptr);
    EXPECT_EQ(hash_set(usable + "different tail", &w, 0, &table), &v);
    EXPECT_EQ(hash_delete(longer, &table), &w);
    EXPECT_EQ(walk_and_check(), 0u);
}

TEST_F(HashTableTest, HundredThousandEntriesStayFast)
{
    const auto start = thread_cpu_ms();
    hash_init(&table, 10000);
    constexpr int kCount = 100000;
    std::vector<int> values(kCount);
    std::vector<std::string> keys;
    keys.reserve(kCount);
    for (int i = 0; i < kCount; ++i) {
        // Nick-like keys of mixed case and length, plus address-like ones.
        keys.push_back(i % 2 ? "Nick" + std::to_string(i) : "user" + std::to_string(i) + "!id@Host-" + std::to_string(i % 977) + ".example.net");
        ASSERT_EQ(hash_set(keys.back(), &values[i], i, &table), &values[i]);
    }
    for (int i = 0; i < kCount; ++i) {
        std::string upper = keys[i];
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        HashNode* node = nullptr;
        ASSERT_EQ(hash_find(upper, &node, &table), &values[i]) << upper;
        ASSERT_EQ(node->number, i);
    }
    for (int i = 0; i < kCount; i += 2)
        ASSERT_EQ(hash_delete(keys[i], &table), &values[i]);
    EXPECT_EQ(walk_and_check(), static_cast<std::size_t>(kCount / 2));
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(hash_find(keys[i], nullptr, &table), i % 2 ? &values[i] : nullptr);
    EXPECT_LT(thread_cpu_ms() - start, 5000);   // processor time: the work, not the load
}

TEST_F(HashTableTest, KeysSharingTheirLastCharactersStayFast)
{
    // Only the last 31 characters reach the bucket hash: these keys all fall
    // into one bucket, which must not make the table slow.
    const std::string suffix = "!someuser@a.very.long.shared.host.example.org";
    hash_init(&table, 1000);
    constexpr int kCount = 100000;
    std::vector<int> values(kCount);
    const auto start = thread_cpu_ms();
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(hash_set("n" + std::to_string(i) + suffix, &values[i], i, &table), &values[i]);
    const std::uint32_t bucket = hash_key("n0" + suffix) % table.size;
    EXPECT_EQ(hash_key("n99999" + suffix) % table.size, bucket);
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(hash_find("N" + std::to_string(i) + suffix, nullptr, &table), &values[i]);
    for (int i = 0; i < kCount; i += 3)
        ASSERT_EQ(hash_delete("n" + std::to_string(i) + suffix, &table), &values[i]);
    EXPECT_LT(thread_cpu_ms() - start, 5000);   // processor time: the work, not the load
    std::size_t in_bucket = 0;
    for (HashNode* node = table.buckets[bucket]; node != nullptr; node = node->next)
        ++in_bucket;
    EXPECT_EQ(in_bucket, static_cast<std::size_t>(kCount - (kCount + 2) / 3));
    EXPECT_EQ(walk_and_check(), in_bucket);
}

TEST(HashTextBits, HalvesRoundingUpAndMasks)
{
    struct Case {
        const char* text;
        int bits;
        std::uint32_t value;
    };
    // "a": (97 + 0 + 0) << 8 = 24832; every halving rounds up.
    const Case cases[] = {
        {"a", 32, 24832},
        {"a", 31, 12416},
        {"a", 24, 97},      // eight halvings
        {"a", 23, 49},      // 97 -> 49 rounds up
        {"a", 16, 1},
        {"a", 40, 24832},   // more than 32 counts as 32
        {"a", 0, 0},
        {"a", -3, 0},
        {"ab", 32, (((97u << 8) + 98u + 0u) << 8)}, // (98 + 24832 + (24832 >> 24)) << 8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + "/" + std::to_string(c.bits));
        EXPECT_EQ(hash_text_bits(c.text, c.bits), c.value);
    }
    for (int bits = 1; bits <= 32; ++bits)
        EXPECT_EQ(hash_text_bits("", bits), 0u) << bits;
    EXPECT_NE(hash_text_bits("a", 32), hash_text_bits("A", 32)); // case counts
    for (int bits = 1; bits < 32; ++bits)
        EXPECT_LT(hash_text_bits("some longer text", bits), 1u << bits) << bits;
}

} // namespace
