#include "messages/string_hash_trie.h"

#include "rtl/ansi.h"

namespace brevor {
namespace {

struct TCrcTable {
    std::array<std::uint32_t, 256> Values{};
    TCrcTable() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            Values[i] = c;
        }
    }
};

const TCrcTable kCrcTable;

std::uint32_t RotateRight(std::uint32_t h, int bits) {
    bits &= 31;
    return bits == 0 ? h : (h >> bits) | (h << (32 - bits));
}

}  // namespace

std::uint32_t HashTrieCrc(std::string_view bytes) {
    std::uint32_t reg = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        reg = kCrcTable.Values[(reg ^ b) & 0xFF] ^ (reg >> 8);
    return reg;
}

// ---------------------------------------------------------------- THashTrie

THashTrie::~THashTrie() {
    FreeNode(root_, false);
}

void THashTrie::FreeNode(TTreeItem *node, bool release) {
    if (!node) return;
    for (auto &slot : node->Slots) {
        if (slot.Child) FreeNode(slot.Child, release);
        for (TLinkedItem *e = slot.Bucket; e;) {
            TLinkedItem *next = e->Next;
            if (release) ReleaseEntry(*e);
            delete e;
            e = next;
        }
    }
    delete node;
}

void THashTrie::Clear() {
    TTreeItem *root = root_;
    root_ = nullptr;
    FreeNode(root, true);
}

void THashTrie::AddEntry(std::string_view key, THashTrieData data, bool isObject) {
    Delete(key);
    if (!root_) {
        root_ = new TTreeItem;
        root_->Trie = this;
    }
    auto *entry = new TLinkedItem;
    entry->Key.assign(key);
    entry->Data = data;
    entry->IsObject = isObject;
    Insert(*root_, entry, KeyHash(key));
}

void THashTrie::Insert(TTreeItem &node, TLinkedItem *entry, std::uint32_t hash) {
    TTreeItem *n = &node;
    for (;;) {
        auto &slot = n->Slots[hash & 0xFF];
        if (slot.Child) {
            n = slot.Child;
            hash = RotateRight(hash, 8);
            continue;
        }
        int walked = 0;
        for (TLinkedItem *e = slot.Bucket; e; e = e->Next, ++walked) {
            if (KeysEqual(e->Key, entry->Key)) {
                // Only reached through a direct insert: the data cell is overwritten, the old
                // data is not released.
                e->Data = entry->Data;
                e->IsObject = entry->IsObject;
                delete entry;
                return;
            }
        }
        if (walked >= kBucketCapacity && n->Depth < kMaxDepth) {
            auto *child = new TTreeItem;
            child->Trie = this;
            child->Depth = n->Depth + 1;
            for (TLinkedItem *e = slot.Bucket; e;) {
                TLinkedItem *next = e->Next;
                e->Next = nullptr;
                Insert(*child, e, RotateRight(KeyHash(e->Key), 8 * child->Depth));
                e = next;
            }
            slot.Bucket = nullptr;
            slot.Child = child;
            n = child;
            hash = RotateRight(hash, 8);
            continue;
        }
        if (slot.Empty()) ++n->UsedSlots;
        entry->Next = slot.Bucket;
        slot.Bucket = entry;
        return;
    }
}

void THashTrie::Delete(std::string_view key) {
    if (root_) Remove(*root_, key, KeyHash(key));
}

void THashTrie::Remove(TTreeItem &node, std::string_view key, std::uint32_t hash) {
    auto &slot = node.Slots[hash & 0xFF];
    if (slot.Empty()) return;
    if (slot.Child) {
        Remove(*slot.Child, key, RotateRight(hash, 8));
        if (slot.Child->UsedSlots == 0) {
            FreeNode(slot.Child, false);
            slot.Child = nullptr;
            --node.UsedSlots;
        }
        return;
    }
    TLinkedItem **link = &slot.Bucket;
    while (*link && !KeysEqual((*link)->Key, key))
        link = &(*link)->Next;
    TLinkedItem *found = *link;
    if (!found) return;
    *link = found->Next;
    if (slot.Empty()) --node.UsedSlots;
    ReleaseEntry(*found);
    delete found;
}

const TLinkedItem *THashTrie::FindEntry(std::string_view key) const {
    const TTreeItem *n = root_;
    if (!n) return nullptr;
    std::uint32_t hash = KeyHash(key);
    for (;;) {
        const auto &slot = n->Slots[hash & 0xFF];
        if (!slot.Child) {
            for (const TLinkedItem *e = slot.Bucket; e; e = e->Next)
                if (KeysEqual(e->Key, key)) return e;
            return nullptr;
        }
        n = slot.Child;
        hash = RotateRight(hash, 8);
    }
}

bool THashTrie::Find(std::string_view key, THashTrieData &data) const {
    const TLinkedItem *e = FindEntry(key);
    if (!e) return false;
    data = e->Data;
    return true;
}

// ---------------------------------------------------------------- THashStringItem

const TClassInfo &THashStringItem::StaticClassInfo() {
    static const TClassInfo info =
        TClassBuilder<THashStringItem>("THashStringItem", &TObject::StaticClassInfo())
            .String("Value", &THashStringItem::Value)
            .Build();
    return info;
}

const TClassInfo &THashStringItem::ClassInfo() const {
    return StaticClassInfo();
}

// ---------------------------------------------------------------- TStringHashTrie

TStringHashTrie::~TStringHashTrie() {
    Clear();
}

std::uint32_t TStringHashTrie::KeyHash(std::string_view key) const {
    if (CaseSensitive) return HashTrieCrc(key);
    return HashTrieCrc(AnsiUpperCase(key));
}

void TStringHashTrie::ReleaseEntry(TLinkedItem &entry) {
    if (AutoFreeObjects && entry.IsObject) delete reinterpret_cast<TObject *>(entry.Data);
    entry.Data = 0;
    entry.IsObject = false;
}

bool TStringHashTrie::KeysEqual(std::string_view a, std::string_view b) const {
    return CaseSensitive ? a == b : AnsiSameText(a, b);
}

void TStringHashTrie::AddObject(std::string_view key, TObject *object) {
    AddEntry(key, reinterpret_cast<THashTrieData>(object), true);
}

TObject *TStringHashTrie::FindObject(std::string_view key) const {
    const TLinkedItem *e = FindEntry(key);
    return e && e->IsObject ? reinterpret_cast<TObject *>(e->Data) : nullptr;
}

void TStringHashTrie::AddString(std::string_view key, std::string_view value) {
    auto *item = new THashStringItem(std::string(value));
    try {
        AddObject(key, item);
    } catch (...) {
        delete item;
        throw;
    }
}

bool TStringHashTrie::FindString(std::string_view key, std::string &value) const {
    auto *item = dynamic_cast<THashStringItem *>(FindObject(key));
    if (!item) return false;
    value = item->Value;
    return true;
}

std::string TStringHashTrie::FindString(std::string_view key) const {
    std::string value;
    FindString(key, value);
    return value;
}

}  // namespace brevor
