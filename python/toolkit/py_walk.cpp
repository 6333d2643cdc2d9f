#include "python/toolkit/py_walk.hpp"

#include "core/json.hpp"
#include "core/small_sort.hpp"
#include "python/toolkit/errors.hpp"

namespace vorn::py {

void conversion_failure(std::string message) {
    throw ConversionError{std::move(message), {}, {}, {}};
}

void conversion_failure_from_pending() {
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    throw ConversionError{{}, Ref::steal(type), Ref::steal(value), Ref::steal(tb)};
}

void marshal_type_error(const ConversionError& error) {
    if (!error.type) raise_type_error(error.message);
    PyErr_Restore(Ref(error.type).release(), Ref(error.value).release(),
                  Ref(error.traceback).release());
    raise_type_error(take_exception_text());
}

namespace {

Ref checked(PyObject* p) {
    if (!p) conversion_failure_from_pending();
    return Ref::steal(p);
}

// The message of the pending exception alone, as the host worded it.
std::string take_exception_message() {
    std::string text = take_exception_text();
    const auto colon = text.find(": ");
    return colon == std::string::npos ? text : text.substr(colon + 2);
}

// Looked up once; the module only runs in the main interpreter, whose collections.abc lives as
// long as the process.
PyObject* abc_class(const char* name) {
    static PyObject* sequence = nullptr;
    static PyObject* mapping = nullptr;
    PyObject*& slot = name[0] == 'S' ? sequence : mapping;
    if (!slot) {
        Ref module = checked(PyImport_ImportModule("collections.abc"));
        slot = checked(PyObject_GetAttrString(module.get(), name)).release();
    }
    return slot;
}

bool is_instance(PyObject* obj, PyObject* cls) {
    const int r = PyObject_IsInstance(obj, cls);
    if (r < 0) conversion_failure_from_pending();
    return r == 1;
}

bool fits_int128(PyObject* value, bool negative) {
    // An exact copy: an int subclass may answer bit_length() and == with anything.
    Ref exact = checked(PyNumber_Index(value));
    PyObject* obj = exact.get();
    Ref bits = checked(PyObject_CallMethod(obj, "bit_length", nullptr));
    const long long n = PyLong_AsLongLong(bits.get());
    if (n == -1 && PyErr_Occurred()) conversion_failure_from_pending();
    if (!negative) return n <= 128;
    if (n <= 127) return true;
    if (n > 128) return false;
    Ref min = checked(PyLong_FromString("-170141183460469231731687303715884105728", nullptr, 10));
    const int eq = PyObject_RichCompareBool(obj, min.get(), Py_EQ);
    if (eq < 0) conversion_failure_from_pending();
    return eq == 1;
}

std::string_view key_text(PyObject* key) {
    if (!PyUnicode_Check(key)) {
        conversion_failure("JSON object keys must be str, not " + type_name(key));
    }
    return str_text(key);
}

}  // namespace

Shape shape_of(PyObject* obj) {
    // The common exact types first, by pointer comparison: each answer is the one the ordered
    // rules below would give.
    if (PyUnicode_CheckExact(obj)) return Shape::String;
    if (PyDict_CheckExact(obj)) return Shape::Dict;
    if (PyList_CheckExact(obj)) return Shape::List;
    if (obj == Py_None) return Shape::Null;
    if (obj == Py_True || obj == Py_False) return Shape::Bool;
    if (PyLong_Check(obj)) return Shape::Int;
    if (PyList_Check(obj)) return Shape::List;
    if (PyTuple_Check(obj)) return Shape::Tuple;
    if (PyDict_Check(obj)) return Shape::Dict;
    if (PyUnicode_Check(obj)) return Shape::String;
    if (PyBytes_Check(obj)) {
        conversion_failure("invalid type: byte array, expected any valid JSON value");
    }
    if (PyByteArray_Check(obj)) {
        conversion_failure("invalid type: bytearray, expected any valid JSON value");
    }
    if (PyFloat_Check(obj)) return Shape::Float;
    if (PyAnySet_Check(obj)) return Shape::Iterable;
    if (is_instance(obj, abc_class("Sequence"))) return Shape::Iterable;
    if (is_instance(obj, abc_class("Mapping"))) return Shape::Mapping;
    const int dataclass =
        PyObject_HasAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__dataclass_fields__");
    if (dataclass) return Shape::Dataclass;
    conversion_failure("unsupported type: " + type_name(obj) +
                       " cannot be converted to a JSON value");
}

IntNumber int_number(PyObject* obj) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (v == -1 && PyErr_Occurred()) conversion_failure_from_pending();
    if (overflow == 0) {
        if (v < 0) return {true, v, 0};
        return {false, 0, static_cast<std::uint64_t>(v)};
    }
    if (overflow > 0) {
        const unsigned long long u = PyLong_AsUnsignedLongLong(obj);
        if (!(u == static_cast<unsigned long long>(-1) && PyErr_Occurred())) return {false, 0, u};
    } else {
        PyLong_AsLongLong(obj);  // sets the host's own overflow error for the message below
    }
    std::string host_message = take_exception_message();
    if (fits_int128(obj, overflow < 0)) conversion_failure("JSON number out of range");
    conversion_failure(std::move(host_message));
}

