// Sign-in by any way while the name screen rebuilds its list (an option or
// grade item chosen, the results log held by another PC) does nothing and
// never deletes the screen under the rebuild; once the list is back, one
// sign-in goes through.
#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

#include "levelmenu/ui/seisekitime1.h"
#include "roster/ui/NameScreenSupport.h"
#include "support/HeldLog.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

struct WayIn {
    const char* what;
    std::function<void(namesel&)> send;
};

std::vector<WayIn> signIns() {
    return {
        {"O.K.", [](namesel& s) { QTest::mouseClick(s.Command14, Qt::LeftButton); }},
        {"Enter in the list", [](namesel& s) { QTest::keyClick(s.List1, Qt::Key_Return); }},
        {"Space in the list", [](namesel& s) { QTest::keyClick(s.List1, Qt::Key_Space); }},
        {"the key 1", [](namesel& s) { QTest::keyClick(s.List1, Qt::Key_1); }},
        {"Space on O.K.", [](namesel& s) { QTest::keyClick(s.Command14, Qt::Key_Space); }},
        {"a double click", [](namesel& s) { clickLine(s.List1, 2, true); }},
    };
}

bool signedIn(NameScreen& n) {
    return n.app->find<seisekitime1>() != nullptr || n.ctx.state.CurrentStudentNumber != 0;
}

} // namespace

TEST(nameselBusy, NoSignInWhileTheListIsRebuilt) {
    for (const WayIn& way : signIns()) {
        NameScreen n;
        namesel& s = n.open();
        clickLine(s.List1, 4); // a name is chosen
        QPointer<namesel> screen(&s);

        HeldLog held(n.inst.file("共有データ/四捨五入/成績累積データ.dat"));
        ASSERT_TRUE(held.held());
        int passes = 0;
        bool sent = false;
        n.t.events.onProcess = [&] {
            ++passes;
            if (!sent && n.t.events.idled > 0) {
                sent = true;
                way.send(s);
                QTest::qWait(150); // an access key or click would land meanwhile
            }
            if (passes == 250) held.release();
        };
        QTest::mouseClick(s.Option1[2], Qt::LeftButton); // rebuilds the list
        n.t.events.onProcess = nullptr;

        EXPECT_TRUE(sent) << way.what;
        ASSERT_TRUE(screen) << way.what << ": deleted under its own rebuild";
        EXPECT_FALSE(signedIn(n)) << way.what;
        EXPECT_FALSE(s.Command14->isHidden()) << way.what;
        EXPECT_EQ(s.NameListMode(), 2) << way.what;
        EXPECT_FALSE(s.busy()) << way.what;

        // The list is back: the chosen line again, and one sign-in.
        clickLine(s.List1, 4);
        QTest::keyClick(s.List1, Qt::Key_1);
        QTest::keyClick(s.List1, Qt::Key_1);
        EXPECT_EQ(n.ctx.state.CurrentStudentNumber, 3) << way.what;
        EXPECT_NE(n.app->find<seisekitime1>(), nullptr) << way.what;
    }
}
