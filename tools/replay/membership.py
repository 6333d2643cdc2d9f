"""Membership facts: room admission and reconciliation through the RoomRoster, each room's
ParticipantRoster, and what the host forgets when a room goes away."""

from __future__ import annotations

import vorn_sdk_core as core

from .channels import begin_leave, subscribe_room
from .connection import cancelled_note
from .facts import Malformed
from .world import REFUSED


def room_added(w, fact, payload):
    room = payload["id"]
    w.see_room(room)
    passes_filter = fact.get("filter", True)
    ticket = w.rooms.begin_room_admission(room, passes_filter)
    if ticket is not None:
        w.tickets[("admission", room)] = ticket
        note = f"admission #{ticket}"
    elif not passes_filter:
        note = "filtered out"
    else:
        membership = w.rooms.room_membership(room)
        w.decide("RoomRoster.room_membership", membership)
        note = f"not admitted again: {membership}"
    w.decide("RoomRoster.begin_room_admission", ticket, note)


def admission(w, fact):
    room = fact["room"]
    ticket = w.ticket(fact, "admission", room)
    current = w.rooms.is_room_admission_current(room, ticket)
    w.decide("RoomRoster.is_room_admission_current", current, None if current else f"stale ticket #{ticket}")
    admitted = w.rooms.record_room_admission(room, ticket, fact["ok"])
    w.decide("RoomRoster.record_room_admission", admitted,
             "admitted" if admitted else "admission failed" if current else None)
    if admitted:
        subscribe_room(w, room)


def reconcile(w, fact):
    result = w.rooms.reconcile(fact["rooms"])
    for room, ticket in result.admitting:
        w.see_room(room)
        w.tickets[("admission", room)] = ticket
    parts = [f"removed: {', '.join(result.removed)}" if result.removed else "",
             "admitting: " + ", ".join(f"{room} #{ticket}" for room, ticket in result.admitting)
             if result.admitting else "",
             f"resync: {', '.join(result.resync)}" if result.resync else ""]
    w.decide("RoomRoster.reconcile", result, "; ".join(p for p in parts if p) or "no rooms")
    for room in result.removed:
        forget_room(w, room)
    # A resynchronised room whose channels were lost is subscribed again.
    for room in result.resync:
        status = w.subscriptions.room_status(room)
        w.decide("SubscriptionTracker.room_status", status)
        if status == core.RoomStatus.Absent:
            subscribe_room(w, room)


def room_removed(w, room):
    was_admitted = w.rooms.record_room_removed(room)
    w.decide("RoomRoster.record_room_removed", was_admitted, "admission dropped" if was_admitted else None)
    forget_room(w, room)


def forget_room(w, room):
    """The room is gone: leave its channels, cancel its asks, drop its participants and completed
    set. Pending writes and runs in flight stay: the host still owes their outcomes."""
    subscribed = w.subscriptions.is_room_subscribed(room)
    w.decide("SubscriptionTracker.is_room_subscribed", subscribed)
    if subscribed:
        begin_leave(w, "room", room)
    cancelled = w.asks.cancel_room(room)
    w.decide("DecisionRegistry.cancel_room", cancelled, cancelled_note(cancelled))
    w.participants.pop(room, None)
    w.claims.discard_completed(room)
    w.decide("ClaimRegistry.discard_completed", None)
    inflight = sorted(w.claims.inflight_ids(room))
    w.decide("ClaimRegistry.inflight_ids", inflight, f"still running: {', '.join(inflight)}" if inflight else None)
    owed = w.claims.pending_ack_ids(room)
    w.decide("ClaimRegistry.pending_ack_ids", owed, f"writes still owed: {', '.join(owed)}" if owed else None)


def envelope_room(fact) -> str:
    room = fact.get("room")
    if room is None:
        raise Malformed(f"`{fact['type']}` needs the envelope's `room`")
    return room


def participant_added(w, fact, payload):
    room = envelope_room(fact)
    added = w.participant_roster(room).add(payload)
    w.decide("ParticipantRoster.add", added, "new participant" if added else "participant refreshed")
    send_if_changed(w, room)


def participant_removed(w, fact, payload):
    room = envelope_room(fact)
    removed = w.participant_roster(room).remove(payload["id"])
    w.decide("ParticipantRoster.remove", removed, "participant removed" if removed else "not a participant")
    send_if_changed(w, room)


def participants(w, fact):
    room = fact["room"]
    w.see_room(room)
    roster = w.participant_roster(room)
    if w.refusable("ParticipantRoster.set_all", roster.set_all, fact["participants"]) is REFUSED:
        return
    w.decide("ParticipantRoster.set_all", None)
    send_if_changed(w, room)


def send_if_changed(w, room):
    """The host hands the agent the participant list whenever it changed."""
    roster = w.participant_roster(room)
    changed = roster.changed()
    w.decide("ParticipantRoster.changed", changed, None if changed else "participants unchanged")
    if changed:
        listed = roster.list()
        w.decide("ParticipantRoster.list", listed,
                 f"participants sent: {', '.join(p['id'] for p in listed) or 'none'}")
        roster.mark_sent()
        w.decide("ParticipantRoster.mark_sent", None)

