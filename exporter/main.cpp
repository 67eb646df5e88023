// Writes the shared results log as a CSV file for a spreadsheet, as the
// results manager's "CSV出力" does. It finds the shared folder as the
// program does, through the path file beside its own folder, and reads the
// log under its sharing protocol without changing it.
//
//   kestrel-csv [--summary] [--utf8 | --cp932] [--days N] [-o FILE]
//
// Without -o the CSV goes to the standard output: UTF-8 at a terminal, the
// school's CP932 into a file or a pipe. Exit status: 0 done, 1 failed,
// 2 a wrong command line.
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/FileReplace.h"
#include "platform/RunningProgram.h"
#include "platform/Terminal.h"
#include "platform/Utf8Path.h"
#include "roster/Grades.h"
#include "roster/Roster.h"
#include "roster/RosterDisplay.h"
#include "setup/CommandLine.h"
#include "startup/Calendar.h"
#include "startup/CriteriaTable.h"
#include "startup/Folders.h"
#include "startup/ProgramDefinition.h"
#include "teacher/ClassSummary.h"
#include "teacher/ResultsCsv.h"
#include "text/Cp932.h"

// This system's implementation of the shared files.
#include "platform/SystemServices.h"

using namespace kestrel;

namespace {

const cli::CommandSpec& spec() {
    using K = cli::Option::Kind;
    static const cli::CommandSpec s{
        "kestrel-csv",
        "共有フォルダの成績の記録を、表計算ソフトで開ける CSV にします。記録は変えません。",
        {"[--summary] [--utf8 | --cp932] [--days 日数] [-o ファイル]"},
        {{"--summary", K::Switch, "",
          "記録のかわりに、生徒ごと・レベルごとのまとめ（回数、最高タイム、ポイント、合格）"},
         {"--utf8", K::Switch, "", "UTF-8（BOM つき）で書きます"},
         {"--cp932", K::Switch, "", "シフトJIS(CP932)で書きます（端末に出すときも）"},
         {"--days", K::PositiveInteger, "日数", "最近の日数の記録だけ（今日を入れて）"},
         {"-o", K::Text, "ファイル",
          "書き出すファイル。ないときは標準出力へ（端末なら UTF-8、ファイルやパイプなら"
          "シフトJIS）"}},
        "0 できた、1 できなかった（ファイルやフォルダの問題）、2 指定のまちがい"};
    return s;
}

int fail(const std::string& message) {
    std::cerr << message << "\n";
    return cli::kExitFailed;
}

// A roster that is not CP932 is named with its remedy, as every tool names it.
void requireCp932Roster(const AppFolders& folders) {
    const std::filesystem::path roster = pathFromUtf8(folders.SharedFolder, kRosterFile);
    try {
        (void)readCp932File(roster);
    } catch (const FileError& e) {
        if (e.kind() == FileError::Kind::Encoding) throw;
    }
}

} // namespace

int main(int argc, char** argv) {
    prepareTerminal();
    const cli::Arguments args = cli::parseArguments(spec(), commandArguments(argc, argv));
    if (!args.error.empty()) return cli::usageFailure(spec(), args.error);
    if (args.help) {
        std::cout << cli::helpText(spec());
        return cli::kExitOk;
    }
    if (args.has("--utf8") && args.has("--cp932"))
        return cli::usageFailure(spec(), "「--utf8」と「--cp932」は、どちらか一つだけ書きます。");
    const std::string outFile = args.value("-o");
    const bool summary = args.has("--summary");
    // A person reading at a terminal gets UTF-8; files keep the school's encoding.
    const bool terminal = outFile.empty() && !args.has("--cp932") && !args.has("--utf8") &&
                          standardOutputIsTerminal();
    CsvOptions options;
    if (args.has("--utf8") || terminal) options.encoding = CsvEncoding::Utf8WithBom;
    options.periodDays = args.number("--days");
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
        requireCp932Roster(setup.folders);
        const std::vector<RosterFileEntry> entries = readRosterEntries(setup.folders.SharedFolder);

        const std::unique_ptr<SharedFileSystem> systemFiles = systemFileSystem();
        SharedFileSystem& files = *systemFiles;
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
        if (!status.ok()) return fail(status.message);
        if (outFile.empty()) {
            // No byte-order mark before the text a person reads.
            if (terminal && text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
            std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
            std::cout.flush();
            return std::cout.good() ? cli::kExitOk : fail("標準出力に書き込めません。");
        }
        std::string reason;
        if (!replaceFileDurably(pathFromUtf8(outFile), text, reason))
            return fail(cli::cannotWriteMessage(pathFromUtf8(outFile), reason));
        return cli::kExitOk;
    } catch (const FileError& e) {
        return fail(cli::fileErrorText(e));
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
