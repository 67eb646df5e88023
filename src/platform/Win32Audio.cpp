#include "platform/Win32Audio.h"

#include <windows.h>

#include <mmsystem.h>

#include "platform/Win32Text.h"

namespace kestrel {
namespace {

std::string mciText(MCIERROR code) {
    wchar_t text[256] = {};
    if (!mciGetErrorStringW(code, text, 256) || text[0] == L'\0')
        return "MCI error " + std::to_string(code);
    return utf8FromWide(text);
}

} // namespace

PlayResult loadWavFile(const std::filesystem::path& wavFile) {
    const std::wstring open =
        L"open \"" + wavFile.wstring() + L"\" type waveaudio alias kestrelcheck";
    const MCIERROR rc = mciSendStringW(open.c_str(), nullptr, 0, nullptr);
    if (rc != 0) return PlayResult{false, mciText(rc)};
    mciSendStringW(L"close kestrelcheck", nullptr, 0, nullptr);
    return PlayResult{};
}

PlayResult Win32Audio::playToEnd(const std::filesystem::path& wavFile) {
    // A path with a quote cannot be written into the command; Windows
    // allows none in file names.
    const std::wstring command = L"play \"" + wavFile.wstring() + L"\" wait";
    const MCIERROR rc = mciSendStringW(command.c_str(), nullptr, 0, nullptr);
    if (rc != 0) return PlayResult{false, mciText(rc)};
    return PlayResult{};
}

} // namespace kestrel
