#pragma once
// A name screen over a test installation, with a program exit that records
// instead of throwing (the screen's handlers run inside Qt's event delivery).
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cstdlib>
#include <memory>

#include "app/App.h"
#include "context/Procedures.h"
#include "platform/ui/Shots.h"
#include "platform/ui/VbListBox.h"
#include "roster/ui/namesel.h"
#include "startup/Folders.h"
#include "support/Installation.h"

namespace kestrel::test {

class RecordingExit : public ProgramExit {
public:
    void endProgram(int status) override { statuses.push_back(status); }
    std::vector<int> statuses;
};

// Students of the test roster; with the clock's school year 2025 from April.
inline const char* const kTestRoster = "3,2016,0,0,山田　花子,0,,\r\n"  // 小3
                                       "4,2016,0,0,佐藤,0,,\r\n"        // 小3
                                       "5,2014,0,0,中村,0,,\r\n"        // 小5
                                       "6,2012,0,0,高橋,0,,\r\n"        // 中1
                                       "7,2016,0,0,休み　太郎,1,,\r\n"; // not listed

struct NameScreen {
    Installation inst;
    TestContext t;
    RecordingExit exit;
    Context ctx{
        Services{t.clock, t.random, t.dialogs, exit, t.events, t.audio, t.processes, t.printer},
        std::make_unique<test::SystemSharedFileSystem>(),
        std::make_unique<test::SystemMountTable>()};
    std::unique_ptr<App> app;
    namesel* screen = nullptr;

    explicit NameScreen(const std::string& roster = kTestRoster) {
        inst.write(Installation::kRosterFile, roster);
        ctx.programFile = inst.programFile();
        t.clock.set(CivilDate{2025, 6, 10}, 9 * 3600 + 30.6);
        InitialiseFolders(ctx);
        app = std::make_unique<App>(ctx);
    }
    namesel& open() {
        screen = &app->show<namesel>();
        return *screen;
    }
};

inline void key(QWidget* target, int k, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

inline void clickLine(VbListBox* list, int row, bool twice = false) {
    list->scrollToItem(list->item(row));
    const QPointF at = list->visualItemRect(list->item(row)).center();
    QWidget* vp = list->viewport();
    const QPointF global = vp->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(vp, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(vp, &release);
    if (!twice) return;
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(vp, &dbl);
    QApplication::sendEvent(vp, &release);
}

} // namespace kestrel::test
