// The teacher's screens on the offscreen platform: the results manager
// opened on a log of 20000 records (roster, log and the list of 20000
// lines), and a keystroke in the criteria editor over 100000 records
// (histograms rebuilt and shown, the text box placed again).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "../BenchContext.h"
#include "app/App.h"
#include "platform/ui/QtServices.h"
#include "results/ResultRecord.h"
#include "teacher/ui/FrmData.h"
#include "teacher/ui/FrmTimeData.h"
#include "text/Cp932.h"

using namespace kestrel;

namespace {

struct School {
    bench::QuietServices quiet;
    QtEventPump pump;
    Context ctx{quiet.with(pump), bench::localFiles(), bench::localMounts()};
    test::TempDir dir;

    explicit School(int records) {
        ctx.folders.DataFolder = dir.path().string() + "/";
        ctx.folders.SharedFolder = dir.path().string() + "/";
        ctx.config.SchoolCode = "12345";
        ctx.config.SchoolName = "さくら台小学校";
        ctx.config.SchoolYearStartMonth = "4";
        std::mt19937 rng(5);
        std::string roster;
        for (int s = 1; s <= 400; ++s)
            roster += std::to_string(s) + "," + std::to_string(2014 + s % 6) + ",0,0,せいと" +
                      std::to_string(s) + ",0,,\r\n";
        writeCp932File(dir / "新名簿.txt", roster);
        writeCp932File(dir / kCriteriaFileName,
                       "目標Time,最低Time,ｸﾘｱﾎﾟｲﾝﾄ,ｸﾘｱ回数,ﾎﾟｲﾝﾄ倍率,禁回,禁点,判期間,禁期間,,,\r\n"
                       "60,120,300,10,1,30,0,7,1,,,\r\n90,180,300,10,1,30,0,7,1,,,\r\n"
                       "120,240,400,10,1.5,0,0,14,1,,,\r\n150,300,400,10,2,20,500,14,1,,,\r\n"
                       "200,400,500,10,2.5,0,0,30,1,,,\r\n");
        const std::string bytes = bench::classroomLog(records, 400, 300, rng, "12345", "54321");
        std::ofstream(resultsLogPath(ctx.folders), std::ios::binary) << bytes;
    }
};

void BM_ManagerListOf20000(benchmark::State& state) {
    School school(20000);
    App app(school.ctx);
    for (auto _ : state) {
        FrmData& m = app.show<FrmData>();
        QApplication::processEvents();
        if (m.listing().lines.size() != 20000) state.SkipWithError("lines");
        state.PauseTiming();
        app.unloadAll();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app.deleteUnloaded();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ManagerListOf20000)->Unit(benchmark::kMillisecond);

void BM_EditorKeystrokeOver100000(benchmark::State& state) {
    School school(100000);
    App app(school.ctx);
    FrmTimeData& editor = app.show<FrmTimeData>();
    QApplication::processEvents();
    int k = 0;
    for (auto _ : state) {
        // Down and up again: a new level's histograms each time.
        QKeyEvent press(QEvent::KeyPress, k++ % 2 ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(editor.Gridinputtext, &press);
        QApplication::processEvents();
    }
    app.unloadAll();
    QApplication::processEvents();
}
BENCHMARK(BM_EditorKeystrokeOver100000)->Unit(benchmark::kMillisecond);

} // namespace
