import pathlib
import sys

import pytest

import vorn_sdk_core as core

# The 33 classes, then the 15 functions, in registration order.
EXPECTED_NAMES = [
    "AgentFailure", "AgentTopicKind", "AgentTopicStatus", "CancelledDecisions", "ClaimOutcome",
    "ClaimRegistry", "DeadReason", "DecisionRegistry", "EventType", "LeaveOutcome",
    "MemoryListScope", "MemorySegment", "MemoryStatus", "MemoryStoreScope", "MemorySystem",
    "MemoryType", "ParkedReason", "ParticipantRoster", "RetryTracker", "RoomMembership",
    "RoomReconciliation", "RoomRoster", "RoomStatus", "RoomSubscribeResult", "Session",
    "SessionOutcome", "SessionPolicy", "SessionState", "StaleReason", "SubscriptionTracker",
    "TurnEffect", "TurnLedger", "TurnVerdict", "vorn_tool_effects", "chat_room_topic",
    "classify_close", "classify_upgrade", "evaluate_adapter_result", "evaluate_delivery_event",
    "evaluate_drain_candidate", "evaluate_next_message", "is_authorized_sender",
    "is_self_echo", "missing_reply_message", "no_reply_tool", "room_participants_topic",
    "validate_event_payload", "validate_memory_type_for_system"
]


def test_registered_names_in_order():
    assert len(EXPECTED_NAMES) == 48
    assert core.__all__ == EXPECTED_NAMES
    public = sorted(n for n in vars(core) if not n.startswith("_"))
    assert public == sorted(EXPECTED_NAMES)
    assert core.__doc__ == ""
    version_file = pathlib.Path(__file__).resolve().parents[2] / "VERSION"
    assert core.__version__ == version_file.read_text().strip()


def test_validate_event_payload_signature_and_doc():
    f = core.validate_event_payload
    assert f.__text_signature__ == "(event_type, raw, trace_context=None)"
    assert f.__doc__ == (
        "Validate and normalize an inbound platform event payload.\n\n"
        "On failure raises `ValueError` with `.issues` (a tuple of\n"
        "`(path, code, message)` triples) and `.trace_context`.")
    assert f.__module__ == "vorn_sdk_core" and f.__name__ == "validate_event_payload"


def test_core_failure_becomes_value_error_with_issues():
    payload = {"status": 1, "inserted_at": "t"}
    with pytest.raises(ValueError) as info:
        core.validate_event_payload("contact_request_updated", payload, "trace-1")
    error = info.value
    assert error.issues == (
        ("id", "missing", "required field `id` is missing"),
        ("status", "wrong_type", "`status` must be a string"),
    )
    assert all(type(part) is str for issue in error.issues for part in issue)
    assert str(error) == "2 validation issue(s): required field `id` is missing (id)"
    assert error.trace_context == "trace-1"
    with pytest.raises(ValueError) as info:
        core.validate_event_payload("contact_request_updated", payload)
    assert info.value.trace_context is None


@pytest.mark.parametrize("call,message", [
    (lambda: core.validate_event_payload(), "missing required argument 'event_type' (pos 1)"),
    (lambda: core.validate_event_payload("supersede", {}, None, 1), "takes at most 3 positional"),
    (lambda: core.validate_event_payload("supersede", {}, trace=1), "unexpected keyword argument 'trace'"),
    (lambda: core.validate_event_payload("supersede", {}, trace_context=1), "must be str, not int"),
    (lambda: core.validate_event_payload(3, {}), "event_type must be a str"),
    (lambda: core.validate_event_payload(core.SessionState.Up, {}), "event_type must be a str"),
    (lambda: core.validate_event_payload("supersede", object()), "object"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert message in str(info.value)


def test_unknown_event_type_is_a_validation_failure_checked_before_raw():
    with pytest.raises(ValueError) as info:
        core.validate_event_payload("meeting_started", b"never converted", trace_context="t-9")
    assert info.value.issues == (("event_type", "invalid_value", "unknown event type `meeting_started`"),)
    assert info.value.trace_context == "t-9"
    if sys.version_info >= (3, 11):
        assert not getattr(info.value, "__notes__", None)


def test_trace_context_is_checked_before_event_type():
    with pytest.raises(TypeError) as info:
        core.validate_event_payload(3, {}, trace_context=5)
    assert "trace_context" in str(info.value) or "trace_context" in "".join(
        getattr(info.value, "__notes__", []))


@pytest.mark.parametrize("name", EXPECTED_NAMES[:33])
def test_classes_cannot_be_changed(name):
    cls = getattr(core, name)
    attribute = next(a for a in vars(cls) if not a.startswith("__"))
    before = getattr(cls, attribute)
    for change in (lambda: setattr(cls, attribute, None), lambda: delattr(cls, attribute),
                   lambda: setattr(cls, "added", 1)):
        with pytest.raises(TypeError, match="immutable type"):
            change()
    assert getattr(cls, attribute) is before
