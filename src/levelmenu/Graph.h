#pragma once
// The graphs of one student's runs, a chart per level: each run of the last
// ten years as a point (time upwards faster, runs along in the order they
// were made), the record runs in red and joined by a line, and beside the
// chart a box of figures against the whole school. Three charts make a
// screen or a printed page. Everything is worked out here; the screen and
// the printer only draw the pages.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "platform/Drawing.h"
#include "platform/Printer.h"
#include "results/ResultsSummary.h"
#include "roster/Roster.h"
#include "startup/ProgramDefinition.h"

namespace kestrel {

enum class GraphOutput { Screen, Printer };

inline constexpr int32_t kChartedBelow = 1800; // slower runs are off the time scale
inline constexpr int kGraphPeriodDays = 3650;
inline constexpr size_t kMaxRecordRuns = 10000;
inline constexpr uint32_t kRecordColour = 0x0000FF; // red
inline constexpr uint32_t kRunColour = 0xFF0000;    // blue

// One plotted run of the subject. x is in units of f (half the output's
// width), a in units of C (a third of its height) below the chart's top.
struct ChartPoint {
    double x = 0;
    double a = 0;
    int32_t seconds = 0;
    double date = 0;
    bool record = false;   // faster than every run before it
    bool offScale = false; // 1800 seconds or more: drawn just above the time axis
};

struct ChartData {
    // The subject's runs under 1800 seconds.
    int n = 0;
    int64_t sum = 0;
    int32_t largest = 0;
    int32_t timeScale = 10; // T: seconds at the top of the time axis
    // Every student's runs of the level: those under 1800 seconds, and the fastest.
    int64_t allSum = 0;
    int64_t allCount = 0;
    int32_t allBest = kNoTime;
    std::vector<ChartPoint> points; // in file order
    std::vector<size_t> records;    // indexes of the record runs in `points`
    bool hasLastDate = false;
    double lastDate = 0; // of the last record of the log within the period
};

// T: the subject's largest run rounded up to the next ten seconds (a whole
// ten goes one ten up), at most 1000; 10 without runs.
int32_t timeScale(int runs, int32_t largest);

// The chart of `level` for student `subject` from the records of the log
// in file order, over the ten years up to `today`. The subject's runs are
// plotted only when the subject is in the lists' grade group.
ChartData chartData(const std::vector<RunEntry>& log, int level, int subject, bool subjectShown,
                    double today);

// The labels of the record runs: the first, with more than five record runs
// every third up to the one before the last but one, and the last. Dates are
// "yyyy/mm/dd", or "mm/dd" when the year is that of the record run before.
struct RecordLabel {
    enum class Place { First, Every3rd, Last };
    Place place = Place::First;
    size_t record = 0; // 0-based among the record runs
    std::string seconds;
    std::string date;
};
std::vector<RecordLabel> recordLabels(const ChartData& data);

// A number written with the pattern "#######": rounded to a whole number,
// without leading zeros; a text that is not a number stays as it is.
std::string hashPattern(std::string_view text);
std::string hashPattern(double value);

// One line of the statistics box; `advance` in line spacings before it.
struct StatisticsLine {
    std::string text;
    double advance = 1;
};
// The statistics box: the subject's count, time rank, best and average
// times against the school's, then the points rank, points and the
// school's average of the listed students with points. The rank lines are
// the subject's lines of the best-time and points rankings (empty when not
// listed); `pointsLines` every line of that points ranking.
std::vector<StatisticsLine> statisticsLines(const ChartData& data, std::string_view timeRankLine,
                                            std::string_view pointsRankLine,
                                            const std::vector<std::string>& pointsLines);

// What the graphs are drawn from besides the log.
struct GraphSources {
    const ProgramDefinition& program;
    const RosterTables& roster;
    const ResultsSummary& summary;
    std::string gradeGroup; // of the lists
    int signedInStudent = 0;
    int16_t rankingKind = 1; // the points rank: 1 so far, 2 today
    double today = 0;        // day number
};

// The pages of one subject's charts for the levels in `levels` (1-based, in
// list order; a level past LevelCount ends them): three charts a page, at
// 0.05, 0.35 and 0.65 of the height. On the screen only the last page shows.
std::vector<Drawing> graphPages(const GraphSources& sources, GraphOutput output,
                                const std::string& fontFamily, int subject,
                                const std::vector<int>& levels, const std::vector<RunEntry>& log);

// The print job of the graphs, named after the program; without a printer
// the PDF file is named after the moment ("成績グラフ_20250610_101500").
PrintRequest graphPrintRequest(const ProgramDefinition& program, const LocalTime& now);
// What the teacher is told after printing: where the PDF file went when
// there was no printer, or what failed; nothing once it is printed.
std::optional<std::string> printOutcomeMessage(const PrintResult& result);

// Reads every record of a scan, in file order.
class RunCollector : public LogReader {
public:
    void begin() override { runs.clear(); }
    void block(const unsigned char* bytes, size_t count) override;
    std::vector<RunEntry> runs;
};

} // namespace kestrel
