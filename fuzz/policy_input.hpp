// Session policy settings read from fuzz bytes, shared by the arithmetic and the session targets.
// Most spans come from a table of sensible values, so that policies pass validation often enough
// to be driven; the rest are any bit pattern.
#pragma once

#include "core/runtime/session_policy.hpp"
#include "fuzz/driver.hpp"

namespace vorn::fuzz {

inline Duration read_duration(ByteReader& in) {
    return duration_from_seconds(in.seconds()).value_or(Duration{});
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

}  // namespace vorn::fuzz
