#pragma once
// One finished run as stored in the shared results log: 44 bytes,
// little-endian, no padding, no file header. Records are numbered from 1;
// the number of records is the file length divided by 44.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "startup/AppFolders.h"

namespace kestrel {

constexpr size_t kResultRecordSize = 44;
constexpr size_t kResultTextSize = 5;
// The log in DataFolder.
inline constexpr const char* kResultsLogName = "成績累積データ.dat";

using ResultText = std::array<char, kResultTextSize>; // raw CP932 bytes

struct ResultRecord {
    double date = 0;      // days since 1899-12-30, no fraction
    double timeOfDay = 0; // fraction of a day, 0 <= value < 1
    int16_t studentNumber = 0;
    int16_t level = 0;
    int32_t seconds = 0; // whole seconds of the run; 99999 after a time-out
    ResultText schoolCode{' ', ' ', ' ', ' ', ' '};
    ResultText pointsText{' ', ' ', ' ', ' ', ' '}; // not read by this program
    ResultText countText{'0', ' ', ' ', ' ', ' '};  // not read by this program
    ResultText spareText{};                         // five zero bytes
};

using ResultBytes = std::array<unsigned char, kResultRecordSize>;

ResultBytes encodeResultRecord(const ResultRecord& record);
// Decodes the 44 bytes at `bytes`.
ResultRecord decodeResultRecord(const unsigned char* bytes);

// A text field from UTF-8: CP932, left-aligned, padded with spaces, cut to
// five bytes without splitting a double-byte character. Characters CP932
// lacks become "?".
ResultText resultText(std::string_view utf8);
// The field's characters as UTF-8, padding and all.
std::string resultTextUtf8(const ResultText& field);

std::filesystem::path resultsLogPath(const AppFolders& folders);

} // namespace kestrel
