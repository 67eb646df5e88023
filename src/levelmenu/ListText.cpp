#include "levelmenu/ListText.h"

namespace kestrel {
namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offset of the character after the first n characters.
size_t byteOffset(std::string_view text, size_t n) {
    size_t i = 0;
    while (i < text.size() && n > 0) {
        ++i;
        while (i < text.size() && isContinuation(text[i]))
            ++i;
        --n;
    }
    return i;
}

} // namespace

size_t charCount(std::string_view text) {
    size_t n = 0;
    for (char c : text)
        if (!isContinuation(c)) ++n;
    return n;
}

std::string leftChars(std::string_view text, size_t n) {
    return std::string(text.substr(0, byteOffset(text, n)));
}

std::string rightChars(std::string_view text, size_t n) {
    const size_t count = charCount(text);
    if (count <= n) return std::string(text);
    return std::string(text.substr(byteOffset(text, count - n)));
}

std::string midChars(std::string_view text, size_t start, size_t n) {
    if (start < 1) start = 1;
    const size_t from = byteOffset(text, start - 1);
    const std::string_view rest = text.substr(from);
    return std::string(rest.substr(0, byteOffset(rest, n)));
}

std::string trimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ')
        --end;
    return std::string(text.substr(0, end));
}

std::string signedField(long long value) {
    return (value < 0 ? "" : " ") + std::to_string(value);
}

} // namespace kestrel
