"""Channel facts: the joins, leaves, rejoins and reconciliations of rooms and agent topics that the
SubscriptionTracker books, with the tickets it handed out."""

from __future__ import annotations

import vorn_sdk_core as core

LEAVE_OUTCOMES = {member.value: member for member in
                  (core.LeaveOutcome.Left, core.LeaveOutcome.Failed, core.LeaveOutcome.Unknown)}
AGENT_TOPIC_KINDS = (core.AgentTopicKind.Control, core.AgentTopicKind.Rooms, core.AgentTopicKind.Contacts)

# The tracker's room and agent-topic methods for each action that both families share.
FAMILY_CALLS = {
    "leave": ("unsubscribe_room", "leave_agent_topic"),
    "leave_complete": ("mark_room_leave_complete", "mark_agent_topic_leave_complete"),
    "rejoin_failed": ("mark_room_rejoin_failed", "mark_agent_topic_rejoin_failed"),
    "reconciled": ("acknowledge_room_reconciled", "acknowledge_agent_topic_reconciled"),
    "rejoin_candidates": ("room_rejoin_candidates", "agent_topic_rejoin_candidates"),
}


def tracker_call(w, action, family, *args):
    """Calls the tracker's method for `action` in `family`; returns its recorded name and result."""
    name = FAMILY_CALLS[action][family == "topic"]
    return f"SubscriptionTracker.{name}", getattr(w.subscriptions, name)(*args)


def family_and_key(w, fact):
    if "room" in fact.fields:
        return "room", fact["room"]
    return "topic", w.topic_name(fact["topic"])


def rejoin(w):
    w.subscriptions.on_reconnected()
    w.decide("SubscriptionTracker.on_reconnected", None)
    for family in ("room", "topic"):
        call, candidates = tracker_call(w, "rejoin_candidates", family)
        listed = ", ".join(f"{key} #{ticket}" for key, ticket in candidates) or "none"
        w.decide(call, candidates, f"rejoin {family}s: {listed}")


def join_agent_topics(w):
    for kind in AGENT_TOPIC_KINDS:
        topic = kind.topic(w.agent_id)
        status = w.subscriptions.agent_topic_status(topic)
        w.decide("SubscriptionTracker.agent_topic_status", status)
        if status != core.AgentTopicStatus.Absent:
            continue
        ticket = w.subscriptions.begin_agent_topic_join(topic)
        w.decide("SubscriptionTracker.begin_agent_topic_join", ticket,
                 f"join {topic} #{ticket}" if ticket is not None else f"no join of {topic}")
        if ticket is not None:
            w.tickets[("topic", topic)] = ticket


def subscribe_room(w, room):
    ticket = w.subscriptions.begin_room_subscribe(room)
    if ticket is None:
        note = f"no join of {room}: {w.subscriptions.room_status(room)}"
    else:
        w.tickets[("room", room)] = ticket
        note = f"join {core.chat_room_topic(room)} and {core.room_participants_topic(room)} #{ticket}"
    w.decide("SubscriptionTracker.begin_room_subscribe", ticket, note)


def begin_leave(w, family, key):
    call, ticket = tracker_call(w, "leave", family, key)
    if ticket is None:
        w.decide(call, ticket, f"no leave of {key}")
        return
    w.decide(call, ticket, f"leave {key} #{ticket}")
    w.tickets[(family, key)] = ticket


def join(w, fact):
    room = fact["room"]
    ticket = w.ticket(fact, "room", room)
    if not fact["chat_room"]:
        call, result = "record_chat_room_join_failed", w.subscriptions.record_chat_room_join_failed(room, ticket)
    elif fact.get("participants", True):
        call, result = "record_both_room_topics_joined", w.subscriptions.record_both_room_topics_joined(
            room, ticket)
    else:
        call = "record_room_participants_join_failed"
        result = w.subscriptions.record_room_participants_join_failed(
            room, ticket, fact.get("chat_room_left", False))
    w.decide(f"SubscriptionTracker.{call}", result, str(result))


def topic_join(w, fact):
    topic = w.topic_name(fact["topic"])
    ticket = w.ticket(fact, "topic", topic)
    current = w.subscriptions.is_agent_topic_claim_current(topic, ticket)
    w.decide("SubscriptionTracker.is_agent_topic_claim_current", current,
             None if current else f"stale ticket #{ticket}")
    if fact["joined"] is None:
        result = w.subscriptions.record_agent_topic_join_ambiguous(topic, ticket)
        w.decide("SubscriptionTracker.record_agent_topic_join_ambiguous", result,
                 "needs reconciliation" if result else None)
    else:
        result = w.subscriptions.record_agent_topic_join(topic, ticket, fact["joined"])
        w.decide("SubscriptionTracker.record_agent_topic_join", result,
                 "joined" if result else "join failed" if current else None)


def rejoin_failed(w, fact):
    family, key = family_and_key(w, fact)
    call, result = tracker_call(w, "rejoin_failed", family, key, w.ticket(fact, family, key))
    w.decide(call, result, "needs reconciliation" if result else "stale")


def leave(w, fact):
    family, key = family_and_key(w, fact)
    outcome = LEAVE_OUTCOMES[fact["outcome"]]
    call, result = tracker_call(w, "leave_complete", family, key, w.ticket(fact, family, key), outcome)
    note = "stale" if not result else "left" if outcome == core.LeaveOutcome.Left else "needs reconciliation"
    w.decide(call, result, note)


def reconciled(w, fact):
    family, key = family_and_key(w, fact)
    call, result = tracker_call(w, "reconciled", family, key)
    w.decide(call, result, "reconciled" if result else "nothing to reconcile")
