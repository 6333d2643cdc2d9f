"""SubscriptionTracker's access rule and documentation, and the channel topic names; its calls are
compared with a reference model in test_subscription_rosters_model.py."""

import pytest

import vorn_sdk_core as core

R, RS = core.RoomSubscribeResult, core.RoomStatus


class Reenter:
    """A ticket whose __index__ first calls back into the tracker."""

    def __init__(self, call, value=0):
        self.call, self.value = call, value

    def __index__(self):
        self.call()
        return self.value


@pytest.mark.parametrize("outer,inner,message", [
    (lambda t, n: t.record_both_room_topics_joined("r", n), lambda t: t.room_status("r"),
     "Already mutably borrowed"),
    (lambda t, n: t.is_agent_topic_claim_current("x", n), lambda t: t.begin_room_subscribe("s"),
     "Already borrowed"),
    (lambda t, n: t.is_room_claim_current("r", n), lambda t: t.room_status("r"), None),
])
def test_reentry_during_argument_conversion(outer, inner, message):
    t = core.SubscriptionTracker()
    t.begin_room_subscribe("r")
    if message is None:  # shared calls may nest
        assert outer(t, Reenter(lambda: inner(t))) is True
        return
    with pytest.raises(RuntimeError, match=message):
        outer(t, Reenter(lambda: inner(t)))
    assert t.room_status("s") is RS.Absent
    assert t.record_both_room_topics_joined("r", 0) is R.Subscribed  # unchanged, flag released


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
