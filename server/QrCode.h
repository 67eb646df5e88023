#pragma once
// The server's address as a QR code, for a teacher to show on the
// projector: drawn with block characters for a terminal, or as a PNG file.
#include <filesystem>
#include <string>

namespace kestrel::server {

// The code of `text` in lines of block characters, two modules to a
// character cell, light modules drawn as blocks (a terminal's text is light
// on dark), with the quiet zone around it. Empty when it cannot be encoded.
std::string qrTerminalText(const std::string& text);

// The code of `text` as a black-on-white PNG, `pixels` pixels to a module.
// False with `error` set when it cannot be encoded or written.
bool writeQrPng(const std::string& text, const std::filesystem::path& file, int pixels,
                std::string& error);

} // namespace kestrel::server
