#pragma once
// The shared results log on disk: opening it, appending one record, and
// reading its most recent records, with the waits and retries of the sharing
// protocol (see platform/SharedFile.h). Every PC appends to the same file.
// The functions return what went wrong; whether to show it and end the
// program, or to report it and carry on, is the caller's choice. Both first
// finish a delete that a crash stopped midway (results/ResultsLogEdit.h).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/SharedFile.h"
#include "results/ResultRecord.h"

namespace kestrel {

constexpr int32_t kMaxLoadedRecords = 20000; // the most recent records a load reads

// Where the log lies, and the clock and event pump its waits use.
struct LogAccess {
    SharedFileSystem& files;
    std::filesystem::path path;
    Clock& clock;
    EventPump& events;
};

struct LogStatus {
    FileFault fault = FileFault::None;
    // For the teacher: the procedure's name and progress marker, what
    // failed on which file and the system's text for it.
    std::string message;
    bool ok() const { return fault == FileFault::None; }
};

// Opens the log (a missing log is created empty). Null on failure, with
// `status` telling why.
std::unique_ptr<SharedFile> OpenResultsLog(const LogAccess& log, SharedAccess access,
                                           FileStatus& status);

// Appends `record` after the last whole record, under the log's exclusive
// lock. A log held by another PC is tried again every second without limit;
// any other failure is returned ("成績ランダムファイル記録…"). OK only once
// the record is on disk. A failure after the record's bytes went out is
// never retried, so that a record is never written twice.
LogStatus AppendResult(const LogAccess& log, const ResultRecord& record);

// Takes the records of a load, block by block in file order. A load starts
// over after a wait for a held log: begin() comes before every attempt.
class LogReader {
public:
    virtual ~LogReader() = default;
    virtual void begin() = 0;
    // The log is `bytes` long (a cut record at its end included) and holds
    // `records` whole records; the load starts after record `skipped`
    // (records are numbered from 1). Comes after begin() once the length is
    // known, before the first block.
    virtual void extent(uint64_t bytes, uint64_t records, uint64_t skipped) {
        (void)bytes;
        (void)records;
        (void)skipped;
    }
    // `count` whole records of kResultRecordSize bytes at `bytes`.
    virtual void block(const unsigned char* bytes, size_t count) = 0;
};

// Every whole record of the log, for the teacher's tools and the export.
inline constexpr uint64_t kWholeLog = UINT64_MAX;

// Which records a load takes, and what a missing log means to it.
struct LogReadOptions {
    uint64_t lastRecords = kMaxLoadedRecords; // the most recent records, at most (or kWholeLog)
    // A missing folder is an empty log at once (a results list shows
    // nothing) instead of being waited for.
    bool missingIsEmpty = false;
    // A reader that must leave the folder as it is (an export) never creates
    // a missing log.
    bool createMissing = true;
};

// Reads the most recent whole records into `reader`. A log held by another
// PC is tried again every second without limit, a missing folder every five
// seconds up to the fourth miss; any other failure gives up at once. The
// message names the progress marker and, for a failed read, the number of
// the record that failed and the fields of the last record read.
LogStatus readResultsLog(const LogAccess& log, LogReader& reader,
                         const LogReadOptions& options = {});

} // namespace kestrel
