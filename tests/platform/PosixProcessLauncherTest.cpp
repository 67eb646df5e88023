#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/PosixProcessLauncher.h"
#include "support/Fakes.h"

using namespace kestrel;

namespace {

// Waits for a file the started program makes; a bounded wait, not a timing check.
bool appears(const std::filesystem::path& file) {
    for (int i = 0; i < 500; ++i) {
        if (std::filesystem::exists(file)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(PosixProcessLauncher, PassesArgumentsUnchangedWithoutAShell) {
    test::TempDir dir;
    PosixProcessLauncher launcher;
    std::string error = "stale";
    // A shell would split this at the blank and run what follows the ";".
    const std::filesystem::path odd = dir / "a b;touch $HOME 'q'";
    ASSERT_TRUE(launcher.startDetached("touch", {odd.string()}, error)) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(appears(odd));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(PosixProcessLauncher, AMissingProgramFailsWithTheSystemText) {
    test::TempDir dir;
    PosixProcessLauncher launcher;
    for (const std::string& program :
         {(dir / "プログラムメニューc.exe").string(), std::string("kestrel-no-such-program")}) {
        std::string error;
        EXPECT_FALSE(launcher.startDetached(program, {"001"}, error)) << program;
        EXPECT_EQ(error, std::strerror(ENOENT)) << program;
    }
}
