"""Interleaved timing: a figure and its anchor take turns, repeat after repeat, so that a busy
machine slows both alike; the best repeat of each counts. Time is the process's CPU time: on a
shared machine wall time mostly measures how long other processes held the cores."""

import math
import time
import timeit
from dataclasses import dataclass
from typing import Optional

from table import Row


@dataclass(frozen=True)
class Mode:
    repeats: int
    sample_s: float  # one repeat of one statement lasts about this long
    store_sizes: tuple
    store_runs: int  # fresh processes per store size; where the heap lands varies between them
    import_runs: int


FULL = Mode(repeats=100, sample_s=0.0005, store_sizes=(10**3, 10**5, 10**6), store_runs=3,
            import_runs=20)
QUICK = Mode(repeats=5, sample_s=0.0005, store_sizes=(10**3,), store_runs=1, import_runs=5)


@dataclass(frozen=True)
class Timed:
    """A statement run in its own globals; its names are looked up there."""

    stmt: str
    namespace: dict


def calibrate(timer, seconds):
    number = 1
    while (elapsed := timer.timeit(number)) < seconds:
        number = max(number * 2, math.ceil(number * seconds / max(elapsed, 1e-9)))
    return number


def best_ns(statements, mode):
    """Nanoseconds per run of each statement: the best of `mode.repeats`, taken in turns."""
    timers = [timeit.Timer(s.stmt, time.process_time, globals=s.namespace) for s in statements]
    numbers = [calibrate(timer, mode.sample_s) for timer in timers]
    best = [math.inf] * len(timers)
    for _ in range(mode.repeats):
        for i, (timer, number) in enumerate(zip(timers, numbers)):
            best[i] = min(best[i], timer.timeit(number) / number)
    return [seconds * 1e9 for seconds in best]


@dataclass(frozen=True)
class Case:
    figure: str
    timed: Timed
    anchor: str
    anchor_timed: Optional[Timed]  # None when the anchor cannot run here
    max_ratio: Optional[float]  # the target: the largest acceptable figure / anchor


def measure(cases, mode):
    """One table row per case, the figure and its anchor timed in turns."""
    rows = []
    for case in cases:
        if case.anchor_timed is None:
            (value,), anchor_value = best_ns([case.timed], mode), None
        else:
            value, anchor_value = best_ns([case.timed, case.anchor_timed], mode)
        rows.append(Row(case.figure, value, "ns", case.anchor, anchor_value, case.max_ratio))
    return rows
