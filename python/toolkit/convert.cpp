#include "python/toolkit/convert.hpp"

#include <string>

namespace vorn::py {

namespace {

bool is_numpy_bool(PyObject* obj) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
    Ref module = Ref::steal(PyObject_GetAttrString(type, "__module__"));
    Ref name = Ref::steal(PyObject_GetAttrString(type, "__name__"));
    PyErr_Clear();
    if (!module || !name || !PyUnicode_Check(module.get()) || !PyUnicode_Check(name.get())) {
        return false;
    }
    return PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0 &&
           (PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
            PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0);
}

Ref index_of(PyObject* obj) {
    return Ref::check(PyNumber_Index(obj));
}

}  // namespace

void raise_wrong_argument_type(std::string_view name, std::string_view expected, PyObject* got) {
    std::string m = "argument '";
    m.append(name).append("' must be ").append(expected).append(", not ").append(type_name(got));
    raise_type_error(m);
}

std::vector<std::string> Converter<std::vector<std::string>>::from_py(PyObject* obj,
                                                                      std::string_view name) {
    if (PyUnicode_Check(obj) || !PySequence_Check(obj)) {
        raise_wrong_argument_type(name, "a sequence of str", obj);
    }
    Ref iter = Ref::check(PyObject_GetIter(obj));
    std::vector<std::string> out;
    while (Ref item = Ref::steal(PyIter_Next(iter.get()))) {
        if (!PyUnicode_Check(item.get())) {
            raise_type_error("argument '" + std::string(name) +
                             "' must be a sequence of str, found " + type_name(item.get()));
        }
        out.emplace_back(utf8_view(item.get()));
    }
    if (PyErr_Occurred()) throw_error_already_set();
    return out;
}

bool Converter<bool>::from_py(PyObject* obj, std::string_view name) {
    if (obj == Py_True) return true;
    if (obj == Py_False) return false;
    if (!is_numpy_bool(obj)) raise_wrong_argument_type(name, "bool", obj);
    const int truth = PyObject_IsTrue(obj);
    check_status(truth);
    return truth != 0;
}

// An exact int is its own index: no new reference to take and drop.
std::int64_t Converter<std::int64_t>::from_py(PyObject* obj, std::string_view) {
    Ref index = PyLong_CheckExact(obj) ? Ref() : index_of(obj);
    const long long v = PyLong_AsLongLong(index ? index.get() : obj);
    if (v == -1 && PyErr_Occurred()) throw_error_already_set();
    return v;
}

std::uint64_t Converter<std::uint64_t>::from_py(PyObject* obj, std::string_view) {
    Ref index = PyLong_CheckExact(obj) ? Ref() : index_of(obj);
    const unsigned long long v = PyLong_AsUnsignedLongLong(index ? index.get() : obj);
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_error_already_set();
    return v;
}

double Converter<double>::from_py(PyObject* obj, std::string_view) {
    const double v = PyFloat_AsDouble(obj);
    if (v == -1.0 && PyErr_Occurred()) throw_error_already_set();
    return v;
}

namespace {

[[noreturn]] void raise_out_of_range(std::string_view name, std::uint64_t min, std::uint64_t max,
                                     const std::string& value) {
    std::string m = "`";
    m.append(name).append("` must be an integer between ").append(std::to_string(min));
    m.append(" and ").append(std::to_string(max)).append(", got ").append(value);
    raise_value_error(m);
}

}  // namespace

std::uint64_t checked_int(std::string_view name, std::uint64_t value, std::uint64_t min,
                          std::uint64_t max) {
    if (value < min || value > max) raise_out_of_range(name, min, max, std::to_string(value));
    return value;
}

std::uint64_t checked_int(std::string_view name, std::int64_t value, std::uint64_t min,
                          std::uint64_t max) {
    if (value < 0) raise_out_of_range(name, min, max, std::to_string(value));
    return checked_int(name, static_cast<std::uint64_t>(value), min, max);
}

std::uint64_t checked_int(std::string_view name, PyObject* index, std::uint64_t min,
                          std::uint64_t max) {
    const unsigned long long value = PyLong_AsUnsignedLongLong(index);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw_error_already_set();
        PyErr_Clear();
        Ref digits = Ref::check(PyObject_Str(index));
        raise_out_of_range(name, min, max, std::string(utf8_view(digits.get())));
    }
    return checked_int(name, static_cast<std::uint64_t>(value), min, max);
}

std::uint16_t checked_u16(std::string_view name, std::int64_t value) {
    if (value < 0 || value > 65535) {
        std::string m = "`";
        m.append(name).append("` must be an integer between 0 and 65535, got ");
        m.append(std::to_string(value));
        raise_value_error(m);
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace vorn::py
