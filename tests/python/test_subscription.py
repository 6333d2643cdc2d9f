"""SubscriptionTracker and the channel topic names, as the host sees them."""

import sys
from types import SimpleNamespace as Family

import pytest

import vorn_sdk_core as core

R, RS, TS = core.RoomSubscribeResult, core.RoomStatus, core.AgentTopicStatus
Left, Failed, Unknown = core.LeaveOutcome.Left, core.LeaveOutcome.Failed, core.LeaveOutcome.Unknown
ABSENT, PENDING, ESTABLISHED, LEAVING, UNRECONCILED = range(5)
J, L = "join ticket", "leave ticket"  # stand for the key's own tickets in argument lists

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
        ("mark_room_leave_complete", (L, Left), LEAVING, ABSENT, True, False),
        ("mark_room_leave_complete", (L, Failed), LEAVING, UNRECONCILED, True, False),
        ("mark_room_leave_complete", (L, Unknown), LEAVING, UNRECONCILED, True, False),
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
        ("mark_agent_topic_leave_complete", (L, Left), LEAVING, ABSENT, True, False),
        ("mark_agent_topic_leave_complete", (L, Failed), LEAVING, UNRECONCILED, True, False),
        ("mark_agent_topic_leave_complete", (L, Unknown), LEAVING, UNRECONCILED, True, False),
        ("mark_agent_topic_rejoin_failed", (J,), ESTABLISHED, UNRECONCILED, True, False),
        ("acknowledge_agent_topic_reconciled", (), UNRECONCILED, ABSENT, True, False),
    ])
PATHS = {ABSENT: [], PENDING: ["begin"], ESTABLISHED: ["begin", "establish"],
         LEAVING: ["begin", "establish", "leave"], UNRECONCILED: ["begin", "unreconcile"]}


def rows(fam):
    return [fam.begin, fam.establish, fam.unreconcile, fam.leave, *fam.others]


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


FAMILY_ROWS = [pytest.param(f, r, id=f"{r[0]}{r[1]}") for f in (ROOMS, TOPICS) for r in rows(f)]


@pytest.mark.parametrize("state", range(5))
@pytest.mark.parametrize("fam,row", FAMILY_ROWS)
def test_each_call_acts_in_one_state_and_refuses_in_every_other(fam, row, state):
    t = core.SubscriptionTracker()
    other = walk(t, fam, ESTABLISHED, "other")
    tickets = walk(t, fam, state, "k")
    before, other_before = snapshot(t, fam, "k", tickets), snapshot(t, fam, "other", other)
    result = call(t, row, "k", tickets)
    _, _, source, target, answer, refusal = row
    if state == source:
        assert type(result) is int if answer is int else result is answer
        assert getattr(t, fam.queries[0])("k") is fam.statuses[target]
    else:
        assert result is refusal
        assert snapshot(t, fam, "k", tickets) == before
    assert snapshot(t, fam, "other", other)[:3] == other_before[:3]


@pytest.mark.parametrize("shift", [1, -1])
@pytest.mark.parametrize("fam,row", [p for p in FAMILY_ROWS if any(a in (J, L) for a in p.values[1][1])])
def test_a_ticket_other_than_the_expected_one_is_refused(fam, row, shift):
    t = core.SubscriptionTracker()
    walk(t, fam, ESTABLISHED, "other")
    tickets = walk(t, fam, row[2], "k")
    before = snapshot(t, fam, "k", tickets)
    assert call(t, row, "k", {J: tickets[J] + shift, L: tickets[L] + shift}) is row[5]
    assert snapshot(t, fam, "k", tickets) == before


def test_one_counter_serves_both_families_and_refusals_take_no_ticket():
    t = core.SubscriptionTracker()
    assert t.begin_room_subscribe("r1") == 0
    assert t.begin_agent_topic_join(core.AgentTopicKind.Control.topic("x")) == 1
    assert t.begin_room_subscribe("r2") == 2
    assert t.unsubscribe_room("r1") is None and t.begin_room_subscribe("r1") is None
    assert t.begin_agent_topic_join("r1") == 3  # the same string is another key in each family


def test_a_room_through_a_reconnect_and_an_unsubscribe():
    t = core.SubscriptionTracker()
    join = t.begin_room_subscribe("room")
    assert t.record_both_room_topics_joined("room", join) is R.Subscribed
    t.on_reconnected()
    assert t.room_rejoin_candidates() == [("room", join)]
    assert t.mark_room_rejoin_failed("room", join) is True
    assert t.room_rejoin_candidates() == [] and t.begin_room_subscribe("room") is None
    assert [t.acknowledge_room_reconciled("room") for _ in "12"] == [True, False]
    join = t.begin_room_subscribe("room")
    assert t.record_both_room_topics_joined("room", join) is R.Subscribed
    leave = t.unsubscribe_room("room")
    assert leave == join + 1
    assert t.mark_room_leave_complete("room", join, Left) is False
    assert t.mark_room_leave_complete("room", leave, Left) is True
    assert t.record_both_room_topics_joined("room", join) is R.Stale  # a late duplicate
    assert t.room_status("room") is RS.Absent


