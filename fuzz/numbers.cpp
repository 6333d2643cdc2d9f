// The number arithmetic of the core against its documented ranges: rounding seconds to whole
// nanoseconds, number text, close and upgrade classification, and a session policy's backoff and
// cooldown ladder. Input: raw doubles and small choices, read in order.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/number_text.hpp"
#include "fuzz/driver.hpp"
#include "fuzz/policy_input.hpp"

using namespace vorn;
using fuzz::ByteReader;
using fuzz::require;

namespace {

__extension__ using Wide = unsigned __int128;
constexpr double kTwoPow64 = 18446744073709551616.0;

Wide total_nanos(Duration d) {
    return static_cast<Wide>(d.secs) * 1'000'000'000u + d.nanos;
}

// Rounded as the backoff rounds: saturating instead of refusing.
Duration saturated(double seconds) {
    return round_to_nanosecond(seconds).value_or(Duration::max());
}

void check_rounding(double x, double y, std::uint64_t whole_nanos) {
    const std::optional<Duration> r = round_to_nanosecond(x);
    require(r.has_value() == (x >= 0 && x < kTwoPow64), "only NaN, negatives and 2^64 s fail");
    if (!r) return;
    const long double exact = static_cast<long double>(x) * 1e9L;
    const long double error = std::fabs(static_cast<long double>(total_nanos(*r)) - exact);
    require(r->nanos < 1'000'000'000 && error <= 0.5L + exact * 0x1p-60L, "nearest nanosecond");
    if (const std::optional<Duration> s = round_to_nanosecond(y)) {
        require(x <= y ? *r <= *s : *s <= *r, "rounding keeps the order of its inputs");
    }
    // Below 2^52 ns the nearest double to n ns is less than half a nanosecond away.
    const std::uint64_t n = whole_nanos >> 12;
    require(total_nanos(*round_to_nanosecond(static_cast<double>(n) / 1e9)) == n, "round trip");
}

void check_number_text(double x) {
    const std::string text = number_text(x);
    if (!std::isfinite(x)) {
        return require(text == (std::isnan(x) ? "NaN" : x < 0 ? "-inf" : "inf"), "non-finite");
    }
    double back = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
    require(ec == std::errc() && end == text.data() + text.size() &&
                std::memcmp(&back, &x, sizeof x) == 0,
            "the text reads back as the same double");
    require(text.find_first_of("eE") == std::string::npos &&
                (x != std::trunc(x) || text.find('.') == std::string::npos),
            "plain decimals, without a point when whole");
}

void check_classification(std::uint16_t code) {
    const Classification close = classify_close(code), upgrade = classify_upgrade(code);
    require(close.terminal == (code == 1000) && !classify_close(std::nullopt).terminal &&
                upgrade.terminal == (code == 400 || code == 403 || code == 409) &&
                !close.delay_range && !upgrade.delay_range,
            "terminal codes and statuses");
}

void check_backoff(ByteReader& in) {
    const SessionPolicySettings s = fuzz::read_policy_settings(in);
    Result<SessionPolicy> created = SessionPolicy::create(s, "trace");
    if (!created) {
        const CoreError& e = created.error();
        return require(!e.issues.empty() && e.issues.size() <= 5 && e.trace_context == "trace",
                       "a refused policy lists its faults with the caller's trace context");
    }
    const SessionPolicy& policy = created.value();
    std::optional<DelayRange> range;
    if (in.flag()) range = DelayRange{fuzz::read_duration(in), fuzz::read_duration(in)};
    const auto jitter = [&] {
        Result<JitterSample> j = JitterSample::from_value(in.flag() ? in.byte() / 255.0 : in.f64());
        return j ? j.value() : JitterSample::from_value(1.0).value();
    };
    auto [a, b] = std::minmax({static_cast<std::uint32_t>(in.u64()), std::uint32_t{in.byte()}});
    JitterSample j = jitter(), k = jitter();
    if (j.value() > k.value()) std::swap(j, k);

    const Duration low = policy.next_delay(b, range, j), high = policy.next_delay(b, range, k);
    const Duration earlier = policy.next_delay(a, range, j);
    require(low <= high, "the delay never shrinks as the jitter grows");
    require(policy.next_delay(0, range, j) == policy.next_delay(1, range, j), "0 waits as 1");
    require(total_nanos(earlier) <= total_nanos(low) + total_nanos(low) / 1'000'000'000 + 1,
            "a later attempt never waits less, up to the rounding of the growth");
    const double top = range ? std::max(range->upper, range->lower).seconds() : 0;
    require(range || high <= saturated(s.max_delay.seconds()), "the max delay caps the delay");
    require(!range || top >= kTwoPow64 / 2 ||
                (saturated(range->lower.seconds()) <= low && high <= saturated(top)),
            "a range holds the delay between its bounds");

    auto [k1, k2] = std::minmax({3u + in.byte(), 3u + static_cast<std::uint32_t>(in.u64() >> 33)});
    const DelayRange rung = policy.cooldown_range(k1);
    require(rung.lower <= policy.cooldown_floor(k2) &&
                policy.cooldown_floor(k2) <= saturated(s.rapid_cooldown_max.seconds()),
            "the ladder climbs from the third rung and stops at its max");
    require(
        rung.lower == policy.cooldown_floor(k1) && rung.upper == std::max(rung.lower, s.max_delay),
        "a rung spans its floor to the larger of floor and max delay");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    const double x = in.f64();
    check_rounding(x, in.f64(), in.u64());
    check_number_text(x);
    check_classification(static_cast<std::uint16_t>(in.u64()));
    check_backoff(in);
    return 0;
}
