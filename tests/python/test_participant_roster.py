"""ParticipantRoster's quoted messages, a provider that re-enters the roster, and garbage collection
of a provider cycle; its calls are compared with a reference model in
test_subscription_rosters_model.py."""

import gc
import weakref

import pytest

import vorn_sdk_core as core


@pytest.mark.parametrize("participant,message", [
    ([("id", "a")], "participant must be a mapping"),
    ({"id": 5}, "participant field `id` must be a string"),
    ({"id": "a", "handle": 3}, "participant field `handle` must be a string or None"),
])
def test_malformed_participants(participant, message):
    with pytest.raises(TypeError, match=f"^{message}$"):
        core.ParticipantRoster().add(participant)


def test_every_repeated_id_is_an_issue():
    with pytest.raises(ValueError) as info:
        core.ParticipantRoster().set_all([{"id": i} for i in "ABAA"], "t")
    assert str(info.value) == (
        "2 validation issue(s): duplicate participant id `A` in set_all snapshot (participants[2].id)")
    assert info.value.issues == tuple(
        (f"participants[{i}].id", "invalid_value", "duplicate participant id `A` in set_all snapshot")
        for i in (2, 3))
    assert info.value.trace_context == "t"


def test_provider_runs_whenever_no_context_is_given_and_may_not_reenter():
    calls = []

    def provider():
        calls.append(None)
        roster.list()  # refused while set_all holds the roster; the error is discarded
        return "unreachable"

    roster = core.ParticipantRoster(trace_context_provider=provider)
    roster.set_all([{"id": "a"}])
    with pytest.raises(ValueError) as info:
        roster.set_all([{"id": "a"}, {"id": "a"}])
    assert info.value.trace_context is None
    roster.set_all([{"id": "b"}], "explicit")
    assert len(calls) == 2 and [p["id"] for p in roster.list()] == ["b"]


def test_provider_cycle_is_collected():
    class Provider:
        def __call__(self):
            return "t"

    provider = Provider()
    with pytest.raises(TypeError):
        core.ParticipantRoster(provider)  # keyword-only
    roster = core.ParticipantRoster(trace_context_provider=provider)
    provider.roster = roster
    assert provider in gc.get_referents(roster)
    ref = weakref.ref(provider)
    del provider, roster
    gc.collect()
    assert ref() is None


@pytest.mark.parametrize("signal", [KeyboardInterrupt, SystemExit])
def test_an_interrupt_inside_the_provider_is_not_swallowed(signal):
    def provider():
        raise signal

    roster = core.ParticipantRoster(trace_context_provider=provider)
    with pytest.raises(signal):
        roster.set_all([{"id": "a"}])
    assert roster.list() == []
