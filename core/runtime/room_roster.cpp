#include "core/runtime/room_roster.hpp"

#include <algorithm>
#include <unordered_set>

namespace vorn {

namespace {

// std::string's ordering compares characters as unsigned bytes, which is the order room ids use.
void sort_by_bytes(std::vector<std::string>& ids) {
    std::sort(ids.begin(), ids.end());
}

}  // namespace

std::optional<AdmissionTicket> RoomRoster::take_ticket() {
    if (next_ticket_ == kExhausted) return std::nullopt;
    return next_ticket_++;
}

SlotIndex RoomRoster::admitting(const FlatKey& key, AdmissionTicket ticket) const {
    const SlotIndex slot = rooms_.find(key);
    if (slot == kNoSlot || rooms_[slot].admitted || rooms_[slot].ticket != ticket) return kNoSlot;
    return slot;
}

RoomMembership RoomRoster::room_membership(const HashedText& room_id) const {
    const SlotIndex slot = rooms_.find(FlatKey(room_id));
    if (slot == kNoSlot) return RoomMembership::Unadmitted;
    return rooms_[slot].admitted ? RoomMembership::Admitted : RoomMembership::Admitting;
}

std::optional<AdmissionTicket> RoomRoster::begin_room_admission(const HashedText& room_id,
                                                                bool passes_filter) {
    const FlatKey key(room_id);
    if (!passes_filter || next_ticket_ == kExhausted || rooms_.find(key) != kNoSlot) {
        return std::nullopt;
    }
    const SlotIndex slot = rooms_.insert(key).first;
    rooms_[slot].ticket = *take_ticket();
    return rooms_[slot].ticket;
}

bool RoomRoster::record_room_admission(const HashedText& room_id, AdmissionTicket ticket,
                                       bool succeeded) {
    const FlatKey key(room_id);
    const SlotIndex slot = admitting(key, ticket);
    if (slot == kNoSlot) return false;
    if (!succeeded) {
        rooms_.erase(slot, key.hash());
        return false;
    }
    rooms_[slot].admitted = true;
    admitted_.push_back(slot, admitted_links());
    return true;
}

bool RoomRoster::is_room_admission_current(const HashedText& room_id,
                                           AdmissionTicket ticket) const {
    return admitting(FlatKey(room_id), ticket) != kNoSlot;
}

bool RoomRoster::record_room_removed(const HashedText& room_id) {
    const FlatKey key(room_id);
    const SlotIndex slot = rooms_.find(key);
    if (slot == kNoSlot) return false;
    const bool was_admitted = rooms_[slot].admitted;
    if (was_admitted) admitted_.unlink(slot, admitted_links());
    rooms_.erase(slot, key.hash());
    return was_admitted;
}

std::vector<std::string> RoomRoster::tracked_room_ids() const {
    std::vector<std::string> ids;
    ids.reserve(admitted_.size());
    for (SlotIndex i = admitted_.front(); i != kNoSlot; i = rooms_[i].admitted_order.next) {
        ids.emplace_back(rooms_.text(i));
    }
    return ids;
}

RoomReconciliation RoomRoster::reconcile(std::span<const std::string> current_room_ids) {
    const std::unordered_set<std::string_view> snapshot(current_room_ids.begin(),
                                                        current_room_ids.end());
    RoomReconciliation out;
    for (std::string& id : tracked_room_ids()) {
        (snapshot.contains(id) ? out.resync : out.removed).push_back(std::move(id));
    }
    sort_by_bytes(out.removed);
    sort_by_bytes(out.resync);

    std::vector<std::string> fresh;
    for (std::string_view id : snapshot) {
        if (rooms_.find(FlatKey(id)) == kNoSlot) fresh.emplace_back(id);
    }
    sort_by_bytes(fresh);

    for (const std::string& id : out.removed) record_room_removed(id);
    for (std::string& id : fresh) {
        const auto ticket = begin_room_admission(id, true);
        if (!ticket) break;  // the rooms left over stay out of the roster
        out.admitting.emplace_back(std::move(id), *ticket);
    }
    return out;
}

std::vector<std::string> RoomRoster::clear() {
    std::vector<std::string> ids;
    ids.reserve(rooms_.size());
    rooms_.for_each([&](SlotIndex i) { ids.emplace_back(rooms_.text(i)); });
    sort_by_bytes(ids);
    rooms_.clear();
    admitted_.clear();
    return ids;
}

}  // namespace vorn
