#include "core/runtime/retry.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace vorn {
namespace {

constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

TEST(RetryTrackerCounts, SaturateAtTheTop) {
    RetryTracker tracker(kMax, 10);
    tracker.restore_attempt("m", kMax - 1, kMax);
    EXPECT_EQ(tracker.record_attempt("m"), (AttemptOutcome{kMax, false}));
    EXPECT_EQ(tracker.record_attempt("m"), (AttemptOutcome{kMax, false}));
    tracker.discard_attempt("m");
    EXPECT_EQ(tracker.attempt_state("m"), (AttemptState{kMax - 1, kMax}));
    EXPECT_FALSE(tracker.is_permanently_failed("m"));
}

}  // namespace
}  // namespace vorn
