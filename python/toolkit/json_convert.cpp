#include "python/toolkit/json_convert.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "core/ordered.hpp"
#include "core/small_sort.hpp"
#include "python/toolkit/errors.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

[[noreturn]] void fail(std::string message) {
    throw ConversionError{std::move(message), {}, {}, {}};
}

// A Python exception raised while converting ends the conversion; its text is carried along.
[[noreturn]] void fail_with_pending() {
    PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
    PyErr_Fetch(&type, &value, &tb);
    throw ConversionError{{}, Ref::steal(type), Ref::steal(value), Ref::steal(tb)};
}

Ref checked(PyObject* p) {
    if (!p) fail_with_pending();
    return Ref::steal(p);
}

// The message of the pending exception alone, as the host worded it.
std::string take_exception_message() {
    std::string text = take_exception_text();
    const auto colon = text.find(": ");
    return colon == std::string::npos ? text : text.substr(colon + 2);
}

PyObject* abc_class(const char* name) {
    // Looked up once; the class objects live as long as the interpreter's collections.abc.
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
    if (r < 0) fail_with_pending();
    return r == 1;
}

class RecursionGuard {
  public:
    explicit RecursionGuard(int depth) {
        if (depth > kMaxJsonDepth) fail("maximum nesting depth exceeded while converting to JSON");
        if (Py_EnterRecursiveCall(" while converting to JSON")) fail_with_pending();
    }
    ~RecursionGuard() { Py_LeaveRecursiveCall(); }
    RecursionGuard(const RecursionGuard&) = delete;
    RecursionGuard& operator=(const RecursionGuard&) = delete;
};

bool fits_int128(PyObject* obj, bool negative) {
    Ref bits = checked(PyObject_CallMethod(obj, "bit_length", nullptr));
    const long long n = PyLong_AsLongLong(bits.get());
    if (n == -1 && PyErr_Occurred()) fail_with_pending();
    if (!negative) return n <= 128;
    if (n <= 127) return true;
    if (n > 128) return false;
    Ref min = checked(PyLong_FromString("-170141183460469231731687303715884105728", nullptr, 10));
    const int eq = PyObject_RichCompareBool(obj, min.get(), Py_EQ);
    if (eq < 0) fail_with_pending();
    return eq == 1;
}

}  // namespace

void marshal_type_error(const ConversionError& error) {
    if (!error.type) raise_type_error(error.message);
    PyErr_Restore(Ref(error.type).release(), Ref(error.value).release(),
                  Ref(error.traceback).release());
    raise_type_error(take_exception_text());
}

PyToJson::PyToJson(MemoryResource* mr, bool keep_origins)
    : mr_(mr), keep_origins_(keep_origins), keepalive_(mr) {}

PyToJson::~PyToJson() {
    for (PyObject* obj : keepalive_) Py_DECREF(obj);
}

Json PyToJson::convert(PyObject* obj) {
    try {
        return convert_at(obj, 0);
    } catch (const ConversionError& e) {
        marshal_type_error(e);
    }
}

Json PyToJson::convert_at(PyObject* obj, int depth) {
    // The common exact types first, by pointer comparison: each answer is the one the ordered
    // rules below would give.
    if (PyUnicode_CheckExact(obj)) return Json::string(string_of(obj));
    if (PyDict_CheckExact(obj)) return convert_dict(obj, depth);
    if (PyList_CheckExact(obj)) return convert_sequence(obj, depth);
    if (obj == Py_None) return Json::null();
    if (obj == Py_True || obj == Py_False) return Json::boolean(obj == Py_True);
    if (PyLong_Check(obj)) return convert_int(obj);
    if (PyList_Check(obj) || PyTuple_Check(obj)) return convert_sequence(obj, depth);
    if (PyDict_Check(obj)) return convert_dict(obj, depth);
    if (PyUnicode_Check(obj)) return Json::string(string_of(obj));
    if (PyBytes_Check(obj)) fail("invalid type: byte array, expected any valid JSON value");
    if (PyByteArray_Check(obj)) fail("invalid type: bytearray, expected any valid JSON value");
    if (PyFloat_Check(obj)) {
        const double v = PyFloat_AsDouble(obj);
        if (v == -1.0 && PyErr_Occurred()) fail_with_pending();
        return Json::number(v);
    }
    if (PyAnySet_Check(obj)) return convert_iterable(obj, depth);
    if (is_instance(obj, abc_class("Sequence"))) return convert_sequence(obj, depth);
    if (is_instance(obj, abc_class("Mapping"))) return convert_mapping(obj, depth);
    const int dataclass =
        PyObject_HasAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__dataclass_fields__");
    if (dataclass) return convert_dataclass(obj, depth);
    fail("unsupported type: " + type_name(obj) + " cannot be converted to a JSON value");
}

