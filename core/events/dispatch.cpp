#include "core/events/dispatch.hpp"

#include "core/events/validators.hpp"

namespace vorn {

namespace {

// Null for `EventCreated`, which is not validated, and for a value outside the enumeration.
EventValidator validator_for(EventType type) {
    switch (type) {
        case EventType::MessageCreated:
        case EventType::MessageUpdated:
            return validate_message;
        case EventType::RoomAdded:
        case EventType::RoomRemoved:
            return validate_room;
        case EventType::RoomDeleted:
            return validate_room_deleted;
        case EventType::ParticipantAdded:
        case EventType::ParticipantRemoved:
            return validate_participant;
        case EventType::ContactRequestReceived:
            return validate_contact_request_received;
        case EventType::ContactRequestUpdated:
            return validate_contact_request_updated;
        case EventType::ContactAdded:
            return validate_contact_added;
        case EventType::ContactRemoved:
            return validate_contact_removed;
        case EventType::Supersede:
            return validate_supersede;
        case EventType::AgentControl:
            return validate_agent_control;
        case EventType::EventCreated:
            break;
    }
    return nullptr;
}

CoreError single_issue(std::string_view path, IssueCode code, std::string message,
                       const std::optional<std::string>& trace_context) {
    Validation v;
    v.push(path, code, std::move(message));
    return std::move(v).into_error(trace_context);
}

// The failure of `payload` checked as `type`, normalizations written into `out`.
std::optional<CoreError> run_checks(EventType type, const Json& payload, JsonObject& out,
                                    const std::optional<std::string>& trace_context) {
    const EventValidator validate = validator_for(type);
    if (validate == nullptr) {
        // The host only hands over members of the enumeration; a stray byte is rejected, not run.
        return single_issue(
            "event_type", IssueCode::InvalidValue,
            "unknown event type `" + std::to_string(static_cast<unsigned>(type)) + "`",
            trace_context);
    }
    const JsonObject* in = payload.if_object();
    if (in == nullptr) {
        return single_issue("", IssueCode::WrongType, "payload must be a JSON object",
                            trace_context);
    }
    Validation v;
    validate(*in, out, v);
    if (!v.ok()) return std::move(v).into_error(trace_context);
    return std::nullopt;
}

}  // namespace

Result<Json> validate_event_payload(EventType type, const Json& payload,
                                    std::optional<std::string> trace_context, MemoryResource* mr) {
    if (type == EventType::EventCreated) return Result<Json>(payload.clone(mr));
    Json out = payload.if_object() != nullptr ? payload.clone(mr) : Json::object(mr);
    if (auto failure = run_checks(type, payload, *out.if_object(), trace_context)) {
        return std::move(*failure);
    }
    // Moved, never copied: a copy would leave the arena and drop the origins.
    return Result<Json>(std::move(out));
}

Result<Json> validate_event_payload(EventType type, Json&& payload,
                                    std::optional<std::string> trace_context) {
    if (type == EventType::EventCreated) return Result<Json>(std::move(payload));
    JsonObject* in_place = payload.if_object();
    JsonObject discarded;
    if (auto failure =
            run_checks(type, payload, in_place != nullptr ? *in_place : discarded, trace_context)) {
        return std::move(*failure);
    }
    return Result<Json>(std::move(payload));
}

std::optional<CoreError> check_event_payload(EventType type, const Json& payload,
                                             const std::optional<std::string>& trace_context,
                                             MemoryResource* scratch) {
    if (type == EventType::EventCreated) return std::nullopt;
    JsonObject discarded(scratch);
    return run_checks(type, payload, discarded, trace_context);
}

}  // namespace vorn
