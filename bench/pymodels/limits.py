"""Widths of the counters the rules saturate or stop at."""

U32_MAX = 2**32 - 1
U64_MAX = 2**64 - 1
