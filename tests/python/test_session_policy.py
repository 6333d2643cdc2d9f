"""SessionPolicy construction and validation, the close/upgrade classifiers, and the documented
signatures of the connection-lifecycle names."""

import math

import pytest

import vorn_sdk_core as core

DEFAULTS = {
    "base_delay_s": 1, "factor": 2.0, "max_delay_s": 30, "stable_reset_s": 60,
    "rapid_disconnect_uptime_s": 10, "rapid_window_s": 300, "rapid_first_min_delay_s": 1,
    "rapid_second_min_delay_s": 5, "rapid_cooldown_base_s": 10, "rapid_cooldown_step_s": 10,
    "rapid_cooldown_max_s": 60, "rapid_threshold": 10, "heartbeat_interval_s": 30,
    "dead_threshold_s": 60,
}


def config(**changes):
    c = {**DEFAULTS, **changes}
    return {k: v for k, v in c.items() if v is not KeyError}


class Number:
    def __float__(self):
        return 0.25


class Broken:
    def __getitem__(self, key):
        raise RuntimeError("boom")


@pytest.mark.parametrize("obj,signature,doc", [
    (core.SessionPolicy, "(config, trace_context=None)",
     "Reconnect backoff/jitter policy, plus the graduated rapid-disconnect\ncooldown ladder."),
    (core.SessionPolicy.default, "()", "A recommended, not final, default."),
    (core.classify_close, "(close_code)",
     "Classify a WebSocket close code. Returns `(terminal, delay_range_s)`.\n"
     "Raises `ValueError` if `close_code` is not an integer in `0..=65535`."),
    (core.classify_upgrade, "(status)",
     "Classify an HTTP upgrade-rejection status code. Returns\n`(terminal, delay_range_s)`. "
     "Raises `ValueError` if `status` is not an\ninteger in `0..=65535`."),
    (core.Session, "(policy)", "One WebSocket session's state machine."),
    (core.SessionOutcome, None, "The settled outcome of one `Session` call."),
    (core.Session.on_upgrade_rejected,
     "($self, epoch, now_s, status, retry_after_s, jitter_sample)", ""),
])
def test_signatures_and_docs(obj, signature, doc):
    assert (obj.__text_signature__, obj.__doc__ or "") == (signature, doc)


def test_policies_expose_only_the_heartbeat_timings():
    default = core.SessionPolicy.default()
    assert (default.heartbeat_interval_s, default.dead_threshold_s) == (30.0, 60.0)
    custom = core.SessionPolicy(config(heartbeat_interval_s=Number(), other="ignored"))
    assert custom.heartbeat_interval_s == 0.25 and type(custom.dead_threshold_s) is float
    with pytest.raises(AttributeError):
        custom.heartbeat_interval_s = 1.0


@pytest.mark.parametrize("cfg,error,message", [
    ({}, TypeError, "SessionPolicy config is missing `base_delay_s`"),
    (Broken(), TypeError, "SessionPolicy config is missing `base_delay_s`"),
    (config(max_delay_s=KeyError), TypeError, "SessionPolicy config is missing `max_delay_s`"),
    # Keys are read in order and the first failure ends the reading.
    (config(base_delay_s=True, factor="x"), TypeError,
     "SessionPolicy config `base_delay_s` must be a number, not bool"),
    (config(factor="2"), TypeError, "SessionPolicy config `factor` must be a number"),
    (config(stable_reset_s=10**400), TypeError, "config `stable_reset_s` must be a number"),
    (config(base_delay_s=-1), ValueError,
     "`base_delay_s` must be a finite, non-negative number, got -1"),
    (config(rapid_window_s=math.inf), ValueError, "`rapid_window_s` must be a finite, "
     "non-negative number, got inf"),
    (config(rapid_threshold=10.5), ValueError, "SessionPolicy config `rapid_threshold` must be a "
     "whole number between 0 and 4294967295, got 10.5"),
    (config(rapid_threshold=2**32), ValueError, "got 4294967296"),
    (config(rapid_threshold=math.nan), ValueError, "got NaN"),
])
def test_config_reading_errors(cfg, error, message):
    with pytest.raises(error) as info:
        core.SessionPolicy(cfg, "trace")
    assert message in str(info.value) and not hasattr(info.value, "issues")


@pytest.mark.parametrize("changes", [
    {"base_delay_s": -0.0}, {"rapid_threshold": 10.0}, {"rapid_threshold": 4294967295},
    {"stable_reset_s": 1e300}, {"dead_threshold_s": 30.000000001},
])
def test_accepted_configs(changes):
    core.SessionPolicy(config(**changes))


@pytest.mark.parametrize("changes,issues", [
    ({"factor": 0.5, "base_delay_s": 40, "rapid_threshold": 0, "heartbeat_interval_s": 0,
      "dead_threshold_s": 0},
     [("factor", "factor must be a finite number >= 1.0, got 0.5"),
      ("base_delay", "base_delay must not exceed max_delay"),
      ("rapid_threshold", "rapid_threshold must be at least 1"),
      ("heartbeat_interval", "heartbeat_interval must be greater than zero"),
      ("dead_threshold", "dead_threshold must exceed heartbeat_interval")]),
    ({"dead_threshold_s": 30}, [("dead_threshold", "dead_threshold must exceed heartbeat_interval")]),
    ({"heartbeat_interval_s": 1e-10},  # rounds to zero
     [("heartbeat_interval", "heartbeat_interval must be greater than zero")]),
    ({"factor": math.nan}, [("factor", "factor must be a finite number >= 1.0, got NaN")]),
])
def test_validation_collects_every_issue_in_order(changes, issues):
    with pytest.raises(ValueError) as info:
        core.SessionPolicy(config(**changes), trace_context="t-1")
    assert info.value.issues == tuple((p, "invalid_value", m) for p, m in issues)
    assert info.value.trace_context == "t-1"
    assert str(info.value) == f"{len(issues)} validation issue(s): {issues[0][1]} ({issues[0][0]})"


@pytest.mark.parametrize("func,value,result", [
    (core.classify_close, None, (False, None)), (core.classify_close, 1000, (True, None)),
    (core.classify_close, 1001, (False, None)), (core.classify_close, 65535, (False, None)),
    (core.classify_upgrade, 400, (True, None)), (core.classify_upgrade, 403, (True, None)),
    (core.classify_upgrade, 409, (True, None)), (core.classify_upgrade, 401, (False, None)),
    (core.classify_close, -1, "`close_code` must be an integer between 0 and 65535, got -1"),
    (core.classify_close, 65536, "`close_code` must be an integer between 0 and 65535, got 65536"),
    (core.classify_upgrade, 70000, "`status` must be an integer between 0 and 65535, got 70000"),
    (core.classify_upgrade, None, TypeError),
    (core.classify_close, 1000.0, TypeError),
])
def test_classification(func, value, result):
    if isinstance(result, tuple):
        assert func(value) == result and type(func(value)[0]) is bool
        return
    with pytest.raises(ValueError if isinstance(result, str) else result) as info:
        func(value)
    assert not isinstance(result, str) or str(info.value) == result
