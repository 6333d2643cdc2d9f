// Walking a Python object by the JSON conversion rules without recursing on the C stack.
//
// The walk decides what each object is (null, boolean, number, string, array or object) and in
// which order its parts are read; a sink decides what is built from them. Nesting lives in an
// explicit stack of frames, so a self-referencing or absurdly deep container fails with the
// documented TypeError on any thread and in any build, however small its stack. A length that user
// code reports (`__len__`) never sizes anything: containers are read until they run out.
//
// A sink provides:
//   Value leaf(PyObject*, Shape)                  null, boolean, number or string
//   Builder begin(bool object)                    an empty array or object
//   void add(Builder&, PyObject* key, Value)      key is null for arrays
//   Value end(Builder&, bool keys_sorted)         keys_sorted: added in ascending order, unique
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>

#include "core/json.hpp"
#include "python/toolkit/ref.hpp"

namespace vorn::py {

// Deepest nesting converted; beyond it (or beyond the interpreter's recursion limit) conversion
// fails.
inline constexpr std::size_t kMaxJsonDepth = 2000;

// A conversion failure: its text becomes the TypeError's message (`marshal_type_error`). A Python
// exception raised during the conversion is kept as is and only turned into text once the walk has
// been abandoned.
struct ConversionError {
    std::string message;
    Ref type, value, traceback;
};
[[noreturn]] void conversion_failure(std::string message);
[[noreturn]] void conversion_failure_from_pending();
[[noreturn]] void marshal_type_error(const ConversionError& error);

enum class Shape : std::uint8_t {
    Null,
    Bool,
    Int,
    Float,
    String,
    List,
    Tuple,
    Dict,
    Iterable,
    Mapping,
    Dataclass,
};

inline bool is_container(Shape s) {
    return s >= Shape::List;
}

// What `obj` converts as; a value without a JSON form fails here.
Shape shape_of(PyObject* obj);

// An int as a JSON number: unsigned in 0..2^64-1, signed in -2^63..-1; anything else fails.
struct IntNumber {
    bool is_signed;
    std::int64_t signed_value;
    std::uint64_t unsigned_value;
};
IntNumber int_number(PyObject* obj);
double float_number(PyObject* obj);
// The UTF-8 text of a str; a str that has none (a lone surrogate) fails.
std::string_view str_text(PyObject* obj);

// The parts of one container, read one at a time in conversion order: a dict's entries ordered by
// key (of equal keys the last wins), a mapping's keys as its `keys()` yields them, a dataclass's
// fields, any other container's items.
class Parts {
  public:
    Parts(PyObject* container, Shape shape, MemoryResource* mr);
    Parts(Parts&&) noexcept = default;
    Parts& operator=(Parts&&) noexcept = default;

    bool is_object() const { return shape_ >= Shape::Dict && shape_ != Shape::Iterable; }
    bool keys_sorted() const { return shape_ == Shape::Dict; }
    // The next part, held alive by this object until the following call; `key` is null for arrays.
    bool next(PyObject*& key, PyObject*& value);

  private:
    struct Entry {
        std::string_view text;
        Ref key, value;
    };
    Shape shape_;
    Ref source_, iter_, key_, value_;
    std::size_t index_ = 0;
    std::pmr::vector<Entry> entries_;
};

// Counts the levels entered into the interpreter's recursion check and leaves them all, however the
// walk ends.
class RecursionLevels {
  public:
    RecursionLevels() = default;
    RecursionLevels(const RecursionLevels&) = delete;
    RecursionLevels& operator=(const RecursionLevels&) = delete;
    ~RecursionLevels() {
        while (entered_ > 0) leave();
    }
    void enter(std::size_t depth);
    void leave() {
        Py_LeaveRecursiveCall();
        --entered_;
    }

  private:
    std::size_t entered_ = 0;
};

template <class Sink>
typename Sink::Value walk(Sink& sink, PyObject* root, MemoryResource* mr) {
    using Value = typename Sink::Value;
    struct Frame {
        Parts parts;
        typename Sink::Builder out;
        PyObject* key;  // of the part being converted; held by `parts`
    };
    std::pmr::vector<Frame> stack(mr);
    RecursionLevels levels;
    Value value;
    // Either `obj` is a leaf and becomes `value`, or its frame is pushed and false returned.
    auto visit = [&](PyObject* obj) {
        const Shape shape = shape_of(obj);
        if (!is_container(shape)) {
            value = sink.leaf(obj, shape);
            return true;
        }
        levels.enter(stack.size());
        Parts parts(obj, shape, mr);
        auto out = sink.begin(parts.is_object());
        stack.push_back(Frame{std::move(parts), std::move(out), nullptr});
        return false;
    };
    bool have_value = visit(root);
    for (;;) {
        if (have_value) {
            if (stack.empty()) return value;
            Frame& parent = stack.back();
            sink.add(parent.out, parent.key, std::move(value));
        }
        Frame& top = stack.back();
        PyObject *key = nullptr, *item = nullptr;
        if (top.parts.next(key, item)) {
            top.key = key;
            have_value = visit(item);
        } else {
            value = sink.end(top.out, top.parts.keys_sorted());
            stack.pop_back();
            levels.leave();
            have_value = true;
        }
    }
}

}  // namespace vorn::py
