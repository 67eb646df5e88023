#include "results/ResultsLogIO.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "results/ChangeMark.h"
#include "results/Journal.h"
#include "results/SharingRetry.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

constexpr double kMissingWaitSeconds = 5.0;
constexpr int kMissingRetries = 4;         // the fourth miss in a row gives up
constexpr size_t kReadBlockRecords = 1024; // 44 KB

std::string describe(const std::filesystem::path& path, const StepFailure& f) {
    return fileFailureText(path, f.status, f.action);
}

// Numbers in messages: up to 15 significant digits, no trailing zeros.
std::string numberText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

// One append under the lock. Sets `written` once the whole record went
// out, after which the attempt must never be repeated: a retry would write
// it twice. A write the server refused is tried again; what part of the
// record it left is overwritten, since the offset is that of the last whole
// record.
// Whether the log's whole records below `records` hold `bytes` already.
StepFailure holdsRecord(SharedFile& file, uint64_t records, const ResultBytes& bytes, bool& found) {
    found = false;
    std::vector<unsigned char> block(kReadBlockRecords * kResultRecordSize);
    for (uint64_t at = 0; at < records && !found;) {
        const uint64_t count = std::min<uint64_t>(kReadBlockRecords, records - at);
        if (FileStatus s = readExactly(file, at * kResultRecordSize, block.data(),
                                       static_cast<size_t>(count * kResultRecordSize));
            !s.ok())
            return {s, "を読めません"};
        for (uint64_t i = 0; i < count && !found; ++i)
            found = std::memcmp(block.data() + i * kResultRecordSize, bytes.data(),
                                kResultRecordSize) == 0;
        at += count;
    }
    return {};
}

// With `onlyIfMissing`, a record whose 44 bytes stand in the log already is
// not written again (`alreadyThere`): a kept run that was appended before a
// crash took its file away.
StepFailure appendOnce(const LogAccess& log, SharedFile& file, const ResultRecord& record,
                       bool& written, bool onlyIfMissing = false, bool* alreadyThere = nullptr) {
    FileStatus s = file.lockExclusive();
    if (!s.ok()) return {s, "をロックできません"};
    // A delete that stopped midway is finished first. Appending is sound
    // whatever state it left, so a failure to finish it does not stop the run.
    std::filesystem::path foreign;
    (void)finishUnfinishedDelete(log.files, log.path, file, foreign);
    uint64_t length = 0;
    s = file.size(length);
    if (!s.ok()) return {s, "の長さを読めません"};
    // A record cut short by a writer that died is overwritten.
    const uint64_t offset = length / kResultRecordSize * kResultRecordSize;
    const ResultBytes bytes = encodeResultRecord(record);
    if (onlyIfMissing) {
        bool found = false;
        if (StepFailure f = holdsRecord(file, offset / kResultRecordSize, bytes, found); f.failed())
            return f;
        if (alreadyThere) *alreadyThere = found;
        if (found) {
            s = file.unlock();
            if (!s.ok()) return {s, "のロックを外せません"};
            return {};
        }
    }
    s = file.writeAt(offset, bytes.data(), bytes.size());
    if (!s.ok()) return {s, "に書き込めません"};
    written = true;
    s = file.sync();
    if (!s.ok()) return {s, "をディスクに書き込めません"};
    s = file.unlock();
    if (!s.ok()) return {s, "のロックを外せません"};
    s = file.close();
    if (!s.ok()) return {s, "を閉じられません"};
    return {};
}

// Where a load stands, for the message when it gives up: the step under
// way, the record being read and the last record read whole.
struct LoadProgress {
    int marker = 3;
    int64_t recordNumber = 0;
    ResultRecord lastRead;
};

