#include "core/runtime/decisions.hpp"

#include <algorithm>
#include <limits>

namespace vorn {

namespace {

constexpr std::uint64_t kExhaustedTicket = std::numeric_limits<std::uint64_t>::max();

std::string low_word_hex(std::uint64_t z) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(8, '0');
    auto word = static_cast<std::uint32_t>(z);
    for (std::size_t i = 8; i-- > 0; word >>= 4) out[i] = kDigits[word & 0xF];
    return out;
}

}  // namespace

std::uint64_t splitmix64_next(std::uint64_t& state) {
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

DecisionRegistry::DecisionRegistry(std::uint64_t seed, std::optional<std::uint32_t> max_pending,
                                   std::uint64_t first_ticket)
    : state_(seed), next_ticket_(first_ticket) {
    if (max_pending) max_pending_ = std::max<std::uint32_t>(*max_pending, 1);
}

std::optional<std::uint64_t> DecisionRegistry::take_ticket() {
    if (next_ticket_ == kExhaustedTicket) return std::nullopt;
    return next_ticket_++;
}

void DecisionRegistry::add(const FlatKey& key, std::optional<std::string_view> room_id,
                           std::uint64_t ticket) {
    const SlotIndex slot = decisions_.insert(key).first;
    Decision& d = decisions_[slot];
    d.ticket = ticket;
    try {
        if (room_id) d.room_id.emplace(*room_id);
    } catch (...) {
        decisions_.erase(slot, key.hash());
        throw;
    }
    order_.push_back(slot, order_links());
}

std::optional<DecisionRegistry::Registration> DecisionRegistry::register_minted(
    std::optional<std::string_view> room_id) {
    const auto ticket = take_ticket();
    if (!ticket) return std::nullopt;
    // Every minted and keyed token shares one namespace, so a colliding draw is skipped; the
    // state keeps advancing, which keeps two registries with one seed in step.
    for (;;) {
        std::string token = low_word_hex(splitmix64_next(state_));
        const HashedText text(token);
        const FlatKey key(text);
        if (decisions_.find(key) != kNoSlot) continue;
        add(key, room_id, *ticket);
        return Registration{std::move(token), *ticket};
    }
}

std::optional<DecisionRegistry::Registration> DecisionRegistry::register_keyed(
    const HashedText& key) {
    const FlatKey k(key);
    const SlotIndex existing = decisions_.find(k);
    if (existing != kNoSlot && decisions_[existing].claimed) return std::nullopt;
    const auto ticket = take_ticket();
    if (!ticket) return std::nullopt;
    if (existing != kNoSlot) {
        decisions_[existing].room_id.reset();
        decisions_[existing].ticket = *ticket;
    } else {
        add(k, std::nullopt, *ticket);
    }
    return Registration{std::string(key.text), *ticket};
}

SlotIndex DecisionRegistry::current(const FlatKey& key, std::uint64_t ticket) const {
    const SlotIndex slot = decisions_.find(key);
    return slot != kNoSlot && decisions_[slot].ticket == ticket ? slot : kNoSlot;
}

void DecisionRegistry::remove(SlotIndex slot, std::uint32_t hash) {
    if (decisions_[slot].claimed) --claimed_count_;
    order_.unlink(slot, order_links());
    decisions_.erase(slot, hash);
}

ClaimOutcome DecisionRegistry::try_claim(const HashedText& token, std::uint64_t ticket) {
    const SlotIndex slot = current(FlatKey(token), ticket);
    if (slot == kNoSlot) return ClaimOutcome::Stale;
    if (decisions_[slot].claimed) return ClaimOutcome::AlreadyClaimed;
    decisions_[slot].claimed = true;
    ++claimed_count_;
    return ClaimOutcome::Claimed;
}

bool DecisionRegistry::withdraw(const HashedText& token, std::uint64_t ticket) {
    const FlatKey key(token);
    const SlotIndex slot = current(key, ticket);
    if (slot == kNoSlot || decisions_[slot].claimed) return false;
    remove(slot, key.hash());
    return true;
}

bool DecisionRegistry::forget(const HashedText& token, std::uint64_t ticket) {
    const FlatKey key(token);
    const SlotIndex slot = current(key, ticket);
    if (slot == kNoSlot) return false;
    remove(slot, key.hash());
    return true;
}

std::vector<std::string> DecisionRegistry::unclaimed() const {
    std::vector<std::string> tokens;
    tokens.reserve(unclaimed_count());
    for_each_unclaimed([&](std::string_view token) { tokens.emplace_back(token); });
    return tokens;
}

std::vector<std::string> DecisionRegistry::unclaimed_in_room(std::string_view room_id) const {
    std::vector<std::string> tokens;
    for (SlotIndex i = order_.front(); i != kNoSlot; i = decisions_[i].order.next) {
        const Decision& d = decisions_[i];
        if (!d.claimed && d.room_id == room_id) tokens.emplace_back(decisions_.text(i));
    }
    return tokens;
}

SlotIndex DecisionRegistry::oldest_unclaimed_slot() const {
    if (unclaimed_count() == 0) return kNoSlot;
    SlotIndex i = order_.front();
    while (i != kNoSlot && decisions_[i].claimed) i = decisions_[i].order.next;
    return i;
}

std::optional<std::string> DecisionRegistry::oldest_unclaimed() const {
    const SlotIndex slot = oldest_unclaimed_slot();
    if (slot == kNoSlot) return std::nullopt;
    return std::string(decisions_.text(slot));
}

std::optional<std::string> DecisionRegistry::evict_oldest() {
    if (!max_pending_ || decisions_.size() < *max_pending_) return std::nullopt;
    const SlotIndex slot = oldest_unclaimed_slot();
    if (slot == kNoSlot) return std::nullopt;
    std::string token(decisions_.text(slot));
    remove(slot, FlatKey::hash_of(token));
    return token;
}

template <class Pred>
CancelledDecisions DecisionRegistry::cancel_where(Pred pred) {
    CancelledDecisions cancelled;
    for (SlotIndex i = order_.front(); i != kNoSlot;) {
        const SlotIndex next = decisions_[i].order.next;
        if (pred(decisions_[i])) {
            auto& list = decisions_[i].claimed ? cancelled.claimed : cancelled.unclaimed;
            list.emplace_back(decisions_.text(i));
            remove(i, FlatKey::hash_of(list.back()));
        }
        i = next;
    }
    return cancelled;
}

CancelledDecisions DecisionRegistry::cancel_all() {
    return cancel_where([](const Decision&) { return true; });
}

CancelledDecisions DecisionRegistry::cancel_room(std::string_view room_id) {
    return cancel_where([&](const Decision& d) { return d.room_id == room_id; });
}

}  // namespace vorn
