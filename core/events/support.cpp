#include "core/events/support.hpp"

namespace vorn {

namespace {

void optional_of_kind(const JsonObject& object, std::string_view key, Json::Kind kind,
                      bool nullable, std::string_view expected, Validation& v) {
    const Json* value = object.find(key);
    if (value == nullptr || value->kind() == kind || (nullable && value->is_null())) return;
    v.wrong_type(key, expected);
}

}  // namespace

void optional_string(const JsonObject& object, std::string_view key, Validation& v) {
    optional_of_kind(object, key, Json::Kind::String, false, "string", v);
}

void optional_nullable_string(const JsonObject& object, std::string_view key, Validation& v) {
    optional_of_kind(object, key, Json::Kind::String, true, "string", v);
}

void optional_boolean(const JsonObject& object, std::string_view key, Validation& v) {
    optional_of_kind(object, key, Json::Kind::Bool, false, "boolean", v);
}

void optional_array(const JsonObject& object, std::string_view key, Validation& v) {
    optional_of_kind(object, key, Json::Kind::Array, false, "array", v);
}

}  // namespace vorn
