"""Session and SessionOutcome: scripted fact sequences checked outcome by outcome, argument checks
and their order, and the access rule."""

import math
import sys

import pytest

import vorn_sdk_core as core

D, X = core.DeadReason, core.StaleReason
C, U, R, DEAD = (core.SessionState.Connecting, core.SessionState.Up,
                 core.SessionState.Reconnecting, core.SessionState.Dead)
UP = (U, None, None, None)
B0 = ("begin_attempt", (0.0,), 0)


def new_session():
    return core.Session(core.SessionPolicy.default())


def shape(outcome):
    return (outcome.state, outcome.retry_after_s, outcome.dead_reason, outcome.stale_reason)


def stale(state, reason):
    return (state, None, None, reason)


def dead(reason):
    return (DEAD, None, reason, None)


def close(epoch, now, state, delay, jitter=1.0):
    return ("on_socket_close", (epoch, now, 1006, jitter), (state, delay, None, None))


# (method, args, expected): an outcome is compared by its shape; "state" reads the property.
SCENARIOS = {
    "no attempt yet": [("on_connected", (0, 1.0), stale(C, X.WrongEpoch))],
    "duplicate connect and clock regression leave it up": [
        B0, ("on_connected", (0, 1.0), UP), ("on_connected", (0, 2.0), stale(U, X.DuplicateConnected)),
        ("on_socket_close", (0, 0.5, 1006, 0.5), stale(U, X.ClockRegression)), ("state", (), U),
        ("on_socket_close", (0, 1.5, None, 0.5), (R, 1.0, None, None)),
        ("on_socket_close", (0, 1.6, None, 0.5), stale(R, X.WrongEpoch))],
    "never connected is rapid": [B0, close(0, 0.1, C, 1.0, 0.5)],
    "exactly the rapid uptime is not rapid": [B0, ("on_connected", (0, 5.0), UP), close(0, 15.0, R, 0.5, 0.5)],
    "just under it is": [B0, ("on_connected", (0, 5.0), UP), close(0, 14.999, R, 1.0, 0.5)],
    # After three failures, 100 s up resets the attempts (1 s, not 8 s) but not the rapid record:
    # the next failure is the fourth rapid one (20 s).
    "a stable connection resets the attempts only": [
        B0, close(0, 0.1, C, 1.0), ("begin_attempt", (1.0,), 1), close(1, 1.1, C, 5.0),
        ("begin_attempt", (2.0,), 2), close(2, 2.1, C, 10.0), ("begin_attempt", (3.0,), 3),
        ("on_connected", (3, 3.0), UP), close(3, 103.0, R, 1.0), ("begin_attempt", (104.0,), 4),
        close(4, 104.5, R, 20.0)],
    "normal closure is final": [
        B0, ("on_socket_close", (0, 2.0, 1000, 0.5), dead(D.Classified)), ("begin_attempt", (3.0,), None),
        ("end", (), DEAD), ("on_supersede", (4.0, True, None, 0.5), dead(D.Classified))],
    "retry-after above the max delay wins; 403 is final": [
        B0, ("on_upgrade_rejected", (0, 1.0, 401, 120.0, 0.3), (C, 120.0, None, None)),
        ("begin_attempt", (2.0,), 1), ("on_upgrade_rejected", (1, 3.0, 403, 120.0, 0.3), dead(D.Classified))],
    "the ladder floor wins over a smaller retry-after": [
        B0, ("on_upgrade_rejected", (0, 1.0, 404, None, 0.3), (C, 1.0, None, None)),
        ("begin_attempt", (2.0,), 1), ("on_upgrade_rejected", (1, 3.0, 503, 2.0, 1.0), (C, 5.0, None, None))],
    "a retry-after beyond any duration falls back to the max delay": [
        B0, ("on_upgrade_rejected", (0, 1.0, 503, 1e30, 0.5), (C, 30.0, None, None))],
    "supersede: predating the attempt is stale, non-retryable is final": [
        ("begin_attempt", (10.0,), 0), ("on_supersede", (5.0, False, None, 0.5), stale(C, X.SupersedePredatesEpoch)),
        ("on_supersede", (10.0, False, None, 0.5), dead(D.Classified))],
    "supersede while waiting is one more rapid disconnect, never stale": [
        B0, close(0, 1.0, C, 1.0), ("on_supersede", (0.5, True, None, 1.0), (C, 5.0, None, None)),
        ("on_supersede", (0.2, True, 45.5, 0.0), (C, 45.5, None, None))],
    "an attempt clears the clock watermark and drops the older epoch": [
        B0, ("on_connected", (0, 10.0), UP), close(0, 50.0, R, 1.0), ("begin_attempt", (60.0,), 1),
        ("begin_attempt", (60.0,), 2), ("on_connected", (1, 40.0), stale(R, X.WrongEpoch)),
        ("on_connected", (2, 40.0), UP)],
    "end has no dead reason": [B0, ("end", (), DEAD), ("on_connected", (0, 1.0), dead(None)),
                               ("begin_attempt", (2.0,), None)],
}


