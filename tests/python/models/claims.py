"""Reference models of `RetryTracker` and `ClaimRegistry` with its acknowledgements and settlements,
written from the documented rules."""

from collections import OrderedDict
from dataclasses import dataclass
from operator import index

from vorn_sdk_core import ParkedReason

from . import require_type

U32_MAX = 2**32 - 1
FACT_NAMES = "`self_echo`, `durably_processed`, `durably_failed`, `allow_failed_retry`"
DIFFERENT_INTENT = "the message already has a different pending terminal intent"


def _limit(name, value, low):
    value = index(value)
    if not -(2**63) <= value < 2**63:
        raise OverflowError("int too big to convert")
    if not low <= value <= U32_MAX:
        raise ValueError(f"`{name}` must be an integer between {low} and {U32_MAX}, got {value}")
    return value


def _text(name, value, optional=False):
    return value if optional and value is None else require_type(name, value, str, "str")


def _key(room_id, message_id):
    return _text("room_id", room_id), _text("message_id", message_id)


def _tracker(value):
    return require_type("retry_tracker", value, RetryTracker, "RetryTracker")


def _reason(value):
    return require_type("reason", value, ParkedReason, "ParkedReason").wire_name


def _flag(name, value):
    kind = type(value)
    if kind is bool or (kind.__module__ == "numpy" and kind.__name__ in ("bool_", "bool")):
        return bool(value)
    raise TypeError(f"argument '{name}' must be bool, not {kind.__name__}")


def _trim(store, bound):
    while len(store) > bound:
        store.popitem(last=False)


class RetryTracker:
    def __init__(self, max_retries=1, max_tracked=10000):
        self._max_retries = _limit("max_retries", max_retries, 0)
        self._max_tracked = _limit("max_tracked", max_tracked, 1)
        self._attempts = OrderedDict()  # id -> (attempts, budget), in order of first insertion
        self._failed = OrderedDict()  # permanently failed ids, oldest first

    @property
    def max_retries(self):
        return self._max_retries

    def record_attempt(self, message_id):
        attempts, budget = self._attempt_state(_text("message_id", message_id))
        attempts = min(attempts + 1, U32_MAX)
        self._store(message_id, attempts, budget)
        if attempts > budget:
            self.mark_permanently_failed(message_id)
        return attempts, attempts > budget

    def mark_success(self, message_id):
        self._attempts.pop(_text("message_id", message_id), None)

    def discard_attempt(self, message_id):
        attempts, budget = self._attempts.get(_text("message_id", message_id), (0, 0))
        if attempts > 1:
            self._attempts[message_id] = (attempts - 1, budget)
        else:
            self._attempts.pop(message_id, None)

    def is_permanently_failed(self, message_id):
        return _text("message_id", message_id) in self._failed

    def mark_permanently_failed(self, message_id):
        if _text("message_id", message_id) not in self._failed:
            self._failed[message_id] = None
            _trim(self._failed, self._max_tracked)

    # What a claim registry reads and restores when it settles a message.
    def _attempt_state(self, message_id):
        return self._attempts.get(message_id, (0, self._max_retries))

    def _restore(self, message_id, attempts, budget):
        current = self._attempts.get(message_id)
        if current is None:
            budget = min(budget, self._max_retries)
        else:
            attempts, budget = max(attempts, current[0]), min(budget, current[1])
        self._store(message_id, attempts, budget)
        if attempts >= budget:
            self.mark_permanently_failed(message_id)

    def _store(self, message_id, attempts, budget):
        known = message_id in self._attempts
        self._attempts[message_id] = (attempts, budget)
        if not known:
            _trim(self._attempts, self._max_tracked)


# Through Python the token counter never gets near 2**64 - 1, where tokens would run out.
@dataclass(slots=True)
class _Entry:
    token: str
    error: str | None  # None for a processed intent
    retry: tuple[int, int] | None = None  # (attempts, max_retries) of a retry continuation
    parked: str | None = None

    def ack_view(self):
        if self.error is None:
            return {"status": "processed", "parked": self.parked}
        return {"status": "failed", "error": self.error, "parked": self.parked}

    def settlement_view(self):
        continuation = {"kind": "finished"}
        if self.retry is not None:
            continuation = {"kind": "retry", "attempts": self.retry[0], "max_retries": self.retry[1]}
        return {"token": self.token, **self.ack_view(), "continuation": continuation}


