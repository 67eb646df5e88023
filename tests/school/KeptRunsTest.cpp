// A run whose record the shared folder cannot take (a share that turned
// read-only, a full disk) is kept on the PC and goes into the log once,
// with its own date and time, when the log can be written again: at the
// next start or the next run. Start-up refuses a data folder that takes no
// file before a child starts a run.
#include <gtest/gtest.h>

#include <fstream>

#include "context/Procedures.h"
#include "platform/Utf8Path.h"
#include "results/KeptRuns.h"
#include "school/School.h"
#include "setup/Checks.h"
#include "startup/Folders.h"
#include "support/Fakes.h"
#include "support/Installation.h"

using namespace kestrel;
using kestrel::test::Installation;
using kestrel::test::TempDir;
using kestrel::test::TestContext;

namespace {

namespace fs = std::filesystem;

// This PC's files, but every file made or written below `refused` is
// refused as on a share mounted read-only, while `readOnly` holds.
class ReadOnlyShare : public ForwardingFileSystem {
public:
    ReadOnlyShare(SharedFileSystem& base, fs::path folder)
        : ForwardingFileSystem(base), refused(std::move(folder)) {}
    bool readOnly = true;
    fs::path refused;

    std::unique_ptr<SharedFile> open(const fs::path& path, SharedAccess access,
                                     FileStatus& status) override {
        if (blocks(path) && (access == SharedAccess::Write || access == SharedAccess::Read)) {
            status = {FileFault::Refused, 30, "読み取り専用のファイルシステムです"};
            return nullptr;
        }
        return ForwardingFileSystem::open(path, access, status);
    }
    FileStatus renameOver(const fs::path& from, const fs::path& to) override {
        if (blocks(to)) return {FileFault::Refused, 30, "読み取り専用のファイルシステムです"};
        return ForwardingFileSystem::renameOver(from, to);
    }

private:
    bool blocks(const fs::path& path) const {
        // Folder texts name files with '/', the test's paths with the system's
        // separator: compared alike.
        const std::string p = genericUtf8OfPath(path.lexically_normal());
        const std::string r = genericUtf8OfPath(refused.lexically_normal());
        return readOnly && p.compare(0, r.size(), r) == 0;
    }
};

ResultRecord runAt(double date, double timeOfDay, int student, int level, int seconds) {
    ResultRecord r;
    r.date = date;
    r.timeOfDay = timeOfDay;
    r.studentNumber = static_cast<int16_t>(student);
    r.level = static_cast<int16_t>(level);
    r.seconds = seconds;
    return r;
}

std::string fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The records of the log, as their (student, level, seconds, date, time).
std::vector<std::tuple<int, int, int, double, double>> logRecords(const fs::path& log) {
    const std::string bytes = fileBytes(log);
    std::vector<std::tuple<int, int, int, double, double>> out;
    for (size_t at = 0; at + kResultRecordSize <= bytes.size(); at += kResultRecordSize) {
        const ResultRecord r =
            decodeResultRecord(reinterpret_cast<const unsigned char*>(bytes.data() + at));
        out.emplace_back(r.studentNumber, r.level, r.seconds, r.date, r.timeOfDay);
    }
    return out;
}

struct QuietProbes : SetupProbes {
    test::FakeMountTable table;
    MountTable& mounts() override { return table; }
    bool fontInstalled(const std::string&) override { return true; }
    PlayResult loadSound(const std::filesystem::path&) override { return {}; }
};

size_t keptFiles(const fs::path& folder) {
    size_t n = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        n += it->path().extension() == kKeptRunEnding;
    return n;
}

// A school of the installation, started, with its kept runs in `kept` and
// its data folder refused while the share is read-only.
struct KeptSchool {
    Installation inst;
    TempDir kept;
    TestContext t;
    SharedFileSystem* system = nullptr;
    ReadOnlyShare* share = nullptr;

