// The setup check on schools with one fault each: the check that owns the
// fault reports it, every other check says OK, and the school's files are
// as they were. The demo installation is all OK.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <map>

#include "platform/SystemServices.h"
#include "results/ResultsLogEdit.h"
#include "results/ResultsTestSupport.h"
#include "setup/LockTest.h"
#include "setup/SetupCheck.h"
#include "startup/Calendar.h"
#include "support/DemoSchool.h"
#include "support/FakeSharedFile.h"
#include "text/Cp932.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

struct Probes : SetupProbes {
    FakeMountTable table = [] {
        FakeMountTable t;
        (void)ProcMountTable().mounts(t.list);
        return t;
    }();
    std::set<std::string> missingFonts;
    MountTable& mounts() override { return table; }
    bool fontInstalled(const std::string& family) override { return !missingFonts.count(family); }
    PlayResult loadSound(const fs::path& wav) override { return loadWavFile(wav); }
};

// The real files, with the probe files of the check refused when asked.
struct RefusingProbes : PosixSharedFileSystem {
    bool refuse = false;
    std::unique_ptr<SharedFile> open(const fs::path& path, SharedAccess access,
                                     FileStatus& status) override {
        if (refuse && path.filename().string().starts_with(".kestrel-doctor-")) {
            status = posixFileStatus(EACCES);
            return nullptr;
        }
        return PosixSharedFileSystem::open(path, access, status);
    }
};

// Every file with its size and time of change, and every folder (whose own
// time changes with the check's probe files).
using Snapshot = std::map<std::string, std::pair<uintmax_t, fs::file_time_type>>;
Snapshot snapshot(const fs::path& root) {
    Snapshot files;
    std::error_code ec; // a link that leads nowhere is no file
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root))
        files[e.path().string()] = e.is_regular_file(ec)
                                       ? std::make_pair(e.file_size(), e.last_write_time())
                                       : std::make_pair(uintmax_t{0}, fs::file_time_type{});
    return files;
}

// The files that differ, for a message.
std::string changed(const Snapshot& before, const Snapshot& after) {
    std::string out;
    for (const auto& [name, file] : after)
        if (!before.count(name) || before.at(name) != file) out += " " + name;
    for (const auto& [name, file] : before)
        if (!after.count(name)) out += " -" + name;
    return out;
}

struct Checked {
    std::vector<CheckLine> lines;
    std::string text() const { return reportText(lines); }
};

Checked check(DemoSchool& school, Probes& probes, SharedFileSystem& files) {
    // The demo's runs are dated up to the real today.
    SystemClock clock;
    FakeEventPump events;
    SetupCheckContext context{school.programFile(), probes, files, clock, events};
    return {runSetupCheck(context)};
}

void editCp932(const fs::path& file, const std::function<void(std::string&)>& edit) {
    std::string text = readCp932File(file);
    edit(text);
    writeCp932File(file, text);
}

void replaceLine(std::string& text, int line, const std::string& with) {
    size_t start = 0;
    for (int i = 1; i < line; ++i)
        start = text.find('\n', start) + 1;
    const size_t end = text.find_first_of("\r\n", start);
    text.replace(start, end - start, with);
}

} // namespace

TEST(SetupCheck, TheDemoInstallationIsAllOk) {
    DemoSchool school;
    ASSERT_TRUE(school.ok);
    Probes probes;
    PosixSharedFileSystem files;
    const Snapshot before = snapshot(school.root());
    const Checked c = check(school, probes, files);
    std::set<std::string> checks;
    for (const CheckLine& l : c.lines) {
        EXPECT_EQ(l.verdict, Verdict::Ok) << c.text();
        checks.insert(l.check);
    }
    EXPECT_EQ(checks.size(), 11u) << c.text();
    EXPECT_FALSE(hasErrors(c.lines));
    EXPECT_EQ(changed(before, snapshot(school.root())), "");
}

