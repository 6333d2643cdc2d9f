"""The host's side of a replay: one of each stateful object, what the host was handed back (epochs,
tickets, tokens), the turns it is running, and the tallies for the summary."""

from __future__ import annotations

from collections import Counter
from dataclasses import dataclass, field

import vorn_sdk_core as core

from .facts import Malformed

# The documented defaults of SessionPolicy.default(), so that a trace can override single keys.
DEFAULT_POLICY = {
    "base_delay_s": 1.0, "factor": 2.0, "max_delay_s": 30.0, "stable_reset_s": 60.0,
    "rapid_disconnect_uptime_s": 10.0, "rapid_window_s": 300.0, "rapid_first_min_delay_s": 1.0,
    "rapid_second_min_delay_s": 5.0, "rapid_cooldown_base_s": 10.0, "rapid_cooldown_step_s": 10.0,
    "rapid_cooldown_max_s": 60.0, "rapid_threshold": 10, "heartbeat_interval_s": 30.0,
    "dead_threshold_s": 60.0,
}
DEFAULT_AGENT = "agent"
# Asks mint their tokens from this seed unless the trace names one: no replay draws from the OS.
DEFAULT_SEED = 0
# A close, rejection or supersede without a jitter sample waits the full backoff.
DEFAULT_JITTER = 1.0
# What `World.refusable` returns when the module refused the call with validation issues.
REFUSED = object()


@dataclass
class Tally:
    facts: int = 0
    malformed: int = 0
    turns: int = 0
    retries: int = 0
    skipped: Counter = field(default_factory=Counter)
    reconnects: int = 0
    cooling_down_s: float = 0.0
    dead: str | None = None
    writes: Counter = field(default_factory=Counter)


class World:
    def __init__(self):
        self.tally = Tally()
        self.decisions = []
        self.trace_context = None
        self.configure({})

    def configure(self, config: dict) -> None:
        overrides = config.get("policy")
        if overrides is None:
            policy = core.SessionPolicy.default()
        else:
            unknown = sorted(set(overrides) - set(DEFAULT_POLICY))
            if unknown:
                raise Malformed(f"unknown policy key `{unknown[0]}`")
            policy = core.SessionPolicy({**DEFAULT_POLICY, **overrides}, self.trace_context)
        retries = core.RetryTracker(max_retries=config.get("max_retries", 1),
                                    max_tracked=config.get("max_tracked", 10000))
        claims = core.ClaimRegistry(max_completed=config.get("max_completed", 500))
        asks = core.DecisionRegistry(max_pending=config.get("max_pending"), seed=config.get("seed", DEFAULT_SEED))
        # Every value the module could refuse is in: from here on nothing fails halfway.
        self.agent_id = config.get("agent_id", DEFAULT_AGENT)
        self.policy, self.retries, self.claims, self.asks = policy, retries, claims, asks
        self.session = core.Session(policy)
        self.subscriptions = core.SubscriptionTracker()
        self.rooms = core.RoomRoster()
        self.participants = {}
        senders = config.get("authorized_senders")
        self.authorized_senders = None if senders is None else frozenset(senders)
        self.tool_effects = core.vorn_tool_effects()
        self.epoch = None
        self.ever_up = False
        self.tickets = {}  # ("room" | "topic" | "admission", id) -> the last ticket handed out
        self.ask_handles = {}  # ask name or key -> (token, ticket)
        self.plain_acks = set()  # message keys whose pending entry came from `ack`, not a settlement
        self.turns = {}  # (room, message) -> TurnLedger of the turn in progress
        self.rooms_seen = []

    def decide(self, call: str, result, note: str | None = None) -> None:
        """Records one answer of the module; `note` is its wording in the timeline (none: not shown)."""
        self.decisions.append((call, result, note))

    def skip(self, reason: str) -> None:
        self.tally.skipped[reason] += 1

    def see_room(self, room: str) -> None:
        if room not in self.rooms_seen:
            self.rooms_seen.append(room)

    def ticket(self, fact, family: str, key: str) -> int:
        """The ticket a reply names: the trace's own, else the last one handed out for `key`."""
        ticket = fact.get("ticket", self.tickets.get((family, key)))
        if ticket is None:
            raise Malformed(f"no {family} ticket was handed out for `{key}`; give `ticket`")
        return ticket

    def participant_roster(self, room: str):
        if room not in self.participants:
            self.participants[room] = core.ParticipantRoster(
                trace_context_provider=lambda: self.trace_context)
        return self.participants[room]

    def topic_name(self, kind_name: str) -> str:
        kind = core.AgentTopicKind.from_wire_name(kind_name)
        if kind is None:
            raise Malformed(f"unknown agent topic `{kind_name}`")
        return kind.topic(self.agent_id)

    def turn(self, fact):
        key = (fact["room"], fact["message"])
        if key not in self.turns:
            raise Malformed(f"no turn is running for message `{key[1]}` in room `{key[0]}`")
        return key, self.turns[key]

    def refusable(self, call: str, operation, *args, **kwargs):
        """Runs an operation whose refusal is a decision, not a fault of the trace: a ValueError that
        carries issues is recorded, and REFUSED returned."""
        try:
            return operation(*args, **kwargs)
        except ValueError as error:
            if not hasattr(error, "issues"):
                raise
            wording = "; ".join(f"{path or '<payload>'}: {message}" for path, _, message in error.issues)
            self.decide(call, {"issues": [list(issue) for issue in error.issues]}, f"rejected: {wording}")
            return REFUSED
