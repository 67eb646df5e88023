// Keys and clicks that reach the level menu while it waits (its refresh on a
// log held by another PC, a start under way) start nothing and never delete
// the menu under its own handler. The events go through QApplication as the
// window system delivers them: keys through the application-wide filter,
// Space on a button, access keys, clicks.
#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <functional>

#include "levelmenu/ui/MenuScreen.h"
#include "platform/ui/DrawingArea.h"
#include "roster/ui/namesel.h"
#include "support/HeldLog.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

// One way a child may start level `level` (or go back, for level 0).
struct WayIn {
    const char* what;
    int level;
    std::function<void(seisekitime1&)> send;
};

std::vector<WayIn> waysIn() {
    return {
        {"Space on the start button", 1,
         [](seisekitime1& f) { QTest::keyClick(f.Command4[1], Qt::Key_Space); }},
        {"the key 2 on the screen", 2, [](seisekitime1& f) { QTest::keyClick(&f, Qt::Key_2); }},
        {"the key 3 on a focused button", 3,
         [](seisekitime1& f) { QTest::keyClick(f.Command4[5], Qt::Key_3); }},
        {"the access key Alt+4", 4,
         [](seisekitime1& f) { QTest::keyClick(f.Command4[4], Qt::Key_4, Qt::AltModifier); }},
        {"a click on start 5", 5,
         [](seisekitime1& f) { QTest::mouseClick(f.Command4[5], Qt::LeftButton); }},
        {"a click on the level name 3", 3,
         [](seisekitime1& f) { QTest::mouseClick(f.Label3[3], Qt::LeftButton); }},
        {"the key 0", 0, [](seisekitime1& f) { QTest::keyClick(&f, Qt::Key_0); }},
        {"a click on 戻る(0)", 0,
         [](seisekitime1& f) { QTest::mouseClick(f.Command1, Qt::LeftButton); }},
    };
}

// Lets pending events and timers run: an access key clicks its button a
// moment after the key.
void settle() {
    QTest::qWait(250);
}

struct BusyMenu : Menu {
    BusyMenu() {
        addStudent(1, "あおき", 3);
        signIn(1);
        ctx.state.CurrentLevel = 9;
        open();
        QApplication::setActiveWindow(form);
    }
    // Where the way in led: the level started, 0 for the name screen, -1 for nowhere.
    int ledTo() const {
        if (app.find<MainFrm>()) return ctx.state.CurrentLevel;
        if (app.find<namesel>()) return 0;
        return -1;
    }
};

} // namespace

TEST(LevelMenuBusy, EveryWayInStartsWhenTheMenuIsReady) {
    // The control: each way really starts something on a ready menu, so
    // that the test below is not passing for nothing.
    for (const WayIn& way : waysIn()) {
        BusyMenu m;
        ASSERT_EQ(m.form->MenuReady(), 1);
        way.send(*m.form);
        settle();
        EXPECT_EQ(m.ledTo(), way.level) << way.what;
    }
}

TEST(LevelMenuBusy, NothingStartsDuringTheRefreshAndTheMenuSurvivesIt) {
    for (const WayIn& way : waysIn()) {
        BusyMenu m;
        HeldLog held(resultsLogPath(m.ctx.folders));
        ASSERT_TRUE(held.held());
        QPointer<seisekitime1> menu(m.form);
        int passes = 0;
        bool sent = false;
        m.events.onProcess = [&] {
            ++passes;
            if (!sent && m.form->MenuReady() == 0 && m.events.idled > 0) {
                sent = true;
                way.send(*m.form);
            }
            if (passes == 250) held.release(); // the other PC is done
        };
        m.app.activate(*m.form); // as the end screen's way back does
        m.events.onProcess = nullptr;
        settle();

        EXPECT_TRUE(sent) << way.what;
        ASSERT_TRUE(menu) << way.what << ": deleted under its own refresh";
        EXPECT_EQ(m.ledTo(), -1) << way.what;
        EXPECT_EQ(m.ctx.state.CurrentLevel, 9) << way.what;
        EXPECT_EQ(m.form->MenuReady(), 1) << way.what;
        EXPECT_FALSE(m.form->busy()) << way.what;
        EXPECT_TRUE(m.element("Picture2")->isHidden()) << way.what;
        // Ready again, the menu takes the same way in.
        way.send(*m.form);
        settle();
        EXPECT_EQ(m.ledTo(), way.level) << way.what;
    }
}

