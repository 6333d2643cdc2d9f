// Subscription bookkeeping for one agent session: which channel joins and leaves the host may
// start, which report answers which request (by ticket), where each room and agent topic stands,
// and which of them must be rejoined after a reconnect.
//
// Rooms (keyed by room id, one join covering both room channels) and agent topics (keyed by full
// topic name) are two families of the same shape, served by one ticket counter. A key is in at
// most one of a family's collections: pending join, established, leaving, needs reconciliation.
// Every refusal (wrong state, wrong ticket, exhausted counter) is a value and changes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/enums.hpp"
#include "core/ordered.hpp"
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
    // Key to the ticket of the join that established it, oldest first.
    using Established = OrderedMap<std::string, Ticket>;

    ChannelStatus status(std::string_view key) const;

    // From Absent, with a ticket from `tickets`, to Pending.
    std::optional<Ticket> begin_join(std::string_view key, TicketCounter& tickets);
    // From Pending with `ticket` to `end`; false when the report is stale.
    bool finish_join(std::string_view key, Ticket ticket, JoinEnd end);
    bool is_join_current(std::string_view key, Ticket ticket) const;

    bool is_established(std::string_view key) const { return established_.contains(key); }
    const Established& established() const { return established_; }

    // From Established, with a new ticket, to Leaving.
    std::optional<Ticket> begin_leave(std::string_view key, TicketCounter& tickets);
    // From Leaving with `ticket` to Absent (left) or Unreconciled (failed or unknown).
    bool finish_leave(std::string_view key, Ticket ticket, LeaveOutcome outcome);

    // From Established with its join ticket to Unreconciled.
    bool mark_rejoin_failed(std::string_view key, Ticket ticket);
    // From Unreconciled to Absent.
    bool acknowledge_reconciled(std::string_view key) { return unreconciled_.erase(key); }

    void clear();

  private:
    using Tickets = OrderedMap<std::string, Ticket>;

    // Moves `key` out of `from` (at `it`) into the collection of `end`. The target is filled
    // first, so a failed allocation leaves the key where it was.
    void settle(Tickets& from, Tickets::iterator it, std::string_view key, Ticket ticket,
                JoinEnd end);

    Tickets pending_;
    Established established_;
    Tickets leaving_;
    OrderedSet<std::string> unreconciled_;
};

class SubscriptionTracker {
  public:
    SubscriptionTracker() = default;
    explicit SubscriptionTracker(TicketCounter tickets) : tickets_(tickets) {}

    // Rooms.
    std::optional<Ticket> begin_room_subscribe(std::string_view room_id);
    RoomSubscribeResult record_chat_room_join_failed(std::string_view room_id, Ticket ticket);
    RoomSubscribeResult record_both_room_topics_joined(std::string_view room_id, Ticket ticket);
    RoomSubscribeResult record_room_participants_join_failed(std::string_view room_id,
                                                             Ticket ticket, bool chat_room_left);
    bool is_room_subscribed(std::string_view room_id) const;
    bool is_room_claim_current(std::string_view room_id, Ticket ticket) const;
    RoomStatus room_status(std::string_view room_id) const;
    std::optional<Ticket> unsubscribe_room(std::string_view room_id);
    bool mark_room_leave_complete(std::string_view room_id, Ticket ticket, LeaveOutcome outcome);
    bool acknowledge_room_reconciled(std::string_view room_id);
    bool mark_room_rejoin_failed(std::string_view room_id, Ticket ticket);
    // Subscribed rooms with their join tickets, oldest subscription first: the rejoin candidates.
    const SubscriptionFamily::Established& subscribed_rooms() const;

    // Agent topics.
    std::optional<Ticket> begin_agent_topic_join(std::string_view topic);
    // True only when the report is current and the topic joined.
    bool record_agent_topic_join(std::string_view topic, Ticket ticket, bool joined);
    bool record_agent_topic_join_ambiguous(std::string_view topic, Ticket ticket);
    bool is_agent_topic_joined(std::string_view topic) const;
    bool is_agent_topic_claim_current(std::string_view topic, Ticket ticket) const;
    AgentTopicStatus agent_topic_status(std::string_view topic) const;
    std::optional<Ticket> leave_agent_topic(std::string_view topic);
    bool mark_agent_topic_leave_complete(std::string_view topic, Ticket ticket,
                                         LeaveOutcome outcome);
    bool acknowledge_agent_topic_reconciled(std::string_view topic);
    bool mark_agent_topic_rejoin_failed(std::string_view topic, Ticket ticket);
    // Joined topics with their join tickets, oldest first: the rejoin candidates.
    const SubscriptionFamily::Established& joined_agent_topics() const;

    // Session-wide. A reconnect changes nothing: answers to requests still in flight may arrive,
    // and rejoining is driven by the candidate lists.
    void on_reconnected() {}
    // Forgets every entry; the counter goes on, so every earlier ticket is stale from now on.
    void end_session();

    Ticket next_ticket() const { return tickets_.next(); }

  private:
    RoomSubscribeResult report_room_join(std::string_view room_id, Ticket ticket, JoinEnd end,
                                         RoomSubscribeResult accepted);

    TicketCounter tickets_;
    SubscriptionFamily rooms_;
    SubscriptionFamily topics_;
};

}  // namespace vorn
