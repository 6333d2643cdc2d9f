"""The retry tracker and the claim registry driven side by side with their reference models: every
answer, every error and every view must agree after each step."""

import enum

import vorn_sdk_core as core
from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, rule
from models import claims as model
from models import machine_settings, outcome

ROOMS = ("r", "s")
IDS = ("a", "b", "c", "d")
UNKNOWN_ROOM = "q"


class Slot(enum.Enum):
    """An argument that differs between the two sides."""

    TRACKER = "the side's RetryTracker"
    REGISTRY = "the side's ClaimRegistry"  # a wrong type where a tracker is wanted
    TOKEN = "the token of the key's entry on the model"


def alike(got, want):
    # == alone lets 1 stand for True and ignores the key order of the dict views.
    return got == want and repr(got) == repr(want)


LIMIT = st.one_of(st.none(), st.integers(1, 4))  # None: the constructor's default
SPOILT_LIMIT = st.sampled_from([0, -1, 2**32 - 1, 2**32, 2**63, -(2**63) - 1, 2.0, "3", None, True])
MESSAGE = st.sampled_from(IDS)
KEY = (st.sampled_from(ROOMS), MESSAGE)
ROOM = (st.sampled_from(ROOMS + (UNKNOWN_ROOM,)),)
TRACE = st.sampled_from([None, "t"])
ERROR = st.sampled_from(["x", "y"])
REASON = st.sampled_from([core.ParkedReason.NotFound, core.ParkedReason.Rejected])
TOKEN = st.one_of(st.just(Slot.TOKEN), st.sampled_from(["0", "1", "2", "00", "+1"]))
TRACKER = st.just(Slot.TRACKER)
FACTS = st.dictionaries(
    st.sampled_from(["self_echo", "durably_processed", "durably_failed", "allow_failed_retry"] * 3
                    + ["selfecho"]),
    st.sampled_from([True, False] * 4 + [1, None]), max_size=3)


ELIGIBILITY = ("delivery_eligibility", "guarded_claim")


def calls(*tables):
    """(name, args, keywords) for any method of the tables; the eligibility queries draw facts."""
    return st.one_of(*(st.tuples(st.just(name), st.tuples(*args),
                                 FACTS if name in ELIGIBILITY else st.just({}))
                       for table in tables for name, args in table.items()))


ATTEMPTS = {name: (MESSAGE,) for name in ("record_attempt", "mark_success", "discard_attempt")}
FAILURES = {name: (MESSAGE,) for name in ("mark_permanently_failed", "is_permanently_failed")}
CLAIMS = {"try_claim": KEY, "release": KEY, "delivery_eligibility": KEY + (TRACKER,),
          "guarded_claim": KEY + (TRACKER,)}
COMPLETED = {"is_completed": KEY, "remember_completed": KEY, "discard_completed": ROOM}
ACKS = {"remember_ack_pending": KEY, "remember_failed_ack_pending": KEY + (ERROR, TRACE),
        "park_ack": KEY + (REASON,), "unpark_acks": ROOM, "record_ack_retry": KEY}
SETTLEMENTS = {"record_processed_settlement": KEY + (TRACE,),
               "record_failed_settlement": KEY + (ERROR, TRACKER, st.booleans(), TRACE),
               "confirm_settlement": KEY + (TOKEN, TRACKER), "park_settlement": KEY + (TOKEN, REASON)}
# Read-only views: the invariant compares them after every step; only their argument errors are
# left to the rules.
VIEWS = {"inflight_ids": ROOM, "completed_ids": ROOM, "is_ack_pending": KEY, "pending_ack": KEY,
         "pending_ack_ids": ROOM, "pending_settlement": KEY + (TRACE,),
         "has_retryable_settlement": ROOM}
# Positions to spoil, taken modulo the call's argument count.
SPOIL = st.sets(st.integers(0, 5), min_size=1, max_size=2)


class PairedMachine(RuleBasedStateMachine):
    """Holds each object twice, the module's and the model's, and plays every call on both."""

    def slot(self, value, side):
        return value

    def build(self, name, prop, kwargs, spoilt):
        """Both sides refuse (or accept) a spoilt constructor argument alike; then the objects are
        built from the valid `kwargs`."""
        bad = {**kwargs, spoilt[0]: spoilt[1]}
        results = [outcome(lambda cls=cls: getattr(cls(**bad), prop)) for cls in self.classes(name)]
        assert alike(*results), f"{name}(**{bad}): module {results[0]!r}, model {results[1]!r}"
        return tuple(cls(**kwargs) for cls in self.classes(name))

    @staticmethod
    def classes(name):
        return getattr(core, name), getattr(model, name)

    def play(self, pair, name, args, kwargs=None):
        kwargs = kwargs or {}
        results = [outcome(getattr(obj, name), *(self.slot(arg, side) for arg in args), **kwargs)
                   for side, obj in enumerate(pair)]
        assert alike(*results), f"{name}{args}{kwargs}: module {results[0]!r}, model {results[1]!r}"

    def play_spoilt(self, pair, call, spoil, wrong):
        name, args, kwargs = call
        spoil = {position % len(args) for position in spoil}
        self.play(pair, name, [wrong if i in spoil else arg for i, arg in enumerate(args)], kwargs)


