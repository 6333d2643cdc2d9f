"""DecisionRegistry and TurnLedger driven alongside their reference models by random call sequences."""

from itertools import islice
from unittest import mock

from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, rule, run_state_machine_as_test

import vorn_sdk_core as core
from models import decisions_turn as model
from models import machine_settings, outcome, same

ROOMS = (None, "r1", "r2", "k")  # "k" is also a key, and keyed asks never belong to a room
BAD_TEXT, BAD_TICKETS = (1, b"k", "\ud800", None), (-1, 2**64, "0", 1.0, None)
NAMING = ("try_claim", "withdraw", "forget")
REFUSED_CALLS = [("try_claim", (1, -1))] + [  # the token is read first
    *[(name, args) for name in NAMING for args in [(bad, 0) for bad in BAD_TEXT] + [("k", t) for t in BAD_TICKETS]],
    *[(name, (bad,)) for name in ("register_keyed", "unclaimed_in_room", "cancel_room") for bad in BAD_TEXT],
    *[("register_minted", (bad,)) for bad in BAD_TEXT[:-1]]]
registry_arguments = st.fixed_dictionaries({}, optional={
    "max_pending": st.none() | st.integers(1, 4) | st.sampled_from([0, -1, 2**32, 2**63, -(2**63), "2", 1.0, True]),
    "seed": st.none() | st.integers(0, 2**64 - 1) | st.sampled_from([-1, 2**64, -(2**70), "1", 1.5, True])})


class DecisionRegistryMachine(RuleBasedStateMachine):
    @initialize(max_pending=st.integers(1, 4), seed=st.integers(0, 2**64 - 1))
    def build(self, max_pending, seed):
        self.rebuild({"max_pending": max_pending, "seed": seed}, None)

    # `random` is what os.urandom returns; None makes it fail.
    @rule(kwargs=registry_arguments, random=st.binary(min_size=8, max_size=8) | st.none())
    def rebuild(self, kwargs, random):
        with mock.patch("os.urandom", mock.Mock(return_value=random, side_effect=None if random else OSError)):
            got, want = outcome(core.DecisionRegistry, **kwargs), outcome(model.DecisionRegistry, **kwargs)
        assert got[0] == want[0] == "ok" or got == want, f"{kwargs}: module {got!r}, model {want!r}"
        if got[0] == "ok":
            seed = int(int.from_bytes(random, "little") if kwargs.get("seed") is None else kwargs["seed"])
            self.real, self.model, self.handed_out = got[1], want[1], []
            # Keys that the generator is about to mint, so that minting must step over them.
            self.tokens = ["k", "r1", *islice(model.minted_tokens(seed), 3)]

    def registered(self, registration):
        self.handed_out += [registration] if registration else []

    @rule(room_id=st.sampled_from(ROOMS))
    def register_minted(self, room_id):
        self.registered(same(self.real, self.model, "register_minted", room_id=room_id))

    @rule(data=st.data())
    def register_keyed(self, data):
        key = data.draw(st.sampled_from(self.tokens + [token for token, _ in self.handed_out]))
        self.registered(same(self.real, self.model, "register_keyed", key))

    @rule(name=st.sampled_from(NAMING), data=st.data())
    def name_a_registration(self, name, data):
        # Mostly a registration handed out (current or not), else any token with any ticket.
        any_pair = st.tuples(st.sampled_from(self.tokens), st.integers(0, len(self.handed_out)))
        token, ticket = data.draw(st.sampled_from(self.handed_out or [("k", 0)]) | any_pair)
        same(self.real, self.model, name, token=token, ticket=ticket)

    @rule(call=st.sampled_from(REFUSED_CALLS))
    def refused_argument(self, call):
        same(self.real, self.model, call[0], *call[1])

    @rule()
    def evict_oldest(self):
        same(self.real, self.model, "evict_oldest")

    @rule(room_id=st.sampled_from(ROOMS))
    def cancel(self, room_id):
        args = ("cancel_all",) if room_id is None else ("cancel_room", room_id)
        got, want = (getattr(registry, args[0])(*args[1:]) for registry in (self.real, self.model))
        assert type(got) is core.CancelledDecisions and got.unclaimed is not got.unclaimed
        assert (got.unclaimed, got.claimed) == want

    @invariant()
    def views_agree(self):
        for name in ("unclaimed", "unclaimed_count", "oldest_unclaimed"):
            same(self.real, self.model, name)
        for room_id in ROOMS[1:]:
            same(self.real, self.model, "unclaimed_in_room", room_id)
        assert self.real.max_pending == self.model.max_pending


class TurnLedgerMachine(RuleBasedStateMachine):
    def __init__(self):
        super().__init__()
        self.real, self.model = core.TurnLedger(), model.TurnLedger()

    @rule(effect=st.sampled_from([*(getattr(core.TurnEffect, m) for m in ("Observe", "Act", "Reply", "Decline")),
                                  "reply", 2, None, core.TurnVerdict.Complete]))
    def record(self, effect):
        same(self.real, self.model, "record", effect=effect)

    @rule(name=st.sampled_from(["settle", "note_reported"]))
    def settle(self, name):
        same(self.real, self.model, name)

    @invariant()
    def verdict_agrees(self):
        same(self.real, self.model, "verdict")
        same(self.real, self.model, "reply_settled")


# Plain test functions rather than the machines' unittest cases, which newer interpreters' unittest
# warns about under this pytest.
def test_decision_registry_agrees_with_its_model():
    run_state_machine_as_test(DecisionRegistryMachine, settings=machine_settings(bounded=300))


def test_turn_ledger_agrees_with_its_model():
    run_state_machine_as_test(TurnLedgerMachine, settings=machine_settings(bounded=60, steps=12))
