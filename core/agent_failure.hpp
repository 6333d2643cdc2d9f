// One agent-provider failure as the host reported it, unclassified, and the fixed key under which
// it travels as extension data. Immutable once built.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/json.hpp"

namespace vorn {

// The SDK's own extension namespace followed by "/failure".
inline constexpr std::string_view kAgentFailureExtensionKey = "dev.vorn.sdk/failure";

struct AgentFailure {
    std::string provider;
    std::string message;
    std::optional<std::string> code;
    std::optional<Json> detail;  // kept as a JSON value, never as the caller's object
};

}  // namespace vorn
