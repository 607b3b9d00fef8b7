#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace brevor {

// Multi-reader / single-writer lock.
//  - any number of threads may hold the shared side at once; one thread holds the exclusive side;
//  - both sides are re-entrant for the thread that holds them;
//  - the writer may also take the shared side;
//  - a reader may ask for the exclusive side (promotion): its shared holds are set aside while it
//    waits, so two promoting readers cannot deadlock, and another writer may go first;
//  - when the writer leaves the exclusive side it keeps its shared holds with no gap (downgrade);
//  - a waiting writer holds back threads that do not already hold the lock.
class TMultiReadExclusiveWriteLock {
public:
    TMultiReadExclusiveWriteLock() = default;
    TMultiReadExclusiveWriteLock(const TMultiReadExclusiveWriteLock &) = delete;
    TMultiReadExclusiveWriteLock &operator=(const TMultiReadExclusiveWriteLock &) = delete;

    void BeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();

    // For tests and assertions: does the calling thread hold the exclusive side?
    bool IsWriter() const;
    // Number of shared holds of the calling thread.
    int ReadDepth() const;

private:
    struct Holder {
        std::thread::id thread;
        int reads = 0;
    };
    Holder *Find(std::thread::id id);
    const Holder *Find(std::thread::id id) const;
    Holder &Ensure(std::thread::id id);
    void Forget(std::thread::id id);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Holder> holders_;  // threads with shared holds; few at a time
    std::thread::id writer_{};
    int writeDepth_ = 0;
    int activeReaders_ = 0;   // shared holds of threads other than the writer
    int waitingWriters_ = 0;  // threads waiting in BeginWrite
};

// Scoped holds.
class TReadGuard {
public:
    explicit TReadGuard(TMultiReadExclusiveWriteLock &lock) : lock_(lock) { lock_.BeginRead(); }
    ~TReadGuard() { lock_.EndRead(); }
    TReadGuard(const TReadGuard &) = delete;
    TReadGuard &operator=(const TReadGuard &) = delete;

private:
    TMultiReadExclusiveWriteLock &lock_;
};

class TWriteGuard {
public:
    explicit TWriteGuard(TMultiReadExclusiveWriteLock &lock) : lock_(lock) { lock_.BeginWrite(); }
    ~TWriteGuard() { lock_.EndWrite(); }
    TWriteGuard(const TWriteGuard &) = delete;
    TWriteGuard &operator=(const TWriteGuard &) = delete;

private:
    TMultiReadExclusiveWriteLock &lock_;
};

}  // namespace brevor
