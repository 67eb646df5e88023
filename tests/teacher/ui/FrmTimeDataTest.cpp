// The criteria editor on a real grid: the keys as the teacher presses them,
// the text box over the current cell at any window size, the histograms
// beside it, saving, and the question on the way back.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QTableWidget>

#include "support/HeldLog.h"
#include "teacher/TimeHistogram.h"
#include "teacher/ui/TeacherScreens.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct Editor : Teacher {
    FrmTimeData* ed = nullptr;
    Editor() {
        for (int i = 0; i < 12; ++i)
            schoolRun(1 + i % 3, 1, 45 + i);
        schoolRun(2, 2, 400);
        schoolRun(3, 1, 99999);
        ed = &editor();
    }
    QLineEdit* box() { return ed->Gridinputtext; }
    QString cellText(int r, int c) { return ed->MSFlexGrid1->item(r, c)->text(); }
    QColor cellColour(int r, int c) { return ed->MSFlexGrid1->item(r, c)->background().color(); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(box(), k, m); }
    void click(int r, int c) {
        QTableWidget* g = ed->MSFlexGrid1;
        QTest::mouseClick(g->viewport(), Qt::LeftButton, Qt::NoModifier,
                          g->visualItemRect(g->item(r, c)).center());
    }
    // The box lies exactly over the current cell.
    void expectBoxOverCell() {
        QTableWidget* g = ed->MSFlexGrid1;
        EXPECT_EQ(box()->geometry(),
                  g->visualItemRect(g->item(ed->grid().row(), ed->grid().column())));
        EXPECT_FALSE(box()->isHidden());
    }
};

} // namespace

TEST(CriteriaEditor, OpensOnTheFirstValueOfLevelOne) {
    Editor e;
    EXPECT_EQ(e.ed->MSFlexGrid1->columnCount(), 13);
    EXPECT_EQ(e.ed->MSFlexGrid1->rowCount(), 6);
    EXPECT_EQ(e.cellText(0, 0), QStringLiteral("レベル"));
    EXPECT_EQ(e.cellText(0, 5), QStringLiteral("ﾎﾟｲﾝﾄ倍率"));
    EXPECT_EQ(e.cellText(4, 0), QStringLiteral("4"));
    EXPECT_EQ(e.box()->text(), QStringLiteral("60"));
    EXPECT_TRUE(e.box()->hasFocus());
    e.expectBoxOverCell();
    EXPECT_EQ(
        e.ed->Label3->text(),
        QStringLiteral("合格基準タイム\n　大部分の人ががんばったら出せそうなタイムにしてください"));
    EXPECT_EQ(
        e.ed->Label2->text(),
        QStringLiteral("成績の基準となるデータを変更できます。\nプログラムを選んでください。"));
    EXPECT_EQ(e.ed->Label6->text(), QStringLiteral("列の説明"));
    EXPECT_EQ(e.ed->List3->List(0), QStringLiteral("レベル1 今まで13回  （★=1）"));
    EXPECT_EQ(e.ed->List3->ListCount(), 102);
    EXPECT_EQ(e.ed->List4->List(0), QStringLiteral("レベル1 （★=1）"));
    // The columns share the grid's width, and the box follows its cell at
    // any size of the window.
    const int width = e.ed->MSFlexGrid1->viewport()->width();
    int sum = 0;
    for (int c = 0; c < 13; ++c)
        sum += e.ed->MSFlexGrid1->columnWidth(c);
    EXPECT_EQ(sum, width);
    for (QSize size : {QSize(1400, 1000), QSize(800, 700)}) {
        e.ed->resize(size);
        e.expectBoxOverCell();
    }
    // Drawn: the caption row in grey, the other cells in white.
    const QImage seen = shot(*e.ed, "FrmTimeData.png");
    QTableWidget* g = e.ed->MSFlexGrid1;
    const auto cellArea = [&](int r, int c) {
        return placeIn(*e.ed, *g->viewport(), g->visualItemRect(g->item(r, c)));
    };
    EXPECT_GT(colourShare(seen, cellArea(0, 3), QColor(192, 192, 192)), 0.5);
    EXPECT_GT(colourShare(seen, cellArea(3, 3), Qt::white), 0.5);
}

