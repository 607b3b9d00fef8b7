#include "engine/file_transfer.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/paths.h"
#include "rtl/hex.h"

namespace brevor {

namespace {

// Files are read in blocks of about this size and handed out in chunks; a block always holds a
// whole number of chunks so every chunk but a file's last is full.
constexpr std::int64_t kReadBlock = 1 << 20;

}  // namespace

// ---------------------------------------------------------------- outcomes

const TOutcomeInfo kTransferOutcomes[11] = {
    {TTransferOutcome::InvalidBlockSize, "InvalidBlockSize", 0, TOutcomeArgs::Number},
    {TTransferOutcome::FileNotExist, "FileNotExist", 0, TOutcomeArgs::Path},
    {TTransferOutcome::ErrorOpeningFile, "ErrorOpeningFile", 0, TOutcomeArgs::Path},
    {TTransferOutcome::ErrorGetMem, "ErrorGetMem", 0, TOutcomeArgs::Path},
    {TTransferOutcome::ErrorReadingFile, "ErrorReadingFile", 0, TOutcomeArgs::Path},
    {TTransferOutcome::FileDataNotExported, "FileDataNotExported", 0, TOutcomeArgs::PathAndNumber},
    {TTransferOutcome::FileDataExported, "FileDataExported", 2, TOutcomeArgs::PathAndNumber},
    {TTransferOutcome::FileDeleted, "FileDeleted", 2, TOutcomeArgs::Path},
    {TTransferOutcome::ErrorDeletingFile, "ErrorDeletingFile", 0, TOutcomeArgs::Path},
    {TTransferOutcome::FileTruncated, "FileTruncated", 2, TOutcomeArgs::Path},
    {TTransferOutcome::ErrorTruncatingFile, "ErrorTruncatingFile", 0, TOutcomeArgs::Path},
};

const TOutcomeInfo &OutcomeInfo(TTransferOutcome outcome) {
    return kTransferOutcomes[static_cast<size_t>(outcome)];
}

// ---------------------------------------------------------------- states

TFileReadState *TFileStates::Find(std::string_view fullName) {
    const auto it = index_.find(platform::PathKey(fullName));
    return it == index_.end() ? nullptr : &entries_[it->second].state;
}

TFileReadState &TFileStates::FindOrAdd(std::string_view fullName) {
    auto [it, added] = index_.try_emplace(platform::PathKey(fullName), entries_.size());
    if (added) entries_.push_back(Entry{std::string(fullName), TFileReadState{}});
    return entries_[it->second].state;
}

void TFileStates::RemoveIf(const std::function<bool(const std::string &)> &gone) {
    size_t kept = 0;
    bool removed = false;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (gone(entries_[i].fullName)) {
            removed = true;
            continue;
        }
        if (kept != i) entries_[kept] = std::move(entries_[i]);
        ++kept;
    }
    if (!removed) return;
    entries_.resize(kept);
    index_.clear();
    for (size_t i = 0; i < entries_.size(); ++i)
        index_.emplace(platform::PathKey(entries_[i].fullName), i);
}

void TFileStates::Clear() {
    entries_.clear();
    index_.clear();
}

// ---------------------------------------------------------------- decoding

std::size_t DecodeText(const char *s, std::size_t n, std::string &out) {
    out.resize(n);
    char *d = out.data();
    std::size_t o = 0;
    std::size_t i = 0;
    while (i < n) {
        const char c = s[i];
        if (c == '#') {
            if (i + 1 < n && s[i + 1] == '#') {
                d[o++] = '#';
                i += 2;
                continue;
            }
            if (i + 2 < n) {
                const int hi = HexDigitValue(s[i + 1]);
                const int lo = HexDigitValue(s[i + 2]);
                if (hi >= 0 && lo >= 0) {
                    d[o++] = static_cast<char>(hi * 16 + lo);
                    i += 3;
                    continue;
                }
            }
        }
        d[o++] = c;
        ++i;
    }
    out.resize(o);
    return o;
}

std::string DecodeText(std::string_view text) {
    std::string out;
    DecodeText(text.data(), text.size(), out);
    return out;
}

// ---------------------------------------------------------------- engine

std::string TFileTransfer::FullName(std::string_view folder, std::string_view fileName) {
    std::string full(folder);
    if (!full.empty() && !platform::IsPathSeparator(full.back())) full += platform::PathSeparator();
    full += fileName;
    return full;
}

