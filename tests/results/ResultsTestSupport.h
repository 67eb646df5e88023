#pragma once
// A context whose data folder is a fresh temporary folder, with criteria for
// the drill's levels, and helpers that lay out result logs byte by byte.
#include <memory>
#include <string>
#include <vector>

#include "context/Procedures.h"
#include "results/ResultRecord.h"
#include "startup/Calendar.h"
#include "support/FakeSharedFile.h"
#include "support/Fakes.h"

namespace kestrel::test {

struct LogContext : TestContext {
    TempDir dir;

    LogContext() {
        ctx.folders.DataFolder = dir.path().string() + "/";
        ctx.program.ProgramTitle = "がい数ドリル";
        ctx.config.SchoolCode = "A01";
        clock.set(CivilDate{2025, 6, 10}, 10 * 3600.0);
        setUniformCriteria(ctx, 5);
    }

    std::filesystem::path log() const { return resultsLogPath(ctx.folders); }
    double today() const { return static_cast<double>(dayNumber(CivilDate{2025, 6, 10})); }
    void signIn(int16_t student, int16_t level) {
        ctx.state.CurrentStudentNumber = student;
        ctx.state.CurrentLevel = level;
    }
    // Appends the current run (RunTime at CurrentLevel) as the drill does.
    LogStatus append() {
        return AppendResult(resultsLog(ctx), currentRunRecord(ctx, ctx.state.CurrentLevel));
    }
};

inline ResultRecord runRecord(double date, int student, int level, int32_t seconds) {
    ResultRecord r;
    r.date = date;
    r.timeOfDay = 0.5;
    r.studentNumber = static_cast<int16_t>(student);
    r.level = static_cast<int16_t>(level);
    r.seconds = seconds;
    return r;
}

inline std::string logBytes(const std::vector<ResultRecord>& records,
                            const std::string& tail = "") {
    std::string bytes;
    bytes.reserve(records.size() * kResultRecordSize + tail.size());
    for (const ResultRecord& r : records) {
        const ResultBytes b = encodeResultRecord(r);
        bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
    }
    return bytes + tail;
}

inline std::vector<ResultRecord> decodeLog(const std::string& bytes) {
    std::vector<ResultRecord> out;
    for (size_t at = 0; at + kResultRecordSize <= bytes.size(); at += kResultRecordSize)
        out.push_back(
            decodeResultRecord(reinterpret_cast<const unsigned char*>(bytes.data() + at)));
    return out;
}

// The same on an in-memory share that fails and crashes on command, its
// log holding `bytes`, all of it on the storage.
struct FakeShareLog : LogContext {
    FakeSharedFileSystem* files = nullptr;

    explicit FakeShareLog(const std::string& bytes = {}) {
        auto fake = std::make_unique<FakeSharedFileSystem>();
        files = fake.get();
        ctx.sharedFiles = std::move(fake);
        files->files[log()] = bytes;
        files->settle();
    }
    std::string& bytes() { return files->files[log()]; }
    LogAccess access() { return resultsLog(ctx); }
    // An older program's append: whatever the log's state, after its last whole record.
    void oldAppend(const ResultRecord& r) {
        std::string& b = bytes();
        b.resize(b.size() / kResultRecordSize * kResultRecordSize);
        b += logBytes({r});
    }
};

// Records 1 to n (or from `from`), one a day, of students and levels that vary.
inline std::vector<ResultRecord> numbered(int n, int from = 1) {
    std::vector<ResultRecord> out;
    for (int i = from; i < from + n; ++i)
        out.push_back(runRecord(45000 + i, i, 1 + i % 5, 100 + i));
    return out;
}

} // namespace kestrel::test