// Reads records from + 1 .. from + wanted into `out` in blocks that stay
// in the cache while they are decoded, and hands each block to `onBlock`
// as it comes. With `advance` every record keeps its place in `out` (the
// window); otherwise `out` holds one block and is reused. `done` counts the
// records read: fewer than wanted only where the file has shrunk meanwhile.
template <typename OnBlock>
StepFailure readBlocks(SharedFile& file, uint64_t from, uint64_t wanted, unsigned char* out,
                       bool advance, OnBlock onBlock, LoadProgress& p, uint64_t& done) {
    done = 0;
    while (done < wanted) {
        const uint64_t at = from + done;
        p.recordNumber = static_cast<int64_t>(at) + 1;
        // Into the window in one read; for decoding on the way, in blocks.
        const size_t count = static_cast<size_t>(
            std::min<uint64_t>(advance ? kMaxLoadedRecords : kReadBlockRecords, wanted - done));
        unsigned char* block = advance ? out + done * kResultRecordSize : out;
        size_t got = 0;
        FileStatus s = file.readAt(at * kResultRecordSize, block, count * kResultRecordSize, got);
        if (!s.ok()) {
            // Find the record that fails, handing on those before it.
            size_t k = 0;
            for (; k < count; ++k) {
                p.recordNumber = static_cast<int64_t>(at + k) + 1;
                unsigned char* one = advance ? block + k * kResultRecordSize : out;
                size_t n = 0;
                s = file.readAt((at + k) * kResultRecordSize, one, kResultRecordSize, n);
                if (!s.ok()) return {s, "を読めません"};
                if (n < kResultRecordSize) break; // the file has shrunk meanwhile
                onBlock(one, 1);
                p.lastRead = decodeResultRecord(one);
            }
            done += k;
            if (k < count) break;
            continue;
        }
        const size_t whole = got / kResultRecordSize;
        if (whole > 0) {
            onBlock(block, whole);
            p.lastRead = decodeResultRecord(&block[(whole - 1) * kResultRecordSize]);
        }
        done += whole;
        if (whole < count) break; // the file has shrunk meanwhile
    }
    return {};
}

// Opens the log for a load, finishes a delete a crash left and takes the
// shared lock, held for the whole read: no writer begins between the
// length and the last record.
std::unique_ptr<SharedFile> openForLoad(const LogAccess& log, bool createMissing,
                                        StepFailure& failure) {
    FileStatus s;
    std::unique_ptr<SharedFile> file =
        OpenResultsLog(log, createMissing ? SharedAccess::Read : SharedAccess::Existing, s);
    if (!file) {
        failure = {s, "を開けません"};
        return nullptr;
    }
    s = finishDeleteBeforeRead(log, *file);
    if (s.ok()) s = file->lockShared();
    if (!s.ok()) {
        failure = {s, "を読めません"};
        return nullptr;
    }
    return file;
}

StepFailure closeAfterLoad(SharedFile& file, LoadProgress& p) {
    p.marker = 11;
    FileStatus s = file.unlock();
    if (!s.ok()) return {s, "のロックを外せません"};
    s = file.close();
    if (!s.ok()) return {s, "を閉じられません"};
    return {};
}

StepFailure loadOnce(const LogAccess& log, LogReader& reader, const LogReadOptions& options,
                     LoadProgress& p) {
    p = LoadProgress{};
    StepFailure failure;
    std::unique_ptr<SharedFile> file = openForLoad(log, options.createMissing, failure);
    if (!file) return failure;
    reader.begin();

    p.marker = 4;
    uint64_t length = 0;
    const FileStatus s = file->size(length);
    if (!s.ok()) return {s, "の長さを読めません"};
    const uint64_t records = length / kResultRecordSize;
    const uint64_t first = records > options.lastRecords ? records - options.lastRecords : 0;
    reader.extent(length, records, first);

    p.marker = 5;
    std::unique_ptr<unsigned char[]> block(
        new unsigned char[kReadBlockRecords * kResultRecordSize]);
    uint64_t done = 0;
    failure = readBlocks(
        *file, first, records - first, block.get(), false,
        [&](const unsigned char* bytes, size_t count) { reader.block(bytes, count); }, p, done);
    if (!failure.status.ok()) return failure;
    return closeAfterLoad(*file, p);
}

void noBlock(const unsigned char*, size_t) {}

