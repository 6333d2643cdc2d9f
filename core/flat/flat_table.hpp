// The keyed store behind every per-message and per-room collection: an open-addressing flat set of
// 8-byte entries (a slot number and the key's 32-bit hash) over blocks of slots, each holding
// where its key's bytes lie in the table's arena, the key's scope and the value. A slot keeps its
// number for as long as its key is stored, so values link to each other by number (see
// index_list.hpp); erased slots are reused. A key is bytes plus a 32-bit scope, so a table can
// hold the same text under several owners (message ids under their room's slot) and store the
// owner's text once. Lookups take a `FlatKey`, whose hash the caller computed once.
#pragma once

#include <boost/unordered/unordered_flat_set.hpp>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/flat/hash.hpp"
#include "core/flat/index_list.hpp"
#include "core/flat/key_arena.hpp"
#include "core/flat/slot_blocks.hpp"

namespace vorn {

// A key as a table looks it up: text, scope and the 32-bit hash, computed from the text's hash
// only when a probe needs it. Refers to its HashedText, which must outlive it, rather than copying
// the text: the caller has just written it, field by field, and a copy would read both fields at
// once, which stalls.
class FlatKey {
  public:
    explicit FlatKey(const HashedText& t, std::uint32_t key_scope = 0)
        : scope(key_scope), source_(&t) {}

    std::uint32_t hash() const {
        if (!hashed_) {
            hash_ = scoped_hash(source_->hash(), scope);
            hashed_ = true;
        }
        return hash_;
    }
    // The hash of `text` under `scope`, for a key whose text is at hand but not hashed.
    static std::uint32_t hash_of(std::string_view text, std::uint32_t scope = 0) {
        return FlatKey(HashedText(text), scope).hash();
    }

    std::size_t size() const { return source_->text.size(); }
    const char* data() const { return source_->text.data(); }

    std::uint32_t scope;

  private:
    const HashedText* source_;
    mutable std::uint32_t hash_ = 0;
    mutable bool hashed_ = false;
};

// With `RemembersLast`, the last key found or added is tried before the probe, by its bytes, so
// the key's hash is not needed when it matches; the check is the full key comparison, so a slot
// erased or reused by another key cannot pass. It pays in a table that its caller asks about one
// key several times in a row (a room, a channel, a message the host steps through its states).
template <class Value, bool RemembersLast = false>
class FlatTable {
  public:
    FlatTable() = default;
    FlatTable(const FlatTable&) = default;
    FlatTable& operator=(const FlatTable&) = default;
    // A moved-from table is empty and usable.
    FlatTable(FlatTable&& other) noexcept
        : set_(std::move(other.set_)),
          slots_(std::move(other.slots_)),
          free_(std::exchange(other.free_, kNoSlot)),
          arena_(std::move(other.arena_)) {
        other.clear();
    }
    FlatTable& operator=(FlatTable&& other) noexcept {
        if (this != &other) {
            set_ = std::move(other.set_);
            slots_ = std::move(other.slots_);
            free_ = std::exchange(other.free_, kNoSlot);
            arena_ = std::move(other.arena_);
            last_ = {};
            other.clear();
        }
        return *this;
    }
    ~FlatTable() = default;

    std::size_t size() const { return set_.size(); }
    bool empty() const { return set_.empty(); }

    // The key's slot, or kNoSlot.
    SlotIndex find(const FlatKey& key) const {
        if constexpr (RemembersLast) {
            if (last_.slot != kNoSlot && holds_text(last_.slot, key)) return last_.slot;
        }
        const auto it = set_.find(Probe{this, &key});
        if (it == set_.end()) return kNoSlot;
        if constexpr (RemembersLast) last_.slot = it->slot;
        return it->slot;
    }

    // The key's slot and whether it was added now (with a default value).
    std::pair<SlotIndex, bool> insert(const FlatKey& key) {
        if (const SlotIndex found = find(key); found != kNoSlot) return {found, false};
        return {add(key), true};
    }

    // The slot of a key that `find` has just missed, added with a default value: saves the
    // second lookup of `insert`.
    SlotIndex add(const FlatKey& key) {
        const SlotIndex slot = take_slot(key);
        try {
            set_.insert(Entry{slot, key.hash()});
        } catch (...) {
            give_back(slot);
            throw;
        }
        if constexpr (RemembersLast) last_.slot = slot;
        return slot;
    }

    // Forgets the slot's key and value; the slot number may be handed out again. `hash` is the
    // key's FlatKey hash; without it the key's bytes are hashed again.
    void erase(SlotIndex slot, std::uint32_t hash) {
        set_.erase(set_.find(Entry{slot, hash}));
        give_back(slot);
        if (set_.empty()) {
            arena_.reset();
        } else if (wants_compaction()) {
            compact();
        }
    }
    void erase(SlotIndex slot) { erase(slot, FlatKey::hash_of(text(slot), scope(slot))); }

