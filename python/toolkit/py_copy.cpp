#include "python/toolkit/py_copy.hpp"

#include <cmath>
#include <optional>

#include "core/small_sort.hpp"
#include "python/toolkit/keys.hpp"
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

// The common payload, only exact dicts, lists, str, int, float, bool and None, nested a few
// levels, is handled without the general walk: no user code can run while such objects are read,
// so they are borrowed as they are. Anything else, and any value that fails to convert, gives up
// (nullopt) and leaves the general walk to convert it, or to report the failure it would report.
constexpr std::size_t kFastDepth = 32;

// The UTF-8 text of an exact str, or nullopt when it has none.
std::optional<std::string_view> fast_text(PyObject* s) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(s, &size);
    if (data == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

bool fast_int_fits(PyObject* n) {
    int overflow = 0;
    PyLong_AsLongLongAndOverflow(n, &overflow);
    if (overflow <= 0) return overflow == 0;
    const unsigned long long u = PyLong_AsUnsignedLongLong(n);
    if (u == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    return true;
}

// A leaf's converted value (a new reference; None for a float without a JSON form), or null when
// the object is not a plain leaf or does not convert.
PyObject* fast_leaf(PyObject* obj) {
    if (PyUnicode_CheckExact(obj)) return fast_text(obj) ? Py_NewRef(obj) : nullptr;
    if (obj == Py_None || obj == Py_True || obj == Py_False) return Py_NewRef(obj);
    if (PyLong_CheckExact(obj)) return fast_int_fits(obj) ? Py_NewRef(obj) : nullptr;
    if (PyFloat_CheckExact(obj)) {
        return Py_NewRef(std::isfinite(PyFloat_AsDouble(obj)) ? obj : Py_None);
    }
    return nullptr;
}

bool is_plain_container(PyObject* obj) {
    return PyDict_CheckExact(obj) || PyList_CheckExact(obj) || PyTuple_CheckExact(obj);
}

std::size_t item_count(PyObject* seq) {
    return static_cast<std::size_t>(PyList_Check(seq) ? PyList_Size(seq) : PyTuple_Size(seq));
}

PyObject* item_at(PyObject* seq, std::size_t i) {
    const auto index = static_cast<Py_ssize_t>(i);
    return PyList_Check(seq) ? PyList_GetItem(seq, index) : PyTuple_GetItem(seq, index);
}

// Whether every value would convert and the payload may be read as it is.
bool fast_scan(PyObject* payload, MemoryResource* mr) {
    struct Pending {
        PyObject* container;
        std::size_t depth;
    };
    std::pmr::vector<Pending> pending(mr);
    auto visit = [&](PyObject* obj, std::size_t depth) {
        if (!is_plain_container(obj)) return static_cast<bool>(Ref::steal(fast_leaf(obj)));
        if (depth >= kFastDepth) return false;
        pending.push_back({obj, depth + 1});
        return true;
    };
    if (!visit(payload, 0)) return false;
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        if (PyDict_CheckExact(p.container)) {
            Py_ssize_t pos = 0;
            PyObject *key = nullptr, *value = nullptr;
            while (PyDict_Next(p.container, &pos, &key, &value)) {
                if (!PyUnicode_CheckExact(key) || !fast_text(key) || !visit(value, p.depth)) {
                    return false;
                }
            }
        } else {
            const std::size_t n = item_count(p.container);
            for (std::size_t i = 0; i < n; ++i) {
                if (!visit(item_at(p.container, i), p.depth)) return false;
            }
        }
    }
    return true;
}

// The converted copy, or null (no error set) when the general walk must do it.
Ref fast_copy(PyObject* payload, MemoryResource* mr) {
    struct Pending {
        PyObject* source;
        PyObject* target;
        std::size_t depth;
    };
    struct Entry {
        std::string_view text;
        PyObject* key;
        PyObject* value;
    };
    std::pmr::vector<Pending> pending(mr);
    // The new value of `obj`: a leaf's converted value, or an empty container queued for filling.
    auto convert = [&](PyObject* obj, std::size_t depth) -> Ref {
        if (!is_plain_container(obj)) return Ref::steal(fast_leaf(obj));
        if (depth >= kFastDepth) return {};
        Ref target = PyDict_CheckExact(obj)
                         ? new_dict()
                         : Ref::check(PyList_New(static_cast<Py_ssize_t>(item_count(obj))));
        pending.push_back({obj, target.get(), depth + 1});
        return target;
    };
    Ref root = convert(payload, 0);
    std::pmr::vector<Entry> entries(mr);
    while (root && !pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        if (PyDict_CheckExact(p.source)) {
            entries.clear();
            Py_ssize_t pos = 0;
            PyObject *key = nullptr, *value = nullptr;
            while (PyDict_Next(p.source, &pos, &key, &value)) {
                const auto text = PyUnicode_CheckExact(key) ? fast_text(key) : std::nullopt;
                if (!text) return {};
                entries.push_back(Entry{*text, key, value});
            }
            stable_sort_small(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
                return utf8_less(a.text, b.text);
            });
            for (const Entry& e : entries) {
                Ref value = convert(e.value, p.depth);
                if (!value) return {};
                check_status(PyDict_SetItem(p.target, e.key, value.get()));
            }
        } else {
            const std::size_t n = item_count(p.source);
            for (std::size_t i = 0; i < n; ++i) {
                Ref item = convert(item_at(p.source, i), p.depth);
                if (!item) return {};
                PyList_SetItem(p.target, static_cast<Py_ssize_t>(i), item.release());
            }
        }
    }
    return root;
}

}  // namespace

Ref copy_payload(PyObject* payload, MemoryResource* scratch) {
    if (Ref copy = fast_copy(payload, scratch)) return copy;
    PyCopy sink(scratch);
    try {
        return walk(sink, payload, scratch);
    } catch (const ConversionError& e) {
        marshal_type_error(e);
    }
}

bool is_plain_payload(PyObject* payload, MemoryResource* scratch) {
    return fast_scan(payload, scratch);
}

}  // namespace vorn::py
