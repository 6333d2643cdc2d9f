"""One message's whole life through the claim registry and the retry tracker; every step of it is
also played at random against the reference model in test_claims_model.py."""

from vorn_sdk_core import ClaimRegistry, ParkedReason, RetryTracker


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
    assert list(second.items()) == [("token", "1"), ("status", "failed"), ("error", "timeout"),
                                    ("parked", None), ("continuation", {"kind": "finished"})]
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
