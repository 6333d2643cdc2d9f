"""ClaimRegistry: claims, completed sets, eligibility and delivery facts; the constructor bounds and
documentation of the registries and the retry tracker."""

import pytest

from vorn_sdk_core import ClaimRegistry, DecisionRegistry, RetryTracker

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
    (("inflight",), {"self_echo": False, "allow_failed_retry": False}, "inflight"),
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
    # named arguments still bind beside the facts
    assert registry.guarded_claim(self_echo=True, retry_tracker=tracker, message_id="m", room_id="q") == "self"


@pytest.mark.parametrize("script,expected", [
    ("+a +b +c", ["b", "c"]),
    ("+a +b +c ?b +d", ["b", "d"]),
    ("+a +b +a", ["b", "a"]),
    ("+a +b ?x +c", ["b", "c"]),
    ("+a +b !a +c", ["a", "c"]),  # eligibility with a durable fact refreshes too
    ("+a +b -r +c", ["c"]),
    ("+a +b +c =s:a", ["b", "c"]),  # sets are per room
])
def test_completed_set_keeps_the_most_recent(script, expected):
    registry = ClaimRegistry(max_completed=2)
    for op, arg in ((op[0], op[1:]) for op in script.split()):
        if op == "+":
            registry.remember_completed("r", arg)
        elif op == "?":
            registry.is_completed("r", arg)
        elif op == "!":
            registry.delivery_eligibility("r", arg, RetryTracker(), durably_processed=True)
        elif op == "=":
            registry.remember_completed(*arg.split(":"))
        else:
            registry.discard_completed(arg)
    assert registry.completed_ids("r") == expected
    assert registry.is_completed("r", "a") is ("a" in expected)


def test_remember_completed_drops_pending_but_not_the_claim():
    registry = ClaimRegistry()
    registry.try_claim("r", "m")
    registry.remember_failed_ack_pending("r", "m", "boom")
    registry.record_ack_retry("r", "m")
    registry.remember_completed("r", "m")
    assert not registry.is_ack_pending("r", "m") and registry.pending_ack("r", "m") is None
    assert registry.inflight_ids("r") == ["m"] and registry.completed_ids("unknown") == []
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


@pytest.mark.parametrize("args,kwargs,message", [
    ((1, "m", RetryTracker()), {}, ""), (("r", "m", ClaimRegistry()), {}, ""),
    (("r", "m", RetryTracker(), True), {}, ""),
    (("r", "m", RetryTracker()), {"room_id": "r"}, "multiple values for argument 'room_id'"),
])
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError, match=message):
        ClaimRegistry().guarded_claim(*args, **kwargs)


def bounds(name, low, got):
    return f"`{name}` must be an integer between {low} and 4294967295, got {got}"


SEED_BOUNDS = "`seed` must be an integer between 0 and 18446744073709551615, got "


@pytest.mark.parametrize("cls,args,kwargs,error,message", [
    (ClaimRegistry, (), {"max_completed": 0}, ValueError, bounds("max_completed", 1, 0)),
    (ClaimRegistry, (), {"max_completed": 2**32}, ValueError, bounds("max_completed", 1, 2**32)),
    (ClaimRegistry, (), {"max_completed": -5}, ValueError, bounds("max_completed", 1, -5)),
    (ClaimRegistry, (), {"max_completed": "3"}, TypeError, None),
    (RetryTracker, (), {"max_tracked": 0}, ValueError, bounds("max_tracked", 1, 0)),
    (RetryTracker, (), {"max_retries": -1}, ValueError, bounds("max_retries", 0, -1)),
    (RetryTracker, (), {"max_retries": 2**32}, ValueError, bounds("max_retries", 0, 2**32)),
    (RetryTracker, (), {"max_retries": 2.0}, TypeError, None),
    (RetryTracker, (), {"max_tracked": "1"}, TypeError, None),
    (DecisionRegistry, (), {"max_pending": 0}, ValueError, bounds("max_pending", 1, 0)),
    (DecisionRegistry, (), {"max_pending": 2**32}, ValueError, bounds("max_pending", 1, 2**32)),
    (DecisionRegistry, (), {"max_pending": -1}, ValueError, bounds("max_pending", 1, -1)),
    (DecisionRegistry, (), {"seed": -1}, ValueError, SEED_BOUNDS + "-1"),
    (DecisionRegistry, (), {"seed": 2**64}, ValueError, SEED_BOUNDS + "18446744073709551616"),
    (DecisionRegistry, (), {"seed": "1"}, TypeError, None),
    (DecisionRegistry, (), {"max_pending": 1.5}, TypeError, None),
    (DecisionRegistry, (2,), {}, TypeError, None),  # keyword-only
])
def test_constructor_rejects(cls, args, kwargs, error, message):
    with pytest.raises(error) as info:
        cls(*args, **kwargs)
    assert message is None or str(info.value) == message


def test_limits_read_back():
    assert (ClaimRegistry().max_completed, ClaimRegistry(max_completed=1).max_completed) == (500, 1)
    assert (RetryTracker().max_retries, RetryTracker(max_retries=2**32 - 1).max_retries) == (1, 2**32 - 1)
    assert DecisionRegistry(max_pending=2**32 - 1, seed=0).max_pending == 2**32 - 1


@pytest.mark.parametrize("obj,signature,doc", [
    (ClaimRegistry, "(max_completed=...)", ...),
    (ClaimRegistry.try_claim, ..., None),
    (ClaimRegistry.guarded_claim,
     "($self, room_id, message_id, retry_tracker, *, self_echo=False, durably_processed=False, "
     "durably_failed=False, allow_failed_retry=True)", ...),
    (ClaimRegistry.park_ack, ...,
     "Mark a pending entry parked for `reason`; `False` when nothing is\npending for the message."),
    (RetryTracker, "(max_retries=..., max_tracked=...)",
     "Per-message retry budget: bounded attempt/failure tracking plus\n`discard_attempt` for a cycle "
     "the caller's own control signal aborted\nbefore it ran the handler."),
    (RetryTracker.record_attempt, ..., None),
])
def test_documentation(obj, signature, doc):
    assert signature is ... or obj.__text_signature__ == signature
    assert doc is ... or obj.__doc__ == doc
