"""Event validation as a Python caller sees it: accepted shapes, normalizations, every issue with
its path, code and message, in check order."""

import pytest

import vorn_sdk_core as core

MISSING = "missing"
WRONG = "wrong_type"


def missing(key):
    return (key, MISSING, f"required field `{key}` is missing")


def wrong(key, expected):
    article = "an" if expected[0] in "aeiou" else "a"
    return (key, WRONG, f"`{key}` must be {article} {expected}")


def issues(event_type, payload):
    with pytest.raises(ValueError) as info:
        core.validate_event_payload(event_type, payload)
    return info.value.issues


MESSAGE = {"id": "m", "content": "", "message_type": "x", "sender_type": "User", "sender_id": "u",
           "inserted_at": "t", "updated_at": "t"}
ROOM = {"id": "r", "inserted_at": "t", "updated_at": "t"}
PARTICIPANT = {"id": "p", "type": "User", "name": "Ada"}
CONTACT = {"id": "c", "type": "User", "inserted_at": "t", "handle": None, "name": None}
REQUEST = {"id": "q", "status": "pending", "inserted_at": "t"}
SUPERSEDE = {"reason": "r", "message": "m", "correlation_id": None}
CONTROL = {"mode": "stop", "scope": "room", "agent_id": "a", "correlation_id": "c",
           "execution_id": None, "room_id": None}


@pytest.mark.parametrize("event_type,payload,added", [
    ("message_created", MESSAGE, {"metadata": {"mentions": []}, "attachments": []}),
    ("message_updated", {**MESSAGE, "metadata": None, "attachments": None},
     {"metadata": {"mentions": []}, "attachments": []}),
    ("message_created", {**MESSAGE, "metadata": {"thread": "t1"}},
     {"metadata": {"mentions": [], "thread": "t1"}, "attachments": []}),
    ("room_added", {**ROOM, "title": None}, {}),
    ("room_removed", ROOM, {}),
    ("room_deleted", {"id": "r"}, {}),
    ("participant_added", {**PARTICIPANT, "is_external": True}, {"is_remote": True}),
    ("participant_removed", {**PARTICIPANT, "is_remote": False}, {"is_external": False}),
    ("participant_added", {**PARTICIPANT, "is_remote": False, "is_external": True}, {}),
    ("contact_added", {**CONTACT, "tags": [1, None], "listed_in_directory": True}, {}),
    ("contact_removed", {"id": "c"}, {}),
    ("contact_request_updated", {"id": "q", "status": "s"}, {}),
    ("contact_request_received", {**REQUEST, "from_handle": "h"}, {}),
    ("supersede", SUPERSEDE, {"retryable": False}),
    ("supersede", {**SUPERSEDE, "retryable": True, "retry_after": 2.0},
     {"retryable": True, "retry_after": 2}),
    ("supersede", {**SUPERSEDE, "retryable": "true", "retry_after": 2.5},
     {"retryable": False, "retry_after": None}),
    ("supersede", {**SUPERSEDE, "retry_after": -5}, {"retryable": False, "retry_after": -5}),
    ("agent.control", CONTROL, {}),
    (core.EventType.AgentControl, {**CONTROL, "reason": "r", "type": "t"}, {}),
])
def test_accepted_and_normalized(event_type, payload, added):
    extra = {"unnamed_key": {"kept": [1, "as is"]}}
    result = core.validate_event_payload(event_type, {**payload, **extra})
    assert result == {**payload, **extra, **added}
    assert list(result) == sorted(result, key=lambda k: k.encode())


@pytest.mark.parametrize("payload,removed", [
    ({**REQUEST, "from_name": None}, "from_name"),
    ({**REQUEST, "from_handle": None}, "from_handle"),
    ({**REQUEST, "message": None}, "message"),
])
def test_null_as_absent_removes_the_key(payload, removed):
    assert removed not in core.validate_event_payload("contact_request_received", payload)


