// What each area file contributes to the module; module.cpp registers them in table order.
#pragma once

#include "python/toolkit/ref.hpp"

namespace vorn::py {

Ref export_evaluate_adapter_result();
Ref export_evaluate_delivery_event();
Ref export_evaluate_drain_candidate();
Ref export_evaluate_next_message();
Ref export_is_self_echo();
Ref export_validate_event_payload();

}  // namespace vorn::py
