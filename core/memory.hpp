// The rule that ties a memory's tier to its content kind: each `MemorySystem` admits a fixed list
// of `MemoryType`s. Validation takes wire-name strings, so unknown names are reported as issues
// (system first) rather than rejected before the check.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "core/enums.hpp"
#include "core/error.hpp"

namespace vorn {

// In the order the tier lists them.
std::span<const MemoryType> admitted_memory_types(MemorySystem system);

// Issues at path "system" and "type"; the trace context is carried into the error.
Result<std::monostate> validate_memory_type_for_system(
    std::string_view system, std::string_view memory_type,
    std::optional<std::string> trace_context = std::nullopt);

}  // namespace vorn