// Reads the window whole: the most recent records, or with `everyRecord`
// every record of the log, of which the window keeps the most recent.
StepFailure readWindowWhole(SharedFile& file, LogWindow& w, uint64_t length, LogReader* everyRecord,
                            LoadProgress& p) {
    const uint64_t records = length / kResultRecordSize;
    const uint64_t first = records > kMaxLoadedRecords ? records - kMaxLoadedRecords : 0;
    w.bytes.clear();
    w.first = first;
    w.records = first;
    uint64_t done = 0;
    if (everyRecord) {
        everyRecord->begin();
        everyRecord->extent(length, records, 0);
        std::unique_ptr<unsigned char[]> block(
            new unsigned char[kReadBlockRecords * kResultRecordSize]);
        StepFailure f = readBlocks(
            file, 0, first, block.get(), false,
            [&](const unsigned char* bytes, size_t count) { everyRecord->block(bytes, count); }, p,
            done);
        w.lastBytesRead += done * kResultRecordSize;
        if (!f.status.ok()) return f;
        if (done < first) {
            w.first = w.records = done; // the file has shrunk meanwhile
            return {};
        }
    }
    w.bytes.resize(static_cast<size_t>(records - first) * kResultRecordSize);
    StepFailure f;
    if (everyRecord)
        f = readBlocks(
            file, first, records - first, w.bytes.data(), true,
            [&](const unsigned char* bytes, size_t count) { everyRecord->block(bytes, count); }, p,
            done);
    else
        f = readBlocks(file, first, records - first, w.bytes.data(), true, noBlock, p, done);
    w.bytes.resize(static_cast<size_t>(done) * kResultRecordSize);
    w.records = first + done;
    w.lastBytesRead += done * kResultRecordSize;
    return f;
}

// Reads what was appended after the window's last record, when that record
// is still in its place; `grew` tells whether it was.
StepFailure readWindowGrowth(SharedFile& file, LogWindow& w, uint64_t records, LoadProgress& p,
                             bool& grew, LogReader* everyRecord = nullptr) {
    grew = false;
    if (w.records > 0) {
        unsigned char last[kResultRecordSize];
        size_t got = 0;
        p.recordNumber = static_cast<int64_t>(w.records);
        const FileStatus s =
            file.readAt((w.records - 1) * kResultRecordSize, last, sizeof last, got);
        if (!s.ok()) return {s, "を読めません"};
        w.lastBytesRead += got;
        if (got < sizeof last || w.bytes.size() < sizeof last ||
            std::memcmp(last, w.bytes.data() + w.bytes.size() - sizeof last, sizeof last) != 0)
            return {};
    }
    grew = true;
    w.valid = false; // until the new records are in
    const size_t kept = w.bytes.size();
    const uint64_t added = records - w.records;
    w.bytes.resize(kept + static_cast<size_t>(added) * kResultRecordSize);
    uint64_t done = 0;
    const StepFailure f = everyRecord ? readBlocks(
                                            file, w.records, added, w.bytes.data() + kept, true,
                                            [&](const unsigned char* bytes, size_t count) {
                                                everyRecord->block(bytes, count);
                                            },
                                            p, done)
                                      : readBlocks(file, w.records, added, w.bytes.data() + kept,
                                                   true, noBlock, p, done);
    w.bytes.resize(kept + static_cast<size_t>(done) * kResultRecordSize);
    w.records += done;
    w.lastAppended = done;
    w.lastBytesRead += done * kResultRecordSize;
    // Slide on: the window holds the most recent records only.
    const uint64_t held = w.windowRecords();
    if (held > kMaxLoadedRecords) {
        const uint64_t drop = held - kMaxLoadedRecords;
        w.bytes.erase(w.bytes.begin(),
                      w.bytes.begin() + static_cast<ptrdiff_t>(drop * kResultRecordSize));
        w.first += drop;
    }
    return f;
}

// What a load compares with the window: the log's length, the change mark
// and the file.
struct LogState {
    uint64_t length = 0;
    std::string mark;
    bool markRead = false;
    FileIdentity identity;
    uint64_t records() const { return length / kResultRecordSize; }
};

StepFailure readState(const LogAccess& log, SharedFile& file, LogWindow& w, LogState& state) {
    const FileStatus s = file.size(state.length);
    if (!s.ok()) return {s, "の長さを読めません"};
    state.markRead = readChangeMark(log.files, log.path, state.mark).ok();
    w.lastBytesRead += state.mark.size();
    state.identity = file.identity();
    return {};
}

