#include "python/toolkit/py_document.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "core/small_sort.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

PyObject* field_key(FieldName name) {
    // Open addressing on the literal's address. The rules name a few dozen fields, so the table
    // never fills; it only grows with the program text, never with what callers send.
    struct Slot {
        const char* literal;
        PyObject* key;
    };
    static std::array<Slot, 256> table{};
    const auto address = reinterpret_cast<std::uintptr_t>(name.data());
    for (std::size_t probe = 0; probe < table.size(); ++probe) {
        Slot& slot = table[((address >> 3) + probe) % table.size()];
        if (slot.literal == name.data()) return slot.key;
        if (slot.literal == nullptr) {
            slot.key = Ref::check(PyUnicode_FromStringAndSize(
                                      name.data(), static_cast<Py_ssize_t>(name.text().size())))
                           .release();
            PyUnicode_InternInPlace(&slot.key);
            slot.literal = name.data();
            return slot.key;
        }
    }
    throw std::length_error("field name table is full");
}

Json::Kind PyDocument::kind(Node n) const {
    if (PyUnicode_Check(n)) return Json::Kind::String;
    if (PyDict_Check(n)) return Json::Kind::Object;
    if (PyList_Check(n) || PyTuple_Check(n)) return Json::Kind::Array;
    if (n == Py_None) return Json::Kind::Null;
    if (n == Py_True || n == Py_False) return Json::Kind::Bool;
    if (PyLong_Check(n)) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(n, &overflow);
        return overflow == 0 && v < 0 ? Json::Kind::Int : Json::Kind::UInt;
    }
    return std::isfinite(PyFloat_AsDouble(n)) ? Json::Kind::Float : Json::Kind::Null;
}

std::string_view PyDocument::text(Node n) const {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(n, &size);
    return {data, static_cast<std::size_t>(size)};
}

std::size_t PyDocument::size(Node array) const {
    return static_cast<std::size_t>(PyList_Check(array) ? PyList_Size(array) : PyTuple_Size(array));
}

PyDocument::Node PyDocument::item(Node array, std::size_t i) const {
    const auto index = static_cast<Py_ssize_t>(i);
    return PyList_Check(array) ? PyList_GetItem(array, index) : PyTuple_GetItem(array, index);
}

void PyDocument::set_int(Node object, FieldName key, std::int64_t v) {
    set(object, key, make_int(v));
}

PyDocument::Node PyDocument::set_empty_array(Node object, FieldName key) {
    return set(object, key, Ref::check(PyList_New(0)));
}

PyDocument::Node PyDocument::set_empty_object(Node object, FieldName key) {
    return set(object, key, new_dict());
}

void PyDocument::erase(Node object, FieldName key) {
    check_status(PyDict_DelItem(object, field_key(key)));
}

PyObject* PyDocument::set(Node object, FieldName key, Ref value) {
    const Py_ssize_t before = PyDict_Size(object);
    check_status(PyDict_SetItem(object, field_key(key), value.get()));
    if (PyDict_Size(object) != before) grown_.push_back(object);
    return value.get();  // now held by `object`
}

void PyDocument::restore_key_order() {
    struct Entry {
        std::string_view text;
        Ref key, value;
    };
    std::vector<Entry> entries;
    for (PyObject* dict : grown_) {
        entries.clear();
        Py_ssize_t pos = 0;
        PyObject *key = nullptr, *value = nullptr;
        while (PyDict_Next(dict, &pos, &key, &value)) {
            entries.push_back(Entry{text(key), Ref::borrow(key), Ref::borrow(value)});
        }
        stable_sort_small(entries.begin(), entries.end(),
                          [](const Entry& a, const Entry& b) { return utf8_less(a.text, b.text); });
        PyDict_Clear(dict);
        for (const Entry& e : entries)
            check_status(PyDict_SetItem(dict, e.key.get(), e.value.get()));
    }
    grown_.clear();
}

}  // namespace vorn::py
