#pragma once

// The file feed's engine: sends whatever part of a file the host has not taken yet, chunk by
// chunk, remembers how far it got, and then deletes, empties or keeps the file.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "brevor/abi.h"
#include "framework/host_link.h"

namespace brevor {

namespace platform {
class TExclusiveFile;
}

// Read modes: what happens to a file once it has been sent completely.
enum TReadMode : int {
    ReadAndDel = 0,
    ReadAndTrunc = 1,
    ReadAndNoChange = 2,
    ReadFromBeginning = 3,
};

struct TFileReadState {
    std::int64_t Position = 0;   // offset of the next byte to hand to the host
    std::int64_t SentBytes = 0;  // bytes handed over since the file was last seen unchanged
    std::uint64_t FileId = 0;    // which file the position belongs to; 0 before the first read
    // Where no lease can be had: size and change time (ns) the previous scan saw, -1 before.
    std::int64_t SeenSize = -1;
    std::int64_t SeenChange = -1;
    // The file was sent completely but a writer was waiting for it, so its deletion or emptying
    // was left for a later scan.
    bool ActionDue = false;
};

// Per-file read states in the order they were created, found in O(1) by path key.
class TFileStates {
public:
    // The state of a path, or null.
    TFileReadState *Find(std::string_view fullName);
    // The state of a path, created zeroed at the end of the list when missing.
    TFileReadState &FindOrAdd(std::string_view fullName);
    // Removes, in list order, every entry for which gone(fullName) is true.
    void RemoveIf(const std::function<bool(const std::string &fullName)> &gone);
    void Clear();
    int Count() const { return static_cast<int>(entries_.size()); }
    const std::string &FullName(int index) const {
        return entries_[static_cast<size_t>(index)].fullName;
    }

private:
    struct Entry {
        std::string fullName;
        TFileReadState state;
    };
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> index_;  // path key -> position in entries_
};

// Everything the engine reports. Each outcome has one row in the module's message table.
enum class TTransferOutcome {
    InvalidBlockSize,
    FileNotExist,
    ErrorOpeningFile,
    ErrorGetMem,
    ErrorReadingFile,
    FileDataNotExported,
    FileDataExported,
    FileDeleted,
    ErrorDeletingFile,
    FileTruncated,
    ErrorTruncatingFile,
};

// What an outcome's message row takes: the number alone, the full path alone, or both.
enum class TOutcomeArgs { Number, Path, PathAndNumber };

struct TOutcomeInfo {
    TTransferOutcome outcome;
    const char *msgId;  // the row of the message table
    int level;          // log level: 0 error, 2 information
    TOutcomeArgs args;
};

// One row per outcome, in the order of the enumeration.
extern const TOutcomeInfo kTransferOutcomes[11];
const TOutcomeInfo &OutcomeInfo(TTransferOutcome outcome);

// Outcome reports: the outcome, the full path, and the number the message carries (chunk size,
// chunk length or bytes sent; 0 when it has none).
using TTransferLog =
    std::function<void(TTransferOutcome outcome, const std::string &fullName, std::int64_t n)>;

// Replaces "##" by "#" and "#" + two hex digits by that byte; any other "#" passes through.
// Writes into out (resized) and returns the decoded length.
std::size_t DecodeText(const char *text, std::size_t length, std::string &out);
std::string DecodeText(std::string_view text);

class TFileTransfer {
public:
    explicit TFileTransfer(TTransferLog log) : log_(std::move(log)) {}

    // Processes one file; every outcome is reported through the log. Safe to call from several
    // threads: calls are serialised.
    void ProcessFile(const TSendTarget &target, std::string_view folder, std::string_view fileName,
                     std::int32_t chunkSize, bool decode, int readMode);
    // Forgets the states of files that no longer exist.
    void PruneFileStates();
    // The same, where listed holds the full names a folder listing has just found: those are
    // kept without asking the disk, every other entry is checked on disk.
    void PruneFileStates(const std::unordered_set<std::string> &listed);

    // The full path: folder, a separator unless the folder is empty or ends in one, the name.
    static std::string FullName(std::string_view folder, std::string_view fileName);

    // For tests and the scans: the states, under the engine's lock.
    template <typename Fn>
    auto WithStates(Fn &&fn) {
        std::lock_guard lock(mutex_);
        return fn(states_);
    }

private:
    // What a file's state, brought in line with the file, leaves to do.
    enum class TSendPlan {
        Nothing,     // nothing new, or not to be taken yet (reported where it is a fault)
        Rest,        // send from the state's position to the end, then finish
        EmptyFile,   // nothing to send; finish as for an empty file
        ActionOnly,  // sent completely before; only the read-mode action is left
    };

    // One file: open it, then the three steps below while it stays open.
    void Process(const TSendTarget &target, const std::string &fullName, std::int32_t chunkSize,
                 bool decode, int readMode);
    // Step 1: brings the state in line with the file as it is now (another file under the name,
    // a file not standing still, one grown, shrunk or sent completely before).
    TSendPlan Reconcile(platform::TExclusiveFile &file, TFileReadState &state,
                        const std::string &fullName, int readMode);
    // Step 2: hands the host the file from the state's position on, chunk by chunk, moving the
    // position past every chunk taken; an empty file is only positioned. False when it stopped on
    // a reported fault.
    bool SendRest(const TSendTarget &target, platform::TExclusiveFile &file, TFileReadState &state,
                  const std::string &fullName, std::int32_t chunkSize, bool decode, bool empty);
    // Step 3: reports the file sent and, when nothing was appended meanwhile, applies the read
    // mode.
    void Finish(platform::TExclusiveFile &file, TFileReadState &state, const std::string &fullName,
                int readMode, bool empty);
    // Step after a complete send: delete or empty the file as the read mode says.
    void ApplyReadMode(platform::TExclusiveFile &file, TFileReadState &state,
                       const std::string &fullName, int readMode, bool empty);

    TTransferLog log_;
    std::mutex mutex_;
    TFileStates states_;
    std::vector<char> readBuffer_;  // reused across files; bounded by kReadBlock + one chunk
    std::string decodeBuffer_;
};

}  // namespace brevor