// Whether the log only grew since the window was read: the same mark, the
// same file, not shorter (the last record read is checked as it is read).
bool onlyGrew(const LogWindow& w, const LogState& state) {
    return w.valid && state.markRead && state.mark == w.mark && state.identity == w.identity &&
           state.records() >= w.records;
}

StepFailure loadWindowOnce(const LogAccess& log, LogWindow& w, const WindowLoadOptions& options,
                           LoadProgress& p) {
    p = LoadProgress{};
    StepFailure failure;
    std::unique_ptr<SharedFile> file = openForLoad(log, true, failure);
    if (!file) return failure;
    // A whole read earlier in this load fed `everyRecord`, which then takes
    // what is appended after it too.
    const bool readWhole = options.readWhole && !w.lastWhole;
    LogReader* const more = w.lastWhole ? options.everyRecord : nullptr;

    p.marker = 4;
    LogState state;
    failure = readState(log, *file, w, state);
    if (!failure.status.ok()) return failure;

    p.marker = 5;
    bool grew = false;
    if (!readWhole && onlyGrew(w, state)) {
        failure = readWindowGrowth(*file, w, state.records(), p, grew, more);
        if (!failure.status.ok()) return failure;
    }
    if (!grew && state.markRead) {
        // The window whole, without the lock, so that the students' appends
        // need not wait for it on a slow share. The records read were whole
        // when the lock was held, and only a correction or a delete could
        // change them, each of which moves the mark first: once the lock is
        // held again, the check above tells whether only appends came in
        // between, and those are read then. A load that must wait for the
        // lock makes that check when it tries again.
        w.valid = false;
        w.lastWhole = true;
        ++w.wholeReads;
        FileStatus s = file->unlock();
        if (!s.ok()) return {s, "のロックを外せません"};
        failure = readWindowWhole(*file, w, state.length, options.everyRecord, p);
        if (!failure.status.ok()) return failure;
        w.length = state.length;
        w.mark = state.mark;
        w.identity = state.identity;
        w.valid = true;
        s = file->lockShared();
        if (!s.ok()) return {s, "を読めません"};
        failure = readState(log, *file, w, state);
        if (!failure.status.ok()) return failure;
        if (onlyGrew(w, state)) {
            failure = readWindowGrowth(*file, w, state.records(), p, grew, options.everyRecord);
            if (!failure.status.ok()) return failure;
            w.lastAppended = 0;
        }
    }
    if (!grew) {
        // Changed meanwhile, or no mark to tell: the whole read under the lock.
        w.valid = false;
        w.lastWhole = true;
        ++w.wholeReads;
        failure = readWindowWhole(*file, w, state.length, options.everyRecord, p);
        if (!failure.status.ok()) return failure;
    }
    w.length = state.length;
    w.mark = std::move(state.mark);
    w.identity = state.identity;
    failure = closeAfterLoad(*file, p);
    // Without the mark nothing tells the next load what changed meanwhile.
    w.valid = failure.status.ok() && state.markRead;
    return failure;
}

std::string loadFailureText(const std::filesystem::path& path, const StepFailure& f,
                            const LoadProgress& p) {
    const std::string marker = std::to_string(p.marker);
    const std::string number = std::to_string(f.status.number);
    if (f.status.fault == FileFault::NotFound)
        return "ファイルがありません" + marker + describe(path, f) + number;
    return "成績ランダムファイル表示" + marker + number + describe(path, f) + number + "/date" +
           numberText(p.lastRead.date) + "/i=" + std::to_string(p.recordNumber) +
           "/time=" + numberText(p.lastRead.timeOfDay) +
           "/name=" + "/Bangou=" + std::to_string(p.lastRead.studentNumber) +
           "/level=" + std::to_string(p.lastRead.level) +
           "/time=" + std::to_string(p.lastRead.seconds) + "line" + marker;
}

