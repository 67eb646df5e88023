#include "startup/ProgramDefinition.h"

namespace kestrel {

const char* const kProgramTitle = "四捨五入と概数のドリル";

void DefineProgram(ProgramDefinition& program) {
    program.ProgramTitle = kProgramTitle;
    program.PrintButtonMode = 0;
    program.MenuOptionFlag = 1;
}

void DefineLevelTable(ProgramDefinition& program) {
    program.LevelCount = 5;
    program.LastLevel = program.LevelCount;
    static const char* const kNames[] = {"レベル１", "レベル２", "レベル３", "レベル４", "混合"};
    for (int level = 1; level <= 5; ++level) {
        program.LevelNames[level] = kNames[level - 1];
        program.LevelTimed[level] = 1;
    }
    for (int level = 6; level <= 25; ++level) {
        program.LevelNames[level].clear();
        program.LevelTimed[level] = 1;
    }
    for (int level = 1; level <= 12; ++level)
        if (program.LevelNames[level].empty())
            program.LevelNames[level] = "ﾚﾍﾞﾙ" + std::to_string(level);
    for (int level : {0, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35}) {
        program.LevelNames[level].clear();
        program.LevelTimed[level] = 0;
    }
}

bool isPracticeLevel(const ProgramDefinition& program, int level) {
    if (level < 0 || level > kMaxLevel) return false;
    return program.LevelNames[level].find("練") != std::string::npos;
}

} // namespace kestrel
