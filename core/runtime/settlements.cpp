// The pending-entry side of the claim registry: acknowledgement intents, settlements with their
// tokens and continuations, parking, and the acknowledgement retry counters.
#include <charconv>
#include <limits>
#include <utility>

#include "core/runtime/claims.hpp"

namespace vorn {

namespace {

constexpr std::uint64_t kTokenCeiling = std::numeric_limits<std::uint64_t>::max();

CoreError single_issue(std::string_view path, std::string message,
                       std::optional<std::string_view> trace_context) {
    CoreError error;
    error.issues.push_back(Issue{std::string(path), IssueCode::InvalidValue, std::move(message)});
    if (trace_context) error.trace_context.emplace(*trace_context);
    return error;
}

CoreError different_intent(std::optional<std::string_view> trace_context) {
    return single_issue("error", "the message already has a different pending terminal intent",
                        trace_context);
}

CoreError tokens_exhausted(std::optional<std::string_view> trace_context) {
    return single_issue("token", "terminal obligation token capacity exhausted", trace_context);
}

}  // namespace

bool token_matches(std::uint64_t token, std::string_view text) {
    char buffer[std::numeric_limits<std::uint64_t>::digits10 + 1];
    const auto written = std::to_chars(std::begin(buffer), std::end(buffer), token);
    return std::string_view(buffer, static_cast<std::size_t>(written.ptr - buffer)) == text;
}

std::optional<std::uint64_t> ClaimRegistry::take_token() {
    // The ceiling itself is never handed out: the counter stops below it.
    if (next_token_ == kTokenCeiling) return std::nullopt;
    return next_token_++;
}

const PendingEntry* ClaimRegistry::find_pending(const Located& at) const {
    const Active* active = active_of(at);
    return active && active->pending ? &*active->pending : nullptr;
}

PendingEntry* ClaimRegistry::find_pending(const Located& at) {
    return const_cast<PendingEntry*>(std::as_const(*this).find_pending(at));
}

const PendingEntry& ClaimRegistry::add_pending(const Located& at, PendingEntry entry) {
    Active& active = activate(at);
    active.pending = std::move(entry);
    rooms_[at.room].pending.push_back(messages_[at.message].active(), pending_links());
    return *active.pending;
}

void ClaimRegistry::drop_pending_and_retries(const Located& at) {
    Active* active = active_of(at);
    if (!active) return;
    if (active->pending) {
        rooms_[at.room].pending.unlink(messages_[at.message].active(), pending_links());
        active->pending.reset();
    }
    active->ack_retries = 0;
}

PendingEntry* ClaimRegistry::find_by_token(const Located& at, std::string_view token) {
    PendingEntry* entry = find_pending(at);
    return entry && entry->token && token_matches(*entry->token, token) ? entry : nullptr;
}

template <class F>
void ClaimRegistry::for_each_pending(const HashedText& room_id, F&& f) const {
    const SlotIndex room = find_room(room_id);
    if (room == kNoSlot) return;
    for (std::uint32_t r = rooms_[room].pending.front(); r != kNoRecord;
         r = active_[r].pending_order.next) {
        f(r);
    }
}

const PendingEntry* ClaimRegistry::pending_ack(const HashedText& room_id,
                                               const HashedText& message_id) const {
    return find_pending(locate(room_id, message_id));
}

void ClaimRegistry::remember_ack_pending(const HashedText& room_id, const HashedText& message_id) {
    Located at = locate(room_id, message_id);
    if (find_pending(at)) return;
    obtain(room_id, message_id, at);
    add_pending(at, PendingEntry{take_token(), TerminalIntent::processed(), {}, {}});
}

Result<std::monostate> ClaimRegistry::remember_failed_ack_pending(
    const HashedText& room_id, const HashedText& message_id, std::string_view error,
    std::optional<std::string_view> trace_context) {
    Located at = locate(room_id, message_id);
    if (const PendingEntry* entry = find_pending(at)) {
        if (entry->intent.error != error) return different_intent(trace_context);
        return std::monostate{};
    }
    obtain(room_id, message_id, at);
    add_pending(at, PendingEntry{take_token(), TerminalIntent::failed(error), {}, {}});
    return std::monostate{};
}

bool ClaimRegistry::park_ack(const HashedText& room_id, const HashedText& message_id,
                             ParkedReason reason) {
    PendingEntry* entry = find_pending(locate(room_id, message_id));
    if (!entry) return false;
    entry->parked = reason;
    return true;
}

std::size_t ClaimRegistry::unpark_acks(const HashedText& room_id) {
    std::size_t cleared = 0;
    for_each_pending(room_id, [&](std::uint32_t r) {
        if (!active_[r].pending->parked) return;
        active_[r].pending->parked.reset();
        ++cleared;
    });
    return cleared;
}

std::vector<std::string_view> ClaimRegistry::pending_ack_ids(const HashedText& room_id) const {
    std::vector<std::string_view> ids;
    for_each_pending(room_id,
                     [&](std::uint32_t r) { ids.push_back(messages_.text(active_[r].message)); });
    return ids;
}

std::uint32_t ClaimRegistry::record_ack_retry(const HashedText& room_id,
                                              const HashedText& message_id) {
    Located at = locate(room_id, message_id);
    obtain(room_id, message_id, at);
    std::uint32_t& count = activate(at).ack_retries;
    if (count < std::numeric_limits<std::uint32_t>::max()) ++count;
    return count;
}

Result<const PendingEntry*> ClaimRegistry::record_settlement(
    const HashedText& room_id, const HashedText& message_id, TerminalIntent intent,
    SettlementContinuation continuation, std::optional<std::string_view> trace_context) {
    Located at = locate(room_id, message_id);
    if (const PendingEntry* entry = find_pending(at)) {
        // An existing entry stands as it is; the continuation offered now is not taken.
        if (entry->intent != intent) return different_intent(trace_context);
        if (!entry->token) return tokens_exhausted(trace_context);
        return entry;
    }
    if (next_token_ == kTokenCeiling) return tokens_exhausted(trace_context);
    obtain(room_id, message_id, at);
    return &add_pending(at, PendingEntry{take_token(), std::move(intent), {}, continuation});
}

Result<const PendingEntry*> ClaimRegistry::record_processed_settlement(
    const HashedText& room_id, const HashedText& message_id,
    std::optional<std::string_view> trace_context) {
    return record_settlement(room_id, message_id, TerminalIntent::processed(),
                             SettlementContinuation::finished(), trace_context);
}

Result<const PendingEntry*> ClaimRegistry::record_failed_settlement(
    const HashedText& room_id, const HashedText& message_id, std::string_view error,
    const RetryTracker& tracker, bool allow_retry, std::optional<std::string_view> trace_context) {
    const AttemptState state = tracker.attempt_state(message_id);
    const SettlementContinuation continuation =
        allow_retry && state.attempts < state.max_retries
            ? SettlementContinuation::retry(state.attempts, state.max_retries)
            : SettlementContinuation::finished();
    return record_settlement(room_id, message_id, TerminalIntent::failed(error), continuation,
                             trace_context);
}

Result<const PendingEntry*> ClaimRegistry::pending_settlement(
    const HashedText& room_id, const HashedText& message_id,
    std::optional<std::string_view> trace_context) const {
    const PendingEntry* entry = find_pending(locate(room_id, message_id));
    if (entry && !entry->token) return tokens_exhausted(trace_context);
    return entry;
}

bool ClaimRegistry::confirm_settlement(const HashedText& room_id, const HashedText& message_id,
                                       std::string_view token, RetryTracker& tracker) {
    Located at = locate(room_id, message_id);
    const PendingEntry* entry = find_by_token(at, token);
    if (!entry) return false;
    if (entry->continuation.is_retry()) {
        tracker.restore_attempt(message_id, entry->continuation.attempts,
                                entry->continuation.max_retries);
        drop_pending_and_retries(at);
        settle(at);
        return true;
    }
    if (entry->intent.is_failed()) tracker.mark_permanently_failed(message_id);
    tracker.mark_success(message_id);
    complete(room_id, message_id, at);  // drops the entry and the retry counter
    return true;
}

bool ClaimRegistry::park_settlement(const HashedText& room_id, const HashedText& message_id,
                                    std::string_view token, ParkedReason reason) {
    PendingEntry* entry = find_by_token(locate(room_id, message_id), token);
    if (!entry) return false;
    entry->parked = reason;
    return true;
}

bool ClaimRegistry::has_retryable_settlement(const HashedText& room_id) const {
    bool retryable = false;
    for_each_pending(
        room_id, [&](std::uint32_t r) { retryable = retryable || !active_[r].pending->parked; });
    return retryable;
}

}  // namespace vorn
