"""Drives a trace through the objects, fact by fact, and hands each fact's decisions to the output."""

from __future__ import annotations

from . import asks, channels, connection, delivery, membership, queries, settlements, turns
from .facts import Malformed, read_trace
from .world import World


def configure(w, fact):
    w.configure(fact.fields)
    policy = w.policy
    w.decide("SessionPolicy" if "policy" in fact.fields else "SessionPolicy.default", None,
             f"agent {w.agent_id}")
    w.decide("SessionPolicy.heartbeat_interval_s", policy.heartbeat_interval_s,
             f"heartbeat every {policy.heartbeat_interval_s:g} s")
    w.decide("SessionPolicy.dead_threshold_s", policy.dead_threshold_s)
    w.decide("RetryTracker.max_retries", w.retries.max_retries, f"retry budget {w.retries.max_retries}")
    w.decide("ClaimRegistry.max_completed", w.claims.max_completed)
    limit = w.asks.max_pending
    w.decide("DecisionRegistry.max_pending", limit, None if limit is None else f"at most {limit} asks")


HANDLERS = {
    "config": configure,
    "attempt": connection.attempt,
    "connected": connection.connected,
    "close": connection.close,
    "upgrade_rejected": connection.upgrade_rejected,
    "event": delivery.event,
    "admission": membership.admission,
    "join": channels.join,
    "topic_join": channels.topic_join,
    "rejoin_failed": channels.rejoin_failed,
    "leave": channels.leave,
    "reconciled": channels.reconciled,
    "rooms": membership.reconcile,
    "participants": membership.participants,
    "drain": delivery.drain,
    "next_message": delivery.next_message,
    "tool": turns.tool,
    "adapter": turns.adapter,
    "write": settlements.write,
    "ack": settlements.ack,
    "unpark": settlements.unpark,
    "durable": settlements.durable,
    "ask": asks.ask,
    "answer": asks.answer,
    "withdraw": asks.withdraw,
    "inspect": queries.inspect,
    "end": connection.end,
}


def reason_of(error: Exception) -> str:
    issues = getattr(error, "issues", None)
    if issues:
        return "; ".join(f"{path or '<payload>'}: {message}" for path, _, message in issues)
    return str(error)


def summarize(w) -> dict:
    tally = w.tally
    owed = {room: w.claims.pending_ack_ids(room) for room in w.rooms_seen}
    return {
        "facts": tally.facts, "malformed": tally.malformed,
        "messages_run": tally.turns, "retries": tally.retries,
        "skipped": dict(sorted(tally.skipped.items())),
        "reconnects": tally.reconnects, "cooling_down_s": tally.cooling_down_s, "dead": tally.dead,
        "writes": dict(sorted(tally.writes.items())),
        "turns_open": [f"{room}/{message}" for room, message in w.turns],
        "writes_owed": {room: ids for room, ids in owed.items() if ids},
    }


def replay(lines, output) -> int:
    """Replays every line and returns how many were malformed."""
    w = World()
    for number, fact in read_trace(lines):
        w.tally.facts += 1
        if isinstance(fact, Malformed):
            w.tally.malformed += 1
            output.malformed(number, str(fact))
            continue
        w.decisions = []
        w.trace_context = f"line {number}"
        try:
            HANDLERS[fact.kind](w, fact)
        except (Malformed, ValueError, TypeError, OverflowError) as error:
            # The module or the replay refused a value of the line: what was decided before stands.
            output.fact(fact, w.decisions, complete=False)
            w.tally.malformed += 1
            output.malformed(number, reason_of(error))
            continue
        output.fact(fact, w.decisions)
    output.summary(summarize(w))
    return w.tally.malformed
