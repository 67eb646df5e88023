#pragma once
// What the command-line tools share: their options read one way, their
// help, and the messages a teacher meets at the terminal (a wrong argument,
// a file that cannot be written, a file in the wrong encoding, a
// spreadsheet given where a CSV file is read). Exit statuses: 0 done,
// 1 failed, 2 a wrong command line.
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "text/Cp932.h"

namespace kestrel::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Option {
    enum class Kind { Switch, Text, PositiveInteger };
    std::string name; // "--days", "-o"
    Kind kind = Kind::Switch;
    std::string value; // what the value is, in Japanese ("日数"); empty for a switch
    std::string help;  // one line
};

struct CommandSpec {
    std::string name;                  // "kestrel-csv"
    std::string purpose;               // one line
    std::vector<std::string> synopsis; // each a way to call it, after the name
    std::vector<Option> options;       // "--help" is always understood
    std::string exitStatus;            // one line
};

// The options given, by name; a switch has an empty value.
struct Arguments {
    bool help = false;
    std::map<std::string, std::string> given;
    std::map<std::string, std::vector<std::string>> every; // every value of each option, in order
    std::string error; // a wrong command line, as the teacher is told; empty when none

    bool has(const std::string& option) const { return given.count(option) != 0; }
    std::string value(const std::string& option) const;
    // Every value an option was given, in order.
    std::vector<std::string> values(const std::string& option) const;
    // The value of a PositiveInteger option; 0 when it was not given.
    int number(const std::string& option) const;
};

// Reads the arguments after the command's name. An option given twice keeps
// its last value as its value, and both among its values.
Arguments parseArguments(const CommandSpec& spec, const std::vector<std::string>& args);

// The synopsis, every option with its line, and the exit statuses.
std::string helpText(const CommandSpec& spec);
// `problem` and where the help is, for a wrong command line.
std::string usageError(const CommandSpec& spec, const std::string& problem);
// Writes usageError to standard error; returns kExitUsage.
int usageFailure(const CommandSpec& spec, const std::string& problem);

// A file that could not be written, with the system's reason.
std::string cannotWriteMessage(const std::filesystem::path& file, const std::string& reason);
// A text file of the school that is not in CP932, and a fix that cannot
// empty the file it reads (for the roster, the roster tool).
std::string wrongEncodingMessage(const std::filesystem::path& file);
// What the teacher is told of a file that could not be read: for a file in
// the wrong encoding the message above, else the error's own.
std::string fileErrorText(const FileError& e);

// The message for a spreadsheet's own file (.xlsx, .ods, .xls, or a zip
// archive by its first bytes) given where a CSV file is read; empty for
// anything else.
std::string spreadsheetFileMessage(const std::filesystem::path& file, std::string_view bytes);

} // namespace kestrel::cli
