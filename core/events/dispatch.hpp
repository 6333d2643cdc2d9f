// Validation and normalization of inbound platform events: the validator of each event type, run
// over any document (see core/document.hpp), and the same for the core's own JSON values.
#pragma once

#include <optional>
#include <string>

#include "core/enums.hpp"
#include "core/error.hpp"
#include "core/events/validators.hpp"
#include "core/json.hpp"

namespace vorn {

// The failure of a stray enumeration value or of a payload that is not an object.
CoreError unknown_event_type(EventType type, const std::optional<std::string>& trace_context);
CoreError payload_not_an_object(const std::optional<std::string>& trace_context);

// Checks `payload` as `type` and, in a writable document, normalizes it in place (even when the
// checks fail). "event_created" payloads are not checked.
template <class D>
std::optional<CoreError> check_event(EventType type, D& doc, typename D::Node payload,
                                     const std::optional<std::string>& trace_context) {
    void (*validate)(D&, typename D::Node, Validation&) = nullptr;
    switch (type) {
        case EventType::EventCreated:
            return std::nullopt;
        case EventType::MessageCreated:
        case EventType::MessageUpdated:
            validate = validate_message<D>;
            break;
        case EventType::RoomAdded:
        case EventType::RoomRemoved:
            validate = validate_room<D>;
            break;
        case EventType::RoomDeleted:
            validate = validate_room_deleted<D>;
            break;
        case EventType::ParticipantAdded:
        case EventType::ParticipantRemoved:
            validate = validate_participant<D>;
            break;
        case EventType::ContactRequestReceived:
            validate = validate_contact_request_received<D>;
            break;
        case EventType::ContactRequestUpdated:
            validate = validate_contact_request_updated<D>;
            break;
        case EventType::ContactAdded:
            validate = validate_contact_added<D>;
            break;
        case EventType::ContactRemoved:
            validate = validate_contact_removed<D>;
            break;
        case EventType::Supersede:
            validate = validate_supersede<D>;
            break;
        case EventType::AgentControl:
            validate = validate_agent_control<D>;
            break;
    }
    // The host only hands over members of the enumeration; a stray byte is rejected, not run.
    if (validate == nullptr) return unknown_event_type(type, trace_context);
    if (doc.kind(payload) != Json::Kind::Object) return payload_not_an_object(trace_context);
    Validation v;
    validate(doc, payload, v);
    if (!v.ok()) return std::move(v).into_error(trace_context);
    return std::nullopt;
}

// The normalized payload, a new value whose containers and strings live in `mr` (string origins
// are carried over from `payload`).
Result<Json> validate_event_payload(EventType type, const Json& payload,
                                    std::optional<std::string> trace_context,
                                    MemoryResource* mr = std::pmr::get_default_resource());

// The same, normalizing the caller's own payload in place instead of copying it first. On failure
// the payload is left partly normalized.
Result<Json> validate_event_payload(EventType type, Json&& payload,
                                    std::optional<std::string> trace_context);

// Runs the same checks without normalizing: the failure, if any.
std::optional<CoreError> check_event_payload(EventType type, const Json& payload,
                                             const std::optional<std::string>& trace_context);

}  // namespace vorn
