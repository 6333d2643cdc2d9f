"""ClaimRegistry and RetryTracker: what the state machines of test_claims_model.py leave out (call
conventions and documentation), and the constructor bounds of the decision registry."""

import pytest

from vorn_sdk_core import ClaimRegistry, DecisionRegistry, RetryTracker


@pytest.mark.parametrize("call,message", [
    (lambda: ClaimRegistry().guarded_claim("r", "m", RetryTracker(), True),  # facts are keyword-only
     "guarded_claim() takes exactly 3 positional arguments (4 given)"),
    (lambda: ClaimRegistry().guarded_claim("r", "m", RetryTracker(), room_id="r"),
     "guarded_claim() got multiple values for argument 'room_id'"),
    (lambda: DecisionRegistry().unclaimed_count(1), "unclaimed_count() takes no positional arguments"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_named_arguments_bind_beside_the_facts():
    registry, tracker = ClaimRegistry(), RetryTracker()
    answer = registry.guarded_claim(self_echo=True, retry_tracker=tracker, message_id="m", room_id="q")
    assert answer == "self"
    assert registry.guarded_claim(room_id="q", message_id="m", retry_tracker=tracker) == "runnable"
    assert not hasattr(tracker, "max_tracked")


def bounds(name, low, got):
    return f"`{name}` must be an integer between {low} and 4294967295, got {got}"


SEED_BOUNDS = "`seed` must be an integer between 0 and 18446744073709551615, got "


@pytest.mark.parametrize("args,kwargs,error,message", [
    ((), {"max_pending": 0}, ValueError, bounds("max_pending", 1, 0)),
    ((), {"max_pending": 2**32}, ValueError, bounds("max_pending", 1, 2**32)),
    ((), {"max_pending": -1}, ValueError, bounds("max_pending", 1, -1)),
    ((), {"seed": -1}, ValueError, SEED_BOUNDS + "-1"),
    ((), {"seed": 2**64}, ValueError, SEED_BOUNDS + "18446744073709551616"),
    ((), {"seed": "1"}, TypeError, None),
    ((), {"max_pending": 1.5}, TypeError, None),
    ((2,), {}, TypeError, None),  # keyword-only
])
def test_decision_registry_constructor_rejects(args, kwargs, error, message):
    with pytest.raises(error) as info:
        DecisionRegistry(*args, **kwargs)
    assert message is None or str(info.value) == message


def test_decision_registry_limit_reads_back():
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


def numpy_like(name, value):
    return type(name, (), {"__module__": "numpy", "__bool__": lambda self: value})()


@pytest.mark.parametrize("flag,outcome", [
    (numpy_like("bool_", True), "retry"), (numpy_like("bool", False), "finished"),
    (1, "argument 'allow_retry' must be bool, not int"),
    (numpy_like("int8", True), "argument 'allow_retry' must be bool, not int8"),
])
def test_flags_take_bools_and_numpy_bools_only(flag, outcome):
    def settle():
        return ClaimRegistry().record_failed_settlement("r", "m", "e", RetryTracker(), flag)
    if " " not in outcome:
        assert settle()["continuation"]["kind"] == outcome
    else:
        with pytest.raises(TypeError, match=f"^{outcome}$"):
            settle()
