#pragma once
// One finished run as stored in the shared results log: 44 bytes,
// little-endian, no padding, no file header. Records are numbered from 1;
// the number of records is the file length divided by 44.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

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

// Little-endian fields, byte by byte whatever the host's order (the
// compiler turns each into a single load).
namespace le {
template <typename U, size_t... I> U read(const unsigned char* in, std::index_sequence<I...>) {
    return static_cast<U>(((static_cast<U>(in[I]) << (8 * I)) | ...));
}
template <typename U> U read(const unsigned char* in) {
    return read<U>(in, std::make_index_sequence<sizeof(U)>{});
}
inline double readDouble(const unsigned char* in) {
    return std::bit_cast<double>(read<uint64_t>(in));
}
template <typename T> void write(unsigned char* out, T value) {
    using U = std::make_unsigned_t<T>;
    const U bits = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i)
        out[i] = static_cast<unsigned char>(bits >> (8 * i));
}
inline void writeDouble(unsigned char* out, double value) {
    write(out, std::bit_cast<uint64_t>(value));
}
inline ResultText readText(const unsigned char* in) {
    ResultText t;
    std::memcpy(t.data(), in, t.size());
    return t;
}
} // namespace le

// Where each field starts within the 44 bytes.
namespace field_at {
constexpr size_t date = 0;
constexpr size_t timeOfDay = 8;
constexpr size_t studentNumber = 16;
constexpr size_t level = 18;
constexpr size_t seconds = 20;
constexpr size_t schoolCode = 24;
constexpr size_t pointsText = 29;
constexpr size_t countText = 34;
constexpr size_t spareText = 39;
} // namespace field_at

// Who ran which level in how many seconds: all that the summaries and the
// histograms read of a record.
struct RecordedRun {
    int16_t studentNumber = 0;
    int16_t level = 0;
    int32_t seconds = 0;
};

[[gnu::always_inline]] inline RecordedRun decodeRecordedRun(const unsigned char* b) {
    return {static_cast<int16_t>(le::read<uint16_t>(&b[field_at::studentNumber])),
            static_cast<int16_t>(le::read<uint16_t>(&b[field_at::level])),
            static_cast<int32_t>(le::read<uint32_t>(&b[field_at::seconds]))};
}

ResultBytes encodeResultRecord(const ResultRecord& record);

// Decodes the 44 bytes at `bytes`. Always inline: the loader decodes 20000
// at a time and drops the text fields.
[[gnu::always_inline]] inline ResultRecord decodeResultRecord(const unsigned char* b) {
    ResultRecord r;
    r.date = le::readDouble(&b[field_at::date]);
    r.timeOfDay = le::readDouble(&b[field_at::timeOfDay]);
    const RecordedRun run = decodeRecordedRun(b);
    r.studentNumber = run.studentNumber;
    r.level = run.level;
    r.seconds = run.seconds;
    r.schoolCode = le::readText(&b[field_at::schoolCode]);
    r.pointsText = le::readText(&b[field_at::pointsText]);
    r.countText = le::readText(&b[field_at::countText]);
    r.spareText = le::readText(&b[field_at::spareText]);
    return r;
}

// A corrected student number and time written over a record's bytes; every
// other byte stays as it was.
void writeRecordedRun(unsigned char* b, int16_t studentNumber, int32_t seconds);

// A text field from UTF-8: CP932, left-aligned, padded with spaces, cut to
// five bytes without splitting a double-byte character. Characters CP932
// lacks become "?".
ResultText resultText(std::string_view utf8);
// The field's characters as UTF-8, padding and all.
std::string resultTextUtf8(const ResultText& field);

std::filesystem::path resultsLogPath(const AppFolders& folders);

} // namespace kestrel
