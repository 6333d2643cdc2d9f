# Mistakes the stubs must catch: each line marked `# E:` gets exactly that mypy error, and no
# other line gets any. Checked, never run.
import vorn_sdk_core as core

registry, tracker, ledger = core.ClaimRegistry(), core.RetryTracker(), core.TurnLedger()
decision = core.evaluate_delivery_event("message_created", None, {}, "agent-1")

core.chat_room_topic(5)  # E: Argument 1 to "chat_room_topic" has incompatible type "int"; expected "str"  [arg-type]
registry.guarded_claim("r1", "m1", tracker, selfecho=True)  # E: Unexpected keyword argument "selfecho" for "guarded_claim" of "ClaimRegistry"; did you mean "self_echo"?  [call-arg]
core.DecisionRegistry(10)  # E: Too many positional arguments for "DecisionRegistry"  [misc]
core.classify_close("1000")  # E: Argument 1 to "classify_close" has incompatible type "str"; expected "Optional[SupportsIndex]"  [arg-type]
ledger.record("reply")  # E: Argument 1 to "record" of "TurnLedger" has incompatible type "str"; expected "TurnEffect"  [arg-type]
core.is_authorized_sender(["u1"], "u1")  # E: Argument 1 to "is_authorized_sender" has incompatible type "List[str]"; expected "Union[Set[str], FrozenSet[str], None]"  [arg-type]
if decision["decision"] == "invocation":
    print(decision["sender"])  # E: TypedDict "_InvocationEvent" has no key "sender"  [typeddict-item]
print(core.no_reply_tool()["paramters"])  # E: TypedDict "_ToolSpec" has no key "paramters"  [typeddict-item]
attempts: str = tracker.record_attempt("m1")[0]  # E: Incompatible types in assignment (expression has type "int", variable has type "str")  [assignment]
registry.max_completed = 5  # E: Property "max_completed" defined in "ClaimRegistry" is read-only  [misc]
core.SessionState()  # E: Too few arguments for "SessionState"  [call-arg]
core.SessionState.Up < core.SessionState.Dead  # E: Unsupported operand types for < ("SessionState" and "SessionState")  [operator]
core.EventType.RoomAdded = core.EventType.RoomRemoved  # E: Cannot assign to final attribute "RoomAdded"  [misc]
