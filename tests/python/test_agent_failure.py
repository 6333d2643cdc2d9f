"""AgentFailure: argument checks, the dict and extension-data forms, and `detail` kept as JSON."""

import dataclasses

import pytest

import vorn_sdk_core as core


def test_minimal_failure_has_fixed_key_order():
    failure = core.AgentFailure("openai", "boom")
    assert (failure.provider, failure.message, failure.code, failure.detail) == ("openai", "boom", None, None)
    d = failure.to_dict()
    assert list(d) == ["provider", "code", "message", "detail"]
    assert d == {"provider": "openai", "code": None, "message": "boom", "detail": None}


@dataclasses.dataclass
class Point:
    x: int
    y: float


@pytest.mark.parametrize("detail,expected", [
    ({"b": 1, "a": (2, 3.5)}, {"a": [2, 3.5], "b": 1}),
    (Point(1, 2.0), {"x": 1, "y": 2.0}),
    ([None, True, "s", float("nan")], [None, True, "s", None]),
    (0, 0),
    (2**64 - 1, 2**64 - 1),
])
def test_detail_reads_back_as_fresh_json_values(detail, expected):
    failure = core.AgentFailure("p", "m", "E42", detail=detail)
    first = failure.detail
    assert first == expected and type(first) is type(expected)
    if isinstance(first, (dict, list)):
        assert first is not detail and list(first) == list(expected)
        first.clear()  # the caller's copy is theirs to change
        assert failure.detail == expected and failure.detail is not failure.detail
    assert failure.to_dict()["detail"] == expected and failure.code == "E42"


def test_extension_data_wraps_the_dict_form():
    failure = core.AgentFailure("p", "m", code="c", detail={"k": [1]})
    data = failure.to_extension_data()
    assert len(data) == 1
    (key, value), = data.items()
    assert key.endswith("/failure") and key == "dev.vorn.sdk/failure"
    assert value == failure.to_dict() and list(value) == ["provider", "code", "message", "detail"]


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


def test_attributes_are_read_only_and_signature_documented():
    failure = core.AgentFailure("p", "m")
    with pytest.raises(AttributeError):
        failure.code = "x"
    assert core.AgentFailure.__text_signature__ == "(provider, message, code=None, detail=None)"
    assert core.AgentFailure.__doc__ == "One agent-provider failure, surfaced verbatim rather than classified."
    assert core.AgentFailure.to_extension_data.__doc__ == (
        "The canonical failure payload under Core's extension-data key.")
