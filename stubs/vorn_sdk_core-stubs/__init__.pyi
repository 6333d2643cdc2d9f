# Type stubs of the vorn_sdk_core extension module. Names with a leading underscore exist only for
# type checkers (result dict shapes, JSON aliases, the member base classes, the ValueError's
# attributes): import them under `if TYPE_CHECKING:`.
import builtins
from collections.abc import Callable, Iterable, Mapping, Sequence, Set
from typing import Any, ClassVar, Final, Literal, NoReturn, Protocol, SupportsFloat, SupportsIndex
from typing import TypeAlias, TypedDict, final, overload

__all__ = [
    "AgentFailure",
    "AgentTopicKind",
    "AgentTopicStatus",
    "CancelledDecisions",
    "ClaimOutcome",
    "ClaimRegistry",
    "DeadReason",
    "DecisionRegistry",
    "EventType",
    "LeaveOutcome",
    "MemoryListScope",
    "MemorySegment",
    "MemoryStatus",
    "MemoryStoreScope",
    "MemorySystem",
    "MemoryType",
    "ParkedReason",
    "ParticipantRoster",
    "RetryTracker",
    "RoomMembership",
    "RoomReconciliation",
    "RoomRoster",
    "RoomStatus",
    "RoomSubscribeResult",
    "Session",
    "SessionOutcome",
    "SessionPolicy",
    "SessionState",
    "StaleReason",
    "SubscriptionTracker",
    "TurnEffect",
    "TurnLedger",
    "TurnVerdict",
    "vorn_tool_effects",
    "chat_room_topic",
    "classify_close",
    "classify_upgrade",
    "evaluate_adapter_result",
    "evaluate_delivery_event",
    "evaluate_drain_candidate",
    "evaluate_next_message",
    "is_authorized_sender",
    "is_self_echo",
    "missing_reply_message",
    "no_reply_tool",
    "room_participants_topic",
    "validate_event_payload",
    "validate_memory_type_for_system",
]

# JSON values as the module hands them back: objects are new dicts, arrays new lists.
_JsonValue: TypeAlias = None | bool | int | float | str | list[_JsonValue] | dict[str, _JsonValue]

class _DataclassInstance(Protocol):
    __dataclass_fields__: ClassVar[dict[str, Any]]

# What converts to a JSON value: sequences become arrays, mappings with str keys objects, sets
# arrays in iteration order, dataclass instances objects of their fields. `bytes` passes as a
# sequence here but is refused at run time.
_JsonLike: TypeAlias = (
    None
    | bool
    | int
    | float
    | str
    | Sequence[_JsonLike]
    | Mapping[str, _JsonLike]
    | Set[_JsonLike]
    | _DataclassInstance
)

_IssueCode: TypeAlias = Literal["missing", "wrong_type", "invalid_value"]
_Issue: TypeAlias = tuple[str, _IssueCode, str]

class _ValidationError(Protocol):
    """The plain `ValueError` that every callable taking a `trace_context` raises for rejected
    input; an out-of-range integer argument raises one without these attributes. Use
    `typing.cast` on the caught `ValueError`."""

    @property
    def args(self) -> tuple[str]: ...
    @property
    def issues(self) -> tuple[_Issue, ...]: ...
    @property
    def trace_context(self) -> str | None: ...

# Enumeration members: one object per member, not constructible, compared by `==` within their
# own class only, unhashable, ordered by nothing.
class _Member:
    def __init__(self, _: NoReturn, /) -> None: ...
    def __int__(self) -> int: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]
    # The ordering slots exist but always return NotImplemented: no operand is acceptable.
    def __lt__(self, value: NoReturn, /) -> bool: ...
    def __le__(self, value: NoReturn, /) -> bool: ...
    def __gt__(self, value: NoReturn, /) -> bool: ...
    def __ge__(self, value: NoReturn, /) -> bool: ...

class _WireNameMember(_Member):
    @property
    def wire_name(self) -> str: ...

class _ValueMember(_Member):
    @property
    def value(self) -> str: ...

class _NotConstructible:
    def __init__(self, _: NoReturn, /) -> None: ...

