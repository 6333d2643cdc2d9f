// The pending-entry side of the claim registry: acknowledgement intents, settlements with their
// tokens and continuations, parking, and the acknowledgement retry counters.
#include <charconv>
#include <limits>

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

const PendingEntry* ClaimRegistry::find_pending(KeyView key) const {
    const auto it = pending_.find(key);
    return it == pending_.end() ? nullptr : &it->second;
}

ClaimRegistry::PendingMap::iterator ClaimRegistry::find_by_token(KeyView key,
                                                                 std::string_view token) {
    const auto it = pending_.find(key);
    const bool named =
        it != pending_.end() && it->second.token && token_matches(*it->second.token, token);
    return named ? it : pending_.end();
}

const PendingEntry* ClaimRegistry::pending_ack(std::string_view room_id,
                                               std::string_view message_id) const {
    return find_pending({room_id, message_id});
}

void ClaimRegistry::remember_ack_pending(std::string_view room_id, std::string_view message_id) {
    const KeyView key{room_id, message_id};
    if (pending_.contains(key)) return;
    pending_.try_emplace(key, PendingEntry{take_token(), TerminalIntent::processed(), {}, {}});
}

Result<std::monostate> ClaimRegistry::remember_failed_ack_pending(
    std::string_view room_id, std::string_view message_id, std::string_view error,
    std::optional<std::string_view> trace_context) {
    const KeyView key{room_id, message_id};
    if (const PendingEntry* entry = find_pending(key)) {
        if (entry->intent.error != error) return different_intent(trace_context);
        return std::monostate{};
    }
    pending_.try_emplace(key, PendingEntry{take_token(), TerminalIntent::failed(error), {}, {}});
    return std::monostate{};
}

bool ClaimRegistry::park_ack(std::string_view room_id, std::string_view message_id,
                             ParkedReason reason) {
    const auto it = pending_.find(KeyView{room_id, message_id});
    if (it == pending_.end()) return false;
    it->second.parked = reason;
    return true;
}

std::size_t ClaimRegistry::unpark_acks(std::string_view room_id) {
    std::size_t cleared = 0;
    for (auto& [key, entry] : pending_) {
        if (key.first != room_id || !entry.parked) continue;
        entry.parked.reset();
        ++cleared;
    }
    return cleared;
}

std::vector<std::string_view> ClaimRegistry::pending_ack_ids(std::string_view room_id) const {
    std::vector<std::string_view> ids;
    for (const auto& [key, entry] : pending_) {
        if (key.first == room_id) ids.emplace_back(key.second);
    }
    return ids;
}

std::uint32_t ClaimRegistry::record_ack_retry(std::string_view room_id,
                                              std::string_view message_id) {
    std::uint32_t& count = ack_retries_.try_emplace(KeyView{room_id, message_id}, 0).first->second;
    if (count < std::numeric_limits<std::uint32_t>::max()) ++count;
    return count;
}

Result<const PendingEntry*> ClaimRegistry::record_settlement(
    KeyView key, TerminalIntent intent, SettlementContinuation continuation,
    std::optional<std::string_view> trace_context) {
    if (const PendingEntry* entry = find_pending(key)) {
        // An existing entry stands as it is; the continuation offered now is not taken.
        if (entry->intent != intent) return different_intent(trace_context);
        if (!entry->token) return tokens_exhausted(trace_context);
        return entry;
    }
    const std::optional<std::uint64_t> token = take_token();
    if (!token) return tokens_exhausted(trace_context);
    const auto placed =
        pending_.try_emplace(key, PendingEntry{token, std::move(intent), {}, continuation});
    return &placed.first->second;
}

Result<const PendingEntry*> ClaimRegistry::record_processed_settlement(
    std::string_view room_id, std::string_view message_id,
    std::optional<std::string_view> trace_context) {
    return record_settlement({room_id, message_id}, TerminalIntent::processed(),
                             SettlementContinuation::finished(), trace_context);
}

Result<const PendingEntry*> ClaimRegistry::record_failed_settlement(
    std::string_view room_id, std::string_view message_id, std::string_view error,
    const RetryTracker& tracker, bool allow_retry, std::optional<std::string_view> trace_context) {
    const AttemptState state = tracker.attempt_state(message_id);
    const SettlementContinuation continuation =
        allow_retry && state.attempts < state.max_retries
            ? SettlementContinuation::retry(state.attempts, state.max_retries)
            : SettlementContinuation::finished();
    return record_settlement({room_id, message_id}, TerminalIntent::failed(error), continuation,
                             trace_context);
}

Result<const PendingEntry*> ClaimRegistry::pending_settlement(
    std::string_view room_id, std::string_view message_id,
    std::optional<std::string_view> trace_context) const {
    const PendingEntry* entry = find_pending({room_id, message_id});
    if (entry && !entry->token) return tokens_exhausted(trace_context);
    return entry;
}

bool ClaimRegistry::confirm_settlement(std::string_view room_id, std::string_view message_id,
                                       std::string_view token, RetryTracker& tracker) {
    const KeyView key{room_id, message_id};
    const auto it = find_by_token(key, token);
    if (it == pending_.end()) return false;
    const PendingEntry& entry = it->second;
    if (entry.continuation.is_retry()) {
        tracker.restore_attempt(message_id, entry.continuation.attempts,
                                entry.continuation.max_retries);
        pending_.erase(it);
        ack_retries_.erase(key);
        return true;
    }
    if (entry.intent.is_failed()) tracker.mark_permanently_failed(message_id);
    tracker.mark_success(message_id);
    remember_completed(room_id, message_id);  // drops the entry and the retry counter
    return true;
}

bool ClaimRegistry::park_settlement(std::string_view room_id, std::string_view message_id,
                                    std::string_view token, ParkedReason reason) {
    const auto it = find_by_token({room_id, message_id}, token);
    if (it == pending_.end()) return false;
    it->second.parked = reason;
    return true;
}

bool ClaimRegistry::has_retryable_settlement(std::string_view room_id) const {
    for (const auto& [key, entry] : pending_) {
        if (key.first == room_id && !entry.parked) return true;
    }
    return false;
}

}  // namespace vorn
