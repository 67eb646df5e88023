#pragma once
// The desktop program's context: the school, the platform services of this
// PC, and the one student who uses it (who is signed in, which level, the
// run under way). Every screen and procedure receives it; each test builds
// a fresh one. Its procedures (context/Procedures.h) add the desktop's way
// of failing: the teacher is shown the message and the program ends.
#include <cstdint>
#include <memory>

#include "platform/MountTable.h"
#include "platform/Services.h"
#include "platform/SharedFile.h"
#include "school/School.h"
#include "startup/SharedState.h"

namespace kestrel {

struct Context : School {
    // The services, and the files and mounts of this computer as the
    // program's main chose them.
    Context(Services s, std::unique_ptr<SharedFileSystem> files, std::unique_ptr<MountTable> table)
        : School(std::move(files), std::move(table)), services(s) {}
    // Without files or mounts, for code that reaches neither until they are set.
    explicit Context(Services s) : services(s) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Services services;
    SharedState state;
    int16_t SoundFailureCount = 0; // failed answer cues in a row
};

} // namespace kestrel
