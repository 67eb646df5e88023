#pragma once
// Synchronous sound: plays a WAV file to its end before it returns.
#include <filesystem>
#include <string>

namespace kestrel {

struct PlayResult {
    bool ok = true;
    std::string error; // the back-end's text for a failure
};

class Audio {
public:
    virtual ~Audio() = default;
    virtual PlayResult playToEnd(const std::filesystem::path& wavFile) = 0;
};

} // namespace kestrel
