"""validate_memory_type_for_system: which content kinds each memory tier admits."""

import pytest

import vorn_sdk_core as core

S = core.MemorySystem
T = core.MemoryType
SENSORY, OTHER = "iconic, echoic, haptic", "episodic, semantic, procedural"


def wrong_type(memory_type, system, allowed):
    return ("type", "invalid_value",
            f"type `{memory_type}` is not valid for system `{system}`; expected one of: {allowed}")


@pytest.mark.parametrize("system,memory_type,issues", [
    (S.Sensory, T.Haptic, None),
    ("sensory", "iconic", None),
    ("long_term", "procedural", None),
    ("working", "episodic", None),
    (S.Working, "semantic", None),
    ("long_term", T.Episodic, None),
    ("sensory", "episodic", [wrong_type("episodic", "sensory", SENSORY)]),
    (S.Working, T.Iconic, [wrong_type("iconic", "working", OTHER)]),
    ("long_term", "haptic", [wrong_type("haptic", "long_term", OTHER)]),
    ("Sensory", "iconic", [("system", "invalid_value", "unknown memory system `Sensory`")]),
    ("working", "dream", [("type", "invalid_value", "unknown memory type `dream`")]),
    (" working", " dream", [("system", "invalid_value", "unknown memory system ` working`"),
                            ("type", "invalid_value", "unknown memory type ` dream`")]),
])
@pytest.mark.parametrize("trace", [None, "trace-3"])
def test_combinations(system, memory_type, issues, trace):
    if issues is None:
        assert core.validate_memory_type_for_system(system, memory_type, trace_context=trace) is None
        return
    with pytest.raises(ValueError) as info:
        core.validate_memory_type_for_system(system, memory_type, trace_context=trace)
    assert list(info.value.issues) == issues and info.value.trace_context == trace


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
