#include <windows.h>

#include <array>
#include <stdexcept>

#include "platform/TextCodec.h"

namespace kestrel {
namespace {

constexpr UINT kCp932 = 932;

// Characters that the Linux PCs' CP932 writes as these bytes although
// Windows has no exact mapping for them (they are what old Japanese
// software wrote for the same marks): both systems write the same file.
struct Extra {
    char32_t code;
    const char* bytes;
};
constexpr std::array kExtras = {
    Extra{0x00A2, "\x81\x91"}, // ¢
    Extra{0x00A3, "\x81\x92"}, // £
    Extra{0x00A5, "\x5C"},     // ¥
    Extra{0x00AC, "\x81\xCA"}, // ¬
    Extra{0x2014, "\x81\x5C"}, // — EM DASH
    Extra{0x2016, "\x81\x61"}, // ‖
    Extra{0x203E, "\x7E"},     // ‾ OVERLINE
    Extra{0x2212, "\x81\x7C"}, // − MINUS SIGN
    Extra{0x301C, "\x81\x60"}, // 〜 WAVE DASH
};

// The next character of UTF-8 text, strictly: no overlong forms, no
// surrogates, nothing past U+10FFFF. 0 bytes when `in` does not start with one.
size_t nextUtf8(std::string_view in, char32_t& code) {
    const auto b = [&](size_t i) { return static_cast<unsigned char>(in[i]); };
    if (in.empty()) return 0;
    const unsigned char c = b(0);
    size_t n = 0;
    char32_t min = 0;
    if (c < 0x80) {
        code = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2, code = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, code = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, code = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (in.size() < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (b(i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

// One character into CP932 bytes, exactly or not at all.
bool encodeOne(char32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return true;
    }
    for (const Extra& e : kExtras)
        if (e.code == code) {
            out += e.bytes;
            return true;
        }
    if (code > 0xFFFF) return false; // CP932 holds nothing outside the BMP
    // Windows' stand-ins for the bytes that are no characters (see decodeOne).
    if (code == 0x80 || (code >= 0xF8F0 && code <= 0xF8F3)) return false;
    const wchar_t wide = static_cast<wchar_t>(code);
    char bytes[4];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes,
                                      nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.append(bytes, static_cast<size_t>(n));
    return true;
}

bool leadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// One CP932 character (one or two bytes) into UTF-16; 0 when it is none.
size_t decodeOne(std::string_view in, std::wstring& out) {
    const auto c = static_cast<unsigned char>(in[0]);
    // 0x80, 0xA0 and 0xFD..0xFF are no characters of CP932 (Windows gives
    // them private code points; the Linux PCs refuse them, and so does this).
    if (c == 0x80 || c == 0xA0 || c >= 0xFD) return 0;
    const size_t n = leadByte(c) ? 2 : 1;
    if (in.size() < n) return 0;
    wchar_t wide[2];
    const int got =
        MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(n), wide, 2);
    if (got != 1) return 0;
    out += wide[0];
    return n;
}

std::string utf8Of(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    if (n <= 0) throw std::runtime_error("WideCharToMultiByte(CP_UTF8) failed");
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

bool utf8ToCp932(std::string_view in, std::string& out, size_t& failedAt) {
    out.clear();
    out.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        char32_t code = 0;
        const size_t n = nextUtf8(in.substr(i), code);
        if (n == 0 || !encodeOne(code, out)) {
            failedAt = i;
            out.clear();
            return false;
        }
        i += n;
    }
    return true;
}

bool cp932ToUtf8(std::string_view in, std::string& out, size_t& failedAt) {
    std::wstring wide;
    wide.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c < 0x80) {
            wide += static_cast<wchar_t>(c);
            ++i;
            continue;
        }
        const size_t n = decodeOne(in.substr(i), wide);
        if (n == 0) {
            failedAt = i;
            out.clear();
            return false;
        }
        i += n;
    }
    out = utf8Of(wide);
    return true;
}

} // namespace

bool convertText(std::string_view in, TextEncoding from, TextEncoding to, std::string& out,
                 size_t& failedAt) {
    if (!IsValidCodePage(kCp932))
        throw std::runtime_error("Windows cannot convert CP932 (code page 932 is not installed)");
    if (from == to) {
        // Checked as a conversion is: invalid text is refused either way.
        std::string through;
        for (size_t i = 0; from == TextEncoding::Utf8 && i < in.size();) {
            char32_t code = 0;
            const size_t n = nextUtf8(in.substr(i), code);
            if (n == 0) {
                failedAt = i;
                out.clear();
                return false;
            }
            i += n;
        }
        if (from == TextEncoding::Cp932 && !cp932ToUtf8(in, through, failedAt)) {
            out.clear();
            return false;
        }
        out.assign(in);
        return true;
    }
    return from == TextEncoding::Utf8 ? utf8ToCp932(in, out, failedAt)
                                      : cp932ToUtf8(in, out, failedAt);
}

} // namespace kestrel
