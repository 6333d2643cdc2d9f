"""Reconnect policy and session state machine in plain Python: floats for seconds, a deque for the
rapid-disconnect window, enums for states and reasons, a named tuple per outcome."""

import math
from collections import deque
from dataclasses import dataclass
from enum import Enum
from typing import NamedTuple, Optional

from .limits import U32_MAX, U64_MAX


class SessionState(Enum):
    Connecting = "connecting"
    Up = "up"
    Reconnecting = "reconnecting"
    Dead = "dead"


class DeadReason(Enum):
    Classified = "classified"
    RapidDisconnect = "rapid_disconnect"


class StaleReason(Enum):
    WrongEpoch = "wrong_epoch"
    ClockRegression = "clock_regression"
    DuplicateConnected = "duplicate_connected"


class SessionOutcome(NamedTuple):
    state: SessionState
    retry_after_s: Optional[float] = None
    dead_reason: Optional[DeadReason] = None
    stale_reason: Optional[StaleReason] = None


@dataclass(frozen=True)
class SessionPolicy:
    base_delay_s: float = 1.0
    factor: float = 2.0
    max_delay_s: float = 30.0
    stable_reset_s: float = 60.0
    rapid_disconnect_uptime_s: float = 10.0
    rapid_window_s: float = 300.0
    rapid_first_min_delay_s: float = 1.0
    rapid_second_min_delay_s: float = 5.0
    rapid_cooldown_base_s: float = 10.0
    rapid_cooldown_step_s: float = 10.0
    rapid_cooldown_max_s: float = 60.0
    rapid_threshold: int = 10

    @classmethod
    def default(cls):
        return cls()

    def next_delay(self, attempts, delay_range, jitter):
        try:
            raw = self.factor ** max(attempts - 1, 0) * self.base_delay_s
        except OverflowError:
            raw = math.inf
        delay = jitter * (self.max_delay_s if math.isnan(raw) else min(raw, self.max_delay_s))
        if delay_range:
            low, high = delay_range
            delay = min(max(delay, low), max(high, low))
        return round(delay * 1e9) / 1e9  # whole nanoseconds

    def rapid_floor(self, count):
        if count < 3:
            return self.rapid_first_min_delay_s if count == 1 else self.rapid_second_min_delay_s
        return min(self.rapid_cooldown_base_s + self.rapid_cooldown_step_s * (count - 3),
                   self.rapid_cooldown_max_s)


class Session:
    """The rules of attempts, connects and socket closes."""

    def __init__(self, policy):
        self._policy = policy
        self.state, self._dead_reason = SessionState.Connecting, None
        self._next_epoch, self._epoch, self._attempt_start = 0, None, None
        self._connected_epoch = self._up_since = self._last_seen = None
        self._rapid, self._attempts = deque(), 0

    def _dead(self):
        return SessionOutcome(SessionState.Dead, dead_reason=self._dead_reason)

    def _die(self, reason):
        self.state, self._dead_reason = SessionState.Dead, reason
        return self._dead()

    def _staleness(self, epoch, now_s):
        if self._epoch is None or epoch != self._epoch:
            return StaleReason.WrongEpoch
        if self._last_seen is not None and now_s < self._last_seen:
            return StaleReason.ClockRegression
        return None

    def begin_attempt(self, now_s):
        if self.state is SessionState.Dead or self._next_epoch == U64_MAX:
            return None
        self._epoch, self._attempt_start, self._last_seen = self._next_epoch, now_s, None
        self._next_epoch += 1
        return self._epoch

    def on_connected(self, epoch, now_s):
        if self.state is SessionState.Dead:
            return self._dead()
        stale = self._staleness(epoch, now_s)
        if stale is None and self._connected_epoch == epoch:
            stale = StaleReason.DuplicateConnected
        if stale:
            return SessionOutcome(self.state, stale_reason=stale)
        self._last_seen = self._up_since = now_s
        self._connected_epoch, self.state = epoch, SessionState.Up
        return SessionOutcome(SessionState.Up)

    def on_socket_close(self, epoch, now_s, close_code, jitter_sample):
        if self.state is SessionState.Dead:
            return self._dead()
        stale = self._staleness(epoch, now_s)
        if stale:
            return SessionOutcome(self.state, stale_reason=stale)
        self._last_seen, self._epoch, self._attempt_start = now_s, None, None
        if close_code == 1000:
            return self._die(DeadReason.Classified)
        return self._disconnect(now_s, jitter_sample)

    def _disconnect(self, now_s, jitter_sample):
        policy, rapid, delay_range = self._policy, True, None
        if self._up_since is not None:
            uptime, self._up_since = now_s - self._up_since, None
            if uptime >= policy.stable_reset_s:
                self._attempts = 0
            rapid = uptime < policy.rapid_disconnect_uptime_s
        if rapid:
            while self._rapid and now_s - self._rapid[0] > policy.rapid_window_s:
                self._rapid.popleft()
            self._rapid.append(now_s)
            if len(self._rapid) >= policy.rapid_threshold:
                return self._die(DeadReason.RapidDisconnect)
            floor = policy.rapid_floor(len(self._rapid))
            delay_range = (floor, max(floor, policy.max_delay_s))
        self._attempts = min(self._attempts + 1, U32_MAX)
        delay = policy.next_delay(self._attempts, delay_range, jitter_sample)
        if self.state is not SessionState.Connecting:
            self.state = SessionState.Reconnecting
        return SessionOutcome(self.state, delay)
