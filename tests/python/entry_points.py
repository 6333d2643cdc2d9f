"""Every public callable of the module in one table: each function, constructor, static method,
method and property (found on the module, so none is forgotten), with a fresh object to call it
on, the keywords of a call that succeeds and a failing variant (the documented exception and the
keywords it changes). Arguments come by parameter name from VALUES unless a row says otherwise; a
callable without parameters fails on an unexpected keyword, a property on an assignment. The
stateful classes also say how to read all their views (to compare before and after a refused call),
name an exclusive call that changes nothing (to prove their access flag was released) and list
their queries: the members that only read, under shared access; every other member holds the
object exclusively while it runs."""

import dataclasses
import inspect

import vorn_sdk_core as core
from models.session import DEFAULTS as CONFIG


@dataclasses.dataclass(frozen=True)
class Target:
    cls: str
    make: object
    views: object = None  # object -> everything its read-only views show
    idle: object = None  # object -> None, an exclusive call that changes nothing
    queries: tuple = ()


@dataclasses.dataclass(frozen=True)
class Entry:
    name: str  # "function", "Class" (constructor), "Class.static" or "Class.member"
    target: Target = None  # what a method or property is called on
    ok: dict = dataclasses.field(default_factory=dict)
    bad: tuple = ()  # (exception, keyword overrides) pairs
    prop: bool = False

    @property
    def member(self):
        return self.name.rpartition(".")[2]

    def arguments(self, overrides=None):
        """The keywords of one call, a Fresh value built anew."""
        merged = {**self.ok, **(overrides or {})}
        return {k: v.make() if isinstance(v, Fresh) else v for k, v in merged.items()}

    def bind(self, target, kwargs=None, assign=False):
        """A no-argument callable making one call on `target` (None for a module-level name)."""
        if self.prop:
            if assign:
                return lambda: setattr(target, self.member, None)
            return lambda: getattr(target, self.member)
        fn = getattr(target, self.member) if self.target else core
        for part in [] if self.target else self.name.split("."):
            fn = getattr(fn, part)
        return lambda: fn(**kwargs)


class Fresh:
    """An argument built anew for every call, such as a stateful object the call borrows."""

    def __init__(self, make):
        self.make = make


def T(**overrides):
    return (TypeError, overrides)


def V(**overrides):
    return (ValueError, overrides)


def O(**overrides):  # noqa: E743
    return (OverflowError, overrides)


def registry():
    r = core.ClaimRegistry(max_completed=4)
    r.try_claim("r", "m")
    r.remember_completed("r", "c")
    r.record_processed_settlement("r", "p")  # token "0"
    r.remember_failed_ack_pending("r", "f", "boom")
    r.park_ack("r", "f", core.ParkedReason.Rejected)
    return r


def tracker():
    t = core.RetryTracker(max_retries=5, max_tracked=8)
    t.record_attempt("m")
    t.mark_permanently_failed("x")
    return t


def attempts(t, message_id):
    # A failed settlement's continuation is the one read-only view of a tracker's attempt count.
    return core.ClaimRegistry().record_failed_settlement("r", message_id, "e", t, True)


def session():
    s = core.Session(core.SessionPolicy.default())
    s.begin_attempt(0.0)
    s.on_connected(0, 1.0)
    return s


def subscriptions():
    t = core.SubscriptionTracker()
    t.begin_room_subscribe("r")  # 0
    t.begin_agent_topic_join("t")  # 1
    t.record_both_room_topics_joined("s", t.begin_room_subscribe("s"))  # 2
    t.record_agent_topic_join("j", t.begin_agent_topic_join("j"), True)  # 3
    return t


def rooms():
    roster = core.RoomRoster()
    roster.begin_room_admission("r", True)  # 0
    roster.record_room_admission("s", roster.begin_room_admission("s", True), True)  # 1
    return roster


