#pragma once
// Grades of the students: the school year under way, the grade code derived
// from a student's school year of birth, and what the screens make of a
// grade code (labels, tags, marks, grade groups and the name screen's filter).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// SchoolYear: the calendar year, one less before the school year's start month.
int16_t schoolYearOf(int year, int month, int startMonth);

// 1..6 elementary, 7..9 junior high, 10..12 senior high, 0 and below kindergarten.
int GradeNumber(int schoolYear, int birthYear);
// The full-width label ("幼３", "小１".."小６", "中１".."中３", "高１"); empty
// when the grade has none.
std::string GradeLabel(int gradeNumber);
// The short tag of the name list ("幼-" .. "大+"), always present.
std::string GradeTag(int gradeNumber);
// The grade code of a grade as teachers write it in a spreadsheet: "3",
// "３", "3年", "３年生", "第3学年" (a grade 1..9 of the nine years of
// school), "小3", "小学3年", "小学校３年生", "中1", "中学校1年", "高1",
// "高校1年", "幼3", "年長", the digits half-width, full-width or in kanji
// ("小三"). Nothing for any other text.
std::optional<int> gradeOfText(std::string_view text);

// Display mark of the results views: "①".."⑥", "Ⅰ".."Ⅲ", else U+3000.
std::string GradeMark(int grade);

// Whether grade code `grade` belongs to a grade group of the results views
// ("全学年" and "家族" hold everybody; an unknown label holds nobody).
bool InGradeGroup(int grade, std::string_view group);
// Whether the name screen's grade box text `filter` keeps a student of the
// grade (a text other than the twelve items keeps nobody).
bool GradeFilterKeeps(std::string_view filter, int gradeNumber);
// The grade box item that keeps everybody, and the box's text at the start.
inline constexpr const char* kAllGrades = "全学年";
// The twelve items of the grade boxes, in the order they are listed.
inline constexpr const char* kGradeFilterItems[] = {kAllGrades, "中学生全体", "小学生全体", "中３",
                                                    "中２",     "中１",       "小６",       "小５",
                                                    "小４",     "小３",       "小２",       "小１"};

} // namespace kestrel
