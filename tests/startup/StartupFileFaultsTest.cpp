// Start-up on files that are cut short: a criteria file that ends inside a
// row or holds no level rows and a path file with too few items stop
// start-up with a message that says where and what to write; a shared
// folder that is not there is named with the path file's line; the values
// a criteria cell may hold.
#include <gtest/gtest.h>

#include "context/Procedures.h"
#include "startup/CriteriaTable.h"
#include "startup/Folders.h"
#include "support/Fakes.h"
#include "support/Installation.h"

using namespace kestrel;
using kestrel::test::Installation;
using kestrel::test::TestContext;

namespace {

const std::string kCaptions =
    "目標Time,最低Time,ｸﾘｱﾎﾟｲﾝﾄ,ｸﾘｱ回数,ﾎﾟｲﾝﾄ倍率,禁回,禁点,判期間,禁期間,,,\r\n";
const std::string kRow = "60,120,300,10,1,30,0,7,1,,,\r\n";

// The start-up message for `relative` holding `text`, or "" when it starts.
std::string startupMessage(const char* relative, const std::string& text) {
    Installation inst;
    inst.write(relative, text);
    TestContext t;
    t.ctx.programFile = inst.programFile();
    try {
        InitialiseFolders(t.ctx);
    } catch (const StartupError& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(StartupFileFaults, ACriteriaFileThatEndsInsideARowStopsStartUp) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> expected; // empty: start-up goes on
    } const cases[] = {
        {"last row of two values",
         kCaptions + kRow + "70,140\r\n",
         {"タイム回数データ.txt", "3行目（レベル2）", "値が 2 個", "12 個", ",,,」"}},
        {"last row without its empty values",
         kCaptions + kRow + kRow + "60,120,300,10,1,30,0,7,1\r\n",
         {"4行目（レベル3）", "値が 9 個"}},
        {"a middle row one short",
         kCaptions + kRow + "60,120,300,10,1,30,0,7,,,\r\n" + kRow,
         {"3行目（レベル2）", "値が 11 個"}},
        {"caption line alone and short",
         "目標Time,最低Time\r\n",
         {"1行目（見出しの行）", "値が 2 個"}},
        {"whole rows", kCaptions + kRow + kRow, {}},
        {"whole rows and blank lines at the end", kCaptions + kRow + "\r\n\r\n", {}},
        {"no line end at the end", kCaptions + kRow.substr(0, kRow.size() - 2), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = startupMessage(Installation::kCriteriaFile, c.text);
        if (c.expected.empty()) {
            EXPECT_EQ(message, "");
            continue;
        }
        for (const std::string& part : c.expected)
            EXPECT_NE(message.find(part), std::string::npos) << message;
        EXPECT_NE(message.find("このファイルにはレベルごとの基準タイムを書きます。"),
                  std::string::npos);
    }

    // Rows past level 35 are passed over, cut or not.
    std::string many = kCaptions;
    for (int level = 1; level <= 36; ++level)
        many += kRow;
    EXPECT_EQ(startupMessage(Installation::kCriteriaFile, many + "1,2\r\n"), "");
    EXPECT_NE(startupMessage(Installation::kCriteriaFile, kCaptions + kRow + "1,2\r\n"), "");
}

TEST(StartupFileFaults, ACriteriaFileOfNoLevelRowsStopsStartUp) {
    // Read as it stands, every level would want 0 s and no run would ever time out.
    for (const std::string& text :
         {std::string(), kCaptions, kCaptions + "\r\n\r\n", std::string("\r\n")}) {
        SCOPED_TRACE(text);
        const std::string message = startupMessage(Installation::kCriteriaFile, text);
        for (const char* part :
             {"タイム回数データ.txt", "レベルの行がありません", "12 個の値",
              "60,120,300,10,1,30,0,7,1,,,", "このファイルにはレベルごとの基準タイムを書きます。"})
            EXPECT_NE(message.find(part), std::string::npos) << message;
    }
    EXPECT_EQ(startupMessage(Installation::kCriteriaFile, kCaptions + kRow), "");
}

TEST(StartupFileFaults, APathFileOfTooFewItemsSaysWhichToAdd) {
    struct Case {
        std::string text;
        std::vector<std::string> expected;
    } const cases[] = {
        {"共有データ\\\r\n", {"1項目しかありません", "2項目目から10項目目を", "「2」から「10」"}},
        {"共有データ\\\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n", {"8項目目から10項目目を"}},
        {"", {"0項目しかありません", "1項目目に共有フォルダの場所"}},
    };
    for (const Case& c : cases) {
        const std::string message = startupMessage(Installation::kPathFile, c.text);
        for (const std::string& part : c.expected)
            EXPECT_NE(message.find(part), std::string::npos) << message;
    }
    // The shared configuration's items are this program's own: no such advice.
    const std::string config = startupMessage(Installation::kConfigFile, "4,学校,0\r\n");
    EXPECT_NE(config.find("3項目しかありません"), std::string::npos) << config;
    EXPECT_EQ(config.find("書き足します"), std::string::npos) << config;
}

TEST(CriteriaColumns, WhatACellMayHold) {
    struct Case {
        int column;
        const char* text;
        bool ok;
    } const cases[] = {
        {1, "60", true},    {1, " 60 ", true},    {1, "60abc", false}, {1, "", false},
        {1, "0", false},    {1, "60.5", false},   {1, "99998", true},  {1, "99999", false},
        {2, "-5", false},   {2, "1", true},       {3, "9999", true},   {3, "2147483648", false},
        {4, "32767", true}, {4, "32768", false},  {4, "10回", false},  {5, "1.5", true},
        {5, ".5", true},    {5, "1,5", false},    {5, "1001", false},  {5, "", false},
        {6, "", true},      {6, "0", true},       {6, "3.5", false},   {7, "500", true},
        {8, "", true},      {8, "100001", false}, {9, "30", true},     {9, "1e3", false},
        {10, "abc", true},  {12, "", true},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> expected = criteriaCellExpectation(c.column, c.text);
        EXPECT_EQ(!expected.has_value(), c.ok) << c.column << " '" << c.text << "'";
    }
    EXPECT_EQ(criteriaCellExpectation(4, "x").value(), "0 から 32767 までの整数（回）");
    EXPECT_EQ(criteriaCellExpectation(5, "x").value(), "0 から 1000 までの数（倍）");
    EXPECT_EQ(criteriaCellExpectation(8, "x").value(), "0 から 100000 までの整数（日）か空");
}

TEST(StartupFileFaults, AMissingSharedFolderIsNamedWithThePathFilesLine) {
    struct Case {
        std::string firstItem;
        std::vector<std::string> expected;
    } const cases[] = {
        {"届かない共有\\",
         {"共有フォルダ「", "届かない共有/」が見つかりません。",
          "パスデータ.txt」の1行目に「届かない共有\\」", "ネットワーク",
          "このファイルには共有フォルダの場所を書きます。"}},
        {"共有データ\\共通データ.txt", {"共通データ.txt/」はフォルダではありません。"}},
    };
    for (const Case& c : cases) {
        std::string text = c.firstItem + "\r\n";
        for (int item = 2; item <= 10; ++item)
            text += std::to_string(item) + "\r\n";
        const std::string message = startupMessage(Installation::kPathFile, text);
        for (const std::string& part : c.expected)
            EXPECT_NE(message.find(part), std::string::npos) << message;
        // The folder is the fault, not the file that would be inside it.
        EXPECT_EQ(message.find("が見つかりません。このファイルには学校"), std::string::npos)
            << message;
    }
}
