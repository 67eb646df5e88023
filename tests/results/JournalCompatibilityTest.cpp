// Files of deletes and restores written by earlier builds stay readable, and
// this build writes the same bytes: tests/data/journal holds, for each place
// a change can stop at, the files as an earlier build left them, and what
// its next open of the log made of them. Every case is made again here and
// compared byte for byte (the change mark's random part aside), then the
// stored files are finished by this build and compared with the stored end.
//
// KESTREL_WRITE_JOURNAL_FILES=1 writes the folder anew from this build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "context/Procedures.h"
#include "platform/Utf8Path.h"
#include "results/ChangeMark.h"
#include "results/DeletedRecords.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsTestSupport.h"
#include "support/FakeSharedFile.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

const std::filesystem::path kFolder = std::filesystem::path(KESTREL_TEST_DATA_DIR) / "journal";

// The files of one case under short names.
using Files = std::map<std::string, std::string>;

struct Share : FakeShareLog {
    using FakeShareLog::FakeShareLog;
    const std::map<std::string, std::filesystem::path> names() const {
        return {{"log.dat", log()},
                {"plan.dat", deletePlanPath(log())},
                {"temp.dat", resultsTempPath(log())},
                {"deleted.dat", deletedRecordsPath(log())},
                {"mark.dat", changeMarkPath(log())}};
    }
    // Every file as it stands, under `prefix` + its short name.
    void take(Files& out, const std::string& prefix = "") {
        for (const auto& [name, path] : names())
            if (files->files.count(path)) out[prefix + name] = files->files[path];
    }
    void put(const Files& in) {
        for (const auto& [name, path] : names())
            if (in.count(name)) files->files[path] = in.at(name);
        files->settle();
    }
};

struct Stop {};

// Where a case stops: a delete or a restore after one of its steps, or never.
struct Case {
    const char* name;
    int deleted;     // the record deleted from numbered(5)
    bool restore;    // a restore of it after the delete
    int stopAfter;   // the step (DeleteStep or RestoreStep) to stop after; -1 runs to the end
    bool oldAppends; // records an older program appends before the next open
};

const Case kCases[] = {
    {"delete-plan-written", 2, false, int(DeleteStep::PlanWritten), false},
    {"delete-records-moved", 2, false, int(DeleteStep::RecordsMoved), false},
    {"delete-records-moved-appended", 2, false, int(DeleteStep::RecordsMoved), true},
    {"delete-truncated", 2, false, int(DeleteStep::Truncated), false},
    {"delete-entry-stored", 2, false, int(DeleteStep::EntryStored), false},
    {"delete-last-plan-written", 5, false, int(DeleteStep::PlanWritten), false},
    {"delete-done", 2, false, -1, false},
    {"restore-plan-written", 2, true, int(RestoreStep::PlanWritten), false},
    {"restore-record-appended", 2, true, int(RestoreStep::RecordAppended), false},
    {"restore-entry-marked", 2, true, int(RestoreStep::EntryMarked), false},
    {"restore-done", 2, true, -1, false},
};

// Runs a case with this build: the files where it stopped, and those the
// next open leaves ("end-" before their names).
Files runCase(const Case& c) {
    const auto records = numbered(5);
    Share t(logBytes(records));
    try {
        const auto deleteHook = [&](DeleteStep s) {
            if (!c.restore && int(s) == c.stopAfter) throw Stop{};
        };
        EXPECT_TRUE(deleteResultRecord(t.access(), uint64_t(c.deleted),
                                       encodeResultRecord(records[c.deleted - 1]), deleteHook)
                        .ok());
        if (c.restore) {
            t.clock.advance(90);
            std::vector<DeletedRecord> entries;
            EXPECT_TRUE(readDeletedRecords(t.access(), entries).ok());
            EXPECT_EQ(entries.size(), 1u);
            uint64_t as = 0;
            const auto restoreHook = [&](RestoreStep s) {
                if (int(s) == c.stopAfter) throw Stop{};
            };
            EXPECT_TRUE(restoreDeletedRecord(t.access(), entries.at(0), as, restoreHook).ok());
        }
    } catch (const Stop&) {
    }
    if (c.oldAppends)
        for (const ResultRecord& r : numbered(2, 900))
            t.oldAppend(r);
    Files out;
    t.take(out);
    EXPECT_TRUE(LoadResults(t.ctx)) << c.name;
    t.take(out, "end-");
    return out;
}

