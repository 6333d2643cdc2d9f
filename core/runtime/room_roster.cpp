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

RoomMembership RoomRoster::room_membership(std::string_view room_id) const {
    if (admitting_.contains(room_id)) return RoomMembership::Admitting;
    if (admitted_.contains(room_id)) return RoomMembership::Admitted;
    return RoomMembership::Unadmitted;
}

std::optional<AdmissionTicket> RoomRoster::begin_room_admission(std::string_view room_id,
                                                                bool passes_filter) {
    if (!passes_filter || admitting_.contains(room_id) || admitted_.contains(room_id)) {
        return std::nullopt;
    }
    const auto ticket = take_ticket();
    if (ticket) admitting_.try_emplace(room_id, *ticket);
    return ticket;
}

bool RoomRoster::record_room_admission(std::string_view room_id, AdmissionTicket ticket,
                                       bool succeeded) {
    const auto it = admitting_.find(room_id);
    if (it == admitting_.end() || it->second != ticket) return false;
    // Out of the admitting map before into the admitted set: never in both.
    admitting_.erase(it);
    if (succeeded) admitted_.insert(room_id);
    return succeeded;
}

bool RoomRoster::is_room_admission_current(std::string_view room_id, AdmissionTicket ticket) const {
    const auto it = admitting_.find(room_id);
    return it != admitting_.end() && it->second == ticket;
}

bool RoomRoster::record_room_removed(std::string_view room_id) {
    admitting_.erase(room_id);
    return admitted_.erase(room_id);
}

std::vector<std::string> RoomRoster::tracked_room_ids() const {
    return {admitted_.begin(), admitted_.end()};
}

RoomReconciliation RoomRoster::reconcile(std::span<const std::string> current_room_ids) {
    const std::unordered_set<std::string_view> snapshot(current_room_ids.begin(),
                                                        current_room_ids.end());
    RoomReconciliation out;
    for (const std::string& id : admitted_) {
        (snapshot.contains(id) ? out.resync : out.removed).push_back(id);
    }
    sort_by_bytes(out.removed);
    sort_by_bytes(out.resync);

    std::vector<std::string> fresh;
    for (std::string_view id : snapshot) {
        if (!admitting_.contains(id) && !admitted_.contains(id)) fresh.emplace_back(id);
    }
    sort_by_bytes(fresh);

    for (const std::string& id : out.removed) admitted_.erase(id);
    for (std::string& id : fresh) {
        const auto ticket = take_ticket();
        if (!ticket) break;  // the rooms left over stay out of the roster
        admitting_.try_emplace(id, *ticket);
        out.admitting.emplace_back(std::move(id), *ticket);
    }
    return out;
}

std::vector<std::string> RoomRoster::clear() {
    std::vector<std::string> ids(admitted_.begin(), admitted_.end());
    for (const auto& [id, ticket] : admitting_) ids.push_back(id);
    sort_by_bytes(ids);
    admitted_.clear();
    admitting_.clear();
    return ids;
}

}  // namespace vorn