TEST(CriteriaEditor, KeysMoveFillClearAndTypeAtTheEnd) {
    Editor e;
    // Up at row 1 and Left at column 1 stay; Right stops at column 12.
    e.key(Qt::Key_Up);
    e.key(Qt::Key_Left);
    EXPECT_EQ(e.ed->grid().row(), 1);
    EXPECT_EQ(e.ed->grid().column(), 1);
    for (int i = 0; i < 13; ++i)
        e.key(Qt::Key_Right);
    EXPECT_EQ(e.ed->grid().column(), 12);
    e.expectBoxOverCell();
    for (int i = 0; i < 6; ++i)
        e.key(Qt::Key_Down);
    EXPECT_EQ(e.ed->grid().row(), 5);
    EXPECT_EQ(e.box()->text(), QStringLiteral("z"));
    EXPECT_EQ(e.ed->List3->List(0).left(4), QStringLiteral("レベル5"));

    // Space clears; typed characters go to the end; Delete does nothing.
    e.click(2, 6);
    EXPECT_EQ(e.box()->text(), QStringLiteral("30"));
    EXPECT_EQ(e.ed->List3->List(0), QStringLiteral("レベル2 今まで1回  （★=1）"));
    e.key(Qt::Key_Space);
    EXPECT_EQ(e.box()->text(), QString());
    QTest::keyClicks(e.box(), QStringLiteral("60"));
    e.key(Qt::Key_Home);
    e.key(Qt::Key_Delete);
    EXPECT_EQ(e.box()->text(), QStringLiteral("60"));
    EXPECT_EQ(e.box()->cursorPosition(), 2);
    e.key(Qt::Key_Escape);
    EXPECT_EQ(e.box()->text(), QStringLiteral("60"));
    EXPECT_EQ(e.cellColour(2, 6), QColor(255, 255, 0));
    EXPECT_EQ(e.cellColour(2, 5), QColor(255, 255, 255));

    // Shift+Down three times from row 2 fills rows 2 to 5.
    for (int i = 0; i < 3; ++i)
        e.key(Qt::Key_Down, Qt::ShiftModifier);
    for (int r = 1; r <= 5; ++r)
        EXPECT_EQ(e.cellText(r, 6), r == 1 ? QStringLiteral("30") : QStringLiteral("60")) << r;
    EXPECT_EQ(e.ed->grid().row(), 2);
    e.expectBoxOverCell();
    // Backspace edits; the caret is at the end after every key.
    e.key(Qt::Key_Backspace);
    EXPECT_EQ(e.cellText(2, 6), QStringLiteral("6"));
    QTest::keyClicks(e.box(), QStringLiteral("5"));
    EXPECT_EQ(e.cellText(2, 6), QStringLiteral("65"));

    // Clicks on the caption row and the level column choose nothing.
    e.click(0, 3);
    e.click(4, 0);
    EXPECT_EQ(e.ed->grid().row(), 2);
    EXPECT_EQ(e.ed->grid().column(), 6);
}

TEST(CriteriaEditor, RevertReloadsTheFileAndKeepsTheChangedMark) {
    Editor e;
    // The editor opens with the cell's text selected: typing replaces it.
    QTest::keyClicks(e.box(), QStringLiteral("5"));
    EXPECT_EQ(e.cellText(1, 1), QStringLiteral("5"));
    QTest::mouseClick(e.ed->Command2, Qt::LeftButton);
    EXPECT_EQ(e.cellText(1, 1), QStringLiteral("60"));
    EXPECT_EQ(e.box()->text(), QStringLiteral("60"));
    EXPECT_EQ(e.cellColour(1, 1), QColor(255, 255, 255));
    EXPECT_TRUE(e.ed->grid().changed());
    // Both options show the frequency panel.
    for (QRadioButton* option : e.ed->Option1) {
        e.ed->Picture3->hide();
        QTest::mouseClick(option, Qt::LeftButton);
        EXPECT_FALSE(e.ed->Picture3->isHidden());
    }
}

TEST(CriteriaEditor, SaveWritesSixLinesAndTheProgramUsesThem) {
    Editor e;
    const std::string before = readBytes(e.criteriaFile());
    // Saved unchanged: byte for byte the same file.
    QTest::mouseClick(e.ed->Command3, Qt::LeftButton);
    EXPECT_EQ(readBytes(e.criteriaFile()), before);

    QTest::keyClick(e.box(), Qt::Key_Space);
    QTest::keyClicks(e.box(), QStringLiteral("75"));
    QTest::mouseClick(e.ed->Command3, Qt::LeftButton);
    EXPECT_TRUE(e.dialogs.shown.empty());
    const std::string saved = readBytes(e.criteriaFile());
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 6);
    EXPECT_EQ(saved.substr(0, saved.find('\n') + 1), before.substr(0, before.find('\n') + 1));
    EXPECT_EQ(e.ctx.criteria[1].targetTime, 75);
    EXPECT_FALSE(e.ed->grid().changed());
    EXPECT_TRUE(e.ed->Picture6->isHidden());

    // Back on the menu, the target line shows the new value.
    QTest::mouseClick(e.ed->Command4, Qt::LeftButton);
    EXPECT_TRUE(e.dialogs.shown.empty()) << "nothing changed since the save";
    e.form = e.app.find<seisekitime1>();
    ASSERT_NE(e.form, nullptr);
    EXPECT_EQ(e.text("Label7", 1).left(6), QStringLiteral("目標=75秒"));
}

