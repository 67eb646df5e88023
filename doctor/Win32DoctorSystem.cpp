#include <windows.h>

#include <atomic>
#include <iostream>

#include "DoctorSystem.h"
#include "platform/Win32Text.h"

namespace kestrel::doctor {
namespace {

std::atomic<bool> g_stop{false};

BOOL WINAPI onConsoleEvent(DWORD) {
    g_stop = true;
    return TRUE; // handled: the lock test notices and cleans up
}

int CALLBACK onFontFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

} // namespace

bool fontInstalled(const std::string& family) {
    const std::wstring name = wideFromUtf8(family);
    if (name.empty() || name.size() >= LF_FACESIZE) return false;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    name.copy(wanted.lfFaceName, name.size());
    bool found = false;
    const HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, onFontFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// Windows' own Japanese fonts, and Meiryo for what they lack. MS Gothic's
// zero is plain: the digits need no font of their own.
ScreenFonts screenFonts() {
    return {
        {"MS Gothic", "MS PGothic", "MS Mincho", "MS PMincho", "Meiryo"},
        "ＭＳ ゴシック、ＭＳ 明朝とメイリオ",
        "Windows の「設定」の「アプリ」→「オプション機能」で「日本語の追加フォント」を入れます。",
        "",
        ""};
}

// At a console the line is read as UTF-16 without echo, so that a Japanese
// password arrives as the same UTF-8 bytes a Linux terminal gives.
bool readSecret(const char* prompt, std::string& out) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in == INVALID_HANDLE_VALUE || !GetConsoleMode(in, &mode)) {
        const bool got = static_cast<bool>(std::getline(std::cin, out));
        if (!out.empty() && out.back() == '\r') out.pop_back();
        return got;
    }
    std::cerr << prompt << std::flush;
    SetConsoleMode(in, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring line;
    wchar_t buffer[256];
    DWORD got = 0;
    bool ended = false;
    while (!ended && ReadConsoleW(in, buffer, 256, &got, nullptr) && got > 0) {
        line.append(buffer, got);
        ended = line.find(L'\n') != std::wstring::npos;
    }
    SetConsoleMode(in, mode);
    std::cerr << "\n";
    if (!ended && line.empty()) return false;
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r'))
        line.pop_back();
    out = utf8FromWide(line);
    return true;
}

std::string hostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size) || size == 0) return "pc";
    return utf8FromWide(std::wstring_view(name, size));
}

void catchStopRequests() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopRequested() {
    return g_stop;
}

} // namespace kestrel::doctor
