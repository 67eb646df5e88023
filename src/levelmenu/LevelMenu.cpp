#include "levelmenu/LevelMenu.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/PasswordHash.h"
#include "results/ResultsRules.h"
#include "text/Characters.h"
#include "text/LeadingNumber.h"

namespace kestrel {
namespace {

constexpr int kWideLevelCount = 5;      // from here on columns scroll
constexpr int kColumnAreaWidth = 14592; // shared by fewer columns
constexpr int kScrollingColumnWidth = 3456;
constexpr int kVisibleColumns = 4;

template <class T> T cell(const LevelStudentTable<T>& table, int level, int student) {
    // Cells the summary never fills read as empty.
    if (!inSummaryTables(level, student)) return T{};
    return table[static_cast<size_t>(level)][static_cast<size_t>(student)];
}

std::string wholeNumber(double v) {
    return std::to_string(static_cast<long long>(std::llround(v)));
}

} // namespace

std::string shortestNumber(float value) {
    char buf[32];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

std::string plainNumber(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return wholeNumber(value);
    char buf[32];
    auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

std::string todayFigures(const ResultsSummary& summary, int level, int student) {
    const float count = cell(summary.countToday, level, student);
    if (count == 0) return "-----";
    return wholeNumber(count) + "回/" + std::to_string(cell(summary.pointsToday, level, student)) +
           "点";
}

std::string allTimeFigures(const ResultsSummary& summary, int level, int student) {
    const int16_t count = cell(summary.countAll, level, student);
    if (count == 0) return "------";
    return std::to_string(count) + "回/" + std::to_string(cell(summary.pointsAll, level, student)) +
           "点";
}

std::string passPeriodFigures(const LevelCriteria& c, const ResultsSummary& s, int level,
                              int student) {
    return "最近" + plainNumber(leadingNumber(c.passPeriodDays)) +
           "日=" + std::to_string(cell(s.countPass, level, student)) + "回 / " +
           std::to_string(cell(s.pointsPass, level, student)) + "点";
}

std::string startButtonCaption(int level) {
    return "ｽﾀｰﾄ(&" + std::to_string(level) + ")";
}

std::string minutesSinceSignInText(int minutes) {
    return "起動後" + std::to_string(minutes) + "分";
}

std::string todayTotalText(int runs) {
    return "本日総回数＝" + std::to_string(runs) + "回";
}

std::string studentHeaderText(const std::string& gradeLabel, std::string_view name) {
    return gradeLabel + " " + trimSpaces(name);
}

std::string schoolHeaderText(const std::string& schoolName, int student) {
    return schoolName + ":" + std::to_string(student);
}

std::string pointsRankingHeading(int kind) {
    return kind == 1 ? "獲得ポイント（今まで順位）" : "獲得ポイント（今日の順位）";
}

std::string targetLine(const LevelCriteria& c) {
    const std::string head = "目標=" + std::to_string(c.targetTime) + "秒";
    // 9999 points: the level cannot be cleared, so no clearing figures.
    if (c.clearPoints == 9999) return head + " --------";
    return head + " " + std::to_string(c.clearCount) + "回/" + std::to_string(c.clearPoints) +
           "点(×" + shortestNumber(c.pointMultiplier) + ")";
}

bool teacherPasswordMatches(std::string_view stored, std::string_view typed) {
    if (isPasswordHash(stored)) return passwordHashMatches(stored, typed);
    return stored == typed;
}

ColumnLayout columnLayout(int levelCount) {
    if (levelCount < kWideLevelCount)
        return {kColumnAreaWidth / (levelCount > 0 ? levelCount : 1), false, 1};
    return {kScrollingColumnWidth, true, levelCount - (kVisibleColumns - 1)};
}

int columnMargin(int windowWidth) {
    return static_cast<int>(std::lround(0.02 * windowWidth));
}

int columnLeft(int level, int scrollPosition, int columnWidth, int windowWidth) {
    const int x = columnMargin(windowWidth) + (level - scrollPosition) * columnWidth;
    return x < 0 ? windowWidth : x;
}

int16_t effectiveScrollPosition(int16_t scrollPosition, const ColumnLayout& layout) {
    if (scrollPosition <= 0 || scrollPosition > layout.scrollMax) return 1;
    return scrollPosition;
}

MenuKey menuKey(std::u32string_view typed, int levelCount) {
    if (typed.size() != 1) return {};
    const char32_t c = typed[0];
    if (c == U'0') return {MenuKey::Action::Back, 0};
    int level = 0;
    if (c >= U'1' && c <= U'9')
        level = static_cast<int>(c - U'0');
    else if (c >= U'a' && c <= U'd')
        level = static_cast<int>(c - U'a') + 10;
    if (level == 0 || level > levelCount) return {};
    return {MenuKey::Action::StartLevel, level};
}

LevelAvailability levelAvailability(const ProgramDefinition& program, const CriteriaTable& criteria,
                                    const ResultsSummary& summary, int student) {
    LevelAvailability a;
    const int count = std::max(0, std::min<int>(program.LevelCount, kMaxLevel));
    a.closed.assign(static_cast<size_t>(count) + 1, false);
    const int last = program.LastLevel;
    a.goalLevelCleared =
        last >= 1 && last <= kMaxLevel && LevelCleared(summary, criteria, last, student) ? 1 : 0;
    if (a.goalLevelCleared) return a;
    for (int level = 1; level < count; ++level)
        a.closed[static_cast<size_t>(level)] = OverPractice(summary, criteria, level, student);
    return a;
}

std::optional<uint32_t> timeListColour(const std::vector<std::string>& lines,
                                       const LevelCriteria& criteria) {
    std::optional<uint32_t> colour;
    for (const std::string& line : lines) {
        if (midChars(line, 3, 1) == "×") continue;
        // The seconds field is right-aligned in the first five characters;
        // reading all five keeps a four-digit time whole.
        const double t = leadingNumber(firstCharacters(line, 5));
        if (t <= criteria.targetTime)
            colour = kListGreen;
        else if (t <= criteria.minimumTime)
            colour = kListLightGreen;
        else
            colour = kListSilver;
    }
    return colour;
}

} // namespace kestrel