// Runs a load until it ends otherwise than on another PC's lock: a log held
// elsewhere is tried again every second without limit, a missing folder
// every five seconds up to the fourth miss (or is an empty log at once with
// `missingIsEmpty`, given to `empty`); any other failure gives up at once.
template <typename Once, typename Empty>
LogStatus retryLoad(const LogAccess& log, bool missingIsEmpty, Once once, Empty empty) {
    int missing = 0;
    return retryWhileShared(log, [&]() -> SharedTry<LogStatus> {
        for (;;) {
            LoadProgress progress;
            const StepFailure failure = once(progress);
            switch (failure.status.fault) {
            case FileFault::None:
                return {};
            case FileFault::Sharing:
                return heldElsewhere<LogStatus>();
            case FileFault::NotFound:
                if (missingIsEmpty) {
                    empty();
                    return {};
                }
                waitResponsive(log.clock, log.events, kMissingWaitSeconds);
                if (++missing < kMissingRetries) continue;
                break;
            case FileFault::Refused:
            case FileFault::NoSpace:
            case FileFault::Other:
                break;
            }
            return {false, {failure.status.fault, loadFailureText(log.path, failure, progress)}};
        }
    });
}

} // namespace

std::unique_ptr<SharedFile> OpenResultsLog(const LogAccess& log, SharedAccess access,
                                           FileStatus& status) {
    return log.files.open(log.path, access, status);
}

// The record comes complete, its date and time those of the run's end:
// every retry while another PC holds the log writes the same 44 bytes.
static LogStatus appendResult(const LogAccess& log, const ResultRecord& record, bool onlyIfMissing,
                              bool* alreadyThere) {
    return retryWhileShared(log, [&]() -> SharedTry<LogStatus> {
        StepFailure failure;
        bool written = false;
        std::unique_ptr<SharedFile> file = OpenResultsLog(log, SharedAccess::Write, failure.status);
        if (!file) {
            failure.action = "を開けません";
        } else {
            failure = appendOnce(log, *file, record, written, onlyIfMissing, alreadyThere);
            file.reset(); // closes, and so unlocks, before any wait or message
        }
        if (failure.status.ok()) return {};
        if (failure.status.fault == FileFault::Sharing && !written)
            return heldElsewhere<LogStatus>();
        return {false,
                {failure.status.fault, "成績ランダムファイル記録" + describe(log.path, failure)}};
    });
}

LogStatus AppendResult(const LogAccess& log, const ResultRecord& record) {
    return appendResult(log, record, false, nullptr);
}

LogStatus AppendResultUnlessThere(const LogAccess& log, const ResultRecord& record,
                                  bool& alreadyThere) {
    alreadyThere = false;
    return appendResult(log, record, true, &alreadyThere);
}

LogStatus readResultsLog(const LogAccess& log, LogReader& reader, const LogReadOptions& options) {
    return retryLoad(
        log, options.missingIsEmpty,
        [&](LoadProgress& p) { return loadOnce(log, reader, options, p); },
        [&] {
            reader.begin();
            reader.extent(0, 0, 0);
        });
}

LogStatus loadLogWindow(const LogAccess& log, LogWindow& window, const WindowLoadOptions& options) {
    window.lastWhole = false;
    window.lastAppended = 0;
    window.lastBytesRead = 0;
    return retryLoad(
        log, options.missingIsEmpty,
        [&](LoadProgress& p) { return loadWindowOnce(log, window, options, p); },
        [&] {
            const uint64_t wholeReads = window.wholeReads;
            window = LogWindow{};
            window.wholeReads = wholeReads + 1;
            window.lastWhole = true;
            if (options.everyRecord) {
                options.everyRecord->begin();
                options.everyRecord->extent(0, 0, 0);
            }
        });
}

void replayLogWindow(const LogWindow& window, LogReader& reader, uint64_t lastRecords) {
    const uint64_t held = window.windowRecords();
    const uint64_t count = std::min(held, lastRecords);
    reader.begin();
    reader.extent(window.length, window.records, window.records - count);
    // One block: the records are in memory already.
    if (count > 0)
        reader.block(window.bytes.data() + (held - count) * kResultRecordSize,
                     static_cast<size_t>(count));
}

} // namespace kestrel
