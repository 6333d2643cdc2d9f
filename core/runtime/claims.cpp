#include "core/runtime/claims.hpp"

#include <algorithm>
#include <array>
#include <new>
#include <utility>

namespace vorn {

std::string_view eligibility_text(DeliveryEligibility e) {
    static constexpr std::array<std::string_view, 7> kTexts = {
        "self", "completed", "pending", "inflight", "exhausted", "failed", "runnable"};
    return kTexts[static_cast<std::size_t>(e)];
}

ClaimRegistry::ClaimRegistry(std::uint32_t max_completed, std::uint64_t first_token)
    : max_completed_(std::max<std::uint32_t>(max_completed, 1)), next_token_(first_token) {}

void ClaimRegistry::erase_room(SlotIndex room) {
    rooms_.erase(room);
}

void ClaimRegistry::add_entry(const HashedText& room_id, const HashedText& message_id,
                              Located& at) {
    bool room_added = false;
    if (at.room == kNoSlot) std::tie(at.room, room_added) = rooms_.insert(FlatKey(room_id));
    try {
        // The caller's lookup missed the message, and nothing has added it since.
        at.message = messages_.add(FlatKey(message_id, at.room));
    } catch (...) {
        if (room_added) erase_room(at.room);
        throw;
    }
    ++rooms_[at.room].messages;
}

void ClaimRegistry::forget(SlotIndex message) {
    const SlotIndex room = messages_.scope(message);
    messages_.erase(message);
    // Rooms come and go; an emptied room must not stay behind.
    if (--rooms_[room].messages == 0) erase_room(room);
}

void ClaimRegistry::keep_idle_if_unused(const Located& at) {
    if (!messages_[at.message].holds_nothing()) return;
    if (const SlotIndex earlier = idle_.replace(at.message); earlier != kNoSlot) forget(earlier);
}

void ClaimRegistry::forget_if_unused(SlotIndex message) {
    if (!messages_[message].holds_nothing()) return;
    forget(message);
}

std::size_t ClaimRegistry::room_entries() const {
    const SlotIndex idle = idle_.slot();
    const bool idle_room_holds_nothing =
        idle != kNoSlot && rooms_[messages_.scope(idle)].messages == 1;
    return rooms_.size() - (idle_room_holds_nothing ? 1 : 0);
}

ClaimRegistry::Active* ClaimRegistry::active_of(const Located& at) {
    return const_cast<Active*>(std::as_const(*this).active_of(at));
}

ClaimRegistry::Active& ClaimRegistry::activate(const Located& at) {
    if (Active* active = active_of(at)) return *active;
    std::uint32_t record = free_active_;
    if (record == kNoRecord) {
        try {
            if (active_.size() >= kMaxActive) throw std::bad_alloc();
            active_.emplace_back();
        } catch (...) {
            keep_idle_if_unused(at);
            throw;
        }
        record = static_cast<std::uint32_t>(active_.size() - 1);
    } else {
        // A freed record is a default one but for its free link (see settle).
        free_active_ = active_[record].inflight_order.next;
        active_[record].inflight_order.next = kNoRecord;
    }
    active_[record].message = at.message;
    messages_[at.message].set_active(record);
    return active_[record];
}

void ClaimRegistry::settle(const Located& at) {
    const std::uint32_t record = messages_[at.message].active();
    if (record != kNoRecord && active_[record].holds_nothing()) {
        // Holding nothing, it is in no list either: its links are already the default ones.
        active_[record].message = kNoSlot;
        active_[record].inflight_order.next = free_active_;
        free_active_ = record;
        messages_[at.message].set_active(kNoRecord);
    }
    keep_idle_if_unused(at);
}

void ClaimRegistry::claim(const Located& at) {
    Active& active = activate(at);
    active.inflight = true;
    rooms_[at.room].inflight.push_back(messages_[at.message].active(), inflight_links());
}

bool ClaimRegistry::try_claim(const HashedText& room_id, const HashedText& message_id) {
    Located at = locate(room_id, message_id);
    obtain(room_id, message_id, at);
    if (const Active* active = active_of(at); active && active->inflight) return false;
    claim(at);
    return true;
}

void ClaimRegistry::release(const HashedText& room_id, const HashedText& message_id) {
    const Located at = locate(room_id, message_id);
    Active* active = active_of(at);
    if (!active || !active->inflight) return;
    rooms_[at.room].inflight.unlink(messages_[at.message].active(), inflight_links());
    active->inflight = false;
    settle(at);
}

std::vector<std::string_view> ClaimRegistry::inflight_ids(const HashedText& room_id) const {
    std::vector<std::string_view> out;
    const SlotIndex room = find_room(room_id);
    if (room == kNoSlot) return out;
    out.reserve(rooms_[room].inflight.size());
    for (std::uint32_t r = rooms_[room].inflight.front(); r != kNoRecord;
         r = active_[r].inflight_order.next) {
        out.push_back(messages_.text(active_[r].message));
    }
    return out;
}

void ClaimRegistry::refresh_completed(const Located& at) {
    rooms_[at.room].completed.move_to_back(at.message, completed_links());
}

bool ClaimRegistry::is_completed(const HashedText& room_id, const HashedText& message_id) {
    const Located at = locate(room_id, message_id);
    if (at.message == kNoSlot || !messages_[at.message].completed()) return false;
    refresh_completed(at);
    return true;
}

void ClaimRegistry::complete(const HashedText& room_id, const HashedText& message_id, Located& at) {
    obtain(room_id, message_id, at);
    if (messages_[at.message].completed()) {
        refresh_completed(at);
    } else {
        messages_[at.message].set_completed(true);
        rooms_[at.room].completed.push_back(at.message, completed_links());
    }
    // Most completed messages hold nothing else, and being completed, the entry stays.
    if (messages_[at.message].active() != kNoRecord) {
        drop_pending_and_retries(at);
        settle(at);
    }
    // The newest id is never the one evicted, so the room stays.
    while (rooms_[at.room].completed.size() > max_completed_) {
        const SlotIndex oldest = rooms_[at.room].completed.front();
        rooms_[at.room].completed.unlink(oldest, completed_links());
        messages_[oldest].set_completed(false);
        forget_if_unused(oldest);
    }
}

void ClaimRegistry::remember_completed(const HashedText& room_id, const HashedText& message_id) {
    Located at = locate(room_id, message_id);
    complete(room_id, message_id, at);
}

std::size_t ClaimRegistry::completed_count(const HashedText& room_id) const {
    const SlotIndex room = find_room(room_id);
    return room == kNoSlot ? 0 : rooms_[room].completed.size();
}

std::vector<std::string_view> ClaimRegistry::completed_ids(const HashedText& room_id) const {
    std::vector<std::string_view> out;
    out.reserve(completed_count(room_id));
    for_each_completed(room_id, [&](std::string_view id) { out.push_back(id); });
    return out;
}

void ClaimRegistry::discard_completed(const HashedText& room_id) {
    const SlotIndex room = find_room(room_id);
    if (room == kNoSlot) return;
    // The room itself may go with its last message, so its list is read afresh each step.
    for (SlotIndex m = rooms_[room].completed.front(); m != kNoSlot;) {
        const SlotIndex next = messages_[m].completed_order.next;
        rooms_[room].completed.unlink(m, completed_links());
        messages_[m].set_completed(false);
        forget_if_unused(m);
        m = next;
    }
}

DeliveryEligibility ClaimRegistry::decide(const HashedText& room_id, const HashedText& message_id,
                                          const RetryTracker& tracker, const DeliveryFacts& facts,
                                          Located& at) {
    if (facts.self_echo) return DeliveryEligibility::Self;
    at = locate(room_id, message_id);
    const Active* active = active_of(at);
    if (active && active->pending) return DeliveryEligibility::Pending;
    // The lookup refreshes the id even when the host already knows it is processed.
    if (at.message != kNoSlot && messages_[at.message].completed()) {
        refresh_completed(at);
        return DeliveryEligibility::Completed;
    }
    if (facts.durably_processed) return DeliveryEligibility::Completed;
    if (tracker.is_permanently_failed(message_id)) return DeliveryEligibility::Exhausted;
    if (facts.durably_failed && !facts.allow_failed_retry) return DeliveryEligibility::Failed;
    if (active && active->inflight) return DeliveryEligibility::Inflight;
    return DeliveryEligibility::Runnable;
}

DeliveryEligibility ClaimRegistry::delivery_eligibility(const HashedText& room_id,
                                                        const HashedText& message_id,
                                                        const RetryTracker& tracker,
                                                        const DeliveryFacts& facts) {
    Located at;
    return decide(room_id, message_id, tracker, facts, at);
}

DeliveryEligibility ClaimRegistry::guarded_claim(const HashedText& room_id,
                                                 const HashedText& message_id,
                                                 const RetryTracker& tracker,
                                                 const DeliveryFacts& facts) {
    Located at;
    const DeliveryEligibility answer = decide(room_id, message_id, tracker, facts, at);
    if (answer == DeliveryEligibility::Runnable) {
        obtain(room_id, message_id, at);
        claim(at);
    }
    return answer;
}

bool ClaimRegistry::is_ack_pending(const HashedText& room_id, const HashedText& message_id) const {
    return find_pending(locate(room_id, message_id)) != nullptr;
}

}  // namespace vorn
