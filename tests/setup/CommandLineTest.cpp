// The three command-line tools as a teacher meets them at the terminal:
// their help, a wrong argument, an output file that cannot be written, a
// roster in the wrong encoding, a spreadsheet's own file, the empty roster
// sheet, and the CSV's encoding at a terminal and into a pipe.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "roster/RosterSheet.h"
#include "setup/CommandLine.h"
#include "support/Installation.h"
#include "text/Cp932.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

const std::string kCsv = KESTREL_BINARY_DIR "/exporter/kestrel-csv";
const std::string kRoster = KESTREL_BINARY_DIR "/rostertool/kestrel-roster";
const std::string kDoctor = KESTREL_BINARY_DIR "/doctor/kestrel-doctor";

struct TestSchool {
    Installation inst;
    fs::path csv = inst.installCommand(kCsv);
    fs::path roster = inst.installCommand(kRoster);
    std::string doctorFolder = inst.programFile().parent_path().string();
    TestSchool() { writeBytes(inst.root() / "共有データ/四捨五入/成績累積データ.dat", ""); }

    fs::path program(const std::string& command) const {
        if (command == "kestrel-csv") return csv;
        if (command == "kestrel-roster") return roster;
        return kDoctor;
    }
    // The arguments with {root} standing for the installation's folder.
    std::string expand(std::string args) const {
        for (size_t at; (at = args.find("{root}")) != std::string::npos;)
            args.replace(at, 6, inst.root().string());
        return args;
    }
};

struct Ran {
    int status = -1;
    std::string out, err;
};

Ran run(const TestSchool& s, const std::string& command, const std::string& args) {
    const fs::path out = s.inst.root() / "stdout.txt", err = s.inst.root() / "stderr.txt";
    std::string line = s.program(command).string() + " " + s.expand(args);
    if (command == "kestrel-doctor" && args.find("--") != 0)
        line = s.program(command).string() + " --folder " + s.doctorFolder + " " + s.expand(args);
    line += " < /dev/null > " + out.string() + " 2> " + err.string();
    const int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readBytes(out), readBytes(err)};
}

// The standard output of `program` when it writes to a terminal.
std::string onTerminal(const fs::path& program, const std::vector<std::string>& args) {
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return text;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(CommandLine, HelpWrongArgumentsAndUnwritableFiles) {
    struct Row {
        const char* command;
        const char* args;
        int status;
        std::vector<std::string> out; // parts of the standard output
        std::vector<std::string> err; // parts of the standard error
    } rows[] = {
        {"kestrel-csv",
         "--help",
         0,
         {"使い方:", "kestrel-csv [--summary]", "--summary", "--utf8", "--cp932", "--days 日数",
          "-o ファイル", "--help", "終了状態:"},
         {}},
        {"kestrel-roster",
         "--help",
         0,
         {"使い方:", "--to ファイル.csv", "--from ファイル.csv", "--write",
          "--template ファイル.csv", "--utf8", "終了状態:"},
         {}},
        {"kestrel-doctor",
         "--help",
         0,
         {"使い方:", "--json", "--folder プログラムのフォルダ", "--locks", "--hash-password",
          "終了状態:"},
         {}},
        {"kestrel-csv",
         "--days abc",
         2,
         {},
         {"「--days abc」の「abc」は日数になりません", "1 以上の整数", "kestrel-csv --help"}},
        {"kestrel-csv", "--days 0", 2, {}, {"「--days 0」の「0」は日数になりません"}},
        {"kestrel-csv", "--days", 2, {}, {"「--days」の後に日数を書きます"}},
        {"kestrel-csv", "--bogus", 2, {}, {"「--bogus」という指定はありません"}},
        {"kestrel-csv", "--utf8 --cp932", 2, {}, {"どちらか一つ"}},
        {"kestrel-roster", "--bogus", 2, {}, {"「--bogus」という指定はありません", "--help"}},
        {"kestrel-roster", "--to", 2, {}, {"「--to」の後にファイル.csvを書きます"}},
        {"kestrel-roster", "a.csv", 2, {}, {"「a.csv」は指定の名前ではありません"}},
        {"kestrel-roster", "--from a.csv --to b.csv", 2, {}, {"どれか一つ"}},
        {"kestrel-doctor", "--bogus", 2, {}, {"「--bogus」という指定はありません"}},
        {"kestrel-doctor", "--hash-password --json", 2, {}, {"「--hash-password」"}},
        {"kestrel-doctor", "--folder", 2, {}, {"「--folder」の後にプログラムのフォルダを書きます"}},
        // The system's reason for a file that cannot be written.
        {"kestrel-csv",
         "-o {root}/none/r.csv",
         1,
         {},
         {"none/r.csv」に書き込めません（ファイルまたはフォルダがありません）"}},
        {"kestrel-roster",
         "--to {root}/none/r.csv",
         1,
         {},
         {"none/r.csv」に書き込めません（ファイルまたはフォルダがありません）"}},
        {"kestrel-roster",
         "--template {root}/none/r.csv",
         1,
         {},
         {"none/r.csv」に書き込めません（ファイルまたはフォルダがありません）"}},
        {"kestrel-roster", "--template {root}/パスデータ.txt", 1, {}, {"もうあります"}},
    };
    TestSchool s;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.command) + " " + row.args);
        const Ran r = run(s, row.command, row.args);
        EXPECT_EQ(r.status, row.status) << r.out << r.err;
        for (const std::string& part : row.out)
            EXPECT_TRUE(contains(r.out, part)) << part << "\n" << r.out;
        for (const std::string& part : row.err)
            EXPECT_TRUE(contains(r.err, part)) << part << "\n" << r.err;
        if (row.status == 0) {
            EXPECT_EQ(r.err, "");
        } else if (row.status == 2) {
            EXPECT_EQ(r.out, "");
        }
    }
}

