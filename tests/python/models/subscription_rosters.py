"""Reference models of SubscriptionTracker, RoomRoster and ParticipantRoster: the channel
bookkeeping of one agent session, room admission, and the passive participant list."""

import dataclasses
import math
import operator
from collections.abc import Mapping, Sequence

import vorn_sdk_core as core

from . import require_type

TICKET_LIMIT = 2**64 - 1  # a counter holding this value hands out no more tickets


def text(name, value):
    """A str argument; the module hands strings on as UTF-8, so a lone surrogate is refused."""
    require_type(name, value, str, "str")
    return utf8(value)


def utf8(value):
    try:
        value.encode()
    except UnicodeEncodeError as error:
        raise TypeError(f"UnicodeEncodeError: {error}") from None
    return value


def flag(name, value):
    kind = type(value)
    if kind.__module__ == "numpy" and kind.__name__ in ("bool_", "bool"):
        return bool(value)
    return require_type(name, value, bool, "bool")


def ticket_arg(value):
    value = operator.index(value)
    if value < 0:
        raise OverflowError("can't convert negative int to unsigned")
    if value > 2**64 - 1:
        raise OverflowError("int too big to convert")
    return value


class Tickets:
    """One counter per object; tickets are never reused, not even after a reset."""

    def __init__(self):
        self.next = 0

    def take(self):
        if self.next >= TICKET_LIMIT:
            return None
        self.next += 1
        return self.next - 1


class Family:
    """Rooms or agent topics: each key sits in at most one of the four collections."""

    def __init__(self, absent, pending, established, leaving, unreconciled):
        self.statuses = (absent, pending, established, leaving, unreconciled)
        self.clear()

    def clear(self):
        self.pending, self.established, self.leaving = {}, {}, {}  # established: oldest first
        self.unreconciled = set()

    def status(self, key):
        for status, held in zip(self.statuses[1:], (self.pending, self.established, self.leaving,
                                                    self.unreconciled)):
            if key in held:
                return status
        return self.statuses[0]

    def begin(self, key, tickets):
        if self.status(key) is not self.statuses[0]:
            return None
        ticket = tickets.take()
        if ticket is not None:
            self.pending[key] = ticket
        return ticket

    def settle_join(self, key, ticket):
        """Ends the pending join if `ticket` is its own; whether it was."""
        if self.pending.get(key) != ticket:
            return False
        del self.pending[key]
        return True

    def leave(self, key, tickets):
        if key not in self.established:
            return None
        ticket = tickets.take()
        if ticket is not None:
            del self.established[key]
            self.leaving[key] = ticket
        return ticket

    def leave_complete(self, key, ticket, outcome):
        if self.leaving.get(key) != ticket:
            return False
        del self.leaving[key]
        if outcome is not core.LeaveOutcome.Left:
            self.unreconciled.add(key)
        return True

    def rejoin_failed(self, key, ticket):
        if self.established.get(key) != ticket:
            return False
        del self.established[key]
        self.unreconciled.add(key)
        return True

    def acknowledge(self, key):
        known = key in self.unreconciled
        self.unreconciled.discard(key)
        return known


