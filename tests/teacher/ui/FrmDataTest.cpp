// The results manager on a real log: the list, the edit panel, corrections
// and deletes as the teacher makes them, and what another PC's change
// meanwhile does to them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QScrollBar>
#include <QStandardPaths>

#include "platform/Utf8Path.h"
#include "results/ResultsLogEdit.h"
#include "support/HeldLog.h"
#include "teacher/ui/TeacherScreens.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

using Manager = ResultsManager;

} // namespace

TEST(ResultsManager, ListsEveryRecordWithItsNumber) {
    Manager t;
    t.openWith(3);
    EXPECT_EQ(t.m->Label3->text(), QStringLiteral("総レコード数:3"));
    EXPECT_EQ(t.m->Label5->text(), QStringLiteral("ダブルクリックすると変更、消去できます"));
    ASSERT_EQ(t.lines().size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(t.lines()[i].left(5), QStringLiteral("   %1 ").arg(i + 1));
    EXPECT_EQ(
        t.lines()[0],
        QStringLiteral(
            "   1 2025/06/10　 12:00:00ﾚﾍﾞﾙ1　   40秒 　   1 あおき　たろ 小３++みなみ小学校"));
    EXPECT_TRUE(t.m->Picture3->isHidden());
    EXPECT_EQ(t.m->Combo1->count(), 4);
    EXPECT_EQ(t.m->Combo1->itemText(0), QStringLiteral("1 /  あおき　たろう"));
}

TEST(ResultsManager, OtherSchoolsAndARecordCutShort) {
    Manager t;
    t.schoolRun(1, 1, 40);
    t.schoolRun(2, 1, 41, "54321");
    t.schoolRun(3, 1, 42, "");
    t.writeFiles();
    writeBytes(t.log(), readBytes(t.log()) + std::string(22, '\0'));
    t.m = &t.app.show<FrmData>();
    EXPECT_EQ(t.m->Label3->text(), QStringLiteral("総レコード数:3.5"));
    ASSERT_EQ(t.lines().size(), 3);
    EXPECT_TRUE(t.lines()[0].endsWith(QStringLiteral("++みなみ小学校")));
    EXPECT_TRUE(t.lines()[1].endsWith(QStringLiteral("++他塾")));
    EXPECT_TRUE(t.lines()[2].endsWith(QStringLiteral("++他塾")));

    // Without a school code every record is another school's.
    Manager none;
    none.ctx.config.SchoolCode = "";
    none.ctx.config.SchoolName = "みなみ小学校";
    none.schoolRun(1, 1, 40, "");
    none.openWith(0);
    EXPECT_TRUE(none.lines()[0].endsWith(QStringLiteral("++他塾")));
}

TEST(ResultsManager, TheEditPanelShowsTheRecordChosen) {
    Manager t;
    t.schoolRun(2, 3, 99999);
    t.openWith(2);
    t.doubleClick(0);
    ASSERT_FALSE(t.m->Picture3->isHidden());
    EXPECT_EQ(t.m->Label1->text(), QStringLiteral("1"));
    EXPECT_EQ(t.m->Label2_1->text(), QStringLiteral("3ﾚﾍﾞﾙ"));
    EXPECT_EQ(t.m->Label2_2->text(), QStringLiteral("2025/06/10"));
    EXPECT_EQ(t.m->Label2_4->text(), QStringLiteral("小４"));
    EXPECT_EQ(t.m->Combo1->currentText(), QStringLiteral("2 /  いとう"));
    // A time-out is beyond the scroll bar: the bar stands at its end, the
    // seconds box keeps the record's value.
    EXPECT_EQ(t.m->Text1_1->text(), QStringLiteral("99999"));
    EXPECT_EQ(t.m->VScroll1->value(), 6000);
    EXPECT_EQ(t.m->VScroll1->minimum(), 0);
    EXPECT_EQ(t.m->VScroll1->maximum(), 6000);
    EXPECT_EQ(t.m->VScroll1->pageStep(), 10);
    const std::string before = readBytes(t.log());
    QTest::mouseClick(t.m->Command2, Qt::LeftButton);
    EXPECT_EQ(readBytes(t.log()), before) << "nothing typed, nothing changed";
    // Moving the bar sets the seconds.
    QTest::keyClick(t.m->VScroll1, Qt::Key_Up);
    EXPECT_EQ(t.m->Text1_1->text(), QStringLiteral("5999"));
    // Choosing a student shows the grade.
    t.m->Combo1->setCurrentIndex(2);
    emit t.m->Combo1->activated(2);
    EXPECT_EQ(t.m->Label2_4->text(), QStringLiteral("小５"));
    // A click on a line closes the panel.
    QTest::mouseClick(t.m->List1->viewport(), Qt::LeftButton, Qt::NoModifier,
                      t.m->List1->visualItemRect(t.m->List1->item(1)).center());
    EXPECT_TRUE(t.m->Picture3->isHidden());
    t.doubleClick(1);
    // Drawn: the edit panel over the list, in its pale yellow.
    const QImage seen = shot(*t.m, "FrmData.png");
    EXPECT_GT(colourShare(seen, *t.m, *t.m->Picture3, QColor(255, 255, 224)), 0.2);
    EXPECT_EQ(colourShare(seen, *t.m, *t.m->List1->viewport(), QColor(255, 255, 224)), 0.0);
}

TEST(ResultsManager, ACorrectionMovesTheResultToAnotherStudent) {
    Manager t;
    t.openWith(3);
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(t.ctx.summary->bestTime[2][2], 41);
    EXPECT_EQ(t.ctx.summary->bestTime[2][3], kNoTime);
    t.doubleClick(1);
    t.m->Combo1->setEditText(QStringLiteral("3 /  うえだ"));
    t.m->Text1_1->setText(QStringLiteral("38"));
    QTest::mouseClick(t.m->Command2, Qt::LeftButton);
    EXPECT_TRUE(t.dialogs.shown.empty());
    const auto records = t.onDisk();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].studentNumber, 3);
    EXPECT_EQ(records[1].seconds, 38);
    EXPECT_EQ(encodeResultRecord(records[0]), encodeResultRecord(t.records[0]));
    ResultRecord expected = t.records[1];
    expected.studentNumber = 3;
    expected.seconds = 38;
    EXPECT_EQ(encodeResultRecord(records[1]), encodeResultRecord(expected));
    ASSERT_TRUE(BuildSummary(t.ctx));
    EXPECT_EQ(t.ctx.summary->bestTime[2][2], kNoTime);
    EXPECT_EQ(t.ctx.summary->bestTime[2][3], 38);
    // The line is selected, the panel stays open, the list shows the change.
    EXPECT_EQ(t.m->List1->ListIndex(), 1);
    EXPECT_FALSE(t.m->Picture3->isHidden());
    EXPECT_TRUE(t.lines()[1].contains(QStringLiteral("   38秒 　   3 うえだ")));
}

