#include "school/LevelMenuView.h"

#include <algorithm>

#include "text/Characters.h"
#include "text/SortedLines.h"

namespace kestrel {
namespace {

constexpr const char* kOwnLineMark = "●";

int levelCountOf(const School& school) {
    return std::clamp<int>(school.program.LevelCount, 0, kMaxLevel);
}

} // namespace

MenuHeader menuHeader(const School& school, SharedState& state, const LocalTime& now) {
    MenuHeader h;
    h.title = school.program.ProgramTitle;
    h.smallTitle = characterCount(h.title) > static_cast<size_t>(kTitleLengthForSmallFont);
    h.student = studentHeaderText(state.CurrentGradeLabel, state.CurrentStudentName);
    h.school = schoolHeaderText(school.config.SchoolName, state.CurrentStudentNumber);
    h.minutes = minutesSinceSignInText(minutesSinceSignIn(state, now));
    state.TodayRunCount =
        static_cast<int16_t>(todayRunCount(*school.summary, state.CurrentStudentNumber));
    h.todayTotal = todayTotalText(state.TodayRunCount);
    return h;
}

std::vector<LevelColumnTexts> levelColumns(const School& school, int student) {
    std::vector<LevelColumnTexts> columns;
    const ResultsSummary& summary = *school.summary;
    for (int i = 1; i <= levelCountOf(school); ++i) {
        const LevelCriteria& c = school.criteria[i];
        columns.push_back({std::to_string(i), school.program.LevelNames[static_cast<size_t>(i)],
                           startButtonCaption(i), targetLine(c),
                           passPeriodFigures(c, summary, i, student),
                           todayFigures(summary, i, student), allTimeFigures(summary, i, student)});
    }
    return columns;
}

LevelAvailability refreshAvailability(const School& school, SharedState& state) {
    LevelAvailability a = levelAvailability(school.program, school.criteria, *school.summary,
                                            state.CurrentStudentNumber);
    state.GoalLevelCleared = a.goalLevelCleared;
    return a;
}

ColumnList rankingList(const School& school, int level, RankingBasis basis,
                       const std::string& gradeGroup, int student) {
    std::vector<RankingLine> ranking =
        buildRanking(school.roster, *school.summary, level, basis, gradeGroup, student);
    // Each rank's students as the list orders them; the ranks are in order already.
    sortTiesAsListed(ranking);
    ColumnList list;
    list.lines.reserve(ranking.size());
    for (RankingLine& line : ranking) {
        if (line.student == student && list.own < 0) list.own = static_cast<int>(list.lines.size());
        list.lines.push_back(std::move(line.text));
    }
    return list;
}

ColumnList viewList(std::vector<std::string> lines) {
    SortedLines sorted(true);
    sorted.assign(std::move(lines));
    ColumnList list;
    list.lines = sorted.lines();
    const auto own = std::find_if(list.lines.begin(), list.lines.end(), [](const std::string& l) {
        return l.find(kOwnLineMark) != std::string::npos;
    });
    if (own != list.lines.end()) list.own = static_cast<int>(own - list.lines.begin());
    return list;
}

} // namespace kestrel