class SubscriptionTracker:
    def __init__(self):
        self._tickets = Tickets()
        self._rooms = Family(*(getattr(core.RoomStatus, n) for n in (
            "Absent", "Pending", "Subscribed", "Leaving", "NeedsReconciliation")))
        self._topics = Family(*(getattr(core.AgentTopicStatus, n) for n in (
            "Absent", "Pending", "Joined", "Leaving", "NeedsReconciliation")))

    def begin_room_subscribe(self, room_id):
        return self._rooms.begin(text("room_id", room_id), self._tickets)

    def record_chat_room_join_failed(self, room_id, ticket):
        if not self._rooms.settle_join(text("room_id", room_id), ticket_arg(ticket)):
            return core.RoomSubscribeResult.Stale
        return core.RoomSubscribeResult.JoinFailed

    def record_both_room_topics_joined(self, room_id, ticket):
        room_id, ticket = text("room_id", room_id), ticket_arg(ticket)
        if not self._rooms.settle_join(room_id, ticket):
            return core.RoomSubscribeResult.Stale
        self._rooms.established[room_id] = ticket
        return core.RoomSubscribeResult.Subscribed

    def record_room_participants_join_failed(self, room_id, ticket, chat_room_left):
        room_id, ticket = text("room_id", room_id), ticket_arg(ticket)
        left = flag("chat_room_left", chat_room_left)
        if not self._rooms.settle_join(room_id, ticket):
            return core.RoomSubscribeResult.Stale
        if left:
            return core.RoomSubscribeResult.RolledBack
        self._rooms.unreconciled.add(room_id)
        return core.RoomSubscribeResult.RollbackFailed

    def is_room_subscribed(self, room_id):
        return text("room_id", room_id) in self._rooms.established

    def is_room_claim_current(self, room_id, ticket):
        return self._rooms.pending.get(text("room_id", room_id)) == ticket_arg(ticket)

    def room_status(self, room_id):
        return self._rooms.status(text("room_id", room_id))

    def unsubscribe_room(self, room_id):
        return self._rooms.leave(text("room_id", room_id), self._tickets)

    def mark_room_leave_complete(self, room_id, ticket, outcome):
        room_id, ticket = text("room_id", room_id), ticket_arg(ticket)
        outcome = require_type("outcome", outcome, core.LeaveOutcome, "LeaveOutcome")
        return self._rooms.leave_complete(room_id, ticket, outcome)

    def acknowledge_room_reconciled(self, room_id):
        return self._rooms.acknowledge(text("room_id", room_id))

    def room_rejoin_candidates(self):
        return list(self._rooms.established.items())

    def mark_room_rejoin_failed(self, room_id, ticket):
        return self._rooms.rejoin_failed(text("room_id", room_id), ticket_arg(ticket))

    def subscribed_room_ids(self):
        return list(self._rooms.established)

    def on_reconnected(self):
        return None

    def end_session(self):
        self._rooms.clear()
        self._topics.clear()

    def begin_agent_topic_join(self, topic):
        return self._topics.begin(text("topic", topic), self._tickets)

    def record_agent_topic_join(self, topic, ticket, joined):
        topic, ticket, joined = text("topic", topic), ticket_arg(ticket), flag("joined", joined)
        if not self._topics.settle_join(topic, ticket):
            return False
        if joined:
            self._topics.established[topic] = ticket
        return joined

    def record_agent_topic_join_ambiguous(self, topic, ticket):
        topic = text("topic", topic)
        if not self._topics.settle_join(topic, ticket_arg(ticket)):
            return False
        self._topics.unreconciled.add(topic)
        return True

    def is_agent_topic_joined(self, topic):
        return text("topic", topic) in self._topics.established

    def is_agent_topic_claim_current(self, topic, ticket):
        return self._topics.pending.get(text("topic", topic)) == ticket_arg(ticket)

    def agent_topic_status(self, topic):
        return self._topics.status(text("topic", topic))

    def leave_agent_topic(self, topic):
        return self._topics.leave(text("topic", topic), self._tickets)

    def mark_agent_topic_leave_complete(self, topic, ticket, outcome):
        topic, ticket = text("topic", topic), ticket_arg(ticket)
        outcome = require_type("outcome", outcome, core.LeaveOutcome, "LeaveOutcome")
        return self._topics.leave_complete(topic, ticket, outcome)

    def acknowledge_agent_topic_reconciled(self, topic):
        return self._topics.acknowledge(text("topic", topic))

    def agent_topic_rejoin_candidates(self):
        return list(self._topics.established.items())

    def mark_agent_topic_rejoin_failed(self, topic, ticket):
        return self._topics.rejoin_failed(text("topic", topic), ticket_arg(ticket))

    def joined_agent_topics(self):
        return list(self._topics.established)


class RoomReconciliation:
    """Each read hands out a fresh list."""

    def __init__(self, removed, admitting, resync):
        self._lists = (removed, admitting, resync)

    removed = property(lambda self: list(self._lists[0]))
    admitting = property(lambda self: list(self._lists[1]))
    resync = property(lambda self: list(self._lists[2]))


class RoomRoster:
    # Ids are valid UTF-8 once converted, so code-point order is their byte order.

    def __init__(self):
        self._tickets = Tickets()
        self._admitted = {}  # room id -> True, in admission order
        self._admitting = {}  # room id -> ticket of the admission under way

    def room_membership(self, room_id):
        room_id = text("room_id", room_id)
        if room_id in self._admitting:
            return core.RoomMembership.Admitting
        if room_id in self._admitted:
            return core.RoomMembership.Admitted
        return core.RoomMembership.Unadmitted

    def begin_room_admission(self, room_id, passes_filter):
        room_id, passes_filter = text("room_id", room_id), flag("passes_filter", passes_filter)
        if not passes_filter or room_id in self._admitting or room_id in self._admitted:
            return None
        ticket = self._tickets.take()
        if ticket is not None:
            self._admitting[room_id] = ticket
        return ticket

    def record_room_admission(self, room_id, ticket, succeeded):
        room_id, ticket = text("room_id", room_id), ticket_arg(ticket)
        succeeded = flag("succeeded", succeeded)
        if self._admitting.get(room_id) != ticket:
            return False
        del self._admitting[room_id]
        if succeeded:
            self._admitted[room_id] = True
        return succeeded

    def is_room_admission_current(self, room_id, ticket):
        return self._admitting.get(text("room_id", room_id)) == ticket_arg(ticket)

    def record_room_removed(self, room_id):
        room_id = text("room_id", room_id)
        self._admitting.pop(room_id, None)
        return self._admitted.pop(room_id, False)

    def tracked_room_ids(self):
        return list(self._admitted)

    def reconcile(self, current_room_ids):
        snapshot = set(room_ids("current_room_ids", current_room_ids))
        removed = sorted(r for r in self._admitted if r not in snapshot)
        resync = sorted(r for r in self._admitted if r in snapshot)
        for room_id in removed:
            del self._admitted[room_id]
        admitting = []
        for room_id in sorted(snapshot - self._admitted.keys() - self._admitting.keys()):
            ticket = self._tickets.take()
            if ticket is None:
                break
            self._admitting[room_id] = ticket
            admitting.append((room_id, ticket))
        return RoomReconciliation(removed, admitting, resync)

    def clear(self):
        everything = sorted(self._admitted.keys() | self._admitting.keys())
        self._admitted.clear()
        self._admitting.clear()
        return everything


