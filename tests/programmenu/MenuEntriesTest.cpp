// The program menu lists this drill under the title its screens show, which
// a child can read, and every other program under its folder's name.
#include <gtest/gtest.h>

#include <fstream>

#include "MenuEntries.h"
#include "platform/Utf8Path.h"
#include "support/Fakes.h"

using namespace kestrel;
using kestrel::test::TempDir;
namespace fs = std::filesystem;

namespace {

// A program file as this system starts one.
fs::path writeProgram(const fs::path& folder, const std::string& stem) {
#ifdef _WIN32
    const fs::path file = folder / pathFromUtf8(stem + ".exe");
#else
    const fs::path file = folder / pathFromUtf8(stem);
#endif
    fs::create_directories(folder);
    std::ofstream(file) << "#!/bin/sh\n";
    fs::permissions(file, fs::perms::owner_all, fs::perm_options::add);
    return file;
}

} // namespace

TEST(ProgramMenuEntries, TheDrillShowsItsTitleAndOtherProgramsTheirFolders) {
    TempDir root;
    writeProgram(root / "起動", "プログラムメニューc");
    writeProgram(root / "Kestrel", "kestrel-doctor");
    const fs::path drill = writeProgram(root / "Kestrel", "kestrel");
    const fs::path other = writeProgram(root / "かけ算", "a");

    const std::vector<InstalledProgram> entries = menuEntries(root / "起動");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].folderName, "四捨五入と概数のドリル");
    EXPECT_EQ(entries[0].program, drill);
    EXPECT_EQ(entries[1].folderName, "かけ算");
    EXPECT_EQ(entries[1].program, other);

    EXPECT_EQ(familyTitleOf(pathFromUtf8("C:/Kestrel/Kestrel.EXE")), "四捨五入と概数のドリル");
    EXPECT_FALSE(familyTitleOf(pathFromUtf8("/x/Kestrel/kestrel-csv")));
}