@pytest.mark.parametrize("event_type,payload,expected", [
    ("message_created", {}, [missing(k) for k in ("id", "content", "message_type", "sender_type",
                                                  "sender_id", "inserted_at", "updated_at")]),
    ("message_created", {**MESSAGE, "sender_name": 3, "metadata": [], "attachments": {}},
     [wrong("sender_name", "string"), wrong("metadata", "object"), wrong("attachments", "array")]),
    ("message_created", {**MESSAGE, "metadata": {"mentions": "x"}},
     [wrong("metadata.mentions", "array")]),
    ("message_created", {**MESSAGE, "metadata": {"mentions": [
        "x", {"username": 5, "handle": None}, {"id": 1, "name": []}]}},
     [wrong("metadata.mentions[0]", "object"), missing("metadata.mentions[1].id"),
      wrong("metadata.mentions[1].username", "string"), wrong("metadata.mentions[2].id", "string"),
      wrong("metadata.mentions[2].name", "string")]),
    ("room_added", {"title": 1, "task_id": []},
     [missing("id"), missing("inserted_at"), missing("updated_at"), wrong("title", "string"),
      wrong("task_id", "string")]),
    ("room_deleted", {"id": None}, [wrong("id", "string")]),
    ("participant_added", {**PARTICIPANT, "handle": None, "description": 1, "is_remote": "yes",
                           "is_external": 0},
     [wrong("handle", "string"), wrong("description", "string"), wrong("is_remote", "boolean"),
      wrong("is_external", "boolean")]),
    ("contact_added", {"id": "c", "type": "t", "inserted_at": "t", "description": None,
                       "listed_in_directory": None, "tags": {}},
     [missing("handle"), missing("name"), wrong("description", "string"),
      wrong("listed_in_directory", "boolean"), wrong("tags", "array")]),
    ("contact_request_received", {**REQUEST, "from_handle": 1, "message": True},
     [wrong("from_handle", "string"), wrong("message", "string")]),
    ("supersede", {"reason": "r", "message": "m"}, [missing("correlation_id")]),
    ("supersede", {"reason": 1, "message": "m", "target_socket_id": 2, "correlation_id": None},
     [wrong("reason", "string"), wrong("target_socket_id", "string")]),
    ("agent.control", {**CONTROL, "mode": "Stop", "scope": "org", "reason": None},
     [("mode", "invalid_value", "`mode` must be one of: interrupt, stop, play"),
      ("scope", "invalid_value", "`scope` must be one of: agent, room"),
      wrong("reason", "string")]),
    ("agent.control", {"mode": None},
     [wrong("mode", "string"), missing("scope"), missing("agent_id"), missing("correlation_id"),
      missing("execution_id"), missing("room_id")]),
    ("message_updated", {**MESSAGE, "metadata": {"mentions": ["x", *[{"id": "u"}] * 10, 5]}},
     [wrong("metadata.mentions[0]", "object"), wrong("metadata.mentions[11]", "object")]),
    ("message_updated", dict.fromkeys(MESSAGE), [wrong(k, "string") for k in MESSAGE]),
    ("message_created", {**MESSAGE, "sender_name": None, "attachments": None}, []),
    ("participant_added", {**PARTICIPANT, "description": None}, []),
    ("supersede", {**SUPERSEDE, "target_socket_id": None}, []),
])
def test_issues_in_order(event_type, payload, expected):
    if expected:
        assert list(issues(event_type, payload)) == expected
    else:
        core.validate_event_payload(event_type, payload)


@pytest.mark.parametrize("name", sorted(
    n for n in vars(core.EventType) if n[0].isupper() and n != "EventCreated"))
def test_every_type_but_event_created_wants_an_object(name):
    assert issues(getattr(core.EventType, name), [{}]) == (("", WRONG, "payload must be a JSON object"),)


@pytest.mark.parametrize("payload", [[1, {"b": 2}], None, "s", 3.5, True])
def test_event_created_returns_any_value_unchanged(payload):
    assert core.validate_event_payload("event_created", payload) == payload


def test_message_updated_follows_the_same_rules():
    assert issues("message_updated", {}) == issues("message_created", {})


def test_keys_the_validator_adds_are_shared_between_results():
    first, second = (core.validate_event_payload("message_created", dict(MESSAGE)) for _ in range(2))
    added = ("attachments", "metadata")
    for name in added:
        assert next(k for k in first if k == name) is next(k for k in second if k == name)
    assert next(iter(first["metadata"])) is next(iter(second["metadata"]))
