// The data folder's check on a folder that fails on command: every step of
// the probe (create, write, close, rename, remove) that fails is the error
// reported, the probe file stays only where it cannot be removed, and the accounts that may write
// the folder are checked against what the program makes there.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "platform/Utf8Path.h"
#include "results/ResultRecord.h"
#include "setup/Checks.h"
#include "support/FakeSharedFile.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

const fs::path kData = "/school/共有データ/四捨五入";

FileInfo writableBy(bool group, bool others) {
    FileInfo info;
    info.groupMayRead = info.groupMayWrite = group;
    info.othersMayRead = info.othersMayWrite = others;
    info.owner = "sensei";
    info.group = "kyoushitsu";
    return info;
}

bool probeLeft(const FakeSharedFileSystem& files) {
    for (const auto& [path, bytes] : files.files)
        if (utf8OfPath(path.filename()).starts_with(".kestrel-doctor-")) return true;
    return false;
}

} // namespace

TEST(DataFolderCheck, EveryFailingStepOfTheProbeIsReportedAndNoProbeStays) {
    struct Case {
        const char* what;
        std::function<void(FakeSharedFileSystem&)> breakIt;
        Verdict verdict;
        const char* says;
    } cases[] = {
        {"all well", [](FakeSharedFileSystem&) {}, Verdict::Ok, "名前を変え"},
        {"no folder", [](FakeSharedFileSystem& f) { f.folders.clear(); }, Verdict::Error,
         "データフォルダがありません"},
        {"create refused", [](FakeSharedFileSystem& f) { f.missingOnOpen = 1; }, Verdict::Error,
         "ファイルを作れません"},
        {"write", [](FakeSharedFileSystem& f) { f.failOnWrite = 1; }, Verdict::Error,
         "書きこめません"},
        {"sync", [](FakeSharedFileSystem& f) { f.failOnSync = 1; }, Verdict::Error,
         "書きこめません"},
        {"close after the write", [](FakeSharedFileSystem& f) { f.failOnClose = 1; },
         Verdict::Error, "書きこめません"},
        {"rename", [](FakeSharedFileSystem& f) { f.failOnRename = 1; }, Verdict::Error,
         "名前を変えられません"},
        {"remove", [](FakeSharedFileSystem& f) { f.failOnRemove = 1; }, Verdict::Error,
         "消せません"},
        {"new files kept from the group",
         [](FakeSharedFileSystem& f) { f.newFileInfo = writableBy(false, false); }, Verdict::Error,
         "グループのアカウントが書きこめません"},
        {"a log the group may not write",
         [](FakeSharedFileSystem& f) {
             f.files[kData / pathFromUtf8(kResultsLogName)] = "";
             f.folders[kData / pathFromUtf8(kResultsLogName)] = writableBy(false, false);
         },
         Verdict::Error, "chmod g+w"},
    };
    for (const Case& c : cases) {
        FakeSharedFileSystem files;
        files.failError = EIO;
        files.folders[kData] = writableBy(true, false);
        files.newFileInfo = writableBy(true, false);
        c.breakIt(files);
        AppFolders folders;
        folders.DataFolder = kData.string() + "/";
        folders.ProgramFolderName = "四捨五入";
        setup::Report report;
        setup::checkDataFolder(report, folders, files);
        ASSERT_FALSE(report.lines.empty()) << c.what;
        const CheckLine& line = report.lines.back();
        EXPECT_EQ(line.verdict, c.verdict) << c.what << ": " << line.message;
        EXPECT_NE(line.message.find(c.says), std::string::npos) << c.what << ": " << line.message;
        // Only a probe the folder refuses to remove stays (and is reported).
        EXPECT_EQ(probeLeft(files), files.failOnRemove == 1) << c.what;
        EXPECT_EQ(files.openNow, 0) << c.what;
    }
}
