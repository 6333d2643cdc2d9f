"""A payload made of plain dicts, lists and leaves is read as it is; anything else is converted
first. Both ways must give the same answer: the same normalized payload, routing decision,
issues or TypeError, whatever mix of container and leaf types carries the same JSON value."""

import collections.abc

from hypothesis import given, strategies as st

import vorn_sdk_core as core

EVENT_TYPES = ["message_created", "supersede", "contact_added", "contact_request_received",
               "participant_added", "agent_control", "event_created"]
FIELDS = ["id", "content", "message_type", "sender_type", "sender_id", "inserted_at", "updated_at",
          "chat_room_id", "sender_name", "metadata", "mentions", "attachments", "retryable",
          "retry_after", "is_remote", "is_external", "from_handle", "mode", "scope", "agent_id",
          "correlation_id", "reason", "message", "status", "type", "name", "username", "handle"]


class Str(str):
    pass


class Int(int):
    pass


class Mapping(collections.abc.Mapping):
    def __init__(self, items):
        self.items = dict(items)

    def __getitem__(self, key):
        return self.items[key]

    def __iter__(self):
        return iter(self.items)

    def __len__(self):
        return len(self.items)


leaves = (st.none() | st.booleans() | st.integers(-(2**64), 2**65) | st.floats()
          | st.sampled_from(["", "x", "Agent", "agent-1", "play", "room", "\udc80"]))
values = st.recursive(
    leaves,
    lambda inner: st.lists(inner, max_size=3)
    | st.dictionaries(st.sampled_from(FIELDS), inner, max_size=4),
    max_leaves=12,
)
payloads = st.dictionaries(st.sampled_from(FIELDS), values, max_size=12)


def dressed(value, draw):
    """The same JSON value carried by other types where a draw says so."""
    if isinstance(value, dict):
        items = [(Str(k) if draw() else k, dressed(v, draw)) for k, v in value.items()]
        return Mapping(items) if draw() else dict(items)
    if isinstance(value, list):
        items = [dressed(v, draw) for v in value]
        return tuple(items) if draw() else items
    if isinstance(value, str) and draw():
        return Str(value)
    if type(value) is int and draw():
        return Int(value)
    return value


def answer(call, *args):
    try:
        return "ok", call(*args)
    except ValueError as error:
        return "ValueError", error.issues
    except TypeError as error:
        return "TypeError", str(error)


@given(payloads, st.sampled_from(EVENT_TYPES), st.data())
def test_plain_and_dressed_payloads_answer_alike(payload, event_type, data):
    other = dressed(payload, lambda: data.draw(st.booleans()))
    for call, head, tail in [(core.validate_event_payload, (event_type,), ()),
                             (core.evaluate_delivery_event, ("message_created", None), ("a",))]:
        plain, converted = answer(call, *head, payload, *tail), answer(call, *head, other, *tail)
        # A mapping converts its values in its own order, so of two values without a JSON form
        # it may name the other one.
        assert plain == converted or plain[0] == converted[0] == "TypeError"
