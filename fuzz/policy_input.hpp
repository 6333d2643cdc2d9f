// Session policy settings read from fuzz bytes, shared by the arithmetic and the session targets.
// Most spans come from a table of sensible values, so that policies pass validation often enough
// to be driven; the rest are any bit pattern.
#pragma once

#include "core/runtime/session_policy.hpp"
#include "fuzz/driver.hpp"

namespace vorn::fuzz {

// Seconds as a host would pass them: mostly sensible spans, now and then any bit pattern.
inline Duration read_duration(ByteReader& in) {
    const double seconds =
        in.flag() ? in.pick({0.0, 1e-10, 0.25, 1.0, 5.0, 9.999, 10.0, 30.0, 60.0, 300.0, 1e9})
                  : in.f64();
    return duration_from_seconds(seconds).value_or(Duration{});
}

inline SessionPolicySettings read_policy_settings(ByteReader& in) {
    SessionPolicySettings s;
    for (Duration* d : {&s.base_delay, &s.max_delay, &s.stable_reset, &s.rapid_disconnect_uptime,
                        &s.rapid_window, &s.rapid_first_min_delay, &s.rapid_second_min_delay,
                        &s.rapid_cooldown_base, &s.rapid_cooldown_step, &s.rapid_cooldown_max,
                        &s.heartbeat_interval, &s.dead_threshold}) {
        if (in.flag()) *d = read_duration(in);  // else the default
    }
    s.factor = in.flag() ? in.pick({1.0, 1.5, 2.0, 10.0}) : in.f64();
    s.rapid_threshold = in.byte();
    return s;
}

// Seconds rounded as the backoff rounds them: saturating instead of refusing.
inline Duration saturated(double seconds) {
    return round_to_nanosecond(seconds).value_or(Duration::max());
}

}  // namespace vorn::fuzz
