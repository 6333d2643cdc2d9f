"""The retry tracker and the claim registry played side by side with their reference models: every
answer, every error and every view must agree after each step."""

import enum

import vorn_sdk_core as core
from hypothesis import strategies as st
from hypothesis.stateful import (Bundle, RuleBasedStateMachine, initialize, invariant, multiple, rule,
                                 run_state_machine_as_test)
from models import claims as model
from models import machine_settings, outcome

# Room and message ids glued together, with or without a ":" between them, would confuse keys.
ROOMS, IDS, TRACKED_IDS = ("r", "r:"), ("a", ":a", "b"), ("a", ":a", "b", "c")


class Slot(enum.Enum):
    """An argument that is a different object on each side."""

    TRACKER = 0
    OTHER_TRACKER = 1
    REGISTRY = 2  # the wrong type where a tracker is wanted
    TOKEN = 3  # the token of the key's entry, read from the model


def alike(got, want):
    # == alone lets 1 pass for True and ignores the key order of the dict views.
    return got == want and repr(got) == repr(want)


LIMIT = st.sampled_from([1, 2, 3, 4, None])  # None: the constructor's default
BUDGET = st.sampled_from([0, 1, 2, 3, None])
SPOILT_LIMIT = st.sampled_from([0, -1, 2**32 - 1, 2**32, 2**63, -(2**63) - 1, 2.0, "3", None, True])
KEY = (st.sampled_from(ROOMS), st.sampled_from(IDS))
ROOM = (st.sampled_from(ROOMS + ("q",)),)
TRACE = st.sampled_from([None, "t"])
ERROR = st.sampled_from(["x", "y"])
REASON = st.sampled_from([core.ParkedReason.NotFound, core.ParkedReason.Rejected])
TOKEN = st.sampled_from([Slot.TOKEN] * 6 + ["0", "1", "00", "+1", " 1", "", "18446744073709551616"])
TRACKERS = st.sampled_from([Slot.TRACKER, Slot.OTHER_TRACKER])
RARELY = st.sampled_from([False] * 3 + [True])
FACTS = st.fixed_dictionaries({}, optional={
    "self_echo": RARELY, "durably_processed": RARELY,
    "durably_failed": st.sampled_from([True, True, False]),
    "allow_failed_retry": st.sampled_from([False, False, True])})
BAD_FACTS = st.dictionaries(
    st.sampled_from(["self_echo", "durably_failed", "selfecho", "room_"]),
    st.sampled_from([True, False, 1, None]), min_size=1).filter(
        lambda facts: not facts.keys() <= {"self_echo", "durably_failed"}
        or any(type(value) is not bool for value in facts.values()))
ELIGIBILITY = ("delivery_eligibility", "guarded_claim")
LIMIT_PROPERTY = {"RetryTracker": "max_retries", "ClaimRegistry": "max_completed"}


def calls(*tables, facts=FACTS):
    """(name, args, keywords) for the methods of the tables; eligibility queries draw `facts`."""
    return st.one_of(*(st.tuples(st.just(name), st.tuples(*args),
                                 facts if name in ELIGIBILITY else st.just({}))
                       for table in tables for name, args in table.items()))


TRACKER_CALLS = {name: (st.sampled_from(TRACKED_IDS),) for name in (
    "record_attempt", "mark_success", "discard_attempt", "mark_permanently_failed")}
TRACKER_VIEWS = {"is_permanently_failed": (st.sampled_from(TRACKED_IDS),)}
CLAIMS = {"try_claim": KEY, "release": KEY, "delivery_eligibility": KEY + (TRACKERS,),
          "guarded_claim": KEY + (TRACKERS,)}
COMPLETED = {"is_completed": KEY, "remember_completed": KEY, "discard_completed": ROOM}
ACKS = {"remember_ack_pending": KEY, "remember_failed_ack_pending": KEY + (ERROR, TRACE),
        "park_ack": KEY + (REASON,), "unpark_acks": ROOM, "record_ack_retry": KEY}
