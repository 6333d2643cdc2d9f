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

#include "core/error.hpp"
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

// The envelope's room id when present and non-empty, else the payload's `key` when it is a
// non-empty string; otherwise the missing or wrong-type issue under "room_id".
Result<TextRef> resolve_room_id(const std::optional<TextRef>& envelope_room_id, const Json& payload,
                                std::string_view key,
                                const std::optional<std::string>& trace_context);

// Validates "message_created" payloads (issues come back unchanged); "room_removed" and
// "room_deleted" resolve the room to clean up; every other name, known or not, is ignored without
// looking at the payload.
Result<EventDecision> evaluate_delivery_event(TextRef event_type,
                                              const std::optional<TextRef>& envelope_room_id,
                                              const Json& payload, std::string_view agent_id,
                                              const std::optional<std::string>& trace_context,
                                              MemoryResource* scratch);

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
