#include "core/json.hpp"

#include "core/small_sort.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace vorn {

namespace {

struct KeyLess {
    bool operator()(const JsonMember& m, std::string_view key) const {
        return utf8_less(m.key.text(), key);
    }
};

}  // namespace

JsonString::JsonString(std::string_view s, MemoryResource* mr, Origin o) : origin(o) {
    if (s.empty()) return;
    char* bytes = static_cast<char*>(mr->allocate(s.size(), alignof(char)));
    std::memcpy(bytes, s.data(), s.size());
    data_ = bytes;
    size_ = s.size();
    owner_ = mr;
}

JsonString JsonString::borrowed(std::string_view s, Origin o) {
    JsonString out;
    out.origin = o;
    out.data_ = s.data();
    out.size_ = s.size();
    out.borrowed_ = true;
    return out;
}

JsonString::JsonString(JsonString&& other) noexcept
    : origin(other.origin),
      data_(std::exchange(other.data_, "")),
      size_(std::exchange(other.size_, 0)),
      owner_(std::exchange(other.owner_, nullptr)),
      borrowed_(std::exchange(other.borrowed_, false)) {}

JsonString& JsonString::operator=(JsonString&& other) noexcept {
    if (this != &other) {
        release();
        origin = other.origin;
        data_ = std::exchange(other.data_, "");
        size_ = std::exchange(other.size_, 0);
        owner_ = std::exchange(other.owner_, nullptr);
        borrowed_ = std::exchange(other.borrowed_, false);
    }
    return *this;
}

void JsonString::release() {
    if (owner_ != nullptr) owner_->deallocate(const_cast<char*>(data_), size_, alignof(char));
    data_ = "";
    size_ = 0;
    owner_ = nullptr;
}

JsonObject::JsonObject(MemoryResource* mr) : members_(mr) {}
JsonObject::~JsonObject() = default;

const Json* JsonObject::find(std::string_view key) const {
    auto it = std::lower_bound(members_.begin(), members_.end(), key, KeyLess{});
    return it != members_.end() && it->key.text() == key ? &it->value : nullptr;
}

Json* JsonObject::find(std::string_view key) {
    return const_cast<Json*>(std::as_const(*this).find(key));
}

Json& JsonObject::set(std::string_view key, Json value) {
    return set(JsonString(key, resource()), std::move(value));
}

Json& JsonObject::set(JsonString key, Json value) {
    auto it = std::lower_bound(members_.begin(), members_.end(), key.text(), KeyLess{});
    if (it != members_.end() && it->key.text() == key.text()) {
        it->value = std::move(value);
        return it->value;
    }
    it = members_.insert(it, JsonMember{std::move(key), std::move(value)});
    return it->value;
}

bool JsonObject::erase(std::string_view key) {
    auto it = std::lower_bound(members_.begin(), members_.end(), key, KeyLess{});
    if (it == members_.end() || it->key.text() != key) return false;
    members_.erase(it);
    return true;
}

void JsonObject::reserve(std::size_t n) {
    members_.reserve(n);
}

void JsonObject::append_unsorted(JsonString key, Json value) {
    members_.push_back(JsonMember{std::move(key), std::move(value)});
}

void JsonObject::finish() {
    const std::size_t n = members_.size();
    bool strictly_ascending = true;
    for (std::size_t i = 1; i < n && strictly_ascending; ++i) {
        strictly_ascending = utf8_less(members_[i - 1].key.text(), members_[i].key.text());
    }
    if (strictly_ascending) return;
    // Order positions rather than members (members are large), stably, so equal keys stay in
    // arrival order; then move each member once, letting the last of equal keys win.
    std::pmr::vector<std::uint32_t> order(n, resource());
    for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
    auto by_key = [this](std::uint32_t a, std::uint32_t b) {
        return utf8_less(members_[a].key.text(), members_[b].key.text());
    };
    stable_sort_small(order.begin(), order.end(), by_key);
    std::pmr::vector<JsonMember> sorted(resource());
    sorted.reserve(n);
    for (const std::uint32_t i : order) {
        if (!sorted.empty() && sorted.back().key.text() == members_[i].key.text()) {
            sorted.back() = std::move(members_[i]);
        } else {
            sorted.push_back(std::move(members_[i]));
        }
    }
    members_ = std::move(sorted);
}

Json::Json(const Json& other) : Json(other.clone_impl(std::pmr::get_default_resource(), false)) {}

Json& Json::operator=(const Json& other) {
    if (this != &other) *this = other.clone_impl(std::pmr::get_default_resource(), false);
    return *this;
}

Json Json::number(double v) {
    if (!std::isfinite(v)) return Json();
    return Json(std::in_place_index<4>, v);
}

Json Json::string(std::string_view s, MemoryResource* mr, Origin origin) {
    return Json(std::in_place_index<5>, s, mr, origin);
}

Json Json::array(MemoryResource* mr) {
    return Json(std::in_place_index<6>, mr);
}

Json Json::object(MemoryResource* mr) {
    return Json(std::in_place_index<7>, mr);
}

Json Json::clone(MemoryResource* mr) const {
    return clone_impl(mr, true);
}

JsonString Json::clone_string(const JsonString& s, MemoryResource* mr, bool keep_origins) {
    if (!keep_origins) return JsonString(s.text(), mr);
    if (s.is_borrowed()) return JsonString::borrowed(s.text(), s.origin);
    return JsonString(s.text(), mr, s.origin);
}

