#include "platform/Win32Audio.h"
#include "platform/SystemServices.h"

#include <windows.h>

#include <mmsystem.h>

#include <algorithm>

#include "platform/Win32Text.h"

namespace kestrel {
namespace {

// The file's name as the multimedia commands take it. Some of their
// implementations (Wine's) open only names of the ANSI code page, and the
// sound files have Japanese names: the short (8.3) name, all ASCII, stands
// in where the volume keeps one; elsewhere the name stays as it is.
std::wstring mciName(const std::filesystem::path& file) {
    const std::wstring name = std::filesystem::path(file).make_preferred().wstring();
    const auto ascii = [](const std::wstring& s) {
        return std::all_of(s.begin(), s.end(), [](wchar_t c) { return c < 0x80; });
    };
    if (ascii(name)) return name;
    std::wstring shortName(MAX_PATH, L'\0');
    DWORD n =
        GetShortPathNameW(name.c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
    if (n >= shortName.size()) {
        shortName.resize(n);
        n = GetShortPathNameW(name.c_str(), shortName.data(), n);
    }
    if (n == 0 || n >= shortName.size()) return name;
    shortName.resize(n);
    return ascii(shortName) ? shortName : name;
}

std::string mciText(MCIERROR code) {
    wchar_t text[256] = {};
    if (!mciGetErrorStringW(code, text, 256) || text[0] == L'\0')
        return "MCI error " + std::to_string(code);
    return utf8FromWide(text);
}

} // namespace

PlayResult loadWavFile(const std::filesystem::path& wavFile) {
    const std::wstring open =
        L"open \"" + mciName(wavFile) + L"\" type waveaudio alias kestrelcheck";
    const MCIERROR rc = mciSendStringW(open.c_str(), nullptr, 0, nullptr);
    if (rc != 0) return PlayResult{false, mciText(rc)};
    mciSendStringW(L"close kestrelcheck", nullptr, 0, nullptr);
    return PlayResult{};
}

PlayResult Win32Audio::playToEnd(const std::filesystem::path& wavFile) {
    // A path with a quote cannot be written into the command; Windows
    // allows none in file names.
    const std::wstring command = L"play \"" + mciName(wavFile) + L"\" wait";
    const MCIERROR rc = mciSendStringW(command.c_str(), nullptr, 0, nullptr);
    if (rc != 0) return PlayResult{false, mciText(rc)};
    return PlayResult{};
}

} // namespace kestrel
