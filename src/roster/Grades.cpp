#include "roster/Grades.h"

#include "text/Characters.h"

namespace kestrel {
namespace {

// Full-width digits and letters as half-width ones, blanks dropped.
std::string plainGrade(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const Utf8Char c = utf8At(text, i);
        const size_t n = c.length ? c.length : 1;
        if (c.code >= 0xFF01 && c.code <= 0xFF5E)
            out += static_cast<char>(c.code - 0xFF01 + 0x21);
        else if (c.code != ' ' && c.code != '\t' && c.code != 0x3000)
            out += text.substr(i, n);
        i += n;
    }
    return out;
}

bool takePrefix(std::string_view& s, std::string_view prefix) {
    if (!s.starts_with(prefix)) return false;
    s.remove_prefix(prefix.size());
    return true;
}

// One digit 1..9, half-width or kanji.
int takeDigit(std::string_view& s) {
    if (!s.empty() && s[0] >= '1' && s[0] <= '9') {
        const int d = s[0] - '0';
        s.remove_prefix(1);
        return d;
    }
    static const char* const kKanji[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};
    for (int d = 1; d <= 9; ++d)
        if (takePrefix(s, kKanji[d - 1])) return d;
    return 0;
}

} // namespace

int16_t schoolYearOf(int year, int month, int startMonth) {
    return static_cast<int16_t>(month < startMonth ? year - 1 : year);
}

int GradeNumber(int schoolYear, int birthYear) {
    return schoolYear - birthYear - 6;
}

std::string GradeLabel(int g) {
    static const char* const kDigits[] = {"０", "１", "２", "３", "４", "５", "６"};
    if (g == 0) return "幼３";
    if (g >= 1 && g <= 6) return std::string("小") + kDigits[g];
    if (g >= 7 && g <= 9) return std::string("中") + kDigits[g - 6];
    if (g == 10) return "高１";
    return {};
}

std::string GradeTag(int g) {
    if (g <= -3) return "幼-";
    if (g <= 0) return "幼" + std::to_string(g + 3);
    if (g <= 6) return "小" + std::to_string(g);
    if (g <= 9) return "中" + std::to_string(g - 6);
    if (g <= 12) return "高" + std::to_string(g - 9);
    return "大+";
}

std::optional<int> gradeOfText(std::string_view text) {
    const std::string plain = plainGrade(text);
    std::string_view s = plain;
    if (s == "年長") return 0;
    if (s == "年中") return -1;
    if (s == "年少") return -2;
    // The school, its longer names first; each with its years and the
    // grade code of its first year.
    struct School {
        const char* name;
        int years;
        int first;
    };
    static const School kSchools[] = {
        {"小学校", 6, 1}, {"小学", 6, 1},    {"小", 6, 1},        {"中学校", 3, 7},
        {"中学", 3, 7},   {"中", 3, 7},      {"高等学校", 3, 10}, {"高校", 3, 10},
        {"高", 3, 10},    {"幼稚園", 3, -2}, {"幼", 3, -2},       {"", 9, 1},
    };
    for (const School& school : kSchools) {
        std::string_view rest = s;
        if (!takePrefix(rest, school.name)) continue;
        takePrefix(rest, "第");
        const int year = takeDigit(rest);
        if (year == 0 || year > school.years) return std::nullopt;
        if (!(rest.empty() || rest == "年" || rest == "年生" || rest == "学年"))
            return std::nullopt;
        return school.first + year - 1;
    }
    return std::nullopt;
}

std::string GradeMark(int grade) {
    static const char* const marks[] = {"①", "②", "③", "④", "⑤", "⑥", "Ⅰ", "Ⅱ", "Ⅲ"};
    if (grade >= 1 && grade <= 9) return marks[grade - 1];
    return "　";
}

bool InGradeGroup(int grade, std::string_view group) {
    if (group == kAllGrades || group == "家族") return true;
    if (group == "小学生全体") return grade >= 1 && grade <= 6;
    if (group == "中学生全体") return grade >= 7 && grade <= 9;
    for (int g = 1; g <= 9; ++g)
        if (group == GradeLabel(g)) return grade == g;
    return false;
}

bool GradeFilterKeeps(std::string_view filter, int g) {
    if (filter == kAllGrades) return true;
    if (filter == "小学生全体") return g >= 1 && g <= 6;
    if (filter == "中学生全体") return g >= 7 && g <= 9;
    return g >= 1 && g <= 9 && filter == GradeLabel(g);
}

} // namespace kestrel