template <class F>
void Json::for_each_child(F&& f) {
    if (JsonArray* items = if_array()) {
        for (Json& item : *items) f(item);
    } else if (JsonObject* members = if_object()) {
        for (JsonMember& m : members->members_) f(m.value);
    }
}

namespace {

bool holds_children(const Json& j) {
    if (const JsonArray* items = j.if_array()) return !items->empty();
    if (const JsonObject* members = j.if_object()) return !members->empty();
    return false;
}

}  // namespace

void Json::dismantle() noexcept {
    bool deep = false;
    for_each_child([&](Json& child) { deep = deep || holds_children(child); });
    if (!deep) return;
    // Containers below the children are moved into one flat list and destroyed from there, each
    // holding only leaves by then, so no destructor recurses more than one level.
    try {
        std::vector<Json> pending;
        auto detach = [&](Json& node) {
            node.for_each_child([&](Json& child) {
                if (holds_children(child)) pending.push_back(std::move(child));
            });
        };
        detach(*this);
        while (!pending.empty()) {
            Json node = std::move(pending.back());
            pending.pop_back();
            detach(node);
        }
    } catch (...) {
        // Out of memory for the list: the ordinary destruction takes over.
    }
}

Json Json::shallow_clone(MemoryResource* mr, bool keep_origins) const {
    switch (kind()) {
        case Kind::String:
            return string(clone_string(*if_string(), mr, keep_origins));
        case Kind::Array:
            return array(mr);
        case Kind::Object:
            return object(mr);
        case Kind::Null:
            return Json();
        case Kind::Bool:
            return boolean(*if_bool());
        case Kind::Int:
            return integer(*if_int());
        case Kind::UInt:
            return unsigned_integer(*if_uint());
        case Kind::Float:
            return Json(std::in_place_index<4>, *if_float());
    }
    return Json();
}

Json Json::clone_impl(MemoryResource* mr, bool keep_origins) const {
    // Each container is copied one level at a time from an explicit list of pending copies. A
    // copy's items are reserved in full before they are added, so the pointers kept to them stay
    // valid.
    struct Step {
        const Json* source;
        Json* target;
    };
    Json root = shallow_clone(mr, keep_origins);
    std::vector<Step> pending{{this, &root}};
    while (!pending.empty()) {
        const Step step = pending.back();
        pending.pop_back();
        if (const JsonArray* items = step.source->if_array()) {
            JsonArray& out = *step.target->if_array();
            out.reserve(items->size());
            for (const Json& item : *items) {
                out.push_back(item.shallow_clone(mr, keep_origins));
                if (holds_children(item)) pending.push_back({&item, &out.back()});
            }
        } else if (const JsonObject* members = step.source->if_object()) {
            JsonObject& out = *step.target->if_object();
            out.reserve(members->size());
            // Already sorted and unique, so appending keeps the invariant without `finish`.
            for (const JsonMember& m : *members) {
                out.append_unsorted(clone_string(m.key, mr, keep_origins),
                                    m.value.shallow_clone(mr, keep_origins));
                if (holds_children(m.value))
                    pending.push_back({&m.value, &out.members_.back().value});
            }
        }
    }
    return root;
}

namespace {

// Equality of two values apart from what their children hold.
bool shallow_equal(const Json& a, const Json& b) {
    using K = Json::Kind;
    const bool a_int = a.kind() == K::Int || a.kind() == K::UInt;
    const bool b_int = b.kind() == K::Int || b.kind() == K::UInt;
    if (a_int && b_int) {
        if (a.kind() == b.kind())
            return a.kind() == K::Int ? *a.if_int() == *b.if_int() : *a.if_uint() == *b.if_uint();
        const std::int64_t s = a.kind() == K::Int ? *a.if_int() : *b.if_int();
        const std::uint64_t u = a.kind() == K::UInt ? *a.if_uint() : *b.if_uint();
        return s >= 0 && static_cast<std::uint64_t>(s) == u;
    }
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
        case K::Null:
            return true;
        case K::Bool:
            return *a.if_bool() == *b.if_bool();
        case K::Float:
            return *a.if_float() == *b.if_float();
        case K::String:
            return a.if_string()->text() == b.if_string()->text();
        case K::Array:
            return a.if_array()->size() == b.if_array()->size();
        case K::Object: {
            const auto& x = *a.if_object();
            const auto& y = *b.if_object();
            return x.size() == y.size() &&
                   std::equal(x.begin(), x.end(), y.begin(), [](const auto& m, const auto& n) {
                       return m.key.text() == n.key.text();
                   });
        }
        default:
            return false;
    }
}

}  // namespace

bool operator==(const Json& a, const Json& b) {
    std::vector<std::pair<const Json*, const Json*>> pending{{&a, &b}};
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        if (!shallow_equal(*x, *y)) return false;
        if (const JsonArray* items = x->if_array()) {
            for (std::size_t i = 0; i < items->size(); ++i) {
                pending.push_back({&(*items)[i], &(*y->if_array())[i]});
            }
        } else if (const JsonObject* members = x->if_object()) {
            const JsonMember* other = y->if_object()->begin();
            for (const JsonMember& m : *members) pending.push_back({&m.value, &(other++)->value});
        }
    }
    return true;
}

}  // namespace vorn
