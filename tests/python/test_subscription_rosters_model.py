"""SubscriptionTracker, RoomRoster and ParticipantRoster against their reference models: random
call sequences, with arguments of the wrong type or range among them, must get the same answers,
raise the same errors and leave the same views behind."""

import dataclasses
import types

from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, rule

import vorn_sdk_core as core
from models import machine_settings, outcome, same
from models import subscription_rosters as model


def mostly(valid, invalid):
    """A valid argument nine times in ten."""
    return st.integers(0, 9).flatmap(lambda n: invalid if n == 9 else valid)


class Recent:
    """Stands for the n-th latest ticket handed out, so that reports often carry a live one."""

    def __init__(self, back):
        self.back = back

    def __repr__(self):
        return f"Recent({self.back})"


BAD_TEXT = st.sampled_from([b"a", 3, None, "\ud800"])
TICKET = mostly(st.one_of(st.integers(0, 3).map(Recent), st.integers(0, 30), st.just(2**64 - 1)),
                st.sampled_from([-1, 2**64, 1.0, "0", None]))
FLAG = mostly(st.booleans(), st.sampled_from([1, None, "yes"]))


def calls(table):
    """A class decorator adding one rule per method of {method: {parameter: strategy}}, its
    arguments passed by position or by name. Separate rules let Hypothesis switch some off."""

    def rule_for(name, params):
        def call(self, args, by_name):
            self.run(name, args, tuple(params) if by_name else None)

        call.__name__ = call.__qualname__ = f"call_{name}"  # names the rule in reports and flags
        return rule(args=st.tuples(*params.values()), by_name=st.booleans())(call)

    def add_rules(machine):
        for name, params in table.items():
            setattr(machine, f"call_{name}", rule_for(name, params))
        return machine

    return add_rules


class Twins(RuleBasedStateMachine):
    """Drives a module object and its model with the same calls."""

    starts = {}  # method -> the tickets its result hands out

    def __init__(self):
        super().__init__()
        self.handed = []

    def run(self, name, args, keywords):
        args = [self.resolve(a) if isinstance(a, Recent) else a for a in args]
        if keywords is not None:
            result = same(self.real, self.model, name, **dict(zip(keywords, args)))
        else:
            result = same(self.real, self.model, name, *args)
        self.handed += self.starts.get(name, lambda r: [])(result)

    def resolve(self, recent):
        return self.handed[-1 - recent.back] if recent.back < len(self.handed) else 0

    def recent(self, count=3):
        return self.handed[-count:]


def ticket_or_none(result):
    return [] if result is None else [result]


ROOMS = ["a", "b", "c"]
TOPICS = [core.AgentTopicKind.Control.topic("x"), core.AgentTopicKind.Rooms.topic("x"), "a"]
ROOM, TOPIC = mostly(st.sampled_from(ROOMS), BAD_TEXT), mostly(st.sampled_from(TOPICS), BAD_TEXT)
LEAVE = mostly(st.sampled_from([core.LeaveOutcome.Left, core.LeaveOutcome.Failed,
                                core.LeaveOutcome.Unknown]),
               st.sampled_from(["left", core.RoomStatus.Absent, None]))


def key_calls(key, strategy, plain, ticketed):
    table = {name: {key: strategy} for name in plain}
    table.update({name: {key: strategy, "ticket": TICKET, **extra} for name, extra in ticketed.items()})
    return table


TRACKER_CALLS = {
    **key_calls("room_id", ROOM, ("begin_room_subscribe", "unsubscribe_room", "acknowledge_room_reconciled",
                                  "room_status", "is_room_subscribed"), {
        "record_chat_room_join_failed": {}, "record_both_room_topics_joined": {},
        "record_room_participants_join_failed": {"chat_room_left": FLAG},
        "mark_room_leave_complete": {"outcome": LEAVE}, "mark_room_rejoin_failed": {},
        "is_room_claim_current": {}}),
    **key_calls("topic", TOPIC, ("begin_agent_topic_join", "leave_agent_topic",
                                 "acknowledge_agent_topic_reconciled", "agent_topic_status",
                                 "is_agent_topic_joined"), {
        "record_agent_topic_join": {"joined": FLAG}, "record_agent_topic_join_ambiguous": {},
        "mark_agent_topic_leave_complete": {"outcome": LEAVE}, "mark_agent_topic_rejoin_failed": {},
        "is_agent_topic_claim_current": {}}),
    **dict.fromkeys(("on_reconnected", "end_session", "room_rejoin_candidates", "subscribed_room_ids",
                     "agent_topic_rejoin_candidates", "joined_agent_topics"), {}),
}


@calls(TRACKER_CALLS)
class TrackerMachine(Twins):
    starts = dict.fromkeys(("begin_room_subscribe", "unsubscribe_room", "begin_agent_topic_join",
                            "leave_agent_topic"), ticket_or_none)

    def __init__(self):
        super().__init__()
        self.real, self.model = core.SubscriptionTracker(), model.SubscriptionTracker()

    @invariant()
    def views_agree(self):
        for keys, status, established, current in [
                (ROOMS, "room_status", "is_room_subscribed", "is_room_claim_current"),
                (TOPICS, "agent_topic_status", "is_agent_topic_joined", "is_agent_topic_claim_current")]:
            for key in keys:
                same(self.real, self.model, status, key)
                same(self.real, self.model, established, key)
                for ticket in self.recent():
                    same(self.real, self.model, current, key, ticket)
        for view in ("room_rejoin_candidates", "subscribed_room_ids", "agent_topic_rejoin_candidates",
                     "joined_agent_topics"):
            same(self.real, self.model, view)


