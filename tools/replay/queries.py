"""The `inspect` fact: what every object knows about the session, a room, an agent topic or one
message at that point of the trace."""

from __future__ import annotations

from .facts import Malformed


def listed(values) -> str:
    return ", ".join(values) or "none"


def inspect(w, fact):
    room, topic, message = fact.get("room"), fact.get("topic"), fact.get("message")
    if message is not None and room is None:
        raise Malformed("`message` needs `room`")
    if topic is not None:
        topic_state(w, w.topic_name(topic))
    if room is not None:
        room_state(w, room)
    if message is not None:
        message_state(w, room, message)
    if room is None and topic is None:
        session_state(w)


def session_state(w):
    w.decide("Session.state", w.session.state, f"session {w.session.state}")
    rooms = w.subscriptions.subscribed_room_ids()
    w.decide("SubscriptionTracker.subscribed_room_ids", rooms, f"subscribed: {listed(rooms)}")
    topics = w.subscriptions.joined_agent_topics()
    w.decide("SubscriptionTracker.joined_agent_topics", topics, f"topics: {listed(topics)}")
    admitted = w.rooms.tracked_room_ids()
    w.decide("RoomRoster.tracked_room_ids", admitted, f"admitted: {listed(admitted)}")
    count = w.asks.unclaimed_count()
    w.decide("DecisionRegistry.unclaimed_count", count, f"{count} open asks")
    w.decide("DecisionRegistry.unclaimed", w.asks.unclaimed())
    oldest = w.asks.oldest_unclaimed()
    w.decide("DecisionRegistry.oldest_unclaimed", oldest, None if oldest is None else f"oldest {oldest}")


def room_state(w, room):
    membership = w.rooms.room_membership(room)
    w.decide("RoomRoster.room_membership", membership, str(membership))
    status = w.subscriptions.room_status(room)
    w.decide("SubscriptionTracker.room_status", status, f"channels {status}")
    ticket = w.tickets.get(("room", room))
    if ticket is not None:
        w.decide("SubscriptionTracker.is_room_claim_current", w.subscriptions.is_room_claim_current(room, ticket))
    inflight = sorted(w.claims.inflight_ids(room))
    w.decide("ClaimRegistry.inflight_ids", inflight, f"running: {listed(inflight)}")
    completed = w.claims.completed_ids(room)
    w.decide("ClaimRegistry.completed_ids", completed, f"completed: {listed(completed)}")
    owed = w.claims.pending_ack_ids(room)
    w.decide("ClaimRegistry.pending_ack_ids", owed, f"writes owed: {listed(owed)}")
    w.decide("ClaimRegistry.has_retryable_settlement", w.claims.has_retryable_settlement(room))
    asks = w.asks.unclaimed_in_room(room)
    w.decide("DecisionRegistry.unclaimed_in_room", asks, f"open asks: {listed(asks)}")
    if room in w.participants:
        people = w.participants[room].list()
        w.decide("ParticipantRoster.list", people, f"participants: {listed(p['id'] for p in people)}")


def topic_state(w, topic):
    status = w.subscriptions.agent_topic_status(topic)
    w.decide("SubscriptionTracker.agent_topic_status", status, f"{topic} {status}")
    w.decide("SubscriptionTracker.is_agent_topic_joined", w.subscriptions.is_agent_topic_joined(topic))
    ticket = w.tickets.get(("topic", topic))
    if ticket is not None:
        w.decide("SubscriptionTracker.is_agent_topic_claim_current",
                 w.subscriptions.is_agent_topic_claim_current(topic, ticket))


def message_state(w, room, message):
    completed = w.claims.is_completed(room, message)
    w.decide("ClaimRegistry.is_completed", completed, f"{message} completed" if completed else None)
    w.decide("ClaimRegistry.is_ack_pending", w.claims.is_ack_pending(room, message))
    pending = w.claims.pending_ack(room, message)
    w.decide("ClaimRegistry.pending_ack", pending,
             None if pending is None else f"owes {pending['status']} write, parked: {pending['parked']}")
    failed = w.retries.is_permanently_failed(message)
    w.decide("RetryTracker.is_permanently_failed", failed, f"{message} failed for good" if failed else None)
