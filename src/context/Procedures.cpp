#include "context/Procedures.h"

#include <stdexcept>

#include "drill/SoundCues.h"
#include "platform/Utf8Path.h"
#include "results/ResultsSummary.h"
#include "results/RunRecording.h"
#include "roster/Grades.h"
#include "roster/ProgramMenu.h"
#include "startup/Calendar.h"
#include "startup/Folders.h"
#include "startup/ShareLocks.h"

namespace kestrel {
namespace {

constexpr int kSoundFailureStatus = 1;

SoundPlayer soundPlayer(Context& ctx) {
    return {ctx.sounds, ctx.folders.SoundFolder, ctx.services.audio, ctx.services.random};
}

void watchAnswerCue(Context& ctx, const PlayResult& result) {
    if (!answerCueFailed(ctx.SoundFailureCount, result)) return;
    ctx.services.dialogs.message(soundFailureMessage(result), kSoundFailureTitle,
                                 MessageButtons::Ok);
    ctx.services.exit.endProgram(kSoundFailureStatus);
}

bool reportUnlessOk(Context& ctx, const LogStatus& status) {
    if (status.ok()) return true;
    endWithMessage(ctx, status.message);
    return false;
}

} // namespace

void endWithMessage(Context& ctx, const std::string& text) {
    ctx.services.dialogs.message(text, ctx.program.ProgramTitle, MessageButtons::Ok);
    ctx.services.exit.endProgram(1);
}

void InitialiseFolders(Context& ctx) {
    FolderSetup setup = readFolderSetup(ctx.programFile);
    ctx.config = std::move(setup.config);
    ctx.folders = std::move(setup.folders);
    if (ctx.mounts) {
        // Locks that stay on this PC would let two PCs write one place of the log.
        std::error_code ec;
        std::filesystem::path data =
            std::filesystem::absolute(pathFromUtf8(ctx.folders.DataFolder), ec);
        if (!ec) data = std::filesystem::weakly_canonical(data, ec);
        std::optional<Mount> m;
        if (const FileStatus read =
                ctx.mounts->mountOf(ec ? ctx.folders.DataFolder : utf8OfPath(data), m);
            !read.ok())
            throw StartupError(unreadableMountTableMessage(ctx.mounts->source(), read));
        if (m)
            if (const std::optional<LocalLocks> why = locksStayOnThisPc(*m))
                throw StartupError(localLocksMessage(ctx.folders.DataFolder, *m, *why));
    }
    DefineProgram(ctx.program);
    try {
        LoadCriteriaTable(ctx);
    } catch (const FileError& e) {
        throw startupFileError(e, StartupFile::Criteria);
    }
    try {
        LoadSoundTable(ctx);
    } catch (const FileError& e) {
        throw startupFileError(e, StartupFile::SoundTable);
    }
}

void LoadCriteriaTable(Context& ctx) {
    ctx.criteria = readCriteriaFile(criteriaFilePath(ctx.folders));
}

void LoadSoundTable(Context& ctx) {
    ctx.sounds = readSoundTable(ctx.folders.SoundFolder);
}

LogAccess resultsLog(Context& ctx) {
    if (!ctx.sharedFiles) throw std::logic_error("the program's context has no file system");
    if (!ctx.summary) ctx.summary = std::make_unique<ResultsSummary>();
    return {*ctx.sharedFiles, resultsLogPath(ctx.folders), ctx.services.clock, ctx.services.events};
}

bool LoadResults(Context& ctx) {
    const LogAccess log = resultsLog(ctx);
    return reportUnlessOk(ctx, LoadResults(*ctx.summary, ctx.runEntries, log, ctx.resultsWindow));
}

bool BuildSummary(Context& ctx) {
    const LogAccess log = resultsLog(ctx);
    return reportUnlessOk(
        ctx, BuildSummary(*ctx.summary, ctx.runEntries, ctx.criteria, log, ctx.resultsWindow));
}

bool ReadRecentResults(Context& ctx, LogReader& reader, uint64_t lastRecords) {
    const LogAccess log = resultsLog(ctx);
    if (lastRecords > kMaxLoadedRecords) {
        LogReadOptions options;
        options.lastRecords = lastRecords;
        options.missingIsEmpty = true;
        return reportUnlessOk(ctx, readResultsLog(log, reader, options));
    }
    WindowLoadOptions options;
    options.missingIsEmpty = true;
    if (!reportUnlessOk(ctx, loadLogWindow(log, ctx.resultsWindow, options))) return false;
    replayLogWindow(ctx.resultsWindow, reader, lastRecords);
    return true;
}

ResultRecord currentRunRecord(Context& ctx, int level) {
    const LocalTime now = ctx.services.clock.now();
    ResultRecord r;
    r.date = static_cast<double>(dayNumber(now.date));
    r.timeOfDay = dayFraction(now.secondsOfDay);
    r.studentNumber = ctx.state.CurrentStudentNumber;
    r.level = static_cast<int16_t>(level);
    r.seconds = ctx.state.RunTime;
    r.schoolCode = resultText(ctx.config.SchoolCode);
    return r;
}

std::optional<RecordFlags> RecordRun(Context& ctx, int level) {
    const LogAccess log = resultsLog(ctx);
    // A log-off meanwhile waits until the record is on disk (or has failed).
    ctx.services.exit.holdEnd();
    const RecordOutcome outcome =
        RecordRun(*ctx.summary, ctx.criteria, log, currentRunRecord(ctx, level));
    ctx.services.exit.releaseEnd();
    if (!reportUnlessOk(ctx, outcome.status)) return std::nullopt;
    return outcome.flags;
}

void 名簿表示(Context& ctx, NameListState& s) {
    RosterTables& t = ctx.roster;
    s.progressMarker = 1;
    s.RosterRetryCount = 0;
    const CivilDate today = ctx.services.clock.today();
    t.SchoolYear = schoolYearOf(today.year, today.month, startMonthOf(ctx.config));

    s.progressMarker = 1.5;
    if (!BuildSummary(ctx)) return;

    s.progressMarker = 2;
    ctx.services.events.processEvents();
    startNameLists(s);
    for (;;) {
        s.progressMarker = 3;
        try {
            readRoster(t, s, *ctx.summary, ctx.folders.SharedFolder, ctx.config);
            break;
        } catch (const RosterError& e) {
            // A file in another encoding stays so: no wait mends it.
            if (!e.lasting())
                waitResponsive(ctx.services.clock, ctx.services.events, kRosterRetrySeconds);
            if (e.lasting() || ++s.RosterRetryCount >= kRosterRetries) {
                endWithMessage(ctx, "名簿表示" + markerText(s.progressMarker) + e.what() +
                                        std::to_string(e.number()));
                return;
            }
        }
    }
    filterNameLists(s, t);
}

void LeaveToProgramMenu(Context& ctx) {
    const ProgramMenuCommand command = programMenuCommand(ctx.folders);
    std::string error;
    if (!ctx.services.processes.startDetached(command.program, command.arguments, error)) {
        endWithMessage(ctx, "プログラムメニュー「" + command.program + "」を起動できません。\r\n" +
                                error);
        return;
    }
    ctx.services.exit.endProgram(0);
}

void PlayRightCue(Context& ctx) {
    watchAnswerCue(ctx, soundPlayer(ctx).playCue(SoundTable::kRightCue));
}

void PlayWrongCue(Context& ctx) {
    watchAnswerCue(ctx, soundPlayer(ctx).playCue(SoundTable::kWrongCue));
}

void PlayWarningCue(Context& ctx) {
    soundPlayer(ctx).playFile(kWarningSound);
}

void PlayCueSound(Context& ctx, int cuePosition) {
    soundPlayer(ctx).playCue(cuePosition);
}

void PlayFixedSound(Context& ctx, const std::string& fileName) {
    soundPlayer(ctx).playFile(fileName);
}

} // namespace kestrel
