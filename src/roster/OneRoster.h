#pragma once
// The roster from the class lists that schools' administration systems and
// learning portals exchange: a OneRoster CSV package (Japan Profile), a
// folder or a zip of manifest.csv, users.csv, enrollments.csv, classes.csv,
// academicSessions.csv, orgs.csv and roles.csv. The classes of one school
// year become the roster's entries: each student with the birth year that
// gives the package's grade, the classes' teachers marked as teachers.
//
// A roster number is this program's own and is kept from year to year: the
// number file beside the roster maps each person of the packages
// (userMasterIdentifier where there is one, else sourcedId) to the number
// their results carry. A person new to it gets a number that neither the
// results log, the roster nor the number file has ever used.
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "results/ResultsLogIO.h"
#include "roster/RosterChecks.h"
#include "roster/RosterSheet.h"

namespace kestrel {

// The number file in the shared folder, beside "新名簿.txt": CP932, CR LF,
// a header row, then one person a row.
inline constexpr const char* kNumberFile = "名簿番号.txt";

// One CSV file of a package, named without its folders ("users.csv").
struct PackageFile {
    std::string name;
    std::string bytes;
};

// The CSV files of a folder, or of a zip file. Throws RosterError naming
// the package and what is wrong with it.
std::vector<PackageFile> readPackage(const std::filesystem::path& folderOrZip);
// The same from a zip file's bytes; `zipName` names it in errors.
std::vector<PackageFile> packageOfZip(std::string_view bytes, const std::string& zipName);

// A person of the number file.
struct NumberedPerson {
    std::string sourcedId;
    std::string masterId; // userMasterIdentifier, empty when the package had none
    std::string name;     // as the roster has it, for people reading the file
    int birthYear = 0;
};
// The number file: roster number 1..5000 to the person it stands for.
using NumberBook = std::map<int, NumberedPerson>;
// Throws RosterError naming `fileName` and the row.
NumberBook parseNumberBook(std::string_view utf8, const std::string& fileName);
// The file's text (UTF-8, CR LF), by number.
std::string numberBookText(const NumberBook& book);

// Every student number 0..5000 that a record of the results log carries.
// The log is read whole and never created; a missing log has none.
LogStatus loggedStudentNumbers(const LogAccess& log, std::vector<bool>& used);

struct OneRosterSettings {
    int schoolYear = 0;               // the school year under way
    int startMonth = 4;               // the month the school year starts
    bool listStatus2 = false;         // for the roster's checks
    std::vector<std::string> classes; // the classes asked for by name; none: the year's all
    std::string schoolName;           // chooses among the schools of a district's package
};

struct ImportedClass {
    std::string title;
    int students = 0;
    int teachers = 0;
};

struct OneRosterImport {
    std::string edition;                // oneroster.version of the manifest
    int schoolYear = 0;                 // the school year of the classes taken
    std::vector<ImportedClass> classes; // in the order of classes.csv
    // The roster's entries: students by class and 出席番号, then teachers.
    // A person with an error has none.
    std::vector<RosterRow> rows;
    // Errors and warnings, each naming the file, the row and the column
    // ("users.csv の 5行目、familyName の列：…"); the row is 0.
    std::vector<SheetProblem> problems;
    NumberBook numbers;            // the number file after this import
    int kept = 0;                  // people who keep the number they had
    std::vector<int> freshNumbers; // numbers given for the first time

    bool hasErrors() const;
    // The roster's text (UTF-8, CR LF).
    std::string rosterText() const { return rosterFileText(rows); }
};

// The roster's entries from a package. `book` is the number file as it
// stands, `roster` the roster's rows as they stand (its numbers are in use,
// and a person not yet in the book whose name and birth year match the one
// entry of it that the book has not, a roster made by hand, takes that
// entry's number), `used` the numbers of the log.
OneRosterImport importOneRoster(const std::vector<PackageFile>& files,
                                const OneRosterSettings& settings, const NumberBook& book,
                                const std::vector<RosterRow>& roster,
                                const std::vector<bool>& used);

} // namespace kestrel