def participants():
    roster = core.ParticipantRoster(trace_context_provider=lambda: "ctx")
    roster.add({"id": "u", "name": "U"})
    return roster


def decisions():
    d = core.DecisionRegistry(max_pending=3, seed=7)
    d.register_keyed("k")  # ticket 0
    d.register_minted("r")  # TOKEN, ticket 1
    return d


def ledger():
    turn = core.TurnLedger()
    turn.record(core.TurnEffect.Act)
    return turn


IDS, ROOMS, TOPICS = ("m", "c", "p", "f", "x"), ("r", "s", "n"), ("t", "j", "u")
TOKEN = core.DecisionRegistry(seed=7).register_minted("r")[0]

REGISTRY = Target("ClaimRegistry", registry, lambda r: (
    sorted(r.inflight_ids("r")), r.completed_ids("r"), r.pending_ack_ids("r"),
    r.has_retryable_settlement("r"), r.max_completed,
    [(r.is_ack_pending("r", m), r.pending_ack("r", m), r.pending_settlement("r", m)) for m in IDS],
), lambda r: r.release("zz", "zz"), (
    "inflight_ids", "completed_ids", "is_ack_pending", "pending_ack", "pending_ack_ids",
    "pending_settlement", "has_retryable_settlement", "max_completed"))
TRACKER = Target("RetryTracker", tracker, lambda t: (
    t.max_retries, [(t.is_permanently_failed(m), attempts(t, m)) for m in IDS],
), lambda t: t.mark_success("zz"), ("is_permanently_failed", "max_retries"))
SESSION = Target("Session", session, lambda s: s.state, lambda s: s.on_connected(2**62, 1.0),
                 ("state",))
SUBSCRIPTIONS = Target("SubscriptionTracker", subscriptions, lambda t: (
    [(t.room_status(r), t.is_room_subscribed(r)) for r in ROOMS],
    [(t.agent_topic_status(k), t.is_agent_topic_joined(k)) for k in TOPICS],
    [(t.is_room_claim_current(r, n), t.is_agent_topic_claim_current(k, n))
     for r in ROOMS for k in TOPICS for n in range(6)],
    t.room_rejoin_candidates(), t.subscribed_room_ids(), t.agent_topic_rejoin_candidates(),
    t.joined_agent_topics(),
), lambda t: t.on_reconnected(), (
    "is_room_subscribed", "is_room_claim_current", "room_status", "room_rejoin_candidates",
    "subscribed_room_ids", "is_agent_topic_joined", "is_agent_topic_claim_current",
    "agent_topic_status", "agent_topic_rejoin_candidates", "joined_agent_topics"))
ROOM_ROSTER = Target("RoomRoster", rooms, lambda roster: (
    [roster.room_membership(r) for r in ROOMS], roster.tracked_room_ids(),
    [roster.is_room_admission_current(r, n) for r in ROOMS for n in range(4)],
), lambda roster: roster.record_room_removed("zz"),
    ("room_membership", "is_room_admission_current", "tracked_room_ids"))
PARTICIPANTS = Target("ParticipantRoster", participants,
                      lambda roster: (roster.list(), roster.changed()),
                      lambda roster: roster.remove("zz"), ("list", "changed"))
DECISIONS = Target("DecisionRegistry", decisions, lambda d: (
    d.unclaimed(), d.unclaimed_count(), d.oldest_unclaimed(), d.unclaimed_in_room("r"),
    d.max_pending,
), lambda d: d.forget("zz", 0), (
    "unclaimed", "unclaimed_count", "oldest_unclaimed", "unclaimed_in_room", "max_pending"))
LEDGER = Target("TurnLedger", ledger, lambda turn: (turn.verdict(), turn.reply_settled()),
                lambda turn: turn.record(core.TurnEffect.Observe), ("verdict", "reply_settled"))
