"""DecisionRegistry's access refusals, and is_authorized_sender."""

import pytest

import vorn_sdk_core as core


@pytest.mark.parametrize("inner,message", [
    (lambda r: r.register_minted(), "Already borrowed"),
    (lambda r: r.max_pending, "Already mutably borrowed"),
])
def test_reentry_during_a_change_is_refused(inner, message):
    r = core.DecisionRegistry(seed=0)
    token, _ = r.register_minted()
    reentrant = type("Reentrant", (), {"__index__": lambda self: (inner(r), 0)[1]})()  # a ticket calling back
    with pytest.raises(RuntimeError, match=message):
        r.try_claim(token, reentrant)
    assert r.try_claim(token, 0) is core.ClaimOutcome.Claimed and r.unclaimed_count() == 0


@pytest.mark.parametrize("senders,sender,expected", [
    (None, None, True), (None, "anyone", True), (set(), "a", False), (frozenset(), None, False),
    ({"a", "b"}, "a", True), (frozenset({"a"}), "A", False), ({"a"}, None, False), ({"é"}, "é", True),
    (["a"], "a", TypeError), ({"a": 1}, "a", TypeError), ({"a", 1}, "a", TypeError),
    ({"a"}, 1, TypeError), (None, 1, TypeError),
])
def test_is_authorized_sender(senders, sender, expected):
    if expected is TypeError:
        with pytest.raises(TypeError):
            core.is_authorized_sender(senders, sender)
    else:
        assert core.is_authorized_sender(senders, sender) is expected
