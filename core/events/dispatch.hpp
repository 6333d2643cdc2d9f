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

}  // namespace vorn