void TFileTransfer::ProcessFile(const TSendTarget &target, std::string_view folder,
                                std::string_view fileName, std::int32_t chunkSize, bool decode,
                                int readMode) {
    const std::string fullName = FullName(folder, fileName);
    std::lock_guard lock(mutex_);
    Process(target, fullName, chunkSize, decode, readMode);
}

void TFileTransfer::Process(const TSendTarget &target, const std::string &fullName,
                            std::int32_t chunkSize, bool decode, int readMode) {
    using enum TTransferOutcome;
    // A negative size must never size a buffer; it is as invalid as 0.
    if (chunkSize <= 0) {
        log_(InvalidBlockSize, fullName, chunkSize);
        return;
    }
    platform::TOpenResult opened = platform::TOpenResult::Failed;
    auto file = platform::TExclusiveFile::Open(fullName, &opened);
    switch (opened) {
        case platform::TOpenResult::Opened:
            break;
        case platform::TOpenResult::Missing:
            log_(FileNotExist, fullName, 0);
            return;
        case platform::TOpenResult::NotRegular:
            return;  // links and special files are not the feed's; the listing leaves them out
        case platform::TOpenResult::Busy:
        case platform::TOpenResult::Failed:
            log_(ErrorOpeningFile, fullName, 0);
            return;
    }

    TFileReadState *state = nullptr;
    try {
        state = &states_.FindOrAdd(fullName);
    } catch (const std::bad_alloc &) {
        log_(ErrorGetMem, fullName, 0);
        return;
    }

    // The file stays open (locked, and leased where a lease can be had) through all three steps.
    const TSendPlan plan = Reconcile(*file, *state, fullName, readMode);
    switch (plan) {
        case TSendPlan::Nothing:
            return;
        case TSendPlan::ActionOnly:
            ApplyReadMode(*file, *state, fullName, readMode, false);
            return;
        case TSendPlan::Rest:
        case TSendPlan::EmptyFile:
            break;
    }
    const bool empty = plan == TSendPlan::EmptyFile;
    if (!SendRest(target, *file, *state, fullName, chunkSize, decode, empty)) return;
    Finish(*file, *state, fullName, readMode, empty);
}

TFileTransfer::TSendPlan TFileTransfer::Reconcile(platform::TExclusiveFile &file,
                                                  TFileReadState &state,
                                                  const std::string &fullName, int readMode) {
    using enum TTransferOutcome;
    // A name now given to another file (replaced by rename, or deleted and created again) starts
    // over: the size alone cannot tell a replacement that is as long as or longer than the part
    // already sent.
    const std::uint64_t fileId = file.Identity();
    if (state.FileId != fileId) {
        if (state.FileId != 0) state = TFileReadState{};
        state.FileId = fileId;
    }

    const std::int64_t size = file.Size();
    if (size < 0) {
        log_(ErrorReadingFile, fullName, 0);
        return TSendPlan::Nothing;
    }
    if (!file.IsGuarded()) {
        // Without a lease a writer may hold the file open unseen: take it only once its size and
        // change time have stood still since the previous scan.
        const std::int64_t changed = file.ChangeTime();
        if (size != state.SeenSize || changed != state.SeenChange) {
            state.SeenSize = size;
            state.SeenChange = changed;
            return TSendPlan::Nothing;
        }
    }
    TSendPlan plan = TSendPlan::Rest;
    if (size == 0) {
        plan = TSendPlan::EmptyFile;
        state.SentBytes = 0;
        state.Position = 0;
    } else if (size == state.Position) {
        state.SentBytes = 0;
        if (readMode == ReadFromBeginning) {
            state.Position = 0;
        } else if (state.ActionDue) {
            plan = TSendPlan::ActionOnly;  // sent completely before; only the action is left
        } else {
            return TSendPlan::Nothing;
        }
    } else if (size < state.Position) {
        state.SentBytes = 0;
        state.Position = 0;
    }
    state.ActionDue = false;
    return plan;
}

