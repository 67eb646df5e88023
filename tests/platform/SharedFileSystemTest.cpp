// The build's own file layer on a real folder: locks that exclude other
// descriptors and processes, the faults of missing files and folders, the
// replacing rename and identities; and CP932 as both systems write it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "platform/TextCodec.h"
#include "support/Fakes.h"
#include "support/SystemFiles.h"

namespace kestrel {
namespace {

using test::SystemSharedFileSystem;
using test::TempDir;

std::unique_ptr<SharedFile> openOk(SharedFileSystem& files, const std::filesystem::path& p,
                                   SharedAccess access = SharedAccess::Write) {
    FileStatus s;
    auto f = files.open(p, access, s);
    EXPECT_TRUE(f) << s.description;
    return f;
}

TEST(SystemSharedFile, LocksExcludeOtherDescriptorsAsTheProtocolNeeds) {
    TempDir dir;
    SystemSharedFileSystem files;
    const auto log = dir / "log.dat";
    enum Lock { Exclusive, Shared };
    const struct Case {
        Lock held, asked;
        bool granted;
    } cases[] = {{Exclusive, Exclusive, false},
                 {Exclusive, Shared, false},
                 {Shared, Exclusive, false},
                 {Shared, Shared, true}};
    for (const Case& c : cases) {
        auto a = openOk(files, log);
        auto b = openOk(files, log);
        ASSERT_TRUE(a && b);
        ASSERT_TRUE((c.held == Exclusive ? a->lockExclusive() : a->lockShared()).ok());
        const FileStatus s = c.asked == Exclusive ? b->lockExclusive() : b->lockShared();
        EXPECT_EQ(s.ok(), c.granted) << c.held << " " << c.asked;
        if (!c.granted) {
            EXPECT_EQ(s.fault, FileFault::Sharing) << c.held << " " << c.asked;
        }
        // The holder may take the exclusive lock only while the other holds
        // none: another PC's shared lock keeps every writer out. Once the
        // holder lets go, the other gets it.
        const FileStatus upgrade = a->lockExclusive();
        EXPECT_EQ(upgrade.ok(), !c.granted) << c.held << " " << c.asked;
        if (c.granted) {
            EXPECT_EQ(upgrade.fault, FileFault::Sharing);
        }
        EXPECT_TRUE(a->unlock().ok());
        EXPECT_TRUE(a->unlock().ok()) << "a second unlock is harmless";
        EXPECT_TRUE(b->lockExclusive().ok());
        // Closing releases a lock still held.
        EXPECT_TRUE(b->close().ok());
        EXPECT_TRUE(a->lockExclusive().ok());
        EXPECT_TRUE(a->close().ok());
        EXPECT_TRUE(a->close().ok()) << "a second close does nothing";
    }
}

TEST(SystemSharedFile, WritesReadsLengthsAndFaultsOfARealFolder) {
    TempDir dir;
    SystemSharedFileSystem files;
    const auto file = dir.path() / std::filesystem::path(u8"成績.dat");
    auto f = openOk(files, file);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->writeAt(0, "abcdef", 6).ok());
    ASSERT_TRUE(f->writeAt(10, "xy", 2).ok());
    uint64_t length = 0;
    ASSERT_TRUE(f->size(length).ok());
    EXPECT_EQ(length, 12u);
    char buffer[20];
    size_t got = 0;
    ASSERT_TRUE(f->readAt(4, buffer, sizeof buffer, got).ok());
    EXPECT_EQ(std::string(buffer, got), std::string("ef\0\0\0\0xy", 8));
    ASSERT_TRUE(f->truncate(3).ok());
    ASSERT_TRUE(f->sync().ok());
    ASSERT_TRUE(f->size(length).ok());
    EXPECT_EQ(length, 3u);
    EXPECT_TRUE(f->identity().known);
    const FileIdentity before = f->identity();
    ASSERT_TRUE(f->close().ok());

