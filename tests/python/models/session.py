"""Reference model of the session area. Durations are whole nanoseconds; times are float seconds."""

import math
import operator
from collections import deque, namedtuple
from decimal import Decimal

from vorn_sdk_core import DeadReason, SessionState, StaleReason

from . import require_type

NANOS, U32_MAX, INF = 10**9, 2**32 - 1, float("inf")
CONNECTING, UP, RECONNECTING, DEAD = (SessionState.Connecting, SessionState.Up, SessionState.Reconnecting,
                                      SessionState.Dead)
SECONDS = "a finite, non-negative number"


def number_text(value):
    """Shortest round-trip decimal, with neither exponent nor ".0"."""
    if math.isfinite(value):
        return format(Decimal(repr(value)).normalize(), "f")
    return "NaN" if value != value else repr(value)


def check(ok, name, rule, value):
    if not ok:
        raise ValueError(f"`{name}` must be {rule}, got {value if type(value) is int else number_text(value)}")
    return value


def check_now(now_s):
    return check(0.0 <= now_s < INF, "now_s", SECONDS, now_s)


def check_epoch(epoch):
    return check(epoch >= 0, "epoch", "a non-negative integer", epoch)


def check_u16(value, name):
    return check(0 <= value <= 65535, name, "an integer between 0 and 65535", value)


def check_jitter(jitter_sample):
    return check(0.0 <= jitter_sample <= 1.0, "jitter_sample", "a finite number between 0.0 and 1.0", jitter_sample)


def to_nanos(seconds, name="seconds"):
    """Nearest nanosecond of the exact binary value, ties to even; saturates from 2^64 s on."""
    check(0.0 <= seconds < INF, name, SECONDS, seconds)
    if seconds >= 2.0**64:
        return 2**64 * NANOS - 1
    numerator, denominator = seconds.as_integer_ratio()
    nanos, rest = divmod(numerator * NANOS, denominator)
    return nanos + (2 * rest > denominator or (2 * rest == denominator and nanos & 1))


def to_seconds(nanos):
    return (nanos % NANOS) / 1e9 + nanos // NANOS


def as_double(value, optional=False):
    """The module's float conversion: no strings, and a float subclass is the float it is."""
    if value is None and optional:
        return None
    if isinstance(value, float):
        return float.__float__(value)
    if not (hasattr(type(value), "__float__") or hasattr(type(value), "__index__")):
        raise TypeError(f"must be real number, not {type(value).__name__}")
    return float(value)


def as_i64(value, optional=False):
    if value is None and optional:
        return None
    value = operator.index(value)
    if not -(2**63) <= value < 2**63:
        raise OverflowError("int too big to convert")
    return value


def classify_close(close_code):
    """Classify a WebSocket close code. Returns `(terminal, delay_range_s)`.
Raises `ValueError` if `close_code` is not an integer in `0..=65535`."""
    if close_code is not None:
        close_code = check_u16(as_i64(close_code), "close_code")
    return (close_code == 1000, None)


def classify_upgrade(status):
    """Classify an HTTP upgrade-rejection status code. Returns
`(terminal, delay_range_s)`. Raises `ValueError` if `status` is not an
integer in `0..=65535`."""
    return (check_u16(as_i64(status), "status") in (400, 403, 409), None)


DEFAULTS = {  # in reading order
    "base_delay_s": 1, "factor": 2.0, "max_delay_s": 30, "stable_reset_s": 60, "rapid_disconnect_uptime_s": 10,
    "rapid_window_s": 300, "rapid_first_min_delay_s": 1, "rapid_second_min_delay_s": 5, "rapid_cooldown_base_s": 10,
    "rapid_cooldown_step_s": 10, "rapid_cooldown_max_s": 60, "rapid_threshold": 10, "heartbeat_interval_s": 30,
    "dead_threshold_s": 60}


def config_number(config, key):
    try:
        value = config[key]
    except Exception:  # any failed lookup reads as a missing key
        raise TypeError(f"SessionPolicy config is missing `{key}`") from None
    if type(value) is bool:
        raise TypeError(f"SessionPolicy config `{key}` must be a number, not bool")
    try:
        value = as_double(value)
    except Exception:
        raise TypeError(f"SessionPolicy config `{key}` must be a number") from None
    if key == "rapid_threshold":
        if not (0 <= value <= U32_MAX and value.is_integer()):
            raise ValueError("SessionPolicy config `rapid_threshold` must be a whole number between 0 and "
                             f"4294967295, got {number_text(value)}")
        return int(value)
    return value if key == "factor" else to_nanos(value, key)


