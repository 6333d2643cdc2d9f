// Scalar parameter conversions. Each Converter<T>::from_py raises TypeError naming the parameter
// for a value of the wrong type; integers follow the index protocol and raise the host's own
// OverflowError beyond the width they are read at. `checked_int`/`checked_u16` add range checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/flat/hash.hpp"
#include "core/json.hpp"
#include "python/toolkit/errors.hpp"

namespace vorn::py {

template <class T>
struct Converter;

[[noreturn]] void raise_wrong_argument_type(std::string_view name, std::string_view expected,
                                            PyObject* got);

template <>
struct Converter<PyObject*> {
    static PyObject* from_py(PyObject* obj, std::string_view) { return obj; }
};

template <>
struct Converter<std::string_view> {
    // The view borrows the str's own UTF-8 buffer; it lives as long as the argument does. An
    // exact str is told by its type alone; the flag test is a call under the limited API.
    static std::string_view from_py(PyObject* obj, std::string_view name) {
        if (!PyUnicode_CheckExact(obj) && !PyUnicode_Check(obj)) {
            raise_wrong_argument_type(name, "str", obj);
        }
        return utf8_view(obj);
    }
};

// A str argument as a view with the str itself as origin (exact str only), so a result can hand
// the caller's own object back.
template <>
struct Converter<TextRef> {
    static TextRef from_py(PyObject* obj, std::string_view name) {
        const std::string_view text = Converter<std::string_view>::from_py(obj, name);
        return {text, PyUnicode_CheckExact(obj) ? obj : nullptr};
    }
};

// A str argument with its hash, computed once for every table the call asks.
template <>
struct Converter<HashedText> {
    static HashedText from_py(PyObject* obj, std::string_view name) {
        return HashedText(Converter<std::string_view>::from_py(obj, name));
    }
};

template <>
struct Converter<std::string> {
    static std::string from_py(PyObject* obj, std::string_view name) {
        return std::string(Converter<std::string_view>::from_py(obj, name));
    }
};

template <>
struct Converter<bool> {
    static bool from_py(PyObject* obj, std::string_view name);
};

template <>
struct Converter<std::int64_t> {
    static std::int64_t from_py(PyObject* obj, std::string_view name);
};

template <>
struct Converter<std::uint64_t> {
    static std::uint64_t from_py(PyObject* obj, std::string_view name);
};

template <>
struct Converter<double> {
    static double from_py(PyObject* obj, std::string_view name);
};

// Any sequence whose items are all str; a str itself is refused rather than read as characters.
template <>
struct Converter<std::vector<std::string>> {
    static std::vector<std::string> from_py(PyObject* obj, std::string_view name);
};

// `None` (or an omitted argument) is absent.
template <class T>
struct Converter<std::optional<T>> {
    static std::optional<T> from_py(PyObject* obj, std::string_view name) {
        if (obj == Py_None) return std::nullopt;
        return Converter<T>::from_py(obj, name);
    }
};

// "`{name}` must be an integer between {min} and {max}, got {value}" as ValueError.
std::uint64_t checked_int(std::string_view name, std::uint64_t value, std::uint64_t min,
                          std::uint64_t max);
// The same for a value read as a signed 64-bit integer; a negative value is out of range.
std::uint64_t checked_int(std::string_view name, std::int64_t value, std::uint64_t min,
                          std::uint64_t max);
// The same for an int of any size (the result of the index protocol): a value beyond 64 bits gets
// the range message with its own digits rather than an OverflowError.
std::uint64_t checked_int(std::string_view name, PyObject* index, std::uint64_t min,
                          std::uint64_t max);
// The same for 0..65535; the value is read as a signed 64-bit integer first.
std::uint16_t checked_u16(std::string_view name, std::int64_t value);

}  // namespace vorn::py