TEST(CommandLine, ARosterInTheWrongEncodingIsToldAlikeByEveryTool) {
    TestSchool s;
    const std::string utf8 = "1,2016,0,0,山田　花子,0,,\r\n";
    ASSERT_THROW(cp932ToUtf8(utf8), std::invalid_argument);
    const fs::path roster = s.inst.file(Installation::kRosterFile);
    writeBytes(roster, utf8);
    const std::string message = cli::wrongEncodingMessage(roster);
    EXPECT_TRUE(
        contains(message, "「kestrel-roster --from \"" + displayPath(roster) + "\" --write」"));
    // Another file's fix converts a copy under another name: a shell told
    // to write the file it reads empties it first.
    const std::string config = cli::wrongEncodingMessage(s.inst.file(Installation::kConfigFile));
    EXPECT_TRUE(contains(config, "「mv 共通データ.txt 共通データ-utf8.txt」としてから「iconv -f "
                                 "UTF-8 -t CP932 共通データ-utf8.txt > 共通データ.txt」"))
        << config;
    for (const std::string& m : {message, config})
        EXPECT_FALSE(contains(m, "元のファイル >")) << m;

    struct Row {
        const char* command;
        const char* args;
        bool onStdout; // the doctor reports on its standard output
    } rows[] = {
        {"kestrel-csv", "-o {root}/r.csv", false},
        {"kestrel-csv", "--summary", false},
        {"kestrel-roster", "--to {root}/r.csv", false},
        {"kestrel-doctor", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.command) + " " + row.args);
        const Ran r = run(s, row.command, row.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(row.onStdout ? r.out : r.err, message)) << r.out << r.err;
    }
    EXPECT_FALSE(fs::exists(s.inst.root() / "r.csv"));
}

