#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "platform/SharedFile.h"
#include "support/Fakes.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

std::unique_ptr<SharedFile> openOrFail(SharedFileSystem& fs, const std::filesystem::path& p) {
    FileStatus s;
    auto f = fs.open(p, SharedAccess::Write, s);
    EXPECT_TRUE(s.ok()) << s.description;
    return f;
}

} // namespace

TEST(SharedFile, ExclusiveLockMakesEveryOtherDescriptorMeetASharingError) {
    TempDir dir;
    PosixSharedFileSystem fs;
    auto a = openOrFail(fs, dir / "log.dat");
    auto b = openOrFail(fs, dir / "log.dat");
    ASSERT_TRUE(a && b);

    ASSERT_TRUE(a->lockExclusive().ok());
    EXPECT_EQ(b->lockExclusive().fault, FileFault::Sharing);
    const FileStatus shared = b->lockShared();
    EXPECT_EQ(shared.fault, FileFault::Sharing);
    EXPECT_FALSE(shared.description.empty());

    ASSERT_TRUE(a->unlock().ok());
    // A reader's shared lock keeps a writer out until it lets go.
    ASSERT_TRUE(b->lockShared().ok());
    EXPECT_EQ(a->lockExclusive().fault, FileFault::Sharing);
    ASSERT_TRUE(b->unlock().ok());
    ASSERT_TRUE(a->lockExclusive().ok());
    ASSERT_TRUE(a->close().ok());
    EXPECT_TRUE(a->close().ok()); // twice is harmless

    // Closing released the lock.
    ASSERT_TRUE(b->lockExclusive().ok());
    auto c = openOrFail(fs, dir / "log.dat");
    EXPECT_EQ(c->lockShared().fault, FileFault::Sharing);
}

TEST(SharedFile, OpenCreatesTheFileButNotItsFolder) {
    TempDir dir;
    PosixSharedFileSystem fs;
    FileStatus s;
    EXPECT_TRUE(fs.open(dir / "new.dat", SharedAccess::Read, s));
    EXPECT_TRUE(s.ok());
    EXPECT_TRUE(std::filesystem::exists(dir / "new.dat"));

    EXPECT_FALSE(fs.open(dir / "missing" / "new.dat", SharedAccess::Write, s));
    EXPECT_EQ(s.fault, FileFault::NotFound);
    EXPECT_EQ(s.number, ENOENT);
    EXPECT_FALSE(s.description.empty());

    writeBytes(dir / "plain", "x");
    EXPECT_FALSE(fs.open(dir / "plain" / "new.dat", SharedAccess::Write, s));
    EXPECT_EQ(s.fault, FileFault::NotFound);

    EXPECT_FALSE(fs.open(dir.path(), SharedAccess::Write, s)); // a folder
    EXPECT_EQ(s.fault, FileFault::Other);
    EXPECT_EQ(s.number, EISDIR);
}

TEST(SharedFile, ANewFileIsWritableForEveryAccountThatMayWriteItsFolder) {
    namespace fs = std::filesystem;
    using fs::perms;
    TempDir dir;
    PosixSharedFileSystem files;
    const mode_t before = ::umask(022);
    fs::create_directory(dir / "class");
    fs::permissions(dir / "class", perms::all);
    fs::create_directory(dir / "own");
    fs::permissions(dir / "own", perms::owner_all | perms::group_read | perms::group_exec);
    FileStatus s;
    EXPECT_TRUE(files.open(dir / "class" / "log.dat", SharedAccess::Write, s));
    EXPECT_TRUE(files.open(dir / "own" / "log.dat", SharedAccess::Write, s));
    // An existing file keeps the modes it has.
    writeBytes(dir / "class" / "old.dat", "x");
    fs::permissions(dir / "class" / "old.dat", perms::owner_read | perms::owner_write);
    EXPECT_TRUE(files.open(dir / "class" / "old.dat", SharedAccess::Write, s));
    ::umask(before);

    const auto rw = perms::owner_read | perms::owner_write;
    const auto groupRw = perms::group_read | perms::group_write;
    const auto othersRw = perms::others_read | perms::others_write;
    EXPECT_EQ(fs::status(dir / "class" / "log.dat").permissions(), rw | groupRw | othersRw);
    EXPECT_EQ(fs::status(dir / "own" / "log.dat").permissions(),
              rw | perms::group_read | perms::others_read);
    EXPECT_EQ(fs::status(dir / "class" / "old.dat").permissions(), rw);

    // A log that is a link to a file not made yet is made through the link.
    fs::create_symlink(dir / "class" / "target.dat", dir / "class" / "link.dat");
    EXPECT_TRUE(files.open(dir / "class" / "link.dat", SharedAccess::Write, s));
    EXPECT_TRUE(fs::exists(dir / "class" / "target.dat"));
}

