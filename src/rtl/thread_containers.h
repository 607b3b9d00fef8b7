#pragma once

#include <vector>

#include "rtl/mrew_lock.h"
#include "rtl/strings.h"

namespace brevor {

// A guarded object and its multi-reader / single-writer lock. Destruction frees the lock, never
// the guarded object.
template <typename T>
class TThreadObject {
public:
    explicit TThreadObject(T *guarded) : guarded_(guarded) {}
    virtual ~TThreadObject() = default;
    TThreadObject(const TThreadObject &) = delete;
    TThreadObject &operator=(const TThreadObject &) = delete;

    T *LockRead() {
        lock_.BeginRead();
        return guarded_;
    }
    void UnlockRead() { lock_.EndRead(); }
    T *LockWrite() {
        lock_.BeginWrite();
        return guarded_;
    }
    void UnlockWrite() { lock_.EndWrite(); }

    TMultiReadExclusiveWriteLock &Lock() { return lock_; }

protected:
    void SetGuarded(T *guarded) { guarded_ = guarded; }

private:
    T *guarded_;
    TMultiReadExclusiveWriteLock lock_;
};

// An object list with the lock of TThreadObject. With OwnsObjects the list frees the objects
// removed from it and those left in it at destruction.
template <typename T>
class TObjectList {
public:
    explicit TObjectList(bool ownsObjects) : ownsObjects_(ownsObjects) {}
    ~TObjectList() { Clear(); }
    TObjectList(const TObjectList &) = delete;
    TObjectList &operator=(const TObjectList &) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    T *Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    int Add(T *item) {
        items_.push_back(item);
        return Count() - 1;
    }
    // Removes the item; frees it when the list owns its objects.
    void Delete(int index) {
        T *item = items_.at(static_cast<size_t>(index));
        items_.erase(items_.begin() + index);
        if (ownsObjects_) delete item;
    }
    // Removes the item without freeing it.
    T *Extract(int index) {
        T *item = items_.at(static_cast<size_t>(index));
        items_.erase(items_.begin() + index);
        return item;
    }
    void Clear() {
        std::vector<T *> old;
        old.swap(items_);
        if (ownsObjects_) {
            for (T *item : old)
                delete item;
        }
    }
    bool OwnsObjects() const { return ownsObjects_; }

private:
    bool ownsObjects_;
    std::vector<T *> items_;
};

template <typename T>
class TThreadObjectList : public TThreadObject<TObjectList<T>> {
public:
    explicit TThreadObjectList(bool ownsObjects)
        : TThreadObject<TObjectList<T>>(nullptr), list_(new TObjectList<T>(ownsObjects)) {
        this->SetGuarded(list_);
    }
    ~TThreadObjectList() override {
        this->Lock().BeginWrite();
        delete list_;
        list_ = nullptr;
        this->SetGuarded(nullptr);
        this->Lock().EndWrite();
    }

    TObjectList<T> *LockList() { return this->LockWrite(); }
    TObjectList<T> *LockListRead() { return this->LockRead(); }
    void UnlockList() { this->UnlockWrite(); }
    void UnlockListRead() { this->UnlockRead(); }

private:
    TObjectList<T> *list_;
};

// A string list guarded by the exclusive side of its own lock.
class TThreadStringList {
public:
    TThreadStringList() = default;
    ~TThreadStringList() {
        lock_.BeginWrite();
        list_.Clear();
        lock_.EndWrite();
    }
    TThreadStringList(const TThreadStringList &) = delete;
    TThreadStringList &operator=(const TThreadStringList &) = delete;

    TStringList *LockList() {
        lock_.BeginWrite();
        return &list_;
    }
    void UnlockList() { lock_.EndWrite(); }
    void Add(std::string_view text) {
        TWriteGuard g(lock_);
        list_.Add(text);
    }
    void SetText(std::string_view text) {
        TWriteGuard g(lock_);
        list_.SetText(text);
    }

private:
    TMultiReadExclusiveWriteLock lock_;
    TStringList list_;
};

}  // namespace brevor
