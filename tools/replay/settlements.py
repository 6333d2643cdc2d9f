"""Durable-write facts: the platform's answer to each write the host owes, plain acknowledgements,
unparking after a refusal, and what the platform says it already recorded."""

from __future__ import annotations

import vorn_sdk_core as core

from .turns import DEFAULT_ERROR
from .world import REFUSED


def write(w, fact):
    room, message, outcome = fact["room"], fact["message"], fact["outcome"]
    if outcome == "error":
        retries = w.claims.record_ack_retry(room, message)
        w.tally.writes["failed"] += 1
        w.decide("ClaimRegistry.record_ack_retry", retries, f"write failed, try {retries + 1} next")
        return
    call = "ClaimRegistry.pending_settlement"
    pending = w.refusable(call, w.claims.pending_settlement, room, message, trace_context=w.trace_context)
    if pending is REFUSED:
        return
    w.decide(call, pending, None if pending else "nothing pending")
    if pending is None:
        return
    token = fact.get("token", pending["token"])
    if outcome == "confirmed":
        confirm(w, room, message, token, pending)
    else:
        park(w, room, message, token, core.ParkedReason.from_wire_name(outcome))


def confirm(w, room, message, token, pending):
    confirmed = w.claims.confirm_settlement(room, message, token, w.retries)
    if not confirmed:
        note = f"stale token #{token}"
    elif pending["continuation"]["kind"] == "retry":
        note = "released for a retry"
    else:
        note = "completed"
    w.decide("ClaimRegistry.confirm_settlement", confirmed, note)
    if not confirmed:
        return
    w.tally.writes["confirmed"] += 1
    w.plain_acks.discard((room, message))
    failed = w.retries.is_permanently_failed(message)
    w.decide("RetryTracker.is_permanently_failed", failed, "failed for good" if failed else None)


def park(w, room, message, token, reason):
    if (room, message) in w.plain_acks:
        call, parked = "park_ack", w.claims.park_ack(room, message, reason)
    else:
        call, parked = "park_settlement", w.claims.park_settlement(room, message, token, reason)
    w.decide(f"ClaimRegistry.{call}", parked, f"parked ({reason})" if parked else f"stale token #{token}")
    if parked:
        w.tally.writes["parked"] += 1


def ack(w, fact):
    """The host owes a plain acknowledgement, outside any turn's settlement."""
    room, message = fact["room"], fact["message"]
    w.see_room(room)
    existed = w.claims.is_ack_pending(room, message)
    w.decide("ClaimRegistry.is_ack_pending", existed)
    if fact["status"] == "processed":
        w.claims.remember_ack_pending(room, message)
        w.decide("ClaimRegistry.remember_ack_pending", None)
    else:
        call = "ClaimRegistry.remember_failed_ack_pending"
        if w.refusable(call, w.claims.remember_failed_ack_pending, room, message,
                       fact.get("error", DEFAULT_ERROR), trace_context=w.trace_context) is REFUSED:
            return
        w.decide(call, None)
    if not existed:
        w.plain_acks.add((room, message))
    view = w.claims.pending_ack(room, message)
    w.decide("ClaimRegistry.pending_ack", view, f"owes {view['status']} acknowledgement")


def unpark(w, fact):
    room = fact["room"]
    count = w.claims.unpark_acks(room)
    w.decide("ClaimRegistry.unpark_acks", count, f"{count} unparked")
    retryable = w.claims.has_retryable_settlement(room)
    w.decide("ClaimRegistry.has_retryable_settlement", retryable, None if retryable else "nothing to retry")
    if retryable:
        owed = w.claims.pending_ack_ids(room)
        w.decide("ClaimRegistry.pending_ack_ids", owed, f"writes to retry: {', '.join(owed)}")


def durable(w, fact):
    """What the platform already recorded for a message, learned outside a delivery."""
    room, message = fact["room"], fact["message"]
    w.see_room(room)
    if fact["state"] == "processed":
        w.claims.remember_completed(room, message)
        w.decide("ClaimRegistry.remember_completed", None, "completed")
        w.retries.mark_success(message)
        w.decide("RetryTracker.mark_success", None)
    else:
        w.retries.mark_permanently_failed(message)
        w.decide("RetryTracker.mark_permanently_failed", None, "failed for good")
