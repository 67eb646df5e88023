// The setup check of an installation, for the school's IT person: reads
// every file the program reads, as the program reads it, and says in one
// Japanese line per finding what is wrong and what to do. It finds the
// shared folder as the program does, through the path file beside its own
// folder, and changes none of the school's files.
//
//   kestrel-doctor [--json] [--folder PROGRAM_FOLDER]
//   kestrel-doctor --locks [--json] [--folder PROGRAM_FOLDER]
//   kestrel-doctor --hash-password
//
// Exit status: 0 when no line is an error, 1 when one is, 2 for a wrong
// command line.
#include <filesystem>
#include <iostream>
#include <string>

#include "DoctorSystem.h"
#include "platform/EventPump.h"
#include "platform/PasswordHash.h"
#include "platform/PosixMountTable.h"
#include "platform/PosixSharedFile.h"
#include "platform/RunningProgram.h"
#include "platform/SdlAudio.h"
#include "setup/LockTest.h"
#include "setup/SetupCheck.h"
#include "startup/Folders.h"

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

class RealProbes : public SetupProbes {
public:
    MountTable& mounts() override { return m_mounts; }
    bool fontInstalled(const std::string& family) override { return doctor::fontInstalled(family); }
    PlayResult loadSound(const fs::path& wavFile) override { return loadWavFile(wavFile); }

private:
    ProcMountTable m_mounts;
};

int usage() {
    std::cerr << "使い方: kestrel-doctor [--json] [--folder プログラムのフォルダ]\n"
                 "        kestrel-doctor --locks [--json] [--folder プログラムのフォルダ]\n"
                 "        kestrel-doctor --hash-password\n";
    return 2;
}

int hashPassword() {
    std::string first, second;
    if (!doctor::readSecret("新しいパスワード: ", first) ||
        !doctor::readSecret("もう一度: ", second)) {
        std::cerr << "パスワードが入力されませんでした。\n";
        return 1;
    }
    if (first != second) {
        std::cerr << "2 回のパスワードがちがいます。もう一度やりなおします。\n";
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
    bool json = false, locks = false, hash = false;
    fs::path programFile = runningProgramFile();
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--locks") {
            locks = true;
        } else if (a == "--hash-password") {
            hash = true;
        } else if (a == "--folder" && i + 1 < argc) {
            // The program file itself need not be there: its folder finds the path file.
            programFile = fs::absolute(argv[++i]) / "kestrel";
        } else {
            return usage();
        }
    }
    if (hash) return argc == 2 ? hashPassword() : usage();

    SystemClock clock;
    SleepingPump events;
    RealProbes probes;
    PosixSharedFileSystem files;
    std::vector<CheckLine> lines;
    if (locks) {
        doctor::catchStopRequests();
        try {
            const FolderSetup setup = readFolderSetup(programFile);
            LockTestOptions options;
            options.dataFolder = setup.folders.DataFolder;
            options.self = thisSide();
            options.say = [](const std::string& text) { std::cerr << text << std::endl; };
            options.stopped = [] { return doctor::stopRequested(); };
            lines.push_back(runLockTest(files, options));
        } catch (const StartupError& e) {
            lines.push_back({"path-file", Verdict::Error, "", e.what()});
        }
    } else {
        SetupCheckContext context{programFile, probes, files, clock, events};
        lines = runSetupCheck(context);
    }
    std::cout << (json ? reportJson(lines) : reportText(lines)) << std::flush;
    if (doctor::stopRequested()) return 130;
    return hasErrors(lines) ? 1 : 0;
}
