"""ClaimRegistry's pending entries: acknowledgement intents, settlements, tokens, parking, and the
retry tracker's part in confirmation, ending with one message's whole life."""

import pytest

from vorn_sdk_core import ClaimRegistry, ParkedReason, RetryTracker

DIFFERENT = ("error", "invalid_value", "the message already has a different pending terminal intent")
FINISHED = {"kind": "finished"}


def settlement(token, status, continuation=FINISHED, error=None, parked=None):
    view = {"token": token, "status": status}
    if error is not None:
        view["error"] = error
    view.update(parked=parked, continuation=continuation)
    return view


def raises_issue(issue, call, *args, trace=None):
    with pytest.raises(ValueError) as info:
        call(*args, trace_context=trace)
    assert info.value.issues == (issue,) and info.value.trace_context == trace


def test_record_processed_is_idempotent_and_keeps_its_intent():
    registry, tracker = ClaimRegistry(), RetryTracker()
    first = registry.record_processed_settlement("r", "m")
    assert first == settlement("0", "processed")
    assert list(first) == ["token", "status", "parked", "continuation"]
    assert registry.record_processed_settlement("r", "m") == first
    raises_issue(DIFFERENT, registry.record_failed_settlement, "r", "m", "boom", tracker, True,
                 trace="t-1")
    assert registry.record_processed_settlement("s", "m")["token"] == "1"
    assert registry.pending_settlement("r", "m") == first


@pytest.mark.parametrize("first,second", [
    (("remember_ack_pending",), ("record_processed_settlement",)),
    (("remember_failed_ack_pending", "x"), ("remember_failed_ack_pending", "x")),
    (("remember_failed_ack_pending", "x"), ("record_failed_settlement", "x", RetryTracker(), True)),
    (("remember_failed_ack_pending", "x"), ("remember_ack_pending",)),
])
def test_same_intent_is_accepted_from_either_family(first, second):
    registry = ClaimRegistry()
    getattr(registry, first[0])("r", "m", *first[1:])
    before = registry.pending_settlement("r", "m")
    getattr(registry, second[0])("r", "m", *second[1:])
    assert registry.pending_settlement("r", "m") == before
    assert before["token"] == "0" and before["continuation"] == FINISHED


@pytest.mark.parametrize("first,second", [
    (("remember_failed_ack_pending", "x"), ("remember_failed_ack_pending", "y")),
    (("remember_ack_pending",), ("remember_failed_ack_pending", "x")),
    (("remember_failed_ack_pending", "x"), ("record_processed_settlement",)),
    (("record_failed_settlement", "x", RetryTracker(), False),
     ("record_failed_settlement", "y", RetryTracker(), False)),
])
def test_different_intent_is_refused(first, second):
    registry = ClaimRegistry()
    getattr(registry, first[0])("r", "m", *first[1:])
    before = registry.pending_ack("r", "m")
    raises_issue(DIFFERENT, getattr(registry, second[0]), "r", "m", *second[1:])
    assert registry.pending_ack("r", "m") == before


@pytest.mark.parametrize("max_retries,attempts,allow_retry,continuation", [
    (3, 2, True, {"kind": "retry", "attempts": 2, "max_retries": 3}),
    (3, 2, False, FINISHED),
    (3, 3, True, FINISHED),
    (3, 0, True, {"kind": "retry", "attempts": 0, "max_retries": 3}),
    (0, 0, True, FINISHED),
])
def test_failed_settlement_continuation(max_retries, attempts, allow_retry, continuation):
    tracker = RetryTracker(max_retries=max_retries)
    for _ in range(attempts):
        tracker.record_attempt("m")
    view = ClaimRegistry().record_failed_settlement("r", "m", "e", tracker, allow_retry)
    assert view == settlement("0", "failed", continuation, error="e")
    assert list(view) == ["token", "status", "error", "parked", "continuation"]


def test_pending_views_and_parking():
    registry = ClaimRegistry()
    assert registry.pending_ack("r", "m") is None and registry.pending_settlement("r", "m") is None
    assert registry.park_ack("r", "m", ParkedReason.NotFound) is False
    registry.remember_failed_ack_pending("r", "m", "e")
    assert registry.park_ack("r", "m", ParkedReason.NotFound) is True
    assert registry.park_ack("r", "m", ParkedReason.Rejected) is True
    view = registry.pending_ack("r", "m")
    assert view == {"status": "failed", "error": "e", "parked": "rejected"}
    assert list(view) == ["status", "error", "parked"]
    assert registry.is_ack_pending("r", "m") and not registry.is_ack_pending("s", "m")
    registry.remember_ack_pending("r", "p")
    assert registry.pending_ack("r", "p") == {"status": "processed", "parked": None}
    with pytest.raises(TypeError):
        registry.park_ack("r", "m", "rejected")


