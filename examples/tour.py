"""A short tour: validate a few sample inbound events and print what the host would see."""

import json

import vorn_sdk_core as core

SAMPLES = [
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


if __name__ == "__main__":
    main()