@final
class EventType(_WireNameMember):
    MessageCreated: Final[EventType]
    MessageUpdated: Final[EventType]
    RoomAdded: Final[EventType]
    RoomRemoved: Final[EventType]
    RoomDeleted: Final[EventType]
    ParticipantAdded: Final[EventType]
    ParticipantRemoved: Final[EventType]
    ContactRequestReceived: Final[EventType]
    ContactRequestUpdated: Final[EventType]
    ContactAdded: Final[EventType]
    ContactRemoved: Final[EventType]
    Supersede: Final[EventType]
    AgentControl: Final[EventType]
    EventCreated: Final[EventType]
    @staticmethod
    def from_wire_name(name: str) -> EventType | None: ...

@final
class TurnEffect(_WireNameMember):
    Observe: Final[TurnEffect]
    Act: Final[TurnEffect]
    Reply: Final[TurnEffect]
    Decline: Final[TurnEffect]
    @staticmethod
    def from_wire_name(name: str) -> TurnEffect | None: ...

@final
class TurnVerdict(_WireNameMember):
    Complete: Final[TurnVerdict]
    MissingReply: Final[TurnVerdict]
    @staticmethod
    def from_wire_name(name: str) -> TurnVerdict | None: ...

@final
class MemoryType(_WireNameMember):
    Iconic: Final[MemoryType]
    Echoic: Final[MemoryType]
    Haptic: Final[MemoryType]
    Episodic: Final[MemoryType]
    Semantic: Final[MemoryType]
    Procedural: Final[MemoryType]
    @staticmethod
    def from_wire_name(name: str) -> MemoryType | None: ...

@final
class MemoryStatus(_WireNameMember):
    Active: Final[MemoryStatus]
    Superseded: Final[MemoryStatus]
    Archived: Final[MemoryStatus]
    All: Final[MemoryStatus]
    @staticmethod
    def from_wire_name(name: str) -> MemoryStatus | None: ...

@final
class MemorySystem(_WireNameMember):
    Sensory: Final[MemorySystem]
    Working: Final[MemorySystem]
    LongTerm: Final[MemorySystem]
    @staticmethod
    def from_wire_name(name: str) -> MemorySystem | None: ...

@final
class MemorySegment(_WireNameMember):
    User: Final[MemorySegment]
    Agent: Final[MemorySegment]
    Tool: Final[MemorySegment]
    Guideline: Final[MemorySegment]
    @staticmethod
    def from_wire_name(name: str) -> MemorySegment | None: ...

@final
class MemoryListScope(_WireNameMember):
    Subject: Final[MemoryListScope]
    Organization: Final[MemoryListScope]
    All: Final[MemoryListScope]
    @staticmethod
    def from_wire_name(name: str) -> MemoryListScope | None: ...

@final
class MemoryStoreScope(_WireNameMember):
    Subject: Final[MemoryStoreScope]
    Organization: Final[MemoryStoreScope]
    @staticmethod
    def from_wire_name(name: str) -> MemoryStoreScope | None: ...

@final
class AgentTopicKind(_WireNameMember):
    Control: Final[AgentTopicKind]
    Rooms: Final[AgentTopicKind]
    Contacts: Final[AgentTopicKind]
    @staticmethod
    def from_wire_name(name: str) -> AgentTopicKind | None: ...
    def topic(self, agent_id: str) -> str: ...

@final
class ParkedReason(_WireNameMember):
    NotFound: Final[ParkedReason]
    Rejected: Final[ParkedReason]
    @staticmethod
    def from_wire_name(name: str) -> ParkedReason | None: ...

@final
class SessionState(_ValueMember):
    Connecting: Final[SessionState]
    Up: Final[SessionState]
    Reconnecting: Final[SessionState]
    Dead: Final[SessionState]

@final
class DeadReason(_ValueMember):
    Classified: Final[DeadReason]
    RapidDisconnect: Final[DeadReason]

@final
class StaleReason(_ValueMember):
    WrongEpoch: Final[StaleReason]
    ClockRegression: Final[StaleReason]
    DuplicateConnected: Final[StaleReason]
    SupersedePredatesEpoch: Final[StaleReason]

@final
class RoomStatus(_ValueMember):
    Absent: Final[RoomStatus]
    Pending: Final[RoomStatus]
    Subscribed: Final[RoomStatus]
    Leaving: Final[RoomStatus]
    NeedsReconciliation: Final[RoomStatus]

@final
class AgentTopicStatus(_ValueMember):
    Absent: Final[AgentTopicStatus]
    Pending: Final[AgentTopicStatus]
    Joined: Final[AgentTopicStatus]
    Leaving: Final[AgentTopicStatus]
    NeedsReconciliation: Final[AgentTopicStatus]

