"""RetryTracker: budgets, saturation of the failed marks, the two bounded stores, and its
constructor checks."""

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
    (1, 1, 1, (1, False)),  # taking back the only attempt forgets the message
    (3, 2, 1, (2, False)),
    (3, 3, 2, (2, False)),
    (3, 0, 1, (1, False)),  # nothing to take back
    (3, 1, 3, (1, False)),
])
def test_discard_attempt_takes_back_one_attempt(max_retries, recorded, discarded, next_outcome):
    tracker = RetryTracker(max_retries=max_retries)
    for _ in range(recorded):
        tracker.record_attempt("m")
    for _ in range(discarded):
        tracker.discard_attempt("m")
    assert tracker.record_attempt("m") == next_outcome


@pytest.mark.parametrize("forget,next_outcome", [
    ("mark_success", (1, False)),
    ("discard_attempt", (2, True)),
])
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


def test_max_retries_property():
    assert RetryTracker().max_retries == 1
    assert RetryTracker(max_retries=2**32 - 1, max_tracked=1).max_retries == 2**32 - 1
    assert not hasattr(RetryTracker(), "max_tracked")


@pytest.mark.parametrize("kwargs,error,message", [
    ({"max_tracked": 0}, ValueError,
     "`max_tracked` must be an integer between 1 and 4294967295, got 0"),
    ({"max_retries": -1}, ValueError,
     "`max_retries` must be an integer between 0 and 4294967295, got -1"),
    ({"max_retries": 2**32}, ValueError,
     "`max_retries` must be an integer between 0 and 4294967295, got 4294967296"),
    ({"max_retries": 2.0}, TypeError, None),
    ({"max_tracked": "1"}, TypeError, None),
])
def test_constructor_rejects(kwargs, error, message):
    with pytest.raises(error) as info:
        RetryTracker(**kwargs)
    if message:
        assert str(info.value) == message


def test_doc_strings():
    assert RetryTracker.__text_signature__ == "(max_retries=..., max_tracked=...)"
    assert RetryTracker.__doc__ == (
        "Per-message retry budget: bounded attempt/failure tracking plus\n"
        "`discard_attempt` for a cycle the caller's own control signal aborted\n"
        "before it ran the handler.")
    assert RetryTracker.record_attempt.__doc__ is None
    with pytest.raises(TypeError):
        RetryTracker().record_attempt(b"m")
