// What each area file contributes to the module; module.cpp registers them in table order.
#pragma once

#include "python/toolkit/ref.hpp"

namespace vorn::py {

Ref export_claim_registry();
Ref export_retry_tracker();
Ref export_validate_event_payload();

}  // namespace vorn::py