@final
class LeaveOutcome(_ValueMember):
    Left: Final[LeaveOutcome]
    Failed: Final[LeaveOutcome]
    Unknown: Final[LeaveOutcome]

@final
class RoomSubscribeResult(_ValueMember):
    Subscribed: Final[RoomSubscribeResult]
    JoinFailed: Final[RoomSubscribeResult]
    RolledBack: Final[RoomSubscribeResult]
    RollbackFailed: Final[RoomSubscribeResult]
    Stale: Final[RoomSubscribeResult]

@final
class RoomMembership(_ValueMember):
    Unadmitted: Final[RoomMembership]
    Admitting: Final[RoomMembership]
    Admitted: Final[RoomMembership]

@final
class ClaimOutcome(_ValueMember):
    Claimed: Final[ClaimOutcome]
    AlreadyClaimed: Final[ClaimOutcome]
    Stale: Final[ClaimOutcome]

# Event validation.

# Every event type but "event_created" takes and returns a JSON object.
_ObjectEventName: TypeAlias = Literal[
    "message_created",
    "message_updated",
    "room_added",
    "room_removed",
    "room_deleted",
    "participant_added",
    "participant_removed",
    "contact_request_received",
    "contact_request_updated",
    "contact_added",
    "contact_removed",
    "supersede",
    "agent.control",
]

@overload
def validate_event_payload(
    event_type: _ObjectEventName, raw: _JsonLike, trace_context: str | None = None
) -> dict[str, _JsonValue]: ...
@overload
def validate_event_payload(
    event_type: str | EventType, raw: _JsonLike, trace_context: str | None = None
) -> _JsonValue: ...

# Delivery routing.

class _IgnoredEvent(TypedDict):
    decision: Literal["ignored"]
    event_type: str

class _CleanupEvent(TypedDict):
    decision: Literal["cleanup"]
    room_id: str

class _SkipSelfEvent(TypedDict):
    decision: Literal["skip_self"]
    room_id: str
    message_id: str

class _InvocationEvent(TypedDict):
    decision: Literal["invocation"]
    room_id: str
    message_id: str
    sender_id: str
    sender_type: str

_EventDecision: TypeAlias = _IgnoredEvent | _CleanupEvent | _SkipSelfEvent | _InvocationEvent

class _NoCandidate(TypedDict):
    decision: Literal["no_candidate"]

class _CandidateStep(TypedDict):
    decision: Literal["self_echo", "drain", "out_of_snapshot"]
    message_id: str

class _NoOtherMessage(TypedDict):
    decision: Literal["no_pending", "ready_to_claim"]

class _AlreadyProcessed(TypedDict):
    decision: Literal["already_processed"]
    next_open_id: str

class _AckDecision(TypedDict):
    decision: Literal["processed", "failed"]
    room_id: str
    message_id: str

def evaluate_delivery_event(
    event_type: str,
    room_id: str | None,
    payload: _JsonLike,
    agent_id: str,
    trace_context: str | None = None,
) -> _EventDecision: ...
def evaluate_drain_candidate(
    candidate: Mapping[str, _JsonLike] | None, seen_ids: Iterable[str], agent_id: str
) -> _NoCandidate | _CandidateStep: ...
def evaluate_next_message(
    triggering_message_id: str, next_message_id: str | None
) -> _NoOtherMessage | _AlreadyProcessed: ...
def evaluate_adapter_result(room_id: str, message_id: str, succeeded: bool) -> _AckDecision: ...
def is_self_echo(sender_id: str, sender_type: str, agent_id: str) -> bool: ...

# Claims, retries and settlements.

_DeliveryEligibility: TypeAlias = Literal[
    "self", "completed", "pending", "inflight", "exhausted", "failed", "runnable"
]
_Parked: TypeAlias = Literal["not_found", "rejected"] | None

class _ProcessedAck(TypedDict):
    status: Literal["processed"]
    parked: _Parked

class _FailedAck(TypedDict):
    status: Literal["failed"]
    error: str
    parked: _Parked

class _FinishedContinuation(TypedDict):
    kind: Literal["finished"]

class _RetryContinuation(TypedDict):
    kind: Literal["retry"]
    attempts: int
    max_retries: int

_Continuation: TypeAlias = _FinishedContinuation | _RetryContinuation

class _ProcessedSettlement(_ProcessedAck):
    token: str
    continuation: _Continuation

