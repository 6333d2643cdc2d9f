// Range checks of the connection-lifecycle arguments, after their conversion: each raises
// ValueError naming the argument and quoting the offending value, and hands back the core value.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/runtime/time.hpp"

namespace vorn::py {

Elapsed elapsed_from_seconds(double now_s);  // `now_s`
Duration duration_from_seconds(std::string_view name, double seconds);
JitterSample jitter_sample_in_unit_interval(double sample);  // `jitter_sample`
std::uint64_t checked_epoch(std::int64_t epoch);             // `epoch`

}  // namespace vorn::py
