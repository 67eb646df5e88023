#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "context/Procedures.h"
#include "platform/MountTable.h"
#include "platform/PosixMountTable.h"
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
    std::vector<Mount> real;
    EXPECT_TRUE(ProcMountTable().mounts(real).ok());
    EXPECT_NE(mountHolding(real, "/tmp"), nullptr);
}

TEST(MountTable, EveryTypeHasItsVerdictAndOptionsThatKeepLocksLocalAreFound) {
    // The verdict of every type the table knows, and of a few it does not.
    struct TypeCase {
        const char* type;
        MountKind kind;
    } types[] = {
        {"ext2", MountKind::LocalDisk},
        {"ext3", MountKind::LocalDisk},
        {"ext4", MountKind::LocalDisk},
        {"xfs", MountKind::LocalDisk},
        {"btrfs", MountKind::LocalDisk},
        {"f2fs", MountKind::LocalDisk},
        {"jfs", MountKind::LocalDisk},
        {"reiserfs", MountKind::LocalDisk},
        {"nilfs2", MountKind::LocalDisk},
        {"zfs", MountKind::LocalDisk},
        {"bcachefs", MountKind::LocalDisk},
        {"vfat", MountKind::LocalDisk},
        {"msdos", MountKind::LocalDisk},
        {"exfat", MountKind::LocalDisk},
        {"ntfs", MountKind::LocalDisk},
        {"ntfs3", MountKind::LocalDisk},
        {"fuseblk", MountKind::LocalDisk},
        {"hfs", MountKind::LocalDisk},
        {"hfsplus", MountKind::LocalDisk},
        {"udf", MountKind::LocalDisk},
        {"iso9660", MountKind::LocalDisk},
        {"squashfs", MountKind::LocalDisk},
        {"erofs", MountKind::LocalDisk},
        {"tmpfs", MountKind::LocalDisk},
        {"ramfs", MountKind::LocalDisk},
        {"overlay", MountKind::LocalDisk},
        {"ecryptfs", MountKind::LocalDisk},
        {"cifs", MountKind::SharedLocks},
        {"smb3", MountKind::SharedLocks},
        {"nfs", MountKind::SharedLocks},
        {"nfs4", MountKind::SharedLocks},
        {"fuse", MountKind::LocksStayOnPc},
        {"fuse.gvfsd-fuse", MountKind::LocksStayOnPc},
        {"fuse.smbnetfs", MountKind::LocksStayOnPc},
        {"fuse.sshfs", MountKind::LocksStayOnPc},
        {"fuse.rclone", MountKind::LocksStayOnPc},
        {"fuse.vmhgfs-fuse", MountKind::LocksStayOnPc},
        {"smbfs", MountKind::LocksStayOnPc},
        {"9p", MountKind::LocksStayOnPc},
        {"vboxsf", MountKind::LocksStayOnPc},
        {"vmhgfs", MountKind::LocksStayOnPc},
        {"virtiofs", MountKind::LocksStayOnPc},
        {"afs", MountKind::LocksStayOnPc},
        {"davfs", MountKind::LocksStayOnPc},
        {"coda", MountKind::LocksStayOnPc},
        {"ncpfs", MountKind::LocksStayOnPc},
        {"ceph", MountKind::Unknown},
        {"glusterfs", MountKind::Unknown},
        {"fuseblkx", MountKind::Unknown},
        {"", MountKind::Unknown},
    };
    for (const TypeCase& c : types) {
        EXPECT_EQ(kindOfMountType(c.type), c.kind) << c.type;
        const std::optional<LocalLocks> why = locksStayOnThisPc({"/mnt/x", c.type, "srv", {"rw"}});
        const bool refused = c.kind == MountKind::LocksStayOnPc || c.kind == MountKind::Unknown;
        EXPECT_EQ(why.has_value(), refused) << c.type;
        if (why) {
            EXPECT_EQ(why->option, "") << c.type;
            EXPECT_EQ(why->kind, c.kind) << c.type;
        }
    }

    struct OptionCase {
        const char* type;
        std::vector<std::string> options;
        const char* local; // the option to remove, or nothing
    } options[] = {
        {"cifs", {"rw", "nobrl"}, "nobrl"},
        {"smb3", {"rw", "nobrl"}, "nobrl"},
        {"cifs", {"rw", "cache=strict"}, nullptr},
        {"cifs", {"rw", "nolock"}, nullptr}, // not an option of cifs
        {"nfs", {"rw", "nolock"}, "nolock"},
        {"nfs4", {"rw", "local_lock=all"}, "local_lock=all"},
        {"nfs4", {"rw", "local_lock=posix"}, "local_lock=posix"},
        {"nfs4", {"rw", "local_lock=flock"}, nullptr}, // whole-file flock only
        {"nfs4", {"rw", "local_lock=none"}, nullptr},
        {"nfs", {"rw", "nobrl"}, nullptr},
        {"ext4", {"rw", "nolock"}, nullptr}, // a local disk shares nothing anyway
    };
    for (const OptionCase& c : options) {
        const std::optional<LocalLocks> why =
            locksStayOnThisPc({"/mnt/x", c.type, "srv", c.options});
        if (c.local)
            EXPECT_EQ(why ? why->option : "(none)", std::string(c.local)) << c.type;
        else
            EXPECT_FALSE(why) << c.type << " " << why->option;
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

    // Refused: the message names the folder, the source and the type, says
    // what would happen and what to do.
    struct Case {
        Mount mount;
        const char* remedy;
    } refused[] = {
        {{shared, "cifs", "//server/kyouyuu", {"rw", "vers=3.0", "nobrl"}}, "「nobrl」を外して"},
        {{shared, "fuse.gvfsd-fuse", "gvfsd-fuse", {"rw", "user_id=1000"}}, "cifs でマウント"},
        {{shared, "fuse.smbnetfs", "smbnetfs", {"rw"}}, "FUSE"},
        {{shared, "ceph", "10.0.0.1:/", {"rw"}}, "分かりません"},
    };
    for (const Case& c : refused) {
        fake.list[1] = c.mount;
        try {
            InitialiseFolders(t.ctx);
            ADD_FAILURE() << "started on " << c.mount.type;
        } catch (const StartupError& e) {
            const std::string text = e.what();
            for (const std::string& part :
                 {t.ctx.folders.DataFolder, c.mount.source, c.mount.type, std::string(c.remedy),
                  std::string("上書き"), std::string("//server/kyouyuu  /mnt/kyouyuu  cifs")})
                EXPECT_NE(text.find(part), std::string::npos) << c.mount.type << ": " << part;
        }
    }

    // A table that cannot be read stops start-up too: it is never taken for "no share".
    fake.list[1] = {shared, "cifs", "//server/kyouyuu", {"rw", "vers=3.0"}};
    fake.failure = posixFileStatus(EIO);
    try {
        InitialiseFolders(t.ctx);
        ADD_FAILURE() << "started without the mount table";
    } catch (const StartupError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("/proc/self/mountinfo"), std::string::npos) << text;
        EXPECT_NE(text.find(fake.failure.description), std::string::npos) << text;
    }
}

