"""Pending asks in plain Python: one insertion-ordered dict from token to a slotted record, tokens
minted by SplitMix64 from the seed."""

import os
from dataclasses import dataclass
from enum import Enum
from typing import Optional

from .limits import U64_MAX


class ClaimOutcome(Enum):
    Claimed = "claimed"
    AlreadyClaimed = "already_claimed"
    Stale = "stale"


@dataclass(slots=True)
class Decision:
    room_id: Optional[str]
    ticket: int
    claimed: bool = False


class DecisionRegistry:
    def __init__(self, *, max_pending=None, seed=None):
        self.max_pending = max_pending
        self._state = int.from_bytes(os.urandom(8), "little") if seed is None else seed
        self._next_ticket = 0
        self._decisions = {}  # token -> Decision, oldest registration first

    def _mint(self):
        while True:
            self._state = (self._state + 0x9E3779B97F4A7C15) & U64_MAX
            z = ((self._state ^ (self._state >> 30)) * 0xBF58476D1CE4E5B9) & U64_MAX
            z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & U64_MAX
            token = f"{(z ^ (z >> 31)) & 0xFFFFFFFF:08x}"
            if token not in self._decisions:
                return token

    def register_minted(self, room_id=None):
        if self._next_ticket == U64_MAX:
            return None
        ticket, self._next_ticket = self._next_ticket, self._next_ticket + 1
        token = self._mint()
        self._decisions[token] = Decision(room_id, ticket)
        return token, ticket

    def _current(self, token, ticket):
        decision = self._decisions.get(token)
        return decision if decision is not None and decision.ticket == ticket else None

    def try_claim(self, token, ticket):
        decision = self._current(token, ticket)
        if decision is None:
            return ClaimOutcome.Stale
        if decision.claimed:
            return ClaimOutcome.AlreadyClaimed
        decision.claimed = True
        return ClaimOutcome.Claimed

    def forget(self, token, ticket):
        if self._current(token, ticket) is None:
            return False
        del self._decisions[token]
        return True
