// Per-message retry budgets, keyed by message id alone. `record_attempt` counts runs of the agent
// on one message and reports the attempt that exceeds the message's budget; such a message (and
// any marked directly) joins the permanently failed ids, which the claim registry refuses. Both
// stores are bounded by `max_tracked`: inserting a new id evicts the oldest ids until the bound
// holds again, while updating an id never moves or evicts anything. Counts saturate at the u32
// maximum. `attempt_state` and `restore_attempt` serve settlement confirmation only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ordered.hpp"

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
    AttemptOutcome record_attempt(std::string_view message_id);
    // Forgets the attempt state; a permanent failure stays.
    void mark_success(std::string_view message_id);
    // Takes back one attempt; taking back the only one forgets the state. Failures stay.
    void discard_attempt(std::string_view message_id);
    bool is_permanently_failed(std::string_view message_id) const;
    void mark_permanently_failed(std::string_view message_id);

    // The id's state, or 0 attempts under the tracker's budget when it has none.
    AttemptState attempt_state(std::string_view message_id) const;
    // Merges a state saved with a retry settlement: the higher count, the lower budget. Marks the
    // id failed when no budget is left.
    void restore_attempt(std::string_view message_id, std::uint32_t attempts,
                         std::uint32_t max_retries);

  private:
    template <class Store, class... Value>
    void insert_bounded(Store& store, std::string_view message_id, Value&&... value);

    std::uint32_t max_retries_;
    std::uint32_t max_tracked_;
    OrderedMap<std::string, AttemptState> attempts_;
    OrderedSet<std::string> failed_;
};

}  // namespace vorn