    std::filesystem::create_directory(dir / "folder");
    const struct Case {
        std::filesystem::path path;
        SharedAccess access;
        FileFault fault;
        bool folder;
    } cases[] = {{dir / "missing.dat", SharedAccess::Existing, FileFault::NotFound, false},
                 {dir / "missing.dat", SharedAccess::ReadOnly, FileFault::NotFound, false},
                 {dir / "no" / "such.dat", SharedAccess::Write, FileFault::NotFound, false},
                 {dir / "folder", SharedAccess::ReadOnly, FileFault::Other, true},
                 {dir / "folder", SharedAccess::Write, FileFault::Other, true}};
    for (const Case& c : cases) {
        FileStatus s;
        EXPECT_FALSE(files.open(c.path, c.access, s)) << c.path;
        EXPECT_EQ(s.fault, c.fault) << c.path << ": " << s.description;
        EXPECT_EQ(s.isFolder(), c.folder) << c.path;
        EXPECT_FALSE(s.description.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.dat")) << "a check creates nothing";

    // A file put over another under its name is another file. A reader
    // that has the old one open for a moment keeps it, and the replacement
    // succeeds (Windows waits until the reader lets go).
    test::writeBytes(dir / "new.dat", "new");
    auto reader = openOk(files, file, SharedAccess::ReadOnly);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->identity(), before);
    std::thread readerDone([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_TRUE(reader->close().ok());
    });
    const FileStatus renamed = files.renameOver(dir / "new.dat", file);
    readerDone.join();
    EXPECT_TRUE(renamed.ok()) << renamed.description;
    auto after = openOk(files, file, SharedAccess::ReadOnly);
    ASSERT_TRUE(after);
    EXPECT_NE(after->identity(), before);
    std::string bytes;
    EXPECT_TRUE(readWholeFile(*after, bytes).ok());
    EXPECT_EQ(bytes, "new");
    EXPECT_TRUE(after->close().ok());

    FileInfo info;
    EXPECT_TRUE(files.inspect(dir / "folder", info).ok());
    EXPECT_TRUE(info.folder);
    EXPECT_TRUE(files.inspect(file, info).ok());
    EXPECT_FALSE(info.folder);
    EXPECT_GT(info.modifiedSeconds, 1700000000);
    EXPECT_EQ(files.inspect(dir / "missing.dat", info).fault, FileFault::NotFound);
    EXPECT_TRUE(files.syncFolder(dir.path()).ok());
    EXPECT_TRUE(files.remove(file).ok());
    EXPECT_EQ(files.remove(file).fault, FileFault::NotFound);
}

#ifdef KESTREL_APPENDER
// Two processes append at once, each under its exclusive lock (LockFileEx
// on Windows, OFD locks on Linux), 500 records each: every
// record of both is there once, whole, and none is written over another.
TEST(SystemSharedFile, TwoProcessesAppendingLoseNothing) {
    TempDir dir;
    const auto log = dir / "log.txt";
    constexpr int kRecords = 500;
    const std::string recordLine = "a:000000\n";
    int status[2] = {-1, -1};
    auto run = [&](int i, const char* tag) {
        std::string command = "\"" + std::string(KESTREL_APPENDER) + "\" \"" + log.string() +
                              "\" " + tag + " " + std::to_string(kRecords);
#ifdef _WIN32
        // cmd /c takes off the outermost quotes.
        command = "\"" + command + "\"";
#endif
        status[i] = std::system(command.c_str());
    };
    std::thread first(run, 0, "a"), second(run, 1, "b");
    first.join();
    second.join();
    EXPECT_EQ(status[0], 0);
    EXPECT_EQ(status[1], 0);
    const std::string bytes = test::readBytes(log);
    EXPECT_EQ(bytes.size(), 2 * kRecords * recordLine.size());
    std::map<char, std::set<int>> seen;
    for (size_t at = 0; at + recordLine.size() <= bytes.size(); at += recordLine.size()) {
        const std::string line = bytes.substr(at, recordLine.size());
        ASSERT_TRUE(line.size() == 9 && line[1] == ':' && line[8] == '\n') << "at " << at;
        EXPECT_TRUE(seen[line[0]].insert(std::stoi(line.substr(2, 6))).second) << line;
    }
    EXPECT_EQ(seen['a'].size(), size_t{kRecords});
    EXPECT_EQ(seen['b'].size(), size_t{kRecords});
}
#endif

TEST(SystemTextCodec, Cp932AsBothSystemsWriteIt) {
    const struct Case {
        const char* utf8;
        const char* cp932;
        const char* readBack; // where it differs from utf8
    } cases[] = {
        {"成績累積データ", "\x90\xac\x90\xd1\x97\xdd\x90\xcf\x83\x66\x81\x5b\x83\x5e", nullptr},
        {"～", "\x81\x60", nullptr},
        {"〜", "\x81\x60", "～"},
        {"－", "\x81\x7c", nullptr},
        {"−", "\x81\x7c", "－"},
        {"①", "\x87\x40", nullptr},
        {"㈱", "\x87\x8a", nullptr},
        {"髙", "\xfb\xfc", nullptr},
        {"ｱｲｳ", "\xb1\xb2\xb3", nullptr},
        {"a\\~", "a\\~", nullptr},
        {"―", "\x81\x5c", nullptr},
        {"¬", "\x81\xca", "￢"},
    };
    for (const Case& c : cases) {
        std::string out;
        size_t failedAt = 0;
        ASSERT_TRUE(convertText(c.utf8, TextEncoding::Utf8, TextEncoding::Cp932, out, failedAt))
            << c.utf8;
        EXPECT_EQ(out, c.cp932) << c.utf8;
        std::string back;
        ASSERT_TRUE(convertText(out, TextEncoding::Cp932, TextEncoding::Utf8, back, failedAt))
            << c.utf8;
        EXPECT_EQ(back, c.readBack ? c.readBack : c.utf8);
    }
    const struct Refusal {
        std::string in;
        TextEncoding from;
        size_t at;
    } refusals[] = {
        {"ab\xf0\x9f\x98\x80", TextEncoding::Utf8, 2}, // outside CP932
        {"a한", TextEncoding::Utf8, 1},
        {"a\xc2\x80", TextEncoding::Utf8, 1},    // U+0080: no character of CP932
        {"\xef\xa3\xb0", TextEncoding::Utf8, 0}, // U+F8F0: Windows' stand-in for 0xA0
        {"a\xc3", TextEncoding::Utf8, 1},        // cut short
        {"\xc0\xaf", TextEncoding::Utf8, 0},     // overlong
        {"ab\x80", TextEncoding::Cp932, 2},      // no character
        {"\xa0", TextEncoding::Cp932, 0},
        {"\x81\x41\xfd", TextEncoding::Cp932, 2},
        {"\x81", TextEncoding::Cp932, 0},      // a lead byte at the end
        {"a\x81\x20", TextEncoding::Cp932, 1}, // no trail byte
    };
    for (const Refusal& r : refusals) {
        std::string out = "x";
        size_t failedAt = 99;
        const TextEncoding to =
            r.from == TextEncoding::Utf8 ? TextEncoding::Cp932 : TextEncoding::Utf8;
        EXPECT_FALSE(convertText(r.in, r.from, to, out, failedAt)) << r.in;
        EXPECT_EQ(failedAt, r.at) << r.in;
    }
}

} // namespace
} // namespace kestrel