double float_number(PyObject* obj) {
    const double v = PyFloat_AsDouble(obj);
    if (v == -1.0 && PyErr_Occurred()) conversion_failure_from_pending();
    return v;
}

std::string_view str_text(PyObject* obj) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (!data) conversion_failure_from_pending();
    return {data, static_cast<std::size_t>(size)};
}

void RecursionLevels::enter(std::size_t depth) {
    if (depth > kMaxJsonDepth) {
        conversion_failure("maximum nesting depth exceeded while converting to JSON");
    }
    if (Py_EnterRecursiveCall(" while converting to JSON")) conversion_failure_from_pending();
    ++entered_;
}

Parts::Parts(PyObject* container, Shape shape, MemoryResource* mr)
    : shape_(shape), source_(Ref::borrow(container)), entries_(mr), order_(mr) {
    switch (shape) {
        case Shape::Dict: {
            // Keys are checked and ordered before any value is converted; keys and values are held
            // for the whole walk, since converting a value can run code that changes the dict.
            entries_.reserve(static_cast<std::size_t>(PyDict_Size(container)));
            Py_ssize_t pos = 0;
            PyObject *key = nullptr, *value = nullptr;
            while (PyDict_Next(container, &pos, &key, &value)) {
                entries_.push_back(Entry{key_text(key), Ref::borrow(key), Ref::borrow(value)});
            }
            // Positions are ordered rather than the entries themselves, which are larger.
            order_.resize(entries_.size());
            for (std::size_t i = 0; i < order_.size(); ++i)
                order_[i] = static_cast<std::uint32_t>(i);
            stable_sort_small(order_.begin(), order_.end(),
                              [this](std::uint32_t a, std::uint32_t b) {
                                  return utf8_less(entries_[a].text, entries_[b].text);
                              });
            break;
        }
        case Shape::Iterable:
            iter_ = checked(PyObject_GetIter(container));
            break;
        case Shape::Mapping: {
            Ref keys = checked(PyObject_CallMethod(container, "keys", nullptr));
            iter_ = checked(PyObject_GetIter(keys.get()));
            break;
        }
        case Shape::Dataclass: {
            Ref module = checked(PyImport_ImportModule("dataclasses"));
            Ref fields = checked(PyObject_CallMethod(module.get(), "fields", "O", container));
            iter_ = checked(PyObject_GetIter(fields.get()));
            break;
        }
        default:
            break;
    }
}

std::size_t Parts::size_hint() const {
    switch (shape_) {
        case Shape::List:
            return static_cast<std::size_t>(PyList_Size(source_.get()));
        case Shape::Tuple:
            return static_cast<std::size_t>(PyTuple_Size(source_.get()));
        case Shape::Dict:
            return entries_.size();
        default:
            return 0;
    }
}

bool Parts::next(PyObject*& key, PyObject*& value) {
    PyObject* source = source_.get();
    key = nullptr;
    switch (shape_) {
        case Shape::List:
            // A list may shrink while its items are converted; its length is read every step.
            if (static_cast<Py_ssize_t>(index_) >= PyList_Size(source)) return false;
            value_ = Ref::borrow(PyList_GetItem(source, static_cast<Py_ssize_t>(index_++)));
            break;
        case Shape::Tuple:
            if (static_cast<Py_ssize_t>(index_) >= PyTuple_Size(source)) return false;
            value_ = Ref::borrow(PyTuple_GetItem(source, static_cast<Py_ssize_t>(index_++)));
            break;
        case Shape::Dict: {
            // Of equal keys (str subclasses may repeat a text) the one met last wins; the stable
            // sort keeps it last in its run.
            while (index_ + 1 < order_.size() &&
                   entries_[order_[index_ + 1]].text == entries_[order_[index_]].text) {
                ++index_;
            }
            if (index_ >= order_.size()) return false;
            const Entry& e = entries_[order_[index_++]];
            key = current_key_ = e.key.get();
            value = e.value.get();
            return true;
        }
        case Shape::Iterable:
            value_ = Ref::steal(PyIter_Next(iter_.get()));
            if (!value_) {
                if (PyErr_Occurred()) conversion_failure_from_pending();
                return false;
            }
            break;
        case Shape::Mapping:
        case Shape::Dataclass: {
            key_ = Ref::steal(PyIter_Next(iter_.get()));
            if (!key_) {
                if (PyErr_Occurred()) conversion_failure_from_pending();
                return false;
            }
            if (shape_ == Shape::Dataclass) {
                key_ = checked(PyObject_GetAttrString(key_.get(), "name"));
                key_text(key_.get());
                value_ = checked(PyObject_GetAttr(source, key_.get()));
            } else {
                key_text(key_.get());
                value_ = checked(PyObject_GetItem(source, key_.get()));
            }
            key = current_key_ = key_.get();
            break;
        }
        default:
            return false;
    }
    value = value_.get();
    return true;
}

}  // namespace vorn::py
