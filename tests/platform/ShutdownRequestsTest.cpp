// When an end asked for from outside happens: at once, or at the release of
// the last hold on it.
#include "platform/ShutdownRequests.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(ShutdownRequestsTest, ARequestWithoutAHoldEndsAtOnce) {
    ShutdownRequests r;
    EXPECT_EQ(r.request(0), 0);
    EXPECT_FALSE(r.pending());
    // A hold taken and released before the request leaves nothing behind.
    r.hold();
    EXPECT_EQ(r.release(), std::nullopt);
    EXPECT_EQ(r.request(3), 3);
}

TEST(ShutdownRequestsTest, ARequestDuringHoldsEndsAtTheLastRelease) {
    ShutdownRequests r;
    r.hold();
    r.hold();
    EXPECT_EQ(r.request(0), std::nullopt);
    EXPECT_EQ(r.request(5), std::nullopt); // the first request's status stays
    EXPECT_TRUE(r.pending());
    EXPECT_EQ(r.release(), std::nullopt);
    EXPECT_TRUE(r.held());
    EXPECT_EQ(r.release(), 0);
    EXPECT_FALSE(r.held());
    EXPECT_FALSE(r.pending());
    // Served once: later holds and releases do not end again.
    r.hold();
    EXPECT_EQ(r.release(), std::nullopt);
}

TEST(ShutdownRequestsTest, AReleaseWithoutAHoldChangesNothing) {
    ShutdownRequests r;
    EXPECT_EQ(r.release(), std::nullopt);
    EXPECT_FALSE(r.held());
    // An unmatched release must not cancel a real hold taken later.
    r.hold();
    EXPECT_EQ(r.request(0), std::nullopt);
    EXPECT_EQ(r.release(), 0);
}

} // namespace
} // namespace kestrel
