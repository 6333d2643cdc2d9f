// Stateless routing decisions for inbound deliveries: what to do with one platform event, one
// drained candidate, one next-message check and one adapter outcome.
//
// Decisions refer to their strings instead of copying them: each `TextRef` views a string of the
// call's inputs (with that string's origin), so a decision is valid while its inputs are.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "core/enums.hpp"
#include "core/error.hpp"
#include "core/events/dispatch.hpp"
#include "core/json.hpp"

namespace vorn {

// The sender is the agent itself: sender type exactly "Agent" and sender id byte-equal to the
// agent id. Nothing is trimmed or case-folded.
bool is_self_echo(std::string_view sender_id, std::string_view sender_type,
                  std::string_view agent_id);

struct EventDecision {
    enum class Kind : std::uint8_t { Ignored, Cleanup, SkipSelf, Invocation };
    Kind kind;
    TextRef event_type;  // Ignored
    TextRef room_id;     // Cleanup, SkipSelf, Invocation
    TextRef message_id;  // SkipSelf, Invocation
    TextRef sender_id;   // Invocation
    TextRef sender_type;
};

CoreError routing_issue(std::string_view path, IssueCode code, std::string message,
                        const std::optional<std::string>& trace_context);

// The envelope's room id when present and non-empty, else the payload's `key` when it is a
// non-empty string; otherwise the missing or wrong-type issue under "room_id".
template <class D>
Result<TextRef> resolve_room_id(const std::optional<TextRef>& envelope_room_id, const D& doc,
                                typename D::Node payload, FieldName key,
                                const std::optional<std::string>& trace_context) {
    if (envelope_room_id && !envelope_room_id->text.empty()) return *envelope_room_id;
    const typename D::Node value =
        doc.kind(payload) == Json::Kind::Object ? doc.find(payload, key) : typename D::Node{};
    if (value && doc.kind(value) != Json::Kind::Null) {
        if (doc.kind(value) != Json::Kind::String) {
            return routing_issue(
                "room_id", IssueCode::WrongType,
                "payload." + std::string(key.text()) + " must be a string to serve as room_id",
                trace_context);
        }
        if (!doc.text(value).empty()) return doc.text_ref(value);
    }
    return routing_issue("room_id", IssueCode::Missing,
                         "room_id is missing from both the envelope and the payload",
                         trace_context);
}

// A string field that validation guarantees; anything else reads as empty.
template <class D>
TextRef string_field(const D& doc, typename D::Node object, FieldName key) {
    const typename D::Node value = doc.find(object, key);
    return is_kind(doc, value, Json::Kind::String) ? doc.text_ref(value) : TextRef{};
}

// Validates "message_created" payloads (issues come back unchanged); "room_removed" and
// "room_deleted" resolve the room to clean up; every other name, known or not, is ignored without
// looking at the payload. The payload is only read.
template <class D>
Result<EventDecision> evaluate_delivery_event(TextRef event_type,
                                              const std::optional<TextRef>& envelope_room_id,
                                              D& doc, typename D::Node payload,
                                              std::string_view agent_id,
                                              const std::optional<std::string>& trace_context) {
    EventDecision d{};
    switch (parse_enum<EventType>(event_type.text).value_or(EventType::EventCreated)) {
        case EventType::RoomRemoved:
        case EventType::RoomDeleted: {
            Result<TextRef> room =
                resolve_room_id(envelope_room_id, doc, payload, "id", trace_context);
            if (!room) return std::move(room.error());
            d.kind = EventDecision::Kind::Cleanup;
            d.room_id = room.value();
            return d;
        }
        case EventType::MessageCreated:
            break;
        default:
            d.kind = EventDecision::Kind::Ignored;
            d.event_type = event_type;
            return d;
    }
    if (auto failure = check_event(EventType::MessageCreated, doc, payload, trace_context)) {
        return std::move(*failure);
    }
    // The checked fields are never rewritten by normalization, so the payload reads as the
    // normalized one would.
    d.message_id = string_field(doc, payload, "id");
    if (d.message_id.text.empty()) {
        return routing_issue("id", IssueCode::Missing, "id must be a non-empty string",
                             trace_context);
    }
    Result<TextRef> room =
        resolve_room_id(envelope_room_id, doc, payload, "chat_room_id", trace_context);
    if (!room) return std::move(room.error());
    d.room_id = room.value();
    d.sender_id = string_field(doc, payload, "sender_id");
    d.sender_type = string_field(doc, payload, "sender_type");
    d.kind = is_self_echo(d.sender_id.text, d.sender_type.text, agent_id)
                 ? EventDecision::Kind::SkipSelf
                 : EventDecision::Kind::Invocation;
    return d;
}

struct DrainCandidate {
    TextRef id;
    std::string_view sender_id;
    std::string_view sender_type;
};

struct DrainStep {
    enum class Kind : std::uint8_t { NoCandidate, SelfEcho, Drain, OutOfSnapshot };
    Kind kind;
    TextRef message_id;  // all but NoCandidate
};

using SeenIds = std::pmr::unordered_set<std::string_view>;

DrainStep evaluate_drain_candidate(const std::optional<DrainCandidate>& candidate,
                                   const SeenIds& seen_ids, std::string_view agent_id);

struct NextMessageDecision {
    enum class Kind : std::uint8_t { NoPending, ReadyToClaim, AlreadyProcessed };
    Kind kind;
    TextRef next_open_id;  // AlreadyProcessed
};

NextMessageDecision evaluate_next_message(std::string_view triggering_message_id,
                                          const std::optional<TextRef>& next_message_id);

struct AckDecision {
    enum class Kind : std::uint8_t { Processed, Failed };
    Kind kind;
    TextRef room_id;
    TextRef message_id;
};

AckDecision evaluate_adapter_result(TextRef room_id, TextRef message_id, bool succeeded);

}  // namespace vorn