STATEFUL = (REGISTRY, TRACKER, SESSION, SUBSCRIPTIONS, ROOM_ROSTER, PARTICIPANTS, DECISIONS, LEDGER)
TARGETS = {t.cls: t for t in (
    *STATEFUL, Target("SessionPolicy", core.SessionPolicy.default),
    Target("AgentFailure", lambda: core.AgentFailure("p", "m", code="c", detail={"k": [1]})),
    Target("SessionOutcome", lambda: session().on_socket_close(0, 2.0, 1006, 0.5)),
    Target("RoomReconciliation", lambda: rooms().reconcile(["s", "n"])),
    Target("CancelledDecisions", lambda: decisions().cancel_all()),
)}

MESSAGE = {
    "id": "m1", "content": "hi", "message_type": "text", "sender_type": "User", "sender_id": "u1",
    "inserted_at": "t0", "updated_at": "t0", "chat_room_id": "r1", "metadata": {"n": [1, 2.5]},
}
# The value of a successful call's argument, by parameter name.
VALUES = {
    "room_id": "r", "message_id": "m", "error": "boom", "token": "0", "trace_context": "t",
    "reason": core.ParkedReason.Rejected, "retry_tracker": Fresh(tracker), "allow_retry": True,
    "self_echo": False, "durably_processed": False, "durably_failed": True,
    "allow_failed_retry": False, "ticket": 0, "topic": "t", "key": "k",
    "epoch": 0, "now_s": 2.0, "close_code": 1006, "status": 503, "retry_after_s": 1.5,
    "jitter_sample": 0.5, "retryable": True, "policy": core.SessionPolicy.default(),
    "config": CONFIG, "succeeded": True, "passes_filter": True, "chat_room_left": False,
    "joined": True, "outcome": core.LeaveOutcome.Left, "effect": core.TurnEffect.Reply,
    "participant": {"id": "u", "name": "V", "extra": [1]}, "participant_id": "u",
    "participants": [{"id": "u"}, {"id": "w", "handle": None}], "current_room_ids": ["r", "n"],
    "trace_context_provider": str, "agent_id": "a", "sender_id": "a", "sender_type": "Agent",
    "event_type": "message_created", "payload": MESSAGE, "raw": MESSAGE, "seen_ids": ["m"],
    "candidate": {"id": "m", "sender_id": "u", "sender_type": "User"}, "next_message_id": "n",
    "triggering_message_id": "m", "authorized_senders": {"u"}, "system": "sensory",
    "memory_type": "iconic", "provider": "p", "message": "m", "code": "c",
    "detail": {"k": [1, 2.5, None]}, "max_completed": 5, "max_retries": 1, "max_tracked": 10,
    "max_pending": 2, "seed": 1,
}

