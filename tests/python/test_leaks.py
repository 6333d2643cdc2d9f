"""Leaks: every path of the catalogue (each callable's successful call and each failing one),
called again and again, must not grow the process's memory, and no call may keep a reference to
anything it was given."""

import array
import ctypes
import gc
import os
import sys
import time

import pytest

from entry_points import CATALOGUE

LONG = os.environ.get("VORN_LONG") == "1"
CALLS = 10**6 if LONG else 10**5  # per path, at most
BUDGET_S = None if LONG else 60.0  # the bounded run's processor time for all paths together
MIN_CALLS = 20_000
ROUND = 250  # calls on one object before a fresh one is made, so a path's own state stays small
LEAK = 16  # bytes per call that must not go unnoticed

PATHS = [(entry, index) for entry in CATALOGUE for index in (None, *range(len(entry.bad)))]
IDS = [f"{e.name}-{'ok' if i is None else f'bad{i}'}" for e, i in PATHS]


class Mallinfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in (
        "arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks",
        "fordblks", "keepcost")]


libc = ctypes.CDLL(None)
libc.mallinfo2.restype = Mallinfo2


def memory():
    """(interpreter blocks, malloc bytes in use, resident bytes).

    Resident memory is the bound that matters, but it moves by pages and allocator arenas, so a
    leak of 16 bytes per call only shows in it after some 10^5 calls. Two exact counters show the
    same leak after a few thousand: sys.getallocatedblocks() counts the blocks the interpreter's
    allocator hands out (every Python object the module forgets to release), and glibc's
    mallinfo2() the bytes malloc hands out (the C++ side's new and std containers)."""
    gc.collect()
    heap = libc.mallinfo2()
    with open("/proc/self/statm") as statm:
        resident = int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    return sys.getallocatedblocks(), heap.uordblks + heap.hblkhd, resident


def path_call(entry, index):
    """One call of the path on a fresh object, and the exception that the path raises."""
    target = entry.target.make() if entry.target else None
    if index is None:
        return entry.bind(target, entry.arguments()), ()
    exception, overrides = entry.bad[index]
    return entry.bind(target, entry.arguments(overrides), assign=True), exception


def run(entry, index, calls):
    for _ in range(calls // ROUND):
        call, expected = path_call(entry, index)
        for _ in range(ROUND):
            try:
                call()
            except expected:
                pass


@pytest.mark.slow
@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the sanitizer's allocator owns the heap: its memory tells nothing")
def test_no_path_grows_memory():
    per_path_s = BUDGET_S / len(PATHS) if BUDGET_S else None
    grown = []
    for (entry, index), name in zip(PATHS, IDS):
        run(entry, index, 2 * ROUND)  # first uses fill the module's caches and the freelists
        start = time.process_time()
        run(entry, index, 2 * ROUND)
        per_call_s = max(time.process_time() - start, 1e-9) / (2 * ROUND)
        calls = CALLS if per_path_s is None else int(per_path_s / per_call_s)
        calls = max(MIN_CALLS, min(CALLS, calls)) // ROUND * ROUND
        blocks, heap, resident = memory()
        run(entry, index, calls)
        blocks, heap, resident = (b - a for a, b in zip((blocks, heap, resident), memory()))
        if blocks > calls // 8 + 64 or heap > LEAK * calls // 2 + 65536 or resident >= 2**20:
            grown.append((name, calls, blocks, heap, resident))
    assert not grown, grown


def reachable(value, found):
    """`value` and everything inside its containers, by id. None and the booleans are left out:
    everything moves their counts (and too many releases of them crash the leak test instead)."""
    if id(value) in found or value is None or isinstance(value, bool):
        return
    found[id(value)] = value
    if isinstance(value, dict):
        for k, v in value.items():
            reachable(k, found)
            reachable(v, found)
    elif isinstance(value, (list, tuple, set, frozenset)):
        for v in value:
            reachable(v, found)


@pytest.mark.parametrize("entry,index", PATHS, ids=IDS)
def test_a_call_gives_back_every_reference_it_took(entry, index):
    target = entry.target.make() if entry.target else None
    kwargs = entry.arguments(None if index is None else entry.bad[index][1])
    call = entry.bind(target, kwargs, assign=index is not None)
    expected = () if index is None else entry.bad[index][0]
    found = {}
    for value in (target, *kwargs.values()):
        reachable(value, found)

    def counts():
        for _ in range(3):
            try:
                call()
            except expected:
                pass
        # Kept as machine integers: a list of small ints would itself hold references to them.
        return array.array("q", map(sys.getrefcount, found.values()))

    gc.disable()  # a collection in between would free garbage that holds shared objects
    try:
        assert counts() == counts()
    finally:
        gc.enable()

