#include "python/toolkit/py_document.hpp"

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

PyObject* field_key(FieldName name) {
    // Open addressing on the literal's address. The rules name a few dozen fields, so the table
    // never fills; it only grows with the program text, never with what callers send.
    struct Slot {
        const char* literal;
        PyObject* key;
    };
    static std::array<Slot, 256> table{};
    const auto address = reinterpret_cast<std::uintptr_t>(name.data());
    for (std::size_t probe = 0; probe < table.size(); ++probe) {
        Slot& slot = table[((address >> 3) + probe) % table.size()];
        if (slot.literal == name.data()) return slot.key;
        if (slot.literal == nullptr) {
            slot.key = Ref::check(PyUnicode_FromStringAndSize(
                                      name.data(), static_cast<Py_ssize_t>(name.text().size())))
                           .release();
            PyUnicode_InternInPlace(&slot.key);
            slot.literal = name.data();
            return slot.key;
        }
    }
    throw std::length_error("field name table is full");
}

namespace {

// UTF-8 byte order, decided by the keys' first eight bytes where they differ there.
bool key_less(const PyDocument::Member& a, const PyDocument::Member& b) {
    if (a.head != b.head) return __builtin_bswap64(a.head) < __builtin_bswap64(b.head);
    return utf8_less(a.key, b.key);
}

}  // namespace

template <bool Copy>
PyDocument::Node PyDocument::build(PyObject* payload, Ref* copy) {
    // Containers are filled from an explicit list; each one's slots are allocated at its full
    // size before any is filled, so the pointers handed out stay valid. A copy's container is made
    // with its slot and handed straight to its parent (the root to `copy`), so a copy given up
    // half-way is released whole.
    struct Pending {
        PyObject* source;
        Slot* slot;
        std::size_t depth;
    };
    std::pmr::vector<Pending> pending(arena_);
    pending.reserve(8);
    NestingBudget budget;
    auto fill = [&](PyObject* obj, Slot& slot, std::size_t depth, Ref& made) {
        slot.count = 0;
        if (is_plain_container(obj)) {
            if (!budget.reach(depth + 1)) return false;
            const bool dict = PyDict_CheckExact(obj);
            slot.kind = dict ? Json::Kind::Object : Json::Kind::Array;
            slot.object = obj;
            if constexpr (Copy) {
                made = dict ? new_dict()
                            : Ref::check(PyList_New(static_cast<Py_ssize_t>(item_count(obj))));
                slot.object = made.get();
            }
            pending.push_back({obj, &slot, depth + 1});
            return true;
        }
        std::string_view text;
        const auto kind = plain_leaf(obj, text);
        if (!kind) return false;
        slot.kind = *kind;
        slot.object = *kind == Json::Kind::Null ? Py_None : obj;  // a float without a JSON form
        slot.data = text.data();
        slot.count = static_cast<std::uint32_t>(text.size());
        return true;
    };
    Slot* root = new_slots<Slot>(1);
    Ref root_made;
    if (!fill(payload, *root, 0, root_made)) return nullptr;
    while (!pending.empty()) {
        const Pending p = pending.back();
        pending.pop_back();
        if (p.slot->kind == Json::Kind::Object) {
            const auto n = static_cast<std::size_t>(PyDict_Size(p.source));
            Member* members = new_slots<Member>(n);
            Py_ssize_t pos = 0;
            PyObject *key = nullptr, *value = nullptr;
            // Keys first (a copy's in order), then the values into the slots where they stay.
            for (std::size_t i = 0; PyDict_Next(p.source, &pos, &key, &value); ++i) {
                const auto text = plain_key(key);
                if (!text) return nullptr;
                members[i].key = *text;
                members[i].head = key_head(*text);
                members[i].key_object = key;
                members[i].value.object = value;
            }
            if constexpr (Copy) stable_sort_small(members, members + n, key_less);
            for (std::size_t i = 0; i < n; ++i) {
                Member& m = members[i];
                Ref made;
                if (!fill(m.value.object, m.value, p.depth, made)) return nullptr;
                if constexpr (Copy) {
                    check_status(PyDict_SetItem(p.slot->object, m.key_object, m.value.object));
                }
            }
            p.slot->data = members;
            p.slot->count = static_cast<std::uint32_t>(n);
        } else {
            const std::size_t n = item_count(p.source);
            Slot* items = new_slots<Slot>(n);
            for (std::size_t i = 0; i < n; ++i) {
                Ref made;
                if (!fill(item_at(p.source, i), items[i], p.depth, made)) return nullptr;
                if constexpr (Copy) {
                    PyList_SetItem(p.slot->object, static_cast<Py_ssize_t>(i),
                                   Py_NewRef(items[i].object));
                }
            }
            p.slot->data = items;
            p.slot->count = static_cast<std::uint32_t>(n);
        }
    }
    if constexpr (Copy) *copy = root_made ? std::move(root_made) : Ref::borrow(root->object);
    return root;
}

PyDocument::Node PyDocument::index(PyObject* payload) {
    return build<false>(payload, nullptr);
}

PyDocument::Node PyDocument::index_copy(PyObject* payload, Ref& copy) {
    return build<true>(payload, &copy);
}

PyDocument::Node PyDocument::index_converted(PyObject* copy) {
    const Node root = index(copy);
    if (root == nullptr) throw std::logic_error("a converted payload could not be indexed");
    return root;
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

void PyDocument::set(Node object, FieldName key, PyObject* value) {
    const Py_ssize_t before = PyDict_Size(object->object);
    check_status(PyDict_SetItem(object->object, field_key(key), value));
    if (PyDict_Size(object->object) != before) grown_.push_back(object->object);
}

void PyDocument::set_bool(Node object, FieldName key, bool b) {
    set(object, key, b ? Py_True : Py_False);
}

void PyDocument::set_int(Node object, FieldName key, std::int64_t v) {
    set(object, key, make_int(v).get());
}

void PyDocument::set_null(Node object, FieldName key) {
    set(object, key, Py_None);
}

PyDocument::Node PyDocument::new_container(PyObject* object, Json::Kind kind) {
    Slot* slot = new_slots<Slot>(1);
    *slot = Slot{object, nullptr, 0, kind};
    return slot;
}

PyDocument::Node PyDocument::set_empty_array(Node object, FieldName key) {
    Ref list = Ref::check(PyList_New(0));
    set(object, key, list.get());
    return new_container(list.get(), Json::Kind::Array);  // held by `object` now
}

PyDocument::Node PyDocument::set_empty_object(Node object, FieldName key) {
    Ref dict = new_dict();
    set(object, key, dict.get());
    return new_container(dict.get(), Json::Kind::Object);
}

void PyDocument::erase(Node object, FieldName key) {
    check_status(PyDict_DelItem(object->object, field_key(key)));
}

void PyDocument::restore_key_order() {
    struct Entry {
        std::string_view text;
        Ref key, value;
    };
    std::vector<Entry> entries;
    for (PyObject* dict : grown_) {
        entries.clear();
        Py_ssize_t pos = 0;
        PyObject *key = nullptr, *value = nullptr;
        while (PyDict_Next(dict, &pos, &key, &value)) {
            entries.push_back(Entry{*plain_key(key), Ref::borrow(key), Ref::borrow(value)});
        }
        stable_sort_small(entries.begin(), entries.end(),
                          [](const Entry& a, const Entry& b) { return utf8_less(a.text, b.text); });
        PyDict_Clear(dict);
        for (const Entry& e : entries)
            check_status(PyDict_SetItem(dict, e.key.get(), e.value.get()));
    }
    grown_.clear();
}

}  // namespace vorn::py