TEST(MountTable, TheOneDriveClientForLinuxSyncsItsFolder) {
    EXPECT_EQ(oneDriveFolderOf("", "/home/t"), "/home/t/OneDrive");
    EXPECT_EQ(oneDriveFolderOf("# sync_dir = \"~/x\"\nsync_dir = \"~/学校\"\n", "/home/t"),
              "/home/t/学校");
    EXPECT_EQ(oneDriveFolderOf("sync_dir = \"/srv/od\"", "/home/t"), "/srv/od");

    TempDir home;
    std::filesystem::create_directories(home / "OneDrive" / "共有データ" / "Kestrel");
    const std::string data = (home / "OneDrive" / "共有データ" / "Kestrel").string();
    const char* saved = std::getenv("HOME");
    const std::string before = saved ? saved : "";
    ::setenv("HOME", home.path().c_str(), 1);
    ProcMountTable table;
    const bool beforeSetUp = table.cloudFolderOf(data).has_value();
    std::filesystem::create_directories(home / ".config" / "onedrive");
    const std::optional<CloudFolder> found = table.cloudFolderOf(data);
    const bool outside = table.cloudFolderOf(home.path().string()).has_value();
    ::setenv("HOME", before.c_str(), 1);
    EXPECT_FALSE(beforeSetUp) << "no client set up";
    ASSERT_TRUE(found);
    EXPECT_EQ(found->client, "OneDrive");
    EXPECT_EQ(found->root, (home / "OneDrive").string());
    EXPECT_FALSE(outside);
}
