#include "text/CsvText.h"

namespace kestrel {

std::string csvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::vector<std::vector<std::string>> csvRows(std::string_view text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string cell;
    bool quoted = false, inCell = false;
    auto endRow = [&] {
        row.push_back(std::move(cell));
        cell.clear();
        rows.push_back(std::move(row));
        row.clear();
        inCell = false;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                cell += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else {
                quoted = false;
            }
            continue;
        }
        if (c == '"' && !inCell) {
            quoted = inCell = true;
        } else if (c == ',') {
            row.push_back(std::move(cell));
            cell.clear();
            inCell = false;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endRow();
        } else {
            cell += c;
            inCell = true;
        }
    }
    if (inCell || quoted || !cell.empty() || !row.empty()) endRow();
    return rows;
}

} // namespace kestrel
