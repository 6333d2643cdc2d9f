"""The two forms of a replay's output: a readable timeline with one line per fact and a summary, or
one JSON object per decision for machines."""

from __future__ import annotations

import json

import vorn_sdk_core as core

# The result objects that have no dict form of their own, with the attributes that make one.
RESULT_ATTRIBUTES = (
    (core.SessionOutcome, ("state", "retry_after_s", "dead_reason", "stale_reason")),
    (core.RoomReconciliation, ("removed", "admitting", "resync")),
    (core.CancelledDecisions, ("unclaimed", "claimed")),
)


def plain(value):
    """A module result as JSON data; enumeration members become their strings."""
    if value is None or isinstance(value, (bool, int, float, str)):
        return value
    if isinstance(value, dict):
        return {key: plain(item) for key, item in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(item) for item in value]
    for kind, attributes in RESULT_ATTRIBUTES:
        if isinstance(value, kind):
            return {name: plain(getattr(value, name)) for name in attributes}
    return str(value)


def summary_lines(summary: dict) -> list[str]:
    skipped = ", ".join(f"{reason} {count}" for reason, count in summary["skipped"].items())
    writes = ", ".join(f"{count} {kind}" for kind, count in summary["writes"].items())
    lines = [
        f"summary: facts {summary['facts']}, malformed {summary['malformed']}",
        f"  messages run: {summary['messages_run']} ({summary['retries']} of them retries)",
        f"  skipped: {sum(summary['skipped'].values())}" + (f" ({skipped})" if skipped else ""),
        f"  reconnects: {summary['reconnects']}, {summary['cooling_down_s']:g} s spent cooling down"
        + (f"; session dead ({summary['dead']})" if summary["dead"] else ""),
        f"  durable writes: {writes or 'none'}",
    ]
    if summary["turns_open"]:
        lines.append(f"  turns still running: {', '.join(summary['turns_open'])}")
    for room, owed in summary["writes_owed"].items():
        lines.append(f"  writes still owed in {room}: {', '.join(owed)}")
    return lines


class TextTimeline:
    def __init__(self, out):
        self.out = out

    def fact(self, fact, decisions, complete=True):
        notes = [note for _, _, note in decisions if note]
        if not notes and not complete:
            return
        when = "" if fact.t is None else f"{fact.t:.3f}"
        print(f"{fact.line:>4} {when:>9}  {fact.label():<40} {'; '.join(notes) or '-'}", file=self.out)

    def malformed(self, line, reason):
        print(f"{line:>4}  malformed line: {reason}", file=self.out)

    def summary(self, summary):
        print(file=self.out)
        for line in summary_lines(summary):
            print(line, file=self.out)


class JsonDecisions:
    def __init__(self, out):
        self.out = out

    def emit(self, record):
        print(json.dumps(record), file=self.out)

    def fact(self, fact, decisions, complete=True):
        for call, result, _ in decisions:
            self.emit({"line": fact.line, "t": fact.t, "fact": fact.kind, "call": call, "result": plain(result)})

    def malformed(self, line, reason):
        self.emit({"line": line, "malformed": reason})

    def summary(self, summary):
        self.emit({"summary": summary})
