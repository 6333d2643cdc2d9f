"""RoomRoster admissions, stale tickets, reconciliation and clearing, and the result class."""

import pytest

import vorn_sdk_core as core

M = core.RoomMembership


def admitted(*room_ids):
    roster = core.RoomRoster()
    for room in room_ids:
        assert roster.record_room_admission(room, roster.begin_room_admission(room, True), True)
    return roster


def test_admission_lifecycle_and_stale_reports():
    roster = core.RoomRoster()
    assert roster.begin_room_admission("R", False) is None
    assert roster.room_membership("R") is M.Unadmitted
    assert roster.begin_room_admission("R", True) == 0  # the refused begin took no ticket
    assert roster.begin_room_admission("R", True) is None
    assert roster.room_membership("R") is M.Admitting
    assert roster.record_room_admission("R", 7, True) is False
    assert roster.is_room_admission_current("R", 0) and not roster.is_room_admission_current("R", 7)
    assert roster.record_room_admission("R", 0, True) is True
    assert roster.room_membership("R") is M.Admitted and roster.tracked_room_ids() == ["R"]
    assert roster.begin_room_admission("R", True) is None
    assert roster.record_room_admission("R", 0, True) is False
    roster.record_room_removed("R")
    ticket = roster.begin_room_admission("R", True)
    assert roster.record_room_admission("R", ticket, False) is False  # failed: unadmitted
    assert roster.room_membership("R") is M.Unadmitted
    assert roster.record_room_admission("R", ticket, True) is False  # and the ticket is stale


@pytest.mark.parametrize("setup,expected", [("admitting", False), ("admitted", True), ("unknown", False)])
def test_record_room_removed(setup, expected):
    roster = admitted("R") if setup == "admitted" else core.RoomRoster()
    ticket = roster.begin_room_admission("R", True) if setup == "admitting" else 0
    assert roster.record_room_removed("R") is expected
    assert roster.room_membership("R") is M.Unadmitted
    assert not roster.is_room_admission_current("R", ticket)
    assert roster.tracked_room_ids() == []


def test_reconcile_sorts_applies_and_leaves_admitting_rooms_alone():
    roster = admitted("C", "A")
    b_ticket = roster.begin_room_admission("B", True)
    t = b_ticket + 1
    result = roster.reconcile(["D", "C", "B", "E", "D"])
    assert type(result) is core.RoomReconciliation
    assert (result.removed, result.admitting, result.resync) == (["A"], [("D", t), ("E", t + 1)], ["C"])
    assert roster.is_room_admission_current("B", b_ticket)
    assert [roster.room_membership(r) for r in "ABDE"] == [M.Unadmitted] + [M.Admitting] * 3
    assert result.removed is not result.removed  # a fresh list on every read
    with pytest.raises(TypeError):
        core.RoomReconciliation()
    assert roster.record_room_admission("E", t + 1, True)
    result = roster.reconcile(())
    assert (result.removed, result.admitting, result.resync) == (["C", "E"], [], [])
    assert roster.tracked_room_ids() == []


def test_clear_returns_everything_sorted_and_keeps_the_counter():
    roster = admitted("z", "b")
    roster.begin_room_admission("m", True)
    assert roster.clear() == ["b", "m", "z"]
    assert roster.tracked_room_ids() == [] and roster.clear() == []
    assert roster.begin_room_admission("m", True) == 3
    assert not roster.is_room_admission_current("m", 2)


@pytest.mark.parametrize("call,error", [
    (lambda r: r.reconcile("abc"), TypeError), (lambda r: r.reconcile(["a", 1]), TypeError),
    (lambda r: r.reconcile({"a"}), TypeError), (lambda r: r.begin_room_admission("a", 1), TypeError),
    (lambda r: r.record_room_admission("a", "0", True), TypeError),
    (lambda r: r.record_room_admission("a", -1, True), OverflowError),
    (lambda r: r.is_room_admission_current("a", 2**64), OverflowError),
])
def test_argument_errors_change_nothing(call, error):
    roster = admitted("x")
    with pytest.raises(error):
        call(roster)
    assert roster.tracked_room_ids() == ["x"]
    assert roster.begin_room_admission("y", True) == 1
