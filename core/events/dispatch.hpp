// Validation and normalization of inbound platform events. The result is a new JSON value whose
// containers and strings live in `mr` (string origins are carried over from `payload`).
#pragma once

#include <optional>
#include <string>

#include "core/enums.hpp"
#include "core/error.hpp"
#include "core/json.hpp"

namespace vorn {

Result<Json> validate_event_payload(EventType type, const Json& payload,
                                    std::optional<std::string> trace_context,
                                    MemoryResource* mr = std::pmr::get_default_resource());

// The same, normalizing the caller's own payload in place instead of copying it first. On failure
// the payload is left partly normalized.
Result<Json> validate_event_payload(EventType type, Json&& payload,
                                    std::optional<std::string> trace_context);

// Runs the same checks without building the normalized output: the failure, if any.
std::optional<CoreError> check_event_payload(EventType type, const Json& payload,
                                             const std::optional<std::string>& trace_context,
                                             MemoryResource* scratch);

}  // namespace vorn
