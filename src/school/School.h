#pragma once
// The school as every front of the program sees it: its folders and
// configuration, the levels, the criteria of every level, the sound table,
// the roster tables and the results summary kept from the shared log, with
// the files and mounts of this computer. Its operations return a status and
// never end anything: the desktop program shows the message and ends, the
// classroom server answers with an error and goes on serving.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/MountTable.h"
#include "platform/SharedFile.h"
#include "results/ResultsLogIO.h"
#include "results/ResultsSummary.h"
#include "results/RunRecording.h"
#include "roster/Roster.h"
#include "roster/RosterDisplay.h"
#include "sound/SoundCues.h"
#include "startup/AppFolders.h"
#include "startup/CriteriaTable.h"
#include "startup/ProgramDefinition.h"

namespace kestrel {

struct School {
    // The files and mounts of this computer as the program's main chose them.
    School(std::unique_ptr<SharedFileSystem> files, std::unique_ptr<MountTable> table)
        : sharedFiles(std::move(files)), mounts(std::move(table)) {}
    School() = default;
    School(const School&) = delete;
    School& operator=(const School&) = delete;

    std::filesystem::path programFile; // the running program; its folder is ProgramFolder

    ProgramDefinition program;
    AppFolders folders;
    SharedConfig config;
    CriteriaTable criteria;
    SoundTable sounds;

    // The summary rebuilt from the log, and the records it was built from.
    std::unique_ptr<ResultsSummary> summary = std::make_unique<ResultsSummary>();
    RunEntries runEntries;
    // The most recent records as last read: every load reads only what was
    // appended since, while the log has not changed otherwise.
    LogWindow resultsWindow;

    RosterTables roster;

    std::unique_ptr<SharedFileSystem> sharedFiles;
    std::unique_ptr<MountTable> mounts;
    // Where a run the log cannot take waits on this PC (platform's
    // keptRunsFolders()); none: such a run is only reported.
    std::vector<std::filesystem::path> keptRunsFolders;
};

// What start-up reads: the program file, whose folder names the data folder
// and beside which the path file lies, and optionally the shared folder
// itself (the classroom server may be given it instead of the path file).
struct SchoolSource {
    std::filesystem::path programFile;
    std::string sharedFolder; // empty: the path file names it
    // The mounts the data folder's is checked against; null: not checked.
    MountTable* mounts = nullptr;
    // Whether the data folder must take a new file (a probe written and
    // removed); off only where nothing is recorded.
    bool probeDataFolder = true;
};

// A start-up that failed: the Japanese message for the teacher names the
// file, or the folder and its mount, and the problem.
struct OpenStatus {
    std::string message;
    std::string warning; // what the teacher should know though it starts
    bool ok() const { return message.empty(); }
};

// The one start-up sequence of every front: the path file (or the given
// shared folder) and the shared configuration, the folders, the data
// folder's mount (refused when its locks stay on this PC, or it is synced
// by a cloud client; a mapped drive is warned of), the program
// definition, the criteria table and the sound table. On failure the school
// keeps what it held before the failing step.
OpenStatus openSchool(School& school, const SchoolSource& source);
// Reads the criteria file of the data folder into the school; on failure
// the table is left as it was.
OpenStatus loadCriteria(School& school);

// ---- The results log ------------------------------------------------------
// The results log of the data folder, with the clock and waits given.
LogAccess resultsLog(School& school, Clock& clock, EventPump& events);
// Reloads the log into the summary through the school's window of the most
// recent records: only what was appended since the last load is read.
LogStatus loadResults(School& school, Clock& clock, EventPump& events);
LogStatus buildSummary(School& school, Clock& clock, EventPump& events);
// The `lastRecords` most recent records for a results list or graph, from
// the window brought up to the log (a missing log reads as empty).
LogStatus readRecentResults(School& school, Clock& clock, EventPump& events, LogReader& reader,
                            uint64_t lastRecords);
// Appends a finished run's record and tells what it achieved against the
// summary last built. Runs kept on this PC go in first; a run whose append
// fails (a share turned read-only or gone, a full disk) is kept on this PC
// (RecordOutcome::kept) to go in later.
RecordOutcome recordRun(School& school, Clock& clock, EventPump& events, const ResultRecord& run);
// Puts the runs kept on this PC for this school's log into the log (at
// start-up, and before every append).
KeptRunsFlush appendKeptRuns(School& school, Clock& clock, EventPump& events);

// ---- The roster -----------------------------------------------------------
// One read of the roster into the roster tables and the name lists by
// NameListMode and the filter text, for the school year of `today`. The
// summary must have been built. Line 0 is selected.
struct RosterStatus {
    std::string message;  // the reader's text, naming the file and the problem
    int number = 0;       // the failure's number, as the message box shows it
    bool lasting = false; // a fault no wait mends (the file's encoding)
    bool ok() const { return message.empty(); }
};
RosterStatus readNameLists(School& school, NameListState& lists, const CivilDate& today);

} // namespace kestrel