class SessionPolicy:
    """Reconnect backoff/jitter policy, plus the graduated rapid-disconnect
cooldown ladder."""

    def __init__(self, config, trace_context=None):
        if trace_context is not None:
            require_type("trace_context", trace_context, str, "str")
        for key in DEFAULTS:  # kept as `_base_delay`, `_factor`, ...
            setattr(self, "_" + key.removesuffix("_s"), config_number(config, key))
        issues = [(path, message) for failed, path, message in (
            (not 1.0 <= self._factor < INF, "factor",
             f"factor must be a finite number >= 1.0, got {number_text(self._factor)}"),
            (self._base_delay > self._max_delay, "base_delay", "base_delay must not exceed max_delay"),
            (self._rapid_threshold == 0, "rapid_threshold", "rapid_threshold must be at least 1"),
            (self._heartbeat_interval == 0, "heartbeat_interval", "heartbeat_interval must be greater than zero"),
            (self._dead_threshold <= self._heartbeat_interval, "dead_threshold",
             "dead_threshold must exceed heartbeat_interval")) if failed]
        if issues:
            error = ValueError(f"{len(issues)} validation issue(s): {issues[0][1]} ({issues[0][0]})")
            error.issues = tuple((path, "invalid_value", message) for path, message in issues)
            error.trace_context = trace_context
            raise error

    @staticmethod
    def default():
        """A recommended, not final, default."""
        return SessionPolicy(DEFAULTS)

    heartbeat_interval_s = property(lambda self: to_seconds(self._heartbeat_interval))
    dead_threshold_s = property(lambda self: to_seconds(self._dead_threshold))

    def next_delay(self, attempt, delay_range, jitter_sample):
        """Jittered exponential backoff, capped, then clamped into `delay_range` (low, high)."""
        growth, square, n = 1.0, self._factor, min(max(attempt - 1, 0), 2**31 - 1)
        while n:
            growth, square, n = growth * square if n & 1 else growth, square * square, n >> 1
        raw, cap = growth * to_seconds(self._base_delay), to_seconds(self._max_delay)
        delay = jitter_sample * (cap if raw != raw or raw > cap else raw)
        if delay_range is not None:
            low, high = map(to_seconds, delay_range)
            delay = min(max(delay, low), max(high, low))
        return self._max_delay if delay >= 2.0**64 else to_nanos(delay)

    def cooldown_range(self, rapid_count):
        """The delay range after the `rapid_count`-th rapid disconnect in the window."""
        if rapid_count < 3:
            floor = self._rapid_first_min_delay if rapid_count == 1 else self._rapid_second_min_delay
        else:
            step = to_seconds(self._rapid_cooldown_step) * (rapid_count - 3)
            seconds = min(to_seconds(self._rapid_cooldown_base) + step, to_seconds(self._rapid_cooldown_max))
            floor = self._rapid_cooldown_max if seconds >= 2.0**64 else to_nanos(seconds)
        return (floor, max(floor, self._max_delay))


class SessionOutcome(namedtuple("Outcome", "state retry_after_s dead_reason stale_reason", defaults=(None,) * 3)):
    """The settled outcome of one `Session` call."""
    __slots__ = ()

    def __eq__(self, other):  # also against the module's own outcomes
        return tuple(self) == tuple(getattr(other, name, None) for name in self._fields)


