// Building Python values from core values: strings, integers, tuples, and dicts whose key order is
// fixed by the API rather than sorted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "python/toolkit/ref.hpp"

namespace vorn::py {

inline Ref make_str(std::string_view s) {
    return Ref::check(PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size())));
}
// The origin object when there is one (it is the same text), else a new str.
inline Ref make_str(std::string_view s, const void* origin) {
    if (origin) return Ref::borrow(static_cast<PyObject*>(const_cast<void*>(origin)));
    return make_str(s);
}

inline Ref make_bool(bool b) {
    return Ref::borrow(b ? Py_True : Py_False);
}
inline Ref make_int(std::int64_t v) {
    return Ref::check(PyLong_FromLongLong(v));
}
inline Ref make_uint(std::uint64_t v) {
    return Ref::check(PyLong_FromUnsignedLongLong(v));
}
inline Ref make_float(double v) {
    return Ref::check(PyFloat_FromDouble(v));
}
inline Ref none() {
    return Ref::borrow(Py_None);
}
inline Ref make_optional_str(const std::optional<std::string>& s) {
    return s ? make_str(*s) : none();
}

inline Ref make_str_list(std::span<const std::string> items) {
    Ref list = Ref::check(PyList_New(static_cast<Py_ssize_t>(items.size())));
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), make_str(items[i]).release());
    }
    return list;
}

}  // namespace vorn::py
