#pragma once
// The change mark: a small file beside the results log that every
// correction and every delete rewrites, under the log's exclusive lock and
// before the log is touched. A program that keeps the records it read last
// knows from it whether records it holds may have changed in place; the
// log's length and last record alone show only whether it grew.
//
// Its bytes are compared, never interpreted: a magic, a counter and a
// random number, so that a mark removed and made again still differs from
// every earlier one. A mark torn by a crash differs too, and a mark that was
// never made (a folder no correction has touched yet) reads as empty.
#include <filesystem>
#include <optional>
#include <string>

#include "platform/SharedFile.h"

namespace kestrel {

// The change mark, in the log's folder.
inline constexpr const char* kChangeMarkName = "成績累積データ変更印.dat";
std::filesystem::path changeMarkPath(const std::filesystem::path& logPath);

// The mark's bytes as they stand: empty when there is no mark. Read while
// holding the log's lock, so that no change comes between the mark and the
// records read with it.
FileStatus readChangeMark(SharedFileSystem& files, const std::filesystem::path& logPath,
                          std::string& mark);

// Writes a new mark, unlike every earlier one, and returns once it is on
// the storage. Called with the log's exclusive lock held, before the log
// is changed: a crash after it costs other PCs one whole read, never a
// change they miss.
FileStatus moveChangeMark(SharedFileSystem& files, const std::filesystem::path& logPath);

} // namespace kestrel