Json PyToJson::convert_int(PyObject* obj) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (v == -1 && PyErr_Occurred()) fail_with_pending();
    if (overflow == 0) {
        return v >= 0 ? Json::unsigned_integer(static_cast<std::uint64_t>(v)) : Json::integer(v);
    }
    if (overflow > 0) {
        const unsigned long long u = PyLong_AsUnsignedLongLong(obj);
        if (!(u == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
            return Json::unsigned_integer(u);
        }
    } else {
        PyLong_AsLongLong(obj);  // sets the host's own overflow error for the message below
    }
    std::string host_message = take_exception_message();
    if (fits_int128(obj, overflow < 0)) fail("JSON number out of range");
    fail(std::move(host_message));
}

JsonString PyToJson::string_of(PyObject* obj) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (!data) fail_with_pending();
    const std::string_view text(data, static_cast<std::size_t>(size));
    // Only an exact str may be handed back as is; a subclass instance would leak its type. The
    // UTF-8 bytes belong to the str, which this converter keeps alive, so they are borrowed.
    if (keep_origins_ && PyUnicode_CheckExact(obj)) {
        Py_INCREF(obj);
        keepalive_.push_back(obj);
        return JsonString::borrowed(text, obj);
    }
    return JsonString(text, mr_);
}

JsonString PyToJson::key_of(PyObject* key) {
    if (!PyUnicode_Check(key)) fail("JSON object keys must be str, not " + type_name(key));
    return string_of(key);
}

Json PyToJson::convert_dict(PyObject* obj, int depth) {
    RecursionGuard guard(depth);
    // Order the entries by key before converting anything, so members are appended already
    // sorted and nothing has to be moved again. Keys and values are held for the whole walk:
    // converting a value can run Python code that changes the dict.
    struct Entry {
        JsonString key;
        Ref value;
    };
    std::pmr::vector<Entry> entries(mr_);
    entries.reserve(static_cast<std::size_t>(PyDict_Size(obj)));
    Py_ssize_t pos = 0;
    PyObject *key = nullptr, *value = nullptr;
    while (PyDict_Next(obj, &pos, &key, &value)) {
        Ref key_ref = Ref::borrow(key);
        entries.push_back(Entry{key_of(key), Ref::borrow(value)});
    }
    std::pmr::vector<std::uint32_t> order(entries.size(), mr_);
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    auto by_key = [&](std::uint32_t a, std::uint32_t b) {
        return utf8_less(entries[a].key.text(), entries[b].key.text());
    };
    stable_sort_small(order.begin(), order.end(), by_key);
    JsonObject out(mr_);
    out.reserve(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        Entry& e = entries[order[i]];
        // Of equal keys the one met last wins; the stable sort keeps it last in its run.
        if (i + 1 < order.size() && entries[order[i + 1]].key.text() == e.key.text()) continue;
        out.append_unsorted(std::move(e.key), convert_at(e.value.get(), depth + 1));
    }
    return Json::object(std::move(out));
}

Json PyToJson::convert_mapping(PyObject* obj, int depth) {
    RecursionGuard guard(depth);
    Ref keys = checked(PyMapping_Keys(obj));
    Ref iter = checked(PyObject_GetIter(keys.get()));
    JsonObject out(mr_);
    while (Ref key = Ref::steal(PyIter_Next(iter.get()))) {
        JsonString k = key_of(key.get());
        Ref value = checked(PyObject_GetItem(obj, key.get()));
        out.append_unsorted(std::move(k), convert_at(value.get(), depth + 1));
    }
    if (PyErr_Occurred()) fail_with_pending();
    out.finish();
    return Json::object(std::move(out));
}

