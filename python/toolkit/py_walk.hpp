// Walking a Python object by the JSON conversion rules without recursing on the C stack.
//
// The walk decides what each object is (null, boolean, number, string, array or object) and in
// which order its parts are read; a sink decides what is built from them. Nesting lives in an
// explicit stack of frames, so a self-referencing or absurdly deep container fails with the
// documented TypeError on any thread and in any build, however small its stack. A length that user
// code reports (`__len__`) never sizes anything: containers are read until they run out.
//
// A sink provides:
//   Shape shape(PyObject*)                        usually `shape_of`; a sink may refuse more
//   Value leaf(PyObject*, Shape)                  null, boolean, number or string
//   Builder begin(const Parts&)                   an empty array or object for those parts
//   void add(Builder&, PyObject* key, Value)      key is null for arrays
//   Value end(Builder&, const Parts&)
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
    // How many parts a list, tuple or dict holds now (its own count, not a `__len__`); 0 if
    // unknown.
    std::size_t size_hint() const;
    // The next part, held alive by this object until the following call; `key` is null for arrays.
    bool next(PyObject*& key, PyObject*& value);
    // The key of the part last returned by `next` (null for arrays).
    PyObject* current_key() const { return current_key_; }

  private:
    struct Entry {
        std::string_view text;
        Ref key, value;
    };
    Shape shape_;
    Ref source_, iter_, key_, value_;
    PyObject* current_key_ = nullptr;
    std::size_t index_ = 0;
    std::pmr::vector<Entry> entries_;
    std::pmr::vector<std::uint32_t> order_;  // of entries_, by key
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
    struct Frame {
        Parts parts;
        typename Sink::Builder out;
    };
    const Shape root_shape = sink.shape(root);
    if (!is_container(root_shape)) return sink.leaf(root, root_shape);
    std::pmr::vector<Frame> stack(mr);
    stack.reserve(8);
    RecursionLevels levels;
    auto open = [&](PyObject* container, Shape shape) {
        levels.enter(stack.size());
        Parts parts(container, shape, mr);
        auto out = sink.begin(parts);
        stack.push_back(Frame{std::move(parts), std::move(out)});
    };
    open(root, root_shape);
    PyObject* key = nullptr;
    for (;;) {
        Frame& top = stack.back();
        PyObject* item = nullptr;
        if (top.parts.next(key, item)) {
            const Shape shape = sink.shape(item);
            if (is_container(shape)) {
                open(item, shape);
            } else {
                sink.add(top.out, key, sink.leaf(item, shape));
            }
            continue;
        }
        auto done = sink.end(top.out, top.parts);
        stack.pop_back();
        levels.leave();
        if (stack.empty()) return done;
        Frame& parent = stack.back();
        sink.add(parent.out, parent.parts.current_key(), std::move(done));
    }
}

}  // namespace vorn::py
