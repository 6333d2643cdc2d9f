"""A room's join and leave bookkeeping in plain Python: one dict per collection (the subscribed one
keeps join order), a set for rooms awaiting reconciliation."""

from enum import Enum

from .limits import U64_MAX


class RoomSubscribeResult(Enum):
    Subscribed = "subscribed"
    JoinFailed = "join_failed"
    RolledBack = "rolled_back"
    RollbackFailed = "rollback_failed"
    Stale = "stale"


class LeaveOutcome(Enum):
    Left = "left"
    Failed = "failed"
    Unknown = "unknown"


class SubscriptionTracker:
    """The room family; agent topics are the same bookkeeping under other keys."""

    def __init__(self):
        self._next_ticket = 0
        self._pending, self._subscribed, self._leaving = {}, {}, {}  # room id -> ticket
        self._unreconciled = set()

    def _ticket(self):
        if self._next_ticket == U64_MAX:
            return None
        self._next_ticket += 1
        return self._next_ticket - 1

    def _known(self, room_id):
        return (room_id in self._pending or room_id in self._subscribed or room_id in self._leaving
                or room_id in self._unreconciled)

    def begin_room_subscribe(self, room_id):
        ticket = None if self._known(room_id) else self._ticket()
        if ticket is not None:
            self._pending[room_id] = ticket
        return ticket

    def _end_join(self, room_id, ticket):
        if self._pending.get(room_id) != ticket:
            return False
        del self._pending[room_id]
        return True

    def record_both_room_topics_joined(self, room_id, ticket):
        if not self._end_join(room_id, ticket):
            return RoomSubscribeResult.Stale
        self._subscribed[room_id] = ticket
        return RoomSubscribeResult.Subscribed

    def unsubscribe_room(self, room_id):
        ticket = self._ticket() if room_id in self._subscribed else None
        if ticket is not None:
            del self._subscribed[room_id]
            self._leaving[room_id] = ticket
        return ticket

    def mark_room_leave_complete(self, room_id, ticket, outcome):
        if self._leaving.get(room_id) != ticket:
            return False
        del self._leaving[room_id]
        if outcome is not LeaveOutcome.Left:
            self._unreconciled.add(room_id)
        return True
