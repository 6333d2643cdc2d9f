"""Hostile Python objects through every public callable of the catalogue: each parameter in turn is
replaced by an object that raises, lies, answers with the wrong type, changes the container it sits
in, or calls back into the very object being called. Every call must return or raise a documented
exception, a call back must be refused with the borrow RuntimeError or leave the object unchanged,
and a refused call must leave the object (and a tracker it borrows) exactly as it was. On the
object being called, the access rule is checked exactly: while a member that changes the object
runs, every call back is refused, and while a query runs, only changing calls are; a changing
call is refused as "Already borrowed", a query as "Already mutably borrowed"."""

import collections.abc
import gc
import json
import os

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import vorn_sdk_core as core
from entry_points import CATALOGUE, MESSAGE, ROWS, STATEFUL, TRACKER

LONG = os.environ.get("VORN_LONG") == "1"
BORROWED = ("Already borrowed", "Already mutably borrowed")
# Numbers, flags and iterables are read through Python's own protocols (index, float, truth,
# iteration): an exception that the host's object raises there goes up unchanged, as it would
# from any builtin.
PROTOCOL_VALUES = (bool, int, float, list, set)


class HostileError(Exception):
    """Raised by a hostile object's own methods; its text cannot be rendered either."""

    def __str__(self):
        raise HostileError()


class Calls:
    """Calls back into an object under test (and a tracker it borrows) with every valid call of
    its class, and records each fault: an answer other than success or the borrow RuntimeError, or
    a call that ran although the outer call held the object (it changed the object, or it ran
    while the object was held exclusively). Where the outer call's access is known (`outer` is
    "shared" or "exclusive"), each call back must be refused exactly when the rule says so."""

    def __init__(self, groups):
        # (object, its stateful Target or None, entries, the outer call's access or None)
        self.groups, self.faults = groups, []

    def __call__(self, propagate):
        for obj, kind, entries, outer in self.groups:
            for entry in entries:
                self.call_back(obj, kind, entry, outer, propagate)

    def call_back(self, obj, kind, entry, outer, propagate):
        try:
            before = kind.views(obj) if kind else None
        except RuntimeError:
            before = "held exclusively"
        if outer and (before == "held exclusively") != (outer == "exclusive"):
            self.faults.append((entry.name, f"the outer call did not hold the object {outer}"))
        inner = "shared" if kind and entry.member in kind.queries else "exclusive"
        refused = "exclusive" in (outer, inner)
        refusal = "Already borrowed" if inner == "exclusive" else "Already mutably borrowed"
        try:
            entry.bind(obj, entry.arguments())()
        except RuntimeError as error:
            if str(error) not in BORROWED or (outer and (not refused or str(error) != refusal)):
                self.faults.append((entry.name, error))
            if propagate:
                raise
            return
        except Exception as error:  # a valid call may not fail in any other way
            self.faults.append((entry.name, error))
            return
        if outer and refused:
            self.faults.append((entry.name, f"ran during an {outer} call"))
        elif kind and (before == "held exclusively" or kind.views(obj) != before):
            self.faults.append((entry.name, "ran on an object that the outer call held"))


class Trap:
    """Every protocol method misbehaves per `mode`: "raise", "wrong" (a value of the wrong type),
    "lie" (a length or bit length far from the truth), "reenter"/"propagate" (call back first,
    swallowing or passing on a refusal) or "mutate" (change the container the trap sits in)."""

    def act(self, plausible, lie=None):
        if self.mode == "raise":
            raise HostileError()
        if self.mode == "wrong":
            return object()
        if self.mode == "lie" and lie is not None:
            return lie
        if self.mode in ("reenter", "propagate"):
            self.calls(self.mode == "propagate")
        if self.mode == "mutate" and isinstance(self.victim, list):
            self.victim[:] = ["junk" * 50] * 3
        elif self.mode == "mutate" and self.victim is not None:
            self.victim.clear()
            self.victim.update(junk=[self] * 3)
        return plausible

    __index__ = lambda self: self.act(0)
    __float__ = lambda self: self.act(0.5)
    __bool__ = lambda self: self.act(True)
    __eq__ = lambda self, other: self.act(False)
    __hash__ = lambda self: self.act(7)
    __str__ = lambda self: self.act("r")
    __len__ = lambda self: self.act(1, lie=2**62)
    __iter__ = lambda self: self.act(iter(["k"]))
    keys = lambda self: self.act(["k"])
    bit_length = lambda self: self.act(201, lie=5)

    def __getitem__(self, key):
        if isinstance(key, int) and key >= 1:
            raise IndexError(key)
        return self.act("r")


