// Starting the audio leaves the handling of the end signals to the program.
#include <gtest/gtest.h>

#include <signal.h>

#include "platform/PosixAudio.h"

namespace kestrel {
namespace {

TEST(SdlAudioSignalsTest, StartingTheAudioInstallsNoSignalHandlers) {
    const int signals[] = {SIGTERM, SIGINT};
    struct sigaction before[2]{};
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(sigaction(signals[i], nullptr, &before[i]), 0);

    PosixAudio audio;
    // The audio subsystem starts before the file is looked for.
    const PlayResult result = audio.playToEnd("/nonexistent/音.wav");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("を読めません"), std::string::npos) << result.error;

    for (int i = 0; i < 2; ++i) {
        struct sigaction after {};
        ASSERT_EQ(sigaction(signals[i], nullptr, &after), 0);
        EXPECT_EQ(after.sa_handler, before[i].sa_handler) << "signal " << signals[i];
    }
}

} // namespace
} // namespace kestrel
