#include "core/events/support.hpp"
#include "core/events/validators.hpp"

namespace vorn {

void validate_agent_control(const JsonObject& in, JsonObject&, Validation& v) {
    require_closed_string(in, "mode", {"interrupt", "stop", "play"}, v);
    require_closed_string(in, "scope", {"agent", "room"}, v);
    require_string(in, "agent_id", v);
    require_string(in, "correlation_id", v);
    require_nullable_string(in, "execution_id", v);
    require_nullable_string(in, "room_id", v);
    optional_string(in, "reason", v);
    optional_string(in, "type", v);
}

}  // namespace vorn
