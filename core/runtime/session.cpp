#include "core/runtime/session.hpp"

#include <algorithm>
#include <limits>

namespace vorn {

std::optional<std::uint64_t> Session::begin_attempt(Elapsed now) {
    if (state_ == SessionState::Dead) return std::nullopt;
    if (next_epoch_ == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
    current_epoch_ = next_epoch_++;
    attempt_start_ = now.seconds();
    last_seen_.reset();
    return current_epoch_;
}

SessionOutcome Session::on_connected(std::uint64_t epoch, Elapsed now) {
    if (state_ == SessionState::Dead) return SessionOutcome::dead(dead_reason_);
    if (current_epoch_ != epoch) return SessionOutcome::stale(state_, StaleReason::WrongEpoch);
    if (connected_epoch_ == epoch) {
        return SessionOutcome::stale(state_, StaleReason::DuplicateConnected);
    }
    if (last_seen_ && now.seconds() < *last_seen_) {
        return SessionOutcome::stale(state_, StaleReason::ClockRegression);
    }
    last_seen_ = now.seconds();
    up_since_ = now.seconds();
    connected_epoch_ = epoch;
    state_ = SessionState::Up;
    return SessionOutcome::connected();
}

SessionOutcome Session::on_socket_close(std::uint64_t epoch, Elapsed now,
                                        std::optional<std::uint16_t> close_code,
                                        JitterSample jitter) {
    if (state_ == SessionState::Dead) return SessionOutcome::dead(dead_reason_);
    if (auto stale = close_attempt(epoch, now.seconds())) {
        return SessionOutcome::stale(state_, *stale);
    }
    if (classify_close(close_code).terminal) return die(DeadReason::Classified);
    return record_disconnect_and_maybe_trip(now.seconds(), jitter, std::nullopt);
}

SessionOutcome Session::on_upgrade_rejected(std::uint64_t epoch, Elapsed now, std::uint16_t status,
                                            std::optional<Duration> retry_after,
                                            JitterSample jitter) {
    if (state_ == SessionState::Dead) return SessionOutcome::dead(dead_reason_);
    if (auto stale = close_attempt(epoch, now.seconds())) {
        return SessionOutcome::stale(state_, *stale);
    }
    if (classify_upgrade(status).terminal) return die(DeadReason::Classified);
    return record_disconnect_and_maybe_trip(now.seconds(), jitter, caller_range(retry_after));
}

SessionOutcome Session::on_supersede(Elapsed now, bool retryable,
                                     std::optional<Duration> retry_after, JitterSample jitter) {
    if (state_ == SessionState::Dead) return SessionOutcome::dead(dead_reason_);
    const double t = now.seconds();
    if (attempt_start_ && t < *attempt_start_) {
        return SessionOutcome::stale(state_, StaleReason::SupersedePredatesEpoch);
    }
    // The platform's word outranks our clock: never stale for regression, and the watermark
    // only moves forward.
    last_seen_ = last_seen_ ? std::max(*last_seen_, t) : t;
    current_epoch_.reset();
    attempt_start_.reset();
    if (!retryable) return die(DeadReason::Classified);
    return record_disconnect_and_maybe_trip(t, jitter, caller_range(retry_after));
}

SessionState Session::end() {
    if (state_ != SessionState::Dead) dead_reason_.reset();
    state_ = SessionState::Dead;
    current_epoch_.reset();
    attempt_start_.reset();
    return state_;
}

std::optional<StaleReason> Session::close_attempt(std::uint64_t epoch, double now) {
    if (current_epoch_ != epoch) return StaleReason::WrongEpoch;
    if (last_seen_ && now < *last_seen_) return StaleReason::ClockRegression;
    last_seen_ = now;
    current_epoch_.reset();
    attempt_start_.reset();
    return std::nullopt;
}

SessionOutcome Session::die(DeadReason reason) {
    state_ = SessionState::Dead;
    dead_reason_ = reason;
    return SessionOutcome::dead(reason);
}

std::optional<DelayRange> Session::caller_range(const std::optional<Duration>& retry_after) const {
    if (!retry_after) return std::nullopt;
    return DelayRange{*retry_after, std::max(*retry_after, policy_.settings().max_delay)};
}

SessionOutcome Session::record_disconnect_and_maybe_trip(double now, JitterSample jitter,
                                                         std::optional<DelayRange> caller) {
    const SessionPolicySettings& s = policy_.settings();
    const SessionState before = state_;

    bool rapid = true;  // an attempt that never connected
    if (up_since_) {
        const double uptime = now - *up_since_;
        if (uptime >= s.stable_reset.seconds()) attempt_count_ = 0;
        rapid = uptime < s.rapid_disconnect_uptime.seconds();
        up_since_.reset();
    }

    std::optional<DelayRange> rapid_range;
    if (rapid) {
        const double window = s.rapid_window.seconds();
        while (!rapid_record_.empty() && now - rapid_record_.front() > window) {
            rapid_record_.pop_front();
        }
        rapid_record_.push_back(now);
        const auto k = static_cast<std::uint32_t>(rapid_record_.size());
        if (k >= s.rapid_threshold) return die(DeadReason::RapidDisconnect);
        rapid_range = policy_.cooldown_range(k);
    }

    if (attempt_count_ != std::numeric_limits<std::uint32_t>::max()) ++attempt_count_;

    std::optional<DelayRange> range = rapid_range ? rapid_range : caller;
    if (rapid_range && caller) {
        range = DelayRange{std::max(rapid_range->lower, caller->lower),
                           std::max(rapid_range->upper, caller->upper)};
    }
    const Duration delay = policy_.next_delay(attempt_count_, range, jitter);
    const SessionState next =
        before == SessionState::Connecting ? SessionState::Connecting : SessionState::Reconnecting;
    state_ = next;
    return SessionOutcome::reconnect(next, delay);
}

}  // namespace vorn
