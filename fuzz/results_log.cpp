// The results log loaded into the summary: any bytes, whole records or not,
// from an in-memory share. Every kept record is one the loader must keep,
// the best times are the lowest of the records, no lock or descriptor is
// left behind, and the rules and the name list's figures work on the result.
// A run recorded afterwards goes after the last whole record and leaves
// every record before it as it was.
#include <algorithm>
#include <memory>

#include "FuzzTarget.h"
#include "results/ResultsRules.h"
#include "results/ResultsSummary.h"
#include "results/RunRecording.h"
#include "roster/Roster.h"
#include "startup/CriteriaTable.h"
#include "support/FakeSharedFile.h"
#include "support/Fakes.h"

using namespace kestrel;

namespace {

// The demo school's criteria, and criteria at the edges of their values.
CriteriaTable criteriaFrom(const char* text) {
    return parseCriteriaTable(text);
}
const CriteriaTable& schoolCriteria() {
    static const CriteriaTable t =
        criteriaFrom("目標Time,最低Time,ｸﾘｱﾎﾟｲﾝﾄ,ｸﾘｱ回数,ﾎﾟｲﾝﾄ倍率,禁回,禁点,"
                     "判期間,禁期間,,,\r\n"
                     "30,60,50,5,1,10,200,14,1,,,\r\n"
                     "60,120,50,5,1,10,200,14,1,,,\r\n"
                     "70,140,60,5,1.2,10,240,14,1,,,\r\n"
                     "80,160,60,5,1.5,10,300,14,1,,,\r\n"
                     "90,180,80,6,2,10,400,14,1,,,\r\n");
    return t;
}
const CriteriaTable& edgeCriteria() {
    static const CriteriaTable t = [] {
        const std::string huge(400, '9');
        std::string text = "a,b,c,d,e,f,g,h,i,,,\r\n";
        text += huge + ",0," + huge + "," + huge + "," + huge + "," + huge + "," + huge + "," +
                huge + "," + huge + ",,,\r\n";
        text += "-5,-5,-5,-5,-" + huge + ",-1,-1,-" + huge + ",-" + huge + ",,,\r\n";
        text += "1,1,1,1,0.0000001,1,1,0,0,,,\r\n";
        text += "0,0,0,0,0,0,0,0,0,,,\r\n";
        return criteriaFrom(text.c_str());
    }();
    return t;
}

struct Load {
    test::FakeSharedFileSystem files;
    test::FakeClock clock;
    test::FakeEventPump events{&clock};
    LogAccess log{files, "/srv/学校/共有データ/Kestrel/成績累積データ.dat", clock, events};
};

void checkLoaded(const ResultsSummary& summary, const RunEntries& entries, std::string_view log) {
    const size_t records = log.size() / kResultRecordSize;
    const size_t first = records > kMaxLoadedRecords ? records - kMaxLoadedRecords : 0;
    size_t kept = 0;
    for (size_t i = first; i < records; ++i) {
        const ResultRecord r =
            decodeResultRecord(reinterpret_cast<const unsigned char*>(&log[i * kResultRecordSize]));
        if (inSummaryTables(r.level, r.studentNumber))
            FUZZ_CHECK(summary.bestTime[static_cast<size_t>(r.level)]
                                       [static_cast<size_t>(r.studentNumber)] <= r.seconds);
        if (!(r.date >= 0 && r.studentNumber != 0 && r.level >= 1)) continue;
        FUZZ_CHECK(kept < entries.entrySlots.size());
        const RunEntry& e = entries.entrySlots[kept++];
        FUZZ_CHECK(e.studentNumber == r.studentNumber && e.level == r.level &&
                   e.seconds == r.seconds);
    }
    FUZZ_CHECK(kept == entries.entrySlots.size());
    for (int level = 1; level <= kMaxLevel; ++level) {
        const auto L = static_cast<size_t>(level);
        FUZZ_CHECK(summary.overallBest[L] <= kNoTime);
        for (size_t s = 1; s <= static_cast<size_t>(kOverallBestStudents); ++s)
            FUZZ_CHECK(summary.overallBest[L] <= summary.bestTime[L][s]);
    }
}

// What the level menu, the end screen and the name list read from it, for
// the students of the log.
void useFigures(const ResultsSummary& summary, const CriteriaTable& criteria,
                const RunEntries& entries) {
    for (const RunEntry& e : entries.entrySlots) {
        if (!inSummaryTables(e.level, e.studentNumber)) continue;
        (void)LevelCleared(summary, criteria, e.level, e.studentNumber);
        (void)OverPractice(summary, criteria, e.level, e.studentNumber);
        (void)todayRunCount(summary, e.studentNumber);
        const StudentFigures f = studentFigures(summary, e.studentNumber);
        FUZZ_CHECK(f.countAll >= 0 && f.countToday >= 0);
        (void)(todayRunsText(f.countToday) + todayPointsText(f.pointsToday) +
               totalRunsText(f.countAll) + totalPointsText(f.pointsAll));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto summary = std::make_unique<ResultsSummary>();
    const std::string_view bytes = fuzz::bytesOf(data, size);
    // Every other number of records meets the criteria at their edges.
    const CriteriaTable* criteria =
        (size / kResultRecordSize) % 2 == 0 ? &schoolCriteria() : &edgeCriteria();
    {
        Load load;
        load.clock.set(CivilDate{2025, 6, 10}, 10 * 3600.0);
        load.files.files[load.log.path] = std::string(bytes);
        RunEntries entries;
        const LogStatus status = BuildSummary(*summary, entries, *criteria, load.log);
        FUZZ_CHECK(status.ok());
        FUZZ_CHECK(load.files.openNow == 0 && !load.files.locked);
        FUZZ_CHECK(load.files.files[load.log.path] == bytes); // a load never writes
        FUZZ_CHECK(load.events.idled == 0);                   // nor waits
        checkLoaded(*summary, entries, bytes);
        useFigures(*summary, *criteria, entries);

        ResultRecord run;
        run.date = 45818; // the clock's date
        run.timeOfDay = 0.5;
        run.studentNumber = 7;
        run.level = 3;
        run.seconds = 42;
        const RecordOutcome outcome = RecordRun(*summary, *criteria, load.log, run);
        FUZZ_CHECK(outcome.status.ok());
        FUZZ_CHECK(load.files.openNow == 0 && !load.files.locked);
        const std::string& after = load.files.files[load.log.path];
        const size_t whole = size / kResultRecordSize * kResultRecordSize;
        FUZZ_CHECK(after.size() == whole + kResultRecordSize);
        FUZZ_CHECK(std::string_view(after).substr(0, whole) == bytes.substr(0, whole));
        const ResultBytes written = encodeResultRecord(run);
        FUZZ_CHECK(std::equal(written.begin(), written.end(),
                              reinterpret_cast<const unsigned char*>(after.data() + whole)));
        FUZZ_CHECK(summary->bestTime[3][7] <= 42);
    }
    return 0;
}
