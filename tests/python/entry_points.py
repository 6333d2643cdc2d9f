"""Every public callable of the module in one table: each function, constructor, static method,
method and property, with a fresh object to call it on, keyword arguments of a call that succeeds
and at least one failing variant (the documented exception and the keywords it overrides). For a
property the failing path is an assignment. The stateful classes also say how to read every view
of an object (to compare before and after a refused call) and name a call that takes exclusive
access and changes nothing (to prove the access flag was released)."""

import dataclasses

import vorn_sdk_core as core


@dataclasses.dataclass(frozen=True)
class Target:
    cls: str
    make: object
    views: object = None  # object -> everything its read-only views show
    idle: object = None  # object -> None, an exclusive call that changes nothing


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


def failing(exception, **overrides):
    return (exception, overrides)


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
    d.register_minted("room")  # TOKEN, ticket 1
    return d


def ledger():
    turn = core.TurnLedger()
    turn.record(core.TurnEffect.Act)
    return turn


IDS = ("m", "c", "p", "f", "x")
ROOMS = ("r", "s", "n")
TOPICS = ("t", "j", "u")
TOKEN = core.DecisionRegistry(seed=7).register_minted("room")[0]

REGISTRY = Target("ClaimRegistry", registry, lambda r: (
    sorted(r.inflight_ids("r")), r.completed_ids("r"), r.pending_ack_ids("r"),
    r.has_retryable_settlement("r"), r.max_completed,
    [(r.is_ack_pending("r", m), r.pending_ack("r", m), r.pending_settlement("r", m)) for m in IDS],
), lambda r: r.release("zz", "zz"))
TRACKER = Target("RetryTracker", tracker, lambda t: (
    t.max_retries, [(t.is_permanently_failed(m), attempts(t, m)) for m in IDS],
), lambda t: t.mark_success("zz"))
SESSION = Target("Session", session, lambda s: s.state, lambda s: s.on_connected(2**62, 1.0))
SUBSCRIPTIONS = Target("SubscriptionTracker", subscriptions, lambda t: (
    [(t.room_status(r), t.is_room_subscribed(r)) for r in ROOMS],
    [(t.agent_topic_status(k), t.is_agent_topic_joined(k)) for k in TOPICS],
    [(t.is_room_claim_current(r, n), t.is_agent_topic_claim_current(k, n))
     for r in ROOMS for k in TOPICS for n in range(6)],
    t.room_rejoin_candidates(), t.subscribed_room_ids(), t.agent_topic_rejoin_candidates(),
    t.joined_agent_topics(),
), lambda t: t.on_reconnected())
ROOM_ROSTER = Target("RoomRoster", rooms, lambda roster: (
    [roster.room_membership(r) for r in ROOMS], roster.tracked_room_ids(),
    [roster.is_room_admission_current(r, n) for r in ROOMS for n in range(4)],
), lambda roster: roster.record_room_removed("zz"))
PARTICIPANTS = Target("ParticipantRoster", participants,
                      lambda roster: (roster.list(), roster.changed()),
                      lambda roster: roster.remove("zz"))
DECISIONS = Target("DecisionRegistry", decisions, lambda d: (
    d.unclaimed(), d.unclaimed_count(), d.oldest_unclaimed(), d.unclaimed_in_room("room"),
    d.max_pending,
), lambda d: d.forget("zz", 0))
LEDGER = Target("TurnLedger", ledger, lambda turn: (turn.verdict(), turn.reply_settled()),
                lambda turn: turn.record(core.TurnEffect.Observe))
STATEFUL = (REGISTRY, TRACKER, SESSION, SUBSCRIPTIONS, ROOM_ROSTER, PARTICIPANTS, DECISIONS, LEDGER)

FAILURE = Target("AgentFailure", lambda: core.AgentFailure("p", "m", code="c", detail={"k": [1]}))
POLICY = Target("SessionPolicy", core.SessionPolicy.default)
OUTCOME = Target("SessionOutcome", lambda: session().on_socket_close(0, 2.0, 1006, 0.5))
RECONCILIATION = Target("RoomReconciliation", lambda: rooms().reconcile(["s", "n"]))
CANCELLED = Target("CancelledDecisions", lambda: decisions().cancel_all())

