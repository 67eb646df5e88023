// The roster as a spreadsheet and back: a roster survives the way out and
// in byte for byte, a school's own file is read whatever its encoding and
// column order, grades become birth years, and every problem is told with
// its spreadsheet row; nothing is ever replaced or dropped unsaid.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/Utf8Path.h"
#include "roster/RosterDisplay.h"
#include "roster/RosterSheet.h"
#include "text/Cp932.h"
#include "text/CsvText.h"

using namespace kestrel;

namespace {

const RosterCheckSettings kSettings{2026, false};

std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string demoRoster() {
    std::ifstream in(
        pathFromUtf8(std::string(KESTREL_DEMO_SOURCE_DIR) + "/install/共有データ/新名簿.txt"));
    std::stringstream buf;
    buf << in.rdbuf();
    return crlf(buf.str());
}

const char* const kHeader = "番号,生まれ年,項目3,項目4,名前,状態,項目7,項目8\r\n";

RosterImport imported(const std::string& utf8Body, const std::string& header = kHeader) {
    return importRosterSheet(header + utf8Body, kSettings);
}

// The problems' messages, one a line, for failure output.
std::string told(const RosterImport& im) {
    std::string out;
    for (const SheetProblem& p : im.problems)
        out += std::to_string(p.row) + " " + p.message + "\n";
    return out;
}

bool tells(const RosterImport& im, int row, FindingLevel level, const std::string& part) {
    for (const SheetProblem& p : im.problems)
        if (p.row == row && p.level == level && p.message.find(part) != std::string::npos &&
            p.message.rfind(row > 0 ? "CSV の " + std::to_string(row) + "行目：" : "", 0) == 0)
            return true;
    return false;
}

} // namespace

TEST(RosterSheet, ARosterGoesOutAndComesBackByteForByte) {
    const std::string tricky = "1,2016,1,1,\"佐藤, 花子\",0,\"  前に空白\",\r\n"
                               "2,2016,,,鈴木\"愛称\"大翔,2,,転出\r\n"
                               "3,2017,0,0,林,0,\"後ろに空白 \",\"係:図書,保健\"\r\n";
    for (const std::string& roster : {demoRoster(), tricky}) {
        const std::vector<RosterRow> rows = rosterRows(roster);
        for (bool utf8 : {false, true}) {
            const std::string sheet = rosterSheet(rows, utf8);
            EXPECT_EQ(sheet.rfind(utf8 ? "\xEF\xBB\xBF番号" : utf8ToCp932("番号"), 0), 0u);
            const RosterImport im = importRosterSheet(sheet, kSettings);
            EXPECT_EQ(im.encoding, utf8 ? SheetEncoding::Utf8WithBom : SheetEncoding::Cp932);
            EXPECT_FALSE(im.hasErrors()) << told(im);
            EXPECT_EQ(im.rosterText(), roster) << (utf8 ? "utf8" : "cp932");
        }
    }
    // The demo roster has 33 entries under the header.
    EXPECT_EQ(csvRows(cp932ToUtf8(rosterSheet(rosterRows(demoRoster()), false))).size(), 34u);
}

TEST(RosterSheet, ColumnsByTheirNamesInAnyOrderAndGradesForBirthYears) {
    // A school's own sheet: its columns in another order, full-width
    // header digits, a column of its own, and grades of this school year.
    const std::string sheet = "名前,　番号,学年,状態,メモ,項目３\n"
                              "\"山田, 花子\",1,小１,0,よくできる,7\n"
                              "鈴木大翔,2,中３,,,\n"
                              "林,3,小3,1,,\n"
                              "森,4,2016,0,,\n"
                              "谷,5,高３,0,,\n"
                              ",,,,,\n";
    for (const std::string& bytes : {sheet, utf8ToCp932(sheet), "\xEF\xBB\xBF" + sheet}) {
        const RosterImport im = importRosterSheet(bytes, kSettings);
        EXPECT_FALSE(im.hasErrors()) << told(im);
        // 高３ has no grade label: the roster's rule warns.
        EXPECT_TRUE(tells(im, 6, FindingLevel::Warning, "高3")) << told(im);
        EXPECT_EQ(im.rosterText(), "1,2019,7,,\"山田, 花子\",0,,\r\n"
                                   "2,2011,,,鈴木大翔,,,\r\n"
                                   "3,2017,,,林,1,,\r\n"
                                   "4,2016,,,森,0,,\r\n"
                                   "5,2008,,,谷,0,,\r\n");
        EXPECT_TRUE(tells(im, 1, FindingLevel::Warning, "「メモ」")) << told(im);
        EXPECT_EQ(im.sheetRows, (std::vector<int>{2, 3, 4, 5, 6}));
    }
    EXPECT_EQ(importRosterSheet(sheet, kSettings).encoding, SheetEncoding::Utf8);
    EXPECT_EQ(importRosterSheet(utf8ToCp932(sheet), kSettings).encoding, SheetEncoding::Cp932);
}

