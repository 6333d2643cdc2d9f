// The Python class of an immutable reconnect policy, for the classes that take one as an argument.
#pragma once

#include "core/runtime/session_policy.hpp"
#include "python/toolkit/class_type.hpp"

namespace vorn::py {

ClassSpec<SessionPolicy>& session_policy_spec();

}  // namespace vorn::py
