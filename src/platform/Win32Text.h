#pragma once
// UTF-8 and UTF-16 on Windows: the program's text is UTF-8, the system's
// wide calls take and give UTF-16.
#include <string>
#include <string_view>

namespace kestrel {

// Unpaired surrogates and invalid bytes become U+FFFD.
std::string utf8FromWide(std::wstring_view wide);
std::wstring wideFromUtf8(std::string_view utf8);

} // namespace kestrel
