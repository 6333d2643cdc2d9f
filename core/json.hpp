// JSON values as the core sees them: null, boolean, signed or unsigned 64-bit integer, finite
// double, string, array, and object whose keys are unique and kept in ascending UTF-8 byte order.
//
// Memory: every container and string takes a std::pmr memory resource, so a value that only lives
// for one call (a payload being validated) can sit in a per-call arena, while a value that is kept
// (copied with the copy constructor, or built on the default resource) owns its memory.
//
// Origins: a string may carry an opaque `Origin` handle naming the object it was read from. The
// core never reads it; it travels with the string through moves and `clone`, so whoever produced
// the value can hand the original object back instead of re-creating it. The copy constructor drops
// origins: a kept copy must not point at objects whose lifetime it does not control.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vorn {

using Origin = const void*;
using MemoryResource = std::pmr::memory_resource;

// A string's bytes are either owned (copied into a memory resource) or borrowed: a view of bytes
// that whoever set the origin keeps alive for as long as the value is used. Borrowing is how a
// per-call value avoids copying the strings it was read from.
class JsonString {
  public:
    Origin origin = nullptr;

    JsonString() = default;
    // Copies `s` into `mr`.
    JsonString(std::string_view s, MemoryResource* mr, Origin o = nullptr);
    // Refers to `s` without copying; `o` must keep those bytes alive.
    static JsonString borrowed(std::string_view s, Origin o);

    JsonString(JsonString&& other) noexcept;
    JsonString& operator=(JsonString&& other) noexcept;
    JsonString(const JsonString&) = delete;
    JsonString& operator=(const JsonString&) = delete;
    ~JsonString() {
        if (owner_ != nullptr) release();
    }

    std::string_view text() const { return {data_, size_}; }
    bool is_borrowed() const { return borrowed_; }

  private:
    void release();

    // Owned bytes come from `owner_` and go back to it; borrowed and empty strings have none.
    const char* data_ = "";
    std::size_t size_ = 0;
    MemoryResource* owner_ = nullptr;
    bool borrowed_ = false;
};

// Byte order of UTF-8 keys. Object keys are short and usually differ early, so a plain loop beats
// a call into memcmp.
inline bool utf8_less(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

// A view of a string together with its origin, for results that refer to their inputs' strings
// instead of copying them.
struct TextRef {
    std::string_view text;
    Origin origin = nullptr;

    static TextRef of(const JsonString& s) { return {s.text(), s.origin}; }
};

class Json;
struct JsonMember;

using JsonArray = std::pmr::vector<Json>;

// Sorted, unique-key object. Lookup is a binary search over the UTF-8 bytes of the keys.
class JsonObject {
  public:
    explicit JsonObject(MemoryResource* mr = std::pmr::get_default_resource());
    JsonObject(JsonObject&&) noexcept = default;
    JsonObject& operator=(JsonObject&&) = default;
    JsonObject(const JsonObject&) = delete;
    JsonObject& operator=(const JsonObject&) = delete;
    ~JsonObject();

    MemoryResource* resource() const { return members_.get_allocator().resource(); }
    std::size_t size() const;
    bool empty() const;
    const JsonMember* begin() const;
    const JsonMember* end() const;

    const Json* find(std::string_view key) const;
    Json* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }

    // Inserts or replaces; the key string is copied into this object's resource.
    Json& set(std::string_view key, Json value);
    Json& set(JsonString key, Json value);
    bool erase(std::string_view key);

    // Bulk building from members in arbitrary order: append, then `finish` sorts them by key and
    // keeps, of each run of equal keys, the one appended last.
    void reserve(std::size_t n);
    void append_unsorted(JsonString key, Json value);
    void finish();

  private:
    friend class Json;  // walks members to copy, compare and dismantle deep values
    std::pmr::vector<JsonMember> members_;
};

class Json {
  public:
    enum class Kind : std::uint8_t { Null, Bool, Int, UInt, Float, String, Array, Object };

    Json() = default;
    Json(Json&&) noexcept = default;
    Json& operator=(Json&&) = default;
    // Owning deep copy on the default resource, without origins.
    Json(const Json& other);
    Json& operator=(const Json& other);
    ~Json() {
        if (value_.index() >= 6) dismantle();
    }

    static Json null() { return Json(); }
    static Json boolean(bool b) { return Json(std::in_place_index<1>, b); }
    static Json integer(std::int64_t v) { return Json(std::in_place_index<2>, v); }
    static Json unsigned_integer(std::uint64_t v) { return Json(std::in_place_index<3>, v); }
    // A non-finite double has no JSON form and becomes null.
    static Json number(double v);
    static Json string(std::string_view s, MemoryResource* mr = std::pmr::get_default_resource(),
                       Origin origin = nullptr);
    static Json string(JsonString s) { return Json(std::in_place_index<5>, std::move(s)); }
    static Json array(MemoryResource* mr = std::pmr::get_default_resource());
    static Json array(JsonArray a) { return Json(std::in_place_index<6>, std::move(a)); }
    static Json object(MemoryResource* mr = std::pmr::get_default_resource());
    static Json object(JsonObject o) { return Json(std::in_place_index<7>, std::move(o)); }

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool is_null() const { return kind() == Kind::Null; }

    const bool* if_bool() const { return std::get_if<1>(&value_); }
    const std::int64_t* if_int() const { return std::get_if<2>(&value_); }
    const std::uint64_t* if_uint() const { return std::get_if<3>(&value_); }
    const double* if_float() const { return std::get_if<4>(&value_); }
    const JsonString* if_string() const { return std::get_if<5>(&value_); }
    const JsonArray* if_array() const { return std::get_if<6>(&value_); }
    JsonArray* if_array() { return std::get_if<6>(&value_); }
    const JsonObject* if_object() const { return std::get_if<7>(&value_); }
    JsonObject* if_object() { return std::get_if<7>(&value_); }

    // Deep copy whose containers and strings live in `mr`; origins are kept.
    Json clone(MemoryResource* mr) const;

    // Structural equality; integers compare by value whatever their signedness, origins are
    // ignored.
    //
    // Copying, comparing and destroying never recurse on the C stack, however deep the value.
    friend bool operator==(const Json& a, const Json& b);

  private:
    using Storage = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double,
                                 JsonString, JsonArray, JsonObject>;
    template <std::size_t I, class... A>
    explicit Json(std::in_place_index_t<I> i, A&&... a) : value_(i, std::forward<A>(a)...) {}
    Json clone_impl(MemoryResource* mr, bool keep_origins) const;
    Json shallow_clone(MemoryResource* mr, bool keep_origins) const;
    static JsonString clone_string(const JsonString& s, MemoryResource* mr, bool keep_origins);
    template <class F>
    void for_each_child(F&& f);
    void dismantle() noexcept;

    Storage value_;
};

struct JsonMember {
    JsonString key;
    Json value;
};

// Defined once JsonMember is complete: clang instantiates the vector's constexpr members where
// they are used.
inline std::size_t JsonObject::size() const {
    return members_.size();
}
inline bool JsonObject::empty() const {
    return members_.empty();
}
inline const JsonMember* JsonObject::begin() const {
    return members_.data();
}
inline const JsonMember* JsonObject::end() const {
    return members_.data() + members_.size();
}

}  // namespace vorn
