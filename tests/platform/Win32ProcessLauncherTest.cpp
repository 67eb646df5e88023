// Windows' command lines: every argument reaches the started program as
// given, split back by the rules its runtime uses.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include "platform/Win32ProcessLauncher.h"

namespace kestrel {
namespace {

std::vector<std::wstring> splitBack(const std::wstring& line) {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> out(argv, argv + count);
    LocalFree(argv);
    return out;
}

std::wstring wide(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

TEST(Win32CommandLine, ArgumentsComeBackAsGiven) {
    const std::vector<std::string> programs = {"C:\\Program Files\\Kestrel\\kestrel.exe",
                                               "kestrel.exe", "C:\\教室\\四捨五入.exe"};
    const std::vector<std::vector<std::string>> argumentLists = {
        {},
        {"plain"},
        {"with space", ""},
        {"quote\"inside", "trailing\\", "two\\\\", "back\\\\slash \"q\""},
        {"\\\\server\\share\\四捨五入\\", "a\tb", "--folder=C:\\x y\\"},
    };
    for (const std::string& program : programs) {
        for (const auto& arguments : argumentLists) {
            const std::wstring line = win32CommandLine(program, arguments);
            const std::vector<std::wstring> back = splitBack(line);
            ASSERT_EQ(back.size(), arguments.size() + 1) << program;
            EXPECT_EQ(back[0], wide(program));
            for (size_t i = 0; i < arguments.size(); ++i)
                EXPECT_EQ(back[i + 1], wide(arguments[i])) << program << " #" << i;
        }
    }
}

TEST(Win32ProcessLauncher, AMissingProgramIsAFailureWithItsText) {
    Win32ProcessLauncher launcher;
    std::string error;
    EXPECT_FALSE(launcher.startDetached("C:\\no\\such\\program.exe", {"x"}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(mayStartProgram("C:\\no\\such\\program.exe"));
}

} // namespace
} // namespace kestrel
#endif
