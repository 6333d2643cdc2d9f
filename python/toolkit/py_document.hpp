// Plain Python payloads (see plain.hpp) as a document for the core's rules (core/document.hpp).
//
// `index` reads a payload once into slots that the rules then query: each slot is a borrowed
// object with its JSON kind and, for a string, its UTF-8 text; an object's members are found by
// comparing key bytes. A payload that is not plain, or holds a value without a JSON form or nested
// deeper than the conversion allows, is not indexed: convert it first to learn why, and index the
// converted copy.
//
// An editor's index keeps each object's members in ascending UTF-8 key order. The rules'
// normalizations edit the index, never the caller's objects; `emit` then builds the normalized
// payload as new dicts and lists, keys in order, reusing the caller's leaf objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string_view>

#include "core/document.hpp"
#include "core/json.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

class PyDocument {
  public:
    struct Slot {
        PyObject* object;     // null for a container a rule added
        const void* data;     // a string's bytes, an object's first Member, an array's first Slot
        std::uint32_t count;  // bytes, members or items
        Json::Kind kind;
    };
    struct Member {
        std::uint64_t head;  // key_head(key)
        std::string_view key;
        PyObject* key_object;  // null for a key a rule added or removed
        Slot value;
    };
    using Node = const Slot*;

    static PyDocument reader(MemoryResource* arena) { return PyDocument(false, arena); }
    static PyDocument editor(MemoryResource* arena) { return PyDocument(true, arena); }

    // The root of the indexed payload, or null when it cannot be indexed as it is.
    Node index(PyObject* payload);
    // The same for a payload converted in this call, which always indexes.
    Node index_converted(PyObject* copy);
    // An editor's indexed payload, as normalized, in new containers.
    Ref emit(Node root);

    Json::Kind kind(Node n) const { return n->kind; }
    Node find(Node object, FieldName key) const;
    std::string_view text(Node n) const { return {static_cast<const char*>(n->data), n->count}; }
    TextRef text_ref(Node n) const { return {text(n), n->object}; }
    bool boolean(Node n) const { return n->object == Py_True; }
    std::int64_t int_value(Node n) const { return PyLong_AsLongLong(n->object); }
    std::uint64_t uint_value(Node n) const { return PyLong_AsUnsignedLongLong(n->object); }
    double float_value(Node n) const { return PyFloat_AsDouble(n->object); }
    std::size_t size(Node array) const { return array->count; }
    Node item(Node array, std::size_t i) const { return static_cast<const Slot*>(array->data) + i; }

    bool writable() const { return writable_; }
    MemoryResource* arena() const { return arena_; }
    void set_bool(Node object, FieldName key, bool b);
    void set_int(Node object, FieldName key, std::int64_t v);
    void set_null(Node object, FieldName key);
    Node set_empty_array(Node object, FieldName key);
    Node set_empty_object(Node object, FieldName key);
    void erase(Node object, FieldName key);

  private:
    PyDocument(bool writable, MemoryResource* arena)
        : writable_(writable), arena_(arena), made_(arena) {}
    Slot& set(Node object, FieldName key, Slot value);
    template <class T>
    T* new_slots(std::size_t n) {
        T* out = std::pmr::polymorphic_allocator<T>(arena_).allocate(n);
        std::uninitialized_default_construct_n(out, n);  // every field is written before it is read
        return out;
    }

    bool writable_;
    MemoryResource* arena_;
    std::pmr::vector<Ref> made_;  // values the rules wrote, held until emitted
};

}  // namespace vorn::py
