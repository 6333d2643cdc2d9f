import pytest

import vorn_sdk_core as core

WIRE = {
    "EventType": "MessageCreated message_created MessageUpdated message_updated RoomAdded room_added "
    "RoomRemoved room_removed RoomDeleted room_deleted ParticipantAdded participant_added "
    "ParticipantRemoved participant_removed ContactRequestReceived contact_request_received "
    "ContactRequestUpdated contact_request_updated ContactAdded contact_added ContactRemoved "
    "contact_removed Supersede supersede AgentControl agent.control EventCreated event_created",
    "TurnEffect": "Observe observe Act act Reply reply Decline decline",
    "TurnVerdict": "Complete complete MissingReply missing_reply",
    "MemoryType": "Iconic iconic Echoic echoic Haptic haptic Episodic episodic Semantic semantic "
    "Procedural procedural",
    "MemoryStatus": "Active active Superseded superseded Archived archived All all",
    "MemorySystem": "Sensory sensory Working working LongTerm long_term",
    "MemorySegment": "User user Agent agent Tool tool Guideline guideline",
    "MemoryListScope": "Subject subject Organization organization All all",
    "MemoryStoreScope": "Subject subject Organization organization",
    "AgentTopicKind": "Control agent_control Rooms agent_rooms Contacts agent_contacts",
    "ParkedReason": "NotFound not_found Rejected rejected",
}
VALUE = {
    "SessionState": "Connecting connecting Up up Reconnecting reconnecting Dead dead",
    "DeadReason": "Classified classified RapidDisconnect rapid_disconnect",
    "StaleReason": "WrongEpoch wrong_epoch ClockRegression clock_regression DuplicateConnected "
    "duplicate_connected SupersedePredatesEpoch supersede_predates_epoch",
    "RoomStatus": "Absent absent Pending pending Subscribed subscribed Leaving leaving "
    "NeedsReconciliation needs_reconciliation",
    "AgentTopicStatus": "Absent absent Pending pending Joined joined Leaving leaving "
    "NeedsReconciliation needs_reconciliation",
    "LeaveOutcome": "Left left Failed failed Unknown unknown",
    "RoomSubscribeResult": "Subscribed subscribed JoinFailed join_failed RolledBack rolled_back "
    "RollbackFailed rollback_failed Stale stale",
    "RoomMembership": "Unadmitted unadmitted Admitting admitting Admitted admitted",
    "ClaimOutcome": "Claimed claimed AlreadyClaimed already_claimed Stale stale",
}
DOCS = {
    "TurnEffect": "What a successful tool call contributes to the turn.",
    "TurnVerdict": "How the SDK ends a turn, per `TurnLedger.verdict()`.",
    "MemoryType": "Content kind; must match the chosen [`MemorySystem`] tier.",
    "MemorySystem": "Memory tier; constrains which [`MemoryType`] values are valid for it\n"
    "(`validate_memory_type_for_system`).",
    "ParkedReason": "Why the platform refused a terminal write that stays pending; the\n"
    "argument of `ClaimRegistry.park_ack`.",
}


def members(table):
    for cls_name, listing in table.items():
        words = listing.split()
        for index in range(0, len(words), 2):
            yield cls_name, index // 2, words[index], words[index + 1]


FAMILY_MEMBERS = [(*m, "wire_name", "value") for m in members(WIRE)] + [
    (*m, "value", "wire_name") for m in members(VALUE)]


@pytest.mark.parametrize("cls_name,index,member,text,exposed,absent", FAMILY_MEMBERS)
def test_member(cls_name, index, member, text, exposed, absent):
    cls = getattr(core, cls_name)
    obj = getattr(cls, member)
    assert (getattr(obj, exposed), str(obj), int(obj)) == (text, text, index)
    assert repr(obj) == f"{cls_name}.{member}"
    assert not hasattr(obj, absent)
    if exposed == "wire_name":
        assert cls.from_wire_name(text) is obj
    else:
        assert not hasattr(cls, "from_wire_name")


@pytest.mark.parametrize("cls_name", [*WIRE, *VALUE])
def test_class_shape(cls_name):
    cls = getattr(core, cls_name)
    assert (cls.__module__, cls.__name__, cls.__qualname__) == ("vorn_sdk_core", cls_name, cls_name)
    with pytest.raises(TypeError):
        cls()
    first = next(iter(members({cls_name: (WIRE | VALUE)[cls_name]})))[2]
    with pytest.raises(TypeError):
        hash(getattr(cls, first))
    with pytest.raises(TypeError):
        [0, 1][getattr(cls, first)]  # no __index__
    if cls_name in VALUE:
        assert cls.__doc__ is None


def test_class_docs():
    assert core.EventType.__doc__ == (
        "Canonical inbound event names. Each variant's `wire_name` is the\n"
        "exact string the platform sends; `validate_event_payload` accepts that\n"
        "string (or an `EventType` instance).")
    assert core.EventType.wire_name.__doc__ == (
        "The exact string the platform sends over the wire for this event.")
    assert core.TurnEffect.wire_name.__doc__ is None
    for name, doc in DOCS.items():
        assert getattr(core, name).__doc__ == doc
    assert core.EventType.from_wire_name.__doc__ is None  # empty text after the signature
    assert core.EventType.from_wire_name.__text_signature__ == "(name)"


@pytest.mark.parametrize("name", ["agent_control", "Message_created", "MESSAGE_CREATED",
                                  " supersede", "supersede ", "", "supersede\0"])
def test_from_wire_name_is_exact(name):
    assert core.EventType.from_wire_name(name) is None


def test_from_wire_name_argument():
    assert core.EventType.from_wire_name(name="agent.control") is core.EventType.AgentControl
    with pytest.raises(TypeError, match="'name'"):
        core.EventType.from_wire_name(5)
    with pytest.raises(TypeError):
        core.EventType.from_wire_name()


def test_comparison_rules():
    up, dead = core.SessionState.Up, core.SessionState.Dead
    assert up == core.SessionState.Up and up != dead and not (up == dead)
    assert up != "up" and up != 1
    assert core.MemoryStoreScope.Subject != core.MemoryListScope.Subject
    for op in ("__lt__", "__le__", "__gt__", "__ge__"):
        assert getattr(up, op)(dead) is NotImplemented
    with pytest.raises(TypeError):
        up < dead  # noqa: B015


def test_members_are_singletons_through_every_route():
    via_result = core.validate_event_payload(core.EventType.RoomDeleted, {"id": "r"})
    assert via_result == {"id": "r"}
    assert core.EventType.from_wire_name("room_deleted") is core.EventType.RoomDeleted
