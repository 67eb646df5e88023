// The criteria file keeps its permission bits through a save, so that the
// other teachers' accounts of a Linux share can still write it. (Windows
// gives the new file its folder's access list instead; it has no such bits.)
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "startup/CriteriaTable.h"
#include "support/Fakes.h"

using namespace kestrel;
using kestrel::test::TempDir;

TEST(CriteriaTable, ASaveKeepsWhoMayWriteTheFile) {
    // The other teachers' accounts of a shared data folder must still be
    // able to save after this one did.
    namespace fs = std::filesystem;
    for (const fs::perms mode :
         {fs::perms(0664), fs::perms(0660), fs::perms(0666), fs::perms(0600)}) {
        TempDir dir;
        const fs::path file = dir / kCriteriaFileName;
        writeCriteriaFile(file, CriteriaTable{});
        fs::permissions(file, mode);
        writeCriteriaFile(file, CriteriaTable{});
        EXPECT_EQ(fs::status(file).permissions(), mode) << static_cast<int>(mode);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
            << "no temporary file left";
    }
}
