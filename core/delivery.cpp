#include "core/delivery.hpp"

#include "core/enums.hpp"
#include "core/events/dispatch.hpp"

namespace vorn {

namespace {

CoreError one_issue(std::string_view path, IssueCode code, std::string message,
                    const std::optional<std::string>& trace_context) {
    Validation v;
    v.push(path, code, std::move(message));
    return std::move(v).into_error(trace_context);
}

// Validation guarantees these are strings; anything else reads as empty.
TextRef string_field(const JsonObject& object, std::string_view key) {
    const Json* value = object.find(key);
    const JsonString* s = value != nullptr ? value->if_string() : nullptr;
    return s != nullptr ? TextRef::of(*s) : TextRef{};
}

Result<EventDecision> evaluate_message_created(const std::optional<TextRef>& envelope_room_id,
                                               const Json& payload, std::string_view agent_id,
                                               const std::optional<std::string>& trace_context,
                                               MemoryResource* scratch) {
    if (auto failure =
            check_event_payload(EventType::MessageCreated, payload, trace_context, scratch)) {
        return std::move(*failure);
    }
    // The checked fields are never rewritten by normalization, so the payload reads as the
    // normalized one would.
    const JsonObject& message = *payload.if_object();
    const TextRef message_id = string_field(message, "id");
    if (message_id.text.empty()) {
        return one_issue("id", IssueCode::Missing, "id must be a non-empty string", trace_context);
    }
    Result<TextRef> room =
        resolve_room_id(envelope_room_id, payload, "chat_room_id", trace_context);
    if (!room) return std::move(room.error());
    EventDecision d{};
    d.room_id = room.value();
    d.message_id = message_id;
    d.sender_id = string_field(message, "sender_id");
    d.sender_type = string_field(message, "sender_type");
    d.kind = is_self_echo(d.sender_id.text, d.sender_type.text, agent_id)
                 ? EventDecision::Kind::SkipSelf
                 : EventDecision::Kind::Invocation;
    return d;
}

}  // namespace

bool is_self_echo(std::string_view sender_id, std::string_view sender_type,
                  std::string_view agent_id) {
    return sender_type == "Agent" && sender_id == agent_id;
}

Result<TextRef> resolve_room_id(const std::optional<TextRef>& envelope_room_id, const Json& payload,
                                std::string_view key,
                                const std::optional<std::string>& trace_context) {
    if (envelope_room_id && !envelope_room_id->text.empty()) return *envelope_room_id;
    const JsonObject* object = payload.if_object();
    const Json* value = object != nullptr ? object->find(key) : nullptr;
    if (value != nullptr && !value->is_null()) {
        if (const JsonString* s = value->if_string()) {
            if (!s->text().empty()) return TextRef::of(*s);
        } else {
            return one_issue(
                "room_id", IssueCode::WrongType,
                "payload." + std::string(key) + " must be a string to serve as room_id",
                trace_context);
        }
    }
    return one_issue("room_id", IssueCode::Missing,
                     "room_id is missing from both the envelope and the payload", trace_context);
}

Result<EventDecision> evaluate_delivery_event(TextRef event_type,
                                              const std::optional<TextRef>& envelope_room_id,
                                              const Json& payload, std::string_view agent_id,
                                              const std::optional<std::string>& trace_context,
                                              MemoryResource* scratch) {
    switch (parse_enum<EventType>(event_type.text).value_or(EventType::EventCreated)) {
        case EventType::RoomRemoved:
        case EventType::RoomDeleted: {
            Result<TextRef> room = resolve_room_id(envelope_room_id, payload, "id", trace_context);
            if (!room) return std::move(room.error());
            EventDecision d{};
            d.kind = EventDecision::Kind::Cleanup;
            d.room_id = room.value();
            return d;
        }
        case EventType::MessageCreated:
            return evaluate_message_created(envelope_room_id, payload, agent_id, trace_context,
                                            scratch);
        default: {
            EventDecision d{};
            d.kind = EventDecision::Kind::Ignored;
            d.event_type = event_type;
            return d;
        }
    }
}

DrainStep evaluate_drain_candidate(const std::optional<DrainCandidate>& candidate,
                                   const SeenIds& seen_ids, std::string_view agent_id) {
    if (!candidate) return {DrainStep::Kind::NoCandidate, {}};
    if (is_self_echo(candidate->sender_id, candidate->sender_type, agent_id)) {
        return {DrainStep::Kind::SelfEcho, candidate->id};
    }
    const bool seen = seen_ids.contains(candidate->id.text);
    return {seen ? DrainStep::Kind::Drain : DrainStep::Kind::OutOfSnapshot, candidate->id};
}

NextMessageDecision evaluate_next_message(std::string_view triggering_message_id,
                                          const std::optional<TextRef>& next_message_id) {
    if (!next_message_id) return {NextMessageDecision::Kind::NoPending, {}};
    if (next_message_id->text == triggering_message_id) {
        return {NextMessageDecision::Kind::ReadyToClaim, {}};
    }
    return {NextMessageDecision::Kind::AlreadyProcessed, *next_message_id};
}

AckDecision evaluate_adapter_result(TextRef room_id, TextRef message_id, bool succeeded) {
    return {succeeded ? AckDecision::Kind::Processed : AckDecision::Kind::Failed, room_id,
            message_id};
}

}  // namespace vorn