TEST(SharedFile, ReadsAndWritesAtOffsets) {
    TempDir dir;
    PosixSharedFileSystem fs;
    auto f = openOrFail(fs, dir / "log.dat");
    ASSERT_TRUE(f->writeAt(0, "abcdef", 6).ok());
    ASSERT_TRUE(f->writeAt(4, "XYZ", 3).ok());
    ASSERT_TRUE(f->sync().ok());
    uint64_t size = 0;
    ASSERT_TRUE(f->size(size).ok());
    EXPECT_EQ(size, 7u);
    char buf[16] = {};
    size_t got = 0;
    ASSERT_TRUE(f->readAt(2, buf, sizeof buf, got).ok());
    EXPECT_EQ(std::string(buf, got), "cdXYZ");
    ASSERT_TRUE(f->readAt(100, buf, sizeof buf, got).ok());
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(f->close().ok());
    EXPECT_EQ(readBytes(dir / "log.dat"), "abcdXYZ");
}

TEST(SharedFile, SystemErrorsBecomeTheFaultsCallersDecideOn) {
    // The fault decides retry or stop; the code and text are kept for the message.
    const struct Case {
        int err;
        FileFault fault;
    } cases[] = {{ENOENT, FileFault::NotFound}, {ENOTDIR, FileFault::NotFound},
                 {EACCES, FileFault::Refused},  {EPERM, FileFault::Refused},
                 {EROFS, FileFault::Refused},   {ENOSPC, FileFault::NoSpace},
                 {EDQUOT, FileFault::NoSpace},  {EIO, FileFault::Other},
                 {EISDIR, FileFault::Other},    {ENOLCK, FileFault::Other}};
    for (const Case& c : cases) {
        const FileStatus s = posixFileStatus(c.err);
        EXPECT_EQ(s.fault, c.fault) << c.err;
        EXPECT_EQ(s.number, c.err);
        EXPECT_EQ(s.description, posixErrorText(c.err));
        EXPECT_EQ(s.storageFailed(), c.err == EIO) << c.err;
        EXPECT_EQ(s.isFolder(), c.err == EISDIR) << c.err;
    }
    // A teacher reads the faults of a share in Japanese; others in glibc's words.
    EXPECT_EQ(posixFileStatus(EROFS).description, "読み取り専用のファイルシステムです");
    EXPECT_EQ(posixFileStatus(ENOLCK).description, std::strerror(ENOLCK));
    // A lock held elsewhere is a sharing error whatever the system calls it.
    EXPECT_EQ(posixSharingStatus(EACCES).fault, FileFault::Sharing);
    EXPECT_EQ(posixSharingStatus(EAGAIN).fault, FileFault::Sharing);
    EXPECT_FALSE(FileStatus::success().storageFailed());
}

TEST(SharedFile, RenameRemoveInspectAndTheWholeFileReaderByName) {
    namespace fs = std::filesystem;
    using fs::perms;
    TempDir dir;
    PosixSharedFileSystem files;
    writeBytes(dir / "a.txt", "first");
    writeBytes(dir / "b.txt", "second");
    fs::permissions(dir / "a.txt", perms::owner_read | perms::owner_write | perms::group_read |
                                       perms::group_write | perms::others_read);

    FileInfo info;
    ASSERT_TRUE(files.inspect(dir / "a.txt", info).ok());
    EXPECT_FALSE(info.folder);
    EXPECT_TRUE(info.groupMayRead && info.groupMayWrite && info.othersMayRead);
    EXPECT_FALSE(info.othersMayWrite);
    EXPECT_FALSE(info.owner.empty());
    EXPECT_NEAR(static_cast<double>(info.modifiedSeconds), static_cast<double>(std::time(nullptr)),
                60);
    ASSERT_TRUE(files.inspect(dir.path(), info).ok());
    EXPECT_TRUE(info.folder);
    EXPECT_EQ(files.inspect(dir / "none", info).fault, FileFault::NotFound);

    // Renamed over: the old name is gone, the new one holds the moved bytes.
    ASSERT_TRUE(files.renameOver(dir / "a.txt", dir / "b.txt").ok());
    std::string bytes;
    ASSERT_TRUE(readWholeFile(files, dir / "b.txt", bytes).ok());
    EXPECT_EQ(bytes, "first");
    EXPECT_EQ(files.renameOver(dir / "a.txt", dir / "c.txt").fault, FileFault::NotFound);

    // The reader by name: a missing file fails at the open, a folder is no file.
    const struct Case {
        fs::path path;
        bool opened;
        FileFault fault;
        bool folder;
    } cases[] = {{dir / "b.txt", true, FileFault::None, false},
                 {dir / "a.txt", false, FileFault::NotFound, false},
                 {dir.path(), false, FileFault::Other, true}};
    for (const Case& c : cases) {
        bool opened = !c.opened;
        const FileStatus s = readWholeFile(files, c.path, bytes, SharedAccess::ReadOnly, &opened);
        EXPECT_EQ(s.fault, c.fault) << c.path;
        EXPECT_EQ(opened, c.opened) << c.path;
        EXPECT_EQ(s.isFolder(), c.folder) << c.path;
    }

    ASSERT_TRUE(files.remove(dir / "b.txt").ok());
    EXPECT_EQ(files.remove(dir / "b.txt").fault, FileFault::NotFound);
}
