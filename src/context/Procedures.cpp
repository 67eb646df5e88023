#include "context/Procedures.h"

#include <stdexcept>

#include "platform/Utf8Path.h"
#include "results/ResultsSummary.h"
#include "results/RunRecording.h"
#include "roster/Grades.h"
#include "roster/ProgramMenu.h"
#include "school/DrillRun.h"
#include "sound/SoundCues.h"
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

std::string runNotRecordedMessage(const RecordOutcome& outcome) {
    if (outcome.kept.ok())
        return std::string(kKeptRunText) +
               "\r\n\r\n（先生へ）共有フォルダの成績に書きこめなかったので、この成績は「" +
               displayPath(outcome.kept.file.parent_path()) +
               "」にとっておきました。共有フォルダに書きこめるようになると、このパソコンで"
               "次にプログラムを起動したときか、次に成績を記録するときに、この成績を"
               "その日時のまま記録します。\r\n" +
               outcome.status.message;
    if (!outcome.appendFailed || outcome.kept.problem.empty()) return outcome.status.message;
    return outcome.status.message + "\r\nこのパソコンにもとっておけませんでした。" +
           outcome.kept.problem;
}

void endWithMessage(Context& ctx, const std::string& text) {
    ctx.services.dialogs.message(text, ctx.program.ProgramTitle, MessageButtons::Ok);
    ctx.services.exit.endProgram(1);
}

void InitialiseFolders(Context& ctx) {
    const OpenStatus status = openSchool(ctx, {ctx.programFile, {}, ctx.mounts.get()});
    if (!status.ok()) throw StartupError(status.message);
    // A shared folder on a mapped drive is one user's: the teacher is told.
    if (!status.warning.empty())
        ctx.services.dialogs.message(status.warning, "注意", MessageButtons::Ok);
    // Runs this PC kept while the log could not take them go in now, before
    // the summary counts the log.
    (void)appendKeptRuns(ctx, ctx.services.clock, ctx.services.events);
}

void LoadCriteriaTable(Context& ctx) {
    ctx.criteria = readCriteriaFile(criteriaFilePath(ctx.folders));
}

void LoadSoundTable(Context& ctx) {
    ctx.sounds = readSoundTable(ctx.folders.SoundFolder);
}

LogAccess resultsLog(Context& ctx) {
    return resultsLog(ctx, ctx.services.clock, ctx.services.events);
}

bool LoadResults(Context& ctx) {
    return reportUnlessOk(ctx, loadResults(ctx, ctx.services.clock, ctx.services.events));
}

bool BuildSummary(Context& ctx) {
    return reportUnlessOk(ctx, buildSummary(ctx, ctx.services.clock, ctx.services.events));
}

bool ReadRecentResults(Context& ctx, LogReader& reader, uint64_t lastRecords) {
    return reportUnlessOk(
        ctx, readRecentResults(ctx, ctx.services.clock, ctx.services.events, reader, lastRecords));
}

ResultRecord currentRunRecord(Context& ctx, int level) {
    return runRecord(ctx, ctx.state, level, ctx.services.clock.now());
}

std::optional<RecordFlags> RecordRun(Context& ctx, const ResultRecord& run) {
    // A log-off meanwhile waits until the record is on disk (or has failed).
    ctx.services.exit.holdEnd();
    const RecordOutcome outcome = recordRun(ctx, ctx.services.clock, ctx.services.events, run);
    ctx.services.exit.releaseEnd();
    if (outcome.status.ok()) return outcome.flags;
    endWithMessage(ctx, runNotRecordedMessage(outcome));
    return std::nullopt;
}

std::optional<RecordFlags> RecordRun(Context& ctx, int level) {
    return RecordRun(ctx, currentRunRecord(ctx, level));
}

bool EvaluateRun(Context& ctx, const RecordFlags& outcome, EndScreenFacts& facts) {
    return reportUnlessOk(
        ctx, evaluateRun(ctx, ctx.state, outcome, ctx.services.clock, ctx.services.events, facts));
}

void 名簿表示(Context& ctx, NameListState& s) {
    s.progressMarker = 1;
    s.RosterRetryCount = 0;

    s.progressMarker = 1.5;
    if (!BuildSummary(ctx)) return;

    s.progressMarker = 2;
    ctx.services.events.processEvents();
    for (;;) {
        s.progressMarker = 3;
        const RosterStatus read = readNameLists(ctx, s, ctx.services.clock.today());
        if (read.ok()) return;
        // A file in another encoding stays so: no wait mends it.
        if (!read.lasting)
            waitResponsive(ctx.services.clock, ctx.services.events, kRosterRetrySeconds);
        if (read.lasting || ++s.RosterRetryCount >= kRosterRetries) {
            endWithMessage(ctx, "名簿表示" + markerText(s.progressMarker) + read.message +
                                    std::to_string(read.number));
            return;
        }
    }
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

void PlaySound(Context& ctx, const Sound& sound) {
    soundPlayer(ctx).play(sound);
}

} // namespace kestrel
