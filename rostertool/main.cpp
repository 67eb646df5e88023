// The roster from the school's spreadsheet and back. It finds the shared
// folder as the program does, through the path file beside its own folder.
//
//   kestrel-roster --to FILE.csv [--utf8]
//       writes the roster "新名簿.txt" as a CSV file with a header row
//       (CP932, or UTF-8 with a byte-order mark)
//   kestrel-roster --from FILE.csv [--write]
//       reads such a file (UTF-8 or CP932), shows the lines of the name
//       screen and every problem with its row; with --write and no error,
//       replaces "新名簿.txt", keeping the previous one under a dated name
//   kestrel-roster --template FILE.csv [--utf8]
//       writes an empty sheet with only the header row, for a new school
//   kestrel-roster --from-oneroster FOLDER|FILE.zip [--class NAME]... [--write]
//       reads a OneRoster CSV package (Japan Profile) of the school's system
//       and makes the roster of its school year's classes (or those named),
//       as --from does; the numbers are kept from year to year in
//       "名簿番号.txt" beside the roster
//
// Exit status: 0 done, 1 an error in the file or the folders, 2 usage.
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/FileReplace.h"
#include "platform/RunningProgram.h"
#include "platform/Terminal.h"
#include "platform/Utf8Path.h"
#include "results/ResultsSummary.h"
#include "roster/Grades.h"
#include "roster/OneRoster.h"
#include "roster/RosterSheet.h"
#include "setup/CommandLine.h"
#include "startup/Calendar.h"
#include "startup/CriteriaTable.h"
#include "startup/Folders.h"
#include "text/Cp932.h"
#include "text/LeadingNumber.h"

// This system's implementation of the shared files.
#include "platform/SystemServices.h"

using namespace kestrel;

