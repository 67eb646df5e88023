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
#include <vector>

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
// The same, unless the log holds the record's 44 bytes already, looked for
// under the same lock (`alreadyThere`, and nothing written): a run kept on
// a PC goes into the log once, even when a crash came between its append
// and the removal of its file.
LogStatus AppendResultUnlessThere(const LogAccess& log, const ResultRecord& record,
                                  bool& alreadyThere);

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

// The most recent records of the log as this program read them last (at
// most kMaxLoadedRecords), and what shows at the next load whether the log
// has only grown since: it is not shorter, its record at the place of the
// last one read still holds the same 44 bytes, the change mark
// (results/ChangeMark.h) has not moved and the file is the same file. Then
// the load reads only the records appended since and slides the window on;
// anything else, and the first load, reads the window whole. Corrections and
// deletes of this program, on any PC, move the mark; a program that changes
// records in place without it is seen at the next whole read. A whole read
// takes its records without holding the lock, so that appends on a slow
// share need not wait for it, and then checks under the lock that the mark,
// the file and the last record read are as they were (only appends came in
// between) before it reads what was appended; otherwise it reads the window
// again under the lock.
struct LogWindow {
    bool valid = false;               // a load filled it; the next one may read only what is new
    uint64_t length = 0;              // bytes of the log, a cut record at its end included
    uint64_t records = 0;             // whole records of the log
    uint64_t first = 0;               // records before the window: it holds first + 1 .. records
    std::vector<unsigned char> bytes; // those records, kResultRecordSize bytes each
    std::string mark;                 // the change mark's bytes
    FileIdentity identity;            // the log's file
    uint64_t wholeReads = 0; // loads that read the window whole, this program's first included
    // What the last load did, for the measurements: whether it read the
    // window whole, the records it found appended, and the bytes it read
    // from the log and the mark.
    bool lastWhole = false;
    uint64_t lastAppended = 0;
    uint64_t lastBytesRead = 0;

    uint64_t windowRecords() const { return bytes.size() / kResultRecordSize; }
    // The next load reads the window whole.
    void forget() { valid = false; }
};

struct WindowLoadOptions {
    // A missing folder is an empty log at once, as for the results lists.
    bool missingIsEmpty = false;
    // Whenever the window is read whole, `everyRecord` gets every record of
    // the log (not only the window's), from the same read under the same
    // lock; the window keeps the most recent ones.
    LogReader* everyRecord = nullptr;
    // Reads the window whole even when the log only grew.
    bool readWhole = false;
};

// Brings the window up to the log as it stands, with the waits and
// messages of readResultsLog. A failed load leaves it to be read whole.
LogStatus loadLogWindow(const LogAccess& log, LogWindow& window,
                        const WindowLoadOptions& options = {});

// Hands the most recent `lastRecords` records of the window (all of them at
// most) to `reader` as a read of the log would: begin, extent and blocks in
// file order.
void replayLogWindow(const LogWindow& window, LogReader& reader,
                     uint64_t lastRecords = kMaxLoadedRecords);

} // namespace kestrel
