#include "text/LeadingNumber.h"

#include <cstdlib>
#include <string>

namespace kestrel {

double leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::string digits;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) digits += text[i++];
    bool seenPoint = false, seenDigit = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            seenDigit = true;
        } else if (c == '.' && !seenPoint) {
            digits += c;
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!seenDigit) return 0.0;
    return std::strtod(digits.c_str(), nullptr);
}

} // namespace kestrel
