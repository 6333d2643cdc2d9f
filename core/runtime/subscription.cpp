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

ChannelStatus SubscriptionFamily::status(const HashedText& key) const {
    const SlotIndex slot = channels_.find(FlatKey(key));
    return slot == kNoSlot ? ChannelStatus::Absent : channels_[slot].status;
}

SlotIndex SubscriptionFamily::held(const FlatKey& key, ChannelStatus status,
                                   std::optional<Ticket> ticket) const {
    const SlotIndex slot = channels_.find(key);
    if (slot == kNoSlot || channels_[slot].status != status) return kNoSlot;
    return !ticket || channels_[slot].ticket == *ticket ? slot : kNoSlot;
}

std::optional<Ticket> SubscriptionFamily::begin_join(const HashedText& key,
                                                     TicketCounter& tickets) {
    const FlatKey k(key);
    SlotIndex slot = channels_.find(k);
    // Only the idle entry stands for an Absent key.
    if ((slot != kNoSlot && slot != idle_.slot()) || tickets.exhausted()) return std::nullopt;
    if (slot == kNoSlot) {
        slot = channels_.add(k);
    } else {
        idle_.revive(slot);
    }
    const Ticket ticket = *tickets.take();
    channels_[slot] = Channel{{}, ticket, ChannelStatus::Pending};
    return ticket;
}

bool SubscriptionFamily::finish_join(const HashedText& key, Ticket ticket, JoinEnd end) {
    const SlotIndex slot = held(FlatKey(key), ChannelStatus::Pending, ticket);
    if (slot == kNoSlot) return false;
    settle(slot, ticket, end);
    return true;
}

bool SubscriptionFamily::is_join_current(const HashedText& key, Ticket ticket) const {
    return held(FlatKey(key), ChannelStatus::Pending, ticket) != kNoSlot;
}

SubscriptionFamily::Established SubscriptionFamily::established() const {
    Established out;
    out.reserve(established_.size());
    for_each_established(
        [&](std::string_view key, Ticket ticket) { out.emplace_back(key, ticket); });
    return out;
}

std::optional<Ticket> SubscriptionFamily::begin_leave(const HashedText& key,
                                                      TicketCounter& tickets) {
    const SlotIndex slot = held(FlatKey(key), ChannelStatus::Established);
    if (slot == kNoSlot) return std::nullopt;
    const std::optional<Ticket> ticket = tickets.take();
    if (!ticket) return std::nullopt;
    established_.unlink(slot, links_in(channels_, &Channel::established_order));
    channels_[slot].status = ChannelStatus::Leaving;
    channels_[slot].ticket = *ticket;
    return ticket;
}

bool SubscriptionFamily::finish_leave(const HashedText& key, Ticket ticket, LeaveOutcome outcome) {
    const SlotIndex slot = held(FlatKey(key), ChannelStatus::Leaving, ticket);
    if (slot == kNoSlot) return false;
    settle(slot, ticket, outcome == LeaveOutcome::Left ? JoinEnd::Absent : JoinEnd::Unreconciled);
    return true;
}

bool SubscriptionFamily::mark_rejoin_failed(const HashedText& key, Ticket ticket) {
    const SlotIndex slot = held(FlatKey(key), ChannelStatus::Established, ticket);
    if (slot == kNoSlot) return false;
    settle(slot, ticket, JoinEnd::Unreconciled);
    return true;
}

bool SubscriptionFamily::acknowledge_reconciled(const HashedText& key) {
    const SlotIndex slot = held(FlatKey(key), ChannelStatus::Unreconciled);
    if (slot == kNoSlot) return false;
    retire(slot);
    return true;
}

void SubscriptionFamily::clear() {
    channels_.clear();
    established_.clear();
    idle_.clear();
}

void SubscriptionFamily::retire(SlotIndex slot) {
    channels_[slot].status = ChannelStatus::Absent;
    if (const SlotIndex earlier = idle_.replace(slot); earlier != kNoSlot) channels_.erase(earlier);
}

void SubscriptionFamily::settle(SlotIndex slot, Ticket ticket, JoinEnd end) {
    Channel& channel = channels_[slot];
    if (channel.status == ChannelStatus::Established) {
        established_.unlink(slot, links_in(channels_, &Channel::established_order));
    }
    switch (end) {
        case JoinEnd::Established:
            channel.status = ChannelStatus::Established;
            channel.ticket = ticket;
            established_.push_back(slot, links_in(channels_, &Channel::established_order));
            break;
        case JoinEnd::Unreconciled:
            channel.status = ChannelStatus::Unreconciled;
            break;
        case JoinEnd::Absent:
            retire(slot);
            break;
    }
}

std::optional<Ticket> SubscriptionTracker::begin_room_subscribe(const HashedText& room_id) {
    return rooms_.begin_join(room_id, tickets_);
}

