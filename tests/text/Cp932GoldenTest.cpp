// The school's text files as Windows writes them: the golden file's bytes
// came from WideCharToMultiByte(932) on Windows (under Wine) and are read
// here byte for byte, and the same text is written back to the same bytes,
// on either system. A Linux PC and a Windows PC thus read each other's
// roster, configuration and criteria, even the characters where Shift_JIS
// tables differ (～, －, ①, ㈱, 髙, the IBM and NEC extensions).
#include <gtest/gtest.h>

#include "platform/Utf8Path.h"
#include "support/Fakes.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

const std::filesystem::path kGolden = std::filesystem::path(KESTREL_TEST_DATA_DIR) / "cp932";

TEST(Cp932Golden, WindowsBytesReadAndWriteBackAlike) {
    const std::string windowsBytes = test::readBytes(kGolden / "windows.txt");
    const std::string text = test::readBytes(kGolden / "windows.utf8.txt");
    ASSERT_GT(windowsBytes.size(), 500u);
    EXPECT_EQ(readCp932File(kGolden / "windows.txt"), text);

    test::TempDir dir;
    const std::filesystem::path written = dir.path() / pathFromUtf8("新名簿.txt");
    writeCp932File(written, text);
    EXPECT_EQ(test::readBytes(written), windowsBytes);
    EXPECT_EQ(readCp932File(written), text);
}

} // namespace
} // namespace kestrel
