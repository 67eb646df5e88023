// A real school share reached through a FUSE client: a Samba server on a
// loopback of its own and its share mounted twice through smbnetfs, one
// mount for each of two PCs (tests/share/samba-share.sh sets them up). The
// kernel keeps the locks of a FUSE file system on the PC, so both PCs get
// the log's exclusive lock at once and their appends overwrite each other:
// start-up refuses such a folder before it touches a file there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "context/Procedures.h"
#include "platform/SharedFile.h"
#include "results/ResultsTestSupport.h"
#include "setup/LockTest.h"
#include "startup/Folders.h"
#include "support/DemoSchool.h"
#include "support/Installation.h"
#include "support/Processes.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

struct Share {
    fs::path pc1, pc2, server;
};

// The share through each mount and on the server; skipped without them.
bool share(Share& s) {
    const char* a = std::getenv("KESTREL_SMB_PC1");
    const char* b = std::getenv("KESTREL_SMB_PC2");
    const char* c = std::getenv("KESTREL_SMB_SERVER");
    if (!a || !b || !c) return false;
    s = {a, b, c};
    return true;
}

#define REQUIRE_SHARE(s)                                                                           \
    Share s;                                                                                       \
    if (!share(s)) GTEST_SKIP() << "runs under tests/share/samba-share.sh"

// Every file below `folder` with its size and time of change.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> snapshot(const fs::path& folder) {
    std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder))
        files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
    return files;
}

} // namespace

TEST(SambaShare, BothPcsGetTheExclusiveLockAtOnce) {
    REQUIRE_SHARE(s);
    writeBytes(s.server / "lock-probe.dat", "");
    PosixSharedFileSystem files;
    FileStatus status;
    std::unique_ptr<SharedFile> one =
        files.open(s.pc1 / "lock-probe.dat", SharedAccess::Write, status);
    std::unique_ptr<SharedFile> two =
        files.open(s.pc2 / "lock-probe.dat", SharedAccess::Write, status);
    ASSERT_TRUE(one && two) << status.description;
    EXPECT_TRUE(one->lockExclusive().ok());
    EXPECT_TRUE(two->lockExclusive().ok()) << "the second PC's lock was refused: the premise fails";
    // On the server's own disk the same lock is refused, as it should be.
    std::unique_ptr<SharedFile> local =
        files.open(s.server / "lock-probe.dat", SharedAccess::Write, status);
    std::unique_ptr<SharedFile> other =
        files.open(s.server / "lock-probe.dat", SharedAccess::Write, status);
    ASSERT_TRUE(local && other);
    EXPECT_TRUE(local->lockExclusive().ok());
    EXPECT_EQ(other->lockExclusive().fault, FileFault::Sharing);
    for (SharedFile* f : {one.get(), two.get(), local.get(), other.get()})
        EXPECT_TRUE(f->close().ok());
    fs::remove(s.server / "lock-probe.dat");
}

TEST(SambaShare, TwoWritersThroughTheTwoMountsLoseResults) {
    // Why the folder is refused: appends of two PCs overwrite each other.
    REQUIRE_SHARE(s);
    constexpr int kPerWriter = 300;
    int found = 0;
    for (int round = 1; round <= 3; ++round) {
        fs::remove_all(s.server / "Kestrel");
        fs::create_directories(s.server / "Kestrel");
        const pid_t a =
            spawnProgram(helperProgram("ResultsWriter"),
                         {(s.pc1 / "Kestrel").string() + "/", "1", std::to_string(kPerWriter)});
        const pid_t b =
            spawnProgram(helperProgram("ResultsWriter"),
                         {(s.pc2 / "Kestrel").string() + "/", "2", std::to_string(kPerWriter)});
        ASSERT_EQ(waitForExit(a), 0);
        ASSERT_EQ(waitForExit(b), 0);
        const std::string bytes = readBytes(s.server / "Kestrel" / kResultsLogName);
        found = static_cast<int>(decodeLog(bytes).size());
        std::printf("round %d: %d records appended through the two mounts, %d found, %d lost\n",
                    round, 2 * kPerWriter, found, 2 * kPerWriter - found);
        if (found < 2 * kPerWriter) break;
    }
    EXPECT_LT(found, 2 * kPerWriter) << "no result was lost: the two PCs' locks met after all";
    fs::remove_all(s.server / "Kestrel");
}