    std::string_view text(SlotIndex slot) const {
        return arena_.view(slots_[slot].offset, slots_[slot].length);
    }
    std::uint32_t scope(SlotIndex slot) const { return slots_[slot].scope; }
    Value& operator[](SlotIndex slot) { return slots_[slot].value; }
    const Value& operator[](SlotIndex slot) const { return slots_[slot].value; }

    // Calls f(slot) for every stored slot, in slot order.
    template <class F>
    void for_each(F&& f) const {
        for (SlotIndex i = 0; i < slots_.size(); ++i) {
            if (slots_[i].length != kFree) f(i);
        }
    }

    void clear() {
        last_ = {};
        set_.clear();
        slots_.clear();
        free_ = kNoSlot;
        arena_.clear();
    }

    // Bytes the arena holds as garbage and in all, for tests of compaction.
    std::size_t arena_garbage() const { return arena_.garbage_bytes(); }
    std::size_t arena_live() const { return arena_.live_bytes(); }

  private:
    static constexpr std::uint32_t kFree = std::numeric_limits<std::uint32_t>::max();

    struct Slot {
        std::uint32_t offset;  // in the arena; the next free slot while free
        std::uint32_t length;  // kFree while free
        std::uint32_t scope;
        Value value;
    };

    struct Entry {
        SlotIndex slot = kNoSlot;
        std::uint32_t hash = 0;
    };
    struct LastSlot {
        SlotIndex slot = kNoSlot;
    };
    struct NoLastSlot {};
    struct Probe {
        const FlatTable* table;
        const FlatKey* key;
    };

    // Entries hash as their stored hash; the set mixes it further.
    struct EntryHash {
        using is_transparent = void;
        std::size_t operator()(const Entry& e) const { return e.hash; }
        std::size_t operator()(const Probe& p) const { return p.key->hash(); }
    };
    // Two entries are equal only as one slot: a key is added only after a lookup missed it.
    struct EntryEqual {
        using is_transparent = void;
        bool operator()(const Entry& a, const Entry& b) const { return a.slot == b.slot; }
        bool operator()(const Probe& p, const Entry& e) const { return p.table->holds(e, *p.key); }
        bool operator()(const Entry& e, const Probe& p) const { return p.table->holds(e, *p.key); }
    };

    bool holds(const Entry& e, const FlatKey& key) const {
        return e.hash == key.hash() && holds_text(e.slot, key);
    }
    // A free slot's length never equals a key's.
    bool holds_text(SlotIndex slot, const FlatKey& key) const {
        const Slot& s = slots_[slot];
        return s.length == key.size() && s.scope == key.scope &&
               same_bytes(arena_.view(s.offset, s.length).data(), key.data(), s.length);
    }

    SlotIndex take_slot(const FlatKey& key) {
        const std::uint32_t offset = arena_.store({key.data(), key.size()});
        const auto length = static_cast<std::uint32_t>(key.size());
        if (free_ != kNoSlot) {
            const SlotIndex slot = free_;
            free_ = slots_[slot].offset;
            slots_[slot].offset = offset;
            slots_[slot].length = length;
            slots_[slot].scope = key.scope;
            return slot;
        }
        if (slots_.size() >= kNoSlot) {
            arena_.release(length);
            throw std::bad_alloc();
        }
        try {
            slots_.push_back(Slot{offset, length, key.scope, Value{}});
        } catch (...) {
            arena_.release(length);
            throw;
        }
        return static_cast<SlotIndex>(slots_.size() - 1);
    }

    void give_back(SlotIndex slot) {
        Slot& s = slots_[slot];
        arena_.release(s.length);
        s.value = Value{};
        s.offset = free_;
        s.length = kFree;
        free_ = slot;
    }

    // A compaction walks every slot, so it waits until the garbage also outweighs the slots.
    bool wants_compaction() const {
        const std::size_t garbage = arena_.garbage_bytes();
        return garbage > arena_.live_bytes() && garbage >= slots_.size() * sizeof(Slot);
    }

    void compact() {
        KeyArena fresh;
        try {
            fresh.reserve(arena_.live_bytes());
        } catch (const std::bad_alloc&) {
            return;  // the garbage stays until a later erase finds memory to compact with
        }
        for_each([&](SlotIndex i) { slots_[i].offset = fresh.store(text(i)); });
        arena_ = std::move(fresh);
    }

    boost::unordered_flat_set<Entry, EntryHash, EntryEqual> set_;
    // A slot below the number of slots, or kNoSlot.
    [[no_unique_address]] mutable std::conditional_t<RemembersLast, LastSlot, NoLastSlot> last_;
    SlotBlocks<Slot> slots_;
    SlotIndex free_ = kNoSlot;
    KeyArena arena_;
};

}  // namespace vorn
