"""ClaimRegistry's pending entries: acknowledgement intents, settlements, tokens, parking, and the
retry tracker's part in confirmation, ending with one message's whole life."""

import pytest

from vorn_sdk_core import ClaimRegistry, ParkedReason, RetryTracker

DIFFERENT = ("error", "invalid_value", "the message already has a different pending terminal intent")
FINISHED = {"kind": "finished"}


def settlement(token, status, continuation=FINISHED, error=None):
    view = {"token": token, "status": status} | ({} if error is None else {"error": error})
    return view | {"parked": None, "continuation": continuation}


FAILED_X, PROCESSED = ("remember_failed_ack_pending", "x"), ("record_processed_settlement",)


@pytest.mark.parametrize("first,second,same", [
    (PROCESSED, PROCESSED, True),
    (("remember_ack_pending",), PROCESSED, True),
    (FAILED_X, FAILED_X, True),
    (FAILED_X, ("record_failed_settlement", "x", RetryTracker(), True), True),
    (FAILED_X, ("remember_ack_pending",), True),
    (FAILED_X, ("remember_failed_ack_pending", "y"), False),
    (("remember_ack_pending",), FAILED_X, False),
    (FAILED_X, PROCESSED, False),
    (PROCESSED, ("record_failed_settlement", "x", RetryTracker(), True), False),
    (("record_failed_settlement", "x", RetryTracker(), False),
     ("record_failed_settlement", "y", RetryTracker(), False), False),
])
def test_a_second_intent_is_accepted_only_when_it_matches(first, second, same):
    registry = ClaimRegistry()
    getattr(registry, first[0])("r", "m", *first[1:])
    before = registry.pending_settlement("r", "m")
    if same:
        getattr(registry, second[0])("r", "m", *second[1:])
    else:
        with pytest.raises(ValueError) as info:
            getattr(registry, second[0])("r", "m", *second[1:], trace_context="t-1")
        assert info.value.issues == (DIFFERENT,) and info.value.trace_context == "t-1"
    assert registry.pending_settlement("r", "m") == before and before["token"] == "0"


@pytest.mark.parametrize("max_retries,attempts,allow_retry,retry", [
    (3, 2, True, True), (3, 2, False, False), (3, 3, True, False), (3, 0, True, True), (0, 0, True, False),
])
def test_settlement_views_and_continuation(max_retries, attempts, allow_retry, retry):
    tracker = RetryTracker(max_retries=max_retries)
    for _ in range(attempts):
        tracker.record_attempt("m")
    registry = ClaimRegistry()
    view = registry.record_failed_settlement("r", "m", "e", tracker, allow_retry)
    continuation = {"kind": "retry", "attempts": attempts, "max_retries": max_retries} if retry else FINISHED
    assert list(view.items()) == list(settlement("0", "failed", continuation, error="e").items())
    processed = registry.record_processed_settlement("s", "m")
    assert list(processed.items()) == list(settlement("1", "processed").items())


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


def test_only_the_exact_token_confirms_or_parks():
    registry, tracker = ClaimRegistry(), RetryTracker()
    registry.record_processed_settlement("r", "m")
    assert registry.park_settlement("r", "m", "00", ParkedReason.NotFound) is False
    assert registry.confirm_settlement("r", "m", "00", tracker) is False
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


def test_ack_retry_counter_is_per_room_and_ends_with_confirmation():
    registry, tracker = ClaimRegistry(), RetryTracker(max_retries=2)
    assert [registry.record_ack_retry("r", "m") for _ in range(3)] == [1, 2, 3]
    assert registry.record_ack_retry("s", "m") == 1
    registry.record_failed_settlement("r", "n", "e", tracker, True)
    registry.record_ack_retry("r", "n")
    registry.confirm_settlement("r", "n", "0", tracker)
    assert registry.record_ack_retry("r", "n") == 1


@pytest.mark.parametrize("status", ["processed", "failed"])
def test_confirmation_settles_the_attempt_state(status):
    registry, tracker = ClaimRegistry(), RetryTracker(max_retries=2)
    tracker.record_attempt("m")
    if status == "processed":
        registry.record_processed_settlement("r", "m")
    else:
        # A retry recorded while budget remained; it ran out before the confirmation.
        registry.record_failed_settlement("r", "m", "e", tracker, True)
        tracker.record_attempt("m")
    assert registry.confirm_settlement("r", "m", "0", tracker) is True
    assert tracker.is_permanently_failed("m") is (status == "failed")
    if status == "processed":
        assert tracker.record_attempt("m") == (1, False)  # attempts forgotten
    else:
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
