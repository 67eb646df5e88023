#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetricsF>
#include <QPushButton>
#include <QRadioButton>

#include "context/Procedures.h"
#include "levelmenu/ui/seisekitime1.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultsRules.h"
#include "results/ResultsTestSupport.h"
#include "results/SortByKey.h"
#include "roster/Grades.h"
#include "roster/ProgramMenu.h"
#include "roster/ui/NameScreenSupport.h"
#include "startup/Calendar.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

std::vector<std::string> listLines(VbListBox* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->ListCount(); ++i)
        out.push_back(list->List(i).toStdString());
    return out;
}

// The grade tag and name of every shown line.
std::vector<std::string> shownNames(VbListBox* list) {
    std::vector<std::string> out;
    for (int i = 1; i < list->ListCount(); ++i) {
        const QString line = list->List(i);
        out.push_back(line.left(line.indexOf(QChar(0x3000))).toStdString());
    }
    return out;
}

} // namespace

TEST(namesel, OpensWithNobodyChosenTodaysPointsAndAllGrades) {
    NameScreen n;
    namesel& s = n.open();
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Kestrel"));
    EXPECT_EQ(s.backColor(), fromColourValue(n.ctx.state.SeasonColour));
    EXPECT_EQ(s.Label1->text(), QStringLiteral("名前を選びなさい"));
    EXPECT_EQ(s.List1->ListIndex(), 0);
    EXPECT_EQ(s.List1->List(0), QStringLiteral("－－－－－－"));
    EXPECT_TRUE(s.Option1[1]->isChecked());
    EXPECT_EQ(s.NameListMode(), 1);
    EXPECT_EQ(s.Combo1->currentText(), QStringLiteral("全学年"));
    EXPECT_EQ(n.ctx.roster.GradeFilter, "全学年");
    EXPECT_FALSE(s.Picture5->isVisibleTo(&s));
    EXPECT_EQ(s.Label4->text().toStdString(), n.ctx.program.ProgramTitle);
    EXPECT_EQ(s.Command7->text(), QStringLiteral("ﾌﾟﾟﾛｸﾞﾗﾑメニューへ(0)"));
    ASSERT_FALSE(n.t.random.seeds.empty());
    EXPECT_EQ(n.t.random.seeds.front(), 9 * 3600 + 30.6);

    std::vector<std::string> items;
    for (int i = 0; i < s.Combo1->count(); ++i)
        items.push_back(s.Combo1->itemText(i).toStdString());
    EXPECT_EQ(items,
              (std::vector<std::string>{"全学年", "中学生全体", "小学生全体", "中３", "中２",
                                        "中１", "小６", "小５", "小４", "小３", "小２", "小１"}));
    EXPECT_EQ(shownNames(s.List1),
              (std::vector<std::string>{"中1 高橋", "小5 中村", "小3 佐藤", "小3 山田"}));
    // Hidden lists: the sorted lines and the numbers behind each shown line.
    EXPECT_EQ(s.List2->ListCount(), 4);
    EXPECT_TRUE(s.List2->List(0).startsWith(QStringLiteral("2012中1 高橋")));
    EXPECT_EQ(s.List3->ListCount(), 4);
    EXPECT_TRUE(s.List3->List(3).endsWith(QStringLiteral("*3")));
    EXPECT_EQ(s.List4->ListCount(), 0);
    for (QWidget* hidden : {static_cast<QWidget*>(s.List2), static_cast<QWidget*>(s.List3),
                            static_cast<QWidget*>(s.List4), static_cast<QWidget*>(s.Label2)})
        EXPECT_FALSE(hidden->isVisibleTo(&s)) << hidden->objectName().toStdString();
    // Drawn: the title in yellow on teal, the chosen name's box in cyan, the
    // list in light cyan, all on the season's colour.
    const QImage seen = shot(s, "namesel.png");
    EXPECT_GT(colourShare(seen, s, *s.Label4, QColor(0, 128, 128)), 0.5);
    EXPECT_GT(colourShare(seen, s, *s.Label4, QColor(255, 255, 0)), 0.01);
    EXPECT_GT(colourShare(seen, s, *s.Label1, QColor(0, 255, 255)), 0.5);
    EXPECT_GT(colourShare(seen, s, *s.List1->viewport(), QColor(192, 255, 255)), 0.3);
    EXPECT_EQ(QColor(seen.pixel(seen.width() - 2, seen.height() - 2)), s.backColor());
}

