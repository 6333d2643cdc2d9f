// Time on the host's clock as the core sees it. A `Duration` is whole seconds plus nanoseconds,
// ordered seconds first. Seconds given as doubles become durations by rounding the exact binary
// value to the nearest nanosecond, ties to even. `Elapsed` is a time reading or span (finite, not
// negative) and `JitterSample` a random draw in 0..1; both reject anything else as one issue.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>

#include "core/error.hpp"

namespace vorn {

struct Duration {
    std::uint64_t secs = 0;
    std::uint32_t nanos = 0;  // 0..999,999,999

    static constexpr Duration max() { return {UINT64_MAX, 999'999'999}; }
    // nanos / 1e9 + secs, in double precision.
    double seconds() const { return static_cast<double>(nanos) / 1e9 + static_cast<double>(secs); }

    friend auto operator<=>(const Duration&, const Duration&) = default;
};

// `seconds` rounded to the nearest nanosecond, ties to even; nullopt when it is NaN, negative
// (negative zero is zero) or 2^64 seconds or more, so that each caller picks its own ceiling.
std::optional<Duration> round_to_nanosecond(double seconds);

// The conversion of configured spans: nullopt unless finite and not negative; 2^64 seconds or
// more saturates to Duration::max().
std::optional<Duration> duration_from_seconds(double seconds);

class Elapsed {
  public:
    static Result<Elapsed> from_seconds(double seconds);
    double seconds() const { return seconds_; }

  private:
    explicit Elapsed(double seconds) : seconds_(seconds) {}
    double seconds_;
};

class JitterSample {
  public:
    static Result<JitterSample> from_value(double value);
    double value() const { return value_; }

  private:
    explicit JitterSample(double value) : value_(value) {}
    double value_;
};

}  // namespace vorn
