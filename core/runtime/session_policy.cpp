#include "core/runtime/session_policy.hpp"

#include <algorithm>
#include <cmath>

#include "core/number_text.hpp"

namespace vorn {

namespace {

// factor^n by squaring, multiplying in the running square for each set bit from the lowest.
double integer_power(double factor, std::uint32_t n) {
    double result = 1.0;
    double square = factor;
    while (n != 0) {
        if ((n & 1) != 0) result *= square;
        square *= square;
        n >>= 1;
    }
    return result;
}

}  // namespace

Result<SessionPolicy> SessionPolicy::create(const SessionPolicySettings& s,
                                            std::optional<std::string> trace_context) {
    Validation v;
    if (!(s.factor >= 1.0) || std::isinf(s.factor)) {
        v.push("factor", IssueCode::InvalidValue,
               "factor must be a finite number >= 1.0, got " + number_text(s.factor));
    }
    if (s.base_delay > s.max_delay) {
        v.push("base_delay", IssueCode::InvalidValue, "base_delay must not exceed max_delay");
    }
    if (s.rapid_threshold == 0) {
        v.push("rapid_threshold", IssueCode::InvalidValue, "rapid_threshold must be at least 1");
    }
    if (s.heartbeat_interval == Duration{}) {
        v.push("heartbeat_interval", IssueCode::InvalidValue,
               "heartbeat_interval must be greater than zero");
    }
    if (s.dead_threshold <= s.heartbeat_interval) {
        v.push("dead_threshold", IssueCode::InvalidValue,
               "dead_threshold must exceed heartbeat_interval");
    }
    if (!v.ok()) return std::move(v).into_error(std::move(trace_context));
    return SessionPolicy(s);
}

SessionPolicy SessionPolicy::defaults() {
    return create(SessionPolicySettings{}, std::nullopt).value();
}

Duration SessionPolicy::next_delay(std::uint32_t attempt, const std::optional<DelayRange>& range,
                                   JitterSample jitter) const {
    const std::uint32_t n = attempt == 0 ? 0 : std::min<std::uint32_t>(attempt - 1, 0x7fff'ffff);
    const double raw = integer_power(s_.factor, n) * s_.base_delay.seconds();
    const double max = s_.max_delay.seconds();
    // NaN only from a zero base delay times an infinite growth.
    const double capped = std::isnan(raw) ? max : std::min(raw, max);
    double delay = jitter.value() * capped;
    if (range) {
        const double lower = range->lower.seconds();
        const double top = std::max(range->upper.seconds(), lower);
        if (delay < lower) delay = lower;
        if (delay > top) delay = top;
    }
    return round_to_nanosecond(delay).value_or(s_.max_delay);
}

Duration SessionPolicy::cooldown_floor(std::uint32_t k) const {
    if (k <= 1) return s_.rapid_first_min_delay;
    if (k == 2) return s_.rapid_second_min_delay;
    const double grown = s_.rapid_cooldown_base.seconds() +
                         s_.rapid_cooldown_step.seconds() * static_cast<double>(k - 3);
    const double floor = std::min(grown, s_.rapid_cooldown_max.seconds());
    return round_to_nanosecond(floor).value_or(s_.rapid_cooldown_max);
}

DelayRange SessionPolicy::cooldown_range(std::uint32_t k) const {
    const Duration floor = cooldown_floor(k);
    return {floor, std::max(floor, s_.max_delay)};
}

Classification classify_close(std::optional<std::uint16_t> close_code) {
    return {close_code == 1000, std::nullopt};
}

Classification classify_upgrade(std::uint16_t status) {
    return {status == 400 || status == 403 || status == 409, std::nullopt};
}

}  // namespace vorn
