// Room admission for one agent session: which rooms are admitted (in admission order), which are
// being admitted under a ticket, and reconciliation against the platform's authoritative list
// after a reconnect. Tickets come from one counter and are never reused, so a report carrying an
// old ticket is recognised as stale and changes nothing. Nothing here fails: refusals are values.
// One flat table entry per room held, admitting (with its ticket) or admitted; the admitted rooms
// are an order over the entries.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/enums.hpp"
#include "core/flat/flat_table.hpp"

namespace vorn {

using AdmissionTicket = std::uint64_t;

// The outcome of one reconcile; `removed` and `admitting` are already applied. Each list is sorted
// by room id in ascending byte order.
struct RoomReconciliation {
    std::vector<std::string> removed;
    std::vector<std::pair<std::string, AdmissionTicket>> admitting;
    std::vector<std::string> resync;
};

class RoomRoster {
  public:
    // The counter's last value is never handed out: once it is reached, no admission can begin.
    static constexpr AdmissionTicket kExhausted = std::numeric_limits<AdmissionTicket>::max();

    RoomRoster() = default;
    // A roster whose counter starts further on, as one that has already handed out that many.
    explicit RoomRoster(AdmissionTicket next_ticket) : next_ticket_(next_ticket) {}

    RoomMembership room_membership(const HashedText& room_id) const;
    // A fresh ticket, or nothing when the filter refused the room, the room is already admitting
    // or admitted, or the counter is exhausted.
    std::optional<AdmissionTicket> begin_room_admission(const HashedText& room_id,
                                                        bool passes_filter);
    // True only when the current admission of the room succeeded; a stale ticket changes nothing.
    bool record_room_admission(const HashedText& room_id, AdmissionTicket ticket, bool succeeded);
    bool is_room_admission_current(const HashedText& room_id, AdmissionTicket ticket) const;
    // Forgets the room, dropping any admission in progress; true if it was admitted.
    bool record_room_removed(const HashedText& room_id);
    std::vector<std::string> tracked_room_ids() const;  // admission order
    RoomReconciliation reconcile(std::span<const std::string> current_room_ids);
    // Every room held (admitted and admitting), sorted; the counter keeps going.
    std::vector<std::string> clear();

  private:
    struct Room {
        Links admitted_order;
        AdmissionTicket ticket = 0;  // of the admission in progress
        bool admitted = false;
    };

    std::optional<AdmissionTicket> take_ticket();
    // The room's slot when it is admitting under `ticket`, else kNoSlot.
    SlotIndex admitting(const FlatKey& key, AdmissionTicket ticket) const;
    auto admitted_links() { return links_in(rooms_, &Room::admitted_order); }

    FlatTable<Room> rooms_;
    IndexList admitted_;  // admission order
    AdmissionTicket next_ticket_ = 0;
};

}  // namespace vorn
