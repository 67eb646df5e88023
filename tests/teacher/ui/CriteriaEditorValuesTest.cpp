// The criteria editor with real keys: the text of a cell is selected when
// editing it starts and on Ctrl+A, so typing replaces it; a value the
// program would read otherwise than shown is refused before anything is
// written; a save says so.
#include <gtest/gtest.h>

#include <QTableWidget>

#include "platform/ui/VbWidgets.h"
#include "teacher/ui/TeacherScreens.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct Editor : Teacher {
    FrmTimeData* ed = &editor();
    QLineEdit* box() { return ed->Gridinputtext; }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(box(), k, m); }
    void selectAllAndType(const QString& text) {
        key(Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box(), text);
    }
    void click(int r, int c) {
        QTableWidget* g = ed->MSFlexGrid1;
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier,
                          g->visualItemRect(g->item(r, c)).center());
    }
    QString cellText(int r, int c) { return ed->MSFlexGrid1->item(r, c)->text(); }
    void save() { QTest::mouseClick(ed->Command3, Qt::LeftButton); }
};

} // namespace

TEST(CriteriaEditorValues, TypingReplacesTheSelectedText) {
    Editor e;
    // The editor opens with the first cell's text selected.
    EXPECT_EQ(e.box()->selectedText(), QStringLiteral("60"));
    e.key(Qt::Key_End);
    EXPECT_FALSE(e.box()->hasSelectedText());
    // Ctrl+A selects the whole value, and what is typed next replaces it.
    e.selectAllAndType(QStringLiteral("abc"));
    EXPECT_EQ(e.cellText(1, 1), QStringLiteral("abc"));

    // A cell reached by an arrow key or a click starts with its text selected.
    e.key(Qt::Key_Right);
    EXPECT_EQ(e.box()->selectedText(), QStringLiteral("120"));
    QTest::keyClicks(e.box(), QStringLiteral("150"));
    EXPECT_EQ(e.cellText(1, 2), QStringLiteral("150"));
    e.click(3, 5);
    EXPECT_EQ(e.box()->selectedText(), QStringLiteral("1.5"));
    QTest::keyClicks(e.box(), QStringLiteral("2"));
    EXPECT_EQ(e.cellText(3, 5), QStringLiteral("2"));
    // Without a selection, typing goes on at the end as before.
    QTest::keyClicks(e.box(), QStringLiteral(".5"));
    EXPECT_EQ(e.cellText(3, 5), QStringLiteral("2.5"));
    e.key(Qt::Key_A, Qt::ControlModifier);
    e.key(Qt::Key_Backspace);
    EXPECT_EQ(e.cellText(3, 5), QString());
}

TEST(CriteriaEditorValues, AValueTheProgramWouldMisreadIsRefusedBeforeWriting) {
    struct Case {
        int row, column;
        const char* typed;
        // Parts of the refusal, or none when the save goes through.
        std::vector<std::string> refusal;
    } const cases[] = {
        {1, 1, "abc", {"レベル1の「目標Time」", "「abc」", "1 から 99998 までの整数（秒）"}},
        {2, 4, "10.5", {"レベル2の「ｸﾘｱ回数」（目標回数）", "整数（回）"}},
        {4, 2, "0", {"レベル4の「最低Time」"}},
        {3, 1, "", {"レベル3の「目標Time」（合格基準タイム）が空です。"}},
        {5, 5, "1.25", {}},
        {3, 6, "", {}},
        {5, 11, "memo", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.row << "," << c.column << " '" << c.typed << "'");
        Editor e;
        const std::string before = readBytes(e.criteriaFile());
        e.click(c.row, c.column);
        e.selectAllAndType(QString::fromUtf8(c.typed));
        if (!*c.typed) e.key(Qt::Key_Backspace);
        ASSERT_EQ(e.cellText(c.row, c.column), QString::fromUtf8(c.typed));
        e.key(Qt::Key_Down);
        e.key(Qt::Key_Right);
        e.save();
        if (c.refusal.empty()) {
            EXPECT_TRUE(e.dialogs.shown.empty());
            EXPECT_NE(readBytes(e.criteriaFile()), before);
            EXPECT_EQ(e.ed->lblSaved->text(),
                      QStringLiteral("「タイム回数データ.txt」に記録しました。"));
            EXPECT_FALSE(e.ed->grid().changed());
            // The next change takes the note away.
            QTest::keyClicks(e.box(), QStringLiteral("1"));
            EXPECT_EQ(e.ed->lblSaved->text(), QString());
            continue;
        }
        ASSERT_EQ(e.dialogs.shown.size(), 1u);
        for (const std::string& part : c.refusal)
            EXPECT_NE(e.dialogs.shown[0].text.find(part), std::string::npos)
                << e.dialogs.shown[0].text;
        EXPECT_NE(e.dialogs.shown[0].text.find("まだ記録していません"), std::string::npos);
        EXPECT_EQ(readBytes(e.criteriaFile()), before);
        EXPECT_EQ(e.ed->lblSaved->text(), QString());
        EXPECT_TRUE(e.ed->grid().changed());
        // The text box is back on the refused cell, its text selected.
        EXPECT_EQ(e.ed->grid().row(), c.row);
        EXPECT_EQ(e.ed->grid().column(), c.column);
        EXPECT_EQ(e.box()->selectedText(), e.box()->text());

        // Leaving with "yes, save" is refused alike and keeps the editor open.
        e.dialogs.answers.push_back(MessageAnswer::Yes);
        QTest::mouseClick(e.ed->Command4, Qt::LeftButton);
        EXPECT_EQ(e.dialogs.shown.size(), 3u);
        EXPECT_NE(e.app.find<FrmTimeData>(), nullptr);
        EXPECT_EQ(readBytes(e.criteriaFile()), before);
    }
}
