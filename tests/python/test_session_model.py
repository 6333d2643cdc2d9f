"""Session, SessionPolicy and the close classifiers side by side with their model, in random sequences."""

import functools
import inspect
import math

import pytest

from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, rule, run_state_machine_as_test

import vorn_sdk_core as core
from models import machine_settings, outcome, same
from models import session as model


class Quarter(float):
    def __float__(self):  # the module reads the float itself
        return 7.0


class Three:
    def __index__(self):
        return 3


def mostly(good, *bad):
    """`good`, and about one draw in twenty from `bad` (Hypothesis favours index 0)."""
    return st.integers(0, 19).flatmap(lambda i: st.sampled_from(bad) if i == 19 else good)


def seconds(*common, high=400.0):
    return st.one_of(st.sampled_from(common), st.floats(0.0, high))


# Exact binary values near or at half a nanosecond, and the largest double below 2^64.
ROUNDING = (5e-10, 1.5e-9, 2.5e-9, 2**-31, 5e-324, 0.9999999999, 1 / 1024, 7 + 3 / 1024, 2251799813685248.5,
            math.nextafter(2.0**64, 0))
NUMBERS = (-1.0, -1e-300, -1e21, -(0.1 + 0.2), math.nan, math.inf, -math.inf, -0.0, True, Quarter(0.25), Three(),
           "1", None, b"1", 10**400)
# Small values, so that cooldown floors, caps, stable resets and windows all come into play.
CONFIG = st.fixed_dictionaries({
    "base_delay_s": seconds(0, 1e-9, 0.25, 1, 3, high=5.0), "factor": st.sampled_from([1, 1.5, 2.0, 3.3, 1e200]),
    "max_delay_s": seconds(5, 30, 1e20, 2.0**64, high=50.0).map(lambda s: s + 5),
    "stable_reset_s": seconds(0, 5, 60, high=100.0), "rapid_disconnect_uptime_s": seconds(0, 5, 10, high=20.0),
    "rapid_window_s": seconds(0, 5, 300), "rapid_first_min_delay_s": seconds(0, 0.3, 1, high=10.0),
    "rapid_second_min_delay_s": seconds(0, 0.7, 5, high=10.0), "rapid_cooldown_base_s": seconds(0.1, 10, high=100.0),
    "rapid_cooldown_step_s": seconds(0.2, 10, 1e19, high=100.0),
    "rapid_cooldown_max_s": seconds(0.5, 60, 1e30, high=100.0), "rapid_threshold": st.sampled_from([4, 3, 10, 2, 1]),
    "heartbeat_interval_s": st.sampled_from([30, 1e-9]), "dead_threshold_s": st.sampled_from([60, 30.000000001]),
})
STEP = st.one_of(st.sampled_from([0.0, 0.001, 0.5, 1.0, 4.999, 5.0, 9.999, 10.0, 60.0, 299.999, 300.0, 300.001,
                                  -0.5, -5.0]), st.floats(-1.0, 20.0))
NOW = mostly(STEP, *(("absolute", v) for v in NUMBERS))
EPOCH = mostly(st.sampled_from([0, 0, 0, -1, 1]),
               *(("absolute", v) for v in (-1, 2**63, -(2**63) - 1, "0", 0.5, None, True, Three())))
JITTER = mostly(st.one_of(st.sampled_from([0.0, 0.5, 1.0, 3 / 1024]), st.floats(0.0, 1.0)),
                1.0000000000000002, 2, *NUMBERS)
CLOSE_CODE = mostly(st.sampled_from([1006, None, 1000, 1001, 0, 65535, 4000]), -1, 65536, 2**63, 1000.0, "1", True)
STATUS = mostly(st.sampled_from([503, 401, 404, 0, 65535, 429, 400, 403, 409]), None, -3, 70000, 400.0, 2**64)
RETRY_AFTER = mostly(st.one_of(st.sampled_from([None, 0.0, 0.3, 2.0, 45.5, 120.0, 1e30, 2.0**64, *ROUNDING]),
                               st.floats(0.0, 200.0)), *NUMBERS)


def policies(*args):
    """Both policies built from the same arguments, or None when both refused alike."""
    real, mine = outcome(core.SessionPolicy, *args), outcome(model.SessionPolicy, *args)
    if real[0] == mine[0] == "ok":
        views = [(p.heartbeat_interval_s, p.dead_threshold_s) for p in (real[1], mine[1])]
        assert views[0] == views[1], f"SessionPolicy{args}: {views}"
        return real[1], mine[1]
    assert real == mine, f"SessionPolicy{args}: module {real!r}, model {mine!r}"
    return None


