// What each area file contributes to the module; module.cpp registers them in table order.
#pragma once

#include "python/toolkit/ref.hpp"

namespace vorn::py {

Ref export_AgentFailure();
Ref export_ParticipantRoster();
Ref export_RoomReconciliation();
Ref export_RoomRoster();

Ref export_validate_event_payload();

}  // namespace vorn::py