TEST(namesel, SignInIsRefusedWithTheWrongCueWhileNobodyIsChosen) {
    NameScreen n;
    namesel& s = n.open();
    s.List1->setFocus();
    key(s.List1, Qt::Key_1, QStringLiteral("1"));
    key(s.List1, Qt::Key_Return, QStringLiteral("\r"));
    s.Command14->click();
    EXPECT_EQ(n.t.audio.played.size(), 3u);

    // Line 0 after a name: O.K. is refused although Label2 keeps the number.
    clickLine(s.List1, 4);
    EXPECT_EQ(s.Label2->text(), QStringLiteral("3"));
    clickLine(s.List1, 0);
    EXPECT_EQ(s.Label1->text(), QStringLiteral("名前を選びなさい"));
    EXPECT_EQ(s.Label2->text(), QStringLiteral("3"));
    key(s.Combo1, Qt::Key_1, QStringLiteral("1"));
    clickLine(s.List1, 0, true);

    EXPECT_EQ(n.t.audio.played.size(), 4u);
    for (const std::string& played : n.t.audio.played)
        EXPECT_NE(played.find("machigai"), std::string::npos) << played;
    EXPECT_EQ(n.ctx.state.CurrentStudentNumber, 0);
    EXPECT_FALSE(s.Command14->isHidden());
    EXPECT_FALSE(s.Picture5->isVisibleTo(&s));
    EXPECT_EQ(s.Label1->text(), QStringLiteral("名前を選びなさい"));
}

TEST(namesel, EveryWayOfConfirmingSignsTheChosenStudentIn) {
    const std::string I = "\u3000";
    struct Case {
        const char* how;
        std::function<void(namesel&)> confirm;
        std::string label1; // what the name label shows on the way
    } cases[] = {
        {"1 in the list", [](namesel& s) { key(s.List1, Qt::Key_1, QStringLiteral("1")); },
         "小3 山田　花子" + I},
        {"1 in the grade box", [](namesel& s) { key(s.Combo1, Qt::Key_1, QStringLiteral("1")); },
         "小3 山田　花子" + I},
        {"Enter", [](namesel& s) { key(s.List1, Qt::Key_Return, QStringLiteral("\r")); },
         "小3 山田　花子" + I},
        {"Space", [](namesel& s) { key(s.List1, Qt::Key_Space, QStringLiteral(" ")); },
         "小3 山田　花子" + I},
        {"O.K.", [](namesel& s) { s.Command14->click(); }, "小3 山田　花子" + I},
        {"double click", [](namesel& s) { clickLine(s.List1, 4, true); },
         "小3 山田　花子" + I + "  " + I},
    };
    for (const auto& c : cases) {
        NameScreen n;
        namesel& s = n.open();
        clickLine(s.List1, 4);
        EXPECT_EQ(s.Label1->text().toStdString(), "小3 山田　花子" + I) << c.how;
        n.t.clock.setSeconds(10 * 3600 + 59.5);
        c.confirm(s);

        EXPECT_TRUE(n.t.audio.played.empty()) << c.how;
        EXPECT_EQ(s.Label1->text().toStdString(), c.label1) << c.how;
        EXPECT_EQ(n.ctx.state.CurrentStudentNumber, 3) << c.how;
        EXPECT_EQ(n.ctx.state.CurrentStudentName, "山田　花子" + std::string(15, ' ')) << c.how;
        EXPECT_EQ(n.ctx.state.CurrentGradeLabel, "小３") << c.how;
        EXPECT_EQ(n.ctx.state.SessionStartSeconds, 10 * 3600 + 60) << c.how;
        EXPECT_TRUE(s.Command14->isHidden()) << c.how;
        EXPECT_TRUE(s.Picture5->isVisibleTo(&s)) << c.how;
        EXPECT_EQ(n.ctx.program.LevelNames[5], "混合") << c.how;
        // A second confirmation while signing in does nothing.
        const int16_t level = n.ctx.state.CurrentLevel;
        s.SignIn();
        EXPECT_EQ(n.ctx.state.CurrentLevel, level);
        EXPECT_TRUE(n.t.audio.played.empty()) << c.how;
    }
}

