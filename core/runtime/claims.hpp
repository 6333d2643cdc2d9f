// The ownership ledger of inbound delivery, scoped by (room_id, message_id). Per message it keeps
// three independent facts: in flight (claimed by the host until it releases), pending (a terminal
// intent awaiting its durable write, see settlement.hpp), and completed (per room, the most
// recently touched `max_completed` ids). `delivery_eligibility` combines them with the host's
// delivery facts and a retry tracker into one answer, in a fixed precedence.
//
// Only the completed sets are bounded. The in-flight set, the pending entries and the
// acknowledgement retry counters shrink only through `release`, confirmation and
// `remember_completed`: draining them is the host's part. Per-message operations are O(1); the
// room-scoped walks are linear in what the room holds.
//
// Every fact about one message lives in one entry of a flat table keyed by the message id under
// its room's slot, so a call finds all of them with one lookup; a room's in-flight, completed and
// pending messages are orders over those entries. An entry goes once it holds no fact, a room
// once it holds no entry; but the entry a release or a confirmation emptied last stays idle (see
// idle_slot.hpp), with its room.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/enums.hpp"
#include "core/error.hpp"
#include "core/flat/flat_table.hpp"
#include "core/flat/idle_slot.hpp"
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
    bool try_claim(const HashedText& room_id, const HashedText& message_id);
    void release(const HashedText& room_id, const HashedText& message_id);
    std::vector<std::string_view> inflight_ids(const HashedText& room_id) const;

    // Completed. A hit of `is_completed` makes the id the room's most recent.
    bool is_completed(const HashedText& room_id, const HashedText& message_id);
    // Also drops the key's pending entry and acknowledgement retry counter; leaves it in flight.
    void remember_completed(const HashedText& room_id, const HashedText& message_id);
    std::vector<std::string_view> completed_ids(const HashedText& room_id) const;
    std::size_t completed_count(const HashedText& room_id) const;
    // Calls f(message_id) for each of the room's completed ids, least recently touched first.
    template <class F>
    void for_each_completed(const HashedText& room_id, F&& f) const {
        const SlotIndex room = find_room(room_id);
        if (room == kNoSlot) return;
        for (SlotIndex m = rooms_[room].completed.front(); m != kNoSlot;
             m = messages_[m].completed_order.next) {
            f(messages_.text(m));
        }
    }
    void discard_completed(const HashedText& room_id);

    DeliveryEligibility delivery_eligibility(const HashedText& room_id,
                                             const HashedText& message_id,
                                             const RetryTracker& tracker,
                                             const DeliveryFacts& facts);
    // As delivery_eligibility, and claims the message when it is runnable.
    DeliveryEligibility guarded_claim(const HashedText& room_id, const HashedText& message_id,
                                      const RetryTracker& tracker, const DeliveryFacts& facts);

    // Pending entries, shared by acknowledgements and settlements. Returned pointers stay valid
    // until the registry next changes.
    bool is_ack_pending(const HashedText& room_id, const HashedText& message_id) const;
    const PendingEntry* pending_ack(const HashedText& room_id, const HashedText& message_id) const;
    void remember_ack_pending(const HashedText& room_id, const HashedText& message_id);
    Result<std::monostate> remember_failed_ack_pending(
        const HashedText& room_id, const HashedText& message_id, std::string_view error,
        std::optional<std::string_view> trace_context);
    bool park_ack(const HashedText& room_id, const HashedText& message_id, ParkedReason reason);
    std::size_t unpark_acks(const HashedText& room_id);
    std::vector<std::string_view> pending_ack_ids(const HashedText& room_id) const;
    // Counts write retries per key, saturating; independent of any entry.
    std::uint32_t record_ack_retry(const HashedText& room_id, const HashedText& message_id);

    // The entry (existing or new) always has a token on success.
    Result<const PendingEntry*> record_processed_settlement(
        const HashedText& room_id, const HashedText& message_id,
        std::optional<std::string_view> trace_context);
    Result<const PendingEntry*> record_failed_settlement(
        const HashedText& room_id, const HashedText& message_id, std::string_view error,
        const RetryTracker& tracker, bool allow_retry,
        std::optional<std::string_view> trace_context);
    // nullptr when nothing is pending.
    Result<const PendingEntry*> pending_settlement(
        const HashedText& room_id, const HashedText& message_id,
        std::optional<std::string_view> trace_context) const;
    // False, changing nothing, unless `token` names the key's entry.
    bool confirm_settlement(const HashedText& room_id, const HashedText& message_id,
                            std::string_view token, RetryTracker& tracker);
    bool park_settlement(const HashedText& room_id, const HashedText& message_id,
                         std::string_view token, ParkedReason reason);
    bool has_retryable_settlement(const HashedText& room_id) const;

    // Entries held (messages with at least one fact) and rooms held (with at least one such
    // entry), for tests of forgetting; the idle entry is not counted.
    std::size_t message_entries() const { return messages_.size() - idle_.count(); }
    std::size_t room_entries() const;
    // Entries stored, the idle one included.
    std::size_t stored_entries() const { return messages_.size(); }

  private:
    static constexpr std::uint32_t kNoRecord = kNoSlot;

    struct Room {
        IndexList inflight;   // claim order, over active records
        IndexList completed;  // least recently touched first, over messages
        IndexList pending;    // order of creation, over active records
        std::uint32_t messages = 0;
    };
    // Most messages held are only completed, so the facts a message holds while the host works on
    // it live in a separate record, and an entry stays small.
    // The active record sits in 31 bits beside the completed mark, so that an entry takes 12
    // bytes; there are never that many active records. Both are written as the whole word: a
    // narrower write, read back whole soon after, stalls the read.
    static constexpr std::uint32_t kMaxActive = (std::uint32_t{1} << 31) - 1;
    struct Message {
        Links completed_order;
        std::uint32_t state = kMaxActive;  // the completed mark, then the record (kMaxActive: none)

        static constexpr std::uint32_t kCompleted = std::uint32_t{1} << 31;
        bool completed() const { return (state & kCompleted) != 0; }
        void set_completed(bool c) { state = (state & kMaxActive) | (c ? kCompleted : 0); }
        std::uint32_t active() const {
            const std::uint32_t record = state & kMaxActive;
            return record == kMaxActive ? kNoRecord : record;
        }
        void set_active(std::uint32_t r) {
            state = (state & kCompleted) | (r == kNoRecord ? kMaxActive : r);
        }
        bool holds_nothing() const { return state == kMaxActive; }
    };
    struct Active {
        Links inflight_order;  // `next` links free records
        Links pending_order;
        SlotIndex message = kNoSlot;
        std::uint32_t ack_retries = 0;  // 0: no counter
        bool inflight = false;
        std::optional<PendingEntry> pending;

        bool holds_nothing() const { return !inflight && !pending && ack_retries == 0; }
    };
    // The slots of one message key; kNoSlot where absent.
    struct Located {
        SlotIndex room = kNoSlot;
        SlotIndex message = kNoSlot;
    };

    auto completed_links() { return links_in(messages_, &Message::completed_order); }
    auto inflight_links() { return links_in(active_, &Active::inflight_order); }
    auto pending_links() { return links_in(active_, &Active::pending_order); }

    Located locate(const HashedText& room_id, const HashedText& message_id) const;
    // The room's slot or kNoSlot.
    SlotIndex find_room(const HashedText& room_id) const;
    void erase_room(SlotIndex room);
    // Finds or adds the key's entry (and its room) in `at`, which is what `locate` found for the
    // key, with nothing added since. Slots are filled in place and Located is never copied whole:
    // its two fields are written one by one, and a copy reads them back as one word, which stalls.
    void obtain(const HashedText& room_id, const HashedText& message_id, Located& at);
    void add_entry(const HashedText& room_id, const HashedText& message_id, Located& at);
    // Makes the entry the idle one once it holds no fact, forgetting the entry idle before.
    void keep_idle_if_unused(const Located& at);
    // Drops the entry once it holds no fact, and its room once that holds no entry.
    void forget_if_unused(SlotIndex message);
    void forget(SlotIndex message);
    Active* active_of(const Located& at);
    const Active* active_of(const Located& at) const;
    // The key's active record, made when it has none (the key's entry must exist).
    Active& activate(const Located& at);
    // Frees the key's active record once it holds nothing, then idles the key if it can.
    void settle(const Located& at);

    void claim(const Located& at);
    void complete(const HashedText& room_id, const HashedText& message_id, Located& at);
    void refresh_completed(const Located& at);
    // The rule without the claim; fills `at` with what it looked up.
    DeliveryEligibility decide(const HashedText& room_id, const HashedText& message_id,
                               const RetryTracker& tracker, const DeliveryFacts& facts,
                               Located& at);

    std::optional<std::uint64_t> take_token();
    const PendingEntry* find_pending(const Located& at) const;
    PendingEntry* find_pending(const Located& at);
    const PendingEntry& add_pending(const Located& at, PendingEntry entry);
    // Drops the entry and the retry counter; the caller settles the key.
    void drop_pending_and_retries(const Located& at);
    Result<const PendingEntry*> record_settlement(const HashedText& room_id,
                                                  const HashedText& message_id,
                                                  TerminalIntent intent,
                                                  SettlementContinuation continuation,
                                                  std::optional<std::string_view> trace_context);
    // The key's entry when `token` names it, else null.
    PendingEntry* find_by_token(const Located& at, std::string_view token);
    template <class F>
    void for_each_pending(const HashedText& room_id, F&& f) const;

    std::uint32_t max_completed_;
    std::uint64_t next_token_;

    FlatTable<Room, true> rooms_;  // a host asks about one room many times in a row
    // Scoped by the room's slot; a host steps one message through claim, release and completion.
    FlatTable<Message, true> messages_;
    std::vector<Active> active_;
    std::uint32_t free_active_ = kNoRecord;
    IdleSlot idle_;  // an entry holding no fact, kept for the next call about it
};

// Every call starts with these lookups; defined here so that both sources inline them.
inline SlotIndex ClaimRegistry::find_room(const HashedText& room_id) const {
    return rooms_.find(FlatKey(room_id));
}

// Always inlined, for the reason given at obtain.
[[gnu::always_inline]] inline ClaimRegistry::Located ClaimRegistry::locate(
    const HashedText& room_id, const HashedText& message_id) const {
    Located at;
    at.room = find_room(room_id);
    if (at.room == kNoSlot) return at;
    const FlatKey key(message_id, at.room);
    at.message = messages_.find(key);
    return at;
}

[[gnu::always_inline]] inline void ClaimRegistry::obtain(const HashedText& room_id,
                                                         const HashedText& message_id,
                                                         Located& at) {
    if (at.message == kNoSlot) {
        add_entry(room_id, message_id, at);
    } else {
        idle_.revive(at.message);
    }
}

inline const ClaimRegistry::Active* ClaimRegistry::active_of(const Located& at) const {
    if (at.message == kNoSlot) return nullptr;
    const std::uint32_t record = messages_[at.message].active();
    return record == kNoRecord ? nullptr : &active_[record];
}

}  // namespace vorn
