#pragma once
// The core speaks UTF-8 std::string; the widgets speak QString.
#include <QString>
#include <filesystem>
#include <string>

namespace kestrel {

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

inline QString qs(const std::filesystem::path& p) {
    return QString::fromStdString(p.string());
}

} // namespace kestrel