class Session:
    """One WebSocket session's state machine."""

    def __init__(self, policy):
        self._policy = require_type("policy", policy, SessionPolicy, "SessionPolicy")
        self._state, self._next_epoch, self._attempts, self._rapid = CONNECTING, 0, 0, deque()
        self._dead_reason = self._epoch = self._attempt_start = None
        self._connected_epoch = self._up_since = self._last_seen = None

    state = property(lambda self: self._state)

    def begin_attempt(self, now_s):
        now_s = check_now(as_double(now_s))
        if self._state is DEAD or self._next_epoch == 2**64 - 1:
            return None
        self._epoch, self._attempt_start, self._last_seen = self._next_epoch, now_s, None
        self._next_epoch += 1
        return self._epoch

    def on_connected(self, epoch, now_s):
        epoch, now_s = as_i64(epoch), as_double(now_s)
        epoch, now_s = check_epoch(epoch), check_now(now_s)
        if (stale := self._staleness(epoch, now_s, connecting=True)) is not None:
            return stale
        self._last_seen = self._up_since = now_s
        self._connected_epoch, self._state = epoch, UP
        return SessionOutcome(UP)

    def on_socket_close(self, epoch, now_s, close_code, jitter_sample):
        epoch, now_s = as_i64(epoch), as_double(now_s)
        close_code, jitter_sample = as_i64(close_code, optional=True), as_double(jitter_sample)
        epoch, now_s, (terminal, _) = check_epoch(epoch), check_now(now_s), classify_close(close_code)
        return self._end_attempt(epoch, now_s, terminal, None, check_jitter(jitter_sample))

    def on_upgrade_rejected(self, epoch, now_s, status, retry_after_s, jitter_sample):
        epoch, now_s, status = as_i64(epoch), as_double(now_s), as_i64(status)
        retry_after_s, jitter_sample = as_double(retry_after_s, optional=True), as_double(jitter_sample)
        epoch, now_s, (terminal, _) = check_epoch(epoch), check_now(now_s), classify_upgrade(status)
        return self._end_attempt(epoch, now_s, terminal, self._caller_range(retry_after_s),
                                 check_jitter(jitter_sample))

    def on_supersede(self, now_s, retryable, retry_after_s, jitter_sample):
        now_s, kind = as_double(now_s), type(retryable)
        if not (kind is bool or (kind.__module__ == "numpy" and kind.__name__ in ("bool_", "bool"))):
            raise TypeError(f"argument 'retryable' must be bool, not {kind.__name__}")
        retry_after_s, jitter_sample = as_double(retry_after_s, optional=True), as_double(jitter_sample)
        now_s, caller_range = check_now(now_s), self._caller_range(retry_after_s)
        jitter_sample = check_jitter(jitter_sample)
        if self._state is DEAD:
            return SessionOutcome(DEAD, dead_reason=self._dead_reason)
        if self._attempt_start is not None and now_s < self._attempt_start:
            return SessionOutcome(self._state, stale_reason=StaleReason.SupersedePredatesEpoch)
        self._last_seen = now_s if self._last_seen is None else max(self._last_seen, now_s)
        self._epoch = self._attempt_start = None
        return self._disconnect(now_s, jitter_sample, caller_range) if retryable else self._die(DeadReason.Classified)

    def end(self):
        if self._state is not DEAD:
            self._state, self._dead_reason = DEAD, None
        self._epoch = self._attempt_start = None
        return DEAD

    def _staleness(self, epoch, now_s, connecting=False):
        """The outcome of a fact about `epoch` that changes nothing, or None."""
        if self._state is DEAD:
            return SessionOutcome(DEAD, dead_reason=self._dead_reason)
        reason = (StaleReason.WrongEpoch if self._epoch is None or epoch != self._epoch
                  else StaleReason.DuplicateConnected if connecting and self._connected_epoch == epoch
                  else StaleReason.ClockRegression if self._last_seen is not None and now_s < self._last_seen
                  else None)
        return None if reason is None else SessionOutcome(self._state, stale_reason=reason)

    def _die(self, reason):
        self._state, self._dead_reason = DEAD, reason
        return SessionOutcome(DEAD, dead_reason=reason)

    def _caller_range(self, retry_after_s):
        if retry_after_s is not None:
            return (low := to_nanos(retry_after_s, "retry_after_s"), max(low, self._policy._max_delay))

    def _end_attempt(self, epoch, now_s, terminal, caller_range, jitter_sample):
        """A close or an upgrade rejection of the attempt `epoch`."""
        if (stale := self._staleness(epoch, now_s)) is not None:
            return stale
        self._last_seen, self._epoch, self._attempt_start = now_s, None, None
        return self._die(DeadReason.Classified) if terminal else self._disconnect(now_s, jitter_sample, caller_range)

    def _disconnect(self, now_s, jitter_sample, caller_range):
        policy, rapid = self._policy, True
        if self._up_since is not None:
            uptime, self._up_since = now_s - self._up_since, None
            if uptime >= to_seconds(policy._stable_reset):
                self._attempts = 0
            rapid = uptime < to_seconds(policy._rapid_disconnect_uptime)
        delay_range = caller_range
        if rapid:
            while self._rapid and now_s - self._rapid[0] > to_seconds(policy._rapid_window):
                self._rapid.popleft()
            self._rapid.append(now_s)
            if len(self._rapid) >= policy._rapid_threshold:
                return self._die(DeadReason.RapidDisconnect)
            delay_range = policy.cooldown_range(len(self._rapid))
            if caller_range is not None:
                delay_range = tuple(map(max, delay_range, caller_range))
        self._attempts = min(self._attempts + 1, U32_MAX)
        self._state = CONNECTING if self._state is CONNECTING else RECONNECTING
        return SessionOutcome(self._state, to_seconds(policy.next_delay(self._attempts, delay_range, jitter_sample)))