// Byte for byte, but for the change mark's random number after its magic and counter.
bool sameFile(const std::string& name, const std::string& a, const std::string& b) {
    if (name.find("mark.dat") == std::string::npos) return a == b;
    return a.size() == b.size() && a.substr(0, 16) == b.substr(0, 16);
}

bool writing() {
    const char* v = std::getenv("KESTREL_WRITE_JOURNAL_FILES");
    return v && std::string(v) == "1";
}

} // namespace

TEST(JournalFiles, ThisBuildWritesWhatEarlierBuildsWrote) {
    for (const Case& c : kCases) {
        const Files made = runCase(c);
        const std::filesystem::path dir = kFolder / c.name;
        if (writing()) {
            std::filesystem::remove_all(dir);
            std::filesystem::create_directories(dir);
            for (const auto& [name, bytes] : made)
                writeBytes(dir / name, bytes);
            continue;
        }
        ASSERT_TRUE(std::filesystem::is_directory(dir)) << dir;
        Files stored;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            stored[utf8OfPath(entry.path().filename())] = readBytes(entry.path());
        ASSERT_EQ(made.size(), stored.size()) << c.name;
        for (const auto& [name, bytes] : stored) {
            ASSERT_TRUE(made.count(name)) << c.name << " " << name;
            EXPECT_TRUE(sameFile(name, made.at(name), bytes)) << c.name << " " << name;
        }
    }
}

TEST(JournalFiles, AnEarlierBuildsStoppedChangeIsFinishedAsItWouldFinishIt) {
    if (writing()) GTEST_SKIP();
    const auto records = numbered(5);
    for (const Case& c : kCases) {
        const std::filesystem::path dir = kFolder / c.name;
        Files stored;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            stored[utf8OfPath(entry.path().filename())] = readBytes(entry.path());
        // The plan under the earlier versions' temporary name is finished
        // as well, when it is a delete's whole plan.
        for (bool designName : {false, true}) {
            if (designName && (c.restore || !stored.count("plan.dat"))) continue;
            Files start = stored;
            if (designName) {
                start["temp.dat"] = start["plan.dat"];
                start.erase("plan.dat");
            }
            Share t;
            t.put(start);
            ASSERT_TRUE(LoadResults(t.ctx)) << c.name;
            Files end;
            t.take(end);
            const std::string what = std::string(c.name) + (designName ? " as temp" : "");
            EXPECT_EQ(end.count("plan.dat") + end.count("temp.dat"), 0u) << what;
            EXPECT_EQ(end["log.dat"], stored["end-log.dat"]) << what;
            EXPECT_EQ(end["deleted.dat"], stored["end-deleted.dat"]) << what;
            // Nothing lost or doubled: a whole delete plan is carried
            // through, a restore whose record is not in the log yet is
            // dropped, and the deleted record is in the file of deleted
            // records once, marked when it is back in the log.
            auto expected = records;
            const bool restored = c.restore && c.stopAfter != int(RestoreStep::PlanWritten);
            expected.erase(expected.begin() + (c.deleted - 1));
            if (c.oldAppends)
                for (const ResultRecord& r : numbered(2, 900))
                    expected.push_back(r);
            if (restored) expected.push_back(records[c.deleted - 1]);
            EXPECT_EQ(end["log.dat"], logBytes(expected)) << what;
            const auto entries = parseDeletedRecords(end["deleted.dat"]);
            ASSERT_EQ(entries.size(), 1u) << what;
            EXPECT_EQ(entries[0].restored, restored) << what;
        }
    }
}
