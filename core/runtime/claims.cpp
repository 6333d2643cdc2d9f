#include "core/runtime/claims.hpp"

#include <algorithm>
#include <array>

namespace vorn {

namespace {

std::vector<std::string_view> ids_of(const OrderedSet<std::string>* ids) {
    std::vector<std::string_view> out;
    if (!ids) return out;
    out.reserve(ids->size());
    for (const std::string& id : *ids) out.emplace_back(id);
    return out;
}

template <class Rooms>
auto* room_ids(Rooms& rooms, std::string_view room_id) {
    const auto it = rooms.find(room_id);
    return it == rooms.end() ? nullptr : &it->second;
}

}  // namespace

std::string_view eligibility_text(DeliveryEligibility e) {
    static constexpr std::array<std::string_view, 7> kTexts = {
        "self", "completed", "pending", "inflight", "exhausted", "failed", "runnable"};
    return kTexts[static_cast<std::size_t>(e)];
}

ClaimRegistry::ClaimRegistry(std::uint32_t max_completed, std::uint64_t first_token)
    : max_completed_(std::max<std::uint32_t>(max_completed, 1)), next_token_(first_token) {}

bool ClaimRegistry::try_claim(std::string_view room_id, std::string_view message_id) {
    return inflight_.try_emplace(room_id).first->second.insert(message_id).second;
}

void ClaimRegistry::release(std::string_view room_id, std::string_view message_id) {
    auto* ids = room_ids(inflight_, room_id);
    if (!ids || !ids->erase(message_id)) return;
    // Rooms come and go; an emptied room must not stay behind.
    if (ids->empty()) inflight_.erase(room_id);
}

std::vector<std::string_view> ClaimRegistry::inflight_ids(std::string_view room_id) const {
    return ids_of(room_ids(inflight_, room_id));
}

bool ClaimRegistry::is_completed(std::string_view room_id, std::string_view message_id) {
    auto* ids = room_ids(completed_, room_id);
    return ids && ids->move_to_newest(message_id) != ids->end();
}

void ClaimRegistry::remember_completed(std::string_view room_id, std::string_view message_id) {
    auto& ids = completed_.try_emplace(room_id).first->second;
    if (!ids.insert(message_id).second) ids.move_to_newest(message_id);
    while (ids.size() > max_completed_) ids.pop_oldest();
    const KeyView key{room_id, message_id};
    pending_.erase(key);
    ack_retries_.erase(key);
}

std::vector<std::string_view> ClaimRegistry::completed_ids(std::string_view room_id) const {
    return ids_of(room_ids(completed_, room_id));
}

void ClaimRegistry::discard_completed(std::string_view room_id) {
    completed_.erase(room_id);
}

DeliveryEligibility ClaimRegistry::delivery_eligibility(std::string_view room_id,
                                                        std::string_view message_id,
                                                        const RetryTracker& tracker,
                                                        const DeliveryFacts& facts) {
    if (facts.self_echo) return DeliveryEligibility::Self;
    if (pending_.contains(KeyView{room_id, message_id})) return DeliveryEligibility::Pending;
    // The lookup refreshes the id even when the host already knows it is processed.
    const bool completed = is_completed(room_id, message_id);
    if (completed || facts.durably_processed) return DeliveryEligibility::Completed;
    if (tracker.is_permanently_failed(message_id)) return DeliveryEligibility::Exhausted;
    if (facts.durably_failed && !facts.allow_failed_retry) return DeliveryEligibility::Failed;
    const auto* ids = room_ids(inflight_, room_id);
    if (ids && ids->contains(message_id)) return DeliveryEligibility::Inflight;
    return DeliveryEligibility::Runnable;
}

DeliveryEligibility ClaimRegistry::guarded_claim(std::string_view room_id,
                                                 std::string_view message_id,
                                                 const RetryTracker& tracker,
                                                 const DeliveryFacts& facts) {
    const DeliveryEligibility answer = delivery_eligibility(room_id, message_id, tracker, facts);
    if (answer == DeliveryEligibility::Runnable) try_claim(room_id, message_id);
    return answer;
}

bool ClaimRegistry::is_ack_pending(std::string_view room_id, std::string_view message_id) const {
    return pending_.contains(KeyView{room_id, message_id});
}

}  // namespace vorn