    explicit KeptSchool(bool readOnlyFromStart = false) {
        std::unique_ptr<SharedFileSystem> base = std::move(t.ctx.sharedFiles);
        system = base.get();
        auto wrapped = std::make_unique<ReadOnlyShare>(*base, inst.file("共有データ"));
        wrapped->readOnly = readOnlyFromStart;
        share = wrapped.get();
        t.ctx.sharedFiles = std::move(wrapped);
        m_base = std::move(base);
        t.ctx.programFile = inst.programFile();
        t.ctx.keptRunsFolders = {kept / "共有", kept / "自分"};
    }
    fs::path log() const { return pathFromUtf8(t.ctx.folders.DataFolder, kResultsLogName); }
    RecordOutcome record(const ResultRecord& r) { return recordRun(t.ctx, t.clock, t.events, r); }

private:
    std::unique_ptr<SharedFileSystem> m_base;
};

} // namespace

TEST(KeptRuns, ARunTheShareRefusesIsKeptAndGoesInOnceWhenItTakesFilesAgain) {
    KeptSchool s;
    InitialiseFolders(s.t.ctx);
    ASSERT_TRUE(BuildSummary(s.t.ctx));
    s.share->readOnly = true;

    // Two runs while the share is read-only: neither is lost.
    const ResultRecord first = runAt(46000, 0.40, 1, 2, 71);
    const ResultRecord second = runAt(46000, 0.45, 2, 1, 55);
    for (const ResultRecord& r : {second, first}) {
        const RecordOutcome out = s.record(r);
        EXPECT_FALSE(out.status.ok());
        EXPECT_TRUE(out.appendFailed);
        ASSERT_TRUE(out.kept.ok()) << out.kept.problem;
        EXPECT_EQ(out.kept.file.parent_path(), s.kept / "共有");
        // The child is told it is kept, the teacher where and why.
        const std::string told = runNotRecordedMessage(out);
        EXPECT_EQ(told.rfind(kKeptRunText, 0), 0u) << told;
        EXPECT_NE(told.find("共有"), std::string::npos);
        EXPECT_NE(told.find("読み取り専用"), std::string::npos);
    }
    EXPECT_EQ(keptFiles(s.kept / "共有"), 2u);
    EXPECT_TRUE(logRecords(s.log()).empty());
    // The setup check tells the teacher what waits here.
    const auto keptLine = [&s] {
        QuietProbes probes;
        SetupCheckContext check{s.inst.programFile(),   probes, *s.system, s.t.clock, s.t.events,
                                s.t.ctx.keptRunsFolders};
        setup::Report report;
        setup::checkKeptRuns(report, s.t.ctx.folders, check);
        return report.lines.at(0);
    };
    EXPECT_EQ(keptLine().verdict, Verdict::Warning);
    EXPECT_NE(keptLine().message.find("2 件"), std::string::npos);

    // The share is writable again: the next run takes the kept ones in
    // first, in the order they were made, with their own dates and times.
    s.share->readOnly = false;
    const ResultRecord third = runAt(46001, 0.30, 1, 2, 60);
    ASSERT_TRUE(s.record(third).status.ok());
    using R = std::tuple<int, int, int, double, double>;
    EXPECT_EQ(logRecords(s.log()),
              (std::vector<R>{
                  {1, 2, 71, 46000, 0.40}, {2, 1, 55, 46000, 0.45}, {1, 2, 60, 46001, 0.30}}));
    EXPECT_EQ(keptFiles(s.kept / "共有"), 0u);
    EXPECT_EQ(keptLine().verdict, Verdict::Ok);
    // Nothing goes in twice.
    const KeptRunsFlush again = appendKeptRuns(s.t.ctx, s.t.clock, s.t.events);
    EXPECT_EQ(again.appended + again.alreadyThere, 0);
    EXPECT_EQ(logRecords(s.log()).size(), 3u);
}

