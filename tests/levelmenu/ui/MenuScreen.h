#pragma once
// A signed-in student on a level menu over a results log and roster of a
// temporary shared folder, for the menu's screen tests.
#include <QCoreApplication>
#include <QKeyEvent>
#include <ostream>

#include "app/App.h"
#include "context/Procedures.h"
#include "drill/ui/MainFrm.h"
#include "levelmenu/MenuFixture.h"
#include "levelmenu/ui/seisekitime1.h"
#include "platform/Utf8Path.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "results/ResultsTestSupport.h"
#include "startup/Calendar.h"
#include "text/Cp932.h"

QT_BEGIN_NAMESPACE
// Readable texts in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace kestrel::test {

// A signed-in student on a menu over a results log and roster of a
// temporary shared folder.
struct Menu : MenuFixture {
    TempDir dir;
    std::vector<ResultRecord> records;
    App app{ctx};
    seisekitime1* form = nullptr;

    Menu() {
        // Folder texts as start-up makes them: "/" between the names.
        ctx.folders.SharedFolder = genericUtf8OfPath(dir.path()) + "/";
        ctx.folders.DataFolder = genericUtf8OfPath(dir.path()) + "/";
        ctx.config.SchoolName = "みなみ小学校";
        ctx.config.SchoolYearStartMonth = "4";
        ctx.state.SessionStartSeconds = 9 * 3600 + 30 * 60;
        ctx.criteria[1].pointMultiplier = 1.5f;
        ctx.criteria[3].clearPoints = 9999;
    }
    ~Menu() { app.unloadAll(); }

    double today() const { return static_cast<double>(dayNumber(CivilDate{2025, 6, 10})); }
    void run(int student, int level, int32_t seconds, int daysAgo = 0) {
        records.push_back(runRecord(today() - daysAgo, student, level, seconds));
    }
    void writeFiles() {
        writeBytes(resultsLogPath(ctx.folders), logBytes(records));
        std::string roster;
        for (int p = 1; p <= ctx.roster.RosterCount; ++p) {
            const auto s = static_cast<size_t>(ctx.roster.RosterNumbers[static_cast<size_t>(p)]);
            roster += std::to_string(s) + "," + std::to_string(ctx.roster.BirthYears[s]) +
                      ",0,0,\"" + ctx.roster.StudentNames[s] + "\",0,\"\",\"\"\r\n";
        }
        writeCp932File(dir / kRosterFile, roster);
    }
    // Opens the menu as sign-in or the end screen does, after a summary build.
    seisekitime1& open() {
        writeFiles();
        BuildSummary(ctx);
        form = &app.show<seisekitime1>();
        return *form;
    }

    template <class T = QWidget> T* element(const QString& name) {
        return form->findChild<T*>(name);
    }
    template <class T = QWidget> T* element(const char* name, int i) {
        return element<T>(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i));
    }
    QString text(const char* name, int i) { return element<VbLabel>(name, i)->text(); }
    QStringList list(int level) { return element<VbListBox>("List5", level)->lines(); }
    void type(const QString& key) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, key);
        QCoreApplication::sendEvent(form, &press);
    }
    bool drillStarted() const { return app.find<MainFrm>() != nullptr; }
};

} // namespace kestrel::test
