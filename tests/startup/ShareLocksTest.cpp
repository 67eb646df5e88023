#include <gtest/gtest.h>

#include "context/Procedures.h"
#include "platform/MountTable.h"
#include "startup/Folders.h"
#include "startup/ShareLocks.h"
#include "support/Installation.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

const char* const kMountInfo =
    "26 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
    "40 26 0:50 / /mnt/school rw,relatime shared:7 - cifs //server/kyouyuu "
    "rw,vers=3.0,nobrl,cache=strict\n"
    "41 26 0:51 / /mnt/nfs\\040share rw - nfs4 srv:/export rw,vers=4.2,local_lock=none\n"
    "42 40 0:52 / /mnt/school/inner rw - nfs srv:/inner rw,nolock\n"
    "garbage line\n";

} // namespace

TEST(MountTable, ReadsTheKernelsLinesAndFindsTheMountOfAFolder) {
    const std::vector<Mount> mounts = parseMountInfo(kMountInfo);
    ASSERT_EQ(mounts.size(), 4u);
    EXPECT_EQ(mounts[1].mountPoint, "/mnt/school");
    EXPECT_EQ(mounts[1].type, "cifs");
    EXPECT_EQ(mounts[1].source, "//server/kyouyuu");
    EXPECT_NE(std::find(mounts[1].options.begin(), mounts[1].options.end(), "nobrl"),
              mounts[1].options.end());
    EXPECT_EQ(mounts[2].mountPoint, "/mnt/nfs share");

    struct Case {
        const char* path;
        const char* mountPoint;
    } cases[] = {{"/home/t/data/", "/"},
                 {"/mnt/school", "/mnt/school"},
                 {"/mnt/school/四捨五入/", "/mnt/school"},
                 {"/mnt/schoolyard/x", "/"},
                 {"/mnt/school/inner/x", "/mnt/school/inner"},
                 {"/mnt/nfs share/x", "/mnt/nfs share"}};
    for (const Case& c : cases) {
        const Mount* m = mountHolding(mounts, c.path);
        ASSERT_NE(m, nullptr) << c.path;
        EXPECT_EQ(m->mountPoint, c.mountPoint) << c.path;
    }
    // The kernel's own table of this PC reads, and holds the root.
    const std::vector<Mount> real = ProcMountTable().mounts();
    EXPECT_NE(mountHolding(real, "/tmp"), nullptr);
}

TEST(MountTable, LocksThatStayOnThisPcAreFound) {
    struct Case {
        const char* type;
        std::vector<std::string> options;
        const char* local; // the option to remove, or nothing
    } cases[] = {
        {"cifs", {"rw", "nobrl"}, "nobrl"},
        {"smb3", {"rw", "nobrl"}, "nobrl"},
        {"cifs", {"rw", "cache=strict"}, nullptr},
        {"nfs", {"rw", "nolock"}, "nolock"},
        {"nfs4", {"rw", "local_lock=all"}, "local_lock=all"},
        {"nfs4", {"rw", "local_lock=posix"}, "local_lock=posix"},
        {"nfs4", {"rw", "local_lock=flock"}, nullptr}, // whole-file flock only
        {"nfs4", {"rw", "local_lock=none"}, nullptr},
        {"ext4", {"rw", "nolock"}, nullptr}, // a local disk shares nothing anyway
    };
    for (const Case& c : cases) {
        const Mount m{"/mnt/x", c.type, "srv", c.options};
        const std::optional<std::string> option = localLockOption(m);
        if (c.local)
            EXPECT_EQ(option, std::string(c.local)) << c.type;
        else
            EXPECT_FALSE(option) << c.type << " " << *option;
    }
}

TEST(MountTable, StartUpRefusesAShareWhoseLocksStayOnThisPc) {
    Installation inst;
    TestContext t;
    t.ctx.programFile = inst.programFile();
    auto table = std::make_unique<FakeMountTable>();
    FakeMountTable& fake = *table;
    t.ctx.mounts = std::move(table);
    const std::string shared =
        std::filesystem::weakly_canonical(inst.root() / "共有データ").string();

    // Correctly mounted: start-up goes on.
    fake.list = {{"/", "ext4", "/dev/sda1", {"rw"}},
                 {shared, "cifs", "//server/kyouyuu", {"rw", "vers=3.0"}}};
    EXPECT_NO_THROW(InitialiseFolders(t.ctx));

    fake.list[1].options.push_back("nobrl");
    try {
        InitialiseFolders(t.ctx);
        ADD_FAILURE() << "started on a share without shared locks";
    } catch (const StartupError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find(t.ctx.folders.DataFolder), std::string::npos) << text;
        EXPECT_NE(text.find("//server/kyouyuu"), std::string::npos) << text;
        EXPECT_NE(text.find("「nobrl」を外して"), std::string::npos) << text;
    }
}
