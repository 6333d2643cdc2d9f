#include "core/turn.hpp"

namespace vorn {

void TurnLedger::record(TurnEffect effect) {
    switch (effect) {
        case TurnEffect::Observe:
            break;
        case TurnEffect::Act:
            settled_ = true;
            break;
        case TurnEffect::Reply:
        case TurnEffect::Decline:
            settled_ = true;
            reply_settled_ = true;
            break;
    }
}

namespace {

constexpr VornTool kTools[] = {
    {"vorn_get_participants", TurnEffect::Observe},
    {"vorn_lookup_peers", TurnEffect::Observe},
    {"vorn_list_contacts", TurnEffect::Observe},
    {"vorn_list_contact_requests", TurnEffect::Observe},
    {"vorn_list_memories", TurnEffect::Observe},
    {"vorn_get_memory", TurnEffect::Observe},
    {"vorn_list_room_files", TurnEffect::Observe},
    {"vorn_read_room_file", TurnEffect::Observe},
    {"vorn_list_tasks", TurnEffect::Observe},
    {"vorn_get_task", TurnEffect::Observe},
    {"vorn_get_task_history", TurnEffect::Observe},
    {"vorn_get_board", TurnEffect::Observe},
    // Events are side channels: they never reach the room as an answer.
    {"vorn_send_event", TurnEffect::Observe},
    {"vorn_add_participant", TurnEffect::Act},
    {"vorn_remove_participant", TurnEffect::Act},
    {"vorn_create_chatroom", TurnEffect::Act},
    {"vorn_add_contact", TurnEffect::Act},
    {"vorn_remove_contact", TurnEffect::Act},
    {"vorn_respond_contact_request", TurnEffect::Act},
    {"vorn_store_memory", TurnEffect::Act},
    {"vorn_supersede_memory", TurnEffect::Act},
    {"vorn_archive_memory", TurnEffect::Act},
    {"vorn_create_task", TurnEffect::Act},
    {"vorn_update_task", TurnEffect::Act},
    {"vorn_set_board", TurnEffect::Act},
    {"vorn_send_message", TurnEffect::Reply},
    {"vorn_send_room_file", TurnEffect::Reply},
    {"vorn_no_reply", TurnEffect::Decline},
};

constexpr ToolParameterSpec kNoReplyParameters[] = {
    {"reason", "Short note on why no reply is needed (kept in local logs only)", false},
};

constexpr ToolSpec kNoReplyTool = {
    "vorn_no_reply",
    "End this turn without posting anything to the room.\n\n"
    "Consider every current input message together, in context. Call this instead of "
    "vorn_send_message only when the turn as a whole needs no answer from you: the inputs were "
    "addressed to someone else, are FYIs or acknowledgements, or another participant already "
    "answered them. An FYI or acknowledgement does not cancel another input's outstanding "
    "request, and a correction or cancellation is read in context. It ends the whole turn, never "
    "just one input, and is not called after you have sent a reply. A single reply may address "
    "several inputs. It is a complete turn, not an error; do not also send a message.",
    kNoReplyParameters,
};

}  // namespace

std::span<const VornTool> vorn_tools() {
    return kTools;
}

const ToolSpec& no_reply_tool() {
    return kNoReplyTool;
}

std::string_view missing_reply_message() {
    return "The agent ended its turn without replying or calling vorn_no_reply, so nothing "
           "reached the room.\n";
}

}  // namespace vorn
