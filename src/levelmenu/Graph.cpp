#include "levelmenu/Graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "levelmenu/Ranking.h"
#include "levelmenu/ResultsViews.h"
#include "roster/Grades.h"
#include "text/Characters.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr double kBasePoints = 6;
// The axis and record labels on the screen: 11 pixels on a 1366 × 768
// screen, the smallest text a child is given to read.
constexpr double kScreenLabelPoints = 8.5;
// Where a run off the time scale is drawn: between the heading's lower
// line (0.09) and the top of the time axis (0.1), inside its own chart.
constexpr double kOffScaleA = 0.095;

// Output units as fractions of the width (x in units of f) and height.
double X(double inF) {
    return inF * 0.5;
}
double Y(double top, double inC) {
    return top + inC / 3.0;
}

std::string blanksRight(std::string_view text, size_t width) {
    return rightChars(std::string(width, ' ') + std::string(text), width);
}

// R5: "#######", blanks in front, the last five characters.
std::string r5(double value) {
    return blanksRight(hashPattern(value), 5);
}
std::string r5(std::string_view text) {
    return blanksRight(hashPattern(text), 5);
}

// Whether the whole text (blanks around it aside) is a decimal number.
bool isNumber(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    if (b < e && (text[b] == '+' || text[b] == '-')) ++b;
    bool digits = false, point = false;
    for (size_t i = b; i < e; ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            digits = true;
        else if (text[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    return digits;
}

const RankingLine* lineOf(const std::vector<RankingLine>& lines, int student) {
    for (const RankingLine& l : lines)
        if (l.student == student) return &l;
    return nullptr;
}

struct ChartStyle {
    double titlePoints; // level title
    double labelPoints; // axis and record labels
    double pen;         // the runs' dots
    double spacing;     // of the statistics box, in C
};

ChartStyle styleOf(GraphOutput output) {
    if (output == GraphOutput::Printer) return {3 * kBasePoints, kBasePoints, 30, 0.06};
    return {2 * kBasePoints, kScreenLabelPoints, 5, 0.08};
}

void drawChart(Drawing& d, double top, const ChartStyle& style, const std::string& subjectName,
               const std::string& title, const ChartData& data,
               const std::vector<StatisticsLine>& statistics) {
    const double N = top;
    if (N < 0.08) d.text(X(0.01), 0.02 / 3.0, 3 * kBasePoints, subjectName);
    d.line(0, N, 1, N, 2);
    d.line(0, Y(N, 0.09), 1, Y(N, 0.09), 2);
    d.text(X(0.7), Y(N, 0.01), style.titlePoints, title);

    d.line(X(0.2), Y(N, 0.8), X(0.9), Y(N, 0.8), 2);
    d.line(X(0.2), Y(N, 0.8), X(0.2), Y(N, 0.1), 2);
    for (const ChartPoint& p : data.points)
        d.dot(X(p.x), Y(N, p.a), style.pen, p.record ? kRecordColour : kRunColour);

    double y = Y(N, 0.05);
    for (const StatisticsLine& line : statistics) {
        y += line.advance * style.spacing / 3.0;
        d.text(X(1.05), y, 1.5 * kBasePoints, line.text);
    }

    if (data.records.empty()) return;
    if (data.hasLastDate)
        d.text(X(data.points.back().x - 0.025), Y(N, 0.815), style.labelPoints,
               fullDate(data.lastDate));
    for (size_t i = 1; i < data.records.size(); ++i) {
        const ChartPoint& from = data.points[data.records[i - 1]];
        const ChartPoint& to = data.points[data.records[i]];
        d.line(X(from.x), Y(N, from.a), X(to.x), Y(N, to.a), 3);
    }
    d.text(X(0.12), Y(N, 0.79), style.labelPoints, "0秒");
    d.text(X(0.12), Y(N, 0.1), style.labelPoints, std::to_string(data.timeScale) + "秒");
    for (const RecordLabel& label : recordLabels(data)) {
        const ChartPoint& p = data.points[data.records[label.record]];
        switch (label.place) {
        case RecordLabel::Place::First:
            d.text(X(0.12), Y(N, p.a - 0.01), style.labelPoints, label.seconds);
            d.text(X(p.x - 0.025), Y(N, 0.815), style.labelPoints, label.date);
            break;
        case RecordLabel::Place::Every3rd:
            d.text(X(p.x - 0.025), Y(N, p.a + 0.01), style.labelPoints, label.seconds);
            d.text(X(p.x - 0.025), Y(N, p.a + 0.03), style.labelPoints, label.date);
            break;
        case RecordLabel::Place::Last:
            d.text(X(p.x - 0.025), Y(N, p.a + 0.04), style.labelPoints, label.seconds);
            d.text(X(p.x - 0.025), Y(N, p.a + 0.07), style.labelPoints, label.date);
            break;
        }
    }
}

} // namespace

int32_t timeScale(int runs, int32_t largest) {
    if (runs <= 0) return 10;
    return std::min<int32_t>(1000, 10 * (largest / 10 + 1));
}

ChartData chartData(const std::vector<RunEntry>& log, int level, int subject, bool subjectShown,
                    double today) {
    ChartData d;
    for (const RunEntry& r : log) {
        if (r.level != level || r.studentNumber != subject || r.seconds >= kChartedBelow) continue;
        if (!inPeriod(r.date, today, kGraphPeriodDays)) continue;
        ++d.n;
        d.sum += r.seconds;
        d.largest = std::max(d.largest, r.seconds);
    }
    d.timeScale = timeScale(d.n, d.largest);

    int k = 0;
    double lastRecordA = 0;
    for (const RunEntry& r : log) {
        if (!inPeriod(r.date, today, kGraphPeriodDays)) continue;
        d.hasLastDate = true;
        d.lastDate = r.date;
        if (r.level != level) continue;
        const bool charted = r.seconds < kChartedBelow;
        if (charted) {
            d.allSum += r.seconds;
            ++d.allCount;
        }
        d.allBest = std::min(d.allBest, r.seconds);
        if (r.studentNumber != subject || !subjectShown) continue;

        // A run off the scale keeps the place of the run before it.
        if (charted) ++k;
        ChartPoint p;
        p.x = 0.2 + (d.n > 0 ? 0.7 * k / d.n : 0.0);
        p.a = 0.8 - 0.7 * r.seconds / d.timeScale;
        p.seconds = r.seconds;
        p.date = r.date;
        if (!charted) {
            p.offScale = true;
            p.a = std::max(p.a, kOffScaleA);
        } else if ((d.records.empty() || p.a > lastRecordA) && d.records.size() < kMaxRecordRuns) {
            p.record = true;
            lastRecordA = p.a;
            d.records.push_back(d.points.size());
        }
        d.points.push_back(p);
    }
    return d;
}

std::vector<RecordLabel> recordLabels(const ChartData& data) {
    std::vector<RecordLabel> labels;
    const size_t count = data.records.size();
    if (count == 0) return labels;
    auto dateOf = [&](size_t j) { return fullDate(data.points[data.records[j]].date); };
    auto label = [&](RecordLabel::Place place, size_t j) {
        RecordLabel l;
        l.place = place;
        l.record = j;
        l.seconds = std::to_string(data.points[data.records[j]].seconds) + "秒";
        l.date = dateOf(j);
        if (place != RecordLabel::Place::First && j > 0 &&
            firstCharacters(l.date, 5) == firstCharacters(dateOf(j - 1), 5))
            l.date = rightChars(l.date, 5);
        labels.push_back(std::move(l));
    };
    label(RecordLabel::Place::First, 0);
    // The 3rd, 6th, ... record run (1-based) up to the one before the last but one.
    if (count > 5)
        for (size_t nth = 3; nth + 2 <= count; nth += 3)
            label(RecordLabel::Place::Every3rd, nth - 1);
    label(RecordLabel::Place::Last, count - 1);
    return labels;
}

std::string hashPattern(double value) {
    if (!std::isfinite(value)) return "";
    return std::to_string(std::llround(value));
}

std::string hashPattern(std::string_view text) {
    if (!isNumber(text)) return std::string(text);
    return hashPattern(leadingNumber(text));
}

std::vector<StatisticsLine> statisticsLines(const ChartData& data, std::string_view timeRankLine,
                                            std::string_view pointsRankLine,
                                            const std::vector<std::string>& pointsLines) {
    std::vector<StatisticsLine> lines;
    lines.push_back({"回数　　　　　　　" + blanksRight(std::to_string(data.n), 3) + "回"});
    lines.push_back({"タイム  　　 　    本人 / 塾全体"});
    lines.push_back({"　　順位　　　　" + r5(firstCharacters(timeRankLine, 3)) + "位"});
    const std::string best = data.records.empty()
                                 ? std::string()
                                 : std::to_string(data.points[data.records.back()].seconds) + "秒";
    lines.push_back({"　　最高　　　　" + blanksRight(best, 6) + " /" +
                     r5(static_cast<double>(data.allBest)) + "秒"});
    if (data.n != 0) {
        const int64_t mine = data.sum / data.n;
        const double all = data.allCount > 0 ? static_cast<double>(data.allSum) /
                                                   static_cast<double>(data.allCount)
                                             : 0.0;
        lines.push_back(
            {"　　平均　　　　" + r5(static_cast<double>(mine)) + "秒" + " /" + r5(all) + "秒"});
    }
    lines.push_back({"ポイント  　　　"});
    lines.push_back({"　　順位　　　　" + r5(firstCharacters(pointsRankLine, 3)) + "位"});
    lines.push_back({"　　獲得ポイント" + r5(leadingNumber(rightChars(pointsRankLine, 5))) + "点"});
    double sum = 0;
    int withPoints = 0;
    for (const std::string& line : pointsLines) {
        const double p = leadingNumber(rightChars(line, 5));
        if (p > 0) {
            sum += p;
            ++withPoints;
        }
    }
    if (withPoints > 0)
        lines.push_back({"　　　　　　　　　　　　/" + r5(sum / withPoints) + "点"});
    lines.push_back({"　　　　　　　　　　　　 (塾平均)", 0.5});
    return lines;
}

std::vector<Drawing> graphPages(const GraphSources& src, GraphOutput output,
                                const std::string& fontFamily, int subject,
                                const std::vector<int>& levels, const std::vector<RunEntry>& log) {
    std::vector<Drawing> pages;
    const ChartStyle style = styleOf(output);
    const bool known = subject >= 0 && subject <= kMaxStudent;
    const auto S = static_cast<size_t>(known ? subject : 0);
    const std::string name = known ? trimSpaces(src.roster.StudentNames[S]) : std::string();
    const int grade = GradeNumber(src.roster.SchoolYear, known ? src.roster.BirthYears[S] : 0);
    const bool shown = InGradeGroup(grade, src.gradeGroup);
    const RankingBasis pointsBasis =
        src.rankingKind == 2 ? RankingBasis::PointsToday : RankingBasis::PointsAll;

    double p = -0.25;
    for (const int level : levels) {
        if (level < 1 || level > src.program.LevelCount || level > kMaxLevel) break;
        p += 0.3;
        if (pages.empty() || p > 0.9) {
            if (p > 0.9) p = 0.05;
            pages.push_back(Drawing{fontFamily, {}});
        }
        const std::vector<RankingLine> times =
            buildRanking(src.roster, src.summary, level, RankingBasis::BestTime, src.gradeGroup,
                         src.signedInStudent);
        const std::vector<RankingLine> points = buildRanking(
            src.roster, src.summary, level, pointsBasis, src.gradeGroup, src.signedInStudent);
        const RankingLine* ownTime = lineOf(times, subject);
        const RankingLine* ownPoints = lineOf(points, subject);
        std::vector<std::string> pointTexts;
        pointTexts.reserve(points.size());
        for (const RankingLine& l : points)
            pointTexts.push_back(l.text);

        std::string pointsLine = ownPoints ? ownPoints->text : std::string();
        // Left out of today's ranking for want of points today, the subject
        // still has the points so far that a line of it would end with.
        if (!ownPoints && shown && known)
            pointsLine =
                "   " +
                rightChars("    " +
                               std::to_string(src.summary.pointsAll[static_cast<size_t>(level)][S]),
                           5);

        const ChartData data = chartData(log, level, subject, shown, src.today);
        const std::vector<StatisticsLine> statistics =
            statisticsLines(data, ownTime ? ownTime->text : std::string(), pointsLine, pointTexts);
        const std::string title =
            src.program.ProgramTitle + " " + src.program.LevelNames[static_cast<size_t>(level)];
        drawChart(pages.back(), p, style, name, title, data, statistics);
    }
    return pages;
}

PrintRequest graphPrintRequest(const ProgramDefinition& program, const LocalTime& now) {
    const auto s = static_cast<int>(now.secondsOfDay);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", now.date.year, now.date.month,
                  now.date.day, s / 3600 % 24, s / 60 % 60, s % 60);
    return {program.ProgramTitle + " グラフ", std::string("成績グラフ_") + stamp};
}

std::optional<std::string> printOutcomeMessage(const PrintResult& result) {
    return printOutcomeText(result, "グラフ");
}

void RunCollector::block(const unsigned char* bytes, size_t count) {
    runs.reserve(runs.size() + count);
    for (size_t k = 0; k < count; ++k) {
        const ResultRecord r = decodeResultRecord(&bytes[k * kResultRecordSize]);
        runs.push_back({r.date, r.timeOfDay, r.studentNumber, r.level, r.seconds});
    }
}

} // namespace kestrel