def trap_type(name, *bases):
    return type(name, (Trap, *bases), {"__module__": "numpy" if name == "bool_" else __name__})


# The builtin a trap also is, and the value it holds as one.
TRAPS = {
    "plain": (trap_type("Plain"), None), "bool_": (trap_type("bool_"), None),
    "mapping": (trap_type("Mapping", collections.abc.Mapping), None),
    "sequence": (trap_type("Sequence", collections.abc.Sequence), None),
    "str": (trap_type("Str", str), "r"), "int": (trap_type("Int", int), 2**200),
    "float": (trap_type("Float", float), 0.5), "list": (trap_type("List", list), ["r"]),
    "dict": (trap_type("Dict", dict), {"k": "r"}), "set": (trap_type("Set", set), {"r"}),
}
# The traps aimed at a parameter, by the type of its valid value; any trap may come too.
AIMED = {
    bool: ["bool_"], int: ["plain", "int"], float: ["plain", "float"], str: ["str"],
    dict: ["mapping", "dict"], list: ["sequence", "list"], set: ["set"],
}


def trap(name, mode, calls):
    cls, value = TRAPS[name]
    obj = cls.__new__(cls) if value is None else cls.__new__(cls, value)
    if isinstance(value, (list, dict, set)):
        type(value).__init__(obj, value)
    obj.mode, obj.calls, obj.victim = mode, calls, None
    return obj


def nested(depth):
    value = "leaf"
    for _ in range(depth):
        value = [value]
    return value


def self_referencing(kind):
    container = [] if kind == "list" else {}
    container.append(container) if kind == "list" else container.update(me=container)
    return container


# Built anew for every call, since a trap may change what it sits in.
PLAIN = {
    "lone surrogate": lambda: "\ud800", "surrogate key": lambda: {"\udfff": 1},
    "embedded NUL": lambda: "a\x00b", "long str": lambda: "x" * 1_000_000, "empty": lambda: "",
    "2**64": lambda: 2**64, "-2**63-1": lambda: -(2**63) - 1, "10**100": lambda: 10**100,
    "nan": lambda: float("nan"), "inf": lambda: float("inf"), "-inf": lambda: float("-inf"),
    "-0.0": lambda: -0.0, "bytes": lambda: b"r", "bytearray": lambda: bytearray(b"r"),
    "None": lambda: None, "foreign member": lambda: core.RoomStatus.Absent,
    "int set": lambda: frozenset({1}), "too deep": lambda: nested(5000),
    "deep": lambda: nested(200), "list in itself": lambda: self_referencing("list"),
    "dict in itself": lambda: self_referencing("dict"),
}
# Whatever parameter they are given to, these are accepted or refused with TypeError.
TYPE_ERRORS = {"lone surrogate", "surrogate key", "bytes", "bytearray", "too deep", "list in itself",
               "dict in itself"}
MODES = ["raise", "wrong", "lie", "mutate", "reenter", "reenter", "propagate", "propagate"]


def recipes(valid):
    """Recipes of hostile values for a parameter whose valid value is `valid`."""
    plain = st.tuples(st.just("plain"), st.sampled_from(sorted(PLAIN)))
    names = st.sampled_from(AIMED.get(type(valid), sorted(TRAPS))) | st.sampled_from(sorted(TRAPS))
    traps = st.tuples(st.just("trap"), names, st.sampled_from(MODES))
    leaves = plain | traps
    return st.one_of(
        traps, leaves, st.tuples(st.just("list"), st.lists(leaves, min_size=1, max_size=3)),
        st.tuples(st.just("victim"), st.sampled_from(["list", "dict"]), leaves, traps))


def build(recipe, calls):
    kind = recipe[0]
    if kind == "plain":
        return PLAIN[recipe[1]]()
    if kind == "trap":
        return trap(*recipe[1:], calls)
    if kind == "list":
        return [build(r, calls) for r in recipe[1]]
    # A container holding the value and a trap that changes the container while it is read.
    value, changer = build(recipe[2], calls), build(recipe[3], calls)
    victim = ["a" * 40, value, "b", changer] if recipe[1] == "list" else {
        "a": "x" * 40, "t": value, "z": changer}
    changer.victim = victim
    return victim


def outcome_is_documented(error, valid):
    if error is None or isinstance(error, (TypeError, ValueError, OverflowError)):
        if isinstance(getattr(error, "issues", None), tuple):
            assert all(len(i) == 3 and all(type(x) is str for x in i) for i in error.issues)
        return True
    if isinstance(error, RuntimeError):
        return str(error) in BORROWED
    return isinstance(error, HostileError) and isinstance(valid, PROTOCOL_VALUES)


