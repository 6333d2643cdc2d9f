// The state machine of one agent's WebSocket session. The host reports each fact (an attempt
// begins, the socket connected, closed, the upgrade was rejected, the platform superseded the
// session) with its time on the host's clock; every report returns one settled outcome: a stale
// fact that changed nothing, a dead session, a connection that is up, or a reconnect with the delay
// to wait. Attempts carry epochs so that facts about an abandoned attempt are recognised; a session
// that dies never comes back.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "core/enums.hpp"
#include "core/runtime/session_policy.hpp"
#include "core/runtime/time.hpp"

namespace vorn {

// Exactly one of four shapes, built only through the named constructors.
class SessionOutcome {
  public:
    static SessionOutcome stale(SessionState state, StaleReason reason) {
        return {state, std::nullopt, std::nullopt, reason};
    }
    // `reason` is none for a session ended by the host.
    static SessionOutcome dead(std::optional<DeadReason> reason) {
        return {SessionState::Dead, std::nullopt, reason, std::nullopt};
    }
    static SessionOutcome connected() {
        return {SessionState::Up, std::nullopt, std::nullopt, std::nullopt};
    }
    static SessionOutcome reconnect(SessionState state, Duration retry_after) {
        return {state, retry_after, std::nullopt, std::nullopt};
    }

    SessionState state() const { return state_; }
    const std::optional<Duration>& retry_after() const { return retry_after_; }
    std::optional<DeadReason> dead_reason() const { return dead_reason_; }
    std::optional<StaleReason> stale_reason() const { return stale_reason_; }

    friend bool operator==(const SessionOutcome&, const SessionOutcome&) = default;

  private:
    SessionOutcome(SessionState state, std::optional<Duration> retry_after,
                   std::optional<DeadReason> dead_reason, std::optional<StaleReason> stale_reason)
        : state_(state),
          retry_after_(retry_after),
          dead_reason_(dead_reason),
          stale_reason_(stale_reason) {}

    SessionState state_;
    std::optional<Duration> retry_after_;
    std::optional<DeadReason> dead_reason_;
    std::optional<StaleReason> stale_reason_;
};

class Session {
  public:
    // `first_epoch` is what the first `begin_attempt` hands out; only tests start elsewhere.
    explicit Session(SessionPolicy policy, std::uint64_t first_epoch = 0)
        : policy_(std::move(policy)), next_epoch_(first_epoch) {}

    SessionState state() const { return state_; }

    // A new epoch for the attempt that starts now; none once dead or when epochs run out.
    std::optional<std::uint64_t> begin_attempt(Elapsed now);
    SessionOutcome on_connected(std::uint64_t epoch, Elapsed now);
    SessionOutcome on_socket_close(std::uint64_t epoch, Elapsed now,
                                   std::optional<std::uint16_t> close_code, JitterSample jitter);
    SessionOutcome on_upgrade_rejected(std::uint64_t epoch, Elapsed now, std::uint16_t status,
                                       std::optional<Duration> retry_after, JitterSample jitter);
    SessionOutcome on_supersede(Elapsed now, bool retryable, std::optional<Duration> retry_after,
                                JitterSample jitter);
    // Final; keeps the dead reason of a session that had already died.
    SessionState end();

  private:
    // Ends the current attempt when the fact is about it; the stale reason otherwise.
    std::optional<StaleReason> close_attempt(std::uint64_t epoch, double now);
    SessionOutcome die(DeadReason reason);
    std::optional<DelayRange> caller_range(const std::optional<Duration>& retry_after) const;
    SessionOutcome record_disconnect_and_maybe_trip(double now, JitterSample jitter,
                                                    std::optional<DelayRange> caller);

    SessionPolicy policy_;
    SessionState state_ = SessionState::Connecting;
    std::optional<DeadReason> dead_reason_;
    std::uint64_t next_epoch_;
    std::optional<std::uint64_t> current_epoch_;
    std::optional<double> attempt_start_;
    std::optional<std::uint64_t> connected_epoch_;
    std::optional<double> up_since_;
    std::optional<double> last_seen_;  // the clock-regression watermark
    std::deque<double> rapid_record_;  // oldest first; shorter than the rapid threshold
    std::uint32_t attempt_count_ = 0;
};

}  // namespace vorn
