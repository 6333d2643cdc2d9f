"""DecisionRegistry, CancelledDecisions and is_authorized_sender as a Python caller sees them."""

import os
import re

import pytest

import vorn_sdk_core as core

Outcome = core.ClaimOutcome
MASK = 2**64 - 1


def reference_tokens(seed, n):
    """An independent SplitMix64: the low 32 bits of each output as eight hex digits."""
    tokens = []
    for _ in range(n):
        seed = (seed + 0x9E3779B97F4A7C15) & MASK
        z = ((seed ^ (seed >> 30)) * 0xBF58476D1CE4E5B9) & MASK
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & MASK
        tokens.append(format((z ^ (z >> 31)) & 0xFFFFFFFF, "08x"))
    return tokens


@pytest.mark.parametrize("seed", [0, 0xDEADBEEF, MASK])
def test_minted_tokens_follow_splitmix64(seed):
    a, b = core.DecisionRegistry(seed=seed), core.DecisionRegistry(seed=seed)
    minted = [a.register_minted("room")[0] for _ in range(6)]
    assert minted == reference_tokens(seed, 6) == [b.register_minted()[0] for _ in range(6)]
    assert all(re.fullmatch(r"[0-9a-f]{8}", t) for t in minted)


def test_minting_skips_a_token_already_taken_by_a_key():
    t0, t1, t2 = reference_tokens(42, 3)
    r = core.DecisionRegistry(seed=42)
    assert r.register_keyed(t0) == (t0, 0)
    assert r.register_minted() == (t1, 1)
    r.try_claim(t0, 0)  # claimed asks occupy their token too
    assert r.register_minted() == (t2, 2)


def test_seed_comes_from_os_urandom_little_endian(monkeypatch):
    monkeypatch.setattr(os, "urandom", lambda n: bytes(range(1, 9))[:n])
    assert core.DecisionRegistry().register_minted()[0] == reference_tokens(0x0807060504030201, 1)[0]
    monkeypatch.setattr(os, "urandom", lambda n: 1 / 0)
    with pytest.raises(ZeroDivisionError):
        core.DecisionRegistry()
    assert core.DecisionRegistry(seed=1).max_pending is None  # an explicit seed never asks


# Each call names the registered token unless it gives its own.
@pytest.mark.parametrize("calls,expected", [
    ([("try_claim", 0), ("try_claim", 0)], [Outcome.Claimed, Outcome.AlreadyClaimed]),
    ([("try_claim", 1)], [Outcome.Stale]),
    ([("withdraw", 0), ("try_claim", 0)], [True, Outcome.Stale]),
    ([("try_claim", 0), ("withdraw", 0), ("forget", 0)], [Outcome.Claimed, False, True]),
    ([("forget", 0), ("forget", 0)], [True, False]),
    ([("withdraw", 7), ("forget", 7), ("try_claim", 0)], [False, False, Outcome.Claimed]),
    ([("try_claim", 0, "other"), ("withdraw", 0, "other"), ("forget", 0, "other")],
     [Outcome.Stale, False, False]),
])
def test_claim_withdraw_forget(calls, expected):
    r = core.DecisionRegistry(seed=9)
    token, ticket = r.register_minted()
    results = [getattr(r, name)(other[0] if other else token, t) for name, t, *other in calls]
    assert ticket == 0 and all(a is b for a, b in zip(results, expected, strict=True))


def test_rekeying_stales_an_unclaimed_ask_in_place_and_refuses_a_claimed_one():
    r = core.DecisionRegistry(seed=1)
    r.register_keyed("k")
    later = r.register_minted()[0]
    assert r.register_keyed("k") == ("k", 2)
    assert (r.try_claim("k", 0), r.withdraw("k", 0), r.forget("k", 0)) == (Outcome.Stale, False, False)
    assert r.unclaimed() == ["k", later]
    assert r.try_claim("k", 2) is Outcome.Claimed
    assert r.register_keyed("k") is None  # claimed: refused without taking a ticket
    assert r.try_claim("k", 2) is Outcome.AlreadyClaimed
    assert r.register_minted()[1] == 3


def test_views_ignore_claimed_asks_and_keep_registration_order():
    r = core.DecisionRegistry(seed=3)
    a, b = r.register_minted("r1"), r.register_minted("r2")
    r.register_keyed("k")
    d = r.register_minted("r1")
    r.try_claim(*a)
    assert r.unclaimed() == [b[0], "k", d[0]] and r.unclaimed_count() == 3
    assert (r.unclaimed_in_room("r1"), r.unclaimed_in_room("k")) == ([d[0]], [])
    assert r.oldest_unclaimed() == b[0]
    r.cancel_all()
    assert (r.unclaimed(), r.unclaimed_count(), r.oldest_unclaimed()) == ([], 0, None)


@pytest.mark.parametrize("max_pending,asks,claimed,evicted,left", [
    (2, 2, 0, 0, 1), (2, 1, 0, None, 1), (2, 2, 2, None, 2), (2, 3, 1, 1, 2), (None, 5, 0, None, 5),
])
def test_evict_oldest(max_pending, asks, claimed, evicted, left):
    r = core.DecisionRegistry(max_pending=max_pending, seed=4)
    regs = [r.register_minted() for _ in range(asks)]
    for reg in regs[:claimed]:
        r.try_claim(*reg)
    assert r.evict_oldest() == (None if evicted is None else regs[evicted][0])
    assert len(r.unclaimed()) + claimed == left


def test_cancel_room_splits_by_claim_and_spares_the_rest():
    r = core.DecisionRegistry(seed=6)
    a, b, c = (r.register_minted("room") for _ in range(3))
    other = r.register_minted("other")
    r.register_keyed("room")  # a key that looks like the room id has no room
    r.try_claim(*b)
    cancelled = r.cancel_room("room")
    assert type(cancelled) is core.CancelledDecisions
    assert cancelled.unclaimed == [a[0], c[0]] and cancelled.claimed == [b[0]]
    assert cancelled.unclaimed is not cancelled.unclaimed
    with pytest.raises(TypeError):
        core.CancelledDecisions()
    assert r.try_claim(*a) is Outcome.Stale
    everything = r.cancel_all()
    assert (everything.unclaimed, everything.claimed) == ([other[0], "room"], [])


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
    assert r.try_claim(token, 0) is Outcome.Claimed and r.unclaimed_count() == 0


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