def call_back_groups(entry, target, kwargs):
    """What a hostile value calls back into: the object under test, and a tracker it borrows."""
    kind = entry.target if entry.target in STATEFUL else None
    own = [e for e in CATALOGUE if e.target is entry.target] if entry.target else [entry]
    outer = kind and ("shared" if entry.member in kind.queries else "exclusive")
    groups = [(target, kind, own, outer)]
    tracker = kwargs.get("retry_tracker")
    if isinstance(tracker, core.RetryTracker):
        # Which access a registry call takes on the tracker it borrows varies by method.
        groups.append((tracker, TRACKER, [e for e in CATALOGUE if e.target is TRACKER], None))
    return groups


CASES = [(entry, param) for entry in CATALOGUE for param in entry.ok]


@pytest.mark.parametrize("entry,param", CASES, ids=[f"{e.name}-{p}" for e, p in CASES])
@settings(max_examples=2000 if LONG else 25, deadline=None, derandomize=not LONG, database=None,
          suppress_health_check=list(HealthCheck))
@given(data=st.data())
def test_hostile_argument(entry, param, data):
    target = entry.target.make() if entry.target else None
    kwargs = entry.arguments()
    calls = Calls(call_back_groups(entry, target, kwargs))
    recipe = data.draw(recipes(entry.ok[param]), label=param)
    kwargs[param] = build(recipe, calls)
    watched = [(obj, kind) for obj, kind, _, _ in calls.groups if kind]
    before = [kind.views(obj) for obj, kind in watched]
    error = None
    try:
        entry.bind(target, kwargs)()
    except BaseException as raised:  # judged below: only documented exceptions may come out
        error = raised
    assert outcome_is_documented(error, entry.ok[param]), repr(error)
    if recipe[0] == "plain" and recipe[1] in TYPE_ERRORS:
        assert error is None or type(error) is TypeError, repr(error)
    assert not calls.faults, calls.faults
    for obj, kind in watched:
        kind.idle(obj)  # the access flag was released on every path
    if error is not None:
        assert [kind.views(obj) for obj, kind in watched] == before


def test_every_row_of_the_catalogue_names_a_public_callable():
    assert set(ROWS) <= {e.name for e in CATALOGUE}


class Emptier:
    """Cyclic garbage whose finalizer empties `target` while armed, and leaves more garbage."""

    def __init__(self, target, armed):
        self.me, self.target, self.armed = self, target, armed

    def __del__(self):
        if self.armed[0]:
            self.target.clear()
        Emptier(self.target, self.armed)


def fresh(value):
    """An equal payload whose strings belong to it alone, so emptying it frees them."""
    return json.loads(json.dumps(value))


CANDIDATE = {"id": "m-42", "sender_id": "u", "sender_type": "User"}
PAYLOAD_READERS = {
    "validate_event_payload": lambda p: core.validate_event_payload("message_created", p),
    "evaluate_delivery_event": lambda p: core.evaluate_delivery_event("message_created", None, p, "a"),
}


# A collection may start inside any allocation the module makes (3.10 and 3.11 collect there): the
# finalizers it runs must not reach what the module borrowed from the caller's payload.
@pytest.mark.parametrize("name", PAYLOAD_READERS)
def test_a_collection_during_the_call_cannot_free_the_payload_read(name):
    read = PAYLOAD_READERS[name]
    expected = read(fresh(MESSAGE))
    payload, armed = {}, [False]
    Emptier(payload, armed)
    thresholds = gc.get_threshold()
    try:
        for _ in range(200):
            payload.update(fresh(MESSAGE))
            gc.set_threshold(0)
            spent = [{} for _ in range(100)], [[] for _ in range(100)]  # no container from a free list
            gc.set_threshold(1, 1, 1)
            armed[0] = True
            got = read(payload)
            armed[0] = False
            del spent
            assert got == expected
    finally:
        armed[0] = False
        gc.set_threshold(*thresholds)


def test_seen_ids_that_change_the_candidate_cannot_free_what_was_read():
    def seen(candidate):
        candidate.clear()
        yield "other"

    for _ in range(200):
        candidate = fresh(CANDIDATE)
        assert core.evaluate_drain_candidate(candidate, seen(candidate), "a") == \
            core.evaluate_drain_candidate(fresh(CANDIDATE), ["other"], "a")