TEST(ResultsManager, ATimeThatIsNoWholeNumberFrom0To99999WritesNothing) {
    for (const char* text : {"", "abc", "-7", "45.5", "100000"}) {
        Manager t;
        t.openWith(2);
        t.doubleClick(0);
        const std::string before = readBytes(t.log());
        t.m->Text1_1->setText(QString::fromUtf8(text));
        QTest::mouseClick(t.m->Command2, Qt::LeftButton);
        EXPECT_EQ(readBytes(t.log()), before) << text;
        ASSERT_EQ(t.dialogs.shown.size(), 1u) << text;
        EXPECT_NE(t.dialogs.shown[0].text.find("0 から 99999 までの整数"), std::string::npos)
            << t.dialogs.shown[0].text;
    }
}

TEST(ResultsManager, AStudentTextThatNamesNoStudentWritesNothing) {
    for (const char* text : {"うえだ", "", "0 /  だれ", "5001", "3x / うえだ"}) {
        Manager t;
        t.openWith(2);
        t.doubleClick(0);
        const std::string before = readBytes(t.log());
        t.m->Combo1->setEditText(QString::fromUtf8(text));
        QTest::mouseClick(t.m->Command2, Qt::LeftButton);
        EXPECT_EQ(readBytes(t.log()), before) << text;
        ASSERT_EQ(t.dialogs.shown.size(), 1u) << text;
        EXPECT_NE(t.dialogs.shown[0].text.find("生徒"), std::string::npos);
    }
    // A bare number is a student too.
    Manager t;
    t.openWith(2);
    t.doubleClick(0);
    t.m->Combo1->setEditText(QStringLiteral("3"));
    QTest::mouseClick(t.m->Command2, Qt::LeftButton);
    EXPECT_EQ(t.onDisk()[0].studentNumber, 3);
}