TEST(RosterSheet, EveryProblemIsToldWithItsRow) {
    const struct Case {
        const char* what;
        std::string body; // rows 2, 3, ...
        int row;
        FindingLevel level;
        const char* says;
    } cases[] = {
        {"a duplicate number", "1,2016,,,林,0,,\n1,2016,,,森,0,,\n", 3, FindingLevel::Error,
         "CSV の 2行目 と同じ"},
        {"a number above 5000", "5001,2016,,,林,0,,\n", 2, FindingLevel::Error, "0 から 5000"},
        {"an unknown status", "1,2016,,,林,0,,\n2,2016,,,森,7,,\n", 3, FindingLevel::Warning,
         "状態 7"},
        {"a birth year without a grade", "1,2009,,,林,0,,\n", 2, FindingLevel::Warning, "高2"},
        {"a name cut at 20", "1,2016,,,あいうえおかきくけこさしすせそたちつてとな,0,,\n", 2,
         FindingLevel::Warning, "21 文字"},
        {"a rare variant kanji", "1,2016,,,山田,0,,\n2,2016,,,𠮷田,0,,\n", 3, FindingLevel::Error,
         "「𠮷」（U+20BB7）"},
        {"an emoji", "1,2016,,,ゆう😀,0,,\n", 2, FindingLevel::Error, "「😀」（U+1F600）"},
        {"a line break in a cell", "1,2016,,,\"山田\n花子\",0,,\n", 2, FindingLevel::Error, "改行"},
        {"a quote that cannot be written", "1,2016,,,林,0,\"\"\"a\"\", b\",\n", 2,
         FindingLevel::Error, "名簿に書けません"},
        {"a grade that is no grade", "1,3年,,,林,0,,\n", 2, FindingLevel::Error,
         "数ではありません"},
    };
    for (const Case& c : cases) {
        const RosterImport im = imported(c.body);
        EXPECT_TRUE(tells(im, c.row, c.level, c.says)) << c.what << "\n" << told(im);
        EXPECT_EQ(im.hasErrors(), c.level == FindingLevel::Error) << c.what;
        if (c.level == FindingLevel::Error) {
            // The rows without an error still make a roster to preview.
            EXPECT_EQ(rosterRows(im.rosterText(true)).size(), im.rows.size() - 1) << c.what;
        }
    }
    // Problems of the file as a whole.
    const struct {
        const char* what;
        std::string bytes;
        const char* says;
    } files[] = {
        {"no name column", "番号,生まれ年\n1,2016\n", "「名前」の見出しの列がありません"},
        {"no birth year", "番号,名前\n1,林\n", "「生まれ年」（または「学年」）"},
        {"two number columns", "番号,番号,生まれ年,名前\n1,2,2016,林\n", "2 つあります"},
        {"only a header", "番号,生まれ年,名前\n\n", "生徒の行がありません"},
        {"nothing", "\r\n", "空です"},
        {"neither encoding", "\x81\x20\xFF\xFE", "UTF-8 でもシフトJIS(CP932) でもありません"},
        {"a false byte-order mark", "\xEF\xBB\xBF\xFF", "UTF-8 として読めない"},
    };
    for (const auto& f : files) {
        const RosterImport im = importRosterSheet(f.bytes, kSettings);
        EXPECT_TRUE(im.hasErrors()) << f.what;
        ASSERT_FALSE(im.problems.empty()) << f.what;
        EXPECT_NE(im.problems[0].message.find(f.says), std::string::npos)
            << f.what << ": " << told(im);
    }
}

