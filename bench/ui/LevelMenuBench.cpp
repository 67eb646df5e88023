// The level menu's activation refresh on the offscreen platform: the summary
// rebuilt from 20000 records, the figures of every column, the points
// ranking of 2000 students in five lists, and the repaints in between; the
// all-runs view of the same log; and the graphs of five levels printed to a
// PDF file.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include <QRadioButton>

#include "../BenchContext.h"
#include "app/App.h"
#include "context/Procedures.h"
#include "levelmenu/Graph.h"
#include "levelmenu/ui/seisekitime1.h"
#include "platform/ui/QtPrinter.h"
#include "platform/ui/QtServices.h"
#include "platform/ui/VbListBox.h"
#include "results/ResultRecord.h"
#include "startup/Calendar.h"
#include "startup/ProgramDefinition.h"

using namespace kestrel;

namespace {

constexpr int kStudents = 2000;
constexpr int kRecords = 20000;

struct Classroom {
    bench::QuietServices quiet;
    QtEventPump pump;
    Context ctx{quiet.with(pump), bench::localFiles(), bench::localMounts()};
    test::TempDir dir;

    Classroom() {
        ctx.folders.DataFolder = dir.path().string() + "/";
        ctx.folders.SharedFolder = dir.path().string() + "/";
        ctx.program.ProgramTitle = kProgramTitle;
        DefineLevelTable(ctx.program);
        for (int level = 1; level <= 5; ++level) {
            LevelCriteria& c = ctx.criteria[level];
            c.targetTime = 40 + 10 * level;
            c.minimumTime = 2 * c.targetTime;
            c.clearPoints = 100;
            c.clearCount = 5;
            c.pointMultiplier = 1.5f;
            c.overPracticeCount = "20";
            c.overPracticePoints = "0";
            c.passPeriodDays = "14";
            c.overPracticePeriodDays = "3";
        }
        std::mt19937 rng(11);
        bench::fillRoster(ctx.roster, kStudents, rng);
        ctx.state.CurrentStudentNumber = 123;
        ctx.state.CurrentStudentName = ctx.roster.StudentNames[123];
        ctx.state.CurrentGradeLabel = "小４";

        const double today = static_cast<double>(dayNumber(CivilDate{2025, 6, 10}));
        std::string bytes;
        for (int i = 0; i < kRecords; ++i) {
            ResultRecord rec;
            rec.date = today - static_cast<double>(rng() % 60);
            rec.timeOfDay = static_cast<double>(rng() % 86400) / 86400.0;
            rec.studentNumber = static_cast<int16_t>(1 + rng() % kStudents);
            rec.level = static_cast<int16_t>(1 + rng() % 5);
            rec.seconds = rng() % 50 == 0 ? 99999 : static_cast<int32_t>(20 + rng() % 300);
            const ResultBytes b = encodeResultRecord(rec);
            bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        std::ofstream(resultsLogPath(ctx.folders), std::ios::binary) << bytes;
    }
};

void BM_LevelMenuActivation(benchmark::State& state) {
    Classroom room;
    App app(room.ctx);
    seisekitime1& menu = app.show<seisekitime1>();
    QApplication::processEvents();
    for (auto _ : state) {
        menu.Form_Activate();
        // Let the refreshed screen paint, as it does once the refresh is over.
        QApplication::processEvents();
    }
    app.unloadAll();
    QApplication::processEvents();
}
BENCHMARK(BM_LevelMenuActivation)->Unit(benchmark::kMillisecond);
// Fixed counts for an instruction count under callgrind: the difference of
// the two runs is ten activations, the set-up cancelling out.
BENCHMARK(BM_LevelMenuActivation)->Name("BM_LevelMenuActivation/once")->Iterations(1);
BENCHMARK(BM_LevelMenuActivation)->Name("BM_LevelMenuActivation/11times")->Iterations(11);

// The same when the window of records is read whole, as after a correction
// or a delete, and as every activation did before the window was kept.
void BM_LevelMenuActivationWholeRead(benchmark::State& state) {
    Classroom room;
    App app(room.ctx);
    seisekitime1& menu = app.show<seisekitime1>();
    QApplication::processEvents();
    for (auto _ : state) {
        room.ctx.resultsWindow.forget();
        menu.Form_Activate();
        QApplication::processEvents();
    }
    app.unloadAll();
    QApplication::processEvents();
}
BENCHMARK(BM_LevelMenuActivationWholeRead)->Unit(benchmark::kMillisecond);

// The points ranking alone, as the list-kind option rebuilds it.
void BM_LevelMenuPointsRanking(benchmark::State& state) {
    Classroom room;
    App app(room.ctx);
    seisekitime1& menu = app.show<seisekitime1>();
    QApplication::processEvents();
    for (auto _ : state) {
        menu.Option1_Click(1);
        QApplication::processEvents();
    }
    app.unloadAll();
    QApplication::processEvents();
}
BENCHMARK(BM_LevelMenuPointsRanking)->Unit(benchmark::kMillisecond);

// Every run of the last 20000 records (ten years) listed in the five lists,
// as the list-kind option "オール表示" builds them, with the repaint after it.
void BM_LevelMenuAllRunsView(benchmark::State& state) {
    Classroom room;
    App app(room.ctx);
    seisekitime1& menu = app.show<seisekitime1>();
    menu.Option2[0]->setChecked(true);
    menu.Option2_Click(0);
    menu.Option1[3]->setChecked(true);
    room.ctx.state.AllPeriod = 5;
    QApplication::processEvents();
    size_t lines = 0;
    for (auto _ : state) {
        menu.Option1_Click(3);
        QApplication::processEvents();
        lines = 0;
        for (int level = 1; level <= 5; ++level)
            lines += static_cast<size_t>(menu.List5[static_cast<size_t>(level)]->count());
    }
    state.counters["lines"] = static_cast<double>(lines);
    app.unloadAll();
    QApplication::processEvents();
}
BENCHMARK(BM_LevelMenuAllRunsView)->Unit(benchmark::kMillisecond);

// The charts of five levels for one student, printed to a PDF file (two
// pages), as a teacher without a printer gets them.
void BM_GraphPrintFiveLevelsToPdf(benchmark::State& state) {
    Classroom room;
    BuildSummary(room.ctx);
    std::vector<RunEntry> log;
    {
        RunCollector collector;
        collector.begin();
        const std::string bytes = [&] {
            std::ifstream in(resultsLogPath(room.ctx.folders), std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }();
        collector.block(reinterpret_cast<const unsigned char*>(bytes.data()),
                        bytes.size() / kResultRecordSize);
        log = std::move(collector.runs);
    }
    const double today = static_cast<double>(dayNumber(CivilDate{2025, 6, 10}));
    const GraphSources sources{
        room.ctx.program, room.ctx.roster, *room.ctx.summary, "全学年", 123, 1, today};
    QtPrinter printer(room.dir / "documents", QtPrinter::Destination::PdfOnly);
    int n = 0;
    for (auto _ : state) {
        const std::vector<Drawing> pages =
            graphPages(sources, GraphOutput::Printer, "ＭＳ ゴシック", 123, {1, 2, 3, 4, 5}, log);
        const PrintResult r = printer.print({"bench", "graph" + std::to_string(n++)}, pages);
        if (r.outcome != PrintResult::Outcome::SavedAsPdf) state.SkipWithError(r.error.c_str());
    }
}
BENCHMARK(BM_GraphPrintFiveLevelsToPdf)->Unit(benchmark::kMillisecond);

// Opening the menu after a run: the screen built and then refreshed.
void BM_LevelMenuOpen(benchmark::State& state) {
    Classroom room;
    App app(room.ctx);
    for (auto _ : state) {
        app.show<seisekitime1>();
        QApplication::processEvents();
        state.PauseTiming();
        app.unloadAll();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LevelMenuOpen)->Unit(benchmark::kMillisecond);

} // namespace