TEST(LevelMenuBusy, OneStartOnlyAndTheMenuIsDeletedOnceBackInTheMainLoop) {
    // While the start repaints, a second start arrives by every way in; the
    // drill unloads the menu while the menu's start handler is still on the
    // stack.
    BusyMenu m;
    QPointer<seisekitime1> menu(m.form);
    bool sent = false;
    m.events.onProcess = [&] {
        if (sent || !menu || !menu->busy()) return;
        sent = true;
        for (const WayIn& way : waysIn())
            if (way.level != 1) way.send(*menu);
    };
    QTest::mouseClick(m.form->Command4[1], Qt::LeftButton);
    m.events.onProcess = nullptr;
    EXPECT_TRUE(menu) << "not deleted under its start handler";

    EXPECT_TRUE(sent);
    {
        // A wait meanwhile lets the access key's click come: it is refused too.
        const EventPump::Nested wait(m.events);
        settle();
    }
    MainFrm* drill = m.app.find<MainFrm>();
    ASSERT_NE(drill, nullptr);
    EXPECT_EQ(m.ctx.state.CurrentLevel, 1);
    EXPECT_EQ(drill->sLabel8->text(), QStringLiteral("レベル１"));
    EXPECT_EQ(m.random.seeds.size(), 1u) << "one drill, loaded once";
    EXPECT_EQ(m.app.find<namesel>(), nullptr);
    // Unloaded by the drill, hidden, and still there until the main loop
    // deletes it.
    EXPECT_EQ(m.app.find<seisekitime1>(), nullptr);
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isHidden());
    {
        const EventPump::Nested wait(m.events);
        m.app.deleteUnloaded();
        EXPECT_TRUE(menu) << "not while a wait runs";
    }
    m.app.deleteUnloaded();
    EXPECT_FALSE(menu);
}

TEST(LevelMenuBusy, GraphPanelDrawsOrPrintsOnceAndNothingElseStartsDuringAWait) {
    // "表示" or "印刷" waits for a log held by another PC; meanwhile every
    // element of the panel and of the menu is clicked or typed at.
    for (const int out : {0, 1}) {
        Menu m;
        m.addStudent(1, "あおき", 3);
        m.addStudent(9, "やまだ先生", 0);
        m.signIn(9);
        m.run(1, 1, 40);
        m.open();
        QApplication::setActiveWindow(m.form);
        m.element<QRadioButton>("Option2", 2)->setChecked(true);
        m.form->Option2_Click(2);
        QTest::mouseClick(m.element("Command17"), Qt::LeftButton);
        ASSERT_FALSE(m.element("Picture11")->isHidden());
        QPointer<seisekitime1> menu(m.form);
        int draws = 0;
        QObject::connect(m.element<DrawingArea>("Picture12"), &DrawingArea::changed,
                         [&] { ++draws; });

        HeldLog held(resultsLogPath(m.ctx.folders));
        ASSERT_TRUE(held.held());
        auto* levels = m.element<VbListBox>("List3");
        const std::function<void()> everything[] = {
            [&] { QTest::mouseClick(m.element("Command24_0"), Qt::LeftButton); },
            [&] { QTest::mouseClick(m.element("Command24_1"), Qt::LeftButton); },
            [&] { QTest::keyClick(m.element("Command24_0"), Qt::Key_Space); },
            [&] {
                QTest::mouseClick(levels->viewport(), Qt::LeftButton, {},
                                  levels->visualItemRect(levels->item(4)).center());
            },
            [&] { QTest::keyClick(levels, Qt::Key_Down); },
            [&] { QTest::mouseClick(m.element("Command17"), Qt::LeftButton); },
            [&] { QTest::mouseClick(m.element("Command25"), Qt::LeftButton); },
            [&] { QTest::mouseClick(m.element("Command18"), Qt::LeftButton); },
            [&] { QTest::mouseClick(m.element("Option2", 0), Qt::LeftButton); },
            [&] { QTest::keyClick(m.form, Qt::Key_1); },
            [&] { QTest::mouseClick(m.element("Command1"), Qt::LeftButton); },
        };
        int passes = 0;
        bool sent = false;
        m.events.onProcess = [&] {
            ++passes;
            if (!sent && m.events.idled > 0) {
                sent = true;
                EXPECT_TRUE(m.form->busy());
                for (const auto& send : everything)
                    send();
            }
            if (passes == 250) held.release();
        };
        QTest::mouseClick(m.element(out == 0 ? "Command24_0" : "Command24_1"), Qt::LeftButton);
        m.events.onProcess = nullptr;
        settle();

        EXPECT_TRUE(sent) << out;
        ASSERT_TRUE(menu) << out << ": deleted under its own handler";
        EXPECT_FALSE(m.form->busy()) << out;
        EXPECT_EQ(draws, out == 0 ? 1 : 0) << out;
        EXPECT_EQ(m.printer.jobs.size(), out == 1 ? 1u : 0u) << out;
        EXPECT_FALSE(m.element("Picture11")->isHidden()) << out;
        EXPECT_FALSE(m.element("Command25")->isHidden()) << out;
        EXPECT_FALSE(levels->item(4)->isSelected()) << out;
        EXPECT_TRUE(m.element<QRadioButton>("Option2", 2)->isChecked()) << out;
        EXPECT_EQ(m.app.find<MainFrm>(), nullptr) << out;
        EXPECT_EQ(m.app.find<namesel>(), nullptr) << out;
        // Ready again, the panel takes clicks.
        QTest::mouseClick(m.element("Command24_0"), Qt::LeftButton);
        EXPECT_EQ(draws, out == 0 ? 2 : 1) << out;
    }
}