def limits(**drawn):
    return {name: value for name, value in drawn.items() if value is not None}


BUDGET = st.one_of(st.none(), st.integers(0, 3))


class RetryTrackerMachine(PairedMachine):
    @initialize(max_retries=BUDGET, max_tracked=LIMIT,
                spoilt=st.tuples(st.sampled_from(["max_retries", "max_tracked"]), SPOILT_LIMIT))
    def start(self, max_retries, max_tracked, spoilt):
        kwargs = limits(max_retries=max_retries, max_tracked=max_tracked)
        self.trackers = self.build("RetryTracker", "max_retries", kwargs, spoilt)

    @rule(call=calls(ATTEMPTS))
    def attempts(self, call):
        self.play(self.trackers, *call)

    @rule(call=calls(FAILURES))
    def failures(self, call):
        self.play(self.trackers, *call)

    @rule(call=calls(ATTEMPTS, FAILURES), spoil=SPOIL, wrong=st.sampled_from([None, 1, b"a", 2.5]))
    def wrong_types(self, call, spoil, wrong):
        self.play_spoilt(self.trackers, call, spoil, wrong)

    @invariant()
    def views_agree(self):
        assert self.trackers[0].max_retries == self.trackers[1].max_retries
        for message_id in IDS:
            self.play(self.trackers, "is_permanently_failed", (message_id,))


class ClaimRegistryMachine(PairedMachine):
    @initialize(max_completed=LIMIT, max_retries=BUDGET, max_tracked=LIMIT, spoilt=SPOILT_LIMIT)
    def start(self, max_completed, max_retries, max_tracked, spoilt):
        kwargs = limits(max_completed=max_completed)
        self.registries = self.build("ClaimRegistry", "max_completed", kwargs, ("max_completed", spoilt))
        self.trackers = tuple(cls(**limits(max_retries=max_retries, max_tracked=max_tracked))
                              for cls in self.classes("RetryTracker"))

    def slot(self, value, side):
        if value is Slot.TRACKER:
            return self.trackers[side]
        if value is Slot.REGISTRY:
            return self.registries[side]
        return value

    def registry_call(self, call):
        name, args, kwargs = call
        if Slot.TOKEN in args:
            view = self.registries[1].pending_settlement(*args[:2])
            args = tuple((view or {"token": "0"})["token"] if arg is Slot.TOKEN else arg for arg in args)
        self.play(self.registries, name, args, kwargs)

    @rule(call=calls(CLAIMS))
    def claims(self, call):
        self.registry_call(call)

    @rule(call=calls(COMPLETED))
    def completed(self, call):
        self.registry_call(call)

    @rule(call=calls(ACKS))
    def acknowledgements(self, call):
        self.registry_call(call)

    @rule(call=calls(SETTLEMENTS))
    def settlements(self, call):
        self.registry_call(call)

    @rule(call=calls(ATTEMPTS, FAILURES))
    def tracker(self, call):
        self.play(self.trackers, *call)

    @rule(call=calls(CLAIMS, COMPLETED, ACKS, SETTLEMENTS, VIEWS), spoil=SPOIL,
          wrong=st.sampled_from([None, 1, b"a", Slot.REGISTRY, core.ParkedReason.Rejected]))
    def wrong_types(self, call, spoil, wrong):
        self.play_spoilt(self.registries, call, spoil, wrong)

    @invariant()
    def views_agree(self):
        real, reference = self.registries
        assert real.max_completed == reference.max_completed
        for room in ROOMS + (UNKNOWN_ROOM,):
            assert sorted(real.inflight_ids(room)) == sorted(reference.inflight_ids(room))
            for view in ("completed_ids", "pending_ack_ids", "has_retryable_settlement"):
                self.play(self.registries, view, (room,))
            for message_id in IDS:
                for view in ("is_ack_pending", "pending_ack", "pending_settlement"):
                    self.play(self.registries, view, (room, message_id))
        for message_id in IDS:
            self.play(self.trackers, "is_permanently_failed", (message_id,))


TestRetryTracker = RetryTrackerMachine.TestCase
TestRetryTracker.settings = machine_settings(bounded=150, steps=30)
TestClaimRegistry = ClaimRegistryMachine.TestCase
TestClaimRegistry.settings = machine_settings(bounded=150, steps=40)
