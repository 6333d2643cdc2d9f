// The plain values most payloads are made of: exact dicts with exact str keys, exact lists and
// tuples, and exact str, int, float, bool and None leaves. Reading them runs no user code, so they
// can be read as they are and borrowed for the length of a call; whatever is not plain (or does not
// convert) is left to the general conversion walk, which then converts it or reports why it fails.
#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>

#include "core/json.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

// The UTF-8 text of a str, or nullopt (no error left set) when it has none.
inline std::optional<std::string_view> utf8_or_nothing(PyObject* s) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(s, &size);
    if (data == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

// Whether an int lies outside 0..2^64-1 and -2^63..-1; the kind it converts to otherwise.
std::optional<Json::Kind> int_kind(PyObject* n);

// The JSON kind of a plain leaf (a float that is not finite is null), and a string's UTF-8 text;
// nullopt when `obj` is a container, not plain, or has no JSON form.
inline std::optional<Json::Kind> plain_leaf(PyObject* obj, std::string_view& text) {
    if (PyUnicode_CheckExact(obj)) {
        const auto utf8 = utf8_or_nothing(obj);
        if (!utf8) return std::nullopt;
        text = *utf8;
        return Json::Kind::String;
    }
    if (obj == Py_None) return Json::Kind::Null;
    if (obj == Py_True || obj == Py_False) return Json::Kind::Bool;
    if (PyLong_CheckExact(obj)) return int_kind(obj);
    if (PyFloat_CheckExact(obj)) {
        return std::isfinite(PyFloat_AsDouble(obj)) ? Json::Kind::Float : Json::Kind::Null;
    }
    return std::nullopt;
}

inline bool is_plain_container(PyObject* obj) {
    return PyDict_CheckExact(obj) || PyList_CheckExact(obj) || PyTuple_CheckExact(obj);
}

// The UTF-8 text of an exact str key, or nullopt when it is no such key.
inline std::optional<std::string_view> plain_key(PyObject* key) {
    if (!PyUnicode_CheckExact(key)) return std::nullopt;
    return utf8_or_nothing(key);
}

// Of a list or tuple.
inline std::size_t item_count(PyObject* sequence) {
    return static_cast<std::size_t>(PyList_CheckExact(sequence) ? PyList_Size(sequence)
                                                                : PyTuple_Size(sequence));
}
inline PyObject* item_at(PyObject* sequence, std::size_t i) {
    const auto index = static_cast<Py_ssize_t>(i);
    return PyList_CheckExact(sequence) ? PyList_GetItem(sequence, index)
                                       : PyTuple_GetItem(sequence, index);
}

// Enters the interpreter's recursion check once per level of nesting reached, as the general walk
// does along its deepest path, and leaves every level entered when done. `reach` fails (leaving no
// error set) exactly where the general walk would fail for depth.
class NestingBudget {
  public:
    NestingBudget() = default;
    NestingBudget(const NestingBudget&) = delete;
    NestingBudget& operator=(const NestingBudget&) = delete;
    ~NestingBudget();
    bool reach(std::size_t depth);

  private:
    std::size_t entered_ = 0;
};

}  // namespace vorn::py
