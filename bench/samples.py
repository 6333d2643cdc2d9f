"""Realistic inbound payloads, one per event type, as the platform sends them."""

STAMP = "2026-12-06T07:00:00Z"
ROOM = {"id": "room-42", "title": "Build failures", "task_id": None, "inserted_at": STAMP,
        "updated_at": STAMP, "kind": "group"}
PARTICIPANT = {"id": "user-7", "type": "User", "name": "Grace", "handle": "grace",
               "description": None, "is_external": False}

MESSAGE = {
    "id": "msg-0001",
    "chat_room_id": "room-42",
    "content": "hello @ada, can you look at the failing build?",
    "message_type": "text",
    "sender_type": "User",
    "sender_id": "user-7",
    "sender_name": "Grace",
    "inserted_at": STAMP,
    "updated_at": STAMP,
    "metadata": {"mentions": [{"id": "agent-1", "username": "ada", "handle": "ada", "name": "Ada"}]},
    "attachments": [],
}

PAYLOADS = {
    "message_created": MESSAGE,
    "message_updated": {**MESSAGE, "content": "edit: the nightly build, not the release one",
                        "updated_at": "2026-12-06T07:02:10Z", "metadata": None,
                        "attachments": [{"name": "build.log", "size": 18234}]},
    "room_added": ROOM,
    "room_removed": ROOM,
    "room_deleted": {"id": "room-42"},
    "participant_added": PARTICIPANT,
    "participant_removed": {**PARTICIPANT, "is_external": None, "is_remote": True},
    "contact_request_received": {"id": "cr-9", "status": "pending", "inserted_at": STAMP,
                                 "from_handle": "grace", "from_name": None,
                                 "message": "Hi, can we connect?"},
    "contact_request_updated": {"id": "cr-9", "status": "accepted"},
    "contact_added": {"id": "contact-3", "type": "User", "inserted_at": STAMP, "handle": "grace",
                      "name": "Grace", "description": "Release manager",
                      "listed_in_directory": True, "tags": ["ops"], "is_remote": False},
    "contact_removed": {"id": "contact-3"},
    "supersede": {"reason": "new_connection", "message": "Another socket took over this agent",
                  "target_socket_id": None, "correlation_id": "c-77", "retryable": True,
                  "retry_after": 5.0},
    "agent.control": {"mode": "stop", "scope": "room", "agent_id": "agent-1",
                      "correlation_id": "c-78", "execution_id": "exec-5", "room_id": "room-42",
                      "reason": "user requested", "type": "control"},
    "event_created": {"id": "evt-1", "kind": "reaction", "inserted_at": STAMP,
                      "data": {"emoji": "+1", "message_id": "msg-0001", "by": ["user-7"]}},
}
