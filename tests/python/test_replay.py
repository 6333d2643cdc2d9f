"""tools/replay: every sample trace replays to its golden output in both forms, byte for byte, and
reaches every operation of the stateful classes; faulty lines are reported and skipped."""

import json
import os
import pathlib
import subprocess
import sys

import pytest

import vorn_sdk_core as core

ROOT = pathlib.Path(__file__).resolve().parents[2]
TRACES = sorted((ROOT / "examples" / "traces").glob("*.jsonl"))
GOLDEN = ROOT / "tests" / "golden"
# VORN_UPDATE_GOLDEN=1 rewrites the golden files from the tool's output instead of comparing.
UPDATE = os.environ.get("VORN_UPDATE_GOLDEN") == "1"
STATEFUL = (core.Session, core.SessionPolicy, core.SubscriptionTracker, core.ClaimRegistry, core.RetryTracker,
            core.RoomRoster, core.ParticipantRoster, core.DecisionRegistry, core.TurnLedger)


def replay(*args, stdin=None):
    env = {**os.environ, "PYTHONPATH": os.path.dirname(core.__file__)}
    return subprocess.run([sys.executable, str(ROOT / "tools" / "replay"), *args], input=stdin,
                          capture_output=True, env=env, check=False)


@pytest.mark.parametrize("trace", TRACES, ids=lambda path: path.stem)
@pytest.mark.parametrize("form,suffix", [((), ".txt"), (("--json",), ".jsonl")], ids=["text", "json"])
def test_sample_trace_replays_to_its_golden_output(trace, form, suffix):
    result = replay(*form, str(trace))
    assert (result.returncode, result.stderr) == (0, b"")
    golden = GOLDEN / f"{trace.stem}{suffix}"
    if UPDATE:
        golden.write_bytes(result.stdout)
    assert result.stdout == golden.read_bytes()


def test_samples_reach_every_operation_of_the_stateful_classes():
    assert len(TRACES) == 5
    calls = {json.loads(line).get("call") for trace in TRACES
             for line in (GOLDEN / f"{trace.stem}.jsonl").read_text().splitlines()}
    operations = {f"{cls.__name__}.{name}" for cls in STATEFUL for name in dir(cls) if not name.startswith("_")}
    assert operations - calls == set()


FAULTY_TRACE = [
    (b'{"fact": "attempt", "t": 0}', None),
    (b"not json", "not JSON: Expecting value at column 1"),
    (b"[1, 2]", "a fact must be a JSON object"),
    (b'{"t": 1}', "`fact` is missing"),
    (b'{"fact": "teleport", "t": 1}', "unknown fact `teleport`"),
    (b'{"fact": "attempt"}', "`t` must be a finite, non-negative number of seconds"),
    (b'{"fact": "close", "t": 2, "code": "1006"}', "`code` must be an integer"),
    (b'{"fact": "close", "t": 2, "jiter": 0.5}', "unknown field `jiter` for `close`"),
    (b'{"fact": "write", "t": 2, "room": "r", "message": "m", "outcome": "lost"}',
     "`outcome` must be one of: confirmed, error, not_found, rejected"),
    (b'{"fact": "leave", "t": 2, "room": "r", "topic": "agent_rooms", "outcome": "left"}',
     "`leave` needs exactly one of `room`, `topic`"),
    (b'{"fact": "config"}', "`config` must be the first fact"),
    (b"\xff\xfe", "not UTF-8 text"),
    (b'{"fact": "close", "t": 2, "jitter": 1.5}',
     "`jitter_sample` must be a finite number between 0.0 and 1.0, got 1.5"),
    (b'{"fact": "tool", "t": 3, "room": "r", "message": "m", "name": "vorn_send_message"}',
     "no turn is running for message `m` in room `r`"),
    (b'{"fact": "answer", "t": 3, "ask": "q", "sender": null}', "no ask `q` was registered"),
    (b'{"fact": "ask", "t": 3, "key": "q", "room": "r"}', "an ask under a `key` belongs to no room"),
    # A negative retry hint passes validation; the supersede still reaches the session.
    (b'{"fact": "event", "t": 4, "type": "supersede", "payload": {"reason": "r", "message": "m", '
     b'"correlation_id": null, "retryable": true, "retry_after": -5}}', None),
    (b"", None),
    (b'{"fact": "attempt", "t": 5}', None),
]


def test_faulty_lines_are_reported_by_number_and_the_replay_goes_on():
    result = replay("-", stdin=b"\n".join(line for line, _ in FAULTY_TRACE) + b"\n")
    assert result.returncode == 1
    lines = result.stdout.decode().splitlines()
    reported = [line.split("  malformed line: ") for line in lines if "malformed line:" in line]
    expected = [[f"{number:>4}", reason] for number, (_, reason) in enumerate(FAULTY_TRACE, start=1) if reason]
    assert reported == expected
    assert "retry_after -5 taken as none; connecting, retry in 1 s" in lines[len(expected) + 1]
    assert lines[len(expected) + 2].split()[:4] == ["19", "5.000", "attempt", "epoch"]
    assert "summary: facts 18, malformed 15" in lines


def test_unreadable_trace_or_module_exits_2(tmp_path):
    assert replay(str(tmp_path / "missing.jsonl")).returncode == 2
    env = {**os.environ, "PYTHONPATH": str(tmp_path)}
    result = subprocess.run([sys.executable, str(ROOT / "tools" / "replay"), str(TRACES[0])],
                            capture_output=True, env=env, check=False)
    assert result.returncode == 2 and b"vorn_sdk_core" in result.stderr


def test_readme_shows_the_first_lines_of_a_sample():
    first_lines = (GOLDEN / "ordinary_day.txt").read_text().splitlines()[:22]
    assert "\n".join(first_lines) in (ROOT / "README.md").read_text()
