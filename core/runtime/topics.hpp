// Channel topic names: a room's two channels and an agent's single-topic channels. Ids are
// inserted as given, without any check or escaping.
#pragma once

#include <string>
#include <string_view>

#include "core/enums.hpp"

namespace vorn {

// "chat_room:{room_id}"
std::string chat_room_topic(std::string_view room_id);
// "room_participants:{room_id}"
std::string room_participants_topic(std::string_view room_id);
// "{wire name of kind}:{agent_id}", e.g. "agent_rooms:{agent_id}"
std::string agent_topic(AgentTopicKind kind, std::string_view agent_id);

}  // namespace vorn
