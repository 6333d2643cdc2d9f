"""Connection facts: attempts, connects, closes, rejections and supersedes through the Session, and
what the host does with each outcome: rejoin, wait, or shut down."""

from __future__ import annotations

import vorn_sdk_core as core

from .channels import begin_leave, join_agent_topics, rejoin
from .facts import Malformed
from .world import DEFAULT_JITTER


def attempt(w, fact):
    epoch = w.session.begin_attempt(fact.t)
    w.decide("Session.begin_attempt", epoch, "refused: the session is over" if epoch is None
             else f"epoch {epoch}")
    if epoch is not None:
        w.epoch = epoch


def epoch_of(w, fact) -> int:
    epoch = fact.get("epoch", w.epoch)
    if epoch is None:
        raise Malformed("no connection attempt was begun; give `epoch`")
    return epoch


def connected(w, fact):
    settle(w, "Session.on_connected", w.session.on_connected(epoch_of(w, fact), fact.t))


def close(w, fact):
    code = fact.get("code")
    terminal, _ = core.classify_close(code)
    w.decide("classify_close", (terminal, None), "terminal close" if terminal else None)
    outcome = w.session.on_socket_close(epoch_of(w, fact), fact.t, code,
                                        fact.get("jitter", DEFAULT_JITTER))
    settle(w, "Session.on_socket_close", outcome)


def upgrade_rejected(w, fact):
    terminal, _ = core.classify_upgrade(fact["status"])
    w.decide("classify_upgrade", (terminal, None), "terminal status" if terminal else None)
    outcome = w.session.on_upgrade_rejected(epoch_of(w, fact), fact.t, fact["status"],
                                            fact.get("retry_after"), fact.get("jitter", DEFAULT_JITTER))
    settle(w, "Session.on_upgrade_rejected", outcome)


def supersede(w, fact, payload):
    retry_after = payload.get("retry_after")
    if retry_after is not None and retry_after < 0:
        # Validation keeps a negative whole hint, which the session refuses: without this the
        # supersede itself would be lost. A negative wait means no wait was asked for.
        w.decide("host.ignore_retry_after", retry_after, f"retry_after {retry_after} taken as none")
        retry_after = None
    outcome = w.session.on_supersede(fact.t, payload["retryable"],
                                     None if retry_after is None else float(retry_after),
                                     fact.get("jitter", DEFAULT_JITTER))
    settle(w, "Session.on_supersede", outcome)


def settle(w, call, outcome):
    """Records a session outcome and does what the host does next: rejoin, wait, or shut down."""
    if outcome.stale_reason is not None:
        w.decide(call, outcome, f"stale ({outcome.stale_reason})")
    elif outcome.state == core.SessionState.Dead:
        w.decide(call, outcome, f"dead ({outcome.dead_reason})")
        if w.tally.dead is None:
            w.tally.dead = str(outcome.dead_reason)
            shut_down(w)
    elif outcome.retry_after_s is not None:
        w.tally.reconnects += 1
        w.tally.cooling_down_s += outcome.retry_after_s
        w.decide(call, outcome, f"{outcome.state}, retry in {outcome.retry_after_s:g} s")
    else:
        w.decide(call, outcome, "up")
        if w.ever_up:
            rejoin(w)
        w.ever_up = True
        join_agent_topics(w)


def shut_down(w):
    """The session is dead: its channels went with it."""
    w.subscriptions.end_session()
    w.decide("SubscriptionTracker.end_session", None)
    forget_rooms_and_asks(w)


def forget_rooms_and_asks(w):
    """Admitted rooms and pending asks do not outlive the session."""
    dropped = w.rooms.clear()
    w.decide("RoomRoster.clear", dropped, f"rooms dropped: {', '.join(dropped) or 'none'}")
    cancelled = w.asks.cancel_all()
    w.decide("DecisionRegistry.cancel_all", cancelled, cancelled_note(cancelled))


def cancelled_note(cancelled) -> str | None:
    parts = [f"{label} asks cancelled: {', '.join(tokens)}"
             for label, tokens in (("unclaimed", cancelled.unclaimed), ("claimed", cancelled.claimed))
             if tokens]
    return "; ".join(parts) or None


def end(w, fact):
    """The host stops: the session ends, every channel is left, every ask is cancelled."""
    w.decide("Session.end", w.session.end(), "session ended")
    topics = w.subscriptions.joined_agent_topics()
    w.decide("SubscriptionTracker.joined_agent_topics", topics)
    for topic in topics:
        begin_leave(w, "topic", topic)
    rooms = w.subscriptions.subscribed_room_ids()
    w.decide("SubscriptionTracker.subscribed_room_ids", rooms)
    for room in rooms:
        begin_leave(w, "room", room)
    forget_rooms_and_asks(w)


