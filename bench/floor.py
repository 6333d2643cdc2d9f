"""Cases for the call floor: the module's cheapest calls beside the interpreter's own builtin
function and method calls of two arguments."""

import vorn_sdk_core as core
from timing import Case, Timed


def cases():
    sender, room, message = "user-7", "room-42", "msg-0001"
    return [
        Case("is_authorized_sender(None, sender)",
             Timed("call(None, sender)", {"call": core.is_authorized_sender, "sender": sender}),
             "builtin isinstance(x, str)",
             Timed("call(sender, str)", {"call": isinstance, "sender": sender}), None),
        Case("ClaimRegistry.is_ack_pending(room, message)",
             Timed("registry.is_ack_pending(room, message)",
                   {"registry": core.ClaimRegistry(), "room": room, "message": message}),
             "dict.get(key, None)",
             Timed("pending.get(key, None)",
                   {"pending": {(room, "msg-0000"): None}, "key": (room, message)}), None),
    ]
