// The one implementation behind every enumeration class: heap types built from a table row, one
// cached member object per member (the class attribute, every returned value and every
// `from_wire_name` answer are that same object), comparison by position within one class only,
// no hash, no instances from Python.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "core/enums.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

enum class EnumFamily : std::uint8_t { WireName, Value };

struct EnumClassDef {
    const char* name;
    EnumFamily family;
    const char* doc;           // class doc string, or nullptr
    const char* property_doc;  // doc of the `wire_name`/`value` property, or nullptr
    std::span<const EnumMember> members;
    std::span<const PyMethodDef> extra_methods = {};
};

// Every enumeration class, indexed by id; defined with the class table.
std::span<const EnumClassDef> enum_class_defs();

// The class object (created with its members on first use). Borrowed.
PyObject* enum_type(std::size_t id);
// The cached member object. Borrowed.
PyObject* enum_member(std::size_t id, std::size_t index);
// The member's position when `obj` is a member of class `id`.
std::optional<std::size_t> enum_index(std::size_t id, PyObject* obj);

}  // namespace vorn::py
