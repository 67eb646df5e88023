// The setup check of an installation, for the school's IT person: reads
// every file the program reads, as the program reads it, and says in one
// Japanese line per finding what is wrong and what to do. It finds the
// shared folder as the program does, through the path file beside its own
// folder, and changes none of the school's files.
//
//   kestrel-doctor [--json] [--folder PROGRAM_FOLDER] [--server PORT]
//   kestrel-doctor --locks [--json] [--folder PROGRAM_FOLDER]
//   kestrel-doctor --hash-password
//
// Exit status: 0 when no line is an error, 1 when one is, 2 for a wrong
// command line.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "DoctorSystem.h"
#include "ServerCheck.h"
#include "platform/EventPump.h"
#include "platform/PasswordHash.h"
#include "platform/RunningProgram.h"
#include "platform/Terminal.h"
#include "platform/Utf8Path.h"
#include "setup/CommandLine.h"
#include "setup/LockTest.h"
#include "setup/SetupCheck.h"
#include "startup/Folders.h"

#include "platform/SystemServices.h"

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

class RealProbes : public SetupProbes {
public:
    MountTable& mounts() override { return *m_mounts; }
    bool fontInstalled(const std::string& family) override { return doctor::fontInstalled(family); }
    ScreenFonts screenFonts() override { return doctor::screenFonts(); }
    PlayResult loadSound(const fs::path& wavFile) override { return loadWavFile(wavFile); }

private:
    std::unique_ptr<MountTable> m_mounts = systemMountTable();
};

const cli::CommandSpec& spec() {
    using K = cli::Option::Kind;
    static const cli::CommandSpec s{
        "kestrel-doctor",
        "このパソコンのインストールと共有フォルダを、プログラムと同じように読んで確かめます。"
        "学校のファイルは変えません。",
        {"[--json] [--folder プログラムのフォルダ] [--server ポート番号]",
         "--locks [--json] [--folder プログラムのフォルダ]", "--hash-password"},
        {{"--json", K::Switch, "", "報告を JSON で出します"},
         {"--folder", K::Text, "プログラムのフォルダ",
          "このフォルダのプログラムのインストールを確かめます（ないときは自分のフォルダ）"},
         {"--server", K::PositiveInteger, "ポート番号",
          "このパソコンの教室サーバー（kestrel-server）がそのポートで動いて答えるかも確かめます"},
         {"--locks", K::Switch, "",
          "2 台のパソコンで同時に始めて、成績のファイルのロックが届くかを試します"},
         {"--hash-password", K::Switch, "",
          "先生のパスワードを 2 回たずね、共通データ.txt の 6 行目に書く行を出します"}},
        "0 エラーなし、1 エラーあり、2 指定のまちがい、130 とちゅうで止めた"};
    return s;
}

int usage(const std::string& problem) {
    return cli::usageFailure(spec(), problem);
}

constexpr int kPasswordTries = 3;

int hashPassword() {
    std::string first, second;
    bool agreed = false;
    for (int attempt = 1; attempt <= kPasswordTries && !agreed; ++attempt) {
        if (!doctor::readSecret("新しいパスワード: ", first)) {
            std::cerr << "パスワードが入力されませんでした。\n";
            return 1;
        }
        if (first.empty()) {
            std::cerr << "空のパスワードは使えません。";
        } else if (!doctor::readSecret("もう一度: ", second)) {
            std::cerr << "パスワードが入力されませんでした。\n";
            return 1;
        } else if (first != second) {
            std::cerr << "2 回のパスワードがちがいます。";
        } else {
            agreed = true;
            break;
        }
        std::cerr << (attempt < kPasswordTries ? "もう一度入れます。\n" : "\n");
    }
    if (!agreed) {
        std::cerr << kPasswordTries << " 回ともパスワードが決まらなかったので、やめます。\n";
        return 1;
    }
    const std::string hash = newPasswordHash(first);
    if (hash.empty()) {
        std::cerr << "ハッシュを作れませんでした（libxcrypt が yescrypt を使えません）。\n";
        return 1;
    }
    std::cerr << "共有フォルダの「共通データ.txt」の 6 項目目（6 行目）を、次の行にします:\n";
    std::cout << hash << "\n";
    return 0;
}

std::string thisSide() {
    return doctor::hostName() + "-" + processTag();
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
    const bool json = args.has("--json"), locks = args.has("--locks");
    if (args.has("--hash-password"))
        return args.given.size() == 1
                   ? hashPassword()
                   : usage("「--hash-password」は、ほかの指定といっしょには書けません。");
    fs::path programFile = runningProgramFile();
    // The program file itself need not be there: its folder finds the path file.
    if (args.has("--folder"))
        programFile = fs::absolute(pathFromUtf8(args.value("--folder"))) / "kestrel";

    SystemClock clock;
    SleepingPump events;
    RealProbes probes;
    const std::unique_ptr<SharedFileSystem> systemFiles = systemFileSystem();
    SharedFileSystem& files = *systemFiles;
    std::vector<CheckLine> lines;
    if (locks) {
        doctor::catchStopRequests();
        try {
            const FolderSetup setup = readFolderSetup(programFile);
            LockTestOptions options;
            options.dataFolder = pathFromUtf8(setup.folders.DataFolder);
            options.self = thisSide();
            options.say = [](const std::string& text) { std::cerr << text << std::endl; };
            options.stopped = [] { return doctor::stopRequested(); };
            lines.push_back(runLockTest(files, options));
        } catch (const StartupError& e) {
            lines.push_back({"path-file", Verdict::Error, "", e.what()});
        }
    } else {
        SetupCheckContext context{programFile, probes, files, clock, events, keptRunsFolders()};
        lines = runSetupCheck(context);
        if (args.has("--server")) lines.push_back(doctor::checkServer(args.number("--server")));
    }
    std::cout << (json ? reportJson(lines) : reportText(lines)) << std::flush;
    if (doctor::stopRequested()) return 130;
    return hasErrors(lines) ? 1 : 0;
}
