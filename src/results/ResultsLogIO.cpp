#include "results/ResultsLogIO.h"

#include <algorithm>
#include <cstdio>

#include "results/ResultsLogEdit.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

constexpr double kSharingWaitSeconds = 1.0;
constexpr double kMissingWaitSeconds = 5.0;
constexpr int kMissingRetries = 4;         // the fourth miss in a row gives up
constexpr size_t kReadBlockRecords = 1024; // 44 KB

// A failed step and what it was doing, for the message.
struct StepFailure {
    FileStatus status;
    const char* action = ""; // completes "「file」…"
};

std::string describe(const std::filesystem::path& path, const StepFailure& f) {
    return "「" + displayPath(path) + "」" + f.action + "（" + f.status.description + "）";
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
StepFailure appendOnce(const LogAccess& log, SharedFile& file, const ResultRecord& record,
                       bool& written) {
    FileStatus s = file.lockExclusive();
    if (!s.ok()) return {s, "をロックできません"};
    // A delete that stopped midway is finished first. Appending is sound
    // whatever state it left, so a failure to finish it does not stop the run.
    std::filesystem::path foreign;
    finishUnfinishedDelete(log.files, log.path, file, foreign);
    uint64_t length = 0;
    s = file.size(length);
    if (!s.ok()) return {s, "の長さを読めません"};
    // A record cut short by a writer that died is overwritten.
    const uint64_t offset = length / kResultRecordSize * kResultRecordSize;
    const ResultBytes bytes = encodeResultRecord(record);
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

StepFailure loadOnce(const LogAccess& log, LogReader& reader, const LogReadOptions& options,
                     LoadProgress& p) {
    p = LoadProgress{};
    FileStatus s;
    std::unique_ptr<SharedFile> file =
        OpenResultsLog(log, options.createMissing ? SharedAccess::Read : SharedAccess::Existing, s);
    if (!file) return {s, "を開けません"};
    s = finishDeleteBeforeRead(log, *file);
    // Held for the whole read: no writer begins between the length and the
    // last record.
    if (s.ok()) s = file->lockShared();
    if (!s.ok()) return {s, "を読めません"};
    reader.begin();

    p.marker = 4;
    uint64_t length = 0;
    s = file->size(length);
    if (!s.ok()) return {s, "の長さを読めません"};
    const uint64_t records = length / kResultRecordSize;
    const uint64_t first = records > options.lastRecords ? records - options.lastRecords : 0;
    reader.extent(length, records, first);

    // Read in blocks that stay in the cache while they are decoded.
    p.marker = 5;
    const uint64_t wanted = records - first;
    std::unique_ptr<unsigned char[]> block(
        new unsigned char[kReadBlockRecords * kResultRecordSize]);
    for (uint64_t done = 0; done < wanted;) {
        const uint64_t at = first + done;
        p.recordNumber = static_cast<int64_t>(at) + 1;
        const size_t count =
            static_cast<size_t>(std::min<uint64_t>(kReadBlockRecords, wanted - done));
        size_t got = 0;
        s = file->readAt(at * kResultRecordSize, block.get(), count * kResultRecordSize, got);
        if (!s.ok()) {
            // Find the record that fails, handing on those before it.
            for (size_t k = 0; k < count; ++k) {
                p.recordNumber = static_cast<int64_t>(at + k) + 1;
                size_t one = 0;
                s = file->readAt((at + k) * kResultRecordSize, block.get(), kResultRecordSize, one);
                if (!s.ok()) return {s, "を読めません"};
                if (one < kResultRecordSize) {
                    got = k * kResultRecordSize; // the file has shrunk meanwhile
                    break;
                }
                reader.block(block.get(), 1);
                p.lastRead = decodeResultRecord(block.get());
                got = (k + 1) * kResultRecordSize;
            }
            done += got / kResultRecordSize;
            if (got < count * kResultRecordSize) break;
            continue;
        }
        const size_t whole = got / kResultRecordSize;
        if (whole > 0) {
            reader.block(block.get(), whole);
            p.lastRead = decodeResultRecord(&block[(whole - 1) * kResultRecordSize]);
        }
        done += whole;
        if (whole < count) break; // the file has shrunk meanwhile
    }

    p.marker = 11;
    s = file->unlock();
    if (!s.ok()) return {s, "のロックを外せません"};
    s = file->close();
    if (!s.ok()) return {s, "を閉じられません"};
    return {};
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

} // namespace

std::unique_ptr<SharedFile> OpenResultsLog(const LogAccess& log, SharedAccess access,
                                           FileStatus& status) {
    return log.files.open(log.path, access, status);
}

LogStatus AppendResult(const LogAccess& log, const ResultRecord& record) {
    for (;;) {
        StepFailure failure;
        bool written = false;
        std::unique_ptr<SharedFile> file = OpenResultsLog(log, SharedAccess::Write, failure.status);
        if (!file) {
            failure.action = "を開けません";
        } else {
            failure = appendOnce(log, *file, record, written);
            file.reset(); // closes, and so unlocks, before any wait or message
        }
        if (failure.status.ok()) return {};
        if (failure.status.fault == FileFault::Sharing && !written) {
            waitResponsive(log.clock, log.events, kSharingWaitSeconds);
            continue;
        }
        return {failure.status.fault, "成績ランダムファイル記録" + describe(log.path, failure)};
    }
}

LogStatus readResultsLog(const LogAccess& log, LogReader& reader, const LogReadOptions& options) {
    int missing = 0;
    for (;;) {
        LoadProgress progress;
        const StepFailure failure = loadOnce(log, reader, options, progress);
        switch (failure.status.fault) {
        case FileFault::None:
            return {};
        case FileFault::Sharing:
            waitResponsive(log.clock, log.events, kSharingWaitSeconds);
            continue;
        case FileFault::NotFound:
            if (options.missingIsEmpty) {
                reader.begin();
                reader.extent(0, 0, 0);
                return {};
            }
            waitResponsive(log.clock, log.events, kMissingWaitSeconds);
            if (++missing < kMissingRetries) continue;
            break;
        case FileFault::Other:
            break;
        }
        return {failure.status.fault, loadFailureText(log.path, failure, progress)};
    }
}

} // namespace kestrel
