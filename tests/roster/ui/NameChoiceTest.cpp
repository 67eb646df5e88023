// What the name label shows is what sign-in takes: a rebuilt list (another
// option, another grade) leaves nobody chosen, whatever arrives during its
// waits; a double click shows its line up to the first "/".
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

#include "levelmenu/ui/seisekitime1.h"
#include "platform/ui/VbWidgets.h"
#include "roster/ui/NameScreenSupport.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

const QString kChoosePrompt = QStringLiteral("名前を選びなさい");

struct Rebuild {
    const char* what;
    std::function<void(namesel&)> send;
    int shownAfter; // names listed after the rebuild
};

std::vector<Rebuild> rebuilds() {
    return {
        {"the day's points option",
         [](namesel& s) { QTest::mouseClick(s.Option1[2], Qt::LeftButton); }, 4},
        {"the runs option", [](namesel& s) { QTest::mouseClick(s.Option1[0], Qt::LeftButton); }, 4},
        // The grade box's next item, 中学生全体, hides the chosen third-grader.
        {"a grade item by key", [](namesel& s) { QTest::keyClick(s.Combo1, Qt::Key_Down); }, 1},
    };
}

bool signedIn(NameScreen& n) {
    return n.app->find<seisekitime1>() != nullptr || n.ctx.state.CurrentStudentNumber != 0;
}

} // namespace

TEST(nameselChoice, ARebuiltListLeavesNobodyChosen) {
    for (const Rebuild& r : rebuilds()) {
        NameScreen n;
        namesel& s = n.open();
        clickLine(s.List1, 4); // 小3 山田, number 3
        ASSERT_EQ(s.Label1->text().left(5), QStringLiteral("小3 山田")) << r.what;

        // During the rebuild's waits: the same line clicked, O.K., the key 1.
        int sent = 0;
        n.t.events.onProcess = [&] {
            if (sent++ > 0) return;
            clickLine(s.List1, 4);
            QTest::mouseClick(s.Command14, Qt::LeftButton);
            QTest::keyClick(s.List1, Qt::Key_1);
        };
        r.send(s);
        n.t.events.onProcess = nullptr;

        ASSERT_GT(sent, 0) << r.what << ": no wait to send events in";
        EXPECT_EQ(s.List1->ListCount(), r.shownAfter + 1) << r.what;
        EXPECT_EQ(s.List1->ListIndex(), 0) << r.what;
        EXPECT_EQ(s.Label1->text(), kChoosePrompt) << r.what;
        EXPECT_FALSE(signedIn(n)) << r.what;
        EXPECT_TRUE(n.t.audio.played.empty()) << r.what << ": nothing is judged while busy";

        // O.K. and Enter now: refused with the wrong-answer cue.
        QTest::mouseClick(s.Command14, Qt::LeftButton);
        QTest::keyClick(s.List1, Qt::Key_Return);
        EXPECT_FALSE(signedIn(n)) << r.what;
        ASSERT_EQ(n.t.audio.played.size(), 2u) << r.what;
        for (const std::string& played : n.t.audio.played)
            EXPECT_NE(played.find("machigai"), std::string::npos) << r.what << ": " << played;
        EXPECT_FALSE(s.Command14->isHidden()) << r.what;
        EXPECT_EQ(s.Label1->text(), kChoosePrompt) << r.what;

        // A name chosen from the new list signs that student in.
        clickLine(s.List1, 1);
        QTest::mouseClick(s.Command14, Qt::LeftButton);
        EXPECT_EQ(n.ctx.state.CurrentStudentNumber, 6) << r.what; // 中1 高橋, listed first
    }
}

TEST(nameselChoice, ADoubleClickShowsTheLineUpToItsFirstSlash) {
    const std::string I = "\u3000";
    struct Case {
        const char* name;
        std::string label1;
    } cases[] = {
        {"山/田", "小3 山"},
        {"a/b/c", "小3 a"},
        {"山田", "小3 山田" + I + I + I + I + "  " + I},
    };
    for (const Case& c : cases) {
        NameScreen n(std::string("3,2016,0,0,") + c.name + ",0,,\r\n");
        namesel& s = n.open();
        ASSERT_EQ(s.List1->ListCount(), 2) << c.name;
        clickLine(s.List1, 1, true);
        EXPECT_EQ(s.Label1->text().toStdString(), c.label1) << c.name;
        EXPECT_EQ(n.ctx.state.CurrentStudentNumber, 3) << c.name;
        EXPECT_NE(n.app->find<seisekitime1>(), nullptr) << c.name;
    }
}