TEST(SambaShare, StartUpRefusesTheFolderAndTouchesNothingThere) {
    REQUIRE_SHARE(s);
    // A school whose shared folder is the share, reached through the first mount.
    Installation inst;
    for (const fs::directory_entry& e : fs::directory_iterator(inst.root() / "共有データ"))
        fs::copy(e.path(), s.server / e.path().filename(), fs::copy_options::recursive);
    inst.write(Installation::kPathFile,
               s.pc1.string() + "/\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n");
    const auto before = snapshot(s.server);

    TestContext t;
    t.ctx.programFile = inst.programFile();
    try {
        InitialiseFolders(t.ctx);
        ADD_FAILURE() << "started on a folder whose locks stay on this PC";
    } catch (const StartupError& e) {
        const std::string text = e.what();
        for (const std::string& part :
             {t.ctx.folders.DataFolder, std::string("smbnetfs"), std::string("fuse.smbnetfs"),
              std::string("上書き"), std::string("cifs でマウント"),
              std::string("//server/kyouyuu  /mnt/kyouyuu  cifs")})
            EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    }
    EXPECT_EQ(snapshot(s.server), before) << "a file of the share was created or changed";
    EXPECT_FALSE(fs::exists(s.server / "四捨五入" / kResultsLogName));
    for (const fs::directory_entry& e : fs::directory_iterator(s.server))
        fs::remove_all(e.path());
}

namespace {

// The demo school with its shared folder on the share, and a path file of
// each PC pointing there through that PC's mount. The folder is new on the
// share: a client may remember for a while what an earlier test's files
// of the same names looked like.
struct SchoolOnShare {
    DemoSchool school;
    TempDir secondPc;
    explicit SchoolOnShare(const Share& s) {
        const std::string folder = "school-" + std::to_string(::getpid());
        fs::copy(school.shared(), s.server / folder, fs::copy_options::recursive);
        pathFile(school.root(), s.pc1 / folder);
        fs::create_directories(secondPc / "Kestrel");
        pathFile(secondPc.path(), s.pc2 / folder);
        data = s.server / folder / "Kestrel";
    }
    fs::path data; // on the server
    static void pathFile(const fs::path& root, const fs::path& shared) {
        writeCp932File(root / "パスデータ.txt",
                       shared.string() + "/\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n");
    }
};

const std::string kDoctor = KESTREL_BINARY_DIR "/doctor/kestrel-doctor";

} // namespace

TEST(SambaShare, TheSetupCheckFindsTheMountAndTheTwoPcLockTestFails) {
    REQUIRE_SHARE(s);
    SchoolOnShare school(s);
    const fs::path report = school.school / "report.out";
    EXPECT_EQ(waitForExit(spawnProgram(
                  kDoctor, {"--folder", school.school.programFolder().string(), "--json"}, report)),
              1);
    const std::string json = readBytes(report);
    EXPECT_NE(json.find("{\"check\": \"mount\", \"verdict\": \"error\""), std::string::npos)
        << json;
    EXPECT_NE(json.find("fuse.smbnetfs"), std::string::npos) << json;
    // Only the mount is wrong with this school.
    size_t errors = 0;
    for (size_t at = json.find("\"error\""); at != std::string::npos;
         at = json.find("\"error\"", at + 1))
        ++errors;
    EXPECT_EQ(errors, 1u) << json;

    // The lock test, one process for each PC, through its own mount.
    const fs::path a = school.school / "pc1.out", b = school.school / "pc2.out";
    const pid_t first =
        spawnProgram(kDoctor, {"--folder", school.school.programFolder().string(), "--locks"}, a);
    const pid_t second =
        spawnProgram(kDoctor, {"--folder", (school.secondPc / "Kestrel").string(), "--locks"}, b);
    EXPECT_EQ(waitForExit(first, std::chrono::seconds(120)), 1) << readBytes(a);
    EXPECT_EQ(waitForExit(second, std::chrono::seconds(120)), 1) << readBytes(b);
    for (const fs::path& out : {a, b})
        EXPECT_NE(readBytes(out).find("エラー  ロックの試験"), std::string::npos) << readBytes(out);
    for (const fs::directory_entry& e : fs::directory_iterator(school.data))
        EXPECT_FALSE(e.path().filename().string().starts_with(kLockTestPrefix)) << e.path();
    for (const fs::directory_entry& e : fs::directory_iterator(s.server))
        fs::remove_all(e.path());
}
