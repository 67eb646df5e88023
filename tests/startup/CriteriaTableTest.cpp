#include <gtest/gtest.h>

#include <climits>

#include "context/Context.h"
#include "context/Procedures.h"
#include "startup/CriteriaTable.h"
#include "support/Fakes.h"
#include "text/Cp932.h"

using namespace kestrel;
using kestrel::test::TempDir;

namespace {

std::filesystem::path editorFile() {
    return test::testDataDir() / "startup" / "criteria_editor.txt";
}

std::string row(int level) {
    const std::string n = std::to_string(level);
    return n + "0," + n + "1," + n + "2," + n + "3," + n + ".5," + n + "5,0,7,1,,," + n + "\r\n";
}

} // namespace

TEST(CriteriaTable, EditorFileLoadsByLevelAndIsReproducedByteForByte) {
    const CriteriaTable t = readCriteriaFile(editorFile());
    ASSERT_EQ(t.rowCount, 5);
    EXPECT_EQ(t.captions, standardCriteriaCaptions());
    // Level 1 comes from the second line, not the caption line.
    EXPECT_EQ(t[1].targetTime, 60);
    EXPECT_EQ(t[1].minimumTime, 120);
    EXPECT_EQ(t[1].clearPoints, 300);
    EXPECT_EQ(t[1].clearCount, 10);
    EXPECT_FLOAT_EQ(t[1].pointMultiplier, 1.0f);
    EXPECT_EQ(t[1].overPracticeCount, "30");
    EXPECT_EQ(t[1].overPracticePoints, "0");
    EXPECT_EQ(t[1].passPeriodDays, "7");
    EXPECT_EQ(t[1].overPracticePeriodDays, "1");
    // Three empty values end a line; the next row starts on the next line.
    EXPECT_EQ(t[1].reserved10, "");
    EXPECT_EQ(t[1].reserved12, "");
    EXPECT_EQ(t[2].targetTime, 90);
    EXPECT_FLOAT_EQ(t[3].pointMultiplier, 1.5f);
    EXPECT_EQ(t[5].reserved10, "x");
    EXPECT_EQ(t[5].reserved12, "z");
    EXPECT_EQ(t[6].targetTime, 0);

    // "1.0" stays "1.0" although the value is 1.
    EXPECT_EQ(criteriaCell(t[2], 5), "1.0");
    EXPECT_EQ(formatCriteriaTable(t), cp932ToUtf8(test::readBytes(editorFile())));
    TempDir dir;
    writeCriteriaFile(dir / "out.txt", t);
    EXPECT_EQ(test::readBytes(dir / "out.txt"), test::readBytes(editorFile()));
}

TEST(CriteriaTable, WrittenTableReadsBackIdentical) {
    CriteriaTable t;
    t.rowCount = 3;
    const CriteriaCells cells[] = {
        {"45", "90", "250", "8", "1.25", "0", "0", "10", "2", "", "", ""},
        {"", "", "", "", "", "", "", "", "", "", "", ""},
        {"07", "abc", "1,5", "x", "2", "禁", "", "", "", "a", "b", "c"},
    };
    for (int level = 1; level <= 3; ++level)
        t[level] = criteriaFromCells(cells[level - 1]);
    // A numeric field changed in code is written as its new value.
    t[1].targetTime = 50;
    t[1].pointMultiplier = 1.75f;

    TempDir dir;
    writeCriteriaFile(dir / kCriteriaFileName, t);
    const std::string bytes = test::readBytes(dir / kCriteriaFileName);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    const CriteriaTable back = readCriteriaFile(dir / kCriteriaFileName);
    ASSERT_EQ(back.rowCount, 3);
    EXPECT_EQ(back.captions, t.captions);
    for (int level = 1; level <= 3; ++level)
        EXPECT_EQ(criteriaCells(back[level]), criteriaCells(t[level]));
    EXPECT_EQ(back[1].targetTime, 50);
    EXPECT_FLOAT_EQ(back[1].pointMultiplier, 1.75f);
    // A comma inside a cell does not shift the values after it.
    EXPECT_EQ(criteriaCell(back[3], 3), "1,5");
    EXPECT_EQ(back[3].clearPoints, 1);
    EXPECT_EQ(criteriaCell(back[3], 4), "x");
    EXPECT_EQ(back[3].reserved12, "c");
}

