// The one entry of a flat table that a store keeps although it holds nothing: the entry emptied
// last, kept for the call that usually follows (a host completes what it has just released, joins
// again what it has just left), which then finds it instead of adding it again. When another
// entry is emptied, it takes the place and the earlier one is erased, so at most one entry is
// held for nothing. Moves with the table it names: a moved-from holder keeps none.
#pragma once

#include <cstddef>
#include <utility>

#include "core/flat/index_list.hpp"

namespace vorn {

class IdleSlot {
  public:
    IdleSlot() = default;
    IdleSlot(const IdleSlot&) = default;
    IdleSlot& operator=(const IdleSlot&) = default;
    IdleSlot(IdleSlot&& other) noexcept : slot_(std::exchange(other.slot_, kNoSlot)) {}
    IdleSlot& operator=(IdleSlot&& other) noexcept {
        slot_ = std::exchange(other.slot_, kNoSlot);
        return *this;
    }
    ~IdleSlot() = default;

    // The idle slot, or kNoSlot.
    SlotIndex slot() const { return slot_; }
    // Entries held for nothing: 0 or 1.
    std::size_t count() const { return slot_ != kNoSlot ? 1 : 0; }

    // `slot` is about to hold something again.
    void revive(SlotIndex slot) {
        if (slot == slot_) slot_ = kNoSlot;
    }
    // Keeps `slot`, just emptied, in place of the entry kept before, which the caller must now
    // erase (kNoSlot when there is none).
    [[nodiscard]] SlotIndex replace(SlotIndex slot) {
        const SlotIndex earlier = slot_ == slot ? kNoSlot : slot_;
        slot_ = slot;
        return earlier;
    }
    void clear() { slot_ = kNoSlot; }

  private:
    SlotIndex slot_ = kNoSlot;
};

}  // namespace vorn