namespace {

const cli::CommandSpec& spec() {
    using K = cli::Option::Kind;
    static const cli::CommandSpec s{
        "kestrel-roster",
        "名簿「新名簿.txt」を表計算ソフトの CSV に書き出し、CSV や学校のシステムの名簿（OneRoster）"
        "から読み込みます。",
        {"--to ファイル.csv [--utf8]", "--from ファイル.csv [--write]",
         "--template ファイル.csv [--utf8]",
         "--from-oneroster フォルダ|ファイル.zip [--class クラス名]... [--write]"},
        {{"--to", K::Text, "ファイル.csv", "今の名簿を、見出しの行つきの CSV に書き出します"},
         {"--from", K::Text, "ファイル.csv",
          "CSV（UTF-8 かシフトJIS）を読み、名前の画面の見え方と問題を出します"},
         {"--from-oneroster", K::Text, "フォルダ|ファイル.zip",
          "学校のシステムの OneRoster のパッケージから、今年度のクラスの名簿を作ります"},
         {"--class", K::Text, "クラス名",
          "--from-oneroster で、このクラスだけにします（何回でも書けます）"},
         {"--write", K::Switch, "",
          "--from と --from-oneroster で、エラーがなければ名簿を書きかえます（前の名簿は日付つきの"
          "名前で残します）"},
         {"--template", K::Text, "ファイル.csv",
          "見出しの行だけの空の CSV を作ります（新しい学校の名簿づくりに）"},
         {"--utf8", K::Switch, "",
          "--to と --template で、UTF-8（BOM つき）で書きます（ないときはシフトJIS）"}},
        "0 できた、1 できなかった（ファイルのエラーやフォルダの問題）、2 指定のまちがい"};
    return s;
}

int usage(const std::string& problem) {
    return cli::usageFailure(spec(), problem);
}

// Writes `bytes` as `file` in one piece; a failure is told with the system's reason.
bool writeSheet(const std::string& file, const std::string& bytes) {
    std::string reason;
    if (replaceFileDurably(pathFromUtf8(file), bytes, reason)) return true;
    std::cerr << cli::cannotWriteMessage(pathFromUtf8(file), reason) << "\n";
    return false;
}

const char* encodingName(SheetEncoding e) {
    switch (e) {
    case SheetEncoding::Cp932:
        return "シフトJIS(CP932)";
    case SheetEncoding::Utf8:
        return "UTF-8";
    case SheetEncoding::Utf8WithBom:
        return "UTF-8、BOM つき";
    }
    return "";
}

int toSheet(const FolderSetup& setup, const std::string& file, bool utf8) {
    const std::filesystem::path roster = pathFromUtf8(setup.folders.SharedFolder, kRosterFile);
    const std::vector<RosterRow> rows = rosterRows(readCp932File(roster));
    if (!writeSheet(file, rosterSheet(rows, utf8))) return 1;
    std::cout << "「" << displayPath(roster) << "」の " << rows.size() << " 人を「" << file
              << "」に書きました。\n";
    return 0;
}

// An empty sheet for a new school: the header row the reader expects, and
// nothing to copy by hand. A file that is there already is kept.
int templateSheet(const std::string& file, bool utf8) {
    std::error_code ec;
    if (std::filesystem::exists(pathFromUtf8(file), ec)) {
        std::cerr << "「" << file
                  << "」はもうあります。上書きしないので、ほかの名前を指定します。\n";
        return 1;
    }
    if (!writeSheet(file, rosterSheet({}, utf8))) return 1;
    std::cout << "見出しの行だけの名簿「" << file
              << "」を作りました。1 行に 1 人ずつ書いて、kestrel-roster --from " << file
              << " で読み込みます。\n";
    return 0;
}

// The figures the name screen would show beside the names.
PreviewFigures currentFigures(const FolderSetup& setup, Clock& clock) {
    const std::unique_ptr<SharedFileSystem> systemFiles = systemFileSystem();
    SharedFileSystem& files = *systemFiles;
    SleepingPump pump;
    const LogAccess log{files, resultsLogPath(setup.folders), clock, pump};
    return previewFigures(log, criteriaFilePath(setup.folders));
}

RosterCheckSettings checkSettings(const FolderSetup& setup, const LocalTime& now) {
    RosterCheckSettings settings;
    settings.schoolYear = schoolYearOf(now.date.year, now.date.month, startMonthOf(setup.config));
    settings.listStatus2 = leadingNumber(setup.config.ListStatus2Entries) == 1;
    return settings;
}

// The lines of the name screen for a roster's text, with the log's figures;
// false when the figures cannot be had (told on standard error).
bool showNameScreen(const FolderSetup& setup, Clock& clock, const std::string& rosterText,
                    int schoolYear, bool write, const std::string& note) {
    const PreviewFigures figures = currentFigures(setup, clock);
    if (!figures.summary) {
        std::cerr << figures.error << (write ? "\n名簿は書きませんでした。" : "") << "\n";
        return false;
    }
    std::cout << "名前の画面（" << schoolYear << "年度、全学年）" << note << "：\n";
    try {
        const auto lines = nameScreenLines(rosterText, *figures.summary, setup.config,
                                           static_cast<int16_t>(schoolYear));
        for (const std::string& line : lines)
            std::cout << "  " << line << "\n";
        std::cout << "  （" << lines.size() << " 人）\n\n";
    } catch (const std::exception& e) {
        std::cout << "  " << e.what() << "\n\n";
    }
    return true;
}

// Prints the problems; the number of errors among them.
int showProblems(const std::vector<SheetProblem>& problems) {
    int errors = 0, warnings = 0;
    for (const SheetProblem& p : problems)
        (p.level == FindingLevel::Error ? errors : warnings)++;
    if (problems.empty()) {
        std::cout << "問題はありません。\n";
    } else {
        std::cout << "問題：エラー " << errors << " 件、注意 " << warnings << " 件\n";
        for (const SheetProblem& p : problems)
            std::cout << (p.level == FindingLevel::Error ? "  エラー　" : "  注意　　") << p.message
                      << "\n";
    }
    return errors;
}

// What follows the problems when nothing is written: the exit status.
std::optional<int> unwritten(int errors, bool write) {
    if (errors > 0) {
        if (write)
            std::cout << "\nエラーがあるので、名簿は書きませんでした。エラーを直して、もう一度"
                         "読み込んで下さい。\n";
        return 1;
    }
    if (!write) {
        std::cout << "\n名簿を書くには --write をつけて、もう一度読み込みます。\n";
        return 0;
    }
    return std::nullopt;
}

// Replaces the roster with `bytes` (CP932) through a synced temporary file
// and a rename, the previous roster kept under a dated name.
int replaceRoster(const FolderSetup& setup, const LocalTime& now, const std::string& bytes,
                  size_t people) {
    const std::filesystem::path target = pathFromUtf8(setup.folders.SharedFolder, kRosterFile);
    std::error_code ec;
    std::string kept;
    if (std::filesystem::exists(target, ec)) {
        const std::string old = readFileBytes(target);
        if (old == bytes) {
            std::cout << "\n「" << displayPath(target)
                      << "」は、もうこの名簿です。書きかえませんでした。\n";
            return 0;
        }
        const auto seconds = static_cast<int>(now.secondsOfDay);
        const std::string name =
            keptRosterName(now.date.year, now.date.month, now.date.day, seconds);
        std::filesystem::path copy = target.parent_path() / pathFromUtf8(name);
        // A second write within the same second keeps its copy beside the first.
        for (int k = 2; std::filesystem::exists(copy, ec) && k < 100; ++k)
            copy = target.parent_path() /
                   pathFromUtf8(name.substr(0, name.size() - 4) + "_" + std::to_string(k) + ".txt");
        std::string error;
        if (std::filesystem::exists(copy, ec) || !replaceFileDurably(copy, old, error)) {
            std::cerr << "前の名簿を「" << displayPath(copy) << "」に残せないので、名簿は書きませ"
                      << "んでした。" << error << "\n";
            return 1;
        }
        kept = displayPath(copy);
    }
    std::string error;
    if (!replaceFileDurably(target, bytes, error)) {
        std::cerr << "「" << displayPath(target) << "」に書き込めません。（" << error
                  << "）名簿は前のままです。\n";
        return 1;
    }
    std::cout << "\n「" << displayPath(target) << "」に " << people << " 人の名簿を書きました。\n";
    if (!kept.empty()) std::cout << "前の名簿は「" << kept << "」に残しました。\n";
    return 0;
}

int fromSheet(const FolderSetup& setup, const std::string& file, bool write) {
    SystemClock clock;
    const LocalTime now = clock.now();
    const RosterCheckSettings settings = checkSettings(setup, now);

    const std::string sheetBytes = readFileBytes(pathFromUtf8(file));
    if (const std::string sheet = cli::spreadsheetFileMessage(pathFromUtf8(file), sheetBytes);
        !sheet.empty()) {
        std::cerr << sheet << "\n";
        return 1;
    }
    const RosterImport im = importRosterSheet(sheetBytes, settings);
    std::cout << "「" << file << "」（" << encodingName(im.encoding)
              << (im.rosterLayout ? "、見出しのない名簿の形" : "") << "）：生徒 " << im.rows.size()
              << " 行\n\n";

    if (!im.rows.empty() && !showNameScreen(setup, clock, im.rosterText(true), settings.schoolYear,
                                            write, im.hasErrors() ? "、エラーのある行を除く" : ""))
        return 1;
    if (const std::optional<int> status = unwritten(showProblems(im.problems), write))
        return *status;
    return replaceRoster(setup, now, utf8ToCp932(im.rosterText()), im.rows.size());
}

// The roster as it stands, in whatever encoding it was saved: its numbers
// stay in use. Nothing when there is none.
std::vector<RosterRow> currentRoster(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return {};
    SheetEncoding encoding;
    const std::optional<std::string> text = sheetText(readFileBytes(file), encoding);
    if (!text)
        throw RosterError("今の名簿「" + displayPath(file) +
                              "」の文字が読めないので、使っている番号が分かりません。",
                          EILSEQ);
    return rosterRows(*text);
}

// Numbers in ascending order, runs of three or more as ranges: "3〜93、96、97".
std::string numbersText(const std::vector<int>& numbers) {
    std::string text;
    for (size_t k = 0; k < numbers.size();) {
        size_t end = k + 1;
        while (end < numbers.size() && numbers[end] == numbers[end - 1] + 1)
            ++end;
        text += (text.empty() ? "" : "、") + std::to_string(numbers[k]);
        if (end - k >= 3)
            text += "〜" + std::to_string(numbers[end - 1]);
        else if (end - k == 2)
            text += "、" + std::to_string(numbers[k + 1]);
        k = end;
    }
    return text;
}

int fromOneRoster(const FolderSetup& setup, const std::string& package,
                  const std::vector<std::string>& classes, bool write) {
    SystemClock clock;
    const LocalTime now = clock.now();
    const RosterCheckSettings checks = checkSettings(setup, now);
    OneRosterSettings settings;
    settings.schoolYear = checks.schoolYear;
    settings.startMonth = startMonthOf(setup.config);
    settings.listStatus2 = checks.listStatus2;
    settings.classes = classes;
    settings.schoolName = setup.config.SchoolName;

    const std::filesystem::path bookFile = pathFromUtf8(setup.folders.SharedFolder, kNumberFile);
    NumberBook book;
    std::vector<RosterRow> roster;
    std::vector<bool> used;
    std::vector<PackageFile> files;
    try {
        files = readPackage(pathFromUtf8(package));
        std::error_code ec;
        if (std::filesystem::exists(bookFile, ec))
            book = parseNumberBook(readCp932File(bookFile), displayPath(bookFile));
        roster = currentRoster(pathFromUtf8(setup.folders.SharedFolder, kRosterFile));
    } catch (const RosterError& e) {
        std::cerr << e.what() << (write ? "\n名簿は書きませんでした。" : "") << "\n";
        return 1;
    }
    {
        const std::unique_ptr<SharedFileSystem> files = systemFileSystem();
        SharedFileSystem& shared = *files;
        SleepingPump pump;
        const LogAccess log{shared, resultsLogPath(setup.folders), clock, pump};
        if (const LogStatus status = loggedStudentNumbers(log, used); !status.ok()) {
            std::cerr << "成績のファイル「" << displayPath(log.path)
                      << "」が読めないので、使われた番号が分かりません。（" << status.message
                      << "）" << (write ? "名簿は書きませんでした。" : "") << "\n";
            return 1;
        }
    }

    const OneRosterImport im = importOneRoster(files, settings, book, roster, used);
    int students = 0, teachers = 0;
    for (const ImportedClass& c : im.classes) {
        students += c.students;
        teachers += c.teachers;
    }
    std::cout << "「" << package << "」（OneRoster" << (im.edition.empty() ? "" : " " + im.edition)
              << "、" << im.schoolYear << "年度）：クラス " << im.classes.size() << "、生徒 "
              << students << " 人、先生 " << teachers << " 人\n";
    for (const ImportedClass& c : im.classes)
        std::cout << "  " << c.title << "：生徒 " << c.students << " 人、先生 " << c.teachers
                  << " 人\n";
    std::cout << "\n";
    if (!im.hasErrors()) {
        if (im.schoolYear != checks.schoolYear)
            std::cout << "（パッケージは " << im.schoolYear
                      << "年度のものです。名前の画面の学年は、" << im.schoolYear
                      << "年度になると、パッケージの学年になります。）\n";
        if (!im.rows.empty() &&
            !showNameScreen(setup, clock, im.rosterText(), checks.schoolYear, write, ""))
            return 1;
        std::cout << "番号：前からの番号 " << im.kept << " 人、新しい番号 "
                  << im.freshNumbers.size() << " 人";
        if (!im.freshNumbers.empty()) std::cout << "（" << numbersText(im.freshNumbers) << "）";
        std::cout << "\n\n";
    }
    if (const std::optional<int> status = unwritten(showProblems(im.problems), write))
        return *status;
    if (im.rows.empty()) {
        std::cout << "\n名簿に入る人がいないので、名簿は書きませんでした。\n";
        return 1;
    }

    // The numbers first: a roster whose new numbers the number file had
    // not would give them away again at the next import.
    const std::string bookBytes = utf8ToCp932(numberBookText(im.numbers));
    std::error_code ec;
    if (!std::filesystem::exists(bookFile, ec) || readFileBytes(bookFile) != bookBytes) {
        std::string error;
        if (!replaceFileDurably(bookFile, bookBytes, error)) {
            std::cerr << "番号の表「" << displayPath(bookFile) << "」に書き込めません。（" << error
                      << "）名簿は前のままです。\n";
            return 1;
        }
        std::cout << "\n番号の表「" << displayPath(bookFile) << "」に " << im.numbers.size()
                  << " 人の番号を書きました。\n";
    }
    return replaceRoster(setup, now, utf8ToCp932(im.rosterText()), im.rows.size());
}

} // namespace

