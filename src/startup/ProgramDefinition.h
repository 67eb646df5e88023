#pragma once
// What this drill program is within the family that shares the roster, the
// level menu and the results log: its title, its levels and option values.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrel {

constexpr int kMaxLevel = 35;     // per-level arrays are indexed 0..35
constexpr int kMaxStudent = 5000; // per-student arrays are indexed 0..5000

// Whether a level and a student number index the per-level and per-student
// arrays; anything outside is an error the caller must not index with.
inline bool inLevelStudentArrays(int level, int student) {
    return level >= 0 && level <= kMaxLevel && student >= 0 && student <= kMaxStudent;
}

struct ProgramDefinition {
    std::string ProgramTitle;
    int16_t LevelCount = 5;
    std::array<std::string, kMaxLevel + 1> LevelNames{};
    std::array<int16_t, kMaxLevel + 1> LevelTimed{};
    int16_t LastLevel = 5;
    int16_t PrintButtonMode = 0;
    int16_t MenuOptionFlag = 1;
};

// The title shown on the name screen, the version screen and the drill header.
extern const char* const kProgramTitle;
// Titles longer than this many characters are drawn in the smaller font.
constexpr int kTitleLengthForSmallFont = 9;

// Sets the title and the option values; run once at start-up.
void DefineProgram(ProgramDefinition& program);
// Fills the level count, names and timed flags (the data part of sign-in).
void DefineLevelTable(ProgramDefinition& program);
// A level whose name contains "練" is a practice level: not recorded.
bool isPracticeLevel(const ProgramDefinition& program, int level);

} // namespace kestrel
