// Python objects as a document for the core's rules (see core/document.hpp): a payload that
// `scan_plain_payload` accepted, or one made by `copy_payload`. Objects are dicts (or subclasses,
// read by their own storage), arrays are lists or tuples; a float that is not finite reads as null,
// as it converts.
//
// An editor normalizes a payload it owns in place. Rules add keys at the end of a dict; once they
// are done, `restore_key_order` puts those dicts' keys back in ascending UTF-8 order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string_view>

#include "core/document.hpp"
#include "core/json.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

// The interned str of a field name, created once per literal.
PyObject* field_key(FieldName name);

class PyDocument {
  public:
    using Node = PyObject*;

    static PyDocument reader(MemoryResource* mr) { return PyDocument(false, mr); }
    static PyDocument editor(MemoryResource* mr) { return PyDocument(true, mr); }

    Json::Kind kind(Node n) const;
    // The dicts read hold exact str keys only, so a lookup never raises.
    Node find(Node object, FieldName key) const {
        return PyDict_GetItemWithError(object, field_key(key));
    }
    std::string_view text(Node n) const;
    TextRef text_ref(Node n) const {
        return {text(n), PyUnicode_CheckExact(n) ? static_cast<Origin>(n) : nullptr};
    }
    bool boolean(Node n) const { return n == Py_True; }
    std::int64_t int_value(Node n) const { return PyLong_AsLongLong(n); }
    std::uint64_t uint_value(Node n) const { return PyLong_AsUnsignedLongLong(n); }
    double float_value(Node n) const { return PyFloat_AsDouble(n); }
    std::size_t size(Node array) const;
    Node item(Node array, std::size_t i) const;

    bool writable() const { return writable_; }
    void set_bool(Node object, FieldName key, bool b) {
        set(object, key, Ref::borrow(b ? Py_True : Py_False));
    }
    void set_int(Node object, FieldName key, std::int64_t v);
    void set_null(Node object, FieldName key) { set(object, key, Ref::borrow(Py_None)); }
    Node set_empty_array(Node object, FieldName key);
    Node set_empty_object(Node object, FieldName key);
    void erase(Node object, FieldName key);

    void restore_key_order();

  private:
    PyDocument(bool writable, MemoryResource* mr) : writable_(writable), grown_(mr) {}
    PyObject* set(Node object, FieldName key, Ref value);

    bool writable_;
    std::pmr::vector<PyObject*> grown_;  // dicts a key was added to; held by the document's root
};

}  // namespace vorn::py