# Name: its failing call, or (failing call, the successful call's own values).
ROWS = {
    "chat_room_topic": T(room_id=1),
    "room_participants_topic": T(room_id=None),
    "classify_close": V(close_code=65536),
    "classify_upgrade": V(status=-1),
    "evaluate_adapter_result": T(succeeded=1),
    "evaluate_delivery_event": V(event_type="room_removed", room_id=None, payload={"id": 5}),
    "evaluate_drain_candidate": T(seen_ids="abc"),
    "evaluate_next_message": T(next_message_id=1),
    "is_authorized_sender": T(authorized_senders=["u"]),
    "is_self_echo": T(agent_id=None),
    "validate_event_payload": V(raw={}),
    "validate_memory_type_for_system": V(memory_type="episodic"),
    "AgentFailure": T(detail=object()),
    "ClaimRegistry": V(max_completed=0),
    "DecisionRegistry": V(max_pending=0),
    "RetryTracker": V(max_tracked=0),
    "Session": T(policy=CONFIG),
    "SessionPolicy": V(config={**CONFIG, "factor": 0.5}),
    "AgentTopicKind.topic": T(agent_id=1),
    "RetryTracker.record_attempt": T(message_id=1),
    "RetryTracker.mark_success": T(message_id=b"m"),
    "RetryTracker.discard_attempt": T(message_id=None),
    "RetryTracker.is_permanently_failed": (T(message_id=1), {"message_id": "x"}),
    "RetryTracker.mark_permanently_failed": T(message_id=1),
    "ClaimRegistry.try_claim": T(room_id=1),
    "ClaimRegistry.release": T(message_id=1),
    "ClaimRegistry.inflight_ids": T(room_id=1),
    "ClaimRegistry.is_completed": (T(room_id=1), {"message_id": "c"}),
    "ClaimRegistry.remember_completed": T(room_id=1),
    "ClaimRegistry.completed_ids": T(room_id=1),
    "ClaimRegistry.discard_completed": T(room_id=1),
    "ClaimRegistry.is_ack_pending": (T(room_id=1), {"message_id": "p"}),
    "ClaimRegistry.delivery_eligibility": T(self_echo=1),
    "ClaimRegistry.guarded_claim": (T(allow_failed_retry=None), {"message_id": "n"}),
    "ClaimRegistry.remember_ack_pending": (T(message_id=1), {"message_id": "n"}),
    "ClaimRegistry.remember_failed_ack_pending": (V(error="other"), {"message_id": "f"}),
    "ClaimRegistry.pending_ack": (T(message_id=1), {"message_id": "f"}),
    "ClaimRegistry.park_ack": (T(reason="rejected"), {"message_id": "p"}),
    "ClaimRegistry.unpark_acks": T(room_id=1),
    "ClaimRegistry.pending_ack_ids": T(room_id=1),
    "ClaimRegistry.record_ack_retry": T(room_id=1),
    "ClaimRegistry.record_processed_settlement": (V(message_id="f"), {"message_id": "p"}),
    "ClaimRegistry.record_failed_settlement": (V(message_id="p"), {"message_id": "f"}),
    "ClaimRegistry.pending_settlement": (T(trace_context=1), {"message_id": "p"}),
    "ClaimRegistry.confirm_settlement": (T(token=0), {"message_id": "p"}),
    "ClaimRegistry.park_settlement": (T(reason=None), {"message_id": "p"}),
    "ClaimRegistry.has_retryable_settlement": T(room_id=1),
    "DecisionRegistry.register_minted": T(room_id=1),
    "DecisionRegistry.register_keyed": T(key=None),
    "DecisionRegistry.try_claim": (O(ticket=-1), {"token": "k"}),
    "DecisionRegistry.withdraw": (T(ticket=1.0), {"token": "k"}),
    "DecisionRegistry.forget": (O(ticket=2**64), {"token": TOKEN, "ticket": 1}),
    "DecisionRegistry.unclaimed_in_room": T(room_id=1),
    "DecisionRegistry.cancel_room": T(room_id=None),
    "ParticipantRoster.add": T(participant=[]),
    "ParticipantRoster.remove": T(participant_id=1),
    "ParticipantRoster.set_all": (V(participants=[{"id": "a"}, {"id": "a"}]),
                                  {"trace_context": None}),
    "RoomRoster.room_membership": T(room_id=1),
    "RoomRoster.begin_room_admission": (T(passes_filter=1), {"room_id": "n"}),
    "RoomRoster.record_room_admission": O(ticket=-1),
    "RoomRoster.is_room_admission_current": T(ticket="0"),
    "RoomRoster.record_room_removed": (T(room_id=1), {"room_id": "s"}),
    "RoomRoster.reconcile": T(current_room_ids="r"),
    "Session.begin_attempt": V(now_s=-1.0),
    "Session.on_connected": V(epoch=-1),
    "Session.on_socket_close": V(jitter_sample=2.0),
    "Session.on_upgrade_rejected": V(status=70000),
    "Session.on_supersede": V(retry_after_s=float("nan")),
    # Rooms "r" (pending, ticket 0) and "s" (subscribed, 2), topics "t" (pending, 1) and "j"
    # (joined, 3).
    "SubscriptionTracker.begin_room_subscribe": (T(room_id=1), {"room_id": "n"}),
    "SubscriptionTracker.record_chat_room_join_failed": O(ticket=-1),
    "SubscriptionTracker.record_both_room_topics_joined": T(ticket=None),
    "SubscriptionTracker.record_room_participants_join_failed": T(chat_room_left=0),
    "SubscriptionTracker.is_room_subscribed": (T(room_id=1), {"room_id": "s"}),
    "SubscriptionTracker.is_room_claim_current": T(ticket=0.0),
    "SubscriptionTracker.room_status": T(room_id=1),
    "SubscriptionTracker.unsubscribe_room": (T(room_id=1), {"room_id": "s"}),
    "SubscriptionTracker.mark_room_leave_complete": (T(outcome="left"),
                                                     {"room_id": "s", "ticket": 4}),
    "SubscriptionTracker.acknowledge_room_reconciled": T(room_id=1),
    "SubscriptionTracker.mark_room_rejoin_failed": (O(ticket=2**64), {"room_id": "s", "ticket": 2}),
    "SubscriptionTracker.begin_agent_topic_join": (T(topic=1), {"topic": "u"}),
    "SubscriptionTracker.record_agent_topic_join": (T(joined=None), {"ticket": 1}),
    "SubscriptionTracker.record_agent_topic_join_ambiguous": (T(ticket=None), {"ticket": 1}),
    "SubscriptionTracker.is_agent_topic_joined": (T(topic=1), {"topic": "j"}),
    "SubscriptionTracker.is_agent_topic_claim_current": (T(ticket="1"), {"ticket": 1}),
    "SubscriptionTracker.agent_topic_status": T(topic=1),
    "SubscriptionTracker.leave_agent_topic": (T(topic=1), {"topic": "j"}),
    "SubscriptionTracker.mark_agent_topic_leave_complete": (
        T(outcome=core.RoomStatus.Absent), {"topic": "j", "ticket": 4}),
    "SubscriptionTracker.acknowledge_agent_topic_reconciled": (T(topic=1), {"topic": "j"}),
    "SubscriptionTracker.mark_agent_topic_rejoin_failed": (O(ticket=-5), {"topic": "j",
                                                                          "ticket": 3}),
    "TurnLedger.record": T(effect="reply"),
}