@pytest.mark.parametrize("token", ["1", "00"])
def test_only_the_exact_token_confirms_or_parks(token):
    registry, tracker = ClaimRegistry(), RetryTracker()
    registry.record_processed_settlement("r", "m")
    assert registry.park_settlement("r", "m", token, ParkedReason.NotFound) is False
    assert registry.confirm_settlement("r", "m", token, tracker) is False
    assert registry.confirm_settlement("s", "m", "0", tracker) is False
    assert registry.pending_ack("r", "m")["parked"] is None
    assert registry.park_settlement("r", "m", "0", ParkedReason.NotFound) is True
    assert registry.confirm_settlement("r", "m", "0", tracker) is True
    assert registry.completed_ids("r") == ["m"] and not registry.is_ack_pending("r", "m")


def test_unpark_and_retryable_are_per_room():
    registry = ClaimRegistry()
    for room, m in [("r", "a"), ("s", "x"), ("r", "b"), ("r", "c")]:
        registry.remember_ack_pending(room, m)
    assert registry.pending_ack_ids("r") == ["a", "b", "c"]
    for room, m in [("r", "a"), ("s", "x"), ("r", "c")]:
        registry.park_ack(room, m, ParkedReason.Rejected)
    registry.remember_completed("r", "b")
    assert registry.has_retryable_settlement("r") is False
    assert registry.unpark_acks("r") == 2 and registry.unpark_acks("r") == 0
    assert registry.has_retryable_settlement("r") is True
    assert registry.has_retryable_settlement("s") is False
    assert registry.pending_ack("s", "x")["parked"] == "rejected"
    assert registry.unpark_acks("empty") == 0 and registry.pending_ack_ids("empty") == []


def test_ack_retry_counter_lives_until_completion_or_retry():
    registry, tracker = ClaimRegistry(), RetryTracker(max_retries=2)
    assert [registry.record_ack_retry("r", "m") for _ in range(3)] == [1, 2, 3]
    assert registry.record_ack_retry("s", "m") == 1
    registry.remember_completed("r", "m")
    assert registry.record_ack_retry("r", "m") == 1
    registry.record_failed_settlement("r", "n", "e", tracker, True)
    registry.record_ack_retry("r", "n")
    registry.confirm_settlement("r", "n", "0", tracker)
    assert registry.record_ack_retry("r", "n") == 1


def test_confirmed_retry_can_exhaust_the_budget():
    # The budget ran out between recording the retry and confirming it.
    registry, tracker = ClaimRegistry(), RetryTracker(max_retries=2)
    tracker.record_attempt("m")
    registry.record_failed_settlement("r", "m", "e", tracker, True)
    tracker.record_attempt("m")
    assert registry.confirm_settlement("r", "m", "0", tracker) is True
    assert tracker.is_permanently_failed("m")
    assert registry.delivery_eligibility("r", "m", tracker) == "exhausted"


def test_message_life():
    registry, tracker = ClaimRegistry(), RetryTracker(max_retries=2)
    claim = lambda: registry.guarded_claim("r", "m", tracker)  # noqa: E731

    # First run fails; the failure may be retried.
    assert claim() == "runnable"
    assert tracker.record_attempt("m") == (1, False)
    first = registry.record_failed_settlement("r", "m", "timeout", tracker, True)
    assert first["token"] == "0"
    assert first["continuation"] == {"kind": "retry", "attempts": 1, "max_retries": 2}
    assert claim() == "pending"
    registry.park_settlement("r", "m", "0", ParkedReason.NotFound)
    assert not registry.has_retryable_settlement("r")
    assert registry.unpark_acks("r") == 1
    assert registry.confirm_settlement("r", "m", "0", tracker) is True
    assert not registry.is_ack_pending("r", "m") and registry.completed_ids("r") == []
    assert claim() == "inflight"
    registry.release("r", "m")

    # Second run: the budget is spent, so the failure is final.
    assert claim() == "runnable"
    assert tracker.record_attempt("m") == (2, False)
    second = registry.record_failed_settlement("r", "m", "timeout", tracker, True)
    assert second == settlement("1", "failed", FINISHED, error="timeout")
    assert registry.confirm_settlement("r", "m", "0", tracker) is False  # the old token
    assert registry.confirm_settlement("r", "m", "1", tracker) is True
    assert tracker.is_permanently_failed("m")
    assert registry.completed_ids("r") == ["m"] and registry.inflight_ids("r") == ["m"]
    registry.release("r", "m")
    assert claim() == "completed"
    assert tracker.record_attempt("m") == (1, False)  # attempt state was forgotten

    # Once evicted from the completed set, the permanent failure still refuses it.
    registry.discard_completed("r")
    assert claim() == "exhausted"
    assert registry.confirm_settlement("r", "m", "1", tracker) is False


def test_processed_confirmation_forgets_attempts():
    registry, tracker = ClaimRegistry(), RetryTracker(max_retries=3)
    tracker.record_attempt("m")
    registry.record_processed_settlement("r", "m")
    assert registry.confirm_settlement("r", "m", "0", tracker) is True
    assert not tracker.is_permanently_failed("m") and tracker.record_attempt("m") == (1, False)
