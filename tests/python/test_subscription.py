"""SubscriptionTracker and the channel topic names, as the host sees them."""

import sys
from types import SimpleNamespace as Family

import pytest

import vorn_sdk_core as core

R, RS, TS = core.RoomSubscribeResult, core.RoomStatus, core.AgentTopicStatus
ABSENT, PENDING, ESTABLISHED, LEAVING, UNRECONCILED = range(5)
J, L = "join ticket", "leave ticket"  # stand for the key's own tickets in argument lists
LEAVES = [(core.LeaveOutcome.Left, ABSENT), (core.LeaveOutcome.Failed, UNRECONCILED),
          (core.LeaveOutcome.Unknown, UNRECONCILED)]

# A row: (method, arguments after the key, the one state it acts in, where it leads, answer,
# refusal). An answer of `int` is a new ticket.
ROOMS = Family(
    statuses=[RS.Absent, RS.Pending, RS.Subscribed, RS.Leaving, RS.NeedsReconciliation],
    queries=("room_status", "is_room_subscribed", "is_room_claim_current",
             "room_rejoin_candidates", "subscribed_room_ids"),
    begin=("begin_room_subscribe", (), ABSENT, PENDING, int, None),
    establish=("record_both_room_topics_joined", (J,), PENDING, ESTABLISHED, R.Subscribed, R.Stale),
    unreconcile=("record_room_participants_join_failed", (J, False), PENDING, UNRECONCILED,
                 R.RollbackFailed, R.Stale),
    leave=("unsubscribe_room", (), ESTABLISHED, LEAVING, int, None),
    others=[
        ("record_chat_room_join_failed", (J,), PENDING, ABSENT, R.JoinFailed, R.Stale),
        ("record_room_participants_join_failed", (J, True), PENDING, ABSENT, R.RolledBack, R.Stale),
        *[("mark_room_leave_complete", (L, o), LEAVING, to, True, False) for o, to in LEAVES],
        ("mark_room_rejoin_failed", (J,), ESTABLISHED, UNRECONCILED, True, False),
        ("acknowledge_room_reconciled", (), UNRECONCILED, ABSENT, True, False),
    ])
TOPICS = Family(
    statuses=[TS.Absent, TS.Pending, TS.Joined, TS.Leaving, TS.NeedsReconciliation],
    queries=("agent_topic_status", "is_agent_topic_joined", "is_agent_topic_claim_current",
             "agent_topic_rejoin_candidates", "joined_agent_topics"),
    begin=("begin_agent_topic_join", (), ABSENT, PENDING, int, None),
    establish=("record_agent_topic_join", (J, True), PENDING, ESTABLISHED, True, False),
    unreconcile=("record_agent_topic_join_ambiguous", (J,), PENDING, UNRECONCILED, True, False),
    leave=("leave_agent_topic", (), ESTABLISHED, LEAVING, int, None),
    others=[
        ("record_agent_topic_join", (J, False), PENDING, ABSENT, False, False),
        *[("mark_agent_topic_leave_complete", (L, o), LEAVING, to, True, False) for o, to in LEAVES],
        ("mark_agent_topic_rejoin_failed", (J,), ESTABLISHED, UNRECONCILED, True, False),
        ("acknowledge_agent_topic_reconciled", (), UNRECONCILED, ABSENT, True, False),
    ])
PATHS = {ABSENT: [], PENDING: ["begin"], ESTABLISHED: ["begin", "establish"],
         LEAVING: ["begin", "establish", "leave"], UNRECONCILED: ["begin", "unreconcile"]}


def call(t, row, key, tickets):
    return getattr(t, row[0])(key, *(tickets[a] if isinstance(a, str) else a for a in row[1]))


def walk(t, fam, state, key):
    """Brings `key` to `state`; returns its tickets (numbers never handed out where it has none)."""
    tickets = {J: 50, L: 60}
    for step in PATHS[state]:
        row = getattr(fam, step)
        result = call(t, row, key, tickets)
        if row[4] is int:
            tickets[J if row[3] == PENDING else L] = result
    return tickets


def snapshot(t, fam, key, tickets):
    status, established, current, candidates, keys = (getattr(t, q) for q in fam.queries)
    return (status(key), established(key), current(key, tickets[J]), candidates(), keys())


