// Pending chat-mediated asks, oldest registration first, each under a token that its answer names.
// Every registration also takes a ticket from one strictly increasing counter, and every later
// operation names the registration by (token, ticket): a holder of a superseded or removed
// registration gets `Stale`/false/none and never touches a newer ask under the same token.
// The `max_pending` limit is only consulted by `evict_oldest`; the registry never evicts by itself.
// The asks are one flat table keyed by token, in registration order by index links.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/enums.hpp"
#include "core/flat/flat_table.hpp"

namespace vorn {

// What a bulk cancellation removed, each list oldest first.
struct CancelledDecisions {
    std::vector<std::string> unclaimed;  // nobody claimed these; the caller resolves them
    std::vector<std::string> claimed;    // their claimants are still responsible for them
};

// One 64-bit SplitMix64 step: advances `state` and returns the mixed output.
std::uint64_t splitmix64_next(std::uint64_t& state);

class DecisionRegistry {
  public:
    struct Registration {
        std::string token;
        std::uint64_t ticket;
    };

    // `max_pending` below 1 is raised to 1. `first_ticket` is where the ticket counter starts.
    explicit DecisionRegistry(std::uint64_t seed,
                              std::optional<std::uint32_t> max_pending = std::nullopt,
                              std::uint64_t first_ticket = 0);

    // None once the ticket counter is exhausted (next ticket 2^64 - 1); nothing changes then.
    std::optional<Registration> register_minted(std::optional<std::string_view> room_id);
    // Re-registering an unclaimed key keeps its place and stales the previous ticket; a claimed
    // key is never replaced (None).
    std::optional<Registration> register_keyed(const HashedText& key);

    ClaimOutcome try_claim(const HashedText& token, std::uint64_t ticket);
    // Removes only a current, unclaimed registration.
    bool withdraw(const HashedText& token, std::uint64_t ticket);
    // Removes a current registration, claimed or not.
    bool forget(const HashedText& token, std::uint64_t ticket);

    std::vector<std::string> unclaimed() const;
    // Calls f(token) for each unclaimed ask, oldest first.
    template <class F>
    void for_each_unclaimed(F&& f) const {
        for (SlotIndex i = order_.front(); i != kNoSlot; i = decisions_[i].order.next) {
            if (!decisions_[i].claimed) f(decisions_.text(i));
        }
    }
    std::vector<std::string> unclaimed_in_room(std::string_view room_id) const;
    std::size_t unclaimed_count() const { return decisions_.size() - claimed_count_; }
    std::optional<std::string> oldest_unclaimed() const;

    // Removes the oldest unclaimed ask when a limit exists and is reached.
    std::optional<std::string> evict_oldest();
    CancelledDecisions cancel_all();
    CancelledDecisions cancel_room(std::string_view room_id);

    std::optional<std::uint32_t> max_pending() const { return max_pending_; }
    std::size_t size() const { return decisions_.size(); }

  private:
    struct Decision {
        Links order;
        std::optional<std::string> room_id;
        std::uint64_t ticket = 0;
        bool claimed = false;
    };

    std::optional<std::uint64_t> take_ticket();
    // Appends a new unclaimed decision under the absent key.
    void add(const FlatKey& key, std::optional<std::string_view> room_id, std::uint64_t ticket);
    // The decision's slot when `ticket` is its current ticket, else kNoSlot.
    SlotIndex current(const FlatKey& key, std::uint64_t ticket) const;
    void remove(SlotIndex slot, std::uint32_t hash);
    SlotIndex oldest_unclaimed_slot() const;
    template <class Pred>
    CancelledDecisions cancel_where(Pred pred);
    auto order_links() { return links_in(decisions_, &Decision::order); }

    FlatTable<Decision> decisions_;
    IndexList order_;  // registration order
    std::size_t claimed_count_ = 0;
    std::optional<std::uint32_t> max_pending_;
    std::uint64_t state_;
    std::uint64_t next_ticket_;
};

}  // namespace vorn
