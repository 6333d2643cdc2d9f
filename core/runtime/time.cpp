#include "core/runtime/time.hpp"

#include <cmath>

namespace vorn {

namespace {

__extension__ using Wide = unsigned __int128;

constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;
constexpr double kTwoPow64 = 18446744073709551616.0;

CoreError single_issue(const char* path, const char* message) {
    Validation v;
    v.push(path, IssueCode::InvalidValue, message);
    return std::move(v).into_error(std::nullopt);
}

}  // namespace

std::optional<Duration> round_to_nanosecond(double seconds) {
    if (std::isnan(seconds) || seconds < 0 || seconds >= kTwoPow64) return std::nullopt;
    if (seconds == 0) return Duration{};
    // seconds == mantissa * 2^shift exactly, with a 53-bit integer mantissa.
    int exponent = 0;
    const double fraction = std::frexp(seconds, &exponent);
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int shift = exponent - 53;
    // mantissa * 10^9 < 2^83 and, below 2^64 s, shift <= 11: every product fits in 128 bits.
    const Wide scaled = static_cast<Wide>(mantissa) * kNanosPerSecond;
    Wide nanos = 0;
    if (shift >= 0) {
        nanos = scaled << shift;
    } else if (-shift < 84) {
        const int drop = -shift;
        nanos = scaled >> drop;
        const Wide rest = scaled - (nanos << drop);
        const Wide half = static_cast<Wide>(1) << (drop - 1);
        if (rest > half || (rest == half && (nanos & 1) != 0)) ++nanos;
    }  // else under half a nanosecond: zero
    return Duration{static_cast<std::uint64_t>(nanos / kNanosPerSecond),
                    static_cast<std::uint32_t>(nanos % kNanosPerSecond)};
}

std::optional<Duration> duration_from_seconds(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return std::nullopt;
    return round_to_nanosecond(seconds).value_or(Duration::max());
}

Result<Elapsed> Elapsed::from_seconds(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        return single_issue("seconds", "elapsed seconds must be finite and non-negative");
    }
    return Elapsed(seconds);
}

Result<JitterSample> JitterSample::from_value(double value) {
    if (!(value >= 0.0 && value <= 1.0)) {
        return single_issue("jitter_sample", "jitter sample must be finite and between 0 and 1");
    }
    return JitterSample(value);
}

}  // namespace vorn