def reconciliation(result):
    if result[0] != "ok":
        return result
    assert isinstance(result[1], (core.RoomReconciliation, model.RoomReconciliation))
    return (result[1].removed, result[1].admitting, result[1].resync)


ROOM_IDS = mostly(st.lists(st.sampled_from(ROOMS + ["d"]), max_size=5).flatmap(
    lambda ids: st.sampled_from([ids, tuple(ids)])),
    st.sampled_from(["abc", None, 5, {"a"}, {"a": 1}, ["a", 1], (b"a",), ["\ud800"], range(2)]))


@calls({
    "room_membership": {"room_id": ROOM},
    "begin_room_admission": {"room_id": ROOM, "passes_filter": FLAG},
    "record_room_admission": {"room_id": ROOM, "ticket": TICKET, "succeeded": FLAG},
    "is_room_admission_current": {"room_id": ROOM, "ticket": TICKET},
    "record_room_removed": {"room_id": ROOM},
    "clear": {},
})
class RoomRosterMachine(Twins):
    starts = {"begin_room_admission": ticket_or_none}

    def __init__(self):
        super().__init__()
        self.real, self.model = core.RoomRoster(), model.RoomRoster()

    @rule(current_room_ids=ROOM_IDS, by_name=st.booleans())
    def reconcile(self, current_room_ids, by_name):
        args, keywords = ((), {"current_room_ids": current_room_ids}) if by_name else ((current_room_ids,), {})
        got, want = (reconciliation(outcome(side.reconcile, *args, **keywords))
                     for side in (self.real, self.model))
        assert got == want, f"reconcile({current_room_ids!r}): module {got!r}, model {want!r}"
        if got[0] != "raised":
            self.handed += [ticket for _, ticket in got[1]]

    @invariant()
    def views_agree(self):
        same(self.real, self.model, "tracked_room_ids")
        for room in ROOMS + ["d"]:
            same(self.real, self.model, "room_membership", room)
            for ticket in self.recent():
                same(self.real, self.model, "is_room_admission_current", room, ticket)


@dataclasses.dataclass
class Person:
    id: object
    name: object = None


class Stream:
    """An iterable that is no sequence; each side of a call gets its own pass over it."""

    def __init__(self, items):
        self.items = items

    def __iter__(self):
        return iter(self.items)

    def __repr__(self):
        return f"Stream({self.items!r})"


PEOPLE = ["p", "q", "r"]
FIELD = st.sampled_from([None, "", "A", "B"])
PARTICIPANT = mostly(
    st.fixed_dictionaries({"id": st.sampled_from(PEOPLE)}, optional={
        "name": FIELD, "type": FIELD, "handle": FIELD, "description": FIELD,
        "extra": st.sampled_from([1, [1.5, None], {"k": "v"}, {1, 2}, -2**63, float("nan")]),
    }).flatmap(lambda d: st.sampled_from([d, types.MappingProxyType(d), Person(d["id"], d.get("name"))])),
    st.sampled_from([
        [("id", "p")], "p", 5, None, {"id": 5}, {"name": "A"}, Person(5), {"id": "p", "handle": 3},
        {"id": "p", "name": True}, {"id": "p", "type": 1.5}, {"id": "p", "x": object()},
        {"id": "p", "x": b"b"}, {"id": "p", "x": bytearray(b"b")}, {"id": "p", "x": 2**64},
        {"id": "p", "x": -2**100}, {"id": "p", "x": 2**200}, {"id": "p", 1: "x"}, {"id": "\ud800"},
        {"id": "p", "name": float("inf")},
    ]))
SNAPSHOT = mostly(st.lists(PARTICIPANT, max_size=4).flatmap(
    lambda items: st.sampled_from([items, tuple(items), Stream(items)])), st.sampled_from([5, None]))


class Provider:
    """A trace-context provider that counts its calls; `answer` is returned, or raised."""

    def __init__(self, answer):
        self.answer, self.calls = answer, 0

    def __call__(self):
        self.calls += 1
        if isinstance(self.answer, Exception):
            raise self.answer
        return self.answer


@calls({
    "add": {"participant": PARTICIPANT},
    "remove": {"participant_id": mostly(st.sampled_from(PEOPLE), BAD_TEXT)},
    "set_all": {"participants": SNAPSHOT, "trace_context": mostly(st.sampled_from([None, "t-x"]),
                                                                  st.sampled_from([1, b"x", "\ud800"]))},
    "mark_sent": {},
})
class ParticipantRosterMachine(Twins):
    @initialize(answer=st.sampled_from(
        [None, "t-p", "", 42, "\ud800", LookupError("no trace"), 7]), given=st.booleans())
    def build(self, answer, given):
        # 7 stands for a provider that cannot be called at all.
        self.providers = [answer if answer == 7 else Provider(answer) for _ in "12"] if given else [None] * 2
        self.real, self.model = (kind(trace_context_provider=p) for kind, p in
                                 zip((core.ParticipantRoster, model.ParticipantRoster), self.providers))

    @invariant()
    def views_agree(self):
        same(self.real, self.model, "list")
        same(self.real, self.model, "changed")
        real, modelled = (getattr(p, "calls", None) for p in self.providers)
        assert real == modelled, f"provider calls: module {real}, model {modelled}"


TestSubscriptionTracker = TrackerMachine.TestCase
TestRoomRoster = RoomRosterMachine.TestCase
TestParticipantRoster = ParticipantRosterMachine.TestCase
TestSubscriptionTracker.settings = TestRoomRoster.settings = TestParticipantRoster.settings = \
    machine_settings()
