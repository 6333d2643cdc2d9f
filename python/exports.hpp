// What each area file contributes to the module; module.cpp registers them in table order, and
// enumerations.cpp adds the extra methods of an enumeration class.
#pragma once

#include <span>

#include "python/toolkit/ref.hpp"

namespace vorn::py {

Ref export_agent_failure();
Ref export_cancelled_decisions();
Ref export_claim_registry();
Ref export_decision_registry();
Ref export_participant_roster();
Ref export_retry_tracker();
Ref export_room_reconciliation();
Ref export_room_roster();
Ref export_session();
Ref export_session_outcome();
Ref export_session_policy();
Ref export_subscription_tracker();
Ref export_turn_ledger();
Ref export_vorn_tool_effects();
Ref export_chat_room_topic();
Ref export_classify_close();
Ref export_classify_upgrade();
Ref export_evaluate_adapter_result();
Ref export_evaluate_delivery_event();
Ref export_evaluate_drain_candidate();
Ref export_evaluate_next_message();
Ref export_is_authorized_sender();
Ref export_is_self_echo();
Ref export_missing_reply_message();
Ref export_no_reply_tool();
Ref export_room_participants_topic();
Ref export_validate_event_payload();
Ref export_validate_memory_type_for_system();

// Methods of AgentTopicKind beyond the enumeration pattern.
std::span<const PyMethodDef> agent_topic_kind_methods();

}  // namespace vorn::py
