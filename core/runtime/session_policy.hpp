// The reconnect numbers of one agent session: exponential backoff scaled by a host-drawn jitter
// sample and capped, the graduated floor after rapid disconnects (the cooldown ladder), the rapid
// disconnect limit, and two heartbeat timings that are only validated and handed back. A policy is
// immutable once built; `create` reports every inconsistency of its settings at once. Also the
// classification of WebSocket close codes and HTTP upgrade-rejection statuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/error.hpp"
#include "core/runtime/time.hpp"

namespace vorn {

// Constrains one computed delay: raised to `lower`, then cut to the larger of both bounds.
struct DelayRange {
    Duration lower;
    Duration upper;

    friend bool operator==(const DelayRange&, const DelayRange&) = default;
};

struct SessionPolicySettings {
    Duration base_delay{1, 0};
    double factor = 2.0;
    Duration max_delay{30, 0};
    Duration stable_reset{60, 0};
    Duration rapid_disconnect_uptime{10, 0};
    Duration rapid_window{300, 0};
    Duration rapid_first_min_delay{1, 0};
    Duration rapid_second_min_delay{5, 0};
    Duration rapid_cooldown_base{10, 0};
    Duration rapid_cooldown_step{10, 0};
    Duration rapid_cooldown_max{60, 0};
    std::uint32_t rapid_threshold = 10;
    Duration heartbeat_interval{30, 0};
    Duration dead_threshold{60, 0};
};

class SessionPolicy {
  public:
    static Result<SessionPolicy> create(const SessionPolicySettings& settings,
                                        std::optional<std::string> trace_context);
    // The recommended settings (the member initialisers above).
    static SessionPolicy defaults();

    const SessionPolicySettings& settings() const { return s_; }

    // The wait before attempt `attempt` (failed cycles so far, this one included): base delay
    // times factor^(attempt-1), capped at the max delay, times `jitter`, then held inside `range`.
    Duration next_delay(std::uint32_t attempt, const std::optional<DelayRange>& range,
                        JitterSample jitter) const;
    // The floor after the k-th (k >= 1) rapid disconnect inside the window.
    Duration cooldown_floor(std::uint32_t k) const;
    // (floor, the larger of floor and max delay) for the k-th rapid disconnect.
    DelayRange cooldown_range(std::uint32_t k) const;

  private:
    explicit SessionPolicy(const SessionPolicySettings& settings) : s_(settings) {}
    SessionPolicySettings s_;
};

// What a close code or upgrade status means for the session. No input fills `delay_range`; the
// slot is kept so a caller treats every classification alike.
struct Classification {
    bool terminal;
    std::optional<DelayRange> delay_range;
};

// Only a normal closure (1000) ends the session; no code at all does not.
Classification classify_close(std::optional<std::uint16_t> close_code);
// 400, 403 and 409 end the session; every other status, 401 and 404 included, is retried.
Classification classify_upgrade(std::uint16_t status);

}  // namespace vorn
