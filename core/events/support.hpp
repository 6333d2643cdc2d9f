// Field checks for keys an event may leave out. Absent is always accepted; a present value of the
// wrong JSON type is a `WrongType` issue whose path is the key. None of them touches the output:
// the value stays as it came.
#pragma once

#include <string_view>

#include "core/error.hpp"
#include "core/json.hpp"

namespace vorn {

// Present must be a string; null is a wrong type.
void optional_string(const JsonObject& object, std::string_view key, Validation& v);
// Present must be a string or null.
void optional_nullable_string(const JsonObject& object, std::string_view key, Validation& v);
// Present must be a boolean; null is a wrong type.
void optional_boolean(const JsonObject& object, std::string_view key, Validation& v);
// Present must be an array, elements unchecked; null is a wrong type.
void optional_array(const JsonObject& object, std::string_view key, Validation& v);

}  // namespace vorn