class _FailedSettlement(_FailedAck):
    token: str
    continuation: _Continuation

_PendingAck: TypeAlias = _ProcessedAck | _FailedAck
_PendingSettlement: TypeAlias = _ProcessedSettlement | _FailedSettlement

@final
class RetryTracker:
    def __init__(self, max_retries: SupportsIndex = ..., max_tracked: SupportsIndex = ...) -> None: ...
    @property
    def max_retries(self) -> int: ...
    def record_attempt(self, message_id: str) -> tuple[int, bool]: ...
    def mark_success(self, message_id: str) -> None: ...
    def discard_attempt(self, message_id: str) -> None: ...
    def is_permanently_failed(self, message_id: str) -> bool: ...
    def mark_permanently_failed(self, message_id: str) -> None: ...

@final
class ClaimRegistry:
    def __init__(self, max_completed: SupportsIndex = ...) -> None: ...
    @property
    def max_completed(self) -> int: ...
    def try_claim(self, room_id: str, message_id: str) -> bool: ...
    def release(self, room_id: str, message_id: str) -> None: ...
    def inflight_ids(self, room_id: str) -> list[str]: ...
    def is_completed(self, room_id: str, message_id: str) -> bool: ...
    def remember_completed(self, room_id: str, message_id: str) -> None: ...
    def completed_ids(self, room_id: str) -> list[str]: ...
    def discard_completed(self, room_id: str) -> None: ...
    def is_ack_pending(self, room_id: str, message_id: str) -> bool: ...
    def delivery_eligibility(
        self,
        room_id: str,
        message_id: str,
        retry_tracker: RetryTracker,
        *,
        self_echo: bool = False,
        durably_processed: bool = False,
        durably_failed: bool = False,
        allow_failed_retry: bool = True,
    ) -> _DeliveryEligibility: ...
    def guarded_claim(
        self,
        room_id: str,
        message_id: str,
        retry_tracker: RetryTracker,
        *,
        self_echo: bool = False,
        durably_processed: bool = False,
        durably_failed: bool = False,
        allow_failed_retry: bool = True,
    ) -> _DeliveryEligibility: ...
    def remember_ack_pending(self, room_id: str, message_id: str) -> None: ...
    def remember_failed_ack_pending(
        self, room_id: str, message_id: str, error: str, trace_context: str | None = None
    ) -> None: ...
    def pending_ack(self, room_id: str, message_id: str) -> _PendingAck | None: ...
    def park_ack(self, room_id: str, message_id: str, reason: ParkedReason) -> bool: ...
    def unpark_acks(self, room_id: str) -> int: ...
    def pending_ack_ids(self, room_id: str) -> list[str]: ...
    def record_ack_retry(self, room_id: str, message_id: str) -> int: ...
    def record_processed_settlement(
        self, room_id: str, message_id: str, trace_context: str | None = None
    ) -> _PendingSettlement: ...
    def record_failed_settlement(
        self,
        room_id: str,
        message_id: str,
        error: str,
        retry_tracker: RetryTracker,
        allow_retry: bool,
        trace_context: str | None = None,
    ) -> _PendingSettlement: ...
    def pending_settlement(
        self, room_id: str, message_id: str, trace_context: str | None = None
    ) -> _PendingSettlement | None: ...
    def confirm_settlement(
        self, room_id: str, message_id: str, token: str, retry_tracker: RetryTracker
    ) -> bool: ...
    def park_settlement(
        self, room_id: str, message_id: str, token: str, reason: ParkedReason
    ) -> bool: ...
    def has_retryable_settlement(self, room_id: str) -> bool: ...

# Connection lifecycle.

class _PolicyConfig(Protocol):
    """Item lookup by key, as a dict or any other mapping gives it."""

    def __getitem__(self, key: str, /) -> SupportsFloat | SupportsIndex: ...

@final
class SessionPolicy:
    def __init__(self, config: _PolicyConfig, trace_context: str | None = None) -> None: ...
    @staticmethod
    def default() -> SessionPolicy: ...
    @property
    def heartbeat_interval_s(self) -> float: ...
    @property
    def dead_threshold_s(self) -> float: ...

# `delay_range_s` is always None today; the slot keeps room for a (lower, upper) range in seconds.
def classify_close(close_code: SupportsIndex | None) -> tuple[bool, tuple[float, float] | None]: ...
def classify_upgrade(status: SupportsIndex) -> tuple[bool, tuple[float, float] | None]: ...

