#pragma once
// The number at the start of a text: leading blanks skipped, an optional
// sign, digits and one decimal point, up to the first other character.
// A text without such a number reads as 0 ("1,000" reads 1, "40+" reads 40).
#include <string_view>

namespace kestrel {

double leadingNumber(std::string_view text);

// Whether the text starts with a number at all: "+", "." or "*5" read as 0
// without holding one, which a caller that must not take them for 0 asks.
bool hasLeadingNumber(std::string_view text);

} // namespace kestrel
