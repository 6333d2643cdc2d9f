"""ParticipantRoster: conversion of participants, merging, snapshots with duplicate ids, the
trace-context provider, change detection, and garbage collection of a provider cycle."""

import gc
import weakref

import pytest

import vorn_sdk_core as core

FIELDS = ("id", "name", "type", "handle", "description")


def row(pid, name=None, type=None, handle=None, description=None):
    return dict(zip(FIELDS, (pid, name, type, handle, description)))


class Unconvertible:
    pass


def test_add_and_set_all_merge_known_fields_and_drop_the_rest():
    roster = core.ParticipantRoster()
    assert roster.add({"id": "a", "name": "Ann", "extra": [1], "handle": "@ann"}) is True
    assert roster.add(row("b")) is True
    assert roster.list() == [row("a", "Ann", handle="@ann"), row("b")]
    assert list(roster.list()[0]) == list(FIELDS)
    assert roster.add({"id": "a", "name": "", "type": "human"}) is False  # empty keeps the old
    assert roster.add({"id": "a", "name": "Anna"}) is False
    assert roster.list() == [row("a", "Anna", "human", "@ann"), row("b")]
    assert roster.remove("zz") is False and roster.remove("b") is True
    roster.set_all(iter([{"id": "c"}, {"id": "a", "name": "", "type": "bot"}]))
    assert roster.list() == [row("c"), row("a", "Anna", "bot", "@ann")]
    for bad in ({"participants": 5}, {"participants": [row("a")], "trace_context": 1}):
        with pytest.raises(TypeError):
            roster.set_all(**bad)


@pytest.mark.parametrize("participant,message", [
    ([("id", "a")], "participant must be a mapping"),
    ("a", "participant must be a mapping"),
    ({"name": "x"}, "participant field `id` must be a string"),
    ({"id": 5}, "participant field `id` must be a string"),
    ({"id": "a", "handle": 3}, "participant field `handle` must be a string or None"),
    ({"id": "a", "name": 1, "description": []}, "participant field `name` must be a string or None"),
    ({"id": 5, "ignored": Unconvertible()}, "Unconvertible"),  # JSON conversion comes first
])
def test_malformed_participants_raise_type_error_and_change_nothing(participant, message):
    roster = core.ParticipantRoster()
    roster.add(row("z", "Zed"))
    with pytest.raises(TypeError) as info:
        roster.add(participant)
    assert message in str(info.value)
    with pytest.raises(TypeError):
        roster.set_all([row("q"), participant])
    assert roster.list() == [row("z", "Zed")]


@pytest.mark.parametrize("ids,issues", [
    ("ABA", [(2, "A")]), ("AAA", [(1, "A"), (2, "A")]), ("ABBA", [(2, "B"), (3, "A")]),
])
def test_duplicate_ids_reject_the_whole_snapshot(ids, issues):
    roster = core.ParticipantRoster()
    roster.add(row("keep"))
    with pytest.raises(ValueError) as info:
        roster.set_all([row(i) for i in ids])
    assert info.value.issues == tuple(
        (f"participants[{i}].id", "invalid_value", f"duplicate participant id `{pid}` in set_all snapshot")
        for i, pid in issues)
    assert roster.list() == [row("keep")]


def raising():
    raise LookupError("no trace")


@pytest.mark.parametrize("provider,explicit,expected", [
    (None, None, None), (None, "t-x", "t-x"), (lambda: "t-p", None, "t-p"), (lambda: "t-p", "t-x", "t-x"),
    (raising, None, None), (lambda: 42, None, None),
    (lambda: "\ud800", None, None),  # a str without a UTF-8 form
    (7, None, None),  # not callable: only noticed when called
])
def test_trace_context_resolution(provider, explicit, expected):
    roster = core.ParticipantRoster(trace_context_provider=provider)
    with pytest.raises(ValueError) as info:
        roster.set_all([row("a"), row("a")], trace_context=explicit)
    assert info.value.trace_context == expected


def test_provider_runs_whenever_no_context_is_given_and_may_not_reenter():
    calls = []

    def provider():
        calls.append(None)
        roster.list()  # refused while set_all holds the roster; the error is discarded
        return "unreachable"

    roster = core.ParticipantRoster(trace_context_provider=provider)
    roster.set_all([row("a")])
    with pytest.raises(ValueError) as info:
        roster.set_all([row("a"), row("a")])
    assert info.value.trace_context is None
    roster.set_all([row("b")], "explicit")
    assert len(calls) == 2 and roster.list() == [row("b")]


# Each case starts from a sent roster [a "A", b "B"].
@pytest.mark.parametrize("steps,changed", [
    ([("add", {"id": "a", "name": ""})], False),
    ([("remove", "zz")], False),
    ([("set_all", [row("a"), row("b")])], False),
    ([("remove", "a")], True),
    ([("remove", "a"), ("add", row("a", "A"))], True),  # order counts
    ([("remove", "b"), ("add", row("b", "B"))], False),  # last before, last again
    ([("remove", "b"), ("add", row("b", ""))], True),  # an empty name is not an absent one
])
def test_changed_since_mark_sent(steps, changed):
    roster = core.ParticipantRoster()
    assert roster.changed() is True
    roster.mark_sent()
    assert roster.changed() is False
    roster.set_all([row("a", "A"), row("b", "B")])
    roster.mark_sent()
    for name, arg in steps:
        getattr(roster, name)(arg)
    assert roster.changed() is changed


def test_provider_cycle_is_collected():
    class Provider:
        def __call__(self):
            return "t"

    provider = Provider()
    with pytest.raises(TypeError):
        core.ParticipantRoster(provider)  # keyword-only
    roster = core.ParticipantRoster(trace_context_provider=provider)
    provider.roster = roster
    assert provider in gc.get_referents(roster)
    ref = weakref.ref(provider)
    del provider, roster
    gc.collect()
    assert ref() is None
