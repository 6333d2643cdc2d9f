// Constant dict keys and fixed-order result dicts. A key string is created (interned) once per
// literal and reused by every call, so building a result allocates only the values.
//
//   Ref d = new_dict();
//   set_item(d, key<"decision">(), make_str("invocation"));
#pragma once

#include <algorithm>
#include <cstddef>

#include "python/toolkit/ref.hpp"

namespace vorn::py {

template <std::size_t N>
struct Literal {
    char text[N];
    constexpr Literal(const char (&s)[N]) { std::copy_n(s, N, text); }
};

// Borrowed; lives for the life of the process.
template <Literal L>
PyObject* key() {
    static PyObject* cached = nullptr;
    if (!cached) cached = Ref::check(PyUnicode_InternFromString(L.text)).release();
    return cached;
}

inline Ref new_dict() {
    return Ref::check(PyDict_New());
}

inline void set_item(const Ref& dict, PyObject* key, const Ref& value) {
    check_status(PyDict_SetItem(dict.get(), key, value.get()));
}

}  // namespace vorn::py
