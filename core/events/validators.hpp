// One validator per event family. Each reads the incoming payload `in`, appends to `v` every fault
// its checks find (in its fixed check order, never stopping early), and edits `out` only where a
// normalization says so. For a normalized result `out` starts as a deep copy of `in` (or is `in`
// itself: every check finishes reading before it writes), so keys no rule names pass through
// untouched; values the validator writes live in `out.resource()`. No check ever reads `out`, so
// a validator run against an empty `out` only reports.
#pragma once

#include "core/error.hpp"
#include "core/json.hpp"

namespace vorn {

using EventValidator = void (*)(const JsonObject& in, JsonObject& out, Validation& v);

// message_created, message_updated
void validate_message(const JsonObject& in, JsonObject& out, Validation& v);
// room_added, room_removed
void validate_room(const JsonObject& in, JsonObject& out, Validation& v);
void validate_room_deleted(const JsonObject& in, JsonObject& out, Validation& v);
// participant_added, participant_removed
void validate_participant(const JsonObject& in, JsonObject& out, Validation& v);
void validate_contact_added(const JsonObject& in, JsonObject& out, Validation& v);
void validate_contact_removed(const JsonObject& in, JsonObject& out, Validation& v);
void validate_contact_request_received(const JsonObject& in, JsonObject& out, Validation& v);
void validate_contact_request_updated(const JsonObject& in, JsonObject& out, Validation& v);
void validate_supersede(const JsonObject& in, JsonObject& out, Validation& v);
void validate_agent_control(const JsonObject& in, JsonObject& out, Validation& v);

}  // namespace vorn
