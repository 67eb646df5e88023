// The results log on a network share: several PCs, each with its own view
// of the share, append and read through the real shared-file code.
#include <gtest/gtest.h>

#include <memory>

#include "results/ResultsTestSupport.h"
#include "support/SmbShare.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// One PC of the classroom: a context whose shared files are its client of
// the share.
struct Pc : LogContext {
    Pc(SmbShare& share, int n) {
        ctx.folders.DataFolder = "/share/data/";
        ctx.sharedFiles = std::make_unique<PosixSharedFileSystem>(share.client(n));
        signIn(static_cast<int16_t>(n), 1);
    }
    // Opens the log through this PC's client, as another step would.
    std::unique_ptr<SharedFile> open(SharedAccess access = SharedAccess::Write) {
        FileStatus s;
        return ctx.sharedFiles->open(log(), access, s);
    }
};

std::vector<ResultRecord> records(SmbShare& share, const Pc& pc) {
    return decodeLog(share.files[pc.log().string()]);
}

} // namespace

TEST(NetworkShare, AppendsFromPCsWhoseCachedLengthIsOldNeverOverwriteEachOther) {
    SmbShare share;
    std::vector<std::unique_ptr<Pc>> pcs;
    for (int n = 1; n <= 3; ++n) {
        pcs.push_back(std::make_unique<Pc>(share, n));
        ASSERT_TRUE(LoadResults(pcs.back()->ctx)); // each PC now remembers length 0
    }
    for (int round = 0; round < 50; ++round) {
        for (auto& pc : pcs) {
            pc->ctx.state.RunTime = round;
            ASSERT_TRUE(pc->append().ok()) << round;
        }
    }
    // The caches really are old: PC 1 still sees the length of its own last
    // append, before PCs 2 and 3 appended theirs.
    const int fd = share.client(1).open(pcs[0]->log().c_str(), O_RDONLY, 0);
    struct stat st {};
    share.client(1).fstat(fd, &st);
    share.client(1).close(fd);
    EXPECT_LT(st.st_size, static_cast<off_t>(150 * kResultRecordSize));

    const std::vector<ResultRecord> log = records(share, *pcs[0]);
    ASSERT_EQ(log.size(), 150u);
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].studentNumber, static_cast<int16_t>(i % 3 + 1)) << i;
        EXPECT_EQ(log[i].seconds, static_cast<int32_t>(i / 3)) << i;
    }
}

TEST(NetworkShare, AReaderWaitsWhileAnotherPCAppends) {
    SmbShare share;
    Pc writer(share, 1), reader(share, 2);
    ASSERT_TRUE(writer.append().ok());

    // The writer is in the middle of its append: lock held, record not written.
    std::unique_ptr<SharedFile> held = writer.open();
    ASSERT_TRUE(held->lockExclusive().ok());
    int passes = 0;
    reader.events.onProcess = [&] {
        if (++passes != 150) return;
        const ResultBytes bytes = encodeResultRecord(runRecord(writer.today(), 1, 2, 77));
        EXPECT_TRUE(held->writeAt(kResultRecordSize, bytes.data(), bytes.size()).ok());
        EXPECT_TRUE(held->close().ok());
    };
    ASSERT_TRUE(LoadResults(reader.ctx));
    EXPECT_TRUE(reader.dialogs.shown.empty());
    ASSERT_EQ(reader.ctx.runEntries.count(), 2) << "read after the append, not during it";
    EXPECT_EQ(reader.ctx.runEntries.entrySlots[1].seconds, 77);
    EXPECT_GE(passes, 150);
}

TEST(NetworkShare, AnAppendWaitsWhileAnotherPCReads) {
    SmbShare share;
    Pc writer(share, 1), reader(share, 2);
    std::unique_ptr<SharedFile> reading = reader.open(SharedAccess::Read);
    ASSERT_TRUE(reading->lockShared().ok());
    int passes = 0;
    writer.events.onProcess = [&] {
        if (++passes == 120) {
            EXPECT_TRUE(reading->close().ok());
        }
    };
    ASSERT_TRUE(writer.append().ok());
    EXPECT_GE(passes, 120);
    EXPECT_EQ(records(share, writer).size(), 1u);
}

TEST(NetworkShare, ARefusedReadOrWriteIsASharingErrorAndARefusedOpenIsNot) {
    SmbShare share;
    Pc a(share, 1), b(share, 2);
    std::unique_ptr<SharedFile> fa = a.open();
    std::unique_ptr<SharedFile> fb = b.open();
    ASSERT_TRUE(fa && fb);
    ASSERT_TRUE(fa->lockExclusive().ok());
    char buffer[8];
    size_t got = 0;
    const FileStatus read = fb->readAt(0, buffer, sizeof buffer, got);
    EXPECT_EQ(read.fault, FileFault::Sharing);
    EXPECT_EQ(read.number, EACCES);
    EXPECT_EQ(fb->writeAt(0, "x", 1).fault, FileFault::Sharing);
    EXPECT_EQ(fb->lockShared().fault, FileFault::Sharing);
    ASSERT_TRUE(fa->unlock().ok());
    ASSERT_TRUE(fb->lockShared().ok());
    // A reader's lock keeps writers out, on the server too.
    EXPECT_EQ(fa->writeAt(0, "x", 1).fault, FileFault::Sharing);

    // A share that refuses writing altogether is no sharing error: nobody
    // waits for it without end. Reading still works.
    share.readOnly = true;
    FileStatus s;
    EXPECT_FALSE(a.ctx.sharedFiles->open(a.log(), SharedAccess::Write, s));
    EXPECT_EQ(s.fault, FileFault::Refused);
    EXPECT_TRUE(a.ctx.sharedFiles->open(a.log(), SharedAccess::Read, s));
    const LogStatus append = a.append();
    EXPECT_EQ(append.fault, FileFault::Refused);
    EXPECT_EQ(append.message.rfind("成績ランダムファイル記録", 0), 0u) << append.message;

    // A missing log that this PC may not create is still a missing log, but
    // the message says why it could not be made.
    share.files.clear();
    EXPECT_FALSE(a.ctx.sharedFiles->open(a.log(), SharedAccess::Read, s));
    EXPECT_EQ(s.fault, FileFault::NotFound);
    EXPECT_EQ(s.number, EACCES);
}
