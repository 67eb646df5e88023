// The program menu's window grows with the display as the screens do, its
// text never under 11 pixels; its message box grows with it; it starts the
// chosen program or says why not.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/Utf8Path.h"
#include "platform/ui/QtServices.h"
#include "platform/ui/Shots.h"
#include "platform/ui/VbListBox.h"
#include "roster/ui/ProgramMenuWindow.h"
#include "support/Fakes.h"

using namespace kestrel;
using namespace kestrel::test;

namespace {

std::vector<InstalledProgram> twoPrograms() {
    return {{"Kestrel", pathFromUtf8("/srv/学校/Kestrel/kestrel")},
            {"かけ算", pathFromUtf8("/srv/学校/かけ算/a")}};
}

// The pixel size of every text the window shows, by object name.
std::vector<std::pair<QString, int>> textPixels(ProgramMenuWindow& w) {
    std::vector<std::pair<QString, int>> out;
    for (QWidget* e : std::initializer_list<QWidget*>{w.Title, w.Programs, w.Start, w.Quit})
        out.emplace_back(e->objectName(), QFontInfo(e->font()).pixelSize());
    return out;
}

} // namespace

TEST(ProgramMenuWindow, GrowsWithTheDisplayAsTheScreensDo) {
    struct Case {
        QSize display;
        const char* shot;
    } const cases[] = {
        {{1024, 768}, nullptr},
        {{1366, 768}, "program_menu_1366x768.png"},
        {{1920, 1080}, "program_menu_1920x1080.png"},
    };
    int titleAt1366 = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.display.width() << "x" << c.display.height());
        FakeLauncher launcher;
        FakeDialogs dialogs;
        ProgramMenuWindow menu(twoPrograms(), QStringLiteral("001"), launcher, dialogs);
        const QRect display(QPoint(0, 0), c.display);
        menu.setGeometry(ProgramMenuWindow::placeOn(display));
        menu.show();

        // The scale a full-screen screen has on this display.
        TwipsForm screen(15360, 11520);
        screen.show();
        screen.resize(c.display);
        EXPECT_NEAR(menu.scale(), screen.scale(), 1e-3);
        EXPECT_TRUE(display.contains(menu.geometry()));
        EXPECT_EQ(menu.geometry().center(), display.center());

        for (const auto& [name, pixels] : textPixels(menu))
            EXPECT_GE(pixels, 11) << name.toStdString();
        // Every text fits its element.
        EXPECT_LE(menu.Title->sizeHint().width(), menu.Title->width());
        for (QPushButton* b : {menu.Start, menu.Quit})
            EXPECT_LE(QFontMetrics(b->font()).height(), b->height());
        const int title = QFontInfo(menu.Title->font()).pixelSize();
        if (c.display == QSize(1366, 768)) titleAt1366 = title;
        if (c.display == QSize(1920, 1080)) {
            EXPECT_GE(title * 100, titleAt1366 * 135) << "the larger display's menu grows";
        }
        if (c.shot) shot(menu, c.shot);
    }
}

TEST(ProgramMenuWindow, ItsMessageBoxGrowsWithIt) {
    FakeLauncher launcher;
    launcher.fail = true;
    QtEventPump events;
    QtDialogs dialogs(events);
    ProgramMenuWindow menu(twoPrograms(), QString(), launcher, dialogs);
    menu.setGeometry(ProgramMenuWindow::placeOn(QRect(0, 0, 1920, 1080)));
    menu.show();
    QApplication::setActiveWindow(&menu);

    int boxPixels = 0;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        boxPixels = QFontInfo(box->font()).pixelSize();
        const QString shots = qEnvironmentVariable("KESTREL_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            box->grab().save(shots + QStringLiteral("/program_menu_box_1920x1080.png"));
        box->buttons().first()->click();
    });
    QTest::keyClick(menu.Programs, Qt::Key_Return);
    // Twelve points at the screens' scale on this display: 0.09375 pixels a twip.
    EXPECT_EQ(boxPixels, 23);
    EXPECT_TRUE(text.contains(QStringLiteral("/srv/学校/Kestrel/kestrel"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("起動できません"))) << text.toStdString();
    EXPECT_TRUE(menu.isVisible()) << "the menu stays for another choice";
}

TEST(ProgramMenuWindow, StartsTheChosenProgramAndCloses) {
    struct Case {
        const char* how;
        std::function<void(ProgramMenuWindow&)> start;
    } const cases[] = {
        {"はじめる", [](ProgramMenuWindow& m) { QTest::mouseClick(m.Start, Qt::LeftButton); }},
        {"Enter", [](ProgramMenuWindow& m) { QTest::keyClick(m.Programs, Qt::Key_Return); }},
    };
    for (const Case& c : cases) {
        FakeLauncher launcher;
        FakeDialogs dialogs;
        ProgramMenuWindow menu(twoPrograms(), QStringLiteral("001"), launcher, dialogs);
        EXPECT_EQ(menu.windowTitle(), QStringLiteral("プログラムメニュー（001）"));
        menu.show();
        menu.Programs->setListIndex(1);
        c.start(menu);
        EXPECT_EQ(launcher.starts, 1) << c.how;
        EXPECT_EQ(launcher.program, "/srv/学校/かけ算/a") << c.how;
        EXPECT_TRUE(dialogs.shown.empty()) << c.how;
        EXPECT_FALSE(menu.isVisible()) << c.how;
    }
    // Nothing installed: a line that says so, and nothing to start.
    FakeLauncher launcher;
    FakeDialogs dialogs;
    ProgramMenuWindow empty({}, QString(), launcher, dialogs);
    EXPECT_EQ(empty.Programs->List(0), QStringLiteral("起動できるプログラムがありません。"));
    EXPECT_FALSE(empty.Start->isEnabled());
    QTest::keyClick(empty.Programs, Qt::Key_Return);
    EXPECT_EQ(launcher.starts, 0);
}