def room_ids(name, value):
    if isinstance(value, str) or not isinstance(value, Sequence):
        raise TypeError(f"argument '{name}' must be a sequence of str, not {type(value).__name__}")
    for item in value:
        if not isinstance(item, str):
            raise TypeError(f"argument '{name}' must be a sequence of str, found {type(item).__name__}")
    return [utf8(item) for item in value]


OPTIONAL_FIELDS = ("name", "type", "handle", "description")


def to_json(value):
    """The module's conversion of a Python object to a JSON value, as plain Python values."""
    if value is None or type(value) is bool:
        return value
    if isinstance(value, int):
        if -2**63 <= value < 2**64:
            return int(value)
        fits_128_bits = -2**127 <= value < 2**128
        raise TypeError("JSON number out of range" if fits_128_bits else "int too big to convert")
    if isinstance(value, (list, tuple, set, frozenset)):
        return [to_json(item) for item in value]
    if isinstance(value, dict):
        return json_object(value.items())
    if isinstance(value, str):
        return utf8(value)
    if isinstance(value, (bytes, bytearray)):
        kind = "byte array" if isinstance(value, bytes) else "bytearray"
        raise TypeError(f"invalid type: {kind}, expected any valid JSON value")
    if isinstance(value, float):
        return value if math.isfinite(value) else None
    if isinstance(value, Sequence):
        return [to_json(item) for item in value]
    if isinstance(value, Mapping):
        return json_object(value.items())
    if dataclasses.is_dataclass(value):
        return json_object((f.name, getattr(value, f.name)) for f in dataclasses.fields(value))
    raise TypeError(f"unsupported type: {type(value).__name__} cannot be converted to a JSON value")


def json_object(items):
    converted = {}
    for key, item in items:
        if not isinstance(key, str):
            raise TypeError(f"JSON object keys must be str, not {type(key).__name__}")
        converted[utf8(key)] = to_json(item)
    return converted


def participant_entry(participant):
    """(id, (name, type, handle, description)) of a participant; every other key is dropped."""
    value = to_json(participant)
    if not isinstance(value, dict):
        raise TypeError("participant must be a mapping")
    if not isinstance(value.get("id"), str):
        raise TypeError("participant field `id` must be a string")
    for field in OPTIONAL_FIELDS:
        if not isinstance(value.get(field), (str, type(None))):
            raise TypeError(f"participant field `{field}` must be a string or None")
    return value["id"], tuple(value.get(field) for field in OPTIONAL_FIELDS)


def merged(known, incoming):
    # An absent or empty incoming field never erases what is known.
    return tuple(new or old for old, new in zip(known, incoming))


def validation_error(issues, trace_context):
    path, _, message = issues[0]
    error = ValueError(f"{len(issues)} validation issue(s): {message} ({path})")
    error.issues, error.trace_context = tuple(issues), trace_context
    return error


class ParticipantRoster:
    def __init__(self, *, trace_context_provider=None):
        self._provider = trace_context_provider
        self._entries = {}  # id -> optional fields, in roster order
        self._sent = None

    def add(self, participant):
        participant_id, fields = participant_entry(participant)
        known = self._entries.get(participant_id)
        self._entries[participant_id] = fields if known is None else merged(known, fields)
        return known is None

    def remove(self, participant_id):
        return self._entries.pop(text("participant_id", participant_id), None) is not None

    def set_all(self, participants, trace_context=None):
        if trace_context is not None:
            text("trace_context", trace_context)
        snapshot = [participant_entry(p) for p in participants]
        if trace_context is None:
            trace_context = self._provided_trace_context()
        seen, issues = set(), []
        for position, (participant_id, _) in enumerate(snapshot):
            if participant_id in seen:
                issues.append((f"participants[{position}].id", "invalid_value",
                               f"duplicate participant id `{participant_id}` in set_all snapshot"))
            seen.add(participant_id)
        if issues:
            raise validation_error(issues, trace_context)
        old = self._entries
        self._entries = {pid: merged(old[pid], fields) if pid in old else fields
                         for pid, fields in snapshot}

    def _provided_trace_context(self):
        if self._provider is None:
            return None
        try:
            value = self._provider()
            return utf8(value) if isinstance(value, str) else None
        except Exception:  # a failing provider only costs the trace context
            return None

    def list(self):
        return [dict(zip(("id", *OPTIONAL_FIELDS), (pid, *fields)))
                for pid, fields in self._entries.items()]

    def changed(self):
        return self._sent is None or self._sent != list(self._entries.items())

    def mark_sent(self):
        self._sent = list(self._entries.items())