@pytest.mark.parametrize("steps", SCENARIOS.values(), ids=SCENARIOS.keys())
def test_scenario(steps):
    session = new_session()
    for i, (name, args, expected) in enumerate(steps):
        result = session.state if name == "state" else getattr(session, name)(*args)
        got = shape(result) if isinstance(result, core.SessionOutcome) else result
        assert got == expected, f"step {i}: {name}{args}"


LADDER = [1.0, 5.0, 10.0, 20.0, 30.0, 40.0, 50.0, 60.0, 60.0]


def test_reconnect_storm_kills_at_ten_rapid_disconnects_in_a_sliding_window():
    session = new_session()
    assert session.begin_attempt(0.5) == 0 and shape(session.on_connected(0, 0.5)) == UP
    closes = [1.0] + [10.0 * i + 0.5 for i in range(1, 9)] + [301.001, 310.5]
    shapes = []
    for epoch, now in enumerate(closes):
        assert epoch == 0 or session.begin_attempt(now - 0.5) == epoch
        shapes.append(shape(session.on_socket_close(epoch, now, 1006, 0.5)))
    # 301.001 s is past 300 s after the oldest, which drops out: still nine. The next close is
    # exactly 300 s after 10.5, which stays in the window: the tenth.
    assert shapes == [(R, floor, None, None) for floor in LADDER + [60.0]] + [dead(D.RapidDisconnect)]
    assert session.begin_attempt(400.0) is None


def test_only_a_session_makes_outcomes_and_only_from_a_policy():
    with pytest.raises(TypeError):
        core.SessionOutcome()
    with pytest.raises(TypeError, match="SessionPolicy"):
        core.Session({})


NUMBER, CODE = "must be a finite, non-negative number, got ", "must be an integer between 0 and 65535, got "


# A ValueError is checked by its message; a conversion error by the argument named in its note.
@pytest.mark.parametrize("ended", [False, True])
@pytest.mark.parametrize("name,args,error,text", [
    ("on_connected", (-1, 1.0), ValueError, "`epoch` must be a non-negative integer, got -1"),
    ("on_socket_close", (0, -1.0, 70000, 2.0), ValueError, "`now_s` " + NUMBER + "-1"),
    ("on_socket_close", (0, 0.0, 70000, 2.0), ValueError, "`close_code` " + CODE + "70000"),
    ("on_socket_close", (0, 0.0, None, 2.0), ValueError,
     "`jitter_sample` must be a finite number between 0.0 and 1.0, got 2"),
    ("on_upgrade_rejected", (0, 0.0, -3, -5.0, 2.0), ValueError, "`status` " + CODE + "-3"),
    ("on_upgrade_rejected", (0, 0.0, 200, -5.0, 2.0), ValueError, "`retry_after_s` " + NUMBER + "-5"),
    ("on_supersede", (math.nan, True, -1.0, 2.0), ValueError, "`now_s` " + NUMBER + "NaN"),
    ("on_supersede", (0.0, True, math.inf, 2.0), ValueError, "`retry_after_s` " + NUMBER + "inf"),
    ("begin_attempt", (-math.inf,), ValueError, "`now_s` " + NUMBER + "-inf"),
    ("begin_attempt", (-1e-300,), ValueError, "`now_s` " + NUMBER + "-0." + "0" * 299 + "1"),
    ("on_socket_close", (-1, "1.0", None, 0.5), TypeError, "now_s"),  # before the epoch check
    ("on_socket_close", (0, 1.0, 1006.0, 0.5), TypeError, "close_code"),
    ("on_supersede", (1.0, 1, None, 0.5), TypeError, "retryable"),
    ("on_connected", (2**63, 1.0), OverflowError, "epoch"),
])
def test_arguments_are_checked_in_order_before_the_state(ended, name, args, error, text):
    session = new_session()
    if ended:
        session.end()
    with pytest.raises(error) as info:
        getattr(session, name)(*args)
    if error is ValueError:
        assert str(info.value) == text
    elif sys.version_info >= (3, 11):
        assert info.value.__notes__ == [f"while processing '{text}'"]
    assert session.begin_attempt(0.0) == (None if ended else 0)


class Reentrant:
    """A number whose conversion first runs `callback`."""

    def __init__(self, callback, value):
        self.callback, self.value = callback, value

    def __index__(self):
        self.callback()
        return self.value

    def __float__(self):
        return float(self.__index__())


@pytest.mark.parametrize("call,message", [
    (lambda s: s.begin_attempt(Reentrant(lambda: s.state, 0)), "Already mutably borrowed"),
    (lambda s: s.on_connected(Reentrant(lambda: s.begin_attempt(0.0), 0), 1.0), "Already borrowed"),
    (lambda s: s.on_socket_close(0, 1.0, Reentrant(s.end, 1006), 0.5), "Already borrowed"),
])
def test_reentrant_conversion_is_refused_and_changes_nothing(call, message):
    session = new_session()
    with pytest.raises(RuntimeError, match=message):
        call(session)
    assert session.begin_attempt(0.0) == 0
    assert shape(session.on_connected(Reentrant(lambda: None, 0), Reentrant(lambda: None, 1))) == UP
