"""The tool catalogue functions and their fixed texts."""

import vorn_sdk_core as core

E = core.TurnEffect

NO_REPLY_DESCRIPTION = (
    "End this turn without posting anything to the room.\n\nConsider every current input message together, in "
    "context. Call this instead of vorn_send_message only when the turn as a whole needs no answer from you: the "
    "inputs were addressed to someone else, are FYIs or acknowledgements, or another participant already answered "
    "them. An FYI or acknowledgement does not cancel another input's outstanding request, and a correction or "
    "cancellation is read in context. It ends the whole turn, never just one input, and is not called after you "
    "have sent a reply. A single reply may address several inputs. It is a complete turn, not an error; do not "
    "also send a message.")

# The whole catalogue in order, by effect.
CATALOGUE = (
    (E.Observe, "get_participants lookup_peers list_contacts list_contact_requests list_memories get_memory "
     "list_room_files read_room_file list_tasks get_task get_task_history get_board send_event"),
    (E.Act, "add_participant remove_participant create_chatroom add_contact remove_contact "
     "respond_contact_request store_memory supersede_memory archive_memory create_task update_task set_board"),
    (E.Reply, "send_message send_room_file"), (E.Decline, "no_reply"))
REASON = {"name": "reason", "description": "Short note on why no reply is needed (kept in local logs only)",
          "required": False}
NO_REPLY_TOOL = {"name": "vorn_no_reply", "description": NO_REPLY_DESCRIPTION, "parameters": [REASON]}
MISSING_REPLY = "The agent ended its turn without replying or calling vorn_no_reply, so nothing reached the room.\n"


def test_tool_catalogue_and_texts():
    effects = core.vorn_tool_effects()
    expected = [("vorn_" + name, effect) for effect, names in CATALOGUE for name in names.split()]
    assert len(expected) == 28 and list(effects.items()) == expected
    assert all(effects[name] is effect for name, effect in expected)
    tool = core.no_reply_tool()
    assert tool == NO_REPLY_TOOL and list(tool) == ["name", "description", "parameters"]
    assert list(tool["parameters"][0]) == ["name", "description", "required"]
    tool["parameters"].clear()  # every call hands out fresh values
    assert core.no_reply_tool() == NO_REPLY_TOOL and core.vorn_tool_effects() is not effects
    assert core.missing_reply_message() == MISSING_REPLY
