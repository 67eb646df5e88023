#include "text/LeadingNumber.h"

#include <cstdlib>
#include <string>

namespace kestrel {

namespace {

// The characters of the leading number; false when it holds no digit.
bool scanLeadingNumber(std::string_view text, std::string& digits) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
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
    return seenDigit;
}

} // namespace

double leadingNumber(std::string_view text) {
    std::string digits;
    if (!scanLeadingNumber(text, digits)) return 0.0;
    return std::strtod(digits.c_str(), nullptr);
}

bool hasLeadingNumber(std::string_view text) {
    std::string digits;
    return scanLeadingNumber(text, digits);
}

} // namespace kestrel
