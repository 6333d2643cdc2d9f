// The terminal intent the claim registry keeps per message until the host confirms that its
// durable write landed: what was decided (processed, or failed with an error text), the token that
// confirms it, whether the platform refused the write for now (parked), and what confirming does
// next (complete the message, or release it for another attempt under a saved budget).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/enums.hpp"

namespace vorn {

struct TerminalIntent {
    // Absent for processed; the error text for failed.
    std::optional<std::string> error;

    static TerminalIntent processed() { return {}; }
    static TerminalIntent failed(std::string_view error) { return {std::string(error)}; }
    bool is_failed() const { return error.has_value(); }

    friend bool operator==(const TerminalIntent&, const TerminalIntent&) = default;
};

struct SettlementContinuation {
    enum class Kind : std::uint8_t { Finished, Retry };
    Kind kind = Kind::Finished;
    // The attempt state to restore on confirmation; zero when finished.
    std::uint32_t attempts = 0;
    std::uint32_t max_retries = 0;

    static SettlementContinuation finished() { return {}; }
    static SettlementContinuation retry(std::uint32_t attempts, std::uint32_t max_retries) {
        return {Kind::Retry, attempts, max_retries};
    }
    bool is_retry() const { return kind == Kind::Retry; }

    friend bool operator==(const SettlementContinuation&, const SettlementContinuation&) = default;
};

struct PendingEntry {
    // Absent only when the registry's tokens had run out when the entry was made.
    std::optional<std::uint64_t> token;
    TerminalIntent intent;
    std::optional<ParkedReason> parked;
    SettlementContinuation continuation;
};

// Whether `text` is exactly the decimal form of `token` (no sign, no leading zeros).
bool token_matches(std::uint64_t token, std::string_view text);

}  // namespace vorn