def test_established_entries_keep_the_order_they_entered_in():
    t = core.SubscriptionTracker()
    tickets = {room: t.begin_room_subscribe(room) for room in "bac"}
    for room in "bac":
        t.record_both_room_topics_joined(room, tickets[room])
    assert t.subscribed_room_ids() == ["b", "a", "c"]
    t.mark_room_leave_complete("a", t.unsubscribe_room("a"), Left)
    again = t.begin_room_subscribe("a")
    t.record_both_room_topics_joined("a", again)
    assert t.subscribed_room_ids() == ["b", "c", "a"]
    assert t.room_rejoin_candidates() == [("b", tickets["b"]), ("c", tickets["c"]), ("a", again)]
    assert t.mark_room_rejoin_failed("a", tickets["a"]) is False  # an earlier subscription's
    topics = [core.AgentTopicKind.Rooms.topic("x"), core.AgentTopicKind.Control.topic("x")]
    for topic in topics:
        t.record_agent_topic_join(topic, t.begin_agent_topic_join(topic), True)
    assert t.joined_agent_topics() == topics
    assert [topic for topic, _ in t.agent_topic_rejoin_candidates()] == topics


def populated():
    t = core.SubscriptionTracker()
    for fam in (ROOMS, TOPICS):
        for state in range(1, 5):
            walk(t, fam, state, str(state))
    return t  # 10 tickets handed out


def everything(t):
    return [snapshot(t, fam, str(s), {J: 0}) for fam in (ROOMS, TOPICS) for s in range(1, 5)]


def test_on_reconnected_changes_nothing():
    t = populated()
    before = everything(t)
    assert t.on_reconnected() is None
    assert everything(t) == before


def test_end_session_empties_everything_but_the_counter():
    t = populated()
    assert t.end_session() is None
    assert all(s[0] in (RS.Absent, TS.Absent) and s[3:] == ([], []) for s in everything(t))
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
    (lambda t, n: t.mark_agent_topic_rejoin_failed("x", n), lambda t: t.joined_agent_topics(),
     "Already mutably borrowed"),
    (lambda t, n: t.record_room_participants_join_failed("r", n, False),
     lambda t: t.end_session(), "Already borrowed"),
    (lambda t, n: t.is_room_claim_current("r", n), lambda t: t.begin_room_subscribe("s"),
     "Already borrowed"),
    (lambda t, n: t.is_agent_topic_claim_current("x", n), lambda t: t.on_reconnected(),
     "Already borrowed"),
])
def test_reentry_during_argument_conversion_is_refused(outer, inner, message):
    t = core.SubscriptionTracker()
    t.begin_room_subscribe("r")
    with pytest.raises(RuntimeError, match=message):
        outer(t, Reenter(lambda: inner(t)))
    assert t.room_status("s") is RS.Absent
    assert t.record_both_room_topics_joined("r", 0) is R.Subscribed  # unchanged, flag released


def test_shared_calls_may_nest():
    t = core.SubscriptionTracker()
    ticket = t.begin_room_subscribe("r")
    seen = []
    assert t.is_room_claim_current("r", Reenter(lambda: seen.append(t.room_status("r")), ticket))
    assert seen == [RS.Pending]


@pytest.mark.parametrize("call,error,param", [
    (lambda t: t.begin_room_subscribe(b"r"), TypeError, "room_id"),
    (lambda t: t.leave_agent_topic(None), TypeError, "topic"),
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


@pytest.mark.parametrize("make,expected", [
    (lambda: core.chat_room_topic(""), "chat_room:"),
    (lambda: core.chat_room_topic(room_id="r 1:é"), "chat_room:r 1:é"),
    (lambda: core.room_participants_topic("r1"), "room_participants:r1"),
    (lambda: core.AgentTopicKind.Control.topic("x"), "agent_control:x"),
    (lambda: core.AgentTopicKind.Rooms.topic(agent_id="x"), "agent_rooms:x"),
    (lambda: core.AgentTopicKind.from_wire_name("agent_contacts").topic("x"), "agent_contacts:x"),
])
def test_topic_names(make, expected):
    assert make() == expected


def test_documented_signatures():
    tracker = core.SubscriptionTracker
    assert tracker.__text_signature__ == "()" and tracker.__module__ == "vorn_sdk_core"
    assert tracker.__doc__ == "Transport-independent subscription decisions for one agent session."
    assert tracker.record_room_participants_join_failed.__text_signature__ == (
        "($self, room_id, ticket, chat_room_left)")
    assert core.AgentTopicKind.topic.__text_signature__ == "($self, agent_id)"
    assert core.chat_room_topic.__text_signature__ == "(room_id)"
    assert core.chat_room_topic.__doc__ == (
        "This platform's Phoenix Channels topic for a room's ``chat_room`` channel.")
    assert core.room_participants_topic.__doc__ == (
        "This platform's Phoenix Channels topic for a room's ``room_participants``\nchannel.")
    assert not hasattr(core.EventType.Supersede, "topic")
