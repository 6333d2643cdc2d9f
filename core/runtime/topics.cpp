#include "core/runtime/topics.hpp"

namespace vorn {

namespace {

std::string prefixed(std::string_view prefix, std::string_view id) {
    std::string topic;
    topic.reserve(prefix.size() + 1 + id.size());
    topic.append(prefix).append(":").append(id);
    return topic;
}

}  // namespace

std::string chat_room_topic(std::string_view room_id) {
    return prefixed("chat_room", room_id);
}

std::string room_participants_topic(std::string_view room_id) {
    return prefixed("room_participants", room_id);
}

std::string agent_topic(AgentTopicKind kind, std::string_view agent_id) {
    return prefixed(enum_text(kind), agent_id);
}

}  // namespace vorn
