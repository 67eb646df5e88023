#pragma once
// CSV text as spreadsheets write and read it (RFC 4180): cells separated by
// commas, a cell in double quotes when it holds a comma, a quote or a line
// break, its quotes doubled.
#include <string>
#include <string_view>
#include <vector>

namespace kestrel {

// One cell as written: quoted only where it must be.
std::string csvField(std::string_view text);

// The cells of a CSV text, row by row: cells in double quotes may hold
// commas, line breaks and doubled quotes; rows end with CR LF, LF or CR.
std::vector<std::vector<std::string>> csvRows(std::string_view text);

} // namespace kestrel
