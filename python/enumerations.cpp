#include "python/enumerations.hpp"

#include "python/exports.hpp"

namespace vorn::py {

namespace {

template <class E>
constexpr EnumClassDef wire(const char* doc, const char* property_doc = nullptr,
                            std::span<const PyMethodDef> extra_methods = {}) {
    return {EnumInfo<E>::name.data(), EnumFamily::WireName, doc, property_doc,
            enum_members<E>(),        extra_methods};
}

template <class E>
constexpr EnumClassDef valued() {
    return {EnumInfo<E>::name.data(), EnumFamily::Value, nullptr, nullptr, enum_members<E>()};
}

}  // namespace

std::span<const EnumClassDef> enum_class_defs() {
    // Built on first use rather than at load: a row may take methods that an area file defines.
    // In the order of the ids in enumerations.hpp.
    static const EnumClassDef classes[] = {
        wire<EventType>("Canonical inbound event names. Each variant's `wire_name` is the\n"
                        "exact string the platform sends; `validate_event_payload` accepts that\n"
                        "string (or an `EventType` instance).",
                        "The exact string the platform sends over the wire for this event."),
        wire<TurnEffect>("What a successful tool call contributes to the turn."),
        wire<TurnVerdict>("How the SDK ends a turn, per `TurnLedger.verdict()`."),
        wire<MemoryType>("Content kind; must match the chosen [`MemorySystem`] tier."),
        wire<MemoryStatus>("Lifecycle state; list filter and set by supersede/archive operations."),
        wire<MemorySystem>("Memory tier; constrains which [`MemoryType`] values are valid for it\n"
                           "(`validate_memory_type_for_system`)."),
        wire<MemorySegment>(
            "Logical subject category for a stored memory -- not a store/list scope."),
        wire<MemoryListScope>("Scope filter for listing memories."),
        wire<MemoryStoreScope>("Visibility scope for storing a memory."),
        wire<AgentTopicKind>(
            "A single-topic Phoenix Channels channel kind keyed by one id (an agent's\n"
            "control/rooms/contacts channel).",
            nullptr, agent_topic_kind_methods()),
        wire<ParkedReason>("Why the platform refused a terminal write that stays pending; the\n"
                           "argument of `ClaimRegistry.park_ack`."),
        valued<SessionState>(),
        valued<DeadReason>(),
        valued<StaleReason>(),
        valued<RoomStatus>(),
        valued<AgentTopicStatus>(),
        valued<LeaveOutcome>(),
        valued<RoomSubscribeResult>(),
        valued<RoomMembership>(),
        valued<ClaimOutcome>(),
    };
    return classes;
}

}  // namespace vorn::py
