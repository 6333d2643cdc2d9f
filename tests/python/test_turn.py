"""TurnLedger and the tool catalogue functions."""

import pytest

import vorn_sdk_core as core

E = core.TurnEffect
V = core.TurnVerdict

NO_REPLY_DESCRIPTION = (
    "End this turn without posting anything to the room.\n\n"
    "Consider every current input message together, in context. Call this instead of "
    "vorn_send_message only when the turn as a whole needs no answer from you: the inputs were "
    "addressed to someone else, are FYIs or acknowledgements, or another participant already "
    "answered them. An FYI or acknowledgement does not cancel another input's outstanding "
    "request, and a correction or cancellation is read in context. It ends the whole turn, never "
    "just one input, and is not called after you have sent a reply. A single reply may address "
    "several inputs. It is a complete turn, not an error; do not also send a message.")

CATALOGUE = (
    "get_participants lookup_peers list_contacts list_contact_requests list_memories get_memory "
    "list_room_files read_room_file list_tasks get_task get_task_history get_board send_event",
    "add_participant remove_participant create_chatroom add_contact remove_contact "
    "respond_contact_request store_memory supersede_memory archive_memory create_task update_task "
    "set_board",
    "send_message send_room_file",
    "no_reply",
)


@pytest.mark.parametrize("steps,verdict,reply_settled", [
    ([], V.MissingReply, False),
    ([E.Observe, E.Observe], V.MissingReply, False),
    ([E.Act], V.Complete, False),
    ([E.Reply], V.Complete, True),
    ([E.Decline, E.Observe], V.Complete, True),
    ([E.Act, E.Observe, E.Reply], V.Complete, True),
    (["settle"], V.Complete, False),
    (["note_reported", E.Observe], V.Complete, False),
])
def test_ledger_verdicts(steps, verdict, reply_settled):
    ledger = core.TurnLedger()
    for step in steps:
        if isinstance(step, str):
            assert getattr(ledger, step)() is None
        else:
            assert ledger.record(step) is None
    assert ledger.verdict() is verdict
    assert ledger.reply_settled() is reply_settled


@pytest.mark.parametrize("value", ["reply", 2, core.TurnVerdict.Complete, None])
def test_record_takes_only_turn_effects(value):
    ledger = core.TurnLedger()
    with pytest.raises(TypeError, match="effect"):
        ledger.record(value)
    assert ledger.verdict() is V.MissingReply


def test_tool_effects_are_the_whole_catalogue_in_order():
    effects = core.vorn_tool_effects()
    expected = [("vorn_" + name, effect)
                for names, effect in zip(CATALOGUE, [E.Observe, E.Act, E.Reply, E.Decline])
                for name in names.split()]
    assert len(effects) == 28
    assert list(effects) == [name for name, _ in expected]
    assert all(effects[name] is effect for name, effect in expected)
    assert core.vorn_tool_effects() is not effects


def test_no_reply_tool():
    tool = core.no_reply_tool()
    assert tool == {
        "name": "vorn_no_reply",
        "description": NO_REPLY_DESCRIPTION,
        "parameters": [{
            "name": "reason",
            "description": "Short note on why no reply is needed (kept in local logs only)",
            "required": False,
        }],
    }
    assert list(tool) == ["name", "description", "parameters"]
    assert list(tool["parameters"][0]) == ["name", "description", "required"]
    assert len(tool["description"]) == 658
    tool["parameters"].clear()
    assert len(core.no_reply_tool()["parameters"]) == 1


def test_missing_reply_message():
    text = core.missing_reply_message()
    assert text == ("The agent ended its turn without replying or calling vorn_no_reply, "
                    "so nothing reached the room.\n")
    assert len(text) == 97