def entry(name, fn, target=None):
    """The catalogue entry of a callable, from its signature and its row."""
    row = ROWS.get(name, T(bogus=1))
    bad, own = row if isinstance(row[0], tuple) else (row, {})
    params = [p for p in inspect.signature(fn).parameters if p != "self"]
    assert params or name not in ROWS, f"{name} takes no arguments"
    return Entry(name, target, {p: own[p] if p in own else VALUES[p] for p in params}, (bad,))


def catalogue():
    entries = []
    for name in core.__all__:
        obj = getattr(core, name)
        if not isinstance(obj, type):
            entries.append(entry(name, obj))
            continue
        members = [v for v in vars(obj).values() if type(v) is obj]
        target = TARGETS.get(name) or Target(name, lambda m=members[-1]: m)
        if obj.__text_signature__ is not None:
            entries.append(entry(name, obj))
        for attr, value in vars(obj).items():
            if attr.startswith("_") or type(value) is obj:
                continue
            full = f"{name}.{attr}"
            if attr == "from_wire_name":
                entries.append(Entry(full, None, {"name": str(members[-1])}, (T(name=5),)))
            elif isinstance(value, staticmethod):
                entries.append(entry(full, getattr(obj, attr)))
            elif type(value).__name__ == "getset_descriptor":
                entries.append(Entry(full, target, bad=((AttributeError, {}),), prop=True))
            else:
                entries.append(entry(full, value, target))
    return entries


CATALOGUE = catalogue()