int main(int argc, char** argv) {
    prepareTerminal();
    const cli::Arguments args = cli::parseArguments(spec(), commandArguments(argc, argv));
    if (!args.error.empty()) return usage(args.error);
    if (args.help) {
        std::cout << cli::helpText(spec());
        return cli::kExitOk;
    }
    const std::string to = args.value("--to"), from = args.value("--from"),
                      blank = args.value("--template"), package = args.value("--from-oneroster");
    const bool utf8 = args.has("--utf8"), write = args.has("--write");
    if (int(!to.empty()) + int(!from.empty()) + int(!blank.empty()) + int(!package.empty()) != 1)
        return usage(
            "「--to」「--from」「--template」「--from-oneroster」のどれか一つを書きます。");
    if (utf8 && (from.size() || package.size()))
        return usage("「--utf8」は「--to」か「--template」といっしょに書きます（読み込むファイルの"
                     "文字コードは自動で分かります）。");
    if (write && from.empty() && package.empty())
        return usage("「--write」は「--from」か「--from-oneroster」といっしょに書きます。");
    if (args.has("--class") && package.empty())
        return usage("「--class」は「--from-oneroster」といっしょに書きます。");
    try {
        if (!blank.empty()) return templateSheet(blank, utf8);
        const FolderSetup setup = readFolderSetup(runningProgramFile());
        if (!package.empty()) return fromOneRoster(setup, package, args.values("--class"), write);
        return to.empty() ? fromSheet(setup, from, write) : toSheet(setup, to, utf8);
    } catch (const FileError& e) {
        std::cerr << cli::fileErrorText(e) << "\n";
        return cli::kExitFailed;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return cli::kExitFailed;
    }
}
