"""Cases for the event validators and the inbound router, each against pydantic validating the same
payload under the same rules."""

from functools import partial

import vorn_sdk_core as core
from samples import PAYLOADS
from timing import Case, Timed

VALIDATE_MAX_RATIO = 0.75
ROUTE_MAX_RATIO = 0.4
AGENT_ID = "agent-1"
TYPED_DICT = "pydantic TypeAdapter(TypedDict)"
ANY_JSON = "pydantic TypeAdapter(JsonValue)"


def refuses(validate, payload):
    try:
        validate(payload)
    except ValueError:
        return True
    return False


def agree(adapters):
    """Each anchor gives the module's normalized result for its sample and refuses an empty payload
    as the module does."""
    for event_type, payload in PAYLOADS.items():
        module = partial(core.validate_event_payload, event_type)
        anchor = adapters[event_type].validate_python
        assert module(payload) == anchor(payload), f"{event_type}: {module(payload)} != {anchor(payload)}"
        assert refuses(module, {}) == refuses(anchor, {}), f"{event_type}: only one refuses {{}}"
    decision = core.evaluate_delivery_event("message_created", None, PAYLOADS["message_created"],
                                            AGENT_ID)
    assert decision["decision"] == "invocation", decision


def anchor_timed(adapters, event_type):
    if adapters is None:
        return None
    return Timed("validate(payload)", {"validate": adapters[event_type].validate_python,
                                       "payload": PAYLOADS[event_type]})


def cases(adapters):
    """`adapters` maps each event type to its pydantic adapter, or is None without pydantic."""
    if adapters is not None:
        agree(adapters)
    absent = "" if adapters is not None else " (not importable)"
    validate = [Case(f'validate_event_payload("{event_type}")',
                     Timed("validate(event_type, payload)",
                           {"validate": core.validate_event_payload, "event_type": event_type,
                            "payload": payload}),
                     (ANY_JSON if event_type == "event_created" else TYPED_DICT) + absent,
                     anchor_timed(adapters, event_type), VALIDATE_MAX_RATIO)
                for event_type, payload in PAYLOADS.items()]
    route = Case("evaluate_delivery_event(invocation)",
                 Timed("evaluate('message_created', None, payload, agent_id)",
                       {"evaluate": core.evaluate_delivery_event,
                        "payload": PAYLOADS["message_created"], "agent_id": AGENT_ID}),
                 f"{TYPED_DICT}{absent}, validation only", anchor_timed(adapters, "message_created"),
                 ROUTE_MAX_RATIO)
    return validate + [route]
