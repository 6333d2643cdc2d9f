"""RetryTracker: budgets, saturation of the failed marks and the two bounded stores (its constructor
bounds and documentation are in test_claims.py)."""

import pytest

from vorn_sdk_core import RetryTracker


@pytest.mark.parametrize("kwargs,outcomes", [
    ({}, [(1, False), (2, True), (3, True)]),
    ({"max_retries": 0}, [(1, True), (2, True)]),
    ({"max_retries": 3}, [(1, False), (2, False), (3, False), (4, True)]),
])
def test_attempts_exhaust_after_the_budget(kwargs, outcomes):
    tracker = RetryTracker(**kwargs)
    for attempts, exhausted in outcomes:
        assert tracker.record_attempt("m") == (attempts, exhausted)
        assert tracker.is_permanently_failed("m") is exhausted
    assert not tracker.is_permanently_failed("other")


@pytest.mark.parametrize("max_retries,recorded,discarded,next_outcome", [
    (1, 1, 1, (1, False)), (3, 3, 2, (2, False)), (3, 0, 1, (1, False)), (3, 1, 3, (1, False)),
])
def test_discard_attempt_takes_back_one_attempt(max_retries, recorded, discarded, next_outcome):
    tracker = RetryTracker(max_retries=max_retries)
    for _ in range(recorded):
        tracker.record_attempt("m")
    for _ in range(discarded):
        tracker.discard_attempt("m")
    assert tracker.record_attempt("m") == next_outcome


@pytest.mark.parametrize("forget,next_outcome", [("mark_success", (1, False)), ("discard_attempt", (2, True))])
def test_permanent_failure_outlives_the_attempt_state(forget, next_outcome):
    tracker = RetryTracker()
    tracker.record_attempt("m")
    assert tracker.record_attempt("m") == (2, True)
    getattr(tracker, forget)("m")
    assert tracker.is_permanently_failed("m")
    assert tracker.record_attempt("m") == next_outcome


def test_attempt_store_evicts_by_first_insertion():
    tracker = RetryTracker(max_retries=5, max_tracked=2)
    for m in "abc":
        tracker.record_attempt(m)
    assert tracker.record_attempt("a") == (1, False)  # evicted; now evicts "b"
    assert tracker.record_attempt("c") == (2, False)
    tracker.record_attempt("c")  # updating never reorders
    tracker.record_attempt("d")
    assert tracker.record_attempt("c") == (1, False)
    assert tracker.record_attempt("a") == (1, False)  # was oldest after "c" came back


def test_failed_store_evicts_oldest_and_ignores_repeats():
    tracker = RetryTracker(max_tracked=2)
    for m in ["a", "b", "a", "c"]:
        tracker.mark_permanently_failed(m)
    assert [tracker.is_permanently_failed(m) for m in "abc"] == [False, True, True]
    assert not hasattr(tracker, "max_tracked")
    with pytest.raises(TypeError):
        tracker.record_attempt(b"m")
