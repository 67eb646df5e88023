#include "teacher/ClassSummary.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "results/ResultsRules.h"
#include "roster/Grades.h"
#include "text/Characters.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

const char* const kLineEnd = "\r\n";
const char* const kClearedMark = "○";

// The printable part of an A4 landscape page, in millimetres, as the
// printers' own margins leave it (about 10 mm each side).
constexpr double kPageWidth = 277;
constexpr double kPageHeight = 190;
constexpr double kTitlePoints = 14;
constexpr double kTextPoints = 8;
constexpr double kSmallPoints = 7;
constexpr double kRowHeight = 5.6;
constexpr double kTableTop = 22;
constexpr double kHeadHeight = 6;
constexpr double kFooterHeight = 7;
constexpr double kNumberWidth = 12;
constexpr double kNameWidth = 42;
constexpr double kGradeWidth = 12;
constexpr double kCellPadding = 1.2;
constexpr double kPen = 3;     // printer dots: a thin rule
constexpr double kBoldPen = 6; // around each level's columns
// The five columns of a level, as parts of its width.
constexpr double kLevelColumns[] = {0.17, 0.21, 0.21, 0.24, 0.17};

std::string fieldNumber(int64_t n) {
    return std::to_string(n);
}

std::string bestText(int32_t seconds) {
    return seconds >= kNoTime ? std::string() : std::to_string(seconds);
}

// Width of a text in the fixed-pitch Gothic: half an em for a half-width
// character (ASCII, half-width katakana), an em for any other.
double textWidth(std::string_view text, double points) {
    const double em = points * 25.4 / 72;
    double width = 0;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        bool half = c < 0x80;
        if (n == 3 && i + 2 < text.size()) {
            const unsigned cp = ((c & 0x0Fu) << 12) |
                                ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                                (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            half = cp >= 0xFF61 && cp <= 0xFF9F;
        }
        width += half ? em / 2 : em;
        i += n;
    }
    return width;
}

// The longest beginning of `text` that fits `width`.
std::string fitted(const std::string& text, double points, double width) {
    std::string out = text;
    while (!out.empty() && textWidth(out, points) > width)
        out = firstCharacters(out, characterCount(out) - 1);
    return out;
}

struct Column {
    double left = 0, width = 0;
    bool right = false; // numbers stand at the right
};

class PageMaker {
public:
    PageMaker(const ClassSummary& s, const SummaryHeading& h, const std::string& font)
        : m_s(s), m_h(h), m_font(font) {
        double x = 0;
        m_columns.push_back({x, kNumberWidth, true});
        x += kNumberWidth;
        m_columns.push_back({x, kNameWidth, false});
        x += kNameWidth;
        m_columns.push_back({x, kGradeWidth, false});
        x += kGradeWidth;
        m_levelLeft = x;
        m_levelWidth = s.levelCount > 0 ? (kPageWidth - x) / s.levelCount : 0;
        for (int level = 0; level < s.levelCount; ++level)
            for (double part : kLevelColumns) {
                const double w = part * m_levelWidth;
                m_columns.push_back({x, w, true});
                x += w;
            }
    }

    // How many rows a page holds under its headings.
    static int rowsPerPage() {
        return static_cast<int>((kPageHeight - kTableTop - 2 * kHeadHeight - kFooterHeight) /
                                kRowHeight);
    }

