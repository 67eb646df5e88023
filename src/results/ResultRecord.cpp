#include "results/ResultRecord.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

#include "platform/Utf8Path.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

void putText(unsigned char* out, const ResultText& text) {
    for (size_t i = 0; i < kResultTextSize; ++i)
        out[i] = static_cast<unsigned char>(text[i]);
}

bool isLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Converts character by character so that one unmappable character does not
// cost the whole field.
std::string toCp932Lenient(std::string_view utf8) {
    try {
        return utf8ToCp932(utf8);
    } catch (const std::invalid_argument&) {
    }
    std::string out;
    size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        len = std::min(len, utf8.size() - i);
        try {
            out += utf8ToCp932(utf8.substr(i, len));
        } catch (const std::invalid_argument&) {
            out += '?';
        }
        i += len;
    }
    return out;
}

} // namespace

ResultBytes encodeResultRecord(const ResultRecord& r) {
    ResultBytes b{};
    le::writeDouble(&b[field_at::date], r.date);
    le::writeDouble(&b[field_at::timeOfDay], r.timeOfDay);
    le::write(&b[field_at::level], r.level);
    writeRecordedRun(b.data(), r.studentNumber, r.seconds);
    putText(&b[field_at::schoolCode], r.schoolCode);
    putText(&b[field_at::pointsText], r.pointsText);
    putText(&b[field_at::countText], r.countText);
    putText(&b[field_at::spareText], r.spareText);
    return b;
}

void writeRecordedRun(unsigned char* b, int16_t studentNumber, int32_t seconds) {
    le::write(&b[field_at::studentNumber], studentNumber);
    le::write(&b[field_at::seconds], seconds);
}

ResultText resultText(std::string_view utf8) {
    const std::string bytes = toCp932Lenient(utf8);
    ResultText t{' ', ' ', ' ', ' ', ' '};
    size_t i = 0;
    while (i < bytes.size()) {
        const size_t len = isLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        if (i + len > kResultTextSize || i + len > bytes.size()) break;
        for (size_t k = 0; k < len; ++k)
            t[i + k] = bytes[i + k];
        i += len;
    }
    return t;
}

std::string resultTextUtf8(const ResultText& field) {
    const std::string_view bytes(field.data(), field.size());
    try {
        return cp932ToUtf8(bytes);
    } catch (const std::invalid_argument&) {
        std::string out;
        for (char c : bytes)
            out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
        return out;
    }
}

std::filesystem::path resultsLogPath(const AppFolders& folders) {
    return pathFromUtf8(folders.DataFolder, kResultsLogName);
}

} // namespace kestrel