@final
class SessionOutcome(_NotConstructible):
    @property
    def state(self) -> SessionState: ...
    @property
    def retry_after_s(self) -> float | None: ...
    @property
    def dead_reason(self) -> DeadReason | None: ...
    @property
    def stale_reason(self) -> StaleReason | None: ...

@final
class Session:
    def __init__(self, policy: SessionPolicy) -> None: ...
    @property
    def state(self) -> SessionState: ...
    def begin_attempt(self, now_s: SupportsFloat) -> int | None: ...
    def on_connected(self, epoch: SupportsIndex, now_s: SupportsFloat) -> SessionOutcome: ...
    def on_socket_close(
        self,
        epoch: SupportsIndex,
        now_s: SupportsFloat,
        close_code: SupportsIndex | None,
        jitter_sample: SupportsFloat,
    ) -> SessionOutcome: ...
    def on_upgrade_rejected(
        self,
        epoch: SupportsIndex,
        now_s: SupportsFloat,
        status: SupportsIndex,
        retry_after_s: SupportsFloat | None,
        jitter_sample: SupportsFloat,
    ) -> SessionOutcome: ...
    def on_supersede(
        self,
        now_s: SupportsFloat,
        retryable: bool,
        retry_after_s: SupportsFloat | None,
        jitter_sample: SupportsFloat,
    ) -> SessionOutcome: ...
    def end(self) -> SessionState: ...

def chat_room_topic(room_id: str) -> str: ...
def room_participants_topic(room_id: str) -> str: ...

@final
class SubscriptionTracker:
    def __init__(self) -> None: ...
    def begin_room_subscribe(self, room_id: str) -> int | None: ...
    def record_chat_room_join_failed(
        self, room_id: str, ticket: SupportsIndex
    ) -> RoomSubscribeResult: ...
    def record_both_room_topics_joined(
        self, room_id: str, ticket: SupportsIndex
    ) -> RoomSubscribeResult: ...
    def record_room_participants_join_failed(
        self, room_id: str, ticket: SupportsIndex, chat_room_left: bool
    ) -> RoomSubscribeResult: ...
    def is_room_subscribed(self, room_id: str) -> bool: ...
    def is_room_claim_current(self, room_id: str, ticket: SupportsIndex) -> bool: ...
    def room_status(self, room_id: str) -> RoomStatus: ...
    def unsubscribe_room(self, room_id: str) -> int | None: ...
    def mark_room_leave_complete(
        self, room_id: str, ticket: SupportsIndex, outcome: LeaveOutcome
    ) -> bool: ...
    def acknowledge_room_reconciled(self, room_id: str) -> bool: ...
    def room_rejoin_candidates(self) -> list[tuple[str, int]]: ...
    def mark_room_rejoin_failed(self, room_id: str, ticket: SupportsIndex) -> bool: ...
    def subscribed_room_ids(self) -> list[str]: ...
    def on_reconnected(self) -> None: ...
    def end_session(self) -> None: ...
    def begin_agent_topic_join(self, topic: str) -> int | None: ...
    def record_agent_topic_join(self, topic: str, ticket: SupportsIndex, joined: bool) -> bool: ...
    def record_agent_topic_join_ambiguous(self, topic: str, ticket: SupportsIndex) -> bool: ...
    def is_agent_topic_joined(self, topic: str) -> bool: ...
    def is_agent_topic_claim_current(self, topic: str, ticket: SupportsIndex) -> bool: ...
    def agent_topic_status(self, topic: str) -> AgentTopicStatus: ...
    def leave_agent_topic(self, topic: str) -> int | None: ...
    def mark_agent_topic_leave_complete(
        self, topic: str, ticket: SupportsIndex, outcome: LeaveOutcome
    ) -> bool: ...
    def acknowledge_agent_topic_reconciled(self, topic: str) -> bool: ...
    def agent_topic_rejoin_candidates(self) -> list[tuple[str, int]]: ...
    def mark_agent_topic_rejoin_failed(self, topic: str, ticket: SupportsIndex) -> bool: ...
    def joined_agent_topics(self) -> list[str]: ...

# Membership.

@final
class RoomReconciliation(_NotConstructible):
    @property
    def removed(self) -> list[str]: ...
    @property
    def admitting(self) -> list[tuple[str, int]]: ...
    @property
    def resync(self) -> list[str]: ...

