#include "core/runtime/session.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace vorn {
namespace {

Elapsed at(double seconds) {
    return Elapsed::from_seconds(seconds).value();
}

JitterSample full() {
    return JitterSample::from_value(1.0).value();
}

constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();

TEST(SessionEpochs, RunOutOneBeforeTheLastValueAndKeepTheCurrentAttempt) {
    Session s(SessionPolicy::defaults(), kLast - 2);
    EXPECT_EQ(s.begin_attempt(at(0)), kLast - 2);
    EXPECT_EQ(s.begin_attempt(at(1)), kLast - 1);
    EXPECT_EQ(s.begin_attempt(at(2)), std::nullopt);
    EXPECT_EQ(s.on_connected(kLast - 2, at(3)),
              SessionOutcome::stale(SessionState::Connecting, StaleReason::WrongEpoch));
    EXPECT_EQ(s.on_connected(kLast - 1, at(3)), SessionOutcome::connected());
}

// With no disconnect counted as rapid after a connection, only the attempt count moves the delay.
TEST(SessionBackoff, GrowsPerDisconnectAndResetsAfterAStableConnection) {
    SessionPolicySettings settings;
    settings.rapid_disconnect_uptime = {};
    Session s(SessionPolicy::create(settings, std::nullopt).value());
    double t = 0;
    auto cycle = [&](double uptime) {
        const auto epoch = *s.begin_attempt(at(t));
        EXPECT_EQ(s.on_connected(epoch, at(t)), SessionOutcome::connected());
        t += uptime;
        return s.on_socket_close(epoch, at(t), 1006, full());
    };
    const auto reconnect = [](std::uint64_t seconds) {
        return SessionOutcome::reconnect(SessionState::Reconnecting, Duration{seconds, 0});
    };
    EXPECT_EQ(cycle(5), reconnect(1));
    EXPECT_EQ(cycle(5), reconnect(2));
    EXPECT_EQ(cycle(59.5), reconnect(4));
    EXPECT_EQ(cycle(60), reconnect(1));  // exactly the stable reset
    EXPECT_EQ(cycle(5), reconnect(2));
}

TEST(SessionSupersede, BeforeTheConnectTimeIsRapidAndNoStableReset) {
    SessionPolicySettings settings;
    settings.stable_reset = {};
    settings.rapid_disconnect_uptime = {};
    Session s(SessionPolicy::create(settings, std::nullopt).value());
    const auto epoch = *s.begin_attempt(at(0));
    ASSERT_EQ(s.on_connected(epoch, at(50)), SessionOutcome::connected());
    // The platform's supersede carries an earlier clock reading: a negative uptime, which is
    // below every threshold, including zero ones.
    EXPECT_EQ(s.on_supersede(at(10), true, std::nullopt, full()),
              SessionOutcome::reconnect(SessionState::Reconnecting, Duration{1, 0}));
    EXPECT_EQ(s.on_supersede(at(20), true, std::nullopt, full()),
              SessionOutcome::reconnect(SessionState::Reconnecting, Duration{5, 0}));
}

TEST(SessionEnd, KeepsAnEarlierDeadReasonAndClearsNoneOtherwise) {
    Session ended(SessionPolicy::defaults());
    EXPECT_EQ(ended.end(), SessionState::Dead);
    EXPECT_EQ(ended.on_supersede(at(0), true, std::nullopt, full()),
              SessionOutcome::dead(std::nullopt));

    Session classified(SessionPolicy::defaults());
    const auto epoch = *classified.begin_attempt(at(0));
    EXPECT_EQ(classified.on_upgrade_rejected(epoch, at(1), 409, std::nullopt, full()),
              SessionOutcome::dead(DeadReason::Classified));
    EXPECT_EQ(classified.end(), SessionState::Dead);
    EXPECT_EQ(classified.on_connected(epoch, at(2)), SessionOutcome::dead(DeadReason::Classified));
    EXPECT_EQ(classified.begin_attempt(at(3)), std::nullopt);
}

}  // namespace
}  // namespace vorn
