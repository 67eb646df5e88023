#pragma once
// A drill run under test: fake clock, random source and audio, a temporary
// data folder for the results log, and key presses sent to the screen as
// the window system would send them.
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <cstdlib>
#include <vector>

#include "app/App.h"
#include "app/Navigation.h"
#include "drill/ui/MainFrm.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultRecord.h"
#include "startup/Calendar.h"
#include "startup/ProgramDefinition.h"
#include "support/Fakes.h"
#include "support/Screenshots.h"

namespace kestrel::test {

// Sends a key press and its release, with the text the key types.
inline void pressKey(QWidget* w, int key, const QString& text = {}) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(w, &up);
}

// Types printable ASCII characters; Qt's key codes of these are their
// upper-case codes.
inline void typeKeys(QWidget* w, const QString& chars) {
    for (QChar c : chars)
        pressKey(w, c.toUpper().unicode(), QString(c));
}

inline std::vector<ResultRecord> readLog(const AppFolders& folders) {
    const std::string bytes = readBytes(resultsLogPath(folders));
    std::vector<ResultRecord> records;
    for (size_t at = 0; at + kResultRecordSize <= bytes.size(); at += kResultRecordSize)
        records.push_back(decodeResultRecord(reinterpret_cast<const unsigned char*>(&bytes[at])));
    return records;
}

// Screens unloaded during a test are deleted once control is back in the
// main loop; tests have none, so they are deleted here.
inline void deleteUnloadedScreens() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct DrillScreen {
    TempDir data;
    TestContext tc;
    App app{tc.ctx};
    MainFrm* form = nullptr;

    // A signed-in student at `level`, whose minimum time gives the time
    // limit (five times it). Every problem is 1000 to be approximated to the
    // tens unless the test scripts others.
    explicit DrillScreen(int level = 3, int minimumTime = 60, int targetTime = 30) {
        Context& ctx = tc.ctx;
        DefineProgram(ctx.program);
        DefineLevelTable(ctx.program);
        ctx.folders.DataFolder = data.path().string() + "/";
        ctx.folders.SoundFolder = "/sounds/";
        ctx.config.SchoolName = "みなみ小学校";
        ctx.config.SchoolCode = "12345";
        LevelCriteria& c = ctx.criteria[level];
        c.minimumTime = minimumTime;
        c.targetTime = targetTime;
        c.pointMultiplier = 1;
        c.clearCount = 10;
        c.clearPoints = 300;
        for (auto [cue, file] : {std::pair{SoundTable::kRightCue, "seikai"},
                                 std::pair{SoundTable::kWrongCue, "machigai"}}) {
            ctx.sounds.cue(cue).files[1] = file;
            ctx.sounds.cue(cue).count = "1";
        }
        ctx.state.CurrentLevel = static_cast<int16_t>(level);
        ctx.state.CurrentStudentNumber = 7;
        ctx.state.CurrentStudentName = "  山田　花子          ";
        ctx.state.SessionStartDay = dayNumber(tc.clock.today());
        ctx.state.SessionStartSeconds = static_cast<int32_t>(tc.clock.secondsSinceMidnight()) - 125;
    }
    ~DrillScreen() {
        app.unloadAll();
        deleteUnloadedScreens();
    }

    void start() {
        StartDrill(app);
        form = app.find<MainFrm>();
    }

    SharedState& state() { return tc.ctx.state; }
    VbLabel* label(const char* name) const { return form->findChild<VbLabel*>(name); }
    QString text(const char* name) const { return label(name)->text(); }
    // Shown as far as the screen is concerned (the screen itself may be hidden).
    bool shown(const char* name) const { return !form->findChild<QWidget*>(name)->isHidden(); }

    // Moves the clock on and lets the run clock tick.
    void tick(double seconds = 1) {
        tc.clock.advance(seconds);
        form->sTimer1_Timer();
    }
    // Types the correct answer of the problem on screen and judges it.
    void answerRight() {
        typeKeys(form, QString::number(static_cast<qint64>(form->currentProblem().CorrectAnswer)));
        typeKeys(form, QStringLiteral(" "));
    }
    // A wrong answer, shown and then confirmed with "+" "+".
    void answerWrong(bool confirm = true) {
        typeKeys(form, QStringLiteral("7 "));
        if (confirm) typeKeys(form, QStringLiteral("++"));
    }
    int played(const std::string& file) const {
        int n = 0;
        for (const std::string& p : tc.audio.played)
            if (p == "/sounds/" + file) ++n;
        return n;
    }
};

} // namespace kestrel::test