RoomSubscribeResult SubscriptionTracker::report_room_join(const HashedText& room_id, Ticket ticket,
                                                          JoinEnd end,
                                                          RoomSubscribeResult accepted) {
    return rooms_.finish_join(room_id, ticket, end) ? accepted : RoomSubscribeResult::Stale;
}

RoomSubscribeResult SubscriptionTracker::record_chat_room_join_failed(const HashedText& room_id,
                                                                      Ticket ticket) {
    return report_room_join(room_id, ticket, JoinEnd::Absent, RoomSubscribeResult::JoinFailed);
}

RoomSubscribeResult SubscriptionTracker::record_both_room_topics_joined(const HashedText& room_id,
                                                                        Ticket ticket) {
    return report_room_join(room_id, ticket, JoinEnd::Established, RoomSubscribeResult::Subscribed);
}

RoomSubscribeResult SubscriptionTracker::record_room_participants_join_failed(
    const HashedText& room_id, Ticket ticket, bool chat_room_left) {
    // A chat room channel that could not be left again is in an unknown state.
    return chat_room_left
               ? report_room_join(room_id, ticket, JoinEnd::Absent, RoomSubscribeResult::RolledBack)
               : report_room_join(room_id, ticket, JoinEnd::Unreconciled,
                                  RoomSubscribeResult::RollbackFailed);
}

bool SubscriptionTracker::is_room_subscribed(const HashedText& room_id) const {
    return rooms_.is_established(room_id);
}

bool SubscriptionTracker::is_room_claim_current(const HashedText& room_id, Ticket ticket) const {
    return rooms_.is_join_current(room_id, ticket);
}

RoomStatus SubscriptionTracker::room_status(const HashedText& room_id) const {
    return as_status<RoomStatus>(rooms_.status(room_id));
}

std::optional<Ticket> SubscriptionTracker::unsubscribe_room(const HashedText& room_id) {
    return rooms_.begin_leave(room_id, tickets_);
}

bool SubscriptionTracker::mark_room_leave_complete(const HashedText& room_id, Ticket ticket,
                                                   LeaveOutcome outcome) {
    return rooms_.finish_leave(room_id, ticket, outcome);
}

bool SubscriptionTracker::acknowledge_room_reconciled(const HashedText& room_id) {
    return rooms_.acknowledge_reconciled(room_id);
}

bool SubscriptionTracker::mark_room_rejoin_failed(const HashedText& room_id, Ticket ticket) {
    return rooms_.mark_rejoin_failed(room_id, ticket);
}

SubscriptionFamily::Established SubscriptionTracker::subscribed_rooms() const {
    return rooms_.established();
}

std::optional<Ticket> SubscriptionTracker::begin_agent_topic_join(const HashedText& topic) {
    return topics_.begin_join(topic, tickets_);
}

bool SubscriptionTracker::record_agent_topic_join(const HashedText& topic, Ticket ticket,
                                                  bool joined) {
    return topics_.finish_join(topic, ticket, joined ? JoinEnd::Established : JoinEnd::Absent) &&
           joined;
}

bool SubscriptionTracker::record_agent_topic_join_ambiguous(const HashedText& topic,
                                                            Ticket ticket) {
    return topics_.finish_join(topic, ticket, JoinEnd::Unreconciled);
}

bool SubscriptionTracker::is_agent_topic_joined(const HashedText& topic) const {
    return topics_.is_established(topic);
}

bool SubscriptionTracker::is_agent_topic_claim_current(const HashedText& topic,
                                                       Ticket ticket) const {
    return topics_.is_join_current(topic, ticket);
}

AgentTopicStatus SubscriptionTracker::agent_topic_status(const HashedText& topic) const {
    return as_status<AgentTopicStatus>(topics_.status(topic));
}

std::optional<Ticket> SubscriptionTracker::leave_agent_topic(const HashedText& topic) {
    return topics_.begin_leave(topic, tickets_);
}

bool SubscriptionTracker::mark_agent_topic_leave_complete(const HashedText& topic, Ticket ticket,
                                                          LeaveOutcome outcome) {
    return topics_.finish_leave(topic, ticket, outcome);
}

bool SubscriptionTracker::acknowledge_agent_topic_reconciled(const HashedText& topic) {
    return topics_.acknowledge_reconciled(topic);
}

bool SubscriptionTracker::mark_agent_topic_rejoin_failed(const HashedText& topic, Ticket ticket) {
    return topics_.mark_rejoin_failed(topic, ticket);
}

SubscriptionFamily::Established SubscriptionTracker::joined_agent_topics() const {
    return topics_.established();
}

void SubscriptionTracker::end_session() {
    rooms_.clear();
    topics_.clear();
}

}  // namespace vorn