TEST(ResultsManager, DeletingARecord) {
    const struct Case {
        int records, line, selected;
    } cases[] = {{3, 1, 1}, {3, 2, 1}, {3, 0, 0}, {1, 0, -1}};
    for (const Case& c : cases) {
        Manager t;
        t.openWith(c.records);
        const std::vector<ResultRecord> before = t.records;
        t.doubleClick(c.line);
        // Cancel keeps it.
        t.dialogs.answers.push_back(MessageAnswer::Cancel);
        QTest::mouseClick(t.m->Command3, Qt::LeftButton);
        EXPECT_EQ(t.onDisk().size(), static_cast<size_t>(c.records));
        ASSERT_EQ(t.dialogs.shown.size(), 1u);
        EXPECT_EQ(t.dialogs.shown[0].text, "本当に消去しますか");
        EXPECT_EQ(t.dialogs.shown[0].title, "注意");
        EXPECT_EQ(t.dialogs.shown[0].buttons, MessageButtons::OkCancel);

        QTest::mouseClick(t.m->Command3, Qt::LeftButton);
        std::vector<ResultRecord> expected = before;
        expected.erase(expected.begin() + c.line);
        EXPECT_EQ(readBytes(t.log()), logBytes(expected)) << c.records << " " << c.line;
        EXPECT_EQ(readBytes(t.log()).size(), expected.size() * kResultRecordSize);
        EXPECT_EQ(t.lines().size(), c.records - 1);
        EXPECT_EQ(t.m->List1->ListIndex(), c.selected) << c.records << " " << c.line;
        EXPECT_EQ(t.m->Label3->text(), QStringLiteral("総レコード数:%1").arg(c.records - 1));
        EXPECT_TRUE(t.m->Picture3->isHidden());
        EXPECT_FALSE(std::filesystem::exists(deletePlanPath(t.log())));
        EXPECT_FALSE(t.exit.held());
    }
}

TEST(ResultsManager, AnotherPCsChangeMeanwhileWritesNothing) {
    for (bool deleting : {false, true}) {
        Manager t;
        t.openWith(4);
        t.doubleClick(2);
        // Another teacher deletes record 1 while the panel is open.
        std::vector<ResultRecord> others = t.records;
        others.erase(others.begin());
        writeBytes(t.log(), logBytes(others));
        t.m->Text1_1->setText(QStringLiteral("10"));
        QTest::mouseClick(deleting ? t.m->Command3 : t.m->Command2, Qt::LeftButton);
        EXPECT_EQ(readBytes(t.log()), logBytes(others));
        ASSERT_FALSE(t.dialogs.shown.empty());
        EXPECT_NE(t.dialogs.shown.back().text.find("ほかのパソコン"), std::string::npos);
        EXPECT_EQ(t.lines().size(), 3) << "the list is read again";
        EXPECT_TRUE(t.m->Picture3->isHidden());
    }
    // Changed between the list and the double click: the panel does not open.
    Manager t;
    t.openWith(4);
    std::vector<ResultRecord> others = t.records;
    others[1].seconds = 7;
    writeBytes(t.log(), logBytes(others));
    t.doubleClick(1);
    EXPECT_TRUE(t.m->Picture3->isHidden());
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    EXPECT_TRUE(t.lines()[1].contains(QStringLiteral("    7秒")));
}