TEST(CriteriaEditor, TheQuestionOnTheWayBack) {
    for (MessageAnswer answer : {MessageAnswer::Yes, MessageAnswer::No}) {
        Editor e;
        const std::string before = readBytes(e.criteriaFile());
        e.key(Qt::Key_End); // typing goes on after the value
        QTest::keyClicks(e.box(), QStringLiteral("1"));
        e.dialogs.answers.push_back(answer);
        QTest::mouseClick(e.ed->Command4, Qt::LeftButton);
        ASSERT_EQ(e.dialogs.shown.size(), 1u);
        EXPECT_EQ(e.dialogs.shown[0].text, "データが変更されています。記録しますか？");
        EXPECT_EQ(e.dialogs.shown[0].title, "注意");
        EXPECT_EQ(e.dialogs.shown[0].buttons, MessageButtons::YesNo);
        EXPECT_NE(e.app.find<seisekitime1>(), nullptr);
        EXPECT_EQ(e.app.find<FrmTimeData>(), nullptr);
        if (answer == MessageAnswer::No) {
            EXPECT_EQ(readBytes(e.criteriaFile()), before);
            EXPECT_EQ(e.ctx.criteria[1].targetTime, 60);
        } else {
            EXPECT_EQ(e.ctx.criteria[1].targetTime, 601);
        }
    }
}

TEST(CriteriaEditor, AFailedWriteKeepsTheOldFileAndTheEditor) {
    Editor e;
    const std::string before = readBytes(e.criteriaFile());
    // The writer's temporary file cannot be made: a folder holds its name.
    std::filesystem::path blocker = e.criteriaFile();
    blocker += ".tmp" + std::to_string(::getpid());
    std::filesystem::create_directory(blocker);
    e.key(Qt::Key_End);
    QTest::keyClicks(e.box(), QStringLiteral("9"));
    e.ctx.criteria[1].targetTime = 12345; // the program reloads what the file holds
    e.dialogs.answers.push_back(MessageAnswer::Yes);
    QTest::mouseClick(e.ed->Command4, Qt::LeftButton);
    ASSERT_EQ(e.dialogs.shown.size(), 2u);
    EXPECT_NE(e.dialogs.shown[1].text.find("記録できませんでした"), std::string::npos);
    EXPECT_EQ(readBytes(e.criteriaFile()), before);
    EXPECT_EQ(e.ctx.criteria[1].targetTime, 60);
    ASSERT_NE(e.app.find<FrmTimeData>(), nullptr) << "the changes are still on screen";
    EXPECT_EQ(e.cellText(1, 1), QStringLiteral("609"));
    EXPECT_TRUE(e.ed->grid().changed());
    std::filesystem::remove(blocker);
}

TEST(CriteriaEditor, KeysDuringAWaitForTheLogAreDropped) {
    // Another PC holds the log while a key rebuilds the histograms: keys and
    // clicks meanwhile do nothing, and the editor is not closed under itself.
    Editor e;
    HeldLog held(e.log());
    ASSERT_TRUE(held.held());
    QPointer<FrmTimeData> ed(e.ed);
    int passes = 0;
    bool sent = false;
    e.events.onProcess = [&] {
        ++passes;
        if (!sent && e.events.idled > 0) {
            sent = true;
            QTest::keyClick(e.box(), Qt::Key_Down);
            QTest::keyClick(e.box(), Qt::Key_Right);
            QTest::keyClicks(e.box(), QStringLiteral("7"));
            QTest::mouseClick(e.ed->Command4, Qt::LeftButton);
            QTest::mouseClick(e.ed->Command3, Qt::LeftButton);
        }
        if (passes == 250) held.release();
    };
    e.key(Qt::Key_Down);
    e.events.onProcess = nullptr;
    EXPECT_TRUE(sent);
    ASSERT_TRUE(ed);
    EXPECT_EQ(e.ed->grid().row(), 2);
    EXPECT_EQ(e.ed->grid().column(), 1);
    EXPECT_EQ(e.box()->text(), QStringLiteral("90"));
    EXPECT_FALSE(e.ed->grid().changed());
    EXPECT_NE(e.app.find<FrmTimeData>(), nullptr);
    EXPECT_TRUE(e.dialogs.shown.empty());
    EXPECT_EQ(e.ed->List3->List(0), QStringLiteral("レベル2 今まで1回  （★=1）"));
}
