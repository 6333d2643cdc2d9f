#include "core/events/support.hpp"
#include "core/events/validators.hpp"

namespace vorn {

void validate_room(const JsonObject& in, JsonObject&, Validation& v) {
    require_string(in, "id", v);
    require_string(in, "inserted_at", v);
    require_string(in, "updated_at", v);
    optional_nullable_string(in, "title", v);
    optional_nullable_string(in, "task_id", v);
}

void validate_room_deleted(const JsonObject& in, JsonObject&, Validation& v) {
    require_string(in, "id", v);
}

}  // namespace vorn