CONFIG = {
    "base_delay_s": 1, "factor": 2.0, "max_delay_s": 30, "stable_reset_s": 60,
    "rapid_disconnect_uptime_s": 10, "rapid_window_s": 300, "rapid_first_min_delay_s": 1,
    "rapid_second_min_delay_s": 5, "rapid_cooldown_base_s": 10, "rapid_cooldown_step_s": 10,
    "rapid_cooldown_max_s": 60, "rapid_threshold": 10, "heartbeat_interval_s": 30,
    "dead_threshold_s": 60,
}
MESSAGE = {
    "id": "m1", "content": "hi", "message_type": "text", "sender_type": "User", "sender_id": "u1",
    "inserted_at": "t0", "updated_at": "t0", "chat_room_id": "r1", "metadata": {"n": [1, 2.5]},
}
KEY = {"room_id": "r", "message_id": "m"}
RETRY = Fresh(tracker)


def fn(name, bad, **ok):
    return Entry(name, None, ok, (bad,))


def meth(target, name, bad, **ok):
    return Entry(f"{target.cls}.{name}", target, ok, (bad,))


def props(target, *names):
    return [Entry(f"{target.cls}.{n}", target, bad=((AttributeError, {}),), prop=True)
            for n in names]


def unexpected(name, target=None):
    """A callable without parameters: an unexpected keyword is its failing call."""
    return Entry(name if target is None else f"{target.cls}.{name}", target,
                 bad=(failing(TypeError, bogus=1),))


def enumeration_entries():
    entries = []
    for name in core.__all__:
        cls = getattr(core, name)
        members = [v for v in vars(cls).values() if type(v) is cls] if type(cls) is type else []
        if not members:
            continue
        wire = hasattr(cls, "from_wire_name")
        entries += props(Target(name, lambda m=members[-1]: m), "wire_name" if wire else "value")
        if wire:
            entries.append(Entry(f"{name}.from_wire_name", None, {"name": str(members[-1])},
                                 (failing(TypeError, name=5),)))
    return entries


T, V, O = TypeError, ValueError, OverflowError
AGENT_TOPIC = Target("AgentTopicKind", lambda: core.AgentTopicKind.Rooms)

