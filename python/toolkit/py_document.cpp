#include "python/toolkit/py_document.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "core/small_sort.hpp"
#include "python/toolkit/keys.hpp"
#include "python/toolkit/plain.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

// The interned str of a key a rule added. Such keys are string literals, so they are kept by the
// literal's address: the table only grows with the program text, never with what callers send.
PyObject* added_key(std::string_view literal) {
    struct Entry {
        const char* literal;
        PyObject* key;
    };
    static std::array<Entry, 64> table{};
    const auto address = reinterpret_cast<std::uintptr_t>(literal.data());
    for (std::size_t probe = 0; probe < table.size(); ++probe) {
        Entry& entry = table[((address >> 3) + probe) % table.size()];
        if (entry.literal == literal.data()) return entry.key;
        if (entry.literal == nullptr) {
            entry.key = make_str(literal).release();
            PyUnicode_InternInPlace(&entry.key);
            entry.literal = literal.data();
            return entry.key;
        }
    }
    throw std::length_error("too many field names");
}

// UTF-8 byte order, decided by the keys' first eight bytes where they differ there.
bool key_less(const PyDocument::Member& a, const PyDocument::Member& b) {
    if (a.head != b.head) return __builtin_bswap64(a.head) < __builtin_bswap64(b.head);
    return utf8_less(a.key, b.key);
}

}  // namespace

PyDocument::Node PyDocument::index(PyObject* payload) {
    // Containers are filled from an explicit list; each one's slots are allocated at its full
    // size before any is filled, so the pointers handed out stay valid.
    struct Pending {
        Slot* slot;
        std::size_t depth;
    };
    std::pmr::vector<Pending> pending(arena_);
    pending.reserve(8);
    NestingBudget budget;
    auto fill = [&](PyObject* obj, Slot& slot, std::size_t depth) {
        slot.object = obj;
        slot.count = 0;
        if (is_plain_container(obj)) {
            if (!budget.reach(depth + 1)) return false;
            slot.kind = PyDict_CheckExact(obj) ? Json::Kind::Object : Json::Kind::Array;
            pending.push_back({&slot, depth + 1});
            return true;
        }
        std::string_view text;
        const auto kind = plain_leaf(obj, text);
        if (!kind) return false;
        slot.kind = *kind;
        if (*kind == Json::Kind::Null) slot.object = Py_None;  // a float without a JSON form
        slot.data = text.data();
        slot.count = static_cast<std::uint32_t>(text.size());
        return true;
    };
    Slot* root = new_slots<Slot>(1);
    if (!fill(payload, *root, 0)) return nullptr;
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        PyObject* container = p.slot->object;
        if (p.slot->kind == Json::Kind::Object) {
            const auto n = static_cast<std::size_t>(PyDict_Size(container));
            Member* members = new_slots<Member>(n);
            Py_ssize_t pos = 0;
            PyObject *key = nullptr, *value = nullptr;
            // Keys first (an editor's in order), then the values into the slots where they stay.
            for (std::size_t i = 0; PyDict_Next(container, &pos, &key, &value); ++i) {
                const auto text = plain_key(key);
                if (!text) return nullptr;
                members[i] = Member{key_head(*text), *text, key, Slot{value, nullptr, 0, {}}};
            }
            if (writable_) stable_sort_small(members, members + n, key_less);
            for (std::size_t i = 0; i < n; ++i) {
                if (!fill(members[i].value.object, members[i].value, p.depth)) return nullptr;
            }
            p.slot->data = members;
            p.slot->count = static_cast<std::uint32_t>(n);
        } else {
            const std::size_t n = item_count(container);
            Slot* items = new_slots<Slot>(n);
            for (std::size_t i = 0; i < n; ++i) {
                if (!fill(item_at(container, i), items[i], p.depth)) return nullptr;
            }
            p.slot->data = items;
            p.slot->count = static_cast<std::uint32_t>(n);
        }
    }
    return root;
}

PyDocument::Node PyDocument::index_converted(PyObject* copy) {
    const Node root = index(copy);
    if (root == nullptr) throw std::logic_error("a converted payload could not be indexed");
    return root;
}

