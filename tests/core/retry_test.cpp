#include "core/runtime/retry.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

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

TEST(RetryTrackerMemory, HoldsEachIdOnceAndForgetsItWithItsLastFact) {
    RetryTracker tracker(0, 2);
    for (const char* id : {"a", "b", "c"}) tracker.record_attempt(id);  // each exhausts at once
    EXPECT_EQ(tracker.tracked_ids(), 2u);  // "a" evicted from both stores
    tracker.mark_success("b");
    tracker.mark_success("c");
    EXPECT_EQ(tracker.tracked_ids(), 2u);  // still failed
    tracker.mark_permanently_failed("d");  // evicts "b"
    tracker.mark_permanently_failed("e");  // evicts "c"
    tracker.record_attempt("f");           // evicts "d" from the failed ids
    tracker.mark_success("f");
    EXPECT_EQ(tracker.tracked_ids(), 2u);
    EXPECT_FALSE(tracker.is_permanently_failed("d"));
    EXPECT_TRUE(tracker.is_permanently_failed("f"));
}

// A finished id waits for the next attempt a host often records, until the next one finishes.
TEST(RetryTrackerMemory, OnlyTheLastFinishedIdIsKept) {
    RetryTracker tracker(3, 100);
    for (int i = 0; i < 50; ++i) {
        const std::string id = "m" + std::to_string(i);
        tracker.record_attempt(id);
        tracker.record_attempt(id);
        tracker.discard_attempt(id);
        (i % 2 ? tracker.discard_attempt(id) : tracker.mark_success(id));
        ASSERT_EQ(tracker.stored_ids(), 1u);
        ASSERT_EQ(tracker.tracked_ids(), 0u);
    }
    EXPECT_EQ(tracker.record_attempt("m49"), (AttemptOutcome{1, false}));
    tracker.mark_permanently_failed("m0");
    EXPECT_EQ(tracker.stored_ids(), 2u);
    EXPECT_EQ(tracker.tracked_ids(), 2u);
}

}  // namespace
}  // namespace vorn