SETTLEMENTS = {"record_processed_settlement": KEY + (TRACE,),
               "record_failed_settlement": KEY + (ERROR, TRACKERS, st.booleans(), TRACE),
               "confirm_settlement": KEY + (TOKEN, TRACKERS), "park_settlement": KEY + (TOKEN, REASON)}
# The invariants read these after every step; the rules only pass them wrong arguments.
VIEWS = {"inflight_ids": ROOM, "completed_ids": ROOM, "is_ack_pending": KEY, "pending_ack": KEY,
         "pending_ack_ids": ROOM, "pending_settlement": KEY + (TRACE,),
         "has_retryable_settlement": ROOM}
SPOIL = st.sets(st.integers(0, 5), min_size=1, max_size=2)  # positions, modulo the argument count


class PairedMachine(RuleBasedStateMachine):
    """Holds each object twice, the module's and the model's, and plays every call on both."""

    def __init__(self):
        super().__init__()
        self.objects = {}  # Slot -> (module's object, model's object)

    def build(self, name, kwargs, spoilt=None):
        """Both sides refuse (or accept) a spoilt argument alike; the pair is built from `kwargs`."""
        classes = getattr(core, name), getattr(model, name)
        if spoilt:
            bad, limit = {**kwargs, spoilt[0]: spoilt[1]}, LIMIT_PROPERTY[name]
            results = [outcome(lambda cls=cls: getattr(cls(**bad), limit)) for cls in classes]
            assert alike(*results), f"{name}(**{bad}): module {results[0]!r}, model {results[1]!r}"
        return tuple(cls(**kwargs) for cls in classes)

    def play(self, pair, name, args, kwargs=None, spoil=(), wrong=None):
        """Calls `name` on both sides; the arguments at the `spoil` positions (modulo their count)
        are replaced by `wrong`."""
        spoil = {position % len(args) for position in spoil}
        args = [wrong if i in spoil else arg for i, arg in enumerate(args)]
        results = [outcome(getattr(obj, name), *(self.resolve(arg, side) for arg in args),
                           **(kwargs or {})) for side, obj in enumerate(pair)]
        if name == "inflight_ids":  # in no particular order
            results = [(r[0], sorted(r[1])) if r[0] == "ok" else r for r in results]
        assert alike(*results), f"{name}{args}{kwargs}: module {results[0]!r}, model {results[1]!r}"
        return results[1]

    def resolve(self, arg, side):
        return self.objects[arg][side] if isinstance(arg, Slot) else arg


def limits(**drawn):
    return {name: value for name, value in drawn.items() if value is not None}


class RetryTrackerMachine(PairedMachine):
    @initialize(trackers=st.lists(st.tuples(BUDGET, LIMIT), min_size=2, max_size=2),
                spoilt=st.tuples(st.sampled_from(["max_retries", "max_tracked"]), SPOILT_LIMIT))
    def start(self, trackers, spoilt):
        for slot, (budget, bound) in zip((Slot.TRACKER, Slot.OTHER_TRACKER), trackers):
            kwargs = limits(max_retries=budget, max_tracked=bound)
            self.objects[slot] = self.build("RetryTracker", kwargs, spoilt)

    @rule(tracker=TRACKERS, call=calls(TRACKER_CALLS))
    def tracker(self, tracker, call):
        self.play(self.objects[tracker], *call)

    @rule(call=calls(TRACKER_CALLS, TRACKER_VIEWS), spoil=SPOIL,
          wrong=st.sampled_from([None, 1, b"a", 2.5]))
    def tracker_wrong_types(self, call, spoil, wrong):
        self.play(self.objects[Slot.TRACKER], *call, spoil, wrong)

    @invariant()
    def trackers_agree(self):
        for pair in self.objects[Slot.TRACKER], self.objects[Slot.OTHER_TRACKER]:
            assert pair[0].max_retries == pair[1].max_retries
            for message_id in TRACKED_IDS:
                self.play(pair, "is_permanently_failed", (message_id,))


