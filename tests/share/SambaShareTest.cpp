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
#include "startup/Folders.h"
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
    one->close();
    two->close();
    local->close();
    other->close();
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
