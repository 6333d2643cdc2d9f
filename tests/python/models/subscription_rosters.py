"""Reference models of SubscriptionTracker, RoomRoster and ParticipantRoster: the channel
bookkeeping of one agent session, room admission, and the passive participant list."""

import dataclasses
import math
import operator
from collections.abc import Mapping, Sequence

import vorn_sdk_core as core

from . import require_type

TICKET_LIMIT = 2**64 - 1  # a counter holding this value hands out no more tickets


def utf8(value):
    """The module hands strings on as UTF-8, so a lone surrogate is refused."""
    if not value.isascii():
        try:
            value.encode()
        except UnicodeEncodeError as error:
            raise TypeError(f"UnicodeEncodeError: {error}") from None
    return value


def text(name, value):
    return utf8(require_type(name, value, str, "str"))


def flag(name, value):
    if type(value).__module__ == "numpy" and type(value).__name__ in ("bool_", "bool"):
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
    """One counter per object; a ticket is never handed out twice, not even after a reset."""

    def __init__(self):
        self.next = 0

    def take(self):
        if self.next >= TICKET_LIMIT:
            return None
        self.next += 1
        return self.next - 1


class Family:
    """Rooms or agent topics: key -> (status, ticket). A key moves to the end whenever its status
    changes, so established keys iterate in the order they were established."""

    def __init__(self, statuses, established):
        self.s, self.established, self.keys = statuses, established, {}

    def status(self, key):
        return self.keys.get(key, (self.s.Absent,))[0]

    def holds(self, key, status, ticket):
        return self.keys.get(key) == (status, ticket)

    def move(self, key, status, ticket=None):
        self.keys.pop(key, None)
        if status is not self.s.Absent:
            self.keys[key] = (status, ticket)

    def start(self, key, status, tickets):
        ticket = tickets.take()
        if ticket is not None:
            self.move(key, status, ticket)
        return ticket

    def begin(self, key, tickets):
        return None if key in self.keys else self.start(key, self.s.Pending, tickets)

    def leave(self, key, tickets):
        return self.start(key, self.s.Leaving, tickets) if self.status(key) is self.established else None

    def settle_join(self, key, ticket, status):
        """Moves the key's pending join with this ticket to `status`; whether there was one."""
        if not self.holds(key, self.s.Pending, ticket):
            return False
        self.move(key, status, ticket)
        return True

    def leave_complete(self, key, ticket, outcome):
        if not self.holds(key, self.s.Leaving, ticket):
            return False
        self.move(key, self.s.Absent if outcome is core.LeaveOutcome.Left else self.s.NeedsReconciliation)
        return True

    def rejoin_failed(self, key, ticket):
        if not self.holds(key, self.established, ticket):
            return False
        self.move(key, self.s.NeedsReconciliation)
        return True

    def acknowledge(self, key):
        if self.status(key) is not self.s.NeedsReconciliation:
            return False
        self.move(key, self.s.Absent)
        return True

    def rejoin_candidates(self):
        return [(key, ticket) for key, (status, ticket) in self.keys.items() if status is self.established]


