#pragma once
// Waiting while another PC holds the shared results log: the operation is
// tried again a second later, with the screens responsive meanwhile, as
// often as it takes. What counts as held is the caller's to say, since a
// try may also fail in ways that must never be repeated.
#include <filesystem>
#include <string>
#include <utility>

#include "platform/EventPump.h"
#include "platform/SharedFile.h"
#include "results/ResultsLogIO.h"
#include "text/Cp932.h"

namespace kestrel {

inline constexpr double kSharingWaitSeconds = 1.0;

// One try's outcome: `held` when another PC held the log and the try is
// to be made again; otherwise `result` is final.
template <class Result> struct SharedTry {
    bool held = false;
    Result result{};
};

template <class Result> SharedTry<Result> heldElsewhere() {
    return {true, {}};
}

// Runs `once` (which returns a SharedTry) until a try is not held, and
// returns that try's result.
template <class Once> [[nodiscard]] auto retryWhileShared(const LogAccess& log, Once once) {
    for (;;) {
        auto outcome = once();
        if (!outcome.held) return std::move(outcome.result);
        waitResponsive(log.clock, log.events, kSharingWaitSeconds);
    }
}

// "「file」action（the system's text）": what failed on which file.
inline std::string fileFailureText(const std::filesystem::path& file, const FileStatus& status,
                                   const std::string& action) {
    return "「" + displayPath(file) + "」" + action + "（" + status.description + "）";
}

} // namespace kestrel
