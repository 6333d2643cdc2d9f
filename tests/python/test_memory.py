"""validate_memory_type_for_system: which content kinds each memory tier admits."""

import pytest

import vorn_sdk_core as core

S = core.MemorySystem
T = core.MemoryType


@pytest.mark.parametrize("system,memory_type", [
    (S.Sensory, T.Haptic),
    ("sensory", "iconic"),
    ("long_term", "procedural"),
    ("working", "episodic"),
    (S.Working, "semantic"),
    ("long_term", T.Episodic),
])
def test_admitted_combinations(system, memory_type):
    assert core.validate_memory_type_for_system(system, memory_type) is None


def invalid(path, message):
    return (path, "invalid_value", message)


@pytest.mark.parametrize("system,memory_type,issues", [
    ("sensory", "episodic", [invalid(
        "type", "type `episodic` is not valid for system `sensory`; "
        "expected one of: iconic, echoic, haptic")]),
    (S.Working, T.Iconic, [invalid(
        "type", "type `iconic` is not valid for system `working`; "
        "expected one of: episodic, semantic, procedural")]),
    ("long_term", "haptic", [invalid(
        "type", "type `haptic` is not valid for system `long_term`; "
        "expected one of: episodic, semantic, procedural")]),
    ("Sensory", "iconic", [invalid("system", "unknown memory system `Sensory`")]),
    ("working", "dream", [invalid("type", "unknown memory type `dream`")]),
    (" working", " dream", [invalid("system", "unknown memory system ` working`"),
                            invalid("type", "unknown memory type ` dream`")]),
])
def test_rejected_combinations(system, memory_type, issues):
    with pytest.raises(ValueError) as info:
        core.validate_memory_type_for_system(system, memory_type)
    assert list(info.value.issues) == issues
    assert info.value.trace_context is None


def test_trace_context_is_carried_into_the_error():
    with pytest.raises(ValueError) as info:
        core.validate_memory_type_for_system("x", "iconic", trace_context="trace-3")
    assert info.value.trace_context == "trace-3"


@pytest.mark.parametrize("args,message", [
    ((1, 2), "system must be a str"),
    ((T.Iconic, "iconic"), "system must be a str"),
    (("sensory", S.Sensory), "memory_type must be a str"),
    (("sensory", None), "memory_type must be a str"),
    ((1, "iconic", 5), "trace_context"),
])
def test_argument_type_errors(args, message):
    with pytest.raises(TypeError) as info:
        core.validate_memory_type_for_system(*args)
    assert message in str(info.value) + "".join(getattr(info.value, "__notes__", []))