CATALOGUE = [
    # Module functions.
    unexpected("vorn_tool_effects"),
    unexpected("missing_reply_message"),
    unexpected("no_reply_tool"),
    fn("chat_room_topic", failing(T, room_id=1), room_id="r"),
    fn("room_participants_topic", failing(T, room_id=None), room_id="r"),
    fn("classify_close", failing(V, close_code=65536), close_code=1000),
    fn("classify_upgrade", failing(V, status=-1), status=409),
    fn("evaluate_adapter_result", failing(T, succeeded=1), **KEY, succeeded=True),
    fn("evaluate_delivery_event", failing(V, event_type="room_removed", payload={"id": 5}),
       event_type="message_created", room_id=None, payload=MESSAGE, agent_id="a",
       trace_context="t"),
    fn("evaluate_drain_candidate", failing(T, seen_ids="abc"),
       candidate={"id": "m", "sender_id": "u", "sender_type": "User"}, seen_ids=["m"],
       agent_id="a"),
    fn("evaluate_next_message", failing(T, next_message_id=1), triggering_message_id="m",
       next_message_id="n"),
    fn("is_authorized_sender", failing(T, authorized_senders=["u"]), authorized_senders={"u"},
       sender_id="u"),
    fn("is_self_echo", failing(T, agent_id=None), sender_id="a", sender_type="Agent",
       agent_id="a"),
    fn("validate_event_payload", failing(V, raw={}), event_type="message_created", raw=MESSAGE,
       trace_context="t"),
    fn("validate_memory_type_for_system", failing(V, memory_type="episodic"), system="sensory",
       memory_type="iconic", trace_context="t"),
    # Constructors and static methods.
    fn("AgentFailure", failing(T, detail=object()), provider="p", message="m", code="c",
       detail={"k": [1, 2.5, None]}),
    fn("ClaimRegistry", failing(V, max_completed=0), max_completed=5),
    fn("DecisionRegistry", failing(V, max_pending=0), max_pending=2, seed=1),
    fn("ParticipantRoster", failing(T, bogus=1), trace_context_provider=str),
    fn("RetryTracker", failing(V, max_tracked=0), max_retries=1, max_tracked=10),
    unexpected("RoomRoster"),
    fn("Session", failing(T, policy=CONFIG), policy=core.SessionPolicy.default()),
    fn("SessionPolicy", failing(V, config={**CONFIG, "factor": 0.5}), config=CONFIG,
       trace_context="t"),
    unexpected("SessionPolicy.default"),
    unexpected("SubscriptionTracker"),
    unexpected("TurnLedger"),
    # RetryTracker.
    meth(TRACKER, "record_attempt", failing(T, message_id=1), message_id="m"),
    meth(TRACKER, "mark_success", failing(T, message_id=b"m"), message_id="m"),
    meth(TRACKER, "discard_attempt", failing(T, message_id=None), message_id="m"),
    meth(TRACKER, "is_permanently_failed", failing(T, message_id=1), message_id="x"),
    meth(TRACKER, "mark_permanently_failed", failing(T, message_id=1), message_id="m"),
    *props(TRACKER, "max_retries"),
    # ClaimRegistry: claims, completion, eligibility.
    meth(REGISTRY, "try_claim", failing(T, room_id=1), **KEY),
    meth(REGISTRY, "release", failing(T, message_id=1), **KEY),
    meth(REGISTRY, "inflight_ids", failing(T, room_id=1), room_id="r"),
    meth(REGISTRY, "is_completed", failing(T, room_id=1), room_id="r", message_id="c"),
    meth(REGISTRY, "remember_completed", failing(T, room_id=1), **KEY),
    meth(REGISTRY, "completed_ids", failing(T, room_id=1), room_id="r"),
    meth(REGISTRY, "discard_completed", failing(T, room_id=1), room_id="r"),
    meth(REGISTRY, "is_ack_pending", failing(T, room_id=1), room_id="r", message_id="p"),
    meth(REGISTRY, "delivery_eligibility", failing(T, self_echo=1), **KEY, retry_tracker=RETRY,
         durably_failed=True),
    meth(REGISTRY, "guarded_claim", failing(T, selfecho=True), room_id="r", message_id="n",
         retry_tracker=RETRY, allow_failed_retry=False),
    # ClaimRegistry: acknowledgements and settlements.
    meth(REGISTRY, "remember_ack_pending", failing(T, message_id=1), room_id="r", message_id="n"),
    meth(REGISTRY, "remember_failed_ack_pending", failing(V, error="other"), room_id="r",
         message_id="f", error="boom", trace_context="t"),
    meth(REGISTRY, "pending_ack", failing(T, message_id=1), room_id="r", message_id="f"),
    meth(REGISTRY, "park_ack", failing(T, reason="rejected"), room_id="r", message_id="p",
         reason=core.ParkedReason.NotFound),
    meth(REGISTRY, "unpark_acks", failing(T, room_id=1), room_id="r"),
    meth(REGISTRY, "pending_ack_ids", failing(T, room_id=1), room_id="r"),
    meth(REGISTRY, "record_ack_retry", failing(T, room_id=1), **KEY),
    meth(REGISTRY, "record_processed_settlement", failing(V, message_id="f"), room_id="r",
         message_id="p", trace_context="t"),
    meth(REGISTRY, "record_failed_settlement", failing(V, message_id="p"), room_id="r",
         message_id="f", error="boom", retry_tracker=RETRY, allow_retry=True, trace_context="t"),
    meth(REGISTRY, "pending_settlement", failing(T, trace_context=1), room_id="r", message_id="p",
         trace_context="t"),
    meth(REGISTRY, "confirm_settlement", failing(T, token=0), room_id="r", message_id="p",
         token="0", retry_tracker=RETRY),
    meth(REGISTRY, "park_settlement", failing(T, reason=None), room_id="r", message_id="p",
         token="0", reason=core.ParkedReason.Rejected),
    meth(REGISTRY, "has_retryable_settlement", failing(T, room_id=1), room_id="r"),
    *props(REGISTRY, "max_completed"),
    # DecisionRegistry and its cancellations.
    meth(DECISIONS, "register_minted", failing(T, room_id=1), room_id="room"),
    meth(DECISIONS, "register_keyed", failing(T, key=None), key="k"),
    meth(DECISIONS, "try_claim", failing(O, ticket=-1), token="k", ticket=0),
    meth(DECISIONS, "withdraw", failing(T, ticket=1.0), token="k", ticket=0),
    meth(DECISIONS, "forget", failing(O, ticket=2**64), token=TOKEN, ticket=1),
    meth(DECISIONS, "unclaimed_in_room", failing(T, room_id=1), room_id="room"),
    meth(DECISIONS, "cancel_room", failing(T, room_id=None), room_id="room"),
    *[unexpected(n, DECISIONS) for n in ("unclaimed", "unclaimed_count", "oldest_unclaimed",
                                         "evict_oldest", "cancel_all")],
    *props(DECISIONS, "max_pending"),
    *props(CANCELLED, "unclaimed", "claimed"),
    # ParticipantRoster.
    meth(PARTICIPANTS, "add", failing(T, participant=[]),
         participant={"id": "u", "name": "V", "extra": [1]}),
    meth(PARTICIPANTS, "remove", failing(T, participant_id=1), participant_id="u"),
    meth(PARTICIPANTS, "set_all", failing(V, participants=[{"id": "a"}, {"id": "a"}]),
         participants=[{"id": "u"}, {"id": "w", "handle": None}], trace_context=None),
    *[unexpected(n, PARTICIPANTS) for n in ("list", "changed", "mark_sent")],
    # RoomRoster and its reconciliation.
    meth(ROOM_ROSTER, "room_membership", failing(T, room_id=1), room_id="r"),
    meth(ROOM_ROSTER, "begin_room_admission", failing(T, passes_filter=1), room_id="n",
         passes_filter=True),
    meth(ROOM_ROSTER, "record_room_admission", failing(O, ticket=-1), room_id="r", ticket=0,
         succeeded=True),
    meth(ROOM_ROSTER, "is_room_admission_current", failing(T, ticket="0"), room_id="r", ticket=0),
    meth(ROOM_ROSTER, "record_room_removed", failing(T, room_id=1), room_id="s"),
    meth(ROOM_ROSTER, "reconcile", failing(T, current_room_ids="r"), current_room_ids=["r", "n"]),
    *[unexpected(n, ROOM_ROSTER) for n in ("tracked_room_ids", "clear")],
    *props(RECONCILIATION, "removed", "admitting", "resync"),
    # Session, its outcomes and its policy.
    meth(SESSION, "begin_attempt", failing(V, now_s=-1.0), now_s=5.0),
    meth(SESSION, "on_connected", failing(V, epoch=-1), epoch=0, now_s=2.0),
    meth(SESSION, "on_socket_close", failing(V, jitter_sample=2.0), epoch=0, now_s=2.0,
         close_code=1006, jitter_sample=0.5),
    meth(SESSION, "on_upgrade_rejected", failing(V, status=70000), epoch=0, now_s=2.0,
         status=503, retry_after_s=1.5, jitter_sample=0.5),
    meth(SESSION, "on_supersede", failing(V, retry_after_s=float("nan")), now_s=2.0,
         retryable=True, retry_after_s=None, jitter_sample=1.0),
    unexpected("end", SESSION),
    *props(SESSION, "state"),
    *props(OUTCOME, "state", "retry_after_s", "dead_reason", "stale_reason"),
    *props(POLICY, "heartbeat_interval_s", "dead_threshold_s"),
    # SubscriptionTracker: rooms "r" (pending, ticket 0) and "s" (subscribed, 2), topics "t"
    # (pending, 1) and "j" (joined, 3).
    meth(SUBSCRIPTIONS, "begin_room_subscribe", failing(T, room_id=1), room_id="n"),
    meth(SUBSCRIPTIONS, "record_chat_room_join_failed", failing(O, ticket=-1), room_id="r",
         ticket=0),
    meth(SUBSCRIPTIONS, "record_both_room_topics_joined", failing(T, ticket=None), room_id="r",
         ticket=0),
    meth(SUBSCRIPTIONS, "record_room_participants_join_failed", failing(T, chat_room_left=0),
         room_id="r", ticket=0, chat_room_left=False),
    meth(SUBSCRIPTIONS, "is_room_subscribed", failing(T, room_id=1), room_id="s"),
    meth(SUBSCRIPTIONS, "is_room_claim_current", failing(T, ticket=0.0), room_id="r", ticket=0),
    meth(SUBSCRIPTIONS, "room_status", failing(T, room_id=1), room_id="r"),
    meth(SUBSCRIPTIONS, "unsubscribe_room", failing(T, room_id=1), room_id="s"),
    meth(SUBSCRIPTIONS, "mark_room_leave_complete", failing(T, outcome="left"), room_id="s",
         ticket=4, outcome=core.LeaveOutcome.Left),
    meth(SUBSCRIPTIONS, "acknowledge_room_reconciled", failing(T, room_id=1), room_id="r"),
    meth(SUBSCRIPTIONS, "mark_room_rejoin_failed", failing(O, ticket=2**64), room_id="s",
         ticket=2),
    meth(SUBSCRIPTIONS, "begin_agent_topic_join", failing(T, topic=1), topic="u"),
    meth(SUBSCRIPTIONS, "record_agent_topic_join", failing(T, joined=None), topic="t", ticket=1,
         joined=True),
    meth(SUBSCRIPTIONS, "record_agent_topic_join_ambiguous", failing(T, ticket=None), topic="t",
         ticket=1),
    meth(SUBSCRIPTIONS, "is_agent_topic_joined", failing(T, topic=1), topic="j"),
    meth(SUBSCRIPTIONS, "is_agent_topic_claim_current", failing(T, ticket="1"), topic="t",
         ticket=1),
    meth(SUBSCRIPTIONS, "agent_topic_status", failing(T, topic=1), topic="t"),
    meth(SUBSCRIPTIONS, "leave_agent_topic", failing(T, topic=1), topic="j"),
    meth(SUBSCRIPTIONS, "mark_agent_topic_leave_complete",
         failing(T, outcome=core.RoomStatus.Absent), topic="j", ticket=4,
         outcome=core.LeaveOutcome.Failed),
    meth(SUBSCRIPTIONS, "acknowledge_agent_topic_reconciled", failing(T, topic=1), topic="j"),
    meth(SUBSCRIPTIONS, "mark_agent_topic_rejoin_failed", failing(O, ticket=-5), topic="j",
         ticket=3),
    *[unexpected(n, SUBSCRIPTIONS) for n in (
        "room_rejoin_candidates", "subscribed_room_ids", "on_reconnected", "end_session",
        "agent_topic_rejoin_candidates", "joined_agent_topics")],
    # TurnLedger.
    meth(LEDGER, "record", failing(T, effect="reply"), effect=core.TurnEffect.Reply),
    *[unexpected(n, LEDGER) for n in ("settle", "note_reported", "reply_settled", "verdict")],
    # AgentFailure.
    *[unexpected(n, FAILURE) for n in ("to_dict", "to_extension_data")],
    *props(FAILURE, "provider", "message", "code", "detail"),
    # Enumerations.
    meth(AGENT_TOPIC, "topic", failing(T, agent_id=1), agent_id="a"),
    *enumeration_entries(),
]