    Drawing page(const std::string& group, const std::vector<const SummaryRow*>& rows, int part,
                 int parts) {
        Drawing d{m_font, {}};
        m_d = &d;
        const std::string heading =
            m_h.title + "　まとめ　" + group +
            (parts > 1 ? "（" + std::to_string(part) + "/" + std::to_string(parts) + "）" : "");
        text(0, 2, kTitlePoints, heading);
        const std::string right = m_h.school + "　" + m_h.period + "　" + m_h.made;
        text(kPageWidth - textWidth(right, kSmallPoints + 1), 4, kSmallPoints + 1, right);
        text(0, 12.5, kSmallPoints,
             "回数：6000秒未満の回数　ベスト：いちばん速いタイム（秒）　点：ポイントの合計　"
             "最近○日：合格を決める期間のポイント　合格：○が合格");

        double y = kTableTop;
        // Two heading rows: the level names over their five columns, then the columns.
        const char* const fixed[] = {"番号", "名前", "学年"};
        for (int c = 0; c < 3; ++c)
            cell(c, y, 2 * kHeadHeight, fixed[c], false, true);
        for (int level = 0; level < m_s.levelCount; ++level) {
            const double x = m_levelLeft + level * m_levelWidth;
            const std::string name = fitted(m_s.levelNames[static_cast<size_t>(level)], kTextPoints,
                                            m_levelWidth - 2 * kCellPadding);
            text(x + (m_levelWidth - textWidth(name, kTextPoints)) / 2, y + 1.3, kTextPoints, name);
            const std::string pass =
                "最近" + std::to_string(m_s.passDays[static_cast<size_t>(level)]) + "日";
            const std::string heads[] = {"回数", "ベスト", "点", pass, "合格"};
            for (int k = 0; k < 5; ++k)
                cell(3 + level * 5 + k, y + kHeadHeight, kHeadHeight, heads[k], false, true);
        }
        rule(0, y, kPageWidth, y, kBoldPen);
        rule(m_levelLeft, y + kHeadHeight, kPageWidth, y + kHeadHeight, kPen);
        y += 2 * kHeadHeight;
        rule(0, y, kPageWidth, y, kBoldPen);

        for (const SummaryRow* row : rows) {
            cell(0, y, kRowHeight, std::to_string(row->number));
            cell(1, y, kRowHeight, fitted(row->name, kTextPoints, kNameWidth - 2 * kCellPadding));
            cell(2, y, kRowHeight, row->gradeLabel);
            for (int level = 0; level < m_s.levelCount; ++level) {
                const LevelFigures& f = row->levels[static_cast<size_t>(level)];
                const int c = 3 + level * 5;
                cell(c, y, kRowHeight, f.runs ? fieldNumber(f.runs) : "");
                cell(c + 1, y, kRowHeight, bestText(f.bestTime));
                cell(c + 2, y, kRowHeight, f.points ? fieldNumber(f.points) : "");
                cell(c + 3, y, kRowHeight, f.passPoints ? fieldNumber(f.passPoints) : "");
                cell(c + 4, y, kRowHeight, f.cleared ? kClearedMark : "", true);
            }
            y += kRowHeight;
            rule(0, y, kPageWidth, y, kPen);
        }
        rule(0, y, kPageWidth, y, kBoldPen);
        // Upright rules: thin between columns, bold around each level.
        const double top = kTableTop;
        for (size_t c = 0; c < m_columns.size(); ++c) {
            const bool levelEdge = c >= 3 && (c - 3) % 5 == 0;
            const double from = c >= 3 && !levelEdge ? top + kHeadHeight : top;
            rule(m_columns[c].left, from, m_columns[c].left, y, levelEdge ? kBoldPen : kPen);
        }
        rule(kPageWidth, top, kPageWidth, y, kBoldPen);

        const std::string footer = std::to_string(m_pageNumber) + " / " + m_pagesText;
        text((kPageWidth - textWidth(footer, kSmallPoints)) / 2, kPageHeight - 5, kSmallPoints,
             footer);
        m_d = nullptr;
        return d;
    }

    void setPages(int number, int count) {
        m_pageNumber = number;
        m_pagesText = std::to_string(count);
    }

private:
    void text(double xMm, double yMm, double points, const std::string& t) {
        if (!t.empty()) m_d->text(xMm / kPageWidth, yMm / kPageHeight, points, t);
    }
    void rule(double x1, double y1, double x2, double y2, double pen) {
        m_d->line(x1 / kPageWidth, y1 / kPageHeight, x2 / kPageWidth, y2 / kPageHeight, pen);
    }
    // A text in column `c` of a row `height` high at `top`: numbers at the
    // right, names at the left, headings and marks in the middle.
    void cell(size_t c, double top, double height, const std::string& t, bool centred = false,
              bool heading = false) {
        const Column& col = m_columns[c];
        const double points = heading ? kSmallPoints : kTextPoints;
        const double w = textWidth(t, points);
        double x = col.left + kCellPadding;
        if (centred || heading)
            x = col.left + (col.width - w) / 2;
        else if (col.right)
            x = col.left + col.width - kCellPadding - w;
        const double textHeight = points * 25.4 / 72 * 1.15;
        text(x, top + (height - textHeight) / 2, points, t);
    }

    const ClassSummary& m_s;
    const SummaryHeading& m_h;
    std::string m_font;
    std::vector<Column> m_columns;
    double m_levelLeft = 0, m_levelWidth = 0;
    Drawing* m_d = nullptr;
    int m_pageNumber = 1;
    std::string m_pagesText = "1";
};

// The heading of a grade's pages: its label, else its short tag.
std::string groupName(const SummaryRow& row) {
    return !row.gradeLabel.empty() ? row.gradeLabel : GradeTag(row.gradeNumber);
}

} // namespace

