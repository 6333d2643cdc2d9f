"""Reference models of `DecisionRegistry` (pending asks under token and ticket) and `TurnLedger`."""

import os
from dataclasses import dataclass
from operator import index
from typing import NamedTuple

from vorn_sdk_core import ClaimOutcome, TurnEffect, TurnVerdict

from . import require_type

U64_MAX = 2**64 - 1


def text(name, value):
    try:
        require_type(name, value, str, "str").encode()
    except UnicodeEncodeError as error:
        raise TypeError(f"UnicodeEncodeError: {error}") from None
    return value


def integer(value, low, high):
    """An index-protocol integer read at the width low..high, with the interpreter's overflow errors."""
    value = index(value)
    if value < 0 <= low:
        raise OverflowError("can't convert negative int to unsigned")
    if not low <= value <= high:
        raise OverflowError("int too big to convert")
    return value


def in_range(name, value, low, high):
    if not low <= value <= high:
        raise ValueError(f"`{name}` must be an integer between {low} and {high}, got {value}")
    return value


def minted_tokens(state):
    """SplitMix64 from `state`: the low 32 bits of each output as eight hex digits."""
    while True:
        state = (state + 0x9E3779B97F4A7C15) & U64_MAX
        z = ((state ^ (state >> 30)) * 0xBF58476D1CE4E5B9) & U64_MAX
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & U64_MAX
        yield format((z ^ (z >> 31)) & 0xFFFFFFFF, "08x")


@dataclass(slots=True)
class Decision:
    room_id: str | None
    ticket: int
    claimed: bool = False


class CancelledDecisions(NamedTuple):
    unclaimed: list
    claimed: list


class DecisionRegistry:
    def __init__(self, *, max_pending=None, seed=None):
        if max_pending is not None:
            max_pending = in_range("max_pending", integer(max_pending, -(2**63), 2**63 - 1), 1, 2**32 - 1)
        seed = int.from_bytes(os.urandom(8), "little") if seed is None else index(seed)
        self._tokens = minted_tokens(in_range("seed", seed, 0, U64_MAX))
        self._max_pending, self._next_ticket = max_pending, 0
        self._decisions, self._unclaimed = {}, {}  # token -> Decision, oldest first; the unclaimed ones

    max_pending = property(lambda self: self._max_pending)

    def _add(self, token, room_id):
        self._decisions[token] = self._unclaimed[token] = Decision(room_id, self._next_ticket)
        self._next_ticket += 1
        return token, self._next_ticket - 1

    def _drop(self, token):
        self._unclaimed.pop(token, None)
        return self._decisions.pop(token)

    def _current(self, token, ticket):
        decision, ticket = self._decisions.get(text("token", token)), integer(ticket, 0, U64_MAX)
        return decision if decision and decision.ticket == ticket else None

    def _cancel(self, tokens):
        removed = [(token, self._drop(token)) for token in tokens]
        return CancelledDecisions([t for t, d in removed if not d.claimed], [t for t, d in removed if d.claimed])

    def register_minted(self, room_id=None):
        room_id = None if room_id is None else text("room_id", room_id)
        if self._next_ticket < U64_MAX:
            return self._add(next(t for t in self._tokens if t not in self._decisions), room_id)

    def register_keyed(self, key):
        current = self._decisions.get(text("key", key))
        if current and current.claimed or self._next_ticket == U64_MAX:
            return None
        if not current:
            return self._add(key, None)
        current.room_id, current.ticket = None, self._next_ticket  # keeps its place in the order
        self._next_ticket += 1
        return key, current.ticket

    def try_claim(self, token, ticket):
        decision = self._current(token, ticket)
        if not decision or decision.claimed:
            return ClaimOutcome.AlreadyClaimed if decision else ClaimOutcome.Stale
        decision.claimed = True
        del self._unclaimed[token]
        return ClaimOutcome.Claimed

    def withdraw(self, token, ticket):
        decision = self._current(token, ticket)
        return bool(decision and not decision.claimed and self._drop(token))

    def forget(self, token, ticket):
        return bool(self._current(token, ticket) and self._drop(token))

    def unclaimed(self):
        return list(self._unclaimed)

    def unclaimed_in_room(self, room_id):
        room_id = text("room_id", room_id)
        return [token for token, d in self._unclaimed.items() if d.room_id == room_id]

    def unclaimed_count(self):
        return len(self._unclaimed)

    def oldest_unclaimed(self):
        return next(iter(self._unclaimed), None)

    def evict_oldest(self):
        if self._max_pending and len(self._decisions) >= self._max_pending and self._unclaimed:
            return self._cancel([self.oldest_unclaimed()]).unclaimed[0]

    def cancel_all(self):
        return self._cancel(list(self._decisions))

    def cancel_room(self, room_id):
        room_id = text("room_id", room_id)
        return self._cancel([token for token, d in self._decisions.items() if d.room_id == room_id])


class TurnLedger:
    def __init__(self):
        self._settled = self._reply_settled = False

    def record(self, effect):
        require_type("effect", effect, TurnEffect, "TurnEffect")
        self._settled |= effect is not TurnEffect.Observe
        self._reply_settled |= effect in (TurnEffect.Reply, TurnEffect.Decline)

    def settle(self):
        self._settled = True

    note_reported = settle

    def reply_settled(self):
        return self._reply_settled

    def verdict(self):
        return TurnVerdict.Complete if self._settled else TurnVerdict.MissingReply
