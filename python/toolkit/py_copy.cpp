#include "python/toolkit/py_copy.hpp"

#include <cmath>
#include <optional>

#include "core/small_sort.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/plain.hpp"
#include "python/toolkit/py_walk.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

// Builds the new Python objects.
class PyCopy {
  public:
    explicit PyCopy(MemoryResource* mr) : mr_(mr) {}

    using Value = Ref;
    struct Entry {
        std::string_view text;
        Ref key, value;
    };
    struct Builder {
        Ref dict;                         // objects whose keys arrive in order go straight in
        std::pmr::vector<Ref> items;      // arrays
        std::pmr::vector<Entry> entries;  // objects whose keys arrive unordered
    };

    Shape shape(PyObject* obj) { return shape_of(obj); }

    Ref leaf(PyObject* obj, Shape shape) {
        switch (shape) {
            case Shape::String: {
                const std::string_view text = str_text(obj);
                return PyUnicode_CheckExact(obj) ? Ref::borrow(obj) : make_str(text);
            }
            case Shape::Int: {
                const IntNumber n = int_number(obj);
                if (PyLong_CheckExact(obj)) return Ref::borrow(obj);
                return n.is_signed ? make_int(n.signed_value) : make_uint(n.unsigned_value);
            }
            case Shape::Float: {
                const double v = float_number(obj);
                if (!std::isfinite(v)) return none();
                return PyFloat_CheckExact(obj) ? Ref::borrow(obj) : make_float(v);
            }
            case Shape::Bool:
                return Ref::borrow(obj);
            default:
                return none();
        }
    }

    Builder begin(const Parts& parts) {
        Builder out{{}, std::pmr::vector<Ref>(mr_), std::pmr::vector<Entry>(mr_)};
        if (!parts.is_object()) {
            out.items.reserve(parts.size_hint());
        } else if (parts.keys_sorted()) {
            out.dict = new_dict();
        }
        return out;
    }

    void add(Builder& out, PyObject* key, Ref value) {
        if (key == nullptr) {
            out.items.push_back(std::move(value));
        } else if (out.dict) {
            check_status(PyDict_SetItem(out.dict.get(), exact_key(key).get(), value.get()));
        } else {
            out.entries.push_back(Entry{str_text(key), exact_key(key), std::move(value)});
        }
    }

    Ref end(Builder& out, const Parts& parts) {
        if (!parts.is_object()) {
            Ref list = Ref::check(PyList_New(static_cast<Py_ssize_t>(out.items.size())));
            for (std::size_t i = 0; i < out.items.size(); ++i) {
                PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), out.items[i].release());
            }
            return list;
        }
        if (out.dict) return std::move(out.dict);
        // Inserted in key order; of equal keys the one added last wins, and the stable sort keeps
        // it last in its run.
        stable_sort_small(out.entries.begin(), out.entries.end(),
                          [](const Entry& a, const Entry& b) { return utf8_less(a.text, b.text); });
        Ref dict = new_dict();
        for (std::size_t i = 0; i < out.entries.size(); ++i) {
            if (i + 1 < out.entries.size() && out.entries[i + 1].text == out.entries[i].text) {
                continue;
            }
            check_status(
                PyDict_SetItem(dict.get(), out.entries[i].key.get(), out.entries[i].value.get()));
        }
        return dict;
    }

  private:
    // A str subclass key would carry its type (and its own hash and equality) into the result.
    static Ref exact_key(PyObject* key) {
        return PyUnicode_CheckExact(key) ? Ref::borrow(key) : make_str(str_text(key));
    }

    MemoryResource* mr_;
};

}  // namespace

Ref copy_payload(PyObject* payload, MemoryResource* scratch) {
    PyCopy sink(scratch);
    try {
        return walk(sink, payload, scratch);
    } catch (const ConversionError& e) {
        marshal_type_error(e);
    }
}

}  // namespace vorn::py
