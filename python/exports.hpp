// What each area file contributes to the module; module.cpp registers them in table order.
#pragma once

#include "python/toolkit/ref.hpp"

namespace vorn::py {

Ref export_cancelled_decisions();
Ref export_decision_registry();
Ref export_turn_ledger();
Ref export_vorn_tool_effects();
Ref export_is_authorized_sender();
Ref export_missing_reply_message();
Ref export_no_reply_tool();
Ref export_validate_event_payload();
Ref export_validate_memory_type_for_system();

}  // namespace vorn::py
