// Takes the screenshots of the teacher's guide: goes through every screen
// of the program on a demo installation, as a student and a teacher would,
// and saves each screen as a PNG file. Run by scripts/guide-shots.sh on the
// offscreen platform, so that the pictures are made anew whenever a screen
// changes.
//
//   guide_shots DEMO_PROGRAM_FILE OUTPUT_FOLDER
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "app/App.h"
#include "app/Navigation.h"
#include "auxiliary/ui/frmver.h"
#include "context/Procedures.h"
#include "drill/ui/MainFrm.h"
#include "levelmenu/ui/seisekitime1.h"
#include "platform/Random.h"
#include "platform/SystemServices.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/QtServices.h"
#include "platform/ui/VbListBox.h"
#include "platform/ui/VbWidgets.h"
#include "results/ui/FrmSyuuryou.h"
#include "roster/ui/namesel.h"
#include "startup/Calendar.h"
#include "startup/ui/BASEFRM.h"
#include "startup/ui/Firstfrm.h"
#include "support/Fakes.h"
#include "teacher/ui/FrmData.h"
#include "teacher/ui/FrmTimeData.h"

using namespace kestrel;

namespace {

// The demo teacher's password; the demo's configuration keeps its hash.
const QString kDemoPassword = QStringLiteral("1234");

std::filesystem::path g_out;
int g_shots = 0;

void settle(int ms = 150) {
    QTest::qWait(ms);
}

void shoot(QWidget& w, const char* name, bool wait = true) {
    if (wait) settle();
    const std::filesystem::path file = g_out / (std::string(name) + ".png");
    if (w.grab().save(QString::fromStdString(file.string()))) {
        ++g_shots;
        std::printf("guide: %s\n", file.c_str());
        std::fflush(stdout);
    } else {
        std::fprintf(stderr, "guide: cannot save %s\n", file.c_str());
    }
}

// The tour stops when a screen does not show what a child or a teacher
// would see there.
void expect(bool shown, const char* what) {
    if (!shown) throw std::runtime_error(what);
}

// Selects the name-list line of the student whose line contains `name`.
bool chooseName(namesel& s, const QString& name) {
    for (int i = 1; i < s.List1->ListCount(); ++i) {
        if (!s.List1->List(i).contains(name)) continue;
        s.List1->setListIndex(i);
        return true;
    }
    return false;
}

// The system's clock, moved on by the tour as a child's answers take time;
// its tick runs with real time too, so that the program's own waits end.
class TourClock : public Clock {
public:
    LocalTime now() override {
        LocalTime t = m_system.now();
        t.secondsOfDay += m_ahead;
        while (t.secondsOfDay >= 86400) {
            t.secondsOfDay -= 86400;
            t.date = dateFromDayNumber(dayNumber(t.date) + 1);
        }
        return t;
    }
    uint32_t tickMs() override { return m_system.tickMs() + static_cast<uint32_t>(m_ahead * 1000); }
    double monotonicSeconds() override { return m_system.monotonicSeconds() + m_ahead; }
    void advance(double seconds) { m_ahead += seconds; }

private:
    SystemClock m_system;
    double m_ahead = 0;
};

TourClock* g_clock = nullptr;

void typeAnswer(MainFrm& drill, bool right) {
    g_clock->advance(right ? 3.4 : 6.0);
    drill.sTimer1_Timer();
    const auto answer = static_cast<long long>(drill.currentProblem().CorrectAnswer);
    QTest::keyClicks(&drill, right ? QString::number(answer) : QStringLiteral("7"));
    QTest::keyClick(&drill, Qt::Key_Space);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DEMO_PROGRAM_FILE OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    QApplication qapp(argc, argv);
    installFontSubstitutions();
    installAccessibility();
    g_out = argv[2];
    std::filesystem::create_directories(g_out);

    // Today's date and time, moved on by the tour as a child's answers take time.
    TourClock clock;
    g_clock = &clock;
    SystemRandom random;
    QtEventPump events;
    test::FakeServices fakes; // no sound, no message box waiting for a click
    Context ctx{Services{clock, random, fakes.dialogs, fakes.exit, events, fakes.audio,
                         fakes.processes, fakes.printer},
                systemFileSystem(), systemMountTable()};
    ctx.programFile = argv[1];
    App app(ctx);

    try {
        // The splash, before its timer hands over to the name screen.
        Firstfrm& splash = app.show<Firstfrm>();
        shoot(splash, "01_splash", false);
        for (int i = 0; i < 100 && !app.find<namesel>(); ++i)
            settle(50);

        // A student signs in.
        namesel* first = app.find<namesel>();
        if (!first) throw std::runtime_error("the splash did not hand over");
        namesel& names = *first;
        shoot(names, "02_namesel");
        if (!chooseName(names, QStringLiteral("佐藤")))
            throw std::runtime_error("no 佐藤 in the roster");
        shoot(names, "03_namesel_chosen");
        names.SignIn();
        settle();
        auto* menu = app.find<seisekitime1>();
        if (!menu) throw std::runtime_error("no level menu");
        shoot(*menu, "04_menu_rankings");
        menu->Option2[0]->setChecked(true);
        menu->Option2_Click(0);
        shoot(*menu, "05_menu_best_times");
        menu->Option1[2]->setChecked(true);
        menu->Option1_Click(2);
        shoot(*menu, "06_menu_today");
        menu->Option1[3]->setChecked(true);
        menu->Option1_Click(3);
        shoot(*menu, "07_menu_all_runs");
        menu->Option2[2]->setChecked(true);
        menu->Option2_Click(2);
        shoot(*menu, "08_menu_personal");
        menu->Command17_Click();
        shoot(*menu, "09_menu_graphs");
        menu->Command18_Click();

        // A run of level 3: a wrong answer with its hint, then ten right ones.
        menu->Command4_Click(3);
        settle();
        MainFrm* drill = app.find<MainFrm>();
        if (!drill) throw std::runtime_error("no drill");
        shoot(*drill, "10_drill");
        typeAnswer(*drill, false);
        expect(!drill->seitouLabel->isHidden() && !drill->Commandkakunin2->isHidden(),
               "a wrong answer shows no correct answer");
        shoot(*drill, "11_drill_wrong_answer");
        QTest::keyClicks(drill, QStringLiteral("++"));
        for (int i = 0; i < 10 && app.find<MainFrm>(); ++i)
            typeAnswer(*drill, true);
        settle(1500);
        FrmSyuuryou* end = app.find<FrmSyuuryou>();
        if (!end) throw std::runtime_error("no end screen");
        expect(end->Label18->text().startsWith(QStringLiteral("今の成績：")) &&
                   end->Label17->text().contains(QStringLiteral("佐藤")),
               "the end screen shows no time for the child");
        shoot(*end, "12_end_screen");
        end->Command4_Click();
        settle();

        // Back on the name screen, the teacher signs in.
        menu = app.find<seisekitime1>();
        if (!menu) throw std::runtime_error("no level menu after the run");
        menu->Command1_Click();
        settle();
        namesel* again = app.find<namesel>();
        if (!again || !chooseName(*again, QStringLiteral("山田先生")))
            throw std::runtime_error("no teacher in the roster");
        again->SignIn();
        settle();
        menu = app.find<seisekitime1>();
        menu->Command8_Click();
        QTest::keyClicks(menu->Text3, kDemoPassword);
        shoot(*menu, "13_menu_maintenance");
        menu->Command10_Click(1);
        settle();
        FrmTimeData* editor = app.find<FrmTimeData>();
        if (!editor) throw std::runtime_error("no criteria editor");
        shoot(*editor, "14_criteria_editor");
        editor->Command4_Click();
        settle();
        menu = app.find<seisekitime1>();
        menu->Command8_Click();
        QTest::keyClicks(menu->Text3, kDemoPassword);
        menu->Command10_Click(0);
        settle();
        FrmData* manager = app.find<FrmData>();
        if (!manager) throw std::runtime_error("no results manager");
        expect(manager->List1->ListCount() > 0, "the results manager lists no run");
        shoot(*manager, "15_results_manager");
        manager->List1->setListIndex(manager->List1->ListCount() - 1);
        manager->List1_DblClick();
        shoot(*manager, "16_results_manager_edit");
        manager->Command4_Click();
        settle();

        // The version window over the name screen.
        menu = app.find<seisekitime1>();
        menu->Command1_Click();
        settle();
        namesel* last = app.find<namesel>();
        frmver& version = app.load<frmver>();
        version.resize(last->width() * 4605 / 15360, last->height() * 4350 / 11520);
        app.activate(version);
        shoot(version, "17_version");
        BASEFRM& wait = app.show<BASEFRM>();
        shoot(wait, "18_wait");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "guide: the tour stopped: %s\n", e.what());
        return 1;
    }
    std::printf("guide: %d screenshots\n", g_shots);
    app.unloadAll();
    return 0;
}
