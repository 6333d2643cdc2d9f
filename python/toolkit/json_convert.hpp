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
#include "python/toolkit/ref.hpp"

namespace vorn::py {

// Deepest nesting converted; beyond it (or beyond the interpreter's recursion limit) conversion
// fails instead of exhausting the C stack.
inline constexpr int kMaxJsonDepth = 2000;

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

  private:
    Json convert_at(PyObject* obj, int depth);
    Json convert_int(PyObject* obj);
    JsonString string_of(PyObject* obj);
    Json convert_dict(PyObject* obj, int depth);
    Json convert_mapping(PyObject* obj, int depth);
    Json convert_sequence(PyObject* obj, int depth);
    Json convert_iterable(PyObject* obj, int depth);
    Json convert_dataclass(PyObject* obj, int depth);
    JsonString key_of(PyObject* key);

    MemoryResource* mr_;
    bool keep_origins_;
    std::pmr::vector<PyObject*> keepalive_;
};

// A conversion failure: its text becomes the TypeError's message (`marshal_type_error`). A Python
// exception raised during the conversion is kept as is and only turned into text once the
// conversion has unwound: deep in a recursion even str() of it could fail again.
struct ConversionError {
    std::string message;
    Ref type, value, traceback;
};
[[noreturn]] void marshal_type_error(const ConversionError& error);

// Owning conversion for values that are kept.
Json py_to_json(PyObject* obj);
// As py_to_json, but an omitted argument (nullptr) or None is absent rather than null.
std::optional<Json> optional_depythonize(PyObject* obj);

Ref json_to_py(const Json& value);

}  // namespace vorn::py