bool TFileTransfer::SendRest(const TSendTarget &target, platform::TExclusiveFile &file,
                             TFileReadState &state, const std::string &fullName,
                             std::int32_t chunkSize, bool decode, bool empty) {
    using enum TTransferOutcome;
    if (!file.Seek(state.Position)) {
        log_(ErrorReadingFile, fullName, 0);
        return false;
    }
    if (empty) return true;

    const std::int64_t chunk = chunkSize;
    std::int64_t block = chunk >= kReadBlock ? chunk : (kReadBlock / chunk) * chunk;
    // A chunk size far beyond the file (up to 2 GiB) must not size the buffer: a 32-bit process
    // cannot have one that large, and no process needs it. The block still holds whole chunks
    // where the rest is longer than one; bytes appended during the send are read in further
    // passes.
    const std::int64_t left = file.Size() - state.Position;
    if (left > 0 && left < block) block = left < chunk ? left : (left + chunk - 1) / chunk * chunk;
    if (static_cast<std::int64_t>(readBuffer_.size()) < block) {
        try {
            readBuffer_.assign(static_cast<size_t>(block), 0);
        } catch (const std::bad_alloc &) {
            log_(ErrorGetMem, fullName, 0);
            return false;
        }
    }
    std::int64_t offset = state.Position;  // file offset of the next byte to hand out
    for (;;) {
        const std::int64_t got = file.Read(readBuffer_.data(), block);
        if (got < 0) {
            // Position stays at the first byte the host has not taken.
            log_(ErrorReadingFile, fullName, 0);
            return false;
        }
        if (got == 0) break;
        for (std::int64_t at = 0; at < got; at += chunk) {
            state.Position = offset + at;
            const char *bytes = readBuffer_.data() + at;
            std::int64_t n = std::min(chunk, got - at);
            if (decode) {
                n = static_cast<std::int64_t>(
                    DecodeText(bytes, static_cast<size_t>(n), decodeBuffer_));
                bytes = decodeBuffer_.data();
            }
            const std::int32_t taken =
                target.fSendData == nullptr
                    ? -1
                    : target.fSendData(target.hostContext, target.dataSourceId, 0, bytes,
                                       static_cast<std::int32_t>(n));
            if (taken < 0) {
                log_(FileDataNotExported, fullName, n);
                return false;
            }
            state.SentBytes += n;
        }
        offset += got;
        state.Position = offset;
        if (got < block) break;  // end of file reached inside this block
    }
    state.Position = offset;
    return true;
}

void TFileTransfer::Finish(platform::TExclusiveFile &file, TFileReadState &state,
                           const std::string &fullName, int readMode, bool empty) {
    using enum TTransferOutcome;
    // The lock and the lease are still held: no writer can append between these size checks
    // and the read-mode action, so nothing appended meanwhile can be deleted unsent.
    const std::int64_t size2 = file.Size();
    if (size2 <= state.Position) log_(FileDataExported, fullName, state.SentBytes);
    if (file.Size() > state.Position) return;
    ApplyReadMode(file, state, fullName, readMode, empty);
}

void TFileTransfer::ApplyReadMode(platform::TExclusiveFile &file, TFileReadState &state,
                                  const std::string &fullName, int readMode, bool empty) {
    using enum TTransferOutcome;
    const bool removes = readMode == ReadAndDel || (readMode == ReadAndTrunc && !empty);
    if (!removes) return;
    if (file.WriterWaiting()) {
        // A writer has looked the name up and waits for the lease: removing the name now would
        // let it write into a file nobody can reach. What it writes is sent at a later scan,
        // and the action is taken then.
        state.ActionDue = true;
        return;
    }
    if (readMode == ReadAndDel) {
        if (file.Delete()) {
            state = TFileReadState{};  // a new file of this name starts at 0
            log_(FileDeleted, fullName, 0);
        } else {
            log_(ErrorDeletingFile, fullName, 0);
        }
        return;
    }
    if (file.Empty()) {
        state = TFileReadState{};  // the empty file is a new one
        log_(FileTruncated, fullName, 0);
    } else {
        log_(ErrorTruncatingFile, fullName, 0);
    }
}

void TFileTransfer::PruneFileStates(const std::unordered_set<std::string> &listed) {
    std::lock_guard lock(mutex_);
    states_.RemoveIf([&](const std::string &fullName) {
        return listed.count(fullName) == 0 && !platform::FileExists(fullName);
    });
}

void TFileTransfer::PruneFileStates() {
    std::lock_guard lock(mutex_);
    states_.RemoveIf([](const std::string &fullName) { return !platform::FileExists(fullName); });
}

}  // namespace brevor
