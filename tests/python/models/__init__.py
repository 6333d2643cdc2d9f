"""Plain-Python reference models of the module's stateful classes, and what the stateful tests
share: run one call on the module and on its model and demand the same answer."""

import os

from hypothesis import HealthCheck, settings

# VORN_LONG=1 runs many more, randomly drawn, sequences; the bounded run is derandomized so that a
# check run is repeatable.
LONG = os.environ.get("VORN_LONG") == "1"


def machine_settings(bounded=60, long=10_000, steps=40):
    return settings(
        max_examples=long if LONG else bounded,
        stateful_step_count=steps,
        deadline=None,
        derandomize=not LONG,
        database=None,
        suppress_health_check=list(HealthCheck),
    )


def outcome(call, *args, **kwargs):
    """What a call did: ("ok", value) or ("raised", type, message, issues, trace_context)."""
    try:
        return ("ok", call(*args, **kwargs))
    except Exception as error:  # every exception is part of the behaviour being compared
        return ("raised", type(error), str(error), getattr(error, "issues", None),
                getattr(error, "trace_context", None))


def same(real, model, name, *args, **kwargs):
    """Calls `name` on both objects with the same arguments; they must answer alike."""
    got = outcome(getattr(real, name), *args, **kwargs)
    want = outcome(getattr(model, name), *args, **kwargs)
    assert got == want, f"{name}{args}{kwargs}: module {got!r}, model {want!r}"
    return got[1] if got[0] == "ok" else None


def require_type(name, value, kind, expected):
    """The module's wording for an argument of the wrong Python type."""
    if not isinstance(value, kind):
        raise TypeError(f"argument '{name}' must be {expected}, not {type(value).__name__}")
    return value
