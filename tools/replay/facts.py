"""Reading a trace: one JSON object per line, each a fact the host learned, checked against the
fields its kind takes before anything is replayed."""

from __future__ import annotations

import json
import math
from dataclasses import dataclass

# Field types: a name from TYPES, a "?" suffix when null is allowed, or "a|b|c" for a closed set of
# strings.
TYPES = {
    "str": ("a string", lambda v: isinstance(v, str)),
    "int": ("an integer", lambda v: isinstance(v, int) and not isinstance(v, bool)),
    "num": ("a number", lambda v: isinstance(v, (int, float)) and not isinstance(v, bool)),
    "bool": ("a boolean", lambda v: isinstance(v, bool)),
    "obj": ("an object", lambda v: isinstance(v, dict)),
    "list": ("a list", lambda v: isinstance(v, list)),
    "strs": ("a list of strings", lambda v: isinstance(v, list) and all(isinstance(x, str) for x in v)),
    "any": ("any JSON value", lambda v: True),
}

DELIVERY_FACTS = {"durably_processed": "bool", "durably_failed": "bool", "allow_failed_retry": "bool"}
MESSAGE = {"room": "str", "message": "str"}
ROOM_OR_TOPIC = {"room": "str", "topic": "str", "ticket": "int"}
ASK = {"ask": "str", "key": "str"}

# kind: (required fields, optional fields). Every kind but `config` also takes the time `t`.
SCHEMA = {
    "config": ({}, {"agent_id": "str", "seed": "int", "policy": "obj", "max_retries": "int",
                    "max_tracked": "int", "max_completed": "int", "max_pending": "int?",
                    "authorized_senders": "strs?"}),
    "attempt": ({}, {}),
    "connected": ({}, {"epoch": "int"}),
    "close": ({}, {"code": "int?", "reason": "str", "jitter": "num", "epoch": "int"}),
    "upgrade_rejected": ({"status": "int"}, {"retry_after": "num?", "jitter": "num", "epoch": "int"}),
    "event": ({"type": "str", "payload": "any"},
              {"room": "str?", "jitter": "num", "filter": "bool", **DELIVERY_FACTS}),
    "admission": ({"room": "str", "ok": "bool"}, {"ticket": "int"}),
    "join": ({"room": "str", "chat_room": "bool"},
             {"participants": "bool", "chat_room_left": "bool", "ticket": "int"}),
    "topic_join": ({"topic": "str", "joined": "bool?"}, {"ticket": "int"}),
    "rejoin_failed": ({}, ROOM_OR_TOPIC),
    "leave": ({"outcome": "left|failed|unknown"}, ROOM_OR_TOPIC),
    "reconciled": ({}, {"room": "str", "topic": "str"}),
    "rooms": ({"rooms": "strs"}, {}),
    "participants": ({"room": "str", "participants": "list"}, {}),
    "drain": ({"room": "str", "candidate": "any", "seen": "strs"}, DELIVERY_FACTS),
    "next_message": ({**MESSAGE, "next": "str?"}, DELIVERY_FACTS),
    "tool": ({**MESSAGE, "name": "str"}, {}),
    "adapter": ({**MESSAGE, "ok": "bool"}, {"error": "str", "retry": "bool"}),
    "write": ({**MESSAGE, "outcome": "confirmed|error|not_found|rejected"}, {"token": "str"}),
    "ack": ({**MESSAGE, "status": "processed|failed"}, {"error": "str"}),
    "unpark": ({"room": "str"}, {}),
    "durable": ({**MESSAGE, "state": "processed|failed"}, {}),
    "ask": ({}, {**ASK, "room": "str"}),
    "answer": ({"sender": "str?"}, ASK),
    "withdraw": ({}, ASK),
    "inspect": ({}, {"room": "str", "topic": "str", "message": "str"}),
    "end": ({}, {}),
}

# Kinds that name exactly one of these fields.
ONE_OF = {
    "rejoin_failed": ("room", "topic"), "leave": ("room", "topic"), "reconciled": ("room", "topic"),
    "ask": ("ask", "key"), "answer": ("ask", "key"), "withdraw": ("ask", "key"),
}

# Fields shown beside the kind in the timeline, in this order, when the fact has them.
LABEL_FIELDS = ("type", "room", "topic", "message", "ask", "key", "name", "code", "status", "outcome",
                "state")


class Malformed(Exception):
    """A trace line the replay cannot act on; the message says why."""


@dataclass(frozen=True)
class Fact:
    line: int
    kind: str
    t: float | None
    fields: dict

    def get(self, name, default=None):
        return self.fields.get(name, default)

    def __getitem__(self, name):
        return self.fields[name]

    def label(self) -> str:
        shown = [str(self.fields[name]) for name in LABEL_FIELDS if self.fields.get(name) is not None]
        for name in ("payload", "candidate"):
            value = self.fields.get(name)
            if isinstance(value, dict) and isinstance(value.get("id"), str):
                shown.append(value["id"])
        return " ".join([self.kind, *shown])


def check_type(name: str, field_type: str, value) -> None:
    if value is None and field_type.endswith("?"):
        return
    field_type = field_type.rstrip("?")
    if "|" in field_type:
        choices = field_type.split("|")
        if value not in choices:
            raise Malformed(f"`{name}` must be one of: {', '.join(choices)}")
        return
    description, accepts = TYPES[field_type]
    if not accepts(value):
        raise Malformed(f"`{name}` must be {description}")


def parse_fact(text: str, line: int) -> Fact:
    try:
        fields = json.loads(text)
    except json.JSONDecodeError as error:
        raise Malformed(f"not JSON: {error.msg} at column {error.colno}") from None
    if not isinstance(fields, dict):
        raise Malformed("a fact must be a JSON object")
    kind = fields.pop("fact", None)
    if kind not in SCHEMA:
        raise Malformed("`fact` is missing" if kind is None else f"unknown fact `{kind}`")
    t = None
    if kind != "config":
        t = fields.pop("t", None)
        if not TYPES["num"][1](t) or not math.isfinite(t) or t < 0:
            raise Malformed("`t` must be a finite, non-negative number of seconds")
    required, optional = SCHEMA[kind]
    for name in fields:
        if name not in required and name not in optional:
            raise Malformed(f"unknown field `{name}` for `{kind}`")
    for name in required:
        if name not in fields:
            raise Malformed(f"`{kind}` needs `{name}`")
    for name, value in fields.items():
        check_type(name, required.get(name) or optional[name], value)
    group = ONE_OF.get(kind)
    if group and sum(name in fields for name in group) != 1:
        raise Malformed(f"`{kind}` needs exactly one of {', '.join(f'`{n}`' for n in group)}")
    return Fact(line, kind, t, fields)


def read_trace(lines):
    """Yields (line number, Fact or Malformed) for every non-blank line, given as bytes or text;
    `config` only comes first."""
    first = True
    for number, raw in enumerate(lines, start=1):
        try:
            text = raw.decode("utf-8") if isinstance(raw, bytes) else raw
            if not text.strip():
                continue
            fact = parse_fact(text, number)
            if fact.kind == "config" and not first:
                raise Malformed("`config` must be the first fact")
            yield number, fact
        except UnicodeDecodeError:
            yield number, Malformed("not UTF-8 text")
        except Malformed as error:
            yield number, error
        first = False
