// Writes the shared results log as a CSV file for a spreadsheet, as the
// results manager's "CSV出力" does. It finds the shared folder as the
// program does, through the path file beside its own folder, and reads the
// log under its sharing protocol without changing it.
//
//   kestrel-csv [--summary] [--utf8] [--days N] [-o FILE]
//
//   --summary  the class summary instead of the records: one row per listed
//              student, per level the runs, best time, points, points of
//              the pass period and whether it is cleared
//   --utf8     UTF-8 with a byte-order mark (CP932 otherwise)
//   --days N   only the records of the last N days (today included)
//   -o FILE    the file to write (the standard output otherwise)
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/PosixSharedFile.h"
#include "platform/RunningProgram.h"
#include "roster/Grades.h"
#include "roster/RosterDisplay.h"
#include "startup/Calendar.h"
#include "startup/CriteriaTable.h"
#include "startup/Folders.h"
#include "startup/ProgramDefinition.h"
#include "teacher/ClassSummary.h"
#include "teacher/ResultsCsv.h"

using namespace kestrel;

namespace {

int usage() {
    std::cerr << "使い方: kestrel-csv [--summary] [--utf8] [--days 日数] [-o ファイル]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    CsvOptions options;
    std::string outFile;
    bool summary = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--summary") {
            summary = true;
        } else if (a == "--utf8") {
            options.encoding = CsvEncoding::Utf8WithBom;
        } else if (a == "--days" && i + 1 < argc) {
            options.periodDays = std::atoi(argv[++i]);
            if (options.periodDays <= 0) return usage();
        } else if (a == "-o" && i + 1 < argc) {
            outFile = argv[++i];
        } else {
            return usage();
        }
    }
    try {
        const FolderSetup setup = readFolderSetup(runningProgramFile());
        ProgramDefinition program;
        DefineProgram(program);
        DefineLevelTable(program);
        const CriteriaTable criteria = readCriteriaFile(criteriaFilePath(setup.folders));

        SystemClock clock;
        const LocalTime now = clock.now();
        options.today = static_cast<double>(dayNumber(now.date));
        const int schoolYear =
            schoolYearOf(now.date.year, now.date.month, startMonthOf(setup.config));
        const std::vector<RosterFileEntry> entries = readRosterEntries(setup.folders.SharedFolder);

        PosixSharedFileSystem files;
        SleepingPump pump;
        const LogAccess log{files, resultsLogPath(setup.folders), clock, pump};
        std::string text;
        LogStatus status;
        if (summary) {
            ClassSummary rows;
            status = buildClassSummary(log, entries, criteria, program, setup.config, schoolYear,
                                       {options.periodDays, options.today}, rows);
            try {
                if (status.ok()) text = classSummaryCsv(rows, options.encoding);
            } catch (const std::invalid_argument&) {
                status = {FileFault::Other, kCsvNotCp932};
            }
        } else {
            status = exportResultsCsv(log, studentLookups(entries, schoolYear), program, criteria,
                                      options, text);
        }
        if (!status.ok()) {
            std::cerr << status.message << "\n";
            return 1;
        }
        if (outFile.empty()) {
            std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
            return std::cout.good() ? 0 : 1;
        }
        std::ofstream out(outFile, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::cerr << "「" << outFile << "」に書き込めません。\n";
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
