"""The anchor for each event validator: a pydantic `TypeAdapter` over a `TypedDict` holding the same
rules (strict types, unknown keys kept, the same normalizations as after-validators)."""

from typing import Any, Literal, Optional

from pydantic import AfterValidator, ConfigDict, JsonValue, TypeAdapter, with_config
from typing_extensions import Annotated, NotRequired, TypedDict

open_strict = with_config(ConfigDict(extra="allow", strict=True))


@open_strict
class Mention(TypedDict):
    id: str
    username: NotRequired[Optional[str]]
    handle: NotRequired[Optional[str]]
    name: NotRequired[Optional[str]]


@open_strict
class Metadata(TypedDict):
    mentions: NotRequired[Optional[list[Mention]]]


@open_strict
class Message(TypedDict):
    id: str
    content: str
    message_type: str
    sender_type: str
    sender_id: str
    inserted_at: str
    updated_at: str
    sender_name: NotRequired[Optional[str]]
    metadata: NotRequired[Optional[Metadata]]
    attachments: NotRequired[Optional[list[Any]]]


@open_strict
class Room(TypedDict):
    id: str
    inserted_at: str
    updated_at: str
    title: NotRequired[Optional[str]]
    task_id: NotRequired[Optional[str]]


@open_strict
class Identified(TypedDict):
    id: str


@open_strict
class Participant(TypedDict):
    id: str
    type: str
    name: str
    handle: NotRequired[str]
    description: NotRequired[Optional[str]]
    is_remote: NotRequired[Optional[bool]]
    is_external: NotRequired[Optional[bool]]


@open_strict
class ContactRequestUpdated(TypedDict):
    id: str
    status: str


@open_strict
class ContactRequestReceived(TypedDict):
    id: str
    status: str
    inserted_at: str
    from_handle: NotRequired[Optional[str]]
    from_name: NotRequired[Optional[str]]
    message: NotRequired[Optional[str]]


@open_strict
class ContactAdded(TypedDict):
    id: str
    type: str
    inserted_at: str
    handle: Optional[str]
    name: Optional[str]
    description: NotRequired[str]
    listed_in_directory: NotRequired[bool]
    tags: NotRequired[list[Any]]
    is_remote: NotRequired[Optional[bool]]
    is_external: NotRequired[Optional[bool]]


@open_strict
class Supersede(TypedDict):
    reason: str
    message: str
    target_socket_id: NotRequired[Optional[str]]
    correlation_id: Optional[str]
    retryable: NotRequired[Any]
    retry_after: NotRequired[Any]


@open_strict
class AgentControl(TypedDict):
    mode: Literal["interrupt", "stop", "play"]
    scope: Literal["agent", "room"]
    agent_id: str
    correlation_id: str
    execution_id: Optional[str]
    room_id: Optional[str]
    reason: NotRequired[str]
    type: NotRequired[str]


def message_defaults(message):
    if message.get("metadata") is None:
        message["metadata"] = {}
    if message["metadata"].get("mentions") is None:
        message["metadata"]["mentions"] = []
    if message.get("attachments") is None:
        message["attachments"] = []
    return message


def remote_alias(person):
    remote, external = person.get("is_remote"), person.get("is_external")
    if external is not None and remote is None:
        person["is_remote"] = external
    elif remote is not None and external is None:
        person["is_external"] = remote
    return person


def drop_null_sender(request):
    for key in ("from_handle", "from_name", "message"):
        if key in request and request[key] is None:
            del request[key]
    return request


def whole_number(value):
    if type(value) is int and -(2**63) <= value < 2**63:
        return value
    if type(value) is float and value.is_integer() and -(2.0**63) <= value < 2.0**63:
        return int(value)
    return None


def supersede_defaults(supersede):
    supersede["retryable"] = supersede.get("retryable") is True
    if "retry_after" in supersede:
        supersede["retry_after"] = whole_number(supersede["retry_after"])
    return supersede


def adapter(shape, normalize=None):
    return TypeAdapter(Annotated[shape, AfterValidator(normalize)] if normalize else shape)


MESSAGE_ADAPTER = adapter(Message, message_defaults)
ROOM_ADAPTER = adapter(Room)
IDENTIFIED_ADAPTER = adapter(Identified)
PARTICIPANT_ADAPTER = adapter(Participant, remote_alias)

ADAPTERS = {
    "message_created": MESSAGE_ADAPTER,
    "message_updated": MESSAGE_ADAPTER,
    "room_added": ROOM_ADAPTER,
    "room_removed": ROOM_ADAPTER,
    "room_deleted": IDENTIFIED_ADAPTER,
    "participant_added": PARTICIPANT_ADAPTER,
    "participant_removed": PARTICIPANT_ADAPTER,
    "contact_request_received": adapter(ContactRequestReceived, drop_null_sender),
    "contact_request_updated": adapter(ContactRequestUpdated),
    "contact_added": adapter(ContactAdded, remote_alias),
    "contact_removed": IDENTIFIED_ADAPTER,
    "supersede": adapter(Supersede, supersede_defaults),
    "agent.control": adapter(AgentControl),
    "event_created": adapter(JsonValue),
}
