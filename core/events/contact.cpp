#include "core/events/support.hpp"
#include "core/events/validators.hpp"

namespace vorn {

void validate_contact_added(const JsonObject& in, JsonObject& out, Validation& v) {
    require_string(in, "id", v);
    require_string(in, "type", v);
    require_string(in, "inserted_at", v);
    require_nullable_string(in, "handle", v);
    require_nullable_string(in, "name", v);
    optional_string(in, "description", v);
    optional_boolean(in, "listed_in_directory", v);
    optional_array(in, "tags", v);
    normalize_remote_alias(in, out, v);
}

void validate_contact_removed(const JsonObject& in, JsonObject&, Validation& v) {
    require_string(in, "id", v);
}

void validate_contact_request_received(const JsonObject& in, JsonObject& out, Validation& v) {
    require_string(in, "id", v);
    require_string(in, "status", v);
    require_string(in, "inserted_at", v);
    optional_string_null_as_absent(in, "from_handle", out, v);
    optional_string_null_as_absent(in, "from_name", out, v);
    optional_string_null_as_absent(in, "message", out, v);
}

void validate_contact_request_updated(const JsonObject& in, JsonObject&, Validation& v) {
    require_string(in, "id", v);
    require_string(in, "status", v);
}

}  // namespace vorn
