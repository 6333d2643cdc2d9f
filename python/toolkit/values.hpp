// Building Python values from core values: strings, integers, tuples, and dicts whose key order is
// fixed by the API rather than sorted.
#pragma once

#include <cstdint>
#include <iterator>
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

// A new list holding `item(x)` for each element of `items`, in order.
template <class Range, class F>
Ref make_list(const Range& items, F&& item) {
    Ref list = Ref::check(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
    Py_ssize_t i = 0;
    for (const auto& x : items) PyList_SetItem(list.get(), i++, item(x).release());
    return list;
}

// A new list of `n` items that `visit(add)` hands to `add` one by one, in order.
template <class Visit>
Ref make_list_of(std::size_t n, Visit&& visit) {
    Ref list = Ref::check(PyList_New(static_cast<Py_ssize_t>(n)));
    Py_ssize_t i = 0;
    visit([&](Ref item) { PyList_SetItem(list.get(), i++, item.release()); });
    return list;
}

// A list of str from any range of strings or string views.
template <class Range>
Ref make_str_list(const Range& items) {
    return make_list(items, [](std::string_view s) { return make_str(s); });
}

// A 2-tuple of new references.
inline Ref make_pair(const Ref& first, const Ref& second) {
    return Ref::check(PyTuple_Pack(2, first.get(), second.get()));
}

}  // namespace vorn::py