TEST(namesel, TheGradeBoxNarrowsTheListAndTheOptionsKeepIt) {
    NameScreen n;
    namesel& s = n.open();
    s.Combo1->setCurrentIndex(s.Combo1->findText(QStringLiteral("小３")));
    s.Combo1_Click();
    EXPECT_EQ(n.ctx.roster.GradeFilter, "小３");
    EXPECT_EQ(shownNames(s.List1), (std::vector<std::string>{"小3 佐藤", "小3 山田"}));
    EXPECT_EQ(s.List1->ListIndex(), 0);
    EXPECT_EQ(s.List3->ListCount(), 2);

    s.Option1[3]->click();
    EXPECT_EQ(s.NameListMode(), 3);
    EXPECT_EQ(shownNames(s.List1), (std::vector<std::string>{"小3 佐藤", "小3 山田"}));

    // Typed text is read at the next rebuild, not before.
    s.Combo1->setEditText(QStringLiteral("中１"));
    EXPECT_EQ(s.List1->ListCount(), 3);
    s.Option1[0]->click();
    EXPECT_EQ(shownNames(s.List1), (std::vector<std::string>{"中1 高橋"}));
    s.Combo1->setEditText(QStringLiteral("三年生"));
    s.Option1[2]->click();
    EXPECT_EQ(listLines(s.List1), std::vector<std::string>{"－－－－－－"});
    EXPECT_EQ(n.ctx.roster.GradeFilter, "小３"); // only a chosen item sets it
}

TEST(namesel, ActivatedAgainItKeepsTheGradeItemsTheOptionAndTheChosenName) {
    NameScreen n;
    namesel& s = n.open();
    s.Option1[2]->click();
    clickLine(s.List1, 2);
    const QString chosen = s.Label1->text();
    ASSERT_NE(chosen, QStringLiteral("名前を選びなさい"));

    n.app->activate(s);
    n.app->activate(s);
    EXPECT_EQ(s.Combo1->count(), 12);
    EXPECT_EQ(s.NameListMode(), 2);
    EXPECT_TRUE(s.Option1[2]->isChecked());
    EXPECT_EQ(s.List1->ListIndex(), 2);
    EXPECT_EQ(s.Label1->text(), chosen);
    EXPECT_FALSE(s.Picture5->isVisibleTo(&s));
    s.Command14->click();
    EXPECT_EQ(n.ctx.state.CurrentStudentNumber, 5);
}

