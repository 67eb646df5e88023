#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "context/Procedures.h"
#include "platform/Utf8Path.h"
#include "results/ResultRecord.h"
#include "sound/SoundCues.h"
#include "startup/CriteriaTable.h"
#include "startup/Folders.h"
#include "support/Installation.h"

using namespace kestrel;
using kestrel::test::Installation;
using kestrel::test::TestContext;

TEST(SchoolCode, FiveLeadingCharactersAreTheCodeWhenTheyStartWithANumber) {
    struct Case {
        const char* item;
        const char* code;
        const char* name;
    } cases[] = {
        {"12345テスト小学校", "12345", "テスト小学校"},
        {"テスト小学校", "", "テスト小学校"},
        {"00000テスト小学校", "", "00000テスト小学校"}, // 00000 reads as 0
        {"123テスト小学校", "123テス", "ト小学校"},     // five characters, not digits
        {"12345", "12345", ""},
        {"", "", ""},
        {"１２３４５小学校", "", "１２３４５小学校"}, // full-width digits are no number
    };
    for (const auto& c : cases) {
        SchoolIdentity s = splitSchoolCode(c.item);
        EXPECT_EQ(s.code, c.code) << c.item;
        EXPECT_EQ(s.name, c.name) << c.item;
    }
}

TEST(SharedConfig, StartMonthOfAnyItemOneIsAWholeNumberWithinInt) {
    struct Case {
        std::string item;
        int month;
    } cases[] = {
        {"4", 4},
        {"4.9", 4},
        {"", 0},
        {"四月", 0},
        {"-3", -3},
        // Far past int: held at its ends instead of an undefined conversion.
        {"77777777777", std::numeric_limits<int>::max()},
        {"-" + std::string(400, '9'), std::numeric_limits<int>::min()},
    };
    for (const auto& c : cases) {
        SharedConfig config;
        config.SchoolYearStartMonth = c.item;
        EXPECT_EQ(startMonthOf(config), c.month) << c.item;
    }
}