FAMILY_ROWS = [pytest.param(f, r, id=f"{r[0]}{r[1]}") for f in (ROOMS, TOPICS)
               for r in [f.begin, f.establish, f.unreconcile, f.leave, *f.others]]


@pytest.mark.parametrize("state", range(5))
@pytest.mark.parametrize("fam,row", FAMILY_ROWS)
def test_each_call_acts_in_one_state_only_and_with_its_own_ticket_only(fam, row, state):
    t = core.SubscriptionTracker()
    other = walk(t, fam, ESTABLISHED, "other")
    tickets = walk(t, fam, state, "k")
    before, other_before = snapshot(t, fam, "k", tickets), snapshot(t, fam, "other", other)
    _, args, source, target, answer, refusal = row
    if state == source and any(a in (J, L) for a in args):
        for shift in (1, -1):
            assert call(t, row, "k", {J: tickets[J] + shift, L: tickets[L] + shift}) is refusal
            assert snapshot(t, fam, "k", tickets) == before
    result = call(t, row, "k", tickets)
    if state == source:
        assert type(result) is int if answer is int else result is answer
        assert getattr(t, fam.queries[0])("k") is fam.statuses[target]
    else:
        assert result is refusal
        assert snapshot(t, fam, "k", tickets) == before
    assert snapshot(t, fam, "other", other)[:3] == other_before[:3]


def test_a_room_through_a_reconnect_and_an_unsubscribe():
    t = core.SubscriptionTracker()
    join = t.begin_room_subscribe("room")
    assert t.record_both_room_topics_joined("room", join) is R.Subscribed
    t.on_reconnected()
    assert t.room_rejoin_candidates() == [("room", join)]
    assert t.mark_room_rejoin_failed("room", join) is True
    assert t.room_rejoin_candidates() == [] and t.begin_room_subscribe("room") is None
    assert [t.acknowledge_room_reconciled("room") for _ in "12"] == [True, False]
    # One counter serves both families, a string names a different key in each, refusals take none.
    assert t.begin_agent_topic_join("room") == join + 1
    join = t.begin_room_subscribe("room")
    assert join == 2 and t.record_both_room_topics_joined("room", join) is R.Subscribed
    leave = t.unsubscribe_room("room")
    assert leave == 3 and t.unsubscribe_room("room") is None
    assert t.mark_room_leave_complete("room", join, core.LeaveOutcome.Left) is False
    assert t.mark_room_leave_complete("room", leave, core.LeaveOutcome.Left) is True
    assert t.record_both_room_topics_joined("room", join) is R.Stale  # a late duplicate
    assert t.room_status("room") is RS.Absent and t.begin_room_subscribe("room") == 4


def test_established_entries_keep_the_order_they_entered_in():
    t = core.SubscriptionTracker()
    tickets = {room: t.begin_room_subscribe(room) for room in "bac"}
    for room in "bac":
        t.record_both_room_topics_joined(room, tickets[room])
    t.mark_room_leave_complete("a", t.unsubscribe_room("a"), core.LeaveOutcome.Left)
    again = t.begin_room_subscribe("a")
    t.record_both_room_topics_joined("a", again)
    assert t.subscribed_room_ids() == ["b", "c", "a"]
    assert t.room_rejoin_candidates() == [("b", tickets["b"]), ("c", tickets["c"]), ("a", again)]
    topics = [core.AgentTopicKind.Rooms.topic("x"), core.AgentTopicKind.Control.topic("x")]
    for topic in topics:
        t.record_agent_topic_join(topic, t.begin_agent_topic_join(topic), True)
    assert t.joined_agent_topics() == topics == [k for k, _ in t.agent_topic_rejoin_candidates()]


