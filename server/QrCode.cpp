#include "QrCode.h"

#include <qrencode.h>
#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/Utf8Path.h"

namespace kestrel::server {
namespace {

constexpr int kQuietZone = 4; // modules of light border the readers need

// The modules of the code, row by row, true for dark; `width` modules a side
// without the quiet zone. Empty when the text cannot be encoded.
std::vector<bool> modulesOf(const std::string& text, int& width) {
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code) return {};
    width = code->width;
    std::vector<bool> dark(static_cast<size_t>(width) * static_cast<size_t>(width));
    for (size_t i = 0; i < dark.size(); ++i)
        dark[i] = (code->data[i] & 1) != 0;
    return dark;
}

void putBigEndian(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void putChunk(std::string& out, const char* type, const std::string& data) {
    putBigEndian(out, static_cast<uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    putBigEndian(out, static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(typed.data()),
                                                  static_cast<uInt>(typed.size()))));
}

} // namespace

std::string qrTerminalText(const std::string& text) {
    int width = 0;
    const std::vector<bool> dark = modulesOf(text, width);
    if (dark.empty()) return {};
    const int side = width + 2 * kQuietZone;
    auto light = [&](int x, int y) {
        x -= kQuietZone;
        y -= kQuietZone;
        if (x < 0 || y < 0 || x >= width || y >= width) return true;
        return !dark[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    };
    std::string out;
    for (int y = 0; y < side; y += 2) {
        for (int x = 0; x < side; ++x) {
            const bool top = light(x, y);
            const bool bottom = y + 1 < side ? light(x, y + 1) : false;
            out += top && bottom ? "█" : top ? "▀" : bottom ? "▄" : " ";
        }
        out += "\n";
    }
    return out;
}

bool writeQrPng(const std::string& text, const std::filesystem::path& file, int pixels,
                std::string& error) {
    int width = 0;
    const std::vector<bool> dark = modulesOf(text, width);
    if (dark.empty()) {
        error = "QRコードを作れません";
        return false;
    }
    const int side = (width + 2 * kQuietZone) * pixels;
    // One grey byte per pixel, each row after its filter byte (0: none).
    std::string raw;
    raw.reserve(static_cast<size_t>(side) * static_cast<size_t>(side + 1));
    for (int y = 0; y < side; ++y) {
        raw.push_back(0);
        const int my = y / pixels - kQuietZone;
        for (int x = 0; x < side; ++x) {
            const int mx = x / pixels - kQuietZone;
            const bool isDark = mx >= 0 && my >= 0 && mx < width && my < width &&
                                dark[static_cast<size_t>(my) * static_cast<size_t>(width) +
                                     static_cast<size_t>(mx)];
            raw.push_back(isDark ? 0 : static_cast<char>(0xFF));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        error = "QRコードの画像を作れません";
        return false;
    }
    packed.resize(packedSize);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    putBigEndian(header, static_cast<uint32_t>(side));
    putBigEndian(header, static_cast<uint32_t>(side));
    header += std::string("\x08\x00\x00\x00\x00", 5); // 8-bit grey, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", packed);
    putChunk(png, "IEND", "");

    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    out.close();
    if (!out) {
        error = "「" + utf8OfPath(file) + "」に書き込めません";
        return false;
    }
    return true;
}

} // namespace kestrel::server
