// Where the shared folder lies, beyond its locks: a data folder that a
// cloud client syncs stops start-up and is an error of the setup check; a
// shared folder on a mapped drive letter is warned of with the UNC name to
// write. Each system's messages name that system's fix.
#include <gtest/gtest.h>

#include <algorithm>

#include "context/Procedures.h"
#include "platform/MountTable.h"
#include "platform/Utf8Path.h"
#include "setup/SetupCheck.h"
#include "startup/Folders.h"
#include "startup/ShareLocks.h"
#include "support/Installation.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// A mount table whose drive letters are all mapped to one share.
struct MappedDrives : FakeMountTable {
    std::optional<std::string> networkNameOf(const std::string& path) override {
        if (path.size() < 2 || path[1] != ':') return std::nullopt;
        std::string rest = path.substr(2);
        for (char& c : rest)
            if (c == '/') c = '\\';
        return "\\\\server\\share" + rest;
    }
};

struct QuietProbes : SetupProbes {
    MappedDrives table;
    MountTable& mounts() override { return table; }
    bool fontInstalled(const std::string&) override { return true; }
    PlayResult loadSound(const std::filesystem::path&) override { return {}; }
};

// Start-up's message ("" when it starts) and the setup check's mount lines.
struct Outcome {
    std::string atStart;
    std::vector<std::string> warnings; // start-up's message boxes
    std::vector<CheckLine> checked;
};
Outcome startAndCheck(const Installation& inst) {
    Outcome out;
    TestContext t;
    t.ctx.programFile = inst.programFile();
    t.ctx.mounts = std::make_unique<MappedDrives>();
    try {
        InitialiseFolders(t.ctx);
    } catch (const StartupError& e) {
        out.atStart = e.what();
    }
    for (const auto& shown : t.dialogs.shown)
        out.warnings.push_back(shown.text);
    QuietProbes probes;
    test::SystemSharedFileSystem files;
    SystemClock clock;
    FakeEventPump events;
    SetupCheckContext context{inst.programFile(), probes, files, clock, events};
    for (const CheckLine& line : runSetupCheck(context))
        if (line.check == "mount") out.checked.push_back(line);
    return out;
}

} // namespace

TEST(FolderPlace, ACloudSyncedDataFolderStopsStartUpAndFailsTheSetupCheck) {
    struct Case {
        const char* mark;   // written in the shared folder
        const char* client; // named in the messages; nullptr: starts
    } const cases[] = {
        {".dropbox", "Dropbox"},           {".stfolder", "Syncthing"},
        {"._sync_5f2a.db", "Nextcloud"},   {".sync_5f2a.db", "Nextcloud"},
        {".owncloudsync.log", "ownCloud"}, {".debris", "MEGA"},
        {".sync_notes.txt", nullptr},      {"dropbox", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mark);
        Installation inst;
        inst.write(std::string("共有データ/") + c.mark, "");
        const Outcome out = startAndCheck(inst);
        if (!c.client) {
            EXPECT_EQ(out.atStart, "");
            for (const CheckLine& line : out.checked)
                EXPECT_NE(line.verdict, Verdict::Error) << line.message;
            continue;
        }
        const std::string fix = systemNamesDrives() ? "/SHARED=" : "cifs でマウント";
        for (const std::string& part :
             {std::string(c.client), std::string(c.mark), std::string("競合"), fix})
            EXPECT_NE(out.atStart.find(part), std::string::npos) << out.atStart;
        ASSERT_FALSE(out.checked.empty());
        EXPECT_EQ(out.checked.back().verdict, Verdict::Error);
        EXPECT_EQ(out.checked.back().message, out.atStart);
    }
}

TEST(FolderPlace, AMappedDriveIsWarnedOfWithItsUncName) {
    AppFolders folders;
    folders.SharedFolder = "Z:/kestrel/共有データ/";
    folders.DataFolder = folders.SharedFolder + "Kestrel/";
    MappedDrives mapped;
    const FolderPlace place = folderPlace(mapped, folders);
    ASSERT_TRUE(place.warning);
    for (const char* part : {"「Z:\\kestrel\\共有データ\\」", "ネットワークドライブ Z:",
                             "ユーザーごと", "「\\\\server\\share\\kestrel\\共有データ\\」"})
        EXPECT_NE(place.warning->find(part), std::string::npos) << *place.warning;
    EXPECT_FALSE(place.refusal);
    // Not a drive, or a drive mapped to no share: nothing to say.
    EXPECT_FALSE(driveLetterWarning("/mnt/kyouyuu/", std::string("\\\\s\\x")));
    EXPECT_FALSE(driveLetterWarning("D:/kyouyuu/", std::nullopt));
    EXPECT_EQ(*driveLetterWarning("Z:/", std::string("\\\\s\\x\\")),
              *driveLetterWarning("Z:/", std::string("\\\\s\\x")));

    // Start-up goes on after the warning, and the setup check warns too,
    // where the installation's folder has a drive letter.
    Installation inst;
    const Outcome out = startAndCheck(inst);
    EXPECT_EQ(out.atStart, "");
    const bool letters = systemNamesDrives();
    EXPECT_EQ(out.warnings.size(), letters ? 1u : 0u);
    const auto warned =
        std::count_if(out.checked.begin(), out.checked.end(), [](const CheckLine& l) {
            return l.verdict == Verdict::Warning &&
                   l.message.find("\\\\server\\share") != std::string::npos;
        });
    EXPECT_EQ(warned, letters ? 1 : 0);
}

TEST(FolderPlace, EachSystemsRefusalNamesItsOwnFix) {
    const Mount dav{"Z:", "davfs", "\\\\server\\dav", {}};
    const Mount fuse{"/mnt/x", "fuse.sshfs", "server:/x", {"rw"}};
    const CloudFolder cloud{"OneDrive", "C:\\Users\\t\\OneDrive",
                            "OneDrive が同期するフォルダです"};
    const FileStatus unread = FileStatus::inputOutputError();
    struct Case {
        std::string text;
        bool windows;
    } const cases[] = {
        {localLocksMessage("Z:/k/", dav, *locksStayOnThisPc(dav), FixSystem::Windows), true},
        {localLocksMessage("/mnt/x/k/", fuse, *locksStayOnThisPc(fuse), FixSystem::Linux), false},
        {unreadableMountTableMessage("Windows のボリューム情報", unread, FixSystem::Windows), true},
        {unreadableMountTableMessage("/proc/self/mountinfo", unread, FixSystem::Linux), false},
        {cloudFolderMessage("C:/Users/t/OneDrive/k/", cloud, FixSystem::Windows), true},
        {cloudFolderMessage("/home/t/Dropbox/k/", cloud, FixSystem::Linux), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        // Linux names its mounts and files; Windows its shares and installer.
        const std::vector<const char*> linuxOnly{"/etc/fstab", "マウントしなおして",
                                                 "このファイルが読める"};
        const std::vector<const char*> windowsOnly{"/SHARED=", "エクスプローラー", "14 章"};
        for (const char* part : c.windows ? linuxOnly : windowsOnly)
            EXPECT_EQ(c.text.find(part), std::string::npos) << part;
        if (c.windows && c.text.find("エクスプローラー") == std::string::npos) {
            EXPECT_NE(c.text.find("\\\\サーバー名\\共有名\\"), std::string::npos);
        }
    }
    // Windows' folders are written with its own separator.
    EXPECT_NE(cases[0].text.find("「Z:\\k\\」"), std::string::npos) << cases[0].text;
}
