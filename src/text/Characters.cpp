#include "text/Characters.h"

namespace kestrel {
namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

size_t characterCount(std::string_view text) {
    size_t n = 0;
    for (char c : text)
        if (!isContinuation(c)) ++n;
    return n;
}

std::string firstCharacters(std::string_view text, size_t count) {
    size_t i = 0, n = 0;
    while (i < text.size() && n < count) {
        ++i;
        while (i < text.size() && isContinuation(text[i]))
            ++i;
        ++n;
    }
    return std::string(text.substr(0, i));
}

std::string rightChars(std::string_view text, size_t n) {
    const size_t count = characterCount(text);
    if (count <= n) return std::string(text);
    return std::string(text.substr(firstCharacters(text, count - n).size()));
}

std::string midChars(std::string_view text, size_t start, size_t n) {
    if (start < 1) start = 1;
    const std::string_view rest = text.substr(firstCharacters(text, start - 1).size());
    return firstCharacters(rest, n);
}

std::string trimSpaces(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    return std::string(text.substr(b, e - b));
}

std::string fixedText(std::string_view text, int length) {
    const auto want = static_cast<size_t>(length);
    std::string cut = firstCharacters(text, want);
    const size_t have = characterCount(cut);
    if (have < want) cut.append(want - have, ' ');
    return cut;
}

Utf8Char utf8At(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return {1, c};
    size_t n = 0;
    char32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        code = c & 0x07;
    } else {
        return {};
    }
    if (i + n > s.size()) return {};
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return {};
        code = (code << 6) | (b & 0x3F);
    }
    if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return {};
    return {n, code};
}

bool isUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const Utf8Char c = utf8At(s, i);
        if (c.length == 0) return false;
        i += c.length;
    }
    return true;
}

std::string signedField(long long value) {
    return (value < 0 ? "" : " ") + std::to_string(value);
}

} // namespace kestrel
