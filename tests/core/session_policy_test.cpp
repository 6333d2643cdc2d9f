#include "core/runtime/session_policy.hpp"

#include <gtest/gtest.h>

namespace vorn {
namespace {

constexpr Duration secs(std::uint64_t s) {
    return {s, 0};
}

SessionPolicy with_base_factor_max(Duration base, double factor, Duration max) {
    SessionPolicySettings s;
    s.base_delay = base;
    s.factor = factor;
    s.max_delay = max;
    return SessionPolicy::create(s, std::nullopt).value();
}

TEST(NextDelay, FollowsBackoffCapJitterRangeAndRounding) {
    struct Case {
        const char* name;
        std::uint32_t attempt;
        std::optional<DelayRange> range;
        double jitter;
        Duration expected;
    };
    const Case cases[] = {
        {"attempt0IsTheBase", 0, {}, 0.25, {0, 250'000'000}},
        {"attempt5", 5, {}, 1.0, secs(16)},
        {"attempt6IsCapped", 6, {}, 1.0, secs(30)},
        {"attemptMaxGrowsToInfinity", UINT32_MAX, {}, 0.5, secs(15)},
        {"rangeRaisesJitterZero", 9, DelayRange{secs(120), secs(120)}, 0.0, secs(120)},
        {"rangeCuts", 9, DelayRange{secs(2), secs(3)}, 1.0, secs(3)},
        {"invertedRangeTopIsTheLower", 9, DelayRange{secs(10), secs(5)}, 1.0, secs(10)},
        {"halfwayRoundsToEven", 1, {}, 3.0 / 1024, {0, 2'929'688}},  // 2929687.5 ns
    };
    const SessionPolicy policy = SessionPolicy::defaults();
    for (const Case& c : cases) {
        const JitterSample jitter = JitterSample::from_value(c.jitter).value();
        EXPECT_EQ(policy.next_delay(c.attempt, c.range, jitter), c.expected) << c.name;
    }
    const JitterSample half = JitterSample::from_value(0.5).value();
    // Zero base times infinite growth is the max delay, not NaN.
    EXPECT_EQ(with_base_factor_max({}, 1e200, secs(30)).next_delay(3, {}, half), secs(15));
    // 2^64 seconds or more is the max delay.
    EXPECT_EQ(with_base_factor_max(secs(1ULL << 62), 8, Duration::max())
                  .next_delay(3, {}, JitterSample::from_value(1.0).value()),
              Duration::max());
}

TEST(CooldownLadder, FloorsRangesAndTheirCeilings) {
    const SessionPolicy p = SessionPolicy::defaults();
    const std::uint64_t floors[] = {1, 5, 10, 20, 30, 40, 50, 60, 60};
    for (std::uint32_t k = 1; k <= 9; ++k) {
        const Duration floor = secs(floors[k - 1]);
        EXPECT_EQ(p.cooldown_range(k), (DelayRange{floor, std::max(floor, secs(30))})) << k;
    }
    EXPECT_EQ(p.cooldown_floor(UINT32_MAX), secs(60));

    SessionPolicySettings s;
    s.rapid_cooldown_base = {0, 100'000'000};
    s.rapid_cooldown_step = {0, 200'000'000};
    EXPECT_EQ(SessionPolicy::create(s, {}).value().cooldown_floor(4), (Duration{0, 300'000'000}));
    s.rapid_cooldown_max = Duration::max();
    s.rapid_cooldown_step = secs(10'000'000'000'000'000'000ULL);
    EXPECT_EQ(SessionPolicy::create(s, {}).value().cooldown_floor(5), Duration::max());
}

}  // namespace
}  // namespace vorn
