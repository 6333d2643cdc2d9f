#include "core/delivery.hpp"

namespace vorn {

CoreError routing_issue(std::string_view path, IssueCode code, std::string message,
                        const std::optional<std::string>& trace_context) {
    Validation v;
    v.push(path, code, std::move(message));
    return std::move(v).into_error(trace_context);
}

bool is_self_echo(std::string_view sender_id, std::string_view sender_type,
                  std::string_view agent_id) {
    return sender_type == "Agent" && sender_id == agent_id;
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
