"""Cases for the stateful classes: one host cycle on the module's object and on its idiomatic
pure-Python model, the same statements over either library."""

import itertools
from dataclasses import dataclass

import pymodels
import vorn_sdk_core as core
from timing import Case, Timed

MAX_RATIO = 0.2  # five times faster
ANCHOR = "pure-Python model"
OUTCOME_FIELDS = ("state", "retry_after_s", "dead_reason", "stale_reason")


@dataclass(frozen=True)
class Cycle:
    figure: str
    setup: str
    stmt: str  # the timed cycle
    probe: tuple  # expressions run in order on a fresh setup; both libraries must answer alike


CYCLES = (
    Cycle("RetryTracker record_attempt + mark_success",
          "t = lib.RetryTracker(); m = 'msg-0001'",
          "a = t.record_attempt(m); t.mark_success(m)",
          ("t.record_attempt(m)", "t.record_attempt(m)", "t.mark_success(m)", "t.record_attempt(m)",
           "t.is_permanently_failed(m)")),
    Cycle("ClaimRegistry guarded_claim + release + remember_completed",
          "c = lib.ClaimRegistry(); t = lib.RetryTracker(); r = 'room-42'\n"
          "ids = itertools.cycle([f'msg-{i:04d}' for i in range(2 * c.max_completed)])",
          "m = next(ids); g = c.guarded_claim(r, m, t); c.release(r, m); c.remember_completed(r, m)",
          ("c.guarded_claim(r, 'a', t)", "c.guarded_claim(r, 'a', t)", "c.release(r, 'a')",
           "c.remember_completed(r, 'a')", "c.guarded_claim(r, 'a', t)",
           "c.guarded_claim(r, 'b', t, durably_processed=True)", "t.record_attempt('c')",
           "t.record_attempt('c')", "c.guarded_claim(r, 'c', t)",
           "c.guarded_claim(r, 'd', t, durably_failed=True, allow_failed_retry=False)",
           "c.guarded_claim(r, 'd', t, self_echo=True)")),
    Cycle("Session begin_attempt + on_connected + on_socket_close",
          "s = lib.Session(lib.SessionPolicy.default()); clock = itertools.count(0.0, 400.0)",
          "now = next(clock); e = s.begin_attempt(now); c = s.on_connected(e, now + 0.5); "
          "o = s.on_socket_close(e, now + 100.0, 1006, 0.5)",
          ("s.begin_attempt(0.0)", "s.on_socket_close(0, 0.1, 1006, 0.5)", "s.begin_attempt(1.0)",
           "s.on_connected(1, 2.0)", "s.on_connected(1, 3.0)", "s.on_socket_close(1, 102.0, 1006, 1.0)",
           "s.begin_attempt(103.0)", "s.on_socket_close(2, 103.5, 1006, 0.5)",
           "s.on_socket_close(2, 104.0, 1006, 0.5)", "s.begin_attempt(105.0)",
           "s.on_socket_close(3, 104.5, 1000, 0.5)", "s.on_socket_close(3, 106.0, 1000, 0.5)",
           "s.begin_attempt(107.0)")),
    Cycle("SubscriptionTracker room join + leave",
          "s = lib.SubscriptionTracker(); left = lib.LeaveOutcome.Left; r = 'room-42'",
          "j = s.begin_room_subscribe(r); a = s.record_both_room_topics_joined(r, j); "
          "u = s.unsubscribe_room(r); b = s.mark_room_leave_complete(r, u, left)",
          ("s.begin_room_subscribe(r)", "s.begin_room_subscribe(r)",
           "s.record_both_room_topics_joined(r, 7)", "s.record_both_room_topics_joined(r, 0)",
           "s.unsubscribe_room(r)", "s.mark_room_leave_complete(r, 0, left)",
           "s.mark_room_leave_complete(r, 1, lib.LeaveOutcome.Failed)", "s.begin_room_subscribe(r)")),
    Cycle("DecisionRegistry register_minted + try_claim + forget",
          "d = lib.DecisionRegistry(seed=7); r = 'room-42'",
          "token, ticket = d.register_minted(r); c = d.try_claim(token, ticket); f = d.forget(token, ticket)",
          ("(x := d.register_minted(r))", "d.try_claim(*x)", "d.try_claim(*x)", "d.try_claim(x[0], 5)",
           "d.forget(*x)", "d.try_claim(*x)", "d.register_minted()")),
)


def plain(value):
    """A result of either library in terms both share: enumeration members by their strings."""
    if hasattr(value, "stale_reason"):
        return tuple(plain(getattr(value, field)) for field in OUTCOME_FIELDS)
    if isinstance(value, tuple):
        return tuple(map(plain, value))
    return getattr(value, "value", value)


def prepared(lib, cycle):
    namespace = {"lib": lib, "itertools": itertools}
    exec(cycle.setup, namespace)
    return namespace


def agree(cycle):
    answers = []
    for lib in (core, pymodels):
        namespace = prepared(lib, cycle)
        answers.append([plain(eval(expression, namespace)) for expression in cycle.probe])
    assert answers[0] == answers[1], f"{cycle.figure}: module {answers[0]}, model {answers[1]}"


def cases():
    for cycle in CYCLES:
        agree(cycle)
    return [Case(cycle.figure, Timed(cycle.stmt, prepared(core, cycle)), ANCHOR,
                 Timed(cycle.stmt, prepared(pymodels, cycle)), MAX_RATIO) for cycle in CYCLES]
