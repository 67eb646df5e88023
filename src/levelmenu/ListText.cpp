#include "levelmenu/ListText.h"

namespace kestrel {

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

std::string signedField(long long value) {
    return (value < 0 ? "" : " ") + std::to_string(value);
}

} // namespace kestrel
