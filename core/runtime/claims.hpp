// The ownership ledger of inbound delivery, scoped by (room_id, message_id). Per message it keeps
// three independent facts: in flight (claimed by the host until it releases), pending (a terminal
// intent awaiting its durable write, see settlement.hpp), and completed (per room, the most
// recently touched `max_completed` ids). `delivery_eligibility` combines them with the host's
// delivery facts and a retry tracker into one answer, in a fixed precedence.
//
// Only the completed sets are bounded. The in-flight set, the pending entries and the
// acknowledgement retry counters shrink only through `release`, confirmation and
// `remember_completed`: draining them is the host's part. Per-message operations are O(1); the
// room-scoped pending walks are linear in the pending store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/enums.hpp"
#include "core/error.hpp"
#include "core/ordered.hpp"
#include "core/runtime/retry.hpp"
#include "core/runtime/settlement.hpp"

namespace vorn {

struct DeliveryFacts {
    bool self_echo = false;
    bool durably_processed = false;
    bool durably_failed = false;
    bool allow_failed_retry = true;
};

enum class DeliveryEligibility : std::uint8_t {
    Self,
    Completed,
    Pending,
    Inflight,
    Exhausted,
    Failed,
    Runnable
};

// "self", "completed", "pending", "inflight", "exhausted", "failed", "runnable".
std::string_view eligibility_text(DeliveryEligibility e);

class ClaimRegistry {
  public:
    static constexpr std::uint32_t kDefaultMaxCompleted = 500;

    // `first_token` is the first settlement token handed out (0 for a fresh registry). A bound
    // below 1 is taken as 1.
    explicit ClaimRegistry(std::uint32_t max_completed = kDefaultMaxCompleted,
                           std::uint64_t first_token = 0);

    std::uint32_t max_completed() const { return max_completed_; }

    // In flight. Returned views stay valid until the registry next changes.
    bool try_claim(std::string_view room_id, std::string_view message_id);
    void release(std::string_view room_id, std::string_view message_id);
    std::vector<std::string_view> inflight_ids(std::string_view room_id) const;

    // Completed. A hit of `is_completed` makes the id the room's most recent.
    bool is_completed(std::string_view room_id, std::string_view message_id);
    // Also drops the key's pending entry and acknowledgement retry counter; leaves it in flight.
    void remember_completed(std::string_view room_id, std::string_view message_id);
    std::vector<std::string_view> completed_ids(std::string_view room_id) const;
    void discard_completed(std::string_view room_id);

    DeliveryEligibility delivery_eligibility(std::string_view room_id, std::string_view message_id,
                                             const RetryTracker& tracker,
                                             const DeliveryFacts& facts);
    // As delivery_eligibility, and claims the message when it is runnable.
    DeliveryEligibility guarded_claim(std::string_view room_id, std::string_view message_id,
                                      const RetryTracker& tracker, const DeliveryFacts& facts);

    // Pending entries, shared by acknowledgements and settlements. Returned pointers stay valid
    // until the registry next changes.
    bool is_ack_pending(std::string_view room_id, std::string_view message_id) const;
    const PendingEntry* pending_ack(std::string_view room_id, std::string_view message_id) const;
    void remember_ack_pending(std::string_view room_id, std::string_view message_id);
    Result<std::monostate> remember_failed_ack_pending(
        std::string_view room_id, std::string_view message_id, std::string_view error,
        std::optional<std::string_view> trace_context);
    bool park_ack(std::string_view room_id, std::string_view message_id, ParkedReason reason);
    std::size_t unpark_acks(std::string_view room_id);
    std::vector<std::string_view> pending_ack_ids(std::string_view room_id) const;
    // Counts write retries per key, saturating; independent of any entry.
    std::uint32_t record_ack_retry(std::string_view room_id, std::string_view message_id);

    // The entry (existing or new) always has a token on success.
    Result<const PendingEntry*> record_processed_settlement(
        std::string_view room_id, std::string_view message_id,
        std::optional<std::string_view> trace_context);
    Result<const PendingEntry*> record_failed_settlement(
        std::string_view room_id, std::string_view message_id, std::string_view error,
        const RetryTracker& tracker, bool allow_retry,
        std::optional<std::string_view> trace_context);
    // nullptr when nothing is pending.
    Result<const PendingEntry*> pending_settlement(
        std::string_view room_id, std::string_view message_id,
        std::optional<std::string_view> trace_context) const;
    // False, changing nothing, unless `token` names the key's entry.
    bool confirm_settlement(std::string_view room_id, std::string_view message_id,
                            std::string_view token, RetryTracker& tracker);
    bool park_settlement(std::string_view room_id, std::string_view message_id,
                         std::string_view token, ParkedReason reason);
    bool has_retryable_settlement(std::string_view room_id) const;

  private:
    using Key = std::pair<std::string, std::string>;
    using KeyView = std::pair<std::string_view, std::string_view>;
    using IdsByRoom = OrderedMap<std::string, OrderedSet<std::string>>;
    using PendingMap = OrderedMap<Key, PendingEntry>;

    std::optional<std::uint64_t> take_token();
    Result<const PendingEntry*> record_settlement(KeyView key, TerminalIntent intent,
                                                  SettlementContinuation continuation,
                                                  std::optional<std::string_view> trace_context);
    const PendingEntry* find_pending(KeyView key) const;
    // The key's entry when `token` names it, else end().
    PendingMap::iterator find_by_token(KeyView key, std::string_view token);

    std::uint32_t max_completed_;
    std::uint64_t next_token_;
    IdsByRoom inflight_;
    IdsByRoom completed_;
    PendingMap pending_;
    OrderedMap<Key, std::uint32_t> ack_retries_;
};

}  // namespace vorn
