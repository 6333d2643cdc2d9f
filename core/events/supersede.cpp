#include "core/events/support.hpp"
#include "core/events/validators.hpp"

namespace vorn {

void validate_supersede(const JsonObject& in, JsonObject& out, Validation& v) {
    require_string(in, "reason", v);
    require_string(in, "message", v);
    optional_nullable_string(in, "target_socket_id", v);
    require_nullable_string(in, "correlation_id", v);
    normalize_retryable(in, out);
    normalize_retry_after(in, out);
}

}  // namespace vorn
