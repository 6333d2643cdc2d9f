// One agent turn's accounting, and the catalogue of the platform's agent tools.
//
// A `TurnLedger` only ever sets its two flags: any outcome (an action, a reply, an explicit
// decline, or the host settling the turn) makes the verdict `Complete`; only a reply or a decline
// settles the reply. The catalogue maps each tool's canonical name to what a successful call of it
// contributes, and defines the one tool this module owns, the no-reply tool.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/enums.hpp"

namespace vorn {

class TurnLedger {
  public:
    void record(TurnEffect effect);
    void settle() { settled_ = true; }
    void note_reported() { settled_ = true; }
    bool reply_settled() const { return reply_settled_; }
    TurnVerdict verdict() const {
        return settled_ ? TurnVerdict::Complete : TurnVerdict::MissingReply;
    }

  private:
    bool settled_ = false;
    bool reply_settled_ = false;
};

struct VornTool {
    std::string_view name;
    TurnEffect effect;
};

// Every tool, in catalogue order.
std::span<const VornTool> vorn_tools();

struct ToolParameterSpec {
    std::string_view name;
    std::string_view description;
    bool required;
};

struct ToolSpec {
    std::string_view name;
    std::string_view description;
    std::span<const ToolParameterSpec> parameters;
};

const ToolSpec& no_reply_tool();

// Posted to the room by the host when a turn ends with `MissingReply`.
std::string_view missing_reply_message();

}  // namespace vorn
