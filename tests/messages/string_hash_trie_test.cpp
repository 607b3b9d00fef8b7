#include "messages/string_hash_trie.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brevor {
namespace {

// Counts the live instances so a test can see which data objects the trie freed.
class TCounted : public TObject {
public:
    explicit TCounted(int &live) : live_(live) { ++live_; }
    ~TCounted() override { --live_; }

private:
    int &live_;
};

TEST(StringHashTrie, HashValues) {
    TStringHashTrie sensitive;
    sensitive.CaseSensitive = true;
    TStringHashTrie insensitive;
    EXPECT_EQ(sensitive.KeyHash("abc"), 0xCADBBE3Du);
    EXPECT_EQ(insensitive.KeyHash("abc"), 0x5C7CFCB7u);
    EXPECT_EQ(insensitive.KeyHash("abc"), insensitive.KeyHash("ABC"));
    EXPECT_EQ(sensitive.KeyHash(""), 0xFFFFFFFFu);
}

TEST(StringHashTrie, EmptyTrieLookupCreatesNothing) {
    TStringHashTrie trie;
    THashTrieData data = 7;
    EXPECT_FALSE(trie.Find("x", data));
    EXPECT_EQ(data, 7u);
    EXPECT_EQ(trie.FindString("x"), "");
    trie.Delete("x");
    EXPECT_EQ(trie.Root(), nullptr);
}

TEST(StringHashTrie, CaseRulesAndEmptyKey) {
    TStringHashTrie insensitive;
    insensitive.Add("FileNotExist", 1);
    insensitive.Add("FILENOTEXIST", 2);
    THashTrieData data = 0;
    ASSERT_TRUE(insensitive.Find("filenotexist", data));
    EXPECT_EQ(data, 2u);

    TStringHashTrie sensitive;
    sensitive.CaseSensitive = true;
    sensitive.Add("FileNotExist", 1);
    sensitive.Add("FILENOTEXIST", 2);
    ASSERT_TRUE(sensitive.Find("FileNotExist", data));
    EXPECT_EQ(data, 1u);
    EXPECT_FALSE(sensitive.Find("filenotexist", data));

    sensitive.Add("", 9);
    ASSERT_TRUE(sensitive.Find("", data));
    EXPECT_EQ(data, 9u);
    EXPECT_NE(sensitive.Root()->Slots[0xFF].Bucket, nullptr);
}

TEST(StringHashTrie, ReplacingAndClearingFreeOwnedObjects) {
    int live = 0;
    {
        TStringHashTrie trie;
        trie.AutoFreeObjects = true;
        trie.AddObject("a", new TCounted(live));
        trie.AddObject("a", new TCounted(live));
        EXPECT_EQ(live, 1);
        trie.AddObject("b", new TCounted(live));
        trie.Delete("b");
        EXPECT_EQ(live, 1);
        trie.AddString("c", "value");
        EXPECT_EQ(trie.FindString("c"), "value");
        // An integer cell is never taken for an object.
        trie.Add("n", 12345);
        EXPECT_EQ(trie.FindString("n"), "");
        EXPECT_EQ(trie.FindObject("n"), nullptr);
    }
    EXPECT_EQ(live, 0);
}

// Keys whose hashes share the root slot of the first key.
std::vector<std::string> KeysInOneSlot(const TStringHashTrie &trie, std::size_t count) {
    std::vector<std::string> keys;
    const std::uint32_t slot = trie.KeyHash("key0") & 0xFF;
    for (int i = 0; keys.size() < count; ++i) {
        std::string k = "key" + std::to_string(i);
        if ((trie.KeyHash(k) & 0xFF) == slot) keys.push_back(k);
    }
    return keys;
}

TEST(StringHashTrie, NinthKeySplitsAndEmptiedChildIsFreed) {
    TStringHashTrie trie;
    trie.CaseSensitive = true;
    const auto keys = KeysInOneSlot(trie, 9);
    const std::uint32_t slot = trie.KeyHash(keys[0]) & 0xFF;
    for (std::size_t i = 0; i < 8; ++i)
        trie.Add(keys[i], i);
    EXPECT_EQ(trie.Root()->Slots[slot].Child, nullptr);
    trie.Add(keys[8], 8);
    ASSERT_NE(trie.Root()->Slots[slot].Child, nullptr);
    EXPECT_EQ(trie.Root()->Slots[slot].Bucket, nullptr);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        THashTrieData data = 0;
        ASSERT_TRUE(trie.Find(keys[i], data)) << keys[i];
        EXPECT_EQ(data, i);
    }
    for (const auto &k : keys)
        trie.Delete(k);
    EXPECT_TRUE(trie.Root()->Slots[slot].Empty());
    EXPECT_EQ(trie.Root()->UsedSlots, 0);
}

// Every key has the same hash: splitting cannot separate them, so the deepest bucket grows.
class TOneHashTrie : public TStringHashTrie {
public:
    std::uint32_t KeyHash(std::string_view) const override { return 0x12345678u; }
};

TEST(StringHashTrie, IdenticalHashesStayFindable) {
    TOneHashTrie trie;
    for (int i = 0; i < 100; ++i)
        trie.Add("k" + std::to_string(i), static_cast<unsigned>(i));
    for (int i = 0; i < 100; ++i) {
        THashTrieData data = 0;
        ASSERT_TRUE(trie.Find("k" + std::to_string(i), data));
        EXPECT_EQ(data, static_cast<unsigned>(i));
    }
    for (int i = 0; i < 100; ++i)
        trie.Delete("k" + std::to_string(i));
    EXPECT_EQ(trie.Root()->UsedSlots, 0);
    trie.Clear();
    EXPECT_EQ(trie.Root(), nullptr);
}

}  // namespace
}  // namespace brevor
