// Conversions between Python objects and JSON values.
//
// A value that only lives for one call is built in a `CallArena` by a `PyToJson` that keeps
// origins: each exact `str` it reads becomes the origin of its JSON string and is held alive by the
// converter, so `json_to_py` can hand the very same object back instead of decoding a new one.
// Values that outlive the call come from `py_to_json`, which owns its memory and keeps no origins.
#pragma once

#include <array>
#include <cstddef>
#include <memory_resource>
#include <optional>
#include <string>

#include "core/json.hpp"
#include "python/toolkit/py_walk.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

class CallArena {
  public:
    CallArena() = default;
    CallArena(const CallArena&) = delete;
    CallArena& operator=(const CallArena&) = delete;
    MemoryResource* resource() { return &resource_; }

  private:
    alignas(std::max_align_t) std::array<std::byte, 8192> buffer_;
    std::pmr::monotonic_buffer_resource resource_{buffer_.data(), buffer_.size()};
};

class PyToJson {
  public:
    PyToJson(MemoryResource* mr, bool keep_origins);
    ~PyToJson();
    PyToJson(const PyToJson&) = delete;
    PyToJson& operator=(const PyToJson&) = delete;

    // Raises TypeError with the conversion's message on failure.
    Json convert(PyObject* obj);

    // The walk's sink (see py_walk.hpp).
    using Value = Json;
    struct Builder {
        JsonArray array;
        JsonObject object;
        bool is_object;
    };
    Shape shape(PyObject* obj) { return shape_of(obj); }
    Json leaf(PyObject* obj, Shape shape);
    Builder begin(const Parts& parts);
    void add(Builder& out, PyObject* key, Json&& value);
    Json end(Builder& out, const Parts& parts);

  private:
    JsonString string_of(PyObject* obj);

    MemoryResource* mr_;
    bool keep_origins_;
    std::pmr::vector<PyObject*> keepalive_;
};

// Owning conversion for values that are kept.
Json py_to_json(PyObject* obj);
// As py_to_json, but an omitted argument (nullptr) or None is absent rather than null.
std::optional<Json> optional_depythonize(PyObject* obj);

Ref json_to_py(const Json& value);

}  // namespace vorn::py
