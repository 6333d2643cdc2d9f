// The closed sets of values that cross between the host and the core. Each is a one-byte
// enumeration whose value is the member's position; `EnumInfo` lists, in that order, each member's
// CamelCase name and its snake_case string (the wire name or value the host sees).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vorn {

struct EnumMember {
    std::string_view name;
    std::string_view text;
};

enum class EventType : std::uint8_t {
    MessageCreated,
    MessageUpdated,
    RoomAdded,
    RoomRemoved,
    RoomDeleted,
    ParticipantAdded,
    ParticipantRemoved,
    ContactRequestReceived,
    ContactRequestUpdated,
    ContactAdded,
    ContactRemoved,
    Supersede,
    AgentControl,
    EventCreated
};
enum class TurnEffect : std::uint8_t { Observe, Act, Reply, Decline };
enum class TurnVerdict : std::uint8_t { Complete, MissingReply };
enum class MemoryType : std::uint8_t { Iconic, Echoic, Haptic, Episodic, Semantic, Procedural };
enum class MemoryStatus : std::uint8_t { Active, Superseded, Archived, All };
enum class MemorySystem : std::uint8_t { Sensory, Working, LongTerm };
enum class MemorySegment : std::uint8_t { User, Agent, Tool, Guideline };
enum class MemoryListScope : std::uint8_t { Subject, Organization, All };
enum class MemoryStoreScope : std::uint8_t { Subject, Organization };
enum class AgentTopicKind : std::uint8_t { Control, Rooms, Contacts };
enum class ParkedReason : std::uint8_t { NotFound, Rejected };
enum class SessionState : std::uint8_t { Connecting, Up, Reconnecting, Dead };
enum class DeadReason : std::uint8_t { Classified, RapidDisconnect };
enum class StaleReason : std::uint8_t {
    WrongEpoch,
    ClockRegression,
    DuplicateConnected,
    SupersedePredatesEpoch
};
enum class RoomStatus : std::uint8_t { Absent, Pending, Subscribed, Leaving, NeedsReconciliation };
enum class AgentTopicStatus : std::uint8_t {
    Absent,
    Pending,
    Joined,
    Leaving,
    NeedsReconciliation
};
enum class LeaveOutcome : std::uint8_t { Left, Failed, Unknown };
enum class RoomSubscribeResult : std::uint8_t {
    Subscribed,
    JoinFailed,
    RolledBack,
    RollbackFailed,
    Stale
};
enum class RoomMembership : std::uint8_t { Unadmitted, Admitting, Admitted };
enum class ClaimOutcome : std::uint8_t { Claimed, AlreadyClaimed, Stale };

// Member tables, one per enumeration, in value order.
template <class E>
struct EnumInfo;

#define VORN_ENUM_INFO(E, ...)                                 \
    template <>                                                \
    struct EnumInfo<E> {                                       \
        static constexpr std::string_view name = #E;           \
        static constexpr EnumMember members[] = {__VA_ARGS__}; \
    }

VORN_ENUM_INFO(EventType, {"MessageCreated", "message_created"},
               {"MessageUpdated", "message_updated"}, {"RoomAdded", "room_added"},
               {"RoomRemoved", "room_removed"}, {"RoomDeleted", "room_deleted"},
               {"ParticipantAdded", "participant_added"},
               {"ParticipantRemoved", "participant_removed"},
               {"ContactRequestReceived", "contact_request_received"},
               {"ContactRequestUpdated", "contact_request_updated"},
               {"ContactAdded", "contact_added"}, {"ContactRemoved", "contact_removed"},
               {"Supersede", "supersede"}, {"AgentControl", "agent.control"},
               {"EventCreated", "event_created"});
VORN_ENUM_INFO(TurnEffect, {"Observe", "observe"}, {"Act", "act"}, {"Reply", "reply"},
               {"Decline", "decline"});
VORN_ENUM_INFO(TurnVerdict, {"Complete", "complete"}, {"MissingReply", "missing_reply"});
VORN_ENUM_INFO(MemoryType, {"Iconic", "iconic"}, {"Echoic", "echoic"}, {"Haptic", "haptic"},
               {"Episodic", "episodic"}, {"Semantic", "semantic"}, {"Procedural", "procedural"});
VORN_ENUM_INFO(MemoryStatus, {"Active", "active"}, {"Superseded", "superseded"},
               {"Archived", "archived"}, {"All", "all"});
VORN_ENUM_INFO(MemorySystem, {"Sensory", "sensory"}, {"Working", "working"},
               {"LongTerm", "long_term"});
VORN_ENUM_INFO(MemorySegment, {"User", "user"}, {"Agent", "agent"}, {"Tool", "tool"},
               {"Guideline", "guideline"});
VORN_ENUM_INFO(MemoryListScope, {"Subject", "subject"}, {"Organization", "organization"},
               {"All", "all"});
VORN_ENUM_INFO(MemoryStoreScope, {"Subject", "subject"}, {"Organization", "organization"});
VORN_ENUM_INFO(AgentTopicKind, {"Control", "agent_control"}, {"Rooms", "agent_rooms"},
               {"Contacts", "agent_contacts"});
VORN_ENUM_INFO(ParkedReason, {"NotFound", "not_found"}, {"Rejected", "rejected"});
VORN_ENUM_INFO(SessionState, {"Connecting", "connecting"}, {"Up", "up"},
               {"Reconnecting", "reconnecting"}, {"Dead", "dead"});
VORN_ENUM_INFO(DeadReason, {"Classified", "classified"}, {"RapidDisconnect", "rapid_disconnect"});
VORN_ENUM_INFO(StaleReason, {"WrongEpoch", "wrong_epoch"}, {"ClockRegression", "clock_regression"},
               {"DuplicateConnected", "duplicate_connected"},
               {"SupersedePredatesEpoch", "supersede_predates_epoch"});
VORN_ENUM_INFO(RoomStatus, {"Absent", "absent"}, {"Pending", "pending"},
               {"Subscribed", "subscribed"}, {"Leaving", "leaving"},
               {"NeedsReconciliation", "needs_reconciliation"});
VORN_ENUM_INFO(AgentTopicStatus, {"Absent", "absent"}, {"Pending", "pending"}, {"Joined", "joined"},
               {"Leaving", "leaving"}, {"NeedsReconciliation", "needs_reconciliation"});
VORN_ENUM_INFO(LeaveOutcome, {"Left", "left"}, {"Failed", "failed"}, {"Unknown", "unknown"});
VORN_ENUM_INFO(RoomSubscribeResult, {"Subscribed", "subscribed"}, {"JoinFailed", "join_failed"},
               {"RolledBack", "rolled_back"}, {"RollbackFailed", "rollback_failed"},
               {"Stale", "stale"});
VORN_ENUM_INFO(RoomMembership, {"Unadmitted", "unadmitted"}, {"Admitting", "admitting"},
               {"Admitted", "admitted"});
VORN_ENUM_INFO(ClaimOutcome, {"Claimed", "claimed"}, {"AlreadyClaimed", "already_claimed"},
               {"Stale", "stale"});

#undef VORN_ENUM_INFO

template <class E>
constexpr std::span<const EnumMember> enum_members() {
    return EnumInfo<E>::members;
}

template <class E>
constexpr std::string_view enum_text(E value) {
    return EnumInfo<E>::members[static_cast<std::size_t>(value)].text;
}

// Exact, case-sensitive match of a member's string; no trimming.
template <class E>
constexpr std::optional<E> parse_enum(std::string_view text) {
    const auto members = enum_members<E>();
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].text == text) return static_cast<E>(i);
    }
    return std::nullopt;
}

}  // namespace vorn
