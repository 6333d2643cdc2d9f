"""Python <-> JSON conversion, observed through the "event_created" event, which returns a deep
copy of any JSON value."""

import collections
import dataclasses
import math
import sys
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


def test_objects_come_back_in_sorted_utf8_order():
    result = roundtrip({"b": 1, "a": math.nan, "é": 2, "Z": 3, "aa": 4})
    assert list(result) == ["Z", "a", "aa", "b", "é"]
    assert result["a"] is None


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


@pytest.mark.parametrize("value", [2**128, -(2**127) - 1, 2**1000])
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


def test_self_reference_and_deep_nesting_raise_instead_of_crashing():
    loop = []
    loop.append(loop)
    with pytest.raises((TypeError, RecursionError), match="recursion|depth"):
        roundtrip(loop)
    selfmap = {}
    selfmap["me"] = selfmap
    with pytest.raises((TypeError, RecursionError)):
        roundtrip(selfmap)


def test_nesting_is_bounded_even_with_a_raised_recursion_limit():
    deep = []
    for _ in range(100_000):
        deep = [deep]
    old = sys.getrecursionlimit()
    sys.setrecursionlimit(1_000_000)
    try:
        with pytest.raises((TypeError, RecursionError), match="depth"):
            roundtrip(deep)
    finally:
        sys.setrecursionlimit(old)
    shallow = []
    for _ in range(200):
        shallow = [shallow]
    assert roundtrip(shallow) == shallow


@pytest.mark.parametrize("value", ["\ud800", {"\udfff": 1}, ["ok", "bad \ud834"]])
def test_lone_surrogates_fail_with_type_error(value):
    with pytest.raises(TypeError):
        roundtrip(value)


def test_mutation_during_conversion_is_safe():
    victim = {"a": "x" * 50, "b": ["y" * 50]}

    class Mutator(collections.abc.Sequence):
        def __len__(self):
            return 1

        def __getitem__(self, i):
            if i:
                raise IndexError(i)
            victim.clear()
            return "fresh " + "z" * 40

    result = roundtrip([victim, Mutator(), victim])
    assert result == [{"a": "x" * 50, "b": ["y" * 50]}, ["fresh " + "z" * 40], {}]


json_values = st.recursive(
    st.none() | st.booleans() | st.integers(-(2**63), 2**64 - 1)
    | st.floats(allow_nan=False, allow_infinity=False) | st.text(),
    lambda children: st.lists(children) | st.dictionaries(st.text(), children),
    max_leaves=30,
)


@given(json_values)
def test_json_values_round_trip(value):
    assert roundtrip(value) == value
