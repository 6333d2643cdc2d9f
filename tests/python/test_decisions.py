"""is_authorized_sender; DecisionRegistry is compared with a reference model in
test_decisions_turn_model.py, its access rule in test_hostile_inputs.py."""

import pytest

import vorn_sdk_core as core


@pytest.mark.parametrize("senders,sender,expected", [
    (None, None, True), (None, "anyone", True), (set(), "a", False), (frozenset(), None, False),
    ({"a", "b"}, "a", True), (frozenset({"a"}), "A", False), ({"a"}, None, False), ({"é"}, "é", True),
    (["a"], "a", TypeError), ({"a": 1}, "a", TypeError), ({"a", 1}, "a", TypeError),
    ({"a"}, 1, TypeError), (None, 1, TypeError),
])
def test_is_authorized_sender(senders, sender, expected):
    if expected is TypeError:
        with pytest.raises(TypeError):
            core.is_authorized_sender(senders, sender)
    else:
        assert core.is_authorized_sender(senders, sender) is expected
