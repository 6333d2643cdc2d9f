"""Prints one table: each figure of the module beside its anchor, measured in the same process
(stores and import each in fresh processes), their ratio and the target.

Run: scripts/bench [--quick]"""

import json
import os
import platform
import subprocess
import sys
from pathlib import Path

import events
import floor
import stateful
from table import Row, render
from timing import FULL, QUICK, measure

HERE = Path(__file__).resolve().parent
STORE_MAX_RATIO = 0.5  # at 10^6 stored ids, for time and for memory
IMPORT_LIMIT_MS = 2.0
IMPORT_PROBE = "import time; t = time.process_time(); import vorn_sdk_core; print(time.process_time() - t)"


def pydantic_adapters():
    """The event anchors and the words that name them, or None and why they are missing."""
    try:
        import pydantic
        from anchors_events import ADAPTERS
    except ImportError as error:
        return None, f"no event anchors: this interpreter cannot import pydantic ({error})"
    return ADAPTERS, f"pydantic {pydantic.VERSION}"


def fresh_process(*args):
    return subprocess.run([sys.executable, *args], check=True, stdout=subprocess.PIPE,
                          text=True).stdout


def store_rows(mode):
    rows = []
    for size in mode.store_sizes:
        quick = ["--quick"] if mode is QUICK else []
        runs = [json.loads(fresh_process(str(HERE / "stores.py"), str(size), *quick))
                for _ in range(mode.store_runs)]
        figures = {name: min(run[name] for run in runs) for name in runs[0]}
        label, bound = f"10^{len(str(size)) - 1}", STORE_MAX_RATIO if size == 10**6 else None
        rows += [Row(f"guarded_claim on {label} stored ids", figures["module_ns"], "ns",
                     stateful.ANCHOR, figures["model_ns"], bound),
                 Row(f"heap per stored id, {label} ids", figures["module_bytes_per_id"], "B/id",
                     stateful.ANCHOR, figures["model_bytes_per_id"], bound)]
    return rows


def import_row(mode):
    best = min(float(fresh_process("-c", IMPORT_PROBE)) for _ in range(mode.import_runs))
    return Row("import vorn_sdk_core", best * 1e3, "ms", "fresh process, best CPU time",
               limit=IMPORT_LIMIT_MS)


def main():
    mode = QUICK if sys.argv[1:] == ["--quick"] else FULL
    adapters, anchors_line = pydantic_adapters()
    print(f"{'quick' if mode is QUICK else 'full'} run on Python {platform.python_version()} "
          f"({sys.executable}), {anchors_line}; "
          f"load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores.")
    print(f"Best of {mode.repeats} interleaved repeats of CPU time; "
          "ratio = module / anchor, below 1 is faster.\n")
    rows = measure(events.cases(adapters) + stateful.cases() + floor.cases(), mode)
    print(render(rows + store_rows(mode) + [import_row(mode)]))


if __name__ == "__main__":
    main()