TEST(ResultsManager, ClicksDuringAWaitForTheLogAreDropped) {
    Manager t;
    t.openWith(3);
    t.doubleClick(0);
    HeldLog held(t.log());
    ASSERT_TRUE(held.held());
    QPointer<FrmData> m(t.m);
    int passes = 0;
    bool sent = false;
    t.events.onProcess = [&] {
        ++passes;
        if (!sent && t.events.idled > 0) {
            sent = true;
            QTest::mouseClick(t.m->Command4, Qt::LeftButton);
            QTest::mouseClick(t.m->Command3, Qt::LeftButton);
            QTest::mouseClick(t.m->Command2, Qt::LeftButton);
        }
        if (passes == 250) held.release();
    };
    t.m->Text1_1->setText(QStringLiteral("33"));
    QTest::mouseClick(t.m->Command2, Qt::LeftButton);
    t.events.onProcess = nullptr;
    EXPECT_TRUE(sent);
    ASSERT_TRUE(m) << "deleted under its own handler";
    EXPECT_NE(t.app.find<FrmData>(), nullptr);
    EXPECT_TRUE(t.dialogs.shown.empty()) << "no delete was asked for";
    const auto records = t.onDisk();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].seconds, 33);
}

TEST(ResultsManager, CsvGoesToTheDocumentsInTheChosenEncodingAndPeriod) {
    Manager t;
    const TemporaryHome home;
    t.schoolRun(1, 1, 40);
    t.run(2, 2, 50, 40); // forty days ago: outside a month
    t.openWith(0);

    // Shift-JIS, the whole log.
    t.dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Ok};
    QTest::mouseClick(t.m->Command5, Qt::LeftButton);
    ASSERT_EQ(t.dialogs.shown.size(), 2u);
    EXPECT_EQ(t.dialogs.shown[0].buttons, MessageButtons::YesNo);
    const std::string& told = t.dialogs.shown[1].text;
    const size_t open = told.find("「"), close = told.find("」");
    ASSERT_NE(close, std::string::npos) << told;
    const std::filesystem::path file = pathFromUtf8(told.substr(open + 3, close - open - 3));
#ifdef _WIN32
    // Windows' documents folder is a known folder of the account, not one below HOME.
    const std::filesystem::path documents = pathFromUtf8(
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString());
#else
    const std::filesystem::path documents = home.path() / "Documents";
#endif
    EXPECT_EQ(file.parent_path(), documents);
    const std::string sjis = readBytes(file);
    EXPECT_EQ(sjis.rfind(utf8ToCp932("番号,日付"), 0), 0u);
    EXPECT_EQ(std::count(sjis.begin(), sjis.end(), '\n'), 3);

    // UTF-8, one month: the old run stays out.
    t.clock.advance(1);
    t.m->Combo2->setCurrentIndex(3);
    t.dialogs.answers = {MessageAnswer::No, MessageAnswer::Ok};
    QTest::mouseClick(t.m->Command5, Qt::LeftButton);
    const std::string& told2 = t.dialogs.shown.back().text;
    const size_t open2 = told2.find("「"), close2 = told2.find("」");
    const std::filesystem::path file2 = pathFromUtf8(told2.substr(open2 + 3, close2 - open2 - 3));
    const std::string utf8 = readBytes(file2);
    EXPECT_EQ(utf8.rfind("\xEF\xBB\xBF番号", 0), 0u);
    EXPECT_EQ(std::count(utf8.begin(), utf8.end(), '\n'), 2);
    // Nothing went to the shared folder.
    for (const auto& e : std::filesystem::directory_iterator(t.dir.path()))
        EXPECT_NE(e.path().extension(), ".csv");
    // Where the documents are the account's own (Windows), nothing is left there.
    std::filesystem::remove(file);
    std::filesystem::remove(file2);
}
