import pytest

import vorn_sdk_core as core

AGENT = "agent-1"


def message(**overrides):
    payload = {
        "id": "m1", "content": "hi", "message_type": "text", "sender_type": "User",
        "sender_id": "u1", "inserted_at": "t0", "updated_at": "t0", "chat_room_id": "r1",
    }
    payload.update(overrides)
    return {k: v for k, v in payload.items() if v is not DROP}


DROP = object()


def issues_of(call):
    with pytest.raises(ValueError) as info:
        call()
    return info.value.issues, info.value.trace_context


@pytest.mark.parametrize("event_type", ["message_updated", "room_added", "agent.control",
                                        "Message_Created", "bogus", "event_created", ""])
@pytest.mark.parametrize("payload", [{}, [], None, {"id": 5}])
def test_other_event_types_are_ignored_without_looking_at_the_payload(event_type, payload):
    assert core.evaluate_delivery_event(event_type, None, payload, AGENT) == {
        "decision": "ignored", "event_type": event_type}


@pytest.mark.parametrize("event_type", ["room_removed", "room_deleted"])
@pytest.mark.parametrize("room_id,payload,expected", [
    (None, {"id": "r1"}, "r1"),
    ("", {"id": "r1"}, "r1"),
    ("r0", {"id": "r1"}, "r0"),
    ("r0", {"id": 5}, "r0"),
    ("r0", ["not", "an", "object"], "r0"),
])
def test_cleanup_resolves_the_room(event_type, room_id, payload, expected):
    result = core.evaluate_delivery_event(event_type, room_id, payload, AGENT)
    assert result == {"decision": "cleanup", "room_id": expected}
    assert list(result) == ["decision", "room_id"]


MISSING_ROOM = ("room_id", "missing", "room_id is missing from both the envelope and the payload")


@pytest.mark.parametrize("payload,issue", [
    ({"id": 5}, ("room_id", "wrong_type", "payload.id must be a string to serve as room_id")),
    ({"id": [1]}, ("room_id", "wrong_type", "payload.id must be a string to serve as room_id")),
    ({"id": None}, MISSING_ROOM),
    ({"id": ""}, MISSING_ROOM),
    ({}, MISSING_ROOM),
    ([], MISSING_ROOM),
])
def test_cleanup_room_failures(payload, issue):
    assert issues_of(lambda: core.evaluate_delivery_event("room_removed", "", payload, AGENT,
                                                          trace_context="tc")) == ((issue,), "tc")


@pytest.mark.parametrize("room_id,payload,expected", [
    (None, message(), {"decision": "invocation", "room_id": "r1", "message_id": "m1",
                       "sender_id": "u1", "sender_type": "User"}),
    ("env", message(chat_room_id=DROP), {"decision": "invocation", "room_id": "env",
                                         "message_id": "m1", "sender_id": "u1",
                                         "sender_type": "User"}),
    (None, message(sender_type="Agent", sender_id=AGENT),
     {"decision": "skip_self", "room_id": "r1", "message_id": "m1"}),
    (None, message(sender_type="agent", sender_id=AGENT),
     {"decision": "invocation", "room_id": "r1", "message_id": "m1", "sender_id": AGENT,
      "sender_type": "agent"}),
    (None, message(sender_type="Agent", sender_id="someone-else"),
     {"decision": "invocation", "room_id": "r1", "message_id": "m1",
      "sender_id": "someone-else", "sender_type": "Agent"}),
])
def test_message_created_routes(room_id, payload, expected):
    result = core.evaluate_delivery_event("message_created", room_id, payload, AGENT)
    assert result == expected
    assert list(result) == list(expected)


def test_decisions_hand_back_the_callers_strings():
    payload = message()
    result = core.evaluate_delivery_event("message_created", None, payload, AGENT)
    assert result["message_id"] is payload["id"] and result["room_id"] is payload["chat_room_id"]
    event_type = "some_" + "event"
    assert core.evaluate_delivery_event(event_type, None, {}, AGENT)["event_type"] is event_type


@pytest.mark.parametrize("room_id,payload,issues", [
    (None, message(id=""), (("id", "missing", "id must be a non-empty string"),)),
    (None, message(id="", chat_room_id=DROP), (("id", "missing", "id must be a non-empty string"),)),
    (None, message(chat_room_id=DROP), (MISSING_ROOM,)),
    (None, message(chat_room_id=7), (("room_id", "wrong_type",
                                      "payload.chat_room_id must be a string to serve as room_id"),)),
    ("r", message(content=None, sender_id=DROP), (
        ("content", "wrong_type", "`content` must be a string"),
        ("sender_id", "missing", "required field `sender_id` is missing"))),
    (None, [], (("", "wrong_type", "payload must be a JSON object"),)),
])
@pytest.mark.parametrize("trace_context", [None, "trace-7"])
def test_message_created_failures(room_id, payload, issues, trace_context):
    assert issues_of(lambda: core.evaluate_delivery_event(
        "message_created", room_id, payload, AGENT, trace_context)) == (issues, trace_context)


@pytest.mark.parametrize("args,fragment", [
    (("message_created", None, {"a": b"x"}, AGENT), "byte array"),
    (("bogus", None, {1: 2}, AGENT), "str"),  # converted even when the type is ignored
    ((5, None, {}, AGENT), "event_type"),
    (("bogus", 5, {}, AGENT), "room_id"),
    (("bogus", None, {}, None), "agent_id"),
    (("bogus", None, {}, AGENT, 5), "trace_context"),
])
def test_delivery_event_type_errors(args, fragment):
    with pytest.raises(TypeError) as info:
        core.evaluate_delivery_event(*args)
    assert fragment in str(info.value) + "".join(getattr(info.value, "__notes__", []))


