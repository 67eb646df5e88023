#pragma once
// Fixed-width fields of list lines, counted in characters of UTF-8 text
// (a full-width character is one character, as on the screen's lists).
// The character count and the first characters are the roster's.
#include <string>
#include <string_view>

#include "roster/Roster.h"

namespace kestrel {

// The last n characters (all of the text when it is shorter).
std::string rightChars(std::string_view text, size_t n);
// n characters from the 1-based character `start` on.
std::string midChars(std::string_view text, size_t start, size_t n);
// A number as a list line writes it: a blank in front of a positive or
// zero value, "-" in front of a negative one.
std::string signedField(long long value);

} // namespace kestrel