Json PyToJson::convert_sequence(PyObject* obj, int depth) {
    RecursionGuard guard(depth);
    JsonArray out(mr_);
    const bool list = PyList_Check(obj), tuple = PyTuple_Check(obj);
    Py_ssize_t size = PySequence_Size(obj);
    if (size < 0) fail_with_pending();
    out.reserve(static_cast<std::size_t>(size));
    // A list may shrink while its items are converted; its length is read again every step.
    for (Py_ssize_t i = 0; i < (list ? PyList_Size(obj) : size); ++i) {
        Ref item = list    ? Ref::borrow(PyList_GetItem(obj, i))
                   : tuple ? Ref::borrow(PyTuple_GetItem(obj, i))
                           : checked(PySequence_GetItem(obj, i));
        if (!item) fail_with_pending();
        out.push_back(convert_at(item.get(), depth + 1));
    }
    return Json::array(std::move(out));
}

Json PyToJson::convert_iterable(PyObject* obj, int depth) {
    RecursionGuard guard(depth);
    JsonArray out(mr_);
    Ref iter = checked(PyObject_GetIter(obj));
    while (Ref item = Ref::steal(PyIter_Next(iter.get()))) {
        out.push_back(convert_at(item.get(), depth + 1));
    }
    if (PyErr_Occurred()) fail_with_pending();
    return Json::array(std::move(out));
}

Json PyToJson::convert_dataclass(PyObject* obj, int depth) {
    RecursionGuard guard(depth);
    Ref module = checked(PyImport_ImportModule("dataclasses"));
    Ref fields = checked(PyObject_CallMethod(module.get(), "fields", "O", obj));
    Ref iter = checked(PyObject_GetIter(fields.get()));
    JsonObject out(mr_);
    while (Ref field = Ref::steal(PyIter_Next(iter.get()))) {
        Ref name = checked(PyObject_GetAttrString(field.get(), "name"));
        JsonString k = key_of(name.get());
        Ref value = checked(PyObject_GetAttr(obj, name.get()));
        out.append_unsorted(std::move(k), convert_at(value.get(), depth + 1));
    }
    if (PyErr_Occurred()) fail_with_pending();
    out.finish();
    return Json::object(std::move(out));
}

Json py_to_json(PyObject* obj) {
    return PyToJson(std::pmr::get_default_resource(), false).convert(obj);
}

std::optional<Json> optional_depythonize(PyObject* obj) {
    if (!obj || obj == Py_None) return std::nullopt;
    return py_to_json(obj);
}

namespace {

Ref string_to_py(const JsonString& s) {
    return make_str(s.text(), s.origin);
}

// Keys the core writes itself ("metadata", "retryable", ...) have no origin. The first few such
// keys are interned once and shared by every later result instead of being created per call.
Ref key_to_py(const JsonString& key) {
    if (key.origin != nullptr) return string_to_py(key);
    constexpr std::size_t kMaxSharedKeys = 64;
    static std::unordered_map<std::string, PyObject*, StringHash, TransparentEqual> shared;
    if (auto it = shared.find(key.text()); it != shared.end()) return Ref::borrow(it->second);
    Ref created = make_str(key.text());
    if (shared.size() < kMaxSharedKeys) {
        PyObject* interned = created.get();
        Py_INCREF(interned);
        PyUnicode_InternInPlace(&interned);
        shared.emplace(std::string(key.text()), interned);
        return Ref::borrow(interned);
    }
    return created;
}

}  // namespace

Ref json_to_py(const Json& value) {
    switch (value.kind()) {
        case Json::Kind::Null:
            return Ref::borrow(Py_None);
        case Json::Kind::Bool:
            return Ref::borrow(*value.if_bool() ? Py_True : Py_False);
        case Json::Kind::Int:
            return Ref::check(PyLong_FromLongLong(*value.if_int()));
        case Json::Kind::UInt:
            return Ref::check(PyLong_FromUnsignedLongLong(*value.if_uint()));
        case Json::Kind::Float:
            return Ref::check(PyFloat_FromDouble(*value.if_float()));
        case Json::Kind::String:
            return string_to_py(*value.if_string());
        case Json::Kind::Array: {
            const JsonArray& items = *value.if_array();
            Ref list = Ref::check(PyList_New(static_cast<Py_ssize_t>(items.size())));
            for (std::size_t i = 0; i < items.size(); ++i) {
                PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i),
                               json_to_py(items[i]).release());
            }
            return list;
        }
        case Json::Kind::Object: {
            Ref dict = Ref::check(PyDict_New());
            for (const JsonMember& m : *value.if_object()) {
                Ref key = key_to_py(m.key);
                Ref item = json_to_py(m.value);
                check_status(PyDict_SetItem(dict.get(), key.get(), item.get()));
            }
            return dict;
        }
    }
    return Ref::borrow(Py_None);
}

}  // namespace vorn::py