class ClaimRegistry:
    def __init__(self, max_completed=500):
        self._max_completed = _limit("max_completed", max_completed, 1)
        self._inflight = set()  # (room_id, message_id)
        self._pending = OrderedDict()  # (room_id, message_id) -> _Entry, oldest first
        self._ack_retries = {}  # (room_id, message_id) -> count
        self._completed = {}  # room_id -> OrderedDict of ids, least recently touched first
        self._next_token = 0

    @property
    def max_completed(self):
        return self._max_completed

    def try_claim(self, room_id, message_id):
        key = _key(room_id, message_id)
        claimed = key not in self._inflight
        self._inflight.add(key)
        return claimed

    def release(self, room_id, message_id):
        self._inflight.discard(_key(room_id, message_id))

    def inflight_ids(self, room_id):
        _text("room_id", room_id)
        return [message_id for room, message_id in self._inflight if room == room_id]

    def is_completed(self, room_id, message_id):
        ids = self._completed.get(_key(room_id, message_id)[0], ())
        if message_id in ids:
            ids.move_to_end(message_id)
        return message_id in ids

    def remember_completed(self, room_id, message_id):
        key = _key(room_id, message_id)
        ids = self._completed.setdefault(room_id, OrderedDict())
        ids[message_id] = None
        ids.move_to_end(message_id)
        _trim(ids, self._max_completed)
        self._pending.pop(key, None)
        self._ack_retries.pop(key, None)

    def completed_ids(self, room_id):
        return list(self._completed.get(_text("room_id", room_id), ()))

    def discard_completed(self, room_id):
        self._completed.pop(_text("room_id", room_id), None)

    def is_ack_pending(self, room_id, message_id):
        return _key(room_id, message_id) in self._pending

    def delivery_eligibility(self, room_id, message_id, retry_tracker, *, self_echo=False,
                             durably_processed=False, durably_failed=False,
                             allow_failed_retry=True, **unknown):
        key = _key(room_id, message_id)
        _tracker(retry_tracker)
        facts = (self_echo, durably_processed, durably_failed, allow_failed_retry, *unknown.values())
        if any(type(fact) is not bool for fact in facts):
            raise TypeError("delivery facts must be bool values")
        if unknown:
            raise TypeError(f"unknown field `{next(iter(unknown))}`, expected one of {FACT_NAMES}")
        if self_echo:
            return "self"
        if key in self._pending:
            return "pending"
        if self.is_completed(room_id, message_id) or durably_processed:
            return "completed"
        if retry_tracker.is_permanently_failed(message_id):
            return "exhausted"
        if durably_failed and not allow_failed_retry:
            return "failed"
        return "inflight" if key in self._inflight else "runnable"

    def guarded_claim(self, room_id, message_id, retry_tracker, *, self_echo=False,
                      durably_processed=False, durably_failed=False, allow_failed_retry=True,
                      **unknown):
        answer = self.delivery_eligibility(
            room_id, message_id, retry_tracker, self_echo=self_echo,
            durably_processed=durably_processed, durably_failed=durably_failed,
            allow_failed_retry=allow_failed_retry, **unknown)
        if answer == "runnable":
            self._inflight.add((room_id, message_id))
        return answer

    def remember_ack_pending(self, room_id, message_id):
        key = _key(room_id, message_id)
        if key not in self._pending:
            self._create(key, None)

    def remember_failed_ack_pending(self, room_id, message_id, error, trace_context=None):
        key = _key(room_id, message_id)
        _text("error", error)
        self._intent(key, error, None, _text("trace_context", trace_context, optional=True))

    def pending_ack(self, room_id, message_id):
        entry = self._pending.get(_key(room_id, message_id))
        return entry and entry.ack_view()

    def park_ack(self, room_id, message_id, reason):
        entry = self._pending.get(_key(room_id, message_id))
        reason = _reason(reason)
        if entry is not None:
            entry.parked = reason
        return entry is not None

    def unpark_acks(self, room_id):
        parked = [entry for entry in self._room_entries(room_id) if entry.parked is not None]
        for entry in parked:
            entry.parked = None
        return len(parked)

    def pending_ack_ids(self, room_id):
        _text("room_id", room_id)
        return [message_id for room, message_id in self._pending if room == room_id]

    def record_ack_retry(self, room_id, message_id):
        key = _key(room_id, message_id)
        self._ack_retries[key] = min(self._ack_retries.get(key, 0) + 1, U32_MAX)
        return self._ack_retries[key]

    def record_processed_settlement(self, room_id, message_id, trace_context=None):
        key = _key(room_id, message_id)
        trace_context = _text("trace_context", trace_context, optional=True)
        return self._intent(key, None, None, trace_context).settlement_view()

    def record_failed_settlement(self, room_id, message_id, error, retry_tracker, allow_retry,
                                 trace_context=None):
        key = _key(room_id, message_id)
        _text("error", error)
        _tracker(retry_tracker)
        allow_retry = _flag("allow_retry", allow_retry)
        _text("trace_context", trace_context, optional=True)
        attempts, budget = retry_tracker._attempt_state(message_id)
        retry = (attempts, budget) if allow_retry and attempts < budget else None
        return self._intent(key, error, retry, trace_context).settlement_view()

    def pending_settlement(self, room_id, message_id, trace_context=None):
        key = _key(room_id, message_id)
        _text("trace_context", trace_context, optional=True)
        entry = self._pending.get(key)
        return entry and entry.settlement_view()

    def confirm_settlement(self, room_id, message_id, token, retry_tracker):
        key = _key(room_id, message_id)
        _text("token", token)
        _tracker(retry_tracker)
        entry = self._pending.get(key)
        if entry is None or entry.token != token:
            return False
        if entry.retry is not None:
            retry_tracker._restore(message_id, *entry.retry)
            del self._pending[key]
            self._ack_retries.pop(key, None)
            return True
        if entry.error is not None:
            retry_tracker.mark_permanently_failed(message_id)
        retry_tracker.mark_success(message_id)
        self.remember_completed(room_id, message_id)
        return True

    def park_settlement(self, room_id, message_id, token, reason):
        entry = self._pending.get(_key(room_id, message_id))
        _text("token", token)
        reason = _reason(reason)
        if entry is None or entry.token != token:
            return False
        entry.parked = reason
        return True

    def has_retryable_settlement(self, room_id):
        return any(entry.parked is None for entry in self._room_entries(room_id))

    def _room_entries(self, room_id):
        _text("room_id", room_id)
        return [entry for (room, _), entry in self._pending.items() if room == room_id]

    def _create(self, key, error, retry=None):
        self._pending[key] = entry = _Entry(str(self._next_token), error, retry)
        self._next_token += 1
        return entry

    def _intent(self, key, error, retry, trace_context):
        """The key's entry, created with this intent if there is none; a different intent fails."""
        entry = self._pending.get(key) or self._create(key, error, retry)
        if entry.error != error:
            failure = ValueError(f"1 validation issue(s): {DIFFERENT_INTENT} (error)")
            failure.issues = (("error", "invalid_value", DIFFERENT_INTENT),)
            failure.trace_context = trace_context
            raise failure
        return entry
