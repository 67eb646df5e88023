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
#include <fontconfig/fontconfig.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "platform/EventPump.h"
#include "platform/PasswordHash.h"
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
    std::vector<Mount> mounts() override { return m_mounts.mounts(); }
    bool fontInstalled(const std::string& family) override {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
        FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
        const bool found = fonts && fonts->nfont > 0;
        if (fonts) FcFontSetDestroy(fonts);
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
        return found;
    }
    PlayResult loadSound(const fs::path& wavFile) override { return loadWavFile(wavFile); }

private:
    ProcMountTable m_mounts;
};

volatile std::sig_atomic_t g_stop = 0;
void onStop(int) {
    g_stop = 1;
}

int usage() {
    std::cerr << "使い方: kestrel-doctor [--json] [--folder プログラムのフォルダ]\n"
                 "        kestrel-doctor --locks [--json] [--folder プログラムのフォルダ]\n"
                 "        kestrel-doctor --hash-password\n";
    return 2;
}

// A line typed at the terminal without echo, or a line of the input.
bool readSecret(const char* prompt, std::string& out) {
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::cerr << prompt << std::flush;
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool got = static_cast<bool>(std::getline(std::cin, out));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << "\n";
    }
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return got;
}

int hashPassword() {
    std::string first, second;
    if (!readSecret("新しいパスワード: ", first) || !readSecret("もう一度: ", second)) {
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
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) std::snprintf(host, sizeof host, "pc");
    return std::string(host) + "-" + std::to_string(::getpid());
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
        struct sigaction stop {};
        stop.sa_handler = onStop;
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(sig, &stop, nullptr);
        try {
            const FolderSetup setup = readFolderSetup(programFile);
            LockTestOptions options;
            options.dataFolder = setup.folders.DataFolder;
            options.self = thisSide();
            options.say = [](const std::string& text) { std::cerr << text << std::endl; };
            options.stopped = [] { return g_stop != 0; };
            lines.push_back(runLockTest(files, options));
        } catch (const StartupError& e) {
            lines.push_back({"path-file", Verdict::Error, "", e.what()});
        }
    } else {
        SetupCheckContext context{programFile, probes, files, clock, events};
        lines = runSetupCheck(context);
    }
    std::cout << (json ? reportJson(lines) : reportText(lines)) << std::flush;
    if (g_stop) return 130;
    return hasErrors(lines) ? 1 : 0;
}
