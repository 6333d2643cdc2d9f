"""The binding toolkit through its test-only probe module: scalar conversions, range checks,
argument parsing and access flags."""

import sys

import pytest

import _vorn_toolkit_probe as probe

NOTES = sys.version_info >= (3, 11)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Floaty:
    def __float__(self):
        return 2.5


class FakeNumpyBool:
    def __init__(self, value):
        self.value = value

    def __bool__(self):
        return self.value


def numpy_like(name):
    return type(name, (FakeNumpyBool,), {"__module__": "numpy"})


@pytest.mark.parametrize("func,value,expected", [
    (probe.take_bool, True, True),
    (probe.take_bool, False, False),
    (probe.take_bool, numpy_like("bool_")(True), True),
    (probe.take_bool, numpy_like("bool")(False), False),
    (probe.take_u64, 2**64 - 1, 2**64 - 1),
    (probe.take_u64, True, 1),
    (probe.take_u64, Index(7), 7),
    (probe.take_i64, -(2**63), -(2**63)),
    (probe.take_float, 3, 3.0),
    (probe.take_float, Floaty(), 2.5),
    (probe.take_str, "é", "é"),
    (probe.take_str, None, None),
])
def test_scalar_conversions_accept(func, value, expected):
    result = func(value)
    assert result == expected and type(result) is type(expected)


@pytest.mark.parametrize("func,value,error,param", [
    (probe.take_bool, 1, TypeError, "flag"),
    (probe.take_bool, numpy_like("int8")(True), TypeError, "flag"),
    (probe.take_bool, None, TypeError, "flag"),
    (probe.take_u64, 2**64, OverflowError, "count"),
    (probe.take_u64, -1, OverflowError, "count"),
    (probe.take_u64, 1.0, TypeError, "count"),
    (probe.take_u64, "1", TypeError, "count"),
    (probe.take_i64, 2**63, OverflowError, "offset"),
    (probe.take_float, "1.0", TypeError, "seconds"),
    (probe.take_str, b"x", TypeError, "text"),
    (probe.take_str, "\ud800", TypeError, "text"),
])
def test_scalar_conversions_reject_with_a_note(func, value, error, param):
    with pytest.raises(error) as info:
        func(value)
    if NOTES:
        assert info.value.__notes__ == [f"while processing '{param}'"]


def test_wrong_type_message_names_the_parameter():
    with pytest.raises(TypeError, match="argument 'flag' must be bool, not int"):
        probe.take_bool(1)


@pytest.mark.parametrize("value,lo,hi,ok", [
    (5, 5, 9, True), (9, 5, 9, True), (4, 5, 9, False), (10, 5, 9, False),
    (2**64 - 1, 0, 2**64 - 1, True), (0, 1, 2**32 - 1, False),
])
def test_checked_int(value, lo, hi, ok):
    if ok:
        assert probe.take_ranged(value, lo, hi) == value
    else:
        with pytest.raises(ValueError) as info:
            probe.take_ranged(value, lo, hi)
        assert str(info.value) == f"`value` must be an integer between {lo} and {hi}, got {value}"
        assert not hasattr(info.value, "issues")


@pytest.mark.parametrize("value,ok", [(0, True), (65535, True), (65536, False), (-1, False)])
def test_checked_u16(value, ok):
    if ok:
        assert probe.take_u16(value) == value
    else:
        with pytest.raises(ValueError, match=rf"^`code` must be an integer between 0 and 65535, got {value}$"):
            probe.take_u16(value)


def test_signature_and_argument_errors():
    assert probe.take_pair.__text_signature__ == "(a, *, b=None)"
    assert probe.take_pair.__doc__ == "Two values."
    assert probe.take_pair(1, b=2) == (1, 2) and probe.take_pair(a=1) == (1, None)
    cases = [
        (lambda: probe.take_pair(1, 2), "take_pair() takes exactly 1 positional argument (2 given)"),
        (lambda: probe.take_pair(), "take_pair() missing required argument 'a' (pos 1)"),
        (lambda: probe.take_pair(1, c=2), "take_pair() got an unexpected keyword argument 'c'"),
        (lambda: probe.take_pair(1, a=2), "take_pair() got multiple values for argument 'a'"),
        (lambda: probe.take_str(1, 2), "take_str() takes at most 1 positional argument (2 given)"),
        (lambda: probe.is_free(1), "is_free() takes no positional arguments"),
    ]
    for call, message in cases:
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message


def test_access_rules():
    assert probe.shared(lambda: probe.shared(lambda: "nested shared")) == "nested shared"
    conflicts = [
        (probe.exclusive, probe.exclusive, "Already borrowed"),
        (probe.shared, probe.exclusive, "Already borrowed"),
        (probe.exclusive, probe.shared, "Already mutably borrowed"),
    ]
    for outer, inner, message in conflicts:
        with pytest.raises(RuntimeError) as info:
            outer(lambda: inner(lambda: pytest.fail("the refused call ran")))
        assert str(info.value) == message
        assert probe.is_free()


def test_class_construction_and_doc():
    Tally = probe.Tally
    assert (Tally.__module__, Tally.__name__) == ("vorn_sdk_core", "Tally")
    assert Tally.__text_signature__ == "(start=0, *, keeper=None)"
    assert Tally.__doc__ == "A counter."
    assert Tally.bump.__text_signature__ == "($self, by=1, callback=None)"
    t = Tally(5)
    assert t.bump() == 6 and t.bump(by=4) == 10 and t.peek() == 10
    with pytest.raises(TypeError, match="Tally\\(\\) takes at most 1 positional argument"):
        Tally(1, 2)
    with pytest.raises(TypeError, match="unexpected keyword argument 'begin'"):
        Tally(begin=1)
    snapshot = t.frozen()
    assert snapshot.value == 10 and type(snapshot).__name__ == "Frozen"
    with pytest.raises(TypeError, match="cannot create"):
        type(snapshot)()


def test_a_held_host_object_that_refers_back_is_collected():
    import gc
    import weakref

    class Keeper:
        pass

    keeper = Keeper()
    t = probe.Tally(keeper=keeper)
    keeper.tally = t
    assert t.keeper is keeper
    alive = weakref.ref(keeper)
    del keeper, t
    gc.collect()
    assert alive() is None


def test_fixed_order_dicts_reuse_their_key_objects():
    first, second = probe.record(1), probe.record(2)
    assert list(first) == ["zeta", "alpha"] and second == {"zeta": 2, "alpha": None}
    assert all(a is b for a, b in zip(first, second))
