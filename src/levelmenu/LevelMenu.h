#pragma once
// What the level menu shows and decides, apart from its widgets: the texts
// of a level column, where the columns lie, which key starts which level,
// which levels are closed for over-practice, and the colour of a list.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/ResultsSummary.h"
#include "roster/Roster.h"
#include "startup/CriteriaTable.h"
#include "startup/ProgramDefinition.h"

namespace kestrel {

// The all-results view's period each time the menu is loaded (one month).
inline constexpr int16_t kAllPeriodMonth = 3;

// Texts of level L's column for a student. Numbers are plain decimal.
std::string todayFigures(const ResultsSummary& summary, int level, int student);   // Label14
std::string allTimeFigures(const ResultsSummary& summary, int level, int student); // Label15
std::string passPeriodFigures(const LevelCriteria& criteria, const ResultsSummary& summary,
                              int level, int student); // Label8
std::string targetLine(const LevelCriteria& criteria); // Label7
// The start button's caption, "ｽﾀｰﾄ(&i)": "&" marks the access key.
std::string startButtonCaption(int level);
// The over-practice notice over a closed level's start button (Text1).
inline constexpr const char* kOverPracticeNotice = "やりすぎ禁止";
// The header of the menu: "起動後N分" (Label17), "本日総回数＝N回" (Label18),
// the grade label and the trimmed name (Label12), the school and the
// student number (Label13).
std::string minutesSinceSignInText(int minutes);
std::string todayTotalText(int runs);
std::string studentHeaderText(const std::string& gradeLabel, std::string_view name);
std::string schoolHeaderText(const std::string& schoolName, int student);
// The heading over the lists (Label5) of the rankings by points: cumulative
// (kind 1) or today's (kind 2).
std::string pointsRankingHeading(int kind);
// A single-precision value in its shortest decimal form ("1.5", "1", "0.1").
std::string shortestNumber(float value);
// A value read from a criteria cell as the column shows it.
std::string plainNumber(double value);

// The maintenance panel's check of the typed password against the shared
// configuration's item: a crypt(3) hash ("$y$", "$gy$", "$7$", "$6$" or
// "$5$") is checked against the typed text's UTF-8 bytes; any other value
// must equal the typed text character for character (letter case and
// blanks count), as earlier versions on other PCs compare it.
bool teacherPasswordMatches(std::string_view stored, std::string_view typed);

// Column geometry in twips of the menu's design area.
struct ColumnLayout {
    int width = 0;          // one column
    bool scrollBar = false; // HScroll1 shown
    int scrollMax = 1;      // HScroll1's maximum (its minimum is 1)
};
ColumnLayout columnLayout(int levelCount);
// Left margin of the first visible column.
int columnMargin(int windowWidth);
// Left edge of level i's column with `scrollPosition` in the leftmost
// column; a column that would start left of the window is put just past
// its right edge, out of sight.
int columnLeft(int level, int scrollPosition, int columnWidth, int windowWidth);
// ScrollPosition as the menu uses it: 0 (never set) or past the scroll
// bar's maximum becomes 1.
int16_t effectiveScrollPosition(int16_t scrollPosition, const ColumnLayout& layout);

// What a typed character does on the menu.
struct MenuKey {
    enum class Action { None, StartLevel, Back };
    Action action = Action::None;
    int level = 0; // for StartLevel
};
// "1".."9" start levels 1..9 and "a".."d" levels 10..13 (lower case only),
// each only when the menu has that many levels; "0" goes back.
MenuKey menuKey(std::u32string_view typed, int levelCount);

// Which levels may be started, for the signed-in student.
struct LevelAvailability {
    int16_t goalLevelCleared = 0; // LastLevel is cleared: nothing is closed
    std::vector<bool> closed;     // index = level (0 unused), size LevelCount + 1
};
// Every level is open except one practised too much within its
// over-practice period; the last level is never closed, and clearing
// LastLevel opens everything.
LevelAvailability levelAvailability(const ProgramDefinition& program, const CriteriaTable& criteria,
                                    const ResultsSummary& summary, int student);

// The background a time-ordered results list takes: the last line that is
// not a failed run ("×" as its third character) decides, by the seconds at
// its start against the level's target and minimum times. Nothing when no
// line qualifies: the list keeps its colour. Colours are 0xBBGGRR.
inline constexpr uint32_t kListYellow = 0xC0FFFF;
inline constexpr uint32_t kListGreen = 0x00C000;
inline constexpr uint32_t kListLightGreen = 0xC0FFC0;
inline constexpr uint32_t kListSilver = 0xC0C0C0;
inline constexpr uint32_t kLabelGrey = 0xE0E0E0;
std::optional<uint32_t> timeListColour(const std::vector<std::string>& lines,
                                       const LevelCriteria& criteria);

} // namespace kestrel