TEST(RosterSheet, ThePreviewIsTheNameScreensList) {
    const RosterImport im = imported("2,2016,,,鈴木大翔,0,,\n"
                                     "1,2017,,,林,0,,\n"
                                     "3,2016,,,森,1,,\n"
                                     "4,2016,,,見学,2,,\n");
    auto summary = std::make_unique<ResultsSummary>();
    summary->countAll[1][2] = 3;
    SharedConfig config;
    const auto lines = nameScreenLines(im.rosterText(), *summary, config, 2026);
    // What the name screen's own reader makes of the written file.
    auto roster = std::make_unique<RosterTables>();
    roster->SchoolYear = 2026;
    NameListState lists;
    startNameLists(lists);
    readRosterBytes(*roster, lists, *summary, utf8ToCp932(im.rosterText()), kRosterFile, config);
    filterNameLists(lists, *roster);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines, std::vector<std::string>(lists.List1.begin() + 1, lists.List1.end()));
    // Oldest first, with the runs of the log.
    EXPECT_EQ(lines[0].rfind("小4 鈴木大翔", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("3回"), std::string::npos) << lines[0];
    config.ListStatus2Entries = "1";
    EXPECT_EQ(nameScreenLines(im.rosterText(), *summary, config, 2026).size(), 3u);
}

// A column headed 学年 takes the grade as teachers write it; a grade it
// cannot read is an error naming that column, told once.
TEST(RosterSheet, AGradeColumnReadsGradesAsTeachersWriteThem) {
    const struct {
        const char* cell;
        int grade; // GradeNumber in the school year 2026
    } read[] = {
        {"3", 3},
        {"３", 3},
        {"3年", 3},
        {"３年", 3},
        {"3年生", 3},
        {"３年生", 3},
        {"小3", 3},
        {"小３", 3},
        {"小3年", 3},
        {"小学3年", 3},
        {"小学３年生", 3},
        {"小学校3年", 3},
        {"小学校第3学年", 3},
        {"小三", 3},
        {"三年", 3},
        {" 6 ", 6},
        {"中1", 7},
        {"中１", 7},
        {"中学1年", 7},
        {"中学校２年生", 8},
        {"7年", 7},
        {"高1", 10},
        {"高校1年", 10},
        {"幼3", 0},
        {"年長", 0},
    };
    for (const auto& r : read) {
        const RosterImport im =
            importRosterSheet(std::string("番号,名前,学年\n1,林,") + r.cell + "\n", kSettings);
        EXPECT_FALSE(im.hasErrors()) << r.cell << "\n" << told(im);
        EXPECT_EQ(im.rosterText(), "1," + std::to_string(2026 - 6 - r.grade) + ",,,林,,,\r\n")
            << r.cell;
    }
    // A birth year still reads as one there; an empty cell stays empty.
    EXPECT_EQ(importRosterSheet("番号,名前,学年\n1,林,2016\n2,森先生,\n", kSettings).rosterText(),
              "1,2016,,,林,,,\r\n2,,,,森先生,,,\r\n");
    for (const char* bad : {"3ねん", "小7", "中4", "0", "10", "P3", "三年A"}) {
        const RosterImport im =
            importRosterSheet(std::string("番号,名前,学　年\n1,林,") + bad + "\n", kSettings);
        EXPECT_TRUE(im.hasErrors()) << bad;
        ASSERT_EQ(im.problems.size(), 1u) << bad << "\n" << told(im);
        EXPECT_TRUE(tells(im, 2, FindingLevel::Error,
                          std::string("「学　年」の列の「") + bad + "」を学年として読めません"))
            << told(im);
    }
}

// A roster of the roster's own layout, saved as UTF-8 (a spreadsheet's
// export, or a text editor's): no header, eight fields an entry. It is
// read as the program reads the roster and written back as CP932.
TEST(RosterSheet, ARosterSavedInUtf8IsReadInItsOwnLayout) {
    const std::string roster = demoRoster();
    for (const std::string& bytes : {roster, "\xEF\xBB\xBF" + roster, utf8ToCp932(roster)}) {
        const RosterImport im = importRosterSheet(bytes, kSettings);
        EXPECT_TRUE(im.rosterLayout);
        EXPECT_FALSE(im.hasErrors()) << told(im);
        EXPECT_EQ(im.rosterText(), roster);
    }
    // Its problems are named by the entry, as the roster's checks name them.
    const RosterImport im =
        importRosterSheet("1,2016,0,0,林,0,,\n1,2016,0,0,𠮷田,0,,\n", kSettings);
    EXPECT_TRUE(im.rosterLayout);
    for (const char* said :
         {"2人目：番号 1 は 1人目 と同じです", "2人目：名前「𠮷田」の文字 「𠮷」"}) {
        bool found = false;
        for (const SheetProblem& p : im.problems)
            found |= p.row == 2 && p.level == FindingLevel::Error && p.message.rfind(said, 0) == 0;
        EXPECT_TRUE(found) << said << "\n" << told(im);
    }
}