TEST(SetupCheck, EachFaultIsReportedByItsCheckAloneAndNothingChanges) {
    const double today = static_cast<double>(dayNumber(SystemClock().today()));
    struct Case {
        const char* what;
        const char* check;
        Verdict verdict;
        const char* says;
        std::function<void(DemoSchool&, Probes&, RefusingProbes&)> breakIt;
    } cases[] = {
        {"a path file of three items", "path-file", Verdict::Error, "項目が足りません",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             writeCp932File(s / "パスデータ.txt", "共有データ\\\r\n2\r\n3\r\n");
         }},
        {"no shared folder", "path-file", Verdict::Error, "がありません",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             writeCp932File(s / "パスデータ.txt",
                            "どこにもない\\\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n");
         }},
        {"a school code of four digits", "shared-config", Verdict::Warning, "5 けたの半角数字",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.shared() / "共通データ.txt",
                       [](std::string& t) { replaceLine(t, 2, "1234さくら台小学校"); });
         }},
        {"a plain password", "password", Verdict::Warning, "だれでもパスワードを読めます",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.shared() / "共通データ.txt",
                       [](std::string& t) { replaceLine(t, 6, "1234"); });
         }},
        {"an empty password", "password", Verdict::Warning, "空です",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.shared() / "共通データ.txt",
                       [](std::string& t) { replaceLine(t, 6, ""); });
         }},
        {"a roster number 0", "roster", Verdict::Error, "どの集計にも入りません",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.shared() / "新名簿.txt",
                       [](std::string& t) { t += "0,2016,0,0,林,0,,\r\n"; });
         }},
        {"a duplicate roster number", "roster", Verdict::Error, "と同じです",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.shared() / "新名簿.txt",
                       [](std::string& t) { t += "3,2016,0,0,林,0,,\r\n"; });
         }},
        // A roster emptied by a conversion that wrote the file it read.
        {"an empty roster", "roster", Verdict::Error, "名簿にだれもいません",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             writeBytes(s.shared() / "新名簿.txt", "");
         }},
        // The fix cannot empty the roster: the roster tool reads it and
        // writes it anew.
        {"a roster saved as UTF-8", "roster", Verdict::Error,
         "」の文字コードがシフトJIS(CP932)ではありません（表計算ソフトの UTF-8 の CSV など）。"
         "「kestrel-roster --from \"",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             const fs::path roster = s.shared() / "新名簿.txt";
             writeBytes(roster, cp932ToUtf8(readBytes(roster)));
         }},
        {"a level without criteria", "criteria", Verdict::Error, "レベル5：行がありません",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.data() / "タイム回数データ.txt",
                       [](std::string& t) { t.resize(t.rfind("\r\n", t.size() - 3) + 2); });
         }},
        {"a target time of 0", "criteria", Verdict::Error, "目標Time が 0",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.data() / "タイム回数データ.txt",
                       [](std::string& t) { replaceLine(t, 3, "0,120,50,5,1,10,200,14,1,,,"); });
         }},
        // Values the criteria editor refuses, named by level and column.
        {"a target time with letters", "criteria", Verdict::Warning,
         "レベル2：目標Time（1 列目）の「60abc」は 60 と読まれます。1 から 99998 までの整数（秒）"
         "にします。",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.data() / "タイム回数データ.txt", [](std::string& t) {
                 replaceLine(t, 3, "60abc,120,50,5,1,10,200,14,1,,,");
             });
         }},
        {"a minimum time of a run without a result", "criteria", Verdict::Warning,
         "レベル5：最低Time（2 列目）の「100000」は 100000 と読まれます。1 から 99998 までの整数",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.data() / "タイム回数データ.txt", [](std::string& t) {
                 replaceLine(t, 6, "90,100000,80,6,2,10,400,14,1,,,");
             });
         }},
        {"empty clear points", "criteria", Verdict::Warning,
         "レベル3：ｸﾘｱﾎﾟｲﾝﾄ（3 列目）が空です。0 から 2147483647 までの整数（ポイント）にします。",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.data() / "タイム回数データ.txt",
                       [](std::string& t) { replaceLine(t, 4, "70,140,,5,1.2,10,240,14,1,,,"); });
         }},
        {"over-practice points in exponent form (any text after column 9)", "criteria",
         Verdict::Warning,
         "レベル1：禁点（7 列目）の「1e3」は 1 と読まれます。0 から 1000000000 までの整数"
         "（ポイント）か空にします。",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             editCp932(s.data() / "タイム回数データ.txt",
                       [](std::string& t) { replaceLine(t, 2, "30,60,50,5,1,10,1e3,14,1,x,,"); });
         }},
        {"a right-answer sound missing", "sounds", Verdict::Error, "正解音2",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             const SoundTable table = readSoundTable(s.shared().string() + "/音フォルダ/");
             fs::remove(s.shared() / "音フォルダ" / (table.cue(2).files[1] + ".wav"));
         }},
        {"a fixed sound that is no WAV", "sounds", Verdict::Warning, "合格.wav",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             writeBytes(s.shared() / "音フォルダ" / "合格.wav", "not a sound");
         }},
        {"a font missing", "fonts", Verdict::Warning, "IPAMincho",
         [](DemoSchool&, Probes& p, RefusingProbes&) { p.missingFonts = {"IPAMincho"}; }},
        {"the digit font missing", "fonts", Verdict::Warning,
         "数字の字体 BIZ UDGothic がありません。IPAGothic で書かれ、0 に斜線が入るので、ヒントで"
         "消した数字とまちがえやすくなります。sudo apt install fonts-morisawa-bizud-gothic",
         [](DemoSchool&, Probes& p, RefusingProbes&) { p.missingFonts = {"BIZ UDGothic"}; }},
        {"no program menu", "program-menu", Verdict::Warning, "プログラムメニュー",
         [](DemoSchool& s, Probes&, RefusingProbes&) { fs::remove_all(s / "起動"); }},
        {"a program menu folder that links to itself", "program-menu", Verdict::Warning,
         "プログラムメニュー",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             fs::remove_all(s / "起動");
             fs::create_directory_symlink(s / "起動", s / "起動");
         }},
        {"a data folder this account cannot write", "data-folder", Verdict::Error,
         "ファイルを作れません", [](DemoSchool&, Probes&, RefusingProbes& f) { f.refuse = true; }},
        {"a log the folder's other writers cannot write", "data-folder", Verdict::Error,
         "グループのアカウント",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             ::chmod(s.data().c_str(), 0775);
             ::chmod((s.data() / kResultsLogName).c_str(), 0644);
             ::chmod((s.data() / "タイム回数データ.txt").c_str(), 0664);
         }},
        {"a folder mounted through FUSE", "mount", Verdict::Error, "FUSE",
         [](DemoSchool& s, Probes& p, RefusingProbes&) {
             p.table.list.push_back(
                 {fs::weakly_canonical(s.shared()).string(), "fuse.smbnetfs", "smbnetfs", {"rw"}});
         }},
        {"a record cut short", "results-log", Verdict::Warning, "最後の記録が切れています",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             const fs::path log = s.data() / kResultsLogName;
             writeBytes(log, readBytes(log) + std::string(20, 'x'));
         }},
        {"records with impossible values", "results-log", Verdict::Warning,
         "番号 2 件、レベル 1 件",
         [today](DemoSchool& s, Probes&, RefusingProbes&) {
             const fs::path log = s.data() / kResultsLogName;
             writeBytes(log, readBytes(log) + logBytes({runRecord(today, 0, 1, 50),
                                                        runRecord(today, 6000, 1, 50),
                                                        runRecord(today, 4, 40, 50)}));
         }},
        {"records dated after today", "results-log", Verdict::Warning,
         "今日より後の日付の記録が 2 件",
         [today](DemoSchool& s, Probes&, RefusingProbes&) {
             const fs::path log = s.data() / kResultsLogName;
             writeBytes(log, readBytes(log) + logBytes({runRecord(today + 1, 3, 1, 50),
                                                        runRecord(today + 30, 3, 1, 50)}));
         }},
        {"an unfinished delete", "results-log", Verdict::Warning, "とちゅうで止まっています",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             writeBytes(s.data() / kDeletePlanName, "KSTR");
         }},
        {"a restore stopped midway", "results-log", Verdict::Warning, "とちゅうで止まっています",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             writeBytes(s.data() / kDeletePlanName, "KSTRLRST");
         }},
        {"an earlier version's copy under the temporary name", "results-log", Verdict::Warning,
         "前の版のプログラム",
         [](DemoSchool& s, Probes&, RefusingProbes&) {
             writeBytes(s.data() / kResultsTempName, std::string(88, '\0'));
         }},
    };
    for (const Case& c : cases) {
        DemoSchool school;
        ASSERT_TRUE(school.ok);
        Probes probes;
        RefusingProbes files;
        c.breakIt(school, probes, files);
        const Snapshot before = snapshot(school.root());
        const Checked got = check(school, probes, files);
        bool reported = false;
        for (const CheckLine& l : got.lines) {
            if (l.check == c.check && l.verdict == c.verdict &&
                l.message.find(c.says) != std::string::npos)
                reported = true;
            else
                EXPECT_EQ(l.verdict, Verdict::Ok) << c.what << ":\n" << got.text();
        }
        EXPECT_TRUE(reported) << c.what << ":\n" << got.text();
        EXPECT_EQ(hasErrors(got.lines), c.verdict == Verdict::Error) << c.what;
        EXPECT_EQ(changed(before, snapshot(school.root())), "") << c.what;
    }
}