def candidate(id="m1", sender_id="u1", sender_type="User", **extra):
    return {"id": id, "sender_id": sender_id, "sender_type": sender_type, **extra}


@pytest.mark.parametrize("cand,seen,expected", [
    (None, [], {"decision": "no_candidate"}),
    (None, ["m1"], {"decision": "no_candidate"}),
    (candidate(), ["m0", "m1"], {"decision": "drain", "message_id": "m1"}),
    (candidate(), {"m1"}, {"decision": "drain", "message_id": "m1"}),
    (candidate(), frozenset(), {"decision": "out_of_snapshot", "message_id": "m1"}),
    (candidate(), ["m2"], {"decision": "out_of_snapshot", "message_id": "m1"}),
    (candidate(), {"m1": 1}.keys(), {"decision": "drain", "message_id": "m1"}),
    (candidate(), (s for s in ["m1", "m1"]), {"decision": "drain", "message_id": "m1"}),
    (candidate(sender_type="Agent", sender_id=AGENT), ["m1"],
     {"decision": "self_echo", "message_id": "m1"}),
    (candidate(extra_key=[1, 2]), ("M1",), {"decision": "out_of_snapshot", "message_id": "m1"}),
])
def test_drain_steps(cand, seen, expected):
    assert core.evaluate_drain_candidate(cand, seen, AGENT) == expected


@pytest.mark.parametrize("cand,seen,agent,message", [
    (candidate(), [], 5, "agent_id"),
    ({"id": b"x"}, [], AGENT, "byte array"),
    ({"id": "m1", "sender_id": "u1"}, [], AGENT, "candidate.sender_type must be a string"),
    ({"sender_id": 1}, [], AGENT, "candidate.id must be a string"),
    ({"id": "m1", "sender_id": None, "sender_type": 3}, [], AGENT,
     "candidate.sender_id must be a string"),
    (["m1"], [], AGENT, "candidate.id must be a string"),
    (candidate(), "abc", AGENT, "`seen_ids` must be an iterable of str, not a str"),
    (None, "abc", AGENT, "`seen_ids` must be an iterable of str, not a str"),
    (None, 5, AGENT, "not iterable"),
    (None, ["a", 5], AGENT, "must be str, not int"),
])
def test_drain_type_errors_in_order(cand, seen, agent, message):
    with pytest.raises(TypeError) as info:
        core.evaluate_drain_candidate(cand, seen, agent)
    assert message in str(info.value) + "".join(getattr(info.value, "__notes__", []))


def test_drain_accepts_str_subclass_ids_and_stops_at_a_failing_iterator():
    class Name(str):
        pass

    assert core.evaluate_drain_candidate(candidate(), [Name("m1")], AGENT)["decision"] == "drain"

    def broken():
        yield "m1"
        raise KeyError("iteration broke")

    with pytest.raises(KeyError, match="iteration broke"):
        core.evaluate_drain_candidate(candidate(), broken(), AGENT)


@pytest.mark.parametrize("triggering,next_id,expected", [
    ("m1", "m1", {"decision": "ready_to_claim"}),
    ("m1", "m2", {"decision": "already_processed", "next_open_id": "m2"}),
    ("m1", None, {"decision": "no_pending"}),
    ("m1", "", {"decision": "already_processed", "next_open_id": ""}),
])
def test_next_message(triggering, next_id, expected):
    assert core.evaluate_next_message(triggering, next_id) == expected


def test_next_message_arguments_are_required_and_typed():
    with pytest.raises(TypeError, match="missing required argument 'next_message_id'"):
        core.evaluate_next_message("m1")
    with pytest.raises(TypeError):
        core.evaluate_next_message("m1", 2)


@pytest.mark.parametrize("succeeded,tag", [(True, "processed"), (False, "failed")])
def test_adapter_result(succeeded, tag):
    result = core.evaluate_adapter_result("r1", "m1", succeeded)
    assert list(result.items()) == [("decision", tag), ("room_id", "r1"), ("message_id", "m1")]


def test_adapter_result_requires_a_real_bool():
    with pytest.raises(TypeError):
        core.evaluate_adapter_result("r1", "m1", 1)


@pytest.mark.parametrize("args,expected", [
    (("a1", "Agent", "a1"), True),
    (("a1", "Agent ", "a1"), False),
    (("a1", "agent", "a1"), False),
    (("a1", "Agent", "a2"), False),
    (("", "Agent", ""), True),
])
def test_is_self_echo(args, expected):
    assert core.is_self_echo(*args) is expected


DOCS = {
    "evaluate_delivery_event": "(event_type, room_id, payload, agent_id, trace_context=None)",
    "evaluate_drain_candidate": "(candidate, seen_ids, agent_id)",
    "evaluate_next_message": "(triggering_message_id, next_message_id)",
    "evaluate_adapter_result": "(room_id, message_id, succeeded)",
    "is_self_echo": "(sender_id, sender_type, agent_id)",
}


@pytest.mark.parametrize("name,signature", DOCS.items())
def test_signatures(name, signature):
    assert getattr(core, name).__text_signature__ == signature


def test_doc_texts():
    assert core.evaluate_adapter_result.__doc__ == "Adapter outcome -> ack decision."
    assert core.evaluate_next_message.__doc__ == (
        "Compares the triggering message against the platform's authoritative\n"
        "\"next open message\" for a room.")
    assert core.is_self_echo.__doc__.startswith(
        "The one definition of \"self echo\" (`sender_type == \"Agent\" and\n")