def test_reconnect_changes_nothing_and_end_session_empties_all_but_the_counter():
    t = core.SubscriptionTracker()
    for fam in (ROOMS, TOPICS):
        for state in range(1, 5):
            walk(t, fam, state, str(state))  # 10 tickets handed out in all

    def everything():
        return [snapshot(t, fam, str(s), {J: 0}) for fam in (ROOMS, TOPICS) for s in range(1, 5)]

    before = everything()
    assert t.on_reconnected() is None and everything() == before
    assert t.end_session() is None
    assert all(s[0] in (RS.Absent, TS.Absent) and s[3:] == ([], []) for s in everything())
    assert [t.record_both_room_topics_joined("1", n) for n in range(10)] == [R.Stale] * 10
    assert not any(t.record_agent_topic_join_ambiguous("1", n) for n in range(10))
    assert t.begin_agent_topic_join("1") == 10


class Reenter:
    """A ticket whose __index__ first calls back into the tracker."""

    def __init__(self, call, value=0):
        self.call, self.value = call, value

    def __index__(self):
        self.call()
        return self.value


@pytest.mark.parametrize("outer,inner,message", [
    (lambda t, n: t.record_both_room_topics_joined("r", n), lambda t: t.room_status("r"),
     "Already mutably borrowed"),
    (lambda t, n: t.is_agent_topic_claim_current("x", n), lambda t: t.begin_room_subscribe("s"),
     "Already borrowed"),
    (lambda t, n: t.is_room_claim_current("r", n), lambda t: t.room_status("r"), None),
])
def test_reentry_during_argument_conversion(outer, inner, message):
    t = core.SubscriptionTracker()
    t.begin_room_subscribe("r")
    if message is None:  # shared calls may nest
        assert outer(t, Reenter(lambda: inner(t))) is True
        return
    with pytest.raises(RuntimeError, match=message):
        outer(t, Reenter(lambda: inner(t)))
    assert t.room_status("s") is RS.Absent
    assert t.record_both_room_topics_joined("r", 0) is R.Subscribed  # unchanged, flag released


@pytest.mark.parametrize("call,error,param", [
    (lambda t: t.begin_room_subscribe(b"r"), TypeError, "room_id"),
    (lambda t: t.is_room_claim_current("r", -1), OverflowError, "ticket"),
    (lambda t: t.record_chat_room_join_failed("r", 2**64), OverflowError, "ticket"),
    (lambda t: t.record_chat_room_join_failed("r", 0.0), TypeError, "ticket"),
    (lambda t: t.record_room_participants_join_failed("r", 0, 1), TypeError, "chat_room_left"),
    (lambda t: t.mark_room_leave_complete("r", 0, "left"), TypeError, "outcome"),
    (lambda t: t.mark_agent_topic_leave_complete("x", 0, RS.Absent), TypeError, "outcome"),
    (lambda t: t.end_session(1), TypeError, None),
])
def test_argument_errors_raise_and_change_nothing(call, error, param):
    t = core.SubscriptionTracker()
    t.begin_room_subscribe("r")
    with pytest.raises(error) as info:
        call(t)
    if param and sys.version_info >= (3, 11):
        assert f"while processing '{param}'" in info.value.__notes__
    assert t.record_chat_room_join_failed("r", 0) is R.JoinFailed
    assert t.begin_room_subscribe("s") == 1


def test_topic_names():
    kind = core.AgentTopicKind
    assert [core.chat_room_topic(""), core.chat_room_topic(room_id="r 1:é"),
            core.room_participants_topic("r1"), kind.Control.topic("x"), kind.Rooms.topic(agent_id="x"),
            kind.from_wire_name("agent_contacts").topic("x")] == [
        "chat_room:", "chat_room:r 1:é", "room_participants:r1", "agent_control:x", "agent_rooms:x",
        "agent_contacts:x"]
    assert not hasattr(core.EventType.Supersede, "topic")


@pytest.mark.parametrize("obj,signature,doc", [
    (core.SubscriptionTracker, "()", "Transport-independent subscription decisions for one agent session."),
    (core.SubscriptionTracker.record_room_participants_join_failed,
     "($self, room_id, ticket, chat_room_left)", None),
    (core.chat_room_topic, "(room_id)", "This platform's Phoenix Channels topic for a room's ``chat_room`` channel."),
    (core.room_participants_topic, "(room_id)",
     "This platform's Phoenix Channels topic for a room's ``room_participants``\nchannel."),
])
def test_signatures_and_docs(obj, signature, doc):
    assert obj.__text_signature__ == signature and doc in (None, obj.__doc__)