@final
class RoomRoster:
    def __init__(self) -> None: ...
    def room_membership(self, room_id: str) -> RoomMembership: ...
    def begin_room_admission(self, room_id: str, passes_filter: bool) -> int | None: ...
    def record_room_admission(
        self, room_id: str, ticket: SupportsIndex, succeeded: bool
    ) -> bool: ...
    def is_room_admission_current(self, room_id: str, ticket: SupportsIndex) -> bool: ...
    def record_room_removed(self, room_id: str) -> bool: ...
    def tracked_room_ids(self) -> list[str]: ...
    def reconcile(self, current_room_ids: Sequence[str]) -> RoomReconciliation: ...
    def clear(self) -> list[str]: ...

class _Participant(TypedDict):
    id: str
    name: str | None
    type: str | None
    handle: str | None
    description: str | None

@final
class ParticipantRoster:
    # The provider's result is used only when it is a str; anything else, or an exception,
    # leaves the trace context absent.
    def __init__(self, *, trace_context_provider: Callable[[], str | None] | None = None) -> None: ...
    def add(self, participant: Mapping[str, _JsonLike]) -> bool: ...
    def remove(self, participant_id: str) -> bool: ...
    def set_all(
        self, participants: Iterable[Mapping[str, _JsonLike]], trace_context: str | None = None
    ) -> None: ...
    # `list` names a method here, so the builtin is spelled out.
    def list(self) -> builtins.list[_Participant]: ...
    def changed(self) -> bool: ...
    def mark_sent(self) -> None: ...

# Agent interaction.

@final
class CancelledDecisions(_NotConstructible):
    @property
    def unclaimed(self) -> list[str]: ...
    @property
    def claimed(self) -> list[str]: ...

@final
class DecisionRegistry:
    def __init__(
        self, *, max_pending: SupportsIndex | None = None, seed: SupportsIndex | None = None
    ) -> None: ...
    @property
    def max_pending(self) -> int | None: ...
    def register_minted(self, room_id: str | None = None) -> tuple[str, int] | None: ...
    def register_keyed(self, key: str) -> tuple[str, int] | None: ...
    def try_claim(self, token: str, ticket: SupportsIndex) -> ClaimOutcome: ...
    def withdraw(self, token: str, ticket: SupportsIndex) -> bool: ...
    def forget(self, token: str, ticket: SupportsIndex) -> bool: ...
    def unclaimed(self) -> list[str]: ...
    def unclaimed_in_room(self, room_id: str) -> list[str]: ...
    def unclaimed_count(self) -> int: ...
    def oldest_unclaimed(self) -> str | None: ...
    def evict_oldest(self) -> str | None: ...
    def cancel_all(self) -> CancelledDecisions: ...
    def cancel_room(self, room_id: str) -> CancelledDecisions: ...

def is_authorized_sender(
    authorized_senders: set[str] | frozenset[str] | None, sender_id: str | None
) -> bool: ...

class _ToolParameterSpec(TypedDict):
    name: str
    description: str
    required: bool

class _ToolSpec(TypedDict):
    name: str
    description: str
    parameters: list[_ToolParameterSpec]

@final
class TurnLedger:
    def __init__(self) -> None: ...
    def record(self, effect: TurnEffect) -> None: ...
    def settle(self) -> None: ...
    def note_reported(self) -> None: ...
    def reply_settled(self) -> bool: ...
    def verdict(self) -> TurnVerdict: ...

def vorn_tool_effects() -> dict[str, TurnEffect]: ...
def no_reply_tool() -> _ToolSpec: ...
def missing_reply_message() -> str: ...

class _AgentFailureDict(TypedDict):
    provider: str
    code: str | None
    message: str
    detail: _JsonValue

_AgentFailureExtensionData = TypedDict(
    "_AgentFailureExtensionData", {"dev.vorn.sdk/failure": _AgentFailureDict}
)

@final
class AgentFailure:
    def __init__(
        self, provider: str, message: str, code: str | None = None, detail: _JsonLike = None
    ) -> None: ...
    @property
    def provider(self) -> str: ...
    @property
    def message(self) -> str: ...
    @property
    def code(self) -> str | None: ...
    @property
    def detail(self) -> _JsonValue: ...
    def to_dict(self) -> _AgentFailureDict: ...
    def to_extension_data(self) -> _AgentFailureExtensionData: ...

def validate_memory_type_for_system(
    system: str | MemorySystem, memory_type: str | MemoryType, trace_context: str | None = None
) -> None: ...
