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

// Every minted and keyed token shares one namespace, so a colliding draw is skipped; the state
// keeps advancing, which keeps two registries with one seed in step.
std::string DecisionRegistry::mint_token() {
    for (;;) {
        std::string token = low_word_hex(splitmix64_next(state_));
        if (!decisions_.contains(token)) return token;
    }
}

std::optional<DecisionRegistry::Registration> DecisionRegistry::register_minted(
    std::optional<std::string_view> room_id) {
    const auto ticket = take_ticket();
    if (!ticket) return std::nullopt;
    std::string token = mint_token();
    Decision decision{room_id ? std::optional<std::string>(*room_id) : std::nullopt, *ticket};
    decisions_.try_emplace(token, std::move(decision));
    return Registration{std::move(token), *ticket};
}

std::optional<DecisionRegistry::Registration> DecisionRegistry::register_keyed(
    std::string_view key) {
    const auto existing = decisions_.find(key);
    if (existing != decisions_.end() && existing->second.claimed) return std::nullopt;
    const auto ticket = take_ticket();
    if (!ticket) return std::nullopt;
    if (existing != decisions_.end()) {
        existing->second = Decision{std::nullopt, *ticket};
    } else {
        decisions_.try_emplace(key, Decision{std::nullopt, *ticket});
    }
    return Registration{std::string(key), *ticket};
}

DecisionRegistry::Decision* DecisionRegistry::current(std::string_view token,
                                                      std::uint64_t ticket) {
    const auto it = decisions_.find(token);
    if (it == decisions_.end() || it->second.ticket != ticket) return nullptr;
    return &it->second;
}

void DecisionRegistry::remove(Map::iterator it) {
    if (it->second.claimed) --claimed_count_;
    decisions_.erase(it);
}

ClaimOutcome DecisionRegistry::try_claim(std::string_view token, std::uint64_t ticket) {
    Decision* decision = current(token, ticket);
    if (!decision) return ClaimOutcome::Stale;
    if (decision->claimed) return ClaimOutcome::AlreadyClaimed;
    decision->claimed = true;
    ++claimed_count_;
    return ClaimOutcome::Claimed;
}

bool DecisionRegistry::withdraw(std::string_view token, std::uint64_t ticket) {
    const auto it = decisions_.find(token);
    if (it == decisions_.end() || it->second.ticket != ticket || it->second.claimed) return false;
    remove(it);
    return true;
}

bool DecisionRegistry::forget(std::string_view token, std::uint64_t ticket) {
    const auto it = decisions_.find(token);
    if (it == decisions_.end() || it->second.ticket != ticket) return false;
    remove(it);
    return true;
}

std::vector<std::string> DecisionRegistry::unclaimed() const {
    std::vector<std::string> tokens;
    tokens.reserve(unclaimed_count());
    for (const auto& [token, decision] : decisions_) {
        if (!decision.claimed) tokens.push_back(token);
    }
    return tokens;
}

std::vector<std::string> DecisionRegistry::unclaimed_in_room(std::string_view room_id) const {
    std::vector<std::string> tokens;
    for (const auto& [token, decision] : decisions_) {
        if (!decision.claimed && decision.room_id == room_id) tokens.push_back(token);
    }
    return tokens;
}

std::optional<std::string> DecisionRegistry::oldest_unclaimed() const {
    if (unclaimed_count() == 0) return std::nullopt;
    for (const auto& [token, decision] : decisions_) {
        if (!decision.claimed) return token;
    }
    return std::nullopt;
}

std::optional<std::string> DecisionRegistry::evict_oldest() {
    if (!max_pending_ || decisions_.size() < *max_pending_ || unclaimed_count() == 0) {
        return std::nullopt;
    }
    for (auto it = decisions_.begin(); it != decisions_.end(); ++it) {
        if (it->second.claimed) continue;
        std::string token = it->first;
        remove(it);
        return token;
    }
    return std::nullopt;
}

template <class Pred>
CancelledDecisions DecisionRegistry::cancel_where(Pred pred) {
    CancelledDecisions cancelled;
    for (auto it = decisions_.begin(); it != decisions_.end();) {
        if (!pred(it->second)) {
            ++it;
            continue;
        }
        (it->second.claimed ? cancelled.claimed : cancelled.unclaimed).push_back(it->first);
        if (it->second.claimed) --claimed_count_;
        it = decisions_.erase(it);
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
