#include "core/events/support.hpp"
#include "core/events/validators.hpp"

namespace vorn {

void validate_participant(const JsonObject& in, JsonObject& out, Validation& v) {
    require_string(in, "id", v);
    require_string(in, "type", v);
    require_string(in, "name", v);
    optional_string(in, "handle", v);
    optional_nullable_string(in, "description", v);
    normalize_remote_alias(in, out, v);
}

}  // namespace vorn