class SessionMachine(RuleBasedStateMachine):
    @initialize(config=st.one_of(CONFIG, st.none()), not_a_policy=st.sampled_from([None, {}, "policy"]))
    def new_session(self, config, not_a_policy=None):
        """A session from `config`, or from the default policy when it is None or refused."""
        same(core, model, "Session", not_a_policy)
        self.config, self.clock, self.last_epoch = config, 0.0, 0
        real, mine = (config and policies(config)) or (core.SessionPolicy.default(), model.SessionPolicy.default())
        self.real, self.model = core.Session(real), model.Session(mine)

    @rule(config=CONFIG, key=st.sampled_from(sorted(model.DEFAULTS)), trace_context=st.sampled_from([None, "t", 5]),
          value=st.sampled_from([0, 0.5, 10.0, 10.5, 2**32, 4294967295, 40, 1e-10, "drop", "no mapping", *NUMBERS,
                                 *ROUNDING]))
    def build_policy(self, config, key, value, trace_context):
        config = 5 if value == "no mapping" else {**config, key: value}
        if value == "drop":
            del config[key]
        policies(config, trace_context)

    def both(self, name, *args):
        return same(self.real, self.model, name, *args)

    def now(self, step):
        """A time near the clock, which moves forward only; ("absolute", v) is v itself."""
        if isinstance(step, tuple):
            return step[1]
        self.clock = max(self.clock, now := max(self.clock + step, 0.0))
        return now

    def epoch(self, pick):
        return pick[1] if isinstance(pick, tuple) else self.last_epoch + pick

    @rule(step=NOW)
    def begin_attempt(self, step):
        epoch = self.both("begin_attempt", self.now(step))
        if epoch is not None:
            self.last_epoch = epoch
        elif self.model.state is core.SessionState.Dead:  # as a host would: start over
            self.new_session(self.config)

    @rule(epoch=EPOCH, step=NOW)
    def on_connected(self, epoch, step):
        self.both("on_connected", self.epoch(epoch), self.now(step))

    @rule(epoch=EPOCH, step=NOW, close_code=CLOSE_CODE, jitter=JITTER)
    def on_socket_close(self, epoch, step, close_code, jitter):
        same(core, model, "classify_close", close_code)
        self.both("on_socket_close", self.epoch(epoch), self.now(step), close_code, jitter)

    @rule(epoch=EPOCH, step=NOW, status=STATUS, retry_after=RETRY_AFTER, jitter=JITTER)
    def on_upgrade_rejected(self, epoch, step, status, retry_after, jitter):
        same(core, model, "classify_upgrade", status)
        self.both("on_upgrade_rejected", self.epoch(epoch), self.now(step), status, retry_after, jitter)

    @rule(step=NOW, retryable=mostly(st.sampled_from([True, True, True, False]), 1, 0, None),
          retry_after=RETRY_AFTER, jitter=JITTER)
    def on_supersede(self, step, retryable, retry_after, jitter):
        self.both("on_supersede", self.now(step), retryable, retry_after, jitter)

    @rule(start=STEP, uptime=STEP, close_code=CLOSE_CODE, jitter=JITTER)
    def connection(self, start, uptime, close_code, jitter):
        """One whole attempt: begin, connect, and close after `uptime`."""
        self.begin_attempt(start)
        self.on_connected(0, 0.0)
        self.on_socket_close(0, uptime, close_code, jitter)

    @rule(really=st.integers(0, 9))
    def end(self, really):
        if really == 9:  # rarely, as it ends the session for good
            self.both("end")

    @invariant()
    def same_state(self):
        assert self.real.state == self.model.state


def test_session_agrees_with_its_model():
    run_state_machine_as_test(SessionMachine, settings=machine_settings(bounded=300))


@pytest.mark.parametrize("name", ["SessionPolicy", "SessionPolicy.default", "SessionPolicy.heartbeat_interval_s",
                                  "classify_close", "classify_upgrade", "Session", "Session.begin_attempt",
                                  "Session.on_connected", "Session.on_socket_close", "Session.on_upgrade_rejected",
                                  "Session.on_supersede", "Session.end", "Session.state", "SessionOutcome"])
def test_model_mirrors_signatures_and_docs(name):
    real, mine = (functools.reduce(getattr, name.split("."), where) for where in (core, model))
    assert (real.__doc__ or "") == (mine.__doc__ or "")
    if callable(real) and name != "SessionOutcome":  # which has no constructor
        assert str(inspect.signature(real)).replace("self, /", "self") == str(inspect.signature(mine))
