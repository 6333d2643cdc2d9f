// Per-message retry budgets, keyed by message id alone. `record_attempt` counts runs of the agent
// on one message and reports the attempt that exceeds the message's budget; such a message (and
// any marked directly) joins the permanently failed ids, which the claim registry refuses. Both
// stores are bounded by `max_tracked`: inserting a new id evicts the oldest ids until the bound
// holds again, while updating an id never moves or evicts anything. Counts saturate at the u32
// maximum. `attempt_state` and `restore_attempt` serve settlement confirmation only.
//
// Both stores share one flat table, one entry per id holding its attempt state and its failure
// mark, each store an order over the entries that have its fact; an entry goes when both are gone,
// but for the one whose state a success or a discard took last: it stays until the next one goes
// that way, since a host records the next attempt on a message it has just finished with.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/flat/flat_table.hpp"
#include "core/flat/idle_slot.hpp"

namespace vorn {

struct AttemptState {
    std::uint32_t attempts;
    std::uint32_t max_retries;  // this message's budget

    friend bool operator==(const AttemptState&, const AttemptState&) = default;
};

struct AttemptOutcome {
    std::uint32_t attempts;
    bool exhausted;

    friend bool operator==(const AttemptOutcome&, const AttemptOutcome&) = default;
};

class RetryTracker {
  public:
    static constexpr std::uint32_t kDefaultMaxRetries = 1;
    static constexpr std::uint32_t kDefaultMaxTracked = 10000;

    // A bound below 1 is taken as 1: a store must keep the id it has just inserted.
    explicit RetryTracker(std::uint32_t max_retries = kDefaultMaxRetries,
                          std::uint32_t max_tracked = kDefaultMaxTracked);

    std::uint32_t max_retries() const { return max_retries_; }
    std::uint32_t max_tracked() const { return max_tracked_; }

    // Attempt number budget + 1 (and every later one) is exhausted and marks the id failed.
    AttemptOutcome record_attempt(const HashedText& message_id);
    // Forgets the attempt state; a permanent failure stays.
    void mark_success(const HashedText& message_id);
    // Takes back one attempt; taking back the only one forgets the state. Failures stay.
    void discard_attempt(const HashedText& message_id);
    bool is_permanently_failed(const HashedText& message_id) const;
    void mark_permanently_failed(const HashedText& message_id);

    // The id's state, or 0 attempts under the tracker's budget when it has none.
    AttemptState attempt_state(const HashedText& message_id) const;
    // Merges a state saved with a retry settlement: the higher count, the lower budget. Marks the
    // id failed when no budget is left.
    void restore_attempt(const HashedText& message_id, std::uint32_t attempts,
                         std::uint32_t max_retries);

    // Ids held, with an attempt state or a failure mark or both (never above 2 * max_tracked);
    // the idle entry is not counted.
    std::size_t tracked_ids() const { return ids_.size() - idle_.count(); }
    // Entries stored, the idle one included, for tests of forgetting.
    std::size_t stored_ids() const { return ids_.size(); }

  private:
    struct Tracked {
        Links attempt_order;
        Links failed_order;
        AttemptState state{0, 0};
        bool has_state = false;
        bool failed = false;
    };

    auto attempt_links() { return links_in(ids_, &Tracked::attempt_order); }
    auto failed_links() { return links_in(ids_, &Tracked::failed_order); }

    // The id's entry, found or added, taken out of idling.
    SlotIndex obtain(const HashedText& message_id);
    // Gives the id's entry a fresh state (newest) or the failure mark, then trims that store.
    void start_state(SlotIndex slot, AttemptState state);
    void mark_failed(SlotIndex slot);
    // Takes its fact from the oldest ids of `store` until it holds max_tracked ids.
    void trim(IndexList& store, Links Tracked::*order, bool Tracked::*fact);
    // Takes the state away; an entry left with no fact becomes the idle one, in place of the last.
    void drop_state(SlotIndex slot);

    std::uint32_t max_retries_;
    std::uint32_t max_tracked_;
    FlatTable<Tracked, true> ids_;  // a host asks about one message several times in a row
    IdleSlot idle_;                 // an entry holding neither fact
    IndexList attempts_;            // ids with an attempt state, oldest first
    IndexList failed_;              // permanently failed ids, oldest first
};

}  // namespace vorn
