#include "python/time_arguments.hpp"

#include <string>

#include "core/number_text.hpp"
#include "python/toolkit/errors.hpp"

namespace vorn::py {

namespace {

[[noreturn]] void raise_out_of_range(std::string_view name, std::string_view requirement,
                                     std::string_view value) {
    std::string m = "`";
    m.append(name).append("` must be ").append(requirement).append(", got ").append(value);
    raise_value_error(m);
}

}  // namespace

Elapsed elapsed_from_seconds(double now_s) {
    Result<Elapsed> elapsed = Elapsed::from_seconds(now_s);
    if (!elapsed) raise_out_of_range("now_s", "a finite, non-negative number", number_text(now_s));
    return elapsed.value();
}

Duration duration_from_seconds(std::string_view name, double seconds) {
    const std::optional<Duration> duration = vorn::duration_from_seconds(seconds);
    if (!duration) raise_out_of_range(name, "a finite, non-negative number", number_text(seconds));
    return *duration;
}

JitterSample jitter_sample_in_unit_interval(double sample) {
    Result<JitterSample> jitter = JitterSample::from_value(sample);
    if (!jitter) {
        raise_out_of_range("jitter_sample", "a finite number between 0.0 and 1.0",
                           number_text(sample));
    }
    return jitter.value();
}

std::uint64_t checked_epoch(std::int64_t epoch) {
    if (epoch < 0) raise_out_of_range("epoch", "a non-negative integer", std::to_string(epoch));
    return static_cast<std::uint64_t>(epoch);
}

}  // namespace vorn::py
