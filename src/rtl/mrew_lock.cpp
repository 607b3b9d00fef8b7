#include "rtl/mrew_lock.h"

#include <algorithm>

namespace brevor {

TMultiReadExclusiveWriteLock::Holder *TMultiReadExclusiveWriteLock::Find(std::thread::id id) {
    for (auto &h : holders_) {
        if (h.thread == id) return &h;
    }
    return nullptr;
}

const TMultiReadExclusiveWriteLock::Holder *TMultiReadExclusiveWriteLock::Find(
    std::thread::id id) const {
    for (const auto &h : holders_) {
        if (h.thread == id) return &h;
    }
    return nullptr;
}

TMultiReadExclusiveWriteLock::Holder &TMultiReadExclusiveWriteLock::Ensure(std::thread::id id) {
    if (Holder *h = Find(id)) return *h;
    holders_.push_back(Holder{id, 0});
    return holders_.back();
}

void TMultiReadExclusiveWriteLock::Forget(std::thread::id id) {
    auto it = std::find_if(holders_.begin(), holders_.end(),
                           [id](const Holder &h) { return h.thread == id; });
    if (it != holders_.end() && it->reads == 0) {
        *it = holders_.back();
        holders_.pop_back();
    }
}

void TMultiReadExclusiveWriteLock::BeginRead() {
    const auto self = std::this_thread::get_id();
    std::unique_lock lk(mutex_);
    if (writer_ == self) {
        // The writer's shared holds are counted when it leaves the exclusive side.
        ++Ensure(self).reads;
        return;
    }
    if (Holder *h = Find(self); h && h->reads > 0) {
        // Re-entry never waits, or a waiting writer would deadlock against this reader.
        ++h->reads;
        ++activeReaders_;
        return;
    }
    changed_.wait(lk, [&] { return writer_ == std::thread::id{} && waitingWriters_ == 0; });
    ++Ensure(self).reads;
    ++activeReaders_;
}

void TMultiReadExclusiveWriteLock::EndRead() {
    const auto self = std::this_thread::get_id();
    std::unique_lock lk(mutex_);
    Holder *h = Find(self);
    if (!h || h->reads == 0) return;  // unbalanced release: ignore rather than corrupt counts
    --h->reads;
    if (writer_ != self) {
        --activeReaders_;
        if (activeReaders_ == 0) changed_.notify_all();
    }
    if (h->reads == 0) Forget(self);
}

void TMultiReadExclusiveWriteLock::BeginWrite() {
    const auto self = std::this_thread::get_id();
    std::unique_lock lk(mutex_);
    if (writer_ == self) {
        ++writeDepth_;
        return;
    }
    // Promotion: set this thread's shared holds aside while it waits.
    const Holder *h = Find(self);
    const int ownReads = h ? h->reads : 0;
    activeReaders_ -= ownReads;
    ++waitingWriters_;
    if (ownReads > 0 && activeReaders_ == 0) changed_.notify_all();
    changed_.wait(lk, [&] { return writer_ == std::thread::id{} && activeReaders_ == 0; });
    --waitingWriters_;
    writer_ = self;
    writeDepth_ = 1;
}

void TMultiReadExclusiveWriteLock::EndWrite() {
    const auto self = std::this_thread::get_id();
    std::unique_lock lk(mutex_);
    if (writer_ != self) return;  // unbalanced release: ignore
    if (--writeDepth_ > 0) return;
    writer_ = std::thread::id{};
    // Downgrade: shared holds taken before or during the exclusive hold stay valid.
    if (const Holder *h = Find(self)) activeReaders_ += h->reads;
    changed_.notify_all();
}

bool TMultiReadExclusiveWriteLock::IsWriter() const {
    std::lock_guard lk(mutex_);
    return writer_ == std::this_thread::get_id();
}

int TMultiReadExclusiveWriteLock::ReadDepth() const {
    std::lock_guard lk(mutex_);
    const Holder *h = Find(std::this_thread::get_id());
    return h ? h->reads : 0;
}

}  // namespace brevor