TEST(namesel, ZeroLeavesForTheProgramMenuWhateverHasTheFocus) {
    for (bool fails : {false, true}) {
        NameScreen n;
        namesel& s = n.open();
        n.t.processes.fail = fails;
        key(s.Combo1, Qt::Key_0, QStringLiteral("0"));

        const std::string folder = n.ctx.folders.ProgramFolder;
        ASSERT_TRUE(folder.ends_with("/"));
        EXPECT_EQ(n.t.processes.program,
                  folder.substr(0, folder.size() - 1) + "/../起動/プログラムメニューc.exe");
        EXPECT_EQ(n.t.processes.arguments, std::vector<std::string>{"001"});
        EXPECT_EQ(n.t.processes.starts, 1);
        if (fails) {
            ASSERT_EQ(n.t.dialogs.shown.size(), 1u);
            EXPECT_NE(n.t.dialogs.shown[0].text.find(n.t.processes.failText), std::string::npos);
            EXPECT_EQ(n.exit.statuses, std::vector<int>{1});
        } else {
            EXPECT_TRUE(n.t.dialogs.shown.empty());
            EXPECT_EQ(n.exit.statuses, std::vector<int>{0});
        }
    }
    // The button does the same; a hidden button takes no key.
    NameScreen n;
    namesel& s = n.open();
    s.Command7->click();
    EXPECT_EQ(n.t.processes.starts, 1);
    s.Command7->hide();
    key(s.List1, Qt::Key_0, QStringLiteral("0"));
    EXPECT_EQ(n.t.processes.starts, 1);
}

TEST(namesel, TheFiguresOfTheListLineUpInTheFixedPitchFont) {
    NameScreen n("3,2016,0,0,山田　花子,0,,\r\n4,2016,0,0,佐藤,0,,\r\n5,2014,0,0,中村　ゆう,0,,\r\n"
                 "6,2012,0,0,高橋,0,,\r\n8,2015,0,0,林,0,,\r\n9,2019,0,0,すずき,0,,\r\n");
    const double today = static_cast<double>(dayNumber(CivilDate{2025, 6, 10}));
    std::vector<ResultRecord> runs;
    for (int i = 0; i < 12; ++i)
        runs.push_back(runRecord(today - (i % 3), 3 + i % 4, 1 + i % 5, 40 + 9 * i));
    writeBytes(n.inst.file("共有データ/四捨五入/成績累積データ.dat"), logBytes(runs));
    namesel& s = n.open();
    for (int mode = 0; mode < 4; ++mode) {
        s.Option1[mode]->click();
        const QFontMetricsF fm(s.List1->font());
        std::vector<double> slash, end;
        for (int k = 1; k < s.List1->ListCount(); ++k) {
            const QString line = s.List1->List(k);
            if (line.startsWith(QStringLiteral("幼"))) continue; // its own column width
            slash.push_back(fm.horizontalAdvance(line.left(line.indexOf(QLatin1Char('/')))));
            end.push_back(fm.horizontalAdvance(line));
        }
        ASSERT_GE(slash.size(), 5u);
        for (size_t i = 1; i < slash.size(); ++i) {
            EXPECT_DOUBLE_EQ(slash[i], slash[0]) << "mode " << mode << " line " << i;
            EXPECT_DOUBLE_EQ(end[i], end[0]) << "mode " << mode << " line " << i;
        }
        if (mode == 0) shot(s, "namesel_runs.png");
    }
    // The chosen line stands out from the list's colour.
    clickLine(s.List1, 3);
    const QImage seen = shot(s, "namesel_chosen.png");
    const auto lineArea = [&](int row) {
        return placeIn(s, *s.List1->viewport(), s.List1->visualItemRect(s.List1->item(row)));
    };
    EXPECT_LT(colourShare(seen, lineArea(3), QColor(192, 255, 255)), 0.2);
    EXPECT_GT(colourShare(seen, lineArea(2), QColor(192, 255, 255)), 0.5);
}

TEST(namesel, SignInOpensTheLevelMenuAndComingBackClosesIt) {
    NameScreen n;
    namesel& s = n.open();
    clickLine(s.List1, 1);
    s.Command14->click();
    ASSERT_NE(n.app->find<seisekitime1>(), nullptr);
    EXPECT_EQ(n.app->find<namesel>(), nullptr) << "the level menu removes the name screen";

    namesel& again = n.app->show<namesel>();
    EXPECT_EQ(n.app->find<seisekitime1>(), nullptr);
    EXPECT_EQ(again.Label1->text(), QStringLiteral("名前を選びなさい"));
    EXPECT_EQ(again.Combo1->count(), 12);
}
