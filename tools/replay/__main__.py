"""Replays a JSON Lines trace of host facts through vorn_sdk_core and prints what it decided.

    python3 tools/replay [--json] TRACE.jsonl      (TRACE may be - for standard input)

Exit status: 0 when every line was replayed, 1 when a line was malformed (the replay goes on past
it), 2 when the trace or the module cannot be loaded.
"""

import argparse
import os
import sys


def main() -> int:
    parser = argparse.ArgumentParser(prog="replay", description=__doc__.splitlines()[0])
    parser.add_argument("trace", help="a JSON Lines trace, or - for standard input")
    parser.add_argument("--json", action="store_true", help="one JSON object per decision")
    args = parser.parse_args()
    # Run as `python3 tools/replay`: the package is this directory, found from its parent.
    sys.path[0] = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    try:
        from replay.render import JsonDecisions, TextTimeline
        from replay.runner import replay
    except ImportError as error:
        print(f"replay: {error}; build the module (scripts/demo does) and put its build directory "
              "on PYTHONPATH", file=sys.stderr)
        return 2
    try:
        trace = sys.stdin.buffer if args.trace == "-" else open(args.trace, "rb")
    except OSError as error:
        print(f"replay: {error}", file=sys.stderr)
        return 2
    output = JsonDecisions(sys.stdout) if args.json else TextTimeline(sys.stdout)
    with trace:
        malformed = replay(trace, output)
    return 1 if malformed else 0


if __name__ == "__main__":
    sys.exit(main())
