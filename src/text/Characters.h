#pragma once
// Characters of UTF-8 text as the screens count them (a full-width
// character is one character), and the fixed-width fields of list lines.
#include <string>
#include <string_view>

namespace kestrel {

// Length of UTF-8 text in characters, and its first `count` characters.
size_t characterCount(std::string_view text);
std::string firstCharacters(std::string_view text, size_t count);
// The last n characters (all of the text when it is shorter).
std::string rightChars(std::string_view text, size_t n);
// n characters from the 1-based character `start` on.
std::string midChars(std::string_view text, size_t start, size_t n);
// Drops ASCII spaces at both ends.
std::string trimSpaces(std::string_view text);
// Text cut or padded with spaces to `length` characters.
std::string fixedText(std::string_view text, int length);
// One UTF-8 character at byte `i`: its length in bytes and its code point;
// length 0 where the bytes there are no UTF-8 (a stray byte, an overlong
// form, a surrogate, a code point past U+10FFFF).
struct Utf8Char {
    size_t length = 0;
    char32_t code = 0;
};
Utf8Char utf8At(std::string_view text, size_t i);
// Whether the whole text is UTF-8.
bool isUtf8(std::string_view text);

// A number as a list line writes it: a blank in front of a positive or
// zero value, "-" in front of a negative one.
std::string signedField(long long value);

} // namespace kestrel
