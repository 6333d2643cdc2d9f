"""Inbound facts: each platform event validated and routed, drained and next-open messages, and the
claim and retry budget that decide whether a message runs."""

from __future__ import annotations

import vorn_sdk_core as core

from . import connection, membership
from .world import REFUSED

DELIVERY_FACTS = ("durably_processed", "durably_failed", "allow_failed_retry")
STOPPING_MODES = ("stop", "interrupt")


def delivery_facts(fact) -> dict:
    return {name: fact[name] for name in DELIVERY_FACTS if name in fact.fields}


def event(w, fact):
    kind, room = fact["type"], fact.get("room")
    if room:
        w.see_room(room)
    payload = w.refusable("validate_event_payload", core.validate_event_payload, kind, fact["payload"],
                          trace_context=w.trace_context)
    if payload is REFUSED:
        if kind == "message_created":
            w.skip("invalid payload")
        return
    w.decide("validate_event_payload", payload)
    call = "evaluate_delivery_event"
    routing = w.refusable(call, core.evaluate_delivery_event, kind, room, payload, w.agent_id,
                          trace_context=w.trace_context)
    if routing is REFUSED:
        if kind == "message_created":
            w.skip("no room")
        return
    decision = routing["decision"]
    if decision == "invocation":
        w.decide(call, routing, f"invocation from {routing['sender_id']}")
        run(w, fact, routing["room_id"], routing["message_id"], routing["sender_id"], routing["sender_type"])
    elif decision == "skip_self":
        w.decide(call, routing, "the agent's own message")
        w.skip("self echo")
    elif decision == "cleanup":
        w.decide(call, routing, f"cleanup of {routing['room_id']}")
        membership.room_removed(w, routing["room_id"])
    else:
        handler = IGNORED_BY_ROUTING.get(kind)
        w.decide(call, routing, None if handler else "ignored")
        if handler:
            handler(w, fact, payload)


def run(w, fact, room, message, sender_id, sender_type):
    """Claims the message if it may run, then starts its turn."""
    w.see_room(room)
    self_echo = core.is_self_echo(sender_id, sender_type, w.agent_id)
    w.decide("is_self_echo", self_echo)
    eligibility = w.claims.guarded_claim(room, message, w.retries, self_echo=self_echo,
                                         **delivery_facts(fact))
    w.decide("ClaimRegistry.guarded_claim", eligibility, f"claim: {eligibility}")
    if eligibility != "runnable":
        w.skip(eligibility)
        return
    start_turn(w, room, message)


def start_turn(w, room, message):
    attempts, exhausted = w.retries.record_attempt(message)
    if exhausted:
        w.decide("RetryTracker.record_attempt", (attempts, exhausted),
                 f"attempt {attempts} is over the retry budget: not run")
        w.claims.release(room, message)
        w.decide("ClaimRegistry.release", None)
        w.skip("retry budget spent")
        return
    w.decide("RetryTracker.record_attempt", (attempts, exhausted), f"turn started (attempt {attempts})")
    w.turns[(room, message)] = core.TurnLedger()
    w.tally.turns += 1
    if attempts > 1:
        w.tally.retries += 1


def drain(w, fact):
    candidate = fact["candidate"]
    step = core.evaluate_drain_candidate(candidate, fact["seen"], w.agent_id)
    decision = step["decision"]
    notes = {"no_candidate": "nothing left to drain", "self_echo": "the agent's own message",
             "out_of_snapshot": "not in the snapshot", "drain": f"drain {step.get('message_id')}"}
    w.decide("evaluate_drain_candidate", step, notes[decision])
    if decision == "drain":
        run(w, fact, fact["room"], step["message_id"], candidate["sender_id"], candidate["sender_type"])
    elif decision != "no_candidate":
        w.skip(decision.replace("_", " "))


def next_message(w, fact):
    room, message = fact["room"], fact["message"]
    w.see_room(room)
    decision = core.evaluate_next_message(message, fact["next"])
    kind = decision["decision"]
    if kind == "no_pending":
        w.decide("evaluate_next_message", decision, "nothing open")
    elif kind == "already_processed":
        w.decide("evaluate_next_message", decision, f"already processed; next open is {decision['next_open_id']}")
        w.claims.remember_completed(room, message)
        w.decide("ClaimRegistry.remember_completed", None)
        w.retries.mark_success(message)
        w.decide("RetryTracker.mark_success", None)
        w.skip("already processed")
    else:
        w.decide("evaluate_next_message", decision, "ready to claim")
        eligibility = w.claims.delivery_eligibility(room, message, w.retries, **delivery_facts(fact))
        w.decide("ClaimRegistry.delivery_eligibility", eligibility, f"eligibility: {eligibility}")
        if eligibility != "runnable":
            w.skip(eligibility)
            return
        w.decide("ClaimRegistry.try_claim", w.claims.try_claim(room, message))
        start_turn(w, room, message)


def control(w, fact, payload):
    """A stop or interrupt ends the scope's turns that have done nothing visible yet: their attempt
    is taken back so that the message runs again later. Turns that already acted run on."""
    if payload["agent_id"] != w.agent_id or payload["mode"] not in STOPPING_MODES:
        w.decide("evaluate_delivery_event", None, "nothing to stop")
        return
    target = payload["room_id"] or fact.get("room")
    for (room, message), ledger in list(w.turns.items()):
        if payload["scope"] == "room" and room != target:
            continue
        verdict = ledger.verdict()
        if verdict == core.TurnVerdict.Complete:
            w.decide("TurnLedger.verdict", verdict, f"{message} runs on: it already acted")
            continue
        w.decide("TurnLedger.verdict", verdict, f"{message} stopped")
        del w.turns[(room, message)]
        w.retries.discard_attempt(message)
        w.decide("RetryTracker.discard_attempt", None)
        w.claims.release(room, message)
        w.decide("ClaimRegistry.release", None)


# Events that routing ignores but the host still acts on.
IGNORED_BY_ROUTING = {
    "room_added": membership.room_added,
    "participant_added": membership.participant_added,
    "participant_removed": membership.participant_removed,
    "supersede": connection.supersede,
    "agent.control": control,
}
