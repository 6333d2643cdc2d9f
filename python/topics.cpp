// Channel topic names: chat_room_topic, room_participants_topic and AgentTopicKind.topic.
#include "core/runtime/topics.hpp"
#include "python/enumerations.hpp"
#include "python/exports.hpp"
#include "python/toolkit/callable.hpp"
#include "python/toolkit/values.hpp"

namespace vorn::py {

namespace {

constexpr auto kChatRoomTopic = function(
    "chat_room_topic", "This platform's Phoenix Channels topic for a room's ``chat_room`` channel.",
    arg("room_id"));
constexpr auto kRoomParticipantsTopic =
    function("room_participants_topic",
             "This platform's Phoenix Channels topic for a room's ``room_participants``\nchannel.",
             arg("room_id"));
constexpr auto kAgentTopic = method("topic", "", arg("agent_id"));

template <std::string (*Topic)(std::string_view)>
Ref room_topic(PyObject*, const Arguments& args) {
    return make_str(Topic(args.get<std::string_view>(0)));
}

Ref agent_topic_of(PyObject* self, const Arguments& args) {
    const auto kind = enum_from_py<AgentTopicKind>(self);
    if (!kind) raise_type_error("topic() must be called on an AgentTopicKind member");
    return make_str(agent_topic(*kind, args.get<std::string_view>(0)));
}

}  // namespace

Ref export_chat_room_topic() {
    return new_function<kChatRoomTopic, room_topic<&chat_room_topic>>();
}

Ref export_room_participants_topic() {
    return new_function<kRoomParticipantsTopic, room_topic<&room_participants_topic>>();
}

std::span<const PyMethodDef> agent_topic_kind_methods() {
    static const PyMethodDef methods[] = {method_def<kAgentTopic, agent_topic_of>()};
    return methods;
}

}  // namespace vorn::py
