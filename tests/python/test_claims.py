"""ClaimRegistry: claims, completed sets, eligibility and delivery facts."""

import pytest

from vorn_sdk_core import ClaimRegistry, RetryTracker

FACT_NAMES = "`self_echo`, `durably_processed`, `durably_failed`, `allow_failed_retry`"


def registry_with(states, tracker):
    registry = ClaimRegistry()
    if "inflight" in states:
        registry.try_claim("r", "m")
    if "completed" in states:
        registry.remember_completed("r", "m")
    if "pending" in states:
        registry.remember_ack_pending("r", "m")
    if "exhausted" in states:
        tracker.mark_permanently_failed("m")
    return registry


@pytest.mark.parametrize("states,facts,expected", [
    ((), {}, "runnable"),
    (("inflight", "completed", "pending", "exhausted"), {"self_echo": True}, "self"),
    (("pending", "completed", "exhausted"), {}, "pending"),
    (("completed", "inflight", "exhausted"), {}, "completed"),
    ((), {"durably_processed": True}, "completed"),
    ((), {"durably_failed": True}, "runnable"),
    ((), {"durably_failed": True, "allow_failed_retry": False}, "failed"),
    (("exhausted",), {"durably_failed": True, "allow_failed_retry": False}, "exhausted"),
    (("inflight",), {"durably_failed": True, "allow_failed_retry": False}, "failed"),
    (("inflight",), {"allow_failed_retry": False}, "inflight"),
    (("inflight",), {"self_echo": False, "durably_processed": False}, "inflight"),
])
def test_eligibility_precedence(states, facts, expected):
    tracker = RetryTracker()
    registry = registry_with(states, tracker)
    assert registry.delivery_eligibility("r", "m", tracker, **facts) == expected
    assert registry.delivery_eligibility("r2", "m2", tracker) == "runnable"


def test_guarded_claim_claims_only_when_runnable():
    tracker, registry = RetryTracker(), ClaimRegistry()
    assert registry.guarded_claim("r", "m", tracker, durably_processed=True) == "completed"
    assert registry.inflight_ids("r") == []
    assert registry.guarded_claim("r", "m", tracker) == "runnable"
    assert registry.guarded_claim("r", "m", tracker) == "inflight"
    assert registry.try_claim("r", "m") is False
    assert registry.guarded_claim("s", "m", tracker) == "runnable"  # rooms scope the key
    registry.release("r", "m")
    registry.release("r", "m")
    assert registry.inflight_ids("r") == [] and registry.inflight_ids("s") == ["m"]
    assert registry.try_claim("r", "m") is True


def test_eligibility_refreshes_the_completed_id():
    registry = ClaimRegistry(max_completed=2)
    for m in "ab":
        registry.remember_completed("r", m)
    assert registry.delivery_eligibility("r", "a", RetryTracker(), durably_processed=True) \
        == "completed"
    registry.remember_completed("r", "c")
    assert registry.completed_ids("r") == ["a", "c"]


@pytest.mark.parametrize("script,expected", [
    ("+a +b +c", ["b", "c"]),
    ("+a +b +c ?b +d", ["b", "d"]),
    ("+a +b +a", ["b", "a"]),
    ("+a +b ?x +c", ["b", "c"]),
    ("+a +b -r +c", ["c"]),
])
def test_completed_set_keeps_the_most_recent(script, expected):
    registry = ClaimRegistry(max_completed=2)
    for op in script.split():
        if op[0] == "+":
            registry.remember_completed("r", op[1:])
        elif op[0] == "?":
            registry.is_completed("r", op[1:])
        else:
            registry.discard_completed(op[1:])
    assert registry.completed_ids("r") == expected
    assert registry.is_completed("r", "a") is ("a" in expected)


def test_completed_sets_are_bounded_per_room():
    registry = ClaimRegistry(max_completed=1)
    registry.remember_completed("r", "m")
    registry.remember_completed("s", "m")
    assert registry.completed_ids("r") == ["m"] and registry.completed_ids("unknown") == []
    assert registry.max_completed == 1 and ClaimRegistry().max_completed == 500


def test_remember_completed_drops_pending_but_not_the_claim():
    registry = ClaimRegistry()
    registry.try_claim("r", "m")
    registry.remember_failed_ack_pending("r", "m", "boom")
    registry.record_ack_retry("r", "m")
    registry.remember_completed("r", "m")
    assert not registry.is_ack_pending("r", "m") and registry.pending_ack("r", "m") is None
    assert registry.inflight_ids("r") == ["m"]
    assert registry.record_ack_retry("r", "m") == 1


@pytest.mark.parametrize("facts,message", [
    ({"self_echo": 1}, "delivery facts must be bool values"),
    ({"selfecho": True}, "unknown field `selfecho`, expected one of " + FACT_NAMES),
    # values are checked before names
    ({"selfecho": True, "durably_failed": None}, "delivery facts must be bool values"),
    ({"room": "x"}, "delivery facts must be bool values"),
])
@pytest.mark.parametrize("method", ["delivery_eligibility", "guarded_claim"])
def test_bad_facts_change_nothing(method, facts, message):
    registry, tracker = ClaimRegistry(), RetryTracker()
    registry.remember_completed("r", "m")
    registry.remember_completed("r", "x")
    with pytest.raises(TypeError) as info:
        getattr(registry, method)("r", "m", tracker, **facts)
    assert str(info.value) == message
    assert registry.completed_ids("r") == ["m", "x"]  # no refresh of "m"
    with pytest.raises(TypeError):
        getattr(registry, method)("r", "new", tracker, **facts)
    assert registry.inflight_ids("r") == []


@pytest.mark.parametrize("args", [(1, "m", RetryTracker()), ("r", "m", ClaimRegistry()),
                                  ("r", "m", RetryTracker(), True)])
def test_argument_types(args):
    with pytest.raises(TypeError):
        ClaimRegistry().guarded_claim(*args)


def test_named_arguments_still_bind_beside_the_facts():
    registry, tracker = ClaimRegistry(), RetryTracker()
    with pytest.raises(TypeError, match="multiple values for argument 'room_id'"):
        registry.guarded_claim("r", "m", tracker, room_id="r")
    assert registry.guarded_claim(self_echo=True, retry_tracker=tracker, message_id="m",
                                  room_id="r") == "self"


@pytest.mark.parametrize("value,error,message", [
    (0, ValueError, "`max_completed` must be an integer between 1 and 4294967295, got 0"),
    (2**32, ValueError,
     "`max_completed` must be an integer between 1 and 4294967295, got 4294967296"),
    (-5, ValueError, "`max_completed` must be an integer between 1 and 4294967295, got -5"),
    ("3", TypeError, None),
])
def test_constructor_rejects(value, error, message):
    with pytest.raises(error) as info:
        ClaimRegistry(max_completed=value)
    if message:
        assert str(info.value) == message


def test_doc_strings():
    assert ClaimRegistry.__text_signature__ == "(max_completed=...)"
    assert ClaimRegistry.try_claim.__doc__ is None
    assert ClaimRegistry.guarded_claim.__text_signature__ == (
        "($self, room_id, message_id, retry_tracker, *, self_echo=False, "
        "durably_processed=False, durably_failed=False, allow_failed_retry=True)")
    assert ClaimRegistry.park_ack.__doc__ == (
        "Mark a pending entry parked for `reason`; `False` when nothing is\n"
        "pending for the message.")
