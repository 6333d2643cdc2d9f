"""Retry budget and claim ledger as a Python developer would write them: dicts as ordered maps,
`OrderedDict` for each room's least-recently-touched completed set, a set for what is in flight."""

from collections import OrderedDict

from .limits import U32_MAX


class RetryTracker:
    def __init__(self, max_retries=1, max_tracked=10_000):
        self.max_retries, self._max_tracked = max_retries, max_tracked
        self._attempts = {}  # message id -> [attempts, budget], oldest first
        self._failed = {}  # permanently failed ids, oldest first

    def _admit(self, store, message_id, value):
        store[message_id] = value
        while len(store) > self._max_tracked:
            del store[next(iter(store))]
        return value

    def record_attempt(self, message_id):
        state = self._attempts.get(message_id) or self._admit(self._attempts, message_id, [0, self.max_retries])
        state[0] = min(state[0] + 1, U32_MAX)
        exhausted = state[0] > state[1]
        if exhausted:
            self.mark_permanently_failed(message_id)
        return state[0], exhausted

    def mark_success(self, message_id):
        self._attempts.pop(message_id, None)

    def mark_permanently_failed(self, message_id):
        if message_id not in self._failed:
            self._admit(self._failed, message_id, None)

    def is_permanently_failed(self, message_id):
        return message_id in self._failed


class ClaimRegistry:
    def __init__(self, max_completed=500):
        self.max_completed = max_completed
        self._inflight = set()  # (room_id, message_id)
        self._pending = {}  # (room_id, message_id) -> terminal intent, oldest first
        self._ack_retries = {}  # (room_id, message_id) -> count
        self._completed = {}  # room_id -> OrderedDict of message ids, least recently touched first

    def is_completed(self, room_id, message_id):
        done = self._completed.get(room_id)
        if done is None or message_id not in done:
            return False
        done.move_to_end(message_id)
        return True

    def remember_completed(self, room_id, message_id):
        done = self._completed.setdefault(room_id, OrderedDict())
        done[message_id] = None
        done.move_to_end(message_id)
        if len(done) > self.max_completed:
            done.popitem(last=False)
        key = (room_id, message_id)
        self._pending.pop(key, None)
        self._ack_retries.pop(key, None)

    def delivery_eligibility(self, room_id, message_id, retry_tracker, *, self_echo=False,
                             durably_processed=False, durably_failed=False, allow_failed_retry=True):
        if self_echo:
            return "self"
        key = (room_id, message_id)
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
                      durably_processed=False, durably_failed=False, allow_failed_retry=True):
        answer = self.delivery_eligibility(room_id, message_id, retry_tracker, self_echo=self_echo,
                                           durably_processed=durably_processed,
                                           durably_failed=durably_failed,
                                           allow_failed_retry=allow_failed_retry)
        if answer == "runnable":
            self._inflight.add((room_id, message_id))
        return answer

    def release(self, room_id, message_id):
        self._inflight.discard((room_id, message_id))