ClassSummary classSummary(const std::vector<RosterFileEntry>& entries,
                          const ResultsSummary& summary, const CriteriaTable& criteria,
                          const ProgramDefinition& program, int schoolYear, bool listStatus2) {
    ClassSummary out;
    out.levelCount = std::clamp<int>(program.LevelCount, 0, kMaxLevel);
    for (int level = 1; level <= out.levelCount; ++level) {
        out.levelNames.push_back(program.LevelNames[static_cast<size_t>(level)]);
        out.passDays.push_back(
            static_cast<int>(std::lround(leadingNumber(criteria[level].passPeriodDays))));
    }
    for (const RosterFileEntry& e : entries) {
        const bool listed = e.status == 0 || (e.status == 2 && listStatus2);
        const int n = e.entry.number;
        if (!listed || n < 1 || n > kMaxStudent) continue;
        const std::string name = trimSpaces(e.entry.name);
        if (isTeacherName(name)) continue;
        SummaryRow row;
        row.number = n;
        row.name = name;
        row.gradeNumber = GradeNumber(schoolYear, e.entry.birthYear);
        row.gradeLabel = GradeLabel(row.gradeNumber);
        const auto S = static_cast<size_t>(n);
        for (int level = 1; level <= out.levelCount; ++level) {
            const auto L = static_cast<size_t>(level);
            LevelFigures f;
            f.runs = summary.countAll[L][S];
            f.bestTime = summary.bestTime[L][S];
            f.points = summary.pointsAll[L][S];
            f.passPoints = summary.pointsPass[L][S];
            f.cleared = LevelCleared(summary, criteria, level, n);
            row.levels.push_back(f);
        }
        out.rows.push_back(std::move(row));
    }
    std::stable_sort(
        out.rows.begin(), out.rows.end(),
        [](const SummaryRow& a, const SummaryRow& b) { return a.gradeNumber < b.gradeNumber; });
    return out;
}

LogStatus buildClassSummary(const LogAccess& log, const std::vector<RosterFileEntry>& entries,
                            const CriteriaTable& criteria, const ProgramDefinition& program,
                            const SharedConfig& config, int schoolYear,
                            const ClassSummaryOptions& options, ClassSummary& out) {
    auto summary = std::make_unique<ResultsSummary>();
    RunEntries runs;
    SummaryScope scope;
    scope.read.lastRecords = kWholeLog;
    scope.read.missingIsEmpty = true;
    scope.read.createMissing = false;
    scope.datedAfterOnly = options.periodDays > 0;
    scope.after = options.today - options.periodDays;
    const LogStatus status = BuildSummary(*summary, runs, criteria, log, scope);
    if (!status.ok()) return status;
    out = classSummary(entries, *summary, criteria, program, schoolYear,
                       leadingNumber(config.ListStatus2Entries) == 1);
    return status;
}

std::string classSummaryCsv(const ClassSummary& s, CsvEncoding encoding) {
    std::string text = "番号,名前,学年";
    for (int level = 0; level < s.levelCount; ++level) {
        const std::string name = s.levelNames[static_cast<size_t>(level)];
        const std::string pass = std::to_string(s.passDays[static_cast<size_t>(level)]);
        for (const std::string& column :
             {std::string("回数"), std::string("ベスト(秒)"), std::string("ポイント"),
              "最近" + pass + "日ポイント", std::string("合格")})
            text += "," + csvField(name + " " + column);
    }
    text += kLineEnd;
    for (const SummaryRow& row : s.rows) {
        text +=
            std::to_string(row.number) + "," + csvField(row.name) + "," + csvField(row.gradeLabel);
        for (const LevelFigures& f : row.levels) {
            text += "," + fieldNumber(f.runs) + "," + bestText(f.bestTime) + "," +
                    fieldNumber(f.points) + "," + fieldNumber(f.passPoints) + "," +
                    (f.cleared ? kClearedMark : "");
        }
        text += kLineEnd;
    }
    return csvFileBytes(text, encoding);
}

std::vector<Drawing> classSummaryPages(const ClassSummary& s, const SummaryHeading& heading,
                                       const std::string& font) {
    // The rows of each grade, in the order of the rows.
    std::vector<std::pair<std::string, std::vector<const SummaryRow*>>> groups;
    for (const SummaryRow& row : s.rows) {
        const std::string name = groupName(row);
        if (groups.empty() || groups.back().first != name) groups.push_back({name, {}});
        groups.back().second.push_back(&row);
    }
    const auto perPage = static_cast<size_t>(PageMaker::rowsPerPage());
    struct Planned {
        size_t group, from, count;
        int part, parts;
    };
    std::vector<Planned> plan;
    for (size_t g = 0; g < groups.size(); ++g) {
        const size_t n = groups[g].second.size();
        const int parts = static_cast<int>((n + perPage - 1) / perPage);
        for (int p = 0; p < parts; ++p) {
            const size_t from = static_cast<size_t>(p) * perPage;
            plan.push_back({g, from, std::min(perPage, n - from), p + 1, parts});
        }
    }
    PageMaker maker(s, heading, font);
    std::vector<Drawing> pages;
    if (plan.empty()) {
        maker.setPages(1, 1);
        pages.push_back(maker.page("", {}, 1, 1));
        return pages;
    }
    for (size_t i = 0; i < plan.size(); ++i) {
        const Planned& p = plan[i];
        const auto& rows = groups[p.group].second;
        const std::vector<const SummaryRow*> part(rows.begin() + static_cast<long>(p.from),
                                                  rows.begin() +
                                                      static_cast<long>(p.from + p.count));
        maker.setPages(static_cast<int>(i + 1), static_cast<int>(plan.size()));
        pages.push_back(maker.page(groups[p.group].first, part, p.part, p.parts));
    }
    return pages;
}

} // namespace kestrel
