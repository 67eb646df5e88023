#pragma once
// The running program as the system knows it: where its file is, so that a
// command finds the path file beside its folder as the program does, and a
// tag that tells it from the other programs running on this PC.
#include <filesystem>
#include <string>

namespace kestrel {

// Empty when the system does not tell.
std::filesystem::path runningProgramFile();

// A tag of this process, different from that of every other process running
// on this PC at the same time (the process number).
std::string processTag();

} // namespace kestrel
