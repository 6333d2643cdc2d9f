#include "core/runtime/subscription.hpp"

namespace vorn {

namespace {

// The status enumerations of both families follow ChannelStatus position for position.
template <class Status>
constexpr Status as_status(ChannelStatus s) {
    static_assert(enum_members<Status>().size() == 5);
    static_assert(static_cast<int>(Status::Pending) == static_cast<int>(ChannelStatus::Pending));
    static_assert(static_cast<int>(Status::Leaving) == static_cast<int>(ChannelStatus::Leaving));
    static_assert(static_cast<int>(Status::NeedsReconciliation) ==
                  static_cast<int>(ChannelStatus::Unreconciled));
    return static_cast<Status>(s);
}

}  // namespace

ChannelStatus SubscriptionFamily::status(std::string_view key) const {
    if (pending_.contains(key)) return ChannelStatus::Pending;
    if (established_.contains(key)) return ChannelStatus::Established;
    if (leaving_.contains(key)) return ChannelStatus::Leaving;
    if (unreconciled_.contains(key)) return ChannelStatus::Unreconciled;
    return ChannelStatus::Absent;
}

std::optional<Ticket> SubscriptionFamily::begin_join(std::string_view key, TicketCounter& tickets) {
    if (status(key) != ChannelStatus::Absent) return std::nullopt;
    const std::optional<Ticket> ticket = tickets.take();
    if (ticket) pending_.try_emplace(key, *ticket);
    return ticket;
}

bool SubscriptionFamily::finish_join(std::string_view key, Ticket ticket, JoinEnd end) {
    const auto it = pending_.find(key);
    if (it == pending_.end() || it->second != ticket) return false;
    settle(pending_, it, key, ticket, end);
    return true;
}

bool SubscriptionFamily::is_join_current(std::string_view key, Ticket ticket) const {
    const auto it = pending_.find(key);
    return it != pending_.end() && it->second == ticket;
}

std::optional<Ticket> SubscriptionFamily::begin_leave(std::string_view key,
                                                      TicketCounter& tickets) {
    const auto it = established_.find(key);
    if (it == established_.end()) return std::nullopt;
    const std::optional<Ticket> ticket = tickets.take();
    if (!ticket) return std::nullopt;
    leaving_.try_emplace(key, *ticket);
    established_.erase(it);
    return ticket;
}

bool SubscriptionFamily::finish_leave(std::string_view key, Ticket ticket, LeaveOutcome outcome) {
    const auto it = leaving_.find(key);
    if (it == leaving_.end() || it->second != ticket) return false;
    settle(leaving_, it, key, ticket,
           outcome == LeaveOutcome::Left ? JoinEnd::Absent : JoinEnd::Unreconciled);
    return true;
}

bool SubscriptionFamily::mark_rejoin_failed(std::string_view key, Ticket ticket) {
    const auto it = established_.find(key);
    if (it == established_.end() || it->second != ticket) return false;
    settle(established_, it, key, ticket, JoinEnd::Unreconciled);
    return true;
}

void SubscriptionFamily::clear() {
    pending_.clear();
    established_.clear();
    leaving_.clear();
    unreconciled_.clear();
}

void SubscriptionFamily::settle(Tickets& from, Tickets::iterator it, std::string_view key,
                                Ticket ticket, JoinEnd end) {
    switch (end) {
        case JoinEnd::Established:
            established_.try_emplace(key, ticket);
            break;
        case JoinEnd::Unreconciled:
            unreconciled_.insert(key);
            break;
        case JoinEnd::Absent:
            break;
    }
    from.erase(it);
}

std::optional<Ticket> SubscriptionTracker::begin_room_subscribe(std::string_view room_id) {
    return rooms_.begin_join(room_id, tickets_);
}

RoomSubscribeResult SubscriptionTracker::report_room_join(std::string_view room_id, Ticket ticket,
                                                          JoinEnd end,
                                                          RoomSubscribeResult accepted) {
    return rooms_.finish_join(room_id, ticket, end) ? accepted : RoomSubscribeResult::Stale;
}

RoomSubscribeResult SubscriptionTracker::record_chat_room_join_failed(std::string_view room_id,
                                                                      Ticket ticket) {
    return report_room_join(room_id, ticket, JoinEnd::Absent, RoomSubscribeResult::JoinFailed);
}

RoomSubscribeResult SubscriptionTracker::record_both_room_topics_joined(std::string_view room_id,
                                                                        Ticket ticket) {
    return report_room_join(room_id, ticket, JoinEnd::Established, RoomSubscribeResult::Subscribed);
}

RoomSubscribeResult SubscriptionTracker::record_room_participants_join_failed(
    std::string_view room_id, Ticket ticket, bool chat_room_left) {
    // A chat room channel that could not be left again is in an unknown state.
    return chat_room_left
               ? report_room_join(room_id, ticket, JoinEnd::Absent, RoomSubscribeResult::RolledBack)
               : report_room_join(room_id, ticket, JoinEnd::Unreconciled,
                                  RoomSubscribeResult::RollbackFailed);
}

bool SubscriptionTracker::is_room_subscribed(std::string_view room_id) const {
    return rooms_.is_established(room_id);
}

bool SubscriptionTracker::is_room_claim_current(std::string_view room_id, Ticket ticket) const {
    return rooms_.is_join_current(room_id, ticket);
}

RoomStatus SubscriptionTracker::room_status(std::string_view room_id) const {
    return as_status<RoomStatus>(rooms_.status(room_id));
}

std::optional<Ticket> SubscriptionTracker::unsubscribe_room(std::string_view room_id) {
    return rooms_.begin_leave(room_id, tickets_);
}

bool SubscriptionTracker::mark_room_leave_complete(std::string_view room_id, Ticket ticket,
                                                   LeaveOutcome outcome) {
    return rooms_.finish_leave(room_id, ticket, outcome);
}

bool SubscriptionTracker::acknowledge_room_reconciled(std::string_view room_id) {
    return rooms_.acknowledge_reconciled(room_id);
}

bool SubscriptionTracker::mark_room_rejoin_failed(std::string_view room_id, Ticket ticket) {
    return rooms_.mark_rejoin_failed(room_id, ticket);
}

const SubscriptionFamily::Established& SubscriptionTracker::subscribed_rooms() const {
    return rooms_.established();
}

std::optional<Ticket> SubscriptionTracker::begin_agent_topic_join(std::string_view topic) {
    return topics_.begin_join(topic, tickets_);
}

bool SubscriptionTracker::record_agent_topic_join(std::string_view topic, Ticket ticket,
                                                  bool joined) {
    return topics_.finish_join(topic, ticket, joined ? JoinEnd::Established : JoinEnd::Absent) &&
           joined;
}

bool SubscriptionTracker::record_agent_topic_join_ambiguous(std::string_view topic, Ticket ticket) {
    return topics_.finish_join(topic, ticket, JoinEnd::Unreconciled);
}

bool SubscriptionTracker::is_agent_topic_joined(std::string_view topic) const {
    return topics_.is_established(topic);
}

bool SubscriptionTracker::is_agent_topic_claim_current(std::string_view topic,
                                                       Ticket ticket) const {
    return topics_.is_join_current(topic, ticket);
}

AgentTopicStatus SubscriptionTracker::agent_topic_status(std::string_view topic) const {
    return as_status<AgentTopicStatus>(topics_.status(topic));
}

std::optional<Ticket> SubscriptionTracker::leave_agent_topic(std::string_view topic) {
    return topics_.begin_leave(topic, tickets_);
}

bool SubscriptionTracker::mark_agent_topic_leave_complete(std::string_view topic, Ticket ticket,
                                                          LeaveOutcome outcome) {
    return topics_.finish_leave(topic, ticket, outcome);
}

bool SubscriptionTracker::acknowledge_agent_topic_reconciled(std::string_view topic) {
    return topics_.acknowledge_reconciled(topic);
}

bool SubscriptionTracker::mark_agent_topic_rejoin_failed(std::string_view topic, Ticket ticket) {
    return topics_.mark_rejoin_failed(topic, ticket);
}

const SubscriptionFamily::Established& SubscriptionTracker::joined_agent_topics() const {
    return topics_.established();
}

void SubscriptionTracker::end_session() {
    rooms_.clear();
    topics_.clear();
}

}  // namespace vorn
