// What each area file contributes to the module; module.cpp registers them in table order.
#pragma once

#include "python/toolkit/ref.hpp"

namespace vorn::py {

Ref export_session();
Ref export_session_outcome();
Ref export_session_policy();
Ref export_classify_close();
Ref export_classify_upgrade();
Ref export_validate_event_payload();

}  // namespace vorn::py
