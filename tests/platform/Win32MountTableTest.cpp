// Windows' cloud folders and mapped drives: OneDrive's folder (as its
// environment names it) and the sync roots the system lists hold the data
// folder they contain; files with cloud attributes show a synced folder; a
// drive letter that is no network drive has no UNC name.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "platform/Utf8Path.h"
#include "platform/Win32MountTable.h"
#include "support/Fakes.h"

namespace kestrel {
namespace {

TEST(Win32MountTable, NamesAreComparedAsWindowsComparesThem) {
    struct Case {
        const char* path;
        const char* root;
        bool within;
    } const cases[] = {
        {"C:\\Users\\t\\OneDrive\\学校\\Kestrel", "C:\\Users\\t\\OneDrive", true},
        {"c:/users/T/onedrive/", "C:\\Users\\t\\OneDrive\\", true},
        {"C:\\Users\\t\\OneDrive", "C:\\Users\\t\\OneDrive", true},
        {"C:\\Users\\t\\OneDrive2\\x", "C:\\Users\\t\\OneDrive", false},
        {"D:\\data", "C:\\Users\\t\\OneDrive", false},
        {"C:\\x", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(win32PathWithin(c.path, c.root), c.within) << c.path << " " << c.root;

    EXPECT_EQ(win32SyncRootClient("OneDrive!S-1-5-21-1-2-3-1001!Personal|abc"), "OneDrive");
    EXPECT_EQ(win32SyncRootClient("Dropbox!S-1-5-21-1!Default"), "Dropbox");
}

TEST(Win32MountTable, CloudAttributesAreTheCloudClients) {
    struct Case {
        unsigned long attributes, tag;
        bool cloud;
    } const cases[] = {
        {FILE_ATTRIBUTE_ARCHIVE, 0, false},
        {FILE_ATTRIBUTE_ARCHIVE | 0x00080000, 0, true}, // pinned
        {FILE_ATTRIBUTE_ARCHIVE | 0x00100000, 0, true}, // online only
        {FILE_ATTRIBUTE_ARCHIVE | 0x00400000, 0, true}, // recalled on access
        {FILE_ATTRIBUTE_OFFLINE, 0, true},
        {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000001A, true}, // a placeholder
        {FILE_ATTRIBUTE_REPARSE_POINT, 0x9000601A, true},
        {FILE_ATTRIBUTE_REPARSE_POINT, 0xA000000C, false}, // a symbolic link
        {FILE_ATTRIBUTE_ARCHIVE, 0x9000001A, false},       // no reparse point: no tag
    };
    for (const Case& c : cases)
        EXPECT_EQ(win32CloudAttributes(c.attributes, c.tag), c.cloud) << std::hex << c.attributes;
}

TEST(Win32MountTable, OneDrivesFolderHoldsTheDataFolder) {
    test::TempDir dir;
    const std::string root = utf8OfPath(dir / "OneDrive");
    const std::string data = utf8OfPath(dir / "OneDrive/学校/Kestrel");
    std::filesystem::create_directories(dir / "OneDrive/学校/Kestrel");
    Win32MountTable table;
    EXPECT_FALSE(table.cloudFolderOf(data));
    ASSERT_EQ(_wputenv_s(L"OneDrive", std::filesystem::path(dir / "OneDrive").wstring().c_str()),
              0);
    const std::optional<CloudFolder> found = table.cloudFolderOf(data);
    _wputenv_s(L"OneDrive", L"");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->client, "OneDrive");
    EXPECT_EQ(found->root, root);
    EXPECT_FALSE(table.cloudFolderOf(utf8OfPath(dir.path())));

    // A drive that is no network drive has no UNC name to write instead.
    EXPECT_FALSE(table.networkNameOf("C:/Windows/"));
    EXPECT_FALSE(table.networkNameOf("\\\\server\\share\\"));
}

} // namespace
} // namespace kestrel
#endif
