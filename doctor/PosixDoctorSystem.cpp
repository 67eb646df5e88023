#include <fontconfig/fontconfig.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "DoctorSystem.h"

namespace kestrel::doctor {
namespace {

volatile sig_atomic_t g_stop = 0;
void onStop(int) {
    g_stop = 1;
}

} // namespace

bool fontInstalled(const std::string& family) {
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

ScreenFonts screenFonts() {
    return linuxScreenFonts();
}

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

std::string hostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return "pc";
    return host;
}

void catchStopRequests() {
    struct sigaction stop {};
    stop.sa_handler = onStop;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &stop, nullptr);
}

bool stopRequested() {
    return g_stop != 0;
}

} // namespace kestrel::doctor
