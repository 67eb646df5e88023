// The checks of the data folder: what this account may do there, whether
// the other accounts may write what the program makes there, the mount that
// holds it, and the results log with the files beside it.
#include <cmath>

#include "platform/RunningProgram.h"
#include "platform/Utf8Path.h"
#include "results/ChangeMark.h"
#include "results/DeletedRecords.h"
#include "results/KeptRuns.h"
#include "results/ResultRecord.h"
#include "results/ResultsLogEdit.h"
#include "setup/Checks.h"
#include "startup/Calendar.h"
#include "startup/CriteriaTable.h"
#include "startup/FolderProbe.h"
#include "startup/ProgramDefinition.h"
#include "startup/ShareLocks.h"

namespace kestrel::setup {
namespace {

namespace fs = std::filesystem;

constexpr int kHeldLogTries = 30; // one-second waits for a log another PC holds

// The classes of accounts besides the owner that may write a file or folder.
struct Writers {
    bool group = false, others = false;
};
Writers writersOf(const FileInfo& info) {
    return {info.groupMayWrite, info.othersMayWrite};
}

std::string failureText(const char* step, const FileStatus& s) {
    return std::string(step) + "できません（" + s.description + "）";
}

std::string missingWriters(const Writers& folder, const Writers& file) {
    std::string who;
    if (folder.group && !file.group) who = "グループのアカウント";
    if (folder.others && !file.others)
        who += std::string(who.empty() ? "" : "と") + "ほかのアカウント";
    return who;
}

// Tries to create, write, rename and remove a probe file as the program
// creates its files. Empty when all went; otherwise what failed.
std::string tryProbe(SharedFileSystem& files, const fs::path& folder, FileInfo& made) {
    return folderWriteProblem(files, folder, ".kestrel-doctor", &made);
}

// 9999-12-31, the last day a record's date may name.
constexpr double kLastCalendarDay = 2958465;

struct LogFigures {
    uint64_t bytes = 0;
    uint64_t records = 0;
    uint64_t badDate = 0, badTime = 0, badStudent = 0, badLevel = 0, badSeconds = 0;
    uint64_t future = 0;   // dated after today
    double latestDate = 0; // the latest of those
};

// Reads the whole log under its protocol: a shared lock for the read, tried
// again while another PC holds the log, on a descriptor that writes nothing.
std::string readLogFigures(SetupCheckContext& ctx, const fs::path& logPath, LogFigures& out) {
    FileStatus s;
    std::unique_ptr<SharedFile> file = ctx.files.open(logPath, SharedAccess::ReadOnly, s);
    if (!file) return failureText("開けません。開くことが", s);
    for (int tries = 0;; ++tries) {
        s = file->lockShared();
        if (s.ok()) break;
        if (s.fault != FileFault::Sharing || tries >= kHeldLogTries)
            return s.fault == FileFault::Sharing
                       ? "ほかのパソコンが " + std::to_string(kHeldLogTries) +
                             " 秒よりも長くロックしています"
                       : failureText("ロックできません。ロックが", s);
        waitResponsive(ctx.clock, ctx.events, 1.0);
    }
    s = file->size(out.bytes);
    if (!s.ok()) return failureText("長さを読めません。読むことが", s);
    out.records = out.bytes / kResultRecordSize;
    const double today = static_cast<double>(dayNumber(ctx.clock.today()));
    std::vector<unsigned char> block(kResultRecordSize * 4096);
    for (uint64_t at = 0; at < out.records;) {
        const uint64_t n = std::min<uint64_t>(4096, out.records - at);
        size_t got = 0;
        s = file->readAt(at * kResultRecordSize, block.data(), n * kResultRecordSize, got);
        if (!s.ok() || got != n * kResultRecordSize)
            return failureText("読めません。読むことが",
                               s.ok() ? FileStatus::inputOutputError() : s);
        for (uint64_t i = 0; i < n; ++i) {
            const ResultRecord r = decodeResultRecord(block.data() + i * kResultRecordSize);
            const bool day =
                r.date >= 1 && r.date <= kLastCalendarDay && r.date == std::floor(r.date);
            if (!day) ++out.badDate;
            if (day && r.date > today) {
                ++out.future;
                out.latestDate = std::max(out.latestDate, r.date);
            }
            if (!(r.timeOfDay >= 0 && r.timeOfDay < 1)) ++out.badTime;
            if (r.studentNumber < 1 || r.studentNumber > kMaxStudent) ++out.badStudent;
            if (r.level < 1 || r.level > kMaxLevel) ++out.badLevel;
            if (r.seconds < 0 || r.seconds > 99999) ++out.badSeconds;
        }
        at += n;
    }
    // Closing lets go of the lock; a descriptor only read loses nothing by a failed close.
    (void)file->close();
    return {};
}

} // namespace

void checkDataFolder(Report& report, const AppFolders& folders, SharedFileSystem& files) {
    const fs::path folder = pathFromUtf8(folders.DataFolder);
    FileInfo folderInfo;
    if (!files.inspect(folder, folderInfo).ok() || !folderInfo.folder) {
        report.add(
            "data-folder", Verdict::Error, folder,
            "データフォルダがありません。共有フォルダの中に、プログラムのフォルダと同じ名前（" +
                folders.ProgramFolderName + "）のフォルダを作ります（2 章）。");
        return;
    }
    FileInfo made;
    const std::string problem = tryProbe(files, folder, made);
    if (!problem.empty()) {
        report.add("data-folder", Verdict::Error, folder,
                   "このアカウントは、データフォルダで" + problem +
                       "。成績を記録できません。フォルダの書きこみ権限（SMB ではマウントの "
                       "uid=、gid=、dir_mode=）を直します。");
        return;
    }
    const Writers folderWriters = writersOf(folderInfo);
    bool sound = true;
    // What this PC creates there must stay writable for every account that
    // may write the folder: the next run is recorded by another account.
    if (const std::string who = missingWriters(folderWriters, writersOf(made)); !who.empty()) {
        report.add("data-folder", Verdict::Error, folder,
                   "このパソコンがデータフォルダに作るファイルに、" + who +
                       "が書きこめません。ほかのアカウントの成績が記録できなくなります。SMB では"
                       "マウントの file_mode=0664 のように、グループが書きこめるようにします。");
        sound = false;
    }
    const fs::path log = resultsLogPath(folders);
    for (const fs::path& file :
         {log, criteriaFilePath(folders), changeMarkPath(log), deletedRecordsPath(log)}) {
        FileInfo info;
        if (!files.inspect(file, info).ok()) continue;
        if (const std::string who = missingWriters(folderWriters, writersOf(info)); !who.empty()) {
            report.add(
                "data-folder", Verdict::Error, file,
                "このファイルに、データフォルダに書きこめる" + who +
                    "が書きこめません。そのアカウントでは成績の記録や基準の保存ができません。"
                    "chmod g+w（ほかの人も書くなら o+w）で直します。");
            sound = false;
        }
    }
    if (sound)
        report.add("data-folder", Verdict::Ok, folder,
                   "このアカウントで、ファイルを作り、書き、名前を変え、消せます。データフォルダに"
                   "書きこめるアカウント（" +
                       whoMayWrite(files, folder) +
                       "）は、プログラムが作るファイルにも書きこめます。");
}

void checkMount(Report& report, const AppFolders& folders, SetupProbes& probes) {
    MountTable& table = probes.mounts();
    const FolderPlace place = folderPlace(table, folders);
    if (place.warning) report.add("mount", Verdict::Warning, folders.SharedFolder, *place.warning);
    if (place.refusal) {
        report.add("mount", Verdict::Error, folders.DataFolder, *place.refusal);
        return;
    }
    const FolderMount found = mountOfFolder(table, folders.DataFolder);
    if (!found.status.ok()) {
        report.add("mount", Verdict::Error, table.source(),
                   unreadableMountTableMessage(table.source(), found.status));
        return;
    }
    const std::optional<Mount>& m = found.mount;
    if (!m) {
        report.add("mount", Verdict::Warning, folders.DataFolder,
                   "このフォルダのマウントが分かりません（" + table.source() + " にありません）。");
        return;
    }
    std::string options;
    for (const std::string& o : m->options)
        options += (options.empty() ? "" : ",") + o;
    const std::string what = "「" + m->source + "」、種類 " + m->type + "、マウント先 " +
                             m->mountPoint + "、オプション " + options;
    if (const std::optional<LocalLocks> why = locksStayOnThisPc(*m)) {
        report.add("mount", Verdict::Error, folders.DataFolder,
                   what + "。\r\n" + localLocksMessage(folders.DataFolder, *m, *why));
        return;
    }
    report.add("mount", Verdict::Ok, folders.DataFolder,
               what + "。" +
                   (kindOfMountType(m->type) == MountKind::LocalDisk
                        ? "このパソコンのディスクです（ほかのパソコンとは共有されません）。"
                        : "ロックがほかのパソコンに伝わるマウントです。"));
}

void checkResultsLog(Report& report, const AppFolders& folders, SetupCheckContext& ctx) {
    const fs::path logPath = resultsLogPath(folders);
    const size_t before = report.lines.size();
    std::error_code ec;
    const bool present = fs::exists(logPath, ec);
    LogFigures f;
    if (present) {
        const std::string problem = readLogFigures(ctx, logPath, f);
        if (!problem.empty()) {
            report.add("results-log", Verdict::Error, logPath,
                       "成績の記録を" + problem + "。プログラムは成績を表示できずに止まります。");
            return;
        }
        if (f.bytes % kResultRecordSize != 0)
            report.add(
                "results-log", Verdict::Warning, logPath,
                "最後の記録が切れています（" + std::to_string(f.bytes % kResultRecordSize) +
                    " バイト）。記録中に止まったパソコンがあったようです。次の記録がその場所に"
                    "書かれるので、そのままでかまいません。");
        if (f.future > 0) {
            const CivilDate d = dateFromDayNumber(static_cast<int64_t>(f.latestDate));
            report.add("results-log", Verdict::Warning, logPath,
                       "今日より後の日付の記録が " + std::to_string(f.future) +
                           " 件あります（いちばん後は " + std::to_string(d.year) + "年" +
                           std::to_string(d.month) + "月" + std::to_string(d.day) +
                           "日）。時計の進んだパソコンが書いたようです。その日が来るまで、合格や"
                           "「やりすぎ禁止」の期間には数えません。そのパソコンの日付と時刻を"
                           "直してください。");
        }
        const uint64_t bad = f.badDate + f.badTime + f.badStudent + f.badLevel + f.badSeconds;
        if (bad > 0)
            report.add(
                "results-log", Verdict::Warning, logPath,
                "ありえない値の記録があります（日付 " + std::to_string(f.badDate) + " 件、時刻 " +
                    std::to_string(f.badTime) + " 件、番号 " + std::to_string(f.badStudent) +
                    " 件、レベル " + std::to_string(f.badLevel) + " 件、秒 " +
                    std::to_string(f.badSeconds) +
                    " 件）。集計には入りません。ほかのプログラムが書いたものかもしれません。");
    }
    const DeletePlanFiles plans = inspectDeletePlans(ctx.files, logPath);
    const fs::path planPath = deletePlanPath(logPath);
    const fs::path tempPath = resultsTempPath(logPath);
    if (plans.own == PlanFileState::Unfinished || plans.own == PlanFileState::CutShort)
        report.add("results-log", Verdict::Warning, planPath,
                   "記録の消去が、とちゅうで止まっています。次にプログラムが成績の記録を開くとき、"
                   "消去を仕上げるか取りやめます。そのままでかまいません。");
    if (plans.own == PlanFileState::Foreign)
        report.add(
            "results-log", Verdict::Warning, planPath,
            "このプログラムのものでないファイルが、消去の計画の名前であります。消去ができません。"
            "中を確かめて、いらなければ消します。");
    if (plans.design == PlanFileState::Unfinished)
        report.add("results-log", Verdict::Warning, tempPath,
                   "前の版のこのプログラムの消去が、とちゅうで止まっています。次にプログラムが"
                   "成績の記録を開くとき、消去を仕上げます。");
    if (plans.design == PlanFileState::Foreign || plans.design == PlanFileState::CutShort)
        report.add(
            "results-log", Verdict::Warning, tempPath,
            "前の版のプログラムが消去のときに作るファイルが残っています。消去がとちゅうで"
            "止まって、成績の記録の写しが入っているかもしれません。このままでは記録の消去が"
            "できません。中を確かめてから（成績が足りなければ、このファイルから戻して）消します。");
    if (report.lines.size() == before)
        report.add("results-log", Verdict::Ok, logPath,
                   present ? std::to_string(f.records) + " 件の記録があり、どれも正しい形です。"
                           : "まだありません。最初の記録のときにプログラムが作ります。");
}

void checkKeptRuns(Report& report, const AppFolders& folders, SetupCheckContext& ctx) {
    if (ctx.keptRunsFolders.empty()) return;
    const fs::path logPath = pathFromUtf8(folders.DataFolder, kResultsLogName);
    const std::vector<fs::path> kept = keptRunFiles(ctx.keptRunsFolders, logPath, ctx.files);
    if (kept.empty()) {
        report.add("kept-runs", Verdict::Ok, ctx.keptRunsFolders.front(),
                   "共有フォルダに記録できずにこのパソコンにとってある成績は、ありません。");
        return;
    }
    report.add("kept-runs", Verdict::Warning, kept.front().parent_path(),
               "共有フォルダに記録できなかった成績が " + std::to_string(kept.size()) +
                   " 件、このパソコンにとってあります。共有フォルダに書きこめるようになって"
                   "から、このパソコンでプログラムを起動すると（または次に成績を記録すると）、"
                   "その日時のまま記録します。このフォルダのファイルは消さないでください。");
}

} // namespace kestrel::setup
