#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "context/Procedures.h"
#include "platform/PosixProcessLauncher.h"
#include "roster/ProgramMenu.h"
#include "support/Fakes.h"

using namespace kestrel;
using kestrel::test::TempDir;
using kestrel::test::TestContext;

namespace fs = std::filesystem;

namespace {

void writeProgram(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
    fs::permissions(file, fs::perms::owner_all, fs::perm_options::add);
}

std::string waitForFile(const fs::path& file) {
    for (int i = 0; i < 500 && !fs::exists(file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The script writes one line; give it the moment to finish it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(ProgramMenu, TheCommandGoesThroughTheParentFolderAsWritten) {
    AppFolders f;
    f.ProgramFolder = "/srv/学校/四捨五入/";
    const ProgramMenuCommand c = programMenuCommand(f);
    EXPECT_EQ(c.program, "/srv/学校/四捨五入/../起動/プログラムメニューc.exe");
    EXPECT_EQ(c.arguments, std::vector<std::string>{"001"});
    EXPECT_EQ(c.commandLine(), "/srv/学校/四捨五入/../起動/プログラムメニューc.exe 001");
}

TEST(ProgramMenu, LeavingStartsTheMenuAndEndsTheProgramOrSaysWhyNot) {
    for (bool fails : {false, true}) {
        TestContext t;
        t.ctx.folders.ProgramFolder = "/srv/x/四捨五入/";
        t.processes.fail = fails;
        EXPECT_THROW(LeaveToProgramMenu(t.ctx), ProgramEnded);
        EXPECT_EQ(t.processes.program, "/srv/x/四捨五入/../起動/プログラムメニューc.exe");
        EXPECT_EQ(t.processes.arguments, std::vector<std::string>{"001"});
        EXPECT_EQ(t.exit.statuses, std::vector<int>{fails ? 1 : 0});
        ASSERT_EQ(t.dialogs.shown.size(), fails ? 1u : 0u);
        if (fails) {
            EXPECT_NE(t.dialogs.shown[0].text.find(t.processes.failText), std::string::npos);
        }
    }
}

TEST(ProgramMenu, ARealMenuProgramStartsWithItsArgument) {
    TempDir root;
    const fs::path record = root / "started.txt";
    writeProgram(root / "起動" / kProgramMenuFile,
                 "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$0\" \"$#\" \"$1\" > '" + record.string() +
                     ".part'\nmv '" + record.string() + ".part' '" + record.string() + "'\n");
    TestContext t;
    PosixProcessLauncher launcher;
    Context ctx{
        Services{t.clock, t.random, t.dialogs, t.exit, t.events, t.audio, launcher, t.printer}};
    ctx.folders.ProgramFolder = (root / "四捨五入").string() + "/";
    fs::create_directories(root / "四捨五入");

    EXPECT_THROW(LeaveToProgramMenu(ctx), ProgramEnded);
    EXPECT_EQ(t.exit.statuses, std::vector<int>{0});
    EXPECT_TRUE(t.dialogs.shown.empty());
    EXPECT_EQ(waitForFile(record),
              (root / "四捨五入").string() + "/../起動/プログラムメニューc.exe|1|001\n");

    // Without the menu program the system's reason is shown.
    fs::remove(root / "起動" / kProgramMenuFile);
    EXPECT_THROW(LeaveToProgramMenu(ctx), ProgramEnded);
    EXPECT_EQ(t.exit.statuses, (std::vector<int>{0, 1}));
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    EXPECT_NE(t.dialogs.shown[0].text.find("プログラムメニューc.exe"), std::string::npos);
    const std::string& text = t.dialogs.shown[0].text;
    const size_t reason = text.find("\r\n");
    ASSERT_NE(reason, std::string::npos);
    EXPECT_GT(text.size(), reason + 2) << "the system's reason follows";
}

TEST(ProgramMenu, ListsTheSiblingFoldersThatHoldAProgram) {
    TempDir root;
    writeProgram(root / "起動" / kProgramMenuFile, "#!/bin/sh\n");
    writeProgram(root / "Kestrel" / "helper", "#!/bin/sh\n");
    writeProgram(root / "Kestrel" / "kestrel", "#!/bin/sh\n");
    writeProgram(root / "かけ算" / "b", "#!/bin/sh\n");
    writeProgram(root / "かけ算" / "a", "#!/bin/sh\n");
    fs::create_directories(root / "共有データ");
    std::ofstream(root / "共有データ" / "共通データ.txt") << "x";
    std::ofstream(root / "パスデータ.txt") << "x";

    const std::vector<InstalledProgram> found = installedPrograms(root / "起動");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].folderName, "Kestrel");
    EXPECT_EQ(found[0].program, root / "Kestrel" / "kestrel");
    EXPECT_EQ(found[1].folderName, "かけ算");
    EXPECT_EQ(found[1].program, root / "かけ算" / "a");
    EXPECT_TRUE(installedPrograms(root / "nowhere" / "起動").empty());
}
