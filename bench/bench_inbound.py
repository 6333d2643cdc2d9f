"""Per-call cost of the inbound hot path: validating a message payload and routing it.

Run: PYTHONPATH=build python3 bench/bench_inbound.py
Prints nanoseconds per call (best of several repeats) next to a floor: a structural copy of the
same dicts and lists in Python that reuses every leaf object.
"""

import timeit

import vorn_sdk_core as core
from samples import MESSAGE as PAYLOAD


def structural_copy(value):
    if isinstance(value, dict):
        return {k: structural_copy(v) for k, v in value.items()}
    if isinstance(value, list):
        return [structural_copy(v) for v in value]
    return value


CASES = {
    "validate_event_payload(message_created)":
        lambda: core.validate_event_payload("message_created", PAYLOAD),
    "evaluate_delivery_event(message_created)":
        lambda: core.evaluate_delivery_event("message_created", None, PAYLOAD, "agent-1"),
    "evaluate_drain_candidate": lambda: core.evaluate_drain_candidate(
        {"id": "m9", "sender_id": "u1", "sender_type": "User"}, ["m1", "m9"], "agent-1"),
    "is_self_echo": lambda: core.is_self_echo("u1", "User", "agent-1"),
    "floor: structural copy in Python": lambda: structural_copy(PAYLOAD),
    "floor: empty call": lambda: None,
}


def main() -> None:
    for name, fn in CASES.items():
        if not all(hasattr(core, n) for n in ("evaluate_delivery_event",)) and "evaluate" in name:
            continue
        number = 20000
        best = min(timeit.repeat(fn, number=number, repeat=7)) / number
        print(f"{best * 1e9:8.0f} ns  {name}")


if __name__ == "__main__":
    main()