TEST(SetupCheck, TheReportReadsAsOneLinePerFindingAndAsJson) {
    const std::vector<CheckLine> lines = {
        {"roster", Verdict::Error, "/s/新名簿.txt", "5人目：番号が 0 です。\r\n直します。"},
        {"fonts", Verdict::Warning, "", "字体 \"IPAMincho\" \\ がありません"},
        {"mount", Verdict::Ok, "/s/", "ok"},
    };
    EXPECT_EQ(reportText(lines),
              "エラー  名簿（/s/新名簿.txt）：5人目：番号が 0 です。 直します。\n"
              "注意    字体：字体 \"IPAMincho\" \\ がありません\n"
              "OK      マウント（/s/）：ok\n");
    EXPECT_EQ(
        reportJson(lines),
        "{\"checks\": [\n"
        "  {\"check\": \"roster\", \"verdict\": \"error\", \"file\": \"/s/新名簿.txt\", "
        "\"message\": \"5人目：番号が 0 です。\\r\\n直します。\"},\n"
        "  {\"check\": \"fonts\", \"verdict\": \"warning\", \"file\": \"\", "
        "\"message\": \"字体 \\\"IPAMincho\\\" \\\\ がありません\"},\n"
        "  {\"check\": \"mount\", \"verdict\": \"ok\", \"file\": \"/s/\", \"message\": \"ok\"}\n"
        "]}\n");
    EXPECT_EQ(reportJson({}), "{\"checks\": []}\n");
}

