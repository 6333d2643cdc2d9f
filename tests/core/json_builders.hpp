// Terse builders for JSON test values, and GoogleTest printers so that a failing comparison shows
// the values as JSON text and the issues as (path, code, message).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string_view>
#include <utility>

#include "core/error.hpp"
#include "core/json.hpp"

namespace vorn::test {

inline Json str(std::string_view s) {
    return Json::string(s);
}
inline Json num(std::int64_t i) {
    return Json::integer(i);
}
inline Json flag(bool b) {
    return Json::boolean(b);
}

inline Json obj(std::initializer_list<std::pair<std::string_view, Json>> members = {}) {
    Json out = Json::object();
    for (const auto& [key, value] : members) out.if_object()->set(key, value);
    return out;
}

inline Json arr(std::initializer_list<Json> items = {}) {
    Json out = Json::array();
    for (const auto& item : items) out.if_array()->push_back(item);
    return out;
}

// `base` with each change applied: a value sets its key, nullopt removes it.
using Value = std::optional<Json>;
inline Json edit(Json base, std::initializer_list<std::pair<std::string_view, Value>> changes) {
    for (const auto& [key, value] : changes) {
        if (value) {
            base.if_object()->set(key, *value);
        } else {
            base.if_object()->erase(key);
        }
    }
    return base;
}

inline Issue missing(std::string_view path) {
    return {std::string(path), IssueCode::Missing,
            "required field `" + std::string(path) + "` is missing"};
}

inline Issue wrong(std::string_view path, std::string_view expected) {
    const bool an = std::string_view("aeiou").find(expected.front()) != std::string_view::npos;
    return {std::string(path), IssueCode::WrongType,
            "`" + std::string(path) + "` must be " + (an ? "an " : "a ") + std::string(expected)};
}

}  // namespace vorn::test

namespace vorn {

// Numbers carry a kind suffix (u: unsigned, f: float) so that a kind mismatch is visible.
inline void PrintTo(const Json& value, std::ostream* os) {
    const char* sep = "";
    if (value.is_null()) *os << "null";
    if (const bool* b = value.if_bool()) *os << (*b ? "true" : "false");
    if (const auto* i = value.if_int()) *os << *i;
    if (const auto* u = value.if_uint()) *os << *u << 'u';
    if (const auto* d = value.if_float()) *os << *d << 'f';
    if (const auto* s = value.if_string()) *os << '"' << s->text() << '"';
    if (const auto* a = value.if_array()) {
        *os << '[';
        for (const auto& item : *a) *os << std::exchange(sep, ","), PrintTo(item, os);
        *os << ']';
    }
    if (const auto* o = value.if_object()) {
        *os << '{';
        for (const auto& m : *o) {
            *os << std::exchange(sep, ",") << '"' << m.key.text() << "\":", PrintTo(m.value, os);
        }
        *os << '}';
    }
}

inline void PrintTo(const Issue& issue, std::ostream* os) {
    *os << '(' << issue.path << ", " << wire_name(issue.code) << ", " << issue.message << ')';
}

}  // namespace vorn