TEST(KeptRuns, EachKeptRunGoesInExactlyOnceWhateverWasLeft) {
    const ResultRecord run = runAt(46000, 0.5, 1, 1, 42);
    const struct Case {
        const char* what;
        bool inLogAlready; // a crash came after its append, before its file went
        bool otherSchool;  // kept for another log
        size_t cutTo;      // the file cut short at this many bytes (0: whole)
        int appended, alreadyThere;
        size_t records, filesLeft;
    } cases[] = {
        {"kept only", false, false, 0, 1, 0, 1, 0},
        {"appended before a crash", true, false, 0, 0, 1, 1, 0},
        {"another school's run is left alone", false, true, 0, 0, 0, 0, 1},
        {"a file cut short is left alone", false, false, 20, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeptSchool s;
        InitialiseFolders(s.t.ctx);
        const fs::path log =
            c.otherSchool ? s.inst.file("他校") / pathFromUtf8(kResultsLogName) : s.log();
        const KeepOutcome kept = keepRun(*s.system, s.t.ctx.keptRunsFolders, log, run);
        ASSERT_TRUE(kept.ok()) << kept.problem;
        if (c.cutTo) fs::resize_file(kept.file, c.cutTo);
        if (c.inLogAlready) {
            ASSERT_TRUE(AppendResult(resultsLog(s.t.ctx), run).ok());
        }

        const KeptRunsFlush flush = appendKeptRuns(s.t.ctx, s.t.clock, s.t.events);
        EXPECT_TRUE(flush.status.ok());
        EXPECT_EQ(flush.appended, c.appended);
        EXPECT_EQ(flush.alreadyThere, c.alreadyThere);
        EXPECT_EQ(logRecords(s.log()).size(), c.records);
        EXPECT_EQ(keptFiles(s.kept / "共有"), c.filesLeft);
    }
}

TEST(KeptRuns, TheNextStartPutsThemInAndTheAccountsOwnFolderServesWhenTheSharedOneCannot) {
    KeptSchool s;
    InitialiseFolders(s.t.ctx);
    // The PC's common folder cannot be made (a file stands in its place).
    std::ofstream(s.kept / "共有") << "x";
    s.share->readOnly = true;
    const RecordOutcome out = s.record(runAt(46000, 0.6, 2, 3, 99999));
    ASSERT_TRUE(out.kept.ok()) << out.kept.problem;
    EXPECT_EQ(out.kept.file.parent_path(), s.kept / "自分");

    // A new start on the mended share takes it in before anything is read.
    s.share->readOnly = false;
    InitialiseFolders(s.t.ctx);
    EXPECT_EQ(logRecords(s.log()).size(), 1u);
    EXPECT_EQ(keptFiles(s.kept / "自分"), 0u);

    // With nowhere to keep it, the teacher is told that too.
    fs::remove(s.kept / "共有");
    std::ofstream(s.kept / "共有") << "x";
    std::ofstream(s.kept / "自分2") << "x";
    s.t.ctx.keptRunsFolders = {s.kept / "共有" / "a", s.kept / "自分2" / "b"};
    s.share->readOnly = true;
    const RecordOutcome lost = s.record(runAt(46000, 0.7, 2, 3, 80));
    EXPECT_FALSE(lost.kept.ok());
    EXPECT_NE(runNotRecordedMessage(lost).find("このパソコンにもとっておけませんでした"),
              std::string::npos);
}

TEST(KeptRuns, StartUpStopsOnADataFolderThatTakesNoFile) {
    KeptSchool s(/*readOnlyFromStart=*/true);
    std::string message;
    try {
        InitialiseFolders(s.t.ctx);
    } catch (const StartupError& e) {
        message = e.what();
    }
    for (const char* part : {"データフォルダ「", "共有データ", "ファイルを作れません",
                             "読み取り専用のファイルシステムです", "成績を記録できません"})
        EXPECT_NE(message.find(part), std::string::npos) << part << "\n" << message;
    // No probe stays behind on a share that takes files.
    s.share->readOnly = false;
    InitialiseFolders(s.t.ctx);
    for (const auto& e : fs::directory_iterator(pathFromUtf8(s.t.ctx.folders.DataFolder)))
        EXPECT_EQ(utf8OfPath(e.path().filename()).rfind(".kestrel", 0), std::string::npos);
}