namespace {

// A share that opens files but refuses every lock outright, as a mount
// without any locking does; its other files are the real ones.
struct NoLocks : PosixSharedFileSystem {
    struct File : SharedFile {
        FileStatus lockExclusive() override { return posixFileStatus(ENOLCK); }
        FileStatus lockShared() override { return posixFileStatus(ENOLCK); }
        FileStatus unlock() override { return {}; }
        FileStatus size(uint64_t& bytes) override { return bytes = 0, FileStatus{}; }
        FileStatus readAt(uint64_t, void*, size_t, size_t& got) override {
            return got = 0, FileStatus{};
        }
        FileStatus writeAt(uint64_t, const void*, size_t) override { return {}; }
        FileStatus sync() override { return {}; }
        FileStatus truncate(uint64_t) override { return {}; }
        FileStatus close() override { return {}; }
    };
    std::unique_ptr<SharedFile> open(const std::filesystem::path& path, SharedAccess access,
                                     FileStatus& status) override {
        if (path.extension() == ".lock") return std::make_unique<File>();
        return PosixSharedFileSystem::open(path, access, status);
    }
};

} // namespace

TEST(LockTest, ALockRefusedOutrightIsAnErrorNotAnOpenQuestion) {
    TempDir folder;
    writeBytes(folder / (std::string(kLockTestPrefix) + "-other-1"), "waiting 0\n");
    NoLocks files;
    LockTestOptions o;
    o.dataFolder = folder.path();
    o.self = "this-2";
    o.partnerWaitSeconds = 2;
    o.testSeconds = 2;
    const CheckLine line = runLockTest(files, o);
    EXPECT_EQ(line.verdict, Verdict::Error) << line.message;
    EXPECT_NE(line.message.find("ロックを取れません"), std::string::npos) << line.message;
    std::filesystem::remove(folder / (std::string(kLockTestPrefix) + "-other-1"));
    EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << "nothing of this side left";
}
