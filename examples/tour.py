"""A short tour of the decisions the module makes for its host, on built-in sample data."""

import json

import vorn_sdk_core as core

MESSAGE = {
    "id": "msg-1", "chat_room_id": "room-1", "content": "hello @ada", "message_type": "text",
    "sender_type": "User", "sender_id": "u-7", "inserted_at": "2026-12-01T10:00:00Z",
    "updated_at": "2026-12-01T10:00:00Z",
    "metadata": {"mentions": [{"id": "agent-1", "username": "ada"}]},
}

SAMPLES = [
    ("message_created", MESSAGE),
    ("room_added", {"id": "room-1", "inserted_at": "2026-12-01T10:00:00Z",
                    "updated_at": "2026-12-01T10:00:00Z", "title": None, "colour": "teal"}),
    ("participant_added", {"id": "u-7", "type": "User", "name": "Ada", "is_external": True}),
    ("supersede", {"reason": "new_socket", "message": "replaced", "correlation_id": None,
                   "retry_after": 2.0}),
    ("contact_request_received", {"id": "cr-1", "status": "pending",
                                  "inserted_at": "2026-12-01T10:00:00Z", "from_name": None}),
    (core.EventType.AgentControl, {"mode": "Stop", "scope": "room", "agent_id": "a-1"}),
    ("room_deleted", ["not", "an", "object"]),
    ("meeting_started", {"id": "m-1"}),
]


def main() -> None:
    for event_type, payload in SAMPLES:
        name = str(event_type)
        try:
            normalized = core.validate_event_payload(event_type, payload, trace_context="demo")
        except ValueError as error:
            print(f"{name}: rejected ({error})")
            for path, code, message in error.issues:
                print(f"    {path or '<payload>'}: {code}: {message}")
        else:
            print(f"{name}: accepted -> {json.dumps(normalized)}")

    print()
    print("routing, as the agent 'agent-1' sees it:")
    routes = [
        ("message_created", None, MESSAGE),
        ("message_created", None, {**MESSAGE, "sender_type": "Agent", "sender_id": "agent-1"}),
        ("room_deleted", "room-9", {}),
        ("participant_added", None, {}),
    ]
    for event_type, room_id, payload in routes:
        print(f"  {event_type}: {core.evaluate_delivery_event(event_type, room_id, payload, 'agent-1')}")
    seen = ["msg-0", "msg-1"]
    for candidate in ({"id": "msg-1", "sender_id": "u-7", "sender_type": "User"},
                      {"id": "msg-5", "sender_id": "u-7", "sender_type": "User"}, None):
        print(f"  drain {candidate and candidate['id']}: "
              f"{core.evaluate_drain_candidate(candidate, seen, 'agent-1')}")
    print(f"  adapter succeeded: {core.evaluate_adapter_result('room-1', 'msg-1', True)}")

    print()
    print("one message's life in the claim registry (the first run fails, the retry succeeds):")
    registry, tracker = core.ClaimRegistry(), core.RetryTracker(max_retries=2)
    print(f"  claim: {registry.guarded_claim('room-1', 'msg-1', tracker)}")
    print(f"  attempt: {tracker.record_attempt('msg-1')}")
    failed = registry.record_failed_settlement("room-1", "msg-1", "provider timeout", tracker, True)
    print(f"  failed settlement: {failed}")
    print(f"  platform accepted it: {registry.confirm_settlement('room-1', 'msg-1', failed['token'], tracker)}")
    registry.release("room-1", "msg-1")
    print(f"  claim again: {registry.guarded_claim('room-1', 'msg-1', tracker)}")
    print(f"  attempt: {tracker.record_attempt('msg-1')}")
    done = registry.record_processed_settlement("room-1", "msg-1")
    print(f"  processed settlement: {done}")
    print(f"  platform accepted it: {registry.confirm_settlement('room-1', 'msg-1', done['token'], tracker)}")
    registry.release("room-1", "msg-1")
    print(f"  claim once more: {registry.guarded_claim('room-1', 'msg-1', tracker)}")

    print()
    print("a connection that keeps dropping soon after it comes up:")
    session = core.Session(core.SessionPolicy.default())
    now = 0.0
    for _ in range(4):
        epoch = session.begin_attempt(now)
        session.on_connected(epoch, now + 0.5)
        outcome = session.on_socket_close(epoch, now + 2.0, 1006, 0.5)
        print(f"  closed at {now + 2.0:5.1f}s -> {outcome.state}, retry after {outcome.retry_after_s}s")
        now += 2.0 + (outcome.retry_after_s or 0.0)


if __name__ == "__main__":
    main()