TEST(Folders, WrittenPathsMapToThisSystem) {
    struct Case {
        const char* written;
        const char* mapped;
        const char* onWindows; // where Windows keeps the drive
    } cases[] = {
        {"D:\\shared\\", "/shared/", "D:/shared/"},
        {"共有データ\\", "/opt/k/共有データ/", nullptr},
        {"..\\x\\", "/opt/k/../x/", nullptr},
        {"/srv/shared/", "/srv/shared/", nullptr},
        {"\\\\server\\share\\", "//server/share/", nullptr},
        {"c:", "/", "c:/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mapWrittenPath(c.written, "/opt/k/"),
                  systemNamesDrives() && c.onWindows ? c.onWindows : c.mapped)
            << c.written;
}

TEST(Folders, DataFolderIsNamedAfterTheProgramFolderUnderAnyParent) {
    // Windows puts the current drive before a path from the root.
    const std::string root = genericUtf8OfPath(std::filesystem::absolute("/"));
    const std::string shared = systemNamesDrives() ? "D:/shared/" : "/shared/";
    for (const char* parent : {"/a", "/srv/教室/b", "/"}) {
        const std::filesystem::path program = pathFromUtf8(parent) / "X" / "kestrel";
        for (const char* written : {"D:\\shared\\", "D:\\shared"}) {
            AppFolders f = deriveFolders(program, written);
            EXPECT_EQ(f.ProgramFolder,
                      root + genericUtf8OfPath(pathFromUtf8(parent) / "X").substr(1) + "/");
            EXPECT_EQ(f.ProgramFolderName, "X");
            EXPECT_EQ(f.SharedFolder, shared) << written;
            EXPECT_EQ(f.DataFolder, shared + "X/");
            EXPECT_EQ(f.SoundFolder, shared + "音フォルダ/");
        }
    }
    // A relative shared folder lies beside the program folder, where the path file is.
    const std::string opt = genericUtf8OfPath(std::filesystem::absolute("/opt/k/"));
    AppFolders rel = deriveFolders("/opt/k/X/kestrel", "共有データ\\");
    EXPECT_EQ(rel.DataFolder, opt + "共有データ/X/");
    EXPECT_EQ(deriveFolders("/opt/k/X/kestrel", "..\\y\\").SoundFolder, opt + "../y/音フォルダ/");
}

TEST(Folders, TheFilesInTheFoldersKeepTheirNamesWhateverThePathFileHolds) {
    using namespace std::string_literals;
    const std::filesystem::path program = pathFromUtf8("/srv/学校/Kestrel/kestrel");
    // Drives, roots, network paths, a colon inside a name, and a drive
    // followed by NULs (a path file a fuzzer wrote).
    for (const std::string& written : {"D:\0\0"s, "D:"s, "d:s"s, "\\\\"s, "\\\\\\"s,
                                       "\\\\server\\share"s, "~:"s, ":"s, "4:\0x"s, "a\\D:"s}) {
        const AppFolders f = deriveFolders(program, written);
        EXPECT_EQ(pathFromUtf8(f.SharedFolder, kSharedConfigFileName).filename(),
                  pathFromUtf8(kSharedConfigFileName))
            << written;
        EXPECT_EQ(criteriaFilePath(f).filename(), pathFromUtf8(kCriteriaFileName)) << written;
        EXPECT_EQ(resultsLogPath(f).filename(), pathFromUtf8(kResultsLogName)) << written;
    }
}

TEST(InitialiseFolders, ReadsThePathFileConfigurationAndTables) {
    Installation inst;
    TestContext t;
    t.ctx.programFile = inst.programFile();
    InitialiseFolders(t.ctx);

    const std::string root = genericUtf8OfPath(inst.root()) + "/";
    EXPECT_EQ(t.ctx.folders.ProgramFolder, root + "四捨五入/");
    EXPECT_EQ(t.ctx.folders.SharedFolder, root + "共有データ/");
    EXPECT_EQ(t.ctx.folders.DataFolder, root + "共有データ/四捨五入/");
    EXPECT_EQ(t.ctx.folders.SoundFolder, root + "共有データ/音フォルダ/");

    EXPECT_EQ(t.ctx.config.SchoolYearStartMonth, "4");
    EXPECT_EQ(t.ctx.config.SchoolCode, "12345");
    EXPECT_EQ(t.ctx.config.SchoolName, "テスト小学校");
    EXPECT_EQ(t.ctx.config.ListStatus2Entries, "0");
    EXPECT_EQ(t.ctx.config.TeacherPassword, "sensei");
    EXPECT_EQ(t.ctx.config.items[9], "10");

    EXPECT_FALSE(t.ctx.program.ProgramTitle.empty());
    EXPECT_EQ(t.ctx.criteria.rowCount, 5);
    EXPECT_EQ(t.ctx.criteria[1].targetTime, 60);
    EXPECT_EQ(t.ctx.sounds.cue(SoundTable::kRightCue).files[1], "seikai");
}

TEST(InitialiseFolders, FailuresNameTheFileAndTheProblem) {
    struct Case {
        const char* what;
        const char* file; // rewritten, or removed when text is null
        const char* text;
        std::vector<std::string> expected;
        bool rawBytes = false; // text written as it stands, not converted
    } cases[] = {
        {"no path file", Installation::kPathFile, nullptr, {"パスデータ.txt", "見つかりません"}},
        {"path file of one line",
         Installation::kPathFile,
         "共有データ\\\r\n",
         {"パスデータ.txt", "10項目", "1項目しかありません"}},
        {"path file not CP932",
         Installation::kPathFile,
         "D:\\x\\\x81",
         {"パスデータ.txt", "CP932"},
         true},
        {"empty shared folder",
         Installation::kPathFile,
         ",2,3,4,5,6,7,8,9,10\r\n",
         {"パスデータ.txt", "空"}},
        {"no configuration",
         Installation::kConfigFile,
         nullptr,
         {"共通データ.txt", "見つかりません"}},
        {"configuration of nine items",
         Installation::kConfigFile,
         "4,学校,0,,,pw,7,8,9\r\n",
         {"共通データ.txt", "9項目しかありません"}},
        {"no criteria file",
         Installation::kCriteriaFile,
         nullptr,
         {"タイム回数データ.txt", "見つかりません"}},
        {"no sound table", Installation::kSoundTableFile, nullptr, {"新音ファイル.txt"}},
    };
    for (const auto& c : cases) {
        Installation inst;
        if (!c.text)
            inst.remove(c.file);
        else if (c.rawBytes)
            test::writeBytes(inst.file(c.file), c.text);
        else
            inst.write(c.file, c.text);
        TestContext t;
        t.ctx.programFile = inst.programFile();
        try {
            InitialiseFolders(t.ctx);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const StartupError& e) {
            const std::string message = e.what();
            for (const std::string& part : c.expected)
                EXPECT_NE(message.find(part), std::string::npos) << c.what << ": " << message;
            // The whole path is named, so the teacher knows where to look.
            EXPECT_NE(message.find(genericUtf8OfPath(inst.root())), std::string::npos) << message;
        }
    }
}
