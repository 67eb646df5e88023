// The level menu's activation refresh on the offscreen platform: the summary
// rebuilt from 20000 records, the figures of every column, the points
// ranking of 2000 students in five lists, and the repaints in between.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

#include "../BenchContext.h"
#include "levelmenu/ui/seisekitime1.h"
#include "platform/ui/QtServices.h"
#include "results/ResultRecord.h"
#include "startup/Calendar.h"
#include "startup/ProgramDefinition.h"
#include "startup/ui/App.h"

using namespace kestrel;

namespace {

constexpr int kStudents = 2000;
constexpr int kRecords = 20000;

struct Classroom {
    bench::QuietServices quiet;
    QtEventPump pump;
    Context ctx{quiet.with(pump)};
    std::filesystem::path dir;

    Classroom() {
        char name[] = "/tmp/kestrel-menu-bench-XXXXXX";
        dir = ::mkdtemp(name);
        ctx.folders.DataFolder = dir.string() + "/";
        ctx.folders.SharedFolder = dir.string() + "/";
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
    ~Classroom() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
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