class ClaimRegistryMachine(RetryTrackerMachine):
    """Two trackers beside the registry, since every call that takes one may take either."""

    settled = Bundle("settled")  # (room_id, message_id, token) of each settlement recorded

    @initialize(max_completed=LIMIT, spoilt=SPOILT_LIMIT)
    def start_registry(self, max_completed, spoilt):
        kwargs = limits(max_completed=max_completed)
        self.objects[Slot.REGISTRY] = self.build("ClaimRegistry", kwargs, ("max_completed", spoilt))

    def registry(self, call, spoil=(), wrong=None):
        name, args, kwargs = call
        if Slot.TOKEN in args:
            view = self.objects[Slot.REGISTRY][1].pending_settlement(*args[:2])
            args = tuple((view or {"token": "0"})["token"] if arg is Slot.TOKEN else arg for arg in args)
        return self.play(self.objects[Slot.REGISTRY], name, args, kwargs, spoil, wrong)

    @rule(call=calls(CLAIMS))
    def claims(self, call):
        self.registry(call)

    @rule(call=calls(COMPLETED))
    def completed(self, call):
        self.registry(call)

    @rule(call=calls(ACKS))
    def acknowledgements(self, call):
        self.registry(call)

    @rule(call=calls(SETTLEMENTS))
    def settlements(self, call):
        self.registry(call)

    @rule(target=settled, key=st.tuples(*KEY), tracker=TRACKERS,
          error=st.sampled_from([None, "x", "x", "y"]), allow_retry=st.booleans())
    def turn(self, key, tracker, error, allow_retry):
        """The host's turn on a message: one attempt, then its outcome recorded as a settlement."""
        self.play(self.objects[tracker], "record_attempt", key[1:])
        if error is None:
            result = self.registry(("record_processed_settlement", key, {}))
        else:
            result = self.registry(("record_failed_settlement", key + (error, tracker, allow_retry), {}))
        return key + (result[1]["token"],) if result[0] == "ok" else multiple()

    @rule(settlement=settled, tracker=TRACKERS, reason=st.one_of(st.none(), REASON))
    def settle(self, settlement, tracker, reason):
        """A durable write for a settlement recorded earlier, perhaps long gone: counted as one more
        try, then confirmed, or parked for `reason`."""
        self.registry(("record_ack_retry", settlement[:2], {}))
        if reason is None:
            self.registry(("confirm_settlement", settlement + (tracker,), {}))
        else:
            self.registry(("park_settlement", settlement + (reason,), {}))

    @rule(call=calls(CLAIMS, COMPLETED, ACKS, SETTLEMENTS, VIEWS, facts=st.one_of(FACTS, BAD_FACTS)),
          spoil=SPOIL,
          wrong=st.sampled_from([None, 1, b"a", "rejected", Slot.REGISTRY, core.ParkedReason.Rejected]))
    def wrong_types(self, call, spoil, wrong):
        self.registry(call, spoil, wrong)

    @rule(name=st.sampled_from(ELIGIBILITY), key=st.tuples(*KEY), facts=BAD_FACTS)
    def wrong_facts(self, name, key, facts):
        self.play(self.objects[Slot.REGISTRY], name, key + (Slot.TRACKER,), facts)

    @invariant()
    def registries_agree(self):
        registries = self.objects[Slot.REGISTRY]
        assert registries[0].max_completed == registries[1].max_completed
        for room in ROOMS + ("q",):
            assert sorted(registries[0].inflight_ids(room)) == sorted(registries[1].inflight_ids(room))
            for view in ("completed_ids", "pending_ack_ids", "has_retryable_settlement"):
                self.play(registries, view, (room,))
            for message_id in IDS:
                for view in ("is_ack_pending", "pending_ack", "pending_settlement"):
                    self.play(registries, view, (room, message_id))


def test_retry_tracker_answers_as_its_model():
    run_state_machine_as_test(RetryTrackerMachine, settings=machine_settings(bounded=100, steps=50))


def test_claim_registry_answers_as_its_model():
    run_state_machine_as_test(ClaimRegistryMachine, settings=machine_settings(bounded=60, steps=100))