class SubscriptionTracker:
    def __init__(self):
        self._tickets = Tickets()
        self._rooms = Family(core.RoomStatus, core.RoomStatus.Subscribed)
        self._topics = Family(core.AgentTopicStatus, core.AgentTopicStatus.Joined)

    def begin_room_subscribe(self, room_id):
        return self._rooms.begin(text("room_id", room_id), self._tickets)

    def _room_join(self, room_id, ticket, status, result):
        settled = self._rooms.settle_join(text("room_id", room_id), ticket_arg(ticket), status)
        return result if settled else core.RoomSubscribeResult.Stale

    def record_chat_room_join_failed(self, room_id, ticket):
        return self._room_join(room_id, ticket, core.RoomStatus.Absent, core.RoomSubscribeResult.JoinFailed)

    def record_both_room_topics_joined(self, room_id, ticket):
        return self._room_join(room_id, ticket, core.RoomStatus.Subscribed,
                               core.RoomSubscribeResult.Subscribed)

    def record_room_participants_join_failed(self, room_id, ticket, chat_room_left):
        room_id, ticket = text("room_id", room_id), ticket_arg(ticket)
        if flag("chat_room_left", chat_room_left):
            return self._room_join(room_id, ticket, core.RoomStatus.Absent, core.RoomSubscribeResult.RolledBack)
        return self._room_join(room_id, ticket, core.RoomStatus.NeedsReconciliation,
                               core.RoomSubscribeResult.RollbackFailed)

    def is_room_subscribed(self, room_id):
        return self._rooms.status(text("room_id", room_id)) is core.RoomStatus.Subscribed

    def is_room_claim_current(self, room_id, ticket):
        return self._rooms.holds(text("room_id", room_id), core.RoomStatus.Pending, ticket_arg(ticket))

    def room_status(self, room_id):
        return self._rooms.status(text("room_id", room_id))

    def unsubscribe_room(self, room_id):
        return self._rooms.leave(text("room_id", room_id), self._tickets)

    def mark_room_leave_complete(self, room_id, ticket, outcome):
        room_id, ticket = text("room_id", room_id), ticket_arg(ticket)
        return self._rooms.leave_complete(room_id, ticket, leave_outcome(outcome))

    def acknowledge_room_reconciled(self, room_id):
        return self._rooms.acknowledge(text("room_id", room_id))

    def room_rejoin_candidates(self):
        return self._rooms.rejoin_candidates()

    def mark_room_rejoin_failed(self, room_id, ticket):
        return self._rooms.rejoin_failed(text("room_id", room_id), ticket_arg(ticket))

    def subscribed_room_ids(self):
        return [room_id for room_id, _ in self._rooms.rejoin_candidates()]

    def on_reconnected(self):
        return None

    def end_session(self):
        self._rooms.keys.clear()
        self._topics.keys.clear()

    def begin_agent_topic_join(self, topic):
        return self._topics.begin(text("topic", topic), self._tickets)

    def record_agent_topic_join(self, topic, ticket, joined):
        topic, ticket, joined = text("topic", topic), ticket_arg(ticket), flag("joined", joined)
        status = core.AgentTopicStatus.Joined if joined else core.AgentTopicStatus.Absent
        return self._topics.settle_join(topic, ticket, status) and joined

    def record_agent_topic_join_ambiguous(self, topic, ticket):
        return self._topics.settle_join(text("topic", topic), ticket_arg(ticket),
                                        core.AgentTopicStatus.NeedsReconciliation)

    def is_agent_topic_joined(self, topic):
        return self._topics.status(text("topic", topic)) is core.AgentTopicStatus.Joined

    def is_agent_topic_claim_current(self, topic, ticket):
        return self._topics.holds(text("topic", topic), core.AgentTopicStatus.Pending, ticket_arg(ticket))

    def agent_topic_status(self, topic):
        return self._topics.status(text("topic", topic))

    def leave_agent_topic(self, topic):
        return self._topics.leave(text("topic", topic), self._tickets)

    def mark_agent_topic_leave_complete(self, topic, ticket, outcome):
        topic, ticket = text("topic", topic), ticket_arg(ticket)
        return self._topics.leave_complete(topic, ticket, leave_outcome(outcome))

    def acknowledge_agent_topic_reconciled(self, topic):
        return self._topics.acknowledge(text("topic", topic))

    def agent_topic_rejoin_candidates(self):
        return self._topics.rejoin_candidates()

    def mark_agent_topic_rejoin_failed(self, topic, ticket):
        return self._topics.rejoin_failed(text("topic", topic), ticket_arg(ticket))

    def joined_agent_topics(self):
        return [topic for topic, _ in self._topics.rejoin_candidates()]


def leave_outcome(value):
    return require_type("outcome", value, core.LeaveOutcome, "LeaveOutcome")


class RoomReconciliation:
    def __init__(self, removed, admitting, resync):
        self._lists = (removed, admitting, resync)

    # Each read hands out a fresh list.
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
        return core.RoomMembership.Admitted if room_id in self._admitted else core.RoomMembership.Unadmitted

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
