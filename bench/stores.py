"""One store size per process: a ClaimRegistry and its pure-Python model each holding N completed
message ids in full rooms, `guarded_claim` timed on stored keys in random order, and the heap each
store takes per id (the C heap for the module, traced Python allocations for the model).

Run: PYTHONPATH=build python3 bench/stores.py N [--quick]; prints one JSON object."""

import ctypes
import itertools
import json
import os
import random
import sys
import tracemalloc

import pymodels
import vorn_sdk_core as core
from timing import FULL, QUICK, Timed, best_ns

ROOM_SIZE = 1000  # ids per room, and each room's bound
TIMED_KEYS = 10_000


class MallInfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in ("arena", "ordblks", "smblks", "hblks",
                                                     "hblkhd", "usmblks", "fsmblks", "uordblks",
                                                     "fordblks", "keepcost")]


def c_heap_bytes():
    """Bytes in use on the C heap; the resident set where the C library cannot say."""
    try:
        mallinfo2 = ctypes.CDLL(None).mallinfo2
    except AttributeError:
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    mallinfo2.restype = MallInfo2
    info = mallinfo2()
    return info.uordblks + info.hblkhd


def key(i):
    """A room id and a message id shaped like the platform's (a UUID)."""
    return f"room-{i // ROOM_SIZE:06d}", f"{i:08x}-7e3a-4c1b-9f2d-{i * 2654435761 % 2**48:012x}"


def filled(lib, size):
    registry = lib.ClaimRegistry(max_completed=ROOM_SIZE)
    for i in range(size):
        registry.remember_completed(*key(i))
    return registry


def module_store(size):
    before = c_heap_bytes()
    registry = filled(core, size)
    return registry, c_heap_bytes() - before


def model_store(size):
    tracemalloc.start()
    registry = filled(pymodels, size)
    used = tracemalloc.get_traced_memory()[0]
    tracemalloc.stop()
    return registry, used


def timed(registry, lib, size):
    """guarded_claim on stored keys, fresh `str` objects as the host would pass, in random order."""
    indices = random.Random(1).sample(range(size), min(size, TIMED_KEYS))
    namespace = {"registry": registry, "tracker": lib.RetryTracker(),
                 "keys": itertools.cycle([key(i) for i in indices])}
    assert registry.guarded_claim(*key(indices[0]), namespace["tracker"]) == "completed"
    return Timed("room, message = next(keys); registry.guarded_claim(room, message, tracker)",
                 namespace)


def main():
    size, mode = int(sys.argv[1]), QUICK if "--quick" in sys.argv[2:] else FULL
    module, module_bytes = module_store(size)
    model, model_bytes = model_store(size)
    module_ns, model_ns = best_ns([timed(module, core, size), timed(model, pymodels, size)], mode)
    print(json.dumps({"module_ns": module_ns, "model_ns": model_ns,
                      "module_bytes_per_id": module_bytes / size,
                      "model_bytes_per_id": model_bytes / size}))


if __name__ == "__main__":
    main()
