#include "core/runtime/session_policy.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vorn {
namespace {

JitterSample jitter(double value) {
    return JitterSample::from_value(value).value();
}

SessionPolicy policy_with(const SessionPolicySettings& s) {
    return SessionPolicy::create(s, std::nullopt).value();
}

constexpr Duration secs(std::uint64_t s) {
    return {s, 0};
}

struct DelayCase {
    const char* name;
    SessionPolicySettings settings;
    std::uint32_t attempt;
    std::optional<DelayRange> range;
    double jitter;
    Duration expected;
};

SessionPolicySettings zero_base_explosive_factor() {
    SessionPolicySettings s;
    s.base_delay = {};
    s.factor = 1e200;
    return s;
}

SessionPolicySettings unbounded() {
    SessionPolicySettings s;
    s.base_delay = secs(1ULL << 62);
    s.max_delay = Duration::max();
    s.factor = 8;
    return s;
}

class NextDelay : public testing::TestWithParam<DelayCase> {};

TEST_P(NextDelay, FollowsBackoffCapJitterRangeAndRounding) {
    const DelayCase& c = GetParam();
    EXPECT_EQ(policy_with(c.settings).next_delay(c.attempt, c.range, jitter(c.jitter)), c.expected);
}

const SessionPolicySettings kDefaults{};

INSTANTIATE_TEST_SUITE_P(
    Cases, NextDelay,
    testing::Values(
        DelayCase{"attempt0IsTheBase", kDefaults, 0, {}, 0.25, {0, 250'000'000}},
        DelayCase{"attempt1", kDefaults, 1, {}, 1.0, secs(1)},
        DelayCase{"attempt2", kDefaults, 2, {}, 1.0, secs(2)},
        DelayCase{"attempt5", kDefaults, 5, {}, 1.0, secs(16)},
        DelayCase{"attempt6IsCapped", kDefaults, 6, {}, 1.0, secs(30)},
        DelayCase{"attempt40", kDefaults, 40, {}, 1.0, secs(30)},
        DelayCase{"attemptMaxGrowsToInfinity", kDefaults, UINT32_MAX, {}, 0.5, secs(15)},
        DelayCase{"jitterScalesTheCappedDelay", kDefaults, 3, {}, 0.5, secs(2)},
        DelayCase{"jitterZero", kDefaults, 9, {}, 0.0, secs(0)},
        DelayCase{"rangeRaisesJitterZero", kDefaults, 9, DelayRange{secs(120), secs(120)}, 0.0,
                  secs(120)},
        DelayCase{"rangeCutsAtTheUpperBound", kDefaults, 9, DelayRange{secs(2), secs(3)}, 1.0,
                  secs(3)},
        DelayCase{"invertedRangeUsesTheLowerBoundAsTop", kDefaults, 9,
                  DelayRange{secs(10), secs(5)}, 1.0, secs(10)},
        DelayCase{"zeroBaseTimesInfiniteGrowthIsTheMax",
                  zero_base_explosive_factor(),
                  3,
                  {},
                  0.5,
                  secs(15)},
        // 1/1024 s is exactly 976562.5 ns; 3/1024 s exactly 2929687.5 ns.
        DelayCase{"halfwayRoundsToEvenDown", kDefaults, 1, {}, 1.0 / 1024, {0, 976'562}},
        DelayCase{"halfwayRoundsToEvenUp", kDefaults, 1, {}, 3.0 / 1024, {0, 2'929'688}},
        DelayCase{"beyondTwoPow64IsTheMaxDelay", unbounded(), 3, {}, 1.0, Duration::max()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CooldownLadder, DefaultFloorsAndRanges) {
    const SessionPolicy p = SessionPolicy::defaults();
    const std::uint64_t floors[] = {1, 5, 10, 20, 30, 40, 50, 60, 60, 60};
    for (std::uint32_t k = 1; k <= 10; ++k) {
        EXPECT_EQ(p.cooldown_floor(k), secs(floors[k - 1])) << k;
        const Duration floor = secs(floors[k - 1]);
        EXPECT_EQ(p.cooldown_range(k), (DelayRange{floor, std::max(floor, secs(30))})) << k;
    }
    EXPECT_EQ(p.cooldown_floor(UINT32_MAX), secs(60));
}

TEST(CooldownLadder, ComputesInDoubleSecondsAndRounds) {
    SessionPolicySettings s;
    s.rapid_cooldown_base = {0, 100'000'000};
    s.rapid_cooldown_step = {0, 200'000'000};
    EXPECT_EQ(policy_with(s).cooldown_floor(4), (Duration{0, 300'000'000}));  // 0.1 + 0.2

    s.rapid_cooldown_max = Duration::max();
    s.rapid_cooldown_step = secs(10'000'000'000'000'000'000ULL);
    EXPECT_EQ(policy_with(s).cooldown_floor(5), Duration::max());
}

TEST(SessionPolicyCreate, CollectsEveryIssueInOrderWithTheTraceContext) {
    SessionPolicySettings s;
    s.factor = 0.5;
    s.base_delay = secs(40);
    s.rapid_threshold = 0;
    s.heartbeat_interval = {};
    s.dead_threshold = {};
    const auto r = SessionPolicy::create(s, "trace-4");
    ASSERT_FALSE(r.ok());
    const std::vector<Issue> expected = {
        {"factor", IssueCode::InvalidValue, "factor must be a finite number >= 1.0, got 0.5"},
        {"base_delay", IssueCode::InvalidValue, "base_delay must not exceed max_delay"},
        {"rapid_threshold", IssueCode::InvalidValue, "rapid_threshold must be at least 1"},
        {"heartbeat_interval", IssueCode::InvalidValue,
         "heartbeat_interval must be greater than zero"},
        {"dead_threshold", IssueCode::InvalidValue,
         "dead_threshold must exceed heartbeat_interval"}};
    EXPECT_EQ(r.error().issues, expected);
    EXPECT_EQ(r.error().trace_context, "trace-4");
}

TEST(SessionPolicyCreate, FactorBoundsAndTheDeadThresholdMargin) {
    struct Case {
        double factor;
        const char* shown;  // nullptr: accepted
    };
    for (const Case c : {Case{1.0, nullptr}, Case{1e300, nullptr},
                         Case{std::nextafter(1.0, 0.0), "0.9999999999999999"},
                         Case{std::numeric_limits<double>::quiet_NaN(), "NaN"},
                         Case{std::numeric_limits<double>::infinity(), "inf"}, Case{-0.0, "-0"}}) {
        SessionPolicySettings s;
        s.factor = c.factor;
        const auto r = SessionPolicy::create(s, std::nullopt);
        if (!c.shown) {
            EXPECT_TRUE(r.ok()) << c.factor;
            continue;
        }
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().issues.at(0).message,
                  std::string("factor must be a finite number >= 1.0, got ") + c.shown);
    }
    SessionPolicySettings s;
    s.dead_threshold = s.heartbeat_interval;
    EXPECT_FALSE(SessionPolicy::create(s, std::nullopt).ok());
    s.dead_threshold.nanos = 1;
    EXPECT_TRUE(SessionPolicy::create(s, std::nullopt).ok());
}

TEST(Classify, OnlyNormalClosureAndThreeStatusesAreTerminal) {
    EXPECT_FALSE(classify_close(std::nullopt).terminal);
    for (const int code : {0, 999, 1001, 1006, 4000, 65535}) {
        EXPECT_FALSE(classify_close(static_cast<std::uint16_t>(code)).terminal) << code;
    }
    EXPECT_TRUE(classify_close(1000).terminal);
    for (const int status : {400, 403, 409}) EXPECT_TRUE(classify_upgrade(status).terminal);
    for (const int status : {0, 401, 404, 408, 429, 500, 1000, 65535}) {
        const auto c = classify_upgrade(static_cast<std::uint16_t>(status));
        EXPECT_FALSE(c.terminal) << status;
        EXPECT_FALSE(c.delay_range.has_value());
    }
}

}  // namespace
}  // namespace vorn