TEST(CriteriaTable, EveryCellTextReadsBackAsTyped) {
    // Texts a teacher may type into the editor's grid. Written bare, a
    // leading quote swallowed every later row, and the quotes inside a
    // quoted cell were lost.
    const char* const typed[] = {
        "\"",      "\"60", "60\"",       "6\"0",   "a,\"b",     "\"\"",
        "\",",     " 60",  "60 ",        "\t1",    "1,5",       "x\r\ny",
        "\"a,b\"", "",     "目標\"です", "\"\"\"", "a\"\",\"b", "ｸﾘｱ\"回数\"",
    };
    for (const char* cell : typed) {
        CriteriaTable t;
        t.rowCount = 3;
        for (int level = 1; level <= 3; ++level)
            t[level] = criteriaFromCells({"30", std::to_string(60 * level), "300", "10", "1", "0",
                                          "0", "7", "1", "", "", ""});
        for (int column : {1, 6, 10, 12})
            setCriteriaCell(t[1], column, cell);

        const CriteriaTable back = parseCriteriaTable(formatCriteriaTable(t));
        ASSERT_EQ(back.rowCount, 3) << cell;
        for (int column : {1, 6, 10, 12})
            EXPECT_EQ(criteriaCell(back[1], column), cell) << column;
        // The rows after it keep their values: level 2 still times out.
        EXPECT_EQ(back[2].minimumTime, 120) << cell;
        EXPECT_EQ(back[3].minimumTime, 180) << cell;
        EXPECT_EQ(criteriaCells(back[3]), criteriaCells(t[3])) << cell;
        // Written again, the file is the same to the byte.
        EXPECT_EQ(formatCriteriaTable(back), formatCriteriaTable(t)) << cell;
    }
}

TEST(CriteriaTable, RowsPastLevel35AndShortLastRows) {
    std::string text =
        "目標Time,最低Time,ｸﾘｱﾎﾟｲﾝﾄ,ｸﾘｱ回数,ﾎﾟｲﾝﾄ倍率,禁回,禁点,判期間,禁期間,,,\r\n";
    for (int level = 1; level <= 40; ++level)
        text += row(level);
    const CriteriaTable many = parseCriteriaTable(text);
    EXPECT_EQ(many.rowCount, 35);
    EXPECT_EQ(many[35].targetTime, 350);
    EXPECT_EQ(many[35].reserved12, "35");
    EXPECT_EQ(formatCriteriaTable(many).size(),
              text.size() - (row(36) + row(37) + row(38) + row(39) + row(40)).size());

    // A last row cut short keeps what it has; the missing values are empty.
    const CriteriaTable shortRow =
        parseCriteriaTable("a,b,c,d,e,f,g,h,i,,,\r\n" + row(1) + "70,140\r\n");
    ASSERT_EQ(shortRow.rowCount, 2);
    EXPECT_EQ(shortRow[2].targetTime, 70);
    EXPECT_EQ(shortRow[2].minimumTime, 140);
    EXPECT_EQ(shortRow[2].clearPoints, 0);
    EXPECT_EQ(shortRow[2].overPracticeCount, "");

    EXPECT_EQ(parseCriteriaTable("").rowCount, 0);
}

TEST(CriteriaTable, NumericReadingOfCells) {
    struct Case {
        const char* text;
        double value;
    } values[] = {{"", 0}, {"abc", 0}, {"12x", 12}, {"  7", 7}, {"1.5", 1.5}, {"-3", -3}};
    for (const auto& c : values)
        EXPECT_DOUBLE_EQ(criteriaValue(c.text), c.value) << c.text;

    // Whole-number fields round to the nearest, halves to even, and stay in range.
    struct IntCase {
        int column;
        const char* text;
        long long value;
    } ints[] = {{1, "2.5", 2},
                {1, "3.5", 4},
                {1, "99999999999", INT32_MAX},
                {2, "-99999999999", INT32_MIN},
                {4, "40000", 32767},
                {4, "9999", 9999}};
    for (const auto& c : ints) {
        LevelCriteria r;
        setCriteriaCell(r, c.column, c.text);
        const long long got = c.column == 1   ? r.targetTime
                              : c.column == 2 ? r.minimumTime
                                              : r.clearCount;
        EXPECT_EQ(got, c.value) << c.column << " " << c.text;
        EXPECT_EQ(criteriaCell(r, c.column), c.text) << "the text is kept as typed";
    }
    LevelCriteria r;
    EXPECT_THROW(setCriteriaCell(r, 0, "1"), std::out_of_range);
    EXPECT_THROW(criteriaCell(r, 13), std::out_of_range);
}

TEST(CriteriaTable, LoadNamesAMissingFileAndKeepsTheTable) {
    TempDir dir;
    test::TestContext t;
    t.ctx.folders.DataFolder = dir.path().string() + "/";
    t.ctx.criteria[1].targetTime = 77;
    try {
        LoadCriteriaTable(t.ctx);
        ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.kind(), FileError::Kind::NotFound);
        EXPECT_NE(std::string(e.what()).find(kCriteriaFileName), std::string::npos) << e.what();
    }
    EXPECT_EQ(t.ctx.criteria[1].targetTime, 77);

    std::filesystem::copy_file(editorFile(), dir / kCriteriaFileName);
    LoadCriteriaTable(t.ctx);
    EXPECT_EQ(t.ctx.criteria[1].targetTime, 60);
    EXPECT_EQ(t.ctx.criteria.rowCount, 5);
}