Ref PyDocument::emit(Node root) {
    // Each container is made when its slot is met and handed straight to its parent; its parts are
    // added from an explicit list, so nesting never recurses on the C stack.
    auto make = [](const Slot& slot) -> Ref {
        switch (slot.kind) {
            case Json::Kind::Object:
                return new_dict();
            case Json::Kind::Array:
                return Ref::check(PyList_New(static_cast<Py_ssize_t>(slot.count)));
            default:
                return Ref::borrow(slot.object);
        }
    };
    struct Pending {
        const Slot* slot;
        PyObject* out;
    };
    std::pmr::vector<Pending> pending(arena_);
    Ref out = make(*root);
    if (root->kind == Json::Kind::Object || root->kind == Json::Kind::Array) {
        pending.push_back({root, out.get()});
    }
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        for (std::uint32_t i = 0; i < p.slot->count; ++i) {
            const Slot* child = nullptr;
            PyObject* key = nullptr;
            if (p.slot->kind == Json::Kind::Object) {
                const Member& m = static_cast<const Member*>(p.slot->data)[i];
                if (m.key.data() == nullptr) continue;  // removed by a rule
                child = &m.value;
                key = m.key_object != nullptr ? m.key_object : added_key(m.key);
                Ref value = make(*child);
                check_status(PyDict_SetItem(p.out, key, value.get()));
                if (child->kind == Json::Kind::Object || child->kind == Json::Kind::Array) {
                    pending.push_back({child, value.get()});
                }
            } else {
                child = static_cast<const Slot*>(p.slot->data) + i;
                Ref value = make(*child);
                PyList_SetItem(p.out, static_cast<Py_ssize_t>(i), Py_NewRef(value.get()));
                if (child->kind == Json::Kind::Object || child->kind == Json::Kind::Array) {
                    pending.push_back({child, value.get()});
                }
            }
        }
    }
    return out;
}

namespace {

// Most keys differ within their first eight bytes, which `head` compares at once.
bool same_key(const PyDocument::Member& m, std::uint64_t head, std::string_view key) {
    return m.head == head && m.key.size() == key.size() &&
           (key.size() <= 8 || std::memcmp(m.key.data() + 8, key.data() + 8, key.size() - 8) == 0);
}

}  // namespace

PyDocument::Node PyDocument::find(Node object, FieldName key) const {
    const auto* members = static_cast<const Member*>(object->data);
    for (std::uint32_t i = 0; i < object->count; ++i) {
        if (same_key(members[i], key.head(), key.text())) return &members[i].value;
    }
    return nullptr;
}

PyDocument::Slot& PyDocument::set(Node object, FieldName key, Slot value) {
    auto* members = static_cast<Member*>(const_cast<void*>(object->data));
    for (std::uint32_t i = 0; i < object->count; ++i) {
        if (same_key(members[i], key.head(), key.text())) {
            members[i].value = value;
            return members[i].value;
        }
    }
    // A new key goes to its place in key order, in a members array one longer.
    const Member added{key.head(), key.text(), nullptr, value};
    Member* grown = new_slots<Member>(object->count + 1);
    std::uint32_t at = 0;
    while (at < object->count && key_less(members[at], added)) ++at;
    std::copy(members, members + at, grown);
    grown[at] = added;
    std::copy(members + at, members + object->count, grown + at + 1);
    Slot& owner = *const_cast<Slot*>(object);
    owner.data = grown;
    owner.count += 1;
    return grown[at].value;
}

void PyDocument::set_bool(Node object, FieldName key, bool b) {
    set(object, key, Slot{b ? Py_True : Py_False, nullptr, 0, Json::Kind::Bool});
}

void PyDocument::set_int(Node object, FieldName key, std::int64_t v) {
    made_.push_back(make_int(v));
    set(object, key, Slot{made_.back().get(), nullptr, 0, Json::Kind::Int});
}

void PyDocument::set_null(Node object, FieldName key) {
    set(object, key, Slot{Py_None, nullptr, 0, Json::Kind::Null});
}

PyDocument::Node PyDocument::set_empty_array(Node object, FieldName key) {
    return &set(object, key, Slot{nullptr, nullptr, 0, Json::Kind::Array});
}

PyDocument::Node PyDocument::set_empty_object(Node object, FieldName key) {
    return &set(object, key, Slot{nullptr, nullptr, 0, Json::Kind::Object});
}

void PyDocument::erase(Node object, FieldName key) {
    auto* members = static_cast<Member*>(const_cast<void*>(object->data));
    for (std::uint32_t i = 0; i < object->count; ++i) {
        if (same_key(members[i], key.head(), key.text())) {
            members[i] = Member{};  // found by no key and skipped when emitted
            return;
        }
    }
}

}  // namespace vorn::py
