// The criteria editor's grid: what a load shows, where the keys move, the
// fill down, which cells count as changed, and the file a save writes.
#include <gtest/gtest.h>

#include "support/Fakes.h"
#include "teacher/CriteriaGrid.h"
#include "text/Cp932.h"

using namespace kestrel;

namespace {

std::filesystem::path editorFile() {
    return test::testDataDir() / "startup" / "criteria_editor.txt";
}

CriteriaGrid loaded() {
    CriteriaGrid g;
    g.load(readCriteriaFile(editorFile()));
    return g;
}

} // namespace

TEST(CriteriaGrid, ShowsCaptionsLevelNumbersAndTheFilesTexts) {
    const CriteriaGrid g = loaded();
    ASSERT_EQ(g.rows(), 5);
    const char* captions[] = {"レベル",    "目標Time", "最低Time", "ｸﾘｱﾎﾟｲﾝﾄ", "ｸﾘｱ回数",
                              "ﾎﾟｲﾝﾄ倍率", "禁回",     "禁点",     "判期間",   "禁期間",
                              "",          "",         ""};
    for (int c = 0; c < CriteriaGrid::kColumns; ++c)
        EXPECT_EQ(g.cell(0, c), captions[c]) << c;
    for (int r = 1; r <= 5; ++r)
        EXPECT_EQ(g.cell(r, 0), std::to_string(r));
    EXPECT_EQ(g.cell(2, 5), "1.0"); // as written, not as a number
    EXPECT_EQ(g.cell(5, 12), "z");
    EXPECT_EQ(g.row(), 1);
    EXPECT_EQ(g.column(), 1);
    EXPECT_FALSE(g.changed());
}

TEST(CriteriaGrid, KeysMoveWithinRowsOneToNAndColumnsOneToTwelve) {
    using K = CriteriaGrid::Key;
    const struct Case {
        int row, column;
        K key;
        int toRow, toColumn;
    } cases[] = {
        {1, 1, K::Up, 1, 1},      {2, 3, K::Up, 1, 3},      {5, 3, K::Down, 5, 3},
        {4, 3, K::Down, 5, 3},    {3, 1, K::Left, 3, 1},    {3, 2, K::Left, 3, 1},
        {3, 12, K::Right, 3, 12}, {3, 11, K::Right, 3, 12}, {3, 4, K::Other, 3, 4},
    };
    for (const Case& c : cases) {
        CriteriaGrid g = loaded();
        ASSERT_TRUE(g.click(c.row, c.column));
        const bool moved = g.key(c.key, "x");
        EXPECT_EQ(g.row(), c.toRow) << c.row << "," << c.column;
        EXPECT_EQ(g.column(), c.toColumn) << c.row << "," << c.column;
        EXPECT_EQ(moved, c.row != c.toRow || c.column != c.toColumn);
        EXPECT_FALSE(g.changed());
    }
    // The caption row and the level column cannot be chosen.
    CriteriaGrid g = loaded();
    EXPECT_FALSE(g.click(0, 3));
    EXPECT_FALSE(g.click(2, 0));
    EXPECT_FALSE(g.click(6, 1));
    EXPECT_EQ(g.row(), 1);
}

TEST(CriteriaGrid, ShiftDownFillsTheColumnDownToTheSelectionsEnd) {
    CriteriaGrid g = loaded();
    ASSERT_TRUE(g.click(2, 6));
    for (int i = 0; i < 3; ++i)
        g.key(CriteriaGrid::Key::ShiftDown, "60");
    EXPECT_EQ(g.row(), 2);
    EXPECT_EQ(g.selectionEnd(), 5);
    for (int r = 1; r <= 5; ++r)
        EXPECT_EQ(g.cell(r, 6), r == 1 ? "30" : "60") << r;
    EXPECT_TRUE(g.changed());
    EXPECT_FALSE(g.cellChanged(1, 6));
    for (int r = 2; r <= 5; ++r)
        EXPECT_TRUE(g.cellChanged(r, 6)) << r;
    EXPECT_FALSE(g.cellChanged(2, 5));
    // At the last row the selection grows no more; a move ends it.
    g.key(CriteriaGrid::Key::ShiftDown, "60");
    EXPECT_EQ(g.selectionEnd(), 5);
    g.key(CriteriaGrid::Key::Down, "60");
    EXPECT_EQ(g.row(), 3);
    EXPECT_EQ(g.selectionEnd(), 3);
}

TEST(CriteriaGrid, TypingMarksOnlyRealChanges) {
    CriteriaGrid g = loaded();
    EXPECT_FALSE(g.typed("60"));
    EXPECT_FALSE(g.changed());
    EXPECT_TRUE(g.typed("65"));
    EXPECT_TRUE(g.changed());
    EXPECT_TRUE(g.cellChanged(1, 1));
    EXPECT_EQ(g.cell(1, 1), "65");
    g.clearChanged();
    EXPECT_FALSE(g.changed());
    // Loading again drops the colours but keeps the mark.
    g.typed("");
    g.load(readCriteriaFile(editorFile()));
    EXPECT_TRUE(g.changed());
    EXPECT_FALSE(g.cellChanged(1, 1));
    EXPECT_EQ(g.cell(1, 1), "60");
}

TEST(CriteriaGrid, SavesTheFileItLoadedByteForByteAndWhatWasTyped) {
    CriteriaGrid g = loaded();
    const std::string original = readCp932File(editorFile());
    EXPECT_EQ(formatCriteriaTable(g.table()), original);

    g.click(3, 2);
    g.typed("250");
    g.click(5, 10);
    g.typed("");
    const std::string saved = formatCriteriaTable(g.table());
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 6);
    const CriteriaTable back = parseCriteriaTable(saved);
    EXPECT_EQ(back.rowCount, 5);
    EXPECT_EQ(back[3].minimumTime, 250);
    EXPECT_EQ(back[5].reserved10, "");
    EXPECT_EQ(back[5].reserved12, "z");
    EXPECT_EQ(back[2].pointMultiplier, 1.0f);
}

TEST(CriteriaGrid, ColumnExplanations) {
    EXPECT_EQ(columnExplanation(1),
              "合格基準タイム\n\u3000大部分の人ががんばったら出せそうなタイムにしてください");
    EXPECT_EQ(columnExplanation(6), "やりすぎ禁止回数\n  何回やったらやりすぎ禁止にするか\n  ");
    EXPECT_EQ(columnExplanation(7),
              "やりすぎ禁止ポイント\n  何ポイントとったらやりすぎ禁止にするか\n ");
    for (int c : {0, 10, 11, 12})
        EXPECT_EQ(columnExplanation(c), "");
}
