#pragma once
// Conversion between the program's UTF-8 and Windows' Japanese code page
// (CP932, not strict Shift_JIS: "－" and "～" map as Windows maps them).
#include <cstddef>
#include <string>
#include <string_view>

namespace kestrel {

enum class TextEncoding { Utf8, Cp932 };

// `in` in the other encoding into `out`. False when a byte or character has
// no counterpart there; its offset in `in` is then in `failedAt`. Throws
// std::runtime_error when the system cannot convert between the two at all.
bool convertText(std::string_view in, TextEncoding from, TextEncoding to, std::string& out,
                 size_t& failedAt);

} // namespace kestrel
