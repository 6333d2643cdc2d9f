#include "core/runtime/retry.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

namespace vorn {
namespace {

constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();

TEST(RetryTrackerRestore, MergesAndMarksWhenNoBudgetIsLeft) {
    struct Case {
        std::optional<AttemptState> before;  // recorded first, through restore
        std::uint32_t tracker_budget, attempts, budget;
        AttemptState after;
        bool failed;
    };
    const Case cases[] = {
        {std::nullopt, 3, 1, 3, {1, 3}, false},
        {std::nullopt, 3, 2, 5, {2, 3}, false},  // never above the tracker's budget
        {std::nullopt, 3, 3, 5, {3, 3}, true},
        {std::nullopt, 0, 0, 0, {0, 0}, true},
        {AttemptState{4, 9}, 9, 2, 6, {4, 6}, false},  // the higher count, the lower budget
        {AttemptState{1, 9}, 9, 5, 5, {5, 5}, true},
    };
    for (const Case& c : cases) {
        RetryTracker tracker(c.tracker_budget, 10);
        if (c.before) tracker.restore_attempt("m", c.before->attempts, c.before->max_retries);
        tracker.restore_attempt("m", c.attempts, c.budget);
        EXPECT_EQ(tracker.attempt_state("m"), c.after) << c.attempts << "/" << c.budget;
        EXPECT_EQ(tracker.is_permanently_failed("m"), c.failed) << c.attempts << "/" << c.budget;
    }
    EXPECT_EQ(RetryTracker(7, 1).attempt_state("unknown"), (AttemptState{0, 7}));
}

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

}  // namespace
}  // namespace vorn
