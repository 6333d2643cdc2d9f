// Subscription bookkeeping for one agent session: which channel joins and leaves the host may
// start, which report answers which request (by ticket), where each room and agent topic stands,
// and which of them must be rejoined after a reconnect.
//
// Rooms (keyed by room id, one join covering both room channels) and agent topics (keyed by full
// topic name) are two families of the same shape, served by one ticket counter. A key is in at
// most one of a family's collections: pending join, established, leaving, needs reconciliation.
// Every refusal (wrong state, wrong ticket, exhausted counter) is a value and changes nothing.
//
// A family keeps one flat table entry per key that is not Absent, holding its status and ticket,
// so a status or transition is one lookup; the established keys are an order over the entries.
// The key that last became Absent keeps its entry, marked Absent, until another key does: a host
// that leaves a room often joins it again, and then finds the entry instead of adding it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/enums.hpp"
#include "core/flat/flat_table.hpp"
#include "core/flat/idle_slot.hpp"
#include "core/runtime/ticket.hpp"

namespace vorn {

using SubscriptionTicket = Ticket;

// Where a key stands; the positions match RoomStatus and AgentTopicStatus.
enum class ChannelStatus : std::uint8_t { Absent, Pending, Established, Leaving, Unreconciled };

// Where a pending join goes once its report is accepted.
enum class JoinEnd : std::uint8_t { Established, Absent, Unreconciled };

// One family's collections and transitions.
class SubscriptionFamily {
  public:
    // Keys with the ticket of the join that established them, oldest first. The views stay
    // valid until the family next changes.
    using Established = std::vector<std::pair<std::string_view, Ticket>>;

    ChannelStatus status(const HashedText& key) const;

    // From Absent, with a ticket from `tickets`, to Pending.
    std::optional<Ticket> begin_join(const HashedText& key, TicketCounter& tickets);
    // From Pending with `ticket` to `end`; false when the report is stale.
    bool finish_join(const HashedText& key, Ticket ticket, JoinEnd end);
    bool is_join_current(const HashedText& key, Ticket ticket) const;

    bool is_established(const HashedText& key) const {
        return status(key) == ChannelStatus::Established;
    }
    Established established() const;
    std::size_t established_count() const { return established_.size(); }
    // Entries stored, the idle one included, for tests of forgetting.
    std::size_t stored_entries() const { return channels_.size(); }
    // Calls f(key, ticket) for each established key, oldest first.
    template <class F>
    void for_each_established(F&& f) const {
        for (SlotIndex i = established_.front(); i != kNoSlot;
             i = channels_[i].established_order.next) {
            f(channels_.text(i), channels_[i].ticket);
        }
    }

    // From Established, with a new ticket, to Leaving.
    std::optional<Ticket> begin_leave(const HashedText& key, TicketCounter& tickets);
    // From Leaving with `ticket` to Absent (left) or Unreconciled (failed or unknown).
    bool finish_leave(const HashedText& key, Ticket ticket, LeaveOutcome outcome);

    // From Established with its join ticket to Unreconciled.
    bool mark_rejoin_failed(const HashedText& key, Ticket ticket);
    // From Unreconciled to Absent.
    bool acknowledge_reconciled(const HashedText& key);

    void clear();

  private:
    struct Channel {
        Links established_order;
        Ticket ticket = 0;
        ChannelStatus status = ChannelStatus::Absent;
    };

    // The key's slot when it stands at `status` (under `ticket`, when one is given), else kNoSlot.
    SlotIndex held(const FlatKey& key, ChannelStatus status,
                   std::optional<Ticket> ticket = std::nullopt) const;
    // Moves the key at `slot` to `end`, under `ticket`.
    void settle(SlotIndex slot, Ticket ticket, JoinEnd end);
    // Makes the key at `slot` Absent, keeping its entry as the idle one in place of the last.
    void retire(SlotIndex slot);

    FlatTable<Channel, true> channels_;  // a host steps one key through its transitions
    IndexList established_;
    IdleSlot idle_;  // the one entry marked Absent
};

class SubscriptionTracker {
  public:
    SubscriptionTracker() = default;
    explicit SubscriptionTracker(TicketCounter tickets) : tickets_(tickets) {}

    // Rooms.
    std::optional<Ticket> begin_room_subscribe(const HashedText& room_id);
    RoomSubscribeResult record_chat_room_join_failed(const HashedText& room_id, Ticket ticket);
    RoomSubscribeResult record_both_room_topics_joined(const HashedText& room_id, Ticket ticket);
    RoomSubscribeResult record_room_participants_join_failed(const HashedText& room_id,
                                                             Ticket ticket, bool chat_room_left);
    bool is_room_subscribed(const HashedText& room_id) const;
    bool is_room_claim_current(const HashedText& room_id, Ticket ticket) const;
    RoomStatus room_status(const HashedText& room_id) const;
    std::optional<Ticket> unsubscribe_room(const HashedText& room_id);
    bool mark_room_leave_complete(const HashedText& room_id, Ticket ticket, LeaveOutcome outcome);
    bool acknowledge_room_reconciled(const HashedText& room_id);
    bool mark_room_rejoin_failed(const HashedText& room_id, Ticket ticket);
    // Subscribed rooms with their join tickets, oldest subscription first: the rejoin candidates.
    SubscriptionFamily::Established subscribed_rooms() const;
    const SubscriptionFamily& rooms() const { return rooms_; }

    // Agent topics.
    std::optional<Ticket> begin_agent_topic_join(const HashedText& topic);
    // True only when the report is current and the topic joined.
    bool record_agent_topic_join(const HashedText& topic, Ticket ticket, bool joined);
    bool record_agent_topic_join_ambiguous(const HashedText& topic, Ticket ticket);
    bool is_agent_topic_joined(const HashedText& topic) const;
    bool is_agent_topic_claim_current(const HashedText& topic, Ticket ticket) const;
    AgentTopicStatus agent_topic_status(const HashedText& topic) const;
    std::optional<Ticket> leave_agent_topic(const HashedText& topic);
    bool mark_agent_topic_leave_complete(const HashedText& topic, Ticket ticket,
                                         LeaveOutcome outcome);
    bool acknowledge_agent_topic_reconciled(const HashedText& topic);
    bool mark_agent_topic_rejoin_failed(const HashedText& topic, Ticket ticket);
    // Joined topics with their join tickets, oldest first: the rejoin candidates.
    SubscriptionFamily::Established joined_agent_topics() const;
    const SubscriptionFamily& topics() const { return topics_; }

    // Session-wide. A reconnect changes nothing: answers to requests still in flight may arrive,
    // and rejoining is driven by the candidate lists.
    void on_reconnected() {}
    // Forgets every entry; the counter goes on, so every earlier ticket is stale from now on.
    void end_session();

    Ticket next_ticket() const { return tickets_.next(); }

  private:
    RoomSubscribeResult report_room_join(const HashedText& room_id, Ticket ticket, JoinEnd end,
                                         RoomSubscribeResult accepted);

    TicketCounter tickets_;
    SubscriptionFamily rooms_;
    SubscriptionFamily topics_;
};

}  // namespace vorn
