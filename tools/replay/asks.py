"""Ask facts: questions the agent put to a chat, registered in the DecisionRegistry, and the answers
and withdrawals that name them. A trace names each ask; the replay keeps its token and ticket."""

from __future__ import annotations

import vorn_sdk_core as core

from .facts import Malformed

CLAIM_NOTES = {"claimed": "answer taken", "already_claimed": "already answered", "stale": "no longer open"}


def ask_name(fact) -> str:
    return fact["ask"] if "ask" in fact.fields else fact["key"]


def handle(w, fact):
    name = ask_name(fact)
    if name not in w.ask_handles:
        raise Malformed(f"no ask `{name}` was registered")
    return w.ask_handles[name]


def ask(w, fact):
    if "key" in fact.fields and "room" in fact.fields:
        raise Malformed("an ask under a `key` belongs to no room")
    evicted = w.asks.evict_oldest()
    w.decide("DecisionRegistry.evict_oldest", evicted, None if evicted is None else f"ask {evicted} evicted")
    name = ask_name(fact)
    if "key" in fact.fields:
        call, registered = "register_keyed", w.asks.register_keyed(name)
    else:
        call, registered = "register_minted", w.asks.register_minted(fact.get("room"))
    if registered is None:
        note = "not registered: it was answered already"
    else:
        w.ask_handles[name] = registered
        token, ticket = registered
        note = f"token {token} #{ticket}"
    w.decide(f"DecisionRegistry.{call}", registered, note)


def answer(w, fact):
    token, ticket = handle(w, fact)
    sender = fact["sender"]
    authorized = core.is_authorized_sender(w.authorized_senders, sender)
    w.decide("is_authorized_sender", authorized, None if authorized else f"{sender} may not answer")
    if authorized:
        outcome = w.asks.try_claim(token, ticket)
        w.decide("DecisionRegistry.try_claim", outcome, CLAIM_NOTES[outcome.value])


def withdraw(w, fact):
    token, ticket = handle(w, fact)
    withdrawn = w.asks.withdraw(token, ticket)
    w.decide("DecisionRegistry.withdraw", withdrawn, "withdrawn" if withdrawn else None)
    if not withdrawn:
        # An answered ask is its claimant's to forget.
        forgotten = w.asks.forget(token, ticket)
        w.decide("DecisionRegistry.forget", forgotten, "answered, now forgotten" if forgotten else "no longer open")
