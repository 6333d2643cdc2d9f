"""SubscriptionTracker's documentation and the channel topic names; its calls are compared with a
reference model in test_subscription_rosters_model.py, its access rule in test_hostile_inputs.py."""

import pytest

import vorn_sdk_core as core


def test_topic_names():
    kind = core.AgentTopicKind
    assert [core.chat_room_topic(""), core.chat_room_topic(room_id="r 1:é"),
            core.room_participants_topic("r1"), kind.Control.topic("x"), kind.Rooms.topic(agent_id="x"),
            kind.from_wire_name("agent_contacts").topic("x")] == [
        "chat_room:", "chat_room:r 1:é", "room_participants:r1", "agent_control:x", "agent_rooms:x",
        "agent_contacts:x"]
    assert not hasattr(core.EventType.Supersede, "topic")


@pytest.mark.parametrize("obj,signature,doc", [
    (core.SubscriptionTracker, "()", "Transport-independent subscription decisions for one agent session."),
    (core.SubscriptionTracker.record_room_participants_join_failed,
     "($self, room_id, ticket, chat_room_left)", None),
    (core.chat_room_topic, "(room_id)", "This platform's Phoenix Channels topic for a room's ``chat_room`` channel."),
    (core.room_participants_topic, "(room_id)",
     "This platform's Phoenix Channels topic for a room's ``room_participants``\nchannel."),
])
def test_signatures_and_docs(obj, signature, doc):
    assert obj.__text_signature__ == signature and doc in (None, obj.__doc__)
