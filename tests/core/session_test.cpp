#include "core/runtime/session.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace vorn {
namespace {

Elapsed at(double seconds) {
    return Elapsed::from_seconds(seconds).value();
}

TEST(SessionEpochs, RunOutOneBeforeTheLastValueAndKeepTheCurrentAttempt) {
    constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();
    Session s(SessionPolicy::defaults(), kLast - 2);
    EXPECT_EQ(s.begin_attempt(at(0)), kLast - 2);
    EXPECT_EQ(s.begin_attempt(at(1)), kLast - 1);
    EXPECT_EQ(s.begin_attempt(at(2)), std::nullopt);
    EXPECT_EQ(s.on_connected(kLast - 1, at(3)), SessionOutcome::connected());
}

// With no disconnect after a connection counted as rapid, only the attempt count moves the delay.
TEST(SessionBackoff, GrowsPerDisconnectAndResetsAfterAStableConnection) {
    SessionPolicySettings settings;
    settings.rapid_disconnect_uptime = {};
    Session s(SessionPolicy::create(settings, std::nullopt).value());
    double t = 0;
    for (const auto& [uptime, delay] :
         {std::pair<double, std::uint64_t>{5, 1}, {5, 2}, {59.5, 4}, {60, 1}, {5, 2}}) {
        const auto epoch = *s.begin_attempt(at(t));
        ASSERT_EQ(s.on_connected(epoch, at(t)), SessionOutcome::connected());
        t += uptime;
        EXPECT_EQ(s.on_socket_close(epoch, at(t), 1006, JitterSample::from_value(1).value()),
                  SessionOutcome::reconnect(SessionState::Reconnecting, Duration{delay, 0}));
    }
}

}  // namespace
}  // namespace vorn
