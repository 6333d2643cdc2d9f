"""The table: each figure beside its anchor, their ratio, the target and whether it is met."""

from dataclasses import dataclass
from typing import Optional

UNITS = {"ns": "{:,.0f} ns", "B/id": "{:,.0f} B/id", "ms": "{:.2f} ms"}


@dataclass(frozen=True)
class Row:
    figure: str
    value: float
    unit: str
    anchor: str = "—"
    anchor_value: Optional[float] = None
    max_ratio: Optional[float] = None  # the target as a bound on value / anchor_value
    limit: Optional[float] = None  # the target as a bound on the value itself

    @property
    def ratio(self):
        return None if self.anchor_value is None else self.value / self.anchor_value

    def target_cells(self, show):
        if self.limit is not None:
            return f"≤ {show(self.limit)}", "yes" if self.value <= self.limit else "no"
        if self.max_ratio is None:
            return "—", "—"
        met = "—" if self.ratio is None else "yes" if self.ratio <= self.max_ratio else "no"
        return f"≤ {self.max_ratio:g}×", met

    def cells(self):
        show = UNITS[self.unit].format
        return [self.figure, show(self.value), self.anchor,
                "—" if self.anchor_value is None else show(self.anchor_value),
                "—" if self.ratio is None else f"{self.ratio:.2f}×", *self.target_cells(show)]


HEADER = ["figure", "module", "anchor", "anchor's", "ratio", "target", "met?"]


def render(rows):
    lines = [HEADER, ["---"] * len(HEADER)] + [row.cells() for row in rows]
    return "\n".join("| " + " | ".join(cells) + " |" for cells in lines)
