#pragma once

// A keyed table from text keys to one data cell, built as a trie of 256-way nodes over a 32-bit
// hash of the key. Leaves are short buckets that split into a deeper node when they fill up.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/component.h"

namespace brevor {

// The data cell of an entry: an object reference or a plain integer.
using THashTrieData = std::uintptr_t;

// One entry of a bucket. IsObject tells whether Data holds an object the trie may free or
// inspect; integers stored with Add are never treated as objects.
struct TLinkedItem {
    std::string Key;
    THashTrieData Data = 0;
    bool IsObject = false;
    TLinkedItem *Next = nullptr;
};

class THashTrie;

// One node: 256 slots, each empty, a bucket (chain of entries) or a child node.
struct TTreeItem {
    struct TSlot {
        TLinkedItem *Bucket = nullptr;
        TTreeItem *Child = nullptr;
        bool Empty() const { return Bucket == nullptr && Child == nullptr; }
    };
    THashTrie *Trie = nullptr;
    int Depth = 0;
    // Slots that hold a bucket or a child node.
    int UsedSlots = 0;
    std::array<TSlot, 256> Slots{};
};

// The trie structure; what a key hashes to, how keys compare and what releasing an entry frees
// belongs to the concrete class. A derived class must Clear() in its destructor.
class THashTrie {
public:
    // A bucket holding this many entries splits on the next insertion.
    static constexpr int kBucketCapacity = 8;
    // Nodes at this depth have used all 32 hash bits: their buckets grow instead of splitting,
    // since entries that reach the same slot there share one hash and cannot be separated.
    static constexpr int kMaxDepth = 3;

    THashTrie() = default;
    virtual ~THashTrie();
    THashTrie(const THashTrie &) = delete;
    THashTrie &operator=(const THashTrie &) = delete;

    // Replaces an entry with an equal key (releasing it) and inserts key and data.
    void Add(std::string_view key, THashTrieData data) { AddEntry(key, data, false); }
    // Removes and releases the entry with an equal key; nothing when absent.
    void Delete(std::string_view key);
    bool Find(std::string_view key, THashTrieData &data) const;
    // Frees every node and releases every entry; Root becomes absent.
    void Clear();

    const TTreeItem *Root() const { return root_; }

    virtual std::uint32_t KeyHash(std::string_view key) const = 0;
    virtual void ReleaseEntry(TLinkedItem &entry) = 0;
    virtual bool KeysEqual(std::string_view a, std::string_view b) const = 0;

protected:
    void AddEntry(std::string_view key, THashTrieData data, bool isObject);
    const TLinkedItem *FindEntry(std::string_view key) const;

private:
    void Insert(TTreeItem &node, TLinkedItem *entry, std::uint32_t hash);
    void Remove(TTreeItem &node, std::string_view key, std::uint32_t hash);
    void FreeNode(TTreeItem *node, bool release);

    TTreeItem *root_ = nullptr;
};

// The data object when a trie maps texts to texts.
class THashStringItem : public TObject {
public:
    explicit THashStringItem(std::string value = {}) : Value(std::move(value)) {}
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override;
    std::string Value;
};

class TStringHashTrie : public THashTrie {
public:
    TStringHashTrie() = default;
    ~TStringHashTrie() override;

    // Case-insensitive tries hash the Windows-1252 upper case of the key and compare ignoring
    // case; case-sensitive tries hash and compare the bytes.
    bool CaseSensitive = false;
    // Releasing an entry also frees the object held in its data cell (objects only).
    bool AutoFreeObjects = false;

    // Add with an object reference as the data cell.
    void AddObject(std::string_view key, TObject *object);
    // The object of the entry, or null when absent or the entry holds an integer.
    TObject *FindObject(std::string_view key) const;
    // Add with a new THashStringItem holding value (owned by the trie when AutoFreeObjects).
    void AddString(std::string_view key, std::string_view value);
    // The Value of the THashStringItem found; empty when absent or not a THashStringItem.
    std::string FindString(std::string_view key) const;
    // Like FindString, but tells an absent key from an empty value.
    bool FindString(std::string_view key, std::string &value) const;

    std::uint32_t KeyHash(std::string_view key) const override;
    void ReleaseEntry(TLinkedItem &entry) override;
    bool KeysEqual(std::string_view a, std::string_view b) const override;
};

// The hash register after running the bytes through the reflected CRC-32 table (0xEDB88320),
// starting at 0xFFFFFFFF and not complemented at the end.
std::uint32_t HashTrieCrc(std::string_view bytes);

}  // namespace brevor
