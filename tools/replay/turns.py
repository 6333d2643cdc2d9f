"""Turn facts: tool calls counted in the TurnLedger, and the adapter's outcome turned into a
settlement that the host owes the platform."""

from __future__ import annotations

import vorn_sdk_core as core

from .facts import Malformed
from .world import REFUSED

DEFAULT_ERROR = "the agent failed"


def tool(w, fact):
    _, ledger = w.turn(fact)
    name = fact["name"]
    effect = w.tool_effects.get(name)
    if effect is None:
        raise Malformed(f"unknown tool `{name}`")
    ledger.record(effect)
    w.decide("TurnLedger.record", effect, f"{name}: {effect}")


def adapter(w, fact):
    key, ledger = w.turn(fact)
    room, message = key
    succeeded = fact["ok"]
    decision = core.evaluate_adapter_result(room, message, succeeded)
    w.decide("evaluate_adapter_result", decision, decision["decision"])
    del w.turns[key]
    if succeeded:
        judge(w, ledger)
        call = "ClaimRegistry.record_processed_settlement"
        settlement = w.refusable(call, w.claims.record_processed_settlement, room, message,
                                 trace_context=w.trace_context)
    else:
        # The failure is the turn's outcome: no missing-reply notice for it.
        ledger.settle()
        w.decide("TurnLedger.settle", None)
        call = "ClaimRegistry.record_failed_settlement"
        settlement = w.refusable(call, w.claims.record_failed_settlement, room, message,
                                 fact.get("error", DEFAULT_ERROR), w.retries, fact.get("retry", True),
                                 trace_context=w.trace_context)
    if settlement is not REFUSED:
        w.decide(call, settlement, settlement_note(settlement))
    w.claims.release(room, message)
    w.decide("ClaimRegistry.release", None)


def judge(w, ledger):
    verdict = ledger.verdict()
    if verdict == core.TurnVerdict.MissingReply:
        w.decide("TurnLedger.verdict", verdict, "no reply: the missing-reply notice is posted")
        w.decide("missing_reply_message", core.missing_reply_message())
        ledger.note_reported()
        w.decide("TurnLedger.note_reported", None)
        return
    w.decide("TurnLedger.verdict", verdict)
    replied = ledger.reply_settled()
    w.decide("TurnLedger.reply_settled", replied, "reply settled" if replied else "acted, no reply")


def settlement_note(settlement) -> str:
    continuation = settlement["continuation"]
    if continuation["kind"] == "retry":
        then = f"then a retry ({continuation['attempts']} of {continuation['max_retries']} attempts used)"
    else:
        then = "then done"
    return f"owes {settlement['status']} write #{settlement['token']}, {then}"
