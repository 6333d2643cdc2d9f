"""A host's typed use of the module: passes `mypy --strict` against the stubs and runs as is, so
every key it reads after narrowing is one the module really returns."""

from __future__ import annotations

from typing import TYPE_CHECKING, cast

import vorn_sdk_core as core

if TYPE_CHECKING:
    from vorn_sdk_core import _EventDecision, _Issue, _ValidationError

AGENT = "agent-1"
MESSAGE = {
    "id": "m1", "chat_room_id": "r1", "content": "hi", "message_type": "text",
    "sender_type": "User", "sender_id": "u1", "inserted_at": "t", "updated_at": "t",
}


def issues_of(error: ValueError) -> tuple[_Issue, ...]:
    return cast("_ValidationError", error).issues


def route(decision: _EventDecision) -> str:
    if decision["decision"] == "invocation":
        return f"{decision['room_id']}/{decision['message_id']} from {decision['sender_type']}"
    if decision["decision"] == "ignored":
        return decision["event_type"]
    return decision["room_id"]


def events() -> None:
    normalized = core.validate_event_payload("message_created", MESSAGE, trace_context="t-1")
    assert isinstance(normalized["metadata"], dict) and normalized["attachments"] == []
    anything = core.validate_event_payload(core.EventType.EventCreated, [1, "two", None])
    assert anything == [1, "two", None]
    try:
        core.validate_event_payload("room_deleted", {}, trace_context="t-2")
    except ValueError as error:
        ((path, code, _message),) = issues_of(error)
        assert (path, code) == ("id", "missing")
        assert cast("_ValidationError", error).trace_context == "t-2"
    assert route(core.evaluate_delivery_event("message_created", None, MESSAGE, AGENT)) == "r1/m1 from User"
    step = core.evaluate_drain_candidate(MESSAGE, frozenset({"m1"}), AGENT)
    assert step["decision"] != "no_candidate" and step["message_id"] == "m1"
    following = core.evaluate_next_message("m1", "m2")
    assert following["decision"] == "already_processed" and following["next_open_id"] == "m2"
    assert core.evaluate_adapter_result("r1", "m1", True)["decision"] == "processed"
    core.validate_memory_type_for_system(core.MemorySystem.Sensory, "haptic")


def claims() -> None:
    registry, tracker = core.ClaimRegistry(max_completed=10), core.RetryTracker(max_retries=2)
    assert registry.guarded_claim("r1", "m1", tracker, durably_failed=True) == "runnable"
    attempts, exhausted = tracker.record_attempt("m1")
    settlement = registry.record_failed_settlement("r1", "m1", "boom", tracker, True)
    assert settlement["status"] == "failed" and settlement["error"] == "boom"
    continuation = settlement["continuation"]
    if continuation["kind"] == "retry":
        assert (continuation["attempts"], exhausted) == (attempts, False)
    assert registry.park_settlement("r1", "m1", settlement["token"], core.ParkedReason.Rejected)
    ack = registry.pending_ack("r1", "m1")
    assert ack is not None and ack["parked"] == "rejected"
    assert registry.confirm_settlement("r1", "m1", settlement["token"], tracker)


def connection() -> None:
    config = {**{key: 1.0 for key in POLICY_KEYS}, "rapid_threshold": 10, "dead_threshold_s": 2.5}
    session = core.Session(core.SessionPolicy(config))
    epoch = session.begin_attempt(0.0)
    assert epoch is not None
    outcome = session.on_socket_close(epoch, 0.5, None, jitter_sample=1.0)
    delay: float | None = outcome.retry_after_s
    assert outcome.state == core.SessionState.Connecting and delay is not None
    assert core.classify_close(1000) == (True, None)
    tracker = core.SubscriptionTracker()
    ticket = tracker.begin_room_subscribe("r1")
    assert ticket is not None
    assert tracker.record_both_room_topics_joined("r1", ticket) is core.RoomSubscribeResult.Subscribed
    assert tracker.room_rejoin_candidates() == [("r1", ticket)]
    topic = core.AgentTopicKind.Control.topic(AGENT)
    assert tracker.begin_agent_topic_join(topic) is not None and core.chat_room_topic("r1") == "chat_room:r1"


POLICY_KEYS = (
    "base_delay_s", "factor", "max_delay_s", "stable_reset_s", "rapid_disconnect_uptime_s",
    "rapid_window_s", "rapid_first_min_delay_s", "rapid_second_min_delay_s", "rapid_cooldown_base_s",
    "rapid_cooldown_step_s", "rapid_cooldown_max_s", "rapid_threshold", "heartbeat_interval_s",
)


def membership_and_turns() -> None:
    rooms = core.RoomRoster()
    reconciliation = rooms.reconcile(["r2", "r1"])
    assert [room for room, _ticket in reconciliation.admitting] == ["r1", "r2"]
    people = core.ParticipantRoster(trace_context_provider=lambda: "t-3")
    people.add({"id": "u1", "name": "Ada", "is_external": True})
    assert [p["name"] for p in people.list()] == ["Ada"]
    decisions = core.DecisionRegistry(seed=7)
    registered = decisions.register_minted(room_id="r1")
    assert registered is not None
    token, ask_ticket = registered
    assert decisions.try_claim(token, ask_ticket) == core.ClaimOutcome.Claimed
    assert decisions.cancel_room("r1").claimed == [token]
    assert core.is_authorized_sender({"u1"}, "u1")
    ledger = core.TurnLedger()
    effect = core.TurnEffect.from_wire_name("decline")
    assert effect is not None
    ledger.record(effect)
    assert ledger.verdict() == core.TurnVerdict.Complete
    assert core.vorn_tool_effects()["vorn_no_reply"] == core.TurnEffect.Decline
    assert [p["required"] for p in core.no_reply_tool()["parameters"]] == [False]
    failure = core.AgentFailure("provider", "down", detail={"b": 1, "a": [2]})
    assert failure.to_extension_data()["dev.vorn.sdk/failure"]["detail"] == {"a": [2], "b": 1}


if __name__ == "__main__":
    events()
    claims()
    connection()
    membership_and_turns()
