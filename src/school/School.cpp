#include "school/School.h"

#include "platform/Utf8Path.h"
#include "roster/Grades.h"
#include "startup/FolderProbe.h"
#include "startup/Folders.h"
#include "startup/ShareLocks.h"

namespace kestrel {
namespace {

FolderSetup folderSetupOf(const SchoolSource& source) {
    if (source.sharedFolder.empty()) return readFolderSetup(source.programFile);
    FolderSetup setup;
    const std::string absolute =
        utf8OfPath(std::filesystem::absolute(pathFromUtf8(source.sharedFolder)));
    setup.folders = deriveFolders(source.programFile, absolute);
    const std::filesystem::path configFile =
        pathFromUtf8(setup.folders.SharedFolder, kSharedConfigFileName);
    setup.config = sharedConfigFrom(readTenItems(configFile, kConfigPurpose));
    return setup;
}

OpenStatus refused(std::string message) {
    OpenStatus status;
    status.message = std::move(message);
    return status;
}

} // namespace

OpenStatus openSchool(School& school, const SchoolSource& source) {
    try {
        FolderSetup setup = folderSetupOf(source);
        school.programFile = source.programFile;
        school.config = std::move(setup.config);
        school.folders = std::move(setup.folders);
        // Locks that stay on this PC would let two PCs write one place of the log.
        std::string warning;
        if (source.mounts) {
            if (std::optional<std::string> problem =
                    shareLockProblem(*source.mounts, school.folders.DataFolder))
                return refused(std::move(*problem));
            FolderPlace place = folderPlace(*source.mounts, school.folders);
            // A cloud-synced folder loses records too; a mapped drive is one user's.
            if (place.refusal) return refused(std::move(*place.refusal));
            if (place.warning) warning = std::move(*place.warning);
        }
        // A share that takes no file would lose the first run recorded on it.
        if (school.sharedFiles && source.probeDataFolder) {
            const std::filesystem::path data = pathFromUtf8(school.folders.DataFolder);
            if (std::string problem =
                    folderWriteProblem(*school.sharedFiles, data, ".kestrel-start");
                !problem.empty())
                return refused(readOnlyDataFolderMessage(data, problem,
                                                         thisFixSystem() == FixSystem::Windows));
        }
        DefineProgram(school.program);
        if (OpenStatus criteria = loadCriteria(school); !criteria.ok()) {
            return criteria;
        }
        try {
            school.sounds = readSoundTable(school.folders.SoundFolder);
        } catch (const FileError& e) {
            return refused(startupFileError(e, StartupFile::SoundTable).what());
        }
        OpenStatus opened;
        opened.warning = std::move(warning);
        return opened;
    } catch (const StartupError& e) {
        return refused(e.what());
    }
}

OpenStatus loadCriteria(School& school) {
    try {
        school.criteria = readCriteriaFile(criteriaFilePath(school.folders));
    } catch (const FileError& e) {
        return refused(startupFileError(e, StartupFile::Criteria).what());
    }
    return {};
}

LogAccess resultsLog(School& school, Clock& clock, EventPump& events) {
    if (!school.sharedFiles) throw std::logic_error("the school has no file system");
    if (!school.summary) school.summary = std::make_unique<ResultsSummary>();
    return {*school.sharedFiles, resultsLogPath(school.folders), clock, events};
}

LogStatus loadResults(School& school, Clock& clock, EventPump& events) {
    const LogAccess log = resultsLog(school, clock, events);
    return LoadResults(*school.summary, school.runEntries, log, school.resultsWindow);
}

LogStatus buildSummary(School& school, Clock& clock, EventPump& events) {
    const LogAccess log = resultsLog(school, clock, events);
    return BuildSummary(*school.summary, school.runEntries, school.criteria, log,
                        school.resultsWindow);
}

LogStatus readRecentResults(School& school, Clock& clock, EventPump& events, LogReader& reader,
                            uint64_t lastRecords) {
    const LogAccess log = resultsLog(school, clock, events);
    if (lastRecords > kMaxLoadedRecords) {
        LogReadOptions options;
        options.lastRecords = lastRecords;
        options.missingIsEmpty = true;
        return readResultsLog(log, reader, options);
    }
    WindowLoadOptions options;
    options.missingIsEmpty = true;
    if (LogStatus status = loadLogWindow(log, school.resultsWindow, options); !status.ok())
        return status;
    replayLogWindow(school.resultsWindow, reader, lastRecords);
    return {};
}

KeptRunsFlush appendKeptRuns(School& school, Clock& clock, EventPump& events) {
    if (school.keptRunsFolders.empty()) return {};
    return appendKeptRuns(school.keptRunsFolders, resultsLog(school, clock, events));
}

RecordOutcome recordRun(School& school, Clock& clock, EventPump& events, const ResultRecord& run) {
    const LogAccess log = resultsLog(school, clock, events);
    // Earlier runs first, so that the log keeps the order they were made in;
    // one that still cannot go in waits beside this one.
    (void)appendKeptRuns(school, clock, events);
    RecordOutcome out = RecordRun(*school.summary, school.criteria, log, run);
    if (out.appendFailed && !school.keptRunsFolders.empty())
        out.kept = keepRun(log.files, school.keptRunsFolders, log.path, run);
    return out;
}

RosterStatus readNameLists(School& school, NameListState& lists, const CivilDate& today) {
    RosterTables& t = school.roster;
    t.SchoolYear = schoolYearOf(today.year, today.month, startMonthOf(school.config));
    startNameLists(lists);
    try {
        readRoster(t, lists, *school.summary, school.folders.SharedFolder, school.config);
    } catch (const RosterError& e) {
        return {e.what(), e.number(), e.lasting()};
    }
    filterNameLists(lists, t);
    return {};
}

} // namespace kestrel
