"""Threads sharing one object of each stateful class. Arguments whose conversion runs Python code
let other threads run in the middle of a call, so calls collide: the one that collides must raise
the documented RuntimeError and change nothing. Every call that went through is logged in the
order it took effect; replayed on the reference model, the log must give the same answers and
leave the same views."""

import collections.abc
import itertools
import random
import threading
import time

import pytest

import vorn_sdk_core as core
from models import LONG, claims, decisions_turn, session, subscription_rosters

SECONDS = 5.0 if LONG else 0.6
CONFLICTS = {"Already borrowed", "Already mutably borrowed"}
ROOMS, IDS = ("r1", "r2"), ("m1", "m2", "m3")


class Yielding:
    """A number whose conversion hands the interpreter to other threads."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        time.sleep(0)
        return self.value

    def __float__(self):
        time.sleep(0)
        return float(self.value)


class Flag:
    """A NumPy-style boolean, read through its `__bool__`, which hands the interpreter over."""

    def __init__(self, value):
        self.value = value

    def __bool__(self):
        time.sleep(0)
        return self.value


Flag = type("bool_", (Flag,), {"__module__": "numpy"})
TRACKER = object()  # stands for the retry tracker the registry is used with


def room(rnd):
    return rnd.choice(ROOMS)


def message(rnd):
    return rnd.choice(IDS)


def ticket(rnd):
    return Yielding(rnd.randrange(8))


def instant(rnd):
    return Yielding(rnd.choice([0.5, 1, 20, 400, 401]) * rnd.randrange(1, 40))


def flag(rnd):
    return Flag(rnd.random() < 0.5)


def token(rnd):
    return str(rnd.randrange(8))


class Person(collections.abc.Mapping):
    """A participant whose fields are read one call at a time, handing the interpreter over."""

    def __init__(self, rnd):
        self.fields = {"id": rnd.choice(IDS), "name": rnd.choice(["Ada", "Grace", None])}

    def __getitem__(self, key):
        time.sleep(0)
        return self.fields[key]

    def __iter__(self):
        return iter(self.fields)

    def __len__(self):
        return len(self.fields)


def people(rnd):
    return [Person(rnd) for _ in range(rnd.randrange(3))]


# class: (module object, its model, [(method, argument makers)], [(view, arguments)])
CASES = {
    "ClaimRegistry": (
        lambda: (core.ClaimRegistry(max_completed=2), core.RetryTracker()),
        lambda: (claims.ClaimRegistry(max_completed=2), claims.RetryTracker()),
        [("try_claim", [room, message]), ("release", [room, message]),
         ("remember_completed", [room, message]), ("guarded_claim", [room, message, lambda r: TRACKER]),
         ("record_processed_settlement", [room, message]),
         ("record_failed_settlement", [room, message, lambda r: "boom", lambda r: TRACKER, flag]),
         ("confirm_settlement", [room, message, token, lambda r: TRACKER])],
        [(view, (r,)) for view in ("inflight_ids", "completed_ids", "pending_ack_ids") for r in ROOMS],
    ),
    "Session": (
        lambda: core.Session(core.SessionPolicy.default()),
        lambda: session.Session(session.SessionPolicy.default()),
        [("begin_attempt", [instant]), ("on_connected", [ticket, instant]),
         ("on_socket_close", [ticket, instant, lambda r: 1000, lambda r: Yielding(0.5)]),
         ("end", [])],
        [("state", None)],
    ),
    "SubscriptionTracker": (
        core.SubscriptionTracker, subscription_rosters.SubscriptionTracker,
        [("begin_room_subscribe", [room]), ("record_both_room_topics_joined", [room, ticket]),
         ("unsubscribe_room", [room]),
         ("mark_room_leave_complete", [room, ticket, lambda r: core.LeaveOutcome.Left]),
         ("on_reconnected", []), ("mark_room_rejoin_failed", [room, ticket])],
        [("subscribed_room_ids", ()), ("room_rejoin_candidates", ())]
        + [("room_status", (r,)) for r in ROOMS],
    ),
    "RoomRoster": (
        core.RoomRoster, subscription_rosters.RoomRoster,
        [("begin_room_admission", [room, flag]), ("record_room_admission", [room, ticket, flag]),
         ("record_room_removed", [room]), ("reconcile", [lambda r: r.sample(ROOMS, r.randrange(3))])],
        [("tracked_room_ids", ())] + [("room_membership", (r,)) for r in ROOMS],
    ),
    "RetryTracker": (
        lambda: core.RetryTracker(max_retries=2, max_tracked=2),
        lambda: claims.RetryTracker(max_retries=2, max_tracked=2),
        [("record_attempt", [message]), ("mark_success", [message]),
         ("discard_attempt", [message]), ("mark_permanently_failed", [message])],
        [("is_permanently_failed", (m,)) for m in IDS],
    ),
    "ParticipantRoster": (
        core.ParticipantRoster, subscription_rosters.ParticipantRoster,
        [("set_all", [people]), ("add", [lambda r: Person(r)]), ("remove", [message]),
         ("mark_sent", [])],
        [("list", ()), ("changed", ())],
    ),
    "TurnLedger": (
        core.TurnLedger, decisions_turn.TurnLedger,
        [("record", [lambda r: r.choice([core.TurnEffect.Act, core.TurnEffect.Reply])]),
         ("settle", [])],
        [("verdict", ()), ("reply_settled", ())],
    ),
    "DecisionRegistry": (
        lambda: core.DecisionRegistry(max_pending=3, seed=7),
        lambda: decisions_turn.DecisionRegistry(max_pending=3, seed=7),
        [("register_keyed", [message]), ("try_claim", [message, ticket]),
         ("withdraw", [message, ticket]), ("forget", [message, ticket]), ("evict_oldest", [])],
        [("unclaimed", ()), ("unclaimed_count", ()), ("oldest_unclaimed", ())],
    ),
}


def hammer(real, ops, tracker):
    log, conflicts = [], []

    def worker(seed):
        rnd = random.Random(seed)
        deadline = time.monotonic() + SECONDS
        while time.monotonic() < deadline:
            name, makers = rnd.choice(ops)
            args = tuple(make(rnd) for make in makers)
            call = getattr(real, name)
            try:
                # map, zip and extend run without any bytecode in between: once the call has taken
                # effect, it is logged before another thread can run.
                log.extend(zip(itertools.repeat((name, args)),
                               map(call, *[(tracker if a is TRACKER else a,) for a in args])))
            except RuntimeError as error:
                assert str(error) in CONFLICTS
                conflicts.append(name)
            except (ValueError, TypeError, OverflowError):
                pass  # refused, so nothing changed

    threads = [threading.Thread(target=worker, args=(seed,)) for seed in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return log, conflicts


@pytest.mark.parametrize("name", CASES)
def test_shared_objects_stay_consistent_with_a_replay_of_what_went_through(name):
    make_real, make_model, ops, views = CASES[name]
    real, model = make_real(), make_model()
    real, tracker = real if isinstance(real, tuple) else (real, None)
    model, model_tracker = model if isinstance(model, tuple) else (model, None)
    log, conflicts = hammer(real, ops, tracker)
    assert log
    if any(maker in (ticket, instant, flag, people) for _, makers in ops for maker in makers):
        assert conflicts, "no call ever collided"
    for (method, args), result in log:
        plain = [plain_value(a, model_tracker) for a in args]
        assert fields(getattr(model, method)(*plain)) == fields(result), (method, args)
    for view, args in views:
        got, want = getattr(real, view), getattr(model, view)
        if args is not None:
            got, want = got(*args), want(*args)
        if view == "inflight_ids":  # in no particular order
            got, want = sorted(got), sorted(want)
        assert fields(got) == fields(want), view


def plain_value(arg, tracker):
    if arg is TRACKER:
        return tracker
    if isinstance(arg, (Yielding, Flag)):
        return arg.value
    if isinstance(arg, Person):
        return dict(arg.fields)
    if isinstance(arg, list):
        return [plain_value(a, tracker) for a in arg]
    return arg


def fields(value):
    """A result object as its public fields; anything else as it is."""
    if type(value).__name__ in ("RoomReconciliation", "CancelledDecisions"):
        return {name: getattr(value, name) for name in dir(value) if not name.startswith("_")}
    return value