TEST(CommandLine, ARosterSheetIsReadAsCsvOnlyAndItsTemplateHasTheHeader) {
    TestSchool s;
    const std::string before = readBytes(s.inst.file(Installation::kRosterFile));
    struct Row {
        const char* file;
        std::string bytes;
    } rows[] = {
        {"class.xlsx", std::string("PK\x03\x04", 4) + "xl/workbook.xml"},
        {"class.ods", std::string("PK\x03\x04", 4) + "mimetypeapplication/vnd.oasis"},
        {"class.csv", std::string("PK\x03\x04", 4) + "renamed"},
        {"class.xls", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        writeBytes(s.inst.root() / row.file, row.bytes);
        const Ran r =
            run(s, "kestrel-roster", std::string("--from {root}/") + row.file + " --write");
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(contains(r.err, "CSV ファイルではありません")) << r.err;
        EXPECT_TRUE(contains(r.err, "「CSV」")) << r.err;
        EXPECT_EQ(readBytes(s.inst.file(Installation::kRosterFile)), before);
    }

    for (const char* encoding : {"", " --utf8"}) {
        SCOPED_TRACE(encoding);
        fs::remove(s.inst.root() / "new.csv");
        const Ran made =
            run(s, "kestrel-roster", std::string("--template {root}/new.csv") + encoding);
        ASSERT_EQ(made.status, 0) << made.err;
        const std::string sheet = readBytes(s.inst.root() / "new.csv");
        EXPECT_EQ(sheet, rosterSheet({}, *encoding != '\0'));
        // A student written under the header reads back without a problem.
        const std::string student = "5,2016,0,0,林　ゆい,0,,\r\n";
        writeBytes(s.inst.root() / "new.csv",
                   sheet + (*encoding != '\0' ? student : utf8ToCp932(student)));
        const Ran back = run(s, "kestrel-roster", "--from {root}/new.csv");
        EXPECT_EQ(back.status, 0) << back.out << back.err;
        EXPECT_TRUE(contains(back.out, "生徒 1 行")) << back.out;
        EXPECT_TRUE(contains(back.out, "問題はありません")) << back.out;
    }
}

TEST(CommandLine, TheCsvIsUtf8AtATerminalAndCp932ElsewhereUnlessAsked) {
    TestSchool s;
    const std::string header = "番号,日付,時刻";
    const std::string cp932Header = utf8ToCp932(header);
    const std::string bom = "\xEF\xBB\xBF";
    struct Row {
        bool terminal;
        std::vector<std::string> args;
        std::string starts;
    } rows[] = {
        {true, {}, header},
        {true, {"--cp932"}, cp932Header},
        {true, {"--utf8"}, bom + header},
        {false, {}, cp932Header}, // into a file or a pipe
        {false, {"--utf8"}, bom + header},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.terminal ? "terminal" : "pipe") << " "
                                        << (row.args.empty() ? "" : row.args[0]));
        std::string out;
        if (row.terminal) {
            out = onTerminal(s.csv, row.args);
        } else {
            out = run(s, "kestrel-csv", row.args.empty() ? "" : row.args[0]).out;
        }
        EXPECT_TRUE(out.starts_with(row.starts)) << out.substr(0, 40);
    }
    // Into a file: CP932 unless asked otherwise.
    ASSERT_EQ(run(s, "kestrel-csv", "-o {root}/r.csv").status, 0);
    EXPECT_TRUE(readBytes(s.inst.root() / "r.csv").starts_with(cp932Header));
}

TEST(CommandLine, HashPasswordAsksAgainAndRefusesAnEmptyOne) {
    struct Row {
        const char* what;
        const char* typed;
        int status;
        const char* says;
    } rows[] = {
        {"agreed at once", "abc\nabc\n", 0, ""},
        {"agreed at the second try", "abc\nabd\nabc\nabc\n", 0, "ちがいます。もう一度"},
        {"an empty one and then agreed", "\nabc\nabc\n", 0, "空のパスワードは使えません"},
        {"three different pairs", "a\nb\nc\nd\ne\nf\ng\nh\n", 1, "3 回とも"},
        {"three empty ones", "\n\n\nabc\nabc\n", 1, "空のパスワードは使えません"},
        {"the input ends", "abc\n", 1, "入力されませんでした"},
    };
    TestSchool s;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path typed = s.inst.root() / "typed.txt";
        const fs::path out = s.inst.root() / "hash.out", err = s.inst.root() / "hash.err";
        writeBytes(typed, row.typed);
        const int status = std::system((kDoctor + " --hash-password < " + typed.string() + " > " +
                                        out.string() + " 2> " + err.string())
                                           .c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, row.status);
        const std::string said = readBytes(err);
        EXPECT_TRUE(contains(said, row.says)) << said;
        EXPECT_EQ(contains(readBytes(out), "$y$"), row.status == 0);
    }
}
