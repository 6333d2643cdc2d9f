"""AgentFailure: argument checks, the dict and extension-data forms, and `detail` kept as JSON."""

import dataclasses

import pytest

import vorn_sdk_core as core

KEYS = ["provider", "code", "message", "detail"]


@dataclasses.dataclass
class Point:
    x: int
    y: float


@pytest.mark.parametrize("code,detail,expected", [
    (None, None, None),
    ("E42", {"b": 1, "a": (2, 3.5)}, {"a": [2, 3.5], "b": 1}),
    ("E42", Point(1, 2.0), {"x": 1, "y": 2.0}),
    ("E42", [None, True, "s", float("nan")], [None, True, "s", None]),
    ("E42", 0, 0),
    ("E42", 2**64 - 1, 2**64 - 1),
])
def test_fields_dict_and_extension_forms(code, detail, expected):
    failure = core.AgentFailure("p", "m", code, detail=detail)
    first = failure.detail
    assert (failure.provider, failure.message, failure.code) == ("p", "m", code)
    assert first == expected and type(first) is type(expected)
    if isinstance(first, (dict, list)):
        assert first is not detail and list(first) == list(expected)
        first.clear()  # the caller's copy is theirs to change
        assert failure.detail == expected and failure.detail is not failure.detail
    as_dict = failure.to_dict()
    assert list(as_dict.items()) == list(zip(KEYS, ("p", code, "m", expected)))
    assert failure.to_extension_data() == {"dev.vorn.sdk/failure": as_dict}
    with pytest.raises(AttributeError):
        failure.code = "x"


class Plain:
    pass


@pytest.mark.parametrize("args,kwargs,message", [
    ((1, "m"), {}, "provider"),
    (("p", None), {}, "message"),
    (("p", "m"), {"code": 3}, "code"),
    (("p", "m"), {"detail": Plain()}, "Plain"),
    (("p", "m"), {"detail": {"a": b"x"}}, "invalid type: byte array, expected any valid JSON value"),
    (("p", "m"), {"detail": {1: "x"}}, ""),
])
def test_constructor_errors(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        core.AgentFailure(*args, **kwargs)
    assert message in str(info.value) + "".join(getattr(info.value, "__notes__", []))


def test_documentation():
    assert core.AgentFailure.__text_signature__ == "(provider, message, code=None, detail=None)"
    assert core.AgentFailure.__doc__ == "One agent-provider failure, surfaced verbatim rather than classified."
    assert core.AgentFailure.to_extension_data.__doc__ == (
        "The canonical failure payload under Core's extension-data key.")
