#include "python/toolkit/json_convert.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/string_hash.hpp"
#include "python/toolkit/errors.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

PyToJson::PyToJson(MemoryResource* mr, bool keep_origins)
    : mr_(mr), keep_origins_(keep_origins), keepalive_(mr) {}

PyToJson::~PyToJson() {
    for (PyObject* obj : keepalive_) Py_DECREF(obj);
}

Json PyToJson::convert(PyObject* obj) {
    try {
        return walk(*this, obj, mr_);
    } catch (const ConversionError& e) {
        marshal_type_error(e);
    }
}

Json PyToJson::leaf(PyObject* obj, Shape shape) {
    switch (shape) {
        case Shape::String:
            return Json::string(string_of(obj));
        case Shape::Bool:
            return Json::boolean(obj == Py_True);
        case Shape::Int: {
            const IntNumber n = int_number(obj);
            return n.is_signed ? Json::integer(n.signed_value)
                               : Json::unsigned_integer(n.unsigned_value);
        }
        case Shape::Float:
            return Json::number(float_number(obj));
        default:
            return Json::null();
    }
}

PyToJson::Builder PyToJson::begin(const Parts& parts) {
    Builder out{JsonArray(mr_), JsonObject(mr_), parts.is_object()};
    if (out.is_object) {
        out.object.reserve(parts.size_hint());
    } else {
        out.array.reserve(parts.size_hint());
    }
    return out;
}

void PyToJson::add(Builder& out, PyObject* key, Json&& value) {
    if (key == nullptr) {
        out.array.push_back(std::move(value));
    } else {
        out.object.append_unsorted(string_of(key), std::move(value));
    }
}

Json PyToJson::end(Builder& out, const Parts& parts) {
    if (!out.is_object) return Json::array(std::move(out.array));
    if (!parts.keys_sorted()) out.object.finish();
    return Json::object(std::move(out.object));
}

JsonString PyToJson::string_of(PyObject* obj) {
    const std::string_view text = str_text(obj);
    // Only an exact str may be handed back as is; a subclass instance would leak its type. The
    // UTF-8 bytes belong to the str, which this converter keeps alive, so they are borrowed.
    if (keep_origins_ && PyUnicode_CheckExact(obj)) {
        Py_INCREF(obj);
        keepalive_.push_back(obj);
        return JsonString::borrowed(text, obj);
    }
    return JsonString(text, mr_);
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

// Keys the core writes itself ("metadata", "retryable", ...) have no origin. The first few short
// such keys are interned once and shared by every later result instead of being created per call;
// both limits keep what is held across calls small, whatever keys callers send.
Ref key_to_py(const JsonString& key) {
    if (key.origin != nullptr) return string_to_py(key);
    constexpr std::size_t kMaxSharedKeys = 64;
    constexpr std::size_t kMaxSharedKeyBytes = 32;
    static std::unordered_map<std::string, PyObject*, StringHash, TransparentEqual> shared;
    if (auto it = shared.find(key.text()); it != shared.end()) return Ref::borrow(it->second);
    Ref created = make_str(key.text());
    if (shared.size() < kMaxSharedKeys && key.text().size() <= kMaxSharedKeyBytes) {
        PyObject* interned = created.get();
        Py_INCREF(interned);
        PyUnicode_InternInPlace(&interned);
        shared.emplace(std::string(key.text()), interned);
        return Ref::borrow(interned);
    }
    return created;
}

// A leaf's Python value, or an empty list or dict for a container.
Ref shallow_to_py(const Json& value) {
    switch (value.kind()) {
        case Json::Kind::Null:
            return none();
        case Json::Kind::Bool:
            return make_bool(*value.if_bool());
        case Json::Kind::Int:
            return make_int(*value.if_int());
        case Json::Kind::UInt:
            return make_uint(*value.if_uint());
        case Json::Kind::Float:
            return make_float(*value.if_float());
        case Json::Kind::String:
            return string_to_py(*value.if_string());
        case Json::Kind::Array:
            return Ref::check(PyList_New(static_cast<Py_ssize_t>(value.if_array()->size())));
        case Json::Kind::Object:
            return new_dict();
    }
    return none();
}

bool is_json_container(const Json& value) {
    return value.kind() == Json::Kind::Array || value.kind() == Json::Kind::Object;
}

}  // namespace

Ref json_to_py(const Json& value) {
    Ref root = shallow_to_py(value);
    // Containers are filled from an explicit stack: a value may be nested as deep as its
    // conversion allowed, which no thread's C stack has to carry.
    struct Frame {
        const Json* source;
        std::size_t next;
        PyObject* out;
    };
    std::vector<Frame> stack;
    if (is_json_container(value)) stack.push_back({&value, 0, root.get()});
    while (!stack.empty()) {
        Frame& top = stack.back();
        const JsonArray* items = top.source->if_array();
        const JsonObject* members = top.source->if_object();
        if (top.next == (items != nullptr ? items->size() : members->size())) {
            stack.pop_back();
            continue;
        }
        const std::size_t i = top.next++;
        const Json& child = items != nullptr ? (*items)[i] : members->begin()[i].value;
        Ref item = shallow_to_py(child);
        if (items != nullptr) {
            PyList_SetItem(top.out, static_cast<Py_ssize_t>(i), Py_NewRef(item.get()));
        } else {
            check_status(
                PyDict_SetItem(top.out, key_to_py(members->begin()[i].key).get(), item.get()));
        }
        if (is_json_container(child)) stack.push_back({&child, 0, item.get()});
    }
    return root;
}

}  // namespace vorn::py
