"""Python <-> JSON conversion, observed through the "event_created" event, which returns a deep
copy of any JSON value."""

import collections
import dataclasses
import math
import os
import re
import sys
import threading
import tracemalloc
import types

import pytest
from hypothesis import given, strategies as st

import vorn_sdk_core as core


def roundtrip(value):
    return core.validate_event_payload("event_created", value)


class Seq(collections.abc.Sequence):
    def __init__(self, *items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


class Map(collections.abc.Mapping):
    def __init__(self, pairs):
        self.pairs = pairs

    def __getitem__(self, key):
        for k, v in reversed(self.pairs):
            if k == key:
                return v
        raise KeyError(key)

    def __iter__(self):
        return iter([k for k, _ in self.pairs])

    def __len__(self):
        return len(self.pairs)


@dataclasses.dataclass
class Point:
    x: int
    label: str
    tags: list = dataclasses.field(default_factory=list)


class Text(str):
    pass


@pytest.mark.parametrize("value,expected", [
    (None, None), (True, True), (False, False),
    (0, 0), (2**64 - 1, 2**64 - 1), (-(2**63), -(2**63)), (-1, -1),
    (1.5, 1.5), (-0.0, -0.0), (math.nan, None), (math.inf, None), (-math.inf, None),
    ("", ""), ("héllo ✓", "héllo ✓"),
    ((1, "a"), [1, "a"]), ([[]], [[]]), (frozenset({7}), [7]), ({3}, [3]),
    (Seq(1, Seq(2)), [1, [2]]),
    (Map([("b", 1), ("a", 2), ("b", 3)]), {"a": 2, "b": 3}),
    (types.MappingProxyType({"k": (1,)}), {"k": [1]}),
    (Point(1, "p"), {"label": "p", "tags": [], "x": 1}),
    (collections.OrderedDict([("z", 1), ("a", 2)]), {"a": 2, "z": 1}),
    (Text("sub"), "sub"),
])
def test_converts(value, expected):
    result = roundtrip(value)
    assert result == expected
    assert type(result) is type(expected)
    if isinstance(expected, float):
        assert math.copysign(1, result) == math.copysign(1, expected)


def test_booleans_stay_booleans_and_int_subclasses_become_ints():
    assert roundtrip([True, 1]) == [True, 1] and roundtrip([True])[0] is True

    class Big(int):
        pass

    result = roundtrip(Big(5))
    assert result == 5 and type(result) is int


def test_exact_strings_are_handed_back_and_subclasses_are_not():
    s = "a string read once"
    t = Text("subclass")
    out = roundtrip({"k": s, "t": t})
    assert out["k"] is s
    assert type(out["t"]) is str and out["t"] == "subclass"


@pytest.mark.parametrize("value,message", [
    (2**64, "JSON number out of range"),
    (2**128 - 1, "JSON number out of range"),
    (-(2**63) - 1, "JSON number out of range"),
    (-(2**127), "JSON number out of range"),
    (b"x", "invalid type: byte array, expected any valid JSON value"),
    ({1: "a"}, "str"),
    ({"a": object()}, "object"),
    (bytearray(b"x"), "bytearray"),
])
def test_conversion_failures(value, message):
    with pytest.raises(TypeError, match=None) as info:
        roundtrip(value)
    assert message in str(info.value)
    if sys.version_info >= (3, 11):
        assert info.value.__notes__ == ["while processing 'raw'"]


class LyingInt(int):
    bit_length = lambda self: 5
    __eq__ = lambda self, other: True
    __hash__ = int.__hash__


@pytest.mark.parametrize("value", [2**128, -(2**127) - 1, 2**1000, LyingInt(-(2**127) - 1)])
def test_beyond_128_bits_carries_the_hosts_overflow_text(value):
    with pytest.raises(TypeError) as info:
        roundtrip(value)
    assert "JSON number out of range" not in str(info.value)
    assert "too big" in str(info.value) or "too large" in str(info.value)


def test_later_key_wins_for_keys_that_repeat():
    class Key(str):
        def __hash__(self):
            return id(self)

        def __eq__(self, other):
            return self is other

    assert roundtrip({Key("k"): 1, Key("k"): 2}) == {"k": 2}


def test_errors_from_the_objects_own_methods_are_carried_into_the_type_error():
    class Broken(collections.abc.Mapping):
        def __getitem__(self, key):
            raise ValueError("boom from getitem")

        def __iter__(self):
            return iter(["k"])

        def __len__(self):
            return 1

    with pytest.raises(TypeError, match="boom from getitem"):
        roundtrip({"outer": [Broken()]})


def nested(depth, leaf=None):
    value = leaf
    for _ in range(depth):
        value = {"k": value}
    return value


def depth_of(value):
    depth = 0
    while isinstance(value, dict) and list(value) == ["k"]:
        value, depth = value["k"], depth + 1
    return depth if value is None else -1


def in_small_thread(call, recursion_limit=None):
    """Runs `call` on a thread with a 512 KiB stack, as a host's worker thread may have."""
    outcome = []
    old_size, old_limit = threading.stack_size(512 * 1024), sys.getrecursionlimit()
    if recursion_limit:
        sys.setrecursionlimit(recursion_limit)
    try:
        worker = threading.Thread(target=lambda: outcome.append(core_outcome(call)))
        worker.start()
        worker.join()
    finally:
        threading.stack_size(old_size)
        sys.setrecursionlimit(old_limit)
    return outcome[0]


def core_outcome(call):
    try:
        return call()
    except TypeError as error:
        return error


@pytest.mark.parametrize("convert", [
    roundtrip,
    lambda value: core.AgentFailure("p", "m", detail=value).to_dict()["detail"],
], ids=["payload", "detail"])
@pytest.mark.parametrize("depth,limit,fits", [
    (150, None, True),
    (5000, None, False),  # deeper than the interpreter's recursion limit
    (1800, 100_000, None),  # within the nesting cap; newer interpreters may refuse it earlier
    (100_000, 1_000_000, False),  # deeper than the nesting cap
])
def test_deep_nesting_converts_or_raises_on_a_small_stack(convert, depth, limit, fits):
    value = nested(depth)
    got = in_small_thread(lambda: convert(value), limit)
    if fits is not False and not isinstance(got, TypeError):
        assert depth_of(got) == depth
    else:
        assert fits is not True and isinstance(got, TypeError)
        assert re.search("recursion|depth", str(got))


def lying(base, length):
    return type("Lying", (base,), {"__len__": lambda self: length})


class PlainSeq(collections.abc.Sequence):
    def __len__(self):
        return 2

    def __getitem__(self, i):
        return (1, 2)[i]


@pytest.mark.parametrize("base", [list, tuple, PlainSeq])
@pytest.mark.parametrize("length", [0, 1, 2**31, 2**62])
def test_a_reported_length_is_only_a_hint(base, length):
    # Every item is converted however the length lies, and nothing is sized by it.
    value = lying(base, length)((1, 2)) if base is not PlainSeq else lying(base, length)()
    assert roundtrip(value) == [1, 2]
    assert roundtrip({"m": Map([("a", 1)]), "s": value}) == {"m": {"a": 1}, "s": [1, 2]}


@pytest.mark.parametrize("make_key", [str, type("Key", (str,), {})])
def test_memory_held_across_calls_stays_bounded_whatever_the_keys(make_key):
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        for i in range(40):
            key = make_key(f"{i:04}" + "k" * (256 * 1024))
            core.AgentFailure("p", "m", detail={key: i}).to_dict()
            roundtrip({key: i})
        del key
        assert tracemalloc.get_traced_memory()[0] - before < 1024 * 1024
    finally:
        tracemalloc.stop()


def run_in_legacy_sub_interpreter(code):
    """Runs `code` in a sub-interpreter that shares the main one's GIL, where the interpreter itself
    lets any extension load; returns the text of the exception it raised, or None."""
    if sys.version_info >= (3, 13):
        interpreters = pytest.importorskip("_interpreters")
        interpreter = interpreters.create("legacy")
        try:
            failure = interpreters.run_string(interpreter, code)
            return failure and failure.formatted
        finally:
            interpreters.destroy(interpreter)
    interpreters = pytest.importorskip("_xxsubinterpreters")
    interpreter = interpreters.create(isolated=False)
    try:
        interpreters.run_string(interpreter, code)
    except interpreters.RunFailedError as failure:
        return str(failure)
    finally:
        interpreters.destroy(interpreter)
    return None


def test_sub_interpreters_are_refused():
    folder = os.path.dirname(core.__file__)
    failure = run_in_legacy_sub_interpreter(f"import sys; sys.path[:0] = [{folder!r}]; import vorn_sdk_core")
    assert re.search("ImportError'?>?: vorn_sdk_core: sub-interpreters are not supported", failure or "")
    assert roundtrip(types.MappingProxyType({"a": 1})) == {"a": 1}


json_values = st.recursive(
    st.none() | st.booleans() | st.integers(-(2**63), 2**64 - 1)
    | st.floats(allow_nan=False, allow_infinity=False) | st.text(),
    lambda children: st.lists(children) | st.dictionaries(st.text(), children),
    max_leaves=30,
)


@given(json_values)
def test_json_values_round_trip(value):
    result = roundtrip(value)
    assert result == value
    pending = [result]
    while pending:  # every dict's keys come back in UTF-8 byte order
        item = pending.pop()
        if isinstance(item, dict):
            assert list(item) == sorted(item, key=lambda k: k.encode())
            pending.extend(item.values())
        elif isinstance(item, list):
            pending.extend(item)
